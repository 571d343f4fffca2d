#include "Network/Socket.h"

#include "core/Exceptions.h"

CSocket::CSocket(WORD port, int type)
    : m_port(port)
    , m_type(type)
{
}

CSocket::~CSocket()
{
    CloseSocket();
}

void CSocket::CloseSocket()
{
    const SOCKET sock = m_sock.exchange(INVALID_SOCKET);
    if (sock == INVALID_SOCKET)
        return;
    taluvo::net::shutdown(sock, SD_SEND);
    taluvo::net::closesocket(sock);
}

void CSocket::Listen(const char* host, const char* secondHost)
{
    const CSocketAddr local(host, m_port);
    const CSocketAddr second(secondHost, m_port);
    CloseSocket(); // listening again must not leak the previous socket
    const bool tcp = m_type == TYPE_TCP;
    m_sock = taluvo::net::socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, tcp ? IPPROTO_TCP : IPPROTO_UDP);
    SOCKET_CHECK(INVALID_SOCKET != m_sock, QStringLiteral("CSocket::Listen. socket failed."));

    const int reuse = 1;
    taluvo::net::setsockopt(m_sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);

    int rc;
    if (local.IsMulticast()) {
        rc = taluvo::net::bind(m_sock, second.Get(), CSocketAddr::Size());
        SOCKET_CHECK(SOCKET_ERROR != rc, QStringLiteral("CSocket::Listen. MULTICAST. bind failed."));
    } else {
        rc = taluvo::net::bind(m_sock, local.Get(), CSocketAddr::Size());
        SOCKET_CHECK(SOCKET_ERROR != rc, QStringLiteral("CSocket::Listen. bind failed."));
    }
    if (tcp) {
        // A queue of five made toolbars that connect together wait seconds for the system's
        // connection retries; the system's own limit serves them at once.
        rc = taluvo::net::listen(m_sock, SOMAXCONN);
        SOCKET_CHECK(SOCKET_ERROR != rc, QStringLiteral("CSocket::Listen. listen failed."));
    } else if (local.IsMulticast()) {
        MCastJoin(local, second);
        MCastSetTTL(64);
        MCastDisableLoopback();
    }
}

SOCKET CSocket::Accept()
{
    const SOCKET sock = m_sock.load();
    if (sock == INVALID_SOCKET) {
        WSASetLastError(WSAENOTSOCK);
        return INVALID_SOCKET;
    }
    return taluvo::net::accept(sock, nullptr, nullptr);
}

CSocketAddr CSocket::GetLocalAddress() const
{
    CSocketAddr address(nullptr, 0);
    int length = CSocketAddr::Size();
    const int rc = taluvo::net::getsockname(m_sock, address.Get(), &length);
    SOCKET_CHECK(rc != SOCKET_ERROR, QStringLiteral("CSocket::GetLocalAddress. getsockname failed."));
    return address;
}

CSocketAddr CSocket::GetRemoteAddress() const
{
    CSocketAddr address(nullptr, 0);
    int length = CSocketAddr::Size();
    const int rc = taluvo::net::getpeername(m_sock, address.Get(), &length);
    SOCKET_CHECK(rc != SOCKET_ERROR, QStringLiteral("CSocket::GetRemoteAddress. getpeername failed."));
    return address;
}

void CSocket::MCastJoin(const CSocketAddr& group, const CSocketAddr& iface)
{
    ip_mreq request {};
    request.imr_multiaddr = group.Record().sin_addr;
    request.imr_interface = iface.Record().sin_addr;
    const int rc = taluvo::net::setsockopt(
        m_sock, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&request), sizeof request);
    SOCKET_CHECK(rc != SOCKET_ERROR, QStringLiteral("CSocket::MCastJoin. setsockopt IP_ADD_MEMBERSHIP failed."));
}

void CSocket::MCastSetTTL(BYTE ttl)
{
    const int rc
        = taluvo::net::setsockopt(m_sock, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), 1);
    SOCKET_CHECK(rc != SOCKET_ERROR, QStringLiteral("CSocket::MCastSetTTL. setsockopt IP_MULTICAST_TTL failed."));
}

void CSocket::MCastDisableLoopback()
{
    const int loop = 0;
    const int rc = taluvo::net::setsockopt(
        m_sock, IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&loop), sizeof loop);
    SOCKET_CHECK(
        rc != SOCKET_ERROR, QStringLiteral("CSocket::MCastDisableLoopback. setsockopt IP_MULTICAST_LOOP failed."));
}
