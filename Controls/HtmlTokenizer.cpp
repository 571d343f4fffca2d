// The markup scanner: text runs and tags, attributes, the table searches, the table and image
// attribute readers, the style letters and the split of a run that is too wide for its line.
// Positions only ever move forward and never beyond the end of the text, so no markup can make
// a caller loop.
#include "Controls/HtmlRenderer.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <vector>

namespace {

constexpr QChar kSpace = u' ';

bool IsNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'.';
}

int Length(const QString& text)
{
    return int(text.size());
}

// Index of the next occurrence at or after `from`, or the end of the text.
int FindFrom(const QString& text, QChar what, int from)
{
    const qsizetype found = text.indexOf(what, from);
    return found < 0 ? Length(text) : int(found);
}

// The "<" of the first tag at or after `from` whose text starts with one of `names` and which lies
// wholly before `limit`; `limit` when there is none. `which` receives the index of the name. A
// "<" opens a tag only when an even number of "<" stand right before it, since the run reader
// pairs a run of them from its first into escapes. Only the last "<" of a run can start a name,
// so each run is looked at once and a search costs the length it passes over.
int NextTag(const QString& text, int from, int limit, std::initializer_list<QStringView> names, int* which = nullptr)
{
    limit = std::clamp(limit, 0, Length(text));
    from = std::clamp(from, 0, limit);
    const QStringView view = QStringView(text).left(limit);
    while (from < limit) {
        const qsizetype lt = view.indexOf(u'<', from);
        if (lt < 0)
            break;
        qsizetype runStart = lt;
        while (runStart > 0 && text[runStart - 1] == u'<')
            --runStart;
        qsizetype runEnd = lt;
        while (runEnd < limit && text[runEnd] == u'<')
            ++runEnd;
        const qsizetype last = runEnd - 1;
        if ((last - runStart) % 2 == 0) {
            const QStringView after = view.mid(last + 1);
            int index = 0;
            for (const QStringView name : names) {
                if (after.startsWith(name)) {
                    if (which)
                        *which = index;
                    return int(last);
                }
                ++index;
            }
        }
        from = int(runEnd);
    }
    return limit;
}

QString TrimmedRight(const QString& text)
{
    qsizetype n = text.size();
    while (n > 0 && text[n - 1].isSpace())
        --n;
    return text.left(n);
}

QString TrimmedLeft(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    return text.mid(i);
}

struct FillEffectName {
    const char16_t* name;
    int effect;
};

constexpr FillEffectName kFillEffects[] = {
    { u"transparent", -1 },
    { u"solid", 0 },
    { u"hgradient", 1 },
    { u"vgradient", 2 },
    { u"hcgradient", 3 },
    { u"vcgradient", 4 },
    { u"3hgradient", 5 },
    { u"3vgradient", 6 },
    { u"noise", 7 },
    { u"diagshade", 8 },
    { u"hshade", 9 },
    { u"vshade", 10 },
    { u"hbump", 11 },
    { u"vbump", 12 },
    { u"softbump", 13 },
    { u"hardbump", 14 },
    { u"metal", 15 },
};

// The numeric attributes of the image tags.
struct ImageNumber {
    const char16_t* name;
    int SHtmlImage::*field;
};

constexpr ImageNumber kImageNumbers[] = {
    { u"index", &SHtmlImage::nIndex },
    { u"idres", &SHtmlImage::nIdRes },
    { u"iddll", &SHtmlImage::nIdDll },
    { u"handle", &SHtmlImage::hHandle },
    { u"cx", &SHtmlImage::cx },
    { u"cy", &SHtmlImage::cy },
    { u"speed", &SHtmlImage::nSpeed },
};

} // namespace

QString CHtmlRenderer::GetNextRun(const QString& text, QString& tag, int& pos)
{
    QString run;
    tag.clear();
    const int end = Length(text);
    pos = std::clamp(pos, 0, end);
    if (pos >= end)
        return run;
    const int lt = FindFrom(text, u'<', pos);
    run += QStringView(text).mid(pos, lt - pos);
    pos = lt;
    if (pos >= end)
        return run;
    if (pos + 1 < end && text[pos + 1] != u'<') {
        tag = ReadTag(text, pos);
        return run;
    }
    // The escape "<<", or a "<" that ends the text: one literal "<" ends the run.
    run += u'<';
    pos = std::min(pos + 2, end);
    return run;
}

