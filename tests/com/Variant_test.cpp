#include "TestObjects.h"

#include <clocale>
#include <cmath>

namespace
{

using VariantTest = ComTest;

VARIANT plain(VARTYPE vt)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

TEST_F(VariantTest, CopyOfAStringIsDeep)
{
    VARIANT source = plain(VT_BSTR);
    source.bstrVal = SysAllocString(u"value");
    VARIANT copy = plain(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(vl::bstrView(copy.bstrVal), u"value");
    EXPECT_EQ(VariantClear(&source), S_OK);
    EXPECT_EQ(source.vt, VT_EMPTY);
    EXPECT_EQ(vl::bstrView(copy.bstrVal), u"value");
    EXPECT_EQ(VariantClear(&copy), S_OK);
}

TEST_F(VariantTest, CopyAndClearCountInterfaces)
{
    auto object = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    VARIANT source = plain(VT_DISPATCH);
    source.pdispVal = object.get();
    VARIANT copy = plain(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(object->refCount(), 2u);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(object->refCount(), 1u);

    vl::Variant owned = vl::Variant::fromUnknown(object->unknown());
    EXPECT_EQ(object->refCount(), 2u);
    vl::Variant second(owned);
    EXPECT_EQ(object->refCount(), 3u);
    owned.clear();
    second = vl::Variant::fromInt32(1);
    EXPECT_EQ(object->refCount(), 1u);
}

TEST_F(VariantTest, CopyReplacesWhatTheTargetHeld)
{
    auto object = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    VARIANT target = plain(VT_UNKNOWN);
    target.punkVal = object->unknown();
    object->AddRef();
    VARIANT source = plain(VT_I4);
    source.lVal = 5;
    ASSERT_EQ(VariantCopy(&target, &source), S_OK);
    EXPECT_EQ(object->refCount(), 1u);
    EXPECT_EQ(target.vt, VT_I4);
}

TEST_F(VariantTest, CopyOfAReferenceCopiesTheReferenceNotTheTarget)
{
    BSTR text = SysAllocString(u"target");
    VARIANT byRef = plain(VT_BSTR | VT_BYREF);
    byRef.pbstrVal = &text;
    VARIANT copy = plain(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &byRef), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR | VT_BYREF);
    EXPECT_EQ(copy.pbstrVal, &text);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(vl::bstrView(text), u"target") << "clearing a reference freed its target";

    VARIANT dereferenced = plain(VT_EMPTY);
    ASSERT_EQ(VariantCopyInd(&dereferenced, &byRef), S_OK);
    EXPECT_EQ(dereferenced.vt, VT_BSTR);
    EXPECT_NE(dereferenced.bstrVal, text);
    VariantClear(&dereferenced);
    SysFreeString(text);
}

TEST_F(VariantTest, CopyIndSeesThroughAVariantReference)
{
    VARIANT inner = plain(VT_I4);
    inner.lVal = 77;
    VARIANT byRef = plain(VT_VARIANT | VT_BYREF);
    byRef.pvarVal = &inner;
    vl::Variant copy;
    ASSERT_EQ(VariantCopyInd(copy.ptr(), &byRef), S_OK);
    EXPECT_EQ(copy.type(), VT_I4);
    EXPECT_EQ(copy->lVal, 77);
    // in place: the reference becomes the value
    ASSERT_EQ(VariantCopyInd(&byRef, &byRef), S_OK);
    EXPECT_EQ(byRef.vt, VT_I4);
    EXPECT_EQ(byRef.lVal, 77);
}

TEST_F(VariantTest, ArraysAreCopiedDeep)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(array, &index, const_cast<BSTR>(vl::StaticBStr(u"two").get())), S_OK);
    VARIANT source = plain(VT_ARRAY | VT_BSTR);
    source.parray = array;
    VARIANT copy = plain(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.parray, array);
    EXPECT_EQ(VariantClear(&source), S_OK);
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &index, &element), S_OK);
    EXPECT_EQ(vl::bstrView(element), u"two");
    SysFreeString(element);
    EXPECT_EQ(VariantClear(&copy), S_OK);
}

