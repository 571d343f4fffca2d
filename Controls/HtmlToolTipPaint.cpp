// The tooltip on the screen: measuring and placing a showing, cutting the window's outline,
// preparing the background once, and composing every redraw (text, border, shadow, transparency
// over the backdrop) in memory before one copy to the window.
#include "Controls/HtmlToolTip.h"

#include "Controls/HtmlLinkFit.h"

#include "core/DebugTracer.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/PopupWindow.h"

#include <algorithm>

TRACE_MODULE("CHtmlToolTip");

namespace {

// A memory context with a new bitmap selected; both go with the object.
class CMemoryCanvas {
public:
    CMemoryCanvas(HDC like, int width, int height)
        : dc(CreateCompatibleDC(like))
        , bitmap(CreateCompatibleBitmap(like, width, height))
        , old(SelectObject(dc, bitmap))
    {
    }
    ~CMemoryCanvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    CMemoryCanvas(const CMemoryCanvas&) = delete;
    CMemoryCanvas& operator=(const CMemoryCanvas&) = delete;

    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

int Width(const RECT& rect)
{
    return rect.right - rect.left;
}

int Height(const RECT& rect)
{
    return rect.bottom - rect.top;
}

} // namespace

RECT CHtmlToolTip::VirtualScreen()
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    return RECT { left, top, left + width, top + height };
}

QString CHtmlToolTip::FitLinksToScreen(const QString& html)
{
    const RECT screen = VirtualScreen();
    const HtmlTipSizes sizes = Sizes();
    // The text's room: the screen less the margins, an anchor strip beside the body (a tip turned
    // to the left or right) and the shadow.
    const int room = (screen.right - screen.left) - 2 * sizes.marginCx - sizes.anchorHeight - std::max(0, m_nShadowX);
    HDC dc = ::GetDC(m_hWnd);
    QString fitted = FitLinkTexts(html, room, [&](const QString& text) {
        SIZE size {};
        m_renderer.MeasureHtml(dc, text, &size);
        return static_cast<int>(size.cx);
    });
    ::ReleaseDC(m_hWnd, dc);
    return fitted;
}

void CHtmlToolTip::ApplyDefaults(HTMLTOOLINFO& tool) const
{
    if (!(tool.nMask & MASK_STYLE))
        tool.nStyle = m_nDefStyle;
    if (!(tool.nMask & MASK_EFFECT)) {
        tool.nEffect = m_nDefEffect;
        tool.nGranularity = m_nDefGranularity;
    }
    if (!(tool.nMask & MASK_COLORS)) {
        tool.clrBegin = m_clrBegin;
        tool.clrMid = m_clrMid;
        tool.clrEnd = m_clrEnd;
    }
    if (!(tool.nMask & MASK_DIRECTION))
        tool.nDirection = m_nDefDirection;
    if (!(tool.nMask & MASK_BEHAVIOUR))
        tool.nBehaviour = m_nDefBehaviour;
    if (!(tool.nMask & MASK_TRANSPARENCY))
        tool.nTransparency = m_nDefTransparency;
}

