#include "dialogs/PageModifyDlg.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetUtils.h"
#include "core/prefs/Preferences.h"
#include "dialogs/PageAddDlg.h"
#include "dialogs/SearchContentDlg.h"
#include "engine/OpenInBrowser.h"
#include "platform/base/Format.h"
#include "res/resource.h"

TRACE_MODULE("CPageModifyDlg");

namespace {

void SetUpBar(CScrollBar& bar, int max, int pos)
{
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = max;
    info.nPage = 1;
    info.nPos = pos;
    bar.SetScrollInfo(&info, TRUE);
}

} // namespace

LRESULT CPageModifyDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    TRACE_SCOPE(u"CPageModifyDlg::OnInitDialog");
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);
    CenterWindow(GetParent());

    int days = 0, hours = 0, minutes = 0;
    SplitInterval(m_nInterval, days, hours, minutes);

    m_linkUrl.SubclassWindow(GetDlgItem(IDC_PAGE_URL_LINK));
    m_linkBrowserUrl.SubclassWindow(GetDlgItem(IDC_PAGE_BROWSER_LINK));
    for (CHyperLink* link : { &m_linkUrl, &m_linkBrowserUrl })
        link->SetHyperLinkExtendedStyle(HLINK_COMMANDBUTTON);
    ShowLink(m_linkUrl, m_strUrl);
    ShowLink(m_linkBrowserUrl, m_strUrlBrowser);

    m_sbMinutes = GetDlgItem(IDC_INTERVAL_MINUTES);
    m_sbHours = GetDlgItem(IDC_INTERVAL_HOURS);
    m_sbDays = GetDlgItem(IDC_INTERVAL_DAYS);
    SetUpBar(m_sbMinutes, 59, minutes);
    SetUpBar(m_sbHours, 23, hours);
    SetUpBar(m_sbDays, 31, days);

    CheckDlgButton(IDC_PAGE_ENABLE, (m_bEnable == 1 || m_bEnable == 2) ? static_cast<UINT>(m_bEnable) : BST_UNCHECKED);
    SetDlgItemText(IDC_PAGE_DESCR, m_strDescr);

    BOOL handled = TRUE;
    OnEnable(BN_CLICKED, IDC_PAGE_ENABLE, nullptr, handled);
    UpdateIntervalLabel();
    return FALSE;
}

void CPageModifyDlg::ShowLink(CHyperLink& link, const QString& address)
{
    link.SetLabel(address);
    link.SetHyperLink(address);
    link.Invalidate();
}

LRESULT CPageModifyDlg::OnEnable(WORD, WORD, HWND, BOOL&)
{
    m_bEnable = IsDlgButtonChecked(IDC_PAGE_ENABLE) == BST_CHECKED;
    for (int id : { IDC_PAGE_URL_LINK, IDC_PAGE_MODIFY_URL, IDC_PAGE_MODIFY_BROWSER_URL, IDC_PAGE_CONTENT_FOR_CHECK,
             IDC_PAGE_DESCR, IDC_INTERVAL_MINUTES, IDC_INTERVAL_HOURS, IDC_INTERVAL_DAYS, IDC_PAGE_BROWSER_LINK })
        ::EnableWindow(GetDlgItem(id), m_bEnable);
    return 0;
}

LRESULT CPageModifyDlg::OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    HWND bar = reinterpret_cast<HWND>(lParam);
    if (bar != m_sbMinutes.m_hWnd && bar != m_sbHours.m_hWnd && bar != m_sbDays.m_hWnd)
        return 0;
    CScrollBar scroll(bar);
    int min = 0, max = 0;
    scroll.GetScrollRange(&min, &max);
    const int pos = scroll.GetScrollPos();
    switch (LOWORD(wParam)) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
    case SB_LEFT:
        scroll.SetScrollPos(std::max(min, pos - 1));
        break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
    case SB_RIGHT:
        scroll.SetScrollPos(std::min(max, pos + 1));
        break;
    case SB_THUMBTRACK:
        scroll.SetScrollPos(static_cast<short>(HIWORD(wParam)));
        break;
    default:
        break;
    }
    UpdateIntervalLabel();
    return 0;
}

void CPageModifyDlg::UpdateIntervalLabel()
{
    SetDlgItemText(IDC_INTERVAL_CAPTION,
        QStringLiteral("Interval between checks: ")
            + FormatInterval(m_sbDays.GetScrollPos(), m_sbHours.GetScrollPos(), m_sbMinutes.GetScrollPos()));
}

