// Runs on a real X server beside a tray host that first places an icon some way into its bar and
// moves it to the bar's right end on cue (SIGUSR1), with a window manager, over a database the test
// prepared: two pages whose content changed, the second one's address 1,928 characters long. With
// the main window shown and its tray icon hidden, a check of the first page adds the icon and pops
// the update popup: it points at the icon where the tray put it, and at the icon's new place once
// the tray has moved it. A check of the second page adds a row whose address is shortened on the
// screen, and the popup stays on the screen; the row's key keeps the whole address, so a second
// alert of that page adds nothing. Screenshots of each state are kept. Exit code 0 on success.
#include "core/Globals.h"
#include "core/prefs/Preferences.h"
#include "engine/Alerts.h"
#include "frame/mainfrm.h"
#include "platform/shell/OnlineState.h"
#include "platform/ui/Application.h"
#include "platform/ui/Tray.h"
#include "res/resource.h"
#include "tests/frame/ProbeWindow.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <net/if.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace taluvo::test::tray;

namespace {

void Print(const char* what, const RECT& r)
{
    std::printf("%s: %d,%d - %d,%d\n", what, int(r.left), int(r.top), int(r.right), int(r.bottom));
}

bool Inside(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

} // namespace

int main(int argc, char** argv)
{
    taluvo::ui::CUiApplication app(argc, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    const char* host = std::getenv("TALUVO_TRAY_HOST_PID");
    if (!host) {
        std::printf("no tray host\n");
        return 3;
    }
    taluvo::shell::SetInterfaceSource([] {
        return std::vector<taluvo::shell::NetworkInterface> { { QStringLiteral("eth0"),
            IFF_UP | IFF_RUNNING | IFF_BROADCAST, true } };
    });
    if (!PumpUntil([] { return taluvo::ui::IsTrayAvailable(); }, 10000)) {
        std::printf("no tray\n");
        return 5;
    }

    CMessageLoop loop;
    CMainFrame frame;
    if (const int failed = ShowProbeWindow(loop, frame))
        return failed;
    frame.SetWindowPos(nullptr, 120, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    g_prefs.GetParam(kWorkOffline)->SetBool(false);
    g_prefs.GetParam(kPopupAlertEnable)->SetBool(true);
    g_prefs.GetParam(kPopupAlertTimeout)->SetInt(120); // the popup stays through the steps
    g_prefs.GetParam(kPopupAlertItems)->SetInt(5);
    g_prefs.GetParam(kAlertSoundEnable)->SetBool(false);
    g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
    g_prefs.GetParam(kLogEnable)->SetBool(false);
    g_prefs.GetParam(kUseEMailNotification)->SetBool(false);
    g_prefs.GetParam(kRunCmdEnable)->SetBool(false);

    int failures = 0;
    auto check = [&failures](bool ok, const char* what) {
        std::printf("%s: %s\n", what, ok ? "yes" : "NO");
        failures += ok ? 0 : 1;
    };
    CHtmlToolTip& popup = frame.m_trayToolTip;
    RECT icon {};
    RECT docked {};
    QImage before;
    const auto iconRect = [&] { return taluvo::ui::GetTrayIconRect(frame, IDR_TRAY_POPUP, &icon) != FALSE; };
    // Pixels of the popup's body just below its anchor's tip, where the screen showed something
    // else before: the popup is drawn where it points.
    const auto drawnBelowPoint = [&](const QImage& now) {
        const POINT p = popup.m_ptLastShown;
        int changed = 0;
        for (int dx = -2; dx <= 2; ++dx)
            changed += now.pixel(p.x + dx, p.y + 22) != before.pixel(p.x + dx, p.y + 22) ? 1 : 0;
        return changed >= 4;
    };
    const auto popupRect = [&] {
        RECT r {};
        GetWindowRect(popup, &r);
        return r;
    };

    std::vector<std::function<bool()>> steps;
    QElapsedTimer since;
    steps.push_back([&] {
        check(!frame.m_trayIcon.IsVisible(), "the tray icon hidden while the window is shown");
        before = ProbeScreenshot();
        frame.m_mainTree.SelectItem(frame.FindPage(1, 1));
        frame.SendMessage(WM_COMMAND, ID_PAGE_CHECK_UPDATE);
        return true;
    });
    // The tray took the icon in, and the popup points at it there.
    steps.push_back([&] { return popup.IsWindowVisible() && iconRect() && Inside(icon, popup.m_ptLastShown); });
    steps.push_back([&] {
        docked = icon;
        Print("icon docked", icon);
        std::printf("popup points at %d,%d\n", int(popup.m_ptLastShown.x), int(popup.m_ptLastShown.y));
        Print("popup", popupRect());
        const QImage now = ProbeScreenshot();
        if (!drawnBelowPoint(now) && since.elapsed() < 5000)
            return false;
        check(drawnBelowPoint(now), "the popup drawn at the icon where the tray docked it");
        SaveProbeScreenshot(now, "tray-popup-docked.png");
        // The tray moves the icon while the popup shows.
        ::kill(static_cast<pid_t>(std::atoi(host)), SIGUSR1);
        return true;
    });
    steps.push_back([&] { return iconRect() && icon.left != docked.left; });
    steps.push_back([&] {
        Print("icon moved", icon);
        return Inside(icon, popup.m_ptLastShown);
    });
    steps.push_back([&] {
        std::printf("popup points at %d,%d\n", int(popup.m_ptLastShown.x), int(popup.m_ptLastShown.y));
        const RECT where = popupRect();
        Print("popup", where);
        const QImage now = ProbeScreenshot();
        if (!drawnBelowPoint(now) && since.elapsed() < 5000)
            return false;
        check(drawnBelowPoint(now), "the popup followed the icon the tray moved");
        check(where.left <= popup.m_ptLastShown.x && popup.m_ptLastShown.x < where.right
                && where.top == popup.m_ptLastShown.y,
            "the popup's anchor on the icon, the popup below it");
        SaveProbeScreenshot(now, "tray-popup-moved.png");
        frame.m_mainTree.SelectItem(frame.FindPage(1, 2));
        frame.SendMessage(WM_COMMAND, ID_PAGE_CHECK_UPDATE);
        return true;
    });
    // The second page's row, its address too long for the screen.
    steps.push_back([&] { return CountPopupRows(frame.m_strPopupLines) == 2 && popup.IsWindowVisible(); });
    steps.push_back([&] {
        const RECT where = popupRect();
        Print("popup with the long address", where);
        const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        std::printf("virtual screen: %dx%d\n", width, height);
        // The tip's body: the window less its drop shadow, which placement leaves out, as the
        // shadow is see-through.
        check(where.left >= 0 && where.right - 6 <= width && where.top >= 0 && where.bottom - 6 <= height,
            "the popup within the virtual screen");
        const QString address = QString::fromLocal8Bit(qgetenv("TALUVO_LONG_ADDRESS"));
        std::printf("address of %d characters\n", int(address.size()));
        check(!popup.m_strLastShownText.contains(QStringLiteral(">") + address + QStringLiteral("</a>"))
                && popup.m_strLastShownText.contains(QChar(0x2026)),
            "the long address shortened on the screen");
        check(frame.m_strPopupLines.contains(QStringLiteral(">") + address + QStringLiteral("</a>")),
            "the row keeps the whole address");
        check(popup.m_strLastShownText.contains(QStringLiteral("msg=\"1,2,") + address + QStringLiteral("\"")),
            "its link still opens the whole address");
        check(popup.m_strLastShownText.contains(QStringLiteral("msg=\"1,1,http://browser.test/one\"")),
            "the first row stays");
        check(Inside(icon, popup.m_ptLastShown), "the popup still points at the icon");
        SaveProbeScreenshot(ProbeScreenshot(), "update-popup-long-address.png");
        // The same page's alert again: its row is there already, so the popup stays as it is.
        frame.ShowUpdatePopup(1, 2, address, address);
        check(CountPopupRows(frame.m_strPopupLines) == 2, "a second alert of the long address adds no row");
        frame.DestroyWindow();
        return true;
    });

    RunProbeSteps(loop, frame, steps, since, failures);
    _Module.RemoveMessageLoop();
    return failures == 0 ? 0 : 1;
}
