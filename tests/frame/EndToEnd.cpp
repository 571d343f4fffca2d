// The program doing its job unattended: the real main window over a prepared database, pages on a
// loopback web server, a real SMTP server on port 25 and a command that records its arguments.
// The check timer is driven by its WM_TIMER message instead of a wait of a minute.
#include "tests/frame/CheckTestSupport.h"

#include "core/Utils.h"
#include "core/prefs/Preferences.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace taluvo::test;
using taluvo::shell::RequestKind;

namespace {

// Debian's aiosmtpd on 127.0.0.1:25, delivering into a maildir.
class SmtpOn25 {
public:
    explicit SmtpOn25(const TempDir& dir)
        : m_maildir(dir.File("maildir"))
        , m_process({ "/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:25", "-c",
              "aiosmtpd.handlers.Mailbox", m_maildir })
    {
    }
    bool Ready() const
    {
        return WaitUntil([] {
            const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons(25);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool up = ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(sock);
            return up;
        });
    }
    std::vector<QString> Messages() const
    {
        std::vector<QString> messages;
        const QDir folder(QString::fromStdString(m_maildir + "/new"));
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                messages.push_back(QString::fromUtf8(file.readAll()));
        }
        return messages;
    }

private:
    std::string m_maildir;
    ChildProcess m_process;
};

class EndToEnd : public MainFrameTest { };

