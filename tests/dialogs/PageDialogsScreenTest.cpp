// The page dialogs on a virtual X server with a window manager: each is kept as a screenshot, and
// the content dialog shows the page text in the three marking colours. Skipped with a message when
// the X tools are not installed.
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

bool Installed(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int Count(const std::string& log, const std::string& name)
{
    const size_t at = log.find(name + " ");
    return at == std::string::npos ? -1 : std::atoi(log.c_str() + at + name.size() + 1);
}

TEST(PageDialogsOnScreen, KeptAsScreenshotsWithTheMarkingColours)
{
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "openbox" })
        if (!Installed(tool))
            GTEST_SKIP() << "screenshots skipped: " << tool << " not installed (Debian packages xvfb, xauth, openbox)";
    const std::string artefacts = TALUVO_DIALOGS_ARTEFACT_DIR;
    std::system(("mkdir -p '" + artefacts + "'").c_str());
    taluvo::test::TempDir dir;
    const std::string log = dir.File("shots.txt");
    const std::string command = "XDG_RUNTIME_DIR='" + dir.Path()
        + "' QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' sh -c "
          "'openbox --sm-disable >/dev/null 2>&1 & wm=$!; "
          "\"$0\" \"$@\"; rc=$?; kill $wm; exit $rc' '"
        + std::string(TALUVO_DIALOGS_PAGE_SHOTS) + "' '" + artefacts + "' >'" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = taluvo::test::ReadFile(log);
    std::printf("%s", output.c_str());
    EXPECT_EQ(status, 0) << output;
    for (const char* name : { "page-address-dialog.png", "page-modify-dialog.png", "content-selection-dialog.png",
             "page-properties-dialog.png" })
        EXPECT_NE(output.find("screenshot saved: " + artefacts + "/" + name), std::string::npos) << name;
    // The page properties' read-only fields as the program filled them.
    for (const char* line : { "status shown from its start: yes", "status scrolls to its end: yes",
             "check due in shown from its start: yes", "check due in shown whole: yes" })
        EXPECT_NE(output.find(line), std::string::npos) << line;
    // Start text green, the watched part blue, the stop text red.
    EXPECT_GT(Count(output, "green"), 20) << output;
    EXPECT_GT(Count(output, "blue"), 20) << output;
    EXPECT_GT(Count(output, "red"), 20) << output;
}

} // namespace
