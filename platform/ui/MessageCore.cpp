// The message core: window registry, per-thread queues, cross-thread sends, posted messages,
// timers and the loop stack of the user-interface thread (detail/MessageCore.h says which file
// holds which). This file sets the core up on the user-interface thread and releases every
// sender when the application goes.
//
// Qt owns the event dispatcher. The layer keeps its own queue of posted, sent and timer messages
// beside it and wakes the dispatcher with a Qt event whenever something arrives, so any loop that
// runs on the user-interface thread (ours or one of Qt's) drains the send queue. Posted messages
// are taken by the innermost loop of the layer; when a Qt loop of its own runs above it (a menu, a
// file dialog), the wake-up handler dispatches them itself, as a modal loop on Windows does.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>

namespace {

using namespace taluvo::ui::detail;

std::atomic<DWORD> g_uiThreadId { 0 };

} // namespace

namespace taluvo::ui::detail {

DWORD NowMs()
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD UiThreadId()
{
    return g_uiThreadId.load();
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
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->waker = waker;
    }
    AdoptTimers(QCoreApplication::instance());
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

} // namespace taluvo::ui::detail

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

} // namespace taluvo::ui
