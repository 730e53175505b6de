#include "TestObjects.h"

namespace
{

using FontTest = ComTest;

vl::FontDescription sample()
{
    vl::FontDescription d;
    d.name = u"Tahoma";
    d.size.int64 = 95000;
    d.weight = FW_NORMAL;
    d.charset = 134;
    d.italic = true;
    return d;
}

TEST_F(FontTest, PropertiesRoundTrip)
{
    auto font = vl::createFont(sample());
    vl::FontDescription read;
    ASSERT_EQ(vl::describeFont(font.get(), read), S_OK);
    EXPECT_EQ(read.name, u"Tahoma");
    EXPECT_EQ(read.size.int64, 95000);
    EXPECT_EQ(read.charset, 134);
    EXPECT_TRUE(read.italic);
    EXPECT_FALSE(read.bold());
}

TEST_F(FontTest, BoldIsTheWeight)
{
    auto font = vl::createFont(sample());
    font->put_Bold(TRUE);
    SHORT weight = 0;
    font->get_Weight(&weight);
    EXPECT_EQ(weight, FW_BOLD);
    font->put_Weight(551);
    BOOL bold = FALSE;
    font->get_Bold(&bold);
    EXPECT_TRUE(bold);
    font->put_Weight(550);
    font->get_Bold(&bold);
    EXPECT_FALSE(bold);
}

TEST_F(FontTest, CloneIsEqualUntilChanged)
{
    auto font = vl::createFont(sample());
    vl::ComPtr<IFont> copy;
    ASSERT_EQ(font->Clone(&copy), S_OK);
    EXPECT_EQ(font->IsEqual(copy.get()), S_OK);
    copy->put_Underline(TRUE);
    EXPECT_EQ(font->IsEqual(copy.get()), S_FALSE);
}

TEST_F(FontTest, DispatchFaceReadsAndWritesProperties)
{
    FONTDESC desc { sizeof(FONTDESC), const_cast<LPOLESTR>(u"Arial"), CY { 120000 }, FW_BOLD, 0, FALSE, FALSE, TRUE };
    vl::ComPtr<IFontDisp> font;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFontDisp, font.voidOut()), S_OK);
    DISPPARAMS none { nullptr, nullptr, 0, 0 };
    vl::Variant value;
    ASSERT_EQ(
        font->Invoke(DISPID_FONT_NAME, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.ptr(), nullptr, nullptr), S_OK);
    EXPECT_EQ(vl::bstrView(value->bstrVal), u"Arial");
    ASSERT_EQ(
        font->Invoke(DISPID_FONT_SIZE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.ptr(), nullptr, nullptr), S_OK);
    EXPECT_EQ(value.type(), VT_CY);
    EXPECT_EQ(value->cyVal.int64, 120000);

    vl::Variant italic = vl::Variant::fromBool(true);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put { italic.ptr(), &named, 1, 1 };
    EXPECT_EQ(
        font->Invoke(DISPID_FONT_ITALIC, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    vl::ComPtr<IFont> face;
    ASSERT_EQ(font.query(IID_IFont, face), S_OK);
    vl::FontDescription read;
    vl::describeFont(face.get(), read);
    EXPECT_TRUE(read.italic);
    EXPECT_TRUE(read.strikethrough);
    EXPECT_TRUE(read.bold());
    EXPECT_EQ(font->Invoke(99, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.ptr(), nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

} // namespace
