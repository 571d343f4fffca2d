// The probe icon's pixel search over synthetic tray strips.
#include "Controls/TrayIconScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

constexpr COLORREF kPanel = RGB(214, 219, 227);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A tray strip on the screen's bottom-right, 160 × 40 pixels.
TrayStripImage MakeStrip(COLORREF background, RECT area = { 1760, 1040, 1920, 1080 })
{
    TrayStripImage strip;
    strip.area = area;
    strip.pixels.assign(size_t(strip.Width()) * size_t(strip.Height()), background);
    return strip;
}

// Fills a rectangle given in screen coordinates.
void Paint(TrayStripImage& strip, RECT rect, COLORREF color)
{
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            strip.pixels[size_t(y - strip.area.top) * size_t(strip.Width()) + size_t(x - strip.area.left)] = color;
}

void PaintSquare(TrayStripImage& strip, int left, int top, int side, COLORREF color = kBlack)
{
    Paint(strip, { left, top, left + side, top + side }, color);
}

std::optional<POINT> Scan(const TrayStripImage& strip)
{
    POINT point { -1, -1 };
    if (!FindProbeIconInStrip(strip, &point)) {
        EXPECT_EQ(point.x, -1) << "a failed search leaves the point alone";
        return std::nullopt;
    }
    return point;
}

void ExpectFoundAt(const TrayStripImage& strip, int x, int y)
{
    const auto found = Scan(strip);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->x, x);
    EXPECT_EQ(found->y, y);
}

TEST(TrayIconScanTest, FindsTheProbeWhereverItSits)
{
    struct Case {
        const char* name;
        int left, top, side;
        COLORREF colour; // near-black still counts
    } cases[] = {
        { "16 px at the left end", 1761, 1052, 16, kBlack },
        { "16 px in the middle", 1830, 1050, 16, kBlack },
        { "16 px near the right end", 1900, 1050, 16, kBlack },
        { "full-size probe 32 px", 1800, 1044, 32, kBlack },
        { "24 px scaled by the tray", 1850, 1048, 24, kBlack },
        { "near-black after colour management", 1790, 1050, 16, RGB(3, 2, 3) },
        { "touching the strip's top row", 1820, 1040, 20, kBlack },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrayStripImage strip = MakeStrip(kPanel);
        // Other tray icons: coloured, with a few dark strokes of their own.
        PaintSquare(strip, 1770, 1050, 16, RGB(40, 120, 200));
        Paint(strip, { 1772, 1055, 1780, 1056 }, kBlack);
        PaintSquare(strip, c.left, c.top, c.side, c.colour);
        // The top row of the strip is never scanned: a probe touching it is found one row lower.
        const int top = std::max<int>(c.top, strip.area.top + 1);
        ExpectFoundAt(strip, c.left + 8, top + 8);
    }
}

TEST(TrayIconScanTest, TwoProbeShapesGiveTheHigherOne)
{
    TrayStripImage strip = MakeStrip(kPanel, { 0, 0, 60, 100 }); // a vertical panel
    PaintSquare(strip, 10, 70, 16);
    PaintSquare(strip, 30, 20, 16);
    ExpectFoundAt(strip, 38, 28);
}

TEST(TrayIconScanTest, NoProbeNoPoint)
{
    struct Case {
        const char* name;
        std::function<void(TrayStripImage&)> paint;
    } cases[] = {
        { "plain panel", [](TrayStripImage&) {} },
        { "coloured icons only",
            [](TrayStripImage& s) {
                PaintSquare(s, 1780, 1050, 16, RGB(200, 40, 40));
                PaintSquare(s, 1800, 1050, 16, RGB(4, 4, 4)); // one step above the dark threshold
            } },
        { "15 px wide",
            [](TrayStripImage& s) {
                Paint(s, { 1800, 1050, 1815, 1070 }, kBlack);
            } },
        { "15 rows high",
            [](TrayStripImage& s) {
                Paint(s, { 1800, 1050, 1830, 1065 }, kBlack);
            } },
        { "too low: the two bottom rows are not scanned",
            [](TrayStripImage& s) {
                Paint(s, { 1800, 1063, 1830, 1080 }, kBlack);
            } },
        { "running into the strip's right end",
            [](TrayStripImage& s) {
                Paint(s, { 1900, 1050, 1920, 1070 }, kBlack);
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrayStripImage strip = MakeStrip(kPanel);
        c.paint(strip);
        EXPECT_FALSE(Scan(strip).has_value());
    }
}

TEST(TrayIconScanTest, DarkTrayWithoutAProbeIsNoMatch)
{
    // A dark theme: a near-black panel (just above the threshold) full of black strokes, a clock,
    // separators, and striped artwork whose dark lines all start in one column.
    TrayStripImage strip = MakeStrip(RGB(12, 12, 16));
    for (int x = 1765; x < 1915; x += 3)
        Paint(strip, { x, 1045, x + 2, 1075 }, kBlack); // narrow dark columns
    Paint(strip, { 1760, 1060, 1920, 1061 }, kBlack); // a separator across the whole strip
    for (int y = 1042; y < 1078; y += 2)
        Paint(strip, { 1830, y, 1860, y + 1 }, kBlack); // every other row, 30 px from one column
    Paint(strip, { 1870, 1048, 1884, 1072 }, kBlack); // a tall block just too narrow
    for (int x = 1888; x < 1910; ++x)
        Paint(strip, { x, 1045 + (x % 5), x + 1, 1046 + (x % 5) }, kBlack); // scattered dots
    EXPECT_FALSE(Scan(strip).has_value());

    // The same dark tray with the probe in it still gives the probe.
    Paint(strip, { 1790, 1046, 1812, 1072 }, RGB(200, 200, 200)); // clear a slot, as an icon's cell
    PaintSquare(strip, 1794, 1050, 16);
    ExpectFoundAt(strip, 1802, 1058);
}

TEST(TrayIconScanTest, IncompletePictureIsRefused)
{
    TrayStripImage strip = MakeStrip(kPanel);
    PaintSquare(strip, 1800, 1050, 16);
    strip.pixels.resize(strip.pixels.size() / 2);
    EXPECT_FALSE(Scan(strip).has_value());
    TrayStripImage empty;
    EXPECT_FALSE(Scan(empty).has_value());
    EXPECT_FALSE(FindProbeIconInStrip(MakeStrip(kPanel), nullptr));
}

} // namespace
