// The tree-view control over a QTreeWidget. The control keeps its own item table (handles, links
// between siblings, texts, images, data), so walking, reading and finding items cost no search in
// Qt's model; the Qt items only show what the table holds. Notifications go to the parent as
// WM_NOTIFY: TVN_SELCHANGED for every change of the selection, NM_RCLICK and NM_DBLCLK.
#include "platform/ui/CommCtrl.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/OneLine.h"
#include "platform/ui/detail/Core.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace taluvo::ui::detail;

namespace {

struct Item {
    HTREEITEM handle = nullptr;
    Item* parent = nullptr; // null for root items
    Item* first = nullptr;
    Item* last = nullptr;
    Item* next = nullptr;
    Item* prev = nullptr;
    QTreeWidgetItem* q = nullptr;
    QString text;
    int image = 0;
    int selectedImage = 0;
    UINT state = 0; // overlay bits only; selection and expansion are read from Qt
    LPARAM param = 0;
};

class TreeWidget;

struct TreeState {
    HWND hwnd = nullptr;
    TreeWidget* widget = nullptr;
    std::unordered_map<HTREEITEM, std::unique_ptr<Item>> items;
    Item* firstRoot = nullptr;
    Item* lastRoot = nullptr;
    uintptr_t nextHandle = 1;
    HIMAGELIST images = nullptr;
    quint64 imagesVersion = 0;
    std::map<std::tuple<int, int, int>, QIcon> iconCache;
    HTREEITEM selected = nullptr;
    LPARAM selectedParam = 0;
    UINT pendingAction = TVC_UNKNOWN; // cause of the next selection change
    bool quiet = false; // no notifications (the control is being emptied)

    Item* Get(HTREEITEM handle) const
    {
        auto it = items.find(handle);
        return it == items.end() ? nullptr : it->second.get();
    }
};

constexpr int kHandleRole = Qt::UserRole + 1;

HTREEITEM HandleOf(const QTreeWidgetItem* q)
{
    return q ? reinterpret_cast<HTREEITEM>(q->data(0, kHandleRole).value<quintptr>()) : nullptr;
}

LRESULT Notify(const TreeState& state, NMHDR* header, UINT code)
{
    auto record = Find(state.hwnd);
    if (!record || !record->parent || record->destroying)
        return 0;
    header->hwndFrom = state.hwnd;
    header->idFrom = record->id;
    header->code = code;
    return SendMessage(record->parent, WM_NOTIFY, record->id, reinterpret_cast<LPARAM>(header));
}

LRESULT NotifyResult(const TreeState& state, UINT code)
{
    NMHDR header;
    return Notify(state, &header, code);
}

class TreeWidget : public QTreeWidget {
public:
    TreeWidget(std::shared_ptr<TreeState> state, QWidget* parent)
        : QTreeWidget(parent)
        , m_state(std::move(state))
    {
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        // A right click marks no item: the parent decides what to select (NM_RCLICK).
        if (event->button() == Qt::RightButton) {
            event->accept();
            return;
        }
        m_state->pendingAction = TVC_BYMOUSE;
        QTreeWidget::mousePressEvent(event);
        m_state->pendingAction = TVC_UNKNOWN;
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton) {
            event->accept();
            NotifyResult(*m_state, NM_RCLICK);
            return;
        }
        QTreeWidget::mouseReleaseEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) {
            event->accept();
            return;
        }
        QTreeWidgetItem* q = itemAt(event->position().toPoint());
        // Unless the parent handles it, a double click opens or closes the item.
        if (NotifyResult(*m_state, NM_DBLCLK) == 0 && q && q->childCount() > 0)
            q->setExpanded(!q->isExpanded());
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        m_state->pendingAction = TVC_BYKEYBOARD;
        QTreeWidget::keyPressEvent(event);
        m_state->pendingAction = TVC_UNKNOWN;
    }

private:
    std::shared_ptr<TreeState> m_state;
};

