// Device contexts: creation, selection, state, fills, lines, pixels and clipping (blits:
// GdiBlit.cpp).
#include "platform/ui/GdiInternal.h"

#include "platform/ui/detail/Core.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>

#include <cmath>
#include <cstring>

namespace taluvo::ui::gdi {

void PaintWith(Dc& dc, const QRect& bound, const std::function<void(QPainter&)>& paint)
{
    QImage* image = Target(dc);
    if (!image)
        return;
    const QRegion allowed = Allowed(dc, *image, bound);
    if (allowed.isEmpty())
        return;
    const QRect box = allowed.boundingRect();
    // Qt paints a 32-bit RGB view of the same memory: it blends with the colour and marks the
    // pixels it writes with a non-zero top byte, which the pass below turns into GDI's alpha 0.
    std::vector<uint8_t> alpha(size_t(box.width()) * box.height());
    for (int y = 0; y < box.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image->scanLine(box.top() + y)) + box.left();
        for (int x = 0; x < box.width(); ++x) {
            alpha[size_t(y) * box.width() + x] = uint8_t(row[x] >> 24);
            row[x] &= 0xFFFFFF;
        }
    }
    {
        QImage view(image->bits(), image->width(), image->height(), image->bytesPerLine(), QImage::Format_RGB32);
        QPainter painter(&view);
        painter.setClipRegion(allowed);
        paint(painter);
    }
    for (int y = 0; y < box.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image->scanLine(box.top() + y)) + box.left();
        for (int x = 0; x < box.width(); ++x)
            row[x] = (row[x] >> 24) ? (row[x] & 0xFFFFFF)
                                    : (row[x] | (uint32_t(alpha[size_t(y) * box.width() + x]) << 24));
    }
    Done(dc);
}

// A screen context reads the screen once, at its first read. The program's own windows are drawn
// first: a paint they asked for (a tray icon given a new picture, a window just invalidated) is
// on the screen when it is read, as it would be on a system that paints synchronously.
void GrabScreenOnce(Dc& record)
{
    if (record.kind != Dc::Kind::Screen || record.screenGrabbed)
        return;
    record.screenGrabbed = true;
    if (!qGuiApp)
        return;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QImage grabbed = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_ARGB32);
        if (!grabbed.isNull())
            record.surface = grabbed;
    }
}

} // namespace taluvo::ui::gdi

using namespace taluvo::ui::gdi;
namespace detail = taluvo::ui::detail;

