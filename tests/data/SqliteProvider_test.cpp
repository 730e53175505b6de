#include "SqliteProvider_p.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "Fixture.h"
#include "FormatSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        {"922337203685477.5807", INT64_MAX}, {"-922337203685477.5808", INT64_MIN}, {"1E2", 1000000}, {"+7.", 70000},
        // Exponent forms exactly, half away from zero like the rest.
        {"2.5E-4", 3}, {"-2.5e-4", -3}, {"1.00005e0", 10001}, {"15e-5", 2}, {"1e-11", 0}, {"0e400", 0},
        {"9.223372036854775807E14", INT64_MAX}, {"1.5e+3", 15000000}};
    for (const Case& c : cases)
        EXPECT_EQ(parseCurrencyText(c.text), std::optional<int64_t>(c.expected)) << c.text;
    for (const char* bad : {"", ".", "1.2.3", "abc", "922337203685477.5808", "1,5", "1e30", "1e", "e5", "1e5e5",
             "1e99999999999", "inf", "nan"})
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

// Opens a data set on the file the way the window does: the value texts joined by ",", or the
// failure's text, and how long it took.
struct OpenOutcome {
    std::string message;
    std::chrono::milliseconds took;
};

OpenOutcome openThroughDataSet(const std::string& path, const std::string& command = "select * from T")
{
    TComponent owner(nullptr);
    TADODataSet* dataSet
        = vl::test::connectDataSet(owner, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path).dataSet;
    dataSet->SetCommandText(command);
    const auto start = std::chrono::steady_clock::now();
    std::string message;
    try {
        dataSet->Open();
        for (; !dataSet->AtEnd(); dataSet->Next())
            for (int i = 0; i < dataSet->FieldCount(); ++i)
                message += (message.empty() ? "" : ",") + dataSet->FieldAt(i)->ValueText();
    } catch (const Exception& e) {
        message = e.Message();
    }
    return {message, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)};
}

