// The tab control: a widget of its own that lays its tabs out in rows (Qt's tab bar knows only one
// scrolling row) and draws tabs and display area with the desktop style's tab pieces, so it looks
// like the tab widgets of other programs.
#include "platform/ui/TabControl.h"

#include "platform/ui/detail/Core.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTab>
#include <QWidget>

#include <algorithm>
#include <vector>

using namespace taluvo::ui::detail;

namespace {

struct TabItem {
    QString text;
    LPARAM data = 0;
};

// Where everything stands for one width: the tabs' rectangles (client pixels), which row each tab
// is in (in tab order, 0 first) and the height of the rows together.
struct TabLayout {
    std::vector<QRect> rects;
    std::vector<int> rowOf;
    int rows = 0;
    int stripHeight = 0;
};

class TabStrip : public QWidget {
public:
    TabStrip(HWND hwnd, DWORD style, QWidget* parent)
        : QWidget(parent)
        , m_hwnd(hwnd)
        , m_style(style)
    {
        setFocusPolicy((style & TCS_FOCUSNEVER) ? Qt::NoFocus : Qt::StrongFocus);
        setAttribute(Qt::WA_Hover);
    }

    std::vector<TabItem> items;
    int current = -1;

    TabLayout Layout(int width) const;
    // The pixels between the display area and the window's edges (left, top, right, bottom).
    QMargins DisplayMargins(int width) const
    {
        const int border = FrameWidth();
        return QMargins(border, Layout(width).stripHeight - Overlap() + border, border, border);
    }
    int HitTest(const QPoint& point) const
    {
        const TabLayout layout = Layout(width());
        for (size_t i = 0; i < layout.rects.size(); ++i)
            if (layout.rects[i].contains(point))
                return static_cast<int>(i);
        return -1;
    }
    // A user's choice: the parent may refuse it.
    void Choose(int index);
    int FrameWidth() const { return std::max(2, style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this)); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    int Overlap() const
    {
        QStyleOptionTab option;
        option.initFrom(this);
        option.shape = QTabBar::RoundedNorth;
        return style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, &option, this);
    }

private:
    QStyleOptionTab TabOption(const TabLayout& layout, int index) const;
    LRESULT Notify(UINT code) const;

    HWND m_hwnd;
    DWORD m_style;
};

TabLayout TabStrip::Layout(int width) const
{
    TabLayout layout;
    const int count = static_cast<int>(items.size());
    if (count == 0)
        return layout;
    const QFontMetrics metrics = fontMetrics();
    std::vector<QSize> sizes;
    int rowHeight = 0;
    for (const TabItem& item : items) {
        QStyleOptionTab option;
        option.initFrom(this);
        option.shape = QTabBar::RoundedNorth;
        option.text = item.text;
        const QSize contents(metrics.size(Qt::TextShowMnemonic, item.text).width()
                + style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this),
            metrics.height() + style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this));
        const QSize size = style()->sizeFromContents(QStyle::CT_TabBarTab, &option, contents, this);
        sizes.push_back(size);
        rowHeight = std::max(rowHeight, size.height());
    }
    // Rows filled in tab order; a tab wider than the control takes a row of its own.
    const bool multiLine = (m_style & TCS_MULTILINE) != 0;
    std::vector<std::vector<int>> rows(1);
    int used = 0;
    for (int i = 0; i < count; ++i) {
        const int w = sizes[static_cast<size_t>(i)].width();
        if (multiLine && !rows.back().empty() && used + w > width) {
            rows.emplace_back();
            used = 0;
        }
        rows.back().push_back(i);
        used += w;
    }
    layout.rows = static_cast<int>(rows.size());
    layout.stripHeight = layout.rows * rowHeight;
    layout.rects.resize(static_cast<size_t>(count));
    layout.rowOf.resize(static_cast<size_t>(count));
    int rowOfSelected = 0;
    for (int r = 0; r < layout.rows; ++r)
        for (int i : rows[static_cast<size_t>(r)]) {
            layout.rowOf[static_cast<size_t>(i)] = r;
            if (i == current)
                rowOfSelected = r;
        }
    const bool stretch = layout.rows > 1 && !(m_style & TCS_RAGGEDRIGHT);
    for (int r = 0; r < layout.rows; ++r) {
        const std::vector<int>& row = rows[static_cast<size_t>(r)];
        int natural = 0;
        for (int i : row)
            natural += sizes[static_cast<size_t>(i)].width();
        const int extra = stretch ? std::max(0, width - natural) : 0;
        const int n = static_cast<int>(row.size());
        // The selected tab's row next to the display area, the rows after it above it in turn.
        const int fromBottom = (r - rowOfSelected + layout.rows) % layout.rows;
        const int y = (layout.rows - 1 - fromBottom) * rowHeight;
        int x = 0;
        for (int k = 0; k < n; ++k) {
            const int i = row[static_cast<size_t>(k)];
            const int w = sizes[static_cast<size_t>(i)].width() + extra / n + (k < extra % n ? 1 : 0);
            layout.rects[static_cast<size_t>(i)] = QRect(x, y, w, rowHeight);
            x += w;
        }
    }
    return layout;
}

