#include "ReportLayout.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <limits>

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

namespace {

struct SampleEmployee {
    QString number, name, sex, birthday, salary;
    int dept;
};
struct SampleDepartment {
    int number;
    QString name, code, path;
};

QString xmlEscaped(QString text)
{
    return text.replace(u'&', u"&amp;"_qs).replace(u'<', u"&lt;"_qs).replace(u'>', u"&gt;"_qs).replace(u'"', u"&quot;"_qs);
}

// The rows of samples/test.sql, read from its INSERT statements.
void readSampleSql(std::vector<SampleDepartment>& departments, std::vector<SampleEmployee>& employees)
{
    QFile file(VL_SOURCE_DIR "/samples/test.sql");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString sql = QString::fromUtf8(file.readAll());
    static const QRegularExpression insert(QStringLiteral(R"(INSERT INTO (\w+) \([^)]*\) VALUES \((.*?)\);\n)"),
                                           QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression value(QStringLiteral(R"('((?:[^']|'')*)'|(NULL)|([-\d.]+))"));
    for (auto match = insert.globalMatch(sql); match.hasNext();) {
        const QRegularExpressionMatch row = match.next();
        QStringList values;
        for (auto v = value.globalMatch(row.captured(2)); v.hasNext();) {
            const QRegularExpressionMatch m = v.next();
            values << (m.capturedLength(2) ? QString() : m.capturedLength(3) ? m.captured(3) : m.captured(1).replace("''", "'"));
        }
        if (row.captured(1) == u"Bas_Department")
            departments.push_back({values[0].toInt(), values[1], values[2], values[5]});
        else
            employees.push_back({values[0], values[1], values[2], values[3], values[5], values[7].toInt()});
    }
}

std::string sampleDocument(const std::vector<SampleDepartment>& departments, const std::vector<SampleEmployee>& employees)
{
    QString xml = "<DocumentData><Master>";
    for (const SampleDepartment& d : departments)
        xml += QStringLiteral("<Row DeptNo=\"%1\" DeptName=\"%2\" DeptCode=\"%3\" PathName=\"%4\"/>")
                   .arg(d.number).arg(xmlEscaped(d.name), xmlEscaped(d.code), xmlEscaped(d.path));
    xml += "</Master><Detail>";
    for (const SampleEmployee& e : employees) {
        const auto master = std::find_if(departments.begin(), departments.end(), [&](const SampleDepartment& d) { return d.number == e.dept; });
        if (master == departments.end())
            continue; // the data source leaves out employees of no department
        xml += QStringLiteral("<Row __MasterIdx=\"%1\" EmpNo=\"%2\" EmpName=\"%3\" Sex=\"%4\" Birthday=\"%5\" Salary=\"%6\"/>")
                   .arg(master - departments.begin())
                   .arg(e.number, xmlEscaped(e.name), e.sex, e.birthday, e.salary);
    }
    xml += "</Detail></DocumentData>";
    return xml.toStdString();
}

QString money(double value)
{
    return formatValue(ExprValue::fromNumber(value), QStringLiteral("#,##0.00"), -1);
}

const TemplateSheet& sampleTemplateSheet(const char* name)
{
    static ReportTemplate report;
    if (report.sheets.empty()) {
        const ParseResult result = loadTemplateFile(VL_SOURCE_DIR "/samples/test.vld", report);
        EXPECT_TRUE(result.ok) << result.message.toStdString();
    }
    return *report.sheet(QString::fromUtf8(name));
}

} // namespace

TEST(Layout, SampleReportGroupsTotalsAndPagesFollowTheData)
{
    std::vector<SampleDepartment> departments;
    std::vector<SampleEmployee> employees;
    readSampleSql(departments, employees);
    ASSERT_EQ(departments.size(), 12u);
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(sampleDocument(departments, employees), data).ok);
    const TemplateSheet& sheet = sampleTemplateSheet("Sheet1");
    LayoutHooks hooks;
    std::vector<QString> prompts;
    hooks.prompt = [&](const QString& message) { prompts.push_back(message); };
    hooks.printTime = QDateTime(QDate(2024, 5, 6), QTime(9, 0));
    const LaidOutReport report = layoutReport(sheet, data, hooks);
    EXPECT_TRUE(prompts.empty()) << prompts.front().toStdString();
    const int pages = static_cast<int>(report.pages.size());
    ASSERT_GE(pages, 2);

    QString all;
    int rows = 0;
    const double bottom = sheet.page.paper.height() - sheet.page.marginBottom;
    for (int index = 0; index < pages; ++index) {
        const QString text = report.pageText(index);
        all += text + u'\n';
        int pageRows = 0;
        for (const PageItem& item : report.pages[static_cast<size_t>(index)].items) {
            EXPECT_LE(item.rect.bottom(), bottom + 1e-6) << "nothing prints into the bottom margin";
            if (item.cell && item.cell->elementName() == u"Detail.EmpNo" && !item.graphic) // the number, not its barcode
                ++pageRows;
        }
        EXPECT_GT(pageRows, 0) << "page " << index + 1 << " holds employees";
        rows += pageRows;
        EXPECT_TRUE(text.endsWith(QStringLiteral("第 %1 页，共 %2 页").arg(index + 1).arg(pages))) << text.toStdString();
    }
    EXPECT_TRUE(report.pageText(0).contains(QStringLiteral("打印日期：2024年5月6日")));

