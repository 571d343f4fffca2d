#include "platform/debug/MiniDump.h"

#include "platform/base/FileWrite.h"
#include "platform/debug/ProcessMemory.h"
#include "platform/debug/SystemInfo.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace taluvo::debug {

namespace {

// The dump is built in one growing block; RVAs are offsets into it.
class DumpBuffer {
public:
    uint32_t Size() const { return static_cast<uint32_t>(m_bytes.size()); }
    uint32_t Reserve(size_t size)
    {
        Align(4);
        const uint32_t at = Size();
        m_bytes.resize(m_bytes.size() + size, 0);
        return at;
    }
    void Align(size_t to)
    {
        while (m_bytes.size() % to)
            m_bytes.push_back(0);
    }
    void Put16(uint32_t at, uint16_t v) { std::memcpy(&m_bytes[at], &v, 2); }
    void Put32(uint32_t at, uint32_t v) { std::memcpy(&m_bytes[at], &v, 4); }
    void Put64(uint32_t at, uint64_t v) { std::memcpy(&m_bytes[at], &v, 8); }
    void PutBytes(uint32_t at, const void* bytes, size_t size)
    {
        if (size)
            std::memcpy(&m_bytes[at], bytes, size);
    }
    // A MINIDUMP_STRING: its length in bytes, the UTF-16 text and a terminating NUL.
    uint32_t AddString(const QString& text)
    {
        const uint32_t bytes = static_cast<uint32_t>(text.size() * 2);
        const uint32_t at = Reserve(4 + bytes + 2);
        Put32(at, bytes);
        PutBytes(at + 4, text.utf16(), bytes);
        return at;
    }
    uint32_t AddBlock(const void* bytes, size_t size)
    {
        const uint32_t at = Reserve(size);
        PutBytes(at, bytes, size);
        return at;
    }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

struct Location {
    uint32_t size = 0;
    uint32_t rva = 0;
};

struct MemoryRange {
    uint64_t start = 0;
    Location data;
};

struct StreamEntry {
    uint32_t type;
    Location location;
};

// MINIDUMP_CONTEXT_AMD64 from registers in the kernel's signal-context order.
uint32_t AddContext(DumpBuffer& dump, const ThreadRegisters& t)
{
    const uint32_t at = dump.Reserve(kContextAmd64Size);
    const uint64_t* r = t.registers;
    dump.Put32(at + 48, kContextControl | kContextInteger | kContextSegments);
    const uint64_t segments = r[kCsGsFs];
    dump.Put16(at + 56, static_cast<uint16_t>(segments)); // CS
    dump.Put16(at + 58, t.segDs);
    dump.Put16(at + 60, t.segEs);
    dump.Put16(at + 62, static_cast<uint16_t>(segments >> 32)); // FS
    dump.Put16(at + 64, static_cast<uint16_t>(segments >> 16)); // GS
    dump.Put16(at + 66, static_cast<uint16_t>(segments >> 48)); // SS
    dump.Put32(at + 68, static_cast<uint32_t>(r[kEflags]));
    const int order[]
        = { kRax, kRcx, kRdx, kRbx, kRsp, kRbp, kRsi, kRdi, kR8, kR9, kR10, kR11, kR12, kR13, kR14, kR15, kRip };
    for (size_t i = 0; i < sizeof(order) / sizeof(order[0]); ++i)
        dump.Put64(at + 120 + static_cast<uint32_t>(i) * 8, r[order[i]]);
    return at;
}

struct Mapping {
    uint64_t start, end;
};

std::vector<Mapping> ReadMappings(const std::string& mapsText)
{
    std::vector<Mapping> mappings;
    size_t at = 0;
    while (at < mapsText.size()) {
        size_t end = mapsText.find('\n', at);
        if (end == std::string::npos)
            end = mapsText.size();
        unsigned long long s = 0, e = 0;
        if (std::sscanf(mapsText.c_str() + at, "%llx-%llx", &s, &e) == 2)
            mappings.push_back({ s, e });
        at = end + 1;
    }
    return mappings;
}

const Mapping* MappingOf(const std::vector<Mapping>& mappings, uint64_t address)
{
    for (const Mapping& m : mappings) {
        if (address >= m.start && address < m.end)
            return &m;
    }
    return nullptr;
}

// The stack of a thread: from below its stack pointer (the red zone included) up to the end of
// the stack's mapping, at most limit bytes; only what can be read.
MemoryRange AddStack(DumpBuffer& dump, pid_t pid, uint64_t sp, uint64_t limit, const std::vector<Mapping>& mappings)
{
    MemoryRange range;
    uint64_t start = sp >= 128 ? sp - 128 : 0;
    const Mapping* m = MappingOf(mappings, start);
    if (!m) {
        start = sp;
        m = MappingOf(mappings, start);
    }
    if (!m) {
        // A stack pointer that ran into the guard page: the stack begins above it.
        start = (sp + 4095) & ~uint64_t(4095);
        m = MappingOf(mappings, start);
    }
    if (!m)
        return range;
    const uint64_t end = m->end - start > limit ? start + limit : m->end;
    std::vector<uint8_t> bytes(end - start);
    size_t got = 0;
    while (got < bytes.size()) {
        const uint64_t at = start + got;
        const size_t chunk = std::min<size_t>(bytes.size() - got, 4096 - static_cast<size_t>(at & 4095));
        if (!ReadProcessMemory(pid, at, bytes.data() + got, chunk))
            break;
        got += chunk;
    }
    if (got == 0)
        return range;
    range.start = start;
    range.data.size = static_cast<uint32_t>(got);
    range.data.rva = dump.AddBlock(bytes.data(), got);
    return range;
}

uint32_t VersionWord(const uint16_t v[4], int high)
{
    return static_cast<uint32_t>(v[high]) << 16 | v[high + 1];
}

// Waits for a ptrace stop of tid, within a bound: a thread that is exiting never stops.
bool WaitForStop(pid_t tid)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(tid, &status, __WALL | WNOHANG);
        if (got == tid)
            return WIFSTOPPED(status);
        if (got < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

ThreadRegisters FromUserRegs(pid_t tid, const user_regs_struct& u)
{
    ThreadRegisters t;
    t.threadId = tid;
    uint64_t* r = t.registers;
    r[kR8] = u.r8;
    r[kR9] = u.r9;
    r[kR10] = u.r10;
    r[kR11] = u.r11;
    r[kR12] = u.r12;
    r[kR13] = u.r13;
    r[kR14] = u.r14;
    r[kR15] = u.r15;
    r[kRdi] = u.rdi;
    r[kRsi] = u.rsi;
    r[kRbp] = u.rbp;
    r[kRbx] = u.rbx;
    r[kRdx] = u.rdx;
    r[kRax] = u.rax;
    r[kRcx] = u.rcx;
    r[kRsp] = u.rsp;
    r[kRip] = u.rip;
    r[kEflags] = u.eflags;
    r[kCsGsFs] = (u.cs & 0xFFFF) | (u.gs & 0xFFFF) << 16 | (u.fs & 0xFFFF) << 32 | (u.ss & 0xFFFF) << 48;
    t.segDs = static_cast<uint16_t>(u.ds);
    t.segEs = static_cast<uint16_t>(u.es);
    return t;
}

} // namespace

std::vector<ThreadRegisters> ReadOtherThreads(pid_t pid, pid_t except)
{
    std::vector<ThreadRegisters> threads;
    const std::string taskFolder = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(taskFolder.c_str());
    if (!dir)
        return threads;
    std::vector<pid_t> ids;
    while (const dirent* entry = readdir(dir)) {
        const pid_t tid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        if (tid > 0 && tid != except)
            ids.push_back(tid);
    }
    closedir(dir);
    for (pid_t tid : ids) {
        // Seize, not attach: no SIGSTOP is sent that could outlive the tracing.
        if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0)
            continue;
        user_regs_struct regs {};
        const bool read = ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) == 0 && WaitForStop(tid)
            && ptrace(PTRACE_GETREGS, tid, nullptr, &regs) == 0;
        ptrace(PTRACE_DETACH, tid, nullptr, nullptr);
        if (read)
            threads.push_back(FromUserRegs(tid, regs));
    }
    return threads;
}

