// Menu objects, accelerator tables, the string table and toolbar templates.
#include "platform/ui/Menu.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/detail/Core.h"
#include "platform/ui/detail/HandleTable.h"
#include "platform/ui/detail/MenuWidgets.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QPointer>

#include <map>
#include <memory>
#include <mutex>

using namespace taluvo::ui::detail;

namespace {

struct MenuItem {
    UINT id = 0;
    QString text;
    UINT state = 0; // MF_GRAYED | MF_CHECKED | MF_DEFAULT
    bool separator = false;
    HMENU popup = nullptr;
};
struct MenuObject {
    bool isPopup = false;
    std::vector<MenuItem> items;
};

// Menus belong to the user-interface thread, but a worker may look one up; the table is locked.
taluvo::ui::detail::HandleTable<HMENU, MenuObject>& Menus()
{
    static auto* table = new taluvo::ui::detail::HandleTable<HMENU, MenuObject>(0x20000);
    return *table;
}

HMENU NewMenu(bool popup)
{
    auto object = std::make_shared<MenuObject>();
    object->isPopup = popup;
    return Menus().Add(std::move(object));
}

// The item an id or position names; by command the popups are searched depth first.
MenuItem* Locate(HMENU menu, UINT item, UINT flags, HMENU* owner = nullptr)
{
    auto object = Menus().Find(menu);
    if (!object)
        return nullptr;
    if (flags & MF_BYPOSITION) {
        if (item >= object->items.size())
            return nullptr;
        if (owner)
            *owner = menu;
        return &object->items[item];
    }
    for (auto& entry : object->items) {
        if (!entry.popup && !entry.separator && entry.id == item) {
            if (owner)
                *owner = menu;
            return &entry;
        }
        if (entry.popup)
            if (MenuItem* found = Locate(entry.popup, item, flags, owner))
                return found;
    }
    return nullptr;
}

struct ResourceTables {
    std::mutex lock;
    std::map<WORD, std::vector<taluvo::ui::MenuTemplateItem>> menus;
    std::map<WORD, std::vector<ACCEL>> accelerators;
    std::map<UINT, QString> strings;
    std::map<WORD, taluvo::ui::ToolBarTemplate> toolBars;
};
ResourceTables& Tables()
{
    static ResourceTables tables;
    return tables;
}

void Build(HMENU menu, const std::vector<taluvo::ui::MenuTemplateItem>& items)
{
    for (const auto& item : items) {
        if (!item.popup.empty()) {
            HMENU popup = CreatePopupMenu();
            Build(popup, item.popup);
            AppendMenu(menu, MF_POPUP | item.state, reinterpret_cast<UINT_PTR>(popup), QString::fromUtf16(item.text));
        } else if (!item.text) {
            AppendMenu(menu, MF_SEPARATOR, 0, QString());
        } else {
            AppendMenu(menu, MF_STRING | item.state, item.id, QString::fromUtf16(item.text));
        }
    }
}

// Accelerator tables.
taluvo::ui::detail::HandleTable<HACCEL, const std::vector<ACCEL>>& AccelTables()
{
    static auto* table = new taluvo::ui::detail::HandleTable<HACCEL, const std::vector<ACCEL>>(0x30000);
    return *table;
}

std::mutex g_hookLock;
taluvo::ui::test::PopupMenuHook g_popupHook;
QPointer<QMenu> t_openPopup; // the TrackPopupMenu menu on screen (user-interface thread only)

BOOL ModifyState(HMENU menu, UINT item, UINT flags, UINT mask, UINT value, UINT* previous)
{
    MenuItem* entry = Locate(menu, item, flags);
    if (!entry)
        return FALSE;
    *previous = entry->state & mask;
    entry->state = (entry->state & ~mask) | (value & mask);
    return TRUE;
}

} // namespace

HMENU CreateMenu()
{
    return NewMenu(false);
}

HMENU CreatePopupMenu()
{
    return NewMenu(true);
}

BOOL IsMenu(HMENU menu)
{
    return Menus().Find(menu) ? TRUE : FALSE;
}

BOOL DestroyMenu(HMENU menu)
{
    auto object = Menus().Find(menu);
    if (!object) {
        SetLastError(1401); // ERROR_INVALID_MENU_HANDLE
        return FALSE;
    }
    Menus().Remove(menu);
    for (const auto& item : object->items)
        if (item.popup)
            DestroyMenu(item.popup);
    return TRUE;
}

