// What a benchmark reads about another process from outside, through /proc, as any tool could:
// its CPU, its memory as resident and proportional set size, its descriptors and threads.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace taluvo::bench {

using Clock = std::chrono::steady_clock;

// User and system CPU of the process in ms, its ended threads included; -1 once it is gone.
double ProcessCpuMs(pid_t pid);
// The same for one thread of the process (the main thread's id is the process's).
double ThreadCpuMs(pid_t pid, pid_t tid);

// The process's memory from /proc/<pid>/smaps_rollup, in MB. Pss divides each shared page among
// the processes that map it; the file-backed part of the resident set is mostly shared libraries.
struct SProcessMemory {
    bool known = false;
    double rssMb = 0;
    double pssMb = 0;
    double anonymousMb = 0; // the heaps, stacks and private mappings
    double FileMb() const { return rssMb - anonymousMb; }
};
SProcessMemory ProcessMemory(pid_t pid);

int OpenDescriptors(pid_t pid);
int ThreadCount(pid_t pid);

// The peaks of a process's memory, sampled every 20 ms by a thread of its own while the object lives.
class CMemoryWatch {
public:
    explicit CMemoryWatch(pid_t pid);
    ~CMemoryWatch();
    CMemoryWatch(const CMemoryWatch&) = delete;
    CMemoryWatch& operator=(const CMemoryWatch&) = delete;
    // Stops sampling; the peaks stay readable.
    void Stop();
    // The sample with the highest Pss; its resident figure is the one that went with it.
    // Read them after Stop.
    SProcessMemory PssPeak() const { return m_pssPeak; }
    double RssPeakMb() const { return m_rssPeakMb; }

private:
    void Run(pid_t pid);

    std::atomic<bool> m_stop { false };
    SProcessMemory m_pssPeak;
    double m_rssPeakMb = 0;
    std::thread m_thread; // last: it starts once the peaks above exist
};

// What all threads of a process have done since a watch began, from /proc/<pid>/task/*/: their
// context switches (status) and their time on a processor (schedstat, in nanoseconds rather than
// the clock ticks of /proc/<pid>/stat).
struct SThreadFigures {
    double voluntary = 0; // the thread went to sleep: a wait, a hand-off to another thread
    double involuntary = 0; // the thread was taken off its processor: these follow the machine's load
    double cpuMs = 0;
};

// A thread's figures go with it when it ends, so the watch reads every thread of the process every
// 5 ms on a thread of its own and keeps each one's last reading: a total misses at most what a
// thread that ended did in its last few milliseconds. A thread started after the watch counts from 0.
class CThreadsWatch {
public:
    explicit CThreadsWatch(pid_t pid);
    ~CThreadsWatch();
    CThreadsWatch(const CThreadsWatch&) = delete;
    CThreadsWatch& operator=(const CThreadsWatch&) = delete;
    // Reads every thread now; the totals since the watch began, and each thread's by its id when
    // perThread is given.
    SThreadFigures Now(std::map<long, SThreadFigures>* perThread = nullptr);

private:
    struct SThread {
        SThreadFigures first, last;
    };
    void Read(bool atStart);

    pid_t m_pid;
    std::mutex m_lock;
    std::map<long, SThread> m_threads;
    std::atomic<bool> m_stop { false };
    std::thread m_thread; // last: it starts once the rest exists
};

// Samples the process's CPU every 10 ms until started says yes (false when bound passes first) and
// gives the sample from about 200 ms before that moment in cpuMs, so that the work that leads up to
// what started watches for (a tick's selection of the due pages before its first request) counts.
bool CpuShortlyBefore(pid_t pid, const std::function<bool()>& started, std::chrono::seconds bound, double& cpuMs);

std::string LoadAverage();
double Ms(Clock::duration duration);
double Min(const std::vector<double>& values);
double Median(std::vector<double> values);

// Asks done every step until it says yes or bound has passed; its last answer.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds bound, std::chrono::milliseconds step);

} // namespace taluvo::bench