std::shared_ptr<TreeState> StateOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? std::static_pointer_cast<TreeState>(record->controlState) : nullptr;
}

QIcon IconFor(TreeState& state, const Item& item)
{
    if (!state.images)
        return QIcon();
    const quint64 version = taluvo::ui::ImageListVersion(state.images);
    if (version != state.imagesVersion) {
        state.iconCache.clear();
        state.imagesVersion = version;
    }
    const int overlay = static_cast<int>((item.state & TVIS_OVERLAYMASK) >> 8);
    const auto key = std::make_tuple(item.image, item.selectedImage, overlay);
    auto it = state.iconCache.find(key);
    if (it != state.iconCache.end())
        return it->second;
    QIcon icon;
    taluvo::ui::AddImageListPixmaps(icon, state.images, item.image, overlay, QIcon::Normal);
    taluvo::ui::AddImageListPixmaps(icon, state.images, item.selectedImage, overlay, QIcon::Selected);
    state.iconCache.emplace(key, icon);
    return icon;
}

void Show(TreeState& state, Item& item)
{
    // An item is one line, as in the tree view this stands in for: a line break in its text
    // (a description a page planted) would otherwise open rows of its own inside the item.
    item.q->setText(0, taluvo::OneLine(item.text));
    item.q->setIcon(0, IconFor(state, item));
}

void FillRecord(const Item& item, TVITEM* out)
{
    out->hItem = item.handle;
    out->lParam = item.param;
}

// The selection changed in Qt (by the user, by TVM_SELECTITEM or because the selected item went).
void SelectionChanged(TreeState& state, QTreeWidgetItem* current)
{
    const HTREEITEM now = HandleOf(current);
    if (now == state.selected)
        return;
    NMTREEVIEW info;
    info.action = state.pendingAction;
    info.itemOld.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE;
    info.itemOld.hItem = state.selected;
    info.itemOld.lParam = state.selectedParam;
    info.itemNew.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE;
    if (Item* item = state.Get(now)) {
        FillRecord(*item, &info.itemNew);
        info.itemNew.state = TVIS_SELECTED | (item->state & TVIS_OVERLAYMASK);
    }
    state.selected = now;
    state.selectedParam = info.itemNew.lParam;
    if (!state.quiet)
        Notify(state, &info.hdr, TVN_SELCHANGED);
}

// Takes an item and its subtree out of the table and out of Qt.
void Remove(TreeState& state, Item* item)
{
    // Unlink first, so nothing reachable from the table points at what goes.
    (item->prev ? item->prev->next : (item->parent ? item->parent->first : state.firstRoot)) = item->next;
    (item->next ? item->next->prev : (item->parent ? item->parent->last : state.lastRoot)) = item->prev;
    std::vector<Item*> gone;
    std::vector<Item*> pending { item };
    while (!pending.empty()) {
        Item* current = pending.back();
        pending.pop_back();
        gone.push_back(current);
        for (Item* child = current->first; child; child = child->next)
            pending.push_back(child);
    }
    QTreeWidgetItem* q = item->q;
    // Qt moves the current item when it deletes it, which reports the new selection.
    delete q;
    for (Item* dead : gone) {
        if (dead->handle == state.selected && !state.widget->currentItem()) {
            state.selected = nullptr;
            state.selectedParam = 0;
        }
        state.items.erase(dead->handle);
    }
}

