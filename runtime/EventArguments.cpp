#include "EventArguments.h"

namespace vl
{

EventArguments::EventArguments(DISPPARAMS* params, size_t parameterCount)
    : m_args(params ? params->rgvarg : nullptr)
    , m_count(params && params->rgvarg ? params->cArgs : 0)
    , m_ints(parameterCount)
    , m_bools(parameterCount)
    , m_variants(parameterCount)
{
}

VARIANT* EventArguments::at(size_t index) const
{
    return index < m_count ? &m_args[m_count - 1 - index] : nullptr;
}

int32_t EventParameter<int32_t>::get(EventArguments& args, size_t i)
{
    const VARIANT* arg = args.at(i);
    if (!arg)
        return 0;
    // A by-reference argument may come with no target; it reads as zero rather than crashing.
    if (arg->vt == (VT_I4 | VT_BYREF))
        return arg->plVal ? *arg->plVal : 0;
    return arg->lVal;
}

VARIANT_BOOL EventParameter<VARIANT_BOOL>::get(EventArguments& args, size_t i)
{
    const VARIANT* arg = args.at(i);
    if (!arg)
        return VARIANT_FALSE;
    if (arg->vt == (VT_BOOL | VT_BYREF))
        return arg->pboolVal ? *arg->pboolVal : VARIANT_FALSE;
    return arg->boolVal;
}

float EventParameter<float>::get(EventArguments& args, size_t i)
{
    const VARIANT* arg = args.at(i);
    return arg ? arg->fltVal : 0.0f;
}

double EventParameter<double>::get(EventArguments& args, size_t i)
{
    const VARIANT* arg = args.at(i);
    if (!arg)
        return 0.0;
    // A 4-byte float comes as its own value; the 8-byte kinds as theirs.
    return arg->vt == VT_R4 ? arg->fltVal : arg->dblVal;
}

BSTR EventParameter<BSTR>::get(EventArguments& args, size_t i)
{
    const VARIANT* arg = args.at(i);
    // Any other type's value field is no string pointer; reading it as one would crash.
    if (arg && arg->vt == VT_BSTR)
        return arg->bstrVal;
    if (arg && arg->vt == (VT_BSTR | VT_BYREF) && arg->pbstrVal)
        return *arg->pbstrVal;
    return nullptr;
}

namespace
{
// The caller's storage when the argument is a reference to a type value; otherwise the scratch,
// holding the argument's value (or none when it is missing or of another type).
template <class T>
T& inOutArgument(VARIANT* arg, VARTYPE type, T* VARIANT::*reference, T VARIANT::*value, T& scratch, T none)
{
    if (arg && arg->vt == (type | VT_BYREF) && arg->*reference)
        return *(arg->*reference);
    scratch = arg && arg->vt == type ? arg->*value : none;
    return scratch;
}
} // namespace

int32_t& EventParameter<int32_t&>::get(EventArguments& args, size_t i)
{
    return inOutArgument<int32_t>(args.at(i), VT_I4, &VARIANT::plVal, &VARIANT::lVal, args.int32Scratch(i), 0);
}

VARIANT_BOOL& EventParameter<VARIANT_BOOL&>::get(EventArguments& args, size_t i)
{
    return inOutArgument<VARIANT_BOOL>(
        args.at(i), VT_BOOL, &VARIANT::pboolVal, &VARIANT::boolVal, args.boolScratch(i), VARIANT_FALSE);
}

Variant EventParameter<Variant>::get(EventArguments& args, size_t i)
{
    Variant copy;
    if (const VARIANT* arg = args.at(i))
        VariantCopyInd(copy.ptr(), arg);
    return copy;
}

VARIANT& EventParameter<VARIANT&>::get(EventArguments& args, size_t i)
{
    VARIANT* arg = args.at(i);
    if (arg && arg->vt == (VT_VARIANT | VT_BYREF) && arg->pvarVal)
        return *arg->pvarVal;
    return arg ? *arg : args.variantScratch(i);
}

} // namespace vl
