// Soak of the program as a user runs it: the `taluvo` executable on a prepared database of pages
// that are due at every minute tick, checking them against a web server whose pages are mostly
// normal and one in ten slow, dripping, endless or garbage, with time-outs of 5 s, while a crowd of
// idle connections sits at the toolbar port. Runs for the given minutes (or until the given number
// of checks were made) and prints the process's memory over time, read from outside
// (/proc/<pid>/smaps_rollup: resident, proportional and anonymous), its growth after the first
// sixth of the run and over the second half, its CPU, descriptors and threads, the rows the checks
// updated and how the program ended at SIGTERM.
//
//   soak_bench [--program PATH] [--minutes M] [--checks N] [--pages P] [--idle C]
//
// Defaults: 30 minutes, no bound on the checks, 100 pages, 300 idle connections. Alerts that would
// reach the desktop (popups, sounds, the log, the command) are off in the stored settings; every
// check still stores its row. PATH is the executable (the one built beside this benchmark by
// default); a script that runs it under a memory profiler works too, though its figures then
// include the profiler's.
//
// The program's toolbar server listens on port 6790: run the benchmark where that port is free,
// e.g. in a private network namespace: unshare -rn sh -c 'ip link set lo up && build/bench/bench/soak/soak_bench'.
#include "bench/soak/HostilePeers.h"
#include "bench/support/ProcessFigures.h"
#include "bench/support/ProgramDatabase.h"
#include "bench/support/RunningProgram.h"

#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>

using namespace taluvo::bench;

namespace {

// Every page is due at every minute tick: its interval is shorter than the tick.
constexpr int kPageIntervalSeconds = 30;

struct SOptions {
    std::string program = TALUVO_PROGRAM;
    double minutes = 30;
    uint64_t checks = 0; // 0: no bound
    int pages = 100;
    int idle = 300;
};

SOptions ParseOptions(int argc, char** argv)
{
    SOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--program")
            options.program = argv[i + 1];
        else if (name == "--minutes")
            options.minutes = std::atof(argv[i + 1]);
        else if (name == "--checks")
            options.checks = std::strtoull(argv[i + 1], nullptr, 10);
        else if (name == "--pages")
            options.pages = std::atoi(argv[i + 1]);
        else if (name == "--idle")
            options.idle = std::atoi(argv[i + 1]);
        else
            std::fprintf(stderr, "unknown option %s\n", name.c_str());
    }
    return options;
}

void MakeDatabase(const std::string& path, int pages, int port)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path, [](CPreferences& prefs) {
        TurnOffDesktopAlerts(prefs);
        for (const char* timeout : { "ConnectTimeout", "SendTimeout", "RecvTimeout" })
            prefs.GetParam(timeout)->SetInt(5);
    });
    db.execDML("BEGIN;");
    db.execDML("INSERT INTO GROUPS VALUES(1, 'SOAK', 1, 1, NULL);");
    CSqlBuffer sql;
    for (int id = 1; id <= pages; ++id)
        db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, 1, 'http://127.0.0.1:%d/p/%d', 'http://127.0.0.1:%d/p/%d', "
                              "'', '', 'Page %d (%s)', 0, 4294967295, 4294967295, 1, %d, 3, 0, 0);",
            id, port, id, port, id, id, KindName(KindOfPage(id)), kPageIntervalSeconds));
    db.execDML("COMMIT;");
    db.close();
}

// One reading of the program's process.
struct SSample {
    double seconds = 0;
    uint64_t checks = 0;
    SProcessMemory memory;
    double cpuMs = 0;
    int descriptors = 0;
    int threads = 0;
};

SSample Sample(pid_t pid, double seconds, uint64_t checks)
{
    return SSample { seconds, checks, ProcessMemory(pid), ProcessCpuMs(pid), OpenDescriptors(pid), ThreadCount(pid) };
}

// The last sample taken at or before the given time.
const SSample& At(const std::vector<SSample>& samples, double seconds)
{
    const SSample* found = &samples.front();
    for (const SSample& sample : samples)
        if (sample.seconds <= seconds)
            found = &sample;
    return *found;
}

void PrintGrowth(const char* span, const SSample& from, const SSample& to)
{
    const uint64_t checks = to.checks - from.checks;
    const double rss = to.memory.rssMb - from.memory.rssMb, anonymous = to.memory.anonymousMb - from.memory.anonymousMb;
    std::printf("%-40s %6.0f s -> %6.0f s, %5llu checks: resident %+6.1f MB (%+.2f MB per 100 checks), anonymous "
                "%+6.1f MB, PSS %+6.1f MB\n",
        span, from.seconds, to.seconds, static_cast<unsigned long long>(checks), rss,
        checks ? rss * 100.0 / static_cast<double>(checks) : 0.0, anonymous, to.memory.pssMb - from.memory.pssMb);
}

} // namespace

