// Another program's lock on database.db holds nothing of the program's up: on the rollback journal
// a toolbar whose greeting waits for the lock leaves the window's short wait and the exit's bound
// as they are, and a long queue of results kept during a lock is stored while the window goes on
// answering.
#include "tests/frame/ForeignLock.h"
#include "tests/Network/NetworkTestSupport.h"
#include "tests/frame/CheckTestSupport.h"

#include "core/prefs/Preferences.h"

#include <QDateTime>

#include <atomic>
#include <thread>

using namespace taluvo::test;

namespace {

// Tables, the index and an empty PREFS as the program makes them, so that its start writes
// nothing: a reader at start then only keeps the file on its rollback journal.
std::string FullSchemaSql()
{
    return SchemaSql() + kCreatePrefsTable + "\nCREATE INDEX PAGES_groupId ON PAGES(groupId);\n";
}

std::string JournalMode()
{
    return Sqlite(DatabasePath(), "PRAGMA journal_mode;");
}

TEST_F(MainFrameTest, OnTheRollbackJournalAToolbarWaitingForALockHoldsUpNeitherTheWindowNorTheExit)
{
    TempDir dir;
    CTraceCapture trace(dir, "CMainFrame");
    const long long now = QDateTime::currentSecsSinceEpoch();
    ASSERT_EQ(Sqlite(DatabasePath(),
                  FullSchemaSql() + Group(1, "NEWS", 1, sortAlphabeticalAsc)
                      + Insert({ 1, 1, "http://127.0.0.1:9/a", "", "a", now, 0 })),
        "");

    // Another program reads the file while the program starts: the switch to the write-ahead
    // log cannot be made, and the program goes on with the rollback journal.
    {
        ForeignLock reader(dir, DatabasePath(), std::chrono::seconds(60), ForeignLock::Kind::Read, "reader");
        ASSERT_TRUE(reader.WaitHeld());
        ASSERT_TRUE(Create());
        EXPECT_TRUE(reader.Held());
        EXPECT_EQ(JournalMode(), "delete");
    }
    ASSERT_TRUE(m_messages.empty()) << m_messages[0].toStdString();
    ASSERT_TRUE(g_pListener);

    nettest::ToolbarPeer toolbars;
    {
        // A toolbar comes while another program holds the file: its groups list waits for the
        // lock. The window's edit meanwhile meets the lock itself, after its own short wait.
        ForeignLock lock(dir, DatabasePath(), std::chrono::seconds(30));
        ASSERT_TRUE(lock.WaitHeld());
        const std::vector<int> first = toolbars.Connect(1, kToolbarPort);
        ASSERT_EQ(first.size(), 1u);
        m_frame.m_mainTree.SelectItem(m_frame.FindPage(1, 1));
        m_frame.SendMessage(WM_COMMAND, ID_PAGE_TOGGLE);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_NE(m_messages[0].indexOf(QStringLiteral("SQL Error. SQLITE_BUSY")), -1) << m_messages[0].toStdString();
        EXPECT_TRUE(lock.Held()) << "the window's edit waited for the toolbar's wait";

        // Once the lock goes, the toolbar is greeted with the list as it is.
        ASSERT_TRUE(lock.Release());
        const std::vector<nettest::Frame> got = toolbars.Read(first[0], 1, 30);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].type, MSG_GROUPS_DATA);
        EXPECT_EQ(got[0].payload, toolbars.OracleGroupsPayload(DatabasePath()));
    }
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM PAGES WHERE id = 1;"), "0");

    // The exit under a lock that outlives it, with one toolbar greeted and one waiting for its
    // list: the exit keeps its bound, shows no box (nobody may be there to click it) and says in
    // the trace what it could not save; the waiting toolbar is let go without a list.
    ForeignLock lock(dir, DatabasePath(), std::chrono::seconds(45), ForeignLock::Kind::Exclusive, "exit-lock");
    ASSERT_TRUE(lock.WaitHeld());
    const std::vector<int> second = toolbars.Connect(1, kToolbarPort);
    ASSERT_EQ(second.size(), 1u);
    m_frame.DestroyWindow();
    EXPECT_TRUE(lock.Held()) << "the exit waited for the lock to go";
    EXPECT_EQ(m_messages.size(), 1u) << m_messages.back().toStdString();
    trace.Expect("The settings could not be saved");
    std::vector<nettest::Frame> unsent;
    EXPECT_TRUE(toolbars.WaitClosed(second[0], 20, &unsent));
    EXPECT_TRUE(unsent.empty()) << nettest::Describe(unsent);
    ASSERT_TRUE(lock.Release());
    EXPECT_EQ(Sqlite(DatabasePath(), "PRAGMA integrity_check;"), "ok");
}

