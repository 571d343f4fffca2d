// The tooltip's life, settings, tools and show cycle: the owner's relayed messages pick the tool
// under the mouse, timers run the initial delay, the fades and the autopop.
#include "Controls/HtmlToolTip.h"

#include "core/DebugTracer.h"
#include "platform/ui/Cursor.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/PopupWindow.h"

TRACE_MODULE("CHtmlToolTip");

CHtmlToolTip::CHtmlToolTip()
{
    SetBackgroundColors(GetSysColor(COLOR_INFOBK));
    SetBorder(GetSysColor(COLOR_INFOTEXT), 1, 1);
    SetDefaultSizes(TRUE);
    m_renderer.m_nMaxWidth = 0;
}

CHtmlToolTip::~CHtmlToolTip()
{
    if (IsWindow())
        DestroyWindow();
    FreeTooltipBitmaps();
    RemoveAllTools();
    if (m_hBorderBrush)
        DeleteObject(m_hBorderBrush);
}

HWND CHtmlToolTip::Create(HWND parent, BOOL balloon)
{
    m_hParentWnd = parent;
    HWND tip
        = CWindowImpl<CHtmlToolTip>::Create(parent, nullptr, QString(), WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    if (!tip)
        return nullptr;
    SetDefaultSizes(balloon);
    m_renderer.SetRepaintNotify(tip, WM_HTML_REPAINT, 0);
    SetTimer(TIMER_TOOLTIP_ANIMATION, 100);
    return tip;
}

void CHtmlToolTip::SetBackgroundEffect(int effect, BYTE granularity)
{
    m_nDefEffect = effect;
    m_nDefGranularity = granularity;
}

void CHtmlToolTip::SetBackgroundColors(COLORREF begin, COLORREF middle, COLORREF end)
{
    m_clrBegin = begin;
    m_clrMid = middle;
    m_clrEnd = end;
}

void CHtmlToolTip::SetBorder(COLORREF color, int width, int height)
{
    if (m_hBorderBrush)
        DeleteObject(m_hBorderBrush);
    m_hBorderBrush = CreateSolidBrush(color);
    m_nBorderWidth = width;
    m_nBorderHeight = height;
}

void CHtmlToolTip::SetTransparency(int percent)
{
    if (percent >= 0 && percent <= 100)
        m_nDefTransparency = static_cast<BYTE>(percent);
}

void CHtmlToolTip::SetShadow(int offsetX, int offsetY, int darkness, BOOL soft, int blurWidth, int blurHeight)
{
    m_nShadowX = offsetX;
    m_nShadowY = offsetY;
    m_nShadowDarkness = static_cast<BYTE>(darkness < 0 ? 0 : (darkness > 100 ? 100 : darkness));
    m_bShadowSoft = soft;
    m_nShadowBlurX = blurWidth;
    m_nShadowBlurY = blurHeight;
}

void CHtmlToolTip::SetCallbackHyperlink(HWND window, UINT message, LPARAM lParam)
{
    TRACE_SCOPE(u"CHtmlToolTip::SetCallbackHyperlink()");
    m_renderer.SetLinkNotify(window, message, lParam);
}

void CHtmlToolTip::SetDelayTime(DWORD type, int milliseconds)
{
    switch (type) {
    case DELAY_AUTOPOP:
        m_nAutoPop = milliseconds;
        break;
    case DELAY_INITIAL:
        m_nInitial = milliseconds;
        break;
    case DELAY_FADEIN:
        m_nFadeIn = milliseconds;
        break;
    case DELAY_FADEOUT:
        m_nFadeOut = milliseconds;
        break;
    case DELAY_ANIMATION:
        if (IsWindow()) {
            KillTimer(TIMER_TOOLTIP_ANIMATION);
            if (milliseconds != 0)
                SetTimer(TIMER_TOOLTIP_ANIMATION, static_cast<UINT>(milliseconds));
        }
        break;
    default:
        break;
    }
}

int CHtmlToolTip::GetDelayTime(DWORD type) const
{
    switch (type) {
    case DELAY_AUTOPOP:
        return m_nAutoPop;
    case DELAY_INITIAL:
        return m_nInitial;
    case DELAY_FADEIN:
        return m_nFadeIn;
    case DELAY_FADEOUT:
        return m_nFadeOut;
    default:
        return 0;
    }
}

void CHtmlToolTip::SetDirection(int direction)
{
    TRACE3(u"CHtmlToolTip::SetDirection(nDirection = %d)\n", direction);
    m_nDefDirection = direction;
}

void CHtmlToolTip::SetDefaultSizes(BOOL balloon)
{
    TRACE_SCOPE(u"CHtmlToolTip::SetDefaultSizes()");
    const HtmlTipSizes sizes = balloon ? HtmlTipSizes::Balloon() : HtmlTipSizes::Plain();
    const int values[SIZE_COUNT] = { sizes.roundedCx, sizes.roundedCy, sizes.marginCx, sizes.marginCy,
        sizes.anchorWidth, sizes.anchorHeight, sizes.anchorMargin, 0, 0 };
    for (int i = 0; i < SIZE_COUNT; ++i)
        m_sizes[i] = values[i];
}

void CHtmlToolTip::SetSize(int index, int value)
{
    TRACE3(u"CHtmlToolTip::SetSize(nSizeIndex = %d, nValue = %d)\n", index, value);
    if (index >= 0 && index < SIZE_COUNT)
        m_sizes[index] = value;
}

int CHtmlToolTip::GetSize(int index) const
{
    TRACE3(u"CHtmlToolTip::GetSize(nSizeIndex = %d)\n", index);
    return index >= 0 && index < SIZE_COUNT ? m_sizes[index] : 0;
}

HtmlTipSizes CHtmlToolTip::Sizes() const
{
    return HtmlTipSizes { m_sizes[SIZE_ROUNDED_CX], m_sizes[SIZE_ROUNDED_CY], m_sizes[SIZE_MARGIN_CX],
        m_sizes[SIZE_MARGIN_CY], m_sizes[SIZE_ANCHOR_WIDTH], m_sizes[SIZE_ANCHOR_HEIGHT], m_sizes[SIZE_ANCHOR_MARGIN] };
}

// --- Tools ---

namespace {

void TraceAddTool(HWND window)
{
    TRACE3(u"CHtmlToolTip::AddTool(hWnd=0x%08X)\n", static_cast<unsigned>(reinterpret_cast<quintptr>(window)));
}

} // namespace

void CHtmlToolTip::AddTool(HWND window, const HTMLTOOLINFO& tool)
{
    TraceAddTool(window);
    m_tools.AddTool(window, tool);
}

void CHtmlToolTip::AddTool(HWND window, const QString& html, const RECT* rect, UINT toolId)
{
    TraceAddTool(window);
    m_tools.AddTool(window, html, rect, toolId);
}

void CHtmlToolTip::AddTool(HWND window, StringResourceId text, const RECT* rect, UINT toolId)
{
    TraceAddTool(window);
    m_tools.AddTool(window, text, rect, toolId);
}

void CHtmlToolTip::AddTool(HWND window, const QString& text, HICON icon, const RECT* rect, UINT toolId)
{
    TraceAddTool(window);
    m_tools.AddTool(window, text, icon, rect, toolId);
}

void CHtmlToolTip::AddTool(
    HWND window, const QString& text, IconResourceId icon, SIZE size, const RECT* rect, UINT toolId)
{
    TraceAddTool(window);
    m_tools.AddTool(window, text, icon, size, rect, toolId);
}

void CHtmlToolTip::AddTool(
    HWND window, const QString& text, BitmapResourceId bitmap, COLORREF mask, SIZE size, const RECT* rect, UINT toolId)
{
    TraceAddTool(window);
    m_tools.AddTool(window, text, bitmap, mask, size, rect, toolId);
}

void CHtmlToolTip::RemoveTool(HWND window, const RECT* rect)
{
    TRACE3(u"CHtmlToolTip::RemoveTool(hWnd=0x%08X)\n", static_cast<unsigned>(reinterpret_cast<quintptr>(window)));
    m_tools.RemoveTool(window, rect);
}

void CHtmlToolTip::RemoveAllTools()
{
    m_tools.RemoveAllTools();
}

BOOL CHtmlToolTip::GetToolInfo(HTMLTOOLINFO* out, HWND window, UINT toolId) const
{
    return m_tools.GetToolInfo(out, window, toolId) ? TRUE : FALSE;
}

BOOL CHtmlToolTip::GetToolInfo(HTMLTOOLINFO* out, HWND window, const RECT& rect) const
{
    return m_tools.GetToolInfo(out, window, rect) ? TRUE : FALSE;
}

void CHtmlToolTip::UpdateTipText(const QString& html, HWND window, UINT toolId)
{
    m_tools.UpdateTipText(html, window, toolId);
}

void CHtmlToolTip::DelTool(HWND window, UINT toolId)
{
    m_tools.DelTool(window, toolId);
}

void CHtmlToolTip::SetToolRect(HWND window, UINT toolId, const RECT& rect)
{
    m_tools.SetToolRect(window, toolId, rect);
}

void CHtmlToolTip::AddToolBar(HWND toolBar)
{
    TRACE3(u"CHtmlToolTip::AddToolBar(hWnd=0x%08X)\n", static_cast<unsigned>(reinterpret_cast<quintptr>(toolBar)));
    if (!toolBar || !m_tools.AddToolBar(toolBar))
        return;
    const LRESULT style = ::SendMessage(toolBar, TB_GETSTYLE, 0, 0);
    ::SendMessage(toolBar, TB_SETSTYLE, 0, style & ~static_cast<LRESULT>(TBSTYLE_TOOLTIPS));
}

// --- Relayed messages ---

BOOL CHtmlToolTip::RelayEvent(const MSG* msg)
{
    if (!msg || !IsWindow())
        return FALSE;
    switch (msg->message) {
    case WM_MOUSEMOVE:
        OnMouseMove(msg->pt);
        break;
    case WM_LBUTTONDOWN:
        TRACE3(u"CHtmlToolTip::WM_LBUTTONDOWN\n");
        if (IsCursorOverTip()) {
            POINT client = msg->pt;
            ScreenToClient(&client);
            m_renderer.OnClick(client);
        }
        Pop();
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        Pop();
        break;
    default:
        break;
    }
    return FALSE;
}

bool CHtmlToolTip::IsCursorOverTip() const
{
    if (!IsWindow() || !(GetStyle() & WS_VISIBLE))
        return false;
    POINT cursor {};
    GetCursorPos(&cursor);
    return WindowFromPoint(cursor) == m_hWnd;
}

void CHtmlToolTip::ForgetDisplayedTool()
{
    m_hDisplayedTool = nullptr;
    SetRectEmpty(&m_displayed.rcBounds);
}

void CHtmlToolTip::OnMouseMove(POINT screenPoint)
{
    if (m_nDisplayedMode == 1 || m_nQueuedMode == 1)
        return;
    if (screenPoint.x == m_ptLastCursor.x && screenPoint.y == m_ptLastCursor.y)
        return;
    m_ptLastCursor = screenPoint;
    POINT lookup = screenPoint;
    ::ScreenToClient(m_hParentWnd, &lookup);

    if (m_bWindowInfoMode) {
        HTMLTOOLINFO info;
        info.strHtml = GetWindowInfoHtml(lookup);
        m_hDisplayedTool = nullptr;
        SetNewTooltip(m_hWnd, info, TRUE, 0);
        return;
    }
    const UINT behaviour = m_displayed.nBehaviour;
    if (IsCursorOverTip() && !(behaviour & BEHAVIOUR_FOLLOW_CURSOR)) {
        if (behaviour & BEHAVIOUR_KEEP_ON_TIP)
            SetAutoPopTimer();
        else
            HideTooltip();
        return;
    }

    HTMLTOOLINFO tool;
    HWND toolWindow = FindToolBarItem(screenPoint, &tool);
    if (!toolWindow)
        toolWindow = FindTool(lookup, &tool);
    if (!toolWindow) {
        ForgetDisplayedTool();
        KillTimers(TIMER_TOOLTIP_SHOW);
        HideTooltip();
        return;
    }
    if (toolWindow != m_hDisplayedTool || !EqualRect(&tool.rcBounds, &m_displayed.rcBounds)) {
        SetNewTooltip(toolWindow, tool, TRUE, 0);
        return;
    }
    if (behaviour & BEHAVIOUR_FOLLOW_CURSOR) {
        SetAutoPopTimer();
        OutputTooltipOnScreen(screenPoint);
    } else if (behaviour & BEHAVIOUR_KEEP_ON_TOOL) {
        SetAutoPopTimer();
    } else if (behaviour & BEHAVIOUR_REPEAT) {
        SetNewTooltip(toolWindow, tool, TRUE, 0);
    } else {
        HideTooltip();
    }
}

// --- The show cycle ---

void CHtmlToolTip::SetNewTooltip(HWND toolWindow, const HTMLTOOLINFO& tool, BOOL delay, int mode)
{
    TRACE3(u"CHtmlToolTip::SetNewTooltip(hWnd=0x%08X, CRect(left=%d, top=%d, right=%d, bottom=%d), nID=%d)\n",
        static_cast<unsigned>(reinterpret_cast<quintptr>(toolWindow)), tool.rcBounds.left, tool.rcBounds.top,
        tool.rcBounds.right, tool.rcBounds.bottom, static_cast<int>(tool.nID));
    m_bQueued = FALSE;
    if (m_nState == STATE_FADING_IN || m_nState == STATE_SHOWN)
        HideTooltip();
    m_nQueuedMode = mode;
    m_hQueuedTool = toolWindow;
    m_queued = tool;
    if (m_nState != STATE_HIDDEN) {
        TRACE3(u"SetNewTooltip2(%d)\n", mode);
        m_bQueued = TRUE;
        m_bQueuedWithDelay = delay && m_nInitial != 0;
        return;
    }
    if (delay && m_nInitial != 0) {
        KillTimer(TIMER_TOOLTIP_SHOW);
        SetTimer(TIMER_TOOLTIP_SHOW, static_cast<UINT>(m_nInitial));
    } else {
        OnTimerShow();
    }
}

void CHtmlToolTip::OnTimerShow()
{
    TRACE3(u"OnTimerShow(%d)\n", m_nQueuedMode);
    KillTimers(TIMER_TOOLTIP_SHOW);
    POINT reference = m_ptLastCursor;
    if (m_nQueuedMode != 1)
        GetCursorPos(&reference);
    if (reference.x != m_ptLastCursor.x || reference.y != m_ptLastCursor.y) {
        TRACE3(u"OnTimerShow(HideTooltip)\n");
        HideTooltip();
        return;
    }
    if (m_nState != STATE_HIDDEN)
        return;
    TRACE3(u"OnTimerShow(Showing)\n");
    m_nState = STATE_FADING_IN;
    DisplayTooltip(m_ptLastCursor);
    if (m_nFadeIn != 0) {
        TRACE3(u"OnTimerShow(FadeIn)\n");
        SetTimer(TIMER_TOOLTIP_FADEIN, static_cast<UINT>(m_nFadeIn));
        return;
    }
    TRACE3(u"OnTimerShow(Shown)\n");
    m_nState = STATE_SHOWN;
    if (m_nAutoPop != 0 && !(m_queued.nBehaviour & BEHAVIOUR_NO_AUTOPOP))
        SetTimer(TIMER_TOOLTIP_HIDE, static_cast<UINT>(m_nAutoPop));
}

void CHtmlToolTip::OnTimerFadeIn()
{
    m_nTransparency = m_nTransparency <= 20 ? 0 : m_nTransparency - 20;
    TRACE3(u"OnTimerFadeIn(Current Transparency=%d )\n", m_nTransparency);
    if (m_nTransparency <= m_displayed.nTransparency) {
        m_nTransparency = m_displayed.nTransparency;
        KillTimers(TIMER_TOOLTIP_FADEIN);
        m_nState = STATE_SHOWN;
        SetAutoPopTimer();
    }
    OnRedrawTooltip(nullptr, m_nTransparency);
}

void CHtmlToolTip::OnTimerHide()
{
    TRACE3(u"OnTimerHide()\n");
    KillTimers(TIMER_TOOLTIP_SHOW);
    KillTimers(TIMER_TOOLTIP_FADEIN);
    KillTimers(TIMER_TOOLTIP_HIDE);
    if (m_nState == STATE_FADING_OUT)
        return;
    m_nState = STATE_FADING_OUT;
    if (m_nFadeOut != 0) {
        SetTimer(TIMER_TOOLTIP_FADEOUT, static_cast<UINT>(m_nFadeOut));
        return;
    }
    m_nTransparency = 100;
    OnTimerFadeOut();
}

void CHtmlToolTip::OnTimerFadeOut()
{
    m_nTransparency = m_nTransparency >= 80 ? 100 : m_nTransparency + 20;
    TRACE3(u"OnTimerFadeOut(Current Transparency=%d)\n", m_nTransparency);
    if (m_nTransparency < 100) {
        OnRedrawTooltip(nullptr, m_nTransparency);
        return;
    }
    KillTimers(TIMER_TOOLTIP_FADEOUT);
    if (m_displayed.nBehaviour & BEHAVIOUR_REPEAT)
        ForgetDisplayedTool();
    ShowWindow(SW_HIDE);
    m_nState = STATE_HIDDEN;
    if (m_bQueued) {
        m_bQueued = FALSE;
        if (m_bQueuedWithDelay)
            SetTimer(TIMER_TOOLTIP_SHOW, static_cast<UINT>(m_nInitial));
        else
            OnTimerShow();
        return;
    }
    m_nDisplayedMode = 0;
    m_nQueuedMode = 0;
}

void CHtmlToolTip::OnTimerAnimation()
{
    if ((GetStyle() & WS_VISIBLE) && m_nState == STATE_SHOWN && m_renderer.StepAnimations())
        OnRedrawTooltip(nullptr, m_nTransparency);
}

void CHtmlToolTip::SetAutoPopTimer()
{
    TRACE_SCOPE(u"CHtmlToolTip::SetAutoPopTimer()");
    if (m_nAutoPop != 0 && !(m_displayed.nBehaviour & BEHAVIOUR_NO_AUTOPOP)) {
        KillTimer(TIMER_TOOLTIP_HIDE);
        SetTimer(TIMER_TOOLTIP_HIDE, static_cast<UINT>(m_nAutoPop));
    }
}

void CHtmlToolTip::KillTimers(UINT_PTR id)
{
    TRACE_SCOPE(u"CHtmlToolTip::KillTimers()");
    if (!IsWindow())
        return;
    if (id != 0) {
        KillTimer(id);
        return;
    }
    for (UINT_PTR timer : { TIMER_TOOLTIP_SHOW, TIMER_TOOLTIP_HIDE, TIMER_TOOLTIP_FADEIN, TIMER_TOOLTIP_FADEOUT })
        KillTimer(timer);
}

void CHtmlToolTip::HideTooltip()
{
    if (m_nState == STATE_FADING_IN) {
        KillTimers(TIMER_TOOLTIP_FADEIN);
        OnTimerHide();
    } else if (m_nState == STATE_SHOWN) {
        OnTimerHide();
    }
}

void CHtmlToolTip::Pop()
{
    TRACE3(u"CHtmlToolTip::Pop()\n");
    m_nState = STATE_HIDDEN;
    m_nDisplayedMode = 0;
    m_nQueuedMode = 0;
    KillTimers(0);
    if (!IsWindow() || !(GetStyle() & WS_VISIBLE))
        return;
    if (m_displayed.nBehaviour & BEHAVIOUR_REPEAT)
        ForgetDisplayedTool();
    ShowWindow(SW_HIDE);
}

void CHtmlToolTip::ShowTooltipAt(POINT screenPoint, const QString& html, HICON icon)
{
    const QString text = icon ? ToolHtmlWithIcon(icon, html) : html;
    m_strLastShownText = text;
    m_ptLastShown = screenPoint;
    HTMLTOOLINFO tool;
    tool.strHtml = text;
    tool.nMask = MASK_BEHAVIOUR;
    tool.nBehaviour = m_nDefBehaviour | BEHAVIOUR_NO_AUTOPOP;
    m_ptLastCursor = screenPoint;
    SetNewTooltip(nullptr, tool, FALSE, 1);
}

void CHtmlToolTip::ShowTooltipAt(POINT screenPoint, StringResourceId text, HICON icon)
{
    ShowTooltipAt(screenPoint, ToolTextFromResource(text), icon);
}

void CHtmlToolTip::ShowTooltipAt(POINT screenPoint, const QString& text, IconResourceId icon, SIZE size)
{
    ShowTooltipAt(screenPoint, ToolHtmlWithIcon(icon, size, text), nullptr);
}

void CHtmlToolTip::ShowTooltipAt(POINT screenPoint, StringResourceId text, IconResourceId icon, SIZE size)
{
    ShowTooltipAt(screenPoint, ToolTextFromResource(text), icon, size);
}

// --- Window messages ---

LRESULT CHtmlToolTip::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled)
{
    Pop();
    KillTimer(TIMER_TOOLTIP_ANIMATION);
    handled = FALSE;
    return 0;
}

