// Top-level windows and the window manager: window types and flags from the styles, the window's
// shape, the backdrop of a frameless popup, the windows under a point and WM_ACTIVATEAPP.
#include "platform/ui/PopupWindow.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/detail/PaintState.h"

#include "platform/base/KernelObjects.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

using namespace taluvo::ui::detail;

namespace {

bool IsFramelessPopup(const WindowRecord& record)
{
    return !(record.style & WS_CHILD) && (record.style & WS_POPUP) && (record.style & WS_CAPTION) != WS_CAPTION;
}

// Under a Wayland session the program runs through XWayland, whose screen holds the program's own
// X windows only: a grab there would give black where other programs' windows are.
bool ScreenCanBeRead()
{
    if (taluvo::ui::IsHeadless())
        return false;
    return qgetenv("WAYLAND_DISPLAY").isEmpty() && qgetenv("XDG_SESSION_TYPE") != "wayland";
}

bool g_appActive = false;

void TellActivation(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    if (active == g_appActive)
        return;
    g_appActive = active;
    for (const auto& record : TopLevelWindows())
        SendMessage(record->hwnd, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
}

} // namespace

namespace taluvo::ui::detail {

void ApplyTopLevelStyle(WindowRecord& record, QWidget* widget, QWidget* ownerWidget)
{
    const bool frameless = IsFramelessPopup(record);
    const bool tool = (record.exStyle & WS_EX_TOOLWINDOW) != 0;
    Qt::WindowFlags flags = Qt::Window;
    if (frameless && tool) {
        // A tip: the window manager neither frames it nor lists it nor gives it the focus.
        flags = Qt::ToolTip;
    } else if (tool || (ownerWidget && !(record.exStyle & WS_EX_APPWINDOW))) {
        // An owned window stays above its owner and off the task bar.
        flags = Qt::Tool;
    }
    if (frameless)
        flags |= Qt::FramelessWindowHint;
    if (record.exStyle & WS_EX_TOPMOST)
        flags |= Qt::WindowStaysOnTopHint;
    widget->setParent(ownerWidget ? ownerWidget->window() : nullptr, flags);
    if (frameless && tool)
        widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
}

void PrepareToShow(WindowRecord& record)
{
    QWidget* widget = record.widget.data();
    if (!widget || widget->isVisible() || !IsFramelessPopup(record))
        return;
    // What lies under the popup before it covers it: its paints start from it, so a tip that blends
    // itself with its background blends with the screen (no compositor needed).
    PaintState& state = PaintStateOf(record);
    state.backdrop = QImage();
    state.shown = QImage();
    if (!ScreenCanBeRead())
        return;
    const QRect area = widget->geometry();
    QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen || area.isEmpty())
        return;
    const QRect screenArea = screen->geometry();
    const QImage grabbed
        = screen->grabWindow(0, area.x() - screenArea.x(), area.y() - screenArea.y(), area.width(), area.height())
              .toImage();
    if (grabbed.size() == area.size())
        state.backdrop = grabbed;
}

void InstallActivationWatch()
{
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!gui)
        return;
    g_appActive = gui->applicationState() == Qt::ApplicationActive;
    QObject::connect(gui, &QGuiApplication::applicationStateChanged, gui, &TellActivation);
}

} // namespace taluvo::ui::detail

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw)
{
    auto record = Find(hwnd);
    QWidget* widget = record ? record->widget.data() : nullptr;
    if (!widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (region) {
        widget->setMask(taluvo::ui::QRegionOf(region));
        DeleteObject(region);
    } else {
        widget->clearMask();
    }
    if (redraw)
        widget->update();
    return 1;
}

HWND WindowFromPoint(POINT screenPoint)
{
    QWidget* widget = QApplication::widgetAt(QPoint(screenPoint.x, screenPoint.y));
    auto record = widget ? FromWidget(widget) : nullptr;
    return record ? record->hwnd : nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT clientPoint)
{
    auto record = Find(parent);
    QWidget* widget = record ? record->widget.data() : nullptr;
    if (!widget)
        return nullptr;
    const QPoint point(clientPoint.x, clientPoint.y);
    if (!widget->rect().contains(point))
        return nullptr;
    for (const auto& child : Children(parent))
        if ((child->style & WS_CHILD) && child->widget && child->widget->geometry().contains(point))
            return child->hwnd;
    return parent;
}
