// Texts of the page fetch: the If-Modified-Since date, HTTP status texts, and error texts.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <cstdint>

// RFC 1123 date of HTTP ("Thu, 01 Jan 1970 00:00:00 GMT"); "Unknown" when t cannot be converted.
QString FormatHttpDate(int64_t t);
QString GetHttpStatusText(DWORD code);
// WinInet numbers (12000-12174) from the internet library's table, others from the system's.
QString GetInternetErrorText(DWORD code);