LRESULT CPageModifyDlg::OnOk(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CPageModifyDlg::OnOk");
    const int days = m_sbDays.GetScrollPos();
    const int hours = m_sbHours.GetScrollPos();
    const int minutes = m_sbMinutes.GetScrollPos();
    if (days == 0 && hours == 0 && minutes == 0) {
        MessageBox(
            QStringLiteral("Interval between check cannot be zero."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
        return 0;
    }
    m_bEnable = IsDlgButtonChecked(IDC_PAGE_ENABLE) == BST_CHECKED;
    m_strDescr = GetDlgItemText(IDC_PAGE_DESCR).trimmed();
    if (m_strDescr.isEmpty())
        m_strDescr = m_strUrl;
    m_nInterval = static_cast<DWORD>((days * 1440 + hours * 60 + minutes) * 60);
    EndDialog(IDOK);
    return 0;
}

LRESULT CPageModifyDlg::OnCancel(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CPageModifyDlg::OnCancel");
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CPageModifyDlg::OnModifyUrl(WORD, WORD, HWND, BOOL&)
{
    CPageAddDlg dlg;
    dlg.m_pPageCtx = m_pPageCtx;
    dlg.m_strUrl = m_strUrl;
    const bool accepted = dlg.DoModal(m_hWnd, CPageAddDlg::modeModifyUrl) == IDOK;
    const QString watched = accepted ? dlg.m_strUrl : m_strUrl;
    // A download of another address than the one now watched (a test of an address then given
    // up, or an earlier download when the address changed untested) says nothing about this one.
    const QString& downloaded = dlg.DownloadedUrl();
    if ((!downloaded.isEmpty() && downloaded != watched) || (downloaded.isEmpty() && watched != m_strUrl)) {
        if (m_pPageCtx)
            m_pPageCtx->m_strHtml.clear();
        m_bCheckStateStale = true;
    }
    if (!accepted)
        return 0;
    m_strUrl = dlg.m_strUrl;
    ShowLink(m_linkUrl, m_strUrl);
    m_strDescr = dlg.m_strDescr;
    SetDlgItemText(IDC_PAGE_DESCR, m_strDescr);
    return 0;
}

LRESULT CPageModifyDlg::OnModifyBrowserUrl(WORD, WORD, HWND, BOOL&)
{
    // Never downloads: the page context stays out of it.
    CPageAddDlg dlg;
    dlg.m_strUrl = m_strUrlBrowser;
    if (dlg.DoModal(m_hWnd, CPageAddDlg::modeModifyBrowserUrl) != IDOK)
        return 0;
    m_strUrlBrowser = dlg.m_strUrl;
    ShowLink(m_linkBrowserUrl, m_strUrlBrowser);
    // What the user typed into the description meanwhile stays.
    return 0;
}

LRESULT CPageModifyDlg::OnUrlClick(WORD, WORD wID, HWND, BOOL&)
{
    const CHyperLink& link = wID == IDC_PAGE_URL_LINK ? m_linkUrl : m_linkBrowserUrl;
    QString address = link.GetHyperLink();
    if (address.size() > kMaxLinkAddress)
        address.clear();
    bool opened = false;
    try {
        const QString browser = g_prefs.GetParam(kUserBrowserPath)->GetString();
        if (!g_prefs.GetParam(kUseDefaultBrowser)->GetBool() && !browser.isEmpty())
            TRACE1(u"CMainFrame::OnUrlClick. WinExec(%s).\n", taluvo::Format(u"\"%s\" \"%s\"", browser, address));
        opened = OpenInUserBrowser(m_hWnd, address, g_prefs.GetParam(kOpenNewWindow)->GetBool());
    } catch (CCmnException& e) {
        TRACE0(u"CPageModifyDlg::OnUrlClick. Exception: %s\n", e.GetMessage());
    }
    if (!opened)
        MessageBox(
            QStringLiteral("Unable to open web page in browser."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    return 0;
}

LRESULT CPageModifyDlg::OnContentForCheck(WORD, WORD, HWND, BOOL&)
{
    CSearchContentDlg dlg(m_pPageCtx);
    dlg.DoModal(m_hWnd, reinterpret_cast<LPARAM>(this));
    return 0;
}
