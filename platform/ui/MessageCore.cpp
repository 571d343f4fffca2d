// The message core: window registry, per-thread queues, cross-thread sends, posted messages,
// timers and the loop stack of the user-interface thread.
//
// Qt owns the event dispatcher. The layer keeps its own queue of posted, sent and timer messages
// beside it and wakes the dispatcher with a Qt event whenever something arrives, so any loop that
// runs on the user-interface thread (ours or one of Qt's) drains the send queue. Posted messages
// are taken by the innermost loop of the layer; when a Qt loop of its own runs above it (a menu, a
// file dialog), the wake-up handler dispatches them itself, as a modal loop on Windows does.
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QObject>
#include <QScreen>
#include <QThread>
#include <QTimerEvent>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace taluvo::ui::detail {
void InstallInputFilter();
}

namespace {

using namespace taluvo::ui::detail;

DWORD NowMs()
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---------------------------------------------------------------------------------------------
// Window registry

class Registry {
public:
    static Registry& Instance()
    {
        static Registry* registry = new Registry; // outlives static destruction of windows' owners
        return *registry;
    }
    HWND Add(RecordPtr record)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Handles are never reused, so a handle kept past its window's end can never reach a newer one.
        m_next += 2;
        record->hwnd = reinterpret_cast<HWND>(m_next);
        m_windows[m_next] = record;
        m_order.push_back(m_next);
        return record->hwnd;
    }
    RecordPtr Find(HWND hwnd)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_windows.find(reinterpret_cast<uintptr_t>(hwnd));
        return it == m_windows.end() ? nullptr : it->second;
    }
    void Remove(HWND hwnd)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto key = reinterpret_cast<uintptr_t>(hwnd);
        m_windows.erase(key);
        m_order.erase(std::remove(m_order.begin(), m_order.end(), key), m_order.end());
    }
    std::vector<RecordPtr> TopLevel()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<RecordPtr> result;
        for (uintptr_t key : m_order)
            if (!(m_windows[key]->style & WS_CHILD))
                result.push_back(m_windows[key]);
        return result;
    }
    std::vector<RecordPtr> Children(HWND parent)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<RecordPtr> result;
        for (uintptr_t key : m_order) {
            const auto& record = m_windows[key];
            if (record->parent == parent)
                result.push_back(record);
        }
        return result;
    }

private:
    std::mutex m_lock;
    uintptr_t m_next = 0x10000;
    std::unordered_map<uintptr_t, RecordPtr> m_windows;
    std::vector<uintptr_t> m_order;
};

// ---------------------------------------------------------------------------------------------
// Thread queues

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
    std::atomic<Waker*> waker { nullptr }; // the Qt thread only; null once the application has gone
    std::atomic<bool> wakePosted { false };
    // The thread waits in WaitServingSends: a send wakes it through the wake event, and no Qt
    // event is needed (guarded by lock).
    bool servingWait = false;
};
using QueuePtr = std::shared_ptr<ThreadQueue>;

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

QueuePtr CurrentQueue()
{
    return Queues::Instance().Get(GetCurrentThreadId(), true);
}

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x5A1);

void WakeThread(const QueuePtr& queue, bool forWaits);

// Lives on the user-interface thread; its event is how other threads wake Qt's dispatcher.
class Waker : public QObject {
public:
    explicit Waker(QueuePtr queue)
        : m_queue(std::move(queue))
    {
    }
    void Post()
    {
        if (!m_queue->wakePosted.exchange(true))
            QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
    }

protected:
    void customEvent(QEvent* event) override;

private:
    QueuePtr m_queue;
};

void WakeThread(const QueuePtr& queue, bool forWaits)
{
    Waker* waker = queue->waker.load();
    if (waker)
        waker->Post();
    if (forWaits || !waker)
        SetEvent(queue->wake);
}

// Wakes the thread for sends just queued, through the one way it can be waiting now:
// servingWait is what the queue said while the sends went in.
void WakeForSends(const QueuePtr& queue, bool servingWait)
{
    Waker* waker = queue->waker.load();
    if (waker && !servingWait)
        waker->Post();
    else
        SetEvent(queue->wake);
}

// ---------------------------------------------------------------------------------------------
// Loop stack of the user-interface thread

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

// ---------------------------------------------------------------------------------------------
// Timers

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

// ---------------------------------------------------------------------------------------------
// Window classes

class Classes {
public:
    static Classes& Instance()
    {
        static Classes* classes = new Classes;
        return *classes;
    }
    void Add(ClassInfo info)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_classes[info.name.toCaseFolded()] = std::move(info);
    }
    bool Find(const QString& name, ClassInfo* info)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_classes.find(name.toCaseFolded());
        if (it == m_classes.end())
            return false;
        *info = it->second;
        return true;
    }

private:
    std::mutex m_lock;
    std::map<QString, ClassInfo> m_classes;
};

// Widget of a window of a registered class or a window implementation: a plain surface.
class WindowWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    // The window procedure paints in WM_PAINT (the paint filter asks it); nothing of its own.
    void paintEvent(QPaintEvent*) override { }
};

