#include "platform/shell/Launch.h"

#include "platform/shell/PathIsUrl.h"
#include "platform/shell/ShellHooks.h"
#include "platform/shell/WinExec.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

using namespace taluvo::test;

TEST(Launch, DefaultBrowserComesFromMimeappsAndTheDesktopFile)
{
    TempDir dir;
    for (const char* sub : { "/config", "/data", "/data/applications", "/sys", "/sys/applications", "/empty" })
        mkdir((dir.Path() + sub).c_str(), 0755);
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", dir.File("empty").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    setenv("XDG_DATA_DIRS", dir.File("sys").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
    QString desktop, exec;

    // Nothing registered anywhere.
    EXPECT_FALSE(taluvo::shell::FindDefaultBrowser(desktop, exec));
    EXPECT_TRUE(desktop.isEmpty());

    // A system-wide default, its desktop file in the system data folder; value escapes undone.
    WriteFile(
        dir.File("sys/applications/mimeapps.list"), "[Default Applications]\nx-scheme-handler/http=sys.desktop\n");
    WriteFile(
        dir.File("sys/applications/sys.desktop"), "[Desktop Entry]\nName=Sys\n[Desktop Action new]\nExec=wrong\n");
    EXPECT_FALSE(taluvo::shell::FindDefaultBrowser(desktop, exec));
    EXPECT_EQ(desktop, QString::fromStdString(dir.File("sys/applications/sys.desktop")));
    WriteFile(dir.File("sys/applications/sys.desktop"),
        "[Desktop Entry]\nName=Sys\nExec=\"/opt/my\\sbrowser/run\" %u\n[Desktop Action new]\nExec=wrong\n");
    ASSERT_TRUE(taluvo::shell::FindDefaultBrowser(desktop, exec));
    EXPECT_EQ(exec, QStringLiteral("\"/opt/my browser/run\" %u"));

    // The user's own choice wins; its first entry without a desktop file is skipped.
    WriteFile(
        dir.File("config/mimeapps.list"), "[Default Applications]\nx-scheme-handler/http=gone.desktop;user.desktop;\n");
    WriteFile(dir.File("data/applications/user.desktop"), "[Desktop Entry]\nExec=userbrowser --new %U\n");
    ASSERT_TRUE(taluvo::shell::FindDefaultBrowser(desktop, exec));
    EXPECT_EQ(exec, QStringLiteral("userbrowser --new %U"));
}

