#include "engine/CheckResultStore.h"

#include "core/Conversion.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/db/WriteAheadLog.h"
#include "engine/PageCtx.h"
#include "engine/PageRows.h"

SStoredPage StoreCheckResult(CSqlDatabase& db, const SPageCtx& ctx)
{
    {
        const CResultWriteSync relaxed(db);
        CSqlBuffer sql;
        const int changed = db.execDML(sql.format(
            "UPDATE PAGES SET lastChecked = %u, lastModified = %u, checkSum = %u, status = %d, errorCode = %d, "
            "httpStatusCode = %d WHERE id = %d AND groupId = %d;",
            ctx.m_tLastChecked, ctx.m_tLastModified, ctx.m_dwCheckSum, ctx.m_iStatus,
            static_cast<int>(ctx.m_dwErrorCode.load()), static_cast<int>(ctx.m_dwHttpStatusCode),
            static_cast<int>(ctx.m_nPageId), static_cast<int>(ctx.m_nGroupId)));
        FAIL_CHECK((1 == changed), QStringLiteral("Unable to update database record."));
    }
    SStoredPage stored;
    stored.row = ReadPageRow(db, ctx.m_nGroupId, ctx.m_nPageId);
    stored.strUrlBrowser = CAnsiToWide(stored.row.getStringField("urlBrowser", "")).Get();
    stored.strDescr = CAnsiToWide(stored.row.getStringField("descr", "")).Get();
    return stored;
}
