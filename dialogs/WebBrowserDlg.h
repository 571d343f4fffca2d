// Options page "Web browser": the desktop's default browser (optionally in a new window) or a
// program of the user's choice.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CWebBrowserDlg : public CPreferencesPage, public CWinDataExchange<CWebBrowserDlg> {
public:
    enum { IDD = IDD_WEB_BROWSER };
    CWebBrowserDlg();

    BEGIN_MSG_MAP(CWebBrowserDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_DEFAULT_BROWSER, BN_CLICKED, OnBrowserType)
    COMMAND_HANDLER(IDC_USER_BROWSER, BN_CLICKED, OnBrowserType)
    COMMAND_ID_HANDLER(IDC_USER_BROWSER_BROWSE, OnBrowse)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    // The radio index counts only the radio buttons: the check box between them is skipped.
    BEGIN_DDX_MAP(CWebBrowserDlg)
    DDX_RADIO(IDC_DEFAULT_BROWSER, m_nBrowserType)
    DDX_CHECK(IDC_OPEN_NEW_WINDOW, m_bOpenNewWindow)
    DDX_TEXT(IDC_USER_BROWSER_PATH, m_strUserBrowserPath)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnBrowserType(WORD, WORD, HWND, BOOL&);
    LRESULT OnBrowse(WORD, WORD, HWND, BOOL&);
    BOOL Save() override;

    int m_nBrowserType = 0; // 0 the default browser, 1 the user's program
    BOOL m_bOpenNewWindow = FALSE;
    QString m_strUserBrowserPath;
};
