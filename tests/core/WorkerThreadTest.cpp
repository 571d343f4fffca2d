#include "core/WorkerThread.h"

#include "platform/base/Process.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using taluvo::test::WaitUntil;

namespace {

// A worker whose Run blocks until released, so tests control when it ends.
class GatedWorker : public CWorkerThread {
public:
    ~GatedWorker() override
    {
        Release();
        StopAndJoin();
    }
    void Run() override
    {
        ++runs;
        std::unique_lock<std::mutex> guard(lock);
        released.wait(guard, [&] { return open; });
    }
    void OnExit() override { ++exits; }
    void Release()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            open = true;
        }
        released.notify_all();
    }

    std::atomic<int> runs { 0 }, exits { 0 };

private:
    std::mutex lock;
    std::condition_variable released;
    bool open = false;
};

class QuickWorker : public CWorkerThread {
public:
    ~QuickWorker() override { StopAndJoin(); }
    void Run() override { ++runs; }
    std::atomic<int> runs { 0 };
};

class SelfDeletingWorker : public CWorkerThread {
public:
    explicit SelfDeletingWorker(std::atomic<int>& deletions, std::atomic<DWORD>& deletedOn)
        : m_deletions(deletions)
        , m_deletedOn(deletedOn)
    {
    }
    ~SelfDeletingWorker() override
    {
        m_deletedOn = GetCurrentThreadId();
        ++m_deletions;
    }
    void Run() override { ranOn = GetCurrentThreadId(); }

    static inline std::atomic<DWORD> ranOn { 0 };

private:
    std::atomic<int>& m_deletions;
    std::atomic<DWORD>& m_deletedOn;
};

