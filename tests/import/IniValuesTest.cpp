#include "import/IniValues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace IniParser;

namespace {

// The code a binding's FromString raises, -1 for none.
int Convert(CValue& value, const std::string& text)
{
    try {
        value.FromString(text);
    } catch (CException* e) {
        std::unique_ptr<CException> owned(e);
        return e->m_nCode;
    }
    return -1;
}

int Render(const CValue& value, std::string& text)
{
    try {
        text = value.ToString();
    } catch (CException* e) {
        std::unique_ptr<CException> owned(e);
        return e->m_nCode;
    }
    return -1;
}

} // namespace

TEST(IniValues, StringKeepsTheTextEvenWhenRefused)
{
    struct Case {
        DWORD maxLength;
        bool emptyAllowed;
        const char* text;
        int code;
    };
    const Case cases[] = {
        { CStringValue::kNoLimit, true, "", -1 },
        { CStringValue::kNoLimit, false, "", 5 },
        { 3, true, "abc", -1 },
        { 3, true, "abcd", 5 },
        { CStringValue::kNoLimit, true, "with ; and = inside", -1 },
    };
    for (const Case& c : cases) {
        std::string target = "before";
        CStringValue value(&target, c.maxLength, c.emptyAllowed);
        EXPECT_EQ(Convert(value, c.text), c.code) << c.text;
        EXPECT_EQ(target, c.text);
        std::string written;
        EXPECT_EQ(Render(value, written), c.code) << c.text;
        if (c.code == -1) {
            EXPECT_EQ(written, c.text);
        }
    }
}

TEST(IniValues, CharBufferAcceptsAtMostCapacityMinusTwo)
{
    struct Case {
        const char* text;
        bool emptyAllowed;
        int code;
        const char* after;
    };
    const Case cases[] = {
        { "123456", true, -1, "123456" },
        { "1234567", true, 5, "old" }, // refused for its length: the buffer is left alone
        { "", true, -1, "" }, { "", false, 5, "" }, // refused after the copy: the buffer holds the new text
    };
    for (const Case& c : cases) {
        char buffer[8 + 4];
        std::memset(buffer, 'Z', sizeof buffer);
        std::strcpy(buffer, "old");
        CCharBufferValue value(buffer, 8, c.emptyAllowed);
        EXPECT_EQ(Convert(value, c.text), c.code) << c.text;
        EXPECT_STREQ(buffer, c.after) << c.text;
        EXPECT_EQ(buffer[8], 'Z') << "written past the capacity";
    }

    // A NUL inside the text ends the copy.
    char buffer[8] = "old";
    CCharBufferValue value(buffer, sizeof buffer, true);
    EXPECT_EQ(Convert(value, std::string("ab\0cd", 5)), -1);
    EXPECT_STREQ(buffer, "ab");

    // A buffer with no terminator inside its capacity is not valid and is never read past it.
    char unterminated[4] = { 'a', 'b', 'c', 'd' };
    CCharBufferValue full(unterminated, sizeof unterminated, true);
    EXPECT_FALSE(full.IsValid());
    std::string written;
    EXPECT_EQ(Render(full, written), 5);

    // Capacities too small for any character refuse every text instead of writing past them.
    char tiny[1] = { '\0' };
    for (DWORD capacity : { 0u, 1u }) {
        CCharBufferValue small(tiny, capacity, true);
        EXPECT_EQ(Convert(small, "x"), 5);
        EXPECT_EQ(Convert(small, ""), 5);
    }
}

TEST(IniValues, ColorIsThreeDecimalBytes)
{
    struct Case {
        const char* text;
        int code;
    };
    const Case cases[] = {
        { "255, 128, 0", -1 },
        { "255,128,0", -1 },
        { " 255 ,128 , 0", -1 },
        { "255, 128", 4 },
        { "256, 0, 0", 4 },
        { "1, 2, 3, 4", 4 },
        { "1; 2; 3", 4 },
        { "-1, 0, 0", 4 },
        { "", 4 },
        { "1, 2, 3x", 4 },
    };
    for (const Case& c : cases) {
        COLORREF target = 0x00ABCDEF;
        CColorValue value(&target);
        EXPECT_EQ(Convert(value, c.text), c.code) << c.text;
        EXPECT_EQ(target, c.code == -1 ? RGB(255, 128, 0) : 0x00ABCDEFu) << c.text;
    }
    COLORREF color = RGB(255, 128, 0);
    std::string written;
    EXPECT_EQ(Render(CColorValue(&color), written), -1);
    EXPECT_EQ(written, "255, 128, 0");
}

