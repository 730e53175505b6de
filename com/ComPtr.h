#pragma once
// An owning interface reference: every pointer it holds is counted once, every count it took is
// released by it.

#include "Unknown.h"

#include <utility>

namespace vl
{

template <class T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) { }
    // Takes a reference of its own (AddRef); the caller keeps its reference.
    explicit ComPtr(T* p)
        : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& other)
        : ComPtr(other.m_p)
    {
    }
    ComPtr(ComPtr&& other) noexcept
        : m_p(std::exchange(other.m_p, nullptr))
    {
    }
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t)
    {
        reset();
        return *this;
    }

    // Adopts a reference that the caller already counted (no AddRef).
    static ComPtr adopt(T* p)
    {
        ComPtr result;
        result.m_p = p;
        return result;
    }
    void attach(T* p)
    {
        reset();
        m_p = p;
    }
    // Hands the reference to the caller, who must release it.
    [[nodiscard]] T* detach() { return std::exchange(m_p, nullptr); }

    void reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    void swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Out-parameter access: releases what is held first, so a callee that fills it never leaks.
    T** operator&()
    {
        reset();
        return &m_p;
    }
    void** voidOut()
    {
        reset();
        return reinterpret_cast<void**>(&m_p);
    }

    // QueryInterface into another reference; the answer is the callee's.
    template <class U> HRESULT query(REFIID iid, ComPtr<U>& out) const
    {
        if (!m_p) {
            out.reset();
            return E_POINTER;
        }
        return m_p->QueryInterface(iid, out.voidOut());
    }

    // A new counted reference for an out parameter (null when empty).
    HRESULT copyTo(T** out) const
    {
        if (!out)
            return E_POINTER;
        *out = m_p;
        if (m_p)
            m_p->AddRef();
        return S_OK;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.m_p == b.m_p; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.m_p == nullptr; }

private:
    T* m_p = nullptr;
};

} // namespace vl
