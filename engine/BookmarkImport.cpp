#include "engine/BookmarkImport.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/FreeId.h"
#include "core/db/Savepoint.h"
#include "core/db/SqlWrapper.h"
#include "engine/GroupRows.h"

TRACE_MODULE("CImportPropSheet");

namespace {

// A page that has never been fetched: no check time, no modification time, no checksum.
constexpr uint32_t kNever = 0xFFFFFFFFu;
constexpr int kStatusUnknown = 4;

QByteArray Ansi(const QString& text)
{
    return CWideToAnsi(text).Get();
}

bool GroupHasAddress(CSqlDatabase& db, WORD nGroupId, const QByteArray& url)
{
    CSqlBuffer sql;
    CSqlQuery rows = db.runQuery(
        sql.format("SELECT * FROM PAGES WHERE (groupId = %d) AND (url = %Q);", int(nGroupId), url.constData()));
    return !rows.eof();
}

}  // namespace

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
        if (clearGroup)
            db.execDML(sql.format("DELETE FROM PAGES WHERE groupId = %d;", int(nGroupId)));
    }
    outcome.m_nGroupId = nGroupId;

    for (const SImportedBookmark& bookmark : bookmarks) {
        const QByteArray url = Ansi(bookmark.m_strUrl);
        TRACE1(u"CImportPropSheet::CImportPropSheet_IEFavorites<>::OnWizardFinish. Adding page \"%hs\".\n", url);
        if (GroupHasAddress(db, nGroupId, url))
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
    transaction.Release();
    return outcome;
}
