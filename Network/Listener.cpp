#include "Network/Listener.h"

#include "Network/MessageHandler.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/db/Database.h"
#include "core/db/RowIds.h"
#include "core/db/ThreadConnection.h"
#include "core/prefs/Preferences.h"
#include "platform/base/Process.h"
#include "platform/ui/UserApi.h"

#include <algorithm>
#include <chrono>

TRACE_MODULE("CListener");

namespace {

void WriteLe32(char* bytes, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Accept failures that say nothing about the listening socket itself: the server goes on.
bool IsPassingAcceptFailure(int error)
{
    switch (error) {
    case WSAECONNABORTED:
    case WSAECONNRESET:
    case WSAEINTR:
    case WSAEMFILE:
    case WSAENOBUFS:
        return true;
    default:
        return false;
    }
}

} // namespace

CListener::CListener(const char* localhost, int type, WORD port)
    : CPerfSocket(type, port)
{
    TRACE_SCOPE(u"CListener::CListener");
    if (localhost)
        m_pLocalhost = QByteArray(localhost);
    Listen(localhost ? m_pLocalhost.constData() : nullptr, nullptr);
    ReportServerSettings(localhost ? m_pLocalhost.constData() : nullptr);
    m_hHandlerEnded = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    FAIL_CHECK(m_hHandlerEnded, QStringLiteral("CListener::CListener. Unable to create the handler end event."));
    if (taluvo::ui::IsUiThread()) {
        m_pHandOffWnd = std::make_unique<CToolbarHandOffWnd>();
        m_hHandOffWnd = m_pHandOffWnd->Create(nullptr);
    }
}

CListener::~CListener()
{
    TRACE_SCOPE(u"CListener::~Listener");
    SignalStop();
    Close();
    {
        CMutexLocker lock(m_lock);
        ClearHandlers();
    }
    // Windows belong to the user-interface thread; the main window deletes the server there.
    if (m_pHandOffWnd && taluvo::ui::IsUiThread())
        m_pHandOffWnd->DestroyWindow();
    else
        static_cast<void>(m_pHandOffWnd.release());
    m_hHandOffWnd = nullptr;
    if (m_hHandlerEnded)
        CloseHandle(m_hHandlerEnded);
    m_hHandlerEnded = nullptr;
}

WORD CListener::GetListeningPort() const
{
    return GetLocalAddress().GetPort();
}

size_t CListener::GetHandlerCount()
{
    CMutexLocker lock(m_lock);
    return m_handlers.size();
}

void CListener::Run()
{
    TRACE_SCOPE(u"CListener::Run");
    if (m_type == TYPE_UDP)
        return;
    // The accept loop waits for a connection, a handler's end or the stop; it never waits for a
    // handler to start, so a crowd of connections cannot hold up the next toolbar.
    {
        CMutexLocker lock(m_lock);
        if (taluvo::net::WSAEventSelect(m_sock, m_hSocketEvent, FD_ACCEPT) == SOCKET_ERROR) {
            TRACE0(u"CListener::Run. WSAEventSelect failed. Error: %d.\r\n", WSAGetLastError());
            return;
        }
    }
    DWORD backOffMs = INFINITE;
    while (!IsStopSignalled()) {
        // Waiting connections come before ended handlers: a wait reports the first event that is
        // set, and with handlers ending all the time (a crowd coming and going) the connections
        // would otherwise wait in the system's queue. Each accept reaps as well.
        const HANDLE events[3] = { m_hCloseEvent, m_hSocketEvent, m_hHandlerEnded };
        const DWORD woken = WaitForMultipleObjects(3, events, FALSE, backOffMs);
        if (IsStopSignalled() || woken == WAIT_FAILED)
            break;
        if (woken == WAIT_OBJECT_0 + 2) {
            ResetEvent(m_hHandlerEnded);
            ReapHandlers();
            continue;
        }
        backOffMs = INFINITE;
        WSANETWORKEVENTS network {};
        {
            CMutexLocker lock(m_lock);
            if (taluvo::net::WSAEnumNetworkEvents(m_sock, m_hSocketEvent, &network) == SOCKET_ERROR)
                break;
        }
        // Every connection waiting now is taken, one after another.
        for (;;) {
            const SOCKET sock = Accept();
            if (sock == INVALID_SOCKET) {
                const int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK)
                    break;
                if (IsStopSignalled() || !IsPassingAcceptFailure(error))
                    return;
                // Out of descriptors, for instance: the server goes on and tries again a little
                // later; the connection stays queued meanwhile.
                TRACE0(u"CListener::Run. accept failed. Error: %d.\r\n", error);
                ReapHandlers();
                backOffMs = 100;
                break;
            }
            if (IsStopSignalled()) {
                taluvo::net::closesocket(sock);
                return;
            }
            ServeConnection(sock);
        }
    }
}

