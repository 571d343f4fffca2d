#include "dialogs/ErrorAlertsDlg.h"

#include "dialogs/SoundChoice.h"
#include "res/resource.h"

TRACE_MODULE("CErrorAlertsDlg");

CErrorAlertsDlg::CErrorAlertsDlg()
    : CPreferencesPage(IDD, QStringLiteral("Error alerts"))
{
}

LRESULT CErrorAlertsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled)
{
    WithPrefs(PAGE_TRACE_LEVEL, u"CErrorAlertsDlg::OnInitDialog", [this](CPreferences& prefs) {
        m_bErrorSoundEnable = prefs.GetParam(kErrorSoundEnable)->GetBool();
        m_nErrorSoundType = prefs.GetParam(kErrorSoundDefault)->GetBool() ? 0 : 1;
        m_strErrorSoundFilePath = prefs.GetParam(kErrorSoundFilePath)->GetString();
    });
    DoDataExchange(FALSE);
    OnErrorSoundEnable(BN_CLICKED, IDC_ERROR_SOUND_ENABLE, nullptr, handled);
    return FALSE;
}

LRESULT CErrorAlertsDlg::OnErrorSoundEnable(WORD, WORD, HWND, BOOL& handled)
{
    DoDataExchange(TRUE, IDC_ERROR_SOUND_ENABLE);
    EnableControls({ IDC_ERROR_SOUND_DEFAULT, IDC_ERROR_SOUND_CUSTOM, IDC_ERROR_SOUND_PATH, IDC_ERROR_SOUND_TEST },
        m_bErrorSoundEnable);
    if (m_bErrorSoundEnable)
        OnErrorSoundType(BN_CLICKED, IDC_ERROR_SOUND_DEFAULT, nullptr, handled);
    else
        EnableControls({ IDC_ERROR_SOUND_BROWSE }, false);
    return 0;
}

LRESULT CErrorAlertsDlg::OnErrorSoundType(WORD, WORD, HWND, BOOL&)
{
    DoDataExchange(TRUE, IDC_ERROR_SOUND_DEFAULT);
    EnableControls({ IDC_ERROR_SOUND_PATH, IDC_ERROR_SOUND_BROWSE }, m_nErrorSoundType != 0);
    return 0;
}

LRESULT CErrorAlertsDlg::OnBrowse(WORD, WORD, HWND, BOOL&)
{
    const QString picked = PickFile(u"wav", kSoundFileFilter);
    if (!picked.isNull()) {
        m_strErrorSoundFilePath = picked;
        DoDataExchange(FALSE, IDC_ERROR_SOUND_PATH);
    }
    return 0;
}

LRESULT CErrorAlertsDlg::OnTest(WORD, WORD, HWND, BOOL&)
{
    // The user hears what the field says now, typed or picked: the sound OK would store.
    DoDataExchange(TRUE, IDC_ERROR_SOUND_DEFAULT);
    DoDataExchange(TRUE, IDC_ERROR_SOUND_PATH);
    PlaySoundChoice(m_nErrorSoundType, IDR_WAVE_ERROR, m_strErrorSoundFilePath);
    return 0;
}

BOOL CErrorAlertsDlg::Save()
{
    DoDataExchange(TRUE);
    WithPrefs(PAGE_TRACE_LEVEL, u"CErrorAlertsDlg::Save", [this](CPreferences& prefs) {
        prefs.GetParam(kErrorSoundEnable)->SetBool(m_bErrorSoundEnable);
        prefs.GetParam(kErrorSoundDefault)->SetBool(m_nErrorSoundType == 0);
        prefs.GetParam(kErrorSoundFilePath)->SetString(m_strErrorSoundFilePath);
    });
    return TRUE;
}
