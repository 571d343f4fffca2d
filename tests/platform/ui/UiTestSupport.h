// The application object the user-interface tests run in (offscreen), made once per process.
#pragma once

#include "platform/ui/Application.h"

namespace taluvo::test {

inline int g_uiArgc = 1;
inline char g_uiName[] = "taluvo-ui-tests";
inline char* g_uiArgv[] = { g_uiName, nullptr };
inline taluvo::ui::CUiApplication* g_uiApp = nullptr;

// Made outside any function-local static: a thread sanitizer stops tracking synchronisation
// inside a static initialiser, and the message queues are born here.
inline void EnsureUiApplication()
{
    if (!g_uiApp)
        g_uiApp = new taluvo::ui::CUiApplication(g_uiArgc, g_uiArgv);
}

} // namespace taluvo::test
