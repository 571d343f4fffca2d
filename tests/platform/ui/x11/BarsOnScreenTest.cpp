// The status bar and the slider controls on a real X server with a window manager (openbox), kept as
// screenshots: the status bar's panes stand in its one line at the bottom of the window, nothing of
// the window lies under it; a trackbar and a scroll bar with the focus show the focus mark around
// them.
//
// Openbox draws a strip with a grip at each end under every resizable window (its resize handle,
// a few pixels of its frame): under a status bar it can pass for a row of squashed panes. It lies
// outside the window, and openbox's hints drop it only together with the title bar.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "platform/ui/CommCtrl.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/Trackbar.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>

#include <array>
#include <string>

using namespace taluvo::test::x11;

namespace {

// The frame the window manager puts around the window (left, right, top, bottom); all -1 when it
// announces none.
std::array<int, 4> FrameExtents(HWND hwnd)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(Widget(hwnd)->window()->winId()),
            QStringLiteral("_NET_FRAME_EXTENTS") });
    std::array<int, 4> extents { -1, -1, -1, -1 };
    if (!xprop.waitForFinished(5000))
        return extents;
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)"))
                                          .match(QString::fromLatin1(xprop.readAllStandardOutput()));
    if (m.hasMatch())
        for (int i = 0; i < 4; ++i)
            extents[static_cast<size_t>(i)] = m.captured(i + 1).toInt();
    return extents;
}

QRect ScreenRect(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

class BarsOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
    }
};

TEST_F(BarsOnScreen, StatusBarPanesStandInItsOneLineAtTheWindowsBottom)
{
    CColourWindow window(RGB(255, 255, 255));
    ASSERT_TRUE(window.Open(200, 150, 640, 450));
    HWND bar = CreateWindowEx(0, STATUSCLASSNAME, u"Ready", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 100, 20,
        window, reinterpret_cast<HMENU>(static_cast<uintptr_t>(59393)), nullptr, nullptr);
    ASSERT_TRUE(bar);
    SendMessage(bar, WM_SIZE, 0, 0);
    window.ShowWindow(SW_SHOW);
    ASSERT_TRUE(WaitOnScreen(window));

    // The bar spans the client area's bottom; every piece of it (the text's pane, the grip) stands
    // inside it, the pane over the bar's whole height less its margins.
    RECT client;
    window.GetClientRect(&client);
    const QRect barRect = ScreenRect(bar);
    POINT bottomRight { client.right, client.bottom };
    ClientToScreen(window, &bottomRight);
    EXPECT_EQ(barRect.right() + 1, bottomRight.x);
    EXPECT_EQ(barRect.bottom() + 1, bottomRight.y);
    EXPECT_EQ(barRect.width(), client.right);
    QWidget* barWidget = Widget(bar);
    const QFontMetrics metrics(barWidget->font());
    EXPECT_GE(barRect.height(), metrics.height());
    int panes = 0;
    for (QWidget* piece : barWidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!piece->isVisible())
            continue;
        const QRect r = piece->geometry();
        EXPECT_TRUE(barWidget->rect().contains(r)) << piece->metaObject()->className() << " at " << r.y() << "+"
                                                   << r.height() << " in a bar " << barRect.height() << " high";
        if (qobject_cast<QLabel*>(piece)) {
            ++panes;
            EXPECT_GE(r.height(), metrics.height()) << "the pane holds a whole line";
            EXPECT_GE(r.height(), barRect.height() - 8) << "the pane fills the bar's line";
        }
    }
    EXPECT_EQ(panes, 1);

    // On the screen: the bar's face from its top to the window's last row, the pane's text in it.
    std::array<int, 4> extents;
    ASSERT_TRUE(PumpUntil(
        [&] {
            extents = FrameExtents(window);
            return extents[3] >= 0;
        },
        5000));
    QImage shot;
    ASSERT_TRUE(WaitForScreen([&](const QImage& screen) {
        shot = screen;
        return ScreenColor(screen, barRect.left() + 20, barRect.center().y()) != RGB(255, 255, 255);
    }));
    const COLORREF face = ScreenColor(shot, barRect.center().x(), barRect.bottom());
    EXPECT_NE(face, RGB(255, 255, 255));
    for (int y = barRect.top() + 1; y <= barRect.bottom(); ++y)
        EXPECT_EQ(ScreenColor(shot, barRect.center().x(), y), face) << "row " << y - barRect.top() << " of the bar";
    int ink = 0;
    for (int y = barRect.top(); y <= barRect.bottom(); ++y)
        for (int x = barRect.left(); x < barRect.left() + 60; ++x)
            ink += GetRValue(ScreenColor(shot, x, y)) < 0x60;
    EXPECT_GT(ink, 20) << "\"Ready\" drawn in the bar";
    const QRect framed = ScreenRect(window).adjusted(-extents[0], -extents[2], extents[1], extents[3]);
    SaveArtefact(shot.copy(framed.adjusted(-20, -20, 20, 20)), "status-bar-window.png");
    SaveArtefact(shot.copy(QRect(framed.left() - 10, barRect.top() - 20, framed.width() + 20, barRect.height() + 40))
                     .scaled(2 * (framed.width() + 20), 2 * (barRect.height() + 40)),
        "status-bar-bottom-2x.png");
}