thread_local std::vector<QPointer<QWidget>> t_graveyard;
std::atomic<DWORD> g_uiThreadId { 0 };

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

} // namespace

// ---------------------------------------------------------------------------------------------

namespace taluvo::ui::detail {

RecordPtr Find(HWND hwnd)
{
    return hwnd ? Registry::Instance().Find(hwnd) : nullptr;
}

RecordPtr FromWidget(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const QVariant value = widget->property("taluvo_hwnd");
        if (value.isValid())
            if (auto record = Find(reinterpret_cast<HWND>(value.value<quintptr>())))
                return record;
    }
    return nullptr;
}

QWidget* WidgetOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? record->widget.data() : nullptr;
}

QString TextParam(LPARAM lParam)
{
    return lParam ? QString::fromUtf16(reinterpret_cast<const char16_t*>(lParam)) : QString();
}

LRESULT CopyText(const QString& text, WPARAM size, LPARAM buffer)
{
    if (!buffer || size == 0)
        return 0;
    const qsizetype count = std::min<qsizetype>(text.size(), static_cast<qsizetype>(size) - 1);
    auto* out = reinterpret_cast<char16_t*>(buffer);
    std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), count, out);
    out[count] = u'\0';
    return count;
}

std::vector<RecordPtr> Children(HWND parent)
{
    return Registry::Instance().Children(parent);
}
std::vector<RecordPtr> TopLevelWindows()
{
    return Registry::Instance().TopLevel();
}
LoopObserver* ActiveMainObserverForInput()
{
    return ActiveMainObserver();
}

void RegisterBuiltinClass(ClassInfo info)
{
    Classes::Instance().Add(std::move(info));
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
                TimerHost::Instance().Dequeued(msg->hwnd, msg->wParam);
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
    if (queue->waker.load()) {
        QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        ServeSends();
        return;
    }
    if (wait)
        WaitForSingleObject(queue->wake, INFINITE);
    ServeSends();
}

std::atomic<int> g_endAllRequests { 0 };

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

void EnsureUiSetup()
{
    static bool done = false;
    if (done || !QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    done = true;
    g_uiThreadId = GetCurrentThreadId();
    auto queue = CurrentQueue();
    // The layer's Qt objects belong to the application object and go with it.
    auto* waker = new Waker(queue);
    waker->setParent(QCoreApplication::instance());
    queue->waker = waker;
    TimerHost::Instance().setParent(QCoreApplication::instance());
    RegisterControlClasses();
    RegisterDialogClass();
    RegisterTreeViewClass();
    RegisterBarClasses();
    RegisterDialogControlClasses();
    RegisterRichEditClass();
    RegisterListBoxClass();
    InstallInputFilter();
    InstallPaintFilter();
    InstallCursorFilter();
    InstallActivationWatch();
    InstallSettingChangeWatch();
    // Every wait of the foundation on another thread (joining a worker) serves sends from now on.
    taluvo::SetServingWaitHook(static_cast<DWORD (*)(DWORD, const HANDLE*, DWORD)>(&taluvo::ui::WaitServingSends));
    // When the application object goes, nobody will serve sends any more: release every sender.
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [queue]() {
        std::deque<SendPtr> sends;
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            queue->closed = true;
            queue->waker = nullptr;
            sends.swap(queue->sends);
        }
        for (auto& item : sends)
            item->Finish(0);
    });
}

HWND CreateWindowObject(const CreateParams& params)
{
    EnsureUiSetup();
    if (!taluvo::ui::IsUiThread()) {
        SetLastError(ERROR_WRONG_THREAD);
        return nullptr;
    }
    ClassInfo info;
    if (!Classes::Instance().Find(params.className, &info)) {
        SetLastError(1407); // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    // The desktop as parent makes a top-level window, as on Windows.
    const HWND parentHandle = params.parent == GetDesktopWindow() ? nullptr : params.parent;
    RecordPtr parent = parentHandle ? Find(parentHandle) : nullptr;
    if (parentHandle && !parent) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto record = std::make_shared<WindowRecord>();
    record->threadId = GetCurrentThreadId();
    record->className = info.name;
    record->text = params.text;
    record->style = params.style;
    record->exStyle = params.exStyle;
    record->parent = parentHandle;
    record->id = (params.style & WS_CHILD) ? params.id : 0;
    record->instance = params.instance;
    record->proc = params.procOverride ? params.procOverride : info.proc;
    record->object = params.object;
    record->classCursor = info.cursor;
    if (params.prepare)
        params.prepare(*record);
    const HWND hwnd = Registry::Instance().Add(record);

    QWidget* parentWidget = parent ? parent->widget.data() : nullptr;
    QWidget* widget = info.makeWidget ? info.makeWidget(*record, parentWidget) : nullptr;
    if (!widget) {
        widget = new WindowWidget((params.style & WS_CHILD) ? parentWidget : nullptr);
        if (!(params.style & WS_CHILD))
            ApplyTopLevelStyle(*record, widget, parentWidget);
    }
    widget->setProperty("taluvo_hwnd", QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(hwnd)));
    record->widget = widget;
    if (!(params.style & WS_CHILD) && !params.text.isEmpty())
        widget->setWindowTitle(params.text);
    if (params.exStyle & WS_EX_TOPMOST)
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (params.style & WS_DISABLED)
        widget->setEnabled(false);
    const bool defaultPos = params.x == CW_USEDEFAULT;
    const bool defaultSize = params.width == CW_USEDEFAULT;
    if (!defaultSize)
        widget->resize(std::max(0, params.width), std::max(0, params.height));
    if (!defaultPos)
        widget->move(params.x, params.y);

    CREATESTRUCT cs;
    cs.lpCreateParams = params.createParam;
    cs.hInstance = params.instance;
    cs.hMenu = reinterpret_cast<HMENU>(params.id);
    cs.hwndParent = params.parent;
    cs.x = params.x;
    cs.y = params.y;
    cs.cx = params.width;
    cs.cy = params.height;
    cs.style = static_cast<LONG>(params.style);
    cs.lpszName = reinterpret_cast<LPCWSTR>(params.text.utf16());
    const QString className = info.name;
    cs.lpszClass = reinterpret_cast<LPCWSTR>(className.utf16());
    cs.dwExStyle = params.exStyle;
    if (!SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))
        || SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(1400);
        return nullptr;
    }
    if (!IsWindow(hwnd))
        return nullptr;
    if (record->style & WS_VISIBLE)
        widget->show();
    else if (record->style & WS_CHILD)
        widget->hide(); // explicitly: Qt would show it with its parent, behind IsWindowVisible's back
    return hwnd;
}

} // namespace taluvo::ui::detail

