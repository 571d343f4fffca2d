// The drawing layer: device contexts, bitmaps and DIB sections, pens, brushes, fonts, regions,
// text, blits and icons, with the Windows behaviour the program relies on, over Qt.
//
// Every device context draws into a 32-bit image whose pixels are laid out as a Windows 32-bit DIB
// (0xAARRGGBB, blue in the low byte): a memory context into its selected bitmap, a window context
// into an image of the client area that EndPaint puts on the window. The Windows pixel rules hold:
// rectangles exclude their right and bottom edges, LineTo leaves out its last pixel, COLORREF is
// 0x00BBGGRR, and drawing calls write 0 into the alpha byte of the pixels they touch (BitBlt with
// SRCCOPY copies all four bytes).
//
// DIB sections hand out a pixel pointer in the Windows layout (rows bottom-up for a positive
// height, rows padded to four bytes, 1/4/8 bits through the colour table); the layer reads those
// pixels at every drawing call that uses the bitmap and writes them back after it, so the caller
// may change them at any time between calls. Handles are keys in a registry: a stale handle fails.
// All drawing belongs to the user-interface thread.
#pragma once

#include "platform/ui/GdiTypes.h"
#include "platform/ui/UserApi.h" // LoadIcon, DestroyIcon

#include <QString>

class QFont;
class QImage;
class QRegion;

// Device contexts.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HDC GetDC(HWND hwnd); // null: the screen
int ReleaseDC(HWND hwnd, HDC dc);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
int GetDeviceCaps(HDC dc, int index);
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int saved);

// Objects.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
inline HFONT SelectObject(HDC dc, HFONT font)
{
    return reinterpret_cast<HFONT>(SelectObject(dc, FontObject(font)));
}
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
BOOL DeleteObject(HGDIOBJ object);
inline BOOL DeleteObject(HFONT font)
{
    return DeleteObject(FontObject(font));
}
DWORD GetObjectType(HGDIOBJ object);
// BITMAP, DIBSECTION (DIB sections only), LOGPEN, LOGBRUSH or LOGFONT by the object's kind and the
// size given; without a buffer, the size the object's record needs. 0 on failure.
int GetObject(HGDIOBJ object, int size, void* buffer);
inline int GetObject(HFONT font, int size, void* buffer)
{
    return GetObject(FontObject(font), size, buffer);
}
HGDIOBJ GetStockObject(int index);

// Bitmaps.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height); // always 32 bits per pixel
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
int SetDIBitsToDevice(HDC dc, int x, int y, DWORD cx, DWORD cy, int xSrc, int ySrc, UINT startScan, UINT lines,
    const void* bits, const BITMAPINFO* info, UINT usage);

// Pens and brushes.
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH GetSysColorBrush(int index);
int SetROP2(HDC dc, int mode);

// Filling and lines.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL InvertRect(HDC dc, const RECT* rect);
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
BOOL Polygon(HDC dc, const POINT* points, int count);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* points, int count);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// Regions. Windows region semantics: the right and bottom edges are outside.
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN region, int dx, int dy);
int GetRgnBox(HRGN region, RECT* rect);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL EqualRgn(HRGN a, HRGN b);
BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush);
BOOL FrameRgn(HDC dc, HRGN region, HBRUSH brush, int width, int height);
int SelectClipRgn(HDC dc, HRGN region); // null removes the clip; the DC keeps a copy
int GetClipBox(HDC dc, RECT* rect);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);

// Blits.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
// Nearest-pixel stretch; a negative width or height mirrors, as on Windows.
BOOL StretchBlt(
    HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth, int srcHeight, DWORD rop);
// Source pixels are premultiplied when AC_SRC_ALPHA is given, as on Windows.
BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth, int srcHeight,
    BLENDFUNCTION blend);
BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth,
    int srcHeight, UINT transparent);

// Fonts and text.
HFONT CreateFontIndirect(const LOGFONT* font);
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
    DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
    LPCWSTR face);
