// The program's side of the comparison with a peer (bench/peer/peer_bench.py runs it): the main
// window checks the due pages of a loopback server, one timer tick at a time, and prints per round
// the wall and CPU time from the tick until the last result is stored and the peak resident memory
// of the process during the round.
//
//   bench_peer_program PORT PAGES DUE
//
// The database holds two groups of PAGES pages each: WHOLE (/full/N, always answered with the
// whole body) and COND (/cond/N, answered 304 once the program asks with If-Modified-Since). Every
// page whose number is a multiple of PAGES / DUE is due in its group's round, the others were
// checked a moment ago. A first round over both groups' due pages fills the stored results as a
// running program has them; then one round per group, each preceded by making the group's due
// pages due again. The server runs in another process, so no server CPU is counted. Output lines:
// "begin NAME" when a round starts (the script measures the process from outside meanwhile) and
// "round NAME pages N wall_ms W cpu_ms C peak_mb M stored S http200 A http304 B".
#include "bench/support/LoopbackPageServer.h"
#include "bench/support/MainWindowBench.h"
#include "core/DebugTracer.h"
#include "core/Globals.h"
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "frame/mainfrm.h"
#include "platform/base/Allocator.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

TRACE_MODULE("PeerBench");

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWholeGroup = 1;
constexpr int kCondGroup = 2;

void MakeDatabase(const std::string& path, int port, int pages)
{
    CSqlDatabase db;
    db.open(path.c_str());
    db.execDML("BEGIN;");
    db.execDML(kCreatePagesTable);
    db.execDML(kCreateGroupsTable);
    db.execDML("INSERT INTO GROUPS VALUES(1, 'WHOLE', 1, 1, NULL);");
    db.execDML("INSERT INTO GROUPS VALUES(2, 'COND', 1, 1, NULL);");
    CSqlBuffer sql;
    for (int group = kWholeGroup; group <= kCondGroup; ++group) {
        const char* kind = group == kWholeGroup ? "full" : "cond";
        for (int i = 1; i <= pages; ++i) {
            const int id = (group - 1) * pages + i;
            db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, 'http://127.0.0.1:%d/%s/%d', "
                                  "'http://127.0.0.1:%d/%s/%d', '', '', 'Page %s %d', 0, 4294967295, 4294967295, "
                                  "1, 600, 3, 0, 0);",
                id, group, port, kind, i, port, kind, i, kind, i));
        }
    }
    db.execDML("COMMIT;");
    db.close();
}

double StatusMb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
    return 0;
}

// Sets the peak resident memory back to the current one, so a round's peak is its own.
void ResetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// One timer tick over the due pages of the enabled groups, until the last result is stored.
bool Round(const char* name, CMainFrame& frame, CMessageLoop& loop, const char* enabled, int pages, int every)
{
    const uint32_t begun = static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch());
    {
        AUTO_DB_LOCKER();
        CSqlBuffer sql;
        // Not due: checked a second before the round began, well within the interval.
        m_db.execDML(sql.format("UPDATE PAGES SET lastChecked = CASE WHEN id %% %d = 0 THEN 0 ELSE %u END, "
                                "enable = (%s);",
            every, begun - 1, enabled));
    }
    std::printf("begin %s\n", name);
    std::fflush(stdout);
    ResetPeakMemory();
    taluvo::bench::CChecksDone done(frame.m_checks);
    loop.AddIdleHandler(&done);
    const double cpuStart = taluvo::bench::ProcessCpuSeconds();
    const auto start = Clock::now();
    frame.SendMessage(WM_TIMER, g_iIntervalTimerId);
    loop.Run();
    const auto finished = Clock::now();
    const double cpu = taluvo::bench::ProcessCpuSeconds() - cpuStart;
    loop.RemoveIdleHandler(&done);
    const double peak = StatusMb("VmHWM:");

    int stored = 0, ok = 0, notModified = 0;
    {
        AUTO_DB_LOCKER();
        CSqlBuffer sql;
        const char* checked = sql.format("enable = 1 AND lastChecked >= %u", begun);
        stored = m_db.runScalar((std::string("SELECT COUNT(*) FROM PAGES WHERE ") + checked + ";").c_str());
        ok = m_db.runScalar((std::string("SELECT COUNT(*) FROM PAGES WHERE httpStatusCode = 200 AND ") + checked + ";").c_str());
        notModified =
            m_db.runScalar((std::string("SELECT COUNT(*) FROM PAGES WHERE httpStatusCode = 304 AND ") + checked + ";").c_str());
    }
    std::printf("round %s pages %d wall_ms %.3f cpu_ms %.3f peak_mb %.1f stored %d http200 %d http304 %d\n", name,
        pages, std::chrono::duration<double, std::milli>(finished - start).count(), cpu * 1000.0, peak, stored, ok,
        notModified);
    std::fflush(stdout);
    return stored == pages;
}

} // namespace

int main(int argc, char** argv)
{
    // As the program does at its start.
    taluvo::TuneAllocator();
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PORT PAGES DUE\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int pages = std::atoi(argv[2]);
    const int due = std::max(1, std::min(pages, std::atoi(argv[3])));
    const int every = pages / due;
    taluvo::bench::CMainWindowBench bench(argc, argv);
    MakeDatabase(bench.DatabasePath(), port, pages);

    // Nothing reaches the desktop; every check still stores its result. A network namespace with
    // loopback alone counts as offline for the automatic detection. Set before the window exists:
    // it stores them as the new database's settings and starts its online check only when asked.
    for (const char* flag : { "PopupAlertEnable", "AlertSoundEnable", "ErrorSoundEnable", "LogEnable", "RunCmdEnable",
             "AutoDetectOnline", "WorkOffline" })
        g_prefs.GetParam(flag)->SetBool(false);
    CMainFrame frame;
    RECT rect { 0, 0, 640, 450 };
    if (!frame.CreateEx(GetDesktopWindow(), &rect) || !m_db.opened()) {
        std::fprintf(stderr, "main window not created (is the toolbar port 6790 taken?)\n");
        return 1;
    }
    if (g_prefs.GetParam("WorkOffline")->GetBool()) {
        std::fprintf(stderr, "the window works offline: no check would run\n");
        return 1;
    }

    // Page ids of the second group follow the first's, so "id % every" picks the same numbers in
    // both when every divides pages.
    const int dueEach = pages / every;
    const bool complete = Round("first", frame, bench.Loop(), "1", 2 * dueEach, every) &&
                          Round("whole", frame, bench.Loop(), "groupId = 1", dueEach, every) &&
                          Round("304", frame, bench.Loop(), "groupId = 2", dueEach, every);
    frame.DestroyWindow();
    return complete ? 0 : 1;
}
