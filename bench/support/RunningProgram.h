// The `taluvo` executable as a user runs it, for the benchmarks that measure the program itself:
// a program folder of its own (TALUVO_HOME) with a database prepared beforehand, the process
// started on Qt's offscreen platform and ended as the desktop ends it (SIGTERM), and the fixed
// toolbar port that tells when its window is up.
#pragma once

#include <QTemporaryDir>

#include <chrono>
#include <string>

#include <sys/types.h>

namespace taluvo::bench {

// The program's folder (its database, settings, trace) and its runtime folder, removed with the object.
class CProgramFolder {
public:
    std::string Home() const { return m_home.path().toStdString(); }
    std::string Runtime() const { return m_runtime.path().toStdString(); }
    std::string Database() const;

private:
    QTemporaryDir m_home;
    QTemporaryDir m_runtime;
};

class CRunningProgram {
public:
    // Starts program in folder; its output goes to output (a file path; /dev/null when empty).
    CRunningProgram(const std::string& program, const CProgramFolder& folder, const std::string& output = {});
    // Ends the process as Stop does.
    ~CRunningProgram();
    CRunningProgram(const CRunningProgram&) = delete;
    CRunningProgram& operator=(const CRunningProgram&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running() const;
    // Sends SIGTERM and waits up to bound for the exit (the program saves and compacts its
    // database first), then kills it. Its exit status, or -1 when it had to be killed.
    int Stop(std::chrono::seconds bound = std::chrono::seconds(60));

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// True once something accepts on the toolbar port 6790 of the loopback address.
bool ToolbarPortAccepts();

// True when a benchmark's page server is up (serverPort is not 0) and the toolbar port is free;
// says why not on stderr.
bool ReadyToMeasure(int serverPort);

// Waits until the program's window is up (its toolbar server accepts) or it has ended.
bool WaitForWindow(const CRunningProgram& program, std::chrono::seconds bound = std::chrono::seconds(60));

// Runs this benchmark again, with the same arguments, in a private network namespace with its
// loopback up, where the program's fixed toolbar port is its own; insideVariable is set there so
// the run inside knows it. Its exit status; -1 when the run goes on here: inside that namespace,
// or where none can be made (said on stdout: the toolbar port must then be free).
int RunInPrivateNetwork(int argc, char** argv, const char* insideVariable);

// The arguments of the benchmarks that run the program: --program PATH (the executable to
// measure; program by default) and --runs N (3 by default).
struct SProgramArguments {
    std::string program;
    int runs = 3;
};
SProgramArguments ProgramArguments(int argc, char** argv, const std::string& program);

} // namespace taluvo::bench
