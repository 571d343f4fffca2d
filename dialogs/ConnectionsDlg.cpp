#include "dialogs/ConnectionsDlg.h"

TRACE_MODULE("CConnectionsDlg");

namespace {

constexpr int kTimeoutMin = 5;
constexpr int kTimeoutMax = 90;
constexpr int kTickEvery = 5;

} // namespace

CConnectionsDlg::CConnectionsDlg()
    : CPreferencesPage(IDD, QStringLiteral("Connection"))
{
}

LRESULT CConnectionsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CConnectionsDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_nConnectionType = prefs.GetParam(kAutoDetectOnline)->GetBool() ? 1 : 0;
        m_nConnectTimeout = prefs.GetParam(kConnectTimeout)->GetInt();
        m_nRecvTimeout = prefs.GetParam(kRecvTimeout)->GetInt();
        m_nSendTimeout = prefs.GetParam(kSendTimeout)->GetInt();
    });
    m_connectBar = GetDlgItem(IDC_CONNECT_TIMEOUT);
    m_recvBar = GetDlgItem(IDC_RECV_TIMEOUT);
    m_sendBar = GetDlgItem(IDC_SEND_TIMEOUT);
    // A stored time-out outside the range puts the thumb at the nearer end; the page keeps the
    // stored number until that trackbar is moved.
    const std::pair<CTrackBarCtrl*, int> bars[]
        = { { &m_connectBar, m_nConnectTimeout }, { &m_recvBar, m_nRecvTimeout }, { &m_sendBar, m_nSendTimeout } };
    for (const auto& [bar, value] : bars) {
        bar->SetRange(kTimeoutMin, kTimeoutMax);
        bar->SetTicFreq(kTickEvery);
        bar->SetPos(value, TRUE);
    }
    DoDataExchange(FALSE);
    UpdateLabels();
    return FALSE;
}

LRESULT CConnectionsDlg::OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    const HWND from = reinterpret_cast<HWND>(lParam);
    const WORD code = LOWORD(wParam);
    auto valueOf = [&](CTrackBarCtrl& bar) {
        return code == TB_THUMBTRACK ? static_cast<int>(static_cast<short>(HIWORD(wParam))) : bar.GetPos();
    };
    if (from && from == m_connectBar.m_hWnd)
        m_nConnectTimeout = valueOf(m_connectBar);
    else if (from && from == m_recvBar.m_hWnd)
        m_nRecvTimeout = valueOf(m_recvBar);
    else if (from && from == m_sendBar.m_hWnd)
        m_nSendTimeout = valueOf(m_sendBar);
    UpdateLabels();
    return 0;
}

LRESULT CConnectionsDlg::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    m_connectBar = nullptr;
    m_recvBar = nullptr;
    m_sendBar = nullptr;
    bHandled = FALSE;
    return 0;
}

void CConnectionsDlg::UpdateLabels()
{
    const std::pair<int, int> labels[] = { { IDC_CONNECT_TIMEOUT_LABEL, m_nConnectTimeout },
        { IDC_RECV_TIMEOUT_LABEL, m_nRecvTimeout }, { IDC_SEND_TIMEOUT_LABEL, m_nSendTimeout } };
    for (const auto& [id, seconds] : labels)
        SetDlgItemText(id, QStringLiteral("%1 sec.").arg(seconds));
}

BOOL CConnectionsDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CConnectionsDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kAutoDetectOnline)->SetBool(m_nConnectionType == 1);
        prefs.GetParam(kConnectTimeout)->SetInt(m_nConnectTimeout);
        prefs.GetParam(kRecvTimeout)->SetInt(m_nRecvTimeout);
        prefs.GetParam(kSendTimeout)->SetInt(m_nSendTimeout);
    });
    return TRUE;
}
