// The page fetch worker against real web servers on loopback: notices in order, and the status,
// error, HTTP code, times and checksum it leaves in the context.
#include "engine/Updater.h"

#include "core/Crc32.h"
#include "core/prefs/Preferences.h"
#include "engine/HttpTexts.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/UserApi.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <vector>

using namespace taluvo::test;

namespace {

struct Outcome {
    int status;
    DWORD error;
    DWORD http;
    DWORD checksum;
    DWORD lastModified;
    DWORD lastChecked;
    QString html;
    std::vector<WORD> states;
    std::vector<LPARAM> notices;
};

class UpdaterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureUiApplication();
        s_dir = new TempDir;
        s_server = new PageServer(*s_dir, "plain");
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }

    void SetUp() override
    {
        m_session = OpenSession(INTERNET_OPEN_TYPE_DIRECT, nullptr);
        m_prefs.GetParam(kSendTimeout)->SetInt(5);
        m_prefs.GetParam(kRecvTimeout)->SetInt(5);
        ASSERT_TRUE(m_window.Create(nullptr));
    }
    void TearDown() override
    {
        InternetCloseHandle(m_session);
        taluvo::inet::WaitForRunningRequests(5000);
    }

    static HINTERNET OpenSession(DWORD access, const char16_t* proxy)
    {
        HINTERNET session = InternetOpen(u"Taluvo", access, proxy, nullptr, INTERNET_FLAG_ASYNC);
        InternetSetStatusCallback(session, &CUpdater::WinInetCallback);
        return session;
    }

    // Runs one check of url; the context starts as a page row with the given stored values.
    Outcome Check(const QString& url, DWORD storedChecksum = kNoChecksum, DWORD storedModified = kNoTime,
        const std::function<void(SPageCtx&)>& whileRunning = {}, HINTERNET session = nullptr)
    {
        SPageCtx ctx;
        ctx.Reset();
        ctx.m_nGroupId = 1;
        ctx.m_nPageId = 2;
        ctx.m_dwCheckSum = storedChecksum;
        ctx.m_tLastModified = storedModified;
        ctx.m_hNotifyWnd = m_window.m_hWnd;
        ResetEvent(m_window.finished);
        ResetEvent(m_window.connected);
        m_window.notices.clear();
        {
            CUpdater updater(session ? session : m_session, &ctx, url, &m_prefs);
            ctx.m_pUpdater = &updater;
            EXPECT_TRUE(updater.Start());
            if (whileRunning)
                whileRunning(ctx);
            EXPECT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 30000), WAIT_OBJECT_0);
            EXPECT_TRUE(updater.Wait(10000));
        }
        return { ctx.m_iStatus, ctx.m_dwErrorCode.load(), ctx.m_dwHttpStatusCode, ctx.m_dwCheckSum, ctx.m_tLastModified,
            ctx.m_tLastChecked, ctx.m_strHtml, m_window.States(), m_window.notices };
    }

    static DWORD ChecksumOfPage(const QString& text)
    {
        // No start or stop text: the part leaves out the last two code units.
        const QByteArray bytes = text.left(text.size() - 2).toUtf8();
        return CCrc32::Of(bytes.constData(), static_cast<size_t>(bytes.size()));
    }

    static inline TempDir* s_dir = nullptr;
    static inline PageServer* s_server = nullptr;
    HINTERNET m_session = nullptr;
    CPreferences m_prefs;
    CNotifyWindow m_window;
};

