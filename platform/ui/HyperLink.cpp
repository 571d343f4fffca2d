#include "platform/ui/HyperLink.h"

#include "platform/shell/Launch.h"
#include "platform/ui/detail/Core.h"

#include <QLabel>

using namespace taluvo::ui::detail;

CHyperLink::~CHyperLink()
{
    // The window may outlive the object (a member of a dialog object that goes first): it must not
    // keep calling into it.
    if (m_hWnd)
        UnsubclassWindow(TRUE);
}

BOOL CHyperLink::SubclassWindow(HWND hWnd)
{
    if (!CWindowImpl<CHyperLink>::SubclassWindow(hWnd))
        return FALSE;
    ApplyLook();
    return TRUE;
}

BOOL CHyperLink::SetLabel(const QString& label)
{
    return SetWindowText(label);
}

BOOL CHyperLink::SetHyperLink(const QString& target)
{
    m_target = target.isNull() ? QStringLiteral("") : target;
    return TRUE;
}

DWORD CHyperLink::SetHyperLinkExtendedStyle(DWORD exStyle, DWORD mask)
{
    const DWORD previous = m_exStyle;
    const DWORD bits = mask ? mask : 0xFFFFFFFF;
    m_exStyle = (m_exStyle & ~bits) | (exStyle & bits);
    ApplyLook();
    return previous;
}

BOOL CHyperLink::Navigate()
{
    if (!m_hWnd || !IsWindowEnabled())
        return FALSE;
    m_visited = true;
    ApplyLook();
    if (IsCommandButton()) {
        ::SendMessage(GetParent(), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID()), BN_CLICKED),
            reinterpret_cast<LPARAM>(m_hWnd));
        return TRUE;
    }
    return taluvo::shell::OpenUrl(GetHyperLink()) > 32 ? TRUE : FALSE;
}

LRESULT CHyperLink::OnButtonDown(UINT, WPARAM, LPARAM, BOOL&)
{
    m_pressed = true;
    if (m_exStyle & HLINK_ACTONPRESS) {
        m_pressed = false;
        Navigate();
    }
    return 0;
}

LRESULT CHyperLink::OnButtonUp(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    if (!m_pressed)
        return 0;
    m_pressed = false;
    // Released outside the link: the click is withdrawn.
    RECT client;
    GetClientRect(&client);
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    if (x >= client.left && x < client.right && y >= client.top && y < client.bottom)
        Navigate();
    return 0;
}

LRESULT CHyperLink::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (wParam != VK_RETURN && wParam != VK_SPACE) {
        bHandled = FALSE;
        return 0;
    }
    Navigate();
    return 0;
}

void CHyperLink::ApplyLook()
{
    auto* label = qobject_cast<QLabel*>(WidgetOf(m_hWnd));
    if (!label)
        return;
    const COLORREF color = m_visited ? kVisitedColor : kLinkColor;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(!(m_exStyle & HLINK_NOTUNDERLINED));
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    if (GetStyle() & WS_TABSTOP)
        label->setFocusPolicy(Qt::StrongFocus);
}
