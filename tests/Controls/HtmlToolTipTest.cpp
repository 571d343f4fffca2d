// The tooltip window on the offscreen platform: a pinned tip, the fade steps, the composed pixels
// (body blended over the backdrop, the shadow's grey), the notice before display, links that stay
// one area per line however often the tip is redrawn, the show cycle driven by relayed mouse
// moves, and the window description.
#include "Controls/HtmlToolTip.h"

#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/TrayTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/Menu.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <tuple>
#include <vector>

using taluvo::test::tray::PumpUntil;

namespace {

constexpr COLORREF kFill = RGB(250, 220, 40);
constexpr COLORREF kWhite = RGB(255, 255, 255);

class CProbeTip : public CHtmlToolTip {
public:
    using CHtmlToolTip::DisplayTooltip;
    using CHtmlToolTip::m_hBackdrop;
    using CHtmlToolTip::m_nDefTransparency;
    using CHtmlToolTip::m_nShadowDarkness;
    using CHtmlToolTip::m_nTransparency;
    using CHtmlToolTip::m_ptAnchor;
    using CHtmlToolTip::m_rcBody;
    using CHtmlToolTip::m_rcText;
    using CHtmlToolTip::m_rcWindow;
    using CHtmlToolTip::OnRedrawTooltip;
    using CHtmlToolTip::OnTimerFadeIn;
    using CHtmlToolTip::OnTimerFadeOut;
    using CHtmlToolTip::OnTimerHide;

    void DrawBorder(HDC dc, HRGN region) override
    {
        ++m_borders;
        CHtmlToolTip::DrawBorder(dc, region);
    }
    int m_borders = 0;
};

// A plain owner window that records the notices and links it hears.
class COwner : public CWindowImpl<COwner> {
public:
    ~COwner() override
    {
        if (IsWindow())
            DestroyWindow();
    }
    BEGIN_MSG_MAP(COwner)
    MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    MESSAGE_HANDLER(WM_TOOLTIP_HYPERLINK, OnLink)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    END_MSG_MAP()

    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        auto* notice = reinterpret_cast<NMHTMLTTDISPLAY*>(lParam);
        if (notice->hdr.code != HTMLTTN_DISPLAY)
            return 0;
        ++m_notices;
        if (m_replaceText)
            notice->ti->strHtml = *m_replaceText;
        if (m_movePoint)
            *notice->pt = *m_movePoint;
        return 0;
    }
    LRESULT OnLink(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        m_links.push_back(QString::fromUtf16(reinterpret_cast<const char16_t*>(wParam)));
        return 0;
    }
    LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&)
    {
        KillTimer(1);
        m_ticked = true;
        return 0;
    }
    // Serves the thread until a timer of the given period has passed: later timers of the tip
    // with a shorter period have had their turn.
    bool Wait(UINT milliseconds)
    {
        m_ticked = false;
        SetTimer(1, milliseconds);
        return PumpUntil([this] { return m_ticked; }, 10000);
    }

    int m_notices = 0;
    std::optional<QString> m_replaceText;
    std::optional<POINT> m_movePoint;
    std::vector<QString> m_links;
    bool m_ticked = false;
};

class HtmlToolTip : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT rect { 100, 100, 500, 400 };
        ASSERT_TRUE(m_owner.Create(nullptr, &rect, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
        ASSERT_TRUE(m_tip.Create(m_owner, TRUE));
        m_tip.SetBackgroundEffect(-1, 0);
        m_tip.SetBackgroundColors(kFill);
        m_tip.SetShadow(6, 6, 25, FALSE, 0, 0);
    }

    COwner m_owner;
    CProbeTip m_tip;
};

