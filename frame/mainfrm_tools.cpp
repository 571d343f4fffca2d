// The commands that start, cancel and open checks: the group check, check-now, check-all, cancel,
// open in browser, open all updated; and the one road by which a page is opened in the browser.
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/InternetUtils.h"
#include "core/db/Database.h"
#include "core/db/RowIds.h"
#include "core/prefs/Preferences.h"
#include "engine/OpenInBrowser.h"
#include "engine/PageRows.h"
#include "engine/Scheduler.h"
#include "platform/base/Format.h"
#include "platform/base/OneLine.h"
#include "platform/shell/Launch.h"

#include <utility>
#include <vector>

TRACE_MODULE("CMainFrame");

namespace {

// One decimal id field of a link text: at most 15 characters, truncated to 16 bits; 0 when the
// field is missing, empty or longer.
WORD LinkId(const QString& field)
{
    if (field.isEmpty() || field.size() > 15)
        return 0;
    return static_cast<WORD>(field.toLongLong() & 0xFFFF);
}

// A column of a result by its position in the select list.
QByteArray TextAt(CSqlQuery& row, int col)
{
    return row.isNullField(col) ? QByteArray() : QByteArray(row.columnText(col));
}

} // namespace

void CMainFrame::CheckGroup(HTREEITEM hGroup)
{
    try {
        FAIL_CHECK(hGroup, QStringLiteral("Selected item is NULL."));
        const DWORD_PTR data = m_mainTree.GetItemData(hGroup);
        FAIL_CHECK((0 != data), QStringLiteral("GetItemData failed."));
        FAIL_CHECK(data & TREE_IS_GROUP, QStringLiteral("Please select group."));
        const SCheckSource source { m_db, g_dbMutex, m_hWnd, g_hInternet.Get(), &g_prefs };
        QueueGroupPages(source, m_checks, TREE_GET_ID(data), TREE_GET_SORT_TYPE(data));
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnGroupCheckAll. Exception: %s\r\n", e.GetMessage());
    }
}

LRESULT CMainFrame::OnGroupCheckAll(WORD, WORD wID, HWND hWndCtl, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnGroupCheckAll");
    if (wID == static_cast<WORD>(GROUP_ID_CALL_TAG))
        CheckGroup(FindGroup(static_cast<WORD>(reinterpret_cast<uintptr_t>(hWndCtl))));
    else
        CheckGroup(m_mainTree.GetSelectedItem());
    return 0;
}

LRESULT CMainFrame::OnPageCheckUpdate(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageCheckUpdate");
    CommandFrame(u"CMainFrame::OnPageCheckUpdate", [this] {
        HTREEITEM hItem = m_mainTree.GetSelectedItem();
        FAIL_CHECK(hItem, QStringLiteral("Selected item is NULL."));
        const DWORD_PTR data = m_mainTree.GetItemData(hItem);
        FAIL_CHECK((0 != data), QStringLiteral("GetItemData failed."));
        FAIL_CHECK(!(data & TREE_IS_GROUP), QStringLiteral("Please select page."));
        const WORD nPageId = TREE_GET_ID(data);
        HTREEITEM hParent = m_mainTree.GetParentItem(hItem);
        FAIL_CHECK(hParent, QStringLiteral("Parent of selected item is NULL."));
        const DWORD_PTR parentData = m_mainTree.GetItemData(hParent);
        FAIL_CHECK((0 != parentData), QStringLiteral("GetItemData of item parent failed."));
        const WORD nGroupId = TREE_GET_ID(parentData);
        FAIL_CHECK(IsPageInProcessing(nGroupId, nPageId) == m_checks.m_ctxsRun.end(),
            QStringLiteral("This page now in processing. Try this operation later."));
        FAIL_CHECK(IsPageInPending(nGroupId, nPageId) == m_checks.m_ctxsPending.end(),
            QStringLiteral("This page already present in queue for checking. Try this operation later."));

        AUTO_DB_LOCKER();
        SqlGuard([&] {
            CSqlQuery row = ReadPageRow(m_db, nGroupId, nPageId);
            const SCheckSource source { m_db, g_dbMutex, m_hWnd, g_hInternet.Get(), &g_prefs };
            std::unique_ptr<CPageCheck> check = MakePageCheck(source, row, nGroupId);
            // The tree's label, which may differ from the stored description while it is edited.
            check->Ctx().m_strDescr = ItemLabel(hItem);
            const bool wasEmpty = m_checks.m_ctxsPending.empty();
            m_checks.Queue(std::move(check));
            if (wasEmpty)
                CheckPendingList();
        });
    });
    return 0;
}

