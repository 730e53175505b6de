// The provider "MSDASQL": connection strings, the type table and exact numerics without a server;
// the SQLite ODBC driver for quick cases; PostgreSQL (a server of the tests' own) for the sample
// document, the server's types and the failures that only a server has.

#include "ADODB.h"
#include "ChildProcess.h"
#include "Exceptions.h"
#include "Fixture.h"
#include "OdbcProvider_p.h"
#include "PgServer.h"
#include "Provider.h"
#include "Text.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace vl::test
{
namespace
{

// One server for the whole run of this executable, stopped when the run ends.
class PgEnvironment : public testing::Environment
{
public:
    void TearDown() override { PgServer::stopShared(); }
};
[[maybe_unused]] testing::Environment* const pgEnvironment = testing::AddGlobalTestEnvironment(new PgEnvironment);

#define REQUIRE_POSTGRES()                                                                                             \
    do {                                                                                                               \
        if (PgServer::binaryFolder().empty())                                                                          \
            GTEST_SKIP() << "PostgreSQL server binaries (initdb, pg_ctl, psql) are not installed";                     \
        if (odbcDriver("PostgreSQL Unicode", "psqlodbcw.so").empty())                                                  \
            GTEST_SKIP() << "the PostgreSQL ODBC driver (odbc-postgresql) is not installed";                           \
    } while (0)

std::string sqliteDriver()
{
    return odbcDriver("SQLite3", "libsqlite3odbc.so");
}

// What the driver itself says for a connection string (and a statement): the first diagnostic
// record, read with the plain ODBC API, cleaned as the provider cleans texts.
std::string driverMessage(const std::string& odbcConnection, const std::string& sql = {})
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::u16string text = utf8ToUtf16(odbcConnection);
    SQLSMALLINT handleType = SQL_HANDLE_DBC;
    SQLHANDLE handle = dbc;
    SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
        static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    const bool connected = SQL_SUCCEEDED(rc);
    if (connected && !sql.empty()) {
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        std::u16string command = utf8ToUtf16(sql);
        rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(command.data()), static_cast<SQLINTEGER>(command.size()));
        handleType = SQL_HANDLE_STMT;
        handle = stmt;
    }
    std::string message;
    if (!SQL_SUCCEEDED(rc)) {
        SQLWCHAR state[6], buffer[2048];
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, 1, state, &native, buffer, 2048, &length)))
            message = utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer),
                static_cast<std::size_t>(std::min<SQLSMALLINT>(length, 2047))));
    }
    if (stmt)
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (connected)
        SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return cleanProviderMessage(message);
}

// The message of the EOleException that the call raises; empty when it raises nothing.
template <typename Call> std::string oleMessage(Call&& call)
{
    try {
        call();
    } catch (const EOleException& e) {
        return e.Message();
    }
    return {};
}

std::string cellText(const ProviderCell& cell)
{
    return std::string(cell.bytes);
}

TEST(OdbcConnectionString, ItemsOtherThanProviderInOdbcForm)
{
    struct Case {
        const char* adoString;
        const char* odbcString;
    } cases[] = {
        { "Provider=MSDASQL;DSN=Reports;UID=ann;PWD=x", "DSN=Reports;UID=ann;PWD=x" },
        { "Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=/tmp/s;Database=db",
            "Driver={PostgreSQL Unicode};Server=/tmp/s;Database=db" },
        // OLE DB names of MSDASQL's properties become their ODBC keywords.
        { "Provider=MSDASQL.1;Data Source=Reports;User ID=ann;Password=pw;Initial Catalog=sales",
            "DSN=Reports;UID=ann;PWD=pw;DATABASE=sales" },
        // A quoted value with ";" or braces travels braced, a "}" inside doubled.
        { "Provider=MSDASQL;DSN=a;PWD=\"p;w}d\"", "DSN=a;PWD={p;w}}d}" },
        { "Provider=MSDASQL;DSN=a;PWD=' lead'", "DSN=a;PWD={ lead}" },
        { "Provider=MSDASQL;DSN=a;PWD=", "DSN=a;PWD=" },
        // Extended Properties holds ODBC text as it stands, after the other items.
        { "Provider=MSDASQL;Extended Properties=\"DRIVER={SQLite3};Database=/x.db\";UID=u",
            "UID=u;DRIVER={SQLite3};Database=/x.db" },
    };
    for (const Case& c : cases) {
        ConnectionStringParseResult parsed = parseConnectionString(c.adoString);
        ASSERT_TRUE(parsed) << c.adoString;
        EXPECT_EQ(odbcConnectionString(parsed.items), c.odbcString) << c.adoString;
    }
}