TEST_F(UpdaterTest, FirstUnchangedAndChangedChecks)
{
    const QString body = QStringLiteral("<html>Hello, watched page</html>");
    s_server->SetRoutes({ { QStringLiteral("/p"), Page(body) } });
    const auto before = static_cast<DWORD>(taluvo::UnixTimeNow());
    const Outcome first = Check(s_server->Url(QStringLiteral("/p")));
    EXPECT_EQ(first.status, statusOrdinary);
    EXPECT_EQ(first.error, 0u);
    EXPECT_EQ(first.http, 200u);
    EXPECT_EQ(first.checksum, ChecksumOfPage(body));
    EXPECT_EQ(first.html, body);
    EXPECT_GE(first.lastChecked, before);
    EXPECT_EQ(first.lastModified, kNoTime); // no Last-Modified: the stored value stays
    // Resolving (synthesised for an address literal), connecting, reading, finished, in order.
    EXPECT_EQ(first.states,
        (std::vector<WORD> {
            stateResolvingName, stateNameResolved, stateConnecting, stateConnected, stateReadingData, stateFinished }));
    // Progress with a Content-Length is a percentage with bit 15 set.
    for (LPARAM n : first.notices) {
        if (LOWORD(n) == stateReadingData) {
            EXPECT_EQ(HIWORD(n), 0x8000 | 100);
        }
    }

    const Outcome same = Check(s_server->Url(QStringLiteral("/p")), first.checksum);
    EXPECT_EQ(same.status, statusOrdinary);
    EXPECT_EQ(same.checksum, first.checksum);

    s_server->SetRoutes({ { QStringLiteral("/p"), Page(body + QStringLiteral("<p>news</p>")) } });
    const Outcome changed = Check(s_server->Url(QStringLiteral("/p")), first.checksum);
    EXPECT_EQ(changed.status, statusNew);
    EXPECT_NE(changed.checksum, first.checksum);
}

TEST_F(UpdaterTest, IfModifiedSinceAnd304)
{
    m_prefs.GetParam(kUseHeadersData)->SetBool(true);
    QJsonObject page = Page(QStringLiteral("content"));
    page[QStringLiteral("not_modified_since")] = true;
    s_server->SetRoutes({ { QStringLiteral("/m"), page } });
    const DWORD stored = 1782907200; // Wed, 01 Jul 2026 12:00:00 GMT
    const Outcome result = Check(s_server->Url(QStringLiteral("/m")), 0x12345678, stored);
    EXPECT_EQ(result.status, statusOrdinary);
    EXPECT_EQ(result.http, 304u);
    EXPECT_EQ(result.checksum, 0x12345678u);
    const auto requests = s_server->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back()[QStringLiteral("headers")].toObject()[QStringLiteral("If-Modified-Since")].toString(),
        QStringLiteral("Wed, 01 Jul 2026 12:00:00 GMT"));
}

TEST_F(UpdaterTest, LastModifiedIsReadAsGmt)
{
    QJsonObject page = Page(QStringLiteral("dated page"));
    page[QStringLiteral("headers")]
        = QJsonObject { { QStringLiteral("Last-Modified"), QStringLiteral("Wed, 01 Jul 2026 12:00:00 GMT") } };
    s_server->SetRoutes({ { QStringLiteral("/d"), page } });
    setenv("TZ", "Europe/Berlin", 1); // summer time there: a local round trip would be an hour off
    tzset();
    const Outcome result = Check(s_server->Url(QStringLiteral("/d")));
    unsetenv("TZ");
    tzset();
    EXPECT_EQ(result.lastModified, 1782907200u);
}

TEST_F(UpdaterTest, HttpStatusesAreNotErrors)
{
    QJsonObject redirect = Page(QString(), 302);
    redirect[QStringLiteral("redirect")] = QStringLiteral("/target");
    s_server->SetRoutes({ { QStringLiteral("/moved"), redirect },
        { QStringLiteral("/target"), Page(QStringLiteral("the target page")) },
        { QStringLiteral("/empty"), Page(QString()) } });
    const Outcome missing = Check(s_server->Url(QStringLiteral("/nowhere")), 0xABCDu);
    EXPECT_EQ(missing.status, statusOrdinary);
    EXPECT_EQ(missing.http, 404u);
    EXPECT_EQ(missing.error, 0u);
    EXPECT_EQ(missing.checksum, 0xABCDu);

    const Outcome moved = Check(s_server->Url(QStringLiteral("/moved")));
    EXPECT_EQ(moved.http, 200u);
    EXPECT_EQ(moved.html, QStringLiteral("the target page"));
    EXPECT_EQ(moved.checksum, ChecksumOfPage(QStringLiteral("the target page")));

    const Outcome empty = Check(s_server->Url(QStringLiteral("/empty")), 0x777u);
    EXPECT_EQ(empty.status, statusOrdinary);
    EXPECT_EQ(empty.http, 200u);
    EXPECT_EQ(empty.checksum, 0x777u);
}

