// The common controls the main window is built from: tree view, toolbar, status bar, rebar and
// image lists, with their Windows messages, records and notification codes, and the wrapper
// classes the program calls them through.
//
// Tree items are handles into the control's own item table: a handle stays valid until its item is
// deleted, and a stale one fails the call. Notifications reach the parent as WM_NOTIFY.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/GdiTypes.h"

#include <QIcon>
#include <QString>

class QImage;
class QPixmap;

// Class names.
inline constexpr const char16_t* WC_TREEVIEW = u"SysTreeView32";
inline constexpr const char16_t* TOOLBARCLASSNAME = u"ToolbarWindow32";
inline constexpr const char16_t* STATUSCLASSNAME = u"msctls_statusbar32";
inline constexpr const char16_t* REBARCLASSNAME = u"ReBarWindow32";

// ---------------------------------------------------------------------------------------------
// Image lists

struct HIMAGELIST__;
using HIMAGELIST = HIMAGELIST__*;

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR32 = 0x0020;
constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT ILD_SELECTED = 0x0004;
constexpr UINT ILD_OVERLAYMASK = 0x0F00;
constexpr UINT INDEXTOOVERLAYMASK(UINT i)
{
    return i << 8;
}
constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// Cuts the bitmap into images of the list's width; pixels of the mask colour become transparent.
// The index of the first new image, -1 on failure.
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask);
int ImageList_Add(HIMAGELIST list, HBITMAP bitmap, HBITMAP mask);
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon); // index -1 appends
inline int ImageList_AddIcon(HIMAGELIST list, HICON icon)
{
    return ImageList_ReplaceIcon(list, -1, icon);
}
BOOL ImageList_Remove(HIMAGELIST list, int index); // -1 removes all
// Makes an image the overlay with number 1-15 (drawn with INDEXTOOVERLAYMASK(n)).
BOOL ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
HICON ImageList_GetIcon(HIMAGELIST list, int index, UINT flags);

namespace taluvo::ui {
// An image of the list with the overlay (1-15, 0 for none) laid over it; null when out of range.
QImage ImageListImage(HIMAGELIST list, int index, int overlay = 0);
// The same at twice the density, where the list's strip was drawn so; null otherwise.
QImage DoubledImageListImage(HIMAGELIST list, int index, int overlay = 0);
// Adds the image (with the overlay) to a Qt icon in the given mode, with its doubled picture where
// there is one, so the widget shows whichever fits its screen's device pixel ratio; false when the
// index is out of range.
bool AddImageListPixmaps(QIcon& icon, HIMAGELIST list, int index, int overlay, QIcon::Mode mode);
QIcon ImageListIcon(HIMAGELIST list, int index, int overlay = 0);
// Changes whenever images of the list change (caches of drawn images compare it).
quint64 ImageListVersion(HIMAGELIST list);
} // namespace taluvo::ui

class CImageList {
public:
    HIMAGELIST m_hImageList = nullptr;
    CImageList(HIMAGELIST list = nullptr)
        : m_hImageList(list)
    {
    }
    operator HIMAGELIST() const { return m_hImageList; }
    bool IsNull() const { return m_hImageList == nullptr; }
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow)
    {
        m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
        return m_hImageList != nullptr;
    }
    // From a bitmap resource, as WTL's CImageList::Create(bitmapId, cx, grow, mask).
    BOOL Create(WORD bitmapId, int cx, int grow, COLORREF mask);
    BOOL Destroy()
    {
        const BOOL done = ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
        return done;
    }
    int Add(HBITMAP bitmap, COLORREF mask) { return ImageList_AddMasked(m_hImageList, bitmap, mask); }
    int AddIcon(HICON icon) { return ImageList_AddIcon(m_hImageList, icon); }
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    BOOL SetOverlayImage(int image, int overlay) { return ImageList_SetOverlayImage(m_hImageList, image, overlay); }
    BOOL Draw(HDC dc, int index, int x, int y, UINT style)
    {
        return ImageList_Draw(m_hImageList, index, dc, x, y, style);
    }
    HICON GetIcon(int index, UINT flags = ILD_NORMAL) const { return ImageList_GetIcon(m_hImageList, index, flags); }
};

// ---------------------------------------------------------------------------------------------
// Common control styles

