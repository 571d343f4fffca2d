#include "platform/base/KernelObjects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;

TEST(Events, ManualResetStaysSignalledUntilReset)
{
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, AutoResetReleasesExactlyOneWaiter)
{
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 300) == WAIT_OBJECT_0)
                ++woken;
        });
    SetEvent(event);
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 1);
    CloseHandle(event);
}

TEST(Events, WaitForMultipleReportsTheFirstSignalledIndex)
{
    HANDLE events[3] = {CreateEvent(nullptr, TRUE, FALSE, nullptr), CreateEvent(nullptr, TRUE, FALSE, nullptr),
                        CreateEvent(nullptr, FALSE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    std::thread setter([&] { SetEvent(events[2]); });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_OBJECT_0 + 2);
    setter.join();
    SetEvent(events[1]);
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0);
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(Events, TimedWaitHonoursItsBound)
{
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    const auto start = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    EXPECT_GE(steady_clock::now() - start, milliseconds(45));
    CloseHandle(event);
}

TEST(Handles, StaleAndBogusHandlesFailHarmlessly)
{
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x12345), 0), WAIT_FAILED);
    HANDLE none[1] = {nullptr};
    EXPECT_EQ(WaitForMultipleObjects(1, none, FALSE, 0), WAIT_FAILED);
}

TEST(Mutexes, RecursiveForTheOwnerTimedForOthers)
{
    HANDLE mutex = CreateMutex(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // recursion
    std::thread other([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
        const auto start = steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(mutex, 30), WAIT_TIMEOUT);
        EXPECT_GE(steady_clock::now() - start, milliseconds(25));
        EXPECT_FALSE(ReleaseMutex(mutex));  // not the owner
    });
    other.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));  // no longer held
    std::thread taker([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex));
    });
    taker.join();
    CloseHandle(mutex);
}

TEST(Mutexes, AnOwnerThatEndsLeavesTheMutexAbandoned)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer does not model ownership passed on by a dead owner";
#endif
    HANDLE mutex = CreateMutex(nullptr, FALSE, nullptr);
    std::thread owner([&] { EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0); });
    owner.join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(Mutexes, ClosingTheHandleOfAnOwnedMutexKeepsItUsable)
{
    HANDLE mutex = CreateMutex(nullptr, TRUE, nullptr);
    EXPECT_TRUE(CloseHandle(mutex));  // the owner still holds it; nothing is destroyed under it
}

TEST(NamedLock, SecondHolderSeesAlreadyExists)
{
    HANDLE first = CreateMutex(nullptr, TRUE, u"TALUVO_TEST_MUTEX");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE second = CreateMutex(nullptr, TRUE, u"TALUVO_TEST_MUTEX");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(second);
    CloseHandle(first);
    HANDLE third = CreateMutex(nullptr, TRUE, u"TALUVO_TEST_MUTEX");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(third);
}

TEST(NamedLock, AnotherProcessSeesAlreadyExists)
{
    HANDLE held = CreateMutex(nullptr, TRUE, u"TALUVO_TEST_MUTEX2");
    ASSERT_EQ(GetLastError(), ERROR_SUCCESS);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        CreateMutex(nullptr, TRUE, u"TALUVO_TEST_MUTEX2");
        const DWORD error = GetLastError();
        (void)!write(report[1], &error, sizeof error);
        _exit(0);
    }
    DWORD childError = 0;
    ASSERT_EQ(read(report[0], &childError, sizeof childError), static_cast<ssize_t>(sizeof childError));
    EXPECT_EQ(childError, ERROR_ALREADY_EXISTS);
    close(report[0]);
    close(report[1]);
    CloseHandle(held);
}

namespace {

// Signals its event when a socket becomes readable, as a selected socket does.
class ReadableSource : public taluvo::PollSource {
public:
    ReadableSource(int fd, HANDLE event) : m_fd(fd), m_event(event) {}
    void Collect(std::vector<pollfd>& fds) override { fds.push_back({m_fd, POLLIN, 0}); }
    void Dispatch(const pollfd* fds, size_t count) override
    {
        if (count == 1 && (fds[0].revents & POLLIN)) {
            char byte;
            (void)!read(m_fd, &byte, 1);
            SetEvent(m_event);
        }
    }

private:
    int m_fd;
    HANDLE m_event;
};

}  // namespace

TEST(Events, WaitsSeeAttachedSocketSources)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    HANDLE socketEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    HANDLE stopEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(taluvo::AttachPollSource(socketEvent, std::make_shared<ReadableSource>(pair[0], socketEvent)));
    HANDLE both[2] = {stopEvent, socketEvent};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
    std::thread writer([&] { (void)!write(pair[1], "x", 1); });
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5000), WAIT_OBJECT_0 + 1);
    writer.join();
    taluvo::AttachPollSource(socketEvent, nullptr);
    CloseHandle(socketEvent);
    CloseHandle(stopEvent);
    close(pair[0]);
    close(pair[1]);
}
