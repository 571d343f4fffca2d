#include "Controls/HtmlToolTipPlacement.h"

namespace {

void OffsetRectBy(RECT& rect, int dx, int dy)
{
    rect.left += dx;
    rect.right += dx;
    rect.top += dy;
    rect.bottom += dy;
}

// The alignment along an edge that fits between near and far, starting from the requested one;
// p is the point's coordinate along the edge, extent the window's.
int FitAlignment(int align, int p, int extent, int margin, int nearEdge, int farEdge)
{
    switch (align) {
    case TIP_ALIGN_START:
        if (p + extent - margin > farEdge)
            return p - extent + margin < nearEdge ? TIP_ALIGN_CENTER : TIP_ALIGN_END;
        return align;
    case TIP_ALIGN_END:
        if (p - extent + margin < nearEdge)
            return p + extent - margin > farEdge ? TIP_ALIGN_CENTER : TIP_ALIGN_START;
        return align;
    default:
        if (p - nearEdge <= margin)
            return TIP_ALIGN_START;
        if (farEdge - p <= margin)
            return TIP_ALIGN_END;
        return align;
    }
}

// The anchor's coordinate along its edge, for a window of extent whose anchor lies on p.
int AnchorAlongEdge(int align, int p, int extent, int margin, int nearEdge, int farEdge)
{
    int anchor = 0;
    if (align == TIP_ALIGN_START) {
        anchor = margin;
    } else if (align == TIP_ALIGN_END) {
        anchor = extent - margin;
    } else {
        const int half = extent / 2;
        anchor = half;
        // A centred window that crosses one screen edge slides back to it; one that crosses both
        // stays centred.
        const bool crossesFar = p + half > farEdge;
        const bool crossesNear = p - half < nearEdge;
        if (crossesFar && !crossesNear)
            anchor += p + half - farEdge;
        else if (crossesNear && !crossesFar)
            anchor -= half - p + nearEdge;
    }
    if (align == TIP_ALIGN_END) {
        if (p + extent - anchor > farEdge)
            anchor = extent - farEdge + p;
    } else if (p - anchor < nearEdge) {
        anchor = p - nearEdge;
    }
    return anchor;
}

} // namespace

HtmlTipPlacement CalculateTipPlacement(
    int direction, POINT point, SIZE textSize, const HtmlTipSizes& sizes, const RECT& screen)
{
    HtmlTipPlacement out;
    out.text = { sizes.marginCx, sizes.marginCy, sizes.marginCx + textSize.cx, sizes.marginCy + textSize.cy };
    out.body = { 0, 0, textSize.cx + 2 * sizes.marginCx, textSize.cy + 2 * sizes.marginCy };

    int side = TipSide(direction);
    int align = TipAlign(direction);
    const bool horizontalEdge = side == TIP_SIDE_TOP || side == TIP_SIDE_BOTTOM;
    out.window = out.body;
    if (horizontalEdge)
        out.window.bottom += sizes.anchorHeight;
    else
        out.window.right += sizes.anchorHeight;
    const int width = out.window.right - out.window.left;
    const int height = out.window.bottom - out.window.top;
    const int margin = sizes.anchorMargin;

    if (horizontalEdge) {
        align = FitAlignment(align, point.x, width, margin, screen.left, screen.right);
        if (side == TIP_SIDE_TOP && point.y + height > screen.bottom)
            side = TIP_SIDE_BOTTOM;
        else if (side == TIP_SIDE_BOTTOM && point.y - height < screen.top)
            side = TIP_SIDE_TOP;
        out.anchor.y = side == TIP_SIDE_TOP ? 0 : height;
        out.anchor.x = AnchorAlongEdge(align, point.x, width, margin, screen.left, screen.right);
    } else {
        if (side == TIP_SIDE_LEFT && point.x + width > screen.right)
            side = TIP_SIDE_RIGHT;
        else if (side == TIP_SIDE_RIGHT && point.x - width < screen.left)
            side = TIP_SIDE_LEFT;
        align = FitAlignment(align, point.y, height, margin, screen.top, screen.bottom);
        out.anchor.x = side == TIP_SIDE_LEFT ? 0 : width;
        out.anchor.y = AnchorAlongEdge(align, point.y, height, margin, screen.top, screen.bottom);
    }

    if (side == TIP_SIDE_TOP) {
        OffsetRectBy(out.text, 0, sizes.anchorHeight);
        OffsetRectBy(out.body, 0, sizes.anchorHeight);
    } else if (side == TIP_SIDE_LEFT) {
        OffsetRectBy(out.text, sizes.anchorHeight, 0);
        OffsetRectBy(out.body, sizes.anchorHeight, 0);
    }
    out.direction = MakeTipDirection(side, align);
    out.screenOrigin = { point.x - out.anchor.x, point.y - out.anchor.y };
    return out;
}

HtmlTipShape CalculateTipShape(
    int direction, POINT anchor, int windowWidth, int windowHeight, const HtmlTipSizes& sizes)
{
    const int side = TipSide(direction);
    const int align = TipAlign(direction);
    RECT body { 0, 0, windowWidth, windowHeight };
    switch (side) {
    case TIP_SIDE_TOP:
        body.top += sizes.anchorHeight;
        break;
    case TIP_SIDE_BOTTOM:
        body.bottom -= sizes.anchorHeight;
        break;
    case TIP_SIDE_LEFT:
        body.left += sizes.anchorHeight;
        break;
    default:
        body.right -= sizes.anchorHeight;
        break;
    }

    HtmlTipShape shape;
    shape.roundedBody = { body.left, body.top, body.right + 1, body.bottom + 1 };
    shape.ellipseCx = sizes.roundedCx;
    shape.ellipseCy = sizes.roundedCy;
    shape.hasTriangle = sizes.anchorHeight != 0 && sizes.anchorWidth != 0;
    if (!shape.hasTriangle)
        return shape;

    const bool horizontalEdge = side == TIP_SIDE_TOP || side == TIP_SIDE_BOTTOM;
    const int edgeStart = horizontalEdge ? body.left : body.top;
    const int edgeEnd = horizontalEdge ? body.right : body.bottom;
    const int anchorAlong = horizontalEdge ? anchor.x : anchor.y;
    int baseFrom = 0;
    int baseTo = 0;
    if (align == TIP_ALIGN_START) {
        baseFrom = edgeStart + sizes.anchorMargin;
        baseTo = baseFrom + sizes.anchorWidth;
    } else if (align == TIP_ALIGN_END) {
        baseFrom = edgeEnd - sizes.anchorMargin;
        baseTo = baseFrom - sizes.anchorWidth;
    } else {
        baseFrom = anchorAlong - sizes.anchorWidth / 2;
        baseTo = baseFrom + sizes.anchorWidth;
    }
    int edge = 0;
    switch (side) {
    case TIP_SIDE_TOP:
        edge = body.top;
        break;
    case TIP_SIDE_BOTTOM:
        edge = body.bottom;
        break;
    case TIP_SIDE_LEFT:
        edge = body.left;
        break;
    default:
        edge = body.right;
        break;
    }
    shape.triangle[0] = anchor;
    if (horizontalEdge) {
        shape.triangle[1] = { baseFrom, edge };
        shape.triangle[2] = { baseTo, edge };
    } else {
        shape.triangle[1] = { edge, baseFrom };
        shape.triangle[2] = { edge, baseTo };
    }
    return shape;
}
