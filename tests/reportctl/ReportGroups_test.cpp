#include "ReportLayout.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

// Failures show texts as text rather than as bytes.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

using namespace vl;

namespace
{

// One detail row: the keys the group levels read, a name that tells the rows apart, and a number to sum.
struct Row {
    std::string key, inner, name;
    double value = 0;
    int master = -1; // the master row it belongs to; -1: data without a master block
};

// "a:2,b:3" gives rows a1 a2 b1 b2 b3 keyed a and b, each worth its position times 1.5 less 4, so
// sums, minima and fractions differ from group to group.
std::vector<Row> rowsOf(const std::string& runs)
{
    std::vector<Row> rows;
    size_t at = 0;
    while (at < runs.size()) {
        const size_t colon = runs.find(':', at);
        size_t comma = runs.find(',', colon);
        if (comma == std::string::npos)
            comma = runs.size();
        const std::string key = runs.substr(at, colon - at);
        const int count = std::stoi(runs.substr(colon + 1, comma - colon - 1));
        for (int i = 1; i <= count; ++i) {
            const double value = static_cast<double>(rows.size()) * 1.5 - 4;
            rows.push_back(Row { key, "x", key + std::to_string(i), value });
        }
        at = comma + 1;
    }
    return rows;
}

std::string number(double value)
{
    return QString::number(value, 'g', 17).toStdString();
}

ReportDataSet dataOf(const std::vector<Row>& rows, const std::vector<std::string>& masters = {})
{
    std::string xml = "<DocumentData>";
    if (!masters.empty()) {
        xml += "<Master>";
        for (size_t m = 0; m < masters.size(); ++m)
            xml += "<Row Region=\"" + masters[m] + "\" DeptName=\"d" + std::to_string(m) + "\"/>";
        xml += "</Master>";
    }
    xml += "<Detail>";
    for (const Row& row : rows) {
        xml += "<Row";
        if (row.master >= 0)
            xml += " __MasterIdx=\"" + std::to_string(row.master) + "\"";
        xml += " K=\"" + row.key + "\" I=\"" + row.inner + "\" Name=\"" + row.name + "\" V=\"" + number(row.value)
            + "\"/>";
    }
    xml += "</Detail></DocumentData>";
    ReportDataSet data;
    const ParseResult result = parseDataDocument(xml, data);
    EXPECT_TRUE(result.ok) << result.message.toStdString();
    return data;
}

// A sheet 100 mm wide whose pages hold `bandsPerPage` bands of 5 mm between 5 mm margins.
ReportTemplate templateOf(const std::string& body, int bandsPerPage, const std::string& head = {})
{
    const std::string xml = "<report version=\"1\">" + head + "<sheet name=\"S\"><page width=\"100\" height=\""
        + std::to_string(10 + 5 * bandsPerPage) + "\" margins=\"5\"/>" + body + "</sheet></report>";
    ReportTemplate report;
    const ParseResult result = parseTemplate(xml, report);
    EXPECT_TRUE(result.ok) << result.message.toStdString() << "\n" << xml;
    if (report.sheets.empty())
        report.sheets.emplace_back();
    return report;
}

QStringList textsOn(const LaidOutReport& report, size_t page)
{
    QStringList texts;
    for (const PageItem& item : report.pages.at(page).items)
        texts << item.text;
    return texts;
}

std::vector<QStringList> pagesOf(const LaidOutReport& report)
{
    std::vector<QStringList> pages;
    for (size_t page = 0; page < report.pages.size(); ++page)
        pages.push_back(textsOn(report, page));
    return pages;
}

std::string show(const std::vector<QStringList>& pages)
{
    std::string text;
    for (size_t page = 0; page < pages.size(); ++page)
        text += "page " + std::to_string(page + 1) + ": " + pages[page].join(u" | ").toStdString() + "\n";
    return text;
}

// The item whose text is exactly `text`, with its page; null when there is none.
const PageItem* findItem(const LaidOutReport& report, const QString& text, size_t* page = nullptr)
{
    for (size_t p = 0; p < report.pages.size(); ++p)
        for (const PageItem& item : report.pages[p].items)
            if (item.text == text) {
                if (page)
                    *page = p;
                return &item;
            }
    return nullptr;
}

const char* const GroupBands = R"(<groupHeader height="5"><cell width="50">GH [Detail.K]</cell></groupHeader>
    <groupFooter height="5"><cell width="50">GF [Detail.K]</cell></groupFooter>)";
const char* const RowBand = R"(<detail detail="Detail" height="5"><cell width="50">D [Detail.Name]</cell></detail>)";
const char* const TableHeader = R"(<detailHeader detail="Detail" height="5"><cell width="50">DH</cell></detailHeader>)";

struct BreakCase {
    const char* name;
    const char* rows;
    int bandsPerPage;
    const char* groupAttributes;
    const char* before; // bands before the detail rows (title, detail header)
    std::vector<QStringList> pages;
};

} // namespace

