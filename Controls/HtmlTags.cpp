// Tag handling inside a plain block: style tags save the style, change it and remake the font,
// their closing tags restore it; the other tags break lines, move to tab stops, or place a rule,
// an image (HtmlImageTag.cpp) or a resource string. Both passes run the same handling, so the measure pass sees
// exactly the objects the draw pass draws.
#include "Controls/HtmlBlock.h"
#include "Controls/HtmlRenderer.h"

#include <algorithm>
#include <cstring>

namespace {

// Count of a line-break or tab tag: "=3" breaks three times.
int RepeatCount(const CHtmlRenderer& renderer, const QString& attributes)
{
    if (attributes.isEmpty())
        return 1;
    return renderer.ParseLength(attributes.mid(1), 1, FALSE);
}

} // namespace

void CHtmlRenderer::HandleTag(SBlock& block, const QString& name, const QString& attributes)
{
    m_curStyle.m_strTag.clear();
    BOOL closing = FALSE;
    const int id = GetTagId(name, m_curStyle.m_strTag, closing);
    if (id == TAG_NONE)
        return;
    if (!m_curStyle.m_strTag.isEmpty()) {
        if (PushPopStyle(closing)) {
            if (!closing)
                ApplyStyleTag(id, closing ? name.mid(1) : name, attributes);
            ApplyFont();
        }
        return;
    }
    switch (id) {
    case TAG_BR:
        m_curLine.bWrapped = 0;
        NewLine(block, RepeatCount(*this, attributes));
        StartLine(block);
        break;
    case TAG_TAB: {
        // Stops are counted on what the measure pass saw of the line, so both passes agree.
        int x = m_rcBlock.left + block.Used();
        NextTabStop(&x, RepeatCount(*this, attributes));
        block.pen.x = block.lineStart + block.extra + (x - m_rcBlock.left);
        break;
    }
    case TAG_HR:
        PlaceRule(block, attributes);
        break;
    case TAG_BMP:
    case TAG_ICON:
    case TAG_ILST:
        PlaceImage(block, id, attributes);
        break;
    case TAG_STRING:
        PlaceString(block, attributes);
        break;
    default:
        break;
    }
}

void CHtmlRenderer::ApplyStyleTag(int id, const QString& name, const QString& attributes)
{
    SHtmlStyle& style = m_curStyle;
    auto forEachAttribute = [&](auto&& action) {
        int pos = 0;
        QString attribute;
        while (pos < int(attributes.size())) {
            const int before = pos;
            const QString value = NextAttribute(attributes, pos, attribute);
            if (!attribute.isEmpty())
                action(attribute, value);
            if (pos <= before)
                break;
        }
    };
    switch (id) {
    case TAG_BOLD:
        style.m_nWeight = std::min(style.m_nWeight * 2, 900);
        break;
    case TAG_ITALIC:
        style.m_bItalic = !style.m_bItalic;
        break;
    case TAG_UNDERLINE:
        style.m_bUnderline = !style.m_bUnderline;
        break;
    case TAG_STRIKEOUT:
        style.m_bStrikeOut = !style.m_bStrikeOut;
        break;
    case TAG_FONT:
        forEachAttribute([&](const QString& attribute, const QString& value) {
            if (attribute == u"face") {
                if (!value.isEmpty())
                    style.m_strFace = value;
            } else if (attribute == u"size") {
                style.m_nSize = ParseLength(value, style.m_nSize, TRUE);
            } else if (attribute == u"color") {
                style.m_clrText = m_bUseColors ? ParseColor(value, style.m_clrText) : ColorByName(QString(), 0);
            } else if (attribute == u"style") {
                ParseFontStyleLetters(value);
            } else if (attribute == u"weight") {
                style.m_nWeight = ParseFontWeight(value);
            } else if (attribute == u"bkgnd") {
                if (value == u"transparent" || value.isEmpty() || !m_bUseColors) {
                    style.m_nBkMode = 1;
                } else {
                    style.m_nBkMode = 2;
                    style.m_clrBk = ParseColor(value, style.m_clrBk);
                }
            }
        });
        break;
    case TAG_LEFT:
    case TAG_CENTER:
    case TAG_RIGHT:
    case TAG_JUSTIFY:
        style.m_nAlign = id - TAG_LEFT;
        break;
    case TAG_BASELINE:
        style.m_nVAlign = 3;
        break;
    case TAG_TOP:
        style.m_nVAlign = 0;
        break;
    case TAG_VCENTER:
        style.m_nVAlign = 1;
        break;
    case TAG_BOTTOM:
        style.m_nVAlign = 2;
        break;
    case TAG_STYLE:
        ApplySelectorStyle(name, style);
        break;
    case TAG_SPAN:
        forEachAttribute([&](const QString& attribute, const QString& value) {
            if (attribute == u"class")
                ApplySelectorStyle(QStringLiteral(".") + value, m_curStyle);
        });
        break;
    case TAG_LINK:
        style.m_nLinkType = 2;
        style.m_strLink.clear();
        forEachAttribute([&](const QString& attribute, const QString& value) {
            if (attribute == u"href") {
                style.m_nLinkType = 1;
                style.m_strLink = value;
            } else if (attribute == u"msg") {
                style.m_nLinkType = 2;
                style.m_strLink = value;
            }
        });
        ++m_nLinkId;
        ApplySelectorStyle(m_nLinkId == m_nHoverLink ? QStringLiteral("a:hover") : QStringLiteral("a:link"), style);
        break;
    default:
        break;
    }
}

