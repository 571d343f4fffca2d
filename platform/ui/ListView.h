// The list-view control in report view ("SysListView32"): columns, rows with sub-item texts and
// item data, check boxes, grid lines and full-row selection, with the Windows messages, records and
// notifications the program uses and the wrapper class CListViewCtrl.
//
// Rows are addressed by index. With LVS_EX_CHECKBOXES a row's check box is its state image: 1
// unchecked, 2 checked (LVIS_STATEIMAGEMASK). Every change of a row's state (its check box, its
// selection), made by the user or by the program, reaches the parent as LVN_ITEMCHANGED with the
// old and new state; inserting and deleting rows sends no LVN_ITEMCHANGED.
#pragma once

#include "platform/ui/AtlWin.h"

#include <QString>

inline constexpr const char16_t* WC_LISTVIEW = u"SysListView32";

// Styles (LVS_REPORT is the only view the layer draws; the others show as a report too).
constexpr DWORD LVS_ICON = 0x0000;
constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_NOCOLUMNHEADER = 0x4000;
constexpr DWORD LVS_NOSORTHEADER = 0x8000;

// Extended styles (LVM_SETEXTENDEDLISTVIEWSTYLE).
constexpr DWORD LVS_EX_GRIDLINES = 0x00000001;
constexpr DWORD LVS_EX_CHECKBOXES = 0x00000004;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x00000020;
// A cell whose text is cut shows the whole text in a tooltip under the pointer.
constexpr DWORD LVS_EX_LABELTIP = 0x00004000;

constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_DELETEITEM = LVM_FIRST + 8;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETNEXTITEM = LVM_FIRST + 12;
constexpr UINT LVM_ENSUREVISIBLE = LVM_FIRST + 19;
constexpr UINT LVM_DELETECOLUMN = LVM_FIRST + 28;
constexpr UINT LVM_GETCOLUMNWIDTH = LVM_FIRST + 29;
constexpr UINT LVM_SETCOLUMNWIDTH = LVM_FIRST + 30; // lParam: pixels, or LVSCW_AUTOSIZE(_USEHEADER)
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2; // on the last column: fills what the others leave
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr UINT LVM_GETITEMSTATE = LVM_FIRST + 44;
constexpr UINT LVM_GETSELECTEDCOUNT = LVM_FIRST + 50;
constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54; // wParam: mask (0: all), lParam: styles
constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 55;
constexpr UINT LVM_GETITEM = LVM_FIRST + 75;
constexpr UINT LVM_SETITEM = LVM_FIRST + 76;
constexpr UINT LVM_INSERTITEM = LVM_FIRST + 77;
constexpr UINT LVM_GETCOLUMN = LVM_FIRST + 95;
constexpr UINT LVM_INSERTCOLUMN = LVM_FIRST + 97;
constexpr UINT LVM_GETITEMTEXT = LVM_FIRST + 115; // returns the length copied
constexpr UINT LVM_SETITEMTEXT = LVM_FIRST + 116;

constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_IMAGE = 0x0002;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;

constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVIS_STATEIMAGEMASK = 0xF000;
constexpr UINT INDEXTOSTATEIMAGEMASK(UINT i)
{
    return i << 12;
}

constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_FOCUSED = 0x0001;
constexpr UINT LVNI_SELECTED = 0x0002;

constexpr UINT LVCF_FMT = 0x0001;
constexpr UINT LVCF_WIDTH = 0x0002;
constexpr UINT LVCF_TEXT = 0x0004;
constexpr UINT LVCF_SUBITEM = 0x0008;
constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;

constexpr UINT LVN_FIRST = static_cast<UINT>(-100);
constexpr UINT LVN_ITEMCHANGING = LVN_FIRST - 0;
constexpr UINT LVN_ITEMCHANGED = LVN_FIRST - 1;

struct LVITEM {
    UINT mask = 0;
    int iItem = 0;
    int iSubItem = 0;
    UINT state = 0;
    UINT stateMask = 0;
    char16_t* pszText = nullptr;
    int cchTextMax = 0;
    int iImage = 0;
    LPARAM lParam = 0;
    int iIndent = 0;
};
using LVITEMW = LVITEM;
using LPLVITEM = LVITEM*;

struct LVCOLUMN {
    UINT mask = 0;
    int fmt = 0;
    int cx = 0;
    char16_t* pszText = nullptr;
    int cchTextMax = 0;
    int iSubItem = 0;
};
using LVCOLUMNW = LVCOLUMN;

struct NMLISTVIEW {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    UINT uNewState = 0;
    UINT uOldState = 0;
    UINT uChanged = 0; // LVIF_STATE for a state change
    POINT ptAction;
    LPARAM lParam = 0; // the row's item data
};
using LPNMLISTVIEW = NMLISTVIEW*;

