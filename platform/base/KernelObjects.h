// Kernel objects behind HANDLE: events, thread-end objects, mutexes and the named single-instance
// lock. A HANDLE is an opaque number looked up in a registry, never a raw pointer, so a stale or
// closed handle is harmless. Events are backed by an eventfd, so they can be waited on together
// with sockets by poll (see PollSource).
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <memory>
#include <poll.h>
#include <vector>

// Thread-local last error, as GetLastError keeps it per thread; WinSock shares the same slot.
DWORD GetLastError();
void SetLastError(DWORD error);
inline int WSAGetLastError()
{
    return static_cast<int>(GetLastError());
}
inline void WSASetLastError(int error)
{
    SetLastError(static_cast<DWORD>(error));
}

HANDLE CreateEvent(void* security, BOOL manualReset, BOOL initialState, const char16_t* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// An unnamed mutex: recursive for its owner, timed waits, ReleaseMutex fails for a non-owner.
// A named one is the per-user single-instance lock: when another holder exists, the handle is still
// returned and GetLastError() is ERROR_ALREADY_EXISTS.
HANDLE CreateMutex(void* security, BOOL initialOwner, const char16_t* name);
BOOL ReleaseMutex(HANDLE mutex);

BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

namespace taluvo {

// Something a waiter must poll besides the events themselves (a socket selected onto an event):
// Collect adds its descriptors, Dispatch sees their results and may signal its event.
class PollSource {
public:
    virtual ~PollSource() = default;
    virtual void Collect(std::vector<pollfd>& fds) = 0;
    virtual void Dispatch(const pollfd* fds, size_t count) = 0;
};

// Attaches a source to an event (null detaches); waits on the event then poll the source too.
BOOL AttachPollSource(HANDLE event, std::shared_ptr<PollSource> source);

// The object behind a thread handle: signalled once when the thread has finished.
HANDLE CreateThreadEndObject();
void SignalThreadEnd(HANDLE thread);

// Waits that must not block a thread which serves others: the user-interface layer installs a
// hook that serves sent messages while the user-interface thread waits, so a worker blocked in
// SendMessage can always finish while that thread waits for it. Without a hook (or on other
// threads, as the hook decides) this is WaitForMultipleObjects.
using ServingWaitHook = DWORD (*)(DWORD count, const HANDLE* handles, DWORD milliseconds);
void SetServingWaitHook(ServingWaitHook hook);
DWORD WaitServing(DWORD count, const HANDLE* handles, DWORD milliseconds);
inline DWORD WaitServing(HANDLE handle, DWORD milliseconds)
{
    return WaitServing(1, &handle, milliseconds);
}

// The file that carries the named lock of CreateMutex for a name: inside TALUVO_HOME when that is
// set, else in the user's runtime folder /run/user/<uid> when it exists, else a per-user file in
// /tmp. A lock file that cannot be opened or locked makes CreateMutex fail (null).
QString NamedLockPath(const QString& name);

} // namespace taluvo
