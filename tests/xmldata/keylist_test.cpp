#include "KeyList.h"

#include <clocale>
#include <gtest/gtest.h>

namespace {

vl::KeyList listOf(std::initializer_list<const char*> keys)
{
    vl::KeyList list;
    for (const char* key : keys)
        list.append(key);
    return list;
}

TEST(KeyList, FindsTheLastEqualEntryRegardlessOfCase)
{
    const vl::KeyList list = listOf({ "10", "abc", "20", "ABC", "10", "x\ty" });
    EXPECT_EQ(list.find("10"), 4);
    EXPECT_EQ(list.find("Abc"), 3);
    EXPECT_EQ(list.find("20"), 2);
    EXPECT_EQ(list.find("X\tY"), 5);
    EXPECT_EQ(list.find("10.0"), -1);
    EXPECT_EQ(list.find(""), -1);
    EXPECT_EQ(list.find("1"), -1);
}

TEST(KeyList, EmptyKeysAndEmptyList)
{
    EXPECT_EQ(vl::KeyList().find(""), -1);
    EXPECT_EQ(listOf({ "", "a", "" }).find(""), 2);
}

TEST(KeyList, IndexIsDroppedByEveryChange)
{
    vl::KeyList list = listOf({ "a" });
    EXPECT_FALSE(list.hasIndex());
    EXPECT_EQ(list.find("A"), 0);
    EXPECT_TRUE(list.hasIndex());
    list.append("A");
    EXPECT_FALSE(list.hasIndex());
    EXPECT_EQ(list.find("a"), 1);
    list.clear();
    EXPECT_FALSE(list.hasIndex());
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.find("a"), -1);
    list.append("b");
    EXPECT_EQ(list.find("B"), 0);
}

TEST(KeyList, ManyEntriesWithCollidingPrefixes)
{
    vl::KeyList list;
    for (int i = 0; i < 5000; ++i)
        list.append("key" + std::to_string(i % 2500));
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(list.find("KEY" + std::to_string(i)), 2500 + i);
    EXPECT_EQ(list.find("key2500"), -1);
}

class KeyListLocale : public testing::Test {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C.UTF-8"); }
};

TEST_F(KeyListLocale, FoldsBeyondAsciiByTheNarrowCodePage)
{
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    vl::KeyList list = listOf({ "\xC3\xA9t\xC3\xA9", "Stra\xC3\x9F" "e" }); // été, Straße
    EXPECT_EQ(list.find("\xC3\x89T\xC3\x89"), 0); // ÉTÉ
    EXPECT_EQ(list.find("\xC3\xA9T\xC3\xA9"), 0);
    EXPECT_EQ(list.find("STRA\xC3\x9F" "E"), 1);
    EXPECT_EQ(list.find("\xC3\xA8t\xC3\xA8"), -1); // ètè

    // The same bytes in GBK are two double-byte characters, folded by GBK's rules.
    if (!std::setlocale(LC_ALL, "zh_CN.gbk"))
        GTEST_SKIP() << "zh_CN.gbk locale missing";
    list = listOf({ "\xB2\xBF" "a", "\xA3\xE1" }); // 部a, fullwidth a
    EXPECT_EQ(list.find("\xB2\xBF" "A"), 0);
    EXPECT_EQ(list.find("\xA3\xC1"), 1); // fullwidth A
}

} // namespace
