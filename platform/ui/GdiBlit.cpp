// Blits between device contexts: ternary raster operations, stretching and mirroring, alpha
// blending and a transparent colour.
#include "platform/ui/GdiInternal.h"

#include <cstring>

using namespace taluvo::ui::gdi;

namespace {

// Pixels of a ternary raster operation: P pattern, S source, D destination (whole 32-bit words).
uint32_t Rop3(DWORD rop, uint32_t p, uint32_t s, uint32_t d)
{
    switch (rop) {
    case SRCCOPY:
        return s;
    case SRCAND:
        return s & d;
    case SRCPAINT:
        return s | d;
    case SRCINVERT:
        return s ^ d;
    case PATCOPY:
        return p;
    case BLACKNESS:
        return 0;
    case WHITENESS:
        return 0xFFFFFF;
    case DSTINVERT:
        return ~d & 0xFFFFFF;
    default:
        break;
    }
    const unsigned code = (rop >> 16) & 0xFF;
    uint32_t result = 0;
    for (unsigned i = 0; i < 8; ++i) {
        if (!((code >> i) & 1))
            continue;
        result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return result;
}

bool RopUsesSource(DWORD rop)
{
    const unsigned code = (rop >> 16) & 0xFF;
    return ((code >> 2) & 0x33) != (code & 0x33);
}

uint32_t BrushPixel(const Dc& dc)
{
    auto brush = FindBrush(dc.state.brush);
    return brush && !brush->hollow ? PixelOf(brush->color) : 0xFFFFFF;
}

// One blit between two contexts, nearest-pixel when the sizes differ; negative sizes mirror.
BOOL Blit(HDC destDc, int x, int y, int width, int height, HDC srcDc, int xSrc, int ySrc, int srcWidth, int srcHeight,
    DWORD rop, const std::function<uint32_t(uint32_t, uint32_t)>* combine = nullptr)
{
    Dc* dest = FindDc(destDc);
    if (!dest)
        return FALSE;
    const bool useSource = combine || RopUsesSource(rop);
    Dc* src = useSource ? FindDc(srcDc) : nullptr;
    if (useSource && !src)
        return FALSE;
    if (width < 0) {
        x += width;
        width = -width;
        xSrc += srcWidth;
        srcWidth = -srcWidth;
    }
    if (height < 0) {
        y += height;
        height = -height;
        ySrc += srcHeight;
        srcHeight = -srcHeight;
    }
    if (width == 0 || height == 0)
        return TRUE;
    const QImage* source = nullptr;
    QImage sourceCopy;
    int sourceDepth = 32;
    COLORREF sourceBk = 0xFFFFFF;
    if (src) {
        GrabScreenOnce(*src);
        QImage* image = Target(*src);
        if (!image)
            return FALSE;
        source = image;
        sourceDepth = DepthOf(*src);
        sourceBk = src->state.bkColor;
    }
    QImage* target = Target(*dest);
    if (!target)
        return FALSE;
    if (source == target) {
        // Within one image the copy reads what it has not yet overwritten.
        sourceCopy = target->copy();
        source = &sourceCopy;
    }
    const int destDepth = DepthOf(*dest);
    const uint32_t pattern = BrushPixel(*dest);
    const uint32_t monoZero = PixelOf(dest->state.textColor), monoOne = PixelOf(dest->state.bkColor);
    const uint32_t bkPixel = PixelOf(sourceBk);
    const QRegion allowed = Allowed(*dest, *target, QRect(x, y, width, height));
    // Source column of every destination column, sampled at pixel centres so mirrored and scaled
    // copies land on whole pixels.
    std::vector<int> columns(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i)
        columns[size_t(i)]
            = srcWidth == width ? xSrc + i : xSrc + int(std::floor((i + 0.5) * srcWidth / double(width)));
    for (const QRect& r : allowed) {
        for (int py = r.top(); py <= r.bottom(); ++py) {
            auto* row = reinterpret_cast<uint32_t*>(target->scanLine(py));
            const int sy = srcHeight == height ? ySrc + (py - y)
                                               : ySrc + int(std::floor((py - y + 0.5) * srcHeight / double(height)));
            for (int px = r.left(); px <= r.right(); ++px) {
                uint32_t s = 0;
                if (src) {
                    const int sx = columns[size_t(px - x)];
                    if (sx < 0 || sy < 0 || sx >= source->width() || sy >= source->height())
                        continue; // outside the source: the destination keeps its pixel
                    s = reinterpret_cast<const uint32_t*>(source->constScanLine(sy))[sx];
                    if (sourceDepth == 1 && destDepth != 1)
                        s = (s & 0xFFFFFF) ? monoOne : monoZero;
                    else if (sourceDepth != 1 && destDepth == 1)
                        s = (s & 0xFFFFFF) == bkPixel ? 0xFFFFFF : 0;
                }
                uint32_t& d = row[px];
                d = combine ? (*combine)(s, d) : Rop3(rop, pattern, s, d);
                if (destDepth == 1)
                    d = (d & 0xFFFFFF) ? 0xFFFFFF : 0;
            }
        }
    }
    Done(*dest);
    return TRUE;
}

} // namespace

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop)
{
    return Blit(dc, x, y, width, height, nullptr, 0, 0, width, height, rop);
}

