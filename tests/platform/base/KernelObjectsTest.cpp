#include "platform/base/KernelObjects.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
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
    std::atomic<int> woken { 0 };
    std::vector<std::thread> waiters;
    waiters.reserve(4);
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
    HANDLE events[3] = { CreateEvent(nullptr, TRUE, FALSE, nullptr), CreateEvent(nullptr, TRUE, FALSE, nullptr),
        CreateEvent(nullptr, FALSE, FALSE, nullptr) };
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

// Every queued page check holds events that nothing waits on until its turn: thousands of them
// must not use up the process's descriptors, and the state set before the first wait is kept.
TEST(Events, EventsNeverWaitedOnTakeNoDescriptorAndKeepTheirState)
{
    const int before = dup(0);
    ASSERT_GE(before, 0);
    close(before);
    std::vector<HANDLE> events;
    for (int i = 0; i < 3000; ++i) {
        events.push_back(CreateEvent(nullptr, i % 2 == 0, i % 3 == 0, nullptr));
        ASSERT_NE(events.back(), nullptr);
        if (i % 5 == 0)
            SetEvent(events.back());
        if (i % 7 == 0)
            ResetEvent(events.back());
    }
    // The lowest free descriptor is still the one it was: none was taken by the events.
    const int after = dup(0);
    EXPECT_EQ(after, before);
    close(after);
    for (int i = 0; i < 3000; ++i) {
        const bool signalled = i % 7 != 0 && (i % 5 == 0 || i % 3 == 0);
        EXPECT_EQ(WaitForSingleObject(events[i], 0), signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT) << i;
        // An auto-reset event's signal went to that wait; a manual one keeps it.
        const bool still = signalled && i % 2 == 0;
        EXPECT_EQ(WaitForSingleObject(events[i], 0), still ? WAIT_OBJECT_0 : WAIT_TIMEOUT) << i;
        CloseHandle(events[i]);
    }
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
    HANDLE none[1] = { nullptr };
    EXPECT_EQ(WaitForMultipleObjects(1, none, FALSE, 0), WAIT_FAILED);
}

TEST(Mutexes, RecursiveForTheOwnerTimedForOthers)
{
    HANDLE mutex = CreateMutex(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); // recursion
    std::thread other([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
        const auto start = steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(mutex, 30), WAIT_TIMEOUT);
        EXPECT_GE(steady_clock::now() - start, milliseconds(25));
        EXPECT_FALSE(ReleaseMutex(mutex)); // not the owner
    });
    other.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)); // no longer held
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
    EXPECT_TRUE(CloseHandle(mutex)); // the owner still holds it; nothing is destroyed under it
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

// Where the lock lies depends on the user alone: a start without XDG_RUNTIME_DIR (cron, ssh,
// sudo) or with another one meets the same lock; only TALUVO_HOME moves it into that folder.
TEST(NamedLock, PlaceDependsOnTheUserAloneUnlessTheHomeIsGiven)
{
    const std::string home = taluvo::test::HomeDir();
    EXPECT_EQ(taluvo::NamedLockPath(QStringLiteral("TALUVO_MUTEX")).toStdString(), home + "/TALUVO_MUTEX.lock");

    const uid_t uid = geteuid();
    const std::string runtime = "/run/user/" + std::to_string(uid);
    struct stat info { };
    const bool hasRuntime = stat(runtime.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid;
    const std::string expected
        = hasRuntime ? runtime + "/TALUVO_MUTEX.lock" : "/tmp/TALUVO_MUTEX." + std::to_string(uid) + ".lock";
    const std::string savedRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    ::unsetenv("TALUVO_HOME");
    for (const char* runtimeDir : { "", "/somewhere/else", savedRuntime.c_str() }) {
        SCOPED_TRACE(runtimeDir);
        if (*runtimeDir)
            ::setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(taluvo::NamedLockPath(QStringLiteral("TALUVO_MUTEX")).toStdString(), expected);
    }
    ::setenv("TALUVO_HOME", home.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
}

// A lock that cannot be opened, or that someone else could hold, is a failure, not a lock.
TEST(NamedLock, LockFileThatCannotBeOpenedOrIsAnothersFails)
{
    const std::string home = taluvo::test::HomeDir();
    taluvo::test::TempDir dir;
    taluvo::test::WriteFile(dir.File("plain"), "x");
    struct Case {
        const char* what;
        std::string folder;
        std::function<bool(const std::string& lockPath)> prepare; // false: cannot be made here
        DWORD error;
    };
    const Case cases[] = {
        { "folder is a file", dir.File("plain"), [](const std::string&) { return true; }, ERROR_PATH_NOT_FOUND },
        { "lock is a symbolic link", dir.Path(),
            [&](const std::string& lock) { return symlink(dir.File("plain").c_str(), lock.c_str()) == 0; },
            ERROR_ACCESS_DENIED },
        // In a user namespace that maps root alone no other owner can be given.
        { "lock belongs to another user", dir.Path(),
            [](const std::string& lock) {
                taluvo::test::WriteFile(lock, "");
                return chown(lock.c_str(), 4242, 4242) == 0;
            },
            ERROR_ACCESS_DENIED },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::setenv("TALUVO_HOME", c.folder.c_str(), 1);
        const std::string lock = taluvo::NamedLockPath(QStringLiteral("TALUVO_FAIL_MUTEX")).toStdString();
        if (c.prepare(lock)) {
            SetLastError(ERROR_SUCCESS);
            HANDLE handle = CreateMutex(nullptr, TRUE, u"TALUVO_FAIL_MUTEX");
            EXPECT_EQ(handle, nullptr);
            EXPECT_EQ(GetLastError(), c.error);
            if (handle)
                CloseHandle(handle);
        }
        ::unlink(lock.c_str());
    }
    ::setenv("TALUVO_HOME", home.c_str(), 1);
}

namespace {

// Signals its event when a socket becomes readable, as a selected socket does.
class ReadableSource : public taluvo::PollSource {
public:
    ReadableSource(int fd, HANDLE event)
        : m_fd(fd)
        , m_event(event)
    {
    }
    void Collect(std::vector<pollfd>& fds) override { fds.push_back({ m_fd, POLLIN, 0 }); }
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

} // namespace

TEST(Events, WaitsSeeAttachedSocketSources)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    HANDLE socketEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    HANDLE stopEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(taluvo::AttachPollSource(socketEvent, std::make_shared<ReadableSource>(pair[0], socketEvent)));
    HANDLE both[2] = { stopEvent, socketEvent };
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
