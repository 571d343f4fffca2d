// The WinInet functions the program calls: sessions, connections and requests, reads and closes.
// The objects behind the handles are in InetObjects, the transfers in RequestEngine, the headers in
// Headers.
#include "platform/inet/InetObjects.h"

#include "platform/base/KernelObjects.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

using namespace taluvo::inet::detail;

HINTERNET InternetOpen(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass, DWORD dwFlags)
{
    if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT
        && dwAccessType != INTERNET_OPEN_TYPE_PROXY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    GlobalInit();
    auto session = std::make_shared<Session>();
    session->agent = Narrow(lpszAgent);
    session->accessType = dwAccessType;
    session->async = (dwFlags & INTERNET_FLAG_ASYNC) != 0;
    if (dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
        session->proxies = taluvo::inet::ParseProxyList(Wide(lpszProxy));
        session->bypass = Wide(lpszProxyBypass);
    }
    Register(session);
    return session->Handle();
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET hInternet, INTERNET_STATUS_CALLBACK lpfnCallback)
{
    std::shared_ptr<Object> object = Find(hInternet);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    return object->callback.exchange(lpfnCallback);
}

BOOL InternetSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength)
{
    std::shared_ptr<Object> object = Find(hInternet);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(Reg().lock);
    Options& options = object->options;
    switch (dwOption) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_RECEIVE_TIMEOUT: {
        if (dwBufferLength < sizeof(DWORD)) {
            SetLastError(ERROR_INTERNET_BAD_OPTION_LENGTH);
            return FALSE;
        }
        DWORD value;
        std::memcpy(&value, lpBuffer, sizeof(value));
        DWORD& field = dwOption == INTERNET_OPTION_CONNECT_TIMEOUT ? options.connectTimeout
            : dwOption == INTERNET_OPTION_SEND_TIMEOUT             ? options.sendTimeout
                                                                   : options.receiveTimeout;
        field = value;
        return TRUE;
    }
    case INTERNET_OPTION_PROXY_USERNAME:
    case INTERNET_OPTION_PROXY_PASSWORD: {
        const QString text = QString::fromUtf16(static_cast<const char16_t*>(lpBuffer));
        (dwOption == INTERNET_OPTION_PROXY_USERNAME ? options.proxyUserName : options.proxyPassword) = text;
        return TRUE;
    }
    default:
        SetLastError(ERROR_INTERNET_INVALID_OPTION);
        return FALSE;
    }
}

HINTERNET InternetConnect(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort, LPCWSTR lpszUserName,
    LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags, DWORD_PTR dwContext)
{
    std::shared_ptr<Session> session = FindAs<Session>(hInternet, Kind::Session);
    if (!session)
        return nullptr;
    if (dwService != INTERNET_SERVICE_HTTP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    QString host = Wide(lpszServerName);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty()) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    auto connect = std::make_shared<Connect>();
    connect->parent = session;
    connect->context = dwContext;
    connect->callback.store(session->callback.load());
    connect->host = host;
    connect->port = nServerPort;
    connect->userName = Wide(lpszUserName);
    connect->password = Wide(lpszPassword);
    Register(connect);
    NotifyHandleCreated(*connect);
    return connect->Handle();
}

