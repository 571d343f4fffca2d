#include "dialogs/WebBrowserDlg.h"

TRACE_MODULE("CWebBrowserDlg");

CWebBrowserDlg::CWebBrowserDlg()
    : CPreferencesPage(IDD, QStringLiteral("Web browser"))
{
}

LRESULT CWebBrowserDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CWebBrowserDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_nBrowserType = prefs.GetParam(kUseDefaultBrowser)->GetBool() ? 0 : 1;
        m_bOpenNewWindow = prefs.GetParam(kOpenNewWindow)->GetBool();
        m_strUserBrowserPath = prefs.GetParam(kUserBrowserPath)->GetString();
    });
    DoDataExchange(FALSE);
    OnBrowserType(BN_CLICKED, IDC_DEFAULT_BROWSER, nullptr, handled);
    return FALSE;
}

LRESULT CWebBrowserDlg::OnBrowserType(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_DEFAULT_BROWSER);
    EnableControls({ IDC_OPEN_NEW_WINDOW }, m_nBrowserType == 0);
    EnableControls({ IDC_USER_BROWSER_PATH, IDC_USER_BROWSER_BROWSE }, m_nBrowserType == 1);
    return 0;
}

LRESULT CWebBrowserDlg::OnBrowse(WORD, WORD, HWND, BOOL&)
{
    // Programs on this system carry no extension: every file is offered, and none is added.
    const QString picked = PickFile(nullptr, u"Executable files\0*\0All Files (*.*)\0*.*\0");
    if (!picked.isNull()) {
        m_strUserBrowserPath = picked;
        DoDataExchange(FALSE, IDC_USER_BROWSER_PATH);
    }
    return 0;
}

BOOL CWebBrowserDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CWebBrowserDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kUseDefaultBrowser)->SetBool(m_nBrowserType == 0);
        prefs.GetParam(kOpenNewWindow)->SetBool(m_bOpenNewWindow);
        prefs.GetParam(kUserBrowserPath)->SetString(m_strUserBrowserPath);
    });
    return TRUE;
}
