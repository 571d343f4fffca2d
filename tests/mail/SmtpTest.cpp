#include "mail/Smtp.h"

#include "platform/base/TextCodec.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using mailtest::ScriptedServer;
using mailtest::ScriptPeer;

namespace {

// Records every hook call.
class CRecordingSmtp : public CSmtp {
public:
    struct Call {
        char kind; // 'W' warning, 'E' error
        int code;
        QString text;
    };
    std::vector<Call> calls;
    std::vector<std::pair<QString, int>> responses; // command (null: greeting) and code
    int loginRetries = 0; // TRUE answers to a 535 warning
    bool abortSend = false;
    int progressCalls = 0;
    QByteArray lastCommand; // the bytes of the last long command, as OnSendProgress saw them

    ~CRecordingSmtp() override { Disconnect(); }

    int Errors(int code) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.kind == 'E' && c.code == code;
        return n;
    }
    int Warnings(int code) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.kind == 'W' && c.code == code;
        return n;
    }

protected:
    BOOL OnWarning(int code, const QString& text) override
    {
        calls.push_back({ 'W', code, text });
        if (code == 535 && loginRetries > 0) {
            --loginRetries;
            return TRUE;
        }
        return FALSE;
    }
    BOOL OnError(int code, const QString& text) override
    {
        calls.push_back({ 'E', code, text });
        return FALSE;
    }
    void OnCommandResponse(const QString& command, int code, const QString&) override
    {
        responses.emplace_back(command, code);
    }
    BOOL OnSendProgress(const char* bytes, DWORD sent, DWORD total) override
    {
        ++progressCalls;
        if (sent == total)
            lastCommand = QByteArray(bytes, static_cast<qsizetype>(total));
        return abortSend ? FALSE : TRUE;
    }
};

void UsePort(CSmtp& client, uint16_t port, int timeout = 5)
{
    client.m_nPort = htons(port);
    client.m_nConnectTimeout = client.m_nSendTimeout = client.m_nRecvTimeout = timeout;
}

CSmtpMsg Message(const QString& to, const QStringList& cc = {}, const QStringList& bcc = {})
{
    CSmtpMsg message;
    message.m_from = CSmtpMsgAddress(u"sender@example.com", u"Taluvo");
    message.m_to = CSmtpMsgAddress(to, QStringLiteral("Primary"));
    for (const QString& a : cc)
        message.m_cc.push_back(CSmtpMsgAddress(a));
    for (const QString& a : bcc)
        message.m_bcc.push_back(CSmtpMsgAddress(a));
    message.m_strSubject = QStringLiteral("Page is updated.");
    message.m_bodies.push_back(
        CSmtpMsgBody(u"Page \"http://example.com/\" was updated.", u"text/plain", u"iso-8859-1"));
    return message;
}

// The message text inside a DATA command: transparency undone, terminator removed.
QByteArray Unstuffed(QByteArray command)
{
    EXPECT_TRUE(command.endsWith("\r\n.\r\n"));
    command.chop(3);
    if (command.startsWith(".."))
        command.remove(0, 1);
    return command.replace("\r\n..", "\r\n.");
}

void Greet(ScriptPeer& peer)
{
    peer.Send("220 scripted ESMTP\r\n");
    peer.ReadLine(); // EHLO
    peer.Send("250 scripted\r\n");
}

std::vector<std::string> Commands(const std::vector<std::string>& lines)
{
    std::vector<std::string> verbs;
    verbs.reserve(lines.size());
    for (const std::string& line : lines)

        verbs.push_back(line.substr(0, line.find(' ')));
    return verbs;
}

} // namespace

