#pragma once
// VARIANT with the platform's member names, its clear/copy functions (Variant.cpp), its type
// conversions (VariantConvert.cpp), and vl::Variant, a VARIANT that clears itself.

#include "BStr.h"
#include "SafeArray.h"
#include "Unknown.h"

#include <string_view>

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_RECORD = 36,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_TYPEMASK = 0x0FFF,
};

// 16 bytes on 64-bit: the type, three reserved words, then one 8-byte value.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using REFVARIANT = const VARIANT&;

// Flags of VariantChangeType.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02; // VT_BOOL to text as "True"/"False", not "-1"/"0"
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// Sets VT_EMPTY without looking at the old content.
void VariantInit(VARIANTARG* v);
// Frees the content (string, reference, array; by-ref content is not the variant's) and sets
// VT_EMPTY. An unknown type answers DISP_E_BADVARTYPE and leaves the variant as it was.
HRESULT VariantClear(VARIANTARG* v);
// Clears dest, then copies source into it: strings and arrays duplicated, references counted;
// a by-ref variant copies the reference, not the target. DISP_E_BADVARTYPE for an unknown
// type of either (dest is then unchanged).
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source);
// Like VariantCopy, but a by-ref source is dereferenced first (VT_VARIANT|VT_BYREF to its target).
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source);
// Converts source (dereferenced when by-ref) into dest, which may be source itself. Targets:
// VT_EMPTY, VT_NULL, VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT,
// VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_BSTR, VT_ERROR, VT_UNKNOWN, VT_DISPATCH.
// Floats go to integers rounded half to even; text is parsed without regard to the locale.
// DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW or DISP_E_BADVARTYPE on failure, dest unchanged.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID locale, USHORT flags, VARTYPE vt);
// The ordinary conversion to a 32-bit integer (as VariantChangeType to VT_I4).
HRESULT VariantToInt32(REFVARIANT v, LONG* result);

namespace vl
{

// True when vt is a type that VariantClear and VariantCopy accept.
bool isValidVariantType(VARTYPE vt);

// A VARIANT that clears itself. Layout-compatible with VARIANT, so arrays of it can serve as
// DISPPARAMS::rgvarg.
class Variant
{
public:
    Variant() { VariantInit(&m_v); }
    Variant(const Variant& other);
    Variant(const VARIANT& other);
    Variant(Variant&& other) noexcept
        : m_v(other.m_v)
    {
        VariantInit(&other.m_v);
    }
    ~Variant() { VariantClear(&m_v); }
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;

    static Variant fromInt32(int32_t value);
    static Variant fromDouble(double value);
    static Variant fromBool(bool value);
    // An empty text gives a null BSTR in a VT_BSTR variant.
    static Variant fromString(std::u16string_view text);
    // Takes ownership of the string.
    static Variant fromBStr(BStr text);
    // Counts a reference of its own.
    static Variant fromDispatch(IDispatch* object);
    static Variant fromUnknown(IUnknown* object);
    // Takes ownership of the variant's content; the source becomes VT_EMPTY.
    static Variant adopt(VARIANT& v);

    VARTYPE type() const { return m_v.vt; }
    const VARIANT& get() const { return m_v; }
    VARIANT* ptr() { return &m_v; }
    const VARIANT* operator->() const { return &m_v; }
    // Out-parameter access: clears first.
    VARIANT* operator&()
    {
        clear();
        return &m_v;
    }
    void clear() { VariantClear(&m_v); }
    // Hands the content to the caller, who must clear it; this becomes VT_EMPTY.
    [[nodiscard]] VARIANT release();

    // Conversions by VariantChangeType; the answer is its status.
    HRESULT toInt32(int32_t& out) const;
    HRESULT toDouble(double& out) const;
    HRESULT toBool(bool& out) const;
    HRESULT toString(std::u16string& out) const;

private:
    static Variant fromInterface(VARTYPE vt, IUnknown* object);

    VARIANT m_v;
};

static_assert(sizeof(Variant) == sizeof(VARIANT));

} // namespace vl
