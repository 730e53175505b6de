#include "CanvasGraphics.h"

#include "ReportData.h"

#include <QFontMetricsF>
#include <QPainter>

namespace vl::designer
{

namespace
{

class LabelledFrame final : public PageGraphic
{
public:
    LabelledFrame(Kind kind, QString caption)
        : m_kind(kind)
        , m_caption(std::move(caption))
    {
    }
    Kind kind() const override { return m_kind; }
    void paint(QPainter& painter, const QRectF& frame, double, double fontScale) const override
    {
        painter.save();
        painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 1, Qt::DashLine));
        painter.setBrush(QColor(0xF4, 0xF4, 0xF4));
        painter.drawRect(frame.adjusted(0.5, 0.5, -0.5, -0.5));
        QFont font;
        font.setPointSizeF(std::max(0.5, 7 * fontScale));
        painter.setFont(font);
        painter.setPen(QColor(0x60, 0x60, 0x60));
        const QRectF inner = frame.adjusted(2, 1, -2, -1);
        const QString shown = QFontMetricsF(font).elidedText(m_caption, Qt::ElideRight, inner.width());
        painter.drawText(inner, Qt::AlignCenter, shown);
        painter.restore();
    }

private:
    Kind m_kind;
    QString m_caption;
};

bool literalOnly(const std::vector<TextSegment>& segments)
{
    for (const TextSegment& segment : segments)
        if (segment.kind != TextSegment::Literal)
            return false;
    return true;
}

// Whether the engine can draw the item as printed without any data.
bool drawnWithoutData(const TemplateCell& cell)
{
    if (cell.image)
        return literalOnly(cell.image->src) && !cell.image->src.empty();
    if (cell.barcode)
        return literalOnly(cell.segments) && !cell.segments.empty();
    return cell.chart != nullptr;
}

} // namespace

std::shared_ptr<const PageGraphic> labelledFrame(PageGraphic::Kind kind, const QString& caption)
{
    return std::make_shared<LabelledFrame>(kind, caption);
}

QString itemCaption(const DesignItem& item)
{
    const pugi::xml_node node = item.node;
    const QString text = QString::fromUtf8(node.text().get()).simplified();
    if (item.cell.image)
        return QStringLiteral("Image: %1").arg(QString::fromUtf8(node.attribute("src").value()));
    if (item.cell.barcode)
        return QStringLiteral("%1: %2").arg(barcodeTypeName(item.cell.barcode->type), text);
    if (item.cell.chart) {
        const QString title = item.cell.chart->title;
        return title.isEmpty() ? QStringLiteral("Chart of %1").arg(item.cell.chart->source)
                               : QStringLiteral("Chart: %1").arg(title);
    }
    return text;
}

void CanvasGraphics::rebuild(const DesignSheet& sheet, const QString& folder)
{
    m_graphics.clear();
    const ReportDataSet noData;
    for (const DesignBand& band : sheet.bands) {
        // One band of the drawable items alone, as a title over no rows: the engine makes each graphic
        // exactly as it would print it, and nothing else of the sheet is laid out.
        TemplateSheet alone;
        alone.folder = folder;
        alone.page = sheet.page;
        alone.page.marginTop = alone.page.marginBottom = 0;
        TemplateBand title;
        title.kind = BandKind::Title;
        title.height = band.height;
        std::vector<const DesignItem*> drawn;
        for (const DesignItem& item : band.items) {
            if (!item.cell.image && !item.cell.barcode && !item.cell.chart)
                continue;
            if (!drawnWithoutData(item.cell)) {
                const PageGraphic::Kind kind = item.cell.image ? PageGraphic::Kind::Image
                    : item.cell.barcode                        ? PageGraphic::Kind::Barcode
                                                               : PageGraphic::Kind::Chart;
                m_graphics.insert(item.node.internal_object(), labelledFrame(kind, itemCaption(item)));
                continue;
            }
            TemplateCell cell = item.cell;
            cell.x = item.rect.x();
            cell.y = 0;
            cell.width = item.rect.width();
            cell.height = std::max(item.rect.height(), MinCellWidth);
            cell.visible.reset();
            cell.styleExpressions.clear();
            cell.href.clear();
            title.height = std::max(title.height, cell.height);
            title.cells.push_back(std::move(cell));
            drawn.push_back(&item);
        }
        if (drawn.empty())
            continue;
        alone.page.paper.setHeight(std::max(alone.page.paper.height(), title.height + 1));
        alone.bands.push_back(std::move(title));
        const LaidOutReport laidOut = layoutReport(alone, noData);
        const std::vector<PageItem>& items = laidOut.pages.front().items;
        for (size_t index = 0; index < drawn.size(); ++index) {
            std::shared_ptr<const PageGraphic> graphic;
            if (items.size() == drawn.size())
                graphic = items[index].graphic;
            if (!graphic)
                graphic = labelledFrame(PageGraphic::Kind::Empty, itemCaption(*drawn[index]));
            m_graphics.insert(drawn[index]->node.internal_object(), std::move(graphic));
        }
    }
}

std::shared_ptr<const PageGraphic> CanvasGraphics::graphic(pugi::xml_node item) const
{
    return m_graphics.value(item.internal_object());
}

} // namespace vl::designer