TEST(OdbcColumnTypes, EachSqlTypeHasItsAdoCodeAndWayOfReading)
{
    struct Case {
        int sqlType;
        bool isUnsigned;
        int adoType;
        OdbcFetch fetch;
        bool fixed;
    } cases[] = {
        { SQL_CHAR, false, adChar, OdbcFetch::Text, true },
        { SQL_VARCHAR, false, adVarChar, OdbcFetch::Text, false },
        { SQL_LONGVARCHAR, false, adLongVarChar, OdbcFetch::Text, false },
        { SQL_WCHAR, false, adWChar, OdbcFetch::Text, true },
        { SQL_WVARCHAR, false, adVarWChar, OdbcFetch::Text, false },
        { SQL_WLONGVARCHAR, false, adLongVarWChar, OdbcFetch::Text, false },
        { SQL_DECIMAL, false, adNumeric, OdbcFetch::Numeric, true },
        { SQL_NUMERIC, false, adNumeric, OdbcFetch::Numeric, true },
        { SQL_SMALLINT, false, adSmallInt, OdbcFetch::Integer, true },
        { SQL_SMALLINT, true, adUnsignedSmallInt, OdbcFetch::Integer, true },
        { SQL_INTEGER, false, adInteger, OdbcFetch::Integer, true },
        { SQL_INTEGER, true, adUnsignedInt, OdbcFetch::Integer, true },
        { SQL_TINYINT, false, adTinyInt, OdbcFetch::Integer, true },
        { SQL_TINYINT, true, adUnsignedTinyInt, OdbcFetch::Integer, true },
        { SQL_BIGINT, false, adBigInt, OdbcFetch::Integer, true },
        { SQL_REAL, false, adSingle, OdbcFetch::Single, true },
        { SQL_FLOAT, false, adDouble, OdbcFetch::Double, true },
        { SQL_DOUBLE, false, adDouble, OdbcFetch::Double, true },
        { SQL_BIT, false, adBoolean, OdbcFetch::Boolean, true },
        { SQL_BINARY, false, adBinary, OdbcFetch::Binary, true },
        { SQL_VARBINARY, false, adVarBinary, OdbcFetch::Binary, false },
        { SQL_LONGVARBINARY, false, adLongVarBinary, OdbcFetch::Binary, false },
        { SQL_TYPE_DATE, false, adDBDate, OdbcFetch::Date, true },
        { SQL_DATE, false, adDBDate, OdbcFetch::Date, true },
        { SQL_TYPE_TIME, false, adDBTime, OdbcFetch::Time, true },
        { SQL_TYPE_TIMESTAMP, false, adDBTimeStamp, OdbcFetch::Timestamp, true },
        { SQL_TIMESTAMP, false, adDBTimeStamp, OdbcFetch::Timestamp, true },
        { SQL_GUID, false, adGUID, OdbcFetch::Guid, true },
        { SQL_INTERVAL_DAY_TO_SECOND, false, adLongVarWChar, OdbcFetch::Text, false },
        { -150, false, adLongVarWChar, OdbcFetch::Text, false },
    };
    for (const Case& c : cases) {
        OdbcColumnType type = odbcColumnType(c.sqlType, c.isUnsigned);
        EXPECT_EQ(type.adoType, c.adoType) << c.sqlType;
        EXPECT_EQ(type.fetch, c.fetch) << c.sqlType;
        EXPECT_EQ(type.fixedLength, c.fixed) << c.sqlType;
    }
}

