#include "TextFolder.h"
#include "TextFolder_p.h"
#include "TextSchema_p.h"

#include "ChildProcess.h"
#include "Fixture.h"
#include "Text.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace vl;
using vl::test::messageOf;
using vl::test::TempDir;

namespace
{

const char* const csvProperties = "text;HDR=Yes;FMT=Delimited";

// A cell as the tests compare it: null, integers, reals (%g), amounts in ten-thousandths, dates
// as day numbers, texts as they are.
std::string cellText(const ProviderResult& result, std::size_t row, std::size_t column)
{
    const ProviderCell cell = result.cell(row, column);
    switch (cell.kind) {
    case ProviderCell::Kind::Null:
        return "null";
    case ProviderCell::Kind::Integer:
        return std::to_string(cell.integer);
    case ProviderCell::Kind::Currency:
        return "$" + std::to_string(cell.integer);
    case ProviderCell::Kind::Float:
        return format("%g", cell.real);
    case ProviderCell::Kind::Date:
        return format("d%g", cell.real);
    case ProviderCell::Kind::Text:
        return std::string(cell.bytes);
    case ProviderCell::Kind::Bytes:
        return "bytes";
    }
    return "?";
}

std::vector<std::vector<std::string>> rowsOf(const ProviderResult& result)
{
    std::vector<std::vector<std::string>> rows(result.rowCount());
    for (std::size_t row = 0; row < rows.size(); ++row)
        for (std::size_t column = 0; column < result.columns().size(); ++column)
            rows[row].push_back(cellText(result, row, column));
    return rows;
}

std::vector<std::string> namesOf(const ProviderResult& result)
{
    std::vector<std::string> names;
    for (const ProviderColumn& column : result.columns())
        names.push_back(column.name);
    return names;
}

std::vector<int> typesOf(const ProviderResult& result)
{
    std::vector<int> types;
    for (const ProviderColumn& column : result.columns())
        types.push_back(column.type);
    return types;
}

class TextFolderTest : public testing::Test
{
protected:
    void write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(m_dir.file(name), std::ios::binary) << bytes;
    }
    std::string connectionString(const std::string& properties = csvProperties) const
    {
        return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_dir.path() + ";Extended Properties=\"" + properties
            + "\"";
    }
    std::unique_ptr<ProviderResult> query(const std::string& sql, const std::string& properties = csvProperties)
    {
        return openProviderConnection(connectionString(properties))->execute(sql);
    }
    std::string failure(const std::string& sql, const std::string& properties = csvProperties)
    {
        return messageOf([&] { query(sql, properties); });
    }

