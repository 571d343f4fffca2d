#include "platform/debug/SystemInfo.h"

#include <cpuid.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace taluvo::debug {

namespace {

// An os-release value: unquoted, or in single or double quotes with backslash escapes.
std::string OsReleaseValue(const std::string& raw)
{
    if (raw.size() < 2 || (raw[0] != '"' && raw[0] != '\''))
        return raw;
    const char quote = raw[0];
    std::string value;
    for (size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
        if (raw[i] == '\\' && quote == '"' && i + 1 < raw.size())
            ++i;
        value += raw[i];
    }
    return value;
}

// A "Key: number kB" line of /proc/meminfo, in bytes; 0 when absent.
uint64_t MeminfoBytes(const std::string& text, const char* key)
{
    std::istringstream lines(text);
    std::string line;
    const size_t keyLength = std::strlen(key);
    while (std::getline(lines, line)) {
        if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':')
            return std::strtoull(line.c_str() + keyLength + 1, nullptr, 10) * 1024;
    }
    return 0;
}

// The user address space of an x86-64 process: 47 bits.
constexpr uint64_t kUserAddressSpace = uint64_t(1) << 47;

} // namespace

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

OsVersion ParseOsVersion(const std::string& osReleaseText)
{
    OsVersion os;
    std::string prettyName, name, version;
    std::istringstream lines(osReleaseText);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || line[0] == '#')
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = OsReleaseValue(line.substr(eq + 1));
        if (key == "PRETTY_NAME")
            prettyName = value;
        else if (key == "NAME")
            name = value;
        else if (key == "VERSION")
            version = value;
    }
    utsname u {};
    if (uname(&u) == 0) {
        os.release = u.release;
        os.version = u.version;
        os.machine = u.machine;
        std::sscanf(u.release, "%u.%u.%u", &os.major, &os.minor, &os.patch);
    }
    if (!prettyName.empty())
        os.name = prettyName;
    else if (!name.empty())
        os.name = version.empty() ? name : name + " " + version;
    else
        os.name = u.sysname[0] ? u.sysname : "Linux";
    return os;
}

OsVersion ReadOsVersion()
{
    // os-release(5): /etc/os-release, falling back to /usr/lib/os-release.
    std::string text = ReadTextFile("/etc/os-release");
    if (text.empty())
        text = ReadTextFile("/usr/lib/os-release");
    return ParseOsVersion(text);
}

MemoryStatus ParseMemoryStatus(const std::string& meminfoText, uint64_t vmSizeBytes)
{
    MemoryStatus m;
    m.totalPhysical = MeminfoBytes(meminfoText, "MemTotal");
    m.availablePhysical = MeminfoBytes(meminfoText, "MemAvailable");
    if (m.availablePhysical == 0) // kernels before 3.14 have no estimate
        m.availablePhysical = MeminfoBytes(meminfoText, "MemFree");
    if (m.availablePhysical > m.totalPhysical)
        m.availablePhysical = m.totalPhysical;
    m.totalSwap = MeminfoBytes(meminfoText, "SwapTotal");
    m.freeSwap = MeminfoBytes(meminfoText, "SwapFree");
    if (m.totalPhysical > 0)
        m.memoryLoad = static_cast<uint32_t>((m.totalPhysical - m.availablePhysical) * 100 / m.totalPhysical);
    m.totalVirtual = kUserAddressSpace;
    m.availableVirtual = vmSizeBytes < kUserAddressSpace ? kUserAddressSpace - vmSizeBytes : 0;
    return m;
}

MemoryStatus ReadMemoryStatus(pid_t pid)
{
    const std::string status = ReadTextFile("/proc/" + std::to_string(pid) + "/status");
    // VmSize is listed in kB like the meminfo values.
    return ParseMemoryStatus(ReadTextFile("/proc/meminfo"), MeminfoBytes(status, "VmSize"));
}

ProcessorInfo ReadProcessorInfo()
{
    ProcessorInfo p;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    p.count = online > 0 ? static_cast<unsigned>(online) : 1;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
        std::memcpy(p.vendor, &ebx, 4);
        std::memcpy(p.vendor + 4, &edx, 4);
        std::memcpy(p.vendor + 8, &ecx, 4);
        p.vendor[12] = '\0';
    }
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        p.cpuidVersion = eax;
        p.cpuidFeatures = edx;
        p.stepping = eax & 0xF;
        p.model = (eax >> 4) & 0xF;
        p.family = (eax >> 8) & 0xF;
        if (p.family == 0xF)
            p.family += (eax >> 20) & 0xFF;
        if (p.family == 0x6 || p.family >= 0xF)
            p.model += ((eax >> 16) & 0xF) << 4;
    }
    return p;
}

std::string ProcessUserName(pid_t pid)
{
    // "Uid:	real	effective	saved	filesystem": the real user is the one who runs it.
    const std::string status = ReadTextFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("\nUid:");
    if (at == std::string::npos)
        return std::string();
    const uid_t uid = static_cast<uid_t>(std::strtoul(status.c_str() + at + 5, nullptr, 10));
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* result = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) != 0 || !result || !result->pw_name)
        return std::string();
    return result->pw_name;
}

std::string ProcessExecutable(pid_t pid)
{
    char path[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = readlink(link.c_str(), path, sizeof(path) - 1);
    if (n <= 0)
        return std::string();
    return std::string(path, static_cast<size_t>(n));
}

} // namespace taluvo::debug
