// The markup scanner, the table searches and the attribute readers, with the cases that decide how
// markup from pages and from the program is read; and a randomised run over malformed markup.
#include "tests/Controls/HtmlTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

using Pieces = std::vector<std::pair<QString, QString>>; // (run, tag) per call

Pieces ReadAll(const QString& text)
{
    Pieces pieces;
    int pos = 0;
    while (pos < text.size()) {
        QString tag;
        const QString run = CHtmlRenderer::GetNextRun(text, tag, pos);
        pieces.emplace_back(run, tag);
    }
    return pieces;
}

using Attributes = std::vector<std::pair<QString, QString>>;

Attributes AllAttributes(const QString& attributes)
{
    Attributes result;
    int pos = 0;
    QString name;
    while (pos < attributes.size()) {
        const QString value = CHtmlRenderer::GetNextAttribute(attributes, pos, name);
        if (name.isEmpty())
            break;
        result.emplace_back(name, value);
    }
    return result;
}

class HtmlTokenizerTest : public ::testing::Test {
protected:
    CTestHtmlRenderer renderer;
};

TEST_F(HtmlTokenizerTest, RunsAndTags)
{
    const struct {
        QString text;
        Pieces pieces;
    } cases[] = {
        { "a<b>c", { { "a", "b" }, { "c", "" } } },
        { "a<<b", { { "a<", "" }, { "b", "" } } }, // the escape of a literal "<"
        { "a<", { { "a<", "" } } }, // a final "<" stays text
        { "a<>b", { { "a", "" }, { ">b", "" } } }, // "<>" leaves its ">" as text
        { "a<b", { { "a", "" }, { "b", "" } } }, // a "<" without ">" is dropped
        { "<b><i>x</i></b>", { { "", "b" }, { "", "i" }, { "x", "/i" }, { "", "/b" } } },
        { "<<<b>", { { "<", "" }, { "", "b" } } },
        { "x<a msg=\"1>2\">y", { { "x", "a msg=\"1" }, { "2\">y", "" } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadAll(c.text), c.pieces) << c.text.toStdString();
}

TEST_F(HtmlTokenizerTest, TagNamesAndAttributes)
{
    const struct {
        QString tag;
        QString name;
        QString attributeText;
        Attributes attributes;
    } cases[] = {
        { "font color=red  size=3", "font", "color=red  size=3", { { "color", "red" }, { "size", "3" } } },
        { "a msg=\"1,2,two words\"", "a", "msg=\"1,2,two words\"", { { "msg", "1,2,two words" } } },
        { "td nowrap colspan=2", "td", "nowrap colspan=2", { { "nowrap", "" }, { "colspan", "2" } } },
        { "br/", "br/", "", {} },
        { "br=3", "br", "=3", { { "3", "" } } }, // a digit starts a name
        { "a href='x y' msg = z", "a", "href='x y' msg = z", { { "href", "x y" }, { "msg", "z" } } },
        { "img alt=\"open", "img", "alt=\"open", { { "alt", "open" } } }, // unclosed quote runs to the end
        { "b", "b", "", {} },
    };
    for (const auto& c : cases) {
        QString tag = c.tag;
        const QString attributes = CHtmlRenderer::SplitTagName(tag);
        EXPECT_EQ(tag, c.name) << c.tag.toStdString();
        EXPECT_EQ(attributes, c.attributeText) << c.tag.toStdString();
        EXPECT_EQ(AllAttributes(attributes), c.attributes) << c.tag.toStdString();
    }
}

TEST_F(HtmlTokenizerTest, ValuesOfKeyValueLists)
{
    const struct {
        QString text;
        int start;
        QString value;
        int end;
    } cases[] = {
        { "file: tile.bmp", 4, "tile.bmp", 14 },
        { "idres :105;x", 5, "105", 10 },
        { "file:\"a b.bmp\";", 4, "a b.bmp", 14 },
        { "file:\"open", 4, "", 5 }, // no closing quote
        { "file 12", 4, "", 5 }, // no separator
        { "file:;;", 4, "", 7 },
    };
    for (const auto& c : cases) {
        int pos = c.start;
        EXPECT_EQ(CHtmlRenderer::GetNextValue(c.text, pos, u':', QStringLiteral(";")), c.value) << c.text.toStdString();
        EXPECT_EQ(pos, c.end) << c.text.toStdString();
    }
}

TEST_F(HtmlTokenizerTest, FindTagSkipsEscapesAndMatchesPrefixes)
{
    const struct {
        QString text;
        QString name;
        int found; // -1: not found
    } cases[] = {
        { "<table>", "table", 0 },
        { "ab<table>", "table", 2 },
        { "a<<table><table>", "table", 9 }, // "<<table" is the escape plus text
        { "<<<table>", "table", 2 }, // a literal "<" and then a real tag
        { "<track>", "tr", 0 }, // names match as prefixes
        { "</tr>", "tr", -1 },
        { "x", "tr", -1 },
    };
    for (const auto& c : cases) {
        int pos = 0;
        const BOOL found = CHtmlRenderer::FindTag(c.text, pos, c.name);
        EXPECT_EQ(found, c.found >= 0) << c.text.toStdString();
        EXPECT_EQ(pos, c.found >= 0 ? c.found : c.text.size()) << c.text.toStdString();
    }
}

TEST_F(HtmlTokenizerTest, CharacterScanners)
{
    int pos = 0;
    EXPECT_TRUE(CHtmlRenderer::SkipToWordStart(" {-.5", pos));
    EXPECT_EQ(pos, 3);
    pos = 0;
    EXPECT_FALSE(CHtmlRenderer::SkipToWordStart(" ;{}", pos));
    EXPECT_EQ(pos, 4);
    pos = 0;
    EXPECT_EQ(CHtmlRenderer::FindOneOf("abc=d", pos, " ="), QChar(u'='));
    EXPECT_EQ(pos, 3);
    pos = 0;
    EXPECT_EQ(CHtmlRenderer::FindOneOf("abc", pos, " ="), QChar(0));
    EXPECT_EQ(pos, 3);
    pos = 0;
    EXPECT_EQ(CHtmlRenderer::SkipAllOf(" = x", pos, " ="), QChar(u'x'));
    EXPECT_EQ(pos, 3);
    pos = 0;
    EXPECT_TRUE(CHtmlRenderer::SkipSpacesTo("   :a", pos, u':'));
    EXPECT_EQ(pos, 4);
    pos = 0;
    EXPECT_FALSE(CHtmlRenderer::SkipSpacesTo("  a", pos, u':'));
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(CHtmlRenderer::CountChar("a b c ", u' '), 3);
}

TEST_F(HtmlTokenizerTest, TableSearchesFindTheMatchingClosingTag)
{
    enum Search { Table, Row, Cell };
    const QString nested = "<table><tr><td><table><tr><td>x</td></tr></table></td></tr></table>";
    const struct {
        Search search;
        QString text;
        int start;
        int end;
    } cases[] = {
        { Table, nested, 0, int(nested.lastIndexOf("</table")) }, { Table, nested, 15, int(nested.indexOf("</table")) },
        { Table, "<table><tr><td>x", 0, 16 }, // no closing tag: the end
        { Table, "<table><table></table>", 0, 22 }, // outer never closed
        { Table, "<table><</table></table>", 0, 16 }, // "<<" is a literal "<", then text
        { Table, "<table><<</table>", 0, 9 }, // a literal "<", then the closing tag
        { Row, nested, 7, int(nested.lastIndexOf("</tr")) }, // skips the nested table
        { Row, "<tr><td>a</td>", 0, 14 }, // no "</tr": the end
        { Row, "<tr><tr>a</tr>b</tr>", 0, 15 }, // nested rows count
        { Cell, nested, 11, int(nested.lastIndexOf("</td")) }, { Cell, "<td>a<td>b</td>", 0, 10 }, // cells do not nest
        { Cell, "<td>a", 0, 5 }, { Cell, "<td><table>x", 0, 12 }, // unclosed nested table
    };
    for (const auto& c : cases) {
        int pos = c.start;
        if (c.search == Table)
            CHtmlRenderer::FindTableEnd(c.text, pos);
        else if (c.search == Row)
            CHtmlRenderer::FindRowEnd(c.text, pos);
        else
            CHtmlRenderer::FindCellEnd(c.text, pos);
        EXPECT_EQ(pos, c.end) << int(c.search) << " " << c.text.toStdString();
    }
}

TEST_F(HtmlTokenizerTest, TableSize)
{
    const struct {
        QString text;
        int columns;
        int rows;
    } cases[] = {
        { "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", 2, 2 },
        { "<table><tr><td colspan=3>a</td></tr><tr><td>b</td><td>c</td></tr></table>", 3, 2 },
        // The rows of a table nested in a cell are not the outer table's.
        { "<table><tr><td><table><tr><td>x</td></tr><tr><td>y</td></tr></table></td></tr></table>", 1, 1 },
        { "<table></table>", 0, 0 },
        { "<table><tr></tr></table>", 0, 1 },
        { "<table><tr><td>a<td>b", 1, 1 }, // the first cell takes the rest
        { "<table><tr><td colspan=0>a</td><td colspan=-2>b</td></tr></table>", 3, 1 },
        // A hostile span does not make the grid unbounded.
        { "<table><tr><td colspan=2147483647>a</td><td colspan=0x7fffffff>b</td></tr></table>", kHtmlMaxTableColumns,
            1 },
    };
    for (const auto& c : cases) {
        const SIZE size = renderer.CountTableSize(c.text);
        EXPECT_EQ(size.cx, c.columns) << c.text.toStdString();
        EXPECT_EQ(size.cy, c.rows) << c.text.toStdString();
    }
}

TEST_F(HtmlTokenizerTest, TableAttributes)
{
    struct Expect {
        int borderWidth, borderStyle, fillEffect, margin, padding;
        SIZE span;
    };
    const struct {
        QString attributes;
        BOOL table;
        Expect expect;
    } cases[] = {
        { "border=3", FALSE, { 1, 1, -1, 2, 0, { 1, 1 } } }, // a cell's border is 1 wide
        { "border=3", TRUE, { 3, 1, -1, 2, 0, { 1, 1 } } },
        { "borderstyle=dashed border=3", TRUE, { 1, 2, -1, 2, 0, { 1, 1 } } },
        { "border=0 borderstyle=solid", TRUE, { 1, 1, -1, 2, 0, { 1, 1 } } },
        { "borderstyle=solid border=0", TRUE, { 0, 0, -1, 2, 0, { 1, 1 } } },
        { "bgcolor=red", FALSE, { 0, 0, 0, 2, 0, { 1, 1 } } },
        { "bgcolor=red bgeffect=metal", FALSE, { 0, 0, 15, 2, 0, { 1, 1 } } },
        { "bgeffect=Metal", FALSE, { 0, 0, 0, 2, 0, { 1, 1 } } }, // not a name: read as 0
        { "bgeffect=7", FALSE, { 0, 0, 7, 2, 0, { 1, 1 } } },
        { "cellpadding=4 cellspacing=5", TRUE, { 0, 0, -1, 4, 5, { 1, 1 } } },
        { "cellpadding=4 cellspacing=5", FALSE, { 0, 0, -1, 2, 0, { 1, 1 } } }, // table-only names
        { "colspan=2 rowspan=3 colspan=4", FALSE, { 0, 0, -1, 2, 0, { 4, 3 } } },
        { "", FALSE, { 0, 0, -1, 2, 0, { 1, 1 } } },
    };
    for (const auto& c : cases) {
        SHtmlStyle style;
        const SIZE span = renderer.ParseTableAttributes(c.attributes, style, c.table);
        const std::string label = c.attributes.toStdString() + (c.table ? " (table)" : " (cell)");
        EXPECT_EQ(style.m_nBorderWidth, c.expect.borderWidth) << label;
        EXPECT_EQ(style.m_nBorderStyle, c.expect.borderStyle) << label;
        EXPECT_EQ(style.m_nFillEffect, c.expect.fillEffect) << label;
        EXPECT_EQ(style.m_nMargin, c.expect.margin) << label;
        EXPECT_EQ(style.m_nPadding, c.expect.padding) << label;
        EXPECT_EQ(span.cx, c.expect.span.cx) << label;
        EXPECT_EQ(span.cy, c.expect.span.cy) << label;
    }

    SHtmlStyle style;
    renderer.ParseTableAttributes("bgcolor=#102030 bordercolor=blue bordercolordark=red align=center "
                                  "valign=bottom width=50 height=20 background=file:a.bmp",
        style, TRUE);
    EXPECT_EQ(style.m_clrBk, RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(style.m_clrBorderLight, RGB(0, 0, 255));
    EXPECT_EQ(style.m_clrBorderDark, RGB(255, 0, 0));
    EXPECT_EQ(style.m_nAlign, 1);
    EXPECT_EQ(style.m_nVAlign, 2);
    EXPECT_EQ(style.m_nWidth, 50);
    EXPECT_EQ(style.m_nHeight, 20);
    EXPECT_EQ(style.m_strBkImage, "file:a.bmp");
}

TEST_F(HtmlTokenizerTest, TableAttributesWithColoursOff)
{
    renderer.EnableColors(FALSE);
    renderer.SetDisabledColor(RGB(1, 2, 3));
    SHtmlStyle style;
    renderer.ParseTableAttributes("bgcolor=red bgeffect=3 bgmidcolor=blue bordercolor=green", style, TRUE);
    EXPECT_EQ(style.m_nFillEffect, -1);
    EXPECT_EQ(style.m_clrBk, RGB(255, 255, 255));
    EXPECT_EQ(style.m_clrBkMid, RGB(255, 255, 255));
    EXPECT_EQ(style.m_clrBorderLight, RGB(1, 2, 3));
    EXPECT_EQ(style.m_clrBorderDark, RGB(1, 2, 3));
}

TEST_F(HtmlTokenizerTest, ImageAttributes)
{
    SHtmlImage image;
    renderer.ParseImageAttributes("idres=128 width=150% height=16 handle=0x1A2B index=017 mask=0xFF00 "
                                  "style=gs hotstyle=l file=\"a b.bmp\" speed=3 cx=8 cy=9 iddll=5",
        image);
    EXPECT_EQ(image.nIdRes, 128);
    EXPECT_EQ(image.nWidth, 150);
    EXPECT_TRUE(image.bWidthPercent);
    EXPECT_EQ(image.nHeight, 16);
    EXPECT_FALSE(image.bHeightPercent);
    EXPECT_EQ(image.hHandle, 0x1A2B);
    EXPECT_EQ(image.nIndex, 15); // octal
    EXPECT_EQ(image.clrMask, COLORREF(0xFF00));
    EXPECT_TRUE(image.bUseMask);
    EXPECT_EQ(image.nStyle, IMAGE_GRAY | IMAGE_BLUR_SHADOW);
    EXPECT_EQ(image.nHotStyle, IMAGE_LIGHTEN);
    EXPECT_EQ(image.strFile, "a b.bmp");
    EXPECT_EQ(image.nSpeed, 3);
    EXPECT_EQ(image.cx, 8);
    EXPECT_EQ(image.cy, 9);
    EXPECT_EQ(image.nIdDll, 5);
}

TEST_F(HtmlTokenizerTest, MarkupNeverNamesALibrary)
{
    // "srcdll" would make the renderer load a library, that is run its code: it is ignored, and
    // so is a library name given to the owner-level resource calls.
    SHtmlImage image;
    const SHtmlImage before = image;
    renderer.ParseImageAttributes("srcdll=/tmp/evil.so", image);
    EXPECT_EQ(image.nIdDll, before.nIdDll);
    EXPECT_EQ(image.strFile, before.strFile);
    renderer.SetResourceDll(u"/tmp/evil.so", 0);
    EXPECT_EQ(renderer.LoadResStringFromDll(5, u"/tmp/evil.so"), QString());
    EXPECT_EQ(renderer.LoadResStringFromDll(5, nullptr), QString());
}

TEST_F(HtmlTokenizerTest, StyleLetters)
{
    const struct {
        QString letters;
        int weight;
        BOOL italic, underline, strikeOut, overline;
    } cases[] = {
        { "b", 700, TRUE, FALSE, FALSE, FALSE },
        { "-b", 400, TRUE, FALSE, FALSE, FALSE },
        { "-bi", 400, TRUE, FALSE, FALSE, FALSE }, // the flag is TRUE again after "b"
        { "-x-i", 700, FALSE, FALSE, FALSE, FALSE },
        { "us-o", 700, TRUE, TRUE, TRUE, FALSE },
        { "", 700, TRUE, FALSE, FALSE, FALSE },
    };
    for (const auto& c : cases) {
        renderer.m_curStyle = SHtmlStyle();
        renderer.m_curStyle.m_nWeight = 700;
        renderer.m_curStyle.m_bItalic = TRUE;
        renderer.ParseFontStyleLetters(c.letters);
        const std::string label = c.letters.toStdString();
        EXPECT_EQ(renderer.m_curStyle.m_nWeight, c.weight) << label;
        EXPECT_EQ(renderer.m_curStyle.m_bItalic, c.italic) << label;
        EXPECT_EQ(renderer.m_curStyle.m_bUnderline, c.underline) << label;
        EXPECT_EQ(renderer.m_curStyle.m_bStrikeOut, c.strikeOut) << label;
        EXPECT_EQ(renderer.m_curStyle.m_bOverline, c.overline) << label;
    }

    EXPECT_EQ(renderer.ParseImageStyleLetters("gs"), UINT(0x0201));
    EXPECT_EQ(renderer.ParseImageStyleLetters("dxl"), UINT(0x0006));
    EXPECT_EQ(renderer.ParseImageStyleLetters(""), UINT(0));
    renderer.SetShadow(4, 4, 50, FALSE, 7, 7);
    EXPECT_EQ(renderer.ParseImageStyleLetters("gs"), UINT(0x0101));
    renderer.SetShadow(0, 0, 50, TRUE, 7, 7);
    EXPECT_EQ(renderer.ParseImageStyleLetters("gs"), UINT(0x0001));
}

TEST_F(HtmlTokenizerTest, FillEffectsAndPercent)
{
    const struct {
        QString value;
        int effect;
    } cases[] = {
        { "transparent", -1 },
        { "solid", 0 },
        { "3vgradient", 6 },
        { "noise", 7 },
        { "metal", 15 },
        { "Metal", 0 },
        { "12", 12 },
        { "", 9 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(renderer.ParseFillEffect(c.value, 9), c.effect) << c.value.toStdString();
    EXPECT_TRUE(CHtmlRenderer::IsPercent("50%"));
    EXPECT_FALSE(CHtmlRenderer::IsPercent("50"));
    EXPECT_FALSE(CHtmlRenderer::IsPercent(""));
}

TEST_F(HtmlTokenizerTest, SplitToFit)
{
    CHtmlTestDc dc;
    renderer.m_hDC = dc.dc;
    const int line = 1000;
    const struct {
        QString text;
        int room;
        bool emptyLine;
        QString piece;
        QString rest;
    } cases[] = {
        { "hello world", dc.Width("hello w"), false, "hello", "world" },
        { "hello-world", dc.Width("hello-w"), false, "hello-", "world" },
        { "one two three", dc.Width("one two th"), false, "one two", "three" },
        { "abcdef", dc.Width("abc"), true, "abc", "def" },
        { "abcdef", dc.Width("abc"), false, "", "abcdef" }, // not on an empty line: nothing
        { "abcdef", 1, true, "a", "bcdef" }, // at least one character
        { "-abc", dc.Width("-a"), true, "-a", "bc" }, // a leading break never splits
    };
    for (const auto& c : cases) {
        QString text = c.text;
        int width = c.room;
        const QString piece = renderer.SplitToFit(text, c.emptyLine ? c.room : line, width);
        const std::string label = c.text.toStdString() + " in " + std::to_string(c.room);
        EXPECT_EQ(piece, c.piece) << label;
        EXPECT_EQ(text, c.rest) << label;
        EXPECT_EQ(width, dc.Width(c.piece)) << label;
    }
    renderer.m_hDC = nullptr;
}

// Tag searches over markup built to make a naive scanner quadratic: long runs of "<", rows and
// tables that never close, thousands of cells. Each search passes over the text a bounded number
// of times, so the whole test takes a moment (a quadratic scan would take minutes).
TEST_F(HtmlTokenizerTest, SearchesOverHostileMarkupEnd)
{
    // A run of "<" pairs into escapes from its first: the name follows a tag only after an odd run.
    const QString lessThans(1 << 20, u'<');
    int pos = 0;
    EXPECT_FALSE(CHtmlRenderer::FindTag(lessThans + "table", pos, "table"));
    pos = 0;
    EXPECT_TRUE(CHtmlRenderer::FindTag("<" + lessThans + "table", pos, "table"));
    EXPECT_EQ(pos, lessThans.size());

    // A row that never closes takes the rest of the text with it.
    EXPECT_EQ(renderer.CountTableSize("<table>" + QString("<tr>x").repeated(100000)).cy, 1);
    EXPECT_EQ(renderer.CountTableSize("<table>" + QString("<tr><td>x").repeated(50000)).cy, 1);
    const QString openTables = QString("<table><tr><td>").repeated(50000);
    pos = 0;
    CHtmlRenderer::FindTableEnd(openTables, pos);
    EXPECT_EQ(pos, openTables.size());
    const QString cells = "<table><tr>" + QString("<td>a</td>").repeated(100000) + "</tr></table>";
    EXPECT_EQ(renderer.CountTableSize(cells).cx, 100000 > kHtmlMaxTableColumns ? kHtmlMaxTableColumns : 100000);
    pos = 7;
    CHtmlRenderer::FindRowEnd(cells, pos);
    EXPECT_EQ(pos, cells.size() - 13);
    const QString closings = "<table>" + QString("</tr></td>").repeated(100000);
    pos = 0;
    CHtmlRenderer::FindTableEnd(closings, pos);
    EXPECT_EQ(pos, closings.size());
    EXPECT_EQ(renderer.CountTableSize(closings).cy, 0);
}

// The tag search agrees with a plain reading of the rule: the first "<name" at or after the
// position that is not the second half of an escape.
TEST_F(HtmlTokenizerTest, FindTagAgreesWithThePlainRule)
{
    auto plain = [](const QString& text, int from, const QString& name) {
        for (qsizetype i = text.indexOf(u'<' + name, from); i >= 0; i = text.indexOf(u'<' + name, i + 1)) {
            int before = 0;
            for (qsizetype j = i - 1; j >= 0 && text[j] == u'<'; --j)
                ++before;
            if (before % 2 == 0)
                return int(i);
        }
        return int(text.size());
    };
    std::mt19937 random(7);
    static const char* kPieces[] = { "<", "<<", "t", "r", "d", "/", "a", "table", "tr", "td", ">" };
    std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int n = 0; n < 30; ++n)
            text += QString::fromLatin1(kPieces[pick(random)]);
        for (const QString& name : { QString("tr"), QString("/tr"), QString("table"), QString("td") }) {
            for (int from = 0; from <= text.size(); from += 3) {
                int pos = from;
                CHtmlRenderer::FindTag(text, pos, name);
                ASSERT_EQ(pos, plain(text, from, name)) << text.toStdString() << " " << from;
            }
        }
    }
}

// Random markup never makes the scanner stall, run past the text or loop: every call moves
// forward, the table searches end between their start and the end, and the readers terminate.
TEST_F(HtmlTokenizerTest, RandomMarkupIsReadInBoundedSteps)
{
    static const char16_t* kPieces[] = {
        u"<",
        u"<<",
        u">",
        u"=",
        u"\"",
        u"'",
        u" ",
        u"a",
        u"b",
        u"/",
        u"table",
        u"tr",
        u"td",
        u"</table>",
        u"<tr>",
        u"<td",
        u"</td>",
        u"</tr>",
        u"&lt;",
        u"&amp;",
        u"colspan=",
        u"9",
        u"0x",
        u"%",
        u"\n",
        u"\t",
        u"font",
        u"{",
        u"}",
        u":",
        u";",
        u"-",
        u"\u00e9",
        u"\U0001F600",
    };
    std::mt19937 random(20261210);
    std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> length(0, 60);
    CHtmlTestDc dc;
    for (int round = 0; round < 3000; ++round) {
        QString text;
        for (int n = length(random); n > 0; --n)
            text += QString::fromUtf16(kPieces[pick(random)]);
        text = renderer.Prepared(text);
        const int end = int(text.size());

        int pos = 0;
        int calls = 0;
        while (pos < end) {
            const int before = pos;
            QString tag;
            CHtmlRenderer::GetNextRun(text, tag, pos);
            ASSERT_GT(pos, before) << text.toStdString();
            ASSERT_LE(pos, end);
            ++calls;
            QString name = tag;
            const QString attributes = CHtmlRenderer::SplitTagName(name);
            SHtmlImage image;
            renderer.ParseImageAttributes(attributes, image);
            SHtmlStyle style;
            renderer.ParseTableAttributes(attributes, style, TRUE);
        }
        ASSERT_LE(calls, end);

        for (int start = 0; start < end; start += 7) {
            int table = start, row = start, cell = start;
            CHtmlRenderer::FindTableEnd(text, table);
            CHtmlRenderer::FindRowEnd(text, row);
            CHtmlRenderer::FindCellEnd(text, cell);
            ASSERT_GE(table, start);
            ASSERT_LE(table, end);
            ASSERT_GE(row, start);
            ASSERT_LE(row, end);
            ASSERT_GE(cell, start);
            ASSERT_LE(cell, end);
        }
        const SIZE size = renderer.CountTableSize(text);
        ASSERT_LE(size.cx, kHtmlMaxTableColumns);
        ASSERT_LE(size.cy, end);

        renderer.SetStyleSheet(text);
        SHtmlStyle style;
        renderer.ParseCssProperties(text, style);

        renderer.m_hDC = dc.dc;
        QString rest = text;
        while (!rest.isEmpty()) {
            const qsizetype before = rest.size();
            int width = 40;
            renderer.SplitToFit(rest, 40, width);
            ASSERT_LT(rest.size(), before); // on an empty line something always goes
        }
        renderer.m_hDC = nullptr;
    }
}

} // namespace
