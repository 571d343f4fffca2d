// The web server both sides of the comparison check, a process of its own so that neither side's
// figures include it: /full/N always answers with the whole body; /cond/N carries Last-Modified
// and an ETag and answers 304 to a conditional request. Page N is 1 MB, 30 KB, 90 KB or 300 KB by
// N modulo 4.
#pragma once

#include <atomic>
#include <cstdint>

#include <sys/types.h>

namespace taluvo::bench {

// Kept in memory shared with the bench.
struct SPeerServerCounters {
    std::atomic<uint64_t> whole { 0 }; // answers with a body
    std::atomic<uint64_t> notModified { 0 }; // 304 answers
    std::atomic<uint64_t> other { 0 }; // anything else (404)
    // Steady-clock nanoseconds of the first request since the bench last set it to 0.
    std::atomic<int64_t> firstRequestNs { 0 };
    uint64_t Answered() const { return whole.load() + notModified.load() + other.load(); }
};

// The size of page number's body.
size_t PeerPageBytes(int number);

class CPeerPageServer {
public:
    // Forks the server: call before any thread starts. Port() is 0 when it did not start.
    CPeerPageServer();
    ~CPeerPageServer();
    CPeerPageServer(const CPeerPageServer&) = delete;
    CPeerPageServer& operator=(const CPeerPageServer&) = delete;

    int Port() const { return m_port; }
    SPeerServerCounters& Counters() { return *m_counters; }

private:
    SPeerServerCounters* m_counters = nullptr;
    pid_t m_pid = -1;
    int m_port = 0;
};

} // namespace taluvo::bench
