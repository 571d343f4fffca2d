// The program as a user runs it: the `taluvo` executable started on a prepared database, its CPU
// read from outside through /proc. Three figures, each over three runs (min / median):
//
//   start   exec until the toolbar port accepts, trees of 10,000 and 50,000 pages (100 pages a
//           group, half the groups in user order), none New, nothing due: process start included.
//   idle    CPU of the process while it sits idle with 50,000 pages, nothing due, none New (after
//           the start has settled), as a share of one core.
//   check   CPU per check at the first minute tick: 200 due pages of 90 KB on a loopback server in
//           this process, in trees of 1,000 and 50,000 pages, none New, for each way of sorting the
//           groups (--sort): "today" (one group in six by status, the others by name or in user
//           order), "status" (every group by status) and "none" (no group by status). The CPU from
//           just before the first request to the moment the 200th result is in the database, over
//           200; the idle handler runs after every message meanwhile, as it does for a user. A
//           check should cost the same in any tree: the 50,000 figure is at most 1.5 times the
//           1,000 one.
//   group   the same 200 checks in a tree of one group of 2,000 pages sorted by status, with the
//           CPU of the window's thread (the process's main thread) per check beside the process's.
//
// The stored settings turn the online detection off (a private network namespace has no link but
// loopback, which would count as offline) and leave the rest at their defaults.
//
//   startup_bench [--program PATH] [--only start|idle|check|group] [--sort today|status|none]
//
// PATH is the executable to measure (the one built beside this benchmark by default), so two builds
// can be compared on the same machine. The toolbar port is the fixed 6790: run in a private network
// namespace (unshare -rn sh -c 'ip link set lo up && ./startup_bench').
#include "bench/support/LoopbackPageServer.h"
#include "bench/support/ProcessFigures.h"
#include "bench/support/ProgramDatabase.h"
#include "bench/support/RunningProgram.h"
#include "core/db/SqlBinary.h"
#include "core/db/SqlWrapper.h"

#include <QDateTime>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace taluvo::bench;

namespace {

constexpr int kPagesPerGroup = 100;
constexpr int kBigGroup = 2000;
constexpr int kRuns = 3;
constexpr int kDuePages = 200;
constexpr size_t kPageBytes = size_t { 90 } * 1024;

constexpr auto kIdleSettle = std::chrono::seconds(3);
constexpr auto kIdleWindow = std::chrono::seconds(15);

// How the groups of a tree are sorted.
enum class ESort { Today, Status, None };

struct SSortOption {
    ESort sort;
    const char* name;
    const char* caption;
};
constexpr SSortOption kSorts[] = {
    { ESort::Today, "today", "groups as today (1 in 6 by status)" },
    { ESort::Status, "status", "every group by status" },
    { ESort::None, "none", "no group by status" },
};

// Half the groups in user order; of the others, a third each by name ascending, descending and by
// status (today), all by status, or none by status.
int SortTypeOf(ESort sort, int group)
{
    switch (sort) {
    case ESort::Status:
        return 3;
    case ESort::None:
        return group % 2 == 0 ? 4 : 1 + group % 2;
    case ESort::Today:
        break;
    }
    return group % 2 == 0 ? 4 : 1 + group % 3;
}

// A tree of `pages` pages in groups of `perGroup`, none New; the first `due` of them (spread over
// the groups) are due at the first tick and fetch from the loopback server, the others were
// checked a minute ago.
void MakeDatabase(
    const std::string& path, int pages, int due, int port, ESort sort = ESort::Today, int perGroup = kPagesPerGroup)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path);
    db.execDML("BEGIN;");
    CSqlBuffer sql;
    const long long checked = QDateTime::currentSecsSinceEpoch() - 60;
    const int groups = pages / perGroup;
    const int dueEvery = due > 0 ? pages / due : 0;
    int pageId = 1;
    for (int group = 1; group <= groups; ++group) {
        const int sortType = SortTypeOf(sort, group);
        std::vector<unsigned char> order;
        for (int i = 0; i < perGroup; ++i, ++pageId) {
            const bool isDue = dueEvery > 0 && pageId % dueEvery == 0 && pageId / dueEvery <= due;
            std::string url = "http://example.test/" + std::to_string(pageId);
            if (isDue)
                url = "http://127.0.0.1:" + std::to_string(port) + "/page/" + std::to_string(pageId);
            // Due pages were never given a checksum: their first check stores one and stays Ordinary.
            db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, %Q, %Q, '', '', 'Page %05d of group %d', %lld, "
                                  "4294967295, %u, 1, 600, 3, 0, 200);",
                pageId, group, url.c_str(), url.c_str(), (pageId * 7919) % 100000, group, isDue ? 0LL : checked,
                isDue ? 0xFFFFFFFFu : static_cast<unsigned>(pageId * 2654435761u)));
            // The user order runs backwards, so it differs from the id order.
            order.insert(
                order.begin(), { static_cast<unsigned char>(pageId & 0xFF), static_cast<unsigned char>(pageId >> 8) });
        }
        CSqlBinary binary;
        binary.assignBinary(order.data(), static_cast<int>(order.size()));
        db.execDML(sql.format("INSERT INTO GROUPS VALUES(%d, 'GROUP %d', 1, %d, %Q);", group, group, sortType,
            sortType == 4 ? binary.encodedText() : nullptr));
    }
    db.execDML("COMMIT;");
    db.close();
}

