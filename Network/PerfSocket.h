// A TCP socket that exchanges framed messages, driven by WinSock event objects.
//
// A frame is a 12-byte header of three little-endian 32-bit words (type, param, payloadLength)
// followed by payloadLength bytes. The receive loop runs on its owner's thread, cuts the byte
// stream into frames and hands each to OnMessage; sends from any thread go out at once or wait,
// in order, in a queue that the loop drains when the socket takes data again.
#pragma once

#include "Network/Socket.h"
#include "core/Mutex.h"
#include "platform/base/WinTypes.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>

constexpr DWORD MSGSIZE = 12;

// A received frame, valid only during OnMessage: the payload points into the receive buffer.
struct SMessage {
    DWORD type;
    DWORD param;
    DWORD payloadLength;
    const BYTE* payload; // valid (not null) also for an empty payload
};

// Bytes that Send accepted but the socket did not take yet.
struct SDataChunk {
    std::unique_ptr<BYTE[]> m_pBytes;
    DWORD m_dwLength = 0;
    DWORD m_dwSent = 0; // bytes of the chunk already handed to the socket
};

class CPerfSocket : public CSocket {
public:
    static constexpr DWORD kBufferSize = 0x100000;
    // A peer that reads nothing cannot make the program hoard its messages without end: past
    // this many queued bytes its connection is ended.
    static constexpr size_t kMaxQueuedBytes = 16u << 20;
    // A peer that starts a frame and never finishes it has its connection closed after this long.
    static constexpr DWORD kIncompleteFrameMs = 10000;

    CPerfSocket(int type, WORD port);
    ~CPerfSocket() override;

    // Default: handles MSG_NOP (type 5) only.
    virtual BOOL OnMessage(const SMessage* msg);
    // Runs until the peer closes, the connection fails, a frame cannot be framed, SignalStop, or
    // maxMessages handled messages (0 or less: no limit). Returns the handled messages.
    int ReceiveTCPPackets(int maxMessages);
    // Sends at once what the socket takes and queues the rest, behind anything queued before.
    // FALSE when nothing can go out on this connection.
    BOOL Send(const void* data, DWORD len);
    virtual void Close();
    void SignalStop();
    BOOL IsStopSignalled() const { return m_bStop.load() ? TRUE : FALSE; }
    // 0 seconds waits without limit.
    BOOL WaitStart(int seconds);
    // Signalled once the receive loop has selected its events.
    HANDLE GetStartEvent() const { return m_hStartEvent; }
    void ClearSendQueue();
    void ResetBuffers();
    // Gives the receive buffer and the send queue back once the connection has ended.
    void ReleaseBuffers();
    void ReportConnection(SOCKET sock);
    void ReportServerSettings(const char* host);
    // When the peer was last heard from: the connection's start, then every receipt of bytes
    // (steady clock ticks; any thread may ask).
    int64_t LastHeard() const { return m_lastHeard.load(); }
    void MarkHeard() { m_lastHeard.store(std::chrono::steady_clock::now().time_since_epoch().count()); }

    CMutex m_lock;
    // Set before the receive loop runs.
    DWORD m_dwIncompleteFrameLimitMs = kIncompleteFrameMs;

protected:
    enum class FrameResult { More, LimitReached, Malformed };
    // Delivers every complete frame held in the buffer, keeps the rest at its start.
    FrameResult DeliverFrames(int maxMessages, int& handled);

    HANDLE m_hSocketEvent = nullptr;
    HANDLE m_hCloseEvent = nullptr;
    HANDLE m_hConnectEvent = nullptr;
    HANDLE m_hStartEvent = nullptr;
    std::deque<SDataChunk> m_sendQueue;
    size_t m_queuedBytes = 0;
    std::unique_ptr<BYTE, decltype(&std::free)> m_pRecvBuffer { nullptr, &std::free };
    DWORD m_dwBufferSize = kBufferSize;
    DWORD m_dwRecvCount = 0;
    DWORD m_dwFrameLength = 0; // length of the frame at the buffer's start once its header is in
    DWORD m_dwRecvHighWater = 0; // bytes of the buffer ever written (what ResetBuffers clears)
    std::atomic<bool> m_bStop { false };
    std::atomic<int64_t> m_lastHeard { 0 };
    // When the bytes of the incomplete frame at the buffer's start began to arrive.
    std::chrono::steady_clock::time_point m_incompleteSince;

private:
    // Reads what the socket holds and delivers the frames; true when the connection ends.
    bool ReadAvailable(int maxMessages, int& handled, bool toTheEnd);
    void DrainSendQueue();
    void Enqueue(const BYTE* bytes, DWORD length);
};
