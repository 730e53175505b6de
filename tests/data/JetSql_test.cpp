// The command parser of Jet files and its typed filtering and ordering.

#include "JetSql.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

#include <deque>

namespace
{

using vl::encodeDayNumber;
using vl::ProviderCell;
using vl::ProviderColumn;

// A table held in vectors, in storage order.
class Table final : public vl::ProviderResult
{
public:
    std::vector<ProviderColumn> cols;
    std::vector<std::vector<ProviderCell>> rows;
    std::deque<std::string> texts;

    void column(std::string name, int type)
    {
        ProviderColumn c;
        c.name = std::move(name);
        c.type = type;
        cols.push_back(c);
    }
    ProviderCell text(std::string value)
    {
        texts.push_back(std::move(value));
        return vl::textCell(texts.back());
    }
    static ProviderCell integer(int64_t v) { return vl::integerCell(v); }
    static ProviderCell money(int64_t v) { return vl::currencyCell(v); }
    static ProviderCell date(double v) { return vl::dateCell(v); }

    const std::vector<ProviderColumn>& columns() const override { return cols; }
    std::size_t rowCount() const override { return rows.size(); }
    ProviderCell cell(std::size_t row, std::size_t column) const override { return rows[row][column]; }
};

std::shared_ptr<Table> people()
{
    auto t = std::make_shared<Table>();
    t->column("ID", vl::adInteger);
    t->column("Name", vl::adVarWChar);
    t->column("DeptNo", vl::adInteger);
    t->column("Salary", vl::adCurrency);
    t->column("Hired", vl::adDate);
    t->column("Married", vl::adBoolean);
    const ProviderCell null;
    t->rows.push_back({ Table::integer(1), t->text("bob"), Table::integer(10), Table::money(15000),
        Table::date(encodeDayNumber(2020, 1, 2)), Table::integer(-1) });
    t->rows.push_back(
        { Table::integer(2), t->text("Alice"), Table::integer(9), Table::money(125000), null, Table::integer(0) });
    t->rows.push_back({ Table::integer(3), null, Table::integer(10), null,
        Table::date(encodeDayNumber(2019, 5, 6, 8, 30)), Table::integer(0) });
    t->rows.push_back({ Table::integer(4), t->text("alice"), null, Table::money(-5),
        Table::date(encodeDayNumber(2021, 7, 1)), Table::integer(-1) });
    t->rows.push_back(
        { Table::integer(5), t->text("Carl"), Table::integer(9), Table::money(15000), null, Table::integer(0) });
    return t;
}

// The ID column of the rows a command selects, in order.
std::vector<int64_t> ids(const std::string& command)
{
    vl::jetsql::ParseResult parsed = vl::jetsql::parseSelect(command);
    EXPECT_TRUE(parsed) << command << ": " << parsed.message << " at " << parsed.position;
    if (!parsed)
        return {};
    auto result = vl::jetsql::runSelect(*parsed.statement, people());
    std::size_t idColumn = 0;
    while (idColumn < result->columns().size() && result->columns()[idColumn].name != "ID")
        ++idColumn;
    std::vector<int64_t> out;
    for (std::size_t r = 0; r < result->rowCount(); ++r)
        out.push_back(result->cell(r, idColumn).integer);
    return out;
}

std::string runFailure(const std::string& command)
{
    vl::jetsql::ParseResult parsed = vl::jetsql::parseSelect(command);
    if (!parsed)
        return "parse: " + parsed.message;
    try {
        vl::jetsql::runSelect(*parsed.statement, people());
    } catch (const EOleException& e) {
        return e.Message();
    }
    return "no failure";
}

TEST(JetSqlParse, AcceptsTheWindowsCommandsAndNameForms)
{
    for (const char* command :
        { "select * from Bas_Department order by deptno", "select * from Bas_Employee order by deptno",
            "SELECT [Dept No], x FROM [My Table] ORDER BY [Dept No] DESC, x ASC;", "select T.a from T where T.a = 1",
            "select a from T where not (a = 1 or b <> 'x''y') and c is not null", "select a from t where 5 < a",
            "select a from t where d >= #2020-01-02# and d < #7/1/2021 12:00:00#", "select a from t where a = -3.5" }) {
        vl::jetsql::ParseResult parsed = vl::jetsql::parseSelect(command);
        EXPECT_TRUE(parsed) << command << ": " << parsed.message << " at " << parsed.position;
    }
    auto parsed = vl::jetsql::parseSelect("SELECT [Dept No], x FROM [My Table] ORDER BY [Dept No] DESC, x");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed.statement->table.text, "My Table");
    ASSERT_EQ(parsed.statement->columns.size(), 2u);
    EXPECT_EQ(parsed.statement->columns[0].text, "Dept No");
    ASSERT_EQ(parsed.statement->orderBy.size(), 2u);
    EXPECT_TRUE(parsed.statement->orderBy[0].descending);
    EXPECT_FALSE(parsed.statement->orderBy[1].descending);
}

