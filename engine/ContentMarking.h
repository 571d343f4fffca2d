// Where the start and stop texts of a watched part stand in a page's text, and the colours the
// content-selection dialog shows them in: the start text green, the stop text red, the watched
// part between them blue, everything else black. The marking is worked out here on the text
// alone; the dialog only lays the ranges onto its rich edit.
//
// The searches are exact and case-sensitive. The stop text is looked for only after a start text
// that was found (or after the beginning, without a start text), so a stop text that occurs only
// before the start text counts as not found.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <vector>

constexpr COLORREF kMarkOutside = 0x000000; // black
constexpr COLORREF kMarkStartText = 0x00FF00; // green
constexpr COLORREF kMarkWatched = 0xFF0000; // blue (0x00BBGGRR)
constexpr COLORREF kMarkStopText = 0x0000FF; // red

struct SColouredRange {
    int first; // character positions (UTF-16 code units), [first, last)
    int last;
    COLORREF colour;
    bool operator==(const SColouredRange&) const = default;
};

struct SContentMarking {
    // Position of the start text; 0 without one; -1 when it does not occur.
    int startPos = 0;
    // Position of the stop text; -1 without one or when it does not occur after the start.
    int stopPos = -1;
    // The start text was found, or there is none: only then is the stop text looked for.
    bool startFound = true;
    // Adjacent ranges covering the whole text in order, none empty.
    std::vector<SColouredRange> ranges;
};

SContentMarking MarkContent(const QString& text, const QString& startText, const QString& stopText);
