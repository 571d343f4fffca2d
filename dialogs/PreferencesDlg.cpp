#include "dialogs/PreferencesDlg.h"

#include "core/DebugTracer.h"
#include "res/resource.h"

TRACE_MODULE("CPreferencesDlg");

CPreferencesDlg::CPreferencesDlg(CPreferences* source, const QString& caption, UINT startPage, HWND parent)
    : CPropertySheetImpl<CPreferencesDlg>(caption, startPage, parent)
{
    m_psh.dwFlags |= PSH_NOAPPLYNOW;
    if (source) {
        CMutexLocker lock(source->m_mutex);
        m_prefs = *source;
    }
    CPreferencesPage* const pages[] = { &m_updateAlerts, &m_errorAlerts, &m_logging, &m_connections, &m_proxyServer,
        &m_visualSettings, &m_webBrowser, &m_defaultInterval, &m_smtpNotify, &m_automation, &m_misc };
    for (CPreferencesPage* page : pages)
        page->m_pPrefs = &m_prefs;
    // A page whose handle cannot be made is left out; its settings stay as the copy holds them.
    for (CPreferencesPage* page : pages) {
        if (!AddPage(*page))
            TRACE0(u"CPreferencesDlg::CPreferencesDlg. Unable to add page \"%s\".\r\n", page->GetTitle());
    }
}

LRESULT CPreferencesDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    CenterWindow(GetParent());
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);
    bHandled = FALSE;
    return FALSE;
}
