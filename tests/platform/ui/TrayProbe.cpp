// Runs on a real X server with a tray host: puts the tray icon up, waits until the tray shows it,
// right-clicks it with xdotool and checks that the tray menu's command reaches the owner window.
// Exit code 0 on success; the steps are printed for the test's log.
#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Tray.h"
#include "res/resource.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

#include <sys/wait.h>

using namespace taluvo::test::tray;
namespace {

constexpr UINT WM_TRAY_ICON_NOTIFY = WM_APP + 0x100;

class COwner : public CWindowImpl<COwner> {
public:
    UINT lastMouse = 0;
    UINT command = 0;
    int commands = 0;
    bool realMenu = false; // the menu on the screen, worked with keys, instead of the hook
    int taskbarCreated = 0;

    BEGIN_MSG_MAP(COwner)
    MESSAGE_HANDLER(WM_TRAY_ICON_NOTIFY, OnTray)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(WM_TASKBARCREATED, OnTaskbarCreated)
    END_MSG_MAP()

    LRESULT OnTaskbarCreated(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++taskbarCreated;
        return 0;
    }

    LRESULT OnTray(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        std::printf(
            "callback: icon %u, mouse message 0x%x\n", static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        lastMouse = static_cast<UINT>(lParam);
        if (wParam == IDR_TRAY_POPUP && lParam == WM_RBUTTONUP) {
            CMenu menu;
            menu.LoadMenu(IDR_TRAY_POPUP);
            CMenuHandle popup = menu.GetSubMenu(0);
            POINT at;
            GetCursorPos(&at);
            if (realMenu) {
                popup.TrackPopupMenu(TPM_RIGHTBUTTON, at.x, at.y, m_hWnd);
                return 0;
            }
            // Nobody sits at the virtual screen to pick an item: the hook picks "Check all".
            taluvo::ui::test::ScopedPopupMenuHook pick([](HMENU, HWND, POINT) -> UINT { return ID_TOOLS_CHECK_ALL; });
            popup.TrackPopupMenu(TPM_RIGHTBUTTON, at.x, at.y, m_hWnd);
        }
        return 0;
    }
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        command = LOWORD(wParam);
        ++commands;
        std::printf("command %u reached the owner\n", command);
        return 0;
    }
};

} // namespace

int main(int argc, char** argv)
{
    taluvo::ui::CUiApplication app(argc, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    taluvo::res::RegisterResources();
    COwner owner;
    RECT rect { 0, 0, 200, 100 };
    if (!owner.Create(nullptr, &rect, QStringLiteral("tray owner"), WS_OVERLAPPEDWINDOW)) {
        std::printf("owner window not created\n");
        return 4;
    }
    NOTIFYICONDATA data;
    data.hWnd = owner;
    data.uID = IDR_TRAY_POPUP;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_ICON_NOTIFY;
    data.hIcon = LoadIcon(nullptr, MAKEINTRESOURCE(IDI_PAGE_16x16));
    std::copy_n(u"Taluvo", 7, data.szTip);
    if (!Shell_NotifyIcon(NIM_ADD, &data)) {
        std::printf("icon not added\n");
        return 5;
    }
    // The tray host may start after us: a tray that appears late still takes the icon.
    RECT where;
    const bool shown = PumpUntil(
        [&] {
            return taluvo::ui::IsTrayIconShown(owner, IDR_TRAY_POPUP)
                && taluvo::ui::GetTrayIconRect(owner, IDR_TRAY_POPUP, &where);
        },
        20000);
    std::printf("tray available: %s\n", taluvo::ui::IsTrayAvailable() ? "yes" : "no");
    if (!shown) {
        std::printf("the tray did not show the icon\n");
        return 6;
    }
    std::printf("icon rectangle: %d,%d - %d,%d\n", static_cast<int>(where.left), static_cast<int>(where.top),
        static_cast<int>(where.right), static_cast<int>(where.bottom));
    if (where.right <= where.left || where.bottom <= where.top)
        return 7;
    // The tray host's own area holds the icon.
    RECT area {};
    if (!taluvo::ui::GetTrayAreaRect(&area)) {
        std::printf("no tray area\n");
        return 15;
    }
    std::printf("tray area: %d,%d - %d,%d\n", static_cast<int>(area.left), static_cast<int>(area.top),
        static_cast<int>(area.right), static_cast<int>(area.bottom));
    if (where.left < area.left || where.top < area.top || where.right > area.right || where.bottom > area.bottom) {
        std::printf("the icon lies outside the tray area\n");
        return 16;
    }
    const int x = (where.left + where.right) / 2;
    const int y = (where.top + where.bottom) / 2;
    const std::vector<std::string> rightClick { "mousemove", std::to_string(x), std::to_string(y), "click", "3" };
    const int clicked = RunXdotool(rightClick);
    if (clicked != 0) {
        std::printf("xdotool failed: %d\n", clicked);
        return 8;
    }
    if (!PumpUntil([&] { return owner.command != 0; }, 10000)) {
        std::printf("no command reached the owner (last mouse message 0x%x)\n", owner.lastMouse);
        return 9;
    }
    if (owner.command != ID_TOOLS_CHECK_ALL || owner.lastMouse != WM_RBUTTONUP)
        return 10;

    // Once more with the real menu: when it shows, the keyboard picks its first item. The second
    // click comes at once; Qt would take it for the second half of a double click, which the tray
    // icon does not report for the right button.
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(0);
    owner.realMenu = true;
    owner.command = 0;
    QTimer watcher;
    pid_t keys = -1;
    QObject::connect(&watcher, &QTimer::timeout, [&watcher, &keys] {
        if (!QApplication::activePopupWidget())
            return;
        watcher.stop();
        keys = StartXdotool({ "key", "Down", "Return" });
    });
    watcher.start(20);
    if (RunXdotool(rightClick) != 0)
        return 8;
    if (!PumpUntil([&] { return owner.command != 0; }, 10000)) {
        std::printf("no command came from the real menu\n");
        return 11;
    }
    std::printf("real menu: command %u\n", owner.command);
    if (keys > 0)
        waitpid(keys, nullptr, 0);
    if (owner.command != ID_TOOLS_CHECK_ALL || owner.commands != 2)
        return 12;

    // The tray host goes and another one comes: every top-level window hears of the new tray
    // once, and the icon is in it. (A tray host that came up after the probe was told already.)
    owner.taskbarCreated = 0;
    const pid_t newHost = RestartTrayHost();
    if (newHost < 0) {
        std::printf("the tray host could not be restarted\n");
        return 14;
    }
    const bool heard = PumpUntil(
        [&] {
            return owner.taskbarCreated > 0 && taluvo::ui::IsTrayIconShown(owner, IDR_TRAY_POPUP)
                && taluvo::ui::GetTrayIconRect(owner, IDR_TRAY_POPUP, &where);
        },
        20000);
    std::printf("new tray: told %d time(s), icon shown: %s\n", owner.taskbarCreated, heard ? "yes" : "no");
    StopTrayHost(newHost);
    Shell_NotifyIcon(NIM_DELETE, &data);
    owner.DestroyWindow();
    return heard && owner.taskbarCreated == 1 ? 0 : 15;
}
