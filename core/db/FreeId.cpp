#include "core/db/FreeId.h"

#include "core/db/SqlWrapper.h"

#include <QByteArray>

#include <vector>

namespace {

// 0xFFFF means "no id" where ids travel.
constexpr int kLargestId = 0xFFFE;

} // namespace

int NewRowId(CSqlDatabase& db, const char* table)
{
    CSqlBuffer sql;
    CSqlQuery largest = db.runQuery(sql.format("SELECT MAX(id) FROM %s;", table));
    if (largest.isNullField(0))
        return 1;
    const long long next = QByteArray(largest.columnText(0)).toLongLong() + 1;
    largest.finalize();
    if (next >= 1 && next <= kLargestId)
        return static_cast<int>(next);

    // Rare: the ids have reached the end of the 16-bit range once; look for a gap.
    std::vector<bool> used(0x10000, false);
    CSqlQuery ids = db.runQuery(sql.format("SELECT id FROM %s;", table));
    for (; !ids.eof(); ids.stepRow())
        used[static_cast<size_t>(QByteArray(ids.columnText(0)).toLongLong() & 0xFFFF)] = true;
    for (int id = 1; id <= kLargestId; ++id) {
        if (!used[static_cast<size_t>(id)])
            return id;
    }
    return 0;
}
