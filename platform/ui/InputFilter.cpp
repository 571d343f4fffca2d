// The input filter: turns Qt's input into the messages window procedures and message filters see,
// and GetKeyState for the input being handled.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/Process.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSessionManager>
#include <QWheelEvent>
#include <QWindowStateChangeEvent>

using namespace taluvo::ui::detail;

namespace {

// The input message being delivered from Qt right now: DefWindowProc on it means "let the widget
// have its default handling".
thread_local const MSG* t_input = nullptr;
thread_local bool t_inputDefault = false;

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
        msg.pt = POINT { event->globalPos().x(), event->globalPos().y() };
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

void DefaultHandlingAsked(HWND hwnd, UINT message)
{
    if (t_input && t_input->hwnd == hwnd && t_input->message == message)
        t_inputDefault = true;
}

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
