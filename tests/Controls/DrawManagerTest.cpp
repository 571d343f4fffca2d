// Fill effects, borders, lines, tiling, image effects, shadows and blends, checked against pixels
// that an independent script computes from the formulas.
#include "Controls/DrawManager.h"

#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QProcess>

namespace {

using taluvo::test::Canvas;

std::vector<uint32_t> Oracle(const QStringList& arguments)
{
    QProcess process;
    process.start(
        QStringLiteral("/usr/bin/python3"), QStringList { QStringLiteral(TALUVO_EFFECTS_ORACLE) } + arguments);
    std::vector<uint32_t> values;
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        ADD_FAILURE() << "oracle failed: " << process.readAllStandardError().toStdString();
        return values;
    }
    for (const QByteArray& word : process.readAllStandardOutput().trimmed().split(' '))
        values.push_back(word.toUInt(nullptr, 16));
    return values;
}

QString Hex(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 6, 16, QLatin1Char('0'));
}

class DrawManagerTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

constexpr COLORREF kBegin = RGB(240, 40, 20), kMiddle = RGB(30, 200, 60), kEnd = RGB(20, 60, 230);

TEST_F(DrawManagerTest, EveryFillEffectMatchesItsFormula)
{
    struct Case {
        UINT effect;
        int w, h, granularity, coloring;
    } cases[] = { { 0, 9, 5, 0, 0 }, { 16, 9, 5, 0, 0 }, { 1, 100, 4, 0, 0 }, { 2, 3, 32, 0, 0 }, { 3, 101, 3, 0, 0 },
        { 4, 3, 50, 0, 0 }, { 5, 70, 2, 0, 0 }, { 6, 2, 70, 0, 0 }, { 7, 23, 17, 5, 0 }, { 8, 23, 17, 5, 0 },
        { 9, 23, 17, 0, 0 }, { 10, 23, 17, 7, 5 }, { 11, 23, 17, 5, 0 }, { 12, 23, 17, 5, 0 }, { 13, 31, 19, 5, 30 },
        { 14, 40, 21, 5, 0 }, { 15, 37, 29, 5, 0 }, { 15, 64, 64, 20, 0 }, { 9, 1, 1, 0, 0 }, { 13, 23, 17, 0, 100 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "effect " << c.effect << " " << c.w << "x" << c.h);
        Canvas canvas(c.w + 4, c.h + 4, RGB(1, 2, 3));
        CDrawManager manager;
        taluvo::ui::SrandCrt(1); // the oracle starts the runtime's sequence afresh
        RECT r { 2, 2, 2 + c.w, 2 + c.h };
        manager.FillEffect(canvas.dc, c.effect, &r, kBegin, kMiddle, kEnd, BYTE(c.granularity), BYTE(c.coloring));
        const auto expected = Oracle({ QStringLiteral("fill"), QString::number(c.effect), QString::number(c.w),
            QString::number(c.h), QString::number(kBegin), QString::number(kMiddle), QString::number(kEnd),
            QString::number(c.granularity), QString::number(c.coloring) });
        ASSERT_EQ(expected.size(), size_t(c.w * c.h));
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (canvas.Rgb(x + 2, y + 2) != expected[size_t(y) * c.w + x] && wrong++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << Hex(canvas.Rgb(x + 2, y + 2)).toStdString()
                                  << ", formula " << Hex(expected[size_t(y) * c.w + x]).toStdString();
        EXPECT_EQ(wrong, 0);
        // Nothing outside the rectangle: right and bottom edges excluded.
        for (int x = 0; x < c.w + 4; ++x) {
            EXPECT_EQ(canvas.Rgb(x, 1), 0x010203u);
            EXPECT_EQ(canvas.Rgb(x, c.h + 2), 0x010203u);
        }
        for (int y = 0; y < c.h + 4; ++y)
            EXPECT_EQ(canvas.Rgb(c.w + 2, y), 0x010203u);
    }
}

TEST_F(DrawManagerTest, PaletteEffectsOutsideTheirLimitsDrawNothing)
{
    Canvas canvas(10, 10, RGB(1, 2, 3));
    CDrawManager manager;
    RECT flat { 0, 0, 10, 1 }; // hardbump needs two rows
    manager.FillEffect(canvas.dc, FILL_HARDBUMP, &flat, kBegin, kMiddle, kEnd, 5, 0);
    RECT empty { 5, 5, 5, 9 };
    manager.FillEffect(canvas.dc, FILL_METAL, &empty, kBegin, kMiddle, kEnd, 5, 0);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(canvas.Rgb(x, 0), 0x010203u);
}

TEST_F(DrawManagerTest, BorderStylesAndLines)
{
    Canvas canvas(40, 40);
    CDrawManager manager;
    const uint32_t tl = 0xFF0000, br = 0x0000FF; // as pixels
    // Solid, width 1: left and top in the first colour, right and bottom in the second.
    manager.DrawRectangle(canvas.dc, 2, 2, 12, 12, RGB(255, 0, 0), RGB(0, 0, 255), 1, 1);
    EXPECT_EQ(canvas.Rgb(2, 7), tl);
    EXPECT_EQ(canvas.Rgb(7, 2), tl);
    EXPECT_EQ(canvas.Rgb(12, 7), br); // right side on the right edge: the outline is inset by width / 2
    EXPECT_EQ(canvas.Rgb(7, 12), br);
    EXPECT_EQ(canvas.Rgb(7, 7), 0xFFFFFFu);
    // Width 3: the centre lines run one pixel inside, the pen covers the edge.
    canvas.Clear(RGB(255, 255, 255));
    manager.DrawRectangle(canvas.dc, 2, 2, 30, 30, RGB(255, 0, 0), RGB(255, 0, 0), 1, 3);
    EXPECT_EQ(canvas.Rgb(2, 15), tl);
    EXPECT_EQ(canvas.Rgb(3, 15), tl);
    EXPECT_EQ(canvas.Rgb(4, 15), tl);
    EXPECT_EQ(canvas.Rgb(6, 15), 0xFFFFFFu);
    // Double: a second outline two pen widths inside.
    canvas.Clear(RGB(255, 255, 255));
    manager.DrawRectangle(canvas.dc, 2, 2, 30, 30, RGB(255, 0, 0), RGB(0, 0, 255), 6, 1);
    EXPECT_EQ(canvas.Rgb(2, 15), tl);
    EXPECT_EQ(canvas.Rgb(3, 15), 0xFFFFFFu);
    EXPECT_EQ(canvas.Rgb(4, 15), tl);
    EXPECT_EQ(canvas.Rgb(28, 15), br);
    EXPECT_EQ(canvas.Rgb(30, 15), br);
    // Nothing for style 0 or width 0.
    canvas.Clear(RGB(255, 255, 255));
    manager.DrawRectangle(canvas.dc, 2, 2, 30, 30, 0, 0, 0, 1);
    manager.DrawRectangle(canvas.dc, 2, 2, 30, 30, 0, 0, 1, 0);
    manager.DrawLine(canvas.dc, 0, 5, 30, 5, 0, 0, 1);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(canvas.Rgb(i, 2) & canvas.Rgb(2, i) & canvas.Rgb(i, 5), 0xFFFFFFu);
    // Double line: the twin two pixels below a horizontal one, right of a vertical one.
    manager.DrawLine(canvas.dc, 0, 10, 20, 10, RGB(0, 0, 0), 6, 1);
    EXPECT_EQ(canvas.Rgb(5, 10), 0u);
    EXPECT_EQ(canvas.Rgb(5, 11), 0xFFFFFFu);
    EXPECT_EQ(canvas.Rgb(5, 12), 0u);
    EXPECT_EQ(canvas.Rgb(20, 10), 0xFFFFFFu); // last pixel left out
    manager.DrawLine(canvas.dc, 30, 15, 30, 35, RGB(0, 0, 0), 6, 1);
    EXPECT_EQ(canvas.Rgb(32, 20), 0u);
    // Dashed, dotted, dash-dot and dash-dot-dot leave gaps; solid does not.
    struct Style {
        int style, firstGap;
    } styles[] = { { 1, -1 }, { 2, 18 }, { 3, 3 }, { 4, 9 }, { 5, 9 } };
    for (const auto& s : styles) {
        canvas.Clear(RGB(255, 255, 255));
        manager.DrawLine(canvas.dc, 0, 20, 39, 20, RGB(0, 0, 0), s.style, 1);
        int gap = -1;
        for (int x = 0; x < 39 && gap < 0; ++x)
            if (canvas.Rgb(x, 20) != 0)
                gap = x;
        EXPECT_EQ(gap, s.firstGap) << "style " << s.style;
    }
}

// Compares the canvas with the oracle's picture of the same call.
void ExpectPicture(const Canvas& canvas, const std::vector<uint32_t>& expected)
{
    ASSERT_EQ(expected.size(), size_t(canvas.width * canvas.height));
    int wrong = 0;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
            if (canvas.Rgb(x, y) != expected[size_t(y) * canvas.width + x] && wrong++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << Hex(canvas.Rgb(x, y)).toStdString()
                              << ", formula " << Hex(expected[size_t(y) * canvas.width + x]).toStdString();
    EXPECT_EQ(wrong, 0);
}

TEST_F(DrawManagerTest, EveryBorderStyleAndLineMatchesTheFormula)
{
    const int w = 60, h = 40;
    for (int style = 0; style <= 7; ++style) {
        SCOPED_TRACE(testing::Message() << "style " << style);
        Canvas canvas(w, h);
        CDrawManager manager;
        manager.DrawRectangle(canvas.dc, 3, 2, 57, 37, RGB(255, 0, 0), RGB(0, 0, 255), style, 1);
        ExpectPicture(canvas,
            Oracle({ QStringLiteral("border"), QString::number(w), QString::number(h), QStringLiteral("3"),
                QStringLiteral("2"), QStringLiteral("57"), QStringLiteral("37"),
                QString::number(style == 7 ? 1 : style) }));
        struct Segment {
            int x1, y1, x2, y2;
        } segments[] = { { 0, 5, 59, 5 }, { 7, 0, 7, 39 }, { 59, 30, 0, 30 }, { 2, 2, 32, 32 }, { 40, 35, 55, 20 } };
        for (const auto& seg : segments) {
            SCOPED_TRACE(testing::Message() << seg.x1 << "," << seg.y1 << " to " << seg.x2 << "," << seg.y2);
            canvas.Clear(RGB(255, 255, 255));
            manager.DrawLine(canvas.dc, seg.x1, seg.y1, seg.x2, seg.y2, RGB(0, 0, 0), style, 1);
            ExpectPicture(canvas,
                Oracle({ QStringLiteral("line"), QString::number(w), QString::number(h), QString::number(seg.x1),
                    QString::number(seg.y1), QString::number(seg.x2), QString::number(seg.y2),
                    QString::number(style == 7 ? 1 : style) }));
        }
    }
}

TEST_F(DrawManagerTest, TileBltClipsTheLastColumnAndRow)
{
    Canvas tile(10, 10, RGB(9, 9, 9));
    SetPixel(tile.dc, 0, 0, RGB(255, 0, 0));
    Canvas canvas(40, 40);
    CDrawManager manager;
    manager.TileBlt(canvas.dc, 5, 5, 25, 15, tile.dc, 0, 0, 10, 10);
    EXPECT_EQ(canvas.Rgb(5, 5), 0xFF0000u);
    EXPECT_EQ(canvas.Rgb(25, 15), 0xFF0000u);
    EXPECT_EQ(canvas.Rgb(29, 19), 0x090909u);
    EXPECT_EQ(canvas.Rgb(30, 19), 0xFFFFFFu);
    EXPECT_EQ(canvas.Rgb(29, 20), 0xFFFFFFu);
    manager.TileBlt(canvas.dc, 0, 0, 40, 40, tile.dc, 0, 0, 0, 10); // a zero step draws nothing
    EXPECT_EQ(canvas.Rgb(0, 0), 0xFFFFFFu);
}

TEST_F(DrawManagerTest, ShadowsDarkenByTheBlueOfTheShadowImage)
{
    struct Case {
        int grey, depth;
        BOOL blurred;
    } cases[] = { { 128, 0, FALSE }, { 255, 0, FALSE }, { 0, 0, FALSE }, { 100, 6, TRUE }, { 60, 3, TRUE } };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.grey << " depth " << c.depth);
        const int w = 16, h = 12;
        Canvas shape(w, h, RGB(c.grey, c.grey, c.grey));
        SelectObject(shape.dc, shape.old); // a bitmap can be selected in one context only
        Canvas canvas(w + 2, h + 2, RGB(200, 150, 100));
        CDrawManager manager;
        manager.DrawShadow(canvas.dc, 1, 1, w, h, shape.bitmap, c.blurred, c.depth, c.depth);
        const auto expected = Oracle({ QStringLiteral("shadow"), QString::number(w), QString::number(h),
            QString::number(c.grey), QString::number(c.depth), QString::number(c.depth), QString::number(c.blurred),
            QString::number(RGB(200, 150, 100)) });
        ASSERT_EQ(expected.size(), size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(canvas.Rgb(x + 1, y + 1), expected[size_t(y * w + x)]) << x << "," << y;
        EXPECT_EQ(canvas.Rgb(0, 0), 0xC89664u);
    }
}

TEST_F(DrawManagerTest, BlendsMatchTheirFormulas)
{
    CDrawManager manager;
    for (int percent : { 0, 1, 30, 50, 99, 100 }) {
        Canvas src(3, 3, RGB(250, 10, 128));
        Canvas dest(3, 3, RGB(20, 200, 64));
        manager.BlendRect(dest.dc, 0, 0, 3, 3, src.dc, 0, 0, percent);
        const auto expected = Oracle({ QStringLiteral("blend"), QStringLiteral("1"), QStringLiteral("1"),
            QString::number(RGB(250, 10, 128)), QString::number(RGB(20, 200, 64)), QString::number(percent) });
        ASSERT_EQ(expected.size(), 1u);
        EXPECT_EQ(dest.Rgb(1, 1), expected[0]) << percent;
    }
    for (uint32_t alpha : { 0u, 64u, 128u, 255u }) {
        Canvas src(2, 2);
        for (int i = 0; i < 4; ++i)
            src.bits[i] = (alpha << 24) | 0xF00A80;
        Canvas dest(2, 2, RGB(20, 200, 64));
        manager.BlendRectByAlpha(dest.dc, 0, 0, 2, 2, src.dc, 0, 0);
        const auto expected = Oracle({ QStringLiteral("alpha"), QStringLiteral("1"), QStringLiteral("1"),
            QString::number((alpha << 24) | 0xF00A80), QString::number(RGB(20, 200, 64)) });
        ASSERT_EQ(expected.size(), 1u);
        EXPECT_EQ(dest.Rgb(0, 0), expected[0]) << alpha;
    }
}

TEST_F(DrawManagerTest, BitmapEffectsMasksAndDisplacedImages)
{
    CDrawManager manager;
    // A 4×1 bitmap: magenta (transparent with the mask), then three colours.
    const COLORREF colors[4] = { RGB(255, 0, 255), RGB(200, 100, 50), RGB(10, 20, 30), RGB(255, 255, 255) };
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 4, 1);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int x = 0; x < 4; ++x)
        SetPixel(dc, x, 0, colors[x]);
    SelectObject(dc, old);
    DeleteDC(dc);
    for (UINT flags : { 0u, 1u, 2u, 4u, 8u, 9u, 0x8000u, 0x8003u }) {
        SCOPED_TRACE(flags);
        Canvas canvas(6, 3, RGB(0, 128, 0));
        manager.DrawBitmapWithEffects(
            canvas.dc, 1, 1, 4, 1, bitmap, TRUE, RGB(255, 0, 255), flags, FALSE, 0, 0, 0, 0, RGB(1, 2, 250));
        EXPECT_FALSE(manager.HasImageAlpha());
        // The masked pixel shows the background, or white when the effect inverts.
        EXPECT_EQ(canvas.Rgb(1, 1), (flags & 0x8000) ? 0x00FFFFFFu : 0x008000u);
        for (int x = 1; x < 4; ++x) {
            const auto expected = Oracle({ QStringLiteral("effect"), QString::number(flags),
                QString::number(RGB(1, 2, 250)),
                QString::number((GetRValue(colors[x]) << 16) | (GetGValue(colors[x]) << 8) | GetBValue(colors[x])) });
            ASSERT_EQ(expected.size(), 1u);
            // The image is ORed over the masked hole, so effects reach the screen unchanged.
            EXPECT_EQ(canvas.Rgb(1 + x, 1), expected[0]) << x;
        }
    }
    // Without the mask the magenta pixel is drawn; with the shadow switch and no shadow flag the
    // image moves by the offset.
    Canvas canvas(8, 4, RGB(0, 128, 0));
    manager.DrawBitmapWithEffects(canvas.dc, 1, 1, 4, 1, bitmap, FALSE, RGB(255, 0, 255), 0, TRUE, 2, 1, 0, 0, 0);
    EXPECT_EQ(canvas.Rgb(3, 2), 0xFF00FFu);
    EXPECT_EQ(canvas.Rgb(1, 1), 0x008000u);
    // A strip of 3 × 2 cells: index 5 is the last cell of the second row; 4 × 1 has no index 5.
    HBITMAP strip = CreateCompatibleBitmap(nullptr, 6, 4);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, strip);
    for (int i = 0; i < 6; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(i * 40, 0, 0));
        RECT cell { 2 * (i % 3), 2 * (i / 3), 2 * (i % 3) + 2, 2 * (i / 3) + 2 };
        FillRect(dc, &cell, brush);
        DeleteObject(brush);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    Canvas cells(4, 4, RGB(0, 0, 9));
    manager.DrawImageFromStrip(cells.dc, 0, 0, 2, 2, strip, 5, 2, 2, FALSE, 0, 0, FALSE, 0, 0, 0, 0, 0);
    EXPECT_EQ(cells.Rgb(1, 1), 0xC80000u);
    manager.DrawImageFromStrip(cells.dc, 2, 2, 2, 2, strip, 5, 2, 4, FALSE, 0, 0, FALSE, 0, 0, 0, 0, 0);
    manager.DrawImageFromStrip(cells.dc, 2, 2, 2, 2, strip, 6, 2, 2, FALSE, 0, 0, FALSE, 0, 0, 0, 0, 0);
    EXPECT_EQ(cells.Rgb(3, 3), 0x000009u);
    DeleteObject(strip);
    DeleteObject(bitmap);
}

