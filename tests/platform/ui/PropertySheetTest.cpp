// Property sheets and wizards, driven only through the test hooks as a user would: tabs, fields,
// list rows, a trackbar, a scroll bar and a link on three option-like pages; the notifications in
// order, a refused tab change, the sheet's results and the values read back by data exchange.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/HyperLink.h"
#include "platform/ui/ListView.h"
#include "platform/ui/PropertySheet.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/Trackbar.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QWidget>

#include "platform/ui/detail/Core.h"

#include <string>
#include <vector>

namespace {

using taluvo::ui::DialogTemplate;
namespace uitest = taluvo::ui::test;

enum : int {
    IDD_PAGE_GENERAL = 951,
    IDD_PAGE_LIST = 952,
    IDD_PAGE_INTERVAL = 953,
    IDD_WIZ_SOURCE = 954,
    IDD_WIZ_LIST = 955,
    IDC_NAME = 1001,
    IDC_ENABLE = 1002,
    IDC_KIND = 1003,
    IDC_TIMEOUT = 1004,
    IDC_DEFAULT_BROWSER = 1005,
    IDC_NEW_WINDOW = 1006,
    IDC_OWN_BROWSER = 1007,
    IDC_BOOKMARKS = 1010,
    IDC_TIMEOUT_BAR = 1011,
    IDC_TIMEOUT_LABEL = 1012,
    IDC_MINUTES = 1020,
    IDC_ADDRESS_LINK = 1021,
    IDC_MINUTES_LABEL = 1022,
    IDC_SOURCE_IE = 1065,
    IDC_SOURCE_FF = 1066,
};

constexpr DWORD kPage = WS_CHILD | DS_SETFONT;

const taluvo::ui::DialogTemplateTable kTemplates {
    DialogTemplate { IDD_PAGE_GENERAL, nullptr, kPage, 250, 130, nullptr, 0,
        {
            { IDC_STATIC, u"Static", u"&Name:", SS_LEFT, 7, 9, 60, 8 },
            { IDC_NAME, u"Edit", u"", ES_AUTOHSCROLL | WS_TABSTOP, 70, 7, 173, 12, WS_EX_CLIENTEDGE },
            { IDC_ENABLE, u"Button", u"&Enable checks", BS_AUTOCHECKBOX | WS_TABSTOP, 7, 25, 236, 10 },
            { IDC_STATIC, u"Static", u"&Kind:", SS_LEFT, 7, 43, 60, 8 },
            { IDC_KIND, u"ComboBox", nullptr, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 70, 41, 100, 60 },
            { IDC_STATIC, u"Static", u"&Time-out (5 ... 60 sec.):", SS_LEFT, 7, 61, 90, 8 },
            { IDC_TIMEOUT, u"Edit", u"", ES_AUTOHSCROLL | WS_TABSTOP, 100, 59, 40, 12, WS_EX_CLIENTEDGE },
            { IDC_STATIC, u"Button", u"Browser", BS_GROUPBOX, 7, 77, 236, 48 },
            { IDC_DEFAULT_BROWSER, u"Button", u"&System default", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 88,
                200, 10 },
            { IDC_NEW_WINDOW, u"Button", u"Open in a &new window", BS_AUTOCHECKBOX | WS_TABSTOP, 24, 99, 190, 10 },
            { IDC_OWN_BROWSER, u"Button", u"&Own browser", BS_AUTORADIOBUTTON, 14, 110, 200, 10 },
            { IDC_STATIC, u"Static", u"", SS_LEFT | WS_GROUP, 0, 0, 0, 0 },
        } },
    DialogTemplate { IDD_PAGE_LIST, nullptr, kPage, 250, 130, nullptr, 0,
        {
            { IDC_BOOKMARKS, u"SysListView32", nullptr, LVS_REPORT | LVS_SINGLESEL | WS_TABSTOP, 7, 7, 236, 80,
                WS_EX_CLIENTEDGE },
            { IDC_STATIC, u"Static", u"Time-out:", SS_LEFT, 7, 98, 50, 8 },
            { IDC_TIMEOUT_BAR, u"msctls_trackbar32", nullptr, TBS_AUTOTICKS | WS_TABSTOP, 60, 94, 140, 16 },
            { IDC_TIMEOUT_LABEL, u"Static", u"0 sec.", SS_LEFT, 205, 98, 40, 8 },
        } },
    DialogTemplate { IDD_PAGE_INTERVAL, nullptr, kPage, 250, 130, nullptr, 0,
        {
            { IDC_STATIC, u"Static", u"Minutes:", SS_LEFT, 7, 9, 40, 8 },
            { IDC_MINUTES, u"ScrollBar", nullptr, SBS_HORZ | WS_TABSTOP, 50, 7, 150, 11 },
            { IDC_MINUTES_LABEL, u"Static", u"", SS_LEFT, 205, 9, 40, 8 },
            { IDC_STATIC, u"Static", u"Web page address:", SS_LEFT, 7, 30, 70, 8 },
            { IDC_ADDRESS_LINK, u"Static", u"Static", SS_LEFT | SS_NOTIFY | WS_TABSTOP, 80, 30, 160, 8 },
        } },
    DialogTemplate { IDD_WIZ_SOURCE, nullptr, kPage, 220, 100, nullptr, 0,
        {
            { IDC_STATIC, u"Static", u"Select import source:", SS_LEFT, 7, 7, 200, 8 },
            { IDC_SOURCE_IE, u"Button", u"Internet Explorer", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 22, 150,
                10 },
            { IDC_SOURCE_FF, u"Button", u"FireFox", BS_AUTORADIOBUTTON, 14, 36, 150, 10 },
        } },
    DialogTemplate { IDD_WIZ_LIST, nullptr, kPage, 220, 100, nullptr, 0,
        {
            { IDC_BOOKMARKS, u"SysListView32", nullptr, LVS_REPORT | WS_TABSTOP, 7, 7, 206, 86, WS_EX_CLIENTEDGE },
        } },
};

// What the pages heard, in order ("general:setactive", ...).
using Log = std::vector<std::string>;

class CGeneralPage : public CPropertyPageImpl<CGeneralPage>, public CWinDataExchange<CGeneralPage> {
public:
    enum { IDD = IDD_PAGE_GENERAL };
    Log* m_log = nullptr;
    QString m_name = QStringLiteral("start");
    bool m_enable = false;
    int m_timeout = 30;
    int m_browser = 1;
    BOOL m_newWindow = TRUE;
    QString m_kind;

