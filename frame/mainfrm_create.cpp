// The main window's creation (bars, tree, tray icon, tooltips, database, settings, internet
// session, timers, toolbar server) and its shutdown.
#include "frame/mainfrm.h"

#include "frame/AutoRun.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/Utils.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/db/WriteAheadLog.h"
#include "core/prefs/Preferences.h"
#include "platform/base/FileStatus.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/ui/Gdi.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>
#include <vector>

TRACE_MODULE("CMainFrame");

namespace {

constexpr COLORREF kImageMask = 0xFF00FF;
// The longest the window's thread waits for another program's lock on the database: for a user's
// edit, and in all at exit, where what follows the waits (the server's and the checks' threads
// joined, the process's teardown) must fit in the rest of the exit's 10 seconds.
constexpr int kUserEditLockWaitMs = 2000;
constexpr DWORD kExitLockWaitMs = 9000;
constexpr UINT kStatusBarId = 59393;

// The toolbar's entries: command and image of the strip; 0 is a separator.
struct SToolBarEntry {
    UINT id;
    int image;
};
constexpr SToolBarEntry kToolBarEntries[]
    = { { ID_GROUP_ADD, 4 }, { ID_GROUP_DELETE, 5 }, { ID_GROUP_MODIFY, 6 }, { ID_GROUP_CHECK_ALL, 17 }, { 0, 0 },
          { ID_PAGE_ADD, 7 }, { ID_PAGE_DELETE, 8 }, { ID_PAGE_MODIFY, 9 }, { ID_PAGE_TOGGLE, 12 },
          { ID_PAGE_PROPERTIES, 20 }, { 0, 0 }, { ID_PAGE_CHECK_UPDATE, 19 }, { ID_TOOLS_CANCEL_CHECKS, 23 }, { 0, 0 },
          { ID_PAGE_MOVE_UP, 15 }, { ID_PAGE_MOVE_DOWN, 16 }, { 0, 0 }, { ID_TOOLS_PREFERENCES, 27 }, { 0, 0 },
          { ID_TOOLS_CHECK_ALL, 22 }, { ID_TOOLS_OPEN_ALL_UPDATED, 26 }, { 0, 0 }, { ID_APP_EXIT, 18 } };

void FillFromStrip(CImageList& list)
{
    list.Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 6);
    HBITMAP strip = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_TREE_IMAGES));
    list.Add(strip, kImageMask);
    DeleteObject(strip);
}

// The common look of the three tooltips.
void StyleToolTip(CHtmlToolTip& tip, int transparency)
{
    tip.SetBackgroundEffect(13, 5);
    tip.SetBackgroundColors(0xE5F8FF, 0x73D1FF, 0x009CFF);
    tip.SetBorder(0x009CFF, 1, 1);
    tip.SetShadow(6, 6, 25, TRUE, 8, 7);
    tip.SetDelayTime(4, 0);
    tip.SetDelayTime(5, 0);
    tip.SetTransparency(transparency);
}

} // namespace

void CMainFrame::CreateBars()
{
    m_cmdBar.Create(m_hWnd);
    m_cmdBar.AttachMenu(GetMenu());
    SetMenu(nullptr);

    m_hWndToolBarCtrl = CreateSimpleToolBarCtrl(m_hWnd, IDR_MAINFRAME, FALSE, ATL_SIMPLE_TOOLBAR_PANE_STYLE);
    FillFromStrip(m_toolBarImages);
    CToolBarCtrl toolBar(m_hWndToolBarCtrl);
    toolBar.ModifyStyle(0, TBSTYLE_FLAT);
    toolBar.SetImageList(m_toolBarImages);
    while (toolBar.GetButtonCount() > 0)
        toolBar.DeleteButton(0);
    std::vector<TBBUTTON> buttons;
    for (const SToolBarEntry& entry : kToolBarEntries) {
        TBBUTTON button;
        button.idCommand = static_cast<int>(entry.id);
        button.iBitmap = entry.image;
        button.fsState = entry.id ? TBSTATE_ENABLED : 0;
        button.fsStyle = entry.id ? BTNS_BUTTON : BTNS_SEP;
        buttons.push_back(button);
    }
    toolBar.AddButtons(static_cast<int>(buttons.size()), buttons.data());

    CreateSimpleReBar(ATL_SIMPLE_REBAR_NOBORDER_STYLE);
    AddSimpleReBarBand(m_cmdBar);
    AddSimpleReBarBand(m_hWndToolBarCtrl, QString(), TRUE);
    CreateSimpleStatusBar(ATL_IDS_IDLEMESSAGE, ATL_SIMPLE_STATUSBAR_STYLE, kStatusBarId);
}

