// Hostile markup through the HTML renderer: what it measures is bounded, the work of both passes
// grows with the markup's length (counted in characters searched and measured and in pixels, never
// in time), the draw pass makes exactly the lines the measure pass made, and an address in an
// update popup row stays text inside the row's own link.
#include "tests/Controls/HtmlTestSupport.h"

#include "engine/Alerts.h"
#include "platform/ui/Menu.h"
#include "platform/ui/UserApi.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <sys/stat.h>

namespace {

class HtmlHostileTest : public HtmlCanvasTest { };

// A markup of about `bytes` characters made of one piece repeated.
QString Repeat(const QString& piece, qsizetype bytes)
{
    return piece.repeated(std::max<qsizetype>(1, bytes / piece.size()));
}

TEST_F(HtmlHostileTest, HostileMarkupIsBoundedInSizeAndWork)
{
    RegisterPopupIcon();
    const struct {
        const char* name;
        QString markup;
        int maxWidth;
        int sizeLimit; // each side of the measured size at most this
        qint64 pixelLimit; // pixels of pictures and fills over both passes
        int nesting = 1; // levels of tables the markup nests: each level searches the text again
    } cases[] = {
        { "20000 closed cells in one row", "<table><tr>" + QString("<td>x</td>").repeated(20000) + "</tr></table>", 0,
            kHtmlMaxExtent, 0 },
        { "a 1 MB row", "<table><tr>" + Repeat("<td>ab</td>", 1 << 20) + "</tr></table>", 0, kHtmlMaxExtent, 0 },
        { "cells never closed", "<table><tr>" + QString("<td>x").repeated(20000), 300, kHtmlMaxExtent, 0 },
        { "rows never closed", "<table>" + QString("<tr><td>y").repeated(20000), 0, kHtmlMaxExtent, 0 },
        { "tables never closed", QString("<table><tr><td>").repeated(5000) + "x", 300, kHtmlMaxExtent, 0,
            kHtmlMaxTableDepth },
        { "one cell of many tables",
            "<table><tr><td>" + QString("<table></table>z").repeated(5000) + "</td></tr></table>", 0, kHtmlMaxExtent,
            0 },
        { "a huge icon", "<icon idres=128 width=4096 height=4096 style=s>", 0, 64, 0 },
        { "many large icons", QString("<icon idres=128 width=512 height=512 style=s>").repeated(40), 0, kHtmlMaxExtent,
            2 * kHtmlMaxImagePixels },
        { "huge breaks", QString("<br=99999999>").repeated(10000), 0, kHtmlMaxExtent, 0 },
        { "huge fonts and rules",
            QString("<font size=99999999>x</font><hr size=99999999 width=99999999>").repeated(200), 300, kHtmlMaxExtent,
            0 },
        { "a huge filled cell",
            "<table bgcolor=red bgeffect=noise><tr><td width=99999999 height=99999999>c</td></tr></table>", 0,
            kHtmlMaxExtent, qint64 { 2 } * 400 * 300 },
        { "percentage rules under a width",
            QString("words before <hr width=60%> words after the rule <hr width=30%> and more ").repeated(400), 200,
            kHtmlMaxExtent, 0 },
        { "justified text", "<justify>" + Repeat("justified words of a long line ", 1 << 18), 300, kHtmlMaxExtent, 0 },
        { "unbroken word", QString(1 << 18, u'w'), 250, kHtmlMaxExtent, 0 },
        { "entities everywhere", Repeat("&lt;table&gt;&amp;&quot;<b a=\"&quot;\">", 1 << 19), 300, kHtmlMaxExtent, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        r.m_nMaxWidth = c.maxWidth;
        r.m_work = {};
        SIZE size { -1, -1 };
        r.MeasureHtml(dc.dc, c.markup, &size);
        const int measuredLines = r.m_nLine;
        EXPECT_GE(size.cx, 0);
        EXPECT_GE(size.cy, 0);
        EXPECT_LE(size.cx, c.sizeLimit);
        EXPECT_LE(size.cy, c.sizeLimit);
        const RECT rect { 0, 0, size.cx, size.cy };
        r.RenderHtml(dc.dc, &rect);
        // The draw pass breaks exactly where the measure pass did.
        EXPECT_EQ(r.m_nLine, measuredLines);
        // Searching and measuring are linear in the markup: a few searches over the text per
        // level of nested tables (at most kHtmlMaxTableDepth levels) and pass.
        const qint64 length = c.markup.size();
        EXPECT_LE(r.m_work.scanned, 24 * static_cast<qint64>(c.nesting) * length + 1000)
            << r.m_work.scanned << " for " << length;
        EXPECT_LE(r.m_work.measured, 40 * length + 1000) << r.m_work.measured << " for " << length;
        EXPECT_LE(r.m_work.pixels, c.pixelLimit);
    }
}

TEST_F(HtmlHostileTest, PopupRowsShowHostileAddressesAsText)
{
    RegisterPopupIcon();
    const QString addresses[] = {
        QStringLiteral("http://x/\" href=\"file:///etc/passwd"),
        QStringLiteral("http://example.com/a&b<c>\"d\""),
        QStringLiteral("http://x/&amp;lt;b&gt;&quot;"),
        QStringLiteral("http://x/</a><a href=file:///etc/passwd>y</a><table><tr><td>"),
        QStringLiteral("http://x/' href='file:///etc/passwd' msg='z"),
        QStringLiteral("http://x/<<b>>&nbsp;<br=999>"),
        QStringLiteral("http://x/\"><icon idres=128 width=4096 height=4096>"),
    };
    for (const QString& address : addresses) {
        SCOPED_TRACE(address.toStdString());
        const QString markup = QStringLiteral("<body><table>") + BuildPopupRow(1, 2, address, address)
            + QStringLiteral("</table></body>");
        SIZE size { 0, 0 };
        r.MeasureHtml(dc.dc, markup, &size);
        const RECT rect { 0, 0, size.cx, size.cy };
        r.RenderHtml(dc.dc, &rect);
        // One link: the row's own message, carrying the whole address; the address is its text,
        // drawn at the width of its characters in the link's font.
        ASSERT_EQ(r.m_linkAreas.size(), 1u);
        EXPECT_EQ(r.m_linkAreas[0].nType, 2);
        EXPECT_EQ(r.m_linkAreas[0].strLink, QStringLiteral("1,2,") + address);
        EXPECT_EQ(r.m_linkAreas[0].rc.right - r.m_linkAreas[0].rc.left, WidthOf(address));
        // The row's icon and nothing else: the address brings no picture of its own.
        EXPECT_EQ(r.m_imageBoxes.size(), 1u);
    }

    // The popup as the user sees it with all of them, under the header the main window writes.
    QString lines;
    WORD page = 1;
    for (const QString& address : addresses)
        AddPopupRow(lines, BuildPopupRow(1, page++, address, address), true, 10);
    r.SetSelectorStyle(QStringLiteral("h2"),
        QStringLiteral("font-size:17px; color:#ff9900; font-family:DejaVu Sans; font-weight:bold"));
    const QString popup = QStringLiteral("<body><table><tr><td colspan=2><center><h2>Updated web page:</h2><br>"
                                         "<hr color=blue></center><br></td></tr>")
        + lines + QStringLiteral("</table></body>");
    SIZE size { 0, 0 };
    r.MeasureHtml(dc.dc, popup, &size);
    Resize(size.cx, size.cy);
    const RECT rect { 0, 0, size.cx, size.cy };
    r.RenderHtml(dc.dc, &rect);
    EXPECT_EQ(r.m_linkAreas.size(), std::size(addresses));
    EXPECT_TRUE(Snapshot().save(ArtefactPath(QStringLiteral("html-update-popup-hostile.png"))));
}

TEST_F(HtmlHostileTest, PictureFilesAreReadOnlyWhenRegularAndSmall)
{
    const QDir home(qEnvironmentVariable("TALUVO_HOME"));
    const QString fifo = home.filePath(QStringLiteral("picture.fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString good = home.filePath(QStringLiteral("picture.png"));
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    ASSERT_TRUE(picture.save(good));
    const QString huge = home.filePath(QStringLiteral("huge.png"));
    QImage wide(4000, 4000, QImage::Format_Mono);
    wide.fill(0);
    ASSERT_TRUE(wide.save(huge)); // a small file that decodes to 16 million pixels
    const struct {
        QString markup;
        int width; // of the measured size, less the 1 added
    } cases[] = {
        { QStringLiteral("<bmp file=\"%1\">").arg(good), 20 },
        { QStringLiteral("<bmp file=\"%1\"><icon file=\"%1\">").arg(fifo), 0 }, // never waits for a writer
        { QStringLiteral("<bmp file=/dev/zero><bmp file=/proc/self/mem><bmp file=\"%1\">").arg(home.path()), 0 },
        { QStringLiteral("<bmp file=\"%1\">").arg(huge), 0 },
        { QStringLiteral("<table background=\"file:%1\"><tr><td width=30 height=20></td></tr></table>").arg(fifo),
            30 + 4 },
    };
    for (const auto& c : cases) {
        SIZE size { 0, 0 };
        r.MeasureHtml(dc.dc, c.markup, &size);
        EXPECT_EQ(size.cx, c.width ? c.width + 1 : 0) << c.markup.toStdString();
        const RECT rect { 0, 0, size.cx, size.cy };
        r.RenderHtml(dc.dc, &rect);
    }
}

TEST_F(HtmlHostileTest, MaskRemovesTheColourOfOpaquePictures)
{
    // The program's own pictures are opaque: the mask colour must still make their pixels clear.
    const QString path = QDir(qEnvironmentVariable("TALUVO_HOME")).filePath(QStringLiteral("button249.png"));
    QImage button(12, 6, QImage::Format_ARGB32);
    button.fill(QColor(255, 0, 255));
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y)
            button.setPixelColor(x, y, QColor(0, 0, 200));
    ASSERT_TRUE(button.save(path));
    taluvo::ui::RegisterBitmapResource(249, path);
    Resize(40, 20);
    SIZE size;
    r.MeasureHtml(dc.dc, QStringLiteral("<bmp idres=249 mask>"), &size);
    const RECT rect { 0, 0, size.cx, size.cy };
    r.RenderHtml(dc.dc, &rect);
    const QImage shot = Snapshot();
    EXPECT_EQ(shot.pixelColor(2, 2), QColor(0, 0, 200));
    EXPECT_EQ(shot.pixelColor(9, 2), QColor(255, 255, 255)); // magenta is see-through
}

TEST_F(HtmlHostileTest, PicturesPartlyOutOfSightDrawTheirVisiblePartAlike)
{
    // A picture drawn across the target's left edge shows the same pixels as the same picture
    // drawn wholly inside it: its effects are worked out for the visible part only.
    const QString path = QDir(qEnvironmentVariable("TALUVO_HOME")).filePath(QStringLiteral("stripes.png"));
    QImage stripes(60, 30, QImage::Format_ARGB32);
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 30; ++y)
            stripes.setPixelColor(x, y, x < 50 ? QColor(x * 5, 255 - x * 4, y * 8) : QColor(255, 0, 255, 0));
    ASSERT_TRUE(stripes.save(path));
    taluvo::ui::RegisterBitmapResource(250, path);
    taluvo::ui::RegisterIconResource(251, path);
    for (const char16_t* tag : { u"<bmp idres=250 style=gs>", u"<bmp idres=250 style=d hotstyle=s>",
             u"<icon idres=251 width=60 height=30 style=ls>" }) {
        SCOPED_TRACE(QString::fromUtf16(tag).toStdString());
        SIZE size;
        Resize(200, 60);
        r.MeasureHtml(dc.dc, QString::fromUtf16(tag), &size);
        RECT rect { 100, 10, 100 + size.cx, 10 + size.cy };
        r.RenderHtml(dc.dc, &rect);
        const QImage inside = Snapshot();
        Resize(200, 60);
        rect = RECT { -25, 10, -25 + size.cx, 10 + size.cy };
        r.RenderHtml(dc.dc, &rect);
        const QImage across = Snapshot();
        for (int x = 0; x < size.cx - 25; ++x)
            for (int y = 0; y < 60; ++y)
                ASSERT_EQ(across.pixel(x, y), inside.pixel(x + 125, y)) << x << "," << y;
    }
}

TEST_F(HtmlHostileTest, TableFillIsWorkedOutOverTheWholeCell)
{
    // A gradient looks the same whether the table lies wholly inside the target or partly out.
    const QString markup = QStringLiteral("<table bgcolor=#000000 bgendcolor=#ffffff bgeffect=hgradient cellspacing=0>"
                                          "<tr><td width=200 height=20></td></tr></table>");
    Resize(400, 60);
    SIZE size;
    r.MeasureHtml(dc.dc, markup, &size);
    RECT rect { 0, 0, size.cx, size.cy };
    r.RenderHtml(dc.dc, &rect);
    const QImage whole = Snapshot();
    Resize(400, 60);
    rect = RECT { -100, 0, size.cx - 100, size.cy };
    r.RenderHtml(dc.dc, &rect);
    const QImage shifted = Snapshot();
    for (int x = 0; x < 90; x += 10)
        EXPECT_EQ(shifted.pixelColor(x, 10), whole.pixelColor(x + 100, 10)) << x;
}

TEST_F(HtmlHostileTest, JustifiedLinesEndOnTheRightEdge)
{
    const int width = 260;
    r.m_nMaxWidth = width;
    const QString paragraph = QStringLiteral(
        "<justify>Every wrapped line of this justified paragraph ends on the right edge of its block, word for word, "
        "while the last line of the paragraph keeps to the left as a reader expects it to.</justify>");
    SIZE size;
    r.MeasureHtml(dc.dc, paragraph, &size);
    Resize(width + 20, size.cy + 10);
    const RECT rect { 0, 0, width, size.cy };
    r.RenderHtml(dc.dc, &rect);
    const QImage shot = Snapshot();
    ASSERT_TRUE(shot.save(ArtefactPath(QStringLiteral("html-justified.png"))));
    int justified = 0;
    for (size_t i = 0; i < r.m_lines.size(); ++i) {
        const SHtmlLine& line = r.m_lines[i];
        if (!line.bWrapped)
            continue;
        ++justified;
        // The rightmost inked column of the line: its last glyph ends within its side bearing of
        // the edge, never short of it by more.
        int top = 0;
        for (size_t k = 0; k < i; ++k)
            top += r.m_lines[k].nHeight;
        int right = -1;
        for (int x = 0; x < shot.width(); ++x)
            for (int y = top; y < top + line.nHeight && y < shot.height(); ++y)
                if (qGray(shot.pixel(x, y)) < 128)
                    right = x;
        EXPECT_GE(right, width - 3) << "line " << i;
        EXPECT_LT(right, width) << "line " << i;
    }
    EXPECT_GE(justified, 3);

    // A rectangle narrower than measured gives no negative justification: each wrapped line keeps
    // its measured width instead of words being pushed into each other.
    r.MeasureHtml(dc.dc, QStringLiteral("<a msg=j>") + paragraph + QStringLiteral("</a>"), &size);
    const RECT narrow { 0, 0, width / 2, size.cy };
    r.RenderHtml(dc.dc, &narrow);
    ASSERT_GE(r.m_linkAreas.size(), 4u); // one area per line: one piece each
    ASSERT_GE(r.m_lines.size(), r.m_linkAreas.size());
    for (size_t i = 0; i < r.m_linkAreas.size(); ++i) {
        if (r.m_lines[i].bWrapped) {
            EXPECT_EQ(r.m_linkAreas[i].rc.right - r.m_linkAreas[i].rc.left, r.m_lines[i].nWidth) << "line " << i;
        }
    }
}

} // namespace
