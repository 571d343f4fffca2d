// The object registry of the drawing layer, bitmaps and DIB sections, pens and brushes (regions:
// GdiRegions.cpp).
#include "platform/ui/GdiInternal.h"

#include "platform/base/KernelObjects.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

namespace taluvo::ui::gdi {
namespace {

// Far above the window layer's icon handles, so a handle of one kind is never a handle of the other.
constexpr uintptr_t kFirstHandle = 0x1000000;

class Registry {
public:
    static Registry& Instance()
    {
        static Registry* registry = new Registry;
        return *registry;
    }
    uintptr_t Next()
    {
        m_next += 4;
        return m_next;
    }
    std::mutex lock;
    std::unordered_map<uintptr_t, ObjectPtr> objects;
    std::unordered_map<uintptr_t, std::unique_ptr<Dc>> dcs;

private:
    uintptr_t m_next = kFirstHandle;
};

} // namespace

HGDIOBJ Add(ObjectPtr object)
{
    auto& registry = Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    const uintptr_t key = registry.Next();
    registry.objects[key] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(key);
}

ObjectPtr Find(HGDIOBJ handle)
{
    auto& registry = Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == registry.objects.end() ? nullptr : it->second;
}

bool Remove(HGDIOBJ handle)
{
    auto& registry = Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    return registry.objects.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
}

bool IsSelected(HGDIOBJ handle)
{
    auto& registry = Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (auto& [key, dc] : registry.dcs) {
        const DcState& s = dc->state;
        if (s.bitmap == handle || s.pen == handle || s.brush == handle || FontObject(s.font) == handle)
            return true;
    }
    return false;
}

HDC AddDc(std::unique_ptr<Dc> dc)
{
    auto& registry = Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    const uintptr_t key = registry.Next();
    registry.dcs[key] = std::move(dc);
    return reinterpret_cast<HDC>(key);
}

Dc* FindDc(HDC dc)
{
    auto& registry = Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.dcs.find(reinterpret_cast<uintptr_t>(dc));
    return it == registry.dcs.end() ? nullptr : it->second.get();
}

bool RemoveDc(HDC dc)
{
    auto& registry = Registry::Instance();
    std::unique_ptr<Dc> doomed;
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.dcs.find(reinterpret_cast<uintptr_t>(dc));
    if (it == registry.dcs.end())
        return false;
    doomed = std::move(it->second);
    registry.dcs.erase(it);
    return true;
}

// ---------------------------------------------------------------------------------------------
// DIB sections

namespace {

int PaletteCount(int bitsPerPixel)
{
    return bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0;
}

int Stride(int width, int bitsPerPixel)
{
    return ((width * bitsPerPixel + 31) >> 5) << 2;
}

uint32_t PixelOfQuad(const RGBQUAD& q)
{
    return (uint32_t(q.rgbRed) << 16) | (uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
}

int NearestIndex(const std::vector<RGBQUAD>& colors, uint32_t pixel)
{
    int best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < colors.size(); ++i) {
        const int dr = int((pixel >> 16) & 0xFF) - colors[i].rgbRed;
        const int dg = int((pixel >> 8) & 0xFF) - colors[i].rgbGreen;
        const int db = int(pixel & 0xFF) - colors[i].rgbBlue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
            if (distance == 0)
                break;
        }
    }
    return best;
}

} // namespace

void Bitmap::Pull()
{
    if (!dib)
        return;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bits.data() + size_t(bottomUp ? height - 1 - y : y) * stride;
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        switch (bitsPerPixel) {
        case 32:
            std::memcpy(out, row, size_t(width) * 4);
            break;
        case 24:
            for (int x = 0; x < width; ++x) {
                const uint8_t* pixel = row + size_t(x) * 3;
                out[x] = pixel[0] | (pixel[1] << 8) | (uint32_t(pixel[2]) << 16);
            }
            break;
        case 16: // 5-5-5
            for (int x = 0; x < width; ++x) {
                const uint8_t* pixel = row + size_t(x) * 2;
                const unsigned v = pixel[0] | (pixel[1] << 8);
                const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                out[x] = ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
            }
            break;
        default: {
            const int bpp = bitsPerPixel;
            const int mask = (1 << bpp) - 1;
            for (int x = 0; x < width; ++x) {
                const int bit = x * bpp;
                const int index = (row[bit >> 3] >> (8 - bpp - (bit & 7))) & mask;
                out[x] = index < int(colors.size()) ? PixelOfQuad(colors[index]) : 0;
            }
        }
        }
    }
}

