// The e-mail test dialog against a real SMTP server (aiosmtpd on a free port) and scripted peers:
// the dialogue shown line by line, the progress of a long message, the refusals before anything is
// sent, a server that wants a login, a dead one and one that never finishes its greeting.
#include "tests/dialogs/OptionsSheetTestSupport.h"

#include "tests/mail/MailTestSupport.h"

#include "dialogs/EMailTestDlg.h"
#include "dialogs/TraceSmtp.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace taluvo::test {
namespace {

namespace uitest = taluvo::ui::test;

struct STryResult {
    QString output;
    QString progress;
};

class EMailTestDialog : public DialogTest {
protected:
    void Fill(CEMailTestDlg& dlg, const QString& message = QStringLiteral("Simple text"))
    {
        dlg.m_strSmtpServer = QStringLiteral("127.0.0.1");
        dlg.m_strFromName = QStringLiteral("Taluvo");
        dlg.m_strFromAddress = QStringLiteral("me@example.org");
        dlg.m_strToName = QStringLiteral("Taluvo");
        dlg.m_strToAddress = QStringLiteral("me@example.org");
        dlg.m_strSubject = QStringLiteral("This is a test message from Taluvo");
        dlg.m_strMessage = message;
    }
    // Runs the dialog, points its client at the port and presses Try once (with edit applied to
    // the fields first); what the output and progress fields then show.
    STryResult Try(CEMailTestDlg& dlg, uint16_t port, const std::function<void(HWND)>& edit = {})
    {
        STryResult result;
        uitest::ScopedDialogHook hook([&](HWND dialog, WORD id) {
            ASSERT_EQ(id, IDD_EMAIL_TEST);
            ASSERT_TRUE(dlg.m_spSmtp.IsValid());
            dlg.m_spSmtp->m_nPort = htons(port);
            if (edit)
                edit(dialog);
            ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDC_TEST_TRY, BN_CLICKED), 0);
            result.output = ::GetDlgItemText(dialog, IDC_TEST_OUTPUT);
            result.progress = ::GetDlgItemText(dialog, IDC_TEST_PROGRESS);
            ::SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(dlg.DoModal(nullptr), IDCANCEL);
        return result;
    }
    static uint16_t DeadPort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::system_error(errno, std::generic_category(), "binding a loopback port");

        socklen_t len = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len);
        ::close(fd);
        return ntohs(address.sin_port);
    }
};

// Every line of the log starts with a time stamp.
QStringList LogLines(const QString& output)
{
    return output.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

TEST_F(EMailTestDialog, SendsThroughARealServerAndShowsTheWholeDialogue)
{
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    CEMailTestDlg dlg;
    Fill(dlg);
    // A message of several kilobytes shows its progress.
    const QString longText = QString(QStringLiteral("0123456789 ")).repeated(400);
    const STryResult result
        = Try(dlg, server.Port(), [&](HWND dialog) { ::SetDlgItemText(dialog, IDC_TEST_MESSAGE, longText); });

    EXPECT_EQ(m_messages, std::vector<QString> { QStringLiteral("Congratulations: E-mail was SUCCESSFULLY send.") });
    const QStringList lines = LogLines(result.output);
    const QRegularExpression stamped(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\] SMTP (Command|Response): "));
    QStringList commands;
    for (const QString& line : lines) {
        if (line.contains(QStringLiteral("SMTP Command: ")))
            commands << line.section(QStringLiteral("SMTP Command: "), 1).section(QLatin1Char(' '), 0, 0);
    }
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(stamped.match(lines.first()).hasMatch()) << lines.first().toStdString();
    // HELO (never EHLO), the envelope, the message and QUIT; the greeting is not shown.
    EXPECT_EQ(commands.first(), QStringLiteral("HELO"));
    EXPECT_TRUE(commands.contains(QStringLiteral("MAIL")));
    EXPECT_TRUE(commands.contains(QStringLiteral("RCPT")));
    EXPECT_TRUE(commands.contains(QStringLiteral("DATA")));
    EXPECT_EQ(commands.last(), QStringLiteral("QUIT"));
    EXPECT_FALSE(result.output.contains(QStringLiteral("220 ")));
    EXPECT_TRUE(result.output.contains(QStringLiteral("Subject: This is a test message from Taluvo")));
    EXPECT_TRUE(result.output.contains(QStringLiteral("SMTP Response: 250 Message accepted")));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Sending \\d+ \\(\\d+\\) KBytes$")).match(result.progress).hasMatch())
        << result.progress.toStdString();
    EXPECT_GE(result.progress.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0).toInt(), 4);

    const auto received = server.Messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].from, QStringLiteral("me@example.org"));
    EXPECT_EQ(received[0].to, QStringList { QStringLiteral("me@example.org") });
    EXPECT_TRUE(received[0].data.contains("0123456789 0123456789"));
}

