// Options page "Visual settings": whether the main window shows its toolbar and status bar.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CVisualSettingsDlg : public CPreferencesPage, public CWinDataExchange<CVisualSettingsDlg> {
public:
    enum { IDD = IDD_VISUAL_SETTINGS };
    CVisualSettingsDlg();

    BEGIN_MSG_MAP(CVisualSettingsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CVisualSettingsDlg)
    DDX_CHECK(IDC_SHOW_TOOLBAR, m_bShowToolBar)
    DDX_CHECK(IDC_SHOW_STATUSBAR, m_bShowStatusBar)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    BOOL Save() override;

    BOOL m_bShowToolBar = FALSE;
    BOOL m_bShowStatusBar = FALSE;
};
