#include "core/db/SqlWrapper.h"

#include "platform/base/FileWrite.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

[[noreturn]] void ThrowWrapperError(const char* message)
{
    throw CSqlException(SQLWRAP_ERROR, message);
}

// The runtime's decimal conversion, without its undefined overflow: out-of-range values wrap to 32
// bits the way the stored unsigned values expect ("4294967295" reads as -1).
int DecimalToInt(const char* text)
{
    if (!text)
        return 0;
    return static_cast<int>(static_cast<int64_t>(std::strtoll(text, nullptr, 10)));
}

// A file name of its own: not SQLite's private temporary database ("") nor ":memory:" nor a URI.
bool IsPlainFilePath(const char* path)
{
    return path && *path && std::strcmp(path, ":memory:") != 0 && std::strncmp(path, "file:", 5) != 0;
}

} // namespace

// ---- CSqlException ----------------------------------------------------------------------------

CSqlException::CSqlException(int code, const char* message, bool ownsMessage)
    : m_code(code)
{
    m_message = sqlite3_mprintf("%s[%d]: %s", errorCodeAsString(code), code, message ? message : "");
    if (ownsMessage && message)
        sqlite3_free(const_cast<char*>(message));
}

CSqlException::CSqlException(const CSqlException& rhs)
    : m_code(rhs.m_code)
    , m_message(rhs.m_message ? sqlite3_mprintf("%s", rhs.m_message) : nullptr)
{
}

CSqlException& CSqlException::operator=(const CSqlException& rhs)
{
    if (this != &rhs) {
        char* copy = rhs.m_message ? sqlite3_mprintf("%s", rhs.m_message) : nullptr;
        sqlite3_free(m_message);
        m_code = rhs.m_code;
        m_message = copy;
    }
    return *this;
}

CSqlException::~CSqlException()
{
    sqlite3_free(m_message);
}

const char* CSqlException::errorCodeAsString(int code)
{
    switch (code) {
    case SQLITE_OK:
        return "SQLITE_OK";
    case SQLITE_ERROR:
        return "SQLITE_ERROR";
    case SQLITE_INTERNAL:
        return "SQLITE_INTERNAL";
    case SQLITE_PERM:
        return "SQLITE_PERM";
    case SQLITE_ABORT:
        return "SQLITE_ABORT";
    case SQLITE_BUSY:
        return "SQLITE_BUSY";
    case SQLITE_LOCKED:
        return "SQLITE_LOCKED";
    case SQLITE_NOMEM:
        return "SQLITE_NOMEM";
    case SQLITE_READONLY:
        return "SQLITE_READONLY";
    case SQLITE_INTERRUPT:
        return "SQLITE_INTERRUPT";
    case SQLITE_IOERR:
        return "SQLITE_IOERR";
    case SQLITE_CORRUPT:
        return "SQLITE_CORRUPT";
    case SQLITE_NOTFOUND:
        return "SQLITE_NOTFOUND";
    case SQLITE_FULL:
        return "SQLITE_FULL";
    case SQLITE_CANTOPEN:
        return "SQLITE_CANTOPEN";
    case SQLITE_PROTOCOL:
        return "SQLITE_PROTOCOL";
    case SQLITE_EMPTY:
        return "SQLITE_EMPTY";
    case SQLITE_SCHEMA:
        return "SQLITE_SCHEMA";
    case SQLITE_TOOBIG:
        return "SQLITE_TOOBIG";
    case SQLITE_CONSTRAINT:
        return "SQLITE_CONSTRAINT";
    case SQLITE_MISMATCH:
        return "SQLITE_MISMATCH";
    case SQLITE_MISUSE:
        return "SQLITE_MISUSE";
    case SQLITE_NOLFS:
        return "SQLITE_NOLFS";
    case SQLITE_AUTH:
        return "SQLITE_AUTH";
    case SQLITE_FORMAT:
        return "SQLITE_FORMAT";
    case SQLITE_RANGE:
        return "SQLITE_RANGE";
    case SQLITE_ROW:
        return "SQLITE_ROW";
    case SQLITE_DONE:
        return "SQLITE_DONE";
    case SQLWRAP_ERROR:
        return "SQLWRAP_ERROR";
    default:
        return "UNKNOWN_ERROR";
    }
}