BOOL CHtmlRenderer::PushPopStyle(BOOL closing)
{
    BOOL done = FALSE;
    if (!closing) {
        m_styleStack.push_back(m_curStyle);
        done = TRUE;
    } else if (!m_styleStack.empty() && m_styleStack.back().m_strTag == m_curStyle.m_strTag) {
        m_curStyle = std::move(m_styleStack.back());
        m_styleStack.pop_back();
        done = TRUE;
    }
    m_curStyle.m_strTag.clear();
    return done;
}

void CHtmlRenderer::CreateFontFromDescription()
{
    DescribeFont();
    m_hFont = CreateFontIndirect(&m_lf);
}

void CHtmlRenderer::DescribeFont()
{
    m_lf.lfHeight = std::clamp(m_curStyle.m_nSize, -kHtmlMaxFontSize, kHtmlMaxFontSize);
    m_lf.lfWeight = std::clamp(m_curStyle.m_nWeight, 0, 1000);
    m_lf.lfItalic = m_curStyle.m_bItalic ? 1 : 0;
    m_lf.lfUnderline = m_curStyle.m_bUnderline ? 1 : 0;
    m_lf.lfStrikeOut = m_curStyle.m_bStrikeOut ? 1 : 0;
    // The description holds 31 characters and its terminator: a longer face is cut there (never
    // inside a surrogate pair), which names no installed face and so falls back to the default.
    qsizetype length = std::min<qsizetype>(m_curStyle.m_strFace.size(), LF_FACESIZE - 1);
    if (length > 0 && length < m_curStyle.m_strFace.size() && m_curStyle.m_strFace[length - 1].isHighSurrogate())
        --length;
    std::fill(std::begin(m_lf.lfFaceName), std::end(m_lf.lfFaceName), WCHAR(0));
    std::copy_n(m_curStyle.m_strFace.utf16(), length, m_lf.lfFaceName);
}

void CHtmlRenderer::ApplyFont()
{
    // Most style changes (table, row and cell tags, links, closing tags) leave the font as it
    // is; the font in the context is then kept instead of being made again.
    const LOGFONT previous = m_lf;
    DescribeFont();
    if (m_hFont && std::memcmp(&previous, &m_lf, sizeof(LOGFONT)) == 0) {
        SetBkMode(m_hDC, m_curStyle.m_nBkMode);
        SetTextColor(m_hDC, m_curStyle.m_clrText);
        SetBkColor(m_hDC, m_curStyle.m_clrBk);
        return;
    }
    SelectObject(m_hDC, m_hOldFont);
    if (m_hFont)
        DeleteObject(m_hFont);
    CreateFontFromDescription();
    SelectObject(m_hDC, m_hFont);
    GetTextMetrics(m_hDC, &m_tm);
    m_nSpaceWidth = -1;
    SetBkMode(m_hDC, m_curStyle.m_nBkMode);
    SetTextColor(m_hDC, m_curStyle.m_clrText);
    SetBkColor(m_hDC, m_curStyle.m_clrBk);
}