QStyleOptionTab TabStrip::TabOption(const TabLayout& layout, int index) const
{
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.text = items[static_cast<size_t>(index)].text;
    option.rect = layout.rects[static_cast<size_t>(index)];
    option.row = layout.rowOf[static_cast<size_t>(index)];
    option.features |= QStyleOptionTab::HasFrame; // the selected tab takes the display area's colour
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    if (index == current) {
        option.state |= QStyle::State_Selected;
        if (hasFocus())
            option.state |= QStyle::State_HasFocus;
    }
    if (underMouse() && option.rect.contains(mapFromGlobal(QCursor::pos())))
        option.state |= QStyle::State_MouseOver;
    const int row = option.row;
    const bool first = index == 0 || layout.rowOf[static_cast<size_t>(index) - 1] != row;
    const bool last
        = index + 1 == static_cast<int>(items.size()) || layout.rowOf[static_cast<size_t>(index) + 1] != row;
    option.position = first && last ? QStyleOptionTab::OnlyOneTab
        : first                     ? QStyleOptionTab::Beginning
        : last                      ? QStyleOptionTab::End
                                    : QStyleOptionTab::Middle;
    option.selectedPosition = current == index - 1 && !first ? QStyleOptionTab::PreviousIsSelected
        : current == index + 1 && !last                      ? QStyleOptionTab::NextIsSelected
                                                             : QStyleOptionTab::NotAdjacent;
    return option;
}

void TabStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const TabLayout layout = Layout(width());
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.shape = QTabBar::RoundedNorth;
    frame.rect = rect().adjusted(0, layout.stripHeight - Overlap(), 0, 0);
    frame.tabBarSize = QSize(width(), layout.stripHeight);
    frame.tabBarRect = QRect(0, 0, width(), layout.stripHeight);
    if (current >= 0 && current < static_cast<int>(items.size()))
        frame.selectedTabRect = layout.rects[static_cast<size_t>(current)];
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
    // Each tab is kept to its own rectangle (the selected one also to the frame's edge it covers):
    // a style may fill past a tab's bottom, which a one-row tab bar of a tab's height would cut off.
    const int overlap = Overlap();
    const auto drawTab = [&](const QStyleOptionTab& option) {
        painter.save();
        painter.setClipRect(option.rect.adjusted(-1, -1, 1, (option.state & QStyle::State_Selected) ? overlap : 0));
        style()->drawControl(QStyle::CE_TabBarTab, &option, &painter, this);
        painter.restore();
    };
    // The selected tab last: it stands over its neighbours and the frame's edge.
    for (int i = 0; i < static_cast<int>(items.size()); ++i)
        if (i != current)
            drawTab(TabOption(layout, i));
    if (current >= 0 && current < static_cast<int>(items.size())) {
        const QStyleOptionTab option = TabOption(layout, current);
        drawTab(option);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.state |= QStyle::State_KeyboardFocusChange;
            focus.rect = style()->subElementRect(QStyle::SE_TabBarTabText, &option, this).adjusted(-2, 0, 2, 0);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
}

LRESULT TabStrip::Notify(UINT code) const
{
    auto record = Find(m_hwnd);
    if (!record || !record->parent || record->destroying)
        return 0;
    NMHDR header;
    header.hwndFrom = m_hwnd;
    header.idFrom = record->id;
    header.code = code;
    return SendMessage(record->parent, WM_NOTIFY, record->id, reinterpret_cast<LPARAM>(&header));
}

void TabStrip::Choose(int index)
{
    if (index < 0 || index >= static_cast<int>(items.size()) || index == current)
        return;
    if (Notify(TCN_SELCHANGING))
        return;
    if (!IsWindow(m_hwnd))
        return;
    current = index;
    update();
    Notify(TCN_SELCHANGE);
}

void TabStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const int index = HitTest(event->position().toPoint());
    if (index >= 0 && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    Choose(index);
    event->accept();
}

void TabStrip::keyPressEvent(QKeyEvent* event)
{
    const int count = static_cast<int>(items.size());
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        target = current - 1;
        break;
    case Qt::Key_Right:
        target = current + 1;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    if (target >= 0 && target < count)
        Choose(target);
    event->accept();
}

