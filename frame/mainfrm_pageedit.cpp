// The page add and page modify commands: the page dialogs run on a page context of their own, and
// what they leave there (the check state of a download, the watched part) goes into the PAGES row
// with the fields the user edited. A browser toolbar's add request arrives as the add command too.
#include "frame/mainfrm.h"

#include "Network/Listener.h"
#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/InternetHandle.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "dialogs/PageAddDlg.h"
#include "dialogs/PageModifyDlg.h"
#include "engine/CheckState.h"
#include "engine/GroupRows.h"
#include "engine/PageEdits.h"
#include "engine/PageRows.h"

#include <memory>

TRACE_MODULE("CMainFrame");

namespace {

const QString kNoGroupForAdding = QStringLiteral("Unable to detect group for adding.");

std::unique_ptr<SPageCtx> NewPageContext()
{
    auto ctx = std::make_unique<SPageCtx>();
    ctx->Reset();
    return ctx;
}

QString TextField(CSqlQuery& row, const char* column)
{
    return CAnsiToWide(QByteArray(row.getStringField(column, ""))).Get();
}

DWORD UnsignedField(CSqlQuery& row, const char* column)
{
    return static_cast<DWORD>(QByteArray(row.getStringField(column, "0")).toLongLong());
}

SPageFields FieldsOf(const CPageModifyDlg& dlg)
{
    return { dlg.m_strUrl, dlg.m_strUrlBrowser, dlg.m_strDescr, dlg.m_bEnable, dlg.m_nInterval };
}

} // namespace

bool CMainFrame::IsWindowInTray() const
{
    // The window's own state: the tray icon may be up for a popup while the window is shown.
    return !::IsWindowVisible(m_hWnd) || ::IsIconic(m_hWnd);
}

LRESULT CMainFrame::OnPageAdd(WORD wNotifyCode, WORD, HWND hWndCtl, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageAdd");
    LRESULT added = 0;
    CommandFrame(u"CMainFrame::OnPageAdd", [&] {
        WORD nGroupId = 0;
        if (reinterpret_cast<LPARAM>(hWndCtl) == TOOLBAR_REQUEST_TAG) {
            nGroupId = wNotifyCode;
            FAIL_CHECK(FindGroup(nGroupId), kNoGroupForAdding);
            if (IsWindowInTray()) {
                ShowWindowFromTray(m_hWnd);
                if (!m_bTrayShownForPopup)
                    m_trayIcon.RemoveIcon();
            }
            ::SetForegroundWindow(m_hWnd);
        } else {
            HTREEITEM hItem = m_mainTree.GetSelectedItem();
            FAIL_CHECK(hItem, QStringLiteral("Selected item is NULL."));
            const DWORD_PTR data = m_mainTree.GetItemData(hItem);
            FAIL_CHECK((0 != data), QStringLiteral("GetItemData failed."));
            DWORD_PTR groupData = data;
            if (!(data & TREE_IS_GROUP)) {
                HTREEITEM hParent = m_mainTree.GetParentItem(hItem);
                FAIL_CHECK(hParent, QStringLiteral("Parent of selected item is NULL."));
                groupData = m_mainTree.GetItemData(hParent);
                FAIL_CHECK((0 != groupData), QStringLiteral("GetItemData of item parent failed."));
            }
            nGroupId = TREE_GET_ID(groupData);
        }

        std::unique_ptr<SPageCtx> ctx = NewPageContext();
        CPageAddDlg addDlg;
        addDlg.m_pPageCtx = ctx.get();
        if (addDlg.DoModal(m_hWnd, CPageAddDlg::modeAddPage) != IDOK)
            return;
        if (addDlg.DownloadedUrl() != addDlg.m_strUrl) {
            // A test download of an address then given up is not this page's first check.
            ctx->m_strHtml.clear();
            ForgetCheckState(*ctx);
        }

        CPageModifyDlg modifyDlg;
        modifyDlg.m_pPageCtx = ctx.get();
        modifyDlg.m_bEnable = TRUE;
        modifyDlg.m_strUrl = addDlg.m_strUrl;
        modifyDlg.m_strUrlBrowser = addDlg.m_strUrl;
        modifyDlg.m_strDescr = addDlg.m_strDescr;
        modifyDlg.m_nInterval = static_cast<DWORD>(g_prefs.GetParam(kDefaultUpdateInterval)->GetInt());
        if (modifyDlg.DoModal(m_hWnd, reinterpret_cast<LPARAM>(g_hInternet.Get())) != IDOK)
            return;
        SettleModifiedCheckState(*ctx,
            modifyDlg.m_strUrl != addDlg.m_strUrl || modifyDlg.m_bCheckStateStale || !ctx->m_strStartCheckMask.isEmpty()
                || !ctx->m_strStopCheckMask.isEmpty());

        bool taken = false;
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                taken = IsPageUrlTaken(m_db, nGroupId, modifyDlg.m_strUrl);
                if (taken)
                    return;
                // The tree may have been filled again while the dialogs were open.
                HTREEITEM hGroup = GroupItemAgain(nGroupId, kNoGroupForAdding);
                const int id = InsertPageRow(m_db, nGroupId, FieldsOf(modifyDlg), *ctx);
                FAIL_CHECK(id != 0, QStringLiteral("Unable to add page."));
                added = 1;
                const WORD nPageId = static_cast<WORD>(id);
                CSqlQuery row = ReadPageRow(m_db, nGroupId, nPageId);
                if (!row.eof())
                    AddPageItem(row, nullptr, hGroup);
                row.finalize();
                UpdateGroupPagesOrder(hGroup);
                CSqlQuery group = ReadGroupRow(m_db, nGroupId);
                ResortGroup(group, hGroup);
                group.finalize();
                m_mainTree.Expand(hGroup, TVE_EXPAND);
                m_mainTree.SelectItem(FindPage(nGroupId, nPageId));
            });
        }
        if (taken)
            MessageBox(QStringLiteral("Page with this url already exists in group."), QStringLiteral("Warning"),
                MB_OK | MB_ICONWARNING);
    });
    return added;
}