// Answers a message sent from another thread with what the callback gives, on the window's thread.
class CAnswerWindow : public CWindowImpl<CAnswerWindow> {
public:
    static constexpr UINT WM_PROBE = WM_APP + 0x300;
    std::function<void()> onProbe;

    BEGIN_MSG_MAP(CAnswerWindow)
    MESSAGE_HANDLER(WM_PROBE, OnProbe)
    END_MSG_MAP()

    LRESULT OnProbe(UINT, WPARAM, LPARAM, BOOL&)
    {
        onProbe();
        return 1;
    }
};

TEST_F(MainFrameTest, ALongQueueOfKeptResultsIsStoredWhileTheWindowAnswersAndTheExitKeepsItsBound)
{
    TempDir dir;
    CTraceCapture trace(dir, "CMainFrame");
    // A group sorted by status, where each stored result moves its page among two thousand.
    constexpr int kPages = 2000;
    const long long now = QDateTime::currentSecsSinceEpoch();
    std::string rows = SchemaSql() + Group(1, "BY STATUS", 1, sortStatus) + "BEGIN;\n";
    for (int id = 1; id <= kPages; ++id)
        rows += Insert({ id, 1, "http://127.0.0.1:9/" + std::to_string(id), "", "p" + std::to_string(id), now, 1, 86400,
            id % 2 ? statusOrdinary : statusUnknown });
    ASSERT_EQ(Sqlite(DatabasePath(), rows + "COMMIT;\n"), "");
    ASSERT_TRUE(Create());
    ASSERT_TRUE(m_messages.empty()) << m_messages[0].toStdString();
    g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);

    // Checks that ended while another program held the file: each result is kept, in order.
    {
        ForeignLock lock(dir, DatabasePath(), std::chrono::seconds(60));
        ASSERT_TRUE(lock.WaitHeld());
        for (int id = 1; id <= kPages; ++id) {
            auto ctx = std::make_unique<SPageCtx>();
            ctx->Reset();
            ctx->m_nGroupId = 1;
            ctx->m_nPageId = static_cast<WORD>(id);
            ctx->m_tLastChecked = static_cast<DWORD>(now);
            ctx->m_dwHttpStatusCode = 200;
            ctx->m_dwCheckSum = static_cast<DWORD>(id);
            ctx->m_iStatus = id % 3 ? statusOrdinary : statusError;
            SPageCtx* kept = ctx.get();
            m_frame.m_checks.m_ctxsRun.push_back(std::make_unique<CPageCheck>(std::move(ctx)));
            m_frame.KeepResult(kept, QString());
        }
        ASSERT_EQ(m_frame.m_resultsToStore.size(), static_cast<size_t>(kPages));
    }

    // The lock has gone and the results are being stored: a message sent to the window's thread
    // now is answered before the last of them is stored.
    ASSERT_TRUE(WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return m_frame.m_resultsToStore.size() < static_cast<size_t>(kPages);
        },
        std::chrono::seconds(50)));
    CAnswerWindow answer;
    ASSERT_TRUE(answer.Create(nullptr));
    size_t waitingWhenAnswered = 0;
    answer.onProbe = [&] { waitingWhenAnswered = m_frame.m_resultsToStore.size(); };
    std::atomic<bool> answered { false };
    std::thread sender([&] { answered = SendMessage(answer.m_hWnd, CAnswerWindow::WM_PROBE, 0, 0) == 1; });
    const bool answeredInTime = WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return answered.load();
        },
        std::chrono::seconds(50));
    sender.join();
    answer.DestroyWindow();
    ASSERT_TRUE(answeredInTime);
    EXPECT_GT(waitingWhenAnswered, 0u) << "the message was answered only once every result was stored";

    // The results are stored in the order their checks ended: the stored rows are the first ones.
    const auto storedRows = [] {
        return Sqlite(
            DatabasePath(), "SELECT COUNT(*) || ' ' || IFNULL(MAX(id), 0) FROM PAGES WHERE httpStatusCode = 200;");
    };
    const std::string stored = storedRows();
    const size_t space = stored.find(' ');
    ASSERT_NE(space, std::string::npos) << stored;
    EXPECT_EQ(stored.substr(0, space), stored.substr(space + 1));

    // The exit stores what its bound allows, in order, and traces every result it leaves: each
    // one is stored or named, none is lost without a word.
    m_frame.DestroyWindow();
    const std::string atExit = storedRows();
    const size_t at = atExit.find(' ');
    ASSERT_NE(at, std::string::npos) << atExit;
    EXPECT_EQ(atExit.substr(0, at), atExit.substr(at + 1));
    if (trace.Enabled()) {
        EXPECT_EQ(std::stoul(atExit.substr(0, at)) + trace.Count("could not be stored"), static_cast<size_t>(kPages));
    }
    EXPECT_EQ(Sqlite(DatabasePath(), "PRAGMA integrity_check;"), "ok");
}

} // namespace
