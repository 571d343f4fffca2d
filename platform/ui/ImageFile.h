// Pictures read from files that markup or settings name: such a name may point anywhere, so the
// read must never stall the caller (a FIFO, a device) nor let a small file decode into a huge
// picture.
#pragma once

#include "platform/ui/GdiTypes.h"

#include <QString>

namespace taluvo::ui {

// IMAGE_BITMAP (at its stored size) or IMAGE_ICON (at width x height when both are given, else at
// its own size) from a regular file of at most maxBytes that decodes to at most maxPixels. The
// file is opened without blocking and anything but a regular file is refused. Null on failure.
HANDLE LoadImageFileBounded(const QString& path, UINT type, int width, int height, qint64 maxBytes, qint64 maxPixels);

} // namespace taluvo::ui
