#include "platform/base/TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace taluvo {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char32_t kReplacement = 0xFFFD;

enum class Step { Valid, Invalid, Incomplete };

// Looks at the sequence starting at bytes[0]: Valid with its length and code point, Invalid when
// the lead byte cannot start a sequence here, Incomplete when the bytes end inside a sequence
// that is valid so far. Overlong forms, encoded surrogates and values above U+10FFFF are invalid.
Step DecodeOne(const unsigned char* bytes, qsizetype available, qsizetype& length, char32_t& cp)
{
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        length = 1;
        cp = lead;
        return Step::Valid;
    }
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return Step::Invalid;
    }
    for (qsizetype i = 1; i < length; ++i) {
        if (i >= available)
            return Step::Incomplete;
        const unsigned char b = bytes[i];
        const unsigned char lo = i == 1 ? low : 0x80;
        const unsigned char hi = i == 1 ? high : 0xBF;
        if (b < lo || b > hi)
            return Step::Invalid;
        cp = (cp << 6) | (b & 0x3F);
    }
    return Step::Valid;
}

// Writes a code point at out (one or two units); returns the units written.
inline int PutCodePoint(char16_t* out, char32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
        out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        return 2;
    }
    out[0] = static_cast<char16_t>(cp);
    return 1;
}

// Copies the run of ASCII bytes at bytes[pos] as code units; returns the new end of the output and
// moves pos past the run. Sixteen bytes are tested at once: pages are mostly ASCII.
inline char16_t* CopyAscii(const unsigned char* bytes, qsizetype len, qsizetype& pos, char16_t* dst)
{
    while (len - pos >= 16) {
#if defined(__SSE2__)
        // The compiler cannot tell that dst and bytes never overlap, so it widens byte by byte
        // unless told how: sixteen bytes become sixteen units in two stores.
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + pos));
        if (_mm_movemask_epi8(chunk) != 0)
            break;
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(chunk, zero));
#else
        uint64_t a, b;
        std::memcpy(&a, bytes + pos, 8);
        std::memcpy(&b, bytes + pos + 8, 8);
        if ((a | b) & 0x8080808080808080ull)
            break;
        for (int k = 0; k < 16; ++k)
            dst[k] = bytes[pos + k];
#endif
        dst += 16;
        pos += 16;
    }
    while (pos < len && bytes[pos] < 0x80)
        *dst++ = bytes[pos++];
    return dst;
}

// Decodes bytes into dst, which has room for len code units (the text never has more units than
// there are bytes); returns the end of what was written. When keepIncompleteTail is set, an
// incomplete sequence at the very end is not decoded and its start is returned through tailStart
// (otherwise tailStart = len).
char16_t* DecodeInto(
    const unsigned char* bytes, qsizetype len, bool keepIncompleteTail, qsizetype& tailStart, char16_t* dst)
{
    qsizetype pos = 0;
    tailStart = len;
    while (pos < len) {
        dst = CopyAscii(bytes, len, pos, dst);
        if (pos >= len)
            break;
        qsizetype length = 1;
        char32_t cp = 0;
        const Step step = DecodeOne(bytes + pos, len - pos, length, cp);
        if (step == Step::Valid) {
            dst += PutCodePoint(dst, cp);
            pos += length;
            continue;
        }
        if (step == Step::Incomplete && keepIncompleteTail) {
            tailStart = pos;
            break;
        }
        *dst++ = static_cast<char16_t>(kEscapeBase + bytes[pos]);
        ++pos;
    }
    return dst;
}

QString DecodeBytes(const unsigned char* bytes, qsizetype len, bool keepIncompleteTail, qsizetype& tailStart)
{
    QString out(len, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    out.truncate(DecodeInto(bytes, len, keepIncompleteTail, tailStart, begin) - begin);
    return out;
}

// Makes room for extra more code units at the end of out and returns where they go; the caller
// truncates to what it wrote. Capacity grows by doubling, so appending piece by piece stays linear.
char16_t* GrowForAppend(QString& out, qsizetype extra)
{
    const qsizetype size = out.size();
    if (out.capacity() < size + extra)
        out.reserve(std::max(size + extra, 2 * out.capacity()));
    out.resize(size + extra);
    return reinterpret_cast<char16_t*>(out.data()) + size;
}

// Writes the UTF-8 form of a code point at out; returns the bytes written.
inline int PutUtf8(char* out, char32_t cp)
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// Writes the bytes of the code unit at text[i] (with the next one, when the two make a pair, and i
// then moves on to it); returns the new end.
inline char* EncodeUnit(const char16_t* text, qsizetype len, qsizetype& i, char* dst)
{
    const char16_t unit = text[i];
    if (unit < 0x80) {
        *dst++ = static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < len && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        dst += PutUtf8(dst, cp);
        ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
        *dst++ = static_cast<char>(unit - kEscapeBase);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
        dst += PutUtf8(dst, kReplacement);
    } else {
        dst += PutUtf8(dst, unit);
    }
    return dst;
}

} // namespace

QString AnsiDecode(const char* bytes, qsizetype len)
{
    if (!bytes)
        return QString();
    if (len < 0)
        len = static_cast<qsizetype>(std::strlen(bytes));
    qsizetype tail = 0;
    QString text = DecodeBytes(reinterpret_cast<const unsigned char*>(bytes), len, false, tail);
    if (text.isNull())
        text = QString(QLatin1String("")); // an empty input is an empty text, not a null one
    return text;
}

QString AnsiDecode(const QByteArray& bytes)
{
    return AnsiDecode(bytes.isNull() ? "" : bytes.constData(), bytes.size());
}

