#include "Controls/TrayIcon.h"

#include "platform/base/Time.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Menu.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kTipLimit = 64;
constexpr UINT kSpiSetWorkArea = 47;

// The icon's menu resource (named by the icon id) and its first popup; both null when either is
// missing. The caller destroys the menu.
std::pair<HMENU, HMENU> LoadIconMenu(HINSTANCE instance, UINT id)
{
    HMENU menu = ::LoadMenu(instance, MAKEINTRESOURCE(LOWORD(id)));
    if (!menu)
        return { nullptr, nullptr };
    HMENU popup = ::GetSubMenu(menu, 0);
    if (!popup) {
        ::DestroyMenu(menu);
        return { nullptr, nullptr };
    }
    return { menu, popup };
}

void CopyTip(NOTIFYICONDATA& data, const QString& tip, int maxChars)
{
    const int length = static_cast<int>(std::min<qsizetype>(tip.size(), maxChars));
    std::fill(std::begin(data.szTip), std::end(data.szTip), u'\0');
    std::copy_n(tip.utf16(), length, data.szTip);
}

} // namespace

CTrayIcon::CTrayIcon()
    : m_wnd(*this)
{
    m_tnd.cbSize = 0;
}

CTrayIcon::~CTrayIcon()
{
    RemoveIcon();
    StopIconCycle();
    m_icons.clear();
    if (m_wnd.IsWindow())
        m_wnd.DestroyWindow();
    if (m_hLoadedIcon)
        ::DestroyIcon(m_hLoadedIcon);
}

BOOL CTrayIcon::Create(
    HINSTANCE instance, HWND notifyWnd, UINT callbackMessage, const QString& tip, HICON icon, UINT id, BOOL hidden)
{
    m_bEnabled = TRUE;
    m_hInstance = instance;
    if (!m_wnd.IsWindow())
        m_wnd.Create(nullptr, nullptr, QString(), WS_POPUP);

    m_tnd = NOTIFYICONDATA();
    m_tnd.hWnd = notifyWnd ? notifyWnd : m_wnd.m_hWnd;
    m_tnd.uID = id;
    m_tnd.hIcon = icon;
    m_tnd.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_tnd.uCallbackMessage = callbackMessage;
    CopyTip(m_tnd, tip, kTipLimit - 2);

    m_bHidden = hidden;
    m_hCommandWnd = m_tnd.hWnd;
    m_uCreationFlags = m_tnd.uFlags;
    if (hidden)
        return TRUE;

    m_bWantShown = TRUE;
    const BOOL added = Shell_NotifyIcon(NIM_ADD, &m_tnd);
    m_bRemoved = m_bHidden = !added;
    return added;
}

BOOL CTrayIcon::AddIcon()
{
    if (!m_bEnabled)
        return FALSE;
    if (!m_bRemoved)
        RemoveIcon();
    m_bWantShown = TRUE;
    m_tnd.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (Shell_NotifyIcon(NIM_ADD, &m_tnd))
        m_bHidden = m_bRemoved = FALSE;
    return !m_bRemoved;
}

BOOL CTrayIcon::RemoveIcon()
{
    m_bWantShown = FALSE;
    if (!m_bEnabled || m_bRemoved)
        return TRUE;
    m_tnd.uFlags = 0;
    if (Shell_NotifyIcon(NIM_DELETE, &m_tnd))
        m_bHidden = m_bRemoved = TRUE;
    return m_bRemoved;
}

BOOL CTrayIcon::ShowIcon()
{
    if (!m_bEnabled)
        return FALSE;
    if (m_bRemoved)
        return AddIcon();
    if (!m_bHidden)
        return TRUE;
    AddIcon();
    return !m_bHidden;
}

BOOL CTrayIcon::HideIcon()
{
    if (!m_bEnabled || m_bRemoved || m_bHidden) {
        m_bWantShown = FALSE;
        return TRUE;
    }
    RemoveIcon();
    return m_bHidden;
}

BOOL CTrayIcon::ReAddIcon()
{
    RemoveIcon();
    return AddIcon();
}

void CTrayIcon::OnTaskbarCreated()
{
    // A new tray knows nothing of the icons of the old one. Whenever the program wants the icon
    // shown (whether the last add failed or succeeded), it is added to the new tray.
    if (!m_bEnabled || !m_bWantShown)
        return;
    m_tnd.uFlags = m_uCreationFlags;
    if (Shell_NotifyIcon(NIM_ADD, &m_tnd) || Shell_NotifyIcon(NIM_MODIFY, &m_tnd))
        m_bHidden = m_bRemoved = FALSE;
}

