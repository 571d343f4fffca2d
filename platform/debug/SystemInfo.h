// What the crash report and the minidump say about the machine and the crashed process: the
// operating system (from /etc/os-release and uname), the processors, the memory (from
// /proc/meminfo and the process's own status) and the user the process runs as.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace taluvo::debug {

struct OsVersion {
    std::string name; // PRETTY_NAME of os-release, else NAME and VERSION, else the kernel's name
    std::string release; // uname's release ("6.1.0-18-amd64")
    std::string version; // uname's version ("#1 SMP PREEMPT_DYNAMIC Debian ...")
    std::string machine; // uname's machine ("x86_64")
    unsigned major = 0, minor = 0, patch = 0; // the leading numbers of the release
};

// osReleaseText: the content of an os-release file (empty when there is none).
OsVersion ParseOsVersion(const std::string& osReleaseText);
OsVersion ReadOsVersion();

struct MemoryStatus {
    uint32_t memoryLoad = 0; // percent of physical memory in use
    uint64_t totalPhysical = 0, availablePhysical = 0;
    uint64_t totalSwap = 0, freeSwap = 0;
    uint64_t totalVirtual = 0, availableVirtual = 0; // the process's user address space
};

// meminfoText: /proc/meminfo; vmSizeBytes: the process's mapped size (its VmSize).
MemoryStatus ParseMemoryStatus(const std::string& meminfoText, uint64_t vmSizeBytes);
MemoryStatus ReadMemoryStatus(pid_t pid);

struct ProcessorInfo {
    unsigned count = 0;
    uint32_t family = 0, model = 0, stepping = 0;
    char vendor[13] = ""; // CPUID's vendor text ("GenuineIntel")
    uint32_t cpuidVersion = 0, cpuidFeatures = 0; // CPUID leaf 1: EAX and EDX
};
ProcessorInfo ReadProcessorInfo();

// Processor type as the system information of the report numbers it (8664: x86-64).
inline constexpr int kProcessorTypeAmd64 = 8664;

// The user name of the account that process pid runs as; empty when it cannot be found.
std::string ProcessUserName(pid_t pid);
// The executable of process pid; empty when it cannot be read.
std::string ProcessExecutable(pid_t pid);

std::string ReadTextFile(const std::string& path);

} // namespace taluvo::debug
