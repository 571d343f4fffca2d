// Window and dialog classes in the shape the program is written in: a handle wrapper (CWindow),
// message maps that end in one ProcessWindowMessage, and the implementation templates
// CWindowImpl<T> and CDialogImpl<T> that route a window's messages to its map.
#pragma once

#include "platform/ui/UserApi.h"

#include <QString>

#include <cassert>

// ---------------------------------------------------------------------------------------------
// CWindow: a thin wrapper over a window handle; copying it copies the handle only.

class CWindow {
public:
    HWND m_hWnd = nullptr;

    CWindow(HWND hWnd = nullptr)
        : m_hWnd(hWnd)
    {
    }
    CWindow& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    operator HWND() const { return m_hWnd; }

    void Attach(HWND hWndNew) { m_hWnd = hWndNew; }
    HWND Detach()
    {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        return hWnd;
    }

    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    BOOL DestroyWindow()
    {
        if (!::DestroyWindow(m_hWnd))
            return FALSE;
        m_hWnd = nullptr;
        return TRUE;
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessage(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessage(m_hWnd, message, wParam, lParam);
    }

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLong(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLong(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add)
    {
        const DWORD style = GetStyle();
        const DWORD updated = (style & ~remove) | add;
        if (style == updated)
            return FALSE;
        ::SetWindowLong(m_hWnd, GWL_STYLE, static_cast<LONG>(updated));
        return TRUE;
    }
    LONG GetWindowLong(int index) const { return ::GetWindowLong(m_hWnd, index); }
    LONG SetWindowLong(int index, LONG value) { return ::SetWindowLong(m_hWnd, index, value); }
    LONG_PTR GetWindowLongPtr(int index) const { return ::GetWindowLongPtr(m_hWnd, index); }
    LONG_PTR SetWindowLongPtr(int index, LONG_PTR value) { return ::SetWindowLongPtr(m_hWnd, index, value); }

    BOOL SetWindowText(const QString& text) { return ::SetWindowText(m_hWnd, text); }
    QString GetWindowText() const { return ::GetWindowText(m_hWnd); }
    BOOL GetWindowText(QString& text) const
    {
        text = ::GetWindowText(m_hWnd);
        return ::IsWindow(m_hWnd);
    }
    int GetWindowTextLength() const { return ::GetWindowTextLength(m_hWnd); }

    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    BOOL SetDlgItemText(int id, const QString& text) const { return ::SetDlgItemText(m_hWnd, id, text); }
    QString GetDlgItemText(int id) const { return ::GetDlgItemText(m_hWnd, id); }
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const
    {
        return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
    }
    BOOL SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) const
    {
        return ::SetDlgItemInt(m_hWnd, id, value, isSigned);
    }
    BOOL CheckDlgButton(int id, UINT check) const { return ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    BOOL CheckRadioButton(int firstId, int lastId, int checkId) const
    {
        return ::CheckRadioButton(m_hWnd, firstId, lastId, checkId);
    }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendDlgItemMessage(m_hWnd, id, message, wParam, lParam);
    }

    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    HWND SetActiveWindow() { return ::SetActiveWindow(m_hWnd); }

    BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE)
    {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    BOOL MoveWindow(const RECT* rect, BOOL repaint = TRUE)
    {
        return ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
    }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL ScreenToClient(POINT* point) const { return ::ScreenToClient(m_hWnd, point); }
    BOOL ClientToScreen(POINT* point) const { return ::ClientToScreen(m_hWnd, point); }
    BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }

    // Centres over the given window, else over the owner; over the work area when that window is
    // missing, hidden or minimised. The result is kept inside the work area.
    BOOL CenterWindow(HWND hWndCenter = nullptr);

