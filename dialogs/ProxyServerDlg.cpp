#include "dialogs/ProxyServerDlg.h"

#include "platform/ui/Controls.h"

TRACE_MODULE("CProxyServerDlg");

CProxyServerDlg::CProxyServerDlg()
    : CPreferencesPage(IDD, QStringLiteral("Proxy settings"))
{
}

LRESULT CProxyServerDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CProxyServerDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bUseProxy = prefs.GetParam(kUseProxy)->GetBool();
        m_strProxyServer = prefs.GetParam(kProxyServer)->GetString();
        m_nProxyPort = prefs.GetParam(kProxyPort)->GetInt();
        m_bProxyUseAuth = prefs.GetParam(kProxyUseAuth)->GetBool();
        m_strProxyUserName = prefs.GetParam(kProxyUserName)->GetString();
        m_strProxyPassword = prefs.GetParam(kProxyPassword)->GetString();
        m_strProxyExcludeList = prefs.GetParam(kProxyExcludeList)->GetString();
    });
    CEdit(GetDlgItem(IDC_PROXY_PASSWORD)).SetPasswordChar(u'*');
    DoDataExchange(FALSE);
    OnUseProxy(BN_CLICKED, IDC_USE_PROXY, nullptr, handled);
    return FALSE;
}

LRESULT CProxyServerDlg::OnUseProxy(WORD, WORD, HWND, BOOL& handled)
{
    DoDataExchange(TRUE, IDC_USE_PROXY);
    EnableControls(
        { IDC_PROXY_SERVER, IDC_PROXY_SERVER_LABEL, IDC_PROXY_PORT, IDC_PROXY_PORT_LABEL, IDC_PROXY_USE_AUTH },
        m_bUseProxy);
    if (m_bUseProxy)
        OnProxyUseAuth(BN_CLICKED, IDC_PROXY_USE_AUTH, nullptr, handled);
    else
        EnableControls({ IDC_PROXY_USER, IDC_PROXY_USER_LABEL, IDC_PROXY_PASSWORD, IDC_PROXY_PASSWORD_LABEL }, false);
    EnableControls({ IDC_PROXY_EXCLUDE, IDC_PROXY_EXCLUDE_LABEL }, m_bUseProxy);
    return 0;
}

LRESULT CProxyServerDlg::OnProxyUseAuth(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_PROXY_USE_AUTH);
    EnableControls(
        { IDC_PROXY_USER, IDC_PROXY_USER_LABEL, IDC_PROXY_PASSWORD, IDC_PROXY_PASSWORD_LABEL }, m_bProxyUseAuth);
    return 0;
}

BOOL CProxyServerDlg::Save()
{
    if (!DoDataExchange(TRUE))
        return FALSE;
    WithPrefs(PAGE_TRACE_LEVEL, u"CProxyServerDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kUseProxy)->SetBool(m_bUseProxy);
        prefs.GetParam(kProxyServer)->SetString(m_strProxyServer);
        prefs.GetParam(kProxyPort)->SetInt(m_nProxyPort);
        prefs.GetParam(kProxyUseAuth)->SetBool(m_bProxyUseAuth);
        prefs.GetParam(kProxyUserName)->SetString(m_strProxyUserName);
        prefs.GetParam(kProxyPassword)->SetString(m_strProxyPassword);
        prefs.GetParam(kProxyExcludeList)->SetString(m_strProxyExcludeList);
    });
    return TRUE;
}