LRESULT CMainFrame::OnToolsCheckAll(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnToolsCheckAll");
    try {
        AUTO_DB_LOCKER();
        SqlGuard([&] {
            std::vector<WORD> groups;
            CSqlQuery rows = m_db.runQuery("SELECT * FROM GROUPS WHERE enable = 1;");
            for (; !rows.eof(); rows.stepRow()) {
                WORD nGroupId;
                if (ReadRowId(rows, "GROUPS", "id", nGroupId))
                    groups.push_back(nGroupId);
            }
            rows.finalize();
            for (WORD nGroupId : groups) {
                BOOL handled = TRUE;
                OnGroupCheckAll(0, static_cast<WORD>(GROUP_ID_CALL_TAG),
                    reinterpret_cast<HWND>(static_cast<uintptr_t>(nGroupId)), handled);
            }
        });
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnToolsCheckAll. Exception: %s\r\n", e.GetMessage());
    }
    return 0;
}

LRESULT CMainFrame::OnToolsCancelChecks(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnToolsCancelChecks");
    m_checks.DropPending();
    // The check in progress ends with the cancel's code.
    m_checks.CancelFirstRunning();
    return 0;
}

LRESULT CMainFrame::OnPageOpenInBrowser(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageOpenInBrowser");
    BOOL handled = TRUE;
    OnTreeDblClick(static_cast<int>(kMainTreeId), nullptr, handled);
    return 0;
}

LRESULT CMainFrame::OnTreeDblClick(int, LPNMHDR pnmh, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnTreeDblClick");
    QString link;
    CommandFrame(u"CMainFrame::OnTreeDblClick", [&] {
        HTREEITEM hItem = nullptr;
        if (pnmh) {
            // Only a click on the item itself opens it: the indent, the expand button and the
            // empty rest of the row belong to the tree.
            POINT point {};
            GetCursorPos(&point);
            m_mainTree.ScreenToClient(&point);
            UINT flags = 0;
            hItem = m_mainTree.HitTest(point, &flags);
            if (!(flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON)))
                hItem = nullptr;
        } else {
            hItem = m_mainTree.GetSelectedItem();
        }
        if (!hItem || (m_mainTree.GetItemData(hItem) & TREE_IS_GROUP))
            return;
        const WORD nPageId = TREE_GET_ID(m_mainTree.GetItemData(hItem));
        HTREEITEM hParent = m_mainTree.GetParentItem(hItem);
        FAIL_CHECK(hParent, QStringLiteral("Parent of selected item is NULL."));
        const DWORD_PTR parentData = m_mainTree.GetItemData(hParent);
        FAIL_CHECK((0 != parentData), QStringLiteral("GetItemData of item parent failed."));
        const WORD nGroupId = TREE_GET_ID(parentData);

        AUTO_DB_LOCKER();
        SqlGuard([&] {
            CSqlQuery row = ReadPageRow(m_db, nGroupId, nPageId);
            link = taluvo::Format(
                u"%d,%d,%s", nGroupId, nPageId, CAnsiToWide(row.getStringField("urlBrowser", "")).Get());
            row.finalize();
        });
    });
    // The database lock is released before the browser starts.
    if (!link.isEmpty()) {
        BOOL handled = TRUE;
        OnToolTipHyperLink(0, reinterpret_cast<WPARAM>(link.utf16()), 0, handled);
    }
    return 0;
}

LRESULT CMainFrame::OnToolsOpenAllUpdated(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnToolsOpenAllUpdated");
    std::vector<QString> links;
    try {
        AUTO_DB_LOCKER();
        SqlGuard([&] {
            CSqlBuffer sql;
            // The columns are read by position: the join's column names depend on the library.
            CSqlQuery rows = m_db.runQuery(sql.format(
                "SELECT PAGES.id, PAGES.groupId, PAGES.status, PAGES.enable, PAGES.urlBrowser, GROUPS.enable FROM "
                "PAGES, GROUPS WHERE ((PAGES.groupId = GROUPS.id) AND (GROUPS.enable = 1) AND (PAGES.enable = 1) AND "
                "(PAGES.status = %d));",
                static_cast<int>(statusNew)));
            for (; !rows.eof(); rows.stepRow()) {
                const int nPageId = TextAt(rows, 0).toInt() & 0xFFFF;
                const int nGroupId = TextAt(rows, 1).toInt() & 0xFFFF;
                links.push_back(taluvo::Format(u"%d,%d,%hs", nGroupId, nPageId, TextAt(rows, 4)));
            }
        });
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnToolsOpenAllUpdated. Exception: %s\r\n", e.GetMessage());
        return 0;
    }
    // No database lock is held while the browsers start; each opening takes it on its own.
    QStringList refused;
    for (const QString& link : links)
        OpenPageLink(link, refused);
    ShowRefusedAddresses(refused);
    return 0;
}