LRESULT CMainFrame::OnPageModify(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageModify");
    CommandFrame(u"CMainFrame::OnPageModify", [this] {
        const SPageItem page = SelectedPage();
        FAIL_CHECK(IsPageInProcessing(page.nGroupId, page.nPageId) == m_checks.m_ctxsRun.end(),
            QStringLiteral("This page now in processing. Try this operation later."));

        std::unique_ptr<SPageCtx> ctx = NewPageContext();
        CPageModifyDlg dlg;
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                CSqlQuery row = ReadPageRow(m_db, page.nGroupId, page.nPageId);
                FAIL_CHECK(!row.eof(), QStringLiteral("Unable to find page in database."));
                ctx->m_strStartCheckMask = TextField(row, "startCheckMask");
                ctx->m_strStopCheckMask = TextField(row, "stopCheckMask");
                ctx->m_tLastChecked = UnsignedField(row, "lastChecked");
                ctx->m_tLastModified = UnsignedField(row, "lastModified");
                ctx->m_dwCheckSum = UnsignedField(row, "checkSum");
                ctx->m_iStatus = row.getIntField("status", 0);
                ctx->m_dwErrorCode = UnsignedField(row, "errorCode");
                ctx->m_dwHttpStatusCode = UnsignedField(row, "httpStatusCode");
                ctx->m_nGroupId = page.nGroupId;
                ctx->m_nPageId = page.nPageId;
                dlg.m_bEnable = row.getIntField("enable", 0);
                dlg.m_strUrl = TextField(row, "url");
                dlg.m_strUrlBrowser = TextField(row, "urlBrowser");
                dlg.m_strDescr = TextField(row, "descr");
                dlg.m_nInterval = UnsignedField(row, "interval");
            });
        }
        dlg.m_pPageCtx = ctx.get();
        const QString oldUrl = dlg.m_strUrl;
        const QString oldStart = ctx->m_strStartCheckMask;
        const QString oldStop = ctx->m_strStopCheckMask;

        // The page counts as being checked while the dialog is open. The context stays this
        // command's: the lists only borrow it, so no shutdown meanwhile frees it.
        m_checks.AddBorrowed(ctx.get());
        const INT_PTR result = dlg.DoModal(m_hWnd, reinterpret_cast<LPARAM>(g_hInternet.Get()));
        try {
            if (result == IDOK && !m_bShutDown)
                StoreModifiedPage(page.nGroupId, page.nPageId, dlg, *ctx, oldUrl,
                    dlg.m_strUrl != oldUrl || ctx->m_strStartCheckMask != oldStart || ctx->m_strStopCheckMask != oldStop
                        || dlg.m_bCheckStateStale);
        } catch (...) {
            m_checks.RemoveBorrowed(ctx.get());
            throw;
        }
        FAIL_CHECK(
            m_checks.RemoveBorrowed(ctx.get()), QStringLiteral("Strnage. Unable to find modified page in m_ctxsRun."));
    });
    return 0;
}

void CMainFrame::StoreModifiedPage(
    WORD nGroupId, WORD nPageId, const CPageModifyDlg& dlg, SPageCtx& ctx, const QString& oldUrl, bool changed)
{
    AUTO_DB_LOCKER();
    SqlGuard([&] {
        // Only a new address can meet another page of the group.
        FAIL_CHECK(!(dlg.m_strUrl != oldUrl && IsPageUrlTaken(m_db, nGroupId, dlg.m_strUrl)),
            QStringLiteral("Page with this url already exists in group."));
        SettleModifiedCheckState(ctx, changed);
        // A check queued before the dialog was made of the old row: its result would be written
        // over the new one.
        m_checks.DropPending(nGroupId, nPageId);
        FAIL_CHECK(UpdatePageRow(m_db, nGroupId, nPageId, FieldsOf(dlg), ctx) == 1,
            QStringLiteral("Unable to update database record."));
        // The tree may have been filled again while the dialog was open.
        const QString gone = QStringLiteral("Unable to update item info.");
        const SPageItem page = PageItemAgain(nGroupId, nPageId, gone);
        CSqlQuery row = ReadPageRow(m_db, nGroupId, nPageId);
        FAIL_CHECK(!row.eof() && AddPageItem(row, page.hItem, nullptr), gone);
        row.finalize();
        UpdateGroupPagesOrder(page.hGroup);
        CSqlQuery group = ReadGroupRow(m_db, nGroupId);
        ResortGroup(group, page.hGroup);
        group.finalize();
        m_mainTree.SelectItem(FindPage(nGroupId, nPageId));
    });
}
