#include "crash/ColorStatic.h"

#include <map>

namespace {

// The subclassed controls and their objects; all windows live on the user-interface thread.
std::map<HWND, CColorStatic*>& Subclassed()
{
    static std::map<HWND, CColorStatic*> controls;
    return controls;
}

} // namespace

CColorStatic::~CColorStatic()
{
    Unsubclass();
    FreeBrush(m_enabled);
    FreeBrush(m_disabled);
    if (m_dialogBrush)
        ::DeleteObject(m_dialogBrush);
}

BOOL CColorStatic::SubclassWindow(HWND hwnd)
{
    if (!::IsWindow(hwnd) || Subclassed().count(hwnd))
        return FALSE;
    Unsubclass();
    m_hWnd = hwnd;
    Subclassed()[hwnd] = this;
    m_superProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    return TRUE;
}

void CColorStatic::Unsubclass()
{
    if (!m_hWnd)
        return;
    Subclassed().erase(m_hWnd);
    if (::IsWindow(m_hWnd) && m_superProc)
        ::SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    m_hWnd = nullptr;
    m_superProc = nullptr;
}

LRESULT CColorStatic::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto found = Subclassed().find(hwnd);
    if (found == Subclassed().end())
        return ::DefWindowProc(hwnd, message, wParam, lParam);
    CColorStatic* self = found->second;
    const WNDPROC super = self->m_superProc;
    switch (message) {
    case OCM__BASE + WM_CTLCOLORSTATIC:
        return self->OnCtlColorStatic(reinterpret_cast<HDC>(wParam));
    case OCM__BASE + WM_CTLCOLORDLG:
        return self->OnCtlColorDlg(message, wParam, lParam);
    case WM_NCDESTROY:
        // The control goes before its object: the object forgets it.
        Subclassed().erase(hwnd);
        self->m_hWnd = nullptr;
        self->m_superProc = nullptr;
        return ::CallWindowProc(super, hwnd, message, wParam, lParam);
    default:
        break;
    }
    if (message >= OCM__BASE && message < OCM__BASE + WM_USER)
        return ::DefWindowProc(hwnd, message - OCM__BASE, wParam, lParam);
    return ::CallWindowProc(super, hwnd, message, wParam, lParam);
}

void CColorStatic::FreeBrush(Colors& colors)
{
    if (colors.ownsBrush && colors.brush)
        ::DeleteObject(colors.brush);
    colors.brush = nullptr;
    colors.ownsBrush = false;
}

void CColorStatic::SetBackground(Colors& colors, COLORREF color)
{
    FreeBrush(colors);
    if (color == kSystemColor) {
        colors.background = ::GetSysColor(COLOR_BTNFACE);
        colors.brush = ::GetSysColorBrush(COLOR_BTNFACE);
    } else {
        colors.background = color;
        colors.brush = ::CreateSolidBrush(color);
        colors.ownsBrush = colors.brush != nullptr;
    }
}

void CColorStatic::Repaint()
{
    if (m_hWnd)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CColorStatic::ResetColors()
{
    m_enabled.text = ::GetSysColor(COLOR_BTNTEXT);
    SetBackground(m_enabled, kSystemColor);
    m_disabled.text = ::GetSysColor(COLOR_GRAYTEXT);
    SetBackground(m_disabled, kSystemColor);
    Repaint();
}

void CColorStatic::SetTextColor(COLORREF color)
{
    m_enabled.text = color == kSystemColor ? ::GetSysColor(COLOR_BTNTEXT) : color;
    Repaint();
}

void CColorStatic::SetBkColor(COLORREF color)
{
    SetBackground(m_enabled, color);
    Repaint();
}

void CColorStatic::SetDisabledColors(COLORREF text, COLORREF background)
{
    m_disabled.text = text == kSystemColor ? ::GetSysColor(COLOR_GRAYTEXT) : text;
    SetBackground(m_disabled, background);
    Repaint();
}

void CColorStatic::SetDialogColor(COLORREF color)
{
    if (m_dialogBrush)
        ::DeleteObject(m_dialogBrush);
    m_dialogBrush = ::CreateSolidBrush(color);
}

LRESULT CColorStatic::OnCtlColorStatic(HDC dc)
{
    const Colors& colors = ::IsWindowEnabled(m_hWnd) ? m_enabled : m_disabled;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, colors.text);
    ::SetBkColor(dc, colors.background);
    return reinterpret_cast<LRESULT>(colors.brush);
}

LRESULT CColorStatic::OnCtlColorDlg(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_dialogBrush)
        return reinterpret_cast<LRESULT>(m_dialogBrush);
    return ::DefWindowProc(m_hWnd, message - OCM__BASE, wParam, lParam);
}