constexpr DWORD CCS_TOP = 0x0001;
constexpr DWORD CCS_NOMOVEY = 0x0002;
constexpr DWORD CCS_BOTTOM = 0x0003;
constexpr DWORD CCS_NORESIZE = 0x0004;
constexpr DWORD CCS_NOPARENTALIGN = 0x0008;
constexpr DWORD CCS_ADJUSTABLE = 0x0020;
constexpr DWORD CCS_NODIVIDER = 0x0040;

// ---------------------------------------------------------------------------------------------
// Tree view

struct HTREEITEM__;
using HTREEITEM = HTREEITEM__*;
inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x10000));
inline HTREEITEM const TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFF));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFE));
inline HTREEITEM const TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFD));

constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_EDITLABELS = 0x0008;
constexpr DWORD TVS_DISABLEDRAGDROP = 0x0010;
constexpr DWORD TVS_SHOWSELALWAYS = 0x0020;

constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_IMAGE = 0x0002;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIF_STATE = 0x0008;
constexpr UINT TVIF_HANDLE = 0x0010;
constexpr UINT TVIF_SELECTEDIMAGE = 0x0020;
constexpr UINT TVIF_CHILDREN = 0x0040;

constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_EXPANDED = 0x0020;
constexpr UINT TVIS_OVERLAYMASK = 0x0F00;

constexpr UINT TVGN_ROOT = 0x0000;
constexpr UINT TVGN_NEXT = 0x0001;
constexpr UINT TVGN_PREVIOUS = 0x0002;
constexpr UINT TVGN_PARENT = 0x0003;
constexpr UINT TVGN_CHILD = 0x0004;
constexpr UINT TVGN_FIRSTVISIBLE = 0x0005;
constexpr UINT TVGN_CARET = 0x0009;

constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;

constexpr UINT TVHT_NOWHERE = 0x0001;
constexpr UINT TVHT_ONITEMICON = 0x0002;
constexpr UINT TVHT_ONITEMLABEL = 0x0004;
constexpr UINT TVHT_ONITEM = TVHT_ONITEMICON | TVHT_ONITEMLABEL | 0x0040;
constexpr UINT TVHT_ONITEMINDENT = 0x0008;
constexpr UINT TVHT_ONITEMBUTTON = 0x0010;
constexpr UINT TVHT_ONITEMRIGHT = 0x0020;
constexpr UINT TVHT_ONITEMSTATEICON = 0x0040;
constexpr UINT TVHT_ABOVE = 0x0100;
constexpr UINT TVHT_BELOW = 0x0200;
constexpr UINT TVHT_TORIGHT = 0x0400;
constexpr UINT TVHT_TOLEFT = 0x0800;

constexpr UINT TVSIL_NORMAL = 0;

constexpr UINT TVC_UNKNOWN = 0x0000;
constexpr UINT TVC_BYMOUSE = 0x0001;
constexpr UINT TVC_BYKEYBOARD = 0x0002;

constexpr UINT TV_FIRST = 0x1100;
constexpr UINT TVM_DELETEITEM = TV_FIRST + 1;
constexpr UINT TVM_EXPAND = TV_FIRST + 2;
constexpr UINT TVM_GETITEMRECT = TV_FIRST + 4;
constexpr UINT TVM_GETCOUNT = TV_FIRST + 5;
constexpr UINT TVM_GETIMAGELIST = TV_FIRST + 8;
constexpr UINT TVM_SETIMAGELIST = TV_FIRST + 9;
constexpr UINT TVM_GETNEXTITEM = TV_FIRST + 10;
constexpr UINT TVM_SELECTITEM = TV_FIRST + 11;
constexpr UINT TVM_HITTEST = TV_FIRST + 17;
constexpr UINT TVM_ENSUREVISIBLE = TV_FIRST + 20;
constexpr UINT TVM_GETITEMSTATE = TV_FIRST + 39;
constexpr UINT TVM_INSERTITEM = TV_FIRST + 50;
constexpr UINT TVM_GETITEM = TV_FIRST + 62;
constexpr UINT TVM_SETITEM = TV_FIRST + 63;
// The layer's own: Windows' tree can only insert and delete. Moves the item wParam names, with its
// subtree, among its siblings to after the sibling lParam names (or TVI_FIRST, TVI_LAST); the item
// keeps its handle, its data and the selection. FALSE for a stale item or a place that is not one
// of its siblings.
constexpr UINT TVM_MOVEITEM = TV_FIRST + 200;

