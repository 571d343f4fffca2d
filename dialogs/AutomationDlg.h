// Options page "Automation": what the page dialogs do by themselves when an address is entered,
// whether opening a page resets its "New" status, and starting with the desktop session.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CAutomationDlg : public CPreferencesPage, public CWinDataExchange<CAutomationDlg> {
public:
    enum { IDD = IDD_AUTOMATION };
    CAutomationDlg();

    BEGIN_MSG_MAP(CAutomationDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_AUTO_DOWNLOAD, BN_CLICKED, OnAutoDownloadOnline)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CAutomationDlg)
    DDX_CHECK(IDC_AUTO_DOWNLOAD, m_bAutoDownloadOnline)
    DDX_CHECK(IDC_AUTO_SET_DESCR, m_bAutoSetDescr)
    DDX_CHECK(IDC_AUTO_CHECK_FRAMES, m_bAutoCheckFrames)
    DDX_CHECK(IDC_BROWSER_RESET_NEW, m_bBrowserResetNewStatus)
    DDX_CHECK(IDC_RUN_WITH_WINDOWS, m_bRunWithWindows)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnAutoDownloadOnline(WORD, WORD, HWND, BOOL&);
    BOOL Save() override;

    BOOL m_bAutoDownloadOnline = FALSE;
    BOOL m_bAutoSetDescr = FALSE;
    BOOL m_bAutoCheckFrames = FALSE;
    BOOL m_bBrowserResetNewStatus = FALSE;
    BOOL m_bRunWithWindows = FALSE;
};