TEST(OdbcNumerics, TenThousandthsOnlyWhenExact)
{
    EXPECT_EQ(exactTenThousandths("10500.0000"), 105000000);
    EXPECT_EQ(exactTenThousandths("12.5"), 125000);
    EXPECT_EQ(exactTenThousandths("-0.0001"), -1);
    EXPECT_EQ(exactTenThousandths("7"), 70000);
    EXPECT_EQ(exactTenThousandths(".5"), 5000);
    EXPECT_EQ(exactTenThousandths("1.230000000"), 12300);
    EXPECT_EQ(exactTenThousandths("922337203685477.5807"), INT64_MAX);
    EXPECT_EQ(exactTenThousandths("-922337203685477.5808"), INT64_MIN);
    // Not exact: a fifth decimal, beyond 64 bits, not a number.
    EXPECT_FALSE(exactTenThousandths("0.00001"));
    EXPECT_FALSE(exactTenThousandths("922337203685477.5808"));
    EXPECT_FALSE(exactTenThousandths("123456789012345678901234567890"));
    EXPECT_FALSE(exactTenThousandths("1E3"));
    EXPECT_FALSE(exactTenThousandths(""));
    EXPECT_FALSE(exactTenThousandths("-"));
    EXPECT_FALSE(exactTenThousandths("."));
    EXPECT_FALSE(exactTenThousandths("NaN"));
}

TEST(PostgresLoader, MapsTheSampleScriptsTypeNames)
{
    const std::string script = postgresScript("PRAGMA encoding = 'UTF-8';\n"
                                              "CREATE TABLE T (\n"
                                              "  ID INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                                              "  No INTEGER NOT NULL,\n"
                                              "  Name NVARCHAR(20),\n"
                                              "  Memo LONGTEXT,\n"
                                              "  Born DATETIME,\n"
                                              "  Pay CURRENCY,\n"
                                              "  Married YESNO\n"
                                              ");\n"
                                              "INSERT INTO T (Name) VALUES ('LONGTEXT CURRENCY');\n");
    EXPECT_EQ(script,
        "CREATE TABLE T (\n"
        "  ID SERIAL PRIMARY KEY,\n"
        "  No INTEGER NOT NULL,\n"
        "  Name VARCHAR(20),\n"
        "  Memo TEXT,\n"
        "  Born TIMESTAMP,\n"
        "  Pay NUMERIC(19,4),\n"
        "  Married SMALLINT\n"
        ");\n"
        "INSERT INTO T (Name) VALUES ('LONGTEXT CURRENCY');\n"
        "ALTER TABLE T ALTER COLUMN Married TYPE BOOLEAN USING Married <> 0;\n");
    EXPECT_EQ(postgresType("varchar(20)"), "VARCHAR(20)");
    EXPECT_EQ(postgresType("double"), "DOUBLE PRECISION");
    EXPECT_EQ(postgresType("datetime"), "TIMESTAMP");
    EXPECT_EQ(postgresType("text"), "TEXT");
}

// Quick cases through the SQLite ODBC driver: no server needed.
class SqliteOdbc : public testing::Test
{
protected:
    void SetUp() override
    {
        m_driver = sqliteDriver();
        if (m_driver.empty())
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        m_path = m_folder.file("odbc.db");
    }
    std::string odbcString() const { return "Driver=" + m_driver + ";Database=" + m_path; }
    std::string connectionString() const { return "Provider=MSDASQL;" + odbcString(); }

    TempDir m_folder;
    std::string m_path;
    std::string m_driver;
};

