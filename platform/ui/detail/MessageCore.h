// What the files of the message core share, and the threading model they follow.
//
// Windows live on the user-interface thread; any thread may address them. Each thread that
// receives messages has a ThreadQueue: posted messages, sends waiting for it, the quit flag. Other
// threads only ever touch a queue under its lock, and wake its thread in the one way the thread
// can be waiting: Qt's dispatcher through the Waker's event, or the queue's wake event while the
// thread waits serving sends (WaitServingSends) or has no Qt loop.
//
//   WindowRegistry.cpp   handles to window records (any thread)
//   WindowLifecycle.cpp  creating and destroying windows (the window's own thread)
//   WindowClasses.cpp    registered classes (any thread)
//   ThreadQueues.cpp     the queues, waking a thread, serving sends, waiting while serving them
//   SendPost.cpp         SendMessage and PostMessage: the ways into another thread's queue
//   Loops.cpp            the loop stack of the user-interface thread, the loops themselves, and
//                        the widgets of destroyed windows that wait for the outermost loop
//   Timers.cpp           SetTimer and KillTimer (the user-interface thread only)
//   InputFilter.cpp      Qt's input as window messages, through the main loop's filters
//   MessageCore.cpp      the one-time setup on the user-interface thread and its teardown
#pragma once

#include "platform/ui/detail/Core.h"

#include <QEvent>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace taluvo::ui::detail {

// Milliseconds of the monotonic clock, as MSG::time and WM_TIMER's time carry them.
DWORD NowMs();

// ---------------------------------------------------------------------------------------------
// Window registry (WindowRegistry.cpp)

// Gives the record its handle; handles are never reused.
HWND AddToRegistry(RecordPtr record);
void RemoveFromRegistry(HWND hwnd);

// Window classes (WindowClasses.cpp)
bool FindClass(const QString& name, ClassInfo* info);

// ---------------------------------------------------------------------------------------------
// Thread queues (ThreadQueues.cpp)

// A send waiting for the receiving thread; the sender blocks on it until Finish.
struct SendItem {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
    std::mutex lock;
    std::condition_variable cv;

    void Finish(LRESULT value)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (done)
            return;
        result = value;
        done = true;
        cv.notify_all();
    }
};
using SendPtr = std::shared_ptr<SendItem>;

class Waker;

struct ThreadQueue {
    DWORD threadId = 0;
    std::mutex lock;
    std::deque<MSG> posted;
    std::deque<SendPtr> sends;
    bool quit = false;
    int quitCode = 0;
    bool closed = false; // the user-interface thread has gone: sends return 0 at once
    HANDLE wake = nullptr;
    // The Qt thread only; null once the application has gone. Guarded by lock: the teardown
    // clears it under the lock before Qt deletes the waker, so a thread that found it under the
    // lock may post to it.
    Waker* waker = nullptr;
    std::atomic<bool> wakePosted { false };
    // The thread waits in WaitServingSends: a send wakes it through the wake event, and no Qt
    // event is needed (guarded by lock).
    bool servingWait = false;
};
using QueuePtr = std::shared_ptr<ThreadQueue>;

// The queue of a thread; made on first use when create is set.
QueuePtr QueueOf(DWORD threadId, bool create);
QueuePtr CurrentQueue();

// Lives on the user-interface thread; its event is how other threads wake Qt's dispatcher.
class Waker : public QObject {
public:
    explicit Waker(QueuePtr queue)
        : m_queue(std::move(queue))
    {
    }
    void Post();

protected:
    void customEvent(QEvent* event) override;

private:
    QueuePtr m_queue;
};

// Wakes the queue's thread for a posted message or a quit; forWaits: also a thread that waits
// serving sends (it must look at something other than its queue).
void WakeThread(const QueuePtr& queue, bool forWaits);
// Wakes the thread for sends just queued, through the one way it can be waiting now:
// servingWait is what the queue said while the sends went in.
void WakeForSends(const QueuePtr& queue, bool servingWait);
// True when the current thread's queue is woken through Qt (the user-interface thread).
bool WokenThroughQt(const QueuePtr& queue);
// Ends every send waiting for the window and drops what was posted to it (it is being destroyed).
void DropQueuedFor(const WindowRecord& record);

// ---------------------------------------------------------------------------------------------
// Loops (Loops.cpp)

// True when the innermost running loop is one of ours (not a Qt loop opened above it).
bool LayerLoopIsInnermost();
LoopObserver* ActiveMainObserver();

// ---------------------------------------------------------------------------------------------
// Timers (Timers.cpp)

// The timer object belongs to the application object and goes with it.
void AdoptTimers(QObject* application);
// A WM_TIMER left the queue: the timer may queue the next.
void TimerDequeued(HWND hwnd, UINT_PTR id);
void KillWindowTimers(HWND hwnd);

// ---------------------------------------------------------------------------------------------
// Input (InputFilter.cpp)

void InstallInputFilter();
// DefWindowProc was called for the message: when it is the input being delivered from Qt, the
// widget gets its own handling of the event.
void DefaultHandlingAsked(HWND hwnd, UINT message);

// ---------------------------------------------------------------------------------------------
// Setup (MessageCore.cpp)

// The user-interface thread, once EnsureUiSetup ran on it; 0 before.
DWORD UiThreadId();

} // namespace taluvo::ui::detail
