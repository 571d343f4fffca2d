#include "platform/net/PeerOwner.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <string>
#include <sys/time.h>
#include <unistd.h>

namespace taluvo::net {
namespace {

// TCP states as the kernel numbers them in both tables.
constexpr unsigned kStateTimeWait = 6;
constexpr unsigned kStateListen = 10;

// A socket table larger than this is not read to its end (some hundred thousand sockets).
constexpr size_t kMaxTableBytes = 64u << 20;

bool HasOwner(unsigned state)
{
    return state != kStateTimeWait && state != kStateListen;
}

// The end as a diagnostics record holds it: addresses in network order, 4 bytes for AF_INET.
STcpEnd EndFromDiag(uint8_t family, const __be32 (&address)[4], __be16 port)
{
    STcpEnd end;
    if (family == AF_INET) {
        end.address[10] = 0xFF;
        end.address[11] = 0xFF;
        std::memcpy(end.address.data() + 12, &address[0], 4);
    } else {
        std::memcpy(end.address.data(), address, 16);
    }
    end.port = ntohs(port);
    return end;
}

void EndToDiag(const STcpEnd& end, bool v4, __be32 (&address)[4], __be16& port)
{
    if (v4)
        std::memcpy(&address[0], end.address.data() + 12, 4);
    else
        std::memcpy(address, end.address.data(), 16);
    port = htons(end.port);
}

std::optional<uint32_t> ParseHex32(std::string_view text)
{
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "0100007F:1A86" (tcp) or 32 hex digits, a colon and the port (tcp6). The table prints each
// 32-bit word of the address as the number it is in memory, so the bytes come back by storing the
// number the same way.
std::optional<STcpEnd> ParseTableEnd(std::string_view field, bool v6)
{
    const size_t words = v6 ? 4 : 1;
    if (field.size() != words * 8 + 5 || field[words * 8] != ':')
        return std::nullopt;
    STcpEnd end;
    uint8_t* bytes = v6 ? end.address.data() : end.address.data() + 12;
    if (!v6) {
        end.address[10] = 0xFF;
        end.address[11] = 0xFF;
    }
    for (size_t i = 0; i < words; ++i) {
        const std::optional<uint32_t> word = ParseHex32(field.substr(i * 8, 8));
        if (!word)
            return std::nullopt;
        std::memcpy(bytes + i * 4, &*word, 4);
    }
    const std::optional<uint32_t> port = ParseHex32(field.substr(words * 8 + 1));
    if (!port || *port > 0xFFFF)
        return std::nullopt;
    end.port = static_cast<uint16_t>(*port);
    return end;
}

std::string_view NextField(std::string_view& line)
{
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const size_t stop = std::min(line.find(' '), line.size());
    const std::string_view field = line.substr(0, stop);
    line.remove_prefix(stop);
    return field;
}

bool ReadTable(const char* path, std::string& text)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    while (text.size() < kMaxTableBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

} // namespace

bool STcpEnd::IsMappedV4() const
{
    static constexpr uint8_t kPrefix[12] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF };
    return std::memcmp(address.data(), kPrefix, sizeof kPrefix) == 0;
}

std::optional<STcpEnd> STcpEnd::FromSockAddr(const sockaddr* address, socklen_t length)
{
    STcpEnd end;
    if (address && address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        end.address[10] = 0xFF;
        end.address[11] = 0xFF;
        std::memcpy(end.address.data() + 12, &v4.sin_addr, 4);
        end.port = ntohs(v4.sin_port);
        return end;
    }
    if (address && address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        std::memcpy(end.address.data(), &v6.sin6_addr, 16);
        end.port = ntohs(v6.sin6_port);
        return end;
    }
    return std::nullopt;
}

std::vector<uint8_t> BuildDiagRequest(const STcpSocketId& socket, uint32_t sequence)
{
    struct {
        nlmsghdr header;
        inet_diag_req_v2 body;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    // A request without NLM_F_DUMP asks for the one socket the addresses name.
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = sequence;
    // An IPv6 socket connected over IPv4 sits in the IPv4 table, where an IPv4 request finds it.
    const bool v4 = socket.local.IsMappedV4() && socket.remote.IsMappedV4();
    request.body.sdiag_family = v4 ? AF_INET : AF_INET6;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0u;
    EndToDiag(socket.local, v4, request.body.id.idiag_src, request.body.id.idiag_sport);
    EndToDiag(socket.remote, v4, request.body.id.idiag_dst, request.body.id.idiag_dport);
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
    return std::vector<uint8_t>(bytes, bytes + sizeof request);
}

std::optional<uint32_t> OwnerInDiagReply(const void* reply, size_t length, const STcpSocketId& socket)
{
    const auto* bytes = static_cast<const uint8_t*>(reply);
    size_t left = reply ? length : 0;
    while (left >= sizeof(nlmsghdr)) {
        nlmsghdr header;
        std::memcpy(&header, bytes, sizeof header);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > left)
            break;
        if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY && header.nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            inet_diag_msg message;
            std::memcpy(&message, bytes + NLMSG_HDRLEN, sizeof message);
            // The kernel's lookup may fall back to a listening socket: only this socket counts.
            const STcpEnd local = EndFromDiag(message.idiag_family, message.id.idiag_src, message.id.idiag_sport);
            const STcpEnd remote = EndFromDiag(message.idiag_family, message.id.idiag_dst, message.id.idiag_dport);
            if ((message.idiag_family == AF_INET || message.idiag_family == AF_INET6) && local == socket.local
                && remote == socket.remote && HasOwner(message.idiag_state))
                return message.idiag_uid;
        }
        const size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= left)
            break;
        bytes += step;
        left -= step;
    }
    return std::nullopt;
}

