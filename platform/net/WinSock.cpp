#include "platform/net/WinSock.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace taluvo::net {
namespace {

std::atomic<int> g_startups { 0 };

// What the layer knows about one socket beyond the descriptor: its event selection, the network
// events recorded but not yet enumerated, and which events are enabled again (WinSock reports
// each event once until the call that consumes it).
struct SocketState {
    enum class Phase { Fresh, Connecting, Connected, Listening };

    explicit SocketState(int descriptor, Phase initial)
        : fd(descriptor)
        , phase(initial)
    {
    }

    std::mutex lock;
    const int fd;
    bool closed = false;
    Phase phase;
    LONG mask = 0;
    WSAEVENT event = nullptr;
    LONG recorded = 0;
    int errors[FD_MAX_EVENTS] = {};
    bool readArmed = true;
    bool writeArmed = true;
    bool acceptArmed = true;
    bool closeReported = false;
    bool hangUp = false; // poll saw POLLHUP/POLLERR: only armed events may still be reported
    int pendingError = 0; // errno of a failed connect or a reset, reported by the next recv/send
    bool sendShut = false; // shutdown of the sending side asked for locally
    bool endOfData = false; // recv returned 0: the peer sends no more, FD_READ has nothing to say

    // The poll events that can produce a report now (under lock).
    short Interest() const
    {
        if (closed || mask == 0)
            return 0;
        short events = 0;
        switch (phase) {
        case Phase::Fresh:
            return 0;
        case Phase::Connecting:
            return POLLOUT;
        case Phase::Listening:
            return (mask & FD_ACCEPT) && acceptArmed ? POLLIN : 0;
        case Phase::Connected:
            if ((mask & FD_READ) && readArmed && !endOfData)
                events |= POLLIN;
            if ((mask & FD_WRITE) && writeArmed)
                events |= POLLOUT;
            // Only the peer's shutdown: POLLIN would fire for unread data that FD_READ has
            // already reported, and the wait would spin.
            if ((mask & FD_CLOSE) && !closeReported)
                events |= POLLRDHUP;
            // After a hang-up poll reports POLLHUP whatever was asked: with nothing left to
            // report the descriptor must stay out of the wait.
            if (hangUp && events == 0)
                return 0;
            return events;
        }
        return 0;
    }

    // Records the network events that the poll result means (under lock); returns the new ones.
    LONG Record(short revents)
    {
        LONG fresh = 0;
        if (closed || revents == 0)
            return 0;
        if (phase == Phase::Connecting) {
            if (!(revents & (POLLOUT | POLLERR | POLLHUP)))
                return 0;
            int error = 0;
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                error = errno;
            phase = Phase::Connected;
            if (mask & FD_CONNECT) {
                fresh |= FD_CONNECT;
                errors[FD_CONNECT_BIT] = WSAErrorFromErrno(error);
            }
            if (error != 0) {
                pendingError = error;
                hangUp = true;
                closeReported = true; // the connection never existed: no FD_CLOSE for it
            } else if ((mask & FD_WRITE) && writeArmed) {
                fresh |= FD_WRITE;
                writeArmed = false;
            }
        } else if (phase == Phase::Connected) {
            if (revents & (POLLHUP | POLLERR))
                hangUp = true;
            if ((mask & FD_READ) && readArmed && !endOfData && (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR))) {
                fresh |= FD_READ;
                readArmed = false;
            }
            if ((mask & FD_WRITE) && writeArmed && (revents & POLLOUT)) {
                fresh |= FD_WRITE;
                writeArmed = false;
            }
            if ((mask & FD_CLOSE) && !closeReported && (revents & (POLLRDHUP | POLLHUP | POLLERR))) {
                int error = 0;
                if (revents & POLLERR) {
                    socklen_t len = sizeof error;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
                    if (error != 0 && pendingError == 0)
                        pendingError = error;
                }
                fresh |= FD_CLOSE;
                errors[FD_CLOSE_BIT] = WSAErrorFromErrno(error);
                closeReported = true;
            }
        } else if (phase == Phase::Listening) {
            if ((mask & FD_ACCEPT) && acceptArmed && (revents & POLLIN)) {
                fresh |= FD_ACCEPT;
                acceptArmed = false;
            }
        }
        recorded |= fresh;
        return fresh;
    }
};

