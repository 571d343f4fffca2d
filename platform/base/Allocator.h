// The C library's allocator, set for a program that runs for weeks.
#pragma once

namespace taluvo {

// Fixes the allocator's thresholds for returning memory to the system; call once, early in main,
// before any thread starts. False when the C library refused a setting (the defaults then stay).
bool TuneAllocator();

// The size from which a block gets its own mapping (given back to the system when freed).
constexpr unsigned long kAllocatorMapThreshold = 256 * 1024;
// How much free memory at the top of a heap is kept before the rest is given back.
constexpr unsigned long kAllocatorTrimThreshold = 1024 * 1024;

}  // namespace taluvo
