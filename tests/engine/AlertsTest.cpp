#include "engine/Alerts.h"
#include "engine/CheckResultStore.h"

#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"
#include "engine/PageCtx.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

using taluvo::test::TempDir;

TEST(Alerts, StoredResultReadsBack)
{
    TempDir dir;
    CSqlDatabase db;
    CMutex mutex;
    CPreferences prefs;
    db.open(dir.File("database.db").c_str());
    CheckDb(db, mutex, prefs);
    db.execDML("INSERT INTO PAGES (id, groupId, url, urlBrowser, descr, status) VALUES (7, 3, 'http://a/', "
               "'http://b/', 'D\xC3\xA9', 4);");
    SPageCtx ctx;
    ctx.Reset();
    ctx.m_nGroupId = 3;
    ctx.m_nPageId = 7;
    ctx.m_tLastChecked = 4000000000u;
    ctx.m_tLastModified = kNoTime;
    ctx.m_dwCheckSum = 0xCBF43926u;
    ctx.m_iStatus = statusNew;
    ctx.m_dwHttpStatusCode = 200;
    const SStoredPage page = StoreCheckResult(db, ctx);
    EXPECT_EQ(page.strUrlBrowser, QStringLiteral("http://b/"));
    EXPECT_EQ(page.strDescr, QStringLiteral("D\u00E9"));
    CSqlQuery row
        = db.runQuery("SELECT lastChecked, checkSum, status, httpStatusCode, lastModified FROM PAGES WHERE id = 7;");
    EXPECT_EQ(static_cast<uint32_t>(row.getIntField("lastChecked")), 4000000000u);
    EXPECT_EQ(static_cast<uint32_t>(row.getIntField("checkSum")), 0xCBF43926u);
    EXPECT_EQ(row.getIntField("status"), statusNew);
    EXPECT_EQ(row.getIntField("httpStatusCode"), 200);
    EXPECT_EQ(row.getIntField("lastModified"), -1);
    row.finalize();

    ctx.m_nPageId = 8; // no such row
    EXPECT_THROW(StoreCheckResult(db, ctx), CFailException);
}

TEST(Alerts, PopupRowsAreEscapedAndCounted)
{
    const QString row
        = BuildPopupRow(1, 2, QStringLiteral("http://x/?a=1&b=\"2\""), QStringLiteral("http://y/<script>"));
    EXPECT_EQ(row,
        QStringLiteral(
            "<tr><td><icon idres=128 width=16 height=16></td><td><a msg=\"1,2,http://x/?a=1&amp;b=&quot;2&quot;\">"
            "http://y/&lt;script&gt;</a></td></tr>"));
    QString lines;
    EXPECT_TRUE(AddPopupRow(lines, row, false, 5));
    EXPECT_EQ(CountPopupRows(lines), 1);
    // The same page again while the popup is visible adds nothing.
    EXPECT_FALSE(AddPopupRow(lines, row, true, 5));
    EXPECT_EQ(CountPopupRows(lines), 1);
    for (WORD page = 3; page < 7; ++page)
        EXPECT_TRUE(AddPopupRow(lines, BuildPopupRow(1, page, QStringLiteral("b"), QStringLiteral("u")), true, 5));
    EXPECT_EQ(CountPopupRows(lines), 5);
    // A sixth page drops the oldest row.
    EXPECT_TRUE(AddPopupRow(lines, BuildPopupRow(1, 9, QStringLiteral("b"), QStringLiteral("u")), true, 5));
    EXPECT_EQ(CountPopupRows(lines), 5);
    EXPECT_FALSE(lines.contains(QStringLiteral("\"1,2,")));
    EXPECT_TRUE(lines.startsWith(BuildPopupRow(1, 3, QStringLiteral("b"), QStringLiteral("u"))));
    // A hidden popup starts again from one row.
    EXPECT_TRUE(AddPopupRow(lines, row, false, 5));
    EXPECT_EQ(lines, row);
}

TEST(Alerts, NoMailWithoutRecipientsOrServer)
{
    CPreferences prefs;
    EXPECT_EQ(SendUpdateMail(prefs, QStringLiteral("http://a/")), -1);
    prefs.GetParam(kSmtpServer)->SetString(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(SendUpdateMail(prefs, QStringLiteral("http://a/")), -1); // still no recipient
}
