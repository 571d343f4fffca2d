// What the bookmark import stores: the chosen bookmarks as new pages of one group, all or nothing.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <cstdint>
#include <vector>

class CSqlDatabase;

// The id that stands for "no group yet": the import creates one.
constexpr WORD kNewImportGroup = 0xFFFF;
// The title of the group an import creates.
inline constexpr char16_t kImportedGroupTitle[] = u"IMPORTED BOOKMARKS";

// The address as the import lists and stores it: the bookmark's own text, with only the parts
// that never depend on letter case (the scheme and the host name) in lower case. Paths, queries
// and user names keep their case, so an address compares equal to the same page added by hand.
QString ImportedAddress(const QString& url);

struct SImportedBookmark {
    QString m_strName;
    QString m_strUrl;
};

struct SImportOutcome {
    WORD m_nGroupId = kNewImportGroup;
    bool m_bNewGroup = false;
    int m_nAdded = 0; // pages stored; bookmarks already in the group are not
};

// Stores the bookmarks, in order, as pages of group nGroupId (kNewImportGroup: a new group titled
// newGroupTitle, enabled, sorted alphabetically). A bookmark whose address the group holds already
// (an earlier bookmark of the same import included) is skipped. clearGroup removes the group's earlier pages
// (their ids are not given to the new pages). Everything happens in one transaction: when any step fails, nothing of it
// stays and the failure is thrown (CSqlException from the database, CCmnException for a missing group or an id that
// cannot be given). New ids fit 16 bits. The caller holds the database lock.
SImportOutcome StoreImportedBookmarks(CSqlDatabase& db, WORD nGroupId, const QString& newGroupTitle, bool clearGroup,
    const std::vector<SImportedBookmark>& bookmarks, uint32_t interval);
