#include "frame/CheckablePages.h"

#include "frame/mainfrm.h"

void CCheckablePages::Count(const SGroup& group, int sign)
{
    if (!group.enabled)
        return;
    m_nEnabled += sign * group.enabledPages;
    m_nNew += sign * group.newPages;
}

void CCheckablePages::SetGroup(DWORD_PTR groupData)
{
    SGroup& group = m_groups[TREE_GET_ID(groupData)];
    Count(group, -1);
    group.enabled = (groupData & TREE_IS_ENABLED) != 0;
    Count(group, 1);
}

void CCheckablePages::SetPage(WORD nGroupId, DWORD_PTR pageData)
{
    SGroup& group = m_groups[nGroupId];
    Count(group, -1);
    SPage& page = group.pages[TREE_GET_ID(pageData)];
    group.enabledPages -= page.enabled ? 1 : 0;
    group.newPages -= page.enabled && page.isNew ? 1 : 0;
    page.enabled = (pageData & TREE_IS_ENABLED) != 0;
    page.isNew = TREE_GET_STATUS(pageData) == statusNew;
    group.enabledPages += page.enabled ? 1 : 0;
    group.newPages += page.enabled && page.isNew ? 1 : 0;
    Count(group, 1);
}

void CCheckablePages::RemovePage(WORD nGroupId, WORD nPageId)
{
    const auto found = m_groups.find(nGroupId);
    if (found == m_groups.end())
        return;
    SGroup& group = found->second;
    const auto page = group.pages.find(nPageId);
    if (page == group.pages.end())
        return;
    Count(group, -1);
    group.enabledPages -= page->second.enabled ? 1 : 0;
    group.newPages -= page->second.enabled && page->second.isNew ? 1 : 0;
    group.pages.erase(page);
    Count(group, 1);
}

void CCheckablePages::RemoveGroup(WORD nGroupId)
{
    const auto found = m_groups.find(nGroupId);
    if (found == m_groups.end())
        return;
    Count(found->second, -1);
    m_groups.erase(found);
}

void CCheckablePages::RemovePages(WORD nGroupId)
{
    const auto found = m_groups.find(nGroupId);
    if (found == m_groups.end())
        return;
    SGroup& group = found->second;
    Count(group, -1);
    group.pages.clear();
    group.enabledPages = group.newPages = 0;
}

void CCheckablePages::Clear()
{
    m_groups.clear();
    m_nEnabled = m_nNew = 0;
}
