#include "mail/SmtpMsg.h"

#include "platform/base/TextCodec.h"
#include "tests/mail/MailTestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <random>

namespace {

SmtpEncoding Guess(const QByteArray& bytes)
{
    return CSmtpMsg::GuessEncoding(reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<DWORD>(bytes.size()));
}

// Printable ASCII with high bytes mixed in so that exactly `percent` of 100 bytes are printable.
QByteArray Mixed(int percent)
{
    QByteArray bytes;
    for (int i = 0; i < 100; ++i)
        bytes += i < percent ? (i == 40 ? '\n' : 'a') : '\xE9'; // lines short enough for 7bit
    return bytes;
}

QString Wrap(const QString& in)
{
    QString out;
    CSmtpMsg::WrapLines(out, in, 76);
    return out;
}

QByteArray Qp(const QByteArray& in, bool text = true)
{
    QByteArray out;
    CSmtpMsg::EncodeQuotedPrintable(out, in, text);
    return out;
}

void ExpectQpLinesWellFormed(const QByteArray& encoded)
{
    for (const QByteArray& line : encoded.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        EXPECT_LE(l.size(), 76) << l.toStdString();
        if (!l.isEmpty()) {
            EXPECT_TRUE(l.back() != ' ' && l.back() != '\t') << l.toStdString();
        }
    }
}

} // namespace

TEST(SmtpEncoding, GuessFollowsPrintableShareAndLineLengths)
{
    const QByteArray line77(77, 'a');
    struct Case {
        const char* what;
        QByteArray bytes;
        SmtpEncoding expected;
    };
    const Case cases[] = {
        { "plain lines", "Hello there\r\nSecond line\r\n", encoding7Bit },
        { "95 percent ASCII", Mixed(95), encoding8Bit },
        { "89 percent printable", Mixed(89), encodingBase64 },
        { "90 percent printable", Mixed(90), encoding8Bit },
        // Every line is measured, so no line is cut by a hard break.
        { "first line of 77", line77 + "\r\nshort", encodingQuotedPrintable },
        { "second line of 77", "x\r\n" + line77 + "\r\nshort", encodingQuotedPrintable },
        { "last line of 77", "x\r\n" + line77, encodingQuotedPrintable },
        { "one long line without CR", QByteArray(200, 'a'), encodingQuotedPrintable },
        { "lines of 76 ended by LF alone", QByteArray(76, 'a') + "\n" + QByteArray(76, 'b'), encoding7Bit },
        { "nothing", "", encoding7Bit },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Guess(c.bytes), c.expected) << c.what;
}

TEST(SmtpEncoding, WrapLinesBreaksAfterBreakCharacters)
{
    QString blankAt90(100, QLatin1Char('a'));
    blankAt90[89] = QLatin1Char(' ');
    QString blankAt10(100, QLatin1Char('b'));
    blankAt10[9] = QLatin1Char(' ');
    struct Case {
        QString in;
        QString out;
    };
    const Case cases[] = {
        { blankAt90, blankAt90.left(76) + "\r\n" + blankAt90.mid(76) },
        { blankAt10, blankAt10.left(10) + "\r\n" + blankAt10.mid(10, 76) + "\r\n" + blankAt10.mid(86) },
        { QString(76, QLatin1Char('c')), QString(76, QLatin1Char('c')) },
        { "one\ntwo\rthree\r\n", "one\r\ntwo\r\nthree\r\n" },
        { "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Wrap(c.in), c.out) << c.in.toStdString();
    QString seven;
    CSmtpMsg::EncodeSevenBit(seven, QStringLiteral("Grüße"));
    EXPECT_EQ(seven, QStringLiteral("Gr??e"));
}

TEST(SmtpEncoding, QuotedPrintableAgreesWithPythonQuopri)
{
    std::mt19937 rng(7);
    QByteArray binary(3000, '\0');
    for (char& c : binary)
        c = static_cast<char>(rng() & 0xFF);
    QByteArray longWithEquals(100, 'x');
    longWithEquals[73] = '='; // escaped it becomes "=3D" at the 74th character
    struct Case {
        QByteArray in;
        bool text;
        QByteArray expected; // empty: only the round trip is checked
    };
    const QList<Case> cases = {
        { "abc \r\n", true, "abc=20\r\n" },
        { "a=b\tc\r\n", true, "a=3Db\tc\r\n" },
        { "tail\t", true, "tail=09" },
        { "Gr\xFC\xDF"
          "e",
            true, "Gr=FC=DFe" },
        { "Gr\xC3\xBC\xC3\x9F"
          "e",
            true, "Gr=C3=BC=C3=9Fe" },
        { longWithEquals, true, longWithEquals.left(73) + "=\r\n=3D" + longWithEquals.mid(74) },
        { QByteArray(300, 'y') + "\r\n" + QByteArray(80, ' ') + "\r\n", true, "" },
        { "line one\r\nline two\r\n\r\n.\r\n", true, "" },
        { binary, false, "" },
        { "lone\rCR and lone\nLF", false, "lone=0DCR and lone=0ALF" },
    };
    QJsonArray hex;
    QList<QByteArray> encoded;
    for (const Case& c : cases) {
        encoded.append(Qp(c.in, c.text));
        hex.append(mailtest::Hex(encoded.back()));
    }
    const QJsonDocument answer = mailtest::RunOracle({ { "op", "codec" }, { "qp", hex } });
    ASSERT_TRUE(answer.isObject());
    const QJsonArray decoded = answer.object().value("qp_decoded").toArray();
    ASSERT_EQ(decoded.size(), cases.size());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(encoded[i], c.expected) << "case " << i;
        }
        EXPECT_EQ(mailtest::FromHex(decoded[i].toString()), c.in) << "case " << i;
        ExpectQpLinesWellFormed(encoded[i]);
    }
    // The soft break never splits an escape: the first line holds 73 characters and '='.
    EXPECT_EQ(encoded[5].indexOf("=\r\n"), 73);
    EXPECT_TRUE(Qp("").isEmpty());
}

