// The window-manager functions the program calls, with the Windows behaviour the program relies on,
// over Qt widgets. Windows live on the user-interface thread (the thread of the application
// object); a window handle is a key in a registry, so a stale handle is harmless: calls on it fail
// the way they do on Windows and SendMessage returns 0.
//
// Messages: SendMessage on the window's thread calls its procedure directly; from another thread it
// joins the window thread's send queue and blocks until the procedure returns. The queue is served
// by every loop of the user-interface thread (the main loop, modal dialogs, message boxes, any
// nested Qt loop) and by WaitServingSends, so a blocked sender always finishes. A sender still
// waiting when its window is destroyed gets 0.
#pragma once

#include "platform/ui/Cursor.h"
#include "platform/ui/PopupWindow.h"
#include "platform/ui/WinUser.h"

#include <QString>

// Window classes and windows.
WORD RegisterClass(const WNDCLASS* wndClass);
HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

// Messages and queues.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// 1 for a message, 0 for WM_QUIT (msg->wParam carries the exit code), -1 for bad arguments.
BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);

// Timers: WM_TIMER on the window's thread, repeating until killed; 0 when the timer cannot be set.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Window state.
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
inline LONG GetWindowLong(HWND hwnd, int index)
{
    return static_cast<LONG>(GetWindowLongPtr(hwnd, index));
}
inline LONG SetWindowLong(HWND hwnd, int index, LONG value)
{
    return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}
BOOL SetWindowText(HWND hwnd, const QString& text);
int GetWindowTextLength(HWND hwnd);
QString GetWindowText(HWND hwnd);
int GetClassName(HWND hwnd, char16_t* buffer, int size);
HWND GetParent(HWND hwnd);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable); // TRUE when the window was disabled before
BOOL IsWindowEnabled(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int command); // TRUE when the window was visible before
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetDesktopWindow();

// Geometry: screen coordinates for window rectangles, client coordinates inside.
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL ScreenToClient(HWND hwnd, POINT* point);
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL GetCursorPos(POINT* point);
// The state of Ctrl, Shift, Alt and the mouse buttons as of the input being handled: negative
// (high bit set) while down.
SHORT GetKeyState(int virtualKey);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
// The work area of the screen that holds the window (or the primary screen).
RECT GetWorkArea(HWND near);
constexpr UINT SPI_GETWORKAREA = 0x0030;
BOOL SystemParametersInfo(UINT action, UINT param, void* value, UINT winIni);

// Dialogs (see DialogTemplate.h for the templates).
INT_PTR DialogBoxParam(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam);
HWND CreateDialogParam(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL MapDialogRect(HWND dialog, RECT* rect);
BOOL SetDlgItemText(HWND dialog, int id, const QString& text);
QString GetDlgItemText(HWND dialog, int id);
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

// Message boxes: modal, owned by the window given (or none). On a display they are interactive;
// without one (Qt's offscreen platform) and without a test hook they print caption and text to
// stderr and return the default button at once.
int MessageBox(HWND owner, const QString& text, const QString& caption, UINT type);
BOOL MessageBeep(UINT type);

// Icons: registered by the resource tables, loaded by id.
HICON LoadIcon(HINSTANCE instance, LPCWSTR name);
BOOL DestroyIcon(HICON icon);

namespace taluvo::ui {

// Waits like WaitForMultipleObjects; on the user-interface thread it serves sent messages while it
// waits, so a worker blocked in SendMessage to a window can finish (join a worker with this).
DWORD WaitServingSends(DWORD count, const HANDLE* handles, DWORD milliseconds);
inline DWORD WaitServingSends(HANDLE handle, DWORD milliseconds)
{
    return WaitServingSends(1, &handle, milliseconds);
}

// Sends the messages to one window in their order, as as many SendMessage calls would, but hands
// them to the window's thread in one go: it is woken once for all of them. Returns when every one has
// been handled; once a handler destroys the window, the rest are not delivered.
void SendMessages(HWND hwnd, UINT message, WPARAM wParam, const LPARAM* lParams, size_t count);

// True on the thread that owns the windows.
bool IsUiThread();

// True when nobody can see or answer a window (Qt's offscreen or minimal platform, or no
// application object at all).
bool IsHeadless();

// Registers an icon resource under its id (the resource tables do this at start).
void RegisterIconResource(WORD id, const QString& imagePath);

// The session is ending: asks every top-level window (WM_QUERYENDSESSION), then tells them the
// outcome (WM_ENDSESSION). False when a window refused.
bool EndSession();

// Ends every modal loop that runs (as if cancelled); used before shutting down by signal.
void EndAllModalLoops();

} // namespace taluvo::ui
