// A server library as the class registry loads it: DllGetClassObject with one factory per class.

#include "TestServer.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "NoTypeInfo.h"
#include "Variant.h"

#include <atomic>

namespace
{

std::atomic<long> g_locks { 0 };

class ValueObject : public vl::NoTypeInfo<vl::ComObject<IDispatch>>
{
public:
    HRESULT Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (dispId != DISPID_VALUE || !result)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = 42;
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override { return iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr; }
};

class Factory : public vl::ComObject<IClassFactory>
{
public:
    explicit Factory(bool failing)
        : m_failing(failing)
    {
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (m_failing)
            return E_ACCESSDENIED;
        auto created = vl::ComPtr<IDispatch>::adopt(new ValueObject);
        return created->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL lock) override
    {
        g_locks += lock ? 1 : -1;
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }

private:
    bool m_failing;
};

} // namespace

extern "C" HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object)
{
    *object = nullptr;
    if (clsid != CLSID_TestServerObject && clsid != CLSID_TestServerFailing)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = vl::ComPtr<IClassFactory>::adopt(new Factory(clsid == CLSID_TestServerFailing));
    return factory->QueryInterface(iid, object);
}

// Never unloaded: the tests share one process and may come back to it.
extern "C" HRESULT DllCanUnloadNow()
{
    return S_FALSE;
}
