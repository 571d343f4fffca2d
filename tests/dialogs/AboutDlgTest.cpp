// The about box on the offscreen platform: the picture button closes it, clicks elsewhere do not,
// the keyboard and the close box close it, and only a link with a text ends it.
#include "tests/dialogs/AboutTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/Gdi.h"

#include <gtest/gtest.h>

using namespace taluvo::test;
using taluvo::ui::test::ClickAt;

namespace {

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureUiApplication();
        taluvo::res::RegisterResources();
    }
};

int Red(COLORREF colour)
{
    return static_cast<int>(colour & 0xFF);
}

POINT Centre(const RECT& rect)
{
    return POINT { (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2 };
}

TEST_F(AboutBox, ThePictureButtonClosesTheBoxAndClicksBesideItDoNot)
{
    CAboutDlg dlg;
    std::vector<std::string> steps;
    const INT_PTR result = RunAboutBox(dlg, nullptr, [&](HWND dialog, HWND html) {
        ASSERT_EQ(html, dlg.m_htmlStatic.m_hWnd) << "the control is taken over";
        RECT client;
        GetClientRect(html, &client);
        const RECT text = dlg.m_htmlStatic.m_rcHtml;
        ASSERT_GT(text.bottom, text.top) << "the first paint measured the text";
        ASSERT_LT(text.bottom, client.bottom) << "the text leaves room below it on the control";
        const auto link = LinkArea(dlg.m_htmlStatic);
        ASSERT_TRUE(link);
        // The picture is 117 × 25; the renderer counts the edges as inside.
        EXPECT_NEAR(link->right - link->left, 117, 1);
        EXPECT_NEAR(link->bottom - link->top, 25, 1);
        EXPECT_LE(link->bottom, text.bottom);

        const POINT besideLink { link->left - 10, (link->top + link->bottom) / 2 };
        const POINT belowText { Centre(*link).x, (text.bottom + client.bottom) / 2 };
        const POINT onTitle { (text.left + text.right) / 2, text.top + 10 };
        for (const POINT point : { besideLink, belowText, onTitle }) {
            ClickAt(html, point.x, point.y);
            if (!IsWindowVisible(dialog)) {
                steps.push_back("closed by a click at " + std::to_string(point.x) + "," + std::to_string(point.y));
                return;
            }
        }
        steps.push_back("still open");
        const POINT onLink = Centre(*link);
        ClickAt(html, onLink.x, onLink.y);
        steps.push_back(IsWindowVisible(dialog) ? "open after the picture" : "closed by the picture");
    });
    EXPECT_EQ(steps, (std::vector<std::string> { "still open", "closed by the picture" }));
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(AboutBox, KeysAndTheCloseBoxCloseIt)
{
    struct Case {
        const char* how;
        std::function<void(HWND)> close;
        INT_PTR result;
    };
    const Case cases[] = {
        { "Escape", [](HWND dialog) { taluvo::ui::test::PressKey(dialog, VK_ESCAPE); }, IDCANCEL },
        { "Enter", [](HWND dialog) { taluvo::ui::test::PressKey(dialog, VK_RETURN); }, IDOK },
        { "close box", [](HWND dialog) { SendMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL },
    };
    for (const Case& c : cases) {
        CAboutDlg dlg;
        const INT_PTR result = RunAboutBox(dlg, nullptr, [&](HWND dialog, HWND) { c.close(dialog); });
        EXPECT_EQ(result, c.result) << c.how;
    }
}

TEST_F(AboutBox, OnlyALinkWithATextEndsTheBox)
{
    CAboutDlg dlg;
    std::vector<bool> openAfter;
    const INT_PTR result = RunAboutBox(dlg, nullptr, [&](HWND dialog, HWND) {
        for (const char16_t* text : { u"", u"anything" }) {
            SendMessage(dialog, WM_TOOLTIP_HYPERLINK, reinterpret_cast<WPARAM>(text), 0);
            openAfter.push_back(IsWindowVisible(dialog) != FALSE);
        }
    });
    EXPECT_EQ(openAfter, (std::vector<bool> { true, false }));
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(AboutBox, TheTextIsDrawnOverThePatternAndAResizeMakesANewPattern)
{
    CAboutDlg dlg;
    RunAboutBox(dlg, nullptr, [&](HWND, HWND html) {
        CHtmlStaticCtrl& control = dlg.m_htmlStatic;
        ASSERT_TRUE(control.m_hBackground);
        BITMAP before {};
        GetObject(control.m_hBackground, sizeof(before), &before);
        RECT client;
        GetClientRect(html, &client);
        EXPECT_EQ(before.bmWidth, client.right);
        EXPECT_EQ(before.bmHeight, client.bottom);

        // What the window shows: the pattern's colours at the far right, text darker than any of
        // them somewhere in the title line.
        HDC dc = GetDC(html);
        const COLORREF corner = GetPixel(dc, client.right - 2, client.bottom - 2);
        EXPECT_GE(Red(corner), 0xC0);
        int dark = 0;
        for (int y = control.m_rcHtml.top; y < control.m_rcHtml.top + 40; ++y)
            for (int x = 80; x < client.right; ++x)
                dark += Red(GetPixel(dc, x, y)) < 0x60;
        ReleaseDC(html, dc);
        EXPECT_GT(dark, 20) << "the title is drawn";

        SetWindowPos(html, nullptr, 0, 0, client.right - 40, client.bottom - 30, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(control.m_hBackground, nullptr) << "a resize drops the pattern";
        ReleaseDC(html, GetDC(html)); // shown again: painted at the new size
        ASSERT_TRUE(control.m_hBackground);
        BITMAP after {};
        GetObject(control.m_hBackground, sizeof(after), &after);
        EXPECT_EQ(after.bmWidth, client.right - 40);
        EXPECT_EQ(after.bmHeight, client.bottom - 30);
    });
}

} // namespace
