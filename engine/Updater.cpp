#include "engine/Updater.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/InternetUtils.h"
#include "core/prefs/Preferences.h"
#include "engine/CheckBuffers.h"
#include "engine/HttpTexts.h"
#include "platform/base/Allocator.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/UserApi.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

TRACE_MODULE("CUpdater");

namespace {

constexpr DWORD kRequestFlags
    = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_HYPERLINK;
// The piece the body is taken in: a zero byte ends the text of its own piece only.
constexpr qsizetype kPieceBytes = 4095;
constexpr qsizetype kPiecesPerRead = 64;
// A step that takes longer than this shows its connection states as they come; a faster check
// hands them over together with its next notice.
constexpr DWORD kStatesHeldMs = 200;
constexpr DWORD kMaxReadBuffer = 64u << 20; // a server that keeps asking for more room is refused

const char16_t* Outcome(BOOL ok)
{
    return ok ? u"SUCCESS" : u"FAIL";
}

// The internet layer's own lines go to this module's trace: its failed library calls as errors,
// the library's account of each transfer as the finest steps.
void TraceInternetLayer(DWORD level, const QString& line)
{
    if (level & TRACE_LEVEL_0)
        TRACE0(u"%s", line);
    else
        TRACE3(u"%s", line);
}

// A thrown step failure carries its error code to the end of the fetch.
struct FetchFailure {
    DWORD code;
};

} // namespace

CUpdater::CUpdater(HINTERNET hInternet, SPageCtx* pPageCtx, const QString& szUrl, CPreferences* pPrefs)
    : m_hInternet(hInternet)
    , m_szUrl(szUrl)
    , m_pPageCtx(pPageCtx)
{
    FAIL_CHECK((pPageCtx && !szUrl.isNull()), QStringLiteral("Illegal parameters."));
    FAIL_CHECK((pPageCtx->m_hSignalEvent.IsValid()), QStringLiteral("Invalid handle (m_hSignalEvent)."));
    FAIL_CHECK(szUrl.size() >= 1 && szUrl.size() <= static_cast<qsizetype>(INTERNET_MAX_URL_LENGTH),
        QStringLiteral("Incorrect length of url."));
    FAIL_CHECK(IsWindow(pPageCtx->m_hNotifyWnd), QStringLiteral("Invalid notify window handle."));
    FAIL_CHECK(pPrefs, QStringLiteral("Illegal parameters."));

    CMutexLocker guard(pPrefs->m_mutex);
    m_bUseProxy = pPrefs->GetParam(kUseProxy)->GetBool();
    m_dwConnectTimeout = static_cast<DWORD>(pPrefs->GetParam(kConnectTimeout)->GetInt());
    m_dwSendTimeout = static_cast<DWORD>(pPrefs->GetParam(kSendTimeout)->GetInt());
    m_dwRecvTimeout = static_cast<DWORD>(pPrefs->GetParam(kRecvTimeout)->GetInt());
    m_strProxyUserName = pPrefs->GetParam(kProxyUserName)->GetString();
    m_strProxyPassword = pPrefs->GetParam(kProxyPassword)->GetString();
    m_bUseHeadersData = pPrefs->GetParam(kUseHeadersData)->GetBool();
    static std::once_flag traced;
    std::call_once(traced, [] {
        taluvo::inet::SetTraceSink(&TraceInternetLayer, s_dwTraceModuleLevel & (TRACE_LEVEL_0 | TRACE_LEVEL_3));
    });
    // A check is short and runs no message loop: its thread is one kept from earlier checks.
    m_bReuseThread = true;
}

CUpdater::~CUpdater()
{
    // The fetch itself does not look at stop requests: close its handles so a pending step ends.
    if (!IsStopped() && GetThreadId() != GetCurrentThreadId()) {
        AskCancel();
        CancelUpdate();
    }
    StopAndJoin();
}

LRESULT CUpdater::Notify(LPARAM lParam)
{
    if (!IsWindow(m_pPageCtx->m_hNotifyWnd))
        return 0;
    return SendMessage(m_pPageCtx->m_hNotifyWnd, WM_UPDATER_NOTIFY, reinterpret_cast<WPARAM>(m_pPageCtx), lParam);
}

