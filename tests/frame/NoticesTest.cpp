// What the main window tells the user when the database or the update log refuse to be written,
// and when they take writes again: at once in the status bar, and once in a box shown after the
// check's notification has returned.
#include "tests/frame/CheckTestSupport.h"

#include "core/prefs/Preferences.h"
#include "engine/Scheduler.h"
#include "tests/support/ReadOnlyMounts.h"

#include <sys/stat.h>

TRACE_MODULE("FrameTest");

using namespace taluvo::test;

namespace {

class Notices : public MainFrameTest {
protected:
    void SetUp() override
    {
        MainFrameTest::SetUp();
        m_server = std::make_unique<PageServer>(m_dir, "pages");
        m_server->SetRoutes({ { QStringLiteral("/a"), Page(QStringLiteral("page a")) },
            { QStringLiteral("/b"), Page(QStringLiteral("page b")) } });
        g_prefs.GetParam(kPopupAlertEnable)->SetBool(false);
        g_prefs.GetParam(kAlertSoundEnable)->SetBool(false);
        g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
        // A box must come after the notification that caused it returned: with one page checked at a
        // time, no check may be running then.
        m_boxes.reset();
        m_boxes = std::make_unique<taluvo::ui::test::ScopedMessageBoxHook>(
            [this](const taluvo::ui::test::MessageBoxRequest& request) {
                m_messages.push_back(request.caption + QStringLiteral(": ") + request.text);
                m_boxInsideACheck = m_boxInsideACheck || !m_frame.m_checks.m_ctxsRun.empty();
                return IDOK;
            });
    }
    void TearDown() override
    {
        MainFrameTest::TearDown();
        m_server.reset();
    }
    // A page whose stored checksum differs from what the server gives: each check makes it New. A
    // second group's page is never checked.
    bool Start() { return WriteRows() && Create() && m_messages.empty(); }
    bool WriteRows()
    {
        const std::string rows = SchemaSql() + Group(1, "G", 1, sortAlphabeticalAsc)
            + Group(2, "H", 1, sortAlphabeticalAsc) + "INSERT INTO PAGES VALUES(1, 1, " + SqlText(Url("/a")) + ", "
            + SqlText(Url("/a")) + ", '', '', 'a', 1000, 4294967295, 1, 1, 600, 3, 0, 0);\n"
            + "INSERT INTO PAGES VALUES(2, 2, " + SqlText(Url("/b")) + ", " + SqlText(Url("/b"))
            + ", '', '', 'b', 1000, 4294967295, 1, 1, 600, 3, 0, 0);\n";
        return Sqlite(DatabasePath(), rows).empty();
    }
    // A check whose result SQLite refuses as read-only: the row stays, the status bar and one box say it.
    void ExpectACheckThatCannotBeStoredSaid()
    {
        const std::string before = Stored();
        ASSERT_TRUE(CheckAll());
        EXPECT_EQ(Stored(), before);
        EXPECT_EQ(StatusText().toStdString(), "Check results cannot be stored: attempt to write a readonly database");
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].toStdString(),
            "Error: Check results cannot be stored in the database.\n" + DatabasePath()
                + ": attempt to write a readonly database\nPages are checked again until their results can be stored.");
    }
    std::string Url(const char* path) const { return m_server->Url(QString::fromLatin1(path)).toStdString(); }
    // Checks the first group's page and serves what the window posted meanwhile.
    bool CheckAll()
    {
        const SCheckSource source { m_db, g_dbMutex, m_frame, g_hInternet.Get(), &g_prefs };
        QueueGroupPages(source, m_frame.m_checks, 1, sortAlphabeticalAsc);
        const bool done = WaitForChecks(m_frame);
        DrainMessages();
        return done;
    }
    QString StatusText() const { return CStatusBarCtrl(m_frame.m_hWndStatusBar).GetText(0); }
    std::string Stored() { return Sqlite(DatabasePath(), "SELECT id, lastChecked, checkSum, status FROM PAGES;"); }

    TempDir m_dir;
    std::unique_ptr<PageServer> m_server;
    bool m_boxInsideACheck = false;
};

TEST_F(Notices, ResultsThatCannotBeStoredAreSaidOnceAndAgainWhenStoringWorks)
{
    ASSERT_TRUE(Start());
    const std::string before = Stored();
    // Writes are refused as on a read-only file: SQLite's own refusal, from the window's connection.
    m_db.execDML("PRAGMA query_only = 1;");

    ExpectACheckThatCannotBeStoredSaid();

    // Still failing: nothing more is said.
    m_frame.SetStatusText(QStringLiteral("something else"));
    ASSERT_TRUE(CheckAll());
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(StatusText(), QStringLiteral("something else"));

    m_db.execDML("PRAGMA query_only = 0;");
    ASSERT_TRUE(CheckAll());
    EXPECT_NE(Stored(), before);
    EXPECT_EQ(StatusText(), QStringLiteral("Check results are stored again."));
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], QStringLiteral("Information: Check results are stored in the database again."));
    EXPECT_FALSE(m_boxInsideACheck);
}

