#include "engine/Scheduler.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/db/RowIds.h"
#include "core/db/SqlWrapper.h"
#include "platform/inet/WinInet.h"

TRACE_MODULE("CMainFrame");

namespace {

QString TextColumn(CSqlQuery& row, const char* name)
{
    return CAnsiToWide(row.getStringField(name, "")).Get();
}

DWORD NumberColumn(CSqlQuery& row, const char* name)
{
    return static_cast<DWORD>(row.getIntField(name, 0));
}

// The sort types the tree lists pages for: alphabetical ascending and descending, by status, in the
// user's order.
constexpr int kFirstSortType = 1;
constexpr int kLastSortType = 4;

} // namespace

std::unique_ptr<CPageCheck> MakePageCheck(const SCheckSource& source, CSqlQuery& row, WORD nGroupId)
{
    auto check = std::make_unique<CPageCheck>(std::make_unique<SPageCtx>());
    SPageCtx* ctx = &check->Ctx();
    ctx->Reset();
    ctx->m_hNotifyWnd = source.hNotifyWnd;
    ctx->m_strDescr = TextColumn(row, "descr");
    ctx->m_strStartCheckMask = TextColumn(row, "startCheckMask");
    ctx->m_strStopCheckMask = TextColumn(row, "stopCheckMask");
    ctx->m_tLastChecked = NumberColumn(row, "lastChecked");
    ctx->m_tLastModified = NumberColumn(row, "lastModified");
    ctx->m_dwCheckSum = NumberColumn(row, "checkSum");
    ctx->m_iStatus = static_cast<int>(NumberColumn(row, "status"));
    ctx->m_dwErrorCode = NumberColumn(row, "errorCode");
    ctx->m_dwHttpStatusCode = NumberColumn(row, "httpStatusCode");
    FAIL_CHECK(ReadRowId(row, "PAGES", "id", ctx->m_nPageId), QStringLiteral("The page's id does not fit in 16 bits."));
    ctx->m_nGroupId = nGroupId;
    check->MakeWorker(source.hInternet, TextColumn(row, "url"), source.pPrefs);
    return check;
}

void QueueDuePages(const SCheckSource& source, CCheckLists& lists, uint32_t now)
{
    AUTO_DB_LOCKER_ON(source.dbMutex);
    const bool wasEmpty = lists.m_ctxsPending.empty();
    try {
        // One statement for all groups: one per group made every tick cost as many statements as
        // there are groups (500 at 50,000 pages), however few pages were due. The order is the
        // groups' as their table lists them and, within a group, the oldest check first; pages
        // checked at the same second come in the order of their ids, as a group's own statement
        // gave them.
        CSqlBuffer sql;
        CSqlQuery pages = source.db.runQuery(sql.format(
            "SELECT PAGES.*, GROUPS.id AS dueGroupId, GROUPS.title AS dueGroupTitle, GROUPS.sortType AS dueGroupSort "
            "FROM GROUPS JOIN PAGES ON PAGES.groupId = GROUPS.id "
            "WHERE (GROUPS.enable = 1) AND (PAGES.enable = 1) AND ((%u - PAGES.lastChecked) >= PAGES.interval) "
            "ORDER BY GROUPS.id, PAGES.lastChecked ASC, PAGES.id ASC;",
            now));
        for (; !pages.eof(); pages.stepRow()) {
            WORD nGroupId;
            if (!ReadRowId(pages, "GROUPS", "dueGroupId", nGroupId))
                continue;
            // The tree lists the pages of a group only for the sort types it knows, and a result
            // is stored and shown through the page's item: without one it would be fetched only
            // to be dropped, at every tick.
            const int sortType = pages.getIntField("dueGroupSort", 0);
            if (sortType < kFirstSortType || sortType > kLastSortType) {
                if (lists.FirstTimeLeftAlone(nGroupId))
                    TRACE0(u"CMainFrame::OnTimer(g_iIntervalTimerId). Group %d \"%s\" has the unknown sort type %d: "
                           u"the tree shows none of its pages, so they are not checked.\n",
                        static_cast<int>(nGroupId), TextColumn(pages, "dueGroupTitle"), sortType);
                continue;
            }
            WORD nPageId;
            if (!ReadRowId(pages, "PAGES", "id", nPageId))
                continue;
            try {
                FAIL_CHECK(
                    !lists.IsRunning(nGroupId, nPageId), QStringLiteral("This page now in processing. Skip it."));
                FAIL_CHECK(
                    !lists.IsPending(nGroupId, nPageId), QStringLiteral("This page now in pending list. Skip it."));
                lists.Queue(MakePageCheck(source, pages, nGroupId));
            } catch (const CCmnException& e) {
                TRACE1(u"CMainFrame::OnTimer(g_iIntervalTimerId). Exception: %s.\n", e.GetMessage());
            }
        }
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnTimer(g_iIntervalTimerId). %s.\n", SqlErrorText(e));
    }
    if (wasEmpty)
        lists.CheckPendingList();
}

void QueueGroupPages(const SCheckSource& source, CCheckLists& lists, WORD nGroupId, int sortType)
{
    CSqlBuffer sql;
    const char* query = nullptr;
    switch (sortType) {
    case 1:
        query = sql.format("SELECT * FROM PAGES WHERE groupId = %d AND enable = 1 ORDER BY descr %s;",
            static_cast<int>(nGroupId), "ASC");
        break;
    case 2:
        query = sql.format("SELECT * FROM PAGES WHERE groupId = %d AND enable = 1 ORDER BY descr %s;",
            static_cast<int>(nGroupId), "DESC");
        break;
    case 3:
        query = sql.format("SELECT * FROM PAGES WHERE (groupId = %d) AND (enable = 1) ORDER BY STATUS ASC;",
            static_cast<int>(nGroupId));
        break;
    case 4:
        query = sql.format("SELECT * FROM PAGES WHERE (groupId = %d) AND (enable = 1);", static_cast<int>(nGroupId));
        break;
    default:
        FAIL_CHECK(FALSE, QStringLiteral("Unknown group sort type."));
    }
    AUTO_DB_LOCKER_ON(source.dbMutex);
    try {
        CSqlQuery pages = source.db.runQuery(query);
        FAIL_CHECK(!pages.eof(), QStringLiteral("Group is empty."));
        const bool wasEmpty = lists.m_ctxsPending.empty();
        try {
            for (; !pages.eof(); pages.stepRow()) {
                WORD nPageId;
                if (!ReadRowId(pages, "PAGES", "id", nPageId))
                    continue;
                if (lists.IsPending(nGroupId, nPageId)) {
                    TRACE2(u"CMainFrame::OnGroupCheckAll. Page already in processing. Skipping.\n");
                    continue;
                }
                lists.Queue(MakePageCheck(source, pages, nGroupId));
            }
        } catch (...) {
            // Pages queued before the failure still get their turn; left alone, nothing would
            // ever start them.
            if (wasEmpty)
                lists.CheckPendingList();
            throw;
        }
        if (wasEmpty)
            lists.CheckPendingList();
    } catch (const CSqlException& e) {
        throw CCmnException(SqlErrorText(e));
    }
}

bool IsOfflineConnection(BOOL connected, DWORD flags, bool dialUpLinkUp)
{
    if (!connected)
        return true;
    return !(flags & INTERNET_CONNECTION_LAN) && (flags & INTERNET_CONNECTION_MODEM) && !dialUpLinkUp;
}
