// The controls the option pages and page dialogs are built from: the report list, the trackbar,
// the scroll bar and the hyperlink, and data exchange with its one integer parser.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/HyperLink.h"
#include "platform/ui/ListView.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/Trackbar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace uitest = taluvo::ui::test;
using taluvo::ui::IntegerText;

// A plain parent window that records the notifications of its children.
class CParent : public CWindowImpl<CParent> {
public:
    std::vector<std::string> m_events;
    BEGIN_MSG_MAP(CParent)
    MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    MESSAGE_HANDLER(WM_HSCROLL, OnScroll)
    MESSAGE_HANDLER(WM_VSCROLL, OnScroll)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        auto* change = reinterpret_cast<LPNMLISTVIEW>(lParam);
        if (change->hdr.code == LVN_ITEMCHANGED)
            m_events.push_back("changed " + std::to_string(change->iItem) + " " + std::to_string(change->uOldState)
                + ">" + std::to_string(change->uNewState) + " data " + std::to_string(change->lParam));
        return 0;
    }
    LRESULT OnScroll(UINT message, WPARAM wParam, LPARAM, BOOL&)
    {
        m_events.push_back(std::string(message == WM_HSCROLL ? "h" : "v") + std::to_string(LOWORD(wParam)) + "@"
            + std::to_string(static_cast<short>(HIWORD(wParam))));
        return 0;
    }
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        m_events.push_back("command " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam)));
        return 0;
    }
};

class UiDialogControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT r { 0, 0, 400, 300 };
        m_parent.Create(nullptr, &r, QStringLiteral("parent"), WS_POPUP | WS_VISIBLE);
    }
    void TearDown() override { m_parent.DestroyWindow(); }
    HWND Make(const char16_t* cls, DWORD style, int id, const char16_t* text = nullptr)
    {
        return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 300, 150, m_parent,
            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
    }
    CParent m_parent;
};

TEST_F(UiDialogControlsTest, ReportListColumnsRowsSubItemsAndCheckBoxes)
{
    CListViewCtrl list = Make(WC_LISTVIEW, LVS_REPORT | LVS_SINGLESEL, 1054);
    ASSERT_TRUE(list.IsWindow());
    EXPECT_EQ(list.SetExtendedListViewStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT), 0u);
    EXPECT_EQ(list.GetExtendedListViewStyle(), LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    EXPECT_EQ(list.InsertColumn(0, QStringLiteral("Name"), LVCFMT_LEFT, 200), 0);
    EXPECT_EQ(list.InsertColumn(1, QStringLiteral("Url"), LVCFMT_LEFT, 120), 1);
    EXPECT_EQ(list.GetColumnWidth(0), 200);
    EXPECT_EQ(list.AddItem(QStringLiteral("b")), 0);
    EXPECT_EQ(list.InsertItem(0, QStringLiteral("a")), 0); // before the first
    EXPECT_EQ(list.InsertItem(99, QStringLiteral("c")), 2); // past the end appends
    EXPECT_TRUE(list.SetItemText(2, 1, QString(600, QLatin1Char('x'))));
    EXPECT_TRUE(list.SetItemData(1, 0xBEEF));
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(1, 0), QStringLiteral("b"));
    EXPECT_EQ(list.GetItemText(2, 1), QString(600, QLatin1Char('x'))); // the buffer grows to fit
    char16_t small[4];
    EXPECT_EQ(list.GetItemText(2, 1, small, 4), 3); // cut, NUL-terminated
    EXPECT_EQ(small[3], u'\0');
    EXPECT_FALSE(list.SetItemText(7, 0, QStringLiteral("no row")));
    EXPECT_FALSE(list.SetItemText(0, 5, QStringLiteral("no column")));
    EXPECT_EQ(m_parent.m_events.size(), 0u); // inserting notifies nothing

    // Rows start unchecked (state image 1); the program and the user change them alike.
    EXPECT_EQ(list.GetItemState(0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
    EXPECT_TRUE(list.SetCheckState(1, TRUE));
    EXPECT_TRUE(uitest::CheckListRow(list, 2, true));
    EXPECT_TRUE(uitest::CheckListRow(list, 2, false));
    EXPECT_TRUE(list.SetCheckState(0, FALSE)); // unchanged: no notification
    EXPECT_TRUE(list.GetCheckState(1));
    EXPECT_FALSE(list.GetCheckState(2));
    const std::string checked = std::to_string(INDEXTOSTATEIMAGEMASK(2));
    const std::string unchecked = std::to_string(INDEXTOSTATEIMAGEMASK(1));
    EXPECT_EQ(m_parent.m_events,
        (std::vector<std::string> { "changed 1 " + unchecked + ">" + checked + " data 48879",
            "changed 2 " + unchecked + ">" + checked + " data 0",
            "changed 2 " + checked + ">" + unchecked + " data 0" }));

    m_parent.m_events.clear();
    EXPECT_TRUE(list.SelectItem(2));
    EXPECT_EQ(list.GetSelectedIndex(), 2);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 2);
    ASSERT_EQ(m_parent.m_events.size(), 1u);
    EXPECT_EQ(m_parent.m_events[0],
        "changed 2 " + unchecked + ">" + std::to_string(INDEXTOSTATEIMAGEMASK(1) | LVIS_SELECTED) + " data 0");

    // Turning check boxes off drops the state images; delete-all empties the list quietly.
    list.SetExtendedListViewStyle(0, LVS_EX_CHECKBOXES);
    EXPECT_EQ(list.GetItemState(1, LVIS_STATEIMAGEMASK), 0u);
    EXPECT_FALSE(uitest::CheckListRow(list, 1, true));
    m_parent.m_events.clear();
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetItemText(0, 0), QStringLiteral("b"));
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_FALSE(list.DeleteItem(0));
    EXPECT_EQ(m_parent.m_events.size(), 0u);
}

