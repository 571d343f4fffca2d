// One connected browser toolbar: its own thread sends it the groups list, receives its messages
// and serves its requests to add a page by handing the address to the main window.
#pragma once

#include "Network/Listener.h"
#include "Network/PerfSocket.h"
#include "core/WorkerThread.h"
#include "platform/base/WinTypes.h"
#include "platform/ui/AtlWin.h"

#include <QByteArray>

#include <atomic>
#include <mutex>

class CMessageHandler : public CPerfSocket, public CWorkerThread {
public:
    // The main window's page add command; the group id travels in the high word of wParam.
    static constexpr WORD kPageAddCommand = 32779;

    // Serves the accepted socket (may be INVALID_SOCKET, then AdoptConnection gives it one) for
    // server (null: g_pListener).
    CMessageHandler(int type, SOCKET sock, WORD port, CListener* server = nullptr);
    ~CMessageHandler() override;

    // Takes ownership of the accepted socket and reads both ends' addresses (may throw; the
    // socket then belongs to the handler all the same).
    void AdoptConnection(SOCKET sock);

    void Run() override;
    void Stop() override;
    void OnExit() override;
    // The server lets go of a handler that did not end in time: from then on the handler never
    // touches the server again, and it deletes itself when its thread ends. FALSE when its work
    // is already done: the thread is ending, and the server waits for it and deletes it.
    BOOL Abandon();
    // The handler's work is done (its thread is ending or has ended): it may be destroyed.
    bool HasEnded();
    BOOL OnMessage(const SMessage* msg) override;
    BOOL MSG_REQ_ADD_URL_Handler(const SMessage* msg);

    void OnConnect();
    void OnDisconnect();

    // Whether the server closes it to make room for a new one (for the accept thread).
    bool m_bMakingRoom = false;

    // A full server closes this connection to make room only when every other one is kept too:
    // it has not been greeted yet, or it has brought the user a request (any thread may ask).
    bool IsKeptWhenMakingRoom() const { return !m_bGreeted.load() || m_bRequestReachedUser.load(); }

protected:
    // Puts the address on the clipboard and has the main window add it to the group; TRUE when
    // the main window reports the page added.
    virtual BOOL HandOverToMainWindow(const QByteArray& url, WORD group);

private:
    class RequestTurn;
    class WorkModeOff;

    void SetWorkMode(DWORD mode);
    void SendWorkModeToAll(DWORD mode);
    void Respond(BOOL added);

    // Runs f with the server under the link lock, unless the handler was detached.
    template <typename F> void WithServer(F&& f)
    {
        std::lock_guard<std::mutex> guard(m_serverLink);
        if (m_pServer)
            f(*m_pServer);
    }

    std::atomic<bool> m_bGreeted { false }; // past its groups list
    std::atomic<bool> m_bRequestReachedUser { false }; // an add request went to the main window

    std::mutex m_serverLink; // guards the three below
    CListener* m_pServer;
    bool m_bAbandoned = false;
    bool m_bExited = false;
};

// The user-interface thread's side of an add request: a hidden window of the server, made on that
// thread, puts the request's address on the clipboard (CF_TEXT, opened with no owner window) when
// a handler asks, since the clipboard belongs to that thread.
class CToolbarHandOffWnd : public CWindowImpl<CToolbarHandOffWnd> {
public:
    // lParam: the address (QByteArray*, ANSI text without its NUL); the result is 1 when the
    // clipboard holds it, 0 when the clipboard could not be opened or written.
    static constexpr UINT WM_TOOLBAR_HANDOFF = WM_USER + 1;

    BEGIN_MSG_MAP(CToolbarHandOffWnd)
    MESSAGE_HANDLER(WM_TOOLBAR_HANDOFF, OnHandOff)
    END_MSG_MAP()

    LRESULT OnHandOff(UINT, WPARAM, LPARAM lParam, BOOL&);
};
