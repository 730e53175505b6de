// The Jet 4 writer, read back by an independent reader: mdbtools' command-line tools.

#include "Fixture.h"
#include "JetFixture.h"
#include "JetFormat_p.h"
#include "JetWriter.h"
#include "ScriptImport.h"

#include "Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{

using vl::encodeDayNumber;

using vl::test::runTool;

TEST(JetHeader, MaskIsTheRc4StreamThatReadersUndo)
{
    // Readers find the database key 0 as the raw bytes FB 8A BC 4E: the stream at 0x3e.
    unsigned char page[vl::jet::PageSize] = {};
    vl::jet::applyHeaderMask(page);
    EXPECT_EQ(vl::jet::get32(page + 0x3e), 0x4ebc8afbu);
    EXPECT_EQ(page[0x17], 0);
    EXPECT_EQ(page[0x18 + 128], 0);
    vl::jet::applyHeaderMask(page);
    for (unsigned char byte : page)
        ASSERT_EQ(byte, 0);
}

TEST(JetHeader, UnmaskedHeaderSaysJet4WithoutKeyOrPassword)
{
    std::string file = vl::jet::buildDatabase(vl::test::allTypesTables(), encodeDayNumber(2024, 1, 2));
    auto* page = reinterpret_cast<unsigned char*>(file.data());
    EXPECT_EQ(std::string(file, 4, 16), std::string("Standard Jet DB\0", 16));
    EXPECT_EQ(vl::jet::get32(page + 0x14), 1u);
    vl::jet::applyHeaderMask(page);
    EXPECT_EQ(vl::jet::get16(page + 0x3c), 1252u);
    EXPECT_EQ(vl::jet::get32(page + 0x3e), 0u); // no encryption key
    for (std::size_t i = 0x42; i < 0x42 + 40; ++i)
        EXPECT_EQ(page[i], 0) << "password byte " << i;
    EXPECT_EQ(vl::jet::get32(page + 0x6e), 0x0409u);
    for (std::size_t i = 0x72; i < 0x7a; ++i)
        EXPECT_EQ(page[i], 0) << "creation date byte " << i;
}

TEST(JetText, CompressesOnlyWhenShorterAndWritable)
{
    struct Case {
        const char* utf8;
        bool allow;
        std::string bytes;
    };
    const Case cases[] = {
        { "", true, "" },
        { "AB", true, std::string("A\0B\0", 4) }, // compressing saves nothing
        { "ABC", true,
            std::string("\xff\xfe"
                        "ABC",
                5) },
        { "ABC", false, std::string("A\0B\0C\0", 6) },
        { "中", true, std::string("\x2d\x4e", 2) },
        { "ABCDEF中", true,
            std::string("\xff\xfe"
                        "ABCDEF\0\x2d\x4e",
                11) },
        { "ABCDEF一", true, std::string("A\0B\0C\0D\0E\0F\0\x00\x4e", 14) }, // U+4E00 has a zero low byte
        { "é!", true, std::string("\xe9\0!\0", 4) },
    };
    for (const Case& c : cases) {
        const std::string& expected = c.bytes;
        EXPECT_EQ(vl::jet::encodeText(c.utf8, c.allow), expected) << c.utf8;
        EXPECT_EQ(vl::jet::decodeText(expected), c.utf8) << c.utf8;
    }
    // Runs switching back and forth, and a damaged value that ends inside a wide character.
    const std::string mixed = "abcdefgh中文ijklmnop中";
    EXPECT_EQ(vl::jet::decodeText(vl::jet::encodeText(mixed, true)), mixed);
    EXPECT_LT(vl::jet::encodeText(mixed, true).size(), mixed.size() * 2);
    EXPECT_EQ(vl::jet::decodeText(std::string("\xff\xfe"
                                              "ab\0\x2d",
                  6)),
        "ab");
}

