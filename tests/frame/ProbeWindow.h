// The main window of a probe on a real X server, made over the database of the program folder.
#pragma once

#include "core/Globals.h"
#include "frame/mainfrm.h"
#include "res/resource.h"

#include <cstdio>

// Registers the loop, creates the window at its usual size and shows it: 0, or the probe's exit
// code 4 when the window was not created.
inline int ShowProbeWindow(CMessageLoop& loop, CMainFrame& frame)
{
    taluvo::res::RegisterResources();
    _Module.AddMessageLoop(&loop);
    RECT rect { 0, 0, 640, 450 };
    g_hMainWnd = frame.CreateEx(GetDesktopWindow(), &rect);
    if (!g_hMainWnd) {
        std::printf("main window not created\n");
        return 4;
    }
    frame.ShowWindow(SW_SHOW);
    return 0;
}
