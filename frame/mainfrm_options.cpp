// How the program is set up: the options sheet and what its OK changes at once, the View menu's
// bar toggles (also the appliers of their settings), and the update log opened in the desktop's
// editor.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/Mutex.h"
#include "core/prefs/Preferences.h"
#include "dialogs/PreferencesDlg.h"
#include "frame/AutoRun.h"
#include "platform/shell/Launch.h"

TRACE_MODULE("CMainFrame");

namespace {

// The notify code (or id) by which callers ask a toggle only to show the stored value.
constexpr WORD kApplyOnly = static_cast<WORD>(-1);

// Reads a flag and, unless only applying, inverts and stores it.
bool ToggledFlag(const char* name, WORD notifyCode, WORD id)
{
    CParam* param = g_prefs.GetParam(name);
    bool value = param->GetBool();
    if (notifyCode != kApplyOnly && id != kApplyOnly) {
        value = !value;
        param->SetBool(value);
    }
    return value;
}

} // namespace

LRESULT CMainFrame::OnViewToolBar(WORD wNotifyCode, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnViewToolBar");
    const bool show = ToggledFlag(kShowToolBar, wNotifyCode, wID);
    CReBarCtrl rebar(m_hWndToolBar);
    if (rebar.IsWindow())
        rebar.ShowBand(rebar.IdToIndex(ATL_IDW_BAND_FIRST + 1), show ? TRUE : FALSE);
    UISetCheck(ID_VIEW_TOOLBAR, show);
    UpdateLayout();
    return 0;
}

LRESULT CMainFrame::OnViewStatusBar(WORD wNotifyCode, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnViewStatusBar");
    const bool show = ToggledFlag(kShowStatusBar, wNotifyCode, wID);
    if (::IsWindow(m_hWndStatusBar))
        ::ShowWindow(m_hWndStatusBar, show ? SW_SHOWNOACTIVATE : SW_HIDE);
    UISetCheck(ID_VIEW_STATUS_BAR, show);
    UpdateLayout();
    return 0;
}

LRESULT CMainFrame::OnToolsOpenLogFile(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnToolsOpenLogFile");
    const QString path = UpdateLogPath(g_prefs.GetParam(kLogFilePath)->GetString());
    if (taluvo::shell::OpenFile(path) <= 32)
        MessageBox(QStringLiteral("Unable to open LOG file."), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    return 0;
}

LRESULT CMainFrame::OnToolsPreferences(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnToolsPreferences");
    bool startedWithSession = false;
    {
        CMutexLocker lock(g_prefs.m_mutex);
        startedWithSession = g_prefs.GetParam(kRunWithWindows)->GetBool();
    }
    CPreferencesDlg dlg(&g_prefs, QStringLiteral("Preferences"), 0, nullptr);
    if (dlg.DoModal() != IDOK)
        return 0;

    // The recipients follow the file the sheet names now, as a new start would read them; the file
    // is read before the live store is locked.
    dlg.m_prefs.m_recipients.clear();
    dlg.m_prefs.ParseCsvFile(dlg.m_prefs.GetParam(kCSVFile)->GetString());
    try {
        {
            // The sheet edits neither of the two settings that timers and toolbar requests change
            // while it is open: they keep their live values.
            CMutexLocker lock(g_prefs.m_mutex);
            const bool workOffline = g_prefs.GetParam(kWorkOffline)->GetBool();
            const INT workMode = g_prefs.GetParam(kWorkMode)->GetInt();
            g_prefs = dlg.m_prefs;
            g_prefs.GetParam(kWorkOffline)->SetBool(workOffline);
            g_prefs.GetParam(kWorkMode)->SetInt(workMode);
        }
        SavePrefs();

        BOOL handled = TRUE;
        OnViewToolBar(kApplyOnly, ID_VIEW_TOOLBAR, nullptr, handled);
        OnViewStatusBar(kApplyOnly, ID_VIEW_STATUS_BAR, nullptr, handled);
        OnFileWorkOffline(kApplyOnly, ID_FILE_WORK_OFFLINE, nullptr, handled);

        const bool logEnabled = g_prefs.GetParam(kLogEnable)->GetBool();
        UIEnable(ID_TOOLS_OPEN_LOG_FILE, logEnabled ? TRUE : FALSE);
        m_logFile.SetEnabled(logEnabled ? TRUE : FALSE);
        m_logFile.SetFileName(UpdateLogPath(g_prefs.GetParam(kLogFilePath)->GetString()));

        // The autostart entry changes only when the user changed the option: a first OK never
        // adds an entry nobody asked for.
        const bool startWithSession = g_prefs.GetParam(kRunWithWindows)->GetBool();
        if (startWithSession != startedWithSession)
            ManageAutoRun(startWithSession ? TRUE : FALSE);

        const bool autoDetect = g_prefs.GetParam(kAutoDetectOnline)->GetBool();
        if (autoDetect) {
            m_iCheckOnlineTimer = SetTimer(g_iCheckOnlineTimerId, 5000);
            FAIL_CHECK(m_iCheckOnlineTimer, QStringLiteral("Unable to set check online timer."));
        } else {
            KillTimer(m_iCheckOnlineTimer);
            m_iCheckOnlineTimer = 0;
        }
        UIEnable(ID_FILE_WORK_OFFLINE, autoDetect ? FALSE : TRUE);
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnToolsPreferences. Exception: %s\r\n", e.GetMessage());
    }
    return 0;
}