RECT WindowRect(HWND hwnd)
{
    RECT rect {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

TEST_F(HtmlToolTip, ShownAtAPointItStaysPinnedUntilAClickOrAKey)
{
    m_tip.SetDelayTime(CHtmlToolTip::DELAY_AUTOPOP, 1);
    const POINT point { 400, 300 };
    m_tip.ShowTooltipAt(point, QStringLiteral("<b>Updated</b> page"));
    ASSERT_TRUE(m_tip.IsWindowVisible());
    EXPECT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_SHOWN);
    // Direction 16: the anchor at the bottom, 16 pixels from the left end, its tip on the point.
    const RECT where = WindowRect(m_tip);
    EXPECT_EQ(where.left, point.x - 16);
    EXPECT_EQ(where.bottom, point.y + 6) << "the shadow adds 6 below the anchor's tip";
    EXPECT_EQ(m_tip.m_ptAnchor.x, 16);

    ASSERT_TRUE(m_owner.Wait(60));
    EXPECT_TRUE(m_tip.IsWindowVisible()) << "a pinned tip has no autopop";
    MSG move {};
    move.message = WM_MOUSEMOVE;
    move.pt = POINT { 10, 10 };
    m_tip.RelayEvent(&move);
    EXPECT_TRUE(m_tip.IsWindowVisible()) << "mouse moves are not its business";
    MSG up = move;
    up.message = WM_LBUTTONUP;
    m_tip.RelayEvent(&up);
    EXPECT_TRUE(m_tip.IsWindowVisible());
    MSG key = move;
    key.message = WM_KEYDOWN;
    m_tip.RelayEvent(&key);
    EXPECT_FALSE(m_tip.IsWindowVisible());
    EXPECT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_HIDDEN);
}

TEST_F(HtmlToolTip, FadesStepByTwentyToTheToolsTransparencyAndBack)
{
    struct Case {
        int transparency;
        std::vector<int> fadeIn; // after each fade-in step
        std::vector<int> fadeOut; // after each fade-out step, 100 hides
    };
    const Case cases[] = {
        { 0, { 80, 60, 40, 20, 0 }, { 20, 40, 60, 80, 100 } },
        { 20, { 80, 60, 40, 20 }, { 40, 60, 80, 100 } },
        { 50, { 80, 60, 50 }, { 70, 90, 100 } },
    };
    m_tip.SetDelayTime(CHtmlToolTip::DELAY_FADEIN, 100000);
    m_tip.SetDelayTime(CHtmlToolTip::DELAY_FADEOUT, 100000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transparency);
        m_tip.SetTransparency(c.transparency);
        m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("fading"));
        ASSERT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_FADING_IN);
        EXPECT_EQ(m_tip.GetCurrentTransparency(), 100) << "a fade-in starts invisible";
        std::vector<int> seen;
        while (m_tip.GetState() == CHtmlToolTip::STATE_FADING_IN && seen.size() < 10) {
            m_tip.OnTimerFadeIn();
            seen.push_back(m_tip.GetCurrentTransparency());
        }
        EXPECT_EQ(seen, c.fadeIn);
        EXPECT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_SHOWN);

        m_tip.HideTooltip();
        ASSERT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_FADING_OUT);
        seen.clear();
        while (m_tip.GetState() == CHtmlToolTip::STATE_FADING_OUT && seen.size() < 10) {
            m_tip.OnTimerFadeOut();
            seen.push_back(m_tip.GetCurrentTransparency());
        }
        EXPECT_EQ(seen, c.fadeOut);
        EXPECT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_HIDDEN);
        EXPECT_FALSE(m_tip.IsWindowVisible());
    }
}

TEST_F(HtmlToolTip, FadeTimersRunTheStepsOnTheirOwn)
{
    m_tip.SetDelayTime(CHtmlToolTip::DELAY_FADEIN, 5);
    m_tip.SetDelayTime(CHtmlToolTip::DELAY_FADEOUT, 5);
    m_tip.SetTransparency(20);
    m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("fading"));
    ASSERT_TRUE(PumpUntil([&] { return m_tip.GetState() == CHtmlToolTip::STATE_SHOWN; }, 10000));
    EXPECT_EQ(m_tip.GetCurrentTransparency(), 20);
    EXPECT_TRUE(m_tip.IsWindowVisible());
    m_tip.HideTooltip();
    ASSERT_TRUE(PumpUntil([&] { return m_tip.GetState() == CHtmlToolTip::STATE_HIDDEN; }, 10000));
    EXPECT_FALSE(m_tip.IsWindowVisible());
}

