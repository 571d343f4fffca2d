// The frame reader of CPerfSocket: frames cut from any split of the byte stream, limits, lengths
// that cannot be framed, and the receive loop and send queue on real socket pairs.
#include "Network/PerfSocket.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Got {
    DWORD type;
    DWORD param;
    QByteArray payload;
    bool operator==(const Got&) const = default;
};

QByteArray Le32(DWORD v)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray Frame(DWORD type, DWORD param, const QByteArray& payload)
{
    return Le32(type) + Le32(param) + Le32(static_cast<DWORD>(payload.size())) + payload;
}

// Feeds bytes as the receive loop would after a recv, and records what OnMessage sees.
class CFrameProbe : public CPerfSocket {
public:
    CFrameProbe()
        : CPerfSocket(TYPE_TCP, 0)
    {
    }

    BOOL OnMessage(const SMessage* msg) override
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_NE(msg->payload, nullptr);
        got.push_back({ msg->type, msg->param,
            QByteArray(reinterpret_cast<const char*>(msg->payload), static_cast<qsizetype>(msg->payloadLength)) });
        return msg->type == 99 ? FALSE : TRUE; // 99: a message nobody handles
    }

    FrameResult Feed(const QByteArray& bytes, int maxMessages = -1)
    {
        EXPECT_LE(m_dwRecvCount + bytes.size(), m_dwBufferSize);
        std::memcpy(m_pRecvBuffer.get() + m_dwRecvCount, bytes.constData(), static_cast<size_t>(bytes.size()));
        m_dwRecvCount += static_cast<DWORD>(bytes.size());
        return DeliverFrames(maxMessages, handled);
    }
    DWORD Held() const { return m_dwRecvCount; }

    std::mutex lock;
    std::vector<Got> got;
    int handled = 0;
    using CPerfSocket::FrameResult;
};

using FrameResult = CFrameProbe::FrameResult;

TEST(FrameReaderTest, EverySplitOfTheStreamDeliversEachFrameOnceWhenComplete)
{
    const std::vector<Got> frames = { { 5, 0, QByteArray() }, { 0, 7, QByteArray("http://a/\0", 10) },
        { 3, 1, QByteArray(300, 'x') }, { 99, 2, "yz" } };
    QByteArray stream;
    std::vector<int> ends; // where each frame ends in the stream
    for (const Got& f : frames) {
        stream += Frame(f.type, f.param, f.payload);
        ends.push_back(static_cast<int>(stream.size()));
    }
    for (int split = 0; split <= stream.size(); ++split) {
        CFrameProbe probe;
        ASSERT_EQ(probe.Feed(stream.left(split)), FrameResult::More);
        size_t complete = 0;
        while (complete < ends.size() && ends[complete] <= split)
            ++complete;
        ASSERT_EQ(probe.got.size(), complete) << "split at " << split;
        ASSERT_EQ(probe.Feed(stream.mid(split)), FrameResult::More);
        ASSERT_EQ(probe.got, frames) << "split at " << split;
        EXPECT_EQ(probe.Held(), 0u);
        EXPECT_EQ(probe.handled, 3); // the unhandled type does not count
    }
    // And one byte at a time.
    CFrameProbe probe;
    for (char byte : stream)
        probe.Feed(QByteArray(1, byte));
    EXPECT_EQ(probe.got, frames);
}

