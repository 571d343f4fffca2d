#include "tests/crash/CrashTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace taluvo::crashtest {

FixtureRun RunFixture(const std::string& kind, const std::string& home, const std::string& helper,
    const std::vector<std::string>& extraEnvironment)
{
    FixtureRun run;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "TALUVO_HOME=", 12) != 0 && std::strncmp(*e, "TALUVO_CRASH_KIND=", 18) != 0)
            env.emplace_back(*e);
    }
    env.push_back("TALUVO_HOME=" + home);
    env.push_back("TALUVO_CRASH_KIND=" + kind);
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env)

        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = kFixture;
    std::string helperArgument = helper;
    char* argv[] = { program.data(), helperArgument.data(), nullptr };

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    // The pipe ends when the fixture and its helper have both closed it; the process's own end
    // is then waited for on its pidfd, within the same bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRunBoundMs);
    auto remainingMs = [&] {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<int64_t>(0, left.count()));
    };
    char buffer[4096];
    pollfd p { pipeFds[0], POLLIN, 0 };
    while (poll(&p, 1, remainingMs()) > 0) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    bool ended = true;
    if (pidfd >= 0) {
        pollfd end { pidfd, POLLIN, 0 };
        ended = poll(&end, 1, remainingMs()) > 0;
        close(pidfd);
    }
    int status = 0;
    if (!ended) {
        // Still running after the bound: a hang is a failure, not something to wait out.
        kill(child, SIGKILL);
        ADD_FAILURE() << "the fixture did not end within " << kRunBoundMs << " ms (kind " << kind << ")";
    }
    waitpid(child, &status, 0);
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    const size_t at = run.output.find("base=");
    if (at != std::string::npos)
        run.base = std::stoull(run.output.substr(at + 5), nullptr, 16);
    return run;
}

std::string ReportPath(const TempDir& home)
{
    // The fixture's name has no extension: the report's is appended.
    return home.File("crash_fixture.RPT");
}

QString ReadReport(const std::string& path)
{
    const std::string bytes = taluvo::test::ReadFile(path);
    return QString::fromUtf16(
        reinterpret_cast<const char16_t*>(bytes.data()), static_cast<qsizetype>(bytes.size() / 2));
}

QStringList Lines(const QString& report)
{
    QStringList lines = report.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

qsizetype IndexOf(const QStringList& lines, const QString& line, qsizetype from)
{
    for (qsizetype i = from; i < lines.size(); ++i) {
        if (lines[i] == line)
            return i;
    }
    return -1;
}

std::string Text(const QString& s)
{
    return s.toStdString();
}

bool ChildCanReadParentMemory()
{
    static const int probe = 0x5A17;
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0); // as the program allows its helper
    const pid_t child = fork();
    if (child == 0) {
        int value = 0;
        iovec local { &value, sizeof(value) };
        iovec remote { const_cast<int*>(&probe), sizeof(probe) };
        const bool read = process_vm_readv(getppid(), &local, 1, &remote, 1, 0) == sizeof(value) && value == probe;
        _exit(read ? 0 : 1);
    }
    int status = 1;
    if (child > 0)
        waitpid(child, &status, 0);
    prctl(PR_SET_PTRACER, 0, 0, 0, 0);
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string CommandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

} // namespace taluvo::crashtest
