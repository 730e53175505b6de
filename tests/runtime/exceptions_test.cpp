#include "Exceptions.h"

#include <gtest/gtest.h>

#include <clocale>

TEST(FullStopRule, AppendedOnlyAfterCharactersAboveFullStop)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"Cannot open", "Cannot open."}, {"Done.", "Done."},  {"Trailing ", "Trailing "},
        {"Bang!", "Bang!"},              {"(x)", "(x)"},      {"Comma,", "Comma,"},
        {"Code 42", "Code 42."},         {"Ask:", "Ask:."},   {"Why?", "Why?."},
        {"", ""},                        {"Slash/", "Slash/."}, {"Dash-", "Dash-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vl::messageWithFullStop(c.in), c.out) << '"' << c.in << '"';
}

TEST(FullStopRule, DoubleByteCharacterCountsAsOne)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(vl::messageWithFullStop("\xE6\x95\xB0\xE6\x8D\xAE"), "\xE6\x95\xB0\xE6\x8D\xAE."); // 数据
    if (std::setlocale(LC_ALL, "zh_CN.GBK")) {
        // The last character's lead byte decides, not its trailing byte "\".
        EXPECT_EQ(vl::messageWithFullStop("\x95\x5C"), "\x95\x5C.");
        std::setlocale(LC_ALL, "C.UTF-8");
    }
}
