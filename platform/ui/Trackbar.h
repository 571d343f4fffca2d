// The trackbar control ("msctls_trackbar32"): a thumb on a range of whole positions, with tick
// marks, and the wrapper class CTrackBarCtrl.
//
// The position is always inside the range: setting one outside puts the thumb at the nearer end.
// Every move by the user (arrow and page keys, Home and End, a click beside the thumb, dragging)
// moves the thumb first and then tells the parent with WM_HSCROLL (WM_VSCROLL for TBS_VERT): the
// low word of wParam is the TB_* code, the high word the position for TB_THUMBTRACK and
// TB_THUMBPOSITION, lParam the trackbar. A move by key or click is followed by TB_ENDTRACK.
#pragma once

#include "platform/ui/AtlWin.h"

inline constexpr const char16_t* TRACKBAR_CLASS = u"msctls_trackbar32";

constexpr DWORD TBS_AUTOTICKS = 0x0001;
constexpr DWORD TBS_VERT = 0x0002;
constexpr DWORD TBS_HORZ = 0x0000;
constexpr DWORD TBS_TOP = 0x0004;
constexpr DWORD TBS_BOTTOM = 0x0000;
constexpr DWORD TBS_BOTH = 0x0008;
constexpr DWORD TBS_NOTICKS = 0x0010;

constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETPOS = WM_USER + 5; // wParam: redraw, lParam: position
constexpr UINT TBM_SETRANGE = WM_USER + 6; // wParam: redraw, lParam: MAKELONG(min, max)
constexpr UINT TBM_SETRANGEMIN = WM_USER + 7;
constexpr UINT TBM_SETRANGEMAX = WM_USER + 8;
constexpr UINT TBM_SETTICFREQ = WM_USER + 20;
constexpr UINT TBM_SETPAGESIZE = WM_USER + 21; // returns the previous page size
constexpr UINT TBM_GETPAGESIZE = WM_USER + 22;
constexpr UINT TBM_SETLINESIZE = WM_USER + 23;
constexpr UINT TBM_GETLINESIZE = WM_USER + 24;

// Scroll codes of the trackbar's WM_HSCROLL / WM_VSCROLL.
constexpr WORD TB_LINEUP = 0;
constexpr WORD TB_LINEDOWN = 1;
constexpr WORD TB_PAGEUP = 2;
constexpr WORD TB_PAGEDOWN = 3;
constexpr WORD TB_THUMBPOSITION = 4;
constexpr WORD TB_THUMBTRACK = 5;
constexpr WORD TB_TOP = 6;
constexpr WORD TB_BOTTOM = 7;
constexpr WORD TB_ENDTRACK = 8;

class CTrackBarCtrl : public CWindow {
public:
    CTrackBarCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CTrackBarCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    int GetPos() const { return static_cast<int>(SendMessage(TBM_GETPOS)); }
    void SetPos(int pos, BOOL redraw = TRUE) { SendMessage(TBM_SETPOS, redraw, pos); }
    int GetRangeMin() const { return static_cast<int>(SendMessage(TBM_GETRANGEMIN)); }
    int GetRangeMax() const { return static_cast<int>(SendMessage(TBM_GETRANGEMAX)); }
    void GetRange(int& min, int& max) const
    {
        min = GetRangeMin();
        max = GetRangeMax();
    }
    void SetRange(int min, int max, BOOL redraw = TRUE)
    {
        SendMessage(TBM_SETRANGEMIN, FALSE, min);
        SendMessage(TBM_SETRANGEMAX, redraw, max);
    }
    void SetRangeMin(int min, BOOL redraw = FALSE) { SendMessage(TBM_SETRANGEMIN, redraw, min); }
    void SetRangeMax(int max, BOOL redraw = FALSE) { SendMessage(TBM_SETRANGEMAX, redraw, max); }
    // A tick every `frequency` positions (TBS_AUTOTICKS).
    void SetTicFreq(int frequency) { SendMessage(TBM_SETTICFREQ, static_cast<WPARAM>(frequency)); }
    int GetPageSize() const { return static_cast<int>(SendMessage(TBM_GETPAGESIZE)); }
    int SetPageSize(int size) { return static_cast<int>(SendMessage(TBM_SETPAGESIZE, 0, size)); }
    int GetLineSize() const { return static_cast<int>(SendMessage(TBM_GETLINESIZE)); }
    int SetLineSize(int size) { return static_cast<int>(SendMessage(TBM_SETLINESIZE, 0, size)); }
};
