#include "dialogs/EMailTestDlg.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Utils.h"
#include "dialogs/TraceSmtp.h"
#include "mail/SmtpMsg.h"
#include "res/resource.h"

TRACE_MODULE("CEMailTestDlg");

namespace {

struct SField {
    int id;
    QString CEMailTestDlg::*text;
};

const SField kFields[] = {
    { IDC_TEST_SMTP_SERVER, &CEMailTestDlg::m_strSmtpServer },
    { IDC_TEST_FROM_NAME, &CEMailTestDlg::m_strFromName },
    { IDC_TEST_FROM_ADDRESS, &CEMailTestDlg::m_strFromAddress },
    { IDC_TEST_TO_NAME, &CEMailTestDlg::m_strToName },
    { IDC_TEST_TO_ADDRESS, &CEMailTestDlg::m_strToAddress },
    { IDC_TEST_SUBJECT, &CEMailTestDlg::m_strSubject },
    { IDC_TEST_MESSAGE, &CEMailTestDlg::m_strMessage },
};

} // namespace

LRESULT CEMailTestDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    TRACE_SCOPE(u"CEMailTestDlg::OnInitDialog");
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);
    CenterWindow(GetParent());
    SetDlgItemText(IDC_TEST_PROGRESS, QString());
    for (const SField& field : kFields)
        SetDlgItemText(field.id, this->*field.text);
    m_spSmtp = new CTraceSmtp(GetDlgItem(IDC_TEST_OUTPUT), GetDlgItem(IDC_TEST_PROGRESS));
    // The log of the tries follows the note.
    if (!m_strRecipientsNote.isEmpty()) {
        QString note = m_strRecipientsNote;
        SetDlgItemText(
            IDC_TEST_OUTPUT, note.replace(QLatin1Char('\n'), QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n"));
    }
    return FALSE;
}

LRESULT CEMailTestDlg::OnOk(WORD, WORD, HWND, BOOL&)
{
    for (const SField& field : kFields) {
        const HWND edit = GetDlgItem(field.id);
        if (!edit)
            break;
        this->*field.text = ::GetWindowText(edit);
    }
    try {
        Try();
    } catch (CCmnException& e) {
        TRACE0(u"CEMailTestDlg::OnOk. Exception - %s.\n", e.GetMessage());
        MessageBox(e.GetShortText(), QStringLiteral("Error."), MB_OK | MB_ICONERROR);
    }
    return 0;
}

void CEMailTestDlg::Try()
{
    FAIL_CHECK(m_spSmtp.IsValid(), QStringLiteral("Instance of CSmtp is NULL"));
    FAIL_CHECK(!m_strSmtpServer.isEmpty(), QStringLiteral("Field \"SMTP Server\" is empty"));
    FAIL_CHECK(IsValidEMail(m_strFromAddress), QStringLiteral("Invalid email \"From Address\""));
    FAIL_CHECK(IsValidEMail(m_strToAddress), QStringLiteral("Invalid email \"To Address\""));

    // The test always greets with HELO and keeps the client's own time-outs: the settings of the
    // update notice do not apply to it.
    m_spSmtp->m_bUseEhlo = FALSE;
    CSmtpMsg message;
    message.m_strSubject = m_strSubject;
    message.m_from = CSmtpMsgAddress(m_strFromAddress, m_strFromName);
    message.m_to = CSmtpMsgAddress(m_strToAddress, m_strToName);
    const CSmtpMsgBody body(m_strMessage, QStringLiteral("text/plain"), QStringLiteral("iso-8859-1"), encodingGuess);

    FAIL_CHECK(m_spSmtp->Connect(m_strSmtpServer), QStringLiteral("Unable connect to SMTP server"));
    message.m_bodies.clear();
    message.m_bodies.push_back(body);
    // A refused message leaves the connection open; the next try or the dialog's end closes it.
    FAIL_CHECK(m_spSmtp->SendMessage(message) == 0, QStringLiteral("Unable to send message"));
    m_spSmtp->Disconnect();
    QString text = QStringLiteral("E-mail was SUCCESSFULLY send.");
    if (!m_strRecipientsNote.isEmpty())
        text += QStringLiteral("\n\nThe test went to the From address; change alerts go to the recipients file.\n")
            + m_strRecipientsNote;
    MessageBox(text, QStringLiteral("Congratulations"),
        MB_OK | (m_strRecipientsNote.isEmpty() ? MB_ICONINFORMATION : MB_ICONWARNING));
}

LRESULT CEMailTestDlg::OnEnd(WORD, WORD wID, HWND, BOOL&)
{
    EndDialog(wID);
    return 0;
}
