#include "platform/ui/ImageFile.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The whole file, or nothing when it is not a regular file within the bound.
bool ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray* out)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return false;
    // O_NONBLOCK: opening a FIFO without a writer, or a device, returns at once instead of waiting.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes;
    if (ok) {
        out->resize(qsizetype(info.st_size));
        qsizetype done = 0;
        while (done < out->size()) {
            const ssize_t got = ::read(fd, out->data() + done, size_t(out->size() - done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += got;
        }
        out->resize(done); // a file that shrank meanwhile gives what it held
    }
    ::close(fd);
    return ok;
}

} // namespace

namespace taluvo::ui {

HANDLE LoadImageFileBounded(const QString& path, UINT type, int width, int height, qint64 maxBytes, qint64 maxPixels)
{
    if (type != IMAGE_BITMAP && type != IMAGE_ICON)
        return nullptr;
    QByteArray bytes;
    if (!ReadRegularFile(path, maxBytes, &bytes))
        return nullptr;
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
