#include "engine/PageProperties.h"

#include "core/Conversion.h"
#include "core/InternetUtils.h"
#include "core/Utils.h"
#include "core/db/SqlWrapper.h"
#include "engine/HttpTexts.h"
#include "engine/PageCtx.h"
#include "platform/base/Format.h"

#include <algorithm>

namespace {

constexpr uint32_t kNever = 0xFFFFFFFF;
// Up to this many seconds ahead the due time reads as "Less than 1 minute".
constexpr int64_t kLessThanAMinute = 60;

QString Text(CSqlQuery& row, const char* field)
{
    return CAnsiToWide(QByteArray(row.getStringField(field, ""))).Get();
}

uint32_t Unsigned(CSqlQuery& row, const char* field)
{
    return static_cast<uint32_t>(row.getIntField(field, 0));
}

QString IntervalText(int64_t seconds)
{
    int days = 0;
    int hours = 0;
    int minutes = 0;
    SplitInterval(static_cast<DWORD>(std::clamp<int64_t>(seconds, 0, 0xFFFFFFFF)), days, hours, minutes);
    return FormatInterval(days, hours, minutes);
}

QString StatusText(int status, DWORD errorCode)
{
    switch (status) {
    case statusNew:
        return QStringLiteral("New");
    case statusError:
        return GetInternetErrorText(errorCode);
    case statusOrdinary:
        return QStringLiteral("Ordinary");
    default:
        return QStringLiteral("Unknown");
    }
}

QString TimeOrUnknown(uint32_t t)
{
    return t == kNever ? QStringLiteral("Unknown") : FormatTime(t);
}

} // namespace

SPagePropertiesTexts PagePropertiesTexts(CSqlQuery& row, int64_t now)
{
    SPagePropertiesTexts texts;
    texts.url = Text(row, "url");
    texts.descr = Text(row, "descr");
    texts.status = StatusText(row.getIntField("status", 0), Unsigned(row, "errorCode"));
    const int httpCode = row.getIntField("httpStatusCode", 0);
    texts.httpCode = httpCode == 0 ? QStringLiteral("Unknown") : QString::number(httpCode);
    const uint32_t interval = Unsigned(row, "interval");
    texts.interval = IntervalText(interval);
    const uint32_t lastChecked = Unsigned(row, "lastChecked");
    texts.lastChecked = TimeOrUnknown(lastChecked);
    texts.lastModified = TimeOrUnknown(Unsigned(row, "lastModified"));

    texts.checkDue = QStringLiteral("Now");
    if (lastChecked != kNever) {
        const int64_t due = int64_t(lastChecked) + int64_t(interval);
        if (due > now) {
            const int64_t remaining = due - now;
            texts.checkDue = FormatTime(due);
            const QString ahead
                = remaining <= kLessThanAMinute ? QStringLiteral("Less than 1 minute") : IntervalText(remaining);
            texts.checkDueIn = taluvo::Format(u"%s from now", ahead);
        }
    }

    const uint32_t checkSum = Unsigned(row, "checkSum");
    texts.checkSum = checkSum == kNever ? QStringLiteral("Unknown") : taluvo::Format(u"0x%.4X", checkSum);
    texts.startCheck = Text(row, "startCheckMask");
    if (texts.startCheck.isEmpty())
        texts.startCheck = QStringLiteral("[at the beginning of the page]");
    texts.stopCheck = Text(row, "stopCheckMask");
    if (texts.stopCheck.isEmpty())
        texts.stopCheck = QStringLiteral("[at the end of the page]");
    return texts;
}
