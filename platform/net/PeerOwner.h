// Who owns the socket at the other end of a TCP connection on this machine, as the kernel's socket
// tables name it: the user that created that socket.
//
// Two ways to ask. sock_diag (NETLINK_SOCK_DIAG) looks one socket up by its four addresses and
// ports, at a cost that does not grow with the number of sockets. /proc/net/tcp and tcp6 list
// every socket of the network namespace; a scan of them is the way left where sock_diag cannot
// answer (no diagnostics module, a kernel that refuses the request). Both name no one for a socket
// that is not there, or that is in TIME_WAIT (its owner is gone: the tables then say uid 0).
#pragma once

#include "platform/net/WinSock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace taluvo::net {

// One end of a TCP connection: an IPv6 address (an IPv4 one as ::ffff:a.b.c.d, the form a
// dual-stack socket shows it in) and a port in host order.
struct STcpEnd {
    std::array<uint8_t, 16> address {};
    uint16_t port = 0;

    bool operator==(const STcpEnd&) const = default;
    bool IsMappedV4() const;
    // From an IPv4 or IPv6 socket address; nullopt for any other family or a short record.
    static std::optional<STcpEnd> FromSockAddr(const sockaddr* address, socklen_t length);
};

// A socket as the tables list it: its own end, then the end it is connected to.
struct STcpSocketId {
    STcpEnd local;
    STcpEnd remote;
};

// The exact lookup; nullopt when it names no owner, also when sock_diag cannot be asked.
std::optional<uint32_t> SocketOwnerByDiag(const STcpSocketId& socket);
// The netlink message of the exact lookup (a header and an inet_diag_req_v2).
std::vector<uint8_t> BuildDiagRequest(const STcpSocketId& socket, uint32_t sequence);
// The owner that a reply to that request names: only a message about that very socket counts.
std::optional<uint32_t> OwnerInDiagReply(const void* reply, size_t length, const STcpSocketId& socket);

// The scan of /proc/net/tcp (for an IPv4 socket) and /proc/net/tcp6.
std::optional<uint32_t> SocketOwnerByScan(const STcpSocketId& socket);
// The owner that one table's text names for the socket; v6 says whether it is the tcp6 table.
std::optional<uint32_t> OwnerInSocketTable(std::string_view table, bool v6, const STcpSocketId& socket);

enum class EPeerOwner {
    Own, // the socket belongs to this process's user
    Foreign, // it belongs to another user
    Unknown, // neither lookup names an owner
};

struct SPeerOwner {
    EPeerOwner verdict = EPeerOwner::Unknown;
    std::optional<uint32_t> uid; // the owner named, if any
};

// The owner of a socket from the exact lookup's answer, or, only when that names no one, from the
// scan's: both read the same tables, so the scan could only repeat an owner the lookup named.
SPeerOwner JudgePeerOwner(
    std::optional<uint32_t> exact, const std::function<std::optional<uint32_t>()>& scan, uint32_t self);

// For an accepted connection: the owner of the socket at its other end, against the effective
// user of this process. Unknown when the connection's addresses cannot be read.
SPeerOwner LookUpPeerOwner(SOCKET accepted);

} // namespace taluvo::net
