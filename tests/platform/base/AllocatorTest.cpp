#include "platform/base/Allocator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>

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

}  // namespace

// A long run frees large page bodies of every size; none of them may pull the blocks of later
// checks into the heaps, where they would stay after the check ended.
TEST(Allocator, LargeBlocksKeepTheirOwnMappingAfterALargerOneWasFreed)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers bring an allocator of their own";
#endif
    ASSERT_TRUE(taluvo::TuneAllocator());
    std::free(Touched(16 * 1024 * 1024));

    for (const size_t size : { size_t(taluvo::kAllocatorMapThreshold), size_t(1024 * 1024), size_t(6 * 1024 * 1024) }) {
        SCOPED_TRACE(size);
        const size_t before = MappedBytes();
        void* block = Touched(size);
        EXPECT_GE(MappedBytes(), before + size) << "the block went into a heap";
        std::free(block);
        EXPECT_EQ(MappedBytes(), before) << "the block was not given back when freed";
    }
}
