// What the idle handler asks of the tree after every message: is any page enabled (in an enabled
// group), and is any of those New. Walking the tree for it made every message, and so every check,
// cost as much as the tree is large; the answers are counted instead wherever the tree's item data
// changes (an item added, changed or deleted by the window), keyed by the ids the items carry.
#pragma once

#include "platform/base/WinTypes.h"

#include <unordered_map>

class CCheckablePages {
public:
    // A group's item with this data was added or changed.
    void SetGroup(DWORD_PTR groupData);
    // A page's item with this data was added or changed under the group.
    void SetPage(WORD nGroupId, DWORD_PTR pageData);
    void RemovePage(WORD nGroupId, WORD nPageId);
    // The group's items are gone, its pages' with it.
    void RemoveGroup(WORD nGroupId);
    // The group's page items are gone (to be added again).
    void RemovePages(WORD nGroupId);
    void Clear();

    bool AnyEnabled() const { return m_nEnabled > 0; }
    bool AnyNew() const { return m_nNew > 0; }

private:
    struct SPage {
        bool enabled = false;
        bool isNew = false;
    };
    struct SGroup {
        bool enabled = false;
        int enabledPages = 0; // of its pages, the enabled ones
        int newPages = 0; // of those, the New ones
        std::unordered_map<WORD, SPage> pages;
    };
    // Adds (sign 1) or takes away (-1) what the group's pages give the totals.
    void Count(const SGroup& group, int sign);

    std::unordered_map<WORD, SGroup> m_groups;
    int m_nEnabled = 0; // enabled pages of enabled groups
    int m_nNew = 0; // the New ones of them
};
