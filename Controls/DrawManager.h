// The drawing toolbox beneath the HTML renderer and the tooltip window: background fill effects,
// bordered rectangles and lines, tiling, and image drawing with colour effects, shadows and
// blending. Nothing returns an error: failures leave the area undrawn.
#pragma once

#include "Controls/Dib.h"

// Fill effects; every number above 15 draws as solid.
enum {
    FILL_SOLID = 0,
    FILL_HGRADIENT,
    FILL_VGRADIENT,
    FILL_HCGRADIENT,
    FILL_VCGRADIENT,
    FILL_3HGRADIENT,
    FILL_3VGRADIENT,
    FILL_NOISE,
    FILL_DIAGSHADE,
    FILL_HSHADE,
    FILL_VSHADE,
    FILL_HBUMP,
    FILL_VBUMP,
    FILL_SOFTBUMP,
    FILL_HARDBUMP,
    FILL_METAL,
};

// Image flags of the image operations.
constexpr UINT IMAGE_GRAY = 0x0001;
constexpr UINT IMAGE_DARKEN = 0x0002;
constexpr UINT IMAGE_LIGHTEN = 0x0004;
constexpr UINT IMAGE_COLOR = 0x0008;
constexpr UINT IMAGE_SHADOW = 0x0100;
constexpr UINT IMAGE_BLUR_SHADOW = 0x0200;
constexpr UINT IMAGE_INVERT = 0x8000;

class CDrawManager {
public:
    CDrawManager() = default;
    virtual ~CDrawManager() = default;

    void FillEffect(HDC dc, UINT effect, const RECT* rect, COLORREF begin, COLORREF middle, COLORREF end,
        BYTE granularity, BYTE coloring);
    void DrawRectangle(HDC dc, const RECT* rect, COLORREF topLeft, COLORREF bottomRight, int borderStyle, int width);
    void DrawRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF topLeft, COLORREF bottomRight,
        int borderStyle, int width);
    void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF color, int borderStyle, int width);
    void TileBlt(HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, int tileWidth, int tileHeight);

    void GetIconSize(HICON icon, SIZE* out);
    void GetBitmapSize(HBITMAP bitmap, SIZE* out);
    void DrawIconWithEffects(HDC dc, int x, int y, int cx, int cy, HICON icon, UINT imageFlags, BOOL shadow,
        int shadowDx, int shadowDy, int depthX, int depthY, COLORREF color);
    void DrawBitmapWithEffects(HDC dc, int x, int y, int cx, int cy, HBITMAP bitmap, BOOL useMask, COLORREF maskColor,
        UINT imageFlags, BOOL shadow, int shadowDx, int shadowDy, int depthX, int depthY, COLORREF color);
    void DrawImageFromStrip(HDC dc, int x, int y, int cx, int cy, HBITMAP strip, int index, int cellWidth,
        int cellHeight, BOOL useMask, COLORREF maskColor, UINT imageFlags, BOOL shadow, int shadowDx, int shadowDy,
        int depthX, int depthY, COLORREF color);
    void DrawShadow(HDC dc, int x, int y, int cx, int cy, HBITMAP shadowImage, BOOL blurred, int depthX, int depthY);
    void BlendRect(HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, int percent);
    void BlendRectByAlpha(HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc);
    HBITMAP CreateEffectBitmap(
        HBITMAP source, int cx, int cy, UINT imageFlags, BOOL useMask, COLORREF maskColor, COLORREF color);
    HICON StretchIcon(HICON icon, int cx, int cy);
    // The factors of a shadow (cx × cy, in the DIB's row order) and their application.
    void MakeShadowMap(HDC dc, int cx, int cy, HBITMAP shadowImage, double* map, BOOL blurred, int depthX, int depthY);
    void DarkenByMap(HDC dc, int x, int y, int cx, int cy, const double* map);

    // Colour functions on 0xAARRGGBB pixels.
    static DWORD PixelGrayscale(DWORD pixel);
    static DWORD PixelInvert(DWORD pixel);
    static DWORD PixelDarken(DWORD pixel, double factor);
    static DWORD PixelLighten(DWORD pixel, double factor);
    static DWORD PixelMix(DWORD a, double p, DWORD b, double q);
    static COLORREF GrayColor(COLORREF color);

    bool HasImageAlpha() const { return m_bImageAlpha; }

private:
    void Gradient(HDC dc, const RECT& rect, COLORREF a, COLORREF b, bool horizontal);
    void PaletteEffect(HDC dc, UINT effect, const RECT& rect, COLORREF begin, COLORREF middle, COLORREF end,
        int granularity, int coloring);
    void PutImage(HDC dc, int x, int y, int cx, int cy, HBITMAP image, HBITMAP mask, bool iconMask);
    void ShadowOf(HDC dc, int x, int y, int cx, int cy, HBITMAP shape, UINT imageFlags, int depthX, int depthY);
    HBITMAP CopyScaled(HBITMAP bitmap, int cx, int cy);

    CDib m_dib;
    bool m_bImageAlpha = false;
};
