#include "platform/net/WinSock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>

namespace net = taluvo::net;

namespace {

// A listening socket on a free loopback port.
struct Listener {
    SOCKET s = INVALID_SOCKET;
    sockaddr_in address {};

    Listener()
    {
        s = net::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        EXPECT_EQ(net::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        int len = sizeof address;
        EXPECT_EQ(net::getsockname(s, reinterpret_cast<sockaddr*>(&address), &len), 0);
        EXPECT_EQ(net::listen(s, 5), 0);
    }
    ~Listener() { net::closesocket(s); }
};

// A client socket selected onto its own event, connected to the listener and accepted.
struct Pair {
    WSAEVENT event = net::WSACreateEvent();
    SOCKET client = net::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKET server = INVALID_SOCKET;

    Pair(const Listener& listener, LONG mask)
    {
        EXPECT_EQ(net::WSAEventSelect(client, event, mask), 0);
        const int rc
            = net::connect(client, reinterpret_cast<const sockaddr*>(&listener.address), sizeof listener.address);
        if (rc != 0) {
            EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        }
        server = net::accept(listener.s, nullptr, nullptr);
        EXPECT_NE(server, INVALID_SOCKET);
    }
    ~Pair()
    {
        net::closesocket(client);
        if (server != INVALID_SOCKET)
            net::closesocket(server);
        net::WSACloseEvent(event);
    }
    WSANETWORKEVENTS Wait(DWORD ms = 5000)
    {
        WSANETWORKEVENTS events {};
        if (WaitForSingleObject(event, ms) == WAIT_OBJECT_0) {
            EXPECT_EQ(net::WSAEnumNetworkEvents(client, event, &events), 0);
        }
        return events;
    }
};

} // namespace

TEST(WinSock, ErrnoAndResolverErrorsMapToWinSockNumbers)
{
    const std::pair<int, int> errnoCases[] = {
        { 0, 0 },
        { EAGAIN, 10035 },
        { EINPROGRESS, 10035 },
        { ECONNREFUSED, 10061 },
        { ECONNRESET, 10054 },
        { EPIPE, 10054 },
        { ETIMEDOUT, 10060 },
        { EADDRINUSE, 10048 },
        { ENOTCONN, 10057 },
        { EHOSTUNREACH, 10065 },
        { ENETUNREACH, 10051 },
        { EBADF, 10038 },
        { EINTR, 10004 },
        { EMFILE, 10024 },
        { ECONNABORTED, 10053 },
    };
    for (auto [error, wsa] : errnoCases)
        EXPECT_EQ(net::WSAErrorFromErrno(error), wsa) << std::strerror(error);
    EXPECT_EQ(net::WSAErrorFromResolver(EAI_NONAME), WSAHOST_NOT_FOUND);
    EXPECT_EQ(net::WSAErrorFromResolver(EAI_AGAIN), WSATRY_AGAIN);
    EXPECT_EQ(net::WSAErrorFromResolver(EAI_FAIL), WSANO_RECOVERY);
}

TEST(WinSock, StartupChecksVersionAndCounts)
{
    WSADATA data;
    EXPECT_EQ(net::WSAStartup(0x0000, &data), WSAVERNOTSUPPORTED);
    ASSERT_EQ(net::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(net::WSACleanup(), 0);
    EXPECT_EQ(net::WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinSock, NamesAndServices)
{
    EXPECT_EQ(net::inet_addr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(net::inet_addr("not an address"), INADDR_NONE);
    EXPECT_EQ(net::inet_addr(nullptr), INADDR_NONE);

    hostent* host = net::gethostbyname("localhost");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->h_addrtype, AF_INET);
    ASSERT_EQ(host->h_length, 4);
    ASSERT_NE(host->h_addr_list[0], nullptr);
    EXPECT_EQ(reinterpret_cast<in_addr*>(host->h_addr_list[0])->s_addr, htonl(INADDR_LOOPBACK));

    EXPECT_EQ(net::gethostbyname("no-such-host.invalid"), nullptr);
    const int error = WSAGetLastError();
    EXPECT_TRUE(error == WSAHOST_NOT_FOUND || error == WSATRY_AGAIN || error == WSANO_DATA) << error;

    servent* smtp = net::getservbyname("smtp", "tcp");
    ASSERT_NE(smtp, nullptr);
    EXPECT_EQ(ntohs(static_cast<uint16_t>(smtp->s_port)), 25);
    EXPECT_EQ(net::getservbyname("no-such-service", "tcp"), nullptr);

    char name[64] = {};
    EXPECT_EQ(net::gethostname(name, sizeof name), 0);
    EXPECT_GT(std::strlen(name), 0u);
}

TEST(WinSock, EventSelectReportsConnectWriteReadAndCloseOnce)
{
    Listener listener;
    Pair pair(listener, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);

    WSANETWORKEVENTS events = pair.Wait();
    EXPECT_TRUE(events.lNetworkEvents & FD_CONNECT);
    EXPECT_EQ(events.iErrorCode[FD_CONNECT_BIT], 0);
    // FD_WRITE comes with the connection or on its own right after it.
    if (!(events.lNetworkEvents & FD_WRITE)) {
        EXPECT_TRUE(pair.Wait().lNetworkEvents & FD_WRITE);
    }

    // Nothing more until something happens: writability is not reported again.
    EXPECT_EQ(WaitForSingleObject(pair.event, 100), WAIT_TIMEOUT);

    ASSERT_EQ(net::send(pair.server, "hello", 5, 0), 5);
    events = pair.Wait();
    EXPECT_EQ(events.lNetworkEvents, FD_READ);
    // Until recv is called, FD_READ is not reported again although the data is still there.
    EXPECT_EQ(WaitForSingleObject(pair.event, 100), WAIT_TIMEOUT);
    char buffer[16];
    EXPECT_EQ(net::recv(pair.client, buffer, 2, 0), 2);
    EXPECT_EQ(pair.Wait().lNetworkEvents, FD_READ); // three bytes remain
    EXPECT_EQ(net::recv(pair.client, buffer, sizeof buffer, 0), 3);
    EXPECT_EQ(std::string(buffer, 3), "llo");
    EXPECT_EQ(net::recv(pair.client, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

    net::closesocket(pair.server);
    pair.server = INVALID_SOCKET;
    events = pair.Wait();
    EXPECT_TRUE(events.lNetworkEvents & FD_CLOSE);
    EXPECT_EQ(events.iErrorCode[FD_CLOSE_BIT], 0);
    EXPECT_EQ(net::recv(pair.client, buffer, sizeof buffer, 0), 0);
    // A closed connection keeps poll readable; the wait must not spin on it or report it again.
    EXPECT_EQ(WaitForSingleObject(pair.event, 100), WAIT_TIMEOUT);
}

TEST(WinSock, RefusedConnectionShowsOnConnectOrOnTheNextReceive)
{
    sockaddr_in address;
    {
        Listener closedSoon; // a port that was free a moment ago and has no listener now
        address = closedSoon.address;
    }
    WSAEVENT event = net::WSACreateEvent();
    SOCKET s = net::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(net::WSAEventSelect(s, event, FD_READ | FD_WRITE | FD_CONNECT), 0);
    const int rc = net::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ASSERT_EQ(rc, SOCKET_ERROR);
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        ASSERT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
        char buffer[8];
        EXPECT_EQ(net::recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    } else {
        EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    }
    net::closesocket(s);
    net::WSACloseEvent(event);
}

TEST(WinSock, WaitSeesSocketAndOtherEventsTogether)
{
    Listener listener;
    Pair pair(listener, FD_READ | FD_CLOSE);
    HANDLE stop = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    const HANDLE handles[2] = { pair.event, stop };

    std::thread setter([stop] { SetEvent(stop); });
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 5000), WAIT_OBJECT_0 + 1);
    setter.join();
    ResetEvent(stop);

    std::thread writer([&] { net::send(pair.server, "x", 1, 0); });
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 5000), WAIT_OBJECT_0);
    writer.join();
    CloseHandle(stop);
}

TEST(WinSock, SendToAClosedPeerFailsWithoutSignal)
{
    Listener listener;
    Pair pair(listener, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
    pair.Wait();
    // The peer goes away with unread data: the connection is reset.
    net::send(pair.client, "abc", 3, 0);
    const linger hard { 1, 0 };
    net::setsockopt(pair.server, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    net::closesocket(pair.server);
    pair.server = INVALID_SOCKET;

    int error = 0;
    for (int i = 0; i < 100 && error == 0; ++i) {
        if (net::send(pair.client, "more", 4, 0) == SOCKET_ERROR)
            error = WSAGetLastError();
        else
            WaitForSingleObject(pair.event, 20);
    }
    EXPECT_EQ(error, WSAECONNRESET); // and the process is still alive: no SIGPIPE

    // After a local shutdown of the sending side the error says so.
    Pair other(listener, FD_READ | FD_WRITE | FD_CONNECT);
    other.Wait();
    EXPECT_EQ(net::shutdown(other.client, SD_SEND), 0);
    EXPECT_EQ(net::send(other.client, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
}

TEST(WinSock, CancelledSelectionStopsReports)
{
    Listener listener;
    Pair pair(listener, FD_READ);
    ASSERT_EQ(net::WSAEventSelect(pair.client, pair.event, 0), 0);
    ASSERT_EQ(net::send(pair.server, "x", 1, 0), 1);
    EXPECT_EQ(WaitForSingleObject(pair.event, 100), WAIT_TIMEOUT);
    // The socket stays non-blocking, as in WinSock.
    char buffer[4];
    EXPECT_EQ(net::recv(pair.client, buffer, sizeof buffer, 0), 1);
    EXPECT_EQ(net::recv(pair.client, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST(WinSock, AcceptIsReportedOncePerConnection)
{
    Listener listener;
    WSAEVENT event = net::WSACreateEvent();
    ASSERT_EQ(net::WSAEventSelect(listener.s, event, FD_ACCEPT), 0);
    SOCKET client = net::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(net::connect(client, reinterpret_cast<sockaddr*>(&listener.address), sizeof listener.address), 0);
    ASSERT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    WSANETWORKEVENTS events {};
    ASSERT_EQ(net::WSAEnumNetworkEvents(listener.s, event, &events), 0);
    EXPECT_EQ(events.lNetworkEvents, FD_ACCEPT);
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    sockaddr_in peer {};
    int len = sizeof peer;
    SOCKET accepted = net::accept(listener.s, reinterpret_cast<sockaddr*>(&peer), &len);
    EXPECT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(peer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    net::closesocket(accepted);
    net::closesocket(client);
    net::WSACloseEvent(event);
}

TEST(WinSock, ShutdownWakesABlockedAccept)
{
    Listener listener;
    std::promise<SOCKET> accepted;
    std::thread waiter([&] { accepted.set_value(net::accept(listener.s, nullptr, nullptr)); });
    auto result = accepted.get_future();
    // The accept is blocked until the listening socket is shut down from this thread.
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(net::shutdown(listener.s, SD_BOTH), 0);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result.get(), INVALID_SOCKET);
    waiter.join();
}