void Bitmap::Push()
{
    if (!dib)
        return;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bits.data() + size_t(bottomUp ? height - 1 - y : y) * stride;
        const auto* in = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        switch (bitsPerPixel) {
        case 32:
            std::memcpy(row, in, size_t(width) * 4);
            break;
        case 24:
            for (int x = 0; x < width; ++x) {
                uint8_t* pixel = row + size_t(x) * 3;
                pixel[0] = in[x] & 0xFF;
                pixel[1] = (in[x] >> 8) & 0xFF;
                pixel[2] = (in[x] >> 16) & 0xFF;
            }
            break;
        case 16:
            for (int x = 0; x < width; ++x) {
                const unsigned v = (((in[x] >> 19) & 31) << 10) | (((in[x] >> 11) & 31) << 5) | ((in[x] >> 3) & 31);
                uint8_t* pixel = row + size_t(x) * 2;
                pixel[0] = v & 0xFF;
                pixel[1] = (v >> 8) & 0xFF;
            }
            break;
        default: {
            const int bpp = bitsPerPixel;
            const int mask = (1 << bpp) - 1;
            uint32_t lastPixel = 0xFFFFFFFF;
            int lastIndex = 0;
            for (int x = 0; x < width; ++x) {
                const uint32_t pixel = in[x] & 0xFFFFFF;
                if (pixel != lastPixel) {
                    lastIndex = NearestIndex(colors, pixel);
                    lastPixel = pixel;
                }
                const int bit = x * bpp;
                const int shift = 8 - bpp - (bit & 7);
                row[bit >> 3] = static_cast<uint8_t>((row[bit >> 3] & ~(mask << shift)) | (lastIndex << shift));
            }
        }
        }
    }
}

namespace {

std::shared_ptr<Bitmap> NewBitmap(int width, int height, int bitsPerPixel)
{
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPerPixel = bitsPerPixel;
    bitmap->image = QImage(width, height, QImage::Format_ARGB32);
    if (bitmap->image.isNull())
        return nullptr;
    bitmap->image.fill(0);
    return bitmap;
}

} // namespace

HBITMAP DefaultBitmap()
{
    static HBITMAP bitmap = [] {
        auto object = NewBitmap(1, 1, 1);
        object->stock = true;
        object->image.fill(0);
        return static_cast<HBITMAP>(Add(object));
    }();
    return bitmap;
}

std::shared_ptr<Bitmap> SelectedBitmap(const Dc& dc)
{
    return dc.kind == Dc::Kind::Memory ? FindBitmap(dc.state.bitmap) : nullptr;
}

int DepthOf(const Dc& dc)
{
    auto bitmap = SelectedBitmap(dc);
    return bitmap ? bitmap->bitsPerPixel : 32;
}

QImage* Target(Dc& dc)
{
    if (dc.kind != Dc::Kind::Memory)
        return dc.surface.isNull() ? nullptr : &dc.surface;
    auto bitmap = SelectedBitmap(dc);
    if (!bitmap)
        return nullptr;
    bitmap->Pull();
    return &bitmap->image;
}

void Done(Dc& dc)
{
    if (auto bitmap = SelectedBitmap(dc))
        bitmap->Push();
}

QRegion Allowed(const Dc& dc, const QImage& image, const QRect& rect)
{
    QRegion region = QRegion(rect).intersected(QRect(0, 0, image.width(), image.height()));
    if (dc.state.clipped)
        region = region.intersected(dc.state.clip);
    return region;
}

void FillPixels(QImage& image, const QRegion& region, uint32_t pixel)
{
    for (const QRect& r : region) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
            std::fill(row + r.left(), row + r.right() + 1, pixel);
        }
    }
}

} // namespace taluvo::ui::gdi

using namespace taluvo::ui::gdi;

// ---------------------------------------------------------------------------------------------
// Bitmaps

