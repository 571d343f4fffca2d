// The tree of groups and pages: items built from GROUPS and PAGES rows, searches by id, the order
// of a group's pages (by name, by status or the user's stored order) and the first filling.
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/db/RowIds.h"
#include "core/db/SqlBinary.h"
#include "engine/PagesOrder.h"

#include <utility>
#include <vector>

TRACE_MODULE("CMainFrame");

namespace {

constexpr int kPageImageBase = 9;
constexpr UINT kDisabledOverlay = 1;

QString TextField(CSqlQuery& row, const char* field)
{
    return CAnsiToWide(QByteArray(row.getStringField(field))).Get();
}

} // namespace

HTREEITEM CMainFrame::AddGroupItem(CSqlQuery& row, HTREEITEM item)
{
    TRACE_SCOPE(u"CMainFrame::AddGroupItem");
    try {
        const int id = row.getIntField("id");
        const int sortType = row.getIntField("sortType");
        const bool enabled = row.getIntField("enable") != 0;
        const DWORD data = (static_cast<DWORD>(id) & 0xFFFF) | ((static_cast<DWORD>(sortType) & 0xFF) << 16)
            | TREE_IS_GROUP | (enabled ? TREE_IS_ENABLED : 0);
        const QString title = TextField(row, "title");
        const int image = enabled ? 0 : 2;
        if (!item) {
            item = m_mainTree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, title, image,
                image + 1, 0, 0, static_cast<LPARAM>(data), TVI_ROOT, TVI_LAST);
            if (item)
                m_checkable.SetGroup(data);
            return item;
        }
        if (!(m_mainTree.GetItemData(item) & TREE_IS_GROUP)) {
            TRACE0(u"CMainFrame::AddGroupItem - Illegal tree item data, it's not a group.\n");
            return nullptr;
        }
        if (m_mainTree.SetItem(item, TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, title, image, image + 1,
                0, 0, static_cast<LPARAM>(data)))
            m_checkable.SetGroup(data);
        return item;
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::AddGroupItem - SQL Exception. Error: %hs\r\n", e.errorMessage());
        return nullptr;
    }
}

HTREEITEM CMainFrame::AddPageItem(CSqlQuery& row, HTREEITEM item, HTREEITEM parent)
{
    try {
        const int id = row.getIntField("id");
        const bool enabled = row.getIntField("enable") != 0;
        const int status = row.getIntField("status");
        const DWORD data = (static_cast<DWORD>(id) & 0xFFFF) | ((static_cast<DWORD>(status) & 0xFF) << 16)
            | (enabled ? TREE_IS_ENABLED : 0);
        TRACE2(u"CMainFrame::AddPageItem. Added page nPageId: %d\n", id);
        const QString descr = TextField(row, "descr");
        const int image = status + kPageImageBase;
        const UINT overlay = enabled ? 0 : INDEXTOOVERLAYMASK(kDisabledOverlay);
        const UINT mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
        // The row's group is the item's: pages are never put under another group's item.
        const auto nGroupId = static_cast<WORD>(row.getIntField("groupId"));
        if (!item) {
            item = m_mainTree.InsertItem(
                mask, descr, image, image, overlay, TVIS_OVERLAYMASK, static_cast<LPARAM>(data), parent, TVI_LAST);
            if (item)
                m_checkable.SetPage(nGroupId, data);
            return item;
        }
        if (m_mainTree.GetItemData(item) & TREE_IS_GROUP) {
            TRACE0(u"CMainFrame::AddPageItem - Illegal tree item data, it's not a page.\n");
            return nullptr;
        }
        if (m_mainTree.SetItem(item, mask, descr, image, image, overlay, TVIS_OVERLAYMASK, static_cast<LPARAM>(data)))
            m_checkable.SetPage(nGroupId, data);
        return item;
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::AddPageItem - SQL Exception. Error: %hs\r\n", e.errorMessage());
        return nullptr;
    }
}

