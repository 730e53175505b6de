// vlreport's exports run as a child process and read back by independent readers: openpyxl for the
// spreadsheet, Python's csv module and html.parser, rsvg-convert for the SVG pages; refusals with
// their exit codes and messages.

#include "ChildProcess.h"
#include "CommandOutput.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using vl::test::commandOutput;
using vl::test::RunResult;

// Python with openpyxl; the python3 on PATH may be another install.
const std::string Python = "/usr/bin/python3";

const char* const StaffTemplate = R"vld(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title="Staff">
  <sheet name="Staff">
    <page size="A4" margins="10"/>
    <watermark text="DRAFT"/>
    <pageHeader height="8"><cell x="0" width="180" bold="true">Staff list</cell></pageHeader>
    <master height="8"><cell x="0" width="180" href="https://example.com/[Master.DeptNo]">Dept [Master.DeptName]</cell></master>
    <detailHeader detail="D" height="7" bold="true" border="all" background="#E6E6E6">
      <cell x="0" width="40">Name</cell><cell x="40" width="40">Born</cell><cell x="80" width="50">Pay</cell><cell x="130" width="50">Note</cell>
    </detailHeader>
    <detail detail="D" height="6" border="all">
      <cell x="0" width="40">[D.Name]</cell>
      <cell x="40" width="40" format="yyyy-MM-dd">[D.Born]</cell>
      <cell x="80" width="50" align="right" format="#,##0.00">[D.Pay]</cell>
      <cell x="130" width="50" href="javascript:alert(1)">[D.Note]</cell>
    </detail>
    <summary height="42"><barcode x="0" width="40" height="40" type="qrcode">Staff 2026</barcode></summary>
    <pageFooter height="8"><cell x="0" width="180" align="center">Page [Page] of [Pages]</cell></pageFooter>
  </sheet>
</report>
)vld";

// Two departments of 40 rows each: three pages, the detail header repeated after each break.
std::string staffData()
{
    std::string xml = "<DocumentData><Master><Row DeptNo=\"1\" DeptName=\"Sales\"/><Row DeptNo=\"2\" "
                      "DeptName=\"研发\"/></Master><D>";
    for (int master = 0; master < 2; ++master)
        for (int row = 0; row < 40; ++row)
            xml += "<Row __MasterIdx=\"" + std::to_string(master) + "\" Name=\"名前" + std::to_string(master) + "-"
                + std::to_string(row) + "\" Born=\"1990-01-" + std::to_string(10 + row % 20) + "\" Pay=\""
                + std::to_string(1000 + row) + ".5\" Note=\"a, &quot;b&quot;&#10;c\"/>";
    return xml + "</D></DocumentData>";
}

class VlreportExport : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        folder = m_dir.path().toStdString();
        std::ofstream(folder + "/t.vld") << StaffTemplate;
        std::ofstream(folder + "/d.xml") << staffData();
    }
    RunResult run(std::vector<std::string> output)
    {
        std::vector<std::string> arguments = {"t.vld", "--data", "d.xml"};
        arguments.insert(arguments.end(), output.begin(), output.end());
        return vl::test::runProgram(VLREPORT_PATH, arguments, folder, {}, {{"QT_QPA_PLATFORM", ""}});
    }
    // Standard output of a Python script run on `file` in the test's folder.
    std::string python(const std::string& script, const std::string& file)
    {
        std::ofstream(folder + "/read.py") << script;
        return commandOutput(Python + " '" + folder + "/read.py' '" + folder + "/" + file + "'");
    }
    std::string contents(const std::string& name)
    {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    QTemporaryDir m_dir;
    std::string folder;
};

