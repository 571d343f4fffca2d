// The frame's status bar around its menus on a real X server with a window manager: the pointer
// (xdotool) crosses the menu bar, opens a menu, shows an item's prompt and closes the menu in each
// way a user does; every time the bar shows "Ready" again, as its pixels say. Kept as screenshots.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "platform/ui/CommCtrl.h"
#include "platform/ui/Frame.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <functional>
#include <string>

using namespace taluvo::test::x11;

namespace {

class CMenuFrame : public CFrameWindowImpl<CMenuFrame> {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, IDR_MAINFRAME)
    CCommandBarCtrl m_cmdBar;

    BEGIN_MSG_MAP(CMenuFrame)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    CHAIN_MSG_MAP(CFrameWindowImpl<CMenuFrame>)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&)
    {
        m_cmdBar.Create(m_hWnd);
        m_cmdBar.AttachMenu(GetMenu());
        SetMenu(nullptr);
        CreateSimpleReBar(ATL_SIMPLE_REBAR_NOBORDER_STYLE);
        AddSimpleReBarBand(m_cmdBar);
        CreateSimpleStatusBar();
        UpdateLayout();
        return 0;
    }
};

bool MoveTo(QPoint screen)
{
    return RunXdotool({ "mousemove", std::to_string(screen.x()), std::to_string(screen.y()) }) == 0;
}

bool ClickAt(QPoint screen)
{
    return MoveTo(screen) && RunXdotool({ "click", "1" }) == 0;
}

QRect ScreenRect(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Dark pixels in the left part of the bar, where its text stands.
int Ink(const QImage& shot, const QRect& bar)
{
    int ink = 0;
    for (int y = bar.top(); y <= bar.bottom(); ++y)
        for (int x = bar.left(); x < bar.left() + 80; ++x)
            ink += GetRValue(ScreenColor(shot, x, y)) < 0x60;
    return ink;
}

TEST(StatusIdleOnScreen, ReadyShowsAgainWhenAMenuCloses)
{
    taluvo::test::EnsureUiApplication();
    taluvo::res::RegisterResources();
    ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
    ASSERT_TRUE(MoveTo(QPoint(5, 5)));
    CMenuFrame frame;
    ASSERT_TRUE(frame.CreateEx(nullptr, nullptr, WS_OVERLAPPEDWINDOW));
    frame.SetWindowPos(nullptr, 150, 120, 560, 360, SWP_NOZORDER);
    frame.ShowWindow(SW_SHOW);
    ASSERT_TRUE(WaitOnScreen(frame));
    CStatusBarCtrl status(frame.m_hWndStatusBar);
    const QRect bar = ScreenRect(frame.m_hWndStatusBar);
    auto* menuBar = Widget(frame.m_cmdBar)->findChild<QMenuBar*>();
    if (!menuBar)
        menuBar = qobject_cast<QMenuBar*>(Widget(frame.m_cmdBar));
    ASSERT_TRUE(menuBar);
    const auto title = [&](int index) {
        return menuBar->mapToGlobal(menuBar->actionGeometry(menuBar->actions().at(index)).center());
    };
    const auto menuOpen = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; };
    // Until the bar is painted its place on the screen may still be the root window's black, which
    // is all "ink": the word's ink is a small share of the bar's left part.
    const int barArea = 80 * bar.height();
    int readyInk = 0;
    ASSERT_TRUE(WaitForScreen([&](const QImage& screen) {
        readyInk = Ink(screen, bar);
        return readyInk > 20 && readyInk < barArea / 3;
    })) << "\"Ready\" at the start";

    struct Way {
        const char* name;
        std::function<void()> close;
    };
    const Way ways[] = {
        { "Escape",
            [] {
                RunXdotool({ "key", "Escape" });
            } },
        { "a click on the menu's title", [&] { ClickAt(title(1)); } },
        { "a click beside the menu", [&] { ClickAt(QPoint(bar.center().x(), bar.top() - 60)); } },
        // The frame carries out no command: choosing one only closes the menu.
        { "an item chosen",
            [&] {
                RunXdotool({ "click", "1" });
            } },
    };
    int shot = 0;
    for (const Way& way : ways) {
        // The pointer crosses the bar's titles first, as on its way to a menu.
        ASSERT_TRUE(MoveTo(title(0)));
        ASSERT_TRUE(MoveTo(title(2)));
        ASSERT_TRUE(ClickAt(title(1))) << way.name;
        ASSERT_TRUE(PumpUntil(menuOpen, 5000)) << "the menu opened for " << way.name;
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* first = nullptr;
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && !action->menu()) {
                first = action;
                break;
            }
        ASSERT_TRUE(first);
        ASSERT_TRUE(MoveTo(menu->mapToGlobal(menu->actionGeometry(first).center())));
        EXPECT_TRUE(PumpUntil([&] { return status.IsSimple() && !status.GetText(SB_SIMPLEID).isEmpty(); }, 5000))
            << "the item's prompt in the bar before " << way.name;
        if (shot++ == 0)
            SaveArtefact(Screenshot().copy(ScreenRect(frame).adjusted(-10, -30, 10, 10)), "menu-prompt.png");
        way.close();
        ASSERT_TRUE(PumpUntil([&] { return !menuOpen(); }, 5000)) << way.name << " closed the menu";
        // Where the pointer was left, on the title or in the window, it stays.
        QImage seen;
        EXPECT_TRUE(WaitForScreen(
            [&](const QImage& screen) {
                seen = screen;
                return !status.IsSimple() && Ink(screen, bar) >= readyInk - 2;
            },
            3000))
            << "\"Ready\" after " << way.name << ": simple " << status.IsSimple() << ", text \""
            << status.GetText(0).toStdString() << "\", ink " << Ink(seen, bar) << " of " << readyInk;
        EXPECT_EQ(status.GetText(0), QStringLiteral("Ready"));
        if (std::string(way.name) == "a click on the menu's title")
            SaveArtefact(seen.copy(ScreenRect(frame).adjusted(-10, -30, 10, 10)), "menu-closed-ready.png");
        ASSERT_TRUE(MoveTo(title(2)));
        EXPECT_FALSE(status.IsSimple()) << "the pointer over a title without a menu open";
    }
    frame.DestroyWindow();
}

} // namespace