QString CHtmlRenderer::ReadTag(const QString& text, int& pos)
{
    const int gt = FindFrom(text, u'>', pos);
    pos = std::min(pos + 1, Length(text));
    if (gt >= Length(text) || gt <= pos)
        return QString(); // "<>" leaves its ">" as text; a "<" without ">" is dropped
    QString tag = text.mid(pos, gt - pos);
    pos = gt + 1;
    return tag;
}

QString CHtmlRenderer::SplitTagName(QString& tag)
{
    int pos = 0;
    if (!FindOneOf(tag, pos, QStringLiteral(" =")).unicode())
        return QString();
    QString attributes = tag.mid(pos);
    int start = 0;
    while (start < attributes.size() && attributes[start] == kSpace)
        ++start;
    attributes.remove(0, start);
    tag.truncate(pos);
    return attributes;
}

QString CHtmlRenderer::GetNextAttribute(const QString& attributes, int& pos, QString& name)
{
    name.clear();
    const int end = Length(attributes);
    if (!SkipToWordStart(attributes, pos))
        return QString();
    const int nameStart = pos;
    FindOneOf(attributes, pos, QStringLiteral(" ="));
    name = attributes.mid(nameStart, pos - nameStart);
    while (pos < end && attributes[pos] == kSpace)
        ++pos;
    if (pos >= end || attributes[pos] != u'=')
        return QString();
    SkipAllOf(attributes, pos, QStringLiteral(" ="));
    if (pos >= end)
        return QString();
    QChar endChar = kSpace;
    if (attributes[pos] == u'"' || attributes[pos] == u'\'') {
        endChar = attributes[pos];
        ++pos;
    }
    const int valueEnd = FindFrom(attributes, endChar, pos);
    QString value = attributes.mid(pos, valueEnd - pos);
    pos = std::min(valueEnd + 1, end);
    return value;
}

QString CHtmlRenderer::GetNextValue(const QString& text, int& pos, QChar separator, const QString& delimiters)
{
    if (!SkipSpacesTo(text, pos, separator))
        return QString();
    if (!SkipAllOf(text, pos, delimiters + kSpace).unicode())
        return QString();
    if (text[pos] == u'"') {
        const qsizetype close = text.indexOf(u'"', pos + 1);
        if (close < 0)
            return QString();
        QString value = text.mid(pos + 1, close - pos - 1);
        pos = int(close) + 1;
        return value;
    }
    const int start = pos;
    FindOneOf(text, pos, delimiters);
    return text.mid(start, pos - start);
}

BOOL CHtmlRenderer::FindTag(const QString& text, int& pos, const QString& name)
{
    pos = NextTag(text, pos, Length(text), { name });
    return pos < Length(text);
}

BOOL CHtmlRenderer::SkipToWordStart(const QString& text, int& pos)
{
    const int end = Length(text);
    pos = std::clamp(pos, 0, end);
    while (pos < end && !IsNameChar(text[pos]))
        ++pos;
    return pos < end;
}

QChar CHtmlRenderer::FindOneOf(const QString& text, int& pos, const QString& set)
{
    const int end = Length(text);
    pos = std::clamp(pos, 0, end);
    for (; pos < end; ++pos) {
        if (set.contains(text[pos]))
            return text[pos];
    }
    return QChar(0);
}

QChar CHtmlRenderer::SkipAllOf(const QString& text, int& pos, const QString& set)
{
    const int end = Length(text);
    pos = std::clamp(pos, 0, end);
    for (; pos < end; ++pos) {
        if (!set.contains(text[pos]))
            return text[pos];
    }
    return QChar(0);
}

BOOL CHtmlRenderer::SkipSpacesTo(const QString& text, int& pos, QChar ch)
{
    const int end = Length(text);
    pos = std::clamp(pos, 0, end);
    while (pos < end && text[pos] == kSpace)
        ++pos;
    if (pos < end && text[pos] == ch) {
        ++pos;
        return TRUE;
    }
    return FALSE;
}

