// The internet layer against real peers on loopback: notices and asynchronous completion, the
// pieces a reader gets, response facts, request headers, failures, TLS, cancelling from another
// thread, and proxies.
#include "platform/base/ErrorTexts.h"
#include "platform/base/KernelObjects.h"
#include "platform/inet/WinInet.h"
#include "tests/platform/inet/InetTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

using namespace taluvo::test;
using namespace std::chrono_literals;

namespace {

std::vector<qsizetype> Sizes(const FetchResult& result)
{
    std::vector<qsizetype> sizes;
    for (const QByteArray& piece : result.pieces)
        sizes.push_back(piece.size());
    return sizes;
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    ASSERT_TRUE(InternetSetOption(handle, option, &milliseconds, sizeof(milliseconds)));
}

struct Session {
    explicit Session(DWORD access = INTERNET_OPEN_TYPE_DIRECT, const QString& proxy = {}, const QString& bypass = {})
        : handle(OpenAsyncSession(access, proxy, bypass))
    {
    }
    ~Session() { InternetCloseHandle(handle); }
    HINTERNET handle;
};

class InternetTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        taluvo::inet::SetCaFile({});
        // Every request is done with once its handles are closed and their notices given.
        EXPECT_TRUE(taluvo::inet::WaitForRunningRequests(5000));
    }
};

TEST_F(InternetTest, NoticesComeInOrder)
{
    PeerProcess server({ "http", "A" });
    Session session;
    const std::vector<DWORD> steps { 10, 11, 20, 21, 30, 31, 40, 41 };
    // An address literal (no lookup happens: the resolve notices are synthesised), a name, and a
    // second request that reuses the open connection (no connect happens either).
    for (const QString& host :
        { QStringLiteral("127.0.0.1"), QStringLiteral("localhost"), QStringLiteral("localhost") }) {
        SCOPED_TRACE(host.toStdString());
        Recorder recorder;
        FetchOptions options;
        options.host = host;
        options.port = server.Port();
        options.object = QStringLiteral("/body?size=100");
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, 0u);
        EXPECT_EQ(result.statusCode, 200u);
        EXPECT_EQ(result.Body(), Pattern(100));
        EXPECT_TRUE(result.sendWasPending);
        EXPECT_TRUE(result.endWasPending);

        // A closing notice that waited for a notice still running comes from the thread that gave
        // that notice, right after it.
        ASSERT_TRUE(taluvo::inet::WaitForRunningRequests(5000));
        const std::vector<DWORD> all = recorder.Statuses();
        std::vector<DWORD> seen;
        std::copy_if(all.begin(), all.end(), std::back_inserter(seen),
            [&](DWORD s) { return std::find(steps.begin(), steps.end(), s) != steps.end(); });
        EXPECT_EQ(seen, steps);
        ASSERT_GE(all.size(), 4u);
        EXPECT_EQ(all[0], INTERNET_STATUS_HANDLE_CREATED);
        EXPECT_EQ(all[1], INTERNET_STATUS_HANDLE_CREATED);
        // Each handle closes once, and the last notice is a closing one (a completion still running
        // when the request was closed comes before the request's own closing notice).
        EXPECT_EQ(std::count(all.begin(), all.end(), INTERNET_STATUS_HANDLE_CLOSING), 2);
        EXPECT_EQ(all.back(), INTERNET_STATUS_HANDLE_CLOSING);
        // The send completes after the request went out and before the response is reported.
        const auto at = [&](DWORD status) { return std::find(all.begin(), all.end(), status) - all.begin(); };
        EXPECT_LT(at(INTERNET_STATUS_REQUEST_SENT), at(INTERNET_STATUS_REQUEST_COMPLETE));
        EXPECT_LT(at(INTERNET_STATUS_REQUEST_COMPLETE), at(INTERNET_STATUS_RECEIVING_RESPONSE));
    }
}