class CListViewCtrl : public CWindow {
public:
    CListViewCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CListViewCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }

    // Sets the styles of the mask (all when the mask is 0); returns the previous styles.
    DWORD SetExtendedListViewStyle(DWORD exStyle, DWORD mask = 0)
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, static_cast<LPARAM>(exStyle)));
    }
    DWORD GetExtendedListViewStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }

    // The index of the new column, -1 on failure.
    int InsertColumn(int column, const QString& heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1)
    {
        QString copy = heading;
        LVCOLUMN col;
        col.mask = LVCF_TEXT | LVCF_FMT;
        col.fmt = format;
        col.pszText = reinterpret_cast<char16_t*>(copy.data());
        if (width != -1) {
            col.mask |= LVCF_WIDTH;
            col.cx = width;
        }
        if (subItem != -1) {
            col.mask |= LVCF_SUBITEM;
            col.iSubItem = subItem;
        }
        return static_cast<int>(
            SendMessage(LVM_INSERTCOLUMN, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
    }
    BOOL DeleteColumn(int column) { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, column)); }
    int GetColumnWidth(int column) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, column)); }
    BOOL SetColumnWidth(int column, int width)
    {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), width));
    }

    // Rows: the index the row got, -1 on failure. An index past the end appends.
    int InsertItem(const LVITEM* item)
    {
        return static_cast<int>(SendMessage(LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    int InsertItem(int index, const QString& text)
    {
        QString copy = text;
        LVITEM item;
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = reinterpret_cast<char16_t*>(copy.data());
        return InsertItem(&item);
    }
    int AddItem(const QString& text) { return InsertItem(GetItemCount(), text); }
    BOOL DeleteItem(int index) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(index))); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }

    BOOL GetItem(LVITEM* item) const
    {
        return static_cast<BOOL>(SendMessage(LVM_GETITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(const LVITEM* item)
    {
        return static_cast<BOOL>(SendMessage(LVM_SETITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItemText(int index, int subItem, const QString& text)
    {
        QString copy = text;
        LVITEM item;
        item.iSubItem = subItem;
        item.pszText = reinterpret_cast<char16_t*>(copy.data());
        return static_cast<BOOL>(
            SendMessage(LVM_SETITEMTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    // Copies at most size - 1 characters and a NUL; returns the length copied (a text that fills
    // the buffer may have been cut: the caller grows the buffer and asks again).
    int GetItemText(int index, int subItem, char16_t* buffer, int size) const
    {
        LVITEM item;
        item.iSubItem = subItem;
        item.pszText = buffer;
        item.cchTextMax = size;
        return static_cast<int>(
            SendMessage(LVM_GETITEMTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    QString GetItemText(int index, int subItem) const
    {
        // Grows the buffer until the text fits.
        for (int size = 256;; size *= 2) {
            std::u16string buffer(static_cast<size_t>(size), u'\0');
            const int length = GetItemText(index, subItem, buffer.data(), size);
            if (length < size - 1)
                return QString::fromUtf16(buffer.data(), length);
        }
    }
    DWORD_PTR GetItemData(int index) const
    {
        LVITEM item;
        item.mask = LVIF_PARAM;
        item.iItem = index;
        return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
    }
    BOOL SetItemData(int index, DWORD_PTR data)
    {
        LVITEM item;
        item.mask = LVIF_PARAM;
        item.iItem = index;
        item.lParam = static_cast<LPARAM>(data);
        return SetItem(&item);
    }

    // State bits of the mask; index -1 sets them on every row.
    BOOL SetItemState(int index, UINT state, UINT mask)
    {
        LVITEM item;
        item.state = state;
        item.stateMask = mask;
        return static_cast<BOOL>(
            SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    UINT GetItemState(int index, UINT mask) const
    {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(index), mask));
    }
    BOOL GetCheckState(int index) const { return (GetItemState(index, LVIS_STATEIMAGEMASK) >> 12) == 2; }
    BOOL SetCheckState(int index, BOOL check)
    {
        return SetItemState(index, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), LVIS_STATEIMAGEMASK);
    }
    // The next row after start (-1: from the first) with the flags' state; -1 when none.
    int GetNextItem(int start, UINT flags) const
    {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), static_cast<LPARAM>(flags)));
    }
    int GetSelectedIndex() const { return GetNextItem(-1, LVNI_SELECTED); }
    UINT GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    BOOL SelectItem(int index)
    {
        return SetItemState(index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    BOOL EnsureVisible(int index, BOOL partialOk = FALSE)
    {
        return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), partialOk));
    }
};
