#include "core/Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr std::array<std::array<DWORD, 256>, 8> MakeTables()
{
    std::array<std::array<DWORD, 256>, 8> tables {};
    for (DWORD i = 0; i < 256; ++i) {
        DWORD c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    // tables[k][i]: the state after byte i followed by k zero bytes, for eight bytes per step.
    for (int k = 1; k < 8; ++k)
        for (DWORD i = 0; i < 256; ++i)
            tables[k][i] = tables[0][tables[k - 1][i] & 0xFF] ^ (tables[k - 1][i] >> 8);
    return tables;
}

constexpr auto kTables = MakeTables();

// Eight bytes per step with the same result as the byte table.
DWORD UpdateSliced(DWORD state, const BYTE* p, size_t count)
{
    while (count >= 8) {
        uint32_t low, high;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 4);
        low ^= state;
        state = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF]
            ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF]
            ^ kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
        p += 8;
        count -= 8;
    }
    return CCrc32::UpdateByTable(state, p, count);
}

#if defined(__x86_64__)

// Folding with carry-less multiplication: four 128-bit lanes are folded 64 bytes at a time, then
// into one lane, then reduced to 32 bits with a Barrett step. The constants are powers of x
// modulo the bit-reflected polynomial (x^(4*128+32), x^(4*128-32), x^(128+32), x^(128-32), x^64)
// and the Barrett pair (the polynomial with its top bit, and floor(x^64 / P)).
#define TALUVO_CLMUL __attribute__((target("pclmul,sse4.1")))

TALUVO_CLMUL inline __m128i Load(const BYTE* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

TALUVO_CLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i data)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

TALUVO_CLMUL DWORD FoldClmul(DWORD state, const BYTE* p, size_t count)
{
    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124LL);
    const __m128i poly = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
    p += 64;
    count -= 64;
    while (count >= 64) {
        x0 = Fold(x0, k1k2, Load(p));
        x1 = Fold(x1, k1k2, Load(p + 16));
        x2 = Fold(x2, k1k2, Load(p + 32));
        x3 = Fold(x3, k1k2, Load(p + 48));
        p += 64;
        count -= 64;
    }
    x0 = Fold(x0, k3k4, x1);
    x0 = Fold(x0, k3k4, x2);
    x0 = Fold(x0, k3k4, x3);
    while (count >= 16) {
        x0 = Fold(x0, k3k4, Load(p));
        p += 16;
        count -= 16;
    }
    // 128 -> 64 bits.
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, k3k4, 0x10), _mm_srli_si128(x0, 8));
    // 64 -> 32 bits.
    x0 = _mm_xor_si128(_mm_srli_si128(x0, 4), _mm_clmulepi64_si128(_mm_and_si128(x0, mask32), k5, 0x00));
    // Barrett reduction.
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, mask32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
    x0 = _mm_xor_si128(x0, t);
    return static_cast<DWORD>(_mm_extract_epi32(x0, 1));
}

bool HasClmul()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

} // namespace

DWORD CCrc32::UpdateByTable(DWORD state, const BYTE* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        state = kTables[0][(state ^ bytes[i]) & 0xFF] ^ (state >> 8);
    return state;
}

void CCrc32::Update(const void* bytes, size_t count)
{
    if (!bytes || count == 0)
        return;
    const BYTE* p = static_cast<const BYTE*>(bytes);
#if defined(__x86_64__)
    if (count >= 64 && HasClmul()) {
        const size_t folded = count & ~size_t(15);
        m_dwState = FoldClmul(m_dwState, p, folded);
        p += folded;
        count -= folded;
    }
#endif
    m_dwState = UpdateSliced(m_dwState, p, count);
}

DWORD CCrc32::Of(const void* bytes, size_t count)
{
    CCrc32 crc;
    crc.Reset();
    crc.Update(bytes, count);
    return ~crc.GetState();
}

DWORD CCrc32::Continue(DWORD checksum, const void* bytes, size_t count)
{
    CCrc32 crc;
    crc.m_dwState = ~checksum;
    crc.Update(bytes, count);
    return ~crc.m_dwState;
}
