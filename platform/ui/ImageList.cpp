// Image lists: equal-sized 32-bit images with transparency, cut from strip bitmaps, and the
// overlay images laid over them. A strip drawn also at twice the density gives each image a
// second picture, which widgets on such screens show (ImageListIcon).
#include "platform/ui/CommCtrl.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"
#include "platform/ui/detail/HandleTable.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace {

constexpr int kOverlays = 15;

struct ImageListObject {
    int cx = 16;
    int cy = 16;
    UINT flags = 0;
    std::vector<QImage> images; // ARGB32 premultiplied
    std::vector<QImage> doubled; // per image: its picture at twice the density, or null
    std::array<int, kOverlays + 1> overlays {}; // overlay number -> image index, -1 when unset
    quint64 version = 0;
};

taluvo::ui::detail::HandleTable<HIMAGELIST, ImageListObject>& Lists()
{
    static auto* table = new taluvo::ui::detail::HandleTable<HIMAGELIST, ImageListObject>(0x40000);
    return *table;
}

quint64 NextVersion()
{
    static std::atomic<quint64> counter { 1 };
    return counter++;
}

// Cuts a strip into cells of the list's size; the last partial cell is dropped, as Windows does.
// `doubled` is the same strip at twice the density, or null.
int AppendStrip(ImageListObject& list, const QImage& strip, const QImage& doubled)
{
    if (strip.isNull() || strip.height() < list.cy || strip.width() < list.cx)
        return -1;
    const bool twice = doubled.width() == 2 * strip.width() && doubled.height() == 2 * strip.height();
    const int first = static_cast<int>(list.images.size());
    for (int x = 0; x + list.cx <= strip.width(); x += list.cx) {
        list.images.push_back(strip.copy(x, 0, list.cx, list.cy).convertToFormat(QImage::Format_ARGB32_Premultiplied));
        list.doubled.push_back(twice
                ? doubled.copy(2 * x, 0, 2 * list.cx, 2 * list.cy).convertToFormat(QImage::Format_ARGB32_Premultiplied)
                : QImage());
    }
    list.version = NextVersion();
    return first;
}

// An image with the overlay laid over it, from one resolution's pictures (`images` is the list's
// own or its doubled ones; an overlay without a doubled picture is enlarged).
QImage Composed(const ImageListObject& list, const std::vector<QImage>& images, int index, int overlay)
{
    if (index < 0 || static_cast<size_t>(index) >= images.size() || images[static_cast<size_t>(index)].isNull())
        return QImage();
    QImage image = images[static_cast<size_t>(index)];
    if (overlay > 0 && overlay <= kOverlays) {
        const int overlayImage = list.overlays[static_cast<size_t>(overlay)];
        if (overlayImage >= 0 && static_cast<size_t>(overlayImage) < images.size()) {
            QImage top = images[static_cast<size_t>(overlayImage)];
            if (top.isNull())
                top = list.images[static_cast<size_t>(overlayImage)].scaled(image.size());
            QPainter painter(&image);
            painter.drawImage(0, 0, top);
        }
    }
    return image;
}

} // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int)
{
    if (cx <= 0 || cy <= 0)
        return nullptr;
    auto object = std::make_shared<ImageListObject>();
    object->cx = cx;
    object->cy = cy;
    object->flags = flags;
    object->overlays.fill(-1);
    object->images.reserve(static_cast<size_t>(std::max(0, initial)));
    object->version = NextVersion();
    return Lists().Add(std::move(object));
}

BOOL ImageList_Destroy(HIMAGELIST list)
{
    return Lists().Remove(list) ? TRUE : FALSE;
}

int ImageList_GetImageCount(HIMAGELIST list)
{
    auto object = Lists().Find(list);
    return object ? static_cast<int>(object->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy)
{
    auto object = Lists().Find(list);
    if (!object || !cx || !cy)
        return FALSE;
    *cx = object->cx;
    *cy = object->cy;
    return TRUE;
}

namespace {

// Appends the cells of a bitmap; `transparent` tells for each pixel (x, y, colour) whether it is
// see-through.
template <class Transparent> int AddStrip(HIMAGELIST list, HBITMAP bitmap, Transparent transparent)
{
    auto object = Lists().Find(list);
    if (!object)
        return -1;
    QImage strip = taluvo::ui::ImageOfBitmap(bitmap).convertToFormat(QImage::Format_ARGB32);
    if (strip.isNull())
        return -1;
    for (int y = 0; y < strip.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x)
            line[x] = transparent(x, y, line[x]) ? 0 : (line[x] | 0xFF000000);
    }
    // The doubled picture keeps its own alpha (it is drawn with soft edges); the same test clears
    // what the strip's own pixel at that place would clear.
    QImage doubled = taluvo::ui::DoubledImageOfBitmap(bitmap);
    for (int y = 0; y < doubled.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(doubled.scanLine(y));
        for (int x = 0; x < doubled.width(); ++x)
            if (transparent(x / 2, y / 2, line[x]))
                line[x] = 0;
    }
    return AppendStrip(*object, strip, doubled);
}

} // namespace

int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask)
{
    // The mask colour is COLORREF 0x00BBGGRR; the pixel 0xAARRGGBB.
    const QRgb key = qRgb(mask & 0xFF, (mask >> 8) & 0xFF, (mask >> 16) & 0xFF) & 0xFFFFFF;
    return AddStrip(list, bitmap, [key](int, int, QRgb pixel) { return (pixel & 0xFFFFFF) == key; });
}

