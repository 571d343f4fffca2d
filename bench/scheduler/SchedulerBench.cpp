// The check scheduler of the main window at scale: 10,000 pages in 100 groups, all due, served on
// loopback by the benchmarks' 100 KB page server. One tick of the check timer selects and queues
// them all; the main window then checks them one after another and stores each result. Prints the
// time to select and queue, the time until the last check is stored, the mean per check, the cost
// of the per-check database write alone, and the bare fetch cost from the engine's fetch benchmark
// run beside it.
#include "bench/support/LoopbackPageServer.h"
#include "bench/support/MainWindowBench.h"
#include "core/DebugTracer.h"
#include "core/Globals.h"
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "engine/CheckResultStore.h"
#include "frame/mainfrm.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

TRACE_MODULE("SchedulerBench");

namespace {

// The number of groups may be given as the first argument (100 pages each).
int kGroups = 100;
constexpr int kPagesPerGroup = 100;
int kPages = kGroups * kPagesPerGroup;

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void MakeDatabase(const std::string& path, int port)
{
    CSqlDatabase db;
    db.open(path.c_str());
    db.execDML("BEGIN;");
    db.execDML(kCreatePagesTable);
    db.execDML(kCreateGroupsTable);
    const long long due = QDateTime::currentSecsSinceEpoch() - 3600;
    CSqlBuffer sql;
    int pageId = 1;
    for (int group = 1; group <= kGroups; ++group) {
        db.execDML(sql.format("INSERT INTO GROUPS VALUES(%d, 'GROUP %d', 1, 1, NULL);", group, group));
        for (int i = 0; i < kPagesPerGroup; ++i, ++pageId) {
            db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, 'http://127.0.0.1:%d/page%d', "
                                  "'http://127.0.0.1:%d/page%d', '', '', 'Page %05d', %lld, 4294967295, "
                                  "4294967295, 1, 600, 3, 0, 0);",
                pageId, group, port, pageId, port, pageId, pageId, due + pageId % 1000));
        }
    }
    db.execDML("COMMIT;");
    db.close();
}

// The per-check database write alone: the result's UPDATE and the row read back, as the finished
// check does them, on the same database.
double MeanStoreMs(int count)
{
    SPageCtx ctx;
    ctx.m_iStatus = statusOrdinary;
    ctx.m_dwHttpStatusCode = 200;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        ctx.m_nGroupId = static_cast<WORD>(1 + i % kGroups);
        ctx.m_nPageId = static_cast<WORD>(1 + (ctx.m_nGroupId - 1) * kPagesPerGroup + i / kGroups % kPagesPerGroup);
        ctx.m_tLastChecked = static_cast<DWORD>(QDateTime::currentSecsSinceEpoch());
        AUTO_DB_LOCKER();
        StoreCheckResult(m_db, ctx);
    }
    return Ms(Clock::now() - start) / count;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::atoi(argv[1]) > 0) {
        kGroups = std::atoi(argv[1]);
        kPages = kGroups * kPagesPerGroup;
    }
    taluvo::bench::CMainWindowBench bench(argc, argv);

    taluvo::bench::PageServer server;
    MakeDatabase(bench.DatabasePath(), server.Port());

    CMainFrame frame;
    RECT rect { 0, 0, 640, 450 };
    if (!frame.CreateEx(GetDesktopWindow(), &rect) || !m_db.opened()) {
        std::fprintf(stderr, "main window not created (is the toolbar port 6790 taken?)\n");
        return 1;
    }
    g_prefs.GetParam("WorkOffline")->SetBool(false);

    // The program's own message loop runs the checks; it ends once the lists are empty, which an
    // idle handler sees after the last finished notice.
    taluvo::bench::CChecksDone done(frame.m_checks);
    bench.Loop().AddIdleHandler(&done);
    const double cpuStart = taluvo::bench::ProcessCpuSeconds(), serverCpuStart = server.CpuSeconds();
    const auto start = Clock::now();
    frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    const auto queued = Clock::now();
    const size_t selected = frame.m_checks.m_ctxsPending.size() + frame.m_checks.m_ctxsRun.size();
    bench.Loop().Run();
    const auto finished = Clock::now();
    bench.Loop().RemoveIdleHandler(&done);
    const double cpu = (taluvo::bench::ProcessCpuSeconds() - cpuStart) - (server.CpuSeconds() - serverCpuStart);

    int stored = 0;
    {
        AUTO_DB_LOCKER();
        stored = m_db.runScalar("SELECT COUNT(*) FROM PAGES WHERE httpStatusCode = 200;");
        CSqlQuery errors = m_db.runQuery("SELECT errorCode AS code, COUNT(*) AS n FROM PAGES GROUP BY errorCode;");
        for (; !errors.eof(); errors.stepRow())
            std::printf("error code %d: %d pages\n", errors.getIntField("code"), errors.getIntField("n"));
    }
    const double store = MeanStoreMs(2000);
    frame.DestroyWindow();

    std::printf("pages due: %d in %d groups; selected and queued: %zu; stored with HTTP 200: %d\n", kPages, kGroups,
        selected, stored);
    std::printf("select and queue (one timer tick): %.1f ms (%.3f ms per page)\n", Ms(queued - start),
        Ms(queued - start) / kPages);
    std::printf("tick until the last check is stored: %.1f ms\n", Ms(finished - start));
    std::printf("mean wall time per check through the scheduler: %.3f ms\n", Ms(finished - start) / kPages);
    std::printf("mean CPU time per check through the scheduler:  %.3f ms (the server's CPU is not counted)\n",
        cpu * 1000.0 / kPages);
    std::printf("per-check database write alone (UPDATE and read back): %.3f ms\n", store);
    std::fflush(stdout);

    // The bare fetch, from the engine's fetch benchmark, to set the figures above against.
    std::printf("--- bare fetch (engine fetch benchmark, 1,000 checks of the same page) ---\n");
    std::fflush(stdout);
    const int fetch = std::system(TALUVO_BENCH_FETCH " 1000");
    return stored == kPages && fetch == 0 ? 0 : 1;
}