int CountChecked(const std::string& path)
{
    try {
        CSqlDatabase db;
        db.open(path.c_str());
        CSqlQuery row
            = db.runQuery("SELECT count(*) AS n FROM PAGES WHERE lastChecked > 0 AND url LIKE 'http://127.%';");
        return row.getIntField("n");
    } catch (const CSqlException&) {
        return -1; // busy for a moment: asked again
    }
}

bool MeasureStart(
    const std::string& program, int pages, bool idle, std::vector<double>& startMs, std::vector<double>& idlePercent)
{
    for (int run = 0; run < kRuns; ++run) {
        // A fresh database each time: the program's exit compacts the file it leaves.
        CProgramFolder folder;
        MakeDatabase(folder.Database(), pages, 0, 0);
        const auto start = Clock::now();
        CRunningProgram taluvo(program, folder);
        if (!WaitFor(ToolbarPortAccepts, std::chrono::seconds(60), std::chrono::milliseconds(1))) {
            std::fprintf(stderr, "the toolbar port never accepted\n");
            return false;
        }
        startMs.push_back(Ms(Clock::now() - start));
        if (!idle)
            continue;
        std::this_thread::sleep_for(kIdleSettle);
        const double cpu0 = ProcessCpuMs(taluvo.Pid());
        const auto idleStart = Clock::now();
        std::this_thread::sleep_for(kIdleWindow);
        const double cpu1 = ProcessCpuMs(taluvo.Pid());
        idlePercent.push_back((cpu1 - cpu0) / Ms(Clock::now() - idleStart) * 100.0);
    }
    return true;
}

// CPU per check of the process and of its window's thread, one figure of each per run.
struct SCheckFigures {
    std::vector<double> process;
    std::vector<double> window;
};

