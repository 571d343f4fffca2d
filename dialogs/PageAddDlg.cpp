#include "dialogs/PageAddDlg.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/prefs/Preferences.h"
#include "dialogs/PageAddress.h"
#include "dialogs/ProgressText.h"
#include "engine/HttpTexts.h"
#include "engine/Updater.h"
#include "platform/shell/PathIsUrl.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Controls.h"
#include "res/resource.h"

TRACE_MODULE("CPageAdd");

namespace {

const QString kFramesetWarning = QStringLiteral(
    "The web page you have specified contains a \"Frameset\" HTML tag, which implies that the page is only used "
    "todescribe the layout of the page, rather than having any content.\n\nIf you want to monitor the contents of "
    "a frame, right-click the frame in your browser, select \"Properties\" or \"View frame info\" (etc) and copy "
    "its address.");

bool IsAcceptedHttpStatus(DWORD code)
{
    return code == 100 || (code >= 200 && code <= 203);
}

} // namespace

LRESULT CPageAddDlg::OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    TRACE_SCOPE(u"CPageAddDlg::OnInitDialog");
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)))
        SetIcon(icon, TRUE);
    CenterWindow(GetParent());

    m_nMode = static_cast<int>(lParam);
    const QString watchPrompt = QStringLiteral("Enter the address of the web page to monitor for updates:");
    switch (m_nMode) {
    case modeAddPage:
        SetWindowText(QStringLiteral("Add web page"));
        SetDlgItemText(IDC_PAGE_ADD_PROMPT, watchPrompt);
        break;
    case modeModifyUrl:
        SetWindowText(QStringLiteral("Modify address"));
        SetDlgItemText(IDC_PAGE_ADD_PROMPT, watchPrompt);
        break;
    case modeModifyBrowserUrl:
        SetWindowText(QStringLiteral("Modify web browser address"));
        SetDlgItemText(
            IDC_PAGE_ADD_PROMPT, QStringLiteral("Enter the address of the web page to open in your web browser:"));
        break;
    default:
        break;
    }
    if (m_nMode == modeAddPage)
        TakeClipboardAddress();
    m_strUrl = LowerSchemeAndHost(m_strUrl);
    m_strCheckedUrl = m_strUrl;
    m_strDescr.clear();
    m_bTested = FALSE;
    SetProgress(QString());
    if (m_pPageCtx)
        m_pPageCtx->m_hNotifyWnd = m_hWnd;

    CEdit edit(GetDlgItem(IDC_PAGE_URL));
    edit.SetWindowText(m_strUrl);
    edit.SetFocus();
    edit.SetSelAll();
    return FALSE;
}

void CPageAddDlg::TakeClipboardAddress()
{
    // Each refusal is silent: the box simply starts empty.
    try {
        FAIL_CHECK(m_strUrl.isEmpty(), QStringLiteral("Url is not empty."));
        FAIL_CHECK(IsClipboardFormatAvailable(CF_TEXT), QStringLiteral("No text format data in clipboard."));
        FAIL_CHECK(OpenClipboard(m_hWnd), QStringLiteral("Unable to open clipboard."));
        QByteArray bytes;
        if (HANDLE block = GetClipboardData(CF_TEXT)) {
            if (const char* text = static_cast<const char*>(GlobalLock(block))) {
                bytes = QByteArray(text, static_cast<qsizetype>(qstrnlen(text, GlobalSize(block))));
                GlobalUnlock(block);
            }
        }
        CloseClipboard();
        QString text = CAnsiToWide(bytes).Get();
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isSpace()) {
                text.truncate(i);
                break;
            }
        }
        if (PathIsURL(text))
            m_strUrl = text;
    } catch (CCmnException&) {
    }
}

void CPageAddDlg::SetProgress(const QString& text)
{
    SetDlgItemText(IDC_PAGE_PROGRESS, text);
}

