// Menus, accelerator tables, the string table and toolbar templates: the resources a frame window
// is built from, with the Windows calls the program makes on them.
//
// A menu is an object in a registry (HMENU is its key, so a stale handle fails): items with a
// command id or a popup, a text, and an enabled/checked/default state. Menu bars and popups are
// shown by Qt menus built from the object when they open, so the state the owner sets while
// handling WM_INITMENUPOPUP is the state the user sees. A command chosen from a popup of
// TrackPopupMenu is posted to the owner as WM_COMMAND, as on Windows.
//
// Accelerators are translated for the window given, whatever the state of the command in any
// menu: the handler decides whether it can run.
#pragma once

#include "platform/ui/AtlWin.h"

#include <QString>

#include <functional>
#include <initializer_list>
#include <vector>

struct HACCEL__;
using HACCEL = HACCEL__*;

// Menu item flags and states (AppendMenu, EnableMenuItem, CheckMenuItem, GetMenuState).
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_HILITE = 0x0080;
constexpr UINT MF_DEFAULT = 0x1000;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_DISABLED = MFS_GRAYED;
constexpr UINT MFS_CHECKED = MF_CHECKED;
constexpr UINT MFS_DEFAULT = MF_DEFAULT;

// TrackPopupMenu flags.
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// Accelerators.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;
struct ACCEL {
    BYTE fVirt = 0;
    WORD key = 0;
    WORD cmd = 0;
};
using LPACCEL = ACCEL*;

// Menus.
HMENU CreateMenu();
HMENU CreatePopupMenu();
BOOL DestroyMenu(HMENU menu); // with its popups
BOOL IsMenu(HMENU menu);
HMENU LoadMenu(HINSTANCE instance, LPCWSTR name);
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, const QString& text);
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, const QString& text);
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags); // a popup is not destroyed
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int position); // -1 for a popup or a bad position
HMENU GetSubMenu(HMENU menu, int position);
// The previous state (MF_GRAYED/MF_CHECKED/...), or -1 when the item does not exist. By command,
// the popups are searched too.
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition);
UINT GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT flags); // -1 when none
int GetMenuString(HMENU menu, UINT item, char16_t* buffer, int size, UINT flags);
QString GetMenuString(HMENU menu, UINT item, UINT flags);
// Shows a popup at a screen point for its owner: WM_INITMENUPOPUP and WM_MENUSELECT go to the
// owner while it is open; the chosen command is posted as WM_COMMAND, or returned with
// TPM_RETURNCMD (0 when nothing was chosen). Without a display and without a test hook nothing
// is chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* rect);
// Ends the popup menu open on this thread, as if dismissed.
BOOL EndMenu();

// Accelerators.
HACCEL LoadAccelerators(HINSTANCE instance, LPCWSTR name);
HACCEL CreateAcceleratorTable(const ACCEL* entries, int count);
BOOL DestroyAcceleratorTable(HACCEL table);
int CopyAcceleratorTable(HACCEL table, ACCEL* entries, int count); // without entries: the count
// A key-down matching an entry (virtual key and exactly its Ctrl/Shift/Alt) sends WM_COMMAND with
// the entry's command and notify code 1 to the window; TRUE then, and the key is consumed.
int TranslateAccelerator(HWND hwnd, HACCEL table, MSG* msg);

// String table. The length copied (without the NUL), 0 when the string does not exist.
int LoadString(HINSTANCE instance, UINT id, char16_t* buffer, int size);

