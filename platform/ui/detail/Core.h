// Internals shared by the files of the user-interface layer: the window registry, the loop stack,
// and the hooks between the message core and the widget kinds. Not for program code.
//
// A new kind of control joins by registering a class (RegisterBuiltinClass): a window procedure
// that speaks the control's messages and a factory that makes its widget and wires the widget's
// signals to notifications (NotifyParent for WM_COMMAND, SendMessage of WM_NOTIFY for the common
// controls). The message core then creates, addresses and destroys it like any other window.
#pragma once

#include "platform/ui/UserApi.h"

#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

namespace taluvo::ui::detail {

class LoopObserver;

struct WindowRecord {
    HWND hwnd = nullptr;
    DWORD threadId = 0;
    QString className;
    QString text;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr; // parent of a child window, owner of a popup
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    WNDPROC proc = nullptr;
    void* object = nullptr; // the C++ object of a CWindowImpl / CDialogImpl
    LONG_PTR userData = 0;
    QPointer<QWidget> widget;
    HICON iconBig = nullptr;
    HICON iconSmall = nullptr;
    bool destroying = false;

    // Dialogs.
    bool isDialog = false;
    DLGPROC dlgProc = nullptr;
    LONG_PTR msgResult = 0;
    LONG_PTR dlgUser = 0;
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    int baseUnitX = 0; // dialog base units of the dialog's font
    int baseUnitY = 0;
    WORD templateId = 0;

    // Controls: per-kind state kept by the control code.
    std::shared_ptr<void> controlState;

