// Binding C++ window objects to windows: subclassing an existing window, and the refusal of an
// object that is asked to take a second window while it still has one (it would go on answering
// with the first window's handle).
#include "platform/ui/AtlWin.h"
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <cassert>

namespace taluvo::ui::detail {

bool RefuseSecondWindow(HWND current)
{
    if (!current || !::IsWindow(current))
        return false;
    assert(!"a window object already has a window");
    SetLastError(ERROR_INVALID_PARAMETER);
    return true;
}

BOOL BindWindowObject(HWND hwnd, void* object, WNDPROC proc, WNDPROC* previous)
{
    auto record = Find(hwnd);
    if (!record || !object || !proc) {
        SetLastError(record ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (record->object && record->object != object) {
        // One object per window: the procedures find their object through the window.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *previous = record->proc;
    record->object = object;
    record->proc = proc;
    return TRUE;
}

BOOL UnbindWindowObject(HWND hwnd, void* object, WNDPROC proc, WNDPROC restore, bool force)
{
    auto record = Find(hwnd);
    if (!record || record->object != object)
        return FALSE;
    const bool ours = record->proc == proc;
    if (!ours && !force)
        return FALSE;
    record->object = nullptr;
    if (ours)
        record->proc = restore;
    return TRUE;
}

} // namespace taluvo::ui::detail