    HICON SetIcon(HICON icon, BOOL bigIcon = TRUE)
    {
        return reinterpret_cast<HICON>(
            ::SendMessage(m_hWnd, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    HICON GetIcon(BOOL bigIcon = TRUE) const
    {
        return reinterpret_cast<HICON>(::SendMessage(m_hWnd, WM_GETICON, bigIcon ? ICON_BIG : ICON_SMALL, 0));
    }

    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, TIMERPROC proc = nullptr)
    {
        return ::SetTimer(m_hWnd, id, elapseMs, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    int MessageBox(const QString& text, const QString& caption = QString(), UINT type = MB_OK)
    {
        return ::MessageBox(m_hWnd, text, caption, type);
    }
};

// ---------------------------------------------------------------------------------------------
// Message maps

class CMessageMap {
public:
    virtual ~CMessageMap() = default;
    virtual BOOL ProcessWindowMessage(
        HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD dwMsgMapID = 0)
        = 0;
};

#define BEGIN_MSG_MAP(theClass)                                                                                        \
public:                                                                                                                \
    BOOL ProcessWindowMessage(                                                                                         \
        HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD dwMsgMapID = 0) override           \
    {                                                                                                                  \
        BOOL bHandled = TRUE;                                                                                          \
        (void)hWnd;                                                                                                    \
        (void)uMsg;                                                                                                    \
        (void)wParam;                                                                                                  \
        (void)lParam;                                                                                                  \
        (void)lResult;                                                                                                 \
        (void)bHandled;                                                                                                \
        switch (dwMsgMapID) {                                                                                          \
        case 0:

#define ALT_MSG_MAP(msgMapID)                                                                                          \
    break;                                                                                                             \
    case msgMapID:

// What every handler entry does once its test matched: the handler may clear bHandled to let the
// message go on down the map.
#define TALUVO_MSG_ANSWER(call)                                                                                        \
    {                                                                                                                  \
        bHandled = TRUE;                                                                                               \
        lResult = call;                                                                                                \
        if (bHandled)                                                                                                  \
            return TRUE;                                                                                               \
    }
#define TALUVO_COMMAND_ANSWER(func)                                                                                    \
    TALUVO_MSG_ANSWER(func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled))
#define TALUVO_NOTIFY_ANSWER(func)                                                                                     \
    TALUVO_MSG_ANSWER(func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled))
#define TALUVO_NOTIFY_HEADER() reinterpret_cast<LPNMHDR>(lParam)

#define MESSAGE_HANDLER(msg, func)                                                                                     \
    if (uMsg == (msg))                                                                                                 \
    TALUVO_MSG_ANSWER(func(uMsg, wParam, lParam, bHandled))

#define MESSAGE_RANGE_HANDLER(msgFirst, msgLast, func)                                                                 \
    if (uMsg >= (msgFirst) && uMsg <= (msgLast))                                                                       \
    TALUVO_MSG_ANSWER(func(uMsg, wParam, lParam, bHandled))

#define COMMAND_HANDLER(id, code, func)                                                                                \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) && HIWORD(wParam) == static_cast<WORD>(code))    \
    TALUVO_COMMAND_ANSWER(func)

#define COMMAND_ID_HANDLER(id, func)                                                                                   \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id))                                                 \
    TALUVO_COMMAND_ANSWER(func)

#define COMMAND_CODE_HANDLER(code, func)                                                                               \
    if (uMsg == WM_COMMAND && HIWORD(wParam) == static_cast<WORD>(code))                                               \
    TALUVO_COMMAND_ANSWER(func)

#define COMMAND_RANGE_HANDLER(idFirst, idLast, func)                                                                   \
    if (uMsg == WM_COMMAND && LOWORD(wParam) >= (idFirst) && LOWORD(wParam) <= (idLast))                               \
    TALUVO_COMMAND_ANSWER(func)

#define COMMAND_RANGE_CODE_HANDLER(idFirst, idLast, code, func)                                                        \
    if (uMsg == WM_COMMAND && HIWORD(wParam) == static_cast<WORD>(code) && LOWORD(wParam) >= (idFirst)                 \
        && LOWORD(wParam) <= (idLast))                                                                                 \
    TALUVO_COMMAND_ANSWER(func)

#define NOTIFY_HANDLER(id, cd, func)                                                                                   \
    if (uMsg == WM_NOTIFY && TALUVO_NOTIFY_HEADER()->idFrom == static_cast<UINT_PTR>(id)                               \
        && TALUVO_NOTIFY_HEADER()->code == static_cast<UINT>(cd))                                                      \
    TALUVO_NOTIFY_ANSWER(func)

#define NOTIFY_ID_HANDLER(id, func)                                                                                    \
    if (uMsg == WM_NOTIFY && TALUVO_NOTIFY_HEADER()->idFrom == static_cast<UINT_PTR>(id))                              \
    TALUVO_NOTIFY_ANSWER(func)

#define NOTIFY_CODE_HANDLER(cd, func)                                                                                  \
    if (uMsg == WM_NOTIFY && TALUVO_NOTIFY_HEADER()->code == static_cast<UINT>(cd))                                    \
    TALUVO_NOTIFY_ANSWER(func)

#define NOTIFY_RANGE_HANDLER(idFirst, idLast, func)                                                                    \
    if (uMsg == WM_NOTIFY && TALUVO_NOTIFY_HEADER()->idFrom >= static_cast<UINT_PTR>(idFirst)                          \
        && TALUVO_NOTIFY_HEADER()->idFrom <= static_cast<UINT_PTR>(idLast))                                            \
    TALUVO_NOTIFY_ANSWER(func)

#define CHAIN_MSG_MAP(theChainClass)                                                                                   \
    if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))                                      \
        return TRUE;

#define CHAIN_MSG_MAP_MEMBER(theChainMember)                                                                           \
    if ((theChainMember).ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))                                    \
        return TRUE;

#define CHAIN_MSG_MAP_ALT(theChainClass, msgMapID)                                                                     \
    if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, msgMapID))                            \
        return TRUE;

