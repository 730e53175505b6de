#include "OleControl.h"

#include "ClassRegistry.h"
#include "ConnectionPoint.h"
#include "EventDispatch_p.h"
#include "Exceptions.h"
#include "OleCheck.h"
#include "OleControlSite_p.h"
#include "OleFont.h"
#include "Text.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <cstring>

namespace vl
{

int screenPixelsPerInch()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 96;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? static_cast<int>(std::lround(screen->logicalDotsPerInch())) : 96;
}

namespace
{
int himetricToPixels(LONG himetric, int ppi)
{
    return static_cast<int>(std::lround(static_cast<double>(himetric) * ppi / 2540.0));
}

LONG pixelsToHimetric(int pixels, int ppi)
{
    return static_cast<LONG>(std::lround(static_cast<double>(pixels) * 2540.0 / ppi));
}

[[noreturn]] void raiseInvokeFailure(HRESULT hr, const EXCEPINFO& info)
{
    if (hr != DISP_E_EXCEPTION)
        oleSysError(hr);
    std::string message = trimOleMessage(toNarrow(bstrView(info.bstrDescription)));
    // A control that raises without a text still deserves a readable message.
    if (message.empty())
        message = oleErrorMessage(info.scode);
    throw EOleException(std::move(message), info.scode, toNarrow(bstrView(info.bstrSource)),
        toNarrow(bstrView(info.bstrHelpFile)), static_cast<int>(info.dwHelpContext));
}

// The typed getters each take one field of a fresh copy of the property.
Variant propertyOf(TOleControl& control, DISPID dispId)
{
    Variant value;
    control.GetProperty(dispId, value);
    return value;
}
} // namespace
} // namespace vl

TOleControl::TOleControl(TComponent* owner)
    : TWinControl(owner)
    , m_site(std::make_unique<vl::OleControlSite>(this))
{
}

TOleControl::~TOleControl()
{
    m_destroying = true;
    if (m_inPlaceObject)
        m_inPlaceObject->UIDeactivate();
    if (m_oleObject)
        m_oleObject->Close(OLECLOSE_NOSAVE);
    undoRunning();
    m_running = false;
    m_objectData.clear();
    m_persistStream.reset();
    if (m_oleObject)
        m_oleObject->SetClientSite(nullptr);
    m_oleObject.reset();
    m_eventDispatch.reset();
    if (ControlData && m_counted && --ControlData->InstanceCount == 0)
        ControlData->EnumPropDescs.clear();
    DestroyHandle();
    m_lastReference.reset();
}

void TOleControl::CreateControlObject()
{
    DescribeControl();
    ++ControlData->InstanceCount;
    m_counted = true;
    m_eventDispatch = std::make_unique<TEventDispatch>(this);

    const HRESULT created = CoCreateInstance(ControlData->ClassId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
        IID_IOleObject, m_oleObject.voidOut());
    if (FAILED(created))
        vl::oleSysError(created);
    if (!m_oleObject)
        vl::oleSysError(E_NOINTERFACE);
    if (const HRESULT hr = m_oleObject->GetMiscStatus(DVASPECT_CONTENT, &m_miscStatus); FAILED(hr))
        vl::oleSysError(hr);
    if (!(ControlData->SiteOptions & soNeverSetClientSiteFirst)
        && ((m_miscStatus & OLEMISC_SETCLIENTSITEFIRST) || (ControlData->SiteOptions & soSetClientSiteFirst))) {
        if (const HRESULT hr = m_oleObject->SetClientSite(m_site->clientSite()); FAILED(hr))
            vl::oleSysError(hr);
    }
    if (const HRESULT hr = m_oleObject.query(IID_IPersistStreamInit, m_persistStream); FAILED(hr))
        vl::oleSysError(hr);
    if (m_miscStatus & OLEMISC_INVISIBLEATRUNTIME)
        TControl::SetVisible(false);
    if (m_miscStatus & OLEMISC_SIMPLEFRAME)
        SetAcceptsControls(true);
    SetTabStop(!(m_miscStatus & (OLEMISC_ACTSLIKELABEL | OLEMISC_NOUIACTIVATE)));
    if (const HRESULT hr = takeNaturalSize(); FAILED(hr))
        vl::oleSysError(hr);
}

IOleObject* TOleControl::OleObject()
{
    bringToRunningState();
    return m_oleObject.get();
}

vl::EventSlot* TOleControl::EventSlotAt(int index)
{
    if (!ControlData || ControlData->Version < 401 || index < 0 || index >= ControlData->EventCount)
        return nullptr;
    auto* first = reinterpret_cast<vl::EventSlot*>(reinterpret_cast<char*>(this) + ControlData->FirstEventSlot);
    return first + index;
}

