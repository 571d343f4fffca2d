// The objects of the internet layer and what its parts share: handles in a registry, the status
// notices every handle gives, and the request engine's entry points. Internal to platform/inet.
#pragma once

#include "platform/base/KernelObjects.h"
#include "platform/inet/ProxyConfig.h"
#include "platform/inet/WinInet.h"

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace taluvo::inet::detail {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// WinInet's defaults for the step time-outs.
constexpr DWORD kDefaultConnectTimeout = 60000;
constexpr DWORD kDefaultSendTimeout = 30000;
constexpr DWORD kDefaultReceiveTimeout = 30000;
// Body bytes kept for the reader before the transfer pauses, and the level at which it resumes.
constexpr qsizetype kPauseAt = qsizetype(512) * 1024;
constexpr qsizetype kResumeAt = qsizetype(128) * 1024;
// A read waits this long for a whole buffer before it takes what a slow sender has sent so far.
constexpr auto kPartialReadHold = milliseconds(1000);
constexpr long kMaxRedirects = 30;

enum class Kind { Session, Connect, Request };

struct Options {
    DWORD connectTimeout = kDefaultConnectTimeout;
    DWORD sendTimeout = kDefaultSendTimeout;
    DWORD receiveTimeout = kDefaultReceiveTimeout;
    QString proxyUserName;
    QString proxyPassword;
};

struct Object {
    Kind kind;
    uintptr_t id = 0;
    DWORD_PTR context = 0;
    std::atomic<INTERNET_STATUS_CALLBACK> callback { nullptr };
    std::shared_ptr<Object> parent;
    std::atomic<bool> closed { false };
    Options options; // guarded by the registry lock
    // Notices of the handle now running on any thread, and whether the closing notice waits for
    // them: it is always the handle's last notice, so its receiver may free the context at once.
    std::mutex noticeLock;
    int noticesRunning = 0;
    bool closingOwed = false;
    bool closingGiven = false;
    explicit Object(Kind k)
        : kind(k)
    {
    }
    virtual ~Object() = default;
    HINTERNET Handle() const { return reinterpret_cast<HINTERNET>(id); }
};

struct Session : Object {
    Session()
        : Object(Kind::Session)
    {
    }
    QByteArray agent;
    DWORD accessType = INTERNET_OPEN_TYPE_DIRECT;
    taluvo::inet::ProxyList proxies;
    QString bypass;
    bool async = false;
};

struct Connect : Object {
    Connect()
        : Object(Kind::Connect)
    {
    }
    QString host;
    INTERNET_PORT port = 0;
    QString userName;
    QString password;
};

struct Header {
    QByteArray name;
    QByteArray value;
};

enum class Op { None, Send, End, Read };

// A notice of a request waiting for its turn. What it carries is copied, so it outlives the step
// of the transfer that made it.
struct QueuedNotice {
    enum class Info { None, Number, Text, Completion };
    DWORD status = 0;
    Info info = Info::None;
    DWORD number = 0;
    QByteArray text;
    INTERNET_ASYNC_RESULT result {}; // of a completion, counted when it was taken (asynchronous sessions)
};

struct Request : Object {
    Request()
        : Object(Kind::Request)
    {
    }
    // What the request was opened with.
    std::shared_ptr<Session> session;
    QByteArray verb;
    QByteArray object;
    QByteArray accept;
    DWORD flags = 0;
    QString host;
    INTERNET_PORT port = 0;
    QString userName, password;
    std::vector<Header> headers; // guarded by lock

    std::mutex lock;
    std::condition_variable changed; // for sessions without INTERNET_FLAG_ASYNC
    bool started = false;
    Op pending = Op::None;
    qsizetype readWant = 0;
    Clock::time_point readSince;
    bool partialReady = false;
    bool syncDone = false;
    BOOL syncResult = FALSE;
    DWORD syncError = 0;

    // Progress of the transfer.
    bool connected = false; // the request is about to go out on an open connection
    bool sent = false;
    bool headersDone = false;
    bool ended = false; // the transfer finished (well or badly)
    DWORD error = 0; // why it failed
    bool paused = false;
    bool resumeWanted = false;
    Clock::time_point lastActivity;
    QByteArray body;
    qsizetype bodyPos = 0;
    // The headers of the newest response.
    int statusCode = 0;
    QByteArray statusText;
    QByteArray rawHeaders;
    std::vector<Header> responseHeaders;
    bool sawResponse = false;

    // Notices already queued.
    bool noticedResolved = false, noticedConnecting = false, noticedConnected = false;
    // A lookup of libcurl's runs for the transfer: from its start until an address is connected to
    // or the lookup failed (the transfers' thread's alone).
    bool lookingUp = false;

    // The request's notices in their order, guarded by lock. One thread at a time gives them (the
    // caller's within a call of the request, or a pooled thread), never the transfers' thread, so
    // a callback that blocks holds up no transfer.
    std::deque<QueuedNotice> notices;
    bool noticesBusy = false; // a thread is giving them
    bool served = false; // handed to the transfers' thread and not closed: counted as running

    // The transfer: set up by the caller of HttpSendRequestEx, then the transfers' thread's alone.
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    Options active; // the options in force for the transfer, fixed when it starts
    bool inMulti = false;
    bool finishedWell = false;
};

// ---- process-wide state (never destroyed: the layer's threads may outlive static destruction) ----

struct Registry {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
    std::unordered_map<uintptr_t, std::vector<uintptr_t>> children;
    uintptr_t nextId = 0x10000;
    QString caFile;
};

Registry& Reg();

// Requests handed to the transfers' thread and not closed yet, and requests whose notices a thread
// is giving: WaitForRunningRequests returns once every notice has been given, the last closing
// notice included. (A closed request's transfer lets go of its memory at the thread's next turn.)
struct RunningWork {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
};

RunningWork& Running();
void CountRunning(int change);

void GlobalInit();
// Text of the wide API as the bytes that go on the wire, and back.
QByteArray Narrow(LPCWSTR text);
QString Wide(LPCWSTR text);

// ---- the layer's trace ----

constexpr DWORD kTraceErrors = 0x01;
constexpr DWORD kTraceWire = 0x08;
// Whether lines of a level go anywhere; a line is made only then.
bool Traced(DWORD level);
void Trace(DWORD level, const QString& line);
// A libcurl call's result: true when it succeeded, else the failure is traced with what was called.
bool CurlOk(CURLcode code, const char* call);
bool CurlOk(CURLMcode code, const char* call);

// ---- handles ----

std::shared_ptr<Object> Find(HINTERNET handle);
template <typename T> std::shared_ptr<T> FindAs(HINTERNET handle, Kind kind)
{
    std::shared_ptr<Object> object = Find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
// Gives the object its handle (and its parent's options).
void Register(const std::shared_ptr<Object>& object);

// ---- notices ----

bool BeginNotice(Object& object, bool evenWhenClosed);
void GiveClosingNotice(Object& object);
void EndNotice(Object& object);
void NotifyCounted(Object& object, DWORD status, LPVOID info, DWORD length);
void Notify(Object& object, DWORD status, LPVOID info, DWORD length, bool evenWhenClosed = true);
void NotifyLive(Object& object, DWORD status, LPVOID info, DWORD length);
void NotifyHandleCreated(Object& object);

// ---- a request's notices, in their order ----

// Under the request's lock: a notice joins the request's queue, behind the ones before it.
void QueueNotice(Request& request, DWORD status);
void QueueNumber(Request& request, DWORD status, DWORD number);
void QueueText(Request& request, DWORD status, const QByteArray& text);
// Under the request's lock: the completion of the pending operation, when it can complete now (and
// on a successful end of the request, the response notices before it). True when one was queued.
bool QueueCompletion(Request& request);
// Under the request's lock: this thread will give the request's notices (true), unless another
// thread gives them already. Then no other thread starts giving them until this one has given
// every one queued by then, with GiveClaimedNotices.
bool ClaimNotices(Request& request);
void GiveClaimedNotices(Request& request);
// Starts a pooled thread giving the request's queued notices, unless one gives them already or
// none waits. False when no thread could be had: the notices stay queued for a later try.
bool HandOnNotices(const std::shared_ptr<Request>& request);

// ---- the transfers ----

// Sets the transfer up; a WinInet error when it cannot go out at all.
DWORD ConfigureTransfer(Request& request);
// Hands a request's transfer to the transfers' thread (started when none runs). False when no
// thread could be had.
bool HandToTransfers(const std::shared_ptr<Request>& request);
// Makes the transfers' thread look at what changed (a close, a reader that wants more).
void WakeTransfers();
// The transfers' thread's work on one request at each turn: time-outs, pausing, completions.
// Also the libcurl callbacks that notice the steps of a transfer.
void CheckTimeouts(Request& request, Clock::time_point now, milliseconds& wait);
void NoticeSent(Request& request);
// Starts an operation of a request: asynchronous sessions get ERROR_IO_PENDING (after a completion
// that was due at once has been given on this thread), others wait in the call for its result.
// noticesClaimed: the caller claimed the request's notices already (ClaimNotices).
BOOL StartOperation(Request& request, Op op, std::unique_lock<std::mutex>& guard, bool noticesClaimed = false);
// Closes one object of a handle being closed: its pending operation completes, its closing notice goes.
void CloseObject(const std::shared_ptr<Object>& object);

} // namespace taluvo::inet::detail
