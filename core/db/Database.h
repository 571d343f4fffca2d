// The database file's schema and the settings row, and the scope lock every database user takes.
#pragma once

#include "core/DebugTracer.h"
#include "core/Globals.h"
#include "core/Mutex.h"
#include "core/db/SqlWrapper.h"

#include <QString>

class CPreferences;

// The database's file name in the program's folder.
inline constexpr char kDatabaseFileName[] = "database.db";

// Text columns are declared TEXT so that SQLite keeps what is stored as text: a start text "0099"
// or a group title "007" must not come back as a number.
inline constexpr char kCreatePagesTable[]
    = "CREATE TABLE PAGES(id             INTEGER PRIMARY KEY, groupId        INTEGER, url            TEXT, "
      "urlBrowser     TEXT, startCheckMask TEXT, stopCheckMask  TEXT, descr          TEXT, lastChecked    INT, "
      "lastModified   INT, checkSum       INT, enable         INT, interval       INT, status         INT, "
      "errorCode      INT, httpStatusCode INT); ";
inline constexpr char kCreateGroupsTable[]
    = "CREATE TABLE GROUPS(id             INTEGER PRIMARY KEY, title          TEXT, enable         INTEGER, "
      "sortType       INTEGER, pagesOrder     BLOB);";
inline constexpr char kCreatePrefsTable[] = "CREATE TABLE PREFS (blobPrefs BLOB);";

// Creates whichever of PAGES, GROUPS and PREFS is missing; a new PREFS gets the settings row of
// prefs. Takes no lock and lets database errors reach the caller.
// The text a database error is shown with: "SQL Error. " and the database's message.
QString SqlErrorText(const CSqlException& e);
// SQLite's own words of a database error, without the code its message starts with.
QString SqlErrorReason(const CSqlException& e);

void CheckDb(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs);

// Replaces the PREFS row with the record of prefs, in one transaction: a failed save leaves the
// previous row. Failures are only traced; false tells the caller it failed.
bool SavePrefs(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs);

// What was wrong with a stored settings row that could not be used as it stands, for the user.
struct SStoredPrefsProblem {
    QString what; // what was wrong; empty when the row was fine (or there was none)
    QString asidePath; // the file beside the database that holds the original row; empty when it
                       // could not be written, and then the row must stay in the database
};

// Loads the PREFS row into prefs, then reads the recipients file the settings name. Failures are
// only traced and leave the settings as they were; false tells the caller it failed.
// A row that does not decode, decodes to more bytes than the record holds, or holds values that
// would break the program is first copied whole into a new file beside the database (named with
// the date, readable by the user alone); then only the usable values are taken, the others keep
// their defaults, and problem (when given) says what happened.
bool LoadPrefs(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs, SStoredPrefsProblem* problem = nullptr);

// The scope lock on a database mutex, written once per scope before the database is used:
//   AUTO_DB_LOCKER();            on g_dbMutex (declared in core/Globals.h)
// Inside the scope DB_UNLOCK() releases the mutex early and DB_LOCK() takes it again. The TRACE3
// lines go to the module of the file that uses the macros.
#define AUTO_DB_LOCKER_ON(mutex)                                                                                       \
    TRACE3(u"AUTO_DB_LOCKER()\r\n");                                                                                   \
    CMutexLocker autoDbLocker_(mutex)
#define AUTO_DB_LOCKER() AUTO_DB_LOCKER_ON(g_dbMutex)
#define DB_UNLOCK()                                                                                                    \
    do {                                                                                                               \
        TRACE3(u"DB_UNLOCK()\r\n");                                                                                    \
        g_dbMutex.Unlock();                                                                                            \
    } while (0)
#define DB_LOCK()                                                                                                      \
    do {                                                                                                               \
        TRACE3(u"DB_LOCK()\r\n");                                                                                      \
        g_dbMutex.Lock(INFINITE);                                                                                      \
    } while (0)
