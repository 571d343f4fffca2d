#include "platform/base/KernelObjects.h"

#include "platform/base/TextCodec.h"

#include <QDir>

#include <atomic>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <unordered_map>

namespace {

thread_local DWORD t_lastError = 0;

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Manual- or auto-reset event; its eventfd is readable exactly while the event is signalled, so
// poll sees the state. Auto-reset events are consumed by reading the counter, which only one
// waiter can do. The eventfd is made at the first wait: a program may hold many events that are
// never waited on (a queued check's), and a descriptor for each would run out of them.
class Event : public KernelObject {
public:
    Event(bool manualReset, bool initial)
        : m_manual(manualReset)
        , m_signalled(initial)
    {
    }
    ~Event() override
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Manual() const { return m_manual; }
    // The descriptor for poll, made when first asked for; -1 when none can be had.
    int Fd()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_fd < 0)
            m_fd = eventfd(m_signalled ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
        return m_fd;
    }

    void Set()
    {
        int fd;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_signalled)
                return;
            m_signalled = true;
            fd = m_fd;
        }
        // Written after the lock is left: the waiter it wakes takes the lock at once, and would
        // otherwise block on it while the setter still holds it (a second switch for each signal
        // on a busy machine). A reset that comes in between leaves the descriptor readable
        // without a signal; the wait takes such a stale wake-up away (DropStaleWake).
        const uint64_t one = 1;
        if (fd >= 0)
            (void)!write(fd, &one, sizeof one);
    }
    // After poll saw the descriptor readable: when no signal stands behind it, the wake-up is
    // stale and is read away, so the next poll waits again.
    void DropStaleWake()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_signalled)
            Drain();
    }
    void Reset()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        Drain();
    }
    // Takes the signal when it is there: manual-reset events stay signalled.
    bool TryConsume()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_signalled)
            return false;
        if (!m_manual)
            Drain();
        return true;
    }
    bool IsSignalled()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_signalled;
    }

    std::shared_ptr<taluvo::PollSource> Source()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_source;
    }
    void SetSource(std::shared_ptr<taluvo::PollSource> source)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_source = std::move(source);
    }

private:
    void Drain()
    {
        uint64_t value = 0;
        if (m_fd >= 0)
            (void)!read(m_fd, &value, sizeof value);
        m_signalled = false;
    }

    const bool m_manual;
    int m_fd = -1;
    std::mutex m_lock;
    bool m_signalled;
    std::shared_ptr<taluvo::PollSource> m_source;
};

// Recursive, owner-tracked, timed mutex. While owned it holds a reference to itself, so closing
// the last handle never destroys a mutex that a thread still owns.
class Mutex : public KernelObject, public std::enable_shared_from_this<Mutex> {
public:
    Mutex()
    {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        // A thread that ends while it owns the mutex leaves it abandoned, not locked forever.
        pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
        pthread_mutex_init(&m_mutex, &attr);
        pthread_mutexattr_destroy(&attr);
    }
    ~Mutex() override { pthread_mutex_destroy(&m_mutex); }

    DWORD Acquire(DWORD milliseconds)
    {
        int rc;
        if (milliseconds == INFINITE) {
            rc = pthread_mutex_lock(&m_mutex);
        } else if (milliseconds == 0) {
            rc = pthread_mutex_trylock(&m_mutex);
        } else {
            // timedlock rather than clocklock: the thread sanitizer only understands the former.
            timespec deadline;
            clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_sec += milliseconds / 1000;
            deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
            if (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_sec += 1;
                deadline.tv_nsec -= 1000000000L;
            }
            rc = pthread_mutex_timedlock(&m_mutex, &deadline);
        }
        if (rc == ETIMEDOUT || rc == EBUSY)
            return WAIT_TIMEOUT;
        std::lock_guard<std::mutex> guard(m_stateLock);
        if (rc == EOWNERDEAD) {
            pthread_mutex_consistent(&m_mutex);
            m_count = 1;
            m_owner = std::this_thread::get_id();
            m_selfWhileOwned = shared_from_this();
            return WAIT_ABANDONED;
        }
        if (rc != 0)
            return WAIT_FAILED;
        if (m_count++ == 0) {
            m_owner = std::this_thread::get_id();
            m_selfWhileOwned = shared_from_this();
        }
        return WAIT_OBJECT_0;
    }

