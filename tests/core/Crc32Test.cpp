#include "core/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

TEST(Crc32, CheckVectors)
{
    EXPECT_EQ(CCrc32::Of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(CCrc32::Of("", 0), 0u);
    EXPECT_EQ(CCrc32::Of("a", 1), 0xE8B7BE43u);
    CCrc32 crc;
    crc.Reset();
    crc.Update(nullptr, 5);
    crc.Update("x", 0);
    EXPECT_EQ(crc.GetState(), 0xFFFFFFFFu);
}

TEST(Crc32, AgreesWithZlibForEveryLengthSplitAndAlignment)
{
    std::mt19937 rng(42);
    std::vector<unsigned char> data(5000);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    for (size_t len = 0; len < 700; ++len) {
        const size_t offset = len % 13;
        const uLong expected = crc32(0, data.data() + offset, static_cast<uInt>(len));
        ASSERT_EQ(CCrc32::Of(data.data() + offset, len), expected) << len;
        ASSERT_EQ(~CCrc32::UpdateByTable(0xFFFFFFFFu, data.data() + offset, len), expected) << len;
    }
    std::uniform_int_distribution<size_t> cut(0, data.size());
    for (int round = 0; round < 200; ++round) {
        size_t a = cut(rng), b = cut(rng);
        if (a > b)
            std::swap(a, b);
        CCrc32 crc;
        crc.Reset();
        crc.Update(data.data(), a);
        crc.Update(data.data() + a, b - a);
        crc.Update(data.data() + b, data.size() - b);
        ASSERT_EQ(~crc.GetState(), crc32(0, data.data(), static_cast<uInt>(data.size())));
    }
}
