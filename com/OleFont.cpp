#include "OleFont.h"

#include "NoTypeInfo.h"
#include "Variant.h"

namespace
{

using vl::FontDescription;

class FontObject : public vl::ComObject<IFont, vl::NoTypeInfo<IFontDisp>>
{
public:
    explicit FontObject(FontDescription description)
        : m_font(std::move(description))
    {
    }

    HRESULT get_Name(BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = SysAllocStringLen(m_font.name.data(), UINT(m_font.name.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT put_Name(BSTR name) override
    {
        if (!name)
            return CTL_E_INVALIDPROPERTYVALUE;
        m_font.name = vl::bstrView(name);
        return S_OK;
    }
    HRESULT get_Size(CY* size) override { return out(size, m_font.size); }
    HRESULT put_Size(CY size) override
    {
        if (size.int64 < 0)
            return CTL_E_INVALIDPROPERTYVALUE;
        m_font.size = size;
        return S_OK;
    }
    HRESULT get_Bold(BOOL* bold) override { return out(bold, BOOL(m_font.bold())); }
    HRESULT put_Bold(BOOL bold) override
    {
        m_font.weight = bold ? FW_BOLD : FW_NORMAL;
        return S_OK;
    }
    HRESULT get_Italic(BOOL* italic) override { return out(italic, BOOL(m_font.italic)); }
    HRESULT put_Italic(BOOL italic) override { return set(m_font.italic, italic != 0); }
    HRESULT get_Underline(BOOL* underline) override { return out(underline, BOOL(m_font.underline)); }
    HRESULT put_Underline(BOOL underline) override { return set(m_font.underline, underline != 0); }
    HRESULT get_Strikethrough(BOOL* strikethrough) override { return out(strikethrough, BOOL(m_font.strikethrough)); }
    HRESULT put_Strikethrough(BOOL strikethrough) override { return set(m_font.strikethrough, strikethrough != 0); }
    HRESULT get_Weight(SHORT* weight) override { return out(weight, m_font.weight); }
    HRESULT put_Weight(SHORT weight) override { return set(m_font.weight, weight); }
    HRESULT get_Charset(SHORT* charset) override { return out(charset, m_font.charset); }
    HRESULT put_Charset(SHORT charset) override { return set(m_font.charset, charset); }
    HRESULT get_hFont(HFONT* font) override
    {
        if (font)
            *font = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Clone(IFont** copy) override
    {
        if (!copy)
            return E_POINTER;
        *copy = new FontObject(m_font);
        return S_OK;
    }
    HRESULT IsEqual(IFont* other) override
    {
        if (!other)
            return E_POINTER;
        FontDescription theirs;
        if (const HRESULT hr = vl::describeFont(other, theirs); FAILED(hr))
            return hr;
        const bool same = theirs.name == m_font.name && theirs.size.int64 == m_font.size.int64
            && theirs.weight == m_font.weight && theirs.charset == m_font.charset && theirs.italic == m_font.italic
            && theirs.underline == m_font.underline && theirs.strikethrough == m_font.strikethrough;
        return same ? S_OK : S_FALSE;
    }
    HRESULT SetRatio(LONG logical, LONG himetric) override { return logical && himetric ? S_OK : E_INVALIDARG; }
    HRESULT QueryTextMetrics(TEXTMETRICOLE*) override { return E_NOTIMPL; }
    HRESULT AddRefHfont(HFONT) override { return E_NOTIMPL; }
    HRESULT ReleaseHfont(HFONT) override { return E_NOTIMPL; }
    HRESULT SetHdc(HDC) override { return S_OK; }

    HRESULT Invoke(
        DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;

protected:
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IFont)
            return static_cast<IFont*>(this);
        if (iid == IID_IFontDisp || iid == IID_IDispatch)
            return static_cast<IFontDisp*>(this);
        return nullptr;
    }

private:
    static constexpr HRESULT CTL_E_INVALIDPROPERTYVALUE = static_cast<HRESULT>(0x800A017Cu);

    template <class T> static HRESULT out(T* target, T value)
    {
        if (!target)
            return E_POINTER;
        *target = value;
        return S_OK;
    }
    template <class T> static HRESULT set(T& member, T value)
    {
        member = value;
        return S_OK;
    }

    HRESULT getProperty(DISPID dispId, VARIANT& value);
    HRESULT putProperty(DISPID dispId, const VARIANT& value);

    FontDescription m_font;
};

HRESULT FontObject::getProperty(DISPID dispId, VARIANT& value)
{
    VariantInit(&value);
    switch (dispId) {
    case DISPID_FONT_NAME:
        value.vt = VT_BSTR;
        return get_Name(&value.bstrVal);
    case DISPID_FONT_SIZE:
        value.vt = VT_CY;
        value.cyVal = m_font.size;
        return S_OK;
    case DISPID_FONT_BOLD:
    case DISPID_FONT_ITALIC:
    case DISPID_FONT_UNDER:
    case DISPID_FONT_STRIKE: {
        const bool on = dispId == DISPID_FONT_BOLD ? m_font.bold()
            : dispId == DISPID_FONT_ITALIC         ? m_font.italic
            : dispId == DISPID_FONT_UNDER          ? m_font.underline
                                                   : m_font.strikethrough;
        value.vt = VT_BOOL;
        value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    case DISPID_FONT_WEIGHT:
        value.vt = VT_I2;
        value.iVal = m_font.weight;
        return S_OK;
    case DISPID_FONT_CHARSET:
        value.vt = VT_I2;
        value.iVal = m_font.charset;
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT FontObject::putProperty(DISPID dispId, const VARIANT& value)
{
    vl::Variant converted;
    auto convert = [&](VARTYPE vt) { return VariantChangeType(converted.ptr(), &value, 0, vt); };
    HRESULT hr = S_OK;
    switch (dispId) {
    case DISPID_FONT_NAME:
        if (FAILED(hr = convert(VT_BSTR)))
            return hr;
        return put_Name(converted->bstrVal ? converted->bstrVal : const_cast<BSTR>(u""));
    case DISPID_FONT_SIZE:
        if (FAILED(hr = convert(VT_CY)))
            return hr;
        return put_Size(converted->cyVal);
    case DISPID_FONT_BOLD:
    case DISPID_FONT_ITALIC:
    case DISPID_FONT_UNDER:
    case DISPID_FONT_STRIKE: {
        if (FAILED(hr = convert(VT_BOOL)))
            return hr;
        const BOOL on = converted->boolVal != VARIANT_FALSE;
        return dispId == DISPID_FONT_BOLD  ? put_Bold(on)
            : dispId == DISPID_FONT_ITALIC ? put_Italic(on)
            : dispId == DISPID_FONT_UNDER  ? put_Underline(on)
                                           : put_Strikethrough(on);
    }
    case DISPID_FONT_WEIGHT:
    case DISPID_FONT_CHARSET:
        if (FAILED(hr = convert(VT_I2)))
            return hr;
        return dispId == DISPID_FONT_WEIGHT ? put_Weight(converted->iVal) : put_Charset(converted->iVal);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT FontObject::Invoke(
    DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!params)
        return E_INVALIDARG;
    if (flags & DISPATCH_PROPERTYGET) {
        if (params->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (!result)
            return E_INVALIDARG;
        VARIANT value;
        if (const HRESULT hr = getProperty(dispId, value); FAILED(hr))
            return hr;
        VariantClear(result);
        *result = value;
        return S_OK;
    }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (params->cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        return putProperty(dispId, params->rgvarg[0]);
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace

HRESULT OleCreateFontIndirect(FONTDESC* desc, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    FontDescription description;
    if (desc) {
        description.name = desc->lpstrName ? std::u16string(desc->lpstrName) : std::u16string();
        description.size = desc->cySize;
        description.weight = desc->sWeight;
        description.charset = desc->sCharset;
        description.italic = desc->fItalic != 0;
        description.underline = desc->fUnderline != 0;
        description.strikethrough = desc->fStrikethrough != 0;
    } else {
        description.name = u"MS Sans Serif";
        description.size.int64 = 80000;
    }
    auto font = vl::ComPtr<IFont>::adopt(new FontObject(std::move(description)));
    return font->QueryInterface(iid, object);
}

namespace vl
{

ComPtr<IFont> createFont(const FontDescription& description)
{
    return ComPtr<IFont>::adopt(new FontObject(description));
}

HRESULT describeFont(IFont* font, FontDescription& description)
{
    if (!font)
        return E_POINTER;
    FontDescription result;
    BStr name;
    BOOL italic = FALSE, underline = FALSE, strikethrough = FALSE;
    HRESULT hr = font->get_Name(&name);
    if (SUCCEEDED(hr))
        hr = font->get_Size(&result.size);
    if (SUCCEEDED(hr))
        hr = font->get_Weight(&result.weight);
    if (SUCCEEDED(hr))
        hr = font->get_Charset(&result.charset);
    if (SUCCEEDED(hr))
        hr = font->get_Italic(&italic);
    if (SUCCEEDED(hr))
        hr = font->get_Underline(&underline);
    if (SUCCEEDED(hr))
        hr = font->get_Strikethrough(&strikethrough);
    if (FAILED(hr))
        return hr;
    result.name = name.str();
    result.italic = italic != 0;
    result.underline = underline != 0;
    result.strikethrough = strikethrough != 0;
    description = std::move(result);
    return S_OK;
}

} // namespace vl