    bool Release()
    {
        std::shared_ptr<Mutex> keepUntilUnlocked;
        {
            std::lock_guard<std::mutex> guard(m_stateLock);
            if (m_count == 0 || m_owner != std::this_thread::get_id())
                return false;
            if (--m_count == 0) {
                m_owner = std::thread::id();
                keepUntilUnlocked = std::move(m_selfWhileOwned);
            }
        }
        pthread_mutex_unlock(&m_mutex);
        return true;
    }

private:
    pthread_mutex_t m_mutex;
    std::mutex m_stateLock;
    std::thread::id m_owner;
    unsigned m_count = 0;
    std::shared_ptr<Mutex> m_selfWhileOwned;
};

// The per-user single-instance lock: an flock on a file in the runtime folder. It is held for as
// long as the handle is open, and released by the system if the process dies.
class NamedLock : public KernelObject {
public:
    explicit NamedLock(int fd)
        : m_fd(fd)
    {
    }
    ~NamedLock() override
    {
        if (m_fd >= 0)
            close(m_fd); // closing the descriptor drops the flock
    }

private:
    int m_fd;
};

// The lock file of a named mutex, opened for the calling user only. A symbolic link is refused, and
// so is a file someone else owns: in a shared folder such as /tmp another user could otherwise
// plant or hold the lock. -1 with errno set on failure.
int OpenLockFile(const char* path)
{
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    struct stat info { };
    if (fstat(fd, &info) != 0 || info.st_uid != geteuid() || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

class Registry {
public:
    static Registry& Instance()
    {
        // Never destroyed: handles may be closed by static destructors of other files.
        static Registry* registry = new Registry;
        return *registry;
    }
    HANDLE Add(std::shared_ptr<KernelObject> object)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const uintptr_t id = (m_next += 4);
        m_objects.emplace(id, std::move(object));
        return reinterpret_cast<HANDLE>(id);
    }
    std::shared_ptr<KernelObject> Find(HANDLE handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(handle));
        return it == m_objects.end() ? nullptr : it->second;
    }
    std::shared_ptr<KernelObject> Remove(HANDLE handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == m_objects.end())
            return nullptr;
        auto object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

private:
    std::mutex m_lock;
    uintptr_t m_next = 0x1000;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> m_objects;
};

template <typename T> std::shared_ptr<T> Lookup(HANDLE handle)
{
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::dynamic_pointer_cast<T>(Registry::Instance().Find(handle));
}

int RemainingMs(std::chrono::steady_clock::time_point deadline, bool infinite)
{
    if (infinite)
        return -1;
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Waits for any of the events; sources attached to them are polled as well.
DWORD WaitAny(const std::vector<std::shared_ptr<Event>>& events, DWORD milliseconds)
{
    const bool infinite = milliseconds == INFINITE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(infinite ? 0 : milliseconds);
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<std::shared_ptr<taluvo::PollSource>, size_t>> sources;
        for (const auto& event : events) {
            const int fd = event->Fd();
            if (fd < 0) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return WAIT_FAILED;
            }
            fds.push_back({ fd, POLLIN, 0 });
        }
        for (const auto& event : events) {
            if (auto source = event->Source()) {
                const size_t first = fds.size();
                source->Collect(fds);
                sources.emplace_back(std::move(source), first);
            }
        }
        // Check the state first: a signal set before the wait must never be missed.
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i]->TryConsume())
                return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        const int timeout = RemainingMs(deadline, infinite);
        const int rc = poll(fds.data(), fds.size(), timeout);
        if (rc < 0 && errno != EINTR) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        for (size_t s = 0; s < sources.size(); ++s) {
            const size_t first = sources[s].second;
            const size_t last = s + 1 < sources.size() ? sources[s + 1].second : fds.size();
            sources[s].first->Dispatch(fds.data() + first, last - first);
        }
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i]->TryConsume())
                return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        for (size_t i = 0; i < events.size(); ++i)
            if (fds[i].revents & POLLIN)
                events[i]->DropStaleWake();
        if (!infinite && RemainingMs(deadline, false) == 0)
            return WAIT_TIMEOUT;
    }
}

} // namespace

