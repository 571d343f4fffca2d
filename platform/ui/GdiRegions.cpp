// Regions of the drawing layer: made from rectangles, rounded rectangles, ellipses and polygons,
// combined, moved and compared.
#include "platform/ui/GdiInternal.h"

#include <QPainterPath>
#include <QPolygon>

using namespace taluvo::ui::gdi;

namespace {

HRGN AddRegion(const QRegion& region)
{
    auto object = std::make_shared<Region>();
    object->region = region;
    return static_cast<HRGN>(Add(object));
}

QRect RectOf(int left, int top, int right, int bottom)
{
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    return QRect(left, top, right - left, bottom - top);
}

int Complexity(const QRegion& region)
{
    if (region.isEmpty())
        return NULLREGION;
    return region.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// The pixels whose centres fall inside a path: the shape a region of that outline covers.
QRegion RegionOfPath(const QPainterPath& path, const QRect& bounds)
{
    QRegion region;
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        int runStart = -1;
        for (int x = bounds.left(); x <= bounds.right() + 1; ++x) {
            const bool inside = x <= bounds.right() && path.contains(QPointF(x + 0.5, y + 0.5));
            if (inside && runStart < 0)
                runStart = x;
            if (!inside && runStart >= 0) {
                region += QRect(runStart, y, x - runStart, 1);
                runStart = -1;
            }
        }
    }
    return region;
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    return AddRegion(QRegion(RectOf(left, top, right, bottom)));
}

HRGN CreateRectRgnIndirect(const RECT* rect)
{
    return rect ? CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom) : nullptr;
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight)
{
    // As on Windows, the region covers left..right-1 and top..bottom-1.
    const QRect rect = RectOf(left, top, right - 1, bottom - 1);
    if (rect.isEmpty())
        return AddRegion(QRegion());
    QPainterPath path;
    const double rx = std::min(std::abs(ellipseWidth), rect.width()) / 2.0;
    const double ry = std::min(std::abs(ellipseHeight), rect.height()) / 2.0;
    if (rx < 1 || ry < 1)
        return AddRegion(QRegion(rect));
    path.addRoundedRect(QRectF(rect), rx, ry);
    return AddRegion(RegionOfPath(path, rect));
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom)
{
    const QRect rect = RectOf(left, top, right, bottom);
    QPainterPath path;
    path.addEllipse(QRectF(rect));
    return AddRegion(RegionOfPath(path, rect));
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode)
{
    if (!points || count < 0)
        return nullptr;
    QPolygon polygon;
    for (int i = 0; i < count; ++i)
        polygon << QPoint(points[i].x, points[i].y);
    if (count < 3)
        return AddRegion(QRegion());
    QPainterPath path;
    path.addPolygon(polygon);
    path.setFillRule(fillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    return AddRegion(RegionOfPath(path, polygon.boundingRect()));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode)
{
    auto d = FindRegion(dest);
    auto a = FindRegion(src1);
    auto b = mode == RGN_COPY ? a : FindRegion(src2);
    if (!d || !a || !b)
        return ERROR;
    switch (mode) {
    case RGN_AND:
        d->region = a->region.intersected(b->region);
        break;
    case RGN_OR:
        d->region = a->region.united(b->region);
        break;
    case RGN_XOR:
        d->region = a->region.xored(b->region);
        break;
    case RGN_DIFF:
        d->region = a->region.subtracted(b->region);
        break;
    case RGN_COPY:
        d->region = a->region;
        break;
    default:
        return ERROR;
    }
    return Complexity(d->region);
}

int OffsetRgn(HRGN handle, int dx, int dy)
{
    auto region = FindRegion(handle);
    if (!region)
        return ERROR;
    region->region.translate(dx, dy);
    return Complexity(region->region);
}

int GetRgnBox(HRGN handle, RECT* rect)
{
    auto region = FindRegion(handle);
    if (!region || !rect)
        return ERROR;
    const QRect box = region->region.boundingRect();
    *rect = box.isEmpty() ? RECT {} : RECT { box.left(), box.top(), box.right() + 1, box.bottom() + 1 };
    return Complexity(region->region);
}

BOOL PtInRegion(HRGN handle, int x, int y)
{
    auto region = FindRegion(handle);
    return region && region->region.contains(QPoint(x, y)) ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN a, HRGN b)
{
    auto ra = FindRegion(a);
    auto rb = FindRegion(b);
    return ra && rb && ra->region == rb->region ? TRUE : FALSE;
}

namespace taluvo::ui {

QRegion QRegionOf(HRGN handle)
{
    auto region = gdi::FindRegion(handle);
    return region ? region->region : QRegion();
}

} // namespace taluvo::ui
