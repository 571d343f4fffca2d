#include "core/db/Database.h"

#include "core/DebugTracer.h"
#include "core/Globals.h"
#include "core/db/SqlBinary.h"
#include "core/prefs/Preferences.h"
#include "tests/core/db/DbTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

TRACE_MODULE("DatabaseTest");

namespace {

using taluvo::test::CTraceCapture;
using taluvo::test::ReadFile;
using taluvo::test::RunCommand;
using taluvo::test::SCommandResult;
using taluvo::test::Sqlite3;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

class PrefsRowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir.File("database.db");
        m_db.open(m_path.c_str());
        CheckDb(m_db, m_mutex, m_prefs);
    }

    // The encoded text of the one PREFS row, as stored.
    std::string StoredText()
    {
        CSqlQuery query = m_db.runQuery("SELECT blobPrefs FROM PREFS;");
        EXPECT_FALSE(query.eof());
        return query.eof() ? std::string() : std::string(query.getStringField("blobPrefs"));
    }

    void StoreRecord(const std::vector<unsigned char>& bytes)
    {
        CSqlBinary binary;
        binary.assignBinary(bytes.data(), static_cast<int>(bytes.size()));
        CSqlBuffer bufSQL;
        m_db.execDML("DELETE FROM PREFS;");
        m_db.execDML(bufSQL.format("INSERT INTO PREFS (blobPrefs) VALUES (%Q);", binary.encodedText()));
    }

    TempDir m_dir;
    std::string m_path;
    CSqlDatabase m_db;
    CMutex m_mutex;
    CPreferences m_prefs;
};

} // namespace

TEST_F(PrefsRowTest, FreshDatabaseHasTheSchemaAndOneSettingsRow)
{
    CSqlBuffer bufSQL;
    m_db.execDML(bufSQL.format(
        "INSERT INTO GROUPS (id, title, enable, sortType, pagesOrder) VALUES (?, %Q, 1, 4, NULL);", "007"));
    const int groupId = static_cast<int>(m_db.lastInsertId());
    m_db.execDML(bufSQL.format("INSERT INTO PAGES VALUES (?, %d, %Q, %Q, %Q, %Q, %Q, %u, %u, %u, 1, %u, 4, 0, 0);",
        groupId, "http://example.org/", "http://example.org/", "0099", "1e5", "12", 4294967295u, 4294967295u,
        4294967295u, 86400u));
    {
        CSqlQuery query = m_db.runQuery("SELECT * FROM PAGES;");
        EXPECT_STREQ(query.getStringField("startCheckMask"), "0099");
        EXPECT_EQ(query.getIntField("lastChecked"), -1);
    }
    m_db.close();

    EXPECT_EQ(
        Sqlite3(m_path, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name;"), "GROUPS\nPAGES\nPREFS\n");
    EXPECT_EQ(Sqlite3(m_path, "SELECT count(*) FROM PREFS;"), "1\n");
    EXPECT_EQ(
        Sqlite3(m_path,
            "SELECT typeof(startCheckMask), startCheckMask, typeof(stopCheckMask), stopCheckMask, descr FROM PAGES;"),
        "text|0099|text|1e5|12\n");
    EXPECT_EQ(Sqlite3(m_path, "SELECT typeof(title), title FROM GROUPS;"), "text|007\n");
    EXPECT_EQ(Sqlite3(m_path, "SELECT lastChecked, interval FROM PAGES;"), "4294967295|86400\n");
    EXPECT_EQ(Sqlite3(m_path, "SELECT typeof(blobPrefs) FROM PREFS;"), "text\n");
}

TEST_F(PrefsRowTest, DefaultRecordMatchesTheLayoutTable)
{
    m_db.close();
    const SCommandResult result
        = RunCommand("/usr/bin/python3 " TALUVO_DB_TEST_SOURCE_DIR "/check_prefs_record.py '" + m_path + "'");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("matches"), std::string::npos) << result.output;
}

TEST_F(PrefsRowTest, SettingsSurviveSaveAndReload)
{
    const std::string csv = m_dir.File("people.csv");
    WriteFile(csv, "Ann@Example.org;Ann\r\nbob@example.org;Bob\r\n");
    m_prefs.GetParam(kCSVFile)->SetString(QString::fromStdString(csv));
    m_prefs.GetParam(kSmtpServer)->SetString(QStringLiteral("smtp.example.org"));
    m_prefs.GetParam(kProxyPassword)->SetString(QString::fromUtf8("pä'ss\"wörd"));
    m_prefs.GetParam(kDefaultUpdateInterval)->SetInt(3600);
    m_prefs.GetParam(kWorkMode)->SetInt(-1);
    m_prefs.GetParam(kWorkOffline)->SetBool(true);
    m_prefs.GetParam(kRunWithWindows)->SetBool(false);
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, m_prefs));
    m_db.close();

    CSqlDatabase reopened;
    reopened.open(m_path.c_str());
    CPreferences loaded;
    CheckDb(reopened, m_mutex, loaded); // finds every table: the stored row stays
    ASSERT_TRUE(LoadPrefs(reopened, m_mutex, loaded));
    EXPECT_EQ(std::memcmp(&loaded.m_blob, &m_prefs.m_blob, sizeof(PreferencesBlob_t)), 0);
    EXPECT_EQ(loaded.GetParam(kProxyPassword)->GetString(), QString::fromUtf8("pä'ss\"wörd"));
    ASSERT_EQ(loaded.m_recipients.size(), 2u);
    EXPECT_EQ(loaded.m_recipients[0].first, QByteArray("ann@example.org"));
    EXPECT_EQ(reopened.runScalar("SELECT count(*) FROM PREFS;"), 1);
}