// ---- CSqlQuery --------------------------------------------------------------------------------

CSqlQuery::CSqlQuery() = default;

CSqlQuery::CSqlQuery(sqlite3* db, sqlite3_stmt* vm, bool eof, bool ownVM)
    : m_pDB(db)
    , m_pVM(vm)
    , m_bEof(eof)
    , m_nCols(vm ? sqlite3_column_count(vm) : 0)
    , m_bOwnVM(ownVM)
{
}

CSqlQuery::CSqlQuery(CSqlQuery&& rhs) noexcept
    : m_pDB(rhs.m_pDB)
    , m_pVM(rhs.m_pVM)
    , m_bEof(rhs.m_bEof)
    , m_nCols(rhs.m_nCols)
    , m_bOwnVM(rhs.m_bOwnVM)
{
    rhs.m_pVM = nullptr;
    rhs.m_bEof = true;
}

CSqlQuery& CSqlQuery::operator=(CSqlQuery&& rhs) noexcept
{
    if (this != &rhs) {
        release();
        m_pDB = rhs.m_pDB;
        m_pVM = rhs.m_pVM;
        m_bEof = rhs.m_bEof;
        m_nCols = rhs.m_nCols;
        m_bOwnVM = rhs.m_bOwnVM;
        rhs.m_pVM = nullptr;
        rhs.m_bEof = true;
    }
    return *this;
}

CSqlQuery::~CSqlQuery()
{
    release();
}

void CSqlQuery::release() noexcept
{
    try {
        finalize();
    } catch (const CSqlException&) {
    }
}

void CSqlQuery::requireStatement()
{
    if (!m_pVM)
        ThrowWrapperError("Null Virtual Machine pointer");
}

void CSqlQuery::requireColumn(int col)
{
    requireStatement();
    if (col < 0 || col > m_nCols - 1)
        ThrowWrapperError("Invalid field index requested");
}

int CSqlQuery::columnCount()
{
    requireStatement();
    return m_nCols;
}

int CSqlQuery::columnIndex(const char* field)
{
    requireStatement();
    if (field) {
        for (int col = 0; col < m_nCols; ++col) {
            const char* name = sqlite3_column_name(m_pVM, col);
            if (name && std::strcmp(field, name) == 0)
                return col;
        }
    }
    ThrowWrapperError("Invalid field name requested");
}

const char* CSqlQuery::columnName(int col)
{
    requireColumn(col);
    return sqlite3_column_name(m_pVM, col);
}

const char* CSqlQuery::columnDeclType(int col)
{
    requireColumn(col);
    return sqlite3_column_decltype(m_pVM, col);
}

int CSqlQuery::columnType(int col)
{
    requireColumn(col);
    return sqlite3_column_type(m_pVM, col);
}

const char* CSqlQuery::columnText(int col)
{
    requireColumn(col);
    return reinterpret_cast<const char*>(sqlite3_column_text(m_pVM, col));
}

int CSqlQuery::getIntField(const char* field, int nullValue)
{
    const int col = columnIndex(field);
    if (sqlite3_column_type(m_pVM, col) == SQLITE_NULL)
        return nullValue;
    return sqlite3_column_int(m_pVM, col);
}

double CSqlQuery::getDoubleField(int col, double nullValue)
{
    requireColumn(col);
    if (sqlite3_column_type(m_pVM, col) == SQLITE_NULL)
        return nullValue;
    return sqlite3_column_double(m_pVM, col);
}

double CSqlQuery::getDoubleField(const char* field, double nullValue)
{
    return getDoubleField(columnIndex(field), nullValue);
}

const char* CSqlQuery::getStringField(const char* field, const char* nullValue)
{
    const int col = columnIndex(field);
    if (sqlite3_column_type(m_pVM, col) == SQLITE_NULL)
        return nullValue;
    return reinterpret_cast<const char*>(sqlite3_column_text(m_pVM, col));
}

