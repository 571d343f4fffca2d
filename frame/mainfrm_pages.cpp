// The Page menu's commands on the selected page that need no dialog: delete, switch on or off,
// cancel the "new" status and copy the browser address.
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "engine/GroupRows.h"
#include "engine/PageRows.h"
#include "platform/ui/Clipboard.h"

#include <cstring>

TRACE_MODULE("CMainFrame");

namespace {

// A zero-filled movable block holding bytes and a terminating zero of unitSize bytes.
HGLOBAL TextBlock(const void* bytes, size_t size, size_t unitSize)
{
    HGLOBAL block = GlobalAlloc(GHND, size + unitSize);
    if (!block)
        return nullptr;
    if (void* target = GlobalLock(block)) {
        std::memcpy(target, bytes, size);
        GlobalUnlock(block);
    }
    return block;
}

void PutOnClipboard(UINT format, HGLOBAL block)
{
    // The clipboard takes a block it accepts; one it refuses stays ours.
    if (block && !SetClipboardData(format, block))
        GlobalFree(block);
}

} // namespace

LRESULT CMainFrame::OnPageDelete(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageDelete");
    CommandFrame(u"CMainFrame::OnPageDelete", [this] {
        const QString pleaseSelect = QStringLiteral("Please select page.");
        SPageFailureTexts texts;
        texts.noSelection = pleaseSelect;
        SPageItem page = SelectedPage(texts);
        if (g_prefs.GetParam(kConfirmDelete)->GetBool()) {
            const int answer = MessageBox(QStringLiteral("Taking this action will permanently delete this URL from "
                                                         "database.\n\nAre you sure you want do this?"),
                QStringLiteral("Confirmation."), MB_YESNO | MB_ICONQUESTION);
            if (answer != IDYES)
                return;
            page = PageItemAgain(page.nGroupId, page.nPageId, pleaseSelect);
        }
        FAIL_CHECK(IsPageInProcessing(page.nGroupId, page.nPageId) == m_checks.m_ctxsRun.end(),
            QStringLiteral("This page now in processing. Try this operation later."));
        m_checks.DropPending(page.nGroupId, page.nPageId);

        AUTO_DB_LOCKER();
        SqlGuard([&] {
            FAIL_CHECK(DeletePageRow(m_db, page.nGroupId, page.nPageId) == 1, QStringLiteral("Unable to delete page."));
        });
        m_mainTree.DeleteItem(page.hItem);
        m_checkable.RemovePage(page.nGroupId, page.nPageId);
        // A user-order group stores its order without the page (an empty one for its last page).
        UpdateGroupPagesOrder(page.hGroup);
    });
    return 0;
}

LRESULT CMainFrame::OnPageToggle(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageToggle");
    CommandFrame(u"CMainFrame::OnPageToggle", [this] {
        const SPageItem page = SelectedPage();
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                // The tree decides, not the stored row.
                const bool enable = !(m_mainTree.GetItemData(page.hItem) & TREE_IS_ENABLED);
                FAIL_CHECK(SetPageEnable(m_db, page.nGroupId, page.nPageId, enable) == 1,
                    QStringLiteral("Unable to update page \"enable\" status."));
                CSqlQuery row = ReadPageRow(m_db, page.nGroupId, page.nPageId);
                AddPageItem(row, page.hItem, nullptr);
            });
        }
        // The commands and the toggle button's picture follow the new flag.
        NotifyTreeSelection(m_mainTree.GetItemData(page.hItem));
    });
    return 0;
}

LRESULT CMainFrame::OnPageCancelStatus(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageCancelStatus");
    CommandFrame(u"CMainFrame::OnPageCancelStatus", [this] {
        const SPageItem page = SelectedPage();
        AUTO_DB_LOCKER();
        SqlGuard([&] {
            FAIL_CHECK(CancelPageNewStatus(m_db, page.nGroupId, page.nPageId) == 1,
                QStringLiteral("Unable reset page \"new\" status."));
            CSqlQuery row = ReadPageRow(m_db, page.nGroupId, page.nPageId);
            AddPageItem(row, page.hItem, nullptr);
            row.finalize();
            CSqlQuery group = ReadGroupRow(m_db, page.nGroupId);
            ResortGroup(group, page.hGroup);
        });
    });
    return 0;
}

LRESULT CMainFrame::OnPageCopyAddress(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageCopyAddress");
    CommandFrame(u"CMainFrame::OnPageCopyAddress", [this] {
        const SPageItem page = SelectedPage();
        QByteArray address;
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                CSqlQuery row = ReadPageRow(m_db, page.nGroupId, page.nPageId);
                address = QByteArray(row.getStringField("urlBrowser", ""));
            });
        }
        FAIL_CHECK(OpenClipboard(m_hWnd), QStringLiteral("Unable to open clipboard."));
        // Emptied first, so no text of an earlier owner is left beside the address.
        EmptyClipboard();
        const QString wide = CAnsiToWide(address).Get();
        PutOnClipboard(CF_TEXT, TextBlock(address.constData(), static_cast<size_t>(address.size()), 1));
        PutOnClipboard(CF_UNICODETEXT, TextBlock(wide.utf16(), static_cast<size_t>(wide.size()) * 2, 2));
        // The OEM code page is the ANSI one here: the same bytes.
        PutOnClipboard(CF_OEMTEXT, TextBlock(address.constData(), static_cast<size_t>(address.size()), 1));
        CloseClipboard();
    });
    return 0;
}
