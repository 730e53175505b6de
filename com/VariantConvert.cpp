// VariantChangeType and the conversions between the types a VARIANT holds; the lifecycle
// (init, clear, copy) is in Variant.cpp.

#include "Variant.h"
#include "Variant_p.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

namespace
{

using vl::dereference;
using vl::isInterfaceType;

struct Number {
    enum Kind { Signed, Unsigned, Real, Currency } kind = Signed;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
};

double roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double rest = value - floor;
    if (rest > 0.5)
        return floor + 1;
    if (rest < 0.5)
        return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// Currency to integer, rounding the four decimals half to even.
int64_t currencyToInteger(int64_t scaled)
{
    int64_t whole = scaled / 10000;
    int64_t rest = scaled % 10000;
    if (rest < 0) {
        rest += 10000;
        --whole;
    }
    if (rest > 5000 || (rest == 5000 && (whole & 1)))
        ++whole;
    return whole;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool equalsIgnoringCase(std::u16string_view text, std::u16string_view word)
{
    if (text.size() != word.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c != word[i])
            return false;
    }
    return true;
}

// Numbers in text, the same in every locale: blanks around, optional sign, digits with an
// optional '.' fraction and exponent, or "&H" hexadecimal.
HRESULT parseNumber(std::u16string_view text, Number& number)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return DISP_E_TYPEMISMATCH;
    std::string narrow;
    for (char16_t c : text) {
        if (c > 0x7F)
            return DISP_E_TYPEMISMATCH;
        narrow += char(c);
    }
    if (narrow.size() > 2 && narrow[0] == '&' && (narrow[1] == 'H' || narrow[1] == 'h')) {
        uint64_t value = 0;
        const char* end = narrow.data() + narrow.size();
        const auto r = std::from_chars(narrow.data() + 2, end, value, 16);
        if (r.ec != std::errc() || r.ptr != end)
            return r.ec == std::errc::result_out_of_range ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
        number.kind = Number::Unsigned;
        number.u = value;
        return S_OK;
    }
    const char* begin = narrow.data();
    const char* end = begin + narrow.size();
    bool negative = false;
    if (*begin == '+' || *begin == '-') {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end || *begin == '+' || *begin == '-')
        return DISP_E_TYPEMISMATCH;
    uint64_t whole = 0;
    auto r = std::from_chars(begin, end, whole);
    if (r.ec == std::errc() && r.ptr == end) {
        if (!negative && whole > uint64_t(std::numeric_limits<int64_t>::max())) {
            number.kind = Number::Unsigned;
            number.u = whole;
            return S_OK;
        }
        if (whole <= uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0)) {
            number.kind = Number::Signed;
            number.i = negative ? int64_t(0 - whole) : int64_t(whole);
            return S_OK;
        }
    }
    double value = 0;
    const auto rd = std::from_chars(begin, end, value, std::chars_format::general);
    if (rd.ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    if (rd.ec != std::errc() || rd.ptr != end)
        return DISP_E_TYPEMISMATCH;
    number.kind = Number::Real;
    number.d = negative ? -value : value;
    return S_OK;
}

