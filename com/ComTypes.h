#pragma once
// Scalar types, status codes, identifiers and small structures of the component object layer.
// Names follow the platform's so that code written against its interfaces reads the same here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class QWidget;

using BYTE = uint8_t;
using CHAR = char;
using SHORT = int16_t;
using USHORT = uint16_t;
using WORD = uint16_t;
using INT = int32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using FLOAT = float;
using DOUBLE = double;
using BOOL = int32_t;
using HRESULT = int32_t;
using SCODE = int32_t;
using LCID = uint32_t;
using DISPID = int32_t;
using MEMBERID = int32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;
using OLECHAR = char16_t;
using WCHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using BSTR = OLECHAR*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// A window is a widget of the host's window library; the layer itself never touches it.
using HWND = QWidget*;
using HMENU = struct HMENU__*;
using HOLEMENU = struct HOLEMENU__*;
using HACCEL = struct HACCEL__*;
using HFONT = struct HFONT__*;
using HDC = struct HDC__*;

#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10000.
struct CY {
    LONGLONG int64;
};

struct LARGE_INTEGER {
    LONGLONG QuadPart;
};
struct ULARGE_INTEGER {
    ULONGLONG QuadPart;
};

struct SIZEL {
    LONG cx;
    LONG cy;
};
using SIZE = SIZEL;

struct POINTL {
    LONG x;
    LONG y;
};
using POINT = POINTL;

struct POINTF {
    FLOAT x;
    FLOAT y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

// A keyboard message as the host hands it to a control for accelerator translation.
// key is the host's key code; modifiers are KEYMOD_* bits.
struct MSG {
    HWND hwnd;
    UINT message;
    UINT key;
    UINT modifiers;
};
using LPMSG = MSG*;

inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;

// Modifier bits of MSG::modifiers and of IOleControlSite::TranslateAccelerator.
inline constexpr UINT KEYMOD_SHIFT = 0x1;
inline constexpr UINT KEYMOD_CONTROL = 0x2;
inline constexpr UINT KEYMOD_ALT = 0x4;

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}
constexpr HRESULT MAKE_HRESULT(uint32_t severity, uint32_t facility, uint32_t code)
{
    return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t error)
{
    return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                            : static_cast<HRESULT>((error & 0xFFFF) | (7u << 16) | 0x80000000u);
}
constexpr uint32_t HRESULT_CODE(HRESULT hr)
{
    return static_cast<uint32_t>(hr) & 0xFFFF;
}
constexpr uint32_t HRESULT_FACILITY(HRESULT hr)
{
    return (static_cast<uint32_t>(hr) >> 16) & 0x1FFF;
}

inline constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
inline constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;

#define VL_HR(x) static_cast<HRESULT>(x##u)
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = VL_HR(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = VL_HR(0x80004002);
inline constexpr HRESULT E_POINTER = VL_HR(0x80004003);
inline constexpr HRESULT E_ABORT = VL_HR(0x80004004);
inline constexpr HRESULT E_FAIL = VL_HR(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = VL_HR(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = VL_HR(0x80070005);
inline constexpr HRESULT E_HANDLE = VL_HR(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = VL_HR(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = VL_HR(0x80070057);
inline constexpr HRESULT RPC_E_CHANGED_MODE = VL_HR(0x80010106);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = VL_HR(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = VL_HR(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = VL_HR(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = VL_HR(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = VL_HR(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = VL_HR(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = VL_HR(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = VL_HR(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = VL_HR(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = VL_HR(0x8002000B);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = VL_HR(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = VL_HR(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = VL_HR(0x8002000F);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = VL_HR(0x8002802B);
inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = VL_HR(0x80040003);
inline constexpr HRESULT OLE_E_NOCONNECTION = VL_HR(0x80040004);
inline constexpr HRESULT OLE_E_NOTRUNNING = VL_HR(0x80040005);
inline constexpr HRESULT OLE_E_BLANK = VL_HR(0x80040007);
inline constexpr HRESULT OLE_E_NOT_INPLACEACTIVE = VL_HR(0x80040010);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = VL_HR(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = VL_HR(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = VL_HR(0x80040154);
inline constexpr HRESULT OLEOBJ_E_NOVERBS = VL_HR(0x80040180);
inline constexpr HRESULT OLEOBJ_E_INVALIDVERB = VL_HR(0x80040181);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = VL_HR(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = VL_HR(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = VL_HR(0x80040202);
inline constexpr HRESULT CO_E_NOTINITIALIZED = VL_HR(0x800401F0);
inline constexpr HRESULT CO_E_DLLNOTFOUND = VL_HR(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = VL_HR(0x800401F9);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = VL_HR(0x80030001);
inline constexpr HRESULT STG_E_INVALIDPOINTER = VL_HR(0x80030009);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = VL_HR(0x80030057);
inline constexpr HRESULT STG_E_MEDIUMFULL = VL_HR(0x80030070);
inline constexpr HRESULT STG_E_READFAULT = VL_HR(0x8003001E);
#undef VL_HR

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL = { 0, 0, 0, { 0, 0, 0, 0, 0, 0, 0, 0 } };
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr CLSID CLSID_NULL = GUID_NULL;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a == b;
}
constexpr bool IsEqualIID(REFIID a, REFIID b)
{
    return a == b;
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return a == b;
}

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits of either case, braces required).
// On failure *clsid is set to GUID_NULL and the answer is E_INVALIDARG (E_POINTER for a null argument).
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);
// Writes the braced form with capital letters and a terminating zero; answers the characters written
// including the zero (39), or 0 when cchMax is below 39.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);

namespace vl
{
// The braced, upper-case text of a GUID: "{9CD362AE-2503-42F5-8053-389BEFBA293D}".
std::string guidToString(const GUID& guid);
// Parses the braced form; false (and guid unchanged) when the text is anything else.
bool parseGuid(std::string_view text, GUID& guid);
} // namespace vl

// Memory that the callee allocates and the caller frees (predefined-string lists and the like).
void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* block);

// Locale identifiers: the user's default derives from the thread's LC_CTYPE locale (en-US for "C").
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
LCID GetUserDefaultLCID();
