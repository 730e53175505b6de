// The exports over small templates laid out in-process: byte-exact CSV, spreadsheet formats and
// typed values, text lines against the layout's items, HTML escaping and links, SVG pages that a
// renderer takes.

#include "ReportExport.h"
#include "ReportExport_p.h"
#include "TestSupport.h"

#include "WidgetApplication.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QSvgRenderer>
#include <QTemporaryDir>

namespace {

using vl::ExportFormat;

// Every file of an export kept in memory, in the order written.
class MemoryOutput final : public vl::ExportOutput {
public:
    std::vector<QByteArray> files;
    QIODevice* open(int, int) override
    {
        m_bytes.clear();
        m_buffer.close();
        m_buffer.setBuffer(&m_bytes);
        m_buffer.open(QIODevice::WriteOnly);
        return &m_buffer;
    }
    bool close() override
    {
        m_buffer.close();
        files.push_back(m_bytes);
        return true;
    }

private:
    QByteArray m_bytes;
    QBuffer m_buffer;
};

class ReportExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vl::test::ensureWidgetApplication("reportctl_tests"); }

    // Opens the template text over the data document; false fails the test.
    void open(const QByteArray& templateText, const QByteArray& data)
    {
        const QString path = m_dir.filePath(QStringLiteral("t.vld"));
        ASSERT_TRUE(writeFile(path, templateText));
        const vl::SessionResult opened = m_session.openTemplate(path);
        ASSERT_TRUE(opened) << opened.message.toStdString();
        const vl::SessionResult loaded = m_session.loadData(std::string_view(data.constData(), size_t(data.size())));
        ASSERT_TRUE(loaded) << loaded.message.toStdString();
    }
    vl::SessionResult run(ExportFormat format, MemoryOutput& output, const vl::ExportOptions& options = {})
    {
        return vl::exportSheet(m_session, QString(), format, output, options);
    }
    vl::LaidOutReport layout()
    {
        vl::LaidOutReport report;
        EXPECT_TRUE(m_session.layoutSheet(QString(), report));
        return report;
    }

    QTemporaryDir m_dir;
    vl::ReportSession m_session {nullptr, vl::ReportSession::LayoutMode::OnDemand};
};

// Two master rows of a detail, long enough to break the page and repeat the detail header.
QByteArray staffData(int rowsPerMaster)
{
    QByteArray xml = "<DocumentData><Master><Row DeptNo=\"1\" DeptName=\"Sales\"/><Row DeptNo=\"2\" DeptName=\"研发\"/></Master><D>";
    for (int master = 0; master < 2; ++master)
        for (int row = 0; row < rowsPerMaster; ++row)
            xml += QStringLiteral("<Row __MasterIdx=\"%1\" Name=\"N%1-%2\" Pay=\"%3\"/>")
                       .arg(master)
                       .arg(row)
                       .arg(1000 + row * 0.5)
                       .toUtf8();
    return xml + "</D></DocumentData>";
}

const QByteArray StaffTemplate = R"(<report version="1"><sheet name="Staff">
  <page size="A4" margins="10"/>
  <pageHeader height="8"><cell x="0" width="100">Head</cell></pageHeader>
  <master height="8"><cell x="0" width="100">[Master.DeptName]</cell></master>
  <detailHeader detail="D" height="6"><cell x="60" width="40">Pay</cell><cell x="0" width="60">Name</cell></detailHeader>
  <detail detail="D" height="6">
    <cell x="60" width="40" format="#,##0.00">[D.Pay]</cell>
    <cell x="0" width="60">[D.Name]</cell>
  </detail>
  <pageFooter height="8"><cell x="0" width="100">Page [Page] of [Pages]</cell></pageFooter>
</sheet></report>)";

