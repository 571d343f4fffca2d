// Open files as descriptors, for code that reads and writes them piece by piece (the crash
// archive): opening, status, offsets, reads and writes that survive interruptions, truncation,
// and anonymous memory. Every call reports failure instead of throwing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace taluvo {

struct SDescriptorStatus {
    bool regular = false;
    bool folder = false;
    bool appendOnly = false; // every write lands at the end (opened for appending)
    bool ownerWritable = false;
    uint32_t unixMode = 0; // the file's type and its permission bits 0777, as Unix stores them
    uint64_t size = 0;
    int64_t accessed = 0; // seconds since 1970, UTC
    int64_t modified = 0;
    int64_t created = 0; // where the file system records a birth time; else the modification
};

bool GetDescriptorStatus(int fd, SDescriptorStatus& status);

// A close-on-exec copy of fd; -1 on failure.
int DuplicateDescriptor(int fd);
// Creates or empties path for writing, for the user alone when it is made; -1 on failure.
int CreateUserFileForWriting(const char* path);
// Opens path for reading without waiting for the writer of a named pipe; reads then block as
// usual. -1 on failure.
int OpenFileForReading(const char* path);

bool GetDescriptorOffset(int fd, uint64_t& offset);
bool SetDescriptorOffset(int fd, uint64_t offset);
bool TruncateDescriptor(int fd, uint64_t size);

// Reads at most size bytes, retrying after an interruption: the count read, 0 at the end, -1 on
// an error.
long long ReadDescriptor(int fd, void* buffer, size_t size);
// Writes as much of the bytes as the descriptor takes, retrying after interruptions and partial
// writes; the count written (less than size when it refused the rest).
size_t WriteDescriptor(int fd, const void* data, size_t size);

// Zero-filled private memory of size bytes, nullptr on failure; given back with UnmapMemory.
void* MapAnonymousMemory(size_t size);
void UnmapMemory(void* block, size_t size);

} // namespace taluvo