void CUpdater::HandOver(std::optional<LPARAM> notice)
{
    m_notices.clear();
    m_pPageCtx->m_connectionStates.TakeInto(m_notices);
    if (m_heldProgress)
        m_notices.push_back(*std::exchange(m_heldProgress, std::nullopt));
    if (notice)
        m_notices.push_back(*notice);
    if (m_notices.empty() || !IsWindow(m_pPageCtx->m_hNotifyWnd))
        return;
    taluvo::ui::SendMessages(m_pPageCtx->m_hNotifyWnd, WM_UPDATER_NOTIFY, reinterpret_cast<WPARAM>(m_pPageCtx),
        m_notices.data(), m_notices.size());
}

bool CUpdater::AskCancel()
{
    int state = kRunning;
    if (!m_state.compare_exchange_strong(state, kCancelAsked) && state != kCancelAsked)
        return false;
    // The mark lets the status callback turn the completion the closed handles bring into a cancel.
    m_pPageCtx->m_bCancelled = TRUE;
    return true;
}

void CUpdater::ThrowIfCancelled() const
{
    if (m_state.load() == kCancelAsked)
        throw FetchFailure { ERROR_CANCELLED };
}

void CUpdater::CancelUpdate()
{
    Stop();
    m_pPageCtx->m_hRequest.Close();
    m_pPageCtx->m_hConnect.Close();
}

BOOL CUpdater::WaitForEvent(DWORD milliseconds, DWORD timeoutError)
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now()).count();
    const DWORD bound = static_cast<DWORD>(std::clamp<int64_t>(left, 0, milliseconds));
    const HANDLE signal = m_pPageCtx->m_hSignalEvent;
    // Progress is shown before every wait: a page that comes slowly shows how far it got.
    if (m_heldProgress)
        HandOver(std::nullopt);
    DWORD waited = WaitForSingleObject(signal, std::min(bound, kStatesHeldMs));
    if (waited != WAIT_OBJECT_0 && bound > kStatesHeldMs) {
        // A slow step: the user sees each connection state as it comes.
        const HANDLE added = m_pPageCtx->m_connectionStates.AddedEvent();
        const HANDLE events[] = { signal, added };
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound - kStatesHeldMs);
        for (;;) {
            ResetEvent(added);
            HandOver(std::nullopt);
            const auto rest
                = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            waited = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(std::max<int64_t>(rest, 0)));
            if (waited != WAIT_OBJECT_0 + 1)
                break;
        }
    }
    if (waited == WAIT_OBJECT_0)
        return TRUE;
    m_pPageCtx->m_hRequest.Close();
    m_pPageCtx->m_hConnect.Close();
    throw FetchFailure { bound < milliseconds ? ERROR_CHECK_TOO_LONG : timeoutError };
}

void CUpdater::CheckDeadline()
{
    if (std::chrono::steady_clock::now() < m_deadline)
        return;
    m_pPageCtx->m_hRequest.Close();
    m_pPageCtx->m_hConnect.Close();
    throw FetchFailure { ERROR_CHECK_TOO_LONG };
}

DWORD CUpdater::WaitStep(DWORD milliseconds)
{
    WaitForEvent(milliseconds, ERROR_INTERNET_TIMEOUT);
    ThrowIfCancelled();
    if (const DWORD error = m_pPageCtx->m_dwErrorCode.load())
        throw FetchFailure { error };
    return WAIT_OBJECT_0;
}

BOOL CUpdater::Start()
{
    m_state = kRunning;
    m_pPageCtx->m_bCancelled = FALSE;
    return CWorkerThread::Start();
}

