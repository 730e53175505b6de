#pragma once
// A by-reference VARIANT for event-argument tests: the caller's variable stays the owner.

#include "Variant.h"

namespace vl::test
{

inline VARIANT byRef(VARTYPE vt, void* target)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(vt | VT_BYREF);
    v.byref = target;
    return v;
}

} // namespace vl::test
