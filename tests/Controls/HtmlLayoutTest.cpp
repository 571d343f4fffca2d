// Layout passes, tags, tables, images and links of the HTML renderer, measured and drawn into
// 32-bit memory contexts with DejaVu Sans pinned in the style sheet.
#include "tests/Controls/HtmlTestSupport.h"

#include "platform/shell/ShellHooks.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/Menu.h"
#include "platform/ui/UserApi.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <random>

namespace {

class HtmlLayoutTest : public HtmlCanvasTest { };

// The update popup as the check engine builds it: a header row, one row per page, a footer.
QString PopupMarkup(int pages, const QString& title = QString())
{
    QString text = QStringLiteral("<body><table><tr><td colspan=2><center><h2>Updated web page:</h2><br><hr "
                                  "color=blue></center><br></td></tr>");
    for (int i = 0; i < pages; ++i) {
        const QString url = title.isEmpty() ? QStringLiteral("http://example.test/page/%1").arg(i) : title;
        text += QStringLiteral(
            "<tr><td><icon idres=128 width=16 height=16></td><td><a msg=\"%1,%2,%3\">%4</a></td></tr>")
                    .arg(1)
                    .arg(i + 1)
                    .arg(url, url);
    }
    return text + QStringLiteral("</table></body>");
}

QString PageToolTipMarkup()
{
    return QStringLiteral("<body><table><tr><td colspan=2><center><h2>Page: News:</h2><br><hr color=blue></center><br>"
                          "</td></tr><tr><td>Group:</td><td>Daily</td></tr><tr><td>Enable:</td><td>Yes</td></tr>"
                          "<tr><td>Url:</td><td><a msg=\"2,7,http://example.test/\">http://example.test/</a></td></tr>"
                          "<tr><td>Status:</td><td>New</td></tr><tr><td>Interval:</td><td>1 day</td></tr>"
                          "<tr><td>Last checked:</td><td>Unknown</td></tr></table></body>");
}

TEST_F(HtmlLayoutTest, SingleLinesBreaksAndTabs)
{
    const TEXTMETRIC tm = MetricsOf();
    EXPECT_EQ(Measure(QString()).cx, 0);
    EXPECT_EQ(Measure(QStringLiteral("<b></b>")).cy, 0);

    // Without a wrapping width a long text stays on one line.
    const QString words = QStringLiteral("The quick brown fox jumps over the lazy dog");
    SIZE size = Measure(words);
    EXPECT_EQ(size.cx, WidthOf(words) + 1);
    EXPECT_EQ(size.cy, tm.tmHeight + 1);

    // Two breaks in a row add one empty line; a closing break tag breaks too; "=2" breaks twice.
    struct Case {
        const char16_t* text;
        int lines;
    } cases[] = {
        { u"a<br>b", 2 },
        { u"a<br><br>b", 3 },
        { u"a</br>b", 2 },
        { u"a<br=2>b", 3 },
        { u"a<br>", 1 },
    };
    for (const Case& c : cases) {
        size = Measure(QString::fromUtf16(c.text));
        EXPECT_EQ(size.cy, c.lines * tm.tmHeight + 1) << QString::fromUtf16(c.text).toStdString();
    }

    // Tab stops every 32 pixels from the block's left edge.
    const int x = WidthOf(QStringLiteral("x"));
    ASSERT_LT(x, 32);
    EXPECT_EQ(Measure(QStringLiteral("x<t>")).cx, 32 + 1);
    EXPECT_EQ(Measure(QStringLiteral("x<t=3>")).cx, 96 + 1);
    EXPECT_EQ(Measure(QStringLiteral("x<t><t>y")).cx, 64 + x + 1);
}

TEST_F(HtmlLayoutTest, WrappingAlignmentAndJustification)
{
    const TEXTMETRIC tm = MetricsOf();
    const int limit = WidthOf(QStringLiteral("alpha beta")) + 3;
    r.m_nMaxWidth = limit;
    SIZE size = Measure(QStringLiteral("alpha beta gamma"));
    EXPECT_EQ(size.cy, 2 * tm.tmHeight + 1);
    EXPECT_EQ(size.cx, std::max(WidthOf(QStringLiteral("alpha beta")), WidthOf(QStringLiteral("gamma"))) + 1);
    ASSERT_GE(r.m_lines.size(), 2u);
    EXPECT_EQ(r.m_lines[0].bWrapped, 1);
    EXPECT_EQ(r.m_lines[0].nSpaces, 1); // the trailing space went with the split
    EXPECT_EQ(r.m_lines[1].bWrapped, 0);

    // A word longer than the line is cut where it no longer fits.
    r.m_nMaxWidth = WidthOf(QStringLiteral("abcd")) + 1;
    size = Measure(QStringLiteral("abcdefgh"));
    EXPECT_EQ(size.cy, 2 * tm.tmHeight + 1);

    // Placement read from the link areas of the draw pass: centre, right, justify.
    r.m_nMaxWidth = 301;
    Layout(QStringLiteral("<center><a msg=c>word</a></center>"));
    ASSERT_EQ(r.m_linkAreas.size(), 1u);
    const int w = WidthOf(QStringLiteral("word"));
    const RECT block { 0, 0, 301, 100 };
    r.RenderHtml(dc.dc, &block);
    ASSERT_EQ(r.m_linkAreas.size(), 1u); // drawing again rebuilds the areas
    EXPECT_EQ(r.m_linkAreas[0].rc.left, (301 - w) / 2);
    r.MeasureHtml(dc.dc, QStringLiteral("<right><a msg=c>word</a></right>"), &size);
    r.RenderHtml(dc.dc, &block);
    EXPECT_EQ(r.m_linkAreas[0].rc.left, 301 - w);

    r.m_nMaxWidth = 200;
    const QString paragraph = QStringLiteral(
        "<justify><a msg=j>Every wrapped line of this paragraph ends exactly at the right edge of its block, "
        "while its last line stays on the left.</a></justify>");
    r.MeasureHtml(dc.dc, paragraph, &size);
    const RECT para { 0, 0, 200, size.cy };
    r.RenderHtml(dc.dc, &para);
    ASSERT_GE(r.m_linkAreas.size(), 3u);
    for (size_t i = 0; i + 1 < r.m_linkAreas.size(); ++i) {
        EXPECT_EQ(r.m_linkAreas[i].rc.left, 0);
        EXPECT_EQ(r.m_linkAreas[i].rc.right, 200) << "line " << i;
        EXPECT_EQ(r.m_linkAreas[i].nId, 0);
    }
    EXPECT_LT(r.m_linkAreas.back().rc.right, 200);
}

TEST_F(HtmlLayoutTest, StyleStackAndRules)
{
    // Bold doubles the weight up to 900; a mismatched closing tag is ignored.
    r.m_nMaxWidth = 0;
    const QString text = QStringLiteral("<b>a<b>b</b></i>c</b>d");
    const SIZE size = Measure(text);
    EXPECT_EQ(size.cx,
        WidthOf(QStringLiteral("a"), kBodyPx, 800) + WidthOf(QStringLiteral("b"), kBodyPx, 900)
            + WidthOf(QStringLiteral("c"), kBodyPx, 800) + WidthOf(QStringLiteral("d")) + 1);

    // A rule of 50 pixels; a percentage rule counts 1 pixel plus its share of the block.
    EXPECT_EQ(Measure(QStringLiteral("<hr width=50>")).cx, 51);
    EXPECT_EQ(Measure(QStringLiteral("<hr width=50 size=3>")).cy, 3 + 8 + 1);
    const int word = WidthOf(QStringLiteral("abcdefghij"));
    EXPECT_EQ(Measure(QStringLiteral("abcdefghij<br><hr>")).cx, word + 1 + 1);

    // Capitalisation starts words only at ASCII letters after a space.
    r.SetSelectorStyle(QStringLiteral(".cap"), QStringLiteral("text-transform:capitalize"));
    EXPECT_EQ(Measure(QStringLiteral("<span class=cap>hello o'neil-x \u00e9t\u00e9</span>")).cx,
        WidthOf(QStringLiteral("Hello O'neil-x \u00e9t\u00e9")) + 1);

    // A resource string is placed like a word; a library name beside it is never used.
    taluvo::ui::RegisterStringResources({ { 61001, u"From the table" } });
    EXPECT_EQ(Measure(QStringLiteral("<string idres=61001 srcdll=/tmp/evil.so>")).cx,
        WidthOf(QStringLiteral("From the table")) + 1);
    EXPECT_EQ(Measure(QStringLiteral("<string iddll=61001 srcdll=/tmp/evil.so>")).cx, 0);

    // A face name longer than the font description holds is cut to 31 characters.
    r.m_hDC = dc.dc;
    r.m_curStyle.m_strFace = QString(40, u'F');
    r.CreateFontFromDescription();
    EXPECT_EQ(QString::fromUtf16(r.m_lf.lfFaceName), QString(31, u'F'));
}

TEST_F(HtmlLayoutTest, TablesPlainAndSpanning)
{
    // 2 x 2 cells, default style: 1-pixel gaps, content inset by 2.
    const int a = WidthOf(QStringLiteral("one"));
    const int b = WidthOf(QStringLiteral("three"));
    const TEXTMETRIC tm = MetricsOf();
    SIZE size
        = Measure(QStringLiteral("<table><tr><td>one</td><td>two</td></tr><tr><td>three</td><td>x</td></tr></table>"));
    const int col1 = std::max(WidthOf(QStringLiteral("two")), WidthOf(QStringLiteral("x"))) + 4;
    EXPECT_EQ(size.cx, std::max(a, b) + 4 + col1 + 1 + 1);
    EXPECT_EQ(size.cy, 2 * (tm.tmHeight + 4) + 1 + 1);

    // cellspacing 4: outer gaps 4, inner gaps 5; cellpadding 4 insets content by 4.
    size = Measure(QStringLiteral("<table cellspacing=4 cellpadding=4><tr><td>one</td><td>two</td></tr></table>"));
    EXPECT_EQ(size.cx, 4 + 1 + (a + 8 + 4) + (WidthOf(QStringLiteral("two")) + 8 + 4) + 1);

    // colspan 3 exceeding its columns by 10: each grows by 3 and the last by 1 more.
    Measure(QStringLiteral("<table><tr><td width=10></td><td width=10></td><td width=10></td></tr>"
                           "<tr><td colspan=3 width=48></td></tr></table>"));
    ASSERT_EQ(r.m_arrTables.size(), 1u);
    EXPECT_EQ(r.m_arrTables[0].m_colWidths, (std::vector<int> { 17, 17, 18 }));

    // rowspan 2 needing 7 more than its rows: the first row grows by 4, the second by 3.
    Measure(QStringLiteral("<table><tr><td rowspan=2 height=23></td><td height=6></td></tr>"
                           "<tr><td height=6></td></tr></table>"));
    EXPECT_EQ(r.m_arrTables[0].m_rowHeights, (std::vector<int> { 14, 13 }));

    // A 2 x 2 span covers four places; the next row's first cell goes after the covered block.
    Measure(QStringLiteral("<table><tr><td rowspan=2 colspan=2>a</td><td>b</td></tr><tr><td>c</td></tr></table>"));
    const auto& rows = r.m_arrTables[0].m_rows;
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_EQ(rows[0].size(), 3u);
    EXPECT_EQ(rows[1][0].m_nColSpan, -1);
    EXPECT_EQ(rows[1][1].m_nColSpan, -1);
    EXPECT_EQ(rows[1][2].m_nColSpan, 1);

    // A fixed column keeps its width while the free one takes the extra space; a cell with
    // valign=bottom draws at the bottom.
    const QString fixed = QStringLiteral(
        "<table><tr><td width=50 valign=bottom height=60><a msg=f>f</a></td><td><a msg=g>g</a></td></tr></table>");
    Measure(fixed);
    const RECT wide { 0, 0, 300, 200 };
    r.RenderHtml(dc.dc, &wide);
    ASSERT_EQ(r.m_linkAreas.size(), 2u);
    EXPECT_EQ(r.m_linkAreas[0].rc.left, 2);
    // The content sits on the cell's bottom; the cell's bottom alignment also puts the run's
    // baseline on its line's bottom edge, so the descent hangs below.
    EXPECT_EQ(r.m_linkAreas[0].rc.bottom, 2 + 60 + (tm.tmHeight - tm.tmAscent));
    EXPECT_EQ(r.m_linkAreas[1].rc.left, 0 + 54 + 1 + 2);
    EXPECT_EQ(r.m_arrTables[0].m_colWidths[0], 54);
    EXPECT_EQ(r.m_arrTables[0].m_colWidths[1], 300 - 1 - 54);

    // A double border of width 1 takes three pixels on each side; a solid one of 2 takes two.
    const SIZE plain = Measure(QStringLiteral("<table><tr><td>x</td></tr></table>"));
    // The cell without attributes inherits the border width, which also insets its content.
    EXPECT_EQ(
        Measure(QStringLiteral("<table border=2 borderstyle=solid><tr><td>x</td></tr></table>")).cx, plain.cx + 4 + 4);
    EXPECT_EQ(
        Measure(QStringLiteral("<table border=1 borderstyle=double><tr><td>x</td></tr></table>")).cx, plain.cx + 6 + 2);
}

TEST_F(HtmlLayoutTest, TableBackgroundsAndFills)
{
    const QString tile = QDir(qEnvironmentVariable("TALUVO_HOME")).filePath(QStringLiteral("tile.png"));
    QImage red(4, 4, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    ASSERT_TRUE(red.save(tile));
    const QString tiled
        = QStringLiteral("<table background=\"file:%1\"><tr><td width=30 height=20></td></tr></table>").arg(tile);
    Layout(tiled);
    EXPECT_EQ(Snapshot().pixelColor(9, 9), QColor(255, 0, 0));
    EXPECT_EQ(Snapshot().pixelColor(60, 40), QColor(255, 255, 255));

    // A filled table repeats its fill in every cell; with colours off no background is drawn.
    Resize(400, 300);
    Layout(QStringLiteral("<table bgcolor=#0000ff><tr><td width=30 height=20></td></tr></table>"));
    EXPECT_EQ(Snapshot().pixelColor(9, 9), QColor(0, 0, 255));
    Resize(400, 300);
    r.EnableColors(FALSE);
    Layout(tiled);
    EXPECT_EQ(Snapshot().pixelColor(9, 9), QColor(255, 255, 255));
}

TEST_F(HtmlLayoutTest, TextAndTablesStackAndUnclosedTablesEnd)
{
    const TEXTMETRIC tm = MetricsOf();
    const SIZE table = Measure(QStringLiteral("<table><tr><td>cell</td></tr></table>"));
    const SIZE mixed = Measure(QStringLiteral("before<table><tr><td>cell</td></tr></table>after"));
    EXPECT_EQ(mixed.cy, table.cy + 2 * tm.tmHeight);
    // Without its closing tag the table runs to the end of the text.
    const SIZE open = Measure(QStringLiteral("before<table><tr><td>cell"));
    EXPECT_EQ(open.cy, table.cy + tm.tmHeight);
    EXPECT_EQ(r.m_arrTables.size(), 1u);
}

TEST_F(HtmlLayoutTest, ImagesStripsAndAnimation)
{
    HBITMAP picture = CreateCompatibleBitmap(dc.dc, 40, 20);
    HBITMAP strip = CreateCompatibleBitmap(dc.dc, 64, 16);
    const auto handle = [](HBITMAP b) { return QString::number(reinterpret_cast<uintptr_t>(b), 16); };
    EXPECT_EQ(Measure(QStringLiteral("<bmp handle=0x%1 width=50% height=50%>").arg(handle(picture))).cx, 21);
    SIZE size = Measure(QStringLiteral("<bmp handle=0x%1 width=50% height=50% style=s>").arg(handle(picture)));
    // The shadow widens the box; the line's height follows the picture itself.
    EXPECT_EQ(size.cx, 25);
    EXPECT_EQ(size.cy, 11);
    EXPECT_EQ(Measure(QStringLiteral("<bmp handle=0x%1 width=20 height=10>").arg(handle(picture))).cx, 21);

    EXPECT_EQ(Measure(QStringLiteral("<ilst handle=0x%1 index=3>").arg(handle(strip))).cx, 17);
    EXPECT_EQ(Measure(QStringLiteral("<ilst handle=0x%1 index=4>").arg(handle(strip))).cx, 0);

    Layout(QStringLiteral("<ilst handle=0x%1 index=2 speed=3>").arg(handle(strip)));
    ASSERT_EQ(r.m_animations.size(), 1u);
    std::vector<int> frames;
    std::vector<BOOL> changes;
    for (int i = 0; i < 9; ++i) {
        changes.push_back(r.StepAnimations());
        frames.push_back(r.m_animations[0].nFrame);
    }
    EXPECT_EQ(changes, (std::vector<BOOL> { FALSE, FALSE, TRUE, FALSE, FALSE, TRUE, FALSE, FALSE, TRUE }));
    EXPECT_EQ(frames, (std::vector<int> { 2, 2, 3, 3, 3, 0, 0, 0, 1 }));
    // The markup's handles stay the caller's.
    EXPECT_EQ(GetObjectType(picture), DWORD(OBJ_BITMAP));
    DeleteObject(picture);
    DeleteObject(strip);

    // A picture the markup may not have: no source, an unknown file, a missing resource.
    EXPECT_EQ(Measure(QStringLiteral("<bmp><icon file=/nonexistent/x.ico><bmp idres=9999>")).cx, 0);
}

// Records the renderer's two messages.
class CLinkWindow : public CWindowImpl<CLinkWindow> {
public:
    std::vector<std::pair<UINT, QString>> log;
    std::function<void()> onRepaint;

    BEGIN_MSG_MAP(CLinkWindow)
    MESSAGE_HANDLER(WM_HTML_REPAINT, OnRepaint)
    MESSAGE_HANDLER(WM_TOOLTIP_HYPERLINK, OnLink)
    END_MSG_MAP()

    LRESULT OnRepaint(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        log.emplace_back(WM_HTML_REPAINT, QString::number(int(wParam)) + u'/' + QString::number(lParam));
        if (onRepaint)
            onRepaint();
        return 0;
    }
    LRESULT OnLink(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        log.emplace_back(WM_TOOLTIP_HYPERLINK,
            QString::fromUtf16(reinterpret_cast<const char16_t*>(wParam)) + u'/' + QString::number(lParam));
        return 0;
    }
};

TEST_F(HtmlLayoutTest, HoverAndClickNotifyTheOwner)
{
    CLinkWindow wnd;
    RECT rect { 0, 0, 10, 10 };
    ASSERT_TRUE(wnd.Create(nullptr, &rect, QStringLiteral("links"), WS_POPUP));
    r.SetRepaintNotify(wnd.m_hWnd, WM_HTML_REPAINT, 7);
    r.SetLinkNotify(wnd.m_hWnd, WM_TOOLTIP_HYPERLINK, 9);
    std::vector<QStringList> opened;
    const auto previous = taluvo::shell::SetRequestHook([&](const taluvo::shell::Request& request) {
        if (request.kind == taluvo::shell::RequestKind::OpenUrl)
            opened.push_back(request.arguments);
        return true;
    });
    // The receiver draws again on every repaint, as the tooltip does.
    wnd.onRepaint = [&] {
        const RECT all { 0, 0, 400, 300 };
        r.RenderHtml(dc.dc, &all);
    };

    const QString address = QStringLiteral("http://example.test/a b?x=1&y='2';rm -rf ~ $(id)");
    Layout(QStringLiteral("<a msg=\"1,2,http://example.test/\">first</a> plain <a href=\"%1\">second</a> <a>none</a>")
               .arg(address));
    ASSERT_EQ(r.m_linkAreas.size(), 3u);
    const RECT first = r.m_linkAreas[0].rc;
    const RECT second = r.m_linkAreas[1].rc;
    const RECT none = r.m_linkAreas[2].rc;
    const POINT outside { first.right + 3, first.top + 2 };

    EXPECT_FALSE(r.OnSetCursor(outside));
    EXPECT_TRUE(r.OnSetCursor(POINT { first.left, first.top })) << "a link shows the hand";
    EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_HAND));
    r.OnSetCursor(POINT { first.right, first.bottom }); // edges belong to the area
    r.OnSetCursor(outside);
    r.OnSetCursor(outside);
    EXPECT_FALSE(r.OnSetCursor(POINT { none.left + 1, none.top + 1 })) << "a link without a target shows no hand";
    ASSERT_EQ(wnd.log.size(), 3u);
    EXPECT_EQ(wnd.log[0].second, QStringLiteral("0/7"));
    EXPECT_EQ(wnd.log[1].second, QStringLiteral("-2/7"));
    EXPECT_EQ(wnd.log[2].second, QStringLiteral("2/7"));
    EXPECT_EQ(r.m_linkAreas.size(), 3u); // redrawn three times, still one area per link
    wnd.log.clear();

