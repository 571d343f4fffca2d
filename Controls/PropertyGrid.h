// CPropertyGridCtrl: a property grid on an owner-drawn list box. Each row is a property item shown
// as a name in the left column and a value in the right one; the border between the columns can
// be dragged; categories collapse and expand their items; the selected item may place an editor
// window over its value. The grid owns the items it is given.
//
// The item classes are the caller's: the grid knows an item only through IPropertyItem. The
// grid's parent hears of clicks, selections, expansions and value changes as WM_NOTIFY with an
// NMPROPERTYITEM, and may veto a click, a double click or a value change by answering non-zero.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/ListBox.h"

#include <QString>

#include <functional>
#include <map>
#include <vector>

// Kinds of items the grid treats apart.
enum : BYTE {
    PROPKIND_CATEGORY = 1, // a heading whose items are rows below it while it is expanded
    PROPKIND_SIMPLE = 2,
    PROPKIND_BOOL = 3, // with PGS_EX_SINGLECLICKEDIT a selection acts as a double click
    PROPKIND_CONTROL = 8, // its editor is destroyed at once when it closes, not asked to close
};

// What the grid asks an item to do (IPropertyItem::Activate).
enum : UINT {
    PACT_SELECTED = 1,
    PACT_EXPAND = 2, // the category box clicked
    PACT_CLICK = 3, // lParam: the client point, MAKELPARAM(x, y)
    PACT_DBLCLICK = 4,
    PACT_TAB = 6,
    PACT_ACTIVATE = 7, // the editor is to take the keyboard
};

// Extended styles.
constexpr DWORD PGS_EX_CATEGORYCOLUMN = 0x01; // a 16-pixel column at the left with the expand boxes
constexpr DWORD PGS_EX_FILLCATEGORY = 0x04; // that column in the button-face colour
constexpr DWORD PGS_EX_SINGLECLICKEDIT = 0x10;
constexpr DWORD PGS_EX_FIXEDCOLUMN = 0x20; // the column border cannot be dragged

// Messages to the grid. The editor sends the first three; an item sends WM_PROP_CHANGED and the
// expand and collapse requests.
constexpr UINT WM_PROP_UPDATE = WM_USER + 430; // take the editor's value
constexpr UINT WM_PROP_CANCEL = WM_USER + 431; // close the editor, value unchanged
constexpr UINT WM_PROP_CHANGED = WM_USER + 432; // wParam: const QString* new value; lParam: the item
constexpr UINT WM_PROP_EXPAND = WM_USER + 433; // lParam: the category item
constexpr UINT WM_PROP_COLLAPSE = WM_USER + 434; // lParam: the category item
constexpr UINT WM_PROP_NAVIGATE = WM_USER + 435; // wParam: VK_UP or VK_DOWN

// Notifications (WM_NOTIFY codes).
constexpr UINT PIN_FIRST = static_cast<UINT>(-3000);
constexpr UINT PIN_SELCHANGED = PIN_FIRST - 1;
constexpr UINT PIN_ITEMCHANGING = PIN_FIRST - 2; // non-zero answer: the value is not taken
constexpr UINT PIN_ITEMCHANGED = PIN_FIRST - 3;
constexpr UINT PIN_COLLAPSING = PIN_FIRST - 4;
constexpr UINT PIN_EXPANDING = PIN_FIRST - 5;
constexpr UINT PIN_CLICK = PIN_FIRST - 7; // non-zero answer: the item does not act
constexpr UINT PIN_DBLCLICK = PIN_FIRST - 8; // non-zero answer: the item does not act

class IPropertyItem {
public:
    virtual ~IPropertyItem() = default;
    virtual BYTE GetKind() const = 0;
    virtual QString GetName() const = 0;
    virtual QString GetDisplayValue() const = 0;
    virtual BOOL CanEdit() const = 0;
    // The editor window over the value, a child of the grid; null for none.
    virtual HWND CreateEditor(HWND grid, const RECT& rect) = 0;
    virtual BOOL Activate(UINT action, LPARAM lParam) = 0;
    // The new value from the editor window / a value the item reported; FALSE refuses it.
    virtual BOOL TakeValue(HWND editor) = 0;
    virtual BOOL TakeValue(const QString& value) = 0;
    // Categories: the items leave the category as rows when it expands and come back to it when
    // it collapses.
    virtual std::vector<IPropertyItem*> TakeChildren() { return {}; }
    // By value: an override keeps the vector itself (moves it in) as the items' new owner.
    // NOLINTNEXTLINE(performance-unnecessary-value-param): overrides take the vector over
    virtual void KeepChildren(std::vector<IPropertyItem*> children)
    {
        for (IPropertyItem* child : children)
            delete child;
    }
};

struct NMPROPERTYITEM {
    NMHDR hdr {};
    IPropertyItem* prop = nullptr;
};
using LPNMPROPERTYITEM = NMPROPERTYITEM*;

class CPropertyGridCtrl : public CWindowImpl<CPropertyGridCtrl> {
public:
    CPropertyGridCtrl() = default;
    ~CPropertyGridCtrl() override;
    CPropertyGridCtrl(const CPropertyGridCtrl&) = delete;
    CPropertyGridCtrl& operator=(const CPropertyGridCtrl&) = delete;

