#include "Variant.h"
#include "Variant_p.h"

#include <cstring>
#include <memory>

namespace
{

constexpr VARTYPE flagsOf(VARTYPE vt)
{
    return vt & ~VARTYPE(VT_TYPEMASK);
}
constexpr VARTYPE baseOf(VARTYPE vt)
{
    return vt & VT_TYPEMASK;
}

// What both copies refuse before touching anything: a missing variant, or a source of no known type.
HRESULT checkCopyArguments(const VARIANTARG* dest, const VARIANTARG* source)
{
    if (!dest || !source)
        return E_INVALIDARG;
    if (!vl::isValidVariantType(source->vt))
        return DISP_E_BADVARTYPE;
    return S_OK;
}

} // namespace

namespace vl
{

size_t valueSizeOf(VARTYPE vt)
{
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return sizeof(IUnknown*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

bool dereference(const VARIANT& source, VARIANT& view)
{
    VariantInit(&view);
    if (!(source.vt & VT_BYREF)) {
        view = source;
        return true;
    }
    if (!source.byref)
        return false;
    const VARTYPE target = source.vt & ~VARTYPE(VT_BYREF);
    if (target == VT_VARIANT) {
        const VARIANT& inner = *source.pvarVal;
        if (inner.vt & VT_BYREF)
            return false;
        view = inner;
        return true;
    }
    view.vt = target;
    if (target & VT_ARRAY) {
        view.parray = *source.pparray;
        return true;
    }
    const size_t size = valueSizeOf(target);
    if (size == 0)
        return false;
    std::memcpy(&view.llVal, source.byref, size);
    return true;
}

bool isValidVariantType(VARTYPE vt)
{
    const VARTYPE flags = flagsOf(vt);
    if (flags & ~VARTYPE(VT_ARRAY | VT_BYREF))
        return false;
    switch (baseOf(vt)) {
    case VT_EMPTY:
    case VT_NULL:
        return flags == 0;
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    case VT_VARIANT:
        return flags != 0;
    case VT_DECIMAL:
        // Only as a reference: this layer has no DECIMAL value of its own.
        return flags == VT_BYREF;
    default:
        return false;
    }
}

} // namespace vl

void VariantInit(VARIANTARG* v)
{
    if (!v)
        return;
    std::memset(static_cast<void*>(v), 0, sizeof(VARIANT));
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v)
{
    if (!v)
        return E_INVALIDARG;
    if (!vl::isValidVariantType(v->vt))
        return DISP_E_BADVARTYPE;
    const VARIANT old = *v;
    if ((old.vt & VT_ARRAY) && !(old.vt & VT_BYREF)) {
        if (const HRESULT hr = SafeArrayDestroy(old.parray); FAILED(hr))
            return hr;
    }
    // Emptied before releasing, since a release may run code that looks at this variant.
    VariantInit(v);
    if (!(old.vt & (VT_BYREF | VT_ARRAY))) {
        if (old.vt == VT_BSTR)
            SysFreeString(old.bstrVal);
        else if (vl::isInterfaceType(old.vt) && old.punkVal)
            old.punkVal->Release();
    }
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source)
{
    if (const HRESULT hr = checkCopyArguments(dest, source); FAILED(hr))
        return hr;
    if (dest == source)
        return S_OK;
    if (!vl::isValidVariantType(dest->vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *source;
    if (!(source->vt & VT_BYREF)) {
        if (source->vt & VT_ARRAY) {
            if (const HRESULT hr = SafeArrayCopy(source->parray, &copy.parray); FAILED(hr))
                return hr;
        } else if (source->vt == VT_BSTR && source->bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(
                reinterpret_cast<const char*>(source->bstrVal), SysStringByteLen(source->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        } else if (vl::isInterfaceType(source->vt) && source->punkVal) {
            source->punkVal->AddRef();
        }
    }
    if (const HRESULT hr = VariantClear(dest); FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source)
{
    if (const HRESULT hr = checkCopyArguments(dest, source); FAILED(hr))
        return hr;
    if (!(source->vt & VT_BYREF))
        return VariantCopy(dest, source);
    VARIANT view;
    if (!vl::dereference(*source, view))
        return E_INVALIDARG;
    if (dest != source)
        return VariantCopy(dest, &view);
    VARIANT copy;
    VariantInit(&copy);
    if (const HRESULT hr = VariantCopy(&copy, &view); FAILED(hr))
        return hr;
    *dest = copy; // dest was a reference, which owns nothing
    return S_OK;
}

namespace vl
{

Variant::Variant(const Variant& other)
    : Variant(other.m_v)
{
}

Variant::Variant(const VARIANT& other)
{
    VariantInit(&m_v);
    VariantCopy(&m_v, &other);
}

Variant& Variant::operator=(const Variant& other)
{
    if (this != std::addressof(other))
        VariantCopy(&m_v, &other.m_v);
    return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept
{
    if (this != std::addressof(other)) {
        VariantClear(&m_v);
        m_v = other.m_v;
        VariantInit(&other.m_v);
    }
    return *this;
}

Variant Variant::fromInt32(int32_t value)
{
    Variant v;
    v.m_v.vt = VT_I4;
    v.m_v.lVal = value;
    return v;
}

Variant Variant::fromDouble(double value)
{
    Variant v;
    v.m_v.vt = VT_R8;
    v.m_v.dblVal = value;
    return v;
}

Variant Variant::fromBool(bool value)
{
    Variant v;
    v.m_v.vt = VT_BOOL;
    v.m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::fromString(std::u16string_view text)
{
    return fromBStr(BStr(text));
}

Variant Variant::fromBStr(BStr text)
{
    Variant v;
    v.m_v.vt = VT_BSTR;
    v.m_v.bstrVal = text.release();
    return v;
}

Variant Variant::fromDispatch(IDispatch* object)
{
    return fromInterface(VT_DISPATCH, object);
}

Variant Variant::fromUnknown(IUnknown* object)
{
    return fromInterface(VT_UNKNOWN, object);
}

Variant Variant::fromInterface(VARTYPE vt, IUnknown* object)
{
    Variant v;
    v.m_v.vt = vt;
    v.m_v.punkVal = object;
    if (object)
        object->AddRef();
    return v;
}

Variant Variant::adopt(VARIANT& source)
{
    Variant v;
    v.m_v = source;
    VariantInit(&source);
    return v;
}

VARIANT Variant::release()
{
    VARIANT v = m_v;
    VariantInit(&m_v);
    return v;
}

} // namespace vl
