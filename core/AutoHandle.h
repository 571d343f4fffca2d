// Holders that close a system handle when their scope ends. One template, a traits class per
// handle kind: the close call and the value that means nothing is held.
#pragma once

#include "platform/base/KernelObjects.h"
#include "platform/base/WinTypes.h"

#include <unistd.h>

template <typename Traits>
class CHandleHolder {
public:
    using Handle = typename Traits::Handle;

    CHandleHolder() = default;
    explicit CHandleHolder(Handle handle) : m_handle(handle) {}
    ~CHandleHolder() { Close(); }
    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;
    CHandleHolder(CHandleHolder&& other) noexcept : m_handle(other.Detach()) {}
    CHandleHolder& operator=(CHandleHolder&& other) noexcept
    {
        if (this != &other)
            *this = other.Detach();
        return *this;
    }

    CHandleHolder& operator=(Handle handle)
    {
        if (handle != m_handle) {
            Close();
            m_handle = handle;
        }
        return *this;
    }

    BOOL IsValid() const { return m_handle != Traits::Empty() ? TRUE : FALSE; }

    BOOL Close()
    {
        if (!IsValid())
            return FALSE;
        const BOOL result = Traits::Close(m_handle);
        m_handle = Traits::Empty();
        return result;
    }

    // Gives up the handle without closing it.
    Handle Detach()
    {
        Handle handle = m_handle;
        m_handle = Traits::Empty();
        return handle;
    }

    Handle Get() const { return m_handle; }
    operator Handle() const { return m_handle; }

private:
    Handle m_handle = Traits::Empty();
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
    static BOOL Close(Handle fd) { return ::close(fd) == 0 ? TRUE : FALSE; }
};

using CAutoHandle = CHandleHolder<KernelHandleTraits>;
using CAutoFileHandle = CHandleHolder<FileHandleTraits>;
