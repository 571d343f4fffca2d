// Start-up of the main window on a database of 10,000 pages in 100 groups, half of them in user
// order: the time until the window is created with its tree filled, the time of filling the tree
// alone, and the process's peak memory.
#include "core/Globals.h"
#include "core/db/Database.h"
#include "core/db/SqlBinary.h"
#include "frame/mainfrm.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int kGroups = 100;
constexpr int kPagesPerGroup = 100;

void MakeDatabase(const std::string& path)
{
    CSqlDatabase db;
    db.open(path.c_str());
    db.execDML("BEGIN;");
    db.execDML(kCreatePagesTable);
    db.execDML(kCreateGroupsTable);
    CSqlBuffer sql;
    int pageId = 1;
    for (int group = 1; group <= kGroups; ++group) {
        const int sortType = group % 2 == 0 ? sortUserOrder : 1 + group % 3;
        std::vector<unsigned char> order;
        for (int i = 0; i < kPagesPerGroup; ++i, ++pageId) {
            db.execDML(sql.format("INSERT INTO PAGES VALUES(%d, %d, 'http://example.test/%d', "
                                  "'http://example.test/%d', '', '', 'Page %05d of group %d', 4294967295, "
                                  "4294967295, 4294967295, %d, 600, %d, 0, 0);",
                pageId, group, pageId, pageId, (pageId * 7919) % 100000, group, pageId % 5 ? 1 : 0, 1 + pageId % 4));
            // The user order runs backwards, so it differs from the id order.
            order.insert(order.begin(),
                { static_cast<unsigned char>(pageId & 0xFF), static_cast<unsigned char>(pageId >> 8) });
        }
        CSqlBinary binary;
        binary.assignBinary(order.data(), static_cast<int>(order.size()));
        db.execDML(sql.format("INSERT INTO GROUPS VALUES(%d, 'GROUP %d', 1, %d, %Q);", group, group, sortType,
            sortType == sortUserOrder ? binary.encodedText() : nullptr));
    }
    db.execDML("COMMIT;");
    db.close();
}

long PeakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct SSetup {
    QTemporaryDir home;
    int argc = 1;
    char name[16] = "startup_bench";
    char* argv[2] = { name, nullptr };
    std::unique_ptr<taluvo::ui::CUiApplication> app;
    CMessageLoop loop;

    SSetup()
    {
        ::setenv("TALUVO_HOME", home.path().toLocal8Bit().constData(), 1);
        ::setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<taluvo::ui::CUiApplication>(argc, argv);
        taluvo::res::RegisterResources();
        _Module.AddMessageLoop(&loop);
        MakeDatabase(home.filePath(QStringLiteral("database.db")).toStdString());
    }
};

SSetup& Setup()
{
    static SSetup* setup = new SSetup;
    return *setup;
}

void DrainMessages()
{
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessage(&msg);
}

void BM_StartUntilTreeFilled(benchmark::State& state)
{
    Setup();
    // A toolbar port taken by another program ends the start after the tree was filled; the box
    // it shows is answered at once.
    taluvo::ui::test::ScopedMessageBoxHook boxes([](const taluvo::ui::test::MessageBoxRequest&) { return IDOK; });
    unsigned items = 0;
    for (auto _ : state) {
        auto frame = std::make_unique<CMainFrame>();
        RECT rect { 0, 0, 640, 450 };
        if (!frame->CreateEx(GetDesktopWindow(), &rect)) {
            state.SkipWithError("main window not created");
            break;
        }
        state.PauseTiming();
        items = frame->m_mainTree.GetCount();
        if (frame->IsWindow())
            frame->DestroyWindow();
        DrainMessages();
        frame.reset();
        state.ResumeTiming();
    }
    state.counters["tree_items"] = items;
    state.counters["peak_rss_MB"] = static_cast<double>(PeakRssKb()) / 1024.0;
}
BENCHMARK(BM_StartUntilTreeFilled)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FillTree(benchmark::State& state)
{
    Setup();
    taluvo::ui::test::ScopedMessageBoxHook boxes([](const taluvo::ui::test::MessageBoxRequest&) { return IDOK; });
    CMainFrame frame;
    RECT rect { 0, 0, 640, 450 };
    if (!frame.CreateEx(GetDesktopWindow(), &rect) || !m_db.opened()) {
        state.SkipWithError("main window not created");
        return;
    }
    for (auto _ : state)
        frame.LoadContent();
    state.counters["tree_items"] = frame.m_mainTree.GetCount();
    state.counters["peak_rss_MB"] = static_cast<double>(PeakRssKb()) / 1024.0;
    frame.DestroyWindow();
    DrainMessages();
}
BENCHMARK(BM_FillTree)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
