// Fill effects, bordered rectangles, lines and tiling of the drawing manager.
#include "Controls/DrawManager.h"

#include <algorithm>

namespace {

// Noise comes from the runtime's generator, never seeded, as the effects' pictures were made with it.
int Rand()
{
    return taluvo::ui::RandCrt();
}

int Cube(int t)
{
    return (t * t * t / 128) / 128;
}

COLORREF Mix(COLORREF a, int p, COLORREF b, int q, int shift)
{
    const int r = (GetRValue(a) * p + GetRValue(b) * q) >> shift;
    const int g = (GetGValue(a) * p + GetGValue(b) * q) >> shift;
    const int bl = (GetBValue(a) * p + GetBValue(b) * q) >> shift;
    return RGB(BYTE(r), BYTE(g), BYTE(bl));
}

int PenStyle(int borderStyle)
{
    switch (borderStyle) {
    case 2:
        return PS_DASH;
    case 3:
        return PS_DOT;
    case 4:
        return PS_DASHDOT;
    case 5:
        return PS_DASHDOTDOT;
    default:
        return PS_SOLID;
    }
}

} // namespace

void CDrawManager::Gradient(HDC dc, const RECT& rect, COLORREF a, COLORREF b, bool horizontal)
{
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    for (int i = 0; i < 64; ++i) {
        RECT band = rect;
        if (horizontal) {
            band.left = rect.left + (i * w >> 6);
            band.right = rect.left + ((i + 1) * w >> 6);
        } else {
            band.top = rect.top + (i * h >> 6);
            band.bottom = rect.top + ((i + 1) * h >> 6);
        }
        if (band.right <= band.left || band.bottom <= band.top)
            continue;
        HBRUSH brush = CreateSolidBrush(Mix(a, 64 - i, b, i, 6));
        FillRect(dc, &band, brush);
        DeleteObject(brush);
    }
}

void CDrawManager::FillEffect(HDC dc, UINT effect, const RECT* rect, COLORREF begin, COLORREF middle, COLORREF end,
    BYTE granularity, BYTE coloring)
{
    if (!rect)
        return;
    const RECT& r = *rect;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int midX = r.left + w / 2;
    const int midY = r.top + h / 2;
    if (effect >= FILL_HGRADIENT && effect <= FILL_3VGRADIENT) {
        const bool horizontal = effect % 2 == 1;
        if (effect <= FILL_VGRADIENT) {
            Gradient(dc, r, begin, end, horizontal);
            return;
        }
        // Two halves meeting at the split point: begin to end and back, or begin to middle to end.
        const bool centred = effect <= FILL_VCGRADIENT;
        const COLORREF turn = centred ? end : middle;
        RECT first = r, second = r;
        if (horizontal)
            first.right = second.left = midX;
        else
            first.bottom = second.top = midY;
        Gradient(dc, first, begin, turn, horizontal);
        Gradient(dc, second, turn, centred ? begin : end, horizontal);
        return;
    }
    if (effect >= FILL_NOISE && effect <= FILL_METAL) {
        PaletteEffect(dc, effect, r, begin, middle, end, granularity, coloring);
        return;
    }
    HBRUSH brush = CreateSolidBrush(begin);
    FillRect(dc, rect, brush);
    DeleteObject(brush);
}