TEST_F(ReportExportTest, CsvIsOneLinePerDetailRowUnderOneHeaderLine)
{
    ASSERT_NO_FATAL_FAILURE(open(StaffTemplate, staffData(60)));
    ASSERT_GT(layout().pages.size(), 2u) << "the header repeats on later pages";
    MemoryOutput output;
    const vl::SessionResult written = run(ExportFormat::Csv, output);
    ASSERT_TRUE(written) << written.message.toStdString();
    ASSERT_EQ(output.files.size(), 1u);
    const QList<QByteArray> lines = output.files[0].split('\n');
    ASSERT_EQ(lines.size(), 1 + 120 + 1); // header, rows, the empty rest after the last line end
    EXPECT_EQ(lines[0], "Name,Pay\r");
    EXPECT_EQ(lines[1], "N0-0,\"1,000.00\"\r");
    EXPECT_EQ(lines[61], "N1-0,\"1,000.00\"\r") << "the second master row's rows follow, without a second header";
    EXPECT_EQ(lines[120], "N1-59,\"1,029.50\"\r");
    EXPECT_TRUE(lines[121].isEmpty());
}

TEST_F(ReportExportTest, CsvQuotesWhatWouldEndAFieldAndNamesAnUnknownDetail)
{
    ASSERT_NO_FATAL_FAILURE(open(R"(<report version="1"><sheet name="S">
      <detail detail="A" height="6"><cell x="0" width="50">[A.t]</cell><cell x="50" width="50">[A.u]</cell></detail>
      <detail detail="B" height="6"><cell x="0" width="50">[B.t]</cell></detail></sheet></report>)",
                                 "<DocumentData><A><Row t=\"a,b\" u=\"say &quot;hi&quot;\"/><Row t=\"line&#10;two\" "
                                 "u=\"漢字\"/><Row t=\"\" u=\"plain\"/></A><B><Row t=\"b1\"/></B></DocumentData>"));
    MemoryOutput first;
    ASSERT_TRUE(run(ExportFormat::Csv, first));
    EXPECT_EQ(QString::fromUtf8(first.files.at(0)),
              QStringLiteral("\"a,b\",\"say \"\"hi\"\"\"\r\n\"line\ntwo\",漢字\r\n,plain\r\n"));
    MemoryOutput second;
    ASSERT_TRUE(run(ExportFormat::Csv, second, {QStringLiteral("b"), {}}));
    EXPECT_EQ(second.files.at(0), "b1\r\n") << "the detail id compares without letter case";

    MemoryOutput unknown;
    const vl::SessionResult refused = run(ExportFormat::Csv, unknown, {QStringLiteral("Nope"), {}});
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.message, QStringLiteral("The sheet \"S\" has no detail \"Nope\""));
    EXPECT_TRUE(unknown.files.empty()) << "nothing is written for a refused detail";
}

TEST_F(ReportExportTest, TextHoldsEveryItemOfItsPageOnLinesInOrder)
{
    ASSERT_NO_FATAL_FAILURE(open(StaffTemplate, staffData(60)));
    const vl::LaidOutReport report = layout();
    MemoryOutput output;
    ASSERT_TRUE(run(ExportFormat::Text, output));
    const QStringList pages = QString::fromUtf8(output.files.at(0)).split(u'\f');
    ASSERT_EQ(size_t(pages.size()), report.pages.size());
    for (size_t index = 0; index < report.pages.size(); ++index) {
        const QString& page = pages[qsizetype(index)];
        for (const vl::PageItem& item : report.pages[index].items)
            EXPECT_TRUE(page.contains(item.text)) << "page " << index + 1 << " lacks " << item.text.toStdString();
    }
    // A row's cells stand on one line, left to right, the name's column before the pay's.
    const QStringList lines = pages[0].split(u'\n');
    const auto row = std::find_if(lines.begin(), lines.end(), [](const QString& line) { return line.contains(u"N0-0"); });
    ASSERT_NE(row, lines.end());
    EXPECT_EQ(row->simplified(), QStringLiteral("N0-0 1,000.00"));
    EXPECT_GT(row->indexOf(u"1,000.00"), row->indexOf(u"N0-0") + 20) << "placed by x, not run together";
    EXPECT_EQ(lines.front().trimmed(), QStringLiteral("Head"));
}

