// A program that crashes on purpose, the way TALUVO_CRASH_KIND says, with the crash handler
// installed. Built without optimisation so every local lives in memory where the report finds it.
// Usage: crash_fixture <helper path>. Prints "base=<load address>" before it crashes.
#include "core/WorkerThread.h"
#include "crash/CrashHandler.h"
#include "platform/debug/CrashCapture.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <link.h>
#include <stdexcept>
#include <string>
#include <thread>

extern "C" int CrashWithoutSymbols();

struct Inner {
    int x;
    double y;
};

struct Config {
    int id;
    Inner inner;
    const char* label;
};

// More members than one symbol's text can hold.
#define MEMBERS10(p) int p##0, p##1, p##2, p##3, p##4, p##5, p##6, p##7, p##8, p##9;
// clang-format off
struct Wide {
    MEMBERS10(a)
    MEMBERS10(b)
    MEMBERS10(c)
    MEMBERS10(d)
    MEMBERS10(e)
    MEMBERS10(f)
    MEMBERS10(g)
    MEMBERS10(h)
    MEMBERS10(i)
    MEMBERS10(j)
    MEMBERS10(k)
    MEMBERS10(l)
    MEMBERS10(m)
    MEMBERS10(n)
    MEMBERS10(o)
    MEMBERS10(p)
};
// clang-format on

namespace fixture {

volatile int g_zero = 0;

__attribute__((noinline)) int CrashNullDeref(const Config& config, int depth)
{
    int count = 42;
    double ratio = 2.5;
    const char* text = "This text is longer than thirty-one characters, so it is cut";
    Config local = { 7, { 5, 1.25 }, "inner label" };
    Config* badConfig = reinterpret_cast<Config*>(0x10);
    volatile int* null = nullptr;
    return *null + count + depth + static_cast<int>(ratio) + text[0] + local.id + config.id + (badConfig ? 1 : 0);
}

__attribute__((noinline)) int CallChain(int depth)
{
    Config config = { 3, { 4, 0.5 }, "caller" };
    Wide wide {};
    return CrashNullDeref(config, depth) + wide.a0;
}

__attribute__((noinline)) int DivideByZero(int value)
{
    return value / g_zero;
}

__attribute__((noinline)) void IllegalInstruction()
{
    __builtin_trap();
}

__attribute__((noinline)) void Breakpoint()
{
    asm volatile("int3");
}

__attribute__((noinline)) int Recurse(int n)
{
    volatile char block[1024];
    block[0] = static_cast<char>(n);
    return Recurse(n + 1) + block[0];
}

__attribute__((noinline)) void ThrowUncaught()
{
    throw std::runtime_error("fixture failure");
}

class CrashingWorker : public CWorkerThread {
public:
    explicit CrashingWorker(bool overflow)
        : m_overflow(overflow)
    {
    }
    void Run() override
    {
        if (m_overflow)
            Recurse(0);
        else
            CallChain(1);
    }

private:
    bool m_overflow;
};

std::atomic<int> g_arrived { 0 };

__attribute__((noinline)) void CrashTogether()
{
    // Both threads fault at nearly the same moment; only one report may be written.
    ++g_arrived;
    while (g_arrived.load() < 2) { }
    volatile int* null = nullptr;
    *null = 1;
}

int PrintBases(dl_phdr_info* info, size_t, void* first)
{
    // The first entry is the executable; the stripped library is named by its file.
    if (*static_cast<bool*>(first))
        std::printf("base=%llx\n", static_cast<unsigned long long>(info->dlpi_addr));
    else if (std::strstr(info->dlpi_name, "crash_nosymbols"))
        std::printf("nosymbols=%llx\n", static_cast<unsigned long long>(info->dlpi_addr));
    *static_cast<bool*>(first) = false;
    return 0;
}

} // namespace fixture

// NOLINTNEXTLINE(bugprone-exception-escape): an uncaught exception is one of the crashes made here
int main(int argc, char** argv)
{
    using namespace fixture;

    InstallCrashHandler(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    bool first = true;
    dl_iterate_phdr(PrintBases, &first);
    std::fflush(stdout);

    const char* kindText = std::getenv("TALUVO_CRASH_KIND");
    const std::string kind = kindText ? kindText : "";
    if (kind == "null") {
        return CallChain(1);
    } else if (kind == "nosymbols") {
        return CrashWithoutSymbols();
    } else if (kind == "divzero") {
        return DivideByZero(10);
    } else if (kind == "illegal") {
        IllegalInstruction();
    } else if (kind == "breakpoint") {
        Breakpoint();
    } else if (kind == "abort") {
        std::abort();
    } else if (kind == "overflow") {
        return Recurse(0);
    } else if (kind == "exception") {
        ThrowUncaught();
    } else if (kind == "worker" || kind == "workeroverflow") {
        CrashingWorker worker(kind == "workeroverflow");
        worker.Start();
        worker.Wait(INFINITE);
    } else if (kind == "twothreads") {
        std::thread other(CrashTogether);
        CrashTogether();
        other.join();
    } else if (kind == "helpergone") {
        // The helper died before the crash: the handler must still write its own report.
        const pid_t helper = taluvo::debug::CrashHelperProcess();
        if (helper > 0)
            kill(helper, SIGKILL);
        return CallChain(1);
    }
    std::printf("no crash\n");
    return 0;
}