COLORREF Blend(COLORREF top, COLORREF under, int percent)
{
    auto channel = [&](int a, int b) { return (a * percent + b * (100 - percent)) / 100; };
    return RGB(channel(GetRValue(top), GetRValue(under)), channel(GetGValue(top), GetGValue(under)),
        channel(GetBValue(top), GetBValue(under)));
}

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(int(GetRValue(a)) - int(GetRValue(b))) <= 1 && std::abs(int(GetGValue(a)) - int(GetGValue(b))) <= 1
        && std::abs(int(GetBValue(a)) - int(GetBValue(b))) <= 1;
}

TEST_F(HtmlToolTip, RedrawBlendsTheBodyOverTheBackdropAndCastsTheShadowsGrey)
{
    struct Case {
        int darkness;
        int transparency;
        int shadowGrey;
    };
    const Case cases[] = { { 25, 0, 191 }, { 25, 20, 203 }, { 50, 0, 128 }, { 50, 100, 255 } };
    m_tip.SetBorder(RGB(0, 0, 0), 0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "darkness " << c.darkness << ", transparency " << c.transparency);
        m_tip.SetShadow(6, 6, c.darkness, FALSE, 0, 0);
        m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("<font color=yellow>x</font>"));
        const int width = m_tip.m_rcWindow.right;
        const int height = m_tip.m_rcWindow.bottom;

        // Over a white backdrop taken from the context this redraw is given.
        const taluvo::test::Canvas backdrop(width, height);
        HDC canvas = backdrop.dc;
        DeleteObject(m_tip.m_hBackdrop);
        m_tip.m_hBackdrop = nullptr;
        m_tip.OnRedrawTooltip(canvas, c.transparency);

        const RECT body = m_tip.m_rcBody;
        // Left of the shadow's offset: the body over the white backdrop alone.
        const COLORREF inBody = GetPixel(canvas, body.left + 3, (body.top + body.bottom) / 2);
        EXPECT_TRUE(Near(inBody, Blend(kFill, kWhite, 100 - c.transparency))) << std::hex << inBody;
        // Right of the body, inside its shadow: the backdrop darkened to the grey.
        const COLORREF inShadow = GetPixel(canvas, body.right + 3, (body.top + body.bottom) / 2);
        EXPECT_TRUE(Near(inShadow, RGB(c.shadowGrey, c.shadowGrey, c.shadowGrey))) << std::hex << inShadow;
        EXPECT_EQ(GetPixel(canvas, 1, 1), kWhite) << "the rounded corner leaves the backdrop";
        m_tip.Pop();
    }
}

