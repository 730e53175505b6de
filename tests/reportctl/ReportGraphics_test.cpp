#include "PdfWriter.h"
#include "ReportGraphics_p.h"
#include "ReportLayout.h"
#include "ReportPainter.h"
#include "TestSupport.h"

#include "CommandOutput.h"
#include "WidgetApplication.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <iterator>
#include <set>
#include <sstream>

#include <sys/stat.h>

using namespace vl;

namespace
{

constexpr double Dpi = 300;
constexpr double PixelsPerMm = Dpi / 25.4;

struct Layout {
    LaidOutReport report;
    QStringList prompts;
};

// A 100 x 100 mm page without margins; `band` is the content of a master band 90 mm high that
// starts a new page for each master row, so each row's items stand on a page of their own.
Layout layOut(const QString& band, const QString& folder, const std::string& rows = "<Row N=\"1\"/>")
{
    ReportTemplate report;
    const QString xml
        = QStringLiteral(R"(<report version="1"><sheet name="S"><page width="100" height="100" margins="0"/>
      <master height="90" pageBreak="after">%1</master></sheet></report>)")
              .arg(band);
    const ParseResult parsed = parseTemplate(xml.toStdString(), report);
    EXPECT_TRUE(parsed.ok) << parsed.message.toStdString();
    ReportDataSet data;
    EXPECT_TRUE(parseDataDocument("<DocumentData><Master>" + rows + "</Master></DocumentData>", data).ok);
    Layout layout;
    if (report.sheets.empty())
        return layout;
    report.sheets[0].folder = folder;
    LayoutHooks hooks;
    hooks.prompt = [&layout](const QString& message) { layout.prompts << message; };
    layout.report = layoutReport(report.sheets[0], data, std::move(hooks));
    return layout;
}

QImage render(const LaidOutPage& page)
{
    QImage image(qRound(100 * PixelsPerMm), qRound(100 * PixelsPerMm), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(Dpi / 0.0254));
    image.setDotsPerMeterY(qRound(Dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPage(painter, page, QPointF(0, 0), PixelsPerMm);
    return image;
}

enum class Tone { White, Red, Blue, Other };

Tone toneAt(const QImage& image, double xMm, double yMm)
{
    const QRgb pixel = image.pixel(qRound(xMm * PixelsPerMm), qRound(yMm * PixelsPerMm));
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    if (r > 220 && g > 220 && b > 220)
        return Tone::White;
    if (r > 180 && g < 80 && b < 80)
        return Tone::Red;
    if (b > 180 && r < 80 && g < 80)
        return Tone::Blue;
    return Tone::Other;
}

// 200 x 100 pixels, red on the left half, blue on the right; `dpi` 0 leaves the resolution out of the file.
QByteArray twoColourPicture(const char* format, int dpi = 0)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, 100, 100, Qt::red);
    if (dpi > 0) {
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, 95));
    if (dpi == 0 && QByteArray(format) == "png") {
        // Qt writes pHYs whenever it has a resolution; cut the chunk out to make a file without one.
        const qsizetype at = bytes.indexOf("pHYs");
        if (at > 4)
            bytes.remove(at - 4, 4 + 4 + 9 + 4);
    }
    return bytes;
}

const QByteArray TwoColourSvg
    = R"(<svg xmlns="http://www.w3.org/2000/svg" width="200" height="100" viewBox="0 0 200 100">
  <rect width="100" height="100" fill="#ff0000"/><rect x="100" width="100" height="100" fill="#0000ff"/></svg>)";

QString dataUri(const char* type, const QByteArray& bytes)
{
    return QStringLiteral("data:%1;base64,%2").arg(QLatin1String(type), QString::fromLatin1(bytes.toBase64()));
}

bool hasTool(const char* path)
{
    return QFileInfo(QString::fromLatin1(path)).isExecutable();
}

