#include "PaintPages.h"

#include "ReportLayout.h"
#include "ReportPainter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace fuzz {
namespace {

// A report of many pages says nothing more to the fuzzer than its first ones, and costs time.
constexpr int MaxPages = 3;
constexpr int MaxPdfPages = 2;
// Low resolution keeps painting cheap; the painter's arithmetic is the same at any scale.
constexpr double PixelsPerMm = 0.5;
constexpr double MaxImageSide = 400;

bool finite(const QRectF& rect)
{
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width())
        && std::isfinite(rect.height());
}

void checkGeometry(const vl::PageSetup& page)
{
    const bool ok = std::isfinite(page.paper.width()) && std::isfinite(page.paper.height()) && page.paper.width() > 0
        && page.paper.height() > 0 && std::isfinite(page.marginLeft) && std::isfinite(page.marginTop)
        && std::isfinite(page.marginRight) && std::isfinite(page.marginBottom);
    if (!ok)
        std::abort();
}

void paintImage(const vl::PageSetup& setup, const vl::LaidOutPage& page)
{
    const double longest = std::max(setup.paper.width(), setup.paper.height());
    const double pixelsPerMm = std::min(PixelsPerMm, MaxImageSide / longest);
    const QSize size(std::max(1, static_cast<int>(setup.paper.width() * pixelsPerMm)),
                     std::max(1, static_cast<int>(setup.paper.height() * pixelsPerMm)));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    vl::paintPage(painter, page, QPointF(0, 0), pixelsPerMm);
}

} // namespace

void startGuiApplication()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = { name, nullptr };
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    (void)application;
}

void layoutAndPaint(const vl::TemplateSheet& sheet, const vl::ReportDataSet& data, Output output)
{
    checkGeometry(sheet.page);
    vl::LayoutHooks hooks;
    hooks.prompt = [](const QString&) {};
    // A host that answers one function, so that the road of custom functions is taken too.
    hooks.customFunction = [](const QString& name, const std::vector<vl::ExprValue>& args) -> std::optional<vl::ExprValue> {
        if (name.compare(QLatin1String("echo"), Qt::CaseInsensitive) != 0)
            return std::nullopt;
        return args.empty() ? vl::ExprValue() : args.front();
    };
    hooks.printTime = QDateTime(QDate(2026, 3, 7), QTime(8, 30, 15));
    vl::ReportLayouter layouter(sheet, data, std::move(hooks));
    layouter.layoutUntil(MaxPages);
    const vl::PageSetup setup = layouter.pageSetup();
    checkGeometry(setup);

    vl::LaidOutReport firstPages;
    firstPages.page = setup;
    const int pages = std::min(layouter.pageCount(), MaxPages);
    for (int index = 0; index < pages; ++index) {
        vl::LaidOutPage page = layouter.page(index);
        for (const vl::PageItem& item : page.items) {
            if (!finite(item.rect))
                std::abort();
        }
        if (output != Output::None)
            paintImage(setup, page);
        if (index < MaxPdfPages)
            firstPages.pages.push_back(std::move(page));
    }
    if (output != Output::ImagesAndPdf)
        return;
    if (firstPages.pages.empty())
        firstPages.pages.emplace_back();

    // The road of vlreport --pdf and of printing: the device's page size follows the report's paper.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    (void)vl::printReport(firstPages, writer);
}

} // namespace fuzz
