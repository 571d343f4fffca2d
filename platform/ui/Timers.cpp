// Timers: SetTimer and KillTimer on the user-interface thread. Each timer is a Qt timer of one
// object; when it fires, a WM_TIMER goes into the thread's queue like a posted message, at most
// one per timer at a time.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <QTimerEvent>

#include <algorithm>
#include <vector>

namespace {

using namespace taluvo::ui::detail;

struct TimerEntry {
    HWND hwnd;
    UINT_PTR id;
    TIMERPROC proc;
    int qtId;
    bool queued;
};

class TimerHost : public QObject {
public:
    static TimerHost& Instance()
    {
        static TimerHost* host = new TimerHost;
        return *host;
    }
    UINT_PTR Set(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc)
    {
        if (!hwnd)
            id = m_nextThreadTimer++;
        Kill(hwnd, id);
        const int qtId = startTimer(std::max<UINT>(ms, 10), Qt::PreciseTimer);
        if (qtId == 0)
            return 0;
        m_timers.push_back({ hwnd, id, proc, qtId, false });
        return id;
    }
    BOOL Kill(HWND hwnd, UINT_PTR id)
    {
        auto it = std::find_if(
            m_timers.begin(), m_timers.end(), [&](const TimerEntry& t) { return t.hwnd == hwnd && t.id == id; });
        if (it == m_timers.end())
            return FALSE;
        killTimer(it->qtId);
        m_timers.erase(it);
        // A WM_TIMER already in the queue goes with the timer.
        auto queue = CurrentQueue();
        std::lock_guard<std::mutex> guard(queue->lock);
        auto& posted = queue->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                         [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id; }),
            posted.end());
        return TRUE;
    }
    void KillAll(HWND hwnd)
    {
        std::vector<UINT_PTR> ids;
        for (const auto& t : m_timers)
            if (t.hwnd == hwnd)
                ids.push_back(t.id);
        for (UINT_PTR id : ids)
            Kill(hwnd, id);
    }
    void Dequeued(HWND hwnd, UINT_PTR id)
    {
        for (auto& t : m_timers)
            if (t.hwnd == hwnd && t.id == id)
                t.queued = false;
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        for (auto& t : m_timers) {
            if (t.qtId != event->timerId())
                continue;
            // Like Windows, at most one WM_TIMER per timer waits in the queue.
            if (t.queued)
                return;
            t.queued = true;
            MSG msg;
            msg.hwnd = t.hwnd;
            msg.message = WM_TIMER;
            msg.wParam = t.id;
            msg.lParam = reinterpret_cast<LPARAM>(t.proc);
            msg.time = NowMs();
            auto queue = CurrentQueue();
            {
                std::lock_guard<std::mutex> guard(queue->lock);
                queue->posted.push_back(msg);
            }
            WakeThread(queue, false);
            return;
        }
    }

private:
    std::vector<TimerEntry> m_timers;
    UINT_PTR m_nextThreadTimer = 0x7F00;
};

} // namespace

namespace taluvo::ui::detail {

void AdoptTimers(QObject* application)
{
    TimerHost::Instance().setParent(application);
}

void TimerDequeued(HWND hwnd, UINT_PTR id)
{
    TimerHost::Instance().Dequeued(hwnd, id);
}

void KillWindowTimers(HWND hwnd)
{
    TimerHost::Instance().KillAll(hwnd);
}

} // namespace taluvo::ui::detail

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    EnsureUiSetup();
    if (!taluvo::ui::IsUiThread()) {
        SetLastError(ERROR_WRONG_THREAD);
        return 0;
    }
    if (hwnd) {
        auto record = Find(hwnd);
        if (!record) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (id == 0)
            id = 1; // a window timer always has an id; Windows returns non-zero for success
    }
    return TimerHost::Instance().Set(hwnd, id, elapseMs, proc);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    if (!taluvo::ui::IsUiThread()) {
        SetLastError(ERROR_WRONG_THREAD);
        return FALSE;
    }
    return TimerHost::Instance().Kill(hwnd, id);
}
