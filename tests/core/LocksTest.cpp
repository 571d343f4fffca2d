#include "core/AutoHandle.h"
#include "core/Conversion.h"
#include "core/Mutex.h"
#include "core/SmartPtr.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>

TEST(CMutex, LockReportsOnlyRealAcquisition)
{
    CMutex mutex;
    ASSERT_TRUE(mutex.Lock(INFINITE));
    EXPECT_TRUE(mutex.Lock(0)); // recursive for the owner
    std::thread other([&] {
        EXPECT_FALSE(mutex.Lock(0));
        EXPECT_FALSE(mutex.Lock(20));
        EXPECT_FALSE(mutex.Unlock()); // a non-owner cannot release it
    });
    other.join();
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock());
}

TEST(CMutex, WithoutHandleNothingWaits)
{
    CMutex mutex;
    HANDLE own = mutex.GetHandle();
    mutex.Attach(nullptr);
    EXPECT_FALSE(mutex.Lock(INFINITE));
    EXPECT_FALSE(mutex.Unlock());
    EXPECT_FALSE(CloseHandle(own)); // Attach closed the previous handle
}

TEST(CMutex, ScopedLockerSerialisesThreads)
{
    CMutex mutex;
    int counter = 0;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t)

        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                CMutexLocker guard(mutex);
                CMutexLocker again(mutex); // re-entered by the holder, as the check-all command does
                ++counter;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 8000);
    EXPECT_TRUE(mutex.Lock(0));
    mutex.Unlock();
}

namespace {
struct Counted {
    static int alive;
    Counted() { ++alive; }
    ~Counted() { --alive; }
};
int Counted::alive = 0;
} // namespace

TEST(CSmartPtr, OwnsOnceAndReleases)
{
    {
        auto* object = new Counted;
        CSmartPtr<Counted> ptr(object);
        ptr = object; // the same pointer: nothing happens
        EXPECT_EQ(Counted::alive, 1);
        EXPECT_TRUE(ptr.IsValid());
        ptr = new Counted; // the old one goes
        EXPECT_EQ(Counted::alive, 1);
        ptr = nullptr;
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_FALSE(ptr.IsValid());
    }
    {
        CSmartPtr<Counted> array(new Counted[3], true);
        EXPECT_EQ(Counted::alive, 3);
    }
    EXPECT_EQ(Counted::alive, 0);
    Counted* kept = nullptr;
    {
        CSmartPtr<Counted> ptr(new Counted);
        kept = ptr.Release();
        EXPECT_FALSE(ptr.IsValid());
    }
    EXPECT_EQ(Counted::alive, 1);
    delete kept;
    {
        CSmartPtr<Counted> empty;
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(Handles, CloseOnceAndReassign)
{
    CAutoHandle holder;
    EXPECT_FALSE(holder.IsValid());
    EXPECT_FALSE(holder.Close());
    HANDLE first = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    holder = first;
    EXPECT_TRUE(holder.IsValid());
    holder = CreateEvent(nullptr, TRUE, FALSE, nullptr); // closes the first
    EXPECT_FALSE(SetEvent(first));
    HANDLE second = holder;
    EXPECT_TRUE(holder.Close());
    EXPECT_FALSE(holder.Close());
    EXPECT_FALSE(SetEvent(second));

    int fd = ::open("/dev/null", O_RDONLY);
    {
        CAutoFileHandle file(fd);
        EXPECT_TRUE(file.IsValid());
    }
    EXPECT_EQ(fcntl(fd, F_GETFD), -1); // closed by the holder
}

TEST(Conversion, NullEmptyAndRoundTrip)
{
    EXPECT_FALSE(CAnsiToWide(static_cast<const char*>(nullptr)).IsValid());
    EXPECT_EQ(CAnsiToWide(static_cast<const char*>(nullptr)).c_str(), nullptr);
    EXPECT_FALSE(CWideToAnsi(static_cast<const char16_t*>(nullptr)).IsValid());
    const CAnsiToWide empty("");
    ASSERT_TRUE(empty.IsValid());
    EXPECT_EQ(empty.c_str()[0], u'\0');
    const QByteArray bytes("Gr\xC3\xBC\xC3\x9F"
                           "e \xFF");
    const CAnsiToWide wide(bytes);
    EXPECT_EQ(wide.Get().left(6), QStringLiteral("Gr\u00FC\u00DFe "));
    EXPECT_EQ(CWideToAnsi(wide.Get()).Get(), bytes);
}
