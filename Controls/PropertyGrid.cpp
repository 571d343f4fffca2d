#include "Controls/PropertyGrid.h"

#include "platform/ui/Cursor.h"

#include <algorithm>

namespace {

constexpr int kCategoryColumn = 16;
constexpr int kBorderGrip = 2; // pixels either side of the border that grab it
constexpr int kSmallestColumn = 8;

bool IsWithin(HWND window, HWND ancestor)
{
    for (HWND hwnd = window; hwnd; hwnd = ::GetParent(hwnd))
        if (hwnd == ancestor)
            return true;
    return false;
}

} // namespace

CPropertyGridCtrl::~CPropertyGridCtrl()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        // The window outlives the grid: it gives back its items and its procedure.
        ResetContent();
        UnsubclassWindow(TRUE);
    }
    FreeGdi();
}

BOOL CPropertyGridCtrl::SubclassWindow(HWND hWnd)
{
    if (!CWindowImpl<CPropertyGridCtrl>::SubclassWindow(hWnd))
        return FALSE;
    RECT client;
    GetClientRect(&client);
    BOOL handled = TRUE;
    OnSize(WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom), handled);
    OnSettingChange(WM_SETTINGCHANGE, 0, 0, handled);
    return TRUE;
}

void CPropertyGridCtrl::SetColumnWidth(int x)
{
    m_xColumn = x;
    m_bColumnFixed = true;
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Rows

int CPropertyGridCtrl::AddItem(IPropertyItem* item)
{
    return InsertItem(GetCount(), item);
}

int CPropertyGridCtrl::InsertItem(int index, IPropertyItem* item)
{
    if (!item || !m_hWnd)
        return -1;
    const int at = CListBox(m_hWnd).InsertItem(index, reinterpret_cast<DWORD_PTR>(item));
    if (at < 0) {
        delete item;
        return -1;
    }
    if (m_iInplaceIndex >= at)
        ++m_iInplaceIndex;
    return at;
}

BOOL CPropertyGridCtrl::DeleteItem(int index)
{
    IPropertyItem* item = GetProperty(index);
    if (!item)
        return FALSE;
    if (IsExpanded(item))
        CollapseRows(item);
    CListBox(m_hWnd).DeleteString(index);
    delete item;
    return TRUE;
}

void CPropertyGridCtrl::ResetContent()
{
    DestroyEditor();
    const int count = GetCount();
    std::vector<IPropertyItem*> items;
    items.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        items.push_back(GetProperty(i));
    CListBox(m_hWnd).ResetContent();
    m_expanded.clear();
    for (IPropertyItem* item : items)
        delete item;
}

IPropertyItem* CPropertyGridCtrl::GetProperty(int index) const
{
    if (!m_hWnd || index < 0 || index >= GetCount())
        return nullptr;
    return reinterpret_cast<IPropertyItem*>(CListBox(m_hWnd).GetItemData(index));
}

int CPropertyGridCtrl::FindProperty(const IPropertyItem* item) const
{
    for (int i = 0; item && i < GetCount(); ++i)
        if (GetProperty(i) == item)
            return i;
    return -1;
}

int CPropertyGridCtrl::SetCurSel(int index)
{
    const int result = CListBox(m_hWnd).SetCurSel(index);
    SelectionChanged();
    return result;
}

// ---------------------------------------------------------------------------------------------
// Editor, selection and notifications

void CPropertyGridCtrl::SelectionChanged()
{
    DestroyEditor();
    const int index = GetCurSel();
    IPropertyItem* item = GetProperty(index);
    if (!item)
        return;
    if (item->CanEdit())
        SpawnEditor(index);
    item->Activate(PACT_SELECTED, 0);
    if ((m_dwExtStyle & PGS_EX_SINGLECLICKEDIT) && item->GetKind() == PROPKIND_BOOL)
        item->Activate(PACT_DBLCLICK, 0);
    Notify(PIN_SELCHANGED, item);
}

void CPropertyGridCtrl::SpawnEditor(int index)
{
    DestroyEditor();
    IPropertyItem* item = GetProperty(index);
    RECT rect;
    if (!item || CListBox(m_hWnd).GetItemRect(index, &rect) != LB_OKAY)
        return;
    rect.left = BorderX() + 1;
    rect.top += 1;
    rect.bottom -= 1;
    HWND editor = item->CreateEditor(m_hWnd, rect);
    if (!editor)
        return;
    m_hwndInplace = editor;
    m_iInplaceIndex = index;
    m_inplaceKind = item->GetKind();
    ::ShowWindow(editor, SW_SHOWNOACTIVATE);
}

void CPropertyGridCtrl::DestroyEditor()
{
    if (!m_hwndInplace)
        return;
    // Forgotten first: closing the editor may bring messages back here.
    const HWND editor = m_hwndInplace;
    m_hwndInplace = nullptr;
    m_iInplaceIndex = -1;
    if (!::IsWindow(editor))
        return;
    if (IsWithin(::GetFocus(), editor))
        SetFocus();
    if (m_inplaceKind == PROPKIND_CONTROL)
        ::DestroyWindow(editor);
    else
        ::SendMessage(editor, WM_CLOSE, 0, 0);
}

LRESULT CPropertyGridCtrl::Notify(UINT code, IPropertyItem* item)
{
    NMPROPERTYITEM notice;
    notice.hdr.hwndFrom = m_hWnd;
    notice.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
    notice.hdr.code = code;
    notice.prop = item;
    return ::SendMessage(GetParent(), WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice));
}

