// The renderer object: its starting state, text preparation, the tag, entity and colour tables,
// string resources, and the Windows number reading the values rely on.
#include "tests/Controls/HtmlTestSupport.h"

#include "Controls/HtmlNumbers.h"
#include "platform/ui/Menu.h"

#include <gtest/gtest.h>

#include <QColor>

#include <climits>
#include <set>
#include <utility>

namespace {

class HtmlVocabularyTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
    CTestHtmlRenderer renderer;
};

TEST_F(HtmlVocabularyTest, StartingState)
{
    EXPECT_EQ(renderer.m_nMaxWidth, 0);
    EXPECT_EQ(renderer.m_nHoverLink, -2);
    EXPECT_EQ(renderer.m_nTabSize, 32);
    EXPECT_TRUE(renderer.m_bUseColors);
    EXPECT_EQ(renderer.m_clrDisabled, GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(renderer.m_clrImageShadow, RGB(128, 128, 128));
    EXPECT_EQ(renderer.m_tags.size(), 40u);
    EXPECT_EQ(renderer.m_colors.size(), 168u);
    EXPECT_EQ(renderer.m_selectors.size(), 17u);

    renderer.SetShadow(4, 4, 200, TRUE, 7, 7); // darkness above 100 counts as 100
    EXPECT_EQ(renderer.m_clrImageShadow, RGB(0, 0, 0));
    renderer.SetShadow(4, 4, 0, TRUE, 7, 7);
    EXPECT_EQ(renderer.m_clrImageShadow, RGB(255, 255, 255));
}

TEST_F(HtmlVocabularyTest, TextPreparationAndEntities)
{
    // Preparation leaves entities alone; line feeds and tabs stay for the text runs while escapes
    // are on and go while they are off.
    const struct {
        QString text;
        bool escapes;
        QString prepared;
    } prepared[] = {
        { "&lt;b&gt;", true, "&lt;b&gt;" },
        { "a\r\nb", true, "a\nb" },
        { "a\r\nb", false, "ab" },
        { "a\tb", true, "a\tb" },
        { "a\tb", false, "ab" },
        { "", true, "" },
    };
    for (const auto& c : prepared) {
        renderer.EnableEscapes(c.escapes);
        EXPECT_EQ(renderer.Prepared(c.text), c.prepared) << c.text.toStdString();
    }

    // Entities are expanded in one sweep: what one yields is never read again.
    const struct {
        QString text;
        QString expanded;
    } expanded[] = {
        { "&lt;b&gt;", "<b>" },
        { "&amp;amp;", "&amp;" },
        { "&amp;lt;", "&lt;" },
        { "&amp;quot;", "&quot;" },
        { "a&nbsp;b", "a b" },
        { "&#169; &Amp; &bogus; &", "&#169; &Amp; &bogus; &" },
        { "&copy;&reg;&trade;&euro;&pound;&para;&iquest;&bull;&quot;",
            "\u00A9\u00AE\u2122\u20AC\u00A3\u00B6\u00BF\u2022\"" },
        { "", "" },
    };
    for (const auto& c : expanded)
        EXPECT_EQ(renderer.ExpandEntities(c.text), c.expanded) << c.text.toStdString();
}

TEST_F(HtmlVocabularyTest, TagIds)
{
    const struct {
        QString name;
        int id;
        QString style;
        BOOL closing;
    } cases[] = {
        { "/b", TAG_BOLD, "bold", TRUE },
        { "B", TAG_NONE, "", FALSE },
        { "", TAG_NONE, "", FALSE },
        { "/", TAG_NONE, "", TRUE },
        { "bottom", TAG_BOTTOM, "bottom", FALSE },
        { "middle", TAG_VCENTER, "vcenter", FALSE },
        { "em", TAG_ITALIC, "italic", FALSE },
        { "strike", TAG_STRIKEOUT, "strikeout", FALSE },
        { "a", TAG_LINK, "link", FALSE },
        { "/span", TAG_SPAN, "span", TRUE },
        { "h3", TAG_STYLE, "h3", FALSE },
        { "sup", TAG_STYLE, "sup", FALSE },
        { "br", TAG_BR, "", FALSE },
        { "br/", TAG_NONE, "", FALSE },
        { "t", TAG_TAB, "", FALSE },
        { "hr", TAG_HR, "", FALSE },
        { "ilst", TAG_ILST, "", FALSE },
        { "string", TAG_STRING, "", FALSE },
        { "justify", TAG_JUSTIFY, "justify", FALSE },
        { "table", TAG_NONE, "", FALSE },
    };
    for (const auto& c : cases) {
        QString style = "stale";
        BOOL closing = 7;
        EXPECT_EQ(renderer.GetTagId(c.name, style, closing), c.id) << c.name.toStdString();
        EXPECT_EQ(style, c.style) << c.name.toStdString();
        EXPECT_EQ(closing, c.closing) << c.name.toStdString();
    }
}

TEST_F(HtmlVocabularyTest, ColourNamesAreTheSvgKeywords)
{
    const std::set<QString> system = {
        "activeborder",
        "activecaption",
        "appworkspace",
        "background",
        "buttonface",
        "buttonhighlight",
        "buttonshadow",
        "buttontext",
        "captiontext",
        "graytext",
        "highlight",
        "highlighttext",
        "inactiveborder",
        "inactivecaption",
        "inactivecaptiontext",
        "infobackground",
        "infotext",
        "menu",
        "menutext",
        "scrollbar",
        "threeddarkshadow",
        "threedface",
        "threedhighlight",
        "threedlightshadow",
        "threedshadow",
        "window",
        "windowframe",
        "windowtext",
    };
    int named = 0;
    for (const auto& [name, color] : renderer.m_colors) {
        if (system.count(name))
            continue;
        ++named;
        ASSERT_TRUE(QColor::isValidColorName(name)) << name.toStdString();
        const QColor svg = QColor::fromString(name);
        COLORREF expected = RGB(BYTE(svg.red()), BYTE(svg.green()), BYTE(svg.blue()));
        if (name == u"darkseagreen")
            expected = RGB(143, 188, 139); // the program's own blue
        EXPECT_EQ(color, expected) << name.toStdString();
    }
    EXPECT_EQ(named, 140);
    EXPECT_EQ(renderer.ColorByName("lightgrey", 1), RGB(211, 211, 211));
    for (const char* missing :
        { "lightgray", "grey", "darkgrey", "dimgrey", "slategrey", "darkslategrey", "lightslategrey", "Red", "" })
        EXPECT_EQ(renderer.ColorByName(missing, 12345), 12345u) << missing;
}

TEST_F(HtmlVocabularyTest, SystemColourNames)
{
    const std::pair<const char*, int> cases[] = {
        { "infobackground", COLOR_INFOBK },
        { "infotext", COLOR_INFOTEXT },
        { "threedface", COLOR_BTNFACE },
        { "buttonface", COLOR_BTNFACE },
        { "threeddarkshadow", COLOR_3DDKSHADOW },
        { "threedlightshadow", COLOR_3DLIGHT },
        { "windowframe", COLOR_WINDOWFRAME },
        { "scrollbar", COLOR_SCROLLBAR },
    };
    for (const auto& [name, index] : cases)
        EXPECT_EQ(renderer.ColorByName(name, 1), GetSysColor(index)) << name;
}

TEST_F(HtmlVocabularyTest, EntriesAreAddedOrReplaced)
{
    renderer.AddColor(QStringLiteral("red"), RGB(1, 2, 3));
    renderer.AddColor(u"brand", RGB(4, 5, 6));
    EXPECT_EQ(renderer.ColorByName("red", 0), RGB(1, 2, 3));
    EXPECT_EQ(renderer.ColorByName("brand", 0), RGB(4, 5, 6));
    EXPECT_EQ(renderer.m_colors.size(), 169u);

    renderer.AddTag(u"B", TAG_BOLD, u"bold");
    QString style;
    BOOL closing = FALSE;
    EXPECT_EQ(renderer.GetTagId("B", style, closing), TAG_BOLD);

    renderer.AddEntity(u"&hellip;", u"...");
    renderer.AddEntity(QString(), QStringLiteral("x")); // an empty entity would match everywhere
    EXPECT_EQ(renderer.ExpandEntities(u"a&hellip;b"), "a...b");

    renderer.EnableColors(FALSE);
    renderer.SetDisabledColor(RGB(7, 7, 7));
    EXPECT_EQ(renderer.ColorByName("red", 0), RGB(7, 7, 7));
    EXPECT_EQ(renderer.ColorByName("nothing", 0), RGB(7, 7, 7));
}

TEST_F(HtmlVocabularyTest, NotificationsAreClearedByANullWindow)
{
    HWND window = reinterpret_cast<HWND>(0x1234);
    renderer.SetLinkNotify(window, WM_TOOLTIP_HYPERLINK, 5);
    renderer.SetLinkNotify(nullptr, WM_TOOLTIP_HYPERLINK, 5);
    renderer.SetRepaintNotify(nullptr, WM_HTML_REPAINT, 9);
    class CProbe : public CHtmlRenderer {
    public:
        static bool Cleared(const CHtmlRenderer& r)
        {
            const CProbe& p = static_cast<const CProbe&>(r);
            return !p.m_hLinkWnd && !p.m_nLinkMsg && !p.m_lLinkParam && !p.m_hRepaintWnd && !p.m_nRepaintMsg
                && !p.m_lRepaintParam;
        }
    };
    EXPECT_TRUE(CProbe::Cleared(renderer));
    EXPECT_EQ(WM_HTML_REPAINT, 0x465u);
    EXPECT_EQ(WM_TOOLTIP_HYPERLINK, 0x8110u);
}

TEST_F(HtmlVocabularyTest, ResourceStrings)
{
    EXPECT_EQ(renderer.LoadResString(0), QString());
    EXPECT_EQ(renderer.GetResStringLine(0, 0), QString());
    const QString longText(3000, u'x');
    taluvo::ui::RegisterStringResources({
        { 61001, u"Open\nOpen the file" },
        { 61002, u"h1 {color:red}" },
        { 61003, reinterpret_cast<const char16_t*>(longText.utf16()) },
        { 61004, u"a {color:blue}" },
    });
    EXPECT_EQ(renderer.GetResStringLine(61001, 0), "Open");
    EXPECT_EQ(renderer.GetResStringLine(61001, 1), "Open the file");
    EXPECT_EQ(renderer.GetResStringLine(61001, 2), QString());
    EXPECT_EQ(renderer.LoadResString(61003), longText); // whatever its length
    EXPECT_EQ(renderer.LoadResString(61999), QString());

    renderer.SetStyleSheet(reinterpret_cast<LPCWSTR>(uintptr_t(61002)));
    EXPECT_EQ(renderer.GetStyleSheet(), "h1 {color:red}");
    renderer.LoadStyleSheetResource(61004, nullptr);
    EXPECT_EQ(renderer.FindSelectorStyle(QStringLiteral("a")), QString("color:blue"));
    // A missing string is an empty sheet, not the default one.
    renderer.SetStyleSheet(reinterpret_cast<LPCWSTR>(uintptr_t(61999)));
    EXPECT_TRUE(renderer.m_selectors.empty());

    renderer.AddColor(reinterpret_cast<LPCWSTR>(uintptr_t(61002)), RGB(1, 1, 1));
    EXPECT_EQ(renderer.ColorByName("h1 {color:red}", 0), RGB(1, 1, 1));
}

TEST(HtmlNumbersTest, WindowsNumberReading)
{
    using taluvo::html::AtoI;
    using taluvo::html::StrToUL;
    const struct {
        QString text;
        int base;
        DWORD value;
        qsizetype consumed;
    } cases[] = {
        { "123", 0, 123, 3 },
        { "0x1F", 0, 0x1F, 4 },
        { "0X1f", 0, 0x1F, 4 },
        { "017", 0, 15, 3 },
        { "019", 0, 1, 2 },
        { "0", 0, 0, 1 },
        { "  42px", 0, 42, 4 },
        { "-1", 0, 0xFFFFFFFF, 2 },
        { "+7", 0, 7, 2 },
        { "abc", 0, 0, 0 },
        { "", 0, 0, 0 },
        { "0x", 0, 0, 1 },
        { "99999999999", 0, 0xFFFFFFFF, 11 },
        { "0xFFFFFFFF", 0, 0xFFFFFFFF, 10 },
        { "0099ff", 16, 0x0099FF, 6 },
        { "0x10", 16, 0x10, 4 },
        { "fz", 16, 0xF, 1 },
        { "12", 8, 10, 2 },
    };
    for (const auto& c : cases) {
        qsizetype consumed = -1;
        EXPECT_EQ(StrToUL(c.text, c.base, &consumed), c.value) << c.text.toStdString() << " base " << c.base;
        EXPECT_EQ(consumed, c.consumed) << c.text.toStdString();
    }

    const std::pair<const char*, int> integers[] = {
        { "42", 42 },
        { " -17x", -17 },
        { "+3", 3 },
        { "1.5", 1 },
        { "x1", 0 },
        { "", 0 },
        { "99999999999", INT_MAX },
        { "-99999999999", INT_MIN },
        { "0x10", 0 },
    };
    for (const auto& [text, value] : integers)
        EXPECT_EQ(AtoI(text), value) << text;
}

} // namespace
