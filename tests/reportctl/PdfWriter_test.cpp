// The PDF writer against Qt's own (each primitive rendered through both by pdftoppm and compared),
// and what PDF readers find in its files: text (CJK and shaped), fonts embedded and subset,
// metadata, web links, the outline of master rows, [Pages] of a streamed report, images stored once.

#include "PdfStream.h"
#include "PdfWriter.h"
#include "ReportLayout.h"
#include "ReportPainter.h"
#include "ReportSession.h"
#include "TestSupport.h"

#include "CommandOutput.h"
#include "WidgetApplication.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

namespace {

using vl::test::commandOutput;
using vl::test::withoutSpace;

class PdfWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vl::test::ensureWidgetApplication("reportctl_tests"); }
    QTemporaryDir m_dir;
};

constexpr QSizeF Paper(105, 148); // A6, in mm

using Drawing = std::function<void(QPainter&)>;

// Paints each drawing on a page of its own through our writer.
QByteArray ourPdf(const std::vector<Drawing>& pages, const vl::PdfInfo& info = {})
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    vl::PdfWriter writer(buffer, info);
    for (const Drawing& draw : pages) {
        QPainter painter(&writer.newPage(Paper));
        draw(painter);
    }
    EXPECT_TRUE(writer.finish());
    return buffer.data();
}

// The same through Qt's writer, at our writer's resolution and with no margins.
QByteArray qtPdf(const Drawing& draw)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(vl::PdfWriter::Resolution);
        writer.setPageSize(QPageSize(Paper, QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QPainter painter(&writer);
        draw(painter);
    }
    return buffer.data();
}

// A page rendered grey by pdftoppm; any message on its error output fails the test.
QImage rendered(const QString& folder, const QByteArray& pdf, const QString& name, int page = 1)
{
    const QString file = folder + u'/' + name + QStringLiteral(".pdf");
    EXPECT_TRUE(writeFile(file, pdf));
    QProcess process;
    process.start("pdftoppm", {"-gray", "-r", "72", "-f", QString::number(page), "-l", QString::number(page),
                               "-singlefile", "-png", file, folder + u'/' + name});
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardError().toStdString(), "");
    return QImage(folder + u'/' + name + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
}

// Mean absolute difference of two grey images, 0 to 255, over the part they share; 255 when their
// sizes differ by more than the pixel that rounding a paper size may give.
double difference(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull() || std::abs(a.width() - b.width()) > 1 || std::abs(a.height() - b.height()) > 1)
        return 255;
    const int width = std::min(a.width(), b.width()), height = std::min(a.height(), b.height());
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            sum += std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]);
    return sum / (width * height);
}

QImage checkerImage()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, ((x / 4 + y / 4) % 2) ? qRgba(0, 0, 200, 255) : qRgba(255, 0, 0, 128));
    return image;
}

