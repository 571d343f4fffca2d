// The dialog framework and the simple controls, driven through the test hooks as a user would.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/TestHooks.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTimer>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace {

using taluvo::ui::DialogItem;
using taluvo::ui::DialogTemplate;
namespace uitest = taluvo::ui::test;

enum : int {
    IDD_ALL = 901,
    IDD_SMALL = 902,
    IDC_EDIT = 1013,
    IDC_UPPER = 1014,
    IDC_OUTPUT = 2029,
    IDC_LABEL = 1020,
    IDC_PROGRESS = 2034,
    IDC_ICON = 1021,
    IDC_LINE = 1022,
    IDC_CHECK = 1060,
    IDC_MANUAL = 1061,
    IDC_RADIO1 = 1065,
    IDC_RADIO2 = 1066,
    IDC_RADIO3 = 1067,
    IDC_COMBO = 1057,
    IDC_GROUP = 1070,
    IDC_TEST = 2033,
};

const taluvo::ui::DialogTemplateTable kTemplates {
    DialogTemplate { IDD_ALL, u"Every control", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 260, 200,
        u"Sans Serif", 8,
        {
            { IDC_LABEL, u"Static", u"&Address:", SS_LEFT, 7, 9, 50, 8 },
            { IDC_EDIT, u"Edit", u"", ES_AUTOHSCROLL | WS_TABSTOP, 60, 7, 190, 12, WS_EX_CLIENTEDGE },
            { IDC_UPPER, u"Edit", u"", ES_UPPERCASE | ES_AUTOHSCROLL | WS_TABSTOP, 60, 23, 60, 12 },
            { IDC_OUTPUT, u"Edit", u"", ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL, 7, 40, 243, 40 },
            { IDC_PROGRESS, u"Static", u"", SS_CENTER | SS_CENTERIMAGE, 7, 84, 243, 10 },
            { IDC_ICON, u"Static", nullptr, SS_ICON, 7, 98, 20, 20 },
            { IDC_LINE, u"Static", nullptr, SS_ETCHEDHORZ, 7, 122, 243, 1 },
            { IDC_GROUP, u"Button", u"Choice", BS_GROUPBOX, 7, 126, 120, 50 },
            { IDC_RADIO1, u"Button", u"&First", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 136, 100, 10 },
            { IDC_RADIO2, u"Button", u"&Second", BS_AUTORADIOBUTTON, 14, 148, 100, 10 },
            { IDC_RADIO3, u"Button", u"&Other group", BS_AUTORADIOBUTTON | WS_GROUP, 14, 160, 100, 10 },
            { IDC_CHECK, u"Button", u"&Enabled", BS_AUTOCHECKBOX | WS_TABSTOP, 134, 130, 100, 10 },
            { IDC_MANUAL, u"Button", u"&Manual", BS_CHECKBOX | WS_TABSTOP, 134, 142, 100, 10 },
            { IDC_COMBO, u"ComboBox", nullptr, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 134, 156, 116,
                60 },
            { IDC_TEST, u"Button", u"&Test", BS_PUSHBUTTON | WS_TABSTOP, 7, 180, 50, 14 },
            { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 146, 180, 50, 14 },
            { IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 200, 180, 50, 14 },
        } },
    DialogTemplate { IDD_SMALL, u"Small", WS_POPUP | WS_CAPTION | WS_SYSMENU, 120, 60, nullptr, 0,
        {
            { IDC_EDIT, u"Edit", u"start", ES_AUTOHSCROLL | WS_TABSTOP, 7, 7, 106, 12 },
            { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 40, 50, 14 },
            { IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 63, 40, 50, 14 },
        } },
};