TEST(Smtp, DeliversWholeMessagesToEveryRecipient)
{
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    CRecordingSmtp client;
    UsePort(client, server.Port());
    ASSERT_TRUE(client.Connect(QStringLiteral("localhost")));
    EXPECT_TRUE(client.IsConnected());
    EXPECT_TRUE(client.IsEsmtp());

    // A long body with lines that begin with a period, so transparency and pieces both matter.
    CSmtpMsg message = Message("to@example.com", { "cc1@example.com", "cc2@example.com" }, { "bcc@example.com" });
    QString body;
    for (int i = 0; i < 60; ++i)
        body += QStringLiteral(".line %1 of the message\r\n").arg(i);
    body += QStringLiteral(".\r\n..\r\nend\r\n");
    message.m_bodies[0] = body;
    CSmtpMsg copy = message;
    QString rendered;
    ASSERT_TRUE(copy.Render(rendered));
    ASSERT_EQ(client.SendMessage(message), 0);
    EXPECT_GT(client.progressCalls, 1);

    // A second message on the same connection, with an attachment.
    taluvo::test::TempDir dir;
    taluvo::test::WriteFile(dir.File("data.bin"), std::string(3000, '\x01'));
    CSmtpMsg second = Message("to@example.com");
    second.m_attachments.push_back(
        CSmtpMsgAttachment(reinterpret_cast<const char16_t*>(QString::fromStdString(dir.File("data.bin")).utf16())));
    ASSERT_EQ(client.SendMessage(second), 0);
    const QByteArray secondSent = Unstuffed(client.lastCommand);
    client.Disconnect();
    EXPECT_FALSE(client.IsConnected());
    EXPECT_TRUE(client.calls.empty());
    EXPECT_EQ(client.responses.back(), std::make_pair(QStringLiteral("QUIT\r\n"), 221));

    const auto received = server.Messages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].from, QStringLiteral("sender@example.com"));
    EXPECT_EQ(
        received[0].to, QStringList({ "to@example.com", "cc1@example.com", "cc2@example.com", "bcc@example.com" }));
    const QByteArray expected = taluvo::AnsiEncode(rendered);
    EXPECT_EQ(received[0].data, expected.endsWith("\r\n") ? expected : expected + "\r\n");
    EXPECT_FALSE(received[0].data.contains("bcc@example.com"));
    EXPECT_EQ(received[1].data, secondSent);
    EXPECT_TRUE(received[1].data.contains("Content-Type: multipart/mixed;"));
}

TEST(Smtp, AuthLoginAgainstAServerThatRequiresIt)
{
    mailtest::SmtpServer server({ "--auth", "user:s3cret pass" });
    ASSERT_TRUE(server.Started());
    {
        CRecordingSmtp client;
        UsePort(client, server.Port());
        client.m_strUser = QStringLiteral("user");
        client.m_strPassword = QStringLiteral("s3cret pass");
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        CSmtpMsg message = Message("to@example.com");
        EXPECT_EQ(client.SendMessage(message), 0);
        EXPECT_TRUE(client.calls.empty());
    }
    EXPECT_EQ(server.Messages().size(), 1u);

    // Wrong password: the login fails, MAIL FROM is refused with 530 and retried a bounded
    // number of times after new logins, and the refusal is the result.
    CRecordingSmtp client;
    UsePort(client, server.Port());
    client.m_strUser = QStringLiteral("user");
    client.m_strPassword = QStringLiteral("wrong");
    ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(client.Warnings(535), 1);
    CSmtpMsg message = Message("to@example.com");
    EXPECT_EQ(client.SendMessage(message), 530);
    EXPECT_EQ(client.Errors(530), 1);
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(Smtp, RefusalsGiveTheirReplyCodes)
{
    {
        mailtest::SmtpServer server({ "--refuse-rcpt", "bad@example.com", "--refuse-rcpt", "worse@example.com" });
        ASSERT_TRUE(server.Started());
        CRecordingSmtp client;
        UsePort(client, server.Port());
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        // One refused recipient: a warning, and the message goes to the others.
        CSmtpMsg some = Message("bad@example.com", { "good@example.com" });
        EXPECT_EQ(client.SendMessage(some), 0);
        EXPECT_EQ(client.Warnings(550), 1);
        // Every recipient refused: the last refusal is the result, and no DATA is sent.
        CSmtpMsg none = Message("bad@example.com", {}, { "worse@example.com" });
        EXPECT_EQ(client.SendMessage(none), 550);
        EXPECT_EQ(client.Errors(550), 1);
        client.Disconnect();
        const auto received = server.Messages();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].to, QStringList({ "good@example.com" }));
    }
    {
        mailtest::SmtpServer server({ "--refuse-data" });
        ASSERT_TRUE(server.Started());
        CRecordingSmtp client;
        UsePort(client, server.Port());
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        CSmtpMsg message = Message("to@example.com");
        EXPECT_EQ(client.SendMessage(message), 554);
        EXPECT_EQ(client.Errors(554), 1);
        EXPECT_TRUE(client.calls.back().text.startsWith(QStringLiteral("554 ")));
    }
}

