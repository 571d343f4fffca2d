// The pointer: the system's cursors, the cursor a window shows, WM_SETCURSOR and the request for
// WM_MOUSELEAVE.
//
// As on Windows, a window hears WM_SETCURSOR (wParam the window under the pointer, lParam the hit
// code HTCLIENT and the mouse message) before each pointer move reaches it; a handler that sets a
// cursor with SetCursor answers TRUE. Unanswered, the default handling asks the parent of a child
// window first and then shows the class cursor (or the control's own: the I-beam over an edit).
#pragma once

#include "platform/ui/WinUser.h"

// Standard cursor ids for LoadCursor(nullptr, id).
inline const LPCWSTR IDC_ARROW = MAKEINTRESOURCE(32512);
inline const LPCWSTR IDC_IBEAM = MAKEINTRESOURCE(32513);
inline const LPCWSTR IDC_WAIT = MAKEINTRESOURCE(32514);
inline const LPCWSTR IDC_SIZEWE = MAKEINTRESOURCE(32644);
inline const LPCWSTR IDC_HAND = MAKEINTRESOURCE(32649);

constexpr LRESULT HTCLIENT = 1;

// The system's cursors are shared: DestroyCursor of one does nothing. Null for an unknown id (the
// program's own cursor resources do not exist).
HCURSOR LoadCursor(HINSTANCE instance, LPCWSTR name);
BOOL DestroyCursor(HCURSOR cursor);
// Shows the cursor over the window the pointer is over; returns the previous one.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();

struct TRACKMOUSEEVENT {
    DWORD cbSize = sizeof(TRACKMOUSEEVENT);
    DWORD dwFlags = 0;
    HWND hwndTrack = nullptr;
    DWORD dwHoverTime = 0;
};
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_CANCEL = 0x80000000;
// TME_LEAVE: one WM_MOUSELEAVE is posted to the window when the pointer leaves it (at once when the
// pointer is not over it). FALSE for a window that does not exist.
BOOL TrackMouseEvent(TRACKMOUSEEVENT* track);

namespace taluvo::ui {

// The cursor the window shows while the pointer is over it: the last one set there, else the class
// cursor; null when the window does not exist.
HCURSOR WindowCursor(HWND hwnd);

} // namespace taluvo::ui
