#include "ReportTemplate.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace vl;

namespace {

ParseResult parse(const char* xml, ReportTemplate& out)
{
    return parseTemplate(xml, out);
}

const char* const MinimalSheet = R"(<report version="1">
  <sheet name="Sheet1">
    <page size="A4" orientation="landscape" margins="10,20,30,40"/>
    <font size="12" bold="true"/>
    <title height="20"><cell x="0" width="100" align="center" valign="top" border="left,bottom">报表 [Page]</cell></title>
    <detail detail="Detail" height="7"><cell x="5" width="30" bold="false">[Detail.EmpName]</cell></detail>
  </sheet>
  <sheet name="List"><master height="5"><cell width="10">[Master.DeptName]</cell></master></sheet>
</report>)";

} // namespace

TEST(TemplateParse, ReadsSheetsPageBandsAndInheritedStyle)
{
    ReportTemplate report;
    const ParseResult result = parse(MinimalSheet, report);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    ASSERT_EQ(report.sheets.size(), 2u);
    const TemplateSheet& sheet = report.sheets[0];
    EXPECT_EQ(sheet.name, "Sheet1");
    EXPECT_NEAR(sheet.page.paper.width(), 297.0, 0.5); // landscape swaps the A4 sides
    EXPECT_NEAR(sheet.page.paper.height(), 210.0, 0.5);
    EXPECT_EQ(sheet.page.marginLeft, 10);
    EXPECT_EQ(sheet.page.marginTop, 20);
    EXPECT_EQ(sheet.page.marginRight, 30);
    EXPECT_EQ(sheet.page.marginBottom, 40);
    ASSERT_EQ(sheet.bands.size(), 2u);
    const TemplateCell& title = sheet.bands[0].cells.at(0);
    EXPECT_EQ(title.style.fontSize, 12);
    EXPECT_TRUE(title.style.bold);
    EXPECT_EQ(title.style.alignment, Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(title.style.borders, BorderLeft | BorderBottom);
    ASSERT_EQ(title.segments.size(), 2u);
    EXPECT_EQ(title.segments[0].text, u"报表 ");
    EXPECT_EQ(title.segments[1].kind, TextSegment::PageNumber);
    const TemplateBand& detail = sheet.bands[1];
    EXPECT_EQ(detail.kind, BandKind::Detail);
    EXPECT_EQ(detail.detailId, "Detail");
    EXPECT_FALSE(detail.cells.at(0).style.bold);
    EXPECT_EQ(report.sheet("list"), &report.sheets[1]);
    EXPECT_EQ(report.sheet("Sheet2"), nullptr);
}

TEST(TemplateParse, RefusesWithPositionAndReason)
{
    const RefusalCase<char> cases[] = {
        {"<report version=\"1\">\n<sheet name=\"A\">\n</report>", 3, 3, "Start-end tags mismatch"},
        {"<report version=\"1\"><sheet name=\"A\"/></report><report/>", 1, 47, "more than one root element"},
        {"<!DOCTYPE report [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n<report version=\"1\"><sheet name=\"A\">&x;</sheet></report>",
         1, 1, "document type declarations are not allowed"},
        {"<report>\n<sheet name=\"A\"/></report>", 1, 1, "<report> needs version=\"1\""},
        {"<report version=\"2\"><sheet name=\"A\"/></report>", 1, 1, "template version \"2\" is not supported"},
        {"<report version=\"1\"/>", 1, 1, "<report> has no <sheet>"},
        {"<report version=\"1\">\n  <sheet name=\"A\"><master><cell width=\"5\">[nope]</cell></master></sheet></report>", 2, 27,
         "unknown expression \"[nope]\""},
        {"<report version=\"1\"><sheet name=\"A\"><detail height=\"5\"/></sheet></report>", 1, 37, "needs a detail="},
        {"<report version=\"1\"><sheet name=\"A\"><page size=\"Z9\"/></sheet></report>", 1, 37, "paper size \"Z9\" is unknown"},
        {"<report version=\"1\"><sheet name=\"A\"/><sheet name=\"a\"/></report>", 1, 38, "sheet \"a\" is defined twice"},
        {"<report version=\"1\"><sheet name=\"A\"><table/></sheet></report>", 1, 37, "<table> is not allowed in a sheet"},
        {"<report version=\"1\"><sheet name=\"A\"><title height=\"x\"/></sheet></report>", 1, 37, "not a number"},
        // A quoted text holding place markers keeps them as written, and the position still follows.
        {"<report version=\"1\"><sheet name=\"A\"><title><cell width=\"5\">[%1 %2]</cell></title></sheet></report>", 1, 44,
         "unknown expression \"[%1 %2]\""},
    };
    for (const auto& c : cases) {
        ReportTemplate report;
        report.version = 7;
        const ParseResult result = parseTemplate(c.xml, report);
        SCOPED_TRACE(c.xml);
        expectRefused(result, c);
        EXPECT_TRUE(result.message.endsWith(QStringLiteral("at line %1, column %2").arg(c.line).arg(c.column)));
        EXPECT_EQ(report.version, 7) << "a refused template leaves the old one";
    }
}

TEST(TemplateParse, CellTextExpressions)
{
    struct Case {
        const char* text;
        std::vector<TextSegment> expected;
    };
    using S = TextSegment;
    const Case cases[] = {
        {"", {}},
        {"plain", {{S::Literal, "plain", {}, {}}}},
        {"a[Master.DeptName]b", {{S::Literal, "a", {}, {}}, {S::Field, {}, "Master", "DeptName"}, {S::Literal, "b", {}, {}}}},
        {"[[x]", {{S::Literal, "[x]", {}, {}}}},
        {"[ sum( Detail.Salary ) ]", {{S::Sum, {}, "Detail", "Salary"}}},
        {"[COUNT(Detail)]", {{S::Count, {}, "Detail", {}}}},
        {"[Page]/[pages]", {{S::PageNumber, {}, {}, {}}, {S::Literal, "/", {}, {}}, {S::PageCount, {}, {}, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<TextSegment> segments;
        QString reason;
        ASSERT_TRUE(parseCellText(QString::fromUtf8(c.text), segments, reason)) << reason.toStdString();
        ASSERT_EQ(segments.size(), c.expected.size());
        for (size_t i = 0; i < segments.size(); ++i) {
            EXPECT_EQ(segments[i].kind, c.expected[i].kind);
            EXPECT_EQ(segments[i].text, c.expected[i].text);
            EXPECT_EQ(segments[i].source, c.expected[i].source);
            EXPECT_EQ(segments[i].field, c.expected[i].field);
        }
    }
    for (const char* bad : {"[Master.Name", "[x]", "[sum(Detail)]", "[a b.c]"}) {
        std::vector<TextSegment> segments;
        QString reason;
        EXPECT_FALSE(parseCellText(QString::fromUtf8(bad), segments, reason)) << bad;
        EXPECT_FALSE(reason.isEmpty());
    }
}

TEST(TemplateFile, MissingFileIsNamed)
{
    ReportTemplate report;
    const QString path = QDir::tempPath() + "/no-such-dir-vl/none.vld";
    const ParseResult result = loadTemplateFile(path, report);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, QStringLiteral("Template file \"%1\" not found").arg(path));
}

TEST(TemplateFile, MalformedFileNamesFileAndPosition)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.vld");
    ASSERT_TRUE(writeFile(path, "<report version=\"1\">\r\n<sheet name=\"中文\">\r\n<title></sheet></report>"));
    ReportTemplate report;
    const ParseResult result = loadTemplateFile(path, report);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 3);
    EXPECT_EQ(result.column, 10);
    EXPECT_EQ(result.message,
              QStringLiteral("Template file \"%1\": Start-end tags mismatch at line 3, column 10").arg(path));
}

TEST(TemplateFile, SampleTemplateParses)
{
    ReportTemplate report;
    const ParseResult result = loadTemplateFile(VL_SOURCE_DIR "/samples/test.vld", report);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    ASSERT_NE(report.sheet("Sheet1"), nullptr);
    EXPECT_GE(report.sheets.size(), 2u);
}

namespace {

// A template whose third line holds `element`, at column 5.
std::string templateWith(const std::string& element)
{
    return "<report version=\"1\">\n  <sheet name=\"S\">\n    " + element + "\n  </sheet>\n</report>";
}

std::string repeated(const char* piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

} // namespace

TEST(TemplateLimits, DeepExpressionsAreRefusedWhereTheCellStands)
{
    const int deep = 10000;
    const std::string kinds[] = {
        repeated("(", deep) + "1" + repeated(")", deep),
        repeated("f(", deep) + "1" + repeated(")", deep),
        repeated("-", deep) + "1",
    };
    const QString reason = QStringLiteral("the expression nests deeper than %1 levels").arg(MaxExpressionDepth);
    for (const std::string& expression : kinds) {
        // In the cell's text, and in its href; the position is the cell's, on line 3.
        for (const std::string& cell : {"<title height=\"5\"><cell width=\"9\">a [" + expression + "]</cell></title>",
                                        "<title height=\"5\"><cell width=\"9\" href=\"[" + expression + "]\">a</cell></title>"}) {
            SCOPED_TRACE(cell.substr(0, 60));
            ReportTemplate report;
            const ParseResult result = parseTemplate(templateWith(cell), report);
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.line, 3);
            EXPECT_EQ(result.column, 23);
            EXPECT_TRUE(result.message.contains(reason)) << result.message.left(200).toStdString();
            EXPECT_TRUE(result.message.endsWith(QStringLiteral("at line 3, column 23")));
        }
    }
    // The limit itself is no error.
    ReportTemplate report;
    const std::string limit = repeated("(", MaxExpressionDepth) + "1" + repeated(")", MaxExpressionDepth);
    const ParseResult accepted = parseTemplate(templateWith("<title height=\"5\"><cell width=\"9\">[" + limit + "]</cell></title>"), report);
    EXPECT_TRUE(accepted.ok) << accepted.message.toStdString();
}

TEST(TemplateLimits, DeepExpressionInAFileNamesTheFileAndPosition)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("deep.vld");
    ASSERT_TRUE(writeFile(path, QByteArray::fromStdString(templateWith("<summary height=\"5\"><cell width=\"9\">[" + repeated("-(", 5000) + "1" + repeated(")", 5000) + "]</cell></summary>"))));
    ReportTemplate report;
    const ParseResult result = loadTemplateFile(path, report);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 3);
    EXPECT_EQ(result.column, 25);
    EXPECT_TRUE(result.message.startsWith(QStringLiteral("Template file \"%1\": the expression nests deeper").arg(path)))
        << result.message.toStdString();
}

