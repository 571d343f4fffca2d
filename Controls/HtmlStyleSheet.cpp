// The style sheet (selector to property text), the property parser that applies a rule to a
// style record, and the colour, length and keyword parsers shared with the attribute readers.
#include "Controls/HtmlRenderer.h"

#include "Controls/HtmlNumbers.h"

#include <algorithm>
#include <climits>
#include <iterator>

using taluvo::html::AtoI;
using taluvo::html::StrToUL;

namespace {

constexpr const char16_t* kDefaultRules[] = {
    u"body {font-size: 10pt; color:black; font-family:Verdana}",
    u"p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}",
    u"h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}",
    u"h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}",
    u"h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}",
    u"h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}",
    u"h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}",
    u"h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}",
    u"pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}",
    u"code {color:#990000; font-family:Arial}",
    u"a:link {text-decoration:none; color:blue}",
    u"a:hover {text-decoration:underline; color:blue}",
    u"sub {font-size:65%; vertical-align:bottom}",
    u"sup {font-size:65%; vertical-align:top}",
    u"big {font-size:125%}",
    u"small {font-size:75%}",
    u".cpp-comment {color:green; font-style:italic}",
};
static_assert(std::size(kDefaultRules) == 17);

struct Keyword {
    const char16_t* word;
    int value;
};

// An empty value counts as the first keyword of the list; an unknown word keeps `current`.
template <size_t N> int ParseKeyword(const QString& value, int current, const Keyword (&words)[N])
{
    if (value.isEmpty())
        return words[0].value;
    for (const Keyword& k : words) {
        if (value == QStringView(k.word))
            return k.value;
    }
    return current;
}

int ClampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, INT_MIN, INT_MAX));
}

} // namespace

void CHtmlRenderer::SetStyleSheet(const QString& text)
{
    if (text.isNull()) {
        LoadDefaultStyleSheet();
        return;
    }
    m_selectors.clear();
    m_strStyleSheet = text;
    const int end = int(text.size());
    int pos = 0;
    while (SkipToWordStart(text, pos)) {
        const int selectorStart = pos;
        if (!FindOneOf(text, pos, QStringLiteral(" {")).unicode())
            break;
        const QString selector = text.mid(selectorStart, pos - selectorStart);
        const qsizetype open = text.indexOf(u'{', pos);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u'}', open + 1);
        if (close < 0)
            break;
        if (close > open + 1)
            SetSelectorStyle(selector, text.mid(open + 1, close - open - 1));
        pos = std::min(int(close), end);
    }
}

void CHtmlRenderer::SetStyleSheet(LPCWSTR text)
{
    SetStyleSheet(TextOrResource(text));
}

void CHtmlRenderer::LoadDefaultStyleSheet()
{
    QString sheet;
    for (const char16_t* rule : kDefaultRules) {
        sheet += QStringView(rule);
        sheet += QStringLiteral("\r\n");
    }
    SetStyleSheet(sheet);
}

void CHtmlRenderer::LoadStyleSheetResource(UINT id, LPCWSTR library)
{
    SetStyleSheet(library ? LoadResStringFromDll(id, library) : LoadResString(id));
}

void CHtmlRenderer::SetSelectorStyle(const QString& selector, const QString& properties)
{
    m_selectors[selector.toLower()] = properties;
}

void CHtmlRenderer::SetSelectorStyle(LPCWSTR selector, LPCWSTR properties)
{
    SetSelectorStyle(TextOrResource(selector), TextOrResource(properties));
}

std::optional<QString> CHtmlRenderer::FindSelectorStyle(const QString& selector) const
{
    const auto it = m_selectors.find(selector.toLower());
    if (it == m_selectors.end())
        return std::nullopt;
    return it->second;
}

std::optional<QString> CHtmlRenderer::FindSelectorStyle(LPCWSTR selector) const
{
    return FindSelectorStyle(TextOrResource(selector));
}

void CHtmlRenderer::RemoveSelectorStyle(const QString& selector)
{
    m_selectors.erase(selector.toLower());
}

void CHtmlRenderer::RemoveSelectorStyle(LPCWSTR selector)
{
    RemoveSelectorStyle(TextOrResource(selector));
}

void CHtmlRenderer::ApplySelectorStyle(const QString& selector, SHtmlStyle& style)
{
    if (const std::optional<QString> properties = FindSelectorStyle(selector))
        ParseCssProperties(*properties, style);
}

