#include "platform/ui/MessageLoop.h"

#include "platform/base/Process.h"

#include <algorithm>

using namespace taluvo::ui::detail;

namespace {

template <class T> BOOL AddTo(std::vector<T*>& list, T* item)
{
    if (!item)
        return FALSE;
    list.push_back(item);
    return TRUE;
}

template <class T> BOOL RemoveFrom(std::vector<T*>& list, T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return FALSE;
    list.erase(it);
    return TRUE;
}

} // namespace

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* filter)
{
    return AddTo(m_aMsgFilter, filter);
}
BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* filter)
{
    return RemoveFrom(m_aMsgFilter, filter);
}
BOOL CMessageLoop::AddIdleHandler(CIdleHandler* handler)
{
    return AddTo(m_aIdleHandler, handler);
}
BOOL CMessageLoop::RemoveIdleHandler(CIdleHandler* handler)
{
    return RemoveFrom(m_aIdleHandler, handler);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* pMsg)
{
    // A filter may remove itself (or others) while it runs: walk a copy.
    const auto filters = m_aMsgFilter;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it)
        if (*it && (*it)->PreTranslateMessage(pMsg))
            return TRUE;
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int)
{
    const auto handlers = m_aIdleHandler;
    for (CIdleHandler* handler : handlers)
        if (handler)
            handler->OnIdle();
    return FALSE;
}

BOOL CMessageLoop::IsIdleMessage(const MSG* pMsg)
{
    switch (pMsg->message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case WM_SYSTIMER:
        return FALSE;
    default:
        return TRUE;
    }
}

void CMessageLoop::InputHandled(const MSG& msg)
{
    m_inputSeen = true;
    if (IsIdleMessage(&msg))
        m_inputRearms = true;
}

int CMessageLoop::Run()
{
    EnsureUiSetup();
    LoopScope scope(LoopKind::Main, this);
    BOOL doIdle = TRUE;
    int idleCount = 0;
    for (;;) {
        while (doIdle && !HasQueuedWork()) {
            if (!OnIdle(idleCount++))
                doIdle = FALSE;
        }
        // Wait for the next posted message; input that Qt delivers and messages other threads
        // send meanwhile went through the filters and window procedures already and only count
        // for idle processing.
        bool gotMessage = false;
        for (;;) {
            ServeSends();
            if (TakePosted(&m_msg, nullptr, 0, 0, true)) {
                gotMessage = true;
                break;
            }
            int code = 0;
            if (QuitPending(&code, true)) {
                m_msg = MSG();
                m_msg.message = WM_QUIT;
                m_msg.wParam = static_cast<WPARAM>(code);
                return code;
            }
            if (m_inputSeen)
                break;
            PumpOnce(true);
        }
        if (gotMessage) {
            if (!PreTranslateMessage(&m_msg)) {
                ::TranslateMessage(&m_msg);
                ::DispatchMessage(&m_msg);
            }
            if (IsIdleMessage(&m_msg)) {
                doIdle = TRUE;
                idleCount = 0;
            }
        } else {
            if (m_inputRearms) {
                doIdle = TRUE;
                idleCount = 0;
            }
            m_inputSeen = false;
            m_inputRearms = false;
        }
    }
}

HRESULT CAppModule::Init(void*, HINSTANCE instance, const void*)
{
    m_hInst = instance;
    EnsureUiSetup();
    return 0;
}

void CAppModule::Term()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_loops.clear();
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_loops.emplace(GetCurrentThreadId(), loop).second ? TRUE : FALSE;
}

BOOL CAppModule::RemoveMessageLoop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_loops.erase(GetCurrentThreadId()) ? TRUE : FALSE;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_loops.find(threadId ? threadId : GetCurrentThreadId());
    return it == m_loops.end() ? nullptr : it->second;
}