// The pixels that differ from the fill inside a rectangle of a context, cut to their bounding box
// (row by row, colours only): where the drawing lies within the rectangle does not matter.
std::vector<std::vector<COLORREF>> Drawn(HDC dc, const RECT& area, COLORREF fill)
{
    int left = area.right, top = area.bottom, right = area.left - 1, bottom = area.top - 1;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (!Near(GetPixel(dc, x, y), fill)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    std::vector<std::vector<COLORREF>> rows;
    for (int y = top; y <= bottom; ++y) {
        rows.emplace_back();
        for (int x = left; x <= right; ++x)
            rows.back().push_back(GetPixel(dc, x, y));
    }
    return rows;
}

TEST_F(HtmlToolTip, ImageListImageShadowAndStyleSheetsAreTheRenderersOwn)
{
    // A strip of two 16 x 16 pictures, red then blue, given as a handle and as a bitmap resource.
    taluvo::test::Canvas strip(32, 16, RGB(200, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 200));
    const RECT second { 16, 0, 32, 16 };
    FillRect(strip.dc, &second, blue);
    DeleteObject(blue);
    QTemporaryDir folder;
    const QString stripFile = folder.filePath(QStringLiteral("strip.png"));
    QImage picture(32, 16, QImage::Format_RGB32);
    picture.fill(QColor(200, 0, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 16; x < 32; ++x)
            picture.setPixelColor(x, y, QColor(0, 0, 200));
    ASSERT_TRUE(picture.save(stripFile, "PNG"));
    constexpr WORD kStripId = 0xFD21;
    taluvo::ui::RegisterBitmapResource(kStripId, stripFile);

    m_tip.SetBorder(RGB(0, 0, 0), 0, 0);
    m_tip.SetShadow(0, 0, 25, FALSE, 0, 0);
    const QString html = QStringLiteral("<ilst index=1 style=s>");
    // What the renderer alone draws on the tip's fill with the same settings.
    auto own = [&](bool fromResource, bool shadowSet) {
        CHtmlRenderer renderer;
        if (fromResource)
            renderer.SetImageList(UINT(kStripId), 16, 16, 2, RGB(255, 0, 255));
        else
            renderer.SetImageList(strip.bitmap, 16, 16, 2, RGB(255, 0, 255));
        if (shadowSet)
            renderer.SetShadow(5, 3, 60, FALSE, 0, 0);
        taluvo::test::Canvas alone(80, 60, kFill);
        SIZE size {};
        renderer.MeasureHtml(alone.dc, html, &size);
        const RECT where { 10, 10, 10 + size.cx, 10 + size.cy };
        renderer.RenderHtml(alone.dc, &where);
        return Drawn(alone.dc, RECT { 0, 0, 80, 60 }, kFill);
    };
    for (const bool fromResource : { false, true }) {
        SCOPED_TRACE(fromResource ? "image list from a resource" : "image list from a handle");
        if (fromResource)
            m_tip.SetImageList(UINT(kStripId), 16, 16, 2, RGB(255, 0, 255));
        else
            m_tip.SetImageList(strip.bitmap, 16, 16, 2, RGB(255, 0, 255));
        m_tip.SetImageShadow(5, 3, 60, FALSE, 0, 0);
        m_tip.ShowTooltipAt(POINT { 400, 300 }, html);
        const taluvo::test::Canvas shown(m_tip.m_rcWindow.right, m_tip.m_rcWindow.bottom);
        DeleteObject(m_tip.m_hBackdrop);
        m_tip.m_hBackdrop = nullptr;
        m_tip.OnRedrawTooltip(shown.dc, 0);
        const auto tip = Drawn(shown.dc, m_tip.m_rcText, kFill);
        ASSERT_FALSE(tip.empty()) << "the tip drew its picture";
        // The blue picture with its hard shadow 5 right and 3 down: 21 x 19 pixels.
        EXPECT_EQ(tip.size(), 19u);
        EXPECT_EQ(tip.front().size(), 21u);
        EXPECT_EQ(tip.front().front(), RGB(0, 0, 200));
        EXPECT_EQ(tip == own(fromResource, true), true) << "drawn as the renderer draws it";
        EXPECT_EQ(tip == own(fromResource, false), false) << "the image shadow reached the renderer";
        m_tip.Pop();
    }

    // The style sheet from the string table, and a picture beside a text of the string table.
    constexpr UINT kSheetId = 0xFD22;
    constexpr UINT kTextId = 0xFD23;
    taluvo::ui::RegisterStringResources({ { kSheetId, u"b { color: red }" }, { kTextId, u"Page <b>changed</b>" } });
    CHtmlRenderer renderer;
    renderer.LoadStyleSheetResource(kSheetId, nullptr);
    m_tip.SetStyleSheet(QStringLiteral("i { color: blue }"));
    m_tip.SetStyleSheet(StringResourceId { kSheetId });
    EXPECT_EQ(m_tip.GetStyleSheet(), renderer.GetStyleSheet());
    m_tip.SetStyleSheet(QStringLiteral("i { color: blue }"));
    m_tip.LoadStyleSheetResource(kSheetId);
    EXPECT_EQ(m_tip.GetStyleSheet(), renderer.GetStyleSheet());
    EXPECT_EQ(m_tip.GetStyleSheet(), QStringLiteral("b { color: red }"));
    m_tip.ShowTooltipAt(POINT { 400, 300 }, StringResourceId { kTextId }, IconResourceId { 213 }, SIZE { 16, 16 });
    EXPECT_EQ(m_tip.m_strLastShownText,
        QStringLiteral(
            "<table><tr><td><icon idres=213 width=16 height=16></td><td>Page <b>changed</b></td></tr></table>"));
    m_tip.Pop();
}

TEST_F(HtmlToolTip, TheBorderIsDrawnOnlyWithBothSizes)
{
    for (const auto& [width, height, drawn] : { std::tuple { 1, 1, true }, { 0, 1, false }, { 1, 0, false } }) {
        m_tip.SetBorder(RGB(255, 156, 0), width, height);
        m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("border"));
        m_tip.m_borders = 0;
        m_tip.OnRedrawTooltip(nullptr, 0);
        EXPECT_EQ(m_tip.m_borders > 0, drawn) << width << "x" << height;
        m_tip.Pop();
    }
}

TEST_F(HtmlToolTip, TheNoticeBeforeDisplayMayChangeTextAndPointOrShowNothing)
{
    m_tip.SetNotifyWindow(m_owner);
    m_owner.m_replaceText = QStringLiteral("<b>from the owner</b>");
    m_owner.m_movePoint = POINT { 300, 250 };
    m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("original"));
    EXPECT_EQ(m_owner.m_notices, 1);
    ASSERT_TRUE(m_tip.IsWindowVisible());
    const RECT where = WindowRect(m_tip);
    EXPECT_EQ(where.left, 300 - m_tip.m_ptAnchor.x);
    EXPECT_EQ(where.top, 250 - m_tip.m_ptAnchor.y);
    m_tip.Pop();

    m_owner.m_replaceText = QString();
    m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("original"));
    EXPECT_EQ(m_owner.m_notices, 2);
    EXPECT_FALSE(m_tip.IsWindowVisible()) << "an emptied text shows nothing";
}

