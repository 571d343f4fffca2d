#include "platform/ui/ImageFile.h"

#include "platform/base/FileRead.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <string>

namespace taluvo::ui {

HANDLE LoadImageFileBounded(const QString& path, UINT type, int width, int height, qint64 maxBytes, qint64 maxPixels)
{
    if (type != IMAGE_BITMAP && type != IMAGE_ICON)
        return nullptr;
    std::string contents;
    if (maxBytes < 0
        || taluvo::ReadRegularFile(QFile::encodeName(path).toStdString(), size_t(maxBytes), contents)
            != taluvo::EFileRead::ok)
        return nullptr;
    QByteArray bytes = QByteArray::fromStdString(contents);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize stored = reader.size();
    if (!stored.isValid() || qint64(stored.width()) * stored.height() > maxPixels)
        return nullptr;
    QImage image = reader.read();
    if (image.isNull())
        return nullptr;
    const bool alpha = image.hasAlphaChannel();
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (type == IMAGE_ICON) {
        if (width > 0 && height > 0 && qint64(width) * height <= maxPixels)
            image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        return detail::IconHandle(QIcon(QPixmap::fromImage(image)));
    }
    // A picture without alpha gives GDI pixels: alpha 0.
    if (!alpha)
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] &= 0xFFFFFF;
        }
    return BitmapOfImage(image);
}

} // namespace taluvo::ui
