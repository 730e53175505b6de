// vlreport run as a child process over the sample and small fixtures: the PDF read back with poppler's
// tools, the PNG pages, exit codes and messages; the expected pages come from the engine in-process, so
// the tool is held to the one layout the viewer shows.

#include "Application.h"
#include "ChildProcess.h"
#include "CommandOutput.h"
#include "DataDocumentSource.h"
#include "Exceptions.h"
#include "ReportCommandLine.h"
#include "ReportLayout.h"
#include "ReportTemplate.h"
#include "SampleFolder.h"
#include "SqliteFixture.h"
#include "TestFiles.h"
#include "Text.h"
#include "ToolAnswers.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using vl::test::commandOutput;
using vl::test::withoutSpace;
using vl::test::FixtureDatabase;
using vl::test::readBytes;

using vl::test::RunResult;

RunResult runVlreport(const std::vector<std::string>& arguments, const std::string& folder)
{
    // The tool needs no display whatever the caller's platform says.
    return vl::test::runProgram(VLREPORT_PATH, arguments, folder, {}, { { "QT_QPA_PLATFORM", "xcb" }, { "DISPLAY", "" } });
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

void ensureGuiApplication()
{
    if (!QGuiApplication::instance()) {
        static int argc = 1;
        static char name[] = "tools_tests";
        static char* argv[] = {name, nullptr};
        static QGuiApplication application(argc, argv);
    }
}

const std::vector<std::string> SampleQueries = {"--master", "select * from Bas_Department order by deptno",
                                                "--detail", "Detail", "select * from Bas_Employee order by deptno",
                                                "--relation", "DeptNo=DeptNo"};

class VlreportTool : public testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        folder = db.folder();
        vl::test::copySample(folder, "test.vld");
    }
    RunResult run(const std::vector<std::string>& arguments) { return runVlreport(arguments, folder); }
    std::vector<std::string> sample(std::vector<std::string> output)
    {
        std::vector<std::string> arguments = {"test.vld"};
        arguments.insert(arguments.end(), SampleQueries.begin(), SampleQueries.end());
        arguments.insert(arguments.end(), output.begin(), output.end());
        return arguments;
    }
    // The sample's sheet as the engine lays it out in this process, over the same queries.
    vl::LaidOutReport expectedLayout(const QString& sheetName, std::vector<QString>* departments = nullptr)
    {
        vl::DataOptions options;
        options.connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/test.mdb";
        options.masterSql = SampleQueries[1];
        options.details.push_back({SampleQueries[3], SampleQueries[4], SampleQueries[6], {}});
        vl::DataDocumentSource source(options);
        const QByteArray xml = QString::fromStdU16String(vl::toWide(source.source().GetXML())).toUtf8();
        vl::ReportDataSet data;
        EXPECT_TRUE(vl::parseDataDocument(std::string_view(xml.constData(), size_t(xml.size())), data).ok);
        vl::ReportTemplate reportTemplate;
        const vl::ParseResult parsed = vl::loadTemplateFile(QString::fromStdString(folder + "/test.vld"), reportTemplate);
        EXPECT_TRUE(parsed.ok) << utf8(parsed.message);
        if (departments)
            for (const vl::DataRow& row : data.masterRows)
                departments->push_back(*row.value(QStringLiteral("DeptName")));
        return vl::layoutReport(*reportTemplate.sheet(sheetName), data);
    }

    FixtureDatabase db;
    std::string folder;
};

