#include "core/db/SqlBinary.h"
#include "core/db/SqlWrapper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Encode(const std::vector<unsigned char>& bytes)
{
    CSqlBinary binary;
    binary.assignBinary(bytes.data(), static_cast<int>(bytes.size()));
    return binary.encodedText();
}

std::vector<unsigned char> Decode(const std::string& text)
{
    CSqlBinary binary;
    binary.assignEncoded(text.c_str());
    const unsigned char* data = binary.binaryData();
    return std::vector<unsigned char>(data, data + binary.binaryLength());
}

void ExpectDecodeFails(const std::string& text)
{
    CSqlBinary binary;
    binary.assignEncoded(text.c_str());
    try {
        binary.binaryData();
        ADD_FAILURE() << "decoded an invalid text of " << text.size() << " bytes";
    } catch (const CSqlException& e) {
        EXPECT_EQ(e.errorCode(), 1000);
        EXPECT_STREQ(e.errorMessage(), "SQLWRAP_ERROR[1000]: Cannot decode binary");
    }
    // The encoded text is kept, so the caller can still report or retry it.
    EXPECT_EQ(std::string(binary.encodedText()), text);
}

} // namespace

TEST(SqlBinary, RoundTripsEveryLengthUpTo4000)
{
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int length = 0; length <= 4000; ++length) {
        std::vector<unsigned char> bytes(static_cast<size_t>(length));
        // Every few lengths use a skewed alphabet, so the choice of offset matters.
        const int range = length % 3 == 0 ? 4 : 256;
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(byte(random) % range);
        const std::string encoded = Encode(bytes);
        ASSERT_EQ(encoded.find('\0'), std::string::npos) << length;
        ASSERT_EQ(encoded.find('\''), std::string::npos) << length;
        ASSERT_LE(encoded.size() + 1, CSqlBinary::EncodedCapacity(bytes.size())) << length;
        ASSERT_EQ(Decode(encoded), bytes) << length;
    }
}

TEST(SqlBinary, KnownEncodings)
{
    // Stored records must read the same in every version: the encoding is fixed byte for byte.
    struct Case {
        std::vector<unsigned char> bytes;
        std::string encoded;
    };
    const Case cases[] = {
        { {}, "x" },
        // Offset 2 is the first with no byte needing an escape.
        { { 0, 1, 39, 255 }, "\x02\xFE\xFF\x25\xFD" },
        // Offsets 1 to 3 would each need escapes; 4 needs none.
        { { 0x01, 0x02, 0x28, 0x03 }, "\x04\xFD\xFE\x24\xFF" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Encode(c.bytes), c.encoded);
        EXPECT_EQ(Decode(c.encoded), c.bytes);
    }

    // All 256 values: every offset needs three escapes, so the first one (1) is taken.
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    const std::string encoded = Encode(all);
    EXPECT_EQ(encoded.size(), 1u + 256u + 3u);
    EXPECT_EQ(static_cast<unsigned char>(encoded[0]), 1);
    EXPECT_EQ(Decode(encoded), all);
}

TEST(SqlBinary, InvalidEncodingsThrow)
{
    ExpectDecodeFails("\x05\x01\x04");
    ExpectDecodeFails("\x05\x01\xFF");
    ExpectDecodeFails("\x05\x41\x01"); // escape right before the end
    ExpectDecodeFails(""); // not even the offset character
}

TEST(SqlBinary, ForeignOffsetsDecodeAndReencodeSafely)
{
    // Text written with an offset the encoder would not pick (here the quote) still decodes, and
    // encoding the bytes again needs no more room than the encoder guarantees.
    std::string text(1, '\'');
    for (int i = 0; i < 3000; ++i)
        text += static_cast<char>(0x30 + i % 7);
    CSqlBinary binary;
    binary.assignEncoded(text.c_str());
    const std::vector<unsigned char> bytes(binary.binaryData(), binary.binaryData() + binary.binaryLength());
    ASSERT_EQ(bytes.size(), 3000u);
    const std::string again = binary.encodedText();
    EXPECT_EQ(Decode(again), bytes);
}

TEST(SqlBinary, EmptyObjectAndReassignment)
{
    CSqlBinary binary;
    EXPECT_EQ(binary.binaryLength(), 0);
    EXPECT_STREQ(binary.encodedText(), "x");
    EXPECT_EQ(binary.binaryLength(), 0);

    const unsigned char bytes[] = { 9, 8, 7 };
    EXPECT_EQ(binary.assignBinary(bytes, 3), 3);
    binary.assignEncoded("x");
    EXPECT_EQ(binary.binaryLength(), 0);
    binary.assignBinary(bytes, 3);
    EXPECT_EQ(std::memcmp(binary.binaryData(), bytes, 3), 0);

    try {
        binary.assignBinary(bytes, -1);
        ADD_FAILURE() << "negative length accepted";
    } catch (const CSqlException& e) {
        EXPECT_EQ(e.errorCode(), 1000);
    }
    EXPECT_EQ(binary.binaryLength(), 3);
}
