// The WinInet error number of a failed libcurl transfer.
#pragma once

#include "platform/base/WinTypes.h"

#include <curl/curl.h>

namespace taluvo::inet {

// osErrno: CURLINFO_OS_ERRNO; verifyResult: CURLINFO_SSL_VERIFYRESULT (an X509_V_ERR number).
DWORD WinInetErrorOf(CURLcode code, long osErrno, long verifyResult);

} // namespace taluvo::inet