BOOL GetTextMetrics(HDC dc, TEXTMETRIC* metrics);
BOOL GetTextExtentPoint32(HDC dc, LPCWSTR text, int count, SIZE* size);
BOOL GetTextExtentPoint32(HDC dc, const QString& text, SIZE* size);
BOOL TextOut(HDC dc, int x, int y, LPCWSTR text, int count);
BOOL TextOut(HDC dc, int x, int y, const QString& text);
// count -1: up to the NUL. Returns the height of the text; DT_CALCRECT sets the rectangle's size.
int DrawText(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);
int DrawText(HDC dc, const QString& text, RECT* rect, UINT format);
// Spreads extra pixels over the spaces of later TextOut and GetTextExtentPoint32 calls (the first
// extra % count spaces get one more); (0, 0) ends it.
BOOL SetTextJustification(HDC dc, int extra, int breakCount);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
LPWSTR CharUpper(LPWSTR text); // in place, up to the NUL
LPWSTR CharLower(LPWSTR text);

// Icons (the handles of the window layer's icon registry) and images.
BOOL GetIconInfo(HICON icon, ICONINFO* info);
HICON CreateIconIndirect(const ICONINFO* info);
HICON CopyIcon(HICON icon);
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, HBRUSH flicker, UINT flags);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
// IMAGE_BITMAP or IMAGE_ICON, from a file (LR_LOADFROMFILE, name is a path) or from the resource
// tables (name is an id); width and height 0 keep the stored size (LR_DEFAULTSIZE: system size for icons).
HANDLE LoadImage(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags);
HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name);

// System colours and metrics.
COLORREF GetSysColor(int index);
int GetSystemMetrics(int index);

// Arithmetic.
// number × numerator ÷ denominator with a 64-bit product, rounded half away from zero; -1 when the
// denominator is 0 or the result does not fit.
int MulDiv(int number, int numerator, int denominator);

// Rectangles and points.
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* rect);
BOOL CopyRect(RECT* dest, const RECT* src);
BOOL InflateRect(RECT* rect, int dx, int dy);
BOOL OffsetRect(RECT* rect, int dx, int dy);
BOOL IsRectEmpty(const RECT* rect);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL PtInRect(const RECT* rect, POINT point); // right and bottom edges outside
BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b);
BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b);

namespace taluvo::ui {

// The C runtime's rand(): 0-32767, the same sequence on every run unless reseeded with SrandCrt
// (the sequence of the Windows runtime: state × 214013 + 2531011, bits 16-30).
int RandCrt();
void SrandCrt(unsigned seed);

// The Qt font behind a font handle (the control layer uses it for WM_SETFONT); the default GUI
// font for an unknown handle.
QFont QFontOf(HFONT font);
// A font handle for a Qt font (a control's WM_GETFONT).
HFONT FontHandleOf(const QFont& font);
// A copy of the pixels of a bitmap as a 32-bit image (0xAARRGGBB); null image for a bad handle.
QImage ImageOfBitmap(HBITMAP bitmap);
// The bitmap's picture for screens of twice the density (0xAARRGGBB, twice the width and height):
// a resource bitmap whose "@2x" file exists, as long as nothing was drawn into it; null otherwise.
QImage DoubledImageOfBitmap(HBITMAP bitmap);
// A 32-bit bitmap holding the image's pixels.
HBITMAP BitmapOfImage(const QImage& image);
// A copy of what a device context holds (its bitmap, or the window image of a paint).
QImage ImageOfDc(HDC dc);
// The area of a region handle (the window layer uses it for SetWindowRgn); empty for a bad handle.
QRegion QRegionOf(HRGN region);
// Registers a bitmap resource under its id (the resource tables do this at start).
void RegisterBitmapResource(WORD id, const QString& imagePath);
// Live GDI objects and device contexts (tests look for leaks with it).
size_t LiveGdiObjects();

} // namespace taluvo::ui
