#include "engine/CheckLists.h"

#include "core/DebugTracer.h"
#include "engine/Updater.h"
#include "platform/base/Time.h"

#include <algorithm>

TRACE_MODULE("CMainFrame");

namespace {

CCheckLists::Contexts::iterator FindPage(CCheckLists::Contexts& list, WORD nGroupId, WORD nPageId)
{
    return std::find_if(list.begin(), list.end(), [=](const SPageCtx* ctx) {
        return ctx && ctx->m_nGroupId == nGroupId && (nPageId == 0xFFFF || ctx->m_nPageId == nPageId);
    });
}

}  // namespace

CCheckLists::~CCheckLists()
{
    DropPending();
    CancelRunning(5000);
}

CCheckLists::Contexts::iterator CCheckLists::IsPageInProcessing(WORD nGroupId, WORD nPageId)
{
    return FindPage(m_ctxsRun, nGroupId, nPageId);
}

CCheckLists::Contexts::iterator CCheckLists::IsPageInPending(WORD nGroupId, WORD nPageId)
{
    return FindPage(m_ctxsPending, nGroupId, nPageId);
}

void CCheckLists::DeleteContext(SPageCtx* pPageCtx)
{
    if (!pPageCtx)
        return;
    if (pPageCtx->m_pUpdater && pPageCtx->m_pUpdater->IsStopped())
        delete pPageCtx->m_pUpdater;
    pPageCtx->m_pUpdater = nullptr;
    delete pPageCtx;
}

int CCheckLists::CheckPendingList()
{
    while (!m_ctxsPending.empty()) {
        SPageCtx* ctx = m_ctxsPending.front();
        m_ctxsPending.erase(m_ctxsPending.begin());
        if (!ctx)
            continue;
        if (IsRunning(ctx->m_nGroupId, ctx->m_nPageId)) {
            DeleteContext(ctx);
            continue;
        }
        m_ctxsRun.push_back(ctx);
        if (ctx->m_pUpdater && ctx->m_pUpdater->Start())
            return 1;
        m_ctxsRun.pop_back();
        TRACE0(u"CMainFrame::CheckPendingList. Unable to start updater thread. nGroupId: %d, nPageId: %d.\n",
               ctx->m_nGroupId, ctx->m_nPageId);
        DeleteContext(ctx);
    }
    return 0;
}

void CCheckLists::DropPending()
{
    Contexts pending;
    pending.swap(m_ctxsPending);
    for (SPageCtx* ctx : pending)
        DeleteContext(ctx);
}

void CCheckLists::DropPending(WORD nGroupId, WORD nPageId)
{
    for (auto it = IsPageInPending(nGroupId, nPageId); it != m_ctxsPending.end(); it = IsPageInPending(nGroupId, nPageId)) {
        SPageCtx* ctx = *it;
        m_ctxsPending.erase(it);
        DeleteContext(ctx);
    }
}

namespace {

void Cancel(SPageCtx* ctx)
{
    ctx->m_bCancelled = TRUE;
    ctx->m_dwErrorCode = ERROR_CANCELLED;
    if (ctx->m_pUpdater)
        ctx->m_pUpdater->CancelUpdate();
    if (ctx->m_hSignalEvent.IsValid())
        SetEvent(ctx->m_hSignalEvent);
}

}  // namespace

void CCheckLists::CancelRunning(DWORD waitMs)
{
    Contexts& running = m_ctxsCancelling;
    Contexts borrowed;
    for (SPageCtx* ctx : m_ctxsRun) {
        if (std::find(m_ctxsBorrowed.begin(), m_ctxsBorrowed.end(), ctx) != m_ctxsBorrowed.end())
            borrowed.push_back(ctx);
        else
            running.push_back(ctx);
    }
    m_ctxsRun.swap(borrowed);
    for (SPageCtx* ctx : running) {
        if (!ctx)
            continue;
        TRACE2(u"CMainFrame::OnDestroy. Terminating updater thread for nGroupId: %d, nPageId: %d, \"%s\".\n",
               ctx->m_nGroupId, ctx->m_nPageId, ctx->m_strDescr);
        Cancel(ctx);
    }
    // A worker that had only just started resets its context's cancel state when its fetch
    // begins, so the cancel is repeated until every worker has ended or the time is up.
    const DWORD start = GetTickCount();
    for (;;) {
        bool allEnded = true;
        for (SPageCtx* ctx : running) {
            if (ctx && ctx->m_pUpdater && !ctx->m_pUpdater->Wait(0)) {
                allEnded = false;
                Cancel(ctx);
            }
        }
        const DWORD spent = GetTickCount() - start;
        if (allEnded || spent >= waitMs)
            break;
        for (SPageCtx* ctx : running)
            if (ctx && ctx->m_pUpdater && !ctx->m_pUpdater->Wait(std::min<DWORD>(50, waitMs - spent)))
                break;
    }
    Contexts leftRunning;
    for (SPageCtx* ctx : running) {
        if (!ctx)
            continue;
        if (CUpdater* updater = ctx->m_pUpdater) {
            if (!updater->Wait(0)) {
                // Still running: leave it its context rather than free memory it may touch.
                TRACE0(u"CMainFrame::OnDestroy. Updater thread of nGroupId: %d, nPageId: %d did not end; left running.\n",
                       ctx->m_nGroupId, ctx->m_nPageId);
                leftRunning.push_back(ctx);
                continue;
            }
            delete updater;
            ctx->m_pUpdater = nullptr;
        }
        delete ctx;
    }
    running.swap(leftRunning);
}

bool CCheckLists::IsBeingCancelled(const SPageCtx* pPageCtx) const
{
    return std::find(m_ctxsCancelling.begin(), m_ctxsCancelling.end(), pPageCtx) != m_ctxsCancelling.end();
}

void CCheckLists::AddBorrowed(SPageCtx* pPageCtx)
{
    m_ctxsBorrowed.push_back(pPageCtx);
    m_ctxsRun.push_back(pPageCtx);
}

bool CCheckLists::RemoveBorrowed(SPageCtx* pPageCtx)
{
    const auto owned = std::find(m_ctxsBorrowed.begin(), m_ctxsBorrowed.end(), pPageCtx);
    if (owned != m_ctxsBorrowed.end())
        m_ctxsBorrowed.erase(owned);
    const auto it = std::find(m_ctxsRun.begin(), m_ctxsRun.end(), pPageCtx);
    if (it == m_ctxsRun.end())
        return false;
    m_ctxsRun.erase(it);
    return true;
}

void CCheckLists::Release(SPageCtx* pPageCtx)
{
    const auto it = std::find(m_ctxsRun.begin(), m_ctxsRun.end(), pPageCtx);
    if (it != m_ctxsRun.end())
        m_ctxsRun.erase(it);
    if (!pPageCtx)
        return;
    if (CUpdater* updater = pPageCtx->m_pUpdater) {
        // Called while the worker waits in its finished notice: its thread ends right after, and
        // then it deletes itself. One whose thread has already ended is deleted here.
        if (updater->IsStopped())
            delete updater;
        else
            updater->m_bAutoDelete = TRUE;
    }
    pPageCtx->m_pUpdater = nullptr;
    delete pPageCtx;
}
