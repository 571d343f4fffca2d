// Finished checks whose results wait for the database: while another program holds it locked, the
// window keeps them in the order the checks ended and stores them (then raises their alerts) once
// the lock has gone, instead of sitting out SQLite's busy wait on the user-interface thread.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"

#include <algorithm>
#include <chrono>

TRACE_MODULE("CMainFrame");

namespace {

// How long storing a result waits for another connection's lock before it is kept for later; a
// retry while results wait waits less, as it comes again.
constexpr int kResultStoreWaitMs = 300;
constexpr int kResultRetryWaitMs = 100;
constexpr UINT kResultRetryMs = 1000;
// Storing the kept results gives the window's loop a turn after this long at most (past one
// result, however long that one took), so a long queue never holds up the window.
constexpr auto kStoreSlice = std::chrono::milliseconds(20);
constexpr UINT kNextSliceMs = 1;

} // namespace

void CMainFrame::KeepResult(SPageCtx* ctx, const QString& url)
{
    // Storing and the alerts need the check's outcome and its address only: the page's text
    // (up to the check's 16 MB) is given back now, not when the database can be written.
    ctx->m_strHtml = QString();
    // Behind results that wait already, it waits its turn: their retry timer runs.
    const bool othersWait = !m_resultsToStore.empty();
    m_resultsToStore.push_back({ ctx, url });
    if (!othersWait)
        StoreKeptResults(kResultStoreWaitMs);
}

bool CMainFrame::StoreKeptResults(int waitMs)
{
    const auto sliceEnd = std::chrono::steady_clock::now() + kStoreSlice;
    bool storedOne = false;
    while (!m_resultsToStore.empty()) {
        if (storedOne && std::chrono::steady_clock::now() >= sliceEnd) {
            // The rest at the loop's next turn, after whatever waits for the window.
            m_iResultRetryTimer = SetTimer(g_iResultRetryTimerId, kNextSliceMs);
            return false;
        }
        const SKeptResult kept = m_resultsToStore.front();
        if (!StoreKeptResult(*kept.ctx, kept.url, waitMs)) {
            m_iResultRetryTimer = SetTimer(g_iResultRetryTimerId, kResultRetryMs);
            return false;
        }
        m_resultsToStore.pop_front();
        m_checks.Release(kept.ctx);
        storedOne = true;
    }
    StopResultRetryTimer();
    return true;
}

void CMainFrame::StopResultRetryTimer()
{
    if (m_iResultRetryTimer)
        KillTimer(g_iResultRetryTimerId);
    m_iResultRetryTimer = 0;
}

void CMainFrame::OnResultRetryTimer()
{
    StopResultRetryTimer();
    if (StoreKeptResults(kResultRetryWaitMs))
        CheckPendingList();
}

bool CMainFrame::StoreKeptResult(SPageCtx& ctx, const QString& url, int waitMs)
{
    try {
        const HTREEITEM hItem = FindPage(ctx.m_nGroupId, ctx.m_nPageId);
        FAIL_CHECK(hItem, QStringLiteral("Unable to find page in tree."));
        QString urlBrowser;
        QString descr;
        {
            const CThreadBusyLimit limit(m_db, waitMs);
            if (!StoreFinishedCheck(ctx, hItem, urlBrowser, descr)) {
                if (!m_bResultsKeptTraced) {
                    m_bResultsKeptTraced = true;
                    TRACE0(u"CMainFrame::OnUpdaterNotify. The database is locked by another program; check results "
                           u"are kept until it can be written.\r\n");
                }
                return false;
            }
        }
        if (m_bResultsKeptTraced) {
            m_bResultsKeptTraced = false;
            TRACE0(u"CMainFrame::OnUpdaterNotify. The database can be written again; the kept results are stored.\r\n");
        }
        if (ctx.m_iStatus == statusNew)
            RaiseUpdateAlerts(ctx, url, urlBrowser, descr);
        else if (ctx.m_iStatus == statusError && g_prefs.GetParam(kErrorSoundEnable)->GetBool())
            PlayErrorSound();
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnUpdaterNotify. Exception: %s\r\n", e.GetMessage());
    }
    return true;
}

void CMainFrame::StoreKeptResultsAtExit(DWORD waitMs)
{
    StopResultRetryTimer();
    // The bound holds whatever a store costs: it is looked at before each one, not only after a
    // store the lock refused.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!m_resultsToStore.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const SKeptResult kept = m_resultsToStore.front();
        if (!StoreKeptResult(*kept.ctx, kept.url, static_cast<int>(left.count())))
            continue; // locked: tried again while time is left
        m_resultsToStore.pop_front();
        m_checks.Release(kept.ctx);
    }
    for (const SKeptResult& kept : m_resultsToStore) {
        TRACE0(u"CMainFrame::OnDestroy. The result of the check of page %d of group %d could not be stored: the "
               u"database is locked by another program. The page is checked again at the next start.\r\n",
            int(kept.ctx->m_nPageId), int(kept.ctx->m_nGroupId));
    }
    if (!m_resultsToStore.empty()) {
        TRACE0(u"CMainFrame::OnDestroy. %d check results were not stored within the exit's %u ms.\r\n",
            static_cast<int>(m_resultsToStore.size()), static_cast<unsigned>(waitMs));
    }
    m_resultsToStore.clear();
}