TEST(IniValues, BoolUsesItsWordPair)
{
    struct Case {
        int pair;
        const char* text;
        int code;
        bool after;
    };
    const Case cases[] = {
        { 0, "TRUE", -1, true },
        { 0, "False", -1, false },
        { 0, "yes", 4, true },
        { 1, "Yes", -1, true },
        { 1, "NO", -1, false },
        { 1, "true", 4, true },
        { 7, "nonsense", -1, true },
    };
    for (const Case& c : cases) {
        bool target = true;
        CBoolValue value(&target, c.pair);
        EXPECT_EQ(Convert(value, c.text), c.code) << c.text;
        EXPECT_EQ(target, c.after) << c.text;
    }
    bool target = false;
    std::string written;
    EXPECT_EQ(Render(CBoolValue(&target, 0), written), -1);
    EXPECT_EQ(written, "false");
    EXPECT_EQ(Render(CBoolValue(&target, 1), written), -1);
    EXPECT_EQ(written, "no");
    EXPECT_EQ(Render(CBoolValue(&target, 2), written), -1);
    EXPECT_EQ(written, "");
}

TEST(IniValues, NumberReadsIntoATemporary)
{
    struct Case {
        const char* text;
        int code;
        int after; // the target starts at 99
    };
    const Case cases[] = {
        { "42", -1, 42 }, { "042", -1, 42 }, { "-7", -1, -7 }, { "0x10", 4, 0 }, { "4 2", 4, 4 }, { "", 4, 99 },
        { "abc", 4, 99 }, { "99999999999", 4, 99 }, // overflow: no number read
    };
    for (const Case& c : cases) {
        int target = 99;
        CNumberValue<int> value(&target, nullptr, fmtDec, 0);
        EXPECT_EQ(Convert(value, c.text), c.code) << c.text;
        EXPECT_EQ(target, c.after) << c.text;
    }

    int target = 99;
    CNumberValue<int> unit(&target, new SNumberRange<int> { 0, 1, 2 }, fmtDec, 0);
    EXPECT_EQ(Convert(unit, "1"), -1);
    EXPECT_EQ(Convert(unit, "2"), 5);
    EXPECT_EQ(target, 2);
    std::string written;
    EXPECT_EQ(Render(unit, written), 5);

    CNumberValue<int> atLeast(&target, new SNumberRange<int> { 10, 0, 0 }, fmtDec, 0);
    EXPECT_EQ(Convert(atLeast, "10"), -1);
    EXPECT_EQ(Convert(atLeast, "9"), 5);
    CNumberValue<int> atMost(&target, new SNumberRange<int> { 0, 10, 1 }, fmtDec, 0);
    EXPECT_EQ(Convert(atMost, "-100"), -1);
    EXPECT_EQ(Convert(atMost, "11"), 5);
    CNumberValue<int> refusing(&target, new SNumberRange<int> { 0, 10, 5 }, fmtDec, 0);
    EXPECT_EQ(Convert(refusing, "5"), 5);
}

TEST(IniValues, NumberFormats)
{
    struct Case {
        DWORD flags;
        int value;
        const char* text;
    };
    const Case cases[] = {
        { fmtHex, 255, "0xff" }, { fmtOct, 8, "010" }, { fmtDec, -12, "-12" }, { 0, 12, "12" },
        { fmtHex | fmtDec, 16, "16" }, // the first flag set decides
    };
    for (const Case& c : cases) {
        int target = c.value;
        CNumberValue<int> value(&target, nullptr, c.flags, 6);
        std::string written;
        EXPECT_EQ(Render(value, written), -1);
        EXPECT_EQ(written, c.text);
        target = 0;
        EXPECT_EQ(Convert(value, c.text), -1) << c.text;
        EXPECT_EQ(target, c.value) << c.text;
    }

    double real = 1.5;
    CNumberValue<double> scientific(&real, nullptr, fmtScientific, 2);
    std::string written;
    EXPECT_EQ(Render(scientific, written), -1);
    EXPECT_EQ(written, "1.50e+00");
    CNumberValue<double> fixed(&real, nullptr, fmtFixed, 3);
    EXPECT_EQ(Render(fixed, written), -1);
    EXPECT_EQ(written, "1.500");
    EXPECT_EQ(Convert(fixed, "2.25"), -1);
    EXPECT_EQ(real, 2.25);
}
