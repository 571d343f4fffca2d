// The holder of internet handles and the program's one internet session.
#pragma once

#include "core/AutoHandle.h"
#include "platform/inet/WinInet.h"

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Empty() { return nullptr; }
    static BOOL Close(Handle h) { return InternetCloseHandle(h); }
};

using CInternetHandle = CHandleHolder<InternetHandleTraits>;

// The session every page check fetches through; opened and closed by the main window.
extern CInternetHandle g_hInternet;