// Sends a child's notification back to the child as message + OCM__BASE.
#define REFLECT_NOTIFICATIONS() TALUVO_MSG_ANSWER(this->ReflectNotifications(uMsg, wParam, lParam, bHandled))

// A reflected message nobody handled goes to the control's default processing unreflected.
#define DEFAULT_REFLECTION_HANDLER()                                                                                   \
    if (this->DefaultReflectionHandler(hWnd, uMsg, wParam, lParam, lResult))                                           \
        return TRUE;

#define END_MSG_MAP()                                                                                                  \
    break;                                                                                                             \
    default:                                                                                                           \
        break;                                                                                                         \
        }                                                                                                              \
        return FALSE;                                                                                                  \
        }

// ---------------------------------------------------------------------------------------------
// Window implementations

namespace taluvo::ui::detail {
// Binds a C++ window object to its handle for the static procedures below.
void* WindowObject(HWND hwnd);
HWND CreateImplWindow(WNDPROC proc, void* object, const QString& className, HWND parent, const RECT* rect,
    const QString& name, DWORD style, DWORD exStyle, UINT_PTR id, LPVOID createParam);
INT_PTR RunDialog(WORD templateId, HWND parent, DLGPROC proc, void* object, LPARAM initParam);
HWND CreateModelessDialog(WORD templateId, HWND parent, DLGPROC proc, void* object, LPARAM initParam);
LRESULT ReflectNotification(HWND parent, UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
BOOL DefaultReflection(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
// Routes an existing window's messages to an object's procedure; the procedure it replaces comes
// back in *previous. FALSE when the window is missing or already belongs to another object.
BOOL BindWindowObject(HWND hwnd, void* object, WNDPROC proc, WNDPROC* previous);
// Undoes BindWindowObject; FALSE when someone else has replaced the procedure since (with force
// the object lets go of the window all the same).
BOOL UnbindWindowObject(HWND hwnd, void* object, WNDPROC proc, WNDPROC restore, bool force);
// A window or dialog object asked to take a second window while it still has one: refused
// (asserts in debug builds), with ERROR_INVALID_PARAMETER as the last error.
bool RefuseSecondWindow(HWND current);
} // namespace taluvo::ui::detail

class CWindowImplRoot : public CWindow, public CMessageMap {
public:
    const MSG* m_pCurrentMsg = nullptr;
    BOOL m_bMsgHandled = TRUE; // for handlers that mark a message unhandled after the fact

    const MSG* GetCurrentMessage() const { return m_pCurrentMsg; }
    BOOL IsMsgHandled() const { return m_bMsgHandled; }
    void SetMsgHandled(BOOL handled) { m_bMsgHandled = handled; }

    LRESULT ReflectNotifications(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
    {
        return taluvo::ui::detail::ReflectNotification(m_hWnd, uMsg, wParam, lParam, bHandled);
    }
    static BOOL DefaultReflectionHandler(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
    {
        return taluvo::ui::detail::DefaultReflection(hWnd, uMsg, wParam, lParam, lResult);
    }

    // Called after the last message (WM_NCDESTROY); the object may delete itself here.
    virtual void OnFinalMessage(HWND /*hWnd*/) { }

protected:
    // The one path from a window's or a dialog's procedure to the message map: the object takes
    // its handle at the first message, keeps the message for GetCurrentMessage() while the map
    // runs (nested messages included), and lets go of the handle after WM_NCDESTROY. A message
    // the map leaves gets its result from `unhandled`, which runs while the object still exists:
    // OnFinalMessage may delete it, so nothing touches it after that. TRUE when the map handled
    // the message.
    template <class Unhandled>
    BOOL RouteMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, Unhandled unhandled)
    {
        if (!m_hWnd)
            m_hWnd = hWnd;
        MSG msg;
        msg.hwnd = hWnd;
        msg.message = uMsg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        const MSG* previous = m_pCurrentMsg;
        m_pCurrentMsg = &msg;
        lResult = 0;
        const BOOL handled = ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0);
        m_pCurrentMsg = previous;
        if (!handled)
            lResult = unhandled();
        if (uMsg == WM_NCDESTROY) {
            m_hWnd = nullptr;
            OnFinalMessage(hWnd);
        }
        return handled;
    }
};

class CWindowImplBase : public CWindowImplRoot {
public:
    WNDPROC m_pfnSuperWindowProc = ::DefWindowProc;

    virtual WNDPROC GetWindowProc() { return WindowProc; }

    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        return ::CallWindowProc(m_pfnSuperWindowProc, m_hWnd, uMsg, wParam, lParam);
    }
    LRESULT DefWindowProc()
    {
        const MSG* msg = m_pCurrentMsg;
        return msg ? DefWindowProc(msg->message, msg->wParam, msg->lParam) : 0;
    }

    static LRESULT WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<CWindowImplBase*>(taluvo::ui::detail::WindowObject(hWnd));
        if (!self)
            return ::DefWindowProc(hWnd, uMsg, wParam, lParam);
        LRESULT lResult = 0;
        self->RouteMessage(hWnd, uMsg, wParam, lParam, lResult,
            [&] { return ::CallWindowProc(self->m_pfnSuperWindowProc, hWnd, uMsg, wParam, lParam); });
        return lResult;
    }

