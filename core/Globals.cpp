#include "core/Globals.h"

#include "core/Mutex.h"

CMutex g_dbMutex;
CListener* g_pListener = nullptr;
std::atomic<HWND> g_hMainWnd { nullptr };