TEST(Smtp, MessagesThatCannotBeSentSendNothing)
{
    CRecordingSmtp client; // not even connected: nothing may be tried
    struct Case {
        const char* what;
        std::function<void(CSmtpMsg&)> change;
    };
    const Case cases[] = {
        { "no sender", [](CSmtpMsg& m) { m.m_from.m_strAddress.clear(); } },
        { "only blind copies",
            [](CSmtpMsg& m) {
                m.m_to.m_strAddress.clear();
                m.m_bcc.push_back(CSmtpMsgAddress(u"b@x.org"));
            } },
        { "line break in a recipient", [](CSmtpMsg& m) { m.m_bcc.push_back(CSmtpMsgAddress(u"b@x.org>\r\nDATA")); } },
        { "line break in the subject", [](CSmtpMsg& m) { m.m_strSubject = QStringLiteral("a\r\nBcc: b@x.org"); } },
    };
    for (const Case& c : cases) {
        CSmtpMsg message = Message("to@example.com");
        c.change(message);
        EXPECT_EQ(client.SendMessage(message), -1) << c.what;
    }
    EXPECT_TRUE(client.calls.empty());
    EXPECT_TRUE(client.responses.empty());
}

// A server's wait far longer than the client's time-out: true when it ran out, false when the
// client's close ended it first.
bool TimesOut(ScriptPeer& peer)
{
    const auto start = std::chrono::steady_clock::now();
    peer.ReadLine(30s);
    return std::chrono::steady_clock::now() - start >= 30s;
}

TEST(Smtp, SilentAndVanishingServersEndWithinTheTimeOut)
{
    {
        // Accepts the connection and never greets. The client gives up after its one-second
        // time-out and closes, which ends the server's own much longer wait: the client ended first.
        bool serverTimedOut = true;
        ScriptedServer server([&](ScriptPeer& peer) { serverTimedOut = TimesOut(peer); });
        CRecordingSmtp client;
        UsePort(client, server.Port(), 1);
        EXPECT_FALSE(client.Connect(QStringLiteral("127.0.0.1")));
        ASSERT_EQ(client.calls.size(), 1u);
        EXPECT_EQ(client.calls[0].code, -1);
        EXPECT_TRUE(client.calls[0].text.isEmpty());
        client.Disconnect();
        EXPECT_TRUE(server.Join().empty()); // no QUIT was sent
        EXPECT_FALSE(serverTimedOut);
    }
    {
        // Stops answering after MAIL FROM.
        bool serverTimedOut = true;
        ScriptedServer server([&](ScriptPeer& peer) {
            Greet(peer);
            peer.ReadLine();
            serverTimedOut = TimesOut(peer);
        });
        CRecordingSmtp client;
        UsePort(client, server.Port(), 1);
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        CSmtpMsg message = Message("to@example.com");
        EXPECT_EQ(client.SendMessage(message), -1);
        EXPECT_EQ(client.Errors(-1), 1);
        EXPECT_FALSE(client.IsConnected());
        client.Disconnect();
        EXPECT_EQ(Commands(server.Join()), std::vector<std::string>({ "EHLO", "MAIL" }));
        EXPECT_FALSE(serverTimedOut);
    }
    {
        // Closes the connection instead of answering RCPT. The client's time-out is longer than the
        // test may run: only the close can end its wait.
        ScriptedServer server([](ScriptPeer& peer) {
            Greet(peer);
            peer.ReadLine();
            peer.Send("250 ok\r\n");
            peer.ReadLine();
        });
        CRecordingSmtp client;
        UsePort(client, server.Port(), 600);
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        CSmtpMsg message = Message("to@example.com");
        EXPECT_EQ(client.SendMessage(message), -1);
        EXPECT_EQ(client.Warnings(-1), 1);
        EXPECT_EQ(client.Errors(-1), 1);
        client.Disconnect();
        EXPECT_EQ(Commands(server.Join()), std::vector<std::string>({ "EHLO", "MAIL", "RCPT" }));
    }
}