constexpr UINT TVN_FIRST = static_cast<UINT>(-400);
constexpr UINT TVN_SELCHANGING = TVN_FIRST - 50;
constexpr UINT TVN_SELCHANGED = TVN_FIRST - 51;
constexpr UINT TVN_ITEMEXPANDED = TVN_FIRST - 55;
constexpr UINT TVN_DELETEITEM = TVN_FIRST - 58;

struct TVITEM {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    UINT state = 0;
    UINT stateMask = 0;
    char16_t* pszText = nullptr;
    int cchTextMax = 0;
    int iImage = 0;
    int iSelectedImage = 0;
    int cChildren = 0;
    LPARAM lParam = 0;
};
using TVITEMW = TVITEM;
using LPTVITEM = TVITEM*;

struct TVINSERTSTRUCT {
    HTREEITEM hParent = nullptr;
    HTREEITEM hInsertAfter = nullptr;
    TVITEM item;
};
using TVINSERTSTRUCTW = TVINSERTSTRUCT;

struct NMTREEVIEW {
    NMHDR hdr;
    UINT action = 0;
    TVITEM itemOld;
    TVITEM itemNew;
    POINT ptDrag;
};
using NMTREEVIEWW = NMTREEVIEW;
using LPNMTREEVIEW = NMTREEVIEW*;

struct TVHITTESTINFO {
    POINT pt;
    UINT flags = 0;
    HTREEITEM hItem = nullptr;
};

