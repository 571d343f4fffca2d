#include "core/db/SqlBinary.h"

#include "core/db/SqlWrapper.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kQuote = '\'';
constexpr unsigned char kEscape = 1;

} // namespace

CSqlBinary::~CSqlBinary()
{
    clear();
}

void CSqlBinary::clear()
{
    std::free(m_pBuf);
    m_pBuf = nullptr;
    m_nBufferLen = 0;
    m_nBinaryLen = 0;
    m_nEncodedLen = 0;
    m_bEncoded = false;
}

unsigned char* CSqlBinary::allocate(size_t size)
{
    auto* buffer = static_cast<unsigned char*>(std::malloc(size));
    if (!buffer)
        throw CSqlException(SQLWRAP_ERROR, "Cannot allocate memory");
    return buffer;
}

size_t CSqlBinary::EncodedCapacity(size_t length)
{
    // The best offset makes at most 3 of every 254 bytes take two characters; plus the offset
    // character and the terminator.
    return length * 257 / 254 + 3;
}

size_t CSqlBinary::Encode(const unsigned char* in, size_t length, unsigned char* out)
{
    if (length == 0) {
        out[0] = 'x';
        out[1] = 0;
        return 1;
    }
    size_t counts[256] = {};
    for (size_t i = 0; i < length; ++i)
        ++counts[in[i]];
    // The offset that leaves the fewest bytes needing an escape (0, 1 and the quote after
    // subtracting it); the quote itself cannot be the offset character.
    size_t best = length;
    unsigned offset = 1;
    for (unsigned e = 1; e < 256; ++e) {
        if (e == kQuote)
            continue;
        const size_t sum = counts[e] + counts[(e + 1) & 0xFF] + counts[(e + kQuote) & 0xFF];
        if (sum < best) {
            best = sum;
            offset = e;
            if (best == 0)
                break;
        }
    }
    size_t j = 0;
    out[j++] = static_cast<unsigned char>(offset);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char d = static_cast<unsigned char>(in[i] - offset);
        if (d == 0) {
            out[j++] = kEscape;
            out[j++] = 1;
        } else if (d == 1) {
            out[j++] = kEscape;
            out[j++] = 2;
        } else if (d == kQuote) {
            out[j++] = kEscape;
            out[j++] = 3;
        } else {
            out[j++] = d;
        }
    }
    out[j] = 0;
    return j;
}

bool CSqlBinary::Decode(const unsigned char* in, unsigned char* out, size_t& length)
{
    length = 0;
    // Every encoding has its offset character; an empty text has none.
    const unsigned char offset = *in++;
    if (offset == 0)
        return false;
    for (unsigned char c; (c = *in++) != 0;) {
        if (c == kEscape) {
            switch (*in++) {
            case 1:
                c = 0;
                break;
            case 2:
                c = 1;
                break;
            case 3:
                c = kQuote;
                break;
            default:
                return false; // also the terminator right after an escape
            }
        }
        out[length++] = static_cast<unsigned char>(c + offset);
    }
    return true;
}

int CSqlBinary::assignBinary(const unsigned char* data, int length)
{
    if (length < 0 || (length > 0 && !data))
        throw CSqlException(SQLWRAP_ERROR, "Cannot allocate memory");
    const size_t capacity = EncodedCapacity(static_cast<size_t>(length));
    unsigned char* buffer = allocate(capacity);
    if (length > 0)
        std::memcpy(buffer, data, static_cast<size_t>(length));
    clear();
    m_pBuf = buffer;
    m_nBufferLen = capacity;
    m_nBinaryLen = length;
    return length;
}

void CSqlBinary::assignEncoded(const char* text)
{
    const size_t length = text ? std::strlen(text) : 0;
    if (length >= static_cast<size_t>(INT_MAX))
        throw CSqlException(SQLWRAP_ERROR, "Cannot allocate memory");
    unsigned char* buffer = allocate(length + 1);
    if (length > 0)
        std::memcpy(buffer, text, length);
    buffer[length] = 0;
    clear();
    m_pBuf = buffer;
    m_nBufferLen = length + 1;
    m_nEncodedLen = static_cast<int>(length);
    m_bEncoded = true;
}

const char* CSqlBinary::encodedText()
{
    if (!m_pBuf)
        assignBinary(nullptr, 0);
    if (!m_bEncoded) {
        const size_t capacity = EncodedCapacity(static_cast<size_t>(m_nBinaryLen));
        unsigned char* encoded = allocate(capacity);
        m_nEncodedLen = static_cast<int>(Encode(m_pBuf, static_cast<size_t>(m_nBinaryLen), encoded));
        std::free(m_pBuf);
        m_pBuf = encoded;
        m_nBufferLen = capacity;
        m_bEncoded = true;
    }
    return reinterpret_cast<const char*>(m_pBuf);
}

const unsigned char* CSqlBinary::binaryData()
{
    if (m_bEncoded) {
        // Decoded aside, so a failure leaves the encoded text as it was.
        unsigned char* decoded = allocate(static_cast<size_t>(m_nEncodedLen) + 1);
        size_t length = 0;
        if (!Decode(m_pBuf, decoded, length)) {
            std::free(decoded);
            throw CSqlException(SQLWRAP_ERROR, "Cannot decode binary");
        }
        std::free(m_pBuf);
        m_pBuf = decoded;
        m_nBufferLen = static_cast<size_t>(m_nEncodedLen) + 1;
        m_nBinaryLen = static_cast<int>(length);
        m_bEncoded = false;
    }
    return m_pBuf;
}

int CSqlBinary::binaryLength()
{
    binaryData();
    return m_nBinaryLen;
}
