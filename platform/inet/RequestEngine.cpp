// The request engine: each request runs on a thread of its own (one kept from earlier requests
// where one waits idle) that drives a curl multi handle with one transfer. The thread serves the
// request from HttpSendRequestEx until the handle is closed, so every completion of the
// asynchronous mode arrives from it, also when the transfer had already finished when the caller
// asked. Received body bytes wait in the request until the caller reads them; when too much waits,
// the transfer pauses, so a reader that falls behind never makes the layer hold a whole large body.
// Multi handles are kept by the session when a request is done, so a later request to the same
// server can reuse the open connection.
#include "platform/inet/InetObjects.h"

#include "platform/base/KernelObjects.h"
#include "platform/inet/CurlErrors.h"

#include <QList>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>
#include <utility>

namespace taluvo::inet::detail {
namespace {

// Completes the pending operation: through the callback in asynchronous mode, else by waking the
// caller that waits in the call.
void Complete(Request& request, BOOL result, DWORD error)
{
    if (request.session->async) {
        // The operation was taken from the pending slot, so a close that comes now does not
        // complete it: this is its one completion, even when the handle has just been closed.
        // Its notice was counted when it was taken, so the closing notice waits for it.
        INTERNET_ASYNC_RESULT asyncResult { static_cast<DWORD_PTR>(result), error };
        NotifyCounted(request, INTERNET_STATUS_REQUEST_COMPLETE, &asyncResult, sizeof(asyncResult));
    } else {
        std::lock_guard<std::mutex> guard(request.lock);
        request.syncDone = true;
        request.syncResult = result;
        request.syncError = error;
        request.changed.notify_all();
    }
}

void NoticeConnected(Request& request, const char* address)
{
    // Name resolution and the connect are not reported by libcurl for a reused connection: the
    // notices are given in their order before the request goes out.
    bool resolved, connecting, connected;
    {
        std::lock_guard<std::mutex> guard(request.lock);
        resolved = std::exchange(request.noticedResolved, true);
        connecting = std::exchange(request.noticedConnecting, true);
        connected = std::exchange(request.noticedConnected, true);
        request.connected = true;
        request.lastActivity = Clock::now();
    }
    const QByteArray text(address ? address : "");
    if (!resolved)
        NotifyText(request, INTERNET_STATUS_NAME_RESOLVED, text);
    if (!connecting)
        NotifyText(request, INTERNET_STATUS_CONNECTING_TO_SERVER, text);
    if (!connected)
        NotifyText(request, INTERNET_STATUS_CONNECTED_TO_SERVER, text);
}

curl_socket_t OpenSocket(void* client, curlsocktype purpose, curl_sockaddr* address)
{
    Request& request = *static_cast<Request*>(client);
    char text[INET6_ADDRSTRLEN] = "";
    if (address->family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&address->addr)->sin_addr, text, sizeof(text));
    else if (address->family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&address->addr)->sin6_addr, text, sizeof(text));
    bool resolved, connecting;
    {
        std::lock_guard<std::mutex> guard(request.lock);
        resolved = std::exchange(request.noticedResolved, true);
        connecting = std::exchange(request.noticedConnecting, true);
    }
    if (!resolved)
        NotifyText(request, INTERNET_STATUS_NAME_RESOLVED, text);
    if (!connecting)
        NotifyText(request, INTERNET_STATUS_CONNECTING_TO_SERVER, text);
    if (request.closed.load())
        return CURL_SOCKET_BAD;
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int BeforeRequest(void* client, char* primaryIp, char*, int, int)
{
    Request& request = *static_cast<Request*>(client);
    NoticeConnected(request, primaryIp);
    NotifyLive(request, INTERNET_STATUS_SENDING_REQUEST, nullptr, 0);
    return request.closed.load() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

// libcurl's account of a transfer, asked for only while the finest trace level is on: its texts
// and the headers both ways, never the body.
int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* client)
{
    const char* kind = type == CURLINFO_TEXT ? "*" : type == CURLINFO_HEADER_IN ? "<" : type == CURLINFO_HEADER_OUT ? ">" : nullptr;
    if (!kind)
        return 0;
    const Request& request = *static_cast<Request*>(client);
    const QString text = QString::fromUtf8(data, static_cast<qsizetype>(size)).trimmed();
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        Trace(kTraceWire,
            QStringLiteral("WinInet - 0x%1 %2 %3\n")
                .arg(static_cast<qulonglong>(request.id), 0, 16)
                .arg(QLatin1String(kind), line.trimmed()));
    }
    return 0;
}

