// The program as a user starts it: one instance, the first start's database, and the normal
// shutdown by Exit or by a signal (settings stored, database compacted, status 1).
#include "tests/app/AppTestSupport.h"

#include <gtest/gtest.h>

using namespace taluvo::test;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    std::vector<std::string> Environment() const
    {
        return { "TALUVO_HOME=" + m_home.Path(), "XDG_RUNTIME_DIR=" + m_runtime.Path(), "QT_QPA_PLATFORM=offscreen" };
    }
    std::unique_ptr<CProgram> Start(const std::string& output)
    {
        return std::make_unique<CProgram>(std::vector<std::string> { TALUVO_PROGRAM }, Environment(),
            m_home.File(output));
    }
    std::string Database() const { return m_home.File("database.db"); }
    // The toolbar server is the last thing the window starts: once it answers, the program runs.
    static bool WaitUntilRunning() { return WaitUntil(ToolbarPortAnswers, std::chrono::seconds(20)); }

    TempDir m_home;
    TempDir m_runtime;
};

TEST_F(ProgramTest, SecondInstanceWarnsAndEndsWithMinusOne)
{
    auto first = Start("first.txt");
    ASSERT_TRUE(first->Started());
    ASSERT_TRUE(WaitUntilRunning());
    auto second = Start("second.txt");
    EXPECT_EQ(second->Wait(), 255);
    const std::string said = ReadFile(m_home.File("second.txt"));
    EXPECT_NE(said.find("Warning"), std::string::npos) << said;
    EXPECT_NE(said.find("Other instance of application already running."), std::string::npos) << said;

    first->Signal(SIGTERM);
    EXPECT_EQ(first->Wait(), 1);
    // Once the first is gone, a new start is the only instance.
    auto third = Start("third.txt");
    ASSERT_TRUE(WaitUntilRunning());
    third->Signal(SIGTERM);
    EXPECT_EQ(third->Wait(), 1);
}

TEST_F(ProgramTest, SignalsShutDownAsExitDoes)
{
    for (int signal : { SIGTERM, SIGINT, SIGHUP }) {
        // Free pages in the file show whether the shutdown compacted it.
        Sqlite(Database(),
            "CREATE TABLE JUNK(x TEXT);\n"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)\n"
            "INSERT INTO JUNK SELECT printf('%0500d', i) FROM n;\n"
            "DROP TABLE JUNK;\n");
        ASSERT_NE(Sqlite(Database(), "PRAGMA freelist_count;"), "0");
        auto program = Start("run.txt");
        ASSERT_TRUE(WaitUntilRunning()) << signal;
        program->Signal(signal);
        EXPECT_EQ(program->Wait(), 1) << signal;
        EXPECT_EQ(Sqlite(Database(), "PRAGMA freelist_count;"), "0") << signal;
        EXPECT_EQ(Sqlite(Database(), "SELECT COUNT(*) FROM PREFS;"), "1") << signal;
        EXPECT_EQ(Sqlite(Database(), ".tables"), "GROUPS  PAGES   PREFS ") << signal;
    }
}

} // namespace