TEST(GroupLayout, GroupsBreakWhereTheKeyChangesAndPagesBreakAroundThem)
{
    const BreakCase cases[] = {
        { "a change in the middle of a page", "a:2,b:2", 10, "", "",
            { { "GH a", "D a1", "D a2", "GF a", "GH b", "D b1", "D b2", "GF b" } } },
        { "a group ending exactly at the foot of a page", "a:2,b:1", 4, "", "",
            { { "GH a", "D a1", "D a2", "GF a" }, { "GH b", "D b1", "GF b" } } },
        { "a header that would stand alone at the foot moves with its first row", "a:2,b:1", 5, "", "",
            { { "GH a", "D a1", "D a2", "GF a" }, { "GH b", "D b1", "GF b" } } },
        { "a long group repeats its header under the table's, only while it continues", "a:5,b:2", 5,
            "repeatHeader=\"true\"", TableHeader,
            { { "DH", "GH a", "D a1", "D a2", "D a3" }, { "DH", "GH a", "D a4", "D a5", "GF a" },
                { "DH", "GH b", "D b1", "D b2", "GF b" } } },
        { "without repeatHeader the table's header alone repeats", "a:5,b:2", 5, "", TableHeader,
            { { "DH", "GH a", "D a1", "D a2", "D a3" }, { "DH", "D a4", "D a5", "GF a" },
                { "DH", "GH b", "D b1", "D b2", "GF b" } } },
        { "keepTogether moves a group that fits on a page of its own", "a:2,b:3", 8, "keepTogether=\"true\"", "",
            { { "GH a", "D a1", "D a2", "GF a" }, { "GH b", "D b1", "D b2", "D b3", "GF b" } } },
        { "keepTogether moves the table's header with the group that opens the table", "a:4", 7,
            "keepTogether=\"true\"",
            R"(<title height="5"><cell width="50">T</cell></title>
               <detailHeader detail="Detail" height="5"><cell width="50">DH</cell></detailHeader>)",
            { { "T" }, { "DH", "GH a", "D a1", "D a2", "D a3", "D a4", "GF a" } } },
        { "without keepTogether the same group is split", "a:2,b:3", 8, "", "",
            { { "GH a", "D a1", "D a2", "GF a", "GH b", "D b1", "D b2", "D b3" }, { "GF b" } } },
        { "keepTogether does not move a group larger than a page", "a:2,b:7", 8, "keepTogether=\"true\"", "",
            { { "GH a", "D a1", "D a2", "GF a", "GH b", "D b1", "D b2", "D b3" },
                { "D b4", "D b5", "D b6", "D b7", "GF b" } } },
        { "newPage starts each group on a page, the first after a title too", "a:1,b:1", 10, "newPage=\"true\"",
            R"(<title height="5"><cell width="50">T</cell></title>)",
            { { "T" }, { "GH a", "D a1", "GF a" }, { "GH b", "D b1", "GF b" } } },
        { "newPage keeps the first group under the table's header", "a:1,b:1", 10, "newPage=\"true\"", TableHeader,
            { { "DH", "GH a", "D a1", "GF a" }, { "DH", "GH b", "D b1", "GF b" } } },
    };
    for (const BreakCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportTemplate report = templateOf(std::string(c.before) + "<group source=\"Detail\" by=\"[Detail.K]\" "
                + c.groupAttributes + ">" + GroupBands + "</group>" + RowBand,
            c.bandsPerPage);
        const ReportDataSet data = dataOf(rowsOf(c.rows));
        const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], data));
        EXPECT_EQ(pages, c.pages) << show(pages);
    }
}

TEST(GroupLayout, BandsFollowOneAnotherWithoutGaps)
{
    const ReportTemplate report = templateOf(
        std::string("<group source=\"Detail\" by=\"[Detail.K]\">") + GroupBands + "</group>" + RowBand, 10);
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rowsOf("a:2,b:2")));
    ASSERT_EQ(laid.pages.size(), 1u);
    double y = 5;
    for (const PageItem& item : laid.pages[0].items) {
        EXPECT_EQ(item.rect, QRectF(5, y, 50, 5)) << item.text.toStdString();
        y += 5;
    }
}

TEST(GroupLayout, AnOuterChangeRestartsTheInnerLevel)
{
    std::vector<Row> rows
        = { { "a", "x", "a1" }, { "a", "x", "a2" }, { "a", "y", "a3" }, { "b", "y", "b1" }, { "b", "y", "b2" } };
    const ReportTemplate report = templateOf(std::string("<group source=\"Detail\" by=\"[Detail.K]\">") + GroupBands
            + R"(<group source="Detail" by="[Detail.I]">
          <groupHeader height="5"><cell width="50">IH [Detail.I] [count(Detail)]</cell></groupHeader>
          <groupFooter height="5"><cell width="50">IF [Detail.I]</cell></groupFooter></group></group>)"
            + RowBand,
        40);
    const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rows)));
    const std::vector<QStringList> expected = { { "GH a", "IH x 2", "D a1", "D a2", "IF x", "IH y 1", "D a3", "IF y",
        "GF a", "GH b", "IH y 2", "D b1", "D b2", "IF y", "GF b" } };
    EXPECT_EQ(pages, expected) << show(pages);
}

namespace
{

// What a group band shows of its rows: count, sum, avg, min, max (two decimals) and the plain field.
QString aggregatesText(const char* prefix, const std::vector<const Row*>& rows, bool header)
{
    double sum = 0, low = rows.front()->value, high = low;
    for (const Row* row : rows) {
        sum += row->value;
        low = std::min(low, row->value);
        high = std::max(high, row->value);
    }
    const auto two = [](double value) { return QString::number(value, 'f', 2); };
    const Row& plain = header ? *rows.front() : *rows.back();
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(QString::fromUtf8(prefix), QString::number(rows.size()), two(sum),
            two(sum / static_cast<double>(rows.size())), two(low), two(high), QString::fromStdString(plain.name));
}

const char* const AggregateCells
    = R"(<cell width="90" decimals="2">%s [count(Detail)] [sum(Detail.V)] [avg(Detail.V)] [min(Detail.V)] [max(Detail.V)] [Detail.Name]</cell>)";

std::string aggregateBand(const char* kind, const char* prefix)
{
    char cell[400];
    std::snprintf(cell, sizeof cell, AggregateCells, prefix);
    return std::string("<") + kind + " height=\"5\">" + cell + "</" + kind + ">";
}

} // namespace

