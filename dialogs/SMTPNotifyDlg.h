// Options page "SMTP Notifications": e-mail notification on or off, the SMTP server, the sender
// address and the recipients file, and a test of these values as they stand on the page.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CSMTPNotifyDlg : public CPreferencesPage, public CWinDataExchange<CSMTPNotifyDlg> {
public:
    enum { IDD = IDD_SMTP_NOTIFY };
    CSMTPNotifyDlg();

    BEGIN_MSG_MAP(CSMTPNotifyDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_USE_EMAIL, BN_CLICKED, OnUseEMailNotification)
    COMMAND_ID_HANDLER(IDC_CSV_BROWSE, OnBrowse)
    COMMAND_ID_HANDLER(IDC_EMAIL_TEST, OnTest)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CSMTPNotifyDlg)
    DDX_CHECK(IDC_USE_EMAIL, m_bUseEMailNotification)
    DDX_TEXT(IDC_SMTP_SERVER, m_strSmtpServer)
    DDX_TEXT(IDC_EMAIL_FROM, m_strEMailFromAddr)
    DDX_TEXT(IDC_CSV_FILE, m_strCSVFile)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnUseEMailNotification(WORD, WORD, HWND, BOOL&);
    LRESULT OnBrowse(WORD, WORD, HWND, BOOL&);
    LRESULT OnTest(WORD, WORD, HWND, BOOL&);
    BOOL Save() override;
    // OK of the sheet: with e-mail notification on, a recipients file that leaves recipients out
    // is named with its lines; the user keeps the settings (Yes) or goes back to the page (No).
    int OnApply() override;

    // Why change alerts would miss recipients of the file the page names; empty when e-mail
    // notification is off or every line gives a recipient.
    QString RecipientsProblem() const;

    BOOL m_bUseEMailNotification = FALSE;
    QString m_strSmtpServer;
    QString m_strEMailFromAddr;
    QString m_strCSVFile;
};
