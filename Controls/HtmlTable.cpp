// Tables: the measure pass builds one record per table (grid, column widths, row heights) and
// returns the natural size; the draw pass reads the record back, widens the free columns to the
// space it is given, and paints fills, frames and cell contents. Cells outside the grid are
// ignored and spans are clipped to it, so no markup can reach past a record.
#include "Controls/HtmlRenderer.h"

#include <algorithm>

namespace {

// Sums in 64 bits and brought back into a range where further sums cannot overflow.
int Saturate(qint64 value)
{
    return int(std::clamp<qint64>(value, -(1 << 28), 1 << 28));
}

// Table-level lengths from the markup, bounded so that frames and gaps stay drawable.
int Bounded(int value, int limit)
{
    return std::clamp(value, 0, limit);
}

constexpr int kMaxGap = 1000;
constexpr int kMaxBorder = 64;

struct TableStyle {
    int padding;
    int border;
    int frame; // the frame's width on each side
};

TableStyle TableStyleOf(const SHtmlStyle& style)
{
    TableStyle result;
    result.padding = Bounded(style.m_nPadding, kMaxGap);
    result.border = Bounded(style.m_nBorderWidth, kMaxBorder);
    result.frame = style.m_nBorderStyle == 6 ? 3 * result.border : result.border;
    return result;
}

qint64 Span(const std::vector<int>& sizes, int first, int count, int gap)
{
    qint64 sum = 0;
    for (int i = first; i < first + count && i < int(sizes.size()); ++i)
        sum += sizes[i];
    return sum + qint64(std::max(count - 1, 0)) * gap;
}

qint64 Before(const std::vector<int>& sizes, int index, int gap)
{
    qint64 sum = 0;
    for (int i = 0; i < index && i < int(sizes.size()); ++i)
        sum += sizes[i] + gap;
    return sum;
}

qint64 TotalOf(const std::vector<int>& sizes, int padding)
{
    // P + (n - 1) + sum(size + P)
    qint64 sum = padding + qint64(std::max<int>(int(sizes.size()) - 1, 0));
    for (int size : sizes)
        sum += size + padding;
    return sum;
}

} // namespace

void CHtmlRenderer::FillClipped(const RECT& rect)
{
    // The effect is worked out over the whole rectangle, so a gradient looks the same however
    // much of the table the target shows, and only the visible part is painted. A rectangle of
    // hostile size is filled over its visible part alone: no effect is worked out over more than
    // a screen's worth of pixels.
    RECT box;
    RECT area = rect;
    const bool clipKnown = GetClipBox(m_hDC, &box) != 0 && !IsRectEmpty(&box);
    if (clipKnown)
        IntersectRect(&area, &rect, &box);
    if (IsRectEmpty(&area))
        return;
    m_work.pixels += qint64(area.right - area.left) * (area.bottom - area.top);
    const qint64 width = qint64(rect.right) - rect.left;
    const qint64 height = qint64(rect.bottom) - rect.top;
    const bool whole = width <= kHtmlMaxExtent && height <= kHtmlMaxExtent
        && (m_curStyle.m_nFillEffect < FILL_NOISE || width * height <= kHtmlMaxImagePixels);
    const int saved = whole ? SaveDC(m_hDC) : 0;
    if (saved)
        IntersectClipRect(m_hDC, area.left, area.top, area.right, area.bottom);
    m_drawManager.FillEffect(m_hDC, UINT(m_curStyle.m_nFillEffect), saved ? &rect : &area, m_curStyle.m_clrBk,
        m_curStyle.m_clrBkMid, m_curStyle.m_clrBkEnd, 5, 0);
    if (saved)
        RestoreDC(m_hDC, saved);
}

