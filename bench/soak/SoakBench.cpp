// Soak of the main window: checks one after another against a web server whose pages are mostly
// normal and one in ten slow, dripping, endless or garbage, with time-outs of 5 s, while a crowd
// of idle connections sits at the toolbar port. Runs until the given number of checks were made or
// the time is up, and prints the process's resident memory over time, its growth after the first
// part of the run, the rows the checks updated and how fast the window answered a sent message.
//
//   soak_bench [--checks N] [--minutes M] [--pages P] [--idle C] [--interval S]
//
// Defaults: 2000 checks, 30 minutes, 100 pages, 300 idle connections, pages due every 60 s with the
// window's own one-minute tick. A shorter interval makes the pages due that often and gives the
// window an extra interval tick at that pace, so a short run checks without pause.
//
// The toolbar server listens on port 6790: run it where that port is free, e.g. in a private
// network namespace: unshare -rn sh -c 'ip link set lo up && build/bench/bench/soak/soak_bench'.
#include "bench/soak/HostilePeers.h"

#include "core/Globals.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "frame/mainfrm.h"
#include "platform/base/Allocator.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/wait.h>

using namespace taluvo::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct SOptions {
    uint64_t checks = 2000;
    double minutes = 30;
    int pages = 100;
    int idle = 300;
    int interval = 60;
};

SOptions ParseOptions(int argc, char** argv)
{
    SOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--checks")
            options.checks = std::strtoull(argv[i + 1], nullptr, 10);
        else if (name == "--minutes")
            options.minutes = std::atof(argv[i + 1]);
        else if (name == "--pages")
            options.pages = std::atoi(argv[i + 1]);
        else if (name == "--idle")
            options.idle = std::atoi(argv[i + 1]);
        else if (name == "--interval")
            options.interval = std::max(1, std::atoi(argv[i + 1]));
        else
            std::fprintf(stderr, "unknown option %s\n", name.c_str());
    }
    return options;
}

// A number field of /proc/self/status ("VmRSS:", "Threads:").
double StatusField(const char* name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0)
            return std::atof(line.c_str() + std::strlen(name));
    return 0;
}

double ResidentMb()
{
    return StatusField("VmRSS:") / 1024.0;
}

int OpenDescriptors()
{
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(folder);
    return count - 1;  // the folder's own descriptor
}

// One line of the milestones table: memory, descriptors and threads of the process.
struct SMilestone {
    double seconds = 0;
    uint64_t checks = 0;
    double residentMb = 0;
    int descriptors = 0;
    int threads = 0;
};

SMilestone Measure(double seconds, uint64_t checks)
{
    return SMilestone { seconds, checks, ResidentMb(), OpenDescriptors(), static_cast<int>(StatusField("Threads:")) };
}

void MakeDatabase(const std::string& path, int pages, int port, int interval)
{
    CSqlDatabase db;
    db.open(path.c_str());
    db.execDML("BEGIN;");
    db.execDML(kCreatePagesTable);
    db.execDML(kCreateGroupsTable);
    db.execDML("INSERT INTO GROUPS VALUES(1, 'SOAK', 1, 1, NULL);");
    CSqlBuffer sql;
    for (int id = 1; id <= pages; ++id)
        db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, 1, 'http://127.0.0.1:%d/p/%d', 'http://127.0.0.1:%d/p/%d', "
                              "'', '', 'Page %d (%s)', 0, 4294967295, 4294967295, 1, %d, 3, 0, 0);",
            id, port, id, port, id, id, KindName(KindOfPage(id)), interval));
    db.execDML("COMMIT;");
    db.close();
}

// How fast the window answers a message sent from another thread, once a second.
struct SWindowProbe {
    std::atomic<int> probes { 0 };
    std::atomic<int64_t> slowestMs { 0 };
    std::atomic<int64_t> outstandingSinceMs { -1 };  // start of the probe waiting now, -1 none
};

} // namespace

