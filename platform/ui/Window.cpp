// Window state on top of the widgets, the default window procedure, and the input filter that turns
// Qt's input into the messages window procedures and message filters see.
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QSessionManager>
#include <QStyle>
#include <QWheelEvent>
#include <QWindowStateChangeEvent>

#include <mutex>
#include <unordered_map>

using namespace taluvo::ui::detail;

namespace {

// Brings a widget to the front of its siblings, or a top-level window to the front of the screen.
// The offscreen platform has no screen stacking and warns on every such raise.
void Raise(QWidget* widget)
{
    if (!widget->isWindow() || !taluvo::ui::IsHeadless())
        widget->raise();
}

// The input message being delivered from Qt right now: DefWindowProc on it means "let the widget
// have its default handling".
thread_local const MSG* t_input = nullptr;
thread_local bool t_inputDefault = false;

bool IsTopLevel(const WindowRecord& record)
{
    return !(record.style & WS_CHILD);
}

// ---------------------------------------------------------------------------------------------
// Icons

class Icons {
public:
    static Icons& Instance()
    {
        static Icons* icons = new Icons;
        return *icons;
    }
    HICON Add(const QIcon& icon)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_next += 2;
        m_icons[m_next] = icon;
        return reinterpret_cast<HICON>(m_next);
    }
    QIcon Get(HICON handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_icons.find(reinterpret_cast<uintptr_t>(handle));
        return it == m_icons.end() ? QIcon() : it->second;
    }
    bool Remove(HICON handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_icons.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
    }
    void SetResource(WORD id, const QString& path)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_resources[id] = path;
    }
    bool Resource(WORD id, QString* path)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_resources.find(id);
        if (it == m_resources.end())
            return false;
        *path = it->second;
        return true;
    }

private:
    std::mutex m_lock;
    uintptr_t m_next = 0x20000;
    std::unordered_map<uintptr_t, QIcon> m_icons;
    std::unordered_map<WORD, QString> m_resources;
};

} // namespace

namespace taluvo::ui::detail {

QIcon IconOf(HICON icon)
{
    return Icons::Instance().Get(icon);
}
HICON IconHandle(const QIcon& icon)
{
    return Icons::Instance().Add(icon);
}

} // namespace taluvo::ui::detail

void taluvo::ui::RegisterIconResource(WORD id, const QString& imagePath)
{
    Icons::Instance().SetResource(id, imagePath);
}

namespace {

// The desktop style's picture for one of the system's icon ids; null for any other id or
// without an application object.
QIcon SystemIcon(WORD id)
{
    QStyle* style = qobject_cast<QApplication*>(QCoreApplication::instance()) ? QApplication::style() : nullptr;
    if (!style)
        return QIcon();
    switch (id) {
    case 32512: // IDI_APPLICATION
    case 32517: // IDI_WINLOGO
        return QGuiApplication::windowIcon().isNull() ? style->standardIcon(QStyle::SP_ComputerIcon)
                                                      : QGuiApplication::windowIcon();
    case 32513: // IDI_HAND, IDI_ERROR
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case 32514: // IDI_QUESTION
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case 32515: // IDI_EXCLAMATION, IDI_WARNING
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case 32516: // IDI_ASTERISK, IDI_INFORMATION
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case 32518: // IDI_SHIELD
        return style->standardIcon(QStyle::SP_VistaShield);
    default:
        return QIcon();
    }
}

} // namespace