TEST(Launch, ProgramsThatCannotStartGiveAnError)
{
    TempDir dir;
    DWORD error = 0;
    EXPECT_FALSE(taluvo::shell::RunProgram({ QStringLiteral("/nonexistent/program"), QStringLiteral("x") }, &error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(taluvo::shell::RunProgram({ QStringLiteral("no-such-program-anywhere") }, &error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    WriteFile(dir.File("plain.txt"), "not a program");
    EXPECT_FALSE(taluvo::shell::RunProgram({ QString::fromStdString(dir.File("plain.txt")) }, &error));
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(taluvo::shell::RunProgram({}, &error));

    setenv("PATH", dir.Path().c_str(), 1); // no xdg-open there
    EXPECT_EQ(taluvo::shell::OpenUrl(QStringLiteral("http://example.com/")), taluvo::shell::SE_ERR_NOASSOC);
}

TEST(Launch, HookedRequestsStartNothing)
{
    std::vector<taluvo::shell::Request> seen;
    taluvo::shell::SetRequestHook([&](const taluvo::shell::Request& r) {
        seen.push_back(r);
        return true;
    });
    EXPECT_TRUE(taluvo::shell::RunProgram({ QStringLiteral("/nonexistent/program"), QStringLiteral("a b") }));
    EXPECT_EQ(taluvo::shell::OpenUrl(QStringLiteral("http://x/")), taluvo::shell::SE_SUCCESS);
    taluvo::shell::SetRequestHook({});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].arguments, (QStringList { QStringLiteral("/nonexistent/program"), QStringLiteral("a b") }));
    EXPECT_EQ(seen[1].kind, taluvo::shell::RequestKind::OpenUrl);
}

TEST(Launch, OnlyWebAddressesReachTheDesktopOpener)
{
    // A stand-in xdg-open that records what it was given, first on the search path.
    TempDir dir;
    WriteArgvRecorder(dir.File("xdg-open"), dir.File("opened"));
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    setenv("PATH", (dir.Path() + ":" + savedPath).c_str(), 1);

    const struct {
        const char* address;
        bool web;
    } cases[] = {
        { "http://example.com/a b", true },
        { "HTTPS://Example.com/", true },
        { "file:///etc/passwd", false },
        { "file:///home/user/evil.desktop", false },
        { "javascript:alert(1)", false },
        { "data:text/html,<script>alert(1)</script>", false },
        { "place:sort=8&maxResults=10", false },
        { "ftp://files.example/", false },
        { "-http://example.com/", false },
        { " http://example.com/", false },
        { "http://", false },
        { "http:example.com", false },
        { "", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const QString address = QString::fromUtf8(c.address);
        EXPECT_EQ(taluvo::shell::IsWebAddress(address), c.web);
        if (c.web)
            continue;
        EXPECT_EQ(taluvo::shell::OpenUrl(address), taluvo::shell::SE_ERR_NOASSOC);
    }
    // What the opener got is the one web address opened after all the others were refused.
    EXPECT_EQ(taluvo::shell::OpenUrl(QStringLiteral("https://example.com/?q=1")), taluvo::shell::SE_SUCCESS);
    EXPECT_EQ(
        ReadArgv(dir.File("opened")), (std::vector<std::string> { dir.File("xdg-open"), "https://example.com/?q=1" }));
    setenv("PATH", savedPath.c_str(), 1);
}

TEST(Launch, WinExecSplitsTheLineAndReportsFailuresBelow32)
{
    std::vector<QStringList> seen;
    taluvo::shell::SetRequestHook([&](const taluvo::shell::Request& r) {
        seen.push_back(r.arguments);
        return true;
    });
    EXPECT_GT(WinExec(QStringLiteral("\"/opt/my browser/run\" \"http://a/?q=1 2\""), 5), 31u);
    EXPECT_GT(WinExec("/usr/bin/tool \"caf\xc3\xa9 x\"", 5), 31u);
    taluvo::shell::SetRequestHook({});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (QStringList { QStringLiteral("/opt/my browser/run"), QStringLiteral("http://a/?q=1 2") }));
    EXPECT_EQ(seen[1], (QStringList { QStringLiteral("/usr/bin/tool"), QString::fromUtf8("caf\xc3\xa9 x") }));

    TempDir dir;
    WriteFile(dir.File("plain.txt"), "not a program");
    EXPECT_EQ(WinExec(QString(), 5), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(WinExec("   ", 5), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(WinExec(QStringLiteral("/nonexistent/program x"), 5), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(WinExec(QString::fromStdString(dir.File("plain.txt")), 5), ERROR_ACCESS_DENIED);
}

TEST(Launch, WinExecStartsAProgramWithItsArguments)
{
    TempDir dir;
    const std::string script = dir.File("record args.sh");
    const std::string out = dir.File("args.txt");
    WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + out + "\"\n");
    chmod(script.c_str(), 0755);
    const QString line = QStringLiteral("\"%1\" one \"two words\" '$(x)'").arg(QString::fromStdString(script));
    ASSERT_GT(WinExec(line, 5), 31u);
    const std::string expected = "one\ntwo words\n'$(x)'\n";
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(out) == expected; })) << ReadFile(out);
}

TEST(Launch, PathIsUrlWantsASchemeOfTwoOrMoreCharacters)
{
    struct Case {
        const char* text;
        BOOL url;
    };
    const Case cases[] = {
        { "http://example.com/", TRUE },
        { "https://a b", TRUE },
        { "ftp:x", TRUE },
        { "mailto:a@b.c", TRUE },
        { "svn+ssh://h/p", TRUE },
        { "x-y.z:1", TRUE },
        { "http:", TRUE },
        { "c:\\dir\\file", FALSE },
        { "/usr/bin/x", FALSE },
        { "", FALSE },
        { "www.example.com", FALSE },
        { ":x", FALSE },
        { "1http://a", FALSE },
        { " http://a", FALSE },
        { "ht tp://a", FALSE },
        { "h_t://a", FALSE },
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathIsURL(QString::fromUtf8(c.text)), c.url) << c.text;
}

TEST(Launch, OpenFileRefusesWhatIsNoFileBeforeAnythingStarts)
{
    TempDir dir;
    std::vector<taluvo::shell::Request> seen;
    taluvo::shell::SetRequestHook([&](const taluvo::shell::Request& r) {
        seen.push_back(r);
        return true;
    });
    WriteFile(dir.File("Taluvo.log"), "Description : x\n");
    EXPECT_EQ(taluvo::shell::OpenFile(QString::fromStdString(dir.File("missing.log"))), taluvo::shell::SE_ERR_FNF);
    EXPECT_EQ(taluvo::shell::OpenFile(QString::fromStdString(dir.Path())), taluvo::shell::SE_ERR_FNF);
    EXPECT_EQ(taluvo::shell::OpenFile(QString()), taluvo::shell::SE_ERR_FNF);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(taluvo::shell::OpenFile(QString::fromStdString(dir.File("Taluvo.log"))), taluvo::shell::SE_SUCCESS);
    taluvo::shell::SetRequestHook({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, taluvo::shell::RequestKind::OpenFile);
    EXPECT_EQ(seen[0].arguments, QStringList { QString::fromStdString(dir.File("Taluvo.log")) });

    setenv("PATH", dir.Path().c_str(), 1); // no xdg-open there
    EXPECT_EQ(taluvo::shell::OpenFile(QString::fromStdString(dir.File("Taluvo.log"))), taluvo::shell::SE_ERR_NOASSOC);
}
