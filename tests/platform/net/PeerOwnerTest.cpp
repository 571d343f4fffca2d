// The owner of the other end of a connection: both lookups against the test's own connections on
// loopback, and against tables and replies that name a made-up owner.
#include "platform/net/PeerOwner.h"

#include <gtest/gtest.h>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <string>

namespace net = taluvo::net;
using net::STcpEnd;
using net::STcpSocketId;

namespace {

constexpr uint32_t kMadeUpOwner = 4242;

STcpEnd End(const char* address, uint16_t port)
{
    STcpEnd end;
    sockaddr_in6 v6 {};
    sockaddr_in v4 {};
    if (inet_pton(AF_INET, address, &v4.sin_addr) == 1) {
        end.address[10] = 0xFF;
        end.address[11] = 0xFF;
        std::memcpy(end.address.data() + 12, &v4.sin_addr, 4);
    } else {
        EXPECT_EQ(inet_pton(AF_INET6, address, &v6.sin6_addr), 1) << address;
        std::memcpy(end.address.data(), &v6.sin6_addr, 16);
    }
    end.port = port;
    return end;
}

STcpEnd EndOf(int fd, bool peer)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                        : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    EXPECT_EQ(rc, 0);
    const std::optional<STcpEnd> end = STcpEnd::FromSockAddr(reinterpret_cast<sockaddr*>(&address), length);
    EXPECT_TRUE(end.has_value());
    return end.value_or(STcpEnd {});
}

// A connection on loopback between two sockets of this process: a listener of the family given,
// a client (of the client's family) connected to the address given, and the accepted socket.
struct Connection {
    int listener = -1;
    int client = -1;
    int accepted = -1;

    Connection(int listenFamily, int clientFamily, const char* address)
    {
        listener = ::socket(listenFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage bound {};
        socklen_t length;
        if (listenFamily == AF_INET) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&bound);
            v4->sin_family = AF_INET;
            inet_pton(AF_INET, address, &v4->sin_addr);
            length = sizeof(sockaddr_in);
        } else {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&bound);
            v6->sin6_family = AF_INET6;
            inet_pton(AF_INET6, address, &v6->sin6_addr);
            length = sizeof(sockaddr_in6);
        }
        if (::bind(listener, reinterpret_cast<sockaddr*>(&bound), length) != 0 || ::listen(listener, 4) != 0)
            return;
        sockaddr_storage target {};
        socklen_t targetLength = sizeof target;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&target), &targetLength);
        if (clientFamily == AF_INET6 && listenFamily == AF_INET) {
            // A dual-stack client reaches the IPv4 listener through the mapped address.
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(&target);
            sockaddr_in6 mapped {};
            mapped.sin6_family = AF_INET6;
            mapped.sin6_port = v4->sin_port;
            mapped.sin6_addr.s6_addr[10] = 0xFF;
            mapped.sin6_addr.s6_addr[11] = 0xFF;
            std::memcpy(&mapped.sin6_addr.s6_addr[12], &v4->sin_addr, 4);
            std::memcpy(&target, &mapped, sizeof mapped);
            targetLength = sizeof mapped;
        }
        client = ::socket(clientFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(client, reinterpret_cast<sockaddr*>(&target), targetLength) != 0)
            return;
        accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    ~Connection()
    {
        for (int fd : { accepted, client, listener })
            if (fd >= 0)
                ::close(fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The client's socket as the tables list it.
    STcpSocketId ClientId() const { return { EndOf(client, false), EndOf(client, true) }; }
};

} // namespace

