// Shared pieces of the toolbar server tests: Python toolbars driven line by line, frames, and a
// stand-in main window that answers the page add command.
#pragma once

#include "Network/Listener.h"
#include "platform/ui/AtlWin.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

struct Frame {
    DWORD type = 0;
    DWORD param = 0;
    QByteArray payload;
    bool operator==(const Frame& other) const = default;
};

QByteArray MakeFrame(DWORD type, DWORD param, const QByteArray& payload = QByteArray());
// A frame whose header announces a length that need not match what follows.
QByteArray MakeHeader(DWORD type, DWORD param, DWORD payloadLength);
std::string Describe(const std::vector<Frame>& frames);

// Waits with a bound on the user-interface thread, serving sent messages, until the condition
// holds; true when it did.
bool ServeUntil(const std::function<bool()>& condition, DWORD boundMs = 20000);

// /usr/bin/python3 running toolbar_peer.py: each command is one JSON line, answered by one line
// that carries the command's number. The waits serve sent messages, so the test's thread keeps
// acting as the user-interface thread, and a command may be given from inside a message handler
// while another waits for its answer.
class ToolbarPeer {
public:
    ToolbarPeer();
    ~ToolbarPeer();
    ToolbarPeer(const ToolbarPeer&) = delete;
    ToolbarPeer& operator=(const ToolbarPeer&) = delete;

    QJsonObject Command(const QJsonObject& command, DWORD boundMs = 120000);

    std::vector<int> Connect(int count, WORD port);
    void Send(int id, const QByteArray& bytes, const QJsonArray& pieces = {}, bool closeAfter = false);
    std::vector<Frame> Read(int id, int count, double timeoutSeconds = 20, bool* closed = nullptr);
    bool WaitClosed(int id, double timeoutSeconds, std::vector<Frame>* frames = nullptr);
    void Close(int id, bool reset = false);
    QByteArray OracleGroupsPayload(const std::string& dbPath);

private:
    int m_pid = -1;
    int m_toPeer = -1;
    int m_fromPeer = -1;
    HANDLE m_lineReady = nullptr;
    std::mutex m_linesLock;
    std::deque<QByteArray> m_lines;
    int m_nextSeq = 0;
    std::thread m_reader;
};

// The main window's part of an add request: WM_COMMAND 32779 with TOOLBAR_REQUEST_TAG.
class CStandInMainWnd : public CWindowImpl<CStandInMainWnd> {
public:
    struct Command {
        WORD group;
        LPARAM tag;
        QByteArray clipboard; // the CF_TEXT block, every byte of it
    };

    BEGIN_MSG_MAP(CStandInMainWnd)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()

    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled);

    std::vector<Command> commands;
    // The answer for a group (default 1), and what else runs in the command.
    std::function<LRESULT(WORD group)> answer;
    std::function<void(const Command&)> during;
};

} // namespace nettest
