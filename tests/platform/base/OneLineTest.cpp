#include "platform/base/OneLine.h"

#include <gtest/gtest.h>

TEST(OneLine, NoBreakOfAnyKindSurvives)
{
    struct Case {
        QString in;
        QString oneLine;
        QString simplified;
    };
    const Case cases[] = {
        { QStringLiteral("evil\r\nDescription : FAKE\r\n"), QStringLiteral("evil Description : FAKE "),
            QStringLiteral("evil Description : FAKE") },
        { QString::fromUtf16(u"a\u2028b\u2029c\u0085d\u000Be\u000Cf\u001B[2Jg\u007Fh\u0000i", 20),
            QStringLiteral("a b c d e f [2Jg h i"), QStringLiteral("a b c d e f [2Jg h i") },
        { QStringLiteral("  My \t\t page  \n"), QStringLiteral("  My   page   "), QStringLiteral("My page") },
        { QStringLiteral("Caf\u00E9 \u00A0 Bar"), QStringLiteral("Caf\u00E9 \u00A0 Bar"),
            QStringLiteral("Caf\u00E9 Bar") },
        { QString(), QString(), QString() },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(taluvo::OneLine(c.in), c.oneLine) << c.in.toStdString();
        EXPECT_EQ(taluvo::SimplifiedLine(c.in), c.simplified) << c.in.toStdString();
    }
}

TEST(OneLine, NoDirectionControlTurnsTheLineShown)
{
    // What a page's title would show reversed on one line shows in the order it was written; the
    // right-to-left letters themselves stay.
    struct Case {
        QString in;
        QString oneLine;
    };
    const Case cases[] = {
        { QStringLiteral("RTL \u202Etxt.exe\u202C"), QStringLiteral("RTL  txt.exe ") },
        { QStringLiteral("a\u202Ab\u202Bc\u202Cd\u202De\u202Ef"), QStringLiteral("a b c d e f") },
        { QStringLiteral("a\u2066b\u2067c\u2068d\u2069e"), QStringLiteral("a b c d e") },
        { QStringLiteral("a\u200Eb\u200Fc\u061Cd"), QStringLiteral("a b c d") },
        { QStringLiteral("x\u202E\u2066\r\ny"), QStringLiteral("x y") },
        { QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627 \u200D\u2060"),
            QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627 \u200D\u2060") },
    };
    for (const Case& c : cases)
        EXPECT_EQ(taluvo::OneLine(c.in), c.oneLine) << c.in.toStdString();
    // A title taken from a page is stored as it came: only what shows it cleans it.
    EXPECT_EQ(
        taluvo::SimplifiedLine(QStringLiteral(" RTL \u202Etxt.exe\u202C ")), QStringLiteral("RTL \u202Etxt.exe\u202C"));
}
