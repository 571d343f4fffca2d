// The watched part of a page: the text between the start text and the stop text. Its exact cut is
// part of the stored checksum format: the code unit just before the stop text is left out, and
// without a stop text the last two code units of the page are left out.
#pragma once

#include "core/Crc32.h"
#include "platform/base/WinTypes.h"

#include <QStringView>

struct SWatchedPartCut {
    qsizetype startPos = 0; // position of the start text, -1 when it does not occur
    qsizetype stopPos = 0; // position of the stop text, -1 when it does not occur after the start
    QStringView part; // a view into the page: the page must outlive it
};

SWatchedPartCut CutWatchedPart(QStringView html, QStringView startText, QStringView stopText);

// The checksum of the watched part's ANSI bytes (up to a first zero byte), taken piece by piece
// without a copy of the part; false when there are no bytes to take the checksum of.
bool WatchedPartChecksum(QStringView part, DWORD& checksum);

// The checksum of a page watched whole (no start or stop text), taken over the page's bytes as
// they are read, so its text is never encoded again: the decoded text turns back into exactly the
// bytes it came from, so the bytes of the part are the page's bytes without those of its last two
// code units. The last few bytes are held back until the page's end tells how many those are.
class CWholePageChecksum {
public:
    void Reset();
    // The next bytes of the page, exactly as they were decoded into its text (without a zero byte:
    // the text of a piece ends before its first).
    void Add(const char* bytes, qsizetype size);
    // The checksum of the part that CutWatchedPart gives for text, the whole text decoded from what
    // was added, without a start or a stop text; false when the part has no bytes.
    bool Finish(QStringView text, DWORD& checksum) const;

private:
    // More than the bytes of the last three code units (a pair cut in two and the unit after it).
    static constexpr qsizetype kHeldBytes = 8;

    CCrc32 m_crc;
    qsizetype m_folded = 0; // bytes in the CRC's state
    char m_held[kHeldBytes] = {};
    qsizetype m_heldSize = 0;
};
