// The notification area (system tray): icons with a tip that report mouse clicks to their window
// through a callback message (wParam: the icon id, lParam: WM_LBUTTONUP, WM_RBUTTONUP, ...), and
// the moves of a window into the tray and back.
//
// Where the desktop has no tray (a plain X server), adding an icon still succeeds and the icon is
// reported as not shown, so the program runs anywhere; moving a window to the tray then minimises
// it instead, so the user can always get it back.
#pragma once

#include "platform/ui/UserApi.h"

// Posted to every top-level window when a tray becomes available again (a tray host started or
// restarted), as the shell's "TaskbarCreated" message is: icons a program shows belong to the
// tray that went away and may have to be added again. A number of the registered-message range.
constexpr UINT WM_TASKBARCREATED = 0xC0F0;

// Comes through an icon's callback message, in place of a mouse message, when the tray has placed
// the icon or moved it since: GetTrayIconRect tells a new rectangle. A tray host may take a new
// icon in at one end of its area and move it to its place afterwards.
constexpr UINT NIN_ICONPLACED = WM_USER + 0x20;

constexpr DWORD NIM_ADD = 0x0;
constexpr DWORD NIM_MODIFY = 0x1;
constexpr DWORD NIM_DELETE = 0x2;
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

struct NOTIFYICONDATA {
    DWORD cbSize = sizeof(NOTIFYICONDATA);
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HICON hIcon = nullptr;
    WCHAR szTip[64] = {}; // at most 63 characters and the NUL
};
using NOTIFYICONDATAW = NOTIFYICONDATA;

// Adds, changes or removes the icon (hWnd, uID). Adding an icon that exists, or changing or
// removing one that does not, fails.
BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data);

// Hides the window, which leaves the task bar with it; without a tray it is minimised instead.
BOOL HideWindowToTray(HWND hwnd);
// Shows the window again (restored when minimised), active and in front.
BOOL ShowWindowFromTray(HWND hwnd);

namespace taluvo::ui {

// True when the desktop has a tray to show icons in.
bool IsTrayAvailable();
// True when the icon exists and the tray shows it.
bool IsTrayIconShown(HWND hwnd, UINT id);
// The icon's rectangle on the screen, where the tray tells it; FALSE when it is not known.
BOOL GetTrayIconRect(HWND hwnd, UINT id, RECT* rect);
// The tray host's own rectangle on the screen (the area its icons are drawn in); FALSE where the
// desktop has no tray window to ask (no X11 tray, no display).
BOOL GetTrayAreaRect(RECT* rect);

namespace test {
// The tray reporting a click on the icon (WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK); FALSE
// when there is no such icon.
BOOL ClickTrayIcon(HWND hwnd, UINT id, UINT mouseMessage);
} // namespace test

} // namespace taluvo::ui
