#include "engine/PageRows.h"

#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "engine/PageCtx.h"

int DeletePageRow(CSqlDatabase& db, WORD nGroupId, WORD nPageId)
{
    CSqlBuffer sql;
    return db.execDML(sql.format("DELETE FROM PAGES WHERE id = %d AND groupId = %d;", int(nPageId), int(nGroupId)));
}

int SetPageEnable(CSqlDatabase& db, WORD nGroupId, WORD nPageId, bool enable)
{
    CSqlBuffer sql;
    return db.execDML(sql.format(
        "UPDATE PAGES SET enable = %d WHERE id = %d AND groupId = %d;", enable ? 1 : 0, int(nPageId), int(nGroupId)));
}

int CancelPageNewStatus(CSqlDatabase& db, WORD nGroupId, WORD nPageId)
{
    CSqlBuffer sql;
    return db.execDML(sql.format("UPDATE PAGES SET status = %d WHERE id = %d AND groupId = %d AND status = %d;",
        int(statusOrdinary), int(nPageId), int(nGroupId), int(statusNew)));
}

CSqlQuery ReadPageRow(CSqlDatabase& db, WORD nGroupId, WORD nPageId)
{
    CSqlBuffer select;
    CSqlQuery page = db.runQuery(select.format(
        "SELECT * FROM PAGES WHERE id = %d and groupId = %d;", static_cast<int>(nPageId), static_cast<int>(nGroupId)));
    FAIL_CHECK(!page.eof(), QStringLiteral("Unable to find page in database."));
    return page;
}
