// Hooks for tests, off unless a test installs them: answer message boxes and modal dialogs from a
// callback, capture the requests to open the browser, the shell, a sound, the mail client or a
// program, and act on controls the way a user does (type, click, pick, press keys), so the
// expected messages reach the window procedures.
#pragma once

#include "platform/shell/ShellHooks.h"
#include "platform/ui/UserApi.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace taluvo::ui::test {

struct MessageBoxRequest {
    HWND owner;
    QString text;
    QString caption;
    UINT type;
};
// Returns the button the box answers with, or 0 to let the box show and run its modal loop.
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Called inside the modal loop of every dialog right after it is shown. The dialog stays open
// until something ends it (the hook pressing a button, a message handler calling EndDialog).
using DialogHook = std::function<void(HWND dialog, WORD templateId)>;
DialogHook SetDialogHook(DialogHook hook);

class ScopedMessageBoxHook {
public:
    explicit ScopedMessageBoxHook(MessageBoxHook hook)
        : m_previous(SetMessageBoxHook(std::move(hook)))
    {
    }
    ~ScopedMessageBoxHook() { SetMessageBoxHook(std::move(m_previous)); }
    ScopedMessageBoxHook(const ScopedMessageBoxHook&) = delete;
    ScopedMessageBoxHook& operator=(const ScopedMessageBoxHook&) = delete;

private:
    MessageBoxHook m_previous;
};

class ScopedDialogHook {
public:
    explicit ScopedDialogHook(DialogHook hook)
        : m_previous(SetDialogHook(std::move(hook)))
    {
    }
    ~ScopedDialogHook() { SetDialogHook(std::move(m_previous)); }
    ScopedDialogHook(const ScopedDialogHook&) = delete;
    ScopedDialogHook& operator=(const ScopedDialogHook&) = delete;

private:
    DialogHook m_previous;
};

// Takes every request for the browser, shell, sound, mail client or a program while it lives;
// nothing is carried out.
class ShellRequestCapture {
public:
    ShellRequestCapture();
    ~ShellRequestCapture();
    ShellRequestCapture(const ShellRequestCapture&) = delete;
    ShellRequestCapture& operator=(const ShellRequestCapture&) = delete;
    std::vector<taluvo::shell::Request> Requests() const;

private:
    struct Shared {
        mutable std::mutex lock;
        std::vector<taluvo::shell::Request> requests;
    };
    std::shared_ptr<Shared> m_shared;
    taluvo::shell::RequestHook m_previous;
};

// Records every MessageBeep call while it lives, in order; nothing is heard meanwhile. A refusal by
// beep (a number field out of range, say) is asserted through it.
class BeepRecorder {
public:
    BeepRecorder();
    ~BeepRecorder();
    BeepRecorder(const BeepRecorder&) = delete;
    BeepRecorder& operator=(const BeepRecorder&) = delete;
    std::vector<UINT> Beeps() const; // the types passed, 0xFFFFFFFF for the simple beep

private:
    struct Shared {
        mutable std::mutex lock;
        std::vector<UINT> beeps;
    };
    std::shared_ptr<Shared> m_shared;
    std::function<void(UINT)> m_previous;
};

// The innermost message box open on this thread, or null.
HWND TopMessageBox();
// Presses the box's button with that result; FALSE when the box has no such button.
BOOL AnswerMessageBox(HWND box, int id);

// User actions on controls. Each goes through Qt's input path, so filters, window procedures and
// the control's own notifications see what a real user would cause.
void TypeText(HWND control, const QString& text); // gives the control focus, then types
void PressKey(HWND window, UINT vk); // to the focused control of the window
void PressKey(HWND window, UINT vk, bool ctrl, bool shift, bool alt); // with modifier keys held
void Click(HWND control); // left button down and up at its centre
void MoveMouse(HWND window, int x, int y); // client coordinates
// Left button down and up at a client point of the window (or of the child widget there).
void ClickAt(HWND window, int x, int y);
// Two clicks at a client point, the second press arriving as the double click.
void DoubleClickAt(HWND window, int x, int y);
// The left button pressed at one client point, moved with it held to another and let go there.
void DragMouse(HWND window, int fromX, int fromY, int toX, int toY);
BOOL SelectComboItem(HWND combo, int index); // picks from the list as a user does
// A sheet's tab clicked (the active page may refuse to be left: FALSE then, or when there is no
// such tab); a sheet button pressed (PSBTN_*; FALSE when it is hidden or disabled, as a user could
// not press it either).
BOOL SelectSheetTab(HWND sheet, int index);
BOOL PressSheetButton(HWND sheet, int button);
// A list row's check box clicked into the given state; FALSE without check boxes or such a row.
BOOL CheckListRow(HWND list, int row, bool checked);
// A trackbar or scroll bar moved as by its arrows, page area, Home and End: code is the TB_* /
// SB_* code the move reports (LINEUP, LINEDOWN, PAGEUP, PAGEDOWN, TOP, BOTTOM).
BOOL ScrollControl(HWND control, WORD code);
// The thumb dragged to a position and let go.
BOOL DragThumb(HWND control, int position);
// A link clicked; FALSE when it is hidden or disabled.
BOOL ClickLink(HWND link);

// Serves events until the window's top-level window is the active one (keyboard focus and
// shortcuts follow the active window), for at most a few seconds; false when it never became so.
bool WaitForActiveWindow(HWND window);

} // namespace taluvo::ui::test
