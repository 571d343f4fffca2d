// Fetch cost of one page check: 1,000 sequential checks of a 100 KB page served on loopback,
// each by its own fetch worker, as the scheduler runs them. Prints the mean wall and CPU time per
// check. The server is a small thread of this program; its own CPU time is left out of the figure.
#include "core/prefs/Preferences.h"
#include "engine/Updater.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/UserApi.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// Answers every request on a connection with the same 100 KB page, keeping connections open.
class PageServer {
public:
    PageServer()
    {
        std::string body;
        while (body.size() < 100 * 1024)
            body += "<p>Line of a watched page with some text in it, number " + std::to_string(body.size()) + "</p>\n";
        m_response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\n\r\n" + body;
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 64);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~PageServer()
    {
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        m_thread.join();
    }
    int Port() const { return m_port; }
    double CpuSeconds() const { return m_cpu.load(); }

private:
    void Serve()
    {
        for (;;) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0)
                break;
            std::thread([this, client] {
                const double start = ThreadCpuSeconds();
                std::string request;
                char buffer[4096];
                for (;;) {
                    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    request.append(buffer, static_cast<size_t>(n));
                    size_t end;
                    while ((end = request.find("\r\n\r\n")) != std::string::npos) {
                        request.erase(0, end + 4);
                        send(client, m_response.data(), m_response.size(), MSG_NOSIGNAL);
                    }
                }
                close(client);
                AddCpu(ThreadCpuSeconds() - start);
            }).detach();
        }
    }
    void AddCpu(double seconds)
    {
        double current = m_cpu.load();
        while (!m_cpu.compare_exchange_weak(current, current + seconds)) {
        }
    }

    std::string m_response;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<double> m_cpu{0.0};
};

class CSink : public CWindowImpl<CSink> {
public:
    HANDLE finished = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    BEGIN_MSG_MAP(CSink)
    MESSAGE_HANDLER(WM_UPDATER_NOTIFY, OnNotify)
    END_MSG_MAP()
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        if (LOWORD(lParam) == stateFinished)
            SetEvent(finished);
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const int checks = argc > 1 ? std::atoi(argv[1]) : 1000;
    taluvo::ui::CUiApplication app(argc, argv);
    PageServer server;
    CSink sink;
    sink.Create(nullptr);
    CPreferences prefs;
    HINTERNET session = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallback(session, &CUpdater::WinInetCallback);
    const QString url = QStringLiteral("http://127.0.0.1:%1/page").arg(server.Port());

    auto runOne = [&]() -> bool {
        SPageCtx ctx;
        ctx.Reset();
        ctx.m_hNotifyWnd = sink.m_hWnd;
        ResetEvent(sink.finished);
        CUpdater updater(session, &ctx, url, &prefs);
        updater.Start();
        taluvo::ui::WaitServingSends(sink.finished, 30000);
        updater.Wait(INFINITE);
        return ctx.m_dwHttpStatusCode == 200 && ctx.m_strHtml.size() > 100000;
    };
    for (int i = 0; i < 20; ++i)
        runOne();  // warm-up: connection pool, code paths

    int ok = 0;
    const double cpuStart = ProcessCpuSeconds(), serverStart = server.CpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int i = 0; i < checks; ++i)
        ok += runOne() ? 1 : 0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = (ProcessCpuSeconds() - cpuStart) - (server.CpuSeconds() - serverStart);
    InternetCloseHandle(session);
    std::printf("page checks: %d of %d fetched whole (100 KB page, loopback)\n", ok, checks);
    std::printf("mean wall time per check: %.3f ms (target < 3 ms)\n", wall * 1000.0 / checks);
    std::printf("mean CPU time per check:  %.3f ms (target < 0.7 ms; the server's CPU is not counted)\n",
                cpu * 1000.0 / checks);
    return ok == checks ? 0 : 1;
}
