// The options sheet on each of its eleven pages and the e-mail test dialog after a try against a
// real SMTP server, on a virtual X server with a window manager, kept as screenshots in the suite's
// artefacts folder. Skipped with a message when the X tools are not installed.
#include "tests/mail/MailTestSupport.h"
#include "tests/support/TestEnvironment.h"

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

TEST(OptionsScreen, EveryPageAndTheTestDialogKeptAsScreenshots)
{
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "openbox" })
        if (!Installed(tool))
            GTEST_SKIP() << "screenshots skipped: " << tool << " not installed (Debian packages xvfb, xauth, openbox)";
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    const std::string artefacts = TALUVO_DIALOGS_ARTEFACT_DIR;
    std::system(("mkdir -p '" + artefacts + "'").c_str());
    taluvo::test::TempDir dir;
    const std::string log = dir.File("shots.txt");
    const std::string command = "XDG_RUNTIME_DIR='" + dir.Path()
        + "' QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' sh -c "
          "'openbox --sm-disable >/dev/null 2>&1 & wm=$!; \"$0\" \"$@\"; rc=$?; kill $wm; exit $rc' '"
        + std::string(TALUVO_DIALOGS_OPTIONS_SHOTS) + "' '" + artefacts + "' " + std::to_string(server.Port()) + " >'"
        + log + "' 2>&1";
    const int rc = std::system(command.c_str());
    const std::string said = taluvo::test::ReadFile(log);
    ASSERT_EQ(rc, 0) << said;
    EXPECT_NE(said.find("box: Congratulations: E-mail was SUCCESSFULLY send."), std::string::npos) << said;
    std::vector<std::string> names;
    for (int page = 1; page <= 11; ++page)
        names.push_back("options-" + std::string(page < 10 ? "0" : "") + std::to_string(page) + ".png");
    names.push_back("email-test.png");
    for (const std::string& name : names) {
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
