#pragma once
// Base for objects that implement interfaces: reference counting, QueryInterface through one
// virtual lookup, and a process-wide count of live objects so tests can prove nothing leaked.

#include "Unknown.h"

#include <atomic>

namespace vl
{

// Objects of the layer alive right now (every ComObject and every ObjectCounter).
long liveObjectCount();

// Counts its owner among the live objects; for implementations that do their own counting.
class ObjectCounter
{
public:
    ObjectCounter();
    ObjectCounter(const ObjectCounter&);
    ObjectCounter& operator=(const ObjectCounter&) = default;
    ~ObjectCounter();
};

// Implements IUnknown for all of Interfaces at once (the first one is the object's IUnknown).
// A new object starts with one reference, which its creator owns; the last Release deletes it.
// Derived classes answer interfaceFor; the destructor and interfaceFor take vtable slots only
// after those of the first interface, so slot numbers of the interfaces stay intact.
template <class... Interfaces> class ComObject : public Interfaces...
{
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        void* found = iid == IID_IUnknown ? unknown() : interfaceFor(iid);
        *object = found;
        if (!found)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    IUnknown* unknown() { return static_cast<First*>(this); }
    ULONG refCount() const { return m_refs; }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // The interface pointer for iid (already cast to it), or null; IUnknown is handled above.
    virtual void* interfaceFor(REFIID iid) = 0;

private:
    template <class F, class...> struct FirstOf {
        using type = F;
    };
    using First = typename FirstOf<Interfaces...>::type;

    std::atomic<ULONG> m_refs { 1 };
    ObjectCounter m_counter;
};

} // namespace vl
