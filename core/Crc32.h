// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320). The checksums of watched parts are
// stored in table PAGES, so every implementation here must give bit-identical values.
#pragma once

#include "platform/base/WinTypes.h"

#include <cstddef>

class CCrc32 {
public:
    CCrc32() = default;

    void Reset() { m_dwState = 0xFFFFFFFFu; }
    // Folds count bytes into the state; a null pointer or a zero count changes nothing.
    void Update(const void* bytes, size_t count);
    // The running state; the checksum is its complement.
    DWORD GetState() const { return m_dwState; }

    // The whole checksum of a buffer (reset, update, complement).
    static DWORD Of(const void* bytes, size_t count);
    // A finished checksum extended by more bytes, as zlib's crc32() and ZIP writers chain it.
    static DWORD Continue(DWORD checksum, const void* bytes, size_t count);

    // The byte-at-a-time table form, which every faster form must agree with.
    static DWORD UpdateByTable(DWORD state, const BYTE* bytes, size_t count);

private:
    DWORD m_dwState = 0xFFFFFFFFu;
};
