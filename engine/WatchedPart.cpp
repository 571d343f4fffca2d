#include "engine/WatchedPart.h"

#include "core/Crc32.h"
#include "platform/base/TextCodec.h"

#include <algorithm>
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

void CWholePageChecksum::Reset()
{
    m_crc.Reset();
    m_folded = 0;
    m_heldSize = 0;
}

void CWholePageChecksum::Add(const char* bytes, qsizetype size)
{
    if (size <= 0)
        return;
    const qsizetype total = m_heldSize + size;
    if (total <= kHeldBytes) {
        std::memcpy(m_held + m_heldSize, bytes, static_cast<size_t>(size));
        m_heldSize = total;
        return;
    }
    // Everything but the last kHeldBytes goes into the state: first the held bytes, then the new.
    qsizetype fold = total - kHeldBytes;
    const qsizetype fromHeld = std::min(fold, m_heldSize);
    m_crc.Update(m_held, static_cast<size_t>(fromHeld));
    fold -= fromHeld;
    m_crc.Update(bytes, static_cast<size_t>(fold));
    m_folded += fromHeld + fold;
    std::memmove(m_held, m_held + fromHeld, static_cast<size_t>(m_heldSize - fromHeld));
    m_heldSize -= fromHeld;
    std::memcpy(m_held + m_heldSize, bytes + fold, static_cast<size_t>(size - fold));
    m_heldSize += size - fold;
}

bool CWholePageChecksum::Finish(QStringView text, DWORD& checksum) const
{
    // The part is the text without its last two units; none when that leaves nothing.
    const qsizetype length = text.size();
    if (length < 3)
        return false;
    const qsizetype cut = length - 2;
    // A pair cut in two leaves its high half alone at the part's end, which encodes as U+FFFD.
    const bool pairCut = text[cut - 1].isHighSurrogate() && text[cut].isLowSurrogate();
    const qsizetype tailFrom = pairCut ? cut - 1 : cut;
    const qsizetype dropped = taluvo::AnsiEncode(text.mid(tailFrom)).size();
    if (dropped > m_heldSize)
        return false; // not the text of these bytes
    CCrc32 crc = m_crc;
    const qsizetype kept = m_heldSize - dropped;
    crc.Update(m_held, static_cast<size_t>(kept));
    qsizetype bytes = m_folded + kept;
    if (pairCut) {
        static constexpr char kReplacement[] = "\xEF\xBF\xBD";
        crc.Update(kReplacement, 3);
        bytes += 3;
    }
    if (bytes == 0)
        return false;
    checksum = ~crc.GetState();
    return true;
}
