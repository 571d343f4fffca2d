// Sessions, connections and requests over libcurl.
//
// A request runs on a thread of its own that drives a curl multi handle with one transfer. The
// thread (one kept from earlier requests where one waits idle) serves the request from
// HttpSendRequestEx until the handle is closed, so every completion of the
// asynchronous mode arrives from it, also when the transfer had already finished when the caller
// asked. Received body bytes wait in the request until the caller reads them; when too much waits,
// the transfer pauses, so a reader that falls behind never makes the layer hold a whole large body.
// Multi handles are kept by the session when a request is done, so a later request to the same
// server can reuse the open connection.
#include "platform/inet/WinInet.h"

#include "platform/base/ErrorTexts.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/TextCodec.h"
#include "platform/base/ThreadPool.h"
#include "platform/base/Time.h"
#include "platform/inet/CurlErrors.h"
#include "platform/inet/ProxyConfig.h"

#include <QByteArray>
#include <QList>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// WinInet's defaults for the step time-outs.
constexpr DWORD kDefaultConnectTimeout = 60000;
constexpr DWORD kDefaultSendTimeout = 30000;
constexpr DWORD kDefaultReceiveTimeout = 30000;
// Body bytes kept for the reader before the transfer pauses, and the level at which it resumes.
constexpr qsizetype kPauseAt = 512 * 1024;
constexpr qsizetype kResumeAt = 128 * 1024;
// A read waits this long for a whole buffer before it takes what a slow sender has sent so far.
constexpr auto kPartialReadHold = milliseconds(1000);
constexpr long kMaxRedirects = 30;

enum class Kind { Session, Connect, Request };

struct Options {
    DWORD connectTimeout = kDefaultConnectTimeout;
    DWORD sendTimeout = kDefaultSendTimeout;
    DWORD receiveTimeout = kDefaultReceiveTimeout;
    QString proxyUserName;
    QString proxyPassword;
};

struct Object {
    Kind kind;
    uintptr_t id = 0;
    DWORD_PTR context = 0;
    std::atomic<INTERNET_STATUS_CALLBACK> callback { nullptr };
    std::shared_ptr<Object> parent;
    std::atomic<bool> closed { false };
    Options options; // guarded by the registry lock
    // Notices of the handle now running on any thread, and whether the closing notice waits for
    // them: it is always the handle's last notice, so its receiver may free the context at once.
    std::mutex noticeLock;
    int noticesRunning = 0;
    bool closingOwed = false;
    bool closingGiven = false;
    explicit Object(Kind k)
        : kind(k)
    {
    }
    virtual ~Object() = default;
    HINTERNET Handle() const { return reinterpret_cast<HINTERNET>(id); }
};

struct Session : Object {
    Session()
        : Object(Kind::Session)
    {
    }
    ~Session() override;
    QByteArray agent;
    DWORD accessType = INTERNET_OPEN_TYPE_DIRECT;
    taluvo::inet::ProxyList proxies;
    QString bypass;
    bool async = false;
    std::mutex poolLock;
    std::vector<CURLM*> idleMultis; // connections kept open for later requests
};

struct Connect : Object {
    Connect()
        : Object(Kind::Connect)
    {
    }
    QString host;
    INTERNET_PORT port = 0;
    QString userName;
    QString password;
};

struct Header {
    QByteArray name;
    QByteArray value;
};

enum class Op { None, Send, End, Read };

struct Request : Object {
    Request()
        : Object(Kind::Request)
    {
    }
    // What the request was opened with.
    std::shared_ptr<Session> session;
    QByteArray verb;
    QByteArray object;
    QByteArray accept;
    DWORD flags = 0;
    QString host;
    INTERNET_PORT port = 0;
    QString userName, password;
    std::vector<Header> headers; // guarded by lock

    std::mutex lock;
    std::condition_variable changed; // for sessions without INTERNET_FLAG_ASYNC
    bool started = false;
    Op pending = Op::None;
    qsizetype readWant = 0;
    Clock::time_point readSince;
    bool partialReady = false;
    bool syncDone = false;
    BOOL syncResult = FALSE;
    DWORD syncError = 0;

