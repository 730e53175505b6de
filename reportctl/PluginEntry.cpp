// The plug-in's entry point: the class factory of the report viewer control.
#include "ReportViewControl.h"

#include "ClassRegistry.h"
#include "ErrorInfo.h"

namespace vl {

namespace {

class ReportViewFactory final : public ComObject<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return guardedCall([&]() -> HRESULT {
            if (!object)
                return E_POINTER;
            *object = nullptr;
            if (outer)
                return CLASS_E_NOAGGREGATION;
            ComPtr<IReportView> control = ComPtr<IReportView>::adopt(new ReportViewControl());
            return control->QueryInterface(iid, object);
        });
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

protected:
    void* interfaceFor(REFIID iid) override { return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr; }
};

} // namespace

} // namespace vl

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid,
                                                                           void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_ReportView)
        return CLASS_E_CLASSNOTAVAILABLE;
    try {
        auto factory = vl::ComPtr<IClassFactory>::adopt(new vl::ReportViewFactory());
        return factory->QueryInterface(iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// Qt keeps the plug-in's code in its tables (widgets, metatypes) until exit, so it is never unloaded.
extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return S_FALSE;
}