TEST_F(UiDialogControlsTest, TrackbarRangeTicksClampedPositionAndScrollCodes)
{
    CTrackBarCtrl bar = Make(TRACKBAR_CLASS, TBS_AUTOTICKS, 1089);
    bar.SetRange(5, 90);
    bar.SetTicFreq(5);
    EXPECT_EQ(bar.GetRangeMin(), 5);
    EXPECT_EQ(bar.GetRangeMax(), 90);
    EXPECT_EQ(bar.GetPageSize(), 17); // a fifth of the range, as on Windows
    bar.SetPos(120);
    EXPECT_EQ(bar.GetPos(), 90);
    bar.SetPos(-3);
    EXPECT_EQ(bar.GetPos(), 5);
    EXPECT_TRUE(m_parent.m_events.empty()); // the program's moves notify nothing

    EXPECT_TRUE(uitest::ScrollControl(bar, TB_LINEDOWN));
    EXPECT_TRUE(uitest::ScrollControl(bar, TB_PAGEDOWN));
    EXPECT_TRUE(uitest::ScrollControl(bar, TB_BOTTOM));
    EXPECT_TRUE(uitest::ScrollControl(bar, TB_LINEDOWN)); // at the end: stays
    EXPECT_TRUE(uitest::DragThumb(bar, 40));
    EXPECT_EQ(bar.GetPos(), 40);
    EXPECT_EQ(m_parent.m_events,
        (std::vector<std::string> {
            "h1@0", "h8@0", "h3@0", "h8@0", "h7@0", "h8@0", "h1@0", "h8@0", "h5@40", "h4@40", "h8@0" }));
}

