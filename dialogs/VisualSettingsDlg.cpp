#include "dialogs/VisualSettingsDlg.h"

TRACE_MODULE("CVisualSettingsDlg");

CVisualSettingsDlg::CVisualSettingsDlg()
    : CPreferencesPage(IDD, QStringLiteral("Visual settings"))
{
}

LRESULT CVisualSettingsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CVisualSettingsDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bShowToolBar = prefs.GetParam(kShowToolBar)->GetBool();
        m_bShowStatusBar = prefs.GetParam(kShowStatusBar)->GetBool();
    });
    DoDataExchange(FALSE);
    return FALSE;
}

BOOL CVisualSettingsDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CVisualSettingsDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kShowToolBar)->SetBool(m_bShowToolBar);
        prefs.GetParam(kShowStatusBar)->SetBool(m_bShowStatusBar);
    });
    return TRUE;
}
