// The check results as the main window receives them: each step of a check shown beside its page,
// and at its end the result stored, the page's item refreshed, the alerts raised and the next
// queued check started.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/Utils.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "engine/Alerts.h"
#include "engine/CheckResultStore.h"
#include "platform/base/Format.h"
#include "platform/base/OneLine.h"
#include "platform/shell/CommandLine.h"
#include "platform/shell/Launch.h"
#include "platform/shell/Sound.h"
#include "platform/ui/UserApi.h"

#include <vector>

TRACE_MODULE("CMainFrame");

namespace {

constexpr DWORD kSoundFlags = SND_ASYNC | SND_NOWAIT | SND_PURGE;

QString ProgressText(const QString& descr, const SCheckNotice& notice)
{
    switch (notice.state) {
    case stateResolvingName:
        return descr + QStringLiteral(" [Resolving name...]");
    case stateNameResolved:
        return descr + QStringLiteral(" [Name resolved]");
    case stateConnecting:
        return descr + QStringLiteral(" [Connecting...]");
    case stateConnected:
        return descr + QStringLiteral(" [Connected]");
    case stateReadingData:
        if (notice.percent)
            return descr + taluvo::Format(u" [Reading data - %d %%]", notice.amount);
        return descr + taluvo::Format(u" [Reading data - %d KBytes]", notice.amount);
    default:
        return QString();
    }
}

// The update sound or the error sound: the program's own, or the user's file.
void PlayAlertSound(const char* defaultParam, const char* fileParam, WORD resourceId)
{
    if (g_prefs.GetParam(defaultParam)->GetBool())
        PlaySound(QString::number(resourceId), nullptr, SND_RESOURCE | kSoundFlags);
    else
        PlaySound(g_prefs.GetParam(fileParam)->GetString(), nullptr, SND_FILENAME | kSoundFlags);
}

// Where the popup goes when the tray icon's place is unknown (no tray, or a tray that does not
// say): the bottom right corner of the work area, where trays usually sit.
POINT FallbackPopupPoint()
{
    RECT area {};
    if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &area, 0))
        return POINT { 0, 0 };
    return POINT { area.right - 1, area.bottom - 1 };
}

} // namespace

QString CMainFrame::ItemLabel(HTREEITEM hItem) const
{
    // The tree's own text getter stops at 259 characters; labels may be longer.
    for (size_t size = 512;; size *= 4) {
        std::vector<char16_t> buffer(size, u'\0');
        TVITEM item;
        item.hItem = hItem;
        item.mask = TVIF_TEXT;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        if (!m_mainTree.GetItem(&item))
            return QString();
        QString text = QString::fromUtf16(buffer.data());
        if (static_cast<size_t>(text.size()) < size - 1)
            return text;
    }
}

LRESULT CMainFrame::OnUpdaterNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    auto* ctx = reinterpret_cast<SPageCtx*>(wParam);
    const SCheckNotice notice = ReadNotice(lParam);
    const WORD state = notice.state;
    // The shutdown's cancel frees its contexts itself; a notice from one of them changes nothing.
    if (ctx && m_checks.IsBeingCancelled(ctx))
        return 0;

    HTREEITEM hItem = nullptr;
    CPageCheck* check = nullptr;
    try {
        FAIL_CHECK(ctx, QStringLiteral("Page context is NULL."));
        FAIL_CHECK(IsPageInProcessing(ctx->m_nGroupId, ctx->m_nPageId) != m_checks.m_ctxsRun.end(),
            QStringLiteral("Unable to find page in m_runCtxs."));
        check = m_checks.FindRunning(ctx);
        hItem = FindPage(ctx->m_nGroupId, ctx->m_nPageId);
        FAIL_CHECK(hItem, QStringLiteral("Unable to find page in tree."));
    } catch (CCmnException& e) {
        TRACE0(u"CMainFrame::OnUpdaterNotify. Exception: %s\r\n", e.GetMessage());
        // A finished check that cannot be shown still ends: its context and its worker are freed
        // rather than left behind, and the queue goes on.
        if (ctx && state == stateFinished) {
            m_checks.Release(ctx);
            CheckPendingList();
        }
        return 0;
    }

    if (state != stateFinished) {
        const QString text = ProgressText(ctx->m_strDescr, notice);
        if (!text.isEmpty())
            m_mainTree.SetItemText(hItem, text);
        return 0;
    }

    m_mainTree.SetItemText(hItem, ctx->m_strDescr);
    KeepResult(ctx, check ? check->Url() : QString());
    CheckPendingList();
    return 0;
}

