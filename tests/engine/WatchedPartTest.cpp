#include "engine/WatchedPart.h"

#include "core/Crc32.h"

#include <gtest/gtest.h>

TEST(WatchedPart, CutsAsTheStoredChecksumsExpect)
{
    struct Case {
        const char16_t* html;
        const char16_t* start;
        const char16_t* stop;
        qsizetype startPos, stopPos;
        const char16_t* part;
    };
    const Case cases[] = {
        {u"abcdef", u"", u"", 0, 5, u"abcd"},                    // the last two units are left out
        {u"xxSTARTabcdSTOPyy", u"START", u"STOP", 2, 11, u"abc"},  // the unit before the stop text too
        {u"xSTARTSTOPy", u"START", u"STOP", 1, 6, u""},
        {u"xSTARTaSTOPy", u"START", u"STOP", 1, 7, u""},
        {u"xSTARTabSTOPy", u"START", u"STOP", 1, 8, u"a"},
        {u"xSTARTabc", u"START", u"STOP", 1, -1, u""},           // no stop after the start
        {u"STOPabc", u"", u"STOP", 0, 0, u""},                   // stop at position 0
        {u"abSTOPcd", u"", u"STOP", 0, 2, u"a"},
        {u"a", u"", u"", 0, 0, u""},
        {u"ab", u"", u"", 0, 1, u""},
        {u"abc", u"", u"", 0, 2, u"a"},
        {u"nothing here", u"START", u"", -1, 0, u""},
        {u"START", u"START", u"", 0, 4, u""},                    // start at the very end
        {u"xxSTARTabcdef", u"START", u"", 2, 12, u"abcd"},       // no stop text: up to two before the end
        {u"STOPxSTARTyySTOP", u"START", u"STOP", 5, 12, u"y"},  // the stop is searched after the start
        {u"aSTARTbSTARTcdSTOP", u"START", u"STOP", 1, 14, u"bSTARTc"},
        {u"caseStartxxSTOP", u"start", u"", -1, 0, u""},        // exact case
    };
    for (const Case& c : cases) {
        const auto cut = CutWatchedPart(QString::fromUtf16(c.html), QString::fromUtf16(c.start), QString::fromUtf16(c.stop));
        EXPECT_EQ(cut.startPos, c.startPos) << QString::fromUtf16(c.html).toStdString();
        EXPECT_EQ(cut.stopPos, c.stopPos) << QString::fromUtf16(c.html).toStdString();
        EXPECT_EQ(cut.part, QString::fromUtf16(c.part)) << QString::fromUtf16(c.html).toStdString();
    }
}

TEST(WatchedPart, ChecksumIsOfTheAnsiBytesUpToAZero)
{
    DWORD crc = 0;
    ASSERT_TRUE(WatchedPartChecksum(QStringLiteral("123456789"), crc));
    EXPECT_EQ(crc, 0xCBF43926u);
    ASSERT_TRUE(WatchedPartChecksum(QStringLiteral("\u00E9"), crc));
    EXPECT_EQ(crc, CCrc32::Of("\xC3\xA9", 2));
    ASSERT_TRUE(WatchedPartChecksum(QString::fromUtf16(u"ab\0cd", 5), crc));
    EXPECT_EQ(crc, CCrc32::Of("ab", 2));
    EXPECT_FALSE(WatchedPartChecksum(QString(), crc));
    EXPECT_FALSE(WatchedPartChecksum(QString::fromUtf16(u"\0abc", 4), crc));
    // Bytes that are not UTF-8 come back exactly as the page sent them.
    ASSERT_TRUE(WatchedPartChecksum(QString::fromUtf16(u"\xDCE9t\xDCE9"), crc));
    EXPECT_EQ(crc, CCrc32::Of("\xE9t\xE9", 3));
}
