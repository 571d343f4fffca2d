// Internals shared by the files of the drawing layer: the object registry, the device-context
// record and the pixel helpers. Not for program code.
#pragma once

#include "platform/ui/Gdi.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace taluvo::ui::gdi {

struct Object {
    explicit Object(DWORD kind)
        : kind(kind)
    {
    }
    virtual ~Object() = default;
    DWORD kind;
    bool stock = false;
};
using ObjectPtr = std::shared_ptr<Object>;

// A bitmap. `image` (ARGB32, rows top-down, each pixel the Windows 32-bit value) is what drawing
// works on. A DIB section also owns `bits` in the Windows layout, which the caller may write at
// any time: Pull() reads them into the image before a call uses the bitmap, Push() writes the
// image back after a call has drawn into it.
struct Bitmap : Object {
    Bitmap()
        : Object(OBJ_BITMAP)
    {
    }
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;
    QImage image;
    // The picture at twice the density, from a resource that has an "@2x" file. It stands for
    // `image` only while that is unchanged: drawing into the bitmap gives the image a new cache key.
    QImage doubled;
    qint64 doubledFor = 0;
    bool dib = false;
    bool bottomUp = true;
    int stride = 0;
    std::vector<uint8_t> bits;
    std::vector<RGBQUAD> colors;
    BITMAPINFOHEADER header;
    void Pull();
    void Push();
};

struct Pen : Object {
    Pen()
        : Object(OBJ_PEN)
    {
    }
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct Brush : Object {
    Brush()
        : Object(OBJ_BRUSH)
    {
    }
    bool hollow = false;
    COLORREF color = 0;
};

// The Qt font is resolved on first use: fonts need the application object, contexts do not.
struct Font : Object {
    Font()
        : Object(OBJ_FONT)
    {
    }
    LOGFONT logFont;
    bool resolved = false;
    void Resolve();
    QFont font;
    int ascent = 0; // pixels, as the metrics report them
    int descent = 0;
    int internalLeading = 0;
    int externalLeading = 0;
    int averageWidth = 0;
    int maxWidth = 0;
};

struct Region : Object {
    Region()
        : Object(OBJ_REGION)
    {
    }
    QRegion region;
};

// The state a device context carries; SaveDC pushes a copy.
struct DcState {
    HBITMAP bitmap = nullptr;
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int rop2 = R2_COPYPEN;
    POINT position;
    bool clipped = false;
    QRegion clip;
    int justifyExtra = 0;
    int justifyCount = 0;
};

struct Dc {
    enum class Kind { Memory, Window, Paint, Screen };
    Kind kind = Kind::Memory;
    HWND hwnd = nullptr;
    DcState state;
    std::vector<DcState> saved;
    QImage surface; // window, paint and screen contexts draw here
    bool screenGrabbed = false;
    int styleStep = 0; // position in the dash pattern of a width-1 styled pen
};

// Registry.
HGDIOBJ Add(ObjectPtr object);
ObjectPtr Find(HGDIOBJ handle);
template <class T> std::shared_ptr<T> FindAs(HGDIOBJ handle, DWORD kind)
{
    auto object = Find(handle);
    return object && object->kind == kind ? std::static_pointer_cast<T>(object) : nullptr;
}
inline std::shared_ptr<Bitmap> FindBitmap(HGDIOBJ h)
{
    return FindAs<Bitmap>(h, OBJ_BITMAP);
}
inline std::shared_ptr<Pen> FindPen(HGDIOBJ h)
{
    return FindAs<Pen>(h, OBJ_PEN);
}
inline std::shared_ptr<Brush> FindBrush(HGDIOBJ h)
{
    return FindAs<Brush>(h, OBJ_BRUSH);
}
inline std::shared_ptr<Font> FindFont(HGDIOBJ h)
{
    return FindAs<Font>(h, OBJ_FONT);
}
inline std::shared_ptr<Region> FindRegion(HGDIOBJ h)
{
    return FindAs<Region>(h, OBJ_REGION);
}
bool Remove(HGDIOBJ handle);
// True while a device context has the object selected (DeleteObject refuses it then).
bool IsSelected(HGDIOBJ handle);

HDC AddDc(std::unique_ptr<Dc> dc);
Dc* FindDc(HDC dc);
bool RemoveDc(HDC dc);

// Default objects of a new context.
HBITMAP DefaultBitmap(); // 1×1 monochrome, as a fresh memory context holds
HFONT DefaultFont();
std::shared_ptr<Font> MakeFont(const LOGFONT& logFont);

// The image a context draws into; null when it has none. For a memory context with a DIB section
// selected, Pull() has run; call Done(dc) after drawing so the section's bits see the change.
QImage* Target(Dc& dc);
void Done(Dc& dc);
std::shared_ptr<Bitmap> SelectedBitmap(const Dc& dc);
// Bits per pixel of what the context holds (1 for a monochrome bitmap).
int DepthOf(const Dc& dc);

// Pixels.
inline uint32_t PixelOf(COLORREF color)
{
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}
inline COLORREF ColorOf(uint32_t pixel)
{
    return ((pixel >> 16) & 0xFF) | (pixel & 0xFF00) | ((pixel & 0xFF) << 16);
}
// The area of the image a drawing call may touch: the rectangle inside the image and the clip.
QRegion Allowed(const Dc& dc, const QImage& image, const QRect& rect);
// Solid fill of a region of the image, alpha 0.
void FillPixels(QImage& image, const QRegion& region, uint32_t pixel);

// Runs a QPainter over the image within `bound` (clipped by the context's clip) the way GDI
// draws: blending against the pixels' colour and writing alpha 0 where it drew, keeping the
// alpha of every pixel it left alone.
void PaintWith(Dc& dc, const QRect& bound, const std::function<void(QPainter&)>& paint);
// A screen context reads the screen once, at its first read (the program's own pending paints
// first).
void GrabScreenOnce(Dc& record);

} // namespace taluvo::ui::gdi