void CUpdater::Run()
{
    SPageCtx* ctx = m_pPageCtx;
    ctx->m_iStatus = statusOrdinary;
    ctx->m_dwErrorCode = 0;
    // A length announced for an earlier fetch of this context says nothing of this one's body.
    ctx->m_dwContentLength = 0;
    ctx->m_nOpenHandles = 0;
    ResetEvent(ctx->m_hHandlesClosed);
    ctx->m_connectionStates.Clear();
    m_heldProgress.reset();
    const uint64_t budgetSeconds = uint64_t { m_dwConnectTimeout } + m_dwSendTimeout + 4 * uint64_t { m_dwRecvTimeout };
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(budgetSeconds);
    DWORD error = 0;
    try {
        error = Fetch();
    } catch (const FetchFailure& failure) {
        error = failure.code;
    } catch (const CCmnException& e) {
        TRACE0(u"CUpdater::Run - %s\r\n", e.GetMessage());
        error = ERROR_INTERNET_INTERNAL_ERROR;
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    Finish(error);
}

DWORD CUpdater::Fetch()
{
    SPageCtx* ctx = m_pPageCtx;
    QString host, path;
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT port = 0;
    if (!CrackUrl(m_szUrl, host, path, scheme, &port))
        throw FetchFailure { ERROR_INTERNET_INVALID_URL };
    DWORD flags = kRequestFlags;
    if (scheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;
    // The address's own port is honoured; the scheme's port otherwise.
    if (port == 0)
        port = (flags & INTERNET_FLAG_SECURE) ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    const DWORD stepWaitMs = m_dwSendTimeout * 1000;
    const auto context = reinterpret_cast<DWORD_PTR>(ctx);
    ThrowIfCancelled();

    // Stage 0: the connection. The proxy's credentials go to the proxy only (below), never to the
    // watched site as server credentials.
    ResetEvent(ctx->m_hSignalEvent);
    ctx->m_iStage = stageConnect;
    ctx->m_hConnect = InternetConnect(m_hInternet, reinterpret_cast<LPCWSTR>(host.utf16()), port, nullptr, nullptr,
        INTERNET_SERVICE_HTTP, 0, context);
    TRACE1(u"CUpdater::Run - InternetConnect() - %s.\r\n", Outcome(ctx->m_hConnect.IsValid()));
    if (!ctx->m_hConnect.IsValid())
        throw FetchFailure { GetLastError() };
    // The handle-created notice has no time limit of its own; a missing one must not hang the check.
    WaitStep(stepWaitMs);

    // Stage 1: the request.
    ResetEvent(ctx->m_hSignalEvent);
    ctx->m_iStage = stageOpenRequest;
    LPCWSTR acceptTypes[] = { u"text/*", nullptr };
    ctx->m_hRequest = HttpOpenRequest(ctx->m_hConnect, u"GET", reinterpret_cast<LPCWSTR>(path.utf16()), nullptr,
        nullptr, acceptTypes, flags, context);
    TRACE1(u"CUpdater::Run - HttpOpenRequest() - %s.\r\n", Outcome(ctx->m_hRequest.IsValid()));
    if (!ctx->m_hRequest.IsValid())
        throw FetchFailure { GetLastError() };
    WaitStep(stepWaitMs);

    if (m_bUseProxy) {
        // Without them the proxy's challenge is the page's answer: the check goes on, and the trace
        // says why.
        const auto setText = [&](DWORD option, const QString& text, const char16_t* name) {
            if (text.isEmpty())
                return;
            const BOOL set = InternetSetOption(ctx->m_hRequest, option,
                const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16())),
                static_cast<DWORD>(text.size()));
            if (!set)
                TRACE0(
                    u"CUpdater::Run - InternetSetOption(%s) - FAIL. %s\n", name, GetInternetErrorText(GetLastError()));
        };
        setText(INTERNET_OPTION_PROXY_USERNAME, m_strProxyUserName, u"INTERNET_OPTION_PROXY_USERNAME");
        setText(INTERNET_OPTION_PROXY_PASSWORD, m_strProxyPassword, u"INTERNET_OPTION_PROXY_PASSWORD");
    }

    if (m_bUseHeadersData && ctx->m_tLastModified != kNoTime) {
        const QString header = taluvo::Format(u"If-Modified-Since: %s\r\n", FormatHttpDate(ctx->m_tLastModified));
        const BOOL added = HttpAddRequestHeaders(ctx->m_hRequest, reinterpret_cast<LPCWSTR>(header.utf16()),
            static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
        TRACE1(u"CUpdater::Run - HttpAddRequestHeaders() - %s.\r\n", Outcome(added));
    }

    // Stage 2: send the request.
    ResetEvent(ctx->m_hSignalEvent);
    ctx->m_iStage = stageSendRequest;
    BOOL ok = HttpSendRequestEx(ctx->m_hRequest, nullptr, nullptr, HSR_ASYNC, context);
    TRACE1(u"CUpdater::Run - HttpSendRequestEx() - %s.\r\n", Outcome(ok || GetLastError() == ERROR_IO_PENDING));
    if (!ok) {
        if (GetLastError() != ERROR_IO_PENDING)
            throw FetchFailure { GetLastError() };
        WaitStep(stepWaitMs);
    }

    // Stage 3: end the request; the callback reads the response headers when it completes.
    ctx->m_iStage = stageEndRequest;
    ResetEvent(ctx->m_hSignalEvent);
    ok = HttpEndRequest(ctx->m_hRequest, nullptr, HSR_ASYNC | HSR_INITIATE, context);
    TRACE1(u"CUpdater::Run - HttpEndRequest() - %s.\r\n", Outcome(ok || GetLastError() == ERROR_IO_PENDING));
    if (!ok) {
        if (GetLastError() != ERROR_IO_PENDING)
            throw FetchFailure { GetLastError() };
        WaitStep(stepWaitMs);
    }

    // Stage 4: the body.
    ctx->m_iStage = stageReadData;
    return ReadBody();
}

DWORD CUpdater::ReadBody()
{
    SPageCtx* ctx = m_pPageCtx;
    const auto context = reinterpret_cast<DWORD_PTR>(ctx);
    // Reads take many pieces at once; the pieces themselves are cut from the byte stream, so where
    // the network or a read ended never moves a piece's border.
    m_readBuffer = taluvo::engine::TakeReadBuffer(kPieceBytes * kPiecesPerRead);
    std::vector<char>& buffer = m_readBuffer;
    qsizetype carried = 0; // the start of a piece not yet whole, at the front of the buffer
    taluvo::engine::TakeKeptText(ctx->m_strHtml);
    // A page's text has at most as many units as it has bytes: with the length announced, its
    // room is taken once, and no part of it is copied or touched twice while it grows.
    if (ctx->m_dwContentLength != 0) {
        ctx->m_strHtml.reserve(std::min<qsizetype>(ctx->m_dwContentLength, kMaxPageBytes));
        taluvo::AdviseLargeBlock(
            ctx->m_strHtml.data(), static_cast<size_t>(ctx->m_strHtml.capacity()) * sizeof(char16_t));
    }
    // Pieces are decoded as one stream, so a character cut between two pieces is kept whole.
    taluvo::CAnsiStreamDecoder decoder;
    m_readChecksum.Reset();
    qsizetype received = 0; // body bytes so far, whatever their text became
    for (;;) {
        CheckDeadline();
        INTERNET_BUFFERSA description {};
        description.dwStructSize = sizeof(INTERNET_BUFFERSA);
        description.lpvBuffer = buffer.data() + carried;
        description.dwBufferLength = static_cast<DWORD>(buffer.size() - static_cast<size_t>(carried));
        ResetEvent(ctx->m_hSignalEvent);
        if (InternetReadFileExA(ctx->m_hRequest, &description, IRF_ASYNC | IRF_NO_WAIT, context)) {
            const qsizetype got = description.dwBufferLength;
            received += got;
            if (received > kMaxPageBytes) {
                TRACE1(u"CUpdater::Run - The page is larger than %d bytes.\n", static_cast<int>(kMaxPageBytes));
                throw FetchFailure { ERROR_PAGE_TOO_LARGE };
            }
            const qsizetype held = carried + got;
            const bool end = got == 0;
            // Whole pieces, and at the end of the body the short last one.
            const qsizetype whole = end ? held : held - held % kPieceBytes;
            for (qsizetype at = 0; at < whole; at += kPieceBytes)
                TakePiece(decoder, buffer.data() + at, std::min(kPieceBytes, whole - at));
            carried = held - whole;
            if (carried > 0 && whole > 0)
                std::memmove(buffer.data(), buffer.data() + whole, static_cast<size_t>(carried));
            // The window shows only the last progress: it is held until the worker waits or ends, so
            // reads that follow at once, and the end of a page that came whole, wake it once.
            if (whole > 0)
                m_heldProgress = ReadingNotice(ctx->m_strHtml.size(), ctx->m_dwContentLength);
            if (end)
                break;
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_INSUFFICIENT_BUFFER) {
            const size_t grown = buffer.size() + buffer.size() / 2;
            if (grown > kMaxReadBuffer)
                throw FetchFailure { ERROR_NOT_ENOUGH_MEMORY };
            buffer.resize(grown);
            continue;
        }
        if (error == ERROR_IO_PENDING) {
            try {
                WaitForEvent(m_dwRecvTimeout * 1000, ERROR_INTERNET_TIMEOUT);
            } catch (const FetchFailure&) {
                TRACE1(u"CUpdater::Run - InternetReadFileEx IO_PENDING error.\n");
                throw;
            }
            continue;
        }
        TRACE1(u"CUpdater::Run - WinInet error. %s\n", GetInternetErrorText(error));
        throw FetchFailure { error };
    }
    decoder.FinishTo(ctx->m_strHtml);
    return 0;
}

void CUpdater::TakePiece(taluvo::CAnsiStreamDecoder& decoder, const char* bytes, qsizetype size)
{
    SPageCtx* ctx = m_pPageCtx;
    // A zero byte ends the piece's text: the rest of the piece is not taken.
    const auto* zero = static_cast<const char*>(std::memchr(bytes, 0, static_cast<size_t>(size)));
    const qsizetype taken = zero ? zero - bytes : size;
    decoder.FeedTo(ctx->m_strHtml, bytes, taken);
    m_readChecksum.Add(bytes, taken);
    if (zero)
        decoder.FinishTo(ctx->m_strHtml);
}

void CUpdater::Finish(DWORD error)
{
    SPageCtx* ctx = m_pPageCtx;
    ctx->m_hRequest.Close();
    ctx->m_hConnect.Close();
    // A notice of a closed handle may still run on another thread: its closing notice comes last.
    while (ctx->m_nOpenHandles.load() > 0)
        WaitForSingleObject(ctx->m_hHandlesClosed, 1000);
    // The decision, in one exchange: a cancel asked before it makes this a cancelled check, one
    // asked after it finds the outcome decided and writes nothing.
    const bool cancelled = m_state.exchange(kDecided) == kCancelAsked;
    if (m_decidedHook)
        m_decidedHook();
    // A cancel closes the handles, so the step it cut short failed with whatever the closed handle
    // gave: the check still ends as cancelled, and one cut while its body was read keeps the HTTP
    // status and the text read so far.
    if (cancelled) {
        if (ctx->m_iStage == stageReadData) {
            ctx->m_dwErrorCode = ERROR_CANCELLED;
            error = 0;
        } else {
            error = ERROR_CANCELLED;
        }
    }
    if (error != 0) {
        TRACE1(u"CUpdater::Run - Exception. Code: %d, %s\r\n", error, GetInternetErrorText(error));
        ctx->m_dwHttpStatusCode = 0;
        ctx->m_iStatus = statusError;
        ctx->m_dwErrorCode = error;
        ctx->m_strHtml.clear();
    }
    if (ctx->m_dwErrorCode.load() != 0)
        ctx->m_iStatus = statusError;
    ctx->m_tLastChecked = static_cast<DWORD>(taluvo::UnixTimeNow());
    if (ctx->m_dwHttpStatusCode == 200 && ctx->m_iStatus != statusError)
        ctx->UpdateCRC32(&m_readChecksum);
    taluvo::engine::KeepText(ctx->m_strHtml);
    taluvo::engine::KeepReadBuffer(std::move(m_readBuffer));
    // The last touch of the context: its receiver may delete it while handling this notice.
    HandOver(StateNotice(stateFinished));
}

void CUpdater::WinInetCallback(HINTERNET, DWORD_PTR dwContext, DWORD dwInternetStatus, LPVOID lpvStatusInformation,
    DWORD dwStatusInformationLength)
{
    auto* ctx = reinterpret_cast<SPageCtx*>(dwContext);
    if (!ctx) {
        TRACE0(u"WininetCallback - Invalid page context.\n");
        return;
    }
    // The worker sends the connection states: with its next notice, or as they come during a slow step.
    const auto notify = [ctx](WORD state) { ctx->m_connectionStates.Add(StateNotice(state)); };
    switch (dwInternetStatus) {
    case INTERNET_STATUS_RESOLVING_NAME:
        notify(stateResolvingName);
        break;
    case INTERNET_STATUS_NAME_RESOLVED:
        notify(stateNameResolved);
        break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
        notify(stateConnecting);
        break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        notify(stateConnected);
        break;
    case INTERNET_STATUS_SENDING_REQUEST:
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_RESPONSE_RECEIVED:
    case INTERNET_STATUS_CLOSING_CONNECTION:
    case INTERNET_STATUS_CONNECTION_CLOSED:
        TRACE3(u"WininetCallback - status %u.\n", dwInternetStatus);
        break;
    case INTERNET_STATUS_HANDLE_CLOSING:
        TRACE3(u"WininetCallback - status %u.\n", dwInternetStatus);
        // The handle's last notice: the fetch may end once every handle of it has had its own.
        if (--ctx->m_nOpenHandles <= 0)
            SetEvent(ctx->m_hHandlesClosed);
        break;
    case INTERNET_STATUS_HANDLE_CREATED:
        ++ctx->m_nOpenHandles;
        SetEvent(ctx->m_hSignalEvent);
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(lpvStatusInformation);
        if (result && dwStatusInformationLength >= sizeof(INTERNET_ASYNC_RESULT) && result->dwError != 0) {
            ctx->m_dwErrorCode = result->dwError;
        } else if (ctx->m_iStage == stageEndRequest) {
            DWORD value = 0, size = sizeof value;
            BOOL ok = HttpQueryInfo(
                ctx->m_hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
            if (ok)
                ctx->m_dwHttpStatusCode = value;
            TRACE2(u"WininetCallback - HttpQueryInfo(HTTP_QUERY_STATUS_CODE) - %s. Status code: %d.\n", Outcome(ok),
                value);
            value = 0;
            size = sizeof value;
            ok = HttpQueryInfo(
                ctx->m_hRequest, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
            if (ok)
                ctx->m_dwContentLength = value;
            TRACE2(u"WininetCallback - HttpQueryInfo(HTTP_QUERY_CONTENT_LENGTH) - %s. Content length: %u.\n",
                Outcome(ok), value);
            SYSTEMTIME modified {};
            size = sizeof modified;
            ok = HttpQueryInfo(
                ctx->m_hRequest, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &modified, &size, nullptr);
            if (ok) {
                // The header is GMT: converted straight to seconds, with no local-time round trip.
                std::tm tm {};
                tm.tm_year = modified.wYear - 1900;
                tm.tm_mon = modified.wMonth - 1;
                tm.tm_mday = modified.wDay;
                tm.tm_hour = modified.wHour;
                tm.tm_min = modified.wMinute;
                tm.tm_sec = modified.wSecond;
                const time_t t = timegm(&tm);
                if (t >= 0 && t < 0xFFFFFFFFLL)
                    ctx->m_tLastModified = static_cast<DWORD>(t);
            }
            TRACE2(u"WininetCallback - HttpQueryInfo(HTTP_QUERY_LAST_MODIFIED) - %s. Last modified: %u.\n", Outcome(ok),
                ctx->m_tLastModified);
        }
        if (ctx->m_bCancelled.load())
            ctx->m_dwErrorCode = ERROR_CANCELLED;
        SetEvent(ctx->m_hSignalEvent);
        break;
    }
    default:
        break;
    }
}
