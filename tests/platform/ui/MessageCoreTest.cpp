// The message core: sends within and across threads, posting order, timers, window lifetime,
// message maps, and the main loop's filters and idle handlers.
#include "tests/platform/ui/UiTestSupport.h"

#include "core/WorkerThread.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr UINT WM_PROBE = WM_APP + 1;
constexpr UINT WM_RUN = WM_APP + 2;

// A window whose map records what reaches it; WM_PROBE answers wParam * 2.
class CProbeWindow : public CWindowImpl<CProbeWindow> {
public:
    std::vector<std::string> log;
    std::vector<WPARAM> posted;
    std::function<void()> onRun;
    std::function<void(LPARAM)> onProbe;
    std::atomic<int> probes { 0 };
    int timer1 = 0;
    int timer2 = 0;
    bool finalSeen = false;

    BEGIN_MSG_MAP(CProbeWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_PROBE, OnProbe)
    MESSAGE_HANDLER(WM_RUN, OnRun)
    MESSAGE_HANDLER(WM_USER, OnPosted)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKey)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    COMMAND_ID_HANDLER(100, OnCommand100)
    COMMAND_RANGE_HANDLER(200, 209, OnCommandRange)
    COMMAND_ID_HANDLER(300, OnDeclined)
    NOTIFY_HANDLER(2000, NM_DBLCLK, OnTreeDblClk)
    NOTIFY_CODE_HANDLER(NM_RCLICK, OnAnyRClick)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        log.push_back("create:" + std::to_string(reinterpret_cast<uintptr_t>(cs->lpCreateParams)));
        return 0;
    }
    LRESULT OnProbe(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        if (onProbe)
            onProbe(lParam);
        ++probes;
        return static_cast<LRESULT>(wParam * 2);
    }
    LRESULT OnRun(UINT, WPARAM, LPARAM, BOOL&)
    {
        if (onRun)
            onRun();
        return 0;
    }
    LRESULT OnPosted(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        posted.push_back(wParam);
        return 0;
    }
    LRESULT OnTimer(UINT, WPARAM id, LPARAM, BOOL&)
    {
        (id == 1 ? timer1 : timer2)++;
        return 0;
    }
    LRESULT OnKey(UINT, WPARAM vk, LPARAM, BOOL&)
    {
        log.push_back("key:" + std::to_string(vk));
        return 0;
    }
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL&)
    {
        log.push_back("mousemove");
        return 0;
    }
    LRESULT OnCommand100(WORD code, WORD id, HWND, BOOL&)
    {
        log.push_back("cmd:" + std::to_string(id) + "/" + std::to_string(code));
        return 0;
    }
    LRESULT OnCommandRange(WORD, WORD id, HWND, BOOL&)
    {
        log.push_back("range:" + std::to_string(id));
        return 0;
    }
    LRESULT OnDeclined(WORD, WORD, HWND, BOOL& bHandled)
    {
        log.push_back("declined");
        bHandled = FALSE; // falls through to the default procedure
        return 0;
    }
    LRESULT OnTreeDblClk(int id, LPNMHDR, BOOL&)
    {
        log.push_back("dblclk:" + std::to_string(id));
        return 7;
    }
    LRESULT OnAnyRClick(int id, LPNMHDR nm, BOOL&)
    {
        log.push_back("rclick:" + std::to_string(nm->idFrom) + "/" + std::to_string(id));
        return 0;
    }
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        log.push_back("destroy");
        bHandled = FALSE;
        return 0;
    }
    void OnFinalMessage(HWND) override { finalSeen = true; }
};

class UiMessageCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT rect { 10, 10, 210, 160 };
        ASSERT_TRUE(m_wnd.Create(
            nullptr, &rect, QStringLiteral("probe"), WS_OVERLAPPEDWINDOW, 0, 0, reinterpret_cast<LPVOID>(42)));
    }
    void TearDown() override
    {
        if (m_wnd.IsWindow())
            m_wnd.DestroyWindow();
        // Drain what the test left queued.
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) { }
    }
    // Runs a GetMessage loop until WM_QUIT.
    static int RunLoop()
    {
        MSG msg;
        BOOL rc;
        while ((rc = GetMessage(&msg, nullptr, 0, 0)) != 0) {
            if (rc == -1)
                continue;
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        return static_cast<int>(msg.wParam);
    }

    CProbeWindow m_wnd;
};

TEST_F(UiMessageCoreTest, SameThreadSendCallsTheMapDirectly)
{
    EXPECT_EQ(m_wnd.log.front(), "create:42");
    EXPECT_EQ(m_wnd.SendMessage(WM_PROBE, 21), 42);
    m_wnd.SendMessage(WM_COMMAND, MAKEWPARAM(100, 0));
    m_wnd.SendMessage(WM_COMMAND, MAKEWPARAM(205, 1));
    m_wnd.SendMessage(WM_COMMAND, MAKEWPARAM(210, 0)); // outside the range: nobody
    m_wnd.SendMessage(WM_COMMAND, MAKEWPARAM(300, 0));
    NMHDR dbl { nullptr, 2000, NM_DBLCLK };
    EXPECT_EQ(m_wnd.SendMessage(WM_NOTIFY, 2000, reinterpret_cast<LPARAM>(&dbl)), 7);
    NMHDR other { nullptr, 2001, NM_DBLCLK };
    EXPECT_EQ(m_wnd.SendMessage(WM_NOTIFY, 2001, reinterpret_cast<LPARAM>(&other)), 0);
    NMHDR rclick { nullptr, 2000, NM_RCLICK };
    m_wnd.SendMessage(WM_NOTIFY, 2000, reinterpret_cast<LPARAM>(&rclick));
    const std::vector<std::string> expected { "create:42", "cmd:100/0", "range:205", "declined", "dblclk:2000",
        "rclick:2000/2000" };
    EXPECT_EQ(m_wnd.log, expected);
    // Unhandled messages reach the default procedure: the window text lives there.
    EXPECT_EQ(m_wnd.GetWindowText(), QStringLiteral("probe"));
}

TEST_F(UiMessageCoreTest, DestroyedWindowIsGoneAndItsHandleHarmless)
{
    const HWND hwnd = m_wnd;
    ASSERT_TRUE(m_wnd.DestroyWindow());
    EXPECT_TRUE(m_wnd.finalSeen);
    EXPECT_EQ(m_wnd.log.back(), "destroy");
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(SendMessage(hwnd, WM_PROBE, 1, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(PostMessage(hwnd, WM_USER, 0, 0));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(SetTimer(hwnd, 1, 10, nullptr), 0u);
    EXPECT_TRUE(GetWindowText(hwnd).isEmpty());
    // From another thread too, at once.
    LRESULT fromWorker = -1;
    std::thread worker([&] { fromWorker = SendMessage(hwnd, WM_PROBE, 3, 0); });
    worker.join();
    EXPECT_EQ(fromWorker, 0);
}

TEST_F(UiMessageCoreTest, WorkerSendReturnsTheHandlersResult)
{
    // The user-interface thread serves the send while it waits for the worker's end.
    HANDLE done = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessage(m_wnd, WM_PROBE, 50, 0);
        SetEvent(done);
    });
    EXPECT_EQ(taluvo::ui::WaitServingSends(done, 10000), WAIT_OBJECT_0);
    worker.join();
    EXPECT_EQ(result, 100);
    EXPECT_EQ(m_wnd.probes.load(), 1);
    CloseHandle(done);
}

// A worker of the program's own kind that sends to a window; its owner joins it on the
// user-interface thread.
class CSendingWorker : public CWorkerThread {
public:
    explicit CSendingWorker(HWND target)
        : m_target(target)
    {
    }
    ~CSendingWorker() override { StopAndJoin(); }
    void Run() override { m_result = SendMessage(m_target, WM_PROBE, 8, 0); }
    std::atomic<LRESULT> m_result { -1 };

private:
    HWND m_target;
};