TEST_F(UpdaterTest, BodiesAreDecodedAsOneStream)
{
    // A zero byte ends its piece's text.
    QJsonObject zero;
    zero[QStringLiteral("body_hex")] = QStringLiteral("6162006364");
    // A two-byte character across the boundary of the first 4095-byte read piece.
    const QString straddling = QString(4094, QLatin1Char('a')) + QStringLiteral("\u00E9 and more \u20AC text");
    QJsonObject oneByte = Page(straddling);
    oneByte[QStringLiteral("one_byte_writes")] = true;
    s_server->SetRoutes({ { QStringLiteral("/zero"), zero }, { QStringLiteral("/straddle"), Page(straddling) },
        { QStringLiteral("/straddle-bytes"), oneByte } });
    EXPECT_EQ(Check(s_server->Url(QStringLiteral("/zero"))).html, QStringLiteral("ab"));
    const Outcome whole = Check(s_server->Url(QStringLiteral("/straddle")));
    EXPECT_EQ(whole.html, straddling);
    const Outcome bytes = Check(s_server->Url(QStringLiteral("/straddle-bytes")));
    EXPECT_EQ(bytes.html, straddling);
    EXPECT_EQ(bytes.checksum, whole.checksum);
    EXPECT_EQ(whole.checksum, ChecksumOfPage(straddling));
}

// Checks one after another reuse the room of the texts before them: a text still held (as a dialog
// holds the page it shows) must stay as it was, and a shorter page must show nothing of a longer
// one before it, whatever sizes follow each other.
TEST_F(UpdaterTest, TextsOfChecksInTurnNeverShowThroughEachOther)
{
    const auto pageOf = [](int size, QChar fill) {
        QString text = QStringLiteral("<html>");
        text += QString(size, fill);
        return text + QStringLiteral("</html>");
    };
    const std::vector<QString> bodies
        = { pageOf(300 * 1024, QLatin1Char('a')), pageOf(100, QLatin1Char('b')), pageOf(90 * 1024, QLatin1Char('c')),
              pageOf(5 * 1024 * 1024, QLatin1Char('d')), pageOf(30 * 1024, QLatin1Char('e')) };
    QJsonObject routes;
    for (size_t i = 0; i < bodies.size(); ++i)
        routes[QStringLiteral("/size%1").arg(i)] = Page(bodies[i]);
    s_server->SetRoutes(routes);
    std::vector<Outcome> held;
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < bodies.size(); ++i) {
            SCOPED_TRACE(i);
            held.push_back(Check(s_server->Url(QStringLiteral("/size%1").arg(i))));
            EXPECT_EQ(held.back().html, bodies[i]);
            EXPECT_EQ(held.back().checksum, ChecksumOfPage(bodies[i]));
        }
    }
    for (size_t i = 0; i < held.size(); ++i)
        EXPECT_EQ(held[i].html, bodies[i % bodies.size()]) << "held text " << i;
}