HTREEITEM CMainFrame::FindGroup(WORD nGroupId)
{
    TRACE_SCOPE(u"CMainFrame::FindGroup");
    for (HTREEITEM group = m_mainTree.GetRootItem(); group; group = m_mainTree.GetNextSiblingItem(group)) {
        const DWORD_PTR data = m_mainTree.GetItemData(group);
        if ((data & TREE_IS_GROUP) && TREE_GET_ID(data) == nGroupId)
            return group;
    }
    return nullptr;
}

HTREEITEM CMainFrame::FindPage(WORD nGroupId, WORD nPageId)
{
    // Only the first group with this id is searched.
    return m_pageItems.Find(nGroupId, nPageId);
}

BOOL CMainFrame::ResortGroup(CSqlQuery& queryGroup, HTREEITEM groupItem)
{
    TRACE_SCOPE(u"CMainFrame::ResortGroup");
    try {
        const WORD nGroupId = TREE_GET_ID(m_mainTree.GetItemData(groupItem));
        m_treeToolTip.HideTooltip();

        WORD selGroupId = 0;
        WORD selPageId = 0;
        if (HTREEITEM selected = m_mainTree.GetSelectedItem()) {
            const DWORD_PTR data = m_mainTree.GetItemData(selected);
            if (data & TREE_IS_GROUP) {
                selGroupId = TREE_GET_ID(data);
                selPageId = 0xFFFF;
            } else {
                selPageId = TREE_GET_ID(data);
                selGroupId = TREE_GET_ID(m_mainTree.GetItemData(m_mainTree.GetParentItem(selected)));
            }
        }

        if (queryGroup.eof()) {
            TRACE0(u"CMainFrame::ResortGroup - Illegal parameter. queryGroup is emptry.\n");
            return FALSE;
        }
        const int sortType = queryGroup.getIntField("sortType");
        while (HTREEITEM child = m_mainTree.GetChildItem(groupItem))
            m_mainTree.DeleteItem(child);
        m_checkable.RemovePages(nGroupId);

        CSqlBuffer sql;
        // Pages whose ids do not fit are left out: nothing could address their items.
        auto addRows = [&](CSqlQuery pages, const std::vector<bool>* skip = nullptr) {
            for (; !pages.eof(); pages.stepRow()) {
                WORD id;
                if (!ReadRowId(pages, "PAGES", "id", id))
                    continue;
                if (skip && (*skip)[id])
                    continue;
                AddPageItem(pages, nullptr, groupItem);
            }
        };
        switch (sortType) {
        case sortAlphabeticalAsc:
            addRows(m_db.runQuery(
                sql.format("SELECT * FROM PAGES WHERE groupId = %d ORDER BY descr %s;", int(nGroupId), "ASC")));
            break;
        case sortAlphabeticalDesc:
            addRows(m_db.runQuery(
                sql.format("SELECT * FROM PAGES WHERE groupId = %d ORDER BY descr %s;", int(nGroupId), "DESC")));
            break;
        case sortStatus:
            addRows(m_db.runQuery(
                sql.format("SELECT * FROM PAGES WHERE groupId = %d ORDER BY STATUS ASC;", int(nGroupId))));
            break;
        case sortUserOrder: {
            // The ids are copied first: each query below may reuse the decoder's buffer. A page
            // listed twice keeps its first place.
            std::vector<WORD> listed;
            std::vector<bool> isListed(0x10000, false);
            try {
                FAIL_CHECK(!queryGroup.isNullField("pagesOrder"), QStringLiteral("pagesOrder field data is NULL."));
                const char* encoded = queryGroup.getStringField("pagesOrder");
                FAIL_CHECK(encoded && *encoded, QStringLiteral("pagesOrder field data length is 0."));
                CSqlBinary order;
                order.assignEncoded(encoded);
                const unsigned char* bytes = order.binaryData();
                FAIL_CHECK(bytes, QStringLiteral("pagesOrder field data is NULL after decoding."));
                const int count = order.binaryLength() / 2;
                FAIL_CHECK(count > 0, QStringLiteral("items count in pagesOrder is 0."));
                for (int i = 0; i < count; ++i) {
                    const unsigned char* pair = bytes + static_cast<size_t>(i) * 2;
                    const WORD id = static_cast<WORD>(pair[0] | (pair[1] << 8));
                    if (!isListed[id]) {
                        isListed[id] = true;
                        listed.push_back(id);
                    }
                }
            } catch (CCmnException& e) {
                TRACE0(u"CMainFrame::ResortGroup - Exception: %s\n", e.GetMessage());
            }
            // One compiled statement serves every listed page: compiling it again for each of them
            // cost more than reading the rows and made up half of the start-up at 50,000 pages.
            CSqlStatement byId = m_db.prepareStatement("SELECT * FROM PAGES WHERE groupId = ?1 AND id = ?2;");
            byId.bind(1, int(nGroupId));
            for (WORD id : listed) {
                byId.bind(2, int(id));
                addRows(byId.runQuery());
            }
            // Pages the stored order does not list (added by another tool, or before an order was
            // ever stored) follow in id order, as writing the order puts them: left out, their
            // checks would find no item and be thrown away every minute.
            addRows(m_db.runQuery(sql.format("SELECT * FROM PAGES WHERE groupId = %d ORDER BY id ASC;", int(nGroupId))),
                &isListed);
            break;
        }
        default:
            return FALSE;
        }

        HTREEITEM reselect = selPageId == 0xFFFF ? FindGroup(selGroupId) : FindPage(selGroupId, selPageId);
        if (selGroupId || selPageId)
            m_mainTree.SelectItem(reselect);
        return TRUE;
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::ResortGroup - SQL Exception. Error: %hs\r\n", e.errorMessage());
        return FALSE;
    }
}

