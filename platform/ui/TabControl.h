// The tab control ("SysTabControl32"): a row of tabs over a framed display area, with the Windows
// messages, records and notifications the property sheet uses and the wrapper class CTabCtrl.
//
// The control's window holds both the tabs and the display area under them; TCM_ADJUSTRECT turns
// the window's rectangle into the display area's (FALSE) or back (TRUE). Without TCS_MULTILINE the
// tabs stand in one row and those past the right edge are cut off. With TCS_MULTILINE they are laid
// out in as many rows as the control's width needs, in tab order, each row stretched to the width
// (unless TCS_RAGGEDRIGHT) once there is more than one; the row of the selected tab always stands
// next to the display area, the rows after it above it in turn, so selecting a tab of another row
// turns the rows as the Windows control does. The row count changes with the width and the font.
//
// A click on a tab (or Left / Right, Home / End while the control has the focus) first asks the
// parent with TCN_SELCHANGING (a nonzero answer keeps the selection), then selects the tab and tells
// the parent with TCN_SELCHANGE. TCM_SETCURSEL changes the selection without a notification.
#pragma once

#include "platform/ui/AtlWin.h"

#include <QString>

inline constexpr const char16_t* WC_TABCONTROL = u"SysTabControl32";

constexpr DWORD TCS_SINGLELINE = 0x0000;
constexpr DWORD TCS_MULTILINE = 0x0200;
constexpr DWORD TCS_RAGGEDRIGHT = 0x0800;
constexpr DWORD TCS_FOCUSNEVER = 0x8000;

constexpr UINT TCM_FIRST = 0x1300;
constexpr UINT TCM_GETITEMCOUNT = TCM_FIRST + 4;
constexpr UINT TCM_DELETEITEM = TCM_FIRST + 8;
constexpr UINT TCM_DELETEALLITEMS = TCM_FIRST + 9;
constexpr UINT TCM_GETITEMRECT = TCM_FIRST + 10; // wParam: index, lParam: RECT* in client pixels
constexpr UINT TCM_GETCURSEL = TCM_FIRST + 11;
constexpr UINT TCM_SETCURSEL = TCM_FIRST + 12; // returns the previous selection, -1 for a bad index
constexpr UINT TCM_HITTEST = TCM_FIRST + 13; // lParam: TCHITTESTINFO*; the tab's index or -1
constexpr UINT TCM_ADJUSTRECT = TCM_FIRST + 40; // wParam: TRUE window from display, FALSE display from window
constexpr UINT TCM_GETROWCOUNT = TCM_FIRST + 44;
constexpr UINT TCM_GETITEM = TCM_FIRST + 60;
constexpr UINT TCM_SETITEM = TCM_FIRST + 61;
constexpr UINT TCM_INSERTITEM = TCM_FIRST + 62; // wParam: index, lParam: TCITEM*; the new index or -1

constexpr UINT TCIF_TEXT = 0x0001;
constexpr UINT TCIF_PARAM = 0x0008;

constexpr UINT TCN_FIRST = static_cast<UINT>(-550);
constexpr UINT TCN_SELCHANGE = TCN_FIRST - 1;
constexpr UINT TCN_SELCHANGING = TCN_FIRST - 2;

constexpr UINT TCHT_NOWHERE = 0x0001;
constexpr UINT TCHT_ONITEM = 0x0006;

struct TCITEM {
    UINT mask = 0;
    DWORD dwState = 0;
    DWORD dwStateMask = 0;
    char16_t* pszText = nullptr;
    int cchTextMax = 0;
    int iImage = -1;
    LPARAM lParam = 0;
};
using TCITEMW = TCITEM;
using LPTCITEM = TCITEM*;

struct TCHITTESTINFO {
    POINT pt;
    UINT flags = 0;
};

class CTabCtrl : public CWindow {
public:
    CTabCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CTabCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    int InsertItem(int index, const QString& text)
    {
        TCITEM item;
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16()));
        return static_cast<int>(
            SendMessage(TCM_INSERTITEM, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(index))); }
    int GetRowCount() const { return static_cast<int>(SendMessage(TCM_GETROWCOUNT)); }
    BOOL GetItemRect(int index, RECT* rect) const
    {
        return static_cast<BOOL>(
            SendMessage(TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
    }
    void AdjustRect(BOOL larger, RECT* rect) const
    {
        SendMessage(TCM_ADJUSTRECT, static_cast<WPARAM>(larger), reinterpret_cast<LPARAM>(rect));
    }
    int HitTest(TCHITTESTINFO* info) const
    {
        return static_cast<int>(SendMessage(TCM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
    }
};
