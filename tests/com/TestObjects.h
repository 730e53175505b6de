#pragma once
// Objects and fixture shared by the tests of the component object layer.

#include "Com.h"

#include <gtest/gtest.h>

#include <vector>

// Every test runs in an initialised apartment and must leave no object alive behind it.
class ComTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override
    {
        IErrorInfo* left = nullptr;
        if (GetErrorInfo(0, &left) == S_OK)
            left->Release();
        CoUninitialize();
        EXPECT_EQ(vl::liveObjectCount(), 0) << "objects leaked";
    }
};

// A dispatch object that records the calls it gets; any call other than Invoke is a fault.
class RecordingDispatch : public vl::ComObject<IDispatch>
{
public:
    explicit RecordingDispatch(IID extra = GUID_NULL)
        : m_extra(extra)
    {
    }

    HRESULT GetTypeInfoCount(UINT*) override { return unexpected("GetTypeInfoCount"); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return unexpected("GetTypeInfo"); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return unexpected("GetIDsOfNames"); }
    HRESULT Invoke(
        DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        calls.push_back({ dispId, flags, params ? params->cArgs : 0 });
        if (result && answer.vt != VT_EMPTY)
            VariantCopy(result, &answer);
        return invokeAnswer;
    }

    struct Call {
        DISPID dispId;
        WORD flags;
        UINT argCount;
    };
    std::vector<Call> calls;
    HRESULT invokeAnswer = S_OK;
    VARIANT answer {};

protected:
    ~RecordingDispatch() override { VariantClear(&answer); }
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IDispatch || (m_extra != GUID_NULL && iid == m_extra))
            return static_cast<IDispatch*>(this);
        return nullptr;
    }

private:
    static HRESULT unexpected(const char* name)
    {
        ADD_FAILURE() << "unexpected call of " << name;
        return E_UNEXPECTED;
    }
    IID m_extra;
};
