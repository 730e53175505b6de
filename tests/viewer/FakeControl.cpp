#include "FakeControl.h"

#include "BStr.h"
#include "ComObject.h"
#include "ErrorInfo.h"
#include "Text.h"

#include <gtest/gtest.h>

namespace fake
{

namespace
{
Control* g_lastControl = nullptr;

std::string hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hr));
    return text;
}

// A sub-object of the control: counted like the control, answering its own IID.
template <class Stub> class SubObject final : public Stub
{
public:
    SubObject(const IID& iid, std::string name)
        : m_iid(iid)
        , m_name(std::move(name))
    {
    }
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == m_iid) {
            *object = static_cast<Stub*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override
    {
        ++counters().addRefs;
        return ++m_refs;
    }
    ULONG Release() override
    {
        ++counters().releases;
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT GetTypeInfoCount(UINT*) override { return unexpected("GetTypeInfoCount"); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return unexpected("GetTypeInfo"); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return unexpected("GetIDsOfNames"); }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return unexpected("Invoke");
    }

private:
    ULONG m_refs = 0;
    vl::ObjectCounter m_counter;
    IID m_iid;
    std::string m_name;
};

class Document : public StubReportDocument
{
public:
    HRESULT OpenFile(BSTR path) override
    {
        calls().push_back("OpenFile " + std::string(vl::bstrView(path).begin(), vl::bstrView(path).end()));
        return S_OK;
    }
    // Two parameters, Title and Until; another name or index fails as the control does, with error info.
    HRESULT get_ParameterCount(int32_t* value) override
    {
        calls().push_back("get_ParameterCount");
        *value = 2;
        return S_OK;
    }
    HRESULT get_ParameterName(int32_t index, BSTR* value) override
    {
        calls().push_back("get_ParameterName " + std::to_string(index));
        if (index < 0 || index > 1)
            return vl::setErrorInfo(
                E_INVALIDARG, u"ReportView", u"There is no parameter " + vl::toWide(std::to_string(index)));
        *value = vl::BStr(index == 0 ? u"Title" : u"Until").release();
        return S_OK;
    }
    HRESULT get_Parameter(BSTR name, BSTR* value) override
    {
        calls().push_back("get_Parameter " + vl::toNarrow(vl::bstrView(name)));
        const int index = find(name);
        if (index < 0)
            return unknown(name);
        *value = vl::BStr(m_values[index]).release();
        return S_OK;
    }
    HRESULT put_Parameter(BSTR name, BSTR value) override
    {
        calls().push_back(
            "put_Parameter " + vl::toNarrow(vl::bstrView(name)) + "=" + vl::toNarrow(vl::bstrView(value)));
        const int index = find(name);
        if (index < 0)
            return unknown(name);
        m_values[index] = vl::bstrView(value);
        return S_OK;
    }

private:
    static int find(BSTR name)
    {
        const std::u16string_view text = vl::bstrView(name);
        return text == u"Title" ? 0 : text == u"Until" ? 1 : -1;
    }
    static HRESULT unknown(BSTR name)
    {
        return vl::setErrorInfo(E_INVALIDARG, u"ReportView",
            u"The template has no parameter \"" + std::u16string(vl::bstrView(name)) + u"\"");
    }
    std::u16string m_values[2] = { u"Staff", u"2024-12-31" };
};

class Data : public StubReportData
{
public:
    HRESULT LoadXML(BSTR, int32_t options) override
    {
        calls().push_back("LoadXML " + std::to_string(options));
        return S_OK;
    }
};

class Printer : public StubReportPrinter
{
public:
    HRESULT Preview(BSTR sheet) override
    {
        calls().push_back("Preview " + std::string(vl::bstrView(sheet).begin(), vl::bstrView(sheet).end()));
        return S_OK;
    }
    HRESULT Print() override
    {
        calls().push_back("Print");
        return S_OK;
    }
    HRESULT Export(BSTR format, BSTR path) override
    {
        const std::u16string_view kind = vl::bstrView(format);
        calls().push_back("Export " + vl::toNarrow(kind) + " " + vl::toNarrow(vl::bstrView(path)));
        if (kind != u"xlsx" && kind != u"csv")
            return vl::setErrorInfo(E_INVALIDARG, u"ReportView", u"Unknown export format \"" + std::u16string(kind) + u"\"");
        return S_OK;
    }
};

template <class Stub, class I> HRESULT handOut(I** value, const IID& iid, const char* name)
{
    calls().push_back(name);
    if (FAILED(config().subObjectResult)) {
        *value = nullptr;
        return config().subObjectResult;
    }
    auto* object = new SubObject<Stub>(iid, name);
    object->AddRef();
    *value = object;
    return config().subObjectResult;
}

class Factory final : public vl::ComObject<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        calls().push_back("CreateInstance");
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* control = new Control;
        control->AddRef();
        const HRESULT hr = control->QueryInterface(iid, object);
        control->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }
};
} // namespace