TEST_F(UiDialogControlsTest, ScrollBarReportsActionsAndMovesOnlyWhenTheParentMovesIt)
{
    CScrollBar bar = Make(u"ScrollBar", SBS_VERT, 1005);
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = 31;
    info.nPage = 1;
    info.nPos = 40;
    EXPECT_EQ(bar.SetScrollInfo(&info), 31); // clamped
    bar.SetScrollPos(10);
    EXPECT_EQ(bar.SetScrollPos(12), 10);
    int low = -1;
    int high = -1;
    bar.GetScrollRange(&low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 31);
    // A page of 10 leaves 22 as the highest position.
    info.fMask = SIF_PAGE;
    info.nPage = 10;
    bar.SetScrollInfo(&info);
    bar.SetScrollPos(30);
    EXPECT_EQ(bar.GetScrollPos(), 22);
    SCROLLINFO read;
    read.fMask = SIF_ALL;
    EXPECT_TRUE(bar.GetScrollInfo(&read));
    EXPECT_EQ(read.nPage, 10u);
    EXPECT_EQ(read.nMax, 31);

    EXPECT_TRUE(uitest::ScrollControl(bar, SB_LINEDOWN));
    EXPECT_TRUE(uitest::ScrollControl(bar, SB_PAGEUP));
    EXPECT_TRUE(uitest::ScrollControl(bar, SB_TOP));
    EXPECT_TRUE(uitest::DragThumb(bar, 5));
    EXPECT_EQ(bar.GetScrollPos(), 22); // nobody moved it
    EXPECT_EQ(m_parent.m_events,
        (std::vector<std::string> { "v1@0", "v8@0", "v2@0", "v8@0", "v6@0", "v8@0", "v5@5", "v4@5", "v8@0" }));
    // A window's own scroll bars are not kept by the layer.
    EXPECT_EQ(SetScrollPos(m_parent, SB_HORZ, 3, TRUE), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(UiDialogControlsTest, HyperLinkOnAStaticInCommandModeAndDisabled)
{
    HWND control = Make(u"Static", SS_LEFT, 1013, u"Static");
    {
        CHyperLink link;
        ASSERT_TRUE(link.SubclassWindow(control));
        EXPECT_FALSE(link.SubclassWindow(control)); // this object already has its window
        link.SetHyperLinkExtendedStyle(HLINK_COMMANDBUTTON);
        link.SetLabel(QStringLiteral("http://a.example/page"));
        EXPECT_EQ(GetWindowText(control), QStringLiteral("http://a.example/page"));
        EXPECT_EQ(link.GetHyperLink(), QStringLiteral("http://a.example/page")); // the label while none is set
        link.SetHyperLink(QStringLiteral("http://b.example/"));
        EXPECT_EQ(link.GetHyperLink(), QStringLiteral("http://b.example/"));
        EXPECT_FALSE(link.IsVisited());
        EXPECT_TRUE(uitest::ClickLink(control));
        EXPECT_TRUE(link.IsVisited());
        EnableWindow(control, FALSE);
        EXPECT_FALSE(uitest::ClickLink(control));
        EXPECT_FALSE(link.Navigate());
        EnableWindow(control, TRUE);
        ShowWindow(control, SW_HIDE);
        EXPECT_FALSE(uitest::ClickLink(control));
    }
    // The object has gone; the control is a static again and must not call into it.
    EXPECT_TRUE(IsWindow(control));
    uitest::Click(control);
    EXPECT_EQ(m_parent.m_events, (std::vector<std::string> { "command 1013 0" }));
}

TEST_F(UiDialogControlsTest, HyperLinkOpensItsTargetThroughTheShell)
{
    uitest::ShellRequestCapture capture;
    HWND control = Make(u"Static", SS_LEFT | SS_NOTIFY, 1008, u"http://c.example/");
    CHyperLink link;
    ASSERT_TRUE(link.SubclassWindow(control));
    EXPECT_TRUE(uitest::ClickLink(control));
    const auto requests = capture.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].arguments, QStringList { QStringLiteral("http://c.example/") });
    EXPECT_TRUE(m_parent.m_events.empty());
}

// ---------------------------------------------------------------------------------------------
// Data exchange

