// The program as a user starts it: one instance, the first start's database, and the normal
// shutdown by Exit or by a signal (settings stored, database compacted, status 1).
#include "tests/app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

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
        return std::make_unique<CProgram>(
            std::vector<std::string> { TALUVO_PROGRAM }, Environment(), m_home.File(output));
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

// A start from cron or ssh has no runtime folder, or another one: it still meets the running copy.
TEST_F(ProgramTest, SecondStartWithAnotherRuntimeFolderStillMeetsTheFirst)
{
    auto first = Start("first.txt");
    ASSERT_TRUE(first->Started());
    ASSERT_TRUE(WaitUntilRunning());
    TempDir otherRuntime;
    for (const std::string& runtime : { "XDG_RUNTIME_DIR=" + otherRuntime.Path(), std::string("XDG_RUNTIME_DIR=") }) {
        SCOPED_TRACE(runtime);
        std::vector<std::string> environment = Environment();
        environment[1] = runtime;
        CProgram second({ TALUVO_PROGRAM }, environment, m_home.File("second.txt"));
        EXPECT_EQ(second.Wait(), 255);
        const std::string said = ReadFile(m_home.File("second.txt"));
        EXPECT_NE(said.find("Other instance of application already running."), std::string::npos) << said;
    }
    first->Signal(SIGTERM);
    EXPECT_EQ(first->Wait(), 1);
}

// A lock that cannot be opened ends the start with a message that names it, before any window.
TEST_F(ProgramTest, LockThatCannotBeOpenedEndsTheStart)
{
    const std::string lock = m_home.File("TALUVO_MUTEX.lock");
    ASSERT_EQ(::mkdir(lock.c_str(), 0700), 0); // a folder where the lock file belongs
    auto program = Start("run.txt");
    EXPECT_EQ(program->Wait(), 255);
    const std::string said = ReadFile(m_home.File("run.txt"));
    EXPECT_NE(said.find("Unable to take the single-instance lock \"" + lock + "\"."), std::string::npos) << said;
    EXPECT_EQ(said.find("Other instance"), std::string::npos) << said;
    EXPECT_EQ(FileMode(Database()), -1);
}

// The settings row rewritten by another tool as UTF-8 text: the start keeps the original row in a
// file beside the database and says so once; the exit then stores good settings, so the next start
// is quiet.
TEST_F(ProgramTest, SettingsRowWrittenAsUtf8TextIsKeptAsideAndSaidOnce)
{
    auto first = Start("first.txt");
    ASSERT_TRUE(WaitUntilRunning());
    first->Signal(SIGTERM);
    ASSERT_EQ(first->Wait(), 1);
    const QByteArray row
        = QByteArray::fromHex(QByteArray::fromStdString(Sqlite(Database(), "SELECT hex(blobPrefs) FROM PREFS;")));
    const QByteArray utf8 = QString::fromLatin1(row).toUtf8();
    ASSERT_GT(utf8.size(), row.size());
    ASSERT_EQ(
        Sqlite(Database(), "UPDATE PREFS SET blobPrefs = CAST(x'" + utf8.toHex().toStdString() + "' AS TEXT);"), "");

    auto second = Start("second.txt");
    ASSERT_TRUE(WaitUntilRunning());
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(m_home.File("second.txt")).find("The stored settings") != std::string::npos; }));
    second->Signal(SIGTERM);
    EXPECT_EQ(second->Wait(), 1);
    const std::string said = ReadFile(m_home.File("second.txt"));
    const size_t told = said.find("The stored settings decode to ");
    ASSERT_NE(told, std::string::npos) << said;
    EXPECT_EQ(said.find("The stored settings", told + 1), std::string::npos) << "told once: " << said;
    const size_t quote = said.find("copied to \"", told);
    ASSERT_NE(quote, std::string::npos) << said;
    const std::string aside = said.substr(quote + 11, said.find('"', quote + 11) - quote - 11);
    EXPECT_EQ(aside.rfind(Database() + ".settings-", 0), 0u) << aside;
    EXPECT_EQ(QByteArray::fromStdString(ReadFile(aside)), utf8);
    EXPECT_EQ(FileMode(aside), 0600);

    auto third = Start("third.txt");
    ASSERT_TRUE(WaitUntilRunning());
    third->Signal(SIGTERM);
    EXPECT_EQ(third->Wait(), 1);
    EXPECT_EQ(ReadFile(m_home.File("third.txt")).find("The stored settings"), std::string::npos);
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
        // While it runs, the results go through the write-ahead log beside the file.
        EXPECT_EQ(Sqlite(Database(), "PRAGMA journal_mode;"), "wal") << signal;
        program->Signal(signal);
        EXPECT_EQ(program->Wait(), 1) << signal;
        // The stopped program leaves the one file, in the rollback journal, as before the log.
        EXPECT_EQ(FileMode(Database() + "-wal"), -1) << signal;
        EXPECT_EQ(FileMode(Database() + "-shm"), -1) << signal;
        EXPECT_EQ(Sqlite(Database(), "PRAGMA journal_mode;"), "delete") << signal;
        EXPECT_EQ(Sqlite(Database(), "PRAGMA freelist_count;"), "0") << signal;
        EXPECT_EQ(Sqlite(Database(), "SELECT COUNT(*) FROM PREFS;"), "1") << signal;
        EXPECT_EQ(Sqlite(Database(), ".tables"), "GROUPS  PAGES   PREFS ") << signal;
    }
}

} // namespace
