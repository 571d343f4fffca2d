// The pixel search that finds the tray icon while it wears the all-black probe picture: a grabbed
// picture of the tray area in, the probe's point out. Kept apart from the screen grab so that it
// can be run over any picture.
#pragma once

#include "platform/ui/WinUser.h"

#include <vector>

// A grabbed picture of the tray area: the area's screen rectangle and its pixels row by row from
// the top, width × height of them.
struct TrayStripImage {
    RECT area {};
    std::vector<COLORREF> pixels;

    int Width() const { return area.right - area.left; }
    int Height() const { return area.bottom - area.top; }
    // The pixel at a screen point inside the area.
    COLORREF At(int x, int y) const { return pixels[size_t(y - area.top) * size_t(Width()) + size_t(x - area.left)]; }
    bool IsComplete() const
    {
        return Width() > 0 && Height() > 0 && pixels.size() == size_t(Width()) * size_t(Height());
    }
};

// Dark enough to be the probe: every channel below 4, so the small shifts of a dithered or
// colour-managed screen still count as black.
constexpr bool IsProbeDark(COLORREF color)
{
    return (color & 0x00FCFCFC) == 0;
}

// Looks for a dark square at least 16 pixels wide whose left edge stays in one column for 16
// rows one above the other. The rows are walked from the bottom up and a higher match replaces a
// lower one; the point is 8 pixels right of the square's left edge and 8 below its top row. Rows
// are walked from the third from the bottom up to the second from the top, and a dark run must
// end in a pixel that is not dark: a grab should leave a margin around the icons. A row without
// the run ends the count of its column, so dark lines that only share a starting column are no
// square. False, and the point untouched, when nothing matches or the picture does not cover the
// area. A panel that is itself black hides the probe; nothing can find it there.
bool FindProbeIconInStrip(const TrayStripImage& strip, POINT* found);
