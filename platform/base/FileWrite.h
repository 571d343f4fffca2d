// Writing files: a whole buffer to a descriptor (write() may take part of it or be interrupted),
// and creating the files that hold the user's data, readable by the user alone.
#pragma once

#include <cstddef>

namespace taluvo {

// The mode every file with the user's data is created with (the database, the update log, the
// trace file, crash reports and their archive): they may hold passwords and browsing habits.
inline constexpr unsigned kUserFileMode = 0600;

// Writes all size bytes, retrying after interruptions and partial writes. False when the
// descriptor refuses (what was written stays written). Only async-signal-safe calls are used.
bool WriteAll(int fd, const void* data, size_t size);

// Opens path for appending, creating it for the user alone when it is missing; -1 on failure.
int OpenUserFileForAppend(const char* path);

// Waits until what was written to the descriptor is on the disk; false when it cannot be.
bool SyncFile(int fd);

// Waits for the exclusive advisory lock of the open file (released when the descriptor closes),
// so two processes appending to one file take turns; false when the lock cannot be had.
bool LockFileExclusive(int fd);

// Closes the descriptor; false when the close reports an error (a file system may report a lost
// write only here).
bool CloseFile(int fd);

// Appends the bytes whole to path, creating it for the user alone when it is missing. False when
// the file cannot be opened or takes not all of them.
bool AppendToUserFile(const char* path, const void* data, size_t size);

// Makes an empty file for the user alone when path names nothing yet; an existing file is left
// as it is. False when the file neither exists nor can be made.
bool CreateUserFile(const char* path);

// Writes the bytes as the whole content of path, created when missing with the usual modes (less
// the umask). False when they cannot all be written; a regular file is then removed, so no partial
// file looks written (a device or pipe is never unlinked).
bool ReplaceFileContents(const char* path, const void* data, size_t size);

// Writes a new file for the user alone with the given bytes; never replaces an existing file.
// False when the file exists or cannot be written whole (a partly written file is removed).
bool WriteNewUserFile(const char* path, const void* data, size_t size);

} // namespace taluvo