// The body is taken in pieces of 4,095 bytes, and a zero byte ends the text of its own piece only:
// the text and checksum must come out as from reads of exactly that size, whatever size the reads
// have and wherever the network cut the body.
TEST_F(UpdaterTest, ZeroBytesEndOnlyTheirPiece)
{
    constexpr qsizetype kPiece = 4095;
    // The text as piece-by-piece reads of kPiece bytes make it.
    const auto textOfPieces = [](const QByteArray& body) {
        taluvo::CAnsiStreamDecoder decoder;
        QString text;
        for (qsizetype at = 0; at < body.size(); at += kPiece) {
            const QByteArray piece = body.mid(at, kPiece);
            const qsizetype zero = piece.indexOf('\0');
            text += decoder.Feed(zero < 0 ? piece : piece.left(zero));
            if (zero >= 0)
                text += decoder.Finish();
        }
        return text + decoder.Finish();
    };
    const auto filled = [](qsizetype size, const QByteArray& unit) {
        QByteArray bytes;
        while (bytes.size() < size)
            bytes += unit;
        bytes.truncate(size);
        return bytes;
    };
    // Zero bytes every so often over several reads' worth, with characters of two to four bytes
    // falling across piece borders.
    QByteArray scattered = filled(kPiece * 16 * 3 + 777,
        QByteArray("ab\xC3\xA9"
                   "cd\xE2\x82\xAC"
                   "e\xF0\x9F\x98\x80"));
    for (qsizetype at = 1000; at < scattered.size(); at += 1733)
        scattered[at] = '\0';
    struct Case {
        const char* name;
        QByteArray body;
        bool byteByByte; // the server writes one byte at a time
    };
    const Case cases[] = {
        { "zero ends the first piece", filled(kPiece - 1, "a") + QByteArray(1, '\0') + filled(5000, "b"), false },
        { "zero starts the second piece", filled(kPiece, "a") + QByteArray("\0xyz", 4) + filled(9000, "c"), false },
        { "character across the border, then zero",
            filled(kPiece - 1, "a") + "\xC3\xA9" + QByteArray(1, '\0') + filled(kPiece, "d") + "tail", false },
        { "zero cuts a character short", filled(100, "a") + "\xE2\x82" + QByteArray(1, '\0') + filled(8000, "e"),
            false },
        { "zeros around the border of sixteen pieces",
            filled(16 * kPiece - 2, "f") + QByteArray("\0\xE2\x82\xAC\0", 5) + filled(2 * kPiece + 1234, "g"), true },
        { "scattered zeros", scattered, false },
        { "sixteen whole pieces, no zero", filled(16 * kPiece, "h\xC3\xA9"), false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString expected = textOfPieces(c.body);
        const QByteArray part = taluvo::AnsiEncode(QStringView(expected).left(expected.size() - 2));
        const DWORD checksum = CCrc32::Of(part.constData(), static_cast<size_t>(part.size()));
        const qsizetype pieces = (c.body.size() + kPiece - 1) / kPiece;
        for (const bool announced : { true, false }) {
            SCOPED_TRACE(announced ? "with Content-Length" : "without Content-Length");
            QJsonObject route { { QStringLiteral("body_hex"), QString::fromLatin1(c.body.toHex()) } };
            route[QStringLiteral("one_byte_writes")] = c.byteByByte;
            route[QStringLiteral("no_length")] = !announced;
            s_server->SetRoutes({ { QStringLiteral("/z"), route } });
            const Outcome result = Check(s_server->Url(QStringLiteral("/z")));
            EXPECT_EQ(result.http, 200u);
            EXPECT_EQ(result.html, expected);
            EXPECT_EQ(result.checksum, checksum);
            // One progress notice for each read, which takes whole pieces: at most one for every
            // piece, and the last says where the whole text ended.
            const auto reading = std::count_if(
                result.notices.begin(), result.notices.end(), [](LPARAM n) { return LOWORD(n) == stateReadingData; });
            EXPECT_GE(reading, 1);
            EXPECT_LE(reading, pieces);
            const auto last = std::find_if(
                result.notices.rbegin(), result.notices.rend(), [](LPARAM n) { return LOWORD(n) == stateReadingData; });
            ASSERT_NE(last, result.notices.rend());
            EXPECT_EQ(*last, ReadingNotice(expected.size(), announced ? static_cast<DWORD>(c.body.size()) : 0));
        }
    }
}

TEST_F(UpdaterTest, FailuresEndAsErrors)
{
    // A server that takes the request and never answers: the send time-out ends the wait for the
    // answer. The receive time-out is far beyond the test's own limit, so a wait bound by anything
    // else never ends and the test fails on its limit.
    m_prefs.GetParam(kSendTimeout)->SetInt(1);
    m_prefs.GetParam(kRecvTimeout)->SetInt(3600);
    QJsonObject hang;
    hang[QStringLiteral("hang")] = true;
    s_server->SetRoutes({ { QStringLiteral("/hang"), hang } });

    // Each failure ends the check at the step it happened in: the states shown stop there and the
    // last one is always "finished", so the window never keeps a check that looks under way.
    const std::vector<WORD> toConnected { stateResolvingName, stateNameResolved, stateConnecting, stateConnected,
        stateFinished };
    const std::vector<WORD> toConnecting { stateResolvingName, stateNameResolved, stateConnecting, stateFinished };
    const std::vector<WORD> atName { stateResolvingName, stateFinished };
    const std::vector<WORD> none { stateFinished };
    const struct {
        const char* what;
        QString url;
        DWORD error;
        std::vector<WORD> states;
    } cases[] = {
        { "silent server", s_server->Url(QStringLiteral("/hang")), 12002u, toConnected },
        // Port 1 (tcpmux): no service of this machine listens there, so the connection is refused.
        { "refused", QStringLiteral("http://127.0.0.1:1/"), 12029u, toConnecting },
        { "unresolvable", QStringLiteral("http://%1.invalid/").arg(QString(63, QLatin1Char('n'))), 12007u, atName },
        { "no address", QStringLiteral("no address at all"), 12005u, none },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = Check(c.url, 0x55u);
        EXPECT_EQ(outcome.status, statusError);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.http, 0u);
        EXPECT_EQ(outcome.checksum, 0x55u); // the stored checksum stays for the next check
        EXPECT_EQ(outcome.states, c.states);
    }
}