HTREEITEM Insert(TreeState& state, const TVINSERTSTRUCT& insert)
{
    Item* parent = nullptr;
    if (insert.hParent && insert.hParent != TVI_ROOT) {
        parent = state.Get(insert.hParent);
        if (!parent)
            return nullptr;
    }
    Item* after = nullptr; // null: first place
    Item*& firstOfLevel = parent ? parent->first : state.firstRoot;
    Item*& lastOfLevel = parent ? parent->last : state.lastRoot;
    if (insert.hInsertAfter == TVI_FIRST) {
        after = nullptr;
    } else if (insert.hInsertAfter == TVI_LAST || insert.hInsertAfter == nullptr) {
        after = lastOfLevel;
    } else if (insert.hInsertAfter == TVI_SORT) {
        // Alphabetical place among the siblings, by the item's text.
        const QString text = (insert.item.mask & TVIF_TEXT) && insert.item.pszText
            ? QString::fromUtf16(insert.item.pszText)
            : QString();
        for (Item* sibling = firstOfLevel; sibling && sibling->text.compare(text, Qt::CaseInsensitive) <= 0;
             sibling = sibling->next)
            after = sibling;
    } else {
        after = state.Get(insert.hInsertAfter);
        if (!after || after->parent != parent)
            after = lastOfLevel; // Windows puts it last when the sibling is not one of this parent
    }

    auto owned = std::make_unique<Item>();
    Item* item = owned.get();
    item->handle = reinterpret_cast<HTREEITEM>(state.nextHandle++ * 8);
    item->parent = parent;
    const TVITEM& in = insert.item;
    if ((in.mask & TVIF_TEXT) && in.pszText)
        item->text = QString::fromUtf16(in.pszText);
    if (in.mask & TVIF_IMAGE)
        item->image = in.iImage;
    if (in.mask & TVIF_SELECTEDIMAGE)
        item->selectedImage = in.iSelectedImage;
    if (in.mask & TVIF_PARAM)
        item->param = in.lParam;
    if (in.mask & TVIF_STATE)
        item->state = in.state & in.stateMask & TVIS_OVERLAYMASK;

    // Link.
    item->prev = after;
    item->next = after ? after->next : firstOfLevel;
    (item->next ? item->next->prev : lastOfLevel) = item;
    (after ? after->next : firstOfLevel) = item;

    // Qt item at the same place.
    item->q = new QTreeWidgetItem();
    item->q->setData(0, kHandleRole, QVariant::fromValue(reinterpret_cast<quintptr>(item->handle)));
    Show(state, *item);
    int index = 0;
    if (after)
        index = (parent ? parent->q->indexOfChild(after->q) : state.widget->indexOfTopLevelItem(after->q)) + 1;
    if (!item->next) // the common case, kept free of searches
        index = parent ? parent->q->childCount() : state.widget->topLevelItemCount();
    if (parent)
        parent->q->insertChild(index, item->q);
    else
        state.widget->insertTopLevelItem(index, item->q);

    const HTREEITEM handle = item->handle;
    state.items.emplace(handle, std::move(owned));
    return handle;
}

// Where an item's Qt row stands among its siblings' rows.
int QtRow(const TreeState& state, const Item& item)
{
    return item.parent ? item.parent->q->indexOfChild(item.q) : state.widget->indexOfTopLevelItem(item.q);
}

QTreeWidgetItem* QtRowAt(const TreeState& state, const Item* parent, int row)
{
    return parent ? parent->q->child(row) : state.widget->topLevelItem(row);
}

// The Qt rows from..to (either way round) after the table has moved an item from row `from` to row
// `to`: each row takes the item now at its place. Qt's view lays out every expanded row of the
// whole tree again when a row is taken out or put in (about 20 ms at 50,000 rows), but only
// repaints a row whose text or icon changes; rows of leaves are alike, so handing them on among the
// items keeps the layout. The selection stays with its item.
void RebindRows(TreeState& state, Item* parent, Item* firstMoved, int from, int to)
{
    const int low = std::min(from, to);
    const int count = std::abs(to - from) + 1;
    std::vector<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int row = low; row < low + count; ++row)
        rows.push_back(QtRowAt(state, parent, row));
    Item* item = firstMoved;
    for (QTreeWidgetItem* row : rows) {
        item->q = row;
        row->setData(0, kHandleRole, QVariant::fromValue(reinterpret_cast<quintptr>(item->handle)));
        Show(state, *item);
        item = item->next;
    }
    // The handle of the current row is already the selected one, so Qt's change of the current
    // row reports nothing.
    if (Item* selected = state.Get(state.selected); selected && selected->q != state.widget->currentItem())
        state.widget->setCurrentItem(selected->q);
}

