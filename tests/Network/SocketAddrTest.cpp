// Socket addresses and the listening socket.
#include "Network/SocketAddr.h"
#include "Network/Socket.h"
#include "core/Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

TEST(SocketAddrTest, LoopbackAddressHasTheRecordLayout)
{
    const CSocketAddr address("127.0.0.1", 6790);
    const unsigned char expected[16] = { 0x02, 0x00, 0x1A, 0x86, 0x7F, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0 };
    EXPECT_EQ(std::memcmp(&address, expected, sizeof expected), 0);
    EXPECT_EQ(address.GetPort(), 6790);
}

TEST(SocketAddrTest, DottedTextAndItsDestinationSize)
{
    char text[32];
    CSocketAddr(nullptr, 0).GetDottedAddress(text, sizeof text);
    EXPECT_STREQ(text, "0.0.0.0");

    const CSocketAddr address("192.168.100.200", 80);
    struct Case {
        size_t size;
        const char* expected;
    } cases[] = { { 8, "" }, { 15, "" }, { 16, "192.168.100.200" }, { 32, "192.168.100.200" } };
    for (const Case& c : cases) {
        std::memset(text, 'x', sizeof text);
        address.GetDottedAddress(text, c.size);
        EXPECT_STREQ(text, c.expected) << "size " << c.size;
    }
}

TEST(SocketAddrTest, MulticastIsTheTopThreeBits)
{
    struct Case {
        const char* host;
        BOOL multicast;
    } cases[] = { { "224.0.0.1", TRUE }, { "240.0.0.1", TRUE }, { "255.255.255.255", TRUE },
        { "223.255.255.255", FALSE }, { "127.0.0.1", FALSE } };
    for (const Case& c : cases) {
        // 255.255.255.255 is INADDR_NONE to inet_addr: built from the record instead.
        sockaddr_in record {};
        record.sin_family = AF_INET;
        ASSERT_EQ(inet_pton(AF_INET, c.host, &record.sin_addr), 1);
        const CSocketAddr address(reinterpret_cast<const sockaddr*>(&record), sizeof record);
        EXPECT_EQ(address.IsMulticast(), c.multicast) << c.host;
    }
}

TEST(SocketAddrTest, RecordConstructorCopiesAtMostTheRecord)
{
    unsigned char bytes[40];
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<unsigned char>(i + 1);
    const CSocketAddr shortCopy(reinterpret_cast<const sockaddr*>(bytes), 4);
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&shortCopy);
    EXPECT_EQ(raw[3], 4);
    EXPECT_EQ(raw[4], 0);
    const CSocketAddr longCopy(reinterpret_cast<const sockaddr*>(bytes), sizeof bytes);
    EXPECT_EQ(std::memcmp(&longCopy, bytes, 16), 0);
}

TEST(SocketAddrTest, UnknownHostThrowsItsResolverMessage)
{
    try {
        CSocketAddr address("no-such-host.invalid", 80);
        FAIL() << "resolved";
    } catch (CSocketException& e) {
        const QString& message = e.GetMessage();

        EXPECT_TRUE(message.startsWith(QStringLiteral("no-such-host.invalid: "))) << qPrintable(message);
        const int code = e.GetErrorCode();
        EXPECT_TRUE(code == WSAHOST_NOT_FOUND || code == WSATRY_AGAIN || code == WSANO_DATA) << code;
        if (code == WSAHOST_NOT_FOUND) {
            EXPECT_TRUE(message.startsWith(QStringLiteral("no-such-host.invalid: Unknown host\n")));
        }
    }
}

TEST(SocketTest, ListensAcceptsAndTellsBothEnds)
{
    CSocket server(0, CSocket::TYPE_TCP);
    server.Listen("127.0.0.1", nullptr);
    const WORD port = server.GetLocalAddress().GetPort();
    ASSERT_NE(port, 0);

    const SOCKET client = taluvo::net::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const CSocketAddr target("127.0.0.1", port);
    ASSERT_EQ(taluvo::net::connect(client, target.Get(), CSocketAddr::Size()), 0);
    CSocket accepted(0, CSocket::TYPE_TCP);
    accepted.m_sock = server.Accept();
    ASSERT_NE(accepted.m_sock.load(), INVALID_SOCKET);
    EXPECT_EQ(accepted.GetLocalAddress().GetPort(), port);
    char text[32];
    accepted.GetRemoteAddress().GetDottedAddress(text, sizeof text);
    EXPECT_STREQ(text, "127.0.0.1");
    accepted.CloseSocket();
    accepted.CloseSocket(); // already closed: nothing happens
    EXPECT_EQ(accepted.m_sock.load(), INVALID_SOCKET);
    taluvo::net::closesocket(client);
}

TEST(SocketTest, PortInUseAndClosedSocketFailAsReported)
{
    CSocket first(0, CSocket::TYPE_TCP);
    first.Listen("127.0.0.1", nullptr);
    CSocket second(first.GetLocalAddress().GetPort(), CSocket::TYPE_TCP);
    try {
        second.Listen("127.0.0.1", nullptr);
        FAIL() << "bound twice";
    } catch (CSocketException& e) {
        EXPECT_TRUE(e.GetMessage().startsWith(QStringLiteral("CSocket::Listen. bind failed.\n")));
        EXPECT_EQ(e.GetErrorCode(), WSAEADDRINUSE);
    }
    CSocket none(0, CSocket::TYPE_TCP);
    EXPECT_THROW(none.GetRemoteAddress(), CSocketException);
    EXPECT_EQ(none.Accept(), INVALID_SOCKET);
}

TEST(SocketTest, ShutdownWakesABlockedAccept)
{
    CSocket server(0, CSocket::TYPE_TCP);
    server.Listen("127.0.0.1", nullptr);
    SOCKET accepted = 0;
    std::thread acceptor([&] { accepted = server.Accept(); });
    // Whether the thread is already blocked or not, the shut-down socket accepts nothing.
    taluvo::net::shutdown(server.m_sock, SD_BOTH);
    acceptor.join();
    EXPECT_EQ(accepted, INVALID_SOCKET);
}

} // namespace
