#include "dialogs/SMTPNotifyDlg.h"

#include "core/prefs/RecipientsFile.h"
#include "dialogs/EMailTestDlg.h"

TRACE_MODULE("SMTPNotifyDlg");

namespace {

constexpr char16_t kDisplayName[] = u"Taluvo";

} // namespace

CSMTPNotifyDlg::CSMTPNotifyDlg()
    : CPreferencesPage(IDD, QStringLiteral("SMTP Notifications"))
{
}

LRESULT CSMTPNotifyDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CSMTPNotifyDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bUseEMailNotification = prefs.GetParam(kUseEMailNotification)->GetBool();
        m_strCSVFile = prefs.GetParam(kCSVFile)->GetString();
        m_strSmtpServer = prefs.GetParam(kSmtpServer)->GetString();
        m_strEMailFromAddr = prefs.GetParam(kEMailFromAddr)->GetString();
    });
    DoDataExchange(FALSE);
    OnUseEMailNotification(BN_CLICKED, IDC_USE_EMAIL, nullptr, handled);
    return FALSE;
}

LRESULT CSMTPNotifyDlg::OnUseEMailNotification(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_USE_EMAIL);
    EnableControls({ IDC_SMTP_SERVER, IDC_EMAIL_FROM, IDC_CSV_FILE, IDC_SMTP_SERVER_LABEL, IDC_EMAIL_FROM_LABEL,
                       IDC_CSV_FILE_LABEL, IDC_EMAIL_TEST, IDC_CSV_BROWSE },
        m_bUseEMailNotification);
    return 0;
}

LRESULT CSMTPNotifyDlg::OnBrowse(WORD, WORD, HWND, BOOL&)
{
    const QString picked = PickFile(u"csv", u"CSV files (*.csv)\0*.csv\0All Files (*.*)\0*.*\0");
    if (!picked.isNull()) {
        m_strCSVFile = picked;
        DoDataExchange(FALSE, IDC_CSV_FILE);
    }
    return 0;
}

LRESULT CSMTPNotifyDlg::OnTest(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE);
    const QString name = QString::fromUtf16(kDisplayName);
    CEMailTestDlg dlg;
    dlg.m_strSmtpServer = m_strSmtpServer;
    dlg.m_strFromName = name;
    dlg.m_strFromAddress = m_strEMailFromAddr;
    dlg.m_strToName = name;
    dlg.m_strToAddress = m_strEMailFromAddr;
    dlg.m_strSubject = QStringLiteral("This is a test message from %1").arg(name);
    dlg.m_strMessage = QStringLiteral("Simple text");
    // The test goes to the sender, so its success says nothing of the recipients of the alerts.
    dlg.m_strRecipientsNote = RecipientsProblem();
    dlg.DoModal(::GetActiveWindow());
    return 0;
}

BOOL CSMTPNotifyDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CSMTPNotifyDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kUseEMailNotification)->SetBool(m_bUseEMailNotification);
        prefs.GetParam(kCSVFile)->SetString(m_strCSVFile);
        prefs.GetParam(kSmtpServer)->SetString(m_strSmtpServer);
        prefs.GetParam(kEMailFromAddr)->SetString(m_strEMailFromAddr);
    });
    return TRUE;
}

QString CSMTPNotifyDlg::RecipientsProblem() const
{
    if (!m_bUseEMailNotification)
        return QString();
    return taluvo::prefs::DescribeRecipientsProblem(m_strCSVFile, taluvo::prefs::CheckRecipientsFile(m_strCSVFile));
}

int CSMTPNotifyDlg::OnApply()
{
    const QString problem = RecipientsProblem();
    if (problem.isEmpty())
        return PSNRET_NOERROR;
    const int answer = MessageBox(problem + QStringLiteral("\n\nKeep these settings? No goes back to the page."),
        QStringLiteral("E-mail notification"), MB_YESNO | MB_ICONWARNING);
    return answer == IDNO ? PSNRET_INVALID : PSNRET_NOERROR;
}