// libcurl counts the bytes of the request as it writes them out: the first count is the moment
// the request was sent.
void NoticeSent(Request& request)
{
    {
        std::lock_guard<std::mutex> guard(request.lock);
        if (request.sent)
            return;
    }
    long bytes = 0;
    if (!CurlOk(curl_easy_getinfo(request.easy, CURLINFO_REQUEST_SIZE, &bytes), "curl_easy_getinfo(CURLINFO_REQUEST_SIZE)")
        || bytes <= 0)
        return;
    {
        std::lock_guard<std::mutex> guard(request.lock);
        request.sent = true;
        request.lastActivity = Clock::now();
    }
    DWORD sent = static_cast<DWORD>(bytes);
    NotifyLive(request, INTERNET_STATUS_REQUEST_SENT, &sent, sizeof(sent));
}

bool IsFollowedRedirect(const Request& request)
{
    if (request.flags & INTERNET_FLAG_NO_AUTO_REDIRECT)
        return false;
    const int code = request.statusCode;
    if (code != 301 && code != 302 && code != 303 && code != 307 && code != 308)
        return false;
    for (const Header& header : request.responseHeaders) {
        if (header.name.compare("Location", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

size_t OnHeader(char* data, size_t size, size_t count, void* client)
{
    Request& request = *static_cast<Request*>(client);
    const size_t length = size * count;
    QByteArray line(data, static_cast<qsizetype>(length));
    std::lock_guard<std::mutex> guard(request.lock);
    request.lastActivity = Clock::now();
    if (line.startsWith("HTTP/")) {
        // A new response (the next one after an interim response, a redirect or an
        // authentication challenge) replaces the headers of the one before.
        request.sawResponse = true;
        request.responseHeaders.clear();
        request.rawHeaders = line;
        const QList<QByteArray> fields = line.trimmed().split(' ');
        request.statusCode = fields.size() > 1 ? fields[1].toInt() : 0;
        const qsizetype textStart = line.indexOf(' ', line.indexOf(' ') + 1);
        request.statusText = textStart > 0 ? line.mid(textStart + 1).trimmed() : QByteArray();
        return length;
    }
    request.rawHeaders += line;
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty()) {
        const bool interim = request.statusCode / 100 == 1;
        const bool challenge = (request.statusCode == 401 && !request.userName.isEmpty())
            || (request.statusCode == 407 && !request.active.proxyUserName.isEmpty());
        if (!interim && !challenge && !IsFollowedRedirect(request))
            request.headersDone = true;
        return length;
    }
    const qsizetype colon = trimmed.indexOf(':');
    if (colon > 0)
        request.responseHeaders.push_back({ trimmed.left(colon).trimmed(), trimmed.mid(colon + 1).trimmed() });
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* client)
{
    Request& request = *static_cast<Request*>(client);
    const size_t length = size * count;
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.body.size() - request.bodyPos >= kPauseAt) {
        request.paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (request.bodyPos > 0 && request.bodyPos >= request.body.size() / 2) {
        request.body.remove(0, request.bodyPos);
        request.bodyPos = 0;
    }
    request.body.append(data, static_cast<qsizetype>(length));
    request.headersDone = true;
    request.lastActivity = Clock::now();
    return length;
}

// The URL curl fetches: the object is sent as the caller gave it, with only the characters that
// cannot stand in a request line encoded.
QByteArray RequestUrl(const Request& request)
{
    QByteArray url = (request.flags & INTERNET_FLAG_SECURE) ? "https://" : "http://";
    const QByteArray host = request.host.toUtf8();
    url += request.host.contains(QLatin1Char(':')) ? "[" + host + "]" : host;
    url += ':' + QByteArray::number(request.port);
    QByteArray object = request.object;
    if (!object.startsWith('/'))
        object.prepend('/');
    for (unsigned char c : object) {
        if (c <= 0x20 || c >= 0x7F)
            url += '%' + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        else
            url += static_cast<char>(c);
    }
    return url;
}

// Under the request's lock: whether the pending operation can complete now, and with what.
bool TakeCompletion(Request& request, Op& op, BOOL& result, DWORD& error)
{
    op = request.pending;
    result = TRUE;
    error = 0;
    switch (request.pending) {
    case Op::None:
        return false;
    case Op::Send:
        if (request.sent)
            break;
        if (!request.ended)
            return false;
        result = FALSE;
        error = request.error ? request.error : ERROR_INTERNET_CONNECTION_ABORTED;
        break;
    case Op::End:
        if (request.headersDone && (request.sawResponse || !request.error))
            break;
        if (!request.ended)
            return false;
        result = FALSE;
        error = request.error ? request.error : ERROR_HTTP_INVALID_SERVER_RESPONSE;
        break;
    case Op::Read: {
        const qsizetype available = request.body.size() - request.bodyPos;
        const bool whole = available >= request.readWant;
        const bool held = available > 0 && Clock::now() - request.readSince >= kPartialReadHold;
        if (!whole && !request.ended && !held)
            return false;
        request.partialReady = held && !whole;
        if (available == 0 && request.error) {
            result = FALSE;
            error = request.error;
        }
        break;
    }
    }
    request.pending = Op::None;
    return true;
}

// Fails the transfer with a WinInet error when a step has been idle for longer than its time-out.
void CheckTimeouts(Request& request, Clock::time_point now, milliseconds& wait)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.ended || request.paused || !request.connected)
        return; // connecting is bounded by libcurl's own connect time-out
    const DWORD limit = request.sent ? request.active.receiveTimeout : request.active.sendTimeout;
    const auto deadline = request.lastActivity + milliseconds(limit);
    if (now >= deadline) {
        request.ended = true;
        request.error = ERROR_INTERNET_TIMEOUT;
        return;
    }
    wait = std::min(wait, std::chrono::duration_cast<milliseconds>(deadline - now) + milliseconds(1));
}

// The body buffer of the last request served by this thread, for the next one: a fresh buffer of
// a large body costs a page fault for every 4 KB written into it. Larger ones are given back.
constexpr qsizetype kKeptBodyBytes = 2 * 1024 * 1024;
thread_local QByteArray t_body;

void TakeKeptBody(Request& request)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.body.isEmpty() && t_body.isDetached())
        request.body.swap(t_body);
    t_body = QByteArray();
    request.body.resize(0);
    request.bodyPos = 0;
}

