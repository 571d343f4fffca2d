// The minidump of a crashed process in the documented MINIDUMP layout for x86-64, as debuggers
// read it (lldb among them): the system information, every thread with its AMD64 register context
// and its stack, the modules with their build ids (CodeView records of the ELF kind), the process
// id, the process's memory map and the exception.
//
// The crashed thread's registers come from the crash record; the other threads are stopped for a
// moment with ptrace (the program lets its helper trace it) to read theirs, and let go at once.
#pragma once

#include "platform/debug/CrashRecord.h"
#include "platform/debug/ModuleList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace taluvo::debug {

// Stream types and constants of the layout used here.
inline constexpr uint32_t kMiniDumpSignature = 0x504D444D; // "MDMP"
inline constexpr uint32_t kMiniDumpVersion = 0xA793;
inline constexpr uint32_t kThreadListStream = 3;
inline constexpr uint32_t kModuleListStream = 4;
inline constexpr uint32_t kMemoryListStream = 5;
inline constexpr uint32_t kExceptionStream = 6;
inline constexpr uint32_t kSystemInfoStream = 7;
inline constexpr uint32_t kMiscInfoStream = 15;
inline constexpr uint32_t kLinuxMapsStream = 0x47670009;
inline constexpr uint16_t kProcessorArchitectureAmd64 = 9;
inline constexpr uint32_t kPlatformLinux = 0x8201;
inline constexpr uint32_t kCodeViewElfSignature = 0x4270454C; // "BpEL": an ELF build id follows
inline constexpr uint32_t kContextAmd64Size = 1232;
inline constexpr uint32_t kContextAmd64 = 0x00100000;
inline constexpr uint32_t kContextControl = kContextAmd64 | 0x1;
inline constexpr uint32_t kContextInteger = kContextAmd64 | 0x2;
inline constexpr uint32_t kContextSegments = kContextAmd64 | 0x4;

// Stack bytes kept per thread, from just below the stack pointer upwards.
inline constexpr uint64_t kCrashedThreadStackLimit = uint64_t(1024) * 1024;
inline constexpr uint64_t kOtherThreadStackLimit = uint64_t(256) * 1024;

// One thread's registers in the order of the kernel's signal context (CrashRecord's order).
struct ThreadRegisters {
    int32_t threadId = 0;
    uint64_t registers[kRegisterCount] = {};
    uint16_t segDs = 0, segEs = 0;
};

// Builds the minidump of the crashed process in memory. modules: as ReadModules gives them.
std::vector<uint8_t> BuildMiniDump(const CrashRecord& record, const std::vector<ModuleInfo>& modules);

// The dump into the file at path (replacing an older one); false when it cannot be written whole.
bool WriteMiniDumpFile(const std::string& path, const CrashRecord& record, const std::vector<ModuleInfo>& modules);

// The registers of the threads of process pid other than except, each stopped with ptrace for
// the moment of the read. Threads that cannot be stopped are left out.
std::vector<ThreadRegisters> ReadOtherThreads(pid_t pid, pid_t except);

} // namespace taluvo::debug
