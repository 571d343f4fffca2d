// Objects addressed by handles that are keys, never pointers: a stale handle finds nothing, and an
// object a caller holds stays alive while it works on it, even if another call removes it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace taluvo::ui::detail {

template <class Handle, class Object> class HandleTable {
public:
    // Handles of different tables start at different bases, so one kind is never taken for another.
    explicit HandleTable(uintptr_t base)
        : m_base(base)
    {
    }
    Handle Add(std::shared_ptr<Object> object)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto handle = reinterpret_cast<Handle>(m_base + m_next++ * 4);
        m_objects[handle] = std::move(object);
        return handle;
    }
    std::shared_ptr<Object> Find(Handle handle) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_objects.find(handle);
        return it == m_objects.end() ? nullptr : it->second;
    }
    bool Remove(Handle handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_objects.erase(handle) != 0;
    }

private:
    mutable std::mutex m_lock;
    std::map<Handle, std::shared_ptr<Object>> m_objects;
    uintptr_t m_base;
    uintptr_t m_next = 1;
};

} // namespace taluvo::ui::detail