TEST_F(SqliteOdbc, ValuesArriveExactlyAndLongDataWhole)
{
    // Longer than one 8 KiB piece of SQLGetData, in characters beyond the BMP too.
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += "部门\xF0\x9F\x98\x80" + std::to_string(i % 10);
    createDatabase(m_path,
        "create table t (n integer, r double, s varchar(10), memo text, b blob);"
        "insert into t values (42, 0.1, '研发 & <R>', '"
            + longText
            + "', randomblob(20000));"
              "insert into t values (-7, null, null, '', x'00ff');");
    auto connection = openProviderConnection(connectionString());
    auto result = connection->execute("select n, r, s, memo, length(b), b from t order by n desc");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->rowCount(), 2u);
    const auto& columns = result->columns();
    ASSERT_EQ(columns.size(), 6u);
    EXPECT_EQ(columns[0].name, "n");
    EXPECT_EQ(columns[0].type, adInteger);
    EXPECT_EQ(columns[1].type, adDouble);
    EXPECT_TRUE(columns[0].isAutoIncrement.has_value());
    EXPECT_EQ(result->cell(0, 0).integer, 42);
    EXPECT_EQ(result->cell(0, 1).real, 0.1);
    EXPECT_EQ(cellText(result->cell(0, 2)), "研发 & <R>");
    EXPECT_EQ(cellText(result->cell(0, 3)), longText);
    EXPECT_EQ(result->cell(0, 5).kind, ProviderCell::Kind::Bytes);
    EXPECT_EQ(result->cell(0, 5).bytes.size(), 20000u);
    EXPECT_EQ(result->cell(1, 0).integer, -7);
    EXPECT_EQ(result->cell(1, 1).kind, ProviderCell::Kind::Null);
    EXPECT_EQ(result->cell(1, 2).kind, ProviderCell::Kind::Null);
    // An empty text is a text, not a null.
    EXPECT_EQ(result->cell(1, 3).kind, ProviderCell::Kind::Text);
    EXPECT_EQ(cellText(result->cell(1, 3)), "");
    EXPECT_EQ(result->cell(1, 5).bytes, std::string_view("\0\xff", 2));
}

TEST_F(SqliteOdbc, DataSetsAndStatementsWithoutRows)
{
    createDatabase(m_path,
        "create table dept (DeptNo integer, Name varchar(20));"
        "insert into dept values (2, 'b'), (1, 'a');");
    TComponent owner(nullptr);
    const auto [connection, dataSet] = connectDataSet(owner, connectionString());
    dataSet->SetName("ADODataSet1");
    dataSet->SetCommandText("select * from dept order by deptno");
    dataSet->Open();
    ASSERT_EQ(dataSet->FieldCount(), 2);
    std::string seen;
    for (dataSet->First(); !dataSet->AtEnd(); dataSet->Next())
        seen += dataSet->FieldNamed("DEPTNO")->ValueText() + dataSet->FieldNamed("name")->ValueText() + ";";
    EXPECT_EQ(seen, "1a;2b;");
    dataSet->Close();

    // A statement without result set: the data set says so, the provider returns none.
    dataSet->SetCommandText("update dept set Name = 'c' where DeptNo = 5");
    try {
        dataSet->Open();
        ADD_FAILURE() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "ADODataSet1: CommandText does not return a result set");
    }
    EXPECT_FALSE(connection->providerConnection().execute("create table other (x integer)"));

    // The versioned name and ODBC text inside Extended Properties reach the same database.
    auto versioned = openProviderConnection("Provider=MSDASQL.1;Extended Properties=\"" + odbcString() + "\"");
    auto result = versioned->execute("select count(*) from dept");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->cell(0, 0).integer, 2);
}