    r.OnClick(POINT { first.left + 1, first.top + 1 });
    r.OnClick(POINT { second.left + 1, second.top + 1 });
    r.OnClick(POINT { none.left + 1, none.top + 1 });
    r.OnClick(outside);
    ASSERT_EQ(wnd.log.size(), 1u);
    EXPECT_EQ(wnd.log[0].first, WM_TOOLTIP_HYPERLINK);
    EXPECT_EQ(wnd.log[0].second, QStringLiteral("1,2,http://example.test//9"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QStringList { address });

    taluvo::shell::SetRequestHook(previous);
    wnd.DestroyWindow();
}

TEST_F(HtmlLayoutTest, UpdatePopupAndTreeToolTipLayout)
{
    RegisterPopupIcon();
    const QString markup = PopupMarkup(3);
    const SIZE size = Measure(markup);
    ASSERT_EQ(r.m_arrTables.size(), 1u);
    const SHtmlTable& table = r.m_arrTables[0];
    ASSERT_EQ(table.m_colWidths.size(), 2u);
    ASSERT_EQ(table.m_rowHeights.size(), 4u);

    const TEXTMETRIC body = MetricsOf();
    const TEXTMETRIC h2 = MetricsOf(kH2Px, 700);
    int links = 0;
    for (int i = 0; i < 3; ++i)
        links = std::max(links, WidthOf(QStringLiteral("http://example.test/page/%1").arg(i)));
    // The header cell: the heading's line, the rule's line (9 pixels, 1 pixel wide plus the whole
    // block) and the break; it spans both columns.
    const int header = WidthOf(QStringLiteral("Updated web page:"), kH2Px, 700) + 1;
    int col0 = 16 + 4;
    int col1 = links + 4;
    if (col0 + col1 < header) {
        const int d = header + 4 - (col0 + col1);
        col1 += d % 2;
        col0 += d / 2;
        col1 += d / 2;
    }
    EXPECT_EQ(table.m_colWidths, (std::vector<int> { col0, col1 }));
    EXPECT_EQ(table.m_rowHeights[0], h2.tmHeight + 9 + 4);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(table.m_rowHeights[i], std::max<int>(body.tmHeight, 16) + 4) << i;
    EXPECT_EQ(size.cx, col0 + col1 + 1 + 1);

    Resize(size.cx, size.cy);
    const RECT rect { 0, 0, size.cx, size.cy };
    r.RenderHtml(dc.dc, &rect);
    // One area per row's link, in the second column, one row below another.
    ASSERT_EQ(r.m_linkAreas.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.m_linkAreas[i].rc.left, col0 + 1 + 2);
        EXPECT_EQ(r.m_linkAreas[i].strLink, QStringLiteral("1,%1,http://example.test/page/%2").arg(i + 1).arg(i));
    }
    const QImage popup = Snapshot();
    // The heading is centred in the spanning cell, the icon drawn in green at the left.
    EXPECT_EQ(popup.pixelColor(2 + 8, table.m_rowHeights[0] + 1 + 2 + 8).green(), 128);
    EXPECT_TRUE(popup.save(ArtefactPath(QStringLiteral("html-update-popup.png"))));

