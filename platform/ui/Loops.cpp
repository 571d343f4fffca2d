// The loops of a thread: the loop stack of the user-interface thread (ours, and Qt's opened above
// them), GetMessage and PeekMessage, the modal loops and their common end, and the widgets of
// destroyed windows, which wait for the outermost loop before they go.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

using namespace taluvo::ui::detail;

struct LoopEntry {
    LoopKind kind;
    LoopObserver* observer;
    int qtLevel;
    LoopScope* scope;
};
thread_local std::vector<LoopEntry> t_loops;

int QtLoopLevel()
{
    QThread* thread = QThread::currentThread();
    return thread ? thread->loopLevel() : 0;
}

thread_local std::vector<QPointer<QWidget>> t_graveyard;

void FlushGraveyard()
{
    // Only at the outermost loop level: a handler of a buried widget may still be on the stack
    // below a nested loop.
    if (t_loops.size() > 1)
        return;
    auto buried = std::move(t_graveyard);
    t_graveyard.clear();
    for (auto& widget : buried)
        delete widget.data();
}

std::atomic<int> g_endAllRequests { 0 };

} // namespace

namespace taluvo::ui::detail {

// True when the innermost running loop is one of ours (not a Qt loop opened above it).
bool LayerLoopIsInnermost()
{
    return !t_loops.empty() && t_loops.back().qtLevel == QtLoopLevel();
}

LoopObserver* ActiveMainObserver()
{
    if (!LayerLoopIsInnermost() || t_loops.back().kind != LoopKind::Main)
        return nullptr;
    return t_loops.back().observer;
}

LoopObserver* ActiveMainObserverForInput()
{
    return ActiveMainObserver();
}

void BuryWidget(QWidget* widget)
{
    if (!widget)
        return;
    widget->setProperty("taluvo_hwnd", QVariant());
    widget->hide();
    t_graveyard.emplace_back(widget);
}

void DeleteBuriedWidgets()
{
    FlushGraveyard();
}

LoopScope::LoopScope(LoopKind kind, LoopObserver* observer)
{
    t_loops.push_back({ kind, observer, QtLoopLevel(), this });
}

LoopScope::~LoopScope()
{
    auto it = std::find_if(t_loops.begin(), t_loops.end(), [&](const LoopEntry& e) { return e.scope == this; });
    if (it != t_loops.end())
        t_loops.erase(it);
}

void DispatchPostedNow()
{
    size_t count;
    {
        auto queue = CurrentQueue();
        std::lock_guard<std::mutex> guard(queue->lock);
        count = queue->posted.size();
    }
    // Only what is there now: a handler that posts again must not keep this loop busy forever.
    MSG msg;
    while (count-- > 0 && TakePosted(&msg, nullptr, 0, 0, true)) {
        ::TranslateMessage(&msg);
        ::DispatchMessage(&msg);
    }
}

void PumpOnce(bool wait)
{
    ServeSends();
    FlushGraveyard();
    auto queue = CurrentQueue();
    if (WokenThroughQt(queue)) {
        QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        ServeSends();
        return;
    }
    if (wait)
        WaitForSingleObject(queue->wake, INFINITE);
    ServeSends();
}

bool RunModalLoop(const std::function<bool()>& done)
{
    LoopScope scope(LoopKind::Modal, nullptr);
    const int generation = g_endAllRequests.load();
    for (;;) {
        if (done())
            return true;
        if (QuitPending(nullptr, false) || g_endAllRequests.load() != generation)
            return false;
        DispatchPostedNow();
        if (done())
            return true;
        PumpOnce(!HasQueuedWork());
    }
}

} // namespace taluvo::ui::detail

namespace taluvo::ui {

void EndAllModalLoops()
{
    // May be called from any thread (a signal watcher): wake the thread that runs the loops.
    g_endAllRequests.fetch_add(1);
    if (const DWORD uiThread = UiThreadId())
        if (auto queue = QueueOf(uiThread, false))
            WakeThread(queue, true);
}

} // namespace taluvo::ui

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hwnd && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    EnsureUiSetup();
    LoopScope scope(LoopKind::Main, nullptr);
    for (;;) {
        ServeSends();
        if (TakePosted(msg, hwnd, filterMin, filterMax, true))
            return TRUE;
        int code = 0;
        // The quit flag is seen only once the posted messages before it are gone.
        if (QuitPending(&code, true)) {
            *msg = MSG();
            msg->message = WM_QUIT;
            msg->wParam = static_cast<WPARAM>(code);
            return FALSE;
        }
        PumpOnce(true);
    }
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!msg)
        return FALSE;
    ServeSends();
    if (TakePosted(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0))
        return TRUE;
    int code = 0;
    if (QuitPending(&code, (removeFlags & PM_REMOVE) != 0)) {
        *msg = MSG();
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(code);
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* msg)
{
    // Characters come with the key events of Qt, which the input filter delivers as WM_CHAR
    // itself; there is nothing left to translate for queued messages.
    return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) ? TRUE : FALSE;
}

LRESULT DispatchMessage(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, NowMs());
        return 0;
    }
    if (!msg->hwnd)
        return 0; // thread messages have no window to go to
    auto record = Find(msg->hwnd);
    if (!record || record->threadId != GetCurrentThreadId())
        return 0;
    return CallWindowProc(record->proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}
