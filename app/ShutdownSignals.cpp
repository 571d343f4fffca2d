#include "app/ShutdownSignals.h"

#include "core/Globals.h"
#include "platform/shell/ShutdownSignals.h"
#include "platform/ui/UserApi.h"

namespace {

void CloseMainWindow()
{
    taluvo::ui::EndAllModalLoops();
    const HWND hMainWnd = g_hMainWnd.load();
    if (hMainWnd && IsWindow(hMainWnd))
        PostMessage(hMainWnd, WM_CLOSE, 0, 0);
}

} // namespace

namespace taluvo::app {

void ListenForShutdownSignals()
{
    taluvo::shell::ListenForShutdownSignals(CloseMainWindow);
}

} // namespace taluvo::app
