// A small in-memory device-independent bitmap: one packed block (information header, colour
// table, pixel rows bottom-up) that can be written unchanged after a file header, plus the DIB
// section and memory context that put it on a device context.
#pragma once

#include "platform/ui/Gdi.h"

#include <QString>

#include <vector>

class CDib {
public:
    CDib();
    virtual ~CDib();
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    void Release();
    // The new block, or null (and empty) when it cannot be allocated. Colour table and pixels are
    // left for the caller to fill.
    BITMAPINFO* Create(int width, int height, WORD bitsPerPixel);
    void CopyFrom(const CDib& other);

    void SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue);
    void SetGrayPalette();
    void BlendPalette(COLORREF color, int percent);
    void Fill(BYTE value);
    // y counts from the top of the picture.
    void SetPixelIndex(int x, int y, BYTE index);

    void Draw(HDC dc, int x, int y);
    void Capture(HDC dc, int x, int y);
    // FALSE when the path is empty, the image is empty, or the file cannot be written whole (an
    // incomplete file is removed).
    BOOL SaveToFile(const QString& path);

    int GetWidth() const { return m_header.biWidth; }
    int GetHeight() const { return m_header.biHeight; }
    int GetStride() const { return m_nStride; }
    int GetBitsPerPixel() const { return m_header.biBitCount; }
    WORD GetPaletteCount() const { return m_nPaletteCount; }
    int GetPaletteSize() const { return 4 * m_nPaletteCount; }
    int GetSize() const { return m_block.empty() ? 0 : int(m_block.size()); }
    BYTE* GetBits();
    const BYTE* GetBlock() const { return m_block.empty() ? nullptr : m_block.data(); }
    bool IsEmpty() const { return m_block.empty(); }

    // A COLORREF in colour-table order: red and blue exchanged, fourth byte 0.
    static DWORD ColorToPalette(COLORREF color);

private:
    RGBQUAD* Palette();
    bool EnsureSection(HDC dc);

    std::vector<BYTE> m_block;
    BITMAPINFOHEADER m_header;
    int m_nStride = 0;
    WORD m_nPaletteCount = 0;
    HDC m_hMemDC = nullptr;
    HBITMAP m_hSection = nullptr;
    void* m_pSectionBits = nullptr;
};
