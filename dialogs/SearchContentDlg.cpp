#include "dialogs/SearchContentDlg.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/prefs/Preferences.h"
#include "dialogs/PageModifyDlg.h"
#include "dialogs/ProgressText.h"
#include "engine/CheckState.h"
#include "engine/HttpTexts.h"
#include "engine/Updater.h"
#include "platform/base/TextCodec.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Menu.h"
#include "platform/ui/RichEdit.h"
#include "res/resource.h"

#include <cstring>
#include <vector>

TRACE_MODULE("CPageAdd");

namespace {

enum : UINT {
    kMenuSelectionEmpty = 1,
    kMenuUseAsStart = 2,
    kMenuUseAsStop = 3,
};

} // namespace

CSearchContentDlg::CSearchContentDlg(SPageCtx* pPageCtx)
    : m_pPageCtx(pPageCtx)
{
}

CSearchContentDlg::~CSearchContentDlg()
{
    // Ended from outside while downloading (a shutdown): the check cancels its worker and waits
    // for it before the page context can go.
    m_check.reset();
    if (m_dc)
        DeleteDC(m_dc);
    if (m_font)
        DeleteObject(FontObject(m_font));
}

LRESULT CSearchContentDlg::OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnInitDialog");
    if (m_pPageCtx)
        m_pPageCtx->m_hNotifyWnd = m_hWnd;
    m_htmlCtrl = GetDlgItem(IDC_PAGE_TEXT);
    CenterWindow(GetParent());
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);
    DlgResize_Init(true, true, WS_CLIPCHILDREN);

    m_pOwnerDlg = reinterpret_cast<CPageModifyDlg*>(lParam);
    SetDlgItemText(IDC_PAGE_PROGRESS, QString());

    if (m_pPageCtx) {
        m_strStartText = m_pPageCtx->m_strStartCheckMask;
        m_strStopText = m_pPageCtx->m_strStopCheckMask;
    }
    const bool hasStart = !m_strStartText.isEmpty();
    const bool hasStop = !m_strStopText.isEmpty();
    CheckRadioButton(
        IDC_START_FROM_BEGINNING, IDC_START_FROM_TEXT, hasStart ? IDC_START_FROM_TEXT : IDC_START_FROM_BEGINNING);
    CheckRadioButton(IDC_STOP_AT_END, IDC_STOP_AT_TEXT, hasStop ? IDC_STOP_AT_TEXT : IDC_STOP_AT_END);
    ::EnableWindow(GetDlgItem(IDC_START_TEXT), hasStart);
    ::EnableWindow(GetDlgItem(IDC_STOP_TEXT), hasStop);
    SetDlgItemText(IDC_START_TEXT, m_strStartText);
    SetDlgItemText(IDC_STOP_TEXT, m_strStopText);

    try {
        HDC screen = ::GetDC(m_htmlCtrl);
        m_dc = CreateCompatibleDC(screen);
        ::ReleaseDC(m_htmlCtrl, screen);
        FAIL_CHECK((m_dc != nullptr), QStringLiteral("Unable to create DC."));
        m_font = CreateFont(-MulDiv(10, GetDeviceCaps(m_dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0,
            0, u"Courier New");
        FAIL_CHECK((m_font != nullptr), QStringLiteral("Unable to create font."));
        SelectObject(m_dc, m_font);
        CalcVisibleLines();

        PARAFORMAT pf;
        pf.dwMask = PFM_TABSTOPS | PFM_ALIGNMENT;
        pf.wAlignment = PFA_LEFT;
        pf.cTabCount = MAX_TAB_STOPS;
        for (int i = 0; i < MAX_TAB_STOPS; ++i)
            pf.rgxTabs[i] = (i + 1) * 288;
        FAIL_CHECK(m_htmlCtrl.SendMessage(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf)),
            QStringLiteral("Unable to set format."));

        if (m_pPageCtx && !m_pPageCtx->m_strHtml.isEmpty()) {
            SyncCtxToHtml();
        } else if (!g_prefs.GetParam(kWorkOffline)->GetBool()) {
            BOOL handled = TRUE;
            OnDownload(0, IDC_DOWNLOAD_PAGE, nullptr, handled);
        }
    } catch (CCmnException& e) {
        TRACE0(u"CSearchContentDlg::OnInitDialog. Exception: %s\n", e.GetMessage());
    }
    return FALSE;
}