TEST(Smtp, AReplyTrickledLineByLineEndsAtTheReceiveTimeOut)
{
    // Each continuation line would renew a per-piece wait: the greeting never ends, and the
    // client must give up on the reply as a whole while the server is still sending.
    std::atomic<bool> clientDone { false };
    std::atomic<int> linesSent { 0 };
    constexpr int kLines = 150;
    ScriptedServer server([&](ScriptPeer& peer) {
        for (int i = 0; i < kLines && !clientDone.load(); ++i) {
            peer.Send("220-still greeting\r\n");
            ++linesSent;
            peer.Pause(100ms);
        }
    });
    CRecordingSmtp client;
    UsePort(client, server.Port(), 1);
    EXPECT_FALSE(client.Connect(QStringLiteral("127.0.0.1")));
    clientDone = true;
    EXPECT_LT(linesSent.load(), kLines);
    ASSERT_EQ(client.calls.size(), 1u);
    EXPECT_EQ(client.calls[0].code, -1);
    EXPECT_TRUE(client.calls[0].text.startsWith(QStringLiteral("220-still greeting")));
    client.Disconnect();
    server.Join();
}

TEST(Smtp, RefusedConnectionFailsConnect)
{
    uint16_t port;
    {
        ScriptedServer gone([](ScriptPeer&) {});
        port = gone.Port();
    }
    // A time-out longer than the test may run: only the refusal can end the connect.
    CRecordingSmtp client;
    UsePort(client, port, 600);
    EXPECT_FALSE(client.Connect(QStringLiteral("127.0.0.1")));
    for (const auto& call : client.calls)
        EXPECT_EQ(call.code, WSAECONNREFUSED);
    EXPECT_FALSE(client.Connect(QStringLiteral("no-such-host.invalid")));
}

TEST(Smtp, ConnectGivesUpAfterItsTimeOut)
{
    // A listener whose queue is full: the system drops further connection requests, so the
    // client's connect neither completes nor fails.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t len = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len);
    ASSERT_EQ(::listen(listener, 0), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    CRecordingSmtp client;
    UsePort(client, ntohs(address.sin_port), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Connect(QStringLiteral("127.0.0.1")));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 900ms); // it waited for the time-out rather than failing at once
    EXPECT_TRUE(client.calls.empty()); // a connection that never came about calls no hook
    ::close(filler);
    ::close(listener);
}

