// The WinInet subset the program fetches pages with, over libcurl.
//
// Handles are opaque numbers in a registry (a closed or stale handle only makes a call fail with
// ERROR_INVALID_HANDLE). A session opened with INTERNET_FLAG_ASYNC behaves as WinInet's asynchronous
// mode: HttpSendRequestEx, HttpEndRequest and a read that has to wait return FALSE with
// ERROR_IO_PENDING, and the operation completes through the status callback with
// INTERNET_STATUS_REQUEST_COMPLETE. Status notices are given for every step the callers watch;
// steps libcurl does not report (name resolution of an address literal, a reused connection) are
// synthesised in their order.
//
// One thread of the layer drives every transfer, and it never calls the status callback: each
// request's notices wait in their order for the caller's thread, which gives them while it is
// inside a call of the request (a step that could complete at once completes there, before the
// call returns ERROR_IO_PENDING), or else for a pooled thread started for them. So a callback that
// blocks (a window message sent to a busy window) holds up only its own request's notices.
// InternetCloseHandle never waits for a notice: it completes a pending operation of the handle
// with ERROR_INTERNET_OPERATION_CANCELLED, and after it no new notice of the handle starts but that
// one completion (or the completion already taken for the caller). INTERNET_STATUS_HANDLE_CLOSING
// is always the handle's last notice, so its receiver may free the context at once: it comes on
// the calling thread when no notice of the handle is running, else from the last running one as it
// ends.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

using LPDWORD = DWORD*; // the same alias may come from elsewhere: repeating it is allowed
using INTERNET_PORT = WORD;
using INTERNET_SCHEME = int;

using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
    LPVOID lpvStatusInformation, DWORD dwStatusInformationLength);
inline const INTERNET_STATUS_CALLBACK INTERNET_INVALID_STATUS_CALLBACK
    = reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<intptr_t>(-1));

constexpr DWORD INTERNET_MAX_URL_LENGTH = 2084;
constexpr DWORD INTERNET_MAX_HOST_NAME_LENGTH = 256;

// Access types of InternetOpen.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

constexpr DWORD INTERNET_SERVICE_HTTP = 3;
constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// Flags of InternetOpen and HttpOpenRequest.
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_ASYNC = 0x10000000;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD INTERNET_FLAG_HYPERLINK = 0x00000400;
constexpr DWORD INTERNET_FLAG_NO_UI = 0x00000200;
constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;

// Status codes given to the status callback.
constexpr DWORD INTERNET_STATUS_RESOLVING_NAME = 10;
constexpr DWORD INTERNET_STATUS_NAME_RESOLVED = 11;
constexpr DWORD INTERNET_STATUS_CONNECTING_TO_SERVER = 20;
constexpr DWORD INTERNET_STATUS_CONNECTED_TO_SERVER = 21;
constexpr DWORD INTERNET_STATUS_SENDING_REQUEST = 30;
constexpr DWORD INTERNET_STATUS_REQUEST_SENT = 31;
constexpr DWORD INTERNET_STATUS_RECEIVING_RESPONSE = 40;
constexpr DWORD INTERNET_STATUS_RESPONSE_RECEIVED = 41;
constexpr DWORD INTERNET_STATUS_CLOSING_CONNECTION = 50;
constexpr DWORD INTERNET_STATUS_CONNECTION_CLOSED = 51;
constexpr DWORD INTERNET_STATUS_HANDLE_CREATED = 60;
constexpr DWORD INTERNET_STATUS_HANDLE_CLOSING = 70;
constexpr DWORD INTERNET_STATUS_REQUEST_COMPLETE = 100;

// HttpAddRequestHeaders modifiers.
constexpr DWORD HTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
constexpr DWORD HTTP_ADDREQ_FLAG_ADD = 0x20000000;
constexpr DWORD HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

// HttpSendRequestEx / HttpEndRequest / InternetReadFileEx flags.
constexpr DWORD HSR_ASYNC = 0x00000001;
constexpr DWORD HSR_INITIATE = 0x00000008;
constexpr DWORD IRF_ASYNC = 0x00000001;
constexpr DWORD IRF_NO_WAIT = 0x00000008;