void CSearchContentDlg::CalcVisibleLines()
{
    if (!m_dc || !m_htmlCtrl.IsWindow())
        return;
    RECT line {};
    DrawText(m_dc, QStringLiteral("Wg"), &line, DT_CALCRECT);
    const int height = line.bottom - line.top;
    if (height <= 0)
        return;
    RECT area {};
    m_htmlCtrl.SendMessage(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    m_nVisibleLines = (area.bottom - area.top) / height;
}

BOOL CSearchContentDlg::SetFormatRange(int first, int last, COLORREF colour)
{
    CHARRANGE kept;
    m_htmlCtrl.SendMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    BOOL done = TRUE;
    try {
        CHARRANGE range { first, last };
        m_htmlCtrl.SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMAT cfm;
        FAIL_CHECK(m_htmlCtrl.SendMessage(EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cfm)),
            QStringLiteral("Unable to get selection format."));
        cfm.dwMask = CFM_COLOR;
        cfm.dwEffects = 0;
        cfm.crTextColor = colour;
        FAIL_CHECK(m_htmlCtrl.SendMessage(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cfm)),
            QStringLiteral("Unable to set selection format."));
    } catch (CCmnException&) {
        done = FALSE;
    }
    m_htmlCtrl.SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    return done;
}

void CSearchContentDlg::SyncCtxToHtml()
{
    if (!m_pPageCtx)
        return;
    m_htmlCtrl.SetWindowText(m_pPageCtx->m_strHtml);
    CHARFORMAT cf;
    cf.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_CHARSET;
    cf.yHeight = 200;
    cf.bCharSet = 0;
    std::strncpy(cf.szFaceName, "Courier New", sizeof(cf.szFaceName) - 1);
    m_htmlCtrl.SendMessage(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
    m_htmlCtrl.SendMessage(EM_SETSEL, static_cast<WPARAM>(-1), 0);
    SetFormatRange(0, -1, kMarkOutside);
    OnTextChanged(true, false);
}

void CSearchContentDlg::ShowMarking(bool scrollToStart, bool scrollToStop)
{
    const QString text = m_htmlCtrl.GetWindowText();
    const SContentMarking marking = MarkContent(text, m_strStartText, m_strStopText);
    m_iStartPos = marking.startPos;
    m_iStopPos = marking.stopPos;
    m_bStartFound = marking.startFound;
    if (text.isEmpty())
        return;
    if (scrollToStart && !m_strStartText.isEmpty() && marking.startPos >= 0)
        ScrollIntoView(marking.startPos);
    if (scrollToStop && marking.stopPos >= 0)
        ScrollIntoView(marking.stopPos);
    for (const SColouredRange& range : marking.ranges)
        SetFormatRange(range.first, range.last, range.colour);
    m_htmlCtrl.SendMessage(EM_SETSEL, static_cast<WPARAM>(-1), 0);
}

void CSearchContentDlg::ScrollIntoView(int position)
{
    const int line = static_cast<int>(m_htmlCtrl.SendMessage(EM_EXLINEFROMCHAR, 0, position));
    const int first = static_cast<int>(m_htmlCtrl.SendMessage(EM_GETFIRSTVISIBLELINE));
    if (line < first || line > first + m_nVisibleLines)
        m_htmlCtrl.SendMessage(EM_LINESCROLL, 0, line - first);
}

void CSearchContentDlg::OnTextChanged(bool start, bool scroll)
{
    const int edit = start ? IDC_START_TEXT : IDC_STOP_TEXT;
    QString& text = start ? m_strStartText : m_strStopText;
    text = GetDlgItemText(edit);
    if (text.isEmpty()) {
        if (start)
            CheckRadioButton(IDC_START_FROM_BEGINNING, IDC_START_FROM_TEXT, IDC_START_FROM_BEGINNING);
        else
            CheckRadioButton(IDC_STOP_AT_END, IDC_STOP_AT_TEXT, IDC_STOP_AT_END);
        ::EnableWindow(GetDlgItem(edit), FALSE);
    }
    ShowMarking(start && scroll, !start && scroll);
}

LRESULT CSearchContentDlg::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnCommand");
    bHandled = FALSE;
    const WORD code = HIWORD(wParam);
    const WORD id = LOWORD(wParam);
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_START_FROM_BEGINNING:
        case IDC_STOP_AT_END: {
            const bool start = id == IDC_START_FROM_BEGINNING;
            (start ? m_strStartText : m_strStopText).clear();
            const int edit = start ? IDC_START_TEXT : IDC_STOP_TEXT;
            ::EnableWindow(GetDlgItem(edit), FALSE);
            SetDlgItemText(edit, QString());
            OnTextChanged(start, false);
            break;
        }
        case IDC_START_FROM_TEXT:
            ::EnableWindow(GetDlgItem(IDC_START_TEXT), TRUE);
            break;
        case IDC_STOP_AT_TEXT:
            ::EnableWindow(GetDlgItem(IDC_STOP_TEXT), TRUE);
            break;
        default:
            break;
        }
    } else if (code == EN_CHANGE && (id == IDC_START_TEXT || id == IDC_STOP_TEXT)) {
        // Only a text the user can edit counts; an edit emptied by its radio button was handled there.
        if (::IsWindowEnabled(GetDlgItem(id)))
            OnTextChanged(id == IDC_START_TEXT, true);
    }
    return 0;
}