// What an independent reader finds in the picture: zbar for the symbologies it reads, the ZXing
// library through the system's Python for the others.
std::string decoded(const QImage& image, const QString& folder, bool zbar)
{
    const QString path = folder + QStringLiteral("/symbol.png");
    EXPECT_TRUE(image.save(path));
    const std::string file = path.toStdString();
    if (zbar)
        return vl::test::commandOutput("zbarimg --raw -q '" + file + "'");
    return vl::test::commandOutput(
        "PYTHONIOENCODING=utf-8 /usr/bin/python3 -c 'import sys, zxingcpp; from PIL import Image; "
        "found = zxingcpp.read_barcodes(Image.open(sys.argv[1])); "
        "sys.stdout.write(found[0].text if found else \"\")' '"
        + file + "'");
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// Image objects in the file: pdfimages lists every use of an image on every page, with its object
// number and generation in the 11th and 12th columns.
int pdfImageObjects(const QString& pdf)
{
    const std::string list = vl::test::commandOutput("pdfimages -list '" + pdf.toStdString() + "'");
    std::set<std::string> objects;
    std::istringstream lines(list);
    std::string line;
    for (int header = 0; header < 2 && std::getline(lines, line); ++header) { }
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> columns { std::istream_iterator<std::string>(fields), {} };
        if (columns.size() >= 12)
            objects.insert(columns[10] + ' ' + columns[11]);
    }
    return int(objects.size());
}

bool writePdf(const LaidOutReport& report, const QString& path)
{
    QPdfWriter writer(path);
    writer.setResolution(300);
    return printReport(report, writer);
}

// The report through our own PDF writer, every page at its resolution.
QByteArray ourPdf(const LaidOutReport& report)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PdfWriter writer(buffer, {});
    for (const LaidOutPage& page : report.pages) {
        QPainter painter(&writer.newPage(report.page.paper));
        paintPage(painter, page, QPointF(0, 0), PdfWriter::Resolution / 25.4);
    }
    EXPECT_TRUE(writer.finish());
    return buffer.data();
}

class Graphics : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { vl::test::ensureWidgetApplication("reportctl_tests"); }
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(Graphics, EveryBarcodeTypeIsReadBackByAnIndependentReader)
{
    if (!hasTool("/usr/bin/zbarimg") || !hasTool("/usr/bin/python3"))
        GTEST_SKIP() << "zbarimg or /usr/bin/python3 is missing";
    struct Case {
        const char* type;
        const char* data;
        bool zbar; // else ZXing
        const char* expected; // what the reader reports; null: the data itself
    };
    const Case cases[] = {
        { "qrcode", "https://example.com/order?id=42", true, nullptr },
        { "code128", "VL-2026/0042 ok", true, nullptr },
        { "code39", "CODE39 TEST", true, nullptr },
        { "ean13", "4006381333931", true, nullptr },
        { "upca", "036000291452", true, "0036000291452" }, // zbar reports UPC-A in its EAN-13 form
        { "datamatrix", "Data Matrix 42", false, nullptr },
        { "pdf417", "PDF417 sample text", false, nullptr },
        { "qrcode", "汉字テスト한국어", false, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.data);
        // Linear symbols get a wide, low frame, 2D ones a square; both must come out readable.
        const bool linear
            = QByteArray(c.type) != "qrcode" && QByteArray(c.type) != "datamatrix" && QByteArray(c.type) != "pdf417";
        const Layout layout
            = layOut(QStringLiteral(R"(<barcode x="5" y="5" width="%1" height="%2" type="%3">%4</barcode>)")
                         .arg(linear ? 80 : 50)
                         .arg(linear ? 25 : 50)
                         .arg(QLatin1String(c.type), QString::fromUtf8(c.data)),
                m_dir.path());
        EXPECT_TRUE(layout.prompts.isEmpty()) << layout.prompts.join(u'\n').toStdString();
        ASSERT_FALSE(layout.report.pages.empty());
        ASSERT_EQ(layout.report.pages[0].items.size(), 1u);
        ASSERT_EQ(layout.report.pages[0].items[0].graphic->kind(), PageGraphic::Kind::Barcode);
        EXPECT_EQ(
            trimmed(decoded(render(layout.report.pages[0]), m_dir.path(), c.zbar)), c.expected ? c.expected : c.data);
    }
}

