// The HTML tooltip on a real screen under a window manager: a pinned tip over a white window shows
// its body blended at its transparency and the drop shadow's grey, has no frame, stays above the
// active window and never takes the focus; its fades reach the screen step by step.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "Controls/HtmlToolTip.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cmath>

using namespace taluvo::test::x11;

namespace {

constexpr COLORREF kFill = RGB(250, 220, 40);
constexpr COLORREF kWhite = RGB(255, 255, 255);

class ToolTipOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
    }
};

class CScreenTip : public CHtmlToolTip {
public:
    using CHtmlToolTip::m_rcBody;
};

bool Near(COLORREF a, COLORREF b, int tolerance = 2)
{
    return std::abs(int(GetRValue(a)) - int(GetRValue(b))) <= tolerance
        && std::abs(int(GetGValue(a)) - int(GetGValue(b))) <= tolerance
        && std::abs(int(GetBValue(a)) - int(GetBValue(b))) <= tolerance;
}

COLORREF Blend(COLORREF top, COLORREF under, int percent)
{
    auto channel = [&](int a, int b) { return (a * percent + b * (100 - percent)) / 100; };
    return RGB(channel(GetRValue(top), GetRValue(under)), channel(GetGValue(top), GetGValue(under)),
        channel(GetBValue(top), GetBValue(under)));
}

QString XProp(HWND hwnd, const char* property)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(Widget(hwnd)->window()->winId()), QString::fromLatin1(property) });
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

QString RootProp(const char* property)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), { QStringLiteral("-root"), QString::fromLatin1(property) });
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

TEST_F(ToolTipOnScreen, APinnedTipBlendsWithTheWindowBelowStaysOnTopAndTakesNoFocus)
{
    CColourWindow below(kWhite);
    ASSERT_TRUE(below.Open(150, 120, 500, 360, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(below));
    below.SetForegroundWindow();
    ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == below.m_hWnd; }, 5000));
    ASSERT_TRUE(WaitForScreen([](const QImage& shot) { return ScreenColor(shot, 400, 300) == kWhite; }));

    CScreenTip tip;
    ASSERT_TRUE(tip.Create(below, TRUE));
    tip.SetBackgroundEffect(-1, 0);
    tip.SetBackgroundColors(kFill);
    tip.SetBorder(RGB(255, 156, 0), 1, 1);
    tip.SetShadow(6, 6, 25, FALSE, 0, 0);
    tip.SetTransparency(20);
    const POINT point { 420, 330 };
    tip.ShowTooltipAt(point, QStringLiteral("<b>Updated web page</b><br>a tip over a white window"));
    ASSERT_TRUE(WaitOnScreen(tip));

    RECT where {};
    GetWindowRect(tip, &where);
    const RECT body = tip.m_rcBody;
    // The shadow lies under the body too (it is cast before the body is blended): left of the
    // shadow's offset the body is over white, further in over the shadow's grey.
    const POINT inBody { where.left + body.left + 3, where.top + (body.top + body.bottom) / 2 };
    const POINT overShadow { where.left + body.left + 9, inBody.y };
    const POINT inShadow { where.left + body.right + 3, where.top + (body.top + body.bottom) / 2 };
    const COLORREF blended = Blend(kFill, kWhite, 80);
    ASSERT_TRUE(WaitForScreen([&](const QImage& shot) { return Near(ScreenColor(shot, inBody.x, inBody.y), blended); }))
        << "the body at transparency 20 over white: " << std::hex << ScreenColor(Screenshot(), inBody.x, inBody.y)
        << " at " << std::dec << inBody.x << "," << inBody.y << " wanted " << std::hex << blended;
    const QImage shot = Screenshot();
    SaveArtefact(shot, "tooltip-over-white.png");
    EXPECT_TRUE(Near(ScreenColor(shot, overShadow.x, overShadow.y), Blend(kFill, RGB(203, 203, 203), 80)))
        << std::hex << ScreenColor(shot, overShadow.x, overShadow.y);
    EXPECT_TRUE(Near(ScreenColor(shot, inShadow.x, inShadow.y), RGB(203, 203, 203)))
        << std::hex << ScreenColor(shot, inShadow.x, inShadow.y) << ": shadow of darkness 25 at transparency 20";
    EXPECT_EQ(ScreenColor(shot, where.left, where.top), kWhite) << "the rounded corner is cut away";
    EXPECT_EQ(ScreenColor(shot, where.left - 2, where.top + 30), kWhite) << "no frame beside the tip";

    EXPECT_EQ(GetActiveWindow(), below.m_hWnd) << "showing the tip left the focus where it was";
    EXPECT_FALSE(RootProp("_NET_CLIENT_LIST").contains(QString::number(Widget(tip)->window()->winId(), 16)))
        << "no task-bar entry";
    EXPECT_TRUE(XProp(tip, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_ABOVE")))
        << qPrintable(XProp(tip, "_NET_WM_STATE"));

    // Another window activated over the tip does not cover it.
    CColourWindow other(RGB(40, 160, 90));
    ASSERT_TRUE(other.Open(380, 280, 300, 200, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(other));
    other.SetForegroundWindow();
    ASSERT_TRUE(WaitForScreen([&](const QImage& s) { return ScreenColor(s, 600, 450) == RGB(40, 160, 90); }));
    EXPECT_TRUE(Near(ScreenColor(Screenshot(), inBody.x, inBody.y), blended)) << "the tip stays on top";
}

TEST_F(ToolTipOnScreen, AFadeInReachesTheScreenStepByStep)
{
    CColourWindow below(kWhite);
    ASSERT_TRUE(below.Open(150, 120, 500, 360, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(below));
    ASSERT_TRUE(WaitForScreen([](const QImage& shot) { return ScreenColor(shot, 400, 300) == kWhite; }));

    CScreenTip tip;
    ASSERT_TRUE(tip.Create(below, TRUE));
    tip.SetBackgroundEffect(-1, 0);
    tip.SetBackgroundColors(kFill);
    tip.SetShadow(0, 0);
    // Slow steps, so each one can be seen on the screen before the next.
    tip.SetDelayTime(CHtmlToolTip::DELAY_FADEIN, 400);
    tip.SetDelayTime(CHtmlToolTip::DELAY_FADEOUT, 400);
    tip.ShowTooltipAt(POINT { 420, 330 }, QStringLiteral("fading in"));
    ASSERT_TRUE(WaitOnScreen(tip));
    RECT where {};
    GetWindowRect(tip, &where);
    const RECT body = tip.m_rcBody;
    const POINT inBody { where.left + body.left + 6, where.top + (body.top + body.bottom) / 2 };

    // Each level of the fade shows as its blend of the fill over white, from faint to opaque.
    std::vector<int> seen;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const COLORREF now = ScreenColor(Screenshot(), inBody.x, inBody.y);
            for (int opacity : { 0, 20, 40, 60, 80, 100 })
                if (Near(now, Blend(kFill, kWhite, opacity), 3) && (seen.empty() || seen.back() != opacity))
                    seen.push_back(opacity);
            return tip.GetState() == CHtmlToolTip::STATE_SHOWN && !seen.empty() && seen.back() == 100;
        },
        10000));
    EXPECT_GE(seen.size(), 3u) << "intermediate levels reached the screen";
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]) << "the fade-in only grows more opaque";

    tip.HideTooltip();
    ASSERT_TRUE(PumpUntil([&] { return tip.GetState() == CHtmlToolTip::STATE_HIDDEN; }, 10000));
    EXPECT_FALSE(tip.IsWindowVisible());
}

} // namespace
