// Peers of the mail tests: Python's standard library as an oracle, a real SMTP server (aiosmtpd)
// and a scripted server for the replies a real one cannot be told to give.
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mailtest {

// Runs tests/mail/oracle.py with the request and returns its JSON answer (null on failure).
QJsonDocument RunOracle(const QJsonObject& request);

QString Hex(const QByteArray& bytes);
QByteArray FromHex(const QString& hex);

// aiosmtpd started on a free loopback port; stopped (and waited for) on destruction.
class SmtpServer {
public:
    explicit SmtpServer(const QStringList& options = {});
    ~SmtpServer();
    bool Started() const { return m_port != 0; }
    uint16_t Port() const { return m_port; }
    struct Received {
        QString from;
        QStringList to;
        QByteArray data;
    };
    std::vector<Received> Messages() const;

private:
    QProcess m_process;
    QString m_outPath;
    uint16_t m_port = 0;
};

// One connection's other end, as the scripted server sees it.
class ScriptPeer {
public:
    explicit ScriptPeer(int fd)
        : m_fd(fd)
    {
    }
    void Send(const std::string& bytes);
    // The next line without its line end; empty when the client closed or nothing came in time.
    std::string ReadLine(std::chrono::milliseconds bound = std::chrono::seconds(10));
    // Everything up to and including the line that holds only a period.
    std::string ReadData(std::chrono::milliseconds bound = std::chrono::seconds(10));
    void Pause(std::chrono::milliseconds delay);
    void Close();
    std::vector<std::string> lines; // every line read, in order

private:
    int m_fd;
    std::string m_buffer;
};

// Accepts one connection on a free loopback port and runs the script on it in its own thread.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(ScriptPeer&)> script, int receiveBuffer = 0);
    ~ScriptedServer();
    uint16_t Port() const { return m_port; }
    // Waits for the script to end; the lines the server read.
    std::vector<std::string> Join();

private:
    int m_listener = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::vector<std::string> m_lines;
    std::atomic<bool> m_stop { false };
};

} // namespace mailtest
