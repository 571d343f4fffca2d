#include "engine/WatchedPart.h"

#include "core/Crc32.h"
#include "platform/base/TextCodec.h"

#include <cstring>

SWatchedPartCut CutWatchedPart(QStringView html, QStringView startText, QStringView stopText)
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

bool WatchedPartChecksum(QStringView part, DWORD& checksum)
{
    if (part.isEmpty())
        return false;
    CCrc32 crc;
    crc.Reset();
    qsizetype taken = 0;
    taluvo::AnsiEncodePieces(part, [&](const char* bytes, qsizetype size) {
        // The text ends at its first zero byte, as a C string would.
        const void* zero = std::memchr(bytes, '\0', static_cast<size_t>(size));
        const qsizetype before = zero ? static_cast<const char*>(zero) - bytes : size;
        crc.Update(bytes, static_cast<size_t>(before));
        taken += before;
        return zero == nullptr;
    });
    if (taken == 0)
        return false;
    checksum = ~crc.GetState();
    return true;
}