int ImageList_Add(HIMAGELIST list, HBITMAP bitmap, HBITMAP mask)
{
    // A white mask pixel is transparent; without a mask the image is opaque.
    const QImage maskImage = mask ? taluvo::ui::ImageOfBitmap(mask) : QImage();
    return AddStrip(list, bitmap, [&maskImage](int x, int y, QRgb) {
        return !maskImage.isNull() && x < maskImage.width() && y < maskImage.height()
            && (maskImage.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
    });
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon)
{
    auto object = Lists().Find(list);
    const QIcon qicon = taluvo::ui::detail::IconOf(icon);
    if (!object || qicon.isNull() || index < -1 || index >= static_cast<int>(object->images.size()))
        return -1;
    QImage image = qicon.pixmap(object->cx, object->cy)
                       .toImage()
                       .scaled(object->cx, object->cy)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    object->version = NextVersion();
    if (index == -1) {
        object->images.push_back(image);
        object->doubled.emplace_back();
        return static_cast<int>(object->images.size()) - 1;
    }
    object->images[static_cast<size_t>(index)] = image;
    object->doubled[static_cast<size_t>(index)] = QImage();
    return index;
}

BOOL ImageList_Remove(HIMAGELIST list, int index)
{
    auto object = Lists().Find(list);
    if (!object || index < -1 || index >= static_cast<int>(object->images.size()))
        return FALSE;
    if (index == -1) {
        object->images.clear();
        object->doubled.clear();
    } else {
        object->images.erase(object->images.begin() + index);
        object->doubled.erase(object->doubled.begin() + index);
    }
    object->version = NextVersion();
    return TRUE;
}

BOOL ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay)
{
    auto object = Lists().Find(list);
    if (!object || overlay < 1 || overlay > kOverlays || image < 0 || image >= static_cast<int>(object->images.size()))
        return FALSE;
    object->overlays[static_cast<size_t>(overlay)] = image;
    object->version = NextVersion();
    return TRUE;
}

HICON ImageList_GetIcon(HIMAGELIST list, int index, UINT flags)
{
    const QIcon icon = taluvo::ui::ImageListIcon(list, index, static_cast<int>((flags & ILD_OVERLAYMASK) >> 8));
    return icon.isNull() ? nullptr : taluvo::ui::detail::IconHandle(icon);
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style)
{
    const QImage image = taluvo::ui::ImageListImage(list, index, static_cast<int>((style & ILD_OVERLAYMASK) >> 8));
    if (image.isNull() || !dc)
        return FALSE;
    // Through a memory context, so the drawing layer's pixel rules hold for the destination.
    HBITMAP bitmap = taluvo::ui::BitmapOfImage(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BLENDFUNCTION blend;
    blend.BlendOp = AC_SRC_OVER;
    blend.SourceConstantAlpha = 255;
    blend.AlphaFormat = 0x01; // AC_SRC_ALPHA: the image list's pixels are premultiplied
    const BOOL done
        = AlphaBlend(dc, x, y, image.width(), image.height(), memory, 0, 0, image.width(), image.height(), blend);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return done;
}

namespace taluvo::ui {

QImage ImageListImage(HIMAGELIST list, int index, int overlay)
{
    auto object = Lists().Find(list);
    return object ? Composed(*object, object->images, index, overlay) : QImage();
}

QImage DoubledImageListImage(HIMAGELIST list, int index, int overlay)
{
    auto object = Lists().Find(list);
    return object ? Composed(*object, object->doubled, index, overlay) : QImage();
}

bool AddImageListPixmaps(QIcon& icon, HIMAGELIST list, int index, int overlay, QIcon::Mode mode)
{
    const QImage image = ImageListImage(list, index, overlay);
    if (image.isNull())
        return false;
    icon.addPixmap(QPixmap::fromImage(image), mode);
    const QImage doubled = DoubledImageListImage(list, index, overlay);
    if (!doubled.isNull()) {
        QPixmap sharp = QPixmap::fromImage(doubled);
        sharp.setDevicePixelRatio(2.0);
        icon.addPixmap(sharp, mode);
    }
    return true;
}

QIcon ImageListIcon(HIMAGELIST list, int index, int overlay)
{
    QIcon icon;
    AddImageListPixmaps(icon, list, index, overlay, QIcon::Normal);
    return icon;
}

quint64 ImageListVersion(HIMAGELIST list)
{
    auto object = Lists().Find(list);
    return object ? object->version : 0;
}

} // namespace taluvo::ui

BOOL CImageList::Create(WORD bitmapId, int cx, int grow, COLORREF mask)
{
    HBITMAP bitmap = LoadBitmap(nullptr, MAKEINTRESOURCE(bitmapId));
    if (!bitmap)
        return FALSE;
    BITMAP info;
    GetObject(bitmap, sizeof(info), &info);
    m_hImageList = ImageList_Create(cx, info.bmHeight, ILC_COLOR32 | ILC_MASK, info.bmWidth / std::max(1, cx), grow);
    const bool added = m_hImageList && ImageList_AddMasked(m_hImageList, bitmap, mask) >= 0;
    DeleteObject(bitmap);
    return added ? TRUE : FALSE;
}
