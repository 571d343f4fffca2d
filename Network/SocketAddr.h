// An IPv4 socket address with exactly the layout of sockaddr_in, so it is handed to the socket
// calls as that record.
#pragma once

#include "platform/base/WinTypes.h"
#include "platform/net/WinSock.h"

class CSocketAddr {
public:
    // Zero, then a null host gives INADDR_ANY and any other host is resolved; the port is stored
    // in network byte order. A host that does not resolve throws CSocketException.
    CSocketAddr(const char* host, WORD port);
    // Zero, then the first min(length, 16) bytes of the record.
    CSocketAddr(const sockaddr* address, int length);

    void Resolve(const char* host);
    // "%u.%u.%u.%u" of the address bytes in stored order, or an empty text when that does not fit
    // in size characters (the terminating NUL included).
    void GetDottedAddress(char* destination, size_t size) const;
    WORD GetPort() const { return ntohs(m_addr.sin_port); }
    BOOL IsMulticast() const { return (ntohl(m_addr.sin_addr.s_addr) & 0xE0000000u) == 0xE0000000u ? TRUE : FALSE; }

    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&m_addr); }
    sockaddr* Get() { return reinterpret_cast<sockaddr*>(&m_addr); }
    static constexpr int Size() { return static_cast<int>(sizeof(sockaddr_in)); }
    const sockaddr_in& Record() const { return m_addr; }

private:
    sockaddr_in m_addr;
};

static_assert(sizeof(CSocketAddr) == 16, "a socket address is a sockaddr_in");
