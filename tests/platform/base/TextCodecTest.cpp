#include "platform/base/TextCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace taluvo;

namespace {

QByteArray RandomBytes(std::mt19937& rng, int maxLen)
{
    std::uniform_int_distribution<int> len(0, maxLen);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes(len(rng), '\0');
    for (auto& b : bytes)
        b = static_cast<char>(byte(rng));
    return bytes;
}

// Random bytes biased towards UTF-8 lead and continuation bytes, so that valid, truncated and
// overlong sequences all occur often.
QByteArray RandomUtf8ish(std::mt19937& rng, int maxLen)
{
    static const unsigned char pool[] = { 'a', 'Z', 0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0,
        0xF4, 0xF5, 0xFF, 0xA0, 0x9F, 0x90, 0x8F };
    std::uniform_int_distribution<int> len(0, maxLen);
    std::uniform_int_distribution<size_t> pick(0, sizeof pool - 1);
    QByteArray bytes(len(rng), '\0');
    for (auto& b : bytes)
        b = static_cast<char>(pool[pick(rng)]);
    return bytes;
}

} // namespace

TEST(TextCodec, DecodesValidUtf8AndEscapesEverythingElse)
{
    struct Case {
        QByteArray bytes;
        std::u16string text;
    };
    const Case cases[] = {
        { "plain", u"plain" },
        { "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9" },
        { "\xE2\x82\xAC", u"\u20AC" },
        { "\xF0\x9F\x98\x80", u"\U0001F600" },
        { "\xFF", u"\xDCFF" }, // never a lead byte
        { "\xC0\xAF", u"\xDCC0\xDCAF" }, // overlong '/'
        { "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80" }, // encoded surrogate
        { "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80" }, // above U+10FFFF
        { "\xE2\x82", u"\xDCE2\xDC82" }, // truncated at the end
        { "\xE2(", u"\xDCE2(" }, // broken by an ASCII byte
        { QByteArray("a\0b", 3), std::u16string(u"a\0b", 3) },
    };
    for (const Case& c : cases) {
        const QString text = AnsiDecode(c.bytes);
        EXPECT_EQ(text, QString::fromStdU16String(c.text)) << c.bytes.toHex().toStdString();
        EXPECT_EQ(AnsiEncode(text), c.bytes) << c.bytes.toHex().toStdString();
    }
}

TEST(TextCodec, RandomByteStringsRoundTripExactly)
{
    std::mt19937 rng(20261210);
    for (int i = 0; i < 3000; ++i) {
        const QByteArray bytes = i % 2 ? RandomBytes(rng, 64) : RandomUtf8ish(rng, 64);
        ASSERT_EQ(AnsiEncode(AnsiDecode(bytes)), bytes) << bytes.toHex().toStdString();
    }
}

TEST(TextCodec, StreamingDecoderIgnoresWhereThePiecesWereCut)
{
    std::mt19937 rng(7);
    QByteArray input = QByteArray("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xFF\xE2\x82 end");
    for (int round = 0; round < 40; ++round) {
        if (round > 0)
            input = RandomUtf8ish(rng, 24);
        const QString whole = AnsiDecode(input);
        for (qsizetype split = 0; split <= input.size(); ++split) {
            CAnsiStreamDecoder decoder;
            QString text = decoder.Feed(input.left(split));
            text += decoder.Feed(input.mid(split));
            text += decoder.Finish();
            ASSERT_EQ(text, whole) << input.toHex().toStdString() << " split " << split;
        }
        // One byte at a time as well.
        CAnsiStreamDecoder bytewise;
        QString text;
        for (char b : input)
            text += bytewise.Feed(&b, 1);
        text += bytewise.Finish();
        ASSERT_EQ(text, whole);
    }
}

