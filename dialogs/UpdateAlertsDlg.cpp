#include "dialogs/UpdateAlertsDlg.h"

#include "dialogs/SoundChoice.h"
#include "res/resource.h"

TRACE_MODULE("UpdateAlertsDlg");

CUpdateAlertsDlg::CUpdateAlertsDlg()
    : CPreferencesPage(IDD, QStringLiteral("Update alerts"))
{
}

LRESULT CUpdateAlertsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CUpdateAlertsDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bPopupAlertEnable = prefs.GetParam(kPopupAlertEnable)->GetBool();
        m_nPopupAlertTimeout = prefs.GetParam(kPopupAlertTimeout)->GetInt();
        m_nPopupAlertItems = prefs.GetParam(kPopupAlertItems)->GetInt();
        m_bAlertSoundEnable = prefs.GetParam(kAlertSoundEnable)->GetBool();
        m_strAlertSoundFilePath = prefs.GetParam(kAlertSoundFilePath)->GetString();
        m_nAlertSoundType = prefs.GetParam(kAlertSoundDefault)->GetBool() ? 0 : 1;
        m_bRunCmdEnable = prefs.GetParam(kRunCmdEnable)->GetBool();
        m_strRunCmdText = prefs.GetParam(kRunCmdText)->GetString();
    });
    DoDataExchange(FALSE);
    BOOL handled = TRUE;
    OnPopupAlertEnable(BN_CLICKED, IDC_POPUP_ALERT_ENABLE, nullptr, handled);
    OnAlertSoundEnable(BN_CLICKED, IDC_ALERT_SOUND_ENABLE, nullptr, handled);
    OnRunCmdEnable(BN_CLICKED, IDC_RUN_CMD_ENABLE, nullptr, handled);
    return FALSE;
}

LRESULT CUpdateAlertsDlg::OnPopupAlertEnable(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_POPUP_ALERT_ENABLE);
    EnableControls(
        { IDC_POPUP_ALERT_TIMEOUT, IDC_POPUP_ALERT_TIMEOUT_LABEL, IDC_POPUP_ALERT_ITEMS, IDC_POPUP_ALERT_ITEMS_LABEL },
        m_bPopupAlertEnable);
    return 0;
}

LRESULT CUpdateAlertsDlg::OnAlertSoundEnable(WORD, WORD, HWND, BOOL& handled)
{
    DoDataExchange(TRUE, IDC_ALERT_SOUND_ENABLE);
    EnableControls({ IDC_ALERT_SOUND_DEFAULT, IDC_ALERT_SOUND_CUSTOM, IDC_ALERT_SOUND_PATH, IDC_ALERT_SOUND_TEST },
        m_bAlertSoundEnable);
    if (m_bAlertSoundEnable)
        OnAlertSoundType(BN_CLICKED, IDC_ALERT_SOUND_DEFAULT, nullptr, handled);
    else
        EnableControls({ IDC_ALERT_SOUND_BROWSE }, false);
    return 0;
}

LRESULT CUpdateAlertsDlg::OnAlertSoundType(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_ALERT_SOUND_DEFAULT);
    EnableControls({ IDC_ALERT_SOUND_PATH, IDC_ALERT_SOUND_BROWSE }, m_nAlertSoundType != 0);
    return 0;
}

LRESULT CUpdateAlertsDlg::OnRunCmdEnable(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_RUN_CMD_ENABLE);
    EnableControls({ IDC_RUN_CMD_TEXT }, m_bRunCmdEnable);
    return 0;
}

LRESULT CUpdateAlertsDlg::OnBrowse(WORD, WORD, HWND, BOOL&)
{
    const QString picked = PickFile(u"wav", kSoundFileFilter);
    if (!picked.isNull()) {
        m_strAlertSoundFilePath = picked;
        DoDataExchange(FALSE, IDC_ALERT_SOUND_PATH);
    }
    return 0;
}

LRESULT CUpdateAlertsDlg::OnTest(WORD, WORD, HWND, BOOL&)
{
    // The user hears what the field says now, typed or picked: the sound OK would store.
    DoDataExchange(TRUE, IDC_ALERT_SOUND_DEFAULT);
    DoDataExchange(TRUE, IDC_ALERT_SOUND_PATH);
    PlaySoundChoice(m_nAlertSoundType, IDR_WAVE_UPDATE, m_strAlertSoundFilePath);
    return 0;
}

void CUpdateAlertsDlg::OnDataExchangeError(UINT nCtrlID, BOOL)
{
    MessageBox(
        QStringLiteral("Invalid value in element which has focus now."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    ::MessageBeep(static_cast<UINT>(-1));
    ::SetFocus(GetDlgItem(static_cast<int>(nCtrlID)));
}

BOOL CUpdateAlertsDlg::Save()
{
    if (!DoDataExchange(TRUE))
        return FALSE;
    WithPrefs(PAGE_TRACE_LEVEL, u"CUpdateAlertsDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kPopupAlertEnable)->SetBool(m_bPopupAlertEnable);
        prefs.GetParam(kPopupAlertTimeout)->SetInt(m_nPopupAlertTimeout);
        prefs.GetParam(kPopupAlertItems)->SetInt(m_nPopupAlertItems);
        prefs.GetParam(kAlertSoundEnable)->SetBool(m_bAlertSoundEnable);
        prefs.GetParam(kAlertSoundFilePath)->SetString(m_strAlertSoundFilePath);
        prefs.GetParam(kAlertSoundDefault)->SetBool(m_nAlertSoundType == 0);
        prefs.GetParam(kRunCmdEnable)->SetBool(m_bRunCmdEnable);
        prefs.GetParam(kRunCmdText)->SetString(m_strRunCmdText);
    });
    return TRUE;
}