TEST_F(SqliteOdbc, FailuresCarryTheDriversMessageAndNothingElse)
{
    createDatabase(m_path, "create table dept (DeptNo integer);");
    auto connection = openProviderConnection(connectionString());
    const std::string badSql = oleMessage([&] { connection->execute("selec DeptNo from dept"); });
    EXPECT_FALSE(badSql.empty());
    EXPECT_EQ(badSql, driverMessage(odbcString(), "selec DeptNo from dept"));
    const std::string noTable = oleMessage([&] { connection->execute("select * from nowhere"); });
    EXPECT_NE(noTable.find("nowhere"), std::string::npos) << noTable;
    EXPECT_EQ(noTable, driverMessage(odbcString(), "select * from nowhere"));

    // A driver that is not installed: the driver manager's own message.
    const std::string missing = "Driver={No Such ODBC Driver};Database=" + m_path;
    const std::string missingDriver = oleMessage([&] { openProviderConnection("Provider=MSDASQL;" + missing); });
    EXPECT_FALSE(missingDriver.empty());
    EXPECT_EQ(missingDriver, driverMessage(missing));
    const std::string noDsn = oleMessage([] { openProviderConnection("Provider=MSDASQL;DSN=vl-no-such-dsn"); });
    EXPECT_FALSE(noDsn.empty());
    EXPECT_EQ(noDsn, driverMessage("DSN=vl-no-such-dsn"));
}

TEST_F(SqliteOdbc, IntegersBeyondTheDescribedTypeFailNamingColumnValueAndRow)
{
    // The driver describes INTEGER and SMALLINT columns by their names but hands over what SQLite stored.
    createDatabase(m_path,
        "create table t (i integer, s smallint, b bigint);"
        "insert into t values (1, 1, 1), (2147483648, 70000, 9223372036854775807);");
    TComponent owner(nullptr);
    TADODataSet* dataSet = connectDataSet(owner, connectionString()).dataSet;
    struct Case {
        const char* command;
        std::string expected;
    };
    const Case cases[] = {
        {"select i from t", "The value 2147483648 in column 'i' of row 2 is out of the range of its type (-2147483648 to "
                            "2147483647)"},
        {"select s from t", "The value 70000 in column 's' of row 2 is out of the range of its type (-32768 to 32767)"},
        {"select b from t where b > 1", "9223372036854775807"},
        {"select i, s from t where i = 1", "1,1"},
    };
    for (const Case& c : cases) {
        dataSet->Close();
        dataSet->SetCommandText(c.command);
        std::string got;
        try {
            dataSet->Open();
            for (int i = 0; i < dataSet->FieldCount(); ++i)
                got += (i ? "," : "") + dataSet->FieldAt(i)->ValueText();
        } catch (const Exception& e) {
            got = e.Message();
        }
        EXPECT_EQ(got, c.expected) << c.command;
    }
}

// The PostgreSQL server of this run; a test that needs it starts it.
class Postgres : public testing::Test
{
protected:
    void SetUp() override { REQUIRE_POSTGRES(); }
    static PgServer& server() { return PgServer::shared(); }
};

using vl::test::RunResult;

RunResult runVldata(const std::vector<std::string>& args, const std::string& folder, const std::string& outputFolder,
    const std::string& odbcSysIni = {})
{
    std::vector<std::pair<std::string, std::string>> environment;
    if (!odbcSysIni.empty())
        environment.emplace_back("ODBCSYSINI", odbcSysIni);
    return vl::test::runProgram(VLDATA_PATH, args, folder, outputFolder, environment);
}

// PostgreSQL folds the unquoted names of the sample script to lower case.
std::string lowerCaseFieldNames(const std::string& document)
{
    static const std::regex attribute(" ([A-Za-z][A-Za-z0-9_]*)=\"");
    std::string result;
    auto last = document.cbegin();
    for (std::sregex_iterator it(document.begin(), document.end(), attribute), end; it != end; ++it) {
        const auto& match = (*it)[1];
        result.append(last, match.first);
        for (auto c = match.first; c != match.second; ++c)
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        last = match.second;
    }
    result.append(last, document.cend());
    return result;
}

