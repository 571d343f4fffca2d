#include "dialogs/HtmlStaticCtrl.h"

#include "core/Version.h"
#include "platform/ui/Cursor.h"
#include "platform/ui/Gdi.h"

#include <algorithm>

namespace {

// The about text: the icon beside the bold title, the credits, and the picture button that closes
// the box (a message link, so the dialog hears of the click).
QString BuildAboutText()
{
    const taluvo::ProgramVersion version = taluvo::GetProgramVersion();
    QString text = QStringLiteral(
        "<table border=\"0\"><tr><td valign=vcenter align=left width=\"50\"><icon idres=226 cx=\"48\" cy=\"48\" "
        "width=\"150%\" height=\"150%\"></td><td align=\"center\" valign=\"top\"><b>");
    text += QStringLiteral("%1 v.%2.%3").arg(QStringLiteral("Taluvo")).arg(version.major).arg(version.minor);
    text += QStringLiteral(
        "</b><br><br>A web page update monitoring program<br><br></td></tr>"
        "<tr><td colspan=\"2\" align=center>Watches the pages you choose and tells you when they change.</td></tr>"
        "<tr><td colspan=\"2\" align=center>Built with Qt, SQLite, libcurl and libxml2.<br><br></td></tr>"
        "<tr><td colspan=\"2\" align=center><a msg=\"close\"><bmp idres=249 mask width=117 height=25 style=g "
        "hotstyle></a></td></tr></table>");
    return text;
}

// Effect 13 of the drawing manager: the soft bump pattern behind the text.
constexpr UINT kBackgroundEffect = 13;
constexpr COLORREF kBackgroundColors[3] = { 0xFFFFFF, 0xFFF7F0, 0xD0C0C0 };

} // namespace

CHtmlStaticCtrl::CHtmlStaticCtrl()
    : m_strHtml(BuildAboutText())
{
}

CHtmlStaticCtrl::~CHtmlStaticCtrl()
{
    if (m_hBackground)
        DeleteObject(m_hBackground);
}

BOOL CHtmlStaticCtrl::Init()
{
    m_renderer.SetRepaintNotify(m_hWnd, WM_HTML_REPAINT, 0);
    m_renderer.SetLinkNotify(GetParent(), WM_TOOLTIP_HYPERLINK, 0);
    return TRUE;
}

void CHtmlStaticCtrl::DrawHtml(HDC dc)
{
    const bool own = dc == nullptr;
    if (own)
        dc = GetDC(m_hWnd);
    if (!dc)
        return;
    RECT client;
    GetClientRect(&client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    HDC backgroundDc = CreateCompatibleDC(dc);
    HDC bufferDc = CreateCompatibleDC(dc);
    HBITMAP buffer = CreateCompatibleBitmap(dc, width, height);
    if (backgroundDc && bufferDc && buffer) {
        HGDIOBJ oldBackground = m_hBackground ? SelectObject(backgroundDc, m_hBackground) : nullptr;
        HGDIOBJ oldBuffer = SelectObject(bufferDc, buffer);
        BitBlt(bufferDc, 0, 0, width, height, backgroundDc, 0, 0, SRCCOPY);
        m_renderer.RenderHtml(bufferDc, &m_rcHtml);
        BitBlt(dc, 0, 0, width, height, bufferDc, 0, 0, SRCCOPY);
        if (oldBackground)
            SelectObject(backgroundDc, oldBackground);
        SelectObject(bufferDc, oldBuffer);
    }
    if (buffer)
        DeleteObject(buffer);
    if (bufferDc)
        DeleteDC(bufferDc);
    if (backgroundDc)
        DeleteDC(backgroundDc);
    if (own)
        ReleaseDC(m_hWnd, dc);
}

LRESULT CHtmlStaticCtrl::OnPaint(UINT, WPARAM, LPARAM, BOOL&)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(&client);
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    if (!m_hBackground) {
        m_hBackground = CreateCompatibleBitmap(dc, clientWidth, clientHeight);
        if (HDC fillDc = m_hBackground ? CreateCompatibleDC(dc) : nullptr) {
            HGDIOBJ old = SelectObject(fillDc, m_hBackground);
            m_renderer.GetDrawManager().FillEffect(fillDc, kBackgroundEffect, &client, kBackgroundColors[0],
                kBackgroundColors[1], kBackgroundColors[2], 0, 0);
            SelectObject(fillDc, old);
            DeleteDC(fillDc);
        }
    }
    m_renderer.m_nMaxWidth = clientWidth - 1;
    SIZE size { 0, 0 };
    m_renderer.MeasureHtml(dc, m_strHtml, &size);
    const int width = std::min<int>(std::max<int>(size.cx, clientWidth - 1), clientWidth);
    const int height = std::min<int>(size.cy, clientHeight);
    // The credits stand in the middle of the box, with as much room above them as below.
    const int top = client.top + std::max(0, (clientHeight - height) / 2);
    m_rcHtml = RECT { client.left, top, client.left + width, top + height };
    DrawHtml(dc);
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CHtmlStaticCtrl::OnSize(UINT, WPARAM, LPARAM, BOOL& handled)
{
    if (m_hBackground) {
        DeleteObject(m_hBackground);
        m_hBackground = nullptr;
    }
    handled = FALSE;
    return 0;
}

LRESULT CHtmlStaticCtrl::OnHtmlRepaint(UINT, WPARAM, LPARAM, BOOL&)
{
    DrawHtml(nullptr);
    return 0;
}

LRESULT CHtmlStaticCtrl::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled)
{
    TRACKMOUSEEVENT track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = m_hWnd;
    TrackMouseEvent(&track);
    handled = FALSE;
    return 0;
}

LRESULT CHtmlStaticCtrl::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled)
{
    m_renderer.OnSetCursor(CursorInClient());
    handled = FALSE;
    return 0;
}

LRESULT CHtmlStaticCtrl::OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled)
{
    if (m_renderer.OnSetCursor(CursorInClient()))
        return TRUE;
    handled = FALSE;
    return 0;
}

LRESULT CHtmlStaticCtrl::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    const POINT point { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
    // The text may end before the control does: clicks below or beside it are not the renderer's.
    if (PtInRect(&m_rcHtml, point))
        m_renderer.OnClick(point);
    handled = FALSE;
    return 0;
}

POINT CHtmlStaticCtrl::CursorInClient() const
{
    POINT point { 0, 0 };
    GetCursorPos(&point);
    ScreenToClient(&point);
    return point;
}
