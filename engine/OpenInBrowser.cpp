#include "engine/OpenInBrowser.h"

#include "core/Globals.h"
#include "core/InternetUtils.h"
#include "core/prefs/Preferences.h"
#include "platform/base/Process.h"
#include "platform/shell/CommandLine.h"
#include "platform/shell/Launch.h"
#include "platform/ui/WinUser.h"

bool OpenInUserBrowser(HWND hWnd, const QString& address, BOOL newWindow)
{
    if (!taluvo::shell::IsWebAddress(address))
        return false;
    if (g_prefs.GetParam(kUseDefaultBrowser)->GetBool())
        return GotoURL(hWnd, address, newWindow, SW_SHOWDEFAULT) > 32;
    const QString setting = g_prefs.GetParam(kUserBrowserPath)->GetString();
    // A setting that names a file is that program, whole: a path chosen with Browse may hold
    // blanks. Anything else is a command line, the program followed by arguments of its own.
    QStringList argv
        = taluvo::RegularFileExists(setting) ? QStringList { setting } : taluvo::shell::SplitCommandLine(setting);
    return !argv.isEmpty() && taluvo::shell::RunProgram(argv << address);
}
