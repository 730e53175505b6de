#include "TestObjects.h"

#include <cstring>

namespace
{

uint32_t prefixOf(BSTR s)
{
    uint32_t count = 0;
    std::memcpy(&count, reinterpret_cast<const char*>(s) - 4, 4);
    return count;
}

TEST(BStrLayout, ByteCountBeforeAndZeroAfter)
{
    BSTR s = SysAllocString(u"Sheet1");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(prefixOf(s), 12u);
    EXPECT_EQ(SysStringLen(s), 6u);
    EXPECT_EQ(SysStringByteLen(s), 12u);
    EXPECT_EQ(s[6], u'\0');
    EXPECT_EQ(std::u16string_view(s, 6), u"Sheet1");
    SysFreeString(s);
}

TEST(BStrLayout, LengthKeepsEmbeddedZeros)
{
    const char16_t text[] = { u'a', 0, u'b' };
    BSTR s = SysAllocStringLen(text, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], u'b');
    EXPECT_EQ(s[3], 0);
    SysFreeString(s);
}

TEST(BStrLayout, NullTextGivesZeroedCharacters)
{
    BSTR s = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(s, nullptr);
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(s[i], 0);
    SysFreeString(s);
}

TEST(BStrLayout, OddByteLengthStaysTerminated)
{
    BSTR s = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "abc\0\0", 5), 0);
    SysFreeString(s);
}

TEST(BStrLayout, NullIsTheEmptyString)
{
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    EXPECT_TRUE(vl::bstrView(nullptr).empty());
}

TEST(BStrLayout, ReAllocReplacesTheString)
{
    BSTR s = SysAllocString(u"old");
    ASSERT_TRUE(SysReAllocString(&s, u"newer"));
    EXPECT_EQ(vl::bstrView(s), u"newer");
    SysFreeString(s);
}

TEST(BStrLayout, StaticStringHasTheSameLayout)
{
    static constexpr vl::StaticBStr sheet(u"Sheet1");
    EXPECT_EQ(SysStringLen(sheet.get()), 6u);
    EXPECT_EQ(prefixOf(sheet.get()), 12u);
    EXPECT_EQ(sheet.get()[6], 0);
    EXPECT_EQ(vl::bstrView(sheet.get()), u"Sheet1");
}

TEST(BStrOwner, EmptyTextIsNullAndCopiesAreDeep)
{
    EXPECT_EQ(vl::BStr(u"").get(), nullptr);
    vl::BStr a(u"text");
    vl::BStr b(a);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(b.view(), u"text");
}

TEST(BStrOwner, OutParameterFreesWhatItHeld)
{
    vl::BStr s(u"first");
    BSTR* out = &s;
    EXPECT_EQ(*out, nullptr);
    *out = SysAllocString(u"second");
    EXPECT_EQ(s.view(), u"second");
}

TEST(BStrOwner, ReleaseHandsOverOwnership)
{
    vl::BStr s(u"kept");
    BSTR raw = s.release();
    EXPECT_EQ(s.get(), nullptr);
    EXPECT_EQ(vl::bstrView(raw), u"kept");
    SysFreeString(raw);
}

} // namespace
