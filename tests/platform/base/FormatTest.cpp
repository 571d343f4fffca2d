#include "platform/base/Format.h"

#include <gtest/gtest.h>

#include <climits>

using taluvo::Format;
using taluvo::FormatN;

TEST(Format, WindowsConventionsInWideFormats)
{
    const QString wide = QStringLiteral("wide");
    const char* narrow = "narrow";
    struct Case {
        QString got;
        const char16_t* want;
    };
    const Case cases[] = {
        { Format(u"%s", wide), u"wide" },
        { Format(u"%hs", narrow), u"narrow" },
        { Format(u"%S", narrow), u"narrow" },
        { Format(u"%ls", wide), u"wide" },
        { Format(u"[TID:%8X] ", 0x1A2Bu), u"[TID:    1A2B] " },
        { Format(u"(%5d) ", 42), u"(   42) " },
        { Format(u"%.2d/%.2d/%.4d", 8, 12, 2026), u"08/12/2026" },
        { Format(u"[%-10d]", 7), u"[7         ]" },
        { Format(u"%I64X", 0x1234567890ABCDEFull), u"1234567890ABCDEF" },
        { Format(u"%I64d", -5000000000LL), u"-5000000000" },
        { Format(u"%d", 0xFFFFFFFFu), u"-1" }, // 32-bit as Windows reads it
        { Format(u"%u", -1), u"4294967295" },
        { Format(u"%x", -1), u"ffffffff" },
        { Format(u"%hd", 70000), u"4464" },
        { Format(u"%lld", LLONG_MIN), u"-9223372036854775808" },
        { Format(u"%05d|%+d|% d", -42, 3, 3), u"-0042|+3| 3" },
        { Format(u"%#x %#o", 255, 8), u"0xff 010" },
        { Format(u"%.3s|%6s|%-6s|", wide, u"ab", u"ab"), u"wid|    ab|ab    |" },
        { Format(u"%*d|%-*d|%.*s", 4, 1, 3, 2, 2, wide), u"   1|2  |wi" },
        { Format(u"%c%c%hc", u'W', 'x', 'y'), u"Wxy" },
        { Format(u"%.2f %e %g", 3.14159, 1.5, 0.0001), u"3.14 1.500000e+00 0.0001" },
        { Format(u"100%%"), u"100%" },
        { Format(u"%p", reinterpret_cast<void*>(0x1234)), u"0000000000001234" },
        { Format(u"%.0d|%.0d", 0, 5), u"|5" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, QString::fromUtf16(c.want));
}

TEST(Format, NarrowFormatsTakeTheOppositeMeaningOfCapitalS)
{
    EXPECT_EQ(Format("%s|%S|%ls|%hs", "a", u"b", QStringLiteral("c"), "d"), QByteArray("a|b|c|d"));
    EXPECT_EQ(Format("%s", QStringLiteral("\u20AC")), QByteArray("\xE2\x82\xAC"));
    EXPECT_EQ(Format(u"%hs", "\xE2\x82\xAC"), QStringLiteral("\u20AC"));
}

TEST(Format, MismatchedAndMissingArgumentsAreConverted)
{
    struct Case {
        QString got;
        const char16_t* want;
    };
    const Case cases[] = {
        { Format(u"%s", 42), u"42" }, { Format(u"%d", u"text"), u"0" }, { Format(u"%d", 3.9), u"3" },
        { Format(u"%f", 2), u"2.000000" }, { Format(u"%s and %s", u"one"), u"one and " },
        { Format(u"%d %d", 1), u"1 0" }, { Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)" },
        { Format(u"%hs", static_cast<const char*>(nullptr)), u"(null)" }, { Format(u"%d", 1, 2, 3), u"1" },
        { Format(u"%c", u"xyz"), u"x" }, { Format(u"%q %"), u"%q %" },
        { Format(u"%d", 1e300), u"-1" }, // saturated to 64 bits, then cut to 32
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, QString::fromUtf16(c.want));
}

TEST(Format, CapacityCutsLikeAFixedBuffer)
{
    EXPECT_EQ(FormatN(6, u"%s", u"abcdefgh"), QStringLiteral("abcde"));
    EXPECT_EQ(FormatN(1, u"%s", u"abc"), QString());
    EXPECT_EQ(FormatN(100, u"%s", u"abc"), QStringLiteral("abc"));
    // A surrogate pair is never split.
    EXPECT_EQ(FormatN(3, u"a%s", QStringLiteral("\U0001F600")), QStringLiteral("a"));
    // Narrow output is cut on a character boundary.
    EXPECT_EQ(FormatN(4, "ab%s", "\xE2\x82\xAC"), QByteArray("ab"));
    EXPECT_EQ(FormatN(6, "ab%s", "\xE2\x82\xAC"), QByteArray("ab\xE2\x82\xAC"));
}

TEST(Format, NullFormatGivesEmptyText)
{
    EXPECT_EQ(Format(static_cast<const char16_t*>(nullptr), 1), QString());
    EXPECT_FALSE(Format(static_cast<const char16_t*>(nullptr)).isNull());
}