TEST_F(Graphics, SymbolsKeepTheirProportionsAndQuietZoneInsideTheFrame)
{
    // A QR code in a wide frame stays square and centred; a linear code fills the frame's width.
    const Layout layout = layOut(R"(<barcode x="0" y="0" width="90" height="30" type="qrcode">A</barcode>
        <barcode x="0" y="40" width="90" height="20" type="code128" showText="false">A</barcode>)",
        m_dir.path());
    const QImage image = render(layout.report.pages[0]);
    EXPECT_EQ(toneAt(image, 10, 15), Tone::White) << "left of the square symbol";
    EXPECT_EQ(toneAt(image, 80, 15), Tone::White) << "right of the square symbol";
    EXPECT_EQ(toneAt(image, 32, 1), Tone::White) << "the quiet zone above the finder pattern";
    int darkInQr = 0, darkAcross = 0;
    for (double x = 30; x < 60; x += 0.25)
        darkInQr += qGray(image.pixel(qRound(x * PixelsPerMm), qRound(15 * PixelsPerMm))) < 128;
    EXPECT_GT(darkInQr, 10);
    double firstBar = 100, lastBar = 0;
    for (double x = 0; x < 90; x += 0.1) {
        if (qGray(image.pixel(qRound(x * PixelsPerMm), qRound(59 * PixelsPerMm))) < 128) {
            firstBar = std::min(firstBar, x);
            lastBar = x;
            ++darkAcross;
        }
    }
    EXPECT_GT(darkAcross, 0) << "without text the bars reach the frame's foot";
    EXPECT_GT(firstBar, 3) << "the quiet zone before the first bar";
    EXPECT_LT(lastBar, 87) << "the quiet zone after the last bar";
    EXPECT_GT(lastBar - firstBar, 60) << "the bars stretch over the frame's width";
}

TEST_F(Graphics, DataTheSymbologyRefusesPrintsAnEmptyFrameToldOnce)
{
    struct Case {
        const char* type;
        const char* data;
    };
    const Case cases[] = { { "ean13", "40063813339AB" }, { "ean13", "4006381333932" }, { "ean13", "96385074" },
        { "upca", "03600029145" }, { "upca", "036000291453" }, { "code39", "lower*" }, { "qrcode", "" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.data);
        const Layout layout = layOut(QStringLiteral(R"(<barcode width="40" height="20" type="%1">%2</barcode>)")
                                         .arg(QLatin1String(c.type), QLatin1String(c.data)),
            m_dir.path(), "<Row/><Row/><Row/>");
        ASSERT_EQ(layout.report.pages.size(), 3u);
        for (const LaidOutPage& page : layout.report.pages)
            EXPECT_EQ(page.items.at(0).graphic->kind(), PageGraphic::Kind::Empty);
        ASSERT_EQ(layout.prompts.size(), 1) << layout.prompts.join(u'\n').toStdString();
        EXPECT_TRUE(layout.prompts[0].startsWith(QStringLiteral("The barcode data \"%1\" cannot be encoded as %2: ")
                                                     .arg(QLatin1String(c.data), QLatin1String(c.type))))
            << layout.prompts[0].toStdString();
    }
}

TEST_F(Graphics, RepeatedCodesShareOneSymbolAndShowTextMakesADifferentOne)
{
    const Layout layout = layOut(R"(<barcode width="40" height="20" type="ean13">4006381333931</barcode>
        <barcode y="30" width="40" height="20" type="ean13" showText="false">4006381333931</barcode>)",
        m_dir.path(), "<Row/><Row/>");
    ASSERT_EQ(layout.report.pages.size(), 2u);
    const auto& first = layout.report.pages[0].items;
    const auto& second = layout.report.pages[1].items;
    EXPECT_EQ(first[0].graphic, second[0].graphic);
    EXPECT_NE(first[0].graphic, first[1].graphic);
    // Digits under the bars show only with showText: compare ink below the bars in both frames.
    const QImage image = render(layout.report.pages[0]);
    const auto inkInStrip = [&](double top) {
        int dark = 0;
        for (double x = 0; x < 40; x += 0.1)
            for (double y = top; y < top + 2; y += 0.25)
                dark += qGray(image.pixel(qRound(x * PixelsPerMm), qRound(y * PixelsPerMm))) < 128;
        return dark;
    };
    EXPECT_GT(inkInStrip(17.5), inkInStrip(47.5));
}

