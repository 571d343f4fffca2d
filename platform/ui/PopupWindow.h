// Popup windows and what lies under the pointer.
//
// A top-level window meets the window manager by its styles: WS_POPUP without WS_CAPTION has no
// frame; WS_EX_TOOLWINDOW (and any owned window) has no task-bar entry; WS_EX_TOPMOST stays above
// the others; a frameless tool popup never takes the focus (shown with SW_SHOWNOACTIVATE or
// SWP_NOACTIVATE it leaves the active window as it was). Every top-level window hears
// WM_ACTIVATEAPP (wParam TRUE or FALSE) when the program gains or loses the active window.
#pragma once

#include "platform/ui/GdiTypes.h"

// Shapes the window: only the region (window coordinates) is shown and hit; the system owns the
// region from now on and deletes it. A null region gives the window its whole rectangle back.
// Returns 0 for a window that does not exist.
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);

// The deepest visible window of this program at the screen point; null over other programs and
// the desktop.
HWND WindowFromPoint(POINT screenPoint);
// The child of the parent that contains the point (client coordinates of the parent), hidden and
// disabled ones included; the parent itself when no child does; null outside the parent.
HWND ChildWindowFromPoint(HWND parent, POINT clientPoint);
