// The style sheet: how sheet texts become rules, how property lists change a style record, the
// value parsers with their units at 96 dots per inch, and the record each default rule gives.
#include "tests/Controls/HtmlTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

class HtmlStyleSheetTest : public ::testing::Test {
protected:
    void SetUp() override { renderer.m_hDC = dc.dc; }
    void TearDown() override { renderer.m_hDC = nullptr; }

    CHtmlTestDc dc;
    CTestHtmlRenderer renderer;
};

TEST_F(HtmlStyleSheetTest, SheetTextBecomesRules)
{
    using Rules = std::map<QString, QString>;
    const struct {
        QString sheet;
        Rules rules;
    } cases[] = {
        { "h1, h2 {color:red}", { { "h1,", "color:red" } } }, // no selector lists
        { "/* x */ body {color:red}", { { "x", "color:red" } } }, // no comments
        { "a {}", {} },
        { "a {color:red", {} },
        { "b {color:red}\r\nb {font-size:20px}", { { "b", "font-size:20px" } } }, // replaced whole
        { "A:Hover {Color: Red}", { { "a:hover", "Color: Red" } } }, // selector lower-cased, text kept
        { ".cpp-comment xx {x}", { { ".cpp-comment", "x" } } },
        { "p {a} q", { { "p", "a" } } },
        { "", {} },
    };
    for (const auto& c : cases) {
        renderer.SetStyleSheet(c.sheet);
        EXPECT_EQ(Rules(renderer.m_selectors.begin(), renderer.m_selectors.end()), c.rules) << c.sheet.toStdString();
        EXPECT_EQ(renderer.GetStyleSheet(), c.sheet);
    }

    renderer.SetStyleSheet(QString()); // null: the default sheet again
    EXPECT_EQ(renderer.m_selectors.size(), 17u);
    EXPECT_TRUE(renderer.GetStyleSheet().startsWith("body {font-size: 10pt; color:black; font-family:Verdana}\r\n"));
    EXPECT_TRUE(renderer.GetStyleSheet().endsWith(".cpp-comment {color:green; font-style:italic}\r\n"));
    renderer.SetStyleSheet(static_cast<LPCWSTR>(nullptr));
    EXPECT_EQ(renderer.m_selectors.size(), 17u);
}

TEST_F(HtmlStyleSheetTest, SingleRulesAreEditedWithoutTouchingTheText)
{
    const QString text = renderer.GetStyleSheet();
    renderer.SetSelectorStyle(QStringLiteral("TD"), QStringLiteral("color:red"));
    EXPECT_EQ(renderer.FindSelectorStyle(QStringLiteral("td")), QString("color:red"));
    renderer.SetSelectorStyle(QStringLiteral("td"), QStringLiteral("color:blue"));
    EXPECT_EQ(renderer.FindSelectorStyle(QStringLiteral("Td")), QString("color:blue"));
    renderer.RemoveSelectorStyle(QStringLiteral("tD"));
    EXPECT_FALSE(renderer.FindSelectorStyle(QStringLiteral("td")).has_value());
    EXPECT_EQ(renderer.GetStyleSheet(), text);

    SHtmlStyle style;
    const SHtmlStyle before = style;
    renderer.ApplySelectorStyle(QStringLiteral("nothing"), style);
    EXPECT_EQ(style, before);
}

