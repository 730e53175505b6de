#pragma once
// Rich error information, one slot per thread, shared by the program and every plug-in.

#include "ComPtr.h"

#include <string_view>

// {1CF2B120-547D-101B-8E65-08002B2BD119}
inline constexpr IID IID_IErrorInfo
    = { 0x1CF2B120, 0x547D, 0x101B, { 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19 } };
// {22F03340-547D-101B-8E65-08002B2BD119}
inline constexpr IID IID_ICreateErrorInfo
    = { 0x22F03340, 0x547D, 0x101B, { 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19 } };
// {DF0B3D60-548F-101B-8E65-08002B2BD119}
inline constexpr IID IID_ISupportErrorInfo
    = { 0xDF0B3D60, 0x548F, 0x101B, { 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19 } };

// The getters hand out new strings that the caller frees (null for an unset text).
class IErrorInfo : public IUnknown
{
public:
    virtual HRESULT GetGUID(GUID* guid) = 0; // slot 3
    virtual HRESULT GetSource(BSTR* source) = 0; // slot 4
    virtual HRESULT GetDescription(BSTR* description) = 0; // slot 5
    virtual HRESULT GetHelpFile(BSTR* helpFile) = 0; // slot 6
    virtual HRESULT GetHelpContext(DWORD* helpContext) = 0; // slot 7

protected:
    ~IErrorInfo() = default;
};

// The setters copy their text; null clears it.
class ICreateErrorInfo : public IUnknown
{
public:
    virtual HRESULT SetGUID(REFGUID guid) = 0; // slot 3
    virtual HRESULT SetSource(LPOLESTR source) = 0; // slot 4
    virtual HRESULT SetDescription(LPOLESTR description) = 0; // slot 5
    virtual HRESULT SetHelpFile(LPOLESTR helpFile) = 0; // slot 6
    virtual HRESULT SetHelpContext(DWORD helpContext) = 0; // slot 7

protected:
    ~ICreateErrorInfo() = default;
};

class ISupportErrorInfo : public IUnknown
{
public:
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0; // slot 3

protected:
    ~ISupportErrorInfo() = default;
};

// A new, empty error object (also answering IErrorInfo); E_POINTER for a null argument.
HRESULT CreateErrorInfo(ICreateErrorInfo** info);
// Replaces the calling thread's error object (null empties the slot); the slot takes a reference.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Hands the thread's error object to the caller and empties the slot: S_OK with the object, or
// S_FALSE with null when there is none. Other threads never see it.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

namespace vl
{
// Puts a new error object with these texts on the calling thread and answers hr, so a method can
// end with `return vl::setErrorInfo(E_FAIL, u"Viewer", u"Template not found");`.
HRESULT setErrorInfo(HRESULT hr, std::u16string_view source, std::u16string_view description, REFGUID iid = GUID_NULL,
    std::u16string_view helpFile = {}, DWORD helpContext = 0);
} // namespace vl
