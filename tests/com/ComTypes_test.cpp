#include "TestObjects.h"

namespace
{

constexpr GUID sample = { 0x9CD362AE, 0x2503, 0x42F5, { 0x80, 0x53, 0x38, 0x9B, 0xEF, 0xBA, 0x29, 0x3D } };

TEST(Guid, PrintsBracedUpperCase)
{
    EXPECT_EQ(vl::guidToString(sample), "{9CD362AE-2503-42F5-8053-389BEFBA293D}");
    EXPECT_EQ(vl::guidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(vl::guidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
}

TEST(Guid, ParsesEitherCaseAndRoundTrips)
{
    GUID parsed {};
    ASSERT_TRUE(vl::parseGuid("{9cd362ae-2503-42f5-8053-389befba293d}", parsed));
    EXPECT_EQ(parsed, sample);
    ASSERT_TRUE(vl::parseGuid(vl::guidToString(IID_IClassFactory), parsed));
    EXPECT_EQ(parsed, IID_IClassFactory);
}

TEST(Guid, RefusesMalformedText)
{
    const char* bad[] = {
        "",
        "9CD362AE-2503-42F5-8053-389BEFBA293D", // no braces
        "{9CD362AE-2503-42F5-8053-389BEFBA293D", // no closing brace
        "{9CD362AE-2503-42F5-8053-389BEFBA293DA}", // one digit too many
        "{9CD362AE-2503-42F5-8053-389BEFBA293}", // one too few
        "{9CD362AE_2503-42F5-8053-389BEFBA293D}", // wrong separator
        "{9CD362AG-2503-42F5-8053-389BEFBA293D}", // not hexadecimal
        "{9CD362AE-2503-42F58053-389BEFBA293D-}", // separator misplaced
        " {9CD362AE-2503-42F5-8053-389BEFBA293D}", // leading blank
    };
    for (const char* text : bad) {
        GUID parsed = sample;
        EXPECT_FALSE(vl::parseGuid(text, parsed)) << text;
        EXPECT_EQ(parsed, sample) << "changed by " << text;
    }
}

TEST(Guid, WideFunctionsMatchTheNarrowOnes)
{
    OLECHAR buffer[39];
    EXPECT_EQ(StringFromGUID2(sample, buffer, 38), 0);
    ASSERT_EQ(StringFromGUID2(sample, buffer, 39), 39);
    EXPECT_EQ(std::u16string(buffer), u"{9CD362AE-2503-42F5-8053-389BEFBA293D}");
    CLSID clsid {};
    EXPECT_EQ(CLSIDFromString(buffer, &clsid), S_OK);
    EXPECT_EQ(clsid, sample);
    EXPECT_EQ(CLSIDFromString(u"{nonsense}", &clsid), E_INVALIDARG);
    EXPECT_EQ(clsid, GUID_NULL);
    EXPECT_TRUE(IsEqualGUID(IID_IUnknown, IID_IUnknown));
    EXPECT_FALSE(IsEqualGUID(IID_IUnknown, IID_IDispatch));
}

TEST(StatusCodes, Win32CodesMapIntoTheWin32Facility)
{
    EXPECT_EQ(uint32_t(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)), 0x8007007Eu);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_EQ(HRESULT_FACILITY(E_INVALIDARG), 7u);
}

TEST(Locale, CLocaleIsUsEnglish)
{
    setlocale(LC_CTYPE, "C");
    EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
}

} // namespace
