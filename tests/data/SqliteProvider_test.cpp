#include "SqliteProvider_p.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "Fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vl;
using vl::test::TempDir;

namespace {

TEST(DeclaredTypes, MapAsTheFileDatabaseReportsThem)
{
    struct Case {
        const char* declared;
        int type, size, precision, scale;
        bool fixed;
    };
    const Case cases[] = {
        {"INTEGER", adInteger, 4, 10, 0, true},
        {"long", adInteger, 4, 10, 0, true},
        {"COUNTER", adInteger, 4, 10, 0, true},
        {"SMALLINT", adSmallInt, 2, 5, 0, true},
        {"SHORT", adSmallInt, 2, 5, 0, true},
        {"BYTE", adUnsignedTinyInt, 1, 3, 0, true},
        {"BIGINT", adBigInt, 8, 19, 0, true},
        {"BIT", adBoolean, 2, 0, 0, true},
        {"YESNO", adBoolean, 2, 0, 0, true},
        {"BOOLEAN", adBoolean, 2, 0, 0, true},
        {"CURRENCY", adCurrency, 8, 19, 4, true},
        {"MONEY", adCurrency, 8, 19, 4, true},
        {"REAL", adSingle, 4, 7, 0, true},
        {"SINGLE", adSingle, 4, 7, 0, true},
        {"DOUBLE", adDouble, 8, 15, 0, true},
        {"FLOAT", adDouble, 8, 15, 0, true},
        {"DECIMAL(12,2)", adNumeric, 19, 12, 2, true},
        {"NUMERIC( 8 , 0 )", adNumeric, 19, 8, 0, true},
        {"DECIMAL", adNumeric, 19, 18, 0, true},
        {"DATETIME", adDate, 8, 0, 0, true},
        {"DATE", adDate, 8, 0, 0, true},
        {"TIME", adDate, 8, 0, 0, true},
        {"NVARCHAR(20)", adVarWChar, 20, 0, 0, false},
        {"VARCHAR(50)", adVarWChar, 50, 0, 0, false},
        {"TEXT(10)", adVarWChar, 10, 0, 0, false},
        {"VARCHAR", adVarWChar, 255, 0, 0, false},
        {"CHAR(4)", adWChar, 4, 0, 0, true},
        {"MEMO", adLongVarWChar, 536870910, 0, 0, false},
        {"LONGTEXT", adLongVarWChar, 536870910, 0, 0, false},
        {"TEXT", adLongVarWChar, 536870910, 0, 0, false},
        {"GUID", adGUID, 16, 0, 0, true},
        {"LONGBINARY", adLongVarBinary, 1073741823, 0, 0, false},
        {"BLOB", adLongVarBinary, 1073741823, 0, 0, false},
        {"IMAGE", adLongVarBinary, 1073741823, 0, 0, false},
        {"BINARY(16)", adBinary, 16, 0, 0, true},
        {"VARBINARY(8)", adVarBinary, 8, 0, 0, false},
        // Other names by SQLite's affinity rules.
        {"MEDIUMINT", adInteger, 4, 10, 0, true},
        {"CLOB", adLongVarWChar, 536870910, 0, 0, false},
        {"DOUBLE PRECISION", adDouble, 8, 15, 0, true},
        {"WHATEVER", adNumeric, 19, 18, 0, true},
    };
    for (const Case& c : cases) {
        ColumnTypeInfo info = mapDeclaredType(c.declared);
        EXPECT_EQ(info.type, c.type) << c.declared;
        EXPECT_EQ(info.definedSize, c.size) << c.declared;
        EXPECT_EQ(info.precision, c.precision) << c.declared;
        EXPECT_EQ(info.scale, c.scale) << c.declared;
        EXPECT_EQ(info.fixedLength, c.fixed) << c.declared;
    }
}

TEST(DateTexts, AcceptedFormsGiveDayNumbers)
{
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"1899-12-30", 0},
        {"2026-03-07", encodeDayNumber(2026, 3, 7)},
        {"2026-03-07 14:05:09", encodeDayNumber(2026, 3, 7, 14, 5, 9)},
        {"2026-03-07T14:05", encodeDayNumber(2026, 3, 7, 14, 5)},
        {"2026-03-07 00:00:00.400", encodeDayNumber(2026, 3, 7, 0, 0, 0, 400)},
        {"2026-03-07 00:00:00.4", encodeDayNumber(2026, 3, 7, 0, 0, 0, 400)},
        {"12:00", 0.5},
        {"46088.25", 46088.25},
        {" 2000-02-29 ", encodeDayNumber(2000, 2, 29)},
        {"1800-01-01", encodeDayNumber(1800, 1, 1)},
    };
    for (const Case& c : cases) {
        std::optional<double> value = parseDateText(c.text);
        ASSERT_TRUE(value.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(*value, c.expected) << c.text;
    }
    for (const char* bad : {"", "2026-13-01", "2001-02-29", "2026-03-07 25:00", "07.03.2026", "2026-03-07x", "abc"})
        EXPECT_FALSE(parseDateText(bad).has_value()) << bad;
}