TEST_F(VlreportTool, SampleAsPdfBreaksPagesAsTheEngineAndKeepsItsText)
{
    std::vector<QString> departments;
    const vl::LaidOutReport expected = expectedLayout(QStringLiteral("Sheet1"), &departments);
    ASSERT_GT(expected.pages.size(), 1u) << "the sample should span pages";
    ASSERT_FALSE(departments.empty());

    const RunResult r = run(sample({"--pdf", "staff.pdf", "--stats"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::regex stats("pages: (\\d+)\nrows: (\\d+)\nload: \\d+ ms\nlayout: \\d+ ms\noutput: \\d+ ms\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(r.out, match, stats)) << r.out;
    EXPECT_EQ(std::stoul(match[1]), expected.pages.size());

    const std::string pdf = folder + "/staff.pdf";
    const std::string info = commandOutput("pdfinfo '" + pdf + "'");
    EXPECT_TRUE(std::regex_search(info, std::regex("\nPages: +" + std::to_string(expected.pages.size()) + "\n")))
        << info;
    // Every text the layout put on a page is on that page of the PDF, so the pages break at the same rows.
    std::string allText;
    for (size_t page = 0; page < expected.pages.size(); ++page) {
        const std::string number = std::to_string(page + 1);
        const std::string text
            = withoutSpace(commandOutput("pdftotext -q -enc UTF-8 -f " + number + " -l " + number + " '" + pdf + "' -"));
        allText += text;
        for (const vl::PageItem& item : expected.pages[page].items)
            EXPECT_NE(text.find(withoutSpace(utf8(item.text))), std::string::npos)
                << "page " << number << " lacks \"" << utf8(item.text) << "\"";
    }
    for (const QString& name : departments)
        EXPECT_NE(allText.find(withoutSpace(utf8(name))), std::string::npos) << utf8(name);

    // Every font is embedded: the column "emb" of pdffonts says yes on every font line.
    const std::string fonts = commandOutput("pdffonts '" + pdf + "'");
    std::istringstream lines(fonts);
    std::string line;
    int fontLines = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("name", 0) == 0 || line.rfind("----", 0) == 0 || line.empty())
            continue;
        ++fontLines;
        EXPECT_NE(line.find(" yes "), std::string::npos) << line;
    }
    EXPECT_GT(fontLines, 0) << fonts;
}

TEST_F(VlreportTool, PngPagesOfTheSecondSheetFromADataDocument)
{
    const vl::LaidOutReport expected = expectedLayout(QStringLiteral("DeptList"));
    // A data document as vldata writes it, with a declaration that the tool leaves to the locale.
    {
        vl::DataOptions options;
        options.masterSql = SampleQueries[1];
        options.connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/test.mdb";
        vl::DataDocumentSource source(options);
        source.source().SetEncoding("GB2312");
        std::ofstream(folder + "/data.xml") << source.source().GetXML();
    }
    const RunResult r = run({"test.vld", "--data", "data.xml", "--sheet", "deptlist", "--png", "pages/out", "--dpi",
                             "40", "--stats"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("pages: " + std::to_string(expected.pages.size()) + "\n", 0), 0u) << r.out;

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder + "/pages/out"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), expected.pages.size());
    const QSize size(qRound(expected.page.paper.width() * 40 / 25.4), qRound(expected.page.paper.height() * 40 / 25.4));
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], vl::format("page-%03zu.png", i + 1));
        const QImage image(QString::fromStdString(folder + "/pages/out/" + names[i]), "PNG");
        ASSERT_FALSE(image.isNull()) << names[i];
        EXPECT_EQ(image.size(), size);
        EXPECT_EQ(qRound(image.dotsPerMeterX() * 0.0254), 40);
        // Something is drawn: not every pixel is the paper's white.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = image.pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_TRUE(drawn) << names[i];
    }
}

