#include "Network/PerfSocket.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"

#include <algorithm>
#include <climits>
#include <cstring>

TRACE_MODULE("CPerfSocket");

namespace {

DWORD ReadLe32(const BYTE* bytes)
{
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16
        | static_cast<DWORD>(bytes[3]) << 24;
}

} // namespace

CPerfSocket::CPerfSocket(int type, WORD port)
    : CSocket(port, type)
{
    // Zero pages from the system: a connection costs memory only for what it receives.
    m_pRecvBuffer.reset(static_cast<BYTE*>(std::calloc(1, m_dwBufferSize)));
    FAIL_CHECK(m_pRecvBuffer, QStringLiteral("CPerfSocket::PerfSocket. Unable to allocate receive buffer."));
    m_hSocketEvent = taluvo::net::WSACreateEvent();
    FAIL_CHECK(m_hSocketEvent, QStringLiteral("CPerfSocket::PerfSocket. Unable to create socket signal event."));
    m_hCloseEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    FAIL_CHECK(m_hCloseEvent, QStringLiteral("CPerfSocket::PerfSocket. Unable to create close signal event."));
    m_hConnectEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    FAIL_CHECK(m_hConnectEvent, QStringLiteral("CPerfSocket::PerfSocket. Unable to create connect signal event."));
    m_hStartEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    FAIL_CHECK(m_hStartEvent, QStringLiteral("CPerfSocket::PerfSocket. Unable to create start signal event."));
    ResetBuffers();
}

CPerfSocket::~CPerfSocket()
{
    CPerfSocket::Close();
    for (HANDLE* event : { &m_hSocketEvent, &m_hCloseEvent, &m_hConnectEvent, &m_hStartEvent }) {
        if (*event)
            CloseHandle(*event);
        *event = nullptr;
    }
}

BOOL CPerfSocket::OnMessage(const SMessage* msg)
{
    return msg && msg->type == 5 ? TRUE : FALSE;
}

int CPerfSocket::ReceiveTCPPackets(int maxMessages)
{
    TRACE_SCOPE(u"CPerfSocket::ReceiveTCPPackets");
    int handled = 0;
    try {
        ResetEvent(m_hCloseEvent);
        ResetEvent(m_hSocketEvent);
        ResetEvent(m_hConnectEvent);
        int rc;
        {
            CMutexLocker lock(m_lock);
            rc = taluvo::net::WSAEventSelect(m_sock, m_hSocketEvent, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
        }
        FAIL_CHECK(rc != SOCKET_ERROR, QStringLiteral("WSAEventSelect() failed."));
        SetEvent(m_hStartEvent);

        bool end = false;
        while (!m_bStop.load() && !end) {
            // A frame begun and not finished holds its bytes: it gets a limited time to come whole.
            DWORD timeout = INFINITE;
            if (m_dwRecvCount > 0) {
                const auto held = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - m_incompleteSince)
                                      .count();
                if (held >= static_cast<int64_t>(m_dwIncompleteFrameLimitMs)) {
                    TRACE0(u"CPerfSocket::ReceiveTCPPackets. A frame stayed incomplete for %u ms; closing the "
                           u"connection.\r\n",
                        m_dwIncompleteFrameLimitMs);
                    break;
                }
                timeout = static_cast<DWORD>(m_dwIncompleteFrameLimitMs - held);
            }
            TRACE2(u"CPerfSocket::ReceiveTCPPackets. WaitForMultipleObjects() ...\r\n");
            const HANDLE events[2] = { m_hSocketEvent, m_hCloseEvent };
            const DWORD dwRes = WaitForMultipleObjects(2, events, FALSE, timeout);
            SOCKET_CHECK(dwRes != WAIT_FAILED, QStringLiteral("WaitForMultipleObjects() failed."));
            if (dwRes == WAIT_TIMEOUT)
                continue;
            const DWORD index = dwRes - WAIT_OBJECT_0;
            TRACE2(u"CPerfSocket::ReceiveTCPPackets. WaitForMultipleObjects() return index: %d.\r\n", index);

            for (DWORD i = index; i < 2 && !end; ++i) {
                if (i != index && WaitForSingleObject(events[i], 0) != WAIT_OBJECT_0)
                    continue;
                if (i == 1) {
                    TRACE1(u"CPerfSocket::ReceiveTCPPackets. Close event is SIGNALED.\r\n");
                    end = true;
                    break;
                }
                WSANETWORKEVENTS socketEvents {};
                {
                    CMutexLocker lock(m_lock);
                    rc = taluvo::net::WSAEnumNetworkEvents(m_sock, m_hSocketEvent, &socketEvents);
                }
                // The socket was closed under the loop: the connection is over.
                SOCKET_CHECK(rc != SOCKET_ERROR, QStringLiteral("WSAEnumNetworkEvents() failed."));

                if (socketEvents.lNetworkEvents & FD_CONNECT) {
                    TRACE2(u"CPerfSocket::ReceiveTCPPackets. ->FD_CONNECT.\r\n");
                    FAIL_CHECK(0 == socketEvents.iErrorCode[FD_CONNECT_BIT], QStringLiteral("FD_CONNECT error"));
                    SetEvent(m_hConnectEvent);
                    TRACE2(u"CPerfSocket::ReceiveTCPPackets. <-FD_CONNECT.\r\n");
                }
                if (socketEvents.lNetworkEvents & FD_CLOSE) {
                    TRACE1(u"CPerfSocket::ReceiveTCPPackets. FD_CLOSE.\r\n");
                    // What the peer sent before it closed is still its request: deliver it.
                    ReadAvailable(maxMessages, handled, true);
                    end = true;
                    break;
                }
                if (socketEvents.lNetworkEvents & FD_READ) {
                    TRACE2(u"CPerfSocket::ReceiveTCPPackets. ->FD_READ.\r\n");
                    FAIL_CHECK(0 == socketEvents.iErrorCode[FD_READ_BIT], QStringLiteral("FD_READ error"));
                    end = ReadAvailable(maxMessages, handled, false);
                    TRACE2(u"CPerfSocket::ReceiveTCPPackets. <-FD_READ.\r\n");
                }
                if (!end && (socketEvents.lNetworkEvents & FD_WRITE)) {
                    TRACE2(u"CPerfSocket::ReceiveTCPPackets. ->FD_WRITE.\r\n");
                    FAIL_CHECK(0 == socketEvents.iErrorCode[FD_WRITE_BIT], QStringLiteral("FD_WRITE_BIT error"));
                    DrainSendQueue();
                    TRACE2(u"CPerfSocket::ReceiveTCPPackets. <-FD_WRITE.\r\n");
                }
            }
        }
        TRACE1(u"CPerfSocket::ReceiveTCPPackets. End of loop.\r\n");
        SignalStop();
    } catch (CCmnException& e) {
        TRACE0(u"CPerfSocket::ReceiveTCPPackets. Exception: %s\r\n", e.GetMessage());
    }
    return handled;
}

