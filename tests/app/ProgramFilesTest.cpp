// Where the program keeps the user's data when no TALUVO_HOME names a folder (an installed copy in
// a read-only place, a portable copy beside its database), and that a normal start prints nothing.
#include "tests/app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace taluvo::test;

namespace {

class ProgramFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program and its crash helper as an installation would have them, in a folder of
        // their own (linked where the file system allows, else copied).
        const std::filesystem::path built(TALUVO_PROGRAM);
        for (const char* name : { "taluvo", "taluvo-crashreport" }) {
            std::error_code error;
            std::filesystem::create_hard_link(built.parent_path() / name, m_bin.File(name), error);
            if (error)
                std::filesystem::copy_file(built.parent_path() / name, m_bin.File(name));
        }
    }
    // The environment of a user's session: no TALUVO_HOME, the data folder by the XDG rules.
    std::vector<std::string> UserEnvironment(const std::vector<std::string>& more = {}) const
    {
        std::vector<std::string> environment { "TALUVO_HOME=", "HOME=" + m_home.Path(),
            "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=" + m_runtime.Path(), "QT_QPA_PLATFORM=offscreen", "TALUVO_DEBUG=" };
        environment.insert(environment.end(), more.begin(), more.end());
        return environment;
    }
    // Runs until the toolbar server answers, then ends it as the user's Exit would; the status.
    static int RunOnce(CProgram& program)
    {
        if (!program.Started() || !WaitUntil(ToolbarPortAnswers, std::chrono::seconds(20)))
            return -3;
        program.Signal(SIGTERM);
        return program.Wait();
    }
    std::string DataFolder() const { return m_home.File(".local/share/taluvo"); }
    // The program started in a private mount namespace where the single-instance lock has a
    // place of its own (a fresh /run/user), so a copy the user runs meanwhile never holds it; a
    // folder given is bind-mounted read-only for the program alone. Where the machine allows no
    // such namespace, the program is started as it is, but only while the user's lock is free.
    std::unique_ptr<CProgram> StartPrivately(const std::string& program, const std::string& output,
        const std::vector<std::string>& more = {}, const std::string& readOnlyFolder = {}) const
    {
        if (!PrivateMountsAllowed()) {
            if (UsersLockIsHeld())
                return nullptr;
            return std::make_unique<CProgram>(std::vector<std::string> { program }, UserEnvironment(more), output);
        }
        const std::string script
            = "mount -t tmpfs -o mode=755 tmpfs /run/user && mkdir -m 700 /run/user/$(id -u) && "
              "{ [ -z \"$RO\" ] || { mount --bind \"$RO\" \"$RO\" && mount -o remount,bind,ro \"$RO\"; }; } && "
              "exec \"$0\"";
        std::vector<std::string> environment = more;
        environment.push_back("RO=" + readOnlyFolder);
        return std::make_unique<CProgram>(
            std::vector<std::string> { "/usr/bin/unshare", "-rm", "/bin/sh", "-c", script, program },
            UserEnvironment(environment), output);
    }
    static bool PrivateMountsAllowed()
    {
        return std::system("unshare -rm /bin/sh -c 'mount -t tmpfs tmpfs /run/user' 2>/dev/null") == 0;
    }
    // Whether a copy of the program that this user runs holds its single-instance lock (the
    // program's own rule for the lock's place: /run/user/<uid> when it is the user's, else /tmp).
    static bool UsersLockIsHeld()
    {
        const uid_t uid = geteuid();
        const std::string runtime = "/run/user/" + std::to_string(uid);
        struct stat info { };
        const std::string lock = stat(runtime.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid
            ? runtime + "/TALUVO_MUTEX.lock"
            : "/tmp/TALUVO_MUTEX." + std::to_string(uid) + ".lock";
        const int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        return held;
    }
    static constexpr const char* kNoPrivatePlace
        = "the user's own copy of the program holds its lock, and no private mount "
          "namespace is allowed here to give the test a lock of its own";

    TempDir m_bin;
    TempDir m_home;
    TempDir m_runtime;
    TempDir m_output;
};