// An item with a subtree takes its Qt row along, as Qt moves it: the subtree's rows go with it and
// the view lays itself out again. The expanded items and the selection are as before.
void MoveQtRow(TreeState& state, Item* item, int from, int to)
{
    std::vector<std::pair<QTreeWidgetItem*, bool>> expanded;
    std::vector<Item*> pending { item };
    while (!pending.empty()) {
        Item* current = pending.back();
        pending.pop_back();
        expanded.emplace_back(current->q, current->q->isExpanded());
        for (Item* child = current->first; child; child = child->next)
            pending.push_back(child);
    }
    QTreeWidgetItem* current = state.widget->currentItem();
    state.quiet = true;
    QTreeWidgetItem* row = item->parent ? item->parent->q->takeChild(from) : state.widget->takeTopLevelItem(from);
    if (item->parent)
        item->parent->q->insertChild(to, row);
    else
        state.widget->insertTopLevelItem(to, row);
    for (const auto& [q, open] : expanded)
        q->setExpanded(open);
    if (current)
        state.widget->setCurrentItem(current);
    state.quiet = false;
}

// Moves an item among its siblings to after `insertAfter`; the item itself moves, so its handle
// keeps naming it.
BOOL Move(TreeState& state, Item* item, HTREEITEM insertAfter)
{
    Item* parent = item->parent;
    Item*& firstOfLevel = parent ? parent->first : state.firstRoot;
    Item*& lastOfLevel = parent ? parent->last : state.lastRoot;
    Item* after = nullptr; // null: first place
    if (insertAfter == TVI_LAST || insertAfter == nullptr) {
        after = lastOfLevel;
    } else if (insertAfter != TVI_FIRST) {
        after = state.Get(insertAfter);
        if (!after || after->parent != parent)
            return FALSE;
    }
    if (after == item || after == item->prev)
        return TRUE; // in its place already

    const int from = QtRow(state, *item);
    int to = 0;
    if (after) {
        const int afterRow = QtRow(state, *after);
        to = afterRow < from ? afterRow + 1 : afterRow;
    }
    Item* const oldNext = item->next;
    (item->prev ? item->prev->next : firstOfLevel) = item->next;
    (item->next ? item->next->prev : lastOfLevel) = item->prev;
    item->prev = after;
    item->next = after ? after->next : firstOfLevel;
    (item->next ? item->next->prev : lastOfLevel) = item;
    (after ? after->next : firstOfLevel) = item;

    // The items whose rows change, in their new order: the moved one and those it passed.
    Item* const firstMoved = to < from ? item : oldNext;
    bool leaves = true;
    Item* walk = firstMoved;
    for (int i = std::min(from, to); i <= std::max(from, to); ++i, walk = walk->next)
        leaves = leaves && !walk->first;
    if (leaves)
        RebindRows(state, parent, firstMoved, from, to);
    else
        MoveQtRow(state, item, from, to);
    return TRUE;
}

BOOL GetItem(TreeState& state, TVITEM* out)
{
    Item* item = out ? state.Get(out->hItem) : nullptr;
    if (!item)
        return FALSE;
    if ((out->mask & TVIF_TEXT) && out->pszText && out->cchTextMax > 0)
        CopyText(item->text, static_cast<WPARAM>(out->cchTextMax), reinterpret_cast<LPARAM>(out->pszText));
    if (out->mask & TVIF_IMAGE)
        out->iImage = item->image;
    if (out->mask & TVIF_SELECTEDIMAGE)
        out->iSelectedImage = item->selectedImage;
    if (out->mask & TVIF_PARAM)
        out->lParam = item->param;
    if (out->mask & TVIF_CHILDREN)
        out->cChildren = item->first ? 1 : 0;
    if (out->mask & TVIF_STATE) {
        UINT s = item->state & TVIS_OVERLAYMASK;
        if (item->handle == state.selected)
            s |= TVIS_SELECTED;
        if (item->q->isExpanded())
            s |= TVIS_EXPANDED;
        out->state = s & (out->stateMask ? out->stateMask : ~0u);
    }
    return TRUE;
}

