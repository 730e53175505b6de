#include "ReportPainter.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>

#include <optional>

namespace vl {

namespace {

// Large faint text turned about the page's middle, under everything else on the page.
void paintWatermark(QPainter& painter, const Watermark& watermark, QSizeF paper, QPointF origin, double pixelsPerMm,
                    double fontScale)
{
    painter.save();
    painter.setOpacity(watermark.opacity);
    QFont font;
    font.setPointSizeF(std::max(0.5, watermark.size * fontScale));
    painter.setFont(font);
    painter.setPen(watermark.color);
    painter.translate(origin.x() + paper.width() * pixelsPerMm / 2, origin.y() + paper.height() * pixelsPerMm / 2);
    painter.rotate(-watermark.angle);
    const QRectF bounds = QFontMetricsF(font).boundingRect(watermark.text);
    painter.drawText(QPointF(-bounds.width() / 2, bounds.height() / 4), watermark.text);
    painter.restore();
}

} // namespace

void paintPage(QPainter& painter, const LaidOutPage& page, QPointF origin, double pixelsPerMm)
{
    painter.save();
    // Point sizes follow the device's own dpi; scale them so that text keeps its size relative to the paper.
    const double deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 96.0;
    const double fontScale = pixelsPerMm * 25.4 / deviceDpi;
    const double penWidth = std::max(1.0, 0.2 * pixelsPerMm);
    // Cells of a page share a few fonts: a new QFont for every cell made Qt look its face up again
    // each time (a sixth of the PDF's time).
    const CellStyle* fontStyle = nullptr;
    double charBound = 0, lineHeight = 0; // of the font set last, device pixels
    // The pen set last: a text colour, or the borders' (valid borderPen).
    std::optional<QColor> textPen;
    bool borderPen = false;
    if (page.watermark)
        paintWatermark(painter, *page.watermark, page.paper, origin, pixelsPerMm, fontScale);
    for (const PageItem& item : page.items) {
        const QRectF rect(origin.x() + item.rect.x() * pixelsPerMm, origin.y() + item.rect.y() * pixelsPerMm,
                          item.rect.width() * pixelsPerMm, item.rect.height() * pixelsPerMm);
        const CellStyle& style = item.style;
        if (style.background.isValid())
            painter.fillRect(rect, style.background);
        if (item.graphic) {
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            item.graphic->paint(painter, rect, pixelsPerMm, fontScale);
            painter.restore();
        } else if (!item.text.isEmpty()) {
            if (!fontStyle || fontStyle->fontFamily != style.fontFamily || fontStyle->fontSize != style.fontSize
                || fontStyle->bold != style.bold || fontStyle->italic != style.italic
                || fontStyle->underline != style.underline) {
                QFont font(style.fontFamily);
                font.setPointSizeF(std::max(0.5, style.fontSize * fontScale));
                font.setBold(style.bold);
                font.setItalic(style.italic);
                font.setUnderline(style.underline);
                painter.setFont(font);
                fontStyle = &style;
                const QFontMetricsF metrics(painter.font(), painter.device());
                charBound = std::max(metrics.maxWidth(), metrics.height());
                lineHeight = metrics.height();
            }
            if (!textPen || *textPen != style.color) {
                painter.setPen(style.color);
                textPen = style.color;
                borderPen = false;
            }
            const double padding = 0.8 * pixelsPerMm;
            const QRectF textRect = rect.adjusted(padding, 0, -padding, 0);
            const int flags = static_cast<int>(style.alignment) | (style.wrap ? Qt::TextWordWrap : 0);
            // A line that fits even if every character were the widest needs no clip, which is most
            // cells: saving the painter and clipping cost a tenth of the PDF's time.
            if (item.text.size() * charBound <= textRect.width() && lineHeight <= rect.height()
                && !item.text.contains(u'\n')) {
                painter.drawText(textRect, flags, item.text);
            } else {
                painter.save();
                painter.setClipRect(rect, Qt::IntersectClip);
                painter.drawText(textRect, flags, item.text);
                painter.restore();
            }
        }
        if (style.borders) {
            if (!borderPen) {
                painter.setPen(QPen(Qt::black, penWidth));
                borderPen = true;
                textPen.reset();
            }
            QLineF lines[4];
            int count = 0;
            if (style.borders & BorderLeft)
                lines[count++] = QLineF(rect.topLeft(), rect.bottomLeft());
            if (style.borders & BorderTop)
                lines[count++] = QLineF(rect.topLeft(), rect.topRight());
            if (style.borders & BorderRight)
                lines[count++] = QLineF(rect.topRight(), rect.bottomRight());
            if (style.borders & BorderBottom)
                lines[count++] = QLineF(rect.bottomLeft(), rect.bottomRight());
            painter.drawLines(lines, count);
        }
    }
    painter.restore();
}

bool printReport(const LaidOutReport& report, QPagedPaintDevice& device)
{
    return printReport(report, device, 1, static_cast<int>(report.pages.size()));
}

bool printReport(const LaidOutReport& report, QPagedPaintDevice& device, int firstPage, int lastPage)
{
    const size_t first = static_cast<size_t>(std::max(1, firstPage) - 1);
    const size_t last = std::min(report.pages.size(), static_cast<size_t>(std::max(0, lastPage)));
    device.setPageSize(QPageSize(report.page.paper, QPageSize::Millimeter));
    device.setPageOrientation(QPageLayout::Portrait); // the paper size already follows the orientation
    device.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double pixelsPerMm = device.logicalDpiX() / 25.4;
    // A printer that keeps unprintable margins puts the page origin inside them; place pages on the paper.
    const QRectF paint = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QPointF origin(-paint.left(), -paint.top());
    for (size_t index = first; index < last; ++index) {
        if (index > first && !device.newPage()) {
            painter.end();
            return false;
        }
        paintPage(painter, report.pages[index], origin, pixelsPerMm);
    }
    return painter.end();
}

} // namespace vl