TEST_F(ReportExportTest, SpreadsheetNumberFormatsFollowTheDisplayFormat)
{
    const struct {
        const char16_t* format;
        int decimals;
        const char16_t* excel;
        bool date;
    } cases[] = {
        {u"#,##0.00", -1, u"#,##0.00", false},
        {u"0", -1, u"0", false},
        {u"0.0%", -1, u"0.0%", false},
        {u"¥#,##0", -1, u"\"¥\"#,##0", false},
        {u"#,##0 元", -1, u"#,##0\" 元\"", false},
        {u"", 2, u"0.00", false},
        {u"", 0, u"0", false},
        {u"", -1, u"", false},
        {u"yyyy-MM-dd", -1, u"yyyy-mm-dd", true},
        {u"yyyy年M月d日", -1, u"yyyy\"年\"m\"月\"d\"日\"", true},
        {u"dd/MM/yy HH:mm", -1, u"dd/mm/yy hh:mm", true},
        {u"h:mm AP", -1, u"h:mm AM/PM", true},
        {u"'Q' yyyy", -1, u"\"Q\" yyyy", true},
        {u"text only", -1, u"", false},
    };
    for (const auto& c : cases) {
        bool isDate = !c.date;
        EXPECT_EQ(vl::spreadsheetNumberFormat(QString::fromUtf16(c.format), c.decimals, &isDate), QString::fromUtf16(c.excel))
            << QString::fromUtf16(c.format).toStdString();
        EXPECT_EQ(isDate, c.date) << QString::fromUtf16(c.format).toStdString();
    }
}

TEST_F(ReportExportTest, SpreadsheetCellsAreTypedOnlyWhenTheyShowOneWholeValue)
{
    const struct {
        const char16_t* cellText;
        const char16_t* format;
        int decimals;
        const char16_t* shown;
        const char16_t* value;
        vl::SpreadsheetValue::Kind kind;
        double number;
    } cases[] = {
        {u"[D.x]", u"#,##0.00", -1, u"1,234.50", u"1234.5", vl::SpreadsheetValue::Number, 1234.5},
        {u"[D.x]", u"", -1, u"42", u"42", vl::SpreadsheetValue::Number, 42},
        {u"[D.x]", u"", 2, u"3.14", u"3.14159", vl::SpreadsheetValue::Number, 3.14159},
        {u"[D.x]", u"", -1, u"00123", u"00123", vl::SpreadsheetValue::Text, 0},
        {u"[D.x]", u"", -1, u"abc", u"abc", vl::SpreadsheetValue::Text, 0},
        {u"[D.x]", u"#,##0", -1, u"n/a", u"n/a", vl::SpreadsheetValue::Text, 0},
        {u"Total [D.x]", u"", -1, u"Total 5", u"5", vl::SpreadsheetValue::Text, 0},
        {u"[D.x]", u"yyyy-MM-dd", -1, u"2024-02-29", u"2024-02-29", vl::SpreadsheetValue::Date, 0},
        {u"[D.x]", u"", -1, u"2024-02-29 08:30:00", u"2024-02-29 08:30:00", vl::SpreadsheetValue::Date, 0},
        {u"[D.x]", u"", -1, u"inf", u"inf", vl::SpreadsheetValue::Text, 0},
    };
    for (const auto& c : cases) {
        vl::TemplateCell cell;
        QString reason;
        ASSERT_TRUE(vl::parseCellText(QString::fromUtf16(c.cellText), cell.segments, reason)) << reason.toStdString();
        vl::PageItem item;
        item.cell = &cell;
        item.style.format = QString::fromUtf16(c.format);
        item.style.decimals = c.decimals;
        item.text = QString::fromUtf16(c.shown);
        item.value = QString::fromUtf16(c.value);
        const vl::SpreadsheetValue value = vl::spreadsheetValue(item);
        EXPECT_EQ(value.kind, c.kind) << item.text.toStdString();
        if (c.kind == vl::SpreadsheetValue::Number) {
            EXPECT_DOUBLE_EQ(value.number, c.number) << item.text.toStdString();
        } else if (c.kind == vl::SpreadsheetValue::Date) {
            EXPECT_EQ(value.date.date(), QDate(2024, 2, 29)) << item.text.toStdString();
        }
    }
}