    CGeneralPage()
        : CPropertyPageImpl<CGeneralPage>(QStringLiteral("General"))
    {
        m_psp.dwFlags |= PSP_PREMATURE;
    }
    BEGIN_MSG_MAP(CGeneralPage)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    CHAIN_MSG_MAP(CPropertyPageImpl<CGeneralPage>)
    END_MSG_MAP()
    BEGIN_DDX_MAP(CGeneralPage)
    DDX_TEXT(IDC_NAME, m_name)
    DDX_CHECK(IDC_ENABLE, m_enable)
    DDX_INT_RANGE(IDC_TIMEOUT, m_timeout, 5, 60)
    DDX_RADIO(IDC_DEFAULT_BROWSER, m_browser)
    DDX_CHECK(IDC_NEW_WINDOW, m_newWindow)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        m_log->push_back("general:init");
        CComboBox kind = GetDlgItem(IDC_KIND);
        for (const char* k : { "weekly", "daily", "hourly" })
            kind.AddString(QString::fromLatin1(k));
        DoDataExchange(FALSE);
        return FALSE;
    }
    int OnSetActive() override
    {
        m_log->push_back("general:setactive");
        return 0;
    }
    BOOL OnKillActive() override
    {
        const bool saved = DoDataExchange(TRUE);
        if (saved)
            m_kind = GetDlgItemText(IDC_KIND);
        m_log->push_back(saved ? "general:killactive" : "general:killactive-refused");
        return saved ? FALSE : TRUE;
    }
    int OnApply() override
    {
        m_log->push_back("general:apply");
        return static_cast<int>(PSNRET_NOERROR);
    }
    void OnReset() override { m_log->push_back("general:reset"); }
};

class CListPage : public CPropertyPageImpl<CListPage> {
public:
    enum { IDD = IDD_PAGE_LIST };
    Log* m_log = nullptr;
    CListViewCtrl m_list;
    CTrackBarCtrl m_bar;
    int m_timeout = 0;
    std::vector<std::string> m_scrolls; // "code@position"
    std::vector<std::pair<int, bool>> m_checks; // (row, checked) from LVN_ITEMCHANGED
    std::vector<bool> m_checked;

