// Property sheets and wizards: a modal window of pages, each page a child dialog made from its own
// template, with the notifications and messages of the Windows property sheet and the classes
// CPropertySheetImpl / CPropertyPageImpl that program code derives from.
//
// A tabbed sheet shows a tab per page above a framed page area and OK, Cancel and (unless
// PSH_NOAPPLYNOW) Apply at the bottom right; Ctrl+Tab and Ctrl+PageDown go to the next tab,
// Ctrl+Shift+Tab and Ctrl+PageUp to the previous one. A wizard (PSH_WIZARD) shows no tabs and
// < Back, Next >, Finish and Cancel; PSM_SETWIZBUTTONS decides which are enabled, and Finish takes
// the place of Next while PSWIZB_FINISH or PSWIZB_DISABLEDFINISH is set.
//
// Page windows are made when first shown, or all when the sheet opens for pages with PSP_PREMATURE
// (in page order, so every page's WM_INITDIALOG has run before the sheet is seen). The sheet asks
// its pages with WM_NOTIFY (a PSHNOTIFY from the sheet, idFrom 0); a page answers through its
// DWLP_MSGRESULT (what its message map returns):
//   PSN_SETACTIVE    0 accept, -1 refuse (a wizard then skips the page)
//   PSN_KILLACTIVE   FALSE lets the page be left; TRUE keeps it (the tab does not change, OK is refused)
//   PSN_APPLY        PSNRET_NOERROR, PSNRET_INVALID (go to that page, stay open),
//                    PSNRET_INVALID_NOCHANGEPAGE (stay open on the active page); lParam TRUE for OK
//   PSN_QUERYCANCEL  FALSE lets the sheet be cancelled; TRUE refuses
//   PSN_RESET        (no answer) the sheet is being cancelled
//   PSN_WIZBACK / PSN_WIZNEXT   0 the previous / next page, -1 stay, or a page's template id
//   PSN_WIZFINISH    FALSE lets the wizard finish; TRUE keeps it open
// Order: OK sends PSN_KILLACTIVE to the active page, then PSN_APPLY to every page made so far, in
// page order; Cancel sends PSN_QUERYCANCEL to the active page, then PSN_RESET to every page made;
// Next and Back send PSN_WIZNEXT / PSN_WIZBACK, then PSN_KILLACTIVE, then PSN_SETACTIVE to the new
// page; changing tabs sends PSN_KILLACTIVE, then PSN_SETACTIVE.
//
// PropertySheet returns 1 after OK or Finish, 0 after Cancel (or the close box, or Escape), -1 when
// the sheet cannot be made (no page, or no page that could be made). It takes the page handles it
// was given and destroys them; handles never given to a sheet are the caller's to destroy. With no
// display and no test hook the sheet is cancelled at once with a line on stderr, as dialogs are;
// under a dialog hook (TestHooks.h) the hook is called with the sheet's window and template id 0.
#pragma once

#include "platform/ui/AtlWin.h"

#include <QString>

#include <vector>

struct PSP_HANDLE__;
using HPROPSHEETPAGE = PSP_HANDLE__*;
struct PROPSHEETPAGE;
using LPFNPSPCALLBACK = UINT (*)(HWND, UINT, PROPSHEETPAGE*);
using PFNPROPSHEETCALLBACK = int (*)(HWND, UINT, LPARAM);

// Page flags.
constexpr DWORD PSP_DEFAULT = 0x0000;
constexpr DWORD PSP_USETITLE = 0x0008; // pszTitle is the tab's text (else the template's caption)
constexpr DWORD PSP_USECALLBACK = 0x0080; // accepted; the layer binds page objects itself
constexpr DWORD PSP_PREMATURE = 0x0400; // made when the sheet opens

// Sheet flags.
constexpr DWORD PSH_DEFAULT = 0x0000;
constexpr DWORD PSH_WIZARD = 0x0020;
constexpr DWORD PSH_NOAPPLYNOW = 0x0080;
constexpr DWORD PSH_USECALLBACK = 0x0100; // pfnCallback gets PSCB_INITIALIZED

constexpr UINT PSCB_INITIALIZED = 1;

// Notifications to pages.
constexpr UINT PSN_FIRST = static_cast<UINT>(-200);
constexpr UINT PSN_SETACTIVE = PSN_FIRST - 0;
constexpr UINT PSN_KILLACTIVE = PSN_FIRST - 1;
constexpr UINT PSN_APPLY = PSN_FIRST - 2;
constexpr UINT PSN_RESET = PSN_FIRST - 3;
constexpr UINT PSN_HELP = PSN_FIRST - 5;
constexpr UINT PSN_WIZBACK = PSN_FIRST - 6;
constexpr UINT PSN_WIZNEXT = PSN_FIRST - 7;
constexpr UINT PSN_WIZFINISH = PSN_FIRST - 8;
constexpr UINT PSN_QUERYCANCEL = PSN_FIRST - 9;

