// The lists of page checks the main window keeps: queued checks (their workers not started) and
// running ones. Used on the user-interface thread only, so they have no lock. The lists own their
// checks; a running entry may be one without a worker on a context its caller keeps (the page
// modify command's, which marks its page busy while its dialog is open).
#pragma once

#include "engine/PageCheck.h"
#include "platform/base/WinTypes.h"

#include <memory>
#include <set>
#include <vector>

class CCheckLists {
public:
    using Checks = std::vector<std::unique_ptr<CPageCheck>>;

    CCheckLists() = default;
    ~CCheckLists();
    CCheckLists(const CCheckLists&) = delete;
    CCheckLists& operator=(const CCheckLists&) = delete;

    // First check of the page (nPageId 0xFFFF: any page of the group); end() when none.
    Checks::iterator IsPageInProcessing(WORD nGroupId, WORD nPageId);
    Checks::iterator IsPageInPending(WORD nGroupId, WORD nPageId);
    bool IsRunning(WORD nGroupId, WORD nPageId) { return IsPageInProcessing(nGroupId, nPageId) != m_ctxsRun.end(); }
    bool IsPending(WORD nGroupId, WORD nPageId) { return IsPageInPending(nGroupId, nPageId) != m_ctxsPending.end(); }
    // The running check of a context; null when none.
    CPageCheck* FindRunning(const SPageCtx* pPageCtx);

    void Queue(std::unique_ptr<CPageCheck> check) { m_ctxsPending.push_back(std::move(check)); }

    // Starts at most one queued check: 1 when one started, 0 otherwise. Checks whose page is
    // being checked already, and those whose worker does not start, are dropped on the way.
    int CheckPendingList();

    // Drops every queued check.
    void DropPending();
    // Drops the queued checks of one page (nPageId 0xFFFF: of every page of the group); the other
    // queued checks keep their order.
    void DropPending(WORD nGroupId, WORD nPageId);

    // Cancels the running check that started first (the cancel command's); nothing when none runs.
    // A finished check kept in the list until its result is stored is passed over.
    void CancelFirstRunning();
    // Cancels every running check and waits up to waitMs in all for their workers, serving sends
    // on the user-interface thread meanwhile; then frees what has ended. A check whose worker is
    // still running is kept (and traced), so it never touches freed memory.
    void CancelRunning(DWORD waitMs);

    // Takes a finished check out of the running list; call it while handling its finished notice.
    // Its worker is still inside that notice, so the check is kept until its thread has ended and
    // freed at a later call (or by CancelRunning); the page's text it held is given back now.
    void Release(SPageCtx* pPageCtx);

    // True for a context CancelRunning is ending: it frees it itself, so a notice that arrives
    // meanwhile must leave it alone.
    bool IsBeingCancelled(const SPageCtx* pPageCtx) const;

    // Marks a page busy with a context its caller owns, for as long as it stands in m_ctxsRun (the
    // page modify command's, while its dialog is open). A shutdown meanwhile leaves it there for
    // its owner to take out.
    void AddBorrowed(SPageCtx* pPageCtx);
    // Takes it out of m_ctxsRun again; false when it was not there.
    bool RemoveBorrowed(SPageCtx* pPageCtx);

    Checks m_ctxsPending;
    Checks m_ctxsRun;

    // True the first time a group is named, once per start: the timer says once why it leaves a
    // group's pages alone.
    bool FirstTimeLeftAlone(WORD nGroupId) { return m_groupsLeftAlone.insert(nGroupId).second; }

private:
    // Frees the finished checks whose workers have ended.
    void FreeEnded();

    // Checks CancelRunning has taken out of m_ctxsRun and not freed yet (those whose worker would
    // not end stay here for good).
    Checks m_cancelling;
    // Checks whose finished notice was handled, kept until their workers' threads have ended.
    Checks m_finished;
    std::set<WORD> m_groupsLeftAlone;
};
