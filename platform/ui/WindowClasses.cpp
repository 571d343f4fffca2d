// Window classes: the built-in controls' and those the program registers, by name without regard
// to letter case. Any thread may register or look up.
#include "platform/ui/detail/MessageCore.h"

#include "platform/base/KernelObjects.h"

#include <atomic>
#include <map>
#include <mutex>

namespace {

using namespace taluvo::ui::detail;

class Classes {
public:
    static Classes& Instance()
    {
        static Classes* classes = new Classes;
        return *classes;
    }
    void Add(ClassInfo info)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_classes[info.name.toCaseFolded()] = std::move(info);
    }
    bool Find(const QString& name, ClassInfo* info)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_classes.find(name.toCaseFolded());
        if (it == m_classes.end())
            return false;
        *info = it->second;
        return true;
    }

private:
    std::mutex m_lock;
    std::map<QString, ClassInfo> m_classes;
};

} // namespace

namespace taluvo::ui::detail {

void RegisterBuiltinClass(ClassInfo info)
{
    Classes::Instance().Add(std::move(info));
}

bool FindClass(const QString& name, ClassInfo* info)
{
    return Classes::Instance().Find(name, info);
}

} // namespace taluvo::ui::detail

WORD RegisterClass(const WNDCLASS* wndClass)
{
    if (!wndClass || !wndClass->lpszClassName || !wndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    static std::atomic<WORD> atom { 0xC000 };
    ClassInfo info;
    info.name = QString::fromUtf16(wndClass->lpszClassName);
    info.proc = wndClass->lpfnWndProc;
    info.cursor = wndClass->hCursor;
    RegisterBuiltinClass(std::move(info));
    return atom.fetch_add(1);
}
