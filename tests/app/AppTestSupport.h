// The program run as its own process in a folder of the test's, and its exit status.
#pragma once

#include "tests/frame/ProgramProbes.h"
#include "tests/support/TestEnvironment.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace taluvo::test {

class CProgram {
public:
    // Starts argv with the extra environment entries ("NAME=value"); stdout and stderr go to a file.
    CProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
        const std::string& outputFile)
        : m_pid(SpawnWithOutput(argv, extraEnvironment, outputFile))
    {
    }
    ~CProgram()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    bool Started() const { return m_pid > 0; }
    void Signal(int signal) const { ::kill(m_pid, signal); }
    // The exit status (the low 8 bits of the process's result), -1 on a signal death, -2 when it
    // did not end within the bound.
    int Wait(std::chrono::milliseconds bound = std::chrono::seconds(20))
    {
        const auto end = std::chrono::steady_clock::now() + bound;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -2;
    }

private:
    pid_t m_pid = -1;
    bool m_exited = false;
};

} // namespace taluvo::test
