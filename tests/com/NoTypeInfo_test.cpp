#include "TestObjects.h"

namespace
{

class Plain : public vl::NoTypeInfo<vl::ComObject<IDispatch>>
{
public:
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    void* interfaceFor(REFIID iid) override { return iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr; }
};

using NoTypeInfoTest = ComTest;

// What a caller that asks for type information or names first is told, out-parameters included.
TEST_F(NoTypeInfoTest, AnswersNoTypeInformationAndNoNames)
{
    auto object = vl::ComPtr<Plain>::adopt(new Plain);
    IDispatch* dispatch = object.get();
    UINT count = 99;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    auto* stale = reinterpret_cast<ITypeInfo*>(&count);
    ITypeInfo* info = stale;
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_NOTIMPL);
    OLECHAR name[] = u"Value";
    LPOLESTR names[] = { name };
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_NOTIMPL);
}

} // namespace