const unsigned char* CSqlQuery::blobField(const char* field, int& length)
{
    const int col = columnIndex(field);
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(m_pVM, col));
    length = sqlite3_column_bytes(m_pVM, col);
    return data;
}

bool CSqlQuery::isNullField(int col)
{
    requireColumn(col);
    return sqlite3_column_type(m_pVM, col) == SQLITE_NULL;
}

bool CSqlQuery::isNullField(const char* field)
{
    return isNullField(columnIndex(field));
}

bool CSqlQuery::eof()
{
    requireStatement();
    return m_bEof;
}

void CSqlQuery::stepRow()
{
    requireStatement();
    // Stepping past the end would make SQLite run the statement again from its first row.
    if (m_bEof)
        return;
    const int rc = sqlite3_step(m_pVM);
    if (rc == SQLITE_DONE) {
        m_bEof = true;
    } else if (rc != SQLITE_ROW) {
        // A statement that belongs to a CSqlStatement is only reset: its owner finalizes it.
        const int result = m_bOwnVM ? sqlite3_finalize(m_pVM) : sqlite3_reset(m_pVM);
        m_pVM = nullptr;
        m_bEof = true;
        throw CSqlException(result, sqlite3_errmsg(m_pDB));
    }
}

void CSqlQuery::finalize()
{
    if (!m_pVM)
        return;
    sqlite3_stmt* vm = m_pVM;
    m_pVM = nullptr;
    m_bEof = true;
    if (!m_bOwnVM) {
        sqlite3_reset(vm);
        return;
    }
    const int rc = sqlite3_finalize(vm);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, sqlite3_errmsg(m_pDB));
}

// ---- CSqlTable --------------------------------------------------------------------------------

CSqlTable::CSqlTable() = default;

CSqlTable::CSqlTable(char** results, int rows, int cols)
    : m_paszResults(results)
    , m_nRows(rows)
    , m_nCols(cols)
{
}

CSqlTable::CSqlTable(CSqlTable&& rhs) noexcept
    : m_paszResults(rhs.m_paszResults)
    , m_nRows(rhs.m_nRows)
    , m_nCols(rhs.m_nCols)
    , m_nCurrentRow(rhs.m_nCurrentRow)
{
    rhs.m_paszResults = nullptr;
}

CSqlTable& CSqlTable::operator=(CSqlTable&& rhs) noexcept
{
    if (this != &rhs) {
        finalize();
        m_paszResults = rhs.m_paszResults;
        m_nRows = rhs.m_nRows;
        m_nCols = rhs.m_nCols;
        m_nCurrentRow = rhs.m_nCurrentRow;
        rhs.m_paszResults = nullptr;
    }
    return *this;
}

CSqlTable::~CSqlTable()
{
    finalize();
}

void CSqlTable::finalize()
{
    if (m_paszResults) {
        sqlite3_free_table(m_paszResults);
        m_paszResults = nullptr;
    }
}

void CSqlTable::requireResults()
{
    if (!m_paszResults)
        ThrowWrapperError("Null Results pointer");
}

int CSqlTable::numFields()
{
    requireResults();
    return m_nCols;
}

int CSqlTable::numRows()
{
    requireResults();
    return m_nRows;
}

const char* CSqlTable::fieldName(int col)
{
    requireResults();
    if (col < 0 || col > m_nCols - 1)
        ThrowWrapperError("Invalid field index requested");
    return m_paszResults[col];
}

int CSqlTable::fieldIndex(const char* field)
{
    requireResults();
    if (field) {
        for (int col = 0; col < m_nCols; ++col) {
            if (m_paszResults[col] && std::strcmp(field, m_paszResults[col]) == 0)
                return col;
        }
    }
    ThrowWrapperError("Invalid field name requested");
}

const char* CSqlTable::fieldValue(int col)
{
    requireResults();
    if (col < 0 || col > m_nCols - 1)
        ThrowWrapperError("Invalid field index requested");
    // An empty result has no current row to read.
    if (m_nCurrentRow >= m_nRows)
        ThrowWrapperError("Invalid row index requested");
    return m_paszResults[(m_nCurrentRow + 1) * m_nCols + col];
}