// A dialog that records the notifications of its controls and reads them on OK.
class CAllDlg : public CDialogImpl<CAllDlg> {
public:
    enum { IDD = IDD_ALL };
    LPARAM m_initParam = -1;
    std::vector<std::pair<int, int>> m_commands; // (id, code) in arrival order
    std::vector<UINT> m_notifies;
    QString m_address, m_upper, m_comboText;
    int m_check = -1, m_radio1 = -1, m_radio2 = -1, m_combo = -2;
    CEdit m_editAddress;
    CEdit m_output;
    CStatic m_progress;
    CComboBox m_comboBox;
    std::function<void(CAllDlg&)> onInit;
    HICON m_bigIcon = nullptr;

    BEGIN_MSG_MAP(CAllDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    COMMAND_RANGE_HANDLER(1000, 2999, OnControl)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        m_initParam = lParam;
        m_editAddress = GetDlgItem(IDC_EDIT);
        m_output = GetDlgItem(IDC_OUTPUT);
        m_progress = GetDlgItem(IDC_PROGRESS);
        m_comboBox = GetDlgItem(IDC_COMBO);
        for (const char16_t* s : { u"gamma", u"Alpha", u"beta" })
            m_comboBox.AddString(QString::fromUtf16(s));
        if (m_bigIcon)
            SetIcon(m_bigIcon, TRUE);
        CenterWindow(GetParent());
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        m_notifies.push_back(reinterpret_cast<LPNMHDR>(lParam)->code);
        return 0;
    }
    LRESULT OnControl(WORD code, WORD id, HWND hwndCtl, BOOL&)
    {
        EXPECT_EQ(hwndCtl, GetDlgItem(id));
        m_commands.emplace_back(id, code);
        return 0;
    }
    LRESULT OnOk(WORD, WORD, HWND, BOOL&)
    {
        m_address = m_editAddress.GetWindowText();
        m_upper = GetDlgItemText(IDC_UPPER);
        m_check = static_cast<int>(IsDlgButtonChecked(IDC_CHECK));
        m_radio1 = static_cast<int>(IsDlgButtonChecked(IDC_RADIO1));
        m_radio2 = static_cast<int>(IsDlgButtonChecked(IDC_RADIO2));
        m_combo = m_comboBox.GetCurSel();
        m_comboText = m_comboBox.GetWindowText();
        EndDialog(IDOK);
        return 0;
    }
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&)
    {
        EndDialog(IDCANCEL);
        return 0;
    }
    int Count(int id, int code) const
    {
        return static_cast<int>(std::count(m_commands.begin(), m_commands.end(), std::make_pair(id, code)));
    }
};

class UiDialogTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(UiDialogTest, TemplateDialogDrivenThroughTheHooks)
{
    CAllDlg dlg;
    std::map<int, QString> classes;
    uitest::ScopedDialogHook hook([&](HWND hwnd, WORD templateId) {
        EXPECT_EQ(templateId, IDD_ALL);
        // Every control of the template is there by its id, of its class.
        for (int id : std::initializer_list<int> { IDC_LABEL, IDC_EDIT, IDC_UPPER, IDC_OUTPUT, IDC_PROGRESS, IDC_ICON,
                 IDC_LINE, IDC_GROUP, IDC_RADIO1, IDC_RADIO2, IDC_RADIO3, IDC_CHECK, IDC_MANUAL, IDC_COMBO, IDC_TEST,
                 IDOK, IDCANCEL }) {
            HWND item = GetDlgItem(hwnd, id);
            ASSERT_NE(item, nullptr) << id;
            EXPECT_EQ(GetDlgCtrlID(item), id);
            char16_t name[64];
            GetClassName(item, name, 64);
            classes[id] = QString::fromUtf16(name);
        }
        uitest::TypeText(GetDlgItem(hwnd, IDC_EDIT), QStringLiteral("http://a.example/"));
        uitest::TypeText(GetDlgItem(hwnd, IDC_UPPER), QStringLiteral("usd"));
        uitest::TypeText(GetDlgItem(hwnd, IDC_OUTPUT), QStringLiteral("ignored")); // read-only
        uitest::Click(GetDlgItem(hwnd, IDC_CHECK));
        uitest::Click(GetDlgItem(hwnd, IDC_MANUAL)); // notifies, but only the program checks it
        uitest::Click(GetDlgItem(hwnd, IDC_RADIO1));
        uitest::Click(GetDlgItem(hwnd, IDC_RADIO3)); // another group: the first keeps its check
        uitest::Click(GetDlgItem(hwnd, IDC_RADIO2)); // same group as the first: it clears it
        EXPECT_TRUE(uitest::SelectComboItem(GetDlgItem(hwnd, IDC_COMBO), 1));
        uitest::Click(GetDlgItem(hwnd, IDC_TEST));
        NMHDR nm { GetDlgItem(hwnd, IDC_COMBO), IDC_COMBO, NM_SETFOCUS };
        SendMessage(hwnd, WM_NOTIFY, IDC_COMBO, reinterpret_cast<LPARAM>(&nm));
        uitest::PressKey(GetDlgItem(hwnd, IDC_EDIT), VK_RETURN); // the default button
    });
    EXPECT_EQ(dlg.DoModal(nullptr, 77), IDOK);
    EXPECT_EQ(dlg.m_initParam, 77);
    EXPECT_FALSE(dlg.IsWindow());
    EXPECT_EQ(classes[IDC_EDIT], QStringLiteral("Edit"));
    EXPECT_EQ(classes[IDC_COMBO], QStringLiteral("ComboBox"));
    EXPECT_EQ(classes[IDC_GROUP], QStringLiteral("Button"));
    EXPECT_EQ(classes[IDC_LINE], QStringLiteral("Static"));

    EXPECT_EQ(dlg.m_address, QStringLiteral("http://a.example/"));
    EXPECT_EQ(dlg.Count(IDC_EDIT, EN_CHANGE), 17); // one per typed character
    EXPECT_EQ(dlg.m_upper, QStringLiteral("USD"));
    EXPECT_EQ(dlg.Count(IDC_OUTPUT, EN_CHANGE), 0);
    EXPECT_EQ(dlg.m_check, BST_CHECKED);
    EXPECT_EQ(dlg.Count(IDC_CHECK, BN_CLICKED), 1);
    EXPECT_EQ(dlg.Count(IDC_MANUAL, BN_CLICKED), 1);
    EXPECT_EQ(dlg.m_radio1, BST_UNCHECKED);
    EXPECT_EQ(dlg.m_radio2, BST_CHECKED);
    EXPECT_EQ(dlg.Count(IDC_TEST, BN_CLICKED), 1);
    EXPECT_EQ(dlg.Count(IDC_COMBO, CBN_SELCHANGE), 1);
    EXPECT_EQ(dlg.m_combo, 1); // sorted: Alpha, beta, gamma
    EXPECT_EQ(dlg.m_comboText, QStringLiteral("beta"));
    EXPECT_EQ(dlg.m_notifies, std::vector<UINT> { NM_SETFOCUS });
}

