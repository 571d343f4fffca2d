// Faults of the dialog framework found by writing dialogs on it: hidden controls, a template with
// a control class nobody registered, window objects bound twice, the shared dialog base, label
// mnemonics, subclassing any control, and the beep record tests assert refusals with.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

using taluvo::ui::DialogTemplate;
using taluvo::ui::Hidden;
namespace uitest = taluvo::ui::test;

enum : int {
    IDD_MENDS = 931,
    IDD_BAD_CLASS = 932,
    IDC_ADDRESS_LABEL = 1001,
    IDC_ADDRESS = 1002,
    IDC_NAME_LABEL = 1003,
    IDC_NAME = 1004,
    IDC_SECRET = 1005,
    IDC_PLAIN_LABEL = 1006,
};

const taluvo::ui::DialogTemplateTable kTemplates {
    DialogTemplate { IDD_MENDS, u"Mends", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 200, 90, nullptr, 0,
        {
            { IDC_ADDRESS_LABEL, u"Static", u"&Address:", SS_LEFT, 7, 9, 50, 8 },
            { IDC_ADDRESS, u"Edit", u"", ES_AUTOHSCROLL | WS_TABSTOP, 60, 7, 133, 12 },
            { IDC_NAME_LABEL, u"Static", u"&Name && title:", SS_LEFT, 7, 25, 50, 8 },
            { IDC_NAME, u"Edit", u"", ES_AUTOHSCROLL | WS_TABSTOP, 60, 23, 133, 12 },
            Hidden({ IDC_SECRET, u"Static", u"hidden", SS_LEFT | SS_NOTIFY, 7, 41, 50, 8 }),
            { IDC_PLAIN_LABEL, u"Static", u"Fish & chips", SS_LEFT | SS_NOPREFIX, 60, 41, 80, 8 },
            { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 89, 70, 50, 14 },
            { IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 143, 70, 50, 14 },
        } },
    DialogTemplate { IDD_BAD_CLASS, u"Bad class", WS_POPUP | WS_CAPTION, 100, 50, nullptr, 0,
        {
            { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 7, 50, 14 },
            { 1234, u"SysNoSuchControl32", u"", 0, 7, 25, 50, 14 },
        } },
};

// The common base a group of dialogs shares, written against the non-template base only.
class CSharedDialogBase : public CDialogImplBase {
public:
    int WidthOfTenUnits() const
    {
        RECT r { 0, 0, 10, 8 };
        return MapDialogRect(&r) ? static_cast<int>(r.right) : -1;
    }
    void Finish(int code) { EndDialog(code); }
};

class CSharedBaseDlg : public CSharedDialogBase {
public:
    int m_width = 0;
    BEGIN_MSG_MAP(CSharedBaseDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        m_width = WidthOfTenUnits();
        return TRUE;
    }
};

bool WidgetVisible(HWND hwnd)
{
    QWidget* widget = taluvo::ui::detail::WidgetOf(hwnd);
    return widget && widget->isVisible();
}

class CMendsDlg : public CDialogImpl<CMendsDlg> {
public:
    enum { IDD = IDD_MENDS };
    std::function<void(CMendsDlg&)> onInit;
    BEGIN_MSG_MAP(CMendsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDOK, OnEnd)
    COMMAND_ID_HANDLER(IDCANCEL, OnEnd)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    LRESULT OnEnd(WORD, WORD id, HWND, BOOL&)
    {
        EndDialog(id);
        return 0;
    }
};

class CBadClassDlg : public CDialogImpl<CBadClassDlg> {
public:
    enum { IDD = IDD_BAD_CLASS };
    BEGIN_MSG_MAP(CBadClassDlg) // NOLINT(bugprone-branch-clone): an empty map passes every message on, its own case as
                                // the default
    END_MSG_MAP()
};

// Counts the messages of the control it has taken over and swallows typed digits.
class CDigitEater : public CWindowImpl<CDigitEater> {
public:
    int m_chars = 0;
    BEGIN_MSG_MAP(CDigitEater)
    MESSAGE_HANDLER(WM_CHAR, OnChar)
    END_MSG_MAP()
    LRESULT OnChar(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
    {
        ++m_chars;
        bHandled = wParam >= '0' && wParam <= '9';
        return 0;
    }
};

class CPlainWindow : public CWindowImpl<CPlainWindow> {
public:
    BEGIN_MSG_MAP(CPlainWindow) // NOLINT(bugprone-branch-clone): an empty map passes every message on, its own case as
                                // the default
    END_MSG_MAP()
};

class UiLayerMendsTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(UiLayerMendsTest, HiddenChildrenStayHiddenUntilShown)
{
    CMendsDlg dlg;
    bool checked = false;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD) {
        // A template control declared hidden, and a child made later without WS_VISIBLE.
        HWND secret = GetDlgItem(dialog, IDC_SECRET);
        HWND made = CreateWindowEx(0, u"Static", u"made", WS_CHILD, 0, 0, 40, 10, dialog, nullptr, nullptr, nullptr);
        for (HWND hwnd : { secret, made }) {
            EXPECT_FALSE(IsWindowVisible(hwnd));
            EXPECT_FALSE(WidgetVisible(hwnd));
        }
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_ADDRESS)));
        EXPECT_TRUE(WidgetVisible(GetDlgItem(dialog, IDC_ADDRESS)));
        ShowWindow(secret, SW_SHOW);
        EXPECT_TRUE(IsWindowVisible(secret));
        EXPECT_TRUE(WidgetVisible(secret));
        checked = true;
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDOK);
    EXPECT_TRUE(checked);
}

