// What an image tag of the HTML renderer shows once its source is loaded. The picture it holds is
// released with it when the renderer made it; a handle written into the markup is lent and stays
// its owner's, so the kind of holder, not a flag beside it, decides who frees the handle.
#pragma once

#include "platform/ui/Gdi.h"

#include <memory>

using HtmlBitmapHold = std::unique_ptr<HBITMAP__, void (*)(HBITMAP)>;
using HtmlIconHold = std::unique_ptr<HICON__, void (*)(HICON)>;

inline HtmlBitmapHold OwnedBitmap(HBITMAP bitmap)
{
    return HtmlBitmapHold(bitmap, [](HBITMAP b) { DeleteObject(b); });
}
inline HtmlBitmapHold LentBitmap(HBITMAP bitmap)
{
    return HtmlBitmapHold(bitmap, [](HBITMAP) {});
}
inline HtmlIconHold OwnedIcon(HICON icon)
{
    return HtmlIconHold(icon, [](HICON i) { DestroyIcon(i); });
}
inline HtmlIconHold LentIcon(HICON icon)
{
    return HtmlIconHold(icon, [](HICON) {});
}

struct SHtmlTagPicture {
    HtmlBitmapHold bitmap = LentBitmap(nullptr); // "bmp" tags and strips
    HtmlIconHold icon = LentIcon(nullptr); // "icon" tags and the renderer's image list
    int w = 0; // the size it takes on the page, before any shadow
    int h = 0;
    int cell = 0; // a strip's cell shown, and the cell's size in the strip
    int cellWidth = 0;
    int cellHeight = 0;
    bool fromImageList = false;
};
