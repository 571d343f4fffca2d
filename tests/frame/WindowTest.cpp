// The running main window: the idle handler's command states, minimising into the tray and back
// through the tray icon, and a shutdown while a page check runs.
#include "tests/frame/FrameTestSupport.h"

#include "core/InternetHandle.h"
#include "core/WorkerThread.h"
#include "core/prefs/Preferences.h"
#include "engine/Scheduler.h"
#include "platform/ui/Menu.h"
#include "tests/engine/EngineTestSupport.h"

#include <QCoreApplication>
#include <QTimer>

TRACE_MODULE("FrameTest");

using namespace taluvo::test;

namespace {

std::string Page(int id, int groupId, int enable, int status, const std::string& url = "http://127.0.0.1:9/")
{
    return "INSERT INTO PAGES VALUES(" + std::to_string(id) + ", " + std::to_string(groupId) + ", '" + url + "', '"
        + url + "', '', '', 'page " + std::to_string(id) + "', 4294967295, 4294967295, 4294967295, "
        + std::to_string(enable) + ", 600, " + std::to_string(status) + ", 0, 0);\n";
}

bool Enabled(CMainFrame& frame, int id)
{
    return !(frame.UIGetState(id) & UPDUI_DISABLED);
}

TEST_F(MainFrameTest, IdleStateFollowsTheCheckablePages)
{
    struct Case {
        const char* name;
        std::string rows;
        bool checkAll;
        bool openUpdated;
    };
    const Case cases[] = {
        { "no pages", "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n", false, false },
        { "enabled page", "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 1, 3), true, false },
        { "new page", "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 1, 1), true, true },
        { "new but disabled page", "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 0, 1), false,
            false },
        { "new page in a disabled group", "INSERT INTO GROUPS VALUES(1, 'G', 0, 1, NULL);\n" + Page(1, 1, 1, 1), false,
            false },
        { "new page behind a disabled group and an ordinary page",
            "INSERT INTO GROUPS VALUES(1, 'A', 0, 1, NULL);\nINSERT INTO GROUPS VALUES(2, 'B', 1, 1, NULL);\n"
                + Page(1, 1, 1, 1) + Page(2, 2, 1, 3) + Page(3, 2, 1, 1),
            true, true },
        { "disabled new page before an ordinary one",
            "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 0, 1) + Page(2, 1, 1, 3), true, false },
    };
    ASSERT_EQ(Sqlite(DatabasePath(), SchemaSql()), "");
    ASSERT_TRUE(Create());
    for (const Case& c : cases) {
        Sqlite(DatabasePath(), "DELETE FROM GROUPS; DELETE FROM PAGES;\n" + c.rows);
        m_frame.LoadContent();
        m_frame.OnIdle();
        EXPECT_EQ(Enabled(m_frame, ID_TOOLS_CHECK_ALL), c.checkAll) << c.name;
        EXPECT_EQ(Enabled(m_frame, ID_TOOLS_OPEN_ALL_UPDATED), c.openUpdated) << c.name;
        EXPECT_FALSE(Enabled(m_frame, ID_TOOLS_CANCEL_CHECKS)) << c.name;
    }
}

TEST_F(MainFrameTest, MinimiseGoesToTheTrayAndTheIconBringsTheWindowBack)
{
    ASSERT_EQ(
        Sqlite(DatabasePath(), SchemaSql() + "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 1, 1)),
        "");
    ASSERT_TRUE(Create());
    m_frame.ShowWindow(SW_SHOW);
    ASSERT_TRUE(g_prefs.GetParam(kMinToTray)->GetBool());
    EXPECT_TRUE(m_frame.m_trayIcon.m_bHidden);

    m_frame.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_FALSE(m_frame.m_trayIcon.m_bHidden);
    // Without a tray the window is minimised instead of hidden, so it can always come back.
    EXPECT_TRUE(m_frame.IsIconic() || !m_frame.IsWindowVisible());
    // While in the tray a New page shows the second icon.
    m_frame.OnIdle();
    EXPECT_EQ(m_frame.m_trayIcon.GetCurrentIconIndex(), 1);

    // A left click on the icon sends the default command: restore.
    EXPECT_EQ(m_frame.SendMessage(WM_TRAY_ICON_NOTIFY, IDR_TRAY_POPUP, WM_LBUTTONUP), 1);
    DrainMessages();
    EXPECT_TRUE(m_frame.m_trayIcon.m_bHidden);
    EXPECT_TRUE(m_frame.IsWindowVisible());
    EXPECT_FALSE(m_frame.IsIconic());

    g_prefs.GetParam(kMinToTray)->SetBool(false);
    m_frame.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(m_frame.m_trayIcon.m_bHidden);
}

TEST_F(MainFrameTest, TrayMenuCommandsReachTheWindow)
{
    ASSERT_TRUE(Create());
    m_frame.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    ASSERT_FALSE(m_frame.m_trayIcon.m_bHidden);
    taluvo::ui::test::ScopedPopupMenuHook pick([](HMENU, HWND, POINT) -> UINT { return ID_RESTORE_FROM_TRAY; });
    EXPECT_EQ(m_frame.SendMessage(WM_TRAY_ICON_NOTIFY, IDR_TRAY_POPUP, WM_RBUTTONUP), 1);
    DrainMessages();
    EXPECT_TRUE(m_frame.m_trayIcon.m_bHidden);
    EXPECT_TRUE(m_frame.IsWindowVisible());
}

TEST_F(MainFrameTest, ExitAcceleratorClosesTheWindow)
{
    ASSERT_TRUE(Create());
    m_frame.ShowWindow(SW_SHOW);
    MSG key {};
    key.hwnd = m_frame.m_mainTree;
    key.message = WM_KEYDOWN;
    key.wParam = 'X';
    // The filter consumes the key only with Alt held; a plain X goes on to the tree.
    EXPECT_FALSE(m_frame.PreTranslateMessage(&key));
    // In the main loop, as a user presses Alt+X: Exit closes the window and the loop ends with 1.
    QTimer::singleShot(0, [this] {
        m_frame.m_mainTree.SetFocus();
        taluvo::ui::test::PressKey(m_frame, 'X', false, false, true);
    });
    QTimer::singleShot(10000, [] { PostQuitMessage(0); });
    EXPECT_EQ(m_loop.Run(), 1);
    EXPECT_FALSE(m_frame.IsWindow());
}

TEST_F(MainFrameTest, ShutdownEndsRunningChecksBeforeTheirContextsGo)
{
    TempDir dir;
    PageServer server(dir, "pages");
    server.SetRoutes(QJsonObject { { QStringLiteral("/slow"), QJsonObject { { QStringLiteral("hang"), true } } } });
    const std::string url = server.Url(QStringLiteral("/slow")).toStdString();
    ASSERT_EQ(Sqlite(DatabasePath(),
                  SchemaSql() + "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 1, 4, url)
                      + Page(2, 1, 1, 4, url)),
        "");
    ASSERT_TRUE(Create());
    const SCheckSource source { m_db, g_dbMutex, m_frame, g_hInternet.Get(), &g_prefs };
    QueueGroupPages(source, m_frame.m_checks, 1, sortAlphabeticalAsc);
    ASSERT_EQ(m_frame.m_checks.m_ctxsRun.size(), 1u);
    ASSERT_EQ(m_frame.m_checks.m_ctxsPending.size(), 1u);
    // The first check waits on the server.
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return !server.Requests().empty();
    }));

    m_frame.DestroyWindow();
    EXPECT_TRUE(m_frame.m_checks.m_ctxsRun.empty());
    EXPECT_TRUE(m_frame.m_checks.m_ctxsPending.empty());
    EXPECT_EQ(CWorkerThread::RunningWorkers(), 0);
    EXPECT_FALSE(m_db.opened());
}

} // namespace

namespace {

TEST_F(MainFrameTest, FinishedChecksAreStoredAndTheNextOneStarts)
{
    TempDir dir;
    PageServer server(dir, "pages");
    server.SetRoutes(
        QJsonObject { { QStringLiteral("/page"), taluvo::test::Page(QStringLiteral("<html>hello</html>")) } });
    const std::string url = server.Url(QStringLiteral("/page")).toStdString();
    ASSERT_EQ(Sqlite(DatabasePath(),
                  SchemaSql() + "INSERT INTO GROUPS VALUES(1, 'G', 1, 1, NULL);\n" + Page(1, 1, 1, 4, url)
                      + Page(2, 1, 1, 4, url)),
        "");
    ASSERT_TRUE(Create());
    const SCheckSource source { m_db, g_dbMutex, m_frame, g_hInternet.Get(), &g_prefs };
    QueueGroupPages(source, m_frame.m_checks, 1, sortAlphabeticalAsc);
    ASSERT_TRUE(WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return m_frame.m_checks.m_ctxsRun.empty() && m_frame.m_checks.m_ctxsPending.empty();
        },
        std::chrono::seconds(20)));
    // The first checksum of a page makes it Ordinary.
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status, httpStatusCode FROM PAGES ORDER BY id;"), "1|3|200\n2|3|200");
    EXPECT_EQ(server.Requests().size(), 2u);
}

} // namespace
