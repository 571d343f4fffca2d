// The File menu's commands: import bookmarks, work offline and minimise to tray (Exit stays with the
// window's own commands).
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/db/Database.h"
#include "core/db/RowIds.h"
#include "core/prefs/Preferences.h"
#include "dialogs/ImportPropSheet.h"
#include "engine/GroupRows.h"

#include <memory>

TRACE_MODULE("CMainFrame");

LRESULT CMainFrame::OnFileWorkOffline(WORD wNotifyCode, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnFileWorkOffline");
    // Callers that only show the stored value pass -1 (as the code or as the id).
    const bool showOnly = wNotifyCode == 0xFFFF || wID == 0xFFFF;
    CParam* workOffline = g_prefs.GetParam(kWorkOffline);
    bool offline = workOffline->GetBool();
    // While the program follows the connection by itself the command is disabled; a key or the
    // tray menu must not switch the setting behind the timer's back either.
    if (!showOnly && !g_prefs.GetParam(kAutoDetectOnline)->GetBool()) {
        offline = !offline;
        workOffline->SetBool(offline);
    }
    UISetCheck(ID_FILE_WORK_OFFLINE, offline, TRUE);
    return 0;
}

LRESULT CMainFrame::OnFileMinToTray(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnFileMinToTray");
    // A hidden window is in the tray already. A visible one goes there also when an alert popup
    // has put the icon up: the icon then stays when the popup ends.
    if (!IsWindowVisible())
        return 0;
    m_bTrayShownForPopup = FALSE;
    if (!m_trayIcon.IsVisible())
        m_trayIcon.ShowIcon();
    HideWindowToTray(m_hWnd);
    return 0;
}

LRESULT CMainFrame::OnFileImportBookmarks(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnFileImportBookmarks");
    try {
        std::vector<QByteArray> titles;
        std::vector<WORD> ids;
        {
            AUTO_DB_LOCKER();
            CSqlQuery groups = m_db.runQuery("SELECT * FROM GROUPS;");
            for (; !groups.eof(); groups.stepRow()) {
                WORD id;
                if (!ReadRowId(groups, "GROUPS", "id", id))
                    continue;
                titles.emplace_back(groups.getStringField("title", ""));
                ids.push_back(id);
            }
        }
        if (ids.empty()) {
            MessageBox(QStringLiteral("Please create at least one group before import bookmarks."),
                QStringLiteral("Warning"), MB_OK | MB_ICONEXCLAMATION);
            return 0;
        }
        auto sheet = std::make_unique<CImportPropSheet>(
            &g_dbMutex, &m_db, std::move(titles), std::move(ids), QStringLiteral("Import bookmarks"), 0, nullptr);
        if (sheet->DoModal(::GetActiveWindow()) != IDOK)
            return 0;
        const WORD nGroupId = sheet->m_data.m_nGroupId;
        TRACE2(u"CMainFrame::OnFileImportBookmarks. Import into groupId: %d.\n", int(nGroupId));

        // The wizard imports into one of the groups listed, which the tree shows.
        HTREEITEM hGroup = FindGroup(nGroupId);
        if (!hGroup)
            return 0;
        if (sheet->m_listPage.m_bClearGroup) {
            // The group's pages are gone from the table: their items and queued checks go too,
            // so the stored user order lists only pages that exist.
            m_checks.DropPending(nGroupId, 0xFFFF);
            while (HTREEITEM page = m_mainTree.GetChildItem(hGroup))
                m_mainTree.DeleteItem(page);
            m_checkable.RemovePages(nGroupId);
        }
        UpdateGroupPagesOrder(hGroup);
        AUTO_DB_LOCKER();
        CSqlQuery row = ReadGroupRow(m_db, nGroupId);
        ResortGroup(row, hGroup);
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnFileImportBookmarks - SQL Exception. Error: %hs\r\n", e.errorMessage());
    }
    return 0;
}