class CTreeViewCtrl : public CWindow {
public:
    CTreeViewCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CTreeViewCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    HWND Create(HWND parent, const RECT* rect, const QString& name, DWORD style, DWORD exStyle, UINT id)
    {
        m_hWnd = ::CreateWindowEx(exStyle, WC_TREEVIEW, nullptr, style, rect ? rect->left : 0, rect ? rect->top : 0,
            rect ? rect->right - rect->left : 0, rect ? rect->bottom - rect->top : 0, parent,
            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
        (void)name;
        return m_hWnd;
    }

    HTREEITEM InsertItem(const TVINSERTSTRUCT* insert)
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(insert)));
    }
    HTREEITEM InsertItem(UINT mask, const QString& text, int image, int selectedImage, UINT state, UINT stateMask,
        LPARAM param, HTREEITEM parent, HTREEITEM insertAfter)
    {
        QString copy = text;
        TVINSERTSTRUCT insert;
        insert.hParent = parent;
        insert.hInsertAfter = insertAfter;
        insert.item.mask = mask;
        insert.item.pszText = reinterpret_cast<char16_t*>(copy.data());
        insert.item.iImage = image;
        insert.item.iSelectedImage = selectedImage;
        insert.item.state = state;
        insert.item.stateMask = stateMask;
        insert.item.lParam = param;
        return InsertItem(&insert);
    }
    HTREEITEM InsertItem(const QString& text, int image, int selectedImage, HTREEITEM parent, HTREEITEM insertAfter)
    {
        return InsertItem(
            TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0, parent, insertAfter);
    }
    HTREEITEM InsertItem(const QString& text, HTREEITEM parent, HTREEITEM insertAfter)
    {
        return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, insertAfter);
    }
    BOOL DeleteItem(HTREEITEM item)
    {
        return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    BOOL MoveItem(HTREEITEM item, HTREEITEM insertAfter)
    {
        return static_cast<BOOL>(
            SendMessage(TVM_MOVEITEM, reinterpret_cast<WPARAM>(item), reinterpret_cast<LPARAM>(insertAfter)));
    }
    BOOL Expand(HTREEITEM item, UINT code = TVE_EXPAND)
    {
        return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    }
    BOOL EnsureVisible(HTREEITEM item)
    {
        return static_cast<BOOL>(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)));
    }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }

    BOOL GetItem(TVITEM* item) const
    {
        return static_cast<BOOL>(SendMessage(TVM_GETITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(const TVITEM* item)
    {
        return static_cast<BOOL>(SendMessage(TVM_SETITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(HTREEITEM hItem, UINT mask, const QString& text, int image, int selectedImage, UINT state,
        UINT stateMask, LPARAM param)
    {
        QString copy = text;
        TVITEM item;
        item.hItem = hItem;
        item.mask = mask;
        item.pszText = reinterpret_cast<char16_t*>(copy.data());
        item.iImage = image;
        item.iSelectedImage = selectedImage;
        item.state = state;
        item.stateMask = stateMask;
        item.lParam = param;
        return SetItem(&item);
    }
    DWORD_PTR GetItemData(HTREEITEM hItem) const
    {
        TVITEM item;
        item.hItem = hItem;
        item.mask = TVIF_PARAM;
        return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
    }
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR data)
    {
        return SetItem(hItem, TVIF_PARAM, QString(), 0, 0, 0, 0, static_cast<LPARAM>(data));
    }
    // Up to 259 characters, as the program's buffers hold.
    BOOL GetItemText(HTREEITEM hItem, QString& text) const
    {
        char16_t buffer[260] = {};
        TVITEM item;
        item.hItem = hItem;
        item.mask = TVIF_TEXT;
        item.pszText = buffer;
        item.cchTextMax = 260;
        const BOOL done = GetItem(&item);
        text = done ? QString::fromUtf16(buffer) : QString();
        return done;
    }
    BOOL SetItemText(HTREEITEM hItem, const QString& text) { return SetItem(hItem, TVIF_TEXT, text, 0, 0, 0, 0, 0); }
    BOOL GetItemImage(HTREEITEM hItem, int& image, int& selectedImage) const
    {
        TVITEM item;
        item.hItem = hItem;
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        const BOOL done = GetItem(&item);
        image = item.iImage;
        selectedImage = item.iSelectedImage;
        return done;
    }
    BOOL SetItemImage(HTREEITEM hItem, int image, int selectedImage)
    {
        return SetItem(hItem, TVIF_IMAGE | TVIF_SELECTEDIMAGE, QString(), image, selectedImage, 0, 0, 0);
    }
    UINT GetItemState(HTREEITEM hItem, UINT mask) const
    {
        return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), mask));
    }
    BOOL SetItemState(HTREEITEM hItem, UINT state, UINT mask)
    {
        return SetItem(hItem, TVIF_STATE, QString(), 0, 0, state, mask, 0);
    }

    HTREEITEM GetNextItem(HTREEITEM hItem, UINT code) const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(hItem)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL ItemHasChildren(HTREEITEM hItem) const { return GetChildItem(hItem) != nullptr; }

    // A null item clears the selection.
    BOOL SelectItem(HTREEITEM hItem)
    {
        return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem)));
    }
    HTREEITEM HitTest(TVHITTESTINFO* info) const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
    }
    HTREEITEM HitTest(POINT pt, UINT* flags) const
    {
        TVHITTESTINFO info;
        info.pt = pt;
        HTREEITEM item = HitTest(&info);
        if (flags)
            *flags = info.flags;
        return item;
    }
    // The item's row, or with textOnly its label, in client coordinates; FALSE when not visible.
    BOOL GetItemRect(HTREEITEM hItem, RECT* rect, BOOL textOnly) const
    {
        if (!rect)
            return FALSE;
        *reinterpret_cast<HTREEITEM*>(rect) = hItem;
        return static_cast<BOOL>(SendMessage(TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(rect)));
    }
    HIMAGELIST SetImageList(HIMAGELIST list, int type = TVSIL_NORMAL)
    {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(type), reinterpret_cast<LPARAM>(list)));
    }
    HIMAGELIST GetImageList(int type = TVSIL_NORMAL) const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, static_cast<WPARAM>(type)));
    }
};

// ---------------------------------------------------------------------------------------------
// Toolbar

constexpr DWORD TBSTYLE_BUTTON = 0x0000;
constexpr DWORD TBSTYLE_SEP = 0x0001;
constexpr DWORD TBSTYLE_CHECK = 0x0002;
constexpr DWORD TBSTYLE_TOOLTIPS = 0x0100;
constexpr DWORD TBSTYLE_WRAPABLE = 0x0200;
constexpr DWORD TBSTYLE_FLAT = 0x0800;
constexpr DWORD TBSTYLE_LIST = 0x1000;
constexpr BYTE BTNS_BUTTON = 0x00;
constexpr BYTE BTNS_SEP = 0x01;
constexpr BYTE BTNS_CHECK = 0x02;

constexpr BYTE TBSTATE_CHECKED = 0x01;
constexpr BYTE TBSTATE_PRESSED = 0x02;
constexpr BYTE TBSTATE_ENABLED = 0x04;
constexpr BYTE TBSTATE_HIDDEN = 0x08;

