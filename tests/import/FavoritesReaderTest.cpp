#include "import/FavoritesReader.h"

#include "tests/import/ImportTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace fs = std::filesystem;

namespace {

std::string Shortcut(const std::string& url)
{
    return "[DEFAULT]\r\nBASEURL=" + url + "\r\n[InternetShortcut]\r\nURL=" + url
        + "\r\nIDList=\r\nIconIndex=0\r\n"
          "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n";
}

// The import's walk: each folder's level first (folders, then links), then the level's links.
void Walk(const SFavoriteNode* head, const std::string& prefix, std::vector<std::string>& out)
{
    for (const SFavoriteNode* folder = head->m_pNextFolder; folder; folder = folder->m_pNextFolder) {
        EXPECT_EQ(folder->m_dwKind, SFGAO_FOLDER);
        if (folder->m_pChild)
            Walk(folder->m_pChild, prefix + folder->m_pszName.toStdString() + "/", out);
    }
    for (const SFavoriteNode* link = head->m_pNextLink; link; link = link->m_pNextLink) {
        EXPECT_EQ(link->m_dwKind, SFGAO_LINK);
        out.push_back(prefix + link->m_pszName.toStdString() + " -> " + link->m_pszUrl.toStdString());
    }
}

std::vector<std::string> Walk(const SFavoriteNode* root)
{
    std::vector<std::string> out;
    if (root)
        Walk(root, "", out);
    return out;
}

std::vector<std::string> FolderNames(const SFavoriteNode* head)
{
    std::vector<std::string> names;
    for (const SFavoriteNode* folder = head->m_pNextFolder; folder; folder = folder->m_pNextFolder)
        names.push_back(folder->m_pszName.toStdString());
    return names;
}

} // namespace

TEST(FavoritesReader, ReadsTheTreeInWalkOrder)
{
    TempDir home;
    const std::string fav = home.Path() + "/Favorites";
    fs::create_directories(fav + "/News/Local");
    fs::create_directories(fav + "/Links");
    fs::create_directories(fav + "/empty folder");
    fs::create_directories(fav + "/Folder.url"); // a folder, whatever its name says
    WriteFile(fav + "/Folder.url/Inside.url", Shortcut("https://inside.example/"));
    WriteFile(fav + "/Links/Search.url", Shortcut("https://search.example/?q=a&b=c"));
    WriteFile(fav + "/News/Local/Paper.url", Shortcut("https://paper.example/"));
    WriteFile(fav + "/News/World.url", Shortcut("https://world.example/"));
    WriteFile(fav + "/zeta.url", Shortcut("https://zeta.example/"));
    WriteFile(fav + "/Alpha.URL", Shortcut("https://alpha.example/"));
    WriteFile(fav + "/Bom.url", "\xEF\xBB\xBF[InternetShortcut]\nURL=https://bom.example/\n");
    WriteFile(fav + "/Grüße.url", "[InternetShortcut]\nURL=https://xn--gre-6ka8i.example/Grüße\n");
    // Left out: a shortcut without URL, one with an empty URL, one that is not an INI file, a
    // plain file, a hidden shortcut, a dangling link, and a link that makes a folder contain itself.
    WriteFile(fav + "/NoUrl.url", "[InternetShortcut]\nIconIndex=0\n");
    WriteFile(fav + "/EmptyUrl.url", "[InternetShortcut]\nURL=\n");
    WriteFile(fav + "/Binary.url",
        std::string("\x7F"
                    "ELF\x02\x01\0\0garbage\nmore",
            20));
    WriteFile(fav + "/notes.txt", "URL=https://notes.example/\n");
    WriteFile(fav + "/.hidden.url", Shortcut("https://hidden.example/"));
    fs::create_symlink(fav + "/missing", fav + "/Dangling.url");
    fs::create_directory_symlink(fav, fav + "/News/Loop");

    CFavoritesReader reader;
    reader.SetFolder(QString::fromStdString(fav));
    const SFavoriteNode* root = reader.Read();
    ASSERT_NE(root, nullptr);
    const std::vector<std::string> expected = {
        "Folder.url/Inside -> https://inside.example/",
        "Links/Search -> https://search.example/?q=a&b=c",
        "News/Local/Paper -> https://paper.example/",
        "News/World -> https://world.example/",
        "Alpha -> https://alpha.example/",
        "Bom -> https://bom.example/",
        "Grüße -> https://xn--gre-6ka8i.example/Grüße",
        "zeta -> https://zeta.example/",
    };
    EXPECT_EQ(Walk(root), expected);

    // Shape: back pointers as the walk's callers may use them.
    EXPECT_EQ(root->m_dwKind, 0u);
    EXPECT_TRUE(root->m_pszName.isNull());
    EXPECT_EQ(root->m_pParent, nullptr);
    EXPECT_EQ(FolderNames(root), (std::vector<std::string> { "empty folder", "Folder.url", "Links", "News" }));
    const SFavoriteNode* empty = root->m_pNextFolder;
    EXPECT_EQ(empty->m_pPrevFolder, root);
    ASSERT_NE(empty->m_pChild, nullptr);
    EXPECT_EQ(empty->m_pChild->m_pParent, empty);
    EXPECT_EQ(empty->m_pChild->m_pNextFolder, nullptr);
    EXPECT_EQ(empty->m_pChild->m_pNextLink, nullptr);
    EXPECT_EQ(empty->m_pNextFolder->m_pPrevFolder, empty);
    const SFavoriteNode* news = empty->m_pNextFolder->m_pNextFolder->m_pNextFolder;
    EXPECT_EQ(FolderNames(news->m_pChild), std::vector<std::string> { "Local" }); // the loop is left out
    const SFavoriteNode* first = root->m_pNextLink;
    EXPECT_EQ(first->m_pParent, root);
    EXPECT_EQ(first->m_pPrevLink, nullptr);
    EXPECT_TRUE(first->m_pszUrl.startsWith(QStringLiteral("https://alpha")));
    EXPECT_EQ(first->m_pNextLink->m_pPrevLink, first);
    EXPECT_EQ(first->m_pNextLink->m_pParent, nullptr);
}

