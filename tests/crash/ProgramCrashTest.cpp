// The program itself, not a fixture: a SIGSEGV sent to the running program leaves the report and
// the minidump in its program folder.
#include "tests/crash/CrashTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace taluvo::crashtest;

const std::string kProgram = TALUVO_PROGRAM;

// The system call the process waits in; -1 while it runs.
long WaitingSyscall(pid_t pid)
{
    const std::string text = taluvo::test::ReadFile("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    if (std::sscanf(text.c_str(), "%ld", &number) < 1)
        return -1;
    return number;
}

TEST(ProgramCrash, SignalLeavesReportAndMinidumpInTheProgramFolder)
{
    struct stat info { };
    if (stat(kProgram.c_str(), &info) != 0)
        GTEST_SKIP() << "the program is not built: " << kProgram;
    TempDir home;
    const taluvo::test::UsualUmask umask;

    // The program must be caught while it runs, after its crash handler is in place: its trace
    // file is a named pipe that nobody reads, so it waits where it opens the file for its first
    // trace line (a program with a main loop would wait in poll).
    taluvo::test::WriteFile(home.File("taluvo.ini"), "[TraceLevel]\r\nTaluvo=31\r\n[Output]\r\nType=File\r\n");
    ASSERT_EQ(mkfifo(home.File("taluvo.trc").c_str(), 0644), 0);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "TALUVO_HOME=", 12) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
            env.emplace_back(*e);
    }
    env.push_back("TALUVO_HOME=" + home.Path());
    env.push_back("QT_QPA_PLATFORM=offscreen"); // the crash dialog must not wait for a user
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env)

        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = kProgram;
    char* argv[] = { program.data(), nullptr };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    const bool waiting = taluvo::test::WaitUntil(
        [&] {
            const std::string status = taluvo::test::ReadFile("/proc/" + std::to_string(child) + "/status");
            const size_t caught = status.find("SigCgt:");
            const bool handled = caught != std::string::npos
                && (std::stoull(status.substr(caught + 7), nullptr, 16) >> (SIGSEGV - 1)) & 1;
            const long number = WaitingSyscall(child);
            return handled && (number == SYS_openat || number == SYS_poll || number == SYS_ppoll);
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(waiting) << "the program with its crash handler neither waits for its trace file nor in its main loop";
    kill(child, SIGSEGV);

    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    bool ended = true;
    if (pidfd >= 0) {
        pollfd end { pidfd, POLLIN, 0 };
        ended = poll(&end, 1, kRunBoundMs) > 0;
        close(pidfd);
    }
    if (!ended)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(ended) << "the program did not end after the signal";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV);

    const std::string name = kProgram.substr(kProgram.rfind('/') + 1);
    const QString report = ReadReport(home.File(name + ".RPT"));
    EXPECT_TRUE(report.startsWith(QStringLiteral("===== [start of crash report] =====\r\n")));
    EXPECT_TRUE(
        report.contains(QStringLiteral("Module 1\r\n") + QString::fromStdString(kProgram) + QStringLiteral("\r\n")))
        << Text(report.left(2000));
    EXPECT_TRUE(report.endsWith(QStringLiteral("===== [end of crash report] =====\r\n")));
    EXPECT_EQ(taluvo::test::ReadFile(home.File("Crash.dmp")).substr(0, 4), "MDMP");
    // Both hold the user's memory: they are the user's alone.
    EXPECT_EQ(taluvo::test::FileMode(home.File(name + ".RPT")), 0600);
    EXPECT_EQ(taluvo::test::FileMode(home.File("Crash.dmp")), 0600);
}

} // namespace