HMENU LoadMenu(HINSTANCE, LPCWSTR name)
{
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::vector<taluvo::ui::MenuTemplateItem> items;
    {
        auto& tables = Tables();
        std::lock_guard<std::mutex> guard(tables.lock);
        auto it = tables.menus.find(static_cast<WORD>(reinterpret_cast<uintptr_t>(name)));
        if (it == tables.menus.end()) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        items = it->second;
    }
    HMENU menu = CreateMenu();
    Build(menu, items);
    return menu;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, const QString& text)
{
    auto object = Menus().Find(menu);
    if (!object)
        return FALSE;
    MenuItem item;
    item.separator = (flags & MF_SEPARATOR) != 0;
    if (flags & MF_POPUP) {
        item.popup = reinterpret_cast<HMENU>(idOrPopup);
        if (!IsMenu(item.popup))
            return FALSE;
    } else {
        item.id = static_cast<UINT>(idOrPopup);
    }
    item.text = text;
    item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_DEFAULT);
    if (flags & MF_BYPOSITION) {
        const size_t at = std::min<size_t>(position, object->items.size());
        object->items.insert(object->items.begin() + static_cast<std::ptrdiff_t>(at), item);
        return TRUE;
    }
    // By command: before the item with that id, else at the end (position -1 too).
    auto it = std::find_if(object->items.begin(), object->items.end(),
        [&](const MenuItem& e) { return !e.popup && !e.separator && e.id == position; });
    object->items.insert(it, item);
    return TRUE;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, const QString& text)
{
    return InsertMenu(menu, static_cast<UINT>(-1), (flags & ~MF_BYPOSITION) | MF_BYPOSITION, idOrPopup, text);
}

namespace {

BOOL Unlink(HMENU menu, UINT position, UINT flags, bool destroyPopup)
{
    HMENU owner = nullptr;
    MenuItem* entry = Locate(menu, position, flags, &owner);
    if (!entry)
        return FALSE;
    auto object = Menus().Find(owner);
    const HMENU popup = entry->popup;
    object->items.erase(object->items.begin() + (entry - object->items.data()));
    if (destroyPopup && popup)
        DestroyMenu(popup);
    return TRUE;
}

} // namespace

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags)
{
    return Unlink(menu, position, flags, true);
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags)
{
    return Unlink(menu, position, flags, false);
}

int GetMenuItemCount(HMENU menu)
{
    auto object = Menus().Find(menu);
    return object ? static_cast<int>(object->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position)
{
    auto object = Menus().Find(menu);
    if (!object || position < 0 || static_cast<size_t>(position) >= object->items.size())
        return static_cast<UINT>(-1);
    const MenuItem& item = object->items[static_cast<size_t>(position)];
    return item.popup ? static_cast<UINT>(-1) : item.id;
}

HMENU GetSubMenu(HMENU menu, int position)
{
    auto object = Menus().Find(menu);
    if (!object || position < 0 || static_cast<size_t>(position) >= object->items.size())
        return nullptr;
    return object->items[static_cast<size_t>(position)].popup;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT flags)
{
    UINT previous = 0;
    if (!ModifyState(menu, item, flags, MF_GRAYED | MF_DISABLED, flags, &previous))
        return static_cast<UINT>(-1);
    return previous;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags)
{
    UINT previous = 0;
    if (!ModifyState(menu, item, flags, MF_CHECKED, flags, &previous))
        return static_cast<DWORD>(-1);
    return previous;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags)
{
    MenuItem* entry = Locate(menu, item, flags);
    if (!entry)
        return static_cast<UINT>(-1);
    UINT state = entry->state;
    if (entry->separator)
        state |= MF_SEPARATOR;
    if (entry->popup)
        state |= MF_POPUP | (static_cast<UINT>(GetMenuItemCount(entry->popup)) << 8);
    return state;
}

BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition)
{
    auto object = Menus().Find(menu);
    if (!object)
        return FALSE;
    MenuItem* target = nullptr;
    if (item != static_cast<UINT>(-1)) {
        if (byPosition) {
            if (item >= object->items.size())
                return FALSE;
            target = &object->items[item];
        } else {
            for (auto& entry : object->items)
                if (!entry.popup && !entry.separator && entry.id == item)
                    target = &entry;
            if (!target)
                return FALSE;
        }
    }
    // One default item per menu.
    for (auto& entry : object->items)
        entry.state &= ~MF_DEFAULT;
    if (target)
        target->state |= MF_DEFAULT;
    return TRUE;
}

