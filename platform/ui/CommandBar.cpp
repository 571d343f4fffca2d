// The command bar: a QMenuBar built from a menu object, which it owns. Its commands are posted to
// the window that created it (the frame) once the menu has closed, as a tracked popup does.
#include "platform/ui/CommCtrl.h"

#include "platform/ui/Frame.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Bars.h"
#include "platform/ui/detail/MenuWidgets.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <vector>

using namespace taluvo::ui::detail;

namespace {

struct CommandBarState {
    HWND hwnd = nullptr;
    QMenuBar* bar = nullptr;
    HMENU menu = nullptr;
    std::vector<QMenu*> popups;
};

HWND OwnerOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? record->parent : nullptr;
}

void AttachMenu(CommandBarState& state, HMENU menu)
{
    state.bar->clear();
    state.popups.clear();
    state.menu = menu;
    const HWND owner = OwnerOf(state.hwnd);
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const HMENU popup = GetSubMenu(menu, i);
        const QString text = GetMenuString(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (!popup) {
            // A command on the bar itself.
            const UINT id = GetMenuItemID(menu, i);
            QAction* action = state.bar->addAction(text);
            action->setData(id);
            QObject::connect(action, &QAction::triggered, action,
                [owner, id]() { PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0); });
            state.popups.push_back(nullptr);
            continue;
        }
        QMenu* qmenu = state.bar->addMenu(text);
        state.popups.push_back(qmenu);
        auto chosen = [owner](UINT id) {
            // As a tracked popup does: the command is posted once the menu has closed.
            PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
        };
        FillQMenu(qmenu, popup, owner, chosen);
        QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [qmenu, popup, owner, i, chosen]() {
            if (IsWindow(owner))
                SendMessage(
                    owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(static_cast<WORD>(i), FALSE));
            FillQMenu(qmenu, popup, owner, chosen);
        });
        QObject::connect(qmenu, &QMenu::aboutToHide, qmenu, [owner]() { SendMenuSelect(owner, nullptr, 0, 0); });
        const HMENU bar = menu;
        // A title of the bar is selected only in menu mode, while one of the bar's menus is open:
        // the pointer crossing the bar, or the title Qt keeps highlighted after Escape closed its
        // menu, is no menu mode, and no menu's closing would ever follow to end it.
        QObject::connect(qmenu->menuAction(), &QAction::hovered, qmenu, [owner, bar, i]() {
            if (qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                SendMenuSelect(owner, bar, static_cast<UINT>(i), MF_POPUP);
        });
    }
}

LRESULT CommandBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf<CommandBarState>(hwnd);
    if (!state || !state->bar)
        return DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
    case CBRM_GETMENU:
        return reinterpret_cast<LRESULT>(state->menu);
    case CBRM_ATTACHMENU:
        if (state->menu && state->menu != reinterpret_cast<HMENU>(wParam))
            DestroyMenu(state->menu);
        AttachMenu(*state, reinterpret_cast<HMENU>(wParam));
        return TRUE;
    case WM_DESTROY:
        // The bar owns the menu it shows.
        if (state->menu)
            DestroyMenu(state->menu);
        state->menu = nullptr;
        return DefWindowProc(hwnd, message, wParam, lParam);
    case CBRM_REFRESH: {
        // Top-level entries take the menu's enabled state.
        const auto actions = state->bar->actions();
        for (int i = 0; i < actions.size(); ++i) {
            const UINT flags = GetMenuState(state->menu, static_cast<UINT>(i), MF_BYPOSITION);
            if (flags != static_cast<UINT>(-1))
                actions[i]->setEnabled(!(flags & (MF_GRAYED | MF_DISABLED)));
        }
        return TRUE;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeCommandBar(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<CommandBarState>();
    state->hwnd = record.hwnd;
    state->bar = new QMenuBar(parent);
    state->bar->setNativeMenuBar(false);
    record.controlState = state;
    return state->bar;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterCommandBarClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(COMMANDBARCLASSNAME), CommandBarProc, MakeCommandBar });
}

} // namespace taluvo::ui::detail

// Test hooks of the command bar's menus.
namespace taluvo::ui::test {

namespace {

QMenu* OpenPopup(HWND commandBar, int popupIndex)
{
    auto state = StateOf<CommandBarState>(commandBar);
    if (!state || popupIndex < 0 || static_cast<size_t>(popupIndex) >= state->popups.size())
        return nullptr;
    QMenu* menu = state->popups[static_cast<size_t>(popupIndex)];
    if (menu && !menu->isVisible())
        menu->popup(state->bar->mapToGlobal(QPoint(0, state->bar->height())));
    return menu;
}

QAction* ActionOf(QMenu* menu, UINT id)
{
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && !action->menu() && action->data().toUInt() == id)
            return action;
    return nullptr;
}

} // namespace

BOOL HoverMenuItem(HWND commandBar, int popupIndex, UINT id)
{
    QAction* action = ActionOf(OpenPopup(commandBar, popupIndex), id);
    if (!action)
        return FALSE;
    action->hover();
    return TRUE;
}

BOOL ChooseMenuItem(HWND commandBar, int popupIndex, UINT id)
{
    QMenu* menu = OpenPopup(commandBar, popupIndex);
    QAction* action = ActionOf(menu, id);
    if (!action || !action->isEnabled())
        return FALSE;
    menu->hide();
    action->trigger();
    return TRUE;
}

BOOL MenuItemShown(HWND commandBar, int popupIndex, UINT id, bool* enabled, bool* checked)
{
    QAction* action = ActionOf(OpenPopup(commandBar, popupIndex), id);
    if (!action)
        return FALSE;
    if (enabled)
        *enabled = action->isEnabled();
    if (checked)
        *checked = action->isChecked();
    return TRUE;
}

void CloseMenus(HWND commandBar)
{
    auto state = StateOf<CommandBarState>(commandBar);
    if (!state)
        return;
    for (QMenu* menu : state->popups)
        if (menu && menu->isVisible())
            menu->hide();
}

} // namespace taluvo::ui::test
