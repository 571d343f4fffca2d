// Creating and destroying windows, on the thread that owns them (the user-interface thread).
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/Process.h"

#include <algorithm>
#include <vector>

namespace {

using namespace taluvo::ui::detail;

// Widget of a window of a registered class or a window implementation: a plain surface.
class WindowWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    // The window procedure paints in WM_PAINT (the paint filter asks it); nothing of its own.
    void paintEvent(QPaintEvent*) override { }
};

} // namespace

namespace taluvo::ui::detail {

HWND CreateWindowObject(const CreateParams& params)
{
    EnsureUiSetup();
    if (!taluvo::ui::IsUiThread()) {
        SetLastError(ERROR_WRONG_THREAD);
        return nullptr;
    }
    ClassInfo info;
    if (!FindClass(params.className, &info)) {
        SetLastError(1407); // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    // The desktop as parent makes a top-level window, as on Windows.
    const HWND parentHandle = params.parent == GetDesktopWindow() ? nullptr : params.parent;
    RecordPtr parent = parentHandle ? Find(parentHandle) : nullptr;
    if (parentHandle && !parent) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto record = std::make_shared<WindowRecord>();
    record->threadId = GetCurrentThreadId();
    record->className = info.name;
    record->text = params.text;
    record->style = params.style;
    record->exStyle = params.exStyle;
    record->parent = parentHandle;
    record->id = (params.style & WS_CHILD) ? params.id : 0;
    record->instance = params.instance;
    record->proc = params.procOverride ? params.procOverride : info.proc;
    record->object = params.object;
    record->classCursor = info.cursor;
    if (params.prepare)
        params.prepare(*record);
    const HWND hwnd = AddToRegistry(record);

    QWidget* parentWidget = parent ? parent->widget.data() : nullptr;
    QWidget* widget = info.makeWidget ? info.makeWidget(*record, parentWidget) : nullptr;
    if (!widget) {
        widget = new WindowWidget((params.style & WS_CHILD) ? parentWidget : nullptr);
        if (!(params.style & WS_CHILD))
            ApplyTopLevelStyle(*record, widget, parentWidget);
    }
    widget->setProperty("taluvo_hwnd", QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(hwnd)));
    record->widget = widget;
    if (!(params.style & WS_CHILD) && !params.text.isEmpty())
        widget->setWindowTitle(params.text);
    if (params.exStyle & WS_EX_TOPMOST)
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (params.style & WS_DISABLED)
        widget->setEnabled(false);
    const bool defaultPos = params.x == CW_USEDEFAULT;
    const bool defaultSize = params.width == CW_USEDEFAULT;
    if (!defaultSize)
        widget->resize(std::max(0, params.width), std::max(0, params.height));
    if (!defaultPos)
        widget->move(params.x, params.y);

    CREATESTRUCT cs;
    cs.lpCreateParams = params.createParam;
    cs.hInstance = params.instance;
    cs.hMenu = reinterpret_cast<HMENU>(params.id);
    cs.hwndParent = params.parent;
    cs.x = params.x;
    cs.y = params.y;
    cs.cx = params.width;
    cs.cy = params.height;
    cs.style = static_cast<LONG>(params.style);
    cs.lpszName = reinterpret_cast<LPCWSTR>(params.text.utf16());
    const QString className = info.name;
    cs.lpszClass = reinterpret_cast<LPCWSTR>(className.utf16());
    cs.dwExStyle = params.exStyle;
    if (!SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))
        || SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(1400);
        return nullptr;
    }
    if (!IsWindow(hwnd))
        return nullptr;
    if (record->style & WS_VISIBLE)
        widget->show();
    else if (record->style & WS_CHILD)
        widget->hide(); // explicitly: Qt would show it with its parent, behind IsWindowVisible's back
    return hwnd;
}

} // namespace taluvo::ui::detail

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param)
{
    CreateParams params;
    params.exStyle = exStyle;
    params.className = className ? QString::fromUtf16(className) : QString();
    params.text = windowName ? QString::fromUtf16(windowName) : QString();
    params.style = style;
    params.x = x;
    params.y = y;
    params.width = width;
    params.height = height;
    params.parent = parent;
    params.id = reinterpret_cast<UINT_PTR>(menuOrId);
    params.instance = instance;
    params.createParam = param;
    return CreateWindowObject(params);
}

BOOL DestroyWindow(HWND hwnd)
{
    auto record = Find(hwnd);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (record->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_WRONG_THREAD);
        return FALSE;
    }
    if (record->destroying)
        return TRUE;
    record->destroying = true;
    if (record->widget && !(record->style & WS_CHILD))
        record->widget->hide();
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    // Children and owned popups go before their parent is gone, as on Windows.
    for (auto& child : Children(hwnd))
        DestroyWindow(child->hwnd);
    if (taluvo::ui::IsUiThread())
        KillWindowTimers(hwnd);
    SendMessage(hwnd, WM_NCDESTROY, 0, 0);
    RemoveFromRegistry(hwnd);

    // Nobody may wait for this window any longer: pending sends end with 0, posts are dropped.
    DropQueuedFor(*record);
    if (record->widget) {
        QWidget* widget = record->widget.data();
        record->widget.clear();
        widget->disconnect();
        BuryWidget(widget);
    }
    return TRUE;
}
