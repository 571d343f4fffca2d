#include "Network/MessageHandler.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/prefs/Preferences.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/UserApi.h"

#include <cstring>
#include <mutex>

TRACE_MODULE("CMessageHandler");

namespace {

// One add request at a time, from every connection of every server: the clipboard and the main
// window's dialogs serve one page. Never destroyed, so a handler let go at shutdown can still
// release it.
CMutex& RequestLock()
{
    static CMutex* lock = new CMutex;
    return *lock;
}

void WriteHeader(BYTE* block, DWORD type, DWORD param)
{
    std::memset(block, 0, MSGSIZE);
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<BYTE>((type >> (8 * i)) & 0xFF);
        block[4 + i] = static_cast<BYTE>((param >> (8 * i)) & 0xFF);
    }
}

} // namespace

LRESULT CToolbarHandOffWnd::OnHandOff(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    const QByteArray* url = reinterpret_cast<const QByteArray*>(lParam);
    if (!url || !OpenClipboard(nullptr))
        return 0;
    BOOL stored = FALSE;
    EmptyClipboard();
    // The address and its NUL, as the toolbar sent them.
    const size_t size = static_cast<size_t>(url->size()) + 1;
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)) {
        if (void* bytes = GlobalLock(block)) {
            std::memcpy(bytes, url->constData(), size - 1);
            GlobalUnlock(block);
            stored = SetClipboardData(CF_TEXT, block) ? TRUE : FALSE;
        }
        if (!stored)
            GlobalFree(block);
    }
    CloseClipboard();
    return stored;
}

CMessageHandler::CMessageHandler(int type, SOCKET sock, WORD port, CListener* server)
    : CPerfSocket(type, port)
    , m_pServer(server ? server : g_pListener)
{
    TRACE_SCOPE(u"CMessageHandler::CMessageHandler");
    if (sock != INVALID_SOCKET)
        AdoptConnection(sock);
}

CMessageHandler::~CMessageHandler()
{
    TRACE_SCOPE(u"CMessageHandler::~CMessageHandler");
    StopAndJoin();
}

void CMessageHandler::AdoptConnection(SOCKET sock)
{
    m_sock = sock;
    MarkHeard();
    // Non-blocking from the start: a toolbar that reads nothing must never hold a thread that
    // sends to it, least of all one that holds the server's lock.
    taluvo::net::WSAEventSelect(sock, m_hSocketEvent, 0);
    // The answers are small messages written one after another: waiting to fill a segment would
    // hold each behind the toolbar's delayed acknowledgement.
    const int noDelay = 1;
    taluvo::net::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    ReportConnection(sock);
}

void CMessageHandler::Run()
{
    TRACE_SCOPE(u"CMessageHandler::Run");
    if (m_type != TYPE_TCP)
        return;
    // However the loop ends, an exception of any kind included, the handler leaves the server's
    // list before it can be destroyed, the toolbar sees the connection closed at once, and what
    // it held is given back now.
    struct Disconnect {
        CMessageHandler& handler;
        ~Disconnect()
        {
            handler.OnDisconnect();
            handler.Close();
            handler.ReleaseBuffers();
        }
    } disconnect { *this };
    OnConnect();
    m_bGreeted.store(true);
    ReceiveTCPPackets(-1);
}

void CMessageHandler::Stop()
{
    TRACE_SCOPE(u"CMessageHandler::Stop");
    SignalStop();
    CWorkerThread::Stop();
}

BOOL CMessageHandler::Abandon()
{
    std::lock_guard<std::mutex> guard(m_serverLink);
    m_pServer = nullptr;
    if (m_bExited)
        return FALSE;
    m_bAbandoned = true;
    return TRUE;
}

bool CMessageHandler::HasEnded()
{
    if (IsStopped())
        return true;
    std::lock_guard<std::mutex> guard(m_serverLink);
    return m_bExited;
}

