// Helpers of the checks on a real X server: screenshots of the root window, artefacts, waiting for
// a window to be on the screen, and a window of one colour to lay things over.
#pragma once

#include "tests/platform/ui/TrayTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/AtlWin.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QWindow>

#include <cstdio>

namespace taluvo::test::x11 {

using taluvo::test::tray::PumpUntil;
using taluvo::test::tray::RunXdotool;

inline QImage Screenshot()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

inline void SaveArtefact(const QImage& image, const char* name)
{
    const QString folder = QStringLiteral(TALUVO_X11_ARTEFACT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + QString::fromLatin1(name);
    image.save(path, "PNG");
    std::printf("screenshot: %s\n", qPrintable(path));
}

inline COLORREF ScreenColor(const QImage& shot, int x, int y)
{
    if (x < 0 || y < 0 || x >= shot.width() || y >= shot.height())
        return 0xFFFFFFFF;
    const QRgb p = shot.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

inline QWidget* Widget(HWND hwnd)
{
    return taluvo::ui::detail::WidgetOf(hwnd);
}

// Pumps until the X server shows the window where the program believes it is: mapped, with the
// window manager done placing it (xwininfo's place of the window equals the program's).
inline bool WaitOnScreen(HWND hwnd, int milliseconds = 5000)
{
    QString last;
    const auto placed = [&](int wait) {
        return PumpUntil(
            [hwnd, &last] {
                QWidget* widget = Widget(hwnd);
                if (!widget || !widget->window()->isVisible())
                    return false;
                QWidget* window = widget->window();
                QProcess xwininfo;
                xwininfo.start(QStringLiteral("xwininfo"), { QStringLiteral("-id"), QString::number(window->winId()) });
                if (!xwininfo.waitForFinished(5000))
                    return false;
                const QString info = QString::fromLatin1(xwininfo.readAllStandardOutput());
                const QPoint origin = window->mapToGlobal(QPoint(0, 0));
                last = QStringLiteral("program: %1,%2\n").arg(origin.x()).arg(origin.y()) + info;
                return info.contains(QLatin1String("IsViewable"))
                    && info.contains(QStringLiteral("Absolute upper-left X:  %1\n").arg(origin.x()))
                    && info.contains(QStringLiteral("Absolute upper-left Y:  %1\n").arg(origin.y()));
            },
            wait);
    };
    bool ok = placed(milliseconds / 2);
    if (!ok && last.contains(QLatin1String("IsUnMapped"))) {
        // A window mapped while the window manager or compositor was still starting up can stay
        // unmapped for good: map it again.
        if (QWidget* widget = Widget(hwnd)) {
            widget->window()->hide();
            widget->window()->show();
        }
        ok = placed(milliseconds);
    }
    if (!ok)
        std::printf("not on the screen where placed:\n%s\n", qPrintable(last));
    return ok;
}

// On time-out the last screenshot is kept as an artefact for the failure's reader.
inline bool WaitForScreen(const std::function<bool(const QImage&)>& seen, int milliseconds = 5000)
{
    QImage last;
    const bool ok = PumpUntil(
        [&] {
            last = Screenshot();
            return seen(last);
        },
        milliseconds);
    if (!ok)
        SaveArtefact(last, "timed-out.png");
    return ok;
}

// True once a window manager manages the screen.
inline bool WindowManagerRuns()
{
    return PumpUntil(
        [] {
            QProcess xprop;
            // The work area is the last thing openbox announces once it has taken over the screen.
            xprop.start(QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_WORKAREA") });
            return xprop.waitForFinished(5000) && xprop.readAllStandardOutput().contains("CARDINAL");
        },
        5000);
}

// A top-level window of one colour, painted in WM_PAINT.
class CColourWindow : public CWindowImpl<CColourWindow> {
public:
    explicit CColourWindow(COLORREF colour)
        : m_colour(colour)
    {
    }
    ~CColourWindow() override
    {
        if (IsWindow())
            DestroyWindow();
    }
    BEGIN_MSG_MAP(CColourWindow)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    END_MSG_MAP()
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&)
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        RECT client;
        GetClientRect(&client);
        HBRUSH brush = CreateSolidBrush(m_colour);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    HWND Open(int x, int y, int cx, int cy, DWORD style = WS_OVERLAPPEDWINDOW, DWORD exStyle = 0)
    {
        RECT rect { x, y, x + cx, y + cy };
        return Create(nullptr, &rect, QStringLiteral("colour"), style, exStyle);
    }
    COLORREF m_colour;
};

} // namespace taluvo::test::x11
