// The read-only view of what is stored about one page. The caller computes the twelve texts,
// assigns them and runs the dialog; it only puts them into its controls.
#pragma once

#include "platform/ui/AtlWin.h"
#include "res/DialogIds.h"

#include <QString>

class CPagePropertiesDlg : public CDialogImpl<CPagePropertiesDlg> {
public:
    enum { IDD = IDD_PAGE_PROPERTIES };

    BEGIN_MSG_MAP(CPagePropertiesDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCancel(WORD, WORD wID, HWND, BOOL&);
    LRESULT OnOk(WORD, WORD wID, HWND, BOOL&);

    QString m_strUrl;
    QString m_strDescr;
    QString m_strStatus;
    QString m_strHttpCode;
    QString m_strInterval;
    QString m_strLastChecked;
    QString m_strLastModified;
    QString m_strCheckDue;
    QString m_strCheckDueIn;
    QString m_strCheckSum;
    QString m_strStartCheck;
    QString m_strStopCheck;
};
