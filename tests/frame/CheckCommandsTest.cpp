// The check commands of the main window against a loopback page server: what the timer, check-now,
// the group check, check-all and cancel queue and start, how a finished check moves its item, and
// how pages are opened in the browser.
#include "tests/frame/CheckTestSupport.h"

#include "core/WorkerThread.h"
#include "core/prefs/Preferences.h"
#include "engine/Scheduler.h"
#include "platform/inet/WinInet.h"
#include "platform/shell/OnlineState.h"
#include "platform/ui/UserApi.h"
#include "platform/ui/detail/Core.h"

#include <net/if.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QTreeWidget>

#include <map>

#include <atomic>
#include <thread>

using namespace taluvo::test;
using taluvo::shell::RequestKind;

namespace {

class CheckCommands : public MainFrameTest {
protected:
    void SetUp() override
    {
        MainFrameTest::SetUp();
        m_server = std::make_unique<PageServer>(m_dir, "pages");
        QJsonObject hang;
        hang[QStringLiteral("hang")] = true;
        m_server->SetRoutes({ { QStringLiteral("/a"), Page(QStringLiteral("page a")) },
            { QStringLiteral("/b"), Page(QStringLiteral("page b")) }, { QStringLiteral("/hang"), hang } });
        m_now = QDateTime::currentSecsSinceEpoch();
        g_prefs.GetParam(kWorkOffline)->SetBool(false);
        g_prefs.GetParam(kPopupAlertEnable)->SetBool(false);
        g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
    }
    void TearDown() override
    {
        MainFrameTest::TearDown();
        m_server.reset();
    }
    std::string Url(const char* path) const { return m_server->Url(QString::fromLatin1(path)).toStdString(); }
    bool Start(const std::string& rows)
    {
        if (Sqlite(DatabasePath(), SchemaSql() + rows) != "")
            return false;
        const bool started = Create() != nullptr && m_messages.empty();
        // The toolbar server's thread is a worker too.
        m_baseWorkers = CWorkerThread::RunningWorkers();
        return started;
    }
    void Command(UINT id) { m_frame.SendMessage(WM_COMMAND, id); }
    void Select(WORD group, WORD page)
    {
        m_frame.m_mainTree.SelectItem(page == 0xFFFF ? m_frame.FindGroup(group) : m_frame.FindPage(group, page));
    }
    bool ServerAsked(size_t count)
    {
        return WaitUntil([&] {
            QCoreApplication::processEvents();
            return m_server->Requests().size() >= count;
        });
    }
    std::string Stored() { return Sqlite(DatabasePath(), "SELECT id, status, errorCode FROM PAGES ORDER BY id;"); }
    // The one message that names the addresses no browser was given, as the test's box hook saw it.
    static QString NotOpened(const std::vector<std::string>& addresses)
    {
        QString text
            = QStringLiteral("Error: Only web addresses (http and https) are opened in the browser. Not opened:");
        for (const std::string& address : addresses)
            text += QLatin1Char('\n') + QString::fromStdString(address);
        return text;
    }

    TempDir m_dir;
    std::unique_ptr<PageServer> m_server;
    long long m_now = 0;
    int m_baseWorkers = 0;
};

TEST_F(CheckCommands, TimerSkipsQueuedAndRunningPagesAndChecksNothingOffline)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/hang"), "", "hang", m_now - 600 })
        + Insert({ 2, 1, Url("/a"), "", "a", m_now - 300 })));

    g_prefs.GetParam(kWorkOffline)->SetBool(true);
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    EXPECT_TRUE(m_frame.m_checks.m_ctxsPending.empty());
    EXPECT_TRUE(m_frame.m_checks.m_ctxsRun.empty());

    g_prefs.GetParam(kWorkOffline)->SetBool(false);
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    ASSERT_EQ(m_frame.m_checks.m_ctxsPending.size(), 1u);
    EXPECT_EQ(m_frame.m_checks.m_ctxsRun.front()->Ctx().m_nPageId, 1);
    ASSERT_TRUE(ServerAsked(1));
    // Due again while one runs and the other waits: neither is queued a second time.
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    EXPECT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    EXPECT_EQ(m_frame.m_checks.m_ctxsPending.size(), 1u);
    EXPECT_NE(m_frame.m_iIntervalTimer, 0u);
}

