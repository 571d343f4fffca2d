// The compressor against zlib's raw inflate: every output must inflate to its input.
#include "crash/zip/Deflate.h"
#include "tests/crash/zip/ZipTestData.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>

using namespace taluvo::test;

namespace {

void ExpectRoundTrip(const std::string& input, const SDeflateRun& run, int* blocks = nullptr)
{
    EXPECT_EQ(run.err, nullptr) << run.err;
    EXPECT_EQ(run.reportedLength, run.output.size());
    std::string back;
    std::string why;
    ASSERT_TRUE(ZlibInflate(run.output, back, why, blocks)) << why;
    ASSERT_EQ(back.size(), input.size());
    EXPECT_TRUE(back == input) << "inflated bytes differ from the input";
}

int FirstBlockType(const std::string& deflated)
{
    return (static_cast<unsigned char>(deflated.at(0)) >> 1) & 3;
}

// Units of three fresh bytes and one long repeat: few matches, but they cover most of the
// input, so the estimate ends blocks long before the symbol buffer is full.
std::string FewLongMatches(size_t units)
{
    const std::string repeat = MakeRandom(258, 77);
    std::mt19937 rng(5);
    std::string data;
    for (size_t i = 0; i < units; ++i) {
        for (int k = 0; k < 3; ++k)
            data += static_cast<char>(rng() & 0xFF);
        data += repeat;
    }
    return data;
}

// Short matches everywhere: more than half the symbols are matches, so only the buffer limit
// of 32,767 symbols ends a block.
std::string ManyShortMatches(size_t size)
{
    std::mt19937 rng(9);
    std::string data;
    while (data.size() < size)
        data += static_cast<char>('a' + rng() % 4);
    return data;
}

struct SInputCase {
    const char* name;
    std::string data;
};

// Input straight from a string, for runs that need their own output handling.
struct SMemoryInput {
    const std::string* in;
    size_t pos = 0;

    void Attach(SDeflateState& state)
    {
        state.owner = this;
        state.read = [](SDeflateState* s, BYTE* buf, unsigned n) {
            auto* self = static_cast<SMemoryInput*>(s->owner);
            const size_t take = std::min<size_t>(n, self->in->size() - self->pos);
            // NOLINTNEXTLINE(bugprone-not-null-terminated-result): deflate input is bytes, not a C string
            std::memcpy(buf, self->in->data() + self->pos, take);

            self->pos += take;
            return static_cast<int>(take);
        };
    }
};

} // namespace

TEST(Deflate, EmptyInputIsOneFixedBlockWithTheEndCode)
{
    const SDeflateRun run = RunDeflate("", 8);
    EXPECT_EQ(run.err, nullptr);
    EXPECT_EQ(run.output, std::string("\x03\x00", 2));
    EXPECT_EQ(run.reportedLength, 2u);
}

TEST(Deflate, TableOfInputsInflatesWithZlib)
{
    const std::string elf = ReadElfBinary(400000);
    ASSERT_FALSE(elf.empty()) << "no ELF program found to compress";
    const SInputCase cases[] = {
        { "one byte", "A" },
        { "two bytes", "AB" },
        { "100000 equal bytes", std::string(100000, 'x') },
        { "random bytes", MakeRandom(150000) },
        { "text", MakeText(300000) },
        { "html", MakeHtml(300000) },
        { "elf binary", elf },
        { "blocks ended by the estimate", FewLongMatches(3000) },
        { "blocks ended by the buffer limit", ManyShortMatches(400000) },
        { "window-sized", MakeText(65536, 4) },
        { "one byte short of the window, equal bytes", std::string(65535, 'q') },
        { "just above a slide", MakeText(65274 + 300, 6) },
    };
    for (const SInputCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int level : { 1, 3, 4, 8 })
            ExpectRoundTrip(c.data, RunDeflate(c.data, level));
    }
}

