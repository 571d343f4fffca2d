// Options page "Update alerts": the popup beside the tray icon, the alert sound and the command
// run for every updated page.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CUpdateAlertsDlg : public CPreferencesPage, public CWinDataExchange<CUpdateAlertsDlg> {
public:
    enum { IDD = IDD_UPDATE_ALERTS };
    CUpdateAlertsDlg();

    BEGIN_MSG_MAP(CUpdateAlertsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_POPUP_ALERT_ENABLE, BN_CLICKED, OnPopupAlertEnable)
    COMMAND_HANDLER(IDC_ALERT_SOUND_ENABLE, BN_CLICKED, OnAlertSoundEnable)
    COMMAND_HANDLER(IDC_ALERT_SOUND_DEFAULT, BN_CLICKED, OnAlertSoundType)
    COMMAND_HANDLER(IDC_ALERT_SOUND_CUSTOM, BN_CLICKED, OnAlertSoundType)
    COMMAND_HANDLER(IDC_RUN_CMD_ENABLE, BN_CLICKED, OnRunCmdEnable)
    COMMAND_ID_HANDLER(IDC_ALERT_SOUND_BROWSE, OnBrowse)
    COMMAND_ID_HANDLER(IDC_ALERT_SOUND_TEST, OnTest)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CUpdateAlertsDlg)
    DDX_CHECK(IDC_POPUP_ALERT_ENABLE, m_bPopupAlertEnable)
    DDX_INT_RANGE(IDC_POPUP_ALERT_TIMEOUT, m_nPopupAlertTimeout, 5, 60)
    DDX_INT_RANGE(IDC_POPUP_ALERT_ITEMS, m_nPopupAlertItems, 1, 20)
    DDX_CHECK(IDC_ALERT_SOUND_ENABLE, m_bAlertSoundEnable)
    DDX_RADIO(IDC_ALERT_SOUND_DEFAULT, m_nAlertSoundType)
    DDX_TEXT(IDC_ALERT_SOUND_PATH, m_strAlertSoundFilePath)
    DDX_CHECK(IDC_RUN_CMD_ENABLE, m_bRunCmdEnable)
    DDX_TEXT(IDC_RUN_CMD_TEXT, m_strRunCmdText)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnPopupAlertEnable(WORD, WORD, HWND, BOOL&);
    LRESULT OnAlertSoundEnable(WORD, WORD, HWND, BOOL&);
    LRESULT OnAlertSoundType(WORD, WORD, HWND, BOOL&);
    LRESULT OnRunCmdEnable(WORD, WORD, HWND, BOOL&);
    LRESULT OnBrowse(WORD, WORD, HWND, BOOL&);
    LRESULT OnTest(WORD, WORD, HWND, BOOL&);
    // A number field that holds no number: a box, then the beep and the focus on the field.
    void OnDataExchangeError(UINT nCtrlID, BOOL bSave);
    BOOL Save() override;

    BOOL m_bPopupAlertEnable = FALSE;
    int m_nPopupAlertTimeout = 0;
    int m_nPopupAlertItems = 0;
    BOOL m_bAlertSoundEnable = FALSE;
    int m_nAlertSoundType = 0; // 0 the built-in sound, 1 a file
    QString m_strAlertSoundFilePath;
    BOOL m_bRunCmdEnable = FALSE;
    QString m_strRunCmdText;
};
