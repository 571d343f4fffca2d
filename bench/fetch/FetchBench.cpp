// Cost of the fetch layer alone, beside the machine's floor measured in the same run on the same
// server. It runs CUpdater in this process against a window that ignores the notices, with no tree
// and no database: its switches, memory and page-size figures are the layer's, not the program's.
// The program's own figures, which its targets are about, come from the `taluvo` executable
// (bench/check's check_bench).
//
// The program: sequential checks of one page served on loopback, each by its own fetch worker
// through the asynchronous internet session, as the scheduler runs them (notices to a window on
// this, the user-interface, thread). The floor: one thread doing the same fetches with a kept-alive
// libcurl easy handle and the project's CRC-32 over the body as it arrives. At 100 KB, 1 MB and
// 10 MB pages, three runs each, taken in turns; printed as min / median per check, with the CPU per
// MB of page and the context switches per check (the wake-ups the fetch costs). CPU is the
// process's, less what the server thread spent answering. The allocator is set as the program
// sets it; the resident memory before and after the 10 MB checks shows what large pages leave
// behind.
//
//   bench_fetch [checks of 100 KB per run (default 300)] [checks of 10 MB per run (default 8)]
//               [checks of 1 MB per run (default 40)]
// (0 leaves that size out)
//
// Exit status 0 when every check fetched the whole page.
#include "bench/support/LoopbackPageServer.h"
#include "core/Crc32.h"
#include "core/prefs/Preferences.h"
#include "engine/Updater.h"
#include "platform/base/Allocator.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/UserApi.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <vector>

using taluvo::bench::PageServer;
using taluvo::bench::ProcessCpuSeconds;

namespace {

constexpr int kRuns = 3;
constexpr double kTargetRatio = 5.0;
constexpr double kTargetCpuPerMb = 5.0;
constexpr double kTargetLargeToSmall = 4.0; // CPU of a 1 MB check over that of a 100 KB one
constexpr double kTargetSwitches = 16.0; // per 100 KB check
constexpr double kTargetResidentGrowthMb = 10.0;

double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

class CSink : public CWindowImpl<CSink> {
public:
    HANDLE finished = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    BEGIN_MSG_MAP(CSink)
    MESSAGE_HANDLER(WM_UPDATER_NOTIFY, OnNotify)
    END_MSG_MAP()
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        if (LOWORD(lParam) == stateFinished)
            SetEvent(finished);
        return 0;
    }
};

long ContextSwitches()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// Per check, one run.
struct Figures {
    double wallMs = 0;
    double cpuMs = 0;
    double switches = 0;
};

struct Series {
    std::vector<Figures> runs;
    static double Min(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
    static double Median(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    std::vector<double> Of(double Figures::*field) const
    {
        std::vector<double> values;
        for (const Figures& f : runs)
            values.push_back(f.*field);
        return values;
    }
    double MinOf(double Figures::*field) const { return Min(Of(field)); }
    double MedianOf(double Figures::*field) const { return Median(Of(field)); }
};

// Runs checks one after the other; counts those that returned true.
Figures Measure(PageServer& server, int checks, const std::function<bool()>& one, int& good)
{
    const double cpuStart = ProcessCpuSeconds(), serverStart = server.CpuSeconds();
    const long switchesStart = ContextSwitches();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int i = 0; i < checks; ++i)
        good += one() ? 1 : 0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = (ProcessCpuSeconds() - cpuStart) - (server.CpuSeconds() - serverStart);
    return { wall * 1000.0 / checks, cpu * 1000.0 / checks,
        static_cast<double>(ContextSwitches() - switchesStart) / checks };
}

// The floor: a kept-alive easy handle on this thread, the body folded into the CRC as it comes.
class CFloorFetch {
public:
    explicit CFloorFetch(const std::string& url)
    {
        m_easy = curl_easy_init();
        curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_easy, CURLOPT_PROXY, "");
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CFloorFetch::OnBody);
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    }
    ~CFloorFetch() { curl_easy_cleanup(m_easy); }
    bool Fetch(size_t expectedBytes)
    {
        m_crc.Reset();
        m_bytes = 0;
        long status = 0;
        if (curl_easy_perform(m_easy) != CURLE_OK)
            return false;
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
        return status == 200 && m_bytes == expectedBytes;
    }

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto* floor = static_cast<CFloorFetch*>(self);
        floor->m_crc.Update(data, size * count);
        floor->m_bytes += size * count;
        return size * count;
    }
    CURL* m_easy = nullptr;
    CCrc32 m_crc;
    size_t m_bytes = 0;
};

void PrintRow(const char* name, const Series& s, double pageMb)
{
    std::printf(
        "  %-22s wall %8.3f / %8.3f ms   CPU %8.3f / %8.3f ms   CPU per MB %7.3f / %7.3f ms   switches %7.1f / %7.1f\n",
        name, s.MinOf(&Figures::wallMs), s.MedianOf(&Figures::wallMs), s.MinOf(&Figures::cpuMs),
        s.MedianOf(&Figures::cpuMs), s.MinOf(&Figures::cpuMs) / pageMb, s.MedianOf(&Figures::cpuMs) / pageMb,
        s.MinOf(&Figures::switches), s.MedianOf(&Figures::switches));
}