TEST_F(PrefsRowTest, LoadFailuresKeepTheSettingsAndSayWhy)
{
    struct Case {
        const char* setup;
        const char* traced;
    };
    const Case cases[] = {
        { "DELETE FROM PREFS;", "CMainFrame::LoadPrefs - Exception. Error: PREFS table is empty.\nFile: " },
        { "DELETE FROM PREFS; INSERT INTO PREFS VALUES (NULL);", "Error: blob field data is NULL.\nFile: " },
        // SQLite hands out no data pointer for an empty value.
        { "DELETE FROM PREFS; INSERT INTO PREFS VALUES ('');", "Error: blob field data is NULL.\nFile: " },
        { "DELETE FROM PREFS; INSERT INTO PREFS VALUES (char(5, 1, 4, 65, 66));",
            "CMainFrame::LoadPrefs - SQL Exception. Error: SQLWRAP_ERROR[1000]: Cannot decode binary" },
        { "DELETE FROM PREFS; INSERT INTO PREFS VALUES ('A' || replace(hex(zeroblob(2000)), '0', 'B'));",
            "CMainFrame::LoadPrefs - Exception. Error: Stored settings decode to 4000 bytes, more than the 3177 of the "
            "settings record.\nFile: " },
        { "DELETE FROM PREFS; INSERT INTO PREFS VALUES (char(5, 65, 1));",
            "Error: SQLWRAP_ERROR[1000]: Cannot decode binary" },
        { "DROP TABLE PREFS;", "CMainFrame::LoadPrefs - SQL Exception. Error: SQLITE_ERROR[1]: no such table: PREFS" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        TempDir dir;
        CTraceCapture trace(dir);
        m_db.execDML("DROP TABLE IF EXISTS PREFS;");
        CheckDb(m_db, m_mutex, m_prefs);
        m_db.execDML(c.setup);

        CPreferences prefs;
        prefs.GetParam(kWorkMode)->SetInt(5);
        prefs.m_recipients.emplace_back(QByteArray("keep@example.org"), QByteArray("Keep"));
        CPreferences before;
        before = prefs;
        EXPECT_FALSE(LoadPrefs(m_db, m_mutex, prefs));
        EXPECT_EQ(std::memcmp(&prefs.m_blob, &before.m_blob, sizeof(PreferencesBlob_t)), 0);
        EXPECT_EQ(prefs.m_recipients.size(), 1u);
        trace.Expect(c.traced);
    }
}

// A shorter record loads into the first bytes; past its end every setting reads as 0, false or
// empty, except the time-outs, intervals and counts that cannot be 0 and take their defaults.
TEST_F(PrefsRowTest, ShorterRecordsLoadIntoTheFirstBytes)
{
    StoreRecord(std::vector<unsigned char>(100, 1));
    CPreferences prefs;
    SStoredPrefsProblem problem;
    ASSERT_TRUE(LoadPrefs(m_db, m_mutex, prefs, &problem));
    EXPECT_TRUE(problem.what.isEmpty());
    EXPECT_TRUE(prefs.GetParam(kPopupAlertEnable)->GetBool());
    EXPECT_EQ(prefs.GetParam(kPopupAlertTimeout)->GetInt(), 0x01010101);
    EXPECT_EQ(prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 86400);
    EXPECT_EQ(prefs.GetParam(kConnectTimeout)->GetInt(), 30);
    EXPECT_EQ(prefs.GetParam(kProxyPort)->GetInt(), 0);
    EXPECT_FALSE(prefs.GetParam(kRunWithWindows)->GetBool());
    EXPECT_TRUE(prefs.GetParam(kSmtpServer)->GetString().isEmpty());

    // "x" is a stored record of no bytes.
    StoreRecord({});
    ASSERT_TRUE(LoadPrefs(m_db, m_mutex, prefs, &problem));
    EXPECT_TRUE(problem.what.isEmpty());
    EXPECT_FALSE(prefs.GetParam(kPopupAlertEnable)->GetBool());
    EXPECT_EQ(prefs.GetParam(kPopupAlertItems)->GetInt(), 5);
    EXPECT_EQ(prefs.GetParam(kWorkMode)->GetInt(), 0);
}

// A row that cannot be used as it stands is copied whole into a dated file beside the database
// before anything of it is dropped; what can be used of it is used, the rest keeps its defaults.
TEST_F(PrefsRowTest, RowsThatCannotBeUsedAreSetAsideFirst)
{
    // The program's own row, rewritten by another tool as UTF-8 text: every byte above 127 becomes
    // two, and the row decodes to far more than the record.
    CPreferences saved;
    saved.GetParam(kProxyPassword)->SetString(QStringLiteral("secret"));
    saved.GetParam(kDefaultUpdateInterval)->SetInt(600);
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, saved));
    const std::string original = StoredText();
    const std::string asUtf8 = QString::fromLatin1(QByteArray::fromStdString(original)).toUtf8().toStdString();
    ASSERT_GT(asUtf8.size(), original.size());

    PreferencesBlob_t record;
    std::memcpy(&record, &saved.m_blob, sizeof record);
    record.ConnectTimeout = 0;
    record.WorkOffline = 197;
    record.RecvTimeout = 120; // odd but harmless: kept
    std::vector<unsigned char> brokenValues(sizeof record);
    std::memcpy(brokenValues.data(), &record, sizeof record);

    struct Case {
        const char* what;
        std::function<std::string()> store; // the stored text
        const char* problem;
        bool loaded;
    };
    const Case cases[] = {
        { "UTF-8 text",
            [&] {
                CSqlBuffer bufSQL;
                m_db.execDML("DELETE FROM PREFS;");
                m_db.execDML(bufSQL.format("INSERT INTO PREFS (blobPrefs) VALUES (%Q);", asUtf8.c_str()));
                return asUtf8; // NOLINT(performance-no-automatic-move): the test's own text, copied for each call
            },
            "decode to ", false },
        { "no decoding",
            [&] {
                m_db.execDML("DELETE FROM PREFS; INSERT INTO PREFS VALUES (char(5, 65, 1, 4, 66));");
                return std::string("\x05"
                                   "A\x01\x04"
                                   "B");
            },
            "cannot be decoded", false },
        { "values that break the program",
            [&] {
                StoreRecord(brokenValues);
                return StoredText();
            },
            "hold values that cannot be used (ConnectTimeout, WorkOffline)", true },
    };
    const taluvo::test::UsualUmask umask;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir traceDir;
        CTraceCapture trace(traceDir);
        const std::string stored = c.store();
        CPreferences prefs;
        SStoredPrefsProblem problem;
        EXPECT_EQ(LoadPrefs(m_db, m_mutex, prefs, &problem), c.loaded);
        EXPECT_TRUE(problem.what.startsWith(QString::fromLatin1(c.problem))) << problem.what.toStdString();
        ASSERT_FALSE(problem.asidePath.isEmpty());
        const std::string aside = problem.asidePath.toStdString();
        EXPECT_EQ(aside.rfind(m_path + ".settings-", 0), 0u) << aside;
        EXPECT_EQ(ReadFile(aside), stored);
        EXPECT_EQ(taluvo::test::FileMode(aside), 0600) << "the row holds the proxy password";
        trace.Expect("CMainFrame::LoadPrefs - Stored settings ");
        if (c.loaded) {
            EXPECT_EQ(prefs.GetParam(kConnectTimeout)->GetInt(), 30);
            EXPECT_FALSE(prefs.GetParam(kWorkOffline)->GetBool());
            EXPECT_EQ(prefs.GetParam(kRecvTimeout)->GetInt(), 120);
            EXPECT_EQ(prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 600);
            EXPECT_EQ(prefs.GetParam(kProxyPassword)->GetString(), QStringLiteral("secret"));
        } else {
            CPreferences defaults;
            EXPECT_EQ(std::memcmp(&prefs.m_blob, &defaults.m_blob, sizeof(PreferencesBlob_t)), 0);
        }
        // The database row itself is not touched by loading.
        EXPECT_EQ(m_db.runScalar("SELECT count(*) FROM PREFS;"), 1);
    }

    // Every bad row of the day gets a file of its own.
    CPreferences prefs;
    SStoredPrefsProblem first;
    SStoredPrefsProblem second;
    LoadPrefs(m_db, m_mutex, prefs, &first);
    LoadPrefs(m_db, m_mutex, prefs, &second);
    EXPECT_NE(first.asidePath, second.asidePath);
    EXPECT_EQ(ReadFile(first.asidePath.toStdString()), ReadFile(second.asidePath.toStdString()));

    // A good row sets nothing aside.
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, saved));
    SStoredPrefsProblem none;
    ASSERT_TRUE(LoadPrefs(m_db, m_mutex, prefs, &none));
    EXPECT_TRUE(none.what.isEmpty());
    EXPECT_TRUE(none.asidePath.isEmpty());
}