    TempDir m_dir;
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(TextFolderTest, ReadsQuotingLineEndsAndByteOrderMarks)
{
    struct Case {
        const char* name;
        std::string bytes;
        Rows rows;
    };
    const Case cases[] = {
        { "plain LF", "a,b\n1x,2y\n3x,4y\n", { { "1x", "2y" }, { "3x", "4y" } } },
        { "CRLF, no final line end", "a,b\r\n1x,2y\r\n3x,4y", { { "1x", "2y" }, { "3x", "4y" } } },
        { "CR alone", "a,b\r1x,2y\r", { { "1x", "2y" } } },
        { "doubled quote", "a,b\n\"say \"\"hi\"\"\",x\n", { { "say \"hi\"", "x" } } },
        { "delimiter in quotes", "a,b\n\"1,5\",\"\"\n", { { "1,5", "null" } } },
        { "LF inside quotes", "a,b\n\"one\ntwo\",x\n", { { "one\ntwo", "x" } } },
        { "CRLF inside quotes", "a,b\r\n\"one\r\ntwo\",x\r\n", { { "one\r\ntwo", "x" } } },
        { "byte-order mark",
            "\xEF\xBB\xBF"
            "a,b\nx,y\n",
            { { "x", "y" } } },
        { "blank lines skipped", "a,b\n\nx,y\n\r\n\nz,w\n", { { "x", "y" }, { "z", "w" } } },
        { "short record, long record", "a,b\nx\ny,z,extra\n", { { "x", "null" }, { "y", "z" } } },
        { "text after closing quote", "a,b\n\"ab\"cd,x\n", { { "abcd", "x" } } },
        { "CJK", "a,b\n\xE5\xBC\xA0\xE4\xB8\x89,\xE5\x8C\x97\xE4\xBA\xAC\n",
            { { "\xE5\xBC\xA0\xE4\xB8\x89", "\xE5\x8C\x97\xE4\xBA\xAC" } } },
        { "invalid UTF-8 replaced", "a,b\n\xFFx,y\n", { { "\xEF\xBF\xBDx", "y" } } },
    };
    for (const Case& c : cases) {
        write("t.csv", c.bytes);
        auto result = query("select * from [t.csv]");
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(namesOf(*result), (std::vector<std::string> { "a", "b" })) << c.name;
        EXPECT_EQ(rowsOf(*result), c.rows) << c.name;
    }
}

TEST_F(TextFolderTest, GuessesTypesFromTheFirstRows)
{
    write("staff.csv",
        "id,name,rate,salary,hired,code,mixed,wide,none\n"
        "1,Ann,1.5,$1000.50,2020-01-15,007,1,3000000000,\n"
        "2,Bob,2,\"$12,345.6\",3/4/2021 2:05 PM,010,2.5,1,\n");
    auto result = query("select * from [staff.csv] order by id");
    EXPECT_EQ(typesOf(*result),
        (std::vector<int> {
            adInteger, adVarWChar, adDouble, adCurrency, adDate, adVarWChar, adDouble, adDouble, adVarWChar }));
    EXPECT_EQ(result->columns()[1].definedSize, 255);
    EXPECT_FALSE(result->columns()[0].isUpdatable);
    EXPECT_EQ(rowsOf(*result),
        (Rows { { "1", "Ann", "1.5", "$10005000", "d43845", "007", "1", "3e+09", "null" },
            { "2", "Bob", "2", "$123456000", format("d%g", 44259 + (14 * 60 + 5) / 1440.0), "010", "2.5", "1",
                "null" } }));
}

TEST_F(TextFolderTest, ValuesBeyondTheGuessAreNullAndLongTextIsMemo)
{
    std::string bytes = "n,t\n";
    for (int i = 0; i < 25; ++i)
        bytes += std::to_string(i) + ",x\n";
    bytes += "oops," + std::string(300, 'y') + "\n";
    write("late.csv", bytes);
    auto result = query("select n, t from [late.csv] where rowid = 26");
    EXPECT_EQ(typesOf(*result), (std::vector<int> { adInteger, adVarWChar }));
    EXPECT_EQ(rowsOf(*result), (Rows { { "null", std::string(300, 'y') } }));
    // MaxScanRows=0 looks at every row.
    result = query("select n, t from [late.csv] where rowid = 26", "text;MaxScanRows=0");
    EXPECT_EQ(typesOf(*result), (std::vector<int> { adVarWChar, adLongVarWChar }));
    EXPECT_EQ(rowsOf(*result)[0][0], "oops");
}

TEST_F(TextFolderTest, SchemaIniDeclaresEveryType)
{
    struct Case {
        const char* type;
        const char* value;
        int adoType;
        std::string read;
    };
    const Case cases[] = {
        { "Text", "007", adVarWChar, "007" },
        { "Text Width 20", "abc", adVarWChar, "abc" },
        { "Memo", "long", adLongVarWChar, "long" },
        { "Char", "c", adVarWChar, "c" },
        { "Integer", "-70000", adInteger, "-70000" },
        { "Long", "2147483647", adInteger, "2147483647" },
        { "Short", "-32768", adSmallInt, "-32768" },
        { "Short", "40000", adSmallInt, "null" },
        { "Byte", "255", adUnsignedTinyInt, "255" },
        { "Single", "0.5", adSingle, "0.5" },
        { "Double", "1e3", adDouble, "1000" },
        { "Float", "-2.25", adDouble, "-2.25" },
        { "Currency", "1234.56789", adCurrency, "$12345679" },
        { "Currency", "-$1,000", adCurrency, "$-10000000" },
        { "DateTime", "2021-02-03 04:05:06", adDate,
            format("d%.10g", 44230 + (4 * 3600 + 5 * 60 + 6) / 86400.0).c_str() },
        { "Date", "12/31/1899", adDate, "d1" },
        { "Date", "not a date", adDate, "null" },
        { "Bit", "True", adBoolean, "-1" },
        { "Bit", "0", adBoolean, "0" },
        { "Integer", "12x", adInteger, "null" },
    };
    for (const Case& c : cases) {
        write("schema.ini",
            std::string("[typed.csv]\nColNameHeader=True\nFormat=CSVDelimited\nCol1=\"The Value\" ") + c.type + "\n");
        write("typed.csv", std::string("ignored header\n\"") + c.value + "\"\n");
        auto result = query("select * from [typed.csv]");
        ASSERT_EQ(result->columns().size(), 1u) << c.type;
        EXPECT_EQ(result->columns()[0].name, "The Value") << c.type;
        EXPECT_EQ(result->columns()[0].type, c.adoType) << c.type;
        std::string read = cellText(*result, 0, 0);
        if (read.starts_with("d"))
            read = format("d%.10g", result->cell(0, 0).real);
        EXPECT_EQ(read, c.read) << c.type << " " << c.value;
    }
}

TEST_F(TextFolderTest, SchemaIniSectionsDecideHeaderAndDelimiter)
{
    write("Schema.INI",
        "; settings per file\n[SEMI.TXT]\nColNameHeader=False\nFormat=Delimited(;)\n"
        "Col1=Name Text Width 30\nCol2=Amount Currency\n\n[tabbed.txt]\nFormat=TabDelimited\n");
    write("semi.txt", "x;1,5\ny;2\n");
    write("tabbed.txt", "a\tb\n1\t\"two\tthree\"\n");
    auto result = query("select * from [semi.txt]");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string> { "Name", "Amount" }));
    EXPECT_EQ(result->columns()[0].definedSize, 30);
    EXPECT_EQ(rowsOf(*result), (Rows { { "x", "null" }, { "y", "$20000" } }));
    result = query("select * from [tabbed.txt]");
    EXPECT_EQ(rowsOf(*result), (Rows { { "1", "two\tthree" } }));
}

