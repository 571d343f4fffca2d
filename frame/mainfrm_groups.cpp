// The Group menu's commands that change groups: add, modify, delete and switch on or off. Each
// keeps table GROUPS, the group's root item and (except the switch) the toolbars' list in step.
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "dialogs/GroupDlg.h"
#include "engine/GroupRows.h"

TRACE_MODULE("CMainFrame");

namespace {

const QString kTitleTaken = QStringLiteral("Group with name alread exists.");

} // namespace

LRESULT CMainFrame::OnGroupAdd(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnGroupAdd");
    CommandFrame(u"CMainFrame::OnGroupAdd", [this] {
        CGroupDlg dlg;
        if (dlg.DoModal(::GetActiveWindow(), CGroupDlg::modeAddGroup) != IDOK)
            return;

        bool taken = false;
        {
            AUTO_DB_LOCKER();
            taken = SqlGuard([&] { return IsGroupTitleTaken(m_db, dlg.m_strTitle); });
        }
        if (taken) {
            MessageBox(kTitleTaken, QStringLiteral("Warning"), MB_OK | MB_ICONWARNING);
            return;
        }
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                const int id = InsertGroup(m_db, dlg.m_strTitle, dlg.m_bEnable, dlg.m_sortType);
                FAIL_CHECK(id != 0, QStringLiteral("Unable to add group."));
                CSqlQuery row = ReadGroupRow(m_db, static_cast<WORD>(id));
                HTREEITEM hItem = row.eof() ? nullptr : AddGroupItem(row, nullptr);
                FAIL_CHECK(hItem, QStringLiteral("Unable to add group."));
                m_mainTree.SelectItem(hItem);
            });
        }
        TellToolbarsGroups();
    });
    return 0;
}

LRESULT CMainFrame::OnGroupModify(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnGroupModify");
    CommandFrame(u"CMainFrame::OnGroupModify", [this] {
        const QString noSelection = QStringLiteral("Select item is NULL.");
        const WORD nGroupId = SelectedGroupId(noSelection);

        CGroupDlg dlg;
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                CSqlQuery row = ReadGroupRow(m_db, nGroupId);
                FAIL_CHECK(!row.eof(), QStringLiteral("Unable to find group in database."));
                dlg.m_strTitle = CAnsiToWide(QByteArray(row.getStringField("title", ""))).Get();
                dlg.m_bEnable = row.getIntField("enable", 0) != 0;
                dlg.m_sortType = static_cast<BYTE>(row.getIntField("sortType", 0));
            });
        }
        const QString oldTitle = dlg.m_strTitle;
        if (dlg.DoModal(::GetActiveWindow(), CGroupDlg::modeModifyGroup) != IDOK)
            return;

        if (dlg.m_strTitle != oldTitle) {
            AUTO_DB_LOCKER();
            const bool taken = SqlGuard([&] { return IsGroupTitleTaken(m_db, dlg.m_strTitle); });
            FAIL_CHECK(!taken, kTitleTaken);
        }
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                HTREEITEM hGroup = GroupItemAgain(nGroupId, noSelection);
                UpdateGroup(m_db, nGroupId, dlg.m_strTitle, dlg.m_bEnable, dlg.m_sortType);
                CSqlQuery row = ReadGroupRow(m_db, nGroupId);
                FAIL_CHECK(!row.eof(), QStringLiteral("Unable to find group in database."));
                AddGroupItem(row, hGroup);
                row.finalize();
                // The item carries the new sort type already: a group switched to user order keeps
                // the order it shows now.
                UpdateGroupPagesOrder(hGroup);
                CSqlQuery again = ReadGroupRow(m_db, nGroupId);
                ResortGroup(again, hGroup);
            });
        }
        TellToolbarsGroups();
    });
    return 0;
}

LRESULT CMainFrame::OnGroupDelete(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnGroupDelete");
    CommandFrame(u"CMainFrame::OnGroupDelete", [this] {
        const QString noSelection = QStringLiteral("Selected item is NULL.");
        const WORD nGroupId = SelectedGroupId(noSelection);
        if (g_prefs.GetParam(kConfirmDelete)->GetBool()) {
            const int answer
                = MessageBox(QStringLiteral("Taking this action will permanently delete this group and "
                                            "pages in it from database.\n\nAre you sure you want do this?"),
                    QStringLiteral("Confirmation."), MB_YESNO | MB_ICONQUESTION);
            if (answer != IDYES)
                return;
        }
        HTREEITEM hGroup = GroupItemAgain(nGroupId, noSelection);
        FAIL_CHECK(IsPageInProcessing(nGroupId, 0xFFFF) == m_checks.m_ctxsRun.end(),
            QStringLiteral("At least one page now in processing from this group. Try this operation later"));
        m_checks.DropPending(nGroupId, 0xFFFF);
        {
            AUTO_DB_LOCKER();
            SqlGuard([&] { DeleteGroupWithPages(m_db, nGroupId); });
            m_mainTree.DeleteItem(hGroup);
            m_checkable.RemoveGroup(nGroupId);
        }
        ClearTreeSelection();
        TellToolbarsGroups();
    });
    return 0;
}

LRESULT CMainFrame::OnGroupToggle(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnGroupToggle");
    CommandFrame(u"CMainFrame::OnGroupToggle", [this] {
        const WORD nGroupId = SelectedGroupId(QStringLiteral("Selected item is NULL."));
        HTREEITEM hGroup = m_mainTree.GetSelectedItem();
        // The tree decides, not the stored row.
        const bool enable = !(m_mainTree.GetItemData(hGroup) & TREE_IS_ENABLED);
        AUTO_DB_LOCKER();
        SqlGuard([&] {
            FAIL_CHECK(SetGroupEnable(m_db, nGroupId, enable) == 1,
                QStringLiteral("Unable to update database record \"enable\"."));
            CSqlQuery row = ReadGroupRow(m_db, nGroupId);
            FAIL_CHECK(!row.eof(), QStringLiteral("Unable to find group in database."));
            AddGroupItem(row, hGroup);
        });
        // No groups message: it carries no enable state.
    });
    return 0;
}