const char* CSqlTable::fieldValue(const char* field)
{
    return fieldValue(fieldIndex(field));
}

int CSqlTable::getIntField(int col, int nullValue)
{
    const char* value = fieldValue(col);
    return value ? DecimalToInt(value) : nullValue;
}

int CSqlTable::getIntField(const char* field, int nullValue)
{
    return getIntField(fieldIndex(field), nullValue);
}

double CSqlTable::getDoubleField(int col, double nullValue)
{
    const char* value = fieldValue(col);
    return value ? std::strtod(value, nullptr) : nullValue;
}

double CSqlTable::getDoubleField(const char* field, double nullValue)
{
    return getDoubleField(fieldIndex(field), nullValue);
}

const char* CSqlTable::getStringField(int col, const char* nullValue)
{
    const char* value = fieldValue(col);
    return value ? value : nullValue;
}

const char* CSqlTable::getStringField(const char* field, const char* nullValue)
{
    return getStringField(fieldIndex(field), nullValue);
}

bool CSqlTable::fieldIsNull(int col)
{
    return fieldValue(col) == nullptr;
}

bool CSqlTable::fieldIsNull(const char* field)
{
    return fieldIsNull(fieldIndex(field));
}

void CSqlTable::setRow(int row)
{
    requireResults();
    if (row < 0 || row > m_nRows - 1)
        ThrowWrapperError("Invalid row index requested");
    m_nCurrentRow = row;
}

// ---- CSqlStatement ----------------------------------------------------------------------------

CSqlStatement::CSqlStatement() = default;

CSqlStatement::CSqlStatement(sqlite3* db, sqlite3_stmt* vm)
    : m_pDB(db)
    , m_pVM(vm)
{
}

CSqlStatement::CSqlStatement(CSqlStatement&& rhs) noexcept
    : m_pDB(rhs.m_pDB)
    , m_pVM(rhs.m_pVM)
{
    rhs.m_pVM = nullptr;
}

CSqlStatement& CSqlStatement::operator=(CSqlStatement&& rhs) noexcept
{
    if (this != &rhs) {
        if (m_pVM)
            sqlite3_finalize(m_pVM);
        m_pDB = rhs.m_pDB;
        m_pVM = rhs.m_pVM;
        rhs.m_pVM = nullptr;
    }
    return *this;
}

CSqlStatement::~CSqlStatement()
{
    try {
        finalize();
    } catch (const CSqlException&) {
    }
}

void CSqlStatement::requireDB()
{
    if (!m_pDB)
        ThrowWrapperError("Database not open");
}

void CSqlStatement::requireVM()
{
    if (!m_pVM)
        ThrowWrapperError("Null Virtual Machine pointer");
}

int CSqlStatement::execDML()
{
    requireDB();
    requireVM();
    int rc = sqlite3_step(m_pVM);
    if (rc == SQLITE_DONE) {
        const int changes = sqlite3_changes(m_pDB);
        rc = sqlite3_reset(m_pVM);
        if (rc != SQLITE_OK)
            throw CSqlException(rc, sqlite3_errmsg(m_pDB));
        return changes;
    }
    rc = sqlite3_reset(m_pVM);
    throw CSqlException(rc, sqlite3_errmsg(m_pDB));
}

CSqlQuery CSqlStatement::runQuery()
{
    requireDB();
    requireVM();
    int rc = sqlite3_step(m_pVM);
    if (rc == SQLITE_DONE)
        return CSqlQuery(m_pDB, m_pVM, true, false);
    if (rc == SQLITE_ROW)
        return CSqlQuery(m_pDB, m_pVM, false, false);
    rc = sqlite3_reset(m_pVM);
    throw CSqlException(rc, sqlite3_errmsg(m_pDB));
}

void CSqlStatement::bind(int param, const char* value)
{
    requireVM();
    const int rc = sqlite3_bind_text(m_pVM, param, value, -1, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, "Error binding string param");
}

