// One check of one page: its context and the worker that fetches for it, held together. Whoever
// starts a check (the check lists, the page dialogs) holds one of these; the cancel and the wait
// for a worker that is being cancelled are written here and nowhere else.
//
// The context is the check's own, or one its caller keeps (a page dialog's download writes into
// the caller's context; the page modify command marks its page busy with one that has no worker).
// The worker never outlives the context: the worker goes first, and a check destroyed while its
// worker runs cancels it and waits for its end.
#pragma once

#include "engine/PageCtx.h"
#include "platform/base/WinTypes.h"

#include <QString>

#include <memory>

class CPreferences;
class CUpdater;

class CPageCheck {
public:
    // A check of its own context.
    explicit CPageCheck(std::unique_ptr<SPageCtx> ctx);
    // A check on a context its caller keeps alive for longer than the check.
    explicit CPageCheck(SPageCtx& borrowed);
    // Must not run inside the worker's own notices (the worker waits there for the receiver).
    ~CPageCheck();
    CPageCheck(const CPageCheck&) = delete;
    CPageCheck& operator=(const CPageCheck&) = delete;

    // Makes the worker that fetches url for the context (the context is filled and its notify
    // window set). Throws the worker's refusals; a worker made earlier must have ended.
    void MakeWorker(HINTERNET hInternet, const QString& url, CPreferences* pPrefs);
    // Starts the worker; false when there is none or its thread does not start.
    bool Start();

    // Asks the running fetch to end with the cancel's error (1223): the context is marked
    // cancelled, its event set and its handles closed, which ends the step under way. The worker
    // alone writes the outcome: a cancel asked before it decided ends the check as cancelled (one
    // asked right after Start too), one asked later changes nothing. CancelRequested tells a
    // caller that it asked.
    void Cancel();
    bool CancelRequested() const { return m_bCancelRequested; }
    // Cancels, repeating the cancel every 50 ms, until the worker has ended or waitMs has passed
    // (INFINITE: until it ended), serving sends on the user-interface thread meanwhile. True when
    // no worker runs any more.
    bool CancelAndWait(DWORD waitMs);

    // True from a good Start until the worker's thread has ended.
    bool IsRunning() const;
    bool HasWorker() const { return m_worker != nullptr; }
    // False for a context the caller keeps.
    bool OwnsContext() const { return m_owned != nullptr; }
    SPageCtx& Ctx() const { return *m_ctx; }
    // The address the worker fetches; empty without one.
    QString Url() const;

private:
    // Destroys the worker, waiting for a running one first.
    void DropWorker();

    std::unique_ptr<SPageCtx> m_owned;
    SPageCtx* m_ctx;
    std::unique_ptr<CUpdater> m_worker;
    bool m_bCancelRequested = false;
};
