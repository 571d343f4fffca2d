// The HTML tooltip window: a top-most popup that shows marked-up text beside the cursor, the tray
// icon or a toolbar button, with links that report to a window.
//
// Not built yet: the window exists (so its owner can create it and test its style), but it shows
// nothing and relays nothing; its settings are kept for the day it draws.
#pragma once

#include "Controls/HtmlRecords.h"
#include "Controls/HtmlToolInfo.h"
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
    DECLARE_WND_CLASS(u"TaluvoHtmlToolTip")

    CHtmlToolTip() = default;
    ~CHtmlToolTip() override;

    BEGIN_MSG_MAP(CHtmlToolTip)
    END_MSG_MAP()

    // The tooltip's popup window, owned by owner; null on failure.
    HWND Create(HWND owner, BOOL balloon = FALSE);
    void SetBackgroundEffect(int effect, int granularity);
    void SetBackgroundColors(COLORREF begin, COLORREF middle, COLORREF end);
    void SetBorder(COLORREF color, int width, int height);
    void SetTransparency(int percent);
    void SetShadow(int offsetX, int offsetY, int darkness, BOOL soft, int blurWidth, int blurHeight);
    void SetCallbackHyperlink(HWND window, UINT message, LPARAM lParam = 0);
    void SetDelayTime(DWORD type, int milliseconds);
    void AddTool(HWND window, const QString& text = QString(), const RECT* rect = nullptr, UINT_PTR toolId = 0);
    void SetNotifyWindow(HWND window);
    void SetBehaviourFlags(DWORD flags);
    void AddToolBar(HWND toolBar);
    void SetDirection(int direction);
    void RelayEvent(MSG* msg);
    void ShowTooltipAt(POINT screenPoint, const QString& text, HICON icon = nullptr);
    void HideTooltip();

    // What the last ShowTooltipAt asked for, so the owner's tests can see where a popup landed.
    QString m_strLastShownText;
    POINT m_ptLastShown {};
};