// Only a body read to its end is taken back: a reader still racing the close finds what it would
// have found anyway, nothing left to read.
void KeepBody(Request& request)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.bodyPos != request.body.size() || request.body.capacity() > kKeptBodyBytes)
        return;
    t_body.swap(request.body);
    request.body = QByteArray();
    request.bodyPos = 0;
}

void ReturnMulti(Session& session, CURLM* multi, bool reusable)
{
    if (reusable && !session.closed.load()) {
        std::lock_guard<std::mutex> guard(session.poolLock);
        if (session.idleMultis.size() < 8) {
            session.idleMultis.push_back(multi);
            return;
        }
    }
    curl_multi_cleanup(multi);
}

} // namespace

void WakeRequest(Request& request)
{
    // Under the lock: the request thread gives its multi handle away under the same lock.
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.multi && request.hasMulti.load())
        CurlOk(curl_multi_wakeup(request.multi), "curl_multi_wakeup");
}

// Sets the transfer up; a WinInet error when it cannot go out at all.
DWORD ConfigureTransfer(Request& request)
{
    CURL* easy = request.easy;
    const Session& session = *request.session;
    Options options;
    {
        std::lock_guard<std::mutex> guard(Reg().lock);
        options = request.options;
    }
    request.active = options;
    const QByteArray url = RequestUrl(request);
    // A transfer that cannot be set up as asked (the proxy the settings name, say) does not go out.
    bool ok = true;
#define TALUVO_SET(option, value) ok = CurlOk(curl_easy_setopt(easy, option, value), "curl_easy_setopt(" #option ")") && ok
    TALUVO_SET(CURLOPT_URL, url.constData());
    TALUVO_SET(CURLOPT_PRIVATE, &request);
    TALUVO_SET(CURLOPT_NOSIGNAL, 1L);
    TALUVO_SET(CURLOPT_PATH_AS_IS, 1L);
    TALUVO_SET(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    TALUVO_SET(CURLOPT_FOLLOWLOCATION, (request.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) ? 0L : 1L);
    TALUVO_SET(CURLOPT_MAXREDIRS, kMaxRedirects);
    TALUVO_SET(CURLOPT_PROTOCOLS_STR, "http,https");
    TALUVO_SET(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    TALUVO_SET(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout));
    if (!session.agent.isEmpty())
        TALUVO_SET(CURLOPT_USERAGENT, session.agent.constData());
    if (request.verb == "HEAD")
        TALUVO_SET(CURLOPT_NOBODY, 1L);
    else if (request.verb != "GET")
        TALUVO_SET(CURLOPT_CUSTOMREQUEST, request.verb.constData());

    // Proxy: only what the session was given. An empty proxy also keeps libcurl from taking one
    // from the environment (http_proxy and friends).
    const bool secure = (request.flags & INTERNET_FLAG_SECURE) != 0;
    QString proxy;
    if (session.accessType == INTERNET_OPEN_TYPE_PROXY) {
        proxy = secure ? session.proxies.https : session.proxies.http;
        const bool unusable = secure ? session.proxies.httpsUnusable : session.proxies.httpUnusable;
        if (taluvo::inet::BypassMatches(
                session.bypass, secure ? QStringLiteral("https") : QStringLiteral("http"), request.host, request.port))
            proxy.clear();
        else if (unusable)
            return ERROR_INTERNET_PROXY_SERVER_UNREACHABLE;
    }
    if (session.accessType != INTERNET_OPEN_TYPE_PRECONFIG) {
        const QByteArray proxyText = proxy.toUtf8();
        TALUVO_SET(CURLOPT_PROXY, proxyText.constData());
        TALUVO_SET(CURLOPT_NOPROXY, "");
    }
    TALUVO_SET(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!options.proxyUserName.isEmpty()) {
        TALUVO_SET(CURLOPT_PROXYUSERNAME, options.proxyUserName.toUtf8().constData());
        TALUVO_SET(CURLOPT_PROXYPASSWORD, options.proxyPassword.toUtf8().constData());
        TALUVO_SET(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    }
    if (!request.userName.isEmpty()) {
        TALUVO_SET(CURLOPT_USERNAME, request.userName.toUtf8().constData());
        TALUVO_SET(CURLOPT_PASSWORD, request.password.toUtf8().constData());
        TALUVO_SET(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }
    {
        std::lock_guard<std::mutex> guard(Reg().lock);
        if (!Reg().caFile.isEmpty()) {
            TALUVO_SET(CURLOPT_CAINFO, Reg().caFile.toUtf8().constData());
            TALUVO_SET(CURLOPT_CAPATH, nullptr);
        }
    }

    curl_slist* list = nullptr;
    std::vector<QByteArray> lines;
    if (!request.accept.isEmpty())
        lines.push_back("Accept: " + request.accept);
    if (request.flags & INTERNET_FLAG_PRAGMA_NOCACHE)
        lines.push_back("Pragma: no-cache");
    {
        std::lock_guard<std::mutex> guard(request.lock);
        for (const Header& header : request.headers)
            lines.push_back(header.value.isEmpty() ? header.name + ';' : header.name + ": " + header.value);
    }
    for (const QByteArray& line : lines) {
        curl_slist* longer = curl_slist_append(list, line.constData());
        if (!longer) {
            Trace(kTraceErrors, QStringLiteral("WinInet - curl_slist_append failed.\n"));
            ok = false;
            break;
        }
        list = longer;
    }
    request.headerList = list;
    TALUVO_SET(CURLOPT_HTTPHEADER, list);

    TALUVO_SET(CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    TALUVO_SET(CURLOPT_OPENSOCKETDATA, &request);
    TALUVO_SET(CURLOPT_PREREQFUNCTION, BeforeRequest);
    TALUVO_SET(CURLOPT_PREREQDATA, &request);
    if (Traced(kTraceWire)) {
        TALUVO_SET(CURLOPT_DEBUGFUNCTION, OnDebug);
        TALUVO_SET(CURLOPT_DEBUGDATA, &request);
        TALUVO_SET(CURLOPT_VERBOSE, 1L);
    }
    TALUVO_SET(CURLOPT_HEADERFUNCTION, OnHeader);
    TALUVO_SET(CURLOPT_HEADERDATA, &request);
    TALUVO_SET(CURLOPT_WRITEFUNCTION, OnBody);
    TALUVO_SET(CURLOPT_WRITEDATA, &request);
#undef TALUVO_SET
    return ok ? ERROR_SUCCESS : ERROR_INTERNET_INTERNAL_ERROR;
}

CURLM* TakeMulti(Session& session)
{
    std::lock_guard<std::mutex> guard(session.poolLock);
    if (session.idleMultis.empty())
        return curl_multi_init();
    CURLM* multi = session.idleMultis.back();
    session.idleMultis.pop_back();
    return multi;
}

void RunRequest(std::shared_ptr<Request> request)
{
    Request& r = *request;
    TakeKeptBody(r);
    NotifyText(r, INTERNET_STATUS_RESOLVING_NAME, r.host.toUtf8());
    if (taluvo::inet::IsAddressLiteral(r.host)) {
        // No lookup happens for an address literal; its notice is given all the same.
        {
            std::lock_guard<std::mutex> guard(r.lock);
            r.noticedResolved = true;
        }
        NotifyText(r, INTERNET_STATUS_NAME_RESOLVED, r.host.toUtf8());
    }
    bool inMulti = false;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        inMulti = !r.ended; // a request that cannot go out only completes its step
    }
    if (inMulti && !CurlOk(curl_multi_add_handle(r.multi, r.easy), "curl_multi_add_handle")) {
        inMulti = false;
        std::lock_guard<std::mutex> guard(r.lock);
        r.ended = true;
        r.error = ERROR_INTERNET_INTERNAL_ERROR;
    }
    bool finishedWell = false;
    while (!r.closed.load()) {
        int running = 0;
        if (inMulti && !CurlOk(curl_multi_perform(r.multi, &running), "curl_multi_perform")) {
            std::lock_guard<std::mutex> guard(r.lock);
            if (!r.ended) {
                r.ended = true;
                r.error = ERROR_INTERNET_INTERNAL_ERROR;
            }
        }
        if (inMulti)
            NoticeSent(r);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(r.multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            long osErrno = 0, verify = 0;
            CurlOk(curl_easy_getinfo(r.easy, CURLINFO_OS_ERRNO, &osErrno), "curl_easy_getinfo(CURLINFO_OS_ERRNO)");
            CurlOk(curl_easy_getinfo(r.easy, CURLINFO_SSL_VERIFYRESULT, &verify),
                "curl_easy_getinfo(CURLINFO_SSL_VERIFYRESULT)");
            const CURLcode code = message->data.result;
            std::lock_guard<std::mutex> guard(r.lock);
            r.ended = true;
            if (code == CURLE_OK) {
                r.headersDone = true;
                finishedWell = true;
            } else if (!r.error) {
                r.error = taluvo::inet::WinInetErrorOf(code, osErrno, verify);
            }
        }
        const Clock::time_point now = Clock::now();
        milliseconds wait(1000);
        CheckTimeouts(r, now, wait);
        bool resume = false;
        Op op;
        BOOL result;
        DWORD error;
        bool complete;
        bool noticeResponse = false;
        bool stopTransfer = false;
        {
            std::lock_guard<std::mutex> guard(r.lock);
            stopTransfer = r.ended && inMulti && !finishedWell;
            if (r.resumeWanted && r.paused) {
                r.paused = false;
                r.lastActivity = now;
                resume = true;
            }
            r.resumeWanted = false;
            complete = TakeCompletion(r, op, result, error);
            // Counted under the request's lock, before a close can take the operation away.
            if (complete && r.session->async && !BeginNotice(r, true))
                complete = false;
            noticeResponse = complete && op == Op::End && result;
            if (r.pending == Op::Read) {
                const auto held = r.readSince + kPartialReadHold;
                if (held > now)
                    wait = std::min(wait, std::chrono::duration_cast<milliseconds>(held - now) + milliseconds(1));
            }
        }
        if (stopTransfer) {
            // Failed (or timed out): the transfer stops now.
            CurlOk(curl_multi_remove_handle(r.multi, r.easy), "curl_multi_remove_handle");
            inMulti = false;
        }
        if (resume && !CurlOk(curl_easy_pause(r.easy, CURLPAUSE_CONT), "curl_easy_pause")) {
            std::lock_guard<std::mutex> guard(r.lock);
            r.ended = true;
            r.error = ERROR_INTERNET_INTERNAL_ERROR;
        }
        if (complete) {
            if (noticeResponse) {
                NotifyLive(r, INTERNET_STATUS_RECEIVING_RESPONSE, nullptr, 0);
                DWORD bytes = 0;
                {
                    std::lock_guard<std::mutex> guard(r.lock);
                    bytes = static_cast<DWORD>(r.rawHeaders.size());
                }
                NotifyLive(r, INTERNET_STATUS_RESPONSE_RECEIVED, &bytes, sizeof(bytes));
            }
            Complete(r, result, error);
            continue; // the callback may have asked for the next step already
        }
        if (inMulti) {
            long curlWait = -1;
            if (CurlOk(curl_multi_timeout(r.multi, &curlWait), "curl_multi_timeout") && curlWait >= 0)
                wait = std::min(wait, milliseconds(curlWait));
        }
        if (!CurlOk(curl_multi_poll(r.multi, nullptr, 0, static_cast<int>(wait.count()), nullptr), "curl_multi_poll")) {
            // Never spin on a wait that keeps failing: the transfer ends, and the loop waits for
            // the close at a slow pace.
            {
                std::lock_guard<std::mutex> guard(r.lock);
                if (!r.ended) {
                    r.ended = true;
                    r.error = ERROR_INTERNET_INTERNAL_ERROR;
                }
            }
            std::this_thread::sleep_for(std::min(wait, milliseconds(50)));
        }
    }
    CURLM* multi;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        r.hasMulti.store(false);
        multi = std::exchange(r.multi, nullptr);
    }
    if (inMulti)
        CurlOk(curl_multi_remove_handle(multi, r.easy), "curl_multi_remove_handle");
    curl_easy_cleanup(r.easy);
    curl_slist_free_all(r.headerList);
    r.easy = nullptr;
    r.headerList = nullptr;
    KeepBody(r);
    ReturnMulti(*r.session, multi, true);
    std::lock_guard<std::mutex> guard(Threads().lock);
    --Threads().running;
    Threads().changed.notify_all();
}

// Starts an operation of a request: asynchronous sessions get ERROR_IO_PENDING at once, others wait
// here for its result.
BOOL StartOperation(Request& request, Op op, std::unique_lock<std::mutex>& guard)
{
    request.pending = op;
    request.syncDone = false;
    if (op == Op::Read)
        request.readSince = Clock::now();
    const bool async = request.session->async;
    guard.unlock();
    WakeRequest(request);
    if (async) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    guard.lock();
    request.changed.wait(guard, [&] { return request.syncDone || request.closed.load(); });
    if (!request.syncDone) {
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
        return FALSE;
    }
    if (!request.syncResult)
        SetLastError(request.syncError);
    return request.syncResult;
}

void CloseObject(const std::shared_ptr<Object>& object)
{
    object->closed.store(true);
    if (object->kind == Kind::Request) {
        Request& request = static_cast<Request&>(*object);
        Op pending;
        {
            std::lock_guard<std::mutex> guard(request.lock);
            pending = std::exchange(request.pending, Op::None);
            request.changed.notify_all();
        }
        WakeRequest(request);
        if (pending != Op::None && request.session->async) {
            INTERNET_ASYNC_RESULT result { FALSE, ERROR_INTERNET_OPERATION_CANCELLED };
            Notify(request, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof(result));
        }
    }
    // The closing notice is the handle's last: given here when no notice runs, else by the last
    // one that ends.
    bool closeNow = false;
    {
        std::lock_guard<std::mutex> guard(object->noticeLock);
        if (object->closingGiven || object->closingOwed)
            return;
        if (object->noticesRunning == 0)
            closeNow = object->closingGiven = true;
        else
            object->closingOwed = true;
    }
    if (closeNow)
        GiveClosingNotice(*object);
}

} // namespace taluvo::inet::detail
