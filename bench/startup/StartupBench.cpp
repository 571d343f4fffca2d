// Start-up and the idle minute tick of the main window at scale: databases of 10,000 pages in 100
// groups and 50,000 pages in 500 groups (half the groups in user order). For each, three runs of:
// the main window's creation until the toolbar port accepts a connection, the refilling of the
// tree alone, and one tick of the check timer when no page is due (CPU of the user-interface
// thread, which does all of that work). Prints min and median beside the targets and the ratio of
// the 50,000 figures to the 10,000 ones (5 when the cost is linear in the number of pages).
//
// The toolbar port is the fixed 6790: run in a private network namespace when another program
// may hold it (unshare -rn sh -c 'ip link set lo up && ./startup_bench').
#include "bench/support/MainWindowBench.h"
#include "core/Globals.h"
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlBinary.h"
#include "core/prefs/Preferences.h"
#include "frame/mainfrm.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPagesPerGroup = 100;
constexpr int kRuns = 3;

using Clock = std::chrono::steady_clock;

double ThreadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void MakeDatabase(const std::string& path, int groups)
{
    std::remove(path.c_str());
    CSqlDatabase db;
    db.open(path.c_str());
    db.execDML("BEGIN;");
    db.execDML(kCreatePagesTable);
    db.execDML(kCreateGroupsTable);
    CSqlBuffer sql;
    // Checked a minute ago with an interval of ten minutes: nothing is due at the tick.
    const long long checked = QDateTime::currentSecsSinceEpoch() - 60;
    int pageId = 1;
    for (int group = 1; group <= groups; ++group) {
        const int sortType = group % 2 == 0 ? sortUserOrder : 1 + group % 3;
        std::vector<unsigned char> order;
        for (int i = 0; i < kPagesPerGroup; ++i, ++pageId) {
            db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, 'http://example.test/%d', "
                                  "'http://example.test/%d', '', '', 'Page %05d of group %d', %lld, "
                                  "4294967295, 4294967295, 1, 600, %d, 0, 0);",
                pageId, group, pageId, pageId, (pageId * 7919) % 100000, group, checked, 1 + pageId % 4));
            // The user order runs backwards, so it differs from the id order.
            order.insert(order.begin(),
                { static_cast<unsigned char>(pageId & 0xFF), static_cast<unsigned char>(pageId >> 8) });
        }
        CSqlBinary binary;
        binary.assignBinary(order.data(), static_cast<int>(order.size()));
        db.execDML(sql.format("INSERT INTO GROUPS VALUES(%d, 'GROUP %d', 1, %d, %Q);", group, group, sortType,
            sortType == sortUserOrder ? binary.encodedText() : nullptr));
    }
    db.execDML("COMMIT;");
    db.close();
}

bool ToolbarPortAccepts()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(6790);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

void DrainMessages()
{
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessage(&msg);
}

struct SFigures {
    std::vector<double> startMs, startCpuMs, fillMs, tickCpuMs, tickMs;
    int items = 0;
};

double Min(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool Measure(int groups, SFigures& out)
{
    for (int run = 0; run < kRuns; ++run) {
        const double cpu0 = ThreadCpuMs();
        const auto start = Clock::now();
        auto frame = std::make_unique<CMainFrame>();
        RECT rect { 0, 0, 640, 450 };
        if (!frame->CreateEx(GetDesktopWindow(), &rect) || !m_db.opened()) {
            std::fprintf(stderr, "main window not created\n");
            return false;
        }
        // The server's thread listens by the time the creation returns; a refusal means the port
        // belongs to another program.
        if (!ToolbarPortAccepts()) {
            std::fprintf(stderr, "toolbar port 6790 does not accept: run in a private network namespace\n");
            return false;
        }
        out.startMs.push_back(Ms(Clock::now() - start));
        out.startCpuMs.push_back(ThreadCpuMs() - cpu0);
        out.items = static_cast<int>(frame->m_mainTree.GetCount());
        g_prefs.GetParam("WorkOffline")->SetBool(false);

        const auto fill = Clock::now();
        frame->LoadContent();
        out.fillMs.push_back(Ms(Clock::now() - fill));

        const double tickCpu = ThreadCpuMs();
        const auto tick = Clock::now();
        frame->SendMessage(WM_TIMER, g_iIntervalTimerId);
        out.tickMs.push_back(Ms(Clock::now() - tick));
        out.tickCpuMs.push_back(ThreadCpuMs() - tickCpu);
        if (!frame->m_checks.m_ctxsPending.empty() || !frame->m_checks.m_ctxsRun.empty()) {
            std::fprintf(stderr, "the idle tick queued checks\n");
            return false;
        }
        frame->DestroyWindow();
        DrainMessages();
        frame.reset();
    }
    return true;
}

void Print(const char* what, const std::vector<double>& small, const std::vector<double>& large, const char* target)
{
    std::printf("%-44s %9.1f / %9.1f   %9.1f / %9.1f   x%5.2f   %s\n", what, Min(small), Median(small), Min(large),
        Median(large), Median(large) / Median(small), target);
}

} // namespace

int main(int argc, char** argv)
{
    taluvo::bench::CMainWindowBench bench(argc, argv);
    const std::string database = bench.DatabasePath();

    SFigures small, large;
    MakeDatabase(database, 100);
    if (!Measure(100, small))
        return 1;
    MakeDatabase(database, 500);
    if (!Measure(500, large))
        return 1;

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("tree items: %d and %d; %d runs each; figures in ms, min / median\n", small.items, large.items, kRuns);
    std::printf("%-44s %21s   %21s   %6s   %s\n", "", "10,000 pages", "50,000 pages", "ratio", "target");
    Print("start until the toolbar port accepts (wall)", small.startMs, large.startMs, "50k < 1000 ms, ratio ~5");
    Print("start until the toolbar port accepts (CPU)", small.startCpuMs, large.startCpuMs, "");
    Print("filling the tree again (wall)", small.fillMs, large.fillMs, "ratio ~5");
    Print("idle minute tick (CPU of the UI thread)", small.tickCpuMs, large.tickCpuMs, "50k < 50 ms, ratio ~5");
    Print("idle minute tick (wall)", small.tickMs, large.tickMs, "");
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