BOOL SetItem(TreeState& state, const TVITEM* in)
{
    Item* item = in ? state.Get(in->hItem) : nullptr;
    if (!item)
        return FALSE;
    if ((in->mask & TVIF_TEXT) && in->pszText)
        item->text = QString::fromUtf16(in->pszText);
    if (in->mask & TVIF_IMAGE)
        item->image = in->iImage;
    if (in->mask & TVIF_SELECTEDIMAGE)
        item->selectedImage = in->iSelectedImage;
    if (in->mask & TVIF_PARAM)
        item->param = in->lParam;
    if (in->mask & TVIF_STATE) {
        const UINT mask = in->stateMask & TVIS_OVERLAYMASK;
        item->state = (item->state & ~mask) | (in->state & mask);
        if (in->stateMask & TVIS_EXPANDED)
            item->q->setExpanded((in->state & TVIS_EXPANDED) != 0);
    }
    if (item->handle == state.selected && (in->mask & TVIF_PARAM))
        state.selectedParam = item->param;
    Show(state, *item);
    return TRUE;
}

HTREEITEM NextItem(const TreeState& state, UINT code, HTREEITEM handle)
{
    auto H = [](const Item* item) { return item ? item->handle : nullptr; };
    switch (code) {
    case TVGN_ROOT:
        return H(state.firstRoot);
    case TVGN_CARET:
        return state.selected;
    case TVGN_FIRSTVISIBLE:
        return HandleOf(state.widget->itemAt(0, 0));
    default:
        break;
    }
    const Item* item = state.Get(handle);
    if (!item)
        return code == TVGN_CHILD && (handle == nullptr || handle == TVI_ROOT) ? H(state.firstRoot) : nullptr;
    switch (code) {
    case TVGN_NEXT:
        return H(item->next);
    case TVGN_PREVIOUS:
        return H(item->prev);
    case TVGN_PARENT:
        return H(item->parent);
    case TVGN_CHILD:
        return H(item->first);
    default:
        return nullptr;
    }
}

// Row, icon and label of an item in client coordinates of the control.
struct ItemGeometry {
    QRect row, icon, label;
};
bool Geometry(const TreeState& state, const Item& item, ItemGeometry* out)
{
    TreeWidget* tree = state.widget;
    QRect rect = tree->visualItemRect(item.q);
    if (!rect.isValid())
        return false;
    const QPoint offset = tree->viewport()->mapTo(tree, QPoint(0, 0));
    rect.translate(offset);
    const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
    const QSize iconSize = tree->iconSize();
    const bool hasIcon = state.images && !item.q->icon(0).isNull();
    out->row = QRect(offset.x(), rect.top(), tree->viewport()->width(), rect.height());
    out->icon = hasIcon ? QRect(rect.left() + margin, rect.top(), iconSize.width(), rect.height())
                        : QRect(rect.left(), rect.top(), 0, rect.height());
    const int textLeft = out->icon.right() + 1 + (hasIcon ? margin * 2 : margin);
    const int textWidth = QFontMetrics(tree->font()).horizontalAdvance(item.q->text(0));
    out->label = QRect(textLeft - margin, rect.top(), textWidth + margin * 2, rect.height());
    return true;
}

