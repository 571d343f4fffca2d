#include "platform/base/TextCodec.h"

#include <algorithm>
#include <cstring>

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
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
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

// Decodes bytes; when keepIncompleteTail is set, an incomplete sequence at the very end is not
// decoded and its start is returned through tailStart (otherwise tailStart = len). The text never
// has more code units than there are bytes, so it is written into one buffer of that size.
QString DecodeBytes(const unsigned char* bytes, qsizetype len, bool keepIncompleteTail, qsizetype& tailStart)
{
    QString out(len, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* dst = begin;
    qsizetype pos = 0;
    tailStart = len;
    while (pos < len) {
        // Runs of ASCII are the common case of web pages.
        while (pos < len && bytes[pos] < 0x80)
            *dst++ = bytes[pos++];
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
    out.truncate(dst - begin);
    return out;
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

}  // namespace

QString AnsiDecode(const char* bytes, qsizetype len)
{
    if (!bytes)
        return QString();
    if (len < 0)
        len = static_cast<qsizetype>(std::strlen(bytes));
    qsizetype tail = 0;
    QString text = DecodeBytes(reinterpret_cast<const unsigned char*>(bytes), len, false, tail);
    if (text.isNull())
        text = QString(QLatin1String(""));  // an empty input is an empty text, not a null one
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
    char* const end = piece + kPiece - 4;  // room for the longest sequence
    qsizetype i = 0;
    while (i < len) {
        char* dst = piece;
        while (i < len && dst < end) {
            // Runs of ASCII are the common case of web pages.
            const qsizetype run = std::min(len - i, static_cast<qsizetype>(end - dst));
            qsizetype n = 0;
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
    if (len <= 0 || !bytes)
        return QString(QLatin1String(""));
    m_pending.append(bytes, len);
    qsizetype tail = 0;
    QString text = DecodeBytes(reinterpret_cast<const unsigned char*>(m_pending.constData()), m_pending.size(), true, tail);
    m_pending.remove(0, tail);
    return text.isNull() ? QString(QLatin1String("")) : text;
}

QString CAnsiStreamDecoder::Finish()
{
    QString text = AnsiDecode(m_pending);
    m_pending.clear();
    return text;
}

}  // namespace taluvo