SIZE CHtmlRenderer::DrawTable(const QString& text, const RECT* area)
{
    SIZE size { 0, 0 };
    if (m_nTableDepth >= kHtmlMaxTableDepth)
        return size;
    ++m_nTableDepth;
    const int k = ++m_nTableIndex;
    if (m_bMeasure) {
        const SIZE grid = CountTableSize(text);
        m_work.scanned += text.size(); // the count passes over the table's text once
        SHtmlTable record;
        record.m_rows.assign(grid.cy, std::vector<SHtmlTableCell>(grid.cx));
        record.m_colWidths.assign(grid.cx, 0);
        record.m_rowHeights.assign(grid.cy, 0);
        record.m_colFixed.assign(grid.cx, 0);
        m_arrTables.push_back(std::move(record));
    }
    if (k < 0 || k >= int(m_arrTables.size())) {
        // A draw pass over a text the measure pass did not see: nothing to place.
        --m_nTableDepth;
        return size;
    }
    SHtmlTable table = m_arrTables[k];
    const int rows = int(table.m_rowHeights.size());
    const int columns = int(table.m_colWidths.size());

    m_curStyle.m_strTag = QStringLiteral("table");
    PushPopStyle(FALSE);
    ApplySelectorStyle(QStringLiteral("table"), m_curStyle);
    {
        QString tag;
        int pos = 0;
        GetNextRun(text, tag, pos);
        const QString attributes = SplitTagName(tag);
        ParseTableAttributes(attributes, m_curStyle, TRUE);
    }
    ApplyFont();
    const TableStyle ts = TableStyleOf(m_curStyle);

    RECT inner { 0, 0, 0, 0 };
    if (!m_bMeasure) {
        qint64 width = TotalOf(table.m_colWidths, ts.padding) + 2 * qint64(ts.frame);
        const qint64 height = TotalOf(table.m_rowHeights, ts.padding) + 2 * qint64(ts.frame);
        const qint64 available = qint64(area->right) - area->left;
        if (width < available) {
            qint64 extra = available - width;
            int free = int(std::count(table.m_colFixed.begin(), table.m_colFixed.end(), 0));
            for (int c = 0; c < columns && free > 0; ++c) {
                if (table.m_colFixed[c] != 0)
                    continue;
                const qint64 share = extra / free;
                extra -= share;
                --free;
                width += share;
                table.m_colWidths[c] = Saturate(table.m_colWidths[c] + share);
            }
        }
        qint64 left = area->left;
        if (width < available) {
            if (m_curStyle.m_nAlign == 1)
                left = area->left + (available - width) / 2;
            else if (m_curStyle.m_nAlign == 2)
                left = area->right - width;
        }
        const RECT rect { Saturate(left), area->top, Saturate(left + width), Saturate(area->top + height) };
        if (m_curStyle.m_nFillEffect >= 0)
            FillClipped(rect);
        else if (!m_curStyle.m_strBkImage.isEmpty())
            DrawBackgroundImage(
                m_hDC, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, m_curStyle.m_strBkImage);
        if (ts.border > 0) {
            const COLORREF light = m_bUseColors ? m_curStyle.m_clrBorderLight : m_clrDisabled;
            const COLORREF dark = m_bUseColors ? m_curStyle.m_clrBorderDark : m_clrDisabled;
            m_drawManager.DrawRectangle(m_hDC, &rect, light, dark, m_curStyle.m_nBorderStyle, ts.border);
        }
        inner = RECT { rect.left + ts.frame, rect.top + ts.frame, rect.right - ts.frame, rect.bottom - ts.frame };
        size = SIZE { rect.right - rect.left, rect.bottom - rect.top };
    }

    if (rows > 0 && columns > 0) {
        const int end = int(text.size());
        int pos = 0;
        for (int r = 0; r < rows && pos < end; ++r) {
            int rowStart = pos;
            if (!SeekTag(text, rowStart, QStringLiteral("tr")))
                break;
            int rowEnd = rowStart;
            SeekEnd(FindRowEnd, text, rowEnd);
            DrawTableRow(text.mid(rowStart, rowEnd - rowStart), &inner, table, r);
            pos = std::max(rowEnd + 5, rowStart + 1);
        }
    }

    if (m_bMeasure) {
        int maxColSpan = 1;
        int maxRowSpan = 1;
        for (const auto& row : table.m_rows)
            for (const SHtmlTableCell& cell : row) {
                maxColSpan = std::max(maxColSpan, cell.m_nColSpan);
                maxRowSpan = std::max(maxRowSpan, cell.m_nRowSpan);
            }
        for (int s = 1; s <= maxColSpan; ++s)
            for (int j = 0; j < rows; ++j)
                for (int c = 0; c < columns; ++c) {
                    const SHtmlTableCell& cell = table.m_rows[j][c];
                    if (cell.m_nColSpan != s)
                        continue;
                    if (s == 1) {
                        table.m_colWidths[c] = std::max(table.m_colWidths[c], cell.m_nNeededWidth);
                        if (cell.m_bFixedWidth)
                            table.m_colFixed[c] = 1;
                        continue;
                    }
                    const int last = std::min(c + s, columns) - 1;
                    const int spanned = last - c + 1;
                    qint64 sum = 0;
                    for (int i = c; i <= last; ++i) {
                        sum += table.m_colWidths[i];
                        if (cell.m_bFixedWidth)
                            table.m_colFixed[i] = 1;
                    }
                    if (sum < cell.m_nContentWidth) {
                        const qint64 d = cell.m_nNeededWidth - sum;
                        table.m_colWidths[last] = Saturate(table.m_colWidths[last] + d % spanned);
                        for (int i = c; i <= last; ++i)
                            table.m_colWidths[i] = Saturate(table.m_colWidths[i] + d / spanned);
                    }
                }
        for (int s = 1; s <= maxRowSpan; ++s)
            for (int j = 0; j < rows; ++j)
                for (int c = 0; c < columns; ++c) {
                    const SHtmlTableCell& cell = table.m_rows[j][c];
                    if (cell.m_nRowSpan != s)
                        continue;
                    if (s == 1) {
                        table.m_rowHeights[j] = std::max(table.m_rowHeights[j], cell.m_nNeededHeight);
                        continue;
                    }
                    const int last = std::min(j + s, rows) - 1;
                    const int spanned = last - j + 1;
                    qint64 sum = 0;
                    for (int i = j; i <= last; ++i)
                        sum += table.m_rowHeights[i];
                    if (sum < cell.m_nNeededHeight) {
                        const qint64 d = cell.m_nNeededHeight - sum;
                        table.m_rowHeights[j] = Saturate(table.m_rowHeights[j] + d % spanned);
                        for (int i = j; i <= last; ++i)
                            table.m_rowHeights[i] = Saturate(table.m_rowHeights[i] + d / spanned);
                    }
                }
        size.cx = Saturate(TotalOf(table.m_colWidths, ts.padding) + 2 * qint64(ts.frame));
        size.cy = Saturate(TotalOf(table.m_rowHeights, ts.padding) + 2 * qint64(ts.frame));
    }

    m_arrTables[k] = std::move(table);
    m_curStyle.m_strTag = QStringLiteral("table");
    if (PushPopStyle(TRUE))
        ApplyFont();
    --m_nTableDepth;
    return size;
}

