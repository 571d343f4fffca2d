// The tree items of pages by (group id, page id). Every progress notice of a check looks its page
// up; walking the tree for it made each notice cost as much as the tree is large. The index answers
// what the walk answers (the first root item with the group's id, in it the first child with the
// page's id) and checks each answer against the tree before giving it, so items added, deleted or
// changed behind its back never yield a wrong item: a stale or missing entry walks the group's
// pages and indexes them on the way, and a stale or missing group walks the root items once and
// indexes every group. Items keep their handles when they move, so a move leaves the index as it
// is. Ids are primary keys of GROUPS and PAGES, so an item that still carries the ids under a
// group of that id is the walk's answer.
#pragma once

#include "platform/base/WinTypes.h"
#include "platform/ui/CommCtrl.h"

#include <cstdint>
#include <unordered_map>

class CPageItemIndex {
public:
    explicit CPageItemIndex(CTreeViewCtrl& tree)
        : m_tree(tree)
    {
    }

    // The page's item, or null when the tree does not hold it.
    HTREEITEM Find(WORD nGroupId, WORD nPageId);

private:
    static uint32_t Key(WORD nGroupId, WORD nPageId) { return (uint32_t { nGroupId } << 16) | nPageId; }
    // True when the item still is the page's item under a root item of the group.
    bool Holds(HTREEITEM hItem, WORD nGroupId, WORD nPageId) const;
    // The first root item with the group's id, or null.
    HTREEITEM FindGroup(WORD nGroupId);

    CTreeViewCtrl& m_tree;
    std::unordered_map<uint32_t, HTREEITEM> m_items;
    std::unordered_map<WORD, HTREEITEM> m_groups;
};
