// Broken viewer plug-ins for the fault tests, one library per kind, chosen at compile time:
//   VL_FAULT_NO_ENTRY          a library without DllGetClassObject
//   VL_FAULT_FACTORY_FAILS     a class factory whose CreateInstance fails
//   VL_FAULT_REFUSES_ACTIVATION the real control, wrapped so that it refuses in-place activation
// They are built into the tests folder only and never reach the run folder.

#include "ClassRegistry.h"
#include "ComObject.h"
#include "OleInterfaces.h"
#include "ReportViewIntf.h"

#include <dlfcn.h>

#define VL_EXPORT extern "C" __attribute__((visibility("default")))

#ifdef VL_FAULT_NO_ENTRY

VL_EXPORT int vlFaultNothingHere()
{
    return 0;
}

#else

namespace
{

#ifdef VL_FAULT_REFUSES_ACTIVATION

// The real control's IOleObject, forwarded call for call except DoVerb, which refuses every verb
// and never activates. Every other interface is the real control's.
class RefusingControl final : public vl::ComObject<IOleObject>
{
public:
    explicit RefusingControl(vl::ComPtr<IOleObject> inner)
        : m_inner(std::move(inner))
    {
    }

    HRESULT SetClientSite(IOleClientSite* site) override { return m_inner->SetClientSite(site); }
    HRESULT GetClientSite(IOleClientSite** site) override { return m_inner->GetClientSite(site); }
    HRESULT SetHostNames(LPCOLESTR app, LPCOLESTR object) override { return m_inner->SetHostNames(app, object); }
    HRESULT Close(DWORD saveOption) override { return m_inner->Close(saveOption); }
    HRESULT SetMoniker(DWORD which, IMoniker* moniker) override { return m_inner->SetMoniker(which, moniker); }
    HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override
    {
        return m_inner->GetMoniker(assign, which, moniker);
    }
    HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override
    {
        return m_inner->InitFromData(data, creation, reserved);
    }
    HRESULT GetClipboardData(DWORD reserved, IDataObject** data) override
    {
        return m_inner->GetClipboardData(reserved, data);
    }
    HRESULT DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override { return E_FAIL; }
    HRESULT EnumVerbs(IEnumOLEVERB** verbs) override { return m_inner->EnumVerbs(verbs); }
    HRESULT Update() override { return m_inner->Update(); }
    HRESULT IsUpToDate() override { return m_inner->IsUpToDate(); }
    HRESULT GetUserClassID(CLSID* clsid) override { return m_inner->GetUserClassID(clsid); }
    HRESULT GetUserType(DWORD form, LPOLESTR* type) override { return m_inner->GetUserType(form, type); }
    HRESULT SetExtent(DWORD aspect, SIZEL* size) override { return m_inner->SetExtent(aspect, size); }
    HRESULT GetExtent(DWORD aspect, SIZEL* size) override { return m_inner->GetExtent(aspect, size); }
    HRESULT Advise(IAdviseSink* sink, DWORD* connection) override { return m_inner->Advise(sink, connection); }
    HRESULT Unadvise(DWORD connection) override { return m_inner->Unadvise(connection); }
    HRESULT EnumAdvise(IEnumSTATDATA** advise) override { return m_inner->EnumAdvise(advise); }
    HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override { return m_inner->GetMiscStatus(aspect, status); }
    HRESULT SetColorScheme(LOGPALETTE* palette) override { return m_inner->SetColorScheme(palette); }

    // Every interface but IOleObject (and IUnknown) is the real control's, counted on it.
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleObject)
            return ComObject::QueryInterface(iid, object);
        return m_inner->QueryInterface(iid, object);
    }

protected:
    void* interfaceFor(REFIID iid) override { return iid == IID_IOleObject ? static_cast<IOleObject*>(this) : nullptr; }

private:
    vl::ComPtr<IOleObject> m_inner;
};

HRESULT createRealControl(REFIID iid, void** object)
{
    void* library = dlopen(VL_REPORTCTL_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    auto entry = reinterpret_cast<DllGetClassObjectFunction>(dlsym(library, "DllGetClassObject"));
    vl::ComPtr<IClassFactory> factory;
    if (!entry)
        return CO_E_ERRORINDLL;
    if (const HRESULT hr = entry(CLSID_ReportView, IID_IClassFactory, factory.voidOut()); FAILED(hr))
        return hr;
    vl::ComPtr<IOleObject> inner;
    if (const HRESULT hr = factory->CreateInstance(nullptr, IID_IOleObject, inner.voidOut()); FAILED(hr))
        return hr;
    auto wrapper = vl::ComPtr<IOleObject>::adopt(new RefusingControl(std::move(inner)));
    return wrapper->QueryInterface(iid, object);
}

#endif

class Factory final : public vl::ComObject<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
#ifdef VL_FAULT_FACTORY_FAILS
        (void)iid;
        return E_OUTOFMEMORY;
#else
        return createRealControl(iid, object);
#endif
    }
    HRESULT LockServer(BOOL) override
    {
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }
};

} // namespace

VL_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_ReportView)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = vl::ComPtr<IClassFactory>::adopt(new Factory);
    return factory->QueryInterface(iid, object);
}

VL_EXPORT HRESULT DllCanUnloadNow()
{
    return S_FALSE;
}

#endif
