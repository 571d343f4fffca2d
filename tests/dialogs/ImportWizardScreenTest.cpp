// The import wizard's two pages on a virtual X server with a window manager, kept as screenshots in
// the suite's artefacts folder. Skipped with a message when the X tools are not installed.
#include "tests/dialogs/ImportFixtureHome.h"
#include "tests/dialogs/ScreenShotSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
    taluvo::test::TempDir empty;
    // A home whose one Firefox bookmark has an address far longer than the list is wide.
    taluvo::test::TempDir longHome;
    const std::string longAddress = "https://archive.example/reports/2026/december/" + std::string(12, 'x')
        + "/quarterly-summary-of-prices-and-deliveries-for-every-region-and-every-shop"
        + "?region=north&shop=central&lang=en&format=full&print=no&session=0123456789abcdef0123456789abcdef";
    std::filesystem::create_directories(longHome.Path() + "/.mozilla/firefox/Profiles/x.default");
    taluvo::test::WriteFile(longHome.Path() + "/.mozilla/firefox/profiles.ini",
        "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/x.default\n");
    taluvo::test::WriteFile(longHome.Path() + "/.mozilla/firefox/Profiles/x.default/bookmarks.html",
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><A HREF=\"" + longAddress
            + "\">Quarterly report</A>\n</DL>\n");
    const int rc = taluvo::test::RunUnderXvfb(dir.Path(), TALUVO_DIALOGS_WIZARD_SHOTS,
        "'" + artefacts + "' '" + dir.File("import.db") + "' '" + empty.Path() + "' '" + longHome.Path() + "'", log);
    const std::string said = taluvo::test::ReadFile(log);
    ASSERT_EQ(rc, 0) << said;
    EXPECT_NE(said.find("rows listed: 4\n"), std::string::npos) << said;
    // The long address: cut in its cell, whole in the tooltip under the pointer, on the screen.
    for (const char* line : { "address tip shown: yes\n", "address tip holds the whole address: yes\n",
             "address tip within the screen: yes" })
        EXPECT_NE(said.find(line), std::string::npos) << line << said;

    // The two columns fill the list, and the addresses get what they need to be shown whole.
    int name = 0, url = 0, list = 0, needed = 0;
    const size_t columns = said.find("columns: ");
    ASSERT_NE(columns, std::string::npos) << said;
    ASSERT_EQ(std::sscanf(said.c_str() + columns, "columns: name %d, url %d, list %d, addresses need %d", &name, &url,
                  &list, &needed),
        4)
        << said;
    EXPECT_GT(list, 300);
    EXPECT_LE(std::abs(name + url - list), 1) << said;
    EXPECT_NE(said.find("horizontal scroll bar: hidden\n"), std::string::npos) << said;
    EXPECT_GE(url, needed) << "an address is cut: " << said;
    EXPECT_GE(name, list / 5) << said;

    // An empty home: the note stands where the list would, and says where the import looked.
    for (const std::string source : { "firefox", "favorites" }) {
        EXPECT_NE(said.find(source + ": note shown: yes, list shown: no\n"), std::string::npos) << said;
        const size_t start = said.find(source + " note: <");
        ASSERT_NE(start, std::string::npos) << said;
        const std::string note = said.substr(start, said.find(">\n", start) - start);
        EXPECT_NE(note.find("No bookmarks were found."), std::string::npos) << note;
        EXPECT_NE(note.find(empty.Path() + (source == "firefox" ? "/.mozilla/firefox/profiles.ini" : "/Favorites")),
            std::string::npos)
            << note;
    }
    for (const char* name :
        { "import-source.png", "import-list.png", "import-empty-firefox.png", "import-empty-favorites.png" }) {
        const QImage image(QString::fromStdString(artefacts + "/" + name));
        ASSERT_FALSE(image.isNull()) << name << "\n" << said;
        EXPECT_GT(taluvo::test::ColourCount(image), 8u) << name;
    }
}

} // namespace
