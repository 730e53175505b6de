#include "ReportData.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

// The example document of the data source, byte for byte as its writer produces it.
const char* const ExampleDocument
    = "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>"
      "<Row DeptNo=\"10\" DeptName=\"Sales &amp; &quot;Export&quot;\"/><Row DeptNo=\"20\" DeptName=\"R&lt;D\"/>"
      "</Master><Detail><Row __MasterIdx=\"0\" DeptNo=\"10\"/><Row __MasterIdx=\"0\" DeptNo=\"10\"/>"
      "<Row __MasterIdx=\"1\" DeptNo=\"20\"/></Detail></DocumentData>";

std::vector<QString> values(const std::vector<DataRow>& rows, const char* field)
{
    std::vector<QString> result;
    for (const DataRow& row : rows)
        result.push_back(row.value(field) ? *row.value(field) : QStringLiteral("<none>"));
    return result;
}

} // namespace

TEST(DataDocument, ExampleBuildsMasterRowsAndGroups)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(ExampleDocument, data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_TRUE(data.hasMaster);
    EXPECT_EQ(values(data.masterRows, "deptname"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
    EXPECT_EQ(data.masterFieldNames, (std::vector<QString>{"DeptNo", "DeptName"}));
    ASSERT_EQ(data.details.size(), 1u);
    const DetailTable* detail = data.detail("DETAIL");
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->rows.size(), 3u);
    EXPECT_EQ(detail->groups, (std::vector<std::vector<int>>{{0, 1}, {2}}));
    EXPECT_EQ(detail->fieldNames, (std::vector<QString>{"DeptNo"})) << "__MasterIdx is no field";
    EXPECT_EQ(detail->rows[2].value("__MasterIdx"), nullptr);
}

TEST(DataDocument, WithoutMasterDetailsArePlainTables)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(
        "<DocumentData><Detail><Row DeptNo=\"10\"/><Row DeptNo=\"30\"/></Detail><Other></Other></DocumentData>", data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_FALSE(data.hasMaster);
    ASSERT_EQ(data.details.size(), 2u);
    EXPECT_EQ(values(data.details[0].rows, "DeptNo"), (std::vector<QString>{"10", "30"}));
    EXPECT_TRUE(data.details[0].groups.empty());
    EXPECT_TRUE(data.details[1].rows.empty());
}

TEST(DataDocument, AttributeValuesKeepTabsAndLineBreaks)
{
    ReportDataSet data;
    const ParseResult result
        = parseDataDocument("<DocumentData><Master><Row Memo=\"a\tb\r\nc\rd\ne  f\"/></Master></DocumentData>", data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(*data.masterRows.at(0).value("Memo"), QStringLiteral("a\tb\r\nc\rd\ne  f"));
}

TEST(DataDocument, DeclaredEncodingIsIgnored)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(
        "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master><Row DeptName=\"销售部\"/></Master></DocumentData>",
        data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(*data.masterRows.at(0).value("DeptName"), QStringLiteral("销售部"));
}

TEST(DataDocument, RefusesWithPositionAndReason)
{
    struct Case {
        const char* xml;
        int line;
        int column;
        const char* reason;
    };
    const Case cases[] = {
        {"<DocumentData><Master><Row a=\"1\"></Master></DocumentData>", 1, 36, "Start-end tags mismatch"},
        {"<DocumentData><Master><Row a=\"1/></Master></DocumentData>", 1, 31, "Error parsing element attribute"},
        {"", 1, 1, "No document element"},
        {"<Data/>", 1, 1, "the root element is <Data>, expected <DocumentData>"},
        {"<!DOCTYPE DocumentData><DocumentData/>", 1, 1, "document type declarations are not allowed"},
        {"<DocumentData><Master><Row/></Master><Detail><Row __MasterIdx=\"1\"/></Detail></DocumentData>", 1, 46,
         "__MasterIdx=\"1\" names no master row (there are 1)"},
        {"<DocumentData><Master><Row/></Master><Detail><Row __MasterIdx=\"-1\"/></Detail></DocumentData>", 1, 46,
         "names no master row"},
        {"<DocumentData><Master><Row/></Master><Detail><Row __MasterIdx=\"x\"/></Detail></DocumentData>", 1, 46,
         "names no master row"},
        {"<DocumentData><Master><Row/></Master><Detail><Row a=\"1\"/></Detail></DocumentData>", 1, 46,
         "detail row without __MasterIdx"},
        {"<DocumentData><Master><Item/></Master></DocumentData>", 1, 23, "<Item> found where <Row> was expected"},
        {"<DocumentData><D/><D/></DocumentData>", 1, 19, "detail block <D> appears twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        ReportDataSet data;
        data.hasMaster = true;
        const ParseResult result = parseDataDocument(c.xml, data);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.column, c.column);
        EXPECT_TRUE(result.message.startsWith("Data document: ")) << result.message.toStdString();
        EXPECT_TRUE(result.message.contains(QString::fromUtf8(c.reason))) << result.message.toStdString();
        EXPECT_TRUE(data.hasMaster) << "a refused document leaves the old data";
    }
}

TEST(DataDocument, ColumnsCountCharactersNotBytes)
{
    int line = 0, column = 0;
    const std::string text = "中文\r\nab\rc\n中x";
    lineAndColumn(text, static_cast<std::ptrdiff_t>(text.size() - 1), line, column);
    EXPECT_EQ(line, 4);
    EXPECT_EQ(column, 2);
    lineAndColumn(text, 6, line, column);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(column, 3);
}