LRESULT CHtmlToolTip::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    switch (wParam) {
    case TIMER_TOOLTIP_SHOW:
        OnTimerShow();
        break;
    case TIMER_TOOLTIP_HIDE:
        OnTimerHide();
        break;
    case TIMER_TOOLTIP_FADEIN:
        OnTimerFadeIn();
        break;
    case TIMER_TOOLTIP_FADEOUT:
        OnTimerFadeOut();
        break;
    case TIMER_TOOLTIP_ANIMATION:
        OnTimerAnimation();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CHtmlToolTip::OnSetCursor(UINT, WPARAM, LPARAM, BOOL&)
{
    POINT point {};
    GetCursorPos(&point);
    ScreenToClient(&point);
    TRACE3(u"CHtmlToolTip::OnSetCursor(x=%d, y=%d)\n", point.x, point.y);
    if (!m_renderer.OnSetCursor(point))
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
    return TRUE;
}

LRESULT CHtmlToolTip::OnActivateApp(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    if (!wParam)
        Pop();
    return 0;
}

LRESULT CHtmlToolTip::OnRepaintWindow(UINT, WPARAM, LPARAM, BOOL&)
{
    TRACE_SCOPE(u"CHtmlToolTip::OnRepaintWindow()\n");
    // Hovering a link shows the tip opaque, so the link under the pointer reads clearly; the next
    // paint draws it at its own transparency again.
    if (m_bRepaintOnHover && (GetStyle() & WS_VISIBLE))
        OnRedrawTooltip(nullptr, 0);
    return 1;
}