    HWND Create(const QString& className, HWND hWndParent, const RECT* rect, const QString& windowName, DWORD style,
        DWORD exStyle, UINT_PTR id, LPVOID createParam)
    {
        if (taluvo::ui::detail::RefuseSecondWindow(m_hWnd))
            return nullptr;
        return taluvo::ui::detail::CreateImplWindow(
            GetWindowProc(), this, className, hWndParent, rect, windowName, style, exStyle, id, createParam);
    }

    // Takes over the messages of an existing window (a control of a dialog, say): the message map
    // sees them first, and what it leaves goes to the window's previous procedure. FALSE when the
    // window does not exist, this object has a window already, or another object has taken it.
    BOOL SubclassWindow(HWND hWnd)
    {
        if (taluvo::ui::detail::RefuseSecondWindow(m_hWnd))
            return FALSE;
        WNDPROC previous = nullptr;
        if (!taluvo::ui::detail::BindWindowObject(hWnd, this, GetWindowProc(), &previous))
            return FALSE;
        m_pfnSuperWindowProc = previous;
        m_hWnd = hWnd;
        return TRUE;
    }
    // Gives the window its previous procedure back; the window, or null when it cannot be undone
    // (nothing subclassed, or a later subclass sits on top and bForce is not set).
    HWND UnsubclassWindow(BOOL bForce = FALSE)
    {
        if (!m_hWnd)
            return nullptr;
        HWND hWnd = m_hWnd;
        if (!taluvo::ui::detail::UnbindWindowObject(hWnd, this, GetWindowProc(), m_pfnSuperWindowProc, bForce != FALSE))
            return nullptr;
        m_pfnSuperWindowProc = ::DefWindowProc;
        m_hWnd = nullptr;
        return hWnd;
    }
};