TEST(JetSqlParse, SyntaxErrorsNameWhereAndWhy)
{
    struct Case {
        const char* command;
        std::size_t position;
        const char* message;
    };
    const Case cases[] = {
        { "", 1, "the command must begin with SELECT" },
        { "update T set a = 1", 1, "the command must begin with SELECT" },
        { "select from T", 8, "a column name or '*' expected after SELECT" },
        { "select * T", 10, "FROM expected after the column list" },
        { "select a, from T", 11, "a column name expected after ','" },
        { "select * from", 14, "a table name expected after FROM" },
        { "select * from T order deptno", 23, "BY expected after ORDER" },
        { "select * from T order by", 25, "a column name expected in ORDER BY" },
        { "select * from T where", 22, "a condition expected: a column compared with a value" },
        { "select * from T where a", 24, "a comparison operator expected after the column name" },
        { "select * from T where a =", 26, "a value expected after the comparison operator" },
        { "select * from T where (a = 1", 29, "')' expected to close the '(' at position 23" },
        { "select * from T where a is 1", 28, "NULL expected after IS" },
        { "select * from T; drop table T", 18, "characters found after end of SQL statement" },
        { "select * from [T", 15, "a name in brackets has no closing ']'" },
        { "select * from T where a = 'x", 27, "a text literal has no closing quote" },
        { "select * from T where a = #2020-13-01#", 27, "'#2020-13-01#' is not a date" },
        { "select * from T where a ~ 1", 25, "unexpected character '~'" },
        { "select U.a from T", 8, "'U' is not the table of the statement" },
    };
    for (const Case& c : cases) {
        vl::jetsql::ParseResult parsed = vl::jetsql::parseSelect(c.command);
        EXPECT_FALSE(parsed) << c.command;
        EXPECT_EQ(parsed.message, c.message) << c.command;
        EXPECT_EQ(parsed.position, c.position) << c.command;
    }
}

TEST(JetSqlRun, OrderingIsTypedStableAndPutsNullsFirst)
{
    // Numbers as numbers (9 before 10), nulls first, equal keys in table order.
    EXPECT_EQ(ids("select * from T order by deptno"), (std::vector<int64_t> { 4, 2, 5, 1, 3 }));
    EXPECT_EQ(ids("select * from T order by deptno desc"), (std::vector<int64_t> { 1, 3, 2, 5, 4 }));
    // Text without regard to case; "Alice" and "alice" tie and keep table order.
    EXPECT_EQ(ids("select * from T order by name"), (std::vector<int64_t> { 3, 2, 4, 1, 5 }));
    EXPECT_EQ(ids("select * from T order by [NAME] desc"), (std::vector<int64_t> { 5, 1, 2, 4, 3 }));
    // Amounts exactly, dates by day number, several keys.
    EXPECT_EQ(ids("select * from T order by salary, id desc"), (std::vector<int64_t> { 3, 4, 5, 1, 2 }));
    EXPECT_EQ(ids("select * from T order by hired"), (std::vector<int64_t> { 2, 5, 3, 1, 4 }));
    EXPECT_EQ(ids("select * from T order by deptno, salary desc"), (std::vector<int64_t> { 4, 2, 5, 1, 3 }));
    EXPECT_EQ(ids("select * from T"), (std::vector<int64_t> { 1, 2, 3, 4, 5 }));
}

TEST(JetSqlRun, ConditionsCompareByTheColumnsType)
{
    EXPECT_EQ(ids("select * from T where deptno = 9"), (std::vector<int64_t> { 2, 5 }));
    EXPECT_EQ(ids("select * from T where 9 < deptno"), (std::vector<int64_t> { 1, 3 }));
    EXPECT_EQ(ids("select * from T where name = 'ALICE'"), (std::vector<int64_t> { 2, 4 }));
    EXPECT_EQ(ids("select * from T where name <> 'alice'"), (std::vector<int64_t> { 1, 5 })); // null is unknown
    EXPECT_EQ(ids("select * from T where salary = 1.5"), (std::vector<int64_t> { 1, 5 }));
    EXPECT_EQ(ids("select * from T where salary < 0"), (std::vector<int64_t> { 4 }));
    EXPECT_EQ(ids("select * from T where salary >= 12.5"), (std::vector<int64_t> { 2 }));
    EXPECT_EQ(ids("select * from T where hired >= #2020-01-02# and hired < #7/1/2021#"), (std::vector<int64_t> { 1 }));
    EXPECT_EQ(ids("select * from T where hired > '2019-05-06 08:00'"), (std::vector<int64_t> { 1, 3, 4 }));
    EXPECT_EQ(ids("select * from T where married = true"), (std::vector<int64_t> { 1, 4 }));
    EXPECT_EQ(ids("select * from T where married = 0 and not deptno = 10"), (std::vector<int64_t> { 2, 5 }));
    EXPECT_EQ(ids("select * from T where deptno = 9 or name is null"), (std::vector<int64_t> { 2, 3, 5 }));
    EXPECT_EQ(ids("select * from T where not (deptno = 9 or deptno = 10)"), (std::vector<int64_t> {}));
    EXPECT_EQ(ids("select * from T where deptno is null or salary = null"), (std::vector<int64_t> { 4 }));
    EXPECT_EQ(ids("select * from T where id > -1 and id <= 2"), (std::vector<int64_t> { 1, 2 }));
}

