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

int32_t& EventParameter<int32_t&>::get(EventArguments& args, size_t i)
{
    VARIANT* arg = args.at(i);
    if (arg && arg->vt == (VT_I4 | VT_BYREF) && arg->plVal)
        return *arg->plVal;
    int32_t& scratch = args.int32Scratch(i);
    scratch = arg && arg->vt == VT_I4 ? arg->lVal : 0;
    return scratch;
}

VARIANT_BOOL& EventParameter<VARIANT_BOOL&>::get(EventArguments& args, size_t i)
{
    VARIANT* arg = args.at(i);
    if (arg && arg->vt == (VT_BOOL | VT_BYREF) && arg->pboolVal)
        return *arg->pboolVal;
    VARIANT_BOOL& scratch = args.boolScratch(i);
    scratch = arg && arg->vt == VT_BOOL ? arg->boolVal : VARIANT_FALSE;
    return scratch;
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