TEST(Smtp, WholeRepliesAreReadWhateverTheirPieces)
{
    // The EHLO reply comes in pieces, its last line late; MAIL's reply arrives together with
    // RCPT's; RCPT is then refused. A client that read only first lines would take the late line
    // for MAIL's answer and the early one for RCPT's, and report the refused mail as sent.
    ScriptedServer server([](ScriptPeer& peer) {
        peer.Send("220-scripted\r\n");
        peer.Pause(30ms);
        peer.Send("220 ESMTP\r\n");
        peer.ReadLine();
        peer.Send("250-scripted greets you\r\n250-PIPE");
        peer.Pause(30ms);
        peer.Send("LINING\r\n");
        peer.Pause(300ms);
        peer.Send("250 SIZE 1000\r\n");
        peer.ReadLine();
        peer.Send("250 sender ok\r\n550 no such user\r\n");
        peer.ReadLine();
        peer.ReadLine(1s); // QUIT
        peer.Send("221 bye\r\n");
    });
    CRecordingSmtp client;
    UsePort(client, server.Port());
    ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
    EXPECT_TRUE(client.IsEsmtp());
    EXPECT_EQ(client.GetLastResponse(), QStringLiteral("250-scripted greets you\r\n250-PIPELINING\r\n250 SIZE 1000"));
    CSmtpMsg message = Message("to@example.com");
    EXPECT_EQ(client.SendMessage(message), 550);
    client.Disconnect();
    EXPECT_EQ(Commands(server.Join()), std::vector<std::string>({ "EHLO", "MAIL", "RCPT", "QUIT" }));
}

TEST(Smtp, ReplyCodesAreReadAsTheServerWroteThem)
{
    // A reply of three digits and nothing else, and a code with a letter in it.
    ScriptedServer server([](ScriptPeer& peer) {
        Greet(peer);
        peer.ReadLine();
        peer.Send("250\r\n");
        peer.ReadLine();
        peer.Send("2x5 odd\r\n");
        peer.ReadLine(1s);
        peer.Send("221 bye\r\n");
    });
    CRecordingSmtp client;
    UsePort(client, server.Port());
    client.m_bUseEhlo = FALSE;
    ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
    EXPECT_FALSE(client.IsEsmtp());
    CSmtpMsg message = Message("to@example.com");
    EXPECT_EQ(client.SendMessage(message), 2); // MAIL accepted, RCPT answered with "2"
    EXPECT_EQ(client.Warnings(2), 1);
    client.Disconnect();
    EXPECT_EQ(Commands(server.Join()), std::vector<std::string>({ "HELO", "MAIL", "RCPT", "QUIT" }));
}

TEST(Smtp, LoginIsRetriedWhenTheHookAsks)
{
    // 535 once, then the hook asks for a new try, which succeeds.
    ScriptedServer server([](ScriptPeer& peer) {
        Greet(peer);
        for (const char* result : { "535 5.7.8 bad credentials\r\n", "235 2.7.0 ok\r\n" }) {
            peer.ReadLine(); // AUTH LOGIN
            peer.Send("334 VXNlcm5hbWU6\r\n"); // Username:
            peer.ReadLine();
            peer.Send("334 UGFzc3dvcmQ6\r\n"); // Password:
            peer.ReadLine();
            peer.Send(result);
        }
        peer.ReadLine(1s);
        peer.Send("221 bye\r\n");
    });
    CRecordingSmtp client;
    UsePort(client, server.Port());
    client.m_strUser = QStringLiteral("üser");
    client.m_strPassword = QStringLiteral("pw");
    client.loginRetries = 1;
    ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(client.Warnings(535), 1);
    EXPECT_EQ(client.Errors(535), 0);
    client.Disconnect();
    const auto lines = server.Join();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1], "AUTH LOGIN");
    EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(lines[2])), QByteArray("\xC3\xBCser"));
    EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(lines[3])), QByteArray("pw"));
    EXPECT_EQ(lines[4], "AUTH LOGIN");
    EXPECT_EQ(lines[7], "QUIT");
}

