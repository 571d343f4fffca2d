// The toolbar server's start and stop: browser toolbars reach the program on 127.0.0.1:6790.
#include "frame/mainfrm.h"

#include "Network/Listener.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"

TRACE_MODULE("CMainFrame");

namespace {

constexpr WORD kToolbarServerPort = 6790;

} // namespace

void StartToolbarServer()
{
    // The server's own failures (a port in use, for one) arrive as CCmnException with their text.
    g_pListener = new CListener("127.0.0.1", 0, kToolbarServerPort);
    FAIL_CHECK(g_pListener, QStringLiteral("Unable to create toolbars server."));
    FAIL_CHECK(g_pListener->Start(), QStringLiteral("Unable to start toolbars server."));
}

void StopToolbarServer()
{
    if (!g_pListener)
        return;
    g_pListener->SignalStop();
    g_pListener->Close();
    g_pListener->Wait(INFINITE);
    delete g_pListener;
    g_pListener = nullptr;
}

void TellToolbarsGroups()
{
    // The server's mutex before the database lock, which the server takes itself to read the list;
    // a failed send is the server's business.
    if (!g_pListener)
        return;
    CMutexLocker lock(g_pListener->m_lock);
    g_pListener->SentToAllGroupsData();
}
