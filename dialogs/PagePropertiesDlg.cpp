#include "dialogs/PagePropertiesDlg.h"

#include "core/DebugTracer.h"
#include "res/DialogIds.h"
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
        { IDC_PROP_URL, &m_strUrl },
        { IDC_PROP_DESCR, &m_strDescr },
        { IDC_PROP_STATUS, &m_strStatus },
        { IDC_HTTP_CODE, &m_strHttpCode },
        { IDC_PROP_INTERVAL, &m_strInterval },
        { IDC_PROP_LAST_CHECKED, &m_strLastChecked },
        { IDC_PROP_LAST_MODIFIED, &m_strLastModified },
        { IDC_PROP_CHECK_DUE1, &m_strCheckDue },
        { IDC_PROP_CHECK_DUE_IN, &m_strCheckDueIn },
        { IDC_PROP_CHECKSUM, &m_strCheckSum },
        { IDC_PROP_START_CHECK, &m_strStartCheck },
        { IDC_PROP_STOP_CHECK, &m_strStopCheck },
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