// One page size: the floor and the program in turns, three runs each. False when a check failed;
// programCpuMs gets the program's median CPU per check.
bool Compare(HWND sink, HANDLE finished, size_t bodyBytes, int checks, const char* label, double& programCpuMs)
{
    PageServer server(bodyBytes);
    const size_t size = server.BodyBytes();
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/page";
    CPreferences prefs;
    HINTERNET session = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallback(session, &CUpdater::WinInetCallback);
    const QString pageUrl = QString::fromStdString(url);

    auto program = [&]() -> bool {
        SPageCtx ctx;
        ctx.Reset();
        ctx.m_hNotifyWnd = sink;
        ResetEvent(finished);
        CUpdater updater(session, &ctx, pageUrl, &prefs);
        updater.Start();
        taluvo::ui::WaitServingSends(finished, 60000);
        updater.Wait(INFINITE);
        return ctx.m_dwHttpStatusCode == 200 && static_cast<size_t>(ctx.m_strHtml.size()) == size;
    };
    CFloorFetch floorFetch(url);
    auto floor = [&]() { return floorFetch.Fetch(size); };

    int warm = 0;
    for (int i = 0; i < std::max(2, checks / 10); ++i)
        warm += (program() ? 1 : 0) + (floor() ? 1 : 0); // connections, caches, code paths

    Series programSeries, floorSeries;
    int programGood = 0, floorGood = 0;
    for (int run = 0; run < kRuns; ++run) {
        floorSeries.runs.push_back(Measure(server, checks, floor, floorGood));
        programSeries.runs.push_back(Measure(server, checks, program, programGood));
    }
    InternetCloseHandle(session);

    const double pageMb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf(
        "%s page (%zu bytes), %d checks per run, min / median of %d runs, per check:\n", label, size, checks, kRuns);
    PrintRow("floor (libcurl + CRC)", floorSeries, pageMb);
    PrintRow("layer (fetch worker)", programSeries, pageMb);
    const double wallRatio = programSeries.MedianOf(&Figures::wallMs) / floorSeries.MedianOf(&Figures::wallMs);
    const double cpuRatio = programSeries.MedianOf(&Figures::cpuMs) / floorSeries.MedianOf(&Figures::cpuMs);
    const double cpuPerMb = programSeries.MedianOf(&Figures::cpuMs) / pageMb;
    std::printf("  layer / floor (medians): wall x%.1f, CPU x%.1f (target: within x%.0f)%s\n", wallRatio, cpuRatio,
        kTargetRatio, wallRatio <= kTargetRatio && cpuRatio <= kTargetRatio ? "" : "  MISSED");
    if (size >= size_t { 1024 } * 1024)
        std::printf("  layer CPU per MB of page (median): %.3f ms (the program's target: within %.0f ms)%s\n", cpuPerMb,
            kTargetCpuPerMb, cpuPerMb <= kTargetCpuPerMb ? "" : "  MISSED");
    else
        std::printf(
            "  layer context switches per check, this process (median): %.1f (the program's target: at most %.0f)%s\n",
            programSeries.MedianOf(&Figures::switches), kTargetSwitches,
            programSeries.MedianOf(&Figures::switches) <= kTargetSwitches ? "" : "  MISSED");
    programCpuMs = programSeries.MedianOf(&Figures::cpuMs);
    std::printf("  checks fetched whole: layer %d of %d, floor %d of %d\n\n", programGood, checks * kRuns, floorGood,
        checks * kRuns);
    return programGood == checks * kRuns && floorGood == checks * kRuns;
}

} // namespace

int main(int argc, char** argv)
{
    // As the program does at its start.
    const bool tuned = taluvo::TuneAllocator();
    const int smallChecks = argc > 1 ? std::max(0, std::atoi(argv[1])) : 300;
    const int largeChecks = argc > 2 ? std::max(0, std::atoi(argv[2])) : 8;
    const int mediumChecks = argc > 3 ? std::max(0, std::atoi(argv[3])) : 40;
    taluvo::ui::CUiApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CSink sink;
    sink.Create(nullptr);
    std::printf("bench_fetch measures the fetch layer: CUpdater in this process, a window that ignores its notices, "
                "no tree, no database. Its figures are the layer's, not the program's; the targets printed beside "
                "them are the program's, measured on the taluvo executable by check_bench.\n");
    std::printf("allocator: the program's thresholds%s (mapping %lu KB, trim %lu KB); load average at start: ",
        tuned ? "" : " REFUSED, defaults in force", taluvo::kAllocatorMapThreshold / 1024,
        taluvo::kAllocatorTrimThreshold / 1024);
    std::fflush(stdout);
    std::system("cut -d' ' -f1-3 /proc/loadavg");
    std::printf("\n");
    double smallCpu = 0, mediumCpu = 0, largeCpu = 0;
    const bool small = smallChecks == 0
        || Compare(sink.m_hWnd, sink.finished, size_t { 100 } * 1024, smallChecks, "100 KB", smallCpu);
    const bool medium = mediumChecks == 0
        || Compare(sink.m_hWnd, sink.finished, size_t { 1024 } * 1024, mediumChecks, "1 MB", mediumCpu);
    const double residentBefore = ResidentMb();
    const bool large = largeChecks == 0
        || Compare(sink.m_hWnd, sink.finished, size_t { 10 } * 1024 * 1024, largeChecks, "10 MB", largeCpu);
    const double residentAfter = ResidentMb();
    if (smallCpu > 0 && mediumCpu > 0) {
        const double ratio = mediumCpu / smallCpu;
        std::printf("layer: 1 MB check / 100 KB check in CPU (medians): x%.1f (target: at most x%.0f)%s\n", ratio,
            kTargetLargeToSmall, ratio <= kTargetLargeToSmall ? "" : "  MISSED");
    }
    if (largeChecks > 0) {
        const double growth = residentAfter - residentBefore;
        std::printf("layer: resident memory before the 10 MB checks %.1f MB, after %.1f MB: %+.1f MB (target: within "
                    "%.0f MB)%s\n",
            residentBefore, residentAfter, growth, kTargetResidentGrowthMb,
            growth <= kTargetResidentGrowthMb ? "" : "  MISSED");
    }
    return small && medium && large ? 0 : 1;
}