bool CPerfSocket::ReadAvailable(int maxMessages, int& handled, bool toTheEnd)
{
    // A peer that floods the connection must not keep a stopping loop reading.
    while (!m_bStop.load()) {
        int received;
        int error = 0;
        {
            CMutexLocker lock(m_lock);
            const SOCKET sock = m_sock;
            if (sock == INVALID_SOCKET || !m_pRecvBuffer)
                return true;
            received = taluvo::net::recv(sock, reinterpret_cast<char*>(m_pRecvBuffer.get()) + m_dwRecvCount,
                static_cast<int>(m_dwBufferSize - m_dwRecvCount), 0);
            if (received == SOCKET_ERROR)
                error = WSAGetLastError();
        }
        if (received == SOCKET_ERROR) {
            if (error == WSAEWOULDBLOCK) {
                TRACE2(u"CPerfSocket::ReceiveTCPPackets. FD_READ WSAEWOULDBLOCK.\r\n");
                return toTheEnd;
            }
            if (toTheEnd)
                return true; // a reset after the close: nothing more to read
            WSASetLastError(error);
            throw CSocketException(
                QStringLiteral("recv() failed."), __FILE__, __LINE__, "(WSAEWOULDBLOCK == WSAGetLastError())");
        }
        TRACE2(u"CPerfSocket::ReceiveTCPPackets. FD_READ receive %d bytes.\r\n", received);
        if (received == 0)
            return true;
        MarkHeard();
        const DWORD heldBefore = m_dwRecvCount;
        m_dwRecvCount += static_cast<DWORD>(received);
        m_dwRecvHighWater = std::max(m_dwRecvHighWater, m_dwRecvCount);
        if (DeliverFrames(maxMessages, handled) != FrameResult::More)
            return true;
        // The held bytes begin a new frame when nothing was held before or the old one was cut.
        if (m_dwRecvCount > 0 && (heldBefore == 0 || m_dwRecvCount < heldBefore + static_cast<DWORD>(received)))
            m_incompleteSince = std::chrono::steady_clock::now();
    }
    return false;
}