TEST(Deflate, ShapesOfTheOutput)
{
    // Fewer than three bytes: literals only, in the fixed code.
    EXPECT_EQ(FirstBlockType(RunDeflate("A", 8).output), 1);

    // 100,000 equal bytes: one literal and matches of 258 at distance 1, across a slide.
    const std::string same(100000, 'x');
    const SDeflateRun sameRun = RunDeflate(same, 8);
    ExpectRoundTrip(same, sameRun);
    EXPECT_LT(sameRun.output.size(), 300u);

    // Incompressible bytes leave in stored blocks, 5 bytes of overhead per block at most.
    const std::string random = MakeRandom(150000);
    int blocks = 0;
    const SDeflateRun randomRun = RunDeflate(random, 8);
    ExpectRoundTrip(random, randomRun, &blocks);
    EXPECT_EQ(FirstBlockType(randomRun.output), 0);
    EXPECT_LE(randomRun.output.size(), random.size() + 5 * static_cast<size_t>(blocks));

    // The block-end estimate fires every 4,096 symbols here (6,000 symbols in all).
    const std::string few = FewLongMatches(1500);
    ExpectRoundTrip(few, RunDeflate(few, 8), &blocks);
    EXPECT_GE(blocks, 2);
    // Levels 1 and 2 do not estimate: one block holds all symbols of a third of that input.
    const std::string fewer = FewLongMatches(500);
    ExpectRoundTrip(fewer, RunDeflate(fewer, 2), &blocks);
    EXPECT_EQ(blocks, 1);

    // Only the buffer limit ends these blocks: 400,000 bytes of short matches need several.
    const std::string many = ManyShortMatches(400000);
    ExpectRoundTrip(many, RunDeflate(many, 8), &blocks);
    EXPECT_GE(blocks, 2);
}

TEST(Deflate, LevelOutsideOneToEightFails)
{
    for (int level : { 0, 9 }) {
        const SDeflateRun run = RunDeflate(MakeText(1000), level);
        ASSERT_NE(run.err, nullptr) << "level " << level;
        EXPECT_STREQ(run.err, "bad pack level");
    }
}

TEST(Deflate, LevelBitsOfTheFlagsWord)
{
    auto flagsFor = [](int level) {
        auto state = std::make_unique<SDeflateState>();
        state->read = [](SDeflateState*, BYTE*, unsigned) { return 0; };
        WORD flags = 8;
        matcher_init(*state, level, &flags);
        return flags;
    };
    EXPECT_EQ(flagsFor(1), 8 | 4);
    EXPECT_EQ(flagsFor(2), 8 | 4);
    EXPECT_EQ(flagsFor(5), 8);
    EXPECT_EQ(flagsFor(8), 8 | 2);
}

TEST(Deflate, SmallOutputBuffersAndTrickledInput)
{
    const std::string text = MakeText(120000, 11);
    // The bit writer needs room for four bytes; everything above must work alike.
    for (unsigned outSize : { 4u, 5u, 7u, 64u, 1000u }) {
        SCOPED_TRACE(outSize);
        ExpectRoundTrip(text, RunDeflate(text, 8, outSize));
    }
    // One byte per read: the window is filled by many calls.
    ExpectRoundTrip(text, RunDeflate(text, 8, 0x4000, [](unsigned) { return 1u; }));
}

TEST(Deflate, FlushThatTakesNothingIsRecordedNotOverrun)
{
    const std::string input = MakeRandom(100000, 21);
    auto state = std::make_unique<SDeflateState>();
    SMemoryInput ctx { &input };
    ctx.Attach(*state);
    state->flush = [](void*, const BYTE*, unsigned*) {}; // takes nothing, ever
    // Guard bytes around the output buffer show any write past its end.
    std::string guarded(64 + 256 + 64, '\x5A');
    BYTE* out = reinterpret_cast<BYTE*>(guarded.data()) + 64;
    WORD fileType = 0;
    WORD flags = 0;
    DeflateCompress(*state, 8, &fileType, &flags, out, 256, true);
    ASSERT_NE(state->err, nullptr);
    EXPECT_STREQ(state->err, "output buffer cannot be flushed");
    EXPECT_EQ(guarded.substr(0, 64), std::string(64, '\x5A'));
    EXPECT_EQ(guarded.substr(64 + 256), std::string(64, '\x5A'));
}

