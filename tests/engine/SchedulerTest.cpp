// The check lists and the two selections of the scheduler, with real workers against a loopback
// page server and a real database.
#include "engine/Scheduler.h"

#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/UserApi.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace taluvo::test;

namespace {

class SchedulerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureUiApplication();
        s_dir = new TempDir;
        s_server = new PageServer(*s_dir, "sched");
        QJsonObject hang;
        hang[QStringLiteral("hang")] = true;
        s_server->SetRoutes({ { QStringLiteral("/a"), Page(QStringLiteral("page a")) },
            { QStringLiteral("/b"), Page(QStringLiteral("page b")) }, { QStringLiteral("/hang"), hang } });
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }

    void SetUp() override
    {
        m_session = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
        InternetSetStatusCallback(m_session, &CUpdater::WinInetCallback);
        ASSERT_TRUE(m_window.Create(nullptr));
        m_db.open(m_dir.File("database.db").c_str());
        CheckDb(m_db, m_dbMutex, m_prefs);
        m_db.execDML("INSERT INTO GROUPS (id, title, enable, sortType) VALUES (1, 'On', 1, 1);");
        m_db.execDML("INSERT INTO GROUPS (id, title, enable, sortType) VALUES (2, 'Off', 0, 1);");
    }
    void TearDown() override
    {
        m_lists.DropPending();
        m_lists.CancelRunning(5000);
        InternetCloseHandle(m_session);
        taluvo::inet::WaitForRunningRequests(5000);
    }

    void AddPage(int id, int group, const QString& path, uint32_t lastChecked, int interval, int enable = 1)
    {
        CSqlBuffer sql;
        m_db.execDML(
            sql.format("INSERT INTO PAGES (id, groupId, url, urlBrowser, descr, lastChecked, lastModified, "
                       "checkSum, enable, interval, status, errorCode, httpStatusCode) VALUES (%d, %d, %Q, %Q, "
                       "%Q, %u, %u, %u, %d, %d, 4, 0, 0);",
                id, group, s_server->Url(path).toUtf8().constData(), "", ("Page " + std::to_string(id)).c_str(),
                lastChecked, 0xFFFFFFFFu, 0xFFFFFFFFu, enable, interval));
    }

    std::vector<WORD> PendingIds() const
    {
        std::vector<WORD> ids;
        for (const auto& check : m_lists.m_ctxsPending)
            ids.push_back(check->Ctx().m_nPageId);
        return ids;
    }

    SCheckSource Source() { return { m_db, m_dbMutex, m_window.m_hWnd, m_session, &m_prefs }; }

    static inline TempDir* s_dir = nullptr;
    static inline PageServer* s_server = nullptr;
    TempDir m_dir;
    HINTERNET m_session = nullptr;
    CNotifyWindow m_window;
    CSqlDatabase m_db;
    CMutex m_dbMutex;
    CPreferences m_prefs;
    CCheckLists m_lists;
};

TEST_F(SchedulerTest, DuePagesAreQueuedOldestFirstAndTheFirstStarts)
{
    const uint32_t now = 1800000000;
    AddPage(10, 1, QStringLiteral("/a"), now - 100, 60); // due, checked later
    AddPage(11, 1, QStringLiteral("/b"), now - 5000, 3600); // due, checked longest ago
    AddPage(12, 1, QStringLiteral("/a"), now - 10, 60); // not due yet
    AddPage(13, 1, QStringLiteral("/a"), 4294967295u, 60); // never checked: never due
    AddPage(14, 1, QStringLiteral("/a"), now - 5000, 60, 0); // disabled page
    AddPage(20, 2, QStringLiteral("/a"), now - 5000, 60); // in a disabled group
    QueueDuePages(Source(), m_lists, now);
    // Page 11 (oldest check) started at once; page 10 waits.
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 11);
    EXPECT_EQ(PendingIds(), (std::vector<WORD> { 10 }));
    // A second run skips what runs or waits already.
    QueueDuePages(Source(), m_lists, now);
    EXPECT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(PendingIds(), (std::vector<WORD> { 10 }));
    // The finished check is released inside its notice and the next one starts, as the main
    // window does it.
    int started = -1;
    m_window.onFinished = [&](SPageCtx* ctx) {
        m_lists.Release(ctx);
        started = m_lists.CheckPendingList();
    };
    ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 20000), WAIT_OBJECT_0);
    m_window.onFinished = nullptr;
    EXPECT_EQ(started, 1);
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 10);
    EXPECT_TRUE(m_lists.m_ctxsPending.empty());
}