// Values that would break the program are never stored: their defaults are, the rest as it is.
TEST_F(PrefsRowTest, SaveStoresDefaultsInPlaceOfBrokenValues)
{
    TempDir dir;
    CTraceCapture trace(dir);
    CPreferences prefs;
    prefs.GetParam(kSendTimeout)->SetInt(0);
    prefs.GetParam(kConnectTimeout)->SetInt(120);
    reinterpret_cast<BYTE*>(&prefs.m_blob)[offsetof(PreferencesBlob_t, WorkOffline)] = 197;
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, prefs));
    EXPECT_EQ(prefs.GetParam(kSendTimeout)->GetInt(), 0) << "the store in memory is left alone";

    CPreferences loaded;
    SStoredPrefsProblem problem;
    ASSERT_TRUE(LoadPrefs(m_db, m_mutex, loaded, &problem));
    EXPECT_TRUE(problem.what.isEmpty());
    EXPECT_EQ(loaded.GetParam(kSendTimeout)->GetInt(), 15);
    EXPECT_EQ(loaded.GetParam(kConnectTimeout)->GetInt(), 120);
    EXPECT_FALSE(loaded.GetParam(kWorkOffline)->GetBool());
    trace.Expect("CMainFrame::SavePrefs - SendTimeout cannot be used; its default is stored.\r\n");
}

