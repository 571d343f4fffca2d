#include "core/db/SqlWrapper.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using taluvo::test::TempDir;

// Runs the action and returns the message of the CSqlException it throws ("" when none).
std::string SqlError(const std::function<void()>& action, int* code = nullptr)
{
    try {
        action();
    } catch (const CSqlException& e) {
        if (code)
            *code = e.errorCode();
        return e.errorMessage();
    }
    return {};
}

class SqlWrapperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db.open(m_dir.File("test.db").c_str());
        m_db.execDML("CREATE TABLE T(id INTEGER PRIMARY KEY, name TEXT, n INT, x REAL);");
        m_db.execDML("INSERT INTO T VALUES (1, 'one', 10, 1.5), (2, NULL, NULL, NULL), (3, 'three', 4294967295, 2);");
    }

    TempDir m_dir;
    CSqlDatabase m_db;
};

} // namespace

TEST(SqlException, MessagesNameTheCode)
{
    struct Case {
        int code;
        const char* message;
        const char* expected;
    };
    const Case cases[] = {
        { 1, "near \"x\": syntax error", "SQLITE_ERROR[1]: near \"x\": syntax error" },
        { 1000, "Database not open", "SQLWRAP_ERROR[1000]: Database not open" },
        { 1000, nullptr, "SQLWRAP_ERROR[1000]: " },
        { 5, "database is locked", "SQLITE_BUSY[5]: database is locked" },
        { 101, "", "SQLITE_DONE[101]: " },
        { 26, "file is not a database", "UNKNOWN_ERROR[26]: file is not a database" },
        { -3, "x", "UNKNOWN_ERROR[-3]: x" },
    };
    for (const Case& c : cases) {
        CSqlException e(c.code, c.message);
        EXPECT_STREQ(e.errorMessage(), c.expected);
        EXPECT_EQ(e.errorCode(), c.code);
    }

    CSqlException original(19, "UNIQUE constraint failed");
    CSqlException copy(original); // NOLINT(performance-unnecessary-copy-initialization): the copy is under test
    CSqlException assigned(0, "x");
    assigned = original;
    EXPECT_NE(copy.errorMessage(), original.errorMessage());
    EXPECT_STREQ(copy.errorMessage(), "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed");
    EXPECT_STREQ(assigned.errorMessage(), copy.errorMessage());
    const CSqlException& itself = assigned; // through a reference: the compiler questions a plain x = x
    assigned = itself;

    EXPECT_STREQ(assigned.errorMessage(), copy.errorMessage());
}

TEST(SqlDatabase, EveryOperationNeedsAnOpenDatabase)
{
    CSqlDatabase db;
    EXPECT_FALSE(db.opened());
    const std::function<void()> operations[] = {
        [&] { db.execDML("SELECT 1;"); },
        [&] { db.runQuery("SELECT 1;"); },
        [&] { db.runScalar("SELECT 1;"); },
        [&] { db.hasTable("PAGES"); },
        [&] { db.lastInsertId(); },
        [&] { db.loadTable("SELECT 1;"); },
        [&] { db.prepareStatement("SELECT 1;"); },
    };
    for (const auto& operation : operations)
        EXPECT_EQ(SqlError(operation), "SQLWRAP_ERROR[1000]: Database not open");
}

TEST(SqlDatabase, FailedOpenLeavesItClosed)
{
    TempDir dir;
    taluvo::test::WriteFile(dir.File("plain"), "x");
    CSqlDatabase db;
    int code = 0;
    const std::string error = SqlError([&] { db.open(dir.File("plain/database.db").c_str()); }, &code);
    EXPECT_EQ(code, 14);
    EXPECT_EQ(error.rfind("SQLITE_CANTOPEN[14]: ", 0), 0u) << error;
    EXPECT_FALSE(db.opened());

    // A file that is not a database opens, and the first statement says what it is.
    taluvo::test::WriteFile(dir.File("garbage.db"), std::string(4096, 'g'));
    db.open(dir.File("garbage.db").c_str());
    EXPECT_EQ(SqlError([&] { db.execDML("SELECT * FROM sqlite_master;"); }, &code),
        "UNKNOWN_ERROR[26]: file is not a database");
}