HRESULT unexpected(const char* name)
{
    ADD_FAILURE() << "unexpected call " << name;
    calls().push_back(std::string("unexpected ") + name);
    return E_UNEXPECTED;
}

Config& config()
{
    static Config c;
    return c;
}

Counters& counters()
{
    static Counters c;
    return c;
}

std::vector<std::string>& calls()
{
    static std::vector<std::string> list;
    return list;
}

int callIndex(const std::string& prefix)
{
    const auto& list = calls();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].rfind(prefix, 0) == 0)
            return static_cast<int>(i);
    return -1;
}

void clear()
{
    config() = Config();
    counters() = Counters();
    calls().clear();
}

Control* lastControl()
{
    return g_lastControl;
}

Control::Control()
    : m_points(this)
{
    m_points.add(IID_IPropertyNotifySink);
    m_points.add(DIID_IReportViewEvents);
    g_lastControl = this;
}

Control::~Control()
{
    if (g_lastControl == this)
        g_lastControl = nullptr;
    delete m_widget.data();
}

HRESULT Control::QueryInterface(REFIID iid, void** object)
{
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleObject)
        found = static_cast<IOleObject*>(this);
    else if ((iid == IID_IOleInPlaceObject || iid == IID_IOleWindow) && config().inPlaceObject)
        found = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IOleInPlaceActiveObject && config().inPlaceObject)
        found = static_cast<IOleInPlaceActiveObject*>(this);
    else if (iid == IID_IOleControl)
        found = static_cast<IOleControl*>(this);
    else if (iid == IID_IPersistStreamInit || iid == IID_IPersist)
        found = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IConnectionPointContainer)
        found = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IDispatch)
        found = static_cast<IReportView*>(this);
    else if (iid == IID_IReportView && config().viewInterface)
        found = static_cast<IReportView*>(this);
    if (iid == IID_IReportView)
        calls().push_back("QueryInterface IReportView");
    *object = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Control::AddRef()
{
    ++counters().addRefs;
    return ++m_refs;
}

ULONG Control::Release()
{
    ++counters().releases;
    const ULONG left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT Control::SetClientSite(IOleClientSite* site)
{
    // Detaching comes after both sinks are disconnected.
    calls().push_back(site ? "SetClientSite"
                           : "SetClientSite null events=" + std::to_string(eventConnections())
                + " notices=" + std::to_string(propertyConnections()));
    m_site = vl::ComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT Control::GetClientSite(IOleClientSite** site)
{
    calls().push_back("GetClientSite");
    return m_site.copyTo(site);
}

HRESULT Control::Close(DWORD saveOption)
{
    calls().push_back("Close " + std::to_string(saveOption));
    if (m_widget) {
        vl::ComPtr<IOleInPlaceSite> inPlace;
        if (m_site && SUCCEEDED(m_site.query(IID_IOleInPlaceSite, inPlace)))
            inPlace->OnInPlaceDeactivate();
        delete m_widget.data();
    }
    return S_OK;
}

HRESULT Control::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect)
{
    calls().push_back("DoVerb " + std::to_string(verb));
    if (verb != OLEIVERB_INPLACEACTIVATE || !site || !parent || !rect)
        return E_INVALIDARG;
    vl::ComPtr<IOleInPlaceSite> inPlace;
    if (FAILED(vl::ComPtr<IOleClientSite>(site).query(IID_IOleInPlaceSite, inPlace)))
        return E_NOINTERFACE;
    if (inPlace->CanInPlaceActivate() != S_OK)
        return E_FAIL;
    HWND siteWindow = nullptr;
    if (FAILED(inPlace->GetWindow(&siteWindow)) || siteWindow != parent)
        return E_FAIL;
    if (config().window && !m_widget) {
        m_widget = new QWidget(parent);
        m_widget->setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    }
    inPlace->OnInPlaceActivate();
    inPlace->OnUIActivate();
    return S_OK;
}

HRESULT Control::SetExtent(DWORD aspect, SIZEL* size)
{
    calls().push_back(
        "SetExtent " + std::to_string(aspect) + " " + std::to_string(size->cx) + " " + std::to_string(size->cy));
    if (config().setExtentResult == S_OK)
        config().extent = *size;
    return config().setExtentResult;
}

HRESULT Control::GetExtent(DWORD aspect, SIZEL* size)
{
    calls().push_back("GetExtent " + std::to_string(aspect));
    *size = config().extent;
    return config().getExtentResult;
}

HRESULT Control::GetMiscStatus(DWORD aspect, DWORD* status)
{
    calls().push_back("GetMiscStatus " + std::to_string(aspect));
    *status = config().miscStatus;
    return S_OK;
}

HRESULT Control::GetWindow(HWND* window)
{
    *window = m_widget;
    return m_widget ? S_OK : E_FAIL;
}

HRESULT Control::UIDeactivate()
{
    calls().push_back("UIDeactivate");
    return S_OK;
}

HRESULT Control::SetObjectRects(LPCRECT pos, LPCRECT)
{
    calls().push_back(
        "SetObjectRects " + std::to_string(pos->right - pos->left) + "x" + std::to_string(pos->bottom - pos->top));
    return S_OK;
}

HRESULT Control::TranslateAccelerator(LPMSG msg)
{
    calls().push_back("TranslateAccelerator " + std::to_string(msg->message) + " " + std::to_string(msg->key));
    return config().acceptKeys ? S_OK : S_FALSE;
}

HRESULT Control::OnAmbientPropertyChange(DISPID dispId)
{
    calls().push_back("OnAmbientPropertyChange " + std::to_string(dispId));
    return S_OK;
}

HRESULT Control::InitNew()
{
    calls().push_back("InitNew");
    return config().initNewResult;
}

HRESULT Control::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    return m_points.EnumConnectionPoints(points);
}

