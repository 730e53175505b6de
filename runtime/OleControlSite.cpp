#include "OleControlSite_p.h"

#include "BStr.h"
#include "ComPtr.h"
#include "OleControl.h"
#include "Text.h"

#include <cmath>

namespace vl
{

RECT toRect(const QRect& r)
{
    return RECT { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
}

FontDescription describeFont(const TFont& font)
{
    FontDescription d;
    d.name = toWide(font.Name);
    d.size.int64 = static_cast<LONGLONG>(font.Size) * 10000;
    d.weight = font.Bold ? FW_BOLD : FW_NORMAL;
    d.italic = font.Italic;
    d.underline = font.Underline;
    d.strikethrough = font.StrikeOut;
    return d;
}

ULONG OleControlSite::AddRef()
{
    return ++m_control->m_refCount;
}

ULONG OleControlSite::Release()
{
    return m_control->m_refCount > 0 ? --m_control->m_refCount : 0;
}

HRESULT OleControlSite::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        found = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleControlSite)
        found = static_cast<IOleControlSite*>(this);
    else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
        found = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceFrame || iid == IID_IOleInPlaceUIWindow)
        found = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_ISimpleFrameSite)
        found = static_cast<ISimpleFrameSite*>(this);
    else if (iid == IID_IPropertyNotifySink)
        found = static_cast<IPropertyNotifySink*>(this);
    else if (iid == IID_IDispatch)
        found = static_cast<IDispatch*>(this);
    *object = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT OleControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT OleControlSite::GetContainer(IOleContainer** container)
{
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT OleControlSite::GetExtendedControl(IDispatch** control)
{
    if (control)
        *control = nullptr;
    return E_NOTIMPL;
}

HRESULT OleControlSite::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags)
{
    if (!himetric || !container)
        return E_POINTER;
    const int ppi = screenPixelsPerInch();
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
        container->x = static_cast<FLOAT>(himetric->x * ppi / 2540.0);
        container->y = static_cast<FLOAT>(himetric->y * ppi / 2540.0);
    } else if (flags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
        himetric->x = static_cast<LONG>(std::lround(container->x * 2540.0 / ppi));
        himetric->y = static_cast<LONG>(std::lround(container->y * 2540.0 / ppi));
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT OleControlSite::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_control->Parent();
    return *window ? S_OK : E_FAIL;
}

HRESULT OleControlSite::OnInPlaceActivate()
{
    m_control->inPlaceActivated();
    return S_OK;
}

HRESULT OleControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT posRect,
    LPRECT clipRect, OLEINPLACEFRAMEINFO* frameInfo)
{
    if (!frame || !document || !posRect || !clipRect || !frameInfo)
        return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    *posRect = toRect(m_control->BoundsRect());
    *clipRect = *posRect;
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = m_control->Parent() ? m_control->Parent()->window() : nullptr;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}

HRESULT OleControlSite::OnInPlaceDeactivate()
{
    m_control->inPlaceDeactivated();
    return S_OK;
}

HRESULT OleControlSite::OnPosRectChange(LPCRECT posRect)
{
    if (!posRect)
        return E_POINTER;
    if (m_control->m_inPlaceObject)
        m_control->m_inPlaceObject->SetObjectRects(posRect, posRect);
    return S_OK;
}

HRESULT OleControlSite::OnChanged(DISPID dispId)
{
    try {
        m_control->propertyChanged(dispId);
    } catch (...) {
        // The control is not to hear of the wrapper's trouble with its own notice.
    }
    return S_OK;
}

HRESULT OleControlSite::Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!(flags & DISPATCH_PROPERTYGET) || !result)
        return DISP_E_MEMBERNOTFOUND;
    try {
        return ambientProperty(dispId, *result);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT OleControlSite::ambientProperty(DISPID dispId, VARIANT& result)
{
    auto setBool = [&result](bool value) {
        VariantInit(&result);
        result.vt = VT_BOOL;
        result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    };
    auto setInt = [&result](int32_t value) {
        VariantInit(&result);
        result.vt = VT_I4;
        result.lVal = value;
    };
    switch (dispId) {
    case DISPID_AMBIENT_BACKCOLOR:
        setInt(m_control->Color());
        return S_OK;
    case DISPID_AMBIENT_DISPLAYNAME:
        VariantInit(&result);
        result.vt = VT_BSTR;
        result.bstrVal = BStr(toWide(m_control->Name())).release();
        return S_OK;
    case DISPID_AMBIENT_FONT: {
        ComPtr<IFont> font = createFont(describeFont(m_control->Font()));
        if (!font)
            return E_OUTOFMEMORY;
        IDispatch* dispatch = nullptr;
        const HRESULT hr = font->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        if (FAILED(hr))
            return hr;
        VariantInit(&result);
        result.vt = VT_DISPATCH;
        result.pdispVal = dispatch;
        return S_OK;
    }
    case DISPID_AMBIENT_FORECOLOR:
        setInt(m_control->Font().Color);
        return S_OK;
    case DISPID_AMBIENT_LOCALEID:
        setInt(static_cast<int32_t>(GetUserDefaultLCID()));
        return S_OK;
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_AUTOCLIP:
        setBool(true);
        return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
        setBool(false);
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace vl
