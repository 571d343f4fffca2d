#include "Controls/TrayIconPosition.h"

#include "Controls/TrayIconScan.h"
#include "core/DebugTracer.h"
#include "platform/base/Time.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Tray.h"
#include "res/resource.h"

#include <cstdlib>

TRACE_MODULE("CTrayIconPosition");

namespace {

RECT ScreenRect()
{
    return RECT { 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
}

// The screen's pixels of the rectangle, clipped to the screen, row by row from the top.
TrayStripImage GrabScreenArea(RECT area)
{
    const RECT screen = ScreenRect();
    TrayStripImage strip;
    IntersectRect(&strip.area, &area, &screen);
    const int width = strip.Width();
    const int height = strip.Height();
    if (width <= 0 || height <= 0)
        return strip;
    HDC screenDc = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screenDc);
    HBITMAP bitmap = CreateCompatibleBitmap(screenDc, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screenDc, strip.area.left, strip.area.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> bits(size_t(width) * size_t(height));
    const int rows = GetDIBits(memory, bitmap, 0, UINT(height), bits.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screenDc);
    if (rows != height)
        return strip;
    strip.pixels.reserve(bits.size());
    for (DWORD pixel : bits) // 0x00RRGGBB in the DIB; COLORREF is 0x00BBGGRR
        strip.pixels.push_back(RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
    return strip;
}

} // namespace

BOOL FindIconInTrayToolbar(HWND window, UINT iconId, RECT* out)
{
    return out && taluvo::ui::GetTrayIconRect(window, iconId, out);
}

RECT GetTrayToolbarRect()
{
    RECT area {};
    if (taluvo::ui::GetTrayAreaRect(&area))
        return area;
    const RECT screen = ScreenRect();
    return RECT { screen.right - 40, screen.bottom - 20, screen.right, screen.bottom };
}

POINT WorkAreaCornerPoint(const RECT& screen, const RECT& work)
{
    if (work.top > screen.top)
        return POINT { work.right - 1, work.top };
    if (work.bottom < screen.bottom)
        return POINT { work.right - 1, work.bottom - 1 };
    if (work.left > screen.left)
        return POINT { work.left, work.bottom - 1 };
    return POINT { work.right - 1, work.bottom - 1 };
}

void CTrayIconPosition::TrackIcon(HWND window, UINT iconId)
{
    m_hWnd = window;
    m_nIconId = static_cast<int>(iconId);
}

int CTrayIconPosition::LocateIcon(POINT* out, int method, int precision)
{
    if (!m_hWnd || m_nIconId < 0)
        return -1;
    POINT point {};
    auto fromTray = [&]() {
        RECT icon {};
        if (!FindIconInTrayToolbar(m_hWnd, static_cast<UINT>(m_nIconId), &icon))
            return 0;
        point = POINT { icon.left + 4, icon.top + 6 };
        m_lastSource = Source::TrayIconRect;
        return 1;
    };
    int result = 0;
    switch (method) {
    case 0:
        result = fromTray();
        if (!result)
            result = GetTrayIconPosition(&point, precision);
        break;
    case 1:
        result = GetTrayIconPosition(&point, precision);
        if (result == 0)
            result = fromTray();
        break;
    case 2:
        result = fromTray();
        break;
    case 3:
        result = GetTrayIconPosition(&point, precision);
        break;
    default:
        return 0;
    }
    if (result == 1 && out)
        *out = point;
    return result;
}

int CTrayIconPosition::GetTrayIconPosition(POINT* out, int precision)
{
    if (!m_hWnd || m_nIconId < 0)
        return -1;
    if (precision == 0)
        precision = m_nPrecision;
    bool due = !m_bFound;
    if (!due && precision >= 1 && precision <= 3) {
        // Tick counts wrap after 49 days; the unsigned difference is the time since, either way.
        const DWORD elapsedSeconds = (GetTickCount() - m_dwLastFound) / 1000;
        due = elapsedSeconds > static_cast<DWORD>(m_intervals[precision - 1]);
    }
    POINT point {};
    if (!due) {
        point = m_ptFound;
        m_lastSource = Source::Cached;
    } else {
        RECT trayArea {};
        const bool haveTray = taluvo::ui::GetTrayAreaRect(&trayArea);
        m_area = haveTray ? trayArea : GetTrayToolbarRect();
        HICON probe = LoadIcon(nullptr, MAKEINTRESOURCE(IDI_TRAY_PROBE));
        if (haveTray && probe && FindOutPositionOfIcon(probe)) {
            m_bFound = true;
            m_dwLastFound = GetTickCount();
            point = m_ptFound;
            m_lastSource = Source::ProbeSearch;
        } else if (haveTray) {
            TRACE1(u"CTrayIconPosition::GetTrayIconPosition. Using Left-Center point like WinXP.\n");
            point = POINT { m_area.left + 6, (m_area.top + m_area.bottom) / 2 };
            m_lastSource = Source::TrayAreaEdge;
        } else {
            // No tray to ask and none to search: the panel's corner of the work area is where a
            // tray would be.
            TRACE1(u"CTrayIconPosition::GetTrayIconPosition. Using the work area's corner.\n");
            point = WorkAreaCornerPoint(ScreenRect(), GetWorkArea(nullptr));
            m_lastSource = Source::WorkAreaCorner;
        }
    }
    if (out)
        *out = point;
    return 1;
}

BOOL CTrayIconPosition::RestoreIconImage(HICON icon)
{
    return SetIconImage(icon);
}

BOOL CTrayIconPosition::SetIconImage(HICON icon)
{
    if (!m_hWnd || m_nIconId < 0)
        return FALSE;
    NOTIFYICONDATA data;
    data.hWnd = m_hWnd;
    data.uID = static_cast<UINT>(m_nIconId);
    data.uFlags = NIF_ICON;
    data.hIcon = icon;
    return Shell_NotifyIcon(NIM_MODIFY, &data);
}

BOOL CTrayIconPosition::FindOutPositionOfIcon(HICON probe)
{
    if (!SetIconImage(probe))
        return FALSE;
    // The search needs a margin round the icons: it never looks at the area's outermost rows, and
    // a dark run must end in a lighter pixel.
    RECT grab = m_area;
    InflateRect(&grab, 4, 4);
    const TrayStripImage strip = GrabScreenArea(grab);
    POINT found {};
    if (!FindProbeIconInStrip(strip, &found))
        return FALSE;
    m_ptFound = found;
    return TRUE;
}

void CTrayIconPosition::SetIntervals(int precision1, int precision2, int precision3)
{
    m_intervals[0] = precision1;
    m_intervals[1] = precision2;
    m_intervals[2] = precision3;
}

void CTrayIconPosition::MarkPositionFresh()
{
    m_dwLastFound = GetTickCount();
}
