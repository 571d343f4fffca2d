// Finds where the tray icon sits on the screen, so the alert popup can be placed beside it.
//
// Not built yet: it stores the icon to track and reports no position.
#pragma once

#include "platform/ui/UserApi.h"

class CTrayIconPosition {
public:
    CTrayIconPosition() = default;
    ~CTrayIconPosition() = default;

    void TrackIcon(HWND owner, UINT iconId);
    // Nonzero when a point was found (-1 when no icon is tracked), 0 otherwise.
    int LocateIcon(POINT& point, int method = 0, BOOL pixelScan = FALSE);
    void RestoreIconImage(HICON icon);

private:
    HWND m_hOwner = nullptr;
    UINT m_uIconId = 0;
};
