#include "platform/shell/ShutdownSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace taluvo::shell {
namespace {

int g_signalPipe[2] = { -1, -1 };
std::atomic<bool> g_requested { false };

// Only async-signal-safe work here: one byte into the pipe wakes the user-interface thread.
void OnSignal(int)
{
    g_requested.store(true);
    const char byte = 1;
    const int savedErrno = errno;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void DrainPipe()
{
    char bytes[16];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) { }
}

} // namespace

bool InstallShutdownSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
    return true;
}

void ListenForShutdownSignals(std::function<void()> onSignal)
{
    if (g_signalPipe[0] < 0)
        return;
    // Owned by the application object, so it goes with it; the notifier fires in nested loops too.
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [onSignal = std::move(onSignal)] {
        DrainPipe();
        onSignal();
    });
}

bool ShutdownRequested()
{
    return g_requested.load();
}

} // namespace taluvo::shell