TEST(PeerOwner, BothLookupsNameThisUserForItsOwnConnectionsAndNoOneOnceTheyAreGone)
{
    const uint32_t self = static_cast<uint32_t>(::geteuid());
    struct Case {
        const char* name;
        int listenFamily;
        int clientFamily;
        const char* address;
    } cases[] = {
        { "IPv4", AF_INET, AF_INET, "127.0.0.1" },
        { "IPv6 client on the IPv4 listener", AF_INET, AF_INET6, "127.0.0.1" },
        { "IPv6", AF_INET6, AF_INET6, "::1" },
    };
    for (const Case& c : cases) {
        STcpSocketId clientId;
        {
            Connection connection(c.listenFamily, c.clientFamily, c.address);
            if (connection.accepted < 0 && c.listenFamily == AF_INET6) {
                printf("%s: no IPv6 loopback here; case left out\n", c.name);
                continue;
            }
            ASSERT_GE(connection.accepted, 0) << c.name;
            clientId = connection.ClientId();
            EXPECT_EQ(net::SocketOwnerByDiag(clientId), self) << c.name;
            EXPECT_EQ(net::SocketOwnerByScan(clientId), self) << c.name;
            // The server's view: the other end of what it accepted.
            const net::SPeerOwner owner = net::LookUpPeerOwner(connection.accepted);
            EXPECT_EQ(owner.verdict, net::EPeerOwner::Own) << c.name;
            EXPECT_EQ(owner.uid, self) << c.name;
            // A port nobody holds names no one.
            STcpSocketId nobody = clientId;
            nobody.local.port = static_cast<uint16_t>(clientId.local.port ^ 0x4000);
            EXPECT_EQ(net::SocketOwnerByDiag(nobody), std::nullopt) << c.name;
            EXPECT_EQ(net::SocketOwnerByScan(nobody), std::nullopt) << c.name;
            // The client closes first, so its socket stays behind in TIME_WAIT with no owner.
            ::close(connection.client);
            connection.client = -1;
        }
        EXPECT_EQ(net::SocketOwnerByDiag(clientId), std::nullopt) << c.name;
        EXPECT_EQ(net::SocketOwnerByScan(clientId), std::nullopt) << c.name;
    }
    // Not a connection at all.
    EXPECT_EQ(net::LookUpPeerOwner(INVALID_SOCKET).verdict, net::EPeerOwner::Unknown);
}

TEST(PeerOwner, TheSocketTableNamesTheOwnerOfThatSocketOnly)
{
    if constexpr (std::endian::native != std::endian::little)
        GTEST_SKIP() << "the tables below are written as a little-endian machine prints them";
    // The made-up toolbar socket: 127.0.0.1:40000 (9C40) connected to 127.0.0.1:6790 (1A86).
    const STcpSocketId v4 { End("127.0.0.1", 40000), End("127.0.0.1", 6790) };
    const STcpSocketId v6 { End("::1", 40000), End("::1", 6790) };
    const std::string header = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
                               "timeout inode\n";
    const auto line = [](const char* local, const char* remote, const char* state, uint32_t uid) {
        return std::string("   0: ") + local + " " + remote + " " + state + " 00000000:00000000 00:00000000 00000000 "
            + std::to_string(uid) + "        0 92766 1 " + "00000000cb771350 20 0 0 10 -1\n";
    };
    const std::string listener = line("0100007F:1A86", "00000000:0000", "0A", 1000);
    const std::string server = line("0100007F:1A86", "0100007F:9C40", "01", 1000);
    const std::string toolbar = line("0100007F:9C40", "0100007F:1A86", "01", kMadeUpOwner);
    const std::string mappedV6 = "0000000000000000FFFF00000100007F";
    const std::string loopbackV6 = "00000000000000000000000001000000";
    struct Case {
        const char* name;
        std::string table;
        bool v6;
        STcpSocketId socket;
        std::optional<uint32_t> owner;
    } cases[] = {
        { "among the listener and the server's end", header + listener + server + toolbar, false, v4, kMadeUpOwner },
        { "after lines cut short or garbled",
            header + "   7: 0100007F:9C40\n" + "   8: 0100007F:9C40 0100007F:1A86 01\n" + "   9: zz\n" + toolbar, false,
            v4, kMadeUpOwner },
        { "only the server's end and the listener", header + listener + server, false, v4, std::nullopt },
        { "in TIME_WAIT", header + line("0100007F:9C40", "0100007F:1A86", "06", 0), false, v4, std::nullopt },
        { "no socket at all", header, false, v4, std::nullopt },
        { "empty text", "", false, v4, std::nullopt },
        { "a dual-stack socket in tcp6",
            header + line((mappedV6 + ":9C40").c_str(), (mappedV6 + ":1A86").c_str(), "01", kMadeUpOwner), true, v4,
            kMadeUpOwner },
        { "an IPv6 socket",
            header + line((loopbackV6 + ":9C40").c_str(), (loopbackV6 + ":1A86").c_str(), "01", kMadeUpOwner), true, v6,
            kMadeUpOwner },
        { "an IPv4 table read as tcp6", header + toolbar, true, v4, std::nullopt },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net::OwnerInSocketTable(c.table, c.v6, c.socket), c.owner) << c.name;
        // The server refuses a made-up owner the scan names when the exact lookup names none.
        const net::SPeerOwner judged = net::JudgePeerOwner(
            std::nullopt, [&] { return net::OwnerInSocketTable(c.table, c.v6, c.socket); }, 1000);
        EXPECT_EQ(judged.verdict, c.owner ? net::EPeerOwner::Foreign : net::EPeerOwner::Unknown) << c.name;
    }
}