void CPropertyGridCtrl::ChangeValue(IPropertyItem* item, const std::function<BOOL()>& take)
{
    if (Notify(PIN_ITEMCHANGING, item) != 0)
        return;
    // Only a value the item took is told as changed.
    if (!take()) {
        ::MessageBeep(static_cast<UINT>(-1));
        return;
    }
    Notify(PIN_ITEMCHANGED, item);
}

// ---------------------------------------------------------------------------------------------
// Settings, drawing and the border

void CPropertyGridCtrl::FreeGdi()
{
    if (m_hBorderPen)
        DeleteObject(m_hBorderPen);
    if (m_hBoldFont)
        DeleteObject(m_hBoldFont);
    m_hBorderPen = nullptr;
    m_hBoldFont = nullptr;
}

void CPropertyGridCtrl::ReadSettings()
{
    m_colors.text = GetSysColor(COLOR_WINDOWTEXT);
    m_colors.back = GetSysColor(COLOR_WINDOW);
    m_colors.highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    m_colors.highlight = GetSysColor(COLOR_HIGHLIGHT);
    m_colors.buttonFace = GetSysColor(COLOR_BTNFACE);
    m_colors.grayText = GetSysColor(COLOR_GRAYTEXT);
    FreeGdi();
    m_hBorderPen = CreatePen(PS_SOLID, 1, m_colors.buttonFace);
    HWND parent = GetParent();
    m_hFont = parent ? reinterpret_cast<HFONT>(::SendMessage(parent, WM_GETFONT, 0, 0)) : nullptr;
    if (!m_hFont)
        m_hFont = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONT font {};
    GetObject(m_hFont, sizeof(font), &font);
    font.lfWeight = FW_BOLD;
    m_hBoldFont = CreateFontIndirect(&font);
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
    HDC dc = GetDC(m_hWnd);
    HFONT old = SelectObject(dc, m_hFont);
    GetTextMetrics(dc, &m_textMetrics);
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
}

LRESULT CPropertyGridCtrl::OnSettingChange(UINT, WPARAM, LPARAM, BOOL&)
{
    ReadSettings();
    // The rows take the height of the new font.
    CListBox list(m_hWnd);
    for (int i = 0; i < list.GetCount(); ++i)
        list.SetItemHeight(i, m_textMetrics.tmHeight + 5);
    if (m_iInplaceIndex >= 0)
        SpawnEditor(m_iInplaceIndex);
    Invalidate();
    return 0;
}

LRESULT CPropertyGridCtrl::OnMeasureItem(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    auto* measure = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
    measure->itemHeight = static_cast<UINT>(m_textMetrics.tmHeight + 5);
    return TRUE;
}

void CPropertyGridCtrl::DrawCategoryBox(HDC dc, const RECT& row, bool collapsed)
{
    const int centreX = row.left + kCategoryColumn / 2;
    const int centreY = (row.top + row.bottom) / 2;
    const RECT box { centreX - 4, centreY - 4, centreX + 5, centreY + 5 };
    HBRUSH frame = CreateSolidBrush(m_colors.grayText);
    HBRUSH mark = CreateSolidBrush(m_colors.text);
    FillRect(dc, &box, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc, &box, frame);
    const RECT minus { centreX - 2, centreY, centreX + 3, centreY + 1 };
    FillRect(dc, &minus, mark);
    if (collapsed) {
        const RECT bar { centreX, centreY - 2, centreX + 1, centreY + 3 };
        FillRect(dc, &bar, mark);
    }
    DeleteObject(frame);
    DeleteObject(mark);
}

