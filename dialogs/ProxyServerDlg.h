// Options page "Proxy settings": the proxy server, its port and login, and the servers reached
// without it.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CProxyServerDlg : public CPreferencesPage, public CWinDataExchange<CProxyServerDlg> {
public:
    enum { IDD = IDD_PROXY_SERVER };
    CProxyServerDlg();

    BEGIN_MSG_MAP(CProxyServerDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_USE_PROXY, BN_CLICKED, OnUseProxy)
    COMMAND_HANDLER(IDC_PROXY_USE_AUTH, BN_CLICKED, OnProxyUseAuth)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    // The port is checked whether or not the proxy is on; a text that is no number is refused
    // like a number out of range, with a beep and the focus on the field.
    BEGIN_DDX_MAP(CProxyServerDlg)
    DDX_CHECK(IDC_USE_PROXY, m_bUseProxy)
    DDX_TEXT(IDC_PROXY_SERVER, m_strProxyServer)
    DDX_INT_RANGE(IDC_PROXY_PORT, m_nProxyPort, 1024, 65535)
    DDX_CHECK(IDC_PROXY_USE_AUTH, m_bProxyUseAuth)
    DDX_TEXT(IDC_PROXY_USER, m_strProxyUserName)
    DDX_TEXT(IDC_PROXY_PASSWORD, m_strProxyPassword)
    DDX_TEXT(IDC_PROXY_EXCLUDE, m_strProxyExcludeList)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnUseProxy(WORD, WORD, HWND, BOOL&);
    LRESULT OnProxyUseAuth(WORD, WORD, HWND, BOOL&);
    BOOL Save() override;

    BOOL m_bUseProxy = FALSE;
    QString m_strProxyServer;
    int m_nProxyPort = 0;
    BOOL m_bProxyUseAuth = FALSE;
    QString m_strProxyUserName;
    QString m_strProxyPassword;
    QString m_strProxyExcludeList;
};
