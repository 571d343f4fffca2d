// The list box over a plain widget: the rows, the selection and the first visible row are the
// control's own state, painted through WM_PAINT (the parent draws owner-drawn rows in WM_DRAWITEM)
// and moved by the control's procedure, so a subclassing window that hands a click on to "the list
// box's own handling" finds the selection made when that call returns. A Qt scroll bar at the right
// scrolls when the rows do not fit.
#include "platform/ui/ListBox.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <QScrollBar>

#include <algorithm>
#include <optional>

using namespace taluvo::ui::detail;

namespace {

struct ListBoxRow {
    QString text;
    ULONG_PTR data = 0;
    int height = 0; // LBS_OWNERDRAWVARIABLE only
};

struct ListBoxState {
    std::vector<ListBoxRow> rows;
    int selection = -1;
    int top = 0;
    int fixedHeight = 0; // every row's height unless LBS_OWNERDRAWVARIABLE; 0 until asked
    bool redraw = true;
};

class ListBoxWidget : public QWidget {
public:
    explicit ListBoxWidget(QWidget* parent)
        : QWidget(parent)
        , bar(new QScrollBar(Qt::Vertical, this))
    {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        bar->hide();
    }
    QScrollBar* bar;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        const int width = bar->sizeHint().width();
        bar->setGeometry(this->width() - width, 0, width, height());
    }
};

bool OwnerDrawn(const WindowRecord& record)
{
    return record.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
}

bool Variable(const WindowRecord& record)
{
    return record.style & LBS_OWNERDRAWVARIABLE;
}

bool HasStrings(const WindowRecord& record)
{
    return !OwnerDrawn(record) || (record.style & LBS_HASSTRINGS);
}

ListBoxState& StateOf(WindowRecord& record)
{
    return *std::static_pointer_cast<ListBoxState>(record.controlState);
}

ListBoxWidget* WidgetOfList(WindowRecord& record)
{
    return dynamic_cast<ListBoxWidget*>(record.widget.data());
}

int FontHeight(WindowRecord& record)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT old = record.font ? SelectObject(dc, record.font) : nullptr;
    TEXTMETRIC metrics {};
    GetTextMetrics(dc, &metrics);
    if (old)
        SelectObject(dc, old);
    DeleteDC(dc);
    return std::max<int>(1, metrics.tmHeight);
}

// The width rows are drawn in: the client area without a shown scroll bar.
int RowsWidth(WindowRecord& record)
{
    ListBoxWidget* widget = WidgetOfList(record);
    if (!widget)
        return 0;
    return widget->width() - (widget->bar->isVisible() ? widget->bar->width() : 0);
}

int RowHeight(WindowRecord& record, int index)
{
    ListBoxState& state = StateOf(record);
    if (Variable(record))
        return state.rows[static_cast<size_t>(index)].height;
    if (state.fixedHeight == 0) {
        state.fixedHeight = FontHeight(record);
        if (OwnerDrawn(record) && record.parent) {
            MEASUREITEMSTRUCT measure;
            measure.CtlType = ODT_LISTBOX;
            measure.CtlID = static_cast<UINT>(record.id);
            measure.itemHeight = static_cast<UINT>(state.fixedHeight);
            measure.itemWidth = static_cast<UINT>(RowsWidth(record));
            SendMessage(record.parent, WM_MEASUREITEM, record.id, reinterpret_cast<LPARAM>(&measure));
            state.fixedHeight = std::max<int>(1, static_cast<int>(measure.itemHeight));
        }
    }
    return state.fixedHeight;
}

int ClientHeight(WindowRecord& record)
{
    return record.widget ? record.widget->height() : 0;
}

// The last first-row from which the remaining rows fill the client area.
int LastTop(WindowRecord& record)
{
    ListBoxState& state = StateOf(record);
    int used = 0;
    int top = static_cast<int>(state.rows.size());
    while (top > 0 && used + RowHeight(record, top - 1) <= ClientHeight(record)) {
        used += RowHeight(record, top - 1);
        --top;
    }
    return std::min(top, std::max(0, static_cast<int>(state.rows.size()) - 1));
}