// HttpQueryInfo levels and modifiers.
constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_DATE = 9;
constexpr DWORD HTTP_QUERY_LAST_MODIFIED = 11;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
constexpr DWORD HTTP_QUERY_LOCATION = 33;
constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;
constexpr DWORD HTTP_QUERY_FLAG_SYSTEMTIME = 0x40000000;
constexpr DWORD HTTP_QUERY_MODIFIER_FLAGS_MASK = 0xF0000000;
constexpr DWORD HTTP_QUERY_HEADER_MASK = 0x0000FFFF;

// InternetSetOption options (times in milliseconds).
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD INTERNET_OPTION_PROXY_USERNAME = 43;
constexpr DWORD INTERNET_OPTION_PROXY_PASSWORD = 44;

// InternetCanonicalizeUrl flags.
constexpr DWORD ICU_NO_ENCODE = 0x20000000;
constexpr DWORD ICU_DECODE = 0x10000000;
constexpr DWORD ICU_NO_META = 0x00002000;
constexpr DWORD ICU_ENCODE_SPACES_ONLY = 0x04000000;
constexpr DWORD ICU_BROWSER_MODE = 0x02000000;

// Scheme numbers of URL_COMPONENTS.
constexpr INTERNET_SCHEME INTERNET_SCHEME_UNKNOWN = -1;
constexpr INTERNET_SCHEME INTERNET_SCHEME_DEFAULT = 0;
constexpr INTERNET_SCHEME INTERNET_SCHEME_FTP = 1;
constexpr INTERNET_SCHEME INTERNET_SCHEME_GOPHER = 2;
constexpr INTERNET_SCHEME INTERNET_SCHEME_HTTP = 3;
constexpr INTERNET_SCHEME INTERNET_SCHEME_HTTPS = 4;
constexpr INTERNET_SCHEME INTERNET_SCHEME_FILE = 5;
constexpr INTERNET_SCHEME INTERNET_SCHEME_NEWS = 6;
constexpr INTERNET_SCHEME INTERNET_SCHEME_MAILTO = 7;

// InternetGetConnectedState flags.
constexpr DWORD INTERNET_CONNECTION_MODEM = 0x01;
constexpr DWORD INTERNET_CONNECTION_LAN = 0x02;
constexpr DWORD INTERNET_CONNECTION_PROXY = 0x04;
constexpr DWORD INTERNET_RAS_INSTALLED = 0x10;
constexpr DWORD INTERNET_CONNECTION_OFFLINE = 0x20;

// WinInet error numbers (texts: ModuleErrorMessage("wininet.dll", code)).
constexpr DWORD INTERNET_ERROR_BASE = 12000;
constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;
constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
constexpr DWORD ERROR_HTTP_HEADER_ALREADY_EXISTS = 12155;
constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
constexpr DWORD ERROR_INTERNET_PROXY_SERVER_UNREACHABLE = 12165;
constexpr DWORD ERROR_INTERNET_SEC_INVALID_CERT = 12169;
constexpr DWORD ERROR_INTERNET_SEC_CERT_REVOKED = 12170;
constexpr DWORD INTERNET_ERROR_LAST = 12175;

struct INTERNET_ASYNC_RESULT {
    DWORD_PTR dwResult;
    DWORD dwError;
};

struct INTERNET_BUFFERSA {
    DWORD dwStructSize;
    INTERNET_BUFFERSA* Next;
    LPCSTR lpcszHeader;
    DWORD dwHeadersLength;
    DWORD dwHeadersTotal;
    LPVOID lpvBuffer;
    DWORD dwBufferLength;
    DWORD dwBufferTotal;
    DWORD dwOffsetLow;
    DWORD dwOffsetHigh;
};

struct INTERNET_BUFFERSW {
    DWORD dwStructSize;
    INTERNET_BUFFERSW* Next;
    LPCWSTR lpcszHeader;
    DWORD dwHeadersLength;
    DWORD dwHeadersTotal;
    LPVOID lpvBuffer;
    DWORD dwBufferLength;
    DWORD dwBufferTotal;
    DWORD dwOffsetLow;
    DWORD dwOffsetHigh;
};

