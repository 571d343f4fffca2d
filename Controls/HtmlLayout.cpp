// The two layout passes: the measure pass breaks the markup into lines and records each line's
// width, height, alignment and justification data; the draw pass walks the same text again and
// places every line from its record. Both passes make the same decisions because they see the
// same text with the same styles, so the draw pass only re-measures the pieces it draws.
#include "Controls/HtmlBlock.h"
#include "Controls/HtmlRenderer.h"

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
        result.cx = std::min(result.cx + 1, kHtmlMaxExtent);
        result.cy = std::min(result.cy + 1, kHtmlMaxExtent);
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
        m_imageBoxes.clear();
    }
    m_nImage = -1;
    m_nImagePixels = 0;
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
    m_nSpaceWidth = -1;

    const int end = int(m_strMarkup.size());
    int pos = 0;
    while (pos < end) {
        int tag = pos;
        const BOOL found = SeekTag(m_strMarkup, tag, QStringLiteral("table"));
        SIZE part { 0, 0 };
        auto add = [&](SIZE blockSize) {
            // Blocks stack: their sum is kept where a further sum cannot overflow.
            constexpr qint64 kLimit = INT_MAX / 4;
            size->cx = std::max(size->cx, blockSize.cx);
            size->cy = LONG(std::min<qint64>(qint64(size->cy) + blockSize.cy, kLimit));
            if (!m_bMeasure)
                block.top = LONG(std::clamp<qint64>(qint64(block.top) + blockSize.cy, -kLimit, kLimit));
        };
        if (tag > pos) {
            part = DrawMarkup(m_strMarkup.mid(pos, tag - pos), &block, m_nMaxWidth);
            add(part);
        }
        if (!found)
            break;
        // A table without its closing tag runs to the end of the text; either way the scan moves
        // past the opening tag, so no markup can hold it in place.
        int tableEnd = tag;
        SeekEnd(FindTableEnd, m_strMarkup, tableEnd);
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
    m_nSpaceWidth = -1;
}

SIZE CHtmlRenderer::DrawMarkup(const QString& markup, const RECT* rect, int wrapWidth)
{
    const QString text = QStringLiteral("<body>") + markup + QStringLiteral("</body>");
    m_rcBlock = *rect;
    SBlock block;
    block.left = rect->left;
    block.width = std::max(wrapWidth, 0);
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
            LayoutRun(block, run);
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
    // Justified lines are spread by the text layout itself (DrawWords), never by the context.
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
    block.extra = 0;
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
    const qint64 stop
        = offset >= 0 ? offset / m_nTabSize * m_nTabSize : -((-offset + m_nTabSize - 1) / m_nTabSize) * m_nTabSize;
    if (stop != offset) {
        offset = stop + m_nTabSize;
        --count;
    }
    offset += qint64(count) * m_nTabSize;
    *x = int(std::clamp<qint64>(left + offset, INT_MIN / 4, INT_MAX / 4));
}

void CHtmlRenderer::LayoutRun(SBlock& block, const QString& run)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= run.size(); ++i) {
        if (i < run.size() && run[i] != u'\n' && run[i] != u'\t')
            continue;
        if (i > start)
            LayoutText(block, ExpandEntities(QStringView(run).mid(start, i - start)));
        if (i < run.size())
            HandleTag(block, QString(run[i]), QString()); // the tag table holds both characters
        start = i + 1;
    }
}

BOOL CHtmlRenderer::SeekTag(const QString& text, int& pos, const QString& name)
{
    const int from = pos;
    const BOOL found = FindTag(text, pos, name);
    m_work.scanned += std::max(pos - from, 0);
    return found;
}

void CHtmlRenderer::SeekEnd(void (*find)(const QString&, int&), const QString& text, int& pos)
{
    const int from = pos;
    find(text, pos);
    m_work.scanned += std::max(pos - from, 0);
}

