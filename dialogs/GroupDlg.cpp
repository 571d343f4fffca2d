#include "dialogs/GroupDlg.h"

#include "res/resource.h"

namespace {

// List index i stands for sort type i + 1; the texts are already in the sorted box's order.
constexpr const char16_t* kSortTypeTexts[] = { u"Alphabetical asc.", u"Alphabetical desc.", u"Status", u"User order" };
constexpr int kSortTypeCount = 4;

} // namespace

LRESULT CGroupDlg::OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    m_bModify = lParam == modeModifyGroup;
    CenterWindow(GetParent());
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);

    m_combo = GetDlgItem(IDC_GROUP_SORT);
    for (const char16_t* text : kSortTypeTexts)
        m_combo.AddString(QString::fromUtf16(text));

    CEdit title(GetDlgItem(IDC_GROUP_TITLE));
    if (m_bModify) {
        SetWindowText(QStringLiteral("Modify group properties"));
        m_strTitle = m_strTitle.toUpper();
        // A stored sort type the list does not know shows as the first entry, so OK never
        // writes it back.
        const int index = (m_sortType >= 1 && m_sortType <= kSortTypeCount) ? m_sortType - 1 : 0;
        m_combo.SetCurSel(index);
    } else {
        SetWindowText(QStringLiteral("Add group of web pages"));
        m_strTitle.clear();
        m_bEnable = TRUE;
        m_sortType = 1;
        m_combo.SetCurSel(0);
    }
    title.SetWindowText(m_strTitle);
    CButton(GetDlgItem(IDC_GROUP_ENABLE)).SetCheck(m_bEnable ? BST_CHECKED : BST_UNCHECKED);
    if (m_bModify)
        title.SetSelAll();
    title.SetFocus();
    return FALSE;
}

LRESULT CGroupDlg::OnOk(WORD, WORD, HWND, BOOL&)
{
    m_strTitle = CEdit(GetDlgItem(IDC_GROUP_TITLE)).GetWindowText();
    m_bEnable = CButton(GetDlgItem(IDC_GROUP_ENABLE)).GetCheck() == BST_CHECKED;
    const int index = m_combo.GetCurSel();
    m_sortType = static_cast<BYTE>((index >= 0 && index < kSortTypeCount) ? index + 1 : 1);
    m_strTitle = m_strTitle.trimmed().toUpper();
    if (m_strTitle.isEmpty()) {
        MessageBox(QStringLiteral("Group title cannot be empty."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
        return 0;
    }
    EndDialog(IDOK);
    return 0;
}

LRESULT CGroupDlg::OnCancel(WORD, WORD wID, HWND, BOOL&)
{
    EndDialog(IDCANCEL);
    return 0;
}
