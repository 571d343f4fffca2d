#include "mail/Base64Coder.h"

#include <array>
#include <cstring>
#include <new>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr BYTE kNotInAlphabet = 254;
constexpr BYTE kFill = 255;

// One entry per byte value. The copies of the alphabet with the high bit set decode like the
// characters themselves, so text that lost its top bit in transit still decodes.
const std::array<BYTE, 256>& DecodingTable()
{
    static const std::array<BYTE, 256> table = [] {
        std::array<BYTE, 256> t;
        t.fill(kNotInAlphabet);
        for (int i = 0; i < 64; ++i) {
            const BYTE c = static_cast<BYTE>(kAlphabet[i]);
            t[c] = static_cast<BYTE>(i);
            t[static_cast<BYTE>(c + 128)] = static_cast<BYTE>(i);
        }
        t['='] = kFill;
        t['=' + 128] = kFill;
        return t;
    }();
    return table;
}

} // namespace

CBase64Coder::~CBase64Coder()
{
    delete[] m_pDecoded;
    delete[] m_pEncoded;
}

void CBase64Coder::Encode(const char* text)
{
    if (text)
        Encode(reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)));
}

void CBase64Coder::Encode(const BYTE* bytes, DWORD length)
{
    LoadDecoded(bytes, length);
    ReserveEncoded(length > 0xFFFFFFFFu / 2 ? 0xFFFFFFFFu : 2 * length);
    DWORD i = 0;
    BYTE group[5] = {};
    for (; i + 3 <= m_nDecodedLen; i += 3) {
        std::memcpy(group, m_pDecoded + i, 3);
        group[4] = 3;
        EncodeGroup(group, m_pEncoded + m_nEncodedLen);
        m_nEncodedLen += 4;
    }
    if (i < m_nDecodedLen) {
        std::memset(group, 0, sizeof group);
        group[4] = static_cast<BYTE>(m_nDecodedLen - i);
        std::memcpy(group, m_pDecoded + i, group[4]);
        EncodeGroup(group, m_pEncoded + m_nEncodedLen);
        m_nEncodedLen += 4;
    }
}

void CBase64Coder::Decode(const char* text)
{
    if (text)
        Decode(reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)));
}

void CBase64Coder::Decode(const BYTE* bytes, DWORD length)
{
    const auto& table = DecodingTable();
    LoadEncoded(bytes, length);
    ReserveDecoded(length);
    auto lookup = [&](DWORD index) -> BYTE {
        const BYTE value = table[m_pEncoded[index]];
        return value == kNotInAlphabet ? 62 : value;
    };
    BYTE group[5] = {};
    DWORD i = 0;
    for (; i + 4 <= m_nEncodedLen; i += 4) {
        for (int k = 0; k < 4; ++k)
            group[k] = lookup(i + k);
        for (int k = 2; k < 4; ++k)
            if (group[k] == kFill)
                group[k] = 0;
        group[4] = 4;
        DecodeGroup(group, m_pDecoded + m_nDecodedLen);
        m_nDecodedLen += 3;
    }
    if (i < m_nEncodedLen) {
        const DWORD rest = m_nEncodedLen - i;
        std::memset(group, 0, sizeof group);
        for (DWORD k = 0; k < rest; ++k) {
            group[k] = lookup(i + k);
            if (group[k] == kFill)
                group[k] = 0;
        }
        group[4] = static_cast<BYTE>(rest);
        DecodeGroup(group, m_pDecoded + m_nDecodedLen);
        m_nDecodedLen += rest;
    }
}

void CBase64Coder::Reserve(BYTE*& buffer, DWORD& capacity, DWORD& length, DWORD n)
{
    if (capacity < n) {
        const uint64_t size = ((static_cast<uint64_t>(n) >> 12) + 1) << 12;
        BYTE* fresh = size <= 0xFFFFFFFFu ? new (std::nothrow) BYTE[size] : nullptr;
        if (!fresh)
            throw std::bad_alloc();
        delete[] buffer;
        buffer = fresh;
        capacity = static_cast<DWORD>(size);
    }
    if (buffer)
        std::memset(buffer, 0, capacity);
    length = 0;
}

void CBase64Coder::ReserveEncoded(DWORD n)
{
    Reserve(m_pEncoded, m_nEncodedSize, m_nEncodedLen, n);
}

void CBase64Coder::ReserveDecoded(DWORD n)
{
    Reserve(m_pDecoded, m_nDecodedSize, m_nDecodedLen, n);
}

void CBase64Coder::LoadEncoded(const BYTE* bytes, DWORD length)
{
    ReserveEncoded(length);
    for (DWORD i = 0; i < length; ++i)
        if (!IsSkippedChar(bytes[i]))
            m_pEncoded[m_nEncodedLen++] = bytes[i];
}

void CBase64Coder::LoadDecoded(const BYTE* bytes, DWORD length)
{
    ReserveDecoded(length);
    if (length)
        std::memcpy(m_pDecoded, bytes, length);
    m_nDecodedLen = length;
}

void CBase64Coder::EncodeGroup(const BYTE* group, BYTE* out)
{
    BYTE values[4];
    SplitBytes(values, group);
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<BYTE>(kAlphabet[values[k]]);
    if (group[4] == 1)
        out[2] = '=';
    if (group[4] <= 2)
        out[3] = '=';
}

int CBase64Coder::DecodeGroup(const BYTE* group, BYTE* out)
{
    JoinValues(out, group);
    int real = 0;
    for (int k = 0; k < 3; ++k)
        if (out[k] != 255)
            ++real;
    return real;
}

void CBase64Coder::SplitBytes(BYTE* out, const BYTE* group)
{
    out[0] = static_cast<BYTE>(group[0] >> 2);
    out[1] = static_cast<BYTE>(((group[0] & 0x03) << 4) | (group[1] >> 4));
    out[2] = static_cast<BYTE>(((group[1] & 0x0F) << 2) | (group[2] >> 6));
    out[3] = static_cast<BYTE>(group[2] & 0x3F);
}

void CBase64Coder::JoinValues(BYTE* out, const BYTE* group)
{
    const BYTE a = group[0] & 0x3F, b = group[1] & 0x3F, c = group[2] & 0x3F, d = group[3] & 0x3F;
    out[0] = static_cast<BYTE>((a << 2) | (b >> 4));
    out[1] = static_cast<BYTE>(((b & 0x0F) << 4) | (c >> 2));
    out[2] = static_cast<BYTE>(((c & 0x03) << 6) | d);
}

BOOL CBase64Coder::IsSkippedChar(BYTE c)
{
    return (c >= 7 && c <= 13) || c == 32;
}
