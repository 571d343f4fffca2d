// A memory context over a top-down 32-bit DIB section whose pixels the tests read directly: the
// one drawing surface of the suites, owning its context and picture.
#pragma once

#include "platform/ui/Gdi.h"

#include <algorithm>
#include <cstdint>

namespace taluvo::test {

struct Canvas {
    Canvas(int w, int h, COLORREF fill = RGB(255, 255, 255))
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = NewPicture(w, h);
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
    // A new picture of another size in the same context: the font, colours and modes selected
    // into the context stay.
    void Resize(int w, int h, COLORREF fill = RGB(255, 255, 255))
    {
        HBITMAP next = NewPicture(w, h);
        SelectObject(dc, next);
        DeleteObject(bitmap);
        bitmap = next;
        Clear(fill);
    }
    // The whole 32-bit pixel, and its colour without the alpha byte.
    uint32_t At(int x, int y) const { return bits[y * width + x]; }
    uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }

    int width = 0, height = 0;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;

private:
    // At least one pixel each way, as a context-compatible bitmap of an empty size has.
    HBITMAP NewPicture(int w, int h)
    {
        width = std::max(w, 1);
        height = std::max(h, 1);
        BITMAPINFO info {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        return CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    }
};

} // namespace taluvo::test