void CListener::ServeConnection(SOCKET sock)
{
    TRACE1(u"[%3d] CListener::Run. Accepted new connection.\r\n", sock);
    // Before anything is made room for it: another user's crowd cannot push out a toolbar.
    if (!IsFromThisUser(sock)) {
        taluvo::net::closesocket(sock);
        return;
    }
    const size_t serving = ReapHandlers();
    // Short of descriptors, the server makes room as when it is full. The one it closes gives its
    // descriptors back only when its thread ends, so below half the reserve nothing new comes in.
    const size_t descriptorsLeft = taluvo::DescriptorsLeft();
    if (descriptorsLeft < kReservedDescriptors / 2 || (descriptorsLeft < kReservedDescriptors && !MakeRoom())) {
        TRACE0(u"CListener::Run. [%3d] Too few descriptors are left for the rest of the program; the new "
               u"connection is closed.\r\n",
            sock);
        taluvo::net::closesocket(sock);
        return;
    }
    if (descriptorsLeft >= kReservedDescriptors && serving >= m_nMaxConnections && !MakeRoom()) {
        TRACE0(u"CListener::Run. [%3d] %d connections are served already; the new one is closed.\r\n", sock,
            static_cast<int>(serving));
        taluvo::net::closesocket(sock);
        return;
    }
    bool owned = false; // once a handler holds the socket, it closes it
    try {
        std::unique_ptr<CMessageHandler> handler = MakeHandler();
        FAIL_CHECK(handler, QStringLiteral("Unable to create message handler"));
        owned = true;
        handler->m_dwIncompleteFrameLimitMs = m_dwIncompleteFrameMs;
        handler->AdoptConnection(sock);
        CMessageHandler* started = handler.get();
        {
            std::lock_guard<std::mutex> guard(m_ownedLock);
            m_owned.push_back(std::move(handler));
        }
        if (!started->Start()) {
            std::unique_ptr<CMessageHandler> failed;
            {
                std::lock_guard<std::mutex> guard(m_ownedLock);
                failed = std::move(m_owned.back());
                m_owned.pop_back();
            }
            FAIL_CHECK(false, QStringLiteral("Unable to start handler thread."));
        }
    } catch (CCmnException& e) {
        TRACE0(u"CListener::Run. [%3d] initialize connection error. %s\n", sock, e.GetMessage());
        if (!owned)
            taluvo::net::closesocket(sock);
    } catch (const std::exception& e) {
        TRACE0(u"CListener::Run. [%3d] initialize connection error. %hs\n", sock, e.what());
        if (!owned)
            taluvo::net::closesocket(sock);
    }
}

std::unique_ptr<CMessageHandler> CListener::MakeHandler()
{
    return std::make_unique<CMessageHandler>(TYPE_TCP, INVALID_SOCKET, 0, this);
}

void CListener::HandlerEnded()
{
    if (m_hHandlerEnded)
        SetEvent(m_hHandlerEnded);
}

size_t CListener::ReapHandlers()
{
    std::vector<std::unique_ptr<CMessageHandler>> ended;
    size_t left;
    {
        std::lock_guard<std::mutex> guard(m_ownedLock);
        auto keep = std::stable_partition(
            m_owned.begin(), m_owned.end(), [](const std::unique_ptr<CMessageHandler>& h) { return !h->HasEnded(); });
        std::move(keep, m_owned.end(), std::back_inserter(ended));
        m_owned.erase(keep, m_owned.end());
        left = static_cast<size_t>(std::count_if(m_owned.begin(), m_owned.end(),
            [](const std::unique_ptr<CMessageHandler>& h) { return !h->m_bMakingRoom; }));
    }
    // Destroyed outside the lock: each joins a thread that is past its work.
    return left;
}

