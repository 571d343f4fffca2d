// Where a tooltip goes: from the size of its text, the point it must point at and the screen, the
// side of the point it lies on, its window rectangle, and the outline (rounded body and anchor
// triangle) of the window. Pure geometry, so the window only applies what comes out.
#pragma once

#include "platform/ui/WinUser.h"

// The tip's size slots.
struct HtmlTipSizes {
    int roundedCx = 16; // ellipse that rounds the body's corners
    int roundedCy = 16;
    int marginCx = 12; // space beside the text inside the body
    int marginCy = 12; // space above and below the text
    int anchorWidth = 12; // the anchor triangle's base along the body edge
    int anchorHeight = 16; // body edge to the anchor's tip
    int anchorMargin = 16; // the anchor's distance from the body's corner

    // The rounded balloon with an anchor (the default) or the plain rectangle without one.
    static HtmlTipSizes Balloon() { return {}; }
    static HtmlTipSizes Plain() { return { 0, 0, 3, 1, 0, 0, 0 }; }
};

// A direction is side × 16 + alignment. Side: which edge of the body carries the anchor.
// Alignment: the anchor near the start of that edge, near its end, or in its middle.
enum HtmlTipSide { TIP_SIDE_TOP = 0, TIP_SIDE_BOTTOM = 1, TIP_SIDE_LEFT = 2, TIP_SIDE_RIGHT = 3 };
enum HtmlTipAlign { TIP_ALIGN_START = 0, TIP_ALIGN_END = 1, TIP_ALIGN_CENTER = 2 };
constexpr int MakeTipDirection(int side, int align)
{
    return side * 16 + align;
}
constexpr int TipSide(int direction)
{
    return direction / 16;
}
constexpr int TipAlign(int direction)
{
    return direction % 16;
}

// All rectangles and the anchor are in window coordinates (origin at the window's top-left).
struct HtmlTipPlacement {
    int direction = 0; // after the tip was turned to fit the screen
    RECT text {}; // where the HTML is drawn
    RECT body {}; // text plus margins: the rounded, filled part
    RECT window {}; // body plus the anchor strip (no shadow)
    POINT anchor {}; // the anchor's tip
    POINT screenOrigin {}; // the window's top-left on the screen: the anchor's tip lies on the point
};

// Places a tip of textSize for the point (screen coordinates) inside screen (the virtual screen).
// The requested direction is one of the twelve valid ones; the tip turns to the other side or
// alignment where it would leave the screen. A tip larger than the screen keeps its size and is
// pinned to the screen's near edge.
HtmlTipPlacement CalculateTipPlacement(
    int direction, POINT point, SIZE textSize, const HtmlTipSizes& sizes, const RECT& screen);

// The window's outline: a rounded rectangle (its right and bottom one pixel past the body, the
// way a round-rectangle region takes them) joined with the anchor triangle, whose tip is the
// anchor point and whose base lies on the body's edge. No triangle when the anchor has no height
// or no width.
struct HtmlTipShape {
    RECT roundedBody {};
    int ellipseCx = 0;
    int ellipseCy = 0;
    bool hasTriangle = false;
    POINT triangle[3] {};
};
HtmlTipShape CalculateTipShape(
    int direction, POINT anchor, int windowWidth, int windowHeight, const HtmlTipSizes& sizes);
