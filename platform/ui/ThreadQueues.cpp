// Thread queues: what is posted and sent to a thread, how another thread wakes it, and how the
// thread serves the sends: from whichever loop runs, and from every wait on another thread.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <vector>

namespace {

using namespace taluvo::ui::detail;

class Queues {
public:
    static Queues& Instance()
    {
        static Queues* queues = new Queues;
        return *queues;
    }
    QueuePtr Get(DWORD threadId, bool create)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_queues.find(threadId);
        if (it != m_queues.end())
            return it->second;
        if (!create)
            return nullptr;
        auto queue = std::make_shared<ThreadQueue>();
        queue->threadId = threadId;
        queue->wake = CreateEvent(nullptr, FALSE, FALSE, nullptr);
        m_queues[threadId] = queue;
        return queue;
    }

private:
    std::mutex m_lock;
    std::unordered_map<DWORD, QueuePtr> m_queues;
};

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x5A1);

} // namespace

namespace taluvo::ui::detail {

QueuePtr QueueOf(DWORD threadId, bool create)
{
    return Queues::Instance().Get(threadId, create);
}

QueuePtr CurrentQueue()
{
    return Queues::Instance().Get(GetCurrentThreadId(), true);
}

// Called with the queue's lock held: the waker is alive while the lock shows it.
void Waker::Post()
{
    if (!m_queue->wakePosted.exchange(true))
        QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
}

void Waker::customEvent(QEvent* event)
{
    if (event->type() != kWakeEvent)
        return;
    m_queue->wakePosted = false;
    ServeSends();
    // A Qt loop of its own runs above ours (or no loop of ours runs at all): nobody else would
    // dispatch what was posted, so do it here, as a modal loop of Windows does.
    if (!LayerLoopIsInnermost())
        DispatchPostedNow();
}

void WakeThread(const QueuePtr& queue, bool forWaits)
{
    bool throughQt = false;
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        if (queue->waker) {
            queue->waker->Post();
            throughQt = true;
        }
    }
    if (forWaits || !throughQt)
        SetEvent(queue->wake);
}

void WakeForSends(const QueuePtr& queue, bool servingWait)
{
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        if (queue->waker && !servingWait) {
            queue->waker->Post();
            return;
        }
    }
    SetEvent(queue->wake);
}

bool WokenThroughQt(const QueuePtr& queue)
{
    std::lock_guard<std::mutex> guard(queue->lock);
    return queue->waker != nullptr;
}

void DropQueuedFor(const WindowRecord& record)
{
    const HWND hwnd = record.hwnd;
    // Nobody may wait for this window any longer: pending sends end with 0, posts are dropped.
    auto queue = Queues::Instance().Get(record.threadId, false);
    if (queue) {
        std::vector<SendPtr> cancelled;
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            auto& sends = queue->sends;
            for (auto it = sends.begin(); it != sends.end();) {
                if ((*it)->hwnd == hwnd) {
                    cancelled.push_back(*it);
                    it = sends.erase(it);
                } else {
                    ++it;
                }
            }
            auto& posted = queue->posted;
            posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                posted.end());
        }
        for (auto& item : cancelled)
            item->Finish(0);
    }
}

void ServeSends()
{
    auto queue = Queues::Instance().Get(GetCurrentThreadId(), false);
    if (!queue)
        return;
    for (;;) {
        SendPtr item;
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            if (queue->sends.empty())
                return;
            item = queue->sends.front();
            queue->sends.pop_front();
        }
        auto record = Find(item->hwnd);
        LRESULT result = 0;
        if (record && record->proc)
            result = CallWindowProc(record->proc, item->hwnd, item->message, item->wParam, item->lParam);
        // What another thread sent (a worker's notice that its check ended) changes what the idle
        // handlers show, as any other message does.
        if (LoopObserver* observer = ActiveMainObserver()) {
            MSG handled {};
            handled.hwnd = item->hwnd;
            handled.message = item->message;
            handled.wParam = item->wParam;
            handled.lParam = item->lParam;
            observer->InputHandled(handled);
        }
        item->Finish(result);
    }
}

size_t PendingSends()
{
    auto queue = Queues::Instance().Get(GetCurrentThreadId(), false);
    if (!queue)
        return 0;
    std::lock_guard<std::mutex> guard(queue->lock);
    return queue->sends.size();
}

bool TakePosted(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove)
{
    auto queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    for (auto it = queue->posted.begin(); it != queue->posted.end(); ++it) {
        if (hwnd && it->hwnd != hwnd)
            continue;
        if ((filterMin || filterMax) && (it->message < filterMin || it->message > filterMax))
            continue;
        *msg = *it;
        if (remove) {
            queue->posted.erase(it);
            if (msg->message == WM_TIMER)
                TimerDequeued(msg->hwnd, msg->wParam);
        }
        return true;
    }
    return false;
}

bool QuitPending(int* code, bool consume)
{
    auto queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    if (!queue->quit)
        return false;
    if (code)
        *code = queue->quitCode;
    if (consume)
        queue->quit = false;
    return true;
}

bool HasQueuedWork()
{
    auto queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    return !queue->posted.empty() || !queue->sends.empty() || queue->quit;
}

} // namespace taluvo::ui::detail

namespace taluvo::ui {

DWORD WaitServingSends(DWORD count, const HANDLE* handles, DWORD milliseconds)
{
    if (!IsUiThread() || count == 0 || count >= MAXIMUM_WAIT_OBJECTS)
        return WaitForMultipleObjects(count, handles, FALSE, milliseconds);
    auto queue = CurrentQueue();
    std::vector<HANDLE> all(handles, handles + count);
    all.push_back(queue->wake);
    const bool infinite = milliseconds == INFINITE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(infinite ? 0 : milliseconds);
    for (;;) {
        ServeSends();
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            if (!queue->sends.empty())
                continue;
            queue->servingWait = true;
        }
        DWORD left = INFINITE;
        if (!infinite) {
            const auto ms
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                      .count();
            left = ms <= 0 ? 0 : static_cast<DWORD>(ms);
        }
        const DWORD result = WaitForMultipleObjects(count + 1, all.data(), FALSE, left);
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            queue->servingWait = false;
        }
        if (result == WAIT_OBJECT_0 + count)
            continue; // a send arrived: serve it and keep waiting
        // A send that came with the end of the wait woke nobody else: serve it now.
        ServeSends();
        return result;
    }
}

} // namespace taluvo::ui
