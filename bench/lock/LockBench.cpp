// The `taluvo` executable while another program holds its database locked (a Python process with
// a SQLite connection of its own), each figure read from outside the program:
//
//   exit    the time from SIGTERM to the end of the process on the rollback journal (a reader held
//           the file at start), with the file locked and a toolbar connected whose groups list
//           waits for the lock; target: within the exit's 10 s bound
//   memory  anonymous memory while the lock is held and 40 due pages of 1 MB are checked at the
//           first minute tick; target: flat (the kept results hold no page text)
//   large   resident memory before and after a round of 10 pages of 10 MB without a lock;
//           target: no growth that stays
//   store   the longest time the window's thread was away from its event loop (its system call
//           sampled from /proc/<pid>/syscall every millisecond) while 2,000 results of a group
//           sorted by status, kept during the lock, are stored after it; target: short slices
//
//   lock_bench [--program PATH] [--part exit|memory|large|store|all] [--lock-seconds S]
//
// S is how long the lock is held after the tick's checks began in "memory" (90 by default). The
// program's toolbar server listens on port 6790: run the benchmark where that port is free, e.g.
// unshare -rn sh -c 'ip link set lo up && build/release/bench/lock/lock_bench'.
#include "bench/support/LoopbackServerProcess.h"
#include "bench/support/ProcessFigures.h"
#include "bench/support/ProgramDatabase.h"
#include "bench/support/RunningProgram.h"

#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace taluvo::bench;

namespace {

constexpr int kToolbarPort = 6790;

struct SCounters {
    std::atomic<uint64_t> requests { 0 };
};

// "GET /<KB>/<id> HTTP/1.1": a page of that many KB, changed at every request.
void Serve(int client, void* context)
{
    auto* counters = static_cast<SCounters*>(context);
    std::string request;
    if (!ReadRequestHead(client, request))
        return;
    const uint64_t number = counters->requests.fetch_add(1) + 1;
    const size_t slash = request.find('/');
    const size_t kb = slash == std::string::npos ? 1 : std::strtoul(request.c_str() + slash + 1, nullptr, 10);
    std::string body = "<html><body><p>version " + std::to_string(number) + "</p>";
    body.resize(std::max<size_t>(kb, 1) * 1024, 'w');
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    SendAll(client, response.data(), response.size());
    ::close(client);
}

// Another program's connection: BEGIN EXCLUSIVE (or an open read) held until Release.
class CForeignLock {
public:
    CForeignLock(const std::string& database, bool exclusive)
    {
        static const char kScript[]
            = "import sqlite3, sys\n"
              "c = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=120)\n"
              "if sys.argv[2] == 'read':\n"
              "    c.execute('BEGIN'); c.execute('SELECT COUNT(*) FROM sqlite_master').fetchall()\n"
              "else:\n"
              "    c.execute('BEGIN EXCLUSIVE')\n"
              "print('locked', flush=True)\n"
              "sys.stdin.read()\n"
              "c.execute('COMMIT')\n";
        int toChild[2];
        int fromChild[2];
        // Close-on-exec: the program started later must not keep the lock holder's input open.
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            ::execl("/usr/bin/python3", "python3", "-c", kScript, database.c_str(), exclusive ? "exclusive" : "read",
                static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_toChild = toChild[1];
        m_fromChild = fromChild[0];
    }
    ~CForeignLock() { Release(); }
    CForeignLock(const CForeignLock&) = delete;
    CForeignLock& operator=(const CForeignLock&) = delete;

    bool WaitHeld()
    {
        char text[16] = {};
        return m_fromChild >= 0 && ::read(m_fromChild, text, sizeof text - 1) > 0
            && std::strncmp(text, "locked", 6) == 0;
    }
    void Release()
    {
        if (m_pid <= 0)
            return;
        ::close(m_toChild);
        ::close(m_fromChild);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
};

int ConnectToolbar()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kToolbarPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

// Alerts that would reach the desktop are off; every check still stores its row.
void MakeDatabase(const std::string& path, int sortType, int pages, int port, int pageKb)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path, TurnOffDesktopAlerts);
    db.execDML("BEGIN;");
    CSqlBuffer sql;
    db.execDML(sql.format("INSERT INTO GROUPS VALUES(1, 'LOCK', 1, %d, NULL);", sortType));
    // Due at the first minute tick only: checked a day and a minute ago, once a day.
    const auto checked = static_cast<unsigned>(std::time(nullptr) - 86400 - 60);
    for (int id = 1; id <= pages; ++id)
        db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, 1, 'http://127.0.0.1:%d/%d/%d', '', '', '', 'Page %d', "
                              "%u, 4294967295, 1, 1, 86400, %d, 0, 0);",
            id, port, pageKb, id, id, checked, id % 2 ? 3 : 4));
    db.execDML("COMMIT;");
    db.close();
}