TEST(TemplateLimits, NumbersOutsideTheirRangeAreRefused)
{
    struct Case {
        const char* element; // "@" stands for the value
        int column; // of the element that is refused
        std::vector<const char*> accepted;
        std::vector<const char*> refused;
    };
    const char* const hostile[] = {"nan", "NaN", "inf", "-inf", "1e308", "-1e308", "1e999", "99999999999"};
    const Case cases[] = {
        {"<page margins=\"0\" width=\"@\"/>", 5, {"10", "5000", " 210.5 "}, {"9.99", "5000.01", "-1"}},
        {"<page margins=\"0\" height=\"@\"/>", 5, {"10", "5000"}, {"9.99", "5000.01", "0"}},
        {"<page margins=\"@\"/>", 5, {"0", "4", "0,0,1,4.5"}, {"-1", "5000.01", "1,nan,1,1", "1,1,inf,1", "1,1,1,-0.1"}},
        {"<page width=\"5000\" margins=\"@,0,0,0\"/>", 5, {"4999"}, {"5000"}}, // no room left
        {"<font size=\"@\"/>", 5, {"1", "1000", "10.5"}, {"0.99", "1000.5", "0", "-10"}},
        {"<title height=\"@\"/>", 5, {"0", "5000"}, {"5000.01", "-0.5"}},
        {"<title height=\"5\" size=\"@\"/>", 5, {"1", "1000"}, {"0.5", "1001"}},
        {"<title height=\"5\" decimals=\"@\"/>", 5, {"-1", "0", "30"}, {"31", "-2", "2.5", "1000000000"}},
        {"<title height=\"5\"><cell width=\"@\">a</cell></title>", 23, {"0.1", "5000"}, {"0.09", "5000.01", "0"}},
        {"<title height=\"5\"><cell width=\"9\" x=\"@\">a</cell></title>", 23, {"0", "5000"}, {"5000.01", "-1"}},
        {"<title height=\"5\"><cell width=\"9\" y=\"@\">a</cell></title>", 23, {"0", "5000"}, {"5000.01", "-1"}},
        {"<title height=\"5\"><cell width=\"9\" height=\"@\">a</cell></title>", 23, {"0", "5000"}, {"5000.01", "-1"}},
        {"<title height=\"5\"><cell width=\"9\" size=\"@\">a</cell></title>", 23, {"1", "1000"}, {"0", "1000.01"}},
        {"<title height=\"5\"><cell width=\"9\" decimals=\"@\">a</cell></title>", 23, {"30"}, {"31", "1e9", "0.5"}},
        {"<title height=\"5\"><cell width=\"9\" format=\"@\">a</cell></title>", 23,
         {"#,##0.000000000000000000000000000000", "yyyy-MM-dd"}, {"0.0000000000000000000000000000000", "#,##0.0000000000000000000000000000000%"}},
    };
    for (const Case& c : cases) {
        const std::string element = c.element;
        const auto at = element.find('@');
        auto withValue = [&](const char* value) { return templateWith(element.substr(0, at) + value + element.substr(at + 1)); };
        for (const char* value : c.accepted) {
            ReportTemplate report;
            const ParseResult result = parseTemplate(withValue(value), report);
            EXPECT_TRUE(result.ok) << c.element << " " << value << ": " << result.message.toStdString();
        }
        std::vector<const char*> refused = c.refused;
        if (std::string_view(c.element).find("format") == std::string_view::npos)
            refused.insert(refused.end(), std::begin(hostile), std::end(hostile));
        for (const char* value : refused) {
            SCOPED_TRACE(std::string(c.element) + " " + value);
            ReportTemplate report;
            report.version = 7;
            const ParseResult result = parseTemplate(withValue(value), report);
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.line, 3);
            EXPECT_EQ(result.column, c.column) << result.message.toStdString();
            EXPECT_EQ(report.version, 7);
        }
    }
}