TEST(CurrencyTexts, ExactToTenThousandths)
{
    struct Case {
        const char* text;
        int64_t expected;
    };
    const Case cases[] = {{"12.5", 125000}, {"-3", -30000}, {"0.0001", 1}, {"0.00005", 1}, {"0.00004", 0},
        {"922337203685477.5807", INT64_MAX}, {"-922337203685477.5808", INT64_MIN}, {"1E2", 1000000}, {"+7.", 70000}};
    for (const Case& c : cases)
        EXPECT_EQ(parseCurrencyText(c.text), std::optional<int64_t>(c.expected)) << c.text;
    for (const char* bad : {"", ".", "1.2.3", "abc", "922337203685477.5808", "1,5"})
        EXPECT_FALSE(parseCurrencyText(bad).has_value()) << bad;
}

std::string openFailure(const std::string& dataSource)
{
    try {
        openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dataSource);
    } catch (const EOleException& e) {
        return e.Message();
    }
    return "opened";
}

TEST(FileDatabase, FilesThatCannotBeOpenedAreNamed)
{
    TempDir dir;
    {
        std::ofstream(dir.file("text.mdb")) << "this is not a database at all, just some text long enough";
        std::ofstream access(dir.file("access.mdb"), std::ios::binary);
        access.write("\0\1\0\0Standard Jet DB\0", 20);
    }
    std::filesystem::create_directory(dir.file("folder.mdb"));
    vl::test::CurrentDirectory cwd(dir.path());
    EXPECT_EQ(openFailure("missing.mdb"), "Could not find file '" + dir.file("missing.mdb") + "'");
    EXPECT_EQ(openFailure("text.mdb"), "Unrecognized database format '" + dir.file("text.mdb") + "'");
    // A bare Jet header goes to the Jet reader, which finds the file cut short.
    EXPECT_EQ(openFailure("access.mdb"), "The file '" + dir.file("access.mdb") + "' is damaged: it is shorter than its header");
    EXPECT_EQ(openFailure("folder.mdb"), "'" + dir.file("folder.mdb") + "' is a folder, not a database file");
    // Never created by a failed open.
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.mdb")));
}

TEST(FileDatabase, UnreadableFileIsNamed)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TempDir dir;
    vl::test::createDatabase(dir.file("locked.mdb"), "create table t(a integer);");
    std::filesystem::permissions(dir.file("locked.mdb"), std::filesystem::perms::none);
    EXPECT_NE(openFailure(dir.file("locked.mdb")).find("Cannot open file '" + dir.file("locked.mdb") + "'"),
        std::string::npos);
}

class SqliteCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        vl::test::createDatabase(m_dir.file("db.mdb"),
            "create table T (ID integer primary key autoincrement, Name nvarchar(10), Memo memo, "
            "PathNo longtext, Amount currency, Born datetime, Flag yesno, Num decimal(5,0), Ratio double);"
            "insert into T (Name, Memo, PathNo, Amount, Born, Flag, Num, Ratio) values "
            "('a', '001002', '001002', 12.5, '2026-03-07 14:05:09', 1, 42, 0.5),"
            "(null, null, null, null, null, null, null, null);"
            "create table R (K integer primary key, V text);"
            "insert into R values (7, 'x');");
        m_before = std::filesystem::last_write_time(m_dir.file("db.mdb"));
        m_connection = openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_dir.file("db.mdb"));
    }
    void TearDown() override
    {
        m_connection.reset();
        EXPECT_EQ(std::filesystem::last_write_time(m_dir.file("db.mdb")), m_before);
    }
    std::string failure(const std::string& sql)
    {
        try {
            m_connection->execute(sql);
        } catch (const EOleException& e) {
            return e.Message();
        }
        return "ran";
    }

    TempDir m_dir;
    std::filesystem::file_time_type m_before;
    std::unique_ptr<ProviderConnection> m_connection;
};

