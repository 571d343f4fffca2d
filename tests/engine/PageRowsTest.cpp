// What the page and group commands read from and write to the tables without the window: the
// properties texts of a row at a given time, and the stored user order.
#include "engine/PageProperties.h"
#include "engine/PagesOrder.h"

#include "core/Exceptions.h"
#include "core/Mutex.h"
#include "core/Utils.h"
#include "core/db/Database.h"
#include "core/db/SqlBinary.h"
#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"
#include "engine/HttpTexts.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>

using taluvo::test::TempDir;

namespace {

constexpr long long kNever = 4294967295LL;

struct Row {
    long long lastChecked = kNever;
    long long lastModified = kNever;
    long long checkSum = kNever;
    long long interval = 3600;
    int status = 4;
    long long errorCode = 0;
    int httpCode = 0;
    std::string start;
    std::string stop;
};

class PageRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db.open(m_dir.File("database.db").c_str());
        CheckDb(m_db, m_mutex, m_prefs);
    }
    SPagePropertiesTexts Texts(const Row& r, int64_t now)
    {
        m_db.execDML("DELETE FROM PAGES;");
        const std::string sql = "INSERT INTO PAGES VALUES(1, 1, 'http://a/', 'http://b/', '" + r.start + "', '" + r.stop
            + "', 'Page', " + std::to_string(r.lastChecked) + ", " + std::to_string(r.lastModified) + ", "
            + std::to_string(r.checkSum) + ", 1, " + std::to_string(r.interval) + ", " + std::to_string(r.status) + ", "
            + std::to_string(r.errorCode) + ", " + std::to_string(r.httpCode) + ");";
        m_db.execDML(sql.c_str());
        CSqlQuery row = m_db.runQuery("SELECT * FROM PAGES WHERE id = 1;");
        return PagePropertiesTexts(row, now);
    }
    std::string Order(int groupId)
    {
        CSqlQuery row
            = m_db.runQuery(("SELECT pagesOrder FROM GROUPS WHERE id = " + std::to_string(groupId) + ";").c_str());
        if (row.isNullField("pagesOrder"))
            return "NULL";
        CSqlBinary order;
        order.assignEncoded(row.getStringField("pagesOrder"));
        const unsigned char* bytes = order.binaryData();
        std::string ids;
        for (int i = 0; i + 1 < order.binaryLength(); i += 2)
            ids += (ids.empty() ? "" : ",") + std::to_string(bytes[i] | (bytes[i + 1] << 8));
        return ids;
    }

    TempDir m_dir;
    CSqlDatabase m_db;
    CMutex m_mutex;
    CPreferences m_prefs;
};

TEST_F(PageRowsTest, PropertiesOfANeverCheckedPage)
{
    const SPagePropertiesTexts t = Texts(Row {}, 1700000000);
    EXPECT_EQ(t.url, QStringLiteral("http://a/"));
    EXPECT_EQ(t.descr, QStringLiteral("Page"));
    for (const QString* unknown : { &t.status, &t.httpCode, &t.lastChecked, &t.lastModified, &t.checkSum })
        EXPECT_EQ(*unknown, QStringLiteral("Unknown"));
    EXPECT_EQ(t.interval, QStringLiteral("1 hour"));
    EXPECT_EQ(t.checkDue, QStringLiteral("Now"));
    EXPECT_EQ(t.checkDueIn, QString());
    EXPECT_EQ(t.startCheck, QStringLiteral("[at the beginning of the page]"));
    EXPECT_EQ(t.stopCheck, QStringLiteral("[at the end of the page]"));
}