    const SIZE tip = Measure(PageToolTipMarkup());
    ASSERT_EQ(r.m_arrTables.size(), 1u);
    const int labels = WidthOf(QStringLiteral("Last checked:")) + 4;
    EXPECT_EQ(r.m_arrTables[0].m_colWidths[0],
        std::max(labels,
            r.m_arrTables[0].m_colWidths[0])); // the header may widen it
    EXPECT_GE(r.m_arrTables[0].m_colWidths[1], WidthOf(QStringLiteral("http://example.test/")) + 4);
    EXPECT_EQ(r.m_arrTables[0].m_rowHeights.size(), 7u);
    Resize(tip.cx, tip.cy);
    const RECT tipRect { 0, 0, tip.cx, tip.cy };
    r.RenderHtml(dc.dc, &tipRect);
    ASSERT_EQ(r.m_linkAreas.size(), 1u);
    EXPECT_EQ(r.m_linkAreas[0].strLink, QStringLiteral("2,7,http://example.test/"));
    EXPECT_TRUE(Snapshot().save(ArtefactPath(QStringLiteral("html-tree-tooltip.png"))));
}

TEST_F(HtmlLayoutTest, HostileMarkupStaysBounded)
{
    RegisterPopupIcon();
    r.m_nMaxWidth = 300;
    const QString nested = QStringLiteral("<b>").repeated(10000) + u'x';
    const QString tables = QStringLiteral("<table><tr><td>").repeated(10000) + u'x';
    const QString fonts = QStringLiteral("<font size=+7 face=\"%1\">").arg(QString(100, u'Z')).repeated(2000) + u'x';
    const QString big = QStringLiteral("word ").repeated(200000);
    const QString oneWord = QString(1 << 18, u'w');
    const QString rows
        = QStringLiteral("<table>") + QStringLiteral("<tr><td colspan=99999 rowspan=99999>c").repeated(5000);
    const QString huge = QStringLiteral("<bmp handle=1 width=99999999 height=99999999><hr size=99999999 width=99999999>"
                                        "<br=999999999><t=999999999><font size=99999999>x</font>"
                                        "<table cellspacing=99999999 border=99999999><tr><td width=99999999 height=-5 "
                                        "bgcolor=red>y</td></tr></table>");
    const QString titles = PopupMarkup(20, QStringLiteral("<a title=\"x\" & 'y' </table> <<table>"));
    for (const QString& text : { nested, tables, fonts, big, oneWord, rows, huge, titles }) {
        SIZE size { -1, -1 };
        r.MeasureHtml(dc.dc, text, &size);
        EXPECT_GE(size.cx, 0);
        EXPECT_GE(size.cy, 0);
        const RECT rect { 0, 0, std::min<int>(size.cx, 400), std::min<int>(size.cy, 300) };
        r.RenderHtml(dc.dc, &rect);
    }
    // The grid of a table with thousands of rows of huge spans stays bounded.
    Measure(rows);
    ASSERT_EQ(r.m_arrTables.size(), 1u);
    EXPECT_LE(r.m_arrTables[0].m_rowHeights.size() * r.m_arrTables[0].m_colWidths.size(), size_t(kHtmlMaxTableCells));
    EXPECT_LE(r.m_arrTables[0].m_rowHeights.size(), size_t(kHtmlMaxTableRows));
    // Tables nested deeper than the bound take no records.
    Measure(tables);
    EXPECT_EQ(r.m_arrTables.size(), size_t(kHtmlMaxTableDepth));
}