void CHtmlRenderer::ParseCssProperties(const QString& properties, SHtmlStyle& style)
{
    // Names and values alike, so face and colour names match without regard to case.
    const QString text = properties.toLower();
    const int end = int(text.size());
    int pos = 0;
    while (SkipToWordStart(text, pos)) {
        const int nameStart = pos;
        if (!FindOneOf(text, pos, QStringLiteral(" :")).unicode())
            break;
        const QString name = text.mid(nameStart, pos - nameStart);
        QString value;
        if (SkipSpacesTo(text, pos, u':')) {
            SkipAllOf(text, pos, QStringLiteral(" ;"));
            if (pos < end && text[pos] == u'"') {
                const qsizetype close = text.indexOf(u'"', pos + 1);
                if (close < 0) {
                    pos = end; // an unterminated quote gives an empty value
                } else {
                    value = text.mid(pos + 1, close - pos - 1);
                    pos = int(close) + 1;
                }
            } else {
                const qsizetype semicolon = text.indexOf(u';', pos);
                const int valueEnd = semicolon < 0 ? end : int(semicolon);
                value = text.mid(pos, valueEnd - pos);
                pos = valueEnd;
            }
        }

        if (name == u"font-size") {
            style.m_nSize = ParseLength(value, style.m_nSize, TRUE);
        } else if (name == u"font-family") {
            if (!value.isEmpty())
                style.m_strFace = value;
        } else if (name == u"font-style") {
            style.m_bItalic = ParseFontStyle(value, style.m_bItalic);
        } else if (name == u"font-weight") {
            style.m_nWeight = ParseFontWeight(value);
        } else if (name == u"text-align") {
            style.m_nAlign = ParseTextAlign(value, style.m_nAlign);
        } else if (name == u"text-transform") {
            style.m_nTextTransform = ParseTextTransform(value, style.m_nTextTransform);
        } else if (name == u"color") {
            style.m_clrText = ParseColor(value, style.m_clrText);
        } else if (name == u"background-color") {
            if (value.isEmpty() || value == u"transparent" || !m_bUseColors) {
                style.m_nBkMode = 1;
            } else {
                style.m_nBkMode = 2;
                style.m_clrBk = ParseColor(value, style.m_clrBk);
            }
        } else if (name == u"text-decoration") {
            ParseTextDecoration(value, style);
        } else if (name == u"vertical-align") {
            style.m_nVAlign = ParseVerticalAlign(value, style.m_nVAlign);
        } else if (name == u"border-color") {
            style.m_clrBorderLight = ParseColor(value, style.m_clrBorderLight);
            style.m_clrBorderDark = style.m_clrBorderLight;
        } else if (name == u"border-width" || name == u"size") {
            style.m_nBorderWidth = ParseBorderWidth(value, style.m_nBorderWidth);
            if (style.m_nBorderWidth == 0)
                style.m_nBorderStyle = 0;
            else if (style.m_nBorderWidth > 0 && style.m_nBorderStyle == 0)
                style.m_nBorderStyle = 1;
        } else if (name == u"border-style") {
            style.m_nBorderStyle = ParseBorderStyle(value, style.m_nBorderStyle);
            if (style.m_nBorderStyle != 0 && style.m_nBorderWidth == 0)
                style.m_nBorderWidth = 1;
        } else if (name == u"margin") {
            style.m_nMargin = ParseLength(value, style.m_nMargin, FALSE);
        } else if (name == u"padding") {
            style.m_nPadding = ParseLength(value, style.m_nPadding, FALSE);
        }
    }
}

void CHtmlRenderer::ResetStyle()
{
    SHtmlStyle reset;
    reset.m_nWidth = m_curStyle.m_nWidth;
    reset.m_nHeight = m_curStyle.m_nHeight;
    m_curStyle = reset;
}

COLORREF CHtmlRenderer::ParseColor(const QString& value, COLORREF defaultColor) const
{
    // With colours off everything is drawn in the one fixed colour, numeric colours included.
    if (!m_bUseColors)
        return m_clrDisabled;
    if (value.isEmpty())
        return defaultColor;
    if (value[0] == u'#') {
        if (value.size() != 7)
            return defaultColor;
        // "#rrggbb" read as the number 0xbbggrr: a COLORREF.
        const QString reordered = value.mid(5, 2) + value.mid(3, 2) + value.mid(1, 2);
        return StrToUL(reordered, 16);
    }
    if (value[0].unicode() >= u'0' && value[0].unicode() <= u'9')
        return StrToUL(value, 0);
    return ColorByName(value, defaultColor);
}

