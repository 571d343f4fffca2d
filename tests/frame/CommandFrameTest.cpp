// The frame command handlers share: a failure is traced and shown once in a box "Error" with its
// short text, an SQL error as "SQL Error. " and its message, and the program goes on.
#include "tests/frame/FrameTestSupport.h"

#include "core/Exceptions.h"

TRACE_MODULE("FrameTest");

using namespace taluvo::test;

namespace {

TEST_F(MainFrameTest, CommandFailuresAreShownOnceWithTheirShortText)
{
    ASSERT_TRUE(Create());
    bool after = false;
    m_frame.CommandFrame(u"CMainFrame::OnTest", [&] {
        FAIL_CHECK(false, QStringLiteral("Please select page."));
        after = true;
    });
    EXPECT_FALSE(after);
    m_frame.CommandFrame(
        u"CMainFrame::OnTest", [&] { CMainFrame::SqlGuard([&] { m_db.execDML("UPDATE NO_SUCH_TABLE SET x = 1;"); }); });
    bool ran = false;
    m_frame.CommandFrame(u"CMainFrame::OnTest", [&] { ran = true; });
    EXPECT_TRUE(ran);

    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0].toStdString(), "Error: Please select page.");
    EXPECT_TRUE(m_messages[1].startsWith(QStringLiteral("Error: SQL Error. "))) << m_messages[1].toStdString();
    EXPECT_TRUE(m_messages[1].contains(QStringLiteral("no such table: NO_SUCH_TABLE")));
    EXPECT_TRUE(m_frame.IsWindow());
}

TEST_F(MainFrameTest, LockedDatabaseInACommandIsAnSqlErrorBox)
{
    ASSERT_TRUE(Create());
    // Another connection holds the write lock; the program's waits are cut short for the test.
    CSqlDatabase other;
    other.open(DatabasePath().c_str());
    other.execDML("BEGIN EXCLUSIVE;");
    m_db.setBusyWait(50);
    m_frame.CommandFrame(u"CMainFrame::OnTest", [&] {
        AUTO_DB_LOCKER();
        CMainFrame::SqlGuard([&] { m_db.execDML("UPDATE PREFS SET blobPrefs = blobPrefs;"); });
    });
    other.execDML("ROLLBACK;");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Error: SQL Error. "))) << m_messages[0].toStdString();
}

} // namespace
