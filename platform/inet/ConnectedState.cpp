#include "platform/base/KernelObjects.h"
#include "platform/inet/WinInet.h"
#include "platform/shell/OnlineState.h"

BOOL InternetGetConnectedState(LPDWORD lpdwFlags, DWORD dwReserved)
{
    const taluvo::shell::OnlineState state = taluvo::shell::GetOnlineState();
    DWORD flags = 0;
    if (state.lan)
        flags |= INTERNET_CONNECTION_LAN;
    else if (state.pointToPointUp > 0)
        flags |= INTERNET_CONNECTION_MODEM;
    if (state.pointToPointPresent)
        flags |= INTERNET_RAS_INSTALLED;
    if (lpdwFlags)
        *lpdwFlags = flags;
    return (flags & (INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_MODEM)) ? TRUE : FALSE;
}
