// Icons as the drawing calls see them (a colour bitmap and a mask, the hotspot at the centre) over
// the window layer's icon registry, and image loading from files and the resource tables.
#include "platform/ui/GdiInternal.h"

#include "platform/ui/detail/Core.h"

#include <QFile>
#include <QIcon>
#include <QPixmap>

#include <mutex>
#include <unordered_map>

using namespace taluvo::ui::gdi;
namespace detail = taluvo::ui::detail;

namespace {

constexpr int kDefaultIconSize = 32;

// The icon's pixels at its own size (the first size it offers) or at the size asked for.
QImage IconImage(HICON icon, int width = 0, int height = 0)
{
    const QIcon qicon = detail::IconOf(icon);
    if (qicon.isNull())
        return QImage();
    QSize size(width, height);
    if (width <= 0 || height <= 0) {
        const auto sizes = qicon.availableSizes();
        size = sizes.isEmpty() ? QSize(kDefaultIconSize, kDefaultIconSize) : sizes.first();
    }
    QImage image = qicon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.size() != size)
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return image;
}

HICON IconFromImage(const QImage& image)
{
    if (image.isNull())
        return nullptr;
    return detail::IconHandle(QIcon(QPixmap::fromImage(image)));
}

std::mutex g_bitmapLock;
std::unordered_map<WORD, QString>& BitmapResources()
{
    static auto* resources = new std::unordered_map<WORD, QString>;
    return *resources;
}

} // namespace

BOOL GetIconInfo(HICON icon, ICONINFO* info)
{
    if (!info)
        return FALSE;
    const QImage image = IconImage(icon);
    if (image.isNull())
        return FALSE;
    // Windows' layout: the colour bitmap black where the icon is transparent, the mask white there.
    QImage color = image;
    QImage mask(image.size(), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* c = reinterpret_cast<uint32_t*>(color.scanLine(y));
        auto* m = reinterpret_cast<uint32_t*>(mask.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const bool transparent = (c[x] >> 24) == 0;
            if (transparent)
                c[x] = 0;
            m[x] = transparent ? 0xFFFFFF : 0;
        }
    }
    info->fIcon = TRUE;
    info->xHotspot = DWORD(image.width() / 2);
    info->yHotspot = DWORD(image.height() / 2);
    info->hbmColor = taluvo::ui::BitmapOfImage(color);
    HBITMAP maskBitmap = CreateBitmap(image.width(), image.height(), 1, 1, nullptr);
    if (auto bitmap = FindBitmap(maskBitmap))
        bitmap->image = mask;
    info->hbmMask = maskBitmap;
    return info->hbmColor && info->hbmMask ? TRUE : FALSE;
}

HICON CreateIconIndirect(const ICONINFO* info)
{
    if (!info || !info->hbmMask)
        return nullptr;
    const QImage mask = taluvo::ui::ImageOfBitmap(info->hbmMask);
    if (mask.isNull())
        return nullptr;
    QImage color = info->hbmColor ? taluvo::ui::ImageOfBitmap(info->hbmColor) : QImage();
    if (color.isNull()) {
        // A monochrome icon: the mask's upper half is the AND mask, the lower half the image.
        const int h = mask.height() / 2;
        color = mask.copy(0, h, mask.width(), h);
        QImage andMask = mask.copy(0, 0, mask.width(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < color.width(); ++x) {
                const bool transparent = andMask.pixel(x, y) & 0xFFFFFF;
                color.setPixel(x, y, transparent ? 0 : (color.pixel(x, y) | 0xFF000000));
            }
        return IconFromImage(color);
    }
    bool hasAlpha = false;
    for (int y = 0; y < color.height() && !hasAlpha; ++y)
        for (int x = 0; x < color.width(); ++x)
            if (color.pixel(x, y) >> 24) {
                hasAlpha = true;
                break;
            }
    for (int y = 0; y < color.height(); ++y) {
        auto* c = reinterpret_cast<uint32_t*>(color.scanLine(y));
        for (int x = 0; x < color.width(); ++x) {
            const bool transparent = y < mask.height() && x < mask.width() && (mask.pixel(x, y) & 0xFFFFFF);
            if (!hasAlpha)
                c[x] = transparent ? 0 : (c[x] | 0xFF000000);
        }
    }
    return IconFromImage(color);
}

HICON CopyIcon(HICON icon)
{
    const QIcon qicon = detail::IconOf(icon);
    return qicon.isNull() ? nullptr : detail::IconHandle(qicon);
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT, HBRUSH, UINT flags)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    const QImage image = IconImage(icon, width, height);
    if (image.isNull())
        return FALSE;
    QImage* target = Target(*record);
    if (!target)
        return FALSE;
    const QRegion allowed = Allowed(*record, *target, QRect(x, y, image.width(), image.height()));
    for (const QRect& r : allowed)
        for (int py = r.top(); py <= r.bottom(); ++py) {
            auto* row = reinterpret_cast<uint32_t*>(target->scanLine(py));
            const auto* src = reinterpret_cast<const uint32_t*>(image.constScanLine(py - y));
            for (int px = r.left(); px <= r.right(); ++px) {
                const uint32_t s = src[px - x];
                const unsigned a = s >> 24;
                if ((flags & DI_IMAGE) == 0) {
                    row[px] = a ? 0 : 0xFFFFFF; // the mask alone
                    continue;
                }
                uint32_t out = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const unsigned sc = (s >> shift) & 0xFF, dc2 = (row[px] >> shift) & 0xFF;
                    out |= ((sc * a + dc2 * (255 - a)) / 255) << shift;
                }
                row[px] = out;
            }
        }
    Done(*record);
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

