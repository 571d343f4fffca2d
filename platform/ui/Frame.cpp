// The frame window's bars and layout, the UI-update map and the splitter.
#include "platform/ui/Frame.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/detail/Core.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Command bar

HWND CCommandBarCtrl::Create(HWND parent, const RECT* rect, const QString& name, DWORD style, DWORD exStyle, UINT id)
{
    m_hWnd = ::CreateWindowEx(exStyle, COMMANDBARCLASSNAME, nullptr, style, rect ? rect->left : 0, rect ? rect->top : 0,
        rect ? rect->right - rect->left : 0, rect ? rect->bottom - rect->top : 0, parent,
        reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
    (void)name;
    return m_hWnd;
}

// ---------------------------------------------------------------------------------------------
// UI-update map

void CUpdateUIBase::InitUpdateUI(const _AtlUpdateUIMap* map)
{
    for (; map && map->m_nID != static_cast<WORD>(-1); ++map)
        m_map.push_back(*map);
    m_state.assign(m_map.size(), 0);
    m_dirty.assign(m_map.size(), 0);
}

BOOL CUpdateUIBase::UIAddToolBar(HWND toolBar)
{
    if (!toolBar)
        return FALSE;
    m_elements.push_back({ toolBar, UPDUI_TOOLBAR });
    return TRUE;
}

BOOL CUpdateUIBase::UIAddMenuBar(HWND menuBar)
{
    if (!menuBar)
        return FALSE;
    m_elements.push_back({ menuBar, UPDUI_MENUBAR });
    return TRUE;
}

BOOL CUpdateUIBase::SetState(int id, WORD mask, WORD value, BOOL force)
{
    for (size_t i = 0; i < m_map.size(); ++i) {
        if (m_map[i].m_nID != static_cast<WORD>(id))
            continue;
        const WORD updated = static_cast<WORD>((m_state[i] & ~mask) | (value & mask));
        if (updated != m_state[i] || force) {
            m_state[i] = updated;
            m_dirty[i] |= m_map[i].m_wType & (UPDUI_TOOLBAR | UPDUI_MENUBAR);
        }
        return TRUE;
    }
    return FALSE;
}

BOOL CUpdateUIBase::UIEnable(int id, BOOL enable, BOOL force)
{
    return SetState(id, UPDUI_DISABLED, enable ? 0 : UPDUI_DISABLED, force);
}

BOOL CUpdateUIBase::UISetCheck(int id, int check, BOOL force)
{
    return SetState(id, UPDUI_CHECKED, check ? UPDUI_CHECKED : 0, force);
}

BOOL CUpdateUIBase::UISetDefault(int id, BOOL isDefault, BOOL force)
{
    return SetState(id, UPDUI_DEFAULT, isDefault ? UPDUI_DEFAULT : 0, force);
}

DWORD CUpdateUIBase::UIGetState(int id) const
{
    for (size_t i = 0; i < m_map.size(); ++i)
        if (m_map[i].m_nID == static_cast<WORD>(id))
            return m_state[i];
    return 0;
}

BOOL CUpdateUIBase::UIUpdateToolBar(BOOL force)
{
    for (const Element& element : m_elements) {
        if (element.type != UPDUI_TOOLBAR || !::IsWindow(element.hwnd))
            continue;
        CToolBarCtrl toolBar(element.hwnd);
        for (size_t i = 0; i < m_map.size(); ++i) {
            if (!(m_map[i].m_wType & UPDUI_TOOLBAR) || (!force && !(m_dirty[i] & UPDUI_TOOLBAR)))
                continue;
            toolBar.EnableButton(m_map[i].m_nID, !(m_state[i] & UPDUI_DISABLED));
            toolBar.CheckButton(m_map[i].m_nID, (m_state[i] & UPDUI_CHECKED) != 0);
        }
    }
    for (WORD& dirty : m_dirty)
        dirty &= static_cast<WORD>(~UPDUI_TOOLBAR);
    return TRUE;
}

BOOL CUpdateUIBase::UIUpdateMenuBar(BOOL force, BOOL)
{
    for (const Element& element : m_elements) {
        if (element.type != UPDUI_MENUBAR || !::IsWindow(element.hwnd))
            continue;
        const HMENU menu = reinterpret_cast<HMENU>(::SendMessage(element.hwnd, CBRM_GETMENU, 0, 0));
        bool changed = false;
        for (size_t i = 0; i < m_map.size(); ++i) {
            if (!(m_map[i].m_wType & UPDUI_MENUBAR) || (!force && !(m_dirty[i] & UPDUI_MENUBAR)))
                continue;
            ::EnableMenuItem(menu, m_map[i].m_nID, MF_BYCOMMAND | ((m_state[i] & UPDUI_DISABLED) ? MF_GRAYED : 0));
            ::CheckMenuItem(menu, m_map[i].m_nID, MF_BYCOMMAND | ((m_state[i] & UPDUI_CHECKED) ? MF_CHECKED : 0));
            changed = true;
        }
        if (changed || force)
            ::SendMessage(element.hwnd, CBRM_REFRESH, 0, 0);
    }
    for (WORD& dirty : m_dirty)
        dirty &= static_cast<WORD>(~UPDUI_MENUBAR);
    return TRUE;
}

BOOL CUpdateUIBase::ProcessUpdateUIMessage(UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult)
{
    if (uMsg != WM_INITMENUPOPUP)
        return FALSE;
    const HMENU popup = reinterpret_cast<HMENU>(wParam);
    for (size_t i = 0; i < m_map.size(); ++i) {
        if (!(m_map[i].m_wType & UPDUI_MENUPOPUP))
            continue;
        const UINT id = m_map[i].m_nID;
        if (::GetMenuState(popup, id, MF_BYCOMMAND) == static_cast<UINT>(-1))
            continue;
        ::EnableMenuItem(popup, id, MF_BYCOMMAND | ((m_state[i] & UPDUI_DISABLED) ? MF_GRAYED : 0));
        ::CheckMenuItem(popup, id, MF_BYCOMMAND | ((m_state[i] & UPDUI_CHECKED) ? MF_CHECKED : 0));
        if (m_state[i] & UPDUI_DEFAULT)
            ::SetMenuDefaultItem(popup, id, FALSE);
    }
    lResult = 0;
    return FALSE; // others may want the message too
}

// ---------------------------------------------------------------------------------------------
// Frame window

CFrameWindowImplBase::~CFrameWindowImplBase()
{
    if (m_hAccel)
        ::DestroyAcceleratorTable(m_hAccel);
    if (m_hMenu)
        ::DestroyMenu(m_hMenu);
}

HWND CFrameWindowImplBase::CreateFrame(
    const char16_t* className, WORD resourceId, HWND parent, const RECT* rect, DWORD style, DWORD exStyle, LPVOID param)
{
    if (!style)
        style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (!exStyle)
        exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    QString title;
    HICON icon = nullptr;
    if (resourceId) {
        // Menu and accelerators exist before WM_CREATE: the creation handler builds the bars from them.
        m_hMenu = ::LoadMenu(nullptr, MAKEINTRESOURCE(resourceId));
        m_hAccel = ::LoadAccelerators(nullptr, MAKEINTRESOURCE(resourceId));
        title = taluvo::ui::AtlLoadString(resourceId);
        icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(resourceId));
    }
    const HWND hwnd = Create(QString::fromUtf16(className), parent, rect, title, style, exStyle, 0, param);
    if (!hwnd)
        return nullptr;
    if (icon) {
        SetIcon(icon, TRUE);
        SetIcon(icon, FALSE);
    }
    return hwnd;
}