// The thread that runs the blocked fetch, and the events of its held notice.
std::thread::id g_blockedCaller;
HANDLE g_noticeBlocked = nullptr;
HANDLE g_releaseNotice = nullptr;

// Records, and holds the first completion that comes on a thread other than the caller's (one the
// layer handed on), as a window message sent to a busy window would.
void BlockHandedOnCompletion(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length)
{
    Recorder::Callback(handle, context, status, info, length);
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && std::this_thread::get_id() != g_blockedCaller
        && WaitForSingleObject(g_noticeBlocked, 0) != WAIT_OBJECT_0) {
        SetEvent(g_noticeBlocked);
        WaitForSingleObject(g_releaseNotice, 20000);
    }
}

TEST_F(InternetTest, ABlockedNoticeHoldsUpNoOtherRequest)
{
    PeerProcess server({ "http", "A" });
    g_noticeBlocked = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    g_releaseNotice = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    // Sent a byte at a time: the reads wait, and their completions come from the layer.
    FetchOptions options;
    options.port = server.Port();
    options.object = QStringLiteral("/body?size=5000&chunk=1");

    Session blockedSession;
    InternetSetStatusCallback(blockedSession.handle, &BlockHandedOnCompletion);
    Recorder blockedRecorder;
    FetchResult blocked;
    std::thread blockedFetch([&] {
        g_blockedCaller = std::this_thread::get_id();
        blocked = Fetch(blockedSession.handle, blockedRecorder, options);
    });
    ASSERT_EQ(WaitForSingleObject(g_noticeBlocked, 10000), WAIT_OBJECT_0);

    // Every transfer is driven by one thread of the layer: it must not be the one waiting.
    Session session;
    Recorder recorder;
    const FetchResult other = Fetch(session.handle, recorder, options);
    EXPECT_EQ(other.error, 0u);
    EXPECT_EQ(other.Body(), Pattern(5000));
    EXPECT_EQ(WaitForSingleObject(g_noticeBlocked, 0), WAIT_OBJECT_0);

    SetEvent(g_releaseNotice);
    blockedFetch.join();
    EXPECT_EQ(blocked.error, 0u);
    EXPECT_EQ(blocked.Body(), Pattern(5000));
    CloseHandle(g_noticeBlocked);
    CloseHandle(g_releaseNotice);
}

TEST_F(InternetTest, ReadPiecesDoNotDependOnHowTheNetworkCutTheBody)
{
    PeerProcess server({ "http", "A" });
    Session session;
    const std::vector<qsizetype> expected { 4095, 4095, 1810 };
    for (const char* object : { "/body?size=10000", "/body?size=10000&chunk=1", "/body?size=10000&chunk=1&length=0",
             "/body?size=10000&chunk=333", "/chunked?size=10000&chunk=777" }) {
        SCOPED_TRACE(object);
        Recorder recorder;
        FetchOptions options;
        options.port = server.Port();
        options.object = QString::fromLatin1(object);
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, 0u);
        EXPECT_EQ(Sizes(result), expected);
        EXPECT_EQ(result.Body(), Pattern(10000));
    }
    // A body larger than what the layer holds for a reader that falls behind: the transfer
    // pauses and resumes. The delay before the first read lets the body pile up on purpose.
    Recorder recorder;
    FetchOptions options;
    options.port = server.Port();
    options.object = QStringLiteral("/body?size=3000000");
    options.pieceSize = 65536;
    options.inspect = [](HINTERNET) { std::this_thread::sleep_for(300ms); };
    const FetchResult large = Fetch(session.handle, recorder, options);
    EXPECT_EQ(large.error, 0u);
    EXPECT_EQ(large.Body(), Pattern(3000000));
    // A reader whose buffer is larger than what the layer holds still gets whole pieces.
    Recorder wideRecorder;
    options.pieceSize = 1 << 20;
    const FetchResult wide = Fetch(session.handle, wideRecorder, options);
    EXPECT_EQ(wide.error, 0u);
    EXPECT_EQ(Sizes(wide), (std::vector<qsizetype> { 1 << 20, 1 << 20, 3000000 - 2 * (1 << 20) }));
    EXPECT_EQ(wide.Body(), Pattern(3000000));
}

