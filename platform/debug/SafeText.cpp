#include "platform/debug/SafeText.h"

#include <cerrno>
#include <unistd.h>

namespace taluvo::debug {

void SafeText::Clear()
{
    m_length = 0;
    if (m_capacity > 0)
        m_buffer[0] = '\0';
}

SafeText& SafeText::Append(const char* text, size_t length)
{
    if (!text || m_capacity == 0)
        return *this;
    for (size_t i = 0; i < length && m_length + 1 < m_capacity; ++i)
        m_buffer[m_length++] = text[i];
    m_buffer[m_length] = '\0';
    return *this;
}

SafeText& SafeText::Append(const char* text)
{
    return Append(text, SafeStrLen(text));
}

SafeText& SafeText::AppendChar(char c)
{
    return Append(&c, 1);
}

SafeText& SafeText::AppendHex(uint64_t value, int digits)
{
    char reversed[16];
    int count = 0;
    do {
        reversed[count++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0 && count < 16);
    for (int i = count; i < digits && i < 16; ++i)
        AppendChar('0');
    while (count > 0)
        AppendChar(reversed[--count]);
    return *this;
}

SafeText& SafeText::AppendDecimal(int64_t value)
{
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (value < 0)
        AppendChar('-');
    char reversed[20];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0)
        AppendChar(reversed[--count]);
    return *this;
}

size_t SafeStrLen(const char* text)
{
    size_t n = 0;
    while (text && text[n])
        ++n;
    return n;
}

bool SafeStrEqual(const char* a, const char* b)
{
    if (!a || !b)
        return a == b;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

namespace {

// Length of the valid UTF-8 sequence at text (1 to 4) and its code point; 0 when invalid.
int DecodeUtf8(const unsigned char* text, size_t available, uint32_t* codePoint)
{
    const unsigned char lead = text[0];
    int length;
    uint32_t value;
    uint32_t minimum;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (available < static_cast<size_t>(length))
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (text[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

bool WriteAll(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool WriteUtf16(int fd, const char* text, size_t length)
{
    unsigned char out[1024];
    size_t used = 0;
    bool ok = true;
    auto put = [&](uint32_t unit) {
        if (used + 2 > sizeof(out)) {
            ok = WriteAll(fd, out, used) && ok;
            used = 0;
        }
        out[used++] = static_cast<unsigned char>(unit & 0xFF);
        out[used++] = static_cast<unsigned char>(unit >> 8);
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        uint32_t cp = 0;
        const int n = DecodeUtf8(bytes + i, length - i, &cp);
        if (n == 0) {
            put(0xDC00 + bytes[i]);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
        i += static_cast<size_t>(n);
    }
    if (used > 0)
        ok = WriteAll(fd, out, used) && ok;
    return ok;
}

} // namespace taluvo::debug
