// The tree tooltip's texts in the real window: the notice before display gets the group's or the
// page's particulars and the tip's place at the item's label. Titles, descriptions and addresses
// that carry markup show as text: the only link is the page's own, and clicking it opens the
// address stored for the page, whatever the tooltip's text held.
#include "tests/frame/TreeCommandsSupport.h"
#include "tests/platform/ui/GdiCanvas.h"

#include "Controls/HtmlRenderer.h"
#include "core/InternetUtils.h"
#include "core/Utils.h"
#include "platform/shell/ShellHooks.h"
#include "platform/ui/Gdi.h"

using namespace taluvo::test;
using taluvo::shell::RequestKind;

namespace {

class ToolTipTexts : public TreeCommands {
protected:
    // The notice the tree tip sends while the pointer is at a point of the tree's client area;
    // the text it leaves, and where the tip is to point.
    struct Shown {
        QString html;
        POINT point;
    };
    Shown Hover(POINT inTree, HWND tool = nullptr)
    {
        POINT screen = inTree;
        m_frame.m_mainTree.ClientToScreen(&screen);
        HTMLTOOLINFO info;
        info.strHtml = QStringLiteral("left over");
        NMHTMLTTDISPLAY notice;
        notice.hdr.hwndFrom = m_frame.m_treeToolTip;
        notice.hdr.code = HTMLTTN_DISPLAY;
        notice.hwndTool = tool ? tool : m_frame.m_mainTree.m_hWnd;
        notice.pt = &screen;
        notice.ti = &info;
        m_frame.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
        return { info.strHtml, screen };
    }
    POINT LabelMiddle(HTREEITEM item)
    {
        RECT label {};
        EXPECT_TRUE(m_frame.m_mainTree.GetItemRect(item, &label, TRUE));
        return POINT { (label.left + label.right) / 2, (label.top + label.bottom) / 2 };
    }
    POINT LabelCorner(HTREEITEM item)
    {
        RECT label {};
        m_frame.m_mainTree.GetItemRect(item, &label, TRUE);
        POINT corner { label.left, label.top };
        m_frame.m_mainTree.ClientToScreen(&corner);
        return POINT { corner.x + 1, corner.y + 1 };
    }
};

class CLinkRenderer : public CHtmlRenderer {
public:
    using CHtmlRenderer::m_linkAreas;
};

// Lays the markup out as the tip does and returns its links.
std::vector<SHtmlLinkArea> LinksOf(const QString& html)
{
    const taluvo::test::Canvas canvas(800, 600);
    CLinkRenderer renderer;
    SIZE size {};
    renderer.MeasureHtml(canvas.dc, html, &size);
    const RECT rect { 0, 0, size.cx, size.cy };
    renderer.RenderHtml(canvas.dc, &rect);
    return renderer.m_linkAreas;
}

TEST_F(ToolTipTexts, AGroupShowsItsParticularsAndItsTitleAsText)
{
    ASSERT_TRUE(Start(Group(1, "<b>News</b> & \"more\" &amp;", 1, sortStatus) + Page(1, 1, "Alpha")
        + Page(2, 1, "Beta", 3, 0) + Group(2, "Off", 0, sortUserOrder)));
    const HTREEITEM news = m_frame.FindGroup(1);
    const Shown shown = Hover(LabelMiddle(news));
    EXPECT_EQ(shown.html,
        taluvo::Format(m_frame.m_strGroupToolTip,
            QStringLiteral("&lt;b&gt;News&lt;/b&gt; &amp; &quot;more&quot; &amp;amp;"), u"Yes", u"Status", 2));
    EXPECT_TRUE(LinksOf(shown.html).empty());
    EXPECT_EQ(shown.point.x, LabelCorner(news).x);
    EXPECT_EQ(shown.point.y, LabelCorner(news).y);

    const Shown off = Hover(LabelMiddle(m_frame.FindGroup(2)));
    EXPECT_EQ(off.html, taluvo::Format(m_frame.m_strGroupToolTip, u"Off", u"No", u"User order", 0));
}

TEST_F(ToolTipTexts, APageShowsItsRowAndItsOnlyLinkOpensTheStoredAddress)
{
    const std::string hostileDescr = "<a msg=\"1,9,file:///etc/passwd\">click</a> &lt;x&gt;";
    const std::string hostileBrowser = "http://b.test/?q=\"><a msg=\"1,9,evil\">";
    PageRow page { 7, 1, "http://u.test/<img src=x>&amp;", hostileBrowser, hostileDescr, -1 };
    page.interval = 0;
    page.status = statusNew;
    ASSERT_TRUE(Start(Group(1, "G<1>", 1, sortAlphabeticalAsc) + Insert(page)
        + Insert({ 9, 1, "http://nine.test/", "http://nine.test/", "nine", 1700000000 })));
    const HTREEITEM item = m_frame.FindPage(1, 7);
    ASSERT_NE(item, nullptr);
    const Shown shown = Hover(LabelMiddle(item));
    const QString& html = shown.html;
    EXPECT_TRUE(html.contains(
        QStringLiteral("Page: &lt;a msg=&quot;1,9,file:///etc/passwd&quot;&gt;click&lt;/a&gt; &amp;lt;x&amp;gt;:")))
        << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral("<td>G&lt;1&gt;</td>"))) << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral(">http://u.test/&lt;img src=x&gt;&amp;amp;</a>"))) << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral("<td>New</td>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<td>Unknown</td>"))) << "never checked";
    int days = 0, hours = 0, minutes = 0;
    SplitInterval(0, days, hours, minutes);
    EXPECT_TRUE(html.contains(QStringLiteral("<td>") + FormatInterval(days, hours, minutes) + QStringLiteral("</td>")));
    EXPECT_EQ(shown.point.x, LabelCorner(item).x);

    const std::vector<SHtmlLinkArea> links = LinksOf(html);
    ASSERT_EQ(links.size(), 1u) << "descriptions and addresses add no links";
    EXPECT_TRUE(links[0].strLink.startsWith(QStringLiteral("1,7,"))) << qPrintable(links[0].strLink);

    // The link's click reaches the window, which opens the address stored for page 7.
    DesktopRequests desktop;
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kUserBrowserPath)->SetString(QStringLiteral("/usr/bin/browser"));
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(true);
    m_frame.SendMessage(WM_TOOLTIP_HYPERLINK, reinterpret_cast<WPARAM>(links[0].strLink.utf16()));
    const auto opened = desktop.Of(RequestKind::RunProgram);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].value(1), QString::fromStdString(hostileBrowser));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT status FROM PAGES WHERE id = 7;"), "3");
}

TEST_F(ToolTipTexts, NoItemOtherToolOrMissingRowGiveNothingOrThePlainLabel)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, sortAlphabeticalAsc) + Page(1, 1, "Alpha <i>")));
    EXPECT_TRUE(Hover(POINT { 5, 400 }).html.isEmpty()) << "below the items";
    const HTREEITEM item = m_frame.FindPage(1, 1);
    EXPECT_TRUE(Hover(LabelMiddle(item), m_frame.m_hWnd).html.isEmpty()) << "not the tree's tool";

    ASSERT_EQ(Sqlite(DatabasePath(), "DELETE FROM PAGES WHERE id = 1;"), "");
    const Shown gone = Hover(LabelMiddle(item));
    EXPECT_EQ(gone.html, QStringLiteral("Alpha &lt;i&gt;"));
    EXPECT_EQ(gone.point.y, LabelCorner(item).y) << "still placed at the label";
}

} // namespace