TEST_F(PrefsRowTest, TwoRowsLoadTheFirstAndSaveLeavesOne)
{
    CPreferences first;
    first.GetParam(kPopupAlertItems)->SetInt(11);
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, first));
    const std::string firstText = StoredText();
    CSqlBuffer bufSQL;
    CPreferences second;
    second.GetParam(kPopupAlertItems)->SetInt(22);
    CSqlBinary binary;
    binary.assignBinary(reinterpret_cast<const unsigned char*>(&second.m_blob), sizeof(PreferencesBlob_t));
    m_db.execDML(bufSQL.format("INSERT INTO PREFS (blobPrefs) VALUES (%Q);", binary.encodedText()));
    ASSERT_EQ(m_db.runScalar("SELECT count(*) FROM PREFS;"), 2);

    CPreferences prefs;
    ASSERT_TRUE(LoadPrefs(m_db, m_mutex, prefs));
    EXPECT_EQ(prefs.GetParam(kPopupAlertItems)->GetInt(), 11);
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, prefs));
    EXPECT_EQ(m_db.runScalar("SELECT count(*) FROM PREFS;"), 1);
    EXPECT_EQ(StoredText(), firstText);
}

TEST_F(PrefsRowTest, FailedSaveLeavesThePreviousRow)
{
    m_prefs.GetParam(kSmtpServer)->SetString(QStringLiteral("kept.example.org"));
    ASSERT_TRUE(SavePrefs(m_db, m_mutex, m_prefs));
    const std::string kept = StoredText();

    struct Case {
        const char* trigger;
        const char* traced;
        const char* alsoTraced;
    };
    const Case cases[] = {
        { "CREATE TRIGGER refuse BEFORE INSERT ON PREFS BEGIN SELECT RAISE(ABORT, 'refused'); END;",
            "CMainFrame::SavePrefs - SQL Exception. Error: SQLITE_CONSTRAINT[19]: refused", "refused\r\n" },
        { "CREATE TRIGGER refuse BEFORE INSERT ON PREFS BEGIN SELECT RAISE(IGNORE); END;",
            "CMainFrame::SavePrefs - Exception. Error: Unable to save pereferences.\nFile: ",
            "\nExpr.: (1 == m_db.execDML(bufSQL))\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger);
        TempDir dir;
        CTraceCapture trace(dir);
        m_db.execDML(c.trigger);
        CPreferences changed;
        changed.GetParam(kSmtpServer)->SetString(QStringLiteral("lost.example.org"));
        EXPECT_FALSE(SavePrefs(m_db, m_mutex, changed));
        m_db.execDML("DROP TRIGGER refuse;");
        EXPECT_EQ(m_db.runScalar("SELECT count(*) FROM PREFS;"), 1);
        EXPECT_EQ(StoredText(), kept);
        trace.Expect(c.traced);
        trace.Expect(c.alsoTraced);
        // Nothing of the failed save is left open: the next save works.
        ASSERT_TRUE(SavePrefs(m_db, m_mutex, m_prefs));
        EXPECT_EQ(StoredText(), kept);
    }
}

TEST_F(PrefsRowTest, CheckDbCreatesOnlyWhatIsMissing)
{
    TempDir dir;
    CTraceCapture trace(dir);
    // A database with PAGES only, declared with other column types: the check adds what is missing
    // and leaves what exists alone.
    CSqlDatabase old;
    const std::string path = dir.File("old.db");
    old.open(path.c_str());
    old.execDML("CREATE TABLE PAGES(id INTEGER PRIMARY KEY, groupId INTEGER, url STRING); "
                "INSERT INTO PAGES VALUES (1, 1, 'http://a/');");
    CheckDb(old, m_mutex, m_prefs);
    EXPECT_EQ(old.runScalar("SELECT count(*) FROM PAGES;"), 1);
    EXPECT_EQ(old.runScalar("SELECT count(*) FROM GROUPS;"), 0);
    EXPECT_EQ(old.runScalar("SELECT count(*) FROM PREFS;"), 1);
    trace.Expect("CMainFrame::CheckDb - Check PAGES table ...\r\n");
    trace.Expect("CMainFrame::CheckDb - Table PAGES exists.\r\n");
    trace.Expect("CMainFrame::CheckDb - Create GROUPS table - OK.\r\n");
    trace.Expect("CMainFrame::CheckDb - Create PREFS table ...\r\n");

    CheckDb(old, m_mutex, m_prefs);
    EXPECT_EQ(old.runScalar("SELECT count(*) FROM PREFS;"), 1);
    trace.Expect("CMainFrame::CheckDb - Table SETTINGS exists.\r\n");
    // Pages are read a group at a time: the check gives every database, old ones too, the index.
    EXPECT_EQ(old.runScalar("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'PAGES' "
                            "AND sql LIKE '%(groupId)%';"),
        1);
    EXPECT_EQ(old.runScalar("SELECT count(*) FROM PAGES WHERE groupId = 1;"), 1);

    // A database that cannot take the index still starts.
    CSqlDatabase readOnly;
    readOnly.open(dir.File("readonly.db").c_str());
    readOnly.execDML("CREATE TABLE PAGES(id INTEGER PRIMARY KEY, groupId INTEGER); CREATE TABLE GROUPS(id INTEGER); "
                     "CREATE TABLE PREFS(blobPrefs BLOB);");
    readOnly.execDML("PRAGMA query_only = 1;");
    EXPECT_NO_THROW(CheckDb(readOnly, m_mutex, m_prefs));
    trace.Expect("CMainFrame::CheckDb - Unable to create the index of PAGES by group: ");

    CSqlDatabase closed;
    EXPECT_THROW(CheckDb(closed, m_mutex, m_prefs), CSqlException);
}

TEST(DbLock, ScopeLockHoldsTheDatabaseMutex)
{
    const auto lockedElsewhere = [] {
        BOOL taken = FALSE;
        std::thread other([&] {
            taken = g_dbMutex.Lock(0);
            if (taken)
                g_dbMutex.Unlock();
        });
        other.join();
        return !taken;
    };
    {
        AUTO_DB_LOCKER();
        EXPECT_TRUE(lockedElsewhere());
        DB_UNLOCK();
        EXPECT_FALSE(lockedElsewhere());
        DB_LOCK();
        EXPECT_TRUE(lockedElsewhere());
    }
    EXPECT_FALSE(lockedElsewhere());
}

// The file holds the proxy password: a new one is the user's alone, and so are the journals SQLite
// makes beside it; a file the user made otherwise keeps its mode.
TEST(DatabaseFile, NewFileIsTheUsersAlone)
{
    TempDir dir;
    const taluvo::test::UsualUmask umask;
    const std::string path = dir.File("database.db");
    CSqlDatabase db;
    db.open(path.c_str());
    CMutex mutex;
    CPreferences prefs;
    CheckDb(db, mutex, prefs);
    db.execDML("PRAGMA journal_mode = WAL;");
    db.execDML("INSERT INTO GROUPS (title) VALUES ('G');");
    EXPECT_EQ(taluvo::test::FileMode(path), 0600);
    EXPECT_EQ(taluvo::test::FileMode(path + "-wal"), 0600);
    db.close();

    const std::string shared = dir.File("shared.db");
    WriteFile(shared, "");
    ASSERT_EQ(::chmod(shared.c_str(), 0640), 0);
    db.open(shared.c_str());
    CheckDb(db, mutex, prefs);
    db.close();
    EXPECT_EQ(taluvo::test::FileMode(shared), 0640);
}
