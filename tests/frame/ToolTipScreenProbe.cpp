// Runs on a real X server with a tray host and a window manager, over a database the test
// prepared (two pages whose content changed): a check of each page pops the update popup beside
// the tray icon; the first hides after its time-out, a click on the second one's link opens the
// page's stored address and resets its New status; then the tree tooltip shows over a page item.
// Screenshots of both tips are kept. Exit code 0 on success; the steps are printed for the log.
#include "core/Globals.h"
#include "core/prefs/Preferences.h"
#include "frame/mainfrm.h"
#include "platform/shell/OnlineState.h"
#include "platform/shell/ShellHooks.h"
#include "platform/ui/Application.h"
#include "platform/ui/Tray.h"
#include "platform/ui/detail/Core.h"
#include "res/resource.h"
#include "tests/frame/ProbeWindow.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>

#include <net/if.h>

#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace taluvo::test::tray;

namespace {

QString XProp(HWND hwnd, const char* property)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(taluvo::ui::detail::WidgetOf(hwnd)->window()->winId()),
            QString::fromLatin1(property) });
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

RECT Rect(HWND hwnd)
{
    RECT rect {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

const char* SourceName(CTrayIconPosition::Source source)
{
    switch (source) {
    case CTrayIconPosition::Source::TrayIconRect:
        return "the tray's rectangle of the icon";
    case CTrayIconPosition::Source::ProbeSearch:
        return "the probe search";
    case CTrayIconPosition::Source::Cached:
        return "the probe search (kept)";
    case CTrayIconPosition::Source::TrayAreaEdge:
        return "the tray area's left edge";
    case CTrayIconPosition::Source::WorkAreaCorner:
        return "the work area's corner";
    default:
        return "nothing";
    }
}

void Print(const char* what, const RECT& r)
{
    std::printf("%s: %d,%d - %d,%d\n", what, int(r.left), int(r.top), int(r.right), int(r.bottom));
}

// A screen point over the first link of a shown tip, found through its renderer's link areas.
bool LinkPoint(CHtmlToolTip& tip, POINT* screen)
{
    RECT client {};
    tip.GetClientRect(&client);
    for (int y = client.top; y < client.bottom; y += 2)
        for (int x = client.left; x < client.right; x += 2)
            if (tip.GetRenderer().FindLinkAt(POINT { x, y }) >= 0) {
                *screen = POINT { x + 2, y + 2 };
                tip.ClientToScreen(screen);
                return true;
            }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    taluvo::ui::CUiApplication app(argc, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    taluvo::shell::SetInterfaceSource([] {
        return std::vector<taluvo::shell::NetworkInterface> { { QStringLiteral("eth0"),
            IFF_UP | IFF_RUNNING | IFF_BROADCAST, true } };
    });
    std::vector<QStringList> opened;
    taluvo::shell::SetRequestHook([&opened](const taluvo::shell::Request& request) {
        if (request.kind == taluvo::shell::RequestKind::RunProgram)
            opened.push_back(request.arguments);
        return true;
    });

    CMessageLoop loop;
    CMainFrame frame;
    if (const int failed = ShowProbeWindow(loop, frame))
        return failed;
    frame.SetWindowPos(nullptr, 120, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    g_prefs.GetParam(kWorkOffline)->SetBool(false);
    g_prefs.GetParam(kPopupAlertEnable)->SetBool(true);
    g_prefs.GetParam(kPopupAlertTimeout)->SetInt(3);
    g_prefs.GetParam(kAlertSoundEnable)->SetBool(false);
    g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
    g_prefs.GetParam(kLogEnable)->SetBool(false);
    g_prefs.GetParam(kUseEMailNotification)->SetBool(false);
    g_prefs.GetParam(kRunCmdEnable)->SetBool(false);
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kUserBrowserPath)->SetString(QStringLiteral("/usr/bin/browser"));
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(true);

    // The icon in the tray already, as while the window sits there: the tray has placed it when
    // the popup asks where it is.
    frame.m_trayIcon.ShowIcon();
    RECT icon {};
    if (!PumpUntil([&] { return taluvo::ui::GetTrayIconRect(frame, IDR_TRAY_POPUP, &icon); }, 20000)) {
        std::printf("the tray did not show the icon\n");
        return 5;
    }
    Print("tray icon", icon);
    RECT area {};
    if (taluvo::ui::GetTrayAreaRect(&area))
        Print("tray area", area);

    int failures = 0;
    auto check = [&failures](bool ok, const char* what) {
        std::printf("%s: %s\n", what, ok ? "yes" : "NO");
        failures += ok ? 0 : 1;
    };
    CHtmlToolTip& popup = frame.m_trayToolTip;

    // The steps run from a timer while the main message loop runs, so relayed clicks take the
    // road they take on a desktop.
    std::vector<std::function<bool()>> steps;
    QElapsedTimer since;
    QImage beforePopup;
    POINT link {};

    steps.push_back([&] {
        beforePopup = ProbeScreenshot();
        frame.m_mainTree.SelectItem(frame.FindPage(1, 1));
        frame.SendMessage(WM_COMMAND, ID_PAGE_CHECK_UPDATE);
        return true;
    });
    steps.push_back([&] { return popup.IsWindowVisible() != FALSE; });
    steps.push_back([&] {
        const RECT where = Rect(popup);
        Print("popup", where);
        std::printf("popup placed by: %s\n", SourceName(frame.m_trayIconPos.LastSource()));
        const int w = where.right - where.left;
        const int h = where.bottom - where.top;
        const RECT reach { icon.left - w, icon.top - h, icon.right + w, icon.bottom + h };
        check(where.left >= reach.left && where.right <= reach.right && where.top >= reach.top
                && where.bottom <= reach.bottom,
            "popup beside the tray icon");
        check(popup.m_strLastShownText.contains(QStringLiteral("msg=\"1,1,")), "popup lists the page's link");
        check(GetActiveWindow() == frame.m_hWnd, "popup left the focus with the main window");
        check(XProp(popup, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_ABOVE")), "popup stays on top");
        check(!XProp(popup, "_NET_FRAME_EXTENTS").contains(QStringLiteral("= 1")), "popup has no frame");
        return true;
    });
    // The screen shows the tip drawn by the renderer: pixels changed where it lies.
    steps.push_back([&] {
        const RECT where = Rect(popup);
        const QImage now = ProbeScreenshot();
        int changed = 0;
        for (int y = where.top + 20; y < where.bottom - 20; y += 3)
            for (int x = where.left + 20; x < where.right - 20; x += 3)
                changed += now.pixel(x, y) != beforePopup.pixel(x, y) ? 1 : 0;
        if (changed < 20)
            return false;
        SaveProbeScreenshot(now, "update-popup.png");
        return true;
    });
    steps.push_back([&] { return popup.IsWindowVisible() == FALSE; });
    // The probe search alone: the icon wears the black square, the tray area is read from the
    // screen, and the square's middle lies on the icon.
    steps.push_back([&] {
        CTrayIconPosition position;
        position.TrackIcon(frame, IDR_TRAY_POPUP);
        POINT found {};
        const int result = position.LocateIcon(&found, 3, 0);
        position.RestoreIconImage(frame.m_trayIcon.GetIcon());
        // Where the icon is now: a tray host can still move it after it first placed it.
        RECT now = icon;
        taluvo::ui::GetTrayIconRect(frame, IDR_TRAY_POPUP, &now);
        const bool onIcon
            = result == 1 && position.LastSource() == CTrayIconPosition::Source::ProbeSearch && PtInRect(&now, found);
        if (!onIcon && since.elapsed() < 10000)
            return false;
        std::printf(
            "probe search: %d at %d,%d by %s\n", result, int(found.x), int(found.y), SourceName(position.LastSource()));
        Print("tray icon now", now);
        check(onIcon, "the probe search found the icon");
        return true;
    });
    steps.push_back([&] {
        check(true, "popup hid after its time-out");
        frame.m_mainTree.SelectItem(frame.FindPage(1, 2));
        frame.SendMessage(WM_COMMAND, ID_PAGE_CHECK_UPDATE);
        return true;
    });
    steps.push_back([&] { return popup.IsWindowVisible() != FALSE && LinkPoint(popup, &link); });
    steps.push_back([&] {
        std::printf("link at %d,%d\n", int(link.x), int(link.y));
        RunXdotool({ "mousemove", std::to_string(link.x), std::to_string(link.y) });
        RunXdotool({ "click", "1" });
        return true;
    });
    steps.push_back([&] { return !opened.empty(); });
    steps.push_back([&] {
        check(opened.size() == 1 && opened[0].value(1) == QStringLiteral("http://browser.test/two"),
            "the link opened the stored address");
        check(TREE_GET_STATUS(frame.m_mainTree.GetItemData(frame.FindPage(1, 2))) == statusOrdinary,
            "the page is no longer New");
        check(popup.IsWindowVisible() == FALSE, "the click closed the popup");
        // The tree tooltip over the first page's label.
        RECT label {};
        frame.m_mainTree.GetItemRect(frame.FindPage(1, 1), &label, TRUE);
        POINT middle { (label.left + label.right) / 2, (label.top + label.bottom) / 2 };
        frame.m_mainTree.ClientToScreen(&middle);
        RunXdotool({ "mousemove", std::to_string(middle.x), std::to_string(middle.y) });
        return true;
    });
    steps.push_back([&] { return frame.m_treeToolTip.IsWindowVisible() != FALSE; });
    steps.push_back([&] {
        const RECT where = Rect(frame.m_treeToolTip);
        Print("tree tooltip", where);
        RECT label {};
        frame.m_mainTree.GetItemRect(frame.FindPage(1, 1), &label, TRUE);
        POINT corner { label.left + 1, label.top + 1 };
        frame.m_mainTree.ClientToScreen(&corner);
        check(where.left <= corner.x && corner.x <= where.right
                && (where.bottom - 6 == corner.y || where.top == corner.y),
            "tree tooltip points at the item's label");
        return true;
    });
    steps.push_back([&] {
        const QImage now = ProbeScreenshot();
        SaveProbeScreenshot(now, "tree-tooltip.png");
        frame.DestroyWindow();
        return true;
    });

    RunProbeSteps(loop, frame, steps, since, failures);
    _Module.RemoveMessageLoop();
    taluvo::shell::SetRequestHook({});
    return failures == 0 ? 0 : 1;
}
