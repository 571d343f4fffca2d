// Device contexts, bitmaps, DIB sections, blits, fonts and the Windows pixel rules.
#include "platform/ui/Gdi.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/UserApi.h"
#include "platform/ui/detail/Core.h"

#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QImage>
#include <QWidget>

#include <cstring>

namespace {

using taluvo::test::Canvas;

class UiGdiTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(UiGdiTest, FillRectExcludesRightAndBottomAndWritesAlphaZero)
{
    Canvas canvas(10, 10);
    canvas.bits[0] = 0xFF123456; // alpha outside the fill survives
    HBRUSH brush = CreateSolidBrush(RGB(0x11, 0x22, 0x33));
    RECT r { 2, 3, 5, 7 };
    FillRect(canvas.dc, &r, brush);
    DeleteObject(brush);
    EXPECT_EQ(canvas.At(2, 3), 0x00112233u); // COLORREF 0x00BBGGRR becomes pixel 0x00RRGGBB
    EXPECT_EQ(canvas.At(4, 6), 0x00112233u);
    EXPECT_EQ(canvas.At(5, 6), 0x00FFFFFFu); // right edge outside
    EXPECT_EQ(canvas.At(4, 7), 0x00FFFFFFu); // bottom edge outside
    EXPECT_EQ(canvas.At(0, 0), 0xFF123456u);
    EXPECT_EQ(GetPixel(canvas.dc, 3, 4), RGB(0x11, 0x22, 0x33));
}

TEST_F(UiGdiTest, LineToOmitsItsLastPixelAndStylesDash)
{
    Canvas canvas(40, 10);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(canvas.dc, pen);
    MoveToEx(canvas.dc, 1, 1, nullptr);
    LineTo(canvas.dc, 5, 1);
    LineTo(canvas.dc, 5, 4);
    SelectObject(canvas.dc, old);
    DeleteObject(pen);
    for (int x = 1; x <= 5; ++x)
        EXPECT_EQ(canvas.At(x, 1), 0x00FF0000u) << x; // (5,1) drawn as first pixel of the second line
    EXPECT_EQ(canvas.At(5, 3), 0x00FF0000u);
    EXPECT_EQ(canvas.At(5, 4), 0x00FFFFFFu); // last pixel left out
    EXPECT_EQ(canvas.At(6, 1), 0x00FFFFFFu);

    HPEN dash = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
    old = SelectObject(canvas.dc, dash);
    MoveToEx(canvas.dc, 0, 8, nullptr);
    LineTo(canvas.dc, 12, 8);
    SelectObject(canvas.dc, old);
    DeleteObject(dash);
    const uint32_t expected[12] = { 0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF };
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(canvas.At(x, 8), expected[x]) << x;
}

TEST_F(UiGdiTest, DibSectionBitsAreBottomUpForPositiveHeightAndSeenByEveryCall)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info {};
    info.header.biSize = 40;
    info.header.biWidth = 3;
    info.header.biHeight = 2;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.colors[1] = RGBQUAD { 0x30, 0x20, 0x10, 0 };
    info.colors[2] = RGBQUAD { 0xFF, 0, 0, 0 };
    uint8_t* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP section = CreateDIBSection(
        memory, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    ASSERT_NE(section, nullptr);
    BITMAP bm;
    ASSERT_EQ(GetObject(section, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidthBytes, 4);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    HGDIOBJ old = SelectObject(memory, section);
    bits[0] = 1; // first row in memory: the bottom row of the picture
    bits[4 + 2] = 2; // second row in memory: the top row
    Canvas canvas(3, 2);
    BitBlt(canvas.dc, 0, 0, 3, 2, memory, 0, 0, SRCCOPY);
    EXPECT_EQ(canvas.At(0, 1), 0x00102030u);
    EXPECT_EQ(canvas.At(2, 0), 0x000000FFu);
    bits[0] = 2; // a change between two calls shows in the second
    BitBlt(canvas.dc, 0, 0, 3, 2, memory, 0, 0, SRCCOPY);
    EXPECT_EQ(canvas.At(0, 1), 0x000000FFu);
    // Drawing into the section reaches its bits through the colour table.
    SetPixel(memory, 1, 0, RGB(0xFF, 0, 0) /* not in the table */);
    EXPECT_TRUE(bits[4 + 1] == 0 || bits[4 + 1] == 1 || bits[4 + 1] == 2);
    SelectObject(memory, old);
    EXPECT_TRUE(DeleteObject(section));
    DeleteDC(memory);
}

TEST_F(UiGdiTest, RasterOperationsMaskAndPaint)
{
    Canvas dest(4, 1, RGB(0x10, 0x20, 0x30));
    Canvas mask(4, 1, RGB(0, 0, 0));
    SetPixel(mask.dc, 1, 0, RGB(255, 255, 255));
    Canvas image(4, 1, RGB(0xC0, 0, 0));
    SetPixel(image.dc, 1, 0, RGB(0, 0, 0));
    BitBlt(dest.dc, 0, 0, 4, 1, mask.dc, 0, 0, SRCAND);
    BitBlt(dest.dc, 0, 0, 4, 1, image.dc, 0, 0, SRCPAINT);
    EXPECT_EQ(dest.At(0, 0), 0x00C00000u);
    EXPECT_EQ(dest.At(1, 0), 0x00102030u); // transparent through the mask
    BitBlt(dest.dc, 0, 0, 1, 1, nullptr, 0, 0, DSTINVERT);
    EXPECT_EQ(dest.At(0, 0), 0x003FFFFFu);
    // Within one context the copy reads the pixels as they were before it.
    Canvas row(4, 1);
    for (int x = 0; x < 4; ++x)
        SetPixel(row.dc, x, 0, RGB(x, 0, 0));
    BitBlt(row.dc, 1, 0, 3, 1, row.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(row.At(1, 0), 0x00000000u);
    EXPECT_EQ(row.At(3, 0), 0x00020000u);
    // A generic ternary code: NOTSRCCOPY.
    BitBlt(dest.dc, 2, 0, 1, 1, image.dc, 2, 0, NOTSRCCOPY);
    EXPECT_EQ(dest.At(2, 0) & 0xFFFFFF, 0x003FFFFFu);
}

TEST_F(UiGdiTest, StretchMirrorsNegativeSizesAndMonochromeTakesTextColours)
{
    Canvas src(4, 1);
    for (int x = 0; x < 4; ++x)
        SetPixel(src.dc, x, 0, RGB(x * 10, 0, 0));
    Canvas dest(8, 1);
    StretchBlt(dest.dc, 0, 0, 8, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
    EXPECT_EQ(dest.At(0, 0), 0x00000000u);
    EXPECT_EQ(dest.At(1, 0), 0x00000000u);
    EXPECT_EQ(dest.At(7, 0), 0x001E0000u);
    StretchBlt(dest.dc, 4, 0, -4, 1, src.dc, 0, 0, 4, 1, SRCCOPY); // mirrored into 0..3
    EXPECT_EQ(dest.At(0, 0), 0x001E0000u);
    EXPECT_EQ(dest.At(3, 0), 0x00000000u);

    HBITMAP mono = CreateBitmap(2, 1, 1, 1, nullptr);
    HDC monoDc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(monoDc, mono);
    SetPixel(monoDc, 1, 0, RGB(255, 255, 255));
    SetTextColor(dest.dc, RGB(1, 2, 3));
    SetBkColor(dest.dc, RGB(4, 5, 6));
    BitBlt(dest.dc, 0, 0, 2, 1, monoDc, 0, 0, SRCCOPY);
    EXPECT_EQ(dest.At(0, 0), 0x00010203u);
    EXPECT_EQ(dest.At(1, 0), 0x00040506u);
    SelectObject(monoDc, old);
    DeleteObject(mono);
    DeleteDC(monoDc);
}

TEST_F(UiGdiTest, ClipRegionAndRegionFrames)
{
    Canvas canvas(10, 10);
    HRGN clip = CreateRectRgn(0, 0, 5, 10);
    SelectClipRgn(canvas.dc, clip);
    DeleteObject(clip);
    HBRUSH black = CreateSolidBrush(0);
    RECT all { 0, 0, 10, 10 };
    FillRect(canvas.dc, &all, black);
    EXPECT_EQ(canvas.At(4, 4), 0u);
    EXPECT_EQ(canvas.At(5, 4), 0x00FFFFFFu);
    SelectClipRgn(canvas.dc, nullptr);
    FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HRGN box = CreateRectRgn(1, 1, 9, 9);
    FrameRgn(canvas.dc, box, black, 2, 1);
    EXPECT_EQ(canvas.At(1, 5), 0u);
    EXPECT_EQ(canvas.At(2, 5), 0u);
    EXPECT_EQ(canvas.At(3, 5), 0x00FFFFFFu);
    EXPECT_EQ(canvas.At(5, 1), 0u);
    EXPECT_EQ(canvas.At(5, 2), 0x00FFFFFFu);
    DeleteObject(box);
    DeleteObject(black);
}

TEST_F(UiGdiTest, RegionShapesAndCombinations)
{
    // The round rectangle of a tooltip balloon: corners cut, right and bottom edges outside.
    HRGN round = CreateRoundRectRgn(0, 0, 41, 21, 10, 10);
    RECT box;
    EXPECT_EQ(GetRgnBox(round, &box), COMPLEXREGION);
    EXPECT_EQ(box.right, 40);
    EXPECT_EQ(box.bottom, 20);
    EXPECT_TRUE(PtInRegion(round, 20, 10));
    EXPECT_TRUE(PtInRegion(round, 0, 10));
    EXPECT_FALSE(PtInRegion(round, 0, 0));
    EXPECT_FALSE(PtInRegion(round, 40, 10));
    // Its pointer: a triangle joined on.
    const POINT triangle[3] = { { 10, 19 }, { 20, 19 }, { 10, 30 } };
    HRGN tip = CreatePolygonRgn(triangle, 3, ALTERNATE);
    EXPECT_TRUE(PtInRegion(tip, 11, 21));
    EXPECT_FALSE(PtInRegion(tip, 19, 28));
    HRGN balloon = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(balloon, round, tip, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(balloon, 11, 25));
    HRGN shadow = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(shadow, balloon, nullptr, RGN_COPY);
    OffsetRgn(shadow, 3, 3);
    EXPECT_TRUE(PtInRegion(shadow, 23, 13));
    EXPECT_FALSE(EqualRgn(shadow, balloon));
    OffsetRgn(shadow, -3, -3);
    EXPECT_TRUE(EqualRgn(shadow, balloon));
    EXPECT_EQ(taluvo::ui::QRegionOf(shadow), taluvo::ui::QRegionOf(balloon));
    HRGN empty = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(empty, round, round, RGN_DIFF), NULLREGION);
    for (HRGN r : { round, tip, balloon, shadow, empty })
        EXPECT_TRUE(DeleteObject(r));
}

TEST_F(UiGdiTest, MulDivRoundsHalfAwayFromZero)
{
    struct Case {
        int a, b, c, expected;
    } cases[]
        = { { 1, 1, 2, 1 }, { -1, 1, 2, -1 }, { 3, 1, 2, 2 }, { 5, 2, 4, 3 }, { 7, 1, -2, -4 }, { 100, 50, 100, 50 },
              { 128, 50, 100, 64 }, { 0x7FFFFFFF, 2, 2, 0x7FFFFFFF }, { 0x7FFFFFFF, 3, 1, -1 }, { 5, 5, 0, -1 } };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST_F(UiGdiTest, CrtRandFollowsTheRuntimeSequence)
{
    taluvo::ui::SrandCrt(1);
    const int expected[] = { 41, 18467, 6334, 26500, 19169 };
    for (int value : expected)
        EXPECT_EQ(taluvo::ui::RandCrt(), value);
}

TEST_F(UiGdiTest, FontHeightsAndExtentsAreStable)
{
    ASSERT_TRUE(QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"))) << "install fonts-dejavu-core";
    Canvas canvas(200, 40);
    HFONT cell = CreateFont(20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
    HFONT old = SelectObject(canvas.dc, cell);
    TEXTMETRIC tm;
    ASSERT_TRUE(GetTextMetrics(canvas.dc, &tm));
    EXPECT_LE(tm.tmHeight, 20); // a positive height is the cell
    EXPECT_GE(tm.tmHeight, 18);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    SIZE one, two;
    GetTextExtentPoint32(canvas.dc, QStringLiteral("ab cd"), &one);
    EXPECT_EQ(one.cy, tm.tmHeight);
    SetTextJustification(canvas.dc, 7, 2); // one space: it gets 3 + 1
    GetTextExtentPoint32(canvas.dc, QStringLiteral("ab cd"), &two);
    EXPECT_EQ(two.cx, one.cx + 4);
    SetTextJustification(canvas.dc, 0, 0);
    SelectObject(canvas.dc, old);
    DeleteObject(cell);

    HFONT em = CreateFont(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
    old = SelectObject(canvas.dc, em);
    GetTextMetrics(canvas.dc, &tm);
    EXPECT_GT(tm.tmHeight, 20); // a negative height is the character height, the cell is taller
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20);
    SelectObject(canvas.dc, old);
    DeleteObject(em);
}

TEST_F(UiGdiTest, TextDrawsInsideItsExtentWithAlphaZero)
{
    Canvas canvas(120, 30);
    HFONT font = CreateFont(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
    HFONT old = SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, TRANSPARENT);
    SetTextColor(canvas.dc, RGB(0, 0, 0));
    SIZE extent;
    GetTextExtentPoint32(canvas.dc, QStringLiteral("Hello"), &extent);
    TextOut(canvas.dc, 10, 5, QStringLiteral("Hello"));
    int dark = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint32_t p = canvas.At(x, y);
            EXPECT_EQ(p >> 24, 0u);
            if ((p & 0xFF) < 128) {
                ++dark;
                EXPECT_GE(x, 10);
                EXPECT_LT(x, 10 + extent.cx + 1);
                EXPECT_GE(y, 5);
                EXPECT_LT(y, 5 + extent.cy);
            }
        }
    EXPECT_GT(dark, 20);
    RECT calc { 0, 0, 50, 0 };
    const int height = DrawText(canvas.dc, QStringLiteral("one two three four"), &calc, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(height, calc.bottom);
    EXPECT_GE(height, 2 * extent.cy);
    SelectObject(canvas.dc, old);
    DeleteObject(font);
}

TEST_F(UiGdiTest, IconsRoundTripThroughTheirBitmaps)
{
    HBITMAP color = CreateCompatibleBitmap(nullptr, 32, 32);
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, mask);
    RECT left { 0, 0, 16, 32 };
    FillRect(dc, &left, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))); // left half transparent
    SelectObject(dc, color);
    RECT all { 0, 0, 32, 32 };
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, red);
    SelectObject(dc, old);
    ICONINFO info;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    ASSERT_NE(icon, nullptr);
    ICONINFO back;
    ASSERT_TRUE(GetIconInfo(icon, &back));
    EXPECT_EQ(back.xHotspot, 16u);
    EXPECT_EQ(back.yHotspot, 16u);
    const QImage c = taluvo::ui::ImageOfBitmap(back.hbmColor);
    const QImage m = taluvo::ui::ImageOfBitmap(back.hbmMask);
    EXPECT_EQ(c.pixel(20, 5) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(c.pixel(2, 5) & 0xFFFFFF, 0u);
    EXPECT_EQ(m.pixel(2, 5) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(m.pixel(20, 5) & 0xFFFFFF, 0u);
    Canvas canvas(32, 32, RGB(0, 0, 255));
    DrawIconEx(canvas.dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    EXPECT_EQ(canvas.At(2, 2), 0x000000FFu);
    EXPECT_EQ(canvas.At(20, 2), 0x00FF0000u);
    for (HBITMAP b : { color, mask, back.hbmColor, back.hbmMask })
        EXPECT_TRUE(DeleteObject(b));
    DeleteObject(red);
    DeleteDC(dc);
    DestroyIcon(icon);
}

TEST_F(UiGdiTest, SelectedObjectsAndStaleHandles)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_FALSE(DeleteObject(bitmap)); // still selected
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr); // one context at a time
    DeleteDC(other);
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    RECT r { 0, 0, 1, 1 };
    EXPECT_EQ(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
}

// A window paints in WM_PAINT through BeginPaint/EndPaint and the widget shows it.
class CPaintWindow : public CWindowImpl<CPaintWindow> {
public:
    int paints = 0;
    BEGIN_MSG_MAP(CPaintWindow)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    END_MSG_MAP()
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++paints;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        RECT r { 0, 0, 10, 10 };
        FillRect(dc, &r, red);
        DeleteObject(red);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
};

TEST_F(UiGdiTest, WindowsPaintThroughBeginPaint)
{
    CPaintWindow wnd;
    RECT rect { 0, 0, 60, 40 };
    ASSERT_TRUE(wnd.Create(nullptr, &rect, QStringLiteral("paint"), WS_POPUP | WS_VISIBLE));
    auto record = taluvo::ui::detail::Find(wnd);
    ASSERT_TRUE(record && record->widget);
    const QImage shown = record->widget->grab().toImage();
    EXPECT_GE(wnd.paints, 1);
    EXPECT_EQ(shown.pixel(5, 5) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(shown.pixel(20, 20) & 0xFFFFFF, 0xFF0000u);
    HDC dc = GetDC(wnd);
    ASSERT_NE(dc, nullptr);
    RECT clip;
    GetClipBox(dc, &clip);
    EXPECT_EQ(clip.right, record->widget->width());
    EXPECT_EQ(ReleaseDC(wnd, dc), 1);
    const size_t live = taluvo::ui::LiveGdiObjects();
    record->widget->grab();
    EXPECT_EQ(taluvo::ui::LiveGdiObjects(), live); // the paint's context and brush are gone
    wnd.DestroyWindow();
}

} // namespace
