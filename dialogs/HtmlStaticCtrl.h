// A static control taken over to show marked-up text: the HTML renderer draws the text double
// buffered over a patterned background, links light up and show the hand while the pointer is on
// them, and a click on a link goes to the renderer (an address opens in the browser, a message
// link reaches the dialog as WM_TOOLTIP_HYPERLINK).
#pragma once

#include "Controls/HtmlRenderer.h"
#include "platform/ui/AtlWin.h"

#include <QString>

class CHtmlStaticCtrl : public CWindowImpl<CHtmlStaticCtrl> {
public:
    CHtmlStaticCtrl();
    ~CHtmlStaticCtrl() override;
    CHtmlStaticCtrl(const CHtmlStaticCtrl&) = delete;
    CHtmlStaticCtrl& operator=(const CHtmlStaticCtrl&) = delete;

    BEGIN_MSG_MAP(CHtmlStaticCtrl)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_HTML_REPAINT, OnHtmlRepaint)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    DEFAULT_REFLECTION_HANDLER()
    END_MSG_MAP()

    // Once the control is attached: hover changes come back here, message links go to the parent.
    BOOL Init();
    // Draws background and text in one copy onto dc; null: the control's own device context.
    void DrawHtml(HDC dc);

    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnHtmlRepaint(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled);
    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& handled);

    HBITMAP m_hBackground = nullptr; // the client area's size; made at the first paint after a resize
    RECT m_rcHtml { 0, 0, 0, 0 }; // where the text is drawn, client coordinates
    QString m_strHtml;
    CHtmlRenderer m_renderer;

private:
    POINT CursorInClient() const;
};