namespace {

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

} // namespace

// ---------------------------------------------------------------------------------------------
// Public functions

namespace taluvo::ui {

bool IsUiThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool IsHeadless()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

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

void EndAllModalLoops()
{
    // May be called from any thread (a signal watcher): wake the thread that runs the loops.
    detail::g_endAllRequests.fetch_add(1);
    if (const DWORD uiThread = g_uiThreadId.load())
        if (auto queue = Queues::Instance().Get(uiThread, false))
            WakeThread(queue, true);
}

} // namespace taluvo::ui

WORD RegisterClass(const WNDCLASS* wndClass)
{
    if (!wndClass || !wndClass->lpszClassName || !wndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    static std::atomic<WORD> atom { 0xC000 };
    ClassInfo info;
    info.name = QString::fromUtf16(wndClass->lpszClassName);
    info.proc = wndClass->lpfnWndProc;
    info.cursor = wndClass->hCursor;
    RegisterBuiltinClass(std::move(info));
    return atom.fetch_add(1);
}

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param)
{
    CreateParams params;
    params.exStyle = exStyle;
    params.className = className ? QString::fromUtf16(className) : QString();
    params.text = windowName ? QString::fromUtf16(windowName) : QString();
    params.style = style;
    params.x = x;
    params.y = y;
    params.width = width;
    params.height = height;
    params.parent = parent;
    params.id = reinterpret_cast<UINT_PTR>(menuOrId);
    params.instance = instance;
    params.createParam = param;
    return CreateWindowObject(params);
}

BOOL IsWindow(HWND hwnd)
{
    return Find(hwnd) ? TRUE : FALSE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId)
{
    auto record = Find(hwnd);
    if (processId)
        *processId = record ? static_cast<DWORD>(getpid()) : 0;
    return record ? record->threadId : 0;
}

BOOL DestroyWindow(HWND hwnd)
{
    auto record = Find(hwnd);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (record->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_WRONG_THREAD);
        return FALSE;
    }
    if (record->destroying)
        return TRUE;
    record->destroying = true;
    if (record->widget && !(record->style & WS_CHILD))
        record->widget->hide();
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    // Children and owned popups go before their parent is gone, as on Windows.
    for (auto& child : Registry::Instance().Children(hwnd))
        DestroyWindow(child->hwnd);
    if (taluvo::ui::IsUiThread())
        TimerHost::Instance().KillAll(hwnd);
    SendMessage(hwnd, WM_NCDESTROY, 0, 0);
    Registry::Instance().Remove(hwnd);

    // Nobody may wait for this window any longer: pending sends end with 0, posts are dropped.
    auto queue = Queues::Instance().Get(record->threadId, false);
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
    if (record->widget) {
        QWidget* widget = record->widget.data();
        record->widget.clear();
        widget->disconnect();
        BuryWidget(widget);
    }
    return TRUE;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

namespace {

// Hands messages for a window of another thread over to that thread in one go and waits until the
// last has been handled (or dropped with the window); returns the last one's result.
LRESULT HandOver(const RecordPtr& record, HWND hwnd, UINT message, WPARAM wParam, const LPARAM* lParams, size_t count)
{
    auto queue = Queues::Instance().Get(record->threadId, true);
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
    return PostTo(Queues::Instance().Get(record->threadId, true), msg);
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = NowMs();
    return PostTo(Queues::Instance().Get(threadId, true), msg);
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
