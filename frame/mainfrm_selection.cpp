// The tree's selection as the group and page commands see it, and the tree's notifications: a
// new selection sets which commands are available (and the toolbar's toggle picture), a right
// click opens the Group or Page menu on the item under the cursor.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"

TRACE_MODULE("CMainFrame");

namespace {

constexpr UINT kGroupCommands[] = { ID_GROUP_DELETE, ID_GROUP_MODIFY, ID_GROUP_TOGGLE, ID_GROUP_CHECK_ALL };
constexpr UINT kPageCommands[]
    = { ID_PAGE_DELETE, ID_PAGE_MODIFY, ID_PAGE_TOGGLE, ID_PAGE_OPEN_IN_BROWSER, ID_PAGE_CANCEL_STATUS,
          ID_PAGE_COPY_ADDRESS, ID_PAGE_CHECK_UPDATE, ID_PAGE_PROPERTIES, ID_PAGE_MOVE_UP, ID_PAGE_MOVE_DOWN };
// Toolbar strip images of the page toggle button.
constexpr int kToggleImageEnabled = 25;
constexpr int kToggleImageDisabled = 12;
// Submenus of the main menu that serve as the tree's context menus.
constexpr int kGroupMenu = 1;
constexpr int kPageMenu = 2;

} // namespace

CMainFrame::SPageItem CMainFrame::SelectedPage(const SPageFailureTexts& texts)
{
    HTREEITEM hItem = m_mainTree.GetSelectedItem();
    FAIL_CHECK(hItem, texts.noSelection);
    const DWORD_PTR data = m_mainTree.GetItemData(hItem);
    FAIL_CHECK((0 != data), QStringLiteral("GetItemData failed."));
    FAIL_CHECK(!(data & TREE_IS_GROUP), QStringLiteral("Please select page."));
    HTREEITEM hGroup = m_mainTree.GetParentItem(hItem);
    FAIL_CHECK(hGroup, texts.noParent);
    const DWORD_PTR groupData = m_mainTree.GetItemData(hGroup);
    FAIL_CHECK((0 != groupData), texts.noParentData);
    return { hItem, hGroup, TREE_GET_ID(groupData), TREE_GET_ID(data) };
}

CMainFrame::SPageItem CMainFrame::PageItemAgain(WORD nGroupId, WORD nPageId, const QString& gone)
{
    HTREEITEM hItem = FindPage(nGroupId, nPageId);
    FAIL_CHECK(hItem, gone);
    HTREEITEM hGroup = m_mainTree.GetParentItem(hItem);
    FAIL_CHECK(hGroup, gone);
    return { hItem, hGroup, nGroupId, nPageId };
}

WORD CMainFrame::SelectedGroupId(const QString& noSelection)
{
    HTREEITEM hItem = m_mainTree.GetSelectedItem();
    FAIL_CHECK(hItem, noSelection);
    const DWORD_PTR data = m_mainTree.GetItemData(hItem);
    FAIL_CHECK((0 != data), QStringLiteral("GetItemData failed."));
    FAIL_CHECK(data & TREE_IS_GROUP, QStringLiteral("Please select group."));
    return TREE_GET_ID(data);
}

HTREEITEM CMainFrame::GroupItemAgain(WORD nGroupId, const QString& gone)
{
    HTREEITEM hGroup = FindGroup(nGroupId);
    FAIL_CHECK(hGroup, gone);
    return hGroup;
}

void CMainFrame::ClearTreeSelection()
{
    m_mainTree.SelectItem(nullptr);
    NotifyTreeSelection(0);
}

void CMainFrame::NotifyTreeSelection(DWORD_PTR data)
{
    NMTREEVIEW notice {};
    notice.hdr.hwndFrom = m_mainTree;
    notice.hdr.idFrom = kMainTreeId;
    notice.hdr.code = TVN_SELCHANGED;
    notice.itemNew.lParam = static_cast<LPARAM>(data);
    BOOL handled = TRUE;
    OnTreeSelChanged(static_cast<int>(kMainTreeId), &notice.hdr, handled);
}

LRESULT CMainFrame::OnTreeSelChanged(int, LPNMHDR pnmh, BOOL&)
{
    const DWORD_PTR data = pnmh ? static_cast<DWORD_PTR>(reinterpret_cast<const NMTREEVIEW*>(pnmh)->itemNew.lParam) : 0;
    UIEnable(ID_GROUP_ADD, TRUE);
    UIEnable(ID_PAGE_ADD, FALSE);
    for (UINT id : kGroupCommands)
        UIEnable(id, FALSE);
    for (UINT id : kPageCommands)
        UIEnable(id, FALSE);
    if (TREE_GET_SORT_TYPE(data) == 0)
        return 0; // nothing selected: only "add group"

    UIEnable(ID_PAGE_ADD, TRUE);
    if (data & TREE_IS_GROUP) {
        for (UINT id : kGroupCommands)
            UIEnable(id, TRUE);
        return 0;
    }
    for (UINT id : kPageCommands)
        UIEnable(id, TRUE);
    if (m_hWndToolBarCtrl) {
        TBBUTTONINFO info;
        info.dwMask = TBIF_IMAGE;
        ::SendMessage(m_hWndToolBarCtrl, TB_GETBUTTONINFO, ID_PAGE_TOGGLE, reinterpret_cast<LPARAM>(&info));
        info.iImage = (data & TREE_IS_ENABLED) ? kToggleImageEnabled : kToggleImageDisabled;
        ::SendMessage(m_hWndToolBarCtrl, TB_SETBUTTONINFO, ID_PAGE_TOGGLE, reinterpret_cast<LPARAM>(&info));
    }
    return 0;
}

LRESULT CMainFrame::OnTreeRClick(int, LPNMHDR, BOOL&)
{
    POINT cursor {};
    GetCursorPos(&cursor);
    POINT point = cursor;
    m_mainTree.ScreenToClient(&point);
    UINT flags = 0;
    HTREEITEM hItem = m_mainTree.HitTest(point, &flags);
    if (!hItem || !(flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON)))
        return 0;
    // Selecting raises the selection change first, so the menu shows the item's commands.
    m_mainTree.SelectItem(hItem);
    const bool group = (m_mainTree.GetItemData(hItem) & TREE_IS_GROUP) != 0;
    HMENU menu = ::LoadMenu(_Module.GetResourceInstance(), MAKEINTRESOURCE(IDR_MAINFRAME));
    if (!menu)
        return 0;
    if (HMENU popup = ::GetSubMenu(menu, group ? kGroupMenu : kPageMenu))
        ::TrackPopupMenu(popup, TPM_LEFTALIGN, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    ::DestroyMenu(menu);
    return 0;
}
