// The window registry: handles to window records. Any thread may look a handle up; a handle is
// never a pointer, so a stale one finds nothing.
#include "platform/ui/detail/MessageCore.h"

#include <algorithm>
#include <mutex>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using namespace taluvo::ui::detail;

class Registry {
public:
    static Registry& Instance()
    {
        static Registry* registry = new Registry; // outlives static destruction of windows' owners
        return *registry;
    }
    HWND Add(RecordPtr record)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Handles are never reused, so a handle kept past its window's end can never reach a newer one.
        m_next += 2;
        const HWND hwnd = reinterpret_cast<HWND>(m_next);
        record->hwnd = hwnd;
        m_windows[m_next] = std::move(record);
        m_order.push_back(m_next);
        return hwnd;
    }
    RecordPtr Find(HWND hwnd)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_windows.find(reinterpret_cast<uintptr_t>(hwnd));
        return it == m_windows.end() ? nullptr : it->second;
    }
    void Remove(HWND hwnd)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto key = reinterpret_cast<uintptr_t>(hwnd);
        m_windows.erase(key);
        m_order.erase(std::remove(m_order.begin(), m_order.end(), key), m_order.end());
    }
    std::vector<RecordPtr> TopLevel()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<RecordPtr> result;
        for (uintptr_t key : m_order)
            if (!(m_windows[key]->style & WS_CHILD))
                result.push_back(m_windows[key]);
        return result;
    }
    std::vector<RecordPtr> Children(HWND parent)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<RecordPtr> result;
        for (uintptr_t key : m_order) {
            const auto& record = m_windows[key];
            if (record->parent == parent)
                result.push_back(record);
        }
        return result;
    }

private:
    std::mutex m_lock;
    uintptr_t m_next = 0x10000;
    std::unordered_map<uintptr_t, RecordPtr> m_windows;
    std::vector<uintptr_t> m_order;
};

} // namespace

namespace taluvo::ui::detail {

HWND AddToRegistry(RecordPtr record)
{
    return Registry::Instance().Add(std::move(record));
}

void RemoveFromRegistry(HWND hwnd)
{
    Registry::Instance().Remove(hwnd);
}

RecordPtr Find(HWND hwnd)
{
    return hwnd ? Registry::Instance().Find(hwnd) : nullptr;
}

RecordPtr FromWidget(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const QVariant value = widget->property("taluvo_hwnd");
        if (value.isValid())
            if (auto record = Find(reinterpret_cast<HWND>(value.value<quintptr>())))
                return record;
    }
    return nullptr;
}

QWidget* WidgetOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? record->widget.data() : nullptr;
}

std::vector<RecordPtr> Children(HWND parent)
{
    return Registry::Instance().Children(parent);
}
std::vector<RecordPtr> TopLevelWindows()
{
    return Registry::Instance().TopLevel();
}

} // namespace taluvo::ui::detail

BOOL IsWindow(HWND hwnd)
{
    return Find(hwnd) ? TRUE : FALSE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId)
{
    auto record = Find(hwnd);
    if (processId)
        *processId = record ? static_cast<DWORD>(getpid()) : 0;
    return record ? record->threadId : 0;
}
