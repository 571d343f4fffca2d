#include "dialogs/PagePropertiesDlg.h"

#include "core/DebugTracer.h"
#include "res/resource.h"

#include <utility>

TRACE_MODULE("CPagePropertiesDlg");

LRESULT CPagePropertiesDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    TRACE_SCOPE(u"CPagePropertiesDlg::OnInitDialog");
    CenterWindow(GetParent());
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);
    // Every control gets its text, an empty one included: the template's placeholders never show.
    const std::pair<int, const QString*> fields[] = {
        { 1030, &m_strUrl },
        { 1016, &m_strDescr },
        { 1029, &m_strStatus },
        { 1026, &m_strHttpCode },
        { 1019, &m_strInterval },
        { 1020, &m_strLastChecked },
        { 1021, &m_strLastModified },
        { 1022, &m_strCheckDue },
        { 1052, &m_strCheckDueIn },
        { 1023, &m_strCheckSum },
        { 1024, &m_strStartCheck },
        { 1025, &m_strStopCheck },
    };
    for (const auto& [id, text] : fields)
        SetDlgItemText(id, *text);
    return FALSE;
}

LRESULT CPagePropertiesDlg::OnCancel(WORD, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CPagePropertiesDlg::OnCancel");
    EndDialog(wID);
    return 0;
}

LRESULT CPagePropertiesDlg::OnOk(WORD, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CPagePropertiesDlg::OnOk");
    EndDialog(wID);
    return 0;
}