// "order by deptno" leaves the order of rows with the same number to the engine: each run of
// detail rows of one master row sorted, so that only the rows themselves are compared.
std::string sortedWithinMasterRows(const std::string& document)
{
    const std::size_t begin = document.find("<Detail>");
    const std::size_t end = document.find("</Detail>");
    if (begin == std::string::npos || end == std::string::npos)
        return document;
    std::vector<std::string> rows;
    for (std::size_t pos = begin + 8; pos < end;) {
        const std::size_t close = document.find("/>", pos) + 2;
        rows.push_back(document.substr(pos, close - pos));
        pos = close;
    }
    auto masterOf = [](const std::string& row) { return row.substr(0, row.find("\" ")); };
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t last = first;
        while (last < rows.size() && masterOf(rows[last]) == masterOf(rows[first]))
            ++last;
        std::sort(rows.begin() + static_cast<std::ptrdiff_t>(first), rows.begin() + static_cast<std::ptrdiff_t>(last));
        first = last;
    }
    std::string result = document.substr(0, begin + 8);
    for (const auto& row : rows)
        result += row;
    return result + document.substr(end);
}

TEST_F(Postgres, VldataGivesTheSampleDocument)
{
    const std::string sqliteSample = std::string(VL_RUN_DIR) + "/sqlite";
    if (!std::filesystem::exists(sqliteSample + "/test.mdb"))
        GTEST_SKIP() << "the SQLite sample database is not built";
    const std::string database = server().sampleDatabase();
    std::string connection = server().connectionString(database);
    TempDir output;
    std::string odbcSysIni;
    const std::string named = "Provider=MSDASQL;Driver={PostgreSQL Unicode};";
    if (connection.rfind(named, 0) != 0) {
        // The system's odbcinst.ini lacks the driver: one of the test's own registers it by name.
        const std::size_t start = connection.find("Driver=") + 7;
        const std::size_t end = connection.find(';', start);
        std::ofstream(output.file("odbcinst.ini"))
            << "[PostgreSQL Unicode]\nDriver=" << connection.substr(start, end - start) << "\n";
        connection = named + connection.substr(end + 1);
        odbcSysIni = output.path();
    }
    auto both = [&](const std::string& detailOrder) {
        const std::vector<std::string> sample
            = { "--encoding", "GB2312", "--master", "select * from Bas_Department order by deptno", "--detail",
                  "Detail", "select * from Bas_Employee order by " + detailOrder, "--relation", "DeptNo=DeptNo" };
        RunResult sqlite = runVldata(sample, sqliteSample, output.path());
        EXPECT_EQ(sqlite.exitCode, 0) << sqlite.err;
        std::vector<std::string> overOdbc = { "--connection", connection };
        overOdbc.insert(overOdbc.end(), sample.begin(), sample.end());
        RunResult postgres = runVldata(overOdbc, output.path(), output.path(), odbcSysIni);
        EXPECT_EQ(postgres.exitCode, 0) << postgres.err;
        EXPECT_EQ(postgres.err, "");
        EXPECT_GT(sqlite.out.size(), 5000u);
        return std::pair(sqlite.out, postgres.out);
    };
    // The window's own command texts: the same rows, names in lower case.
    auto [sqlite, postgres] = both("deptno");
    EXPECT_EQ(sortedWithinMasterRows(postgres), sortedWithinMasterRows(lowerCaseFieldNames(sqlite)));
    // With a total order the document is the same byte for byte, but for the names' case.
    std::tie(sqlite, postgres) = both("deptno, id");
    EXPECT_EQ(postgres, lowerCaseFieldNames(sqlite));
}

