#include "import/FireFoxReader.h"

#include "core/Exceptions.h"
#include "tests/import/ImportTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

using taluvo::test::ImportTestFile;
using taluvo::test::ReadFile;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

const char* const kProfilesIni = "[Install4F96D1932A9F858E]\n"
                                 "Default=Profiles/abcd1234.default-release\n"
                                 "Locked=1\n"
                                 "\n"
                                 "[Profile1]\n"
                                 "Name=work\n"
                                 "IsRelative=0\n"
                                 "Path=/somewhere/else\n"
                                 "\n"
                                 "[Profile0]\n"
                                 "Name=default-release\n"
                                 "IsRelative=1\n"
                                 "Path=Profiles/abcd1234.default-release\n"
                                 "Default=1\n"
                                 "\n"
                                 "[General]\n"
                                 "StartWithLastProfile=1\n"
                                 "Version=2\n";

// A Firefox folder below a temporary home, with profiles.ini and the first profile's folder.
struct SFirefoxHome {
    SFirefoxHome()
    {
        firefox = home.Path() + "/.mozilla/firefox";
        profile = firefox + "/Profiles/abcd1234.default-release";
        fs::create_directories(profile);
        WriteFile(firefox + "/profiles.ini", kProfilesIni);
    }
    std::string Bookmarks() const { return profile + "/bookmarks.html"; }

    TempDir home;
    std::string firefox;
    std::string profile;
};

std::vector<std::pair<QString, QString>> Pairs(const std::vector<SBookmark>& bookmarks)
{
    std::vector<std::pair<QString, QString>> pairs;
    pairs.reserve(bookmarks.size());
    for (const SBookmark& b : bookmarks)
        pairs.emplace_back(b.m_strTitle, b.m_strHref);
    return pairs;
}

std::vector<std::pair<QString, QString>> PythonAnchors(const std::string& path)
{
    std::vector<std::pair<QString, QString>> pairs;
    const QJsonArray anchors = taluvo::test::RunPythonJson("anchors_reference.py", { Q(path) }).array();
    for (const auto& anchor : anchors)

        pairs.emplace_back(anchor.toArray().at(0).toString(), anchor.toArray().at(1).toString());
    return pairs;
}

// The message of the failure ReadBookmarksHtml throws, or a null text when it throws none.
QString ReadFailure(const std::string& path, std::vector<SBookmark>& bookmarks)
{
    try {
        taluvo::import::ReadBookmarksHtml(Q(path), bookmarks);
    } catch (CCmnException& e) {
        return e.GetShortText();
    }
    return QString();
}

} // namespace

TEST(FireFoxReader, ReadsTheFirstProfileLikePythonsHtmlParser)
{
    SFirefoxHome firefox;
    fs::copy_file(ImportTestFile("fixtures/bookmarks.html"), firefox.Bookmarks());
    taluvo::test::CHomeOverride home(firefox.home.Path());

    CFireFoxReader reader;
    EXPECT_EQ(reader.GetBookmarksPath(), Q(firefox.Bookmarks()));
    reader.ImportBookmarks(FALSE);
    const auto expected = PythonAnchors(firefox.Bookmarks());
    ASSERT_EQ(expected.size(), 19u) << "the reference script reads the fixture differently";
    EXPECT_EQ(Pairs(reader.m_bookmarks), expected);

    // A second run reloads: the list holds its result alone.
    reader.ImportBookmarks(FALSE);
    EXPECT_EQ(Pairs(reader.m_bookmarks), expected);
}

TEST(FireFoxReader, AgreesWithPythonOnIrregularMarkup)
{
    const char* documents[] = {
        "<DL><p><DT><A HREF=\"https://a.example/\">unclosed dt<DT><A HREF=\"https://b.example/\">second</A></DL>",
        "<dl><dt><a href=x>anchor left open at the end",
        "<A HREF>no value</A><a href=\"q\"/>after a self-closed anchor",
        "<p><a href=\"x\">in one paragraph<p>into the next</a>",
        "<a href='single'>&lt;&gt;&amp;&quot;&#65;&#x42;&eacute;&hellip;</a>",
        "stray \xFF byte before <a href=\"\xC3\xA4\">\xC3\xA4 \xE3\x81 cut \xED\xA0\x80 surrogate</a>",
        "<A\nHREF=\"https://upper.example/\"\nADD_DATE=\"1\">Upper\ncase</A><a hReF=\"mixed\">Mixed</a>",
    };
    TempDir dir;
    for (const char* document : documents) {
        const std::string path = dir.File("irregular.html");
        WriteFile(path, document);
        std::vector<SBookmark> bookmarks;
        ASSERT_TRUE(ReadFailure(path, bookmarks).isNull()) << document;
        EXPECT_EQ(Pairs(bookmarks), PythonAnchors(path)) << document;
    }
}

