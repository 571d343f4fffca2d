// The program's thin object layer over SQLite: a connection, a forward-only cursor, a whole-result
// table, a compiled statement with bound parameters, SQL formatted with SQLite's own printf, and the
// exception every SQLite failure becomes. All SQL text is 8-bit, in the ANSI code page.
#pragma once

#include "platform/base/WinTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>

struct sqlite3;
struct sqlite3_stmt;

// The code of the wrapper's own errors.
constexpr int SQLWRAP_ERROR = 1000;

// Not part of the CCmnException family: handlers turn it into one ("SQL Error. " + message).
class CSqlException {
public:
    // The message reads "<code name>[<code>]: <message>"; with ownsMessage the given text was
    // allocated by SQLite and is freed here.
    CSqlException(int code, const char* message, bool ownsMessage = false);
    CSqlException(const CSqlException& rhs);
    CSqlException& operator=(const CSqlException& rhs);
    virtual ~CSqlException();

    int errorCode() const { return m_code; }
    const char* errorMessage() const { return m_message ? m_message : ""; }
    // Another connection held the database locked longer than the wait allowed (SQLITE_BUSY).
    bool lockedByAnother() const { return (m_code & 0xFF) == 5; }
    static const char* errorCodeAsString(int code);

private:
    int m_code;
    char* m_message; // from sqlite3_mprintf
};

// A result cursor. Move-only: the result of runQuery is kept by assigning it to a declared query.
class CSqlQuery {
public:
    CSqlQuery();
    CSqlQuery(sqlite3* db, sqlite3_stmt* vm, bool eof, bool ownVM = true);
    CSqlQuery(CSqlQuery&& rhs) noexcept;
    CSqlQuery& operator=(CSqlQuery&& rhs) noexcept;
    CSqlQuery(const CSqlQuery&) = delete;
    CSqlQuery& operator=(const CSqlQuery&) = delete;
    virtual ~CSqlQuery();

    int columnCount();
    int columnIndex(const char* field);
    const char* columnName(int col);
    const char* columnDeclType(int col);
    int columnType(int col);
    const char* columnText(int col);

    int getIntField(const char* field, int nullValue = 0);
    double getDoubleField(int col, double nullValue = 0.0);
    double getDoubleField(const char* field, double nullValue = 0.0);
    // Valid until the next step, while the database lock is held.
    const char* getStringField(const char* field, const char* nullValue = "");
    const unsigned char* blobField(const char* field, int& length);
    bool isNullField(int col);
    bool isNullField(const char* field);

    bool eof();
    void stepRow();
    void finalize();

private:
    void requireStatement();
    void requireColumn(int col);
    void release() noexcept;

    sqlite3* m_pDB = nullptr;
    sqlite3_stmt* m_pVM = nullptr;
    bool m_bEof = true;
    int m_nCols = 0;
    bool m_bOwnVM = false;
};

// A whole result held as text. Move-only.
class CSqlTable {
public:
    CSqlTable();
    CSqlTable(char** results, int rows, int cols);
    CSqlTable(CSqlTable&& rhs) noexcept;
    CSqlTable& operator=(CSqlTable&& rhs) noexcept;
    CSqlTable(const CSqlTable&) = delete;
    CSqlTable& operator=(const CSqlTable&) = delete;
    virtual ~CSqlTable();

    int numFields();
    int numRows();
    const char* fieldName(int col);
    const char* fieldValue(int col);
    const char* fieldValue(const char* field);
    int getIntField(int col, int nullValue = 0);
    int getIntField(const char* field, int nullValue = 0);
    double getDoubleField(int col, double nullValue = 0.0);
    double getDoubleField(const char* field, double nullValue = 0.0);
    const char* getStringField(int col, const char* nullValue = "");
    const char* getStringField(const char* field, const char* nullValue = "");
    bool fieldIsNull(int col);
    bool fieldIsNull(const char* field);
    void setRow(int row);
    void finalize();

private:
    void requireResults();
    int fieldIndex(const char* field);

    char** m_paszResults = nullptr;
    int m_nRows = 0;
    int m_nCols = 0;
    int m_nCurrentRow = 0;
};

// A compiled statement with parameters bound by index (1-based, as SQLite counts). Move-only.
class CSqlStatement {
public:
    CSqlStatement();
    CSqlStatement(sqlite3* db, sqlite3_stmt* vm);
    CSqlStatement(CSqlStatement&& rhs) noexcept;
    CSqlStatement& operator=(CSqlStatement&& rhs) noexcept;
    CSqlStatement(const CSqlStatement&) = delete;
    CSqlStatement& operator=(const CSqlStatement&) = delete;
    virtual ~CSqlStatement();

    int execDML();
    // The query reads this statement's rows but does not own it; reset before running again.
    CSqlQuery runQuery();