int main(int argc, char** argv)
{
    const SOptions options = ParseOptions(argc, argv);
    if (ToolbarPortAccepts()) {
        std::fprintf(stderr, "port 6790 is taken: run in a private network namespace\n");
        return 1;
    }
    // The peers are processes of their own, forked before any thread starts.
    SPeerCounters* counters = MakeSharedCounters();
    pid_t serverPid = -1;
    const int port = counters ? StartPageServer(counters, serverPid) : -1;
    const pid_t crowdPid = port > 0 ? StartIdleCrowd(counters, 6790, options.idle) : -1;
    if (port <= 0 || crowdPid <= 0) {
        std::fprintf(stderr, "the peers did not start\n");
        return 1;
    }
    auto endPeers = [&] {
        ::kill(crowdPid, SIGKILL);
        ::kill(serverPid, SIGKILL);
        ::waitpid(crowdPid, nullptr, 0);
        ::waitpid(serverPid, nullptr, 0);
    };

    CProgramFolder folder;
    MakeDatabase(folder.Database(), options.pages, port);
    const uint32_t started = static_cast<uint32_t>(std::time(nullptr));
    std::printf("program: %s\nload average at start: %s\n", options.program.c_str(), LoadAverage().c_str());
    const auto start = Clock::now();
    CRunningProgram program(options.program, folder,
        QDir(QString::fromStdString(folder.Home())).filePath(QStringLiteral("output.txt")).toStdString());
    if (!WaitForWindow(program)) {
        std::fprintf(stderr, "the program's window did not come up\n");
        endPeers();
        return 1;
    }
    const pid_t pid = program.Pid();
    auto secondsSince = [&] { return Ms(Clock::now() - start) / 1000.0; };

    // Every second; a line every 10 s. Until the time is up, the checks are made or the program ended.
    std::vector<SSample> samples;
    std::printf("%8s %8s %8s %8s %8s %8s %8s %8s\n", "seconds", "checks", "rss_MB", "pss_MB", "anon_MB", "file_MB",
        "cpu_s", "fds");
    for (int tick = 0;; ++tick) {
        const SSample sample = Sample(pid, secondsSince(), counters->requests.load());
        if (!sample.memory.known || !program.Running()) {
            std::fprintf(stderr, "the program ended by itself after %.0f s\n", sample.seconds);
            endPeers();
            return 1;
        }
        samples.push_back(sample);
        if (tick % 10 == 0)
            std::printf("%8.0f %8llu %8.1f %8.1f %8.1f %8.1f %8.1f %8d\n", sample.seconds,
                static_cast<unsigned long long>(sample.checks), sample.memory.rssMb, sample.memory.pssMb,
                sample.memory.anonymousMb, sample.memory.FileMb(), sample.cpuMs / 1000.0, sample.descriptors);
        std::fflush(stdout);
        if ((options.checks && sample.checks >= options.checks) || sample.seconds >= options.minutes * 60)
            break;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const auto stopping = Clock::now();
    const int exitStatus = program.Stop();
    const double exitMs = Ms(Clock::now() - stopping);

    CSqlDatabase db;
    db.open(folder.Database().c_str());
    CSqlBuffer sql;
    const int updated = db.runScalar(sql.format("SELECT count(*) FROM PAGES WHERE lastChecked >= %u;", started));
    const int hostileUpdated = db.runScalar(
        sql.format("SELECT count(*) FROM PAGES WHERE lastChecked >= %u AND descr NOT LIKE '%%(normal)';", started));
    const int hostile = db.runScalar("SELECT count(*) FROM PAGES WHERE descr NOT LIKE '%(normal)';");
    db.close();

    const SSample& first = samples.front();
    const SSample& last = samples.back();
    double peakRss = 0, peakPss = 0;
    for (const SSample& sample : samples) {
        peakRss = std::max(peakRss, sample.memory.rssMb);
        peakPss = std::max(peakPss, sample.memory.pssMb);
    }
    std::printf("\nchecks made: %llu in %.0f s (%d pages due at every minute tick, one in ten hostile: slow 3 s, "
                "dripping 1 byte/s, endless 2 GB, garbage; time-outs 5 s)\n",
        static_cast<unsigned long long>(last.checks), last.seconds, options.pages);
    std::printf("idle toolbar connections: %d asked, %d kept by the server, %d closed at once\n", options.idle,
        counters->idleKept.load(), counters->idleClosed.load());
    std::printf("memory of the process, from outside: at the window's start resident %.1f MB (%.1f MB of it "
                "file-backed, the shared libraries mostly), PSS %.1f MB; peak resident %.1f MB, peak PSS %.1f MB; at "
                "the end resident %.1f MB, PSS %.1f MB, anonymous %.1f MB\n",
        first.memory.rssMb, first.memory.FileMb(), first.memory.pssMb, peakRss, peakPss, last.memory.rssMb,
        last.memory.pssMb, last.memory.anonymousMb);
    PrintGrowth("growth after the first sixth of the run:", At(samples, last.seconds / 6), last);
    PrintGrowth("growth over the second half:", At(samples, last.seconds / 2), last);
    std::printf("CPU of the process: %.1f s in all, %.2f ms per check\n", last.cpuMs / 1000.0,
        last.checks ? (last.cpuMs - first.cpuMs) / static_cast<double>(last.checks) : 0.0);

    std::printf("\n%8s %8s %8s %8s %12s %8s\n", "seconds", "checks", "rss_MB", "anon_MB", "descriptors", "threads");
    constexpr uint64_t kMilestoneChecks = 500;
    uint64_t next = 0;
    for (const SSample& sample : samples)
        if (sample.checks >= next || &sample == &last) {
            std::printf("%8.0f %8llu %8.1f %8.1f %12d %8d\n", sample.seconds,
                static_cast<unsigned long long>(sample.checks), sample.memory.rssMb, sample.memory.anonymousMb,
                sample.descriptors, sample.threads);
            next = sample.checks / kMilestoneChecks * kMilestoneChecks + kMilestoneChecks;
        }
    std::printf("rows updated: %d of %d pages (hostile: %d of %d)\n", updated, options.pages, hostileUpdated, hostile);
    std::printf("exit at SIGTERM: status %d after %.0f ms\nload average at end: %s\n", exitStatus, exitMs,
        LoadAverage().c_str());
    endPeers();
    return 0;
}