// Pixels on the control's outermost ring in the colour of the focus outline.
int FocusRingPixels(const QImage& shot, HWND control)
{
    const QColor mark = Widget(control)->palette().color(QPalette::Highlight).darker(125);
    const QRect r = ScreenRect(control);
    const auto near = [&](int x, int y) {
        const COLORREF c = ScreenColor(shot, x, y);
        return std::abs(int(GetRValue(c)) - mark.red()) < 30 && std::abs(int(GetGValue(c)) - mark.green()) < 30
            && std::abs(int(GetBValue(c)) - mark.blue()) < 30;
    };
    int count = 0;
    for (int x = r.left(); x <= r.right(); ++x)
        count += near(x, r.top()) + near(x, r.bottom());
    for (int y = r.top() + 1; y < r.bottom(); ++y)
        count += near(r.left(), y) + near(r.right(), y);
    return count;
}

TEST_F(BarsOnScreen, TrackbarAndScrollBarShowTheFocusMark)
{
    CColourWindow window(GetSysColor(COLOR_BTNFACE));
    ASSERT_TRUE(window.Open(250, 200, 400, 160));
    HWND slider = CreateWindowEx(0, TRACKBAR_CLASS, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_AUTOTICKS, 20, 20,
        360, 36, window, reinterpret_cast<HMENU>(static_cast<uintptr_t>(1)), nullptr, nullptr);
    HWND scroll = CreateWindowEx(0, u"ScrollBar", nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP | SBS_HORZ, 20, 90, 360,
        18, window, reinterpret_cast<HMENU>(static_cast<uintptr_t>(2)), nullptr, nullptr);
    ASSERT_TRUE(slider && scroll);
    SendMessage(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, 10));
    SendMessage(slider, TBM_SETPOS, TRUE, 4);
    window.ShowWindow(SW_SHOW);
    ASSERT_TRUE(WaitOnScreen(window));
    ASSERT_TRUE(taluvo::ui::test::WaitForActiveWindow(window));
    const auto perimeter = [](HWND control) {
        const QRect r = ScreenRect(control);
        return 2 * (r.width() + r.height());
    };
    for (HWND focused : { slider, scroll }) {
        HWND other = focused == slider ? scroll : slider;
        SetFocus(focused);
        ASSERT_TRUE(PumpUntil([&] { return GetFocus() == focused; }, 5000));
        QImage shot;
        const bool marked = WaitForScreen([&](const QImage& screen) {
            shot = screen;
            return FocusRingPixels(screen, focused) > perimeter(focused) * 3 / 4
                && FocusRingPixels(screen, other) < perimeter(other) / 10;
        });
        SaveArtefact(shot.copy(ScreenRect(window).adjusted(-10, -10, 10, 10)),
            focused == slider ? "trackbar-focus.png" : "scrollbar-focus.png");
        EXPECT_TRUE(marked) << (focused == slider ? "trackbar" : "scroll bar") << ": " << FocusRingPixels(shot, focused)
                            << " of " << perimeter(focused) << " edge pixels";
    }
}

} // namespace
