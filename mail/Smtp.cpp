#include "mail/Smtp.h"

#include "core/Conversion.h"
#include "mail/Base64Coder.h"

#include <QStringList>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <new>
#include <vector>

namespace net = taluvo::net;

namespace {

constexpr int kPieceSize = 1024;
// A reply longer than this is not an SMTP reply: the dialogue is abandoned.
constexpr qsizetype kMaxReplyBytes = qsizetype(64) * 1024;
// MAIL FROM answered with 530 is tried again after a login at most this many times.
constexpr int kMaxMailFromRetries = 2;
// A refused login (535) that the warning hook wants retried starts over at most this many times.
constexpr int kMaxLoginRestarts = 3;

// The code of a reply line as atoi reads its first three characters; -1 for a line too short to
// hold one. A line of exactly three digits is a whole reply (RFC 5321 allows the text to be absent).
int ReplyCode(const QByteArray& line)
{
    if (line.size() < 3
        || (line.size() == 3
            && !(std::isdigit(static_cast<unsigned char>(line[0])) && std::isdigit(static_cast<unsigned char>(line[1]))
                && std::isdigit(static_cast<unsigned char>(line[2])))))
        return -1;
    const QByteArray head = line.left(3);
    qsizetype i = 0;
    while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i])))
        ++i;
    bool negative = false;
    if (i < head.size() && (head[i] == '+' || head[i] == '-'))
        negative = head[i++] == '-';
    int value = 0;
    while (i < head.size() && std::isdigit(static_cast<unsigned char>(head[i])))
        value = value * 10 + (head[i++] - '0');
    return negative ? -value : value;
}

// Transparency (RFC 5321 4.5.2): a line that begins with a period gets a second one, and the
// text ends with the line that holds only a period.
QByteArray DotStuffed(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 64 + 8);
    if (text.startsWith('.'))
        out += '.';
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '.')
            out += '.';
    }
    out += text.endsWith("\r\n") || text.isEmpty() ? ".\r\n" : "\r\n.\r\n";
    return out;
}

bool IsSafeInCommand(const QString& text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) && !text.contains(QChar(u'\0'));
}

QString ComputerName()
{
    char name[256] = {};
    if (net::gethostname(name, sizeof name) != 0 || !name[0])
        return QStringLiteral("localhost");
    return CAnsiToWide(QByteArray(name).left(63)).Get();
}

QString Base64Line(const QString& text)
{
    const QByteArray bytes = CWideToAnsi(text).Get();
    CBase64Coder coder;
    coder.Encode(reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<DWORD>(bytes.size()));
    return QString::fromLatin1(coder.GetEncodedBuffer(), coder.GetEncodedLength()) + QLatin1String("\r\n");
}

} // namespace

CSmtp::CSmtp()
{
    servent* service = net::getservbyname("smtp", "tcp");
    m_nPort = service ? static_cast<uint16_t>(service->s_port) : htons(25);
}

CSmtp::~CSmtp()
{
    Disconnect();
    if (m_hEvent)
        CloseHandle(m_hEvent);
}

BOOL CSmtp::OnWarning(int, const QString&)
{
    return FALSE;
}
BOOL CSmtp::OnError(int, const QString&)
{
    return FALSE;
}
void CSmtp::OnCommandResponse(const QString&, int, const QString&) { }
BOOL CSmtp::OnSendProgress(const char*, DWORD, DWORD)
{
    return TRUE;
}

DWORD CSmtp::Milliseconds(int seconds) const
{
    return static_cast<DWORD>(std::clamp(seconds, 0, 24 * 3600)) * 1000u;
}

void CSmtp::RaiseError(int code)
{
    if (code == -1)
        m_bConnected = FALSE;
    OnError(code, m_strLastResponse);
}

BOOL CSmtp::RaiseWarning(int code)
{
    return OnWarning(code, m_strLastResponse);
}