constexpr LRESULT PSNRET_NOERROR = 0;
constexpr LRESULT PSNRET_INVALID = 1;
constexpr LRESULT PSNRET_INVALID_NOCHANGEPAGE = 2;

struct PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam = 0;
};
using LPPSHNOTIFY = PSHNOTIFY*;

// Messages to the sheet (a page sends them to its parent).
constexpr UINT PSM_SETCURSEL = WM_USER + 101; // wParam: index (or lParam: page handle); TRUE when changed
constexpr UINT PSM_CHANGED = WM_USER + 104; // wParam: the page; enables Apply
constexpr UINT PSM_UNCHANGED = WM_USER + 109;
constexpr UINT PSM_SETWIZBUTTONS = WM_USER + 112; // lParam: PSWIZB_* flags
constexpr UINT PSM_PRESSBUTTON = WM_USER + 113; // wParam: PSBTN_*
constexpr UINT PSM_SETCURSELID = WM_USER + 114; // lParam: a page's template id
constexpr UINT PSM_SETFINISHTEXT = WM_USER + 115; // lParam: text; shows Finish in place of Next
constexpr UINT PSM_GETCURRENTPAGEHWND = WM_USER + 118;
constexpr UINT PSM_SETTITLE = WM_USER + 120; // lParam: text
constexpr UINT PSM_HWNDTOINDEX = WM_USER + 129;
constexpr UINT PSM_INDEXTOHWND = WM_USER + 130; // null for a page not made yet
constexpr UINT PSM_GETPAGECOUNT = WM_USER + 0x7F0; // the layer's own: the number of pages

constexpr DWORD PSWIZB_BACK = 0x0001;
constexpr DWORD PSWIZB_NEXT = 0x0002;
constexpr DWORD PSWIZB_FINISH = 0x0004;
constexpr DWORD PSWIZB_DISABLEDFINISH = 0x0008;

constexpr int PSBTN_BACK = 0;
constexpr int PSBTN_NEXT = 1;
constexpr int PSBTN_FINISH = 2;
constexpr int PSBTN_OK = 3;
constexpr int PSBTN_APPLYNOW = 4;
constexpr int PSBTN_CANCEL = 5;

// The sheet's buttons (children of the sheet window).
constexpr int ID_APPLY_NOW = 0x3021;
constexpr int ID_WIZBACK = 0x3023;
constexpr int ID_WIZNEXT = 0x3024;
constexpr int ID_WIZFINISH = 0x3025;

struct PROPSHEETPAGE {
    DWORD dwSize = sizeof(PROPSHEETPAGE);
    DWORD dwFlags = PSP_DEFAULT;
    HINSTANCE hInstance = nullptr;
    LPCWSTR pszTemplate = nullptr; // MAKEINTRESOURCE(template id)
    HICON hIcon = nullptr;
    LPCWSTR pszTitle = nullptr; // copied by CreatePropertySheetPage
    DLGPROC pfnDlgProc = nullptr;
    LPARAM lParam = 0; // WM_INITDIALOG gets a pointer to the page's copy of this record
    LPFNPSPCALLBACK pfnCallback = nullptr;
    UINT* pcRefParent = nullptr;
    // The layer's own: the C++ object (CDialogImplBase) whose map the page's messages reach.
    void* pWindowObject = nullptr;
};
using LPPROPSHEETPAGE = PROPSHEETPAGE*;

struct PROPSHEETHEADER {
    DWORD dwSize = sizeof(PROPSHEETHEADER);
    DWORD dwFlags = PSH_DEFAULT;
    HWND hwndParent = nullptr; // null: the window active when the sheet starts
    HINSTANCE hInstance = nullptr;
    HICON hIcon = nullptr;
    LPCWSTR pszCaption = nullptr;
    UINT nPages = 0;
    UINT nStartPage = 0;
    HPROPSHEETPAGE* phpage = nullptr;
    PFNPROPSHEETCALLBACK pfnCallback = nullptr;
};
using LPPROPSHEETHEADER = PROPSHEETHEADER*;

// Null when the page names no template of the resource tables.
HPROPSHEETPAGE CreatePropertySheetPage(const PROPSHEETPAGE* page);
BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);
INT_PTR PropertySheet(const PROPSHEETHEADER* header);

// ---------------------------------------------------------------------------------------------
// Pages

// The base of every page class: a dialog whose sheet notifications become the virtual calls
// below (each one's default accepts). A page's own map chains to it:
//     BEGIN_MSG_MAP(CMyPage) ... CHAIN_MSG_MAP(CPropertyPageImpl<CMyPage>) END_MSG_MAP()
// A page may also answer a notification in its own map (NOTIFY_CODE_HANDLER(PSN_KILLACTIVE, ...));
// what the handler returns is the answer.
class CPropertyPageImplBase : public CDialogImplBase {
public:
    PROPSHEETPAGE m_psp;