std::optional<uint32_t> SocketOwnerByDiag(const STcpSocketId& socket)
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    // The kernel answers at once; the bound only keeps a caller from waiting on a lost answer.
    const timeval bound { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    const std::vector<uint8_t> request = BuildDiagRequest(socket, 1);
    std::optional<uint32_t> owner;
    if (::sendto(
            fd, request.data(), request.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel)
        == static_cast<ssize_t>(request.size())) {
        alignas(nlmsghdr) uint8_t reply[8192];
        ssize_t n;
        do
            n = ::recv(fd, reply, sizeof reply, 0);
        while (n < 0 && errno == EINTR);
        if (n > 0)
            owner = OwnerInDiagReply(reply, static_cast<size_t>(n), socket);
    }
    ::close(fd);
    return owner;
}

std::optional<uint32_t> OwnerInSocketTable(std::string_view table, bool v6, const STcpSocketId& socket)
{
    // The first line names the columns; then one socket a line:
    // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ...".
    size_t at = table.find('\n');
    while (at != std::string_view::npos && at + 1 < table.size()) {
        const size_t next = table.find('\n', at + 1);
        std::string_view line = table.substr(at + 1, next == std::string_view::npos ? next : next - at - 1);
        at = next;
        NextField(line); // "sl:"
        const std::optional<STcpEnd> local = ParseTableEnd(NextField(line), v6);
        if (!local || *local != socket.local)
            continue;
        const std::optional<STcpEnd> remote = ParseTableEnd(NextField(line), v6);
        const std::optional<uint32_t> state = ParseHex32(NextField(line));
        if (!remote || *remote != socket.remote || !state || !HasOwner(*state))
            continue;
        NextField(line); // tx_queue:rx_queue
        NextField(line); // tr:tm->when
        NextField(line); // retrnsmt
        const std::string_view uidText = NextField(line);
        uint32_t uid = 0;
        const auto [end, error] = std::from_chars(uidText.data(), uidText.data() + uidText.size(), uid);
        if (error == std::errc() && end == uidText.data() + uidText.size() && !uidText.empty())
            return uid;
    }
    return std::nullopt;
}

std::optional<uint32_t> SocketOwnerByScan(const STcpSocketId& socket)
{
    if (socket.local.IsMappedV4() && socket.remote.IsMappedV4()) {
        std::string text;
        if (ReadTable("/proc/net/tcp", text))
            if (const std::optional<uint32_t> owner = OwnerInSocketTable(text, false, socket))
                return owner;
    }
    // A dual-stack IPv6 socket lists an IPv4 connection here, in the mapped form.
    std::string text;
    if (!ReadTable("/proc/net/tcp6", text))
        return std::nullopt;
    return OwnerInSocketTable(text, true, socket);
}

SPeerOwner JudgePeerOwner(
    std::optional<uint32_t> exact, const std::function<std::optional<uint32_t>()>& scan, uint32_t self)
{
    std::optional<uint32_t> owner = exact;
    if (!owner && scan)
        owner = scan();
    if (!owner)
        return {};
    return { *owner == self ? EPeerOwner::Own : EPeerOwner::Foreign, owner };
}

SPeerOwner LookUpPeerOwner(SOCKET accepted)
{
    sockaddr_storage ours {};
    sockaddr_storage theirs {};
    socklen_t oursLength = sizeof ours;
    socklen_t theirsLength = sizeof theirs;
    if (::getsockname(accepted, reinterpret_cast<sockaddr*>(&ours), &oursLength) != 0
        || ::getpeername(accepted, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0)
        return {};
    const std::optional<STcpEnd> local = STcpEnd::FromSockAddr(reinterpret_cast<const sockaddr*>(&ours), oursLength);
    const std::optional<STcpEnd> remote
        = STcpEnd::FromSockAddr(reinterpret_cast<const sockaddr*>(&theirs), theirsLength);
    if (!local || !remote)
        return {};
    // The other end's socket: its own end is this connection's remote one.
    const STcpSocketId peer { *remote, *local };
    return JudgePeerOwner(
        SocketOwnerByDiag(peer), [&peer] { return SocketOwnerByScan(peer); }, static_cast<uint32_t>(::geteuid()));
}

} // namespace taluvo::net