TEST_F(Postgres, SampleColumnsAreDescribedByTheDriver)
{
    const std::string database = server().sampleDatabase();
    TComponent owner(nullptr);
    TADODataSet* employees = connectDataSet(owner, server().connectionString(database)).dataSet;
    employees->SetCommandText("select * from Bas_Employee order by deptno, empno");
    employees->Open();
    struct Expected {
        const char* name;
        TFieldType type;
    } expected[] = { { "id", ftAutoInc }, { "empno", ftWideString }, { "empname", ftWideString },
        { "sex", ftWideString }, { "birthday", ftDateTime }, { "hiredate", ftDateTime }, { "salary", ftBCD },
        { "married", ftBoolean }, { "deptno", ftInteger }, { "memo", ftMemo } };
    ASSERT_EQ(employees->FieldCount(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < employees->FieldCount(); ++i) {
        EXPECT_EQ(employees->FieldAt(i)->FieldName(), expected[i].name);
        EXPECT_EQ(employees->FieldAt(i)->DataType(), expected[i].type) << expected[i].name;
    }
    EXPECT_EQ(employees->FieldDefs().Items(1).Size, 10);
    EXPECT_EQ(employees->FieldDefs().Items(6).Size, 4);
    EXPECT_EQ(employees->FieldDefs().Items(6).Precision, 19);
    EXPECT_TRUE(employees->FieldDefs().Items(0).Attributes & faReadonly);
    EXPECT_FALSE(employees->FieldDefs().Items(0).Attributes & faHiddenCol);
    // The first employee of department 1: 0014, hired 2000-02-11, 11000.00, not married.
    EXPECT_EQ(employees->FieldNamed("EmpNo")->ValueText(), "0014");
    EXPECT_EQ(employees->FieldNamed("EmpName")->ValueText(), "马芳");
    EXPECT_EQ(employees->FieldNamed("Salary")->Value().integer, 110000000);
    EXPECT_EQ(employees->FieldNamed("HireDate")->Value().real, 36567.0);
    EXPECT_EQ(employees->FieldNamed("Married")->Value().integer, 0);
}

TEST_F(Postgres, ServerTypesAndValues)
{
    server().createDatabase("vltypes");
    std::string longText;
    for (int i = 0; i < 20000; ++i)
        longText += i % 7 == 0 ? "\xE4\xB8\xAD" : "x";
    server().runSql("vltypes",
        "CREATE TABLE t (i2 smallint, i4 integer, i8 bigint, r4 real, r8 double precision, n numeric(12,2),"
        " big numeric(30,10), d date, tm time, ts timestamp, b boolean, g uuid, bin bytea, c char(4),"
        " v varchar(8), memo text, iv interval);"
        "INSERT INTO t VALUES (-32768, 2147483647, -9223372036854775808, 0.1, 0.1, -1234567890.12,"
        " 12345678901234567890.0123456789, '2024-02-29', '13:45:30', '1899-12-30 06:00:00.0005', true,"
        " 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', decode(repeat('00ff', 6000), 'hex'), 'ab', '中文', '"
            + longText
            + "', '1 day 02:00:00');"
              "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, false, NULL, NULL,"
              " NULL, NULL, NULL, NULL);");
    auto connection = openProviderConnection(server().connectionString("vltypes"));
    auto result = connection->execute("select * from t order by b desc");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->rowCount(), 2u);
    const auto& columns = result->columns();
    const int types[] = { adSmallInt, adInteger, adBigInt, adSingle, adDouble, adNumeric, adNumeric, adDBDate, adDBTime,
        adDBTimeStamp, adBoolean, adGUID, adLongVarBinary, adWChar, adVarWChar, adLongVarWChar };
    ASSERT_GE(columns.size(), std::size(types));
    for (std::size_t i = 0; i < std::size(types); ++i)
        EXPECT_EQ(columns[i].type, types[i]) << columns[i].name;
    EXPECT_EQ(columns[5].precision, 12);
    EXPECT_EQ(columns[5].scale, 2);
    EXPECT_EQ(columns[14].definedSize, 8);
    EXPECT_TRUE(columns[13].isFixedLength);
    EXPECT_FALSE(columns[14].isFixedLength);

    EXPECT_EQ(result->cell(0, 0).integer, -32768);
    EXPECT_EQ(result->cell(0, 1).integer, 2147483647);
    EXPECT_EQ(result->cell(0, 2).integer, INT64_MIN);
    EXPECT_EQ(result->cell(0, 3).real, static_cast<double>(0.1f));
    EXPECT_EQ(result->cell(0, 4).real, 0.1);
    EXPECT_EQ(result->cell(0, 5).kind, ProviderCell::Kind::Currency);
    EXPECT_EQ(result->cell(0, 5).integer, -12345678901200);
    // Ten decimals do not fit ten-thousandths: the nearest double instead.
    EXPECT_EQ(result->cell(0, 6).kind, ProviderCell::Kind::Float);
    EXPECT_EQ(result->cell(0, 6).real, 12345678901234567890.0123456789);
    EXPECT_EQ(result->cell(0, 7).real, 45351.0);
    EXPECT_DOUBLE_EQ(result->cell(0, 8).real, (13 * 3600 + 45 * 60 + 30) / 86400.0);
    EXPECT_DOUBLE_EQ(result->cell(0, 9).real, 0.25 + 0.001 / 86400.0);
    EXPECT_EQ(result->cell(0, 10).integer, -1);
    EXPECT_EQ(cellText(result->cell(0, 11)), "{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}");
    ASSERT_EQ(result->cell(0, 12).bytes.size(), 12000u);
    EXPECT_EQ(result->cell(0, 12).bytes.substr(11998), std::string_view("\0\xff", 2));
    EXPECT_EQ(cellText(result->cell(0, 13)), "ab  ");
    EXPECT_EQ(cellText(result->cell(0, 14)), "中文");
    EXPECT_EQ(cellText(result->cell(0, 15)), longText);
    EXPECT_EQ(cellText(result->cell(0, 16)), "1 day 02:00:00");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i != 10) {
            EXPECT_EQ(result->cell(1, i).kind, ProviderCell::Kind::Null) << columns[i].name;
        }
    }
    EXPECT_EQ(result->cell(1, 10).integer, 0);
}

