// The toolbar server: browser toolbars connect over TCP (the program listens on 127.0.0.1 port
// 6790), learn the list of groups and the work mode, and ask for the page they show to be added.
//
// Every message in both directions is one frame of CPerfSocket: type, param, payloadLength
// (little-endian 32-bit words), then the payload.
#pragma once

#include "Network/PerfSocket.h"
#include "core/Mutex.h"
#include "core/WorkerThread.h"
#include "platform/base/WinTypes.h"
#include "platform/net/PeerOwner.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CMessageHandler;
class CToolbarHandOffWnd;

enum : DWORD {
    MSG_REQ_ADD_URL = 0, // toolbar: add the address of the payload (ANSI, NUL-terminated) to group param
    MSG_RESP_ADD_URL = 1, // program, to the requesting toolbar: param 1 added, 0 not
    MSG_WORK_MODE = 2, // program, to every toolbar: param wmDisable while a request is served
    MSG_GROUPS_DATA = 3, // program: param WorkMode; payload "title\n0xHHHH\n" per group, then NUL
    MSG_NOP = 5, // toolbar: accepted, nothing happens
};

enum : DWORD {
    wmDisable = 0,
    wmActive = 1,
};

// Marks the page add command that a toolbar request sends to the main window.
constexpr LPARAM TOOLBAR_REQUEST_TAG = static_cast<LPARAM>(0xDEADABBA);

class CListener : public CPerfSocket, public CWorkerThread {
public:
    // Listens at once on host (null: every local address) and port; failures throw
    // (CSocketException from the socket calls).
    CListener(const char* localhost, int type, WORD port);
    // Closes the server as Close does, so no handler outlives it.
    ~CListener() override;

    // The accept loop.
    void Run() override;
    // Ends the server: wakes and joins the accept thread, stops every toolbar connection and
    // joins its handler (bounded, serving sent messages on the user-interface thread), then
    // closes the listening socket. Call SignalStop first, as for any CPerfSocket.
    void Close() override;

    // MSG_GROUPS_DATA built from table GROUPS and the setting WorkMode; null on failure (traced).
    // Read on a connection of the calling thread's own, so it takes no lock of the program's; a
    // wait for another program's lock ends with the server's stop or when giveUp() says so.
    QByteArray GetGroupsData(const std::function<bool()>& giveUp = nullptr);
    // Sends the groups list to every connected toolbar. FALSE when the list could not be built or
    // any send failed. The caller holds m_lock, not g_dbMutex.
    BOOL SentToAllGroupsData();
    // Counts the lists sent to all (under m_lock): a greeting read before the last of them is
    // read again, so no toolbar gets an older list after a newer one.
    uint64_t GroupsListsSent() const { return m_nGroupsListsSent.load(); }
    // Sends to every connected toolbar, in the order they connected; FALSE when any send failed.
    BOOL SendToAll(const void* data, DWORD len);
    BOOL AddHandler(CMessageHandler* handler);
    BOOL DeleteHandler(CMessageHandler* handler);
    void ClearHandlers();

    // The port the server listens on (the one the system chose when constructed with 0).
    WORD GetListeningPort() const;
    // Connected toolbars (under m_lock).
    size_t GetHandlerCount();

    // Made on the user-interface thread with the server (the main window's creation handler):
    // it sets the clipboard for the handlers' requests.
    std::unique_ptr<CToolbarHandOffWnd> m_pHandOffWnd;
    HWND m_hHandOffWnd = nullptr;

    QByteArray m_pLocalhost; // null when constructed without a host
    std::vector<CMessageHandler*> m_handlers; // connected toolbars; guarded by m_lock

    // Bounds of the waits of the server.
    static constexpr DWORD kStopMs = 3000;
    // Connections served at once, so no local process can take the program's descriptors, threads
    // or memory by connecting. Past it a new connection takes the place of another (MakeRoom).
    static constexpr size_t kMaxConnections = 256;

    // Descriptors the server leaves to the rest of the program (checks, the database, alerts):
    // with fewer left, a new connection comes in only in place of another.
    static constexpr size_t kReservedDescriptors = 64;

    // Set before Start: the connection limit and how long a connection may hold an incomplete
    // frame before it is closed (tests make these small).
    size_t m_nMaxConnections = kMaxConnections;
    DWORD m_dwIncompleteFrameMs = kIncompleteFrameMs;

protected:
    // A handler for the next accepted connection, not yet given its socket.
    virtual std::unique_ptr<CMessageHandler> MakeHandler();
    // The owner of the socket at the other end of an accepted connection.
    virtual taluvo::net::SPeerOwner LookUpPeerOwner(SOCKET sock);

private:
    friend class CMessageHandler;

    void StopHandlers();
    // Destroys the handlers whose thread has ended (accept thread only); the number left that
    // are not being closed to make room.
    size_t ReapHandlers();
    // A full server (or one short of descriptors) makes room for a new connection by closing the
    // connection heard from most recently, among those not kept (CMessageHandler::
    // IsKeptWhenMakingRoom) while there are any (accept thread only). Quiet is what a toolbar is:
    // a crowd that talks, or that comes later, pushes out its own members first. False only when
    // no connection is left to close.
    bool MakeRoom();
    // Whether the connection comes from a process of this program's user; a refusal is traced.
    bool IsFromThisUser(SOCKET sock);
    // Serves one accepted connection: a handler of its own, or closed at once past the limit.
    void ServeConnection(SOCKET sock);
    // A handler's thread is ending: the accept loop destroys it now rather than at the next
    // accept, so an ended connection keeps neither its thread nor its buffers.
    void HandlerEnded();

    HANDLE m_hHandlerEnded = nullptr;

    // Every handler the accept loop made, connected or ended, until it is reaped or the server
    // closes: the server owns its handlers and joins them.
    std::mutex m_ownedLock;
    std::vector<std::unique_ptr<CMessageHandler>> m_owned;
    std::atomic<bool> m_bClosed { false };
    std::atomic<uint64_t> m_nGroupsListsSent { 0 };
};
