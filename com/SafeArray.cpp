#include "SafeArray.h"

#include "BStr.h"
#include "Unknown.h"
#include "Variant.h"
#include "Variant_p.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace
{

USHORT featuresOf(VARTYPE vt)
{
    switch (vt) {
    case VT_BSTR:
        return FADF_BSTR | FADF_HAVEVARTYPE;
    case VT_UNKNOWN:
        return FADF_UNKNOWN | FADF_HAVEVARTYPE;
    case VT_DISPATCH:
        return FADF_DISPATCH | FADF_HAVEVARTYPE;
    case VT_VARIANT:
        return FADF_VARIANT | FADF_HAVEVARTYPE;
    default:
        return FADF_HAVEVARTYPE;
    }
}

void* elementAt(SAFEARRAY* array, ULONG index)
{
    return static_cast<char*>(array->pvData) + size_t(index) * array->cbElements;
}

// Copies one element value into target storage (which holds nothing that needs freeing).
HRESULT copyElement(VARTYPE vt, ULONG size, void* target, const void* source)
{
    switch (vt) {
    case VT_BSTR: {
        BSTR s = *static_cast<const BSTR*>(source);
        BSTR copy = s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s)) : nullptr;
        if (s && !copy)
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(target) = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown* p = *static_cast<IUnknown* const*>(source);
        if (p)
            p->AddRef();
        *static_cast<IUnknown**>(target) = p;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT*>(target));
        return VariantCopy(static_cast<VARIANT*>(target), static_cast<const VARIANT*>(source));
    default:
        std::memcpy(target, source, size);
        return S_OK;
    }
}

void destroyElement(VARTYPE vt, void* element)
{
    switch (vt) {
    case VT_BSTR:
        SysFreeString(*static_cast<BSTR*>(element));
        *static_cast<BSTR*>(element) = nullptr;
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (IUnknown* p = *static_cast<IUnknown**>(element))
            p->Release();
        *static_cast<IUnknown**>(element) = nullptr;
        break;
    case VT_VARIANT:
        VariantClear(static_cast<VARIANT*>(element));
        break;
    default:
        break;
    }
}

// Frees what the elements own, leaving zeroed storage.
void clearElements(SAFEARRAY* array)
{
    const ULONG count = array->rgsabound[0].cElements;
    for (ULONG i = 0; i < count; ++i)
        destroyElement(array->vt, elementAt(array, i));
    std::memset(array->pvData, 0, size_t(count) * array->cbElements);
}

HRESULT checkIndex(SAFEARRAY* array, LONG* indices, ULONG& index)
{
    if (!array || !indices)
        return E_INVALIDARG;
    const int64_t offset = int64_t(indices[0]) - array->rgsabound[0].lLbound;
    if (offset < 0 || offset >= int64_t(array->rgsabound[0].cElements))
        return DISP_E_BADINDEX;
    index = ULONG(offset);
    return S_OK;
}

// A bound of the one dimension, as of(range) reads it from that dimension's range.
template <class Of> HRESULT answerBound(SAFEARRAY* array, UINT dim, LONG* bound, Of of)
{
    if (!array || !bound)
        return E_INVALIDARG;
    if (dim != 1)
        return DISP_E_BADINDEX;
    *bound = of(array->rgsabound[0]);
    return S_OK;
}

} // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count)
{
    const ULONG size = ULONG(vl::valueSizeOf(vt));
    if (size == 0)
        return nullptr;
    if (count > (UINT32_MAX / size))
        return nullptr;
    auto* array = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!array)
        return nullptr;
    array->pvData = std::calloc(count ? count : 1, size);
    if (!array->pvData) {
        std::free(array);
        return nullptr;
    }
    array->cDims = 1;
    array->fFeatures = featuresOf(vt);
    array->cbElements = size;
    array->vt = vt;
    array->rgsabound[0] = { count, lowerBound };
    return array;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds)
{
    if (cDims != 1 || !bounds)
        return nullptr;
    return SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
    if (!array)
        return S_OK;
    if (array->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    clearElements(array);
    std::free(array->pvData);
    std::free(array);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy)
{
    if (!copy)
        return E_INVALIDARG;
    *copy = nullptr;
    if (!array)
        return S_OK;
    SAFEARRAY* result = SafeArrayCreateVector(array->vt, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
    if (!result)
        return E_OUTOFMEMORY;
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
        const HRESULT hr = copyElement(array->vt, array->cbElements, elementAt(result, i), elementAt(array, i));
        if (FAILED(hr)) {
            SafeArrayDestroy(result);
            return hr;
        }
    }
    *copy = result;
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt)
{
    if (!array || !vt)
        return E_INVALIDARG;
    *vt = array->vt;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array)
{
    return array ? array->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* array)
{
    return array ? array->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound)
{
    return answerBound(array, dim, bound, [](const SAFEARRAYBOUND& range) { return range.lLbound; });
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound)
{
    return answerBound(array, dim, bound,
        [](const SAFEARRAYBOUND& range) { return LONG(int64_t(range.lLbound) + range.cElements - 1); });
}

HRESULT SafeArrayLock(SAFEARRAY* array)
{
    if (!array)
        return E_INVALIDARG;
    ++array->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array)
{
    if (!array)
        return E_INVALIDARG;
    if (array->cLocks == 0)
        return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data)
{
    if (!array || !data)
        return E_INVALIDARG;
    ++array->cLocks;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array)
{
    return SafeArrayUnlock(array);
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value)
{
    ULONG index = 0;
    if (const HRESULT hr = checkIndex(array, indices, index); FAILED(hr))
        return hr;
    if (!value && array->vt != VT_BSTR && array->vt != VT_UNKNOWN && array->vt != VT_DISPATCH)
        return E_INVALIDARG;
    // The platform passes strings and references themselves, not their addresses.
    void* source = value;
    if (array->vt == VT_BSTR || array->vt == VT_UNKNOWN || array->vt == VT_DISPATCH)
        source = &value;
    alignas(VARIANT) unsigned char fresh[sizeof(VARIANT)];
    if (const HRESULT hr = copyElement(array->vt, array->cbElements, fresh, source); FAILED(hr))
        return hr;
    void* element = elementAt(array, index);
    destroyElement(array->vt, element);
    std::memcpy(element, fresh, array->cbElements);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value)
{
    ULONG index = 0;
    if (const HRESULT hr = checkIndex(array, indices, index); FAILED(hr))
        return hr;
    if (!value)
        return E_INVALIDARG;
    return copyElement(array->vt, array->cbElements, value, elementAt(array, index));
}
