// Where the program keeps the user's data when no TALUVO_HOME names a folder (an installed copy in
// a read-only place, a portable copy beside its database), and that a normal start prints nothing.
#include "tests/app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <sys/stat.h>

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
        std::vector<std::string> environment { "TALUVO_HOME=", "HOME=" + m_home.Path(), "XDG_DATA_HOME=",
            "XDG_RUNTIME_DIR=" + m_runtime.Path(), "QT_QPA_PLATFORM=offscreen", "TALUVO_DEBUG=" };
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
    // The program started in a private mount namespace where the folder is bind-mounted read-only
    // and the single-instance lock has a place of its own (a copy run by anyone else on this
    // machine cannot hold it).
    std::unique_ptr<CProgram> StartWithReadOnly(const std::string& program, const std::string& folder,
        const std::string& output) const
    {
        const std::string script = "mount -t tmpfs -o mode=755 tmpfs /run/user && mkdir -m 700 /run/user/0 && "
                                   "mount --bind \"$RO\" \"$RO\" && mount -o remount,bind,ro \"$RO\" && exec \"$0\"";
        return std::make_unique<CProgram>(std::vector<std::string> { "/usr/bin/unshare", "-rm", "/bin/sh", "-c", script, program },
            UserEnvironment({ "RO=" + folder }), output);
    }
    static bool PrivateMountsAllowed() { return std::system("unshare -rm true 2>/dev/null") == 0; }

    TempDir m_bin;
    TempDir m_home;
    TempDir m_runtime;
    TempDir m_output;
};

int ModeOf(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST_F(ProgramFiles, AProgramInAReadOnlyFolderKeepsItsDataInTheUsersDataFolder)
{
    // The executable's folder is made read-only for the program alone: a bind mount of its own in
    // a private mount namespace.
    auto program = StartWithReadOnly(m_bin.File("taluvo"), m_bin.Path(), m_output.File("run.txt"));
    EXPECT_EQ(RunOnce(*program), 1) << ReadFile(m_output.File("run.txt"));
    EXPECT_EQ(Sqlite(DataFolder() + "/database.db", "SELECT COUNT(*) FROM PREFS;"), "1");
    EXPECT_EQ(ModeOf(DataFolder()), 0700);
    EXPECT_FALSE(std::filesystem::exists(m_bin.File("database.db")));
}

TEST_F(ProgramFiles, APortableCopyKeepsUsingTheDatabaseBesideIt)
{
    Sqlite(m_bin.File("database.db"), "CREATE TABLE MINE(x);\n");
    CProgram program({ m_bin.File("taluvo") }, UserEnvironment(), m_output.File("run.txt"));
    EXPECT_EQ(RunOnce(program), 1) << ReadFile(m_output.File("run.txt"));
    EXPECT_EQ(Sqlite(m_bin.File("database.db"), ".tables"), "GROUPS  MINE    PAGES   PREFS ");
    EXPECT_FALSE(std::filesystem::exists(DataFolder()));
}

TEST_F(ProgramFiles, ANormalStartPrintsNothingAndTalovoDebugShowsTheTrace)
{
    CProgram quiet({ m_bin.File("taluvo") }, UserEnvironment(), m_output.File("quiet.txt"));
    EXPECT_EQ(RunOnce(quiet), 1);
    EXPECT_EQ(ReadFile(m_output.File("quiet.txt")), "");

    CProgram debug({ m_bin.File("taluvo") }, UserEnvironment({ "TALUVO_DEBUG=1" }), m_output.File("debug.txt"));
    EXPECT_EQ(RunOnce(debug), 1);
    const std::string said = ReadFile(m_output.File("debug.txt"));
    EXPECT_NE(said.find("CDebugTracer::GetModuleTraceLevel. Module \"CMainFrame\", Level: 0\n"), std::string::npos)
        << said;
}

// A data folder the system keeps read-only: the start says so and ends, the database untouched.
TEST_F(ProgramFiles, AReadOnlyDataFolderIsSaidAtStartAndLeftAlone)
{
    if (!PrivateMountsAllowed())
        GTEST_SKIP() << "no private mount namespace here";
    auto first = StartWithReadOnly(m_bin.File("taluvo"), m_bin.Path(), m_output.File("first.txt"));
    ASSERT_EQ(RunOnce(*first), 1) << ReadFile(m_output.File("first.txt"));
    const std::string database = DataFolder() + "/database.db";
    const std::string before = ReadFile(database);
    ASSERT_FALSE(before.empty());

    auto program = StartWithReadOnly(m_bin.File("taluvo"), DataFolder(), m_output.File("run.txt"));
    EXPECT_EQ(program->Wait(), 1);
    const std::string said = ReadFile(m_output.File("run.txt"));
    EXPECT_NE(said.find("\"Error\": The program's folder \"" + DataFolder() + "\" cannot be written."), std::string::npos)
        << said;
    EXPECT_EQ(ReadFile(database), before);
}

} // namespace