bool CListener::MakeRoom()
{
    CMessageHandler* chosen = nullptr;
    bool chosenKept = true;
    int64_t chosenHeard = 0;
    {
        std::lock_guard<std::mutex> guard(m_ownedLock);
        // In the order they were accepted, so of two heard from at the same moment the later goes.
        for (const auto& handler : m_owned) {
            if (handler->m_bMakingRoom || handler->HasEnded())
                continue;
            const bool kept = handler->IsKeptWhenMakingRoom();
            const int64_t heard = handler->LastHeard();
            if (!chosen || (chosenKept && !kept) || (kept == chosenKept && heard >= chosenHeard)) {
                chosen = handler.get();
                chosenKept = kept;
                chosenHeard = heard;
            }
        }
    }
    if (!chosen)
        return false;
    // Only this thread destroys handlers, so the one chosen lives on outside the lock.
    TRACE0(u"CListener::Run. The connection heard from most recently (0x%p) is closed to make room.\r\n", chosen);
    chosen->m_bMakingRoom = true;
    chosen->Stop();
    CMutexLocker lock(chosen->m_lock);
    const SOCKET sock = chosen->m_sock;
    if (sock != INVALID_SOCKET)
        taluvo::net::shutdown(sock, SD_BOTH);
    return true;
}

taluvo::net::SPeerOwner CListener::LookUpPeerOwner(SOCKET sock)
{
    return taluvo::net::LookUpPeerOwner(sock);
}

bool CListener::IsFromThisUser(SOCKET sock)
{
    // The port is open to every process of the machine; the toolbar is the user's own browser.
    const taluvo::net::SPeerOwner owner = LookUpPeerOwner(sock);
    switch (owner.verdict) {
    case taluvo::net::EPeerOwner::Own:
        return true;
    case taluvo::net::EPeerOwner::Foreign:
        TRACE0(u"CListener::Run. [%3d] The connection comes from a process of user %u, not of this program's user; "
               u"it is refused.\r\n",
            sock, owner.uid.value_or(0));
        return false;
    case taluvo::net::EPeerOwner::Unknown:
        break;
    }
    TRACE0(u"CListener::Run. [%3d] The owner of the connection's other end cannot be found; it is refused.\r\n", sock);
    return false;
}

void CListener::Close()
{
    if (m_bClosed.exchange(true))
        return;
    SignalStop();
    {
        // Closing a descriptor does not wake a thread blocked in accept on it; shutting it down does.
        CMutexLocker lock(m_lock);
        const SOCKET sock = m_sock;
        if (sock != INVALID_SOCKET)
            taluvo::net::shutdown(sock, SD_BOTH);
    }
    if (GetThreadId() != GetCurrentThreadId() && !Wait(kStopMs)) {
        TRACE0(u"CListener::Close. The accept thread did not end within %u ms; waiting for it.\r\n", kStopMs);
        Wait(INFINITE);
    }
    StopHandlers();
    CPerfSocket::Close();
}

void CListener::StopHandlers()
{
    std::vector<std::unique_ptr<CMessageHandler>> handlers;
    {
        std::lock_guard<std::mutex> guard(m_ownedLock);
        handlers.swap(m_owned);
    }
    // Every connection is told to end first, so they all end together.
    for (auto& handler : handlers) {
        handler->Stop();
        CMutexLocker lock(handler->m_lock);
        const SOCKET sock = handler->m_sock;
        if (sock != INVALID_SOCKET)
            taluvo::net::shutdown(sock, SD_BOTH);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopMs);
    for (auto& handler : handlers) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (handler->Wait(static_cast<DWORD>(std::max<int64_t>(left.count(), 0))))
            continue;
        // Still in the main window's command: this thread may itself be serving that command
        // (a shutdown from inside it), so waiting longer could wait for ever. The handler lets go
        // of the server and ends alone.
        TRACE0(u"CListener::StopHandlers. Handler 0x%p did not end within %u ms; left to end alone.\r\n", handler.get(),
            kStopMs);
        if (handler->Abandon())
            static_cast<void>(handler.release()); // it deletes itself
        else
            handler->Wait(INFINITE); // past its last wait: ending now
    }
    handlers.clear();
}

