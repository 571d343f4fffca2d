// The connection states of a check on their way to its window. The status callback collects them,
// on whichever thread the internet layer gives its notices; the check's worker hands them over in
// their order, together with its next notice, so a fast check wakes its window once for all of
// them. While a step takes long the worker hands them over as they come (see CUpdater::WaitForEvent).
#pragma once

#include "core/AutoHandle.h"
#include "platform/base/WinTypes.h"

#include <mutex>
#include <vector>

class CConnectionStates {
public:
    CConnectionStates();
    CConnectionStates(const CConnectionStates&) = delete;
    CConnectionStates& operator=(const CConnectionStates&) = delete;

    // Forgets what a previous check left.
    void Clear();
    // Keeps a state's notice and sets the event.
    void Add(LPARAM notice);
    // Appends the kept notices to out, in their order, and forgets them.
    void TakeInto(std::vector<LPARAM>& out);
    // Set by Add; reset by its waiter.
    HANDLE AddedEvent() const { return m_hAdded; }

private:
    std::mutex m_lock;
    std::vector<LPARAM> m_notices;
    CAutoHandle m_hAdded;
};
