// Jet's TOP rewritten for SQLite, everything else passed through as written.

#include "JetDialect.h"

#include <gtest/gtest.h>

namespace
{

TEST(JetDialect, RewritesTopAndLeavesTheRestAlone)
{
    struct Case {
        const char* jet;
        const char* sqlite;
    };
    const Case cases[] = {
        { "select * from t", "select * from t" },
        { "SELECT TOP 5 * FROM t", "SELECT  * FROM t LIMIT 5" },
        { "select top 3 a from t order by a desc;", "select  a from t order by a desc LIMIT 3;" },
        { "SELECT DISTINCT TOP 2 [Dept No] FROM [Bas Employee] -- top\n",
            "SELECT DISTINCT  [Dept No] FROM [Bas Employee] LIMIT 2 -- top\n" },
        { "select * from (select top 1 a from t) x", "select * from (select  a from t LIMIT 1) x" },
        { "select top 2 * from (select top 1 a from t)", "select  * from (select  a from t LIMIT 1) LIMIT 2" },
        { "select top 1 a from t union all select b from u order by 1",
            "SELECT * FROM (select  a from t LIMIT 1) union all select b from u order by 1" },
        { "select a from t union select top 2 b from u order by 1",
            "select a from t union SELECT * FROM (select  b from u LIMIT 2) order by 1" },
        // Not a TOP clause: a column named top, text, names and comments that merely hold the words.
        { "select top from t", "select top from t" },
        { "select top, 1 from t", "select top, 1 from t" },
        { "select 'select top 5' from [select top 5]", "select 'select top 5' from [select top 5]" },
        { "select \"x\"\"top 5\" /* select top 5 */ from t", "select \"x\"\"top 5\" /* select top 5 */ from t" },
        { "select [Größe Ω], [a b] from [Tabelle ä]", "select [Größe Ω], [a b] from [Tabelle ä]" },
        // Unclosed quotes and brackets pass on, for SQLite to refuse with its own message.
        { "select top 1 'abc from t", "select top 1 'abc from t" },
        { "select top 1 [abc from t", "select top 1 [abc from t" },
        { "", "" },
    };
    for (const Case& c : cases) {
        std::string sqlite;
        vl::TextFault fault;
        EXPECT_TRUE(vl::translateJetCommand(c.jet, sqlite, fault)) << c.jet << ": " << fault.message;
        EXPECT_EQ(sqlite, c.sqlite) << c.jet;
    }
}

TEST(JetDialect, RefusesTopPercentWhereItStands)
{
    struct Case {
        const char* jet;
        std::size_t position;
    };
    const Case cases[] = {
        { "select top 10 percent * from t", 8 },
        { "SELECT DISTINCT TOP 1 PERCENT a FROM t", 17 },
        { "select * from (select  top 5 percent a from t)", 24 },
    };
    for (const Case& c : cases) {
        std::string sqlite;
        vl::TextFault fault;
        EXPECT_FALSE(vl::translateJetCommand(c.jet, sqlite, fault)) << c.jet;
        EXPECT_EQ(fault.message, "TOP n PERCENT is not supported; use TOP n") << c.jet;
        EXPECT_EQ(fault.position, c.position) << c.jet;
    }
}

} // namespace