// The test reaches the sender only: what its caller found wrong with the alerts' recipients stands
// above the log from the start and beside the success.
TEST_F(EMailTestDialog, ANoteOnTheRecipientsIsShownBeforeTheLogAndWithTheSuccess)
{
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    CEMailTestDlg dlg;
    Fill(dlg);
    dlg.m_strRecipientsNote = QStringLiteral("The recipients file \"/r.csv\" holds no usable recipient.\nLine 1: x");
    const STryResult result = Try(dlg, server.Port());
    EXPECT_TRUE(result.output.startsWith(
        QStringLiteral("The recipients file \"/r.csv\" holds no usable recipient.\r\nLine 1: x\r\n\r\n[")))
        << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(QStringLiteral("SMTP Response: 250 Message accepted")));
    EXPECT_EQ(m_messages,
        std::vector<QString> { QStringLiteral("Congratulations: E-mail was SUCCESSFULLY send.\n\nThe test went to the "
                                              "From address; change alerts go to the recipients file.\nThe recipients "
                                              "file \"/r.csv\" holds no usable recipient.\nLine 1: x") });
    EXPECT_EQ(m_boxIcons, std::vector<UINT> { MB_ICONWARNING });
}

TEST_F(EMailTestDialog, AnEmptyMessageIsSentAndTwoTriesReuseTheClient)
{
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    CEMailTestDlg dlg;
    Fill(dlg, QString());
    STryResult second;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD) {
        dlg.m_spSmtp->m_nPort = htons(server.Port());
        ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDC_TEST_TRY, BN_CLICKED), 0);
        ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDC_TEST_TRY, BN_CLICKED), 0);
        second.output = ::GetDlgItemText(dialog, IDC_TEST_OUTPUT);
        ::SendMessage(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(dlg.DoModal(nullptr), IDOK);
    EXPECT_EQ(m_messages, std::vector<QString>(2, QStringLiteral("Congratulations: E-mail was SUCCESSFULLY send.")));
    EXPECT_EQ(server.Messages().size(), 2u);
    EXPECT_EQ(second.output.count(QStringLiteral("SMTP Command: HELO")), 2);
}

TEST_F(EMailTestDialog, FieldsAreCheckedBeforeAnythingIsSent)
{
    struct SCase {
        int field;
        const char* text;
        const char* box;
    };
    const SCase cases[] = {
        { IDC_TEST_SMTP_SERVER, "", "Error.: Field \"SMTP Server\" is empty" },
        { IDC_TEST_FROM_ADDRESS, "me at example.org", "Error.: Invalid email \"From Address\"" },
        { IDC_TEST_FROM_ADDRESS, "m!e@example.org", "Error.: Invalid email \"From Address\"" },
        { IDC_TEST_TO_ADDRESS, "", "Error.: Invalid email \"To Address\"" },
    };
    const uint16_t dead = DeadPort();
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.box);
        m_messages.clear();
        CEMailTestDlg dlg;
        Fill(dlg);
        const STryResult result
            = Try(dlg, dead, [&](HWND dialog) { ::SetDlgItemText(dialog, c.field, QString::fromUtf8(c.text)); });
        EXPECT_EQ(m_messages, std::vector<QString> { QString::fromUtf8(c.box) });
        EXPECT_EQ(m_boxIcons, std::vector<UINT>(m_boxIcons.size(), MB_ICONERROR));
        EXPECT_TRUE(result.output.isEmpty()) << result.output.toStdString();
        m_boxIcons.clear();
    }
}

