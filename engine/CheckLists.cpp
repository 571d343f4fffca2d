#include "engine/CheckLists.h"

#include "core/DebugTracer.h"
#include "platform/base/Time.h"

#include <algorithm>

TRACE_MODULE("CMainFrame");

namespace {

CCheckLists::Checks::iterator FindPage(CCheckLists::Checks& list, WORD nGroupId, WORD nPageId)
{
    return std::find_if(list.begin(), list.end(), [=](const std::unique_ptr<CPageCheck>& check) {
        const SPageCtx& ctx = check->Ctx();
        return ctx.m_nGroupId == nGroupId && (nPageId == 0xFFFF || ctx.m_nPageId == nPageId);
    });
}

CCheckLists::Checks::iterator FindContext(CCheckLists::Checks& list, const SPageCtx* pPageCtx)
{
    return std::find_if(
        list.begin(), list.end(), [=](const std::unique_ptr<CPageCheck>& check) { return &check->Ctx() == pPageCtx; });
}

} // namespace

CCheckLists::~CCheckLists()
{
    DropPending();
    CancelRunning(5000);
    // A worker that would not end keeps its check for good: freeing the check would wait for it
    // without end, and the process's own bounded wait at exit covers it.
    for (std::unique_ptr<CPageCheck>& check : m_cancelling)
        static_cast<void>(check.release());
}

CCheckLists::Checks::iterator CCheckLists::IsPageInProcessing(WORD nGroupId, WORD nPageId)
{
    return FindPage(m_ctxsRun, nGroupId, nPageId);
}

CCheckLists::Checks::iterator CCheckLists::IsPageInPending(WORD nGroupId, WORD nPageId)
{
    return FindPage(m_ctxsPending, nGroupId, nPageId);
}

CPageCheck* CCheckLists::FindRunning(const SPageCtx* pPageCtx)
{
    const auto it = FindContext(m_ctxsRun, pPageCtx);
    return it == m_ctxsRun.end() ? nullptr : it->get();
}

int CCheckLists::CheckPendingList()
{
    FreeEnded();
    while (!m_ctxsPending.empty()) {
        std::unique_ptr<CPageCheck> check = std::move(m_ctxsPending.front());
        m_ctxsPending.erase(m_ctxsPending.begin());
        const WORD nGroupId = check->Ctx().m_nGroupId;
        const WORD nPageId = check->Ctx().m_nPageId;
        if (IsRunning(nGroupId, nPageId))
            continue;
        // In the running list before its worker starts: its first notice must find it there.
        m_ctxsRun.push_back(std::move(check));
        if (m_ctxsRun.back()->Start())
            return 1;
        m_ctxsRun.pop_back();
        TRACE0(u"CMainFrame::CheckPendingList. Unable to start updater thread. nGroupId: %d, nPageId: %d.\n", nGroupId,
            nPageId);
    }
    return 0;
}

void CCheckLists::DropPending()
{
    Checks pending;
    pending.swap(m_ctxsPending);
}

void CCheckLists::DropPending(WORD nGroupId, WORD nPageId)
{
    std::erase_if(m_ctxsPending, [=](const std::unique_ptr<CPageCheck>& check) {
        const SPageCtx& ctx = check->Ctx();
        return ctx.m_nGroupId == nGroupId && (nPageId == 0xFFFF || ctx.m_nPageId == nPageId);
    });
}

void CCheckLists::CancelFirstRunning()
{
    // A finished check whose result waits for the database has nothing left to cancel.
    for (const std::unique_ptr<CPageCheck>& check : m_ctxsRun) {
        if (check->IsRunning()) {
            check->Cancel();
            return;
        }
    }
}

void CCheckLists::CancelRunning(DWORD waitMs)
{
    Checks kept;
    for (std::unique_ptr<CPageCheck>& check : m_ctxsRun) {
        if (check->OwnsContext())
            m_cancelling.push_back(std::move(check));
        else
            kept.push_back(std::move(check));
    }
    m_ctxsRun.swap(kept);
    for (std::unique_ptr<CPageCheck>& check : m_finished)
        m_cancelling.push_back(std::move(check));
    m_finished.clear();
    for (const std::unique_ptr<CPageCheck>& check : m_cancelling) {
        const SPageCtx& ctx = check->Ctx();
        TRACE2(u"CMainFrame::OnDestroy. Terminating updater thread for nGroupId: %d, nPageId: %d, \"%s\".\n",
            ctx.m_nGroupId, ctx.m_nPageId, ctx.m_strDescr);
        if (check->IsRunning())
            check->Cancel();
    }
    const DWORD start = GetTickCount();
    for (const std::unique_ptr<CPageCheck>& check : m_cancelling) {
        const DWORD spent = GetTickCount() - start;
        check->CancelAndWait(spent >= waitMs ? 0 : waitMs - spent);
    }
    std::erase_if(m_cancelling, [](const std::unique_ptr<CPageCheck>& check) {
        if (!check->IsRunning())
            return true;
        // Still running: it keeps its context rather than free memory it may touch.
        TRACE0(u"CMainFrame::OnDestroy. Updater thread of nGroupId: %d, nPageId: %d did not end; left running.\n",
            check->Ctx().m_nGroupId, check->Ctx().m_nPageId);
        return false;
    });
}

void CCheckLists::Release(SPageCtx* pPageCtx)
{
    FreeEnded();
    const auto it = FindContext(m_ctxsRun, pPageCtx);
    if (it == m_ctxsRun.end())
        return;
    std::unique_ptr<CPageCheck> check = std::move(*it);
    m_ctxsRun.erase(it);
    // Its result is taken: a check parked until its worker's thread has ended (which may be
    // the next tick with due pages) keeps nothing of the page's text meanwhile.
    if (check->OwnsContext())
        check->Ctx().m_strHtml = QString();
    if (check->IsRunning())
        m_finished.push_back(std::move(check));
}

void CCheckLists::FreeEnded()
{
    std::erase_if(m_finished, [](const std::unique_ptr<CPageCheck>& check) { return !check->IsRunning(); });
}

bool CCheckLists::IsBeingCancelled(const SPageCtx* pPageCtx) const
{
    return std::any_of(m_cancelling.begin(), m_cancelling.end(),
        [=](const std::unique_ptr<CPageCheck>& check) { return &check->Ctx() == pPageCtx; });
}

void CCheckLists::AddBorrowed(SPageCtx* pPageCtx)
{
    m_ctxsRun.push_back(std::make_unique<CPageCheck>(*pPageCtx));
}

bool CCheckLists::RemoveBorrowed(SPageCtx* pPageCtx)
{
    const auto it = std::find_if(m_ctxsRun.begin(), m_ctxsRun.end(),
        [=](const std::unique_ptr<CPageCheck>& check) { return !check->OwnsContext() && &check->Ctx() == pPageCtx; });
    if (it == m_ctxsRun.end())
        return false;
    m_ctxsRun.erase(it);
    return true;
}
