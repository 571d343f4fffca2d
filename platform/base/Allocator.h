// The C library's allocator, set for a program that runs for weeks.
#pragma once

#include <cstddef>

namespace taluvo {

// Fixes the allocator's thresholds for returning memory to the system and the number of heaps its
// threads share; call once, early in main, before any thread starts. False when the C library
// refused a setting (the defaults then stay).
bool TuneAllocator();

// Asks the system to back the whole 2 MB stretches of a large block that is about to be written
// with huge pages: fresh memory costs a page fault per page touched, and a 10 MB page's text
// otherwise takes five thousand of them. Blocks under 4 MB are left alone; false when the system
// declined (the block still works, with small pages).
bool AdviseLargeBlock(void* data, size_t bytes);

// The size from which a block gets its own mapping (given back to the system when freed).
constexpr unsigned long kAllocatorMapThreshold = 256UL * 1024;
// How much free memory at the top of a heap is kept before the rest is given back.
constexpr unsigned long kAllocatorTrimThreshold = 1024UL * 1024;
// How many heaps the threads share at most (the main thread's included).
constexpr int kAllocatorArenaMax = 4;

} // namespace taluvo