void CHtmlRenderer::DrawTableRow(const QString& text, const RECT* inner, SHtmlTable& table, int row)
{
    m_curStyle.m_strTag = QStringLiteral("tr");
    PushPopStyle(FALSE);
    ApplySelectorStyle(QStringLiteral("tr"), m_curStyle);
    int pos = 0;
    {
        QString tag;
        GetNextRun(text, tag, pos);
        const QString attributes = SplitTagName(tag);
        ParseTableAttributes(attributes, m_curStyle, FALSE);
    }
    ApplyFont();
    const int padding = Bounded(m_curStyle.m_nPadding, kMaxGap);
    const int columns = int(table.m_colWidths.size());
    const int rows = int(table.m_rowHeights.size());
    std::vector<SHtmlTableCell>& cells = table.m_rows[row];

    const int end = int(text.size());
    int c = 0;
    // Each search's find is kept while it lies ahead, so every boundary of the row is found once
    // and a row of any number of cells costs its length.
    int rowEnd = -1;
    int cellStart = -1;
    while (pos < end) {
        if (rowEnd < pos) {
            rowEnd = pos;
            SeekTag(text, rowEnd, QStringLiteral("/tr"));
        }
        if (cellStart < pos) {
            cellStart = pos;
            SeekTag(text, cellStart, QStringLiteral("td"));
        }
        if (cellStart >= rowEnd)
            break;
        while (c < columns && cells[c].m_nColSpan < 0)
            ++c;
        int cellEnd = cellStart;
        SeekEnd(FindCellEnd, text, cellEnd);
        const int next = std::max(cellEnd, cellStart + 1);
        if (c >= columns) {
            // Past the last column of the grid: the cell is ignored.
            pos = next;
            continue;
        }
        // The span this cell may take: clipped to the grid and to places no earlier cell covers.
        SHtmlTableCell& cell = cells[c];
        RECT rect { 0, 0, 0, 0 };
        if (!m_bMeasure) {
            const int colSpan = std::clamp(cell.m_nColSpan, 1, columns - c);
            const int rowSpan = std::clamp(cell.m_nRowSpan, 1, rows - row);
            const qint64 left = inner->left + padding + Before(table.m_colWidths, c, padding + 1);
            const qint64 top = inner->top + padding + Before(table.m_rowHeights, row, padding + 1);
            rect = RECT { Saturate(left), Saturate(top),
                Saturate(left + Span(table.m_colWidths, c, colSpan, padding + 1)),
                Saturate(top + Span(table.m_rowHeights, row, rowSpan, padding + 1)) };
        }
        DrawTableCell(text.mid(cellStart, cellEnd - cellStart), &rect, cell);
        int colSpan = std::max(cell.m_nColSpan, 1);
        if (m_bMeasure) {
            int rowSpan = std::clamp(cell.m_nRowSpan, 1, rows - row);
            colSpan = std::clamp(colSpan, 1, columns - c);
            // A span stops at a place another cell already holds.
            for (int i = 1; i < colSpan; ++i)
                if (cells[c + i].m_nColSpan != 0) {
                    colSpan = i;
                    break;
                }
            cell.m_nColSpan = colSpan;
            cell.m_nRowSpan = rowSpan;
            for (int j = row; j < row + rowSpan; ++j)
                for (int i = c; i < c + colSpan; ++i)
                    if (j != row || i != c) {
                        SHtmlTableCell& covered = table.m_rows[j][i];
                        if (covered.m_nColSpan == 0) {
                            covered.m_nColSpan = -1;
                            covered.m_nRowSpan = -1;
                        }
                    }
        }
        c += colSpan;
        pos = next;
    }

    m_curStyle.m_strTag = QStringLiteral("tr");
    if (PushPopStyle(TRUE))
        ApplyFont();
}

