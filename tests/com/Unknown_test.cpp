#include "TestObjects.h"

#include <cstddef>

namespace
{

// Slot N of the raw table is what a caller on the platform's calling convention reaches.
template <class Function> Function slot(void* object, int index)
{
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Function>(table[index]);
}

class SlotDispatch : public vl::ComObject<IDispatch>
{
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 7;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        *info = nullptr;
        return index == 4 ? S_FALSE : E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        ids[0] = DISPID(500 + count);
        return S_OK;
    }
    HRESULT Invoke(
        DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        result->vt = VT_I4;
        result->lVal = dispId * 100 + flags * 10 + LONG(params->cArgs);
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override { return iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr; }
};

using VtableTest = ComTest;

TEST_F(VtableTest, DispatchSlotsAreInDeclarationOrder)
{
    auto object = vl::ComPtr<IDispatch>::adopt(new SlotDispatch);
    void* raw = object.get();

    void* found = nullptr;
    EXPECT_EQ((slot<HRESULT (*)(void*, REFIID, void**)>(raw, 0)(raw, IID_IDispatch, &found)), S_OK);
    EXPECT_EQ(found, raw);
    EXPECT_EQ((slot<ULONG (*)(void*)>(raw, 1)(raw)), 3u);
    EXPECT_EQ((slot<ULONG (*)(void*)>(raw, 2)(raw)), 2u);
    object->Release();

    UINT count = 0;
    EXPECT_EQ((slot<HRESULT (*)(void*, UINT*)>(raw, 3)(raw, &count)), S_OK);
    EXPECT_EQ(count, 7u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ((slot<HRESULT (*)(void*, UINT, LCID, ITypeInfo**)>(raw, 4)(raw, 4, 0, &info)), S_FALSE);
    DISPID id = 0;
    LPOLESTR names[1] = { const_cast<LPOLESTR>(u"x") };
    EXPECT_EQ(
        (slot<HRESULT (*)(void*, REFIID, LPOLESTR*, UINT, LCID, DISPID*)>(raw, 5)(raw, IID_NULL, names, 1, 0, &id)),
        S_OK);
    EXPECT_EQ(id, 501);

    using InvokeFunction = HRESULT (*)(void*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*);
    VARIANT arg;
    VariantInit(&arg);
    DISPPARAMS params { &arg, nullptr, 1, 0 };
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(
        slot<InvokeFunction>(raw, 6)(raw, 9, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.lVal, 9 * 100 + 2 * 10 + 1);
}

TEST(ExcepInfo, FreesItsStrings)
{
    vl::ExcepInfo info;
    EXCEPINFO* raw = &info;
    raw->bstrSource = SysAllocString(u"source");
    raw->bstrDescription = SysAllocString(u"description");
    raw->scode = E_FAIL;
    vl::clearExcepInfo(*raw);
    EXPECT_EQ(raw->bstrSource, nullptr);
    EXPECT_EQ(raw->scode, 0);
}

TEST(VariantLayout, SixteenBytesWithTheValueAtEight)
{
    EXPECT_EQ(sizeof(VARIANT), 16u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(sizeof(vl::Variant), sizeof(VARIANT));
}

} // namespace