TEST(Deflate, InMemoryCompressionWithoutFlushing)
{
    const std::string text = MakeText(50000, 12);
    auto run = [&](unsigned outSize, std::string& out) {
        auto state = std::make_unique<SDeflateState>();
        SMemoryInput ctx { &text };
        ctx.Attach(*state);
        std::string guarded(outSize + 64, '\x5A');
        WORD fileType = 0;
        WORD flags = 0;
        const uint64_t length
            = DeflateCompress(*state, 8, &fileType, &flags, reinterpret_cast<BYTE*>(guarded.data()), outSize, false);
        EXPECT_EQ(guarded.substr(outSize), std::string(64, '\x5A'));
        out = guarded.substr(0, static_cast<size_t>(std::min<uint64_t>(length, outSize)));
        return state->err;
    };
    std::string out;
    EXPECT_EQ(run(100000, out), nullptr);
    std::string back;
    std::string why;
    ASSERT_TRUE(ZlibInflate(out, back, why)) << why;
    EXPECT_TRUE(back == text);

    const char* err = run(500, out);
    ASSERT_NE(err, nullptr);
    EXPECT_STREQ(err, "output buffer too small for in-memory compression");
}

TEST(Deflate, TextGuessOnlyWhenAsked)
{
    auto guess = [](const std::string& input, WORD start) {
        auto state = std::make_unique<SDeflateState>();
        SMemoryInput ctx { &input };
        ctx.Attach(*state);
        state->flush = [](void*, const BYTE*, unsigned* count) { *count = 0; };
        BYTE out[1024];
        WORD fileType = start;
        WORD flags = 0;
        DeflateCompress(*state, 8, &fileType, &flags, out, sizeof out, true);
        return fileType;
    };
    EXPECT_EQ(guess(MakeText(5000), 0xFFFF), 1);
    EXPECT_EQ(guess(MakeRandom(5000), 0xFFFF), 0);
    EXPECT_EQ(guess(MakeText(5000), 0), 0); // the archive's word: no guess
}

TEST(Deflate, RandomInputsAndChunkingsRoundTrip)
{
    std::mt19937 rng(20261210);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int runs = 0;
    while (runs < 400 && std::chrono::steady_clock::now() < deadline) {
        const size_t size = (rng() % 4 == 0) ? rng() % 300 : rng() % 200000;
        std::string input;
        switch (rng() % 5) {
        case 0:
            input = MakeRandom(size, rng());
            break;
        case 1:
            input = MakeText(size, rng());
            break;
        case 2: {
            // Few symbols: long runs and many short matches.
            const unsigned alphabet = 1 + rng() % 4;
            std::mt19937 local(rng());
            input.resize(size);
            for (char& c : input)
                c = static_cast<char>('a' + local() % alphabet);
            break;
        }
        case 3: {
            // Pieces copied from far and near, to stress distances around the window limit.
            std::mt19937 local(rng());
            input = MakeRandom(std::min<size_t>(size, 1000), local());
            while (input.size() < size) {
                const size_t len = 3 + local() % 300;
                const size_t back = 1 + local() % std::min<size_t>(input.size(), 40000);
                for (size_t i = 0; i < len; ++i)
                    input += input[input.size() - back];
                input += static_cast<char>(local());
            }
            input.resize(size);
            break;
        }
        default:
            input = MakeHtml(size, rng());
            break;
        }
        const int level = 1 + static_cast<int>(rng() % 8);
        const unsigned outSize = (rng() % 3 == 0) ? 4 + rng() % 60 : 0x4000;
        const unsigned chunkMode = rng() % 3;
        std::mt19937 chunkRng(rng());
        auto chunk = [chunkMode, &chunkRng](unsigned n) -> unsigned {
            if (chunkMode == 0)
                return n;
            if (chunkMode == 1)
                return 1 + chunkRng() % 7;
            return 1 + chunkRng() % 70000;
        };
        SCOPED_TRACE(
            "run " + std::to_string(runs) + " size " + std::to_string(size) + " level " + std::to_string(level));
        ExpectRoundTrip(input, RunDeflate(input, level, outSize, chunk));
        if (HasFailure())
            break;
        ++runs;
    }
    EXPECT_GE(runs, 20);
}
