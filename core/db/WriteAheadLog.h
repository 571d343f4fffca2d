// How the database file is journalled while the program runs. Check results are by far the most
// frequent writes and each is written again by the page's next check, so they go through a
// write-ahead log without waiting for the disk; the settings and the user's own edits keep waiting
// for it. A stopped program leaves the single database file, without the log beside it.
#pragma once

class CSqlDatabase;

// Switches the open database to the write-ahead log, with every commit synchronous (FULL) unless a
// CResultWriteSync scope says otherwise. A file that cannot take the log (a file system without
// shared memory, another program holding it) keeps its rollback journal: traced, and false. A file
// that is no database is left to the caller's first statement to report. Takes no lock.
bool UseWriteAheadLog(CSqlDatabase& db);

// Copies the log into the database file, empties it and returns to the rollback journal, so that
// SQLite removes the log's two files. When another connection keeps the log (a second program
// reading the file), nothing is lost: it is traced, false is returned, and the log stays beside the
// database, where the next open reads it. Waits for other connections a short while only. Takes no
// lock; the caller holds the database lock.
bool LeaveWriteAheadLog(CSqlDatabase& db);

// For the scope of one check result's write: the commit is not waited for on the disk (synchronous
// NORMAL). A killed program keeps every committed result, as the log is written before the commit
// returns; only a power loss can take back the last ones, and the next check writes them again.
// Nothing changes inside a caller's transaction (SQLite fixes the level there) or under the
// rollback journal, where NORMAL could damage the file on a power loss. The end of the scope
// returns the connection to FULL. The caller holds the database lock for the whole scope.
class CResultWriteSync {
public:
    explicit CResultWriteSync(CSqlDatabase& db);
    ~CResultWriteSync();
    CResultWriteSync(const CResultWriteSync&) = delete;
    CResultWriteSync& operator=(const CResultWriteSync&) = delete;

private:
    CSqlDatabase& m_db;
    bool m_bRelaxed = false;
};
