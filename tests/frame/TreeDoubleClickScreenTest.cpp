// The tree's double click through the real pointer on a virtual X server: which parts of a row
// open the page, and what the user is told when the page's row is gone or the database is
// damaged. Run by a probe; skipped with a message when the X tools are not installed.
#include "tests/frame/CheckTestSupport.h"
#include "tests/frame/FrameTestSupport.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace taluvo::test;

namespace {

TEST(TreeDoubleClick, OpensOnlyOnAPagesLabelOrIconAndReportsAMissingRowAndADamagedDatabase)
{
    const QStringList missing = tray::MissingTools();
    if (!missing.isEmpty())
        GTEST_SKIP() << "double-click check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool)";
    ASSERT_EQ(
        Sqlite(DatabasePath(),
            SchemaSql() + Group(1, "NEWS", 1, 1) + Group(2, "SPORT", 1, 1)
                + Insert({ 1, 1, "http://example.test/daily", "http://browser.test/daily", "Daily news", 1700000000 })
                + Insert({ 2, 1, "http://example.test/weather", "http://browser.test/weather", "Weather", 1700000000 })
                + Insert({ 3, 2, "http://example.test/scores", "http://browser.test/scores", "Scores", 1700000000 })),
        "");
    ::setenv("TALUVO_PROBE_DATABASE", DatabasePath().c_str(), 1);
    ::setenv("TALUVO_PROBE_ARTEFACTS", TALUVO_FRAME_ARTEFACT_DIR, 1);
    const auto run
        = tray::RunProbeWithTrayHost(QStringLiteral(TALUVO_FRAME_DBLCLICK_PROBE), QStringLiteral("1024x768x24"));
    std::printf("%s", qPrintable(run.output));
    ASSERT_TRUE(run.started) << "xvfb-run did not start";
    ASSERT_TRUE(run.finished) << "the double-click check did not finish";
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    for (const char* line : { "page label: opens the page: yes", "page icon: opens the page: yes",
             "right of the page label: opens nothing: yes", "page indent: opens nothing: yes",
             "group expand button: opens nothing: yes", "group label: opens nothing: yes",
             "group label: the group opened or closed: yes",
             "deleted page: \"Error: Unable to find page in database.\": yes", "deleted page: nothing opened: yes",
             "damaged database: nothing opened: yes" })
        EXPECT_TRUE(run.output.contains(QString::fromLatin1(line))) << line;
    EXPECT_TRUE(run.output.contains(QStringLiteral("damaged database: \"Error: SQL Error. ")));
}

} // namespace
