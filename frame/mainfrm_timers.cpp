// The scheduler's three timers: the check interval (queues the due pages), the online check
// (keeps WorkOffline in line with the connection) and the popup (hides the update alert again).
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/InternetUtils.h"
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "engine/Scheduler.h"
#include "platform/base/Time.h"
#include "platform/inet/WinInet.h"

#include <optional>

TRACE_MODULE("CMainFrame");

namespace {

constexpr UINT kIntervalMs = 60000;
constexpr UINT kCheckOnlineMs = 5000;

} // namespace

LRESULT CMainFrame::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    switch (wParam) {
    case g_iIntervalTimerId: {
        // Offline, the timer stays armed and only ticks.
        if (g_prefs.GetParam(kWorkOffline)->GetBool())
            return 0;
        if (m_iIntervalTimer)
            KillTimer(g_iIntervalTimerId);
        m_iIntervalTimer = 0;
        if (m_db.opened()) {
            const SCheckSource source { m_db, g_dbMutex, m_hWnd, g_hInternet.Get(), &g_prefs };
            QueueDuePages(source, m_checks, static_cast<uint32_t>(taluvo::UnixTimeNow()));
        }
        m_iIntervalTimer = SetTimer(g_iIntervalTimerId, kIntervalMs);
        break;
    }
    case g_iCheckOnlineTimerId: {
        if (m_iCheckOnlineTimer)
            KillTimer(g_iCheckOnlineTimerId);
        m_iCheckOnlineTimer = 0;
        DWORD flags = 0;
        // With no connection at all the program works offline too (no checks that can only
        // fail), and comes back online by itself at the first tick that finds a link again.
        const BOOL connected = InternetGetConnectedState(&flags, 0);
        const bool dialUp = connected && (flags & (INTERNET_RAS_INSTALLED | INTERNET_CONNECTION_MODEM)) != 0;
        {
            // The store's own lock is needed only when dial-up links are asked about.
            std::optional<CMutexLocker> guard;
            if (dialUp)
                guard.emplace(g_prefs.m_mutex);
            g_prefs.GetParam(kWorkOffline)
                ->SetBool(IsOfflineConnection(connected, flags, dialUp && CountActiveRasConnections() != 0));
        }
        BOOL handled = TRUE;
        OnFileWorkOffline(0, static_cast<WORD>(-1), nullptr, handled);
        try {
            m_iCheckOnlineTimer = SetTimer(g_iCheckOnlineTimerId, kCheckOnlineMs);
            FAIL_CHECK(m_iCheckOnlineTimer, QStringLiteral("Unable to set check online timer."));
        } catch (CCmnException& e) {
            TRACE0(u"CMainFrame::OnTimer(g_iCheckOnlineTimerId). Exception: %s.\n", e.GetMessage());
        }
        break;
    }
    case g_iPopupTimerId:
        if (m_iPopupTimer)
            KillTimer(g_iPopupTimerId);
        m_iPopupTimer = 0;
        m_strPopupLines.clear();
        m_trayToolTip.HideTooltip();
        if (m_bTrayShownForPopup && m_trayIcon.IsVisible()) {
            m_bTrayShownForPopup = FALSE;
            m_trayIcon.HideIcon();
        }
        break;
    case g_iResultRetryTimerId:
        OnResultRetryTimer();
        break;
    default:
        TRACE0(u"CMainFrame::OnTimer. Unknown timer id: %d.\n", static_cast<int>(wParam));
        break;
    }
    return 0;
}
