#include "engine/PageEdits.h"

#include "core/Conversion.h"
#include "core/Exceptions.h"
#include "core/db/FreeId.h"
#include "core/db/SqlWrapper.h"

namespace {

QByteArray Ansi(const QString& text)
{
    return CWideToAnsi(text).Get();
}

} // namespace

bool IsPageUrlTaken(CSqlDatabase& db, WORD nGroupId, const QString& url)
{
    CSqlBuffer sql;
    CSqlQuery rows = db.runQuery(
        sql.format("SELECT * FROM PAGES WHERE url = %Q AND groupId = %d;", Ansi(url).constData(), int(nGroupId)));
    return !rows.eof();
}

int InsertPageRow(CSqlDatabase& db, WORD nGroupId, const SPageFields& fields, const SPageCtx& ctx)
{
    const int id = NewRowId(db, "PAGES");
    if (id == 0)
        return 0;
    CSqlBuffer sql;
    const int changed = db.execDML(sql.format(
        "INSERT INTO PAGES (id, groupId, url, urlBrowser, startCheckMask, stopCheckMask, descr, lastChecked, "
        "lastModified, checkSum, enable, interval, status, errorCode, httpStatusCode) VALUES (%d, %d, %Q, %Q, %Q, %Q, "
        "%Q, %u, %u, %u, %d, %u, %d, %d, %d);",
        id, int(nGroupId), Ansi(fields.url).constData(), Ansi(fields.urlBrowser).constData(),
        Ansi(ctx.m_strStartCheckMask).constData(), Ansi(ctx.m_strStopCheckMask).constData(),
        Ansi(fields.descr).constData(), ctx.m_tLastChecked, ctx.m_tLastModified, ctx.m_dwCheckSum,
        fields.enable ? 1 : 0, fields.interval, ctx.m_iStatus, int(ctx.m_dwErrorCode.load()),
        int(ctx.m_dwHttpStatusCode)));
    FAIL_CHECK(changed == 1, QStringLiteral("Unable to add page."));
    return id;
}

int UpdatePageRow(CSqlDatabase& db, WORD nGroupId, WORD nPageId, const SPageFields& fields, const SPageCtx& ctx)
{
    CSqlBuffer sql;
    return db.execDML(sql.format(
        "UPDATE PAGES SET url = %Q, urlBrowser = %Q, startCheckMask = %Q, stopCheckMask = %Q, descr = %Q, "
        "lastChecked = %u, lastModified = %u, checkSum = %u, enable = %d, interval = %u, status = %d, errorCode = %d, "
        "httpStatusCode = %d WHERE id = %d and groupId = %d;",
        Ansi(fields.url).constData(), Ansi(fields.urlBrowser).constData(), Ansi(ctx.m_strStartCheckMask).constData(),
        Ansi(ctx.m_strStopCheckMask).constData(), Ansi(fields.descr).constData(), ctx.m_tLastChecked,
        ctx.m_tLastModified, ctx.m_dwCheckSum, fields.enable ? 1 : 0, fields.interval, ctx.m_iStatus,
        int(ctx.m_dwErrorCode.load()), int(ctx.m_dwHttpStatusCode), int(nPageId), int(nGroupId)));
}
