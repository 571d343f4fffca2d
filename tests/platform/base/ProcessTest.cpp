#include "platform/base/Process.h"
#include "platform/base/Time.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace taluvo;

TEST(Process, ProgramFolderFollowsTalovoHome)
{
    const QString home = QString::fromStdString(taluvo::test::HomeDir());
    EXPECT_EQ(ProgramFolder(), home);
    EXPECT_TRUE(ProgramFilePath(QStringLiteral("ini")).startsWith(home + QLatin1Char('/')));
    EXPECT_TRUE(ProgramFilePath(QStringLiteral("ini")).endsWith(QStringLiteral(".ini")));
    EXPECT_FALSE(ExecutablePath().isEmpty());
}

TEST(Process, WithoutTalovoHomeTheDataLivesInTheUsersDataFolder)
{
    // The executable's folder (the build tree) holds no database.db: it is not the program's.
    const std::string given = taluvo::test::HomeDir();
    taluvo::test::TempDir dir;
    unsetenv("TALUVO_HOME");
    auto mode = [](const std::string& path) {
        struct stat st { };
        return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    struct Case {
        std::string dataHome; // XDG_DATA_HOME ("" unset)
        std::string expected;
    };
    setenv("HOME", dir.File("home/").c_str(), 1);
    const Case cases[] = {
        { dir.File("data/nested/"), dir.File("data/nested/taluvo") }, { "", dir.File("home/.local/share/taluvo") },
        { "relative/data", dir.File("home/.local/share/taluvo") }, // not absolute: ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataHome);
        if (c.dataHome.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", c.dataHome.c_str(), 1);
        EXPECT_EQ(ProgramFolder(), QString::fromStdString(c.expected));
        // Made for the user alone, with the parents that were missing.
        EXPECT_EQ(mode(c.expected), 0700);
        EXPECT_EQ(mode(c.expected.substr(0, c.expected.rfind('/'))), 0700);
        EXPECT_EQ(ProgramFilePath(QStringLiteral("trc")).left(c.expected.size()), QString::fromStdString(c.expected));
    }
    // A folder that exists keeps its mode.
    chmod(dir.File("data/nested/taluvo").c_str(), 0750);
    setenv("XDG_DATA_HOME", dir.File("data/nested").c_str(), 1);
    EXPECT_EQ(ProgramFolder(), QString::fromStdString(dir.File("data/nested/taluvo")));
    EXPECT_EQ(mode(dir.File("data/nested/taluvo")), 0750);
    setenv("TALUVO_HOME", given.c_str(), 1);
    EXPECT_EQ(ProgramFolder(), QString::fromStdString(given));
}

TEST(Process, ChangeExtensionTouchesTheFileNameOnly)
{
    struct Case {
        const char* path;
        const char* ext;
        const char* want;
    };
    const Case cases[] = {
        { "/opt/taluvo/taluvo", "ini", "/opt/taluvo/taluvo.ini" },
        { "/opt/taluvo/taluvo.bin", "trc", "/opt/taluvo/taluvo.trc" },
        { "/opt/v1.2/taluvo", "RPT", "/opt/v1.2/taluvo.RPT" },
        { "/home/u/.hidden", "log", "/home/u/.hidden.log" },
        { "name.tar.gz", "x", "name.tar.x" },
        { "name", "", "name" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChangeExtension(QString::fromUtf8(c.path), QString::fromUtf8(c.ext)), QString::fromUtf8(c.want))
            << c.path;
}

TEST(Process, ThreadIdsDifferPerThreadAndAreNeverZero)
{
    const DWORD mine = GetCurrentThreadId();
    DWORD other = 0;
    std::thread t([&] { other = GetCurrentThreadId(); });
    t.join();
    EXPECT_NE(mine, 0u);
    EXPECT_NE(other, 0u);
    EXPECT_NE(mine, other);
}

TEST(Process, DescriptorsLeftCountsToTheSoftLimit)
{
    rlimit given {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &given), 0);
    // Under a lowered limit the answer is exact: what opens and closes counts, at once.
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    ::close(probe);
    size_t used = 0;
    for (int fd = 0; fd < 4096; ++fd)
        if (::fcntl(fd, F_GETFD) != -1)
            ++used;
    rlimit lowered = given;
    lowered.rlim_cur = used + 10;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(DescriptorsLeft(), 10u);
    int fds[3];
    for (int& fd : fds)
        fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(DescriptorsLeft(), 7u);
    for (int fd : fds)
        ::close(fd);
    EXPECT_EQ(DescriptorsLeft(), 10u);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &given), 0);
    EXPECT_GT(DescriptorsLeft(), 10u);
}

TEST(Time, ConversionsRejectNegativeTimes)
{
    SYSTEMTIME st {};
    EXPECT_FALSE(ToLocalTime(-1, st));
    ASSERT_TRUE(ToUtcTime(0, st));
    EXPECT_EQ(st.wYear, 1970);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 4); // a Thursday
    ASSERT_TRUE(ToUtcTime(4102444799LL, st)); // beyond 32-bit signed time
    EXPECT_EQ(st.wYear, 2099);
    EXPECT_EQ(TimeText24(SYSTEMTIME { 2026, 12, 4, 10, 19, 5, 7, 0 }), QStringLiteral("19:05:07"));
}

TEST(Time, TickCountAdvances)
{
    const DWORD first = GetTickCount();
    EXPECT_TRUE(taluvo::test::WaitUntil([&] { return GetTickCount() - first >= 5; }));
}