TEST_F(ReportExportTest, HtmlEscapesTextKeepsOnlyWebLinksAndCarriesItsPictures)
{
    QImage dot(4, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    dot.save(&buffer, "PNG");
    const QByteArray templateText = R"(<report version="1"><sheet name="S"><watermark text="DRAFT &amp; co"/>
      <master height="30">
        <cell x="0" width="60" href="[Master.link]" font="Courier New" bold="true">[Master.text]</cell>
        <image x="60" width="20" height="20" src="data:image/png;base64,)" + png.toBase64() + R"("/>
        <barcode x="90" width="25" height="25" type="qrcode">[Master.text]</barcode>
      </master></sheet></report>)";
    ASSERT_NO_FATAL_FAILURE(open(templateText, "<DocumentData><Master>"
                                               "<Row text=\"&lt;script&gt;x&lt;/script&gt;\" link=\"javascript:alert(1)\"/>"
                                               "<Row text=\"site\" link=\"https://example.com/?a=1&amp;b=2\"/>"
                                               "</Master></DocumentData>"));
    MemoryOutput output;
    ASSERT_TRUE(run(ExportFormat::Html, output, {{}, QStringLiteral("Staff <list>")}));
    const QString html = QString::fromUtf8(output.files.at(0));
    EXPECT_TRUE(html.contains(u"<title>Staff &lt;list&gt;</title>"));
    EXPECT_TRUE(html.contains(u"&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_FALSE(html.contains(u"<script")) << "text never becomes markup";
    EXPECT_FALSE(html.contains(u"javascript:")) << "a script link stays text";
    EXPECT_TRUE(html.contains(u"<a href=\"https://example.com/?a=1&amp;b=2\">site</a>"));
    EXPECT_TRUE(html.contains(u"font-family:\"Courier New\",monospace"));
    EXPECT_TRUE(html.contains(u"font-weight:bold"));
    EXPECT_TRUE(html.contains(u"DRAFT &amp; co"));
    EXPECT_EQ(html.count(u"src=\"data:image/png;base64,"), 2) << "the picture on each master row";
    EXPECT_GE(html.count(u"<svg"), 2) << "barcodes as inline SVG";
    EXPECT_FALSE(html.contains(u"<?xml")) << "inline SVG without its document's declaration";
}

TEST_F(ReportExportTest, SvgPagesAreOnePerPageAndRender)
{
    ASSERT_NO_FATAL_FAILURE(open(StaffTemplate, staffData(60)));
    const size_t pages = layout().pages.size();
    MemoryOutput output;
    ASSERT_TRUE(run(ExportFormat::Svg, output));
    ASSERT_EQ(output.files.size(), pages);
    for (const QByteArray& page : output.files) {
        QSvgRenderer renderer(page);
        EXPECT_TRUE(renderer.isValid());
        EXPECT_NEAR(renderer.viewBoxF().width() / renderer.viewBoxF().height(), 210.0 / 297.0, 0.01);
    }
    EXPECT_EQ(vl::svgPageFileName(0, 9), QStringLiteral("page-001.svg"));
    EXPECT_EQ(vl::svgPageFileName(1233, 1234), QStringLiteral("page-1234.svg"));
}

TEST_F(ReportExportTest, FormatNamesAreTakenInAnyCase)
{
    EXPECT_EQ(vl::exportFormatNamed(QStringLiteral("XLSX")), ExportFormat::Xlsx);
    EXPECT_EQ(vl::exportFormatNamed(QStringLiteral("txt")), ExportFormat::Text);
    EXPECT_EQ(vl::exportFormatNamed(QStringLiteral("Html")), ExportFormat::Html);
    EXPECT_EQ(vl::exportFormatNamed(QStringLiteral("pdf")), std::nullopt) << "PDF has its own writer";
    EXPECT_EQ(vl::exportFormatNamed(QStringLiteral("doc")), std::nullopt);
}

} // namespace
