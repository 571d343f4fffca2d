// Placeholder bodies: the window is made so its owner's start-up runs; everything else waits for
// the tooltip's own drawing and tool registry.
#include "Controls/HtmlToolTip.h"

CHtmlToolTip::~CHtmlToolTip()
{
    if (IsWindow())
        DestroyWindow();
}

HWND CHtmlToolTip::Create(HWND owner, BOOL)
{
    return CWindowImpl<CHtmlToolTip>::Create(owner, nullptr, QString(), WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
}

void CHtmlToolTip::SetBackgroundEffect(int, int) { }
void CHtmlToolTip::SetBackgroundColors(COLORREF, COLORREF, COLORREF) { }
void CHtmlToolTip::SetBorder(COLORREF, int, int) { }
void CHtmlToolTip::SetTransparency(int) { }
void CHtmlToolTip::SetShadow(int, int, int, BOOL, int, int) { }
void CHtmlToolTip::SetCallbackHyperlink(HWND, UINT, LPARAM) { }
void CHtmlToolTip::SetDelayTime(DWORD, int) { }
void CHtmlToolTip::AddTool(HWND, const QString&, const RECT*, UINT_PTR) { }
void CHtmlToolTip::SetNotifyWindow(HWND) { }
void CHtmlToolTip::SetBehaviourFlags(DWORD) { }
void CHtmlToolTip::AddToolBar(HWND) { }
void CHtmlToolTip::SetDirection(int) { }
void CHtmlToolTip::RelayEvent(MSG*) { }
void CHtmlToolTip::ShowTooltipAt(POINT screenPoint, const QString& text, HICON)
{
    m_strLastShownText = text;
    m_ptLastShown = screenPoint;
    if (IsWindow())
        ShowWindow(SW_SHOWNOACTIVATE);
}

void CHtmlToolTip::HideTooltip()
{
    if (IsWindow())
        ShowWindow(SW_HIDE);
}
