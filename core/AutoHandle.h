// Holders that close a system handle when their scope ends. One template, a traits class per
// handle kind: the close call and the value that means nothing is held. The handle is swapped
// atomically, so another thread may close a holder to cancel what its owner waits on (a page
// check's connection) without a race on the field: the handle is closed exactly once.
#pragma once

#include "platform/base/FileWrite.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/WinTypes.h"

#include <atomic>

template <typename Traits> class CHandleHolder {
public:
    using Handle = typename Traits::Handle;

    CHandleHolder() = default;
    explicit CHandleHolder(Handle handle)
        : m_handle(handle)
    {
    }
    ~CHandleHolder() { Close(); }
    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;
    CHandleHolder(CHandleHolder&& other) noexcept
        : m_handle(other.Detach())
    {
    }
    CHandleHolder& operator=(CHandleHolder&& other) noexcept
    {
        if (this != &other)
            *this = other.Detach();
        return *this;
    }

    CHandleHolder& operator=(Handle handle)
    {
        const Handle old = m_handle.exchange(handle);
        if (old != Traits::Empty() && old != handle)
            Traits::Close(old);
        return *this;
    }

    BOOL IsValid() const { return m_handle.load() != Traits::Empty() ? TRUE : FALSE; }

    BOOL Close()
    {
        const Handle handle = m_handle.exchange(Traits::Empty());
        return handle != Traits::Empty() ? Traits::Close(handle) : FALSE;
    }

    // Gives up the handle without closing it.
    Handle Detach() { return m_handle.exchange(Traits::Empty()); }

    Handle Get() const { return m_handle.load(); }
    operator Handle() const { return m_handle.load(); }

private:
    std::atomic<Handle> m_handle { Traits::Empty() };
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static BOOL Close(Handle h) { return CloseHandle(h); }
};

// Files are descriptors here; -1 plays the part of INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = int;
    static Handle Empty() { return -1; }
    static BOOL Close(Handle fd) { return taluvo::CloseFile(fd) ? TRUE : FALSE; }
};

using CAutoHandle = CHandleHolder<KernelHandleTraits>;
using CAutoFileHandle = CHandleHolder<FileHandleTraits>;
