#include "platform/shell/ShellHooks.h"

#include <mutex>

namespace taluvo::shell {
namespace {

std::mutex& HookLock()
{
    static std::mutex lock;
    return lock;
}

RequestHook& Hook()
{
    static RequestHook hook;
    return hook;
}

} // namespace

RequestHook SetRequestHook(RequestHook hook)
{
    std::lock_guard<std::mutex> guard(HookLock());
    RequestHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

bool OfferToHook(const Request& request)
{
    RequestHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
    }
    return hook && hook(request);
}

} // namespace taluvo::shell
