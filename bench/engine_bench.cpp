// The report engine over a large document: how soon the first page of a 100 000-employee report is
// on screen after LoadXML, and what the whole layout costs; and the reader over hostile shapes of
// document: one row of very many attributes, and rows that each name other attributes.
//
//   engine_bench [benchmark options]
//
// The document is generated in memory (1 000 departments, 100 000 employees) in the shape that the
// data source writes; the template is the sample's, and for the grouped layout one of department and
// sex groups with page totals beside the same report without the groups.

#include "GeneratedDocument.h"
#include "ReportData.h"
#include "ReportLayout.h"
#include "ReportPainter.h"
#include "ReportTemplate.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

const std::string& document()
{
    static const std::string xml = vl::bench::generatedDocument(1000, 100000, "GB2312");
    return xml;
}

const vl::TemplateSheet& sampleSheet()
{
    static vl::ReportTemplate report = [] {
        vl::ReportTemplate loaded;
        const vl::ParseResult result = vl::loadTemplateFile(VL_SAMPLE_TEMPLATE, loaded);
        if (!result.ok)
            throw std::runtime_error(result.message.toStdString());
        return loaded;
    }();
    return *report.sheet(QStringLiteral("Sheet1"));
}

void paintFirstPage(const vl::ReportLayouter& layouter)
{
    QImage screen(800, 1130, QImage::Format_RGB32);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    vl::paintPage(painter, layouter.page(0), QPointF(0, 0), 800 / 210.0);
}