TEST_F(TextFolderTest, ConnectionFormatsAndHeaderSetting)
{
    write("t.csv", "1;a\n2;b\n");
    write("tab.txt", "1\ta,b\n");
    EXPECT_EQ(
        rowsOf(*query("select * from [t.csv]", "text;HDR=No;FMT=Delimited(;)")), (Rows { { "1", "a" }, { "2", "b" } }));
    EXPECT_EQ(namesOf(*query("select * from [t.csv]", "TEXT;hdr=no;fmt=Delimited(;)")),
        (std::vector<std::string> { "F1", "F2" }));
    EXPECT_EQ(rowsOf(*query("select * from [tab.txt]", "text;HDR=No;FMT=TabDelimited")), (Rows { { "1", "a,b" } }));
    EXPECT_EQ(rowsOf(*query("select * from [t.csv]", "text")), (Rows { { "2;b" } }));
}

TEST_F(TextFolderTest, HeaderNamesFollowTheirRule)
{
    write("h.csv", "a,,A,a_2, b \n1,2,3,4,5\n");
    EXPECT_EQ(namesOf(*query("select * from [h.csv]")), (std::vector<std::string> { "a", "F2", "A_2", "a_2_2", "b" }));
}

TEST_F(TextFolderTest, TableNamesIgnoreCaseAndTakeJetsHashForm)
{
    write("Staff.CSV", "n\n1\n");
    EXPECT_EQ(rowsOf(*query("select * from [staff.csv]")), (Rows { { "1" } }));
    EXPECT_EQ(rowsOf(*query("select * from [STAFF#CSV]")), (Rows { { "1" } }));
    EXPECT_EQ(rowsOf(*query("select count(*) from [Staff.CSV] a, [staff.csv] b")), (Rows { { "1" } }));
}

TEST_F(TextFolderTest, JoinsAndGroupsAcrossFiles)
{
    write("dept.csv", "DeptNo,DeptName\n1,Sales\n2,\"R&D, Labs\"\n3,Empty\n");
    write("staff.csv", "Name,DeptNo,Salary\nAnn,1,$100.50\nBob,2,$200\nCy,2,$300.25\nDi,9,$1\n");
    auto result = query("select d.DeptName, count(*) as n, sum(s.Salary) as total from [staff.csv] s "
                        "join [dept.csv] d on d.DeptNo = s.DeptNo group by d.DeptName order by d.DeptName");
    EXPECT_EQ(rowsOf(*result), (Rows { { "R&D, Labs", "2", "500.25" }, { "Sales", "1", "100.5" } }));
    result = query("select DeptName from [dept.csv] where DeptNo not in (select DeptNo from [staff.csv])");
    EXPECT_EQ(rowsOf(*result), (Rows { { "Empty" } }));
    result = query("with d as materialized (select * from [dept.csv]) select s.Name from [staff.csv] s "
                   "join d on d.DeptNo = s.DeptNo where d.DeptName = 'Sales'");
    EXPECT_EQ(rowsOf(*result), (Rows { { "Ann" } }));
    result = query("select top 2 Name from [staff.csv] order by Salary desc");
    EXPECT_EQ(rowsOf(*result), (Rows { { "Cy" }, { "Bob" } }));
}