TEST(JetWriter, RefusesValuesThatDoNotFitTheirColumns)
{
    using F = vl::jet::FieldType;
    using V = vl::jet::Value;
    auto failure = [](vl::jet::TableDefinition table) -> std::string {
        try {
            vl::jet::buildDatabase({ table });
        } catch (const Exception& e) {
            return e.Message();
        }
        return "no failure";
    };
    vl::jet::TableDefinition t { "T", { { "Name", F::Text, 3 }, { "N", F::Byte } },
        { { V::ofText("abcd"), V::null() } } };
    EXPECT_EQ(failure(t), "Table 'T', column 'Name', row 1: the text is longer than the column's size.");
    t.rows = { { V::ofText("中文字"), V::ofInteger(256) } };
    EXPECT_EQ(failure(t), "Table 'T', column 'N', row 1: the number is out of the column's range.");
    t.rows = { { V::ofText("a") } };
    EXPECT_EQ(failure(t), "Table 'T', row 1: 1 values for 2 columns.");
    t.rows = { { V::ofInteger(5), V::null() } };
    EXPECT_EQ(failure(t), "Table 'T', column 'Name', row 1: the value is not a text.");
    EXPECT_EQ(failure({ "T", { { "A", F::Integer, 0, true } }, {} }),
        "Table 'T' column 'A' is auto-increment but not a long integer.");
    EXPECT_EQ(failure({ "T", { { "A", F::Text, 300 } }, {} }),
        "Table 'T' text column 'A' has size 300; 1 to 255 characters fit.");
    EXPECT_EQ(failure({ "T", {}, {} }), "Table 'T' has no columns.");
    EXPECT_EQ(failure({ "MSysThings", { { "A", F::Byte } }, {} }),
        "Table name 'MSysThings' is reserved for the system catalog.");
    EXPECT_EQ(failure({ "T", { { "A", F::Byte }, { "a", F::Byte } }, {} }), "Table 'T' has two columns named 'a'.");
    try {
        vl::jet::buildDatabase({ { "T", { { "A", F::Byte } }, {} }, { "t", { { "A", F::Byte } }, {} } });
        ADD_FAILURE() << "two tables of one name were accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Table 't' is defined twice.");
    }
}

class JetOracle : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!vl::test::haveMdbTools())
            GTEST_SKIP() << "mdbtools' command-line tools are not installed";
        m_path = m_dir.file("all.mdb");
        vl::jet::writeDatabaseFile(m_path, vl::test::allTypesTables(), encodeDayNumber(2024, 1, 2));
    }
    std::string tool(const std::string& arguments) const { return runTool(arguments + " '" + m_path + "'"); }
    std::string exportTable(const std::string& options, const std::string& table) const
    {
        return runTool("mdb-export " + options + " '" + m_path + "' '" + table + "'");
    }

    vl::test::TempDir m_dir;
    std::string m_path;
};

TEST_F(JetOracle, VersionTablesAndSchema)
{
    EXPECT_EQ(tool("mdb-ver"), "JET4\n");
    EXPECT_EQ(tool("mdb-tables -1"), "Everything\nNothing Here\n");
    EXPECT_EQ(tool("mdb-tables -1 -S").find("MSysObjects"), 0u);
    EXPECT_EQ(std::filesystem::file_size(m_path) % vl::jet::PageSize, 0u);
    const std::string schema = tool("mdb-schema --no-indexes --no-relations");
    for (const char* line : { "[ID]\t\t\tLong Integer", "[Flag]\t\t\tBoolean NOT NULL", "[Small]\t\t\tByte",
             "[Short]\t\t\tInteger", "[Long]\t\t\tLong Integer", "[Money]\t\t\tCurrency", "[Single]\t\t\tSingle",
             "[Double]\t\t\tDouble", "[When]\t\t\tDateTime", "[Bin]\t\t\tBinary", "[Name]\t\t\tText (30)",
             "[Picture]\t\t\tOLE", "[Notes]\t\t\tMemo/Hyperlink", "[Guid]\t\t\tReplication ID", "[Amount]\t\t\tNumeric",
             "CREATE TABLE [Nothing Here]", "[A]\t\t\tText (10)" })
        EXPECT_NE(schema.find(line), std::string::npos) << line << "\n" << schema;
    // The auto-increment column is known as such.
    EXPECT_NE(
        runTool("mdb-schema -T Everything '" + m_path + "' postgres").find("\"id\"\t\t\tSERIAL"), std::string::npos);
}

