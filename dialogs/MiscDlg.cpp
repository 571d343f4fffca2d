#include "dialogs/MiscDlg.h"

TRACE_MODULE("CMiscDlg");

CMiscDlg::CMiscDlg()
    : CPreferencesPage(IDD, QStringLiteral("Miscellaneous"))
{
}

LRESULT CMiscDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CMiscDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bMinToTray = prefs.GetParam("MinToTray")->GetBool();
        m_bConfirmDelete = prefs.GetParam("ConfirmDelete")->GetBool();
        m_bReportEmptyPages = prefs.GetParam("ReportEmptyPages")->GetBool();
        m_bUseHeadersData = prefs.GetParam("UseHeadersData")->GetBool();
    });
    DoDataExchange(FALSE);
    return FALSE;
}

BOOL CMiscDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CMiscDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam("MinToTray")->SetBool(m_bMinToTray);
        prefs.GetParam("ConfirmDelete")->SetBool(m_bConfirmDelete);
        prefs.GetParam("ReportEmptyPages")->SetBool(m_bReportEmptyPages);
        prefs.GetParam("UseHeadersData")->SetBool(m_bUseHeadersData);
    });
    return TRUE;
}