TEST_F(HtmlToolTip, LinksStayOneAreaAcrossRedrawsAndReachTheCallbackWindow)
{
    m_tip.SetCallbackHyperlink(m_owner, WM_TOOLTIP_HYPERLINK, 0);
    m_tip.ShowTooltipAt(POINT { 400, 300 }, QStringLiteral("<a msg=\"1,2,x\">open</a>"));
    ASSERT_TRUE(m_tip.IsWindowVisible());
    for (int i = 0; i < 30; ++i)
        m_tip.OnRedrawTooltip(nullptr, i % 2 ? 20 : 0);
    EXPECT_EQ(m_tip.GetRenderer().LinkAreaCount(), 1u);

    // The link's place inside the tip: the text starts at the margins.
    POINT inLink { 12 + 4, 12 + 4 };
    m_tip.GetRenderer().OnClick(inLink);
    ASSERT_EQ(m_owner.m_links.size(), 1u);
    EXPECT_EQ(m_owner.m_links[0], QStringLiteral("1,2,x"));
}

TEST_F(HtmlToolTip, SettingsOutOfRangeAreIgnoredOrClamped)
{
    m_tip.SetTransparency(30);
    m_tip.SetTransparency(150);
    EXPECT_EQ(m_tip.m_nDefTransparency, 30);
    m_tip.SetShadow(6, 6, 250);
    EXPECT_EQ(m_tip.m_nShadowDarkness, 100);
    m_tip.SetSize(9, 5);
    EXPECT_EQ(m_tip.GetSize(9), 0);
    m_tip.SetSize(CHtmlToolTip::SIZE_MARGIN_CX, 5);
    EXPECT_EQ(m_tip.GetSize(CHtmlToolTip::SIZE_MARGIN_CX), 5);
    m_tip.SetDelayTime(7, 10);
    EXPECT_EQ(m_tip.GetDelayTime(7), 0);
}

// A child of the owner that is a tool of the tip.
class CToolChild : public CWindowImpl<CToolChild> {
public:
    ~CToolChild() override
    {
        if (IsWindow())
            DestroyWindow();
    }
    // NOLINTNEXTLINE(bugprone-branch-clone): an empty map passes every message on, its own case as the default
    BEGIN_MSG_MAP(CToolChild)
    END_MSG_MAP()
};