TEST_F(JetOracle, EveryValueReadsBack)
{
    const std::string csv = exportTable("-T '%Y-%m-%d %H:%M:%S' -b strip -q \"'\"", "Everything");
    std::istringstream lines(csv);
    std::string header, first, second, third;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, third);
    EXPECT_EQ(header, "ID,Flag,Small,Short,Long,Money,Single,Double,When,Bin,Name,Picture,Notes,Guid,Amount");
    auto fields = [](const std::string& line, std::size_t count) {
        std::vector<std::string> out;
        std::size_t at = 0;
        for (std::size_t i = 0; i < count && at <= line.size(); ++i) {
            std::size_t end;
            if (at < line.size() && line[at] == '\'') {
                end = at + 1;
                while (end < line.size() && !(line[end] == '\'' && (end + 1 == line.size() || line[end + 1] == ',')))
                    ++end;
                out.push_back(line.substr(at + 1, end - at - 1));
                end += 1;
            } else {
                end = line.find(',', at);
                if (end == std::string::npos)
                    end = line.size();
                out.push_back(line.substr(at, end - at));
            }
            at = end + 1;
        }
        return out;
    };
    const auto a = fields(first, 15);
    ASSERT_EQ(a.size(), 15u) << first;
    EXPECT_EQ(a[0], "1");
    EXPECT_EQ(a[1], "1");
    EXPECT_EQ(a[2], "200");
    EXPECT_EQ(a[3], "-12345");
    EXPECT_EQ(a[4], "2000000000");
    EXPECT_EQ(a[5], "-12.3456");
    EXPECT_EQ(a[8], "2023-03-01 08:30:00");
    EXPECT_EQ(a[9], ""); // mdbtools prints no binary columns; the program's reader checks them
    EXPECT_EQ(a[10], "徐静 & <A>");
    EXPECT_EQ(a[13], ""); // stripped as binary; printed raw below
    // mdbtools groups the last eight bytes without a dash.
    EXPECT_NE(exportTable("-b raw", "Everything").find("{12345678-9ABC-DEF0-1122334455667788}"), std::string::npos);
    EXPECT_EQ(a[14], "12345.678");
    EXPECT_EQ(a[6], "0.1");
    EXPECT_EQ(std::stod(a[7]), 3.141592653589793);
    // mdb-export prints memos up to its bind size; what it prints is the memo's beginning.
    EXPECT_EQ(a[12].substr(0, 30), vl::test::longText(5, "备注note").substr(0, 30));
    const auto b = fields(second, 15);
    ASSERT_EQ(b.size(), 15u) << second;
    EXPECT_EQ(b[0], "2");
    EXPECT_EQ(b[1], "0");
    EXPECT_EQ(b[4], "-2147483648");
    EXPECT_EQ(b[5], "922337203685477.5807");
    EXPECT_EQ(b[11], ""); // OLE objects stripped
    EXPECT_EQ(b[12], vl::test::longText(1500, "ab"));
    EXPECT_EQ(b[14], "-0.001"); // -0.0005 at scale 3
    EXPECT_EQ(third, "3,0,,,,,,,,,,,,,");
    EXPECT_EQ(exportTable("", "Nothing Here"), "A\n");
}