TEST_F(Postgres, FailuresCarryTheDriversMessageAndNothingElse)
{
    const std::string database = server().sampleDatabase();
    auto odbcPart = [](const std::string& adoString) { return adoString.substr(std::strlen("Provider=MSDASQL;")); };

    const std::string wrongPassword = server().connectionString(database, "not-the-password");
    const std::string passwordMessage = oleMessage([&] { openProviderConnection(wrongPassword); });
    EXPECT_NE(passwordMessage.find("password authentication failed"), std::string::npos) << passwordMessage;
    EXPECT_EQ(passwordMessage, driverMessage(odbcPart(wrongPassword)));

    std::string wrongServer = server().connectionString(database);
    wrongServer.replace(wrongServer.find(server().socketFolder()), server().socketFolder().size(), "/nonexistent/vl");
    const std::string serverMessage = oleMessage([&] { openProviderConnection(wrongServer); });
    EXPECT_NE(serverMessage.find("/nonexistent/vl"), std::string::npos) << serverMessage;
    EXPECT_EQ(serverMessage, driverMessage(odbcPart(wrongServer)));

    auto connection = openProviderConnection(server().connectionString(database));
    const std::string badSql = oleMessage([&] { connection->execute("selec * from Bas_Department"); });
    EXPECT_NE(badSql.find("syntax error"), std::string::npos) << badSql;
    EXPECT_EQ(badSql, driverMessage(odbcPart(server().connectionString(database)), "selec * from Bas_Department"));
    try {
        connection->execute("select * from Bas_Nowhere");
        ADD_FAILURE() << "no exception";
    } catch (const EOleException& e) {
        EXPECT_NE(e.Message().find("bas_nowhere"), std::string::npos) << e.Message();
    }
    // The connection stays usable after a failed command.
    auto result = connection->execute("select count(*) as n from Bas_Department");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->cell(0, 0).integer, 12);
}

} // namespace
} // namespace vl::test