HINTERNET HttpOpenRequest(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName, LPCWSTR lpszVersion,
    LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes, DWORD dwFlags, DWORD_PTR dwContext)
{
    std::shared_ptr<Connect> connect = FindAs<Connect>(hConnect, Kind::Connect);
    if (!connect)
        return nullptr;
    auto request = std::make_shared<Request>();
    request->parent = connect;
    request->session = std::static_pointer_cast<Session>(connect->parent);
    request->context = dwContext;
    request->callback.store(connect->callback.load());
    request->verb = lpszVerb && *lpszVerb ? Narrow(lpszVerb) : QByteArray("GET");
    request->object = lpszObjectName && *lpszObjectName ? Narrow(lpszObjectName) : QByteArray("/");
    request->flags = dwFlags;
    request->host = connect->host;
    request->port = connect->port != INTERNET_INVALID_PORT_NUMBER
        ? connect->port
        : ((dwFlags & INTERNET_FLAG_SECURE) ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    request->userName = connect->userName;
    request->password = connect->password;
    if (lplpszAcceptTypes) {
        QList<QByteArray> types;
        for (LPCWSTR* type = lplpszAcceptTypes; *type; ++type)
            types.append(Narrow(*type));
        request->accept = types.join(", ");
    }
    if (lpszReferrer && *lpszReferrer)
        request->headers.push_back({ "Referer", Narrow(lpszReferrer) });
    Register(request);
    NotifyHandleCreated(*request);
    return request->Handle();
}

BOOL HttpSendRequestEx(HINTERNET hRequest, INTERNET_BUFFERSW* lpBuffersIn, INTERNET_BUFFERSW* lpBuffersOut,
    DWORD dwFlags, DWORD_PTR dwContext)
{
    std::shared_ptr<Request> request = FindAs<Request>(hRequest, Kind::Request);
    if (!request)
        return FALSE;
    std::unique_lock<std::mutex> guard(request->lock);
    if (request->started) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    request->started = true;
    guard.unlock();
    CURL* easy = curl_easy_init();
    if (!easy) {
        guard.lock();
        request->started = false;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    request->easy = easy; // the transfers' thread's once handed over
    const DWORD setupError = ConfigureTransfer(*request);
    guard.lock();
    if (setupError) {
        request->ended = true;
        request->error = setupError;
    }
    QueueText(*request, INTERNET_STATUS_RESOLVING_NAME, request->host.toUtf8());
    if (taluvo::inet::IsAddressLiteral(request->host)) {
        // No lookup happens for an address literal; its notice is given all the same.
        request->noticedResolved = true;
        QueueText(*request, INTERNET_STATUS_NAME_RESOLVED, request->host.toUtf8());
    }
    // This call gives the notices queued so far, and those the transfer adds meanwhile: claimed
    // before the transfer starts, so its thread hands none of them to another thread.
    // (A close that came meanwhile may have claimed them, and the request is not counted then.)
    const bool claimed = ClaimNotices(*request);
    if (!request->closed.load()) {
        request->served = true;
        CountRunning(+1);
    }
    guard.unlock();
    if (!HandToTransfers(request)) {
        guard.lock();
        request->started = false;
        request->notices.clear();
        request->noticedResolved = false;
        if (claimed) {
            request->noticesBusy = false;
            CountRunning(-1);
        }
        if (std::exchange(request->served, false))
            CountRunning(-1);
        guard.unlock();
        curl_easy_cleanup(std::exchange(request->easy, nullptr));
        curl_slist_free_all(std::exchange(request->headerList, nullptr));
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    guard.lock();
    return StartOperation(*request, Op::Send, guard, claimed);
}

BOOL HttpEndRequest(HINTERNET hRequest, INTERNET_BUFFERSW* lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext)
{
    std::shared_ptr<Request> request = FindAs<Request>(hRequest, Kind::Request);
    if (!request)
        return FALSE;
    std::unique_lock<std::mutex> guard(request->lock);
    if (!request->started || request->pending != Op::None) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    return StartOperation(*request, Op::End, guard);
}

BOOL InternetReadFileExA(HINTERNET hFile, INTERNET_BUFFERSA* lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext)
{
    if (lpBuffersOut == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<Request> request = FindAs<Request>(hFile, Kind::Request);
    if (!request)
        return FALSE;
    std::unique_lock<std::mutex> guard(request->lock);
    if (!request->started || request->pending != Op::None) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    const qsizetype want = lpBuffersOut->lpvBuffer ? lpBuffersOut->dwBufferLength : 0;
    const qsizetype available = request->body.size() - request->bodyPos;
    const bool finished = request->ended && (request->headersDone || request->error);
    if ((want > 0 && available >= want) || (want == 0 && available > 0) || finished
        || (request->partialReady && available > 0)) {
        if (available > 0 && want == 0) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        const qsizetype n = std::min(available, want);
        if (n == 0 && request->error) {
            SetLastError(request->error);
            return FALSE;
        }
        if (n > 0)
            std::memcpy(lpBuffersOut->lpvBuffer, request->body.constData() + request->bodyPos, static_cast<size_t>(n));
        request->bodyPos += n;
        request->partialReady = false;
        lpBuffersOut->dwBufferLength = static_cast<DWORD>(n);
        const bool resume = request->paused && request->body.size() - request->bodyPos <= kResumeAt;
        if (resume)
            request->resumeWanted = true;
        guard.unlock();
        if (resume)
            WakeTransfers();
        return TRUE;
    }
    request->readWant = std::max<qsizetype>(want, 1);
    const BOOL result = StartOperation(*request, Op::Read, guard);
    if (!result) {
        if (GetLastError() == ERROR_IO_PENDING)
            lpBuffersOut->dwBufferLength = 0;
        return FALSE;
    }
    // A read of a session without asynchronous mode has waited: the data is there now.
    guard.unlock();
    return InternetReadFileExA(hFile, lpBuffersOut, dwFlags, dwContext);
}

BOOL InternetCloseHandle(HINTERNET hInternet)
{
    // Children are closed with their parent, the deepest first.
    std::vector<std::shared_ptr<Object>> closing;
    {
        Registry& reg = Reg();
        std::lock_guard<std::mutex> guard(reg.lock);
        const uintptr_t id = reinterpret_cast<uintptr_t>(hInternet);
        if (!reg.objects.count(id)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        std::vector<uintptr_t> order { id };
        for (size_t i = 0; i < order.size(); ++i) {
            const auto kids = reg.children.find(order[i]);
            if (kids == reg.children.end())
                continue;
            for (uintptr_t kid : kids->second) {
                if (reg.objects.count(kid))
                    order.push_back(kid);
            }
            reg.children.erase(kids);
        }
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            const auto found = reg.objects.find(*it);
            closing.push_back(found->second);
            reg.objects.erase(found);
        }
    }
    for (const std::shared_ptr<Object>& object : closing)
        CloseObject(object);
    return TRUE;
}

namespace taluvo::inet {

void SetCaFile(const QString& pemPath)
{
    std::lock_guard<std::mutex> guard(Reg().lock);
    Reg().caFile = pemPath;
}

int RunningRequests()
{
    std::lock_guard<std::mutex> guard(Running().lock);
    return Running().count;
}

bool WaitForRunningRequests(DWORD milliseconds)
{
    std::unique_lock<std::mutex> guard(Running().lock);
    return Running().changed.wait_for(
        guard, std::chrono::milliseconds(milliseconds), [] { return Running().count == 0; });
}

} // namespace taluvo::inet