TEST_F(DrawManagerTest, IconsDrawByAlphaAndTheirSizeIsTwiceTheHotspot)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(0);
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x)
            image.setPixel(x, y, qRgba(255, 0, 0, x < 16 ? 255 : 128));
    HBITMAP color = taluvo::ui::BitmapOfImage(image);
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    ICONINFO info;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    ASSERT_NE(icon, nullptr);
    CDrawManager manager;
    SIZE size;
    manager.GetIconSize(icon, &size);
    EXPECT_EQ(size.cx, 32);
    EXPECT_EQ(size.cy, 32);
    Canvas canvas(40, 40, RGB(0, 0, 200));
    manager.DrawIconWithEffects(canvas.dc, 0, 0, 32, 32, icon, 0, FALSE, 0, 0, 0, 0, 0);
    EXPECT_TRUE(manager.HasImageAlpha());
    EXPECT_EQ(canvas.Rgb(10, 10), 0xFF0000u);
    EXPECT_EQ(canvas.Rgb(20, 10), 0x800063u); // 255·128/255 and 200·(1−128/255), truncated
    EXPECT_EQ(canvas.Rgb(2, 2), 0x0000C8u);
    HICON half = manager.StretchIcon(icon, 16, 16);
    manager.GetIconSize(half, &size);
    EXPECT_EQ(size.cx, 16);
    DestroyIcon(half);
    DestroyIcon(icon);
    DeleteObject(color);
    DeleteObject(mask);
    SIZE none;
    manager.GetBitmapSize(nullptr, &none);
    EXPECT_EQ(none.cx, 0);
}

