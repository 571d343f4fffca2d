// The options sheet on each of its eleven pages and the e-mail test dialog after a try against a
// real SMTP server, on a virtual X server with a window manager, kept as screenshots in the suite's
// artefacts folder. Skipped with a message when the X tools are not installed.
#include "tests/dialogs/ScreenShotSupport.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(OptionsScreen, EveryPageAndTheTestDialogKeptAsScreenshots)
{
    const std::string missing = taluvo::test::MissingXTool();
    if (!missing.empty())
        GTEST_SKIP() << "screenshots skipped: " << missing << " not installed (Debian packages xvfb, xauth, openbox)";
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    const std::string artefacts = TALUVO_DIALOGS_ARTEFACT_DIR;
    std::system(("mkdir -p '" + artefacts + "'").c_str());
    taluvo::test::TempDir dir;
    const std::string log = dir.File("shots.txt");
    const int rc = taluvo::test::RunUnderXvfb(
        dir.Path(), TALUVO_DIALOGS_OPTIONS_SHOTS, "'" + artefacts + "' " + std::to_string(server.Port()), log);
    const std::string said = taluvo::test::ReadFile(log);
    ASSERT_EQ(rc, 0) << said;
    EXPECT_NE(said.find("box: Congratulations: E-mail was SUCCESSFULLY send."), std::string::npos) << said;
    std::vector<std::string> names;
    for (int page = 1; page <= 11; ++page)
        names.push_back("options-" + std::string(page < 10 ? "0" : "") + std::to_string(page) + ".png");
    names.push_back("email-test.png");
    names.push_back("email-test-recipients.png");
    names.push_back("recipients-box.png");
    // The recipients that reach nobody, named in the test dialog and in the real box of OK.
    const std::string csv = artefacts + "/recipients-with-commas.csv";
    const std::string named
        = "The recipients file \"" + csv + "\" holds no usable recipient: change alerts reach nobody.";
    for (const char* where : { "test output: <", "real box: E-mail notification: <" }) {
        const size_t start = said.find(where);
        ASSERT_NE(start, std::string::npos) << where << "\n" << said;
        const std::string text = said.substr(start, said.find(">\n", start) - start);
        EXPECT_NE(text.find(named), std::string::npos) << text;
        EXPECT_NE(
            text.find("Line 1: \"ann@example.org, Ann\" (separated by commas, not by a semicolon)"), std::string::npos)
            << text;
        EXPECT_NE(text.find("Line 2: \"bob@example.org\" (no name after the address)"), std::string::npos) << text;
    }
    EXPECT_NE(said.find("recipients sheet result: 1\n"), std::string::npos) << said;
    for (const std::string& name : names) {
        const QImage image(QString::fromStdString(artefacts) + QLatin1Char('/') + QString::fromStdString(name));

        ASSERT_FALSE(image.isNull()) << name << "\n" << said;
        EXPECT_GT(taluvo::test::ColourCount(image), 8u) << name;
    }
}

} // namespace