int ModeOf(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST_F(ProgramFiles, AProgramInAReadOnlyFolderKeepsItsDataInTheUsersDataFolder)
{
    if (!PrivateMountsAllowed())
        GTEST_SKIP() << "no private mount namespace here";
    // The executable's folder is made read-only for the program alone: a bind mount of its own in
    // a private mount namespace.
    auto program = StartPrivately(m_bin.File("taluvo"), m_output.File("run.txt"), {}, m_bin.Path());
    EXPECT_EQ(RunOnce(*program), 1) << ReadFile(m_output.File("run.txt"));
    EXPECT_EQ(Sqlite(DataFolder() + "/database.db", "SELECT COUNT(*) FROM PREFS;"), "1");
    EXPECT_EQ(ModeOf(DataFolder()), 0700);
    EXPECT_FALSE(std::filesystem::exists(m_bin.File("database.db")));
}

TEST_F(ProgramFiles, APortableCopyKeepsUsingTheDatabaseBesideIt)
{
    Sqlite(m_bin.File("database.db"), "CREATE TABLE MINE(x);\n");
    auto program = StartPrivately(m_bin.File("taluvo"), m_output.File("run.txt"));
    if (!program)
        GTEST_SKIP() << kNoPrivatePlace;
    EXPECT_EQ(RunOnce(*program), 1) << ReadFile(m_output.File("run.txt"));
    EXPECT_EQ(Sqlite(m_bin.File("database.db"), ".tables"), "GROUPS  MINE    PAGES   PREFS ");
    EXPECT_FALSE(std::filesystem::exists(DataFolder()));
}

TEST_F(ProgramFiles, ANormalStartPrintsNothingAndTalovoDebugShowsTheTrace)
{
    auto quiet = StartPrivately(m_bin.File("taluvo"), m_output.File("quiet.txt"));
    if (!quiet)
        GTEST_SKIP() << kNoPrivatePlace;
    EXPECT_EQ(RunOnce(*quiet), 1);
    EXPECT_EQ(ReadFile(m_output.File("quiet.txt")), "");

    auto debug = StartPrivately(m_bin.File("taluvo"), m_output.File("debug.txt"), { "TALUVO_DEBUG=1" });
    ASSERT_TRUE(debug);
    EXPECT_EQ(RunOnce(*debug), 1);
    const std::string said = ReadFile(m_output.File("debug.txt"));
    EXPECT_NE(said.find("CDebugTracer::GetModuleTraceLevel. Module \"CMainFrame\", Level: 0\n"), std::string::npos)
        << said;
}

// A data folder the system keeps read-only: the start says so and ends, the database untouched.
TEST_F(ProgramFiles, AReadOnlyDataFolderIsSaidAtStartAndLeftAlone)
{
    if (!PrivateMountsAllowed())
        GTEST_SKIP() << "no private mount namespace here";
    auto first = StartPrivately(m_bin.File("taluvo"), m_output.File("first.txt"), {}, m_bin.Path());
    ASSERT_EQ(RunOnce(*first), 1) << ReadFile(m_output.File("first.txt"));
    const std::string database = DataFolder() + "/database.db";
    const std::string before = ReadFile(database);
    ASSERT_FALSE(before.empty());

    auto program = StartPrivately(m_bin.File("taluvo"), m_output.File("run.txt"), {}, DataFolder());
    EXPECT_EQ(program->Wait(), 1);
    const std::string said = ReadFile(m_output.File("run.txt"));
    EXPECT_NE(
        said.find("\"Error\": The program's folder \"" + DataFolder() + "\" cannot be written."), std::string::npos)
        << said;
    EXPECT_EQ(ReadFile(database), before);
}

} // namespace