TEST_F(InternetTest, ReadWithoutRoomAsksForABuffer)
{
    PeerProcess server({ "http", "A" });
    Session session;
    Recorder recorder;
    FetchOptions options;
    options.port = server.Port();
    options.object = QStringLiteral("/body?size=10");
    options.inspect = [&](HINTERNET request) {
        char byte;
        INTERNET_BUFFERSA piece {};
        piece.dwStructSize = sizeof(piece);
        piece.lpvBuffer = &byte;
        piece.dwBufferLength = 0;
        // Once the body is there, a buffer without room is refused with 122.
        DWORD error = 0;
        for (int i = 0; i < 100 && error != ERROR_INSUFFICIENT_BUFFER; ++i) {
            piece.dwBufferLength = 0;
            if (InternetReadFileExA(request, &piece, IRF_ASYNC, reinterpret_cast<DWORD_PTR>(&recorder)))
                break;
            error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                INTERNET_ASYNC_RESULT done {};
                ASSERT_TRUE(recorder.WaitCompletion(done));
            }
        }
        EXPECT_EQ(error, ERROR_INSUFFICIENT_BUFFER);
    };
    const FetchResult result = Fetch(session.handle, recorder, options);
    EXPECT_EQ(result.Body(), Pattern(10));
}

TEST_F(InternetTest, QueryInfoGivesStatusLengthAndTimes)
{
    PeerProcess server({ "http", "A" });
    Session session;
    struct Case {
        const char* object;
        DWORD status;
        QByteArray bodyPart;
    };
    for (const Case& c : { Case { "/status/404", 404, "status page" },
             Case { "/redirect", 200, "path: /whoami?redirected=1" }, Case { "/status/500", 500, "status page" } }) {
        SCOPED_TRACE(c.object);
        Recorder recorder;
        FetchOptions options;
        options.port = server.Port();
        options.object = QString::fromLatin1(c.object);
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, 0u);
        EXPECT_EQ(result.statusCode, c.status);
        EXPECT_TRUE(result.Body().contains(c.bodyPart)) << result.Body().toStdString();
    }

    Recorder recorder;
    FetchOptions options;
    options.port = server.Port();
    options.object = QStringLiteral("/lastmod");
    options.inspect = [](HINTERNET request) {
        SYSTEMTIME time {};
        DWORD size = sizeof(time);
        ASSERT_TRUE(
            HttpQueryInfo(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time, &size, nullptr));
        EXPECT_EQ(time.wYear, 1994);
        EXPECT_EQ(time.wMonth, 11);
        EXPECT_EQ(time.wDay, 15);
        EXPECT_EQ(time.wDayOfWeek, 2);
        EXPECT_EQ(time.wHour, 8);
        EXPECT_EQ(time.wMinute, 12);
        EXPECT_EQ(time.wSecond, 31);
        DWORD length = 0;
        size = sizeof(length);
        ASSERT_TRUE(
            HttpQueryInfo(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr));
        EXPECT_EQ(length, 5u);
        // Text: the size asked for includes the terminating NUL, in bytes.
        size = 2;
        char16_t text[64];
        EXPECT_FALSE(HttpQueryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(size, 4u);
        size = sizeof(text);
        ASSERT_TRUE(HttpQueryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
        EXPECT_EQ(QString::fromUtf16(text), QStringLiteral("5"));
        EXPECT_EQ(size, 2u);
        size = sizeof(text);
        EXPECT_FALSE(HttpQueryInfo(request, HTTP_QUERY_LOCATION, text, &size, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
    };
    EXPECT_EQ(Fetch(session.handle, recorder, options).error, 0u);
}

TEST_F(InternetTest, RequestCarriesTheHeadersTheCallerSet)
{
    PeerProcess server({ "http", "A" });
    Session session;
    Recorder recorder;
    FetchOptions options;
    options.port = server.Port();
    options.object = QStringLiteral("/whoami");
    options.prepare = [](HINTERNET request) {
        const DWORD addReplace = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;
        EXPECT_TRUE(HttpAddRequestHeaders(
            request, u"If-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT\r\n", DWORD(-1), addReplace));
        EXPECT_TRUE(HttpAddRequestHeaders(
            request, u"If-Modified-Since: Sun, 02 Jan 2000 00:00:00 GMT\r\n", DWORD(-1), addReplace));
        EXPECT_FALSE(
            HttpAddRequestHeaders(request, u"If-Modified-Since: x\r\n", DWORD(-1), HTTP_ADDREQ_FLAG_ADD_IF_NEW));
        EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_ALREADY_EXISTS);
        EXPECT_FALSE(HttpAddRequestHeaders(request, u"X-Absent: x\r\n", DWORD(-1), HTTP_ADDREQ_FLAG_REPLACE));
        EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
        EXPECT_FALSE(HttpAddRequestHeaders(request, u"no colon here\r\n", DWORD(-1), HTTP_ADDREQ_FLAG_ADD));
        EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_HEADER);
    };
    const FetchResult result = Fetch(session.handle, recorder, options);
    ASSERT_EQ(result.error, 0u);
    const QByteArray body = result.Body();
    EXPECT_TRUE(body.contains("\nIf-Modified-Since: Sun, 02 Jan 2000 00:00:00 GMT\n")) << body.toStdString();
    EXPECT_EQ(body.count("If-Modified-Since"), 1);
    EXPECT_TRUE(body.contains("\nAccept: text/*\n"));
    EXPECT_TRUE(body.contains("\nPragma: no-cache\n"));
    EXPECT_TRUE(body.contains("\nUser-Agent: TaluvoTest\n"));
    EXPECT_FALSE(body.contains("Accept-Encoding"));
}

TEST_F(InternetTest, FailuresGiveTheirWinInetNumbers)
{
    PeerProcess silent({ "silent" });
    PeerProcess garbage({ "garbage" });
    PeerProcess server({ "http", "A" });
    PeerProcess full({ "full" });
    struct Case {
        const char* name;
        QString host;
        int port;
        const char* object;
        DWORD error;
    };
    const Case cases[] = {
        { "refused", QStringLiteral("127.0.0.1"), RefusedPort(), "/", ERROR_INTERNET_CANNOT_CONNECT },
        // A label longer than 63 characters: the resolver refuses it without asking any name server.
        { "unresolvable", QString(64, QLatin1Char('a')) + QStringLiteral(".invalid"), 80, "/",
            ERROR_INTERNET_NAME_NOT_RESOLVED },
        { "not http", QStringLiteral("127.0.0.1"), garbage.Port(), "/", ERROR_HTTP_INVALID_SERVER_RESPONSE },
        { "no answer", QStringLiteral("127.0.0.1"), silent.Port(), "/", ERROR_INTERNET_TIMEOUT },
        { "body stops", QStringLiteral("127.0.0.1"), server.Port(), "/stall", ERROR_INTERNET_TIMEOUT },
        { "connect never completes", QStringLiteral("127.0.0.1"), full.Port(), "/", ERROR_INTERNET_TIMEOUT },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        SetTimeout(session.handle, INTERNET_OPTION_RECEIVE_TIMEOUT, 300);
        SetTimeout(session.handle, INTERNET_OPTION_CONNECT_TIMEOUT, 300);
        Recorder recorder;
        FetchOptions options;
        options.host = c.host;
        options.port = c.port;
        options.object = QString::fromLatin1(c.object);
        // The silent peers never end a request themselves: a time-out error shows the layer's own
        // time-out ended it.
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, c.error);
    }
}