// A component is asked for by a non-zero length: with a buffer it is copied there (the length is the
// buffer's room in characters, set to the copied length); with a null pointer the pointer is set into
// the address and the length to the component's length. The path holds query and fragment unless
// the extra information is asked for too.
struct URL_COMPONENTSW {
    DWORD dwStructSize;
    LPWSTR lpszScheme;
    DWORD dwSchemeLength;
    INTERNET_SCHEME nScheme;
    LPWSTR lpszHostName;
    DWORD dwHostNameLength;
    INTERNET_PORT nPort;
    LPWSTR lpszUserName;
    DWORD dwUserNameLength;
    LPWSTR lpszPassword;
    DWORD dwPasswordLength;
    LPWSTR lpszUrlPath;
    DWORD dwUrlPathLength;
    LPWSTR lpszExtraInfo;
    DWORD dwExtraInfoLength;
};
using URL_COMPONENTS = URL_COMPONENTSW;

HINTERNET InternetOpen(
    LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass, DWORD dwFlags);
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET hInternet, INTERNET_STATUS_CALLBACK lpfnCallback);
BOOL InternetSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);
HINTERNET InternetConnect(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort, LPCWSTR lpszUserName,
    LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags, DWORD_PTR dwContext);
HINTERNET HttpOpenRequest(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName, LPCWSTR lpszVersion,
    LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes, DWORD dwFlags, DWORD_PTR dwContext);
// dwHeadersLength of (DWORD)-1 means a NUL-terminated text.
BOOL HttpAddRequestHeaders(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, DWORD dwModifiers);
BOOL HttpSendRequestEx(HINTERNET hRequest, INTERNET_BUFFERSW* lpBuffersIn, INTERNET_BUFFERSW* lpBuffersOut,
    DWORD dwFlags, DWORD_PTR dwContext);
BOOL HttpEndRequest(HINTERNET hRequest, INTERNET_BUFFERSW* lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext);
// Fills the first buffer of the chain. Data is handed out only in whole buffers (the last piece of
// the body excepted), so the pieces never depend on how the network cut the body; when fewer bytes
// are there, the read is pending (ERROR_IO_PENDING) until a buffer's worth, the end or an error has
// come, and the next read gets it. Success with length 0 is the end of the body.
BOOL InternetReadFileExA(HINTERNET hFile, INTERNET_BUFFERSA* lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext);
inline BOOL InternetReadFileEx(HINTERNET hFile, INTERNET_BUFFERSA* lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext)
{
    return InternetReadFileExA(hFile, lpBuffersOut, dwFlags, dwContext);
}
// Numbers (FLAG_NUMBER, 4 bytes), times (FLAG_SYSTEMTIME, UTC) or wide text; lengths in bytes.
BOOL HttpQueryInfo(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength, LPDWORD lpdwIndex);
BOOL InternetCloseHandle(HINTERNET hInternet);

// lpdwBufferLength: room in characters; on success the length without the NUL; on
// ERROR_INSUFFICIENT_BUFFER the room needed, NUL included.
BOOL InternetCanonicalizeUrl(LPCWSTR lpszUrl, LPWSTR lpszBuffer, LPDWORD lpdwBufferLength, DWORD dwFlags);
// dwUrlLength 0: a NUL-terminated address. dwFlags: none supported.
BOOL InternetCrackUrl(LPCWSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags, URL_COMPONENTSW* lpUrlComponents);

// FALSE when no interface but loopback is up. Otherwise TRUE with INTERNET_CONNECTION_LAN when an
// up interface that is not point-to-point has an address, else INTERNET_CONNECTION_MODEM (only
// point-to-point links: ppp, tun, wg). INTERNET_RAS_INSTALLED is added when such a link exists.
BOOL InternetGetConnectedState(LPDWORD lpdwFlags, DWORD dwReserved);

namespace taluvo::inet {

// Certificates to trust in place of the system store (a PEM file); empty restores the system store.
// For tests that serve HTTPS with a certificate of their own.
void SetCaFile(const QString& pemPath);

// Requests the layer still serves: a transfer not yet ended by its handle's close, or notices of
// it still to give (the last of them its closing notice).
int RunningRequests();
// Waits, bounded, until no request is served; TRUE when none is.
bool WaitForRunningRequests(DWORD milliseconds);

// Where the layer's own trace lines go. levels is a mask of the tracer's levels the receiver wants:
// 0x01 (errors) gets every libcurl call that failed, 0x08 (finest steps) also libcurl's own account
// of each transfer (its verbose mode, which costs a callback for every piece of data, so it is on
// only while asked for). Set at any time; transfers that start later follow it.
using TraceSink = void (*)(DWORD level, const QString& line);
void SetTraceSink(TraceSink sink, DWORD levels);

} // namespace taluvo::inet
