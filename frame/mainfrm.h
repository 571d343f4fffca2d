// The program's one top-level window: menu bar, toolbar, status bar, the tree of groups and pages,
// the tray icon, the three HTML tooltips, the update log and the two lists of page checks.
//
// The window-free work lives below (core/db, engine); the members here call it at the moments the
// window gives: creation opens the database and fills the tree, destruction stops the checks and
// stores the settings.
#pragma once

#include "Controls/HtmlToolTip.h"
#include "Controls/TrayIcon.h"
#include "Controls/TrayIconPosition.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "engine/CheckLists.h"
#include "engine/LogFile.h"
#include "engine/MailAlert.h"
#include "engine/Updater.h"
#include "frame/CheckablePages.h"
#include "frame/PageItemIndex.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Frame.h"
#include "res/resource.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>

inline constexpr char16_t APP_NAME[] = u"Taluvo";

class CPageModifyDlg;

// The program's module: the message loop of each thread and the instance resources come from.
extern CAppModule _Module;

constexpr UINT WM_TRAY_ICON_NOTIFY = WM_APP + 0x100;
// Posted to the window to show the oldest of its queued notices (see PostNotice).
constexpr UINT WM_SHOW_NOTICE = WM_APP + 0x120;

// Tree item data: bits 0-15 the id, 16-23 the sort type or the page status.
constexpr DWORD TREE_IS_GROUP = 0x01000000;
constexpr DWORD TREE_IS_ENABLED = 0x02000000;
constexpr WORD TREE_GET_ID(DWORD_PTR data)
{
    return static_cast<WORD>(data & 0xFFFF);
}
constexpr int TREE_GET_SORT_TYPE(DWORD_PTR data)
{
    return static_cast<int>((data >> 16) & 0xFF);
}
constexpr int TREE_GET_STATUS(DWORD_PTR data)
{
    return static_cast<int>((data >> 16) & 0xFF);
}

enum : int {
    sortAlphabeticalAsc = 1,
    sortAlphabeticalDesc = 2,
    sortStatus = 3,
    sortUserOrder = 4,
};

constexpr UINT kMainTreeId = 2000;
// Passed as the command id of the group check: check the group whose id comes in place of the
// control window instead of the selected one. Command ids are 16 bits wide, so the handler sees
// the tag's low word, which no command uses.
constexpr DWORD GROUP_ID_CALL_TAG = 0xAABBCCDD;
constexpr UINT_PTR g_iIntervalTimerId = 0xAACC;
constexpr UINT_PTR g_iCheckOnlineTimerId = 0xAADD;
constexpr UINT_PTR g_iPopupTimerId = 0xAABB;
// Tries again to store the check results kept while another program held the database.
constexpr UINT_PTR g_iResultRetryTimerId = 0xAAEE;
// How long shutdown waits for running checks to end before it gives up on them.
constexpr DWORD kShutdownCheckWaitMs = 5000;

const char16_t* GetSortTypeName(int sortType);
const char16_t* GetPageStatusName(int status);

