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
constexpr qsizetype kPauseAt = 512 * 1024;
constexpr qsizetype kResumeAt = 128 * 1024;
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
    ~Session() override;
    QByteArray agent;
    DWORD accessType = INTERNET_OPEN_TYPE_DIRECT;
    taluvo::inet::ProxyList proxies;
    QString bypass;
    bool async = false;
    std::mutex poolLock;
    std::vector<CURLM*> idleMultis; // connections kept open for later requests
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

    // Notices already given.
    bool noticedResolved = false, noticedConnecting = false, noticedConnected = false;

    // Owned by the request thread.
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::atomic<bool> hasMulti { false };
    Options active; // the options in force for the transfer, fixed when it starts
};

// ---- process-wide state (never destroyed: request threads may outlive static destruction) ----

struct Registry {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
    std::unordered_map<uintptr_t, std::vector<uintptr_t>> children;
    uintptr_t nextId = 0x10000;
    QString caFile;
};

Registry& Reg();

struct RequestThreads {
    std::mutex lock;
    std::condition_variable changed;
    int running = 0;
};

RequestThreads& Threads();

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
void NotifyText(Object& object, DWORD status, const QByteArray& text);
void NotifyHandleCreated(Object& object);

// ---- the request engine ----

// Wakes the request's thread to look at what changed.
void WakeRequest(Request& request);
// Sets the transfer up; a WinInet error when it cannot go out at all.
DWORD ConfigureTransfer(Request& request);
// A multi handle for a request, kept from an earlier one of the session where there is one.
CURLM* TakeMulti(Session& session);
// The request's thread: drives its transfer until the handle is closed.
void RunRequest(std::shared_ptr<Request> request);
// Starts an operation of a request: asynchronous sessions get ERROR_IO_PENDING at once, others wait
// in the call for its result.
BOOL StartOperation(Request& request, Op op, std::unique_lock<std::mutex>& guard);
// Closes one object of a handle being closed: its pending operation completes, its closing notice goes.
void CloseObject(const std::shared_ptr<Object>& object);

} // namespace taluvo::inet::detail
