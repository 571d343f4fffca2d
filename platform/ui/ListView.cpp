// The report-view list over a QTableWidget. Column 0's cell of a row carries the row: its text,
// the item data and, with check boxes, the check state; the other cells are the sub-items. Every
// state change reaches the parent from Qt's own signals, so a click of the user and a message of
// the program notify the same way.
#include "platform/ui/ListView.h"
#include "platform/ui/detail/Core.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QToolTip>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

using namespace taluvo::ui::detail;

namespace {

constexpr int kDataRole = Qt::UserRole; // the row's item data (lParam)
constexpr int kNotifiedRole = Qt::UserRole + 1; // the state image the parent last heard of

struct ListViewState {
    DWORD exStyle = 0;
    int columns = 0; // inserted by the program; Qt keeps one column even when there is none
    bool quiet = false; // rows are being inserted or deleted: no state notifications
};

std::shared_ptr<ListViewState> StateOf(const WindowRecord& record)
{
    return std::static_pointer_cast<ListViewState>(record.controlState);
}

QTableWidget* TableOf(const WindowRecord& record)
{
    return qobject_cast<QTableWidget*>(record.widget.data());
}

UINT StateImage(const QTableWidgetItem* item, const ListViewState& state)
{
    if (!item || !(state.exStyle & LVS_EX_CHECKBOXES))
        return 0;
    return INDEXTOSTATEIMAGEMASK(item->checkState() == Qt::Checked ? 2 : 1);
}

UINT RowState(QTableWidget* table, const ListViewState& state, int row)
{
    UINT bits = StateImage(table->item(row, 0), state);
    if (table->selectionModel()->isRowSelected(row, QModelIndex()))
        bits |= LVIS_SELECTED;
    if (table->currentRow() == row)
        bits |= LVIS_FOCUSED;
    return bits;
}

void Notify(HWND hwnd, int row, UINT oldState, UINT newState, LPARAM data)
{
    auto record = Find(hwnd);
    if (!record || !record->parent || record->destroying)
        return;
    NMLISTVIEW info;
    info.hdr.hwndFrom = hwnd;
    info.hdr.idFrom = record->id;
    info.hdr.code = LVN_ITEMCHANGED;
    info.iItem = row;
    info.uOldState = oldState;
    info.uNewState = newState;
    info.uChanged = LVIF_STATE;
    info.lParam = data;
    SendMessage(record->parent, WM_NOTIFY, record->id, reinterpret_cast<LPARAM>(&info));
}

void MakeCheckable(QTableWidgetItem* item, bool checkable, Qt::CheckState check = Qt::Unchecked)
{
    QSignalBlocker block(item->tableWidget());
    if (checkable) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(check);
        item->setData(kNotifiedRole, check == Qt::Checked ? 2u : 1u);
    } else {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setData(Qt::CheckStateRole, QVariant());
        item->setData(kNotifiedRole, 0u);
    }
}

QTableWidgetItem* Cell(QTableWidget* table, int row, int column)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        QSignalBlocker block(table);
        table->setItem(row, column, item);
    }
    return item;
}

void ApplyExtendedStyle(QTableWidget* table, ListViewState& state, DWORD exStyle)
{
    const bool checkboxesChanged = ((state.exStyle ^ exStyle) & LVS_EX_CHECKBOXES) != 0;
    state.exStyle = exStyle;
    table->setShowGrid((exStyle & LVS_EX_GRIDLINES) != 0);
    if (checkboxesChanged)
        for (int row = 0; row < table->rowCount(); ++row)
            MakeCheckable(Cell(table, row, 0), (exStyle & LVS_EX_CHECKBOXES) != 0);
}

