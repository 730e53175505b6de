#include "ReportTemplate.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
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
    struct Case {
        const char* xml;
        int line;
        int column;
        const char* reason;
    };
    const Case cases[] = {
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
    };
    for (const Case& c : cases) {
        ReportTemplate report;
        report.version = 7;
        const ParseResult result = parseTemplate(c.xml, report);
        SCOPED_TRACE(c.xml);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.column, c.column);
        EXPECT_TRUE(result.message.contains(QString::fromUtf8(c.reason))) << result.message.toStdString();
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
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<report version=\"1\">\r\n<sheet name=\"中文\">\r\n<title></sheet></report>");
    file.close();
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