class StateRegistry {
public:
    static StateRegistry& Instance()
    {
        static StateRegistry* registry = new StateRegistry; // never destroyed, like the handles
        return *registry;
    }
    std::shared_ptr<SocketState> Create(int fd, SocketState::Phase phase)
    {
        auto state = std::make_shared<SocketState>(fd, phase);
        std::lock_guard<std::mutex> guard(m_lock);
        m_states[fd] = state;
        return state;
    }
    std::shared_ptr<SocketState> Find(int fd)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_states.find(fd);
        return it == m_states.end() ? nullptr : it->second;
    }
    // A descriptor the layer did not create (inherited, made by POSIX calls): learn its phase.
    std::shared_ptr<SocketState> FindOrAdopt(int fd)
    {
        if (auto state = Find(fd))
            return state;
        int listening = 0;
        socklen_t len = sizeof listening;
        sockaddr_storage peer;
        socklen_t peerLen = sizeof peer;
        SocketState::Phase phase = SocketState::Phase::Fresh;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 && listening)
            phase = SocketState::Phase::Listening;
        else if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0)
            phase = SocketState::Phase::Connected;
        return Create(fd, phase);
    }
    std::shared_ptr<SocketState> Remove(int fd)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_states.find(fd);
        if (it == m_states.end())
            return nullptr;
        auto state = std::move(it->second);
        m_states.erase(it);
        return state;
    }

private:
    std::mutex m_lock;
    std::unordered_map<int, std::shared_ptr<SocketState>> m_states;
};

// What a wait on the selected event polls besides the event itself.
class SocketPollSource : public taluvo::PollSource {
public:
    explicit SocketPollSource(std::shared_ptr<SocketState> state)
        : m_state(std::move(state))
    {
    }

    void Collect(std::vector<pollfd>& fds) override
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (const short events = m_state->Interest())
            fds.push_back({ m_state->fd, events, 0 });
    }
    void Dispatch(const pollfd* fds, size_t count) override
    {
        if (count == 0)
            return;
        WSAEVENT event = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_state->lock);
            if (m_state->Record(fds[0].revents))
                event = m_state->event;
        }
        if (event)
            ::SetEvent(event);
    }

private:
    std::shared_ptr<SocketState> m_state;
};

int Fail(int wsaError)
{
    WSASetLastError(wsaError);
    return SOCKET_ERROR;
}

int FailErrno()
{
    return Fail(WSAErrorFromErrno(errno));
}

// Reports the error that a failed connect or a reset left for the next transfer, once.
bool TakePendingError(const std::shared_ptr<SocketState>& state)
{
    if (!state)
        return false;
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->pendingError == 0)
        return false;
    WSASetLastError(WSAErrorFromErrno(state->pendingError));
    state->pendingError = 0;
    return true;
}

} // namespace

int WSAErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAENOTSOCK;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN:
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETOOMANYREFS:
        return WSAETOOMANYREFS;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ELOOP:
        return WSAELOOP;
    case ENAMETOOLONG:
        return WSAENAMETOOLONG;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

int WSAErrorFromResolver(int eaiError)
{
    switch (eaiError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_FAIL:
        return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return WSANO_DATA;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return WSAErrorFromErrno(errno);
    default:
        return WSANO_RECOVERY;
    }
}

int WSAStartup(WORD versionRequested, WSADATA* data)
{
    if (!data)
        return WSAEFAULT;
    if (LOBYTE(versionRequested) < 1)
        return WSAVERNOTSUPPORTED;
    std::memset(data, 0, sizeof *data);
    const WORD highest = MAKEWORD(2, 2);
    data->wVersion = LOBYTE(versionRequested) > 2 ? highest : versionRequested;
    data->wHighVersion = highest;
    std::strcpy(data->szDescription, "POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
    ++g_startups;
    return 0;
}

int WSACleanup()
{
    int current = g_startups.load();
    while (current > 0 && !g_startups.compare_exchange_weak(current, current - 1)) { }
    if (current <= 0)
        return Fail(WSANOTINITIALISED);
    return 0;
}

SOCKET socket(int af, int type, int protocol)
{
    const int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailErrno();
        return INVALID_SOCKET;
    }
    StateRegistry::Instance().Create(fd, SocketState::Phase::Fresh);
    return fd;
}

int closesocket(SOCKET s)
{
    if (auto state = StateRegistry::Instance().Remove(s)) {
        // A wait that still holds the state's poll source must not touch the descriptor, which
        // the system may give to the next socket.
        std::lock_guard<std::mutex> guard(state->lock);
        state->closed = true;
    }
    if (::close(s) != 0)
        return FailErrno();
    return 0;
}

int shutdown(SOCKET s, int how)
{
    if (how < SD_RECEIVE || how > SD_BOTH)
        return Fail(WSAEINVAL);
    if (::shutdown(s, how) != 0)
        return FailErrno();
    if (how != SD_RECEIVE)
        if (auto state = StateRegistry::Instance().Find(s)) {
            std::lock_guard<std::mutex> guard(state->lock);
            state->sendShut = true;
        }
    return 0;
}