int CHtmlRenderer::CountChar(const QString& text, QChar ch)
{
    return int(text.count(ch));
}

SIZE CHtmlRenderer::CountTableSize(const QString& text)
{
    const int end = Length(text);
    int columns = 0;
    int rows = 0;
    int pos = 0;
    int rowEnd = -1; // kept while it lies ahead: the scan only moves forward
    // Rows past the bound are never laid out, so their cells need not be counted either.
    while (rows < kHtmlMaxTableRows && (pos = NextTag(text, pos, end, { u"tr" })) < end) {
        ++rows;
        qint64 rowColumns = 0;
        for (;;) {
            if (rowEnd < pos)
                rowEnd = NextTag(text, pos, end, { u"/tr" });
            const int cell = NextTag(text, pos, rowEnd, { u"td" });
            if (cell >= rowEnd) {
                pos = rowEnd;
                break;
            }
            QString tag;
            int tagPos = cell;
            GetNextRun(text, tag, tagPos);
            const QString attributes = SplitTagName(tag);
            SHtmlStyle scratch;
            const SIZE span = ParseTableAttributes(attributes, scratch, TRUE);
            rowColumns += std::clamp<int>(span.cx, 1, kHtmlMaxTableColumns);
            pos = cell;
            FindCellEnd(text, pos);
        }
        columns = int(std::max<qint64>(columns, std::min<qint64>(rowColumns, kHtmlMaxTableColumns)));
    }
    if (columns > 0)
        rows = std::min(rows, kHtmlMaxTableCells / columns);
    return SIZE { columns, rows };
}

void CHtmlRenderer::FindTableEnd(const QString& text, int& pos)
{
    const int end = Length(text);
    int openFrom = std::min(std::clamp(pos, 0, end) + 7, end);
    int closeFrom = openFrom;
    int close = -1;
    int depth = 1;
    for (;;) {
        if (close < closeFrom)
            close = NextTag(text, closeFrom, end, { u"/table" });
        if (close >= end) {
            pos = end; // no matching closing tag: the table runs to the end of the text
            return;
        }
        // Only openings before this closing change the depth it closes.
        const int open = NextTag(text, openFrom, close, { u"table" });
        if (open < close) {
            ++depth;
            openFrom = open + 7;
        } else {
            if (--depth == 0) {
                pos = close;
                return;
            }
            openFrom = close;
            closeFrom = close + 8;
        }
    }
}

void CHtmlRenderer::FindRowEnd(const QString& text, int& pos)
{
    const int end = Length(text);
    int at = std::min(std::clamp(pos, 0, end) + 4, end);
    int rowEnd = -1;
    int depth = 1;
    while (at < end) {
        if (rowEnd < at)
            rowEnd = NextTag(text, at, end, { u"/tr" });
        int which = 0;
        const int next = NextTag(text, at, rowEnd, { u"table", u"tr" }, &which);
        if (next < rowEnd && which == 0) {
            int tableEnd = next; // a nested table's rows are its own
            FindTableEnd(text, tableEnd);
            at = std::min(tableEnd + 7, end);
        } else if (next < rowEnd) {
            ++depth;
            at = next + 4;
        } else if (rowEnd < end) {
            if (--depth == 0) {
                pos = rowEnd;
                return;
            }
            at = rowEnd + 5;
        } else {
            break;
        }
    }
    pos = end;
}

void CHtmlRenderer::FindCellEnd(const QString& text, int& pos)
{
    const int end = Length(text);
    int at = std::min(std::clamp(pos, 0, end) + 4, end);
    int cellEnd = -1;
    while (at < end) {
        if (cellEnd < at)
            cellEnd = NextTag(text, at, end, { u"/td" });
        const int table = NextTag(text, at, cellEnd, { u"table" });
        if (table >= cellEnd) {
            pos = cellEnd; // cells do not nest: only tables are skipped
            return;
        }
        int tableEnd = table;
        FindTableEnd(text, tableEnd);
        at = std::min(tableEnd + 7, end);
    }
    pos = end;
}