TEST_F(Graphics, PicturesFitTheirFrame)
{
    ASSERT_TRUE(writeFile(path("plain.png"), twoColourPicture("png")));
    ASSERT_TRUE(writeFile(path("dense.png"), twoColourPicture("png", 200)));
    struct Point {
        double x, y; // mm inside the 40 x 40 mm frame at (10, 10)
        Tone tone;
    };
    struct Case {
        const char* fit;
        const char* src;
        std::vector<Point> points;
    };
    const Case cases[] = {
        // 2:1 into a square: 40 x 20 mm, centred, white above and below.
        { "contain", "plain.png",
            { { 10, 20, Tone::Red }, { 30, 20, Tone::Blue }, { 20, 5, Tone::White }, { 20, 35, Tone::White } } },
        // 80 x 40 mm, centred and cut: the frame holds the middle half, red then blue, no white.
        { "cover", "plain.png",
            { { 10, 2, Tone::Red }, { 30, 38, Tone::Blue }, { 1, 20, Tone::Red }, { 39, 20, Tone::Blue } } },
        { "stretch", "plain.png",
            { { 10, 2, Tone::Red }, { 30, 38, Tone::Blue }, { 19, 38, Tone::Red }, { 21, 2, Tone::Blue } } },
        // Its own size at the top left: 96 dpi without a stated resolution, 52.9 x 26.5 mm...
        { "none", "plain.png", { { 2, 2, Tone::Red }, { 38, 5, Tone::Blue }, { 20, 30, Tone::White } } },
        // ...and 25.4 x 12.7 mm at the 200 dpi the file states.
        { "none", "dense.png",
            { { 2, 2, Tone::Red }, { 20, 5, Tone::Blue }, { 30, 5, Tone::White }, { 5, 15, Tone::White } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fit) + " " + c.src);
        const Layout layout
            = layOut(QStringLiteral(R"(<image x="10" y="10" width="40" height="40" src="%1" fit="%2"/>)")
                         .arg(QLatin1String(c.src), QLatin1String(c.fit)),
                m_dir.path());
        EXPECT_TRUE(layout.prompts.isEmpty()) << layout.prompts.join(u'\n').toStdString();
        const QImage image = render(layout.report.pages[0]);
        for (const Point& point : c.points)
            EXPECT_EQ(toneAt(image, 10 + point.x, 10 + point.y), point.tone) << point.x << ", " << point.y;
        EXPECT_EQ(toneAt(image, 5, 5), Tone::White) << "nothing outside the frame";
        EXPECT_EQ(toneAt(image, 55, 25), Tone::White) << "nothing outside the frame";
    }
}

