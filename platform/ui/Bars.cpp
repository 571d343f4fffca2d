// The frame's bars over Qt widgets, one file each: toolbar (ToolBar.cpp), status bar
// (StatusBar.cpp), rebar (Rebar.cpp) and command bar (CommandBar.cpp). Here: what they share.
#include "platform/ui/detail/Bars.h"

#include "platform/ui/UserApi.h"

namespace taluvo::ui::detail {

void AlignToParent(HWND hwnd, int height, bool bottom)
{
    auto record = Find(hwnd);
    if (!record || !record->parent)
        return;
    RECT client;
    if (!GetClientRect(record->parent, &client))
        return;
    const int width = client.right - client.left;
    MoveWindow(hwnd, 0, bottom ? client.bottom - height : 0, width, height, TRUE);
}

void RegisterBarClasses()
{
    RegisterToolBarClass();
    RegisterStatusBarClass();
    RegisterRebarClass();
    RegisterCommandBarClass();
}

} // namespace taluvo::ui::detail
