// The two lists of page checks the main window keeps: queued checks (their workers not started)
// and running ones. Used on the user-interface thread only, so they have no lock. The lists own
// their contexts; a running context may be one without a worker (the page modify command's).
#pragma once

#include "engine/PageCtx.h"
#include "platform/base/WinTypes.h"

#include <vector>

class CCheckLists {
public:
    using Contexts = std::vector<SPageCtx*>;

    CCheckLists() = default;
    ~CCheckLists();
    CCheckLists(const CCheckLists&) = delete;
    CCheckLists& operator=(const CCheckLists&) = delete;

    // First context of the page (nPageId 0xFFFF: any page of the group); end() when none.
    Contexts::iterator IsPageInProcessing(WORD nGroupId, WORD nPageId);
    Contexts::iterator IsPageInPending(WORD nGroupId, WORD nPageId);
    bool IsRunning(WORD nGroupId, WORD nPageId) { return IsPageInProcessing(nGroupId, nPageId) != m_ctxsRun.end(); }
    bool IsPending(WORD nGroupId, WORD nPageId) { return IsPageInPending(nGroupId, nPageId) != m_ctxsPending.end(); }

    // Starts at most one queued check: 1 when one started, 0 otherwise. Contexts whose page is
    // being checked already, and those whose worker does not start, are dropped on the way.
    int CheckPendingList();

    // Frees every queued check with its (never started) worker.
    void DropPending();
    // Frees the queued checks of one page (nPageId 0xFFFF: of every page of the group); the
    // other queued checks keep their order.
    void DropPending(WORD nGroupId, WORD nPageId);

    // Cancels every running check and waits up to waitMs in all for their workers, serving sends
    // on the user-interface thread meanwhile; then frees what has ended. A worker that is still
    // running is left with its context (and traced), so it never touches freed memory.
    void CancelRunning(DWORD waitMs);

    // Takes a finished context out of the running list and frees it; call it while handling the
    // finished notice, so the worker (waiting in that notice) deletes itself when its thread ends.
    void Release(SPageCtx* pPageCtx);

    // True for a context CancelRunning is ending: it frees it itself, so a notice that arrives
    // meanwhile must leave it alone.
    bool IsBeingCancelled(const SPageCtx* pPageCtx) const;

    // Frees a context that no list holds any more, with its worker when that never started.
    static void DeleteContext(SPageCtx* pPageCtx);

    // A context its caller owns marks its page as being checked while it stands in m_ctxsRun (the
    // page modify command's, for as long as its dialog is open). The lists never free it, and a
    // shutdown meanwhile leaves it in m_ctxsRun for its owner to take out.
    void AddBorrowed(SPageCtx* pPageCtx);
    // Takes it out of m_ctxsRun again; false when it was not there.
    bool RemoveBorrowed(SPageCtx* pPageCtx);

    Contexts m_ctxsPending;
    Contexts m_ctxsRun;

private:
    // The contexts CancelRunning has taken out of m_ctxsRun and not freed yet (those whose worker
    // would not end stay here for good).
    Contexts m_ctxsCancelling;
    Contexts m_ctxsBorrowed;
};
