// The import wizard's two pages on a virtual X server with a window manager, kept as screenshots in
// the suite's artefacts folder. Skipped with a message when the X tools are not installed.
#include "tests/dialogs/ImportFixtureHome.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cstdlib>
#include <set>
#include <string>

namespace {

bool Installed(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(ImportWizardScreen, BothPagesKeptAsScreenshots)
{
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "openbox" })
        if (!Installed(tool))
            GTEST_SKIP() << "screenshots skipped: " << tool << " not installed (Debian packages xvfb, xauth, openbox)";
    taluvo::test::ImportFixtureHome home;
    home.Use();
    const std::string artefacts = TALUVO_DIALOGS_ARTEFACT_DIR;
    std::system(("mkdir -p '" + artefacts + "'").c_str());
    taluvo::test::TempDir dir;
    const std::string log = dir.File("shots.txt");
    const std::string command = "XDG_RUNTIME_DIR='" + dir.Path()
        + "' QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' sh -c "
          "'openbox --sm-disable >/dev/null 2>&1 & wm=$!; \"$0\" \"$@\"; rc=$?; kill $wm; exit $rc' '"
        + std::string(TALUVO_DIALOGS_WIZARD_SHOTS) + "' '" + artefacts + "' '" + dir.File("import.db") + "' >'" + log
        + "' 2>&1";
    const int rc = std::system(command.c_str());
    const std::string said = taluvo::test::ReadFile(log);
    ASSERT_EQ(rc, 0) << said;
    EXPECT_NE(said.find("rows listed: 5\n"), std::string::npos) << said;
    for (const char* name : { "import-source.png", "import-list.png" }) {
        const QImage image(QString::fromStdString(artefacts + "/" + name));
        ASSERT_FALSE(image.isNull()) << name << "\n" << said;
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 8u) << name;
    }
}

} // namespace