TEST_F(VlreportExport, SpreadsheetCellsKeepTheirTypesFormatsMergesAndFonts)
{
    const RunResult r = run({"--xlsx", "staff.xlsx", "--stats"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "nothing to tell";
    EXPECT_EQ(r.out.rfind("pages: 3\n", 0), 0u) << r.out;
    const std::string cells = python(R"(import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            print(c.coordinate, type(c.value).__name__, repr(c.value), c.number_format, c.font.b, sep='|')
print('merged', sorted(str(r) for r in ws.merged_cells.ranges))
print('images', len(ws._images))
)",
        "staff.xlsx");
    const auto has = [&](const std::string& line) { return cells.find(line) != std::string::npos; };
    EXPECT_TRUE(has("A1|str|'Staff list'|General|True\n")) << cells;
    EXPECT_TRUE(has("A3|str|'Name'|General|True\n")) << cells;
    EXPECT_TRUE(has("|str|'名前0-0'|General|False\n")) << cells;
    EXPECT_TRUE(has("|datetime|datetime.datetime(1990, 1, 10, 0, 0)|yyyy-mm-dd|False\n")) << cells;
    EXPECT_TRUE(has("|float|1000.5|#,##0.00|False\n")) << cells;
    EXPECT_TRUE(has("|str|'a, \"b\"\\nc'|General|False\n")) << cells;
    // Once each: the page header and footer (the first page's), the header per department.
    const auto count = [&](const std::string& text) {
        size_t n = 0;
        for (size_t at = cells.find(text); at != std::string::npos; at = cells.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("'Staff list'"), 1u);
    EXPECT_EQ(count("'Page 1 of 3'"), 1u);
    EXPECT_EQ(count("'Page 2 of 3'"), 0u);
    EXPECT_EQ(count("'Name'"), 2u) << "a repeated detail header is dropped, each department's kept";
    EXPECT_EQ(count("|float|"), 80u);
    EXPECT_TRUE(has("merged ['A1:D1', 'A2:D2'")) << cells;
    EXPECT_TRUE(has("images 1\n")) << "the barcode as a picture: " << cells;
}

TEST_F(VlreportExport, CsvReadsBackAsTheDetailRowsUnderOneHeader)
{
    const RunResult r = run({"--csv", "staff.csv", "--detail-id", "d"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string rows = python(R"(import sys, csv, json
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f))
print(len(rows))
for row in rows[:2] + rows[40:42]:
    print(json.dumps(row, ensure_ascii=False))
)",
        "staff.csv");
    EXPECT_EQ(rows,
        "81\n"
        "[\"Name\", \"Born\", \"Pay\", \"Note\"]\n"
        "[\"名前0-0\", \"1990-01-10\", \"1,000.50\", \"a, \\\"b\\\"\\nc\"]\n"
        "[\"名前0-39\", \"1990-01-29\", \"1,039.50\", \"a, \\\"b\\\"\\nc\"]\n"
        "[\"名前1-0\", \"1990-01-10\", \"1,000.50\", \"a, \\\"b\\\"\\nc\"]\n");
    const std::string bytes = contents("staff.csv");
    EXPECT_EQ(bytes.rfind("Name,Born,Pay,Note\r\n", 0), 0u) << "no byte order mark, CRLF line ends";

    // Written to standard output, the statistics go to standard error rather than into the CSV.
    const RunResult piped = run({"--csv", "/dev/stdout", "--stats"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, bytes);
    EXPECT_EQ(piped.err.rfind("pages: 3\n", 0), 0u) << piped.err;
}

TEST_F(VlreportExport, HtmlTextIsTheReportsAndNothingComesFromTheNetwork)
{
    const RunResult r = run({"--html", "staff.html"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string read = python(R"(import sys
from html.parser import HTMLParser
class Reader(HTMLParser):
    def __init__(self):
        super().__init__()
        self.text, self.refs = [], []
    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ('src', 'href', 'xlink:href'):
                self.refs.append(value[:22])
    def handle_data(self, data):
        if data.strip():
            self.text.append(data.strip())
reader = Reader()
reader.feed(open(sys.argv[1], encoding='utf-8').read())
print('\n'.join(sorted(set(reader.refs))))
print('--')
print('\n'.join(reader.text))
)",
        "staff.html");
    const size_t split = read.find("--\n");
    ASSERT_NE(split, std::string::npos) << read;
    const std::string refs = read.substr(0, split), text = read.substr(split + 3);
    // Links to the two departments, and pictures inline; no script URL, nothing fetched.
    EXPECT_EQ(refs, "https://example.com/1\nhttps://example.com/2\n") << refs;
    for (const char* expected :
        {"Staff list", "Dept Sales", "Dept 研发", "名前1-39", "1,039.50", "a, \"b\"\nc", "DRAFT", "Page 3 of 3"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    const std::string html = contents("staff.html");
    EXPECT_EQ(html.find("javascript:"), std::string::npos);
    EXPECT_NE(html.find("<svg"), std::string::npos) << "the barcode inline";
    EXPECT_EQ(html.find("src=\"http"), std::string::npos);
    EXPECT_EQ(html.find("url("), std::string::npos) << "no style fetches anything";
}

TEST_F(VlreportExport, SvgPagesRenderAndTextPagesAreSplitByFormFeeds)
{
    RunResult r = run({"--svg", "pages"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder + "/pages"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, (std::vector<std::string> {"page-001.svg", "page-002.svg", "page-003.svg"}));
    for (const std::string& name : names)
        commandOutput("rsvg-convert '" + folder + "/pages/" + name + "' -o '" + folder + "/" + name + ".png'");

    r = run({"--text", "staff.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = contents("staff.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2);
    EXPECT_NE(text.find("Staff list\n"), std::string::npos);
    EXPECT_NE(text.find("Page 3 of 3\n"), std::string::npos);
}

TEST_F(VlreportExport, FailuresKeepTheOldFileAndSayWhy)
{
    std::ofstream(folder + "/kept.csv") << "old";
    const struct {
        std::vector<std::string> output;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"--csv", "kept.csv", "--detail-id", "Nope"}, 1, "The sheet \"Staff\" has no detail \"Nope\""},
        {{"--text", "t.vld"}, 1, "is also an input of this run"},
        {{"--xlsx", "d.xml"}, 1, "is also an input of this run"},
        {{"--html", "/dev/full"}, 1, "Cannot write to \"/dev/full\""},
        {{"--csv", "a.csv", "--html", "b.html"}, 2, "--csv and --html given together: give one output"},
        {{"--svg", "s", "--detail-id", "D"}, 2, "--detail-id without --csv"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.output);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.output[1];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(contents("kept.csv"), "old");
    EXPECT_EQ(contents("t.vld"), StaffTemplate);
    EXPECT_FALSE(fs::exists(folder + "/a.csv"));
}

} // namespace