TEST_F(UpdaterTest, EndlessAndDrippingBodiesEndAtTheCheckLimits)
{
    m_prefs.GetParam(kConnectTimeout)->SetInt(1);
    m_prefs.GetParam(kSendTimeout)->SetInt(1);
    QJsonObject endless { { QStringLiteral("endless"), true },
        { QStringLiteral("headers"),
            QJsonObject { { QStringLiteral("Content-Length"), QStringLiteral("2147483648") } } } };
    // One byte well within the receive time-out each time: only the check's whole budget
    // (1 + 1 + 4 x 2 seconds) ends it; the server would go on for minutes.
    QJsonObject dripping { { QStringLiteral("drip"), 0.25 }, { QStringLiteral("drip_bytes"), 1000 } };
    s_server->SetRoutes({ { QStringLiteral("/endless"), endless }, { QStringLiteral("/drip"), dripping },
        { QStringLiteral("/next"), Page(QStringLiteral("<p>next page</p>")) } });

    CTraceCapture trace(*s_dir, "CUpdater=15");
    // Budget enough for 16 MB on a loaded machine: the size ends this one.
    m_prefs.GetParam(kRecvTimeout)->SetInt(10);
    const Outcome huge = Check(s_server->Url(QStringLiteral("/endless")), 0x55u);
    EXPECT_EQ(huge.status, statusError);
    EXPECT_EQ(huge.error, ERROR_PAGE_TOO_LARGE);
    EXPECT_EQ(huge.http, 0u);
    EXPECT_TRUE(huge.html.isEmpty()); // nothing of the 16 MB is kept
    EXPECT_EQ(huge.checksum, 0x55u);
    EXPECT_EQ(huge.states.back(), stateFinished);
    // The announced length is traced as the server wrote it, not as a negative number.
    trace.Expect("Content length: 2147483648.");

    m_prefs.GetParam(kRecvTimeout)->SetInt(2);
    const Outcome drip = Check(s_server->Url(QStringLiteral("/drip")), 0x55u);
    EXPECT_EQ(drip.status, statusError);
    EXPECT_EQ(drip.error, ERROR_CHECK_TOO_LONG);
    EXPECT_TRUE(drip.html.isEmpty());
    EXPECT_EQ(drip.checksum, 0x55u);
    EXPECT_EQ(drip.states.back(), stateFinished);

    EXPECT_NE(GetInternetErrorText(ERROR_PAGE_TOO_LARGE), GetInternetErrorText(ERROR_INTERNET_TIMEOUT));
    EXPECT_NE(GetInternetErrorText(ERROR_CHECK_TOO_LONG), GetInternetErrorText(ERROR_INTERNET_TIMEOUT));

    // The worker is free for the next page at once.
    const Outcome next = Check(s_server->Url(QStringLiteral("/next")));
    EXPECT_EQ(next.status, statusOrdinary);
    EXPECT_EQ(next.html, QStringLiteral("<p>next page</p>"));
}

