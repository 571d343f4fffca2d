#include "core/Mutex.h"

CMutex::CMutex()
    : m_hMutex(CreateMutex(nullptr, FALSE, nullptr))
{
}

CMutex::~CMutex()
{
    if (m_hMutex) {
        // Releases a hold of this thread; a hold of another thread keeps the mutex object alive
        // until that thread releases it.
        Unlock();
        CloseHandle(m_hMutex);
    }
}

BOOL CMutex::Lock(DWORD milliseconds)
{
    if (!m_hMutex)
        return FALSE;
    const DWORD result = WaitForSingleObject(m_hMutex, milliseconds);
    m_bLocked = (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ? TRUE : FALSE;
    return m_bLocked;
}

BOOL CMutex::Unlock()
{
    if (!m_hMutex)
        return FALSE;
    const BOOL released = ReleaseMutex(m_hMutex);
    if (released)
        m_bLocked = FALSE;
    return released;
}

void CMutex::Attach(HANDLE mutex)
{
    if (m_hMutex)
        CloseHandle(m_hMutex);
    m_hMutex = mutex;
    m_bLocked = FALSE;
}