void taluvo::ui::RegisterBitmapResource(WORD id, const QString& imagePath)
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    BitmapResources()[id] = imagePath;
}

HANDLE LoadImage(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags)
{
    if (!name)
        return nullptr;
    QString path;
    if (flags & LR_LOADFROMFILE) {
        if (IS_INTRESOURCE(name))
            return nullptr;
        int length = 0;
        while (name[length])
            ++length;
        path = QString::fromUtf16(name, length);
    } else if (type == IMAGE_ICON) {
        HICON icon = LoadIcon(instance, name);
        if (!icon || (width <= 0 && height <= 0 && !(flags & LR_DEFAULTSIZE)))
            return icon;
        const int cx = width > 0 ? width : GetSystemMetrics(SM_CXICON);
        const int cy = height > 0 ? height : GetSystemMetrics(SM_CYICON);
        HICON sized = IconFromImage(IconImage(icon, cx, cy));
        DestroyIcon(icon);
        return sized;
    } else {
        if (!IS_INTRESOURCE(name))
            return nullptr;
        std::lock_guard<std::mutex> guard(g_bitmapLock);
        auto it = BitmapResources().find(WORD(reinterpret_cast<uintptr_t>(name)));
        if (it == BitmapResources().end())
            return nullptr;
        path = it->second;
    }
    if (type == IMAGE_ICON) {
        QIcon icon(path);
        if (icon.isNull() || (QFile::exists(path) == false))
            return nullptr;
        HICON handle = detail::IconHandle(icon);
        if (width > 0 || height > 0 || (flags & LR_DEFAULTSIZE)) {
            const int cx = width > 0 ? width : GetSystemMetrics(SM_CXICON);
            const int cy = height > 0 ? height : GetSystemMetrics(SM_CYICON);
            HICON sized = IconFromImage(IconImage(handle, cx, cy));
            DestroyIcon(handle);
            return sized;
        }
        return handle;
    }
    if (type != IMAGE_BITMAP)
        return nullptr;
    QImage image(path);
    if (image.isNull())
        return nullptr;
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (width > 0 || height > 0)
        image = image.scaled(width > 0 ? width : image.width(), height > 0 ? height : image.height(),
            Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // A file without alpha gives GDI pixels: alpha 0.
    if (!QImage(path).hasAlphaChannel())
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] &= 0xFFFFFF;
        }
    HBITMAP handle = taluvo::ui::BitmapOfImage(image);
    // A resource drawn also at twice the density ("name@2x.png") keeps that picture beside its
    // own, for image lists shown on such screens.
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    auto bitmap = FindBitmap(handle);
    if (bitmap && !(flags & LR_LOADFROMFILE) && width <= 0 && height <= 0 && dot > 0) {
        const QImage doubled(path.left(dot) + QStringLiteral("@2x") + path.mid(dot));
        if (doubled.width() == 2 * image.width() && doubled.height() == 2 * image.height()) {
            bitmap->doubled = doubled.convertToFormat(QImage::Format_ARGB32);
            bitmap->doubledFor = bitmap->image.cacheKey();
        }
    }
    return handle;
}

HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name)
{
    return static_cast<HBITMAP>(static_cast<HGDIOBJ>(LoadImage(instance, name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}