UINT GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT)
{
    auto object = Menus().Find(menu);
    if (!object)
        return static_cast<UINT>(-1);
    for (size_t i = 0; i < object->items.size(); ++i)
        if (object->items[i].state & MF_DEFAULT)
            return byPosition ? static_cast<UINT>(i) : object->items[i].id;
    return static_cast<UINT>(-1);
}

QString GetMenuString(HMENU menu, UINT item, UINT flags)
{
    MenuItem* entry = Locate(menu, item, flags);
    return entry ? entry->text : QString();
}

int GetMenuString(HMENU menu, UINT item, char16_t* buffer, int size, UINT flags)
{
    if (!Locate(menu, item, flags))
        return 0;
    const QString text = GetMenuString(menu, item, flags);
    if (!buffer || size <= 0)
        return static_cast<int>(text.size());
    return static_cast<int>(CopyText(text, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

// ---------------------------------------------------------------------------------------------
// Qt menus

namespace taluvo::ui::detail {

void SendMenuSelect(HWND owner, HMENU menu, UINT idOrIndex, UINT flags)
{
    if (!IsWindow(owner))
        return;
    if (!menu)
        SendMessage(owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    else
        SendMessage(owner, WM_MENUSELECT, MAKEWPARAM(static_cast<WORD>(idOrIndex), static_cast<WORD>(flags)),
            reinterpret_cast<LPARAM>(menu));
}

// Qt shows "text\tkey" in two columns and takes '&' for the mnemonic, as Windows does, so item
// texts go to Qt unchanged.
void FillQMenu(QMenu* qmenu, HMENU menu, HWND owner, const std::function<void(UINT)>& chosen)
{
    qmenu->clear();
    auto object = Menus().Find(menu);
    if (!object)
        return;
    for (size_t i = 0; i < object->items.size(); ++i) {
        const MenuItem& item = object->items[i];
        if (item.separator) {
            qmenu->addSeparator();
            continue;
        }
        if (item.popup) {
            QMenu* sub = qmenu->addMenu(item.text);
            sub->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
            const HMENU popup = item.popup;
            const int index = static_cast<int>(i);
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, popup, owner, index, chosen]() {
                if (IsWindow(owner))
                    SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup),
                        MAKELPARAM(static_cast<WORD>(index), FALSE));
                FillQMenu(sub, popup, owner, chosen);
            });
            QObject::connect(sub->menuAction(), &QAction::hovered, sub,
                [owner, menu, index]() { SendMenuSelect(owner, menu, static_cast<UINT>(index), MF_POPUP); });
            continue;
        }
        QAction* action = qmenu->addAction(item.text);
        action->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
        action->setCheckable((item.state & MF_CHECKED) != 0);
        action->setChecked((item.state & MF_CHECKED) != 0);
        action->setData(item.id);
        if (item.state & MF_DEFAULT) {
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
            qmenu->setDefaultAction(action);
        }
        const UINT id = item.id;
        const UINT flags = item.state;
        QObject::connect(action, &QAction::hovered, qmenu, [owner, menu, id, flags]() {
            SendMenuSelect(owner, menu, id, flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED));
        });
        QObject::connect(action, &QAction::triggered, qmenu, [id, chosen]() { chosen(id); });
    }
}

} // namespace taluvo::ui::detail

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    if (!IsMenu(menu) || !IsWindow(owner))
        return FALSE;
    if (!taluvo::ui::IsUiThread()) {
        SetLastError(ERROR_WRONG_THREAD);
        return FALSE;
    }
    SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    UINT command = 0;
    taluvo::ui::test::PopupMenuHook hook;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_popupHook;
    }
    if (hook) {
        command = hook(menu, owner, POINT { x, y });
        // A command that the menu holds disabled cannot be chosen.
        if (command && (GetMenuState(menu, command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)))
            command = 0;
    } else if (!taluvo::ui::IsHeadless()) {
        // The menu's own modal loop: sends from workers are served, filters and accelerators
        // rest, and a shutdown by signal closes the menu.
        QMenu qmenu;
        FillQMenu(&qmenu, menu, owner, [&command](UINT id) { command = id; });
        t_openPopup = &qmenu;
        qmenu.popup(QPoint(x, y));
        RunModalLoop([&qmenu] { return !qmenu.isVisible(); });
        qmenu.close();
        t_openPopup = nullptr;
    }
    SendMenuSelect(owner, nullptr, 0, 0);
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(command);
    if (command)
        PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
    return TRUE;
}

