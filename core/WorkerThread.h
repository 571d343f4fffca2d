// Base class of every thread the program starts. A derived class supplies Run; the base starts the
// thread, keeps its id and end object, counts stop requests, lets the owner wait, and can delete
// the object when its thread ends (m_bAutoDelete).
//
// A worker that runs no message loop and leaves nothing behind on its thread may set
// m_bReuseThread before Start: it then runs on a thread kept from earlier workers instead of a new
// one (a page check is short, and starting a thread for each cost more than the check's own work).
//
// There is no forced termination. An owner asks its worker to stop and waits for it before
// destroying it; derived classes do that in their own destructors, while their members still
// exist. A self-deleting worker detaches its own thread before it deletes itself.
#pragma once

#include "core/AutoHandle.h"
#include "platform/base/WinTypes.h"

#include <atomic>
#include <mutex>
#include <thread>

class CWorkerThread {
public:
    CWorkerThread();
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // FALSE when a thread of this object runs already or cannot be created.
    virtual BOOL Start();
    // Counts a stop request; a derived class that must wake its thread overrides it and calls this.
    virtual void Stop();
    // Runs on the worker thread right after Run returns.
    virtual void OnExit() { }
    virtual void Run() = 0;

    // TRUE when no thread runs or it ended within the time.
    BOOL Wait(DWORD milliseconds);
    BOOL IsStopped() const { return m_dwThreadId.load() == 0 ? TRUE : FALSE; }
    // Signalled when the thread has ended; stays valid until the next Start or the destructor.
    HANDLE GetHandle() const { return m_hThread; }
    DWORD GetThreadId() const { return m_dwThreadId.load(); }
    LONG GetStopCount() const { return m_lStopCount.load(); }

    // At process exit: waits, bounded, until no worker thread is left running. TRUE when none is.
    static BOOL WaitForAllWorkers(DWORD milliseconds);
    static int RunningWorkers();

    // Runs first on every worker thread, before Run (the crash handler gives each thread its own
    // signal stack there). Set once at start, before any worker starts.
    using ThreadStartHook = void (*)();
    static void SetThreadStartHook(ThreadStartHook hook);

    BOOL m_bAutoDelete = FALSE;
    // Run on a kept thread (see above); read by Start.
    bool m_bReuseThread = false;

protected:
    // For destructors of derived classes: ask the thread to stop and wait for its end.
    void StopAndJoin();

private:
    void ThreadProc();
    void JoinFinishedThread();
    // Starts the thread's work on a new thread or a kept one; publishes its end object and an id
    // (kIdNotYetKnown until the thread has put its own in place) before returning.
    BOOL Launch(HANDLE end);

    // No thread has this id: the thread is starting and has not yet said which one it is.
    static constexpr DWORD kIdNotYetKnown = 0xFFFFFFFFu;

    std::atomic<DWORD> m_dwThreadId { 0 };
    std::atomic<LONG> m_lStopCount { 0 };
    CAutoHandle m_hThread;
    std::thread m_thread;
    std::mutex m_startLock; // held by Start; a self-deleting thread waits for it before it deletes
};
