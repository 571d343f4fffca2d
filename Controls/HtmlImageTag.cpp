// The image tags: "bmp" (a bitmap), "icon" (an icon made at the size asked for) and "ilst" (a cell
// of a strip of pictures, animated when it has a speed, or an image of the renderer's image list).
// Each kind has its loader; placing and drawing are shared.
#include "Controls/HtmlBlock.h"
#include "Controls/HtmlRenderer.h"
#include "Controls/HtmlTagPicture.h"

#include <algorithm>

namespace {

int ClampSide(int value)
{
    return std::clamp(value, 0, kHtmlMaxImageSide);
}

// A side of the picture as the tag asks for it: a share of the picture's own, or pixels.
int Scaled(int base, int value, BOOL percent)
{
    return ClampSide(percent ? MulDiv(base, value, 100) : value);
}

// A handle written into the markup: the caller's, never freed here.
template <class Handle> Handle HandleOf(const SHtmlImage& image)
{
    return reinterpret_cast<Handle>(intptr_t(unsigned(image.hHandle)));
}

} // namespace

bool CHtmlRenderer::LoadTagBitmap(const SHtmlImage& image, SHtmlTagPicture& picture)
{
    // The first source the record names, and only that one.
    if (image.nIdRes != 0)
        picture.bitmap = OwnedBitmap(LoadBitmapFromModule(image.nIdRes));
    else if (!image.strFile.isEmpty())
        picture.bitmap = OwnedBitmap(LoadBitmapFromFile(image.strFile));
    else if (image.nIdDll != 0)
        picture.bitmap = OwnedBitmap(LoadBitmapFromDll(image.nIdDll));
    else
        picture.bitmap = LentBitmap(HandleOf<HBITMAP>(image));
    return picture.bitmap != nullptr;
}

bool CHtmlRenderer::LoadBmpTag(const SHtmlImage& image, SHtmlTagPicture& picture)
{
    if (!LoadTagBitmap(image, picture))
        return false;
    SIZE size { 0, 0 };
    m_drawManager.GetBitmapSize(picture.bitmap.get(), &size);
    picture.w = Scaled(size.cx, image.nWidth, image.bWidthPercent);
    picture.h = Scaled(size.cy, image.nHeight, image.bHeightPercent);
    return true;
}

bool CHtmlRenderer::LoadIconTag(const SHtmlImage& image, SHtmlTagPicture& picture)
{
    const int rw = Scaled(GetSystemMetrics(SM_CXICON), image.nWidth, image.bWidthPercent);
    const int rh = Scaled(GetSystemMetrics(SM_CYICON), image.nHeight, image.bHeightPercent);
    // An icon is made at the size asked for: that size must fit the budget before it is made.
    if (qint64(rw) * rh > kHtmlMaxImagePixels - m_nImagePixels)
        return false;
    if (image.nIdRes != 0)
        picture.icon = OwnedIcon(LoadIconFromModule(image.nIdRes, rw, rh));
    else if (!image.strFile.isEmpty())
        picture.icon = OwnedIcon(LoadIconFromFile(image.strFile, rw, rh));
    else if (image.nIdDll != 0)
        picture.icon = OwnedIcon(LoadIconFromDll(image.nIdDll, rw, rh));
    else
        picture.icon = LentIcon(HandleOf<HICON>(image));
    if (!picture.icon)
        return false;
    SIZE size { 0, 0 };
    m_drawManager.GetIconSize(picture.icon.get(), &size);
    picture.w = ClampSide(size.cx);
    picture.h = ClampSide(size.cy);
    return true;
}

bool CHtmlRenderer::LoadStripTag(const SHtmlImage& image, SHtmlTagPicture& picture)
{
    if (!LoadTagBitmap(image, picture))
        return false;
    SIZE size { 0, 0 };
    m_drawManager.GetBitmapSize(picture.bitmap.get(), &size);
    // Square cells of the strip's height when the tag gives no size; one side given, the other
    // follows it.
    int cellWidth = image.cx;
    int cellHeight = image.cy;
    if (cellWidth == 0 && cellHeight == 0)
        cellWidth = cellHeight = std::min(size.cx, size.cy);
    else if (cellWidth == 0)
        cellWidth = cellHeight;
    else if (cellHeight == 0)
        cellHeight = cellWidth;
    const int columns = cellWidth > 0 ? size.cx / cellWidth : 0;
    const int rows = cellHeight > 0 ? size.cy / cellHeight : 0;
    const int frames = columns > 0 && rows > 0 ? columns * rows : 0;
    int cell = image.nIndex;
    // An animated strip owns an animation record, made by the measure pass; the draw pass shows
    // the record's current frame.
    if (image.nSpeed != 0) {
        if (m_bMeasure) {
            m_animations.push_back(SHtmlAnimation { image.nIndex, frames, 0, image.nSpeed });
        } else {
            ++m_nAnimation;
            if (m_nAnimation >= 0 && m_nAnimation < int(m_animations.size()))
                cell = m_animations[m_nAnimation].nFrame;
        }
    }
    if (cell < 0 || cell >= frames)
        return false;
    picture.cell = cell;
    picture.cellWidth = cellWidth;
    picture.cellHeight = cellHeight;
    picture.w = Scaled(cellWidth, image.nWidth, image.bWidthPercent);
    picture.h = Scaled(cellHeight, image.nHeight, image.bHeightPercent);
    return true;
}