TEST_F(UiDialogTest, EscapeAndCloseBoxCancelAndEnterWithoutDefaultSendsOk)
{
    struct Case {
        const char* what;
        std::function<void(HWND)> act;
        INT_PTR expected;
    };
    const Case cases[] = {
        { "escape", [](HWND h) { uitest::PressKey(GetDlgItem(h, IDC_EDIT), VK_ESCAPE); }, IDCANCEL },
        { "close box", [](HWND h) { SendMessage(h, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL },
        { "close event", [](HWND h) { PostMessage(h, WM_CLOSE, 0, 0); }, IDCANCEL },
        { "enter", [](HWND h) { uitest::PressKey(GetDlgItem(h, IDC_EDIT), VK_RETURN); }, IDOK },
        { "cancel click", [](HWND h) { uitest::Click(GetDlgItem(h, IDCANCEL)); }, IDCANCEL },
    };
    for (const auto& c : cases) {
        CAllDlg dlg;
        uitest::ScopedDialogHook hook([&](HWND h, WORD) { c.act(h); });
        EXPECT_EQ(dlg.DoModal(nullptr), c.expected) << c.what;
    }
}

TEST_F(UiDialogTest, WithoutDisplayOrHookADialogIsCancelledAtOnce)
{
    testing::internal::CaptureStderr();
    CAllDlg dlg;
    EXPECT_EQ(dlg.DoModal(nullptr, 5), IDCANCEL);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(dlg.m_initParam, 5); // it was made and initialised like any other
    EXPECT_NE(err.find("Every control"), std::string::npos) << err;
}

TEST_F(UiDialogTest, MissingTemplateFails)
{
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(4711), nullptr, nullptr, 0), -1);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST_F(UiDialogTest, FiltersOfTheMainLoopDoNotRunInsideAModalDialog)
{
    class CKeyLog : public CMessageFilter {
    public:
        int keys = 0;
        BOOL PreTranslateMessage(MSG* pMsg) override
        {
            keys += pMsg->message == WM_KEYDOWN;
            return FALSE;
        }
    } filter;
    CMessageLoop loop;
    loop.AddMessageFilter(&filter);
    CAllDlg dlg;
    uitest::ScopedDialogHook hook([&](HWND h, WORD) {
        uitest::TypeText(GetDlgItem(h, IDC_EDIT), QStringLiteral("abc"));
        uitest::Click(GetDlgItem(h, IDOK));
    });
    // The dialog runs from a message the main loop dispatches.
    class CRunner : public CWindowImpl<CRunner> {
    public:
        std::function<void()> run;
        BEGIN_MSG_MAP(CRunner)
        MESSAGE_HANDLER(WM_APP, OnApp)
        END_MSG_MAP()
        LRESULT OnApp(UINT, WPARAM, LPARAM, BOOL&)
        {
            run();
            return 0;
        }
    } runner;
    ASSERT_TRUE(runner.Create(nullptr));
    runner.run = [&] {
        EXPECT_EQ(dlg.DoModal(runner), IDOK);
        PostQuitMessage(0);
    };
    runner.PostMessage(WM_APP);
    loop.Run();
    EXPECT_EQ(dlg.m_address, QStringLiteral("abc"));
    EXPECT_EQ(filter.keys, 0);
    runner.DestroyWindow();
}

TEST_F(UiDialogTest, WorkerSendIsServedWhileAModalDialogRuns)
{
    // The dialog stays open until the worker's message ends it from inside the modal loop.
    class CWaitDlg : public CDialogImpl<CWaitDlg> {
    public:
        enum { IDD = IDD_SMALL };
        BEGIN_MSG_MAP(CWaitDlg)
        MESSAGE_HANDLER(WM_APP + 5, OnWorker)
        END_MSG_MAP()
        LRESULT OnWorker(UINT, WPARAM wParam, LPARAM, BOOL&)
        {
            EndDialog(IDOK);
            return static_cast<LRESULT>(wParam + 1);
        }
    } dlg;
    std::atomic<LRESULT> result { -1 };
    std::thread worker;
    uitest::ScopedDialogHook hook(
        [&](HWND h, WORD) { worker = std::thread([&, h] { result = SendMessage(h, WM_APP + 5, 41, 0); }); });
    EXPECT_EQ(dlg.DoModal(nullptr), IDOK);
    worker.join();
    EXPECT_EQ(result.load(), 42);
}

TEST_F(UiDialogTest, CentringOverTheOwnerOrTheWorkAreaAndTheBigIcon)
{
    taluvo::test::TempDir dir;
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(dir.File("icon.png"))));
    taluvo::ui::RegisterIconResource(128, QString::fromStdString(dir.File("icon.png")));
    HICON icon = LoadIcon(nullptr, MAKEINTRESOURCE(128));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIcon(nullptr, MAKEINTRESOURCE(129)), nullptr);

    // NOLINTBEGIN(bugprone-branch-clone): an empty map passes every message on, its own case as the default
    // A local class with a message map would be laid out on one line.
    // clang-format off
    class COwner : public CWindowImpl<COwner> {
    public:
        BEGIN_MSG_MAP(COwner)
        END_MSG_MAP()
    } owner;
    // clang-format on
    // NOLINTEND(bugprone-branch-clone)
    RECT ownerRect { 100, 80, 500, 380 };
    ASSERT_TRUE(owner.Create(nullptr, &ownerRect, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    const RECT work = GetWorkArea(nullptr);
    for (bool ownerVisible : { true, false }) {
        owner.ShowWindow(ownerVisible ? SW_SHOW : SW_HIDE);
        CAllDlg dlg;
        dlg.m_bigIcon = icon;
        RECT placed {};
        HICON seen = nullptr;
        uitest::ScopedDialogHook hook([&](HWND h, WORD) {
            GetWindowRect(h, &placed);
            seen = CWindow(h).GetIcon(TRUE);
            EndDialog(h, IDCANCEL);
        });
        dlg.DoModal(owner);
        RECT area = work;
        if (ownerVisible)
            owner.GetWindowRect(&area);
        const int cx = (placed.left + placed.right) / 2;
        const int cy = (placed.top + placed.bottom) / 2;
        // NOLINTNEXTLINE(bugprone-integer-division): whole pixels
        EXPECT_NEAR(cx, (area.left + area.right) / 2, 2) << ownerVisible;
        // NOLINTNEXTLINE(bugprone-integer-division): whole pixels
        EXPECT_NEAR(cy, (area.top + area.bottom) / 2, 2) << ownerVisible;
        EXPECT_GE(placed.left, work.left);
        EXPECT_GE(placed.top, work.top);
        EXPECT_EQ(seen, icon);
    }
    owner.DestroyWindow();
}

TEST_F(UiDialogTest, DialogUnitsFollowTheFont)
{
    class CSmallDlg : public CDialogImpl<CSmallDlg> {
    public:
        enum { IDD = IDD_SMALL };
        BEGIN_MSG_MAP(CSmallDlg) // NOLINT(bugprone-branch-clone): an empty map passes every message on, its own case as
                                 // the default
        END_MSG_MAP()
    } dlg;
    RECT units { 0, 0, 4, 8 };
    RECT edit {};
    RECT client {};
    uitest::ScopedDialogHook hook([&](HWND h, WORD) {
        MapDialogRect(h, &units);
        GetClientRect(GetDlgItem(h, IDC_EDIT), &edit);
        GetClientRect(h, &client);
        EndDialog(h, IDOK);
    });
    dlg.DoModal(nullptr);
    // Four horizontal units are one average character, eight vertical ones a line.
    EXPECT_GE(units.right, 4);
    EXPECT_LE(units.right, 12);
    EXPECT_GE(units.bottom, 10);
    EXPECT_LE(units.bottom, 30);
    EXPECT_EQ(client.right, (120 * units.right + 2) / 4);
    EXPECT_NEAR(
        edit.right, 106 * units.right / 4, 1); // NOLINT(bugprone-integer-division): dialog units map to whole pixels
}

TEST_F(UiDialogTest, ShutdownEndsModalLoopsAsIfCancelled)
{
    // A message box inside a dialog: ending every modal loop cancels both, innermost first.
    CAllDlg dlg;
    int boxAnswer = 0;
    uitest::ScopedMessageBoxHook boxHook([](const uitest::MessageBoxRequest&) {
        QTimer::singleShot(0, [] { taluvo::ui::EndAllModalLoops(); });
        return 0;
    });
    uitest::ScopedDialogHook hook([&](HWND h, WORD) {
        boxAnswer = MessageBox(h, QStringLiteral("Sure?"), QStringLiteral("Confirmation."), MB_YESNOCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(boxAnswer, IDCANCEL);
}

TEST_F(UiDialogTest, QuitPostedInsideADialogEndsItAndReachesTheMainLoop)
{
    CAllDlg dlg;
    uitest::ScopedDialogHook hook([](HWND, WORD) { PostQuitMessage(4); });
    EXPECT_EQ(dlg.DoModal(nullptr), IDCANCEL);
    MSG msg;
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 4u);
}

// Controls outside a dialog's run: the operations program code performs on them.
class UiControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        m_dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(IDD_ALL), nullptr, &UiControlsTest::Proc, 0);
        ASSERT_NE(m_dlg, nullptr);
        s_commands.clear();
    }
    void TearDown() override { DestroyWindow(m_dlg); }
    static INT_PTR Proc(HWND, UINT message, WPARAM wParam, LPARAM)
    {
        if (message == WM_COMMAND)
            s_commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return message == WM_INITDIALOG;
    }
    static inline std::vector<std::pair<int, int>> s_commands;
    HWND m_dlg = nullptr;
};

