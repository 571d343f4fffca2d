// SendMessage and PostMessage: on the window's own thread a send calls the procedure; to another
// thread it goes into that thread's queue and the sender waits until it has been handled there,
// or dropped with its window or with the application.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <algorithm>
#include <vector>

using namespace taluvo::ui::detail;

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

namespace {

// Hands messages for a window of another thread over to that thread in one go and waits until the
// last has been handled (or dropped with the window); returns the last one's result.
LRESULT HandOver(const RecordPtr& record, HWND hwnd, UINT message, WPARAM wParam, const LPARAM* lParams, size_t count)
{
    auto queue = QueueOf(record->threadId, true);
    std::vector<SendPtr> items(count);
    for (size_t i = 0; i < count; ++i) {
        items[i] = std::make_shared<SendItem>();
        items[i]->hwnd = hwnd;
        items[i]->message = message;
        items[i]->wParam = wParam;
        items[i]->lParam = lParams[i];
    }
    bool servingWait = false;
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        if (queue->closed)
            return 0;
        queue->sends.insert(queue->sends.end(), items.begin(), items.end());
        servingWait = queue->servingWait;
    }
    // The window may have gone between the lookup and the queueing; its destruction cancels only
    // what was queued before it, so check again.
    if (!Find(hwnd)) {
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            auto& sends = queue->sends;
            for (const SendPtr& item : items)
                sends.erase(std::remove(sends.begin(), sends.end(), item), sends.end());
        }
        for (auto& item : items)
            item->Finish(0);
    }
    WakeForSends(queue, servingWait);
    // Each is waited for: a handler that waits serving sends may see the later ones handled first.
    for (const SendPtr& item : items) {
        std::unique_lock<std::mutex> lock(item->lock);
        item->cv.wait(lock, [&] { return item->done; });
    }
    return items.back()->result;
}

} // namespace

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (record->threadId == GetCurrentThreadId())
        return CallWindowProc(record->proc, hwnd, message, wParam, lParam);
    return HandOver(record, hwnd, message, wParam, &lParam, 1);
}

namespace taluvo::ui {

void SendMessages(HWND hwnd, UINT message, WPARAM wParam, const LPARAM* lParams, size_t count)
{
    auto record = Find(hwnd);
    if (!record || count == 0)
        return;
    if (record->threadId != GetCurrentThreadId()) {
        HandOver(record, hwnd, message, wParam, lParams, count);
        return;
    }
    // A handler may destroy the window: what follows is then not delivered, as separate sends
    // would not be.
    for (size_t i = 0; i < count && Find(hwnd); ++i)
        CallWindowProc(record->proc, hwnd, message, wParam, lParams[i]);
}

} // namespace taluvo::ui

namespace {

BOOL PostTo(const QueuePtr& queue, const MSG& msg)
{
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->posted.push_back(msg);
    }
    WakeThread(queue, false);
    return TRUE;
}

} // namespace

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hwnd)
        return PostThreadMessage(GetCurrentThreadId(), message, wParam, lParam);
    auto record = Find(hwnd);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MSG msg;
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = NowMs();
    return PostTo(QueueOf(record->threadId, true), msg);
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = NowMs();
    return PostTo(QueueOf(threadId, true), msg);
}

void PostQuitMessage(int exitCode)
{
    auto queue = CurrentQueue();
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->quit = true;
        queue->quitCode = exitCode;
    }
    WakeThread(queue, false);
}