TEST_F(SqlWrapperTest, ExecReportsChangedRowsAndErrors)
{
    EXPECT_EQ(m_db.execDML("UPDATE T SET n = 0 WHERE id = 99;"), 0);
    EXPECT_EQ(m_db.execDML("UPDATE T SET n = n WHERE id >= 2;"), 2);
    EXPECT_EQ(m_db.execDML("INSERT INTO T (id, name) VALUES (?, 'unbound id');"), 1);
    EXPECT_EQ(m_db.lastInsertId(), 4);

    int code = 0;
    EXPECT_EQ(SqlError([&] { m_db.execDML("INSERT INTO T (id) VALUES (1);"); }, &code),
        "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: T.id");
    EXPECT_EQ(SqlError([&] { m_db.execDML("SELEC 1;"); }, &code), "SQLITE_ERROR[1]: near \"SELEC\": syntax error");
    EXPECT_EQ(
        SqlError([&] { m_db.runQuery("SELECT * FROM Missing;"); }, &code), "SQLITE_ERROR[1]: no such table: Missing");
    EXPECT_EQ(SqlError([&] { m_db.runQuery("  "); }), "SQLWRAP_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(SqlWrapperTest, QueryWalksRowsAndReadsColumns)
{
    CSqlQuery query;
    query = m_db.runQuery("SELECT * FROM T ORDER BY id;");
    ASSERT_FALSE(query.eof());
    EXPECT_EQ(query.columnCount(), 4);
    EXPECT_STREQ(query.columnName(1), "name");
    EXPECT_STREQ(query.columnDeclType(2), "INT");
    EXPECT_EQ(query.getIntField("n"), 10);
    EXPECT_STREQ(query.getStringField("name"), "one");
    EXPECT_DOUBLE_EQ(query.getDoubleField("x"), 1.5);
    EXPECT_FALSE(query.isNullField("name"));

    query.stepRow();
    EXPECT_TRUE(query.isNullField(1));
    EXPECT_EQ(query.getIntField("n", -7), -7);
    EXPECT_STREQ(query.getStringField("name", "none"), "none");
    EXPECT_DOUBLE_EQ(query.getDoubleField(3, 9.0), 9.0);
    int length = -1;
    EXPECT_EQ(query.blobField("name", length), nullptr);
    EXPECT_EQ(length, 0);

    query.stepRow();
    // Values written unsigned read back as 32-bit signed.
    EXPECT_EQ(query.getIntField("n"), -1);
    EXPECT_STREQ(reinterpret_cast<const char*>(query.blobField("name", length)), "three");
    EXPECT_EQ(length, 5);

    query.stepRow();
    EXPECT_TRUE(query.eof());
    // Stepping again stays at the end rather than starting over.
    query.stepRow();
    EXPECT_TRUE(query.eof());

    query.finalize();
    EXPECT_EQ(SqlError([&] { query.eof(); }), "SQLWRAP_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(SqlWrapperTest, QueryRejectsUnknownColumns)
{
    CSqlQuery query = m_db.runQuery("SELECT id, name FROM T;");
    const std::function<void()> bad[] = {
        [&] { query.getIntField("missing"); },
        [&] { query.getStringField("ID"); },
        [&] { query.getIntField(nullptr); },
        [&] { query.isNullField("n"); },
    };
    for (const auto& action : bad)
        EXPECT_EQ(SqlError(action), "SQLWRAP_ERROR[1000]: Invalid field name requested");
    const std::function<void()> badIndex[] = {
        [&] { query.columnText(2); },
        [&] { query.columnName(-1); },
        [&] { query.columnType(5); },
        [&] { query.getDoubleField(2); },
    };
    for (const auto& action : badIndex)
        EXPECT_EQ(SqlError(action), "SQLWRAP_ERROR[1000]: Invalid field index requested");

    CSqlQuery none = m_db.runQuery("SELECT * FROM T WHERE id = 99;");
    EXPECT_TRUE(none.eof());
    CSqlQuery empty;
    EXPECT_EQ(SqlError([&] { empty.columnCount(); }), "SQLWRAP_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(SqlWrapperTest, AssigningAQueryReleasesTheOldStatement)
{
    CSqlQuery query = m_db.runQuery("SELECT * FROM T;");
    CSqlQuery other = std::move(query);
    // What a moved-from query reports is the point here.
    EXPECT_EQ(SqlError([&] { query.eof(); }), // NOLINT(bugprone-use-after-move): the moved-from query is under test
        "SQLWRAP_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_FALSE(other.eof());
    other = m_db.runQuery("SELECT count(*) AS c FROM T;");
    EXPECT_EQ(other.getIntField("c"), 3);
    // With the first statement gone, the table can be dropped.
    other.finalize();
    EXPECT_EQ(SqlError([&] { m_db.execDML("DROP TABLE T;"); }), "");
}

TEST_F(SqlWrapperTest, ScalarsAndTableLookup)
{
    EXPECT_EQ(m_db.runScalar("SELECT count(*) FROM T;"), 3);
    EXPECT_EQ(m_db.runScalar("SELECT n FROM T WHERE id = 3;"), -1);
    EXPECT_EQ(m_db.runScalar("SELECT max(n) FROM T WHERE id = 99;"), 0); // NULL
    EXPECT_EQ(SqlError([&] { m_db.runScalar("SELECT n FROM T WHERE id = 99;"); }),
        "SQLWRAP_ERROR[1000]: Invalid scalar query");
    EXPECT_TRUE(m_db.hasTable("T"));
    EXPECT_FALSE(m_db.hasTable("t2"));
    EXPECT_FALSE(m_db.hasTable("x' OR '1'='1"));
}

TEST_F(SqlWrapperTest, BufferQuotesTexts)
{
    CSqlBuffer bufSQL;
    EXPECT_EQ(bufSQL.text(), nullptr);
    bufSQL.format("INSERT INTO T (id, name, n) VALUES (%d, %Q, %u);", 7, "it's \"quoted\"", 4294967295u);
    EXPECT_STREQ(bufSQL, "INSERT INTO T (id, name, n) VALUES (7, 'it''s \"quoted\"', 4294967295);");
    EXPECT_EQ(m_db.execDML(bufSQL), 1);
    bufSQL.format("INSERT INTO T (id, name) VALUES (8, %Q);", static_cast<const char*>(nullptr));
    EXPECT_STREQ(bufSQL, "INSERT INTO T (id, name) VALUES (8, NULL);");
    m_db.execDML(bufSQL);

    CSqlQuery query = m_db.runQuery(bufSQL.format("SELECT name, n FROM T WHERE id IN (%d, %d) ORDER BY id;", 7, 8));
    EXPECT_STREQ(query.getStringField("name"), "it's \"quoted\"");
    EXPECT_EQ(query.getIntField("n"), -1);
    query.stepRow();
    EXPECT_TRUE(query.isNullField("name"));
}

TEST_F(SqlWrapperTest, TableHoldsTheWholeResult)
{
    CSqlTable table = m_db.loadTable("SELECT id, name, n FROM T ORDER BY id;");
    EXPECT_EQ(table.numRows(), 3);
    EXPECT_EQ(table.numFields(), 3);
    EXPECT_STREQ(table.fieldName(1), "name");
    EXPECT_EQ(table.getIntField("id"), 1);
    table.setRow(1);
    EXPECT_TRUE(table.fieldIsNull("name"));
    EXPECT_EQ(table.getIntField(2, 42), 42);
    EXPECT_STREQ(table.getStringField("name", "-"), "-");
    table.setRow(2);
    EXPECT_EQ(table.getIntField("n"), -1);
    EXPECT_EQ(SqlError([&] { table.setRow(3); }), "SQLWRAP_ERROR[1000]: Invalid row index requested");
    EXPECT_EQ(SqlError([&] { table.fieldValue("nope"); }), "SQLWRAP_ERROR[1000]: Invalid field name requested");
    EXPECT_EQ(SqlError([&] { table.fieldValue(3); }), "SQLWRAP_ERROR[1000]: Invalid field index requested");

    CSqlTable none = m_db.loadTable("SELECT id FROM T WHERE id = 99;");
    EXPECT_EQ(none.numRows(), 0);
    EXPECT_NE(SqlError([&] { none.fieldValue(0); }), "");

    CSqlTable empty;
    EXPECT_EQ(SqlError([&] { empty.numRows(); }), "SQLWRAP_ERROR[1000]: Null Results pointer");
    EXPECT_EQ(SqlError([&] { m_db.loadTable("SELECT * FROM Missing;"); }), "SQLITE_ERROR[1]: no such table: Missing");
}

TEST_F(SqlWrapperTest, StatementBindsAndRuns)
{
    CSqlStatement insert = m_db.prepareStatement("INSERT INTO T (id, name, n, x) VALUES (?, ?, ?, ?);");
    insert.bind(1, 10);
    insert.bind(2, "ten");
    insert.bind(3, 100);
    insert.bind(4, 0.25);
    EXPECT_EQ(insert.execDML(), 1);
    insert.bind(1, 11);
    const unsigned char blob[] = { 0, 1, 2, 0xFF };
    insert.bind(2, blob, 4);
    insert.bindNull(3);
    EXPECT_EQ(insert.execDML(), 1);
    EXPECT_EQ(SqlError([&] { insert.bind(5, 1); }), "SQLITE_RANGE[25]: Error binding int param");
    EXPECT_EQ(SqlError([&] {
        insert.bind(1, 10);
        insert.execDML();
    }),
        "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: T.id");

    CSqlStatement select = m_db.prepareStatement("SELECT name, n FROM T WHERE id >= ? ORDER BY id;");
    select.bind(1, 10);
    {
        CSqlQuery rows = select.runQuery();
        EXPECT_STREQ(rows.getStringField("name"), "ten");
        rows.stepRow();
        int length = 0;
        const unsigned char* data = rows.blobField("name", length);
        ASSERT_EQ(length, 4);
        EXPECT_EQ(data[3], 0xFF);
        EXPECT_TRUE(rows.isNullField("n"));
        rows.stepRow();
        EXPECT_TRUE(rows.eof());
    }
    // The query did not own the statement: it runs again.
    select.reset();
    select.bind(1, 11);
    CSqlQuery again = select.runQuery();
    EXPECT_FALSE(again.eof());
    again.finalize();
    select.finalize();
    EXPECT_EQ(SqlError([&] { select.execDML(); }), "SQLWRAP_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(SqlError([&] { select.bind(1, "x"); }), "SQLWRAP_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(SqlWrapperTest, BusyWaitBoundsTheWaitForAnotherConnection)
{
    CSqlDatabase other;
    other.open(m_dir.File("test.db").c_str());
    other.execDML("BEGIN EXCLUSIVE;");
    m_db.setBusyWait(200);
    const auto start = std::chrono::steady_clock::now();
    int code = 0;
    SqlError([&] { m_db.execDML("UPDATE T SET n = 1;"); }, &code);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(code, 5);
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(10));
    other.execDML("COMMIT;");
    EXPECT_EQ(m_db.execDML("UPDATE T SET n = 1;"), 3);
}

TEST_F(SqlWrapperTest, OneThreadsWaitForAnotherConnectionCanBeCutShort)
{
    CSqlDatabase other;
    other.open(m_dir.File("test.db").c_str());
    other.execDML("BEGIN EXCLUSIVE;");
    int code = 0;
    {
        // This thread gives up at once; the connection's busy wait (60 s) is not waited.
        const CThreadBusyLimit limit(m_db, 0);
        const std::string error = SqlError([&] { m_db.execDML("UPDATE T SET n = 1;"); }, &code);
        EXPECT_EQ(code, 5);
        EXPECT_EQ(error.rfind("SQLITE_BUSY[5]: ", 0), 0u) << error;
    }
    // Out of the scope the busy wait holds again: the write waits until the other connection lets
    // go (a thread of its own commits a moment later).
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.execDML("COMMIT;");
    });
    EXPECT_EQ(m_db.execDML("UPDATE T SET n = 2;"), 3);
    const std::thread::id elsewhere = releaser.get_id();
    releaser.join();
    // A limit set for another thread does not cut this one's wait.
    other.execDML("BEGIN EXCLUSIVE;");
    m_db.setThreadBusyLimit(elsewhere, 0);
    std::thread second([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.execDML("COMMIT;");
    });
    EXPECT_EQ(m_db.execDML("UPDATE T SET n = 3;"), 3);
    second.join();
}
