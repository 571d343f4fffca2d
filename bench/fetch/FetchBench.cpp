// Cost of the fetch alone, beside the machine's floor measured in the same run on the same server.
//
// The program: sequential checks of one page served on loopback, each by its own fetch worker
// through the asynchronous internet session, as the scheduler runs them (notices to a window on
// this, the user-interface, thread). The floor: one thread doing the same fetches with a kept-alive
// libcurl easy handle and the project's CRC-32 over the body as it arrives. Both at 100 KB and at
// 10 MB pages, three runs each, taken in turns; printed as min / median per check, with the CPU per
// MB of page and the context switches per check (the wake-ups the fetch costs). CPU is the
// process's, less what the server thread spent answering.
//
//   bench_fetch [checks of 100 KB per run (default 300)] [checks of 10 MB per run (default 8)]
// (0 leaves that size out)
//
// Exit status 0 when every check fetched the whole page.
#include "bench/support/LoopbackPageServer.h"
#include "core/Crc32.h"
#include "core/prefs/Preferences.h"
#include "engine/Updater.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/UserApi.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
    rusage usage{};
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
    return {wall * 1000.0 / checks, cpu * 1000.0 / checks,
            static_cast<double>(ContextSwitches() - switchesStart) / checks};
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
    std::printf("  %-22s wall %8.3f / %8.3f ms   CPU %8.3f / %8.3f ms   CPU per MB %7.3f / %7.3f ms   switches %7.1f / %7.1f\n",
                name, s.MinOf(&Figures::wallMs), s.MedianOf(&Figures::wallMs), s.MinOf(&Figures::cpuMs),
                s.MedianOf(&Figures::cpuMs), s.MinOf(&Figures::cpuMs) / pageMb, s.MedianOf(&Figures::cpuMs) / pageMb,
                s.MinOf(&Figures::switches), s.MedianOf(&Figures::switches));
}

// One page size: the floor and the program in turns, three runs each. False when a check failed.
bool Compare(HWND sink, HANDLE finished, size_t bodyBytes, int checks, const char* label)
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
        warm += (program() ? 1 : 0) + (floor() ? 1 : 0);  // connections, caches, code paths

    Series programSeries, floorSeries;
    int programGood = 0, floorGood = 0;
    for (int run = 0; run < kRuns; ++run) {
        floorSeries.runs.push_back(Measure(server, checks, floor, floorGood));
        programSeries.runs.push_back(Measure(server, checks, program, programGood));
    }
    InternetCloseHandle(session);

    const double pageMb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("%s page (%zu bytes), %d checks per run, min / median of %d runs, per check:\n", label, size,
                checks, kRuns);
    PrintRow("floor (libcurl + CRC)", floorSeries, pageMb);
    PrintRow("program (fetch worker)", programSeries, pageMb);
    const double wallRatio = programSeries.MedianOf(&Figures::wallMs) / floorSeries.MedianOf(&Figures::wallMs);
    const double cpuRatio = programSeries.MedianOf(&Figures::cpuMs) / floorSeries.MedianOf(&Figures::cpuMs);
    const double cpuPerMb = programSeries.MedianOf(&Figures::cpuMs) / pageMb;
    std::printf("  program / floor (medians): wall x%.1f, CPU x%.1f (target: within x%.0f)%s\n", wallRatio, cpuRatio,
                kTargetRatio, wallRatio <= kTargetRatio && cpuRatio <= kTargetRatio ? "" : "  MISSED");
    std::printf("  program CPU per MB of page (median): %.3f ms (target: within %.0f ms)%s\n", cpuPerMb,
                kTargetCpuPerMb, cpuPerMb <= kTargetCpuPerMb ? "" : "  MISSED");
    std::printf("  checks fetched whole: program %d of %d, floor %d of %d\n\n", programGood, checks * kRuns,
                floorGood, checks * kRuns);
    return programGood == checks * kRuns && floorGood == checks * kRuns;
}

}  // namespace

int main(int argc, char** argv)
{
    const int smallChecks = argc > 1 ? std::max(0, std::atoi(argv[1])) : 300;
    const int largeChecks = argc > 2 ? std::max(0, std::atoi(argv[2])) : 8;
    taluvo::ui::CUiApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CSink sink;
    sink.Create(nullptr);
    const bool small = smallChecks == 0 || Compare(sink.m_hWnd, sink.finished, 100 * 1024, smallChecks, "100 KB");
    const bool large = largeChecks == 0 || Compare(sink.m_hWnd, sink.finished, 10 * 1024 * 1024, largeChecks, "10 MB");
    return small && large ? 0 : 1;
}
