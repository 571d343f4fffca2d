// Runs on a real X server with a tray host: the main window goes into the tray, a left click on
// its icon brings it back, the File menu's "Minimize to tray" hides it again while an alert popup
// holds the icon, and a command chosen with the keyboard in the icon's real menu (the last item,
// Exit) closes it. Exit code 0 on success; the steps are printed for the test's log.
#include "core/Globals.h"
#include "frame/mainfrm.h"
#include "platform/ui/Application.h"
#include "platform/ui/Tray.h"
#include "res/resource.h"
#include "tests/frame/ProbeWindow.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>

using namespace taluvo::test::tray;
namespace {

// Sends the window into the tray with the message given and returns the icon's centre once the tray
// shows it.
bool IntoTray(CMainFrame& frame, int& x, int& y, UINT message, WPARAM wParam)
{
    frame.SendMessage(message, wParam);
    RECT where {};
    if (!PumpUntil(
            [&] {
                return taluvo::ui::IsTrayIconShown(frame, IDR_TRAY_POPUP)
                    && taluvo::ui::GetTrayIconRect(frame, IDR_TRAY_POPUP, &where);
            },
            20000))
        return false;
    x = (where.left + where.right) / 2;
    y = (where.top + where.bottom) / 2;
    std::printf("icon at %d,%d; window visible: %s\n", x, y, frame.IsWindowVisible() ? "yes" : "no");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    taluvo::ui::CUiApplication app(argc, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    CMessageLoop loop;
    CMainFrame frame;
    if (const int failed = ShowProbeWindow(loop, frame))
        return failed;
    std::printf("tray available: %s\n", taluvo::ui::IsTrayAvailable() ? "yes" : "no");

    int x = 0;
    int y = 0;
    if (!IntoTray(frame, x, y, WM_SYSCOMMAND, SC_MINIMIZE)) {
        std::printf("the tray did not show the icon\n");
        return 5;
    }
    if (RunXdotool({ "mousemove", std::to_string(x), std::to_string(y), "click", "1" }) != 0)
        return 6;
    if (!PumpUntil([&] { return frame.m_trayIcon.m_bHidden && frame.IsWindowVisible(); }, 10000)) {
        std::printf("a left click did not bring the window back\n");
        return 7;
    }
    std::printf("left click restored the window\n");

    // This time the icon is up for an alert popup already; the File menu's command still hides
    // the window, and the icon then stays when the popup ends.
    frame.m_bTrayShownForPopup = TRUE;
    frame.m_trayIcon.ShowIcon();
    if (!IntoTray(frame, x, y, WM_COMMAND, ID_FILE_MIN_TO_TRAY)) {
        std::printf("the tray did not show the icon again\n");
        return 8;
    }
    frame.SendMessage(WM_TIMER, g_iPopupTimerId);
    if (frame.IsWindowVisible() || frame.m_bTrayShownForPopup || !frame.m_trayIcon.IsVisible()) {
        std::printf("minimise to tray did not take the popup's icon\n");
        return 10;
    }
    std::printf("minimise to tray hid the window while a popup held the icon\n");
    // The real menu: once it is on the screen, the keyboard takes its last item, Exit. A key that
    // comes before the menu has taken the keyboard is lost, so the menu's own state says which key
    // is next: Up while nothing is chosen, Return once the last item is.
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(0);
    QTimer watcher;
    std::vector<pid_t> keys;
    int ticksOpen = 0;
    QObject::connect(&watcher, &QTimer::timeout, [&keys, &ticksOpen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->windowHandle() || !menu->windowHandle()->isExposed() || menu->actions().isEmpty())
            return;
        if (ticksOpen++ % 15 != 0) // at once, then every 300 ms
            return;
        const bool lastChosen = menu->activeAction() == menu->actions().constLast();
        keys.push_back(StartXdotool({ "key", lastChosen ? "Return" : "Up" }));
    });
    watcher.start(20);
    if (RunXdotool({ "mousemove", std::to_string(x), std::to_string(y), "click", "3" }) != 0)
        return 6;
    const bool closed = PumpUntil([&] { return !frame.IsWindow(); }, 10000);
    watcher.stop();
    for (pid_t pid : keys)
        if (pid > 0)
            waitpid(pid, nullptr, 0);
    if (!closed) {
        std::printf("the menu's command did not reach the window\n");
        return 9;
    }
    std::printf("menu command closed the window\n");
    _Module.RemoveMessageLoop();
    return 0;
}
