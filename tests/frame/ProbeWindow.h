// The main window of a probe on a real X server, made over the database of the program folder.
#pragma once

#include "core/Globals.h"
#include "frame/mainfrm.h"
#include "res/resource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

// The whole screen as it is now.
inline QImage ProbeScreenshot()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

// Keeps a picture in the folder TALUVO_ARTEFACT_DIR names, when it names one, and prints where.
inline void SaveProbeScreenshot(const QImage& image, const char* name)
{
    const QString folder = QString::fromLocal8Bit(qgetenv("TALUVO_ARTEFACT_DIR"));
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + QString::fromLatin1(name);
    image.save(path, "PNG");
    std::printf("screenshot: %s\n", qPrintable(path));
}

// Registers the loop, creates the window at its usual size and shows it: 0, or the probe's exit
// code 4 when the window was not created.
inline int ShowProbeWindow(CMessageLoop& loop, CMainFrame& frame)
{
    taluvo::res::RegisterResources();
    _Module.AddMessageLoop(&loop);
    RECT rect { 0, 0, 640, 450 };
    g_hMainWnd = frame.CreateEx(GetDesktopWindow(), &rect);
    if (!g_hMainWnd) {
        std::printf("main window not created\n");
        return 4;
    }
    frame.ShowWindow(SW_SHOW);
    return 0;
}

// Runs the steps in turn from a timer while the main message loop runs, so clicks and relayed
// messages take the road they take on a desktop. A step that returns false is asked again every
// 50 ms; one still false after 15 s is reported, adds 100 to failures and ends the run by
// destroying the window. since is restarted as each step begins, so a step can read how long it
// has been tried.
inline void RunProbeSteps(CMessageLoop& loop, CMainFrame& frame, const std::vector<std::function<bool()>>& steps,
    QElapsedTimer& since, int& failures)
{
    size_t step = 0;
    QTimer driver;
    bool busy = false;
    since.start();
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (busy || step >= steps.size())
            return;
        busy = true;
        if (steps[step]()) {
            ++step;
            since.restart();
        } else if (since.elapsed() > 15000) {
            std::printf("step %zu did not happen\n", step);
            failures += 100;
            step = steps.size();
            frame.DestroyWindow();
        }
        busy = false;
    });
    driver.start(50);
    loop.Run();
}
