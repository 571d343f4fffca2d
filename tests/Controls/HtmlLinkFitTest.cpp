// Shortening link texts until an HTML text fits a width, measured here by a stand-in that counts
// the visible characters of the widest table row (a tag is invisible, an entity one character).
#include "Controls/HtmlLinkFit.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

constexpr int kCharWidth = 7;

int VisibleWidth(const QString& html)
{
    int widest = 0;
    for (QString row : html.split(QStringLiteral("<tr>"))) {
        row.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        row.replace(QRegularExpression(QStringLiteral("&#?[A-Za-z0-9]+;")), QStringLiteral("_"));
        widest = std::max(widest, static_cast<int>(row.size()) * kCharWidth);
    }
    return widest;
}

QString Row(const QString& target, const QString& text)
{
    return QStringLiteral("<tr><td><a msg=\"%1\">%2</a></td></tr>").arg(target, text);
}

TEST(HtmlLinkFit, LongLinkTextsAreShortenedInTheMiddleOnlyAsFarAsTheyMust)
{
    const QString longText
        = QStringLiteral("http://example.test/") + QString(300, QLatin1Char('x')) + QStringLiteral("/end&amp;more");
    struct Case {
        const char* name;
        QString html;
        int room;
    };
    const Case cases[] = {
        { "fits already", Row(QStringLiteral("1,2,a"), QStringLiteral("http://short.test/")), 400 },
        { "one long row", Row(QStringLiteral("1,2,") + longText, longText), 400 },
        { "a short row beside a long one",
            Row(QStringLiteral("1,1,s"), QStringLiteral("http://short.test/")) + Row(QStringLiteral("1,2,l"), longText),
            400 },
        { "no room for any text", Row(QStringLiteral("1,2,l"), longText), 3 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString fitted = FitLinkTexts(c.html, c.room, VisibleWidth);
        if (VisibleWidth(c.html) <= c.room) {
            EXPECT_EQ(fitted, c.html);
            continue;
        }
        EXPECT_LE(VisibleWidth(fitted), std::max(c.room, kCharWidth));
        // Targets stay whole; a short row stays as it was.
        EXPECT_EQ(fitted.count(QStringLiteral("msg=\"")), c.html.count(QStringLiteral("msg=\"")));
        if (c.html.contains(QStringLiteral("msg=\"1,2,") + longText)) {
            EXPECT_TRUE(fitted.contains(QStringLiteral("msg=\"1,2,") + longText));
        }
        if (c.html.contains(QStringLiteral(">http://short.test/<"))) {
            EXPECT_TRUE(fitted.contains(QStringLiteral(">http://short.test/<")));
        }
        const qsizetype ellipsis = fitted.indexOf(QChar(0x2026));
        ASSERT_GE(ellipsis, 0);
        if (c.room > 100) {
            // As much as the row has room for: one character more would not fit.
            EXPECT_GT(VisibleWidth(fitted) + kCharWidth, c.room);
            EXPECT_TRUE(fitted.contains(QStringLiteral(">http://example.test/xx")));
            EXPECT_TRUE(fitted.contains(QStringLiteral("/end&amp;more</a>")));
        }
        // No entity is cut: every '&' in a text still starts one.
        for (qsizetype at = fitted.indexOf(QLatin1Char('&')); at >= 0; at = fitted.indexOf(QLatin1Char('&'), at + 1))
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^&#?[A-Za-z0-9]+;")).match(fitted.mid(at, 12)).hasMatch())
                << fitted.mid(at, 12).toStdString();
    }
}

} // namespace