TEST(InternetErrors, EveryNumberTheLayerGivesHasItsText)
{
    for (DWORD code : { ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_INVALID_URL, ERROR_INTERNET_UNRECOGNIZED_SCHEME,
             ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_INVALID_OPTION, ERROR_INTERNET_BAD_OPTION_LENGTH,
             ERROR_INTERNET_OPERATION_CANCELLED, ERROR_INTERNET_INCORRECT_HANDLE_TYPE,
             ERROR_INTERNET_INCORRECT_HANDLE_STATE, ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
             ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID,
             ERROR_INTERNET_INVALID_CA, ERROR_HTTP_HEADER_NOT_FOUND, ERROR_HTTP_INVALID_SERVER_RESPONSE,
             ERROR_HTTP_INVALID_HEADER, ERROR_HTTP_INVALID_QUERY_REQUEST, ERROR_HTTP_HEADER_ALREADY_EXISTS,
             ERROR_HTTP_REDIRECT_FAILED, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE,
             ERROR_INTERNET_SEC_CERT_REVOKED }) {
        EXPECT_TRUE(taluvo::ModuleErrorMessage(QStringLiteral("wininet.dll"), code).has_value()) << code;
    }
}

TEST_F(InternetTest, CertificatesAreCheckedAgainstTheTrustedStore)
{
    TempDir dir;
    const TestCertificate good = MakeCertificate(dir.Path(), "good", "DNS:localhost,IP:127.0.0.1");
    const TestCertificate other = MakeCertificate(dir.Path(), "other", "DNS:elsewhere.test");
    PeerProcess goodServer({ "https", "S", good.cert, good.key });
    PeerProcess otherServer({ "https", "S", other.cert, other.key });
    const QString bundle = QString::fromStdString(dir.File("bundle.pem"));
    WriteFile(bundle.toStdString(), ReadFile(good.cert) + ReadFile(other.cert));
    struct Case {
        const char* name;
        QString caFile;
        int port;
        DWORD error;
    };
    const Case cases[] = {
        { "trusted", bundle, goodServer.Port(), 0 },
        { "system store only", QString(), goodServer.Port(), ERROR_INTERNET_INVALID_CA },
        { "wrong name", bundle, otherServer.Port(), ERROR_INTERNET_SEC_CERT_CN_INVALID },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        taluvo::inet::SetCaFile(c.caFile);
        Session session;
        Recorder recorder;
        FetchOptions options;
        options.port = c.port;
        options.secure = true;
        options.object = QStringLiteral("/body?size=5000");
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, c.error);
        if (c.error == 0) {
            EXPECT_EQ(result.Body(), Pattern(5000));
        }
    }
}