HICON LoadIcon(HINSTANCE, LPCWSTR name)
{
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const WORD id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    QString path;
    if (Icons::Instance().Resource(id, &path))
        return Icons::Instance().Add(QIcon(path));
    const QIcon system = SystemIcon(id);
    if (system.isNull()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return Icons::Instance().Add(system);
}

BOOL DestroyIcon(HICON icon)
{
    return Icons::Instance().Remove(icon) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Default window procedure

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (t_input && t_input->hwnd == hwnd && t_input->message == message)
        t_inputDefault = true;
    auto record = Find(hwnd);
    if (!record)
        return 0;
    QWidget* widget = record->widget.data();
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT:
        record->text = TextParam(lParam);
        if (widget && IsTopLevel(*record))
            widget->setWindowTitle(record->text);
        return TRUE;
    case WM_GETTEXTLENGTH:
        return record->text.size();
    case WM_GETTEXT:
        return CopyText(record->text, wParam, lParam);
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            SendMessage(hwnd, WM_CLOSE, 0, 0);
            return 0;
        case SC_MINIMIZE:
            if (widget && !widget->isMinimized())
                widget->showMinimized();
            return 0;
        case SC_MAXIMIZE:
            if (widget)
                widget->showMaximized();
            return 0;
        case SC_RESTORE:
            if (widget)
                widget->showNormal();
            return 0;
        }
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_SETICON: {
        HICON& slot = wParam == ICON_BIG ? record->iconBig : record->iconSmall;
        HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        if (widget && IsTopLevel(*record))
            widget->setWindowIcon(IconOf(record->iconBig ? record->iconBig : record->iconSmall));
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? record->iconBig : record->iconSmall);
    case WM_SETFONT:
    case WM_GETFONT:
        return FontMessage(*record, message, wParam, lParam);
    case WM_SETCURSOR:
        return CursorMessage(*record, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        return 0;
    default:
        // Reflected notifications come back unchanged to the default handling of the control.
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Window state

LONG_PTR GetWindowLongPtr(HWND hwnd, int index)
{
    auto record = Find(hwnd);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (record->isDialog) {
        if (index == DWLP_MSGRESULT)
            return record->msgResult;
        if (index == DWLP_USER)
            return record->dlgUser;
    }
    switch (index) {
    case GWL_STYLE: {
        DWORD style = record->style;
        if (record->widget && record->widget->isMinimized())
            style |= WS_MINIMIZE;
        return static_cast<LONG_PTR>(style);
    }
    case GWL_EXSTYLE:
        return record->exStyle;
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(record->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(record->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(record->parent);
    case GWLP_ID:
        return static_cast<LONG_PTR>(record->id);
    case GWLP_USERDATA:
        return record->userData;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value)
{
    auto record = Find(hwnd);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    if (record->isDialog && (index == DWLP_MSGRESULT || index == DWLP_USER)) {
        LONG_PTR& slot = index == DWLP_MSGRESULT ? record->msgResult : record->dlgUser;
        previous = slot;
        slot = value;
        return previous;
    }
    switch (index) {
    case GWL_STYLE:
        // The bits only: like Windows, changing WS_VISIBLE this way does not show or hide.
        previous = record->style;
        record->style = static_cast<DWORD>(value);
        return previous;
    case GWL_EXSTYLE:
        previous = record->exStyle;
        record->exStyle = static_cast<DWORD>(value);
        return previous;
    case GWLP_WNDPROC:
        previous = reinterpret_cast<LONG_PTR>(record->proc);
        record->proc = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWLP_HWNDPARENT: {
        previous = reinterpret_cast<LONG_PTR>(record->parent);
        auto owner = Find(reinterpret_cast<HWND>(value));
        record->parent = owner ? owner->hwnd : nullptr;
        if (record->widget && IsTopLevel(*record)) {
            QWidget* widget = record->widget.data();
            const bool visible = widget->isVisible();
            const Qt::WindowFlags flags = widget->windowFlags();
            widget->setParent(owner && owner->widget ? owner->widget->window() : nullptr, flags);
            if (visible)
                widget->show();
        }
        return previous;
    }
    case GWLP_ID:
        previous = static_cast<LONG_PTR>(record->id);
        record->id = static_cast<UINT_PTR>(value);
        return previous;
    case GWLP_USERDATA:
        previous = record->userData;
        record->userData = value;
        return previous;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

BOOL SetWindowText(HWND hwnd, const QString& text)
{
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const QString copy = text; // NUL-terminated storage for the call
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.utf16())) ? TRUE : FALSE;
}

int GetWindowTextLength(HWND hwnd)
{
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

QString GetWindowText(HWND hwnd)
{
    const int length = GetWindowTextLength(hwnd);
    if (length <= 0)
        return QString();
    std::u16string buffer(static_cast<size_t>(length) + 1, u'\0');
    const auto copied = SendMessage(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return QString::fromUtf16(buffer.data(), std::max<LRESULT>(0, copied));
}

int GetClassName(HWND hwnd, char16_t* buffer, int size)
{
    auto record = Find(hwnd);
    if (!record || !buffer || size <= 0) {
        SetLastError(record ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const int count = std::min<int>(record->className.size(), size - 1);
    std::copy_n(reinterpret_cast<const char16_t*>(record->className.utf16()), count, buffer);
    buffer[count] = u'\0';
    return count;
}

HWND GetParent(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? record->parent : nullptr;
}

HWND GetDlgItem(HWND dialog, int id)
{
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (const auto& child : Children(dialog))
        if ((child->style & WS_CHILD) && static_cast<int>(child->id) == id)
            return child->hwnd;
    SetLastError(1421); // ERROR_CONTROL_ID_NOT_FOUND
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? static_cast<int>(record->id) : 0;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    auto record = Find(hwnd);
    if (!record)
        return FALSE;
    const BOOL wasDisabled = (record->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable)
        record->style &= ~WS_DISABLED;
    else
        record->style |= WS_DISABLED;
    if (record->widget)
        record->widget->setEnabled(enable != FALSE);
    if (wasDisabled == (enable ? TRUE : FALSE))
        SendMessage(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    auto record = Find(hwnd);
    return record && !(record->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    auto record = Find(hwnd);
    if (!record)
        return FALSE;
    const BOOL wasVisible = (record->style & WS_VISIBLE) ? TRUE : FALSE;
    QWidget* widget = record->widget.data();
    if (command == SW_HIDE) {
        record->style &= ~WS_VISIBLE;
        if (widget)
            widget->hide();
        return wasVisible;
    }
    if (!widget) {
        record->style |= WS_VISIBLE;
        return wasVisible;
    }
    PrepareToShow(*record);
    record->style |= WS_VISIBLE;
    const bool noActivate = command == SW_SHOWNOACTIVATE || command == SW_SHOWNA || command == SW_SHOWMINNOACTIVE;
    if (noActivate)
        widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
    switch (command) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        widget->showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        widget->showMaximized();
        break;
    case SW_RESTORE:
        widget->showNormal();
        break;
    default:
        widget->show();
        if (!noActivate && IsTopLevel(*record)) {
            Raise(widget);
            widget->activateWindow();
        }
        break;
    }
    if (noActivate)
        widget->setAttribute(Qt::WA_ShowWithoutActivating, false);
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd)
{
    // Visible when it and every parent carry WS_VISIBLE.
    for (auto record = Find(hwnd); record; record = (record->style & WS_CHILD) ? Find(record->parent) : nullptr)
        if (!(record->style & WS_VISIBLE))
            return FALSE;
    return IsWindow(hwnd);
}

BOOL IsIconic(HWND hwnd)
{
    QWidget* widget = WidgetOf(hwnd);
    return widget && widget->window()->isMinimized() ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd)
{
    QWidget* widget = WidgetOf(hwnd);
    return widget && widget->window()->isMaximized() ? TRUE : FALSE;
}

namespace {

HWND HwndOfWidget(const QWidget* widget)
{
    auto record = FromWidget(widget);
    return record ? record->hwnd : nullptr;
}

} // namespace

HWND SetFocus(HWND hwnd)
{
    HWND previous = GetFocus();
    if (QWidget* widget = WidgetOf(hwnd)) {
        // A control that wraps an inner editor (the combo box) takes focus through its proxy.
        widget->setFocus(Qt::OtherFocusReason);
    }
    return previous;
}

HWND GetFocus()
{
    return HwndOfWidget(QApplication::focusWidget());
}

HWND GetActiveWindow()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        if (HWND hwnd = HwndOfWidget(modal))
            return hwnd;
    return HwndOfWidget(QApplication::activeWindow());
}

HWND SetActiveWindow(HWND hwnd)
{
    HWND previous = GetActiveWindow();
    if (QWidget* widget = WidgetOf(hwnd))
        widget->window()->activateWindow();
    return previous;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    QWidget* widget = WidgetOf(hwnd);
    if (!widget)
        return FALSE;
    Raise(widget->window());
    widget->window()->activateWindow();
    return TRUE;
}

HWND GetDesktopWindow()
{
    // The desktop is no window of ours; a fixed handle that no window ever gets stands for it.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10001));
}

namespace {

bool IsDesktop(HWND hwnd)
{
    return hwnd == GetDesktopWindow();
}

QRect ScreenRect()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

RECT ToRect(const QRect& r)
{
    return RECT { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
}

} // namespace

RECT GetWorkArea(HWND near)
{
    QScreen* screen = nullptr;
    if (QWidget* widget = WidgetOf(near))
        screen = widget->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return ToRect(screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768));
}

BOOL SystemParametersInfo(UINT action, UINT, void* value, UINT)
{
    if (action == SPI_GETWORKAREA && value) {
        *static_cast<RECT*>(value) = GetWorkArea(nullptr);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect)
{
    if (!rect)
        return FALSE;
    if (IsDesktop(hwnd)) {
        if (!QGuiApplication::primaryScreen())
            return FALSE;
        *rect = ToRect(ScreenRect());
        return TRUE;
    }
    auto record = Find(hwnd);
    if (!record || !record->widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    QWidget* widget = record->widget.data();
    if (widget->isWindow()) {
        *rect = ToRect(widget->frameGeometry());
    } else {
        const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
        *rect = ToRect(QRect(origin, widget->size()));
    }
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect)
{
    if (!rect)
        return FALSE;
    if (IsDesktop(hwnd)) {
        const QRect screen = ScreenRect();
        *rect = RECT { 0, 0, screen.width(), screen.height() };
        return TRUE;
    }
    QWidget* widget = WidgetOf(hwnd);
    if (!widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT { 0, 0, widget->width(), widget->height() };
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL)
{
    QWidget* widget = WidgetOf(hwnd);
    if (!widget)
        return FALSE;
    if (widget->isWindow()) {
        // The rectangle is the outer one; Qt places the frame at the position given to move().
        widget->move(x, y);
        const QSize frameExtra = widget->frameGeometry().size() - widget->size();
        widget->resize(std::max(0, width - frameExtra.width()), std::max(0, height - frameExtra.height()));
    } else {
        widget->setGeometry(x, y, std::max(0, width), std::max(0, height));
    }
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags)
{
    auto record = Find(hwnd);
    QWidget* widget = record ? record->widget.data() : nullptr;
    if (!widget)
        return FALSE;
    if (!(flags & SWP_NOMOVE))
        widget->move(x, y);
    if (!(flags & SWP_NOSIZE))
        widget->resize(std::max(0, cx), std::max(0, cy));
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW)
        ShowWindow(hwnd, SW_HIDE);
    if (!(flags & SWP_NOZORDER) || (flags & SWP_SHOWWINDOW))
        Raise(widget);
    return TRUE;
}

namespace {

BOOL MapPoint(HWND hwnd, POINT* point, bool toScreen)
{
    QWidget* widget = WidgetOf(hwnd);
    if (!widget || !point)
        return FALSE;
    const QPoint in(point->x, point->y);
    const QPoint out = toScreen ? widget->mapToGlobal(in) : widget->mapFromGlobal(in);
    point->x = out.x();
    point->y = out.y();
    return TRUE;
}

} // namespace

BOOL ScreenToClient(HWND hwnd, POINT* point)
{
    return MapPoint(hwnd, point, false);
}
BOOL ClientToScreen(HWND hwnd, POINT* point)
{
    return MapPoint(hwnd, point, true);
}

BOOL GetCursorPos(POINT* point)
{
    if (!point)
        return FALSE;
    const QPoint p = QCursor::pos();
    point->x = p.x();
    point->y = p.y();
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL)
{
    QWidget* widget = WidgetOf(hwnd);
    if (!widget)
        return FALSE;
    if (rect)
        widget->update(QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top));
    else
        widget->update();
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    QWidget* widget = WidgetOf(hwnd);
    if (!widget)
        return FALSE;
    widget->repaint();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Input filter

namespace {

UINT VirtualKey(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<UINT>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<UINT>('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return static_cast<UINT>(key & 0xFF);
    }
}

WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    WPARAM keys = 0;
    if (buttons & Qt::LeftButton)
        keys |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        keys |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        keys |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        keys |= MK_CONTROL;
    return keys;
}

UINT MouseMessage(QEvent::Type type, Qt::MouseButton button)
{
    const int base = button == Qt::RightButton ? WM_RBUTTONDOWN
        : button == Qt::MiddleButton           ? WM_MBUTTONDOWN
                                               : WM_LBUTTONDOWN;
    switch (type) {
    case QEvent::MouseButtonPress:
        return base;
    case QEvent::MouseButtonRelease:
        return base + 1;
    case QEvent::MouseButtonDblClick:
        return base + 2;
    default:
        return WM_MOUSEMOVE;
    }
}

// Delivers one input message: the main loop's filters first (newest first, may swallow), then the
// window procedure. True when the Qt event is consumed (a filter or a handler took it).
bool DeliverInput(MSG& msg, LoopObserver* observer)
{
    if (observer) {
        observer->InputHandled(msg);
        if (observer->FilterInput(msg))
            return true;
    }
    auto record = Find(msg.hwnd);
    if (!record || !record->proc)
        return false;
    const MSG* outer = t_input;
    const bool outerDefault = t_inputDefault;
    t_input = &msg;
    t_inputDefault = false;
    CallWindowProc(record->proc, msg.hwnd, msg.message, msg.wParam, msg.lParam);
    const bool handled = !t_inputDefault;
    t_input = outer;
    t_inputDefault = outerDefault;
    return handled;
}

// Modifier keys and buttons of the input being handled, for GetKeyState.
Qt::KeyboardModifiers g_inputModifiers;
Qt::MouseButtons g_inputButtons;

class InputFilter : public QObject {
public:
    explicit InputFilter(QObject* parent)
        : QObject(parent)
    {
    }
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (!object->isWidgetType())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return Mouse(static_cast<QWidget*>(object), static_cast<QMouseEvent*>(event));
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return Key(static_cast<QWidget*>(object), static_cast<QKeyEvent*>(event));
        case QEvent::Wheel:
            return Wheel(static_cast<QWidget*>(object), static_cast<QWheelEvent*>(event));
        case QEvent::ContextMenu:
            return ContextMenu(static_cast<QWidget*>(object), static_cast<QContextMenuEvent*>(event));
        case QEvent::Close:
            return Close(static_cast<QWidget*>(object), event);
        case QEvent::Resize:
            Resized(static_cast<QWidget*>(object));
            return false;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            Focus(static_cast<QWidget*>(object), event->type() == QEvent::FocusIn);
            return false;
        case QEvent::WindowStateChange:
            StateChanged(static_cast<QWidget*>(object), static_cast<QWindowStateChangeEvent*>(event));
            return false;
        default:
            return false;
        }
    }

private:
    // Qt passes an ignored mouse or key event on to the parent widget; the message goes out once.
    bool Seen(QInputEvent* event, QEvent::Type type, QPointF where)
    {
        const bool same = event->timestamp() != 0 && event->timestamp() == m_lastStamp && type == m_lastType
            && where == m_lastWhere;
        m_lastStamp = event->timestamp();
        m_lastType = type;
        m_lastWhere = where;
        return same;
    }

    static RecordPtr Exact(QWidget* widget)
    {
        const QVariant value = widget->property("taluvo_hwnd");
        return value.isValid() ? Find(reinterpret_cast<HWND>(value.value<quintptr>())) : nullptr;
    }

    bool Mouse(QWidget* widget, QMouseEvent* event)
    {
        auto record = FromWidget(widget);
        if (!record || !record->widget || Seen(event, event->type(), event->globalPosition()))
            return false;
        g_inputModifiers = event->modifiers();
        g_inputButtons = event->buttons();
        const QPoint local = record->widget->mapFromGlobal(event->globalPosition().toPoint());
        MSG msg;
        msg.hwnd = record->hwnd;
        msg.message = MouseMessage(event->type(), event->button());
        msg.wParam = MouseKeys(event->buttons(), event->modifiers());
        msg.lParam = MAKELPARAM(static_cast<WORD>(local.x()), static_cast<WORD>(local.y()));
        msg.time = static_cast<DWORD>(event->timestamp());
        msg.pt = POINT { event->globalPosition().toPoint().x(), event->globalPosition().toPoint().y() };
        return DeliverInput(msg, ObserverFor());
    }

    bool Key(QWidget* widget, QKeyEvent* event)
    {
        auto record = FromWidget(widget);
        if (!record || Seen(event, event->type(), QPointF(event->key(), 0)))
            return false;
        g_inputModifiers = event->modifiers();
        const bool alt = event->modifiers() & Qt::AltModifier;
        const bool press = event->type() == QEvent::KeyPress;
        MSG msg;
        msg.hwnd = record->hwnd;
        msg.message = press ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
        msg.wParam = VirtualKey(event->key());
        msg.lParam = 1 | (event->isAutoRepeat() ? (1 << 30) : 0) | (press ? 0 : (3u << 30));
        msg.time = static_cast<DWORD>(event->timestamp());
        const QPoint cursor = QCursor::pos();
        msg.pt = POINT { cursor.x(), cursor.y() };
        LoopObserver* observer = ObserverFor();
        if (DeliverInput(msg, observer))
            return true;
        // The character the key produces, as TranslateMessage would have made it.
        if (press && !event->text().isEmpty() && event->text().at(0).isPrint()) {
            MSG chr = msg;
            chr.message = alt ? WM_SYSCHAR : WM_CHAR;
            chr.wParam = event->text().at(0).unicode();
            return DeliverInput(chr, nullptr);
        }
        return false;
    }

    bool Wheel(QWidget* widget, QWheelEvent* event)
    {
        auto record = FromWidget(widget);
        if (!record || Seen(event, event->type(), event->globalPosition()))
            return false;
        const QPoint global = event->globalPosition().toPoint();
        MSG msg;
        msg.hwnd = record->hwnd;
        msg.message = WM_MOUSEWHEEL;
        const int delta = event->angleDelta().y();
        msg.wParam = MAKEWPARAM(static_cast<WORD>(MouseKeys(event->buttons(), event->modifiers())),
            static_cast<WORD>(static_cast<short>(delta)));
        msg.lParam = MAKELPARAM(static_cast<WORD>(global.x()), static_cast<WORD>(global.y()));
        msg.pt = POINT { global.x(), global.y() };
        return DeliverInput(msg, ObserverFor());
    }

    // The context-menu request (right click or the menu key) goes to the window under it with the
    // screen point; its default handling leaves the widget's own menu, if any.
    bool ContextMenu(QWidget* widget, QContextMenuEvent* event)
    {
        auto record = FromWidget(widget);
        if (!record || (m_lastMenuWidget == record->hwnd && m_lastMenuPos == event->globalPos()))
            return false;
        m_lastMenuWidget = record->hwnd;
        m_lastMenuPos = event->globalPos();
        MSG msg;
        msg.hwnd = record->hwnd;
        msg.message = WM_CONTEXTMENU;
        msg.wParam = reinterpret_cast<WPARAM>(record->hwnd);
        // The keyboard's menu key has no point: Windows sends (-1, -1) for it.
        const QPoint p = event->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : event->globalPos();
        msg.lParam = MAKELPARAM(static_cast<WORD>(p.x()), static_cast<WORD>(p.y()));
        msg.pt = POINT{event->globalPos().x(), event->globalPos().y()};
        const bool handled = DeliverInput(msg, nullptr);
        m_lastMenuWidget = nullptr;
        return handled;
    }

    bool Close(QWidget* widget, QEvent* event)
    {
        auto record = Exact(widget);
        if (!record || !widget->isWindow())
            return false;
        // The close box is the system menu's Close: the window decides (a dialog cancels).
        event->ignore();
        SendMessage(record->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }

    void Resized(QWidget* widget)
    {
        auto record = Exact(widget);
        if (!record)
            return;
        const WPARAM kind = widget->isMinimized() ? SIZE_MINIMIZED
            : widget->isMaximized()               ? SIZE_MAXIMIZED
                                                  : SIZE_RESTORED;
        SendMessage(record->hwnd, WM_SIZE, kind,
            MAKELPARAM(static_cast<WORD>(widget->width()), static_cast<WORD>(widget->height())));
    }

    void Focus(QWidget* widget, bool in)
    {
        // A control's inner editor (a combo box's line edit) has no window; its control has.
        auto record = FromWidget(widget);
        if (!record)
            return;
        SendMessage(record->hwnd, in ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
    }

    void StateChanged(QWidget* widget, QWindowStateChangeEvent* event)
    {
        auto record = Exact(widget);
        if (!record || !widget->isWindow())
            return;
        const bool nowMinimized = widget->isMinimized();
        const bool wasMinimized = event->oldState() & Qt::WindowMinimized;
        if (nowMinimized && !wasMinimized) {
            // The window manager minimised it already; the window still hears the command, and
            // its default handling finds nothing left to do.
            SendMessage(record->hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            SendMessage(record->hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        }
    }

    static LoopObserver* ObserverFor() { return ActiveMainObserverForInput(); }

    HWND m_lastMenuWidget = nullptr;
    QPoint m_lastMenuPos;
    ulong m_lastStamp = 0;
    QEvent::Type m_lastType = QEvent::None;
    QPointF m_lastWhere;
};

} // namespace

namespace taluvo::ui::detail {

void InstallInputFilter()
{
    auto* app = QCoreApplication::instance();
    app->installEventFilter(new InputFilter(app));
    if (auto* gui = qobject_cast<QGuiApplication*>(app)) {
        // The session is ending: every top-level window is asked, as WM_QUERYENDSESSION does.
        QObject::connect(gui, &QGuiApplication::commitDataRequest, [](QSessionManager& manager) {
            if (!taluvo::ui::EndSession())
                manager.cancel();
        });
    }
}

} // namespace taluvo::ui::detail

namespace taluvo::ui {

bool EndSession()
{
    std::vector<HWND> asked;
    bool allow = true;
    for (const auto& record : TopLevelWindows()) {
        asked.push_back(record->hwnd);
        if (!SendMessage(record->hwnd, WM_QUERYENDSESSION, 0, 0)) {
            allow = false;
            break;
        }
    }
    for (HWND hwnd : asked)
        SendMessage(hwnd, WM_ENDSESSION, allow ? TRUE : FALSE, 0);
    return allow;
}

} // namespace taluvo::ui

SHORT GetKeyState(int virtualKey)
{
    bool down = false;
    switch (virtualKey) {
    case VK_CONTROL:
        down = g_inputModifiers & Qt::ControlModifier;
        break;
    case VK_SHIFT:
        down = g_inputModifiers & Qt::ShiftModifier;
        break;
    case VK_MENU:
        down = g_inputModifiers & Qt::AltModifier;
        break;
    case 0x01: // VK_LBUTTON
        down = g_inputButtons & Qt::LeftButton;
        break;
    case 0x02: // VK_RBUTTON
        down = g_inputButtons & Qt::RightButton;
        break;
    default:
        break;
    }
    return down ? static_cast<SHORT>(0x8000) : 0;
}
