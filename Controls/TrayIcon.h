// One icon in the desktop's notification area on behalf of a window: its image and tip, a popup
// menu on a right click, the menu's default command on a left click, a list of images to step or
// cycle through, and the icon put back whenever the tray comes (back) while the program wants it
// shown.
//
// The icon id is also the id of the menu resource whose first popup is the icon's menu.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/Tray.h"

#include <QString>

#include <functional>
#include <utility>
#include <vector>

// What the icon's hidden window hears when a tray (re)appears: a shown icon is added again.
constexpr UINT WM_TRAY_TASKBAR_CREATED = WM_TASKBARCREATED;
constexpr UINT_PTR kTrayIconCycleTimerId = 4567;

class CTrayIcon {
public:
    CTrayIcon();
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Makes the hidden window and the icon's data; unless hidden, adds the icon. The tip is cut to
    // 62 characters. FALSE when the icon could not be added.
    BOOL Create(HINSTANCE instance, HWND notifyWnd, UINT callbackMessage, const QString& tip, HICON icon, UINT id,
        BOOL hidden = FALSE);

    BOOL AddIcon();
    BOOL RemoveIcon();
    BOOL ShowIcon();
    BOOL HideIcon();
    BOOL ReAddIcon();
    BOOL IsVisible() const { return !m_bHidden; }

    BOOL SetIcon(HICON icon);
    BOOL SetIconFromResource(WORD id);
    // The icon of an image file at the default icon size; FALSE when the file cannot be loaded.
    BOOL SetIconFromFile(const QString& path);
    // One of the system's icons (IDI_APPLICATION, IDI_WARNING, ...); FALSE for any other name.
    BOOL SetSystemIcon(LPCWSTR name);
    BOOL SetSystemIcon(UINT id) { return SetSystemIcon(MAKEINTRESOURCE(static_cast<WORD>(id))); }
    HICON GetIcon() const;

    // Icons first..last of the resources; the current index becomes -1. FALSE when last < first.
    BOOL SetIconList(UINT first, UINT last);
    BOOL SetIconList(const HICON* icons, int lastIndex);
    int GetCurrentIconIndex() const { return m_nCurrentIcon; }
    BOOL ShowNextIcon();
    // Steps through the list every intervalMs, for durationSeconds (0 or less: until stopped).
    BOOL StartIconCycle(UINT intervalMs, int durationSeconds);
    BOOL StopIconCycle();

    BOOL SetTipText(const QString& tip);
    BOOL SetTipText(UINT stringId);
    QString GetTipText() const;
    BOOL SetCallbackWindow(HWND hwnd);
    HWND GetCallbackWindow() const { return m_tnd.hWnd; }
    BOOL SetCommandWindow(HWND hwnd);
    HWND GetCommandWindow() const { return m_hCommandWnd ? m_hCommandWnd : m_tnd.hWnd; }
    BOOL SetNotifyMessage(UINT message);
    UINT GetNotifyMessage() const { return m_tnd.uCallbackMessage; }

    BOOL SetMenuDefaultItem(UINT item, BOOL byPosition);
    void GetDefaultMenuItem(UINT& item, BOOL& byPosition) const
    {
        item = m_uDefaultItem;
        byPosition = m_bDefaultByPosition;
    }

    // WM_RBUTTONUP: the menu at the cursor; WM_LBUTTONUP: the default command posted to the
    // command window; NIN_ICONPLACED: the placed handler. 0 for another icon or without a command
    // window, else 1.
    virtual LRESULT OnTrayNotification(WPARAM id, LPARAM mouseMessage);
    // Runs whenever the tray reports that it placed or moved the icon (what points at the icon
    // follows it); none by default.
    void SetPlacedHandler(std::function<void()> handler) { m_onPlaced = std::move(handler); }
    virtual void CustomizeMenu(HMENU) { }

    // A tray (re)appeared: an icon the program shows is added again.
    void OnTaskbarCreated();
    HWND GetHiddenWindow() const { return m_wnd.m_hWnd; }

    // TRUE while the icon is not in the tray.
    BOOL m_bHidden = TRUE;

private:
    class CHiddenWnd : public CWindowImpl<CHiddenWnd> {
    public:
        DECLARE_WND_CLASS(u"TrayIconClass")
        explicit CHiddenWnd(CTrayIcon& owner)
            : m_owner(owner)
        {
        }
        BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD = 0) override;

    private:
        CTrayIcon& m_owner;
    };

    BOOL Apply(UINT flags);
    void OnCycleTimer();
    // Shows an icon this object loaded itself and keeps it as long as it may be shown or handed
    // out (GetIcon); the icon it loaded before goes.
    BOOL SetLoadedIcon(HICON icon);

    NOTIFYICONDATA m_tnd;
    HINSTANCE m_hInstance = nullptr;
    CHiddenWnd m_wnd;
    HWND m_hCommandWnd = nullptr;
    BOOL m_bEnabled = FALSE;
    BOOL m_bRemoved = TRUE;
    BOOL m_bWantShown = FALSE; // the program asked for the icon and has not taken it away since
    std::vector<HICON> m_icons;
    int m_nCurrentIcon = -1;
    UINT_PTR m_uCycleTimer = 0;
    qint64 m_tCycleStart = 0;
    int m_nCycleSeconds = 0;
    HICON m_hSavedIcon = nullptr;
    UINT m_uDefaultItem = 0;
    BOOL m_bDefaultByPosition = TRUE;
    UINT m_uCreationFlags = 0;
    HICON m_hLoadedIcon = nullptr; // loaded from a file or the system's icons, owned
    std::function<void()> m_onPlaced;
};