HRESULT Control::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    return m_points.FindConnectionPoint(iid, point);
}

HRESULT Control::Invoke(DISPID dispId, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
    EXCEPINFO* excepInfo, UINT*)
{
    EXPECT_TRUE(iid == IID_NULL);
    EXPECT_EQ(locale, 0u);
    if (flags == DISPATCH_PROPERTYGET) {
        calls().push_back("Invoke get " + std::to_string(dispId));
        EXPECT_EQ(params->cArgs, 0u);
        if (FAILED(config().invokeResult)) {
            if (config().invokeResult == DISP_E_EXCEPTION && excepInfo) {
                excepInfo->scode = static_cast<SCODE>(0x80041234);
                excepInfo->bstrSource = vl::BStr(u"Viewer").release();
                excepInfo->bstrDescription = vl::BStr(config().invokeDescription).release();
                excepInfo->bstrHelpFile = vl::BStr(u"viewer.hlp").release();
                excepInfo->dwHelpContext = 77;
            }
            return config().invokeResult;
        }
        auto it = properties.find(dispId);
        if (it == properties.end())
            return DISP_E_MEMBERNOTFOUND;
        return VariantCopy(result, &it->second.get());
    }
    if (flags == DISPATCH_PROPERTYPUT || flags == DISPATCH_PROPERTYPUTREF) {
        EXPECT_EQ(params->cArgs, 1u);
        EXPECT_EQ(params->cNamedArgs, 1u);
        EXPECT_EQ(params->rgdispidNamedArgs[0], DISPID_PROPERTYPUT);
        const VARIANT& value = params->rgvarg[0];
        std::string text = "Invoke put " + std::to_string(dispId) + " vt=" + std::to_string(value.vt);
        if (value.vt == VT_BSTR)
            text += value.bstrVal ? " bstr" : " null";
        calls().push_back(text);
        if (FAILED(config().invokeResult))
            return config().invokeResult;
        properties[dispId] = vl::Variant(value);
        if (dispId == DISPID_ENABLED && config().notifyEnabledOnPut)
            notifyChanged(DISPID_ENABLED);
        return S_OK;
    }
    return unexpected("Invoke with other flags");
}

HRESULT Control::get_ReportDocument(IReportDocument** value)
{
    return handOut<Document>(value, IID_IReportDocument, "get_ReportDocument");
}

HRESULT Control::get_ReportData(IReportData** value)
{
    return handOut<Data>(value, IID_IReportData, "get_ReportData");
}

HRESULT Control::get_ReportPrinter(IReportPrinter** value)
{
    return handOut<Printer>(value, IID_IReportPrinter, "get_ReportPrinter");
}

HRESULT Control::fireEvent(DISPID dispId, std::vector<VARIANT> argsLastFirst)
{
    DISPPARAMS params { argsLastFirst.empty() ? nullptr : argsLastFirst.data(), nullptr,
        static_cast<UINT>(argsLastFirst.size()), 0 };
    return m_points.find(DIID_IReportViewEvents)->invokeAll(dispId, &params);
}

void Control::notifyChanged(DISPID dispId)
{
    for (const auto& sink : m_points.find(IID_IPropertyNotifySink)->sinksAs<IPropertyNotifySink>())
        EXPECT_EQ(sink->OnChanged(dispId), S_OK);
}

size_t Control::eventConnections() const
{
    return m_points.find(DIID_IReportViewEvents)->connectionCount();
}

size_t Control::propertyConnections() const
{
    return m_points.find(IID_IPropertyNotifySink)->connectionCount();
}

HRESULT Control::ambient(DISPID dispId, vl::Variant& value)
{
    vl::ComPtr<IDispatch> dispatch;
    if (FAILED(m_site.query(IID_IDispatch, dispatch)))
        return E_NOINTERFACE;
    DISPPARAMS none { nullptr, nullptr, 0, 0 };
    return dispatch->Invoke(dispId, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
}

Registration::Registration()
{
    vl::ComPtr<IClassFactory> factory = vl::ComPtr<IClassFactory>::adopt(new Factory);
    const HRESULT hr
        = CoRegisterClassObject(CLSID_ReportView, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
    EXPECT_EQ(hr, S_OK) << hex(hr);
}

Registration::~Registration()
{
    CoRevokeClassObject(m_cookie);
}

} // namespace fake