TEST_F(TextFolderTest, HeaderOnlyFileHasColumnsAndNoRows)
{
    write("empty-rows.csv", "a,b\r\n");
    auto result = query("select * from [empty-rows.csv]");
    EXPECT_EQ(result->rowCount(), 0u);
    EXPECT_EQ(namesOf(*result), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(typesOf(*result), (std::vector<int> { adVarWChar, adVarWChar }));
}

TEST_F(TextFolderTest, NarrowCodePageIsConvertedUnlessUtf8)
{
    vl::test::ScopedLocale locale("zh_CN.gbk");
    if (!locale.ok())
        GTEST_SKIP() << "no zh_CN.gbk locale";
    write("gbk.csv", "name\n\xD5\xC5\xC8\xFD\n");
    write("utf8.csv", "\xEF\xBB\xBFname\n\xE5\xBC\xA0\xE4\xB8\x89\n");
    write("schema.ini", "[declared.csv]\nCharacterSet=65001\n");
    write("declared.csv", "name\n\xE5\xBC\xA0\xE4\xB8\x89\n");
    for (const char* file : { "gbk.csv", "utf8.csv", "declared.csv" })
        EXPECT_EQ(
            rowsOf(*query(std::string("select * from [") + file + "]")), (Rows { { "\xE5\xBC\xA0\xE4\xB8\x89" } }))
            << file;
}

TEST_F(TextFolderTest, RefusesWithClearMessages)
{
    std::string rows = "a\n";
    for (int i = 0; i < 30; ++i)
        rows += "short\n";
    write("long.csv", rows + std::string((1 << 20) + 1, 'x') + "\n");
    write("ok.csv", "a\n1\n");
    std::string wide;
    for (int i = 0; i < 256; ++i)
        wide += "c,";
    write("wide.csv", wide + "\n");
    write("open.csv", "a,b\n1,\"never closed\n2,3\n");
    write("empty.csv", "");
    write("notes.dat", "a\n1\n");
    const std::string dir = m_dir.path();
    struct Case {
        const char* sql;
        std::string message;
    };
    const Case cases[] = {
        { "select * from [long.csv]",
            "Reading '" + dir + "' failed: '" + dir
                + "/long.csv' line 32, column 1: the record is longer than 1048576 bytes" },
        { "select * from [wide.csv]",
            "The file '" + dir + "/wide.csv' line 1, column 511: the record has more than 255 fields" },
        { "select * from [open.csv]",
            "The file '" + dir
                + "/open.csv' line 2, column 3: the file ends inside the quoted value that begins here" },
        { "select * from [empty.csv]",
            "The file '" + dir + "/empty.csv' is empty: it has no header line to name its columns" },
        { "select * from [missing.csv]", "The input table or query 'missing.csv' cannot be found" },
        { "select * from [notes.dat]", "The input table or query 'notes.dat' cannot be found" },
        { "delete from [ok.csv]", "Invalid command text: table ok.csv may not be modified" },
        { "select * from [ok.csv] where 0; drop table x", "Characters found after end of SQL statement" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(failure(c.sql), c.message) << c.sql;
    EXPECT_EQ(failure("select * from [empty.csv]", "text;HDR=No"),
        "The file '" + dir + "/empty.csv' is empty: it has no record to tell its columns");
}

TEST_F(TextFolderTest, RefusesBadSourcesAndProperties)
{
    write("file.csv", "a\n");
    const std::string dir = m_dir.path();
    auto open = [](const std::string& source, const std::string& properties) {
        return messageOf([&] {
            openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + source + ";Extended Properties=\""
                + properties + "\"");
        });
    };
    EXPECT_EQ(open(dir + "/nowhere", "text"),
        "'" + dir + "/nowhere' is not a valid path: the folder of the text files does not exist");
    EXPECT_EQ(open(dir + "/file.csv", "text"),
        "'" + dir + "/file.csv' is a file, not a folder: a text source names the folder that holds the files");
    EXPECT_EQ(open(dir, "text;HDR=Maybe"), "Extended Properties: HDR must be Yes or No, not 'Maybe' at position 6");
    EXPECT_EQ(open(dir, "text;FMT=FixedLength"),
        "Extended Properties: FMT: fixed-length text files are not supported at position 6");
    write("schema.ini", "[file.csv]\nCol1=Name Decimal\n");
    EXPECT_EQ(messageOf([&] { query("select * from [file.csv]"); }),
        "The file '" + dir + "/schema.ini' line 2, column 11: unknown column type 'Decimal'");
}

TEST(TextSchema, SchemaIniFaultsSayWhereAndWhy)
{
    struct Case {
        const char* text;
        const char* message;
        std::size_t line, column;
    };
    const Case cases[] = {
        { "Col1=a Text\n", "a key stands before the first [file name] section", 1, 1 },
        { "[a.csv]\n  nonsense\n", "a line is [file name], Key=Value or a comment", 2, 3 },
        { "[a.csv]\nCol2=a Text\n", "Col1 is missing before Col2", 2, 1 },
        { "[a.csv]\nCol1=a Text\nCol1=b Text\n", "Col1 is given twice", 3, 1 },
        { "[a.csv]\nCol1=a Text Width 0\n", "after the type only 'Width n' (1 to 65535) may follow", 2, 13 },
        { "[a.csv]\nCol1=\"a b Text\n", "the quoted column name has no closing quote", 2, 6 },
        { "[a.csv]\nCol1=a\n", "the column has no type", 2, 7 },
        { "[a.csv]\nFormat=Delimited(\")\n",
            "the delimiter of 'Delimited(\")' must be one character other than a quote or a line end", 2, 8 },
        { "[a.csv]\nColNameHeader=perhaps\n", "ColNameHeader must be True or False", 2, 15 },
        { "[a.csv]\nCol256=a Text\n", "more than 255 columns", 2, 1 },
    };
    for (const Case& c : cases) {
        const SchemaIni schema = parseSchemaIni(c.text, 255);
        EXPECT_EQ(schema.fault.message, c.message) << c.text;
        EXPECT_EQ(schema.fault.line, c.line) << c.text;
        EXPECT_EQ(schema.fault.column, c.column) << c.text;
    }
}

TEST(TextSchema, GuessesAndDatesByTable)
{
    struct Case {
        std::vector<const char*> values;
        TextType type;
    };
    const Case cases[] = {
        { { "1", "-2", "+3" }, TextType::Integer },
        { { "1", "2147483648" }, TextType::Double },
        { { "1", "1.5" }, TextType::Double },
        { { "1", "$1,234.5" }, TextType::Currency },
        { { "$1,23" }, TextType::Text },
        { { "2020-01-02", "1/2/2020 10:00" }, TextType::Date },
        { { "2020-01-02", "1" }, TextType::Text },
        { { "2020-02-30" }, TextType::Text },
        { { "0012" }, TextType::Text },
        { { "inf" }, TextType::Text },
        { { "", " " }, TextType::Text },
    };
    for (const Case& c : cases) {
        TypeGuess guess;
        for (const char* value : c.values)
            guess.add(value);
        EXPECT_EQ(guess.type(), c.type) << c.values.front();
    }
    const std::pair<const char*, const char*> dates[] = {
        { "2020-1-2", "2020-01-02" },
        { "2020/12/31 23:59", "2020-12-31 23:59:00" },
        { "2020-12-31T23:59:58.25", "2020-12-31 23:59:58.25" },
        { "12/31/2020 12:30 AM", "2020-12-31 00:30:00" },
        { "2/29/2021", "" },
        { "13/1/2020", "" },
        { "2020-01-02x", "" },
    };
    for (const auto& [text, iso] : dates)
        EXPECT_EQ(isoDateText(text).value_or(""), iso) << text;
}

#ifdef VLDATA_PATH
TEST_F(TextFolderTest, VldataReadsTheFolderEndToEnd)
{
    write("staff.csv", "Name,Salary\nAnn,$100.5\n\"B<o>b\",$20\n");
    const vl::test::RunResult run = vl::test::runProgram(VLDATA_PATH,
        { "--connection", connectionString(), "--master", "select * from [staff.csv] order by Salary" }, m_dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("B&lt;o&gt;b"), std::string::npos) << run.out;
    EXPECT_LT(run.out.find("B&lt;o&gt;b"), run.out.find("Ann")) << run.out;
}
#endif

} // namespace

namespace
{

// Two files as a folder holds them and as tables of an SQLite database with the same declared
// types, so that a query's rows over the files can be compared with SQLite's own.
struct JoinFile {
    const char* name;
    const char* schema; // schema.ini's columns
    const char* declared; // the same columns in SQL
    std::vector<std::vector<std::string>> rows; // "" is an empty field (null)
};

const std::vector<JoinFile> joinFiles = {
    { "left.csv", "Col1=Id Integer\nCol2=Ratio Double\nCol3=Name Text\nCol4=Born DateTime\n",
        "Id INTEGER, Ratio DOUBLE, Name VARCHAR(255), Born DATETIME",
        { { "1", "1", "Ann", "2001-02-03" }, { "2", "2.5", "bob", "" }, { "3", "", "Cy", "1999-12-31" },
            { "4", "4", "", "2001-02-03" }, { "5", "1.0", "ANN", "" }, { "", "0", "Di", "" } } },
    { "right.csv", "Col1=Ref Integer\nCol2=Ratio Double\nCol3=Name Text\nCol4=Note Text\nCol5=Born DateTime\n",
        "Ref INTEGER, Ratio DOUBLE, Name VARCHAR(255), Note VARCHAR(255), Born DATETIME",
        { { "1", "1.0", "ann", "a", "2001-02-03" }, { "1", "2.50", "Bob", "b", "" }, { "2", "", "cy", "c", "" },
            { "", "4.0", "", "d", "1999-12-31" }, { "9", "1", "Ann", "e", "" }, { "3", "-0", "2.0", "f", "" },
            { "4", "3", "03", "g", "" }, { "1", "", "x", "h", "" } } },
};

std::string referenceCell(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return "null";
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return format("%g", sqlite3_column_double(stmt, column));
    default:
        return reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    }
}

class TextJoinTest : public TextFolderTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(sqlite3_open(":memory:", &m_reference), SQLITE_OK);
        std::string ini;
        for (const JoinFile& file : joinFiles) {
            ini += std::string("[") + file.name + "]\nColNameHeader=False\nFormat=CSVDelimited\n" + file.schema;
            std::string csv;
            for (const auto& row : file.rows) {
                for (std::size_t i = 0; i < row.size(); ++i)
                    csv += (i ? "," : "") + row[i];
                csv += "\n";
            }
            write(file.name, csv);
            exec(std::string("create table [") + file.name + "](" + file.declared + ")");
            for (const auto& row : file.rows) {
                sqlite3_stmt* insert = nullptr;
                std::string sql = std::string("insert into [") + file.name + "] values (?";
                for (std::size_t i = 1; i < row.size(); ++i)
                    sql += ",?";
                sql += ")";
                ASSERT_EQ(sqlite3_prepare_v2(m_reference, sql.c_str(), -1, &insert, nullptr), SQLITE_OK) << sql;
                for (std::size_t i = 0; i < row.size(); ++i)
                    if (!row[i].empty())
                        sqlite3_bind_text(insert, static_cast<int>(i + 1), row[i].c_str(), -1, SQLITE_TRANSIENT);
                EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
                sqlite3_finalize(insert);
            }
        }
        write("schema.ini", ini);
    }
    void TearDown() override { sqlite3_close(m_reference); }

    void exec(const std::string& sql)
    {
        ASSERT_EQ(sqlite3_exec(m_reference, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }

    // The rows in a stable order: the plan, and so the order, may differ.
    Rows referenceRows(const std::string& sql)
    {
        Rows rows;
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(m_reference, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(m_reference);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                rows.back().push_back(referenceCell(stmt, i));
        }
        sqlite3_finalize(stmt);
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    Rows folderRows(const std::string& sql, const TextLimits& limits)
    {
        Rows rows = rowsOf(*openTextFolder(m_dir.path(), csvProperties, limits)->execute(sql));
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    sqlite3* m_reference = nullptr;
};

// Every limit of the look-up's memory gives the same rows: a whole map, one that outgrows it at the
// first record kept, one that outgrows it midway.
std::vector<TextLimits> lookupLimits()
{
    std::vector<TextLimits> limits(3);
    limits[1].maxLookupBytes = 1;
    limits[2].maxLookupBytes = 900;
    return limits;
}

TEST_F(TextJoinTest, EqualitiesGiveSQLitesRows)
{
    const struct {
        const char* what;
        const char* sql;
        std::size_t expectedRows; // so that a case that matches nothing on both sides is noticed
    } cases[] = {
        { "float written differently", "select l.Id, r.Note from [left.csv] l join [right.csv] r on r.Ratio = l.Ratio",
            7 },
        { "integer against float", "select l.Id, r.Note from [left.csv] l join [right.csv] r on r.Ratio = l.Id", 4 },
        { "text by case (binary)", "select l.Id, r.Note from [left.csv] l join [right.csv] r on r.Name = l.Name", 1 },
        { "text without case",
            "select l.Id, r.Note from [left.csv] l join [right.csv] r on r.Name = l.Name collate nocase", 6 },
        { "text against a number", "select l.Id, r.Note from [left.csv] l join [right.csv] r on l.Id = r.Name", 2 },
        { "number against a text", "select l.Id, r.Note from [right.csv] r join [left.csv] l on r.Name = l.Id", 2 },
        { "dates", "select l.Id, r.Note from [left.csv] l join [right.csv] r on r.Born = l.Born", 3 },
        { "duplicates and nulls", "select l.Id, r.Note from [left.csv] l join [right.csv] r on r.Ref = l.Id", 6 },
        { "left join", "select l.Id, r.Note from [left.csv] l left join [right.csv] r on r.Ref = l.Id", 8 },
        { "in subquery", "select Note from [right.csv] where Ref in (select Id from [left.csv] where Ratio >= 2.5)",
            2 },
        { "literal text on a number column", "select Note from [right.csv] where Ratio = ' 1.0'", 2 },
        { "literal number on a text column", "select Note from [right.csv] where Name = 3", 0 },
        { "literal text on a text column", "select Note from [right.csv] where Name = 'ANN' collate nocase", 2 },
        { "negative zero", "select Note from [right.csv] where Ratio = 0", 1 },
    };
    for (const auto& c : cases) {
        const Rows expected = referenceRows(c.sql);
        EXPECT_EQ(expected.size(), c.expectedRows) << c.what;
        for (const TextLimits& limits : lookupLimits())
            EXPECT_EQ(folderRows(c.sql, limits), expected) << c.what << ", look-up limit " << limits.maxLookupBytes;
    }
}

TEST_F(TextFolderTest, LookupKeepsEveryRowOfAKey)
{
    std::ostringstream many, few;
    many << "Key,Seq\n";
    for (int i = 0; i < 1000; ++i)
        many << (i % 10) << "," << i << "\n";
    few << "Key,Label\n";
    for (int i = 0; i < 12; ++i)
        few << i << ",k" << i << "\n";
    write("many.csv", many.str());
    write("few.csv", few.str());
    const char* sql = "select f.Label, count(*), sum(m.Seq), min(m.Seq), max(m.Seq) from [few.csv] f "
                      "join [many.csv] m on m.Key = f.Key group by f.Label order by f.Label";
    const Rows expected = { { "k0", "100", "49500", "0", "990" }, { "k1", "100", "49600", "1", "991" },
        { "k2", "100", "49700", "2", "992" }, { "k3", "100", "49800", "3", "993" },
        { "k4", "100", "49900", "4", "994" }, { "k5", "100", "50000", "5", "995" },
        { "k6", "100", "50100", "6", "996" }, { "k7", "100", "50200", "7", "997" },
        { "k8", "100", "50300", "8", "998" }, { "k9", "100", "50400", "9", "999" } };
    for (const std::size_t limit : { std::size_t(64) << 20, std::size_t(20000), std::size_t(1) }) {
        TextLimits limits;
        limits.maxLookupBytes = limit;
        EXPECT_EQ(rowsOf(*openTextFolder(m_dir.path(), csvProperties, limits)->execute(sql)), expected)
            << "limit " << limit;
    }
    // The rows of one key come in the file's order, after those of an earlier statement's key.
    EXPECT_EQ(rowsOf(*query("select Seq from [many.csv] where Key = 7 and Seq < 40")),
        (Rows { { "7" }, { "17" }, { "27" }, { "37" } }));
}

} // namespace
