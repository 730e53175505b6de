#include "TestObjects.h"

namespace
{

// Two interfaces on one object, to show that both faces share one count and one identity.
class TwoFaced : public vl::ComObject<IErrorInfo, ISupportErrorInfo>
{
public:
    HRESULT GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT GetSource(BSTR*) override { return E_NOTIMPL; }
    HRESULT GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    HRESULT GetHelpContext(DWORD*) override { return E_NOTIMPL; }
    HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

protected:
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IErrorInfo)
            return static_cast<IErrorInfo*>(this);
        if (iid == IID_ISupportErrorInfo)
            return static_cast<ISupportErrorInfo*>(this);
        return nullptr;
    }
};

using ComObjectTest = ComTest;

TEST_F(ComObjectTest, LiveCountFollowsTheLastRelease)
{
    const long before = vl::liveObjectCount();
    IDispatch* object = new RecordingDispatch;
    EXPECT_EQ(vl::liveObjectCount(), before + 1);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(vl::liveObjectCount(), before + 1);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(vl::liveObjectCount(), before);
}

TEST_F(ComObjectTest, EveryFaceAnswersTheSameUnknown)
{
    auto object = vl::ComPtr<IErrorInfo>::adopt(new TwoFaced);
    vl::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(object.query(IID_ISupportErrorInfo, support), S_OK);
    EXPECT_NE(static_cast<void*>(support.get()), static_cast<void*>(object.get()));
    vl::ComPtr<IUnknown> fromFirst, fromSecond;
    object.query(IID_IUnknown, fromFirst);
    support.query(IID_IUnknown, fromSecond);
    EXPECT_EQ(fromFirst.get(), fromSecond.get());
    support.reset();
    fromSecond.reset();
    fromFirst.reset();
    EXPECT_EQ(object->AddRef(), 2u);
    object->Release();
}

TEST_F(ComObjectTest, UnknownInterfaceIsRefusedWithNull)
{
    auto object = vl::ComPtr<IErrorInfo>::adopt(new TwoFaced);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
}

} // namespace
