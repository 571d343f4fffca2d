#include "Network/SocketAddr.h"

#include "core/Exceptions.h"
#include "platform/base/Format.h"

#include <algorithm>
#include <cstring>

CSocketAddr::CSocketAddr(const char* host, WORD port)
{
    std::memset(&m_addr, 0, sizeof m_addr);
    if (host) {
        Resolve(host);
    } else {
        m_addr.sin_family = AF_INET;
        m_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    m_addr.sin_port = htons(port);
}

CSocketAddr::CSocketAddr(const sockaddr* address, int length)
{
    std::memset(&m_addr, 0, sizeof m_addr);
    if (address && length > 0)
        std::memcpy(&m_addr, address, std::min<size_t>(static_cast<size_t>(length), sizeof m_addr));
}

void CSocketAddr::Resolve(const char* host)
{
    m_addr.sin_family = AF_INET;
    const in_addr_t dotted = taluvo::net::inet_addr(host);
    if (dotted != INADDR_NONE) {
        m_addr.sin_addr.s_addr = dotted;
        return;
    }
    const hostent* hostP = taluvo::net::gethostbyname(host);
    if (!hostP) {
        const char16_t* format;
        switch (WSAGetLastError()) {
        case WSAHOST_NOT_FOUND:
            format = u"%hs: Unknown host";
            break;
        case WSATRY_AGAIN:
            format = u"%hs: Host name lookup failure";
            break;
        case WSANO_RECOVERY:
            format = u"%hs: Unknown server error";
            break;
        case WSANO_DATA:
            format = u"%hs: No address associated with name";
            break;
        default:
            format = u"%hs: Unknown resolver error";
            break;
        }
        SOCKET_CHECK(hostP != NULL, taluvo::Format(format, host ? host : ""));
    }
    // Never more than the record holds, whatever length the answer claims.
    std::memcpy(&m_addr.sin_addr, hostP->h_addr_list[0],
        std::min<size_t>(static_cast<size_t>(hostP->h_length), sizeof m_addr.sin_addr));
}

void CSocketAddr::GetDottedAddress(char* destination, size_t size) const
{
    if (!destination || size == 0)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&m_addr.sin_addr);
    const QByteArray text = taluvo::Format(u"%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]).toLatin1();
    if (static_cast<size_t>(text.size()) < size)
        std::memcpy(destination, text.constData(), static_cast<size_t>(text.size()) + 1);
    else
        destination[0] = '\0';
}
