// What a check costs the program by the size of its page: the `taluvo` executable as a user runs
// it, started on a prepared database whose due pages it checks at its first minute tick, one after
// the other, from a loopback server in this process. The pages come in four groups that the tick
// takes in turn (300 of 100 KB, 200 of 90 KB, 40 of 1 MB, 8 of 10 MB) and a last page that only
// closes the fourth group. Everything is read from outside through /proc, for all threads of the
// process (/proc/<pid>/task/*/, read every 5 ms so that a thread that ends keeps its figures): the
// context switches (status) and the CPU time (schedstat, in nanoseconds). A group's figures run from the server's first
// request of the group to its first request of the next, so each check's whole round counts once: the request, the
// reading, the stored result, the tree, and the start of the next check.
//
//   voluntary switches per 100 KB check, all threads (target: at most 16); the involuntary ones,
//       which follow the machine's load, beside them
//   CPU per check of a 1 MB page over CPU per check of a 90 KB page (target: at most 3)
//   CPU per MB of 10 MB pages (target: at most 4 ms)
//
// Each over three runs of the program, min / median, with the load average at start and end, and
// the switches the program makes per second while it waits, idle, for its tick.
//
//   check_bench [--program PATH] [--runs 3]
//
// The program's toolbar server needs the fixed port 6790, so the benchmark runs itself again in a
// private network namespace (unshare -rn, loopback up) when it can.
#include "bench/support/LoopbackServerProcess.h"
#include "bench/support/ProcessFigures.h"
#include "bench/support/ProgramDatabase.h"
#include "bench/support/RunningProgram.h"
#include "core/db/SqlWrapper.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

using namespace taluvo::bench;

namespace {

constexpr char kInside[] = "TALUVO_CHECK_BENCH_INSIDE";

struct SKind {
    const char* label;
    size_t bytes;
    int pages;
};

// The groups in the order the tick checks them; the last one only ends the group before it.
constexpr std::array<SKind, 5> kKinds { {
    { "100 KB", size_t { 100 } * 1024, 300 },
    { "90 KB", size_t { 90 } * 1024, 200 },
    { "1 MB", size_t { 1024 } * 1024, 40 },
    { "10 MB", size_t { 10 } * 1024 * 1024, 8 },
    { "end", size_t { 1024 }, 1 },
} };
constexpr size_t kSmall = 0, kNinety = 1, kOneMb = 2, kTenMb = 3, kMeasured = 4;

constexpr double kTargetSwitches = 16;
constexpr double kTargetRatio = 3;
constexpr double kTargetCpuPerMb = 4;

// What the process had spent when the server saw the first request of a group.
struct SMark {
    bool seen = false;
    SThreadFigures spent;
    std::map<long, SThreadFigures> threads; // by thread id
};

// Serves every group's pages (/g<group>/<page>) on keep-alive connections, and takes the marks.
class CCheckServer {
public:
    CCheckServer()
    {
        for (const SKind& kind : kKinds) {
            std::string body;
            body.reserve(kind.bytes + 128);
            while (body.size() < kind.bytes)
                body += "<p>Line of a watched page with some text in it, number " + std::to_string(body.size())
                    + "</p>\n";
            body.resize(kind.bytes);
            m_answers.push_back("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                + std::to_string(body.size()) + "\r\n\r\n" + body);
        }
        m_listener = OpenLoopbackListener(m_port);
        if (m_listener < 0) {
            m_port = 0;
            return;
        }
        m_thread = std::thread([this] { Accept(); });
    }
    ~CCheckServer()
    {
        if (m_listener >= 0) {
            ::shutdown(m_listener, SHUT_RDWR);
            ::close(m_listener);
        }
        if (m_thread.joinable())
            m_thread.join();
    }
    CCheckServer(const CCheckServer&) = delete;
    CCheckServer& operator=(const CCheckServer&) = delete;

    int Port() const { return m_port; }
    int Answered() const { return m_answered.load(); }
    // Watches pid from now on: its marks are taken at each group's first request.
    void Watch(pid_t pid, CThreadsWatch* threads)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pid = pid;
        m_threads = threads;
        m_marks.fill(SMark {});
        m_answered.store(0);
    }
    std::array<SMark, kKinds.size()> Marks()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_marks;
    }

private:
    void Accept()
    {
        for (;;) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            std::thread([this, client] { Serve(client); }).detach();
        }
    }
    void Serve(int client)
    {
        std::string request;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<size_t>(got));
            size_t end;
            while ((end = request.find("\r\n\r\n")) != std::string::npos) {
                const size_t group = GroupOf(request);
                request.erase(0, end + 4);
                if (group >= kKinds.size())
                    break;
                Mark(group);
                ++m_answered;
                if (!SendAll(client, m_answers[group].data(), m_answers[group].size()))
                    break;
            }
        }
        ::close(client);
    }
    static size_t GroupOf(const std::string& request)
    {
        const size_t at = request.find(" /g");
        return at == std::string::npos ? kKinds.size() : static_cast<size_t>(std::atoi(request.c_str() + at + 3) - 1);
    }
    // The group's first request: what the process has spent up to the moment the check asks for its page.
    void Mark(size_t group)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_pid <= 0 || m_marks[group].seen)
            return;
        m_marks[group].seen = true;
        m_marks[group].spent = m_threads->Now(&m_marks[group].threads);
    }

    std::vector<std::string> m_answers;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<int> m_answered { 0 };
    std::mutex m_lock;
    pid_t m_pid = -1;
    CThreadsWatch* m_threads = nullptr;
    std::array<SMark, kKinds.size()> m_marks {};
    std::thread m_thread;
};