// ASCII is copied many bytes at a time: a character or an escaped byte at any place in a long run,
// and any cut of the stream, must give the same text as decoding byte by byte would.
TEST(TextCodec, LongAsciiRunsAroundOtherCharacters)
{
    struct Sequence {
        QByteArray bytes;
        std::u16string text;
    };
    const Sequence sequences[] = {
        { "\xFF", u"\xDCFF" },
        { "\x80", u"\xDC80" },
        { "\xC3\xA9", u"\u00E9" },
        { "\xC4\x80", u"\u0100" }, // units whose low byte alone looks like ASCII
        { "\xE4\xB8\x80", u"\u4E00" },
        { "\xE2\x82\xAC", u"\u20AC" },
        { "\xF0\x9F\x98\x80", u"\U0001F600" },
        { "\xE2\x82", u"\xDCE2\xDC82" },
    };
    for (const Sequence& sequence : sequences) {
        for (int offset = 0; offset <= 40; ++offset) {
            const QByteArray bytes = QByteArray(offset, 'x') + sequence.bytes + QByteArray(47 - offset, 'y');
            const QString expected = QString(offset, QLatin1Char('x')) + QString::fromStdU16String(sequence.text)
                + QString(47 - offset, QLatin1Char('y'));
            const std::string trace = bytes.toHex().toStdString();
            ASSERT_EQ(AnsiDecode(bytes), expected) << trace;
            ASSERT_EQ(AnsiEncode(expected), bytes) << trace;
            QByteArray pieces;
            AnsiEncodePieces(expected, [&](const char* data, qsizetype size) {
                pieces.append(data, size);
                return true;
            });
            ASSERT_EQ(pieces, bytes) << trace;
            for (const qsizetype cut : { 1, 3, 16, 17, 33 }) {
                CAnsiStreamDecoder decoder;
                QString text = QStringLiteral("kept "); // appending keeps what the text held
                for (qsizetype at = 0; at < bytes.size(); at += cut)
                    decoder.FeedTo(text, bytes.constData() + at, std::min(cut, bytes.size() - at));
                decoder.FinishTo(text);
                ASSERT_EQ(text, QStringLiteral("kept ") + expected) << trace << " cut " << cut;
            }
        }
    }
}

TEST(TextCodec, LoneSurrogatesEncodeDeterministically)
{
    struct Case {
        std::u16string text;
        QByteArray bytes;
    };
    const Case cases[] = {
        { u"\xD83D\xDE00", "\xF0\x9F\x98\x80" }, // a pair
        { u"\xDC80", "\x80" }, // escaped byte
        { u"\xDCFF", "\xFF" }, { u"\xDC7F", "\xEF\xBF\xBD" }, // low surrogate outside the escape range
        { u"\xD800", "\xEF\xBF\xBD" }, // lone high surrogate
        { u"\xD800x", "\xEF\xBF\xBDx" }, { u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD" }, // reversed pair
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnsiEncode(QString::fromStdU16String(c.text)), c.bytes) << c.bytes.toHex().toStdString();
}

TEST(TextCodec, NullAndEmptyStayApart)
{
    EXPECT_TRUE(AnsiDecode(nullptr).isNull());
    EXPECT_FALSE(AnsiDecode("").isNull());
    EXPECT_TRUE(AnsiDecode("").isEmpty());
    EXPECT_TRUE(AnsiEncode(QString()).isNull());
    EXPECT_FALSE(AnsiEncode(QString(QLatin1String(""))).isNull());
}

TEST(TextCodec, TruncateNeverSplitsACharacter)
{
    const QByteArray text = "ab\xE2\x82\xAC"
                            "c"; // a b EURO c
    EXPECT_EQ(AnsiTruncate(text, 2), QByteArray("ab"));
    EXPECT_EQ(AnsiTruncate(text, 3), QByteArray("ab"));
    EXPECT_EQ(AnsiTruncate(text, 4), QByteArray("ab"));
    EXPECT_EQ(AnsiTruncate(text, 5), QByteArray("ab\xE2\x82\xAC"));
    EXPECT_EQ(AnsiTruncate(text, 100), text);
    // Escaped bytes are single characters and may be cut anywhere.
    EXPECT_EQ(AnsiTruncate(QByteArray("\xFF\xFE\xFD"), 2), QByteArray("\xFF\xFE"));
}