namespace {

std::unique_ptr<Dc> NewDc(Dc::Kind kind)
{
    auto dc = std::make_unique<Dc>();
    dc->kind = kind;
    dc->state.bitmap = kind == Dc::Kind::Memory ? DefaultBitmap() : nullptr;
    dc->state.pen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
    dc->state.brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    dc->state.font = DefaultFont();
    return dc;
}

QRect QRectOf(const RECT& r)
{
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Dash patterns of one-pixel pens, in pixels on and off.
const std::vector<int>& DashPattern(int style)
{
    static const std::vector<int> dash { 18, 6 }, dot { 3, 3 }, dashDot { 9, 6, 3, 6 }, dashDotDot { 9, 3, 3, 3, 3, 3 },
        solid;
    switch (style) {
    case PS_DASH:
        return dash;
    case PS_DOT:
        return dot;
    case PS_DASHDOT:
        return dashDot;
    case PS_DASHDOTDOT:
        return dashDotDot;
    default:
        return solid;
    }
}

bool PatternOn(const std::vector<int>& pattern, int step)
{
    if (pattern.empty())
        return true;
    int period = 0;
    for (int n : pattern)
        period += n;
    step %= period;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (step < pattern[i])
            return i % 2 == 0;
        step -= pattern[i];
    }
    return true;
}

uint32_t Rop2(int mode, uint32_t pen, uint32_t dest)
{
    switch (mode) {
    case R2_BLACK:
        return 0;
    case R2_WHITE:
        return 0xFFFFFF;
    case R2_NOT:
        return ~dest & 0xFFFFFF;
    case R2_XORPEN:
        return (pen ^ dest) & 0xFFFFFF;
    case R2_NOP:
        return dest;
    default:
        return pen;
    }
}

// A one-pixel line from a to b without its last pixel (Bresenham, as GDI steps it).
void ThinLine(Dc& dc, QImage& image, QPoint a, QPoint b, uint32_t pixel, int style)
{
    const QRegion allowed = Allowed(dc, image,
        QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
            QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y()))));
    const auto& pattern = DashPattern(style);
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), dy = -std::abs(b.y() - y);
    const int sx = x < b.x() ? 1 : -1, sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    while (x != b.x() || y != b.y()) {
        if (PatternOn(pattern, dc.styleStep) && allowed.contains(QPoint(x, y))) {
            auto* p = reinterpret_cast<uint32_t*>(image.scanLine(y)) + x;
            *p = Rop2(dc.state.rop2, pixel, *p & 0xFFFFFF);
        }
        ++dc.styleStep;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void DrawSegment(Dc& dc, QPoint a, QPoint b)
{
    auto pen = FindPen(dc.state.pen);
    if (!pen || pen->style == PS_NULL)
        return;
    if (pen->width <= 1) {
        if (QImage* image = Target(dc)) {
            ThinLine(dc, *image, a, b, PixelOf(pen->color), pen->style);
            Done(dc);
        }
        return;
    }
    // Wide pens are geometric: solid whatever the style, with round ends.
    const int w = pen->width;
    const QRect bound = QRect(a, b).normalized().adjusted(-w, -w, w, w);
    PaintWith(dc, bound, [&](QPainter& painter) {
        painter.setPen(QPen(QColor(QRgb(PixelOf(pen->color))), w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(QPointF(a) + QPointF(0.5, 0.5), QPointF(b) + QPointF(0.5, 0.5));
    });
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Contexts

HDC CreateCompatibleDC(HDC)
{
    return AddDc(NewDc(Dc::Kind::Memory));
}

BOOL DeleteDC(HDC dc)
{
    Dc* record = FindDc(dc);
    if (!record || record->kind != Dc::Kind::Memory)
        return FALSE;
    return RemoveDc(dc) ? TRUE : FALSE;
}

HDC GetDC(HWND hwnd)
{
    if (!hwnd) {
        auto dc = NewDc(Dc::Kind::Screen);
        QSize size(1, 1);
        if (qGuiApp)
            if (QScreen* screen = QGuiApplication::primaryScreen())
                size = screen->size();
        dc->surface = QImage(size, QImage::Format_ARGB32);
        dc->surface.fill(0);
        return AddDc(std::move(dc));
    }
    if (!detail::Find(hwnd))
        return nullptr;
    auto dc = NewDc(Dc::Kind::Window);
    dc->hwnd = hwnd;
    // What the window shows now; what is drawn here reaches the window when the context is released.
    dc->surface = detail::WindowSurface(hwnd);
    return AddDc(std::move(dc));
}

int ReleaseDC(HWND, HDC dc)
{
    Dc* record = FindDc(dc);
    if (!record || (record->kind != Dc::Kind::Window && record->kind != Dc::Kind::Screen))
        return 0;
    if (record->kind == Dc::Kind::Window)
        detail::ShowDrawnSurface(record->hwnd, record->surface);
    return RemoveDc(dc) ? 1 : 0;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps)
{
    auto record = detail::Find(hwnd);
    if (!record || !ps)
        return nullptr;
    auto dc = NewDc(Dc::Kind::Paint);
    dc->hwnd = hwnd;
    dc->surface = detail::ErasedSurface(hwnd);
    const QSize size = dc->surface.size();
    *ps = PAINTSTRUCT {};
    ps->fErase = TRUE;
    ps->rcPaint = RECT { 0, 0, size.width(), size.height() };
    ps->hdc = AddDc(std::move(dc));
    return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps)
{
    if (!ps)
        return FALSE;
    Dc* record = FindDc(ps->hdc);
    if (!record || record->kind != Dc::Kind::Paint)
        return FALSE;
    detail::PaintEnded(hwnd, record->surface);
    RemoveDc(ps->hdc);
    return TRUE;
}

int GetDeviceCaps(HDC dc, int index)
{
    Dc* record = FindDc(dc);
    if (!record)
        return 0;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case BITSPIXEL:
        return DepthOf(*record);
    case PLANES:
        return 1;
    case HORZRES:
    case VERTRES: {
        QImage* image = Target(*record);
        const QSize size = image ? image->size() : QSize();
        return index == HORZRES ? size.width() : size.height();
    }
    default:
        return 0;
    }
}

int SaveDC(HDC dc)
{
    Dc* record = FindDc(dc);
    if (!record)
        return 0;
    record->saved.push_back(record->state);
    return int(record->saved.size());
}

BOOL RestoreDC(HDC dc, int saved)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    const int count = int(record->saved.size());
    const int level = saved < 0 ? count + saved + 1 : saved;
    if (level < 1 || level > count)
        return FALSE;
    record->state = record->saved[size_t(level - 1)];
    record->saved.resize(size_t(level - 1));
    return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle)
{
    Dc* record = FindDc(dc);
    auto object = Find(handle);
    if (!record || !object)
        return nullptr;
    DcState& s = record->state;
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
    case OBJ_BITMAP:
        if (record->kind != Dc::Kind::Memory)
            return nullptr;
        if (handle != s.bitmap && handle != DefaultBitmap() && IsSelected(handle))
            return nullptr; // a bitmap lives in one memory context at a time
        previous = s.bitmap;
        s.bitmap = static_cast<HBITMAP>(handle);
        s.clipped = false;
        return previous;
    case OBJ_PEN:
        previous = s.pen;
        s.pen = static_cast<HPEN>(handle);
        return previous;
    case OBJ_BRUSH:
        previous = s.brush;
        s.brush = static_cast<HBRUSH>(handle);
        return previous;
    case OBJ_FONT:
        previous = FontObject(s.font);
        s.font = reinterpret_cast<HFONT>(handle);
        return previous;
    case OBJ_REGION:
        return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(SelectClipRgn(dc, static_cast<HRGN>(handle))));
    default:
        return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type)
{
    Dc* record = FindDc(dc);
    if (!record)
        return nullptr;
    switch (type) {
    case OBJ_BITMAP:
        return record->state.bitmap;
    case OBJ_PEN:
        return record->state.pen;
    case OBJ_BRUSH:
        return record->state.brush;
    case OBJ_FONT:
        return FontObject(record->state.font);
    default:
        return nullptr;
    }
}

int SetROP2(HDC dc, int mode)
{
    Dc* record = FindDc(dc);
    if (!record)
        return 0;
    const int previous = record->state.rop2;
    record->state.rop2 = mode;
    return previous;
}

// ---------------------------------------------------------------------------------------------
// Fills

int FillRect(HDC dc, const RECT* rect, HBRUSH handle)
{
    Dc* record = FindDc(dc);
    if (!record || !rect)
        return 0;
    // A brush may be a system colour index + 1, as window classes give it.
    std::shared_ptr<Brush> brush = FindBrush(handle);
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (!brush && value >= 1 && value <= 31)
        brush = FindBrush(GetSysColorBrush(int(value - 1)));
    if (!brush)
        return 0;
    if (brush->hollow)
        return 1;
    QImage* image = Target(*record);
    if (!image)
        return 0;
    FillPixels(*image, Allowed(*record, *image, QRectOf(*rect)), PixelOf(brush->color));
    Done(*record);
    return 1;
}

int FrameRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (!rect || IsRectEmpty(rect))
        return 0;
    const RECT sides[4] = { { rect->left, rect->top, rect->right, rect->top + 1 },
        { rect->left, rect->bottom - 1, rect->right, rect->bottom },
        { rect->left, rect->top, rect->left + 1, rect->bottom },
        { rect->right - 1, rect->top, rect->right, rect->bottom } };
    for (const RECT& side : sides)
        if (!FillRect(dc, &side, brush))
            return 0;
    return 1;
}