void CSqlStatement::bind(int param, int value)
{
    requireVM();
    const int rc = sqlite3_bind_int(m_pVM, param, value);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, "Error binding int param");
}

void CSqlStatement::bind(int param, double value)
{
    requireVM();
    const int rc = sqlite3_bind_double(m_pVM, param, value);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, "Error binding double param");
}

void CSqlStatement::bind(int param, const unsigned char* blob, int length)
{
    requireVM();
    const int rc = sqlite3_bind_blob(m_pVM, param, blob, length, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, "Error binding blob param");
}

void CSqlStatement::bindNull(int param)
{
    requireVM();
    const int rc = sqlite3_bind_null(m_pVM, param);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, "Error binding NULL param");
}

void CSqlStatement::reset()
{
    if (!m_pVM)
        return;
    const int rc = sqlite3_reset(m_pVM);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, sqlite3_errmsg(m_pDB));
}

void CSqlStatement::finalize()
{
    if (!m_pVM)
        return;
    const int rc = sqlite3_finalize(m_pVM);
    m_pVM = nullptr;
    if (rc != SQLITE_OK)
        throw CSqlException(rc, sqlite3_errmsg(m_pDB));
}

// ---- CSqlDatabase -----------------------------------------------------------------------------

CSqlDatabase::CSqlDatabase() = default;

CSqlDatabase::~CSqlDatabase()
{
    close();
}