TEST_F(PageRowsTest, CheckDueAtAnInjectedTime)
{
    const int64_t now = 1700000000;
    struct Case {
        const char* name;
        long long lastChecked;
        long long interval;
        int64_t now;
        const char* in; // empty: "Now"
    };
    const Case cases[] = {
        { "due in 60 s", now - 240, 300, now, "Less than 1 minute from now" },
        { "due in 61 s", now - 239, 300, now, "1 minute from now" },
        { "due in 2 hours and 30 s", now, 7230, now, "2 hours from now" },
        { "due in a day, 3 hours and 4 minutes", now, 86400 + 3 * 3600 + 4 * 60 + 59, now,
            "1 day, 3 hours, 4 minutes from now" },
        { "due right now", now - 300, 300, now, "" },
        { "interval passed", now - 400, 300, now, "" },
        // The 32-bit sum of these overflows; the due time is a day after the last check.
        { "past 2038", 2147480000LL, 86400, 2147480000LL, "1 day from now" },
        { "checked after 2038", 2200000000LL, 600, 2200000000LL, "10 minutes from now" },
    };
    for (const Case& c : cases) {
        Row r;
        r.lastChecked = c.lastChecked;
        r.interval = c.interval;
        r.status = 3;
        const SPagePropertiesTexts t = Texts(r, c.now);
        if (*c.in) {
            EXPECT_EQ(t.checkDue, FormatTime(c.lastChecked + c.interval)) << c.name;
            EXPECT_EQ(t.checkDueIn, QString::fromUtf8(c.in)) << c.name;
        } else {
            EXPECT_EQ(t.checkDue, QStringLiteral("Now")) << c.name;
            EXPECT_EQ(t.checkDueIn, QString()) << c.name;
        }
        EXPECT_EQ(t.lastChecked, FormatTime(c.lastChecked)) << c.name;
    }
}

TEST_F(PageRowsTest, StatusCodeChecksumIntervalAndWatchedPart)
{
    struct Case {
        int status;
        long long errorCode;
        int httpCode;
        long long checkSum;
        long long interval;
        QString statusText, httpText, checkSumText, intervalText;
    };
    const Case cases[] = {
        { 1, 0, 200, 6699, 60, QStringLiteral("New"), QStringLiteral("200"), QStringLiteral("0x1A2B"),
            QStringLiteral("1 minute") },
        { 3, 0, 304, 171, 7200, QStringLiteral("Ordinary"), QStringLiteral("304"), QStringLiteral("0x00AB"),
            QStringLiteral("2 hours") },
        { 3, 0, 404, 0xDEADBEEFLL, 30, QStringLiteral("Ordinary"), QStringLiteral("404"), QStringLiteral("0xDEADBEEF"),
            QStringLiteral("Invalid interval") },
        { 2, 12007, 0, kNever, 86400, GetInternetErrorText(12007), QStringLiteral("Unknown"), QStringLiteral("Unknown"),
            QStringLiteral("1 day") },
        { 9, 0, 0, 0, 3600, QStringLiteral("Unknown"), QStringLiteral("Unknown"), QStringLiteral("0x0000"),
            QStringLiteral("1 hour") },
    };
    for (const Case& c : cases) {
        Row r;
        r.status = c.status;
        r.errorCode = c.errorCode;
        r.httpCode = c.httpCode;
        r.checkSum = c.checkSum;
        r.interval = c.interval;
        r.start = "<b>";
        r.stop = "</b>";
        const SPagePropertiesTexts t = Texts(r, 1700000000);
        EXPECT_EQ(t.status, c.statusText);
        EXPECT_EQ(t.httpCode, c.httpText);
        EXPECT_EQ(t.checkSum, c.checkSumText);
        EXPECT_EQ(t.interval, c.intervalText);
        EXPECT_EQ(t.startCheck, QStringLiteral("<b>"));
        EXPECT_EQ(t.stopCheck, QStringLiteral("</b>"));
    }
    EXPECT_FALSE(GetInternetErrorText(12007).isEmpty());
}

TEST_F(PageRowsTest, StoredOrderListsEveryPageOnceAndIsEmptyWithoutPages)
{
    m_db.execDML("INSERT INTO GROUPS VALUES(1, 'G', 1, 4, NULL);");
    m_db.execDML("INSERT INTO GROUPS VALUES(2, 'H', 1, 4, NULL);");
    for (int id : { 3, 5, 9 })
        m_db.execDML(("INSERT INTO PAGES (id, groupId, descr) VALUES (" + std::to_string(id) + ", 1, 'p');").c_str());
    m_db.execDML("INSERT INTO PAGES (id, groupId, descr) VALUES (4, 2, 'other group');");

    StorePagesOrder(m_db, 1, { 9, 3 });
    EXPECT_EQ(Order(1), "9,3,5"); // the unlisted page after the listed ones
    StorePagesOrder(m_db, 1, { 5, 9, 3 });
    EXPECT_EQ(Order(1), "5,9,3");

    m_db.execDML("DELETE FROM PAGES WHERE groupId = 1;");
    StorePagesOrder(m_db, 1, {});
    EXPECT_EQ(Order(1), ""); // an empty order, not the deleted ids
    EXPECT_THROW(StorePagesOrder(m_db, 77, { 1 }), CFailException);
    EXPECT_EQ(Order(2), "NULL");
}

} // namespace
