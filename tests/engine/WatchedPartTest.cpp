#include "engine/WatchedPart.h"

#include "core/Crc32.h"
#include "engine/PageCtx.h"
#include "platform/base/TextCodec.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

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
        { u"abcdef", u"", u"", 0, 5, u"abcd" }, // the last two units are left out
        { u"xxSTARTabcdSTOPyy", u"START", u"STOP", 2, 11, u"abc" }, // the unit before the stop text too
        { u"xSTARTSTOPy", u"START", u"STOP", 1, 6, u"" }, { u"xSTARTaSTOPy", u"START", u"STOP", 1, 7, u"" },
        { u"xSTARTabSTOPy", u"START", u"STOP", 1, 8, u"a" },
        { u"xSTARTabc", u"START", u"STOP", 1, -1, u"" }, // no stop after the start
        { u"STOPabc", u"", u"STOP", 0, 0, u"" }, // stop at position 0
        { u"abSTOPcd", u"", u"STOP", 0, 2, u"a" }, { u"a", u"", u"", 0, 0, u"" }, { u"ab", u"", u"", 0, 1, u"" },
        { u"abc", u"", u"", 0, 2, u"a" }, { u"nothing here", u"START", u"", -1, 0, u"" },
        { u"START", u"START", u"", 0, 4, u"" }, // start at the very end
        { u"xxSTARTabcdef", u"START", u"", 2, 12, u"abcd" }, // no stop text: up to two before the end
        { u"STOPxSTARTyySTOP", u"START", u"STOP", 5, 12, u"y" }, // the stop is searched after the start
        { u"aSTARTbSTARTcdSTOP", u"START", u"STOP", 1, 14, u"bSTARTc" },
        { u"caseStartxxSTOP", u"start", u"", -1, 0, u"" }, // exact case
    };
    for (const Case& c : cases) {
        const QString html = QString::fromUtf16(c.html);
        const auto cut = CutWatchedPart(html, QString::fromUtf16(c.start), QString::fromUtf16(c.stop));
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

namespace {

// zlib.crc32 of each byte string, computed by Python: the checksum's definition from outside.
std::vector<DWORD> PythonCrc32(const std::vector<std::string>& parts)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("parts.txt")).toStdString();
    {
        std::ofstream out(path);
        for (const std::string& part : parts) {
            for (unsigned char c : part) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", c);
                out << hex;
            }
            out << "\n";
        }
    }
    const std::string command = "/usr/bin/python3 -c \"import sys, zlib\n"
                                "for line in open(sys.argv[1]): print(zlib.crc32(bytes.fromhex(line.strip())))\" "
        + path;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<DWORD> sums;
    unsigned long value = 0;
    while (pipe && std::fscanf(pipe.get(), "%lu", &value) == 1)
        sums.push_back(static_cast<DWORD>(value));
    return sums;
}

// The page as the fetch builds it: its bytes decoded as a stream of 4,095-byte pieces.
QString PageText(const std::string& bytes)
{
    taluvo::CAnsiStreamDecoder decoder;
    QString text;
    for (size_t at = 0; at < bytes.size(); at += 4095)
        text += decoder.Feed(bytes.data() + at, static_cast<qsizetype>(std::min<size_t>(4095, bytes.size() - at)));
    return text + decoder.Finish();
}

} // namespace

// The stored checksums are the CRC-32 of the cut part's bytes: for pages in UTF-8, in other
// charsets (bytes kept as escapes), with characters outside the basic plane cut in half, and for
// parts long enough to be taken in several pieces, with multi-byte characters at every boundary.
TEST(WatchedPart, StoredChecksumIsZlibCrc32OfTheCutBytes)
{
    struct Case {
        std::string page;
        std::u16string start, stop;
        std::string part; // the bytes the checksum is of
    };
    std::vector<Case> cases = {
        { "abcdef", u"", u"", "abcd" },
        { "xxSTARTabcdSTOPyy", u"START", u"STOP", "abc" },
        { "<b>Pr\xC3\xA9is: 12 \xE2\x82\xAC</b>", u"<b>", u"</b>", "Pr\xC3\xA9is: 12 " },
        { "<b>\xC3\xA9t\xC3\xA9 \xC3\xA0 Z\xC3\xBCrich!</b>", u"<b>", u"</b>",
            "\xC3\xA9t\xC3\xA9 \xC3\xA0 Z\xC3\xBCrich" },
        // Latin-1 bytes are not UTF-8: each comes back as itself.
        { "<i>caf\xE9 cr\xE8me</i>", u"<i>", u"</i>", "caf\xE9 cr\xE8m" },
        { "\xFF\xFEhead\x80\x81tail", u"", u"", "\xFF\xFEhead\x80\x81ta" },
        // A start text outside ASCII, found in the decoded page.
        { "x\xC2\xABquote\xC2\xBB!", u"\u00AB", u"\u00BB", "quot" },
        // The unit left out before the stop is the low half of a pair: the lone high half
        // becomes U+FFFD.
        { "<p>x\xF0\x9F\x98\x80y\xF0\x9F\x98\x80</p>", u"<p>", u"</p>", "x\xF0\x9F\x98\x80y\xEF\xBF\xBD" },
        // A sequence cut short by the page's end is kept as its bytes.
        { "abc\xE2\x82", u"", u"", "abc" },
        { "[\xE2\x82]..", u"[", u".", "\xE2\x82" },
    };
    // Long parts: multi-byte and escaped characters everywhere, so piece boundaries fall inside.
    std::mt19937 random(33);
    const char* const atoms[] = { "a", "<p>", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE9", "\x80", " " };
    for (size_t size : { 16383u, 16384u, 16385u, 50000u, 200000u }) {
        std::string body;
        while (body.size() < size)
            body += atoms[random() % std::size(atoms)];
        const std::string page = "<html>START" + body + "Z" + "STOP</html>";
        const QString text = PageText(page);
        const QString part
            = text.mid(text.indexOf(u"START") + 5, text.indexOf(u"STOP") - text.indexOf(u"START") - 5 - 1);
        const QByteArray bytes = taluvo::AnsiEncode(part);
        cases.push_back({ page, u"START", u"STOP", std::string(bytes.constData(), static_cast<size_t>(bytes.size())) });
    }

    std::vector<std::string> parts;
    parts.reserve(cases.size());
    for (const Case& c : cases)

        parts.push_back(c.part);
    const std::vector<DWORD> expected = PythonCrc32(parts);
    ASSERT_EQ(expected.size(), cases.size()) << "python3 did not answer";
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SPageCtx ctx;
        ctx.m_strHtml = PageText(c.page);
        ctx.m_strStartCheckMask = QString::fromStdU16String(c.start);
        ctx.m_strStopCheckMask = QString::fromStdU16String(c.stop);
        ctx.m_dwCheckSum = 0;
        ctx.m_iStatus = statusOrdinary;
        EXPECT_EQ(ctx.UpdateCRC32(), expected[i]) << "case " << i;
        EXPECT_EQ(ctx.m_dwCheckSum, expected[i]) << "case " << i;
        EXPECT_EQ(ctx.m_iStatus, statusNew) << "case " << i;
    }
}

