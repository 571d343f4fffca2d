// The soak's peers, each a process of its own so that their memory never counts as the program's:
// a web server whose pages are mostly normal and one in ten slow, dripping, endless or garbage,
// and a crowd of idle connections at the toolbar port.
#pragma once

#include <atomic>
#include <cstdint>
#include <sys/types.h>

namespace taluvo::bench {

// What page id's address serves: one in ten pages is hostile, the kinds taking turns.
enum class PageKind { Normal, Slow, Dripping, Endless, Garbage };
PageKind KindOfPage(int id);
const char* KindName(PageKind kind);

// Counters the peers keep in memory shared with the bench.
struct SPeerCounters {
    std::atomic<uint64_t> requests { 0 };
    std::atomic<int> idleKept { -1 }; // connections the toolbar server greeted and kept (-1: not yet known)
    std::atomic<int> idleClosed { -1 }; // connections it closed at once
};
SPeerCounters* MakeSharedCounters();

// Forks the web server (call before any thread starts); its port, or -1.
int StartPageServer(SPeerCounters* counters, pid_t& pid);
// Forks the crowd: once the port answers it opens count connections, says nothing on them and
// holds them until it is killed.
pid_t StartIdleCrowd(SPeerCounters* counters, int port, int count);

} // namespace taluvo::bench