TEST_F(DrawManagerTest, ContactSheetOfEveryEffect)
{
    // 16 fills, 7 border styles, shadows and blends on one sheet kept in the build tree.
    const int cell = 64;
    Canvas sheet(cell * 8, cell * 5, RGB(255, 255, 255));
    CDrawManager manager;
    for (UINT effect = 0; effect < 16; ++effect) {
        RECT r { LONG(effect % 8) * cell + 2, LONG(effect / 8) * cell + 2, LONG(effect % 8 + 1) * cell - 2,
            LONG(effect / 8 + 1) * cell - 2 };
        manager.FillEffect(sheet.dc, effect, &r, RGB(255, 255, 255), RGB(240, 247, 255), RGB(64, 96, 192), 5, 0);
    }
    for (int style = 0; style <= 6; ++style) {
        const int x = style * cell;
        manager.DrawRectangle(sheet.dc, x + 4, 2 * cell + 4, x + cell - 4, 3 * cell - 4, RGB(0, 0, 0),
            RGB(128, 128, 128), style, style == 6 ? 1 : 2);
        manager.DrawLine(sheet.dc, x + 4, 3 * cell + 8, x + cell - 4, 3 * cell + 8, RGB(0, 0, 128), style, 1);
    }
    Canvas shape(cell - 16, cell - 16, RGB(96, 96, 96));
    SelectObject(shape.dc, shape.old);
    manager.DrawShadow(sheet.dc, 8, 4 * cell + 8, cell - 16, cell - 16, shape.bitmap, FALSE, 0, 0);
    manager.DrawShadow(sheet.dc, cell + 8, 4 * cell + 8, cell - 16, cell - 16, shape.bitmap, TRUE, 9, 9);
    Canvas red(cell, cell, RGB(255, 0, 0));
    manager.BlendRect(sheet.dc, 2 * cell, 4 * cell, cell, cell, red.dc, 0, 0, 40);
    QImage image = taluvo::ui::ImageOfDc(sheet.dc).convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(image.save(QStringLiteral(TALUVO_CONTACT_SHEET)));
}

} // namespace