TEST_F(Graphics, PngJpegAndSvgReadFromFilesAndDataUris)
{
    const QByteArray png = twoColourPicture("png"), jpeg = twoColourPicture("jpeg");
    ASSERT_TRUE(writeFile(path("a.png"), png));
    ASSERT_TRUE(writeFile(path("a.jpg"), jpeg));
    ASSERT_TRUE(writeFile(path("a.svg"), TwoColourSvg));
    ASSERT_TRUE(writeFile(path("a.bmp"), twoColourPicture("bmp")));
    ASSERT_TRUE(writeFile(path("named-wrong.jpg"), png)); // the bytes decide, not the name
    QDir(m_dir.path()).mkdir(QStringLiteral("pictures"));
    ASSERT_TRUE(writeFile(path("pictures/b.png"), png));
    const QString sources[] = {
        QStringLiteral("a.png"),
        QStringLiteral("a.jpg"),
        QStringLiteral("a.svg"),
        QStringLiteral("a.bmp"),
        QStringLiteral("named-wrong.jpg"),
        QStringLiteral("pictures/b.png"),
        path("a.png"),
        dataUri("image/png", png),
        dataUri("image/jpeg", jpeg),
        dataUri("image/svg+xml", TwoColourSvg),
        dataUri("image/jpeg", png), // a stated type that lies
        QStringLiteral("data:image/svg+xml,") + QString::fromLatin1(TwoColourSvg.toPercentEncoding()),
    };
    for (const QString& src : sources) {
        SCOPED_TRACE(src.left(40).toStdString());
        const Layout layout = layOut(
            QStringLiteral(R"(<image x="10" y="10" width="40" height="20" src="%1"/>)").arg(src.toHtmlEscaped()),
            m_dir.path());
        EXPECT_TRUE(layout.prompts.isEmpty()) << layout.prompts.join(u'\n').toStdString();
        ASSERT_EQ(layout.report.pages[0].items.at(0).graphic->kind(), PageGraphic::Kind::Image);
        const QImage image = render(layout.report.pages[0]);
        EXPECT_EQ(toneAt(image, 20, 20), Tone::Red);
        EXPECT_EQ(toneAt(image, 40, 20), Tone::Blue);
    }
}

TEST_F(Graphics, PicturesThatCannotBeShownPrintAnEmptyFrameToldOnce)
{
    ASSERT_TRUE(writeFile(path("corrupt.png"), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'x')));
    ASSERT_TRUE(writeFile(path("text.png"), "just some text"));
    // A BMP header that claims 10 000 x 10 000 pixels: refused from the header, nothing decoded.
    QByteArray bmp(54, '\0');
    bmp[0] = 'B', bmp[1] = 'M';
    const auto put32 = [&bmp](int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((value >> (8 * i)) & 0xFF);
    };
    put32(10, 54), put32(14, 40), put32(18, 10000), put32(22, 10000), put32(26, 1 | (24 << 16));
    ASSERT_TRUE(writeFile(path("huge.bmp"), bmp));
    ASSERT_TRUE(writeFile(path("empty.svg"), R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 0 0"/>)"));
    ASSERT_TRUE(writeFile(path("linking.svg"), R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"
        viewBox="0 0 10 10"><image width="10" height="10" xlink:href="pipe.png"/></svg>)"));
    ASSERT_EQ(::mkfifo(path("pipe.png").toLocal8Bit().constData(), 0600), 0);
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.png"));
    struct Case {
        QString src;
        const char* reason;
    };
    const Case cases[] = {
        { QStringLiteral("missing.png"), "No such file" },
        { QStringLiteral("corrupt.png"), "" },
        { QStringLiteral("text.png"), "is no PNG, JPEG, GIF, BMP or SVG picture" },
        { QStringLiteral("huge.bmp"), "10000 x 10000 pixels, more than 50 million" },
        { QStringLiteral("empty.svg"), "viewBox" },
        { QStringLiteral("pipe.png"), "not a regular file" }, // and the layout does not wait for a writer
        { QStringLiteral("linking.svg"), "the SVG refers to \"pipe.png\" outside it" },
        { QStringLiteral("folder.png"), "not a regular file" },
        { QStringLiteral("/dev/zero"), "not a regular file" },
        { QStringLiteral("data:image/png;base64,@@@"), "base64" },
        { QStringLiteral("data:image/png"), "no comma" },
        { dataUri("image/png", "not a picture"), "is no PNG" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.src.toStdString());
        const Layout layout = layOut(QStringLiteral(R"(<image width="40" height="20" src="%1"/>)").arg(c.src),
            m_dir.path(), "<Row/><Row/><Row/>");
        ASSERT_EQ(layout.report.pages.size(), 3u);
        for (const LaidOutPage& page : layout.report.pages)
            EXPECT_EQ(page.items.at(0).graphic->kind(), PageGraphic::Kind::Empty);
        ASSERT_EQ(layout.prompts.size(), 1) << layout.prompts.join(u'\n').toStdString();
        EXPECT_TRUE(
            layout.prompts[0].startsWith(QStringLiteral("The picture \"%1\" cannot be read: ").arg(c.src.left(57))))
            << layout.prompts[0].toStdString();
        EXPECT_TRUE(layout.prompts[0].contains(QLatin1String(c.reason))) << layout.prompts[0].toStdString();
    }
}