LRESULT CPropertyGridCtrl::OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    auto* draw = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
    auto* item = reinterpret_cast<IPropertyItem*>(draw->itemData);
    if (!item)
        return TRUE;
    HDC dc = draw->hDC;
    const RECT row = draw->rcItem;
    const bool selected = draw->itemState & ODS_SELECTED;
    const bool category = item->GetKind() == PROPKIND_CATEGORY;
    HBRUSH window = CreateSolidBrush(m_colors.back);
    HBRUSH face = CreateSolidBrush(m_colors.buttonFace);
    HBRUSH highlight = CreateSolidBrush(m_colors.highlight);
    HGDIOBJ oldPen = SelectObject(dc, m_hBorderPen);
    HFONT oldFont = SelectObject(dc, category ? m_hBoldFont : m_hFont);
    SetBkMode(dc, TRANSPARENT);

    int x = row.left;
    if (m_dwExtStyle & PGS_EX_CATEGORYCOLUMN) {
        const RECT column { x, row.top, x + kCategoryColumn, row.bottom };
        FillRect(dc, &column, (m_dwExtStyle & PGS_EX_FILLCATEGORY) ? face : window);
        MoveToEx(dc, x + kCategoryColumn - 1, row.top, nullptr);
        LineTo(dc, x + kCategoryColumn - 1, row.bottom);
        if (category)
            DrawCategoryBox(dc, row, !IsExpanded(item));
        x += kCategoryColumn;
    }
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (category) {
        // A heading runs over both columns.
        const RECT heading { x, row.top, row.right, row.bottom };
        FillRect(dc, &heading, selected ? highlight : face);
        SetTextColor(dc, selected ? m_colors.highlightText : m_colors.text);
        RECT text { x + 2, row.top, row.right, row.bottom };
        DrawText(dc, item->GetName(), &text, format);
    } else {
        const int border = x + m_xColumn;
        const RECT name { x, row.top, border, row.bottom };
        FillRect(dc, &name, selected ? highlight : window);
        SetTextColor(dc, selected ? m_colors.highlightText : m_colors.text);
        RECT nameText { x + 2, row.top, border - 1, row.bottom };
        DrawText(dc, item->GetName(), &nameText, format);
        const RECT value { border + 1, row.top, row.right, row.bottom };
        FillRect(dc, &value, window);
        SetTextColor(dc, item->CanEdit() ? m_colors.text : m_colors.grayText);
        RECT valueText { border + 3, row.top, row.right, row.bottom };
        DrawText(dc, item->GetDisplayValue(), &valueText, format);
        MoveToEx(dc, border, row.top, nullptr);
        LineTo(dc, border, row.bottom);
    }
    MoveToEx(dc, x, row.bottom - 1, nullptr);
    LineTo(dc, row.right, row.bottom - 1);

    SelectObject(dc, oldFont);
    SelectObject(dc, oldPen);
    DeleteObject(window);
    DeleteObject(face);
    DeleteObject(highlight);
    return TRUE;
}

bool CPropertyGridCtrl::OnBorder(int x) const
{
    return !(m_dwExtStyle & PGS_EX_FIXEDCOLUMN) && std::abs(x - BorderX()) <= kBorderGrip;
}

void CPropertyGridCtrl::InvertDragLine(int x)
{
    RECT client;
    GetClientRect(&client);
    HDC dc = GetDC(m_hWnd);
    PatBlt(dc, x, 0, 1, client.bottom, DSTINVERT);
    ReleaseDC(m_hWnd, dc);
}

// ---------------------------------------------------------------------------------------------
// Window messages

LRESULT CPropertyGridCtrl::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled)
{
    ResetContent();
    handled = FALSE;
    return 0;
}

LRESULT CPropertyGridCtrl::OnSize(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    DestroyEditor();
    if (!m_bColumnFixed)
        m_xColumn = LOWORD(lParam) / 2;
    m_xDragStart = 0;
    m_xDragLine = 0;
    const int index = GetCurSel();
    if (IPropertyItem* item = GetProperty(index); item && item->CanEdit())
        SpawnEditor(index);
    handled = FALSE;
    return 0;
}

LRESULT CPropertyGridCtrl::OnScroll(UINT, WPARAM, LPARAM, BOOL& handled)
{
    DestroyEditor();
    handled = FALSE;
    return 0;
}

