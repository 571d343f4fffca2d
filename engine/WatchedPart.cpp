#include "engine/WatchedPart.h"

#include "core/Crc32.h"
#include "platform/base/TextCodec.h"

SWatchedPartCut CutWatchedPart(const QString& html, const QString& startText, const QString& stopText)
{
    SWatchedPartCut cut;
    const qsizetype length = html.size();
    if (!startText.isEmpty())
        cut.startPos = html.indexOf(startText, 0, Qt::CaseSensitive);
    if (cut.startPos != -1) {
        if (!stopText.isEmpty()) {
            const qsizetype from = cut.startPos + startText.size();
            cut.stopPos = from > length ? -1 : html.indexOf(stopText, from, Qt::CaseSensitive);
        } else {
            cut.stopPos = length - 1;
        }
    }
    if (cut.stopPos > 0) {
        const qsizetype first = cut.startPos + startText.size();
        const qsizetype count = cut.stopPos - first - 1;
        if (count > 0 && first < length)
            cut.part = html.mid(first, count);
    }
    return cut;
}

bool WatchedPartChecksum(const QString& part, DWORD& checksum)
{
    if (part.isEmpty())
        return false;
    QByteArray bytes = taluvo::AnsiEncode(part);
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);  // the text ends at its first zero byte, as a C string would
    if (bytes.isEmpty())
        return false;
    checksum = CCrc32::Of(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}