TEST_F(UiControlsTest, EditSelectionReplaceAppendAndLimit)
{
    CEdit edit = GetDlgItem(m_dlg, IDC_EDIT);
    edit.SetWindowText(QStringLiteral("hello world"));
    edit.SetWindowText(QStringLiteral("hello world"));
    // Programmatic text notifies too, also when it is the same text.
    EXPECT_EQ(s_commands, (std::vector<std::pair<int, int>> { { IDC_EDIT, EN_CHANGE }, { IDC_EDIT, EN_CHANGE } }));
    edit.SetSel(6, -1);
    int start = 0, end = 0;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 6);
    EXPECT_EQ(end, 11);
    edit.ReplaceSel(QStringLiteral("there"));
    EXPECT_EQ(edit.GetWindowText(), QStringLiteral("hello there"));
    edit.SetSel(-1, 0); // removes the selection
    edit.SetLimitText(12);
    uitest::TypeText(edit, QStringLiteral("!?"));
    EXPECT_EQ(edit.GetWindowText().size(), 12);
    EXPECT_EQ(edit.GetLimitText(), 12u);

    // The multi-line output edit speaks Windows line breaks and is appended to at the end.
    CEdit output = GetDlgItem(m_dlg, IDC_OUTPUT);
    output.SetWindowText(QStringLiteral("first\r\n"));
    output.AppendText(QStringLiteral("second\r\nthird"));
    EXPECT_EQ(output.GetWindowText(), QStringLiteral("first\r\nsecond\r\nthird"));
    EXPECT_EQ(output.GetWindowTextLength(), 20);
    output.GetSel(start, end);
    EXPECT_EQ(start, 20); // caret after the appended text, counted with two-unit line breaks
    EXPECT_EQ(output.GetLineCount(), 3);
    output.SetSel(7, 13);
    output.ReplaceSel(QStringLiteral("2nd"));
    EXPECT_EQ(output.GetWindowText(), QStringLiteral("first\r\n2nd\r\nthird"));
}

