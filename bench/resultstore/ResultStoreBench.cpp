// The cost of storing one check result: wall time and disk waits (fsync/fdatasync) per result,
// with the database in the rollback journal (every commit waits for the disk several times) and
// in the write-ahead log the program runs with (results do not wait; the log's copy into the file
// does, about once per thousand results). Both in the same run, three runs each, min and median.
//   bench_resultstore [results per run] [folder]     the folder defaults to the current one; use
//                                                    a disk folder, a tmpfs has no disk waits
// The disk waits are counted by running this program once more per figure under strace.
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/db/WriteAheadLog.h"
#include "core/prefs/Preferences.h"
#include "engine/CheckResultStore.h"
#include "engine/PageCtx.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kPages = 200;

// One run: a fresh database of kPages pages, then results written through the program's path.
// Returns the wall time per result in milliseconds.
double StoreResults(const std::string& folder, bool log, int results)
{
    const std::string path = folder + "/bench-resultstore-" + std::to_string(::getpid()) + ".db";
    std::remove(path.c_str());
    double perResult = 0;
    {
        CSqlDatabase db;
        CMutex mutex;
        CPreferences prefs;
        db.open(path.c_str());
        if (log && !UseWriteAheadLog(db))
            std::fprintf(stderr, "no write-ahead log in %s\n", folder.c_str());
        CheckDb(db, mutex, prefs);
        db.execDML("BEGIN;");
        for (int id = 1; id <= kPages; ++id) {
            CSqlBuffer sql;
            db.execDML(sql.format(
                "INSERT INTO PAGES (id, groupId, url, enable, status) VALUES (%d, 1, 'http://a/', 1, 4);", id));
        }
        db.execDML("COMMIT;");
        SPageCtx ctx;
        ctx.Reset();
        ctx.m_nGroupId = 1;
        ctx.m_iStatus = statusOrdinary;
        ctx.m_dwHttpStatusCode = 200;
        const auto start = std::chrono::steady_clock::now();
        for (int n = 0; n < results; ++n) {
            ctx.m_nPageId = static_cast<WORD>(n % kPages + 1);
            ctx.m_tLastChecked = 1800000000u + static_cast<DWORD>(n);
            ctx.m_dwCheckSum = static_cast<DWORD>(n) * 2654435761u;
            StoreCheckResult(db, ctx);
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        perResult = results > 0 ? ms / results : 0;
        if (log)
            LeaveWriteAheadLog(db);
    }
    std::remove(path.c_str());
    return perResult;
}

// The disk waits of one run in a child under strace, less those of a run without results (the
// database's creation and the exit), per result; negative when strace cannot run.
double SyncsPerResult(const char* self, const std::string& folder, bool log, int results)
{
    auto count = [&](int n) {
        const std::string command = "strace -f -qq -c -e trace=fsync,fdatasync '" + std::string(self) + "' --one "
            + (log ? "wal" : "rollback") + " " + std::to_string(n) + " '" + folder + "' 2>&1 >/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return -1L;
        long total = -1;
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) {
            // The summary's last line: "100.00    0.0123   ...   <calls>   [errors] total".
            if (std::strstr(line, "total")) {
                double percent = 0, seconds = 0;
                long usecs = 0, calls = 0;
                if (std::sscanf(line, "%lf %lf %ld %ld", &percent, &seconds, &usecs, &calls) == 4)
                    total = calls;
            }
        }
        return ::pclose(pipe) == 0 ? total : -1L;
    };
    const long with = count(results);
    const long without = count(0);
    return with < 0 || without < 0 ? -1.0 : double(with - without) / results;
}

struct SFigure {
    double min;
    double median;
};

SFigure MinMedian(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return { values.front(), values[values.size() / 2] };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "--one") == 0) {
        StoreResults(argv[4], std::strcmp(argv[2], "wal") == 0, std::max(0, std::atoi(argv[3])));
        return 0;
    }
    const int results = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const std::string folder = argc > 2 ? argv[2] : ".";
    std::printf("storing one check result, %d results per run over %d pages, in %s\n", results, kPages, folder.c_str());
    std::printf("%-18s %22s %22s\n", "journal", "ms per result min/med", "disk waits min/med");
    for (const bool log : { false, true }) {
        std::vector<double> times;
        std::vector<double> syncs;
        for (int run = 0; run < 3; ++run) {
            times.push_back(StoreResults(folder, log, results));
            syncs.push_back(SyncsPerResult(argv[0], folder, log, results));
        }
        const SFigure time = MinMedian(times);
        const SFigure sync = MinMedian(syncs);
        std::printf("%-18s %10.4f / %-9.4f %10.4f / %-9.4f\n", log ? "write-ahead log" : "rollback journal", time.min,
            time.median, sync.min, sync.median);
    }
    std::printf("(disk waits negative: strace did not run)\n");
    return 0;
}