TEST_F(InternetTest, ClosingFromAnotherThreadEndsABlockedStepAtOnce)
{
    PeerProcess silent({ "silent" });
    PeerProcess server({ "http", "A" });
    struct Case {
        const char* name;
        int port;
        const char* object;
        bool blockInRead;
    };
    for (const Case& c : { Case { "waiting for the response", silent.Port(), "/", false },
             Case { "waiting for the body", server.Port(), "/stall", true } }) {
        SCOPED_TRACE(c.name);
        Session session;
        Recorder recorder;
        const auto context = reinterpret_cast<DWORD_PTR>(&recorder);
        HINTERNET connect = InternetConnect(session.handle, u"127.0.0.1", static_cast<INTERNET_PORT>(c.port), nullptr,
            nullptr, INTERNET_SERVICE_HTTP, 0, context);
        ASSERT_NE(connect, nullptr);
        const QString object = QString::fromLatin1(c.object);
        HINTERNET request = HttpOpenRequest(
            connect, u"GET", reinterpret_cast<LPCWSTR>(object.utf16()), nullptr, nullptr, nullptr, 0, context);
        ASSERT_NE(request, nullptr);
        INTERNET_ASYNC_RESULT done {};
        ASSERT_FALSE(HttpSendRequestEx(request, nullptr, nullptr, HSR_ASYNC, context));
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_TRUE(recorder.WaitCompletion(done));
        ASSERT_EQ(done.dwError, 0u);
        ASSERT_FALSE(HttpEndRequest(request, nullptr, HSR_ASYNC | HSR_INITIATE, context));
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        if (c.blockInRead) {
            ASSERT_TRUE(recorder.WaitCompletion(done));
            ASSERT_EQ(done.dwError, 0u);
            // Ten bytes came, a whole buffer never will: the read waits.
            char buffer[4095];
            INTERNET_BUFFERSA piece {};
            piece.dwStructSize = sizeof(piece);
            piece.lpvBuffer = buffer;
            piece.dwBufferLength = sizeof(buffer);
            ASSERT_FALSE(InternetReadFileExA(request, &piece, IRF_ASYNC | IRF_NO_WAIT, context));
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        }
        // The server never sends the rest: only the close can end the read.
        std::thread closer([&] {
            InternetCloseHandle(request);
            InternetCloseHandle(connect);
        });
        ASSERT_TRUE(recorder.WaitCompletion(done));
        EXPECT_EQ(done.dwResult, static_cast<DWORD_PTR>(FALSE));
        EXPECT_EQ(done.dwError, ERROR_INTERNET_OPERATION_CANCELLED);
        closer.join();
        // Both handles reported their closing, and nothing came after that (a closing notice that
        // waited for a running notice comes from the thread that gave that notice).
        EXPECT_TRUE(taluvo::inet::WaitForRunningRequests(5000));
        const std::vector<DWORD> statuses = recorder.Statuses();
        ASSERT_GE(statuses.size(), 2u);
        EXPECT_EQ(std::count(statuses.begin(), statuses.end(), INTERNET_STATUS_HANDLE_CLOSING), 2);
        EXPECT_EQ(statuses.back(), INTERNET_STATUS_HANDLE_CLOSING);
        EXPECT_EQ(recorder.Statuses().size(), statuses.size());
        EXPECT_FALSE(InternetCloseHandle(request));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST_F(InternetTest, ProxyIsUsedOnlyAsConfigured)
{
    PeerProcess server({ "http", "A" });
    PeerProcess proxy({ "proxy" });
    const QString proxyList = QStringLiteral("http=127.0.0.1:%1 https=127.0.0.1:%1").arg(proxy.Port());
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    struct Case {
        const char* name;
        DWORD access;
        QString bypass;
        QString host;
        bool environmentProxy;
        bool viaProxy;
    };
    const Case cases[] = {
        { "proxy", INTERNET_OPEN_TYPE_PROXY, {}, QStringLiteral("127.0.0.1"), false, true },
        { "bypassed address", INTERNET_OPEN_TYPE_PROXY, QStringLiteral("www.example.com;127.0.0.*"),
            QStringLiteral("127.0.0.1"), false, false },
        { "<local> name", INTERNET_OPEN_TYPE_PROXY, QStringLiteral("<local>"), QStringLiteral("localhost"), false,
            false },
        { "<local> address", INTERNET_OPEN_TYPE_PROXY, QStringLiteral("<local>"), QStringLiteral("127.0.0.1"), false,
            true },
        { "direct ignores http_proxy", INTERNET_OPEN_TYPE_DIRECT, {}, QStringLiteral("127.0.0.1"), true, false },
        { "system settings take http_proxy", INTERNET_OPEN_TYPE_PRECONFIG, {}, QStringLiteral("127.0.0.1"), true,
            true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.environmentProxy) {
            setenv("http_proxy", proxyUrl.c_str(), 1);
            setenv("HTTP_PROXY", proxyUrl.c_str(), 1);
        } else {
            unsetenv("http_proxy");
            unsetenv("HTTP_PROXY");
        }
        unsetenv("no_proxy");
        unsetenv("NO_PROXY");
        Session session(c.access, c.access == INTERNET_OPEN_TYPE_PROXY ? proxyList : QString(), c.bypass);
        Recorder recorder;
        FetchOptions options;
        options.host = c.host;
        options.port = server.Port();
        options.object = QStringLiteral("/whoami");
        bool sawProxy = false;
        options.inspect = [&](HINTERNET request) {
            char16_t raw[4096];
            DWORD size = sizeof(raw);
            ASSERT_TRUE(HttpQueryInfo(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw, &size, nullptr));
            sawProxy = QString::fromUtf16(raw).contains(QStringLiteral("X-Test-Proxy"));
        };
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, 0u);
        EXPECT_TRUE(result.Body().startsWith("server: A\n"));
        EXPECT_EQ(sawProxy, c.viaProxy);
    }
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");

    // A proxy entry without a usable server fails the addresses it covers instead of sending them
    // out directly; a bypassed address still goes out.
    Session broken(INTERNET_OPEN_TYPE_PROXY, QStringLiteral("http=:8080"), QStringLiteral("localhost"));
    for (const QString& host : { QStringLiteral("127.0.0.1"), QStringLiteral("localhost") }) {
        Recorder recorder;
        FetchOptions options;
        options.host = host;
        options.port = server.Port();
        options.object = QStringLiteral("/whoami");
        const FetchResult result = Fetch(broken.handle, recorder, options);
        EXPECT_EQ(result.error, host == QLatin1String("localhost") ? 0u : ERROR_INTERNET_PROXY_SERVER_UNREACHABLE);
        EXPECT_TRUE(result.sendWasPending);
    }
}

TEST_F(InternetTest, ProxyCredentialsGoToTheProxyOnly)
{
    TempDir dir;
    const TestCertificate cert = MakeCertificate(dir.Path(), "good", "DNS:localhost,IP:127.0.0.1");
    taluvo::inet::SetCaFile(QString::fromStdString(cert.cert));
    PeerProcess server({ "http", "A" });
    PeerProcess secureServer({ "https", "S", cert.cert, cert.key });
    PeerProcess proxy({ "proxy", "user:secret" });
    const QString proxyList = QStringLiteral("http=127.0.0.1:%1 https=127.0.0.1:%1").arg(proxy.Port());
    Session session(INTERNET_OPEN_TYPE_PROXY, proxyList);
    struct Case {
        const char* name;
        bool credentials;
        bool secure;
        DWORD status;
    };
    for (const Case& c : { Case { "without", false, false, 407 }, Case { "with", true, false, 200 },
             Case { "tunnel", true, true, 200 } }) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        FetchOptions options;
        options.port = c.secure ? secureServer.Port() : server.Port();
        options.secure = c.secure;
        options.object = QStringLiteral("/whoami");
        options.prepare = [&](HINTERNET request) {
            if (!c.credentials)
                return;
            EXPECT_TRUE(InternetSetOption(request, INTERNET_OPTION_PROXY_USERNAME, const_cast<char16_t*>(u"user"), 5));
            EXPECT_TRUE(
                InternetSetOption(request, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char16_t*>(u"secret"), 7));
        };
        const FetchResult result = Fetch(session.handle, recorder, options);
        EXPECT_EQ(result.error, 0u);
        EXPECT_EQ(result.statusCode, c.status);
        if (c.status == 200) {
            EXPECT_TRUE(result.Body().startsWith(c.secure ? "server: S\n" : "server: A\n"));
            EXPECT_FALSE(result.Body().contains("Authorization")) << result.Body().toStdString();
        }
    }
}