TEST(TemplateParse, AlignmentWordsAndTheirRefusals)
{
    struct Case {
        const char* attributes;
        Qt::Alignment alignment; // when accepted
        const char* refusal; // when refused
    };
    const Case cases[] = {
        {R"(align="left")", Qt::AlignLeft | Qt::AlignVCenter, nullptr},
        {R"(align=" Right ")", Qt::AlignRight | Qt::AlignVCenter, nullptr},
        {R"(align="CENTER" valign="bottom")", Qt::AlignHCenter | Qt::AlignBottom, nullptr},
        {R"(valign="Top")", Qt::AlignLeft | Qt::AlignTop, nullptr},
        {R"(valign="middle" align="right")", Qt::AlignRight | Qt::AlignVCenter, nullptr},
        {R"(align="middle")", {}, R"(align="middle" is not left, center or right)"},
        {R"(valign="center")", {}, R"(valign="center" is not top, middle or bottom)"},
        {R"(align="")", {}, R"(align="" is not left, center or right)"},
    };
    for (const Case& c : cases) {
        const QByteArray xml = QByteArray(R"(<report version="1"><sheet name="S"><title height="5"><cell width="10" )")
                             + c.attributes + "/></title></sheet></report>";
        ReportTemplate report;
        const ParseResult result = parse(xml.constData(), report);
        if (c.refusal) {
            EXPECT_FALSE(result.ok) << c.attributes;
            EXPECT_TRUE(result.message.contains(QString::fromUtf8(c.refusal))) << result.message.toStdString();
            continue;
        }
        ASSERT_TRUE(result.ok) << c.attributes << ": " << result.message.toStdString();
        EXPECT_EQ(report.sheets.at(0).bands.at(0).cells.at(0).style.alignment, c.alignment) << c.attributes;
    }
}