TEST(FileDatabase, WhatIsNotARegularFileIsRefusedAtOnce)
{
    TempDir dir;
    const std::string fifo = dir.file("pipe.mdb");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder.mdb"));
    std::filesystem::create_symlink(dir.file("loop-b.mdb"), dir.file("loop-a.mdb"));
    std::filesystem::create_symlink(dir.file("loop-a.mdb"), dir.file("loop-b.mdb"));
    std::filesystem::create_symlink(dir.file("self.mdb"), dir.file("self.mdb"));
    std::filesystem::create_symlink(fifo, dir.file("to-pipe.mdb"));
    std::filesystem::create_symlink(dir.file("gone.mdb"), dir.file("dangling.mdb"));

    // Should a FIFO ever be opened for reading, a writer unblocks it after a while and the case fails.
    std::atomic<bool> finished = false;
    std::thread guard([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!finished) {
            if (std::chrono::steady_clock::now() > deadline) {
                const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0)
                    ::close(writer);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    struct Case {
        std::string path, expected;
    };
    const std::string loop = "': too many levels of symbolic links (a symbolic link loop)";
    const Case cases[] = {
        {fifo, "'" + fifo + "' is a FIFO (named pipe), not a database file"},
        {dir.file("to-pipe.mdb"), "'" + dir.file("to-pipe.mdb") + "' is a FIFO (named pipe), not a database file"},
        {"/dev/null", "'/dev/null' is a character device, not a database file"},
        {dir.file("folder.mdb"), "'" + dir.file("folder.mdb") + "' is a folder, not a database file"},
        {dir.file("loop-a.mdb"), "Cannot open file '" + dir.file("loop-a.mdb") + loop},
        {dir.file("self.mdb"), "Cannot open file '" + dir.file("self.mdb") + loop},
        {dir.file("dangling.mdb"), "Could not find file '" + dir.file("dangling.mdb") + "'"},
    };
    for (const Case& c : cases) {
        const OpenOutcome outcome = openThroughDataSet(c.path);
        EXPECT_EQ(outcome.message, c.expected);
        EXPECT_LT(outcome.took, std::chrono::seconds(2)) << c.path;
    }
    finished = true;
    guard.join();
}

// Integer columns of every width, each holding one value: the value read, or the failure.
TEST(FileDatabase, IntegersBeyondTheirColumnsTypeFailNamingColumnValueAndRow)
{
    TempDir dir;
    const std::string schema = "create table T (I integer, S smallint, B byte, L bigint, C currency, N numeric(5,0));";
    struct Case {
        const char* column;
        const char* value; // SQL literal, stored by the column's affinity
        std::string expected;
    };
    const std::string intRange = " of row 1 is out of the range of its type (-2147483648 to 2147483647)";
    const std::string bigRange = " of row 1 is out of the range of its type (-9223372036854775808 to 9223372036854775807)";
    const Case cases[] = {
        {"I", "2147483648", "The value 2147483648 in column 'I'" + intRange},
        {"I", "-2147483649", "The value -2147483649 in column 'I'" + intRange},
        {"I", "2147483647.6", "The value 2147483647.6 in column 'I'" + intRange},
        {"I", "'9999999999'", "The value 9999999999 in column 'I'" + intRange},
        {"S", "70000", "The value 70000 in column 'S' of row 1 is out of the range of its type (-32768 to 32767)"},
        {"B", "-1", "The value -1 in column 'B' of row 1 is out of the range of its type (0 to 255)"},
        {"B", "256", "The value 256 in column 'B' of row 1 is out of the range of its type (0 to 255)"},
        {"L", "1e30", "The value 1e+30 in column 'L'" + bigRange},
        {"L", "-1e999", "The value -inf in column 'L'" + bigRange},
        // Integer affinity stores this text as the real 1e20; the message names what is stored.
        {"L", "'99999999999999999999'", "The value 1e+20 in column 'L'" + bigRange},
        // The edges themselves, and reals rounded to even.
        {"I", "-2147483648", "-2147483648"},
        {"I", "2.5", "2"},
        {"S", "32767", "32767"},
        {"B", "255", "255"},
        {"L", "9223372036854775807", "9223372036854775807"},
        // Amounts: exactly, half away from zero, whether stored as text, real or exponent text.
        {"C", "'1.00005'", "1.0001"},
        {"C", "1.00005", "1.0001"},
        {"C", "-1.00005", "-1.0001"},
        {"C", "0.00025", "0.0003"},
        {"C", "'2.5E-4'", "0.0003"},
        {"C", "0.00015", "0.0002"},
        // A decimal of scale 0 is an integer field; its amount rounds to even.
        {"N", "2.5", "2"},
        {"N", "3.5", "4"},
    };
    const TFormatSettings saved = FormatSettings;
    FormatSettings = TFormatSettings{};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const std::string path = dir.file("case" + std::to_string(i) + ".mdb");
        vl::test::createDatabase(path, schema + "insert into T (" + c.column + ") values (" + c.value + ");");
        EXPECT_EQ(openThroughDataSet(path, std::string("select ") + c.column + " from T").message, c.expected)
            << c.column << " = " << c.value;
    }
    FormatSettings = saved;
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

TEST_F(SqliteCommands, DeeplyNestedAndLongCommandsFailWithSqlitesTextOrRun)
{
    auto repeated = [](const std::string& unit, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i)
            out += unit;
        return out;
    };
    EXPECT_EQ(failure("select ID from T where " + repeated("(", 100000) + "ID=1" + repeated(")", 100000)).rfind(
                  "Invalid command text: ", 0),
        0u);
    EXPECT_EQ(failure("select ID from T where " + repeated("not ", 100000) + "ID=1").rfind("Invalid command text: ", 0),
        0u);
    const std::string chain = failure("select ID from T where " + repeated("ID=9 or ", 12000) + "ID=1");
    EXPECT_TRUE(chain == "ran" || chain.starts_with("Invalid command text: ")) << chain;
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