void TOleControl::siteControl()
{
    vl::ComPtr<IOleClientSite> current;
    const HRESULT hr = m_oleObject->GetClientSite(&current);
    if (FAILED(hr) || !current) {
        if (const HRESULT set = m_oleObject->SetClientSite(m_site->clientSite()); FAILED(set))
            vl::oleSysError(set);
    }
}

void TOleControl::bringToRunningState()
{
    if (m_running || m_startingUp || !m_oleObject)
        return;
    m_startingUp = true;
    try {
        siteControl();
        if (!m_objectData.empty()) {
            vl::ComPtr<IStream> stream = vl::createMemoryStream(m_objectData);
            if (const HRESULT hr = m_persistStream->Load(stream.get()); FAILED(hr))
                vl::oleSysError(hr);
        } else if (const HRESULT hr = m_persistStream->InitNew(); FAILED(hr)) {
            vl::oleSysError(hr);
        }
        if (const HRESULT hr = m_oleObject.query(IID_IOleControl, m_oleControl); FAILED(hr))
            vl::oleSysError(hr);
        if (const HRESULT hr = m_oleObject.query(IID_IDispatch, m_controlDispatch); FAILED(hr))
            vl::oleSysError(hr);
        if (FAILED(m_oleObject.query(IID_IPerPropertyBrowsing, m_propertyBrowsing)))
            m_propertyBrowsing.reset();
        // A control without these connection points just sends no notices or events.
        if (FAILED(
                vl::connectSink(m_oleObject.get(), IID_IPropertyNotifySink, m_site->propertySink(), &m_propertyCookie)))
            m_propertyCookie = 0;
        if (FAILED(vl::connectSink(m_oleObject.get(), ControlData->EventIid, m_eventDispatch.get(), &m_eventsCookie)))
            m_eventsCookie = 0;
        const int flags = ControlData->Flags;
        const std::pair<int, DISPID> links[] = { { cfBackColor, DISPID_BACKCOLOR }, { cfForeColor, DISPID_FORECOLOR },
            { cfFont, DISPID_FONT }, { cfEnabled, DISPID_ENABLED } };
        for (const auto& [flag, dispId] : links) {
            if (!(flags & flag))
                continue;
            try {
                propertyChanged(dispId);
            } catch (const EOleError&) {
                // The control may not have the stock property; the wrapper keeps its own.
            }
        }
        m_oleControl->OnAmbientPropertyChange(DISPID_UNKNOWN);
        takeNaturalSize();
    } catch (...) {
        undoRunning();
        m_startingUp = false;
        throw;
    }
    m_startingUp = false;
    m_running = true;
}

void TOleControl::undoRunning()
{
    if (m_eventsCookie && m_oleObject)
        vl::disconnectSink(m_oleObject.get(), ControlData->EventIid, m_eventsCookie);
    m_eventsCookie = 0;
    if (m_propertyCookie && m_oleObject)
        vl::disconnectSink(m_oleObject.get(), IID_IPropertyNotifySink, m_propertyCookie);
    m_propertyCookie = 0;
    m_inPlaceActiveObject.reset();
    m_inPlaceObject.reset();
    m_propertyBrowsing.reset();
    m_controlDispatch.reset();
    m_oleControl.reset();
}

HRESULT TOleControl::takeNaturalSize()
{
    SIZEL extent {};
    const HRESULT hr = m_oleObject->GetExtent(DVASPECT_CONTENT, &extent);
    if (hr != S_OK)
        return hr;
    const int ppi = vl::screenPixelsPerInch();
    int width = vl::himetricToPixels(extent.cx, ppi);
    int height = vl::himetricToPixels(extent.cy, ppi);
    if ((m_miscStatus & OLEMISC_INVISIBLEATRUNTIME) && !m_running) {
        width = std::min(width, 32);
        height = std::min(height, 32);
    }
    SetBoundsCore(Left(), Top(), width, height);
    // An aligned wrapper goes back to its place in the parent at once.
    Realign();
    return S_OK;
}

void TOleControl::SetBounds(int left, int top, int width, int height)
{
    const bool resized = (width != Width() && Width() > 0) || (height != Height() && Height() > 0);
    if (m_oleObject && resized) {
        if (m_miscStatus & OLEMISC_INVISIBLEATRUNTIME) {
            width = Width();
            height = Height();
        } else {
            const int ppi = vl::screenPixelsPerInch();
            SIZEL extent { vl::pixelsToHimetric(width, ppi), vl::pixelsToHimetric(height, ppi) };
            if (m_oleObject->SetExtent(DVASPECT_CONTENT, &extent) != S_OK) {
                width = Width();
                height = Height();
            }
        }
    }
    SetBoundsCore(left, top, width, height);
}

void TOleControl::BoundsChanged()
{
    TWinControl::BoundsChanged();
    if (m_inPlaceObject) {
        const RECT r = vl::toRect(BoundsRect());
        m_inPlaceObject->SetObjectRects(&r, &r);
    }
}