bool CHtmlRenderer::LoadImageListTag(const SHtmlImage& image, SHtmlTagPicture& picture)
{
    if (!m_hImageList || image.nIndex < 0 || image.nIndex >= ImageList_GetImageCount(m_hImageList))
        return false;
    picture.icon = OwnedIcon(ImageList_GetIcon(m_hImageList, image.nIndex, ILD_NORMAL));
    if (!picture.icon)
        return false;
    picture.fromImageList = true;
    picture.w = Scaled(m_cxImageList, image.nWidth, image.bWidthPercent);
    picture.h = Scaled(m_cyImageList, image.nHeight, image.bHeightPercent);
    return true;
}

void CHtmlRenderer::PlaceImage(SBlock& block, int id, const QString& attributes)
{
    SHtmlImage image;
    ParseImageAttributes(attributes, image);
    const bool hasSource = image.nIdRes != 0 || image.nIdDll != 0 || image.hHandle != 0 || !image.strFile.isEmpty();
    const bool shadow = ImageHasShadow(image);
    const bool animated = id == TAG_ILST && hasSource && image.nSpeed != 0;
    auto boxOf = [&](int w, int h) {
        const bool boxed = shadow && w != 0 && h != 0;
        return SIZE { w + (boxed ? m_nImageShadowDx : 0), h + (boxed ? m_nImageShadowDy : 0) };
    };

    // The measure pass records what each image tag took; the draw pass places the tag from that
    // record and loads the picture only when its box can show, so pictures out of sight cost
    // nothing, and both passes spend the pixel budget alike.
    if (!m_bMeasure) {
        const int index = ++m_nImage;
        if (index < 0 || index >= int(m_imageBoxes.size()))
            return;
        const SHtmlImageBox record = m_imageBoxes[index];
        if (!record.placed) {
            if (record.animated)
                ++m_nAnimation;
            return;
        }
        const SIZE box = boxOf(record.w, record.h);
        const int line = m_curLine.nHeight;
        if (!IsRowVisible(block.pen.y, block.pen.y + std::max(line, int(box.cy)))) {
            if (record.animated)
                ++m_nAnimation;
            FitObject(block, box.cx);
            block.remainingWidth -= id == TAG_ILST && !hasSource ? record.w : box.cx;
            const int top = AlignObjectInLine(block.pen.y, id == TAG_ILST ? box.cy : record.h);
            AddLinkArea(block.pen.x, top, block.pen.x + box.cx, top + box.cy);
            block.pen.x += box.cx;
            return;
        }
    }
    SHtmlImageBox* record = nullptr;
    if (m_bMeasure) {
        m_imageBoxes.push_back(SHtmlImageBox { false, animated, 0, 0 });
        record = &m_imageBoxes.back();
    }

    SHtmlTagPicture picture;
    bool loaded = false;
    if (id == TAG_BMP)
        loaded = LoadBmpTag(image, picture);
    else if (id == TAG_ICON)
        loaded = LoadIconTag(image, picture);
    else if (hasSource)
        loaded = LoadStripTag(image, picture);
    else
        loaded = LoadImageListTag(image, picture);
    if (!loaded)
        return;
    const int w = picture.w;
    const int h = picture.h;
    // What a markup's pictures may cover in all, per pass; beyond it an image takes no space.
    const qint64 pixels = qint64(w) * h;
    if (m_nImagePixels + pixels > kHtmlMaxImagePixels)
        return;
    m_nImagePixels += pixels;
    m_work.pixels += pixels;
    if (record) {
        record->placed = true;
        record->w = w;
        record->h = h;
    }

    const SIZE box = boxOf(w, h);
    const int bw = box.cx;
    const int bh = box.cy;
    FitObject(block, bw);
    block.remainingWidth -= picture.fromImageList ? w : bw;
    if (m_bMeasure)
        m_curLine.nAlign = m_curStyle.m_nAlign;
    const int top = AlignObjectInLine(block.pen.y, id == TAG_ILST ? bh : h);
    if (!m_bMeasure && w != 0 && h != 0) {
        AddLinkArea(block.pen.x, top, block.pen.x + bw, top + bh);
        const bool hot = m_curStyle.m_nLinkType != 0 && m_nLinkId == m_nHoverLink;
        UINT flags = hot ? image.nHotStyle : image.nStyle;
        COLORREF color = m_clrImageShadow;
        if (!m_bUseColors) {
            flags = (flags & ~0xFFu) | IMAGE_COLOR;
            color = ColorByName(QString(), 0);
        }
        if (id == TAG_BMP) {
            m_drawManager.DrawBitmapWithEffects(m_hDC, block.pen.x, top, w, h, picture.bitmap.get(), image.bUseMask,
                image.clrMask, flags, shadow, m_nImageShadowDx, m_nImageShadowDy, m_nImageShadowDepthX,
                m_nImageShadowDepthY, color);
        } else if (id == TAG_ILST && picture.bitmap) {
            m_drawManager.DrawImageFromStrip(m_hDC, block.pen.x, top, w, h, picture.bitmap.get(), picture.cell,
                picture.cellWidth, picture.cellHeight, image.bUseMask, image.clrMask, flags, shadow, m_nImageShadowDx,
                m_nImageShadowDy, m_nImageShadowDepthX, m_nImageShadowDepthY, color);
        } else {
            m_drawManager.DrawIconWithEffects(m_hDC, block.pen.x, top, w, h, picture.icon.get(), flags, shadow,
                m_nImageShadowDx, m_nImageShadowDy, m_nImageShadowDepthX, m_nImageShadowDepthY, color);
        }
    }
    block.pen.x += bw;
}