TEST(FrameReaderTest, RandomStreamsInRandomPiecesComeOutWhole)
{
    std::mt19937 random(20261210);
    for (int round = 0; round < 300; ++round) {
        std::vector<Got> frames;
        QByteArray stream;
        const int count = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            const DWORD kind = random() % 8;
            // Mostly small payloads, now and then a large one or an empty one.
            const int size = random() % 10 == 0 ? static_cast<int>(random() % 200000) : static_cast<int>(random() % 64);
            QByteArray payload(size, '\0');
            for (char& c : payload)
                c = static_cast<char>(random());
            frames.push_back({ kind, static_cast<DWORD>(random()), payload });
            stream += Frame(kind, frames.back().param, payload);
        }
        // A stream that ends in a header no buffer can hold is cut off there.
        const bool poisoned = random() % 4 == 0;
        if (poisoned)
            stream += Le32(0) + Le32(0)
                + Le32(CPerfSocket::kBufferSize - MSGSIZE + 1 + static_cast<DWORD>(random() % 1000));

        CFrameProbe probe;
        FrameResult last = FrameResult::More;
        for (int at = 0; at < stream.size() && last == FrameResult::More;) {
            const int piece = 1 + static_cast<int>(random() % (random() % 3 == 0 ? 70000 : 40));
            last = probe.Feed(stream.mid(at, piece));
            at += piece;
        }
        ASSERT_EQ(last, poisoned ? FrameResult::Malformed : FrameResult::More) << "round " << round;
        ASSERT_EQ(probe.got, frames) << "round " << round;
    }
}

TEST(FrameReaderTest, LengthsThatCannotBeFramedEndTheConnection)
{
    const DWORD kLargestPayload = CPerfSocket::kBufferSize - MSGSIZE;
    struct Case {
        DWORD length;
        FrameResult result;
    } cases[] = {
        { 0xFFFFFFFFu, FrameResult::Malformed },
        { 0xFFFFFFF4u, FrameResult::Malformed }, // + 12 wraps to 0 in 32 bits
        { 0xFFFFFFF5u, FrameResult::Malformed }, // wraps to 1
        { 0x80000000u, FrameResult::Malformed },
        { kLargestPayload + 1, FrameResult::Malformed },
        { kLargestPayload, FrameResult::More },
    };
    for (const Case& c : cases) {
        CFrameProbe probe;
        // A valid frame before the bad one still arrives.
        EXPECT_EQ(probe.Feed(Frame(5, 0, "ok") + Le32(0) + Le32(0) + Le32(c.length) + "abc"), c.result) << c.length;
        ASSERT_EQ(probe.got.size(), 1u) << c.length;
    }
    // The largest frame fills the buffer exactly and is delivered.
    CFrameProbe probe;
    const QByteArray payload(static_cast<qsizetype>(kLargestPayload), 'p');
    EXPECT_EQ(probe.Feed(Frame(0, 1, payload)), FrameResult::More);
    ASSERT_EQ(probe.got.size(), 1u);
    EXPECT_EQ(probe.got[0].payload, payload);
}

TEST(FrameReaderTest, MessageLimitCountsHandledMessagesOnly)
{
    CFrameProbe probe;
    const QByteArray stream = Frame(99, 0, "a") + Frame(5, 1, "") + Frame(5, 2, "b") + Frame(5, 3, "c");
    EXPECT_EQ(probe.Feed(stream, 1), FrameResult::LimitReached);
    EXPECT_EQ(probe.got.size(), 2u); // the unhandled one, then the one that reached the limit
    EXPECT_EQ(probe.handled, 1);
    EXPECT_EQ(probe.Held(), static_cast<DWORD>(Frame(5, 2, "b").size() + Frame(5, 3, "c").size()));
}

TEST(FrameReaderTest, DefaultHandlerTakesOnlyNop)
{
    CPerfSocket socket(CSocket::TYPE_TCP, 0);
    const BYTE none = 0;
    for (DWORD type : { 0u, 1u, 2u, 3u, 4u, 6u, 0xFFFFFFFFu }) {
        SMessage msg { type, 0, 0, &none };
        EXPECT_FALSE(socket.OnMessage(&msg)) << type;
    }
    SMessage nop { 5, 0, 0, &none };
    EXPECT_TRUE(socket.OnMessage(&nop));
    EXPECT_FALSE(socket.OnMessage(nullptr));
    EXPECT_FALSE(socket.Send(nullptr, 12));
    EXPECT_FALSE(socket.Send(&none, 0));
    EXPECT_FALSE(socket.Send(&none, 1)); // no socket
}