QByteArray CListener::GetGroupsData(const std::function<bool()>& giveUp)
{
    TRACE_SCOPE(u"CMessageHandler::GetGroupsData");
    try {
        // Not on the window's connection under g_dbMutex: another program's lock would hold the
        // mutex, and with it the window and the exit, for the whole busy wait.
        CThreadConnection connection(m_db, [this, giveUp] { return IsStopSignalled() || (giveUp && giveUp()); });
        QByteArray message(MSGSIZE, '\0');
        CSqlQuery query = connection.db().runQuery("SELECT * FROM GROUPS;");
        for (; !query.eof(); query.stepRow()) {
            WORD nGroupId;
            if (!ReadRowId(query, "GROUPS", "id", nGroupId))
                continue; // a toolbar could not name it back
            message += query.getStringField("title", "");
            message += '\n';
            message += taluvo::Format(u"0x%.4X", static_cast<DWORD>(nGroupId)).toLatin1();
            message += '\n';
        }
        query.finalize();
        message += '\0';
        // A toolbar cannot take a message larger than its receive buffer.
        FAIL_CHECK(static_cast<size_t>(message.size()) <= kBufferSize,
            QStringLiteral("The groups list does not fit in one message."));

        DWORD workMode;
        {
            CMutexLocker prefsLock(g_prefs.m_mutex);
            workMode = static_cast<DWORD>(g_prefs.GetParam(kWorkMode)->GetInt());
        }
        WriteLe32(message.data(), MSG_GROUPS_DATA);
        WriteLe32(message.data() + 4, workMode);
        WriteLe32(message.data() + 8, static_cast<DWORD>(message.size()) - MSGSIZE);
        return message;
    } catch (CSqlException& e) {
        TRACE0(u"CMessageHandler::GetGroupsData. SQL error: %hs.\r\n", e.errorMessage());
    } catch (CCmnException& e) {
        TRACE0(u"CMessageHandler::OnConnect. Exception: %s.\r\n", e.GetMessage());
    }
    return QByteArray();
}

BOOL CListener::SentToAllGroupsData()
{
    TRACE_SCOPE(u"CListener::SentToAllGroupsData");
    CMutexLocker lock(m_lock);
    ++m_nGroupsListsSent;
    const QByteArray message = GetGroupsData();
    if (message.isNull())
        return FALSE;
    return SendToAll(message.constData(), static_cast<DWORD>(message.size()));
}

BOOL CListener::SendToAll(const void* data, DWORD len)
{
    TRACE_SCOPE(u"CListener::SendToAll");
    CMutexLocker lock(m_lock);
    BOOL all = TRUE;
    for (CMessageHandler* handler : m_handlers) {
        CMutexLocker handlerLock(handler->m_lock);
        if (!handler->Send(data, len))
            all = FALSE; // the others still get theirs
    }
    return all;
}

BOOL CListener::AddHandler(CMessageHandler* handler)
{
    TRACE_SCOPE(u"CListener::AddHandler");
    CMutexLocker lock(m_lock);
    if (std::find(m_handlers.begin(), m_handlers.end(), handler) != m_handlers.end()) {
        TRACE0(u"CListener::AddHandler. Handler: \"0x%.8X\" already exists.\r\n", handler);
        return FALSE;
    }
    m_handlers.push_back(handler);
    return TRUE;
}

BOOL CListener::DeleteHandler(CMessageHandler* handler)
{
    TRACE_SCOPE(u"CListener::DeleteHandler");
    CMutexLocker lock(m_lock);
    const auto it = std::find(m_handlers.begin(), m_handlers.end(), handler);
    if (it == m_handlers.end()) {
        TRACE0(u"CListener::DeleteHandler. Unable to find handler: \"0x%.8X\".\r\n", handler);
        return FALSE;
    }
    m_handlers.erase(it);
    return TRUE;
}

void CListener::ClearHandlers()
{
    TRACE_SCOPE(u"CListener::ClearHandlers");
    CMutexLocker lock(m_lock);
    while (!m_handlers.empty())
        DeleteHandler(m_handlers.front());
}