class HtmlToolTipCycle : public HtmlToolTip {
protected:
    void SetUp() override
    {
        HtmlToolTip::SetUp();
        RECT rect { 20, 20, 220, 120 };
        ASSERT_TRUE(m_child.Create(m_owner, &rect, QStringLiteral("tool"), WS_CHILD | WS_VISIBLE));
        m_tip.AddTool(m_child, QStringLiteral("child tool"));
        m_tip.SetDelayTime(CHtmlToolTip::DELAY_INITIAL, 1);
    }
    // The pointer at a point of the child, as the relayed message tells it.
    void MoveTo(int x, int y)
    {
        POINT screen { x, y };
        m_child.ClientToScreen(&screen);
        QCursor::setPos(screen.x, screen.y);
        MSG move {};
        move.hwnd = m_child;
        move.message = WM_MOUSEMOVE;
        move.pt = screen;
        m_tip.RelayEvent(&move);
    }
    CToolChild m_child;
};

TEST_F(HtmlToolTipCycle, AMoveInsideTheShownToolHidesKeepsOrRepeatsByBehaviour)
{
    POINT probe { 50, 50 };
    m_child.ClientToScreen(&probe);
    if (WindowFromPoint(probe) != m_child.m_hWnd)
        GTEST_SKIP() << "this platform does not tell the window under a point";
    struct Case {
        UINT behaviour;
        bool shownAfterMove;
    };
    const Case cases[]
        = { { 0, false }, { CHtmlToolTip::BEHAVIOUR_KEEP_ON_TOOL, true }, { CHtmlToolTip::BEHAVIOUR_REPEAT, true } };
    int x = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        m_tip.SetBehaviourFlags(c.behaviour);
        MoveTo(x++, 40);
        ASSERT_TRUE(PumpUntil([&] { return m_tip.IsWindowVisible() != FALSE; }, 10000)) << "the tool's tip shows";
        // Below the point the tip was shown at: the tip lies above it, so this is the tool alone.
        MoveTo(x++, 90);
        if (c.shownAfterMove)
            EXPECT_TRUE(PumpUntil([&] { return m_tip.IsWindowVisible() != FALSE; }, 10000));
        else
            EXPECT_FALSE(m_tip.IsWindowVisible());
        // Off every tool: the tip goes.
        POINT outside { 350, 250 };
        m_owner.ClientToScreen(&outside);
        QCursor::setPos(outside.x, outside.y);
        MSG move {};
        move.message = WM_MOUSEMOVE;
        move.pt = outside;
        m_tip.RelayEvent(&move);
        EXPECT_FALSE(m_tip.IsWindowVisible());
        EXPECT_EQ(m_tip.GetState(), CHtmlToolTip::STATE_HIDDEN);
    }
}

TEST_F(HtmlToolTipCycle, DisabledWindowsHaveNoToolsAndTheDescriptionIsPlainText)
{
    POINT inChild { 60, 60 };
    HTMLTOOLINFO found;
    if (m_tip.FindTool(inChild, &found) == nullptr && m_tip.FindToolWindow(inChild, &found, FALSE) == nullptr)
        GTEST_SKIP() << "this platform does not tell the window under a point";
    EXPECT_EQ(m_tip.FindTool(inChild, &found), m_child.m_hWnd);
    EXPECT_EQ(found.strHtml, QStringLiteral("child tool"));
    m_child.EnableWindow(FALSE);
    EXPECT_EQ(m_tip.FindTool(inChild, &found), nullptr);
    EXPECT_EQ(m_tip.FindToolWindow(inChild, &found, FALSE), m_child.m_hWnd);

    m_child.SetWindowText(QStringLiteral("<img src=x> & a title of thirty"));
    const QString html = m_tip.GetWindowInfoHtml(inChild);
    EXPECT_TRUE(html.contains(QStringLiteral(">?img src=x> &amp; a title ...<"))) << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral(">No<"))) << "a disabled window has no tooltip";
}

} // namespace
