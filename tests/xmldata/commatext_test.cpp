#include "CommaText.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string text;
    Items items;
};

class CommaTextSplit : public testing::TestWithParam<SplitCase> { };

TEST_P(CommaTextSplit, GivesTheItems) { EXPECT_EQ(vl::splitCommaText(GetParam().text), GetParam().items); }

INSTANTIATE_TEST_SUITE_P(
    Rule, CommaTextSplit,
    testing::Values(SplitCase { "Plain", "A,B", { "A", "B" } }, SplitCase { "BlankAfterComma", "A, B", { "A", "B" } },
                    SplitCase { "EmptyBetween", "A,,B", { "A", "", "B" } },
                    SplitCase { "CommaLast", "A,", { "A", "" } },
                    SplitCase { "CommaThenBlankLast", "A, ", { "A" } },
                    SplitCase { "CommaFirst", ",A", { "", "A" } },
                    SplitCase { "OnlyCommas", ",,", { "", "", "" } },
                    SplitCase { "BlanksAroundEquals", "DeptNo = DeptNo", { "DeptNo", "=", "DeptNo" } },
                    SplitCase { "Empty", "", {} }, SplitCase { "OnlyBlanks", "   ", {} },
                    SplitCase { "ControlsSeparate", "A\tB\nC\x01" "D", { "A", "B", "C", "D" } },
                    SplitCase { "QuotedKeepsBlanks", "\"Dept No=Dept No\"", { "Dept No=Dept No" } },
                    SplitCase { "QuotedWithComma", "\"A,B\",C", { "A,B", "C" } },
                    SplitCase { "DoubledQuote", "\"say \"\"hi\"\"\"", { "say \"hi\"" } },
                    SplitCase { "EmptyQuoted", "\"\",A", { "", "A" } },
                    SplitCase { "TextRightAfterClosingQuote", "\"ab\"cd,e", { "ab", "cd", "e" } },
                    SplitCase { "UnclosedQuoteTakesTheRest", "A,\"b, c", { "A", "b, c" } },
                    SplitCase { "UnclosedQuoteWithDoubled", "\"x\"\"y", { "x\"y" } },
                    SplitCase { "QuoteInsideItem", "a\"b,c", { "a\"b", "c" } },
                    SplitCase { "NulIsNoSeparator", std::string("a\0b,c", 5), { std::string("a\0b", 3), "c" } },
                    // 0xA0 and GBK trail bytes are characters, not separators.
                    SplitCase { "HighBytesPassWhole", "\xB2\xBF\xC3\xC5,\xA0x", { "\xB2\xBF\xC3\xC5", "\xA0x" } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FieldList, EveryBlankGoesFirstOtherControlsStillSeparate)
{
    EXPECT_EQ(vl::splitFieldList("DeptNo, DeptName"), (Items { "DeptNo", "DeptName" }));
    EXPECT_EQ(vl::splitFieldList("Dept No"), (Items { "DeptNo" }));
    EXPECT_EQ(vl::splitFieldList("   "), Items {});
    EXPECT_EQ(vl::splitFieldList(" , "), (Items { "", "" }));
    EXPECT_EQ(vl::splitFieldList("A\tB"), (Items { "A", "B" }));
    EXPECT_EQ(vl::splitFieldList("\"Dept No\""), (Items { "DeptNo" }));
}

TEST(RelationItem, NameAndValueParts)
{
    struct {
        const char* item;
        const char* name;
        const char* value;
    } cases[] = {
        { "DeptNo=DeptNo", "DeptNo", "DeptNo" },
        { "A=X=Y", "A", "X=Y" },
        { "DeptNo", "", "eptNo" },
        { "=", "", "" },
        { "=B", "", "B" },
        { "A=", "A", "" },
        { "", "", "" },
        { "Dept No=Dept No", "Dept No", "Dept No" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vl::relationNamePart(c.item), c.name) << c.item;
        EXPECT_EQ(vl::relationValuePart(c.item), c.value) << c.item;
    }
}

} // namespace
