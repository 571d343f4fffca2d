// One socket handle with the port it listens on and whether it is TCP or UDP. Failures throw
// CSocketException with the WinSock error of the failed call.
#pragma once

#include "Network/SocketAddr.h"
#include "platform/base/WinTypes.h"
#include "platform/net/WinSock.h"

#include <atomic>

class CSocket {
public:
    enum { TYPE_TCP = 0, TYPE_UDP = 1 };

    CSocket(WORD port, int type);
    virtual ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // Shuts down the sending direction and closes the socket; nothing when there is none.
    void CloseSocket();
    // Creates the socket and binds it to host (null: every local address) and m_port; TCP then
    // listens. A multicast UDP host is joined on the interface of the second host.
    void Listen(const char* host, const char* secondHost);
    // Waits for one connection; INVALID_SOCKET when the socket is closed, shut down or fails.
    SOCKET Accept();

    CSocketAddr GetLocalAddress() const;
    CSocketAddr GetRemoteAddress() const;
    void MCastJoin(const CSocketAddr& group, const CSocketAddr& iface);
    void MCastSetTTL(BYTE ttl);
    void MCastDisableLoopback();

    WORD m_port;
    // Read by threads that block on the socket while another thread closes it: the descriptor is
    // taken out of the field before it is closed.
    std::atomic<SOCKET> m_sock { INVALID_SOCKET };
    int m_type;
};