void Refresh(WindowRecord& record)
{
    ListBoxState& state = StateOf(record);
    ListBoxWidget* widget = WidgetOfList(record);
    if (!widget)
        return;
    const int lastTop = LastTop(record);
    state.top = std::clamp(state.top, 0, lastTop);
    const bool scrolls = (record.style & WS_VSCROLL) && lastTop > 0;
    widget->bar->setVisible(scrolls);
    if (scrolls) {
        const QSignalBlocker quiet(widget->bar);
        widget->bar->setRange(0, lastTop);
        widget->bar->setPageStep(std::max(1, static_cast<int>(state.rows.size()) - lastTop));
        widget->bar->setValue(state.top);
    }
    if (state.redraw)
        widget->update();
}

void EnsureVisible(WindowRecord& record, int index)
{
    ListBoxState& state = StateOf(record);
    if (index < 0 || index >= static_cast<int>(state.rows.size()))
        return;
    if (index < state.top) {
        state.top = index;
        return;
    }
    int bottom = 0;
    for (int i = state.top; i <= index; ++i)
        bottom += RowHeight(record, i);
    while (bottom > ClientHeight(record) && state.top < index)
        bottom -= RowHeight(record, state.top++);
}

BOOL ItemRect(WindowRecord& record, int index, RECT* rect)
{
    ListBoxState& state = StateOf(record);
    if (index < 0 || index >= static_cast<int>(state.rows.size()))
        return FALSE;
    int y = 0;
    if (index >= state.top) {
        for (int i = state.top; i < index; ++i)
            y += RowHeight(record, i);
    } else {
        for (int i = index; i < state.top; ++i)
            y -= RowHeight(record, i);
    }
    *rect = RECT { 0, y, RowsWidth(record), y + RowHeight(record, index) };
    return TRUE;
}

// The row under a client point, -1 for none.
int RowAt(WindowRecord& record, POINT point)
{
    ListBoxState& state = StateOf(record);
    if (point.x < 0 || point.x >= RowsWidth(record) || point.y < 0)
        return -1;
    int y = 0;
    for (int i = state.top; i < static_cast<int>(state.rows.size()); ++i) {
        y += RowHeight(record, i);
        if (point.y < y)
            return i;
    }
    return -1;
}

void Notify(WindowRecord& record, WORD code)
{
    if (record.style & LBS_NOTIFY)
        NotifyParent(record.hwnd, code);
}

// The user's choice of a row: selected, scrolled into view, told to the parent when it changed.
void Choose(WindowRecord& record, int index)
{
    ListBoxState& state = StateOf(record);
    if (index < 0 || index >= static_cast<int>(state.rows.size()))
        return;
    const bool changed = index != state.selection;
    state.selection = index;
    EnsureVisible(record, index);
    Refresh(record);
    if (changed)
        Notify(record, LBN_SELCHANGE);
}

void TellDeleted(WindowRecord& record, int index, const ListBoxRow& row)
{
    if (!record.parent || (!OwnerDrawn(record) && row.data == 0))
        return;
    DELETEITEMSTRUCT deleted;
    deleted.CtlType = ODT_LISTBOX;
    deleted.CtlID = static_cast<UINT>(record.id);
    deleted.itemID = static_cast<UINT>(index);
    deleted.hwndItem = record.hwnd;
    deleted.itemData = row.data;
    SendMessage(record.parent, WM_DELETEITEM, record.id, reinterpret_cast<LPARAM>(&deleted));
}