    // Progress of the transfer.
    bool connected = false; // the request is about to go out on an open connection
    bool sent = false;
    bool headersDone = false;
    bool ended = false; // the transfer finished (well or badly)
    DWORD error = 0; // why it failed
    bool paused = false;
    bool resumeWanted = false;
    Clock::time_point lastActivity;
    QByteArray body;
    qsizetype bodyPos = 0;
    // The headers of the newest response.
    int statusCode = 0;
    QByteArray statusText;
    QByteArray rawHeaders;
    std::vector<Header> responseHeaders;
    bool sawResponse = false;

    // Notices already given.
    bool noticedResolved = false, noticedConnecting = false, noticedConnected = false;

    // Owned by the request thread.
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::atomic<bool> hasMulti { false };
    Options active; // the options in force for the transfer, fixed when it starts
};

// ---- process-wide state (never destroyed: request threads may outlive static destruction) ----

struct Registry {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
    std::unordered_map<uintptr_t, std::vector<uintptr_t>> children;
    uintptr_t nextId = 0x10000;
    QString caFile;
};

Registry& Reg()
{
    static Registry* registry = new Registry;
    return *registry;
}

struct RequestThreads {
    std::mutex lock;
    std::condition_variable changed;
    int running = 0;
};

RequestThreads& Threads()
{
    static RequestThreads* threads = new RequestThreads;
    return *threads;
}

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Session::~Session()
{
    for (CURLM* multi : idleMultis)
        curl_multi_cleanup(multi);
}

QByteArray Narrow(LPCWSTR text)
{
    return text ? taluvo::AnsiEncode(text) : QByteArray();
}
QString Wide(LPCWSTR text)
{
    return text ? QString::fromUtf16(text) : QString();
}

std::shared_ptr<Object> Find(HINTERNET handle)
{
    Registry& reg = Reg();
    std::lock_guard<std::mutex> guard(reg.lock);
    const auto it = reg.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == reg.objects.end() ? nullptr : it->second;
}

template <typename T> std::shared_ptr<T> FindAs(HINTERNET handle, Kind kind)
{
    std::shared_ptr<Object> object = Find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

void Register(const std::shared_ptr<Object>& object)
{
    Registry& reg = Reg();
    std::lock_guard<std::mutex> guard(reg.lock);
    object->id = reg.nextId;
    reg.nextId += 4;
    reg.objects.emplace(object->id, object);
    if (object->parent)
        reg.children[object->parent->id].push_back(object->id);
    if (object->parent)
        object->options = object->parent->options;
}

void CallBack(Object& object, DWORD status, LPVOID info, DWORD length)
{
    // As WinInet: handles opened with a context of 0 get no notices.
    const INTERNET_STATUS_CALLBACK callback = object.callback.load();
    if (object.context == 0 || callback == nullptr || callback == INTERNET_INVALID_STATUS_CALLBACK)
        return;
    callback(object.Handle(), object.context, status, info, length);
}

// A notice may start unless the closing notice has been given; one of a closed handle only when
// it may still come (the one completion of an operation taken before the close).
bool BeginNotice(Object& object, bool evenWhenClosed)
{
    std::lock_guard<std::mutex> guard(object.noticeLock);
    if (object.closingGiven || (!evenWhenClosed && object.closed.load()))
        return false;
    ++object.noticesRunning;
    return true;
}

void GiveClosingNotice(Object& object)
{
    HINTERNET handle = object.Handle();
    CallBack(object, INTERNET_STATUS_HANDLE_CLOSING, &handle, sizeof(handle));
}

// The last notice running of a closed handle gives the closing notice, on its own thread.
void EndNotice(Object& object)
{
    bool closing = false;
    {
        std::lock_guard<std::mutex> guard(object.noticeLock);
        --object.noticesRunning;
        if (object.noticesRunning == 0 && object.closingOwed) {
            object.closingOwed = false;
            object.closingGiven = true;
            closing = true;
        }
    }
    if (closing)
        GiveClosingNotice(object);
}

// A notice whose start was counted already.
void NotifyCounted(Object& object, DWORD status, LPVOID info, DWORD length)
{
    CallBack(object, status, info, length);
    EndNotice(object);
}

void Notify(Object& object, DWORD status, LPVOID info, DWORD length, bool evenWhenClosed = true)
{
    if (BeginNotice(object, evenWhenClosed))
        NotifyCounted(object, status, info, length);
}

// Notices of a live handle only: none starts once the handle is closed.
void NotifyLive(Object& object, DWORD status, LPVOID info, DWORD length)
{
    Notify(object, status, info, length, false);
}

void NotifyText(Object& object, DWORD status, const QByteArray& text)
{
    QByteArray copy = text;
    NotifyLive(object, status, copy.data(), static_cast<DWORD>(copy.size() + 1));
}

void NotifyHandleCreated(Object& object)
{
    INTERNET_ASYNC_RESULT result { reinterpret_cast<DWORD_PTR>(object.Handle()), 0 };
    Notify(object, INTERNET_STATUS_HANDLE_CREATED, &result, sizeof(result));
}

// ---- the request thread ----

void WakeRequest(Request& request)
{
    // Under the lock: the request thread gives its multi handle away under the same lock.
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.multi && request.hasMulti.load())
        curl_multi_wakeup(request.multi);
}

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

