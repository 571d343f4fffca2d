// The page move command: the selected page one place up or down in a group of user order, round
// past either end, and the group's new order stored.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"

TRACE_MODULE("CMainFrame");

LRESULT CMainFrame::OnPageMove(WORD, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageMove");
    CommandFrame(u"CMainFrame::OnPageMove", [this, wID] {
        SPageFailureTexts texts;
        texts.noSelection = QStringLiteral("Please select page.");
        texts.noParent = QStringLiteral("Parent item is NULL.");
        texts.noParentData = QStringLiteral("GetItemData for parent item failed.");
        const SPageItem page = SelectedPage(texts);
        FAIL_CHECK(TREE_GET_SORT_TYPE(m_mainTree.GetItemData(page.hGroup)) == sortUserOrder,
            QStringLiteral("Group must have sort type \"User Order\""));

        TVITEM item;
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
        item.hItem = page.hItem;
        item.stateMask = static_cast<UINT>(-1);
        FAIL_CHECK(m_mainTree.GetItem(&item), QStringLiteral("Unable to get item details."));
        // The whole label moves with the item, however long.
        const QString label = ItemLabel(page.hItem);

        HTREEITEM after = nullptr;
        if (wID == ID_PAGE_MOVE_UP) {
            HTREEITEM previous = m_mainTree.GetPrevSiblingItem(page.hItem);
            if (!previous)
                after = TVI_LAST;
            else if (HTREEITEM beforePrevious = m_mainTree.GetPrevSiblingItem(previous))
                after = beforePrevious;
            else
                after = TVI_FIRST;
        } else {
            HTREEITEM next = m_mainTree.GetNextSiblingItem(page.hItem);
            after = next ? next : TVI_FIRST;
        }
        HTREEITEM moved = m_mainTree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM,
            label, item.iImage, item.iSelectedImage, item.state, item.stateMask, item.lParam, page.hGroup, after);
        FAIL_CHECK(moved, QStringLiteral("Unable to move up page."));
        m_mainTree.DeleteItem(page.hItem);
        m_mainTree.SelectItem(moved);

        AUTO_DB_LOCKER();
        UpdateGroupPagesOrder(page.hGroup);
    });
    return 0;
}
