// What the check engine's window tests share: rows of a prepared database, the requests the
// program makes of the desktop (sounds, browsers, programs) and waiting for the checks to end.
#pragma once

#include "tests/engine/EngineTestSupport.h"
#include "tests/frame/FrameTestSupport.h"

#include "platform/shell/ShellHooks.h"

#include <QCoreApplication>

#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace taluvo::test {

struct PageRow {
    int id;
    int groupId;
    std::string url;
    std::string urlBrowser;
    std::string descr;
    long long lastChecked; // 4294967295: never checked
    int enable = 1;
    int interval = 60;
    int status = 3;
};

inline std::string SqlText(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

inline std::string Insert(const PageRow& p)
{
    return "INSERT INTO PAGES VALUES(" + std::to_string(p.id) + ", " + std::to_string(p.groupId) + ", " + SqlText(p.url)
        + ", " + SqlText(p.urlBrowser) + ", '', '', " + SqlText(p.descr) + ", " + std::to_string(p.lastChecked)
        + ", 4294967295, 4294967295, " + std::to_string(p.enable) + ", " + std::to_string(p.interval) + ", "
        + std::to_string(p.status) + ", 0, 0);\n";
}

inline std::string Group(int id, const std::string& title, int enable, int sortType)
{
    return "INSERT INTO GROUPS VALUES(" + std::to_string(id) + ", " + SqlText(title) + ", " + std::to_string(enable)
        + ", " + std::to_string(sortType) + ", NULL);\n";
}

// Records what the program asks of the desktop; programs are started for real unless told not to.
class DesktopRequests {
public:
    explicit DesktopRequests(bool runPrograms = false)
    {
        m_previous = taluvo::shell::SetRequestHook([this, runPrograms](const taluvo::shell::Request& r) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_requests.push_back(r);
            return !(runPrograms && r.kind == taluvo::shell::RequestKind::RunProgram);
        });
    }
    ~DesktopRequests() { taluvo::shell::SetRequestHook(m_previous); }

    std::vector<QStringList> Of(taluvo::shell::RequestKind kind) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<QStringList> found;
        for (const auto& r : m_requests)
            if (r.kind == kind)
                found.push_back(r.arguments);
        return found;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.clear();
    }

private:
    mutable std::mutex m_lock;
    std::vector<taluvo::shell::Request> m_requests;
    taluvo::shell::RequestHook m_previous;
};

// Serves the window's messages (the workers' notices among them) until no check is queued or runs.
inline bool WaitForChecks(CMainFrame& frame, std::chrono::milliseconds bound = std::chrono::seconds(20))
{
    return WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return frame.m_checks.m_ctxsRun.empty() && frame.m_checks.m_ctxsPending.empty();
        },
        bound);
}

// The page paths the server was asked for, in order.
inline std::vector<std::string> RequestedPaths(const PageServer& server)
{
    std::vector<std::string> paths;
    for (const QJsonObject& r : server.Requests()) {
        const QStringList parts = r.value(QStringLiteral("line")).toString().split(QLatin1Char(' '));
        paths.push_back(parts.value(1).toStdString());
    }
    return paths;
}

// A loopback port nothing listens on: a page there is a dead server.
inline int DeadPort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::system_error(errno, std::generic_category(), "binding a loopback port");

    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(sock);
    return ntohs(address.sin_port);
}

inline std::vector<QString> ChildLabels(CMainFrame& frame, HTREEITEM group)
{
    std::vector<QString> labels;
    for (HTREEITEM item = frame.m_mainTree.GetChildItem(group); item; item = frame.m_mainTree.GetNextSiblingItem(item))
        labels.push_back(frame.ItemLabel(item));
    return labels;
}

} // namespace taluvo::test