TEST_F(UiLayerMendsTest, UnknownControlClassIsNamedWithItsDialog)
{
    CBadClassDlg dlg;
    testing::internal::CaptureStderr();
    EXPECT_EQ(dlg.DoModal(nullptr), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("dialog 932"), std::string::npos) << err;
    EXPECT_NE(err.find("\"SysNoSuchControl32\""), std::string::npos) << err;
    EXPECT_NE(err.find("control 1234"), std::string::npos) << err;
    EXPECT_FALSE(dlg.IsWindow());
}

TEST_F(UiLayerMendsTest, AWindowObjectTakesNoSecondWindow)
{
#ifndef NDEBUG
    GTEST_SKIP() << "debug builds assert on this misuse";
#endif
    CPlainWindow window;
    RECT r { 0, 0, 50, 50 };
    HWND first = window.Create(nullptr, &r, QStringLiteral("first"), WS_POPUP);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(window.Create(nullptr, &r, QStringLiteral("second"), WS_POPUP), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(window.m_hWnd, first); // still answers for the first one only

    HWND edit = CreateWindowEx(0, u"Edit", u"", WS_CHILD | WS_VISIBLE, 0, 0, 40, 12, first, nullptr, nullptr, nullptr);
    EXPECT_FALSE(window.SubclassWindow(edit));

    // A dialog object already running a dialog refuses a second one, and the first goes on.
    CMendsDlg dlg;
    INT_PTR nested = 0;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD) {
        nested = dlg.DoModal(nullptr);
        EXPECT_EQ(dlg.m_hWnd, dialog);
        EndDialog(dialog, IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(nested, -1);
    window.DestroyWindow();
    // Once its window has gone the object may take another.
    EXPECT_NE(window.Create(nullptr, &r, QStringLiteral("third"), WS_POPUP), nullptr);
    window.DestroyWindow();
}

TEST_F(UiLayerMendsTest, SharedBaseEndsAndMapsDialogs)
{
    CSharedBaseDlg dlg;
    uitest::ScopedDialogHook hook([&](HWND, WORD) { dlg.Finish(IDOK); });
    EXPECT_EQ(taluvo::ui::detail::RunDialog(IDD_MENDS, nullptr, CDialogImplBase::DialogProc, &dlg, 0), IDOK);
    int baseX = 0;
    int baseY = 0;
    taluvo::ui::detail::DialogBaseUnits(QString(), 0, &baseX, &baseY);
    EXPECT_EQ(dlg.m_width, (10 * baseX + 2) / 4);
}

TEST_F(UiLayerMendsTest, AltAndALabelsLetterFocusTheControlAfterIt)
{
    CMendsDlg dlg;
    int focusedAfterAddress = 0;
    int focusedAfterName = 0;
    QString shownPlain;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD) {
        ASSERT_TRUE(uitest::WaitForActiveWindow(dialog));
        SetFocus(GetDlgItem(dialog, IDOK));
        uitest::PressKey(GetDlgItem(dialog, IDOK), 'A', false, false, true);
        focusedAfterAddress = GetDlgCtrlID(GetFocus());
        uitest::PressKey(GetDlgItem(dialog, IDOK), 'N', false, false, true);
        focusedAfterName = GetDlgCtrlID(GetFocus());
        shownPlain = GetDlgItemText(dialog, IDC_PLAIN_LABEL);
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDOK);
    EXPECT_EQ(focusedAfterAddress, IDC_ADDRESS);
    EXPECT_EQ(focusedAfterName, IDC_NAME);
    EXPECT_EQ(shownPlain, QStringLiteral("Fish & chips")); // SS_NOPREFIX: no mnemonic
}

TEST_F(UiLayerMendsTest, SubclassingAControlAndGivingItBack)
{
    CMendsDlg dlg;
    CDigitEater eater;
    QString typedWhileSubclassed;
    QString typedAfter;
    BOOL unsubclassed = FALSE;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD) {
        HWND edit = GetDlgItem(dialog, IDC_ADDRESS);
        EXPECT_TRUE(eater.SubclassWindow(edit));
        uitest::TypeText(edit, QStringLiteral("a1b2"));
        typedWhileSubclassed = GetWindowText(edit);
        unsubclassed = eater.UnsubclassWindow() == edit;
        uitest::TypeText(edit, QStringLiteral("3"));
        typedAfter = GetWindowText(edit);
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDOK);
    EXPECT_EQ(typedWhileSubclassed, QStringLiteral("ab"));
    EXPECT_EQ(eater.m_chars, 4);
    EXPECT_TRUE(unsubclassed);
    EXPECT_EQ(typedAfter, QStringLiteral("ab3"));
    EXPECT_EQ(eater.m_hWnd, nullptr);
}

TEST_F(UiLayerMendsTest, BeepsAreRecordedInOrder)
{
    uitest::BeepRecorder beeps;
    MessageBeep(0xFFFFFFFF);
    MessageBeep(MB_ICONERROR);
    EXPECT_EQ(beeps.Beeps(), (std::vector<UINT> { 0xFFFFFFFF, MB_ICONERROR }));
}

} // namespace