    // Takes over a list box (LBS_OWNERDRAWVARIABLE | LBS_NOTIFY, without LBS_HASSTRINGS) whose
    // parent reflects notifications, then reads its size and the desktop's settings.
    BOOL SubclassWindow(HWND hWnd);

    void SetExtendedGridStyle(DWORD style) { m_dwExtStyle = style; }
    DWORD GetExtendedGridStyle() const { return m_dwExtStyle; }
    // Fixes the border at a position; a resize no longer moves it.
    void SetColumnWidth(int x);
    int GetColumnWidth() const { return m_xColumn; }

    // The grid takes ownership of the item. The row index, -1 on failure.
    int AddItem(IPropertyItem* item);
    int InsertItem(int index, IPropertyItem* item);
    BOOL DeleteItem(int index);
    void ResetContent();
    int GetCount() const { return CListBox(m_hWnd).GetCount(); }
    IPropertyItem* GetProperty(int index) const;
    int FindProperty(const IPropertyItem* item) const;
    int GetCurSel() const { return CListBox(m_hWnd).GetCurSel(); }
    // Selects a row as the user would: editor, action and notification follow.
    int SetCurSel(int index);
    BOOL IsExpanded(const IPropertyItem* category) const { return m_expanded.count(category) != 0; }
    HWND GetEditor() const { return m_hwndInplace; }
    int GetEditedIndex() const { return m_iInplaceIndex; }

    BEGIN_MSG_MAP(CPropertyGridCtrl)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_VSCROLL, OnScroll)
    MESSAGE_HANDLER(WM_HSCROLL, OnScroll)
    MESSAGE_HANDLER(WM_MOUSEWHEEL, OnScroll)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    MESSAGE_HANDLER(WM_CHAR, OnChar)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDblClk)
    MESSAGE_HANDLER(WM_SETTINGCHANGE, OnSettingChange)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_PROP_UPDATE, OnUpdateValue)
    MESSAGE_HANDLER(WM_PROP_CANCEL, OnCancelEdit)
    MESSAGE_HANDLER(WM_PROP_CHANGED, OnValueChanged)
    MESSAGE_HANDLER(WM_PROP_EXPAND, OnExpand)
    MESSAGE_HANDLER(WM_PROP_COLLAPSE, OnCollapse)
    MESSAGE_HANDLER(WM_PROP_NAVIGATE, OnNavigate)
    MESSAGE_HANDLER(OCM__BASE + WM_COMMAND, OnReflectedCommand)
    MESSAGE_HANDLER(OCM__BASE + WM_DRAWITEM, OnDrawItem)
    MESSAGE_HANDLER(OCM__BASE + WM_MEASUREITEM, OnMeasureItem)
    MESSAGE_HANDLER(OCM__BASE + WM_DELETEITEM, OnDeleteItem)
    DEFAULT_REFLECTION_HANDLER()
    END_MSG_MAP()

    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnScroll(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& handled);
    LRESULT OnChar(UINT, WPARAM wParam, LPARAM, BOOL& handled);
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& handled);
    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnLButtonUp(UINT, WPARAM, LPARAM lParam, BOOL& handled);
    LRESULT OnLButtonDblClk(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnSettingChange(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnUpdateValue(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCancelEdit(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnValueChanged(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnExpand(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnCollapse(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnNavigate(UINT, WPARAM wParam, LPARAM, BOOL&);
    LRESULT OnReflectedCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled);
    LRESULT OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnMeasureItem(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnDeleteItem(UINT, WPARAM, LPARAM lParam, BOOL&);

private:
    struct SColors {
        COLORREF text = 0, back = 0, highlightText = 0, highlight = 0, buttonFace = 0, grayText = 0;
    };

    void ReadSettings();
    void FreeGdi();
    int CategoryWidth() const { return (m_dwExtStyle & PGS_EX_CATEGORYCOLUMN) ? 16 : 0; }
    int BorderX() const { return CategoryWidth() + m_xColumn; } // client x of the border
    bool OnBorder(int x) const;
    void SelectionChanged();
    void SpawnEditor(int index);
    void DestroyEditor();
    // Takes the rows of an expanded category out again (its expanded items first).
    void CollapseRows(IPropertyItem* category);
    LRESULT Notify(UINT code, IPropertyItem* item);
    // The value step of WM_PROP_UPDATE and WM_PROP_CHANGED: asked, taken, told.
    void ChangeValue(IPropertyItem* item, const std::function<BOOL()>& take);
    void InvertDragLine(int x);
    int DragPosition(LPARAM lParam) const; // the pointer's x, kept off the grid's edges
    void DrawCategoryBox(HDC dc, const RECT& row, bool collapsed);

    HWND m_hwndInplace = nullptr;
    int m_iInplaceIndex = -1;
    BYTE m_inplaceKind = 0;
    DWORD m_dwExtStyle = 0;
    SColors m_colors;
    HPEN m_hBorderPen = nullptr;
    HFONT m_hFont = nullptr; // the parent's or the default GUI font; not owned
    HFONT m_hBoldFont = nullptr; // owned
    TEXTMETRIC m_textMetrics {};
    int m_xColumn = 0;
    bool m_bColumnFixed = false;
    int m_xDragStart = 0;
    int m_xDragLine = 0;
    // Expanded categories and the number of their rows below them.
    std::map<const IPropertyItem*, int> m_expanded;
};
