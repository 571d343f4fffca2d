#include "platform/debug/ProcessMemory.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <gnu/libc-version.h>
#include <string>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace taluvo::debug;

// Two pages, the second one unreadable: text placed at the end of the first one.
class PageEdge {
public:
    PageEdge()
    {
        m_memory = static_cast<char*>(mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(m_memory + 4096, 4096, PROT_NONE);
    }
    ~PageEdge() { munmap(m_memory, 8192); }
    // Places the bytes so that they end where the readable page ends.
    uint64_t Place(const char* bytes, size_t size)
    {
        char* at = m_memory + 4096 - size;
        std::memcpy(at, bytes, size);
        return reinterpret_cast<uint64_t>(at);
    }
    uint64_t Unreadable() const { return reinterpret_cast<uint64_t>(m_memory + 4096); }

private:
    char* m_memory;
};

TEST(ProcessMemory, StringReadsStopAtTheTerminatorOrAtThirtyTwoCharacters)
{
    PageEdge page;
    char text[33];
    // Terminated just before the unreadable page: readable.
    EXPECT_TRUE(ReadStringChecked(getpid(), page.Place("short\0", 6), text, 32));
    EXPECT_STREQ(text, "short");
    // Runs into the unreadable page before its terminator and before 32 characters: not readable.
    EXPECT_FALSE(ReadStringChecked(getpid(), page.Place("no terminator", 13), text, 32));
    // 32 readable characters are enough, whatever follows.
    const std::string longText(32, 'x');
    EXPECT_TRUE(ReadStringChecked(getpid(), page.Place(longText.data(), 32), text, 32));
    EXPECT_EQ(std::string(text), longText);
    EXPECT_FALSE(ReadStringChecked(getpid(), page.Unreadable(), text, 32));
    EXPECT_FALSE(ReadStringChecked(getpid(), 0, text, 32));

    int value = 0;
    EXPECT_FALSE(ReadProcessMemory(getpid(), page.Unreadable() - 2, &value, sizeof(value)));
    EXPECT_TRUE(ReadProcessMemory(getpid(), page.Unreadable() - 4, &value, sizeof(value)));
}

__attribute__((noinline)) int CodeToLocate(int x)
{
    return x * 3 + 1;
}

TEST(ProcessMemory, AddressesAreLocatedInTheirModuleAndLoadSegment)
{
    char self[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    char path[1024] = "";
    unsigned segment = 0;
    uint64_t offset = 0;
    const auto code = reinterpret_cast<uint64_t>(&CodeToLocate);
    ASSERT_TRUE(LocateAddressInModule(getpid(), code, path, sizeof(path), &segment, &offset));
    EXPECT_STREQ(path, self);
    EXPECT_GE(segment, 1u);
    // The next byte of the same function lies in the same segment, one further.
    unsigned segment2 = 0;
    uint64_t offset2 = 0;
    ASSERT_TRUE(LocateAddressInModule(getpid(), code + 1, path, sizeof(path), &segment2, &offset2));
    EXPECT_EQ(segment2, segment);
    EXPECT_EQ(offset2, offset + 1);
    // Code of a library lies in another module.
    ASSERT_TRUE(LocateAddressInModule(
        getpid(), reinterpret_cast<uint64_t>(&gnu_get_libc_version), path, sizeof(path), &segment, &offset));
    EXPECT_NE(std::string(path).find("libc"), std::string::npos) << path;

    // Anonymous memory and unmapped addresses belong to no module; the outputs stay as they were.
    void* anonymous = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    segment = 77;
    offset = 88;
    std::strcpy(path, "unchanged");
    EXPECT_FALSE(
        LocateAddressInModule(getpid(), reinterpret_cast<uint64_t>(anonymous), path, sizeof(path), &segment, &offset));
    EXPECT_FALSE(LocateAddressInModule(getpid(), 16, path, sizeof(path), &segment, &offset));
    EXPECT_EQ(segment, 77u);
    EXPECT_EQ(offset, 88u);
    EXPECT_STREQ(path, "unchanged");
    munmap(anonymous, 4096);
}

TEST(ProcessMemory, TracerIsReadFromTheProcessStatus)
{
    EXPECT_EQ(TracerOf(getpid()), 0) << "run without a debugger";
    EXPECT_EQ(TracerOf(INT_MAX), 0) << "no such process";

    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    if (ptrace(PTRACE_SEIZE, child, nullptr, nullptr) != 0) {
        const int error = errno;
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        GTEST_SKIP() << "the kernel does not let this process trace its child: " << std::strerror(error);
    }
    EXPECT_EQ(TracerOf(child), getpid());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

} // namespace
