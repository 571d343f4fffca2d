#include "platform/shell/CommandLine.h"

#include <gtest/gtest.h>

using taluvo::shell::Placeholders;
using taluvo::shell::SplitCommandLine;

namespace {

QStringList Args(std::initializer_list<const char16_t*> list)
{
    QStringList out;
    for (const char16_t* s : list)
        out.push_back(QString::fromUtf16(s));
    return out;
}

} // namespace

TEST(CommandLine, SplitsByDesktopEntryQuoting)
{
    struct Case {
        const char16_t* line;
        QStringList argv;
    };
    const Case cases[] = {
        { u"", {} },
        { u" \t  ", {} },
        { u"plain", Args({ u"plain" }) },
        { u"  a   b\tc  ", Args({ u"a", u"b", u"c" }) },
        { u"\"/opt/my tools/run\" --flag", Args({ u"/opt/my tools/run", u"--flag" }) },
        { u"a \"\" b", Args({ u"a", u"", u"b" }) },
        { u"pre\"quoted part\"post x", Args({ u"prequoted partpost", u"x" }) },
        // Inside quotes a backslash escapes " ` $ and itself only.
        { u"echo \"say \\\"hi\\\" \\$HOME \\` \\\\ end\"", Args({ u"echo", u"say \"hi\" $HOME ` \\ end" }) },
        { u"\"C:\\dir\\file\"", Args({ u"C:\\dir\\file" }) },
        // Outside quotes a backslash is an ordinary character and does not protect a blank.
        { u"a\\ b c\\\"d e\"", Args({ u"a\\", u"b", u"c\\d e" }) },
        // Shell characters mean nothing.
        { u"x; rm -rf / | y $(z) `w` &", Args({ u"x;", u"rm", u"-rf", u"/", u"|", u"y", u"$(z)", u"`w`", u"&" }) },
        // An open quote runs to the end.
        { u"a \"b c", Args({ u"a", u"b c" }) },
        { u"a \"b\\\"", Args({ u"a", u"b\"" }) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitCommandLine(QString::fromUtf16(c.line)), c.argv) << QString::fromUtf16(c.line).toStdString();
}

TEST(CommandLine, TheAddressIsAlwaysInsideOneArgument)
{
    const QString address = QStringLiteral("http://a.example/x y?q=\"1\"&r=$(rm) %1 %u");
    struct Case {
        const char16_t* line;
        Placeholders style;
        QStringList argv;
        bool substituted;
    };
    const QString& a = address;
    const Case cases[] = {

        { u"notify %1 %1", Placeholders::Percent1, { QStringLiteral("notify"), a, a }, true },
        { u"/usr/bin/logger -t taluvo \"Page %1 changed\"", Placeholders::Percent1,
            { QStringLiteral("/usr/bin/logger"), QStringLiteral("-t"), QStringLiteral("taluvo"),
                QStringLiteral("Page ") + a + QStringLiteral(" changed") },
            true },
        { u"\"/opt/my tools/run\" --url=%1", Placeholders::Percent1,
            { QStringLiteral("/opt/my tools/run"), QStringLiteral("--url=") + a }, true },
        { u"run \"%1\"", Placeholders::Percent1, { QStringLiteral("run"), a }, true },
        { u"no placeholder %u", Placeholders::Percent1, Args({ u"no", u"placeholder", u"%u" }), false },
        { u"browser %U", Placeholders::DesktopEntry, { QStringLiteral("browser"), a }, true },
        { u"browser --new-window %u", Placeholders::DesktopEntry,
            { QStringLiteral("browser"), QStringLiteral("--new-window"), a }, true },
        { u"\"/opt/b b/bin\" %i --class=x %c %k %F", Placeholders::DesktopEntry,
            { QStringLiteral("/opt/b b/bin"), QStringLiteral("--class=x"), a }, true },
        { u"app 100%% \"\"", Placeholders::DesktopEntry, Args({ u"app", u"100%", u"" }), false },
        { u"app %1", Placeholders::DesktopEntry, Args({ u"app" }), false },
    };
    for (const Case& c : cases) {
        bool substituted = !c.substituted;
        EXPECT_EQ(SplitCommandLine(QString::fromUtf16(c.line), address, c.style, &substituted), c.argv)
            << QString::fromUtf16(c.line).toStdString();
        EXPECT_EQ(substituted, c.substituted) << QString::fromUtf16(c.line).toStdString();
    }
}