void CDrawManager::PaletteEffect(
    HDC dc, UINT effect, const RECT& rect, COLORREF begin, COLORREF middle, COLORREF end, int g, int coloring)
{
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    // Outside these sizes the formulas divide by zero: nothing is drawn.
    if (w < 1 || h < 1 || w > 32767 || h > 32767 || (effect == FILL_HARDBUMP && h < 2))
        return;
    if (!m_dib.Create(w, h, 8))
        return;
    auto entry = [&](int index, COLORREF a, int p, COLORREF b, int q) {
        const COLORREF c = Mix(a, p, b, q, 7); // ÷ 128
        m_dib.SetPaletteEntry(BYTE(index), GetRValue(c), GetGValue(c), GetBValue(c));
    };
    // End colour at index 0, through the middle at 128, to the begin colour at 255.
    for (int i = 0; i <= 128; ++i)
        entry(i, end, 128 - i, middle, i);
    for (int i = 1; i <= 128; ++i)
        entry(127 + i, middle, 128 - i, begin, i);
    m_dib.BlendPalette(begin, std::min(coloring, 100));

    BYTE* bits = m_dib.GetBits();
    const int stride = m_dib.GetStride();
    const int T = 32767 / std::max(1, 2 * g);
    auto noise = [&] { return Rand() / T - g; };
    auto at = [&](int r, int c) -> BYTE& { return bits[size_t(r) * stride + c]; };
    auto rowsThenColumns = [&](auto&& index) {
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                at(r, c) = BYTE(index(r, c));
    };
    auto columnsThenRows = [&](auto&& index) {
        for (int c = 0; c < w; ++c)
            for (int r = 0; r < h; ++r)
                at(r, c) = BYTE(index(r, c));
    };
    switch (effect) {
    case FILL_NOISE:
        rowsThenColumns([&](int, int) { return 128 - g + Rand() / T; });
        break;
    case FILL_DIAGSHADE: {
        const int S = (255 - 2 * g) / 2;
        rowsThenColumns([&](int r, int c) { return g + S * r / h + S * (w - c) / w + noise(); });
        break;
    }
    case FILL_HSHADE:
        rowsThenColumns([&](int r, int) { return g + (255 - 2 * g) * r / h + noise(); });
        break;
    case FILL_VSHADE:
        columnsThenRows([&](int, int c) { return g + (255 - 2 * g) * (w - c) / w + noise(); });
        break;
    case FILL_HBUMP:
        rowsThenColumns([&](int r, int) { return Cube(r * 255 / h - 127) * (128 - g) / 128 + 128 + noise(); });
        break;
    case FILL_VBUMP:
        columnsThenRows([&](int, int c) { return Cube((w - c) * 255 / w - 127) * (128 - g) / 128 + 128 + noise(); });
        break;
    case FILL_SOFTBUMP:
        rowsThenColumns([&](int r, int c) {
            const int a = r * 255 / h - 127;
            const int b = (w - c) * 255 / w - 127;
            int v = (Cube(a) + Cube(b)) * (128 - g) / 128 + 128;
            v = std::clamp(v, g, 255 - g);
            return v + noise();
        });
        break;
    case FILL_HARDBUMP: {
        rowsThenColumns([&](int r, int) { return (128 - 2 * g) * Cube(r * 255 / h - 127) / 128 + 128 + noise(); });
        const int A = std::min(w / 6, 16);
        const int Q = h * h / 4;
        rowsThenColumns([&](int r, int c) {
            const int dy = r - h / 2;
            const int dx = c - w / 2;
            const int B = (w / 2 - A) + dy * dy * A / Q;
            int index = at(r, c);
            if (A > 0 && dx > B)
                index = g + (w - c) * 128 / A;
            else if (A > 0 && dx + B < 0)
                index = (255 - g) - c * 128 / A;
            return index + noise();
        });
        break;
    }
    case FILL_METAL: {
        m_dib.Fill(0);
        const int least = std::min(w, h);
        for (int scratch = 0; scratch < 200; ++scratch) {
            const int x = Rand() / (32767 / w);
            const int y = Rand() / (32767 / h);
            const int length = (Rand() / (32767 / least)) / 2;
            const BYTE k = BYTE(Rand() / 819);
            for (int j = 0; j < length; ++j) {
                if (x - j > 0 && y + j < h)
                    m_dib.SetPixelIndex(x - j, y + j, k);
                if (x + j < w && y - j > 0)
                    m_dib.SetPixelIndex(w - x + j, y - j, k);
            }
        }
        const int S = (215 - 2 * g) / 2;
        rowsThenColumns([&](int r, int c) { return at(r, c) + S * r / h + S * (w - c) / w + Rand() / T; });
        break;
    }
    default:
        return;
    }
    m_dib.Draw(dc, rect.left, rect.top);
}

void CDrawManager::DrawRectangle(
    HDC dc, const RECT* rect, COLORREF topLeft, COLORREF bottomRight, int borderStyle, int width)
{
    if (rect)
        DrawRectangle(dc, rect->left, rect->top, rect->right, rect->bottom, topLeft, bottomRight, borderStyle, width);
}

void CDrawManager::DrawRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF topLeft,
    COLORREF bottomRight, int borderStyle, int width)
{
    if (borderStyle == 0 || width <= 0)
        return;
    HPEN pen = CreatePen(PenStyle(borderStyle), width, topLeft);
    HGDIOBJ old = SelectObject(dc, pen);
    const int x1 = left + width / 2, y1 = top + width / 2;
    const int x2 = right - width / 2, y2 = bottom - width / 2;
    const int d = 2 * width;
    MoveToEx(dc, x1, y2, nullptr);
    LineTo(dc, x1, y1);
    LineTo(dc, x2, y1);
    if (borderStyle == 6) {
        MoveToEx(dc, x1 + d, y2 - d, nullptr);
        LineTo(dc, x1 + d, y1 + d);
        LineTo(dc, x2 - d, y1 + d);
    }
    if (bottomRight != topLeft) {
        HPEN second = CreatePen(PenStyle(borderStyle), width, bottomRight);
        SelectObject(dc, second);
        DeleteObject(pen);
        pen = second;
    }
    MoveToEx(dc, x2, y1, nullptr);
    LineTo(dc, x2, y2);
    LineTo(dc, x1, y2);
    if (borderStyle == 6) {
        MoveToEx(dc, x2 - d, y1 + d, nullptr);
        LineTo(dc, x2 - d, y2 - d);
        LineTo(dc, x1 + d, y2 - d);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void CDrawManager::DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF color, int borderStyle, int width)
{
    if (borderStyle == 0 || width <= 0)
        return;
    HPEN pen = CreatePen(PenStyle(borderStyle), width, color);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    if (borderStyle == 6) {
        const int d = 2 * width;
        if (x1 != x2) {
            y1 += d;
            y2 += d;
        }
        if (y1 != y2) {
            x1 += d;
            x2 += d;
        }
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void CDrawManager::TileBlt(
    HDC dest, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, int tileWidth, int tileHeight)
{
    // With a step below 1 the loops would never advance.
    if (tileWidth < 1 || tileHeight < 1)
        return;
    for (int X = x; X < x + cx; X += tileWidth)
        for (int Y = y; Y < y + cy; Y += tileHeight)
            BitBlt(dest, X, Y, std::min(X + tileWidth, x + cx) - X, std::min(Y + tileHeight, y + cy) - Y, src, xSrc,
                ySrc, SRCCOPY);
}
