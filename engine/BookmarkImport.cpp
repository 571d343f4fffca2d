#include "engine/BookmarkImport.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/FreeId.h"
#include "core/db/Savepoint.h"
#include "core/db/SqlWrapper.h"
#include "engine/GroupRows.h"

#include <set>

TRACE_MODULE("CImportPropSheet");

namespace {

// A page that has never been fetched: no check time, no modification time, no checksum.
constexpr uint32_t kNever = 0xFFFFFFFFu;
constexpr int kStatusUnknown = 4;

QByteArray Ansi(const QString& text)
{
    return CWideToAnsi(text).Get();
}

// The ids of the group's pages, whole (not cut to 16 bits).
std::set<long long> PageIds(CSqlDatabase& db, WORD nGroupId)
{
    CSqlBuffer sql;
    std::set<long long> ids;
    CSqlQuery rows = db.runQuery(sql.format("SELECT id FROM PAGES WHERE groupId = %d;", int(nGroupId)));
    for (; !rows.eof(); rows.stepRow())
        ids.insert(QByteArray(rows.columnText(0)).toLongLong());
    return ids;
}

// True when a page of the group other than those about to go has the address.
bool GroupHasAddress(CSqlDatabase& db, WORD nGroupId, const QByteArray& url, const std::set<long long>& going)
{
    CSqlBuffer sql;
    CSqlQuery rows = db.runQuery(
        sql.format("SELECT id FROM PAGES WHERE (groupId = %d) AND (url = %Q);", int(nGroupId), url.constData()));
    for (; !rows.eof(); rows.stepRow()) {
        if (!going.count(QByteArray(rows.columnText(0)).toLongLong()))
            return true;
    }
    return false;
}

} // namespace

QString ImportedAddress(const QString& url)
{
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return url;
    QString address = url.left(colon).toLower() + url.mid(colon);
    if (address.mid(colon + 1, 2) != QLatin1String("//"))
        return address;
    const qsizetype authorityStart = colon + 3;
    qsizetype authorityEnd = authorityStart;
    while (authorityEnd < address.size() && !QStringView(u"/?#").contains(address[authorityEnd]))
        ++authorityEnd;
    // A user name before "@" keeps its case; the port after the host has none.
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'), authorityEnd - 1);
    const qsizetype hostStart = at >= authorityStart ? at + 1 : authorityStart;
    address.replace(hostStart, authorityEnd - hostStart, address.mid(hostStart, authorityEnd - hostStart).toLower());
    return address;
}

SImportOutcome StoreImportedBookmarks(CSqlDatabase& db, WORD nGroupId, const QString& newGroupTitle, bool clearGroup,
    const std::vector<SImportedBookmark>& bookmarks, uint32_t interval)
{
    SImportOutcome outcome;
    CSavepoint transaction(db, "ImportBookmarks");
    CSqlBuffer sql;
    if (nGroupId == kNewImportGroup) {
        const int id = InsertGroup(db, newGroupTitle, true, 1);
        FAIL_CHECK(id != 0, QStringLiteral("Unable to insert new group."));
        nGroupId = static_cast<WORD>(id);
        outcome.m_bNewGroup = true;
        TRACE1(u"CImportPropSheet::CImportPropSheet_IEFavorites<>::OnWizardFinish. New group id: %d\n", id);
    } else {
        FAIL_CHECK(!ReadGroupRow(db, nGroupId).eof(), QStringLiteral("Unable to find group in database."));
    }
    // The pages a clearing removes go only after the new ones are in: their ids are never given
    // again to a new page, so a check of an old page that ends late cannot land on a new one.
    const std::set<long long> going
        = clearGroup && !outcome.m_bNewGroup ? PageIds(db, nGroupId) : std::set<long long>();
    outcome.m_nGroupId = nGroupId;

    for (const SImportedBookmark& bookmark : bookmarks) {
        const QByteArray url = Ansi(bookmark.m_strUrl);
        TRACE1(u"CImportPropSheet::CImportPropSheet_IEFavorites<>::OnWizardFinish. Adding page \"%hs\".\n", url);
        if (GroupHasAddress(db, nGroupId, url, going))
            continue;
        const int id = NewRowId(db, "PAGES");
        FAIL_CHECK(id != 0, QStringLiteral("Unable to insert page in group."));
        const int changed = db.execDML(sql.format(
            "INSERT INTO PAGES (id, groupId, url, urlBrowser, startCheckMask, stopCheckMask, descr, lastChecked, "
            "lastModified, checkSum, enable, interval, status, errorCode, httpStatusCode) VALUES (%d, %d, %Q, %Q, "
            "\"\", \"\", %Q, %u, %u, %u, %d, %u, %d, %d, %d);",
            id, int(nGroupId), url.constData(), url.constData(), Ansi(bookmark.m_strName).constData(), kNever, kNever,
            kNever, 1, interval, kStatusUnknown, 0, 0));
        FAIL_CHECK(changed == 1, QStringLiteral("Unable to insert page in group."));
        ++outcome.m_nAdded;
    }
    for (long long id : going)
        db.execDML(sql.format("DELETE FROM PAGES WHERE groupId = %d AND id = %lld;", int(nGroupId), id));
    transaction.Release();
    return outcome;
}