class CMainFrame : public CFrameWindowImpl<CMainFrame>,
                   public CUpdateUI<CMainFrame>,
                   public CMessageFilter,
                   public CIdleHandler {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, IDR_MAINFRAME)

    CMainFrame();
    ~CMainFrame() override;

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnIdle() override;

    BEGIN_UPDATE_UI_MAP(CMainFrame)
    UPDATE_ELEMENT(ID_FILE_WORK_OFFLINE, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_VIEW_TOOLBAR, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_VIEW_STATUS_BAR, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_GROUP_ADD, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_GROUP_MODIFY, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_GROUP_DELETE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_GROUP_TOGGLE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_GROUP_CHECK_ALL, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_ADD, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_MODIFY, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_DELETE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_TOGGLE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_CANCEL_STATUS, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_PAGE_COPY_ADDRESS, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_PAGE_OPEN_IN_BROWSER, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_PAGE_CHECK_UPDATE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_PROPERTIES, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_TOOLS_OPEN_LOG_FILE, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_TOOLS_CHECK_ALL, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_TOOLS_OPEN_ALL_UPDATED, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_TOOLS_CANCEL_CHECKS, UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_TOOLS_PREFERENCES, UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_MOVE_UP, UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_MOVE_DOWN, UPDUI_TOOLBAR)
    END_UPDATE_UI_MAP()

    BEGIN_MSG_MAP(CMainFrame)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    COMMAND_ID_HANDLER(ID_FILE_MIN_TO_TRAY, OnFileMinToTray)
    COMMAND_ID_HANDLER(ID_FILE_WORK_OFFLINE, OnFileWorkOffline)
    COMMAND_ID_HANDLER(ID_FILE_IMPORT_BOOKMARKS, OnFileImportBookmarks)
    COMMAND_ID_HANDLER(ID_GROUP_ADD, OnGroupAdd)
    COMMAND_ID_HANDLER(ID_GROUP_MODIFY, OnGroupModify)
    COMMAND_ID_HANDLER(ID_GROUP_DELETE, OnGroupDelete)
    COMMAND_ID_HANDLER(ID_GROUP_TOGGLE, OnGroupToggle)
    COMMAND_ID_HANDLER(ID_GROUP_CHECK_ALL, OnGroupCheckAll)
    COMMAND_ID_HANDLER(ID_PAGE_ADD, OnPageAdd)
    COMMAND_ID_HANDLER(ID_PAGE_DELETE, OnPageDelete)
    COMMAND_ID_HANDLER(ID_PAGE_MODIFY, OnPageModify)
    COMMAND_ID_HANDLER(ID_PAGE_TOGGLE, OnPageToggle)
    COMMAND_ID_HANDLER(ID_PAGE_CANCEL_STATUS, OnPageCancelStatus)
    COMMAND_ID_HANDLER(ID_PAGE_COPY_ADDRESS, OnPageCopyAddress)
    COMMAND_ID_HANDLER(ID_PAGE_OPEN_IN_BROWSER, OnPageOpenInBrowser)
    COMMAND_ID_HANDLER(ID_PAGE_CHECK_UPDATE, OnPageCheckUpdate)
    COMMAND_ID_HANDLER(ID_PAGE_PROPERTIES, OnPageProperties)
    COMMAND_ID_HANDLER(ID_PAGE_MOVE_UP, OnPageMove)
    COMMAND_ID_HANDLER(ID_PAGE_MOVE_DOWN, OnPageMove)
    COMMAND_ID_HANDLER(ID_VIEW_TOOLBAR, OnViewToolBar)
    COMMAND_ID_HANDLER(ID_VIEW_STATUS_BAR, OnViewStatusBar)
    COMMAND_ID_HANDLER(ID_TOOLS_OPEN_LOG_FILE, OnToolsOpenLogFile)
    COMMAND_ID_HANDLER(ID_TOOLS_PREFERENCES, OnToolsPreferences)
    COMMAND_ID_HANDLER(ID_TOOLS_CHECK_ALL, OnToolsCheckAll)
    COMMAND_ID_HANDLER(ID_TOOLS_OPEN_ALL_UPDATED, OnToolsOpenAllUpdated)
    COMMAND_ID_HANDLER(ID_TOOLS_CANCEL_CHECKS, OnToolsCancelChecks)
    COMMAND_ID_HANDLER(ID_RESTORE_FROM_TRAY, OnRestoreFromTray)
    NOTIFY_HANDLER(kMainTreeId, TVN_SELCHANGED, OnTreeSelChanged)
    NOTIFY_HANDLER(kMainTreeId, NM_RCLICK, OnTreeRClick)
    NOTIFY_HANDLER(kMainTreeId, NM_DBLCLK, OnTreeDblClick)
    MESSAGE_HANDLER(WM_UPDATER_NOTIFY, OnUpdaterNotify)
    MESSAGE_HANDLER(WM_TRAY_ICON_NOTIFY, OnTrayIconNotify)
    MESSAGE_HANDLER(WM_QUERYENDSESSION, OnQueryEndSession)
    MESSAGE_HANDLER(WM_ENDSESSION, OnEndSession)
    MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_TOOLTIP_HYPERLINK, OnToolTipHyperLink)
    MESSAGE_HANDLER(WM_SHOW_NOTICE, OnShowNotice)
    NOTIFY_CODE_HANDLER(HTMLTTN_DISPLAY, OnToolTipNotify)
    COMMAND_ID_HANDLER(ID_APP_EXIT, OnFileExit)
    COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAppAbout)
    CHAIN_MSG_MAP(CUpdateUI<CMainFrame>)
    CHAIN_MSG_MAP(CFrameWindowImpl<CMainFrame>)
    END_MSG_MAP()

    // Creation and shutdown.
    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
    LRESULT OnQueryEndSession(UINT, WPARAM, LPARAM, BOOL& bHandled);
    LRESULT OnEndSession(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);

    // Database schema and settings row.
    void CheckDb();
    bool SavePrefs();
    bool LoadPrefs(SStoredPrefsProblem* problem = nullptr);

    // Tree of groups and pages.
    HTREEITEM AddGroupItem(CSqlQuery& row, HTREEITEM item);
    HTREEITEM AddPageItem(CSqlQuery& row, HTREEITEM item, HTREEITEM parent);
    HTREEITEM FindGroup(WORD nGroupId);
    HTREEITEM FindPage(WORD nGroupId, WORD nPageId);
    // An item's whole label.
    QString ItemLabel(HTREEITEM hItem) const;
    BOOL ResortGroup(CSqlQuery& queryGroup, HTREEITEM groupItem);
    BOOL UpdateGroupPagesOrder(HTREEITEM groupItem);
    void LoadContent();

    // The frame every command handler runs its body in: a CCmnException from the body is traced
    // as "<handler>. Exception: %s" with its whole text and shown in a box "Error" with its short
    // text; the handler then returns normally. Database work inside the body runs in SqlGuard.
    template <typename Body> void CommandFrame(const char16_t* handler, Body&& body)
    {
        try {
            body();
        } catch (CCmnException& e) {
            ReportCommandFailure(handler, e);
        }
    }
    // Runs database work; an SQL error becomes CCmnException "SQL Error. " + its message.
    template <typename Body> static auto SqlGuard(Body&& body) -> decltype(body())
    {
        try {
            return body();
        } catch (const CSqlException& e) {
            throw CCmnException(::SqlErrorText(e));
        }
    }
    void ReportCommandFailure(const char16_t* handler, CCmnException& e);

    // Tray, system commands, idle state.
    LRESULT OnTrayIconNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
    LRESULT OnRestoreFromTray(WORD, WORD, HWND, BOOL&);
    LRESULT OnFileExit(WORD, WORD, HWND, BOOL&);

    // Check engine (the scheduler's timers and the check results).
    LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&);
    LRESULT OnUpdaterNotify(UINT, WPARAM, LPARAM lParam, BOOL&);
    // The group check of a group's tree item (null: refused as no selection); everything it
    // refuses or fails on goes to the trace only.
    void CheckGroup(HTREEITEM hGroup);
    CCheckLists::Checks::iterator IsPageInProcessing(WORD nGroupId, WORD nPageId)
    {
        return m_checks.IsPageInProcessing(nGroupId, nPageId);
    }
    CCheckLists::Checks::iterator IsPageInPending(WORD nGroupId, WORD nPageId)
    {
        return m_checks.IsPageInPending(nGroupId, nPageId);
    }
    int CheckPendingList() { return m_checks.CheckPendingList(); }

    // Commands whose bodies come with their own features; routed here already.
    LRESULT OnFileMinToTray(WORD, WORD, HWND, BOOL&);
    LRESULT OnFileWorkOffline(WORD, WORD, HWND, BOOL&);
    LRESULT OnFileImportBookmarks(WORD, WORD, HWND, BOOL&);
    LRESULT OnGroupAdd(WORD, WORD, HWND, BOOL&);
    LRESULT OnGroupModify(WORD, WORD, HWND, BOOL&);
    LRESULT OnGroupDelete(WORD, WORD, HWND, BOOL&);
    LRESULT OnGroupToggle(WORD, WORD, HWND, BOOL&);
    LRESULT OnGroupCheckAll(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageAdd(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageDelete(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageModify(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageToggle(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageCancelStatus(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageCopyAddress(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageOpenInBrowser(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageCheckUpdate(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageProperties(WORD, WORD, HWND, BOOL&);
    LRESULT OnPageMove(WORD, WORD, HWND, BOOL&);
    LRESULT OnViewToolBar(WORD, WORD, HWND, BOOL&);
    LRESULT OnViewStatusBar(WORD, WORD, HWND, BOOL&);
    LRESULT OnToolsOpenLogFile(WORD, WORD, HWND, BOOL&);
    LRESULT OnToolsPreferences(WORD, WORD, HWND, BOOL&);
    LRESULT OnToolsCheckAll(WORD, WORD, HWND, BOOL&);
    LRESULT OnToolsOpenAllUpdated(WORD, WORD, HWND, BOOL&);
    LRESULT OnToolsCancelChecks(WORD, WORD, HWND, BOOL&);
    LRESULT OnAppAbout(WORD, WORD, HWND, BOOL&);
    LRESULT OnTreeSelChanged(int, LPNMHDR, BOOL&);
    LRESULT OnTreeRClick(int, LPNMHDR, BOOL&);
    LRESULT OnTreeDblClick(int, LPNMHDR, BOOL&);
    LRESULT OnToolTipHyperLink(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnToolTipNotify(int, LPNMHDR, BOOL&);

    // The item a group or page command acts on: found from the selection, and found again by its
    // ids after a dialog or a box, since a toolbar request or a popup link may rebuild the tree
    // meanwhile. The texts are each command's own failure texts.
    struct SPageFailureTexts {
        QString noSelection = QStringLiteral("Selected item is NULL.");
        QString noParent = QStringLiteral("Parent of selected item is NULL.");
        QString noParentData = QStringLiteral("GetItemData of item parent failed.");
    };
    struct SPageItem {
        HTREEITEM hItem;
        HTREEITEM hGroup;
        WORD nGroupId;
        WORD nPageId;
    };
    SPageItem SelectedPage(const SPageFailureTexts& texts);
    SPageItem SelectedPage() { return SelectedPage(SPageFailureTexts()); }
    SPageItem PageItemAgain(WORD nGroupId, WORD nPageId, const QString& gone);
    WORD SelectedGroupId(const QString& noSelection);
    HTREEITEM GroupItemAgain(WORD nGroupId, const QString& gone);
    // Selects nothing and sets the commands for that.
    void ClearTreeSelection();
    // Runs the selection-change handler as the tree does for a new item with this data.
    void NotifyTreeSelection(DWORD_PTR data);
    // The clock of the properties command's due time (seconds since 1970); tests set their own.
    std::function<int64_t()> m_clock = [] { return static_cast<int64_t>(std::time(nullptr)); };

    // Alerts of a finished check (update log, popup, sound, command, e-mail; or the error sound).
    void RaiseUpdateAlerts(const SPageCtx& ctx, const QString& url, const QString& urlBrowser, const QString& descr);
    void ShowUpdatePopup(WORD nGroupId, WORD nPageId, const QString& url, const QString& urlBrowser);
    // The finished check's row stored and its tree item refreshed (moved in a status-sorted group).
    // False, with nothing changed, when another program holds the database locked.
    bool StoreFinishedCheck(SPageCtx& ctx, HTREEITEM hItem, QString& urlBrowser, QString& descr);
    // A finished check's result (with the address it fetched), stored and its alerts raised now,
    // or kept behind the results already waiting until the database can be written. The check
    // stays in the running list meanwhile, so its page is not queued again.
    void KeepResult(SPageCtx* ctx, const QString& url);
    // Stores the kept results in order, each waiting at most waitMs for another program's lock;
    // true when none is left. While some are, the retry timer runs.
    bool StoreKeptResults(int waitMs);
    bool StoreKeptResult(SPageCtx& ctx, const QString& url, int waitMs);
    void OnResultRetryTimer();
    void StopResultRetryTimer();
    // The exit's last try, waiting at most waitMs in all; what is still kept then is traced and
    // dropped (the pages are due again at the next start).
    void StoreKeptResultsAtExit(DWORD waitMs);
    void PlayErrorSound();

    // What the user must learn of, but not where it arises (inside a worker's send, or while the
    // window is being made): queued and shown one box at a time from a posted message.
    void PostNotice(const QString& text, const QString& caption, UINT icon);
    LRESULT OnShowNotice(UINT, WPARAM, LPARAM, BOOL&);
    void SetStatusText(const QString& text);
    // Check results that cannot be stored, and the update log that cannot be written, are said once
    // when they start failing and once when they work again (null: the write worked).
    void NoteResultStore(const CSqlException* failure);
    void NoteUpdateLog(bool written);
    // The stored settings row that could not be used as it stood, said once at start.
    void ReportStoredPrefsProblem(const SStoredPrefsProblem& problem);

    // Members, in the order the window's parts depend on each other.
    HWND m_hWndToolBarCtrl = nullptr;
    UINT_PTR m_iPopupTimer = 0;
    UINT_PTR m_iIntervalTimer = 0;
    UINT_PTR m_iCheckOnlineTimer = 0;
    UINT_PTR m_iResultRetryTimer = 0;
    struct SKeptResult {
        SPageCtx* ctx; // its check stays in m_checks.m_ctxsRun until it is stored
        QString url;
    };
    std::deque<SKeptResult> m_resultsToStore; // finished, in the order they ended, not stored yet
    bool m_bResultsKeptTraced = false;
    CLogFile m_logFile;
    CMailAlertSender m_mailAlerts; // the alert e-mails, sent on a thread of their own
    CSplitterWindow m_splitter;
    CTreeViewCtrl m_mainTree;
    CPageItemIndex m_pageItems { m_mainTree }; // FindPage's answers without a walk of the tree
    CCheckablePages m_checkable; // the idle handler's answers without a walk of the tree
    CImageList m_treeImages;
    CImageList m_toolBarImages;
    CTrayIcon m_trayIcon;
    CTrayIconPosition m_trayIconPos;
    CHtmlToolTip m_trayToolTip;
    CHtmlToolTip m_treeToolTip;
    CHtmlToolTip m_tbarToolTip;
    BOOL m_bTrayShownForPopup = FALSE;
    QString m_strPopupHeader;
    QString m_strPopupLines;
    QString m_strPopupFooter;
    QString m_strGroupToolTip;
    QString m_strPageToolTip;
    CCheckLists m_checks; // m_checks.m_ctxsRun and m_checks.m_ctxsPending
    CCommandBarCtrl m_cmdBar;

private:
    // Opens the page a link names (group id, page id, address) in the browser, as the page's stored
    // browser address; a stored address that is no web address opens nothing and is added to
    // refused, for the caller to name in one message with any others.
    void OpenPageLink(const QString& link, QStringList& refused);
    // Tells the user, in one message, which addresses were not opened; nothing when none.
    void ShowRefusedAddresses(const QStringList& refused);
    // The window sits in the tray (hidden there, or minimised where no tray hides it).
    bool IsWindowInTray() const;
    // Writes what the page modify dialog and its context hold into the page's row and refreshes
    // its item; changed: the address or the watched part changed in the dialog.
    void StoreModifiedPage(
        WORD nGroupId, WORD nPageId, const CPageModifyDlg& dlg, SPageCtx& ctx, const QString& oldUrl, bool changed);

    // The steps of OnCreate, in their order.
    void CreateBars();
    void CreateTree();
    void CreateTrayAndToolTips();
    void OpenDatabase(const QString& path);
    void ApplySettings();
    void OpenInternetSession();
    void StartTimers();
    // Stops everything the window started, once: on WM_DESTROY, or when the session ends first.
    void Shutdown();

    bool m_bShutDown = false;
    // The stored settings reached g_prefs (or nothing was stored): only then may shutdown write
    // g_prefs back, so a start that failed early never puts defaults over the user's settings.
    bool m_bPrefsLoaded = false;
    struct SNotice {
        QString text;
        QString caption;
        UINT icon;
    };
    std::deque<SNotice> m_notices;
    bool m_bResultsNotStored = false;
    bool m_bLogNotWritten = false;
};

// The toolbar server's start and stop, kept apart so the frame does not depend on how the server
// is built.
void StartToolbarServer();
void StopToolbarServer();
// Sends every connected toolbar the list of groups; call it without holding the database lock.
void TellToolbarsGroups();