BOOL CTrayIcon::Apply(UINT flags)
{
    m_tnd.uFlags = flags;
    if (m_bHidden)
        return TRUE;
    return Shell_NotifyIcon(NIM_MODIFY, &m_tnd);
}

BOOL CTrayIcon::SetIcon(HICON icon)
{
    if (!m_bEnabled)
        return FALSE;
    m_tnd.hIcon = icon;
    return Apply(NIF_ICON);
}

BOOL CTrayIcon::SetIconFromResource(WORD id)
{
    HICON icon = ::LoadIcon(m_hInstance, MAKEINTRESOURCE(id));
    return icon ? SetIcon(icon) : FALSE;
}

BOOL CTrayIcon::SetIconFromFile(const QString& path)
{
    HICON icon = static_cast<HICON>(::LoadImage(
        nullptr, reinterpret_cast<LPCWSTR>(path.utf16()), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
    return icon ? SetLoadedIcon(icon) : FALSE;
}

BOOL CTrayIcon::SetSystemIcon(LPCWSTR name)
{
    HICON icon = ::LoadIcon(nullptr, name);
    return icon ? SetLoadedIcon(icon) : FALSE;
}

BOOL CTrayIcon::SetLoadedIcon(HICON icon)
{
    // The tray keeps showing the handle it was given, and the icon locator puts it back after its
    // probe, so the icon lives until another loaded icon replaces it or the object goes.
    const BOOL result = SetIcon(icon);
    if (m_hLoadedIcon)
        ::DestroyIcon(m_hLoadedIcon);
    m_hLoadedIcon = icon;
    return result;
}

HICON CTrayIcon::GetIcon() const
{
    return m_bEnabled ? m_tnd.hIcon : nullptr;
}

BOOL CTrayIcon::SetIconList(UINT first, UINT last)
{
    if (last < first)
        return FALSE;
    m_nCurrentIcon = -1;
    m_icons.clear();
    for (UINT id = first; id <= last; ++id)
        m_icons.push_back(::LoadIcon(m_hInstance, MAKEINTRESOURCE(static_cast<WORD>(id))));
    return TRUE;
}

BOOL CTrayIcon::SetIconList(const HICON* icons, int lastIndex)
{
    m_nCurrentIcon = -1;
    m_icons.clear();
    if (!icons)
        return FALSE;
    m_icons.assign(icons, icons + lastIndex + 1);
    return TRUE;
}

BOOL CTrayIcon::ShowNextIcon()
{
    if (m_icons.empty())
        return FALSE;
    m_nCurrentIcon = (m_nCurrentIcon + 1) % static_cast<int>(m_icons.size());
    return SetIcon(m_icons[static_cast<size_t>(m_nCurrentIcon)]);
}

BOOL CTrayIcon::StartIconCycle(UINT intervalMs, int durationSeconds)
{
    if (m_icons.empty())
        return FALSE;
    StopIconCycle();
    m_nCurrentIcon = 0;
    m_tCycleStart = taluvo::UnixTimeNow();
    m_nCycleSeconds = durationSeconds;
    m_hSavedIcon = m_tnd.hIcon;
    m_uCycleTimer = m_wnd.IsWindow() ? m_wnd.SetTimer(kTrayIconCycleTimerId, intervalMs) : 0;
    return m_uCycleTimer != 0;
}

BOOL CTrayIcon::StopIconCycle()
{
    if (!m_uCycleTimer)
        return FALSE;
    const BOOL killed = m_wnd.IsWindow() ? m_wnd.KillTimer(kTrayIconCycleTimerId) : FALSE;
    m_uCycleTimer = 0;
    if (m_hSavedIcon)
        SetIcon(m_hSavedIcon);
    return killed;
}

void CTrayIcon::OnCycleTimer()
{
    if (m_nCycleSeconds > 0 && taluvo::UnixTimeNow() - m_tCycleStart > m_nCycleSeconds)
        StopIconCycle();
    else
        ShowNextIcon();
}

BOOL CTrayIcon::SetTipText(const QString& tip)
{
    if (!m_bEnabled)
        return FALSE;
    CopyTip(m_tnd, tip, kTipLimit - 1);
    return Apply(NIF_TIP);
}

BOOL CTrayIcon::SetTipText(UINT stringId)
{
    QString text;
    if (!taluvo::ui::LoadStringResource(stringId, &text))
        return FALSE;
    return SetTipText(text.left(kTipLimit - 2));
}

QString CTrayIcon::GetTipText() const
{
    if (!m_bEnabled)
        return QString();
    const char16_t* tip = m_tnd.szTip;
    qsizetype length = 0;
    while (length < kTipLimit - 2 && tip[length])
        ++length;
    return QString::fromUtf16(tip, length);
}

BOOL CTrayIcon::SetCallbackWindow(HWND hwnd)
{
    if (!m_bEnabled || !hwnd || !::IsWindow(hwnd))
        return FALSE;
    m_tnd.hWnd = hwnd;
    return Apply(0);
}

BOOL CTrayIcon::SetCommandWindow(HWND hwnd)
{
    m_hCommandWnd = hwnd;
    return TRUE;
}

BOOL CTrayIcon::SetNotifyMessage(UINT message)
{
    if (!m_bEnabled)
        return FALSE;
    m_tnd.uCallbackMessage = message;
    return Apply(NIF_MESSAGE);
}

BOOL CTrayIcon::SetMenuDefaultItem(UINT item, BOOL byPosition)
{
    if (item == m_uDefaultItem && byPosition == m_bDefaultByPosition)
        return TRUE;
    m_uDefaultItem = item;
    m_bDefaultByPosition = byPosition;
    const auto [menu, popup] = LoadIconMenu(m_hInstance, m_tnd.uID);
    if (!menu)
        return FALSE;
    ::SetMenuDefaultItem(popup, item, byPosition);
    ::DestroyMenu(menu);
    return TRUE;
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM id, LPARAM mouseMessage)
{
    if (id != m_tnd.uID)
        return 0;
    const UINT message = LOWORD(static_cast<DWORD>(mouseMessage));
    if (message == NIN_ICONPLACED) {
        if (m_onPlaced)
            m_onPlaced();
        return 1;
    }
    HWND commandWnd = GetCommandWindow();
    if (!commandWnd)
        return 0;

    if (message == WM_RBUTTONUP) {
        const auto [menu, popup] = LoadIconMenu(m_hInstance, static_cast<UINT>(id));
        if (!menu)
            return 0;
        ::SetMenuDefaultItem(popup, m_uDefaultItem, m_bDefaultByPosition);
        CustomizeMenu(popup);
        POINT cursor {};
        ::GetCursorPos(&cursor);
        ::SetForegroundWindow(m_tnd.hWnd);
        ::TrackPopupMenu(popup, TPM_LEFTBUTTON, cursor.x, cursor.y, 0, commandWnd, nullptr);
        ::PostMessage(m_tnd.hWnd, WM_NULL, 0, 0);
        ::DestroyMenu(menu);
    } else if (message == WM_LBUTTONUP) {
        ::SetForegroundWindow(m_tnd.hWnd);
        UINT command = m_uDefaultItem;
        if (m_bDefaultByPosition) {
            const auto [menu, popup] = LoadIconMenu(m_hInstance, static_cast<UINT>(id));
            if (!menu)
                return 0;
            command = ::GetMenuItemID(popup, static_cast<int>(m_uDefaultItem));
            ::DestroyMenu(menu);
        }
        ::PostMessage(commandWnd, WM_COMMAND, command, 0);
    }
    return 1;
}

BOOL CTrayIcon::CHiddenWnd::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD)
{
    if (uMsg == WM_TRAY_TASKBAR_CREATED || (uMsg == WM_SETTINGCHANGE && wParam == kSpiSetWorkArea)) {
        m_owner.OnTaskbarCreated();
        lResult = 0;
        return TRUE;
    }
    if (uMsg == WM_TIMER && wParam == kTrayIconCycleTimerId) {
        m_owner.OnCycleTimer();
        lResult = 0;
        return TRUE;
    }
    if (m_owner.m_tnd.uCallbackMessage && uMsg == m_owner.m_tnd.uCallbackMessage) {
        lResult = m_owner.OnTrayNotification(wParam, lParam);
        return TRUE;
    }
    return FALSE;
}