LRESULT Insert(WindowRecord& record, int at, LPARAM lParam)
{
    ListBoxState& state = StateOf(record);
    ListBoxRow row;
    if (HasStrings(record))
        row.text = TextParam(lParam);
    else
        row.data = static_cast<ULONG_PTR>(lParam);
    const int count = static_cast<int>(state.rows.size());
    if (at < 0) {
        at = count;
        if ((record.style & LBS_SORT) && HasStrings(record)) {
            at = 0;
            while (at < count && state.rows[static_cast<size_t>(at)].text.compare(row.text, Qt::CaseInsensitive) <= 0)
                ++at;
        }
    }
    if (at > count)
        return LB_ERR;
    if (Variable(record)) {
        MEASUREITEMSTRUCT measure;
        measure.CtlType = ODT_LISTBOX;
        measure.CtlID = static_cast<UINT>(record.id);
        measure.itemID = static_cast<UINT>(at);
        measure.itemWidth = static_cast<UINT>(RowsWidth(record));
        measure.itemHeight = static_cast<UINT>(FontHeight(record));
        measure.itemData = row.data;
        if (record.parent)
            SendMessage(record.parent, WM_MEASUREITEM, record.id, reinterpret_cast<LPARAM>(&measure));
        row.height = std::max<int>(1, static_cast<int>(measure.itemHeight));
    }
    state.rows.insert(state.rows.begin() + at, row);
    if (state.selection >= at)
        ++state.selection;
    Refresh(record);
    return at;
}

LRESULT Delete(WindowRecord& record, int index)
{
    ListBoxState& state = StateOf(record);
    if (index < 0 || index >= static_cast<int>(state.rows.size()))
        return LB_ERR;
    const ListBoxRow row = state.rows[static_cast<size_t>(index)];
    state.rows.erase(state.rows.begin() + index);
    if (state.selection == index)
        state.selection = -1;
    else if (state.selection > index)
        --state.selection;
    TellDeleted(record, index, row);
    Refresh(record);
    return static_cast<LRESULT>(StateOf(record).rows.size());
}

void RemoveAll(WindowRecord& record)
{
    ListBoxState& state = StateOf(record);
    std::vector<ListBoxRow> rows;
    rows.swap(state.rows);
    state.selection = -1;
    state.top = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        TellDeleted(record, static_cast<int>(i), rows[i]);
    Refresh(record);
}