BOOL InvertRect(HDC dc, const RECT* rect)
{
    return rect ? PatBlt(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, DSTINVERT)
                : FALSE;
}

namespace {

// Outline with the pen, inside with the brush: the shape of Rectangle, Ellipse, RoundRect, Polygon.
BOOL Shape(HDC dc, const QRect& bound, const std::function<void(QPainter&, const QPen&, const QBrush&)>& draw)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    auto pen = FindPen(record->state.pen);
    auto brush = FindBrush(record->state.brush);
    QPen qpen = Qt::NoPen;
    if (pen && pen->style != PS_NULL)
        qpen = QPen(
            QColor(QRgb(PixelOf(pen->color))), std::max(pen->width, 1), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    QBrush qbrush = brush && !brush->hollow ? QBrush(QColor(QRgb(PixelOf(brush->color)))) : QBrush(Qt::NoBrush);
    PaintWith(*record, bound, [&](QPainter& painter) { draw(painter, qpen, qbrush); });
    return TRUE;
}

} // namespace

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    const QRect rect(left, top, right - left, bottom - top);
    if (rect.isEmpty())
        return TRUE;
    // The outline lies inside the rectangle and the right and bottom edges are outside, as on Windows.
    auto brush = FindBrush(record->state.brush);
    if (brush && !brush->hollow) {
        RECT inside { left, top, right, bottom };
        FillRect(dc, &inside, record->state.brush);
    }
    auto pen = FindPen(record->state.pen);
    if (pen && pen->style != PS_NULL) {
        HBRUSH frame = CreateSolidBrush(pen->color);
        const int w = std::max(pen->width, 1);
        for (int i = 0; i < w; ++i) {
            RECT r { left + i, top + i, right - i, bottom - i };
            FrameRect(dc, &r, frame);
        }
        DeleteObject(frame);
    }
    return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom)
{
    const QRect rect(left, top, right - left, bottom - top);
    return Shape(dc, rect.adjusted(-1, -1, 1, 1), [&](QPainter& painter, const QPen& pen, const QBrush& brush) {
        painter.setPen(pen);
        painter.setBrush(brush);
        painter.drawEllipse(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5));
    });
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight)
{
    const QRect rect(left, top, right - left, bottom - top);
    return Shape(dc, rect.adjusted(-1, -1, 1, 1), [&](QPainter& painter, const QPen& pen, const QBrush& brush) {
        painter.setPen(pen);
        painter.setBrush(brush);
        painter.drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), ellipseWidth / 2.0, ellipseHeight / 2.0);
    });
}