    // Totals computed here from the SQL rows, in the order of the departments.
    qsizetype at = 0;
    int listed = 0;
    double grand = 0;
    for (const SampleDepartment& d : departments) {
        int count = 0;
        double sum = 0;
        for (const SampleEmployee& e : employees) {
            if (e.dept != d.number)
                continue;
            ++count;
            sum += e.salary.toDouble();
        }
        listed += count;
        grand += sum;
        for (const QString& expected : {QStringLiteral("部门：") + d.name, QStringLiteral("本部门人数：%1").arg(count),
                                        QStringLiteral("工资小计：") + money(sum)}) {
            const qsizetype found = all.indexOf(expected, at);
            ASSERT_GE(found, 0) << expected.toStdString();
            at = found;
        }
    }
    EXPECT_EQ(rows, listed) << "every employee of a department prints once, none of no department";
    EXPECT_LT(listed, static_cast<int>(employees.size()));
    EXPECT_TRUE(all.contains(QStringLiteral("员工总数：%1").arg(listed)));
    EXPECT_TRUE(all.contains(QStringLiteral("工资总额：") + money(grand)));
    EXPECT_TRUE(all.contains(u"1965-02-27"_qs)) << "birthdays in the template's date format";

    const LaidOutReport list = layoutReport(sampleTemplateSheet("DeptList"), data, hooks);
    EXPECT_TRUE(list.pageText(0).contains(QStringLiteral("部门数：12")));
}

TEST(Layout, LargeDocumentIsLaidOutPageByPage)
{
    std::string xml = "<DocumentData><Master>";
    for (int d = 0; d < 100; ++d)
        xml += "<Row DeptNo=\"" + std::to_string(d) + "\" DeptName=\"部门" + std::to_string(d) + "\"/>";
    xml += "</Master><Detail>";
    for (int e = 0; e < 100000; ++e)
        xml += "<Row __MasterIdx=\"" + std::to_string(e / 1000) + "\" EmpNo=\"" + std::to_string(e) + "\" Salary=\"1\"/>";
    xml += "</Detail></DocumentData>";
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(xml, data).ok);
    const TemplateSheet& sheet = sampleTemplateSheet("Sheet1");

    ReportLayouter lazy(sheet, data);
    EXPECT_FALSE(lazy.layoutUntil(1));
    EXPECT_EQ(lazy.pageCount(), 1) << "one page is there before the rest is laid out";
    auto textOf = [](const LaidOutPage& page) {
        QStringList lines;
        for (const PageItem& item : page.items)
            lines << item.text;
        return lines.join(u'\n');
    };
    const QString first = textOf(lazy.page(0));
    EXPECT_TRUE(first.endsWith(QStringLiteral("共 1 页"))) << "the count so far";
    EXPECT_FALSE(lazy.layoutFor(1));
    const int early = lazy.pageCount();
    const QString atEarly = textOf(lazy.page(early - 1));

    // Finishing changes no page that was shown already but for the count.
    const LaidOutReport whole = lazy.takeReport();
    const int pages = static_cast<int>(whole.pages.size());
    EXPECT_GT(pages, 2500);
    const QString count = QStringLiteral("共 %1 页").arg(pages);
    EXPECT_EQ(whole.pageText(0), QString(first).replace(QStringLiteral("共 1 页"), count));
    EXPECT_EQ(whole.pageText(early - 1), QString(atEarly).replace(QStringLiteral("共 %1 页").arg(early), count));
    EXPECT_TRUE(whole.pageText(pages - 1).contains(QStringLiteral("员工总数：100000")));
    EXPECT_EQ(lazy.pageCount(), 0) << "the pages were handed over";
}

TEST(Layout, MissingFieldsPrintEmptyAndAreToldOnce)
{
    ReportTemplate report;
    ASSERT_TRUE(parseTemplate(R"(<report version="1"><sheet name="S"><page width="100" height="200" margins="5"/>
      <master height="5"><cell width="50">M[Master.Nope]|[Master.DeptName]</cell></master>
      <detail detail="Detail" height="5"><cell width="50">D[Detail.Gone]|[Detail.Name]</cell></detail>
      <detail detail="Other" height="5"><cell width="50">O[Other.X]</cell></detail>
      <summary height="5"><cell width="50">S[sum(Detail.Gone)] [Tax(1)]</cell></summary>
      </sheet></report>)",
                              report)
                    .ok);
    std::vector<QString> prompts;
    LayoutHooks hooks;
    hooks.prompt = [&](const QString& message) { prompts.push_back(message); };
    const LaidOutReport laidOut = layoutReport(report.sheets[0], sampleData(), hooks);
    EXPECT_EQ(laidOut.pageText(0), "M|销售部\nD|张三\nD|李四\nM|研发部\nD|王五\nS0 ");
    EXPECT_EQ(prompts, (std::vector<QString>{
                           "The data has no field \"Master.Nope\"; its cells print empty",
                           "The data has no field \"Detail.Gone\"; its cells print empty",
                           "The data has no detail \"Other\"; its bands print no rows",
                           "The function \"Tax\" is not known; its cells print empty",
                       }));

    prompts.clear();
    hooks.customFunction = [](const QString& name, const std::vector<ExprValue>& args) -> std::optional<ExprValue> {
        if (name != u"Tax" || args.size() != 1)
            return std::nullopt;
        return ExprValue::fromNumber(args[0].number * 10);
    };
    EXPECT_TRUE(layoutReport(report.sheets[0], sampleData(), hooks).pageText(0).endsWith(u"S0 10"_qs));
    EXPECT_EQ(prompts.size(), 3u) << "a function the host knows is no problem";
    prompts.clear();
    layoutReport(report.sheets[0], ReportDataSet{}, hooks);
    EXPECT_TRUE(prompts.empty()) << "before data is loaded nothing is missing";
}

