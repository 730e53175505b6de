#pragma once
// The root interfaces. Every interface of the layer is an abstract class whose virtual functions
// occupy vtable slots in declaration order, so no interface declares a virtual destructor (that
// would take slots of its own); the destructor is protected instead, so no one deletes through one.

#include "ComTypes.h"

struct VARIANT;
using VARIANTARG = VARIANT;
class ITypeInfo; // never implemented: objects answer GetTypeInfo with E_NOTIMPL or a null result

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = { 0x00000000, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
// {00020400-0000-0000-C000-000000000046}
inline constexpr IID IID_IDispatch = { 0x00020400, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

class IUnknown
{
public:
    // slot 0: on success *object holds a counted reference; on failure it is set to null.
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0; // slot 1
    virtual ULONG Release() = 0; // slot 2

protected:
    ~IUnknown() = default;
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments of Invoke: rgvarg holds them last-first (rgvarg[cArgs - 1] is the first argument);
// the first cNamedArgs entries of rgvarg are the named ones, identified by rgdispidNamedArgs.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// Filled by a callee that answers DISP_E_EXCEPTION; the caller owns and frees the three strings.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

class IDispatch : public IUnknown
{
public:
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0; // slot 3
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) = 0; // slot 4
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, // slot 5
        DISPID* dispIds)
        = 0;
    virtual HRESULT Invoke(DISPID dispId, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, // slot 6
        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr)
        = 0;

protected:
    ~IDispatch() = default;
};

// The standard and ambient DISPIDs.
inline constexpr DISPID DISPID_AUTOSIZE = -500;
inline constexpr DISPID DISPID_BACKCOLOR = -501;
inline constexpr DISPID DISPID_BACKSTYLE = -502;
inline constexpr DISPID DISPID_BORDERCOLOR = -503;
inline constexpr DISPID DISPID_FONT = -512;
inline constexpr DISPID DISPID_FORECOLOR = -513;
inline constexpr DISPID DISPID_ENABLED = -514;
inline constexpr DISPID DISPID_HWND = -515;
inline constexpr DISPID DISPID_TABSTOP = -516;
inline constexpr DISPID DISPID_TEXT = -517;
inline constexpr DISPID DISPID_CAPTION = -518;

inline constexpr DISPID DISPID_CLICK = -600;
inline constexpr DISPID DISPID_DBLCLICK = -601;
inline constexpr DISPID DISPID_KEYDOWN = -602;
inline constexpr DISPID DISPID_KEYPRESS = -603;
inline constexpr DISPID DISPID_KEYUP = -604;
inline constexpr DISPID DISPID_MOUSEDOWN = -605;
inline constexpr DISPID DISPID_MOUSEMOVE = -606;
inline constexpr DISPID DISPID_MOUSEUP = -607;
inline constexpr DISPID DISPID_ERROREVENT = -608;

inline constexpr DISPID DISPID_AMBIENT_BACKCOLOR = -701;
inline constexpr DISPID DISPID_AMBIENT_DISPLAYNAME = -702;
inline constexpr DISPID DISPID_AMBIENT_FONT = -703;
inline constexpr DISPID DISPID_AMBIENT_FORECOLOR = -704;
inline constexpr DISPID DISPID_AMBIENT_LOCALEID = -705;
inline constexpr DISPID DISPID_AMBIENT_MESSAGEREFLECT = -706;
inline constexpr DISPID DISPID_AMBIENT_SCALEUNITS = -707;
inline constexpr DISPID DISPID_AMBIENT_TEXTALIGN = -708;
inline constexpr DISPID DISPID_AMBIENT_USERMODE = -709;
inline constexpr DISPID DISPID_AMBIENT_UIDEAD = -710;
inline constexpr DISPID DISPID_AMBIENT_SHOWGRABHANDLES = -711;
inline constexpr DISPID DISPID_AMBIENT_SHOWHATCHING = -712;
inline constexpr DISPID DISPID_AMBIENT_DISPLAYASDEFAULT = -713;
inline constexpr DISPID DISPID_AMBIENT_SUPPORTSMNEMONICS = -714;
inline constexpr DISPID DISPID_AMBIENT_AUTOCLIP = -715;
inline constexpr DISPID DISPID_AMBIENT_APPEARANCE = -716;

namespace vl
{
// Frees the three strings of an EXCEPINFO and zeroes it.
void clearExcepInfo(EXCEPINFO& info);

// An EXCEPINFO that frees its strings when it goes.
class ExcepInfo
{
public:
    ExcepInfo()
        : m_info {}
    {
    }
    ~ExcepInfo() { clearExcepInfo(m_info); }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    EXCEPINFO* operator&() { return &m_info; }
    EXCEPINFO* get() { return &m_info; }
    const EXCEPINFO& operator*() const { return m_info; }
    const EXCEPINFO* operator->() const { return &m_info; }

private:
    EXCEPINFO m_info;
};
} // namespace vl
