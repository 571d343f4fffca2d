#include "platform/inet/CurlErrors.h"

#include "platform/inet/WinInet.h"

#include <cerrno>

namespace taluvo::inet {
namespace {

// OpenSSL's verification results that have a WinInet number of their own.
constexpr long kCertNotYetValid = 9;
constexpr long kCertHasExpired = 10;
constexpr long kCertRevoked = 23;
constexpr long kHostnameMismatch = 62;
constexpr long kIpAddressMismatch = 64;

DWORD CertificateError(long verifyResult)
{
    switch (verifyResult) {
    case 0:
    case 1:
        // The chain was good: libcurl's own name check refused the certificate (it leaves 0 or
        // OpenSSL's "unspecified" behind).
    case kHostnameMismatch:
    case kIpAddressMismatch:
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case kCertNotYetValid:
    case kCertHasExpired:
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case kCertRevoked:
        return ERROR_INTERNET_SEC_CERT_REVOKED;
    default:
        return ERROR_INTERNET_INVALID_CA;
    }
}

} // namespace

DWORD WinInetErrorOf(CURLcode code, long osErrno, long verifyResult)
{
    switch (code) {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
    case CURLE_PROXY:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_UNSUPPORTED_PROTOCOL:
        // The layer only ever asks for http and https: this is an answer that is no HTTP
        // (libcurl refuses HTTP/0.9) or a redirect to another scheme.
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS:
        return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PEER_FAILED_VERIFICATION:
        return CertificateError(verifyResult);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return osErrno == ECONNRESET || osErrno == EPIPE ? ERROR_INTERNET_CONNECTION_RESET
                                                         : ERROR_INTERNET_CONNECTION_ABORTED;
    default:
        // A transfer that broke off in any other way.
        return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

} // namespace taluvo::inet
