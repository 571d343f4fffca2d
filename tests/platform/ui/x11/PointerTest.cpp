// The pointer on a real X server, moved with xdotool: the hand over a link of the HTML renderer
// (asked through WM_SETCURSOR), WM_MOUSELEAVE after TrackMouseEvent, the cursor position and the
// windows under it, and WM_ACTIVATEAPP when another program takes the active window.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "Controls/HtmlRenderer.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <string>
#include <vector>

using namespace taluvo::test::x11;

namespace {

class CLinkWindow : public CWindowImpl<CLinkWindow> {
public:
    ~CLinkWindow() override
    {
        if (IsWindow())
            DestroyWindow();
    }
    BEGIN_MSG_MAP(CLinkWindow)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
    MESSAGE_HANDLER(WM_ACTIVATEAPP, OnActivateApp)
    END_MSG_MAP()

    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&)
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        SIZE size;
        m_renderer.MeasureHtml(dc, QStringLiteral("<a href=\"http://example.test/\">a link to follow</a>"), &size);
        RECT all { 0, 0, size.cx, size.cy };
        m_renderer.RenderHtml(dc, &all);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    LRESULT OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled)
    {
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(&point);
        handled = m_renderer.OnSetCursor(point);
        return TRUE;
    }
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled)
    {
        TRACKMOUSEEVENT track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = m_hWnd;
        TrackMouseEvent(&track);
        handled = FALSE;
        return 0;
    }
    LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++m_leaves;
        return 0;
    }
    LRESULT OnActivateApp(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        m_activations.push_back(wParam != 0);
        return 0;
    }

    CHtmlRenderer m_renderer;
    int m_leaves = 0;
    std::vector<bool> m_activations;
};

bool MoveTo(int x, int y)
{
    return RunXdotool({ "mousemove", std::to_string(x), std::to_string(y) }) == 0;
}

class UiPointer : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
        RECT rect { 150, 150, 550, 350 };
        ASSERT_TRUE(window.Create(nullptr, &rect, QStringLiteral("Links"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
        ASSERT_TRUE(WaitOnScreen(window));
        origin = POINT { 0, 0 };
        ClientToScreen(window, &origin);
    }
    CLinkWindow window;
    POINT origin {};
};

TEST_F(UiPointer, LinkShowsTheHandAndLeavingIsReported)
{
    const HCURSOR hand = LoadCursor(nullptr, IDC_HAND);
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    ASSERT_TRUE(hand && arrow && hand != arrow);

    ASSERT_TRUE(MoveTo(origin.x + 200, origin.y + 120));
    ASSERT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(window) == arrow; }, 5000))
        << "away from the link the window shows the arrow";
    ASSERT_TRUE(MoveTo(origin.x + 8, origin.y + 6));
    EXPECT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(window) == hand; }, 5000))
        << "over the link the window shows the hand";
    POINT cursor {};
    EXPECT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, origin.x + 8);
    EXPECT_EQ(cursor.y, origin.y + 6);
    EXPECT_EQ(WindowFromPoint(cursor), window.m_hWnd);
    EXPECT_EQ(GetCursor(), hand);

    ASSERT_TRUE(MoveTo(origin.x + 200, origin.y + 120));
    EXPECT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(window) == arrow; }, 5000));
    EXPECT_EQ(window.m_leaves, 0);

    ASSERT_TRUE(MoveTo(20, 700)); // off the window, onto the desktop
    EXPECT_TRUE(PumpUntil([&] { return window.m_leaves > 0; }, 5000));
    EXPECT_EQ(WindowFromPoint(POINT { 20, 700 }), nullptr);
    PumpUntil([] { return false; }, 200); // nothing more arrives
    EXPECT_EQ(window.m_leaves, 1) << "one WM_MOUSELEAVE per request";
}

TEST_F(UiPointer, ChildWindowsAreFoundUnderTheirPoints)
{
    HWND child = CreateWindowEx(
        0, u"Static", u"child", WS_CHILD | WS_VISIBLE, 100, 50, 80, 30, window, nullptr, nullptr, nullptr);
    HWND hidden = CreateWindowEx(0, u"Static", u"hidden", WS_CHILD, 250, 50, 80, 30, window, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child && hidden);
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { 110, 60 }), child);
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { 260, 60 }), hidden) << "hidden children count";
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { 10, 150 }), window.m_hWnd);
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { -5, 10 }), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return WindowFromPoint(POINT { origin.x + 110, origin.y + 60 }) == child; }, 5000));
    EXPECT_EQ(WindowFromPoint(POINT { origin.x + 260, origin.y + 60 }), window.m_hWnd) << "hidden ones do not";
}

TEST_F(UiPointer, AnotherProgramTakingTheActiveWindowIsReported)
{
    QProcess other;
    other.start(QStringLiteral("xmessage"),
        { QStringLiteral("-geometry"), QStringLiteral("+600+500"), QStringLiteral("another program") });
    ASSERT_TRUE(other.waitForStarted(5000)) << "xmessage (x11-utils) is needed";
    ASSERT_TRUE(PumpUntil(
        [] {
            return RunXdotool({ "search", "--sync", "--limit", "1", "--name", "xmessage", "windowactivate" }) == 0;
        },
        5000));
    EXPECT_TRUE(PumpUntil([&] { return !window.m_activations.empty() && !window.m_activations.back(); }, 5000))
        << "losing the active window to another program is reported";
    window.SetForegroundWindow();
    EXPECT_TRUE(PumpUntil([&] { return !window.m_activations.empty() && window.m_activations.back(); }, 5000))
        << "getting it back is reported";
    other.kill();
    other.waitForFinished(5000);
}

} // namespace
