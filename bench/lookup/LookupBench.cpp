// Lookups that never end, given up, beside a healthy page: the `taluvo` executable on a prepared
// database checks, at its first minute tick, three pages on hosts whose lookups never get an answer
// and then a page on the loopback address, with connect and send time-outs of 2 s (a check waits for
// its connection within its send step). The system resolver asks
// a name server that reads every query and never answers, and waits 30 s for it (resolv.conf
// "options timeout:30 attempts:1", nsswitch.conf "hosts: files dns"). Prints when each lookup
// began, when the loopback page was requested, how long after the last unresolvable page's lookup
// began and after its connect time-out ran out, and what the program stored for the four pages.
//
//   lookup_bench [--program PATH]
//
// It runs itself again inside a private user, mount and network namespace (unshare -rmn) where its
// own resolv.conf and nsswitch.conf are bind-mounted over the system's and the name server has port
// 53 of the namespace's loopback; where the system allows no such namespace it says so and ends.
#include "bench/support/LoopbackPageServer.h"
#include "bench/support/ProgramDatabase.h"
#include "bench/support/RunningProgram.h"
#include "tests/support/SilentNameServer.h"

#include "core/db/SqlWrapper.h"
#include "core/prefs/Preferences.h"

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <climits>
#include <sys/wait.h>
#include <unistd.h>

using namespace taluvo::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kInside = "TALUVO_LOOKUP_BENCH_INSIDE";
constexpr int kConnectTimeoutSeconds = 2;
const char* const kNeverResolved[] = { "a.never-resolves.test", "b.never-resolves.test", "c.never-resolves.test" };

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Runs this benchmark again inside the namespaces, with the files bind-mounted; its exit status.
int RunInside(char** argv)
{
    QTemporaryDir dir;
    const std::string resolv = dir.filePath(QStringLiteral("resolv.conf")).toStdString();
    const std::string nsswitch = dir.filePath(QStringLiteral("nsswitch.conf")).toStdString();
    std::FILE* f = std::fopen(resolv.c_str(), "w");
    std::fputs("nameserver 127.0.0.1\noptions timeout:30 attempts:1\n", f);
    std::fclose(f);
    f = std::fopen(nsswitch.c_str(), "w");
    std::fputs("hosts: files dns\n", f);
    std::fclose(f);
    char self[PATH_MAX] {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;
    const std::string script = "ip link set lo up && mount --bind '" + resolv + "' /etc/resolv.conf && mount --bind '"
        + nsswitch + "' /etc/nsswitch.conf || exit 77\nexec \"$0\" \"$@\"\n";
    std::vector<char*> args { const_cast<char*>("/usr/bin/unshare"), const_cast<char*>("-rmn"),
        const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(script.c_str()), self };
    for (char** a = argv + 1; *a; ++a)
        args.push_back(*a);
    args.push_back(nullptr);
    ::setenv(kInside, "1", 1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    if (code == 77 || code == 127)
        std::fprintf(stderr,
            "this system allows no private user, mount and network namespace with its own "
            "resolv.conf (unshare -rmn, mount --bind, ip link)\n");
    return code;
}

void MakeDatabase(const std::string& path, int port)
{
    CSqlDatabase db;
    CreateProgramDatabase(db, path, [](CPreferences& prefs) {
        for (const char* flag :
            { "PopupAlertEnable", "AlertSoundEnable", "ErrorSoundEnable", "LogEnable", "RunCmdEnable" })
            prefs.GetParam(flag)->SetBool(false);
        // A check waits for its connection within its send step: both bound it.
        prefs.GetParam(kConnectTimeout)->SetInt(kConnectTimeoutSeconds);
        prefs.GetParam(kSendTimeout)->SetInt(kConnectTimeoutSeconds);
        prefs.GetParam(kRecvTimeout)->SetInt(5);
    });
    db.execDML("INSERT INTO GROUPS VALUES(1, 'LOOKUPS', 1, 1, NULL);");
    CSqlBuffer sql;
    // Due at the first tick, oldest check first: the three unresolvable pages, then the loopback one.
    int id = 1;
    for (const char* host : kNeverResolved) {
        db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, 1, 'http://%s/', 'http://%s/', '', '', 'Page %d', %d, "
                              "4294967295, 4294967295, 1, 60, 3, 0, 0);",
            id, host, host, id, id));
        ++id;
    }
    db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, 1, 'http://127.0.0.1:%d/', 'http://127.0.0.1:%d/', '', '', "
                          "'Loopback page', %d, 4294967295, 4294967295, 1, 60, 3, 0, 0);",
        id, port, port, id));
    db.close();
}