TEST(JetSqlRun, SelectsColumnsInTheirListedOrder)
{
    auto parsed = vl::jetsql::parseSelect("select name, ID, name from T where id = 2");
    ASSERT_TRUE(parsed);
    auto result = vl::jetsql::runSelect(*parsed.statement, people());
    ASSERT_EQ(result->columns().size(), 3u);
    EXPECT_EQ(result->columns()[0].name, "Name");
    EXPECT_EQ(result->columns()[1].type, vl::adInteger);
    ASSERT_EQ(result->rowCount(), 1u);
    EXPECT_EQ(result->cell(0, 0).bytes, "Alice");
    EXPECT_EQ(result->cell(0, 1).integer, 2);
    EXPECT_EQ(result->cell(0, 2).bytes, "Alice");
}

TEST(JetSqlRun, UnknownColumnsAndMismatchedLiteralsFailWithTheirPosition)
{
    EXPECT_EQ(runFailure("select nope from T"), "No column 'nope' in the table at position 8");
    EXPECT_EQ(runFailure("select * from T order by x"), "No column 'x' in the table at position 26");
    EXPECT_EQ(runFailure("select * from T where name = 5"),
        "Data type mismatch in criteria expression: column 'Name' cannot be compared with this value at position 30");
    EXPECT_EQ(runFailure("select * from T where hired = 'soon'"),
        "Data type mismatch in criteria expression: column 'Hired' cannot be compared with this value at position 31");
    EXPECT_EQ(runFailure("select * from T where deptno = 'x'"),
        "Data type mismatch in criteria expression: column 'DeptNo' cannot be compared with this value at position 32");
}

} // namespace

std::string repeated(const std::string& unit, std::size_t count)
{
    std::string out;
    out.reserve(unit.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        out += unit;
    return out;
}

TEST(JetSqlLimits, NestingBeyondTheLimitIsRefusedWhereItGoesTooDeep)
{
    const std::size_t limit = vl::jetsql::MaxConditionNesting;
    const std::string head = "select ID from people where ";
    struct Case {
        std::string unit, tail; // the condition: unit repeated, then tail
        std::size_t count;
        std::size_t position; // 0: accepted
    };
    const Case cases[] = {
        { "(", repeated(")", limit) , limit, 0 },
        { "not ", "", limit, 0 },
        { "(", repeated(")", limit + 1), limit + 1, head.size() + limit + 1 },
        { "not ", "", limit + 1, head.size() + 4 * limit + 1 },
        { "(not ", repeated(")", limit / 2 + 1), limit / 2 + 1, head.size() + 5 * (limit / 2) + 1 },
        { "(", "", 100000, head.size() + limit + 1 },
        { "not ", "", 100000, head.size() + 4 * limit + 1 },
        { "(ID=1 or ", repeated(")", 100000), 100000, head.size() + 9 * limit + 1 },
    };
    for (const Case& c : cases) {
        const std::string command = head + repeated(c.unit, c.count) + "ID=1" + c.tail;
        const vl::jetsql::ParseResult parsed = vl::jetsql::parseSelect(command);
        const std::string label = c.unit + " x" + std::to_string(c.count);
        if (c.position == 0) {
            EXPECT_TRUE(parsed) << label << ": " << parsed.message;
            continue;
        }
        EXPECT_EQ(parsed.message, "conditions nested more than " + std::to_string(limit) + " deep") << label;
        EXPECT_EQ(parsed.position, c.position) << label;
    }
    // Accepted at the limit, and run: an even count of nots keeps the comparison's sense.
    EXPECT_EQ(ids("select ID from people where " + repeated("not ", limit) + "ID=2"), std::vector<int64_t>({ 2 }));
    EXPECT_EQ(ids("select ID from people where " + repeated("(", limit) + "ID=3" + repeated(")", limit)),
        std::vector<int64_t>({ 3 }));
}

TEST(JetSqlLimits, LongFlatChainsRunAndKeepTheirLogic)
{
    // About 100 KB each: one node of many operands, not a tree as deep as the chain is long.
    struct Case {
        std::string command;
        std::vector<int64_t> expected;
    };
    const Case cases[] = {
        { "select ID from people where " + repeated("ID=9 or ", 12000) + "ID=4", { 4 } },
        { "select ID from people where " + repeated("ID>0 and ", 11000) + "ID<3", { 1, 2 } },
        { "select ID from people where " + repeated("ID=9 or ID=8 and ", 6000) + "ID=8 or DeptNo is null", { 4 } },
        // Unknown (a null) in a chain of and: false wins over unknown, unknown leaves the row out.
        { "select ID from people where " + repeated("DeptNo>0 and ", 8000) + "ID<=5", { 1, 2, 3, 5 } },
        { "select ID from people where " + repeated("(ID=1 or ID=5) and ", 5000) + "not ID=1", { 5 } },
    };
    for (const Case& c : cases) {
        EXPECT_GT(c.command.size(), 90000u);
        EXPECT_EQ(ids(c.command), c.expected) << c.command.substr(0, 60);
    }
}
