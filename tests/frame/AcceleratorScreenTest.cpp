// The group and page commands' keys, and the work offline key, pressed with xdotool on a virtual X server reach their
// commands, also while the menus show them disabled; the group and properties dialogs they open
// are kept as screenshots. Skipped with a message when the X tools are not installed.
#include "tests/frame/TreeCommandsSupport.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <cstdlib>

namespace {

using namespace taluvo::test;

TEST(FrameAccelerators, KeysReachTheirCommandsAlsoWhenDisabled)
{
    const QStringList missing = tray::MissingTools();
    if (!missing.isEmpty())
        GTEST_SKIP() << "accelerator check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool)";
    ASSERT_EQ(
        Sqlite(DatabasePath(),
            SchemaSql() + Group(1, "NEWS", 1, 1)
                + "INSERT INTO PAGES VALUES(1, 1, 'http://example.test/check', 'http://example.test/browser', "
                  "'<div id=\"news\">', '</div>', 'Daily news', 1700000000, 1699990000, 6699, 1, 3600, 1, 0, 200);\n"),
        "");
    const QString artefacts = QStringLiteral(TALUVO_FRAME_ARTEFACT_DIR);
    ::setenv("TALUVO_PROBE_ARTEFACTS", TALUVO_FRAME_ARTEFACT_DIR, 1);
    const auto run
        = tray::RunProbeWithTrayHost(QStringLiteral(TALUVO_FRAME_ACCEL_PROBE), QStringLiteral("1024x768x24"));
    std::printf("%s", qPrintable(run.output));
    ASSERT_TRUE(run.started) << "xvfb-run did not start";
    ASSERT_TRUE(run.finished) << "the accelerator check did not finish";
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(run.output.count(QStringLiteral(": reached")), 17) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("ctrl+d (disabled): reached")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("alt+Return (enabled): reached")));
    // Pressed twice, the work offline key gives the setting and its check mark back.
    EXPECT_EQ(run.output.count(QStringLiteral("F12 (enabled): reached")), 2) << run.output.toStdString();
    EXPECT_TRUE(
        run.output.contains(QStringLiteral("screenshot saved: ") + artefacts + QStringLiteral("/group-dialog.png")));
    EXPECT_TRUE(run.output.contains(
        QStringLiteral("screenshot saved: ") + artefacts + QStringLiteral("/page-properties-dialog.png")));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable, status FROM PAGES WHERE id = 1;"), "0|3");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM GROUPS WHERE id = 1;"), "0");
}

} // namespace