TEST_F(CheckCommands, CancelEmptiesTheQueueAndEndsTheRunningCheckWith1223)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/hang"), "", "1 hang", m_now - 900 })
        + Insert({ 2, 1, Url("/a"), "", "2", m_now - 800 }) + Insert({ 3, 1, Url("/a"), "", "3", m_now - 700 })
        + Insert({ 4, 1, Url("/b"), "", "4", m_now - 600 })));
    // Nothing to cancel: nothing happens.
    Command(ID_TOOLS_CANCEL_CHECKS);

    Select(1, 0xFFFF);
    Command(ID_GROUP_CHECK_ALL);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    ASSERT_EQ(m_frame.m_checks.m_ctxsPending.size(), 3u);
    ASSERT_TRUE(ServerAsked(1));

    Command(ID_TOOLS_CANCEL_CHECKS);
    EXPECT_TRUE(m_frame.m_checks.m_ctxsPending.empty());
    ASSERT_TRUE(WaitForChecks(m_frame));
    EXPECT_EQ(Stored(), "1|2|1223\n2|3|0\n3|3|0\n4|3|0");

    // The lists work on: a check-now after the cancel runs to its end.
    Select(1, 4);
    Command(ID_PAGE_CHECK_UPDATE);
    ASSERT_TRUE(WaitForChecks(m_frame));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT status, httpStatusCode FROM PAGES WHERE id = 4;"), "3|200");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(WaitUntil([this] {
        QCoreApplication::processEvents();
        return CWorkerThread::RunningWorkers() == m_baseWorkers;
    }));
}

// What a running check's item shows: its last state while a step waits (the server never
// answers), and of the notices a read hands over together the last progress.
TEST_F(CheckCommands, ARunningCheckShowsItsLastStateAndItsLastProgress)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/hang"), "", "slow", m_now - 900 })));
    Select(1, 0xFFFF);
    Command(ID_GROUP_CHECK_ALL);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    const HTREEITEM item = m_frame.FindPage(1, 1);
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return m_frame.ItemLabel(item) == QStringLiteral("slow [Connected]");
    }));

    SPageCtx* ctx = &m_frame.m_checks.m_ctxsRun.front()->Ctx();
    std::atomic<bool> sent { false };
    std::thread reader([&] {
        const LPARAM batch[] = { ReadingNotice(1000, 4000), ReadingNotice(2000, 4000), ReadingNotice(3000, 4000) };
        taluvo::ui::SendMessages(m_frame.m_hWnd, WM_UPDATER_NOTIFY, reinterpret_cast<WPARAM>(ctx), batch, 3);
        sent = true;
    });
    EXPECT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return sent.load();
    }));
    reader.join();
    EXPECT_EQ(m_frame.ItemLabel(item), QStringLiteral("slow [Reading data - 75 %]"));

    Command(ID_TOOLS_CANCEL_CHECKS);
    ASSERT_TRUE(WaitForChecks(m_frame));
    EXPECT_EQ(m_frame.ItemLabel(m_frame.FindPage(1, 1)), QStringLiteral("slow"));
}