BOOL EndMenu()
{
    if (!t_openPopup)
        return FALSE;
    t_openPopup->close();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Accelerators

HACCEL LoadAccelerators(HINSTANCE, LPCWSTR name)
{
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::vector<ACCEL> entries;
    {
        auto& tables = Tables();
        std::lock_guard<std::mutex> guard(tables.lock);
        auto it = tables.accelerators.find(static_cast<WORD>(reinterpret_cast<uintptr_t>(name)));
        if (it == tables.accelerators.end()) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        entries = it->second;
    }
    return AccelTables().Add(std::make_shared<const std::vector<ACCEL>>(std::move(entries)));
}

HACCEL CreateAcceleratorTable(const ACCEL* entries, int count)
{
    if (!entries || count <= 0)
        return nullptr;
    return AccelTables().Add(std::make_shared<const std::vector<ACCEL>>(entries, entries + count));
}

BOOL DestroyAcceleratorTable(HACCEL table)
{
    return AccelTables().Remove(table) ? TRUE : FALSE;
}

int CopyAcceleratorTable(HACCEL table, ACCEL* entries, int count)
{
    const auto found = AccelTables().Find(table);
    if (!found)
        return 0;
    const std::vector<ACCEL>& all = *found;
    if (!entries)
        return static_cast<int>(all.size());
    const int copied = std::min(count, static_cast<int>(all.size()));
    std::copy_n(all.begin(), std::max(0, copied), entries);
    return std::max(0, copied);
}

int TranslateAccelerator(HWND hwnd, HACCEL table, MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return 0;
    const auto entries = AccelTables().Find(table);
    if (!IsWindow(hwnd) || !entries)
        return 0;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    for (const ACCEL& entry : *entries) {
        if (!(entry.fVirt & FVIRTKEY) || entry.key != msg->wParam)
            continue;
        if (ctrl != ((entry.fVirt & FCONTROL) != 0) || shift != ((entry.fVirt & FSHIFT) != 0)
            || alt != ((entry.fVirt & FALT) != 0))
            continue;
        // The command runs whatever its state in the menus: its handler checks what it needs.
        SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// String table and toolbar templates

int LoadString(HINSTANCE, UINT id, char16_t* buffer, int size)
{
    QString text;
    if (!taluvo::ui::LoadStringResource(id, &text) || !buffer || size <= 0) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    return static_cast<int>(CopyText(text, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

namespace taluvo::ui {

void RegisterMenuResource(WORD id, std::vector<MenuTemplateItem> items)
{
    auto& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.lock);
    tables.menus[id] = std::move(items);
}

void RegisterAcceleratorResource(WORD id, std::vector<ACCEL> entries)
{
    auto& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.lock);
    tables.accelerators[id] = std::move(entries);
}

void RegisterStringResources(std::initializer_list<std::pair<UINT, const char16_t*>> strings)
{
    auto& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.lock);
    for (const auto& [id, text] : strings)
        tables.strings[id] = QString::fromUtf16(text);
}

void RegisterToolBarResource(ToolBarTemplate toolBar)
{
    auto& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.lock);
    tables.toolBars[toolBar.id] = std::move(toolBar);
}

const ToolBarTemplate* FindToolBarResource(WORD id)
{
    auto& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.lock);
    auto it = tables.toolBars.find(id);
    // Entries are never removed, only replaced before use: the pointer stays valid.
    return it == tables.toolBars.end() ? nullptr : &it->second;
}

bool LoadStringResource(UINT id, QString* text)
{
    auto& tables = Tables();
    std::lock_guard<std::mutex> guard(tables.lock);
    auto it = tables.strings.find(id);
    if (it == tables.strings.end())
        return false;
    if (text)
        *text = it->second;
    return true;
}

QString AtlLoadString(UINT id)
{
    QString text;
    LoadStringResource(id, &text);
    return text;
}

namespace test {

PopupMenuHook SetPopupMenuHook(PopupMenuHook hook)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    std::swap(g_popupHook, hook);
    return hook;
}

} // namespace test
} // namespace taluvo::ui
