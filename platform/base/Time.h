// Clocks: local and UTC calendar time, seconds since 1970, a 32-bit millisecond tick count.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <cstdint>
#include <ctime>

void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);

// Milliseconds since an arbitrary start, wrapping after 49.7 days as the Windows counter does.
DWORD GetTickCount();

namespace taluvo {

// Seconds since 1970 (64-bit; the database and the settings record store the low 32 bits).
int64_t UnixTimeNow();

// Calendar fields of t in local time / UTC; false when t cannot be converted (negative times).
bool ToLocalTime(int64_t t, SYSTEMTIME& out);
bool ToUtcTime(int64_t t, SYSTEMTIME& out);
// The calendar fields of a broken-down time (any year the fields can hold), milliseconds 0.
void SystemTimeFromTm(const std::tm& tm, SYSTEMTIME& out);

// The user's short date and 24-hour time, as the trace lines show them ("10.12.2026", "12:37:20").
QString ShortDateText(const SYSTEMTIME& time);
QString TimeText24(const SYSTEMTIME& time);

} // namespace taluvo
