// Binary values written as text inside SQL: the encoded form holds no zero byte and no single
// quote, so it can be passed through "%Q". The settings record and the user order of a group's
// pages are stored this way.
#pragma once

#include <cstddef>

class CSqlBinary {
public:
    CSqlBinary() = default;
    CSqlBinary(const CSqlBinary&) = delete;
    CSqlBinary& operator=(const CSqlBinary&) = delete;
    ~CSqlBinary();

    // Takes a copy of the bytes; returns the length.
    int assignBinary(const unsigned char* data, int length);
    // Takes a copy of encoded text (NUL-terminated).
    void assignEncoded(const char* text);

    // The encoded form of the bytes held ("x" for none).
    const char* encodedText();
    // The bytes of the encoded text held; an invalid encoding throws and keeps the text.
    const unsigned char* binaryData();
    int binaryLength();

    // The encoding itself: out needs EncodedCapacity(length) bytes; returns the encoded length
    // without the terminator.
    static size_t EncodedCapacity(size_t length);
    static size_t Encode(const unsigned char* in, size_t length, unsigned char* out);
    // Decodes NUL-terminated text into out (at most as long as the text); false for an invalid
    // encoding.
    static bool Decode(const unsigned char* in, unsigned char* out, size_t& length);

private:
    void clear();
    unsigned char* allocate(size_t size);

    unsigned char* m_pBuf = nullptr; // malloc
    int m_nBinaryLen = 0;
    size_t m_nBufferLen = 0;
    int m_nEncodedLen = 0;
    bool m_bEncoded = false;
};
