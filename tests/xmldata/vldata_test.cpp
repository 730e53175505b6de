// vldata run as a child process: exit codes, standard error texts and the document's bytes.

#include "ADODB.h"
#include "Application.h"
#include "ChildProcess.h"
#include "CommandLine.h"
#include "JetWriter.h"
#include "SqliteFixture.h"
#include "TestFiles.h"
#include "ToolAnswers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using vl::test::FixtureDatabase;
using vl::test::readBytes;

using vl::test::RunResult;

RunResult runVldata(const std::vector<std::string>& arguments, const std::string& folder)
{
    return vl::test::runProgram(VLDATA_PATH, arguments, folder);
}

class VldataTool : public testing::Test {
protected:
    void SetUp() override
    {
        db.exec("create table Bas_Department (DeptNo integer, DeptName varchar(20));"
                "insert into Bas_Department values (20, 'R<D'), (10, 'Sales & \"Export\"');"
                "create table Bas_Employee (DeptNo integer, Name varchar(10));"
                "insert into Bas_Employee values (10, 'a'), (10, 'b'), (20, 'c'), (30, 'd');");
        connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.path();
    }
    RunResult run(std::vector<std::string> arguments) { return runVldata(arguments, db.folder()); }
    std::vector<std::string> example()
    {
        return { "--connection", connection, "--encoding", "GB2312", "--master",
                 "select * from Bas_Department order by deptno", "--master-fields", "DeptNo, DeptName",
                 "--detail", "Detail", "select * from Bas_Employee order by deptno", "--relation",
                 "DeptNo=DeptNo", "--fields", "DeptNo" };
    }

    FixtureDatabase db;
    std::string connection;
};

constexpr const char* Example
    = "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>"
      "<Row DeptNo=\"10\" DeptName=\"Sales &amp; &quot;Export&quot;\"/><Row DeptNo=\"20\" DeptName=\"R&lt;D\"/>"
      "</Master><Detail><Row __MasterIdx=\"0\" DeptNo=\"10\"/><Row __MasterIdx=\"0\" DeptNo=\"10\"/>"
      "<Row __MasterIdx=\"1\" DeptNo=\"20\"/></Detail></DocumentData>";

TEST_F(VldataTool, WritesTheDocumentToStandardOutputAndToAFile)
{
    RunResult r = run(example());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Example);
    EXPECT_EQ(r.err, "");

    auto arguments = example();
    arguments.insert(arguments.end(), { "-o", "out.xml" });
    r = run(arguments);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readBytes(db.folder() + "/out.xml"), Example);
}

TEST_F(VldataTool, WithoutMasterAndWithSeveralDetails)
{
    RunResult r = run({ "--connection", connection, "--detail", "Detail", "select DeptNo from Bas_Employee",
                        "--fields", "deptno", "--detail", "Names", "select Name from Bas_Employee where DeptNo = 10" });
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "<DocumentData><Detail><Row DeptNo=\"10\"/><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/>"
                     "<Row DeptNo=\"30\"/></Detail><Names><Row Name=\"a\"/><Row Name=\"b\"/></Names></DocumentData>");
}

TEST_F(VldataTool, DefaultConnectionIsTheProgramsOwnInTheCurrentFolder)
{
    std::filesystem::copy_file(db.path(), db.folder() + "/test.mdb");
    auto arguments = example();
    arguments.erase(arguments.begin(), arguments.begin() + 2);
    RunResult r = run(arguments);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Example);
}