// One group per kind, its pages due at the first tick and never checked (their first check stores
// a checksum and stays Ordinary). Nothing reaches the desktop: no popups, sounds, log or command.
void MakeDatabase(const std::string& path, int port)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path, TurnOffDesktopAlerts);
    db.execDML("BEGIN;");
    CSqlBuffer sql;
    int id = 1;
    for (size_t group = 1; group <= kKinds.size(); ++group) {
        db.execDML(sql.format("INSERT INTO GROUPS VALUES(%d, 'GROUP %d', 1, 1, NULL);", static_cast<int>(group),
            static_cast<int>(group)));
        for (int page = 0; page < kKinds[group - 1].pages; ++page, ++id) {
            const std::string url
                = "http://127.0.0.1:" + std::to_string(port) + "/g" + std::to_string(group) + "/" + std::to_string(id);
            db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, %Q, %Q, '', '', 'Page %05d of group %d', 0, "
                                  "4294967295, 4294967295, 1, 600, 3, 0, 0);",
                id, static_cast<int>(group), url.c_str(), url.c_str(), id, static_cast<int>(group)));
        }
    }
    db.execDML("COMMIT;");
    db.close();
}

// One run's figures, per check unless said otherwise.
struct SRun {
    double voluntary = 0, involuntary = 0; // 100 KB checks
    double cpuNinety = 0, cpuOneMb = 0;
    double ratio = 0; // 1 MB over 90 KB
    double cpuPerMbTen = 0;
    double idleVoluntaryPerSecond = 0;
    // Where a 100 KB check's voluntary switches go: the window's thread, then the others, most first.
    std::string byThread;
    std::string cpuByThread; // where a 1 MB check's CPU goes (ms), the same way
};

// A figure per check between two marks, by thread: the window's (the process's first thread), then
// the others, the largest first, leaving out those that hardly count.
std::string ByThread(
    const SMark& from, const SMark& to, int pages, pid_t window, double SThreadFigures::*field, const char* format)
{
    std::vector<double> others;
    double windows = 0;
    for (const auto& [id, last] : to.threads) {
        const auto first = from.threads.find(id);
        const double value = (last.*field - (first == from.threads.end() ? 0 : first->second.*field)) / pages;
        if (id == window)
            windows = value;
        else if (value >= 0.05)
            others.push_back(value);
    }
    std::sort(others.begin(), others.end(), std::greater<>());
    char part[48];
    std::string text = "window ";
    std::snprintf(part, sizeof part, format, windows);
    text += part;
    text += "; others";
    for (const double n : others) {
        text += " ";
        std::snprintf(part, sizeof part, format, n);
        text += part;
    }
    return text;
}