LRESULT CSearchContentDlg::OnContextMenu(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnContextMenu");
    CHARRANGE range;
    m_htmlCtrl.SendMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    QString selected;
    if (range.cpMax > range.cpMin) {
        std::vector<char> buffer(static_cast<size_t>(range.cpMax - range.cpMin) * 3 + 1, '\0');
        const LRESULT length = m_htmlCtrl.SendMessage(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data()));
        selected = taluvo::AnsiDecode(QByteArray(buffer.data(), static_cast<qsizetype>(length)));
    }
    CMenu menu;
    menu.CreatePopupMenu();
    if (selected.isEmpty()) {
        menu.AppendMenu(MF_STRING | MF_GRAYED | MF_DISABLED, kMenuSelectionEmpty, QStringLiteral("Selection is empty"));
    } else {
        menu.AppendMenu(MF_STRING, kMenuUseAsStart, QStringLiteral("Use as \"Start checking text\""));
        menu.AppendMenu(MF_STRING, kMenuUseAsStop, QStringLiteral("Use as \"Stop checking text\""));
    }
    const UINT chosen = static_cast<UINT>(menu.TrackPopupMenu(
        TPM_RETURNCMD | TPM_LEFTALIGN | TPM_RIGHTBUTTON, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), m_hWnd));
    if (chosen == kMenuUseAsStart || chosen == kMenuUseAsStop) {
        const bool start = chosen == kMenuUseAsStart;
        CheckRadioButton(start ? IDC_START_FROM_BEGINNING : IDC_STOP_AT_END,
            start ? IDC_START_FROM_TEXT : IDC_STOP_AT_TEXT, start ? IDC_START_FROM_TEXT : IDC_STOP_AT_TEXT);
        const int edit = start ? IDC_START_TEXT : IDC_STOP_TEXT;
        ::EnableWindow(GetDlgItem(edit), TRUE);
        (start ? m_strStartText : m_strStopText) = selected;
        SetDlgItemText(edit, selected);
        OnTextChanged(start, true);
    }
    return 0;
}

LRESULT CSearchContentDlg::OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnSize");
    // The controls were laid out by the resize support already.
    CalcVisibleLines();
    bHandled = FALSE;
    return 0;
}

void CSearchContentDlg::TakeTextsIntoContext()
{
    m_strStartText = GetDlgItemText(IDC_START_TEXT);
    m_strStopText = GetDlgItemText(IDC_STOP_TEXT);
    if (m_pPageCtx) {
        m_pPageCtx->m_strStartCheckMask = m_strStartText;
        m_pPageCtx->m_strStopCheckMask = m_strStopText;
    }
}