TEST(Layout, GrowingBandTakesTheHeightOfWrappedText)
{
    ReportTemplate report;
    ASSERT_TRUE(parseTemplate(R"(<report version="1"><sheet name="S"><page width="100" height="200" margins="5"/>
      <master height="6" grow="true"><cell x="0" width="20" wrap="true">[Master.DeptName][Master.DeptName][Master.DeptName][Master.DeptName]</cell>
      <cell x="20" width="20">[Master.DeptNo]</cell></master>
      <summary height="5"><cell width="50">end</cell></summary></sheet></report>)",
                              report)
                    .ok);
    const LaidOutReport laidOut = layoutReport(report.sheets[0], sampleData());
    const std::vector<PageItem>& items = laidOut.pages[0].items;
    ASSERT_EQ(items.size(), 5u);
    EXPECT_GT(items[0].rect.height(), 6.0) << "twelve characters need more than one line in 20 mm";
    EXPECT_EQ(items[1].rect.height(), items[0].rect.height()) << "cells of the band grow with it";
    EXPECT_EQ(items[2].rect.top(), items[0].rect.bottom()) << "the next band starts below the grown one";
    EXPECT_TRUE(items[0].style.wrap);
}

TEST(Layout, LongAndDeepExpressionsLayOutAndGiveTheirValues)
{
    // A 100 KB chain in the text and a chain as deep as allowed in the link.
    const QString chain = "1" + QStringLiteral("+1").repeated(49999);
    const QString deep = QStringLiteral("-(").repeated(MaxExpressionDepth / 2) + "Master.DeptNo" + QString(MaxExpressionDepth / 2, u')');
    ReportTemplate report;
    const ParseResult parsed = parseTemplate(QStringLiteral(R"(<report version="1"><sheet name="S"><master height="5">
      <cell width="50" href="[%1]">[%2]</cell></master></sheet></report>)")
                                                 .arg(deep, chain)
                                                 .toStdString(),
                                             report);
    ASSERT_TRUE(parsed.ok) << parsed.message.toStdString();
    const LaidOutReport laidOut = layoutReport(report.sheets[0], sampleData());
    ASSERT_EQ(laidOut.pages.size(), 1u);
    ASSERT_EQ(laidOut.pages[0].items.size(), 2u);
    EXPECT_EQ(laidOut.pages[0].items[0].text, "50000");
    EXPECT_EQ(laidOut.pages[0].items[1].link, "2"); // an even count of minus signs
}

TEST(Layout, APassThatOnlyCountsPagesPlacesTheSameFramesWithoutGraphics)
{
    ReportTemplate report;
    ASSERT_TRUE(parseTemplate(R"(<report version="1"><sheet name="S"><page width="100" height="60" margins="5"/>
      <detail detail="Detail" height="12"><cell width="30">[Detail.N]</cell>
        <barcode x="40" width="10" height="10" type="qrcode">[Detail.N]</barcode></detail></sheet></report>)",
                              report).ok);
    QString xml = QStringLiteral("<DocumentData><Detail>");
    for (int n = 0; n < 9; ++n)
        xml += QStringLiteral("<Row N=\"%1\"/>").arg(n);
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument((xml + QStringLiteral("</Detail></DocumentData>")).toStdString(), data).ok);
    LayoutHooks counting;
    counting.makeGraphics = false;
    const LaidOutReport drawn = layoutReport(report.sheets[0], data);
    const LaidOutReport counted = layoutReport(report.sheets[0], data, counting);
    ASSERT_EQ(counted.pages.size(), drawn.pages.size());
    ASSERT_GT(drawn.pages.size(), 1u);
    for (size_t p = 0; p < drawn.pages.size(); ++p) {
        ASSERT_EQ(counted.pages[p].items.size(), drawn.pages[p].items.size());
        for (size_t i = 0; i < drawn.pages[p].items.size(); ++i) {
            EXPECT_EQ(counted.pages[p].items[i].rect, drawn.pages[p].items[i].rect);
            EXPECT_FALSE(counted.pages[p].items[i].graphic);
            EXPECT_EQ(bool(drawn.pages[p].items[i].graphic), drawn.pages[p].items[i].cell->barcode != nullptr);
        }
    }
}