bool MeasureRun(const std::string& program, CCheckServer& server, SRun& run)
{
    CProgramFolder folder;
    MakeDatabase(folder.Database(), server.Port());
    CRunningProgram taluvo(program, folder);
    if (!WaitForWindow(taluvo)) {
        std::fprintf(stderr, "the program's window did not come up\n");
        return false;
    }
    CThreadsWatch threads(taluvo.Pid());
    server.Watch(taluvo.Pid(), &threads);
    // The server takes no mark once the watch has gone, however the run ends.
    const std::unique_ptr<CCheckServer, void (*)(CCheckServer*)> unwatch(
        &server, [](CCheckServer* watching) { watching->Watch(-1, nullptr); });
    // The idle program before its tick: what it does while nothing is checked.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const SThreadFigures idleStart = threads.Now();
    const auto idleFrom = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    run.idleVoluntaryPerSecond = (threads.Now().voluntary - idleStart.voluntary) / (Ms(Clock::now() - idleFrom) / 1000);
    if (!WaitFor([&] { return server.Marks()[kMeasured].seen || !taluvo.Running(); }, std::chrono::seconds(400),
            std::chrono::milliseconds(20))
        || !server.Marks()[kMeasured].seen) {
        std::fprintf(stderr, "the checks did not reach the last group (%d answered)\n", server.Answered());
        return false;
    }
    const auto marks = server.Marks();
    // Per check of the kind.
    const auto between = [&](size_t kind) {
        const SThreadFigures &from = marks[kind].spent, &to = marks[kind + 1].spent;
        const double pages = kKinds[kind].pages;
        return SThreadFigures { (to.voluntary - from.voluntary) / pages, (to.involuntary - from.involuntary) / pages,
            (to.cpuMs - from.cpuMs) / pages };
    };
    const SThreadFigures small = between(kSmall), ninety = between(kNinety), oneMb = between(kOneMb),
                         tenMb = between(kTenMb);
    run.byThread = ByThread(
        marks[kSmall], marks[kSmall + 1], kKinds[kSmall].pages, taluvo.Pid(), &SThreadFigures::voluntary, "%.1f");
    run.cpuByThread = ByThread(
        marks[kOneMb], marks[kOneMb + 1], kKinds[kOneMb].pages, taluvo.Pid(), &SThreadFigures::cpuMs, "%.2f");
    run.voluntary = small.voluntary;
    run.involuntary = small.involuntary;
    run.cpuNinety = ninety.cpuMs;
    run.cpuOneMb = oneMb.cpuMs;
    run.ratio = ninety.cpuMs > 0 ? oneMb.cpuMs / ninety.cpuMs : 0;
    run.cpuPerMbTen = tenMb.cpuMs / (static_cast<double>(kKinds[kTenMb].bytes) / (1024.0 * 1024.0));
    return true;
}

std::vector<double> Column(const std::vector<SRun>& runs, double SRun::*field)
{
    std::vector<double> values;
    values.reserve(runs.size());
    for (const SRun& run : runs)
        values.push_back(run.*field);
    return values;
}

void PrintFigure(const char* what, const std::vector<double>& values, const char* unit, double target)
{
    std::printf("%-64s %8.2f / %8.2f %-6s", what, Min(values), Median(values), unit);
    if (target > 0)
        std::printf(" target: at most %g (%s)", target, Median(values) <= target ? "met" : "MISSED");
    std::printf("\n");
}

int Measure(const std::string& program, int runs)
{
    CCheckServer server;
    if (!ReadyToMeasure(server.Port()))
        return 1;
    std::printf("program: %s\nload average at start: %s\n", program.c_str(), LoadAverage().c_str());
    std::fflush(stdout);
    std::vector<SRun> results;
    for (int i = 1; i <= runs; ++i) {
        SRun run;
        if (!MeasureRun(program, server, run))
            return 1;
        std::printf("run %d: 100 KB check: %.1f voluntary (by thread: %s), %.1f involuntary switches; CPU per check "
                    "90 KB %.3f ms, 1 MB %.3f ms (x%.2f; by thread: %s); 10 MB pages %.3f ms per MB; idle: %.1f "
                    "voluntary switches per second\n",
            i, run.voluntary, run.byThread.c_str(), run.involuntary, run.cpuNinety, run.cpuOneMb, run.ratio,
            run.cpuByThread.c_str(), run.cpuPerMbTen, run.idleVoluntaryPerSecond);
        std::fflush(stdout);
        results.push_back(run);
    }
    std::printf("\nthe taluvo executable, %d runs, min / median:\n", runs);
    PrintFigure("voluntary context switches per 100 KB check, all threads", Column(results, &SRun::voluntary), "",
        kTargetSwitches);
    PrintFigure(
        "  involuntary ones beside them (they follow the machine's load)", Column(results, &SRun::involuntary), "", 0);
    PrintFigure("CPU per check, 90 KB page", Column(results, &SRun::cpuNinety), "ms", 0);
    PrintFigure("CPU per check, 1 MB page", Column(results, &SRun::cpuOneMb), "ms", 0);
    PrintFigure("CPU per check, 1 MB page over 90 KB page", Column(results, &SRun::ratio), "x", kTargetRatio);
    PrintFigure("CPU per MB, 10 MB pages", Column(results, &SRun::cpuPerMbTen), "ms", kTargetCpuPerMb);
    PrintFigure(
        "voluntary switches per second, idle before the tick", Column(results, &SRun::idleVoluntaryPerSecond), "", 0);
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const SProgramArguments arguments = ProgramArguments(argc, argv, TALUVO_PROGRAM);
    const int status = RunInPrivateNetwork(argc, argv, kInside);
    if (status >= 0)
        return status;
    return Measure(arguments.program, arguments.runs);
}