TEST_F(UiMessageCoreTest, JoiningAWorkerBlockedInSendServesIt)
{
    // The owner joins the worker the ordinary way (its destructor) while the worker sits in
    // SendMessage to a window of the joining thread.
    auto worker = std::make_unique<CSendingWorker>(m_wnd);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(taluvo::test::WaitUntil([] { return taluvo::ui::detail::PendingSends() == 1; }));
    EXPECT_TRUE(worker->Wait(10000));
    EXPECT_EQ(worker->m_result.load(), 16);
    worker.reset();
    EXPECT_EQ(m_wnd.probes.load(), 1);
}

TEST_F(UiMessageCoreTest, SenderWaitingWhenTheWindowIsDestroyedGetsZero)
{
    std::atomic<LRESULT> result { -1 };
    std::thread worker([&] { result = SendMessage(m_wnd, WM_PROBE, 5, 0); });
    // The user-interface thread is busy (not pumping) until the send is queued.
    ASSERT_TRUE(taluvo::test::WaitUntil([] { return taluvo::ui::detail::PendingSends() == 1; }));
    m_wnd.DestroyWindow();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(m_wnd.probes.load(), 0);
}

// A batch of sends from another thread arrives whole and in its order, whether the user-interface
// thread waits serving sends or runs its message loop, and the sender goes on only after the last.
TEST_F(UiMessageCoreTest, BatchOfSendsArrivesInOrderWhicheverLoopServesIt)
{
    std::vector<LPARAM> received;
    m_wnd.onProbe = [&](LPARAM lParam) { received.push_back(lParam); };
    const std::vector<LPARAM> batch { 11, 12, 13, 14, 15, 16, 17 };
    for (const bool messageLoop : { false, true }) {
        SCOPED_TRACE(messageLoop ? "message loop" : "waiting serving sends");
        received.clear();
        size_t seenBySender = 0;
        HANDLE done = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        std::thread worker([&] {
            taluvo::ui::SendMessages(m_wnd, WM_PROBE, 1, batch.data(), batch.size());
            seenBySender = received.size(); // the handlers have all returned by now
            SetEvent(done);
            if (messageLoop)
                PostMessage(m_wnd, WM_RUN, 0, 0);
        });
        if (messageLoop) {
            m_wnd.onRun = [] { PostQuitMessage(0); };
            RunLoop();
        } else {
            EXPECT_EQ(taluvo::ui::WaitServingSends(done, 30000), WAIT_OBJECT_0);
        }
        worker.join();
        CloseHandle(done);
        EXPECT_EQ(received, batch);
        EXPECT_EQ(seenBySender, batch.size());
    }
}

// A handler that destroys the window ends the batch there: the sender returns, the rest is dropped.
TEST_F(UiMessageCoreTest, BatchOfSendsEndsWithItsWindow)
{
    std::vector<LPARAM> received;
    m_wnd.onProbe = [&](LPARAM lParam) {
        received.push_back(lParam);
        if (lParam == 3)
            m_wnd.DestroyWindow();
    };
    const std::vector<LPARAM> batch { 1, 2, 3, 4, 5 };
    HANDLE done = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        taluvo::ui::SendMessages(m_wnd, WM_PROBE, 1, batch.data(), batch.size());
        SetEvent(done);
    });
    EXPECT_EQ(taluvo::ui::WaitServingSends(done, 30000), WAIT_OBJECT_0);
    worker.join();
    CloseHandle(done);
    EXPECT_EQ(received, (std::vector<LPARAM> { 1, 2, 3 }));

    // On the window's own thread the same holds.
    received.clear();
    RECT rect { 10, 10, 210, 160 };
    ASSERT_TRUE(m_wnd.Create(nullptr, &rect, QStringLiteral("again"), WS_OVERLAPPEDWINDOW));
    taluvo::ui::SendMessages(m_wnd, WM_PROBE, 1, batch.data(), batch.size());
    EXPECT_EQ(received, (std::vector<LPARAM> { 1, 2, 3 }));
}