int OnDebug(CURL*, curl_infotype type, char*, size_t size, void* client)
{
    if (type != CURLINFO_HEADER_OUT)
        return 0;
    Request& request = *static_cast<Request*>(client);
    bool first;
    {
        std::lock_guard<std::mutex> guard(request.lock);
        first = !std::exchange(request.sent, true);
        request.lastActivity = Clock::now();
    }
    if (first) {
        DWORD bytes = static_cast<DWORD>(size);
        NotifyLive(request, INTERNET_STATUS_REQUEST_SENT, &bytes, sizeof(bytes));
    }
    return 0;
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
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &request);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, (request.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout));
    if (!session.agent.isEmpty())
        curl_easy_setopt(easy, CURLOPT_USERAGENT, session.agent.constData());
    if (request.verb == "HEAD")
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else if (request.verb != "GET")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.constData());

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
        curl_easy_setopt(easy, CURLOPT_PROXY, proxyText.constData());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    }
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!options.proxyUserName.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, options.proxyUserName.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, options.proxyPassword.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    }
    if (!request.userName.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, request.userName.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, request.password.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }
    {
        std::lock_guard<std::mutex> guard(Reg().lock);
        if (!Reg().caFile.isEmpty()) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, Reg().caFile.toUtf8().constData());
            curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
        }
    }

    curl_slist* list = nullptr;
    if (!request.accept.isEmpty())
        list = curl_slist_append(list, ("Accept: " + request.accept).constData());
    if (request.flags & INTERNET_FLAG_PRAGMA_NOCACHE)
        list = curl_slist_append(list, "Pragma: no-cache");
    {
        std::lock_guard<std::mutex> guard(request.lock);
        for (const Header& header : request.headers) {
            const QByteArray line = header.value.isEmpty() ? header.name + ';' : header.name + ": " + header.value;
            list = curl_slist_append(list, line.constData());
        }
    }
    request.headerList = list;
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);

    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &request);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, BeforeRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &request);
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &request);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &request);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &request);
    return ERROR_SUCCESS;
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

