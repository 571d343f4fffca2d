// The main window's tooltips on a real screen: run by a probe under a virtual X server with a tray
// host and a window manager, over a database prepared here whose two pages changed on the page
// server. Skipped with a message when the tools are not installed.
#include "tests/engine/EngineTestSupport.h"
#include "tests/frame/CheckTestSupport.h"
#include "tests/frame/FrameTestSupport.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <cstdio>

using namespace taluvo::test;

namespace {

TEST(MainFrameToolTips, UpdatePopupBesideTheTrayIconAndTreeTooltipOnAScreen)
{
    QStringList missing = tray::MissingTools();
    for (const char* tool : { "openbox", "xprop" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (!missing.isEmpty())
        GTEST_SKIP() << "tooltip screen check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool, openbox, x11-utils)";

    TempDir dir;
    PageServer server(dir, "pages");
    server.SetRoutes({ { QStringLiteral("/one"), Page(QStringLiteral("page one, changed")) },
        { QStringLiteral("/two"), Page(QStringLiteral("page two, changed")) } });
    // Stored checksums the pages no longer have: a check finds both New.
    ASSERT_EQ(Sqlite(DatabasePath(),
                  SchemaSql() + Group(1, "News", 1, sortAlphabeticalAsc)
                      + Insert({ 1, 1, server.Url(QStringLiteral("/one")).toStdString(), "http://browser.test/one",
                          "Page one <b>&amp;</b>", 1700000000 })
                      + Insert({ 2, 1, server.Url(QStringLiteral("/two")).toStdString(), "http://browser.test/two",
                          "Page two", 1700000000 })
                      + "UPDATE PAGES SET checkSum = 1;\n"),
        "");
    qputenv("TALUVO_ARTEFACT_DIR", QByteArray(TALUVO_FRAME_ARTEFACT_DIR));

    const auto run
        = tray::RunProbeWithTrayHost(QStringLiteral(TALUVO_FRAME_TOOLTIP_PROBE), QStringLiteral("1024x768x24"), true);
    const QString& output = run.output;
    std::printf("%s", qPrintable(output));
    ASSERT_TRUE(run.started) << "xvfb-run did not start";
    ASSERT_TRUE(run.finished) << "the tooltip check did not finish";
    EXPECT_EQ(run.exitCode, 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral(": NO"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("popup hid after its time-out: yes")));
    EXPECT_TRUE(output.contains(QStringLiteral("the link opened the stored address: yes")));
    EXPECT_TRUE(output.contains(QStringLiteral("screenshot: "))) << "the screenshots were kept";
}

// The tray takes the icon in only after the popup asked where it is, some way into its bar, and
// moves it to the bar's end while the popup shows; a page's address is too long for the screen.
TEST(MainFrameToolTips, UpdatePopupFollowsTheIconTheTrayMovesAndStaysOnTheScreen)
{
    QStringList missing = tray::MissingTools();
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        missing << QStringLiteral("openbox");
    if (!missing.isEmpty())
        GTEST_SKIP() << "tray screen check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool, openbox)";

    TempDir dir;
    PageServer server(dir, "pages");
    // A page whose address has 1,928 characters, as a user met one.
    const QString prefix = server.Url(QStringLiteral("/long/"));
    const QString longPath = QStringLiteral("/long/") + QString(1928 - prefix.size(), QLatin1Char('a'));
    const QString longAddress = server.Url(longPath);
    ASSERT_EQ(longAddress.size(), 1928);
    server.SetRoutes({ { QStringLiteral("/one"), Page(QStringLiteral("page one, changed")) },
        { longPath, Page(QStringLiteral("the long page, changed")) } });
    ASSERT_EQ(
        Sqlite(DatabasePath(),
            SchemaSql() + Group(1, "News", 1, sortAlphabeticalAsc)
                + Insert({ 1, 1, server.Url(QStringLiteral("/one")).toStdString(), "http://browser.test/one",
                    "Page one", 1700000000 })
                + Insert({ 2, 1, longAddress.toStdString(), longAddress.toStdString(), "The long one", 1700000000 })
                + "UPDATE PAGES SET checkSum = 1;\n"),
        "");
    qputenv("TALUVO_ARTEFACT_DIR", QByteArray(TALUVO_FRAME_ARTEFACT_DIR));
    qputenv("TALUVO_LONG_ADDRESS", longAddress.toLatin1());

    const auto run = tray::RunProbeWithTrayHost(QStringLiteral(TALUVO_FRAME_TRAY_FOLLOW_PROBE),
        QStringLiteral("1024x768x24"), true, QStringLiteral(TALUVO_MOVING_TRAY_HOST));
    const QString& output = run.output;
    std::printf("%s", qPrintable(output));
    ASSERT_TRUE(run.started) << "xvfb-run did not start";
    ASSERT_TRUE(run.finished) << "the tray check did not finish";
    EXPECT_EQ(run.exitCode, 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral(": NO"))) << output.toStdString();
    for (const char* line :
        { "the popup followed the icon the tray moved: yes", "the popup within the virtual screen: yes",
            "the row keeps the whole address: yes", "a second alert of the long address adds no row: yes" })
        EXPECT_TRUE(output.contains(QString::fromLatin1(line))) << line;
}

} // namespace