void CHtmlToolTip::DisplayTooltip(POINT point)
{
    ApplyDefaults(m_queued);
    if (m_hNotifyWnd) {
        NMHTMLTTDISPLAY notice;
        notice.hdr.hwndFrom = m_hWnd;
        notice.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
        notice.hdr.code = HTMLTTN_DISPLAY;
        notice.hwndTool = m_hQueuedTool;
        notice.pt = &point;
        notice.ti = &m_queued;
        ::SendMessage(m_hNotifyWnd, WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice));
    }
    if (m_queued.strHtml.isEmpty())
        return;
    // The tool shown is the displayed one from here on, as the first paint would make it: the fade
    // and autopop steps read it, and a window system may deliver that paint after their timers.
    m_hDisplayedTool = m_hQueuedTool;
    m_nDisplayedMode = m_nQueuedMode;
    m_displayed = m_queued;

    HDC dc = ::GetDC(m_hWnd);
    SIZE textSize {};
    m_renderer.MeasureHtml(dc, m_queued.strHtml, &textSize);
    const HtmlTipSizes sizes = Sizes();
    const HtmlTipPlacement placement
        = CalculateTipPlacement(m_queued.nDirection, point, textSize, sizes, VirtualScreen());
    m_nFinalDirection = placement.direction;
    m_rcText = placement.text;
    m_rcBody = placement.body;
    m_rcWindow = placement.window;
    m_ptAnchor = placement.anchor;
    const int width = Width(m_rcWindow);
    const int height = Height(m_rcWindow);

    FreeTooltipBitmaps();
    const HtmlTipShape shape = CalculateTipShape(m_nFinalDirection, m_ptAnchor, width, height, sizes);
    m_hTipRegion = CreateRoundRectRgn(shape.roundedBody.left, shape.roundedBody.top, shape.roundedBody.right,
        shape.roundedBody.bottom, shape.ellipseCx, shape.ellipseCy);
    if (shape.hasTriangle) {
        HRGN triangle = CreatePolygonRgn(shape.triangle, 3, ALTERNATE);
        CombineRgn(m_hTipRegion, m_hTipRegion, triangle, RGN_OR);
        DeleteObject(triangle);
    }

    // The background is filled once per showing; every redraw only copies it.
    m_hTipBitmap = CreateCompatibleBitmap(dc, width, height);
    HDC fill = CreateCompatibleDC(dc);
    HGDIOBJ oldFill = SelectObject(fill, m_hTipBitmap);
    CDrawManager& draw = m_renderer.GetDrawManager();
    draw.FillEffect(fill, static_cast<UINT>(m_queued.nEffect), &m_rcBody, m_queued.clrBegin, m_queued.clrMid,
        m_queued.clrEnd, m_queued.nGranularity, 5);
    // The anchor strip repeats the line of the fill just inside the body on the anchor's side.
    switch (TipSide(m_nFinalDirection)) {
    case TIP_SIDE_TOP:
        draw.TileBlt(fill, 0, 0, width, m_rcBody.top, fill, 0, m_rcBody.top + 1, width, 1);
        break;
    case TIP_SIDE_BOTTOM:
        draw.TileBlt(fill, 0, m_rcBody.bottom, width, height - m_rcBody.bottom, fill, 0, m_rcBody.bottom - 1, width, 1);
        break;
    case TIP_SIDE_LEFT:
        draw.TileBlt(fill, 0, 0, m_rcBody.left, height, fill, m_rcBody.left + 1, 0, 1, height);
        break;
    default:
        draw.TileBlt(fill, m_rcBody.right, 0, width - m_rcBody.right, height, fill, m_rcBody.right - 1, 0, 1, height);
        break;
    }
    SelectObject(fill, oldFill);
    DeleteDC(fill);
    ::ReleaseDC(m_hWnd, dc);

    const POINT origin { point.x - m_ptAnchor.x, point.y - m_ptAnchor.y };
    m_nTransparency = m_nFadeIn != 0 ? 100 : m_queued.nTransparency;

    HRGN windowRegion = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(windowRegion, m_hTipRegion, nullptr, RGN_COPY);
    if (m_nShadowX != 0 || m_nShadowY != 0) {
        HRGN shadow = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(shadow, m_hTipRegion, nullptr, RGN_COPY);
        OffsetRgn(shadow, m_nShadowX, m_nShadowY);
        CombineRgn(windowRegion, windowRegion, shadow, RGN_OR);
        DeleteObject(shadow);
        m_rcWindow.right += m_nShadowX;
        m_rcWindow.bottom += m_nShadowY;
    }
    SetWindowRgn(m_hWnd, windowRegion, FALSE);
    SetWindowPos(nullptr, origin.x, origin.y, Width(m_rcWindow), Height(m_rcWindow), SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

LRESULT CHtmlToolTip::OnPaint(UINT, WPARAM, LPARAM, BOOL&)
{
    TRACE_SCOPE(u"CHtmlToolTip::OnPaint()\n");
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    m_hDisplayedTool = m_hQueuedTool;
    m_nDisplayedMode = m_nQueuedMode;
    m_displayed = m_queued;
    OnRedrawTooltip(dc, m_nTransparency);
    EndPaint(m_hWnd, &ps);
    return 0;
}

void CHtmlToolTip::OnRedrawTooltip(HDC given, int transparency)
{
    TRACE_SCOPE(u"CHtmlToolTip::OnRedrawTooltip");
    if (!m_hTipBitmap || !IsWindow())
        return;
    if (transparency > 100)
        transparency = 100;
    if (transparency < 0)
        transparency = 0;
    HDC dc = given ? given : ::GetDC(m_hWnd);
    const int width = Width(m_rcWindow);
    const int height = Height(m_rcWindow);
    const int tipWidth = width - m_nShadowX;
    const int tipHeight = height - m_nShadowY;
    CDrawManager& draw = m_renderer.GetDrawManager();
    {
        CMemoryCanvas picture(dc, width, height);
        CMemoryCanvas result(dc, width, height);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ oldSource = SelectObject(source, m_hTipBitmap);
        BitBlt(picture.dc, 0, 0, tipWidth, tipHeight, source, 0, 0, SRCCOPY);
        m_renderer.RenderHtml(picture.dc, &m_rcText);
        if (m_hBorderBrush && m_nBorderWidth != 0 && m_nBorderHeight != 0)
            DrawBorder(picture.dc, m_hTipRegion);

        // What lay under the window when the showing began; every later redraw blends over the
        // same picture, so fades never compound.
        if (!m_hBackdrop) {
            m_hBackdrop = CreateCompatibleBitmap(dc, width, height);
            HDC backdrop = CreateCompatibleDC(dc);
            HGDIOBJ oldBackdrop = SelectObject(backdrop, m_hBackdrop);
            BitBlt(backdrop, 0, 0, width, height, dc, 0, 0, SRCCOPY);
            SelectObject(backdrop, oldBackdrop);
            DeleteDC(backdrop);
        }
        SelectObject(source, m_hBackdrop);
        BitBlt(result.dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
        SelectObject(source, oldSource);
        DeleteDC(source);

        if (m_nShadowX != 0 || m_nShadowY != 0) {
            const int m = MulDiv(255, 100 - m_nShadowDarkness, 100);
            const int grey = m + (255 - m) * transparency / 100;
            CMemoryCanvas mask(dc, tipWidth, tipHeight);
            const RECT all { 0, 0, tipWidth, tipHeight };
            FillRect(mask.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            HBRUSH greyBrush = CreateSolidBrush(RGB(grey, grey, grey));
            FillRgn(mask.dc, m_hTipRegion, greyBrush);
            DeleteObject(greyBrush);
            SelectObject(mask.dc, mask.old);
            draw.DrawShadow(result.dc, m_nShadowX, m_nShadowY, tipWidth, tipHeight, mask.bitmap, m_bShadowSoft,
                m_nShadowBlurX, m_nShadowBlurY);
            SelectObject(mask.dc, mask.bitmap);
        }
        SelectClipRgn(result.dc, m_hTipRegion);
        draw.BlendRect(result.dc, 0, 0, tipWidth, tipHeight, picture.dc, 0, 0, 100 - transparency);
        SelectClipRgn(result.dc, nullptr);
        BitBlt(dc, 0, 0, width, height, result.dc, 0, 0, SRCCOPY);
    }
    if (!given)
        ::ReleaseDC(m_hWnd, dc);
}

void CHtmlToolTip::OutputTooltipOnScreen(POINT point)
{
    TRACE_SCOPE(u"OutputTooltipOnScreen()");
    MoveWindow(point.x, point.y, Width(m_rcWindow), Height(m_rcWindow), TRUE);
}

void CHtmlToolTip::DrawBorder(HDC dc, HRGN region)
{
    FrameRgn(dc, region, m_hBorderBrush, m_nBorderWidth, m_nBorderHeight);
}

void CHtmlToolTip::FreeTooltipBitmaps()
{
    if (m_hTipRegion) {
        DeleteObject(m_hTipRegion);
        m_hTipRegion = nullptr;
    }
    if (m_hTipBitmap) {
        DeleteObject(m_hTipBitmap);
        m_hTipBitmap = nullptr;
    }
    if (m_hBackdrop) {
        DeleteObject(m_hBackdrop);
        m_hBackdrop = nullptr;
    }
}