TEST_F(CheckCommands, CheckNowRefusesWhatItCannotQueueAndWaitsBehindTheQueue)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/hang"), "", "1", 4294967295LL })
        + Insert({ 2, 1, Url("/a"), "", "2", 4294967295LL }) + Insert({ 3, 1, Url("/b"), "", "3", 4294967295LL })));
    Select(1, 0xFFFF);
    Command(ID_PAGE_CHECK_UPDATE);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages.back(), QStringLiteral("Error: Please select page."));

    // Offline does not stop check-now; a never-checked page is checked this way.
    g_prefs.GetParam(kWorkOffline)->SetBool(true);
    Select(1, 1);
    Command(ID_PAGE_CHECK_UPDATE);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    Command(ID_PAGE_CHECK_UPDATE);
    EXPECT_EQ(m_messages.back(), QStringLiteral("Error: This page now in processing. Try this operation later."));

    Select(1, 2);
    Command(ID_PAGE_CHECK_UPDATE);
    // A second series starts beside the running check when the queue was empty.
    EXPECT_EQ(m_frame.m_checks.m_ctxsRun.size(), 2u);
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return m_frame.m_checks.m_ctxsRun.size() == 1u;
    }));
    // The group check queues all three; its start drops the running page 1 and starts page 2.
    Select(1, 0xFFFF);
    Command(ID_GROUP_CHECK_ALL);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 2u);
    ASSERT_EQ(m_frame.m_checks.m_ctxsPending.size(), 1u);
    Select(1, 3);
    Command(ID_PAGE_CHECK_UPDATE);
    EXPECT_EQ(m_messages.back(),
        QStringLiteral("Error: This page already present in queue for checking. Try this operation later."));
    EXPECT_EQ(m_messages.size(), 3u);
    // Page 3 waits behind page 2 and starts when it ends.
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return m_frame.m_checks.m_ctxsPending.empty() && m_frame.m_checks.m_ctxsRun.size() == 1u;
    }));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, httpStatusCode FROM PAGES ORDER BY id;"), "1|0\n2|200\n3|200");
}

TEST_F(CheckCommands, CheckAllQueuesEachEnabledPageOnce)
{
    ASSERT_TRUE(Start(Group(1, "On", 1, sortAlphabeticalAsc) + Group(2, "Off", 0, sortAlphabeticalAsc)
        + Group(3, "Empty", 1, sortAlphabeticalAsc) + Group(4, "Also on", 1, sortStatus)
        + Insert({ 1, 1, Url("/hang"), "", "1", m_now }) + Insert({ 2, 1, Url("/a"), "", "2", m_now })
        + Insert({ 3, 2, Url("/a"), "", "3", m_now }) + Insert({ 4, 4, Url("/b"), "", "4", m_now })
        + Insert({ 5, 4, Url("/b"), "", "5 off", m_now, 0 })));
    Command(ID_TOOLS_CHECK_ALL);
    // The hanging page runs; the other enabled pages of enabled groups wait; the empty group is
    // traced only.
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    std::vector<int> pending;
    for (const auto& check : m_frame.m_checks.m_ctxsPending)
        pending.push_back(check->Ctx().m_nPageId);
    EXPECT_EQ(pending, (std::vector<int> { 2, 4 }));
    Command(ID_TOOLS_CHECK_ALL);
    EXPECT_EQ(m_frame.m_checks.m_ctxsPending.size(), 3u) << "the running page is queued again, the waiting ones not";
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(CheckCommands, FinishedCheckOfAPageGoneFromTheTreeIsFreedAndTheNextStarts)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/a"), "", "1", m_now })
        + Insert({ 2, 1, Url("/b"), "", "2", m_now })));
    Select(1, 0xFFFF);
    Command(ID_GROUP_CHECK_ALL);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    m_frame.m_mainTree.DeleteItem(m_frame.FindPage(1, 1));
    ASSERT_TRUE(WaitForChecks(m_frame));
    // The first page's result had no item to show it: not stored; the second is.
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, httpStatusCode FROM PAGES ORDER BY id;"), "1|0\n2|200");
    EXPECT_TRUE(WaitUntil([this] {
        QCoreApplication::processEvents();
        return CWorkerThread::RunningWorkers() == m_baseWorkers;
    }));
}

