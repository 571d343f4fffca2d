// Options page "Miscellaneous": minimising to the tray, delete confirmations, reporting empty
// pages and conditional requests.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CMiscDlg : public CPreferencesPage, public CWinDataExchange<CMiscDlg> {
public:
    enum { IDD = IDD_MISC };
    CMiscDlg();

    BEGIN_MSG_MAP(CMiscDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CMiscDlg)
    DDX_CHECK(IDC_MIN_TO_TRAY, m_bMinToTray)
    DDX_CHECK(IDC_CONFIRM_DELETE, m_bConfirmDelete)
    DDX_CHECK(IDC_REPORT_EMPTY_PAGES, m_bReportEmptyPages)
    DDX_CHECK(IDC_USE_HEADERS_DATA, m_bUseHeadersData)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    BOOL Save() override;

    BOOL m_bMinToTray = FALSE;
    BOOL m_bConfirmDelete = FALSE;
    BOOL m_bReportEmptyPages = FALSE;
    BOOL m_bUseHeadersData = FALSE;
};
