#include "dialogs/AutomationDlg.h"

TRACE_MODULE("CAutomationDlg");

CAutomationDlg::CAutomationDlg()
    : CPreferencesPage(IDD, QStringLiteral("Automation"))
{
}

LRESULT CAutomationDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CAutomationDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bAutoDownloadOnline = prefs.GetParam(kAutoDownloadOnline)->GetBool();
        m_bAutoSetDescr = prefs.GetParam(kAutoSetDescr)->GetBool();
        m_bAutoCheckFrames = prefs.GetParam(kAutoCheckFrames)->GetBool();
        m_bBrowserResetNewStatus = prefs.GetParam(kBrowserResetNewStatus)->GetBool();
        m_bRunWithWindows = prefs.GetParam(kRunWithWindows)->GetBool();
    });
    DoDataExchange(FALSE);
    OnAutoDownloadOnline(BN_CLICKED, IDC_AUTO_DOWNLOAD, nullptr, handled);
    return FALSE;
}

LRESULT CAutomationDlg::OnAutoDownloadOnline(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_AUTO_DOWNLOAD);
    EnableControls({ IDC_AUTO_SET_DESCR, IDC_AUTO_CHECK_FRAMES }, m_bAutoDownloadOnline);
    return 0;
}

BOOL CAutomationDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CAutomationDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kAutoDownloadOnline)->SetBool(m_bAutoDownloadOnline);
        prefs.GetParam(kAutoSetDescr)->SetBool(m_bAutoSetDescr);
        prefs.GetParam(kAutoCheckFrames)->SetBool(m_bAutoCheckFrames);
        prefs.GetParam(kBrowserResetNewStatus)->SetBool(m_bBrowserResetNewStatus);
        prefs.GetParam(kRunWithWindows)->SetBool(m_bRunWithWindows);
    });
    return TRUE;
}