TEST_F(CheckCommands, AStatusSortedGroupMovesTheItemWholeWithItsOverlay)
{
    const std::string longName(300, 'x');
    const int dead = DeadPort();
    ASSERT_TRUE(Start(Group(1, "G", 1, sortStatus) + Insert({ 1, 1, Url("/a"), "", "new", m_now, 1, 60, 1 })
        + Insert({ 2, 1, Url("/a"), "", "error", m_now, 1, 60, 2 })
        + Insert({ 3, 1, "http://127.0.0.1:" + std::to_string(dead) + "/", "", longName, m_now, 0, 60, 3 })
        + Insert({ 4, 1, Url("/a"), "", "ordinary", m_now, 1, 60, 3 })));
    Select(1, 3);
    Command(ID_PAGE_CHECK_UPDATE);
    ASSERT_TRUE(WaitForChecks(m_frame));
    EXPECT_EQ(ChildLabels(m_frame, m_frame.FindGroup(1)),
        (std::vector<QString> { QStringLiteral("new"), QStringLiteral("error"), QString::fromStdString(longName),
            QStringLiteral("ordinary") }));
    HTREEITEM moved = m_frame.FindPage(1, 3);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), moved);
    EXPECT_EQ(TREE_GET_STATUS(m_frame.m_mainTree.GetItemData(moved)), statusError);
    EXPECT_EQ(m_frame.m_mainTree.GetItemState(moved, TVIS_OVERLAYMASK), INDEXTOOVERLAYMASK(1));
}

TEST_F(CheckCommands, AStatusSortedGroupKeepsItsOrderAndItsItemsAfterEveryResult)
{
    // Pages 2, 4, 5 and 7 have a stored checksum that their page's text does not give: their first
    // check makes them New; every later check of /a or /b is Ordinary, and the dead port an Error.
    const std::string dead = "http://127.0.0.1:" + std::to_string(DeadPort()) + "/";
    ASSERT_TRUE(Start(Group(1, "G", 1, sortStatus) + Insert({ 1, 1, dead, "", "n1", m_now, 1, 60, 1 })
        + Insert({ 2, 1, Url("/b"), "", "e1", m_now, 1, 60, 2 })
        + Insert({ 3, 1, Url("/a"), "", "o1", m_now, 1, 60, 3 })
        + Insert({ 4, 1, Url("/a"), "", "o2", m_now, 1, 60, 3 })
        + Insert({ 5, 1, Url("/a"), "", "o3", m_now, 1, 60, 3 })
        + Insert({ 6, 1, Url("/b"), "", "u1", m_now, 1, 60, 4 }) + Insert({ 7, 1, Url("/b"), "", "x", m_now, 1, 60, 3 })
        + "UPDATE PAGES SET checkSum = 1 WHERE id IN (2, 4, 5, 7);\n"));
    const HTREEITEM group = m_frame.FindGroup(1);
    std::map<QString, HTREEITEM> items;
    for (HTREEITEM item = m_frame.m_mainTree.GetChildItem(group); item;
         item = m_frame.m_mainTree.GetNextSiblingItem(item))
        items[m_frame.ItemLabel(item)] = item;
    ASSERT_EQ(items.size(), 7u);
    const QTreeWidgetItem* rows
        = static_cast<QTreeWidget*>(taluvo::ui::detail::WidgetOf(m_frame.m_mainTree))->topLevelItem(0);

    // Each page goes after the last page of its new status as the statuses stood before its
    // result, or after the last of the statuses before that; New goes first when there is none.
    const struct {
        WORD page;
        std::vector<const char*> order;
    } steps[] = {
        { 0, { "n1", "e1", "o1", "o2", "o3", "x", "u1" } }, // as loaded
        { 4, { "n1", "o2", "e1", "o1", "o3", "x", "u1" } }, // New: up, after the last New
        { 3, { "n1", "o2", "e1", "o3", "x", "o1", "u1" } }, // Ordinary: down, after the last Ordinary
        { 3, { "n1", "o2", "e1", "o3", "x", "o1", "u1" } }, // the last Ordinary itself: stays
        { 6, { "n1", "o2", "e1", "o3", "x", "o1", "u1" } }, // just after the last Ordinary: stays
        { 1, { "o2", "e1", "n1", "o3", "x", "o1", "u1" } }, // Error: the first item down
        { 5, { "o2", "o3", "e1", "n1", "x", "o1", "u1" } }, // New
        { 4, { "o3", "e1", "n1", "x", "o1", "u1", "o2" } }, // to the last place
        { 5, { "e1", "n1", "x", "o1", "u1", "o2", "o3" } },
        { 7, { "x", "e1", "n1", "o1", "u1", "o2", "o3" } }, // New with no New left: first
    };
    for (const auto& step : steps) {
        if (step.page) {
            Select(1, step.page);
            Command(ID_PAGE_CHECK_UPDATE);
            ASSERT_TRUE(WaitForChecks(m_frame));
            // The checked page is still selected, through the item it had.
            EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), m_frame.FindPage(1, step.page));
        }
        std::vector<QString> expected;
        for (const char* label : step.order)
            expected.push_back(QString::fromLatin1(label));
        ASSERT_EQ(ChildLabels(m_frame, group), expected) << "after page " << step.page;
        ASSERT_EQ(rows->childCount(), 7);
        for (int row = 0; row < 7; ++row)
            EXPECT_EQ(rows->child(row)->text(0), expected[static_cast<size_t>(row)]) << "after page " << step.page;
        // Every page keeps the item it had at the start, which the index still finds.
        for (const auto& [label, item] : items) {
            EXPECT_EQ(m_frame.ItemLabel(item), label);
            EXPECT_EQ(m_frame.FindPage(1, TREE_GET_ID(m_frame.m_mainTree.GetItemData(item))), item);
        }
    }
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status FROM PAGES ORDER BY id;"), "1|2\n2|2\n3|3\n4|3\n5|3\n6|3\n7|1");
}

