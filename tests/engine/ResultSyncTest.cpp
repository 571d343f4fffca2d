// Which writes wait for the disk: a check result under the write-ahead log does not; the settings,
// the user's edits, a result inside a caller's transaction and any write under the rollback
// journal do. Counted at SQLite's file layer, so a level that silently stays or leaks shows.
#include "engine/CheckResultStore.h"

#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/db/WriteAheadLog.h"
#include "core/prefs/Preferences.h"
#include "engine/PageCtx.h"
#include "engine/PageRows.h"
#include "tests/engine/SyncCountingVfs.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using taluvo::test::CSyncCountingVfs;
using taluvo::test::SSyncCounts;
using taluvo::test::TempDir;

namespace {

void WriteResult(CSqlDatabase& db, DWORD lastChecked)
{
    SPageCtx ctx;
    ctx.Reset();
    ctx.m_nGroupId = 1;
    ctx.m_nPageId = 1;
    ctx.m_tLastChecked = lastChecked;
    ctx.m_tLastModified = kNoTime;
    ctx.m_dwCheckSum = lastChecked ^ 0x5A5A5A5Au;
    ctx.m_iStatus = statusOrdinary;
    ctx.m_dwHttpStatusCode = 200;
    StoreCheckResult(db, ctx);
}

struct SWriteCase {
    const char* what;
    bool log; // the database runs with the write-ahead log
    std::function<void(CSqlDatabase&, CMutex&, CPreferences&)> write;
    bool waitsForDisk;
};

} // namespace

TEST(ResultSync, OnlyResultsUnderTheLogSkipTheDiskWait)
{
    const SWriteCase cases[] = {
        { "check result", true, [](CSqlDatabase& db, CMutex&, CPreferences&) { WriteResult(db, 1000); }, false },
        { "settings", true, [](CSqlDatabase& db, CMutex& m, CPreferences& p) { EXPECT_TRUE(SavePrefs(db, m, p)); },
            true },
        { "page disabled by the user", true,
            [](CSqlDatabase& db, CMutex&, CPreferences&) { EXPECT_EQ(SetPageEnable(db, 1, 1, false), 1); }, true },
        { "check result inside a caller's transaction", true,
            [](CSqlDatabase& db, CMutex&, CPreferences&) {
                db.execDML("BEGIN;");
                WriteResult(db, 1001);
                db.execDML("COMMIT;");
            },
            true },
        { "check result under the rollback journal", false,
            [](CSqlDatabase& db, CMutex&, CPreferences&) { WriteResult(db, 1002); }, true },
    };
    for (const SWriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        CSyncCountingVfs counting;
        CSqlDatabase db;
        CMutex mutex;
        CPreferences prefs;
        db.open(dir.File("database.db").c_str());
        if (c.log) {
            ASSERT_TRUE(UseWriteAheadLog(db));
        }
        CheckDb(db, mutex, prefs);
        db.execDML("INSERT INTO PAGES (id, groupId, url, enable, status) VALUES (1, 1, 'http://a/', 1, 3);");
        // A first result, so the case's own write is not the first to touch the log.
        WriteResult(db, 999);
        counting.Reset();

        c.write(db, mutex, prefs);
        const SSyncCounts syncs = counting.Counts();
        EXPECT_EQ(syncs.Total() > 0, c.waitsForDisk)
            << "database " << syncs.database << ", journal " << syncs.journal << ", log " << syncs.log;
        // Whatever the write was, the connection is back to waiting for the disk.
        EXPECT_EQ(db.runScalar("PRAGMA synchronous;"), 2);
    }
}

// A result the disk was not waited for is still committed: another connection, as after a kill,
// reads it at once.
TEST(ResultSync, AResultNotWaitedForIsReadByTheNextConnection)
{
    TempDir dir;
    const std::string path = dir.File("database.db");
    CSqlDatabase db;
    CMutex mutex;
    CPreferences prefs;
    db.open(path.c_str());
    ASSERT_TRUE(UseWriteAheadLog(db));
    CheckDb(db, mutex, prefs);
    db.execDML("INSERT INTO PAGES (id, groupId, url, enable, status) VALUES (1, 1, 'http://a/', 1, 3);");
    WriteResult(db, 4000000000u);

    CSqlDatabase other;
    other.open(path.c_str());
    CSqlQuery row = other.runQuery("SELECT lastChecked FROM PAGES WHERE id = 1;");
    EXPECT_EQ(static_cast<uint32_t>(row.getIntField("lastChecked")), 4000000000u);
}
