// The tooltip's tool record: what one tool shows, and the display settings it overrides.
#pragma once

#include "platform/ui/WinUser.h"

#include <QString>

struct HTMLTOOLINFO {
    UINT nID = 0; // tool id; a toolbar button's command id
    RECT rcBounds {}; // client coordinates of the tool's window; empty: the whole window
    QString strHtml; // empty: nothing is shown
    UINT nMask = 0; // which of the fields below the tool sets itself
    int nStyle = 0;
    int nDirection = 0;
    int nEffect = 0;
    UINT nBehaviour = 0;
    BYTE nGranularity = 0;
    BYTE nTransparency = 0;
    COLORREF clrBegin = 0;
    COLORREF clrMid = 0;
    COLORREF clrEnd = 0;
};