std::vector<uint8_t> BuildMiniDump(const CrashRecord& record, const std::vector<ModuleInfo>& modules)
{
    const pid_t pid = record.processId;
    DumpBuffer dump;
    constexpr uint32_t kStreamCount = 7;
    const uint32_t header = dump.Reserve(32);
    const uint32_t directory = dump.Reserve(size_t(kStreamCount) * 12);
    std::vector<StreamEntry> streams;

    // System information.
    {
        const OsVersion os = ReadOsVersion();
        const ProcessorInfo cpu = ReadProcessorInfo();
        const uint32_t at = dump.Reserve(56);
        dump.Put16(at + 0, kProcessorArchitectureAmd64);
        dump.Put16(at + 2, static_cast<uint16_t>(cpu.family));
        dump.Put16(at + 4, static_cast<uint16_t>(cpu.model << 8 | cpu.stepping));
        dump.Bytes()[at + 6] = static_cast<uint8_t>(cpu.count > 255 ? 255 : cpu.count);
        dump.Bytes()[at + 7] = 1; // a workstation
        dump.Put32(at + 8, os.major);
        dump.Put32(at + 12, os.minor);
        dump.Put32(at + 16, os.patch);
        dump.Put32(at + 20, kPlatformLinux);
        dump.PutBytes(at + 32, cpu.vendor, 12);
        dump.Put32(at + 44, cpu.cpuidVersion);
        dump.Put32(at + 48, cpu.cpuidFeatures);
        const std::string versionText = "Linux " + os.release + " " + os.version + " " + os.machine;
        const uint32_t text = dump.AddString(QString::fromUtf8(versionText.c_str()));
        dump.Put32(at + 24, text);
        streams.push_back({ kSystemInfoStream, { 56, at } });
    }

    // The process id.
    {
        const uint32_t at = dump.Reserve(24);
        dump.Put32(at + 0, 24);
        dump.Put32(at + 4, 1); // the process id is valid
        dump.Put32(at + 8, static_cast<uint32_t>(pid));
        streams.push_back({ kMiscInfoStream, { 24, at } });
    }

    // Threads: the crashed one first, with the registers of the fault.
    const std::string mapsText = ReadTextFile("/proc/" + std::to_string(pid) + "/maps");
    const std::vector<Mapping> mappings = ReadMappings(mapsText);
    std::vector<ThreadRegisters> threads;
    {
        ThreadRegisters crashed;
        crashed.threadId = record.threadId;
        std::memcpy(crashed.registers, record.registers, sizeof(crashed.registers));
        crashed.segDs = record.segDs;
        crashed.segEs = record.segEs;
        threads.push_back(crashed);
        for (const ThreadRegisters& t : ReadOtherThreads(pid, record.threadId))
            threads.push_back(t);
    }
    std::vector<MemoryRange> stacks;
    std::vector<uint32_t> contexts;
    for (size_t i = 0; i < threads.size(); ++i) {
        contexts.push_back(AddContext(dump, threads[i]));
        stacks.push_back(AddStack(dump, pid, threads[i].registers[kRsp],
            i == 0 ? kCrashedThreadStackLimit : kOtherThreadStackLimit, mappings));
    }
    {
        const uint32_t at = dump.Reserve(4 + threads.size() * 48);
        dump.Put32(at, static_cast<uint32_t>(threads.size()));
        for (size_t i = 0; i < threads.size(); ++i) {
            const uint32_t t = at + 4 + static_cast<uint32_t>(i) * 48;
            dump.Put32(t + 0, static_cast<uint32_t>(threads[i].threadId));
            dump.Put64(t + 24, stacks[i].start);
            dump.Put32(t + 32, stacks[i].data.size);
            dump.Put32(t + 36, stacks[i].data.rva);
            dump.Put32(t + 40, kContextAmd64Size);
            dump.Put32(t + 44, contexts[i]);
        }
        streams.push_back({ kThreadListStream, { dump.Size() - at, at } });
    }

    // Modules with their names and build ids.
    {
        std::vector<uint32_t> names, codeViews;
        for (const ModuleInfo& m : modules) {
            names.push_back(dump.AddString(QString::fromUtf8(m.path.c_str())));
            if (m.buildId.empty()) {
                codeViews.push_back(0);
                continue;
            }
            const uint32_t cv = dump.Reserve(4 + m.buildId.size());
            dump.Put32(cv, kCodeViewElfSignature);
            dump.PutBytes(cv + 4, m.buildId.data(), m.buildId.size());
            codeViews.push_back(cv);
        }
        const uint32_t at = dump.Reserve(4 + modules.size() * 108);
        dump.Put32(at, static_cast<uint32_t>(modules.size()));
        for (size_t i = 0; i < modules.size(); ++i) {
            const ModuleInfo& m = modules[i];
            const uint32_t e = at + 4 + static_cast<uint32_t>(i) * 108;
            dump.Put64(e + 0, m.base);
            dump.Put32(e + 8, static_cast<uint32_t>(m.size));
            dump.Put32(e + 20, names[i]);
            // VS_FIXEDFILEINFO: signature, structure version, file and product versions, type.
            uint16_t fileVersion[4], productVersion[4];
            ModuleVersions(m, fileVersion, productVersion);
            dump.Put32(e + 24, 0xFEEF04BD);
            dump.Put32(e + 28, 0x00010000);
            dump.Put32(e + 32, VersionWord(fileVersion, 0));
            dump.Put32(e + 36, VersionWord(fileVersion, 2));
            dump.Put32(e + 40, VersionWord(productVersion, 0));
            dump.Put32(e + 44, VersionWord(productVersion, 2));
            dump.Put32(e + 60, m.soname.empty() ? 1 : 2); // an application, else a library
            if (codeViews[i]) {
                dump.Put32(e + 76, static_cast<uint32_t>(4 + m.buildId.size()));
                dump.Put32(e + 80, codeViews[i]);
            }
        }
        streams.push_back({ kModuleListStream, { dump.Size() - at, at } });
    }

    // The stacks are the memory the dump carries.
    {
        std::vector<MemoryRange> ranges;
        for (const MemoryRange& r : stacks) {
            if (r.data.size)
                ranges.push_back(r);
        }
        const uint32_t at = dump.Reserve(4 + ranges.size() * 16);
        dump.Put32(at, static_cast<uint32_t>(ranges.size()));
        for (size_t i = 0; i < ranges.size(); ++i) {
            const uint32_t d = at + 4 + static_cast<uint32_t>(i) * 16;
            dump.Put64(d, ranges[i].start);
            dump.Put32(d + 8, ranges[i].data.size);
            dump.Put32(d + 12, ranges[i].data.rva);
        }
        streams.push_back({ kMemoryListStream, { dump.Size() - at, at } });
    }

    // The exception, as Linux dumps carry it: the signal as the code, its si_code as the flags and
    // the address the signal was about.
    {
        const uint32_t at = dump.Reserve(168);
        dump.Put32(at + 0, static_cast<uint32_t>(record.threadId));
        dump.Put32(at + 8, static_cast<uint32_t>(record.signalNumber));
        dump.Put32(at + 12, static_cast<uint32_t>(record.signalCode));
        dump.Put64(at + 24, record.dataAddress);
        dump.Put32(at + 160, kContextAmd64Size);
        dump.Put32(at + 164, contexts[0]);
        streams.push_back({ kExceptionStream, { 168, at } });
    }

    // The memory map: which addresses were mapped, with what rights, from which file.
    streams.push_back({ kLinuxMapsStream,
        { static_cast<uint32_t>(mapsText.size()), dump.AddBlock(mapsText.data(), mapsText.size()) } });

    dump.Put32(header + 0, kMiniDumpSignature);
    dump.Put32(header + 4, kMiniDumpVersion);
    dump.Put32(header + 8, static_cast<uint32_t>(streams.size()));
    dump.Put32(header + 12, directory);
    dump.Put32(header + 20, static_cast<uint32_t>(std::time(nullptr)));
    for (size_t i = 0; i < streams.size() && i < kStreamCount; ++i) {
        const uint32_t d = directory + static_cast<uint32_t>(i) * 12;
        dump.Put32(d, streams[i].type);
        dump.Put32(d + 4, streams[i].location.size);
        dump.Put32(d + 8, streams[i].location.rva);
    }
    return std::move(dump.Bytes());
}

bool WriteMiniDumpFile(const std::string& path, const CrashRecord& record, const std::vector<ModuleInfo>& modules)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, taluvo::kUserFileMode);
    if (fd < 0)
        return false;
    const std::vector<uint8_t> bytes = BuildMiniDump(record, modules);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    const bool closed = close(fd) == 0;
    return written == bytes.size() && closed;
}

} // namespace taluvo::debug