// LoadXML's work (the document read into rows and groups), then the first page laid out and drawn.
void BM_FirstPageAfterLoad(benchmark::State& state)
{
    const vl::TemplateSheet& sheet = sampleSheet();
    int pages = 0;
    for (auto _ : state) {
        vl::ReportDataSet data;
        const vl::ParseResult result = vl::parseDataDocument(document(), data);
        if (!result.ok) {
            state.SkipWithError(result.message.toStdString().c_str());
            return;
        }
        vl::ReportLayouter layouter(sheet, data);
        layouter.layoutUntil(1);
        paintFirstPage(layouter);
        pages = layouter.pageCount();
        benchmark::DoNotOptimize(pages);
    }
    state.counters["doc_MB"] = static_cast<double>(document().size()) / 1e6;
}
BENCHMARK(BM_FirstPageAfterLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

// The document read alone, for the share of the reader in the figure above.
void BM_LoadXml(benchmark::State& state)
{
    for (auto _ : state) {
        vl::ReportDataSet data;
        benchmark::DoNotOptimize(vl::parseDataDocument(document(), data).ok);
    }
}
BENCHMARK(BM_LoadXml)->Unit(benchmark::kMillisecond)->Iterations(5);

// One row of `n` attributes, each named apart (only letter case tells some of them apart), then a
// second row of the same names: the reader must stay linear in the attributes of a row.
std::string wideRowDocument(int attributes)
{
    std::string row = "<Row";
    for (int i = 0; i < attributes; ++i)
        row += (i % 2 ? " f" : " F") + std::to_string(i / 2) + "=\"" + std::to_string(i) + "\"";
    row += "/>";
    return "<DocumentData><Master>" + row + row + "</Master></DocumentData>";
}

void BM_WideRow(benchmark::State& state)
{
    const std::string xml = wideRowDocument(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        vl::ReportDataSet data;
        const vl::ParseResult result = vl::parseDataDocument(xml, data);
        if (!result.ok || data.masterRows.size() != 2) {
            state.SkipWithError("the wide row was not read");
            return;
        }
    }
    state.counters["doc_MB"] = static_cast<double>(xml.size()) / 1e6;
}
BENCHMARK(BM_WideRow)->Arg(1000)->Arg(40000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every field of the wide rows found by its name, as a client reading the whole row does.
void BM_WideRowByName(benchmark::State& state)
{
    vl::ReportDataSet data;
    if (!vl::parseDataDocument(wideRowDocument(static_cast<int>(state.range(0))), data).ok) {
        state.SkipWithError("the wide row was not read");
        return;
    }
    for (auto _ : state) {
        for (const vl::DataRow& row : data.masterRows)
            for (std::size_t i = 0; i < row.fieldCount(); ++i)
                benchmark::DoNotOptimize(row.value(row.fieldName(i)));
    }
}
BENCHMARK(BM_WideRowByName)->Arg(40000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every row names attributes no row before it named, so none shares a shape.
std::string distinctShapesDocument(int rows)
{
    std::string xml = "<DocumentData><Master>";
    for (int i = 0; i < rows; ++i)
        xml += "<Row A=\"1\" N" + std::to_string(i) + "=\"2\"/>";
    return xml + "</Master></DocumentData>";
}

void BM_DistinctShapes(benchmark::State& state)
{
    const std::string xml = distinctShapesDocument(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        vl::ReportDataSet data;
        const vl::ParseResult result = vl::parseDataDocument(xml, data);
        if (!result.ok) {
            state.SkipWithError(result.message.toStdString().c_str());
            return;
        }
    }
    state.counters["doc_MB"] = static_cast<double>(xml.size()) / 1e6;
}
BENCHMARK(BM_DistinctShapes)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every page, as print and PDF need them.
void BM_WholeLayout(benchmark::State& state)
{
    vl::ReportDataSet data;
    vl::parseDataDocument(document(), data);
    int pages = 0;
    for (auto _ : state) {
        vl::ReportLayouter layouter(sampleSheet(), data);
        layouter.layoutUntil(std::numeric_limits<int>::max());
        pages = layouter.pageCount();
    }
    state.counters["pages"] = pages;
    state.counters["rows/s"] = benchmark::Counter(100000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeLayout)->Unit(benchmark::kMillisecond)->Iterations(3);

// A report of the employees by department, with page totals in the page footer; GROUPS stands for the
// group elements, which the grouped report fills and the plain one leaves out.
const char* const GroupTemplate = R"(<report version="1"><sheet name="Sheet1">
  <page size="A4" margins="15"/><font font="WenQuanYi Micro Hei" size="10"/>
  <master height="9"><cell x="0" width="120" bold="true">[Master.DeptName]</cell>
    <cell x="120" width="60" align="right">[Master.DeptCode]</cell></master>
  <detailHeader detail="Detail" height="7" bold="true" border="all"><cell x="0" width="30">EmpNo</cell>
    <cell x="30" width="60">EmpName</cell><cell x="90" width="45">Birthday</cell><cell x="135" width="45">Salary</cell></detailHeader>
  GROUPS
  <detail detail="Detail" height="6.5" border="all"><cell x="0" width="30">[Detail.EmpNo]</cell>
    <cell x="30" width="60">[Detail.EmpName]</cell>
    <cell x="90" width="45" format="yyyy-MM-dd">[Detail.Birthday]</cell>
    <cell x="135" width="45" align="right" format="#,##0.00" color="[if(Detail.Salary > 9000, '#C00000', '#000000')]">[Detail.Salary]</cell></detail>
  <pageFooter height="12"><cell x="0" width="180" height="6" align="right" format="#,##0.00">[pageSum(Detail.Salary)]</cell>
    <cell x="0" y="6" width="180" height="6" align="right" format="#,##0.00">[runningSum(Detail.Salary)]</cell></pageFooter>
</sheet></report>)";

const char* const TwoGroupLevels = R"(<group source="Master" by="[Master.DeptNo]">
    <groupHeader height="7"><cell x="0" width="180">[Master.DeptName]: [count(Detail)]</cell></groupHeader>
    <groupFooter height="7"><cell x="0" width="90">[count(Detail)]</cell>
      <cell x="90" width="90" align="right" format="#,##0.00">[sum(Detail.Salary)]</cell></groupFooter>
    <group source="Detail" by="[Detail.Sex]" repeatHeader="true">
      <groupHeader height="6.5"><cell x="0" width="180">[Detail.Sex]</cell></groupHeader>
      <groupFooter height="6.5"><cell x="0" width="90">[count(Detail)]</cell>
        <cell x="90" width="90" align="right" format="#,##0.00">[sum(Detail.Salary)]</cell></groupFooter>
    </group>
  </group>)";

const vl::TemplateSheet& pageTotalsSheet(bool grouped)
{
    static const auto parsed = [](bool withGroups) {
        std::string text = GroupTemplate;
        text.replace(text.find("GROUPS"), 6, withGroups ? TwoGroupLevels : "");
        auto report = std::make_unique<vl::ReportTemplate>();
        const vl::ParseResult result = vl::parseTemplate(text, *report);
        if (!result.ok)
            throw std::runtime_error(result.message.toStdString());
        return report;
    };
    static const std::unique_ptr<vl::ReportTemplate> plain = parsed(false);
    static const std::unique_ptr<vl::ReportTemplate> withGroups = parsed(true);
    return *(grouped ? withGroups : plain)->sheet(QStringLiteral("Sheet1"));
}

// Lays the whole sheet out over the 100 000 rows each iteration; counts its pages and rows a second.
void layOutWhole(benchmark::State& state, const vl::TemplateSheet& sheet)
{
    vl::ReportDataSet data;
    vl::parseDataDocument(document(), data);
    int pages = 0;
    for (auto _ : state) {
        vl::ReportLayouter layouter(sheet, data);
        layouter.layoutUntil(std::numeric_limits<int>::max());
        pages = layouter.pageCount();
    }
    state.counters["pages"] = pages;
    state.counters["rows/s"] = benchmark::Counter(100000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Every page of the report with page totals: range(0) 1 with two group levels (department and sex),
// 0 the same report without them, for the cost of the groups as a ratio of the two.
void BM_PageTotalsLayout(benchmark::State& state)
{
    layOutWhole(state, pageTotalsSheet(state.range(0) != 0));
}
BENCHMARK(BM_PageTotalsLayout)->ArgName("groups")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// A QR code of each employee's number on every detail row (range(0) 1), beside the same report with the
// number as text (0): what encoding 100 000 distinct symbols adds to the whole layout.
void BM_BarcodeLayout(benchmark::State& state)
{
    static const auto parsed = [](bool barcode) {
        const std::string cell = barcode ? R"(<barcode x="30" width="12" height="12" type="qrcode">[Detail.EmpNo]</barcode>)"
                                         : R"(<cell x="30" width="12">[Detail.EmpNo]</cell>)";
        auto report = std::make_unique<vl::ReportTemplate>();
        const vl::ParseResult result = vl::parseTemplate(R"(<report version="1"><sheet name="Sheet1"><page size="A4" margins="15"/>
          <detail detail="Detail" height="13"><cell x="0" width="30">[Detail.EmpName]</cell>)" + cell + "</detail></sheet></report>",
                                                         *report);
        if (!result.ok)
            throw std::runtime_error(result.message.toStdString());
        return report;
    };
    static const std::unique_ptr<vl::ReportTemplate> text = parsed(false);
    static const std::unique_ptr<vl::ReportTemplate> codes = parsed(true);
    layOutWhole(state, *(state.range(0) ? codes : text)->sheet(QStringLiteral("Sheet1")));
}
BENCHMARK(BM_BarcodeLayout)->ArgName("qrcode")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    // Fonts for measuring and painting; no window is shown.
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
