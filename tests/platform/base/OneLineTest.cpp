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
