#include "core/db/WriteAheadLog.h"

#include "core/DebugTracer.h"
#include "core/db/SqlWrapper.h"

#include <QByteArray>

// The database's opening and closing belong to the main window; their trace lines say so.
TRACE_MODULE("CMainFrame");

namespace {

// How long the exit waits for another program's connection to let go of the log. Longer would only
// hold up the exit: the log is kept either way, and the next start reads it.
constexpr int kLeaveWaitMs = 2000;
// How long the start waits for another program's reader to let the file switch to the log. The
// log only makes writes cheaper; the program works on the rollback journal as well, so the start
// does not sit out a reader for the whole busy wait.
constexpr int kSwitchWaitMs = 1000;

// The one text a journal pragma answers, in lower case ("wal", "delete", ...).
QByteArray JournalMode(CSqlDatabase& db, const char* sql)
{
    CSqlQuery query = db.runQuery(sql);
    return query.eof() ? QByteArray() : QByteArray(query.columnText(0)).toLower();
}

// Puts the connection's busy wait back when the scope ends, whatever happened in it.
class CBusyWaitScope {
public:
    CBusyWaitScope(CSqlDatabase& db, int milliseconds)
        : m_db(db)
        , m_nPrevious(db.busyWait())
    {
        m_db.setBusyWait(milliseconds);
    }
    ~CBusyWaitScope() { m_db.setBusyWait(m_nPrevious); }
    CBusyWaitScope(const CBusyWaitScope&) = delete;
    CBusyWaitScope& operator=(const CBusyWaitScope&) = delete;

private:
    CSqlDatabase& m_db;
    int m_nPrevious;
};

} // namespace

bool UseWriteAheadLog(CSqlDatabase& db)
{
    try {
        // FULL first: whatever the journal turns out to be, the settings and edits wait for the disk.
        db.execDML("PRAGMA synchronous = FULL;");
        const CBusyWaitScope wait(db, kSwitchWaitMs);
        const QByteArray mode = JournalMode(db, "PRAGMA journal_mode = WAL;");
        if (mode == "wal")
            return true;
        TRACE0(u"CMainFrame::OpenDatabase - No write-ahead log; the journal stays \"%hs\".\r\n", mode);
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OpenDatabase - No write-ahead log. SQL Exception. Error: %hs\r\n", e.errorMessage());
    }
    return false;
}

bool LeaveWriteAheadLog(CSqlDatabase& db)
{
    CBusyWaitScope wait(db, kLeaveWaitMs);
    try {
        if (JournalMode(db, "PRAGMA journal_mode;") != "wal")
            return true;
        // Every committed page into the database file and the log emptied. When a reader elsewhere
        // holds part of the log, the copy stops short and the log must stay.
        CSqlQuery checkpoint = db.runQuery("PRAGMA wal_checkpoint(TRUNCATE);");
        const bool busy = !checkpoint.eof() && checkpoint.getIntField("busy", 1) != 0;
        checkpoint.finalize();
        if (busy) {
            TRACE0(u"CMainFrame::OnDestroy - Another connection holds the write-ahead log; it stays beside the "
                   u"database.\r\n");
            return false;
        }
        const QByteArray mode = JournalMode(db, "PRAGMA journal_mode = DELETE;");
        if (mode == "delete")
            return true;
        TRACE0(u"CMainFrame::OnDestroy - The journal stays \"%hs\"; the write-ahead log stays beside the "
               u"database.\r\n",
            mode);
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnDestroy - The write-ahead log stays beside the database. SQL Exception. Error: %hs\r\n",
            e.errorMessage());
    }
    return false;
}

CResultWriteSync::CResultWriteSync(CSqlDatabase& db)
    : m_db(db)
{
    // Inside a transaction SQLite refuses the change, and the transaction's commit decides anyway.
    if (m_db.inTransaction() || JournalMode(m_db, "PRAGMA journal_mode;") != "wal")
        return;
    m_db.execDML("PRAGMA synchronous = NORMAL;");
    m_bRelaxed = true;
}

CResultWriteSync::~CResultWriteSync()
{
    if (!m_bRelaxed)
        return;
    try {
        m_db.execDML("PRAGMA synchronous = FULL;");
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnUpdaterNotify - Writes stay at synchronous NORMAL. SQL Exception. Error: %hs\r\n",
            e.errorMessage());
    }
}
