#include "core/WorkerThread.h"

#include "platform/base/CriticalSection.h"
#include "platform/base/DebugOutput.h"
#include "platform/base/Format.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"
#include "platform/base/ThreadPool.h"

#include <chrono>
#include <condition_variable>

namespace {

// Workers whose thread has started and not yet finished, for the bounded wait at exit.
struct LiveWorkers {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;

    static LiveWorkers& Instance()
    {
        static LiveWorkers* live = new LiveWorkers; // outlives every static destructor
        return *live;
    }
    void Add()
    {
        std::lock_guard<std::mutex> guard(lock);
        ++count;
    }
    void Remove()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            --count;
        }
        changed.notify_all();
    }
};

constexpr DWORD kDestructorWaitMs = 5000;

std::atomic<CWorkerThread::ThreadStartHook> g_threadStartHook { nullptr };

} // namespace

CWorkerThread::CWorkerThread() = default;

CWorkerThread::~CWorkerThread()
{
    StopAndJoin();
}

void CWorkerThread::StopAndJoin()
{
    // A kept thread is never joined: its end object says when the work is over.
    if (!m_thread.joinable() && m_dwThreadId.load() == 0)
        return;
    if (m_dwThreadId.load() == GetCurrentThreadId()) {
        // Destroyed from its own thread (auto-delete): nobody may wait on it any more.
        if (m_thread.joinable())
            m_thread.detach();
        return;
    }
    Stop();
    if (!Wait(kDestructorWaitMs)) {
        // No forced termination: a thread killed in the middle of its work could leave locks held
        // and data half written. Keep waiting (serving sends on the user-interface thread).
        taluvo::OutputDebugText(
            taluvo::Format(u"CWorkerThread::~CWorkerThread. Thread %X did not stop within %u ms; waiting for it.\n",
                m_dwThreadId.load(), kDestructorWaitMs));
        Wait(INFINITE);
    }
    if (m_thread.joinable())
        m_thread.join(); // the thread has signalled its end: this returns at once
}

void CWorkerThread::JoinFinishedThread()
{
    // The previous thread has published its end; join it so its resources are freed.
    if (m_thread.joinable())
        m_thread.join();
}

BOOL CWorkerThread::Start()
{
    std::lock_guard<std::mutex> guard(m_startLock);
    if (m_dwThreadId.load() != 0)
        return FALSE;
    JoinFinishedThread();
    m_lStopCount.exchange(0);
    HANDLE end = taluvo::CreateThreadEndObject();
    if (!end)
        return FALSE;
    LiveWorkers::Instance().Add();
    if (!Launch(end)) {
        LiveWorkers::Instance().Remove();
        CloseHandle(end);
        return FALSE;
    }
    return TRUE;
}

BOOL CWorkerThread::Launch(HANDLE end)
{
    // The end object and a stand-in id are published before the thread exists, so it can never end
    // before its owner sees it running, and the owner does not wait for the thread to tell its id:
    // the thread puts its own in place as it begins, before any of the worker's code runs there.
    m_hThread = end;
    m_dwThreadId.store(kIdNotYetKnown);
    const bool ownThread = !m_bReuseThread;
    auto body = [this] {
        if (const ThreadStartHook hook = g_threadStartHook.load())
            hook();
        DWORD standIn = kIdNotYetKnown;
        m_dwThreadId.compare_exchange_strong(standIn, GetCurrentThreadId());
        ThreadProc();
    };
    bool launched = false;
    if (!ownThread) {
        launched = taluvo::RunPooled(body);
    } else {
        try {
            m_thread = std::thread(body);
            launched = true;
        } catch (const std::system_error&) {
            launched = false;
        }
    }
    if (!launched) {
        m_dwThreadId.store(0);
        m_hThread.Detach(); // the caller closes it
    }
    return launched ? TRUE : FALSE;
}

void CWorkerThread::Stop()
{
    ++m_lStopCount;
}

BOOL CWorkerThread::Wait(DWORD milliseconds)
{
    if (m_dwThreadId.load() == 0)
        return TRUE;
    const HANDLE end = m_hThread;
    if (!end)
        return TRUE;
    const DWORD result = taluvo::WaitServing(end, milliseconds);
    return result == WAIT_OBJECT_0 || m_dwThreadId.load() == 0 ? TRUE : FALSE;
}

void CWorkerThread::ThreadProc()
{
    try {
        Run();
    } catch (...) {
        // Run is expected to catch its own failures; an escaping exception must not take the
        // process down through std::terminate.
        taluvo::OutputDebugText(QStringLiteral("CWorkerThread::ThreadProc. Unhandled exception in Run.\n"));
    }
    OnExit();

    const bool autoDelete = m_bAutoDelete != FALSE;
    const HANDLE end = m_hThread;
    if (autoDelete) {
        {
            // Start may still be on its way out (it holds the lock until it has assigned m_thread
            // and returns): the object goes only after that.
            std::lock_guard<std::mutex> started(m_startLock);
        }
        m_dwThreadId.store(0);
        // Nobody may touch a self-deleting worker once its thread may have ended.
        if (m_thread.joinable())
            m_thread.detach();
        SetEvent(end);
        delete this;
        LiveWorkers::Instance().Remove();
    } else {
        // No longer counted once its owner can see it ended: a kept thread is not joined, so
        // nothing else would order the two.
        LiveWorkers::Instance().Remove();
        m_dwThreadId.store(0);
        // After this signal the owner may destroy the object: touch nothing of it any more.
        SetEvent(end);
    }
}

BOOL CWorkerThread::WaitForAllWorkers(DWORD milliseconds)
{
    LiveWorkers& live = LiveWorkers::Instance();
    std::unique_lock<std::mutex> guard(live.lock);
    auto none = [&] { return live.count == 0; };
    if (milliseconds == INFINITE) {
        live.changed.wait(guard, none);
        return TRUE;
    }
    return live.changed.wait_for(guard, std::chrono::milliseconds(milliseconds), none) ? TRUE : FALSE;
}

void CWorkerThread::SetThreadStartHook(ThreadStartHook hook)
{
    g_threadStartHook.store(hook);
}

int CWorkerThread::RunningWorkers()
{
    LiveWorkers& live = LiveWorkers::Instance();
    std::lock_guard<std::mutex> guard(live.lock);
    return live.count;
}
