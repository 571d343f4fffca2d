#include "platform/debug/SystemInfo.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

using namespace taluvo::debug;

TEST(SystemInfo, OperatingSystemNameFromOsRelease)
{
    struct Case {
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        { "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nVERSION=\"12\"\n",
            "Debian GNU/Linux 12 (bookworm)" },
        { "NAME=Fedora\nVERSION=\"39 (Workstation Edition)\"\n", "Fedora 39 (Workstation Edition)" },
        { "NAME='Arch Linux'\n", "Arch Linux" },
        { "# PRETTY_NAME=\"commented\"\nPRETTY_NAME=\"say \\\"hi\\\"\"", "say \"hi\"" },
        { "garbage without equals\n", nullptr },
        { "", nullptr },
    };
    utsname u {};
    ASSERT_EQ(uname(&u), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const OsVersion os = ParseOsVersion(c.text);
        EXPECT_EQ(os.name, c.name ? c.name : u.sysname);
        EXPECT_EQ(os.release, u.release);
        EXPECT_EQ(os.machine, u.machine);
    }
}

TEST(SystemInfo, MemoryStatusFromMeminfo)
{
    const std::string meminfo = "MemTotal:        8000000 kB\n"
                                "MemFree:         1000000 kB\n"
                                "MemAvailable:    2000000 kB\n"
                                "SwapTotal:       4096000 kB\n"
                                "SwapFree:        1024000 kB\n";
    const MemoryStatus m = ParseMemoryStatus(meminfo, uint64_t(1) << 30);
    EXPECT_EQ(m.totalPhysical, 8000000ull * 1024);
    EXPECT_EQ(m.availablePhysical, 2000000ull * 1024);
    EXPECT_EQ(m.memoryLoad, 75u);
    EXPECT_EQ(m.totalSwap >> 20, 4000u);
    EXPECT_EQ(m.freeSwap >> 20, 1000u);
    EXPECT_EQ(m.totalVirtual, uint64_t(1) << 47);
    EXPECT_EQ(m.availableVirtual, (uint64_t(1) << 47) - (uint64_t(1) << 30));

    // An old kernel without an estimate of available memory: the free memory counts.
    const MemoryStatus old = ParseMemoryStatus("MemTotal: 1000 kB\nMemFree: 250 kB\n", 0);
    EXPECT_EQ(old.availablePhysical, 250u * 1024);
    EXPECT_EQ(old.memoryLoad, 75u);
    // Nothing readable: zeros, no division by zero.
    const MemoryStatus none = ParseMemoryStatus("", 0);
    EXPECT_EQ(none.memoryLoad, 0u);
    EXPECT_EQ(none.totalPhysical, 0u);
}

TEST(SystemInfo, UserAndExecutableOfAProcess)
{
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(ProcessUserName(getpid()), user->pw_name);
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path));
    ASSERT_GT(n, 0);
    EXPECT_EQ(ProcessExecutable(getpid()), std::string(path, static_cast<size_t>(n)));
    // A process that does not exist (pids stay below 2^22).
    EXPECT_EQ(ProcessUserName(1 << 23), "");
    EXPECT_EQ(ProcessExecutable(1 << 23), "");
    EXPECT_GE(ReadProcessorInfo().count, 1u);
}

} // namespace