void CSqlDatabase::open(const char* path)
{
    close();
    // SQLite would create a new file readable by everyone; the database holds the proxy password.
    // Its journals take the database file's mode. A failure here leaves the error to SQLite.
    if (IsPlainFilePath(path))
        taluvo::CreateUserFile(path);
    openWith(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void CSqlDatabase::openExisting(const char* path)
{
    close();
    openWith(path, SQLITE_OPEN_READWRITE);
}

void CSqlDatabase::openWith(const char* path, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path ? path : "", &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        // A failed open still hands out a connection object: keep its text, free it, stay closed.
        CSqlException error(rc, db ? sqlite3_errmsg(db) : "");
        sqlite3_close(db);
        throw error;
    }
    m_pDB = db;
    const char* name = sqlite3_db_filename(m_pDB, "main");
    m_fileName = name ? name : "";
    setBusyWait(m_nBusyTimeoutMs);
}

void CSqlDatabase::close()
{
    if (m_pDB) {
        // Statements still held by queries keep the connection alive until they are finalized.
        sqlite3_close_v2(m_pDB);
        m_pDB = nullptr;
    }
    m_fileName.clear();
}

const char* CSqlDatabase::fileName() const
{
    return m_fileName.c_str();
}

void CSqlDatabase::setBusyWait(int milliseconds)
{
    m_nBusyTimeoutMs = milliseconds;
    if (m_pDB)
        sqlite3_busy_handler(m_pDB, m_nBusyTimeoutMs > 0 ? &CSqlDatabase::OnBusy : nullptr, this);
}

void CSqlDatabase::setThreadBusyLimit(std::thread::id thread, int milliseconds)
{
    m_nThreadBusyLimitMs = milliseconds;
    m_limitedThread = thread;
}

int CSqlDatabase::busyWaitOf(std::thread::id thread) const
{
    const int threadLimit = m_nThreadBusyLimitMs.load();
    if (threadLimit >= 0 && m_limitedThread.load() == thread)
        return std::min(m_nBusyTimeoutMs, threadLimit);
    return m_nBusyTimeoutMs;
}

// SQLite's own busy wait (the steps of its default handler), cut at the calling thread's limit,
// and ended at once when the connection's owner gives up.
int CSqlDatabase::OnBusy(void* self, int count)
{
    static constexpr int kDelays[] = { 1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100 };
    static constexpr int kTotals[] = { 0, 1, 3, 8, 18, 33, 53, 78, 103, 128, 178, 228 };
    constexpr int kSteps = static_cast<int>(std::size(kDelays));
    const auto* db = static_cast<const CSqlDatabase*>(self);
    if (db->m_busyGiveUp && db->m_busyGiveUp())
        return 0;
    const int limit = db->busyWaitOf(std::this_thread::get_id());
    int delay = kDelays[std::min(count, kSteps - 1)];
    const int64_t prior
        = count < kSteps ? kTotals[count] : kTotals[kSteps - 1] + int64_t(delay) * (count - (kSteps - 1));
    if (prior + delay > limit) {
        delay = static_cast<int>(limit - prior);
        if (delay <= 0)
            return 0;
    }
    sqlite3_sleep(delay);
    return 1;
}

bool CSqlDatabase::inTransaction() const
{
    return m_pDB && !sqlite3_get_autocommit(m_pDB);
}

void CSqlDatabase::requireOpen()
{
    if (!m_pDB)
        ThrowWrapperError("Database not open");
}

int CSqlDatabase::execDML(const char* sql)
{
    requireOpen();
    char* error = nullptr;
    const int rc = sqlite3_exec(m_pDB, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        if (error)
            throw CSqlException(rc, error, true);
        throw CSqlException(rc, sqlite3_errmsg(m_pDB));
    }
    return sqlite3_changes(m_pDB);
}

sqlite3_stmt* CSqlDatabase::compile(const char* sql)
{
    requireOpen();
    sqlite3_stmt* vm = nullptr;
    const int rc = sqlite3_prepare_v2(m_pDB, sql, -1, &vm, nullptr);
    if (rc != SQLITE_OK)
        throw CSqlException(rc, sqlite3_errmsg(m_pDB));
    return vm;
}

CSqlQuery CSqlDatabase::runQuery(const char* sql)
{
    sqlite3_stmt* vm = compile(sql);
    // Text without a statement (empty, or only a comment) compiles to nothing.
    if (!vm)
        ThrowWrapperError("Null Virtual Machine pointer");
    int rc = sqlite3_step(vm);
    if (rc == SQLITE_DONE)
        return CSqlQuery(m_pDB, vm, true, true);
    if (rc == SQLITE_ROW)
        return CSqlQuery(m_pDB, vm, false, true);
    rc = sqlite3_finalize(vm);
    throw CSqlException(rc, sqlite3_errmsg(m_pDB));
}

int64_t CSqlDatabase::lastInsertId()
{
    requireOpen();
    return sqlite3_last_insert_rowid(m_pDB);
}

bool CSqlDatabase::hasTable(const char* table)
{
    CSqlBuffer bufSQL;
    bufSQL.format("select count(*) from sqlite_master where type='table' and name='%q'", table ? table : "");
    return runScalar(bufSQL) > 0;
}

int CSqlDatabase::runScalar(const char* sql)
{
    CSqlQuery query = runQuery(sql);
    if (query.eof() || query.columnCount() < 1)
        ThrowWrapperError("Invalid scalar query");
    return DecimalToInt(query.columnText(0));
}

CSqlTable CSqlDatabase::loadTable(const char* sql)
{
    requireOpen();
    char** results = nullptr;
    int rows = 0;
    int cols = 0;
    char* error = nullptr;
    const int rc = sqlite3_get_table(m_pDB, sql, &results, &rows, &cols, &error);
    if (rc != SQLITE_OK) {
        if (error)
            throw CSqlException(rc, error, true);
        throw CSqlException(rc, sqlite3_errmsg(m_pDB));
    }
    return CSqlTable(results, rows, cols);
}

CSqlStatement CSqlDatabase::prepareStatement(const char* sql)
{
    sqlite3_stmt* vm = compile(sql);
    return CSqlStatement(m_pDB, vm);
}

// ---- CSqlBuffer -------------------------------------------------------------------------------

void CSqlBuffer::clear()
{
    if (m_pBuf) {
        sqlite3_free(m_pBuf);
        m_pBuf = nullptr;
    }
}

char* CSqlBuffer::mprintf(const char* format, ...)
{
    if (!format)
        return nullptr;
    va_list args;
    va_start(args, format);
    char* text = sqlite3_vmprintf(format, args);
    va_end(args);
    if (!text)
        ThrowWrapperError("Cannot allocate memory");
    return text;
}

void CSqlBuffer::store(char* text)
{
    m_pBuf = text;
}
