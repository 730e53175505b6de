#include "OleControl.h"

#include "Application.h"
#include "ClassRegistry.h"
#include "ConnectionPoint.h"
#include "Exceptions.h"
#include "NoTypeInfo.h"
#include "OleCheck.h"
#include "OleFont.h"
#include "Text.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
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

RECT toRect(const QRect& r)
{
    return RECT { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
}

FontDescription describe(const TFont& font)
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

TShiftState shiftFromBits(LONG bits)
{
    TShiftState shift = 0;
    if (bits & 1)
        shift |= ssShift;
    if (bits & 2)
        shift |= ssCtrl;
    if (bits & 4)
        shift |= ssAlt;
    return shift;
}

TShiftState buttonsFromBits(LONG bits)
{
    TShiftState shift = 0;
    if (bits & 1)
        shift |= ssLeft;
    if (bits & 2)
        shift |= ssRight;
    if (bits & 4)
        shift |= ssMiddle;
    return shift;
}

TMouseButton buttonFromBits(LONG bits)
{
    if (bits & 1)
        return mbLeft;
    if (bits & 2)
        return mbRight;
    if (bits & 4)
        return mbMiddle;
    return mbLeft;
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

LONG int32Argument(const VARIANT& arg)
{
    LONG value = 0;
    const HRESULT hr = VariantToInt32(arg, &value);
    if (FAILED(hr))
        oleSysError(hr);
    return value;
}
} // namespace

// ---- Event arguments ------------------------------------------------------------------------------

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

// ---- The site -------------------------------------------------------------------------------------

// Everything the control may ask of its container. All counts go to the wrapper's.
class OleControlSite final : public IOleClientSite,
                             public IOleControlSite,
                             public IOleInPlaceSite,
                             public IOleInPlaceFrame,
                             public ISimpleFrameSite,
                             public IPropertyNotifySink,
                             public IDispatch
{
public:
    explicit OleControlSite(TOleControl* control)
        : m_control(control)
    {
    }
    virtual ~OleControlSite() = default;

    IOleClientSite* clientSite() { return this; }
    IPropertyNotifySink* propertySink() { return this; }

    HRESULT QueryInterface(REFIID iid, void** object) override
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
    ULONG AddRef() override { return ++m_control->m_refCount; }
    ULONG Release() override { return m_control->m_refCount > 0 ? --m_control->m_refCount : 0; }

    // IOleClientSite
    HRESULT SaveObject() override { return S_OK; }
    HRESULT GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetContainer(IOleContainer** container) override
    {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT ShowObject() override { return S_OK; }
    HRESULT OnShowWindow(BOOL) override { return S_OK; }
    HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleControlSite
    HRESULT OnControlInfoChanged() override { return S_OK; }
    HRESULT LockInPlaceActive(BOOL) override { return S_OK; }
    HRESULT GetExtendedControl(IDispatch** control) override
    {
        if (control)
            *control = nullptr;
        return E_NOTIMPL;
    }
    HRESULT TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override
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
    HRESULT TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    HRESULT OnFocus(BOOL) override { return S_OK; }
    HRESULT ShowPropertyFrame() override { return E_NOTIMPL; }

    // IOleWindow, for both the in-place site and the frame: the parent's window.
    HRESULT GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = m_control->Parent();
        return *window ? S_OK : E_FAIL;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleInPlaceSite
    HRESULT CanInPlaceActivate() override { return S_OK; }
    HRESULT OnInPlaceActivate() override
    {
        m_control->inPlaceActivated();
        return S_OK;
    }
    HRESULT OnUIActivate() override { return S_OK; }
    HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT posRect, LPRECT clipRect,
        OLEINPLACEFRAMEINFO* frameInfo) override
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
    HRESULT Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT OnInPlaceDeactivate() override
    {
        m_control->inPlaceDeactivated();
        return S_OK;
    }
    HRESULT DiscardUndoState() override { return S_OK; }
    HRESULT DeactivateAndUndo() override { return S_OK; }
    HRESULT OnPosRectChange(LPCRECT posRect) override
    {
        if (!posRect)
            return E_POINTER;
        if (m_control->m_inPlaceObject)
            m_control->m_inPlaceObject->SetObjectRects(posRect, posRect);
        return S_OK;
    }

    // IOleInPlaceFrame: no menus, tool space or status line to share.
    HRESULT GetBorder(LPRECT) override { return E_NOTIMPL; }
    HRESULT RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) override { return E_NOTIMPL; }
    HRESULT SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    HRESULT RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT EnableModeless(BOOL) override { return S_OK; }
    HRESULT TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // ISimpleFrameSite
    HRESULT PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD*) override { return S_OK; }
    HRESULT PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) override { return S_OK; }

    // IPropertyNotifySink
    HRESULT OnChanged(DISPID dispId) override
    {
        try {
            m_control->propertyChanged(dispId);
        } catch (...) {
            // The control is not to hear of the wrapper's trouble with its own notice.
        }
        return S_OK;
    }
    HRESULT OnRequestEdit(DISPID) override { return S_OK; }

    // IDispatch: the ambient properties.
    HRESULT GetTypeInfoCount(UINT* count) override { return vl::noTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) override { return vl::noTypeInfo(typeInfo); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (!(flags & DISPATCH_PROPERTYGET) || !result)
            return DISP_E_MEMBERNOTFOUND;
        try {
            return ambientProperty(dispId, *result);
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    HRESULT ambientProperty(DISPID dispId, VARIANT& result)
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
            ComPtr<IFont> font = createFont(describe(m_control->Font()));
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

    TOleControl* m_control;
};

} // namespace vl