HTREEITEM HitTest(const TreeState& state, TVHITTESTINFO* info)
{
    if (!info)
        return nullptr;
    TreeWidget* tree = state.widget;
    const QPoint point(info->pt.x, info->pt.y);
    info->hItem = nullptr;
    info->flags = 0;
    const QRect client = tree->rect();
    if (point.y() < 0)
        info->flags |= TVHT_ABOVE;
    if (point.y() >= client.height())
        info->flags |= TVHT_BELOW;
    if (point.x() < 0)
        info->flags |= TVHT_TOLEFT;
    if (point.x() >= client.width())
        info->flags |= TVHT_TORIGHT;
    if (info->flags)
        return nullptr;
    const QPoint inViewport = tree->viewport()->mapFrom(tree, point);
    const Item* item = state.Get(HandleOf(tree->itemAt(inViewport)));
    ItemGeometry geometry;
    if (!item || !Geometry(state, *item, &geometry)) {
        info->flags = TVHT_NOWHERE;
        return nullptr;
    }
    info->hItem = item->handle;
    if (geometry.icon.width() > 0 && point.x() >= geometry.icon.left() && point.x() <= geometry.icon.right())
        info->flags = TVHT_ONITEMICON;
    else if (point.x() >= geometry.label.left() && point.x() <= geometry.label.right())
        info->flags = TVHT_ONITEMLABEL;
    else if (point.x() > geometry.label.right())
        info->flags = TVHT_ONITEMRIGHT;
    else if (item->first && point.x() >= geometry.icon.left() - tree->indentation())
        info->flags = TVHT_ONITEMBUTTON;
    else
        info->flags = TVHT_ONITEMINDENT;
    return item->handle;
}

// Items: inserted, removed, moved, counted, walked, read and changed.
std::optional<LRESULT> ItemMessage(TreeState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TVM_INSERTITEM:
        return lParam ? reinterpret_cast<LRESULT>(Insert(state, *reinterpret_cast<const TVINSERTSTRUCT*>(lParam))) : 0;
    case TVM_DELETEITEM: {
        const auto handle = reinterpret_cast<HTREEITEM>(lParam);
        if (handle == TVI_ROOT || handle == nullptr) {
            // Emptying the control ends with nothing selected, reported once.
            const HTREEITEM selected = state.selected;
            const LPARAM selectedParam = state.selectedParam;
            state.quiet = true;
            while (state.firstRoot)
                Remove(state, state.firstRoot);
            state.quiet = false;
            state.selected = selected;
            state.selectedParam = selectedParam;
            SelectionChanged(state, nullptr);
            return TRUE;
        }
        Item* item = state.Get(handle);
        if (!item)
            return FALSE;
        Remove(state, item);
        return TRUE;
    }
    case TVM_MOVEITEM: {
        Item* item = state.Get(reinterpret_cast<HTREEITEM>(wParam));
        return item ? Move(state, item, reinterpret_cast<HTREEITEM>(lParam)) : FALSE;
    }
    case TVM_GETCOUNT:
        return static_cast<LRESULT>(state.items.size());
    case TVM_GETNEXTITEM:
        return reinterpret_cast<LRESULT>(
            NextItem(state, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam)));
    case TVM_GETITEM:
        return GetItem(state, reinterpret_cast<TVITEM*>(lParam));
    case TVM_SETITEM:
        return SetItem(state, reinterpret_cast<const TVITEM*>(lParam));
    case TVM_GETITEMSTATE: {
        TVITEM item;
        item.hItem = reinterpret_cast<HTREEITEM>(wParam);
        item.mask = TVIF_STATE;
        item.stateMask = static_cast<UINT>(lParam);
        return GetItem(state, &item) ? item.state : 0;
    }
    default:
        return std::nullopt;
    }
}

