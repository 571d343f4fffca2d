#include "engine/ConnectionStates.h"

#include "platform/base/KernelObjects.h"

CConnectionStates::CConnectionStates()
    : m_hAdded(CreateEvent(nullptr, TRUE, FALSE, nullptr))
{
}

void CConnectionStates::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_notices.clear();
}

void CConnectionStates::Add(LPARAM notice)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_notices.push_back(notice);
    }
    if (m_hAdded.IsValid())
        SetEvent(m_hAdded);
}

void CConnectionStates::TakeInto(std::vector<LPARAM>& out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    out.insert(out.end(), m_notices.begin(), m_notices.end());
    m_notices.clear();
}