LRESULT CMainFrame::OnToolTipHyperLink(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    const auto* text = reinterpret_cast<const char16_t*>(wParam);
    if (!text || !*text)
        return 0;
    QStringList refused;
    OpenPageLink(QString::fromUtf16(text), refused);
    ShowRefusedAddresses(refused);
    return 0;
}

void CMainFrame::ShowRefusedAddresses(const QStringList& refused)
{
    if (refused.isEmpty())
        return;
    // One address a line: an address that holds a line break of its own cannot forge another.
    QStringList lines;
    lines.reserve(refused.size());
    for (const QString& address : refused)
        lines.push_back(taluvo::OneLine(address));
    const QString text = taluvo::Format(taluvo::ui::AtlLoadString(IDS_NOT_WEB_ADDRESS), lines.join(QLatin1Char('\n')));
    TRACE1(u"CMainFrame::ShowRefusedAddresses. %s\r\n", text);
    MessageBox(text, QStringLiteral("Error"), MB_OK | MB_ICONERROR);
}

void CMainFrame::OpenPageLink(const QString& link, QStringList& refused)
{
    const QStringList fields = link.split(QLatin1Char(','));
    const WORD nGroupId = LinkId(fields.value(0));
    const WORD nPageId = LinkId(fields.value(1));

    // The address is the page's own, read by the ids: a link's text came through HTML that a
    // page's content helped to build, so it is never trusted as the address to start.
    QString address;
    try {
        AUTO_DB_LOCKER();
        CSqlQuery row = ReadPageRow(m_db, nGroupId, nPageId);
        address = CAnsiToWide(row.getStringField("urlBrowser", "")).Get();
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnToolTipHyperLink - SQL Error: %hs\n", e.errorMessage());
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnToolTipHyperLink - Exception: %s\n", e.GetMessage());
    }

    // Only what a check could fetch goes to a browser: any other address (a file, a script, a
    // desktop file) came from an import or a toolbar and would be run or shown by the desktop.
    if (!address.isEmpty() && !taluvo::shell::IsWebAddress(address)) {
        refused.push_back(address);
        return;
    }
    if (!OpenInUserBrowser(m_hWnd, address, TRUE)) {
        MessageBox(
            QStringLiteral("Unable to open web page in browser."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
        return;
    }
    if (!g_prefs.GetParam(kBrowserResetNewStatus)->GetBool())
        return;

    HTREEITEM hItem = FindPage(nGroupId, nPageId);
    try {
        AUTO_DB_LOCKER();
        CSqlBuffer sql;
        const int changed
            = m_db.execDML(sql.format("UPDATE PAGES SET status = %d WHERE id = %d AND groupId = %d AND status = %d;",
                static_cast<int>(statusOrdinary), static_cast<int>(nPageId), static_cast<int>(nGroupId),
                static_cast<int>(statusNew)));
        if (changed == 0)
            return;
        CSqlQuery group = m_db.runQuery(sql.format("SELECT * FROM GROUPS WHERE id = %d;", static_cast<int>(nGroupId)));
        const int sortType = group.eof() ? 0 : group.getIntField("sortType", 0);
        if (sortType == sortStatus) {
            if (HTREEITEM hGroup = FindGroup(nGroupId)) {
                ResortGroup(group, hGroup);
                m_mainTree.SelectItem(FindPage(nGroupId, nPageId));
            }
        } else {
            CSqlQuery row = m_db.runQuery(sql.format("SELECT * FROM PAGES WHERE id = %d and groupId = %d;",
                static_cast<int>(nPageId), static_cast<int>(nGroupId)));
            if (!row.eof() && hItem) {
                AddPageItem(row, hItem, m_mainTree.GetParentItem(hItem));
                m_mainTree.SelectItem(hItem);
            }
        }
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnToolTipHyperLink - SQL Error: %hs\n", e.errorMessage());
    }
}
