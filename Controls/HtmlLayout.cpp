// The two layout passes: the measure pass breaks the markup into lines and records each line's
// width, height, alignment and justification data; the draw pass walks the same text again and
// places every line from its record. Both passes make the same decisions because they see the
// same text with the same styles, so the draw pass only re-measures the pieces it draws.
#include "Controls/HtmlRenderer.h"
#include "Controls/HtmlBlock.h"

#include <algorithm>

namespace {

int CountSpaces(QStringView text)
{
    return int(text.count(u' '));
}

// Characters a wrapped run looks at before it knows that the rest cannot fit: the line's room is
// measured on a window of the run, never on the whole (possibly megabytes long) run.
constexpr int kFirstWindow = 256;

void ApplyTextTransform(QString& run, int transform)
{
    switch (transform) {
    case 1:
        run = run.toUpper();
        break;
    case 2:
        run = run.toLower();
        break;
    case 3: {
        run = run.toLower();
        // Only ASCII letters start words, and only after a space or at the start of the run.
        for (qsizetype i = 0; i < run.size(); ++i) {
            const char16_t c = run[i].unicode();
            if (c >= u'a' && c <= u'z' && (i == 0 || run[i - 1] == u' '))
                run[i] = QChar(char16_t(c - u'a' + u'A'));
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

void CHtmlRenderer::MeasureHtml(HDC hdc, const QString& text, SIZE* size)
{
    SIZE result { 0, 0 };
    m_hDC = hdc;
    SetTextJustification(hdc, 0, 0);
    m_strMarkup = text;
    PreprocessText();
    if (!m_strMarkup.isEmpty()) {
        m_bMeasure = TRUE;
        m_arrTables.clear();
        DrawBlocks(&result, nullptr);
        if (result.cx == 0 && result.cy == 0)
            m_strMarkup.clear();
        if (m_nMaxWidth != 0 && m_nMaxWidth < result.cx)
            result.cx = m_nMaxWidth;
        result.cx += 1;
        result.cy += 1;
    }
    if (m_strMarkup.isEmpty())
        result = SIZE { 0, 0 };
    if (size)
        *size = result;
}

void CHtmlRenderer::RenderHtml(HDC hdc, const RECT* rect)
{
    if (m_strMarkup.isEmpty() || !rect)
        return;
    m_hDC = hdc;
    m_bMeasure = FALSE;
    SIZE size;
    DrawBlocks(&size, rect);
}

void CHtmlRenderer::RenderHtmlAt(HDC hdc, const QString& text, POINT point)
{
    SIZE size;
    MeasureHtml(hdc, text, &size);
    if (size.cx != 0 && size.cy != 0) {
        const RECT rect { point.x, point.y, point.x + size.cx, point.y + size.cy };
        RenderHtml(hdc, &rect);
    }
}

void CHtmlRenderer::DrawBlocks(SIZE* size, const RECT* rect)
{
    RECT block = rect ? *rect : RECT { 0, 0, m_nMaxWidth, 0 };
    *size = SIZE { 0, 0 };
    // Link areas are those of the last layout: every pass makes them again, so drawing twice
    // never leaves stale or doubled areas for the hit test.
    m_linkAreas.clear();
    if (m_bMeasure) {
        m_lines.clear();
        m_animations.clear();
    }
    m_nLine = 0;
    m_nTableIndex = -1;
    m_nLinkId = -1;
    m_nAnimation = -1;
    m_nTableDepth = 0;
    m_styleStack.clear();
    m_bVisibleKnown = !m_bMeasure && GetClipBox(m_hDC, &m_rcVisible) != 0 && !IsRectEmpty(&m_rcVisible);
    ResetStyle();
    ApplySelectorStyle(QStringLiteral("body"), m_curStyle);

    m_lf = LOGFONT();
    m_lf.lfCharSet = DEFAULT_CHARSET;
    CreateFontFromDescription();
    m_hOldFont = SelectObject(m_hDC, m_hFont);
    m_nOldBkMode = SetBkMode(m_hDC, m_curStyle.m_nBkMode);
    m_clrOldText = SetTextColor(m_hDC, m_curStyle.m_clrText);
    m_clrOldBk = SetBkColor(m_hDC, m_curStyle.m_clrBk);
    GetTextMetrics(m_hDC, &m_tm);

    const int end = int(m_strMarkup.size());
    int pos = 0;
    while (pos < end) {
        int tag = pos;
        const BOOL found = FindTag(m_strMarkup, tag, QStringLiteral("table"));
        SIZE part { 0, 0 };
        auto add = [&](SIZE blockSize) {
            size->cx = std::max(size->cx, blockSize.cx);
            size->cy += blockSize.cy;
            if (!m_bMeasure)
                block.top += blockSize.cy;
        };
        if (tag > pos) {
            part = DrawMarkup(m_strMarkup.mid(pos, tag - pos), &block);
            add(part);
        }
        if (!found)
            break;
        // A table without its closing tag runs to the end of the text; either way the scan moves
        // past the opening tag, so no markup can hold it in place.
        int tableEnd = tag;
        FindTableEnd(m_strMarkup, tableEnd);
        part = DrawTable(m_strMarkup.mid(tag, tableEnd - tag), &block);
        add(part);
        pos = std::max(tableEnd, tag + 1);
    }

    SetBkMode(m_hDC, m_nOldBkMode);
    SetBkColor(m_hDC, m_clrOldBk);
    SetTextColor(m_hDC, m_clrOldText);
    SelectObject(m_hDC, m_hOldFont);
    m_styleStack.clear();
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = nullptr;
}

SIZE CHtmlRenderer::DrawMarkup(const QString& markup, const RECT* rect)
{
    const QString text = QStringLiteral("<body>") + markup + QStringLiteral("</body>");
    m_rcBlock = *rect;
    SBlock block;
    block.left = rect->left;
    block.width = rect->right - rect->left;
    block.pen = POINT { rect->left, rect->top };
    block.firstLine = m_nLine;
    block.pen.x = BeginLine(rect->left);
    StartLine(block);

    const int end = int(text.size());
    int pos = 0;
    while (pos < end) {
        QString tag;
        const QString run = GetNextRun(text, tag, pos);
        if (!run.isEmpty())
            LayoutText(block, run);
        if (!tag.isEmpty()) {
            const QString attributes = SplitTagName(tag);
            HandleTag(block, tag, attributes);
        }
    }
    if (block.pen.x != block.lineStart) {
        m_curLine.bWrapped = 0;
        NewLine(block, 1);
    }
    SetTextJustification(m_hDC, 0, 0);

    SIZE size { block.maxWidth, block.pen.y - rect->top };
    const int lastLine = std::min<int>(m_nLine, int(m_lines.size()));
    for (int i = block.firstLine; i < lastLine; ++i) {
        const SHtmlLine& line = m_lines[i];
        if (line.nWidthPercent != 0)
            size.cx = std::max(size.cx, line.nWidth + MulDiv(line.nWidthPercent, size.cx, 100));
    }
    return size;
}

int CHtmlRenderer::BeginLine(int x)
{
    if (m_bMeasure) {
        m_curLine = SHtmlLine();
        m_curLine.nAlign = m_curStyle.m_nAlign;
        m_lines.push_back(m_curLine);
        return x;
    }
    const int width = m_rcBlock.right - m_rcBlock.left;
    if (m_nLine >= 0 && m_nLine < int(m_lines.size())) {
        m_curLine = m_lines[m_nLine];
    } else {
        // A line the measure pass did not make (a narrower rectangle than measured): it is laid
        // out from the left without justification rather than from another line's record.
        m_curLine = SHtmlLine();
    }
    if (m_curLine.nWidthPercent != 0)
        m_curLine.nWidth += MulDiv(width, m_curLine.nWidthPercent, 100);
    if (m_curLine.nAlign == 3 && m_curLine.bWrapped == 1)
        SetTextJustification(m_hDC, width - m_curLine.nWidth, m_curLine.nSpaces);
    else
        SetTextJustification(m_hDC, 0, 0);
    switch (m_curLine.nAlign) {
    case 1:
        return m_rcBlock.left + (width - m_curLine.nWidth) / 2;
    case 2:
        return m_rcBlock.left + width - m_curLine.nWidth;
    default:
        return x;
    }
}

int CHtmlRenderer::NewLine(SBlock& block, int count)
{
    count = std::clamp(count, 1, kHtmlMaxBreakCount);
    if (m_bMeasure) {
        if (m_curLine.nHeight == 0)
            m_curLine.nHeight = m_tm.tmHeight;
        block.maxWidth = std::max(block.maxWidth, int(block.pen.x - block.left));
        m_curLine.nWidth = block.pen.x - block.left;
        m_curLine.nHeight += m_curLine.nDescent;
        if (m_nLine >= 0 && m_nLine < int(m_lines.size()))
            m_lines[m_nLine] = m_curLine;
    }
    ++m_nLine;
    const qint64 y = qint64(block.pen.y) + qint64(count) * m_curLine.nHeight;
    block.pen.y = int(std::clamp<qint64>(y, INT_MIN / 4, INT_MAX / 4));
    block.pen.x = BeginLine(block.left);
    return block.pen.x;
}

void CHtmlRenderer::StartLine(SBlock& block)
{
    block.lineStart = block.pen.x;
    block.remainingWidth = m_bMeasure ? 0 : m_curLine.nWidth;
    block.remainingSpaces = m_bMeasure ? 0 : m_curLine.nSpaces;
}

int CHtmlRenderer::AlignTextInLine(int y, int height)
{
    const int ascent = m_tm.tmAscent;
    if (m_bMeasure) {
        m_curLine.nDescent = std::max(m_curLine.nDescent, height - ascent);
        m_curLine.nHeight = std::max<int>(m_curLine.nHeight, ascent);
        return y;
    }
    switch (m_curStyle.m_nVAlign) {
    case 1:
        return y + (m_curLine.nHeight - m_tm.tmHeight) / 2;
    case 2:
        return y + m_curLine.nHeight - ascent;
    case 3:
        return y + m_curLine.nHeight - m_curLine.nDescent - ascent;
    default:
        return y;
    }
}

int CHtmlRenderer::AlignObjectInLine(int y, int height)
{
    if (m_bMeasure) {
        m_curLine.nHeight = std::max(m_curLine.nHeight, height);
        return y;
    }
    switch (m_curStyle.m_nVAlign) {
    case 1:
        return y + (m_curLine.nHeight - height) / 2;
    case 2:
        return y + m_curLine.nHeight - height;
    case 3:
        return y + m_curLine.nHeight - m_curLine.nDescent - height;
    default:
        return y;
    }
}

void CHtmlRenderer::NextTabStop(int* x, int count)
{
    if (m_nTabSize <= 0)
        return;
    count = std::clamp(count, 1, kHtmlMaxBreakCount);
    const qint64 left = m_rcBlock.left;
    qint64 offset = *x - left;
    const qint64 stop = offset >= 0 ? offset / m_nTabSize * m_nTabSize : -((-offset + m_nTabSize - 1) / m_nTabSize) * m_nTabSize;
    if (stop != offset) {
        offset = stop + m_nTabSize;
        --count;
    }
    offset += qint64(count) * m_nTabSize;
    *x = int(std::clamp<qint64>(left + offset, INT_MIN / 4, INT_MAX / 4));
}

void CHtmlRenderer::LayoutText(SBlock& block, QString run)
{
    ApplyTextTransform(run, m_curStyle.m_nTextTransform);
    const int end = int(run.size());
    int offset = 0;
    while (offset < end) {
        SetTextJustification(m_hDC, 0, 0);
        const int textTop = AlignTextInLine(block.pen.y, m_tm.tmHeight);
        const int available = m_rcBlock.right - block.pen.x;
        QString piece;
        int pieceWidth = 0;
        if (m_nMaxWidth != 0 && block.width != 0) {
            // Widen a window of the run until it no longer fits; what fits lies inside it.
            QString window;
            int windowWidth = 0;
            // About twice what the room holds, so one or two measurements settle it.
            const int average = std::max<int>(m_tm.tmAveCharWidth, 1);
            const int first = std::clamp(2 * std::max(available, 0) / average + 8, 16, kFirstWindow);
            for (int length = first;; length *= 2) {
                window = run.mid(offset, length);
                windowWidth = TextWidth(window);
                if (offset + int(window.size()) >= end || windowWidth > available)
                    break;
            }
            if (offset + int(window.size()) >= end && windowWidth <= available) {
                piece = window;
                pieceWidth = windowWidth;
                offset = end;
            } else {
                const int before = int(window.size());
                pieceWidth = available;
                piece = SplitToFit(window, block.width, pieceWidth);
                if (piece.isEmpty() && block.pen.x == block.lineStart) {
                    // Nothing fits even on a line that holds nothing yet (a line placed off its
                    // left edge): cut the word here, so every round moves forward.
                    window = run.mid(offset, before);
                    pieceWidth = available;
                    piece = SplitToFit(window, available, pieceWidth);
                }
                offset += before - int(window.size());
                if (window.isEmpty())
                    while (offset < end && run[offset].isSpace())
                        ++offset;
            }
        } else {
            piece = offset == 0 ? run : run.mid(offset);
            pieceWidth = TextWidth(piece);
            offset = end;
        }

        int advance = pieceWidth;
        if (m_bMeasure) {
            m_curLine.nAlign = m_curStyle.m_nAlign;
            m_curLine.nSpaces += CountSpaces(piece);
        } else if (pieceWidth != 0) {
            int spaces = CountSpaces(piece);
            if (block.remainingWidth == pieceWidth && piece.endsWith(u' ')) {
                // The line's last piece: its trailing spaces are neither drawn nor justified.
                qsizetype n = piece.size();
                while (n > 0 && piece[n - 1].isSpace())
                    --n;
                piece.truncate(n);
                const int trimmedWidth = TextWidth(piece);
                block.remainingWidth -= pieceWidth - trimmedWidth;
                pieceWidth = trimmedWidth;
                spaces = CountSpaces(piece);
                block.remainingSpaces = spaces;
            }
            if (m_curLine.nAlign == 3 && m_curLine.bWrapped == 1)
                SetTextJustification(m_hDC, available - block.remainingWidth, block.remainingSpaces);
            block.remainingWidth -= pieceWidth;
            SIZE extent { 0, 0 };
            GetTextExtentPoint32(m_hDC, piece, &extent);
            if (m_curStyle.m_nLinkType != 0)
                AddLinkArea(block.pen.x, textTop, block.pen.x + extent.cx, textTop + extent.cy);
            const bool visible = IsRowVisible(textTop, textTop + extent.cy);
            if (visible)
                TextOut(m_hDC, block.pen.x, textTop, piece);
            block.remainingSpaces -= spaces;
            if (visible && m_curStyle.m_bOverline) {
                HPEN pen = CreatePen(PS_SOLID, m_curStyle.m_nWeight >= 700 ? 2 : 1, m_curStyle.m_clrText);
                HGDIOBJ old = SelectObject(m_hDC, pen);
                MoveToEx(m_hDC, block.pen.x, textTop, nullptr);
                LineTo(m_hDC, block.pen.x + extent.cx, textTop);
                SelectObject(m_hDC, old);
                DeleteObject(pen);
            }
            // A justified piece is wider than measured; the next piece starts after it.
            advance = extent.cx;
        }
        block.pen.x += advance;
        if (offset < end) {
            m_curLine.bWrapped = 1;
            NewLine(block, 1);
            StartLine(block);
        }
    }
}