TEST_F(VlreportTool, AFieldTheDataLacksIsToldOnceAndPrintsEmpty)
{
    const std::string templateText = "<report version=\"1\"><sheet name=\"S\"><master height=\"6\">"
                                     "<cell x=\"0\" width=\"60\">[Master.DeptName]</cell>"
                                     "<cell x=\"60\" width=\"60\">[Master.NoSuchField]</cell>"
                                     "</master></sheet></report>";
    std::ofstream(folder + "/lacking.vld") << templateText;
    // The prompts the engine gives for this template over this data, each once.
    std::string expected;
    {
        vl::ReportTemplate reportTemplate;
        ASSERT_TRUE(vl::parseTemplate(templateText, reportTemplate).ok);
        vl::DataOptions options;
        options.connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/test.mdb";
        options.masterSql = SampleQueries[1];
        vl::DataDocumentSource source(options);
        const QByteArray xml = QString::fromStdU16String(vl::toWide(source.source().GetXML())).toUtf8();
        vl::ReportDataSet data;
        ASSERT_TRUE(vl::parseDataDocument(std::string_view(xml.constData(), size_t(xml.size())), data).ok);
        vl::LayoutHooks hooks;
        hooks.prompt = [&expected](const QString& message) {
            expected += vl::messageWithFullStop(utf8(message)) + "\n";
        };
        vl::layoutReport(reportTemplate.sheets.front(), data, std::move(hooks));
    }
    ASSERT_NE(expected.find("NoSuchField"), std::string::npos) << expected;

    const RunResult r = run({"lacking.vld", SampleQueries[0], SampleQueries[1], "--pdf", "lacking.pdf"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, expected);
    const std::string text = commandOutput("pdftotext -q -enc UTF-8 '" + folder + "/lacking.pdf' -");
    EXPECT_NE(text.find("总公司"), std::string::npos) << text;
}

TEST_F(VlreportTool, FailuresPrintTheMessageAndWriteNothing)
{
    std::ofstream(folder + "/broken.vld") << "<report version=\"1\"><sheet name=\"A\">\n<title height=\"x\"/></sheet>";
    std::ofstream(folder + "/broken.xml") << "<DocumentData><Master><Row a=\"1\"></Master></DocumentData>";
    std::ofstream(folder + "/keep.pdf") << "old";

    auto expectedMessage = [](const vl::ParseResult& result) {
        EXPECT_FALSE(result.ok);
        return vl::messageWithFullStop(utf8(result.message)) + "\n";
    };
    vl::ReportTemplate unused;
    vl::ReportDataSet noData;
    const std::string brokenXml = readBytes(folder + "/broken.xml");
    std::string databaseMessage;
    try {
        vl::DataOptions options;
        options.connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/test.mdb";
        options.masterSql = "select * from NoSuchTable";
        vl::DataDocumentSource source(options);
    } catch (const Exception& e) {
        databaseMessage = vl::messageWithFullStop(e.Message()) + "\n";
    }
    ASSERT_FALSE(databaseMessage.empty());

    const struct {
        std::vector<std::string> arguments;
        std::string err;
    } cases[] = {
        {{"missing.vld", "--data", "broken.xml", "--pdf", "keep.pdf"},
         expectedMessage(vl::loadTemplateFile(QStringLiteral("missing.vld"), unused))},
        {{folder + "/broken.vld", "--data", "broken.xml", "--pdf", "keep.pdf"},
         expectedMessage(vl::loadTemplateFile(QString::fromStdString(folder + "/broken.vld"), unused))},
        {{"test.vld", "--data", "broken.xml", "--pdf", "keep.pdf"},
         expectedMessage(vl::parseDataDocument(brokenXml, noData))},
        {{"test.vld", "--data", "none.xml", "--pdf", "keep.pdf"},
         "Cannot open file \"none.xml\". No such file or directory.\n"},
        {sample({"--sheet", "Nope", "--pdf", "keep.pdf"}), "The template has no sheet \"Nope\"\n"},
        {{"test.vld", "--connection", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/test.mdb", "--master",
          "select * from NoSuchTable", "--pdf", "keep.pdf"},
         databaseMessage},
        {sample({"--pdf", "no/such/folder/x.pdf"}), ""},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 1) << c.arguments.front();
        if (c.err.empty())
            EXPECT_EQ(r.err.rfind("Cannot create file \"no/such/folder/x.pdf\". ", 0), 0u) << r.err;
        else
            EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    // The broken template is reported with its file name, not the parser's own word for it.
    EXPECT_NE(cases[1].err.find("broken.vld"), std::string::npos) << cases[1].err;
    EXPECT_EQ(readBytes(folder + "/keep.pdf"), "old");
    EXPECT_FALSE(fs::exists(folder + "/no"));
}

// Templates an attacker would write: each is refused with its line and column, the process alive and
// the old output untouched; a long flat chain is no attack and prints.
TEST_F(VlreportTool, HostileTemplatesAreRefusedAtTheirPositionAndWriteNothing)
{
    auto repeated = [](const std::string& piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += piece;
        return text;
    };
    auto sheet = [](const std::string& page, const std::string& cell) {
        return "<report version=\"1\"><sheet name=\"Sheet1\">\n" + page + "\n<title height=\"20\">\n" + cell
             + "\n</title></sheet></report>";
    };
    const std::string a4 = "<page size=\"A4\"/>";
    const struct {
        const char* name;
        std::string text;
    } hostile[] = {
        {"parens", sheet(a4, "<cell x=\"0\" width=\"50\">[" + repeated("(", 10000) + "1" + repeated(")", 10000) + "]</cell>")},
        {"calls", sheet(a4, "<cell x=\"0\" width=\"50\">[" + repeated("f(", 10000) + "1" + repeated(")", 10000) + "]</cell>")},
        {"minus", sheet(a4, "<cell x=\"0\" width=\"50\">[" + repeated("-", 10000) + "1]</cell>")},
        {"href", sheet(a4, "<cell x=\"0\" width=\"50\" href=\"[" + repeated("(", 10000) + "1" + repeated(")", 10000) + "]\">x</cell>")},
        {"nan width", sheet("<page width=\"nan\" height=\"297\"/>", "<cell x=\"0\" width=\"50\">x</cell>")},
        {"infinite margin", sheet("<page size=\"A4\" margins=\"inf\"/>", "<cell x=\"0\" width=\"50\">x</cell>")},
        {"huge x", sheet(a4, "<cell x=\"1e300\" width=\"50\">x</cell>")},
        {"decimals", sheet(a4, "<cell x=\"0\" width=\"50\" decimals=\"1000000000\">[1/3]</cell>")},
        {"font size", sheet(a4, "<cell x=\"0\" width=\"50\" size=\"-1\">x</cell>")},
    };
    std::ofstream(folder + "/keep.pdf") << "old";
    std::ofstream(folder + "/sample.xml") << "<DocumentData><Master><Row a=\"1\"/></Master></DocumentData>";
    for (const auto& h : hostile) {
        SCOPED_TRACE(h.name);
        const std::string path = folder + "/hostile.vld";
        std::ofstream(path, std::ios::trunc) << h.text;
        vl::ReportTemplate unused;
        const vl::ParseResult expected = vl::loadTemplateFile(QString::fromStdString(path), unused);
        ASSERT_FALSE(expected.ok);
        EXPECT_GT(expected.line, 0);
        EXPECT_GT(expected.column, 0);
        const RunResult r = run({path, "--data", "sample.xml", "--pdf", "keep.pdf"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, vl::messageWithFullStop(utf8(expected.message)) + "\n");
        EXPECT_EQ(readBytes(folder + "/keep.pdf"), "old");
    }
    std::ofstream(folder + "/chain.vld") << sheet(a4, "<cell x=\"0\" width=\"50\">[1" + repeated("+1", 50000) + "]</cell>");
    const RunResult r = run({"chain.vld", "--data", "sample.xml", "--pdf", "chain.pdf"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readBytes(folder + "/chain.pdf").starts_with("%PDF-"));
}

TEST_F(VlreportTool, UsageHelpAndVersion)
{
    const auto runTool = [this](const std::vector<std::string>& arguments) { return run(arguments); };
    vl::test::expectHelpIsTheUsage(runTool, vl::VlreportUsage);
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "vlreport " VL_VERSION "\n");

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--pdf", "a.pdf", "--data", "d.xml"},
        {"t.vld", "--pdf", "a.pdf"},
        {"t.vld", "--connection", "x", "--pdf", "a.pdf"},
        {"t.vld", "--data", "d.xml", "--master", "select 1", "--pdf", "a.pdf"},
        {"t.vld", "--data", "d.xml"},
        {"t.vld", "--data", "d.xml", "--pdf", "a.pdf", "--png", "p"},
        {"t.vld", "--data", "d.xml", "--pdf", "a.pdf", "--dpi", "100"},
        {"t.vld", "--data", "d.xml", "--png", "p", "--dpi", "12"},
        {"t.vld", "--data", "d.xml", "--png", "p", "--dpi", "96x"},
        {"t.vld", "--data", "d.xml", "--pdf", "a.pdf", "--sheet", "A", "--sheet", "B"},
        {"t.vld", "u.vld", "--data", "d.xml", "--pdf", "a.pdf"},
        {"t.vld", "--relation", "a=a", "--pdf", "a.pdf"},
        {"t.vld", "--detail", "D", "--pdf", "a.pdf"},
        {"t.vld", "--data", "d.xml", "--pdf"},
        {"t.vld", "--bogus"},
        {"t.vld", "--data", "d.xml", "--pdf", "a.pdf", "--param", "NoValue"},
    };
    vl::test::expectRefusedWithUsage(runTool, bad, vl::VlreportUsage, "vlreport: ");
}

TEST_F(VlreportTool, ParametersFromTheCommandLineReachThePagesOrAreRefusedAsBadUsage)
{
    std::ofstream(folder + "/params.vld")
        << "<report version=\"1\"><parameter name=\"Title\" default=\"Staff\"/>"
           "<parameter name=\"MinSalary\" type=\"number\" default=\"0\"/>"
           "<parameter name=\"Until\" type=\"date\" default=\"2024-12-31\"/>"
           "<sheet name=\"S\"><title height=\"6\"><cell x=\"0\" width=\"150\">"
           "[Param.Title]/[Param.MinSalary]/[Param.Until]/[if(Param.MinSalary > 1000, \"high\", \"low\")]"
           "</cell></title></sheet></report>";
    const std::string usage = vl::VlreportUsage;
    const struct {
        std::vector<std::string> parameters;
        int exitCode;
        std::string shown; // on the page when written; else the message on standard error
    } cases[] = {
        {{}, 0, "Staff/0/2024-12-31/low"},
        {{"--param", "Title=Payroll", "--param", "minsalary=1234.5", "--param", "UNTIL=2025-01-31"}, 0,
         "Payroll/1234.5/2025-01-31/high"},
        {{"--param", "Title=A", "--param", "title=B=C"}, 0, "B=C/0/2024-12-31/low"},
        {{"--param", "Until=31.12", "--param", "Until=2025-02-01"}, 0, "Staff/0/2025-02-01/low"},
        {{"--param", "Title="}, 0, "/0/2024-12-31/low"},
        {{"--param", "Nope=1"}, 2, "vlreport: the template has no parameter \"Nope\"\n" + usage},
        {{"--param", "MinSalary=12,5"}, 2,
         "vlreport: parameter \"MinSalary\" is a number: \"12,5\" is not a number\n" + usage},
        {{"--param", "Title=ok", "--param", "Until=31.12"}, 2,
         "vlreport: parameter \"Until\" is a date: \"31.12\" is not a date in the form yyyy-MM-dd\n" + usage},
    };
    for (const auto& c : cases) {
        std::ofstream(folder + "/p.pdf") << "old";
        std::vector<std::string> arguments = {"params.vld"};
        arguments.insert(arguments.end(), SampleQueries.begin(), SampleQueries.end());
        arguments.insert(arguments.end(), c.parameters.begin(), c.parameters.end());
        arguments.insert(arguments.end(), {"--pdf", "p.pdf"});
        const RunResult r = run(arguments);
        const std::string label = c.parameters.empty() ? "defaults" : c.parameters.back();
        EXPECT_EQ(r.exitCode, c.exitCode) << label << "\n" << r.err;
        if (c.exitCode == 0) {
            EXPECT_EQ(r.err, "") << label;
            const std::string text = withoutSpace(commandOutput("pdftotext -q -enc UTF-8 '" + folder + "/p.pdf' -"));
            EXPECT_NE(text.find(c.shown), std::string::npos) << label << ": " << text;
        } else {
            EXPECT_EQ(r.err, c.shown) << label;
            EXPECT_EQ(readBytes(folder + "/p.pdf"), "old") << "a refused parameter writes nothing";
        }
        EXPECT_EQ(r.out, "") << label;
    }
}

TEST(VlreportCommandLine, ParamsAreNameValuePairsTheLastForANameInItsPlace)
{
    const std::vector<std::string> start = {"t.vld", "--data", "d.xml", "--pdf", "a.pdf"};
    auto parse = [&](std::vector<std::string> more) {
        more.insert(more.begin(), start.begin(), start.end());
        return vl::parseVlreportCommandLine(more);
    };
    const auto parsed = parse({"--param", "Title=A", "--param", "until=2025-01-01", "--param", "TITLE=B=C", "--param",
                               "Empty=", "--param", "Titles=D"});
    ASSERT_EQ(parsed.error, "");
    const std::vector<std::pair<std::string, std::string>> expected
        = {{"TITLE", "B=C"}, {"until", "2025-01-01"}, {"Empty", ""}, {"Titles", "D"}};
    EXPECT_EQ(parsed.options.parameters, expected);

    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } refused[] = {
        {{"--param", "Title"}, "--param Title is not NAME=VALUE"},
        {{"--param", "=x"}, "--param =x is not NAME=VALUE"},
        {{"--param", ""}, "--param  is not NAME=VALUE"},
        {{"--param"}, "option --param needs a value"},
    };
    for (const auto& r : refused)
        EXPECT_EQ(parse(r.arguments).error, r.error);
}

