// The about box: the program's name, version and credits drawn by the HTML static control, which
// takes over the template's one static. The picture button at the bottom of the text closes it, as
// do Escape, Enter and the close box.
#pragma once

#include "dialogs/HtmlStaticCtrl.h"
#include "platform/ui/AtlWin.h"
#include "res/DialogIds.h"

class CAboutDlg : public CDialogImpl<CAboutDlg> {
public:
    enum { IDD = IDD_ABOUTBOX };

    BEGIN_MSG_MAP(CAboutDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDOK, OnCloseCmd)
    COMMAND_ID_HANDLER(IDCANCEL, OnCloseCmd)
    MESSAGE_HANDLER(WM_TOOLTIP_HYPERLINK, OnHyperLink)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCloseCmd(WORD, WORD wID, HWND, BOOL&);
    LRESULT OnHyperLink(UINT, WPARAM wParam, LPARAM, BOOL&);

    CHtmlStaticCtrl m_htmlStatic;
};