TEST_F(UiMessageCoreTest, PostedMessagesKeepTheirOrder)
{
    for (WPARAM i = 0; i < 50; ++i)
        m_wnd.PostMessage(WM_USER, i);
    std::thread worker([&] {
        for (WPARAM i = 50; i < 100; ++i)
            PostMessage(m_wnd, WM_USER, i, 0);
    });
    worker.join();
    PostQuitMessage(3);
    EXPECT_EQ(RunLoop(), 3);
    ASSERT_EQ(m_wnd.posted.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i)
        EXPECT_EQ(m_wnd.posted[i], i);
}

TEST_F(UiMessageCoreTest, TimersFireRepeatedlyAndStopWhenKilled)
{
    ASSERT_EQ(m_wnd.SetTimer(1, 10), 1u);
    ASSERT_EQ(m_wnd.SetTimer(2, 25), 2u);
    int timer1AtKill = -1;
    m_wnd.onRun = [] {};
    // Count inside a loop: kill timer 1 after its third tick, stop after timer 2's sixth.
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        DispatchMessage(&msg);
        if (timer1AtKill < 0 && m_wnd.timer1 >= 3) {
            EXPECT_TRUE(m_wnd.KillTimer(1));
            timer1AtKill = m_wnd.timer1;
        }
        if (m_wnd.timer2 >= 6 && timer1AtKill >= 0)
            break;
    }
    EXPECT_EQ(m_wnd.timer1, timer1AtKill);
    EXPECT_FALSE(m_wnd.KillTimer(1)); // no such timer any more
    EXPECT_TRUE(m_wnd.KillTimer(2));
}

TEST_F(UiMessageCoreTest, WorkerSendIsServedInsideAMessageBox)
{
    std::atomic<LRESULT> result { -1 };
    std::thread* worker = nullptr;
    taluvo::ui::test::ScopedMessageBoxHook hook([&](const taluvo::ui::test::MessageBoxRequest&) {
        // Let the box show; the worker's send answers it from inside the box's loop.
        worker = new std::thread([&] { result = SendMessage(m_wnd, WM_RUN, 0, 0); });
        return 0;
    });
    m_wnd.onRun = [] { taluvo::ui::test::AnswerMessageBox(taluvo::ui::test::TopMessageBox(), IDNO); };
    EXPECT_EQ(
        m_wnd.MessageBox(QStringLiteral("Delete?"), QStringLiteral("Confirmation."), MB_YESNO | MB_ICONQUESTION), IDNO);
    ASSERT_NE(worker, nullptr);
    worker->join();
    delete worker;
    EXPECT_EQ(result.load(), 0);
}

// The main loop: filters newest first, swallowing, no filters in modal loops, idle handlers.
class CRecordingFilter : public CMessageFilter {
public:
    CRecordingFilter(std::string name, std::vector<std::string>& log, UINT swallow)
        : m_name(std::move(name))
        , m_log(log)
        , m_swallow(swallow)
    {
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_USER || pMsg->message == WM_KEYDOWN)
            m_log.push_back(m_name + ":" + std::to_string(pMsg->message) + "/" + std::to_string(pMsg->wParam));
        return pMsg->message == WM_USER && pMsg->wParam == m_swallow;
    }

private:
    std::string m_name;
    std::vector<std::string>& m_log;
    UINT m_swallow;
};

class CRecordingIdle : public CIdleHandler {
public:
    explicit CRecordingIdle(std::vector<std::string>& log)
        : m_log(log)
    {
    }
    BOOL OnIdle() override
    {
        m_log.push_back("idle");
        if (next)
            std::exchange(next, nullptr)();
        return TRUE;
    }
    std::function<void()> next;

private:
    std::vector<std::string>& m_log;
};