BOOL Polygon(HDC dc, const POINT* points, int count)
{
    if (!points || count < 2)
        return FALSE;
    QPolygonF polygon;
    QPolygon bound;
    for (int i = 0; i < count; ++i) {
        polygon << QPointF(points[i].x + 0.5, points[i].y + 0.5);
        bound << QPoint(points[i].x, points[i].y);
    }
    return Shape(
        dc, bound.boundingRect().adjusted(-8, -8, 8, 8), [&](QPainter& painter, const QPen& pen, const QBrush& brush) {
            painter.setPen(pen);
            painter.setBrush(brush);
            painter.drawPolygon(polygon, Qt::OddEvenFill);
        });
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    if (previous)
        *previous = record->state.position;
    record->state.position = POINT { x, y };
    record->styleStep = 0;
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    const POINT from = record->state.position;
    DrawSegment(*record, QPoint(from.x, from.y), QPoint(x, y));
    record->state.position = POINT { x, y };
    return TRUE;
}

BOOL Polyline(HDC dc, const POINT* points, int count)
{
    Dc* record = FindDc(dc);
    if (!record || !points || count < 2)
        return FALSE;
    const POINT saved = record->state.position;
    MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (int i = 1; i < count; ++i)
        LineTo(dc, points[i].x, points[i].y);
    record->state.position = saved;
    return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y)
{
    Dc* record = FindDc(dc);
    if (!record)
        return CLR_INVALID;
    GrabScreenOnce(*record);
    QImage* image = Target(*record);
    if (!image || x < 0 || y < 0 || x >= image->width() || y >= image->height())
        return CLR_INVALID;
    if (record->state.clipped && !record->state.clip.contains(QPoint(x, y)))
        return CLR_INVALID;
    return ColorOf(reinterpret_cast<const uint32_t*>(image->constScanLine(y))[x]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color)
{
    Dc* record = FindDc(dc);
    if (!record)
        return CLR_INVALID;
    QImage* image = Target(*record);
    if (!image || Allowed(*record, *image, QRect(x, y, 1, 1)).isEmpty())
        return CLR_INVALID;
    uint32_t pixel = PixelOf(color);
    if (DepthOf(*record) == 1)
        pixel = pixel ? 0xFFFFFF : 0;
    reinterpret_cast<uint32_t*>(image->scanLine(y))[x] = pixel;
    Done(*record);
    return ColorOf(pixel);
}

// ---------------------------------------------------------------------------------------------
// Regions on a context

BOOL FillRgn(HDC dc, HRGN handle, HBRUSH brushHandle)
{
    Dc* record = FindDc(dc);
    auto region = FindRegion(handle);
    auto brush = FindBrush(brushHandle);
    if (!record || !region || !brush)
        return FALSE;
    if (brush->hollow)
        return TRUE;
    QImage* image = Target(*record);
    if (!image)
        return FALSE;
    QRegion area = region->region.intersected(QRect(0, 0, image->width(), image->height()));
    if (record->state.clipped)
        area = area.intersected(record->state.clip);
    FillPixels(*image, area, PixelOf(brush->color));
    Done(*record);
    return TRUE;
}

BOOL FrameRgn(HDC dc, HRGN handle, HBRUSH brush, int width, int height)
{
    auto region = FindRegion(handle);
    if (!region || !FindDc(dc) || !FindBrush(brush))
        return FALSE;
    // The frame is what of the region is missing from it when it shrinks by the frame's size.
    const QRegion& r = region->region;
    const QRegion inner = r.intersected(r.translated(width, 0))
                              .intersected(r.translated(-width, 0))
                              .intersected(r.translated(0, height))
                              .intersected(r.translated(0, -height));
    HRGN frame = CreateRectRgn(0, 0, 0, 0);
    FindRegion(frame)->region = r.subtracted(inner);
    const BOOL result = FillRgn(dc, frame, brush);
    DeleteObject(frame);
    return result;
}

int SelectClipRgn(HDC dc, HRGN handle)
{
    Dc* record = FindDc(dc);
    if (!record)
        return ERROR;
    if (!handle) {
        record->state.clipped = false;
        record->state.clip = QRegion();
        return SIMPLEREGION;
    }
    auto region = FindRegion(handle);
    if (!region)
        return ERROR;
    record->state.clipped = true;
    record->state.clip = region->region;
    if (record->state.clip.isEmpty())
        return NULLREGION;
    return record->state.clip.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int GetClipBox(HDC dc, RECT* rect)
{
    Dc* record = FindDc(dc);
    if (!record || !rect)
        return ERROR;
    QImage* image = Target(*record);
    QRegion area = image ? QRegion(0, 0, image->width(), image->height()) : QRegion();
    if (record->state.clipped)
        area = area.intersected(record->state.clip);
    const QRect box = area.boundingRect();
    *rect = area.isEmpty() ? RECT {} : RECT { box.left(), box.top(), box.right() + 1, box.bottom() + 1 };
    if (area.isEmpty())
        return NULLREGION;
    return area.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

namespace {

int ChangeClip(HDC dc, const QRect& rect, bool intersect)
{
    Dc* record = FindDc(dc);
    if (!record)
        return ERROR;
    QImage* image = Target(*record);
    QRegion current = record->state.clipped ? record->state.clip
                                            : QRegion(0, 0, image ? image->width() : 0, image ? image->height() : 0);
    record->state.clip = intersect ? current.intersected(rect) : current.subtracted(rect);
    record->state.clipped = true;
    if (record->state.clip.isEmpty())
        return NULLREGION;
    return record->state.clip.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

} // namespace

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom)
{
    return ChangeClip(dc, QRect(left, top, right - left, bottom - top), true);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom)
{
    return ChangeClip(dc, QRect(left, top, right - left, bottom - top), false);
}

// ---------------------------------------------------------------------------------------------
// System colours and metrics

COLORREF GetSysColor(int index)
{
    // A light desktop scheme, the same on every machine so pictures repeat.
    static const COLORREF table[31] = { RGB(200, 200, 200), RGB(0, 0, 0), RGB(153, 180, 209), RGB(191, 205, 219),
        RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0), RGB(0, 0, 0), RGB(0, 0, 0),
        RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215), RGB(255, 255, 255),
        RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0), RGB(0, 0, 0), RGB(255, 255, 255),
        RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0), RGB(255, 255, 225), RGB(0, 0, 0), RGB(0, 102, 204),
        RGB(185, 209, 234), RGB(215, 228, 242), RGB(0, 120, 215), RGB(240, 240, 240) };
    return index >= 0 && index < 31 ? table[index] : 0;
}