int CSmtp::SendBytes(const QByteArray& bytes)
{
    const DWORD total = static_cast<DWORD>(bytes.size());
    DWORD sent = 0;
    while (sent < total) {
        ResetEvent(m_hEvent);
        const int piece = static_cast<int>(std::min<DWORD>(total - sent, kPieceSize));
        const int n = net::send(m_hSocket, bytes.constData() + sent, piece, 0);
        if (n == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                m_bBroken = true;
                return error;
            }
            if (WaitForSingleObject(m_hEvent, Milliseconds(m_nSendTimeout)) != WAIT_OBJECT_0) {
                m_bBroken = true;
                return static_cast<int>(ERROR_TIMEOUT);
            }
        } else {
            sent += static_cast<DWORD>(n);
        }
        if (total > kPieceSize && !OnSendProgress(bytes.constData(), sent, total)) {
            m_bBroken = true; // the server holds half a command
            return -1;
        }
    }
    return 0;
}

int CSmtp::ReadReply(const QString& command)
{
    // A reply is every line up to the first one that is not a continuation ("250-..."): all of
    // it is read, and what follows it stays for the next reply.
    std::vector<QByteArray> lines;
    bool complete = false;
    auto takeLines = [&] {
        qsizetype end;
        while (!complete && (end = m_pending.indexOf('\n')) >= 0) {
            QByteArray line = m_pending.left(end);
            if (line.endsWith('\r'))
                line.chop(1);
            m_pending.remove(0, end + 1);
            complete = !(line.size() >= 4 && line[3] == '-');
            lines.push_back(line);
        }
    };
    takeLines();
    char buffer[kPieceSize];
    // The whole reply must come within the receive time-out: a server that trickles continuation
    // lines must not hold the caller longer than one that says nothing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds(m_nRecvTimeout));
    while (!complete) {
        if (m_pending.size() + lines.size() * 80 > kMaxReplyBytes)
            break;
        ResetEvent(m_hEvent);
        const int n = net::recv(m_hSocket, buffer, sizeof buffer, 0);
        if (n == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                m_bBroken = true;
                return error;
            }
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || WaitForSingleObject(m_hEvent, static_cast<DWORD>(left.count())) != WAIT_OBJECT_0)
                break;
            continue;
        }
        if (n == 0)
            break;
        m_pending.append(buffer, n);
        takeLines();
        if (!complete && std::chrono::steady_clock::now() >= deadline)
            break;
    }
    if (!complete) {
        // No whole reply: the server is silent, gone, or not speaking SMTP. What arrived is kept
        // as the reply text for the hooks.
        m_bBroken = true;
        if (!m_pending.isEmpty())
            lines.push_back(m_pending);
        m_pending.clear();
    }
    QByteArray text;
    for (const QByteArray& line : lines) {
        if (&line != &lines.front())
            text += "\r\n";
        text += line;
    }
    m_strLastResponse = CAnsiToWide(text).Get();
    const int code = complete && !lines.empty() ? ReplyCode(lines.front()) : -1;
    if (code == -1)
        return -1;
    OnCommandResponse(command, code, m_strLastResponse);
    return code;
}

int CSmtp::SendCommand(const QString& command)
{
    if (m_bBroken)
        return -1;
    if (!command.isNull()) {
        QByteArray bytes;
        try {
            bytes = CWideToAnsi(command).Get();
        } catch (const std::bad_alloc&) {
            return static_cast<int>(ERROR_NOT_ENOUGH_MEMORY);
        }
        if (const int rc = SendBytes(bytes))
            return rc;
    }
    return ReadReply(command);
}

