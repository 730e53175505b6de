#pragma once
// The IDispatch members of an object that offers no type information: its callers reach its
// members by the DISPIDs its interface declares, never by name.

#include "Unknown.h"

namespace vl
{

// GetTypeInfoCount: no type information (0); E_POINTER for a null count.
inline HRESULT noTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

// GetTypeInfo: E_NOTIMPL, with a null result where the caller gave a place for one.
inline HRESULT noTypeInfo(ITypeInfo** typeInfo)
{
    if (typeInfo)
        *typeInfo = nullptr;
    return E_NOTIMPL;
}

// GetTypeInfoCount, GetTypeInfo and GetIDsOfNames (E_NOTIMPL) as above, for a class that derives
// from NoTypeInfo<Base> where it would derive from Base (IDispatch, an interface derived from it,
// or a ComObject of one); it implements Invoke itself.
template <class Base> class NoTypeInfo : public Base
{
public:
    HRESULT GetTypeInfoCount(UINT* count) override { return noTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) override { return noTypeInfo(typeInfo); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
};

} // namespace vl
