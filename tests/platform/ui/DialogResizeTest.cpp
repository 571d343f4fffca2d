// A resizable dialog: its controls keep their anchors when it grows, its size grip sits in the
// lower right corner and hides while it is maximised, and it cannot be made smaller than its first
// size.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/DialogResize.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/TestHooks.h"

#include <gtest/gtest.h>

namespace {

enum : WORD { IDD_RESIZE = 9301 };
enum : int { kText = 100, kWide = 101, kFixed = 102 };

const taluvo::ui::DialogTemplateTable kTemplates { taluvo::ui::DialogTemplate { IDD_RESIZE, u"Resize",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX, 200, 120, nullptr, 8,
    {
        { kFixed, u"Static", u"Stays", SS_LEFT, 7, 7, 40, 8 },
        { kWide, u"Edit", u"", WS_BORDER, 50, 7, 143, 12 },
        { kText, u"Edit", u"", ES_MULTILINE | WS_BORDER | WS_VSCROLL, 7, 24, 186, 70 },
        { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON, 89, 100, 50, 14 },
        { IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON, 143, 100, 50, 14 },
    } } };

class CResizeDlg : public CDialogImpl<CResizeDlg>, public CDialogResize<CResizeDlg> {
public:
    enum { IDD = IDD_RESIZE };
    BEGIN_DLGRESIZE_MAP(CResizeDlg)
    DLGRESIZE_CONTROL(kWide, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(kText, DLSZ_SIZE_X | DLSZ_SIZE_Y)
    DLGRESIZE_CONTROL(IDOK, DLSZ_MOVE_X | DLSZ_MOVE_Y)
    DLGRESIZE_CONTROL(IDCANCEL, DLSZ_MOVE_X | DLSZ_MOVE_Y)
    END_DLGRESIZE_MAP()
    BEGIN_MSG_MAP(CResizeDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    CHAIN_MSG_MAP(CDialogResize<CResizeDlg>)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        DlgResize_Init();
        return TRUE;
    }
};

RECT ClientRectOf(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    POINT a { r.left, r.top }, b { r.right, r.bottom };
    ScreenToClient(dialog, &a);
    ScreenToClient(dialog, &b);
    return RECT { a.x, a.y, b.x, b.y };
}

TEST(UiDialogResize, ControlsKeepTheirAnchorsAndTheFirstSizeIsTheSmallest)
{
    taluvo::test::EnsureUiApplication();
    struct Seen {
        RECT client {}, grown {}, shrunk {};
        RECT fixed[2], wide[2], text[2], ok[2], grip[2];
        bool gripWhenMaximised = true, gripRestored = false;
        MINMAXINFO info;
    } seen;
    taluvo::ui::test::ScopedDialogHook hook([&](HWND dialog, WORD id) {
        if (id != IDD_RESIZE)
            return;
        GetClientRect(dialog, &seen.client);
        auto take = [&](int at) {
            seen.fixed[at] = ClientRectOf(dialog, kFixed);
            seen.wide[at] = ClientRectOf(dialog, kWide);
            seen.text[at] = ClientRectOf(dialog, kText);
            seen.ok[at] = ClientRectOf(dialog, IDOK);
            seen.grip[at] = ClientRectOf(dialog, ATL_IDW_STATUS_BAR);
        };
        take(0);
        RECT window;
        GetWindowRect(dialog, &window);
        MoveWindow(
            dialog, window.left, window.top, window.right - window.left + 120, window.bottom - window.top + 80, TRUE);
        GetClientRect(dialog, &seen.grown);
        take(1);
        MoveWindow(dialog, window.left, window.top, 50, 40, TRUE);
        GetClientRect(dialog, &seen.shrunk);
        SendMessage(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&seen.info));
        ShowWindow(dialog, SW_SHOWMAXIMIZED);
        SendMessage(dialog, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(800, 600));
        seen.gripWhenMaximised = IsWindowVisible(GetDlgItem(dialog, ATL_IDW_STATUS_BAR));
        SendMessage(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(seen.client.right, seen.client.bottom));
        seen.gripRestored = IsWindowVisible(GetDlgItem(dialog, ATL_IDW_STATUS_BAR));
        EndDialog(dialog, IDOK);
    });
    CResizeDlg dialog;
    ASSERT_EQ(dialog.DoModal(nullptr), IDOK);

    EXPECT_EQ(seen.grown.right, seen.client.right + 120);
    EXPECT_EQ(seen.grown.bottom, seen.client.bottom + 80);
    auto expectRect = [](const RECT& r, int left, int top, int right, int bottom) {
        EXPECT_EQ(r.left, left);
        EXPECT_EQ(r.top, top);
        EXPECT_EQ(r.right, right);
        EXPECT_EQ(r.bottom, bottom);
    };
    {
        SCOPED_TRACE("no anchor: stays");
        expectRect(seen.fixed[1], seen.fixed[0].left, seen.fixed[0].top, seen.fixed[0].right, seen.fixed[0].bottom);
    }
    {
        SCOPED_TRACE("grows in width");
        expectRect(seen.wide[1], seen.wide[0].left, seen.wide[0].top, seen.wide[0].right + 120, seen.wide[0].bottom);
    }
    {
        SCOPED_TRACE("grows in both");
        expectRect(
            seen.text[1], seen.text[0].left, seen.text[0].top, seen.text[0].right + 120, seen.text[0].bottom + 80);
    }
    {
        SCOPED_TRACE("moves with the lower right corner");
        expectRect(
            seen.ok[1], seen.ok[0].left + 120, seen.ok[0].top + 80, seen.ok[0].right + 120, seen.ok[0].bottom + 80);
    }
    EXPECT_EQ(seen.grip[0].right, seen.client.right) << "the grip sits in the lower right corner";
    EXPECT_EQ(seen.grip[0].bottom, seen.client.bottom);
    EXPECT_EQ(seen.grip[1].right, seen.grown.right) << "and follows it";
    EXPECT_EQ(seen.grip[1].bottom, seen.grown.bottom);

    EXPECT_EQ(seen.shrunk.right, seen.client.right) << "not narrower than at first";
    EXPECT_EQ(seen.shrunk.bottom, seen.client.bottom) << "not lower than at first";
    EXPECT_GE(seen.info.ptMinTrackSize.x, seen.client.right);
    EXPECT_GE(seen.info.ptMinTrackSize.y, seen.client.bottom);
    EXPECT_FALSE(seen.gripWhenMaximised);
    EXPECT_TRUE(seen.gripRestored);
}

} // namespace
