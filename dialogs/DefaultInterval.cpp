#include "dialogs/DefaultInterval.h"

#include "core/InternetUtils.h"

#include <algorithm>

TRACE_MODULE("CDefaultInterval");

namespace {

constexpr int kMaxMinutes = 59;
constexpr int kMaxHours = 23;
constexpr int kMaxDays = 31;

// Range, a page of one and the position (held inside the range).
void SetUpBar(CScrollBar& bar, int max, int position)
{
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = max;
    info.nPage = 1;
    info.nPos = std::clamp(position, 0, max);
    bar.SetScrollInfo(&info, TRUE);
}

} // namespace

CDefaultInterval::CDefaultInterval()
    : CPreferencesPage(IDD, QStringLiteral("Default Interval"))
{
}

LRESULT CDefaultInterval::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CDefaultInterval::OnInitDialog",
        [this](CPreferences& prefs) { m_nInterval = prefs.GetParam(kDefaultUpdateInterval)->GetInt(); });
    int days = 0, hours = 0, minutes = 0;
    SplitInterval(static_cast<DWORD>(m_nInterval), days, hours, minutes);
    m_minutesBar = GetDlgItem(IDC_INTERVAL_MINUTES);
    m_hoursBar = GetDlgItem(IDC_INTERVAL_HOURS);
    m_daysBar = GetDlgItem(IDC_INTERVAL_DAYS);
    SetUpBar(m_minutesBar, kMaxMinutes, minutes);
    SetUpBar(m_hoursBar, kMaxHours, hours);
    SetUpBar(m_daysBar, kMaxDays, days);
    UpdateCaption();
    return FALSE;
}

LRESULT CDefaultInterval::OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    const HWND from = reinterpret_cast<HWND>(lParam);
    CScrollBar* bar = nullptr;
    int max = 0;
    if (from && from == m_minutesBar.m_hWnd) {
        bar = &m_minutesBar;
        max = kMaxMinutes;
    } else if (from && from == m_hoursBar.m_hWnd) {
        bar = &m_hoursBar;
        max = kMaxHours;
    } else if (from && from == m_daysBar.m_hWnd) {
        bar = &m_daysBar;
        max = kMaxDays;
    }
    if (!bar)
        return 0;
    // Every step is exactly one position, whichever part of the bar was used.
    const int position = bar->GetScrollPos();
    switch (LOWORD(wParam)) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
    case SB_LEFT:
        if (position > 0)
            bar->SetScrollPos(position - 1);
        break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
    case SB_RIGHT:
        if (position < max)
            bar->SetScrollPos(position + 1);
        break;
    case SB_THUMBTRACK:
        bar->SetScrollPos(static_cast<short>(HIWORD(wParam)));
        break;
    default: // SB_THUMBPOSITION, SB_ENDSCROLL
        break;
    }
    UpdateCaption();
    return 0;
}

void CDefaultInterval::UpdateCaption()
{
    SetDlgItemText(IDC_INTERVAL_CAPTION,
        QStringLiteral("Interval between checks: ")
            + FormatInterval(m_daysBar.GetScrollPos(), m_hoursBar.GetScrollPos(), m_minutesBar.GetScrollPos()));
}

BOOL CDefaultInterval::Save()
{
    const int days = m_daysBar.GetScrollPos();
    const int hours = m_hoursBar.GetScrollPos();
    const int minutes = m_minutesBar.GetScrollPos();
    if (days == 0 && hours == 0 && minutes == 0) {
        MessageBox(
            QStringLiteral("Interval between check cannot be zero."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
        return FALSE;
    }
    m_nInterval = (days * 1440 + hours * 60 + minutes) * 60;
    WithPrefs(PAGE_TRACE_LEVEL, u"CDefaultInterval::Save",
        [this](CPreferences& prefs) { prefs.GetParam(kDefaultUpdateInterval)->SetInt(m_nInterval); });
    return TRUE;
}