HBITMAP CreateCompatibleBitmap(HDC, int width, int height)
{
    if (width < 0 || height < 0 || int64_t(width) * height > (int64_t(1) << 28))
        return nullptr;
    auto bitmap = NewBitmap(std::max(width, 1), std::max(height, 1), 32);
    return bitmap ? static_cast<HBITMAP>(Add(bitmap)) : nullptr;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    if (width <= 0 || height <= 0 || planes != 1 || int64_t(width) * height > (int64_t(1) << 28))
        return nullptr;
    // Device-dependent bitmaps are monochrome or 32 bits; other depths behave as 32.
    const int depth = bitsPerPixel == 1 ? 1 : 32;
    auto bitmap = NewBitmap(width, height, depth);
    if (!bitmap)
        return nullptr;
    if (bits) {
        // Device-dependent rows are padded to 16 bits, top-down.
        const auto* in = static_cast<const uint8_t*>(bits);
        if (depth == 1) {
            const int stride = ((width + 15) >> 4) << 1;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    bitmap->image.setPixel(x, y, (in[y * stride + (x >> 3)] >> (7 - (x & 7))) & 1 ? 0xFFFFFF : 0);
        } else if (bitsPerPixel == 32) {
            for (int y = 0; y < height; ++y)
                std::memcpy(bitmap->image.scanLine(y), in + size_t(y) * width * 4, size_t(width) * 4);
        }
    }
    return static_cast<HBITMAP>(Add(bitmap));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD)
{
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS)
        return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int bpp = h.biBitCount;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1
        || h.biCompression != BI_RGB || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        return nullptr;
    const int width = h.biWidth;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (int64_t(width) * height > (int64_t(1) << 28))
        return nullptr;
    auto bitmap = NewBitmap(width, height, bpp);
    if (!bitmap)
        return nullptr;
    bitmap->dib = true;
    bitmap->bottomUp = h.biHeight > 0;
    bitmap->stride = Stride(width, bpp);
    bitmap->header = h;
    bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->header.biSizeImage = DWORD(bitmap->stride) * height;
    const int count = PaletteCount(bpp);
    if (count) {
        const int used = h.biClrUsed && int(h.biClrUsed) < count ? int(h.biClrUsed) : count;
        bitmap->colors.assign(size_t(count), RGBQUAD {});
        std::memcpy(bitmap->colors.data(), info->bmiColors, size_t(used) * sizeof(RGBQUAD));
    }
    try {
        bitmap->bits.assign(size_t(bitmap->stride) * height, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    bitmap->Pull();
    if (bits)
        *bits = bitmap->bits.data();
    return static_cast<HBITMAP>(Add(bitmap));
}

int GetDIBits(HDC, HBITMAP handle, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage)
{
    auto bitmap = FindBitmap(handle);
    if (!bitmap || !info || usage != DIB_RGB_COLORS)
        return 0;
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biBitCount == 0) {
        // Only the header is asked for.
        h.biWidth = bitmap->width;
        h.biHeight = bitmap->height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bitmap->bitsPerPixel);
        h.biCompression = BI_RGB;
        h.biSizeImage = DWORD(Stride(bitmap->width, bitmap->bitsPerPixel)) * bitmap->height;
        return bitmap->height;
    }
    if (h.biBitCount != 24 && h.biBitCount != 32)
        return 0;
    bitmap->Pull();
    const int bpp = h.biBitCount;
    const int stride = Stride(bitmap->width, bpp);
    const bool bottomUp = h.biHeight > 0;
    UINT done = 0;
    if (bits) {
        for (UINT line = start; line < start + lines && int(line) < bitmap->height; ++line, ++done) {
            // `line` counts scan lines in the order of the destination's rows.
            const int y = bottomUp ? bitmap->height - 1 - int(line) : int(line);
            const auto* in = reinterpret_cast<const uint32_t*>(bitmap->image.constScanLine(y));
            uint8_t* out = static_cast<uint8_t*>(bits) + size_t(line - start) * stride;
            if (bpp == 32) {
                std::memcpy(out, in, size_t(bitmap->width) * 4);
            } else {
                for (int x = 0; x < bitmap->width; ++x) {
                    uint8_t* pixel = out + size_t(x) * 3;
                    pixel[0] = in[x] & 0xFF;
                    pixel[1] = (in[x] >> 8) & 0xFF;
                    pixel[2] = (in[x] >> 16) & 0xFF;
                }
            }
        }
    }
    return int(done);
}

// ---------------------------------------------------------------------------------------------
// Pens, brushes, stock objects

