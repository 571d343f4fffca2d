// What a new user sees of the page dialogs and the options sheet on a real X server with a window
// manager, each kept as a screenshot: the progress lines show their whole text and look read-only;
// the options sheet shows all eleven tabs at once, in rows inside the sheet; a scroll bar reached
// with Tab shows the focus mark; the content dialog's size grip sits in its corner.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "dialogs/PageAddDlg.h"
#include "dialogs/PageModifyDlg.h"
#include "dialogs/PreferencesDlg.h"
#include "dialogs/SearchContentDlg.h"
#include "platform/ui/TabControl.h"
#include "platform/ui/TestHooks.h"
#include "res/DialogIds.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include <algorithm>
#include <functional>
#include <string>

using namespace taluvo::test::x11;
namespace uitest = taluvo::ui::test;

namespace {

POINT ToScreen(HWND hwnd, POINT client)
{
    ClientToScreen(hwnd, &client);
    return client;
}

QRect ScreenRect(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The window with a margin of the screen around it, as the user sees it.
void Keep(const QImage& shot, HWND window, const char* name)
{
    SaveArtefact(shot.copy(ScreenRect(window).adjusted(-30, -50, 30, 30)), name);
}

bool IsInk(QRgb p)
{
    return qRed(p) < 0x80 && qGreen(p) < 0x80 && qBlue(p) < 0x80;
}

// The bounding box (screen pixels) of the dark pixels inside a window; empty when there are none.
QRect InkBox(const QImage& shot, const QRect& area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (x >= 0 && y >= 0 && x < shot.width() && y < shot.height() && IsInk(shot.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

// Runs a dialog class's DoModal with act called once the dialog is on the screen; the dialog is
// cancelled after act unless act ended it.
template <class Dialog, class... Args>
void RunOnScreen(Dialog& dlg, WORD id, const std::function<void(HWND)>& act, Args... args)
{
    bool reached = false;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD templateId) {
        if (templateId != id)
            return;
        reached = true;
        ASSERT_TRUE(WaitOnScreen(dialog));
        act(dialog);
        if (IsWindow(dialog) && IsWindowVisible(dialog))
            EndDialog(dialog, IDCANCEL);
    });
    dlg.DoModal(nullptr, args...);
    EXPECT_TRUE(reached) << "dialog " << id;
}

// A progress line: as high as its font needs, the whole text drawn inside it (as wide as the font
// lays it out, neither cut at the sides nor at the top or bottom) and read back.
void ExpectProgressLine(HWND dialog, HWND line, const QString& text, const char* shotName, QImage* shot)
{
    ASSERT_TRUE(line);
    SetWindowText(line, text);
    EXPECT_EQ(GetWindowText(line), text);
    const QFontMetrics metrics(Widget(line)->font());
    RECT client;
    GetClientRect(line, &client);
    EXPECT_GE(client.bottom, metrics.height()) << "the line is as high as its text";
    const QRect area = ScreenRect(line);
    const int expected = metrics.boundingRect(text).width();
    QRect ink;
    const bool drawn = WaitForScreen([&](const QImage& screen) {
        *shot = screen;
        ink = InkBox(screen, area);
        return std::abs(ink.width() - expected) <= 4;
    });
    Keep(*shot, dialog, shotName);
    EXPECT_TRUE(drawn) << "ink " << ink.width() << " px wide, the text " << expected << " px";
    EXPECT_GT(ink.top(), area.top()) << "the text's top is not cut";
    EXPECT_LT(ink.bottom(), area.bottom()) << "the text's bottom is not cut";
    EXPECT_GE(ink.height(), metrics.capHeight()) << "the letters are whole";
}

class ControlsOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        taluvo::res::RegisterResources();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
        m_ctx.Reset();
        m_ctx.m_strHtml = QStringLiteral("<html><body><h1>Prices</h1><p>tea 3.20</p></body></html>");
    }
    SPageCtx m_ctx;
};

TEST_F(ControlsOnScreen, AddPageProgressLineShowsItsTextAndLooksReadOnly)
{
    CPageAddDlg dlg;
    dlg.m_pPageCtx = &m_ctx;
    dlg.m_strUrl = QStringLiteral("http://www.example.com/News/Today.html");
    RunOnScreen(
        dlg, IDD_PAGE_ADD,
        [&](HWND dialog) {
            HWND line = GetDlgItem(dialog, IDC_PAGE_PROGRESS);
            QImage shot;
            ExpectProgressLine(
                dialog, line, QStringLiteral("Connecting to www.example.com ..."), "page-add-progress.png", &shot);
            // Read-only at sight: no box around it, the dialog's own colour under the text, unlike
            // the address field above it.
            const QRect area = ScreenRect(line);
            const POINT corner = ToScreen(dialog, POINT { 3, 3 });
            const QRgb background = shot.pixel(corner.x, corner.y);
            int differing = 0;
            for (int x = area.left(); x <= area.right(); ++x)
                for (int y : { area.top(), area.top() + 1, area.bottom() - 1, area.bottom() })
                    differing += shot.pixel(x, y) != background;
            EXPECT_EQ(differing, 0) << "the line's edges are the dialog's background";
            const QRect address = ScreenRect(GetDlgItem(dialog, IDC_PAGE_URL));
            EXPECT_NE(shot.pixel(address.center().x(), address.top() + 3), background)
                << "the address field keeps its own look";
        },
        CPageAddDlg::modeAddPage);
}

TEST_F(ControlsOnScreen, ContentDialogProgressLineAndSizeGrip)
{
    CPageModifyDlg owner;
    owner.m_pPageCtx = &m_ctx;
    CSearchContentDlg dlg(&m_ctx);
    RunOnScreen(
        dlg, IDD_SEARCH_CONTENT,
        [&](HWND dialog) {
            HWND line = GetDlgItem(dialog, IDC_PAGE_PROGRESS);
            QImage shot;
            ExpectProgressLine(dialog, line, QStringLiteral("Downloaded 1 KB"), "content-progress.png", &shot);
            // Inside its frame.
            const QRect frame = ScreenRect(GetDlgItem(dialog, IDC_PROGRESS_FRAME));
            EXPECT_TRUE(frame.contains(ScreenRect(line))) << "the line inside its group box";
            // The size grip: one piece in the lower right corner of the client area, nothing else
            // along the bottom edge.
            RECT client;
            GetClientRect(dialog, &client);
            const QRect inside(
                ToScreen(dialog, POINT { 0, 0 }).x, ToScreen(dialog, POINT { 0, 0 }).y, client.right, client.bottom);
            HWND grip = GetDlgItem(dialog, ATL_IDW_STATUS_BAR);
            ASSERT_TRUE(grip);
            const QRect gripRect = ScreenRect(grip);
            EXPECT_EQ(gripRect.right(), inside.right());
            EXPECT_EQ(gripRect.bottom(), inside.bottom());
            EXPECT_LE(gripRect.width(), 24);
            EXPECT_LE(gripRect.height(), 24);
        },
        reinterpret_cast<LPARAM>(&owner));
}

TEST_F(ControlsOnScreen, OptionsSheetShowsAllElevenTabsInRows)
{
    CPreferences source;
    CPreferencesDlg sheet(&source, QStringLiteral("Preferences"));
    bool reached = false;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD id) {
        if (id != 0)
            return;
        reached = true;
        ASSERT_TRUE(WaitOnScreen(dialog));
        HWND tabs = nullptr;
        for (const auto& child : taluvo::ui::detail::Children(dialog))
            if (child->className == QString::fromUtf16(WC_TABCONTROL))
                tabs = child->hwnd;
        ASSERT_TRUE(tabs);
        CTabCtrl control(tabs);
        ASSERT_EQ(control.GetItemCount(), 11);
        EXPECT_GT(control.GetRowCount(), 1);
        const QRect sheetArea(
            ToScreen(dialog, POINT { 0, 0 }).x, ToScreen(dialog, POINT { 0, 0 }).y,
            [&] {
                RECT c;
                GetClientRect(dialog, &c);
                return c.right;
            }(),
            [&] {
                RECT c;
                GetClientRect(dialog, &c);
                return c.bottom;
            }());
        RECT tabsClient;
        control.GetClientRect(&tabsClient);
        const auto checkTabs = [&](const char* shotName) {
            QImage shot;
            // Each tab whole inside the tab control (none scrolled away) and the sheet, its title drawn.
            std::vector<QRect> areas;
            for (int i = 0; i < 11; ++i) {
                RECT r;
                ASSERT_TRUE(control.GetItemRect(i, &r));
                EXPECT_GE(r.left, tabsClient.left) << i;
                EXPECT_LE(r.right, tabsClient.right) << i;
                EXPECT_GE(r.top, tabsClient.top) << i;
                const POINT screen = ToScreen(tabs, POINT { r.left, r.top });
                EXPECT_TRUE(sheetArea.contains(QRect(screen.x, screen.y, r.right - r.left, r.bottom - r.top)))
                    << "tab " << i << " inside the sheet";
                areas.push_back(QRect(screen.x + 3, screen.y + 3, r.right - r.left - 6, r.bottom - r.top - 6));
            }
            const bool drawn = WaitForScreen([&](const QImage& screen) {
                shot = screen;
                return std::all_of(
                    areas.begin(), areas.end(), [&](const QRect& a) { return InkBox(screen, a).width() > 20; });
            });
            Keep(shot, dialog, shotName);
            EXPECT_TRUE(drawn) << "every tab shows its title";
            // The active page sits in the display area below all the rows.
            HWND page = reinterpret_cast<HWND>(SendMessage(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
            RECT display = tabsClient;
            control.AdjustRect(FALSE, &display);
            POINT displayTop { display.left, display.top };
            ClientToScreen(tabs, &displayTop);
            EXPECT_GE(ScreenRect(page).top(), displayTop.y);
            EXPECT_TRUE(ScreenRect(tabs).contains(ScreenRect(page)));
        };
        checkTabs("options-tabs.png");
        // A tab of the upper row: its row comes down next to the page.
        RECT before;
        control.GetItemRect(0, &before);
        RECT visual;
        control.GetItemRect(5, &visual);
        ASSERT_LT(visual.top, before.top) << "\"Visual settings\" stands in an upper row at first";
        ASSERT_TRUE(uitest::SelectSheetTab(dialog, 5));
        RECT after;
        control.GetItemRect(5, &after);
        EXPECT_EQ(after.top, before.top);
        checkTabs("options-tabs-visual.png");
        uitest::PressSheetButton(dialog, PSBTN_CANCEL);
    });
    sheet.DoModal(nullptr);
    EXPECT_TRUE(reached);
}

// Pixels of a colour near the focus outline's on the bar's edge.
int FocusMarkPixels(const QImage& shot, HWND bar)
{
    const QColor mark = Widget(bar)->palette().color(QPalette::Highlight).darker(125);
    const QRect r = ScreenRect(bar);
    const auto near = [&](QRgb p) {
        return std::abs(qRed(p) - mark.red()) < 30 && std::abs(qGreen(p) - mark.green()) < 30
            && std::abs(qBlue(p) - mark.blue()) < 30;
    };
    int count = 0;
    for (int x = r.left(); x <= r.right(); ++x)
        count += near(shot.pixel(x, r.top())) + near(shot.pixel(x, r.bottom()));
    for (int y = r.top() + 1; y < r.bottom(); ++y)
        count += near(shot.pixel(r.left(), y)) + near(shot.pixel(r.right(), y));
    return count;
}

TEST_F(ControlsOnScreen, ScrollBarReachedWithTabShowsTheFocusMark)
{
    CPageModifyDlg dlg;
    dlg.m_pPageCtx = &m_ctx;
    dlg.m_strUrl = QStringLiteral("http://www.example.com/News/Today.html");
    dlg.m_strUrlBrowser = QStringLiteral("http://www.example.com/News/");
    dlg.m_strDescr = QStringLiteral("Daily prices");
    dlg.m_nInterval = 90060;
    RunOnScreen(
        dlg, IDD_PAGE_MODIFY,
        [&](HWND dialog) {
            HWND bar = GetDlgItem(dialog, IDC_INTERVAL_MINUTES);
            ASSERT_TRUE(bar);
            const QRect r = ScreenRect(bar);
            const int perimeter = 2 * (r.width() + r.height());
            QImage shot = Screenshot();
            EXPECT_LT(FocusMarkPixels(shot, bar), perimeter / 10) << "no mark without the focus";
            // Keys reach the dialog only once the window manager has made it the active window.
            QWidget* window = Widget(dialog)->window();
            window->activateWindow();
            ASSERT_TRUE(PumpUntil([window] { return window->isActiveWindow(); }, 5000)) << "the dialog is active";
            for (int i = 0; i < 12 && GetFocus() != bar; ++i)
                uitest::PressKey(dialog, VK_TAB);
            ASSERT_EQ(GetFocus(), bar) << "Tab reaches the minutes' scroll bar";
            const bool marked = WaitForScreen([&](const QImage& screen) {
                shot = screen;
                return FocusMarkPixels(screen, bar) > perimeter * 3 / 4;
            });
            Keep(shot, dialog, "page-modify-scrollbar-focus.png");
            EXPECT_TRUE(marked) << FocusMarkPixels(shot, bar) << " of " << perimeter << " edge pixels marked";
            // Tab on: the mark goes with the focus to the next bar.
            HWND hours = GetDlgItem(dialog, IDC_INTERVAL_HOURS);
            uitest::PressKey(dialog, VK_TAB);
            ASSERT_EQ(GetFocus(), hours);
            EXPECT_TRUE(WaitForScreen([&](const QImage& screen) {
                return FocusMarkPixels(screen, bar) < perimeter / 10
                    && FocusMarkPixels(screen, hours) > perimeter * 3 / 4;
            }));
        },
        0);
}

} // namespace
