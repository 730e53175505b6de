#include "TestObjects.h"

namespace
{

using SafeArrayTest = ComTest;

TEST_F(SafeArrayTest, VectorBoundsAndAccess)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 5, 3);
    ASSERT_NE(array, nullptr);
    LONG lower = 0, upper = 0;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
    EXPECT_EQ(lower, 5);
    EXPECT_EQ(upper, 7);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 4u);
    EXPECT_EQ(SafeArrayGetLBound(array, 2, &lower), DISP_E_BADINDEX);

    LONG value = 70;
    LONG index = 7;
    EXPECT_EQ(SafeArrayPutElement(array, &index, &value), S_OK);
    index = 8;
    EXPECT_EQ(SafeArrayPutElement(array, &index, &value), DISP_E_BADINDEX);
    index = 4;
    EXPECT_EQ(SafeArrayGetElement(array, &index, &value), DISP_E_BADINDEX);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(static_cast<LONG*>(data)[0], 0);
    EXPECT_EQ(static_cast<LONG*>(data)[2], 70);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST_F(SafeArrayTest, UnsupportedElementTypesGiveNoArray)
{
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_I4 | VT_BYREF, 0, 1), nullptr);
    SAFEARRAYBOUND bounds[2] = { { 1, 0 }, { 1, 0 } };
    EXPECT_EQ(SafeArrayCreate(VT_I4, 2, bounds), nullptr);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST_F(SafeArrayTest, CopyDuplicatesStringsReferencesAndVariants)
{
    auto object = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, object.get()), S_OK);
    EXPECT_EQ(object->refCount(), 2u);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
    EXPECT_EQ(object->refCount(), 3u);
    // replacing an element releases what it held
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, nullptr), S_OK);
    EXPECT_EQ(object->refCount(), 2u);
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(object->refCount(), 1u);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    vl::Variant text = vl::Variant::fromString(u"inside");
    ASSERT_EQ(SafeArrayPutElement(variants, &index, text.ptr()), S_OK);
    ASSERT_EQ(SafeArrayCopy(variants, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
    vl::Variant back;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, back.ptr()), S_OK);
    EXPECT_EQ(vl::bstrView(back->bstrVal), u"inside");
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

} // namespace