void CMainFrame::CreateTree()
{
    FillFromStrip(m_treeImages);
    m_treeImages.SetOverlayImage(24, 1);
    RECT client;
    GetClientRect(&client);
    m_hWndClient = m_splitter.Create(m_hWnd, &client, QString(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN);
    m_mainTree.Create(m_splitter, &client, QString(),
        WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE,
        kMainTreeId);
    m_mainTree.SetImageList(m_treeImages);
    m_splitter.SetSplitterPane(SPLIT_PANE_LEFT, m_mainTree);
    m_splitter.SetSinglePaneMode(SPLIT_PANE_LEFT);
    UpdateLayout();
}

void CMainFrame::CreateTrayAndToolTips()
{
    FAIL_CHECK(m_trayIcon.Create(
                   nullptr, m_hWnd, WM_TRAY_ICON_NOTIFY, QString::fromUtf16(APP_NAME), nullptr, IDR_TRAY_POPUP, TRUE),
        QStringLiteral("Unable to create system tray icon."));
    FAIL_CHECK(m_trayIcon.SetIconList(IDI_PAGE_16x16, IDI_PAGE_NEW_16x16), QStringLiteral("Unable to set icons list."));
    m_trayIcon.ShowNextIcon();
    m_trayIcon.SetMenuDefaultItem(ID_RESTORE_FROM_TRAY, FALSE);
    m_trayIconPos.TrackIcon(m_hWnd, IDR_TRAY_POPUP);

    FAIL_CHECK(
        m_trayToolTip.Create(m_hWnd, TRUE), QStringLiteral("CMainFrame::OnCreate - Unable to create tray tool tip."));
    StyleToolTip(m_trayToolTip, 20);
    m_trayToolTip.SetCallbackHyperlink(m_hWnd, WM_TOOLTIP_HYPERLINK);

    FAIL_CHECK(
        m_treeToolTip.Create(m_hWnd, TRUE), QStringLiteral("CMainFrame::OnCreate - Unable to create tree tool tip."));
    StyleToolTip(m_treeToolTip, 0);
    m_treeToolTip.SetCallbackHyperlink(m_hWnd, WM_TOOLTIP_HYPERLINK);
    m_treeToolTip.SetDelayTime(3, 1000);
    m_treeToolTip.SetDelayTime(2, 2000);
    m_treeToolTip.AddTool(m_mainTree);
    m_treeToolTip.SetNotifyWindow(m_hWnd);
    m_treeToolTip.SetBehaviourFlags(13);

    FAIL_CHECK(m_tbarToolTip.Create(m_hWnd, TRUE),
        QStringLiteral("CMainFrame::OnCreate - Unable to create toolbar tool tip."));
    StyleToolTip(m_tbarToolTip, 0);
    m_tbarToolTip.AddToolBar(m_hWndToolBarCtrl);
    m_tbarToolTip.SetBehaviourFlags(1);
    m_tbarToolTip.SetDirection(0);
}

void CMainFrame::OpenDatabase(const QString& path)
{
    // Said plainly at start rather than as a database error later.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
    FAIL_CHECK_FMT(taluvo::IsWritableFolder(CWideToAnsi(folder).Get().toStdString()),
        u"The program's folder \"%s\" cannot be written.", folder);
    try {
        taluvo::SFileStatus existing;
        const bool newDatabase = !taluvo::GetFileStatus(CWideToAnsi(path).Get().toStdString(), existing);
        if (newDatabase)
            TRACE2(u"CMainFrame::OnCreate - Database file not exists. Try to create it.");
        m_db.open(CWideToAnsi(path).Get().constData());
        TRACE2(u"CMainFrame::OnCreate - DB was successfully opened.\r\n");
        UseWriteAheadLog(m_db);
        CheckDb();
        LoadContent();
        SStoredPrefsProblem problem;
        m_bPrefsLoaded = LoadPrefs(&problem);
        if (!problem.what.isEmpty()) {
            // Shutdown may put good settings over the row only once the row is safe in its file.
            m_bPrefsLoaded = !problem.asidePath.isEmpty();
            ReportStoredPrefsProblem(problem);
        } else if (!m_bPrefsLoaded) {
            // Without a stored row there is nothing of the user's to protect: shutdown may store one.
            AUTO_DB_LOCKER();
            m_bPrefsLoaded = m_db.runScalar("SELECT COUNT(*) FROM PREFS;") == 0;
        }
        // The options show "Start with the desktop session" ticked from the first start on: the
        // entry it stands for exists from then on too. Later starts leave the entry to the user's
        // choices in the options.
        if (newDatabase && g_prefs.GetParam(kRunWithWindows)->GetBool())
            ManageAutoRun(TRUE);
        ApplySettings();
        // From here on the window's thread never sits out another program's lock for long: an
        // edit fails after this wait with the SQL error, a check's result is kept until the lock
        // goes. The start above may wait the whole busy wait, as it cannot go on without its rows.
        m_db.setThreadBusyLimit(std::this_thread::get_id(), kUserEditLockWaitMs);
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::OnCreate - SQL Exception. Error: %hs\r\n", e.errorMessage());
        // The first line as users know it; the second says which file and what SQLite found wrong.
        FAIL_CHECK_FMT(false, u"Database initialization error.\n%s: %s", path, SqlErrorReason(e));
    }
}

void CMainFrame::ApplySettings()
{
    const bool logEnabled = g_prefs.GetParam(kLogEnable)->GetBool();
    UIEnable(ID_TOOLS_OPEN_LOG_FILE, logEnabled ? TRUE : FALSE);
    BOOL handled = TRUE;
    OnFileWorkOffline(0, static_cast<WORD>(-1), nullptr, handled);
    OnViewToolBar(0, static_cast<WORD>(-1), nullptr, handled);
    OnViewStatusBar(0, static_cast<WORD>(-1), nullptr, handled);
    m_logFile.SetEnabled(logEnabled ? TRUE : FALSE);
    m_logFile.SetFileName(UpdateLogPath(g_prefs.GetParam(kLogFilePath)->GetString()));

    NMTREEVIEW none;
    none.hdr.hwndFrom = m_mainTree;
    none.hdr.idFrom = kMainTreeId;
    none.hdr.code = TVN_SELCHANGED;
    OnTreeSelChanged(static_cast<int>(kMainTreeId), &none.hdr, handled);
    if (HTREEITEM first = m_mainTree.GetRootItem())
        m_mainTree.SelectItem(first);
}

void CMainFrame::OpenInternetSession()
{
    QString proxy;
    QString bypass;
    const bool useProxy = g_prefs.GetParam(kUseProxy)->GetBool();
    if (useProxy) {
        const QString server = g_prefs.GetParam(kProxyServer)->GetString();
        const int port = g_prefs.GetParam(kProxyPort)->GetInt();
        proxy = taluvo::Format(u"http=%s:%d https=%s:%d", server, port, server, port);
        bypass = g_prefs.GetParam(kProxyExcludeList)->GetString();
    }
    g_hInternet.Close();
    HINTERNET session = useProxy
        ? InternetOpen(reinterpret_cast<LPCWSTR>(APP_NAME), INTERNET_OPEN_TYPE_PROXY,
            reinterpret_cast<LPCWSTR>(proxy.utf16()), reinterpret_cast<LPCWSTR>(bypass.utf16()), INTERNET_FLAG_ASYNC)
        : InternetOpen(
            reinterpret_cast<LPCWSTR>(APP_NAME), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    g_hInternet = session;
    FAIL_CHECK(g_hInternet.IsValid(), QStringLiteral("Unable to initialize WinInet library."));
    FAIL_CHECK(
        InternetSetStatusCallback(g_hInternet.Get(), CUpdater::WinInetCallback) != INTERNET_INVALID_STATUS_CALLBACK,
        QStringLiteral("Unable to set WinInet callback function."));
}

void CMainFrame::StartTimers()
{
    const bool autoDetect = g_prefs.GetParam(kAutoDetectOnline)->GetBool();
    if (autoDetect) {
        m_iCheckOnlineTimer = SetTimer(g_iCheckOnlineTimerId, 5000);
        FAIL_CHECK(m_iCheckOnlineTimer, QStringLiteral("Unable to set check online timer."));
    }
    UIEnable(ID_FILE_WORK_OFFLINE, autoDetect ? FALSE : TRUE);
    m_iIntervalTimer = SetTimer(g_iIntervalTimerId, 60000);
    FAIL_CHECK(m_iIntervalTimer, QStringLiteral("Unable to set interval timer."));
}

LRESULT CMainFrame::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    TRACE_SCOPE(u"CMainFrame::OnCreate");
    CreateBars();
    CreateTree();
    UIAddToolBar(m_hWndToolBarCtrl);
    if (CMessageLoop* loop = _Module.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    const QString path = taluvo::Format(u"%s/%hs", GetModuleDirectory(), kDatabaseFileName);
    TRACE2(u"CMainFrame::OnCreate. Application path: \"%s\".", path);
    try {
        CreateTrayAndToolTips();
        OpenDatabase(path);
        OpenInternetSession();
        StartTimers();
        // The server's handlers send their requests to this window.
        g_hMainWnd = m_hWnd;
        StartToolbarServer();
        g_prefs.GetParam(kWorkMode)->SetInt(1);
        m_mainTree.SetFocus();
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnCreate. Exception: %s\r\n", e.GetMessage());
        MessageBox(e.GetShortText(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
        BOOL handled = TRUE;
        OnFileExit(0, ID_APP_EXIT, nullptr, handled);
    }
    bHandled = TRUE;
    return 0;
}

void CMainFrame::Shutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    // No timer may start a check once the lists are being emptied.
    if (m_iIntervalTimer)
        KillTimer(g_iIntervalTimerId);
    if (m_iCheckOnlineTimer)
        KillTimer(g_iCheckOnlineTimerId);
    if (m_iPopupTimer)
        KillTimer(g_iPopupTimerId);
    m_iIntervalTimer = m_iCheckOnlineTimer = m_iPopupTimer = 0;
    // Another program's lock on the database is waited for at most this long in all, counted from
    // here: first by the results still kept, then by the settings and the compaction.
    const auto lockWaitEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExitLockWaitMs);
    const auto msLeft = [&] {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(lockWaitEnd - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<int64_t>(left.count(), 0));
    };

    // Its threads give up their own waits for the lock when told to stop.
    StopToolbarServer();

    m_checks.DropPending();
    StoreKeptResultsAtExit(static_cast<DWORD>(msLeft()));
    // The workers are waited for (bounded) before their contexts go, so none touches freed memory.
    m_checks.CancelRunning(kShutdownCheckWaitMs);
    // An alert e-mail under way may finish (bounded); those not started are dropped.
    m_mailAlerts.Shutdown(CMailAlertSender::kShutdownWaitMs);

    if (m_db.opened()) {
        // Each step may wait only for what is left of the exit's wait.
        const CThreadBusyLimit lockWait(m_db, 0);
        const auto waitWhatIsLeft = [&] { m_db.setThreadBusyLimit(std::this_thread::get_id(), msLeft()); };
        waitWhatIsLeft();
        // No box: the exit may come from the session's end or a signal, with nobody to click it,
        // and a box would hold the process past its bound. The trace says it.
        if (m_bPrefsLoaded && !SavePrefs()) {
            TRACE0(u"CMainFrame::OnDestroy - The settings could not be saved in the database \"%hs\". Changes to the "
                   u"settings since they were last saved are lost.\r\n",
                m_db.fileName());
        }
        try {
            AUTO_DB_LOCKER();
            // One self-contained file after exit, compacted without going through the log. A log
            // that must stay (another program reads the file) keeps everything; it is traced.
            waitWhatIsLeft();
            LeaveWriteAheadLog(m_db);
            waitWhatIsLeft();
            m_db.execDML("VACUUM;");
            m_db.close();
        } catch (const CSqlException& e) {
            TRACE0(u"CMainFrame::OnDestroy - SQL Exception. Error: %hs\r\n", e.errorMessage());
        }
    }
}

LRESULT CMainFrame::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    TRACE_SCOPE(u"CMainFrame::OnDestroy");
    Shutdown();
    if (CMessageLoop* loop = _Module.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    bHandled = FALSE;
    return 0;
}

LRESULT CMainFrame::OnQueryEndSession(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    // The session may still be cancelled: nothing is taken down before it really ends.
    bHandled = FALSE;
    return TRUE;
}

LRESULT CMainFrame::OnEndSession(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (wParam)
        Shutdown();
    bHandled = FALSE;
    return 0;
}
