// Rows a hostile page, file or program could have left in the database: a description with line
// breaks must not forge entries of the update log, a browser address the alert command would read
// as an option runs nothing, and a group with a sort type the tree does not
// know must not have its pages fetched for results that could be neither stored nor shown.
#include "tests/frame/CheckTestSupport.h"

#include "core/prefs/Preferences.h"

#include <QDateTime>

using namespace taluvo::test;

namespace {

class HostileRows : public MainFrameTest {
protected:
    void SetUp() override
    {
        MainFrameTest::SetUp();
        m_server = std::make_unique<PageServer>(m_dir, "pages");
        m_server->SetRoutes({ { QStringLiteral("/a"), Page(QStringLiteral("page a")) },
            { QStringLiteral("/b"), Page(QStringLiteral("page b")) } });
        m_now = QDateTime::currentSecsSinceEpoch();
    }
    void TearDown() override
    {
        MainFrameTest::TearDown();
        m_server.reset();
    }
    std::string Url(const char* path) const { return m_server->Url(QString::fromLatin1(path)).toStdString(); }
    bool Start(const std::string& rows)
    {
        if (Sqlite(DatabasePath(), SchemaSql() + rows) != "")
            return false;
        if (!Create() || !m_messages.empty())
            return false;
        g_prefs.GetParam(kWorkOffline)->SetBool(false);
        g_prefs.GetParam(kPopupAlertEnable)->SetBool(false);
        g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
        return true;
    }

    TempDir m_dir;
    std::unique_ptr<PageServer> m_server;
    long long m_now = 0;
};

TEST_F(HostileRows, ALineBreakInADescriptionForgesNoLogEntry)
{
    // The stored checksum is not the page's: its check makes it New and writes the log entry.
    const std::string forged = "evil\r\nDescription : FAKE\r\nAddress     : http://elsewhere/\r\n";
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Insert({ 1, 1, Url("/a"), "", forged, m_now - 600 })
        + "UPDATE PAGES SET checkSum = 1;\n"));
    const std::string log = m_dir.File("Taluvo.log");
    g_prefs.GetParam(kLogEnable)->SetBool(true);
    m_frame.m_logFile.SetFileName(QString::fromStdString(log));
    m_frame.m_logFile.SetEnabled(TRUE);
    DesktopRequests desktop;

    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForChecks(m_frame));
    ASSERT_EQ(Sqlite(DatabasePath(), "SELECT status FROM PAGES;"), "1");
    const std::string entry = ReadFile(log);
    EXPECT_EQ(entry.find("\r\nDescription : FAKE"), std::string::npos) << entry;
    EXPECT_EQ(entry.find("\r\nAddress     : http://elsewhere/"), std::string::npos) << entry;
    EXPECT_EQ(entry.rfind("Description : evil Description : FAKE Address     : http://elsewhere/ \r\nAddress     : "
                      + Url("/a") + "\r\nDate & Time : ",
                  0),
        0u)
        << entry;
    // One entry: its four lines and nothing else.
    size_t lines = 0;
    for (char c : entry)
        lines += c == '\n';
    EXPECT_EQ(lines, 4u) << entry;
}

TEST_F(HostileRows, AnAddressTheAlertCommandWouldReadAsAnOptionRunsNothing)
{
    // Both pages become New at their check; the alert command gets each browser address as %1.
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc)
        + Insert({ 1, 1, Url("/a"), "--output=/home/user/.profile", "dash", m_now - 600 })
        + Insert({ 2, 1, Url("/b"), "http://fine.example/", "fine", m_now - 600 })
        + "UPDATE PAGES SET checkSum = 1;\n"));
    g_prefs.GetParam(kRunCmdEnable)->SetBool(true);
    g_prefs.GetParam(kRunCmdText)->SetString(QStringLiteral("/usr/bin/notify %1"));
    DesktopRequests desktop;

    m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    ASSERT_TRUE(WaitForChecks(m_frame));
    ASSERT_EQ(Sqlite(DatabasePath(), "SELECT id, status FROM PAGES ORDER BY id;"), "1|1\n2|1");
    EXPECT_EQ(desktop.Of(taluvo::shell::RequestKind::RunProgram),
        (std::vector<QStringList> { { QStringLiteral("/usr/bin/notify"), QStringLiteral("http://fine.example/") } }));
}

TEST_F(HostileRows, PagesOfAGroupWithAnUnknownSortTypeAreLeftAloneAndTheTraceSaysWhy)
{
    CTraceCapture trace(m_dir, "CMainFrame");
    ASSERT_TRUE(Start(Group(1, "Odd", 1, 9) + Group(2, "Known", 1, sortAlphabeticalAsc)
        + Insert({ 1, 1, Url("/a"), "", "in the odd group", m_now - 600 })
        + Insert({ 2, 2, Url("/b"), "", "in a known group", m_now - 600, 1, 0 })));
    // The tree shows the group without its page, as the stored sort type asks.
    ASSERT_NE(m_frame.FindGroup(1), nullptr);
    EXPECT_EQ(m_frame.FindPage(1, 1), nullptr);

    // Two ticks: the known group's page (due at every tick) is fetched each time, the other never.
    for (int tick = 0; tick < 2; ++tick) {
        m_frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
        ASSERT_TRUE(WaitForChecks(m_frame));
    }
    EXPECT_EQ(RequestedPaths(*m_server), (std::vector<std::string> { "/b", "/b" }));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT lastChecked FROM PAGES WHERE id = 1;"), std::to_string(m_now - 600));
    // Once per start, with the group and the reason.
    trace.Expect("Group 1 \"Odd\" has the unknown sort type 9");
    EXPECT_EQ(trace.Count("has the unknown sort type"), trace.Enabled() ? 1u : 0u);
}

} // namespace