BOOL CHtmlRenderer::ImageHasShadow(const SHtmlImage& image)
{
    const UINT shadow = IMAGE_SHADOW | IMAGE_BLUR_SHADOW;
    return (image.nStyle & shadow) || (image.nHotStyle & shadow);
}

void CHtmlRenderer::FitObject(SBlock& block, int width)
{
    const int room = block.width - block.Used();
    if (m_nMaxWidth != 0 && block.width != 0 && width > room && block.Used() != 0) {
        m_curLine.bWrapped = 1;
        NewLine(block, 1);
        StartLine(block);
    }
}

void CHtmlRenderer::PlaceRule(SBlock& block, const QString& attributes)
{
    SHtmlStyle rule = m_curStyle;
    rule.m_nBorderWidth = 1;
    ApplySelectorStyle(QStringLiteral("hr"), rule);
    int width = 100;
    BOOL percent = TRUE;
    int pos = 0;
    QString name;
    while (pos < int(attributes.size())) {
        const int before = pos;
        const QString value = NextAttribute(attributes, pos, name);
        if (name == u"width") {
            percent = IsPercent(value);
            width = ParseLength(value, 100, FALSE);
        } else if (name == u"size") {
            rule.m_nBorderWidth = ParseLength(value, rule.m_nBorderWidth, FALSE);
        } else if (name == u"color") {
            rule.m_clrText = m_bUseColors ? ParseColor(value, rule.m_clrText) : ColorByName(QString(), 0);
        }
        if (pos <= before)
            break;
    }
    const int thickness = std::clamp(rule.m_nBorderWidth, 0, kHtmlMaxRuleThickness);
    width = std::clamp(width, 0, percent ? 100 : kHtmlMaxImageSide * 4);
    // A share of a wrapping block is a fixed width, the same in both passes; without one the
    // measure pass counts 1 pixel and widens the block by the share, which the draw pass paints.
    int advance = width;
    int drawnWidth = width;
    if (percent && block.width != 0) {
        advance = drawnWidth = MulDiv(block.width, width, 100);
        FitObject(block, advance);
    } else if (percent && m_bMeasure) {
        advance = 1;
        m_curLine.nWidthPercent += width;
    } else if (percent) {
        // Nothing wraps in such a block, so the wider draw cannot break a line differently.
        advance = drawnWidth = MulDiv(m_rcBlock.right - m_rcBlock.left, width, 100);
    } else {
        FitObject(block, advance);
    }
    if (m_bMeasure) {
        m_curLine.nHeight = std::max(m_curLine.nHeight, thickness + 8);
        m_curLine.nAlign = m_curStyle.m_nAlign;
    } else {
        block.remainingWidth -= advance;
        if (thickness > 0 && drawnWidth > 0) {
            const int y = block.pen.y + m_curLine.nHeight / 2;
            m_drawManager.DrawLine(m_hDC, block.pen.x, y, block.pen.x + drawnWidth, y, rule.m_clrText, 1, thickness);
        }
    }
    block.pen.x += advance;
}

void CHtmlRenderer::PlaceString(SBlock& block, const QString& attributes)
{
    int idRes = 0;
    int idDll = 0;
    int pos = 0;
    QString name;
    while (pos < int(attributes.size())) {
        const int before = pos;
        const QString value = NextAttribute(attributes, pos, name);
        if (name == u"idres")
            idRes = ParseLength(value, 0, FALSE);
        else if (name == u"iddll")
            idDll = ParseLength(value, 0, FALSE);
        // "srcdll" would name a library to load; markup never makes the program load code.
        if (pos <= before)
            break;
    }
    QString text;
    if (idRes != 0)
        text = LoadResString(UINT(idRes));
    else if (idDll != 0)
        text = LoadResStringFromDll(UINT(idDll), nullptr);
    if (text.isEmpty())
        return;
    SIZE extent { 0, 0 };
    GetTextExtentPoint32(m_hDC, text, &extent);
    if (m_bMeasure)
        m_curLine.nAlign = m_curStyle.m_nAlign;
    const int top = AlignTextInLine(block.pen.y, extent.cy);
    if (!m_bMeasure) {
        AddLinkArea(block.pen.x, top, block.pen.x + extent.cx, top + extent.cy);
        TextOut(m_hDC, block.pen.x, top, text);
    }
    block.pen.x += extent.cx;
}
