// urlwatch, the peer: Debian's package, run with its own configuration, job lists and caches in a
// folder of its own, once per check round as its users run it (from cron), with its default
// thread pool. Its figures are those of the whole process: wall from start to exit, CPU of all
// its threads from wait4, and its memory's peaks read from outside.
#pragma once

#include "bench/support/ProcessFigures.h"

#include <string>
#include <vector>

namespace taluvo::bench {

struct SPeerRun {
    bool ok = false;
    double wallMs = 0;
    double cpuMs = 0;
    SProcessMemory pssPeak; // the sample with the highest Pss
    double rssPeakMb = 0;
    std::string output; // what it printed, for a failed run
};

class CUrlwatch {
public:
    // Job lists named kind ("full", "cond") for the given page numbers on the server's port, and
    // an empty one ("empty") for its start alone.
    CUrlwatch(const std::string& folder, int port, const std::vector<int>& numbers);
    SPeerRun Run(const std::string& kind) const;

    // Installs Debian's package when urlwatch is not on the PATH; false when that failed.
    static bool EnsureInstalled();

private:
    std::string m_folder;
};

} // namespace taluvo::bench