TEST_F(VldataTool, FailuresPrintTheProgramsMessage)
{
    struct {
        std::vector<std::string> arguments;
        const char* err;
    } cases[] = {
        { { "--connection", connection, "--master", "select * from Bas_Department", "--detail", "Detail",
            "select * from Bas_Employee", "--relation", "DeptNo = DeptNo" },
          "ADODataSet1: Field '' not found.\n" },
        { { "--connection", connection, "--master", "select * from Bas_Department", "--detail", "A",
            "select * from Bas_Employee", "--relation", "DeptNo=DeptNo", "--detail", "B",
            "select * from Bas_Employee", "--relation", "DeptNo=Nope" },
          "ADODataSet3: Field 'Nope' not found.\n" },
        { { "--connection", connection, "--detail", "A\"", "select * from Bas_Employee" },
          "DetailID 'A\"' of ADODataSet2 cannot be written to the data document.\n" },
    };
    for (const auto& c : cases) {
        RunResult r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(VldataTool, ConnectionFailureReadsAsTheDataLayerReportsIt)
{
    std::string expected;
    {
        TADOConnection probe(nullptr);
        probe.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder() + "/none/x.mdb");
        try {
            probe.Open();
        } catch (const Exception& e) {
            expected = vl::messageWithFullStop(e.Message()) + "\n";
        }
    }
    ASSERT_FALSE(expected.empty());
    RunResult r = run({ "--connection", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder() + "/none/x.mdb" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, expected);
}

TEST_F(VldataTool, AFailedWriteLeavesNoFile)
{
    RunResult r = run({ "--connection", connection, "--master", "select * from Bas_Department", "--detail", "D",
                        "select * from Bas_Employee", "--relation", "x=DeptNo", "-o", "half.xml" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ADODataSet1: Field 'x' not found.\n");
    EXPECT_FALSE(std::filesystem::exists(db.folder() + "/half.xml"));

    r = run({ "--connection", connection, "-o", "no/such/folder.xml" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Cannot create file \"no/such/folder.xml\". No such file or directory.\n");
}

// Hostile or unlucky inputs through the tool: each ends at once with the data layer's message and exit 1,
// and nothing is written.
TEST_F(VldataTool, HostileInputsEndWithTheirMessage)
{
    namespace fs = std::filesystem;
    const std::string folder = db.folder();
    ASSERT_EQ(::mkfifo((folder + "/pipe.mdb").c_str(), 0600), 0);
    fs::create_symlink(folder + "/loop-b.mdb", folder + "/loop-a.mdb");
    fs::create_symlink(folder + "/loop-a.mdb", folder + "/loop-b.mdb");
    db.exec("create table Wide (I integer, S smallint); insert into Wide values (2147483648, 1), (1, 70000);");
    // Should the FIFO ever be opened for reading, a writer lets the tool go on after a while, and the
    // message no longer matches.
    std::atomic<bool> finished = false;
    std::thread guard([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!finished) {
            if (std::chrono::steady_clock::now() > deadline)
                if (const int writer = ::open((folder + "/pipe.mdb").c_str(), O_WRONLY | O_NONBLOCK); writer >= 0)
                    ::close(writer);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::string nested = "select * from Bas_Department where ";
    for (int i = 0; i < 10000; ++i)
        nested += "(";
    nested += "DeptNo=10";
    for (int i = 0; i < 10000; ++i)
        nested += ")";
    const auto jet = [](const std::string& path) { return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path; };
    const struct {
        std::vector<std::string> arguments;
        std::string errStart;
    } cases[] = {
        {{"--connection", jet(folder + "/pipe.mdb"), "-o", "out.xml"}, "'" + folder + "/pipe.mdb' is a FIFO (named pipe)"},
        {{"--connection", jet(folder + "/loop-a.mdb"), "-o", "out.xml"}, "Cannot open file '" + folder + "/loop-a.mdb': too many levels of symbolic links"},
        {{"--connection", connection, "--master", "select I from Wide", "-o", "out.xml"}, "The value 2147483648 in column 'I'"},
        {{"--connection", connection, "--master", "select S from Wide", "-o", "out.xml"}, "The value 70000 in column 'S'"},
        {{"--connection", connection, "--master", nested, "-o", "out.xml"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errStart);
        const RunResult r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_FALSE(r.err.empty());
        EXPECT_NE(r.err.find(c.errStart), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(folder + "/out.xml"));
    }
    finished = true;
    guard.join();
}

TEST_F(VldataTool, UsageHelpAndVersion)
{
    const auto runTool = [this](const std::vector<std::string>& arguments) { return run(arguments); };
    vl::test::expectHelpIsTheUsage(runTool, vl::VldataUsage);
    const RunResult version = run({ "--version" });
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vldata ", 0), 0u) << version.out;

    const std::vector<std::vector<std::string>> bad = {
        { "--bogus" },
        { "--relation", "A=A" },
        { "--fields", "A" },
        { "--master-fields", "A" },
        { "--detail", "OnlyId" },
        { "--master" },
        { "-o" },
        { "--detail", "D", "select 1", "--relation", "a=a", "--relation", "b=b" },
        { "--master", "select 1", "--master", "select 2" },
    };
    vl::test::expectRefusedWithUsage(runTool, bad, vl::VldataUsage);
}

// PNG bytes: signature, a chunk, IEND; an Access OLE "Package" object holding them; bytes that are no picture.
constexpr const char* PngHex = "89504E470D0A1A0A0000000049454E44AE426082";
constexpr const char* PngBase64 = "iVBORw0KGgoAAAAASUVORK5CYII=";

TEST_F(VldataTool, BinaryFieldsBecomeDataUrisOfTheirPicturesOnlyWhenAsked)
{
    db.exec(std::string("create table Pics (Id integer, Photo blob);"
                        "insert into Pics values (1, x'") + PngHex + "'), (2, x'151C2F0002000700" + "5061636B61676500"
            + "0105000002000000" + PngHex + "0105000000000000'), (3, x'00010203'), (4, null), (5, x'');");
    const std::vector<std::string> query = { "--connection", connection, "--detail", "Detail", "select * from Pics order by Id" };

    std::vector<std::string> arguments = query;
    arguments.insert(arguments.end(), { "--binary", "data-uri" });
    RunResult r = run(arguments);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string("<DocumentData><Detail>"
                                 "<Row Id=\"1\" Photo=\"data:image/png;base64,") + PngBase64 + "\"/>"
                  + "<Row Id=\"2\" Photo=\"data:image/png;base64," + PngBase64 + "\"/>"
                  + "<Row Id=\"3\" Photo=\"data:application/octet-stream;base64,AAECAw==\"/>"
                  + "<Row Id=\"4\" Photo=\"\"/><Row Id=\"5\" Photo=\"\"/></Detail></DocumentData>");

    // Without the option, and with --binary raw, the bytes stay as the document's rules write them.
    const RunResult plain = run(query);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out.find("data:"), std::string::npos);
    arguments = query;
    arguments.insert(arguments.end(), { "--binary", "raw" });
    EXPECT_EQ(run(arguments).out, plain.out);
}

TEST_F(VldataTool, AnAccessOleObjectBecomesTheDataUriOfThePictureItWraps)
{
    // An Access file of our own writer with an OLE Object column, as Access stores a pasted picture: the
    // PNG inside a "Package" wrapper, and a column that holds no picture at all.
    using F = vl::jet::FieldType;
    using V = vl::jet::Value;
    auto bytes = [](const std::string& hex) {
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        return out;
    };
    vl::jet::TableDefinition pictures;
    pictures.name = "Staff Photos";
    pictures.columns = { { "Id", F::LongInteger }, { "Photo", F::OleObject } };
    pictures.rows = { { V::ofInteger(1), V::ofBytes(bytes(std::string("151C2F00020007005061636B616765000105000002000000") + PngHex
                                                          + "0105000000000000")) },
        { V::ofInteger(2), V::ofBytes(bytes("00010203")) }, { V::ofInteger(3), V::null() } };
    const std::string file = db.folder() + "/photos.mdb";
    vl::jet::writeDatabaseFile(file, { pictures });
    const RunResult r = run({ "--connection", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file, "--detail", "Detail",
        "select Id, Photo from [Staff Photos] order by Id", "--binary", "data-uri" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string("<DocumentData><Detail><Row Id=\"1\" Photo=\"data:image/png;base64,") + PngBase64
                  + "\"/><Row Id=\"2\" Photo=\"data:application/octet-stream;base64,AAECAw==\"/>"
                  + "<Row Id=\"3\" Photo=\"\"/></Detail></DocumentData>");
}

TEST(VldataCommandLine, OptionsBindToTheDetailBeforeThem)
{
    const auto parsed = vl::parseVldataCommandLine({ "--detail", "A", "q1", "--fields", "f1", "--detail", "B", "q2",
                                                     "--relation", "r2", "--master", "m", "--master-fields", "mf" });
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.options.details.size(), 2u);
    EXPECT_EQ(parsed.options.details[0].fields, "f1");
    EXPECT_EQ(parsed.options.details[0].relation, "");
    EXPECT_EQ(parsed.options.details[1].relation, "r2");
    EXPECT_EQ(parsed.options.details[1].fields, "");
    EXPECT_EQ(parsed.options.masterSql.value_or(""), "m");
    EXPECT_EQ(parsed.options.masterFields, "mf");
    EXPECT_FALSE(parsed.options.connection.has_value());
    EXPECT_FALSE(parsed.options.outputFile.has_value());
}

TEST(VldataCommandLine, EachDataOptionTakesItsOwnValueOnceAndNamesItselfWhenRefused)
{
    const auto parsed = vl::parseVldataCommandLine({ "--master", "m", "--connection", "c" });
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.connection.value_or(""), "c");
    EXPECT_EQ(parsed.options.masterSql.value_or(""), "m");

    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } refused[] = {
        { { "--connection", "a", "--connection", "b" }, "--connection given twice" },
        { { "--master", "a", "--master", "b" }, "--master given twice" },
        { { "--connection" }, "option --connection needs a value" },
        { { "--master" }, "option --master needs a value" },
        { { "--master-fields", "f" }, "--master-fields without --master before it" },
        { { "--master", "m", "--master-fields", "f", "--master-fields", "g" }, "--master-fields given twice" },
        { { "--detail", "A" }, "option --detail needs an ID and a query" },
        { { "--relation", "r" }, "--relation without --detail before it" },
        { { "--detail", "A", "q", "--fields", "f", "--fields", "g" }, "--fields given twice for one detail" },
        { { "--binary" }, "option --binary needs a value" },
        { { "--binary", "hex" }, "--binary takes raw or data-uri, not \"hex\"" },
        { { "--binary", "raw", "--binary", "data-uri" }, "--binary given twice" },
    };
    for (const auto& c : refused)
        EXPECT_EQ(vl::parseVldataCommandLine(c.arguments).error, c.error) << c.arguments.front();
}

} // namespace
