#include "bench/peer/Urlwatch.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace taluvo::bench {

CUrlwatch::CUrlwatch(const std::string& folder, int port, const std::vector<int>& numbers)
    : m_folder(folder)
{
    // An empty hooks file of the run's own: urlwatch loads no hooks but these.
    std::ofstream hooks(m_folder + "/hooks.py");
    for (const std::string kind : { "full", "cond", "empty" }) {
        std::ofstream jobs(m_folder + "/urls-" + kind + ".yaml");
        if (kind == "empty")
            continue;
        for (size_t i = 0; i < numbers.size(); ++i)
            jobs << (i ? "---\n" : "") << "name: " << kind << " " << numbers[i] << "\nurl: http://127.0.0.1:" << port
                 << "/" << kind << "/" << numbers[i] << "\n";
    }
}

SPeerRun CUrlwatch::Run(const std::string& kind) const
{
    std::vector<std::string> env = { "HOME=" + m_folder, "XDG_CONFIG_HOME=" + m_folder + "/config",
        "XDG_CACHE_HOME=" + m_folder + "/cache", "NO_COLOR=1" };
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_CONFIG_HOME=", 0) != 0
            && entry.rfind("XDG_CACHE_HOME=", 0) != 0)
            env.push_back(entry);
    }
    std::vector<std::string> args
        = { "urlwatch", "--urls", m_folder + "/urls-" + kind + ".yaml", "--config", m_folder + "/urlwatch.yaml",
              "--hooks", m_folder + "/hooks.py", "--cache", m_folder + "/cache-" + kind + ".db" };
    std::vector<char*> argv, envp;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string log = m_folder + "/output-" + kind + ".txt";

    SPeerRun run;
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::chdir(m_folder.c_str());
        ::execvpe("urlwatch", argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid < 0)
        return run;
    CMemoryWatch watch(pid);
    int status = 0;
    rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.wallMs = Ms(Clock::now() - start);
    watch.Stop();
    run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    run.pssPeak = watch.PssPeak();
    run.rssPeakMb = watch.RssPeakMb();
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::ifstream printed(log);
    run.output.assign(std::istreambuf_iterator<char>(printed), std::istreambuf_iterator<char>());
    return run;
}

bool CUrlwatch::EnsureInstalled()
{
    if (std::system("command -v urlwatch >/dev/null 2>&1") == 0)
        return true;
    const std::string apt = ::geteuid() == 0 ? "apt-get" : "sudo apt-get";
    std::printf("installing urlwatch: %s install -y urlwatch\n", apt.c_str());
    std::fflush(stdout);
    if (std::system((apt + " install -y urlwatch").c_str()) == 0)
        return true;
    return std::system((apt + " update && " + apt + " install -y urlwatch").c_str()) == 0;
}

} // namespace taluvo::bench