TEST(TemplateContent, ImagesBarcodesAndChartsAreReadWithTheirOptions)
{
    ReportTemplate report;
    const ParseResult result = parse(R"(<report version="1"><sheet name="S">
      <master height="30">
        <image x="1" y="2" width="20" height="10" src="logo.svg"/>
        <image width="20" height="10" src="[Master.Photo]" fit="COVER"/>
        <barcode width="20" height="20" type="qrcode">[Master.DeptCode]</barcode>
        <barcode width="40" height="12" type="ean13" showText="false">4006381333931</barcode>
      </master>
      <summary height="60"><chart width="100" height="50" type="pie" source="Detail" category="[Detail.Dept]"
          value="[Detail.Salary]" title="工资"/></summary>
    </sheet></report>)", report);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    const std::vector<TemplateCell>& master = report.sheets[0].bands[0].cells;
    ASSERT_EQ(master.size(), 4u);
    ASSERT_TRUE(master[0].image);
    EXPECT_EQ(master[0].image->fit, ImageFit::Contain);
    ASSERT_EQ(master[0].image->src.size(), 1u);
    EXPECT_EQ(master[0].image->src[0].text, "logo.svg");
    EXPECT_EQ(master[1].image->fit, ImageFit::Cover);
    EXPECT_EQ(master[1].image->src[0].kind, TextSegment::Field);
    ASSERT_TRUE(master[2].barcode);
    EXPECT_EQ(master[2].barcode->type, BarcodeType::QrCode);
    EXPECT_TRUE(master[2].barcode->showText);
    EXPECT_EQ(master[2].boundField(), "Master.DeptCode");
    EXPECT_EQ(master[3].barcode->type, BarcodeType::Ean13);
    EXPECT_FALSE(master[3].barcode->showText);
    const TemplateCell& chart = report.sheets[0].bands[1].cells.at(0);
    ASSERT_TRUE(chart.chart);
    EXPECT_EQ(chart.chart->type, ChartType::Pie);
    EXPECT_EQ(chart.chart->source, "Detail");
    EXPECT_TRUE(chart.chart->category && chart.chart->value);
    EXPECT_EQ(chart.chart->title, "工资");
    EXPECT_FALSE(chart.image || chart.barcode || master[0].chart);
}