QWidget* WidgetOf(HWND hwnd)
{
    return taluvo::ui::detail::Find(hwnd)->widget.data();
}

void SendKey(HWND hwnd, int key)
{
    static ulong stamp = 5000;
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    event.setTimestamp(++stamp);
    QCoreApplication::sendEvent(WidgetOf(hwnd), &event);
}

TEST_F(UiMessageCoreTest, FiltersRunNewestFirstAndMaySwallow)
{
    std::vector<std::string> filterLog;
    CRecordingFilter older("A", filterLog, 1);
    CRecordingFilter newer("B", filterLog, 2);
    CMessageLoop loop;
    loop.AddMessageFilter(&older);
    loop.AddMessageFilter(&newer);
    m_wnd.PostMessage(WM_USER, 1); // A swallows it, after B declined
    m_wnd.PostMessage(WM_USER, 2); // B swallows it: A never sees it
    m_wnd.PostMessage(WM_USER, 3); // nobody takes it: dispatched
    // Input from Qt passes the same filters before it reaches the window.
    m_wnd.onRun = [&] {
        SendKey(m_wnd, Qt::Key_F5);
        PostQuitMessage(9);
    };
    m_wnd.PostMessage(WM_RUN);
    EXPECT_EQ(loop.Run(), 9);
    const std::vector<std::string> expected { "B:1024/1", "A:1024/1", "B:1024/2", "B:1024/3", "A:1024/3", "B:256/116",
        "A:256/116" };
    EXPECT_EQ(filterLog, expected);
    EXPECT_EQ(m_wnd.posted, std::vector<WPARAM> { 3 });
    EXPECT_EQ(m_wnd.log.back(), "key:116"); // VK_F5 reached the window after the filters
}

TEST_F(UiMessageCoreTest, FilterThatSwallowsInputKeepsItFromTheWindow)
{
    class CKeyEater : public CMessageFilter {
    public:
        BOOL PreTranslateMessage(MSG* pMsg) override { return pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F6; }
    } eater;
    CMessageLoop loop;
    loop.AddMessageFilter(&eater);
    m_wnd.onRun = [&] {
        SendKey(m_wnd, Qt::Key_F6);
        SendKey(m_wnd, Qt::Key_F12);
        PostQuitMessage(0);
    };
    m_wnd.PostMessage(WM_RUN);
    loop.Run();
    EXPECT_EQ(m_wnd.log.back(), "key:123");
    EXPECT_EQ(std::count(m_wnd.log.begin(), m_wnd.log.end(), "key:117"), 0);
}

TEST_F(UiMessageCoreTest, IdleHandlersRunAfterACommandButNotAfterAMouseMove)
{
    std::vector<std::string> log;
    CRecordingIdle idle(log);
    CMessageLoop loop;
    loop.AddIdleHandler(&idle);
    // First idle period: a mouse move arrives from Qt. It must not make idle processing due.
    idle.next = [&] {
        QTimer::singleShot(0, [&] {
            taluvo::ui::test::MoveMouse(m_wnd, 5, 5);
            log.push_back("mousemove");
            // Then a command: idle processing is due again after it.
            QTimer::singleShot(0, [&] {
                log.push_back("command");
                m_wnd.PostMessage(WM_COMMAND, MAKEWPARAM(100, 0));
                idle.next = [] { PostQuitMessage(0); };
            });
        });
    };
    loop.Run();
    const std::vector<std::string> expected { "idle", "mousemove", "command", "idle" };
    EXPECT_EQ(log, expected);
    EXPECT_NE(std::find(m_wnd.log.begin(), m_wnd.log.end(), "mousemove"), m_wnd.log.end());
}