LRESULT CPropertyGridCtrl::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& handled)
{
    IPropertyItem* item = GetProperty(GetCurSel());
    switch (wParam) {
    case VK_TAB:
        if (item)
            item->Activate(PACT_TAB, 0);
        return 0;
    case VK_SPACE:
    case VK_F2:
        if (item && item->CanEdit())
            item->Activate(PACT_ACTIVATE, 0);
        return 0;
    default:
        handled = FALSE;
        return 0;
    }
}

LRESULT CPropertyGridCtrl::OnChar(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled)
{
    const int index = GetCurSel();
    IPropertyItem* item = GetProperty(index);
    if (wParam <= u' ' || !item || !item->CanEdit()) {
        handled = FALSE;
        return 0;
    }
    if (!m_hwndInplace)
        SpawnEditor(index);
    if (!m_hwndInplace) {
        handled = FALSE;
        return 0;
    }
    // The typed character starts the editing: the editor takes the keyboard and the character.
    item->Activate(PACT_ACTIVATE, 0);
    if (m_hwndInplace)
        ::SendMessage(m_hwndInplace, WM_CHAR, wParam, lParam);
    return 0;
}

int CPropertyGridCtrl::DragPosition(LPARAM lParam) const
{
    RECT client;
    GetClientRect(&client);
    const int smallest = CategoryWidth() + kSmallestColumn;
    return std::clamp<int>(GET_X_LPARAM(lParam), smallest, std::max<int>(smallest, client.right - kSmallestColumn));
}

LRESULT CPropertyGridCtrl::OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    if (m_xDragStart != 0) {
        const int x = DragPosition(lParam);
        if (x != m_xDragLine) {
            InvertDragLine(m_xDragLine);
            m_xDragLine = x;
            InvertDragLine(m_xDragLine);
        }
    }
    handled = FALSE;
    return 0;
}

LRESULT CPropertyGridCtrl::OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&)
{
    SetFocus();
    DefWindowProc(uMsg, wParam, lParam); // the list box selects the row under the point
    const int x = GET_X_LPARAM(lParam);
    if (OnBorder(x)) {
        m_xDragStart = x;
        m_xDragLine = x;
        InvertDragLine(m_xDragLine);
        return 0;
    }
    // A click below the last row leaves the selected row alone.
    BOOL outside = FALSE;
    const int row = static_cast<int>(CListBox(m_hWnd).ItemFromPoint(POINT { x, GET_Y_LPARAM(lParam) }, outside));
    const int index = GetCurSel();
    IPropertyItem* item = GetProperty(index);
    if (!item || outside || row != index)
        return 0;
    if (Notify(PIN_CLICK, item) != 0)
        return 0;
    if ((m_dwExtStyle & PGS_EX_CATEGORYCOLUMN) && x < kCategoryColumn) {
        if (item->GetKind() == PROPKIND_CATEGORY)
            item->Activate(PACT_EXPAND, 0);
    } else if (item->CanEdit()) {
        item->Activate(PACT_CLICK, lParam);
    }
    return 0;
}

LRESULT CPropertyGridCtrl::OnLButtonUp(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    handled = FALSE;
    if (m_xDragStart == 0)
        return 0;
    InvertDragLine(m_xDragLine);
    m_xColumn += DragPosition(lParam) - m_xDragStart;
    m_xDragStart = 0;
    m_xDragLine = 0;
    Invalidate();
    if (m_iInplaceIndex >= 0)
        SpawnEditor(m_iInplaceIndex); // over the value where it is now
    return 0;
}

LRESULT CPropertyGridCtrl::OnLButtonDblClk(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&)
{
    DefWindowProc(uMsg, wParam, lParam);
    BOOL outside = FALSE;
    const int row = static_cast<int>(
        CListBox(m_hWnd).ItemFromPoint(POINT { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) }, outside));
    const int index = GetCurSel();
    IPropertyItem* item = GetProperty(index);
    if (!item || outside || row != index)
        return 0;
    if (Notify(PIN_DBLCLICK, item) != 0)
        return 0;
    if (item->CanEdit())
        item->Activate(PACT_DBLCLICK, lParam);
    return 0;
}

LRESULT CPropertyGridCtrl::OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled)
{
    POINT point { 0, 0 };
    GetCursorPos(&point);
    ScreenToClient(&point);
    if (m_xDragStart != 0 || OnBorder(point.x)) {
        ::SetCursor(LoadCursor(nullptr, IDC_SIZEWE));
        return TRUE;
    }
    handled = FALSE;
    return 0;
}

