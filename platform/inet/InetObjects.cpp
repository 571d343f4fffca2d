// The handle registry and the status notices of the internet layer. A handle's closing notice is
// always its last: given by the closing thread when no notice of the handle runs, else by the last
// notice that ends.
#include "platform/inet/InetObjects.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/TextCodec.h"

#include <mutex>

namespace taluvo::inet::detail {

Registry& Reg()
{
    static Registry* registry = new Registry;
    return *registry;
}

RunningWork& Running()
{
    static RunningWork* running = new RunningWork;
    return *running;
}

void CountRunning(int change)
{
    RunningWork& running = Running();
    std::lock_guard<std::mutex> guard(running.lock);
    running.count += change;
    if (running.count == 0)
        running.changed.notify_all();
}

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { CurlOk(curl_global_init(CURL_GLOBAL_DEFAULT), "curl_global_init"); });
}

QByteArray Narrow(LPCWSTR text)
{
    return text ? taluvo::AnsiEncode(text) : QByteArray();
}

QString Wide(LPCWSTR text)
{
    return text ? QString::fromUtf16(text) : QString();
}

std::shared_ptr<Object> Find(HINTERNET handle)
{
    Registry& reg = Reg();
    std::lock_guard<std::mutex> guard(reg.lock);
    const auto it = reg.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == reg.objects.end() ? nullptr : it->second;
}

void Register(const std::shared_ptr<Object>& object)
{
    Registry& reg = Reg();
    std::lock_guard<std::mutex> guard(reg.lock);
    object->id = reg.nextId;
    reg.nextId += 4;
    reg.objects.emplace(object->id, object);
    if (object->parent)
        reg.children[object->parent->id].push_back(object->id);
    if (object->parent)
        object->options = object->parent->options;
}

void CallBack(Object& object, DWORD status, LPVOID info, DWORD length)
{
    // As WinInet: handles opened with a context of 0 get no notices.
    const INTERNET_STATUS_CALLBACK callback = object.callback.load();
    if (object.context == 0 || callback == nullptr || callback == INTERNET_INVALID_STATUS_CALLBACK)
        return;
    callback(object.Handle(), object.context, status, info, length);
}

// A notice may start unless the closing notice has been given; one of a closed handle only when
// it may still come (the one completion of an operation taken before the close).
bool BeginNotice(Object& object, bool evenWhenClosed)
{
    std::lock_guard<std::mutex> guard(object.noticeLock);
    if (object.closingGiven || (!evenWhenClosed && object.closed.load()))
        return false;
    ++object.noticesRunning;
    return true;
}

void GiveClosingNotice(Object& object)
{
    HINTERNET handle = object.Handle();
    CallBack(object, INTERNET_STATUS_HANDLE_CLOSING, &handle, sizeof(handle));
}

// The last notice running of a closed handle gives the closing notice, on its own thread.
void EndNotice(Object& object)
{
    bool closing = false;
    {
        std::lock_guard<std::mutex> guard(object.noticeLock);
        --object.noticesRunning;
        if (object.noticesRunning == 0 && object.closingOwed) {
            object.closingOwed = false;
            object.closingGiven = true;
            closing = true;
        }
    }
    if (closing)
        GiveClosingNotice(object);
}

// A notice whose start was counted already.
void NotifyCounted(Object& object, DWORD status, LPVOID info, DWORD length)
{
    CallBack(object, status, info, length);
    EndNotice(object);
}

void Notify(Object& object, DWORD status, LPVOID info, DWORD length, bool evenWhenClosed)
{
    if (BeginNotice(object, evenWhenClosed))
        NotifyCounted(object, status, info, length);
}

// Notices of a live handle only: none starts once the handle is closed.
void NotifyLive(Object& object, DWORD status, LPVOID info, DWORD length)
{
    Notify(object, status, info, length, false);
}

void NotifyHandleCreated(Object& object)
{
    INTERNET_ASYNC_RESULT result { reinterpret_cast<DWORD_PTR>(object.Handle()), 0 };
    Notify(object, INTERNET_STATUS_HANDLE_CREATED, &result, sizeof(result));
}

} // namespace taluvo::inet::detail