TEST_F(SchedulerTest, DuePagesOfAllGroupsComeGroupByGroupOldestFirst)
{
    const uint32_t now = 1800000000;
    // Groups in their table's order whatever order they were added in; a group of a sort type the
    // tree does not know is left alone, and so is a disabled one.
    m_db.execDML("INSERT INTO GROUPS (id, title, enable, sortType) VALUES (5, 'Status', 1, 3);");
    m_db.execDML("INSERT INTO GROUPS (id, title, enable, sortType) VALUES (3, 'User', 1, 4);");
    m_db.execDML("INSERT INTO GROUPS (id, title, enable, sortType) VALUES (4, 'Odd', 1, 9);");
    AddPage(30, 5, QStringLiteral("/a"), now - 100, 60);
    AddPage(31, 5, QStringLiteral("/a"), now - 500, 60);
    AddPage(21, 3, QStringLiteral("/a"), now - 300, 60);
    AddPage(20, 3, QStringLiteral("/a"), now - 300, 60);
    AddPage(22, 3, QStringLiteral("/a"), now - 10, 60); // not due
    AddPage(19, 3, QStringLiteral("/a"), now - 300, 60); // checked at the same second as 20 and 21
    AddPage(40, 4, QStringLiteral("/a"), now - 900, 60);
    AddPage(25, 2, QStringLiteral("/a"), now - 900, 60);
    AddPage(12, 1, QStringLiteral("/a"), now - 50, 30);
    AddPage(11, 1, QStringLiteral("/hang"), now - 200, 60);
    QueueDuePages(Source(), m_lists, now);
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 11);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nGroupId, 1);
    EXPECT_EQ(PendingIds(), (std::vector<WORD> { 12, 19, 20, 21, 31, 30 }));
    std::vector<WORD> groups;
    for (const auto& check : m_lists.m_ctxsPending)
        groups.push_back(check->Ctx().m_nGroupId);
    EXPECT_EQ(groups, (std::vector<WORD> { 1, 3, 3, 3, 5, 5 }));
}

TEST_F(SchedulerTest, RowsWhoseIdsDoNotFitAreNeverQueuedAndTracedOnce)
{
    // Cut to 16 bits, page 65546 would be checked as page 10 and its result stored in page 10's
    // row; group 65537 would be group 1.
    const uint32_t now = 1800000000;
    m_db.execDML("INSERT INTO GROUPS (id, title, enable, sortType) VALUES (65537, 'High', 1, 1);");
    AddPage(65546, 1, QStringLiteral("/a"), now - 9000, 60);
    AddPage(10, 1, QStringLiteral("/b"), now - 100, 60);
    AddPage(30, 65537, QStringLiteral("/a"), now - 9000, 60);
    CTraceCapture trace(*s_dir, "CMainFrame=");
    QueueDuePages(Source(), m_lists, now);
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 10);
    EXPECT_TRUE(m_lists.m_ctxsPending.empty());
    QueueDuePages(Source(), m_lists, now);
    // The group check queues page 10 alone, and drops it at once since it is running.
    QueueGroupPages(Source(), m_lists, 1, 1);
    EXPECT_TRUE(m_lists.m_ctxsPending.empty());
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 10);
    EXPECT_EQ(trace.Count("has the id \"65546\""), trace.Enabled() ? 1u : 0u);
    EXPECT_EQ(trace.Count("has the id \"65537\""), trace.Enabled() ? 1u : 0u);
}

TEST_F(SchedulerTest, PendingChecksOfRunningPagesAreDropped)
{
    AddPage(30, 1, QStringLiteral("/hang"), 0, 60);
    AddPage(31, 1, QStringLiteral("/a"), 0, 60);
    QueueGroupPages(Source(), m_lists, 1, 1); // by description: "Page 30", "Page 31"
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 30);
    // The group again: page 31 is pending and passed over; page 30 runs and is queued anyway.
    QueueGroupPages(Source(), m_lists, 1, 1);
    EXPECT_EQ(PendingIds(), (std::vector<WORD> { 31, 30 }));
    // Its turn drops the second check of page 30 after starting page 31.
    EXPECT_EQ(m_lists.CheckPendingList(), 1);
    EXPECT_EQ(m_lists.m_ctxsRun.back()->Ctx().m_nPageId, 31);
    EXPECT_EQ(m_lists.CheckPendingList(), 0);
    EXPECT_TRUE(m_lists.m_ctxsPending.empty());
    EXPECT_TRUE(m_lists.IsRunning(1, 0xFFFF));
    EXPECT_FALSE(m_lists.IsRunning(2, 0xFFFF));
}

