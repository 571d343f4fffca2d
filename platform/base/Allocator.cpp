#include "platform/base/Allocator.h"

#include <cstdint>

#include <malloc.h>
#include <sys/mman.h>

namespace taluvo {

// By default the C library raises its mapping threshold to the size of every mapped block that is
// freed (up to 32 MB) and the trim threshold to twice that. One large page body or its decoded
// text therefore moves all later blocks of that size into the heaps, where the bodies of the
// checks that follow, each of a different size and on a different worker, fragment them: the
// resident memory of a long run crept up by about 3 MB every hundred checks. Setting both values
// switches that adjustment off: large blocks keep their own mappings and are given back when a
// check ends, and free space at the top of a heap beyond the trim threshold is returned as well.
//
// The library also gives threads heaps of their own, up to eight per core, and a new thread takes
// the next heap in turn once all exist. Every connection of the toolbar server is a thread, so a
// few hundred of them hold all 64 heaps of an eight-core machine, and the threads that run checks
// come back to a different heap after each idle spell. Each heap then keeps what its checks left
// (up to the trim threshold at its top, and the holes below): over a soak of 30 minutes the heaps
// grew by about 1.4 MB every hundred checks while the memory in use stayed flat. A few heaps are
// enough for the threads that allocate at the same time (the window's, a check's, the transfer's),
// and the memory they keep is then reused by the next check.
bool TuneAllocator()
{
    const bool mapped = ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kAllocatorMapThreshold)) == 1;
    const bool trimmed = ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kAllocatorTrimThreshold)) == 1;
    const bool shared = ::mallopt(M_ARENA_MAX, kAllocatorArenaMax) == 1;
    return mapped && trimmed && shared;
}

bool AdviseLargeBlock(void* data, size_t bytes)
{
    constexpr uintptr_t kHugePage = uintptr_t(2) * 1024 * 1024;
    if (data == nullptr || bytes < 2 * kHugePage)
        return false;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end <= begin)
        return false;
    return ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE) == 0;
}

} // namespace taluvo