BOOL CMainFrame::UpdateGroupPagesOrder(HTREEITEM groupItem)
{
    TRACE_SCOPE(u"CMainFrame::UpdateGroupPagesOrder");
    try {
        const DWORD_PTR groupData = m_mainTree.GetItemData(groupItem);
        if (TREE_GET_SORT_TYPE(groupData) != sortUserOrder)
            return FALSE;
        const WORD nGroupId = TREE_GET_ID(groupData);

        std::vector<WORD> ids;
        for (HTREEITEM page = m_mainTree.GetChildItem(groupItem); page; page = m_mainTree.GetNextSiblingItem(page))
            ids.push_back(TREE_GET_ID(m_mainTree.GetItemData(page)));

        AUTO_DB_LOCKER();
        SqlGuard([&] { StorePagesOrder(m_db, nGroupId, std::move(ids)); });
        return TRUE;
    } catch (CFailException& e) {
        TRACE0(u"CMainFrame::UpdateGroupPagesOrder - Exception: %s\n", e.GetMessage());
        return FALSE;
    }
}

void CMainFrame::LoadContent()
{
    TRACE_SCOPE(u"CMainFrame::LoadContent");
    m_mainTree.DeleteAllItems();
    m_checkable.Clear();
    try {
        AUTO_DB_LOCKER();
        CSqlQuery groups = m_db.runQuery("SELECT * FROM GROUPS;");
        for (; !groups.eof(); groups.stepRow()) {
            WORD id;
            if (!ReadRowId(groups, "GROUPS", "id", id))
                continue;
            HTREEITEM item = AddGroupItem(groups, nullptr);
            if (!item) {
                TRACE2(u"CMainFrame::LoadContent - Unable to add group into tree view. Group id: %d.\n", id);
                continue;
            }
            TRACE2(u"CMainFrame::LoadContent - Added group id: %d.\n", id);
            if (ResortGroup(groups, item))
                m_mainTree.Expand(item);
            else
                TRACE2(u"CMainFrame::LoadContent - Unable to resort group. Group id: %d.\n", id);
        }
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::LoadContent - SQL Exception. Error: %hs\r\n", e.errorMessage());
        throw;
    }
}