int GetSystemMetrics(int index)
{
    QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    const QRect primary = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const QRect virtualArea = screen ? screen->virtualGeometry() : primary;
    switch (index) {
    case SM_CXSCREEN:
        return primary.width();
    case SM_CYSCREEN:
        return primary.height();
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_XVIRTUALSCREEN:
        return virtualArea.x();
    case SM_YVIRTUALSCREEN:
        return virtualArea.y();
    case SM_CXVIRTUALSCREEN:
        return virtualArea.width();
    case SM_CYVIRTUALSCREEN:
        return virtualArea.height();
    default:
        return 0;
    }
}

namespace taluvo::ui {

QImage ImageOfBitmap(HBITMAP handle)
{
    auto bitmap = FindBitmap(handle);
    if (!bitmap)
        return QImage();
    bitmap->Pull();
    return bitmap->image.copy();
}

QImage DoubledImageOfBitmap(HBITMAP handle)
{
    auto bitmap = FindBitmap(handle);
    if (!bitmap || bitmap->doubled.isNull())
        return QImage();
    bitmap->Pull();
    return bitmap->image.cacheKey() == bitmap->doubledFor ? bitmap->doubled : QImage();
}

HBITMAP BitmapOfImage(const QImage& image)
{
    if (image.isNull())
        return nullptr;
    HBITMAP handle = CreateCompatibleBitmap(nullptr, image.width(), image.height());
    if (auto bitmap = FindBitmap(handle))
        bitmap->image = image.convertToFormat(QImage::Format_ARGB32);
    return handle;
}

QImage ImageOfDc(HDC dc)
{
    Dc* record = FindDc(dc);
    QImage* image = record ? Target(*record) : nullptr;
    return image ? image->copy() : QImage();
}

} // namespace taluvo::ui