TEST(GroupLayout, EveryAggregateOfAGroupBandRunsOverItsGroupsRows)
{
    // Two levels so that an inner group's totals are seen to stop at the outer change.
    std::vector<Row> rows = rowsOf("a:3,b:1,c:4");
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].inner = i % 3 == 2 ? "y" : "x";
    const ReportTemplate report = templateOf("<group source=\"Detail\" by=\"[Detail.K]\">"
            + aggregateBand("groupHeader", "GH") + aggregateBand("groupFooter", "GF")
            + "<group source=\"Detail\" by=\"[Detail.I]\">" + aggregateBand("groupHeader", "IH")
            + aggregateBand("groupFooter", "IF") + "</group></group>" + RowBand,
        100);
    QStringList expected;
    for (size_t first = 0; first < rows.size();) {
        size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1].key == rows[first].key)
            ++last;
        std::vector<const Row*> group;
        for (size_t i = first; i <= last; ++i)
            group.push_back(&rows[i]);
        expected << aggregatesText("GH", group, true);
        for (size_t innerFirst = first; innerFirst <= last;) {
            size_t innerLast = innerFirst;
            while (innerLast + 1 <= last && rows[innerLast + 1].inner == rows[innerFirst].inner)
                ++innerLast;
            std::vector<const Row*> inner;
            for (size_t i = innerFirst; i <= innerLast; ++i)
                inner.push_back(&rows[i]);
            expected << aggregatesText("IH", inner, true);
            for (const Row* row : inner)
                expected << QStringLiteral("D %1").arg(QString::fromStdString(row->name));
            expected << aggregatesText("IF", inner, false);
            innerFirst = innerLast + 1;
        }
        expected << aggregatesText("GF", group, false);
        first = last + 1;
    }
    const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rows)));
    EXPECT_EQ(pages, std::vector<QStringList> { expected }) << show(pages);
}

TEST(GroupLayout, AGroupOfMasterRowsStandsAroundTheirBlocksAndSumsTheirDetails)
{
    // Departments in regions north, north, south; each department's employees under it.
    const std::vector<std::string> regions = { "north", "north", "south" };
    std::vector<Row> rows = rowsOf("p:2,q:3,r:1");
    const int masters[] = { 0, 0, 1, 1, 1, 2 };
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].master = masters[i];
    const ReportTemplate report = templateOf(R"(<group source="Master" by="[Master.Region]">
        <groupHeader height="5"><cell width="90" decimals="2">RH [Master.Region] [Master.DeptName] [count(Master)] [count(Detail)] [sum(Detail.V)]</cell></groupHeader>
        <groupFooter height="5"><cell width="90" decimals="2">RF [Master.DeptName] [max(Detail.V)]</cell></groupFooter></group>
      <master height="5"><cell width="50">M [Master.DeptName]</cell></master>)"
            + std::string(RowBand)
            + R"(<detailFooter detail="Detail" height="5"><cell width="50">DF [count(Detail)]</cell></detailFooter>)",
        100);
    QStringList expected;
    for (size_t first = 0; first < regions.size();) {
        size_t last = first;
        while (last + 1 < regions.size() && regions[last + 1] == regions[first])
            ++last;
        double sum = 0, high = -1e300;
        int count = 0;
        for (const Row& row : rows)
            if (static_cast<size_t>(row.master) >= first && static_cast<size_t>(row.master) <= last) {
                sum += row.value;
                high = std::max(high, row.value);
                ++count;
            }
        expected << QStringLiteral("RH %1 d%2 %3 %4 %5")
                        .arg(QString::fromStdString(regions[first]))
                        .arg(first)
                        .arg(last - first + 1)
                        .arg(count)
                        .arg(sum, 0, 'f', 2);
        for (size_t m = first; m <= last; ++m) {
            expected << QStringLiteral("M d%1").arg(m);
            int inMaster = 0;
            for (const Row& row : rows)
                if (static_cast<size_t>(row.master) == m) {
                    expected << QStringLiteral("D %1").arg(QString::fromStdString(row.name));
                    ++inMaster;
                }
            expected << QStringLiteral("DF %1").arg(inMaster);
        }
        expected << QStringLiteral("RF d%1 %2").arg(last).arg(high, 0, 'f', 2);
        first = last + 1;
    }
    const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rows, regions)));
    EXPECT_EQ(pages, std::vector<QStringList> { expected }) << show(pages);
}

namespace
{

// The rows a page prints, by the names in its "D name ..." items.
std::vector<const Row*> rowsPrinted(const LaidOutReport& report, size_t page, const std::vector<Row>& rows)
{
    std::vector<const Row*> printed;
    for (const PageItem& item : report.pages[page].items) {
        if (!item.text.startsWith(u"D "))
            continue;
        const std::string name = item.text.section(u' ', 1, 1).toStdString();
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row.name == name; });
        if (found != rows.end())
            printed.push_back(&*found);
    }
    return printed;
}

QString itemStartingWith(const LaidOutReport& report, size_t page, const QString& prefix)
{
    for (const PageItem& item : report.pages[page].items)
        if (item.text.startsWith(prefix))
            return item.text;
    return {};
}

} // namespace

TEST(GroupLayout, RunningAndPageTotalsCountThePlacedRowsOnly)
{
    const std::vector<Row> rows = rowsOf("a:11");
    const std::string hidden = "a3"; // its band is hidden: printed nowhere, counted nowhere
    const ReportTemplate report = templateOf(R"(
      <pageHeader height="5"><cell width="90" decimals="2">PH [runningSum(Detail.V)] [runningCount(Detail)]</cell></pageHeader>
      <detail detail="Detail" height="5" visible="[Detail.Name <> ')"
            + hidden + R"(']">
        <cell width="90" decimals="2">D [Detail.Name] [runningSum(Detail.V)] [runningCount(Detail)]</cell></detail>
      <pageFooter height="5"><cell width="90" decimals="2">PF [pageSum(Detail.V)] [pageCount(Detail)] [runningSum(Detail.V)] [runningCount(Detail)]</cell></pageFooter>)",
        6);
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rows));
    ASSERT_GE(laid.pages.size(), 3u) << show(pagesOf(laid));
    const auto two = [](double value) { return QString::number(value, 'f', 2); };
    double running = 0;
    int count = 0;
    size_t seen = 0;
    for (size_t page = 0; page < laid.pages.size(); ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(itemStartingWith(laid, page, "PH "), QStringLiteral("PH %1 %2").arg(two(running)).arg(count))
            << "the header carries the total forward";
        double pageSum = 0;
        const std::vector<const Row*> printed = rowsPrinted(laid, page, rows);
        for (const Row* row : printed) {
            EXPECT_NE(row->name, hidden);
            running += row->value;
            pageSum += row->value;
            ++count;
            EXPECT_TRUE(findItem(
                laid, QStringLiteral("D %1 %2 %3").arg(QString::fromStdString(row->name), two(running)).arg(count)))
                << "a row's own band counts it: " << row->name;
        }
        seen += printed.size();
        EXPECT_EQ(itemStartingWith(laid, page, "PF "),
            QStringLiteral("PF %1 %2 %3 %4").arg(two(pageSum)).arg(printed.size()).arg(two(running)).arg(count));
    }
    EXPECT_EQ(seen, rows.size() - 1);
}