void CMainFrame::PlayErrorSound()
{
    PlayAlertSound(kErrorSoundDefault, kErrorSoundFilePath, IDR_WAVE_ERROR);
}

bool CMainFrame::StoreFinishedCheck(SPageCtx& ctx, HTREEITEM hItem, QString& urlBrowser, QString& descr)
{
    HTREEITEM hGroup = m_mainTree.GetParentItem(hItem);
    FAIL_CHECK(hGroup, QStringLiteral("Parent of item is NULL."));

    AUTO_DB_LOCKER();
    try {
        const DWORD_PTR groupData = m_mainTree.GetItemData(hGroup);
        const bool byStatus = TREE_GET_SORT_TYPE(groupData) == sortStatus;
        // In a group sorted by status: the last item of each status before this result. Each item's
        // data holds its page's status as its row was last read, so no row is read again here.
        HTREEITEM lastOfStatus[statusUnknown + 1] = {};
        if (byStatus) {
            for (HTREEITEM page = m_mainTree.GetChildItem(hGroup); page; page = m_mainTree.GetNextSiblingItem(page)) {
                const int status = TREE_GET_STATUS(m_mainTree.GetItemData(page));
                if (status >= statusNew && status <= statusUnknown)
                    lastOfStatus[status] = page;
            }
        }

        SStoredPage stored;
        try {
            stored = StoreCheckResult(m_db, ctx);
        } catch (const CSqlException& e) {
            // The row stays as it was: the user learns of it once, not only the trace. Another
            // program's lock is no failure: the result is kept until it goes.
            if (!e.lockedByAnother())
                NoteResultStore(&e);
            throw;
        }
        NoteResultStore(nullptr);
        urlBrowser = stored.strUrlBrowser;
        descr = stored.strDescr;
        AddPageItem(stored.row, hItem, hGroup);

        const int status = ctx.m_iStatus;
        if (!byStatus || status < statusNew || status > statusUnknown)
            return true;
        // The place after which an item of each status goes: after the last of its own status, or
        // else where the status before it ends; status New goes first when there is none.
        HTREEITEM place = TVI_FIRST;
        for (int s = statusNew; s <= status; ++s)
            if (lastOfStatus[s])
                place = lastOfStatus[s];

        // The item itself moves (nothing when it stands there already): its handle, label, overlay and
        // selection stay with it.
        m_mainTree.MoveItem(hItem, place);
        return true;
    } catch (const CSqlException& e) {
        if (e.lockedByAnother())
            return false;
        throw CCmnException(::SqlErrorText(e));
    }
}

