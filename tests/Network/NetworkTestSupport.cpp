#include "tests/Network/NetworkTestSupport.h"

#include "Network/MessageHandler.h"
#include "platform/base/KernelObjects.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/UserApi.h"

#include <QJsonDocument>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nettest {

void PutLe32(QByteArray& bytes, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

QByteArray MakeHeader(DWORD type, DWORD param, DWORD payloadLength)
{
    QByteArray bytes;
    PutLe32(bytes, type);
    PutLe32(bytes, param);
    PutLe32(bytes, payloadLength);
    return bytes;
}

QByteArray MakeFrame(DWORD type, DWORD param, const QByteArray& payload)
{
    return MakeHeader(type, param, static_cast<DWORD>(payload.size())) + payload;
}

std::string Describe(const std::vector<Frame>& frames)
{
    std::string text;
    for (const Frame& f : frames)
        text += "(" + std::to_string(f.type) + "," + std::to_string(f.param) + "," + f.payload.toHex().toStdString()
            + ")";
    return text;
}

bool ServeUntil(const std::function<bool()>& condition, DWORD boundMs)
{
    // Nothing signals these conditions, so the wait wakes every few milliseconds to look again,
    // serving sends meanwhile.
    HANDLE never = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    bool held = condition();
    while (!held && std::chrono::steady_clock::now() < deadline) {
        taluvo::ui::WaitServingSends(never, 5);
        held = condition();
    }
    CloseHandle(never);
    return held;
}

ToolbarPeer::ToolbarPeer()
{
    int toPeer[2];
    int fromPeer[2];
    if (pipe2(toPeer, O_CLOEXEC) != 0 || pipe2(fromPeer, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toPeer[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromPeer[1], 1);
    const std::string script = TALUVO_NETWORK_TEST_DIR "/toolbar_peer.py";
    char python[] = "/usr/bin/python3";
    char unbuffered[] = "-u";
    std::vector<char> scriptArg(script.begin(), script.end());
    scriptArg.push_back('\0');
    char* argv[] = { python, unbuffered, scriptArg.data(), nullptr };
    if (posix_spawn(&m_pid, python, &actions, nullptr, argv, environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toPeer[0]);
    ::close(fromPeer[1]);
    m_toPeer = toPeer[1];
    m_fromPeer = fromPeer[0];
    m_lineReady = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    m_reader = std::thread([this] {
        QByteArray pending;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fromPeer, buffer, sizeof buffer);
            if (n <= 0)
                break;
            pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                std::lock_guard<std::mutex> guard(m_linesLock);
                m_lines.push_back(pending.left(end));
                pending.remove(0, end + 1);
                SetEvent(m_lineReady);
            }
        }
        std::lock_guard<std::mutex> guard(m_linesLock);
        m_lines.push_back(QByteArray()); // the peer is gone: every waiting command fails
        SetEvent(m_lineReady);
    });
}

ToolbarPeer::~ToolbarPeer()
{
    if (m_toPeer >= 0)
        ::close(m_toPeer); // the peer's loop ends at the end of its input
    if (m_pid > 0) {
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 500 && !ended; ++i) {
            ended = waitpid(m_pid, &status, WNOHANG) == m_pid;
            if (!ended)
                taluvo::ui::WaitServingSends(m_lineReady, 10);
        }
        if (!ended) {
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
    }
    if (m_reader.joinable())
        m_reader.join();
    if (m_fromPeer >= 0)
        ::close(m_fromPeer);
    if (m_lineReady)
        CloseHandle(m_lineReady);
}

QJsonObject ToolbarPeer::Command(const QJsonObject& command, DWORD boundMs)
{
    if (m_pid <= 0)
        return { { "ok", false }, { "error", "no peer" } };
    const int seq = m_nextSeq++;
    QJsonObject numbered = command;
    numbered["seq"] = seq;
    QByteArray line = QJsonDocument(numbered).toJson(QJsonDocument::Compact) + '\n';
    for (qsizetype at = 0; at < line.size();) {
        const ssize_t n = ::write(m_toPeer, line.constData() + at, static_cast<size_t>(line.size() - at));
        if (n <= 0)
            return { { "ok", false }, { "error", "peer input closed" } };
        at += n;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_linesLock);
            for (auto it = m_lines.begin(); it != m_lines.end(); ++it) {
                if (it->isEmpty())
                    return { { "ok", false }, { "error", "peer ended" } };
                QJsonObject answer = QJsonDocument::fromJson(*it).object();
                if (answer.value("seq").toInt() == seq) {
                    m_lines.erase(it);
                    return answer;
                }
            }
            // Answers to other commands stay for their waiters; the reader sets the event again
            // with the next line.
            ResetEvent(m_lineReady);
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return { { "ok", false }, { "error", "peer did not answer" } };
        taluvo::ui::WaitServingSends(m_lineReady, static_cast<DWORD>(left.count()));
    }
}

