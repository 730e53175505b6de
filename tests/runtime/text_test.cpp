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

namespace {

// One code point at a time, as the conversions did before they took ASCII in blocks.
std::u16string referenceUtf8ToUtf16(const std::string& text)
{
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const unsigned c = p[i];
        const int len = c < 0x80 ? 1 : c > 0xF4 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + static_cast<size_t>(len) <= text.size();
        for (int k = 1; ok && k < len; ++k) {
            ok = (p[i + static_cast<size_t>(k)] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + static_cast<size_t>(k)] & 0x3F);
        }
        ok = ok && !(len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)))
             && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF));
        if (!ok) {
            out += u'\uFFFD';
            ++i;
        } else {
            if (cp >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(cp);
            }
            i += static_cast<size_t>(len);
        }
    }
    return out;
}

} // namespace

TEST(CodePage, BlockConversionsMatchOneCharacterAtATime)
{
    // ASCII runs of every length around the block size, broken by two-, three- and four-byte
    // characters, a bad byte and a cut sequence, at every offset.
    // U+0100 and U+540D ("名") have their high bits only in the upper byte of the wide unit.
    const std::string breaks[] = {"\xC3\xA9", "\xC4\x80", "\xE5\x90\x8D", "\xE9\x83\xA8", "\xF0\x9F\x98\x80",
                                  "\xFF", "\xE9\x83", "\x80"};
    unsigned seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int pieces = 1 + static_cast<int>(next() % 5);
        for (int k = 0; k < pieces; ++k) {
            text.append(next() % 40, static_cast<char>('a' + next() % 26));
            if (next() % 4 != 0)
                text += breaks[next() % std::size(breaks)];
        }
        const std::u16string wide = vl::utf8ToUtf16(text);
        ASSERT_EQ(wide, referenceUtf8ToUtf16(text)) << text;
        // Back again and forth once more: the same wide text.
        const std::string back = vl::utf16ToUtf8(wide);
        ASSERT_EQ(vl::utf8ToUtf16(back), wide) << text;
        if (wide.find(u'\uFFFD') == std::u16string::npos) {
            ASSERT_EQ(back, text);
        }
    }
    // A long text of only non-ASCII characters grows the narrow result past its first size.
    std::u16string chinese(100000, u'\u90E8');
    const std::string narrow = vl::utf16ToUtf8(chinese);
    ASSERT_EQ(narrow.size(), 300000u);
    EXPECT_EQ(narrow.substr(299997), "\xE9\x83\xA8");
    EXPECT_EQ(vl::utf8ToUtf16(narrow), chinese);
}
