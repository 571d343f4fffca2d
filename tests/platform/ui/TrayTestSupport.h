// Helpers of the tray checks on a real X server, shared by the layer's and the main window's
// tests: the tools they need, a probe program run under xvfb-run with trayer as the tray host,
// and, inside a probe, xdotool and pumping the user-interface thread.
#pragma once

#include "platform/ui/Tray.h"
#include "platform/ui/UserApi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace taluvo::test::tray {

// The programs a real tray check needs that are not installed.
inline QStringList MissingTools()
{
    QStringList missing;
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "trayer", "xdotool" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    return missing;
}

// The tray host's place and size on the virtual screen.
constexpr char kTrayerArguments[]
    = "--edge top --align right --widthtype pixel --width 120 --height 24 --SetDockType true";

struct ProbeRun {
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QString output;
};

// Runs the probe on a virtual X server of the given screen ("1024x768x24") beside trayer, or the
// tray host program given, and with a window manager (openbox) when asked.
inline ProbeRun RunProbeWithTrayHost(
    const QString& probe, const QString& screen, bool windowManager = false, const QString& trayHost = QString())
{
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // the X11 tray, not a desktop's
    // Qt's X11 platform keeps its D-Bus connection to the end of the process, which a leak check
    // of the probe would report, and reads X11 events on a thread of Qt's that a thread sanitizer
    // cannot follow in an uninstrumented Qt; the probe's own code is checked by the other tests.
    auto append = [&environment](const QString& name, const QString& option) {
        const QString present = environment.value(name);
        environment.insert(name, present.isEmpty() ? option : present + QLatin1Char(':') + option);
    };
    append(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    append(QStringLiteral("TSAN_OPTIONS"), QStringLiteral("report_bugs=0"));
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    // The probe learns the tray host's id, so it can end it and start another (a restarted tray).
    const QString manager
        = windowManager ? QStringLiteral("openbox --sm-disable >/dev/null 2>&1 & wm=$!; ") : QStringLiteral("wm=; ");
    const QString host = trayHost.isEmpty() ? QStringLiteral("trayer ") + QString::fromLatin1(kTrayerArguments)
                                            : QLatin1Char('\'') + trayHost + QLatin1Char('\'');
    const QString script = manager + host
        + QStringLiteral(" & host=$!; TALUVO_TRAY_HOST_PID=$host \"$0\"; code=$?; kill $host $wm 2>/dev/null; "
                         "wait $host 2>/dev/null; exit $code");
    run.start(QStringLiteral("xvfb-run"),
        { QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 ") + screen, QStringLiteral("/bin/sh"),
            QStringLiteral("-c"), script, probe });
    ProbeRun result;
    result.started = run.waitForStarted(10000);
    if (!result.started)
        return result;
    result.finished = run.waitForFinished(50000);
    if (!result.finished)
        run.kill();
    result.exitCode = run.exitCode();
    result.output = QString::fromLocal8Bit(run.readAll());
    return result;
}

// Starts a program found on the PATH with posix_spawn rather than QProcess, whose helper thread
// inside Qt a thread sanitizer cannot follow. Returns the child's id, or -1.
inline pid_t StartTool(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)

        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    return posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? child : -1;
}

inline pid_t StartXdotool(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "xdotool");
    return StartTool(std::move(arguments));
}

inline int RunXdotool(std::vector<std::string> arguments)
{
    const pid_t child = StartXdotool(std::move(arguments));
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Serves Qt's events and the thread's messages until done() holds; false after the time.
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&msg);
    }
    return true;
}

// Inside a probe: ends the tray host the probe was started beside, waits until the tray is gone,
// and starts a new tray host, whose id it returns (-1 on failure). The caller ends that one.
inline pid_t RestartTrayHost()
{
    const char* host = std::getenv("TALUVO_TRAY_HOST_PID");
    if (!host || ::kill(static_cast<pid_t>(std::atoi(host)), SIGTERM) != 0)
        return -1;
    if (!PumpUntil([] { return !taluvo::ui::IsTrayAvailable(); }, 10000))
        return -1;
    std::vector<std::string> arguments { "trayer" };
    std::string rest = kTrayerArguments;
    for (size_t start = 0, end; start < rest.size(); start = end + 1) {
        end = rest.find(' ', start);
        if (end == std::string::npos)
            end = rest.size();
        arguments.push_back(rest.substr(start, end - start));
    }
    return StartTool(std::move(arguments));
}

inline void StopTrayHost(pid_t host)
{
    if (host > 0 && ::kill(host, SIGTERM) == 0)
        waitpid(host, nullptr, 0);
}

} // namespace taluvo::test::tray