QByteArray AnsiEncode(const char16_t* text, qsizetype len)
{
    if (!text)
        return QByteArray();
    if (len < 0) {
        len = 0;
        while (text[len])
            ++len;
    }
    // Sized exactly first: a buffer three times the text would be page-faulted in for large pages.
    qsizetype size = 0;
    for (qsizetype i = 0; i < len; ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80)
            size += 1;
        else if (unit < 0x800 || (unit >= 0xDC80 && unit <= 0xDCFF))
            size += unit < 0x800 ? 2 : 1;
        else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < len && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            size += 4;
            ++i;
        } else
            size += 3;
    }
    QByteArray out(size, Qt::Uninitialized);
    char* const begin = out.data();
    char* dst = begin;
    for (qsizetype i = 0; i < len; ++i)
        dst = EncodeUnit(text, len, i, dst);
    out.truncate(dst - begin);
    if (out.isNull())
        out = QByteArray("");
    return out;
}

void AnsiEncodePieces(QStringView text, const std::function<bool(const char*, qsizetype)>& sink)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype len = text.size();
    constexpr qsizetype kPiece = 16384;
    char piece[kPiece];
    char* const end = piece + kPiece - 4; // room for the longest sequence
    qsizetype i = 0;
    while (i < len) {
        char* dst = piece;
        while (i < len && dst < end) {
            // Runs of ASCII are the common case of web pages.
            const qsizetype run = std::min(len - i, static_cast<qsizetype>(end - dst));
            qsizetype n = 0;
            // Eight units tested at once.
            while (run - n >= 8) {
                uint64_t a, b;
                std::memcpy(&a, units + i + n, 8);
                std::memcpy(&b, units + i + n + 4, 8);
                if ((a | b) & 0xFF80FF80FF80FF80ull)
                    break;
                for (int k = 0; k < 8; ++k)
                    dst[n + k] = static_cast<char>(units[i + n + k]);
                n += 8;
            }
            while (n < run && units[i + n] < 0x80) {
                dst[n] = static_cast<char>(units[i + n]);
                ++n;
            }
            dst += n;
            i += n;
            if (i < len && dst < end && units[i] >= 0x80) {
                dst = EncodeUnit(units, len, i, dst);
                ++i;
            }
        }
        if (!sink(piece, dst - piece))
            return;
    }
}

QByteArray AnsiEncode(QStringView text)
{
    if (text.isNull())
        return QByteArray();
    return AnsiEncode(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
}

QByteArray AnsiTruncate(const QByteArray& bytes, qsizetype maxBytes)
{
    if (maxBytes < 0)
        maxBytes = 0;
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype cut = maxBytes;
    // Step back over continuation bytes to the start of the sequence that would be split,
    // unless that sequence fits whole.
    qsizetype start = cut;
    while (start > 0 && (static_cast<unsigned char>(bytes[start]) & 0xC0) == 0x80 && cut - start < 3)
        --start;
    if (start < cut) {
        qsizetype length = 1;
        char32_t cp = 0;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + start;
        if (DecodeOne(p, bytes.size() - start, length, cp) == Step::Valid && start + length > cut)
            cut = start;
    }
    return bytes.left(cut);
}

QString CAnsiStreamDecoder::Feed(const char* bytes, qsizetype len)
{
    QString text(QLatin1String(""));
    FeedTo(text, bytes, len);
    return text;
}

void CAnsiStreamDecoder::FeedTo(QString& out, const char* data, qsizetype len)
{
    if (len <= 0 || !data)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    // A sequence begun in the last piece: finish it with the first bytes of this one.
    char16_t joinedText[8];
    int joinedUnits = 0;
    qsizetype pos = 0;
    while (!m_pending.isEmpty()) {
        unsigned char joined[8];
        const qsizetype carried = m_pending.size();
        const qsizetype taken = std::min<qsizetype>(len, 4);
        std::memcpy(joined, m_pending.constData(), static_cast<size_t>(carried));
        std::memcpy(joined + carried, bytes, static_cast<size_t>(taken));
        qsizetype length = 1;
        char32_t cp = 0;
        const Step step = DecodeOne(joined, carried + taken, length, cp);
        if (step == Step::Incomplete) { // the whole input belongs to the sequence still
            m_pending.append(data, len);
            break;
        }
        if (step == Step::Valid) {
            // What was carried is a valid start of a sequence, so the sequence reaches into the input.
            joinedUnits += PutCodePoint(joinedText + joinedUnits, cp);
            pos = length - carried;
            m_pending.clear();
        } else {
            // The carried lead byte cannot start a sequence after all: its escape, and the rest
            // of what was carried is looked at again.
            joinedText[joinedUnits++] = static_cast<char16_t>(kEscapeBase + joined[0]);
            m_pending.remove(0, 1);
        }
    }
    if (!m_pending.isEmpty() && pos == 0 && joinedUnits == 0)
        return;
    // Never more units than bytes: text of a body of known length fits the room reserved for it.
    const qsizetype start = out.size();
    char16_t* const begin = GrowForAppend(out, joinedUnits + (len - pos));
    std::copy_n(joinedText, joinedUnits, begin);
    char16_t* dst = begin + joinedUnits;
    if (m_pending.isEmpty()) {
        qsizetype tail = 0;
        dst = DecodeInto(bytes + pos, len - pos, true, tail, dst);
        if (pos + tail < len)
            m_pending = QByteArray(data + pos + tail, len - pos - tail);
    }
    out.truncate(start + (dst - begin));
}

QString CAnsiStreamDecoder::Finish()
{
    QString text = AnsiDecode(m_pending);
    m_pending.clear();
    return text;
}

void CAnsiStreamDecoder::FinishTo(QString& out)
{
    if (m_pending.isEmpty())
        return;
    out += AnsiDecode(m_pending);
    m_pending.clear();
}

} // namespace taluvo
