// Text building that is safe inside a signal handler: a fixed buffer, no allocation, no locale.
// What does not fit is cut; the text always stays NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace taluvo::debug {

class SafeText {
public:
    SafeText(char* buffer, size_t capacity)
        : m_buffer(buffer)
        , m_capacity(capacity)
    {
        Clear();
    }

    void Clear();
    SafeText& Append(const char* text);
    SafeText& Append(const char* text, size_t length);
    SafeText& AppendChar(char c);
    // Upper-case hexadecimal, zero-padded to at least `digits` digits.
    SafeText& AppendHex(uint64_t value, int digits);
    SafeText& AppendDecimal(int64_t value);

    const char* Text() const { return m_buffer; }
    size_t Length() const { return m_length; }

private:
    char* m_buffer;
    size_t m_capacity;
    size_t m_length = 0;
};

size_t SafeStrLen(const char* text);
bool SafeStrEqual(const char* a, const char* b);

// Writes UTF-8 text to a file as UTF-16 little-endian without a byte-order mark. A byte that is
// not part of a valid sequence becomes the code unit U+DC00 + byte, as the program's codec does,
// so a path in any encoding comes back as it was. False when a write failed.
bool WriteUtf16(int fd, const char* text, size_t length);

} // namespace taluvo::debug
