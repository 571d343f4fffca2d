#include "platform/base/Time.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <chrono>
#include <ctime>

namespace taluvo {

void SystemTimeFromTm(const std::tm& tm, SYSTEMTIME& out)
{
    out.wYear = static_cast<WORD>(tm.tm_year + 1900);
    out.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    out.wDay = static_cast<WORD>(tm.tm_mday);
    out.wHour = static_cast<WORD>(tm.tm_hour);
    out.wMinute = static_cast<WORD>(tm.tm_min);
    out.wSecond = static_cast<WORD>(tm.tm_sec);
    out.wMilliseconds = 0;
}

} // namespace taluvo

namespace {

void Now(SYSTEMTIME* out, bool local)
{
    if (!out)
        return;
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm tm {};
    if (local)
        localtime_r(&t, &tm);
    else
        gmtime_r(&t, &tm);
    taluvo::SystemTimeFromTm(tm, *out);
    out->wMilliseconds = static_cast<WORD>(ms % 1000);
}

} // namespace

void GetLocalTime(SYSTEMTIME* time)
{
    Now(time, true);
}
void GetSystemTime(SYSTEMTIME* time)
{
    Now(time, false);
}

DWORD GetTickCount()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

namespace taluvo {

int64_t UnixTimeNow()
{
    return static_cast<int64_t>(std::time(nullptr));
}

bool ToLocalTime(int64_t t, SYSTEMTIME& out)
{
    if (t < 0)
        return false;
    const std::time_t value = static_cast<std::time_t>(t);
    std::tm tm {};
    if (!localtime_r(&value, &tm))
        return false;
    SystemTimeFromTm(tm, out);
    return true;
}

bool ToUtcTime(int64_t t, SYSTEMTIME& out)
{
    if (t < 0)
        return false;
    const std::time_t value = static_cast<std::time_t>(t);
    std::tm tm {};
    if (!gmtime_r(&value, &tm))
        return false;
    SystemTimeFromTm(tm, out);
    return true;
}

QString ShortDateText(const SYSTEMTIME& time)
{
    const QDate date(time.wYear, time.wMonth, time.wDay);
    const QLocale locale = QLocale::system();
    // Without a configured locale the "C" short form spells the month ("10 Dec 2026"); a numeric
    // ISO date reads better in trace files.
    if (locale.language() == QLocale::C)
        return date.toString(Qt::ISODate);
    return locale.toString(date, QLocale::ShortFormat);
}

QString TimeText24(const SYSTEMTIME& time)
{
    const QTime t(time.wHour, time.wMinute, time.wSecond);
    return t.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace taluvo