DWORD GetLastError()
{
    return t_lastError;
}
void SetLastError(DWORD error)
{
    t_lastError = error;
}

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, const char16_t*)
{
    auto event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE);
    return Registry::Instance().Add(std::move(event));
}

BOOL SetEvent(HANDLE handle)
{
    auto event = Lookup<Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle)
{
    auto event = Lookup<Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

HANDLE CreateMutex(void*, BOOL initialOwner, const char16_t* name)
{
    if (name && *name) {
        const QByteArray path = taluvo::AnsiEncode(taluvo::NamedLockPath(QString::fromUtf16(name)));
        const int fd = OpenLockFile(path.constData());
        if (fd < 0) {
            SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
            return nullptr;
        }
        int taken;
        while ((taken = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) { }
        if (taken != 0 && errno != EWOULDBLOCK) {
            // A lock that cannot be taken at all guards nothing: the caller must not go on as if
            // it were the only holder.
            close(fd);
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        SetLastError(taken == 0 ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
        return Registry::Instance().Add(std::make_shared<NamedLock>(fd));
    }
    auto mutex = std::make_shared<Mutex>();
    if (initialOwner)
        mutex->Acquire(INFINITE);
    SetLastError(ERROR_SUCCESS);
    return Registry::Instance().Add(std::move(mutex));
}

BOOL ReleaseMutex(HANDLE handle)
{
    auto mutex = Lookup<Mutex>(handle);
    if (!mutex || !mutex->Release()) {
        SetLastError(mutex ? 288 /* ERROR_NOT_OWNER */ : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    if (!handle || handle == INVALID_HANDLE_VALUE || !Registry::Instance().Remove(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    if (auto mutex = Lookup<Mutex>(handle))
        return mutex->Acquire(milliseconds);
    if (auto event = Lookup<Event>(handle))
        return WaitAny({ event }, milliseconds);
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles || waitAll) {
        // Waiting for all objects at once is not something the program does.
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Event>> events;
    for (DWORD i = 0; i < count; ++i) {
        auto event = Lookup<Event>(handles[i]);
        if (!event) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        events.push_back(std::move(event));
    }
    return WaitAny(events, milliseconds);
}

namespace taluvo {

BOOL AttachPollSource(HANDLE handle, std::shared_ptr<PollSource> source)
{
    auto event = Lookup<Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->SetSource(std::move(source));
    return TRUE;
}

HANDLE CreateThreadEndObject()
{
    return ::CreateEvent(nullptr, TRUE, FALSE, nullptr);
}

void SignalThreadEnd(HANDLE thread)
{
    ::SetEvent(thread);
}

namespace {
std::atomic<ServingWaitHook> g_servingWaitHook { nullptr };
}

void SetServingWaitHook(ServingWaitHook hook)
{
    g_servingWaitHook = hook;
}

DWORD WaitServing(DWORD count, const HANDLE* handles, DWORD milliseconds)
{
    if (ServingWaitHook hook = g_servingWaitHook.load())
        return hook(count, handles, milliseconds);
    return ::WaitForMultipleObjects(count, handles, FALSE, milliseconds);
}

QString NamedLockPath(const QString& name)
{
    QString file = name;
    file.replace(QLatin1Char('/'), QLatin1Char('_'));
    // A program folder of its own (tests, a portable copy) is a world of its own.
    const char* home = std::getenv("TALUVO_HOME");
    if (home && *home)
        return AnsiDecode(home) + QLatin1Char('/') + file + QStringLiteral(".lock");
    // Otherwise the place depends on the user alone, never on the environment: a start from cron,
    // ssh or sudo, where XDG_RUNTIME_DIR is missing or another's, must meet the same lock.
    const uid_t uid = geteuid();
    const QString runtime = QStringLiteral("/run/user/%1").arg(uid);
    struct stat info { };
    if (stat(AnsiEncode(runtime).constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid)
        return runtime + QLatin1Char('/') + file + QStringLiteral(".lock");
    // /tmp is shared by all users: one lock file per user there.
    return QStringLiteral("/tmp/") + file + QStringLiteral(".%1.lock").arg(uid);
}

} // namespace taluvo
