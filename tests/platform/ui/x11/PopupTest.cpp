// Popup windows under a window manager: a frameless tool popup with a round region has no frame,
// shows the window below in its cut corners, stays on top, takes no activation and has no task-bar
// entry; a tip composed over what its paint context holds blends with the screen below it and
// casts the shadow grey its darkness and transparency give.
#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/PaintScene.h"
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "Controls/DrawManager.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cmath>

using namespace taluvo::test::x11;
using taluvo::test::paint::ShareOf;

namespace {

constexpr COLORREF kBelow = RGB(30, 60, 200);
constexpr COLORREF kPopup = RGB(250, 220, 40);
constexpr COLORREF kOther = RGB(40, 160, 90);

class UiPopup : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
    }
};

QString ClientList()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST") });
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

QString XId(HWND hwnd)
{
    return QStringLiteral("0x") + QString::number(Widget(hwnd)->window()->winId(), 16);
}

TEST_F(UiPopup, FramelessToolPopupStaysOnTopWithoutActivationOrTaskBarEntry)
{
    CColourWindow below(kBelow);
    ASSERT_TRUE(below.Open(200, 150, 400, 300, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(below));
    below.SetForegroundWindow();
    ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == below.m_hWnd; }, 5000));
    ASSERT_TRUE(WaitForScreen([](const QImage& shot) { return ScreenColor(shot, 300, 250) == kBelow; }));

    CColourWindow popup(kPopup);
    ASSERT_TRUE(popup.Open(0, 0, 10, 10, WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    EXPECT_EQ(SetWindowRgn(popup, CreateRoundRectRgn(0, 0, 121, 61, 24, 24), FALSE), 1);
    ASSERT_TRUE(SetWindowPos(popup, nullptr, 300, 250, 120, 60, SWP_SHOWWINDOW | SWP_NOACTIVATE));
    ASSERT_TRUE(WaitForScreen([](const QImage& shot) { return ScreenColor(shot, 360, 280) == kPopup; }));
    QImage shot = Screenshot();
    SaveArtefact(shot, "popup-region.png");

    EXPECT_EQ(ScreenColor(shot, 300, 250), kBelow) << "the cut corner shows the window below";
    EXPECT_EQ(ScreenColor(shot, 419, 309), kBelow);
    EXPECT_EQ(ScreenColor(shot, 301, 280), kPopup) << "the popup starts at its position: no frame";
    EXPECT_EQ(ScreenColor(shot, 360, 251), kPopup);
    EXPECT_EQ(ScreenColor(shot, 360, 248), kBelow) << "no title bar above it";
    EXPECT_EQ(ScreenColor(shot, 298, 280), kBelow);
    RECT where {};
    GetWindowRect(popup, &where);
    EXPECT_EQ(where.left, 300);
    EXPECT_EQ(where.top, 250);
    EXPECT_EQ(where.right, 420);
    EXPECT_EQ(where.bottom, 310);

    EXPECT_EQ(GetActiveWindow(), below.m_hWnd) << "showing the popup left the active window alone";
    const QString clients = ClientList();
    EXPECT_TRUE(clients.contains(XId(below))) << qPrintable(clients);
    EXPECT_FALSE(clients.contains(XId(popup))) << "no task-bar entry: " << qPrintable(clients);

    // Another window activated over it does not cover it.
    CColourWindow other(kOther);
    ASSERT_TRUE(other.Open(280, 230, 300, 200, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(other));
    other.SetForegroundWindow();
    ASSERT_TRUE(WaitForScreen([](const QImage& s) { return ScreenColor(s, 450, 400) == kOther; }));
    shot = Screenshot();
    SaveArtefact(shot, "popup-on-top.png");
    EXPECT_EQ(ScreenColor(shot, 360, 280), kPopup) << "the top-most popup stays above the active window";
}

// A tip as the tooltip composes it: the backdrop read from its paint context, a drop shadow whose
// grey comes from the darkness and the transparency, the body blended over the backdrop.
class CTip : public CWindowImpl<CTip> {
public:
    static constexpr int kWidth = 100, kHeight = 50, kShadow = 6;
    CTip(int darkness, int transparency)
        : m_darkness(darkness)
        , m_transparency(transparency)
    {
    }
    ~CTip() override
    {
        if (IsWindow())
            DestroyWindow();
    }
    BEGIN_MSG_MAP(CTip)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    END_MSG_MAP()

    static int ShadowGrey(int darkness, int transparency)
    {
        const int m = MulDiv(255, 100 - darkness, 100);
        return m + (255 - m) * transparency / 100;
    }

    void ShowAt(int x, int y)
    {
        RECT rect { 0, 0, 10, 10 };
        Create(nullptr, &rect, QString(), WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
        HRGN region = CreateRectRgn(0, 0, kWidth, kHeight);
        HRGN shadow = CreateRectRgn(kShadow, kShadow, kWidth + kShadow, kHeight + kShadow);
        CombineRgn(region, region, shadow, RGN_OR);
        DeleteObject(shadow);
        SetWindowRgn(m_hWnd, region, FALSE);
        SetWindowPos(nullptr, x, y, kWidth + kShadow, kHeight + kShadow, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    }

    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&)
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        const int w = kWidth + kShadow, h = kHeight + kShadow;
        const taluvo::test::Canvas composed(w, h);
        HDC result = composed.dc;
        BitBlt(result, 0, 0, w, h, dc, 0, 0, SRCCOPY); // the backdrop

        const taluvo::test::Canvas tipPicture(w, h);
        HDC picture = tipPicture.dc;
        RECT body { 0, 0, kWidth, kHeight };
        HBRUSH tip = CreateSolidBrush(kPopup);
        FillRect(picture, &body, tip);
        DeleteObject(tip);

        HRGN region = CreateRectRgn(0, 0, kWidth, kHeight);
        const int grey = ShadowGrey(m_darkness, m_transparency);
        HDC maskDc = CreateCompatibleDC(dc);
        HBITMAP mask = CreateCompatibleBitmap(dc, kWidth, kHeight);
        HGDIOBJ oldMask = SelectObject(maskDc, mask);
        HBRUSH greyBrush = CreateSolidBrush(RGB(grey, grey, grey));
        FillRgn(maskDc, region, greyBrush);
        DeleteObject(greyBrush);
        SelectObject(maskDc, oldMask);
        DeleteDC(maskDc);
        m_draw.DrawShadow(result, kShadow, kShadow, kWidth, kHeight, mask, FALSE, 0, 0);
        DeleteObject(mask);

        SelectClipRgn(result, region);
        m_draw.BlendRect(result, 0, 0, kWidth, kHeight, picture, 0, 0, 100 - m_transparency);
        SelectClipRgn(result, nullptr);
        DeleteObject(region);
        BitBlt(dc, 0, 0, w, h, result, 0, 0, SRCCOPY);
        EndPaint(m_hWnd, &ps);
        return 0;
    }

    CDrawManager m_draw;
    int m_darkness;
    int m_transparency;
};

COLORREF Blend(COLORREF top, COLORREF under, int percent)
{
    const double p = percent / 100.0;
    auto channel = [&](int a, int b) { return int(a * p + b * (1 - p)); };
    return RGB(channel(GetRValue(top), GetRValue(under)), channel(GetGValue(top), GetGValue(under)),
        channel(GetBValue(top), GetBValue(under)));
}

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(int(GetRValue(a)) - int(GetRValue(b))) <= 1 && std::abs(int(GetGValue(a)) - int(GetGValue(b))) <= 1
        && std::abs(int(GetBValue(a)) - int(GetBValue(b))) <= 1;
}

void CheckTipsOverTheScreen(const char* artefact)
{
    constexpr COLORREF kWhite = RGB(255, 255, 255);
    CColourWindow below(kWhite);
    ASSERT_TRUE(below.Open(200, 150, 400, 300, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(below));
    ASSERT_TRUE(WaitForScreen([](const QImage& s) { return ScreenColor(s, 300, 250) == kWhite; }));
    struct Case {
        int darkness;
        int transparency;
        int grey; // the worked figures
    };
    for (const Case c : { Case { 25, 0, 191 }, Case { 25, 20, 203 }, Case { 50, 0, 128 }, Case { 25, 40, 0 } }) {
        SCOPED_TRACE(testing::Message() << "darkness " << c.darkness << ", transparency " << c.transparency);
        const int grey = CTip::ShadowGrey(c.darkness, c.transparency);
        if (c.grey) {
            EXPECT_EQ(grey, c.grey);
        }
        CTip tip(c.darkness, c.transparency);
        tip.ShowAt(300, 250);
        // The body blends with the white below it, and where its own shadow lies under it, with the
        // shadow's grey.
        const COLORREF body = Blend(kPopup, kWhite, 100 - c.transparency);
        const COLORREF overShadow = Blend(kPopup, RGB(grey, grey, grey), 100 - c.transparency);
        ASSERT_TRUE(WaitForScreen([&](const QImage& s) { return Near(ScreenColor(s, 350, 275), overShadow); }))
            << "body " << std::hex << ScreenColor(Screenshot(), 350, 275) << " expected " << overShadow;
        const QImage shot = Screenshot();
        EXPECT_TRUE(Near(ScreenColor(shot, 302, 252), body)) << std::hex << ScreenColor(shot, 302, 252);
        if (c.transparency == 20)
            SaveArtefact(shot, artefact);
        // Right of the body and below it, inside the shadow: the white below darkened to the grey.
        EXPECT_TRUE(Near(ScreenColor(shot, 300 + CTip::kWidth + 2, 250 + 30), RGB(grey, grey, grey)))
            << std::hex << ScreenColor(shot, 300 + CTip::kWidth + 2, 250 + 30);
        EXPECT_TRUE(Near(ScreenColor(shot, 300 + 50, 250 + CTip::kHeight + 3), RGB(grey, grey, grey)));
        // The shadow region's own corner is outside the tip's window region: the screen shows through.
        EXPECT_EQ(ScreenColor(shot, 300 + 2, 250 + CTip::kHeight + 3), kWhite);
        tip.DestroyWindow();
        ASSERT_TRUE(WaitForScreen([](const QImage& s) { return ScreenColor(s, 350, 275) == kWhite; }));
    }
}

TEST_F(UiPopup, TipBlendsWithTheScreenBelowAndCastsItsShadow)
{
    CheckTipsOverTheScreen("tip-blend.png");
}

// The same under a compositing manager (its own session; skipped where xcompmgr is missing).
TEST_F(UiPopup, TipBlendsWithTheScreenBelowUnderACompositor)
{
    if (qEnvironmentVariableIsEmpty("TALUVO_X11_COMPOSITOR"))
        GTEST_SKIP() << "no compositing manager in this session";
    CheckTipsOverTheScreen("tip-blend-composited.png");
}

} // namespace