TEST_F(UiControlsTest, CheckBoxRadioAndStatic)
{
    CButton check = GetDlgItem(m_dlg, IDC_CHECK);
    const std::pair<WPARAM, int> states[] = { { BST_CHECKED, BST_CHECKED }, { BST_UNCHECKED, BST_UNCHECKED },
        { 2, BST_UNCHECKED }, { 5, BST_UNCHECKED } };
    for (auto [set, expected] : states) {
        check.SetCheck(static_cast<int>(set));
        EXPECT_EQ(check.GetCheck(), expected) << set;
    }
    EXPECT_TRUE(s_commands.empty()); // setting a check is silent
    CButton manual = GetDlgItem(m_dlg, IDC_MANUAL);
    uitest::Click(manual);
    EXPECT_EQ(manual.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(s_commands, (std::vector<std::pair<int, int>> { { IDC_MANUAL, BN_CLICKED } }));
    CheckRadioButton(m_dlg, IDC_RADIO1, IDC_RADIO2, IDC_RADIO2);
    EXPECT_EQ(IsDlgButtonChecked(m_dlg, IDC_RADIO1), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(m_dlg, IDC_RADIO2), BST_CHECKED);

    CStatic label = GetDlgItem(m_dlg, IDC_LABEL);
    EXPECT_EQ(label.GetWindowText(), QStringLiteral("&Address:"));
    SetDlgItemText(m_dlg, IDC_PROGRESS, QStringLiteral("Connecting..."));
    EXPECT_EQ(GetDlgItemText(m_dlg, IDC_PROGRESS), QStringLiteral("Connecting..."));
    SetDlgItemText(m_dlg, IDC_GROUP, QStringLiteral("Log"));
    EXPECT_EQ(GetDlgItemText(m_dlg, IDC_GROUP), QStringLiteral("Log"));
    // A static with SS_NOTIFY reports clicks; a plain one does not.
    HWND link = CreateWindowEx(0, u"Static", u"link", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 5, 5, 60, 12, m_dlg,
        reinterpret_cast<HMENU>(1063), nullptr, nullptr);
    s_commands.clear();
    uitest::Click(link);
    uitest::Click(label);
    EXPECT_EQ(s_commands, (std::vector<std::pair<int, int>> { { 1063, STN_CLICKED } }));

    CStatic icon = GetDlgItem(m_dlg, IDC_ICON);
    HICON handle = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x123));
    EXPECT_EQ(icon.SetIcon(handle), nullptr);
    EXPECT_EQ(icon.GetIcon(), handle);
}

