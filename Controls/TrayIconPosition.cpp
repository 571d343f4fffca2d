#include "Controls/TrayIconPosition.h"

void CTrayIconPosition::TrackIcon(HWND owner, UINT iconId)
{
    m_hOwner = owner;
    m_uIconId = iconId;
}

int CTrayIconPosition::LocateIcon(POINT&, int, BOOL)
{
    return m_hOwner ? 0 : -1;
}

void CTrayIconPosition::RestoreIconImage(HICON) { }
