#include "dialogs/MiscDlg.h"

TRACE_MODULE("CMiscDlg");

CMiscDlg::CMiscDlg()
    : CPreferencesPage(IDD, QStringLiteral("Miscellaneous"))
{
}

LRESULT CMiscDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CMiscDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bMinToTray = prefs.GetParam(kMinToTray)->GetBool();
        m_bConfirmDelete = prefs.GetParam(kConfirmDelete)->GetBool();
        m_bReportEmptyPages = prefs.GetParam(kReportEmptyPages)->GetBool();
        m_bUseHeadersData = prefs.GetParam(kUseHeadersData)->GetBool();
    });
    DoDataExchange(FALSE);
    return FALSE;
}

BOOL CMiscDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CMiscDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kMinToTray)->SetBool(m_bMinToTray);
        prefs.GetParam(kConfirmDelete)->SetBool(m_bConfirmDelete);
        prefs.GetParam(kReportEmptyPages)->SetBool(m_bReportEmptyPages);
        prefs.GetParam(kUseHeadersData)->SetBool(m_bUseHeadersData);
    });
    return TRUE;
}