CURLM* TakeMulti(Session& session)
{
    std::lock_guard<std::mutex> guard(session.poolLock);
    if (session.idleMultis.empty())
        return curl_multi_init();
    CURLM* multi = session.idleMultis.back();
    session.idleMultis.pop_back();
    return multi;
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

void RunRequest(std::shared_ptr<Request> request)
{
    Request& r = *request;
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
    if (inMulti)
        curl_multi_add_handle(r.multi, r.easy);
    bool finishedWell = false;
    while (!r.closed.load()) {
        int running = 0;
        if (inMulti)
            curl_multi_perform(r.multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(r.multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            long osErrno = 0, verify = 0;
            curl_easy_getinfo(r.easy, CURLINFO_OS_ERRNO, &osErrno);
            curl_easy_getinfo(r.easy, CURLINFO_SSL_VERIFYRESULT, &verify);
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
            curl_multi_remove_handle(r.multi, r.easy);
            inMulti = false;
        }
        if (resume)
            curl_easy_pause(r.easy, CURLPAUSE_CONT);
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
            curl_multi_timeout(r.multi, &curlWait);
            if (curlWait >= 0)
                wait = std::min(wait, milliseconds(curlWait));
        }
        curl_multi_poll(r.multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
    CURLM* multi;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        r.hasMulti.store(false);
        multi = std::exchange(r.multi, nullptr);
    }
    if (inMulti)
        curl_multi_remove_handle(multi, r.easy);
    curl_easy_cleanup(r.easy);
    curl_slist_free_all(r.headerList);
    r.easy = nullptr;
    r.headerList = nullptr;
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

bool ParseHeaderLines(LPCWSTR text, DWORD length, std::vector<Header>& out)
{
    const QString headers = length == static_cast<DWORD>(-1) ? QString::fromUtf16(text)
                                                             : QString::fromUtf16(text, static_cast<qsizetype>(length));
    const QByteArray bytes = taluvo::AnsiEncode(headers);
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.contains('\r'))
            return false;
        const QByteArray name = line.left(colon).trimmed();
        if (name.isEmpty() || name.contains(' ') || name.contains('\t'))
            return false;
        out.push_back({ name, line.mid(colon + 1).trimmed() });
    }
    return true;
}

const char* HeaderNameOfLevel(DWORD level)
{
    switch (level) {
    case HTTP_QUERY_CONTENT_TYPE:
        return "Content-Type";
    case HTTP_QUERY_CONTENT_LENGTH:
        return "Content-Length";
    case HTTP_QUERY_DATE:
        return "Date";
    case HTTP_QUERY_LAST_MODIFIED:
        return "Last-Modified";
    case HTTP_QUERY_LOCATION:
        return "Location";
    default:
        return nullptr;
    }
}

} // namespace

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

