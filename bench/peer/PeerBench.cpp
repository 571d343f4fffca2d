// The program beside a peer, urlwatch, checking the same pages of the same loopback server in the
// same run: 200 due pages of a tree of 1,000, pages of 30 KB, 90 KB, 300 KB and 1 MB mixed, once
// answered with whole bodies and once with 304 to conditional requests.
//
// The program is the `taluvo` executable as a user runs it: started on a prepared database whose
// due pages it checked before (their checksums and dates stored by an earlier run of the program
// on the same database), it checks them at its first minute tick. Its figures are read from
// outside through /proc: CPU per page from just before the first request to the moment the last
// result is in the database; wall per page from the first request to that moment; memory as the
// peak proportional set size (PSS) and resident set (RSS) of the process, sampled every 20 ms, with
// the file-backed part of the resident set (shared libraries, mostly).
//
// urlwatch (Debian's package, installed when missing) checks the same pages with its own cache,
// which an earlier run filled; it is a process per round, so its interpreter's start is measured
// apart with an empty job list (median of three) and left out of its per-page wall and CPU. Its
// memory is the process's peak, start included. The server's CPU counts for neither.
//
//   peer_bench [--program PATH] [--runs 3]
//
// The program's toolbar server needs the fixed port 6790, so the benchmark runs itself again in a
// private network namespace (unshare -rn, loopback up) when it can.
#include "bench/peer/PeerPageServer.h"
#include "bench/peer/Urlwatch.h"
#include "bench/support/ProcessFigures.h"
#include "bench/support/ProgramDatabase.h"
#include "bench/support/RunningProgram.h"

#include "core/db/SqlWrapper.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace taluvo::bench;

namespace {

constexpr int kPages = 1000;
constexpr int kDue = 200;
constexpr int kDueEvery = kPages / kDue;
constexpr int kPagesPerGroup = 100;
constexpr char kInside[] = "TALUVO_PEER_BENCH_INSIDE";

// The program's figure over urlwatch's, at most.
struct STargets {
    double cpu = 1.0 / 5, wall = 1.0, pss = 1.0 / 2;
};

// One side's figures for one round, per page for wall and CPU.
struct SFigures {
    double wallMs = 0;
    double cpuMs = 0;
    double rssMb = 0; // peak
    double pssMb = 0; // peak
    double fileMb = 0; // file-backed resident part at the PSS peak
};

double Field(const SFigures& f, int i)
{
    const double values[] = { f.wallMs, f.cpuMs, f.rssMb, f.pssMb, f.fileMb };
    return values[i];
}

std::vector<int> DueNumbers()
{
    std::vector<int> numbers;
    for (int n = kDueEvery; n <= kPages; n += kDueEvery)
        numbers.push_back(n);
    return numbers;
}

// A tree of kPages pages of the server's kind ("full" or "cond") in groups of kPagesPerGroup. The
// due ones were never checked; the others were checked a minute ago, within their interval.
// Nothing reaches the desktop: no popups, sounds, log or command; every check stores its row.
void MakeDatabase(const std::string& path, int port, const char* kind)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path, TurnOffDesktopAlerts);
    db.execDML("BEGIN;");
    CSqlBuffer sql;
    for (int group = 1; group <= kPages / kPagesPerGroup; ++group)
        db.execDML(sql.format("INSERT INTO GROUPS VALUES(%d, 'GROUP %d', 1, 1, NULL);", group, group));
    for (int id = 1; id <= kPages; ++id)
        db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, 'http://127.0.0.1:%d/%s/%d', "
                              "'http://127.0.0.1:%d/%s/%d', '', '', 'Page %s %d', 0, 4294967295, 4294967295, "
                              "1, 600, 3, 0, 0);",
            id, (id - 1) / kPagesPerGroup + 1, port, kind, id, port, kind, id, kind, id));
    db.execDML("COMMIT;");
    db.close();
}

// Makes the due pages due again and the others checked a minute ago.
void MakeDue(const std::string& path)
{
    CSqlDatabase db;
    db.open(path.c_str());
    CSqlBuffer sql;
    db.execDML(sql.format("UPDATE PAGES SET lastChecked = CASE WHEN id %% %d = 0 THEN 0 ELSE %lld END;", kDueEvery,
        QDateTime::currentSecsSinceEpoch() - 60));
    db.close();
}

int CountChecked(const std::string& path)
{
    try {
        CSqlDatabase db;
        db.open(path.c_str());
        CSqlBuffer sql;
        return db.runScalar(
            sql.format("SELECT count(*) FROM PAGES WHERE id %% %d = 0 AND lastChecked > 0;", kDueEvery));
    } catch (const CSqlException&) {
        return -1; // busy for a moment: asked again
    }
}

struct SProgramRound {
    bool ok = false;
    SFigures figures;
    SProcessMemory idle; // after the window came up, before the tick
    uint64_t whole = 0, notModified = 0;
};