void CHtmlRenderer::LayoutText(SBlock& block, QString run)
{
    ApplyTextTransform(run, m_curStyle.m_nTextTransform);
    const int end = int(run.size());
    int offset = 0;
    while (offset < end) {
        const int textTop = AlignTextInLine(block.pen.y, m_tm.tmHeight);
        // Wrapping decisions look only at what the measure pass saw of the line, so both passes
        // break at the same places whatever the draw rectangle and the justification add.
        const int room = block.width - block.Used();
        QString piece;
        int pieceWidth = 0;
        if (m_nMaxWidth != 0 && block.width != 0) {
            // Widen a window of the run until it no longer fits; what fits lies inside it.
            QString window;
            int windowWidth = 0;
            // About twice what the room holds, so one or two measurements settle it.
            const int average = std::max<int>(m_tm.tmAveCharWidth, 1);
            const int first = std::clamp(2 * std::max(room, 0) / average + 8, 16, kFirstWindow);
            for (int length = first;; length *= 2) {
                window = run.mid(offset, length);
                windowWidth = TextWidth(window);
                if (offset + int(window.size()) >= end || windowWidth > room)
                    break;
            }
            if (offset + int(window.size()) >= end && windowWidth <= room) {
                piece = window;
                pieceWidth = windowWidth;
                offset = end;
            } else {
                const int before = int(window.size());
                pieceWidth = room;
                piece = SplitToFit(window, block.width, pieceWidth);
                if (piece.isEmpty() && block.Used() == 0) {
                    // Nothing fits even on a line that holds nothing yet (room narrowed by a
                    // tab): cut the word here, so every round moves forward.
                    window = run.mid(offset, before);
                    pieceWidth = std::max(room, 0);
                    piece = SplitToFit(window, pieceWidth, pieceWidth);
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
            if (block.remainingWidth == pieceWidth && piece.endsWith(u' ')) {
                // The line's last piece: its trailing spaces are neither drawn nor justified.
                qsizetype n = piece.size();
                while (n > 0 && piece[n - 1].isSpace())
                    --n;
                piece.truncate(n);
                const int trimmedWidth = TextWidth(piece);
                block.remainingWidth -= pieceWidth - trimmedWidth;
                pieceWidth = trimmedWidth;
                block.remainingSpaces = CountSpaces(piece);
            }
            const int height = m_tm.tmHeight;
            const bool justify = m_curLine.nAlign == 3 && m_curLine.bWrapped == 1;
            if (justify || m_curStyle.m_nAlign == 3) {
                advance = DrawWords(block, textTop, piece, pieceWidth, justify);
            } else {
                if (IsRowVisible(textTop, textTop + height))
                    TextOut(m_hDC, block.pen.x, textTop, piece);
                block.remainingWidth -= pieceWidth;
                block.remainingSpaces -= CountSpaces(piece);
            }
            if (m_curStyle.m_nLinkType != 0)
                AddLinkArea(block.pen.x, textTop, block.pen.x + advance, textTop + height);
            if (m_curStyle.m_bOverline && IsRowVisible(textTop, textTop + height)) {
                HPEN pen = CreatePen(PS_SOLID, m_curStyle.m_nWeight >= 700 ? 2 : 1, m_curStyle.m_clrText);
                HGDIOBJ old = SelectObject(m_hDC, pen);
                MoveToEx(m_hDC, block.pen.x, textTop, nullptr);
                LineTo(m_hDC, block.pen.x + advance, textTop);
                SelectObject(m_hDC, old);
                DeleteObject(pen);
            }
        }
        block.pen.x += advance;
        if (offset < end) {
            m_curLine.bWrapped = 1;
            NewLine(block, 1);
            StartLine(block);
        }
    }
}

int CHtmlRenderer::DrawWords(SBlock& block, int top, const QString& piece, int pieceWidth, bool justify)
{
    // The room left between the pen and the block's right edge, less what the rest of the line
    // measured, goes to the line's remaining spaces; the first spaces take the odd pixels. A
    // rectangle narrower than measured leaves nothing to spread.
    const int spaces = std::max(block.remainingSpaces, 0);
    const int total = justify ? std::max(0, int(m_rcBlock.right - block.pen.x) - block.remainingWidth) : 0;
    const int each = spaces > 0 ? total / spaces : 0;
    int odd = spaces > 0 ? total % spaces : 0;
    const bool visible = IsRowVisible(top, top + m_tm.tmHeight);
    if (m_nSpaceWidth < 0)
        TextWidth(u" ");
    int x = block.pen.x;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= piece.size(); ++i) {
        if (i < piece.size() && piece[i] != u' ')
            continue;
        const QStringView word = QStringView(piece).mid(start, i - start);
        if (!word.isEmpty()) {
            if (visible)
                TextOut(m_hDC, x, top, reinterpret_cast<LPCWSTR>(word.utf16()), int(word.size()));
            x += TextWidth(word);
        }
        if (i < piece.size()) {
            const int share = each + (odd > 0 ? 1 : 0);
            odd = std::max(odd - 1, 0);
            x += m_nSpaceWidth + share;
            block.extra += share;
            --block.remainingSpaces;
        }
        start = i + 1;
    }
    block.remainingWidth -= pieceWidth;
    return x - block.pen.x;
}