    CListPage()
        : CPropertyPageImpl<CListPage>(QStringLiteral("Bookmarks"))
    {
        m_psp.dwFlags |= PSP_PREMATURE;
    }
    BEGIN_MSG_MAP(CListPage)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
    NOTIFY_HANDLER(IDC_BOOKMARKS, LVN_ITEMCHANGED, OnItemChanged)
    CHAIN_MSG_MAP(CPropertyPageImpl<CListPage>)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        m_log->push_back("list:init");
        m_list = GetDlgItem(IDC_BOOKMARKS);
        m_list.SetExtendedListViewStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        m_list.InsertColumn(0, QStringLiteral("Name"), LVCFMT_LEFT, 150);
        m_list.InsertColumn(1, QStringLiteral("Url"), LVCFMT_LEFT, 200);
        m_list.DeleteAllItems();
        const char* rows[][2] = { { "News", "http://news.example/" }, { "Weather", "http://weather.example/" },
            { "Shop", "http://shop.example/" } };
        for (const auto& row : rows) {
            const int at = m_list.InsertItem(m_list.GetItemCount(), QString::fromLatin1(row[0]));
            m_list.SetItemText(at, 1, QString::fromLatin1(row[1]));
        }
        m_bar = GetDlgItem(IDC_TIMEOUT_BAR);
        m_bar.SetRange(5, 90);
        m_bar.SetTicFreq(5);
        m_bar.SetPos(120); // outside: the thumb stands at the end
        m_timeout = m_bar.GetPos();
        return FALSE;
    }
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        EXPECT_EQ(reinterpret_cast<HWND>(lParam), m_bar.m_hWnd);
        m_timeout = m_bar.GetPos();
        m_scrolls.push_back(std::to_string(LOWORD(wParam)) + "@" + std::to_string(m_timeout));
        SetDlgItemText(IDC_TIMEOUT_LABEL, QStringLiteral("%1 sec.").arg(m_timeout));
        return 0;
    }
    LRESULT OnItemChanged(int, LPNMHDR header, BOOL&)
    {
        auto* change = reinterpret_cast<LPNMLISTVIEW>(header);
        if ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK)
            m_checks.emplace_back(change->iItem, (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2));
        return 0;
    }
    int OnSetActive() override
    {
        m_log->push_back("list:setactive");
        return 0;
    }
    BOOL OnKillActive() override
    {
        m_log->push_back("list:killactive");
        return FALSE;
    }
    int OnApply() override
    {
        m_log->push_back("list:apply");
        m_checked.clear();
        for (int i = 0; i < m_list.GetItemCount(); ++i)
            m_checked.push_back(m_list.GetCheckState(i) != FALSE);
        return static_cast<int>(PSNRET_NOERROR);
    }
    void OnReset() override { m_log->push_back("list:reset"); }
};

// Made on first view (no PSP_PREMATURE); answers its notifications in its own map.
class CIntervalPage : public CPropertyPageImpl<CIntervalPage> {
public:
    enum { IDD = IDD_PAGE_INTERVAL };
    Log* m_log = nullptr;
    CScrollBar m_minutes;
    CHyperLink m_link;
    int m_linkClicks = 0;
    int m_position = -1;
    bool m_refuseCancel = false;