// The number held by a plain (not by-ref, not array) variant.
HRESULT numberOf(const VARIANT& v, Number& n)
{
    switch (v.vt) {
    case VT_EMPTY:
        n = {};
        return S_OK;
    case VT_I1:
        n.kind = Number::Signed, n.i = v.cVal;
        return S_OK;
    case VT_I2:
        n.kind = Number::Signed, n.i = v.iVal;
        return S_OK;
    case VT_I4:
        n.kind = Number::Signed, n.i = v.lVal;
        return S_OK;
    case VT_INT:
        n.kind = Number::Signed, n.i = v.intVal;
        return S_OK;
    case VT_I8:
        n.kind = Number::Signed, n.i = v.llVal;
        return S_OK;
    case VT_BOOL:
        n.kind = Number::Signed, n.i = v.boolVal ? -1 : 0;
        return S_OK;
    case VT_UI1:
        n.kind = Number::Unsigned, n.u = v.bVal;
        return S_OK;
    case VT_UI2:
        n.kind = Number::Unsigned, n.u = v.uiVal;
        return S_OK;
    case VT_UI4:
        n.kind = Number::Unsigned, n.u = v.ulVal;
        return S_OK;
    case VT_UINT:
        n.kind = Number::Unsigned, n.u = v.uintVal;
        return S_OK;
    case VT_UI8:
        n.kind = Number::Unsigned, n.u = v.ullVal;
        return S_OK;
    case VT_R4:
        n.kind = Number::Real, n.d = v.fltVal;
        return S_OK;
    case VT_R8:
        n.kind = Number::Real, n.d = v.dblVal;
        return S_OK;
    case VT_DATE:
        n.kind = Number::Real, n.d = v.date;
        return S_OK;
    case VT_CY:
        n.kind = Number::Currency, n.i = v.cyVal.int64;
        return S_OK;
    case VT_BSTR:
        return parseNumber(vl::bstrView(v.bstrVal), n);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT toSigned(const Number& n, int64_t min, int64_t max, int64_t& out)
{
    switch (n.kind) {
    case Number::Signed:
        out = n.i;
        break;
    case Number::Unsigned:
        if (n.u > uint64_t(std::numeric_limits<int64_t>::max()))
            return DISP_E_OVERFLOW;
        out = int64_t(n.u);
        break;
    case Number::Currency:
        out = currencyToInteger(n.i);
        break;
    case Number::Real: {
        if (std::isnan(n.d))
            return DISP_E_OVERFLOW;
        const double r = roundHalfEven(n.d);
        if (r < double(min) || r >= double(max) + 1.0)
            return DISP_E_OVERFLOW;
        out = int64_t(r);
        break;
    }
    }
    return out < min || out > max ? DISP_E_OVERFLOW : S_OK;
}

HRESULT toUnsigned(const Number& n, uint64_t max, uint64_t& out)
{
    int64_t s = 0;
    switch (n.kind) {
    case Number::Unsigned:
        out = n.u;
        break;
    case Number::Signed:
        if (n.i < 0)
            return DISP_E_OVERFLOW;
        out = uint64_t(n.i);
        break;
    case Number::Currency:
        s = currencyToInteger(n.i);
        if (s < 0)
            return DISP_E_OVERFLOW;
        out = uint64_t(s);
        break;
    case Number::Real: {
        if (std::isnan(n.d))
            return DISP_E_OVERFLOW;
        const double r = roundHalfEven(n.d);
        if (r < 0 || r >= 18446744073709551616.0)
            return DISP_E_OVERFLOW;
        out = uint64_t(r);
        break;
    }
    }
    return out > max ? DISP_E_OVERFLOW : S_OK;
}

// The number in an integer field, within the range of Range (the width the field's type stands
// for); the field takes the value even when it overflows, as the caller clears it on failure.
template <class Range, class Field> HRESULT toInteger(const Number& n, Field& field)
{
    using Limits = std::numeric_limits<Range>;
    if constexpr (std::is_signed_v<Range>) {
        int64_t value = 0;
        const HRESULT hr = toSigned(n, Limits::min(), Limits::max(), value);
        field = Field(value);
        return hr;
    } else {
        uint64_t value = 0;
        const HRESULT hr = toUnsigned(n, Limits::max(), value);
        field = Field(value);
        return hr;
    }
}

double toDouble(const Number& n)
{
    switch (n.kind) {
    case Number::Signed:
        return double(n.i);
    case Number::Unsigned:
        return double(n.u);
    case Number::Currency:
        return double(n.i) / 10000.0;
    case Number::Real:
        return n.d;
    }
    return 0;
}

HRESULT toCurrency(const Number& n, int64_t& out)
{
    constexpr int64_t limit = std::numeric_limits<int64_t>::max() / 10000;
    switch (n.kind) {
    case Number::Currency:
        out = n.i;
        return S_OK;
    case Number::Signed:
        if (n.i > limit || n.i < -limit)
            return DISP_E_OVERFLOW;
        out = n.i * 10000;
        return S_OK;
    case Number::Unsigned:
        if (n.u > uint64_t(limit))
            return DISP_E_OVERFLOW;
        out = int64_t(n.u) * 10000;
        return S_OK;
    case Number::Real: {
        const double r = roundHalfEven(n.d * 10000.0);
        if (std::isnan(r) || r < -9.2233720368547758e18 || r >= 9.2233720368547758e18)
            return DISP_E_OVERFLOW;
        out = int64_t(r);
        return S_OK;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

bool isZero(const Number& n)
{
    switch (n.kind) {
    case Number::Signed:
    case Number::Currency:
        return n.i == 0;
    case Number::Unsigned:
        return n.u == 0;
    case Number::Real:
        return n.d == 0;
    }
    return true;
}

std::u16string widen(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

// The platform's general notation: up to `digits` significant digits, "1E+20" beyond them.
std::u16string formatReal(double value, int digits)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    std::string text(buffer, r.ptr);
    for (char& c : text)
        if (c == 'e')
            c = 'E';
    return widen(text);
}

std::u16string formatCurrency(int64_t scaled)
{
    const bool negative = scaled < 0;
    const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(scaled) : uint64_t(scaled);
    std::string text = std::to_string(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return widen(negative ? "-" + text : text);
}

HRESULT makeString(std::u16string_view text, VARIANT& out)
{
    out.vt = VT_BSTR;
    out.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    return out.bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT textOf(const VARIANT& v, USHORT flags, VARIANT& out)
{
    switch (v.vt) {
    case VT_EMPTY:
        return makeString(u"", out);
    case VT_BSTR:
        return makeString(vl::bstrView(v.bstrVal), out);
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            return makeString(v.boolVal ? u"True" : u"False", out);
        return makeString(v.boolVal ? u"-1" : u"0", out);
    case VT_R4:
        return makeString(formatReal(v.fltVal, 7), out);
    case VT_R8:
        return makeString(formatReal(v.dblVal, 15), out);
    case VT_CY:
        return makeString(formatCurrency(v.cyVal.int64), out);
    case VT_DATE:
        return DISP_E_TYPEMISMATCH; // the platform's date text depends on locale patterns this layer lacks
    default: {
        Number n;
        if (FAILED(numberOf(v, n)))
            return DISP_E_TYPEMISMATCH;
        return makeString(widen(n.kind == Number::Unsigned ? std::to_string(n.u) : std::to_string(n.i)), out);
    }
    }
}

HRESULT convertPlain(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT& out, int depth);

// An object converts through its value property (DISPID_VALUE), as the platform's automation does.
HRESULT convertObject(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT& out, int depth)
{
    IUnknown* object = source.punkVal;
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (!object) {
            out.vt = vt;
            out.punkVal = nullptr;
            return S_OK;
        }
        void* result = nullptr;
        if (FAILED(object->QueryInterface(vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch, &result)))
            return DISP_E_TYPEMISMATCH;
        out.vt = vt;
        out.punkVal = static_cast<IUnknown*>(result);
        return S_OK;
    }
    if (source.vt != VT_DISPATCH || !source.pdispVal || (flags & VARIANT_NOVALUEPROP) || depth > 0)
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS none { nullptr, nullptr, 0, 0 };
    vl::Variant value;
    const HRESULT hr = source.pdispVal->Invoke(
        DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    if (FAILED(hr))
        return DISP_E_TYPEMISMATCH;
    VARIANT view;
    if (!dereference(value.get(), view) || (view.vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    return convertPlain(view, flags, vt, out, depth + 1);
}

HRESULT convertPlain(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT& out, int depth)
{
    VariantInit(&out);
    if (vt == VT_EMPTY)
        return S_OK;
    if (source.vt == VT_NULL || vt == VT_NULL) {
        if (vt == VT_NULL && (source.vt == VT_NULL || source.vt == VT_EMPTY)) {
            out.vt = VT_NULL;
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    if (isInterfaceType(source.vt) || isInterfaceType(vt))
        return isInterfaceType(source.vt) ? convertObject(source, flags, vt, out, depth) : DISP_E_TYPEMISMATCH;
    if (source.vt == VT_ERROR || vt == VT_ERROR) {
        if (source.vt != vt)
            return DISP_E_TYPEMISMATCH;
        out = source;
        return S_OK;
    }
    if (vt == VT_BSTR)
        return textOf(source, flags, out);
    if (vt == VT_BOOL && source.vt == VT_BSTR) {
        const std::u16string_view text = vl::bstrView(source.bstrVal);
        if (equalsIgnoringCase(text, u"true") || equalsIgnoringCase(text, u"#true#")) {
            out.vt = VT_BOOL;
            out.boolVal = VARIANT_TRUE;
            return S_OK;
        }
        if (equalsIgnoringCase(text, u"false") || equalsIgnoringCase(text, u"#false#")) {
            out.vt = VT_BOOL;
            out.boolVal = VARIANT_FALSE;
            return S_OK;
        }
    }
    Number n;
    if (const HRESULT hr = numberOf(source, n); FAILED(hr))
        return hr;
    HRESULT hr = S_OK;
    int64_t s = 0;
    switch (vt) {
    case VT_I1:
        hr = toInteger<int8_t>(n, out.cVal);
        break;
    case VT_I2:
        hr = toInteger<int16_t>(n, out.iVal);
        break;
    case VT_I4:
        hr = toInteger<int32_t>(n, out.lVal);
        break;
    case VT_INT:
        hr = toInteger<int32_t>(n, out.intVal);
        break;
    case VT_I8:
        hr = toInteger<int64_t>(n, out.llVal);
        break;
    case VT_UI1:
        hr = toInteger<uint8_t>(n, out.bVal);
        break;
    case VT_UI2:
        hr = toInteger<uint16_t>(n, out.uiVal);
        break;
    case VT_UI4:
        hr = toInteger<uint32_t>(n, out.ulVal);
        break;
    case VT_UINT:
        hr = toInteger<uint32_t>(n, out.uintVal);
        break;
    case VT_UI8:
        hr = toInteger<uint64_t>(n, out.ullVal);
        break;
    case VT_R4: {
        const double d = toDouble(n);
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            hr = DISP_E_OVERFLOW;
        out.fltVal = float(d);
        break;
    }
    case VT_R8:
        out.dblVal = toDouble(n);
        break;
    case VT_DATE:
        out.date = toDouble(n);
        break;
    case VT_CY:
        hr = toCurrency(n, s), out.cyVal.int64 = s;
        break;
    case VT_BOOL:
        out.boolVal = isZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) {
        VariantInit(&out);
        return hr;
    }
    out.vt = vt;
    return S_OK;
}

bool isConversionTarget(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_BSTR:
    case VT_ERROR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return true;
    default:
        return false;
    }
}

} // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID, USHORT flags, VARTYPE vt)
{
    if (!dest || !source)
        return E_INVALIDARG;
    if (!vl::isValidVariantType(source->vt))
        return DISP_E_BADVARTYPE;
    if (!vl::isValidVariantType(dest->vt))
        return DISP_E_BADVARTYPE;
    if (!isConversionTarget(vt) && !(vt & VT_ARRAY && vl::isValidVariantType(vt)))
        return DISP_E_BADVARTYPE;
    VARIANT view;
    if (!dereference(*source, view))
        return DISP_E_TYPEMISMATCH;
    VARIANT result;
    VariantInit(&result);
    if ((view.vt | vt) & VT_ARRAY) {
        if (view.vt != vt)
            return DISP_E_TYPEMISMATCH;
        if (const HRESULT hr = VariantCopy(&result, &view); FAILED(hr))
            return hr;
    } else if (const HRESULT hr = convertPlain(view, flags, vt, result, 0); FAILED(hr)) {
        return hr;
    }
    // Cleared only now: dest may be source itself.
    if (const HRESULT hr = VariantClear(dest); FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt)
{
    return VariantChangeTypeEx(dest, source, LOCALE_USER_DEFAULT, flags, vt);
}

HRESULT VariantToInt32(REFVARIANT v, LONG* result)
{
    if (!result)
        return E_POINTER;
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &v, 0, VT_I4);
    if (FAILED(hr))
        return hr;
    *result = converted.lVal;
    return S_OK;
}

namespace vl
{

HRESULT Variant::toInt32(int32_t& out) const
{
    LONG value = 0;
    const HRESULT hr = VariantToInt32(m_v, &value);
    if (SUCCEEDED(hr))
        out = value;
    return hr;
}

HRESULT Variant::toDouble(double& out) const
{
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.ptr(), &m_v, 0, VT_R8);
    if (SUCCEEDED(hr))
        out = converted.m_v.dblVal;
    return hr;
}

HRESULT Variant::toBool(bool& out) const
{
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.ptr(), &m_v, 0, VT_BOOL);
    if (SUCCEEDED(hr))
        out = converted.m_v.boolVal != VARIANT_FALSE;
    return hr;
}

HRESULT Variant::toString(std::u16string& out) const
{
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.ptr(), &m_v, 0, VT_BSTR);
    if (SUCCEEDED(hr))
        out = bstrView(converted.m_v.bstrVal);
    return hr;
}

} // namespace vl