TEST(TemplateContent, FaultyContentIsRefusedWhereItStands)
{
    const struct {
        const char* element;
        const char* reason;
    } cases[] = {
        {R"(<image width="9"/>)", "needs a src"},
        {R"(<image width="9" src="a.png" fit="zoom"/>)", "fit=\"zoom\" is not one of contain, cover, stretch, none"},
        {R"(<image width="9" src="a.png">text</image>)", "takes no text"},
        {R"(<image width="9" src="[Master.Photo" />)", "unterminated expression"},
        {R"(<image src="a.png"/>)", "<image> needs a width"},
        {R"(<barcode width="9">1</barcode>)", "needs a type"},
        {R"(<barcode width="9" type="aztec">1</barcode>)", "type=\"aztec\" is not one of qrcode"},
        {R"(<barcode width="9" type="qrcode" input="true">[Master.A]</barcode>)", "only a <cell> takes input"},
        {R"(<chart width="9" source="D" category="[D.A]"/>)", "needs category="},
        {R"(<chart width="9" category="[D.A]" value="[D.B]"/>)", "needs a source"},
        {R"(<chart width="9" type="radar" source="D" category="[D.A]" value="[D.B]"/>)", "type=\"radar\""},
        {R"(<table width="9"/>)", "expected <cell>, <image>, <barcode> or <chart>"},
    };
    for (const auto& c : cases) {
        const std::string xml = std::string(R"(<report version="1"><sheet name="S"><master height="30">)") + c.element
            + "</master></sheet></report>";
        ReportTemplate report;
        const ParseResult result = parseTemplate(xml, report);
        EXPECT_FALSE(result.ok) << c.element;
        EXPECT_TRUE(result.message.contains(QString::fromUtf8(c.reason))) << c.element << ": " << result.message.toStdString();
        EXPECT_EQ(result.line, 1) << c.element;
    }
}

TEST(TemplateFile, RelativePicturesStartAtTheTemplatesFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.filePath("t.vld"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<report version="1"><sheet name="S"><title height="9"><image width="9" src="logo.svg"/></title></sheet></report>)");
    file.close();
    ReportTemplate report;
    ASSERT_TRUE(loadTemplateFile(file.fileName(), report).ok);
    EXPECT_EQ(report.sheets.at(0).folder, QFileInfo(folder.path()).absoluteFilePath());
}