// ---- Event sink -----------------------------------------------------------------------------------

HRESULT TEventDispatch::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    const bool events = m_control->ControlData && iid == m_control->ControlData->EventIid;
    if (iid == IID_IUnknown || iid == IID_IDispatch || events) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TEventDispatch::AddRef()
{
    return ++m_control->m_refCount;
}

ULONG TEventDispatch::Release()
{
    return m_control->m_refCount > 0 ? --m_control->m_refCount : 0;
}

HRESULT TEventDispatch::GetTypeInfoCount(UINT* count)
{
    return vl::noTypeInfoCount(count);
}

HRESULT TEventDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo)
{
    return vl::noTypeInfo(typeInfo);
}

HRESULT TEventDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT TEventDispatch::Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    // Whatever a handler does, the control hears success; failures are shown to the user.
    runGuarded([&] {
        if (dispId >= DISPID_MOUSEUP && dispId <= DISPID_CLICK)
            invokeStandardEvent(dispId, params);
        else
            invokeEvent(dispId, params);
    });
    return S_OK;
}

void TEventDispatch::invokeEvent(DISPID dispId, DISPPARAMS* params)
{
    const TControlDescription* data = m_control->ControlData;
    if (!data)
        return;
    for (int i = 0; i < data->EventCount; ++i) {
        if (data->EventDispIds[i] != dispId)
            continue;
        vl::EventSlot* slot = m_control->EventSlotAt(i);
        if (slot && slot->assigned())
            slot->invoke(m_control, params);
        return;
    }
}

void TEventDispatch::invokeStandardEvent(DISPID dispId, DISPPARAMS* params)
{
    const UINT count = params && params->rgvarg ? params->cArgs : 0;
    // Declaration order: argument n is stored at rgvarg[count - 1 - n].
    auto arg = [&](UINT n) -> VARIANT& { return params->rgvarg[count - 1 - n]; };
    switch (dispId) {
    case DISPID_CLICK:
        m_control->Click();
        break;
    case DISPID_DBLCLICK:
        m_control->DblClick();
        break;
    case DISPID_KEYDOWN:
    case DISPID_KEYUP: {
        if (count < 2)
            return;
        uint16_t key = static_cast<uint16_t>(vl::int32Argument(arg(0)));
        const TShiftState shift = vl::shiftFromBits(vl::int32Argument(arg(1)) & 7);
        if (dispId == DISPID_KEYDOWN)
            m_control->KeyDown(key, shift);
        else
            m_control->KeyUp(key, shift);
        if ((arg(0).vt & VT_BYREF) && arg(0).byref)
            *static_cast<uint16_t*>(arg(0).byref) = key;
        break;
    }
    case DISPID_KEYPRESS: {
        if (count < 1)
            return;
        char key = static_cast<char>(vl::int32Argument(arg(0)));
        m_control->KeyPress(key);
        if ((arg(0).vt & VT_BYREF) && arg(0).byref)
            *static_cast<char*>(arg(0).byref) = key;
        break;
    }
    case DISPID_MOUSEDOWN:
    case DISPID_MOUSEMOVE:
    case DISPID_MOUSEUP: {
        if (count < 4)
            return;
        const LONG buttons = vl::int32Argument(arg(0)) & 7;
        const TShiftState shift = vl::shiftFromBits(vl::int32Argument(arg(1)) & 7) | vl::buttonsFromBits(buttons);
        const int x = vl::int32Argument(arg(2));
        const int y = vl::int32Argument(arg(3));
        if (dispId == DISPID_MOUSEDOWN)
            m_control->MouseDown(vl::buttonFromBits(buttons), shift, x, y);
        else if (dispId == DISPID_MOUSEUP)
            m_control->MouseUp(vl::buttonFromBits(buttons), shift, x, y);
        else
            m_control->MouseMove(shift, x, y);
        break;
    }
    default:
        break;
    }
}