void CMainFrame::RaiseUpdateAlerts(
    const SPageCtx& ctx, const QString& url, const QString& urlBrowser, const QString& descr)
{
    // A description or address holding line breaks (a title a page planted) writes one line each,
    // so no page can forge entries or fields of the log.
    if (g_prefs.GetParam(kLogEnable)->GetBool()) {
        const int written
            = m_logFile.Log(u"Description : %s\nAddress     : %s\nDate & Time : %s\n"
                            u"-----------------------------------------------------------------------------",
                taluvo::OneLine(descr), taluvo::OneLine(url), FormatTime(ctx.m_tLastChecked));
        NoteUpdateLog(written == 1);
    }
    if (g_prefs.GetParam(kPopupAlertEnable)->GetBool())
        ShowUpdatePopup(ctx.m_nGroupId, ctx.m_nPageId, url, urlBrowser);
    if (g_prefs.GetParam(kAlertSoundEnable)->GetBool())
        PlayAlertSound(kAlertSoundDefault, kAlertSoundFilePath, IDR_WAVE_UPDATE);
    if (g_prefs.GetParam(kRunCmdEnable)->GetBool()) {
        const QString command = g_prefs.GetParam(kRunCmdText)->GetString();
        bool placed = false;
        const QStringList argv
            = taluvo::shell::SplitCommandLine(command, urlBrowser, taluvo::shell::Placeholders::Percent1, &placed);
        // As with the browser: an address the command would read as an option of its own is refused.
        if (placed && !taluvo::shell::IsSafeAddressArgument(urlBrowser)) {
            TRACE1(u"CMainFrame::OnUpdaterNotify. Run cmd: \"%s\" - refused the address \"%s\".\n", command,
                taluvo::OneLine(urlBrowser));
        } else if (!argv.isEmpty()) {
            const BOOL started = taluvo::shell::RunProgram(argv);
            TRACE1(u"CMainFrame::OnUpdaterNotify. Run cmd: \"%s\" - %s.\n", command, started ? u"SUCCESS" : u"FAIL");
        }
    }
    // Last of the alerts, and only started here: it is sent on a thread of its own.
    if (g_prefs.GetParam(kUseEMailNotification)->GetBool()) {
        try {
            m_mailAlerts.Post(g_prefs, url);
        } catch (...) {
            TRACE0(u"Exception in email processing block.\r\n");
        }
    }
}

void CMainFrame::ShowUpdatePopup(WORD nGroupId, WORD nPageId, const QString& url, const QString& urlBrowser)
{
    if (!m_trayIcon.IsVisible()) {
        m_bTrayShownForPopup = TRUE;
        m_trayIcon.ShowIcon();
    }
    // A tray may take the icon in only now, at one end of its area, and move it to its place
    // afterwards: each time it has placed the icon anew, a popup still shown goes where the icon
    // is.
    m_trayIcon.SetPlacedHandler([this] {
        POINT now {};
        if (!m_trayToolTip.IsWindowVisible() || m_trayIconPos.LocateIcon(now, 2) != 1)
            return;
        if (now.x == m_trayToolTip.m_ptLastShown.x && now.y == m_trayToolTip.m_ptLastShown.y)
            return;
        const QString shown = m_trayToolTip.m_strLastShownText;
        m_trayToolTip.Pop();
        m_trayToolTip.ShowTooltipAt(now, shown);
    });
    POINT point {};
    m_trayIconPos.TrackIcon(m_hWnd, IDR_TRAY_POPUP);
    const int located = m_trayIconPos.LocateIcon(point, 0);
    m_trayIconPos.RestoreIconImage(m_trayIcon.GetIcon());
    if (located <= 0) {
        TRACE1(u"CMainFrame::OnUpdaterNotify. Tray icon position was not found.\n");
        point = FallbackPopupPoint();
    }

    const QString row = BuildPopupRow(nGroupId, nPageId, urlBrowser, url);
    const int maxItems = g_prefs.GetParam(kPopupAlertItems)->GetInt();
    // The page is listed already: the popup and its timer stay as they are.
    if (!AddPopupRow(m_strPopupLines, row, m_trayToolTip.IsWindowVisible() != FALSE, maxItems))
        return;
    if (m_iPopupTimer) {
        KillTimer(g_iPopupTimerId);
        m_iPopupTimer = 0;
        m_trayToolTip.HideTooltip();
    }
    // The rows keep the whole addresses (a row's key holds its link's text); only what is shown of
    // an address too long for the screen is shortened.
    m_trayToolTip.ShowTooltipAt(
        point, m_trayToolTip.FitLinksToScreen(m_strPopupHeader + m_strPopupLines + m_strPopupFooter));
    m_iPopupTimer = SetTimer(g_iPopupTimerId, static_cast<UINT>(g_prefs.GetParam(kPopupAlertTimeout)->GetInt()) * 1000);
}