TEST_F(InternetTest, SiteCredentialsAnswerTheSitesChallenge)
{
    PeerProcess server({ "http", "A" });
    Session session;
    struct Case {
        const char16_t* user;
        const char16_t* password;
        DWORD status;
    };
    for (const Case& c :
        { Case { u"site", u"word", 200 }, Case { u"site", u"wrong", 401 }, Case { nullptr, nullptr, 401 } }) {
        Recorder recorder;
        const auto context = reinterpret_cast<DWORD_PTR>(&recorder);
        HINTERNET connect = InternetConnect(session.handle, u"127.0.0.1", static_cast<INTERNET_PORT>(server.Port()),
            c.user, c.password, INTERNET_SERVICE_HTTP, 0, context);
        HINTERNET request = HttpOpenRequest(connect, u"GET", u"/auth", nullptr, nullptr, nullptr, 0, context);
        INTERNET_ASYNC_RESULT done {};
        ASSERT_FALSE(HttpSendRequestEx(request, nullptr, nullptr, HSR_ASYNC, context));
        ASSERT_TRUE(recorder.WaitCompletion(done));
        ASSERT_FALSE(HttpEndRequest(request, nullptr, HSR_ASYNC | HSR_INITIATE, context));
        ASSERT_TRUE(recorder.WaitCompletion(done));
        EXPECT_EQ(done.dwError, 0u);
        DWORD code = 0, size = sizeof(code);
        ASSERT_TRUE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr));
        EXPECT_EQ(code, c.status);
        InternetCloseHandle(request);
        InternetCloseHandle(connect);
    }
}