namespace {

// One netlink message with the body given.
template <typename Body> std::string NetlinkMessage(uint16_t type, const Body& body)
{
    struct {
        nlmsghdr header;
        Body body;
    } message {};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = type;
    message.body = body;
    return std::string(reinterpret_cast<const char*>(&message), sizeof message);
}

// One message of a sock_diag reply about a socket.
std::string DiagMessage(const STcpSocketId& socket, uint8_t family, uint8_t state, uint32_t uid)
{
    inet_diag_msg body {};
    body.idiag_family = family;
    body.idiag_state = state;
    body.idiag_uid = uid;
    body.id.idiag_sport = htons(socket.local.port);
    body.id.idiag_dport = htons(socket.remote.port);
    const size_t offset = family == AF_INET ? 12 : 0;
    std::memcpy(body.id.idiag_src, socket.local.address.data() + offset, 16 - offset);
    std::memcpy(body.id.idiag_dst, socket.remote.address.data() + offset, 16 - offset);
    return NetlinkMessage(SOCK_DIAG_BY_FAMILY, body);
}

std::string DiagError(int error)
{
    nlmsgerr body {};
    body.error = -error;
    return NetlinkMessage(NLMSG_ERROR, body);
}

} // namespace

TEST(PeerOwner, TheDiagnosticsReplyNamesTheOwnerOfThatSocketOnly)
{
    const STcpSocketId v4 { End("127.0.0.1", 40000), End("127.0.0.1", 6790) };
    const STcpSocketId v6 { End("::1", 40000), End("::1", 6790) };
    STcpSocketId listener = v4;
    listener.remote = STcpEnd {};
    STcpSocketId other = v4;
    other.local.port = 40001;
    constexpr uint8_t kEstablished = 1;
    constexpr uint8_t kTimeWait = 6;
    constexpr uint8_t kListen = 10;
    const std::string toolbar = DiagMessage(v4, AF_INET, kEstablished, kMadeUpOwner);
    struct Case {
        const char* name;
        std::string reply;
        STcpSocketId socket;
        std::optional<uint32_t> owner;
    } cases[] = {
        { "the socket", toolbar, v4, kMadeUpOwner },
        { "a dual-stack socket, listed as IPv6", DiagMessage(v4, AF_INET6, kEstablished, kMadeUpOwner), v4,
            kMadeUpOwner },
        { "an IPv6 socket", DiagMessage(v6, AF_INET6, kEstablished, kMadeUpOwner), v6, kMadeUpOwner },
        { "another socket first", DiagMessage(other, AF_INET, kEstablished, 1111) + toolbar, v4, kMadeUpOwner },
        { "another socket only", DiagMessage(other, AF_INET, kEstablished, 1111), v4, std::nullopt },
        { "a listener in its place", DiagMessage(listener, AF_INET, kListen, 1111), v4, std::nullopt },
        { "in TIME_WAIT", DiagMessage(v4, AF_INET, kTimeWait, 0), v4, std::nullopt },
        { "not found", DiagError(ENOENT), v4, std::nullopt },
        { "cut short", toolbar.substr(0, toolbar.size() - 8), v4, std::nullopt },
        { "a header only", toolbar.substr(0, sizeof(nlmsghdr)), v4, std::nullopt },
        { "nothing", std::string(), v4, std::nullopt },
    };
    for (const Case& c : cases)
        EXPECT_EQ(net::OwnerInDiagReply(c.reply.data(), c.reply.size(), c.socket), c.owner) << c.name;

    // The request asks for the one socket (no dump) in the family its addresses are in.
    for (const STcpSocketId& socket : { v4, v6 }) {
        const std::vector<uint8_t> bytes = net::BuildDiagRequest(socket, 7);
        nlmsghdr header;
        inet_diag_req_v2 request;
        ASSERT_EQ(bytes.size(), sizeof header + sizeof request);
        std::memcpy(&header, bytes.data(), sizeof header);
        std::memcpy(&request, bytes.data() + sizeof header, sizeof request);
        EXPECT_EQ(header.nlmsg_len, bytes.size());
        EXPECT_EQ(header.nlmsg_type, SOCK_DIAG_BY_FAMILY);
        EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST);
        EXPECT_EQ(request.sdiag_family, socket.local.IsMappedV4() ? AF_INET : AF_INET6);
        EXPECT_EQ(request.sdiag_protocol, IPPROTO_TCP);
        EXPECT_EQ(ntohs(request.id.idiag_sport), 40000);
        EXPECT_EQ(ntohs(request.id.idiag_dport), 6790);
        EXPECT_EQ(request.id.idiag_cookie[0], INET_DIAG_NOCOOKIE);
        // The kernel answers with the socket's own record, which names the same four values.
        const std::string answer = DiagMessage(socket, request.sdiag_family, kEstablished, kMadeUpOwner);
        inet_diag_msg listed;
        std::memcpy(&listed, answer.data() + NLMSG_HDRLEN, sizeof listed);
        EXPECT_EQ(std::memcmp(&listed.id, &request.id, offsetof(inet_diag_sockid, idiag_if)), 0);
    }
}

TEST(PeerOwner, OnlyAnOwnerThatIsThisUserIsAccepted)
{
    constexpr uint32_t self = 1000;
    const std::optional<uint32_t> none;
    struct Case {
        std::optional<uint32_t> exact;
        std::optional<uint32_t> scanned;
        net::EPeerOwner verdict;
        bool scanAsked;
    } cases[] = {
        { self, kMadeUpOwner, net::EPeerOwner::Own, false },
        { kMadeUpOwner, self, net::EPeerOwner::Foreign, false },
        { 0, none, net::EPeerOwner::Foreign, false },
        { none, self, net::EPeerOwner::Own, true },
        { none, kMadeUpOwner, net::EPeerOwner::Foreign, true },
        { none, none, net::EPeerOwner::Unknown, true },
    };
    for (const Case& c : cases) {
        bool asked = false;
        const net::SPeerOwner owner = net::JudgePeerOwner(
            c.exact,
            [&] {
                asked = true;
                return c.scanned;
            },
            self);
        EXPECT_EQ(owner.verdict, c.verdict);
        EXPECT_EQ(asked, c.scanAsked);
        EXPECT_EQ(owner.uid, c.exact ? c.exact : c.scanned);
    }
}