TEST_F(EndToEnd, ChangedPageIsStoredShownLoggedAndAnnounced)
{
    TempDir dir;
    PageServer server(dir, "pages");
    server.SetRoutes(QJsonObject { { QStringLiteral("/stable"), Page(QStringLiteral("<html>same</html>")) },
        { QStringLiteral("/moving"), Page(QStringLiteral("<html>first</html>")) },
        { QStringLiteral("/never"), Page(QStringLiteral("<html>never</html>")) } });
    SmtpOn25 smtp(dir);
    ASSERT_TRUE(smtp.Ready()) << "aiosmtpd did not listen on port 25";

    // The command records each argument on a line of its own.
    const std::string record = dir.File("args.txt");
    const std::string script = dir.File("record.sh");
    WriteFile(script,
        "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + record + ".tmp'\nmv '" + record + ".tmp' '"
            + record + "'\n");
    ::chmod(script.c_str(), 0755);

    const long long now = QDateTime::currentSecsSinceEpoch();
    const std::string stable = server.Url(QStringLiteral("/stable")).toStdString();
    const std::string moving = server.Url(QStringLiteral("/moving")).toStdString();
    const std::string dead = "http://127.0.0.1:" + std::to_string(DeadPort()) + "/gone";
    // The browser address has blanks, quotes and markup: it must stay one argument and plain text.
    const std::string movingBrowser = moving + "?q=\"a b\"&x=<i>";
    ASSERT_EQ(
        Sqlite(DatabasePath(),
            SchemaSql() + Group(1, "Watched", 1, sortStatus) + Group(2, "Off", 0, sortAlphabeticalAsc)
                + Insert({ 1, 1, stable, stable, "Stable page", now - 500 })
                + Insert({ 2, 1, moving, movingBrowser, "Moving page", now - 900 })
                + Insert({ 3, 1, dead, dead, "Dead page", now - 300 })
                + Insert(
                    { 4, 1, server.Url(QStringLiteral("/never")).toStdString(), "", "Never checked", 4294967295LL })
                + Insert({ 5, 2, server.Url(QStringLiteral("/never")).toStdString(), "", "Group off", now - 900 })),
        "");

    DesktopRequests desktop(true);
    ASSERT_TRUE(Create());
    // A start that failed (the toolbar port taken by another program) closes the window again.
    ASSERT_TRUE(m_messages.empty()) << m_messages.front().toStdString();
    const std::string logPath = dir.File("updates.log");
    m_frame.m_logFile.SetFileName(QString::fromStdString(logPath));
    m_frame.m_logFile.SetEnabled(TRUE);
    g_prefs.GetParam(kLogEnable)->SetBool(true);
    g_prefs.GetParam(kPopupAlertEnable)->SetBool(true);
    g_prefs.GetParam(kAlertSoundEnable)->SetBool(true);
    g_prefs.GetParam(kAlertSoundDefault)->SetBool(true);
    g_prefs.GetParam(kErrorSoundEnable)->SetBool(true);
    g_prefs.GetParam(kErrorSoundDefault)->SetBool(true);
    g_prefs.GetParam(kRunCmdEnable)->SetBool(true);
    g_prefs.GetParam(kRunCmdText)->SetString(QString::fromStdString(script) + QStringLiteral(" %1"));
    g_prefs.GetParam(kUseEMailNotification)->SetBool(true);
    g_prefs.GetParam(kSmtpServer)->SetString(QStringLiteral("127.0.0.1"));
    g_prefs.GetParam(kEMailFromAddr)->SetString(QStringLiteral("watcher@example.com"));
    g_prefs.GetParam(kWorkOffline)->SetBool(false);
    g_prefs.m_recipients = { { "one@example.com", "One" }, { "two@example.com", "Two" } };

    // First run: every due page gets its first checksum; the dead one fails.
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForChecks(m_frame));
    // One at a time, oldest check first; the never-checked page and the disabled group are not due.
    EXPECT_EQ(RequestedPaths(server), (std::vector<std::string> { "/moving", "/stable" }));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status, errorCode, httpStatusCode FROM PAGES ORDER BY id;"),
        "1|3|0|200\n2|3|0|200\n3|2|12029|0\n4|3|0|0\n5|3|0|0");
    ASSERT_EQ(desktop.Of(RequestKind::PlaySound).size(), 1u);
    EXPECT_TRUE(desktop.Of(RequestKind::PlaySound)[0].value(0).contains(QStringLiteral("243")));
    EXPECT_TRUE(desktop.Of(RequestKind::RunProgram).empty());
    EXPECT_TRUE(smtp.Messages().empty());
    EXPECT_NE(m_frame.m_iIntervalTimer, 0u);

    // The page changes; everything is due again.
    server.SetRoutes(QJsonObject { { QStringLiteral("/stable"), Page(QStringLiteral("<html>same</html>")) },
        { QStringLiteral("/moving"), Page(QStringLiteral("<html>second</html>")) } });
    Sqlite(DatabasePath(), "UPDATE PAGES SET lastChecked = lastChecked - 1000 WHERE lastChecked <> 4294967295;");
    desktop.Clear();
    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForChecks(m_frame));

    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status, errorCode, httpStatusCode FROM PAGES ORDER BY id;"),
        "1|3|0|200\n2|1|0|200\n3|2|12029|0\n4|3|0|0\n5|3|0|0");
    // In the tree: the New page moved to the top of its status-sorted group, its label whole.
    HTREEITEM group = m_frame.FindGroup(1);
    ASSERT_NE(group, nullptr);
    ASSERT_FALSE(ChildLabels(m_frame, group).empty());
    EXPECT_EQ(ChildLabels(m_frame, group).front(), QStringLiteral("Moving page"));
    HTREEITEM item = m_frame.FindPage(1, 2);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(TREE_GET_STATUS(m_frame.m_mainTree.GetItemData(item)), statusNew);
    EXPECT_EQ(TREE_GET_STATUS(m_frame.m_mainTree.GetItemData(m_frame.FindPage(1, 3))), statusError);

    // The update log: exactly one entry, for the changed page.
    const unsigned checked
        = static_cast<unsigned>(std::stoul(Sqlite(DatabasePath(), "SELECT lastChecked FROM PAGES WHERE id = 2;")));
    const std::string entry = "Description : Moving page\r\nAddress     : " + moving
        + "\r\nDate & Time : " + FormatTime(checked).toStdString() + "\r\n" + std::string(77, '-') + "\r\n";
    EXPECT_EQ(ReadFile(logPath), entry);

    // The popup at the tray: one row, its texts escaped, its link the ids.
    const QString popup = m_frame.m_trayToolTip.m_strLastShownText;
    EXPECT_TRUE(popup.startsWith(m_frame.m_strPopupHeader));
    EXPECT_EQ(popup.count(QStringLiteral("<tr><td><icon idres=")), 1);
    EXPECT_TRUE(popup.contains(QStringLiteral("<a msg=\"1,2,") + QString::fromStdString(moving)
        + QStringLiteral("?q=&quot;a b&quot;&amp;x=&lt;i&gt;\">")))
        << popup.toStdString();
    EXPECT_NE(m_frame.m_iPopupTimer, 0u);

    // Sounds: the update's, then the dead page's error.
    const auto sounds = desktop.Of(RequestKind::PlaySound);
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_TRUE(sounds[0].value(0).contains(QStringLiteral("242")));
    EXPECT_TRUE(sounds[1].value(0).contains(QStringLiteral("243")));

    // The command got the browser address as one argument.
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(record).empty(); }));
    EXPECT_EQ(ReadFile(record), "[" + movingBrowser + "]\n");

    // The e-mail: to the first recipient, a copy to the second.
    const auto mails = smtp.Messages();
    ASSERT_EQ(mails.size(), 1u);
    const QString& mail = mails[0];

    EXPECT_TRUE(mail.contains(QStringLiteral("Subject: Page is updated."))) << mail.toStdString();
    EXPECT_TRUE(mail.contains(QStringLiteral("From: \"Taluvo\" <watcher@example.com>"))) << mail.toStdString();
    // The copy recipients are listed in the To header after the first.
    EXPECT_TRUE(mail.contains(QStringLiteral("To: \"One\" <one@example.com>,\n\t\"Two\" <two@example.com>")))
        << mail.toStdString();
    EXPECT_TRUE(mail.contains(QStringLiteral("Content-Type: text/plain;\n\tcharset=\"iso-8859-1\"")))
        << mail.toStdString();
    EXPECT_TRUE(
        mail.contains(QStringLiteral("Page \"") + QString::fromStdString(moving) + QStringLiteral("\" was updated.")))
        << mail.toStdString();
    EXPECT_TRUE(mail.contains(QStringLiteral("X-RcptTo: one@example.com, two@example.com"))) << mail.toStdString();

    // The popup's timer hides it again and forgets its rows.
    m_frame.SendMessage(WM_TIMER, g_iPopupTimerId);
    EXPECT_EQ(m_frame.m_iPopupTimer, 0u);
    EXPECT_TRUE(m_frame.m_strPopupLines.isEmpty());
    EXPECT_FALSE(m_frame.m_trayToolTip.IsWindowVisible());
}

} // namespace
