// Internals shared by the menu code and the command bar: Qt menus built from menu objects.
#pragma once

#include "platform/ui/Menu.h"

class QMenu;

namespace taluvo::ui::detail {

// Rebuilds the Qt menu from the menu object: an item's text, enabled, checked and default state
// as the object holds them now. Hovering an item sends WM_MENUSELECT to the owner; opening a
// popup sends WM_INITMENUPOPUP first; choosing a command calls `chosen` with its id.
void FillQMenu(QMenu* qmenu, HMENU menu, HWND owner, const std::function<void(UINT)>& chosen);

// WM_MENUSELECT for an item of a menu (flags MF_POPUP for a popup); (0xFFFF, null) when the menu
// closes.
void SendMenuSelect(HWND owner, HMENU menu, UINT idOrIndex, UINT flags);

} // namespace taluvo::ui::detail