TEST_F(Graphics, OnePictureOnEveryPageIsOneImageInThePdfAndSvgNone)
{
    if (!hasTool("/usr/bin/pdfimages"))
        GTEST_SKIP() << "pdfimages is missing";
    ASSERT_TRUE(writeFile(path("logo.png"), twoColourPicture("png")));
    ASSERT_TRUE(writeFile(path("logo.svg"), TwoColourSvg));
    std::string rows;
    for (int i = 0; i < 40; ++i)
        rows += "<Row/>";
    const Layout raster = layOut(
        R"(<image width="40" height="20" src="logo.png"/><image y="30" width="20" height="20" src="logo.png" fit="cover"/>)",
        m_dir.path(), rows);
    ASSERT_EQ(raster.report.pages.size(), 40u);
    ASSERT_TRUE(writePdf(raster.report, path("raster.pdf")));
    EXPECT_EQ(pdfImageObjects(path("raster.pdf")), 1);

    const Layout vector = layOut(R"(<image width="40" height="20" src="logo.svg"/>)", m_dir.path(), "<Row/><Row/>");
    ASSERT_TRUE(writePdf(vector.report, path("vector.pdf")));
    EXPECT_EQ(pdfImageObjects(path("vector.pdf")), 0) << "the SVG stays vector";
}

TEST_F(Graphics, AnSvgOnEveryPageOfOurPdfIsStoredOnceAndStaysVector)
{
    if (!hasTool("/usr/bin/pdfimages") || !hasTool("/usr/bin/pdftoppm"))
        GTEST_SKIP() << "pdfimages or pdftoppm is missing";
    ASSERT_TRUE(writeFile(path("logo.svg"), TwoColourSvg));
    std::string rows;
    for (int i = 0; i < 40; ++i)
        rows += "<Row/>";
    // Two fits of one source: the drawing is the same, scaled.
    const Layout layout = layOut(
        R"(<image width="40" height="20" src="logo.svg"/><image y="30" width="20" height="20" src="logo.svg" fit="stretch"/>)",
        m_dir.path(), rows);
    ASSERT_EQ(layout.report.pages.size(), 40u);
    const QByteArray pdf = ourPdf(layout.report);
    EXPECT_EQ(pdf.count("/Subtype /Form"), 1);
    ASSERT_TRUE(writeFile(path("ours.pdf"), pdf));
    EXPECT_EQ(pdfImageObjects(path("ours.pdf")), 0) << "the SVG stays vector";

    const std::string page = vl::test::commandOutput("pdftoppm -r 300 -f 40 -l 40 -singlefile -png '"
                                                     + path("ours.pdf").toStdString() + "' '" + path("page40").toStdString() + "'");
    const QImage image(path("page40.png"));
    ASSERT_FALSE(image.isNull()) << page;
    const QImage direct = render(layout.report.pages.back());
    // The fills land where painting the SVG itself puts them, on the last page as on the first.
    for (const auto& [x, y] : { std::pair { 10.0, 10.0 }, { 30.0, 10.0 }, { 5.0, 40.0 }, { 15.0, 40.0 }, { 60.0, 10.0 } }) {
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
        EXPECT_EQ(toneAt(image, x, y), toneAt(direct, x, y));
    }
    EXPECT_EQ(toneAt(image, 10, 10), Tone::Red);
    EXPECT_EQ(toneAt(image, 15, 40), Tone::Blue);
}
