#include "dialogs/AboutDlg.h"

LRESULT CAboutDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    CenterWindow(GetParent());
    m_htmlStatic.SubclassWindow(GetDlgItem(IDC_ABOUT_HTML));
    m_htmlStatic.Init();
    return TRUE;
}

LRESULT CAboutDlg::OnCloseCmd(WORD, WORD wID, HWND, BOOL&)
{
    EndDialog(wID);
    return 0;
}

LRESULT CAboutDlg::OnHyperLink(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    // The box has one message link, its closing picture; any text it sends closes the box.
    const auto* text = reinterpret_cast<const char16_t*>(wParam);
    if (text && *text)
        EndDialog(IDCANCEL);
    return 0;
}
