// SQL over Jet files: SQLite's engine over the virtual tables, against the same queries on the
// sample's SQLite twin, over names with blanks and non-ASCII letters, long values and an ACE header;
// typed comparisons, look-ups, TOP, and the refusals.

#include "Fixture.h"
#include "JetFixture.h"
#include "JetFormat_p.h"
#include "JetWriter.h"
#include "MdbProvider.h"
#include "Provider.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

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

// Dates reach SQL as ISO texts and come back as exactly the day numbers stored, from 1 January 0001
// to 31 December 9999, with and without a time of day; what no text holds exactly stays a number.
TEST(JetQueryDates, DayNumbersBecomeIsoTextsAndComeBackExactly)
{
    using F = vl::jet::FieldType;
    using V = vl::jet::Value;
    vl::jet::TableDefinition dates;
    dates.name = "Dates";
    dates.columns = { { "N", F::LongInteger }, { "D", F::DateTime } };
    std::vector<double> days;
    for (double day = -693593; day <= 2958465; day += 997)
        days.push_back(day);
    for (double day : { -693593.0, -1.0, 0.0, 1.0, 59.0, 60.0, 61.0, 36526.0, 2958465.0, 0.25, -1.5, 43832.5,
             encodeDayNumber(2023, 3, 1, 8, 30, 15, 125) })
        days.push_back(day);
    const double inexact[] = { 0.5 + 1e-9, -0.0, 2958466.0, -693594.0, 1e-9 };
    for (double day : inexact)
        days.push_back(day);
    for (std::size_t i = 0; i < days.size(); ++i)
        dates.rows.push_back({ V::ofInteger(static_cast<int64_t>(i)), V::ofDate(days[i]) });
    auto connection = vl::openJetDatabaseBytes(vl::jet::buildDatabase({ dates }), "dates.mdb");
    auto r = connection->execute("select N, D, D || '', typeof(D) from Dates order by N");
    ASSERT_EQ(r->rowCount(), days.size());
    const std::size_t exact = days.size() - std::size(inexact);
    for (std::size_t i = 0; i < days.size(); ++i) {
        EXPECT_EQ(r->cell(i, 1).real, days[i]) << days[i];
        EXPECT_EQ(std::signbit(r->cell(i, 1).real), std::signbit(days[i])) << days[i];
        if (i < exact) {
            const bool whole = days[i] == std::floor(days[i]);
            EXPECT_EQ(r->cell(i, 2).bytes,
                vl::formatDateTime(whole ? "yyyy-mm-dd" : "yyyy-mm-dd hh:nn:ss", days[i])
                    + (days[i] == encodeDayNumber(2023, 3, 1, 8, 30, 15, 125) ? ".125" : ""))
                << days[i];
        } else {
            EXPECT_EQ(r->cell(i, 3).bytes, "real") << days[i];
        }
    }
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

// Scans of one table that run inside each other over many pages: each keeps its own place in the
// page buffer libmdb shares between them.
TEST(JetQueryPages, InterleavedScansAndLookUpsOfOneTableKeepTheirPlace)
{
    using F = vl::jet::FieldType;
    using V = vl::jet::Value;
    vl::jet::TableDefinition big;
    big.name = "Big";
    big.columns = { { "ID", F::LongInteger }, { "Grp", F::Integer }, { "Filler", F::Text, 100 } };
    for (int id = 1; id <= 2000; ++id)
        big.rows.push_back({ V::ofInteger(id), V::ofInteger(id % 7), V::ofText(std::string(60 + id % 40, 'f')) });
    auto connection = vl::openJetDatabaseBytes(vl::jet::buildDatabase({ big }), "big.mdb");
    auto ids = [&](const std::string& command) {
        std::vector<int64_t> out;
        auto result = connection->execute(command);
        for (std::size_t r = 0; r < result->rowCount(); ++r)
            out.push_back(result->cell(r, 0).integer);
        return out;
    };
    EXPECT_EQ(ids("select a.ID from Big a where a.ID % 400 = 1 and "
                  "(select count(*) from Big b where b.ID < a.ID) = a.ID - 1 order by 1"),
        (std::vector<int64_t> { 1, 401, 801, 1201, 1601 }));
    // Five groups of 286 rows and two of 285.
    EXPECT_EQ(ids("select count(*) from Big a join Big b on b.Grp = a.Grp"),
        (std::vector<int64_t> { 5 * 286 * 286 + 2 * 285 * 285 }));
    EXPECT_EQ(ids("select b.ID from Big a join Big b on b.ID = a.ID + 1 where a.ID in (1, 999, 1999) order by 1"),
        (std::vector<int64_t> { 2, 1000, 2000 }));
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

// A Jet 3 file (Access 97) written by hand, as the project's writer makes only Jet 4 files: 2 KB
// pages, one-byte column counts and variable offsets in rows, names and texts in code page 1252.
// Page 0 header, 1 map rows, 2 the catalog's definition, 3 its rows, 4 the table's definition,
// 5 its rows, 6 a long value.
namespace jet3
{

constexpr std::size_t PageSize = 2048;

void put16(std::string& out, std::size_t at, uint32_t v)
{
    out[at] = static_cast<char>(v & 0xff);
    out[at + 1] = static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& out, std::size_t at, uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
std::string bytes32(uint32_t v)
{
    std::string out(4, '\0');
    put32(out, 0, v);
    return out;
}
template <typename T> std::string rawBytes(T value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

struct Column {
    std::string name; // code page 1252
    uint8_t type;
    uint16_t size; // fixed: bytes of the value; text: characters
    bool fixed;
};

// A page of rows (maps, table rows, long values), filled from its end.
struct RowPage {
    std::string bytes = std::string(PageSize, '\0');
    std::size_t rows = 0, lowest = PageSize;
    explicit RowPage(uint32_t owner, bool longValues = false)
    {
        bytes[0] = 0x01;
        bytes[1] = 0x01;
        if (longValues)
            bytes.replace(4, 4, "LVAL");
        else
            put32(bytes, 4, owner);
    }
    uint32_t add(const std::string& row)
    {
        lowest -= row.size();
        bytes.replace(lowest, row.size(), row);
        put16(bytes, 10 + 2 * rows, static_cast<uint32_t>(lowest));
        put16(bytes, 8, static_cast<uint32_t>(++rows));
        return static_cast<uint32_t>(rows - 1);
    }
};

// One row: column count, fixed values, variable values, their offsets last to first, their count,
// the null mask (a yes/no's value is its bit). values[i] null: a null (or No).
std::string row(const std::vector<Column>& columns, const std::vector<std::optional<std::string>>& values)
{
    std::string out(1, static_cast<char>(columns.size()));
    std::vector<std::size_t> offsets;
    std::string mask((columns.size() + 7) / 8, '\0');
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (values[c])
            mask[c / 8] = static_cast<char>(mask[c / 8] | (1 << (c % 8)));
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].fixed)
            out += values[c] && columns[c].type != vl::jet::ColBoolean ? *values[c]
                                                                       : std::string(columns[c].size, '\0');
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (!columns[c].fixed) {
            offsets.push_back(out.size());
            out += values[c].value_or("");
        }
    out += static_cast<char>(out.size()); // end of the data
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
        out += static_cast<char>(*it);
    out += static_cast<char>(offsets.size());
    out += mask;
    EXPECT_LE(out.size(), 256u) << "a row this long needs a jump table";
    return out;
}

std::string definition(
    const std::vector<Column>& columns, std::size_t rows, uint32_t usageMap, uint32_t freeMap, bool system)
{
    std::string page(PageSize, '\0');
    page[0] = 0x02;
    page[1] = 0x01;
    put32(page, 12, static_cast<uint32_t>(rows));
    page[20] = static_cast<char>(system ? 0x53 : 0x4e);
    std::size_t variable = 0, fixedOffset = 0, at = 43;
    for (const Column& c : columns)
        variable += c.fixed ? 0 : 1;
    put16(page, 21, static_cast<uint32_t>(columns.size()));
    put16(page, 23, static_cast<uint32_t>(variable));
    put16(page, 25, static_cast<uint32_t>(columns.size()));
    put32(page, 35, usageMap);
    put32(page, 39, freeMap);
    std::size_t varIndex = 0;
    for (std::size_t i = 0; i < columns.size(); ++i, at += 18) {
        const Column& c = columns[i];
        page[at] = static_cast<char>(c.type);
        page[at + 1] = static_cast<char>(i);
        put16(page, at + 3, static_cast<uint32_t>(c.fixed ? i : varIndex++));
        put16(page, at + 5, static_cast<uint32_t>(i));
        page[at + 13] = static_cast<char>((c.fixed ? 0x01 : 0x00) | 0x02);
        put16(page, at + 14, static_cast<uint32_t>(c.fixed ? fixedOffset : 0));
        put16(page, at + 16, c.size);
        if (c.fixed)
            fixedOffset += c.size;
    }
    for (const Column& c : columns) {
        page[at++] = static_cast<char>(c.name.size());
        page.replace(at, c.name.size(), c.name);
        at += c.name.size();
    }
    put32(page, 8, static_cast<uint32_t>(at - 8));
    return page;
}

// A usage map of type 0 naming one page.
std::string usageMap(uint32_t page)
{
    std::string map(6, '\0');
    put32(map, 1, page);
    map[5] = 0x01;
    return map;
}

// "Kunden Öl" (ID, Name, Betrag, Datum, Aktiv, Notiz): three rows, one memo in a long-value row.
std::string database(const std::string& longNote)
{
    std::string header(PageSize, '\0');
    header[1] = 0x01;
    header.replace(4, 16, std::string("Standard Jet DB\0", 16));
    header[0x14] = 0x00; // Jet 3
    put16(header, 0x3c, 1252);
    vl::jet::applyHeaderMask(reinterpret_cast<unsigned char*>(header.data()));

    const std::vector<Column> catalog = { { "Id", vl::jet::ColLong, 4, true }, { "Name", vl::jet::ColText, 64, false },
        { "Type", vl::jet::ColInteger, 2, true }, { "Flags", vl::jet::ColLong, 4, true },
        { "LvProp", vl::jet::ColOle, 0, false } };
    const std::vector<Column> table = { { "ID", vl::jet::ColLong, 4, true }, { "Name", vl::jet::ColText, 20, false },
        { "Betrag", vl::jet::ColMoney, 8, true }, { "Datum", vl::jet::ColDateTime, 8, true },
        { "Aktiv", vl::jet::ColBoolean, 0, true }, { "Notiz", vl::jet::ColMemo, 0, false } };

    RowPage maps(0);
    const uint32_t catalogMap = (1u << 8) | maps.add(usageMap(3));
    const uint32_t tableMap = (1u << 8) | maps.add(usageMap(5));
    const uint32_t emptyMap = (1u << 8) | maps.add(std::string(6, '\0'));

    RowPage catalogRows(2);
    catalogRows.add(row(
        catalog, { bytes32(2), std::string("MSysObjects"), rawBytes<int16_t>(1), bytes32(0x80000002), std::nullopt }));
    catalogRows.add(
        row(catalog, { bytes32(4), std::string("Kunden \xd6l"), rawBytes<int16_t>(1), bytes32(0), std::nullopt }));

    RowPage longValues(0, true);
    const uint32_t noteRow = (6u << 8) | longValues.add(longNote);
    std::string inlineNote = bytes32(static_cast<uint32_t>(5) | 0x80000000u) + std::string(8, '\0') + "kurz\xe9";
    std::string longNoteHeader
        = bytes32(static_cast<uint32_t>(longNote.size()) | 0x40000000u) + bytes32(noteRow) + bytes32(0);
    RowPage tableRows(4);
    tableRows.add(row(table,
        { bytes32(1), std::string("M\xfcller"), rawBytes<int64_t>(123456), rawBytes<double>(36526.5), std::string(),
            inlineNote }));
    tableRows.add(row(table,
        { bytes32(2), std::string("Smith"), rawBytes<int64_t>(-5), std::nullopt, std::nullopt, longNoteHeader }));
    tableRows.add(row(table, { bytes32(3), std::nullopt, std::nullopt, std::nullopt, std::string(), std::nullopt }));

    return header + maps.bytes + definition(catalog, 2, catalogMap, emptyMap, true) + catalogRows.bytes
        + definition(table, 3, tableMap, emptyMap, false) + tableRows.bytes + longValues.bytes;
}

} // namespace jet3

TEST(JetThree, AnAccess97FileReadsThroughTheSameEngine)
{
    const std::string longNote = vl::test::longText(300, "Gr\xfc\xdf");
    auto connection = vl::openJetDatabaseBytes(jet3::database(longNote), "access97.mdb");
    auto r = connection->execute("select ID, Name, Betrag, Datum, Aktiv, Notiz from [Kunden Öl] order by ID");
    ASSERT_EQ(r->rowCount(), 3u);
    const auto& columns = r->columns();
    EXPECT_EQ(columns[1].type, vl::adVarWChar);
    EXPECT_EQ(columns[1].definedSize, 20); // characters, one byte each in Jet 3
    EXPECT_EQ(columns[2].type, vl::adCurrency);
    EXPECT_EQ(columns[5].type, vl::adLongVarWChar);
    EXPECT_EQ(r->cell(0, 1).bytes, "Müller"); // code page 1252
    EXPECT_EQ(r->cell(0, 2).integer, 123456);
    EXPECT_EQ(r->cell(1, 2).integer, -5);
    EXPECT_EQ(r->cell(0, 3).real, 36526.5);
    EXPECT_EQ(r->cell(0, 4).integer, -1);
    EXPECT_EQ(r->cell(1, 4).integer, 0);
    EXPECT_EQ(r->cell(0, 5).bytes, "kurzé");
    EXPECT_EQ(r->cell(1, 5).bytes, vl::test::longText(300, "Grüß"));
    EXPECT_EQ(r->cell(2, 1).kind, K::Null);
    auto grouped = connection->execute(
        "select count(*), sum(Aktiv), max(Name) from [Kunden Öl] where Name like 'm%' or Datum is null");
    EXPECT_EQ(grouped->cell(0, 0).integer, 3);
    EXPECT_EQ(grouped->cell(0, 1).integer, 2);
    EXPECT_EQ(grouped->cell(0, 2).bytes, "Smith");
    // mdbtools' own reader agrees that the file is what it is meant to be.
    if (vl::test::haveMdbTools()) {
        vl::test::TempDir dir;
        const std::string path = dir.file("access97.mdb");
        std::ofstream(path, std::ios::binary) << jet3::database(longNote);
        EXPECT_EQ(vl::test::runTool("mdb-ver '" + path + "'"), "JET3\n");
        const std::string exported = vl::test::runTool("mdb-export -H '" + path + "' 'Kunden Öl'");
        EXPECT_EQ(exported.substr(0, exported.find('\n')), "1,\"Müller\",12.3456,\"01/01/00 12:00:00\",1,\"kurzé\"")
            << exported;
    }
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
