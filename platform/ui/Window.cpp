// Window state on top of the widgets, icons, and the default window procedure. Qt's input reaches
// window procedures through the input filter (InputFilter.cpp).
#include "platform/ui/detail/MessageCore.h"

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
    DefaultHandlingAsked(hwnd, message);
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
    // Focus changes are handled here and answered 0; the default answers 0 for what is left over.
    case WM_SETFOCUS: // NOLINT(bugprone-branch-clone): a handled message, not a leftover
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
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
    const QString copy = text;
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
