#include "core/db/RowIds.h"

#include "core/DebugTracer.h"
#include "core/db/SqlWrapper.h"

#include <QByteArray>

#include <mutex>
#include <set>
#include <string>
#include <utility>

TRACE_MODULE("CMainFrame");

namespace {

// The rows already reported, so a row met every minute by the scheduler is traced only once.
bool FirstReport(const char* table, long long id)
{
    static std::mutex lock;
    static std::set<std::pair<std::string, long long>> reported;
    std::lock_guard<std::mutex> guard(lock);
    return reported.emplace(table, id).second;
}

} // namespace

bool ReadRowId(CSqlQuery& row, const char* table, const char* field, WORD& id)
{
    bool ok = false;
    const long long value = QByteArray(row.getStringField(field, "")).toLongLong(&ok);
    if (ok && IsAddressableId(value)) {
        id = static_cast<WORD>(value);
        return true;
    }
    if (FirstReport(table, ok ? value : -1))
        TRACE0(u"A row of %hs has the id \"%hs\", which does not fit in 16 bits; the row is left out.\r\n", table,
            row.getStringField(field, ""));
    return false;
}