void CHtmlRenderer::DrawTableCell(const QString& text, const RECT* cellRect, SHtmlTableCell& cell)
{
    if (m_bMeasure) {
        cell.m_nContentWidth = 0;
        cell.m_nContentHeight = 0;
    }
    m_curStyle.m_strTag = QStringLiteral("td");
    PushPopStyle(FALSE);
    ApplySelectorStyle(QStringLiteral("td"), m_curStyle);
    int pos = 0;
    SIZE span { 1, 1 };
    {
        QString tag;
        GetNextRun(text, tag, pos);
        const QString attributes = SplitTagName(tag);
        m_curStyle.m_nWidth = 0;
        m_curStyle.m_nHeight = 0;
        span = ParseTableAttributes(attributes, m_curStyle, FALSE);
    }
    ApplyFont();
    const int ownWidth = Bounded(m_curStyle.m_nWidth, kHtmlMaxImageSide);
    const int ownHeight = Bounded(m_curStyle.m_nHeight, kHtmlMaxImageSide);
    const int inset = Bounded(m_curStyle.m_nMargin, kMaxGap) + Bounded(m_curStyle.m_nBorderWidth, kMaxBorder);

    RECT content { 0, 0, ownWidth, 0 };
    if (m_bMeasure) {
        cell.m_nColSpan = std::clamp<int>(span.cx, 1, kHtmlMaxTableColumns);
        cell.m_nRowSpan = std::clamp<int>(span.cy, 1, kHtmlMaxTableRows);
        cell.m_nContentWidth = ownWidth;
        cell.m_nContentHeight = 0;
        cell.m_bFixedWidth = ownWidth > 0 ? 1 : 0;
    } else {
        if (m_curStyle.m_nFillEffect >= 0)
            FillClipped(*cellRect);
        if (m_curStyle.m_nBorderStyle != 0) {
            const COLORREF light = m_bUseColors ? m_curStyle.m_clrBorderLight : m_clrDisabled;
            const COLORREF dark = m_bUseColors ? m_curStyle.m_clrBorderDark : m_clrDisabled;
            m_drawManager.DrawRectangle(m_hDC, cellRect, dark, light, m_curStyle.m_nBorderStyle, 1);
        }
        content
            = RECT { cellRect->left + inset, cellRect->top + inset, cellRect->right - inset, cellRect->bottom - inset };
        if (m_curStyle.m_nVAlign == 1)
            content.top += (content.bottom - content.top - cell.m_nContentHeight) / 2;
        else if (m_curStyle.m_nVAlign == 2)
            content.top = content.bottom - cell.m_nContentHeight;
    }

    const int end = int(text.size());
    int cellEnd = -1;
    int nested = -1;
    while (pos < end) {
        if (cellEnd < pos) {
            cellEnd = pos;
            SeekTag(text, cellEnd, QStringLiteral("/td"));
        }
        if (nested < pos) {
            nested = pos;
            SeekTag(text, nested, QStringLiteral("table"));
        }
        const int t = std::min(cellEnd, nested);
        SIZE piece { 0, 0 };
        if (pos < t) {
            piece = DrawMarkup(text.mid(pos, t - pos), &content, ownWidth);
            pos = t;
        } else if (nested < cellEnd) {
            int tableEnd = nested;
            SeekEnd(FindTableEnd, text, tableEnd);
            piece = DrawTable(text.mid(nested, tableEnd - nested), &content);
            pos = std::max(tableEnd, nested + 1);
        } else {
            break;
        }
        if (m_bMeasure) {
            cell.m_nContentWidth = std::max(cell.m_nContentWidth, int(piece.cx));
            cell.m_nContentHeight = Saturate(qint64(cell.m_nContentHeight) + piece.cy);
        }
        content.top = Saturate(qint64(content.top) + piece.cy);
    }
    if (m_bMeasure) {
        cell.m_nNeededWidth = Saturate(qint64(std::max(cell.m_nContentWidth, ownWidth)) + 2 * qint64(inset));
        cell.m_nNeededHeight = Saturate(qint64(std::max(cell.m_nContentHeight, ownHeight)) + 2 * qint64(inset));
    }
    m_curStyle.m_strTag = QStringLiteral("td");
    if (PushPopStyle(TRUE))
        ApplyFont();
}
