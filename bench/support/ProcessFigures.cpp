#include "bench/support/ProcessFigures.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace taluvo::bench {

namespace {

std::string ProcFile(pid_t pid, const char* name)
{
    return "/proc/" + std::to_string(pid) + "/" + name;
}

// A "Name:   value kB" line's value; -1 when the line is not there.
double FieldKb(const std::string& text, const char* name)
{
    const std::string key = std::string("\n") + name + ":";
    const size_t at = ("\n" + text).find(key);
    if (at == std::string::npos)
        return -1;
    return std::atof(text.c_str() + at + key.size() - 1);
}

// The whole of a file of /proc; empty when it cannot be read (its thread or process has gone).
std::string ReadSmallFile(const std::string& path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0)
                text.clear();
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

// User and system CPU in ms from a stat file of /proc (a process's or one of its threads').
double StatCpuMs(const std::string& path)
{
    std::ifstream file(path);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14)
            utime = std::stoull(field);
        if (n == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

double ProcessCpuMs(pid_t pid)
{
    return StatCpuMs(ProcFile(pid, "stat"));
}

double ThreadCpuMs(pid_t pid, pid_t tid)
{
    return StatCpuMs(ProcFile(pid, ("task/" + std::to_string(tid) + "/stat").c_str()));
}

SProcessMemory ProcessMemory(pid_t pid)
{
    std::ifstream file(ProcFile(pid, "smaps_rollup"));
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    SProcessMemory memory;
    const double rss = FieldKb(text, "Rss"), pss = FieldKb(text, "Pss"), anonymous = FieldKb(text, "Anonymous");
    if (rss < 0 || pss < 0 || anonymous < 0)
        return memory;
    memory.known = true;
    memory.rssMb = rss / 1024.0;
    memory.pssMb = pss / 1024.0;
    memory.anonymousMb = anonymous / 1024.0;
    return memory;
}

int OpenDescriptors(pid_t pid)
{
    DIR* folder = ::opendir(ProcFile(pid, "fd").c_str());
    if (!folder)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(folder);
    return count;
}

int ThreadCount(pid_t pid)
{
    std::ifstream file(ProcFile(pid, "status"));
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return static_cast<int>(FieldKb(text, "Threads"));
}

CMemoryWatch::CMemoryWatch(pid_t pid)
    : m_thread([this, pid] { Run(pid); })
{
}

CMemoryWatch::~CMemoryWatch()
{
    Stop();
}

void CMemoryWatch::Stop()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void CMemoryWatch::Run(pid_t pid)
{
    while (!m_stop.load()) {
        const SProcessMemory sample = ProcessMemory(pid);
        if (!sample.known)
            return;
        if (sample.pssMb > m_pssPeak.pssMb)
            m_pssPeak = sample;
        m_rssPeakMb = std::max(m_rssPeakMb, sample.rssMb);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

CThreadsWatch::CThreadsWatch(pid_t pid)
    : m_pid(pid)
{
    Read(true);
    m_thread = std::thread([this] {
        while (!m_stop.load()) {
            Read(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

CThreadsWatch::~CThreadsWatch()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void CThreadsWatch::Read(bool atStart)
{
    const std::string folder = ProcFile(m_pid, "task");
    DIR* tasks = ::opendir(folder.c_str());
    if (!tasks)
        return;
    std::vector<std::pair<long, SThreadFigures>> readings;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = folder + "/" + entry->d_name;
        // A thread that ends while it is read fails the read: its last reading stands.
        const std::string text = ReadSmallFile(task + "/status");
        const std::string schedstat = ReadSmallFile(task + "/schedstat");
        const SThreadFigures figures { FieldKb(text, "voluntary_ctxt_switches"),
            FieldKb(text, "nonvoluntary_ctxt_switches"), schedstat.empty() ? -1 : std::atof(schedstat.c_str()) / 1e6 };
        if (figures.voluntary >= 0 && figures.involuntary >= 0 && figures.cpuMs >= 0)
            readings.emplace_back(std::atol(entry->d_name), figures);
    }
    ::closedir(tasks);
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [id, figures] : readings) {
        const auto [thread, added] = m_threads.try_emplace(id);
        if (added && atStart)
            thread->second.first = figures;
        thread->second.last = figures;
    }
}

SThreadFigures CThreadsWatch::Now(std::map<long, SThreadFigures>* perThread)
{
    Read(false);
    std::lock_guard<std::mutex> guard(m_lock);
    SThreadFigures total;
    for (const auto& [id, thread] : m_threads) {
        const SThreadFigures since { thread.last.voluntary - thread.first.voluntary,
            thread.last.involuntary - thread.first.involuntary, thread.last.cpuMs - thread.first.cpuMs };
        total.voluntary += since.voluntary;
        total.involuntary += since.involuntary;
        total.cpuMs += since.cpuMs;
        if (perThread)
            (*perThread)[id] = since;
    }
    return total;
}

bool CpuShortlyBefore(pid_t pid, const std::function<bool()>& started, std::chrono::seconds bound, double& cpuMs)
{
    constexpr size_t kKept = 50, kBack = 20; // samples 10 ms apart
    std::vector<double> samples;
    const bool began = WaitFor(
        [&] {
            samples.push_back(ProcessCpuMs(pid));
            if (samples.size() > kKept)
                samples.erase(samples.begin());
            return started();
        },
        bound, std::chrono::milliseconds(10));
    cpuMs = samples.size() > kBack ? samples[samples.size() - kBack - 1] : samples.front();
    return began;
}

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Min(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds bound, std::chrono::milliseconds step)
{
    const auto end = Clock::now() + bound;
    while (Clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(step);
    }
    return done();
}

} // namespace taluvo::bench