TEST_F(CheckCommands, OpeningPagesUsesTheStoredAddressAndResetsNew)
{
    const std::string evil = "http://127.0.0.1:1/\"><a msg=\"9,9,x";
    ASSERT_TRUE(Start(Group(1, "On", 1, sortAlphabeticalAsc) + Group(2, "Off", 0, sortAlphabeticalAsc)
        + Insert({ 1, 1, Url("/a"), "http://one/a b", "1", m_now, 1, 60, 1 })
        + Insert({ 2, 1, Url("/a"), evil, "2", m_now, 1, 60, 1 })
        + Insert({ 3, 1, Url("/a"), "http://three/", "3 off", m_now, 0, 60, 1 })
        + Insert({ 4, 2, Url("/a"), "http://four/", "4", m_now, 1, 60, 1 })
        + Insert({ 5, 1, Url("/a"), "http://five/", "5", m_now, 1, 60, 3 })));
    DesktopRequests desktop;
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kUserBrowserPath)->SetString(QStringLiteral("/usr/bin/browser"));
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(true);

    // A link's address is not what is opened: the page's stored address is.
    const std::u16string forged = u"1,5,http://elsewhere/";
    m_frame.SendMessage(WM_TOOLTIP_HYPERLINK, reinterpret_cast<WPARAM>(forged.c_str()));
    const auto first = desktop.Of(RequestKind::RunProgram);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], (QStringList { QStringLiteral("/usr/bin/browser"), QStringLiteral("http://five/") }));
    desktop.Clear();

    Command(ID_TOOLS_OPEN_ALL_UPDATED);
    const auto opened = desktop.Of(RequestKind::RunProgram);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].value(1), QStringLiteral("http://one/a b"));
    EXPECT_EQ(opened[1].value(1), QString::fromStdString(evil));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status FROM PAGES ORDER BY id;"), "1|3\n2|3\n3|1\n4|1\n5|3");
    EXPECT_EQ(TREE_GET_STATUS(m_frame.m_mainTree.GetItemData(m_frame.FindPage(1, 2))), statusOrdinary);
    desktop.Clear();
    Command(ID_TOOLS_OPEN_ALL_UPDATED);
    EXPECT_TRUE(desktop.Of(RequestKind::RunProgram).empty());

    // Open in browser works on the selected page; a group or an empty browser path opens nothing.
    Select(1, 0xFFFF);
    Command(ID_PAGE_OPEN_IN_BROWSER);
    EXPECT_TRUE(desktop.Of(RequestKind::RunProgram).empty());
    g_prefs.GetParam(kUserBrowserPath)->SetString(QString());
    Select(1, 3);
    Command(ID_PAGE_OPEN_IN_BROWSER);
    EXPECT_TRUE(desktop.Of(RequestKind::RunProgram).empty());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages.back(), QStringLiteral("Error: Unable to open web page in browser."));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT status FROM PAGES WHERE id = 3;"), "1");
}