TEST(SmtpEncoding, TextIsSentInItsDeclaredCharsetOrAsUtf8)
{
    struct Case {
        QString text;
        QString charset;
        SmtpEncoding encoding;
        QString expectedCharset;
        QByteArray wire; // the bytes the encoded text stands for
    };
    const Case cases[] = {
        { "Grüße", "iso-8859-1", encodingQuotedPrintable, "iso-8859-1", "Gr=FC=DFe" },
        { "Grüße", "ISO-8859-1", encoding8Bit, "ISO-8859-1",
            "Gr\xFC\xDF"
            "e" },
        { "5 €", "iso-8859-1", encodingQuotedPrintable, "utf-8", "5 =E2=82=AC" },
        { "5 €", "utf-8", encoding8Bit, "utf-8", "5 \xE2\x82\xAC" },
        { "Grüße", "koi8-r", encoding8Bit, "utf-8",
            "Gr\xC3\xBC\xC3\x9F"
            "e" },
        { "plain", "us-ascii", encoding7Bit, "us-ascii", "plain" },
        { "", "iso-8859-1", encodingGuess, "iso-8859-1", "" },
    };
    for (const Case& c : cases) {
        QString text = c.text, name, charset = c.charset;
        CSmtpMsg::EncodeText(c.encoding, text, name, nullptr, 0, &charset);
        EXPECT_EQ(charset, c.expectedCharset) << c.text.toStdString();
        EXPECT_EQ(taluvo::AnsiEncode(text), c.wire) << c.text.toStdString();
    }
    // An empty text is 7bit.
    QString empty, name;
    CSmtpMsg::EncodeText(encodingGuess, empty, name);
    EXPECT_EQ(name, QStringLiteral("7bit"));
}

TEST(SmtpEncoding, DataEncodingsKeepEveryByte)
{
    QByteArray data(100, '\0');
    for (int i = 0; i < 100; ++i)
        data[i] = static_cast<char>(i * 7);
    QString text, name;
    CSmtpMsg::EncodeText(encodingGuess, text, name, reinterpret_cast<const BYTE*>(data.constData()), 100);
    EXPECT_EQ(name, QStringLiteral("base64"));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), 76);
    EXPECT_EQ(lines[1].size(), 60);
    EXPECT_EQ(QByteArray::fromBase64(text.remove(QStringLiteral("\r\n")).toLatin1()), data);

    // Forced 7bit stops at the first NUL, as a text would.
    const QByteArray withNul("abc\0def", 7);
    CSmtpMsg::EncodeText(encoding7Bit, text, name, reinterpret_cast<const BYTE*>(withNul.constData()), 7);
    EXPECT_EQ(text, QStringLiteral("abc"));
    // An unknown encoding gives nothing and no name.
    name = QStringLiteral("unchanged");
    text = QStringLiteral("x");
    CSmtpMsg::EncodeText(static_cast<SmtpEncoding>(9), text, name);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(name, QStringLiteral("unchanged"));
}

TEST(SmtpEncoding, ChosenSevenOrEightBitKeepsLinesWholeUpToTheTransportsLimit)
{
    const QString line = QStringLiteral("http://example.com/a-b.c;d,e?f!g ").repeated(6);
    for (SmtpEncoding encoding : { encoding7Bit, encoding8Bit }) {
        QString text = line + QStringLiteral("\r\nnext"), name;
        CSmtpMsg::EncodeText(encoding, text, name);
        EXPECT_EQ(text, line + QStringLiteral("\r\nnext")) << name.toStdString();
    }
    // A line the transport cannot carry is still cut, at its limit.
    QString text(1200, QLatin1Char('a')), name;
    CSmtpMsg::EncodeText(encoding7Bit, text, name);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), 998);
    EXPECT_EQ(lines[1].size(), 202);
}
