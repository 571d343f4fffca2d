// Screenshots of top-level windows on a real X server with a window manager: the window with the
// frame the window manager draws, taken once the window is shown, framed and painted.
#pragma once

#include "platform/ui/UserApi.h"
#include "platform/ui/detail/Core.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <set>

namespace taluvo::test {

inline void ProcessEventsUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A painted frame and window show far more than a few colours; an unpainted one shows one or two.
inline bool Painted(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    return colours.size() > 8;
}

// Waits until the shown window is exposed and framed, mapping it again when a window manager that
// was still starting left it unframed.
inline void WaitFramed(HWND hwnd)
{
    QWidget* window = taluvo::ui::detail::WidgetOf(hwnd);
    const auto ready = [&] {
        return window->windowHandle() && window->windowHandle()->isExposed()
            && window->frameGeometry().size() != window->geometry().size();
    };
    ProcessEventsUntil(ready, 2000);
    if (!ready()) {
        ShowWindow(hwnd, SW_HIDE);
        QCoreApplication::processEvents();
        ShowWindow(hwnd, SW_SHOW);
        ProcessEventsUntil(ready);
    }
}

// The share of pixels in which two pictures of one size differ.
inline double DifferingShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    long long differing = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column)
            differing += x.pixel(column, row) != y.pixel(column, row) ? 1 : 0;
    return double(differing) / (double(x.width()) * x.height());
}

// The framed window as the screen shows it, once painted: the window manager draws the frame and
// the window its controls some time after the map, and a window whose content changed (a wizard's
// next page) reaches the screen later still. Taken when the inside on the screen matches what the
// window's widgets draw (a caret or focus frame may differ).
inline QPixmap GrabFramed(HWND hwnd)
{
    WaitFramed(hwnd);
    QWidget* window = taluvo::ui::detail::WidgetOf(hwnd);
    QPixmap pixels;
    ProcessEventsUntil([&] {
        const QRect frame = window->frameGeometry();
        pixels = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        const QImage image = pixels.toImage();
        const QRect inside(window->geometry().topLeft() - frame.topLeft(), window->geometry().size());
        return Painted(image) && DifferingShare(image.copy(inside), window->grab().toImage()) < 0.01;
    });
    return pixels;
}

} // namespace taluvo::test
