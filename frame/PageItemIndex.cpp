#include "frame/PageItemIndex.h"

#include <unordered_set>

namespace {

bool ItemData(const CTreeViewCtrl& tree, HTREEITEM hItem, DWORD_PTR& data)
{
    TVITEM item;
    item.hItem = hItem;
    item.mask = TVIF_PARAM;
    if (!tree.GetItem(&item))
        return false;
    data = static_cast<DWORD_PTR>(item.lParam);
    return true;
}

WORD IdOf(DWORD_PTR data) { return static_cast<WORD>(data & 0xFFFF); }

} // namespace

bool CPageItemIndex::Holds(HTREEITEM hItem, WORD nGroupId, WORD nPageId) const
{
    DWORD_PTR data = 0;
    if (!ItemData(m_tree, hItem, data) || IdOf(data) != nPageId)
        return false;
    const HTREEITEM hGroup = m_tree.GetParentItem(hItem);
    DWORD_PTR groupData = 0;
    return hGroup && !m_tree.GetParentItem(hGroup) && ItemData(m_tree, hGroup, groupData)
        && IdOf(groupData) == nGroupId;
}

void CPageItemIndex::Refill()
{
    m_items.clear();
    std::unordered_set<WORD> groups;
    for (HTREEITEM hGroup = m_tree.GetRootItem(); hGroup; hGroup = m_tree.GetNextSiblingItem(hGroup)) {
        const WORD nGroupId = IdOf(m_tree.GetItemData(hGroup));
        // Only the first group with an id is searched, as the walk does.
        if (!groups.insert(nGroupId).second)
            continue;
        for (HTREEITEM hPage = m_tree.GetChildItem(hGroup); hPage; hPage = m_tree.GetNextSiblingItem(hPage))
            m_items.emplace(Key(nGroupId, IdOf(m_tree.GetItemData(hPage))), hPage);
    }
}

HTREEITEM CPageItemIndex::Find(WORD nGroupId, WORD nPageId)
{
    const uint32_t key = Key(nGroupId, nPageId);
    auto found = m_items.find(key);
    if (found != m_items.end() && Holds(found->second, nGroupId, nPageId))
        return found->second;
    Refill();
    found = m_items.find(key);
    return found == m_items.end() ? nullptr : found->second;
}
