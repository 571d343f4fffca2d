// What the file system says of a path: its kind, size, time and identity, for callers that must
// not reach the system's headers.
#pragma once

#include <cstdint>
#include <string>

namespace taluvo {

struct SFileStatus {
    bool folder = false;
    bool regular = false;
    uint64_t size = 0;
    int64_t modified = 0; // seconds since 1970, UTC
    // Identity: two paths with the same device and node name one file or folder.
    uint64_t device = 0;
    uint64_t node = 0;
};

// The status of what path names, links followed; false when it names nothing that can be examined.
bool GetFileStatus(const std::string& path, SFileStatus& status);

// Whether path is a folder this process may create files in (its access rights and a read-only
// file system both count).
bool IsWritableFolder(const std::string& path);

} // namespace taluvo