// A CPerfSocket on one end of a stream socket pair; the test holds the other end.
class SocketPairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        probe.m_sock = ends[0];
        peer = ends[1];
    }
    void TearDown() override
    {
        if (loop.joinable()) {
            probe.SignalStop();
            loop.join();
        }
        if (peer >= 0)
            ::close(peer);
    }
    void StartLoop(int maxMessages = -1)
    {
        loop = std::thread([this, maxMessages] { result = probe.ReceiveTCPPackets(maxMessages); });
    }
    void Write(const QByteArray& bytes)
    {
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n
                = ::send(peer, bytes.constData() + at, static_cast<size_t>(bytes.size() - at), MSG_NOSIGNAL);
            ASSERT_GT(n, 0);
            at += n;
        }
    }

    CFrameProbe probe;
    int peer = -1;
    std::thread loop;
    std::atomic<int> result { -1 };
};

TEST_F(SocketPairTest, BytesThatArriveWithTheCloseAreStillDelivered)
{
    // Everything is there before the loop looks: data and the close in one notification.
    const QByteArray stream = Frame(5, 1, "one") + Frame(5, 2, "") + Frame(0, 3, QByteArray("http://x/\0", 10));
    Write(stream);
    ::shutdown(peer, SHUT_WR);
    StartLoop();
    loop.join();
    EXPECT_EQ(result.load(), 3);
    ASSERT_EQ(probe.got.size(), 3u);
    EXPECT_EQ(probe.got[2].payload, QByteArray("http://x/\0", 10));
    EXPECT_TRUE(probe.IsStopSignalled());
    // A finished loop ends at once when run again.
    EXPECT_EQ(probe.ReceiveTCPPackets(-1), 0);
}

TEST_F(SocketPairTest, StopEndsAWaitingLoop)
{
    StartLoop();
    ASSERT_TRUE(probe.WaitStart(10));
    Write(Frame(5, 9, "x"));
    probe.SignalStop();
    loop.join();
    EXPECT_LE(probe.got.size(), 1u);
}

TEST_F(SocketPairTest, LimitEndsTheLoop)
{
    Write(Frame(99, 0, "") + Frame(5, 1, "") + Frame(5, 2, ""));
    StartLoop(1);
    loop.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(probe.got.size(), 2u);
}

TEST_F(SocketPairTest, MalformedFrameEndsOnlyTheLoop)
{
    Write(Frame(5, 1, "") + Le32(0) + Le32(0) + Le32(0xFFFFFFF4u) + QByteArray(64, 'z'));
    StartLoop();
    loop.join();
    EXPECT_EQ(probe.got.size(), 1u);
}

TEST_F(SocketPairTest, QueuedBytesLeaveInOrderWhenThePeerReadsAgain)
{
    StartLoop();
    ASSERT_TRUE(probe.WaitStart(10));
    // Far more than the socket pair buffers: most of it waits in the queue while the peer is not
    // reading, and must follow in order once it does.
    QByteArray sent;
    for (int i = 0; i < 96; ++i) {
        QByteArray chunk(65536, '\0');
        for (int j = 0; j < chunk.size(); j += 4) {
            const DWORD word = static_cast<DWORD>(i * 65536 + j);
            std::memcpy(chunk.data() + j, &word, 4);
        }
        CMutexLocker lock(probe.m_lock);
        ASSERT_TRUE(probe.Send(chunk.constData(), static_cast<DWORD>(chunk.size())));
        sent += chunk;
    }
    QByteArray received;
    char buffer[1 << 16];
    while (received.size() < sent.size()) {
        const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
        ASSERT_GT(n, 0);
        received.append(buffer, n);
    }
    EXPECT_TRUE(received == sent);
}

TEST_F(SocketPairTest, APeerThatNeverReadsLosesItsConnection)
{
    StartLoop();
    ASSERT_TRUE(probe.WaitStart(10));
    const QByteArray chunk(1 << 20, 'q');
    BOOL ok = TRUE;
    for (int i = 0; i < 40 && ok; ++i) {
        CMutexLocker lock(probe.m_lock);
        ok = probe.Send(chunk.constData(), static_cast<DWORD>(chunk.size()));
    }
    EXPECT_FALSE(ok);
    loop.join(); // the refusal ended the connection's loop
    EXPECT_TRUE(probe.IsStopSignalled());
}

} // namespace