constexpr UINT TB_ENABLEBUTTON = WM_USER + 1;
constexpr UINT TB_CHECKBUTTON = WM_USER + 2;
constexpr UINT TB_PRESSBUTTON = WM_USER + 3;
constexpr UINT TB_HIDEBUTTON = WM_USER + 4;
constexpr UINT TB_ISBUTTONENABLED = WM_USER + 9;
constexpr UINT TB_ISBUTTONCHECKED = WM_USER + 10;
constexpr UINT TB_ISBUTTONHIDDEN = WM_USER + 12;
constexpr UINT TB_SETSTATE = WM_USER + 17;
constexpr UINT TB_GETSTATE = WM_USER + 18;
constexpr UINT TB_DELETEBUTTON = WM_USER + 22;
constexpr UINT TB_GETBUTTON = WM_USER + 23;
constexpr UINT TB_BUTTONCOUNT = WM_USER + 24;
constexpr UINT TB_COMMANDTOINDEX = WM_USER + 25;
constexpr UINT TB_GETITEMRECT = WM_USER + 29;
constexpr UINT TB_BUTTONSTRUCTSIZE = WM_USER + 30;
constexpr UINT TB_SETBUTTONSIZE = WM_USER + 31;
constexpr UINT TB_SETBITMAPSIZE = WM_USER + 32;
constexpr UINT TB_AUTOSIZE = WM_USER + 33;
constexpr UINT TB_SETIMAGELIST = WM_USER + 48;
constexpr UINT TB_GETIMAGELIST = WM_USER + 49;
constexpr UINT TB_GETRECT = WM_USER + 51;
constexpr UINT TB_SETSTYLE = WM_USER + 56;
constexpr UINT TB_GETSTYLE = WM_USER + 57;
constexpr UINT TB_GETBUTTONINFO = WM_USER + 63;
constexpr UINT TB_SETBUTTONINFO = WM_USER + 64;
constexpr UINT TB_INSERTBUTTON = WM_USER + 67;
constexpr UINT TB_ADDBUTTONS = WM_USER + 68;

constexpr DWORD TBIF_IMAGE = 0x00000001;
constexpr DWORD TBIF_TEXT = 0x00000002;
constexpr DWORD TBIF_STATE = 0x00000004;
constexpr DWORD TBIF_STYLE = 0x00000008;
constexpr DWORD TBIF_LPARAM = 0x00000010;
constexpr DWORD TBIF_COMMAND = 0x00000020;
constexpr DWORD TBIF_BYINDEX = 0x80000000;

struct TBBUTTON {
    int iBitmap = 0;
    int idCommand = 0;
    BYTE fsState = 0;
    BYTE fsStyle = 0;
    BYTE bReserved[6] = {};
    DWORD_PTR dwData = 0;
    INT_PTR iString = 0;
};
using LPTBBUTTON = TBBUTTON*;

struct TBBUTTONINFO {
    UINT cbSize = sizeof(TBBUTTONINFO);
    DWORD dwMask = 0;
    int idCommand = 0;
    int iImage = 0;
    BYTE fsState = 0;
    BYTE fsStyle = 0;
    WORD cx = 0;
    DWORD_PTR lParam = 0;
    char16_t* pszText = nullptr;
    int cchText = 0;
};
using TBBUTTONINFOW = TBBUTTONINFO;

