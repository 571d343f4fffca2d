// The program as a user runs it: the `taluvo` executable started on a prepared database, its CPU
// read from outside through /proc. Three figures, each over three runs (min / median):
//
//   start   exec until the toolbar port accepts, trees of 10,000 and 50,000 pages (100 pages a
//           group, half the groups in user order), none New, nothing due: process start included.
//   idle    CPU of the process while it sits idle with 50,000 pages, nothing due, none New (after
//           the start has settled), as a share of one core.
//   check   CPU per check at the first minute tick: 200 due pages of 90 KB on a loopback server in
//           this process, in trees of 1,000, 10,000 and 50,000 pages, none New. The CPU from just
//           before the first request to the moment the 200th result is in the database, over 200;
//           the idle handler runs after every message meanwhile, as it does for a user.
//
// The stored settings turn the online detection off (a private network namespace has no link but
// loopback, which would count as offline) and leave the rest at their defaults.
//
//   startup_bench [--program PATH] [--only start|idle|check]
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
constexpr int kRuns = 3;
constexpr int kDuePages = 200;
constexpr size_t kPageBytes = size_t { 90 } * 1024;

constexpr auto kIdleSettle = std::chrono::seconds(3);
constexpr auto kIdleWindow = std::chrono::seconds(15);

// A tree of `pages` pages, none New; the first `due` of them (spread over the groups) are due at
// the first tick and fetch from the loopback server, the others were checked a minute ago.
void MakeDatabase(const std::string& path, int pages, int due, int port)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path);
    db.execDML("BEGIN;");
    CSqlBuffer sql;
    const long long checked = QDateTime::currentSecsSinceEpoch() - 60;
    const int groups = pages / kPagesPerGroup;
    const int dueEvery = due > 0 ? pages / due : 0;
    int pageId = 1;
    for (int group = 1; group <= groups; ++group) {
        const int sortType = group % 2 == 0 ? 4 : 1 + group % 3;
        std::vector<unsigned char> order;
        for (int i = 0; i < kPagesPerGroup; ++i, ++pageId) {
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

bool MeasureChecks(const std::string& program, int pages, std::vector<double>& perCheckMs)
{
    for (int run = 0; run < kRuns; ++run) {
        taluvo::bench::PageServer server(kPageBytes);
        CProgramFolder folder;
        MakeDatabase(folder.Database(), pages, kDuePages, server.Port());
        CRunningProgram taluvo(program, folder);
        if (!WaitForWindow(taluvo)) {
            std::fprintf(stderr, "the toolbar port never accepted\n");
            return false;
        }
        double before = 0;
        if (!CpuShortlyBefore(
                taluvo.Pid(), [&] { return server.Answered() > 0; }, std::chrono::seconds(90), before)) {
            std::fprintf(stderr, "no check started within 90 s\n");
            return false;
        }
        double after = 0;
        if (!WaitFor(
                [&] {
                    if (server.Answered() < kDuePages)
                        return false;
                    after = ProcessCpuMs(taluvo.Pid());
                    return CountChecked(folder.Database()) >= kDuePages;
                },
                std::chrono::seconds(300), std::chrono::milliseconds(20))) {
            std::fprintf(stderr, "the %d checks did not all end (%d answered, %d stored)\n", kDuePages,
                server.Answered(), CountChecked(folder.Database()));
            return false;
        }
        perCheckMs.push_back((after - before) / kDuePages);
    }
    return true;
}

void Print(const char* what, const std::vector<double>& v, const char* unit, const std::string& target)
{
    std::printf("%-52s %9.2f / %9.2f %-4s  %s\n", what, Min(v), Median(v), unit, target.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::string program = TALUVO_PROGRAM;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            program = argv[i + 1];
        else if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
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
        std::vector<double> figures[3];
        const int sizes[3] = { 1000, 10000, 50000 };
        for (int i = 0; i < 3; ++i)
            if (!MeasureChecks(program, sizes[i], figures[i]))
                return 1;
        Print("CPU per check, 200 due of 90 KB, 1,000 pages", figures[0], "ms", "");
        Print("CPU per check, 200 due of 90 KB, 10,000 pages", figures[1], "ms", "");
        char target[96];
        std::snprintf(target, sizeof target, "target: <= 1.5 x the 1,000 figure (%.2f x, medians)",
            Median(figures[2]) / Median(figures[0]));
        Print("CPU per check, 200 due of 90 KB, 50,000 pages", figures[2], "ms", target);
    }
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    return 0;
}