QFont pointFont(const char* family, double points, bool bold = false)
{
    QFont font(QString::fromUtf8(family));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Vector shapes come out the same to the pixel; glyph outlines and a scaled image's resampling
// differ by a little ink along their edges.
constexpr double ShapeTolerance = 0.1, TextTolerance = 1.0, ImageTolerance = 1.5;

struct DrawingCase {
    const char* name;
    double tolerance;
    Drawing draw;
};

const DrawingCase DrawingCases[] = {
    {"fillRect", ShapeTolerance, [](QPainter& p) { p.fillRect(QRectF(500, 500, 3000, 2000), QColor(40, 120, 200)); }},
    {"lines of several widths", ShapeTolerance,
     [](QPainter& p) {
         for (int i = 0; i < 6; ++i) {
             p.setPen(QPen(Qt::black, 5 + 10 * i));
             p.drawLine(QPointF(300, 400 + 400 * i), QPointF(4500, 600 + 400 * i));
         }
     }},
    {"path, polygon and ellipse", ShapeTolerance,
     [](QPainter& p) {
         QPainterPath path;
         path.moveTo(500, 500);
         path.cubicTo(2500, 0, 3500, 3000, 4500, 800);
         path.lineTo(800, 3000);
         path.closeSubpath();
         p.setPen(QPen(Qt::darkGreen, 30));
         p.setBrush(QColor(250, 200, 0));
         p.drawPath(path);
         const QPointF triangle[] = {{600, 4000}, {2200, 3400}, {1800, 5200}};
         p.drawPolygon(triangle, 3);
         p.drawEllipse(QRectF(2600, 3600, 1800, 1200));
         p.drawRect(QRectF(400, 5600, 4000, 800));
     }},
    {"many rectangles under a scale, as a barcode's modules", ShapeTolerance,
     [](QPainter& p) {
         std::vector<QRectF> modules;
         for (int y = 0; y < 21; ++y)
             for (int x = 0; x < 21; ++x)
                 if ((x * 7 + y * 3) % 5 < 2)
                     modules.emplace_back(x + 4, y + 4, 1 + (x % 3 == 0), 1);
         p.setPen(Qt::NoPen);
         p.setBrush(Qt::black);
         p.translate(700.5, 900.25);
         p.scale(97.5, 97.5);
         p.drawRects(modules.data(), int(modules.size()));
     }},
    {"image scaled", ImageTolerance, [](QPainter& p) { p.drawImage(QRectF(500, 500, 3200, 3200), checkerImage()); }},
    {"clip rectangle", ShapeTolerance,
     [](QPainter& p) {
         p.setClipRect(QRectF(1000, 1000, 1500, 1500));
         p.fillRect(QRectF(0, 0, 4000, 4000), Qt::black);
         p.setClipRect(QRectF(2000, 2000, 1500, 1500), Qt::IntersectClip);
         p.fillRect(QRectF(0, 0, 4000, 4000), Qt::white);
     }},
    {"clip path", ShapeTolerance,
     [](QPainter& p) {
         QPainterPath circle;
         circle.addEllipse(QRectF(800, 800, 3000, 3000));
         p.setClipPath(circle);
         p.fillRect(QRectF(0, 0, 5000, 5000), Qt::darkRed);
     }},
    {"opacity", ShapeTolerance,
     [](QPainter& p) {
         p.setOpacity(0.3);
         p.fillRect(QRectF(500, 500, 3000, 3000), Qt::black);
         p.setOpacity(1);
         p.fillRect(QRectF(2000, 2000, 2000, 2000), QColor(0, 0, 0, 60));
     }},
    {"rotated text", TextTolerance,
     [](QPainter& p) {
         p.setFont(pointFont("WenQuanYi Micro Hei", 40));
         p.setOpacity(0.4);
         p.translate(2400, 3400);
         p.rotate(-45);
         p.drawText(QPointF(-1500, 0), QString::fromUtf8("草稿 DRAFT"));
     }},
    {"text in a rectangle, CJK, bold and right aligned", TextTolerance,
     [](QPainter& p) {
         p.setFont(pointFont("WenQuanYi Micro Hei", 12));
         p.drawText(QRectF(300, 300, 4000, 400), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("部门：销售部 Sales 2024"));
         p.setFont(pointFont("WenQuanYi Micro Hei", 12, true));
         p.drawText(QRectF(300, 900, 4000, 400), Qt::AlignRight, QString::fromUtf8("工资小计：12,345.50"));
         p.setFont(pointFont("DejaVu Sans", 10));
         p.setPen(QColor(200, 0, 0));
         p.drawText(QRectF(300, 1500, 4000, 2000), Qt::TextWordWrap,
                    QStringLiteral("Words wrap inside the cell over several lines, as Qt lays them out."));
     }},
};

TEST_F(PdfWriterTest, EachPrimitiveLooksAsQtsWriterDrawsIt)
{
    for (const DrawingCase& c : DrawingCases) {
        SCOPED_TRACE(c.name);
        const QImage ours = rendered(m_dir.path(), ourPdf({c.draw}), QStringLiteral("ours"));
        const QImage qt = rendered(m_dir.path(), qtPdf(c.draw), QStringLiteral("qt"));
        ASSERT_FALSE(ours.isNull());
        // A missing or misplaced shape differs by far more (next test).
        EXPECT_LT(difference(ours, qt), c.tolerance) << c.name;
    }
}

TEST_F(PdfWriterTest, TheComparisonSeesAMissingShape)
{
    const Drawing two = [](QPainter& p) {
        p.fillRect(QRectF(500, 500, 1000, 1000), Qt::black);
        p.fillRect(QRectF(2500, 2500, 1000, 1000), Qt::black);
    };
    const Drawing one = [](QPainter& p) { p.fillRect(QRectF(500, 500, 1000, 1000), Qt::black); };
    EXPECT_GT(difference(rendered(m_dir.path(), ourPdf({one}), QStringLiteral("one")),
                         rendered(m_dir.path(), qtPdf(two), QStringLiteral("two"))),
              ImageTolerance);
}

TEST_F(PdfWriterTest, AnImageOnManyPagesIsStoredOnce)
{
    const QImage image = checkerImage();
    const Drawing draw = [&image](QPainter& p) { p.drawImage(QRectF(500, 500, 1000, 1000), image); };
    const QByteArray pdf = ourPdf({draw, draw, draw});
    // The soft mask of its alpha is an image too: one picture, two image objects.
    EXPECT_EQ(pdf.count("/Subtype /Image"), 2);
    EXPECT_FALSE(rendered(m_dir.path(), pdf, QStringLiteral("images"), 3).isNull());
}

// Every stream of a PDF of ours, inflated.
std::vector<QByteArray> inflatedStreams(const QByteArray& pdf)
{
    std::vector<QByteArray> streams;
    for (qsizetype at = pdf.indexOf("/Length "); at >= 0; at = pdf.indexOf("/Length ", at + 1)) {
        const qsizetype end = pdf.indexOf(" >>\nstream\n", at);
        const qsizetype length = pdf.mid(at + 8, end - at - 8).toLongLong();
        const qsizetype start = pdf.lastIndexOf("obj\n", at);
        const bool packed = pdf.mid(start, at - start).contains("/FlateDecode");
        const QByteArray body = pdf.mid(end + 11, length);
        // qUncompress wants the size first; a generous guess grows as needed.
        streams.push_back(packed ? qUncompress(QByteArray("\x00\x10\x00\x00", 4) + body) : body);
    }
    return streams;
}

// A drawing that sets every part of the state a form's content relies on: fill, stroke, width, alpha, text.
void logo(QPainter& p, const QRectF& area)
{
    p.save();
    p.translate(area.topLeft());
    p.scale(area.width() / 200, area.height() / 100);
    p.fillRect(QRectF(0, 0, 100, 100), Qt::black);
    p.setPen(QPen(Qt::black, 6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(110, 10, 80, 80));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    p.setFont(font);
    p.drawText(QPointF(120, 65), QStringLiteral("Lg"));
    p.restore();
}

// The page around the logo: a state the form must not inherit, a clip that cuts the logo, a turn.
void aroundLogo(QPainter& p, const std::function<void(QPainter&, const QRectF&)>& drawLogo)
{
    p.setOpacity(1);
    p.fillRect(QRectF(200, 200, 3000, 400), QColor(200, 0, 0, 100));
    p.setPen(QPen(QColor(0, 0, 200, 128), 40));
    p.drawLine(QPointF(200, 700), QPointF(3000, 700));
    drawLogo(p, QRectF(300, 900, 2000, 1000));
    p.save();
    p.setClipRect(QRectF(300, 2200, 1000, 400));
    drawLogo(p, QRectF(300, 2200, 2000, 1000));
    p.restore();
    p.save();
    p.translate(2600, 3600);
    p.rotate(30);
    drawLogo(p, QRectF(0, 0, 1000, 500));
    p.restore();
}

TEST_F(PdfWriterTest, AReusableDrawingIsOneFormUsedOnEveryPage)
{
    const Drawing page = [](QPainter& p) {
        aroundLogo(p, [](QPainter& into, const QRectF& area) {
            EXPECT_TRUE(vl::PdfWriter::drawReusable(into, 7, area, logo));
        });
    };
    const QByteArray pdf = ourPdf(std::vector<Drawing>(40, page));
    EXPECT_EQ(pdf.count("/Subtype /Form"), 1);
    int uses = 0;
    for (const QByteArray& stream : inflatedStreams(pdf))
        uses += static_cast<int>(stream.count(" Do Q"));
    EXPECT_EQ(uses, 40 * 3);
    EXPECT_EQ(pdf.count("/Subtype /Image"), 0);

    // On the page it looks as the same drawing painted straight through Qt's writer, clipped and turned.
    const QImage ours = rendered(m_dir.path(), pdf, QStringLiteral("forms"), 40);
    const QImage qt = rendered(m_dir.path(), qtPdf([](QPainter& p) { aroundLogo(p, logo); }), QStringLiteral("qt"));
    EXPECT_LT(difference(ours, qt), TextTolerance);
    // And the comparison sees a logo left out.
    const QImage without
        = rendered(m_dir.path(), qtPdf([](QPainter& p) { aroundLogo(p, [](QPainter&, const QRectF&) {}); }),
                   QStringLiteral("without"));
    EXPECT_GT(difference(ours, without), TextTolerance);
}

TEST_F(PdfWriterTest, AReusableDrawingIsLeftToTheCallerWhereNoFormCanServe)
{
    const auto refused = [](QPainter& p) {
        bool drawn = false;
        const auto draw = [&drawn](QPainter&, const QRectF&) { drawn = true; };
        EXPECT_FALSE(vl::PdfWriter::drawReusable(p, 1, QRectF(0, 0, 0, 100), draw)) << "no area";
        EXPECT_FALSE(vl::PdfWriter::drawReusable(p, 1, QRectF(0, 0, 1e9, 100), draw)) << "kilometres wide";
        p.setOpacity(0.5);
        EXPECT_FALSE(vl::PdfWriter::drawReusable(p, 1, QRectF(0, 0, 100, 100), draw)) << "under an opacity";
        EXPECT_FALSE(drawn);
    };
    const QByteArray pdf = ourPdf({refused});
    EXPECT_EQ(pdf.count("/Subtype /Form"), 0);
    qtPdf([](QPainter& p) {
        EXPECT_FALSE(vl::PdfWriter::drawReusable(p, 1, QRectF(0, 0, 100, 100), logo)) << "Qt's writer";
    });
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    EXPECT_FALSE(vl::PdfWriter::drawReusable(painter, 1, QRectF(0, 0, 10, 10), logo)) << "an image";
}

TEST_F(PdfWriterTest, TextReadsBackAndFontsAreEmbeddedSubsets)
{
    struct TextCase {
        const char* family;
        bool bold;
        const char* text;
    };
    const TextCase cases[] = {
        {"DejaVu Sans", false, "Hello, world 0123456789"},
        {"WenQuanYi Micro Hei", false, "部门员工名单：张三"},
        {"WenQuanYi Micro Hei", true, "工资总额"}, // a bold that the face lacks
        {"DejaVu Sans", false, "cafe\u0301 na\u00efve"}, // a combining accent goes through shaping
    };
    std::vector<Drawing> pages;
    for (const TextCase& c : cases)
        pages.push_back([c](QPainter& p) {
            p.setFont(pointFont(c.family, 14, c.bold));
            p.drawText(QPointF(300, 800), QString::fromUtf8(c.text));
        });
    const QString file = m_dir.filePath(QStringLiteral("text.pdf"));
    ASSERT_TRUE(writeFile(file, ourPdf(pages)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string page = std::to_string(i + 1);
        const std::string text = commandOutput("pdftotext -q -enc UTF-8 -f " + page + " -l " + page + " '"
                                               + file.toStdString() + "' -");
        EXPECT_EQ(QString::fromStdString(withoutSpace(text)).normalized(QString::NormalizationForm_C),
                  QString::fromStdString(withoutSpace(cases[i].text)).normalized(QString::NormalizationForm_C))
            << cases[i].text;
    }
    const std::string fonts = commandOutput("pdffonts '" + file.toStdString() + "'");
    int fontLines = 0;
    for (const QString& line : QString::fromStdString(fonts).split(u'\n').mid(2)) {
        if (line.trimmed().isEmpty())
            continue;
        ++fontLines;
        EXPECT_TRUE(line.contains(u"CID TrueType") && line.contains(u"Identity-H") && line.contains(u"yes yes yes"))
            << line.toStdString();
    }
    EXPECT_GE(fontLines, 2) << fonts;
}

TEST_F(PdfWriterTest, MetadataPageCountAndSize)
{
    const QString file = m_dir.filePath(QStringLiteral("info.pdf"));
    ASSERT_TRUE(writeFile(file, ourPdf({[](QPainter&) {}, [](QPainter&) {}},
                                       {QString::fromUtf8("部门员工报表"), QStringLiteral("Jane Roe"),
                                        QStringLiteral("Salaries (2024)"), QStringLiteral("tests")})));
    const QString info = QString::fromStdString(commandOutput("pdfinfo -enc UTF-8 '" + file.toStdString() + "'"));
    for (const char* expected : {"Title:           部门员工报表", "Author:          Jane Roe",
                                 "Subject:         Salaries (2024)", "Creator:         tests", "Pages:           2",
                                 "Page size:       297.638 x 419.528 pts"})
        EXPECT_TRUE(info.contains(QString::fromUtf8(expected))) << expected << "\n" << info.toStdString();
}

const QByteArray LinkTemplate = R"(<report version="1" title="Staff" author="HR" subject="Departments">
  <sheet name="Sheet1"><page size="A5" margins="10"/><font font="WenQuanYi Micro Hei" size="10"/>
    <master height="12" pageBreak="after">
      <cell x="0" width="40" href="https://example.com/dept/[Master.DeptNo]">Web</cell>
      <cell x="40" width="40">[Master.DeptName]</cell>
      <cell x="80" width="40" href="mailto:head[Master.DeptNo]@example.com">Mail</cell>
      <cell x="0" y="6" width="40" href="[Master.DeptNo]">No link</cell>
    </master>
    <pageFooter height="8"><cell x="0" width="120">[Page]/[Pages]</cell></pageFooter>
  </sheet></report>)";

const char* const LinkData = R"(<DocumentData><Master>
  <Row DeptNo="1" DeptName="销售部"/><Row DeptNo="2" DeptName="研发部"/><Row DeptNo="3" DeptName="Finance"/>
</Master></DocumentData>)";

QByteArray textString(const QString& text)
{
    QByteArray out = "<FEFF";
    for (const QChar c : text)
        out += QByteArray::number(c.unicode(), 16).toUpper().rightJustified(4, '0');
    return out + '>';
}

TEST_F(PdfWriterTest, AStreamedReportHasLinksOutlineMetadataAndItsPageCount)
{
    const QString templateFile = m_dir.filePath(QStringLiteral("links.vld"));
    ASSERT_TRUE(writeFile(templateFile, LinkTemplate));
    vl::ReportSession session(nullptr, vl::ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(templateFile));
    ASSERT_TRUE(session.loadData(std::string_view(LinkData)));
    const vl::ReportTemplate& report = *session.reportTemplate();
    EXPECT_EQ(report.title, u"Staff");
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    vl::PdfPageSink sink(buffer, {report.title, report.author, report.subject, {}});
    ASSERT_TRUE(session.streamSheet(QString(), sink));
    ASSERT_TRUE(sink.finish());
    const QByteArray pdf = buffer.data();
    const QString file = m_dir.filePath(QStringLiteral("links.pdf"));
    ASSERT_TRUE(writeFile(file, pdf));

    // The page count is the final one from the first page on.
    const std::string first = commandOutput("pdftotext -q -enc UTF-8 -f 1 -l 1 '" + file.toStdString() + "' -");
    EXPECT_NE(first.find("1/3"), std::string::npos) << first;
    const QString info = QString::fromStdString(commandOutput("pdfinfo '" + file.toStdString() + "'"));
    EXPECT_TRUE(info.contains(u"Title:           Staff") && info.contains(u"Author:          HR")
                && info.contains(u"Pages:           3"))
        << info.toStdString();

    // Web and mail targets link; a bare number does not.
    for (const char* uri : {"/URI (https://example.com/dept/1)", "/URI (https://example.com/dept/3)",
                            "/URI (mailto:head2@example.com)"})
        EXPECT_TRUE(pdf.contains(uri)) << uri;
    EXPECT_EQ(pdf.count("/Subtype /Link"), 6);

    // One outline entry per master row, titled by its bound cell, on the row's page.
    EXPECT_TRUE(pdf.contains("/Type /Outlines") && pdf.contains("/Count 3")) << pdf.right(2000).toStdString();
    for (const char* title : {"销售部", "研发部", "Finance"})
        EXPECT_TRUE(pdf.contains(textString(QString::fromUtf8(title)))) << title;
}

TEST_F(PdfWriterTest, TakenPagesAreFreedAndShowTheGivenCount)
{
    vl::ReportTemplate report;
    ASSERT_TRUE(vl::parseTemplate(LinkTemplate.toStdString(), report).ok);
    vl::ReportDataSet data;
    ASSERT_TRUE(vl::parseDataDocument(LinkData, data).ok);
    vl::ReportLayouter layouter(report.sheets.front(), data);
    layouter.layoutUntil(1);
    ASSERT_GE(layouter.pageCount(), 1);
    const vl::LaidOutPage page = layouter.takePage(0, 7);
    bool footer = false;
    for (const vl::PageItem& item : page.items)
        footer = footer || item.text == u"1/7";
    EXPECT_TRUE(footer);
    EXPECT_TRUE(layouter.page(0).items.empty());
    EXPECT_TRUE(layouter.takePage(5).items.empty()); // not laid out yet
}

TEST_F(PdfWriterTest, MetadataLongerThanALineIsRefused)
{
    vl::ReportTemplate report;
    const std::string tooLong = "<report version=\"1\" subject=\"" + std::string(1001, 'x')
                              + "\"><sheet name=\"S\"/></report>";
    const vl::ParseResult result = vl::parseTemplate(tooLong, report);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.message.contains(u"subject is longer than 1000 characters")) << result.message.toStdString();
}