TEST_F(CheckCommands, APageStaysNewUnlessItsBrowserReallyStarted)
{
    ASSERT_TRUE(
        Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/a"), "http://one/", "1", m_now, 1, 60, 1 })
            + Insert({ 2, 1, Url("/a"), "-new-instance", "2", m_now, 1, 60, 1 })));
    // The desktop as the test builds it: a default browser whose program cannot be executed.
    for (const char* sub : { "config", "data", "data/applications", "bin", "my browser" })
        mkdir(m_dir.File(sub).c_str(), 0755);
    setenv("XDG_CONFIG_HOME", m_dir.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", m_dir.File("data").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", m_dir.File("bin").c_str(), 1);
    setenv("XDG_DATA_DIRS", m_dir.File("bin").c_str(), 1);
    const std::string broken = m_dir.File("bin/broken");
    WriteFile(broken, "#!/nonexistent/interpreter\n");
    chmod(broken.c_str(), 0755);
    WriteFile(m_dir.File("config/mimeapps.list"), "[Default Applications]\nx-scheme-handler/http=b.desktop\n");
    WriteFile(m_dir.File("data/applications/b.desktop"), "[Desktop Entry]\nExec=" + broken + " --new-window %u\n");
    const std::string recorder = m_dir.File("my browser/recorder");
    WriteArgvRecorder(recorder, m_dir.File("browser.out"));
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(true);
    auto open
        = [this](const char16_t* link) { m_frame.SendMessage(WM_TOOLTIP_HYPERLINK, reinterpret_cast<WPARAM>(link)); };

    // The popup's link with the default browser, then with the user's own: neither starts.
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(true);
    open(u"1,1,x");
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kUserBrowserPath)->SetString(QString::fromStdString(broken) + QStringLiteral(" --new-window"));
    open(u"1,1,x");
    // A stored address that a browser would take for an option reaches no browser at all.
    g_prefs.GetParam(kUserBrowserPath)
        ->SetString(QStringLiteral("\"") + QString::fromStdString(recorder) + QStringLiteral("\" --new-window"));
    open(u"1,2,x");
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_EQ(m_messages[0], QStringLiteral("Error: Unable to open web page in browser."));
    EXPECT_EQ(m_messages[1], QStringLiteral("Error: Unable to open web page in browser."));
    EXPECT_EQ(m_messages[2], NotOpened({ "-new-instance" }));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status FROM PAGES ORDER BY id;"), "1|1\n2|1");
    EXPECT_EQ(TREE_GET_STATUS(m_frame.m_mainTree.GetItemData(m_frame.FindPage(1, 1))), statusNew);

    // The user's browser with arguments of its own: they stay, the address follows as one argument.
    open(u"1,1,x");
    EXPECT_EQ(
        ReadArgv(m_dir.File("browser.out")), (std::vector<std::string> { recorder, "--new-window", "http://one/" }));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status FROM PAGES ORDER BY id;"), "1|3\n2|1");
    EXPECT_EQ(m_messages.size(), 3u);
}

