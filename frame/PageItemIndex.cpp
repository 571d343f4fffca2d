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

WORD IdOf(DWORD_PTR data)
{
    return static_cast<WORD>(data & 0xFFFF);
}

bool IsRootWithId(const CTreeViewCtrl& tree, HTREEITEM hItem, WORD nId)
{
    DWORD_PTR data = 0;
    return hItem && ItemData(tree, hItem, data) && IdOf(data) == nId && !tree.GetParentItem(hItem);
}

} // namespace

bool CPageItemIndex::Holds(HTREEITEM hItem, WORD nGroupId, WORD nPageId) const
{
    DWORD_PTR data = 0;
    return ItemData(m_tree, hItem, data) && IdOf(data) == nPageId
        && IsRootWithId(m_tree, m_tree.GetParentItem(hItem), nGroupId);
}

HTREEITEM CPageItemIndex::FindGroup(WORD nGroupId)
{
    auto found = m_groups.find(nGroupId);
    if (found != m_groups.end() && IsRootWithId(m_tree, found->second, nGroupId))
        return found->second;
    m_groups.clear();
    for (HTREEITEM hGroup = m_tree.GetRootItem(); hGroup; hGroup = m_tree.GetNextSiblingItem(hGroup))
        m_groups.try_emplace(IdOf(m_tree.GetItemData(hGroup)), hGroup);
    found = m_groups.find(nGroupId);
    return found == m_groups.end() ? nullptr : found->second;
}

HTREEITEM CPageItemIndex::Find(WORD nGroupId, WORD nPageId)
{
    auto found = m_items.find(Key(nGroupId, nPageId));
    if (found != m_items.end() && Holds(found->second, nGroupId, nPageId))
        return found->second;
    // Only the first group with this id is searched, as the walk does; its pages are indexed anew
    // on the way, so a miss costs no more than a walk of the group.
    const HTREEITEM hGroup = FindGroup(nGroupId);
    if (!hGroup)
        return nullptr;
    HTREEITEM hFound = nullptr;
    std::unordered_set<WORD> seen;
    for (HTREEITEM hPage = m_tree.GetChildItem(hGroup); hPage; hPage = m_tree.GetNextSiblingItem(hPage)) {
        const WORD id = IdOf(m_tree.GetItemData(hPage));
        if (!seen.insert(id).second)
            continue;
        m_items[Key(nGroupId, id)] = hPage;
        if (id == nPageId)
            hFound = hPage;
    }
    return hFound;
}