int connect(SOCKET s, const sockaddr* address, int length)
{
    if (!address || length < 0)
        return Fail(WSAEFAULT);
    auto state = StateRegistry::Instance().FindOrAdopt(s);
    if (::connect(s, address, static_cast<socklen_t>(length)) == 0) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->phase = SocketState::Phase::Connected;
        return 0;
    }
    const int error = errno;
    if (error == EINPROGRESS) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->phase = SocketState::Phase::Connecting;
    }
    return Fail(WSAErrorFromErrno(error));
}

int bind(SOCKET s, const sockaddr* address, int length)
{
    if (!address || length < 0)
        return Fail(WSAEFAULT);
    if (::bind(s, address, static_cast<socklen_t>(length)) != 0)
        return FailErrno();
    return 0;
}

int listen(SOCKET s, int backlog)
{
    if (::listen(s, backlog) != 0)
        return FailErrno();
    auto state = StateRegistry::Instance().FindOrAdopt(s);
    std::lock_guard<std::mutex> guard(state->lock);
    state->phase = SocketState::Phase::Listening;
    return 0;
}

SOCKET accept(SOCKET s, sockaddr* address, int* length)
{
    socklen_t len = length ? static_cast<socklen_t>(*length) : 0;
    const int fd = ::accept4(s, address, length ? &len : nullptr, SOCK_CLOEXEC);
    const int error = errno;
    if (auto state = StateRegistry::Instance().Find(s)) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->acceptArmed = true;
    }
    if (fd < 0) {
        Fail(WSAErrorFromErrno(error));
        return INVALID_SOCKET;
    }
    if (length)
        *length = static_cast<int>(len);
    StateRegistry::Instance().Create(fd, SocketState::Phase::Connected);
    return fd;
}

int send(SOCKET s, const char* buffer, int length, int flags)
{
    if (length < 0 || (!buffer && length > 0))
        return Fail(WSAEFAULT);
    auto state = StateRegistry::Instance().Find(s);
    if (TakePendingError(state))
        return SOCKET_ERROR;
    const ssize_t sent = ::send(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
    if (sent >= 0)
        return static_cast<int>(sent);
    const int error = errno;
    if (state && (error == EAGAIN || error == EWOULDBLOCK || error == EPIPE)) {
        std::lock_guard<std::mutex> guard(state->lock);
        if (error == EPIPE && state->sendShut)
            return Fail(WSAESHUTDOWN);
        if (error != EPIPE)
            state->writeArmed = true; // FD_WRITE follows when the socket takes data again
    }
    return Fail(WSAErrorFromErrno(error));
}

int recv(SOCKET s, char* buffer, int length, int flags)
{
    if (length < 0 || (!buffer && length > 0))
        return Fail(WSAEFAULT);
    auto state = StateRegistry::Instance().Find(s);
    if (TakePendingError(state))
        return SOCKET_ERROR;
    const ssize_t received = ::recv(s, buffer, static_cast<size_t>(length), flags);
    const int error = errno;
    if (state) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->readArmed = true; // whatever the outcome, FD_READ is enabled again
        if (received == 0 && length > 0)
            state->endOfData = true;
    }
    if (received < 0)
        return Fail(WSAErrorFromErrno(error));
    return static_cast<int>(received);
}

int getsockname(SOCKET s, sockaddr* address, int* length)
{
    if (!address || !length || *length < 0)
        return Fail(WSAEFAULT);
    socklen_t len = static_cast<socklen_t>(*length);
    if (::getsockname(s, address, &len) != 0)
        return FailErrno();
    *length = static_cast<int>(len);
    return 0;
}

int getpeername(SOCKET s, sockaddr* address, int* length)
{
    if (!address || !length || *length < 0)
        return Fail(WSAEFAULT);
    socklen_t len = static_cast<socklen_t>(*length);
    if (::getpeername(s, address, &len) != 0)
        return FailErrno();
    *length = static_cast<int>(len);
    return 0;
}

int setsockopt(SOCKET s, int level, int name, const char* value, int length)
{
    if (length < 0 || (!value && length > 0))
        return Fail(WSAEFAULT);
    if (::setsockopt(s, level, name, value, static_cast<socklen_t>(length)) != 0)
        return FailErrno();
    return 0;
}

in_addr_t inet_addr(const char* text)
{
    if (!text)
        return INADDR_NONE;
    return ::inet_addr(text);
}

