// Scoped lock classes over the two shared lock kinds: the recursive, timed mutex and the
// critical section.
#pragma once

#include "platform/base/CriticalSection.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/WinTypes.h"

#include <atomic>

class CMutex {
public:
    CMutex();
    ~CMutex();
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    // TRUE only when the mutex was acquired within the time (an abandoned mutex counts as acquired).
    BOOL Lock(DWORD milliseconds = INFINITE);
    BOOL Unlock();
    // Holds another mutex handle instead of the own one.
    void Attach(HANDLE mutex);
    BOOL IsLocked() const { return m_bLocked; }
    HANDLE GetHandle() const { return m_hMutex; }

private:
    HANDLE m_hMutex = nullptr;
    std::atomic<BOOL> m_bLocked { FALSE }; // what the last Lock or Unlock achieved, from any thread
};

class CMutexLocker {
public:
    explicit CMutexLocker(CMutex& mutex)
        : m_pMutex(&mutex)
    {
        m_pMutex->Lock(INFINITE);
    }
    ~CMutexLocker() { m_pMutex->Unlock(); }
    CMutexLocker(const CMutexLocker&) = delete;
    CMutexLocker& operator=(const CMutexLocker&) = delete;

private:
    CMutex* m_pMutex;
};

class CCritSecLocker {
public:
    explicit CCritSecLocker(CRITICAL_SECTION& cs)
        : m_pCs(&cs)
    {
        EnterCriticalSection(m_pCs);
    }
    ~CCritSecLocker() { LeaveCriticalSection(m_pCs); }
    CCritSecLocker(const CCritSecLocker&) = delete;
    CCritSecLocker& operator=(const CCritSecLocker&) = delete;

private:
    CRITICAL_SECTION* m_pCs;
};
