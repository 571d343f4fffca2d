// Start and shutdown of the main window: a first start, the settings and the compacted database at
// exit, starts that fail before or while the settings are read, a session end that is cancelled.
#include "tests/frame/FrameTestSupport.h"

#include "core/prefs/Preferences.h"

#include <cstdlib>

TRACE_MODULE("FrameTest");

using namespace taluvo::test;

namespace {

// A database whose file holds free pages, so compaction shows.
std::string WithFreePages()
{
    return SchemaSql()
        + "CREATE TABLE JUNK(x TEXT);\n"
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)\n"
          "INSERT INTO JUNK SELECT printf('%0500d', i) FROM n;\n"
          "DROP TABLE JUNK;\n";
}

// The stored settings row of a database made and saved through the settings store.
void StoreSettings(int interval)
{
    CSqlDatabase db;
    CMutex mutex;
    CPreferences prefs;
    prefs.GetParam(kDefaultUpdateInterval)->SetInt(interval);
    db.open(DatabasePath().c_str());
    CheckDb(db, mutex, prefs);
    db.close();
}

// The bytes of a text read as Latin-1 and written as UTF-8, as a tool that does not know the row is
// binary writes it back.
std::string ToUtf8(const std::string& latin1)
{
    return QString::fromLatin1(QByteArray::fromStdString(latin1)).toUtf8().toStdString();
}

std::string ToUtf8Hex(const std::string& latin1)
{
    return QByteArray::fromStdString(ToUtf8(latin1)).toHex().toStdString();
}

int StoredInterval()
{
    CSqlDatabase db;
    CMutex mutex;
    CPreferences prefs;
    prefs.GetParam(kDefaultUpdateInterval)->SetInt(-7);
    db.open(DatabasePath().c_str());
    const bool loaded = LoadPrefs(db, mutex, prefs);
    db.close();
    return loaded ? prefs.GetParam(kDefaultUpdateInterval)->GetInt() : -7;
}

bool QuitPostedWith(WPARAM code)
{
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return msg.wParam == code;
        DispatchMessage(&msg);
    }
    return false;
}

TEST_F(MainFrameTest, FirstStartCreatesTheDatabaseWithItsSettingsRow)
{
    ASSERT_TRUE(Create());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Sqlite(DatabasePath(), ".tables"), "GROUPS  PAGES   PREFS ");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT COUNT(*) FROM PREFS;"), "1");
    EXPECT_EQ(m_frame.m_mainTree.GetRootItem(), nullptr);
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), nullptr);
    EXPECT_EQ(g_prefs.GetParam(kWorkMode)->GetInt(), 1);
    EXPECT_TRUE(m_db.opened());

    m_frame.DestroyWindow();
    EXPECT_FALSE(m_db.opened());
    EXPECT_TRUE(QuitPostedWith(1));
}

TEST_F(MainFrameTest, ExitStoresTheSettingsAndCompactsTheDatabase)
{
    ASSERT_EQ(Sqlite(DatabasePath(), WithFreePages()), "");
    ASSERT_NE(Sqlite(DatabasePath(), "PRAGMA freelist_count;"), "0");
    StoreSettings(600);
    ASSERT_TRUE(Create());
    EXPECT_EQ(g_prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 600);
    g_prefs.GetParam(kDefaultUpdateInterval)->SetInt(4321);

    m_frame.DestroyWindow();
    EXPECT_EQ(Sqlite(DatabasePath(), "PRAGMA freelist_count;"), "0");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT COUNT(*) FROM PREFS;"), "1");
    EXPECT_EQ(StoredInterval(), 4321);
}

TEST_F(MainFrameTest, StartThatFailsBeforeTheSettingsAreReadKeepsTheStoredOnes)
{
    StoreSettings(777);
    // A PAGES view where the table belongs: creating the table fails, before the settings are read.
    ASSERT_EQ(Sqlite(DatabasePath(), "DROP TABLE PAGES;\nCREATE VIEW PAGES AS SELECT 1 AS id;\n"), "");
    const std::string before = Sqlite(DatabasePath(), "SELECT blobPrefs FROM PREFS;");

    ASSERT_TRUE(Create());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].toStdString(),
        "Error: Database initialization error.\n" + DatabasePath() + ": view PAGES already exists");
    g_prefs.GetParam(kDefaultUpdateInterval)->SetInt(1); // a change nobody may store now
    EXPECT_TRUE(QuitPostedWith(1)); // the failure closed the window
    EXPECT_FALSE(m_frame.IsWindow());
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT blobPrefs FROM PREFS;"), before);
    EXPECT_EQ(StoredInterval(), 777);
}

// A file that is no database: the box names the file and what SQLite found.
TEST_F(MainFrameTest, DatabaseInitializationErrorNamesTheFileAndTheCause)
{
    WriteFile(DatabasePath(), std::string(4096, 'z'));
    ASSERT_TRUE(Create());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].toStdString(),
        "Error: Database initialization error.\n" + DatabasePath() + ": file is not a database");
    EXPECT_TRUE(QuitPostedWith(1));
    EXPECT_EQ(ReadFile(DatabasePath()), std::string(4096, 'z'));
}