// A page watched whole takes its checksum over the bytes as they are read: it must be the
// checksum of the cut part of the decoded text, whatever the bytes (escapes, characters outside the
// basic plane cut by the part's end, sequences cut short by the page's end or by a zero byte) and
// wherever the reads cut them.
TEST(WatchedPart, ChecksumTakenWhileReadingIsTheCutPartsChecksum)
{
    // The page as the fetch reads it: bytes in pieces, each piece's text ending at its first zero.
    const auto readPage
        = [](const std::string& page, const std::vector<size_t>& cuts, QString& text, CWholePageChecksum& read) {
              taluvo::CAnsiStreamDecoder decoder;
              read.Reset();
              text.clear();
              size_t at = 0;
              for (size_t i = 0; at < page.size(); ++i) {
                  const size_t size = std::min(cuts[i % cuts.size()], page.size() - at);
                  const char* bytes = page.data() + at;
                  const auto* zero = static_cast<const char*>(std::memchr(bytes, 0, size));
                  const auto taken = static_cast<qsizetype>(zero ? static_cast<size_t>(zero - bytes) : size);
                  decoder.FeedTo(text, bytes, taken);
                  read.Add(bytes, taken);
                  if (zero)
                      decoder.FinishTo(text);
                  at += size;
              }
              decoder.FinishTo(text);
          };
    std::vector<std::string> pages = {
        "", "a", "ab", "abc", "abcdef",
        "\xC3\xA9\xC3\xA9\xC3\xA9", // three units, each of two bytes
        "x\xF0\x9F\x98\x80y", // the part's end cuts the pair in two
        "xy\xF0\x9F\x98\x80", // the last two units are the pair
        "\xF0\x9F\x98\x80\xF0\x9F\x98\x80z",
        "\xF0\x9F\x98\x80z", // nothing but the high half is left: U+FFFD's bytes
        "abc\xE2\x82", // a sequence cut short by the page's end
        "abc\xE2\x82\xAC\xE2\x82\xAC", // two units of three bytes each are left out
        "caf\xE9 cr\xE8me\xFF", // not UTF-8: escapes
        std::string("ab\0cd\xC3", 6), // a zero ends the piece's text
        std::string("\0\0\0\0", 4),
        "\xED\xA0\x80\xED\xB0\x80tail", // encoded surrogates are not UTF-8
    };
    std::mt19937 random(51);
    const char* const atoms[] = { "a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE9", "\x80", "\xF0\x9F", "" };
    for (int i = 0; i < 300; ++i) {
        std::string page;
        const size_t length = random() % 40;
        for (size_t n = 0; n < length; ++n)
            page += i % 5 == 0 && random() % 9 == 0 ? std::string(1, '\0') : atoms[random() % std::size(atoms)];
        pages.push_back(page);
    }
    const std::vector<std::vector<size_t>> cutsList = { { 4095 }, { 1 }, { 2, 3 }, { 5, 1, 7 } };
    for (size_t i = 0; i < pages.size(); ++i) {
        for (const std::vector<size_t>& cuts : cutsList) {
            QString text;
            CWholePageChecksum read;
            readPage(pages[i], cuts, text, read);
            DWORD expected = 0x1234u, streamed = 0x1234u;
            const bool hasPart = WatchedPartChecksum(CutWatchedPart(text, {}, {}).part, expected);
            EXPECT_EQ(read.Finish(text, streamed), hasPart) << "page " << i << ", pieces of " << cuts[0];
            if (hasPart) {
                EXPECT_EQ(streamed, expected) << "page " << i << ", pieces of " << cuts[0];
            }

            // The context takes it from there only for a page watched whole.
            SPageCtx ctx;
            ctx.m_strHtml = text;
            ctx.m_dwCheckSum = 0x55u;
            EXPECT_EQ(ctx.UpdateCRC32(&read), hasPart ? expected : 0x55u) << "page " << i;
            ctx.m_strStopCheckMask = QStringLiteral("b");
            ctx.m_dwCheckSum = 0x55u;
            SPageCtx cut;
            cut.m_strHtml = text;
            cut.m_strStopCheckMask = QStringLiteral("b");
            cut.m_dwCheckSum = 0x55u;
            EXPECT_EQ(ctx.UpdateCRC32(&read), cut.UpdateCRC32()) << "page " << i;
        }
    }
}