TEST_F(UpdaterTest, CancelEndsWith1223)
{
    QJsonObject hang;
    hang[QStringLiteral("hang")] = true;
    s_server->SetRoutes({ { QStringLiteral("/hang"), hang } });
    const Outcome cancelled
        = Check(s_server->Url(QStringLiteral("/hang")), kNoChecksum, kNoTime, [this](SPageCtx& ctx) {
              // Once the fetch is under way, cancel as a check's owner does it: ask the worker,
              // wake its wait.
              ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.connected, 10000), WAIT_OBJECT_0);
              ASSERT_TRUE(ctx.m_pUpdater->AskCancel());
              SetEvent(ctx.m_hSignalEvent);
          });
    EXPECT_EQ(cancelled.status, statusError);
    EXPECT_EQ(cancelled.error, 1223u);
}

// The connection states reach the window in their order, all of them: a quick check hands them
// over with its next notice, and a step that takes long (a server that never answers) shows them
// while it still waits.
TEST_F(UpdaterTest, ConnectionStatesReachTheWindowWhileAStepWaits)
{
    QJsonObject hang;
    hang[QStringLiteral("hang")] = true;
    s_server->SetRoutes({ { QStringLiteral("/hang"), hang } });
    std::vector<LPARAM> whileWaiting;
    const Outcome cancelled = Check(s_server->Url(QStringLiteral("/hang")), kNoChecksum, kNoTime, [&](SPageCtx& ctx) {
        ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.connected, 10000), WAIT_OBJECT_0);
        whileWaiting = m_window.notices;
        ASSERT_TRUE(ctx.m_pUpdater->AskCancel());
        SetEvent(ctx.m_hSignalEvent);
    });
    const std::vector<LPARAM> connection { StateNotice(stateResolvingName), StateNotice(stateNameResolved),
        StateNotice(stateConnecting), StateNotice(stateConnected) };
    EXPECT_EQ(whileWaiting, connection);
    std::vector<LPARAM> all = connection;
    all.push_back(StateNotice(stateFinished));
    EXPECT_EQ(cancelled.notices, all);
    EXPECT_EQ(cancelled.error, 1223u);
}

TEST_F(UpdaterTest, ProxyCredentialsGoToTheProxyOnly)
{
    s_server->SetRoutes({ { QStringLiteral("__proxy_auth__"), QStringLiteral("puser:ppass") },
        { QStringLiteral("/via"), Page(QStringLiteral("through the proxy")) } });
    m_prefs.GetParam(kUseProxy)->SetBool(true);
    m_prefs.GetParam(kProxyUserName)->SetString(QStringLiteral("puser"));
    m_prefs.GetParam(kProxyPassword)->SetString(QStringLiteral("ppass"));
    const QString proxy = QStringLiteral("127.0.0.1:%1").arg(s_server->Port());
    HINTERNET session = OpenSession(INTERNET_OPEN_TYPE_PROXY, reinterpret_cast<const char16_t*>(proxy.utf16()));
    // The page's host is a name only the proxy knows how to reach.
    const Outcome result = Check(QStringLiteral("http://watched.example:8123/via"), kNoChecksum, kNoTime, {}, session);
    InternetCloseHandle(session);
    EXPECT_EQ(result.http, 200u);
    EXPECT_EQ(result.html, QStringLiteral("through the proxy"));
    bool sawProxyAuth = false;
    for (const QJsonObject& request : s_server->Requests()) {
        const QJsonObject headers = request[QStringLiteral("headers")].toObject();
        EXPECT_FALSE(headers.contains(QStringLiteral("Authorization")))
            << request[QStringLiteral("line")].toString().toStdString();
        sawProxyAuth = sawProxyAuth || headers.contains(QStringLiteral("Proxy-Authorization"));
    }
    EXPECT_TRUE(sawProxyAuth);
}

