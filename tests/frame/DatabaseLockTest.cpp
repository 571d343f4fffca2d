// Another program holds database.db locked (a real SQLite connection of its own, in a process of
// its own): the window keeps answering, keeps the results it cannot store in their order, raises
// their alerts only once they are stored, and its exit waits for the lock a bounded time.
#include "tests/frame/CheckTestSupport.h"
#include "tests/frame/ForeignLock.h"

#include "core/prefs/Preferences.h"

#include <QDateTime>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace taluvo::test;
using taluvo::shell::RequestKind;

namespace {

class DatabaseLock : public MainFrameTest {
protected:
    void SetUp() override
    {
        MainFrameTest::SetUp();
        m_server = std::make_unique<PageServer>(m_dir, "pages");
        m_server->SetRoutes({ { QStringLiteral("/a"), Page(QStringLiteral("page a")) },
            { QStringLiteral("/b"), Page(QStringLiteral("page b")) },
            { QStringLiteral("/c"), Page(QStringLiteral("page c")) } });
        m_now = QDateTime::currentSecsSinceEpoch();
    }
    void TearDown() override
    {
        MainFrameTest::TearDown();
        m_server.reset();
    }
    std::string Url(const char* path) const { return m_server->Url(QString::fromLatin1(path)).toStdString(); }
    // Three pages due whose stored checksums their checks will not find (each becomes New), and
    // a disabled one the user can switch on.
    bool Start()
    {
        const std::string rows = Group(1, "G", 1, sortAlphabeticalAsc)
            + Insert({ 1, 1, Url("/a"), "", "a", m_now - 600 }) + Insert({ 2, 1, Url("/b"), "", "b", m_now - 600 })
            + Insert({ 3, 1, Url("/c"), "", "c", m_now - 600 }) + Insert({ 4, 1, Url("/a"), "", "off", m_now - 600, 0 })
            + "UPDATE PAGES SET checkSum = 1;\n";
        if (Sqlite(DatabasePath(), SchemaSql() + rows) != "" || !Create() || !m_messages.empty())
            return false;
        g_prefs.GetParam(kWorkOffline)->SetBool(false);
        g_prefs.GetParam(kPopupAlertEnable)->SetBool(false);
        g_prefs.GetParam(kAlertSoundEnable)->SetBool(true);
        g_prefs.GetParam(kAlertSoundDefault)->SetBool(true);
        return true;
    }
    // Serves the window until the three checks have ended and their results wait to be stored.
    bool WaitForKeptResults()
    {
        return WaitUntil(
            [&] {
                QCoreApplication::processEvents();
                return m_server->Requests().size() >= 3 && m_frame.m_resultsToStore.size() == 3;
            },
            std::chrono::seconds(40));
    }
    std::string Stored() { return Sqlite(DatabasePath(), "SELECT id, status, httpStatusCode FROM PAGES ORDER BY id;"); }

    TempDir m_dir;
    std::unique_ptr<PageServer> m_server;
    long long m_now = 0;
};

TEST_F(DatabaseLock, TheWindowAnswersDuringTheLockAndStoresEveryResultAfterIt)
{
    ASSERT_TRUE(Start());
    DesktopRequests desktop;
    ForeignLock lock(m_dir, DatabasePath(), std::chrono::seconds(40));
    ASSERT_TRUE(lock.WaitHeld());

    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForKeptResults()) << Stored();
    // Not stored, so no alert yet; and what waits holds the outcome, not the page's text.
    EXPECT_TRUE(desktop.Of(RequestKind::PlaySound).empty());
    for (const CMainFrame::SKeptResult& kept : m_frame.m_resultsToStore)
        EXPECT_TRUE(kept.ctx->m_strHtml.isNull()) << kept.ctx->m_strHtml.size();

    // A message from another thread is answered while the lock is still held. It is the check
    // timer's: the pages whose results wait are not fetched again.
    std::atomic<bool> answered { false };
    std::atomic<long long> tookMs { 0 };
    std::thread sender([&] {
        const auto sent = std::chrono::steady_clock::now();
        m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
        tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count();
        answered = true;
    });
    const bool answeredInTime = WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return answered.load();
        },
        std::chrono::seconds(40));
    const bool stillLocked = lock.Held();
    sender.join();
    EXPECT_TRUE(answeredInTime);
    EXPECT_TRUE(stillLocked) << "the window answered only once the lock had gone";
    // For the record, not asserted: how long the answer took while the lock was held.
    std::printf("The window answered a message sent during the lock after %lld ms.\n", tookMs.load());

    // The user's edit meets the lock: a short wait, then the SQL error box; nothing is written.
    m_frame.m_mainTree.SelectItem(m_frame.FindPage(1, 4));
    m_frame.SendMessage(WM_COMMAND, ID_PAGE_TOGGLE);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].indexOf(QStringLiteral("SQL Error. SQLITE_BUSY")), -1) << m_messages[0].toStdString();
    EXPECT_TRUE(lock.Held());

    ASSERT_TRUE(lock.Release());
    ASSERT_TRUE(WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return m_frame.m_resultsToStore.empty() && m_frame.m_checks.m_ctxsRun.empty();
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(Stored(), "1|1|200\n2|1|200\n3|1|200\n4|3|0");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM PAGES WHERE id = 4;"), "0");
    EXPECT_EQ(RequestedPaths(*m_server), (std::vector<std::string> { "/a", "/b", "/c" }));
    // Each stored result raised its alert, after it was stored.
    EXPECT_EQ(desktop.Of(RequestKind::PlaySound).size(), 3u);
}

TEST_F(DatabaseLock, TheExitWaitsABoundedTimeAndSaysWhatCouldNotBeStored)
{
    CTraceCapture trace(m_dir, "CMainFrame");
    ASSERT_TRUE(Start());
    ForeignLock lock(m_dir, DatabasePath(), std::chrono::seconds(120));
    ASSERT_TRUE(lock.WaitHeld());
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForKeptResults()) << Stored();

    // The lock outlives the exit's wait: the window goes, the results stay unstored (their pages
    // are due again at the next start), and the trace names them and says the settings were not
    // saved. No box: nobody may be there to click it, and the exit would wait for the click.
    m_frame.DestroyWindow();
    EXPECT_TRUE(lock.Held());
    trace.Expect("could not be stored");
    EXPECT_EQ(trace.Count("could not be stored"), trace.Enabled() ? 3u : 0u);
    trace.Expect("3 check results were not stored");
    trace.Expect("The settings could not be saved");
    EXPECT_TRUE(m_messages.empty()) << m_messages[0].toStdString();
    ASSERT_TRUE(lock.Release());
    EXPECT_EQ(Stored(), "1|3|0\n2|3|0\n3|3|0\n4|3|0");
}

} // namespace
