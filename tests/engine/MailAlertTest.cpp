// The alert e-mail on its own thread, against a scripted mail server on loopback that says
// nothing until the test lets it.
#include "engine/MailAlert.h"

#include "core/WorkerThread.h"
#include "core/prefs/Preferences.h"

#include "tests/engine/EngineTestSupport.h"
#include "tests/support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Accepts connections one after another; each waits, silent, until released, then takes one
// mail and records the address its body names.
class SilentUntilReleasedServer {
public:
    SilentUntilReleasedServer()
    {
        m_listener = taluvo::test::ListenOnLoopback(0);
        m_port = taluvo::test::LocalPortOf(m_listener);
        m_thread = std::thread([this] { Serve(); });
    }
    ~SilentUntilReleasedServer()
    {
        Release();
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    uint16_t Port() const { return m_port; }
    void Release()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_released = true;
        m_changed.notify_all();
    }
    // Waits (bounded) until a client is connected and held silent.
    bool WaitHolding()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(30), [this] { return m_holding; });
    }
    std::vector<std::string> Bodies()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_bodies;
    }

private:
    void Serve()
    {
        for (int served = 0; served < 8; ++served) {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                return;
            {
                std::unique_lock<std::mutex> guard(m_lock);
                m_holding = true;
                m_changed.notify_all();
                m_changed.wait_for(guard, std::chrono::seconds(60), [this] { return m_released; });
            }
            Dialogue(fd);
            ::close(fd);
        }
    }
    void Dialogue(int fd)
    {
        taluvo::test::SayToPeer(fd, "220 silent until now\r\n");
        for (;;) {
            const std::string command = taluvo::test::ReadPeerLine(fd);
            if (command == taluvo::test::kPeerClosed || command.rfind("QUIT", 0) == 0) {
                taluvo::test::SayToPeer(fd, "221 bye\r\n");
                return;
            }
            if (command.rfind("DATA", 0) == 0) {
                taluvo::test::SayToPeer(fd, "354 go on\r\n");
                std::string data;
                for (std::string line = taluvo::test::ReadPeerLine(fd); line != ".";
                     line = taluvo::test::ReadPeerLine(fd)) {
                    if (line == taluvo::test::kPeerClosed)
                        return;
                    data += line + "\n";
                }
                // The address the notice names.
                const size_t start = data.find("http://");
                std::lock_guard<std::mutex> guard(m_lock);
                m_bodies.push_back(
                    start == std::string::npos ? data : data.substr(start, data.find('/', start + 7) + 1 - start));
            }
            taluvo::test::SayToPeer(fd, "250 ok\r\n");
        }
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_released = false;
    bool m_holding = false;
    std::vector<std::string> m_bodies;
};

// One recipient, a sender, and a receive time-out far beyond any wait of the tests.
void UseLoopbackServer(CPreferences& prefs)
{
    prefs.GetParam(kSmtpServer)->SetString(QStringLiteral("127.0.0.1"));
    prefs.GetParam(kRecvTimeout)->SetInt(60);
    prefs.GetParam(kEMailFromAddr)->SetString(QStringLiteral("watcher@example.com"));
    prefs.m_recipients.push_back({ QByteArray("to@example.com"), QByteArray("To") });
}

} // namespace

TEST(MailAlert, MailsGoOutOnAThreadOfTheirOwnInTheirOrder)
{
    SilentUntilReleasedServer server;
    CPreferences prefs;
    UseLoopbackServer(prefs);
    CMailAlertSender sender;
    sender.m_nPort = server.Port();

    // The server holds the first mail's connection without a word: asking for both mails returns
    // all the same, so the window that asks goes on.
    sender.Post(prefs, QStringLiteral("http://first/"));
    ASSERT_TRUE(server.WaitHolding());
    sender.Post(prefs, QStringLiteral("http://second/"));
    EXPECT_TRUE(server.Bodies().empty());
    EXPECT_EQ(sender.Finished(), 0);

    server.Release();
    ASSERT_TRUE(sender.WaitIdle(60000));
    EXPECT_EQ(sender.Finished(), 2);
    EXPECT_EQ(server.Bodies(), (std::vector<std::string> { "http://first/", "http://second/" }));
}

// A change alert whose recipients file gave nobody says so in the trace when it happens, with the
// file and the lines that hold no usable recipient; nothing is sent.
TEST(MailAlert, AnAlertThatReachesNobodyTracesTheFileAndItsLines)
{
    taluvo::test::TempDir dir;
    taluvo::test::CTraceCapture trace(dir, "CMainFrame=");
    const std::string csv = dir.File("recipients.csv");
    taluvo::test::WriteFile(csv, "ann@example.org\nbob@example.org, Bob\n");
    SilentUntilReleasedServer server;
    server.Release();
    CPreferences prefs;
    UseLoopbackServer(prefs);
    prefs.GetParam(kCSVFile)->SetString(QString::fromStdString(csv));
    prefs.m_recipients.clear();
    ASSERT_EQ(prefs.ParseCsvFile(QString::fromStdString(csv)), TRUE);
    ASSERT_TRUE(prefs.m_recipients.empty());
    CMailAlertSender sender;
    sender.m_nPort = server.Port();
    sender.Post(prefs, QStringLiteral("http://changed/"));
    ASSERT_TRUE(sender.WaitIdle(60000));
    EXPECT_TRUE(server.Bodies().empty());
    trace.Expect("The alert e-mail of \"http://changed/\" reaches nobody. The recipients file \"" + csv
        + "\" holds no usable recipient: change alerts reach nobody.");
    trace.Expect("Line 1: \"ann@example.org\" (no name after the address) Line 2: \"bob@example.org, Bob\" "
                 "(separated by commas, not by a semicolon)");
}

TEST(MailAlert, ShutdownDropsWhatHasNotStartedAndWaitsBoundedForTheRest)
{
    SilentUntilReleasedServer server;
    CPreferences prefs;
    UseLoopbackServer(prefs);
    auto sender = std::make_unique<CMailAlertSender>();
    sender->m_nPort = server.Port();
    sender->Post(prefs, QStringLiteral("http://held/"));
    sender->Post(prefs, QStringLiteral("http://dropped/"));
    ASSERT_TRUE(server.WaitHolding());
    // The held mail outlives the bound: the sender lets its thread end alone.
    sender->Shutdown(200);
    sender.reset();
    server.Release();
    ASSERT_TRUE(CWorkerThread::WaitForAllWorkers(60000));
    EXPECT_EQ(server.Bodies(), (std::vector<std::string> { "http://held/" }));
}