SIZE CHtmlRenderer::ParseTableAttributes(const QString& attributes, SHtmlStyle& style, BOOL table)
{
    SIZE span { 1, 1 };
    if (attributes.isEmpty())
        return span;
    int pos = 0;
    QString name;
    while (pos < Length(attributes)) {
        const QString value = NextAttribute(attributes, pos, name);
        if (name.isEmpty())
            break;
        if (name == u"cellpadding" && table) {
            style.m_nMargin = ParseLength(value, style.m_nMargin, FALSE);
        } else if (name == u"cellspacing" && table) {
            style.m_nPadding = ParseLength(value, style.m_nPadding, FALSE);
        } else if (name == u"background" && table) {
            style.m_strBkImage = value;
        } else if (name == u"rowspan") {
            span.cy = ParseLength(value, span.cy, FALSE);
        } else if (name == u"colspan") {
            span.cx = ParseLength(value, span.cx, FALSE);
        } else if (name == u"border") {
            style.m_nBorderWidth = ParseLength(value, style.m_nBorderWidth, FALSE);
            if (style.m_nBorderWidth == 0)
                style.m_nBorderStyle = 0;
            else if (style.m_nBorderStyle == 0)
                style.m_nBorderStyle = 1;
        } else if (name == u"borderstyle") {
            style.m_nBorderStyle = ParseBorderStyle(value, style.m_nBorderStyle);
            if (style.m_nBorderStyle != 0 && style.m_nBorderWidth == 0)
                style.m_nBorderWidth = 1;
        } else if (name == u"bordercolor") {
            style.m_clrBorderLight = ParseColor(value, style.m_clrBorderLight);
            style.m_clrBorderDark = style.m_clrBorderLight;
        } else if (name == u"bordercolorlight") {
            style.m_clrBorderLight = ParseColor(value, style.m_clrBorderLight);
        } else if (name == u"bordercolordark") {
            style.m_clrBorderDark = ParseColor(value, style.m_clrBorderDark);
        } else if (name == u"bgcolor") {
            if (m_bUseColors) {
                style.m_clrBk = ParseColor(value, style.m_clrBk);
                if (style.m_nFillEffect == -1)
                    style.m_nFillEffect = 0;
            }
        } else if (name == u"bgmidcolor") {
            if (m_bUseColors)
                style.m_clrBkMid = ParseColor(value, style.m_clrBkMid);
        } else if (name == u"bgendcolor") {
            if (m_bUseColors)
                style.m_clrBkEnd = ParseColor(value, style.m_clrBkEnd);
        } else if (name == u"bgeffect") {
            if (m_bUseColors)
                style.m_nFillEffect = ParseFillEffect(value, style.m_nFillEffect);
        } else if (name == u"align") {
            style.m_nAlign = ParseTextAlign(value, style.m_nAlign);
        } else if (name == u"valign") {
            style.m_nVAlign = ParseVerticalAlign(value, style.m_nVAlign);
        } else if (name == u"width") {
            style.m_nWidth = ParseLength(value, style.m_nWidth, FALSE);
        } else if (name == u"height") {
            style.m_nHeight = ParseLength(value, style.m_nHeight, FALSE);
        }
    }
    if (style.m_nBorderStyle == 0 || style.m_nBorderWidth == 0) {
        style.m_nBorderStyle = 0;
        style.m_nBorderWidth = 0;
    } else if (style.m_nBorderStyle != 1) {
        style.m_nBorderWidth = 1;
    }
    if (!table && style.m_nBorderWidth != 0)
        style.m_nBorderWidth = 1;
    return span;
}

void CHtmlRenderer::ParseImageAttributes(const QString& attributes, SHtmlImage& image)
{
    int pos = 0;
    QString name;
    while (pos < Length(attributes)) {
        const QString value = NextAttribute(attributes, pos, name);
        if (name.isEmpty())
            break;
        const auto number = std::find_if(std::begin(kImageNumbers), std::end(kImageNumbers),
            [&](const ImageNumber& entry) { return name == QStringView(entry.name); });
        if (number != std::end(kImageNumbers))
            image.*number->field = ParseLength(value, image.*number->field, FALSE);
        else if (name == u"file")
            image.strFile = value;
        else if (name == u"mask") {
            image.clrMask = ParseColor(value, image.clrMask);
            image.bUseMask = TRUE;
        } else if (name == u"style") {
            image.nStyle = ParseImageStyleLetters(value);
            image.nHotStyle = image.nStyle;
        } else if (name == u"hotstyle") {
            image.nHotStyle = ParseImageStyleLetters(value);
        } else if (name == u"width") {
            image.bWidthPercent = IsPercent(value);
            image.nWidth = ParseLength(value, image.nWidth, FALSE);
        } else if (name == u"height") {
            image.bHeightPercent = IsPercent(value);
            image.nHeight = ParseLength(value, image.nHeight, FALSE);
        }
        // "srcdll" names a library to load resources from; markup never loads code, so it is
        // ignored with every other unknown attribute.
    }
}