LRESULT CSearchContentDlg::OnDownload(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnDownload");
    m_bClosePending = FALSE;
    try {
        FAIL_CHECK(m_pPageCtx && m_pOwnerDlg, QStringLiteral("Page context is NULL."));
        TakeTextsIntoContext();
        // A private copy of the settings that never asks for "not modified since": the whole page
        // is wanted, whatever the server holds for the last check.
        CPreferences prefs;
        prefs = g_prefs;
        prefs.GetParam(kUseHeadersData)->SetBool(false);
        m_check.reset();
        auto check = std::make_unique<CPageCheck>(*m_pPageCtx);
        check->MakeWorker(g_hInternet.Get(), m_pOwnerDlg->m_strUrl, &prefs);
        FAIL_CHECK(check->Start(), QStringLiteral("Unable to start updater thread."));
        m_check = std::move(check);
        m_bDownloading = true;
        ::EnableWindow(GetDlgItem(IDC_DOWNLOAD_PAGE), FALSE);
    } catch (CCmnException& e) {
        ::EnableWindow(GetDlgItem(IDC_DOWNLOAD_PAGE), TRUE);
        MessageBox(e.GetMessage(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    }
    return 0;
}

LRESULT CSearchContentDlg::OnUpdaterNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnUpdaterNotify");
    if (ReadNotice(lParam).state != stateFinished) {
        if (m_check && m_check->CancelRequested()) {
            m_check->Cancel();
            return 1;
        }
        const QString text = UpdaterProgressText(lParam);
        if (!text.isNull())
            SetDlgItemText(IDC_PAGE_PROGRESS, text);
        return 1;
    }
    m_bDownloading = false;
    if (m_bClosePending) {
        TRACE1(u"CSearchContentDlg::OnDestroy. Updater thread is termintad. Close dialog with code: %d\n",
            static_cast<int>(m_nCloseCode));
        CloseWith(m_nCloseCode);
        return 1;
    }
    for (int id : { int(IDC_DOWNLOAD_PAGE), int(IDOK), int(IDCANCEL) })
        ::EnableWindow(GetDlgItem(id), TRUE);
    if (m_pPageCtx->m_dwErrorCode != 0) {
        m_pPageCtx->m_iStatus = statusError;
        SetDlgItemText(IDC_PAGE_PROGRESS, GetInternetErrorText(m_pPageCtx->m_dwErrorCode));
        return 1;
    }
    bool reportEmpty = false;
    try {
        reportEmpty = g_prefs.GetParam(kReportEmptyPages)->GetBool();
    } catch (CCmnException& e) {
        TRACE0(u"CSearchContentDlg::OnUpdaterNotify. Exception: %s\n", e.GetMessage());
    }
    SetDlgItemText(IDC_PAGE_PROGRESS,
        reportEmpty && m_pPageCtx->m_strHtml.isEmpty() ? QStringLiteral("Page contains NO DATA.") : QString());
    TRACE1(u"CSearchContentDlg::OnUpdaterNotify. HTTP Status code: %d\n",
        static_cast<int>(m_pPageCtx->m_dwHttpStatusCode));
    SyncCtxToHtml();
    return 1;
}

void CSearchContentDlg::CloseWith(WORD code)
{
    if (code == IDOK) {
        // Applied once the download has ended, so the checksum is taken of the text it left.
        TakeTextsIntoContext();
        if (m_pPageCtx)
            ApplyChosenPart(*m_pPageCtx);
    }
    EndDialog(code);
}

void CSearchContentDlg::StopDownload()
{
    if (m_check)
        m_check->Cancel();
}

LRESULT CSearchContentDlg::OnOk(WORD, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnOk");
    if (!m_bDownloading) {
        CloseWith(wID);
        return 0;
    }
    // The download runs on: its text is the one the texts are applied to once it has ended.
    // Cancel stays available, for a page that is slow to come.
    m_nCloseCode = wID;
    m_bClosePending = TRUE;
    for (int id : { int(IDOK), int(IDC_DOWNLOAD_PAGE) })
        ::EnableWindow(GetDlgItem(id), FALSE);
    return 0;
}

LRESULT CSearchContentDlg::OnCancel(WORD, WORD wID, HWND, BOOL&)
{
    TRACE_SCOPE(u"CSearchContentDlg::OnCancel");
    if (!m_bDownloading) {
        CloseWith(wID);
        return 0;
    }
    m_nCloseCode = wID;
    m_bClosePending = TRUE;
    for (int id : { int(IDOK), int(IDCANCEL), int(IDC_DOWNLOAD_PAGE) })
        ::EnableWindow(GetDlgItem(id), FALSE);
    SetDlgItemText(IDC_PAGE_PROGRESS, QStringLiteral("Terminating ..."));
    StopDownload();
    return 0;
}