TEST_F(SqliteCommands, ColumnsAreDescribedWithTheirFlags)
{
    auto result = m_connection->execute("select *, Num + 1 as Expr from T");
    ASSERT_TRUE(result);
    const auto& columns = result->columns();
    ASSERT_EQ(columns.size(), 10u);
    EXPECT_EQ(columns[0].name, "ID");
    EXPECT_EQ(columns[0].isAutoIncrement, std::optional<bool>(true));
    EXPECT_FALSE(columns[0].isUpdatable);
    EXPECT_EQ(columns[1].type, adVarWChar);
    EXPECT_EQ(columns[1].definedSize, 10);
    EXPECT_EQ(columns[1].isAutoIncrement, std::optional<bool>(false));
    EXPECT_TRUE(columns[1].isUpdatable);
    EXPECT_FALSE(columns[1].isFixedLength);
    EXPECT_EQ(columns[4].type, adCurrency);
    EXPECT_TRUE(columns[4].isFixedLength);
    EXPECT_EQ(columns[9].name, "Expr");
    EXPECT_FALSE(columns[9].isUpdatable);
    EXPECT_EQ(columns[9].type, adInteger);
    auto rowid = m_connection->execute("select K from R");
    EXPECT_EQ(rowid->columns()[0].isAutoIncrement, std::optional<bool>(true));
}

TEST_F(SqliteCommands, ValuesAreReadByTheReportedType)
{
    auto result = m_connection->execute("select * from T");
    ASSERT_EQ(result->rowCount(), 2u);
    using K = ProviderCell::Kind;
    EXPECT_EQ(result->cell(0, 0).kind, K::Integer);
    // A MEMO column has numeric affinity: SQLite stored 1002, read back as text of the number.
    EXPECT_EQ(result->cell(0, 2).bytes, "1002");
    EXPECT_EQ(result->cell(0, 3).bytes, "001002");
    EXPECT_EQ(result->cell(0, 4).kind, K::Currency);
    EXPECT_EQ(result->cell(0, 4).integer, 125000);
    EXPECT_EQ(result->cell(0, 5).kind, K::Date);
    EXPECT_DOUBLE_EQ(result->cell(0, 5).real, encodeDayNumber(2026, 3, 7, 14, 5, 9));
    EXPECT_EQ(result->cell(0, 6).integer, -1);
    EXPECT_EQ(result->cell(0, 7).kind, K::Currency);
    EXPECT_EQ(result->cell(0, 8).kind, K::Float);
    for (std::size_t column = 1; column < 9; ++column)
        EXPECT_EQ(result->cell(1, column).kind, K::Null) << column;
}

TEST_F(SqliteCommands, ExpressionColumnsFollowTheStorageClass)
{
    struct Case {
        const char* sql;
        int type;
    };
    const Case cases[] = {{"select 1", adInteger}, {"select 5000000000", adBigInt}, {"select 1.5", adDouble},
        {"select 'x'", adVarWChar}, {"select x'00'", adLongVarBinary}, {"select null", adInteger},
        {"select 1 union all select 'a'", adVarWChar}, {"select 1 union all select 2.5", adDouble}};
    for (const Case& c : cases)
        EXPECT_EQ(m_connection->execute(c.sql)->columns()[0].type, c.type) << c.sql;
    auto mixed = m_connection->execute("select 1 as v union all select 'a' order by v");
    EXPECT_EQ(mixed->cell(0, 0).bytes, "1");
}

TEST_F(SqliteCommands, CommandFailuresHaveTheProvidersText)
{
    EXPECT_EQ(failure("select * from Missing"), "The input table or query 'Missing' cannot be found");
    EXPECT_EQ(failure("selec * from T"), "Invalid command text: near \"selec\": syntax error");
    EXPECT_EQ(failure("select 1; select 2"), "Characters found after end of SQL statement");
    EXPECT_EQ(failure("   "), "Command text was not set for the command object");
    EXPECT_EQ(failure("-- only a comment"), "Invalid command text: it holds no statement");
    EXPECT_EQ(failure("delete from T returning ID"),
        "The database '" + m_dir.file("db.mdb") + "' is opened read-only; the command would change it");
    EXPECT_EQ(m_connection->execute("delete from T"), nullptr);
    EXPECT_EQ(m_connection->execute("select count(*) from T")->cell(0, 0).integer, 2);
}

TEST_F(SqliteCommands, TextInANumericColumnThatIsNoNumberIsAMismatch)
{
    vl::test::createDatabase(m_dir.file("bad.mdb"), "create table B (N integer, D datetime);"
                                                    "insert into B values ('abc', '2026-01-01'), (1, 'soon');");
    auto connection = openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_dir.file("bad.mdb"));
    try {
        connection->execute("select N from B");
        FAIL();
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Data type mismatch in column 'N' of row 1");
    }
    EXPECT_THROW(connection->execute("select D from B"), EOleException);
}

} // namespace
