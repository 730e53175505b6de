// Charts: their points taken from the rows of the band's scope (all rows, a master row's, a group's),
// summed per category in order; values that are no numbers, unknown sources, too many categories; the
// axis's steps; labels that do not overlap; bars of the right heights on a PNG; vector text in a PDF.

#include "ReportChart_p.h"
#include "ReportPainter.h"

#include "CommandOutput.h"
#include "TestSupport.h"
#include "WidgetApplication.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace vl
{
inline void PrintTo(const ChartPoint& point, std::ostream* out)
{
    *out << '"' << point.category.toStdString() << "\" " << point.value;
}
} // namespace vl

using namespace vl;

namespace
{

// One detail row: its master row (-1 without a master block), its category, and its value's text.
struct Row {
    int master = -1;
    QString category;
    QString value;
};

// Categories repeat out of order and come back after others; values differ row by row, some negative,
// some with decimals, so a sum over the wrong rows shows.
std::vector<Row> salesRows(int masters, int rowsPerMaster)
{
    const QString categories[]
        = { u"茶"_qs, u"Coffee"_qs, u"果汁"_qs, u"Coffee"_qs, u"Water"_qs, u"茶"_qs, u"Soda"_qs };
    std::vector<Row> rows;
    for (int m = 0; m < std::max(1, masters); ++m)
        for (int r = 0; r < rowsPerMaster; ++r) {
            const int n = static_cast<int>(rows.size());
            const QString category = categories[(n * 3 + m) % 7];
            rows.push_back(Row { masters > 0 ? m : -1, category, QString::number((n % 5) * 2.5 - 1 + m * 10) });
        }
    return rows;
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

ReportDataSet dataOf(const std::vector<Row>& rows, int masters)
{
    QString xml = u"<DocumentData>"_qs;
    if (masters > 0) {
        xml += u"<Master>"_qs;
        for (int m = 0; m < masters; ++m)
            xml += QStringLiteral("<Row Dept=\"d%1\" Region=\"%2\"/>")
                       .arg(m)
                       .arg(m < masters / 2 ? u"north" : u"south");
        xml += u"</Master>"_qs;
    }
    xml += u"<Detail>"_qs;
    for (const Row& row : rows) {
        xml += u"<Row"_qs;
        if (row.master >= 0)
            xml += QStringLiteral(" __MasterIdx=\"%1\"").arg(row.master);
        xml += QStringLiteral(" Cat=\"%1\" Amount=\"%2\"/>").arg(escaped(row.category), escaped(row.value));
    }
    xml += u"</Detail></DocumentData>"_qs;
    ReportDataSet data;
    const ParseResult result = parseDataDocument(xml, data);
    EXPECT_TRUE(result.ok) << result.message.toStdString();
    return data;
}

ReportTemplate templateOf(const QString& body)
{
    const QString xml
        = u"<report version=\"1\"><sheet name=\"S\"><page width=\"200\" height=\"280\" margins=\"10\"/>"_qs + body
        + u"</sheet></report>"_qs;
    ReportTemplate report;
    const ParseResult result = parseTemplate(xml.toStdString(), report);
    EXPECT_TRUE(result.ok) << result.message.toStdString() << "\n" << xml.toStdString();
    if (report.sheets.empty())
        report.sheets.emplace_back();
    return report;
}

QString chartElement(const QString& type = u"bar"_qs, const QString& source = u"Detail"_qs, double height = 60)
{
    return QStringLiteral("<chart x=\"0\" y=\"0\" width=\"180\" height=\"%1\" type=\"%2\" source=\"%3\" "
                          "category=\"[Detail.Cat]\" value=\"[Detail.Amount]\" title=\"销售 Sales\"/>")
        .arg(height)
        .arg(type, source);
}

// The sums the rows give per category, categories in order of first appearance; values that are no
// numbers left out.
std::vector<ChartPoint> expectedPoints(const std::vector<Row>& rows, const std::function<bool(const Row&)>& take)
{
    std::vector<ChartPoint> points;
    for (const Row& row : rows) {
        bool number = false;
        const double value = row.value.toDouble(&number);
        if (!take(row) || !number)
            continue;
        auto found = std::find_if(
            points.begin(), points.end(), [&](const ChartPoint& p) { return p.category == row.category; });
        if (found == points.end())
            points.push_back(ChartPoint { row.category, value });
        else
            found->value += value;
    }
    return points;
}

// The chart outlives the report; the item does not.
struct LaidOutChart {
    std::shared_ptr<const ChartGraphic> chart;
    const PageItem* item = nullptr;
};

std::vector<LaidOutChart> chartsIn(const LaidOutReport& report)
{
    std::vector<LaidOutChart> charts;
    for (const LaidOutPage& page : report.pages)
        for (const PageItem& item : page.items)
            if (item.graphic && item.graphic->kind() == PageGraphic::Kind::Chart)
                charts.push_back(LaidOutChart { std::static_pointer_cast<const ChartGraphic>(item.graphic), &item });
    return charts;
}

void expectPoints(const std::vector<ChartPoint>& actual, const std::vector<ChartPoint>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].category, expected[i].category) << i;
        EXPECT_NEAR(actual[i].value, expected[i].value, 1e-9) << actual[i].category.toStdString();
    }
}