TEST_F(HtmlStyleSheetTest, PropertiesChangeTheStyle)
{
    const TEXTMETRIC tm = dc.Metrics();
    SIZE x;
    GetTextExtentPoint32(dc.dc, u"x", 1, &x);
    using Edit = std::function<void(SHtmlStyle&)>;
    const Edit none = [](SHtmlStyle&) {};
    const struct {
        QString properties;
        Edit start; // from a 13-pixel style
        Edit expect; // what the properties change
    } cases[] = {
        { "color: Red", none, [](SHtmlStyle& s) { s.m_clrText = RGB(255, 0, 0); } },
        { "COLOR:RED", none, [](SHtmlStyle& s) { s.m_clrText = RGB(255, 0, 0); } },
        { "color:#ff9900", none, [](SHtmlStyle& s) { s.m_clrText = RGB(255, 153, 0); } },
        { "color:#f90", none, none },
        { "color:0x0000ff", none, [](SHtmlStyle& s) { s.m_clrText = RGB(255, 0, 0); } },
        { "color:255", none, [](SHtmlStyle& s) { s.m_clrText = RGB(255, 0, 0); } },
        { "color:lightgray", none, none },
        { "color red", none, none }, // no colon: an empty value, and then a property "red"
        { "font-family: \"Courier New\"; color:blue", none,
            [](SHtmlStyle& s) {
                s.m_strFace = "courier new";
                s.m_clrText = RGB(0, 0, 255);
            } },
        { "font-family: \"Courier New; color:blue", none, none }, // unterminated quote
        { "font-family:", none, none },
        { "font-size:65%", none, [](SHtmlStyle& s) { s.m_nSize = 8; } },
        { "font-size:3", none, [](SHtmlStyle& s) { s.m_nSize = 12; } }, // HTML size 3
        { "font-size:+2", none, [](SHtmlStyle& s) { s.m_nSize = 10; } }, // the sign is read past
        { "font-size:10pt", none, [](SHtmlStyle& s) { s.m_nSize = 13; } },
        { "font-size:14pt", none, [](SHtmlStyle& s) { s.m_nSize = 18; } },
        { "font-size:9pt", none, [](SHtmlStyle& s) { s.m_nSize = 12; } },
        { "font-size:1.5em", none, [&](SHtmlStyle& s) { s.m_nSize = tm.tmHeight; } },
        { "font-size:2ex", none, [&](SHtmlStyle& s) { s.m_nSize = 2 * x.cy; } },
        { "font-size:1in", none, [](SHtmlStyle& s) { s.m_nSize = 96; } },
        { "font-size:2cm", none, [](SHtmlStyle& s) { s.m_nSize = 75; } },
        { "font-size:10mm", none, [](SHtmlStyle& s) { s.m_nSize = 37; } },
        { "font-size:1pc", none, [](SHtmlStyle& s) { s.m_nSize = 16; } },
        { "font-size:20px", none, [](SHtmlStyle& s) { s.m_nSize = 20; } },
        { "font-size:0x10", none, [](SHtmlStyle& s) { s.m_nSize = 16; } },
        { "margin:3", none, [](SHtmlStyle& s) { s.m_nMargin = 3; } }, // no HTML sizes here
        { "padding:4px", none, [](SHtmlStyle& s) { s.m_nPadding = 4; } },
        { "font-weight:bolder", none, [](SHtmlStyle& s) { s.m_nWeight = 900; } },
        { "font-weight:600", none, [](SHtmlStyle& s) { s.m_nWeight = 600; } },
        { "font-weight:heavy", none, [](SHtmlStyle& s) { s.m_nWeight = 0; } },
        { "font-weight:", [](SHtmlStyle& s) { s.m_nWeight = 700; }, [](SHtmlStyle& s) { s.m_nWeight = 400; } },
        { "font-style:oblique", none, [](SHtmlStyle& s) { s.m_bItalic = TRUE; } },
        { "text-align:justify", [](SHtmlStyle& s) { s.m_nAlign = 2; }, none },
        { "text-align:center", none, [](SHtmlStyle& s) { s.m_nAlign = 1; } },
        { "vertical-align:middle", none, [](SHtmlStyle& s) { s.m_nVAlign = 1; } },
        { "text-transform:capitalize", none, [](SHtmlStyle& s) { s.m_nTextTransform = 3; } },
        { "border-style:dotted", none,
            [](SHtmlStyle& s) {
                s.m_nBorderStyle = 3;
                s.m_nBorderWidth = 1;
            } },
        { "border-width:0",
            [](SHtmlStyle& s) {
                s.m_nBorderStyle = 1;
                s.m_nBorderWidth = 2;
            },
            [](SHtmlStyle& s) {
                s.m_nBorderStyle = 0;
                s.m_nBorderWidth = 0;
            } },
        { "border-width:thick",
            [](SHtmlStyle& s) {
                s.m_nBorderStyle = 1;
                s.m_nBorderWidth = 4;
            },
            [](SHtmlStyle& s) { s.m_nBorderWidth = 5; } },
        { "border-width:thin",
            [](SHtmlStyle& s) {
                s.m_nBorderStyle = 1;
                s.m_nBorderWidth = 4;
            },
            [](SHtmlStyle& s) { s.m_nBorderWidth = 3; } },
        { "size:2", none,
            [](SHtmlStyle& s) {
                s.m_nBorderWidth = 2;
                s.m_nBorderStyle = 1;
            } },
        { "border-color:navy", none, [](SHtmlStyle& s) { s.m_clrBorderLight = s.m_clrBorderDark = RGB(0, 0, 128); } },
        { "text-decoration:underline overline", none, [](SHtmlStyle& s) { s.m_bUnderline = s.m_bOverline = TRUE; } },
        { "text-decoration:none", [](SHtmlStyle& s) { s.m_bUnderline = s.m_bStrikeOut = s.m_bOverline = TRUE; },
            [](SHtmlStyle& s) { s.m_bUnderline = s.m_bStrikeOut = s.m_bOverline = FALSE; } },
        { "text-decoration:none overline", [](SHtmlStyle& s) { s.m_bUnderline = TRUE; },
            [](SHtmlStyle& s) {
                s.m_bUnderline = FALSE;
                s.m_bOverline = TRUE;
            } },
        { "text-decoration:line-through,blink", none, [](SHtmlStyle& s) { s.m_bStrikeOut = TRUE; } },
        { "text-decoration:overline", [](SHtmlStyle& s) { s.m_bUnderline = TRUE; },
            [](SHtmlStyle& s) { s.m_bOverline = TRUE; } }, // inherited underline survives
        { "background-color:transparent",
            [](SHtmlStyle& s) {
                s.m_nBkMode = 2;
                s.m_clrBk = RGB(1, 2, 3);
            },
            [](SHtmlStyle& s) { s.m_nBkMode = 1; } },
        { "background-color:yellow", none,
            [](SHtmlStyle& s) {
                s.m_nBkMode = 2;
                s.m_clrBk = RGB(255, 255, 0);
            } },
        { ";; color :  blue;x", none, [](SHtmlStyle& s) { s.m_clrText = RGB(0, 0, 255); } },
        { "unknown:1; color:lime", none, [](SHtmlStyle& s) { s.m_clrText = RGB(0, 255, 0); } },
    };
    for (const auto& c : cases) {
        SHtmlStyle style;
        style.m_nSize = 13;
        c.start(style);
        SHtmlStyle expected = style;
        c.expect(expected);
        renderer.ParseCssProperties(c.properties, style);
        EXPECT_EQ(style, expected) << c.properties.toStdString();
    }
}

