// The HTML tooltip window: a top-most, frameless popup that shows marked-up text in a rounded
// balloon whose anchor points at the cursor or at a given screen point, over a fill effect, with
// a border, a soft drop shadow, a transparency and fades. The owner relays its message loop's
// messages (RelayEvent); the tip finds the tool under the mouse in its registry, waits the initial
// delay, asks its notify window for last changes (HTMLTTN_DISPLAY), shows itself and hides after
// the autopop delay. ShowTooltipAt pins a tip to a point until it is hidden.
//
// Everything runs on the user-interface thread that created the window.
#pragma once

#include "Controls/HtmlRenderer.h"
#include "Controls/HtmlToolInfo.h"
#include "Controls/HtmlToolTipPlacement.h"
#include "Controls/HtmlToolTipTools.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/CommCtrl.h"

#include <QString>

constexpr UINT HTMLTTN_DISPLAY = 0x464;

struct NMHTMLTTDISPLAY {
    NMHDR hdr {};
    HWND hwndTool = nullptr;
    POINT* pt = nullptr;
    HTMLTOOLINFO* ti = nullptr;
};

class CHtmlToolTip : public CWindowImpl<CHtmlToolTip> {
public:
    DECLARE_WND_CLASS(u"CHtmlToolTip")

    // Which fields of a tool's record the tool sets itself; the others take the tip's defaults.
    enum : UINT {
        MASK_STYLE = 0x01,
        MASK_EFFECT = 0x02,
        MASK_COLORS = 0x04,
        MASK_DIRECTION = 0x08,
        MASK_BEHAVIOUR = 0x10,
        MASK_TRANSPARENCY = 0x20,
    };
    enum : UINT {
        BEHAVIOUR_REPEAT = 0x01,
        BEHAVIOUR_FOLLOW_CURSOR = 0x02,
        BEHAVIOUR_KEEP_ON_TOOL = 0x04,
        BEHAVIOUR_KEEP_ON_TIP = 0x08,
        BEHAVIOUR_NO_AUTOPOP = 0x10,
    };
    enum : DWORD { DELAY_AUTOPOP = 2, DELAY_INITIAL = 3, DELAY_FADEIN = 4, DELAY_FADEOUT = 5, DELAY_ANIMATION = 6 };
    enum : UINT_PTR {
        TIMER_TOOLTIP_SHOW = 256,
        TIMER_TOOLTIP_HIDE = 257,
        TIMER_TOOLTIP_FADEIN = 258,
        TIMER_TOOLTIP_FADEOUT = 259,
        TIMER_TOOLTIP_ANIMATION = 260,
    };
    enum { STATE_HIDDEN = 0, STATE_FADING_IN = 1, STATE_SHOWN = 2, STATE_FADING_OUT = 3 };
    enum {
        SIZE_ROUNDED_CX = 0,
        SIZE_ROUNDED_CY,
        SIZE_MARGIN_CX,
        SIZE_MARGIN_CY,
        SIZE_ANCHOR_WIDTH,
        SIZE_ANCHOR_HEIGHT,
        SIZE_ANCHOR_MARGIN,
        SIZE_COUNT = 9,
    };

    CHtmlToolTip();
    ~CHtmlToolTip() override;
    CHtmlToolTip(const CHtmlToolTip&) = delete;
    CHtmlToolTip& operator=(const CHtmlToolTip&) = delete;

