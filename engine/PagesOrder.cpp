#include "engine/PagesOrder.h"

#include "core/Exceptions.h"
#include "core/db/RowIds.h"
#include "core/db/SqlBinary.h"
#include "core/db/SqlWrapper.h"

#include <algorithm>

void StorePagesOrder(CSqlDatabase& db, WORD nGroupId, std::vector<WORD> ids)
{
    CSqlBuffer sql;
    CSqlQuery pages = db.runQuery(sql.format("SELECT * FROM PAGES WHERE groupId = %d ORDER BY id ASC;", int(nGroupId)));
    for (; !pages.eof(); pages.stepRow()) {
        WORD id;
        if (!ReadRowId(pages, "PAGES", "id", id))
            continue;
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    pages.finalize();

    std::vector<unsigned char> bytes;
    bytes.reserve(ids.size() * 2);
    for (WORD id : ids) {
        bytes.push_back(static_cast<unsigned char>(id & 0xFF));
        bytes.push_back(static_cast<unsigned char>(id >> 8));
    }
    CSqlBinary order;
    order.assignBinary(bytes.data(), static_cast<int>(bytes.size()));
    const int changed = db.execDML(
        sql.format("UPDATE GROUPS SET pagesOrder = %Q WHERE id = %d;", order.encodedText(), int(nGroupId)));
    FAIL_CHECK(changed == 1, QStringLiteral("Unable to update database record \"pagesOrder\"."));
}
