// The main window's members, its message filter and idle handler, the tray and system commands,
// and the command handlers whose bodies come with their own features.
#include "frame/mainfrm.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/prefs/Preferences.h"

TRACE_MODULE("CMainFrame");

CAppModule _Module;

const char16_t* GetSortTypeName(int sortType)
{
    switch (sortType) {
    case sortAlphabeticalAsc:
        return u"Alphabetically ascending";
    case sortAlphabeticalDesc:
        return u"Alphabetically descending";
    case sortStatus:
        return u"Status";
    case sortUserOrder:
        return u"User order";
    default:
        return u"Unknown";
    }
}

const char16_t* GetPageStatusName(int status)
{
    switch (status) {
    case statusNew:
        return u"New";
    case statusError:
        return u"Error";
    case statusOrdinary:
        return u"Ordinary";
    default:
        return u"Unknown";
    }
}

CMainFrame::CMainFrame()
{
    m_strPopupHeader = QStringLiteral(
        "<body><table><tr><td colspan=2><center><h2>Updated web page:</h2><br><hr color=blue></center><br></td></tr>");
    m_strPopupFooter = QStringLiteral("</table></body>");
    m_strGroupToolTip = QStringLiteral(
        "<body><table><tr><td colspan=2><center><h2>Group: %s:</h2><br><hr color=blue></center><br></td></tr>"
        "<tr><td>Enable:</td><td>%s</td></tr>"
        "<tr><td>Sort type:</td><td>%s</td></tr>"
        "<tr><td>Items count:</td><td>%d</td></tr>"
        "</table></body>");
    m_strPageToolTip = QStringLiteral(
        "<body><table><tr><td colspan=2><center><h2>Page: %s:</h2><br><hr color=blue></center><br></td></tr>"
        "<tr><td>Group:</td><td>%s</td></tr>"
        "<tr><td>Enable:</td><td>%s</td></tr>"
        "<tr><td>Url:</td><td><a msg=\"%d,%d,%s\">%s</a></td></tr>"
        "<tr><td>Status:</td><td>%s</td></tr>"
        "<tr><td>Interval:</td><td>%s</td></tr>"
        "<tr><td>Last checked:</td><td>%s</td></tr>"
        "</table></body>");
    g_hInternet.Close();
}

CMainFrame::~CMainFrame()
{
    g_hInternet.Close();
}

void CMainFrame::ReportCommandFailure(const char16_t* handler, CCmnException& e)
{
    TRACE0(u"%s. Exception: %s\r\n", QString::fromUtf16(handler), e.GetMessage());
    MessageBox(e.GetShortText(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
}

BOOL CMainFrame::PreTranslateMessage(MSG* pMsg)
{
    m_trayToolTip.RelayEvent(pMsg);
    m_treeToolTip.RelayEvent(pMsg);
    m_tbarToolTip.RelayEvent(pMsg);
    return TranslateFrameAccelerator(pMsg);
}

BOOL CMainFrame::OnIdle()
{
    auto setEnabled = [this](int id, bool enable) {
        const bool enabledNow = !(UIGetState(id) & UPDUI_DISABLED);
        if (enabledNow != enable)
            UIEnable(id, enable ? TRUE : FALSE);
    };
    if (m_hWndToolBarCtrl)
        setEnabled(ID_TOOLS_CANCEL_CHECKS, !m_checks.m_ctxsRun.empty());

    // Counted where the tree's items change: nothing here walks the tree.
    const bool anyEnabled = m_checkable.AnyEnabled();
    const bool anyNew = m_checkable.AnyNew();
    if (m_mainTree.IsWindow()) {
        setEnabled(ID_TOOLS_CHECK_ALL, anyEnabled);
        setEnabled(ID_TOOLS_OPEN_ALL_UPDATED, anyNew);
    }
    if (m_trayIcon.IsVisible()) {
        const int wanted = anyNew ? 1 : 0;
        if (m_trayIcon.GetCurrentIconIndex() != wanted)
            m_trayIcon.ShowNextIcon();
    }
    UIUpdateToolBar();
    UIUpdateMenuBar();
    return FALSE;
}

LRESULT CMainFrame::OnTrayIconNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    return m_trayIcon.OnTrayNotification(wParam, lParam);
}

LRESULT CMainFrame::OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    TRACE_SCOPE(u"CMainFrame::OnSysCommand");
    const WPARAM command = wParam & 0xFFF0;
    if (command == SC_MINIMIZE) {
        if (g_prefs.GetParam(kMinToTray)->GetBool()) {
            m_bTrayShownForPopup = FALSE;
            m_trayIcon.ShowIcon();
            HideWindowToTray(m_hWnd);
        }
    } else if (command == SC_CLOSE) {
        BOOL handled = TRUE;
        OnFileExit(0, ID_APP_EXIT, nullptr, handled);
    }
    bHandled = FALSE;
    return 0;
}

LRESULT CMainFrame::OnRestoreFromTray(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnRestoreFromTray");
    ShowWindowFromTray(m_hWnd);
    m_trayIcon.RemoveIcon();
    return 0;
}

LRESULT CMainFrame::OnFileExit(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnFileExit");
    PostMessage(WM_CLOSE);
    return 0;
}