// What the view shows: expanded items, the item in view, the selection.
std::optional<LRESULT> ViewMessage(TreeState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TVM_EXPAND: {
        Item* item = state.Get(reinterpret_cast<HTREEITEM>(lParam));
        if (!item)
            return FALSE;
        switch (wParam & 0x3) {
        case TVE_EXPAND:
            item->q->setExpanded(true);
            break;
        case TVE_COLLAPSE:
            item->q->setExpanded(false);
            break;
        case TVE_TOGGLE:
            item->q->setExpanded(!item->q->isExpanded());
            break;
        default:
            return FALSE;
        }
        return TRUE;
    }
    case TVM_ENSUREVISIBLE: {
        Item* item = state.Get(reinterpret_cast<HTREEITEM>(lParam));
        if (!item)
            return FALSE;
        state.widget->scrollToItem(item->q);
        return TRUE;
    }
    case TVM_SELECTITEM: {
        if (wParam != TVGN_CARET && wParam != TVGN_FIRSTVISIBLE)
            return FALSE;
        const auto handle = reinterpret_cast<HTREEITEM>(lParam);
        Item* item = state.Get(handle);
        if (handle && !item)
            return FALSE;
        if (wParam == TVGN_FIRSTVISIBLE) {
            if (!item)
                return FALSE;
            state.widget->scrollToItem(item->q, QAbstractItemView::PositionAtTop);
            return TRUE;
        }
        state.pendingAction = TVC_UNKNOWN;
        if (item) {
            // Selecting shows the item: its ancestors open.
            for (Item* up = item->parent; up; up = up->parent)
                up->q->setExpanded(true);
            state.widget->setCurrentItem(item->q);
            state.widget->scrollToItem(item->q);
        } else {
            state.widget->setCurrentItem(nullptr);
            state.widget->clearSelection();
        }
        SelectionChanged(state, state.widget->currentItem());
        return TRUE;
    }
    default:
        return std::nullopt;
    }
}

// The image list.
std::optional<LRESULT> ImageMessage(TreeState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TVM_SETIMAGELIST: {
        if (wParam != TVSIL_NORMAL)
            return 0;
        HIMAGELIST previous = state.images;
        state.images = reinterpret_cast<HIMAGELIST>(lParam);
        state.iconCache.clear();
        int cx = 16, cy = 16;
        if (ImageList_GetIconSize(state.images, &cx, &cy))
            state.widget->setIconSize(QSize(cx, cy));
        for (auto& [handle, item] : state.items)
            Show(state, *item);
        return reinterpret_cast<LRESULT>(previous);
    }
    case TVM_GETIMAGELIST:
        return wParam == TVSIL_NORMAL ? reinterpret_cast<LRESULT>(state.images) : 0;
    default:
        return std::nullopt;
    }
}

// Where items are: hit tests and item rectangles.
std::optional<LRESULT> GeometryMessage(TreeState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TVM_HITTEST:
        return reinterpret_cast<LRESULT>(HitTest(state, reinterpret_cast<TVHITTESTINFO*>(lParam)));
    case TVM_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect)
            return FALSE;
        Item* item = state.Get(*reinterpret_cast<HTREEITEM*>(rect));
        ItemGeometry geometry;
        if (!item || !Geometry(state, *item, &geometry))
            return FALSE;
        const QRect& r = wParam ? geometry.label : geometry.row;
        *rect = RECT { r.left(), r.top(), r.right() + 1, r.bottom() + 1 };
        return TRUE;
    }
    default:
        return std::nullopt;
    }
}

LRESULT TreeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf(hwnd);
    if (!state || !state->widget)
        return DefWindowProc(hwnd, message, wParam, lParam);
    for (auto* group : { ItemMessage, ViewMessage, ImageMessage, GeometryMessage })
        if (const auto result = group(*state, message, wParam, lParam))
            return *result;
    return DefWindowProc(hwnd, message, wParam, lParam);
}

QWidget* MakeTree(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<TreeState>();
    state->hwnd = record.hwnd;
    auto* tree = new TreeWidget(state, parent);
    state->widget = tree;
    record.controlState = state;
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->header()->setStretchLastSection(true);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setExpandsOnDoubleClick(false);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setRootIsDecorated((record.style & TVS_LINESATROOT) != 0);
    tree->setIconSize(QSize(16, 16));
    if (!(record.exStyle & WS_EX_CLIENTEDGE))
        tree->setFrameShape(QFrame::NoFrame);
    std::weak_ptr<TreeState> weak = state;
    QObject::connect(tree, &QTreeWidget::currentItemChanged, tree, [weak](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (auto s = weak.lock())
            SelectionChanged(*s, current);
    });
    return tree;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterTreeViewClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(WC_TREEVIEW), TreeProc, MakeTree });
}

} // namespace taluvo::ui::detail