BOOL CSmtp::Connect(const QString& server)
{
    try {
        const QByteArray host = CWideToAnsi(server).Get();
        Disconnect();
        in_addr_t address = net::inet_addr(host.constData());
        if (address == INADDR_NONE) {
            hostent* entry = host.isEmpty() ? nullptr : net::gethostbyname(host.constData());
            if (!entry || !entry->h_addr_list[0])
                return FALSE;
            std::memcpy(&address, entry->h_addr_list[0], std::min<size_t>(entry->h_length, sizeof address));
        }
        m_hSocket = net::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (m_hSocket == INVALID_SOCKET)
            return FALSE;
        if (m_hEvent)
            CloseHandle(m_hEvent);
        m_hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        if (!m_hEvent)
            return FALSE;
        if (net::WSAEventSelect(m_hSocket, m_hEvent, FD_READ | FD_WRITE | FD_CONNECT) != 0)
            return FALSE;
        sockaddr_in peer {};
        peer.sin_family = AF_INET;
        peer.sin_port = m_nPort;
        peer.sin_addr.s_addr = address;
        if (net::connect(m_hSocket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                return FALSE;
            if (WaitForSingleObject(m_hEvent, Milliseconds(m_nConnectTimeout)) != WAIT_OBJECT_0)
                return FALSE;
        }
        m_pending.clear();
        m_bBroken = false;
        const int greeting = SendCommand(QString());
        if (greeting != 220) {
            RaiseError(greeting);
            Disconnect();
            return FALSE;
        }
        if (SendHello() != 0) {
            Disconnect();
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

int CSmtp::SendHello()
{
    QString line = QStringLiteral("EHLO %1\r\n").arg(ComputerName());
    int code = -1;
    m_bEsmtp = FALSE;
    m_b8BitMime = false;
    if (m_bUseEhlo) {
        code = SendCommand(line);
        m_bEsmtp = code == 250;
        // Each line after the first names an extension: "250-8BITMIME" or "250 8BITMIME".
        if (m_bEsmtp)
            for (const QString& reply : m_strLastResponse.split(QStringLiteral("\r\n")).mid(1))
                if (reply.mid(4)
                        .trimmed()
                        .section(QLatin1Char(' '), 0, 0)
                        .compare(QLatin1String("8BITMIME"), Qt::CaseInsensitive)
                    == 0)
                    m_b8BitMime = true;
    }
    if (!m_bEsmtp) {
        line[0] = QLatin1Char('H');
        line[1] = QLatin1Char('E');
        code = SendCommand(line);
    }
    if (code != 250) {
        RaiseError(code);
        return code;
    }
    m_bConnected = TRUE;
    if (m_bEsmtp)
        SendAuthLogin();
    return 0;
}

int CSmtp::SendAuthLogin()
{
    if (m_strUser.isEmpty())
        return 0;
    int code = 0;
    for (int restarts = 0;; ++restarts) {
        code = SendCommand(QStringLiteral("AUTH LOGIN\r\n"));
        if (code != 334) {
            RaiseWarning(code);
            return code;
        }
        bool restart = false;
        while (code == 334) {
            // The prompt is the base64 text after "334 " of the reply's first line. Servers word
            // it differently ("Username:", "User Name"); an empty or unknown prompt cancels the
            // exchange, so the server does not take the next command for an answer.
            const QString firstLine = m_strLastResponse.section(QStringLiteral("\r\n"), 0, 0);
            const QByteArray encoded = CWideToAnsi(firstLine.mid(4)).Get();
            CBase64Coder coder;
            coder.Decode(reinterpret_cast<const BYTE*>(encoded.constData()), static_cast<DWORD>(encoded.size()));
            QString prompt = coder.GetDecodedBuffer()
                ? CAnsiToWide(reinterpret_cast<const char*>(coder.GetDecodedBuffer())).Get().trimmed()
                : QString();
            if (prompt.endsWith(QLatin1Char(':')))
                prompt.chop(1);
            prompt.remove(QLatin1Char(' '));
            QString answer;
            if (prompt.compare(QLatin1String("Username"), Qt::CaseInsensitive) == 0)
                answer = Base64Line(m_strUser);
            else if (prompt.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
                answer = Base64Line(m_strPassword);
            if (answer.isEmpty()) {
                SendCommand(QStringLiteral("*\r\n"));
                code = 334;
                break;
            }
            code = SendCommand(answer);
            if (code == 535) {
                restart = RaiseWarning(535) && restarts < kMaxLoginRestarts;
                break;
            }
        }
        if (!restart)
            break;
    }
    if (code != 235) {
        RaiseError(code);
        return code;
    }
    return 0;
}

int CSmtp::SendMailFrom(const QString& address, bool eightBit)
{
    const QString line
        = QStringLiteral("MAIL FROM: <%1>%2\r\n").arg(address, eightBit ? QStringLiteral(" BODY=8BITMIME") : QString());
    int code = SendCommand(line);
    // A server that wants a login first says 530; without a user name a login cannot change that.
    for (int retry = 0; code == 530 && !m_strUser.isEmpty() && retry < kMaxMailFromRetries; ++retry) {
        SendAuthLogin();
        code = SendCommand(line);
    }
    if (code != 250) {
        RaiseError(code);
        return code;
    }
    return 0;
}

int CSmtp::SendRcptTo(const QString& address)
{
    const int code = SendCommand(QStringLiteral("RCPT TO: <%1>\r\n").arg(address));
    if (code == 250 || code == 251)
        return 0;
    RaiseWarning(code);
    return code;
}

int CSmtp::SendData(const QString& rendered)
{
    int code = SendCommand(QStringLiteral("DATA\r\n"));
    if (code != 354) {
        RaiseError(code);
        return code;
    }
    if (m_bBroken)
        return -1;
    QByteArray text;
    try {
        text = DotStuffed(CWideToAnsi(rendered).Get());
    } catch (const std::bad_alloc&) {
        return static_cast<int>(ERROR_NOT_ENOUGH_MEMORY);
    }
    code = SendBytes(text);
    if (code == 0)
        code = ReadReply(CAnsiToWide(text).Get());
    if (code != 250) {
        RaiseError(code);
        return code;
    }
    return 0;
}

int CSmtp::SendQuit()
{
    const int code = SendCommand(QStringLiteral("QUIT\r\n"));
    if (code != 221)
        RaiseError(code);
    m_bConnected = FALSE;
    return code == 221 ? 0 : code;
}

int CSmtp::SendMessage(CSmtpMsg& message)
{
    try {
        if (message.m_from.m_strAddress.isEmpty() || (message.m_to.m_strAddress.isEmpty() && message.m_cc.empty()))
            return -1;
        // Addresses go into command lines: a line break there would smuggle in commands.
        std::vector<QString> recipients;
        if (!message.m_to.m_strAddress.isEmpty())
            recipients.push_back(message.m_to.m_strAddress);
        for (const auto* list : { &message.m_cc, &message.m_bcc })
            for (const CSmtpMsgAddress& a : *list)
                recipients.push_back(a.m_strAddress);
        if (!IsSafeInCommand(message.m_from.m_strAddress))
            return -1;
        for (const QString& recipient : recipients)
            if (!IsSafeInCommand(recipient))
                return -1;
        // Rendered before anything is sent, so a message that cannot be rendered sends nothing.
        // 8bit parts only to a server that takes them; to others they go quoted-printable.
        message.m_allow8Bit = m_b8BitMime;
        QString rendered;
        if (!message.Render(rendered))
            return -1;

        if (const int rc = SendMailFrom(message.m_from.m_strAddress, message.m_has8Bit))
            return rc;
        int accepted = 0, last = 0;
        for (const QString& recipient : recipients) {
            last = SendRcptTo(recipient);
            if (last == 0)
                ++accepted;
        }
        if (accepted == 0) {
            RaiseError(last);
            return last;
        }
        return SendData(rendered);
    } catch (const std::bad_alloc&) {
        return static_cast<int>(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int CSmtp::SendMessage(
    const QString& from, const QString& to, const QString& subject, const QString& body, const char16_t* attachments)
{
    std::vector<QString> paths;
    for (const char16_t* p = attachments; p && *p; p += std::char_traits<char16_t>::length(p) + 1)
        paths.push_back(QString::fromUtf16(p));
    return SendMessage(
        CSmtpMsgAddress(from), CSmtpMsgAddress(to), subject, body, paths.data(), static_cast<int>(paths.size()));
}

int CSmtp::SendMessage(const CSmtpMsgAddress& from, const CSmtpMsgAddress& to, const QString& subject,
    const QString& body, const QString* attachments, int count)
{
    CSmtpMsg message;
    message.m_from = from;
    message.m_to = to;
    message.m_strSubject = subject;
    message.m_bodies.push_back(
        CSmtpMsgBody(body, QStringLiteral("text/plain"), QStringLiteral("iso-8859-1"), encodingGuess));
    for (int i = count - 1; attachments && i >= 0; --i) {
        CSmtpMsgAttachment attachment(nullptr, nullptr, FALSE, nullptr, u"iso-8859-1", encodingGuess);
        attachment = attachments[i];
        message.m_attachments.push_back(attachment);
    }
    return SendMessage(message);
}

void CSmtp::Disconnect()
{
    if (m_hSocket != INVALID_SOCKET) {
        if (m_bConnected && !m_bBroken)
            SendQuit();
        if (m_hEvent) {
            net::WSAEventSelect(m_hSocket, m_hEvent, 0);
            CloseHandle(m_hEvent);
            m_hEvent = nullptr;
        }
        net::shutdown(m_hSocket, SD_BOTH);
        net::closesocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
    m_bConnected = FALSE;
    m_bBroken = false;
    m_pending.clear();
}
