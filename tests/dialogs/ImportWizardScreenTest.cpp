// The import wizard's two pages on a virtual X server with a window manager, kept as screenshots in
// the suite's artefacts folder. Skipped with a message when the X tools are not installed.
#include "tests/dialogs/ImportFixtureHome.h"
#include "tests/dialogs/ScreenShotSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cstdlib>
#include <string>

namespace {

TEST(ImportWizardScreen, BothPagesKeptAsScreenshots)
{
    const std::string missing = taluvo::test::MissingXTool();
    if (!missing.empty())
        GTEST_SKIP() << "screenshots skipped: " << missing << " not installed (Debian packages xvfb, xauth, openbox)";
    taluvo::test::ImportFixtureHome home;
    home.Use();
    const std::string artefacts = TALUVO_DIALOGS_ARTEFACT_DIR;
    std::system(("mkdir -p '" + artefacts + "'").c_str());
    taluvo::test::TempDir dir;
    const std::string log = dir.File("shots.txt");
    const int rc = taluvo::test::RunUnderXvfb(dir.Path(), TALUVO_DIALOGS_WIZARD_SHOTS,
        "'" + artefacts + "' '" + dir.File("import.db") + "'", log);
    const std::string said = taluvo::test::ReadFile(log);
    ASSERT_EQ(rc, 0) << said;
    EXPECT_NE(said.find("rows listed: 5\n"), std::string::npos) << said;
    for (const char* name : { "import-source.png", "import-list.png" }) {
        const QImage image(QString::fromStdString(artefacts + "/" + name));
        ASSERT_FALSE(image.isNull()) << name << "\n" << said;
        EXPECT_GT(taluvo::test::ColourCount(image), 8u) << name;
    }
}

} // namespace
