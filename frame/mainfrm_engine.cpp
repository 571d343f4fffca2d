// The scheduler's timers and the check results as the main window receives them. Kept minimal:
// the interval timer queues the due pages unless the program works offline, and a finished check
// has its result stored and its context released.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "engine/Alerts.h"
#include "engine/Scheduler.h"

#include <QDateTime>

#include <algorithm>

TRACE_MODULE("CMainFrame");

LRESULT CMainFrame::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (wParam != g_iIntervalTimerId) {
        bHandled = FALSE;
        return 0;
    }
    if (g_prefs.GetParam("WorkOffline")->GetBool() || !m_db.opened())
        return 0;
    const SCheckSource source { m_db, g_dbMutex, m_hWnd, g_hInternet.Get(), &g_prefs };
    QueueDuePages(source, m_checks, static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch()));
    return 0;
}

LRESULT CMainFrame::OnUpdaterNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    if (LOWORD(static_cast<DWORD>(lParam)) != stateFinished)
        return 0;
    auto* ctx = reinterpret_cast<SPageCtx*>(wParam);
    auto& running = m_checks.m_ctxsRun;
    if (!ctx || std::find(running.begin(), running.end(), ctx) == running.end())
        return 0;
    try {
        AUTO_DB_LOCKER();
        if (m_db.opened())
            StoreCheckResult(m_db, *ctx);
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnUpdaterNotify - SQL Exception. Error: %hs\r\n", e.errorMessage());
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnUpdaterNotify. Exception: %s\r\n", e.GetMessage());
    }
    m_checks.Release(ctx);
    m_checks.CheckPendingList();
    return 0;
}