std::vector<int> ToolbarPeer::Connect(int count, WORD port)
{
    const QJsonObject reply = Command({ { "op", "connect" }, { "count", count }, { "port", port } });
    std::vector<int> ids;
    for (const auto& id : reply["ids"].toArray())
        ids.push_back(id.toInt());
    if (!reply["ok"].toBool())
        fprintf(stderr, "connect failed: %s\n", qPrintable(reply["error"].toString()));
    return ids;
}

void ToolbarPeer::Send(int id, const QByteArray& bytes, const QJsonArray& pieces, bool closeAfter)
{
    QJsonObject command { { "op", "send" }, { "id", id }, { "hex", QString::fromLatin1(bytes.toHex()) } };
    if (!pieces.isEmpty())
        command["pieces"] = pieces;
    if (closeAfter)
        command["close"] = true;
    const QJsonObject reply = Command(command);
    if (!reply["ok"].toBool())
        fprintf(stderr, "send failed: %s\n", qPrintable(reply["error"].toString()));
}

static std::vector<Frame> FramesOf(const QJsonArray& array)
{
    std::vector<Frame> frames;
    for (const auto& value : array) {

        const QJsonObject f = value.toObject();
        frames.push_back({ static_cast<DWORD>(f["type"].toInteger()), static_cast<DWORD>(f["param"].toInteger()),
            QByteArray::fromHex(f["payload"].toString().toLatin1()) });
    }
    return frames;
}

std::vector<Frame> ToolbarPeer::Read(int id, int count, double timeoutSeconds, bool* closed)
{
    const QJsonObject reply
        = Command({ { "op", "read" }, { "id", id }, { "count", count }, { "timeout", timeoutSeconds } });
    if (closed)
        *closed = reply["closed"].toBool();
    return FramesOf(reply["frames"].toArray());
}

bool ToolbarPeer::WaitClosed(int id, double timeoutSeconds, std::vector<Frame>* frames)
{
    const QJsonObject reply = Command({ { "op", "wait_closed" }, { "id", id }, { "timeout", timeoutSeconds } });
    if (frames)
        *frames = FramesOf(reply["frames"].toArray());
    return reply["closed"].toBool();
}

void ToolbarPeer::Close(int id, bool reset)
{
    Command({ { "op", "close" }, { "id", id }, { "reset", reset } });
}

QByteArray ToolbarPeer::OracleGroupsPayload(const std::string& dbPath)
{
    const QJsonObject reply = Command({ { "op", "oracle" }, { "db", QString::fromStdString(dbPath) } });
    if (!reply["ok"].toBool())
        fprintf(stderr, "oracle failed: %s\n", qPrintable(reply["error"].toString()));
    return QByteArray::fromHex(reply["payload"].toString().toLatin1());
}

LRESULT CStandInMainWnd::OnCommand(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled)
{
    if (LOWORD(wParam) != CMessageHandler::kPageAddCommand) {
        handled = FALSE;
        return 0;
    }
    Command command { HIWORD(wParam), lParam, QByteArray() };
    if (OpenClipboard(m_hWnd)) {
        if (HANDLE block = GetClipboardData(CF_TEXT)) {
            if (const void* bytes = GlobalLock(block)) {
                command.clipboard
                    = QByteArray(static_cast<const char*>(bytes), static_cast<qsizetype>(GlobalSize(block)));
                GlobalUnlock(block);
            }
        }
        CloseClipboard();
    }
    commands.push_back(command);
    if (during)
        during(command);
    return answer ? answer(command.group) : 1;
}

} // namespace nettest