TEST(Smtp, EightBitBodiesGoAsEightBitOnlyToServersThatOfferIt)
{
    struct Case {
        const char* ehloReply;
        const char* mailFrom;
        const char* transferEncoding;
    };
    const Case cases[] = {
        { "250-scripted\r\n250-8BITMIME\r\n250 SIZE 1000000\r\n", "MAIL FROM: <sender@example.com> BODY=8BITMIME",
            "Content-Transfer-Encoding: 8bit" },
        { "250-scripted\r\n250 8bitmime\r\n", "MAIL FROM: <sender@example.com> BODY=8BITMIME",
            "Content-Transfer-Encoding: 8bit" },
        { "250-scripted\r\n250 SIZE 1000000\r\n", "MAIL FROM: <sender@example.com>",
            "Content-Transfer-Encoding: quoted-printable" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ehloReply);
        std::string data;
        ScriptedServer server([&](ScriptPeer& peer) {
            peer.Send("220 scripted ESMTP\r\n");
            peer.ReadLine();
            peer.Send(c.ehloReply);
            for (const char* reply : { "250 ok\r\n", "250 ok\r\n", "354 go ahead\r\n" }) {
                peer.ReadLine();
                peer.Send(reply);
            }
            data = peer.ReadData();
            peer.Send("250 queued\r\n");
            peer.ReadLine(1s);
            peer.Send("221 bye\r\n");
        });
        CRecordingSmtp client;
        UsePort(client, server.Port());
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        CSmtpMsg message = Message("to@example.com");
        message.m_bodies[0] = CSmtpMsgBody(u"The page of sizes (Gr\u00F6\u00DFen) was changed: new prices and dates.",
            u"text/plain", u"iso-8859-1", encodingGuess);
        EXPECT_EQ(client.SendMessage(message), 0);
        client.Disconnect();
        const std::vector<std::string> lines = server.Join();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1], c.mailFrom);
        EXPECT_NE(data.find(c.transferEncoding), std::string::npos) << data;
    }
}

TEST(Smtp, MailFromRefusedWith530LogsInFirst)
{
    // The server takes no login after EHLO, then asks for one at MAIL FROM.
    auto script = [](ScriptPeer& peer) {
        Greet(peer);
        if (peer.ReadLine() == "AUTH LOGIN")
            peer.Send("503 not now\r\n");
        else
            return; // no user name: no login, and MAIL FROM is in lines already
        peer.ReadLine();
        peer.Send("530 5.7.0 Authentication required\r\n");
        peer.ReadLine(); // AUTH LOGIN
        peer.Send("334 VXNlcm5hbWU6\r\n");
        peer.ReadLine();
        peer.Send("334 UGFzc3dvcmQ6\r\n");
        peer.ReadLine();
        peer.Send("235 ok\r\n");
        peer.ReadLine(); // MAIL FROM
        peer.Send("250 ok\r\n");
        peer.ReadLine();
        peer.Send("250 ok\r\n");
        peer.ReadLine();
        peer.Send("354 go ahead\r\n");
        peer.ReadData();
        peer.Send("250 queued\r\n");
        peer.ReadLine(1s);
        peer.Send("221 bye\r\n");
    };
    {
        ScriptedServer server(script);
        CRecordingSmtp client;
        UsePort(client, server.Port());
        client.m_strUser = QStringLiteral("user");
        client.m_strPassword = QStringLiteral("pw");
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        EXPECT_EQ(client.Warnings(503), 1);
        CSmtpMsg message = Message("to@example.com");
        EXPECT_EQ(client.SendMessage(message), 0);
        client.Disconnect();
        const auto verbs = Commands(server.Join());
        ASSERT_GE(verbs.size(), 10u);
        EXPECT_EQ(std::vector<std::string>(verbs.begin(), verbs.begin() + 9),
            std::vector<std::string>({ "EHLO", "AUTH", "MAIL", "AUTH", "dXNlcg==", "cHc=", "MAIL", "RCPT", "DATA" }));
        EXPECT_EQ(verbs.back(), "QUIT");
    }
    {
        // Without a user name a login cannot help: the 530 is the result at once.
        ScriptedServer server([](ScriptPeer& peer) {
            Greet(peer);
            peer.ReadLine();
            peer.Send("530 5.7.0 Authentication required\r\n");
            peer.ReadLine(1s);
            peer.Send("221 bye\r\n");
        });
        CRecordingSmtp client;
        UsePort(client, server.Port());
        ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
        CSmtpMsg message = Message("to@example.com");
        EXPECT_EQ(client.SendMessage(message), 530);
        EXPECT_EQ(client.Errors(530), 1);
        client.Disconnect();
        EXPECT_EQ(Commands(server.Join()), std::vector<std::string>({ "EHLO", "MAIL", "QUIT" }));
    }
}

