// The main window's tray icon on a real tray: run by a probe under a virtual X server with a tray
// host, skipped with a message when those are not installed.
#include "tests/platform/ui/TrayTestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

namespace {

TEST(MainFrameTray, IconAndMenuOnARealTray)
{
    const QStringList missing = taluvo::test::tray::MissingTools();
    if (!missing.isEmpty())
        GTEST_SKIP() << "tray check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool)";

    const auto run = taluvo::test::tray::RunProbeWithTrayHost(
        QStringLiteral(TALUVO_FRAME_TRAY_PROBE), QStringLiteral("1024x768x24"));
    const QString& output = run.output;
    std::printf("%s", qPrintable(output));
    ASSERT_TRUE(run.started) << "xvfb-run did not start";
    ASSERT_TRUE(run.finished) << "the tray check did not finish";
    EXPECT_EQ(run.exitCode, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("left click restored the window")));
    EXPECT_TRUE(output.contains(QStringLiteral("minimise to tray hid the window while a popup held the icon")));
    EXPECT_TRUE(output.contains(QStringLiteral("menu command closed the window")));
}

} // namespace