int RowsStoredSince(const std::string& path, unsigned since)
{
    try {
        CSqlDatabase db;
        db.openExisting(path.c_str());
        CSqlBuffer sql;
        return db.runScalar(sql.format("SELECT COUNT(*) FROM PAGES WHERE lastChecked >= %u;", since));
    } catch (const CSqlException&) {
        return -1;
    }
}

std::string JournalMode(const std::string& path)
{
    CSqlDatabase db;
    db.openExisting(path.c_str());
    CSqlQuery query = db.runQuery("PRAGMA journal_mode;");
    return query.eof() ? std::string() : std::string(query.columnText(0));
}

struct SRun {
    SCounters* counters;
    int port;
    std::string program;
};

void PartExit(const SRun& run)
{
    CProgramFolder folder;
    MakeDatabase(folder.Database(), 1, 1, run.port, 1);
    CForeignLock reader(folder.Database(), false);
    if (!reader.WaitHeld()) {
        std::printf("exit: the reader did not start\n");
        return;
    }
    CRunningProgram program(run.program, folder);
    if (!WaitForWindow(program)) {
        std::printf("exit: the program's window did not come up\n");
        return;
    }
    reader.Release();
    const std::string journal = JournalMode(folder.Database());
    CForeignLock lock(folder.Database(), true);
    lock.WaitHeld();
    const int toolbar = ConnectToolbar();
    // The toolbar's greeting is under way: it waits for the lock.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto stopping = Clock::now();
    const int status = program.Stop(std::chrono::seconds(120));
    const double exitMs = Ms(Clock::now() - stopping);
    lock.Release();
    if (toolbar >= 0)
        ::close(toolbar);
    std::printf("exit: journal \"%s\", another program's lock held, one toolbar waiting for its list: SIGTERM to the "
                "end of the process %.0f ms (target: within the exit's 10000 ms), status %d\n",
        journal.c_str(), exitMs, status);
}