void TOleControl::CreateWnd()
{
    bringToRunningState();
    if (m_miscStatus & OLEMISC_INVISIBLEATRUNTIME) {
        TWinControl::CreateWnd();
        return;
    }
    const RECT bounds = vl::toRect(BoundsRect());
    // The answer is not the test of success: the in-place object that the control reports is.
    m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site->clientSite(), 0, Parent(), &bounds);
    if (!m_inPlaceObject)
        throw EOleError("OLE control activation failed");
    HWND window = nullptr;
    if (FAILED(m_inPlaceObject->GetWindow(&window)) || !window)
        throw EOleError("Could not obtain OLE control window handle");
    AdoptWindow(window, false);
}

void TOleControl::WindowGone()
{
    // During destruction the control is closed once, in its place of the order.
    if (m_destroying || !m_oleObject || (m_miscStatus & OLEMISC_INVISIBLEATRUNTIME))
        return;
    m_oleObject->Close(OLECLOSE_NOSAVE);
    m_inPlaceActiveObject.reset();
    m_inPlaceObject.reset();
}

bool TOleControl::WindowEvent(QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    if (!m_inPlaceActiveObject)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    UINT modifiers = 0;
    if (key->modifiers() & Qt::ShiftModifier)
        modifiers |= KEYMOD_SHIFT;
    if (key->modifiers() & Qt::ControlModifier)
        modifiers |= KEYMOD_CONTROL;
    if (key->modifiers() & Qt::AltModifier)
        modifiers |= KEYMOD_ALT;
    MSG msg { Handle(), event->type() == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP, static_cast<UINT>(key->key()),
        modifiers };
    return m_inPlaceActiveObject->TranslateAccelerator(&msg) == S_OK;
}

void TOleControl::inPlaceActivated()
{
    if (!m_oleObject)
        return;
    if (FAILED(m_oleObject.query(IID_IOleInPlaceObject, m_inPlaceObject)))
        m_inPlaceObject.reset();
    if (FAILED(m_oleObject.query(IID_IOleInPlaceActiveObject, m_inPlaceActiveObject)))
        m_inPlaceActiveObject.reset();
}

void TOleControl::inPlaceDeactivated()
{
    m_inPlaceActiveObject.reset();
    m_inPlaceObject.reset();
}

void TOleControl::ParentChanged()
{
    TWinControl::ParentChanged();
    if (!Parent() || !m_oleObject)
        return;
    siteControl();
    if (m_running && m_oleControl)
        m_oleControl->OnAmbientPropertyChange(DISPID_UNKNOWN);
}

void TOleControl::ambientChanged(DISPID dispId)
{
    if (m_running && m_oleControl)
        m_oleControl->OnAmbientPropertyChange(dispId);
}

void TOleControl::ParentFontChanged()
{
    ambientChanged(DISPID_AMBIENT_FONT);
    ambientChanged(DISPID_AMBIENT_FORECOLOR);
}

void TOleControl::ParentColorChanged()
{
    ambientChanged(DISPID_AMBIENT_BACKCOLOR);
}

void TOleControl::EnabledChanged()
{
    TWinControl::EnabledChanged();
    if (!(ControlData && (ControlData->Flags & cfEnabled)) || !HandleAllocated() || m_updatingEnabled || !m_running)
        return;
    const QScopedValueRollback<bool> updating(m_updatingEnabled, true);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = TControl::Enabled() ? VARIANT_TRUE : VARIANT_FALSE;
    writeProperty(DISPID_ENABLED, value);
}

void TOleControl::ColorChanged()
{
    if (!(ControlData && (ControlData->Flags & cfBackColor)) || m_updatingColor || !m_running)
        return;
    const QScopedValueRollback<bool> updating(m_updatingColor, true);
    writeProperty(DISPID_BACKCOLOR, vl::Variant::fromInt32(Color()).get());
}

void TOleControl::FontChanged()
{
    if (!ControlData || !(ControlData->Flags & (cfForeColor | cfFont)) || m_updatingFont || !m_running)
        return;
    const QScopedValueRollback<bool> updating(m_updatingFont, true);
    if (ControlData->Flags & cfForeColor)
        writeProperty(DISPID_FORECOLOR, vl::Variant::fromInt32(Font().Color).get());
    if (ControlData->Flags & cfFont) {
        vl::ComPtr<IFont> font = vl::createFont(vl::describeFont(Font()));
        vl::ComPtr<IDispatch> dispatch;
        if (font && SUCCEEDED(font.query(IID_IDispatch, dispatch)))
            writeProperty(DISPID_FONT, vl::Variant::fromDispatch(dispatch.get()).get());
    }
}

