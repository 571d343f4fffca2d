// The about box on a real X server: kept as a screenshot; the title in bold beside the icon; the
// picture button lights up under the pointer (moved with xdotool) with the hand as the window's
// cursor, and goes back when the pointer leaves it, also straight out of the box; the word on the
// picture has smooth edges; a click beside the text does nothing and a click on the picture closes
// the box.
#include "tests/dialogs/AboutTestSupport.h"
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "platform/ui/Cursor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace taluvo::test;
using namespace taluvo::test::x11;

namespace {

bool MoveTo(POINT screen)
{
    return RunXdotool({ "mousemove", std::to_string(screen.x), std::to_string(screen.y) }) == 0;
}

bool ClickAtScreen(POINT screen)
{
    return MoveTo(screen) && RunXdotool({ "click", "1" }) == 0;
}

POINT ToScreen(HWND hwnd, POINT client)
{
    ClientToScreen(hwnd, &client);
    return client;
}

bool IsBlue(COLORREF colour)
{
    const int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    return b > r + 60 && b > g + 30;
}

bool IsInk(COLORREF colour)
{
    return (colour & 0xFF) < 0x70 && ((colour >> 8) & 0xFF) < 0x70 && ((colour >> 16) & 0xFF) < 0x70;
}

// Blue pixels of the screen inside a client rectangle of the window.
int BluePixels(const QImage& shot, HWND hwnd, const RECT& client)
{
    const POINT origin = ToScreen(hwnd, POINT { 0, 0 });
    int count = 0;
    for (int y = client.top; y < client.bottom; ++y)
        for (int x = client.left; x < client.right; ++x)
            count += IsBlue(ScreenColor(shot, origin.x + x, origin.y + y));
    return count;
}

// Width in pixels of a text as the renderer lays it out.
int RenderedWidth(const QString& markup)
{
    CHtmlRenderer renderer;
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE size { 0, 0 };
    renderer.MeasureHtml(dc, markup, &size);
    DeleteDC(dc);
    return size.cx;
}

class AboutOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureUiApplication();
        taluvo::res::RegisterResources();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
        ASSERT_TRUE(MoveTo(POINT { 5, 5 }));
    }
};

TEST_F(AboutOnScreen, TitleIconHoverAndClicksAsTheUserSeesThem)
{
    CAboutDlg dlg;
    bool reached = false;
    const INT_PTR result = RunAboutBox(dlg, nullptr, [&](HWND dialog, HWND html) {
        ASSERT_TRUE(WaitOnScreen(dialog));
        CHtmlStaticCtrl& control = dlg.m_htmlStatic;
        const auto link = LinkArea(control);
        ASSERT_TRUE(link);
        const RECT text = control.m_rcHtml;
        RECT client;
        GetClientRect(html, &client);
        const POINT origin = ToScreen(html, POINT { 0, 0 });

        // Drawn: wait until the screen shows the title's ink right of the icon.
        QImage shot;
        ASSERT_TRUE(WaitForScreen([&](const QImage& screen) {
            shot = screen;
            return BluePixels(screen, html, RECT { 0, 0, 90, 90 }) > 100;
        })) << "icon 226 (a blue magnifier) at the top left";
        SaveArtefact(
            shot.copy(QRect(origin.x - 40, origin.y - 60, client.right + 80, client.bottom + 100)), "about-box.png");

        // The icon's blue sits left of the title's ink, which is as wide as the bold title.
        int iconRight = -1;
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 90; ++y)
                if (IsBlue(ScreenColor(shot, origin.x + x, origin.y + y)))
                    iconRight = std::max(iconRight, x);
        ASSERT_GT(iconRight, 20);
        int inkTop = -1;
        for (int y = text.top; y < text.top + 60 && inkTop < 0; ++y)
            for (int x = iconRight + 4; x < client.right && inkTop < 0; ++x)
                if (IsInk(ScreenColor(shot, origin.x + x, origin.y + y)))
                    inkTop = y;
        ASSERT_GE(inkTop, 0) << "the title is drawn beside the icon";
        int inkLeft = client.right;
        int inkRight = -1;
        for (int y = inkTop; y < inkTop + 12; ++y)
            for (int x = iconRight + 4; x < client.right; ++x)
                if (IsInk(ScreenColor(shot, origin.x + x, origin.y + y))) {
                    inkLeft = std::min(inkLeft, x);
                    inkRight = std::max(inkRight, x);
                }
        const int ink = inkRight - inkLeft + 1;
        const int bold = RenderedWidth(QStringLiteral("<b>Taluvo v.1.1</b>"));
        const int normal = RenderedWidth(QStringLiteral("Taluvo v.1.1"));
        ASSERT_GT(bold, normal);
        EXPECT_LT(std::abs(ink - bold), std::abs(ink - normal))
            << "title ink " << ink << " px; bold " << bold << ", normal " << normal;
        EXPECT_GT(inkLeft, iconRight) << "the title stands right of the icon";

        // The picture button: grey at rest, in colour under the pointer with the hand.
        const HCURSOR hand = LoadCursor(nullptr, IDC_HAND);
        const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
        EXPECT_LT(BluePixels(shot, html, *link), 20) << "at rest the picture is grey";
        const POINT onLink { (link->left + link->right) / 2, (link->top + link->bottom) / 2 };
        ASSERT_TRUE(MoveTo(ToScreen(html, onLink)));
        EXPECT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(html) == hand; }, 5000))
            << "the hand over the picture";
        EXPECT_TRUE(WaitForScreen([&](const QImage& screen) { return BluePixels(screen, html, *link) > 300; }))
            << "the picture lights up";
        const QImage lit = Screenshot();
        SaveArtefact(lit.copy(QRect(origin.x - 40, origin.y - 60, client.right + 80, client.bottom + 100)),
            "about-box-hover.png");
        // The word on the lit picture is drawn smooth: besides the white of its letters, the pixels
        // round them hold shades between the white and the blue face (lighter than the face, still
        // blue: no grey of the box's background).
        int letters = 0;
        QRect word;
        for (int y = link->top; y < link->bottom; ++y)
            for (int x = link->left; x < link->right; ++x) {
                const COLORREF c = ScreenColor(lit, origin.x + x, origin.y + y);
                if ((c & 0xFF) > 240 && ((c >> 8) & 0xFF) > 240 && ((c >> 16) & 0xFF) > 240) {
                    ++letters;
                    word |= QRect(x, y, 1, 1);
                }
            }
        int shades = 0;
        for (int y = word.top() - 1; y <= word.bottom() + 1; ++y)
            for (int x = word.left() - 1; x <= word.right() + 1; ++x) {
                const COLORREF c = ScreenColor(lit, origin.x + x, origin.y + y);
                const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
                shades += r >= 140 && r <= 235 && g - r >= 12 && b - g >= 12;
            }
        std::printf("CLOSE: %d white pixels, %d shades at their edges\n", letters, shades);
        const POINT corner = ToScreen(html, POINT { link->left, link->top });
        SaveArtefact(lit.copy(QRect(corner.x, corner.y, link->right - link->left, link->bottom - link->top))
                         .scaled((link->right - link->left) * 6, (link->bottom - link->top) * 6),
            "about-close-picture-x6.png");
        EXPECT_GT(letters, 60) << "the white letters of CLOSE";
        EXPECT_GT(shades, 30) << "the letters' edges blend into the face";

        // Off the picture inside the control: the arrow and the grey picture again.
        const POINT besideLink { link->left - 20, onLink.y };
        ASSERT_TRUE(MoveTo(ToScreen(html, besideLink)));
        EXPECT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(html) == arrow; }, 5000));
        EXPECT_TRUE(WaitForScreen([&](const QImage& screen) { return BluePixels(screen, html, *link) < 20; }));

        // Onto the picture again, then straight out of the box: leaving returns the grey look.
        ASSERT_TRUE(MoveTo(ToScreen(html, onLink)));
        ASSERT_TRUE(WaitForScreen([&](const QImage& screen) { return BluePixels(screen, html, *link) > 300; }));
        ASSERT_TRUE(MoveTo(POINT { 5, 5 }));
        EXPECT_TRUE(WaitForScreen([&](const QImage& screen) { return BluePixels(screen, html, *link) < 20; }))
            << "leaving the box ends the hover";

        // A click below the text and one beside the picture do nothing; one on the picture closes.
        ASSERT_LT(text.bottom, client.bottom);
        ASSERT_TRUE(ClickAtScreen(ToScreen(html, POINT { onLink.x, (text.bottom + client.bottom) / 2 })));
        ASSERT_TRUE(ClickAtScreen(ToScreen(html, besideLink)));
        PumpUntil([] { return false; }, 300);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "clicks off the picture leave the box open";
        ASSERT_TRUE(ClickAtScreen(ToScreen(html, onLink)));
        EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(dialog); }, 5000)) << "the picture closes the box";
        reached = true;
    });
    EXPECT_TRUE(reached);
    EXPECT_EQ(result, IDCANCEL);
}

