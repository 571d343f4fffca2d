// The program asked to end while the alert e-mail of a changed page is still going out: the window
// gives up waiting for the mail after its own bound, and the process still lets the mail thread
// finish (bounded) before it exits, so the mail server sees the whole dialogue, QUIT included.
#include "tests/app/AppTestSupport.h"
#include "tests/support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

using namespace taluvo::test;

namespace {

// Serves one page with the same body to every request, one connection at a time.
class PagePeer {
public:
    PagePeer()
        : m_listener(ListenOnLoopback(0))
        , m_thread([this] { Serve(); })
    {
    }
    ~PagePeer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(LocalPortOf(m_listener)) + "/page"; }

private:
    void Serve()
    {
        for (;;) {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                return;
            for (std::string line = ReadPeerLine(fd); !line.empty() && line != kPeerClosed; line = ReadPeerLine(fd)) { }
            const std::string body = "<html>changed since the last check</html>";
            SayToPeer(fd,
                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size())
                    + "\r\nConnection: close\r\n\r\n" + body);
            ::close(fd);
        }
    }
    int m_listener;
    std::thread m_thread;
};

// A mail server on the program's fixed port 25 that takes a mail whole and then holds its answer
// to the end of the data until the test releases it. What it saw is kept: the mail and whether the
// client ended the dialogue with QUIT or just went away.
class HoldingSmtpPeer {
public:
    HoldingSmtpPeer()
        : m_listener(ListenOnLoopback(25))
    {
        if (m_listener >= 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~HoldingSmtpPeer()
    {
        Release();
        if (m_listener >= 0) {
            ::shutdown(m_listener, SHUT_RDWR);
            m_thread.join();
            ::close(m_listener);
        }
    }
    bool Listening() const { return m_listener >= 0; }
    // Waits (bounded: the program's first check comes a minute after its start) until a whole
    // mail has arrived and its answer is being held.
    bool WaitHolding()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::minutes(4), [this] { return m_holding; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_released = true;
        m_changed.notify_all();
    }
    // Waits (bounded) for the dialogue to end; how it ended: "QUIT" or "closed".
    std::string WaitEnd()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait_for(guard, std::chrono::minutes(1), [this] { return !m_end.empty(); });
        return m_end;
    }
    std::string Mail()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_mail;
    }

private:
    void Serve()
    {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0)
            return;
        SayToPeer(fd, "220 holding peer\r\n");
        for (;;) {
            const std::string command = ReadPeerLine(fd);
            if (command == kPeerClosed || command.rfind("QUIT", 0) == 0) {
                if (command != kPeerClosed)
                    SayToPeer(fd, "221 bye\r\n");
                std::lock_guard<std::mutex> guard(m_lock);
                m_end = command == kPeerClosed ? "closed" : "QUIT";
                m_changed.notify_all();
                break;
            }
            if (command.rfind("DATA", 0) != 0) {
                SayToPeer(fd, "250 ok\r\n");
                continue;
            }
            SayToPeer(fd, "354 go on\r\n");
            std::string mail;
            for (std::string line = ReadPeerLine(fd); line != "."; line = ReadPeerLine(fd)) {
                if (line == kPeerClosed)
                    break;
                mail += line + "\n";
            }
            std::unique_lock<std::mutex> guard(m_lock);
            m_mail = mail;
            m_holding = true;
            m_changed.notify_all();
            m_changed.wait_for(guard, std::chrono::minutes(4), [this] { return m_released; });
            guard.unlock();
            SayToPeer(fd, "250 accepted\r\n");
        }
        ::close(fd);
    }

    int m_listener;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_holding = false;
    bool m_released = false;
    std::string m_mail;
    std::string m_end;
};

TEST(AlertMailAtExit, MailUnderWayWhenTheWindowHasGoneIsFinishedBeforeTheProcessEnds)
{
    TempDir home;
    TempDir runtime;
    const std::vector<std::string> environment { "TALUVO_HOME=" + home.Path(), "XDG_RUNTIME_DIR=" + runtime.Path(),
        "QT_QPA_PLATFORM=offscreen" };
    // The trace goes to the program's trace file, with the lines of the window and of main.
    WriteFile(home.File("taluvo.ini"), "[Output]\nType=File\n[TraceLevel]\nCMainFrame=3\nTaluvo=1\n");
    const std::string database = home.File("database.db");
    const std::string trace = home.File("taluvo.trc");

    // A first run makes the database; then the settings of a user with e-mail alerts and one page
    // whose stored checksum its next check will not find.
    {
        CProgram first({ TALUVO_PROGRAM }, environment, home.File("first.txt"));
        ASSERT_TRUE(WaitUntil(ToolbarPortAnswers, std::chrono::seconds(30)));
        first.Signal(SIGTERM);
        ASSERT_EQ(first.Wait(), 1);
    }
    PagePeer page;
    HoldingSmtpPeer smtp;
    ASSERT_TRUE(smtp.Listening()) << "port 25 is taken";
    WriteFile(home.File("recipients.csv"), "one@example.com;One\n");
    ASSERT_EQ(CommandOutput("/usr/bin/python3 " TALUVO_SOURCE_DIR "/tests/app/write_prefs_record.py '" + database
                  + "' UseEMailNotification=1 SmtpServer=127.0.0.1 EMailFromAddr=watcher@example.com 'CSVFile="
                  + home.File("recipients.csv")
                  + "' AutoDetectOnline=0 WorkOffline=0 AlertSoundEnable=0 ErrorSoundEnable=0 PopupAlertEnable=0 "
                    "RecvTimeout=120 2>&1"),
        "");
    // The group is sorted by status (3); the page was last checked long enough ago to be due.
    const long long due = static_cast<long long>(std::time(nullptr)) - 1000;
    ASSERT_EQ(Sqlite(database,
                  "INSERT INTO GROUPS VALUES(1, 'Watched', 1, 3, NULL);\n"
                  "INSERT INTO PAGES VALUES(1, 1, '"
                      + page.Url() + "', '', '', '', 'Changed page', " + std::to_string(due)
                      + ", 4294967295, 1, 1, 60, 3, 0, 0);\n"),
        "");

    CProgram program({ TALUVO_PROGRAM }, environment, home.File("run.txt"));
    ASSERT_TRUE(smtp.WaitHolding()) << ReadFile(trace);
    // Asked to end while the mail server holds its answer: the window waits for the mail as long as
    // its own bound allows and then leaves the thread to end alone.
    program.Signal(SIGTERM);
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(trace).find("it ends alone") != std::string::npos; }, std::chrono::minutes(1)))
        << ReadFile(trace);
    // The answer comes only after the window has gone: a process that exits without waiting for
    // its workers is gone by then, and the mail is cut off.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    smtp.Release();

    EXPECT_EQ(program.Wait(std::chrono::minutes(1)), 1);
    EXPECT_EQ(smtp.WaitEnd(), "QUIT");
    EXPECT_NE(smtp.Mail().find("Page \"" + page.Url() + "\" was updated."), std::string::npos) << smtp.Mail();
    const std::string traced = ReadFile(trace);
    EXPECT_NE(traced.find("Sending alert message - SUCCESS"), std::string::npos) << traced;
    EXPECT_EQ(traced.find("still running at exit"), std::string::npos) << traced;
}

} // namespace