// A page in the sample's shape (header, title, a master row, a shaded table header, bordered
// rows, a footer with [Pages]) painted by paintPage through both writers.
const QByteArray StaffTemplate = R"(<report version="1"><sheet name="Sheet1">
  <page size="A4" margins="15"/><font font="WenQuanYi Micro Hei" size="10"/>
  <pageHeader height="8"><cell x="0" width="180" size="8" color="#666666" align="right" border="bottom">部门员工报表</cell></pageHeader>
  <title height="16"><cell x="0" width="180" height="14" size="18" bold="true" align="center">部门员工名单</cell></title>
  <master height="15"><cell x="0" y="3" width="100" height="6" size="12" bold="true">部门：[Master.DeptName]</cell>
    <cell x="100" y="3" width="80" height="6" align="right" italic="true">编码：[Master.DeptCode]</cell></master>
  <detailHeader detail="Detail" height="7" bold="true" background="#E6E6E6" border="all" align="center">
    <cell x="0" width="30">工号</cell><cell x="30" width="60">姓名</cell><cell x="90" width="90">工资</cell></detailHeader>
  <detail detail="Detail" height="6.5" border="all"><cell x="0" width="30" align="center">[Detail.EmpNo]</cell>
    <cell x="30" width="60" underline="true">[Detail.EmpName]</cell>
    <cell x="90" width="90" align="right" format="#,##0.00">[Detail.Salary]</cell></detail>
  <summary height="9"><cell x="0" width="180" color="#444444" align="right" format="#,##0.00">平均：[avg(Detail.Salary)]　最高：[max(Detail.Salary)]</cell></summary>
  <pageFooter height="8"><cell x="0" width="180" size="9" align="center" valign="bottom">第 [Page] 页，共 [Pages] 页</cell></pageFooter>
