// Where a finished check's outcome goes: its PAGES row. The window, the tests and the benchmarks
// all store results through this one function.
#pragma once

#include "core/db/SqlWrapper.h"

#include <QString>

class CSqlDatabase;
struct SPageCtx;

// The page's row as it reads after its result was stored.
struct SStoredPage {
    CSqlQuery row; // positioned on the row; its texts stay valid while the database lock is held
    QString strUrlBrowser;
    QString strDescr;
};

// Stores the outcome of a finished check (last check, modification time, checksum, status, error
// and HTTP status) in its PAGES row and reads the row again. The commit is not waited for on the
// disk (see CResultWriteSync): the page's next check writes its result again. Throws
// CFailException when not exactly one row changed or the row is gone, CSqlException on a database
// error. The caller holds the database lock.
SStoredPage StoreCheckResult(CSqlDatabase& db, const SPageCtx& ctx);