    void bind(int param, const char* value);
    void bind(int param, int value);
    void bind(int param, double value);
    void bind(int param, const unsigned char* blob, int length);
    void bindNull(int param);
    void reset();
    void finalize();

private:
    void requireDB();
    void requireVM();

    sqlite3* m_pDB = nullptr;
    sqlite3_stmt* m_pVM = nullptr;
};

class CSqlDatabase {
public:
    CSqlDatabase();
    CSqlDatabase(const CSqlDatabase&) = delete;
    CSqlDatabase& operator=(const CSqlDatabase&) = delete;
    virtual ~CSqlDatabase();

    // Opens the file, creating it when missing.
    void open(const char* path);
    // Opens a database file that exists already; a missing file fails as SQLite says.
    void openExisting(const char* path);
    void close();
    bool opened() const { return m_pDB != nullptr; }
    // The full path of the open database's file; empty when closed, in memory or temporary.
    const char* fileName() const;
    void setBusyWait(int milliseconds);
    int busyWait() const { return m_nBusyTimeoutMs; }
    // One thread may wait less for another connection's lock than the busy wait: at most
    // `milliseconds` (the user-interface thread, which must never sit out a lock another program
    // holds for long). A negative value lifts the limit. Other threads wait the busy wait.
    void setThreadBusyLimit(std::thread::id thread, int milliseconds);
    std::thread::id limitedThread() const { return m_limitedThread.load(); }
    int threadBusyLimit() const { return m_nThreadBusyLimitMs.load(); }
    // The longest that thread waits for another connection's lock on this connection.
    int busyWaitOf(std::thread::id thread) const;
    // Asked at every step of a busy wait: true ends the wait at once (SQLITE_BUSY), so a thread
    // that is told to stop is not held by another program's lock. Set before the connection is
    // used; the test is made on the waiting thread.
    void setBusyGiveUp(std::function<bool()> giveUp) { m_busyGiveUp = std::move(giveUp); }
    // True between BEGIN (or a SAVEPOINT outside one) and its end.
    bool inTransaction() const;

    // Runs the SQL and returns the number of rows the last statement changed.
    int execDML(const char* sql);
    // Compiled and stepped to the first row; eof at once when there is none.
    CSqlQuery runQuery(const char* sql);
    int64_t lastInsertId();
    bool hasTable(const char* table);
    int runScalar(const char* sql);
    CSqlTable loadTable(const char* sql);
    CSqlStatement prepareStatement(const char* sql);

private:
    void openWith(const char* path, int flags);
    sqlite3_stmt* compile(const char* sql);
    void requireOpen();
    static int OnBusy(void* self, int count);

    sqlite3* m_pDB = nullptr;
    // Kept from the open, so that other threads can open the same file while this connection is
    // in use, without calling into it.
    std::string m_fileName;
    int m_nBusyTimeoutMs = 60000;
    std::function<bool()> m_busyGiveUp;
    std::atomic<std::thread::id> m_limitedThread {};
    std::atomic<int> m_nThreadBusyLimitMs { -1 };
};

// Limits the calling thread's wait for another connection's lock while the scope lasts, and puts
// back the limit there was.
class CThreadBusyLimit {
public:
    CThreadBusyLimit(CSqlDatabase& db, int milliseconds)
        : m_db(db)
        , m_previousThread(db.limitedThread())
        , m_nPreviousMs(db.threadBusyLimit())
    {
        m_db.setThreadBusyLimit(std::this_thread::get_id(), milliseconds);
    }
    ~CThreadBusyLimit() { m_db.setThreadBusyLimit(m_previousThread, m_nPreviousMs); }
    CThreadBusyLimit(const CThreadBusyLimit&) = delete;
    CThreadBusyLimit& operator=(const CThreadBusyLimit&) = delete;

private:
    CSqlDatabase& m_db;
    std::thread::id m_previousThread;
    int m_nPreviousMs;
};

// SQL text formatted with SQLite's printf: "%Q" quotes a text (NULL for a null pointer), "%d" and
// "%u" write numbers. Only numbers and C strings may be passed, never objects.
class CSqlBuffer {
public:
    CSqlBuffer() = default;
    CSqlBuffer(const CSqlBuffer&) = delete;
    CSqlBuffer& operator=(const CSqlBuffer&) = delete;
    ~CSqlBuffer() { clear(); }

    template <typename... A>
    requires((std::is_arithmetic_v<A> || std::is_pointer_v<A> || std::is_null_pointer_v<A>)&&...) const
        char* format(const char* fmt, A... args)
    {
        clear();
        store(mprintf(fmt, args...));
        return m_pBuf;
    }

    operator const char*() const { return m_pBuf; }
    const char* text() const { return m_pBuf; }
    void clear();

private:
    static char* mprintf(const char* format, ...);
    void store(char* text);

    char* m_pBuf = nullptr;
};