TEST_F(VariantTest, LockedArrayIsNotCleared)
{
    VARIANT v = plain(VT_ARRAY | VT_I4);
    v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    SafeArrayLock(v.parray);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    SafeArrayUnlock(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

// Every type number with every flag combination: only S_OK or DISP_E_BADVARTYPE, and a refused
// variant is left as it was.
TEST_F(VariantTest, EveryTypeAndFlagGivesOnlyOkOrBadType)
{
    const VARTYPE flagSets[] = { 0, VT_BYREF, VT_ARRAY, VT_ARRAY | VT_BYREF, VT_VECTOR, VT_RESERVED,
        VT_VECTOR | VT_BYREF, VT_RESERVED | VT_ARRAY };
    int accepted = 0;
    for (VARTYPE flags : flagSets) {
        for (VARTYPE base = 0; base <= VT_TYPEMASK; ++base) {
            const VARTYPE vt = VARTYPE(base | flags);
            VARIANT v = plain(vt); // a null value: no string, no object, no array, no target
            VARIANT copy = plain(VT_EMPTY);
            const HRESULT copied = VariantCopy(&copy, &v);
            const HRESULT cleared = VariantClear(&v);
            ASSERT_TRUE(copied == S_OK || copied == DISP_E_BADVARTYPE) << std::hex << vt;
            ASSERT_TRUE(cleared == S_OK || cleared == DISP_E_BADVARTYPE) << std::hex << vt;
            ASSERT_EQ(copied, cleared) << std::hex << vt;
            if (cleared == S_OK) {
                ++accepted;
                EXPECT_EQ(v.vt, VT_EMPTY);
                EXPECT_EQ(copy.vt, vt);
                EXPECT_EQ(VariantClear(&copy), S_OK);
            } else {
                EXPECT_EQ(v.vt, vt);
                EXPECT_EQ(copy.vt, VT_EMPTY);
            }
        }
    }
    // 21 plain types; 20 by-ref, 20 array and 20 array-by-ref types (no EMPTY/NULL there)
    EXPECT_EQ(accepted, 21 + 21 + 20 + 20);
}

TEST_F(VariantTest, BadTargetIsLeftAlone)
{
    VARIANT target = plain(0x7F);
    VARIANT source = plain(VT_I4);
    EXPECT_EQ(VariantCopy(&target, &source), DISP_E_BADVARTYPE);
    EXPECT_EQ(target.vt, 0x7F);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

struct Int32Case {
    const char* name;
    VARIANT value;
    HRESULT hr;
    LONG expected;
};

// A variant of type vt whose member holds value.
template <class T> VARIANT holding(VARTYPE vt, T VARIANT::*member, T value)
{
    VARIANT v = plain(vt);
    v.*member = value;
    return v;
}
VARIANT r8(double d)
{
    return holding(VT_R8, &VARIANT::dblVal, d);
}
VARIANT r4(float f)
{
    return holding(VT_R4, &VARIANT::fltVal, f);
}
VARIANT cy(int64_t scaled)
{
    return holding(VT_CY, &VARIANT::cyVal, CY { scaled });
}
VARIANT i8(int64_t i)
{
    return holding(VT_I8, &VARIANT::llVal, LONGLONG(i));
}
VARIANT ui4(uint32_t u)
{
    return holding(VT_UI4, &VARIANT::ulVal, ULONG(u));
}
VARIANT boolean(VARIANT_BOOL b)
{
    return holding(VT_BOOL, &VARIANT::boolVal, b);
}
VARIANT i2(SHORT s)
{
    return holding(VT_I2, &VARIANT::iVal, s);
}

TEST_F(VariantTest, ConversionToInt32)
{
    const Int32Case cases[] = {
        { "empty", plain(VT_EMPTY), S_OK, 0 },
        { "null", plain(VT_NULL), DISP_E_TYPEMISMATCH, 0 },
        { "i2", i2(-7), S_OK, -7 },
        { "true", boolean(VARIANT_TRUE), S_OK, -1 },
        { "false", boolean(VARIANT_FALSE), S_OK, 0 },
        { "0.5 to even", r8(0.5), S_OK, 0 },
        { "1.5 to even", r8(1.5), S_OK, 2 },
        { "2.5 to even", r8(2.5), S_OK, 2 },
        { "-2.5 to even", r8(-2.5), S_OK, -2 },
        { "-3.5 to even", r8(-3.5), S_OK, -4 },
        { "2.6 up", r8(2.6), S_OK, 3 },
        { "r4 3.5", r4(3.5f), S_OK, 4 },
        { "largest", r8(2147483647.0), S_OK, 2147483647 },
        { "largest + 0.4", r8(2147483647.4), S_OK, 2147483647 },
        { "beyond", r8(2147483648.0), DISP_E_OVERFLOW, 0 },
        { "smallest", r8(-2147483648.0), S_OK, INT32_MIN },
        { "below", r8(-2147483649.0), DISP_E_OVERFLOW, 0 },
        { "nan", r8(std::nan("")), DISP_E_OVERFLOW, 0 },
        { "currency 2.5", cy(25000), S_OK, 2 },
        { "currency 3.5", cy(35000), S_OK, 4 },
        { "currency -1.5", cy(-15000), S_OK, -2 },
        { "currency 1.2345", cy(12345), S_OK, 1 },
        { "i8 in range", i8(-5), S_OK, -5 },
        { "i8 too big", i8(int64_t(1) << 40), DISP_E_OVERFLOW, 0 },
        { "ui4 too big", ui4(0x80000000u), DISP_E_OVERFLOW, 0 },
        { "error", plain(VT_ERROR), DISP_E_TYPEMISMATCH, 0 },
    };
    for (const Int32Case& c : cases) {
        LONG value = 12345;
        EXPECT_EQ(VariantToInt32(c.value, &value), c.hr) << c.name;
        if (c.hr == S_OK) {
            EXPECT_EQ(value, c.expected) << c.name;
        } else {
            EXPECT_EQ(value, 12345) << c.name << ": result written on failure";
        }
    }
}

TEST_F(VariantTest, TextToInt32IsParsedWithoutLocale)
{
    setlocale(LC_NUMERIC, "C");
    const struct {
        const char16_t* text;
        HRESULT hr;
        LONG expected;
    } cases[] = {
        { u"42", S_OK, 42 },
        { u"  -17 ", S_OK, -17 },
        { u"+8", S_OK, 8 },
        { u"2.5", S_OK, 2 },
        { u"3.5", S_OK, 4 },
        { u"1e3", S_OK, 1000 },
        { u"&H1F", S_OK, 31 },
        { u"2147483648", DISP_E_OVERFLOW, 0 },
        { u"", DISP_E_TYPEMISMATCH, 0 },
        { u"12abc", DISP_E_TYPEMISMATCH, 0 },
        { u"--1", DISP_E_TYPEMISMATCH, 0 },
        { u"1,5", DISP_E_TYPEMISMATCH, 0 },
    };
    for (const auto& c : cases) {
        vl::Variant v = vl::Variant::fromString(c.text);
        int32_t value = -99;
        EXPECT_EQ(v.toInt32(value), c.hr) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
        if (c.hr == S_OK) {
            EXPECT_EQ(value, c.expected);
        }
    }
    // the null string is the empty text
    VARIANT nullText = plain(VT_BSTR);
    LONG value = 0;
    EXPECT_EQ(VariantToInt32(nullText, &value), DISP_E_TYPEMISMATCH);
}

TEST_F(VariantTest, ConversionToText)
{
    const struct {
        VARIANT value;
        USHORT flags;
        const char16_t* expected;
    } cases[] = {
        { i2(-7), 0, u"-7" },
        { r8(1.5), 0, u"1.5" },
        { r8(0.1), 0, u"0.1" },
        { r8(1e20), 0, u"1E+20" },
        { r8(123456789012345.0), 0, u"123456789012345" },
        { r8(1.0 / 3.0), 0, u"0.333333333333333" },
        { r4(0.1f), 0, u"0.1" },
        { cy(-12500), 0, u"-1.25" },
        { cy(30000), 0, u"3" },
        { boolean(VARIANT_TRUE), 0, u"-1" },
        { boolean(VARIANT_FALSE), 0, u"0" },
        { boolean(VARIANT_TRUE), VARIANT_ALPHABOOL, u"True" },
        { plain(VT_EMPTY), 0, u"" },
        { ui4(4000000000u), 0, u"4000000000" },
    };
    for (const auto& c : cases) {
        vl::Variant result;
        ASSERT_EQ(VariantChangeType(result.ptr(), &c.value, c.flags, VT_BSTR), S_OK);
        EXPECT_EQ(vl::bstrView(result->bstrVal), c.expected);
    }
}

TEST_F(VariantTest, ConversionToBoolAndDouble)
{
    bool b = false;
    EXPECT_EQ(vl::Variant::fromString(u"True").toBool(b), S_OK);
    EXPECT_TRUE(b);
    EXPECT_EQ(vl::Variant::fromString(u"false").toBool(b), S_OK);
    EXPECT_FALSE(b);
    EXPECT_EQ(vl::Variant::fromString(u"0.0").toBool(b), S_OK);
    EXPECT_FALSE(b);
    EXPECT_EQ(vl::Variant::fromInt32(3).toBool(b), S_OK);
    EXPECT_TRUE(b);
    EXPECT_EQ(vl::Variant::fromString(u"maybe").toBool(b), DISP_E_TYPEMISMATCH);
    double d = 0;
    EXPECT_EQ(vl::Variant::fromString(u"2.25").toDouble(d), S_OK);
    EXPECT_EQ(d, 2.25);
    EXPECT_EQ(vl::Variant(cy(12345)).toDouble(d), S_OK);
    EXPECT_DOUBLE_EQ(d, 1.2345);
}

TEST_F(VariantTest, ConversionInPlaceAndThroughReferences)
{
    VARIANT v = plain(VT_BSTR);
    v.bstrVal = SysAllocString(u"12");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 12);

    LONG target = 9;
    VARIANT byRef = plain(VT_I4 | VT_BYREF);
    byRef.plVal = &target;
    vl::Variant text;
    ASSERT_EQ(VariantChangeType(text.ptr(), &byRef, 0, VT_BSTR), S_OK);
    EXPECT_EQ(vl::bstrView(text->bstrVal), u"9");
}

TEST_F(VariantTest, ObjectsConvertThroughTheirValueProperty)
{
    auto object = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    object->answer = plain(VT_I4);
    object->answer.lVal = 31;
    vl::Variant v = vl::Variant::fromDispatch(object.get());
    int32_t value = 0;
    EXPECT_EQ(v.toInt32(value), S_OK);
    EXPECT_EQ(value, 31);
    ASSERT_EQ(object->calls.size(), 1u);
    EXPECT_EQ(object->calls[0].dispId, DISPID_VALUE);
    EXPECT_EQ(object->calls[0].flags, DISPATCH_PROPERTYGET);
    vl::Variant unused;
    EXPECT_EQ(VariantChangeType(unused.ptr(), &v.get(), VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(object->calls.size(), 1u);
}

TEST_F(VariantTest, ConversionFailuresLeaveTheTarget)
{
    vl::Variant target = vl::Variant::fromString(u"kept");
    VARIANT source = plain(VT_NULL);
    EXPECT_EQ(VariantChangeType(target.ptr(), &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(vl::bstrView(target->bstrVal), u"kept");
    source = plain(VT_I4);
    EXPECT_EQ(VariantChangeType(target.ptr(), &source, 0, VT_RECORD), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(target.ptr(), &source, 0, VT_VARIANT), DISP_E_BADVARTYPE);
    EXPECT_EQ(target.type(), VT_BSTR);
}

TEST_F(VariantTest, OwnerReleasesAndAdopts)
{
    vl::Variant v = vl::Variant::fromString(u"owned");
    VARIANT raw = v.release();
    EXPECT_EQ(v.type(), VT_EMPTY);
    vl::Variant back = vl::Variant::adopt(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    std::u16string text;
    EXPECT_EQ(back.toString(text), S_OK);
    EXPECT_EQ(text, u"owned");
    EXPECT_EQ(vl::Variant::fromString(u"")->bstrVal, nullptr);
}

} // namespace