    BEGIN_MSG_MAP(CHtmlToolTip)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_ACTIVATEAPP, OnActivateApp)
    MESSAGE_HANDLER(WM_HTML_REPAINT, OnRepaintWindow)
    END_MSG_MAP()

    // The tip's popup window, owned by parent; null on failure. balloon chooses the rounded sizes
    // with an anchor, otherwise a plain rectangle.
    HWND Create(HWND parent, BOOL balloon = TRUE);

    // Settings.
    void SetBackgroundEffect(int effect, BYTE granularity = 5);
    void SetBackgroundColors(COLORREF begin, COLORREF middle, COLORREF end);
    void SetBackgroundColors(COLORREF color) { SetBackgroundColors(color, color, color); }
    void SetBorder(COLORREF color, int width = 1, int height = 1);
    void SetTransparency(int percent);
    void SetShadow(
        int offsetX, int offsetY, int darkness = 50, BOOL soft = TRUE, int blurWidth = 7, int blurHeight = 7);
    void SetCallbackHyperlink(HWND window, UINT message, LPARAM lParam = 0);
    void SetDelayTime(DWORD type, int milliseconds);
    int GetDelayTime(DWORD type) const;
    void SetNotifyWindow(HWND window) { m_hNotifyWnd = window; }
    void SetNotify(BOOL toParent) { m_hNotifyWnd = toParent ? m_hParentWnd : nullptr; }
    void SetBehaviourFlags(UINT flags) { m_nDefBehaviour = flags; }
    UINT GetBehaviourFlags() const { return m_nDefBehaviour; }
    void SetDirection(int direction);
    int GetDirection() const { return m_nDefDirection; }
    void SetDefaultSizes(BOOL balloon);
    void SetSize(int index, int value);
    int GetSize(int index) const;
    void SetRepaintOnHover(BOOL repaint) { m_bRepaintOnHover = repaint; }
    void SetWindowInfoMode(BOOL on) { m_bWindowInfoMode = on; }
    void SetCssStyle(const QString& selector, const QString& properties)
    {
        m_renderer.SetSelectorStyle(selector, properties);
    }
    void SetStyleSheet(const QString& text) { m_renderer.SetStyleSheet(text); }
    void SetStyleSheet(StringResourceId text) { m_renderer.SetStyleSheet(MAKEINTRESOURCE(text.id)); }
    void LoadStyleSheetResource(UINT id, LPCWSTR library = nullptr) { m_renderer.LoadStyleSheetResource(id, library); }
    const QString& GetStyleSheet() const { return m_renderer.GetStyleSheet(); }
    void EnableEscapes(BOOL enable) { m_renderer.EnableEscapes(enable); }
    // The pictures of the tip's "ilst" tags and the shadow its pictures cast (not the tip's own).
    void SetImageList(HBITMAP bitmap, int cx, int cy, int count, COLORREF mask)
    {
        m_renderer.SetImageList(bitmap, cx, cy, count, mask);
    }
    void SetImageList(UINT bitmapId, int cx, int cy, int count, COLORREF mask)
    {
        m_renderer.SetImageList(bitmapId, cx, cy, count, mask);
    }
    void SetImageShadow(
        int offsetX, int offsetY, BYTE darkness = 50, BOOL soft = TRUE, int blurWidth = 7, int blurHeight = 7)
    {
        m_renderer.SetShadow(offsetX, offsetY, darkness, soft, blurWidth, blurHeight);
    }

    // Tools (see CHtmlToolRegistry). A tool without text takes it from the notify window.
    void AddTool(HWND window, const HTMLTOOLINFO& tool);
    void AddTool(HWND window, const QString& html = QString(), const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, StringResourceId text, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, const QString& text, HICON icon, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(
        HWND window, const QString& text, IconResourceId icon, SIZE size, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, const QString& text, BitmapResourceId bitmap, COLORREF mask, SIZE size,
        const RECT* rect = nullptr, UINT toolId = 0);
    void RemoveTool(HWND window, const RECT* rect = nullptr);
    void RemoveAllTools();
    BOOL GetToolInfo(HTMLTOOLINFO* out, HWND window, UINT toolId) const;
    BOOL GetToolInfo(HTMLTOOLINFO* out, HWND window, const RECT& rect) const;
    void UpdateTipText(const QString& html, HWND window, UINT toolId = 0);
    void DelTool(HWND window, UINT toolId = 0);
    void SetToolRect(HWND window, UINT toolId, const RECT& rect);
    // The toolbar's buttons become tools; its own tooltips are switched off once.
    void AddToolBar(HWND toolBar);

    // Hit tests: the toolbar button under a screen point, the tool under a point in the parent's
    // client coordinates, and the tool of one window at a screen point.
    HWND FindToolBarItem(POINT screenPoint, HTMLTOOLINFO* out) const;
    HWND FindTool(POINT parentPoint, HTMLTOOLINFO* out) const;
    HWND FindToolWindow(POINT parentPoint, HTMLTOOLINFO* out, BOOL enabledOnly) const;
    BOOL FindToolInWindow(HWND window, POINT screenPoint, HTMLTOOLINFO* out) const;
    // The window description of the window-info mode, escaped so window texts stay text.
    QString GetWindowInfoHtml(POINT parentPoint) const;

    // One message of the owner's loop; never consumed (always FALSE).
    BOOL RelayEvent(const MSG* msg);
    // Shows the HTML at the screen point at once and keeps it there, without autopop and without
    // mouse tracking, until it is hidden.
    void ShowTooltipAt(POINT screenPoint, const QString& html, HICON icon = nullptr);
    void ShowTooltipAt(POINT screenPoint, StringResourceId text, HICON icon = nullptr);
    void ShowTooltipAt(POINT screenPoint, const QString& text, IconResourceId icon, SIZE size);
    void ShowTooltipAt(POINT screenPoint, StringResourceId text, IconResourceId icon, SIZE size);
    // The HTML with the texts of its links shortened where the tip would be wider than the
    // virtual screen it is placed on (see FitLinkTexts); unchanged when it fits.
    QString FitLinksToScreen(const QString& html);
    // Fading in or shown: the hide step (a fade-out, or hidden at once); otherwise nothing.
    void HideTooltip();
    // Hidden at once, without a fade.
    void Pop();

    int GetState() const { return m_nState; }
    int GetCurrentTransparency() const { return m_nTransparency; }
    CHtmlRenderer& GetRenderer() { return m_renderer; }

    // What the last ShowTooltipAt showed and where, for the owner's tests.
    QString m_strLastShownText;
    POINT m_ptLastShown {};

protected:
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
    LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSetCursor(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnActivateApp(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnRepaintWindow(UINT, WPARAM, LPARAM, BOOL&);

    // The show cycle.
    void OnMouseMove(POINT screenPoint);
    void SetNewTooltip(HWND toolWindow, const HTMLTOOLINFO& tool, BOOL delay, int mode);
    void OnTimerShow();
    void OnTimerFadeIn();
    void OnTimerHide();
    void OnTimerFadeOut();
    void OnTimerAnimation();
    void SetAutoPopTimer();
    void KillTimers(UINT_PTR id = 0);
    bool IsCursorOverTip() const;
    void ForgetDisplayedTool();
    void ApplyDefaults(HTMLTOOLINFO& tool) const;

    // Placement and painting.
    void DisplayTooltip(POINT point);
    void OnRedrawTooltip(HDC dc, int transparency);
    void OutputTooltipOnScreen(POINT point);
    virtual void DrawBorder(HDC dc, HRGN region);
    void FreeTooltipBitmaps();
    HtmlTipSizes Sizes() const;
    // The screen the tip is placed on: the virtual screen (the primary one without its metrics).
    static RECT VirtualScreen();

    CHtmlRenderer m_renderer;
    CHtmlToolRegistry m_tools;
    HWND m_hParentWnd = nullptr;
    HWND m_hNotifyWnd = nullptr;
    BOOL m_bRepaintOnHover = TRUE;
    BOOL m_bWindowInfoMode = FALSE;
    POINT m_ptLastCursor {};

    HWND m_hDisplayedTool = nullptr;
    int m_nDisplayedMode = 0;
    HTMLTOOLINFO m_displayed;
    BOOL m_bQueued = FALSE;
    BOOL m_bQueuedWithDelay = FALSE;
    HWND m_hQueuedTool = nullptr;
    int m_nQueuedMode = 0;
    HTMLTOOLINFO m_queued;

    int m_nState = STATE_HIDDEN;
    int m_nTransparency = 0;

    COLORREF m_clrBegin = 0;
    COLORREF m_clrMid = 0;
    COLORREF m_clrEnd = 0;
    int m_nDefEffect = 0;
    BYTE m_nDefGranularity = 0;
    int m_nDefDirection = 16;
    UINT m_nDefBehaviour = 0;
    int m_nDefStyle = 0;
    BYTE m_nDefTransparency = 0;
    int m_nAutoPop = 5000;
    int m_nInitial = 500;
    int m_nFadeIn = 0;
    int m_nFadeOut = 0;

    HBRUSH m_hBorderBrush = nullptr;
    int m_nBorderWidth = 1;
    int m_nBorderHeight = 1;
    int m_nShadowX = 6;
    int m_nShadowY = 6;
    BYTE m_nShadowDarkness = 50;
    BOOL m_bShadowSoft = TRUE;
    int m_nShadowBlurX = 7;
    int m_nShadowBlurY = 7;
    int m_sizes[SIZE_COUNT] {};

    // The current showing: geometry in window coordinates and the drawing objects.
    int m_nFinalDirection = 16;
    RECT m_rcText {};
    RECT m_rcBody {};
    RECT m_rcWindow {}; // grows by the shadow offsets once the window is placed
    POINT m_ptAnchor {};
    HRGN m_hTipRegion = nullptr;
    HBITMAP m_hTipBitmap = nullptr;
    HBITMAP m_hBackdrop = nullptr;
};