// Every behaviour holds for a worker on a thread of its own and for one on a kept thread.
class WorkerThread : public ::testing::TestWithParam<bool> {
protected:
    template <typename T> T& Mode(T& worker)
    {
        worker.m_bReuseThread = GetParam();
        return worker;
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Threads, WorkerThread, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Kept" : "OwnThread"; });

TEST_P(WorkerThread, StartTwiceRunsOneThread)
{
    GatedWorker worker;
    Mode(worker);
    EXPECT_TRUE(worker.Start());
    EXPECT_FALSE(worker.IsStopped());
    EXPECT_NE(worker.GetThreadId(), 0u);
    EXPECT_FALSE(worker.Start());
    EXPECT_FALSE(worker.Wait(20));
    worker.Release();
    EXPECT_TRUE(worker.Wait(5000));
    EXPECT_TRUE(worker.IsStopped());
    EXPECT_EQ(worker.runs.load(), 1);
    EXPECT_EQ(worker.exits.load(), 1);
    EXPECT_EQ(WaitForSingleObject(worker.GetHandle(), 0), WAIT_OBJECT_0);
}

TEST_P(WorkerThread, NeverStartedWorkerIsStopped)
{
    QuickWorker worker;
    Mode(worker);
    EXPECT_TRUE(worker.IsStopped());
    EXPECT_TRUE(worker.Wait(INFINITE));
    EXPECT_EQ(worker.GetThreadId(), 0u);
}

TEST_P(WorkerThread, StopRequestsCountAndStartResetsThem)
{
    GatedWorker worker;
    Mode(worker);
    worker.Stop();
    worker.Stop();
    worker.Stop();
    EXPECT_EQ(worker.GetStopCount(), 3);
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(worker.GetStopCount(), 0);
    worker.Release();
    EXPECT_TRUE(worker.Wait(5000));
}

TEST_P(WorkerThread, CanRunAgainAfterItsThreadEnded)
{
    QuickWorker worker;
    Mode(worker);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(worker.Wait(5000));
        // Seen ended by its owner: no longer counted among the running workers.
        EXPECT_EQ(CWorkerThread::RunningWorkers(), 0);
    }
    EXPECT_EQ(worker.runs.load(), 3);
}

// Start hands the work to its thread and returns: it never waits for the new thread to begin. The
// thread knows itself by its id before the worker's own code runs there.
TEST_P(WorkerThread, StartDoesNotWaitForTheNewThread)
{
    static std::mutex gateLock;
    static std::condition_variable gateChanged;
    static bool gateOpen = false;
    gateOpen = false;
    CWorkerThread::SetThreadStartHook([] {
        std::unique_lock<std::mutex> guard(gateLock);
        gateChanged.wait(guard, [] { return gateOpen; });
    });
    class SelfKnowing : public CWorkerThread {
    public:
        ~SelfKnowing() override { StopAndJoin(); }
        void Run() override { knewItself = GetThreadId() == GetCurrentThreadId(); }
        std::atomic<bool> knewItself { false };
    } worker;
    Mode(worker);
    // Held in the start hook, before its work, while Start returns.
    EXPECT_TRUE(worker.Start());
    EXPECT_FALSE(worker.IsStopped());
    EXPECT_NE(worker.GetThreadId(), 0u);
    EXPECT_NE(worker.GetThreadId(), GetCurrentThreadId());
    EXPECT_FALSE(worker.Start());
    EXPECT_FALSE(worker.Wait(20));
    {
        std::lock_guard<std::mutex> guard(gateLock);
        gateOpen = true;
    }
    gateChanged.notify_all();
    EXPECT_TRUE(worker.Wait(5000));
    CWorkerThread::SetThreadStartHook(nullptr);
    EXPECT_TRUE(worker.knewItself.load());
    EXPECT_TRUE(worker.IsStopped());
}

TEST_P(WorkerThread, AutoDeleteHappensOnceOnItsOwnThread)
{
    std::atomic<int> deletions { 0 };
    std::atomic<DWORD> deletedOn { 0 };
    auto* worker = new SelfDeletingWorker(deletions, deletedOn);
    worker->m_bAutoDelete = TRUE;
    Mode(*worker);
    ASSERT_TRUE(worker->Start());
    worker = nullptr; // must not be touched any more: its thread may have ended already
    ASSERT_TRUE(WaitUntil([&] { return deletions.load() == 1; }));
    EXPECT_EQ(deletedOn.load(), SelfDeletingWorker::ranOn.load());
    EXPECT_TRUE(CWorkerThread::WaitForAllWorkers(5000));
    EXPECT_EQ(deletions.load(), 1);
}

TEST_P(WorkerThread, ThousandsOfQuickRunsAreRaceFree)
{
    for (int i = 0; i < 2000; ++i) {
        auto worker = std::make_unique<QuickWorker>();
        Mode(*worker);
        ASSERT_TRUE(worker->Start());
        if (i % 2) {
            ASSERT_TRUE(worker->Wait(INFINITE));
        }
        // Otherwise destroyed at once, possibly while its thread still finishes.
    }
    std::atomic<int> deletions { 0 };
    std::atomic<DWORD> deletedOn { 0 };
    for (int i = 0; i < 1000; ++i) {
        auto* worker = new SelfDeletingWorker(deletions, deletedOn);
        worker->m_bAutoDelete = TRUE;
        Mode(*worker);
        Mode(*worker);
        ASSERT_TRUE(worker->Start());
    }
    EXPECT_TRUE(CWorkerThread::WaitForAllWorkers(20000));
    EXPECT_EQ(deletions.load(), 1000);
    EXPECT_EQ(CWorkerThread::RunningWorkers(), 0);
}

TEST_P(WorkerThread, DestroyingARunningWorkerStopsAndJoinsIt)
{
    std::atomic<bool> finished { false };
    class Polling : public CWorkerThread {
    public:
        explicit Polling(std::atomic<bool>& done)
            : m_done(done)
        {
        }
        ~Polling() override { StopAndJoin(); }
        void Run() override
        {
            while (GetStopCount() == 0)
                std::this_thread::yield();
            m_done = true;
        }
        void Stop() override { CWorkerThread::Stop(); }

    private:
        std::atomic<bool>& m_done;
    };
    {
        Polling worker(finished);
        Mode(worker);
        ASSERT_TRUE(worker.Start());
    }
    EXPECT_TRUE(finished.load());
}
