// The message loop of a user-interface thread with its message filters and idle handlers, and the
// application module that keeps one loop per thread.
//
// Filters are asked newest first and may swallow a message; they see the posted messages the loop
// takes and the input Qt delivers while this loop is the innermost one, never the input of a
// modal dialog, message box or menu that runs its own loop. Idle handlers run when the queue has
// become empty after any message other than a mouse move, a paint or the caret timer: posted,
// timer and input messages, and messages other threads sent.
#pragma once

#include "platform/ui/UserApi.h"
#include "platform/ui/detail/Core.h"

#include <map>
#include <mutex>
#include <vector>

class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    virtual BOOL PreTranslateMessage(MSG* pMsg) = 0;
};

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    virtual BOOL OnIdle() = 0;
};

class CMessageLoop : private taluvo::ui::detail::LoopObserver {
public:
    std::vector<CMessageFilter*> m_aMsgFilter;
    std::vector<CIdleHandler*> m_aIdleHandler;
    MSG m_msg;

    virtual ~CMessageLoop() = default;

    BOOL AddMessageFilter(CMessageFilter* filter);
    BOOL RemoveMessageFilter(CMessageFilter* filter);
    BOOL AddIdleHandler(CIdleHandler* handler);
    BOOL RemoveIdleHandler(CIdleHandler* handler);

    // Runs until WM_QUIT; returns its exit code.
    int Run();

    // Asks the filters from the last registered to the first; TRUE at the first that takes it.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Calls every idle handler in registration order and returns FALSE: once per idle period.
    virtual BOOL OnIdle(int nIdleCount);
    // FALSE for the messages that do not make idle processing due again.
    static BOOL IsIdleMessage(const MSG* pMsg);

private:
    bool FilterInput(MSG& msg) override { return PreTranslateMessage(&msg) != FALSE; }
    void InputHandled(const MSG& msg) override;

    bool m_inputSeen = false;
    bool m_inputRearms = false;
};

class CAppModule {
public:
    HRESULT Init(void* objectMap, HINSTANCE instance, const void* libraryId = nullptr);
    void Term();
    HINSTANCE GetModuleInstance() const { return m_hInst; }
    HINSTANCE GetResourceInstance() const { return m_hInst; }

    BOOL AddMessageLoop(CMessageLoop* loop);
    BOOL RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = 0) const;

private:
    HINSTANCE m_hInst = nullptr;
    mutable std::mutex m_lock;
    std::map<DWORD, CMessageLoop*> m_loops;
};
