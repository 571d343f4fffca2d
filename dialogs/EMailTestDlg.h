// The modal "Test E-Mail Settings" dialog: sends one short message with the texts the caller
// filled in (and the user may change) and shows the whole SMTP dialogue in its output field.
// Nothing done here reaches the caller's page or the settings.
#pragma once

#include "core/SmartPtr.h"
#include "mail/Smtp.h"
#include "platform/ui/AtlWin.h"
#include "res/DialogIds.h"

#include <QString>

class CEMailTestDlg : public CDialogImpl<CEMailTestDlg> {
public:
    enum { IDD = IDD_EMAIL_TEST };

    BEGIN_MSG_MAP(CEMailTestDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDC_TEST_TRY, OnOk)
    COMMAND_CODE_HANDLER(1, OnIgnoredCommand)
    COMMAND_ID_HANDLER(IDOK, OnEnd)
    COMMAND_ID_HANDLER(IDCANCEL, OnEnd)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    // One try with the texts of the fields; every outcome is shown inside the dialog.
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnIgnoredCommand(WORD, WORD, HWND, BOOL&) { return 0; }
    LRESULT OnEnd(WORD, WORD wID, HWND, BOOL&);

    // The dialog's client, made when its window is; reused for every try.
    CSmartPtr<CSmtp> m_spSmtp;
    QString m_strSmtpServer;
    QString m_strFromName;
    QString m_strFromAddress;
    QString m_strToName;
    QString m_strToAddress;
    QString m_strSubject;
    QString m_strMessage;
    // What the caller found wrong with the recipients of the change alerts, which the test does
    // not reach: shown in the output when the dialog opens and with a success. Empty when nothing.
    QString m_strRecipientsNote;

private:
    void Try();
};
