// Fetch cost of one page check: 1,000 sequential checks of a 100 KB page served on loopback,
// each by its own fetch worker, as the scheduler runs them. Prints the mean wall and CPU time per
// check. The server is a small thread of this program; its own CPU time is left out of the figure.
#include "bench/support/LoopbackPageServer.h"
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

using taluvo::bench::PageServer;
using taluvo::bench::ProcessCpuSeconds;

namespace {

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