TEST(JetSample, MdbToolsListTheSampleEmployees)
{
    const std::string path = std::string(VL_RUN_DIR) + "/test.mdb";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "the sample is not built";
    if (!vl::test::haveMdbTools())
        GTEST_SKIP() << "mdbtools' command-line tools are not installed";
    EXPECT_EQ(runTool("mdb-ver '" + path + "'"), "JET4\n");
    EXPECT_EQ(runTool("mdb-tables -1 '" + path + "'"), "Bas_Department\nBas_Employee\n");
    const std::string employees = runTool("mdb-export -T '%Y-%m-%d %H:%M:%S' '" + path + "' Bas_Employee");
    EXPECT_EQ(std::count(employees.begin(), employees.end(), '\n'), 1 + 36 + 1); // one memo holds a line break
    EXPECT_NE(
        employees.find("1,\"0001\",\"徐静\",\"女\",\"1965-02-27 00:00:00\",\"2012-02-12 00:00:00\",10500.0000,0,2,"
                       "\"组长 \"\"A\"\" 级 & <优秀>\""),
        std::string::npos)
        << employees;
    EXPECT_NE(
        employees.find("31,\"0031\",\"刘静\",\"女\",\"1971-05-05 00:00:00\",\"2009-04-24 00:00:00\",12.5000,1,4,"),
        std::string::npos);
    const std::string departments = runTool("mdb-export '" + path + "' Bas_Department");
    EXPECT_NE(departments.find("10,11,\"R&D <实验室>\",,3,\"001002003\",\"总公司/研发中心/R&D <实验室>\",3,3"),
        std::string::npos)
        << departments;
}

} // namespace

namespace
{

std::string importFailure(const std::string& script)
{
    vl::test::TempDir dir;
    std::ofstream(dir.file("s.sql")) << script;
    try {
        vl::importSqlScript(dir.file("s.sql"), dir.file("scratch.db"));
    } catch (const Exception& e) {
        EXPECT_FALSE(std::filesystem::exists(dir.file("scratch.db")));
        return e.Message();
    }
    return "no failure";
}

TEST(JetScriptImport, TypesAndValuesComeFromTheProvidersReading)
{
    vl::test::TempDir dir;
    std::ofstream(dir.file("s.sql")) << "create table T (ID integer primary key autoincrement, D datetime, "
                                        "M currency, Y yesno, N nvarchar(5), L longtext, B smallint);"
                                        "insert into T (D, M, Y, N, L, B) values ('2023-03-01 08:30', '12.34', 1, "
                                        "'001', 'x', 7);";
    const auto tables = vl::importSqlScript(dir.file("s.sql"), dir.file("scratch.db"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("scratch.db")));
    ASSERT_EQ(tables.size(), 1u);
    const auto& t = tables[0];
    using F = vl::jet::FieldType;
    ASSERT_EQ(t.columns.size(), 7u);
    EXPECT_EQ(t.columns[0].type, F::LongInteger);
    EXPECT_TRUE(t.columns[0].autoIncrement);
    EXPECT_EQ(t.columns[1].type, F::DateTime);
    EXPECT_EQ(t.columns[2].type, F::Currency);
    EXPECT_EQ(t.columns[3].type, F::Boolean);
    EXPECT_EQ(t.columns[4].type, F::Text);
    EXPECT_EQ(t.columns[4].size, 5);
    EXPECT_EQ(t.columns[5].type, F::Memo);
    EXPECT_EQ(t.columns[6].type, F::Integer);
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][1].real, encodeDayNumber(2023, 3, 1, 8, 30));
    EXPECT_EQ(t.rows[0][2].integer, 123400);
    EXPECT_EQ(t.rows[0][3].integer, -1);
    EXPECT_EQ(t.rows[0][4].bytes, "001");
}

TEST(JetScriptImport, FailuresNameTheScriptOrTheColumn)
{
    EXPECT_EQ(importFailure("create table T (a integer); insert into U values (1);").rfind("The script '", 0), 0u);
    EXPECT_NE(importFailure("create table T (a integer); insert into U values (1);").find("no such table: U"),
        std::string::npos);
    EXPECT_EQ(importFailure("create table T (big bigint);"),
        "Table 'T', column 'big': a Jet 4 database has no column of ADO type 20.");
}

} // namespace
