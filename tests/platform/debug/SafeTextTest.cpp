#include "platform/debug/SafeText.h"
#include "platform/base/TextCodec.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using namespace taluvo::debug;

TEST(SafeText, FormatsNumbersAndCutsAtItsCapacity)
{
    char buffer[128];
    SafeText text(buffer, sizeof(buffer));
    text.AppendHex(0xC0000005, 8).AppendChar(' ').AppendHex(0x2A, 16).AppendChar(' ').AppendHex(0, 2);
    text.AppendChar(' ').AppendHex(UINT64_MAX, 4).AppendChar(' ').AppendDecimal(INT64_MIN);
    EXPECT_STREQ(text.Text(), "C0000005 000000000000002A 00 FFFFFFFFFFFFFFFF -9223372036854775808");

    char small[8];
    SafeText cut(small, sizeof(small));
    cut.Append("0123456789").AppendHex(0xFF, 2);
    EXPECT_STREQ(cut.Text(), "0123456");
    EXPECT_EQ(cut.Length(), 7u);
}

// The handler's UTF-16 text must read back exactly as the program's own codec decodes the same
// bytes, paths with bytes that are not UTF-8 included.
TEST(SafeText, WritesUtf16LikeTheProgramsCodec)
{
    const std::string samples[] = {
        "plain ASCII\r\n",
        "/home/j\xC3\xBCrgen/\xE2\x82\xAC/\xF0\x9F\x98\x80", // 2-, 3- and 4-byte sequences
        "latin1 \xFC\xE9 byte", // not UTF-8
        "cut \xE2\x82", // incomplete at the end
        "\xED\xA0\x80 surrogate bytes", // encoded surrogates are invalid
    };
    taluvo::test::TempDir dir;
    for (const std::string& sample : samples) {
        const std::string path = dir.File("out.txt");
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        EXPECT_TRUE(WriteUtf16(fd, sample.data(), sample.size()));
        close(fd);
        const std::string bytes = taluvo::test::ReadFile(path);
        const QString written = QString::fromUtf16(
            reinterpret_cast<const char16_t*>(bytes.data()), static_cast<qsizetype>(bytes.size() / 2));
        EXPECT_EQ(written, taluvo::AnsiDecode(sample.data(), static_cast<qsizetype>(sample.size()))) << sample;
    }
}

} // namespace