namespace taluvo::ui {

// Resource tables, registered by the resource module at start (a later registration of the same
// id replaces the earlier one).
struct MenuTemplateItem {
    const char16_t* text = nullptr; // null: a separator
    UINT id = 0;
    std::vector<MenuTemplateItem> popup; // non-empty: a popup holding these items
    UINT state = 0; // MF_GRAYED, MF_CHECKED, MF_DEFAULT
};
void RegisterMenuResource(WORD id, std::vector<MenuTemplateItem> items);
void RegisterAcceleratorResource(WORD id, std::vector<ACCEL> entries);
void RegisterStringResources(std::initializer_list<std::pair<UINT, const char16_t*>> strings);
struct ToolBarTemplate {
    WORD id = 0;
    int width = 16; // button image size
    int height = 15;
    std::vector<WORD> items; // command ids; 0 is a separator
};
void RegisterToolBarResource(ToolBarTemplate toolBar);
const ToolBarTemplate* FindToolBarResource(WORD id);

// A string of the table; true when it exists.
bool LoadStringResource(UINT id, QString* text);
QString AtlLoadString(UINT id);

namespace test {

// Answers every TrackPopupMenu of this thread from a callback instead of showing the menu; the
// callback runs after WM_INITMENUPOPUP and returns the chosen command (0: dismissed).
using PopupMenuHook = std::function<UINT(HMENU menu, HWND owner, POINT at)>;
PopupMenuHook SetPopupMenuHook(PopupMenuHook hook);
class ScopedPopupMenuHook {
public:
    explicit ScopedPopupMenuHook(PopupMenuHook hook)
        : m_previous(SetPopupMenuHook(std::move(hook)))
    {
    }
    ~ScopedPopupMenuHook() { SetPopupMenuHook(std::move(m_previous)); }
    ScopedPopupMenuHook(const ScopedPopupMenuHook&) = delete;
    ScopedPopupMenuHook& operator=(const ScopedPopupMenuHook&) = delete;

private:
    PopupMenuHook m_previous;
};

} // namespace test
} // namespace taluvo::ui

// Owning and non-owning menu wrappers.
template <bool owning> class CMenuT {
public:
    HMENU m_hMenu = nullptr;

    CMenuT(HMENU menu = nullptr)
        : m_hMenu(menu)
    {
    }
    ~CMenuT()
    {
        if (owning && m_hMenu)
            ::DestroyMenu(m_hMenu);
    }
    CMenuT(const CMenuT&) = delete;
    CMenuT& operator=(const CMenuT&) = delete;
    CMenuT& operator=(HMENU menu)
    {
        Attach(menu);
        return *this;
    }
    operator HMENU() const { return m_hMenu; }
    bool IsNull() const { return m_hMenu == nullptr; }
    BOOL IsMenu() const { return ::IsMenu(m_hMenu); }

    void Attach(HMENU menu)
    {
        if (owning && m_hMenu && m_hMenu != menu)
            ::DestroyMenu(m_hMenu);
        m_hMenu = menu;
    }
    HMENU Detach()
    {
        HMENU menu = m_hMenu;
        m_hMenu = nullptr;
        return menu;
    }
    BOOL LoadMenu(WORD id)
    {
        Attach(::LoadMenu(nullptr, MAKEINTRESOURCE(id)));
        return m_hMenu != nullptr;
    }
    BOOL CreatePopupMenu()
    {
        Attach(::CreatePopupMenu());
        return m_hMenu != nullptr;
    }
    BOOL DestroyMenu()
    {
        const BOOL done = ::DestroyMenu(m_hMenu);
        m_hMenu = nullptr;
        return done;
    }
    HMENU GetSubMenu(int position) const { return ::GetSubMenu(m_hMenu, position); }
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
    UINT GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
    UINT EnableMenuItem(UINT item, UINT flags) { return ::EnableMenuItem(m_hMenu, item, flags); }
    DWORD CheckMenuItem(UINT item, UINT flags) { return ::CheckMenuItem(m_hMenu, item, flags); }
    BOOL SetMenuDefaultItem(UINT item, BOOL byPosition = FALSE)
    {
        return ::SetMenuDefaultItem(m_hMenu, item, byPosition);
    }
    BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, const QString& text = QString())
    {
        return ::AppendMenu(m_hMenu, flags, idOrPopup, text);
    }
    BOOL TrackPopupMenu(UINT flags, int x, int y, HWND owner, const RECT* rect = nullptr)
    {
        return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner, rect);
    }
};
using CMenu = CMenuT<true>;
using CMenuHandle = CMenuT<false>;