TEST(GroupLayout, StyleExpressionsAreEvaluatedForEachRow)
{
    std::vector<Row> rows = rowsOf("a:6");
    const char* const aligns[] = { "right", "sideways", "center", "sideways", "right", "upwards" };
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].key = aligns[i];
    const ReportTemplate report = templateOf(R"(
      <detail detail="Detail" height="5" color="[if(Detail.V > 0, '#C00000', '#000000')]">
        <cell x="0" width="15">A [Detail.Name]</cell>
        <cell x="15" width="15" color="#0000FF">B [Detail.Name]</cell>
        <cell x="30" width="15" bold="[Detail.V > 0]" background="[if(Detail.V > 0, '#FFFF00', '#FFFFFF')]">C [Detail.Name]</cell>
        <cell x="45" width="15" format="[if(Detail.V > 0, '0.00', '0.0')]">[Detail.V]</cell>
        <cell x="60" width="15" align="[Detail.K]" valign="bottom">E [Detail.Name]</cell>
        <cell x="75" width="15" visible="[Detail.V <> 2]">F [Detail.Name]</cell>
      </detail>)",
        20);
    QStringList prompts;
    LayoutHooks hooks;
    hooks.prompt = [&](const QString& message) { prompts << message; };
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rows), hooks);
    ASSERT_EQ(laid.pages.size(), 1u);
    for (const Row& row : rows) {
        const QString name = QString::fromStdString(row.name);
        SCOPED_TRACE(row.name);
        const bool high = row.value > 0;
        const PageItem* a = findItem(laid, "A " + name);
        const PageItem* b = findItem(laid, "B " + name);
        const PageItem* c = findItem(laid, "C " + name);
        const PageItem* e = findItem(laid, "E " + name);
        ASSERT_TRUE(a && b && c && e);
        EXPECT_EQ(a->style.color, high ? QColor(0xC0, 0, 0) : QColor(Qt::black))
            << "the band's expression reaches its cells";
        EXPECT_EQ(b->style.color, QColor(Qt::blue)) << "a cell's own colour wins over the band's expression";
        EXPECT_EQ(c->style.bold, high);
        EXPECT_EQ(c->style.background, high ? QColor(Qt::yellow) : QColor(Qt::white));
        EXPECT_TRUE(findItem(laid, QString::number(row.value, 'f', high ? 2 : 1)));
        const Qt::Alignment horizontal = e->style.alignment & Qt::AlignHorizontal_Mask;
        const Qt::Alignment expected = row.key == "right" ? Qt::AlignRight
            : row.key == "center"                         ? Qt::AlignHCenter
                                                          : Qt::AlignLeft;
        EXPECT_EQ(horizontal, expected) << "a value align cannot take keeps the style as written";
        EXPECT_EQ(e->style.alignment & Qt::AlignVertical_Mask, Qt::AlignBottom);
        EXPECT_EQ(findItem(laid, "F " + name) != nullptr, row.value != 2);
    }
    EXPECT_EQ(prompts.filter("align=").size(), 2) << "once per distinct value: " << prompts.join(u'\n').toStdString();
}

TEST(GroupLayout, AHiddenBandTakesNoSpace)
{
    const ReportTemplate report = templateOf(R"(<title height="5"><cell width="50">T</cell></title>
      <detail detail="Detail" height="5" visible="[Detail.Name <> 'a2']"><cell width="50">D [Detail.Name]</cell></detail>
      <summary height="7" visible="[count(Detail) > 100]"><cell width="50">S1</cell></summary>
      <summary height="5"><cell width="50">S2</cell></summary>)",
        20);
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rowsOf("a:4")));
    ASSERT_EQ(laid.pages.size(), 1u);
    const QStringList expected = { "T", "D a1", "D a3", "D a4", "S2" };
    EXPECT_EQ(textsOn(laid, 0), expected);
    double y = 5;
    for (const PageItem& item : laid.pages[0].items) {
        EXPECT_EQ(item.rect.top(), y) << item.text.toStdString();
        y += 5;
    }
}

TEST(GroupLayout, PageBreaksBeforeAndAfterBandsLeaveNoEmptyPage)
{
    const char* const footer = R"(<pageFooter height="5"><cell width="50">P [Page]</cell></pageFooter>)";
    struct Case {
        const char* name;
        std::string body;
        std::vector<QStringList> pages;
    } cases[] = {
        { "after each row, none after the last",
            std::string(
                R"(<detail detail="Detail" height="5" pageBreak="after"><cell width="50">D [Detail.Name]</cell></detail>)")
                + footer,
            { { "D a1", "P 1" }, { "D a2", "P 2" }, { "D a3", "P 3" } } },
        { "before a band at the top of a page",
            std::string(R"(<title height="5" pageBreak="before"><cell width="50">T</cell></title>)") + RowBand + footer,
            { { "T", "D a1", "D a2", "D a3", "P 1" } } },
        { "before the summary",
            std::string(RowBand) + R"(<summary height="5" pageBreak="before"><cell width="50">S</cell></summary>)"
                + footer,
            { { "D a1", "D a2", "D a3", "P 1" }, { "S", "P 2" } } },
        { "after the title, before the rows' table header",
            std::string(R"(<title height="5" pageBreak="after"><cell width="50">T</cell></title>)") + TableHeader
                + RowBand,
            { { "T" }, { "DH", "D a1", "D a2", "D a3" } } },
        { "after the last band",
            std::string(RowBand) + R"(<summary height="5" pageBreak="after"><cell width="50">S</cell></summary>)"
                + footer,
            { { "D a1", "D a2", "D a3", "S", "P 1" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportTemplate report = templateOf(c.body, 20);
        const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rowsOf("a:3"))));
        EXPECT_EQ(pages, c.pages) << show(pages);
    }
}