</sheet></report>)";

TEST_F(PdfWriterTest, AReportPageLooksAsQtsWriterDrawsIt)
{
    vl::ReportTemplate report;
    ASSERT_TRUE(vl::parseTemplate(StaffTemplate.toStdString(), report).ok);
    vl::ReportDataSet data;
    ASSERT_TRUE(vl::parseDataDocument(R"(<DocumentData><Master><Row DeptNo="1" DeptName="销售部" DeptCode="D1"/></Master>
      <Detail><Row __MasterIdx="0" EmpNo="1001" EmpName="张三 Zhang" Salary="9500.5"/>
      <Row __MasterIdx="0" EmpNo="1002" EmpName="李四" Salary="12000"/></Detail></DocumentData>)",
                                      data)
                    .ok);
    const vl::LaidOutReport laidOut = vl::layoutReport(*report.sheet(QStringLiteral("Sheet1")), data);
    const vl::LaidOutPage& page = laidOut.pages.front();
    const double pixelsPerMm = vl::PdfWriter::Resolution / 25.4;
    QBuffer ours;
    ours.open(QIODevice::WriteOnly);
    {
        vl::PdfWriter writer(ours, {});
        QPainter painter(&writer.newPage(laidOut.page.paper));
        vl::paintPage(painter, page, QPointF(0, 0), pixelsPerMm);
        painter.end();
        ASSERT_TRUE(writer.finish());
    }
    QBuffer theirs;
    theirs.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&theirs);
        writer.setResolution(vl::PdfWriter::Resolution);
        ASSERT_TRUE(vl::printReport(laidOut, writer));
    }
    EXPECT_LT(difference(rendered(m_dir.path(), ours.data(), QStringLiteral("sample-ours")),
                         rendered(m_dir.path(), theirs.data(), QStringLiteral("sample-qt"))),
              TextTolerance);
}