void CMessageHandler::OnExit()
{
    // Decided under the link, on the handler's own thread, before the thread reads the flag.
    std::lock_guard<std::mutex> guard(m_serverLink);
    m_bExited = true;
    if (m_bAbandoned)
        m_bAutoDelete = TRUE;
    else if (m_pServer)
        m_pServer->HandlerEnded();
}

void CMessageHandler::OnConnect()
{
    TRACE_SCOPE(u"CMessageHandler::OnConnect");
    WithServer([this](CListener& server) {
        // The list is read before the server's lock is taken, so that a wait for another
        // program's lock holds up no other toolbar and no broadcast. Listed and greeted under the
        // lock: no broadcast can reach this toolbar before its groups list, and the handler is
        // listed before it can ever disconnect. A list sent to all while this one was read may
        // be newer: it is read again, so a toolbar never gets an older list after a newer one.
        for (;;) {
            const uint64_t sentBefore = server.GroupsListsSent();
            const QByteArray message = server.GetGroupsData([this] { return IsStopSignalled() != FALSE; });
            CMutexLocker serverLock(server.m_lock);
            if (server.GroupsListsSent() != sentBefore && !IsStopSignalled())
                continue;
            server.AddHandler(this);
            if (!message.isNull()) {
                CMutexLocker ownLock(m_lock);
                Send(message.constData(), static_cast<DWORD>(message.size()));
            }
            return;
        }
    });
}

void CMessageHandler::OnDisconnect()
{
    TRACE_SCOPE(u"CMessageHandler::OnDisconnect");
    WithServer([this](CListener& server) {
        CMutexLocker serverLock(server.m_lock);
        server.DeleteHandler(this);
    });
}

BOOL CMessageHandler::OnMessage(const SMessage* msg)
{
    if (!msg)
        return FALSE;
    switch (msg->type) {
    case MSG_REQ_ADD_URL:
        return MSG_REQ_ADD_URL_Handler(msg);
    case MSG_NOP:
        return TRUE;
    default:
        return FALSE;
    }
}

void CMessageHandler::SetWorkMode(DWORD mode)
{
    CMutexLocker prefsLock(g_prefs.m_mutex);
    g_prefs.GetParam(kWorkMode)->SetInt(static_cast<INT>(mode));
}

void CMessageHandler::SendWorkModeToAll(DWORD mode)
{
    BYTE block[MSGSIZE];
    WriteHeader(block, MSG_WORK_MODE, mode);
    WithServer([&block](CListener& server) {
        CMutexLocker serverLock(server.m_lock);
        server.SendToAll(block, MSGSIZE);
    });
}

void CMessageHandler::Respond(BOOL added)
{
    BYTE block[MSGSIZE];
    WriteHeader(block, MSG_RESP_ADD_URL, added ? 1 : 0);
    CMutexLocker ownLock(m_lock);
    Send(block, MSGSIZE);
}

