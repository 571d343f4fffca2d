// Finds where the program's tray icon sits on the screen, so the update popup can point at it.
// Three ways, best first: the icon's rectangle as the tray tells it; the probe search (the icon
// briefly wears an all-black picture and the tray's area, grabbed from the screen, is searched
// for that square); and, where no tray can be asked, the corner of the work area on the side of
// the panel.
#pragma once

#include "platform/ui/UserApi.h"

class CTrayIconPosition {
public:
    // How the last position was found.
    enum class Source { None, TrayIconRect, ProbeSearch, Cached, TrayAreaEdge, WorkAreaCorner };

    CTrayIconPosition() = default;
    virtual ~CTrayIconPosition() = default;

    void TrackIcon(HWND window, UINT iconId);
    // The point the popup should point at. Method 0: the tray's rectangle of the icon, else the
    // probe search; 1: the probe search first (it always gives a point); 2: the tray's rectangle
    // only; 3: the probe search only. 1 found (or a fallback point given), 0 not found, -1 no
    // icon tracked. precision 0 takes the object's default (3).
    int LocateIcon(POINT* out, int method = 0, int precision = 0);
    int LocateIcon(POINT& out, int method = 0, int precision = 0) { return LocateIcon(&out, method, precision); }
    // The probe search with its cache: a found point stays valid for the interval of the
    // precision (60, 30, 10 s for 1, 2, 3). Always gives a point while an icon is tracked.
    int GetTrayIconPosition(POINT* out, int precision);
    // Gives the tracked icon its picture back after a probe search.
    BOOL RestoreIconImage(HICON icon);
    // Puts the probe picture on the icon and searches the tray area's pixels for it.
    BOOL FindOutPositionOfIcon(HICON probe);
    void SetIntervals(int precision1, int precision2, int precision3);
    void MarkPositionFresh();

    Source LastSource() const { return m_lastSource; }

private:
    BOOL SetIconImage(HICON icon);

    HWND m_hWnd = nullptr;
    int m_nIconId = -1;
    RECT m_area {};
    int m_nPrecision = 3;
    int m_intervals[3] = { 60, 30, 10 };
    bool m_bFound = false;
    DWORD m_dwLastFound = 0;
    POINT m_ptFound {};
    Source m_lastSource = Source::None;
};

// The tray's rectangle of the icon; FALSE where the tray does not tell it or hides the icon.
BOOL FindIconInTrayToolbar(HWND window, UINT iconId, RECT* out);
// The tray's area on the screen, or, without a tray window, the screen's bottom-right 40 × 20.
RECT GetTrayToolbarRect();
// The corner of the work area beside the panel: the side where the work area stops short of the
// screen (top, bottom, left or right, in that order), at the work area's right end for a panel
// above or below and at its bottom for one beside; the bottom-right corner when they are equal.
POINT WorkAreaCornerPoint(const RECT& screen, const RECT& workArea);
