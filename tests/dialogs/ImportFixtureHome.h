// A home folder with what the bookmark import reads: a Favorites tree of shortcut files (with a
// folder linked into itself and a shortcut that is no address) and a Firefox profile whose
// bookmarks file holds mixed-case addresses, a repeated address and anchors without address.
// The walk order of the favorites and the document order of the anchors are given as lists of
// name and address, as the wizard lists them.
#pragma once

#include "tests/support/TestEnvironment.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace taluvo::test {

using ImportRows = std::vector<std::pair<std::string, std::string>>;

class ImportFixtureHome {
public:
    ImportFixtureHome()
    {
        namespace fs = std::filesystem;
        const std::string fav = Favorites();
        fs::create_directories(fav + "/Tools/Deep");
        WriteFile(fav + "/Tools/Deep/Manual.url", Shortcut("https://tools.example/Manual"));
        WriteFile(fav + "/Tools/Compiler.url", Shortcut("HTTPS://Tools.Example/Compiler?Lang=C"));
        WriteFile(fav + "/News.url", Shortcut("HTTP://News.Example.COM/Today?Id=A"));
        WriteFile(fav + "/Weather.url", Shortcut("https://weather.example/"));
        WriteFile(fav + "/Plain words.url", Shortcut("plain words"));
        // Targets a shortcut may hold that are no web pages: none is listed.
        WriteFile(fav + "/Passwords.url", Shortcut("file:///etc/passwd"));
        WriteFile(fav + "/Tools/Launcher.url", Shortcut("file:///home/user/Downloads/evil.desktop"));
        WriteFile(fav + "/Script.url", Shortcut("javascript:alert(document.cookie)"));
        WriteFile(fav + "/Inline.url", Shortcut("data:text/html,<script>alert(1)</script>"));
        fs::create_directory_symlink(fav, fav + "/Loop");

        const std::string firefox = m_home.Path() + "/.mozilla/firefox";
        fs::create_directories(firefox + "/Profiles/x.default");
        WriteFile(firefox + "/profiles.ini",
            "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\n"
            "IsRelative=1\nPath=Profiles/x.default\n");
        WriteFile(firefox + "/Profiles/x.default/bookmarks.html",
            "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n"
            "<DT><H3>Reading</H3>\n<DL><p>\n"
            "<DT><A HREF=\"https://Blog.Example/Posts/First\">First post</A>\n"
            "<DT><A HREF=\"https://user:PW@Mixed.Example:8080/A/B#Top\">Mixed &amp; case</A>\n"
            "</DL><p>\n"
            "<DT><A>No address</A>\n"
            "<DT><A HREF=\"https://blog.example/Posts/First\">Same post again</A>\n"
            "<DT><A HREF=\"ftp://FILES.example/pub/\">Files</A>\n"
            "<DT><A HREF=\"place:sort=8&amp;maxResults=10\">Recently visited</A>\n"
            "<DT><A HREF=\"https://news.example.com/Today?Id=A\"></A>\n"
            "</DL>\n");
    }
    ~ImportFixtureHome()
    {
        if (m_oldHome)
            ::setenv("HOME", m_oldHome->c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    ImportFixtureHome(const ImportFixtureHome&) = delete;
    ImportFixtureHome& operator=(const ImportFixtureHome&) = delete;

    // The readers look below HOME while it points here.
    void Use()
    {
        if (const char* old = std::getenv("HOME"))
            m_oldHome = old;
        ::setenv("HOME", m_home.Path().c_str(), 1);
    }
    std::string Path() const { return m_home.Path(); }
    std::string Favorites() const { return m_home.Path() + "/Favorites"; }
    std::string ProfileList() const { return m_home.Path() + "/.mozilla/firefox/profiles.ini"; }
    // The profile list replaced by a pipe nobody writes to.
    void ProfileListAsFifo() const
    {
        std::filesystem::remove(ProfileList());
        ::mkfifo(ProfileList().c_str(), 0600);
    }

    // The rows the list shows for each source, in order.
    static ImportRows FavoritesRows()
    {
        return { { "Manual", "https://tools.example/Manual" }, { "Compiler", "https://tools.example/Compiler?Lang=C" },
            { "News", "http://news.example.com/Today?Id=A" }, { "Weather", "https://weather.example/" } };
    }
    static ImportRows FirefoxRows()
    {
        return { { "First post", "https://blog.example/Posts/First" },
            { "Mixed & case", "https://user:PW@mixed.example:8080/A/B#Top" },
            { "Same post again", "https://blog.example/Posts/First" }, { "", "https://news.example.com/Today?Id=A" } };
    }

private:
    static std::string Shortcut(const std::string& url) { return "[InternetShortcut]\r\nURL=" + url + "\r\n"; }

    TempDir m_home;
    std::optional<std::string> m_oldHome;
};

} // namespace taluvo::test
