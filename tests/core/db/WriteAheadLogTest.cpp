// The database's journal over a run: the write-ahead log while open, one self-contained file after
// the exit's switch back, and nothing lost when the switch cannot be made.
#include "core/db/WriteAheadLog.h"

#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"
#include "tests/core/db/DbTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using taluvo::test::CTraceCapture;
using taluvo::test::FileMode;
using taluvo::test::ReadFile;
using taluvo::test::Sqlite3;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace {

bool Exists(const std::string& path)
{
    return FileMode(path) != -1;
}

class WriteAheadLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir.File("database.db");
        m_db.open(m_path.c_str());
        ASSERT_TRUE(UseWriteAheadLog(m_db));
        CheckDb(m_db, m_mutex, m_prefs);
        m_db.execDML("CREATE TABLE R(n INTEGER);");
        m_db.execDML("WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < 300) "
                     "INSERT INTO R SELECT n FROM k;");
    }

    TempDir m_dir;
    std::string m_path;
    CSqlDatabase m_db;
    CMutex m_mutex;
    CPreferences m_prefs;
};

} // namespace

TEST_F(WriteAheadLog, ExitLeavesOneFileWithEverything)
{
    EXPECT_TRUE(Exists(m_path + "-wal"));
    EXPECT_TRUE(Exists(m_path + "-shm"));
    EXPECT_EQ(FileMode(m_path + "-shm"), 0600);
    EXPECT_TRUE(LeaveWriteAheadLog(m_db));
    EXPECT_FALSE(Exists(m_path + "-wal"));
    EXPECT_FALSE(Exists(m_path + "-shm"));
    m_db.execDML("VACUUM;");
    EXPECT_EQ(m_db.runScalar("SELECT COUNT(*) FROM R;"), 300);
    m_db.close();
    EXPECT_FALSE(Exists(m_path + "-wal"));

    // Everything is in the one file: a copy of it alone holds every row, and opens in the rollback
    // journal as a database of older versions does.
    const std::string copy = m_dir.File("copy.db");
    WriteFile(copy, ReadFile(m_path));
    EXPECT_EQ(Sqlite3(copy, "PRAGMA journal_mode; SELECT COUNT(*), SUM(n) FROM R; PRAGMA integrity_check;"),
        "delete\n300|45150\nok\n");
    // A file already left is left again without harm.
    m_db.open(m_path.c_str());
    EXPECT_TRUE(LeaveWriteAheadLog(m_db));
}

// Another program with the file open keeps the log: the exit says so, and every row stays readable,
// then and at the next start, which ends with one file again.
TEST_F(WriteAheadLog, AnotherConnectionKeepsTheLogAndNothingIsLost)
{
    struct SCase {
        const char* what;
        bool reading; // the other connection is inside a read transaction
        int row; // written just before the exit
    };
    for (const SCase& c : { SCase { "idle", false, 1001 }, SCase { "reading", true, 1002 } }) {
        SCOPED_TRACE(c.what);
        TempDir traceDir;
        CTraceCapture trace(traceDir);
        if (!m_db.opened()) {
            m_db.open(m_path.c_str());
            ASSERT_TRUE(UseWriteAheadLog(m_db));
        }
        CSqlBuffer insert;
        m_db.execDML(insert.format("INSERT INTO R VALUES (%d);", c.row));
        {
            auto other = std::make_unique<CSqlDatabase>();
            other->open(m_path.c_str());
            // A connection that has read once keeps its hold on the log, idle or not.
            EXPECT_EQ(other->runScalar("SELECT COUNT(*) FROM R WHERE n < 1000;"), 300);
            CSqlQuery open;
            if (c.reading) {
                other->execDML("BEGIN;");
                open = other->runQuery("SELECT n FROM R;");
            }
            EXPECT_FALSE(LeaveWriteAheadLog(m_db));
            trace.Expect("write-ahead log stays beside the database");
            EXPECT_TRUE(Exists(m_path + "-wal"));
            // The exit's compaction and close go on as before.
            open.finalize();
            if (c.reading)
                other->execDML("COMMIT;");
            m_db.execDML("VACUUM;");
            m_db.close();
            EXPECT_EQ(other->runScalar("SELECT MAX(n) FROM R;"), c.row);
        }
        EXPECT_EQ(Sqlite3(m_path, "SELECT MAX(n) FROM R; PRAGMA integrity_check;"), std::to_string(c.row) + "\nok\n");
    }
    // The next run ends with the single file.
    m_db.open(m_path.c_str());
    ASSERT_TRUE(UseWriteAheadLog(m_db));
    EXPECT_TRUE(LeaveWriteAheadLog(m_db));
    m_db.close();
    EXPECT_FALSE(Exists(m_path + "-wal"));
    EXPECT_EQ(Sqlite3(m_path, "PRAGMA journal_mode; SELECT COUNT(*) FROM R;"), "delete\n302\n");
}

// A file that cannot take the log keeps its rollback journal and stays usable; a file that is no
// database is left to the first statement to report.
TEST(WriteAheadLogStart, WhatCannotTakeTheLogKeepsItsJournal)
{
    TempDir dir;
    struct SCase {
        const char* what;
        std::function<std::string()> prepare; // the path to open
        bool usable;
    };
    std::unique_ptr<CSqlDatabase> writer;
    const SCase cases[] = {
        { "in memory", [] { return std::string(":memory:"); }, true },
        { "written by another program",
            [&] {
                std::string path = dir.File("busy.db");
                writer = std::make_unique<CSqlDatabase>();
                writer->open(path.c_str());
                writer->execDML("CREATE TABLE T(x); BEGIN IMMEDIATE; INSERT INTO T VALUES (1);");
                return path;
            },
            true },
        { "not a database",
            [&] {
                std::string path = dir.File("text.db");

                WriteFile(path, std::string(4096, 'x'));
                return path;
            },
            false },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir traceDir;
        CTraceCapture trace(traceDir);
        const std::string path = c.prepare();
        CSqlDatabase db;
        db.setBusyWait(50);
        db.open(path.c_str());
        EXPECT_FALSE(UseWriteAheadLog(db));
        trace.Expect("No write-ahead log");
        if (writer)
            writer->execDML("COMMIT;");
        writer.reset();
        CMutex mutex;
        CPreferences prefs;
        if (c.usable) {
            EXPECT_EQ(db.runScalar("PRAGMA synchronous;"), 2);
            CheckDb(db, mutex, prefs);
            EXPECT_EQ(db.runScalar("SELECT COUNT(*) FROM PREFS;"), 1);
            EXPECT_TRUE(LeaveWriteAheadLog(db));
        } else {
            EXPECT_THROW(CheckDb(db, mutex, prefs), CSqlException);
        }
    }
}