TEST(GroupLayout, DetailRowsInColumnsFillDownOrAcrossAndWhatFollowsStartsBelow)
{
    // Pages of 35 mm: a 5 mm title, then 20 mm for rows from y 10 to 30 (four rows a column); a 22 mm title
    // leaves less than a row, so the columns begin on the next page.
    const double gap = 5, width = (90 - 2 * gap) / 3;
    const auto columnX = [&](int column) { return 5 + column * (width + gap); };
    struct Case {
        const char* order;
        int rows;
        // Where row i (from 0) stands: page, column and y.
        std::function<std::tuple<size_t, int, double>(int)> place;
        size_t summaryPage;
        double summaryY;
        double titleHeight = 5;
    } cases[] = {
        { "down", 14,
            [](int i) {
                if (i < 12)
                    return std::tuple<size_t, int, double> { 0, i / 4, 10 + 5 * (i % 4) };
                return std::tuple<size_t, int, double> { 1, 0, 5 + 5 * (i - 12) };
            },
            1, 15 },
        { "across", 7,
            [](int i) {
                return std::tuple<size_t, int, double> { 0, i % 3, 10 + 5 * (i / 3) };
            },
            0, 25 },
        { "down", 2,
            [](int i) {
                return std::tuple<size_t, int, double> { 1, 0, 5 + 5 * i };
            },
            1, 15, 22 },
        { "across", 14,
            [](int i) {
                if (i < 12)
                    return std::tuple<size_t, int, double> { 0, i % 3, 10 + 5 * (i / 3) };
                return std::tuple<size_t, int, double> { 1, (i - 12) % 3, 5.0 };
            },
            1, 10 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.order) + " " + std::to_string(c.rows));
        const ReportTemplate report
            = templateOf("<title height=\"" + std::to_string(c.titleHeight) + R"("><cell width="50">T</cell></title>
          <detail detail="Detail" height="5" columns="3" columnGap="5" columnOrder=")"
                    + c.order + R"(">
            <cell x="2" width="20">D [Detail.Name]</cell></detail>
          <summary height="5"><cell width="50">S</cell></summary>)",
                5);
        const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rowsOf("a:" + std::to_string(c.rows))));
        for (int i = 0; i < c.rows; ++i) {
            size_t page = 99;
            const PageItem* item = findItem(laid, QStringLiteral("D a%1").arg(i + 1), &page);
            ASSERT_TRUE(item) << i;
            const auto [expectedPage, column, y] = c.place(i);
            EXPECT_EQ(page, expectedPage) << "row " << i;
            EXPECT_NEAR(item->rect.left(), columnX(column) + 2, 1e-9) << "row " << i;
            EXPECT_EQ(item->rect.top(), y) << "row " << i;
        }
        size_t page = 99;
        const PageItem* summary = findItem(laid, "S", &page);
        ASSERT_TRUE(summary);
        EXPECT_EQ(page, c.summaryPage);
        EXPECT_EQ(summary->rect.top(), c.summaryY);
        EXPECT_EQ(laid.pages.size(), c.summaryPage + 1) << show(pagesOf(laid));
    }
}

TEST(GroupLayout, TheWatermarkIsOnEveryPage)
{
    const ReportTemplate report = templateOf(
        R"(<watermark text="DRAFT" size="60" color="#FF0000" angle="30" opacity="0.5"/>
        <detail detail="Detail" height="5" pageBreak="after"><cell width="50">D [Detail.Name]</cell></detail>)",
        10);
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rowsOf("a:3")));
    ASSERT_EQ(laid.pages.size(), 3u);
    for (const LaidOutPage& page : laid.pages) {
        ASSERT_TRUE(page.watermark);
        EXPECT_EQ(page.watermark->text, "DRAFT");
        EXPECT_EQ(page.watermark->size, 60);
        EXPECT_EQ(page.watermark->color, QColor(Qt::red));
        EXPECT_EQ(page.watermark->angle, 30);
        EXPECT_EQ(page.watermark->opacity, 0.5);
        EXPECT_EQ(page.paper, QSizeF(100, 60));
    }
}

TEST(GroupLayout, ParametersReachExpressionsThroughTheHooks)
{
    const ReportTemplate report = templateOf(R"(<detail detail="Detail" height="5" visible="[Detail.V >= Param.Min]">
        <cell width="50">D [Detail.Name] [param.Label]</cell></detail>)",
        20, R"(<parameter name="Min" type="number" default="0"/><parameter name="label"/>)");
    const std::vector<Row> rows = rowsOf("a:6");
    LayoutHooks hooks;
    hooks.parameters.insert("min", ExprValue::fromNumber(-1));
    hooks.parameters.insert("label", ExprValue::fromText("x"));
    QStringList expected;
    for (const Row& row : rows)
        if (row.value >= -1)
            expected << QStringLiteral("D %1 x").arg(QString::fromStdString(row.name));
    EXPECT_EQ(textsOn(layoutReport(report.sheets[0], dataOf(rows), hooks), 0), expected);
}

