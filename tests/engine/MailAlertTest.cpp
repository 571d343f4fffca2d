// The alert e-mail on its own thread, against a scripted mail server on loopback that says
// nothing until the test lets it.
#include "engine/MailAlert.h"

#include "core/WorkerThread.h"
#include "core/prefs/Preferences.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <condition_variable>
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
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        ::listen(m_listener, 8);
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
    static constexpr const char* kClosed = "\x01closed";
    std::string ReadLine(int fd)
    {
        std::string line;
        char c;
        while (::recv(fd, &c, 1, 0) == 1) {
            if (c == '\n')
                return line;
            if (c != '\r')
                line += c;
        }
        return kClosed;
    }
    void Say(int fd, const char* text) { ::send(fd, text, strlen(text), MSG_NOSIGNAL); }
    void Dialogue(int fd)
    {
        Say(fd, "220 silent until now\r\n");
        for (;;) {
            const std::string command = ReadLine(fd);
            if (command == kClosed || command.rfind("QUIT", 0) == 0) {
                Say(fd, "221 bye\r\n");
                return;
            }
            if (command.rfind("DATA", 0) == 0) {
                Say(fd, "354 go on\r\n");
                std::string data;
                for (std::string line = ReadLine(fd); line != "."; line = ReadLine(fd)) {
                    if (line == kClosed)
                        return;
                    data += line + "\n";
                }
                // The address the notice names.
                const size_t start = data.find("http://");
                std::lock_guard<std::mutex> guard(m_lock);
                m_bodies.push_back(start == std::string::npos ? data : data.substr(start, data.find('/', start + 7) + 1 - start));
            }
            Say(fd, "250 ok\r\n");
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
    prefs.GetParam("SmtpServer")->SetString(QStringLiteral("127.0.0.1"));
    prefs.GetParam("RecvTimeout")->SetInt(60);
    prefs.GetParam("EMailFromAddr")->SetString(QStringLiteral("watcher@example.com"));
    prefs.m_recipients.push_back({QByteArray("to@example.com"), QByteArray("To")});
}

}  // namespace

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
    EXPECT_EQ(server.Bodies(), (std::vector<std::string>{"http://first/", "http://second/"}));
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
    EXPECT_EQ(server.Bodies(), (std::vector<std::string>{"http://held/"}));
}
