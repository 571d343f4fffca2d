// Pictures and active places of the markup: image loaders, the image list, tiled table
// backgrounds, animated strips, and links (their areas, hit test, hover tracking and click).
#include "Controls/HtmlRenderer.h"

#include "platform/shell/Launch.h"
#include "platform/ui/ImageFile.h"
#include "platform/ui/UserApi.h"

#include <algorithm>

namespace {

// An integer resource name, as the resource functions take it (the id's low 16 bits).
LPCWSTR ResourceName(int id)
{
    return reinterpret_cast<LPCWSTR>(uintptr_t(WORD(id)));
}

} // namespace

HICON CHtmlRenderer::LoadIconFromModule(int id, int width, int height)
{
    if (WORD(id) == 0)
        return nullptr;
    return static_cast<HICON>(LoadImage(nullptr, ResourceName(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
}

HICON CHtmlRenderer::LoadIconFromFile(const QString& file, int width, int height)
{
    // Markup may name any path: only a regular file is read, without blocking and within bounds.
    return static_cast<HICON>(
        taluvo::ui::LoadImageFileBounded(file, IMAGE_ICON, width, height, kHtmlMaxImageFileBytes, kHtmlMaxImagePixels));
}

HICON CHtmlRenderer::LoadIconFromDll(int id, int width, int height)
{
    // Libraries are never loaded, and the owner's resource module is always empty here.
    if (WORD(id) == 0 || !m_hResModule)
        return nullptr;
    return static_cast<HICON>(LoadImage(m_hResModule, ResourceName(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
}

HBITMAP CHtmlRenderer::LoadBitmapFromModule(int id)
{
    if (WORD(id) == 0)
        return nullptr;
    return static_cast<HBITMAP>(LoadImage(nullptr, ResourceName(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

HBITMAP CHtmlRenderer::LoadBitmapFromFile(const QString& file)
{
    return static_cast<HBITMAP>(static_cast<HGDIOBJ>(
        taluvo::ui::LoadImageFileBounded(file, IMAGE_BITMAP, 0, 0, kHtmlMaxImageFileBytes, kHtmlMaxImagePixels)));
}

HBITMAP CHtmlRenderer::LoadBitmapFromDll(int id)
{
    if (WORD(id) == 0 || !m_hResModule)
        return nullptr;
    return static_cast<HBITMAP>(
        LoadImage(m_hResModule, ResourceName(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
}

void CHtmlRenderer::SetImageList(HBITMAP bitmap, int cx, int cy, int count, COLORREF mask)
{
    if (m_hImageList) {
        ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
    }
    if (!bitmap)
        return;
    m_hImageList = ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, count, 1);
    if (!m_hImageList)
        return;
    ImageList_AddMasked(m_hImageList, bitmap, mask);
    m_cxImageList = cx;
    m_cyImageList = cy;
}

void CHtmlRenderer::SetImageList(UINT bitmapId, int cx, int cy, int count, COLORREF mask)
{
    HBITMAP bitmap = LoadBitmapFromModule(int(bitmapId));
    SetImageList(bitmap, cx, cy, count, mask);
    if (bitmap)
        DeleteObject(bitmap);
}

void CHtmlRenderer::DrawBackgroundImage(HDC dc, int x, int y, int width, int height, const QString& background)
{
    if (!m_bUseColors || background.size() < 6 || width <= 0 || height <= 0)
        return;
    int pos = 0;
    SkipToWordStart(background, pos);
    const int keyStart = pos;
    FindOneOf(background, pos, QStringLiteral(" :"));
    const QString key = background.mid(keyStart, pos - keyStart);
    const QString value = GetNextValue(background, pos, u':', QStringLiteral(";"));
    HBITMAP bitmap = nullptr;
    if (key == u"idres")
        bitmap = LoadBitmapFromModule(ParseLength(value, 0, FALSE));
    else if (key == u"iddll")
        bitmap = LoadBitmapFromDll(ParseLength(value, 0, FALSE));
    else if (key == u"file")
        bitmap = LoadBitmapFromFile(value);
    if (!bitmap)
        return;
    SIZE tile { 0, 0 };
    m_drawManager.GetBitmapSize(bitmap, &tile);
    // Tile only what the target shows: the area may be far larger than the bitmap drawn into.
    RECT area { x, y, x + width, y + height };
    RECT box;
    if (GetClipBox(dc, &box) != 0 && !IsRectEmpty(&box))
        IntersectRect(&area, &area, &box);
    if (tile.cx > 0 && tile.cy > 0 && !IsRectEmpty(&area)) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, bitmap);
        // Start on the tile grid anchored at (x, y), so clipping does not shift the pattern.
        const int startX = x + (area.left - x) / tile.cx * tile.cx;
        const int startY = y + (area.top - y) / tile.cy * tile.cy;
        m_drawManager.TileBlt(
            dc, startX, startY, area.right - startX, area.bottom - startY, memory, 0, 0, tile.cx, tile.cy);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    DeleteObject(bitmap);
}

BOOL CHtmlRenderer::StepAnimations()
{
    BOOL changed = FALSE;
    for (SHtmlAnimation& animation : m_animations) {
        if (animation.nFrames <= 0)
            continue;
        if (++animation.nTick >= animation.nSpeed) {
            animation.nTick = 0;
            if (++animation.nFrame >= animation.nFrames)
                animation.nFrame = 0;
            changed = TRUE;
        }
    }
    return changed;
}

void CHtmlRenderer::AddLinkArea(int left, int top, int right, int bottom)
{
    if (m_curStyle.m_nLinkType == 0)
        return;
    m_linkAreas.push_back(
        SHtmlLinkArea { RECT { left, top, right, bottom }, m_curStyle.m_nLinkType, m_nLinkId, m_curStyle.m_strLink });
}

int CHtmlRenderer::FindLinkAt(POINT point) const
{
    for (size_t i = 0; i < m_linkAreas.size(); ++i) {
        const RECT& rc = m_linkAreas[i].rc;
        if (point.x >= rc.left && point.x <= rc.right && point.y >= rc.top && point.y <= rc.bottom)
            return int(i);
    }
    return -1;
}

BOOL CHtmlRenderer::OnSetCursor(POINT point)
{
    const int index = FindLinkAt(point);
    if (index < 0) {
        if (m_nHoverLink != -2) {
            m_nHoverLink = -2;
            NotifyRepaint(WPARAM(-2));
        }
        return FALSE;
    }
    // The receiver of the repaint draws again, which rebuilds the areas: work on a copy.
    const SHtmlLinkArea area = m_linkAreas[index];
    if (area.nId != m_nHoverLink) {
        m_nHoverLink = area.nId;
        NotifyRepaint(WPARAM(area.nId));
    }
    if (area.strLink.isEmpty() || !m_hHandCursor)
        return FALSE;
    ::SetCursor(m_hHandCursor);
    return TRUE;
}

void CHtmlRenderer::OnClick(POINT point)
{
    const int index = FindLinkAt(point);
    if (index >= 0)
        ActivateLink(index);
}

void CHtmlRenderer::ActivateLink(int index)
{
    if (index < 0 || index >= int(m_linkAreas.size()))
        return;
    const SHtmlLinkArea area = m_linkAreas[index];
    if (area.strLink.isEmpty())
        return;
    if (area.nType == 1)
        OpenUrl(area.strLink);
    else if (area.nType == 2)
        NotifyLink(area.strLink);
}

void CHtmlRenderer::OpenUrl(const QString& address)
{
    // The desktop's handler gets the address as one argument; no command line is ever built, so
    // nothing in the address can reach a shell.
    taluvo::shell::OpenUrl(address);
}

void CHtmlRenderer::NotifyRepaint(WPARAM wParam)
{
    if (m_hRepaintWnd && m_nRepaintMsg)
        SendMessage(m_hRepaintWnd, m_nRepaintMsg, wParam, m_lRepaintParam);
}

void CHtmlRenderer::NotifyLink(const QString& text)
{
    if (!m_hLinkWnd || !m_nLinkMsg)
        return;
    // A copy of its own, NUL-terminated, that lives until the receiver returns.
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
    const QString copy = text;
    SendMessage(m_hLinkWnd, m_nLinkMsg, reinterpret_cast<WPARAM>(copy.utf16()), m_lLinkParam);
}