TEST_F(InternetTest, SessionWithoutAsyncModeCompletesInTheCall)
{
    PeerProcess server({ "http", "A" });
    HINTERNET session = InternetOpen(u"TaluvoTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    HINTERNET connect = InternetConnect(session, u"127.0.0.1", static_cast<INTERNET_PORT>(server.Port()), nullptr,
        nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequest(connect, u"GET", u"/body?size=5000&chunk=7", nullptr, nullptr, nullptr, 0, 0);
    ASSERT_TRUE(HttpSendRequestEx(request, nullptr, nullptr, 0, 0));
    ASSERT_TRUE(HttpEndRequest(request, nullptr, 0, 0));
    QByteArray body;
    char buffer[1000];
    for (;;) {
        INTERNET_BUFFERSA piece {};
        piece.dwStructSize = sizeof(piece);
        piece.lpvBuffer = buffer;
        piece.dwBufferLength = sizeof(buffer);
        ASSERT_TRUE(InternetReadFileExA(request, &piece, 0, 0));
        if (piece.dwBufferLength == 0)
            break;
        EXPECT_TRUE(piece.dwBufferLength == sizeof(buffer) || body.size() + piece.dwBufferLength == 5000);
        body.append(buffer, piece.dwBufferLength);
    }
    EXPECT_EQ(body, Pattern(5000));
    // Closing the session closes what was opened under it.
    EXPECT_TRUE(InternetCloseHandle(session));
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace

namespace {

std::mutex g_traceLock;
std::vector<std::pair<DWORD, QString>> g_traced;

void RecordTrace(DWORD level, const QString& line)
{
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_traced.emplace_back(level, line);
}

} // namespace

// libcurl's account of a transfer costs a callback for every piece of data: it is asked for only
// while the finest level is traced, and then shows the request that went out.
TEST_F(InternetTest, WireTraceOnlyWhileTheFinestLevelAsks)
{
    PeerProcess server({ "http", "A" });
    Session session;
    const auto fetchTraced = [&](DWORD levels) {
        {
            std::lock_guard<std::mutex> guard(g_traceLock);
            g_traced.clear();
        }
        taluvo::inet::SetTraceSink(&RecordTrace, levels);
        Recorder recorder;
        FetchOptions options;
        options.port = server.Port();
        options.object = QStringLiteral("/body?size=100");
        const FetchResult result = Fetch(session.handle, recorder, options);
        taluvo::inet::SetTraceSink(nullptr, 0);
        EXPECT_EQ(result.error, 0u);
        EXPECT_EQ(result.Body(), Pattern(100));
        std::lock_guard<std::mutex> guard(g_traceLock);
        return g_traced;
    };
    const auto wire = fetchTraced(0x08);
    EXPECT_TRUE(std::any_of(wire.begin(), wire.end(), [](const auto& line) {
        return line.first == 0x08 && line.second.contains(QStringLiteral("> GET /body?size=100 HTTP/1.1"));
    }));
    EXPECT_TRUE(fetchTraced(0x01).empty()); // nothing failed, and no wire trace was asked for
}