TEST(Smtp, EmptyLoginPromptEndsTheLoginSafely)
{
    for (const char* prompt : { "334 \r\n", "334\r\n", "334 ????\r\n" }) {
        ScriptedServer server([prompt](ScriptPeer& peer) {
            Greet(peer);
            peer.ReadLine();
            peer.Send(prompt);
            if (peer.ReadLine() == "*") // the client cancels the exchange (RFC 4954)
                peer.Send("501 cancelled\r\n");
            peer.ReadLine(1s);
            peer.Send("221 bye\r\n");
        });
        CRecordingSmtp client;
        UsePort(client, server.Port());
        client.m_strUser = QStringLiteral("user");
        EXPECT_TRUE(client.Connect(QStringLiteral("127.0.0.1"))) << prompt;
        EXPECT_EQ(client.Errors(334), 1) << prompt;
        client.Disconnect();
        EXPECT_EQ(Commands(server.Join()), std::vector<std::string>({ "EHLO", "AUTH", "*", "QUIT" })) << prompt;
    }
}

TEST(Smtp, SendTimeOutAndAbortedProgress)
{
    // A server that never reads, with a small receive buffer: the message cannot all go out.
    std::promise<void> clientDone;
    ScriptedServer server(
        [done = clientDone.get_future().share()](ScriptPeer& peer) {
            Greet(peer);
            for (int i = 0; i < 3; ++i) {
                peer.ReadLine();
                peer.Send(i == 2 ? "354 go ahead\r\n" : "250 ok\r\n");
            }
            done.wait_for(20s); // holds the connection without reading while the client times out
        },
        4096);
    CRecordingSmtp client;
    UsePort(client, server.Port(), 1);
    ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1")));
    CSmtpMsg message = Message("to@example.com");
    message.m_bodies[0] = QString(QStringLiteral("0123456789 ")).repeated(800000);
    EXPECT_EQ(client.SendMessage(message), static_cast<int>(ERROR_TIMEOUT));
    EXPECT_EQ(client.Errors(static_cast<int>(ERROR_TIMEOUT)), 1);
    client.Disconnect();
    clientDone.set_value();
    server.Join();

    // The progress hook stops a long command: -1, and the connection is given up without QUIT.
    ScriptedServer second([](ScriptPeer& peer) {
        Greet(peer);
        for (int i = 0; i < 3; ++i) {
            peer.ReadLine();
            peer.Send(i == 2 ? "354 go ahead\r\n" : "250 ok\r\n");
        }
        peer.ReadLine(2s);
    });
    CRecordingSmtp aborting;
    UsePort(aborting, second.Port());
    ASSERT_TRUE(aborting.Connect(QStringLiteral("127.0.0.1")));
    aborting.abortSend = true;
    CSmtpMsg longer = Message("to@example.com");
    longer.m_bodies[0] = QString(3000, QLatin1Char('x'));
    EXPECT_EQ(aborting.SendMessage(longer), -1);
    EXPECT_EQ(aborting.progressCalls, 1);
    EXPECT_EQ(aborting.Errors(-1), 1);
    EXPECT_FALSE(aborting.IsConnected());
    aborting.Disconnect();
    const auto lines = second.Join();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("QUIT")), 0);
}