TEST(GroupTemplate, RefusalsNameTheLineAndColumn)
{
    const std::string head = "<report version=\"1\"><sheet name=\"S\">\n";
    const std::string tail = "</sheet></report>";
    std::string deep;
    for (int level = 0; level <= MaxGroupLevels; ++level)
        deep += "<group source=\"Detail\" by=\"[Detail.K]\">\n";
    for (int level = 0; level <= MaxGroupLevels; ++level)
        deep += "</group>";
    struct Case {
        std::string xml;
        int line, column;
        const char* reason;
    } cases[] = {
        { head + "<group source=\"Detail\" by=\"[Detail.K]\" newPage=\"maybe\"/>" + tail, 2, 1,
            "newPage=\"maybe\" is not true or false" },
        { head + "<group source=\"Detail\" by=\"[Detail.K]\" keepTogether=\"1.5\"/>" + tail, 2, 1, "keepTogether" },
        { head + "<group source=\"Detail\"/>" + tail, 2, 1, "<group> needs by=\"[expression]\"" },
        { head + "<group source=\"Detail\" by=\"Detail.K\"/>" + tail, 2, 1, "<group> needs by=\"[expression]\"" },
        { head + "<group by=\"[Detail.K]\"/>" + tail, 2, 1, "<group> needs source=" },
        { head + "<group source=\"Detail\" by=\"[Detail.K +]\"/>" + tail, 2, 1, "by=\"[Detail.K +]\"" },
        { head + "<group source=\"Detail\" by=\"[Detail.K]\">\n<groupHeader/>\n<groupHeader/></group>" + tail, 4, 1,
            "a <group> has one <groupHeader>" },
        { head
                + "<group source=\"Detail\" by=\"[Detail.K]\">\n<group source=\"Detail\" by=\"[Detail.I]\"/>\n<group "
                  "source=\"Detail\" by=\"[Detail.I]\"/></group>"
                + tail,
            4, 1, "at most one nested <group>" },
        { head + "<group source=\"Detail\" by=\"[Detail.K]\">\n<detail detail=\"Detail\"/></group>" + tail, 3, 1,
            "<detail> is not allowed in a <group>" },
        { head + "<group source=\"Detail\" by=\"[Detail.K]\">\n<group source=\"Master\" by=\"[Master.R]\"/></group>"
                + tail,
            3, 1, "groups the same rows" },
        { head + "<group source=\"Master\" by=\"[Master.R]\"/>\n<group source=\"master\" by=\"[Master.S]\"/>" + tail, 3,
            1, "the master rows are grouped twice" },
        { head + "<group source=\"Detail\" by=\"[Detail.K]\"/>\n<group source=\"DETAIL\" by=\"[Detail.S]\"/>" + tail, 3,
            1, "grouped twice" },
        { head + deep + tail, MaxGroupLevels + 2, 1, "groups nest deeper than 16 levels" },
        { head + "<master height=\"5\" columns=\"2\"/>" + tail, 2, 1, "columns are for <detail> bands only" },
        { head + "<group source=\"Detail\" by=\"[Detail.K]\">\n<groupHeader columnGap=\"2\"/></group>" + tail, 3, 1,
            "columns are for <detail> bands only" },
        { head + "<detail detail=\"Detail\" columns=\"2\" columnOrder=\"sideways\"/>" + tail, 2, 1,
            "columnOrder=\"sideways\" is not down or across" },
        { head + "<detail detail=\"Detail\" columns=\"0\"/>" + tail, 2, 1,
            "columns=\"0\" is not a whole number from 1 to 50" },
        { head + "<detail detail=\"Detail\" columns=\"51\"/>" + tail, 2, 1,
            "columns=\"51\" is not a whole number from 1 to 50" },
        { head + "<detail detail=\"Detail\" columns=\"1.5\"/>" + tail, 2, 1,
            "columns=\"1.5\" is not a whole number from 1 to 50" },
        { head + "<detail detail=\"Detail\" columns=\"2\" columnGap=\"-1\"/>" + tail, 2, 1, "columnGap" },
        { head + "<pageHeader pageBreak=\"after\"/>" + tail, 2, 1, "a page header or footer cannot break the page" },
        { head + "<pageFooter pageBreak=\"before\"/>" + tail, 2, 1, "a page header or footer cannot break the page" },
        { head + "<title pageBreak=\"middle\"/>" + tail, 2, 1, "pageBreak=\"middle\" is not before, after or none" },
        { head + "<title visible=\"perhaps\"/>" + tail, 2, 1, "visible=\"perhaps\" is not true or false" },
        { head + "<title>\n<cell width=\"5\" visible=\"[Detail.K =]\"/></title>" + tail, 3, 1,
            "visible=\"[Detail.K =]\"" },
        { head + "<watermark text=\" \"/>" + tail, 2, 1, "<watermark> needs a text" },
        { head + "<watermark/>" + tail, 2, 1, "<watermark> needs a text" },
        { head + "<watermark text=\"" + std::string(201, 'w') + "\"/>" + tail, 2, 1, "at most 200 characters" },
        { head + "<watermark text=\"a\"/>\n<watermark text=\"b\"/>" + tail, 3, 1, "a sheet has one <watermark>" },
        { head + "<watermark text=\"a\" angle=\"361\"/>" + tail, 2, 1, "angle" },
        { head + "<watermark text=\"a\" opacity=\"1.5\"/>" + tail, 2, 1, "opacity" },
        { head + "<watermark text=\"a\" color=\"nocolour\"/>" + tail, 2, 1, "is not a colour" },
        { "<report version=\"1\">\n<parameter name=\"a b\"/><sheet name=\"S\"/></report>", 2, 1,
            "<parameter> needs a name of letters, digits and _" },
        { "<report version=\"1\">\n<parameter/><sheet name=\"S\"/></report>", 2, 1, "<parameter> needs a name" },
        { "<report version=\"1\">\n<parameter name=\"" + std::string(65, 'p') + "\"/><sheet name=\"S\"/></report>", 2,
            1, "at most 64" },
        { "<report version=\"1\"><parameter name=\"Min\"/>\n<parameter name=\"MIN\"/><sheet name=\"S\"/></report>", 2,
            1, "parameter \"MIN\" is declared twice" },
        { "<report version=\"1\">\n<parameter name=\"M\" type=\"money\"/><sheet name=\"S\"/></report>", 2, 1,
            "type=\"money\" is not text, number or date" },
        { "<report version=\"1\">\n<parameter name=\"M\" type=\"number\" default=\"12abc\"/><sheet "
          "name=\"S\"/></report>",
            2, 1, "default \"12abc\" is not a number for a number parameter" },
        { "<report version=\"1\">\n<parameter name=\"M\" type=\"number\" default=\"inf\"/><sheet name=\"S\"/></report>",
            2, 1, "is not a number" },
        { "<report version=\"1\">\n<parameter name=\"D\" type=\"date\" default=\"2024-13-01\"/><sheet "
          "name=\"S\"/></report>",
            2, 1, "is not a date in the form yyyy-MM-dd for a date parameter" },
        { head + "<title>\n<cell width=\"5\">[Param.Missing]</cell></title>" + tail, 3, 1,
            "[Param.Missing] names no <parameter>" },
        { head + "<title>\n<cell width=\"5\" color=\"[if(Param.X, 'red', 'blue')]\"/></title>" + tail, 3, 1,
            "[Param.X] names no <parameter>" },
        { head + "<group source=\"Detail\" by=\"[Param.Key]\"/>" + tail, 2, 1, "[Param.Key] names no <parameter>" },
        { head + "<font color=\"[Detail.K]\"/>" + tail, 2, 1, "color cannot hold an expression in <font>" },
        { head + "<font bold=\"[1 = 1]\"/>" + tail, 2, 1, "bold cannot hold an expression in <font>" },
        { head + "<title>\n<cell width=\"5\" bold=\"[1 +]\"/></title>" + tail, 3, 1, "bold=\"[1 +]\"" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml.substr(0, 200));
        ReportTemplate report;
        report.version = 7;
        const ParseResult result = parseTemplate(c.xml, report);
        expectRefused(result, RefusalCase<char> { c.xml.c_str(), c.line, c.column, c.reason });
        EXPECT_EQ(report.version, 7) << "the template is left as it was";
    }
}