LayoutHooks collecting(QStringList& told)
{
    LayoutHooks hooks;
    hooks.prompt = [&told](const QString& message) { told << message; };
    return hooks;
}

class ChartTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { vl::test::ensureWidgetApplication("reportctl_tests"); }
};

} // namespace

TEST_F(ChartTest, PointsSumTheRowsOfTheBandsScopePerCategoryInOrder)
{
    constexpr int Masters = 4;
    std::vector<Row> rows = salesRows(Masters, 9);
    rows[5].value = u"n/a"_qs; // left out, told
    const ReportDataSet data = dataOf(rows, Masters);
    const QString chart = chartElement();
    struct Case {
        const char* name;
        QString body;
        // Which rows the n-th chart of the report sums.
        std::function<bool(const Row&, int chart)> take;
        int charts;
    };
    const std::vector<Case> cases = {
        { "in the summary, all rows", u"<summary height=\"70\">"_qs + chart + u"</summary>"_qs,
            [](const Row&, int) { return true; }, 1 },
        { "in the title, all rows", u"<title height=\"70\">"_qs + chart + u"</title>"_qs,
            [](const Row&, int) { return true; }, 1 },
        { "in a master band, that master's rows", u"<master height=\"70\">"_qs + chart + u"</master>"_qs,
            [](const Row& row, int n) { return row.master == n; }, Masters },
        { "in a footer of a group of master rows, the group's masters' rows",
            u"<group source=\"Master\" by=\"[Master.Region]\"><groupFooter height=\"70\">"_qs + chart
                + u"</groupFooter></group><master height=\"5\"/>"_qs,
            [](const Row& row, int n) { return (row.master < Masters / 2 ? 0 : 1) == n; }, 2 },
        { "in a footer of a group of detail rows, the group's rows",
            u"<master height=\"5\"/><group source=\"Detail\" by=\"[Detail.Amount &lt; 5]\"><groupFooter height=\"70\">"_qs
                + chart + u"</groupFooter></group><detail detail=\"Detail\" height=\"5\"/>"_qs,
            nullptr, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList told;
        const ReportTemplate report = templateOf(c.body);
        const std::vector<LaidOutChart> charts = chartsIn(layoutReport(report.sheets[0], data, collecting(told)));
        if (c.take) {
            ASSERT_EQ(charts.size(), static_cast<size_t>(c.charts));
            for (int n = 0; n < c.charts; ++n)
                expectPoints(charts[static_cast<size_t>(n)].chart->points(),
                    expectedPoints(rows, [&](const Row& row) { return c.take(row, n); }));
        } else {
            // Groups of detail rows start anew with each master row: a run of rows on one side of 5.
            std::vector<std::vector<ChartPoint>> expected;
            for (size_t first = 0; first < rows.size();) {
                auto side = [&](size_t i) { return rows[i].value.toDouble() < 5; };
                size_t last = first;
                while (last + 1 < rows.size() && rows[last + 1].master == rows[first].master
                    && side(last + 1) == side(first))
                    ++last;
                expected.push_back(expectedPoints(rows, [&](const Row& row) {
                    const size_t index = static_cast<size_t>(&row - rows.data());
                    return index >= first && index <= last;
                }));
                first = last + 1;
            }
            ASSERT_EQ(charts.size(), expected.size());
            for (size_t n = 0; n < expected.size(); ++n)
                expectPoints(charts[n].chart->points(), expected[n]);
        }
        EXPECT_EQ(told.count(u"The chart \"销售 Sales\" leaves out values that are not numbers"_qs), 1)
            << told.join(u'\n').toStdString();
    }
}

TEST_F(ChartTest, ChartsInDetailBandsOfOneScopeShareOneGraphic)
{
    const std::vector<Row> rows = salesRows(0, 40);
    const ReportTemplate report = templateOf(u"<detail detail=\"Detail\" height=\"6\">"_qs
        + QStringLiteral("<chart width=\"50\" source=\"Detail\" category=\"[Detail.Cat]\" "
                         "value=\"[Detail.Amount]\"/>")
        + u"</detail>"_qs);
    const std::vector<LaidOutChart> charts = chartsIn(layoutReport(report.sheets[0], dataOf(rows, 0)));
    ASSERT_EQ(charts.size(), rows.size());
    for (const LaidOutChart& chart : charts)
        EXPECT_EQ(chart.chart, charts[0].chart);
    expectPoints(charts[0].chart->points(), expectedPoints(rows, [](const Row&) { return true; }));
}

TEST_F(ChartTest, AnUnknownSourcePrintsAnEmptyFrameAndIsToldOnce)
{
    QStringList told;
    const ReportTemplate report
        = templateOf(u"<master height=\"70\">"_qs + chartElement(u"bar"_qs, u"Orders"_qs) + u"</master>"_qs);
    const LaidOutReport laidOut = layoutReport(report.sheets[0], dataOf(salesRows(3, 2), 3), collecting(told));
    int frames = 0;
    for (const LaidOutPage& page : laidOut.pages)
        for (const PageItem& item : page.items)
            frames += item.graphic && item.graphic->kind() == PageGraphic::Kind::Empty;
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(told, QStringList { u"The data has no detail \"Orders\"; its chart prints an empty frame"_qs });
}

TEST_F(ChartTest, PieLeavesOutSlicesNotAboveZeroAndLegendsTheRest)
{
    const std::vector<Row> rows = { { -1, u"茶"_qs, u"30"_qs }, { -1, u"Loss"_qs, u"-5"_qs },
        { -1, u"Coffee"_qs, u"50"_qs }, { -1, u"Zero"_qs, u"0"_qs }, { -1, u"茶"_qs, u"20"_qs } };
    QStringList told;
    const ReportTemplate report
        = templateOf(u"<summary height=\"70\">"_qs + chartElement(u"pie"_qs) + u"</summary>"_qs);
    const std::vector<LaidOutChart> charts
        = chartsIn(layoutReport(report.sheets[0], dataOf(rows, 0), collecting(told)));
    ASSERT_EQ(charts.size(), 1u);
    expectPoints(charts[0].chart->points(), { { u"茶"_qs, 50 }, { u"Coffee"_qs, 50 } });
    EXPECT_EQ(charts[0].chart->legendTexts(), (QStringList { u"茶 50.0%"_qs, u"Coffee 50.0%"_qs }));
    EXPECT_EQ(
        told, QStringList { u"The pie chart \"销售 Sales\" leaves out categories whose sum is not above zero"_qs });
}

TEST_F(ChartTest, CategoriesBeyondTheMaximumAreSummedIntoOnePoint)
{
    std::vector<Row> rows;
    for (int n = 0; n < MaxChartPoints + 200; ++n)
        rows.push_back(Row { -1, QStringLiteral("c%1").arg(n % (MaxChartPoints + 100)), QString::number(n % 7) });
    QStringList told;
    const ReportTemplate report = templateOf(u"<summary height=\"70\">"_qs + chartElement() + u"</summary>"_qs);
    const std::vector<LaidOutChart> charts
        = chartsIn(layoutReport(report.sheets[0], dataOf(rows, 0), collecting(told)));
    ASSERT_EQ(charts.size(), 1u);
    std::vector<ChartPoint> expected = expectedPoints(rows, [](const Row&) { return true; });
    double rest = 0;
    for (size_t n = MaxChartPoints - 1; n < expected.size(); ++n)
        rest += expected[n].value;
    expected.resize(MaxChartPoints - 1);
    expected.push_back(ChartPoint { QString(QChar(OverflowCategory)), rest });
    expectPoints(charts[0].chart->points(), expected);
    EXPECT_EQ(told.size(), 1) << told.join(u'\n').toStdString();
}

TEST(ChartAxis, StepsAreOneTwoOrFiveTimesAPowerOfTenAndTheRangeHoldsZero)
{
    struct Case {
        double minimum, maximum;
        int ticks;
        ChartAxis axis;
    };
    const Case cases[] = {
        { 0, 100, 5, { 0, 100, 20 } },
        { 3, 97, 5, { 0, 100, 20 } },
        { 0, 101, 5, { 0, 150, 50 } },
        { -12, 40, 6, { -20, 40, 10 } },
        { -7, -3, 4, { -8, 0, 2 } },
        { 0, 0, 5, { 0, 1, 0.2 } },
        { 0, 0.037, 4, { 0, 0.04, 0.01 } },
        { 0, 1e12, 10, { 0, 1e12, 1e11 } },
        { -1, 9, 5, { -5, 10, 5 } },
    };
    for (const Case& c : cases) {
        const ChartAxis axis = niceAxis(c.minimum, c.maximum, c.ticks);
        EXPECT_NEAR(axis.low, c.axis.low, 1e-9 * c.axis.step) << c.minimum << ".." << c.maximum;
        EXPECT_NEAR(axis.high, c.axis.high, 1e-9 * c.axis.step) << c.minimum << ".." << c.maximum;
        EXPECT_NEAR(axis.step, c.axis.step, 1e-12 * c.axis.step) << c.minimum << ".." << c.maximum;
    }
    // Any range: zero inside, the data inside, the step nice, no more intervals than asked (but one on
    // each side of zero).
    for (const double low : { -1e5, -3.7, -0.2, 0.0 })
        for (const double high : { 0.0, 0.013, 7.0, 99.0, 1234.5, 2e7 })
            for (int ticks = 1; ticks <= 10; ++ticks) {
                const ChartAxis axis = niceAxis(low, high, ticks);
                SCOPED_TRACE(testing::Message() << low << ".." << high << " in " << ticks << ": " << axis.low << ".."
                                                << axis.high << " by " << axis.step);
                EXPECT_LE(axis.low, low);
                EXPECT_GE(axis.high, high);
                const int least = low < 0 && high > 0 ? 2 : 1; // an interval on each side of zero
                EXPECT_LE((axis.high - axis.low) / axis.step, std::max(least, ticks) + 1e-6);
                const double mantissa = axis.step / std::pow(10.0, std::floor(std::log10(axis.step) + 1e-12));
                EXPECT_TRUE(
                    std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 || std::abs(mantissa - 5) < 1e-9)
                    << axis.step;
            }
    EXPECT_EQ(tickText(-1e-17, 0.2), u"0.0"_qs);
    EXPECT_EQ(tickText(40, 10), u"40"_qs);
    EXPECT_EQ(tickText(0.03, 0.01), u"0.03"_qs);
}

TEST_F(ChartTest, CategoryLabelsNeverOverlap)
{
    QImage device(10, 10, QImage::Format_RGB32);
    const double pixelsPerMm = 8;
    const double fontScale = pixelsPerMm * 25.4 / device.logicalDpiY();
    const QRectF frame(0, 0, 100 * pixelsPerMm, 60 * pixelsPerMm);
    QFont font(CellStyle {}.fontFamily);
    font.setPointSizeF(CellStyle {}.fontSize * fontScale);
    const QFontMetricsF metrics(font, &device);
    for (const int count : { 3, 12, 40, 300, MaxChartPoints }) {
        SCOPED_TRACE(count);
        std::vector<ChartPoint> points;
        for (int n = 0; n < count; ++n)
            points.push_back(ChartPoint { QStringLiteral("类别 %1").arg(n), double(n) });
        const ChartGraphic chart(ChartType::Bar, {}, points, CellStyle {});
        const std::vector<CategoryLabel> labels = chart.categoryLabels(frame, pixelsPerMm, fontScale, &device);
        ASSERT_FALSE(labels.empty());
        EXPECT_EQ(labels.front().point, 0);
        for (size_t n = 1; n < labels.size(); ++n) {
            const double apart = labels[n].anchor.x() - labels[n - 1].anchor.x();
            if (labels[n].rotated) {
                EXPECT_GE(apart * std::sqrt(0.5), metrics.height() - 1e-6); // across the turned lines
            } else {
                EXPECT_GE(apart, metrics.horizontalAdvance(points[static_cast<size_t>(labels[n].point)].category));
            }
        }
        if (count == 3) {
            EXPECT_EQ(labels.size(), 3u);
        }
        if (count >= 300) {
            EXPECT_LT(labels.size(), static_cast<size_t>(count) / 4);
        }
        for (const CategoryLabel& label : labels)
            EXPECT_TRUE(frame.contains(label.anchor));
    }
}

TEST_F(ChartTest, BarsOnAPngStandInTheRatioOfTheirSumsAboveAndBelowZero)
{
    // Sums 40, 10, 30 and -20, each from two rows.
    const std::vector<Row> rows = { { -1, u"A"_qs, u"25"_qs }, { -1, u"B"_qs, u"4"_qs }, { -1, u"C"_qs, u"30"_qs },
        { -1, u"D"_qs, u"-20"_qs }, { -1, u"A"_qs, u"15"_qs }, { -1, u"B"_qs, u"6"_qs } };
    const ReportTemplate report = templateOf(u"<summary height=\"90\">"_qs
        + QStringLiteral("<chart x=\"20\" y=\"5\" width=\"120\" height=\"80\" source=\"Detail\" "
                         "category=\"[Detail.Cat]\" value=\"[Detail.Amount]\"/>")
        + u"</summary>"_qs);
    const LaidOutReport laidOut = layoutReport(report.sheets[0], dataOf(rows, 0));
    const std::vector<LaidOutChart> charts = chartsIn(laidOut);
    ASSERT_EQ(charts.size(), 1u);
    const std::vector<ChartPoint> sums = expectedPoints(rows, [](const Row&) { return true; });

    const double pixelsPerMm = 4;
    QImage image(QSize(200 * 4, 280 * 4), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintPage(painter, laidOut.pages[0], QPointF(0, 0), pixelsPerMm);
    }
    const QRect rect = QRectF(charts[0].item->rect.topLeft() * pixelsPerMm, charts[0].item->rect.size() * pixelsPerMm)
                           .toAlignedRect();
    // Nothing outside the chart's rect.
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (!rect.adjusted(-1, -1, 1, 1).contains(x, y)) {
                ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
            }

    // Each bar: a run of columns of the series colour; its height and extent in the middle column.
    auto isSeries = [&](int x, int y) {
        const QColor c(image.pixel(x, y));
        return std::abs(c.red() - 0x33) < 24 && std::abs(c.green() - 0x66) < 24 && std::abs(c.blue() - 0xCC) < 24;
    };
    struct Bar {
        int top, bottom;
    };
    std::vector<Bar> bars;
    bool wasInBar = false;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        int top = -1, bottom = -1;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            if (isSeries(x, y)) {
                top = top < 0 ? y : top;
                bottom = y;
            }
        const bool inBar = top >= 0 && bottom - top > 3;
        if (inBar && !wasInBar)
            bars.push_back(Bar { top, bottom });
        else if (inBar)
            bars.back() = Bar { std::min(bars.back().top, top), std::max(bars.back().bottom, bottom) };
        wasInBar = inBar;
    }
    ASSERT_EQ(bars.size(), sums.size());
    // Positive bars share their bottom (the zero line), the negative bar hangs from it.
    const int zero = bars[0].bottom;
    const double pixelsPerUnit = (bars[0].bottom - bars[0].top + 1) / sums[0].value;
    for (size_t n = 0; n < bars.size(); ++n) {
        const double height = bars[n].bottom - bars[n].top + 1;
        EXPECT_NEAR(height, std::abs(sums[n].value) * pixelsPerUnit, 2.5) << sums[n].category.toStdString();
        if (sums[n].value > 0)
            EXPECT_NEAR(bars[n].bottom, zero, 1);
        else
            EXPECT_NEAR(bars[n].top, zero, 2);
    }
}

