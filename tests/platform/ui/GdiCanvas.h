// A memory context over a top-down 32-bit DIB section whose pixels the tests read directly.
#pragma once

#include "platform/ui/Gdi.h"

#include <cstdint>

namespace taluvo::test {

struct Canvas {
    Canvas(int w, int h, COLORREF fill = RGB(255, 255, 255))
        : width(w)
        , height(h)
    {
        BITMAPINFO info {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        old = SelectObject(dc, bitmap);
        Clear(fill);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    void Clear(COLORREF fill)
    {
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all { 0, 0, width, height };
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    // The whole 32-bit pixel, and its colour without the alpha byte.
    uint32_t At(int x, int y) const { return bits[y * width + x]; }
    uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }

    int width, height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
};

} // namespace taluvo::test