    // Painting, fonts and the pointer (Paint.cpp, Cursor.cpp).
    HFONT font = nullptr; // from WM_SETFONT; null: the system font
    HCURSOR classCursor = nullptr;
    bool trackingLeave = false; // TrackMouseEvent(TME_LEAVE) waits for the pointer to leave
    std::shared_ptr<struct PaintState> paint;
};
using RecordPtr = std::shared_ptr<WindowRecord>;

RecordPtr Find(HWND hwnd);
// The record of the window whose widget is this widget or its nearest ancestor.
RecordPtr FromWidget(const QWidget* widget);
QWidget* WidgetOf(HWND hwnd);
std::vector<RecordPtr> Children(HWND parent); // in creation order
std::vector<RecordPtr> TopLevelWindows();
LoopObserver* ActiveMainObserverForInput();

// Widget kinds. A factory makes the widget of a window of its class; the message core calls it
// after registering the record, before WM_NCCREATE.
struct ClassInfo {
    QString name;
    WNDPROC proc = nullptr;
    std::function<QWidget*(WindowRecord& record, QWidget* parentWidget)> makeWidget;
    HCURSOR cursor = nullptr; // the class cursor; null: the arrow
};
void RegisterBuiltinClass(ClassInfo info);

struct CreateParams {
    DWORD exStyle = 0;
    QString className;
    QString text;
    DWORD style = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HWND parent = nullptr;
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    LPVOID createParam = nullptr;
    WNDPROC procOverride = nullptr; // a window implementation's procedure instead of the class's
    void* object = nullptr;
    // Lets the caller fill the record before the first message (dialogs).
    std::function<void(WindowRecord&)> prepare;
};
HWND CreateWindowObject(const CreateParams& params);

// Loops of the user-interface thread. Filters and the idle bookkeeping belong to the innermost
// loop only when it is a main loop: modal loops run none of them.
class LoopObserver {
public:
    virtual ~LoopObserver() = default;
    virtual bool FilterInput(MSG& msg) = 0; // true: swallowed
    // For idle bookkeeping: input from Qt, and messages other threads sent, once handled.
    virtual void InputHandled(const MSG& msg) = 0;
};
enum class LoopKind { Main, Modal };
class LoopScope {
public:
    LoopScope(LoopKind kind, LoopObserver* observer);
    ~LoopScope();
    LoopScope(const LoopScope&) = delete;
    LoopScope& operator=(const LoopScope&) = delete;
    bool Ended() const { return m_ended; }
    void End() { m_ended = true; }

private:
    bool m_ended = false;
};

// One round of waiting: serves sends, runs due Qt events (input goes through the filter), waits
// when nothing is due.
void PumpOnce(bool wait);
// Takes the next posted message of the current thread (no WM_QUIT); false when none.
bool TakePosted(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove);
// True when a quit is pending for the current thread; the code is stored when it is.
bool QuitPending(int* code, bool consume);
bool HasQueuedWork();
void ServeSends();
// Senders waiting for the current thread's windows (diagnostics and tests).
size_t PendingSends();
// Dispatches the messages posted to this thread so far (used by modal loops).
void DispatchPostedNow();
// Runs a modal loop until the predicate holds, a quit is pending or EndAllModalLoops ends it.
// Returns false when it stopped for another reason than the predicate.
bool RunModalLoop(const std::function<bool()>& done);

// Text in messages: lParam of WM_SETTEXT and friends, and the copy into a caller's buffer of
// `size` code units (NUL included) that WM_GETTEXT and friends make; returns the length copied.
QString TextParam(LPARAM lParam);
LRESULT CopyText(const QString& text, WPARAM size, LPARAM buffer);

// Sends a WM_COMMAND notification from a control to its parent.
void NotifyParent(HWND control, WORD code);

// Runs a dialog window made by the dialog framework as a modal dialog owned by owner, then
// destroys it; its EndDialog result, IDCANCEL when nobody can answer (no display, no test hook).
INT_PTR RunModalDialogWindow(HWND hwnd, HWND owner, WORD templateId);
// A dialog template made as a child window of parent (a property page): caption and frame styles
// dropped, hidden until shown.
HWND CreateChildDialog(WORD templateId, HWND parent, DLGPROC proc, void* object, LPARAM initParam);

// Gives each label of the dialog whose text has a mnemonic ("&Address:") the next tab stop after
// it as its buddy, so Alt+letter moves the focus there, as on Windows.
void LinkLabelMnemonics(HWND dialog);

// Dialog base units for a font description (family, point size); defaults to the application font.
void DialogBaseUnits(const QString& family, int pointSize, int* baseX, int* baseY);

// Dialog framework hooks from the test side.
bool HasDialogHook();
void CallDialogHook(HWND dialog, WORD templateId);
// True when a test records beeps (the beep is then only recorded).
bool RecordBeep(UINT type);
bool HasMessageBoxHook();
// 0 when the hook lets the box show.
int CallMessageBoxHook(HWND owner, const QString& text, const QString& caption, UINT type);

// Built-in classes (called once from EnsureUiSetup).
void RegisterControlClasses();
void RegisterDialogClass();
void RegisterTreeViewClass();
void RegisterBarClasses(); // toolbar, status bar, rebar, command bar
void RegisterDialogControlClasses(); // list view, tab control, trackbar, scroll bar

// The painting path (Paint.cpp): every paint of a window's widget goes through WM_PAINT first
// (what the procedure drew between BeginPaint and EndPaint, or through GetDC, is shown); a control
// left to paint itself gets its colours from the WM_CTLCOLOR* answer of its parent.
void InstallPaintFilter();
// The window side of the device contexts: what GetDC starts from (what the window shows now), what
// BeginPaint starts from (the erased window), and where released and painted images go.
QImage WindowSurface(HWND hwnd);
QImage ErasedSurface(HWND hwnd);
void ShowDrawnSurface(HWND hwnd, const QImage& image);
void PaintEnded(HWND hwnd, const QImage& image);
// WM_SETFONT and WM_GETFONT of the default window procedure.
LRESULT FontMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam);
// The pointer (Cursor.cpp): WM_SETCURSOR, the class cursor and WM_MOUSELEAVE.
void InstallCursorFilter();
LRESULT CursorMessage(WindowRecord& record, WPARAM wParam, LPARAM lParam);
// How a top-level window meets the window manager (PopupWindow.cpp): frame, task bar, stacking,
// activation, and WM_ACTIVATEAPP.
void ApplyTopLevelStyle(WindowRecord& record, QWidget* widget, QWidget* ownerWidget);
void InstallActivationWatch();
// Called before a hidden top-level window shows: a frameless popup takes the screen under it.
void PrepareToShow(WindowRecord& record);
void RegisterRichEditClass();
void RegisterListBoxClass();
// WM_SETTINGCHANGE to the top-level windows when the desktop's font or colours change.
void InstallSettingChangeWatch();

// Icons.
QIcon IconOf(HICON icon);
HICON IconHandle(const QIcon& icon);

// Drops Qt widgets of destroyed windows once no handler of theirs can be running.
void BuryWidget(QWidget* widget);
// Deletes them now: the application object is about to go, and a program that ends without its
// loop blocking once more (a window destroyed just before the end) would otherwise never free them.
void DeleteBuriedWidgets();

// The current thread's message-box stack (for the test hooks).
std::vector<HWND>& OpenMessageBoxes();

void EnsureUiSetup();

} // namespace taluvo::ui::detail