int main(int argc, char** argv)
{
    // As the program does at its start, before any thread exists.
    taluvo::TuneAllocator();
    const SOptions options = ParseOptions(argc, argv);
    SPeerCounters* counters = MakeSharedCounters();
    pid_t serverPid = -1;
    const int port = counters ? StartPageServer(counters, serverPid) : -1;
    const pid_t crowdPid = port > 0 ? StartIdleCrowd(counters, 6790, options.idle) : -1;
    if (port <= 0 || crowdPid <= 0) {
        std::fprintf(stderr, "the peers did not start\n");
        return 1;
    }

    QTemporaryDir home;
    ::setenv("TALUVO_HOME", home.path().toLocal8Bit().constData(), 1);
    ::setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
    // A first start writes the autostart entry: into the run's own folder, not the user's.
    ::setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit().constData(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char* qtArgv[] = { argv[0], nullptr };
    taluvo::ui::CUiApplication app(qtArgc, qtArgv);
    taluvo::res::RegisterResources();
    const std::string database = home.filePath(QStringLiteral("database.db")).toStdString();
    MakeDatabase(database, options.pages, port, options.interval);
    // Alerts that would reach the desktop are off; every check still stores its row.
    for (const char* flag : { "PopupAlertEnable", "AlertSoundEnable", "ErrorSoundEnable", "LogEnable", "RunCmdEnable" })
        g_prefs.GetParam(flag)->SetBool(false);
    // The run's network namespace may hold a loopback link only, which the automatic online
    // detection counts as offline.
    g_prefs.GetParam("AutoDetectOnline")->SetBool(false);
    g_prefs.GetParam("WorkOffline")->SetBool(false);
    for (const char* timeout : { "ConnectTimeout", "SendTimeout", "RecvTimeout" })
        g_prefs.GetParam(timeout)->SetInt(5);
    taluvo::ui::test::ScopedMessageBoxHook boxes([](const taluvo::ui::test::MessageBoxRequest& request) {
        std::printf("box: %s: %s\n", qPrintable(request.caption), qPrintable(request.text));
        return IDOK;
    });

    CMessageLoop loop;
    _Module.AddMessageLoop(&loop);
    CMainFrame frame;
    RECT rect { 0, 0, 640, 450 };
    if (!frame.CreateEx(GetDesktopWindow(), &rect)) {
        std::fprintf(stderr, "main window not created\n");
        return 1;
    }
    const HWND window = frame.m_hWnd;
    const uint32_t started = static_cast<uint32_t>(std::time(nullptr));
    // The first interval tick at once, so a short run does not idle through its first minute.
    frame.PostMessage(WM_TIMER, g_iIntervalTimerId);

    SWindowProbe probe;
    std::atomic<bool> stopProbing { false };
    const auto start = Clock::now();
    auto msSince = [&](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    };
    std::thread prober([&] {
        while (!stopProbing.load()) {
            const auto sent = Clock::now();
            probe.outstandingSinceMs.store(msSince(start));
            SendMessage(window, WM_NULL, 0, 0);
            probe.outstandingSinceMs.store(-1);
            probe.slowestMs.store(std::max(probe.slowestMs.load(), static_cast<int64_t>(msSince(sent))));
            probe.probes.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });

    // The first part of the run: a sixth of the checks (5 minutes of the full soak's 30).
    const uint64_t firstPart = std::max<uint64_t>(1, options.checks / 6);
    double baselineMb = -1, peakMb = 0, endMb = 0;
    // At the start, after every 500 checks and at the end of the checks.
    constexpr uint64_t kMilestoneChecks = 500;
    std::vector<SMilestone> milestones;
    std::printf("%8s %8s %10s\n", "seconds", "checks", "rss_MB");
    std::thread sampler([&] {
        for (int tick = 0;; ++tick) {
            const uint64_t checks = counters->requests.load();
            const double rss = ResidentMb();
            if (milestones.empty() || checks >= milestones.back().checks / kMilestoneChecks * kMilestoneChecks + kMilestoneChecks)
                milestones.push_back(Measure(msSince(start) / 1000.0, checks));
            peakMb = std::max(peakMb, rss);
            if (baselineMb < 0 && checks >= firstPart)
                baselineMb = rss;
            const double seconds = msSince(start) / 1000.0;
            if (tick % 10 == 0)
                std::printf("%8.0f %8llu %10.1f\n", seconds, static_cast<unsigned long long>(checks), rss);
            std::fflush(stdout);
            if (checks >= options.checks || seconds >= options.minutes * 60)
                break;
            if (options.interval < 60 && tick % options.interval == options.interval - 1)
                PostMessage(window, WM_TIMER, g_iIntervalTimerId, 0);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        endMb = ResidentMb();
        milestones.push_back(Measure(msSince(start) / 1000.0, counters->requests.load()));
        stopProbing.store(true);
        prober.join();
        std::printf("%8.0f %8llu %10.1f  (end)\n", msSince(start) / 1000.0,
            static_cast<unsigned long long>(counters->requests.load()), endMb);
        PostMessage(window, WM_CLOSE, 0, 0);
    });
    loop.Run();
    sampler.join();
    _Module.RemoveMessageLoop();

    CSqlDatabase db;
    db.open(database.c_str());
    CSqlBuffer sql;
    const int updated = db.runScalar(sql.format("SELECT count(*) FROM PAGES WHERE lastChecked >= %u;", started));
    const int hostileUpdated = db.runScalar(
        sql.format("SELECT count(*) FROM PAGES WHERE lastChecked >= %u AND descr NOT LIKE '%%(normal)';", started));
    const int hostile = db.runScalar("SELECT count(*) FROM PAGES WHERE descr NOT LIKE '%(normal)';");
    db.close();

    std::printf("\nchecks made: %llu in %.0f s (pages: %d due every %d s, one in ten hostile: slow 3 s, dripping "
                "1 byte/s, endless 2 GB, garbage; time-outs 5 s)\n",
        static_cast<unsigned long long>(counters->requests.load()), msSince(start) / 1000.0, options.pages,
        options.interval);
    std::printf("idle toolbar connections: %d asked, %d kept by the server, %d closed at once\n", options.idle,
        counters->idleKept.load(), counters->idleClosed.load());
    std::printf("resident memory: after the first %llu checks %.1f MB, peak %.1f MB, at the end of the checks %.1f "
                "MB, growth after the first part %.1f MB\n",
        static_cast<unsigned long long>(firstPart), baselineMb, peakMb, endMb, endMb - baselineMb);
    std::printf("\n%8s %8s %10s %12s %8s   (the bench's own prober and sampler threads included)\n", "seconds",
        "checks", "rss_MB", "descriptors", "threads");
    for (const SMilestone& m : milestones)
        std::printf("%8.0f %8llu %10.1f %12d %8d\n", m.seconds, static_cast<unsigned long long>(m.checks), m.residentMb,
            m.descriptors, m.threads);
    std::printf("rows updated: %d of %d pages (hostile: %d of %d)\n", updated, options.pages, hostileUpdated, hostile);
    std::printf("window: %d messages sent from another thread, slowest answer %lld ms\n", probe.probes.load(),
        static_cast<long long>(probe.slowestMs.load()));

    ::kill(crowdPid, SIGKILL);
    ::kill(serverPid, SIGKILL);
    ::waitpid(crowdPid, nullptr, 0);
    ::waitpid(serverPid, nullptr, 0);
    return 0;
}