TEST_F(ChartTest, APdfHoldsTheChartAsTextAndVectorsWithoutImages)
{
    QTemporaryDir dir;
    const std::vector<Row> rows = salesRows(0, 12);
    for (const QString& type : { u"bar"_qs, u"line"_qs, u"pie"_qs }) {
        SCOPED_TRACE(type.toStdString());
        const ReportTemplate report
            = templateOf(u"<summary height=\"90\">"_qs + chartElement(type, u"Detail"_qs, 90) + u"</summary>"_qs);
        const LaidOutReport laidOut = layoutReport(report.sheets[0], dataOf(rows, 0));
        const QString file = dir.filePath(type + QStringLiteral(".pdf"));
        {
            QPdfWriter writer(file);
            ASSERT_TRUE(printReport(laidOut, writer));
        }
        const std::string text
            = test::withoutSpace(test::commandOutput("pdftotext -enc UTF-8 '" + file.toStdString() + "' -"));
        for (const char* expected : { "销售Sales", "茶", "Coffee", "果汁", "Water", "Soda" })
            EXPECT_NE(text.find(expected), std::string::npos) << expected << " in " << text;
        if (type == u"pie") {
            const QStringList legend = chartsIn(laidOut)[0].chart->legendTexts();
            ASSERT_FALSE(legend.isEmpty());
            for (const QString& entry : legend)
                EXPECT_NE(text.find(test::withoutSpace(entry.toStdString())), std::string::npos) << entry.toStdString();
        }
        const std::string images = test::commandOutput("pdfimages -list '" + file.toStdString() + "'");
        EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images; // the two header lines only
    }
}

TEST_F(ChartTest, EmptyValuesAreLeftOutWithoutAWord)
{
    std::vector<Row> rows = salesRows(0, 12);
    rows[3].value = QString(); // a null, as the data document writes it
    const ReportTemplate report = templateOf(u"<summary height=\"70\">"_qs + chartElement() + u"</summary>"_qs);
    QStringList told;
    const std::vector<LaidOutChart> charts = chartsIn(layoutReport(report.sheets[0], dataOf(rows, 0), collecting(told)));
    ASSERT_EQ(charts.size(), 1u);
    expectPoints(charts[0].chart->points(), expectedPoints(rows, [](const Row&) { return true; }));
    EXPECT_TRUE(told.isEmpty()) << told.join(u'\n').toStdString();
}
