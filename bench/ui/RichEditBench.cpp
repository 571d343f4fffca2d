// The rich edit on a page of 5 MB: setting the text, and colouring the whole page as the
// content-selection dialog does when a start text is typed (black, the watched part blue, the
// start green, the stop red, then a paint of what is in view). Target: colouring well under a
// second.
#include "tests/platform/ui/RichEditPage.h"

#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

using namespace taluvo::test::richedit;

namespace {

struct Fixture {
    Fixture()
    {
        RECT rect { 0, 0, 600, 400 };
        owner.Create(nullptr, &rect, QStringLiteral("bench"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        edit = CreateWindowEx(0, RICHEDIT_CLASS, u"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL,
            0, 0, 580, 380, owner, nullptr, nullptr, nullptr);
        page = MakePage(5 * 1024 * 1024);
    }
    CHolder owner;
    HWND edit = nullptr;
    QString page;
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_SetFiveMegabytePage(benchmark::State& state)
{
    Fixture& f = Shared();
    for (auto _ : state) {
        SetWindowText(f.edit, f.page);
        QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(state.iterations() * f.page.size() * 2);
}
BENCHMARK(BM_SetFiveMegabytePage)->Unit(benchmark::kMillisecond);

void BM_ColourFiveMegabytePage(benchmark::State& state)
{
    Fixture& f = Shared();
    SetWindowText(f.edit, f.page);
    for (auto _ : state) {
        const LONG start = Find(f.edit, kStart, 0);
        const LONG stop = Find(f.edit, kStop, start + LONG(kStart.size()));
        ColourRange(f.edit, 0, -1, RGB(0, 0, 0));
        ColourRange(f.edit, start, stop, RGB(0, 0, 255));
        ColourRange(f.edit, start, start + LONG(kStart.size()), RGB(0, 255, 0));
        ColourRange(f.edit, stop, stop + LONG(kStop.size()), RGB(255, 0, 0));
        SendMessage(f.edit, EM_LINESCROLL, 0, LONG(SendMessage(f.edit, EM_EXLINEFROMCHAR, 0, start)));
        UpdateWindow(f.edit);
        QCoreApplication::processEvents();
        SendMessage(f.edit, EM_LINESCROLL, 0, -LONG(SendMessage(f.edit, EM_GETFIRSTVISIBLELINE, 0, 0)));
    }
}
BENCHMARK(BM_ColourFiveMegabytePage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    taluvo::ui::CUiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