TEST_F(HtmlStyleSheetTest, ColoursOffGiveTheFixedColour)
{
    renderer.EnableColors(FALSE);
    renderer.SetDisabledColor(RGB(9, 8, 7));
    SHtmlStyle style;
    renderer.ParseCssProperties("color:red; border-color:#102030; background-color:yellow", style);
    EXPECT_EQ(style.m_clrText, RGB(9, 8, 7));
    EXPECT_EQ(style.m_clrBorderLight, RGB(9, 8, 7));
    EXPECT_EQ(style.m_clrBorderDark, RGB(9, 8, 7));
    EXPECT_EQ(style.m_nBkMode, 1);
    EXPECT_EQ(style.m_clrBk, RGB(255, 255, 255));
    EXPECT_EQ(renderer.ParseColor("0xff", 0), RGB(9, 8, 7));
}

TEST_F(HtmlStyleSheetTest, LengthsAndColoursOfAttributes)
{
    const struct {
        QString value;
        int defaultValue;
        BOOL html;
        int pixels;
    } lengths[] = {
        { "", 7, TRUE, 7 },
        { "50%", 13, FALSE, 7 },
        { "-50%", 13, FALSE, -7 },
        { "7", 0, TRUE, 36 },
        { "8", 0, TRUE, 8 },
        { "7", 0, FALSE, 7 },
        { "010", 0, FALSE, 8 },
        { "-2", 9, FALSE, 2 },
        { "12pt", 0, FALSE, 16 },
        { "3PX", 0, FALSE, 3 },
        { "abc", 5, FALSE, 0 },
        { "x", 5, FALSE, 0 },
    };
    for (const auto& c : lengths)
        EXPECT_EQ(renderer.ParseLength(c.value, c.defaultValue, c.html), c.pixels) << c.value.toStdString();

    const struct {
        QString value;
        COLORREF color;
    } colors[] = {
        { "", RGB(1, 1, 1) },
        { "#0000ff", RGB(0, 0, 255) },
        { "#12345", RGB(1, 1, 1) },
        // The pairs are read as one number blue first, which ends at the first non-digit.
        { "#zz9900", RGB(0x99, 0, 0) },
        { "#ff99zz", 0 },
        { "16711680", RGB(0, 0, 255) },
        { "0x00ff00", RGB(0, 255, 0) },
        { "Red", RGB(1, 1, 1) },
        { "fuchsia", RGB(255, 0, 255) },
    };
    for (const auto& c : colors)
        EXPECT_EQ(renderer.ParseColor(c.value, RGB(1, 1, 1)), c.color) << c.value.toStdString();
}

