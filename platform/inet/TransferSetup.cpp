// How a request's transfer is set up for libcurl, and the libcurl callbacks that watch its steps.
// The callbacks run on the transfers' thread: they record what happened and queue the notices
// for it under the request's lock, so a notice is always queued before a completion that
// depends on its step; they never call the caller's callback themselves.
#include "platform/inet/InetObjects.h"

#include "platform/inet/ProxyConfig.h"

#include <QList>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <utility>

namespace taluvo::inet::detail {
namespace {

int LookupStarts(void*, void*, void* client)
{
    static_cast<Request*>(client)->lookingUp = true;
    return 0;
}

curl_socket_t OpenSocket(void* client, curlsocktype, curl_sockaddr* address)
{
    Request& request = *static_cast<Request*>(client);
    request.lookingUp = false;
    char text[INET6_ADDRSTRLEN] = "";
    if (address->family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&address->addr)->sin_addr, text, sizeof(text));
    else if (address->family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&address->addr)->sin6_addr, text, sizeof(text));
    {
        std::lock_guard<std::mutex> guard(request.lock);
        if (!std::exchange(request.noticedResolved, true))
            QueueText(request, INTERNET_STATUS_NAME_RESOLVED, text);
        if (!std::exchange(request.noticedConnecting, true))
            QueueText(request, INTERNET_STATUS_CONNECTING_TO_SERVER, text);
    }
    if (request.closed.load())
        return CURL_SOCKET_BAD;
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int BeforeRequest(void* client, char* primaryIp, char*, int, int)
{
    Request& request = *static_cast<Request*>(client);
    request.lookingUp = false;
    // Name resolution and the connect are not reported by libcurl for a reused connection: the
    // notices are given in their order before the request goes out.
    const QByteArray text(primaryIp ? primaryIp : "");
    {
        std::lock_guard<std::mutex> guard(request.lock);
        if (!std::exchange(request.noticedResolved, true))
            QueueText(request, INTERNET_STATUS_NAME_RESOLVED, text);
        if (!std::exchange(request.noticedConnecting, true))
            QueueText(request, INTERNET_STATUS_CONNECTING_TO_SERVER, text);
        if (!std::exchange(request.noticedConnected, true))
            QueueText(request, INTERNET_STATUS_CONNECTED_TO_SERVER, text);
        QueueNotice(request, INTERNET_STATUS_SENDING_REQUEST);
        request.connected = true;
        request.lastActivity = Clock::now();
    }
    return request.closed.load() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

// libcurl's account of a transfer, asked for only while the finest trace level is on: its texts
// and the headers both ways, never the body.
int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* client)
{
    const char* kind = type == CURLINFO_TEXT ? "*"
        : type == CURLINFO_HEADER_IN         ? "<"
        : type == CURLINFO_HEADER_OUT        ? ">"
                                             : nullptr;
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
    // A reader that asks for more than the usual hold gets it whole: the transfer pauses only
    // once its read could be served.
    if (request.body.size() - request.bodyPos >= std::max(kPauseAt, request.readWant)) {
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

} // namespace

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
#define TALUVO_SET(option, value)                                                                                      \
    ok = CurlOk(curl_easy_setopt(easy, option, value), "curl_easy_setopt(" #option ")") && ok
    TALUVO_SET(CURLOPT_URL, url.constData());
    TALUVO_SET(CURLOPT_PRIVATE, &request);
    TALUVO_SET(CURLOPT_NOSIGNAL, 1L);
    TALUVO_SET(CURLOPT_BUFFERSIZE, 128L * 1024);
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

    // A lookup given up (a close, the connect time-out) must not hold the one thread of every
    // transfer until the system resolver gives up too, which takes its own time-out (up to minutes
    // with a name server that never answers): libcurl leaves the lookup's thread to end alone
    // instead of waiting for it, and the transfers' thread traces each one it leaves.
    TALUVO_SET(CURLOPT_QUICK_EXIT, 1L);
    TALUVO_SET(CURLOPT_RESOLVER_START_FUNCTION, LookupStarts);
    TALUVO_SET(CURLOPT_RESOLVER_START_DATA, &request);
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

} // namespace taluvo::inet::detail
