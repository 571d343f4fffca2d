// Base64 (RFC 2045 alphabet and '=' fill) over two buffers the coder owns. The decoder is liberal:
// it skips white space and refuses nothing (see Decode).
#pragma once

#include "platform/base/WinTypes.h"

class CBase64Coder {
public:
    CBase64Coder() = default;
    virtual ~CBase64Coder();
    CBase64Coder(const CBase64Coder&) = delete;
    CBase64Coder& operator=(const CBase64Coder&) = delete;

    // Encodes a NUL-terminated ANSI text; a null text does nothing.
    virtual void Encode(const char* text);
    // The result, without line breaks, is in GetEncodedBuffer() (NUL-terminated).
    virtual void Encode(const BYTE* bytes, DWORD length);
    virtual void Decode(const char* text);
    // Blanks and the control characters 7 to 13 are skipped; a character outside the alphabet
    // counts as 62 and a '=' that is not in the third or fourth place of a group as 63. A last
    // partial group yields as many bytes as it has characters. The result is in
    // GetDecodedBuffer(), NUL-terminated, GetDecodedLength() bytes long.
    virtual void Decode(const BYTE* bytes, DWORD length);
    // Both pointers change when an operation needs a larger buffer; null before the first use.
    virtual BYTE* GetDecodedBuffer() const { return m_pDecoded; }
    virtual char* GetEncodedBuffer() const { return reinterpret_cast<char*>(m_pEncoded); }

    DWORD GetDecodedLength() const { return m_nDecodedLen; }
    DWORD GetEncodedLength() const { return m_nEncodedLen; }
    DWORD GetDecodedCapacity() const { return m_nDecodedSize; }
    DWORD GetEncodedCapacity() const { return m_nEncodedSize; }

protected:
    // Make the buffer hold at least n bytes (in steps of 4096), clear all of it, length 0.
    virtual void ReserveEncoded(DWORD n);
    virtual void ReserveDecoded(DWORD n);
    virtual void LoadEncoded(const BYTE* bytes, DWORD length);
    virtual void LoadDecoded(const BYTE* bytes, DWORD length);
    // group: four data bytes and a count (of real input bytes, or of characters).
    virtual void EncodeGroup(const BYTE* group, BYTE* out);
    virtual int DecodeGroup(const BYTE* group, BYTE* out);
    virtual void SplitBytes(BYTE* out, const BYTE* group);
    virtual void JoinValues(BYTE* out, const BYTE* group);
    virtual BOOL IsSkippedChar(BYTE c);

private:
    static void Reserve(BYTE*& buffer, DWORD& capacity, DWORD& length, DWORD n);

    BYTE* m_pDecoded = nullptr;
    BYTE* m_pEncoded = nullptr;
    DWORD m_nDecodedSize = 0;
    DWORD m_nEncodedSize = 0;
    DWORD m_nDecodedLen = 0;
    DWORD m_nEncodedLen = 0;
};