TEST(FireFoxReader, ProfilesIniDecidesThePath)
{
    struct Case {
        const char* what;
        const char* ini; // null: no profiles.ini
        const char* expected; // below the Firefox folder, "/" for an absolute path, null for none
    };
    const Case cases[] = {
        { "Profile0 among other sections", kProfilesIni, "Profiles/abcd1234.default-release/bookmarks.html" },
        { "names in another letter case, spaces around =",
            "[profile0]\nname = x\nisrelative = 1\npath = Profiles/lower.default\n",
            "Profiles/lower.default/bookmarks.html" },
        { "key=value before any section is skipped", "Foo=1\n[Profile0]\nName=x\nIsRelative=1\nPath=p\n",
            "p/bookmarks.html" },
        { "CRLF lines", "[Profile0]\r\nName=x\r\nIsRelative=1\r\nPath=crlf\r\n", "crlf/bookmarks.html" },
        { "absolute folder", "[Profile0]\nName=x\nIsRelative=0\nPath=/srv/ff/p\n", "/srv/ff/p/bookmarks.html" },
        { "relative path with IsRelative 0", "[Profile0]\nName=x\nIsRelative=0\nPath=p\n", nullptr },
        { "Path missing", "[Profile0]\nName=x\nIsRelative=1\n", nullptr },
        { "IsRelative a word", "[Profile0]\nName=x\nIsRelative=yes\nPath=p\n", nullptr },
        { "line without = in Profile0", "[Profile0]\nName=x\nIsRelative=1\nPath=p\nbroken\n", nullptr },
        { "line without = before any section", "broken\n[Profile0]\nName=x\nIsRelative=1\nPath=p\n", nullptr },
        { "line without = in an undeclared section", "[General]\nbroken\n[Profile0]\nName=x\nIsRelative=1\nPath=p\n",
            nullptr },
        { "Path given twice", "[Profile0]\nName=x\nIsRelative=1\nPath=p\nPath=q\n", nullptr },
        { "no Profile0", "[Profile1]\nName=x\nIsRelative=1\nPath=p\n", nullptr },
        { "empty file", "", nullptr },
        { "binary garbage",
            "\x7F"
            "ELF\x02\x01\x01\xFF\xFE\n\x89PNG\r\n\x1A\n[\x01\x02]\n",
            nullptr },
        { "no profiles.ini", nullptr, nullptr },
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (c.ini)
            WriteFile(dir.File("profiles.ini"), c.ini);
        CFireFoxReader reader;
        reader.SetFolder(Q(dir.Path()));
        QString expected;
        if (c.expected)
            expected = c.expected[0] == '/' ? Q(c.expected) : Q(dir.Path() + "/" + c.expected);
        EXPECT_EQ(reader.GetBookmarksPath(), expected) << c.what;
    }
}

TEST(FireFoxReader, AFailedLookupKeepsTheLastPath)
{
    SFirefoxHome firefox;
    WriteFile(firefox.Bookmarks(), "<DL><DT><A HREF=\"https://kept.example/\">Kept</A></DL>");
    CFireFoxReader reader;
    reader.SetFolder(Q(firefox.firefox));
    reader.ImportBookmarks(FALSE);
    ASSERT_EQ(reader.m_bookmarks.size(), 1u);

    WriteFile(firefox.firefox + "/profiles.ini", "[Profile0]\nbroken\n");
    reader.ImportBookmarks(FALSE);
    EXPECT_EQ(reader.BookmarksPath(), Q(firefox.Bookmarks()));
    ASSERT_EQ(reader.m_bookmarks.size(), 1u);
    EXPECT_EQ(reader.m_bookmarks[0].m_strTitle, QStringLiteral("Kept"));

    // A reader that never found a file runs with no path and lists nothing.
    CFireFoxReader empty;
    empty.SetFolder(Q(firefox.firefox));
    empty.ImportBookmarks(FALSE);
    EXPECT_TRUE(empty.BookmarksPath().isEmpty());
    EXPECT_TRUE(empty.m_bookmarks.empty());
}

