// The tree's tooltip texts: just before the tree tip shows, the main window fills it with the
// group's or the page's particulars and puts it at the item's label. Every value that came from
// the user or a page (titles, descriptions, addresses) is escaped, so it shows as text and never
// becomes markup or a link of its own.
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetUtils.h"
#include "core/Utils.h"
#include "core/db/Database.h"
#include "engine/Alerts.h"
#include "engine/PageRows.h"
#include "platform/base/Format.h"

TRACE_MODULE("CMainFrame");

namespace {

const char16_t* YesNo(DWORD_PTR data)
{
    return (data & TREE_IS_ENABLED) ? u"Yes" : u"No";
}

} // namespace

LRESULT CMainFrame::OnToolTipNotify(int, LPNMHDR pnmh, BOOL&)
{
    auto* notice = reinterpret_cast<NMHTMLTTDISPLAY*>(pnmh);
    if (!notice || !notice->hwndTool || !notice->ti || !notice->pt)
        return 0;
    notice->ti->strHtml.clear();
    if (::GetDlgCtrlID(notice->hwndTool) != static_cast<int>(kMainTreeId) || notice->hwndTool != m_mainTree.m_hWnd)
        return 0;

    // The tree's own client coordinates: its border lies between its window rectangle and the items.
    POINT point = *notice->pt;
    m_mainTree.ScreenToClient(&point);
    UINT flags = 0;
    HTREEITEM hItem = m_mainTree.HitTest(point, &flags);
    if (!hItem || !(flags & TVHT_ONITEM))
        return 0;

    QString& text = notice->ti->strHtml;
    text = HtmlEscape(ItemLabel(hItem));
    try {
        const DWORD_PTR data = m_mainTree.GetItemData(hItem);
        FAIL_CHECK(data != 0, QStringLiteral("GetItemData failed."));
        const QString label = HtmlEscape(ItemLabel(hItem));
        if (data & TREE_IS_GROUP) {
            int count = 0;
            for (HTREEITEM child = m_mainTree.GetChildItem(hItem); child; child = m_mainTree.GetNextSiblingItem(child))
                ++count;
            text = taluvo::Format(
                m_strGroupToolTip, label, YesNo(data), GetSortTypeName(TREE_GET_SORT_TYPE(data)), count);
        } else {
            HTREEITEM hParent = m_mainTree.GetParentItem(hItem);
            FAIL_CHECK(hParent != nullptr, QStringLiteral("Parent of selected item is NULL."));
            const DWORD_PTR parentData = m_mainTree.GetItemData(hParent);
            FAIL_CHECK(parentData != 0, QStringLiteral("GetItemData of item parent failed."));
            const WORD nGroupId = TREE_GET_ID(parentData);
            const WORD nPageId = TREE_GET_ID(data);
            QString url;
            QString urlBrowser;
            int status = 0;
            QString interval;
            QString lastChecked;
            {
                AUTO_DB_LOCKER();
                CSqlQuery row = ReadPageRow(m_db, nGroupId, nPageId);
                url = CAnsiToWide(row.getStringField("url", "")).Get();
                urlBrowser = CAnsiToWide(row.getStringField("urlBrowser", "")).Get();
                status = row.getIntField("status", 0);
                int days = 0;
                int hours = 0;
                int minutes = 0;
                SplitInterval(static_cast<DWORD>(row.getIntField("interval", 0)), days, hours, minutes);
                interval = FormatInterval(days, hours, minutes);
                const int checked = row.getIntField("lastChecked", 0);
                lastChecked = checked == -1 ? QStringLiteral("Unknown") : FormatTime(checked);
            }
            text = taluvo::Format(m_strPageToolTip, label, HtmlEscape(ItemLabel(hParent)), YesNo(data),
                static_cast<int>(nGroupId), static_cast<int>(nPageId), HtmlEscape(urlBrowser), HtmlEscape(url),
                GetPageStatusName(status), interval, lastChecked);
        }
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnToolTipNotify - SQL Error: %hs\n", e.errorMessage());
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnToolTipNotify - Exception: %s\n", e.GetMessage());
    }

    RECT label {};
    if (m_mainTree.GetItemRect(hItem, &label, TRUE)) {
        POINT corner { label.left, label.top };
        m_mainTree.ClientToScreen(&corner);
        *notice->pt = POINT { corner.x + 1, corner.y + 1 };
    }
    return 0;
}
