#include "mail/Base64Coder.h"

#include "tests/mail/MailTestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <random>

namespace {

QByteArray RandomBytes(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

QByteArray Decoded(CBase64Coder& coder, const QByteArray& text)
{
    coder.Decode(reinterpret_cast<const BYTE*>(text.constData()), static_cast<DWORD>(text.size()));
    return QByteArray(reinterpret_cast<const char*>(coder.GetDecodedBuffer()), coder.GetDecodedLength());
}

} // namespace

TEST(Base64Coder, AgreesWithPythonBase64)
{
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    const QList<QByteArray> inputs = { "", "f", "fo", "foo", "foob", "fooba", "foobar", all, RandomBytes(100, 1),
        RandomBytes(3000, 2), RandomBytes(4097, 3) };
    QJsonArray hex;
    for (const QByteArray& input : inputs)
        hex.append(mailtest::Hex(input));
    const QJsonDocument answer = mailtest::RunOracle({ { "op", "codec" }, { "inputs", hex } });
    ASSERT_TRUE(answer.isObject());
    const QJsonArray expected = answer.object().value("base64").toArray();
    ASSERT_EQ(expected.size(), inputs.size());

    CBase64Coder coder;
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        const QByteArray& input = inputs[i];
        coder.Encode(reinterpret_cast<const BYTE*>(input.constData()), static_cast<DWORD>(input.size()));
        const QByteArray encoded = input.isEmpty() ? QByteArray() : QByteArray(coder.GetEncodedBuffer());
        EXPECT_EQ(encoded, expected[i].toString().toLatin1()) << "input " << i;
        EXPECT_EQ(coder.GetEncodedLength(), static_cast<DWORD>(encoded.size()));
        // Back again: whole groups, so the bytes after the input are the zero fill.
        const QByteArray decoded = Decoded(coder, encoded);
        EXPECT_EQ(decoded.left(input.size()), input) << "input " << i;
        EXPECT_EQ(decoded.size(), (input.size() + 2) / 3 * 3);
    }
}

TEST(Base64Coder, DecoderIsLiberal)
{
    struct Case {
        QByteArray text;
        QByteArray bytes;
    };
    const Case cases[] = {
        // white space and the control characters 7..13 are skipped anywhere
        { "Zm9v\r\nYmFy", "foobar" },
        { " Z m\t9v\x0b\x0c\a\bYmFy ", "foobar" },
        // one real byte, then the zero fill: the length counts whole groups
        { "Zg==", QByteArray("f\0\0", 3) },
        // a last group of three characters without fill: three bytes, the third from its low bits
        { "QUF", QByteArray("AA@", 3) },
        { "QU", "A@" },
        // the high-bit copy of an alphabet character decodes like the character
        { QByteArray("Zm9") + char('v' + 128), "foo" },
        // a character outside the alphabet counts as 62 ('+'), a '=' in front as 63 ('/')
        { "*A==", QByteArray("\xF8\0\0", 3) },
        { "=A==", QByteArray("\xFC\0\0", 3) },
        { "", "" },
    };
    CBase64Coder coder;
    for (const Case& c : cases)
        EXPECT_EQ(Decoded(coder, c.text), c.bytes) << c.text.toStdString();
    // NUL-terminated as text
    Decoded(coder, "Zg==");
    EXPECT_STREQ(reinterpret_cast<const char*>(coder.GetDecodedBuffer()), "f");
}

TEST(Base64Coder, BuffersGrowInPagesAndAreClearedOnReuse)
{
    CBase64Coder coder;
    coder.Encode(reinterpret_cast<const BYTE*>(""), 0);
    EXPECT_EQ(coder.GetEncodedBuffer(), nullptr); // nothing ever reserved
    const QByteArray big = RandomBytes(3000, 4);
    coder.Encode(reinterpret_cast<const BYTE*>(big.constData()), 3000);
    EXPECT_EQ(coder.GetEncodedCapacity(), 8192u);
    EXPECT_EQ(coder.GetEncodedLength(), 4000u);
    coder.Encode("abc");
    EXPECT_EQ(coder.GetEncodedCapacity(), 8192u); // kept
    EXPECT_STREQ(coder.GetEncodedBuffer(), "YWJj"); // and cleared behind the new text
    coder.Encode(reinterpret_cast<const BYTE*>(big.constData()), 100);
    EXPECT_EQ(coder.GetEncodedLength(), 136u);
    coder.Encode(static_cast<const char*>(nullptr));
    EXPECT_EQ(coder.GetEncodedLength(), 136u); // a null text does nothing
}