void TOleControl::propertyChanged(DISPID dispId)
{
    switch (dispId) {
    case DISPID_BACKCOLOR:
        if (!m_updatingColor) {
            const QScopedValueRollback<bool> updating(m_updatingColor, true);
            vl::Variant value;
            readProperty(dispId, value);
            SetColor(value->lVal);
        }
        break;
    case DISPID_FORECOLOR:
    case DISPID_FONT:
        if (!m_updatingFont) {
            const QScopedValueRollback<bool> updating(m_updatingFont, true);
            vl::Variant value;
            readProperty(dispId, value);
            TFont font = Font();
            if (dispId == DISPID_FORECOLOR) {
                font.Color = value->lVal;
            } else if (value.type() == VT_DISPATCH && value->pdispVal) {
                vl::ComPtr<IFont> source;
                vl::ComPtr<IDispatch>(value->pdispVal).query(IID_IFont, source);
                vl::FontDescription d;
                if (source && SUCCEEDED(vl::describeFont(source.get(), d))) {
                    font.Name = vl::toNarrow(d.name);
                    font.Size = static_cast<int>(std::lround(d.size.int64 / 10000.0));
                    font.Bold = d.bold();
                    font.Italic = d.italic;
                    font.Underline = d.underline;
                    font.StrikeOut = d.strikethrough;
                }
            }
            SetFont(font);
        }
        break;
    case DISPID_ENABLED:
        if (!m_updatingEnabled) {
            const QScopedValueRollback<bool> updating(m_updatingEnabled, true);
            vl::Variant value;
            readProperty(dispId, value);
            TControl::SetEnabled(value->boolVal != 0);
        }
        break;
    default:
        break;
    }
}

void TOleControl::readProperty(DISPID dispId, vl::Variant& value)
{
    if (!m_controlDispatch)
        vl::oleSysError(E_NOINTERFACE);
    DISPPARAMS params { nullptr, nullptr, 0, 0 };
    VARIANT result;
    std::memset(&result, 0, sizeof result);
    vl::ExcepInfo info;
    const HRESULT hr
        = m_controlDispatch->Invoke(dispId, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, &result, &info, nullptr);
    value = vl::Variant::adopt(result);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION && info->pfnDeferredFillIn)
            info->pfnDeferredFillIn(info.get());
        vl::raiseInvokeFailure(hr, *info);
    }
}

void TOleControl::writeProperty(DISPID dispId, const VARIANT& value)
{
    if (!m_controlDispatch)
        vl::oleSysError(E_NOINTERFACE);
    VARIANT arg = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params { &arg, &named, 1, 1 };
    const VARTYPE type = value.vt & VT_TYPEMASK;
    const WORD flags = (type == VT_DISPATCH || type == VT_UNKNOWN) && !(value.vt & VT_ARRAY) ? DISPATCH_PROPERTYPUTREF
                                                                                             : DISPATCH_PROPERTYPUT;
    vl::ExcepInfo info;
    const HRESULT hr = m_controlDispatch->Invoke(dispId, IID_NULL, 0, flags, &params, nullptr, &info, nullptr);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION && info->pfnDeferredFillIn)
            info->pfnDeferredFillIn(info.get());
        vl::raiseInvokeFailure(hr, *info);
    }
}

void TOleControl::GetProperty(DISPID dispId, vl::Variant& value)
{
    bringToRunningState();
    readProperty(dispId, value);
}

void TOleControl::SetProperty(DISPID dispId, const VARIANT& value)
{
    bringToRunningState();
    writeProperty(dispId, value);
}

int32_t TOleControl::GetIntegerProp(DISPID dispId)
{
    return vl::propertyOf(*this, dispId)->lVal;
}

void TOleControl::SetIntegerProp(DISPID dispId, int32_t value)
{
    SetProperty(dispId, vl::Variant::fromInt32(value).get());
}

bool TOleControl::GetWordBoolProp(DISPID dispId)
{
    return vl::propertyOf(*this, dispId)->boolVal != 0;
}

void TOleControl::SetWordBoolProp(DISPID dispId, bool value)
{
    SetProperty(dispId, vl::Variant::fromBool(value).get());
}

double TOleControl::GetDoubleProp(DISPID dispId)
{
    return vl::propertyOf(*this, dispId)->dblVal;
}

void TOleControl::SetDoubleProp(DISPID dispId, double value)
{
    SetProperty(dispId, vl::Variant::fromDouble(value).get());
}

std::u16string TOleControl::GetWideStringProp(DISPID dispId)
{
    const vl::Variant value = vl::propertyOf(*this, dispId);
    if (value.type() == VT_BSTR)
        return std::u16string(vl::bstrView(value->bstrVal));
    // Another type's value field is no string; it is converted rather than taken as one.
    std::u16string text;
    value.toString(text);
    return text;
}

void TOleControl::SetWideStringProp(DISPID dispId, std::u16string_view value)
{
    SetProperty(dispId, vl::Variant::fromString(value).get());
}
