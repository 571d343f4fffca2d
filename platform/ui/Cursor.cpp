// The pointer over Qt: the system cursors are Qt's cursor shapes behind fixed handles; the cursor
// set with SetCursor goes onto the widget the pointer is over; WM_SETCURSOR runs before each pointer
// move reaches a window, and WM_MOUSELEAVE is posted when a tracked window loses the pointer.
#include "platform/ui/Cursor.h"

#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>

using namespace taluvo::ui::detail;

namespace {

struct SystemCursor {
    WORD id;
    Qt::CursorShape shape;
};
constexpr SystemCursor kSystemCursors[] = {
    { 32512, Qt::ArrowCursor },
    { 32513, Qt::IBeamCursor },
    { 32514, Qt::WaitCursor },
    { 32644, Qt::SizeHorCursor },
    { 32649, Qt::PointingHandCursor },
};

// Odd values: icon handles are even, so a cursor can never be taken for an icon.
HCURSOR HandleOf(WORD id)
{
    return reinterpret_cast<HCURSOR>((static_cast<uintptr_t>(id) << 1) | 1);
}

const SystemCursor* CursorOf(HCURSOR handle)
{
    for (const auto& cursor : kSystemCursors)
        if (HandleOf(cursor.id) == handle)
            return &cursor;
    return nullptr;
}

HCURSOR HandleOfShape(Qt::CursorShape shape)
{
    for (const auto& cursor : kSystemCursors)
        if (cursor.shape == shape)
            return HandleOf(cursor.id);
    return nullptr;
}

thread_local HCURSOR t_current = nullptr;
thread_local QPointer<QWidget> t_hover; // the widget the pointer is over

constexpr const char* kOwnCursor = "taluvo_own_cursor";

// Puts a cursor on a widget, keeping the widget's own (an edit's I-beam) for when the default
// handling gives the window its cursor back.
void ShowOn(QWidget* widget, HCURSOR cursor)
{
    if (!widget->property(kOwnCursor).isValid())
        widget->setProperty(kOwnCursor,
            widget->testAttribute(Qt::WA_SetCursor) ? QVariant::fromValue(widget->cursor()) : QVariant(false));
    const SystemCursor* system = CursorOf(cursor);
    widget->setCursor(system ? system->shape : Qt::BlankCursor);
}

void ShowOwnCursor(QWidget* widget)
{
    const QVariant own = widget->property(kOwnCursor);
    if (!own.isValid())
        return;
    if (own.canConvert<QCursor>() && own.typeId() == QMetaType::QCursor)
        widget->setCursor(own.value<QCursor>());
    else
        widget->unsetCursor();
}

class CursorFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (!object->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(object);
        switch (event->type()) {
        case QEvent::Enter:
            if (FromWidget(widget)) {
                // Windows tells a window of every pointer move, buttons down or not.
                widget->setMouseTracking(true);
                t_hover = widget;
            }
            return false;
        case QEvent::MouseMove:
            Moved(widget, static_cast<QMouseEvent*>(event));
            return false;
        case QEvent::Leave:
            Left(widget);
            return false;
        default:
            return false;
        }
    }

private:
    void Moved(QWidget* widget, QMouseEvent* event)
    {
        // Qt hands an ignored move on to the parent widget; the window under the pointer hears once.
        if (event->timestamp() != 0 && event->timestamp() == m_lastStamp && event->globalPosition() == m_lastWhere)
            return;
        m_lastStamp = event->timestamp();
        m_lastWhere = event->globalPosition();
        auto record = FromWidget(widget);
        if (!record)
            return;
        t_hover = widget;
        SendMessage(record->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(record->hwnd),
            MAKELPARAM(static_cast<WORD>(HTCLIENT), static_cast<WORD>(WM_MOUSEMOVE)));
    }

    static void Left(QWidget* widget)
    {
        const QVariant value = widget->property("taluvo_hwnd");
        if (!value.isValid())
            return;
        auto record = Find(reinterpret_cast<HWND>(value.value<quintptr>()));
        if (!record || !record->trackingLeave)
            return;
        record->trackingLeave = false;
        PostMessage(record->hwnd, WM_MOUSELEAVE, 0, 0);
    }

    ulong m_lastStamp = 0;
    QPointF m_lastWhere;
};

} // namespace

HCURSOR LoadCursor(HINSTANCE instance, LPCWSTR name)
{
    if (!instance && IS_INTRESOURCE(name)) {
        const WORD id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
        for (const auto& cursor : kSystemCursors)
            if (cursor.id == id)
                return HandleOf(id);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

BOOL DestroyCursor(HCURSOR cursor)
{
    return CursorOf(cursor) ? TRUE : FALSE; // shared cursors stay
}

HCURSOR SetCursor(HCURSOR cursor)
{
    const HCURSOR previous = t_current;
    t_current = cursor;
    if (QWidget* widget = t_hover.data())
        ShowOn(widget, cursor);
    return previous;
}

HCURSOR GetCursor()
{
    return t_current;
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* track)
{
    if (!track || !(track->dwFlags & TME_LEAVE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto record = Find(track->hwndTrack);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (track->dwFlags & TME_CANCEL) {
        record->trackingLeave = false;
        return TRUE;
    }
    QWidget* widget = record->widget.data();
    const bool over = widget && widget->isVisible() && widget->rect().contains(widget->mapFromGlobal(QCursor::pos()));
    if (!over) {
        PostMessage(record->hwnd, WM_MOUSELEAVE, 0, 0);
        return TRUE;
    }
    record->trackingLeave = true;
    return TRUE;
}

namespace taluvo::ui {

HCURSOR WindowCursor(HWND hwnd)
{
    auto record = Find(hwnd);
    if (!record || !record->widget)
        return nullptr;
    // The widget the pointer is over inside the window (an edit's text area) shows the cursor.
    QWidget* widget = record->widget.data();
    if (QWidget* hover = t_hover.data(); hover && (hover == widget || widget->isAncestorOf(hover)))
        widget = hover;
    if (widget->testAttribute(Qt::WA_SetCursor))
        return HandleOfShape(widget->cursor().shape());
    return record->classCursor ? record->classCursor : HandleOf(32512);
}

} // namespace taluvo::ui

namespace taluvo::ui::detail {

void InstallCursorFilter()
{
    auto* app = QCoreApplication::instance();
    app->installEventFilter(new CursorFilter(app));
}

LRESULT CursorMessage(WindowRecord& record, WPARAM wParam, LPARAM lParam)
{
    if ((record.style & WS_CHILD) && record.parent && SendMessage(record.parent, WM_SETCURSOR, wParam, lParam))
        return TRUE;
    if (LOWORD(lParam) != HTCLIENT)
        return FALSE;
    QWidget* hover = t_hover.data();
    QWidget* widget = record.widget.data();
    if (!hover || !widget || (hover != widget && !widget->isAncestorOf(hover)))
        return FALSE;
    if (record.classCursor)
        ShowOn(hover, record.classCursor);
    else
        ShowOwnCursor(hover);
    return FALSE;
}

} // namespace taluvo::ui::detail