// Starts the program on the database in folder and measures its first tick over the due pages.
SProgramRound ProgramRound(const std::string& program, const CProgramFolder& folder, CPeerPageServer& server)
{
    SProgramRound round;
    SPeerServerCounters& counters = server.Counters();
    const uint64_t whole = counters.whole.load(), notModified = counters.notModified.load();
    const uint64_t answered = counters.Answered();
    counters.firstRequestNs.store(0);
    CRunningProgram taluvo(program, folder);
    if (!WaitForWindow(taluvo)) {
        std::fprintf(stderr, "the program's window did not come up\n");
        return round;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    round.idle = ProcessMemory(taluvo.Pid());
    CMemoryWatch memory(taluvo.Pid());
    double before = 0;
    if (!CpuShortlyBefore(
            taluvo.Pid(), [&] { return counters.Answered() > answered; }, std::chrono::seconds(90), before)) {
        std::fprintf(stderr, "no check started within 90 s\n");
        return round;
    }
    double after = 0;
    Clock::time_point end;
    if (!WaitFor(
            [&] {
                if (counters.Answered() < answered + kDue)
                    return false;
                after = ProcessCpuMs(taluvo.Pid());
                end = Clock::now();
                return CountChecked(folder.Database()) >= kDue;
            },
            std::chrono::seconds(300), std::chrono::milliseconds(20))) {
        std::fprintf(stderr, "the %d checks did not all end (%llu answered, %d stored)\n", kDue,
            static_cast<unsigned long long>(counters.Answered() - answered), CountChecked(folder.Database()));
        return round;
    }
    memory.Stop();
    const Clock::time_point first { std::chrono::nanoseconds(counters.firstRequestNs.load()) };
    round.figures = { Ms(end - first) / kDue, (after - before) / kDue, memory.RssPeakMb(), memory.PssPeak().pssMb,
        memory.PssPeak().FileMb() };
    round.whole = counters.whole.load() - whole;
    round.notModified = counters.notModified.load() - notModified;
    round.ok = true;
    return round;
}

// The program's first run on a new tree: it checks the due pages once and stores their results,
// as a user's database has them; later rounds start from a copy of the file it leaves.
bool PrepareTree(
    const std::string& program, const std::string& path, int port, const char* kind, CPeerPageServer& server)
{
    CProgramFolder folder;
    MakeDatabase(folder.Database(), port, kind);
    MakeDue(folder.Database());
    if (!ProgramRound(program, folder, server).ok)
        return false;
    // The destructor of the round's program has stopped it: the file is whole again.
    return QFile::copy(QString::fromStdString(folder.Database()), QString::fromStdString(path));
}

SFigures PeerFigures(const SPeerRun& run, const SPeerRun& start)
{
    return { std::max(run.wallMs - start.wallMs, 0.0) / kDue, std::max(run.cpuMs - start.cpuMs, 0.0) / kDue,
        run.rssPeakMb, run.pssPeak.pssMb, run.pssPeak.FileMb() };
}

void PrintRow(const char* label, const SFigures& f)
{
    std::printf("  %-24s %9.3f %9.3f %9.1f %9.1f %9.1f\n", label, f.wallMs, f.cpuMs, f.rssMb, f.pssMb, f.fileMb);
}

void PrintRatios(const char* label, const SFigures& program, const SFigures& peer)
{
    const STargets targets;
    auto cell = [](const char* name, double mine, double theirs, double target) {
        const double ratio = theirs > 0 ? mine / theirs : 0;
        std::printf("%s %.3f (target <= %.2f, %s); ", name, ratio, target, ratio <= target ? "met" : "MISSED");
    };
    std::printf("  %-24s ", label);
    cell("CPU", program.cpuMs, peer.cpuMs, targets.cpu);
    cell("wall", program.wallMs, peer.wallMs, targets.wall);
    cell("memory (PSS)", program.pssMb, peer.pssMb, targets.pss);
    std::printf("resident %.3f\n", peer.rssMb > 0 ? program.rssMb / peer.rssMb : 0);
}

const char* const kHeader = "  %-24s %9s %9s %9s %9s %9s\n";

int Measure(const std::string& program, int runs)
{
    CPeerPageServer server;
    if (!ReadyToMeasure(server.Port()))
        return 1;
    const int port = server.Port();
    std::printf("program: %s\nload average at start: %s\n", program.c_str(), LoadAverage().c_str());
    std::fflush(stdout);
    QTemporaryDir scratch;
    const std::string folder = scratch.path().toStdString();
    const std::map<std::string, std::string> trees
        = { { "full", folder + "/full.db" }, { "cond", folder + "/cond.db" } };
    CUrlwatch peer(folder, port, DueNumbers());
    // Both sides' earlier runs: urlwatch fills its caches, the program stores its results.
    for (const auto& [kind, path] : trees) {
        const SPeerRun filled = peer.Run(kind);
        if (!filled.ok) {
            std::fprintf(stderr, "urlwatch failed:\n%s\n", filled.output.c_str());
            return 1;
        }
        if (!PrepareTree(program, path, port, kind.c_str(), server))
            return 1;
    }
    std::vector<SPeerRun> starts;
    starts.reserve(3);
    for (int i = 0; i < 3; ++i)
        starts.push_back(peer.Run("empty"));
    std::vector<double> wall, cpu, rss, pss;
    for (const SPeerRun& s : starts) {
        wall.push_back(s.wallMs);
        cpu.push_back(s.cpuMs);
        rss.push_back(s.rssPeakMb);
        pss.push_back(s.pssPeak.pssMb);
    }
    SPeerRun start;
    start.wallMs = Median(wall);
    start.cpuMs = Median(cpu);
    std::printf("urlwatch's own start with an empty job list (median of 3, left out of its per-page figures): %.1f ms "
                "wall, %.1f ms CPU, RSS %.1f MB, PSS %.1f MB\n",
        start.wallMs, start.cpuMs, Median(rss), Median(pss));
    std::fflush(stdout);

    const char* const labels[] = { "urlwatch whole", "program whole", "urlwatch 304", "program 304" };
    std::vector<std::map<std::string, SFigures>> results;
    std::vector<double> idleRss, idlePss, idleFile;
    for (int run = 1; run <= runs; ++run) {
        std::map<std::string, SFigures> figures;
        std::string answers;
        for (const auto& [kind, path] : trees) {
            const char* label = kind == "full" ? "whole" : "304";
            const uint64_t whole = server.Counters().whole.load(), notModified = server.Counters().notModified.load();
            const SPeerRun peerRun = peer.Run(kind);
            if (!peerRun.ok) {
                std::fprintf(stderr, "urlwatch failed:\n%s\n", peerRun.output.c_str());
                return 1;
            }
            figures[std::string("urlwatch ") + label] = PeerFigures(peerRun, start);
            char line[160];
            std::snprintf(line, sizeof line, "%s: urlwatch got %llu bodies and %llu 304s, ", label,
                static_cast<unsigned long long>(server.Counters().whole.load() - whole),
                static_cast<unsigned long long>(server.Counters().notModified.load() - notModified));
            answers += line;

            CProgramFolder copy;
            if (!QFile::copy(QString::fromStdString(path), QString::fromStdString(copy.Database())))
                return 1;
            MakeDue(copy.Database());
            const SProgramRound round = ProgramRound(program, copy, server);
            if (!round.ok)
                return 1;
            figures[std::string("program ") + label] = round.figures;
            idleRss.push_back(round.idle.rssMb);
            idlePss.push_back(round.idle.pssMb);
            idleFile.push_back(round.idle.FileMb());
            std::snprintf(line, sizeof line, "the program %llu bodies and %llu 304s; ",
                static_cast<unsigned long long>(round.whole), static_cast<unsigned long long>(round.notModified));
            answers += line;
        }
        results.push_back(figures);
        std::printf("run %d (%d due of %d pages, 30 KB / 90 KB / 300 KB / 1 MB mixed; per page; memory: peak)\n", run,
            kDue, kPages);
        std::printf(kHeader, "", "wall ms", "CPU ms", "RSS MB", "PSS MB", "file MB");
        for (const char* label : labels)
            PrintRow(label, figures[label]);
        std::printf("  %s\n", answers.c_str());
        PrintRatios("program / urlwatch whole", figures["program whole"], figures["urlwatch whole"]);
        PrintRatios("program / urlwatch 304", figures["program 304"], figures["urlwatch 304"]);
        std::fflush(stdout);
    }

    std::printf("\nsummary over %d runs, per page: min / median (memory: peak of the process)\n", runs);
    std::printf("  %-24s %17s %17s %17s %17s %17s\n", "", "wall ms", "CPU ms", "RSS MB", "PSS MB", "file MB");
    std::map<std::string, SFigures> medians;
    for (const char* label : labels) {
        std::printf("  %-24s", label);
        double median[5];
        for (int i = 0; i < 5; ++i) {
            std::vector<double> values;
            values.reserve(results.size());
            for (auto& figures : results)
                values.push_back(Field(figures[label], i));
            median[i] = Median(values);
            std::printf(" %8.3f / %-8.3f", Min(values), median[i]);
        }
        std::printf("\n");
        medians[label] = { median[0], median[1], median[2], median[3], median[4] };
    }
    std::printf("ratios of the medians:\n");
    PrintRatios("program / urlwatch whole", medians["program whole"], medians["urlwatch whole"]);
    PrintRatios("program / urlwatch 304", medians["program 304"], medians["urlwatch 304"]);
    std::printf("the program idle before its tick (median): RSS %.1f MB, of it file-backed %.1f MB (shared libraries "
                "mostly), PSS %.1f MB\n",
        Median(idleRss), Median(idleFile), Median(idlePss));
    std::printf("(file MB: the file-backed part of the resident set at the PSS peak, shared libraries mostly)\n");
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const SProgramArguments arguments = ProgramArguments(argc, argv, TALUVO_PROGRAM);
    if (!std::getenv(kInside) && !CUrlwatch::EnsureInstalled()) {
        std::fprintf(stderr, "urlwatch could not be installed\n");
        return 1;
    }
    const int status = RunInPrivateNetwork(argc, argv, kInside);
    if (status >= 0)
        return status;
    return Measure(arguments.program, arguments.runs);
}