CPerfSocket::FrameResult CPerfSocket::DeliverFrames(int maxMessages, int& handled)
{
    BYTE* const buffer = m_pRecvBuffer.get();
    DWORD offset = 0;
    FrameResult result = FrameResult::More;
    for (;;) {
        const DWORD held = m_dwRecvCount - offset;
        if (m_dwFrameLength == 0) {
            if (held < MSGSIZE)
                break;
            // In 64 bits: a length near 2^32 must not wrap into a small frame.
            const uint64_t frameLength = uint64_t { ReadLe32(buffer + offset + 8) } + MSGSIZE;
            if (frameLength > m_dwBufferSize) {
                TRACE0(u"CPerfSocket::ReceiveTCPPackets. Frame of %I64d bytes exceeds the receive buffer; "
                       u"closing the connection.\r\n",
                    static_cast<int64_t>(frameLength));
                result = FrameResult::Malformed;
                break;
            }
            m_dwFrameLength = static_cast<DWORD>(frameLength);
        }
        if (held < m_dwFrameLength)
            break;

        const BYTE* frame = buffer + offset;
        SMessage msg { ReadLe32(frame), ReadLe32(frame + 4), ReadLe32(frame + 8), frame + MSGSIZE };
        TRACE1(u"CPerfSocket::ReceiveTCPPackets. Got a message. Message type: %d\r\n", msg.type);
        offset += m_dwFrameLength;
        m_dwFrameLength = 0;
        if (OnMessage(&msg)) {
            ++handled;
            if (maxMessages > 0 && handled >= maxMessages) {
                result = FrameResult::LimitReached;
                break;
            }
        }
    }
    if (offset > 0) {
        std::memmove(buffer, buffer + offset, m_dwRecvCount - offset);
        m_dwRecvCount -= offset;
    }
    return result;
}

BOOL CPerfSocket::Send(const void* data, DWORD len)
{
    TRACE_SCOPE(u"CPerfSocket::Send");
    if (!data || len == 0)
        return FALSE;
    try {
        CMutexLocker lock(m_lock);
        const SOCKET sock = m_sock;
        if (sock == INVALID_SOCKET) {
            TRACE0(u"CPerfSocket::Send error. Error: %d.\r\n", WSAENOTSOCK);
            return FALSE;
        }
        const BYTE* bytes = static_cast<const BYTE*>(data);
        if (!m_sendQueue.empty()) {
            // Older bytes wait: these go behind them, so the peer sees every message whole and
            // in order.
            if (m_queuedBytes + len > kMaxQueuedBytes) {
                TRACE0(u"CPerfSocket::Send error. The peer does not read; %I64d bytes are waiting.\r\n",
                    static_cast<int64_t>(m_queuedBytes));
                SignalStop();
                return FALSE;
            }
            Enqueue(bytes, len);
            TRACE1(u"CPerfSocket::Send WSAEWOULDBLOCK push in queue.\r\n");
            return TRUE;
        }
        DWORD sent = 0;
        while (sent < len) {
            const int rc = taluvo::net::send(sock, reinterpret_cast<const char*>(bytes) + sent,
                static_cast<int>(std::min<DWORD>(len - sent, INT_MAX)), 0);
            if (rc == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                if (error != WSAEWOULDBLOCK) {
                    TRACE0(u"CPerfSocket::Send error. Error: %d.\r\n", error);
                    return FALSE;
                }
                // Refused for now: the socket reports FD_WRITE once it takes data again.
                break;
            }
            sent += static_cast<DWORD>(rc);
        }
        if (sent < len) {
            Enqueue(bytes + sent, len - sent);
            // The refusal enabled FD_WRITE again, but a receive loop already waiting (this send
            // came from another thread) does not watch for it yet: wake it to wait anew.
            SetEvent(m_hSocketEvent);
            if (sent == 0)
                TRACE1(u"CPerfSocket::Send WSAEWOULDBLOCK push in queue.\r\n");
            else
                TRACE1(u"CPerfSocket::Send success. Part was send, part placed in queue.\r\n");
            return TRUE;
        }
        TRACE1(u"CPerfSocket::Send success.\r\n");
        return TRUE;
    } catch (CCmnException& e) {
        TRACE0(u"CPerfSocket::Send error. Exception: %s\r\n", e.GetMessage());
    } catch (const std::exception& e) {
        // Out of memory for the queue, say: these bytes are lost to the peer, so say so.
        TRACE0(u"CPerfSocket::Send error. Exception: %hs\r\n", e.what());
    } catch (...) {
        TRACE0(u"CPerfSocket::Send error. Unknown exception.\r\n");
    }
    return FALSE;
}

void CPerfSocket::Enqueue(const BYTE* bytes, DWORD length)
{
    SDataChunk chunk;
    chunk.m_pBytes.reset(new BYTE[length]);
    std::memcpy(chunk.m_pBytes.get(), bytes, length);
    chunk.m_dwLength = length;
    m_sendQueue.push_back(std::move(chunk));
    m_queuedBytes += length;
}