// paintPage lays a cell's line out once per text and font and draws it where QPainter::drawText would:
// a page of cells in every alignment, kerned and ligature-prone Latin, CJK, and texts it must leave
// to QPainter (tabs, white space at an end, underlines, clipped lines), painted three times (a text
// met once is drawn by QPainter, met again laid out and kept, then drawn from what was kept), looks
// to the pixel as the cells drawn by QPainter::drawText one by one.
struct CellCase {
    const char* text;
    const char* family;
    bool bold, underline;
};

const CellCase CellCases[] = {
    {"部门：销售部 Sales 2024", "WenQuanYi Micro Hei", false, false},
    {"工资小计：12,345.50", "WenQuanYi Micro Hei", true, false},
    {"AVATAR Wo Ty, office", "DejaVu Sans", false, false},
    {"AVATAR Wo Ty, office", "DejaVu Sans", false, true},
    {"Tab\tbed", "DejaVu Sans", false, false},
    {"  padded ", "DejaVu Sans", false, false},
    {"a line far too long for its narrow cell, which QPainter clips", "DejaVu Sans", false, false},
};

vl::LaidOutPage cellPage()
{
    vl::LaidOutPage page;
    page.paper = Paper;
    const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    const Qt::Alignment vertical[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    double y = 2;
    for (const CellCase& c : CellCases)
        for (const Qt::Alignment v : vertical) {
            double x = 2;
            for (const Qt::Alignment h : horizontal) {
                vl::PageItem item;
                item.rect = QRectF(x, y, 33, 6.3);
                item.text = QString::fromUtf8(c.text);
                item.style.fontFamily = QString::fromUtf8(c.family);
                item.style.fontSize = 7;
                item.style.bold = c.bold;
                item.style.underline = c.underline;
                item.style.alignment = h | v;
                page.items.push_back(item);
                x += 34;
            }
            y += 6.5;
        }
    return page;
}

// The cells as paintPage drew them before it kept lines: QPainter::drawText, clipped to the cell
// when the line might not fit (were every character the widest).
void paintCellsByQPainter(QPainter& painter, const vl::LaidOutPage& page, double pixelsPerMm)
{
    const double fontScale = pixelsPerMm * 25.4 / painter.device()->logicalDpiY();
    for (const vl::PageItem& item : page.items) {
        QFont font(item.style.fontFamily);
        font.setPointSizeF(item.style.fontSize * fontScale);
        font.setBold(item.style.bold);
        font.setUnderline(item.style.underline);
        painter.setFont(font);
        painter.setPen(item.style.color);
        const QRectF rect(item.rect.x() * pixelsPerMm, item.rect.y() * pixelsPerMm, item.rect.width() * pixelsPerMm,
                          item.rect.height() * pixelsPerMm);
        const QRectF textRect = rect.adjusted(0.8 * pixelsPerMm, 0, -0.8 * pixelsPerMm, 0);
        const QFontMetricsF metrics(painter.font(), painter.device());
        const bool fits = item.text.size() * std::max(metrics.maxWidth(), metrics.height()) <= textRect.width()
                       && metrics.height() <= rect.height();
        painter.save();
        if (!fits)
            painter.setClipRect(rect, Qt::IntersectClip);
        painter.drawText(textRect, static_cast<int>(item.style.alignment), item.text);
        painter.restore();
    }
}

TEST_F(PdfWriterTest, KeptLinesLookAsQPainterDrawsThemOnImages)
{
    const vl::LaidOutPage page = cellPage();
    for (const double pixelsPerMm : {4.0, 11.8}) {
        SCOPED_TRACE(pixelsPerMm);
        const QSize size(qRound(Paper.width() * pixelsPerMm), qRound(Paper.height() * pixelsPerMm));
        QImage ours(size, QImage::Format_ARGB32_Premultiplied), theirs(size, QImage::Format_ARGB32_Premultiplied);
        ours.fill(Qt::white);
        theirs.fill(Qt::white);
        {
            QPainter painter(&ours);
            for (int round = 0; round < 3; ++round)
                vl::paintPage(painter, page, QPointF(0, 0), pixelsPerMm);
        }
        {
            QPainter painter(&theirs);
            for (int round = 0; round < 3; ++round)
                paintCellsByQPainter(painter, page, pixelsPerMm);
        }
        EXPECT_TRUE(ours == theirs);
    }
}

TEST_F(PdfWriterTest, KeptLinesLookAsQPainterDrawsThemInPdfs)
{
    const vl::LaidOutPage page = cellPage();
    const double pixelsPerMm = vl::PdfWriter::Resolution / 25.4;
    const Drawing paint = [&](QPainter& p) { vl::paintPage(p, page, QPointF(0, 0), pixelsPerMm); };
    const QByteArray ours = ourPdf({paint, paint, paint});
    const QByteArray theirs = ourPdf({[&](QPainter& p) { paintCellsByQPainter(p, page, pixelsPerMm); }});
    const QImage reference = rendered(m_dir.path(), theirs, QStringLiteral("cells-qpainter"));
    for (const int pageNumber : {1, 2, 3}) {
        SCOPED_TRACE(pageNumber);
        EXPECT_EQ(difference(rendered(m_dir.path(), ours, QStringLiteral("cells-ours"), pageNumber), reference), 0);
    }
    // Every cell's text stays selectable, the kept ones included.
    const QString text = QString::fromStdString(
        withoutSpace(commandOutput("pdftotext -q -enc UTF-8 '" + m_dir.path().toStdString() + "/cells-ours.pdf' -")));
    EXPECT_EQ(text.count(QString::fromUtf8("部门：销售部Sales2024")), 27);
    EXPECT_EQ(text.count(QString::fromUtf8("工资小计：12,345.50")), 27);
    EXPECT_EQ(text.count(QStringLiteral("AVATARWoTy,office")), 54);
}

} // namespace