TEST(FavoritesReader, ReadReplacesTheTreeOrKeepsItWhenTheFolderIsGone)
{
    TempDir home;
    const std::string fav = home.Path() + "/Favorites";
    fs::create_directories(fav + "/A");
    WriteFile(fav + "/A/Inner.url", Shortcut("https://inner.example/"));
    WriteFile(fav + "/B.url", Shortcut("https://b.example/"));

    // The default folder is Favorites in the user's home.
    CFavoritesReader reader;
    const SFavoriteNode* first = nullptr;
    {
        taluvo::test::CHomeOverride override(home.Path());
        first = reader.Read();
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(
        Walk(first), (std::vector<std::string> { "A/Inner -> https://inner.example/", "B -> https://b.example/" }));

    // A second read replaces the tree (the first is freed: the sanitizer build finds any leak).
    reader.SetFolder(QString::fromStdString(fav));
    WriteFile(fav + "/C.url", Shortcut("https://c.example/"));
    const SFavoriteNode* second = reader.Read();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reader.m_pRoot, second);
    EXPECT_EQ(Walk(second).size(), 3u);

    // A folder that is not there, or not a folder: null, and the last tree stays.
    for (const std::string& missing : { home.Path() + "/Nope", fav + "/B.url" }) {
        reader.SetFolder(QString::fromStdString(missing));
        EXPECT_EQ(reader.Read(), nullptr);
        EXPECT_EQ(reader.m_pRoot, second);
    }

    // An empty favorites folder: a head with no folders and no links.
    TempDir emptyHome;
    reader.SetFolder(QString::fromStdString(emptyHome.Path()));
    const SFavoriteNode* empty = reader.Read();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->m_pNextFolder, nullptr);
    EXPECT_EQ(empty->m_pNextLink, nullptr);

    reader.Clear();
    EXPECT_EQ(reader.m_pRoot, nullptr);
}

TEST(FavoritesReader, ShortcutFilesAreReadTolerantly)
{
    TempDir dir;
    struct Case {
        const char* what;
        std::string content;
        const char* url; // null: not a usable shortcut
    };
    const Case cases[] = {
        { "usual file", Shortcut("https://a.example/"), "https://a.example/" },
        { "lower-case names, spaces", "[internetshortcut]\nurl = https://b.example/ \n", "https://b.example/" },
        { "lines without = in the section", "[InternetShortcut]\nnoise\nURL=https://c.example/\n",
            "https://c.example/" },
        { "semicolon inside the URL", "[InternetShortcut]\nURL=https://d.example/a;b=c\n", "https://d.example/a;b=c" },
        { "no URL", "[InternetShortcut]\nIconFile=x\n", nullptr },
        { "URL in another section only", "[Other]\nURL=https://e.example/\n", nullptr },
        { "URL given twice", "[InternetShortcut]\nURL=https://f.example/\nURL=https://g.example/\n", nullptr },
        { "empty", "", nullptr },
        { "too large to be a shortcut", "[InternetShortcut]\nURL=https://h.example/\n" + std::string(2 << 20, ';'),
            nullptr },
    };
    for (const Case& c : cases) {
        const std::string path = dir.File("s.url");
        WriteFile(path, c.content);
        const QString url = ReadInternetShortcutUrl(path);
        if (c.url) {
            EXPECT_EQ(url.toStdString(), c.url) << c.what;
        } else {
            EXPECT_TRUE(url.isNull()) << c.what;
        }
    }
    EXPECT_TRUE(ReadInternetShortcutUrl(dir.File("missing.url")).isNull());
}

TEST(FavoritesReader, FoldersReachedByManyLinksAreReadOnce)
{
    // Every level links twice to the next one: walked per path, 24 levels would be 2^24 folders.
    TempDir home;
    const std::string fav = home.Path() + "/Favorites";
    const int levels = 24;
    for (int i = 0; i < levels; ++i) {
        const std::string level = home.Path() + "/level" + std::to_string(i);
        fs::create_directories(level);
        WriteFile(
            level + "/Page" + std::to_string(i) + ".url", Shortcut("https://p" + std::to_string(i) + ".example/"));
        if (i + 1 < levels) {
            const std::string next = home.Path() + "/level" + std::to_string(i + 1);
            fs::create_directory_symlink(next, level + "/a");
            fs::create_directory_symlink(next, level + "/b");
        }
    }
    fs::create_directory_symlink(home.Path() + "/level0", fav);

    CFavoritesReader reader;
    reader.SetFolder(QString::fromStdString(fav));
    const SFavoriteNode* root = reader.Read();
    ASSERT_NE(root, nullptr);
    const std::vector<std::string> links = Walk(root);
    ASSERT_EQ(links.size(), size_t(levels));
    EXPECT_EQ(links.back(), "Page0 -> https://p0.example/");
    // The second link to a level already read is left out rather than listed empty.
    EXPECT_EQ(FolderNames(root), std::vector<std::string> { "a" });
}
