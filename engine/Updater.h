// The page fetch worker: fetches one page for one SPageCtx on a thread of its own, through the
// process-wide asynchronous internet session, and reports each step to the context's window with
// WM_UPDATER_NOTIFY.
#pragma once

#include "core/WorkerThread.h"
#include "engine/CheckNotice.h"
#include "engine/PageCtx.h"
#include "engine/WatchedPart.h"
#include "platform/base/WinTypes.h"
#include "platform/ui/WinUser.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class CPreferences;
namespace taluvo {
class CAnsiStreamDecoder;
}

class CUpdater : public CWorkerThread {
public:
    // Throws CFailException for a missing context or address, a context without its event, an
    // address of 0 or more than 2084 characters, and a notify window that does not exist.
    CUpdater(HINTERNET hInternet, SPageCtx* pPageCtx, const QString& szUrl, CPreferences* pPrefs);
    ~CUpdater() override;

    // Makes the outcome undecided again on the starting thread, so a cancel asked from here on,
    // even before the thread runs, is kept.
    BOOL Start() override;
    void Run() override;

    // Sends WM_UPDATER_NOTIFY to the context's window while it exists; 0 otherwise.
    LRESULT Notify(LPARAM lParam);
    // Asks the fetch to end as cancelled. False once the fetch has decided its outcome: the worker
    // alone writes the outcome, and a cancel that comes later changes nothing.
    bool AskCancel();
    // Asks the thread to stop and closes the context's handles, which ends a pending step.
    void CancelUpdate();
    // The address this worker fetches.
    const QString& GetUrl() const { return m_szUrl; }
    // For tests: runs on the worker's thread right after the outcome was decided, before it is
    // written, so a test can cancel in that moment.
    void SetDecidedHook(std::function<void()> hook) { m_decidedHook = std::move(hook); }

    // The session's status callback; dwContext is the SPageCtx of the fetch.
    static void WinInetCallback(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
        LPVOID lpvStatusInformation, DWORD dwStatusInformationLength);

private:
    // Runs the fetch steps; a failure ends them with its error code (returned), 0 on success.
    DWORD Fetch();
    DWORD WaitStep(DWORD milliseconds);
    // Waits for the step's event at most milliseconds and never past the check's deadline; TRUE
    // when the event came. On a time-out the handles are closed and the fetch fails: with
    // ERROR_CHECK_TOO_LONG when the deadline ran out, otherwise with timeoutError. Once the wait
    // has taken kStatesHeldMs, the connection states are handed over as they come.
    BOOL WaitForEvent(DWORD milliseconds, DWORD timeoutError);
    // Fails the fetch with ERROR_CHECK_TOO_LONG once the deadline has passed.
    void CheckDeadline();
    DWORD ReadBody();
    // Adds one piece of the body to the page's text and to its checksum.
    void TakePiece(taluvo::CAnsiStreamDecoder& decoder, const char* bytes, qsizetype size);
    // Sends the connection states collected so far, the progress held back and then notice, when
    // given, in their order, waking the window's thread once for all of them.
    void HandOver(std::optional<LPARAM> notice);
    // Ends the fetch as cancelled once a cancel was asked.
    void ThrowIfCancelled() const;
    void Finish(DWORD error);

    HINTERNET m_hInternet;
    QString m_szUrl;
    SPageCtx* m_pPageCtx;
    bool m_bUseProxy = false;
    DWORD m_dwConnectTimeout = 30;
    DWORD m_dwSendTimeout = 15;
    DWORD m_dwRecvTimeout = 15;
    QString m_strProxyUserName;
    QString m_strProxyPassword;
    bool m_bUseHeadersData = false;
    // A check ends by then whatever the server does: ConnectTimeout + SendTimeout + 4 x RecvTimeout
    // after it started.
    std::chrono::steady_clock::time_point m_deadline;
    // kRunning until a cancel asks (kCancelAsked) or the worker decides (kDecided); the worker's
    // one exchange to kDecided is the decision, and tells it whether a cancel came first.
    enum : int { kRunning, kCancelAsked, kDecided };
    std::atomic<int> m_state { kRunning };
    std::function<void()> m_decidedHook;
    // The checksum of the page watched whole, taken as its body is read.
    CWholePageChecksum m_readChecksum;
    std::vector<char> m_readBuffer; // taken from the kept ones for the body, given back at the end
    // The last reading notice, not yet sent.
    std::optional<LPARAM> m_heldProgress;
    std::vector<LPARAM> m_notices; // the hand-over's, kept for the next
};
