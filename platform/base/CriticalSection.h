// Critical sections and interlocked operations: in-process locks, recursive for their owner.
#pragma once

#include "platform/base/WinTypes.h"

#include <atomic>
#include <mutex>

struct CRITICAL_SECTION {
    std::recursive_mutex lock;
};

inline void InitializeCriticalSection(CRITICAL_SECTION*) { }
inline void DeleteCriticalSection(CRITICAL_SECTION*) { }
inline void EnterCriticalSection(CRITICAL_SECTION* cs)
{
    cs->lock.lock();
}
inline void LeaveCriticalSection(CRITICAL_SECTION* cs)
{
    cs->lock.unlock();
}
inline BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs)
{
    return cs->lock.try_lock() ? TRUE : FALSE;
}

inline LONG InterlockedIncrement(std::atomic<LONG>* value)
{
    return ++*value;
}
inline LONG InterlockedDecrement(std::atomic<LONG>* value)
{
    return --*value;
}
inline LONG InterlockedExchange(std::atomic<LONG>* value, LONG newValue)
{
    return value->exchange(newValue);
}
