// Reading a file that another program may have replaced by a pipe, a device or a folder: it is
// opened without blocking, read only when it is a regular file, and only up to a size bound, so a
// reader on the user-interface thread can never be held or exhausted by it.
#pragma once

#include <cstddef>
#include <string>

namespace taluvo {

enum class EFileRead { ok, cannotOpen, notRegular, tooLarge, readError };

// Reads the whole regular file at path (native bytes) into contents when it holds at most
// maxBytes. On failure contents is empty and error (when given) holds an errno value: the open or
// read error, EISDIR for a folder, EINVAL for any other file that is not regular, EFBIG for a
// file over the bound (also one that grows past it while read).
EFileRead ReadRegularFile(const std::string& path, size_t maxBytes, std::string& contents, int* error = nullptr);

} // namespace taluvo