TEST_F(SchedulerTest, GroupCheckRefusals)
{
    try {
        QueueGroupPages(Source(), m_lists, 1, 1);
        FAIL() << "an empty group must be refused";
    } catch (CCmnException& e) {
        EXPECT_EQ(e.GetShortText(), QStringLiteral("Group is empty."));
    }
    AddPage(40, 1, QStringLiteral("/a"), 0, 60);
    try {
        QueueGroupPages(Source(), m_lists, 1, 7);
        FAIL() << "an unknown sort type must be refused";
    } catch (CCmnException& e) {
        EXPECT_EQ(e.GetShortText(), QStringLiteral("Unknown group sort type."));
    }
    EXPECT_TRUE(m_lists.m_ctxsPending.empty());
}

TEST_F(SchedulerTest, AFailingGroupCheckStillStartsWhatItQueued)
{
    AddPage(50, 1, QStringLiteral("/a"), 0, 60);
    // An address the worker refuses (longer than 2084 characters) ends the command after page 50.
    CSqlBuffer sql;
    m_db.execDML(sql.format("INSERT INTO PAGES (id, groupId, url, descr, lastChecked, enable, interval, status) "
                            "VALUES (51, 1, %Q, 'Page 51', 0, 1, 60, 4);",
        ("http://x/" + std::string(3000, 'y')).c_str()));
    EXPECT_THROW(QueueGroupPages(Source(), m_lists, 1, 1), CFailException);
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_lists.m_ctxsRun[0]->Ctx().m_nPageId, 50);
}

TEST_F(SchedulerTest, CancellingRunningChecksWaitsForTheirWorkers)
{
    AddPage(60, 1, QStringLiteral("/hang"), 0, 60);
    AddPage(61, 1, QStringLiteral("/hang"), 0, 60);
    QueueGroupPages(Source(), m_lists, 1, 1);
    EXPECT_EQ(m_lists.CheckPendingList(), 1); // a second series beside the first
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 2u);
    const auto start = std::chrono::steady_clock::now();
    m_lists.CancelRunning(5000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(m_lists.m_ctxsRun.empty());
    EXPECT_EQ(CWorkerThread::RunningWorkers(), 0);
}

TEST_F(SchedulerTest, ABorrowedContextMarksItsPageBusyAndIsNeverFreedByTheLists)
{
    // The page modify command's context: owned by the command, in the running list while its dialog
    // is open. A shutdown meanwhile must neither free it nor lose the busy mark of its page.
    auto borrowed = std::make_unique<SPageCtx>();
    borrowed->m_nGroupId = 1;
    borrowed->m_nPageId = 70;
    m_lists.AddBorrowed(borrowed.get());
    AddPage(70, 1, QStringLiteral("/a"), 0, 60);
    AddPage(71, 1, QStringLiteral("/hang"), 0, 60);
    QueueGroupPages(Source(), m_lists, 1, 1);
    // Page 70's queued check is dropped on its turn; page 71 runs beside the borrowed context.
    EXPECT_TRUE(m_lists.m_ctxsPending.empty());
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 2u);
    EXPECT_EQ(m_lists.m_ctxsRun[1]->Ctx().m_nPageId, 71);

    m_lists.CancelRunning(5000);
    ASSERT_EQ(m_lists.m_ctxsRun.size(), 1u);
    EXPECT_EQ(&m_lists.m_ctxsRun[0]->Ctx(), borrowed.get());
    EXPECT_TRUE(m_lists.IsRunning(1, 70));
    EXPECT_TRUE(m_lists.RemoveBorrowed(borrowed.get()));
    EXPECT_FALSE(m_lists.RemoveBorrowed(borrowed.get()));
    EXPECT_TRUE(m_lists.m_ctxsRun.empty());
    // The unique_ptr frees it once, here.
}

} // namespace
