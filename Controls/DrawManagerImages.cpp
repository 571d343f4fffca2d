// Image operations of the drawing manager: icons and bitmaps with colour effects and shadows, soft
// shadows from a shadow image, and blending. Pixel work happens in 32-bit DIB sections.
#include "Controls/DrawManager.h"

#include <algorithm>
#include <vector>

namespace {

DWORD PixelOfColor(COLORREF c)
{
    return (DWORD(GetRValue(c)) << 16) | (DWORD(GetGValue(c)) << 8) | GetBValue(c);
}

// A 32-bit bottom-up DIB section of cx × cy and its pixels.
HBITMAP NewSection(HDC dc, int cx, int cy, DWORD** bits)
{
    if (cx <= 0 || cy <= 0)
        return nullptr;
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (section && !pixels) {
        DeleteObject(section);
        return nullptr;
    }
    *bits = static_cast<DWORD*>(pixels);
    return section;
}

// A memory context holding one object for the length of a scope.
class Selected {
public:
    Selected(HDC reference, HGDIOBJ object)
        : m_dc(CreateCompatibleDC(reference))
    {
        if (m_dc && object)
            m_old = SelectObject(m_dc, object);
    }
    ~Selected()
    {
        if (m_dc) {
            if (m_old)
                SelectObject(m_dc, m_old);
            DeleteDC(m_dc);
        }
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    HDC dc() const { return m_dc; }
    bool ok() const { return m_dc && m_old; }

private:
    HDC m_dc;
    HGDIOBJ m_old = nullptr;
};

// The part of an image of cx × cy at (x, y) that the context can show, in the image's own
// coordinates; the whole image when the context does not say what it shows.
RECT VisiblePart(HDC dc, int x, int y, int cx, int cy)
{
    RECT whole { 0, 0, cx, cy };
    RECT box;
    if (GetClipBox(dc, &box) == 0 || IsRectEmpty(&box))
        return whole;
    OffsetRect(&box, -x, -y);
    RECT part;
    if (!IntersectRect(&part, &whole, &box))
        return RECT { 0, 0, 0, 0 };
    return part;
}

bool IsWhole(const RECT& part, int cx, int cy)
{
    return part.left == 0 && part.top == 0 && part.right == cx && part.bottom == cy;
}

// A copy of one rectangle of a bitmap.
HBITMAP Crop(HBITMAP source, const RECT& part)
{
    const int cx = part.right - part.left;
    const int cy = part.bottom - part.top;
    if (!source || cx <= 0 || cy <= 0)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP copy = CreateCompatibleBitmap(screen, cx, cy);
    {
        Selected from(screen, source);
        Selected to(screen, copy);
        if (copy && from.ok() && to.ok())
            BitBlt(to.dc(), 0, 0, cx, cy, from.dc(), part.left, part.top, SRCCOPY);
    }
    ReleaseDC(nullptr, screen);
    return copy;
}

// Whether any pixel of the bitmap carries alpha: such a picture is blended by its alpha, however
// little of it is drawn.
bool AnyAlpha(HBITMAP bitmap, int cx, int cy)
{
    if (!bitmap || cx <= 0 || cy <= 0)
        return false;
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(size_t(cx) * cy);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, UINT(cy), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows > 0 && std::any_of(pixels.begin(), pixels.end(), [](DWORD p) { return (p >> 24) != 0; });
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Colour functions

DWORD CDrawManager::PixelGrayscale(DWORD pixel)
{
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    const DWORD grey = DWORD(0.299 * r + 0.587 * g + 0.114 * b);
    return (grey << 16) | (grey << 8) | grey;
}

DWORD CDrawManager::PixelInvert(DWORD pixel)
{
    return (pixel & 0xFF000000) | (~pixel & 0xFFFFFF);
}

DWORD CDrawManager::PixelDarken(DWORD pixel, double factor)
{
    if (!(factor >= 0 && factor < 1))
        return pixel;
    const DWORD r = DWORD(((pixel >> 16) & 0xFF) * factor), g = DWORD(((pixel >> 8) & 0xFF) * factor),
                b = DWORD((pixel & 0xFF) * factor);
    return (pixel & 0xFF000000) | (r << 16) | (g << 8) | b;
}

DWORD CDrawManager::PixelLighten(DWORD pixel, double factor)
{
    if (!(factor > 0 && factor <= 1))
        return pixel;
    auto up = [&](int shift) { return std::min<DWORD>(255, DWORD(((pixel >> shift) & 0xFF) * (1 + factor))) << shift; };
    return (pixel & 0xFF000000) | up(16) | up(8) | up(0);
}

DWORD CDrawManager::PixelMix(DWORD a, double p, DWORD b, double q)
{
    auto channel = [&](int shift) {
        const double v = ((a >> shift) & 0xFF) * p + ((b >> shift) & 0xFF) * q;
        return DWORD(std::clamp(v, 0.0, 255.0)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

COLORREF CDrawManager::GrayColor(COLORREF color)
{
    const BYTE grey = BYTE(0.299 * GetRValue(color) + 0.587 * GetGValue(color) + 0.114 * GetBValue(color));
    return RGB(grey, grey, grey);
}

// ---------------------------------------------------------------------------------------------
// Sizes

void CDrawManager::GetIconSize(HICON icon, SIZE* out)
{
    if (!out)
        return;
    *out = SIZE {};
    ICONINFO info;
    if (!icon || !GetIconInfo(icon, &info))
        return;
    out->cx = LONG(2 * info.xHotspot);
    out->cy = LONG(2 * info.yHotspot);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

void CDrawManager::GetBitmapSize(HBITMAP bitmap, SIZE* out)
{
    if (!out)
        return;
    *out = SIZE {};
    BITMAP bm;
    if (bitmap && GetObject(bitmap, sizeof bm, &bm)) {
        out->cx = bm.bmWidth;
        out->cy = bm.bmHeight;
    }
}

// ---------------------------------------------------------------------------------------------
// Effect bitmaps and icons

HBITMAP CDrawManager::CreateEffectBitmap(
    HBITMAP source, int cx, int cy, UINT imageFlags, BOOL useMask, COLORREF maskColor, COLORREF color)
{
    HDC screen = GetDC(nullptr);
    HBITMAP section = nullptr;
    {
        Selected from(screen, source);
        DWORD* bits = nullptr;
        section = from.ok() ? NewSection(from.dc(), cx, cy, &bits) : nullptr;
        if (section) {
            Selected to(screen, section);
            BitBlt(to.dc(), 0, 0, cx, cy, from.dc(), 0, 0, SRCCOPY);
            const DWORD mask = PixelOfColor(maskColor);
            const DWORD replacement = PixelOfColor(color);
            for (size_t i = 0, n = size_t(cx) * cy; i < n; ++i) {
                DWORD pixel = bits[i];
                DWORD alpha = pixel & 0xFF000000;
                if (alpha)
                    m_bImageAlpha = true;
                // The mask names a colour: a pixel of the picture (opaque, or a GDI pixel whose
                // alpha is 0) in that colour is transparent; the alpha is not part of the colour.
                if (useMask && (alpha == 0 || alpha == 0xFF000000) && (pixel & 0xFFFFFF) == mask) {
                    pixel = 0;
                    alpha = 0; // see-through in a picture with alpha too
                } else {
                    pixel &= 0xFFFFFF;
                    if (imageFlags & IMAGE_GRAY)
                        pixel = PixelGrayscale(pixel);
                    if (imageFlags & IMAGE_DARKEN)
                        pixel = PixelDarken(pixel, 0.75);
                    if (imageFlags & IMAGE_LIGHTEN)
                        pixel = PixelLighten(pixel, 0.25);
                    if (imageFlags & IMAGE_COLOR)
                        pixel = replacement;
                }
                if (imageFlags & IMAGE_INVERT)
                    pixel = PixelInvert(pixel);
                bits[i] = (pixel & 0xFFFFFF) | alpha;
            }
        }
    }
    ReleaseDC(nullptr, screen);
    return section;
}

HICON CDrawManager::StretchIcon(HICON icon, int cx, int cy)
{
    ICONINFO info;
    if (!icon || cx <= 0 || cy <= 0 || !GetIconInfo(icon, &info))
        return nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP made[2] = { nullptr, nullptr };
    const HBITMAP old[2] = { info.hbmColor, info.hbmMask };
    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i) {
        BITMAP bm;
        ok = old[i] && GetObject(old[i], sizeof bm, &bm);
        if (!ok)
            break;
        made[i] = CreateBitmap(cx, cy, bm.bmPlanes, bm.bmBitsPixel, nullptr);
        Selected from(screen, old[i]);
        Selected to(screen, made[i]);
        ok = made[i] && from.ok() && to.ok()
            && StretchBlt(
                to.dc(), 0, 0, cx, cy, from.dc(), 0, 0, LONG(2 * info.xHotspot), LONG(2 * info.yHotspot), SRCCOPY);
    }
    HICON result = nullptr;
    if (ok) {
        ICONINFO stretched;
        stretched.fIcon = TRUE;
        stretched.xHotspot = DWORD(cx / 2);
        stretched.yHotspot = DWORD(cy / 2);
        stretched.hbmColor = made[0];
        stretched.hbmMask = made[1];
        result = CreateIconIndirect(&stretched);
    }
    for (HBITMAP b : { made[0], made[1], old[0], old[1] })
        if (b)
            DeleteObject(b);
    ReleaseDC(nullptr, screen);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Drawing images

HBITMAP CDrawManager::CopyScaled(HBITMAP bitmap, int cx, int cy)
{
    SIZE size;
    GetBitmapSize(bitmap, &size);
    HDC screen = GetDC(nullptr);
    HBITMAP copy = CreateCompatibleBitmap(screen, cx, cy);
    {
        Selected from(screen, bitmap);
        Selected to(screen, copy);
        if (!copy || !from.ok() || !to.ok()) {
            if (copy)
                DeleteObject(copy);
            copy = nullptr;
        } else if (size.cx == cx && size.cy == cy) {
            BitBlt(to.dc(), 0, 0, cx, cy, from.dc(), 0, 0, SRCCOPY);
        } else {
            StretchBlt(to.dc(), 0, 0, cx, cy, from.dc(), 0, 0, size.cx, size.cy, SRCCOPY);
        }
    }
    ReleaseDC(nullptr, screen);
    return copy;
}

void CDrawManager::ShadowOf(
    HDC dc, int x, int y, int cx, int cy, HBITMAP shape, UINT imageFlags, int depthX, int depthY)
{
    if (!shape)
        return;
    DrawShadow(dc, x, y, cx, cy, shape, (imageFlags & IMAGE_BLUR_SHADOW) ? TRUE : FALSE, depthX, depthY);
    DeleteObject(shape);
}

void CDrawManager::PutImage(HDC dc, int x, int y, int cx, int cy, HBITMAP image, HBITMAP mask, bool iconMask)
{
    if (!image)
        return;
    Selected withImage(dc, image);
    if (!withImage.ok())
        return;
    if (m_bImageAlpha) {
        BlendRectByAlpha(dc, x, y, cx, cy, withImage.dc(), 0, 0);
        return;
    }
    Selected withMask(dc, mask);
    if (!withMask.ok())
        return;
    // A monochrome mask takes the text colour for its black pixels.
    const COLORREF text = iconMask ? SetTextColor(dc, RGB(0, 0, 0)) : 0;
    BitBlt(dc, x, y, cx, cy, withMask.dc(), 0, 0, SRCAND);
    BitBlt(dc, x, y, cx, cy, withImage.dc(), 0, 0, SRCPAINT);
    if (iconMask)
        SetTextColor(dc, text);
}

void CDrawManager::DrawBitmapWithEffects(HDC dc, int x, int y, int cx, int cy, HBITMAP bitmap, BOOL useMask,
    COLORREF maskColor, UINT imageFlags, BOOL shadow, int shadowDx, int shadowDy, int depthX, int depthY,
    COLORREF color)
{
    m_bImageAlpha = false;
    if (!bitmap || cx <= 0 || cy <= 0)
        return;
    HBITMAP copy = CopyScaled(bitmap, cx, cy);
    if (!copy)
        return;
    const bool castsShadow = shadow && (imageFlags & (IMAGE_SHADOW | IMAGE_BLUR_SHADOW));
    const int ix = x + (shadow && !castsShadow ? shadowDx : 0);
    const int iy = y + (shadow && !castsShadow ? shadowDy : 0);
    // Colour effects are worked out for the part of the picture the context can show.
    const RECT part = VisiblePart(dc, ix, iy, cx, cy);
    const bool whole = IsWhole(part, cx, cy);
    HBITMAP shown = whole ? copy : Crop(copy, part);
    const int pw = part.right - part.left;
    const int ph = part.bottom - part.top;
    HBITMAP mask
        = CreateEffectBitmap(shown, pw, ph, IMAGE_INVERT | IMAGE_COLOR, useMask, maskColor, RGB(255, 255, 255));
    HBITMAP image = CreateEffectBitmap(shown, pw, ph, imageFlags, useMask, maskColor, color);
    if (!whole)
        m_bImageAlpha = AnyAlpha(copy, cx, cy);
    const RECT shadowPart = VisiblePart(dc, x + shadowDx, y + shadowDy, cx, cy);
    if (castsShadow && !IsRectEmpty(&shadowPart)) {
        const bool alpha = m_bImageAlpha;
        ShadowOf(dc, x + shadowDx, y + shadowDy, cx, cy,
            CreateEffectBitmap(copy, cx, cy, IMAGE_INVERT | IMAGE_COLOR, useMask, maskColor, ~color & 0xFFFFFF),
            imageFlags, depthX, depthY);
        m_bImageAlpha = alpha;
    }
    if (mask && image)
        PutImage(dc, ix + part.left, iy + part.top, pw, ph, image, mask, false);
    for (HBITMAP b : { copy, mask, image })
        if (b)
            DeleteObject(b);
    if (!whole && shown)
        DeleteObject(shown);
}

void CDrawManager::DrawIconWithEffects(HDC dc, int x, int y, int cx, int cy, HICON icon, UINT imageFlags, BOOL shadow,
    int shadowDx, int shadowDy, int depthX, int depthY, COLORREF color)
{
    m_bImageAlpha = false;
    if (!icon || cx <= 0 || cy <= 0)
        return;
    SIZE size;
    GetIconSize(icon, &size);
    HICON copy = size.cx == cx && size.cy == cy ? CopyIcon(icon) : StretchIcon(icon, cx, cy);
    ICONINFO info;
    if (!copy || !GetIconInfo(copy, &info)) {
        if (copy)
            DestroyIcon(copy);
        return;
    }
    const bool castsShadow = shadow && (imageFlags & (IMAGE_SHADOW | IMAGE_BLUR_SHADOW));
    const int ix = x + (shadow && !castsShadow ? shadowDx : 0);
    const int iy = y + (shadow && !castsShadow ? shadowDy : 0);
    const RECT part = VisiblePart(dc, ix, iy, cx, cy);
    const bool whole = IsWhole(part, cx, cy);
    const int pw = part.right - part.left;
    const int ph = part.bottom - part.top;
    HBITMAP shownColor = whole ? info.hbmColor : Crop(info.hbmColor, part);
    HBITMAP shownMask = whole ? info.hbmMask : Crop(info.hbmMask, part);
    HBITMAP image = (imageFlags & IMAGE_COLOR)
        ? CreateEffectBitmap(shownMask, pw, ph, imageFlags, TRUE, RGB(255, 255, 255), color)
        : CreateEffectBitmap(shownColor, pw, ph, imageFlags, FALSE, RGB(0, 0, 0), color);
    if (!whole)
        m_bImageAlpha = !(imageFlags & IMAGE_COLOR) && AnyAlpha(info.hbmColor, cx, cy);
    const RECT shadowPart = VisiblePart(dc, x + shadowDx, y + shadowDy, cx, cy);
    if (castsShadow && !IsRectEmpty(&shadowPart)) {
        const bool alpha = m_bImageAlpha;
        ShadowOf(dc, x + shadowDx, y + shadowDy, cx, cy,
            CreateEffectBitmap(
                info.hbmMask, cx, cy, IMAGE_INVERT | IMAGE_COLOR, TRUE, RGB(255, 255, 255), ~color & 0xFFFFFF),
            imageFlags, depthX, depthY);
        m_bImageAlpha = alpha;
    }
    if (image)
        PutImage(dc, ix + part.left, iy + part.top, pw, ph, image, shownMask, true);
    DestroyIcon(copy);
    for (HBITMAP b : { info.hbmColor, info.hbmMask, image })
        if (b)
            DeleteObject(b);
    if (!whole)
        for (HBITMAP b : { shownColor, shownMask })
            if (b)
                DeleteObject(b);
}

void CDrawManager::DrawImageFromStrip(HDC dc, int x, int y, int cx, int cy, HBITMAP strip, int index, int cellWidth,
    int cellHeight, BOOL useMask, COLORREF maskColor, UINT imageFlags, BOOL shadow, int shadowDx, int shadowDy,
    int depthX, int depthY, COLORREF color)
{
    if (!strip || cellWidth <= 0 || cellHeight <= 0 || index < 0)
        return;
    SIZE size;
    GetBitmapSize(strip, &size);
    const int columns = size.cx / cellWidth;
    const int rows = size.cy / cellHeight;
    if (columns == 0 || rows == 0 || index >= columns * rows)
        return;
    HDC screen = GetDC(nullptr);
    HBITMAP cell = CreateCompatibleBitmap(screen, cellWidth, cellHeight);
    {
        Selected from(screen, strip);
        Selected to(screen, cell);
        if (from.ok() && to.ok())
            BitBlt(to.dc(), 0, 0, cellWidth, cellHeight, from.dc(), cellWidth * (index % columns),
                cellHeight * (index / columns), SRCCOPY);
    }
    ReleaseDC(nullptr, screen);
    if (!cell)
        return;
    DrawBitmapWithEffects(
        dc, x, y, cx, cy, cell, useMask, maskColor, imageFlags, shadow, shadowDx, shadowDy, depthX, depthY, color);
    DeleteObject(cell);
}

// ---------------------------------------------------------------------------------------------
// Shadows and blending

void CDrawManager::MakeShadowMap(
    HDC dc, int cx, int cy, HBITMAP shadowImage, double* map, BOOL blurred, int depthX, int depthY)
{
    if (!map || cx <= 0 || cy <= 0)
        return;
    DWORD* a = nullptr;
    HBITMAP section = NewSection(dc, cx, cy, &a);
    if (!section)
        return;
    {
        Selected first(dc, section);
        Selected second(dc, shadowImage);
        if (!first.ok() || !second.ok()) {
            std::fill(map, map + size_t(cx) * cy, 1.0);
        } else if (!blurred) {
            BitBlt(first.dc(), 0, 0, cx, cy, second.dc(), 0, 0, SRCCOPY);
        } else {
            depthX = std::max(depthX, 1) | 1; // odd, so the window has a centre
            depthY = std::max(depthY, 1) | 1;
            RECT all { 0, 0, cx, cy };
            FillRect(first.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            StretchBlt(
                first.dc(), depthX / 2, depthY / 2, cx - depthX, cy - depthY, second.dc(), 0, 0, cx, cy, SRCCOPY);
        }
        if (!first.ok() || !second.ok()) {
            DeleteObject(section);
            return;
        }
    }
    if (!blurred) {
        for (size_t i = 0, n = size_t(cx) * cy; i < n; ++i)
            map[i] = (a[i] & 0xFF) / 255.0;
    } else {
        // A box filter by running sums: along the rows over depthX values, then down the columns.
        const int hx = depthX / 2, hy = depthY / 2;
        const int W = cx + depthX - 1, H = cy + depthY - 1;
        std::vector<double> padded(size_t(W) * H, 255.0);
        for (int r = 0; r < cy; ++r)
            for (int c = 0; c < cx; ++c)
                padded[size_t(r + hy) * W + c + hx] = a[size_t(r) * cx + c] & 0xFF;
        std::vector<double> rows(size_t(cx) * H);
        for (int r = 0; r < H; ++r) {
            double sum = 0;
            for (int k = 0; k < depthX; ++k)
                sum += padded[size_t(r) * W + k];
            for (int c = 0; c < cx; ++c) {
                rows[size_t(r) * cx + c] = sum;
                if (c + 1 < cx)
                    sum += padded[size_t(r) * W + c + depthX] - padded[size_t(r) * W + c];
            }
        }
        const double scale = double(depthX) * depthY * 255.0;
        for (int c = 0; c < cx; ++c) {
            double sum = 0;
            for (int k = 0; k < depthY; ++k)
                sum += rows[size_t(k) * cx + c];
            for (int r = 0; r < cy; ++r) {
                map[size_t(r) * cx + c] = sum / scale;
                if (r + 1 < cy)
                    sum += rows[size_t(r + depthY) * cx + c] - rows[size_t(r) * cx + c];
            }
        }
    }
    DeleteObject(section);
}

void CDrawManager::DarkenByMap(HDC dc, int x, int y, int cx, int cy, const double* map)
{
    if (!map || cx <= 0 || cy <= 0)
        return;
    DWORD* b = nullptr;
    HBITMAP section = NewSection(dc, cx, cy, &b);
    if (!section)
        return;
    {
        Selected area(dc, section);
        if (area.ok()) {
            BitBlt(area.dc(), 0, 0, cx, cy, dc, x, y, SRCCOPY);
            for (size_t i = 0, n = size_t(cx) * cy; i < n; ++i)
                b[i] = PixelDarken(b[i], map[i]);
            BitBlt(dc, x, y, cx, cy, area.dc(), 0, 0, SRCCOPY);
        }
    }
    DeleteObject(section);
}

void CDrawManager::DrawShadow(
    HDC dc, int x, int y, int cx, int cy, HBITMAP shadowImage, BOOL blurred, int depthX, int depthY)
{
    if (cx <= 0 || cy <= 0 || !shadowImage)
        return;
    std::vector<double> map(size_t(cx) * cy, 1.0);
    MakeShadowMap(dc, cx, cy, shadowImage, map.data(), blurred, depthX, depthY);
    DarkenByMap(dc, x, y, cx, cy, map.data());
}

namespace {

// Copies the two areas into sections, combines every pixel, and puts the result on the destination.
template <class Combine>
void BlendAreas(HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, Combine combine)
{
    if (cx <= 0 || cy <= 0)
        return;
    DWORD* s = nullptr;
    DWORD* d = nullptr;
    HBITMAP sourceSection = NewSection(dest, cx, cy, &s);
    HBITMAP destSection = NewSection(dest, cx, cy, &d);
    if (sourceSection && destSection) {
        Selected source(dest, sourceSection);
        Selected target(dest, destSection);
        if (source.ok() && target.ok()) {
            BitBlt(source.dc(), 0, 0, cx, cy, src, xSrc, ySrc, SRCCOPY);
            BitBlt(target.dc(), 0, 0, cx, cy, dest, x, y, SRCCOPY);
            for (size_t i = 0, n = size_t(cx) * cy; i < n; ++i)
                d[i] = combine(s[i], d[i]);
            BitBlt(dest, x, y, cx, cy, target.dc(), 0, 0, SRCCOPY);
        }
    }
    for (HBITMAP b : { sourceSection, destSection })
        if (b)
            DeleteObject(b);
}

} // namespace

void CDrawManager::BlendRect(HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, int percent)
{
    if (percent >= 100) {
        BitBlt(dest, x, y, cx, cy, src, xSrc, ySrc, SRCCOPY);
        return;
    }
    const double p = std::max(percent, 0) / 100.0;
    BlendAreas(dest, x, y, cx, cy, src, xSrc, ySrc, [p](DWORD s, DWORD d) { return PixelMix(s, p, d, 1 - p); });
}

void CDrawManager::BlendRectByAlpha(HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc)
{
    BlendAreas(dest, x, y, cx, cy, src, xSrc, ySrc, [](DWORD s, DWORD d) {
        const double a = (s >> 24) / 255.0;
        return PixelMix(s, a, d, 1 - a);
    });
}