// ---------------------------------------------------------------------------------------------
// Blits

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop)
{
    return Blit(dest, x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

BOOL StretchBlt(
    HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth, int srcHeight, DWORD rop)
{
    return Blit(dest, x, y, width, height, src, xSrc, ySrc, srcWidth, srcHeight, rop);
}

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth, int srcHeight,
    BLENDFUNCTION blend)
{
    if (width < 0 || height < 0 || srcWidth < 0 || srcHeight < 0 || blend.BlendOp != AC_SRC_OVER)
        return FALSE;
    const unsigned constant = blend.SourceConstantAlpha;
    const bool perPixel = blend.AlphaFormat & AC_SRC_ALPHA;
    const std::function<uint32_t(uint32_t, uint32_t)> combine = [=](uint32_t s, uint32_t d) -> uint32_t {
        // Windows: Dst = Src × constant/255 + Dst × (1 − srcAlpha × constant/255/255), per channel,
        // with the source premultiplied when it carries alpha.
        const unsigned sa = perPixel ? (s >> 24) * constant / 255 : constant;
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const unsigned sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
            const unsigned channel
                = perPixel ? (sc * constant + dc * (255 - sa)) / 255 : (sc * sa + dc * (255 - sa)) / 255;
            out |= std::min(channel, 255u) << shift;
        }
        return out;
    };
    return Blit(dest, x, y, width, height, src, xSrc, ySrc, srcWidth, srcHeight, SRCCOPY, &combine);
}

BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth,
    int srcHeight, UINT transparent)
{
    const uint32_t key = PixelOf(transparent);
    const std::function<uint32_t(uint32_t, uint32_t)> combine
        = [=](uint32_t s, uint32_t d) { return (s & 0xFFFFFF) == key ? d : s; };
    return Blit(dest, x, y, width, height, src, xSrc, ySrc, srcWidth, srcHeight, SRCCOPY, &combine);
}

int SetDIBitsToDevice(HDC dc, int x, int y, DWORD cx, DWORD cy, int xSrc, int ySrc, UINT startScan, UINT lines,
    const void* bits, const BITMAPINFO* info, UINT usage)
{
    if (!bits || !info || startScan != 0)
        return 0;
    void* sectionBits = nullptr;
    HBITMAP section = CreateDIBSection(dc, info, usage, &sectionBits, nullptr, 0);
    if (!section)
        return 0;
    auto bitmap = FindBitmap(section);
    std::memcpy(sectionBits, bits, std::min<size_t>(bitmap->bits.size(), size_t(bitmap->stride) * lines));
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, section);
    // The source's y counts from the bottom for a bottom-up image, as on Windows.
    const int top = bitmap->bottomUp ? bitmap->height - ySrc - int(cy) : ySrc;
    BitBlt(dc, x, y, int(cx), int(cy), memory, xSrc, top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(section);
    return int(lines);
}
