#include "Controls/Dib.h"

#include "platform/base/FileWrite.h"
#include "platform/base/TextCodec.h"

#include <cstring>
#include <new>
#include <string>

namespace {

WORD PaletteCountFor(WORD bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

} // namespace

CDib::CDib() = default;

CDib::~CDib()
{
    Release();
}

void CDib::Release()
{
    if (m_hMemDC) {
        DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
    }
    if (m_hSection) {
        DeleteObject(m_hSection);
        m_hSection = nullptr;
    }
    m_pSectionBits = nullptr;
    std::vector<BYTE>().swap(m_block);
    m_header = BITMAPINFOHEADER {};
    m_nStride = 0;
    m_nPaletteCount = 0;
}

BITMAPINFO* CDib::Create(int width, int height, WORD bitsPerPixel)
{
    Release();
    if (width <= 0 || height <= 0 || bitsPerPixel == 0 || bitsPerPixel > 32)
        return nullptr;
    const int64_t stride = ((int64_t(width) * bitsPerPixel + 31) >> 5) << 2;
    const int64_t imageSize = stride * height;
    const WORD paletteCount = PaletteCountFor(bitsPerPixel);
    const int64_t total = int64_t(sizeof(BITMAPINFOHEADER)) + 4 * int64_t(paletteCount) + imageSize;
    if (imageSize > 0x7FFFFFFF || total > 0x7FFFFFFF)
        return nullptr;
    try {
        m_block.resize(size_t(total));
    } catch (const std::bad_alloc&) {
        std::vector<BYTE>().swap(m_block);
        return nullptr;
    }
    m_nPaletteCount = paletteCount;
    m_nStride = int(stride);
    m_header.biSize = sizeof(BITMAPINFOHEADER);
    m_header.biWidth = width;
    m_header.biHeight = height;
    m_header.biPlanes = 1;
    m_header.biBitCount = bitsPerPixel;
    m_header.biCompression = BI_RGB;
    m_header.biSizeImage = DWORD(imageSize);
    std::memcpy(m_block.data(), &m_header, sizeof m_header);
    return reinterpret_cast<BITMAPINFO*>(m_block.data());
}

void CDib::CopyFrom(const CDib& other)
{
    if (&other == this)
        return;
    if (other.IsEmpty()) {
        Release();
        return;
    }
    if (Create(other.GetWidth(), other.GetHeight(), WORD(other.GetBitsPerPixel())))
        std::memcpy(m_block.data(), other.m_block.data(), m_block.size());
}

RGBQUAD* CDib::Palette()
{
    return m_block.empty() || !m_nPaletteCount ? nullptr
                                               : reinterpret_cast<RGBQUAD*>(m_block.data() + sizeof(BITMAPINFOHEADER));
}

BYTE* CDib::GetBits()
{
    return m_block.empty() ? nullptr : m_block.data() + sizeof(BITMAPINFOHEADER) + GetPaletteSize();
}

DWORD CDib::ColorToPalette(COLORREF color)
{
    return DWORD(GetBValue(color)) | (DWORD(GetGValue(color)) << 8) | (DWORD(GetRValue(color)) << 16);
}

void CDib::SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue)
{
    RGBQUAD* palette = Palette();
    if (!palette || index >= m_nPaletteCount)
        return;
    palette[index] = RGBQUAD { blue, green, red, 0 };
}

void CDib::SetGrayPalette()
{
    RGBQUAD* palette = Palette();
    if (!palette)
        return;
    for (int i = 0; i < m_nPaletteCount; ++i)
        palette[i] = RGBQUAD { BYTE(i), BYTE(i), BYTE(i), 0 };
    palette[0] = RGBQUAD { 0, 0, 0, 0 };
    palette[m_nPaletteCount - 1] = RGBQUAD { 255, 255, 255, 0 };
}

void CDib::BlendPalette(COLORREF color, int percent)
{
    RGBQUAD* palette = Palette();
    if (!palette)
        return;
    const int p = std::clamp(percent, 0, 100);
    const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    for (int i = 0; i < m_nPaletteCount; ++i) {
        RGBQUAD& e = palette[i];
        e.rgbRed = BYTE((e.rgbRed * (100 - p) + r * p) / 100);
        e.rgbGreen = BYTE((e.rgbGreen * (100 - p) + g * p) / 100);
        e.rgbBlue = BYTE((e.rgbBlue * (100 - p) + b * p) / 100);
    }
}

void CDib::Fill(BYTE value)
{
    if (BYTE* bits = GetBits())
        std::memset(bits, value, m_header.biSizeImage);
}

void CDib::SetPixelIndex(int x, int y, BYTE index)
{
    if (m_block.empty() || m_header.biBitCount != 8 || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return;
    GetBits()[size_t(GetHeight() - 1 - y) * m_nStride + x] = index;
}

bool CDib::EnsureSection(HDC dc)
{
    if (m_block.empty())
        return false;
    if (!m_hSection) {
        m_hSection = CreateDIBSection(
            dc, reinterpret_cast<BITMAPINFO*>(m_block.data()), DIB_RGB_COLORS, &m_pSectionBits, nullptr, 0);
        if (!m_hSection)
            return false;
        if (!m_pSectionBits) {
            DeleteObject(m_hSection);
            m_hSection = nullptr;
            return false;
        }
    }
    if (!m_hMemDC)
        m_hMemDC = CreateCompatibleDC(dc);
    return m_hMemDC != nullptr;
}

void CDib::Draw(HDC dc, int x, int y)
{
    if (!EnsureSection(dc))
        return;
    std::memcpy(m_pSectionBits, GetBits(), m_header.biSizeImage);
    HGDIOBJ old = SelectObject(m_hMemDC, m_hSection);
    BitBlt(dc, x, y, GetWidth(), GetHeight(), m_hMemDC, 0, 0, SRCCOPY);
    SelectObject(m_hMemDC, old);
}

void CDib::Capture(HDC dc, int x, int y)
{
    if (!EnsureSection(dc))
        return;
    HGDIOBJ old = SelectObject(m_hMemDC, m_hSection);
    BitBlt(m_hMemDC, 0, 0, GetWidth(), GetHeight(), dc, x, y, SRCCOPY);
    SelectObject(m_hMemDC, old);
}

BOOL CDib::SaveToFile(const QString& path)
{
    if (path.isEmpty() || m_block.empty())
        return FALSE;
    BITMAPFILEHEADER file;
    file.bfType = 0x4D42; // "BM"
    file.bfSize = DWORD(m_block.size() + sizeof file);
    file.bfOffBits = DWORD(sizeof(BITMAPINFOHEADER) + GetPaletteSize() + sizeof file);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(m_block.data()), m_block.size());
    // A short write (a full disk) must not leave a truncated picture that looks saved.
    return taluvo::ReplaceFileContents(taluvo::AnsiEncode(path).constData(), bytes.data(), bytes.size()) ? TRUE : FALSE;
}