    CIntervalPage()
        : CPropertyPageImpl<CIntervalPage>(QStringLiteral("Interval"))
    {
    }
    BEGIN_MSG_MAP(CIntervalPage)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
    COMMAND_ID_HANDLER(IDC_ADDRESS_LINK, OnLink)
    NOTIFY_CODE_HANDLER(PSN_SETACTIVE, OnSetActiveNotify)
    NOTIFY_CODE_HANDLER(PSN_QUERYCANCEL, OnQueryCancelNotify)
    CHAIN_MSG_MAP(CPropertyPageImpl<CIntervalPage>)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        m_log->push_back("interval:init");
        m_minutes = GetDlgItem(IDC_MINUTES);
        SCROLLINFO info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMin = 0;
        info.nMax = 59;
        info.nPage = 1;
        info.nPos = 58;
        m_minutes.SetScrollInfo(&info);
        m_link.SubclassWindow(GetDlgItem(IDC_ADDRESS_LINK));
        m_link.SetHyperLinkExtendedStyle(HLINK_COMMANDBUTTON);
        m_link.SetLabel(QStringLiteral("http://a.example/"));
        m_link.SetHyperLink(QStringLiteral("http://a.example/"));
        return FALSE;
    }
    // One step per line and page action, as the interval pages move their bars.
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        int pos = m_minutes.GetScrollPos();
        switch (LOWORD(wParam)) {
        case SB_LINELEFT:
        case SB_PAGELEFT:
        case SB_LEFT:
            pos = std::max(0, pos - 1);
            break;
        case SB_LINERIGHT:
        case SB_PAGERIGHT:
        case SB_RIGHT:
            pos = std::min(59, pos + 1);
            break;
        case SB_THUMBTRACK:
            pos = static_cast<short>(HIWORD(wParam));
            break;
        default:
            break;
        }
        m_minutes.SetScrollPos(pos);
        m_position = m_minutes.GetScrollPos();
        SetDlgItemText(IDC_MINUTES_LABEL, QString::number(m_position));
        return 0;
    }
    LRESULT OnLink(WORD code, WORD, HWND, BOOL&)
    {
        EXPECT_EQ(code, BN_CLICKED);
        ++m_linkClicks;
        return 0;
    }
    LRESULT OnSetActiveNotify(int, LPNMHDR, BOOL&)
    {
        m_log->push_back("interval:setactive");
        return 0;
    }
    LRESULT OnQueryCancelNotify(int, LPNMHDR, BOOL&)
    {
        m_log->push_back(m_refuseCancel ? "interval:querycancel-refused" : "interval:querycancel");
        const bool refuse = m_refuseCancel;
        m_refuseCancel = false;
        return refuse ? TRUE : FALSE;
    }
    int OnApply() override
    {
        m_log->push_back("interval:apply");
        return static_cast<int>(PSNRET_NOERROR);
    }
    void OnReset() override { m_log->push_back("interval:reset"); }
};

class COptionsSheet : public CPropertySheetImpl<COptionsSheet> {
public:
    CGeneralPage m_general;
    CListPage m_list;
    CIntervalPage m_interval;
    Log m_log;
    bool m_initialised = false;

    COptionsSheet()
        : CPropertySheetImpl<COptionsSheet>(QStringLiteral("Preferences"))
    {
        m_psh.dwFlags |= PSH_NOAPPLYNOW;
        for (auto* log : { &m_general.m_log, &m_list.m_log, &m_interval.m_log })
            *log = &m_log;
        AddPage(m_general);
        AddPage(m_list);
        AddPage(m_interval);
    }
    BEGIN_MSG_MAP(COptionsSheet)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        m_log.push_back("sheet:init");
        m_initialised = true;
        return 0;
    }
};

QString ArtefactPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(TALUVO_UI_ARTEFACT_DIR));
    return QStringLiteral(TALUVO_UI_ARTEFACT_DIR "/") + name;
}

class UiPropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(UiPropertySheetTest, ThreePagesDrivenThroughTheHooks)
{
    COptionsSheet sheet;
    uitest::BeepRecorder beeps;
    Log atOpen;
    bool refusedStayed = false;
    QString timeoutLabel;
    uitest::ScopedDialogHook hook([&](HWND hwnd, WORD templateId) {
        EXPECT_EQ(templateId, 0);
        EXPECT_EQ(GetWindowText(hwnd), QStringLiteral("Preferences"));
        atOpen = sheet.m_log;
        EXPECT_EQ(GetDlgItem(hwnd, ID_APPLY_NOW), nullptr); // PSH_NOAPPLYNOW
        HWND general = sheet.GetActivePage();
        EXPECT_EQ(general, sheet.m_general.m_hWnd);
        EXPECT_EQ(SendMessage(hwnd, PSM_INDEXTOHWND, 2, 0), 0); // not made yet

        // Fields of the first page, typed and clicked; a time-out out of range.
        HWND name = GetDlgItem(general, IDC_NAME);
        CEdit(name).SetSelAll();
        uitest::TypeText(name, QStringLiteral("Home"));
        uitest::Click(GetDlgItem(general, IDC_ENABLE));
        EXPECT_TRUE(uitest::SelectComboItem(GetDlgItem(general, IDC_KIND), 0));
        HWND timeout = GetDlgItem(general, IDC_TIMEOUT);
        CEdit(timeout).SetSelAll();
        uitest::TypeText(timeout, QStringLiteral("4"));
        uitest::Click(GetDlgItem(general, IDC_DEFAULT_BROWSER));
        EXPECT_FALSE(uitest::SelectSheetTab(hwnd, 1)); // refused: the time-out is out of range
        refusedStayed = sheet.GetActivePage() == general && sheet.GetActiveIndex() == 0;
        CEdit(timeout).SetSelAll();
        uitest::TypeText(timeout, QStringLiteral("45"));
        EXPECT_TRUE(uitest::SelectSheetTab(hwnd, 1));

        // The list page: a row checked, the trackbar moved by page and dragged.
        HWND list = GetDlgItem(sheet.m_list, IDC_BOOKMARKS);
        EXPECT_TRUE(uitest::CheckListRow(list, 1, true));
        EXPECT_TRUE(uitest::CheckListRow(list, 2, true));
        EXPECT_TRUE(uitest::CheckListRow(list, 2, false));
        HWND bar = GetDlgItem(sheet.m_list, IDC_TIMEOUT_BAR);
        EXPECT_TRUE(uitest::ScrollControl(bar, TB_PAGEUP));
        EXPECT_TRUE(uitest::DragThumb(bar, 20));
        timeoutLabel = GetDlgItemText(sheet.m_list, IDC_TIMEOUT_LABEL);

        // Ctrl+PageDown to the third page, made now; its bar and link.
        uitest::PressKey(list, VK_NEXT, true, false, false);
        HWND interval = sheet.GetActivePage();
        EXPECT_EQ(interval, sheet.m_interval.m_hWnd);
        HWND minutes = GetDlgItem(interval, IDC_MINUTES);
        EXPECT_TRUE(uitest::ScrollControl(minutes, SB_PAGERIGHT)); // one step, not a page
        EXPECT_TRUE(uitest::ScrollControl(minutes, SB_LINERIGHT)); // already at 59
        EXPECT_TRUE(uitest::ClickLink(GetDlgItem(interval, IDC_ADDRESS_LINK)));

        QWidget* widget = taluvo::ui::detail::WidgetOf(hwnd);
        widget->grab().save(ArtefactPath(QStringLiteral("property-sheet.png")));
        EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_OK));
    });
    EXPECT_EQ(sheet.DoModal(nullptr), 1);
    EXPECT_FALSE(sheet.IsWindow());

    // The premature pages were all initialised before the first became active, then the sheet.
    EXPECT_EQ(atOpen, (Log { "general:init", "list:init", "general:setactive", "sheet:init" }));
    EXPECT_TRUE(refusedStayed);
    EXPECT_EQ(beeps.Beeps(), std::vector<UINT> { 0xFFFFFFFF });
    const Log expected { "general:init", "list:init", "general:setactive", "sheet:init", "general:killactive-refused",
        "general:killactive", "list:setactive", "list:killactive", "interval:init", "interval:setactive",
        "general:apply", "list:apply", "interval:apply" };
    EXPECT_EQ(sheet.m_log, expected);

    EXPECT_EQ(sheet.m_general.m_name, QStringLiteral("Home"));
    EXPECT_TRUE(sheet.m_general.m_enable);
    EXPECT_EQ(sheet.m_general.m_timeout, 45);
    EXPECT_EQ(sheet.m_general.m_browser, 0); // the check box between the radios is not counted
    EXPECT_EQ(sheet.m_general.m_kind, QStringLiteral("daily")); // sorted: daily, hourly, weekly
    EXPECT_EQ(sheet.m_list.m_checks, (std::vector<std::pair<int, bool>> { { 1, true }, { 2, true }, { 2, false } }));
    EXPECT_EQ(sheet.m_list.m_checked, (std::vector<bool> { false, true, false }));
    // 120 stood at 90; a page up is a fifth of the range (17) before the drag to 20.
    EXPECT_EQ(sheet.m_list.m_scrolls, (std::vector<std::string> { "2@73", "8@73", "5@20", "4@20", "8@20" }));
    EXPECT_EQ(timeoutLabel, QStringLiteral("20 sec."));
    EXPECT_EQ(sheet.m_interval.m_position, 59);
    EXPECT_EQ(sheet.m_interval.m_linkClicks, 1);
}

