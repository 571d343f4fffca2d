// With the process's descriptor table nearly full and a crowd of connections at the toolbar port,
// the checks still get the descriptors they need, and the toolbar server serves again once the
// crowd has gone.
#include "tests/Network/NetworkTestSupport.h"
#include "tests/frame/CheckTestSupport.h"

#include "Network/Listener.h"
#include "core/prefs/Preferences.h"
#include "engine/Scheduler.h"
#include "platform/base/Process.h"

#include <sys/resource.h>

TRACE_MODULE("FrameTest");

using namespace taluvo::test;

namespace {

constexpr WORD kToolbarPort = 6790;

// The soft descriptor limit of this test's process lowered to what is open now plus a headroom,
// and given back at the end.
class LoweredDescriptorLimit {
public:
    explicit LoweredDescriptorLimit(size_t headroom)
    {
        getrlimit(RLIMIT_NOFILE, &m_given);
        rlimit lowered = m_given;
        lowered.rlim_cur = m_given.rlim_cur - taluvo::DescriptorsLeft() + headroom;
        m_lowered = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~LoweredDescriptorLimit() { setrlimit(RLIMIT_NOFILE, &m_given); }
    LoweredDescriptorLimit(const LoweredDescriptorLimit&) = delete;
    LoweredDescriptorLimit& operator=(const LoweredDescriptorLimit&) = delete;
    bool Lowered() const { return m_lowered; }

private:
    rlimit m_given {};
    bool m_lowered = false;
};

class DescriptorTable : public MainFrameTest {
protected:
    void SetUp() override
    {
        MainFrameTest::SetUp();
        m_server = std::make_unique<PageServer>(m_dir, "pages");
        m_server->SetRoutes({ { QStringLiteral("/a"), Page(QStringLiteral("page a")) } });
        g_prefs.GetParam(kPopupAlertEnable)->SetBool(false);
        g_prefs.GetParam(kAlertSoundEnable)->SetBool(false);
        g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
    }
    void TearDown() override
    {
        MainFrameTest::TearDown();
        m_server.reset();
    }
    std::string Stored() { return Sqlite(DatabasePath(), "SELECT status, checkSum FROM PAGES;"); }

    TempDir m_dir;
    std::unique_ptr<PageServer> m_server;
};

TEST_F(DescriptorTable, ACrowdAtTheToolbarPortLeavesDescriptorsForTheChecks)
{
    const std::string url = m_server->Url(QStringLiteral("/a")).toStdString();
    ASSERT_EQ(Sqlite(DatabasePath(),
                  SchemaSql() + Group(1, "G", 1, sortAlphabeticalAsc) + "INSERT INTO PAGES VALUES(1, 1, " + SqlText(url)
                      + ", " + SqlText(url) + ", '', '', 'a', 1000, 4294967295, 1, 1, 600, 3, 0, 0);\n"),
        "");
    ASSERT_TRUE(Create());
    ASSERT_TRUE(g_pListener);
    const std::string before = Stored();
    // The crowd and the toolbar are processes of their own, started while descriptors are plenty.
    auto crowd = std::make_unique<nettest::ToolbarPeer>();
    nettest::ToolbarPeer toolbar;

    const LoweredDescriptorLimit limit(200);
    ASSERT_TRUE(limit.Lowered());
    const std::vector<int> ids = crowd->Connect(300, kToolbarPort);
    ASSERT_EQ(ids.size(), 300u);
    // Every connection is dealt with, greeted or closed at once; none waits for a descriptor.
    const QJsonObject fates = crowd->Command({ { "op", "fates" }, { "timeout", 60 } });
    EXPECT_GT(fates["greeted"].toInt(), 0);
    EXPECT_EQ(fates["greeted"].toInt() + fates["closed"].toInt(), 300);

    // A check while the crowd is held: it fetches and stores its result.
    const SCheckSource source { m_db, g_dbMutex, m_frame, g_hInternet.Get(), &g_prefs };
    QueueGroupPages(source, m_frame.m_checks, 1, sortAlphabeticalAsc);
    ASSERT_TRUE(WaitForChecks(m_frame));
    DrainMessages();
    EXPECT_EQ(RequestedPaths(*m_server), std::vector<std::string> { "/a" });
    EXPECT_NE(Stored(), before);
    EXPECT_TRUE(m_messages.empty());

    // The crowd goes; under the same limit a toolbar gets its groups list.
    crowd.reset();
    ASSERT_TRUE(nettest::ServeUntil([] { return g_pListener->GetHandlerCount() == 0; }));
    const std::vector<int> bar = toolbar.Connect(1, kToolbarPort);
    ASSERT_EQ(bar.size(), 1u);
    const std::vector<nettest::Frame> first = toolbar.Read(bar[0], 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].type, MSG_GROUPS_DATA);
}

} // namespace