TEST(GroupLayout, AGroupOfMasterRowsBreaksPagesAroundWholeBlocks)
{
    struct Case {
        const char* name;
        const char* groupAttributes;
        std::vector<std::string> regions;
        const char* rows; // detail rows, one letter per department in order
        std::vector<int> perMaster;
        int bandsPerPage;
        std::vector<QStringList> pages;
    } cases[] = {
        { "repeatHeader repeats the open group's header on the page it continues on", "repeatHeader=\"true\"",
            { "north", "north", "south" }, "p:3,q:1,r:1", { 3, 1, 1 }, 5,
            { { "RH north", "M d0", "D p1", "D p2", "D p3" }, { "RH north", "M d1", "D q1", "RF north" },
                { "RH south", "M d2", "D r1", "RF south" } } },
        { "newPage starts each group of departments on a page", "newPage=\"true\"", { "north", "north", "south" },
            "p:1,q:1,r:1", { 1, 1, 1 }, 20,
            { { "RH north", "M d0", "D p1", "M d1", "D q1", "RF north" },
                { "RH south", "M d2", "D r1", "RF south" } } },
        { "keepTogether moves a group that fits on a page of its own", "keepTogether=\"true\"", { "north", "south" },
            "p:1,r:3", { 1, 3 }, 7,
            { { "RH north", "M d0", "D p1", "RF north" },
                { "RH south", "M d1", "D r1", "D r2", "D r3", "RF south" } } },
        { "without keepTogether the same group is split", "", { "north", "south" }, "p:1,r:3", { 1, 3 }, 7,
            { { "RH north", "M d0", "D p1", "RF north", "RH south", "M d1", "D r1" },
                { "D r2", "D r3", "RF south" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Row> rows = rowsOf(c.rows);
        size_t at = 0;
        for (size_t m = 0; m < c.perMaster.size(); ++m)
            for (int i = 0; i < c.perMaster[m]; ++i)
                rows.at(at++).master = static_cast<int>(m);
        const ReportTemplate report
            = templateOf(std::string("<group source=\"Master\" by=\"[Master.Region]\" ") + c.groupAttributes + R"(>
              <groupHeader height="5"><cell width="50">RH [Master.Region]</cell></groupHeader>
              <groupFooter height="5"><cell width="50">RF [Master.Region]</cell></groupFooter></group>
            <master height="5"><cell width="50">M [Master.DeptName]</cell></master>)"
                    + RowBand,
                c.bandsPerPage);
        const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rows, c.regions)));
        EXPECT_EQ(pages, c.pages) << show(pages);
    }
}

TEST(GroupLayout, APageHeaderCountsTheMasterRowsOfEarlierPagesOnly)
{
    const std::vector<std::string> masters(7, "r");
    const ReportTemplate report = templateOf(R"(
      <pageHeader height="5"><cell width="50">PH [runningCount(Master)]</cell></pageHeader>
      <master height="5"><cell width="50">M [Master.DeptName] [runningCount(Master)]</cell></master>
      <pageFooter height="5"><cell width="50">PF [pageCount(Master)] [runningCount(Master)]</cell></pageFooter>)",
        5);
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf({}, masters));
    ASSERT_EQ(laid.pages.size(), 3u) << show(pagesOf(laid));
    int before = 0;
    for (size_t page = 0; page < laid.pages.size(); ++page) {
        SCOPED_TRACE(page);
        int onPage = 0;
        for (const PageItem& item : laid.pages[page].items)
            if (item.text.startsWith(u"M ")) {
                ++onPage;
                EXPECT_EQ(item.text.section(u' ', 2), QString::number(before + onPage)) << item.text.toStdString();
            }
        EXPECT_EQ(itemStartingWith(laid, page, "PH "), QStringLiteral("PH %1").arg(before));
        EXPECT_EQ(itemStartingWith(laid, page, "PF "), QStringLiteral("PF %1 %2").arg(onPage).arg(before + onPage));
        before += onPage;
    }
    EXPECT_EQ(before, 7);
}