BOOL CMessageHandler::HandOverToMainWindow(const QByteArray& url, WORD group)
{
    // No request reaches a main window that is going away with the server.
    HWND handOffWnd = nullptr;
    WithServer([&handOffWnd](CListener& server) { handOffWnd = server.m_hHandOffWnd; });
    const HWND hMainWnd = g_hMainWnd.load();
    if (!IsWindow(hMainWnd) || IsStopSignalled()
        || SendMessage(handOffWnd, CToolbarHandOffWnd::WM_TOOLBAR_HANDOFF, 0, reinterpret_cast<LPARAM>(&url)) != 1)
        return FALSE;
    TRACE1(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. \"%hs\" added to clipboard.\r\n", url);
    // The user sees this request: the connection is a toolbar of the user's, whatever it says.
    m_bRequestReachedUser.store(true);
    const LRESULT result = SendMessage(hMainWnd, WM_COMMAND, MAKEWPARAM(kPageAddCommand, group), TOOLBAR_REQUEST_TAG);
    const BOOL added = result == 1 ? TRUE : FALSE;
    TRACE1(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Page add result: %s\r\n", added ? u"SUCCESS" : u"FAIL");
    return added;
}

// Holds the process-wide request turn from construction to destruction.
class CMessageHandler::RequestTurn {
public:
    // Waits for another toolbar's request to finish, but not past the handler's stop.
    explicit RequestTurn(CMessageHandler& handler)
    {
        while (!(m_bHeld = RequestLock().Lock(100) != FALSE))
            if (handler.IsStopSignalled())
                return;
    }
    ~RequestTurn()
    {
        if (m_bHeld)
            RequestLock().Unlock();
    }
    RequestTurn(const RequestTurn&) = delete;
    RequestTurn& operator=(const RequestTurn&) = delete;
    bool IsHeld() const { return m_bHeld; }

private:
    bool m_bHeld = false;
};

// The work mode is off (the toolbars hold their requests) for as long as it lives: whatever ends
// the request, an exception of any kind included, the setting and the toolbars are given back
// wmActive.
class CMessageHandler::WorkModeOff {
public:
    // The setting only: once it is changed the guard exists, and a failing send to the toolbars
    // is undone like anything after it.
    explicit WorkModeOff(CMessageHandler& handler)
        : m_handler(handler)
    {
        m_handler.SetWorkMode(wmDisable);
    }
    ~WorkModeOff()
    {
        try {
            m_handler.SetWorkMode(wmActive);
        } catch (CCmnException& e) {
            TRACE0(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Exception: %s\r\n", e.GetMessage());
        } catch (const std::exception& e) {
            TRACE0(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Exception: %hs\r\n", e.what());
        }
        try {
            m_handler.SendWorkModeToAll(wmActive);
            TRACE1(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Send to all \"wmActive\".\r\n");
        } catch (...) {
            TRACE0(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. \"wmActive\" could not be sent to all.\r\n");
        }
    }
    WorkModeOff(const WorkModeOff&) = delete;
    WorkModeOff& operator=(const WorkModeOff&) = delete;

private:
    CMessageHandler& m_handler;
};

BOOL CMessageHandler::MSG_REQ_ADD_URL_Handler(const SMessage* msg)
{
    TRACE_SCOPE(u"CMessageHandler::MSG_REQ_ADD_URL_Handler");
    BOOL added = FALSE;
    try {
        const BYTE* lpszUrl = msg->payloadLength > 0 ? msg->payload : nullptr;
        if (!lpszUrl) {
            // A toolbar waiting for its answer gets one, also for a request it got wrong.
            Respond(FALSE);
            FAIL_CHECK(lpszUrl, QStringLiteral("Url in NULL."));
        }
        // The address ends at its NUL, or at the payload's end when the toolbar sent none.
        const char* text = reinterpret_cast<const char*>(lpszUrl);
        const QByteArray url(text, static_cast<qsizetype>(strnlen(text, msg->payloadLength)));
        TRACE1(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. \"%hs\"\r\n", url);
        if (url.isEmpty()) {
            Respond(FALSE);
            FAIL_CHECK(!url.isEmpty(), QStringLiteral("Url is empty."));
        }

        // Another toolbar's request may be with the main window: wait for it.
        const RequestTurn turn(*this);
        if (!turn.IsHeld())
            return FALSE;
        const WorkModeOff workModeOff(*this);
        TRACE1(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Send to all \"wmDisable\".\r\n");
        SendWorkModeToAll(wmDisable);
        added = HandOverToMainWindow(url, LOWORD(msg->param));
        Respond(added);
    } catch (CCmnException& e) {
        TRACE0(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Exception: %s\r\n", e.GetMessage());
    } catch (const std::exception& e) {
        // Out of memory, say: this request fails, the connection goes on.
        TRACE0(u"CMessageHandler::MSG_REQ_ADD_URL_Handler. Exception: %hs\r\n", e.what());
    }
    return added;
}