TEST_F(CheckCommands, OnlyWebAddressesReachABrowserAndTheOthersAreNamedOnce)
{
    // Addresses an import or a toolbar could have stored, each on a page marked New.
    const std::string launcher = "file:///home/user/Downloads/evil.desktop";
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc)
        + Insert({ 1, 1, Url("/a"), "file:///etc/passwd", "1", m_now, 1, 60, 1 })
        + Insert({ 2, 1, Url("/a"), "javascript:alert(document.cookie)", "2", m_now, 1, 60, 1 })
        + Insert({ 3, 1, Url("/a"), launcher, "3", m_now, 1, 60, 1 })
        + Insert({ 4, 1, Url("/a"), "HTTPS://four.example/", "4", m_now, 1, 60, 1 })));
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(true);
    for (const bool defaultBrowser : { false, true }) {
        SCOPED_TRACE(defaultBrowser ? "the desktop's default browser" : "the user's browser");
        ASSERT_EQ(Sqlite(DatabasePath(), "UPDATE PAGES SET status = 1;"), "");
        DesktopRequests desktop;
        m_messages.clear();
        g_prefs.GetParam(kUseDefaultBrowser)->SetBool(defaultBrowser);
        g_prefs.GetParam(kUserBrowserPath)->SetString(QStringLiteral("/usr/bin/browser"));
        // Whatever opens it: the page's menu (as a double click does), a tooltip's or popup's link.
        Select(1, 1);
        Command(ID_PAGE_OPEN_IN_BROWSER);
        m_frame.SendMessage(WM_TOOLTIP_HYPERLINK, reinterpret_cast<WPARAM>(u"1,2,http://elsewhere/"));
        // All the updated pages: the web page opens, the others are named in one message.
        Command(ID_TOOLS_OPEN_ALL_UPDATED);
        EXPECT_EQ(m_messages,
            (std::vector<QString> { NotOpened({ "file:///etc/passwd" }),
                NotOpened({ "javascript:alert(document.cookie)" }),
                NotOpened({ "file:///etc/passwd", "javascript:alert(document.cookie)", launcher }) }));
        // What the desktop was asked to start: the one web address.
        std::vector<QStringList> started = desktop.Of(RequestKind::RunProgram);
        for (const QStringList& opened : desktop.Of(RequestKind::OpenUrl))
            started.push_back(opened);
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].back(), QStringLiteral("HTTPS://four.example/"));
        // Only the page that opened lost its New mark.
        EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status FROM PAGES ORDER BY id;"), "1|1\n2|1\n3|1\n4|3");
    }
}

TEST_F(CheckCommands, ABrowserPathWithBlanksIsOneProgramAndAnyOtherSettingACommandLine)
{
    ASSERT_TRUE(Start(
        Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/a"), "http://one/", "1", m_now, 1, 60, 1 })));
    // A browser picked with Browse in a folder whose name holds blanks.
    mkdir(m_dir.File("My Browser").c_str(), 0755);
    const std::string browser = m_dir.File("My Browser/browser");
    WriteArgvRecorder(browser, m_dir.File("browser.out"));
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(false);
    Select(1, 1);

    const struct {
        std::string setting;
        std::vector<std::string> argv; // empty: nothing starts, the user is told
    } cases[] = {
        { browser, { browser, "http://one/" } },
        { "\"" + browser + "\" --private-window", { browser, "--private-window", "http://one/" } },
        { m_dir.File("My Browser/missing"), {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        ::unlink(m_dir.File("browser.out").c_str());
        m_messages.clear();
        g_prefs.GetParam(kUserBrowserPath)->SetString(QString::fromStdString(c.setting));
        Command(ID_PAGE_OPEN_IN_BROWSER);
        if (c.argv.empty()) {
            EXPECT_EQ(
                m_messages, (std::vector<QString> { QStringLiteral("Error: Unable to open web page in browser.") }));
        } else {
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(ReadArgv(m_dir.File("browser.out")), c.argv);
        }
    }
}

TEST_F(CheckCommands, PopupListsEachUpdatedPageOnceUntilItsTimerHidesIt)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc)));
    g_prefs.GetParam(kPopupAlertItems)->SetInt(2);
    g_prefs.GetParam(kPopupAlertTimeout)->SetInt(30);
    auto rows = [this] { return m_frame.m_strPopupLines.count(QStringLiteral("<tr><td><icon idres=")); };
    auto shows = [this](const char* url) {
        return m_frame.m_trayToolTip.m_strLastShownText.contains(QString::fromLatin1(url));
    };
    ASSERT_FALSE(m_frame.m_trayIcon.IsVisible());

    m_frame.ShowUpdatePopup(1, 1, QStringLiteral("http://one/"), QStringLiteral("http://one/"));
    EXPECT_TRUE(m_frame.m_trayIcon.IsVisible());
    EXPECT_TRUE(m_frame.m_bTrayShownForPopup);
    EXPECT_TRUE(m_frame.m_trayToolTip.IsWindowVisible());
    // Listed already: nothing changes.
    m_frame.m_trayToolTip.m_strLastShownText.clear();
    m_frame.ShowUpdatePopup(1, 1, QStringLiteral("http://one/"), QStringLiteral("http://one/"));
    EXPECT_EQ(rows(), 1);
    EXPECT_TRUE(m_frame.m_trayToolTip.m_strLastShownText.isEmpty());
    m_frame.ShowUpdatePopup(1, 2, QStringLiteral("http://two/"), QStringLiteral("http://two/"));
    EXPECT_EQ(rows(), 2);
    EXPECT_LT(m_frame.m_strPopupLines.indexOf(QStringLiteral("http://one/")),
        m_frame.m_strPopupLines.indexOf(QStringLiteral("http://two/")));
    // Full: the oldest row goes.
    m_frame.ShowUpdatePopup(1, 3, QStringLiteral("http://three/"), QStringLiteral("http://three/"));
    EXPECT_EQ(rows(), 2);
    EXPECT_FALSE(shows("http://one/"));
    EXPECT_TRUE(shows("http://two/") && shows("http://three/"));

    m_frame.SendMessage(WM_TIMER, g_iPopupTimerId);
    EXPECT_FALSE(m_frame.m_trayToolTip.IsWindowVisible());
    EXPECT_FALSE(m_frame.m_trayIcon.IsVisible());
    EXPECT_FALSE(m_frame.m_bTrayShownForPopup);
    // Hidden, it starts again from one row.
    m_frame.ShowUpdatePopup(1, 4, QStringLiteral("http://four/"), QStringLiteral("http://four/"));
    EXPECT_EQ(rows(), 1);
}

