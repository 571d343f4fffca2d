// Owning pointer that knows whether it holds an array (array delete) or one object.
#pragma once

#include "platform/base/WinTypes.h"

template <typename T> class CSmartPtr {
public:
    explicit CSmartPtr(T* pointer = nullptr, bool isArray = false)
        : m_p(pointer)
        , m_bArray(isArray)
    {
    }
    ~CSmartPtr() { Free(); }
    CSmartPtr(const CSmartPtr&) = delete;
    CSmartPtr& operator=(const CSmartPtr&) = delete;

    // Deletes the held object first, unless it is the one given.
    CSmartPtr& operator=(T* pointer)
    {
        if (pointer != m_p) {
            Free();
            m_p = pointer;
        }
        return *this;
    }

    BOOL IsValid() const { return m_p ? TRUE : FALSE; }

    // Gives up ownership: the object lives on, owned by the caller.
    T* Release()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    operator T*() const { return m_p; }

private:
    void Free()
    {
        if (m_bArray)
            delete[] m_p;
        else
            delete m_p;
        m_p = nullptr;
    }

    T* m_p;
    const bool m_bArray;
};