void CPerfSocket::DrainSendQueue()
{
    CMutexLocker lock(m_lock);
    while (!m_sendQueue.empty()) {
        TRACE2(u"CPerfSocket::ReceiveTCPPackets. FD_WRITE. Queue length: %d\r\n", static_cast<int>(m_sendQueue.size()));
        SDataChunk& chunk = m_sendQueue.front();
        const DWORD rest = chunk.m_dwLength - chunk.m_dwSent;
        if (rest == 0) {
            m_sendQueue.pop_front();
            continue;
        }
        const int rc = taluvo::net::send(m_sock, reinterpret_cast<const char*>(chunk.m_pBytes.get()) + chunk.m_dwSent,
            static_cast<int>(std::min<DWORD>(rest, INT_MAX)), 0);
        if (rc == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) {
                TRACE2(u"CPerfSocket::ReceiveTCPPackets. FD_WRITE WSAEWOULDBLOCK.\r\n");
                break;
            }
            throw CSocketException(
                QStringLiteral("send() failed."), __FILE__, __LINE__, "(WSAEWOULDBLOCK == WSAGetLastError())");
        }
        m_queuedBytes -= static_cast<size_t>(rc);
        if (static_cast<DWORD>(rc) < rest) {
            TRACE2(u"CPerfSocket::ReceiveTCPPackets. FD_WRITE. Send size != packet size.\r\n");
            TRACE1(u"CPerfSocket::ReceiveTCPPackets. FD_WRITE. Descrease chunk data size.\r\n");
            // Go on: only a refused send makes the socket report FD_WRITE again.
            chunk.m_dwSent += static_cast<DWORD>(rc);
            continue;
        }
        TRACE2(u"CPerfSocket::ReceiveTCPPackets. FD_WRITE. Send success. Remove from queue.\r\n");
        m_sendQueue.pop_front();
    }
}

void CPerfSocket::Close()
{
    TRACE_SCOPE(u"CPerfSocket::Close");
    {
        CMutexLocker lock(m_lock);
        const SOCKET sock = m_sock;
        if (sock != INVALID_SOCKET) {
            if (m_hSocketEvent)
                taluvo::net::WSAEventSelect(sock, m_hSocketEvent, 0);
            CloseSocket();
        }
    }
    ClearSendQueue();
}

void CPerfSocket::SignalStop()
{
    m_bStop.store(true);
    if (m_hCloseEvent)
        SetEvent(m_hCloseEvent);
}

BOOL CPerfSocket::WaitStart(int seconds)
{
    TRACE_SCOPE(u"CPerfSocket::WaitStart");
    const DWORD timeout = seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : INFINITE;
    return WaitForSingleObject(m_hStartEvent, timeout) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

void CPerfSocket::ClearSendQueue()
{
    CMutexLocker lock(m_lock);
    m_sendQueue.clear();
    m_queuedBytes = 0;
}

void CPerfSocket::ReleaseBuffers()
{
    ClearSendQueue();
    m_pRecvBuffer.reset();
    m_dwBufferSize = 0;
    m_dwRecvCount = 0;
    m_dwFrameLength = 0;
    m_dwRecvHighWater = 0;
}

void CPerfSocket::ResetBuffers()
{
    if (m_pRecvBuffer)
        std::memset(m_pRecvBuffer.get(), 0, m_dwRecvHighWater);
    m_dwRecvCount = 0;
    m_dwFrameLength = 0;
    m_dwRecvHighWater = 0;
}

void CPerfSocket::ReportConnection(SOCKET sock)
{
    const CSocketAddr local = GetLocalAddress();
    const CSocketAddr remote = GetRemoteAddress();
    char localText[32];
    char remoteText[32];
    local.GetDottedAddress(localText, sizeof localText);
    remote.GetDottedAddress(remoteText, sizeof remoteText);
    TRACE1(u"[%3d] local %hs port %u connected with %hs port %u\r\n", sock, localText, local.GetPort(), remoteText,
        remote.GetPort());
}

void CPerfSocket::ReportServerSettings(const char* host)
{
    TRACE_SCOPE(u"CPerfSocket::ReportServerSettings");
    TRACE1(u"CPerfSocket::ReportServerSettings. Server listening on %s port %d\r\n",
        m_type == TYPE_TCP ? u"TCP" : u"UDP", m_port);
    if (host) {
        const CSocketAddr local = GetLocalAddress();
        char localText[32];
        local.GetDottedAddress(localText, sizeof localText);
        TRACE1(u"CPerfSocket::ReportServerSettings. Binding to local address %hs\r\n", localText);
    }
}
