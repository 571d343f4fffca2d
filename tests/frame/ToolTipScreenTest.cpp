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

} // namespace
