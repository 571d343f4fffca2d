#include "dialogs/LoggingDlg.h"

#include "platform/base/Process.h"
#include "platform/base/UserFolders.h"
#include "platform/ui/FileDialogs.h"

TRACE_MODULE("CLoggingDlg");

CLoggingDlg::CLoggingDlg()
    : CPreferencesPage(IDD, QStringLiteral("Logging"))
{
}

LRESULT CLoggingDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CLoggingDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bLogEnable = prefs.GetParam(kLogEnable)->GetBool();
        m_strLogFilePath = prefs.GetParam(kLogFilePath)->GetString();
    });
    DoDataExchange(FALSE);
    OnLogEnable(BN_CLICKED, IDC_LOG_ENABLE, nullptr, handled);
    return FALSE;
}

LRESULT CLoggingDlg::OnLogEnable(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_LOG_ENABLE);
    EnableControls({ IDC_LOG_PATH, IDC_LOG_BROWSE }, m_bLogEnable);
    return 0;
}

LRESULT CLoggingDlg::OnBrowse(WORD, WORD, HWND, BOOL&)
{
    CFolderDialog folder(
        m_hWnd, u"Please select LOG file path:", BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NONEWFOLDERBUTTON);
    // The picker opens where the log goes now, or in the user's home when the field names no
    // folder: the root of the file system is never where a log belongs.
    const QString shown = GetDlgItemText(IDC_LOG_PATH).trimmed();
    folder.SetInitialFolder(!shown.isEmpty() && taluvo::FolderExists(shown) ? shown : taluvo::UserHomeFolder());
    if (folder.DoModal(m_hWnd) != IDOK)
        return 0;
    m_strLogFilePath = folder.GetFolderPath();
    if (!DoDataExchange(FALSE, IDC_LOG_PATH)) {
        ::MessageBeep(static_cast<UINT>(-1));
        ::SetFocus(GetDlgItem(IDC_LOG_PATH));
    }
    return 0;
}

BOOL CLoggingDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CLoggingDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kLogEnable)->SetBool(m_bLogEnable);
        prefs.GetParam(kLogFilePath)->SetString(m_strLogFilePath);
    });
    return TRUE;
}
