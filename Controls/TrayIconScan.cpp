#include "Controls/TrayIconScan.h"

#include <map>

namespace {

constexpr int kProbeMinWidth = 16;
constexpr int kProbeRowsNeeded = 16;

struct DarkRun {
    int start;
    int length;
};

// Runs of dark pixels in one row, each closed by a pixel that is not dark.
std::vector<DarkRun> ClosedDarkRuns(const TrayStripImage& strip, int y)
{
    std::vector<DarkRun> runs;
    int length = 0;
    for (int x = strip.area.left; x < strip.area.right; ++x) {
        if (IsProbeDark(strip.At(x, y))) {
            ++length;
            continue;
        }
        if (length > 0)
            runs.push_back({ x - length, length });
        length = 0;
    }
    return runs;
}

} // namespace

bool FindProbeIconInStrip(const TrayStripImage& strip, POINT* found)
{
    if (!found || !strip.IsComplete())
        return false;
    // For each column: how many rows, one above the other, have a wide run starting there.
    std::map<int, int> rowsAtColumn;
    bool matched = false;
    POINT point {};
    for (int y = strip.area.bottom - 3; y > strip.area.top; --y) {
        std::map<int, int> next;
        bool rowMatched = false;
        for (const DarkRun& run : ClosedDarkRuns(strip, y)) {
            if (run.length < kProbeMinWidth)
                continue;
            const auto before = rowsAtColumn.find(run.start);
            const int rows = (before == rowsAtColumn.end() ? 0 : before->second) + 1;
            next[run.start] = rows;
            if (!rowMatched && rows >= kProbeRowsNeeded) {
                point = { run.start + 8, y + 8 };
                rowMatched = true;
            }
        }
        rowsAtColumn = std::move(next);
        matched = matched || rowMatched;
    }
    if (matched)
        *found = point;
    return matched;
}
