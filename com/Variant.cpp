#include "Variant.h"

void VariantInit(VARIANTARG* v) { v->vt = VT_EMPTY; v->wReserved1 = v->wReserved2 = v->wReserved3 = 0; v->llVal = 0; }
HRESULT VariantClear(VARIANTARG*) { return E_NOTIMPL; }
HRESULT VariantCopy(VARIANTARG*, const VARIANTARG*) { return E_NOTIMPL; }
HRESULT VariantCopyInd(VARIANT*, const VARIANTARG*) { return E_NOTIMPL; }
HRESULT VariantChangeType(VARIANTARG*, const VARIANTARG*, USHORT, VARTYPE) { return E_NOTIMPL; }
HRESULT VariantChangeTypeEx(VARIANTARG*, const VARIANTARG*, LCID, USHORT, VARTYPE) { return E_NOTIMPL; }
HRESULT VariantToInt32(REFVARIANT, LONG*) { return E_NOTIMPL; }
namespace vl {
bool isValidVariantType(VARTYPE) { return false; }
Variant::Variant(const Variant&) { VariantInit(&m_v); }
Variant::Variant(const VARIANT&) { VariantInit(&m_v); }
Variant& Variant::operator=(const Variant&) { return *this; }
Variant& Variant::operator=(Variant&&) noexcept { return *this; }
Variant Variant::fromInt32(int32_t) { return {}; }
Variant Variant::fromDouble(double) { return {}; }
Variant Variant::fromBool(bool) { return {}; }
Variant Variant::fromString(std::u16string_view) { return {}; }
Variant Variant::fromBStr(BStr) { return {}; }
Variant Variant::fromDispatch(IDispatch*) { return {}; }
Variant Variant::fromUnknown(IUnknown*) { return {}; }
Variant Variant::adopt(VARIANT&) { return {}; }
VARIANT Variant::release() { VARIANT v = m_v; VariantInit(&m_v); return v; }
HRESULT Variant::toInt32(int32_t&) const { return E_NOTIMPL; }
HRESULT Variant::toDouble(double&) const { return E_NOTIMPL; }
HRESULT Variant::toBool(bool&) const { return E_NOTIMPL; }
HRESULT Variant::toString(std::u16string&) const { return E_NOTIMPL; }
} // namespace vl