TEST(DataExchangeTest, OneRuleForWholeNumbersInFields)
{
    struct Case {
        const char16_t* text;
        bool isSigned;
        IntegerText kind;
        qint64 value;
    };
    const Case cases[] = {
        { u"42", true, IntegerText::Ok, 42 }, { u"  42\t", true, IntegerText::Ok, 42 }, // blanks around are ignored
        { u"+7", true, IntegerText::Ok, 7 }, { u"-7", true, IntegerText::Ok, -7 },
        { u"007", false, IntegerText::Ok, 7 }, { u"-0", false, IntegerText::Ok, 0 },
        { u"2147483647", true, IntegerText::Ok, 2147483647 }, { u"-2147483648", true, IntegerText::Ok, -2147483648LL },
        { u"4294967295", false, IntegerText::Ok, 4294967295LL },
        { u"2147483648", true, IntegerText::OutOfRange, 2147483648LL },
        { u"4294967296", false, IntegerText::OutOfRange, 4294967296LL }, { u"-1", false, IntegerText::OutOfRange, -1 },
        { u"99999999999999999999999", true, IntegerText::OutOfRange, qint64(1) << 40 }, // no overflow
        { u"", true, IntegerText::NotANumber, 0 }, { u"   ", true, IntegerText::NotANumber, 0 },
        { u"-", true, IntegerText::NotANumber, 0 }, { u"- 5", true, IntegerText::NotANumber, 0 },
        { u"1 000", true, IntegerText::NotANumber, 0 }, { u"12a", true, IntegerText::NotANumber, 0 },
        { u"0x10", true, IntegerText::NotANumber, 0 }, { u"1e3", true, IntegerText::NotANumber, 0 },
        { u"--1", true, IntegerText::NotANumber, 0 },
        { u"\u0661\u0662", true, IntegerText::NotANumber, 0 }, // digits of another script
    };
    for (const Case& c : cases) {
        qint64 value = 0;
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(taluvo::ui::ParseIntegerText(text, c.isSigned, &value), c.kind) << text.toStdString();
        if (c.kind != IntegerText::NotANumber) {
            EXPECT_EQ(value, c.value) << text.toStdString();
        }
    }
}

enum : int {
    IDD_DDX = 961,
    IDC_PORT = 1095,
    IDC_ITEMS = 1069,
    IDC_RADIO_A = 1102,
    IDC_CHECK_BETWEEN = 1103,
    IDC_RADIO_B = 1104,
    IDC_RADIO_OTHER = 1110,
};

const taluvo::ui::DialogTemplateTable kDdxTemplates {
    taluvo::ui::DialogTemplate { IDD_DDX, u"Exchange", WS_POPUP | WS_CAPTION, 200, 100, nullptr, 0,
        {
            { IDC_PORT, u"Edit", u"", WS_TABSTOP, 7, 7, 50, 12 },
            { IDC_ITEMS, u"Edit", u"", WS_TABSTOP, 7, 23, 50, 12 },
            { IDC_RADIO_A, u"Button", u"A", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 7, 40, 80, 10 },
            { IDC_CHECK_BETWEEN, u"Button", u"between", BS_AUTOCHECKBOX | WS_TABSTOP, 17, 52, 80, 10 },
            { IDC_RADIO_B, u"Button", u"B", BS_AUTORADIOBUTTON, 7, 64, 80, 10 },
            { IDC_RADIO_OTHER, u"Button", u"Other group", BS_AUTORADIOBUTTON | WS_GROUP, 7, 76, 80, 10 },
        } },
};

