// Reading another process's memory and maps the way the crash report needs it: every read is
// guarded (a bad address gives false instead of a fault) and every function here is
// async-signal-safe, so the signal handler can use them on its own process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace taluvo::debug {

// Reads exactly size bytes at address of process pid; false when any of them is unreadable.
bool ReadProcessMemory(pid_t pid, uint64_t address, void* buffer, size_t size);

// Whether a NUL-terminated text can be read at address up to its terminator or up to `count`
// characters, whichever comes first; copies what it read (terminated) into text[count + 1].
bool ReadStringChecked(pid_t pid, uint64_t address, char* text, size_t count);

// Where an address lies: the module (file) mapped there, the 1-based index of the ELF load
// segment that holds it and the offset inside that segment. False when the address lies in no
// file-backed mapping or the module's headers cannot be read; segment and offset then stay as
// they were, and path holds the mapping's file when one was found (else stays as it was).
bool LocateAddressInModule(
    pid_t pid, uint64_t address, char* path, size_t pathCapacity, unsigned* segment, uint64_t* offset);

// The tracer of a process from /proc/<pid>/status ("TracerPid"); 0 when none or unreadable.
pid_t TracerOf(pid_t pid);

} // namespace taluvo::debug
