#include "ReportLayout.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

ReportDataSet sampleData()
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(
        "<DocumentData><Master><Row DeptName=\"销售部\" DeptNo=\"1\"/><Row DeptName=\"研发部\" DeptNo=\"2\"/></Master>"
        "<Detail><Row __MasterIdx=\"0\" Name=\"张三\" Salary=\"100.5\"/><Row __MasterIdx=\"0\" Name=\"李四\" Salary=\"200\"/>"
        "<Row __MasterIdx=\"1\" Name=\"王五\" Salary=\"x\"/></Detail></DocumentData>",
        data);
    EXPECT_TRUE(result.ok) << result.message.toStdString();
    return data;
}

// Page 40 mm high with 5 mm margins and a 5 mm footer: 25 mm for bands.
TemplateSheet smallSheet()
{
    ReportTemplate report;
    const ParseResult result = parseTemplate(R"(<report version="1"><sheet name="S">
      <page width="100" height="40" margins="5"/>
      <title height="5"><cell width="50">T [sum(Detail.Salary)] [count(Detail)] [count(Master)]</cell></title>
      <master height="5"><cell width="50">M [Master.DeptName] [count(Detail)]</cell></master>
      <detailHeader detail="Detail" height="5"><cell width="50">H</cell></detailHeader>
      <detail detail="Detail" height="5"><cell width="50">D [Detail.Name] [Master.DeptNo]</cell></detail>
      <detailFooter detail="Detail" height="5"><cell width="50" decimals="2">F [sum(Detail.Salary)]</cell></detailFooter>
      <summary height="5"><cell width="50">S [count(Detail)]</cell></summary>
      <pageFooter height="5"><cell width="50">[Page] / [Pages]</cell></pageFooter>
    </sheet></report>)",
                                             report);
    EXPECT_TRUE(result.ok) << result.message.toStdString();
    return report.sheets.at(0);
}

} // namespace

TEST(Layout, BandsFlowOverPagesWithGroupsAggregatesAndPageNumbers)
{
    const LaidOutReport report = layoutReport(smallSheet(), sampleData());
    ASSERT_EQ(report.pages.size(), 3u);
    // Five bands fit a page; the header repeats where the table breaks.
    EXPECT_EQ(report.pageText(0), "T 300.5 3 2\nM 销售部 2\nH\nD 张三 1\nD 李四 1\n1 / 3");
    EXPECT_EQ(report.pageText(1), "F 300.50\nM 研发部 1\nH\nD 王五 2\nF 0.00\n2 / 3");
    EXPECT_EQ(report.pageText(2), "S 3\n3 / 3");
    const PageItem& footer = report.pages[0].items.back();
    EXPECT_EQ(footer.rect, QRectF(5, 30, 50, 5)) << "the page footer sits on the bottom margin";
    EXPECT_EQ(report.pages[0].items[1].rect, QRectF(5, 10, 50, 5));
}

TEST(Layout, DetailHeaderRepeatsWhenTableBreaks)
{
    ReportDataSet data;
    std::string xml = "<DocumentData><Detail>";
    for (int i = 0; i < 7; ++i)
        xml += "<Row Name=\"n" + std::to_string(i) + "\"/>";
    xml += "</Detail></DocumentData>";
    ASSERT_TRUE(parseDataDocument(xml, data).ok);
    TemplateSheet sheet = smallSheet();
    const LaidOutReport report = layoutReport(sheet, data);
    ASSERT_EQ(report.pages.size(), 3u);
    EXPECT_EQ(report.pageText(0), "T 0 7 0\nH\nD n0 \nD n1 \nD n2 \n1 / 3");
    EXPECT_EQ(report.pageText(1), "H\nD n3 \nD n4 \nD n5 \nD n6 \n2 / 3");
    EXPECT_EQ(report.pageText(2), "F 0.00\nS 7\n3 / 3");
}

TEST(Layout, BandTallerThanPageIsPlacedOnceNotLooped)
{
    ReportTemplate report;
    ASSERT_TRUE(parseTemplate(R"(<report version="1"><sheet name="S"><page width="50" height="30" margins="5"/>
      <master height="100"><cell width="10">[Master.DeptName]</cell></master></sheet></report>)",
                              report)
                    .ok);
    const LaidOutReport laidOut = layoutReport(report.sheets[0], sampleData());
    EXPECT_EQ(laidOut.pages.size(), 2u);
}

TEST(Layout, DefaultSheetShowsMasterFieldsAndDetailTables)
{
    const ReportDataSet data = sampleData();
    const LaidOutReport report = layoutReport(defaultSheet(data), data);
    ASSERT_EQ(report.pages.size(), 1u);
    const QString text = report.pageText(0);
    for (const char* expected : {"DeptName:", "销售部", "研发部", "Name", "张三", "李四", "王五", "100.5"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_LT(text.indexOf("李四"), text.indexOf("研发部")) << "details follow their own master";
}

TEST(Layout, EmptyDataGivesOneEmptyPage)
{
    const LaidOutReport report = layoutReport(defaultSheet(ReportDataSet{}), ReportDataSet{});
    ASSERT_EQ(report.pages.size(), 1u);
    EXPECT_TRUE(report.pages[0].items.empty());
}

TEST(Layout, NumberFormat)
{
    struct Case {
        double value;
        int decimals;
        const char* text;
    };
    for (const Case& c : {Case{300.5, -1, "300.5"}, Case{300, -1, "300"}, Case{-2, -1, "-2"}, Case{1.0 / 3, 2, "0.33"},
                          Case{2.6, 0, "3"}, Case{0.1 + 0.2, -1, "0.3"}, Case{1234567.26, 1, "1234567.3"}})
        EXPECT_EQ(formatNumber(c.value, c.decimals), QString::fromUtf8(c.text)) << c.value;
}
