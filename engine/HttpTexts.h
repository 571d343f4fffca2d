// Texts of the page fetch: the If-Modified-Since date, HTTP status texts, and error texts.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <cstdint>

// RFC 1123 date of HTTP ("Thu, 01 Jan 1970 00:00:00 GMT"); "Unknown" when t cannot be converted.
QString FormatHttpDate(int64_t t);
QString GetHttpStatusText(DWORD code);
// The two limits of a check, as error codes of its own (Windows numbers with the nearest meaning,
// which no step of a fetch produces otherwise): a page with more bytes than a check keeps, and a
// check that went on past its deadline however its server paced the bytes.
constexpr DWORD ERROR_PAGE_TOO_LARGE = 223; // ERROR_FILE_TOO_LARGE
constexpr DWORD ERROR_CHECK_TOO_LONG = 1460; // ERROR_TIMEOUT
// Bytes of one page a check keeps at most.
constexpr qsizetype kMaxPageBytes = qsizetype(16) * 1024 * 1024;

// WinInet numbers (12000-12174) from the internet library's table, the two limits of a check in
// words of their own, others from the system's.
QString GetInternetErrorText(DWORD code);