// A dialog whose format error shows a box of its own, while the range error keeps the default.
class CExchangeDlg : public CDialogImpl<CExchangeDlg>, public CWinDataExchange<CExchangeDlg> {
public:
    enum { IDD = IDD_DDX };
    int m_port = 8080;
    UINT m_items = 5;
    int m_kind = 1;
    std::vector<UINT> m_formatErrors;
    BEGIN_MSG_MAP(CExchangeDlg) // NOLINT(bugprone-branch-clone): an empty map passes every message on, its own case as
                                // the default
    END_MSG_MAP()
    BEGIN_DDX_MAP(CExchangeDlg)
    DDX_INT_RANGE(IDC_PORT, m_port, 1024, 65535)
    DDX_UINT_RANGE(IDC_ITEMS, m_items, 1, 20)
    DDX_RADIO(IDC_RADIO_A, m_kind)
    END_DDX_MAP()
    void OnDataExchangeError(UINT id, BOOL)
    {
        m_formatErrors.push_back(id);
        MessageBox(QStringLiteral("Invalid value in element which has focus now."), QStringLiteral("Error"),
            MB_OK | MB_ICONERROR);
        ::MessageBeep(static_cast<UINT>(-1));
        ::SetFocus(GetDlgItem(id));
    }
};

TEST(DataExchangeTest, RangeAndFormatErrorsAndRadioGroups)
{
    taluvo::test::EnsureUiApplication();
    CExchangeDlg dlg;
    uitest::BeepRecorder beeps;
    std::vector<QString> boxes;
    uitest::ScopedMessageBoxHook boxHook([&](const uitest::MessageBoxRequest& request) {
        boxes.push_back(request.text);
        return IDOK;
    });
    struct Step {
        const char16_t* port;
        const char16_t* items;
        BOOL saved;
    };
    std::vector<BOOL> results;
    std::vector<int> kinds;
    std::vector<int> ports;
    uitest::ScopedDialogHook hook([&](HWND hwnd, WORD) {
        dlg.DoDataExchange(FALSE);
        EXPECT_EQ(GetDlgItemText(hwnd, IDC_PORT), QStringLiteral("8080"));
        EXPECT_EQ(IsDlgButtonChecked(hwnd, IDC_RADIO_B), BST_CHECKED); // position 1: the check box is skipped
        const Step steps[] = {
            { u"1023", u"5", FALSE }, // range error: beep only
            { u"port", u"5", FALSE }, // format error: the page's own box
            { u"65535", u"0", FALSE }, // the second field's range
            { u" 1024 ", u"20", TRUE },
        };
        for (const Step& s : steps) {
            SetDlgItemText(hwnd, IDC_PORT, QString::fromUtf16(s.port));
            SetDlgItemText(hwnd, IDC_ITEMS, QString::fromUtf16(s.items));
            results.push_back(dlg.DoDataExchange(TRUE));
            ports.push_back(dlg.m_port);
        }
        CheckDlgButton(hwnd, IDC_RADIO_B, BST_UNCHECKED);
        CheckDlgButton(hwnd, IDC_RADIO_OTHER, BST_CHECKED); // another group
        dlg.DoDataExchange(TRUE, IDC_RADIO_A);
        kinds.push_back(dlg.m_kind);
        CheckDlgButton(hwnd, IDC_RADIO_A, BST_CHECKED);
        dlg.DoDataExchange(TRUE, IDC_RADIO_A);
        kinds.push_back(dlg.m_kind);
        EndDialog(hwnd, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDOK);
    EXPECT_EQ(results, (std::vector<BOOL> { FALSE, FALSE, FALSE, TRUE }));
    EXPECT_EQ(ports, (std::vector<int> { 8080, 8080, 65535, 1024 })); // a failed field keeps its member
    EXPECT_EQ(dlg.m_items, 20u);
    EXPECT_EQ(dlg.m_formatErrors, std::vector<UINT> { IDC_PORT });
    EXPECT_EQ(boxes, std::vector<QString> { QStringLiteral("Invalid value in element which has focus now.") });
    EXPECT_EQ(beeps.Beeps(), (std::vector<UINT> { 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF }));
    EXPECT_EQ(kinds, (std::vector<int> { -1, 0 }));
}

} // namespace
