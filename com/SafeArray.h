#pragma once
// A minimal SAFEARRAY: one dimension, elements of one VARTYPE, enough for VT_ARRAY variants.

#include "ComTypes.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    VARTYPE vt; // the element type (kept here rather than ahead of the descriptor)
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

// A zeroed vector of count elements of type vt (a scalar type, VT_BSTR, VT_UNKNOWN, VT_DISPATCH or
// VT_VARIANT); null for any other type or when memory runs out.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count);
// One-dimensional only: cDims other than 1 gives null.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds);
// Frees the elements (strings, references, variants) and the array; null is S_OK;
// DISP_E_ARRAYISLOCKED while locked (nothing freed).
HRESULT SafeArrayDestroy(SAFEARRAY* array);
// A deep copy: strings copied, references counted, variants copied. *copy is null for null array.
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);
// Locks the array and hands out its element storage until SafeArrayUnaccessData.
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// Element access by index (indices[0] counted from the lower bound); values are copied both ways
// (strings duplicated, references counted, variants as VariantCopy). Put takes a BSTR or interface
// pointer itself as value, any other type by address; Get always writes to the address given.
// DISP_E_BADINDEX out of range.
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