// ---- The wrapper ----------------------------------------------------------------------------------

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
    m_updatingEnabled = true;
    try {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BOOL;
        value.boolVal = TControl::Enabled() ? VARIANT_TRUE : VARIANT_FALSE;
        writeProperty(DISPID_ENABLED, value);
    } catch (...) {
        m_updatingEnabled = false;
        throw;
    }
    m_updatingEnabled = false;
}

void TOleControl::ColorChanged()
{
    if (!(ControlData && (ControlData->Flags & cfBackColor)) || m_updatingColor || !m_running)
        return;
    m_updatingColor = true;
    try {
        writeProperty(DISPID_BACKCOLOR, vl::Variant::fromInt32(Color()).get());
    } catch (...) {
        m_updatingColor = false;
        throw;
    }
    m_updatingColor = false;
}

void TOleControl::FontChanged()
{
    if (!ControlData || !(ControlData->Flags & (cfForeColor | cfFont)) || m_updatingFont || !m_running)
        return;
    m_updatingFont = true;
    try {
        if (ControlData->Flags & cfForeColor)
            writeProperty(DISPID_FORECOLOR, vl::Variant::fromInt32(Font().Color).get());
        if (ControlData->Flags & cfFont) {
            vl::ComPtr<IFont> font = vl::createFont(vl::describe(Font()));
            vl::ComPtr<IDispatch> dispatch;
            if (font && SUCCEEDED(font.query(IID_IDispatch, dispatch)))
                writeProperty(DISPID_FONT, vl::Variant::fromDispatch(dispatch.get()).get());
        }
    } catch (...) {
        m_updatingFont = false;
        throw;
    }
    m_updatingFont = false;
}

void TOleControl::propertyChanged(DISPID dispId)
{
    switch (dispId) {
    case DISPID_BACKCOLOR:
        if (!m_updatingColor) {
            m_updatingColor = true;
            try {
                vl::Variant value;
                readProperty(dispId, value);
                SetColor(value->lVal);
            } catch (...) {
                m_updatingColor = false;
                throw;
            }
            m_updatingColor = false;
        }
        break;
    case DISPID_FORECOLOR:
    case DISPID_FONT:
        if (!m_updatingFont) {
            m_updatingFont = true;
            try {
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
            } catch (...) {
                m_updatingFont = false;
                throw;
            }
            m_updatingFont = false;
        }
        break;
    case DISPID_ENABLED:
        if (!m_updatingEnabled) {
            m_updatingEnabled = true;
            try {
                vl::Variant value;
                readProperty(dispId, value);
                TControl::SetEnabled(value->boolVal != 0);
            } catch (...) {
                m_updatingEnabled = false;
                throw;
            }
            m_updatingEnabled = false;
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
    vl::Variant value;
    GetProperty(dispId, value);
    return value->lVal;
}

void TOleControl::SetIntegerProp(DISPID dispId, int32_t value)
{
    SetProperty(dispId, vl::Variant::fromInt32(value).get());
}

bool TOleControl::GetWordBoolProp(DISPID dispId)
{
    vl::Variant value;
    GetProperty(dispId, value);
    return value->boolVal != 0;
}

void TOleControl::SetWordBoolProp(DISPID dispId, bool value)
{
    SetProperty(dispId, vl::Variant::fromBool(value).get());
}

double TOleControl::GetDoubleProp(DISPID dispId)
{
    vl::Variant value;
    GetProperty(dispId, value);
    return value->dblVal;
}

void TOleControl::SetDoubleProp(DISPID dispId, double value)
{
    SetProperty(dispId, vl::Variant::fromDouble(value).get());
}

std::u16string TOleControl::GetWideStringProp(DISPID dispId)
{
    vl::Variant value;
    GetProperty(dispId, value);
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
