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

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace taluvo::test {

class CProgram {
public:
    // Starts argv with the extra environment entries ("NAME=value"); stdout and stderr go to a file.
    CProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
        const std::string& outputFile)
    {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        for (const std::string& extra : extraEnvironment) {
            const std::string name = extra.substr(0, extra.find('=') + 1);
            std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
            environment.push_back(extra);
        }
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = argv;
        std::vector<char*> argp;
        for (std::string& arg : args)
            argp.push_back(arg.data());
        argp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&m_pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
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
