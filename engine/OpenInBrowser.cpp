#include "engine/OpenInBrowser.h"

#include "core/Globals.h"
#include "core/InternetUtils.h"
#include "core/prefs/Preferences.h"
#include "platform/shell/CommandLine.h"
#include "platform/shell/Launch.h"
#include "platform/ui/WinUser.h"

bool OpenInUserBrowser(HWND hWnd, const QString& address, BOOL newWindow)
{
    if (address.isEmpty())
        return false;
    if (g_prefs.GetParam("UseDefaultBrowser")->GetBool())
        return GotoURL(hWnd, address, newWindow, SW_SHOWDEFAULT) > 32;
    QStringList argv = taluvo::shell::SplitCommandLine(g_prefs.GetParam("UserBrowserPath")->GetString());
    return !argv.isEmpty() && taluvo::shell::IsSafeAddressArgument(address) && taluvo::shell::RunProgram(argv << address);
}
