// Options page "Error alerts": the sound played when a check fails.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "res/DialogIds.h"

class CErrorAlertsDlg : public CPreferencesPage, public CWinDataExchange<CErrorAlertsDlg> {
public:
    enum { IDD = IDD_ERROR_ALERTS };
    CErrorAlertsDlg();

    BEGIN_MSG_MAP(CErrorAlertsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_ERROR_SOUND_ENABLE, BN_CLICKED, OnErrorSoundEnable)
    COMMAND_HANDLER(IDC_ERROR_SOUND_DEFAULT, BN_CLICKED, OnErrorSoundType)
    COMMAND_HANDLER(IDC_ERROR_SOUND_CUSTOM, BN_CLICKED, OnErrorSoundType)
    COMMAND_ID_HANDLER(IDC_ERROR_SOUND_BROWSE, OnBrowse)
    COMMAND_ID_HANDLER(IDC_ERROR_SOUND_TEST, OnTest)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CErrorAlertsDlg)
    DDX_CHECK(IDC_ERROR_SOUND_ENABLE, m_bErrorSoundEnable)
    DDX_RADIO(IDC_ERROR_SOUND_DEFAULT, m_nErrorSoundType)
    DDX_TEXT(IDC_ERROR_SOUND_PATH, m_strErrorSoundFilePath)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnErrorSoundEnable(WORD, WORD, HWND, BOOL&);
    LRESULT OnErrorSoundType(WORD, WORD, HWND, BOOL&);
    LRESULT OnBrowse(WORD, WORD, HWND, BOOL&);
    LRESULT OnTest(WORD, WORD, HWND, BOOL&);
    BOOL Save() override;

    BOOL m_bErrorSoundEnable = FALSE;
    int m_nErrorSoundType = 0; // 0 the built-in sound, 1 a file
    QString m_strErrorSoundFilePath;
};