// Each default rule applied to a reset style at 96 dots per inch.
TEST_F(HtmlStyleSheetTest, DefaultSheetGivesEachSelectorItsStyle)
{
    using Edit = std::function<void(SHtmlStyle&)>;
    auto font = [](int size, COLORREF color, const char* face, int weight) {
        return [=](SHtmlStyle& s) {
            s.m_nSize = size;
            s.m_clrText = color;
            s.m_strFace = QString::fromLatin1(face);
            s.m_nWeight = weight;
        };
    };
    const COLORREF black = RGB(0, 0, 0);
    const COLORREF orange = RGB(0xff, 0x99, 0x00);
    const struct {
        QString selector;
        Edit expect;
    } cases[] = {
        { "body", font(13, black, "verdana", 400) },
        { "p", font(13, black, "verdana", 700) },
        { "h1", font(18, black, "verdana", 700) },
        { "h2", font(17, orange, "verdana", 700) },
        { "h3", font(16, orange, "arial", 700) },
        { "h4", font(13, black, "verdana", 700) },
        { "h5", font(12, orange, "verdana", 700) },
        { "h6", font(10, RGB(0x62, 0x62, 0x62), "verdana", 400) },
        { "pre",
            [](SHtmlStyle& s) {
                s.m_nSize = 12;
                s.m_strFace = "courier";
                s.m_nBkMode = 2;
                s.m_clrBk = RGB(0xfb, 0xed, 0xbb);
            } },
        { "code",
            [](SHtmlStyle& s) {
                s.m_clrText = RGB(0x99, 0, 0);
                s.m_strFace = "arial";
            } },
        { "a:link",
            [](SHtmlStyle& s) {
                s.m_bUnderline = FALSE;
                s.m_clrText = RGB(0, 0, 255);
            } },
        { "a:hover",
            [](SHtmlStyle& s) {
                s.m_bUnderline = TRUE;
                s.m_clrText = RGB(0, 0, 255);
            } },
        { "sub",
            [](SHtmlStyle& s) {
                s.m_nSize = 10;
                s.m_nVAlign = 2;
            } },
        { "sup",
            [](SHtmlStyle& s) {
                s.m_nSize = 10;
                s.m_nVAlign = 0;
            } },
        { "big", [](SHtmlStyle& s) { s.m_nSize = 20; } },
        { "small", [](SHtmlStyle& s) { s.m_nSize = 12; } },
        { ".cpp-comment",
            [](SHtmlStyle& s) {
                s.m_clrText = RGB(0, 128, 0);
                s.m_bItalic = TRUE;
            } },
    };
    EXPECT_EQ(renderer.m_selectors.size(), std::size(cases));
    for (const auto& c : cases) {
        renderer.ResetStyle();
        renderer.m_curStyle.m_bUnderline = c.selector == u"a:link"; // "none" must clear it
        SHtmlStyle expected = renderer.m_curStyle;
        c.expect(expected);
        renderer.ApplySelectorStyle(c.selector, renderer.m_curStyle);
        EXPECT_EQ(renderer.m_curStyle, expected) << c.selector.toStdString();
    }
}

TEST_F(HtmlStyleSheetTest, ResetKeepsOnlyTheTableSize)
{
    renderer.m_curStyle.m_strTag = "b";
    renderer.m_curStyle.m_nSize = 30;
    renderer.m_curStyle.m_nFillEffect = 4;
    renderer.m_curStyle.m_nLinkType = 1;
    renderer.m_curStyle.m_strLink = "http://x";
    renderer.m_curStyle.m_nWidth = 50;
    renderer.m_curStyle.m_nHeight = 20;
    renderer.ResetStyle();
    const SHtmlStyle& s = renderer.m_curStyle;
    EXPECT_TRUE(s.m_strTag.isEmpty());
    EXPECT_EQ(s.m_nSize, 16);
    EXPECT_EQ(s.m_strFace, "Verdana");
    EXPECT_EQ(s.m_nWeight, 400);
    EXPECT_EQ(s.m_clrText, RGB(0, 0, 0));
    EXPECT_EQ(s.m_clrBk, RGB(255, 255, 255));
    EXPECT_EQ(s.m_nBkMode, 1);
    EXPECT_EQ(s.m_nFillEffect, -1);
    EXPECT_EQ(s.m_nAlign, 0);
    EXPECT_EQ(s.m_nVAlign, 3);
    EXPECT_EQ(s.m_nBorderStyle, 0);
    EXPECT_EQ(s.m_nBorderWidth, 0);
    EXPECT_EQ(s.m_nMargin, 2);
    EXPECT_EQ(s.m_nPadding, 0);
    EXPECT_EQ(s.m_nLinkType, 0);
    EXPECT_TRUE(s.m_strLink.isEmpty());
    EXPECT_EQ(s.m_nWidth, 50);
    EXPECT_EQ(s.m_nHeight, 20);
}

} // namespace