TEST_F(UpdaterTest, HttpsPages)
{
    PageServer tls(*s_dir, "tls", true);
    taluvo::inet::SetCaFile(QString::fromStdString(tls.Cert()));
    tls.SetRoutes({ { QStringLiteral("/s"), Page(QStringLiteral("secure page body")) } });
    const Outcome result = Check(tls.Url(QStringLiteral("/s"), true));
    taluvo::inet::SetCaFile(QString());
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(result.http, 200u);
    EXPECT_EQ(result.checksum, ChecksumOfPage(QStringLiteral("secure page body")));
}

TEST_F(UpdaterTest, ConstructorRefusesBadArguments)
{
    SPageCtx ctx;
    ctx.Reset();
    ctx.m_hNotifyWnd = m_window.m_hWnd;
    EXPECT_THROW(CUpdater(m_session, nullptr, QStringLiteral("http://a/"), &m_prefs), CFailException);
    EXPECT_THROW(CUpdater(m_session, &ctx, QString(), &m_prefs), CFailException);
    try {
        CUpdater updater(m_session, &ctx, QString(2085, QLatin1Char('a')), &m_prefs);
        FAIL();
    } catch (CFailException& e) {
        EXPECT_EQ(e.GetShortText(), QStringLiteral("Incorrect length of url."));
    }
    EXPECT_NO_THROW(CUpdater(m_session, &ctx, QStringLiteral("http://a/") + QString(2075, QLatin1Char('b')), &m_prefs));
    ctx.m_hNotifyWnd = nullptr;
    EXPECT_THROW(CUpdater(m_session, &ctx, QStringLiteral("http://a/"), &m_prefs), CFailException);
}

TEST(ReadingNotice, ProgressIsAWholePercentCutTo16BitsOrKilobytes)
{
    struct Case {
        int64_t units;
        DWORD length;
        bool percent;
        int amount; // as the receiver reads it: 15 bits of a percentage
    };
    const Case cases[] = {
        { 0, 1000, true, 0 },
        { 29, 100, true, 29 }, // whole numbers: no 28.999... cut to 28
        { 1000, 1000, true, 100 },
        { 2500, 1000, true, 250 },
        // A body far longer than announced: the percentage is cut to 16 bits, whose top bit the
        // mark then takes.
        { 70000, 100, true, 70000 & 0x7FFF },
        { 3'000'000'000, 1, true, static_cast<int>((300'000'000'000 & 0xFFFF) & 0x7FFF) },
        { INT64_MAX, 1, true, static_cast<int>((static_cast<uint64_t>(INT64_MAX) * 100) & 0x7FFF) },
        { 1023, 0, false, 0 },
        { 5 * 1024 + 1, 0, false, 5 },
        { int64_t { 70000 } * 1024, 0, false, 70000 & 0xFFFF },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.units << " of " << c.length);
        const SCheckNotice notice = ReadNotice(ReadingNotice(c.units, c.length));
        EXPECT_EQ(notice.state, stateReadingData);
        EXPECT_EQ(notice.percent, c.percent);
        EXPECT_EQ(notice.amount, c.amount);
    }
}

} // namespace