class CToolBarCtrl : public CWindow {
public:
    CToolBarCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CToolBarCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    int GetButtonCount() const { return static_cast<int>(SendMessage(TB_BUTTONCOUNT)); }
    BOOL AddButtons(int count, const TBBUTTON* buttons)
    {
        return static_cast<BOOL>(
            SendMessage(TB_ADDBUTTONS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(buttons)));
    }
    BOOL InsertButton(int index, const TBBUTTON* button)
    {
        return static_cast<BOOL>(
            SendMessage(TB_INSERTBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(button)));
    }
    BOOL DeleteButton(int index) { return static_cast<BOOL>(SendMessage(TB_DELETEBUTTON, static_cast<WPARAM>(index))); }
    BOOL GetButton(int index, TBBUTTON* button) const
    {
        return static_cast<BOOL>(
            SendMessage(TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(button)));
    }
    BOOL EnableButton(int id, BOOL enable = TRUE)
    {
        return static_cast<BOOL>(SendMessage(TB_ENABLEBUTTON, static_cast<WPARAM>(id), MAKELPARAM(enable, 0)));
    }
    BOOL CheckButton(int id, BOOL check = TRUE)
    {
        return static_cast<BOOL>(SendMessage(TB_CHECKBUTTON, static_cast<WPARAM>(id), MAKELPARAM(check, 0)));
    }
    BOOL HideButton(int id, BOOL hide = TRUE)
    {
        return static_cast<BOOL>(SendMessage(TB_HIDEBUTTON, static_cast<WPARAM>(id), MAKELPARAM(hide, 0)));
    }
    BOOL IsButtonEnabled(int id) const
    {
        return static_cast<BOOL>(SendMessage(TB_ISBUTTONENABLED, static_cast<WPARAM>(id)));
    }
    BOOL IsButtonChecked(int id) const
    {
        return static_cast<BOOL>(SendMessage(TB_ISBUTTONCHECKED, static_cast<WPARAM>(id)));
    }
    int GetState(int id) const { return static_cast<int>(SendMessage(TB_GETSTATE, static_cast<WPARAM>(id))); }
    BOOL SetState(int id, UINT state)
    {
        return static_cast<BOOL>(SendMessage(TB_SETSTATE, static_cast<WPARAM>(id), MAKELPARAM(state, 0)));
    }
    int CommandToIndex(int id) const
    {
        return static_cast<int>(SendMessage(TB_COMMANDTOINDEX, static_cast<WPARAM>(id)));
    }
    BOOL GetItemRect(int index, RECT* rect) const
    {
        return static_cast<BOOL>(
            SendMessage(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
    }
    int GetButtonInfo(int id, TBBUTTONINFO* info) const
    {
        return static_cast<int>(SendMessage(TB_GETBUTTONINFO, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(info)));
    }
    BOOL SetButtonInfo(int id, const TBBUTTONINFO* info)
    {
        return static_cast<BOOL>(
            SendMessage(TB_SETBUTTONINFO, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(info)));
    }
    HIMAGELIST SetImageList(HIMAGELIST list)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list)));
    }
    HIMAGELIST GetImageList() const { return reinterpret_cast<HIMAGELIST>(SendMessage(TB_GETIMAGELIST)); }
    void SetButtonStructSize(int size = sizeof(TBBUTTON))
    {
        SendMessage(TB_BUTTONSTRUCTSIZE, static_cast<WPARAM>(size));
    }
    DWORD GetStyle() const { return static_cast<DWORD>(SendMessage(TB_GETSTYLE)); }
    void SetStyle(DWORD style) { SendMessage(TB_SETSTYLE, 0, static_cast<LPARAM>(style)); }
    void AutoSize() { SendMessage(TB_AUTOSIZE); }
};

// ---------------------------------------------------------------------------------------------
// Status bar

constexpr DWORD SBARS_SIZEGRIP = 0x0100;
constexpr UINT SB_SETPARTS = WM_USER + 4;
constexpr UINT SB_GETPARTS = WM_USER + 6;
constexpr UINT SB_SIMPLE = WM_USER + 9;
constexpr UINT SB_GETRECT = WM_USER + 10;
constexpr UINT SB_SETTEXT = WM_USER + 11;
constexpr UINT SB_GETTEXTLENGTH = WM_USER + 12;
constexpr UINT SB_GETTEXT = WM_USER + 13;
constexpr UINT SB_ISSIMPLE = WM_USER + 14;
constexpr UINT SB_SIMPLEID = 0x00FF;
constexpr UINT SBT_NOBORDERS = 0x0100;

class CStatusBarCtrl : public CWindow {
public:
    CStatusBarCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CStatusBarCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    // Part 0..255, SB_SIMPLEID for the simple text.
    BOOL SetText(int part, const QString& text, int type = 0)
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        return static_cast<BOOL>(
            SendMessage(SB_SETTEXT, static_cast<WPARAM>(part | type), reinterpret_cast<LPARAM>(copy.utf16())));
    }
    QString GetText(int part) const
    {
        const int length = LOWORD(static_cast<uintptr_t>(SendMessage(SB_GETTEXTLENGTH, static_cast<WPARAM>(part))));
        std::u16string buffer(static_cast<size_t>(length) + 1, u'\0');
        SendMessage(SB_GETTEXT, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(buffer.data()));
        return QString::fromUtf16(buffer.data(), length);
    }
    BOOL SetSimple(BOOL simple = TRUE) { return static_cast<BOOL>(SendMessage(SB_SIMPLE, simple)); }
    BOOL IsSimple() const { return static_cast<BOOL>(SendMessage(SB_ISSIMPLE)); }
};

