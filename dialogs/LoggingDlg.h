// Options page "Logging": whether updates go to the plain-text update log, and its folder.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CLoggingDlg : public CPreferencesPage, public CWinDataExchange<CLoggingDlg> {
public:
    enum { IDD = IDD_LOGGING };
    CLoggingDlg();

    BEGIN_MSG_MAP(CLoggingDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_LOG_ENABLE, BN_CLICKED, OnLogEnable)
    COMMAND_ID_HANDLER(IDC_LOG_BROWSE, OnBrowse)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CLoggingDlg)
    DDX_CHECK(IDC_LOG_ENABLE, m_bLogEnable)
    DDX_TEXT(IDC_LOG_PATH, m_strLogFilePath)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnLogEnable(WORD, WORD, HWND, BOOL&);
    LRESULT OnBrowse(WORD, WORD, HWND, BOOL&);
    BOOL Save() override;

    BOOL m_bLogEnable = FALSE;
    QString m_strLogFilePath; // a folder
};