TEST_F(UiMessageCoreTest, IdleHandlersRunAfterAMessageAnotherThreadSent)
{
    std::vector<std::string> log;
    CRecordingIdle idle(log);
    CMessageLoop loop;
    loop.AddIdleHandler(&idle);
    std::thread worker;
    // After the first idle period a worker sends, as a check that ends does; only a second idle
    // period ends the loop.
    idle.next = [&] {
        worker = std::thread([&] { m_wnd.SendMessage(WM_PROBE, 21); });
        idle.next = [&] {
            worker.join();
            log.push_back("probes:" + std::to_string(m_wnd.probes.load()));
            PostQuitMessage(0);
        };
    };
    // The bound, should the idle period never come.
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { PostQuitMessage(1); });
    bound.start(10000);
    EXPECT_EQ(loop.Run(), 0);
    if (worker.joinable())
        worker.join();
    const std::vector<std::string> expected { "idle", "idle", "probes:1" };
    EXPECT_EQ(log, expected);
}

TEST_F(UiMessageCoreTest, AppModuleKeepsOneLoopPerThread)
{
    CAppModule module;
    module.Init(nullptr, nullptr);
    CMessageLoop loop;
    EXPECT_TRUE(module.AddMessageLoop(&loop));
    EXPECT_EQ(module.GetMessageLoop(), &loop);
    CMessageLoop* fromWorker = &loop;
    std::thread worker([&] { fromWorker = module.GetMessageLoop(); });
    worker.join();
    EXPECT_EQ(fromWorker, nullptr);
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    module.Term();
}

TEST_F(UiMessageCoreTest, ThreadMessageQueueOfAWorker)
{
    // A worker with its own queue: posts to itself, loops until its private stop message.
    std::vector<UINT> seen;
    std::thread worker([&] {
        PostThreadMessage(GetCurrentThreadId(), WM_USER + 1, 0, 0);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) {
            seen.push_back(msg.message);
            if (msg.message == WM_USER + 1)
                break;
        }
    });
    worker.join();
    EXPECT_EQ(seen, std::vector<UINT> { WM_USER + 1 });
}

TEST_F(UiMessageCoreTest, NestedQtLoopServesSendsAndDispatchesPosts)
{
    // A loop of Qt's own (a menu, a file dialog) runs above the layer's: sends and posts still
    // reach the windows.
    std::atomic<LRESULT> result { -1 };
    std::thread worker;
    m_wnd.onRun = [&] {
        QEventLoop nested;
        m_wnd.PostMessage(WM_USER, 7);
        worker = std::thread([&] { result = SendMessage(m_wnd, WM_PROBE, 4, 0); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (result.load() != -1 && !m_wnd.posted.empty())
                nested.quit();
        });
        poll.start(1);
        nested.exec();
        PostQuitMessage(0);
    };
    m_wnd.PostMessage(WM_RUN);
    RunLoop();
    worker.join();
    EXPECT_EQ(result.load(), 8);
    EXPECT_EQ(m_wnd.posted, std::vector<WPARAM> { 7 });
}

