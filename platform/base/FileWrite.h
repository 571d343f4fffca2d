// Writing a whole buffer to a descriptor: write() may take part of it or be interrupted.
#pragma once

#include <cstddef>

namespace taluvo {

// Writes all size bytes, retrying after interruptions and partial writes. False when the
// descriptor refuses (what was written stays written). Only async-signal-safe calls are used.
bool WriteAll(int fd, const void* data, size_t size);

}  // namespace taluvo