TEST_F(EMailTestDialog, AServerThatWantsALoginRefusesTheMessageAndSaysWhy)
{
    mailtest::SmtpServer server({ QStringLiteral("--auth"), QStringLiteral("user:secret") });
    ASSERT_TRUE(server.Started());
    CEMailTestDlg dlg;
    Fill(dlg);
    const STryResult result = Try(dlg, server.Port());
    EXPECT_EQ(m_messages, std::vector<QString> { QStringLiteral("Error.: Unable to send message") });
    // The refusal is in the log, as the server's reply and as an error line.
    const QStringList lines = LogLines(result.output);
    bool errorLine = false;
    for (const QString& line : lines)
        errorLine = errorLine || (line.contains(QStringLiteral("] Error: 530")));
    EXPECT_TRUE(errorLine) << result.output.toStdString();
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(EMailTestDialog, ADeadServerCannotBeReachedAndTheLogStaysEmpty)
{
    CEMailTestDlg dlg;
    Fill(dlg);
    const STryResult result = Try(dlg, DeadPort());
    EXPECT_EQ(m_messages, std::vector<QString> { QStringLiteral("Error.: Unable connect to SMTP server") });
    EXPECT_TRUE(result.output.isEmpty()) << result.output.toStdString();
}

TEST_F(EMailTestDialog, AGreetingThatNeverEndsEndsTheTryWithinTheReplyDeadline)
{
    // The server keeps sending continuation lines of its greeting, far longer than the client's
    // receive time-out, and only then the last line.
    constexpr int kLines = 60;
    std::atomic<bool> tryOver { false };
    std::atomic<int> sentWhenOver { -1 };
    mailtest::ScriptedServer server([&](mailtest::ScriptPeer& peer) {
        int sent = 0;
        for (; sent < kLines && !tryOver; ++sent) {
            peer.Send("220-still greeting\r\n");
            peer.Pause(std::chrono::milliseconds(500));
        }
        sentWhenOver = tryOver ? sent : -1;
        peer.Send("220 ready\r\n");
        peer.ReadLine(std::chrono::seconds(2));
    });
    CEMailTestDlg dlg;
    Fill(dlg);
    const STryResult result = Try(dlg, server.Port());
    tryOver = true;
    const std::vector<std::string> heard = server.Join();
    EXPECT_EQ(m_messages, std::vector<QString> { QStringLiteral("Error.: Unable connect to SMTP server") });
    // The try ended while the greeting was still coming, and no HELO was ever sent.
    EXPECT_GT(sentWhenOver.load(), 0);
    EXPECT_LT(sentWhenOver.load(), kLines);
    EXPECT_TRUE(heard.empty());
    EXPECT_FALSE(result.output.contains(QStringLiteral("HELO")));
    EXPECT_TRUE(result.output.contains(QStringLiteral("] Error: 220-still greeting"))) << result.output.toStdString();
}

TEST_F(EMailTestDialog, LogLinesAreWholeAndStamped)
{
    struct SCase {
        const char* text;
        const char* shown;
    };
    // Line ends made CR LF, a final one added, leading blanks and line ends and trailing blanks
    // dropped; nothing for an empty text.
    const SCase cases[] = {
        { "abc", "abc\r\n" },
        { "a\nb\rc\r\n", "a\r\nb\r\nc\r\n" },
        { "  \r\n  x", "x\r\n" },
        { "", "" },
        { "\r\n", "" },
        { "   ", "" },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.text);
        CEMailTestDlg dlg;
        QString shown;
        uitest::ScopedDialogHook hook([&](HWND dialog, WORD) {
            CTraceSmtp client(::GetDlgItem(dialog, IDC_TEST_OUTPUT), ::GetDlgItem(dialog, IDC_TEST_PROGRESS));
            client.AppendOutput(QString::fromUtf8(c.text));
            shown = ::GetDlgItemText(dialog, IDC_TEST_OUTPUT);
            ::SendMessage(dialog, WM_COMMAND, IDOK, 0);
        });
        dlg.DoModal(nullptr);
        EXPECT_EQ(shown.toStdString(), std::string(c.shown));
    }
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\]$")).match(CTraceSmtp::TimeStamp()).hasMatch());
}

} // namespace
} // namespace taluvo::test