// Sets the state bits of the mask on one row; the notifications come from the signals.
void SetRowState(QTableWidget* table, const ListViewState& state, int row, UINT bits, UINT mask)
{
    if ((mask & LVIS_STATEIMAGEMASK) && (state.exStyle & LVS_EX_CHECKBOXES)) {
        const UINT image = (bits & LVIS_STATEIMAGEMASK) >> 12;
        if (image == 1 || image == 2)
            Cell(table, row, 0)->setCheckState(image == 2 ? Qt::Checked : Qt::Unchecked);
    }
    if (mask & LVIS_SELECTED) {
        const QModelIndex index = table->model()->index(row, 0);
        table->selectionModel()->select(index,
            ((bits & LVIS_SELECTED) ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                | QItemSelectionModel::Rows);
    }
    if ((mask & LVIS_FOCUSED) && (bits & LVIS_FOCUSED))
        table->selectionModel()->setCurrentIndex(table->model()->index(row, 0), QItemSelectionModel::NoUpdate);
}

bool ValidRow(QTableWidget* table, WPARAM wParam)
{
    const int row = static_cast<int>(static_cast<intptr_t>(wParam));
    return row >= 0 && row < table->rowCount();
}

LRESULT InsertColumn(QTableWidget* table, ListViewState& state, int at, const LVCOLUMN* column)
{
    if (!column)
        return -1;
    at = std::clamp(at, 0, state.columns);
    if (state.columns > 0)
        table->insertColumn(at);
    ++state.columns;
    auto* heading = new QTableWidgetItem(
        (column->mask & LVCF_TEXT) && column->pszText ? QString::fromUtf16(column->pszText) : QString());
    const int format = (column->mask & LVCF_FMT) ? (column->fmt & 3) : LVCFMT_LEFT;
    heading->setTextAlignment(Qt::AlignVCenter
        | (format == LVCFMT_RIGHT         ? Qt::AlignRight
                : format == LVCFMT_CENTER ? Qt::AlignHCenter
                                          : Qt::AlignLeft));
    table->setHorizontalHeaderItem(at, heading);
    if (column->mask & LVCF_WIDTH)
        table->setColumnWidth(at, std::max(0, column->cx));
    return at;
}

LRESULT InsertRow(QTableWidget* table, ListViewState& state, const LVITEM* item)
{
    if (!item || item->iSubItem != 0)
        return -1;
    const int row = std::clamp(item->iItem, 0, table->rowCount());
    state.quiet = true;
    table->insertRow(row);
    state.quiet = false;
    QTableWidgetItem* cell = Cell(table, row, 0);
    QSignalBlocker block(table);
    if ((item->mask & LVIF_TEXT) && item->pszText)
        cell->setText(QString::fromUtf16(item->pszText));
    cell->setData(kDataRole, QVariant::fromValue<qlonglong>((item->mask & LVIF_PARAM) ? item->lParam : 0));
    const UINT image = (item->mask & LVIF_STATE) ? (item->state & item->stateMask & LVIS_STATEIMAGEMASK) >> 12 : 0;
    if (state.exStyle & LVS_EX_CHECKBOXES)
        MakeCheckable(cell, true, image == 2 ? Qt::Checked : Qt::Unchecked);
    return row;
}

LRESULT GetRow(QTableWidget* table, const ListViewState& state, LVITEM* item)
{
    if (!item || item->iItem < 0 || item->iItem >= table->rowCount() || item->iSubItem < 0)
        return FALSE;
    const QTableWidgetItem* cell = table->item(item->iItem, item->iSubItem);
    if (item->mask & LVIF_TEXT)
        CopyText(cell ? cell->text() : QString(), static_cast<WPARAM>(std::max(0, item->cchTextMax)),
            reinterpret_cast<LPARAM>(item->pszText));
    if (item->mask & LVIF_PARAM) {
        const QTableWidgetItem* first = table->item(item->iItem, 0);
        item->lParam = first ? static_cast<LPARAM>(first->data(kDataRole).toLongLong()) : 0;
    }
    if (item->mask & LVIF_STATE)
        item->state = RowState(table, state, item->iItem) & item->stateMask;
    return TRUE;
}

LRESULT SetRow(QTableWidget* table, const ListViewState& state, const LVITEM* item)
{
    if (!item || item->iItem < 0 || item->iItem >= table->rowCount() || item->iSubItem < 0
        || item->iSubItem >= std::max(1, state.columns))
        return FALSE;
    if ((item->mask & LVIF_TEXT) && item->pszText)
        Cell(table, item->iItem, item->iSubItem)->setText(QString::fromUtf16(item->pszText));
    if (item->mask & LVIF_PARAM) {
        QSignalBlocker block(table);
        Cell(table, item->iItem, 0)->setData(kDataRole, QVariant::fromValue<qlonglong>(item->lParam));
    }
    if (item->mask & LVIF_STATE)
        SetRowState(table, state, item->iItem, item->state, item->stateMask);
    return TRUE;
}

// What is left of the list's inside for the last column, as LVSCW_AUTOSIZE_USEHEADER gives it:
// the width inside the frame, less the vertical scroll bar when the rows need one, less the other
// columns. Worked out from the list's own size, which a list not shown yet already has.
int FillWidth(QTableWidget* table, int column)
{
    const int frame = table->frameWidth();
    int inside = table->width() - 2 * frame;
    const int rowsRoom = table->height() - 2 * frame
        - (table->horizontalHeader()->isHidden() ? 0 : table->horizontalHeader()->sizeHint().height());
    if (table->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff
        && (table->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn || table->verticalHeader()->length() > rowsRoom))
        inside -= table->verticalScrollBar()->sizeHint().width();
    for (int other = 0; other < column; ++other)
        inside -= table->columnWidth(other);
    return inside;
}

LRESULT ListViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    QTableWidget* table = record ? TableOf(*record) : nullptr;
    if (!table)
        return DefWindowProc(hwnd, message, wParam, lParam);
    ListViewState& state = *StateOf(*record);
    switch (message) {
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        const DWORD previous = state.exStyle;
        const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
        ApplyExtendedStyle(table, state, (previous & ~mask) | (static_cast<DWORD>(lParam) & mask));
        return previous;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return state.exStyle;
    case LVM_INSERTCOLUMN:
        return InsertColumn(table, state, static_cast<int>(wParam), reinterpret_cast<const LVCOLUMN*>(lParam));
    case LVM_DELETECOLUMN: {
        const int column = static_cast<int>(wParam);
        if (column < 0 || column >= state.columns)
            return FALSE;
        if (--state.columns > 0)
            table->removeColumn(column);
        else
            table->setHorizontalHeaderItem(0, new QTableWidgetItem);
        return TRUE;
    }
    case LVM_GETCOLUMNWIDTH:
        return static_cast<int>(wParam) < state.columns ? table->columnWidth(static_cast<int>(wParam)) : 0;
    case LVM_SETCOLUMNWIDTH: {
        const int column = static_cast<int>(wParam);
        if (column < 0 || column >= state.columns)
            return FALSE;
        if (lParam == LVSCW_AUTOSIZE_USEHEADER && column == state.columns - 1)
            table->setColumnWidth(
                column, std::max(FillWidth(table, column), table->horizontalHeader()->sectionSizeHint(column)));
        else if (lParam < 0)
            table->resizeColumnToContents(column); // LVSCW_AUTOSIZE and LVSCW_AUTOSIZE_USEHEADER
        else
            table->setColumnWidth(column, static_cast<int>(lParam));
        return TRUE;
    }
    case LVM_INSERTITEM:
        return InsertRow(table, state, reinterpret_cast<const LVITEM*>(lParam));
    case LVM_GETITEM:
        return GetRow(table, state, reinterpret_cast<LVITEM*>(lParam));
    case LVM_SETITEM:
        return SetRow(table, state, reinterpret_cast<const LVITEM*>(lParam));
    case LVM_SETITEMTEXT: {
        auto* item = reinterpret_cast<const LVITEM*>(lParam);
        if (!item || !ValidRow(table, wParam) || item->iSubItem < 0 || item->iSubItem >= std::max(1, state.columns))
            return FALSE;
        Cell(table, static_cast<int>(wParam), item->iSubItem)
            ->setText(item->pszText ? QString::fromUtf16(item->pszText) : QString());
        return TRUE;
    }
    case LVM_GETITEMTEXT: {
        auto* item = reinterpret_cast<LVITEM*>(lParam);
        if (!item || !ValidRow(table, wParam) || item->iSubItem < 0)
            return 0;
        const QTableWidgetItem* cell = table->item(static_cast<int>(wParam), item->iSubItem);
        return CopyText(cell ? cell->text() : QString(), static_cast<WPARAM>(std::max(0, item->cchTextMax)),
            reinterpret_cast<LPARAM>(item->pszText));
    }
    case LVM_DELETEITEM:
        if (!ValidRow(table, wParam))
            return FALSE;
        state.quiet = true;
        table->removeRow(static_cast<int>(wParam));
        state.quiet = false;
        return TRUE;
    case LVM_DELETEALLITEMS:
        state.quiet = true;
        table->setRowCount(0);
        state.quiet = false;
        return TRUE;
    case LVM_GETITEMCOUNT:
        return table->rowCount();
    case LVM_SETITEMSTATE: {
        auto* item = reinterpret_cast<const LVITEM*>(lParam);
        const int row = static_cast<int>(static_cast<intptr_t>(wParam));
        if (!item || row < -1 || row >= table->rowCount())
            return FALSE;
        for (int r = row < 0 ? 0 : row; r < (row < 0 ? table->rowCount() : row + 1); ++r)
            SetRowState(table, state, r, item->state, item->stateMask);
        return TRUE;
    }
    case LVM_GETITEMSTATE:
        return ValidRow(table, wParam) ? RowState(table, state, static_cast<int>(wParam)) & static_cast<UINT>(lParam)
                                       : 0;
    case LVM_GETNEXTITEM: {
        const UINT flags = static_cast<UINT>(lParam) & (LVNI_SELECTED | LVNI_FOCUSED);
        for (int row = static_cast<int>(static_cast<intptr_t>(wParam)) + 1; row < table->rowCount(); ++row) {
            const UINT bits = RowState(table, state, row);
            if ((!(flags & LVNI_SELECTED) || (bits & LVIS_SELECTED))
                && (!(flags & LVNI_FOCUSED) || (bits & LVIS_FOCUSED)))
                return row;
        }
        return -1;
    }
    case LVM_GETSELECTEDCOUNT: {
        std::set<int> rows;
        for (const QModelIndex& index : table->selectionModel()->selectedIndexes())
            rows.insert(index.row());
        return static_cast<LRESULT>(rows.size());
    }
    case LVM_ENSUREVISIBLE:
        if (!ValidRow(table, wParam))
            return FALSE;
        table->scrollTo(table->model()->index(static_cast<int>(wParam), 0));
        return TRUE;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// Lines of the text that each fit in the width: a long address has no blanks to break at, and a
// tip of one line would run off the screen.
QString LinesWithin(const QString& text, const QFontMetrics& metrics, int width)
{
    QString lines;
    QString line;
    for (const QChar c : text) {
        if (!line.isEmpty() && metrics.horizontalAdvance(line + c) > width) {
            lines += line + QLatin1Char('\n');
            line.clear();
        }
        line += c;
    }
    return lines + line;
}

// With LVS_EX_LABELTIP a cell that is too narrow for its text shows the whole text in a tooltip.
class LabelTips : public QObject {
public:
    LabelTips(QTableWidget* table, std::weak_ptr<ListViewState> state)
        : QObject(table)
        , m_table(table)
        , m_state(std::move(state))
    {
        table->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto state = m_state.lock();
        if (!state || !(state->exStyle & LVS_EX_LABELTIP))
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = m_table->indexAt(help->pos());
        const QString text = index.data().toString();
        const QRect cell = m_table->visualRect(index);
        if (!index.isValid() || text.isEmpty() || m_table->sizeHintForIndex(index).width() <= cell.width()) {
            QToolTip::hideText();
            return true;
        }
        const QScreen* screen = m_table->screen() ? m_table->screen() : QGuiApplication::primaryScreen();
        const int width = screen ? screen->availableGeometry().width() * 2 / 3 : 600;
        QToolTip::showText(
            help->globalPos(), LinesWithin(text, QFontMetrics(QToolTip::font()), width), m_table->viewport(), cell);
        return true;
    }

private:
    QTableWidget* m_table;
    std::weak_ptr<ListViewState> m_state;
};

QWidget* MakeListView(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<ListViewState>();
    record.controlState = state;
    const HWND hwnd = record.hwnd;
    auto* table = new QTableWidget(0, 1, parent);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setVisible(!(record.style & LVS_NOCOLUMNHEADER));
    table->horizontalHeader()->setSectionsClickable(false);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setStretchLastSection(false);
    table->setHorizontalHeaderItem(0, new QTableWidgetItem);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(
        (record.style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection : QAbstractItemView::ExtendedSelection);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->setFrameShape(
        (record.exStyle & WS_EX_CLIENTEDGE) || (record.style & WS_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
    std::weak_ptr<ListViewState> weak = state;
    new LabelTips(table, weak);
    // A check box clicked (or set by the program) changes column 0's check state.
    QObject::connect(table, &QTableWidget::itemChanged, [hwnd, weak, table](QTableWidgetItem* item) {
        auto shared = weak.lock();
        if (!shared || shared->quiet || item->column() != 0 || !(shared->exStyle & LVS_EX_CHECKBOXES))
            return;
        const UINT image = item->checkState() == Qt::Checked ? 2 : 1;
        const UINT before = item->data(kNotifiedRole).toUInt();
        if (image == before)
            return; // a text or data change
        {
            QSignalBlocker block(table);
            item->setData(kNotifiedRole, image);
        }
        const int row = item->row();
        const UINT others = RowState(table, *shared, row) & ~LVIS_STATEIMAGEMASK;
        Notify(hwnd, row, others | INDEXTOSTATEIMAGEMASK(before), others | INDEXTOSTATEIMAGEMASK(image),
            static_cast<LPARAM>(item->data(kDataRole).toLongLong()));
    });
    QObject::connect(table->selectionModel(), &QItemSelectionModel::selectionChanged,
        [hwnd, weak, table](const QItemSelection& selected, const QItemSelection& deselected) {
            auto shared = weak.lock();
            if (!shared || shared->quiet)
                return;
            std::set<int> gone;
            std::set<int> came;
            for (const QModelIndex& index : deselected.indexes())
                gone.insert(index.row());
            for (const QModelIndex& index : selected.indexes())
                came.insert(index.row());
            for (int row : gone) {
                if (came.count(row))
                    continue;
                const UINT now = RowState(table, *shared, row);
                const QTableWidgetItem* first = table->item(row, 0);
                Notify(hwnd, row, now | LVIS_SELECTED, now & ~LVIS_SELECTED,
                    first ? static_cast<LPARAM>(first->data(kDataRole).toLongLong()) : 0);
            }
            for (int row : came) {
                if (gone.count(row))
                    continue;
                const UINT now = RowState(table, *shared, row);
                const QTableWidgetItem* first = table->item(row, 0);
                Notify(hwnd, row, now & ~LVIS_SELECTED, now | LVIS_SELECTED,
                    first ? static_cast<LPARAM>(first->data(kDataRole).toLongLong()) : 0);
            }
        });
    return table;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterListViewClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(WC_LISTVIEW), ListViewProc, MakeListView });
}

} // namespace taluvo::ui::detail