// T supplies the message map; GetWndClassName may be overridden by DECLARE_WND_CLASS.
template <class T, class TBase = CWindow> class CWindowImpl : public CWindowImplBase {
public:
    static const char16_t* GetWndClassName() { return u"TaluvoWindow"; }

    HWND Create(HWND hWndParent, const RECT* rect = nullptr, const QString& windowName = QString(), DWORD style = 0,
        DWORD exStyle = 0, UINT_PTR id = 0, LPVOID createParam = nullptr)
    {
        return CWindowImplBase::Create(
            QString::fromUtf16(T::GetWndClassName()), hWndParent, rect, windowName, style, exStyle, id, createParam);
    }
};

#define DECLARE_WND_CLASS(name)                                                                                        \
    static const char16_t* GetWndClassName()                                                                           \
    {                                                                                                                  \
        return name;                                                                                                   \
    }

class CDialogImplBase : public CWindowImplRoot {
public:
    // On the non-template base, so a base class shared by several dialogs can end them and lay
    // them out.
    BOOL EndDialog(int nRetCode) { return ::EndDialog(m_hWnd, nRetCode); }
    BOOL MapDialogRect(RECT* rect) const { return ::MapDialogRect(m_hWnd, rect); }

    static INT_PTR DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<CDialogImplBase*>(taluvo::ui::detail::WindowObject(hWnd));
        if (!self)
            return FALSE;
        LRESULT lResult = 0;
        // A message the map leaves goes to the dialog manager's own handling (FALSE).
        const BOOL handled = self->RouteMessage(hWnd, uMsg, wParam, lParam, lResult, [] { return LRESULT(0); });
        if (!handled || uMsg == WM_NCDESTROY)
            return FALSE;
        switch (uMsg) {
        // These answer through the return value itself, as the dialog manager expects.
        case WM_INITDIALOG:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return lResult;
        default:
            ::SetWindowLongPtr(hWnd, DWLP_MSGRESULT, lResult);
            return TRUE;
        }
    }
};

// T declares enum { IDD = <template id> } and the message map.
template <class T, class TBase = CWindow> class CDialogImpl : public CDialogImplBase {
public:
    // -1 when the dialog cannot be made (unknown template, a control that cannot be created, or
    // this object already showing a dialog).
    INT_PTR DoModal(HWND hWndParent = ::GetActiveWindow(), LPARAM dwInitParam = 0)
    {
        if (taluvo::ui::detail::RefuseSecondWindow(m_hWnd))
            return -1;
        return taluvo::ui::detail::RunDialog(static_cast<WORD>(T::IDD), hWndParent, DialogProc, this, dwInitParam);
    }
    HWND Create(HWND hWndParent, LPARAM dwInitParam = 0)
    {
        if (taluvo::ui::detail::RefuseSecondWindow(m_hWnd))
            return nullptr;
        return taluvo::ui::detail::CreateModelessDialog(
            static_cast<WORD>(T::IDD), hWndParent, DialogProc, this, dwInitParam);
    }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
};