TEST_F(Notices, UpdateLogGoesToTheProgramFolderAndAFailingOneIsSaidOnce)
{
    g_prefs.GetParam(kLogEnable)->SetBool(true);
    g_prefs.GetParam(kLogFilePath)->SetString(QString());
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_frame.m_logFile.GetFileName().toStdString(), HomeDir() + "/Taluvo.log");
    ASSERT_TRUE(CheckAll());
    EXPECT_NE(ReadFile(HomeDir() + "/Taluvo.log").find("Description : a\r\n"), std::string::npos);

    // A folder that cannot be: the entries cannot be written.
    WriteFile(m_dir.File("plain"), "x");
    const QString unwritable = QString::fromStdString(m_dir.File("plain") + "/Taluvo.log");
    m_frame.m_logFile.SetFileName(unwritable);
    Sqlite(DatabasePath(), "UPDATE PAGES SET checkSum = 1;");
    ASSERT_TRUE(CheckAll());
    EXPECT_EQ(StatusText(), QStringLiteral("The update log \"%1\" cannot be written.").arg(unwritable));
    m_frame.SetStatusText(QStringLiteral("something else"));
    Sqlite(DatabasePath(), "UPDATE PAGES SET checkSum = 1;");
    ASSERT_TRUE(CheckAll());
    EXPECT_EQ(StatusText(), QStringLiteral("something else"));

    m_frame.m_logFile.SetFileName(QString::fromStdString(HomeDir() + "/Taluvo.log"));
    Sqlite(DatabasePath(), "UPDATE PAGES SET checkSum = 1;");
    ASSERT_TRUE(CheckAll());
    EXPECT_EQ(StatusText(), QStringLiteral("The update log is written again."));
    EXPECT_TRUE(m_messages.empty());
    g_prefs.GetParam(kLogEnable)->SetBool(false);
}

// A database file the system keeps read-only (a read-only mount) is told as the stand-in above.
TEST_F(Notices, ResultsThatCannotBeStoredInAReadOnlyMountedDatabaseAreSaid)
{
    if (!IsReadOnlyChild()) {
        // Everything a start would add is there already, so only the results need writing.
        ASSERT_TRUE(WriteRows());
        ASSERT_EQ(Sqlite(DatabasePath(),
                      "CREATE TABLE PREFS (blobPrefs BLOB);\nCREATE INDEX PAGES_groupId ON PAGES(groupId);\n"),
            "");
        const std::string before = Stored();
        std::string output;
        const ReadOnlyRun run = RunAgainWithReadOnly({ DatabasePath() }, output);
        if (run == ReadOnlyRun::NotPermitted)
            GTEST_SKIP() << "no private mount namespace here: " << output;
        EXPECT_EQ(run, ReadOnlyRun::Passed) << output;
        EXPECT_EQ(Stored(), before);
        return;
    }
    ASSERT_TRUE(Create());
    ExpectACheckThatCannotBeStoredSaid();
    EXPECT_FALSE(m_boxInsideACheck);
}

TEST_F(Notices, AnUpdateLogInAReadOnlyMountedFolderIsSaid)
{
    const std::string folder = HomeDir() + "/logs";
    const std::string log = folder + "/Taluvo.log";
    if (!IsReadOnlyChild()) {
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        WriteFile(log, "earlier entries\r\n");
        std::string output;
        const ReadOnlyRun run = RunAgainWithReadOnly({ folder }, output);
        if (run == ReadOnlyRun::NotPermitted)
            GTEST_SKIP() << "no private mount namespace here: " << output;
        EXPECT_EQ(run, ReadOnlyRun::Passed) << output;
        EXPECT_EQ(ReadFile(log), "earlier entries\r\n");
        return;
    }
    g_prefs.GetParam(kLogEnable)->SetBool(true);
    g_prefs.GetParam(kLogFilePath)->SetString(QString::fromStdString(folder));
    ASSERT_TRUE(Start());
    m_frame.m_logFile.SetFileName(QString::fromStdString(log));
    ASSERT_TRUE(CheckAll());
    EXPECT_EQ(
        StatusText(), QStringLiteral("The update log \"%1\" cannot be written.").arg(QString::fromStdString(log)));
    EXPECT_TRUE(m_messages.empty());
    g_prefs.GetParam(kLogEnable)->SetBool(false);
}

} // namespace
