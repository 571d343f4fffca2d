#include "platform/base/ThreadPool.h"

#include "platform/base/KernelObjects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// Jobs that wait for each other must each have a thread: one queued behind a waiting job would
// never run. Every job runs once, from whichever thread it was handed in.
TEST(ThreadPool, EveryJobRunsOnceAndNoneWaitsBehindAnother)
{
    constexpr int kWaiting = 12;
    constexpr int kSubmitters = 4;
    constexpr int kJobsEach = 50;
    HANDLE release = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE allDone = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> waitingStarted { 0 };
    std::atomic<int> finished { 0 };
    std::vector<std::atomic<int>> runs(static_cast<size_t>(kSubmitters) * kJobsEach);

    const int total = kWaiting + kSubmitters * kJobsEach;
    const auto finish = [&] {
        if (++finished == total)
            SetEvent(allDone);
    };
    // These hold their threads until the last of them has started.
    for (int i = 0; i < kWaiting; ++i) {
        ASSERT_TRUE(taluvo::RunPooled([&] {
            if (++waitingStarted == kWaiting)
                SetEvent(release);
            WaitForSingleObject(release, INFINITE);
            finish();
        }));
    }
    std::vector<std::thread> submitters;
    submitters.reserve(kSubmitters);
    for (int s = 0; s < kSubmitters; ++s) {

        submitters.emplace_back([&, s] {
            for (int j = 0; j < kJobsEach; ++j)
                EXPECT_TRUE(taluvo::RunPooled([&, index = s * kJobsEach + j] {
                    ++runs[index];
                    finish();
                }));
        });
    }
    for (std::thread& submitter : submitters)
        submitter.join();
    ASSERT_EQ(WaitForSingleObject(allDone, 60000), WAIT_OBJECT_0);
    for (const std::atomic<int>& count : runs)
        EXPECT_EQ(count.load(), 1);
    EXPECT_GE(taluvo::PooledThreads(), kWaiting);
    CloseHandle(release);
    CloseHandle(allDone);
}

// A job handed in from a job of the pool runs too, also when that job waits for it.
TEST(ThreadPool, JobsMayStartJobsAndWaitForThem)
{
    HANDLE inner = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE outer = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(taluvo::RunPooled([&] {
        EXPECT_TRUE(taluvo::RunPooled([&] { SetEvent(inner); }));
        EXPECT_EQ(WaitForSingleObject(inner, 30000), WAIT_OBJECT_0);
        SetEvent(outer);
    }));
    EXPECT_EQ(WaitForSingleObject(outer, 30000), WAIT_OBJECT_0);
    CloseHandle(inner);
    CloseHandle(outer);
}

} // namespace
