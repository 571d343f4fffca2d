#include "engine/ContentMarking.h"

namespace {

void Colour(std::vector<SColouredRange>& ranges, qsizetype first, qsizetype last, COLORREF colour)
{
    if (last <= first)
        return;
    if (!ranges.empty() && ranges.back().colour == colour && ranges.back().last == first) {
        ranges.back().last = static_cast<int>(last);
        return;
    }
    ranges.push_back({ static_cast<int>(first), static_cast<int>(last), colour });
}

} // namespace

SContentMarking MarkContent(const QString& text, const QString& startText, const QString& stopText)
{
    SContentMarking marking;
    const qsizetype end = text.size();
    qsizetype from = 0;
    if (!startText.isEmpty()) {
        const qsizetype at = text.indexOf(startText, 0, Qt::CaseSensitive);
        marking.startPos = static_cast<int>(at);
        marking.startFound = at >= 0;
        if (at < 0) {
            Colour(marking.ranges, 0, end, kMarkOutside);
            return marking;
        }
        Colour(marking.ranges, 0, at, kMarkOutside);
        Colour(marking.ranges, at, at + startText.size(), kMarkStartText);
        from = at + startText.size();
    }
    if (stopText.isEmpty()) {
        Colour(marking.ranges, from, end, kMarkWatched);
        return marking;
    }
    const qsizetype stop = text.indexOf(stopText, from, Qt::CaseSensitive);
    if (stop < 0) {
        Colour(marking.ranges, from, end, kMarkOutside);
        return marking;
    }
    marking.stopPos = static_cast<int>(stop);
    Colour(marking.ranges, from, stop, kMarkWatched);
    Colour(marking.ranges, stop, stop + stopText.size(), kMarkStopText);
    Colour(marking.ranges, stop + stopText.size(), end, kMarkOutside);
    return marking;
}