bool MeasureChecks(const std::string& program, int pages, ESort sort, int perGroup, SCheckFigures& figures)
{
    for (int run = 0; run < kRuns; ++run) {
        taluvo::bench::PageServer server(kPageBytes);
        CProgramFolder folder;
        MakeDatabase(folder.Database(), pages, kDuePages, server.Port(), sort, perGroup);
        CRunningProgram taluvo(program, folder);
        if (!WaitForWindow(taluvo)) {
            std::fprintf(stderr, "the toolbar port never accepted\n");
            return false;
        }
        // Both CPU figures from about 200 ms before the first request (CpuShortlyBefore's sample
        // for the process), so the tick's selection counts.
        double before = 0;
        std::vector<double> windowSamples;
        if (!CpuShortlyBefore(
                taluvo.Pid(),
                [&] {
                    windowSamples.push_back(ThreadCpuMs(taluvo.Pid(), taluvo.Pid()));
                    return server.Answered() > 0;
                },
                std::chrono::seconds(90), before)) {
            std::fprintf(stderr, "no check started within 90 s\n");
            return false;
        }
        constexpr size_t kBack = 20; // CpuShortlyBefore's samples are 10 ms apart
        const double windowBefore
            = windowSamples.size() > kBack ? windowSamples[windowSamples.size() - kBack - 1] : windowSamples.front();
        double after = 0;
        double windowAfter = 0;
        if (!WaitFor(
                [&] {
                    if (server.Answered() < kDuePages)
                        return false;
                    after = ProcessCpuMs(taluvo.Pid());
                    windowAfter = ThreadCpuMs(taluvo.Pid(), taluvo.Pid());
                    return CountChecked(folder.Database()) >= kDuePages;
                },
                std::chrono::seconds(600), std::chrono::milliseconds(20))) {
            std::fprintf(stderr, "the %d checks did not all end (%d answered, %d stored)\n", kDuePages,
                server.Answered(), CountChecked(folder.Database()));
            return false;
        }
        figures.process.push_back((after - before) / kDuePages);
        figures.window.push_back((windowAfter - windowBefore) / kDuePages);
    }
    return true;
}

void Print(const char* what, const std::vector<double>& v, const char* unit, const std::string& target)
{
    std::printf("%-80s %9.2f / %9.2f %-4s  %s\n", what, Min(v), Median(v), unit, target.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::string program = TALUVO_PROGRAM;
    std::string only;
    std::string sortName;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            program = argv[i + 1];
        else if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
        else if (std::strcmp(argv[i], "--sort") == 0)
            sortName = argv[i + 1];
    }
    if (ToolbarPortAccepts()) {
        std::fprintf(stderr, "port 6790 is taken: run in a private network namespace\n");
        return 1;
    }
    std::printf("program: %s\nload average at start: %s\n%d runs each; min / median\n", program.c_str(),
        LoadAverage().c_str(), kRuns);
    const bool all = only.empty();

    if (all || only == "start" || only == "idle") {
        std::vector<double> start10, start50, idle10, idle50;
        if (!MeasureStart(program, 10000, false, start10, idle10)
            || !MeasureStart(program, 50000, all || only == "idle", start50, idle50))
            return 1;
        Print("exec until the toolbar port accepts, 10,000 pages", start10, "ms", "");
        Print("exec until the toolbar port accepts, 50,000 pages", start50, "ms", "target: min < 1000 ms");
        if (!idle50.empty())
            Print("idle CPU, 50,000 pages, nothing due, none New", idle50, "%", "target: <= 1 % of a core");
    }
    if (all || only == "check") {
        for (const SSortOption& option : kSorts) {
            if (!sortName.empty() && sortName != option.name)
                continue;
            SCheckFigures small, large;
            if (!MeasureChecks(program, 1000, option.sort, kPagesPerGroup, small)
                || !MeasureChecks(program, 50000, option.sort, kPagesPerGroup, large))
                return 1;
            std::printf("load average now: %s\n", LoadAverage().c_str());
            const std::string what = std::string("CPU per check, 200 due of 90 KB, ") + option.caption;
            Print((what + ", 1,000 pages").c_str(), small.process, "ms", "");
            char target[120];
            std::snprintf(target, sizeof target, "ratio to 1,000: %.2f / %.2f (min / median), target <= 1.5",
                Min(large.process) / Min(small.process), Median(large.process) / Median(small.process));
            Print((what + ", 50,000 pages").c_str(), large.process, "ms", target);
        }
    }
    if (all || only == "group") {
        SCheckFigures group;
        if (!MeasureChecks(program, kBigGroup, ESort::Status, kBigGroup, group))
            return 1;
        std::printf("load average now: %s\n", LoadAverage().c_str());
        Print("CPU per check, one group of 2,000 by status, process", group.process, "ms", "");
        Print("CPU per check, one group of 2,000 by status, window", group.window, "ms", "");
    }
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    return 0;
}