TEST_F(CheckCommands, AutomaticDetectionWorksOfflineWithoutAConnectionAndComesBack)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/a"), "", "a", m_now - 600 })));
    ASSERT_NE(m_frame.m_iCheckOnlineTimer, 0u);
    using taluvo::shell::NetworkInterface;
    const unsigned up = IFF_UP | IFF_RUNNING;
    const NetworkInterface lo { QStringLiteral("lo"), up | IFF_LOOPBACK, true };
    const NetworkInterface eth { QStringLiteral("eth0"), up | IFF_BROADCAST, true };
    const NetworkInterface ppp { QStringLiteral("ppp0"), up | IFF_POINTOPOINT, true };
    const NetworkInterface pppDown { QStringLiteral("ppp0"), IFF_POINTOPOINT, true };
    struct Case {
        const char* name;
        std::vector<NetworkInterface> interfaces;
        bool offline;
    };
    const Case cases[] = {
        { "loopback only", { lo }, true },
        { "LAN", { lo, eth }, false },
        { "nothing at all", {}, true },
        { "dial-up link up", { lo, ppp }, false },
        { "dial-up link down", { lo, pppDown }, true },
        { "LAN and a dial-up link that is down", { lo, eth, pppDown }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<NetworkInterface> interfaces = c.interfaces;
        taluvo::shell::SetInterfaceSource([interfaces] {
            // NOLINTNEXTLINE(performance-no-automatic-move): asked more than once, so each call hands out a copy
            return interfaces;
        });
        m_frame.SendMessage(WM_TIMER, g_iCheckOnlineTimerId);
        EXPECT_EQ(g_prefs.GetParam(kWorkOffline)->GetBool(), c.offline);
        EXPECT_NE(m_frame.m_iCheckOnlineTimer, 0u);
    }

    // Offline, the check timer checks nothing (no failed check, no error sound); once a link is
    // back, the next tick checks the due page.
    taluvo::shell::SetInterfaceSource([lo] { return std::vector<NetworkInterface> { lo }; });
    m_frame.SendMessage(WM_TIMER, g_iCheckOnlineTimerId);
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    EXPECT_TRUE(m_frame.m_checks.m_ctxsPending.empty() && m_frame.m_checks.m_ctxsRun.empty());
    taluvo::shell::SetInterfaceSource([lo, eth] { return std::vector<NetworkInterface> { lo, eth }; });
    m_frame.SendMessage(WM_TIMER, g_iCheckOnlineTimerId);
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForChecks(m_frame));
    EXPECT_EQ(Stored(), "1|3|0");
}

} // namespace
