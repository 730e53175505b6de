// SQL over Jet files: SQLite's engine over the virtual tables, against the same queries on the
// sample's SQLite twin, over names with blanks and non-ASCII letters, long values and an ACE header;
// typed comparisons, look-ups, TOP, and the refusals.

#include "Fixture.h"
#include "JetFixture.h"
#include "JetWriter.h"
#include "MdbProvider.h"
#include "Provider.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace
{

using vl::encodeDayNumber;
using K = vl::ProviderCell::Kind;

std::string connectionTo(const std::string& path)
{
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

std::string failure(vl::ProviderConnection& connection, const std::string& command)
{
    try {
        connection.execute(command);
    } catch (const EOleException& e) {
        return e.Message();
    }
    return "no failure";
}

// Every field's value text of a command, a row of field names first, as the window reads them.
std::vector<std::vector<std::string>> valueTexts(const std::string& connectionString, const std::string& command)
{
    TComponent owner(nullptr);
    TADODataSet* set = vl::test::connectDataSet(owner, connectionString).dataSet;
    set->SetCommandText(command);
    set->Open();
    std::vector<std::vector<std::string>> rows(1);
    for (int i = 0; i < set->FieldCount(); ++i)
        rows[0].push_back(set->FieldAt(i)->FieldName());
    for (set->First(); !set->AtEnd(); set->Next()) {
        rows.emplace_back();
        for (int i = 0; i < set->FieldCount(); ++i)
            rows.back().push_back(set->FieldAt(i)->ValueText());
    }
    return rows;
}

TEST(JetSampleQueries, JoinsGroupsSubqueriesAndUnionsReadLikeTheSqliteSample)
{
    const std::string jet = std::string(VL_RUN_DIR) + "/test.mdb";
    const std::string sqlite = std::string(VL_RUN_DIR) + "/sqlite/test.mdb";
    if (!std::filesystem::exists(jet) || !std::filesystem::exists(sqlite))
        GTEST_SKIP() << "the samples are not built";
    struct Case {
        const char* jet;
        const char* sqlite; // null: the same text
        std::size_t rows; // besides the names
    };
    const Case cases[] = {
        { "select e.EmpNo, e.EmpName, d.DeptName, e.Salary, e.HireDate, e.Married from Bas_Employee e "
          "join Bas_Department d on d.DeptNo = e.DeptNo order by e.ID",
            nullptr, 35 },
        { "select d.DeptName, e.EmpNo from Bas_Department d left join Bas_Employee e on e.DeptNo = d.DeptNo "
          "order by d.Ord, d.DeptNo, e.EmpNo",
            nullptr, 37 },
        { "select DeptNo, count(*) as N, min(EmpNo) as First, max(Birthday) as Youngest from Bas_Employee "
          "group by DeptNo having count(*) > 1 order by DeptNo",
            nullptr, 10 },
        { "select EmpNo, Salary from Bas_Employee where DeptNo in (select DeptNo from Bas_Department where "
          "ParentNo = 3) order by EmpNo",
            nullptr, 11 },
        { "select EmpNo, (select DeptName from Bas_Department d where d.DeptNo = e.DeptNo) as Dept from "
          "Bas_Employee e where Salary between 5000 and 10000 order by Salary desc, EmpNo",
            nullptr, 17 },
        { "select DeptNo from Bas_Department union select DeptNo from Bas_Employee order by 1", nullptr, 13 },
        { "select EmpNo, case when Married then 'yes' else 'no' end as M, length(Memo) as L from Bas_Employee "
          "where EmpNo like '001%' or Sex is null order by length(EmpName) desc, EmpNo",
            nullptr, 10 },
        { "select top 5 [EmpNo], [Salary] AS Pay from [Bas_Employee] order by Salary desc, EmpNo",
            "select EmpNo, Salary AS Pay from Bas_Employee order by Salary desc, EmpNo limit 5", 5 },
    };
    for (const Case& c : cases) {
        const auto fromJet = valueTexts(connectionTo(jet), c.jet);
        const auto fromSqlite = valueTexts(connectionTo(sqlite), c.sqlite ? c.sqlite : c.jet);
        EXPECT_EQ(fromJet.size(), c.rows + 1) << c.jet;
        EXPECT_EQ(fromJet, fromSqlite) << c.jet;
    }
}

// A table with names Jet allows and SQL must quote, long values and every kind of comparison.
class JetQuery : public testing::Test
{
protected:
    void SetUp() override
    {
        using F = vl::jet::FieldType;
        using V = vl::jet::Value;
        vl::jet::TableDefinition people;
        people.name = "Bas Employee";
        people.columns = { { "Asset No", F::LongInteger }, { "Name", F::Text, 20 }, { "Größe", F::Integer },
            { "Salary", F::Currency }, { "Hired", F::DateTime }, { "Married", F::Boolean }, { "备注", F::Memo },
            { "Bild", F::OleObject } };
        m_photo = vl::test::longText(9000, std::string("\x00\xff\x89PNG", 5));
        const V null = V::null();
        people.rows = {
            { V::ofInteger(1), V::ofText("bob"), V::ofInteger(10), V::ofCurrency(15000),
                V::ofDate(encodeDayNumber(2020, 1, 2)), V::ofInteger(-1), V::ofText(vl::test::longText(6000, "备注n")),
                V::ofBytes(m_photo) },
            { V::ofInteger(2), V::ofText("Alice"), V::ofInteger(9), V::ofCurrency(125000), null, V::ofInteger(0),
                V::ofText("short"), null },
            { V::ofInteger(3), null, V::ofInteger(10), null, V::ofDate(encodeDayNumber(2019, 5, 6, 8, 30)),
                V::ofInteger(0), null, V::ofBytes("x") },
            { V::ofInteger(4), V::ofText("alice"), null, V::ofCurrency(-5), V::ofDate(encodeDayNumber(2021, 7, 1)),
                V::ofInteger(-1), null, null },
            { V::ofInteger(5), V::ofText("Größe Ω"), V::ofInteger(9), V::ofCurrency(INT64_MAX), null, V::ofInteger(0),
                null, null },
        };
        vl::jet::TableDefinition departments;
        departments.name = "Abteilung Ä";
        departments.columns = { { "Nr", F::Integer }, { "Name", F::Text, 20 } };
        departments.rows = { { V::ofInteger(9), V::ofText("Nine") }, { V::ofInteger(10), V::ofText("Ten") } };
        m_bytes = vl::jet::buildDatabase({ people, departments });
        m_connection = vl::openJetDatabaseBytes(m_bytes, "people.mdb");
    }

    // The first column of a command's rows, as integers.
    std::vector<int64_t> ids(const std::string& command)
    {
        std::vector<int64_t> out;
        auto result = m_connection->execute(command);
        for (std::size_t r = 0; r < result->rowCount(); ++r)
            out.push_back(result->cell(r, 0).integer);
        return out;
    }

    std::string m_photo;
    std::string m_bytes;
    std::unique_ptr<vl::ProviderConnection> m_connection;
};

TEST_F(JetQuery, ConditionsAndOrderingCompareAsJetDoes)
{
    struct Case {
        const char* where; // after "select [Asset No] from [Bas Employee] "
        std::vector<int64_t> ids;
    };
    const Case cases[] = {
        { "order by [Größe], [Asset No]", { 4, 2, 5, 1, 3 } }, // nulls first, then by value
        { "order by [Größe] desc, [Asset No]", { 1, 3, 2, 5, 4 } },
        { "order by Name, [Asset No]", { 3, 2, 4, 1, 5 } }, // texts without regard to case
        { "order by Salary, [Asset No]", { 3, 4, 1, 2, 5 } }, // amounts by value
        { "order by Hired, [Asset No]", { 2, 5, 3, 1, 4 } }, // dates by day number
        { "where Name = 'ALICE'", { 2, 4 } },
        { "where Name <> 'alice' order by 1", { 1, 5 } }, // a null is unknown
        { "where Name like 'a%' order by 1", { 2, 4 } },
        { "where Name = 'größe ω'", {} }, // only ASCII letters fold
        { "where Salary = 1.5 order by 1", { 1 } },
        { "where Salary < 0", { 4 } },
        { "where Salary >= 12.5", { 2, 5 } },
        { "where Salary > 900000000000000", { 5 } }, // beyond 15 digits: the exact text, compared as a number
        { "where Hired >= '2020-01-02' and Hired < '2021-07-01'", { 1 } }, // dates are ISO texts in SQL
        { "where Hired > '2019-05-06 08:00' order by 1", { 1, 3, 4 } },
        { "where strftime('%Y', Hired) = '2019'", { 3 } },
        { "where Married = true order by 1", { 1, 4 } },
        { "where Married order by 1", { 1, 4 } },
        { "where not Married and [Größe] <> 10 order by 1", { 2, 5 } },
        { "where [Größe] = 9 or Name is null order by 1", { 2, 3, 5 } },
        { "where [Größe] in (9, 11) and [Asset No] between 1 and 4", { 2 } },
        { "where [Asset No] = 3.0", { 3 } },
        { "where [Asset No] = '3'", { 3 } },
        { "where length([备注]) = 18000", { 1 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ids(std::string("select [Asset No] from [Bas Employee] ") + c.where), c.ids) << c.where;
}

TEST_F(JetQuery, ColumnsFromTablesKeepTheirTypesAndValuesExactly)
{
    auto r = m_connection->execute("select [Asset No] AS AssetNo, [Größe], [备注], Bild, Salary, Hired, Married, "
                                   "Salary * 2 as Twice from [Bas Employee] order by [Asset No]");
    const auto& columns = r->columns();
    ASSERT_EQ(columns.size(), 8u);
    struct Expected {
        const char* name;
        int type;
        int size;
    };
    const Expected expected[]
        = { { "AssetNo", vl::adInteger, 4 }, { "Größe", vl::adSmallInt, 2 }, { "备注", vl::adLongVarWChar, 536870910 },
              { "Bild", vl::adLongVarBinary, 1073741823 }, { "Salary", vl::adCurrency, 8 }, { "Hired", vl::adDate, 8 },
              { "Married", vl::adBoolean, 2 }, { "Twice", vl::adDouble, 8 } };
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].name, expected[i].name);
        EXPECT_EQ(columns[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(columns[i].definedSize, expected[i].size) << expected[i].name;
    }
    ASSERT_EQ(r->rowCount(), 5u);
    EXPECT_EQ(r->cell(0, 2).bytes, vl::test::longText(6000, "备注n")); // a chain of long-value pages
    EXPECT_EQ(r->cell(0, 3).bytes, m_photo);
    EXPECT_EQ(r->cell(2, 3).bytes, "x");
    EXPECT_EQ(r->cell(0, 4).kind, K::Currency);
    EXPECT_EQ(r->cell(0, 4).integer, 15000);
    EXPECT_EQ(r->cell(3, 4).integer, -5);
    EXPECT_EQ(r->cell(4, 4).integer, INT64_MAX); // through SQL as its exact text
    EXPECT_EQ(r->cell(0, 5).kind, K::Date);
    EXPECT_EQ(r->cell(0, 5).real, encodeDayNumber(2020, 1, 2));
    EXPECT_EQ(r->cell(0, 6).integer, -1);
    EXPECT_EQ(r->cell(1, 6).integer, 0);
    EXPECT_EQ(r->cell(0, 7).real, 3.0);
    // A union keeps the first part's column and its exact amounts, whatever the other parts give.
    auto u = m_connection->execute("select Salary from [Bas Employee] where [Asset No] = 5 union all select 2 "
                                   "union all select '0.0001' union all select 1.25");
    ASSERT_EQ(u->rowCount(), 4u);
    EXPECT_EQ(u->columns()[0].type, vl::adCurrency);
    EXPECT_EQ(u->cell(0, 0).integer, INT64_MAX);
    EXPECT_EQ(u->cell(1, 0).integer, 20000);
    EXPECT_EQ(u->cell(2, 0).integer, 1);
    EXPECT_EQ(u->cell(3, 0).integer, 12500);
}

TEST_F(JetQuery, JoinsLookUpTheInnerTableByEquality)
{
    // Numbers, texts without regard to case, a self-join, and no match.
    EXPECT_EQ(ids("select e.[Asset No] from [Bas Employee] e join [Abteilung Ä] a on a.Nr = e.[Größe] "
                  "where a.Name = 'NINE' order by 1"),
        (std::vector<int64_t> { 2, 5 }));
    EXPECT_EQ(ids("select a.[Asset No] from [Bas Employee] a join [Bas Employee] b on b.Name = a.Name "
                  "order by 1, b.[Asset No]"),
        (std::vector<int64_t> { 1, 2, 2, 4, 4, 5 }));
    EXPECT_EQ(ids("select e.[Asset No] from [Bas Employee] e left join [Abteilung Ä] a on a.Nr = e.[Größe] "
                  "where a.Nr is null order by 1"),
        (std::vector<int64_t> { 4 }));
    EXPECT_EQ(ids("select count(*) from [Abteilung Ä] a, [Bas Employee] e where e.[Größe] = a.Nr"),
        (std::vector<int64_t> { 4 }));
    EXPECT_EQ(ids("select [Asset No] from [Bas Employee] where Name = 'bob' or [Asset No] = 4 order by 1"),
        (std::vector<int64_t> { 1, 4 }));
}

TEST_F(JetQuery, TopLimitsAndPercentIsRefused)
{
    EXPECT_EQ(ids("select top 2 [Asset No] from [Bas Employee] order by Salary desc"), (std::vector<int64_t> { 5, 2 }));
    EXPECT_EQ(ids("select distinct top 2 [Größe] from [Bas Employee] where [Größe] is not null order by 1"),
        (std::vector<int64_t> { 9, 10 }));
    EXPECT_EQ(failure(*m_connection, "select top 50 percent * from [Bas Employee]"),
        "Syntax error in the command text at position 8: TOP n PERCENT is not supported; use TOP n");
}

TEST_F(JetQuery, WritesAndForeignStatementsAreRefusedWithSqlitesMessage)
{
    struct Case {
        const char* command;
        const char* message;
    };
    const Case cases[] = {
        { "delete from [Bas Employee]", "Invalid command text: table Bas Employee may not be modified" },
        { "update [Bas Employee] set Name = 'x'", "Invalid command text: table Bas Employee may not be modified" },
        { "insert into [Abteilung Ä] values (1, 'x')", "Invalid command text: not authorized" },
        { "create table t (a)", "Invalid command text: not authorized" },
        { "attach 'other.db' as other", "Invalid command text: not authorized" },
        { "pragma table_info([Bas Employee])", "Invalid command text: not authorized" },
        { "drop table [Bas Employee]", "Invalid command text: not authorized" },
        { "select * from Missing", "The input table or query 'Missing' cannot be found" },
        { "select Nope from [Bas Employee]", "Invalid command text at position 8: no such column: Nope" },
        { "select top 1 Nope from [Bas Employee]", "Invalid command text at position 14: no such column: Nope" },
        { "select * from [Bas Employee] where Hired > #2020-01-01#",
            "Invalid command text at position 44: near \"#2020\": syntax error" },
        { "select 1; select 2", "Characters found after end of SQL statement" },
        { "   ", "Command text was not set for the command object" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(failure(*m_connection, c.command), c.message) << c.command;
    // The connection reads on after every refusal.
    EXPECT_EQ(ids("select count(*) from [Bas Employee]"), (std::vector<int64_t> { 5 }));
}

TEST_F(JetQuery, RunawayCommandsStopAtTheLimits)
{
    auto limited = vl::openJetDatabaseBytes(m_bytes, "people.mdb", { 1'000'000, 1000 });
    struct Case {
        const char* command;
        const char* message;
    };
    const Case cases[] = {
        { "with recursive c(x) as (select 1 union all select x + 1 from c) select count(*) from c",
            "The command takes more than 1000000 steps of the SQL engine" },
        { "select count(*) from [Bas Employee] a, [Bas Employee] b, [Bas Employee] c, [Bas Employee] d, "
          "[Bas Employee] e, [Bas Employee] f, [Bas Employee] g, [Bas Employee] h, [Bas Employee] i",
            "The command takes more than 1000000 steps of the SQL engine" },
        { "with recursive c(x) as (select 1 union all select x + 1 from c) select x from c",
            "The command's result has more than 1000 rows" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(failure(*limited, c.command), c.message) << c.command;
    // Each command counts afresh.
    EXPECT_EQ(limited->execute("select * from [Bas Employee] a, [Bas Employee] b")->rowCount(), 25u);
}

TEST_F(JetQuery, AnAceHeaderReadsTheSameAndADamagedTableIsNamedWhenUsed)
{
    std::string ace = m_bytes;
    std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
    ace[0x14] = 0x02; // Access 2007
    auto connection = vl::openJetDatabaseBytes(ace, "people.accdb");
    auto r = connection->execute("select Name from [Abteilung Ä] order by Nr desc");
    ASSERT_EQ(r->rowCount(), 2u);
    EXPECT_EQ(r->cell(0, 0).bytes, "Ten");

    // The department table's definition page says it holds no columns: the rest of the file reads.
    std::string damaged = m_bytes;
    std::size_t definition = 0;
    for (std::size_t page = 3; page * 4096 < damaged.size(); ++page)
        if (damaged[page * 4096] == 0x02)
            definition = page; // the last table definition: the departments'
    ASSERT_NE(definition, 0u);
    damaged[definition * 4096 + 45] = 0;
    damaged[definition * 4096 + 46] = 0;
    auto partial = vl::openJetDatabaseBytes(damaged, "damaged.mdb");
    EXPECT_EQ(partial->execute("select count(*) from [Bas Employee]")->cell(0, 0).integer, 5);
    EXPECT_EQ(failure(*partial, "select * from [Abteilung Ä]"),
        "The file 'damaged.mdb' is damaged: table 'Abteilung Ä' declares 0 columns (1 variable)");
}

} // namespace