int Measure(const std::string& program)
{
    if (ToolbarPortAccepts()) {
        std::fprintf(stderr, "port 6790 is taken in the namespace\n");
        return 1;
    }
    taluvo::test::SilentNameServer names;
    if (!names.Listening()) {
        std::fprintf(stderr, "no name server on port 53 of the namespace's loopback\n");
        return 1;
    }
    PageServer page(4096);
    CProgramFolder folder;
    MakeDatabase(folder.Database(), page.Port());
    CRunningProgram running(program, folder,
        QDir(QString::fromStdString(folder.Home())).filePath(QStringLiteral("output.txt")).toStdString());
    if (!WaitForWindow(running)) {
        std::fprintf(stderr, "the program's window did not come up\n");
        return 1;
    }
    // The first minute tick checks the pages; the loopback page is asked for once they are done.
    const Clock::time_point start = Clock::now();
    Clock::time_point requested {};
    while (Clock::now() - start < std::chrono::seconds(180) && running.Running()) {
        if (page.Answered() > 0) {
            requested = Clock::now();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // The loopback page's result is stored once its check ends.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    running.Stop();

    std::printf("program: %s\nsystem resolver: one name server that never answers, timeout 30 s, 1 attempt; "
                "connect time-out %d s\n",
        program.c_str(), kConnectTimeoutSeconds);
    Clock::time_point lastLookup {};
    const std::vector<taluvo::test::SilentNameServer::Query> seen = names.Seen();
    Clock::time_point firstLookup = seen.empty() ? Clock::time_point {} : seen.front().at;
    for (const char* host : kNeverResolved) {
        for (const auto& query : seen) {
            if (query.name == host) {
                std::printf("lookup of %s began at %+.3f s\n", host, Seconds(query.at - firstLookup));
                lastLookup = query.at;
                break;
            }
        }
    }
    if (requested == Clock::time_point {} || lastLookup == Clock::time_point {}) {
        std::printf("loopback page requested: never (target: within %d s of the last lookup given up)\n",
            kConnectTimeoutSeconds);
    } else {
        const double after = Seconds(requested - lastLookup);
        std::printf("loopback page requested at %+.3f s: %.3f s after the last unresolvable page's lookup began, "
                    "%.3f s after that page's %d s connect time-out ran out (target: within its own %d s)\n",
            Seconds(requested - firstLookup), after, after - kConnectTimeoutSeconds, kConnectTimeoutSeconds,
            kConnectTimeoutSeconds);
    }
    CSqlDatabase db;
    db.open(folder.Database().c_str());
    CSqlQuery rows = db.runQuery("SELECT id, url, status, errorCode, httpStatusCode FROM PAGES ORDER BY id;");
    std::printf("stored:\n");
    for (; !rows.eof(); rows.stepRow())
        std::printf("  %-32s status %d, error %d, HTTP %d\n", rows.getStringField("url", ""),
            rows.getIntField("status", 0), rows.getIntField("errorCode", 0), rows.getIntField("httpStatusCode", 0));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string program = TALUVO_PROGRAM;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--program") == 0)
            program = argv[i + 1];
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!std::getenv(kInside))
        return RunInside(argv);
    return Measure(program);
}