int CHtmlRenderer::ParseLength(const QString& value, int defaultValue, BOOL htmlSize) const
{
    if (value.isEmpty())
        return defaultValue;
    if (value.back() == u'%')
        return MulDiv(defaultValue, AtoI(value.left(value.size() - 1)), 100);
    // A sign is read past and not applied: "+2" and "-2" both read as 2.
    QString text = value;
    if (text[0] == u'+' || text[0] == u'-')
        text.remove(0, 1);
    const qint64 n = AtoI(text);
    const QStringView unit = text.size() >= 2 ? QStringView(text).right(2) : QStringView();
    auto dpi = [this]() { return qint64(m_hDC ? GetDeviceCaps(m_hDC, LOGPIXELSY) : 0); };
    if (unit == u"px")
        return ClampToInt(n);
    if (unit == u"ex") {
        SIZE size;
        if (!m_hDC || !GetTextExtentPoint32(m_hDC, u"x", 1, &size))
            size.cy = 0;
        return ClampToInt(n * size.cy);
    }
    if (unit == u"em") {
        TEXTMETRIC tm;
        if (!m_hDC || !GetTextMetrics(m_hDC, &tm))
            tm.tmHeight = 0;
        return ClampToInt(n * tm.tmHeight);
    }
    if (unit == u"in")
        return ClampToInt(n * dpi());
    if (unit == u"cm")
        return ClampToInt(qint64(double(n * dpi()) / 2.54));
    if (unit == u"mm")
        return ClampToInt(qint64(double(n * dpi()) / 25.4));
    if (unit == u"pt")
        return ClampToInt(n * dpi() / 72);
    if (unit == u"pc")
        return ClampToInt(n * dpi() / 6);
    const int number = int(StrToUL(text, 0));
    if (htmlSize && number >= 1 && number <= 7) {
        static const int kHtmlSizes[] = { 8, 10, 12, 14, 18, 24, 36 };
        return kHtmlSizes[number - 1];
    }
    return number;
}

BOOL CHtmlRenderer::ParseFontStyle(const QString& value, BOOL current)
{
    static const Keyword kWords[] = { { u"normal", 0 }, { u"italic", 1 }, { u"oblique", 1 } };
    return ParseKeyword(value, current, kWords);
}

int CHtmlRenderer::ParseFontWeight(const QString& value)
{
    static const Keyword kWords[] = { { u"normal", 400 }, { u"bold", 700 }, { u"bolder", 900 }, { u"lighter", 100 } };
    // Any other value is its leading number, 0 without one.
    return ParseKeyword(value, AtoI(value), kWords);
}

int CHtmlRenderer::ParseTextAlign(const QString& value, int current)
{
    static const Keyword kWords[] = { { u"left", 0 }, { u"center", 1 }, { u"right", 2 } };
    return ParseKeyword(value, current, kWords);
}

int CHtmlRenderer::ParseVerticalAlign(const QString& value, int current)
{
    static const Keyword kWords[] = {
        { u"baseline", 3 },
        { u"middle", 1 },
        { u"vcenter", 1 },
        { u"top", 0 },
        { u"bottom", 2 },
    };
    return ParseKeyword(value, current, kWords);
}

int CHtmlRenderer::ParseTextTransform(const QString& value, int current)
{
    static const Keyword kWords[] = { { u"none", 0 }, { u"uppercase", 1 }, { u"lowercase", 2 }, { u"capitalize", 3 } };
    return ParseKeyword(value, current, kWords);
}

int CHtmlRenderer::ParseBorderStyle(const QString& value, int current)
{
    static const Keyword kWords[] = {
        { u"none", 0 },
        { u"solid", 1 },
        { u"dashed", 2 },
        { u"dotted", 3 },
        { u"double", 6 },
    };
    return ParseKeyword(value, current, kWords);
}

int CHtmlRenderer::ParseBorderWidth(const QString& value, int current) const
{
    if (value == u"thin")
        return MulDiv(75, current, 100);
    if (value == u"thick")
        return MulDiv(125, current, 100);
    if (value == u"medium")
        return current;
    return ParseLength(value, current, FALSE); // an empty value keeps the width
}

void CHtmlRenderer::ParseTextDecoration(const QString& value, SHtmlStyle& style)
{
    if (value.isEmpty()) {
        style.m_bUnderline = style.m_bStrikeOut = style.m_bOverline = FALSE;
        return;
    }
    int pos = 0;
    while (SkipToWordStart(value, pos)) {
        const int start = pos;
        FindOneOf(value, pos, QStringLiteral(" ,"));
        const QStringView word = QStringView(value).mid(start, pos - start);
        if (word == u"none")
            style.m_bUnderline = style.m_bStrikeOut = style.m_bOverline = FALSE;
        else if (word == u"underline")
            style.m_bUnderline = TRUE;
        else if (word == u"line-through")
            style.m_bStrikeOut = TRUE;
        else if (word == u"overline")
            style.m_bOverline = TRUE;
    }
}
