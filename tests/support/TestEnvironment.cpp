#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace taluvo::test {

std::string HomeDir()
{
    const char* home = std::getenv("TALUVO_HOME");
    return home ? home : std::filesystem::temp_directory_path().string();
}

TempDir::TempDir()
{
    std::string pattern = HomeDir() + "/tmpXXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int FileMode(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 0777);
}

UsualUmask::UsualUmask()
    : m_previous(::umask(022))
{
}

UsualUmask::~UsualUmask()
{
    ::umask(static_cast<mode_t>(m_previous));
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    if (m_pid < 0)
        throw std::runtime_error("fork failed for " + argv.at(0));
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

int SpawnWithOutput(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
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
    envp.reserve(environment.size() + 1);
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    argp.reserve(args.size() + 1);
    for (std::string& arg : args)

        argp.push_back(arg.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string WaitForFileText(const std::string& path, std::chrono::milliseconds bound)
{
    std::string text;
    WaitUntil(
        [&] {
            text = ReadFile(path);
            return !text.empty();
        },
        bound);
    return text;
}

void WriteArgvRecorder(const std::string& path, const std::string& out)
{
    // Written under another name and moved, so a reader never sees half of it.
    WriteFile(path,
        "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done > '" + out + ".tmp' && mv '" + out
            + ".tmp' '" + out + "'\n");
    chmod(path.c_str(), 0755);
}

std::vector<std::string> ReadArgv(const std::string& out, std::chrono::milliseconds bound)
{
    if (!WaitUntil([&] { return access(out.c_str(), F_OK) == 0; }, bound))
        return {};
    std::vector<std::string> argv;
    const std::string all = ReadFile(out);
    for (size_t start = 0; start < all.size();) {
        const size_t end = all.find('\0', start);
        argv.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return argv;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace taluvo::test
