// The dialog in which the user enters or edits one group: its title, whether it is checked, and
// the order in which the tree lists its pages. The caller fills the fields (for an existing
// group), runs it with 1 (existing group) or 0 (new group) and reads the fields after IDOK; the
// dialog itself stores nothing.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/Controls.h"
#include "res/DialogIds.h"

#include <QString>

class CGroupDlg : public CDialogImpl<CGroupDlg> {
public:
    enum { IDD = IDD_GROUP };
    // Creation parameters.
    enum : LPARAM {
        modeAddGroup = 0,
        modeModifyGroup = 1,
    };

    BEGIN_MSG_MAP(CGroupDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD wID, HWND, BOOL&);

    BOOL m_bModify = FALSE;
    CComboBox m_combo;
    QString m_strTitle; // trimmed and upper case after OK
    BOOL m_bEnable = TRUE;
    BYTE m_sortType = 1; // 1 alphabetical ascending, 2 descending, 3 by status, 4 user order
};