TEST(GroupLayout, AGroupHeaderGoesWithARowThatBreaksThePageBeforeIt)
{
    const ReportTemplate detailGroups
        = templateOf(std::string("<group source=\"Detail\" by=\"[Detail.K]\">") + GroupBands + R"(</group>
        <detail detail="Detail" height="5" pageBreak="before"><cell width="50">D [Detail.Name]</cell></detail>)",
            20);
    std::vector<QStringList> pages = pagesOf(layoutReport(detailGroups.sheets[0], dataOf(rowsOf("a:2,b:2"))));
    std::vector<QStringList> expected
        = { { "GH a", "D a1" }, { "D a2", "GF a" }, { "GH b", "D b1" }, { "D b2", "GF b" } };
    EXPECT_EQ(pages, expected) << show(pages);

    std::vector<Row> rows = rowsOf("p:1,q:1");
    rows[0].master = 0;
    rows[1].master = 1;
    const ReportTemplate masterGroups = templateOf(R"(<group source="Master" by="[Master.Region]">
          <groupHeader height="5"><cell width="50">RH [Master.Region]</cell></groupHeader></group>
        <title height="5"><cell width="50">T</cell></title>
        <master height="5" pageBreak="before"><cell width="50">M [Master.DeptName]</cell></master>)"
            + std::string(RowBand),
        20);
    pages = pagesOf(layoutReport(masterGroups.sheets[0], dataOf(rows, { "north", "south" })));
    expected = { { "T" }, { "RH north", "M d0", "D p1" }, { "RH south", "M d1", "D q1" } };
    EXPECT_EQ(pages, expected) << show(pages);
}

TEST(GroupLayout, AnInnerNewPageTakesTheOuterHeaderAlong)
{
    const std::vector<Row> rows = { { "a", "x", "a1" }, { "a", "y", "a2" }, { "b", "x", "b1" } };
    const ReportTemplate report = templateOf(std::string("<group source=\"Detail\" by=\"[Detail.K]\">") + GroupBands
            + R"(<group source="Detail" by="[Detail.I]" newPage="true">
          <groupHeader height="5"><cell width="50">IH [Detail.I]</cell></groupHeader></group></group>)"
            + RowBand,
        20);
    const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rows)));
    const std::vector<QStringList> expected
        = { { "GH a", "IH x", "D a1" }, { "IH y", "D a2", "GF a" }, { "GH b", "IH x", "D b1", "GF b" } };
    EXPECT_EQ(pages, expected) << show(pages);
}

TEST(GroupLayout, AGroupOfMasterRowsNestsTheGroupsOfTheirDetailRows)
{
    std::vector<Row> rows = rowsOf("a:2,b:1,a:1");
    const int masters[] = { 0, 0, 0, 1 };
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].master = masters[i];
    const ReportTemplate report = templateOf(R"(<group source="Master" by="[Master.Region]">
          <groupHeader height="5"><cell width="50">RH [Master.Region] [count(Detail)]</cell></groupHeader>
          <group source="Detail" by="[Detail.K]">
            <groupHeader height="5"><cell width="50">GH [Detail.K] [count(Detail)]</cell></groupHeader></group></group>
        <master height="5"><cell width="50">M [Master.DeptName]</cell></master>)"
            + std::string(TableHeader) + RowBand,
        40);
    const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(rows, { "r", "r" })));
    const std::vector<QStringList> expected
        = { { "RH r 4", "M d0", "DH", "GH a 2", "D a1", "D a2", "GH b 1", "D b1", "M d1", "DH", "GH a 1", "D a1" } };
    EXPECT_EQ(pages, expected) << show(pages) << "a master row starts its detail's groups anew";
}

TEST(GroupLayout, RowsInColumnsGoOnUnderTheRepeatedTableHeader)
{
    const ReportTemplate report = templateOf(std::string(TableHeader) + R"(
        <detail detail="Detail" height="5" columns="2"><cell width="20">D [Detail.Name]</cell></detail>)",
        4);
    const LaidOutReport laid = layoutReport(report.sheets[0], dataOf(rowsOf("a:8")));
    // Three rows a column under the header: six a page.
    const std::vector<QStringList> expected
        = { { "DH", "D a1", "D a2", "D a3", "D a4", "D a5", "D a6" }, { "DH", "D a7", "D a8" } };
    EXPECT_EQ(pagesOf(laid), expected) << show(pagesOf(laid));
    for (int i = 0; i < 8; ++i) {
        const PageItem* item = findItem(laid, QStringLiteral("D a%1").arg(i + 1));
        ASSERT_TRUE(item);
        const int onPage = i % 6;
        EXPECT_EQ(item->rect.topLeft(), QPointF(5 + (onPage / 3) * 45, 10 + 5 * (onPage % 3))) << i;
    }
}

TEST(GroupLayout, KeepTogetherReckonsWithWhatTheNewPageRepeatsAndMovesTheOuterHeadersAlong)
{
    const std::string inner = R"(<group source="Detail" by="[Detail.I]" keepTogether="true">
          <groupHeader height="5"><cell width="50">IH [Detail.I]</cell></groupHeader>
          <groupFooter height="5"><cell width="50">IF [Detail.I]</cell></groupFooter></group>)";
    struct Case {
        const char* name;
        std::string body;
        std::vector<Row> rows;
        int bandsPerPage;
        std::vector<QStringList> pages;
    } cases[] = {
        { "a group that fits a page but not under the repeated table header is split where it stands",
            std::string(TableHeader) + "<group source=\"Detail\" by=\"[Detail.K]\" keepTogether=\"true\">" + GroupBands
                + "</group>" + RowBand,
            rowsOf("a:1,b:4"), 6,
            { { "DH", "GH a", "D a1", "GF a", "GH b", "D b1" }, { "DH", "D b2", "D b3", "D b4", "GF b" } } },
        { "an inner group kept together takes the outer header that begins with it",
            "<group source=\"Detail\" by=\"[Detail.K]\">" + std::string(GroupBands) + inner + "</group>" + RowBand,
            { { "a", "x", "a1" }, { "b", "x", "b1" }, { "b", "x", "b2" }, { "b", "x", "b3" } }, 8,
            { { "GH a", "IH x", "D a1", "IF x", "GF a" },
                { "GH b", "IH x", "D b1", "D b2", "D b3", "IF x", "GF b" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportTemplate report = templateOf(c.body, c.bandsPerPage);
        const std::vector<QStringList> pages = pagesOf(layoutReport(report.sheets[0], dataOf(c.rows)));
        EXPECT_EQ(pages, c.pages) << show(pages);
    }
}