// ---------------------------------------------------------------------------------------------
// Rebar

constexpr DWORD RBS_VARHEIGHT = 0x0200;
constexpr DWORD RBS_BANDBORDERS = 0x0400;
constexpr DWORD RBS_AUTOSIZE = 0x2000;

constexpr UINT RBBIM_STYLE = 0x0001;
constexpr UINT RBBIM_COLORS = 0x0002;
constexpr UINT RBBIM_TEXT = 0x0004;
constexpr UINT RBBIM_IMAGE = 0x0008;
constexpr UINT RBBIM_CHILD = 0x0010;
constexpr UINT RBBIM_CHILDSIZE = 0x0020;
constexpr UINT RBBIM_SIZE = 0x0040;
constexpr UINT RBBIM_BACKGROUND = 0x0080;
constexpr UINT RBBIM_ID = 0x0100;
constexpr UINT RBBIM_IDEALSIZE = 0x0200;

constexpr UINT RBBS_BREAK = 0x0001;
constexpr UINT RBBS_FIXEDSIZE = 0x0002;
constexpr UINT RBBS_CHILDEDGE = 0x0004;
constexpr UINT RBBS_HIDDEN = 0x0008;
constexpr UINT RBBS_GRIPPERALWAYS = 0x0080;
constexpr UINT RBBS_NOGRIPPER = 0x0100;

constexpr UINT RB_INSERTBAND = WM_USER + 10;
constexpr UINT RB_DELETEBAND = WM_USER + 2;
constexpr UINT RB_SETBANDINFO = WM_USER + 11;
constexpr UINT RB_GETBANDCOUNT = WM_USER + 12;
constexpr UINT RB_GETROWCOUNT = WM_USER + 13;
constexpr UINT RB_IDTOINDEX = WM_USER + 16;
constexpr UINT RB_GETBARHEIGHT = WM_USER + 27;
constexpr UINT RB_GETBANDINFO = WM_USER + 28;
constexpr UINT RB_SHOWBAND = WM_USER + 35;

constexpr UINT RBN_FIRST = static_cast<UINT>(-831);
constexpr UINT RBN_HEIGHTCHANGE = RBN_FIRST - 0;
constexpr UINT RBN_AUTOSIZE = RBN_FIRST - 13;

struct REBARBANDINFO {
    UINT cbSize = sizeof(REBARBANDINFO);
    UINT fMask = 0;
    UINT fStyle = 0;
    COLORREF clrFore = 0;
    COLORREF clrBack = 0;
    char16_t* lpText = nullptr;
    UINT cch = 0;
    int iImage = 0;
    HWND hwndChild = nullptr;
    UINT cxMinChild = 0;
    UINT cyMinChild = 0;
    UINT cx = 0;
    HBITMAP hbmBack = nullptr;
    UINT wID = 0;
    UINT cyChild = 0;
    UINT cyMaxChild = 0;
    UINT cyIntegral = 0;
    UINT cxIdeal = 0;
    LPARAM lParam = 0;
    UINT cxHeader = 0;
};
using REBARBANDINFOW = REBARBANDINFO;

class CReBarCtrl : public CWindow {
public:
    CReBarCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CReBarCtrl& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    UINT GetBandCount() const { return static_cast<UINT>(SendMessage(RB_GETBANDCOUNT)); }
    UINT GetRowCount() const { return static_cast<UINT>(SendMessage(RB_GETROWCOUNT)); }
    UINT GetBarHeight() const { return static_cast<UINT>(SendMessage(RB_GETBARHEIGHT)); }
    BOOL InsertBand(int index, const REBARBANDINFO* band)
    {
        return static_cast<BOOL>(
            SendMessage(RB_INSERTBAND, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(band)));
    }
    BOOL DeleteBand(int index) { return static_cast<BOOL>(SendMessage(RB_DELETEBAND, static_cast<WPARAM>(index))); }
    int IdToIndex(UINT id) const { return static_cast<int>(SendMessage(RB_IDTOINDEX, id)); }
    BOOL ShowBand(int index, BOOL show)
    {
        return static_cast<BOOL>(SendMessage(RB_SHOWBAND, static_cast<WPARAM>(index), show));
    }
    BOOL GetBandInfo(int index, REBARBANDINFO* band) const
    {
        return static_cast<BOOL>(
            SendMessage(RB_GETBANDINFO, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(band)));
    }
};