HPEN CreatePen(int style, int width, COLORREF color)
{
    if (style < PS_SOLID || style > PS_NULL)
        return nullptr;
    auto pen = std::make_shared<Pen>();
    pen->style = style;
    pen->width = std::max(width, 0);
    pen->color = color & 0xFFFFFF;
    return static_cast<HPEN>(Add(pen));
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto brush = std::make_shared<Brush>();
    brush->color = color & 0xFFFFFF;
    return static_cast<HBRUSH>(Add(brush));
}

namespace {

HGDIOBJ Stock(ObjectPtr object)
{
    object->stock = true;
    return Add(std::move(object));
}

HGDIOBJ StockBrush(COLORREF color, bool hollow)
{
    auto brush = std::make_shared<Brush>();
    brush->color = color;
    brush->hollow = hollow;
    return Stock(brush);
}

HGDIOBJ StockPen(COLORREF color, int style)
{
    auto pen = std::make_shared<Pen>();
    pen->color = color;
    pen->style = style;
    return Stock(pen);
}

} // namespace

HGDIOBJ GetStockObject(int index)
{
    static std::once_flag once;
    static HGDIOBJ stock[18] = {};
    std::call_once(once, [] {
        stock[WHITE_BRUSH] = StockBrush(RGB(255, 255, 255), false);
        stock[LTGRAY_BRUSH] = StockBrush(RGB(192, 192, 192), false);
        stock[GRAY_BRUSH] = StockBrush(RGB(128, 128, 128), false);
        stock[DKGRAY_BRUSH] = StockBrush(RGB(64, 64, 64), false);
        stock[BLACK_BRUSH] = StockBrush(RGB(0, 0, 0), false);
        stock[NULL_BRUSH] = StockBrush(0, true);
        stock[WHITE_PEN] = StockPen(RGB(255, 255, 255), PS_SOLID);
        stock[BLACK_PEN] = StockPen(0, PS_SOLID);
        stock[NULL_PEN] = StockPen(0, PS_NULL);
        stock[SYSTEM_FONT] = FontObject(DefaultFont());
        stock[DEFAULT_GUI_FONT] = stock[SYSTEM_FONT];
    });
    return index >= 0 && index < 18 ? stock[index] : nullptr;
}

HBRUSH GetSysColorBrush(int index)
{
    static std::mutex lock;
    static std::unordered_map<int, HBRUSH> brushes;
    std::lock_guard<std::mutex> guard(lock);
    HBRUSH& brush = brushes[index];
    if (!brush)
        brush = static_cast<HBRUSH>(StockBrush(GetSysColor(index), false));
    return brush;
}

BOOL DeleteObject(HGDIOBJ handle)
{
    auto object = Find(handle);
    if (!object || object->stock)
        return object ? TRUE : FALSE; // stock objects ignore deletion, as on Windows
    if (IsSelected(handle))
        return FALSE;
    return Remove(handle) ? TRUE : FALSE;
}

DWORD GetObjectType(HGDIOBJ handle)
{
    if (auto object = Find(handle))
        return object->kind;
    if (Dc* dc = FindDc(reinterpret_cast<HDC>(handle)))
        return dc->kind == Dc::Kind::Memory ? OBJ_MEMDC : OBJ_DC;
    return 0;
}