HWND CFrameWindowImplBase::CreateSimpleToolBarCtrl(
    HWND parent, WORD resourceId, BOOL initialSeparator, DWORD style, UINT id)
{
    const taluvo::ui::ToolBarTemplate* resource = taluvo::ui::FindToolBarResource(resourceId);
    if (!resource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const HWND hwnd = ::CreateWindowEx(0, TOOLBARCLASSNAME, nullptr, style, 0, 0, 100, 100, parent,
        reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
    if (!hwnd)
        return nullptr;
    std::vector<TBBUTTON> buttons;
    if (initialSeparator) {
        TBBUTTON separator;
        separator.fsStyle = BTNS_SEP;
        buttons.push_back(separator);
    }
    int image = 0;
    for (WORD command : resource->items) {
        TBBUTTON button;
        if (command == 0) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.idCommand = command;
            button.iBitmap = image++;
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(button);
    }
    CToolBarCtrl toolBar(hwnd);
    toolBar.SetButtonStructSize();
    toolBar.AddButtons(static_cast<int>(buttons.size()), buttons.data());
    return hwnd;
}

HWND CFrameWindowImplBase::CreateSimpleReBarCtrl(HWND parent, DWORD style, UINT id)
{
    return ::CreateWindowEx(WS_EX_TOOLWINDOW, REBARCLASSNAME, nullptr, style, 0, 0, 100, 100, parent,
        reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
}

BOOL CFrameWindowImplBase::CreateSimpleReBar(DWORD style, UINT id)
{
    m_hWndToolBar = CreateSimpleReBarCtrl(m_hWnd, style, id);
    return m_hWndToolBar != nullptr;
}

BOOL CFrameWindowImplBase::AddSimpleReBarBandCtrl(
    HWND rebar, HWND band, int id, const QString& title, BOOL newRow, int cx, BOOL fullWidthAlways)
{
    if (!::IsWindow(rebar) || !::IsWindow(band))
        return FALSE;
    CReBarCtrl bar(rebar);
    QString text = title;
    REBARBANDINFO info;
    info.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_ID | RBBIM_SIZE;
    if (!text.isEmpty()) {
        info.fMask |= RBBIM_TEXT;
        info.lpText = reinterpret_cast<char16_t*>(text.data());
    }
    info.fStyle = RBBS_CHILDEDGE | (newRow ? RBBS_BREAK : 0) | (fullWidthAlways ? RBBS_FIXEDSIZE : 0);
    info.hwndChild = band;
    info.wID = id ? static_cast<UINT>(id) : ATL_IDW_BAND_FIRST + bar.GetBandCount();
    info.cx = static_cast<UINT>(std::max(0, cx));
    return bar.InsertBand(-1, &info);
}

BOOL CFrameWindowImplBase::AddSimpleReBarBand(
    HWND band, const QString& title, BOOL newRow, int cx, BOOL fullWidthAlways)
{
    return AddSimpleReBarBandCtrl(m_hWndToolBar, band, 0, title, newRow, cx, fullWidthAlways);
}

BOOL CFrameWindowImplBase::CreateSimpleStatusBar(const QString& text, DWORD style, UINT id)
{
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
    const QString copy = text;
    m_hWndStatusBar = ::CreateWindowEx(0, STATUSCLASSNAME, reinterpret_cast<LPCWSTR>(copy.utf16()), style, 0, 0, 100,
        20, m_hWnd, reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
    return m_hWndStatusBar != nullptr;
}

BOOL CFrameWindowImplBase::CreateSimpleStatusBar(UINT textId, DWORD style, UINT id)
{
    return CreateSimpleStatusBar(taluvo::ui::AtlLoadString(textId), style, id);
}

void CFrameWindowImplBase::UpdateBarsPosition(RECT& rect, BOOL resizeBars)
{
    if (m_hWndToolBar && ::IsWindowVisible(m_hWndToolBar)) {
        if (resizeBars)
            ::SendMessage(m_hWndToolBar, WM_SIZE, 0, 0);
        RECT bar;
        ::GetWindowRect(m_hWndToolBar, &bar);
        rect.top += bar.bottom - bar.top;
    }
    if (m_hWndStatusBar && ::IsWindowVisible(m_hWndStatusBar)) {
        if (resizeBars)
            ::SendMessage(m_hWndStatusBar, WM_SIZE, 0, 0);
        RECT bar;
        ::GetWindowRect(m_hWndStatusBar, &bar);
        rect.bottom -= bar.bottom - bar.top;
    }
}

void CFrameWindowImplBase::UpdateLayout(BOOL resizeBars)
{
    RECT rect;
    GetClientRect(&rect);
    UpdateBarsPosition(rect, resizeBars);
    if (m_hWndClient)
        ::SetWindowPos(m_hWndClient, nullptr, rect.left, rect.top, rect.right - rect.left,
            std::max<LONG>(0, rect.bottom - rect.top), SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CFrameWindowImplBase::TranslateFrameAccelerator(MSG* msg)
{
    return m_hAccel && ::TranslateAccelerator(m_hWnd, m_hAccel, msg) ? TRUE : FALSE;
}

LRESULT CFrameWindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (wParam != SIZE_MINIMIZED)
        UpdateLayout();
    bHandled = FALSE;
    return 1;
}

LRESULT CFrameWindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    if (m_hWndClient && ::IsWindowVisible(m_hWndClient))
        ::SetFocus(m_hWndClient);
    bHandled = FALSE;
    return 1;
}

LRESULT CFrameWindowImplBase::OnMenuSelect(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    bHandled = FALSE;
    if (!m_hWndStatusBar)
        return 1;
    CStatusBarCtrl status(m_hWndStatusBar);
    const WORD flags = HIWORD(static_cast<uintptr_t>(wParam));
    if (flags == 0xFFFF && lParam == 0) {
        // The menu closed: the normal text ("Ready") shows again.
        status.SetSimple(FALSE);
        return 1;
    }
    QString prompt;
    if (!(flags & MF_POPUP) && !(flags & MF_SEPARATOR)) {
        const WORD id = LOWORD(static_cast<uintptr_t>(wParam));
        if (taluvo::ui::LoadStringResource(id, &prompt)) {
            const qsizetype newline = prompt.indexOf(QLatin1Char('\n'));
            if (newline >= 0)
                prompt.truncate(newline);
        }
    }
    status.SetSimple(TRUE);
    status.SetText(SB_SIMPLEID, prompt, SBT_NOBORDERS);
    return 1;
}

LRESULT CFrameWindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    // The program's main frame ends the message loop with 1.
    if (!(GetStyle() & (WS_CHILD | WS_POPUP)))
        ::PostQuitMessage(1);
    bHandled = FALSE;
    return 1;
}

LRESULT CFrameWindowImplBase::OnReBarAutoSize(int, LPNMHDR header, BOOL& bHandled)
{
    if (header->hwndFrom != m_hWndToolBar) {
        bHandled = FALSE;
        return 0;
    }
    UpdateLayout(FALSE);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Splitter

BOOL CSplitterWindowBase::SetSplitterPane(int pane, HWND hwnd, bool update)
{
    if (pane != SPLIT_PANE_LEFT && pane != SPLIT_PANE_RIGHT)
        return FALSE;
    m_panes[pane] = hwnd;
    if (update)
        UpdateSplitterLayout();
    return TRUE;
}

void CSplitterWindowBase::SetSplitterPanes(HWND first, HWND second, bool update)
{
    m_panes[0] = first;
    m_panes[1] = second;
    if (update)
        UpdateSplitterLayout();
}

BOOL CSplitterWindowBase::SetSinglePaneMode(int pane)
{
    if (pane != SPLIT_PANE_NONE && pane != SPLIT_PANE_LEFT && pane != SPLIT_PANE_RIGHT)
        return FALSE;
    m_singlePane = pane;
    UpdateSplitterLayout();
    return TRUE;
}

BOOL CSplitterWindowBase::SetSplitterPos(int position, bool update)
{
    m_position = position;
    if (update)
        UpdateSplitterLayout();
    return TRUE;
}

void CSplitterWindowBase::UpdateSplitterLayout()
{
    if (!m_hWnd)
        return;
    RECT client;
    GetClientRect(&client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (m_singlePane != SPLIT_PANE_NONE) {
        const HWND shown = m_panes[m_singlePane];
        const HWND hidden = m_panes[1 - m_singlePane];
        if (hidden && ::IsWindow(hidden))
            ::ShowWindow(hidden, SW_HIDE);
        if (shown && ::IsWindow(shown)) {
            ::MoveWindow(shown, 0, 0, width, height, TRUE);
            if (!::IsWindowVisible(shown))
                ::ShowWindow(shown, SW_SHOWNA);
        }
        return;
    }
    const int extent = m_vertical ? width : height;
    const int position = std::clamp(m_position < 0 ? extent / 2 : m_position, 0, std::max(0, extent - kBarWidth));
    for (int i = 0; i < 2; ++i) {
        const HWND pane = m_panes[i];
        if (!pane || !::IsWindow(pane))
            continue;
        const int start = i == 0 ? 0 : position + kBarWidth;
        const int size = i == 0 ? position : extent - position - kBarWidth;
        if (m_vertical)
            ::MoveWindow(pane, start, 0, std::max(0, size), height, TRUE);
        else
            ::MoveWindow(pane, 0, start, width, std::max(0, size), TRUE);
        if (!::IsWindowVisible(pane))
            ::ShowWindow(pane, SW_SHOWNA);
    }
}

LRESULT CSplitterWindowBase::OnSize(UINT, WPARAM, LPARAM, BOOL&)
{
    UpdateSplitterLayout();
    return 0;
}

LRESULT CSplitterWindowBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL&)
{
    const int pane = m_singlePane != SPLIT_PANE_NONE ? m_singlePane : SPLIT_PANE_LEFT;
    if (m_panes[pane] && ::IsWindow(m_panes[pane]))
        ::SetFocus(m_panes[pane]);
    return 0;
}

LRESULT CSplitterWindowBase::OnForward(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&)
{
    const HWND parent = GetParent();
    return parent ? ::SendMessage(parent, uMsg, wParam, lParam) : 0;
}
