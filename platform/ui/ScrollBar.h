// The scroll-bar control ("ScrollBar", SBS_HORZ or SBS_VERT), the scroll functions on it (SB_CTL)
// and the wrapper class CScrollBar.
//
// As on Windows, the control never moves itself: a click on an arrow or the page area, a key, or
// a drag of the thumb only tells the parent with WM_HSCROLL (WM_VSCROLL for SBS_VERT): the low word
// of wParam is the SB_* code, the high word the thumb's position for SB_THUMBTRACK and
// SB_THUMBPOSITION, lParam the scroll bar. The parent moves it with SetScrollPos; every action is
// followed by SB_ENDSCROLL. Positions stay inside the range; with a page size P > 1 the highest
// position is max - (P - 1).
#pragma once

#include "platform/ui/AtlWin.h"

constexpr DWORD SBS_HORZ = 0x0000;
constexpr DWORD SBS_VERT = 0x0001;

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;

// Scroll codes.
constexpr WORD SB_LINEUP = 0;
constexpr WORD SB_LINELEFT = 0;
constexpr WORD SB_LINEDOWN = 1;
constexpr WORD SB_LINERIGHT = 1;
constexpr WORD SB_PAGEUP = 2;
constexpr WORD SB_PAGELEFT = 2;
constexpr WORD SB_PAGEDOWN = 3;
constexpr WORD SB_PAGERIGHT = 3;
constexpr WORD SB_THUMBPOSITION = 4;
constexpr WORD SB_THUMBTRACK = 5;
constexpr WORD SB_TOP = 6;
constexpr WORD SB_LEFT = 6;
constexpr WORD SB_BOTTOM = 7;
constexpr WORD SB_RIGHT = 7;
constexpr WORD SB_ENDSCROLL = 8;

constexpr UINT SBM_SETPOS = 0x00E0; // wParam: position, lParam: redraw; returns the previous one
constexpr UINT SBM_GETPOS = 0x00E1;
constexpr UINT SBM_SETRANGE = 0x00E2; // wParam: min, lParam: max
constexpr UINT SBM_GETRANGE = 0x00E3; // wParam, lParam: int* min, int* max
constexpr UINT SBM_SETRANGEREDRAW = 0x00E6;
constexpr UINT SBM_SETSCROLLINFO = 0x00E9; // wParam: redraw, lParam: SCROLLINFO*; returns the position
constexpr UINT SBM_GETSCROLLINFO = 0x00EA;

constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_DISABLENOSCROLL = 0x0008;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

struct SCROLLINFO {
    UINT cbSize = sizeof(SCROLLINFO);
    UINT fMask = 0;
    int nMin = 0;
    int nMax = 0;
    UINT nPage = 0;
    int nPos = 0;
    int nTrackPos = 0;
};
using LPSCROLLINFO = SCROLLINFO*;

// The scroll functions work on scroll-bar controls (SB_CTL); a window's own bars (SB_HORZ,
// SB_VERT) are not kept by the layer: those calls fail (0 / FALSE).
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw);
BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info);
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw); // the previous position
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max);

class CScrollBar : public CWindow {
public:
    CScrollBar(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CScrollBar& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    int SetScrollInfo(const SCROLLINFO* info, BOOL redraw = TRUE)
    {
        return ::SetScrollInfo(m_hWnd, SB_CTL, info, redraw);
    }
    BOOL GetScrollInfo(SCROLLINFO* info) const { return ::GetScrollInfo(m_hWnd, SB_CTL, info); }
    int SetScrollPos(int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, pos, redraw); }
    int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
    BOOL SetScrollRange(int min, int max, BOOL redraw = TRUE)
    {
        return ::SetScrollRange(m_hWnd, SB_CTL, min, max, redraw);
    }
    void GetScrollRange(int* min, int* max) const { ::GetScrollRange(m_hWnd, SB_CTL, min, max); }
};