void PartMemory(const SRun& run, int lockSeconds)
{
    constexpr int kPages = 40;
    CProgramFolder folder;
    MakeDatabase(folder.Database(), 1, kPages, run.port, 1024);
    const auto since = static_cast<unsigned>(std::time(nullptr));
    CRunningProgram program(run.program, folder);
    if (!WaitForWindow(program)) {
        std::printf("memory: the program's window did not come up\n");
        return;
    }
    const pid_t pid = program.Pid();
    const SProcessMemory before = ProcessMemory(pid);
    const uint64_t requestsBefore = run.counters->requests.load();
    CForeignLock lock(folder.Database(), true);
    lock.WaitHeld();
    if (!WaitFor([&] { return run.counters->requests.load() > requestsBefore; }, std::chrono::seconds(120),
            std::chrono::milliseconds(20))) {
        std::printf("memory: no tick came\n");
        return;
    }
    const auto tick = Clock::now();
    double peak = 0;
    SProcessMemory last;
    while (Clock::now() - tick < std::chrono::seconds(lockSeconds)) {
        last = ProcessMemory(pid);
        peak = std::max(peak, last.anonymousMb);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const uint64_t checked = run.counters->requests.load() - requestsBefore;
    lock.Release();
    WaitFor([&] { return RowsStoredSince(folder.Database(), since) >= kPages; }, std::chrono::seconds(60),
        std::chrono::milliseconds(100));
    const int stored = RowsStoredSince(folder.Database(), since);
    const SProcessMemory after = ProcessMemory(pid);
    program.Stop();
    std::printf("memory: %d due pages of 1 MB checked (%llu requests) under a lock held %d s after the tick: anonymous "
                "%.1f MB before, peak %.1f MB (%+.1f MB), %.1f MB at the lock's end, %.1f MB once the %d rows were "
                "stored (target: flat, no page text kept)\n",
        kPages, static_cast<unsigned long long>(checked), lockSeconds, before.anonymousMb, peak,
        peak - before.anonymousMb, last.anonymousMb, after.anonymousMb, stored);
}

void PartLarge(const SRun& run)
{
    constexpr int kPages = 10;
    CProgramFolder folder;
    MakeDatabase(folder.Database(), 1, kPages, run.port, 10 * 1024);
    const auto since = static_cast<unsigned>(std::time(nullptr));
    CRunningProgram program(run.program, folder);
    if (!WaitForWindow(program)) {
        std::printf("large: the program's window did not come up\n");
        return;
    }
    const pid_t pid = program.Pid();
    const SProcessMemory before = ProcessMemory(pid);
    CMemoryWatch watch(pid);
    if (!WaitFor([&] { return RowsStoredSince(folder.Database(), since) >= kPages; }, std::chrono::seconds(180),
            std::chrono::milliseconds(100))) {
        std::printf("large: the round did not end\n");
        return;
    }
    // The last check's worker ends after its result was stored.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const SProcessMemory after = ProcessMemory(pid);
    watch.Stop();
    program.Stop();
    std::printf("large: a round of %d pages of 10 MB: resident %.1f MB before, %.1f MB after (%+.1f MB; peak %.1f MB), "
                "anonymous %.1f -> %.1f MB (target: no growth that stays)\n",
        kPages, before.rssMb, after.rssMb, after.rssMb - before.rssMb, watch.RssPeakMb(), before.anonymousMb,
        after.anonymousMb);
}

// Where the window's thread waits for its next event.
bool AtEventLoop(const std::string& syscall)
{
    const long number = std::strtol(syscall.c_str(), nullptr, 10);
    if (syscall.rfind("running", 0) == 0)
        return false;
    return number == 7 || number == 271 || number == 232 || number == 281 || number == 441;
}

void PartStore(const SRun& run)
{
    constexpr int kPages = 2000;
    CProgramFolder folder;
    MakeDatabase(folder.Database(), 3, kPages, run.port, 1);
    const auto since = static_cast<unsigned>(std::time(nullptr));
    CRunningProgram program(run.program, folder);
    if (!WaitForWindow(program)) {
        std::printf("store: the program's window did not come up\n");
        return;
    }
    const pid_t pid = program.Pid();
    const uint64_t requestsBefore = run.counters->requests.load();
    CForeignLock lock(folder.Database(), true);
    lock.WaitHeld();
    if (!WaitFor([&] { return run.counters->requests.load() - requestsBefore >= kPages; }, std::chrono::seconds(300),
            std::chrono::milliseconds(50))) {
        std::printf("store: the checks did not all come\n");
        return;
    }
    // The last check's result is kept once its worker has read the page.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    std::atomic<bool> stop { false };
    double longestAwayMs = 0;
    int spansOver100Ms = 0;
    uint64_t samples = 0;
    std::map<std::string, uint64_t> atLoop;
    std::thread sampler([&] {
        const std::string path = "/proc/" + std::to_string(pid) + "/syscall";
        bool away = false;
        Clock::time_point awaySince;
        while (!stop.load()) {
            std::ifstream file(path);
            std::string text;
            std::getline(file, text);
            const auto now = Clock::now();
            ++samples;
            if (AtEventLoop(text)) {
                atLoop[text.substr(0, text.find(' '))]++;
                if (away) {
                    const double ms = Ms(now - awaySince);
                    longestAwayMs = std::max(longestAwayMs, ms);
                    spansOver100Ms += ms > 100 ? 1 : 0;
                }
                away = false;
            } else if (!away) {
                away = true;
                awaySince = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto released = Clock::now();
    lock.Release();
    WaitFor([&] { return RowsStoredSince(folder.Database(), since) >= kPages; }, std::chrono::seconds(600),
        std::chrono::milliseconds(200));
    const double storingMs = Ms(Clock::now() - released);
    stop = true;
    sampler.join();
    const int stored = RowsStoredSince(folder.Database(), since);
    program.Stop();
    std::string loopCalls;
    for (const auto& [call, count] : atLoop)
        loopCalls += " " + call + ":" + std::to_string(count);
    std::printf("store: %d results of a group sorted by status, kept during the lock, stored in %.0f ms after it (%d "
                "rows); the window's thread was away from its event loop at most %.0f ms at a time, %d times over "
                "100 ms (%llu samples; at the loop in system calls%s)\n",
        kPages, storingMs, stored, longestAwayMs, spansOver100Ms, static_cast<unsigned long long>(samples),
        loopCalls.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::string part = "all";
    std::string programPath = TALUVO_PROGRAM;
    int lockSeconds = 90;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--part")
            part = argv[i + 1];
        else if (name == "--program")
            programPath = argv[i + 1];
        else if (name == "--lock-seconds")
            lockSeconds = std::atoi(argv[i + 1]);
        else
            std::fprintf(stderr, "unknown option %s\n", name.c_str());
    }
    if (ToolbarPortAccepts()) {
        std::fprintf(stderr, "port 6790 is taken: run in a private network namespace\n");
        return 1;
    }
    // The page server is a process of its own, forked before any thread starts.
    void* shared = ::mmap(nullptr, sizeof(SCounters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        return 1;
    auto* counters = new (shared) SCounters;
    pid_t serverPid = -1;
    const int port = StartLoopbackServer(&Serve, counters, serverPid);
    if (port <= 0) {
        std::fprintf(stderr, "the page server did not start\n");
        return 1;
    }
    std::printf("program: %s\nload average at start: %s\n", programPath.c_str(), LoadAverage().c_str());
    std::fflush(stdout);
    const SRun run { counters, port, programPath };
    if (part == "exit" || part == "all")
        PartExit(run);
    std::fflush(stdout);
    if (part == "memory" || part == "all")
        PartMemory(run, lockSeconds);
    std::fflush(stdout);
    if (part == "large" || part == "all")
        PartLarge(run);
    std::fflush(stdout);
    if (part == "store" || part == "all")
        PartStore(run);
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    ::kill(serverPid, SIGKILL);
    ::waitpid(serverPid, nullptr, 0);
    return 0;
}
