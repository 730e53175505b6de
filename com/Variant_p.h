#pragma once
// What the VARIANT lifecycle, its conversions and SAFEARRAY share; not for other layers.

#include "Variant.h"

#include <cstddef>

namespace vl
{

inline bool isInterfaceType(VARTYPE vt)
{
    return vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

// Bytes of one value of type vt, as an array element or the target of a by-ref pointer; 0 for a
// type that has no plain value of its own.
size_t valueSizeOf(VARTYPE vt);

// A non-owning view of what a by-ref variant refers to (source itself when it is no reference);
// false when it cannot be seen through.
bool dereference(const VARIANT& source, VARIANT& view);

} // namespace vl