void Paint(WindowRecord& record)
{
    ListBoxState& state = StateOf(record);
    const HWND hwnd = record.hwnd;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    HFONT oldFont = record.font ? SelectObject(dc, record.font) : nullptr;
    const bool focused = GetFocus() == hwnd;
    const bool enabled = IsWindowEnabled(hwnd);
    for (int i = state.top; i < static_cast<int>(state.rows.size()); ++i) {
        RECT row;
        ItemRect(record, i, &row);
        if (row.top >= client.bottom)
            break;
        const bool selected = i == state.selection;
        if (OwnerDrawn(record)) {
            DRAWITEMSTRUCT draw;
            draw.CtlType = ODT_LISTBOX;
            draw.CtlID = static_cast<UINT>(record.id);
            draw.itemID = static_cast<UINT>(i);
            draw.itemAction = ODA_DRAWENTIRE;
            draw.itemState
                = (selected ? ODS_SELECTED : 0) | (selected && focused ? ODS_FOCUS : 0) | (enabled ? 0 : ODS_DISABLED);
            draw.hwndItem = hwnd;
            draw.hDC = dc;
            draw.rcItem = row;
            draw.itemData = state.rows[static_cast<size_t>(i)].data;
            if (record.parent)
                SendMessage(record.parent, WM_DRAWITEM, record.id, reinterpret_cast<LPARAM>(&draw));
            // A paint of the parent's may have removed rows.
            if (!IsWindow(hwnd) || i >= static_cast<int>(state.rows.size()))
                break;
            continue;
        }
        if (selected)
            FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(!enabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT text = row;
        text.left += 2;
        DrawText(
            dc, state.rows[static_cast<size_t>(i)].text, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (oldFont)
        SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

// Arrow keys, Home, End and the page keys; -1 for another key.
int KeyTarget(WindowRecord& record, UINT key)
{
    ListBoxState& state = StateOf(record);
    const int count = static_cast<int>(state.rows.size());
    if (count == 0)
        return -1;
    const int current = state.selection;
    int page = 0;
    for (int i = std::max(0, current), y = 0; i < count && y + RowHeight(record, i) <= ClientHeight(record); ++i) {
        y += RowHeight(record, i);
        ++page;
    }
    page = std::max(1, page - 1);
    switch (key) {
    case VK_UP:
        return current < 0 ? 0 : std::max(0, current - 1);
    case VK_DOWN:
        return current < 0 ? 0 : std::min(count - 1, current + 1);
    case VK_HOME:
        return 0;
    case VK_END:
        return count - 1;
    case VK_PRIOR:
        return std::max(0, current - page);
    case VK_NEXT:
        return std::min(count - 1, std::max(0, current) + page);
    default:
        return -1;
    }
}

bool OnScrollBar(WindowRecord& record, LPARAM lParam)
{
    ListBoxWidget* widget = WidgetOfList(record);
    return widget && widget->bar->isVisible() && GET_X_LPARAM(lParam) >= RowsWidth(record);
}

// The row a message's wParam names, and whether the list has it.
struct RowArg {
    int count;
    int index;
    bool valid;
};

RowArg RowOf(const ListBoxState& state, WPARAM wParam)
{
    const int count = static_cast<int>(state.rows.size());
    const int index = static_cast<int>(static_cast<intptr_t>(wParam));
    return { count, index, index >= 0 && index < count };
}

// Painting, size, redrawing, focus and the end of the window.
std::optional<LRESULT> WindowMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListBoxState& state = StateOf(record);
    switch (message) {
    case WM_PAINT:
        Paint(record);
        return 0;
    case WM_SIZE:
        Refresh(record);
        return 0;
    case WM_SETREDRAW:
        state.redraw = wParam != 0;
        if (state.redraw)
            Refresh(record);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Refresh(record);
        return 0;
    case WM_DESTROY:
        RemoveAll(record);
        return 0;
    default:
        return std::nullopt;
    }
}

// The rows: added, removed, counted, their texts and data.
std::optional<LRESULT> ContentMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListBoxState& state = StateOf(record);
    const RowArg arg = RowOf(state, wParam);
    switch (message) {
    case LB_ADDSTRING:
        return Insert(record, -1, lParam);
    case LB_INSERTSTRING:
        return Insert(record, arg.index < 0 ? arg.count : arg.index, lParam);
    case LB_DELETESTRING:
        return Delete(record, arg.index);
    case LB_RESETCONTENT:
        RemoveAll(record);
        return 0;
    case LB_GETCOUNT:
        return arg.count;
    case LB_GETTEXTLEN:
        return arg.valid && HasStrings(record) ? state.rows[static_cast<size_t>(arg.index)].text.size() : LB_ERR;
    case LB_GETTEXT:
        if (!arg.valid || !lParam)
            return LB_ERR;
        if (!HasStrings(record)) {
            *reinterpret_cast<ULONG_PTR*>(lParam) = state.rows[static_cast<size_t>(arg.index)].data;
            return sizeof(ULONG_PTR);
        }
        return CopyText(state.rows[static_cast<size_t>(arg.index)].text,
            static_cast<WPARAM>(state.rows[static_cast<size_t>(arg.index)].text.size()) + 1, lParam);
    case LB_GETITEMDATA:
        return arg.valid ? static_cast<LRESULT>(state.rows[static_cast<size_t>(arg.index)].data) : LB_ERR;
    case LB_SETITEMDATA:
        if (!arg.valid)
            return LB_ERR;
        state.rows[static_cast<size_t>(arg.index)].data = static_cast<ULONG_PTR>(lParam);
        return LB_OKAY;
    default:
        return std::nullopt;
    }
}

// The selection and the first row in view.
std::optional<LRESULT> ViewMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListBoxState& state = StateOf(record);
    const RowArg arg = RowOf(state, wParam);
    switch (message) {
    case LB_GETCURSEL:
        return state.selection;
    case LB_SETCURSEL:
        // Silent, as on Windows: only the user's choice notifies.
        state.selection = arg.valid ? arg.index : -1;
        EnsureVisible(record, state.selection);
        Refresh(record);
        return arg.valid ? arg.index : LB_ERR;
    case LB_GETTOPINDEX:
        return state.top;
    case LB_SETTOPINDEX:
        if (!arg.valid)
            return LB_ERR;
        state.top = arg.index;
        Refresh(record);
        return 0;
    case WM_MOUSEWHEEL: {
        const int steps = -static_cast<short>(HIWORD(static_cast<DWORD>(wParam))) / 120 * 3;
        state.top += steps;
        Refresh(record);
        return 0;
    }
    case WM_VSCROLL:
        switch (LOWORD(static_cast<DWORD>(wParam))) {
        case SB_LINEUP:
            --state.top;
            break;
        case SB_LINEDOWN:
            ++state.top;
            break;
        case SB_TOP:
            state.top = 0;
            break;
        case SB_BOTTOM:
            state.top = arg.count;
            break;
        default:
            break;
        }
        Refresh(record);
        return 0;
    default:
        return std::nullopt;
    }
}

// Where rows are and how high.
std::optional<LRESULT> GeometryMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListBoxState& state = StateOf(record);
    const RowArg arg = RowOf(state, wParam);
    switch (message) {
    case LB_GETITEMRECT:
        return lParam && ItemRect(record, arg.index, reinterpret_cast<RECT*>(lParam)) ? LB_OKAY : LB_ERR;
    case LB_GETITEMHEIGHT:
        if (Variable(record) && !arg.valid)
            return LB_ERR;
        return RowHeight(record, Variable(record) ? arg.index : 0);
    case LB_SETITEMHEIGHT: {
        const int height = LOWORD(lParam);
        if (height <= 0 || (Variable(record) && !arg.valid))
            return LB_ERR;
        if (Variable(record))
            state.rows[static_cast<size_t>(arg.index)].height = height;
        else
            state.fixedHeight = height;
        Refresh(record);
        return LB_OKAY;
    }
    case LB_ITEMFROMPOINT: {
        const POINT point { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        const int row = RowAt(record, point);
        if (row >= 0)
            return MAKELONG(static_cast<WORD>(row), 0);
        return MAKELONG(static_cast<WORD>(std::max(0, arg.count - 1)), 1);
    }
    default:
        return std::nullopt;
    }
}

// The user's clicks and keys; the scroll bar and keys the list does not use get the default handling.
std::optional<LRESULT> InputMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (OnScrollBar(record, lParam))
            return std::nullopt;
        SetFocus(record.hwnd);
        const int row = RowAt(record, POINT { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) });
        Choose(record, row);
        if (message == WM_LBUTTONDBLCLK && row >= 0)
            Notify(record, LBN_DBLCLK);
        return 0;
    }
    case WM_KEYDOWN: {
        const int target = KeyTarget(record, static_cast<UINT>(wParam));
        if (target < 0)
            return std::nullopt;
        Choose(record, target);
        return 0;
    }
    default:
        return std::nullopt;
    }
}

LRESULT ListBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record || !WidgetOfList(*record))
        return DefWindowProc(hwnd, message, wParam, lParam);
    for (auto* group : { WindowMessage, ContentMessage, ViewMessage, GeometryMessage, InputMessage })
        if (const auto result = group(*record, message, wParam, lParam))
            return *result;
    return DefWindowProc(hwnd, message, wParam, lParam);
}

QWidget* MakeListBox(WindowRecord& record, QWidget* parent)
{
    record.controlState = std::make_shared<ListBoxState>();
    StateOf(record).redraw = !(record.style & LBS_NOREDRAW);
    auto* widget = new ListBoxWidget(parent);
    const HWND hwnd = record.hwnd;
    QObject::connect(widget->bar, &QScrollBar::valueChanged, widget, [hwnd](int value) {
        auto self = Find(hwnd);
        if (!self || !self->controlState)
            return;
        StateOf(*self).top = value;
        if (self->widget)
            self->widget->update();
    });
    return widget;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterListBoxClass()
{
    RegisterBuiltinClass({ QStringLiteral("ListBox"), ListBoxProc, MakeListBox });
}

} // namespace taluvo::ui::detail