int GetObject(HGDIOBJ handle, int size, void* buffer)
{
    auto object = Find(handle);
    if (!object)
        return 0;
    switch (object->kind) {
    case OBJ_BITMAP: {
        auto bitmap = std::static_pointer_cast<Bitmap>(object);
        BITMAP bm;
        bm.bmWidth = bitmap->width;
        bm.bmHeight = bitmap->height;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(bitmap->bitsPerPixel);
        bm.bmWidthBytes = bitmap->dib ? bitmap->stride : (((bitmap->width * bitmap->bitsPerPixel + 15) >> 4) << 1);
        bm.bmBits = bitmap->dib ? bitmap->bits.data() : nullptr;
        if (!buffer)
            return bitmap->dib ? int(sizeof(DIBSECTION)) : int(sizeof(BITMAP));
        if (bitmap->dib && size >= int(sizeof(DIBSECTION))) {
            DIBSECTION ds;
            ds.dsBm = bm;
            ds.dsBmih = bitmap->header;
            std::memcpy(buffer, &ds, sizeof ds);
            return int(sizeof ds);
        }
        if (size < int(sizeof(BITMAP)))
            return 0;
        std::memcpy(buffer, &bm, sizeof bm);
        return int(sizeof bm);
    }
    case OBJ_PEN: {
        auto pen = std::static_pointer_cast<Pen>(object);
        LOGPEN lp;
        lp.lopnStyle = UINT(pen->style);
        lp.lopnWidth.x = pen->width;
        lp.lopnColor = pen->color;
        if (!buffer)
            return int(sizeof lp);
        if (size < int(sizeof lp))
            return 0;
        std::memcpy(buffer, &lp, sizeof lp);
        return int(sizeof lp);
    }
    case OBJ_BRUSH: {
        auto brush = std::static_pointer_cast<Brush>(object);
        LOGBRUSH lb;
        lb.lbStyle = brush->hollow ? BS_NULL : BS_SOLID;
        lb.lbColor = brush->color;
        if (!buffer)
            return int(sizeof lb);
        if (size < int(sizeof lb))
            return 0;
        std::memcpy(buffer, &lb, sizeof lb);
        return int(sizeof lb);
    }
    case OBJ_FONT: {
        auto font = std::static_pointer_cast<Font>(object);
        if (!buffer)
            return int(sizeof(LOGFONT));
        if (size < int(sizeof(LOGFONT)))
            return 0;
        std::memcpy(buffer, &font->logFont, sizeof(LOGFONT));
        return int(sizeof(LOGFONT));
    }
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Rectangles and arithmetic

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom)
{
    if (!rect)
        return FALSE;
    *rect = RECT { left, top, right, bottom };
    return TRUE;
}

BOOL SetRectEmpty(RECT* rect)
{
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL CopyRect(RECT* dest, const RECT* src)
{
    if (!dest || !src)
        return FALSE;
    *dest = *src;
    return TRUE;
}

BOOL InflateRect(RECT* rect, int dx, int dy)
{
    if (!rect)
        return FALSE;
    rect->left -= dx;
    rect->top -= dy;
    rect->right += dx;
    rect->bottom += dy;
    return TRUE;
}

BOOL OffsetRect(RECT* rect, int dx, int dy)
{
    if (!rect)
        return FALSE;
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* rect)
{
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL EqualRect(const RECT* a, const RECT* b)
{
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL PtInRect(const RECT* rect, POINT point)
{
    return rect && point.x >= rect->left && point.x < rect->right && point.y >= rect->top && point.y < rect->bottom;
}

BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b)
{
    if (!dest || !a || !b)
        return FALSE;
    RECT r { std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
        std::min(a->bottom, b->bottom) };
    if (IsRectEmpty(&r)) {
        *dest = RECT {};
        return FALSE;
    }
    *dest = r;
    return TRUE;
}

BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b)
{
    if (!dest || !a || !b)
        return FALSE;
    if (IsRectEmpty(a)) {
        *dest = IsRectEmpty(b) ? RECT {} : *b;
    } else if (IsRectEmpty(b)) {
        *dest = *a;
    } else {
        *dest = RECT { std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom) };
    }
    return IsRectEmpty(dest) ? FALSE : TRUE;
}

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const int64_t product = int64_t(number) * numerator;
    // Round half away from zero on the magnitudes, then put the sign back.
    const bool negative = (product < 0) != (denominator < 0);
    const uint64_t p = product < 0 ? uint64_t(-product) : uint64_t(product);
    const uint64_t d = denominator < 0 ? uint64_t(-int64_t(denominator)) : uint64_t(denominator);
    const uint64_t q = (p + d / 2) / d;
    if (q > uint64_t(INT32_MAX) + (negative ? 1 : 0))
        return -1;
    return negative ? int(-int64_t(q)) : int(q);
}

namespace taluvo::ui {

namespace {
thread_local uint32_t t_randState = 1;
}

int RandCrt()
{
    t_randState = t_randState * 214013u + 2531011u;
    return int((t_randState >> 16) & 0x7FFF);
}

void SrandCrt(unsigned seed)
{
    t_randState = seed;
}

size_t LiveGdiObjects()
{
    auto& registry = gdi::Registry::Instance();
    std::lock_guard<std::mutex> guard(registry.lock);
    size_t count = registry.dcs.size();
    for (auto& [key, object] : registry.objects)
        if (!object->stock)
            ++count;
    return count;
}

} // namespace taluvo::ui