BOOL HttpAddRequestHeaders(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, DWORD dwModifiers)
{
    std::shared_ptr<Request> request = FindAs<Request>(hRequest, Kind::Request);
    if (!request)
        return FALSE;
    std::vector<Header> lines;
    if (lpszHeaders == nullptr || !ParseHeaderLines(lpszHeaders, dwHeadersLength, lines)) {
        SetLastError(ERROR_HTTP_INVALID_HEADER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(request->lock);
    if (request->started) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    const bool add = (dwModifiers & HTTP_ADDREQ_FLAG_ADD) != 0;
    const bool replace = (dwModifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0;
    const bool addIfNew = (dwModifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0;
    std::vector<Header>& headers = request->headers;
    for (const Header& line : lines) {
        auto existing = std::find_if(headers.begin(), headers.end(),
            [&](const Header& h) { return h.name.compare(line.name, Qt::CaseInsensitive) == 0; });
        const bool found = existing != headers.end();
        if (addIfNew && found) {
            SetLastError(ERROR_HTTP_HEADER_ALREADY_EXISTS);
            return FALSE;
        }
        if (replace) {
            if (found) {
                // Replace the first, drop the others; an empty value removes the header.
                headers.erase(std::remove_if(std::next(existing), headers.end(),
                                  [&](const Header& h) { return h.name.compare(line.name, Qt::CaseInsensitive) == 0; }),
                    headers.end());
                if (line.value.isEmpty())
                    headers.erase(existing);
                else
                    *existing = line;
            } else if (add) {
                headers.push_back(line);
            } else {
                SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
                return FALSE;
            }
        } else {
            headers.push_back(line);
        }
    }
    return TRUE;
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
    guard.unlock();
    CURLM* multi = TakeMulti(*request->session);
    CURL* easy = curl_easy_init();
    if (!multi || !easy) {
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    request->easy = easy; // the request thread's from here on
    const DWORD setupError = ConfigureTransfer(*request);
    guard.lock();
    if (setupError) {
        request->ended = true;
        request->error = setupError;
    }
    request->multi = multi;
    request->hasMulti.store(true);
    request->started = true;
    request->pending = Op::Send;
    {
        std::lock_guard<std::mutex> threads(Threads().lock);
        ++Threads().running;
    }
    if (!taluvo::RunPooled([request] { RunRequest(request); })) {
        {
            std::lock_guard<std::mutex> threads(Threads().lock);
            --Threads().running;
        }
        request->started = false;
        request->pending = Op::None;
        request->multi = nullptr;
        request->hasMulti.store(false);
        guard.unlock();
        curl_easy_cleanup(easy);
        curl_slist_free_all(std::exchange(request->headerList, nullptr));
        request->easy = nullptr;
        curl_multi_cleanup(multi);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return StartOperation(*request, Op::Send, guard);
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
            WakeRequest(*request);
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

BOOL HttpQueryInfo(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength, LPDWORD lpdwIndex)
{
    std::shared_ptr<Request> request = FindAs<Request>(hRequest, Kind::Request);
    if (!request)
        return FALSE;
    if (lpdwBufferLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD level = dwInfoLevel & HTTP_QUERY_HEADER_MASK;
    const DWORD modifiers = dwInfoLevel & HTTP_QUERY_MODIFIER_FLAGS_MASK;
    QByteArray value;
    {
        std::lock_guard<std::mutex> guard(request->lock);
        if (!request->sawResponse || !request->headersDone) {
            SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
            return FALSE;
        }
        const DWORD index = lpdwIndex ? *lpdwIndex : 0;
        if (level == HTTP_QUERY_STATUS_CODE) {
            value = QByteArray::number(request->statusCode);
        } else if (level == HTTP_QUERY_STATUS_TEXT) {
            value = request->statusText;
        } else if (level == HTTP_QUERY_RAW_HEADERS_CRLF) {
            value = request->rawHeaders;
        } else if (const char* name = HeaderNameOfLevel(level)) {
            DWORD seen = 0;
            bool found = false;
            for (const Header& header : request->responseHeaders) {
                if (header.name.compare(name, Qt::CaseInsensitive) == 0 && seen++ == index) {
                    value = header.value;
                    found = true;
                    break;
                }
            }
            if (!found) {
                SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
                return FALSE;
            }
        } else {
            SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
            return FALSE;
        }
    }
    if (modifiers & HTTP_QUERY_FLAG_NUMBER) {
        bool ok = false;
        const qulonglong number = value.trimmed().toULongLong(&ok);
        if (!ok || number > 0xFFFFFFFFull) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return FALSE;
        }
        if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(DWORD)) {
            *lpdwBufferLength = sizeof(DWORD);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        const DWORD out = static_cast<DWORD>(number);
        std::memcpy(lpBuffer, &out, sizeof(out));
        *lpdwBufferLength = sizeof(DWORD);
    } else if (modifiers & HTTP_QUERY_FLAG_SYSTEMTIME) {
        const time_t t = curl_getdate(value.constData(), nullptr);
        tm parts {};
        if (t == -1 || !gmtime_r(&t, &parts)) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return FALSE;
        }
        if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(SYSTEMTIME)) {
            *lpdwBufferLength = sizeof(SYSTEMTIME);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        SYSTEMTIME st {};
        taluvo::SystemTimeFromTm(parts, st);
        std::memcpy(lpBuffer, &st, sizeof(st));
        *lpdwBufferLength = sizeof(SYSTEMTIME);
    } else {
        const QString text = taluvo::AnsiDecode(value);
        const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
        if (lpBuffer == nullptr || *lpdwBufferLength < needed) {
            *lpdwBufferLength = needed;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(lpBuffer, text.utf16(), needed);
        *lpdwBufferLength = needed - sizeof(char16_t);
    }
    if (lpdwIndex)
        ++*lpdwIndex;
    return TRUE;
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

int RunningRequestThreads()
{
    std::lock_guard<std::mutex> guard(Threads().lock);
    return Threads().running;
}

bool WaitForRequestThreads(DWORD milliseconds)
{
    std::unique_lock<std::mutex> guard(Threads().lock);
    return Threads().changed.wait_for(
        guard, std::chrono::milliseconds(milliseconds), [] { return Threads().running == 0; });
}

} // namespace taluvo::inet