// Qt's input and window events arrive as the messages the window procedures expect.
class CEventWindow : public CWindowImpl<CEventWindow> {
public:
    std::vector<std::string> log;
    BOOL refuseEndSession = FALSE;
    BEGIN_MSG_MAP(CEventWindow)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnButton)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnButton)
    MESSAGE_HANDLER(WM_QUERYENDSESSION, OnQueryEnd)
    MESSAGE_HANDLER(WM_ENDSESSION, OnEnd)
    MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    COMMAND_CODE_HANDLER(BN_CLICKED, OnClicked)
    END_MSG_MAP()
    LRESULT OnSize(UINT, WPARAM kind, LPARAM lParam, BOOL&)
    {
        log.push_back("size:" + std::to_string(kind) + ":" + std::to_string(LOWORD(lParam)) + "x"
            + std::to_string(HIWORD(lParam)));
        return 0;
    }
    LRESULT OnSysCommand(UINT, WPARAM command, LPARAM, BOOL& bHandled)
    {
        log.push_back("syscommand:" + std::to_string(command));
        bHandled = FALSE; // the default handling still runs
        return 0;
    }
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        log.push_back("close");
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnButton(UINT msg, WPARAM, LPARAM lParam, BOOL& bHandled)
    {
        log.push_back((msg == WM_LBUTTONDOWN ? "down:" : "up:") + std::to_string(GET_X_LPARAM(lParam)) + ","
            + std::to_string(GET_Y_LPARAM(lParam)));
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnQueryEnd(UINT, WPARAM, LPARAM, BOOL&) { return refuseEndSession ? FALSE : TRUE; }
    LRESULT OnEnd(UINT, WPARAM ending, LPARAM, BOOL&)
    {
        log.push_back("endsession:" + std::to_string(ending));
        return 0;
    }
    LRESULT OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        log.push_back("menu:" + std::to_string(wParam == reinterpret_cast<WPARAM>(m_hWnd)) + ":"
            + std::to_string(GET_X_LPARAM(lParam)) + "," + std::to_string(GET_Y_LPARAM(lParam)));
        return 0;
    }
    LRESULT OnClicked(WORD, WORD id, HWND, BOOL&)
    {
        log.push_back("clicked:" + std::to_string(id));
        return 0;
    }
};

TEST_F(UiMessageCoreTest, QtInputBecomesWindowMessages)
{
    CEventWindow wnd;
    RECT rect { 0, 0, 300, 200 };
    ASSERT_TRUE(wnd.Create(nullptr, &rect, QStringLiteral("events"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    QWidget* widget = WidgetOf(wnd);
    wnd.log.clear();
    widget->resize(320, 240);
    QResizeEvent resize(QSize(320, 240), QSize(300, 200));
    QCoreApplication::sendEvent(widget, &resize);
    EXPECT_EQ(wnd.log.back(), "size:0:320x240");

    // A push button child: the click reaches the button as mouse messages, the parent as a command.
    HWND button = CreateWindowEx(0, u"Button", u"&Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, wnd,
        reinterpret_cast<HMENU>(1047), nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    wnd.log.clear();
    taluvo::ui::test::Click(button);
    EXPECT_EQ(wnd.log, std::vector<std::string> { "clicked:1047" });
    // Mouse input on the window itself, in client coordinates.
    wnd.log.clear();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(150, 120), widget->mapToGlobal(QPointF(150, 120)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    EXPECT_EQ(wnd.log, std::vector<std::string> { "down:150,120" });

    // A context-menu request arrives with its screen point; the menu key's with (-1, -1).
    wnd.log.clear();
    const QPoint screen = widget->mapToGlobal(QPoint(40, 30));
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, QPoint(40, 30), screen);
    QCoreApplication::sendEvent(widget, &byMouse);
    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, QPoint(0, 0), widget->mapToGlobal(QPoint(0, 0)));
    QCoreApplication::sendEvent(widget, &byKey);
    EXPECT_EQ(wnd.log,
        (std::vector<std::string> {
            "menu:1:" + std::to_string(screen.x()) + "," + std::to_string(screen.y()), "menu:1:-1,-1" }));

    // The session manager's question goes to every top-level window.
    wnd.log.clear();
    wnd.refuseEndSession = TRUE;
    EXPECT_FALSE(taluvo::ui::EndSession());
    EXPECT_EQ(wnd.log.back(), "endsession:0");
    wnd.refuseEndSession = FALSE;
    EXPECT_TRUE(taluvo::ui::EndSession());
    EXPECT_EQ(wnd.log.back(), "endsession:1");

    // The close box: WM_SYSCOMMAND SC_CLOSE, then WM_CLOSE, whose default destroys the window.
    wnd.log.clear();
    const HWND hwnd = wnd;
    QCloseEvent close;
    QCoreApplication::sendEvent(widget, &close);
    EXPECT_EQ(wnd.log, (std::vector<std::string> { "syscommand:" + std::to_string(SC_CLOSE), "close" }));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindow(button)); // children go with their parent
}

} // namespace