TabStrip* StripOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? dynamic_cast<TabStrip*>(record->widget.data()) : nullptr;
}

LRESULT TabControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    TabStrip* strip = StripOf(hwnd);
    if (!strip)
        return DefWindowProc(hwnd, message, wParam, lParam);
    const int count = static_cast<int>(strip->items.size());
    const int index = static_cast<int>(static_cast<intptr_t>(wParam));
    switch (message) {
    case TCM_GETITEMCOUNT:
        return count;
    case TCM_INSERTITEM: {
        auto* item = reinterpret_cast<const TCITEM*>(lParam);
        if (!item || index < 0)
            return -1;
        TabItem entry;
        if ((item->mask & TCIF_TEXT) && item->pszText)
            entry.text = QString::fromUtf16(item->pszText);
        if (item->mask & TCIF_PARAM)
            entry.data = item->lParam;
        const int at = std::min(index, count);
        strip->items.insert(strip->items.begin() + at, entry);
        if (strip->current < 0)
            strip->current = 0; // the first tab is selected, as on Windows
        else if (at <= strip->current)
            ++strip->current;
        strip->update();
        return at;
    }
    case TCM_GETITEM:
    case TCM_SETITEM: {
        auto* item = reinterpret_cast<TCITEM*>(lParam);
        if (!item || index < 0 || index >= count)
            return FALSE;
        TabItem& entry = strip->items[static_cast<size_t>(index)];
        if (message == TCM_SETITEM) {
            if ((item->mask & TCIF_TEXT) && item->pszText)
                entry.text = QString::fromUtf16(item->pszText);
            if (item->mask & TCIF_PARAM)
                entry.data = item->lParam;
            strip->update();
            return TRUE;
        }
        if ((item->mask & TCIF_TEXT) && item->pszText && item->cchTextMax > 0)
            CopyText(entry.text, static_cast<WPARAM>(item->cchTextMax), reinterpret_cast<LPARAM>(item->pszText));
        if (item->mask & TCIF_PARAM)
            item->lParam = entry.data;
        return TRUE;
    }
    case TCM_DELETEITEM:
        if (index < 0 || index >= count)
            return FALSE;
        strip->items.erase(strip->items.begin() + index);
        if (strip->current == index)
            strip->current = -1; // as on Windows: nothing selected until the program says
        else if (strip->current > index)
            --strip->current;
        strip->update();
        return TRUE;
    case TCM_DELETEALLITEMS:
        strip->items.clear();
        strip->current = -1;
        strip->update();
        return TRUE;
    case TCM_GETCURSEL:
        return strip->current;
    case TCM_SETCURSEL: {
        if (index < 0 || index >= count)
            return -1;
        const int previous = strip->current;
        strip->current = index;
        strip->update();
        return previous;
    }
    case TCM_GETROWCOUNT:
        return strip->Layout(strip->width()).rows;
    case TCM_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect || index < 0 || index >= count)
            return FALSE;
        const QRect r = strip->Layout(strip->width()).rects[static_cast<size_t>(index)];
        *rect = RECT { r.left(), r.top(), r.right() + 1, r.bottom() + 1 };
        return TRUE;
    }
    case TCM_HITTEST: {
        auto* info = reinterpret_cast<TCHITTESTINFO*>(lParam);
        if (!info)
            return -1;
        const int hit = strip->HitTest(QPoint(info->pt.x, info->pt.y));
        info->flags = hit >= 0 ? TCHT_ONITEM : TCHT_NOWHERE;
        return hit;
    }
    case TCM_ADJUSTRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect)
            return 0;
        if (wParam) {
            // The rows depend on the width of the window, which is the display area's and the frame's.
            const QMargins frame = strip->DisplayMargins(rect->right - rect->left + 2 * strip->FrameWidth());
            *rect = RECT { rect->left - frame.left(), rect->top - frame.top(), rect->right + frame.right(),
                rect->bottom + frame.bottom() };
        } else {
            const QMargins frame = strip->DisplayMargins(rect->right - rect->left);
            *rect = RECT { rect->left + frame.left(), rect->top + frame.top(), rect->right - frame.right(),
                rect->bottom - frame.bottom() };
        }
        return 0;
    }
    case WM_SETFONT: {
        const LRESULT result = DefWindowProc(hwnd, message, wParam, lParam);
        strip->update();
        return result;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeTabControl(WindowRecord& record, QWidget* parent)
{
    return new TabStrip(record.hwnd, record.style, parent);
}

} // namespace

namespace taluvo::ui::detail {

void RegisterTabControlClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(WC_TABCONTROL), TabControlProc, MakeTabControl });
}

} // namespace taluvo::ui::detail
