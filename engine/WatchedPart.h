// The watched part of a page: the text between the start text and the stop text. Its exact cut is
// part of the stored checksum format: the code unit just before the stop text is left out, and
// without a stop text the last two code units of the page are left out.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

struct SWatchedPartCut {
    qsizetype startPos = 0;  // position of the start text, -1 when it does not occur
    qsizetype stopPos = 0;   // position of the stop text, -1 when it does not occur after the start
    QString part;
};

SWatchedPartCut CutWatchedPart(const QString& html, const QString& startText, const QString& stopText);

// The checksum of the watched part's ANSI bytes (up to a first zero byte); false when there are no
// bytes to take the checksum of.
bool WatchedPartChecksum(const QString& part, DWORD& checksum);
