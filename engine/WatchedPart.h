// The watched part of a page: the text between the start text and the stop text. Its exact cut is
// part of the stored checksum format: the code unit just before the stop text is left out, and
// without a stop text the last two code units of the page are left out.
#pragma once

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