hostent* gethostbyname(const char* name)
{
    struct Answer {
        hostent entry {};
        std::string name;
        std::vector<in_addr> addresses;
        std::vector<char*> addressList;
        char* aliases[1] = { nullptr };
    };
    thread_local Answer answer;

    if (!name) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(name, nullptr, &hints, &result);
    if (rc != 0) {
        WSASetLastError(WSAErrorFromResolver(rc));
        return nullptr;
    }
    answer.addresses.clear();
    answer.name = result->ai_canonname ? result->ai_canonname : name;
    for (const addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr)
            continue;
        const in_addr address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr;
        bool seen = false;
        for (const in_addr& known : answer.addresses)
            seen = seen || known.s_addr == address.s_addr;
        if (!seen)
            answer.addresses.push_back(address);
    }
    ::freeaddrinfo(result);
    if (answer.addresses.empty()) {
        WSASetLastError(WSANO_DATA);
        return nullptr;
    }
    answer.addressList.clear();
    for (in_addr& address : answer.addresses)
        answer.addressList.push_back(reinterpret_cast<char*>(&address));
    answer.addressList.push_back(nullptr);
    answer.entry.h_name = answer.name.data();
    answer.entry.h_aliases = answer.aliases;
    answer.entry.h_addrtype = AF_INET;
    answer.entry.h_length = sizeof(in_addr);
    answer.entry.h_addr_list = answer.addressList.data();
    return &answer.entry;
}

servent* getservbyname(const char* name, const char* protocol)
{
    thread_local servent entry;
    thread_local std::vector<char> storage(4096);
    if (!name) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    servent* result = nullptr;
    int rc;
    while ((rc = ::getservbyname_r(name, protocol, &entry, storage.data(), storage.size(), &result)) == ERANGE
        && storage.size() < (1u << 20))
        storage.resize(storage.size() * 2);
    if (rc != 0 || !result) {
        WSASetLastError(WSANO_DATA);
        return nullptr;
    }
    return result;
}

int gethostname(char* name, int length)
{
    if (!name || length <= 0)
        return Fail(WSAEFAULT);
    if (::gethostname(name, static_cast<size_t>(length)) != 0)
        return Fail(WSAEFAULT);
    name[length - 1] = '\0';
    return 0;
}

WSAEVENT WSACreateEvent()
{
    WSAEVENT event = ::CreateEvent(nullptr, TRUE, FALSE, nullptr);
    if (!event)
        WSASetLastError(WSAENOBUFS);
    return event;
}

BOOL WSACloseEvent(WSAEVENT event)
{
    return ::CloseHandle(event);
}

int WSAEventSelect(SOCKET s, WSAEVENT event, LONG mask)
{
    if (mask != 0 && !event)
        return Fail(WSAEINVAL);
    const int flags = ::fcntl(s, F_GETFL);
    if (flags < 0)
        return Fail(WSAENOTSOCK);
    if (!(flags & O_NONBLOCK) && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0)
        return FailErrno();
    auto state = StateRegistry::Instance().FindOrAdopt(s);
    WSAEVENT previous;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        previous = state->event;
        state->mask = mask;
        state->event = mask ? event : nullptr;
        state->recorded = 0;
        std::memset(state->errors, 0, sizeof state->errors);
        // A new selection reports again what is already true (data waiting, room to write).
        state->readArmed = state->writeArmed = state->acceptArmed = true;
    }
    if (previous && previous != event)
        taluvo::AttachPollSource(previous, nullptr);
    if (mask == 0) {
        if (event)
            taluvo::AttachPollSource(event, nullptr);
        return 0;
    }
    if (!taluvo::AttachPollSource(event, std::make_shared<SocketPollSource>(state)))
        return Fail(WSAEINVAL);
    return 0;
}

int WSAEnumNetworkEvents(SOCKET s, WSAEVENT event, WSANETWORKEVENTS* events)
{
    if (!events)
        return Fail(WSAEFAULT);
    auto state = StateRegistry::Instance().Find(s);
    if (!state)
        return Fail(WSAENOTSOCK);
    // Events that are due but that no wait has seen yet count as well.
    short interest;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        interest = state->Interest();
    }
    if (interest) {
        pollfd fd { s, interest, 0 };
        if (::poll(&fd, 1, 0) > 0) {
            std::lock_guard<std::mutex> guard(state->lock);
            state->Record(fd.revents);
        }
    }
    {
        std::lock_guard<std::mutex> guard(state->lock);
        events->lNetworkEvents = state->recorded;
        std::memcpy(events->iErrorCode, state->errors, sizeof events->iErrorCode);
        state->recorded = 0;
        std::memset(state->errors, 0, sizeof state->errors);
    }
    if (event)
        ::ResetEvent(event);
    return 0;
}

} // namespace taluvo::net
