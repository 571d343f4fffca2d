#include "platform/base/Allocator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <malloc.h>
#include <string>
#include <thread>
#include <vector>

namespace {

// Bytes the allocator holds in mappings of their own.
size_t MappedBytes()
{
    return ::mallinfo2().hblkhd;
}

// Allocates and touches a block the compiler cannot drop.
void* Touched(size_t size)
{
    void* block = std::malloc(size);
    std::memset(block, 0x5a, size);
    asm volatile("" : : "r"(block) : "memory");
    return block;
}

// Heaps the allocator has made so far, from its own report.
int HeapCount()
{
    char* text = nullptr;
    size_t length = 0;
    FILE* report = ::open_memstream(&text, &length);
    ::malloc_info(0, report);
    std::fclose(report);
    const std::string xml(text, length);
    std::free(text);
    int heaps = 0;
    for (size_t at = xml.find("<heap nr="); at != std::string::npos; at = xml.find("<heap nr=", at + 1))
        ++heaps;
    return heaps;
}

// Tunes the allocator, lets many threads allocate while all of them are alive, and ends the
// process with 0 when they made no more heaps than the cap.
[[noreturn]] void AllocateOnManyThreads()
{
    if (!taluvo::TuneAllocator())
        std::_Exit(2);
    constexpr int kThreads = 24;
    std::latch allAlive(kThreads), allocated(kThreads), release(1);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int i = 0; i < kThreads; ++i)

        threads.emplace_back([&] {
            allAlive.arrive_and_wait();
            void* block = Touched(4096);
            allocated.count_down();
            release.wait();
            std::free(block);
        });
    allocated.wait();
    const int heaps = HeapCount();
    release.count_down();
    for (std::thread& thread : threads)
        thread.join();
    std::fprintf(stderr, "%d heaps\n", heaps);
    std::_Exit(heaps >= 1 && heaps <= taluvo::kAllocatorArenaMax ? 0 : 1);
}

} // namespace

// Threads that come and go (pooled checks beside hundreds of toolbar connections) must share a
// few heaps: a heap per thread keeps what each one's work left behind, and a long run grows.
TEST(Allocator, ManyThreadsShareAFewHeaps)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers bring an allocator of their own";
#endif
    // In a process of its own: the library fixes the number of heaps when a thread first needs one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(AllocateOnManyThreads(), ::testing::ExitedWithCode(0), "heaps");
}

// A long run frees large page bodies of every size; none of them may pull the blocks of later
// checks into the heaps, where they would stay after the check ended.
TEST(Allocator, LargeBlocksKeepTheirOwnMappingAfterALargerOneWasFreed)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers bring an allocator of their own";
#endif
    ASSERT_TRUE(taluvo::TuneAllocator());
    std::free(Touched(size_t { 16 } * 1024 * 1024));

    for (const size_t size : { size_t(taluvo::kAllocatorMapThreshold), size_t(1024 * 1024), size_t(6 * 1024 * 1024) }) {
        SCOPED_TRACE(size);
        const size_t before = MappedBytes();
        void* block = Touched(size);
        EXPECT_GE(MappedBytes(), before + size) << "the block went into a heap";
        std::free(block);
        EXPECT_EQ(MappedBytes(), before) << "the block was not given back when freed";
    }
}
