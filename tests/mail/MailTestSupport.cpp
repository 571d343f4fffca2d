#include "tests/mail/MailTestSupport.h"

#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <system_error>

namespace mailtest {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString Script(const char* name)
{
    return QStringLiteral(TALUVO_MAIL_TEST_DIR "/") + QString::fromLatin1(name);
}

} // namespace

QString Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QByteArray FromHex(const QString& hex)
{
    return QByteArray::fromHex(hex.toLatin1());
}

QJsonDocument RunOracle(const QJsonObject& request)
{
    QProcess process;
    process.start(kPython, { Script("oracle.py") });
    if (!process.waitForStarted(10000))
        return {};
    process.write(QJsonDocument(request).toJson(QJsonDocument::Compact));
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        fprintf(stderr, "oracle failed: %s\n", process.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput());
}

SmtpServer::SmtpServer(const QStringList& options)
{
    static int counter = 0;
    m_outPath = QString::fromStdString(taluvo::test::HomeDir()) + QStringLiteral("/smtp-%1.jsonl").arg(++counter);
    QFile::remove(m_outPath);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(kPython, QStringList { Script("smtp_server.py"), QStringLiteral("--out"), m_outPath } + options);
    if (!m_process.waitForStarted(10000))
        return;
    // The server says where it listens once it does; bounded by the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    QByteArray line;
    while (std::chrono::steady_clock::now() < deadline && !line.endsWith('\n')) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(1000))
            continue;
        line += m_process.readLine();
    }
    if (line.startsWith("READY "))
        m_port = static_cast<uint16_t>(line.mid(6).trimmed().toUInt());
    else
        fprintf(stderr, "SMTP server did not start: state %d, exit %d, output \"%s\"\n", m_process.state(),
            m_process.exitCode(), line.constData());
}

SmtpServer::~SmtpServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::vector<SmtpServer::Received> SmtpServer::Messages() const
{
    std::vector<Received> result;
    QFile file(m_outPath);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        Received received;
        received.from = record.value(QStringLiteral("from")).toString();
        for (const auto& to : record.value(QStringLiteral("to")).toArray())
            received.to.append(to.toString());
        received.data = QByteArray::fromBase64(record.value(QStringLiteral("data")).toString().toLatin1());
        result.push_back(received);
    }
    return result;
}

void ScriptPeer::Send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string ScriptPeer::ReadLine(std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            return line;
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd fd { m_fd, POLLIN, 0 };
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        m_buffer.append(buffer, static_cast<size_t>(n));
    }
}

std::string ScriptPeer::ReadData(std::chrono::milliseconds bound)
{
    std::string data;
    for (;;) {
        const size_t before = lines.size();
        const std::string line = ReadLine(bound);
        if (lines.size() == before)
            return data;
        data += line + "\r\n";
        if (line == ".")
            return data;
    }
}

void ScriptPeer::Pause(std::chrono::milliseconds delay)
{
    std::this_thread::sleep_for(delay);
}

void ScriptPeer::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

ScriptedServer::ScriptedServer(std::function<void(ScriptPeer&)> script, int receiveBuffer)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::system_error(errno, std::generic_category(), "binding the scripted server");

    socklen_t len = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &len);
    m_port = ntohs(address.sin_port);
    ::listen(m_listener, 4);
    m_thread = std::thread([this, script = std::move(script)] {
        pollfd fd { m_listener, POLLIN, 0 };
        while (!m_stop && ::poll(&fd, 1, 100) == 0) { }
        if (m_stop)
            return;
        const int connection = ::accept(m_listener, nullptr, nullptr);
        if (connection < 0)
            return;
        const int one = 1;
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ScriptPeer peer(connection);
        script(peer);
        peer.Close();
        m_lines = peer.lines;
    });
}

ScriptedServer::~ScriptedServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listener);
}

std::vector<std::string> ScriptedServer::Join()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_lines;
}

} // namespace mailtest