TEST_F(UiControlsTest, ComboBoxListOperations)
{
    CComboBox combo = GetDlgItem(m_dlg, IDC_COMBO);
    for (const char* s : { "pear", "Apple", "fig" })
        combo.AddString(QString::fromLatin1(s));
    EXPECT_EQ(combo.GetCount(), 3);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR); // adding selects nothing
    QString text;
    EXPECT_EQ(combo.GetLBText(0, text), 5);
    EXPECT_EQ(text, QStringLiteral("Apple"));
    EXPECT_EQ(combo.FindStringExact(-1, QStringLiteral("FIG")), 1);
    EXPECT_EQ(combo.SetCurSel(2), 2);
    EXPECT_EQ(combo.GetWindowText(), QStringLiteral("pear"));
    EXPECT_EQ(combo.SetCurSel(7), CB_ERR); // outside: nothing selected
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_TRUE(s_commands.empty()); // CB_SETCURSEL is silent
    EXPECT_EQ(combo.SetItemData(1, 0xABCDEF), CB_OKAY);
    EXPECT_EQ(combo.GetItemData(1), 0xABCDEFu);
    EXPECT_EQ(combo.GetItemData(9), static_cast<DWORD_PTR>(CB_ERR));
    EXPECT_EQ(combo.DeleteString(0), 2);
    EXPECT_EQ(combo.GetLBText(5, text), CB_ERR);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
}

TEST_F(UiControlsTest, UppercaseComboStoresCapitals)
{
    HWND combo = CreateWindowEx(0, u"ComboBox", nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_UPPERCASE, 0, 0,
        80, 100, m_dlg, reinterpret_cast<HMENU>(3000), nullptr, nullptr);
    ASSERT_NE(combo, nullptr);
    CComboBox box = combo;
    box.AddString(QStringLiteral("Bookmarks"));
    QString text;
    box.GetLBText(0, text);
    EXPECT_EQ(text, QStringLiteral("BOOKMARKS"));
    EXPECT_EQ(GetDlgItem(m_dlg, 3000), combo);
}

} // namespace