TEST(FireFoxReader, BadBookmarksFilesGiveAClearErrorOrNothing)
{
    TempDir dir;
    WriteFile(dir.File("empty.html"), "");
    WriteFile(dir.File("plain"), "x");
    std::mt19937 random(7);
    // Large enough that work growing faster than the file would show as a time-out.
    std::string garbage(16 << 20, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    WriteFile(dir.File("garbage.html"), garbage);
    ASSERT_EQ(mkfifo(dir.File("pipe.html").c_str(), 0600), 0);
    // Larger than the limit without taking the disk space.
    WriteFile(dir.File("huge.html"), "");
    ASSERT_EQ(truncate(dir.File("huge.html").c_str(), 200ll * 1024 * 1024), 0);

    struct Case {
        std::string path;
        const char* messageStart; // null: no failure
    };
    const Case cases[] = {
        { dir.File("missing.html"), "Unable to open bookmarks file" },
        { dir.File("plain/bookmarks.html"), "Unable to open bookmarks file" },
        { dir.Path(), "Bookmarks file" },
        { dir.File("pipe.html"), "Bookmarks file" },
        { dir.File("huge.html"), "Bookmarks file" },
        { "", "No bookmarks file was found." },
        { dir.File("empty.html"), nullptr },
        { dir.File("garbage.html"), nullptr },
    };
    for (const Case& c : cases) {
        std::vector<SBookmark> bookmarks;
        const QString failure = ReadFailure(c.path, bookmarks);
        if (!c.messageStart) {
            EXPECT_TRUE(failure.isNull()) << c.path << ": " << failure.toStdString();
            continue;
        }
        EXPECT_TRUE(failure.startsWith(QLatin1String(c.messageStart))) << c.path << ": " << failure.toStdString();
        if (!c.path.empty()) {
            EXPECT_TRUE(failure.contains(Q(c.path))) << failure.toStdString();
        }
        EXPECT_TRUE(bookmarks.empty());
    }
    std::vector<SBookmark> bookmarks;
    EXPECT_TRUE(ReadFailure(dir.File("huge.html"), bookmarks).contains(QLatin1String("too large")));
    EXPECT_TRUE(ReadFailure(dir.File("empty.html"), bookmarks).isNull());
    EXPECT_TRUE(bookmarks.empty());
}

// A bookmarks file of 50 MB is read whole, and a stop request ends such a read early.
TEST(FireFoxReader, LargeFilesAreReadWithoutHanging)
{
    SFirefoxHome firefox;
    size_t anchors = 0;
    {
        std::ofstream out(firefox.Bookmarks(), std::ios::binary);
        out << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
               "charset=UTF-8\">\n<DL><p>\n";
        const std::string icon(400, 'A');
        size_t written = 0;
        for (size_t i = 0; written < size_t { 50 } * 1000 * 1000; ++i, ++anchors) {
            const std::string line = "    <DT><A HREF=\"https://site" + std::to_string(i)
                + ".example/page?x=1&amp;y=2\" ADD_DATE=\"1700000000\" ICON=\"data:image/png;base64," + icon
                + "\">Bookmark n\xC2\xBA " + std::to_string(i) + "</A>\n";
            out << line;
            written += line.size();
        }
        out << "</DL>\n";
    }
    const auto start = std::chrono::steady_clock::now();
    CFireFoxReader reader;
    reader.SetFolder(Q(firefox.firefox));
    reader.ImportBookmarks(FALSE);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(reader.m_bookmarks.size(), anchors);
    const size_t count = anchors;
    // Every title, including those whose two-byte character was cut between two reads.
    size_t wrong = 0;
    for (size_t i = 0; i < count; ++i) {
        if (reader.m_bookmarks[i].m_strTitle != QStringLiteral("Bookmark n\u00BA %1").arg(i)
            || reader.m_bookmarks[i].m_strHref != QStringLiteral("https://site%1.example/page?x=1&y=2").arg(i))
            ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    RecordProperty("seconds", std::to_string(seconds));
    std::printf("50 MB bookmarks file: %zu anchors in %.2f s\n", count, seconds);

    // A stop request ends the read early with what was found so far.
    std::vector<SBookmark> partial;
    int asked = 0;
    taluvo::import::ReadBookmarksHtml(Q(firefox.Bookmarks()), partial, [&] { return ++asked > 3; });
    EXPECT_LT(partial.size(), count);
    EXPECT_EQ(asked, 4);
}

// The file is parsed in pieces of 256 KiB; a character cut between two pieces stays whole.
TEST(FireFoxReader, CharactersCutBetweenPiecesStayWhole)
{
    const size_t piece = size_t { 256 } * 1024;
    const char* characters[] = { "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80" };
    for (const char* character : characters) {
        const std::string text(character);
        for (size_t before = 1; before < text.size(); ++before) {
            const std::string head = "<a href=\"x\">";
            std::string document = head;
            document.append(piece - head.size() - before, ' ').append(text).append("</a>");
            ASSERT_EQ(document.compare(piece - before, text.size(), text), 0);
            std::vector<SBookmark> bookmarks;
            taluvo::import::ParseBookmarksHtml(document.data(), document.size(), bookmarks);
            ASSERT_EQ(bookmarks.size(), 1u);
            EXPECT_EQ(bookmarks[0].m_strTitle, QString::fromUtf8(character)) << before;
        }
    }
}