LRESULT CPageAddDlg::OnOk(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CPageAddDlg::OnOk");
    m_strDescr.clear();
    m_strUrl = NormalizePageUrl(GetDlgItemText(IDC_PAGE_URL));
    SetDlgItemText(IDC_PAGE_URL, m_strUrl);
    try {
        FAIL_CHECK((!m_strUrl.isEmpty()), QStringLiteral("Url is empty."));
        if (m_nMode == modeModifyBrowserUrl || (m_bTested && m_strUrl == m_strCheckedUrl)) {
            CloseWithoutDownload();
            return 0;
        }
        m_bTested = TRUE;
        if (!g_prefs.GetParam(kWorkOffline)->GetBool() && g_prefs.GetParam(kAutoDownloadOnline)->GetBool()) {
            StartTestDownload();
            return 0;
        }
        m_strCheckedUrl = m_strUrl;
        CloseWithoutDownload();
    } catch (CCmnException& e) {
        ::EnableWindow(GetDlgItem(IDOK), TRUE);
        MessageBox(e.GetMessage(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    }
    return 0;
}

void CPageAddDlg::StartTestDownload()
{
    FAIL_CHECK(m_pPageCtx, QStringLiteral("Page context is NULL."));
    m_check.reset();
    auto check = std::make_unique<CPageCheck>(*m_pPageCtx);
    check->MakeWorker(g_hInternet.Get(), m_strUrl, &g_prefs);
    FAIL_CHECK(check->Start(), QStringLiteral("Unable to start updater thread."));
    m_check = std::move(check);
    m_bDownloading = true;
    m_strCheckedUrl = m_strUrl;
    ::EnableWindow(GetDlgItem(IDOK), FALSE);
}

void CPageAddDlg::CloseWithoutDownload()
{
    if (m_strDescr.isEmpty())
        m_strDescr = m_strUrl;
    EndDialog(IDOK);
}

LRESULT CPageAddDlg::OnUpdaterNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    TRACE_SCOPE(u"CPageAddDlg::OnUpdaterNotify");
    auto* ctx = reinterpret_cast<SPageCtx*>(wParam);
    if (!ctx) {
        TRACE1(u"CPageAddDlg::OnUpdaterNotify - Page context is NULL.\n");
        return 0;
    }
    if (ReadNotice(lParam).state == stateFinished) {
        OnTestFinished();
        return 1;
    }
    if (m_check && m_check->CancelRequested()) {
        m_check->Cancel();
        return 1;
    }
    const QString text = UpdaterProgressText(lParam);
    if (!text.isNull())
        SetProgress(text);
    return 1;
}

void CPageAddDlg::OnTestFinished()
{
    m_bDownloading = false;
    m_bTested = TRUE;
    m_strDownloadedUrl = m_strCheckedUrl;
    ::EnableWindow(GetDlgItem(IDCANCEL), TRUE);
    ::EnableWindow(GetDlgItem(IDOK), TRUE);

    if (m_pPageCtx->m_iStatus == statusError) {
        SetProgress(GetInternetErrorText(m_pPageCtx->m_dwErrorCode));
        return;
    }
    if (!IsAcceptedHttpStatus(m_pPageCtx->m_dwHttpStatusCode)) {
        SetProgress(GetHttpStatusText(m_pPageCtx->m_dwHttpStatusCode));
        return;
    }
    try {
        if (g_prefs.GetParam(kAutoSetDescr)->GetBool())
            m_strDescr = m_pPageCtx->GetHtmlTitle();
        if (g_prefs.GetParam(kAutoCheckFrames)->GetBool()
            && m_pPageCtx->m_strHtml.contains(QLatin1String("<frameset"), Qt::CaseInsensitive))
            MessageBox(kFramesetWarning, QStringLiteral("Warining"), MB_OK | MB_ICONWARNING);
    } catch (CCmnException& e) {
        TRACE0(u"CPageAddDlg::OnUpdaterNotify. Exception: %s\n", e.GetMessage());
    }
    EndDialog(IDOK);
}

LRESULT CPageAddDlg::OnCancel(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CPageAddDlg::OnCancel");
    if (!m_bDownloading) {
        EndDialog(IDCANCEL);
        return 0;
    }
    // The worker works on the caller's context: the dialog waits for it to end.
    TRACE1(u"CPageAddDlg::OnCancel - Terminating m_pUpdater ...\n");
    SetProgress(QStringLiteral("Terminating ..."));
    ::EnableWindow(GetDlgItem(IDCANCEL), FALSE);
    m_check->Cancel();
    return 0;
}