TEST_F(HtmlLayoutTest, RandomMarkupMeasuresAndDraws)
{
    static const char16_t* const kPieces[] = { u"<table", u"<tr", u"<td", u"</td>", u"</tr>", u"</table>", u">",
        u" colspan=", u" rowspan=", u" width=", u"<b>", u"</b>", u"<i>", u"<center>", u"<justify>", u"<br>", u"<br=",
        u"<t>", u"<hr", u"<a msg=", u"<a href=", u"</a>", u"<font size=", u"<span class=cpp-comment>", u"<h2>",
        u"</h2>", u"<icon idres=128>", u"<ilst handle=", u" index=", u" speed=", u"\"", u"=", u"<", u"<<", u"&lt;",
        u"&amp;", u" ", u"word", u"longerwordwithoutbreak", u"-", u"\n", u"\t", u"%", u"9", u"0", u"-3", u"99999",
        u" valign=bottom", u" cellspacing=3", u" border=2", u" bgcolor=red", u"<string idres=1>" };
    std::mt19937 random(20261210);
    for (int round = 0; round < 400; ++round) {
        QString text;
        const int count = int(random() % 60);
        for (int i = 0; i < count; ++i)
            text += QString::fromUtf16(kPieces[random() % std::size(kPieces)]);
        r.m_nMaxWidth = int(random() % 3) * 150;
        SIZE size { -1, -1 };
        r.MeasureHtml(dc.dc, text, &size);
        ASSERT_GE(size.cx, 0) << text.toStdString();
        ASSERT_GE(size.cy, 0) << text.toStdString();
        const RECT rect { 0, 0, size.cx, size.cy };
        r.RenderHtml(dc.dc, &rect);
        r.OnSetCursor(POINT { int(random() % 400), int(random() % 300) });
        r.StepAnimations();
    }
}

} // namespace