TEST_F(UiPropertySheetTest, CancelAsksTheActivePageThenResetsEveryPageMade)
{
    COptionsSheet sheet;
    sheet.m_interval.m_refuseCancel = true;
    sheet.m_psh.nStartPage = 2;
    bool stayedAfterRefusal = false;
    uitest::ScopedDialogHook hook([&](HWND hwnd, WORD) {
        uitest::PressKey(sheet.GetActivePage(), VK_ESCAPE);
        stayedAfterRefusal = IsWindowVisible(hwnd) != FALSE;
        EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_CANCEL));
    });
    EXPECT_EQ(sheet.DoModal(nullptr), 0);
    EXPECT_TRUE(stayedAfterRefusal);
    const Log expected { "general:init", "list:init", "interval:init", "interval:setactive", "sheet:init",
        "interval:querycancel-refused", "interval:querycancel", "general:reset", "list:reset", "interval:reset" };
    EXPECT_EQ(sheet.m_log, expected);
    EXPECT_EQ(sheet.m_general.m_name, QStringLiteral("start")); // nothing taken from the controls
}

TEST_F(UiPropertySheetTest, WithoutDisplayOrHookTheSheetIsCancelled)
{
    COptionsSheet sheet;
    testing::internal::CaptureStderr();
    EXPECT_EQ(sheet.DoModal(nullptr), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Preferences"), std::string::npos) << err;
    EXPECT_EQ(sheet.m_log.back(), "list:reset"); // the third page was never made
}

TEST_F(UiPropertySheetTest, ASheetWithoutPagesOrWithAnUnknownTemplateFails)
{
    CPropertySheet empty(QStringLiteral("Empty"));
    EXPECT_EQ(empty.DoModal(nullptr), -1);
    PROPSHEETPAGE page;
    page.pszTemplate = MAKEINTRESOURCE(4711);
    EXPECT_EQ(CreatePropertySheetPage(&page), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

// ---------------------------------------------------------------------------------------------
// Wizard

class CSourcePage : public CPropertyPageImpl<CSourcePage> {
public:
    enum { IDD = IDD_WIZ_SOURCE };
    Log* m_log = nullptr;
    int m_source = 0;
    CSourcePage()
        : CPropertyPageImpl<CSourcePage>(QStringLiteral("Select import source"))
    {
    }
    BEGIN_MSG_MAP(CSourcePage)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    CHAIN_MSG_MAP(CPropertyPageImpl<CSourcePage>)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        taluvo::ui::SetRadioGroupIndex(m_hWnd, IDC_SOURCE_IE, m_source);
        return FALSE;
    }
    int OnSetActive() override
    {
        m_log->push_back("source:setactive");
        ::PostMessage(GetParent(), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
        return 0;
    }
    int OnWizardNext() override
    {
        m_source = taluvo::ui::GetRadioGroupIndex(m_hWnd, IDC_SOURCE_IE);
        m_log->push_back("source:next");
        return 0;
    }
    BOOL OnKillActive() override
    {
        m_log->push_back("source:killactive");
        return FALSE;
    }
};

class CBookmarksPage : public CPropertyPageImpl<CBookmarksPage> {
public:
    enum { IDD = IDD_WIZ_LIST };
    Log* m_log = nullptr;
    int m_finishRefusals = 1;
    CBookmarksPage()
        : CPropertyPageImpl<CBookmarksPage>(QStringLiteral("Import bookmarks"))
    {
    }
    BEGIN_MSG_MAP(CBookmarksPage)
    CHAIN_MSG_MAP(CPropertyPageImpl<CBookmarksPage>)
    END_MSG_MAP()
    int OnSetActive() override
    {
        m_log->push_back("list:setactive");
        SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
        return 0;
    }
    int OnWizardBack() override
    {
        m_log->push_back("list:back");
        return 0;
    }
    BOOL OnKillActive() override
    {
        m_log->push_back("list:killactive");
        return FALSE;
    }
    INT_PTR OnWizardFinish() override
    {
        const bool refuse = m_finishRefusals-- > 0;
        m_log->push_back(refuse ? "list:finish-refused" : "list:finish");
        return refuse ? TRUE : FALSE;
    }
};

struct WizardButtons {
    bool backEnabled, nextShown, nextEnabled, finishShown, finishEnabled;
    bool operator==(const WizardButtons&) const = default;
};

WizardButtons ButtonsOf(HWND sheet)
{
    // What the user sees: posted button changes arrive first.
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessage(&msg);
    HWND next = GetDlgItem(sheet, ID_WIZNEXT);
    HWND finish = GetDlgItem(sheet, ID_WIZFINISH);
    return { IsWindowEnabled(GetDlgItem(sheet, ID_WIZBACK)) != FALSE, IsWindowVisible(next) != FALSE,
        IsWindowEnabled(next) != FALSE, IsWindowVisible(finish) != FALSE, IsWindowEnabled(finish) != FALSE };
}

TEST_F(UiPropertySheetTest, WizardWalksNextBackAndFinishWithTheButtonsItsPagesSet)
{
    CPropertySheet sheet(QStringLiteral("Import bookmarks"));
    sheet.SetWizardMode();
    CSourcePage source;
    CBookmarksPage bookmarks;
    Log log;
    source.m_log = &log;
    bookmarks.m_log = &log;
    ASSERT_TRUE(sheet.AddPage(source));
    ASSERT_TRUE(sheet.AddPage(bookmarks));
    std::vector<WizardButtons> seen;
    bool backRefused = false;
    bool finishRefusedStayed = false;
    uitest::ScopedDialogHook hook([&](HWND hwnd, WORD) {
        EXPECT_EQ(GetDlgItem(hwnd, IDOK), nullptr);
        seen.push_back(ButtonsOf(hwnd));
        backRefused = !uitest::PressSheetButton(hwnd, PSBTN_BACK);
        uitest::Click(GetDlgItem(source, IDC_SOURCE_FF));
        EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_NEXT));
        seen.push_back(ButtonsOf(hwnd));
        EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_BACK));
        seen.push_back(ButtonsOf(hwnd));
        EXPECT_EQ(taluvo::ui::GetRadioGroupIndex(source, IDC_SOURCE_IE), 1); // as the user left it
        uitest::PressKey(GetDlgItem(source, IDC_SOURCE_FF), VK_RETURN); // Enter is Next
        EXPECT_EQ(sheet.GetActivePage(), bookmarks.m_hWnd);
        EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_FINISH));
        finishRefusedStayed = IsWindowVisible(hwnd) && sheet.GetActivePage() == bookmarks.m_hWnd;
        QWidget* widget = taluvo::ui::detail::WidgetOf(hwnd);
        widget->grab().save(ArtefactPath(QStringLiteral("wizard.png")));
        EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_FINISH));
    });
    EXPECT_EQ(sheet.DoModal(nullptr), 1);
    EXPECT_TRUE(backRefused);
    EXPECT_TRUE(finishRefusedStayed);
    EXPECT_EQ(source.m_source, 1);
    const WizardButtons sourceButtons { false, true, true, false, false };
    const WizardButtons listButtons { true, false, false, true, true };
    EXPECT_EQ(seen, (std::vector<WizardButtons> { sourceButtons, listButtons, sourceButtons }));
    const Log expected { "source:setactive", "source:next", "source:killactive", "list:setactive", "list:back",
        "list:killactive", "source:setactive", "source:next", "source:killactive", "list:setactive",
        "list:finish-refused", "list:finish" };
    EXPECT_EQ(log, expected);
}

TEST_F(UiPropertySheetTest, CancelledWizardReturnsZeroAndUnusedPageHandlesAreTheCallers)
{
    CPropertySheet sheet(QStringLiteral("Import bookmarks"));
    sheet.SetWizardMode();
    CSourcePage source;
    Log log;
    source.m_log = &log;
    sheet.AddPage(source);
    uitest::ScopedDialogHook hook([&](HWND hwnd, WORD) { EXPECT_TRUE(uitest::PressSheetButton(hwnd, PSBTN_CANCEL)); });
    EXPECT_EQ(sheet.DoModal(nullptr), 0);
    HPROPSHEETPAGE unused = CreatePropertySheetPage(source);
    ASSERT_NE(unused, nullptr);
    EXPECT_TRUE(DestroyPropertySheetPage(unused));
}

} // namespace