// A settings row that cannot be used as it stands (here the program's own row rewritten by another
// tool as UTF-8 text) is kept whole in a file beside the database, the user is told once, and only
// then may the exit store good settings over it.
TEST_F(MainFrameTest, UnusableStoredSettingsAreSetAsideAndSaidOnce)
{
    StoreSettings(777);
    const std::string original
        = QByteArray::fromHex(QByteArray::fromStdString(Sqlite(DatabasePath(), "SELECT hex(blobPrefs) FROM PREFS;")))
              .toStdString();
    ASSERT_EQ(Sqlite(DatabasePath(), "UPDATE PREFS SET blobPrefs = CAST(x'" + ToUtf8Hex(original) + "' AS TEXT);"), "");

    ASSERT_TRUE(Create());
    EXPECT_TRUE(m_messages.empty()) << "no box while the window is being made";
    DrainMessages();
    ASSERT_EQ(m_messages.size(), 1u);
    const std::string said = m_messages[0].toStdString();
    EXPECT_EQ(said.rfind("Warning: The stored settings decode to ", 0), 0u) << said;
    const size_t quote = said.find("copied to \"");
    ASSERT_NE(quote, std::string::npos) << said;
    const std::string aside = said.substr(quote + 11, said.find('"', quote + 11) - quote - 11);
    EXPECT_EQ(aside.rfind(DatabasePath() + ".settings-", 0), 0u) << aside;
    EXPECT_EQ(ReadFile(aside), ToUtf8(original));
    EXPECT_EQ(g_prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 86400);
    EXPECT_FALSE(g_prefs.GetParam(kWorkOffline)->GetBool());

    m_frame.DestroyWindow();
    EXPECT_EQ(StoredInterval(), 86400);
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(MainFrameTest, EmptySettingsTableGetsTheSettingsAtExit)
{
    ASSERT_EQ(Sqlite(DatabasePath(), SchemaSql() + "CREATE TABLE PREFS (blobPrefs BLOB);\n"), "");
    ASSERT_TRUE(Create());
    g_prefs.GetParam(kDefaultUpdateInterval)->SetInt(999);
    m_frame.DestroyWindow();
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT COUNT(*) FROM PREFS;"), "1");
    EXPECT_EQ(StoredInterval(), 999);
}

TEST_F(MainFrameTest, UnwritableProgramFolderIsSaidAtStart)
{
    const std::string file = HomeDir() + "/plain-file";
    WriteFile(file, "x");
    ::setenv("TALUVO_HOME", (file + "/sub").c_str(), 1);
    ASSERT_TRUE(Create());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Error: The program's folder \"")));
    EXPECT_TRUE(m_messages[0].endsWith(QStringLiteral("\" cannot be written.")));
    EXPECT_TRUE(QuitPostedWith(1));
    EXPECT_FALSE(m_db.opened());
}

TEST_F(MainFrameTest, CancelledSessionEndLeavesTheProgramRunning)
{
    ASSERT_TRUE(Create());
    EXPECT_NE(m_frame.SendMessage(WM_QUERYENDSESSION), 0);
    m_frame.SendMessage(WM_ENDSESSION, FALSE);
    EXPECT_TRUE(m_db.opened());
    EXPECT_TRUE(m_frame.IsWindow());

    // The session really ends: the shutdown runs once, the window's own end later finds it done.
    g_prefs.GetParam(kDefaultUpdateInterval)->SetInt(2468);
    EXPECT_NE(m_frame.SendMessage(WM_QUERYENDSESSION), 0);
    m_frame.SendMessage(WM_ENDSESSION, TRUE);
    EXPECT_FALSE(m_db.opened());
    EXPECT_EQ(StoredInterval(), 2468);
    m_frame.DestroyWindow();
    EXPECT_TRUE(QuitPostedWith(1));
}

} // namespace

namespace {

TEST_F(MainFrameTest, ToolbarServerRunsWhileTheWindowLives)
{
    ASSERT_TRUE(Create());
    EXPECT_TRUE(g_pListener);
    EXPECT_TRUE(ToolbarPortAnswers());
    m_frame.DestroyWindow();
    EXPECT_EQ(g_pListener, nullptr);
    EXPECT_FALSE(ToolbarPortAnswers());
}

TEST_F(MainFrameTest, ToolbarPortInUseEndsTheStartWithOneBox)
{
    const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1; // a connection of an earlier test may linger on the port
    ::setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address = ToolbarAddress();
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    ASSERT_TRUE(Create());
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(QuitPostedWith(1));
    EXPECT_FALSE(m_frame.IsWindow());
    EXPECT_EQ(g_pListener, nullptr);
    ::close(blocker);
}

} // namespace