LRESULT CPropertyGridCtrl::OnUpdateValue(UINT, WPARAM, LPARAM, BOOL&)
{
    IPropertyItem* item = GetProperty(m_iInplaceIndex);
    const HWND editor = m_hwndInplace;
    if (!item || !editor)
        return 0;
    const int index = m_iInplaceIndex;
    ChangeValue(item, [item, editor] { return item->TakeValue(editor); });
    DestroyEditor();
    RECT rect;
    if (CListBox(m_hWnd).GetItemRect(index, &rect) == LB_OKAY)
        ::InvalidateRect(m_hWnd, &rect, TRUE);
    return 0;
}

LRESULT CPropertyGridCtrl::OnCancelEdit(UINT, WPARAM, LPARAM, BOOL&)
{
    DestroyEditor();
    return 0;
}

LRESULT CPropertyGridCtrl::OnValueChanged(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    auto* item = reinterpret_cast<IPropertyItem*>(lParam);
    const auto* value = reinterpret_cast<const QString*>(wParam);
    const int index = FindProperty(item);
    if (index < 0 || !value)
        return 0;
    ChangeValue(item, [item, value] { return item->TakeValue(*value); });
    RECT rect;
    if (CListBox(m_hWnd).GetItemRect(index, &rect) == LB_OKAY)
        ::InvalidateRect(m_hWnd, &rect, TRUE);
    if (index == m_iInplaceIndex) {
        DestroyEditor();
        if (index == GetCurSel() && item->CanEdit())
            SpawnEditor(index);
    }
    return 0;
}

LRESULT CPropertyGridCtrl::OnExpand(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    auto* category = reinterpret_cast<IPropertyItem*>(lParam);
    const int index = FindProperty(category);
    if (index < 0 || IsExpanded(category))
        return 0;
    SendMessage(WM_SETREDRAW, FALSE);
    const std::vector<IPropertyItem*> children = category->TakeChildren();
    int at = index + 1;
    for (IPropertyItem* child : children)
        if (InsertItem(at, child) >= 0)
            ++at;
    m_expanded[category] = at - index - 1;
    SendMessage(WM_SETREDRAW, TRUE);
    Invalidate();
    Notify(PIN_EXPANDING, category);
    return 0;
}

void CPropertyGridCtrl::CollapseRows(IPropertyItem* category)
{
    const auto found = m_expanded.find(category);
    const int index = FindProperty(category);
    if (found == m_expanded.end() || index < 0)
        return;
    const int count = found->second;
    m_expanded.erase(found);
    // Expanded items below it go first, so its own rows follow it again.
    for (int i = index + count; i > index; --i)
        if (IPropertyItem* child = GetProperty(i); child && IsExpanded(child))
            CollapseRows(child);
    std::vector<IPropertyItem*> children;
    CListBox list(m_hWnd);
    for (int i = 0; i < count && index + 1 < list.GetCount(); ++i) {
        children.push_back(GetProperty(index + 1));
        list.DeleteString(index + 1);
    }
    category->KeepChildren(std::move(children));
}

LRESULT CPropertyGridCtrl::OnCollapse(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    auto* category = reinterpret_cast<IPropertyItem*>(lParam);
    if (!IsExpanded(category) || FindProperty(category) < 0)
        return 0;
    SendMessage(WM_SETREDRAW, FALSE);
    CollapseRows(category);
    SendMessage(WM_SETREDRAW, TRUE);
    Invalidate();
    Notify(PIN_COLLAPSING, category);
    return 0;
}

LRESULT CPropertyGridCtrl::OnNavigate(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    const int current = GetCurSel();
    int next = current;
    if (wParam == VK_UP)
        next = std::max(0, current - 1);
    else if (wParam == VK_DOWN)
        next = std::min(GetCount() - 1, current + 1);
    if (next != current && next >= 0)
        SetCurSel(next);
    return 0;
}

LRESULT CPropertyGridCtrl::OnReflectedCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled)
{
    if (HIWORD(wParam) != LBN_SELCHANGE) {
        handled = FALSE;
        return 0;
    }
    SelectionChanged();
    return 0;
}

LRESULT CPropertyGridCtrl::OnDeleteItem(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    const auto* deleted = reinterpret_cast<LPDELETEITEMSTRUCT>(lParam);
    const int index = static_cast<int>(deleted->itemID);
    if (index == m_iInplaceIndex)
        DestroyEditor();
    else if (m_iInplaceIndex > index)
        --m_iInplaceIndex;
    return TRUE;
}