// The credits stand in the middle of the box: the room above the icon and the title is the room
// below the picture button, as the screen shows them.
TEST_F(AboutOnScreen, CreditsAreCentredWithEqualMarginsAboveAndBelow)
{
    CAboutDlg dlg;
    bool reached = false;
    RunAboutBox(dlg, nullptr, [&](HWND dialog, HWND html) {
        ASSERT_TRUE(WaitOnScreen(dialog));
        RECT client;
        GetClientRect(html, &client);
        const POINT origin = ToScreen(html, POINT { 0, 0 });
        QImage shot;
        ASSERT_TRUE(WaitForScreen([&](const QImage& screen) {
            shot = screen;
            return BluePixels(screen, html, RECT { 0, 0, 90, client.bottom }) > 100;
        }));
        // Drawn content: ink, the blue icon and the grey picture are darker than every shade of the
        // background pattern. A few pixels at the edges belong to the control's frame.
        const auto content = [&](int x, int y) {
            const COLORREF c = ScreenColor(shot, origin.x + x, origin.y + y);
            return (c & 0xFF) < 0xA0 || ((c >> 8) & 0xFF) < 0xA0 || ((c >> 16) & 0xFF) < 0xA0;
        };
        const int edge = 3;
        int first = -1;
        int last = -1;
        for (int y = edge; y < client.bottom - edge; ++y) {
            for (int x = edge; x < client.right - edge; ++x) {
                if (content(x, y)) {
                    if (first < 0)
                        first = y;
                    last = y;
                    break;
                }
            }
        }
        ASSERT_GE(first, 0) << "nothing drawn";
        SaveArtefact(shot.copy(QRect(origin.x - 40, origin.y - 60, client.right + 80, client.bottom + 100)),
            "about-box-centred.png");
        const int above = first;
        const int below = client.bottom - 1 - last;
        EXPECT_GE(above, 6) << "the first line touches the top edge";
        EXPECT_GE(below, 6) << "the picture button touches the bottom edge";
        EXPECT_LE(std::abs(above - below), 4) << "margin above " << above << " px, below " << below << " px";
        std::printf("about box: %ld x %ld, content rows %d..%d, margins %d above, %d below\n", long(client.right),
            long(client.bottom), first, last, above, below);
        reached = true;
    });
    EXPECT_TRUE(reached);
}

} // namespace
