#include "engine/GroupRows.h"

#include "core/Conversion.h"
#include "core/db/FreeId.h"

namespace {

QByteArray Ansi(const QString& text)
{
    return CWideToAnsi(text).Get();
}

} // namespace

bool IsGroupTitleTaken(CSqlDatabase& db, const QString& title)
{
    CSqlBuffer sql;
    CSqlQuery rows = db.runQuery(sql.format("SELECT * FROM GROUPS WHERE title = %Q;", Ansi(title).constData()));
    return !rows.eof();
}

int InsertGroup(CSqlDatabase& db, const QString& title, bool enable, int sortType)
{
    const int id = NewRowId(db, "GROUPS");
    if (id == 0)
        return 0;
    CSqlBuffer sql;
    db.execDML(sql.format("INSERT INTO GROUPS (id, title, enable, sortType, pagesOrder) VALUES (%d, %Q, %d, %d, NULL);",
        id, Ansi(title).constData(), enable ? 1 : 0, sortType));
    return id;
}

CSqlQuery ReadGroupRow(CSqlDatabase& db, WORD nGroupId)
{
    CSqlBuffer sql;
    return db.runQuery(sql.format("SELECT * FROM GROUPS WHERE id = %d;", int(nGroupId)));
}

int UpdateGroup(CSqlDatabase& db, WORD nGroupId, const QString& title, bool enable, int sortType)
{
    CSqlBuffer sql;
    return db.execDML(sql.format("UPDATE GROUPS SET title = %Q, enable = %d, sortType = %d WHERE id = %d;",
        Ansi(title).constData(), enable ? 1 : 0, sortType, int(nGroupId)));
}

int SetGroupEnable(CSqlDatabase& db, WORD nGroupId, bool enable)
{
    CSqlBuffer sql;
    return db.execDML(sql.format("UPDATE GROUPS SET enable = %d WHERE id = %d;", enable ? 1 : 0, int(nGroupId)));
}

void DeleteGroupWithPages(CSqlDatabase& db, WORD nGroupId)
{
    CSqlBuffer sql;
    db.execDML(sql.format("DELETE FROM PAGES WHERE groupId = %d;", int(nGroupId)));
    db.execDML(sql.format("DELETE FROM GROUPS WHERE id = %d;", int(nGroupId)));
}
