#include "bench/support/RunningProgram.h"

#include "bench/support/ProcessFigures.h"

#include <QDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace taluvo::bench {

std::string CProgramFolder::Database() const
{
    return QDir(m_home.path()).filePath(QStringLiteral("database.db")).toStdString();
}

CRunningProgram::CRunningProgram(const std::string& program, const CProgramFolder& folder, const std::string& output)
{
    // A first start writes the autostart entry: into the run's own folder, not the user's.
    std::vector<std::string> env = { "TALUVO_HOME=" + folder.Home(), "XDG_RUNTIME_DIR=" + folder.Runtime(),
        "XDG_CONFIG_HOME=" + folder.Home() + "/config", "QT_QPA_PLATFORM=offscreen" };
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("TALUVO_", 0) != 0 && entry.rfind("XDG_RUNTIME_DIR=", 0) != 0
            && entry.rfind("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(entry);
    }
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = { path.data(), nullptr };
    const std::string sink = output.empty() ? "/dev/null" : output;
    m_pid = ::fork();
    if (m_pid == 0) {
        const int out = ::open(sink.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execve(path.c_str(), argv, envp.data());
        ::_exit(127);
    }
}

CRunningProgram::~CRunningProgram()
{
    Stop();
}

bool CRunningProgram::Running() const
{
    // Looked at without reaping it: Stop still collects the status.
    siginfo_t info {};
    return m_pid > 0 && ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == 0;
}

int CRunningProgram::Stop(std::chrono::seconds bound)
{
    if (m_pid <= 0)
        return m_status;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    if (WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, bound, std::chrono::milliseconds(20)))
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    else {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        m_status = -1;
    }
    m_pid = -1;
    return m_status;
}

SProgramArguments ProgramArguments(int argc, char** argv, const std::string& program)
{
    SProgramArguments arguments { program, 3 };
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            arguments.program = argv[i + 1];
        else if (std::strcmp(argv[i], "--runs") == 0)
            arguments.runs = std::max(1, std::atoi(argv[i + 1]));
    }
    return arguments;
}

int RunInPrivateNetwork(int argc, char** argv, const char* insideVariable)
{
    if (std::getenv(insideVariable))
        return -1;
    if (std::system("unshare -rn true 2>/dev/null") != 0) {
        std::printf("no private network namespace: running here (the toolbar port 6790 must be free)\n");
        return -1;
    }
    std::vector<std::string> args
        = { "unshare", "-rn", "bash", "-c", "ip link set lo up && exec \"$0\" \"$@\"", "/proc/self/exe" };
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) > 0)
        args.back() = self;
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    std::vector<char*> arguments;
    arguments.reserve(args.size() + 1);
    for (std::string& arg : args)
        arguments.push_back(arg.data());
    arguments.push_back(nullptr);
    ::setenv(insideVariable, "1", 1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp("unshare", arguments.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

bool ToolbarPortAccepts()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(6790);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

bool ReadyToMeasure(int serverPort)
{
    if (serverPort == 0) {
        std::fprintf(stderr, "the page server did not start\n");
        return false;
    }
    if (ToolbarPortAccepts()) {
        std::fprintf(stderr, "port 6790 is taken\n");
        return false;
    }
    return true;
}

bool WaitForWindow(const CRunningProgram& program, std::chrono::seconds bound)
{
    return WaitFor([&] { return ToolbarPortAccepts() || !program.Running(); }, bound, std::chrono::milliseconds(5))
        && program.Running();
}

} // namespace taluvo::bench