void CHtmlRenderer::ParseFontStyleLetters(const QString& letters)
{
    BOOL flag = TRUE; // "-" switches the next letter off; every letter switches on again after it
    for (const QChar c : letters) {
        BOOL* target = nullptr;
        switch (c.unicode()) {
        case u'+':
            flag = TRUE;
            continue;
        case u'-':
            flag = FALSE;
            continue;
        case u'b':
            m_curStyle.m_nWeight = flag ? 700 : 400;
            flag = TRUE;
            continue;
        case u'i':
            target = &m_curStyle.m_bItalic;
            break;
        case u'u':
            target = &m_curStyle.m_bUnderline;
            break;
        case u's':
            target = &m_curStyle.m_bStrikeOut;
            break;
        case u'o':
            target = &m_curStyle.m_bOverline;
            break;
        default:
            continue;
        }
        *target = flag;
        flag = TRUE;
    }
}

UINT CHtmlRenderer::ParseImageStyleLetters(const QString& letters) const
{
    UINT flags = 0;
    for (const QChar c : letters) {
        switch (c.unicode()) {
        case u'g':
            flags |= IMAGE_GRAY;
            break;
        case u'd':
            flags |= IMAGE_DARKEN;
            break;
        case u'l':
            flags |= IMAGE_LIGHTEN;
            break;
        case u's':
            if (m_nImageShadowDx != 0 || m_nImageShadowDy != 0)
                flags |= m_bImageShadowSoft ? IMAGE_BLUR_SHADOW : IMAGE_SHADOW;
            break;
        default:
            break;
        }
    }
    return flags;
}

BOOL CHtmlRenderer::IsPercent(const QString& value)
{
    return !value.isEmpty() && value.back() == u'%';
}

int CHtmlRenderer::ParseFillEffect(const QString& value, int defaultEffect)
{
    if (value.isEmpty())
        return defaultEffect;
    for (const FillEffectName& entry : kFillEffects) {
        if (value == QStringView(entry.name))
            return entry.effect;
    }
    return ParseLength(value, defaultEffect, FALSE);
}

QString CHtmlRenderer::SplitToFit(QString& text, int lineWidth, int& width)
{
    static const QString kBreaks = QStringLiteral(" -.,!:;)}]?");
    const int room = width;
    // Widths grow with the length, so the last break position that fits (the first that does
    // not, less one) is found by halving rather than by measuring every break in turn.
    std::vector<int> breaks;
    for (int at = 1;; ++at) {
        if (!FindOneOf(text, at, kBreaks).unicode())
            break;
        breaks.push_back(at);
    }
    int lastFit = -1;
    int low = 0;
    int high = int(breaks.size()) - 1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        if (TextWidth(text, breaks[mid]) <= room) {
            lastFit = breaks[mid];
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    if (lastFit >= 0) {
        QString piece = TrimmedRight(text.left(lastFit + 1));
        text = TrimmedLeft(text.mid(lastFit + 1));
        width = TextWidth(piece);
        return piece;
    }
    if (room == lineWidth) {
        // An empty line takes the longest start that fits, at least one character. Widths grow
        // with the length, so the longest fitting start is found by halving.
        int low = 1;
        int high = Length(text);
        while (low < high) {
            const int mid = low + (high - low + 1) / 2;
            if (TextWidth(text, mid) <= room)
                low = mid;
            else
                high = mid - 1;
        }
        QString piece = text.left(low);
        text.remove(0, low);
        width = TextWidth(piece);
        return piece;
    }
    width = 0;
    return QString();
}