    explicit CPropertyPageImplBase(WORD templateId, const QString& title = QString());
    CPropertyPageImplBase(const CPropertyPageImplBase&) = delete;
    CPropertyPageImplBase& operator=(const CPropertyPageImplBase&) = delete;

    operator PROPSHEETPAGE*() { return &m_psp; }
    // A handle for a sheet (the sheet destroys it); null when the template does not exist.
    HPROPSHEETPAGE Create() { return ::CreatePropertySheetPage(&m_psp); }
    // The tab's text (sets PSP_USETITLE); before the page handle is made.
    void SetTitle(const QString& title);
    const QString& GetTitle() const { return m_title; }

    HWND GetPropertySheet() const { return GetParent(); }
    void SetModified(BOOL changed = TRUE);
    // For wizard pages: which of Back, Next and Finish are enabled (PSWIZB_*).
    void SetWizardButtons(DWORD flags);

    virtual int OnSetActive() { return 0; }
    virtual BOOL OnKillActive() { return FALSE; }
    virtual int OnApply() { return static_cast<int>(PSNRET_NOERROR); }
    virtual void OnReset() { }
    virtual BOOL OnQueryCancel() { return FALSE; }
    virtual int OnWizardBack() { return 0; }
    virtual int OnWizardNext() { return 0; }
    virtual INT_PTR OnWizardFinish() { return FALSE; }

    BEGIN_MSG_MAP(CPropertyPageImplBase)
    MESSAGE_HANDLER(WM_NOTIFY, OnSheetNotify)
    END_MSG_MAP()

private:
    LRESULT OnSheetNotify(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
    QString m_title;
};

// T declares enum { IDD = <template id> }.
template <class T> class CPropertyPageImpl : public CPropertyPageImplBase {
public:
    explicit CPropertyPageImpl(const QString& title = QString())
        : CPropertyPageImplBase(static_cast<WORD>(T::IDD), title)
    {
    }
};

// ---------------------------------------------------------------------------------------------
// Sheets

// The sheet object: collects page handles, runs the sheet and, while it runs, sees the sheet
// window's messages in its map first (the layer subclasses the sheet window for it before the
// sheet's WM_INITDIALOG, which comes after every page made at opening has been initialised and
// before the sheet is shown).
class CPropertySheetImplBase : public CWindowImplBase {
public:
    PROPSHEETHEADER m_psh;

    explicit CPropertySheetImplBase(const QString& title = QString(), UINT startPage = 0, HWND parent = nullptr);
    ~CPropertySheetImplBase() override;
    CPropertySheetImplBase(const CPropertySheetImplBase&) = delete;
    CPropertySheetImplBase& operator=(const CPropertySheetImplBase&) = delete;

    BOOL AddPage(HPROPSHEETPAGE page);
    BOOL AddPage(CPropertyPageImplBase& page); // makes the page's handle; FALSE when it cannot be made
    int GetPageCount() const;
    void SetTitle(const QString& title);
    void SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }

    // 1 after OK or Finish, 0 after Cancel, -1 when the sheet could not be made.
    INT_PTR DoModal(HWND parent = nullptr);

    // While it runs.
    BOOL SetActivePage(int index) { return static_cast<BOOL>(SendMessage(PSM_SETCURSEL, static_cast<WPARAM>(index))); }
    HWND GetActivePage() const { return reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND)); }
    int GetActiveIndex() const
    {
        return static_cast<int>(SendMessage(PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(GetActivePage())));
    }
    void SetWizardButtons(DWORD flags) { SendMessage(PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags)); }
    void PressButton(int button) { SendMessage(PSM_PRESSBUTTON, static_cast<WPARAM>(button)); }

private:
    static int CALLBACK_Initialized(HWND sheet, UINT message, LPARAM);

    QString m_caption;
    std::vector<HPROPSHEETPAGE> m_pages; // handed to the system by DoModal
};

template <class T> class CPropertySheetImpl : public CPropertySheetImplBase {
public:
    explicit CPropertySheetImpl(const QString& title = QString(), UINT startPage = 0, HWND parent = nullptr)
        : CPropertySheetImplBase(title, startPage, parent)
    {
    }
};

class CPropertySheet : public CPropertySheetImpl<CPropertySheet> {
public:
    using CPropertySheetImpl<CPropertySheet>::CPropertySheetImpl;
    // An empty map: its one case and its default both pass every message on.
    BEGIN_MSG_MAP(CPropertySheet) // NOLINT(bugprone-branch-clone)
    END_MSG_MAP()
};
