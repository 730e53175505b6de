#include "Text.h"

#include <clocale>
#include <gtest/gtest.h>

TEST(CodePage, CLocaleCountsAsUtf8)
{
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(vl::narrowCodePage(), "UTF-8");
    std::setlocale(LC_ALL, "C.UTF-8");
}

TEST(CodePage, Utf8RoundTrip)
{
    const std::string text = "Abc \xE9\x83\xA8\xE9\x97\xA8 \xF0\x9F\x98\x80"; // "部门" and an emoji
    std::u16string wide = vl::toWide(text, "UTF-8");
    EXPECT_EQ(wide, u"Abc 部门 😀");
    EXPECT_EQ(vl::toNarrow(wide, "UTF-8"), text);
}

TEST(CodePage, GbkRoundTripAndUnrepresentableCharacters)
{
    const std::u16string wide = u"销售部";
    const std::string gbk = vl::toNarrow(wide, "GBK");
    EXPECT_EQ(gbk, "\xCF\xFA\xCA\xDB\xB2\xBF");
    EXPECT_EQ(vl::toWide(gbk, "GBK"), wide);
    // Characters GBK cannot hold become the default character, one per character.
    EXPECT_EQ(vl::toNarrow(u"a\u0E01b😀c", "GBK"), "a?b?c");
    EXPECT_EQ(vl::toNarrow(u"x\u20ACy", "ISO-8859-1"), "x?y");
}

TEST(CodePage, LoneSurrogateBecomesDefaultCharacter)
{
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    EXPECT_EQ(vl::toNarrow(lone, "UTF-8"), "a?b");
    EXPECT_EQ(vl::toNarrow(lone, "GBK"), "a?b");
}

TEST(CodePage, DoubleByteCharactersAreWalkedWhole)
{
    // "表\" : 0xB1 0xED then a real backslash; "\x95\x5C" is a GBK character whose second byte is "\".
    const std::string text = "a\x95\x5C" "b";
    EXPECT_EQ(vl::charLengthAt(text, 1, "GBK"), 2u);
    EXPECT_TRUE(vl::isTrailByteAt(text, 2, "GBK"));
    EXPECT_FALSE(vl::isTrailByteAt(text, 3, "GBK"));
    EXPECT_EQ(vl::lastCharOffset("x\xD6\xD0", "GBK"), 1u);
    EXPECT_EQ(vl::lastCharOffset("x\xE4\xB8\xAD", "UTF-8"), 1u);
    EXPECT_TRUE(vl::isMultiByteCodePage("GBK"));
    EXPECT_FALSE(vl::isMultiByteCodePage("ISO-8859-1"));
}

TEST(LetterCase, AsciiAndBeyond)
{
    EXPECT_EQ(vl::upperCase("deptNo", "UTF-8"), "DEPTNO");
    EXPECT_TRUE(vl::sameText("DeptNo", "deptno", "UTF-8"));
    EXPECT_FALSE(vl::sameText("DeptNo", "DeptN0", "UTF-8"));
    EXPECT_TRUE(vl::sameText("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", "UTF-8")); // été / ÉTÉ
    EXPECT_TRUE(vl::sameText("\xE9t\xE9", "\xC9T\xC9", "ISO-8859-1"));
    EXPECT_EQ(vl::upperCase("\xD6\xD0" "a", "GBK"), "\xD6\xD0" "A");
}