TEST(VlreportCommandLine, DataOptionsAreVldatasAndHelpNeedsNothingElse)
{
    auto parsed = vl::parseVlreportCommandLine({"t.vld", "--detail", "A", "q1", "--fields", "f1", "--detail", "B",
                                                "q2", "--relation", "r2", "--master", "m", "--png", "out", "--dpi",
                                                "300"});
    ASSERT_EQ(parsed.error, "");
    const vl::VlreportOptions& options = parsed.options;
    EXPECT_EQ(options.templateFile, "t.vld");
    ASSERT_EQ(options.data.details.size(), 2u);
    EXPECT_EQ(options.data.details[0].fields, "f1");
    EXPECT_EQ(options.data.details[1].relation, "r2");
    EXPECT_EQ(options.data.masterSql.value_or(""), "m");
    EXPECT_EQ(options.pngFolder.value_or(""), "out");
    EXPECT_EQ(options.dpi, 300);
    EXPECT_FALSE(options.dataFile || options.pdfFile || options.sheet || options.stats);

    EXPECT_EQ(vl::parseVlreportCommandLine({"--help"}).error, "");
    EXPECT_EQ(vl::parseVlreportCommandLine({"--version", "--pdf", "x"}).error, "");
    EXPECT_NE(vl::parseVlreportCommandLine({"--help", "--bogus"}).error, "");
    // The data options' own rules hold here as in vldata.
    EXPECT_EQ(vl::parseVlreportCommandLine({"t.vld", "--master-fields", "a"}).error,
              "--master-fields without --master before it");
}

} // namespace
