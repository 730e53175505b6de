#include "TestObjects.h"

namespace
{

using NoTypeInfoTest = ComTest;

// What a caller that asks for type information or names first is told, out-parameters included.
TEST_F(NoTypeInfoTest, AnswersNoTypeInformationAndNoNames)
{
    // The font's dispatch side is one of its users.
    auto font = vl::createFont(vl::FontDescription {});
    vl::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(font->QueryInterface(IID_IDispatch, dispatch.voidOut()), S_OK);
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
