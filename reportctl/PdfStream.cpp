#include "PdfStream.h"

#include "ReportPainter.h"

#include <QPainter>

namespace vl {

bool isWebLink(const QString& target)
{
    const QString trimmed = target.trimmed();
    return trimmed.startsWith(u"http://", Qt::CaseInsensitive) || trimmed.startsWith(u"https://", Qt::CaseInsensitive)
        || trimmed.startsWith(u"mailto:", Qt::CaseInsensitive);
}

PdfPageSink::PdfPageSink(QIODevice& device, const PdfInfo& info, int firstPage, int lastPage)
    : m_writer(device, info), m_first(std::max(1, firstPage)), m_last(lastPage)
{
}

PdfPageSink::~PdfPageSink() = default;

bool PdfPageSink::begin(const TemplateSheet& sheet, int)
{
    m_sheet = &sheet;
    for (const TemplateBand& band : sheet.bands)
        if (band.kind == BandKind::Master)
            for (const TemplateCell& cell : band.cells)
                m_masterCells.insert(&cell);
    return true;
}

void PdfPageSink::paint(const LaidOutPage& page, QSizeF paper)
{
    QPaintDevice& device = m_writer.newPage(paper);
    const int index = m_writer.pageCount() - 1;
    for (const PageItem& item : page.items) {
        if (!item.link.isEmpty() && isWebLink(item.link))
            m_writer.addLink(item.rect, item.link.trimmed());
        // The first master band cell of a master row titles its entry, a bound one before the others.
        if (item.masterIndex >= 0 && m_masterCells.count(item.cell) && !m_outlined.count(item.masterIndex)) {
            const PageItem* title = &item;
            for (const PageItem& other : page.items)
                if (other.bound && other.masterIndex == item.masterIndex && m_masterCells.count(other.cell)
                    && !other.text.trimmed().isEmpty()) {
                    title = &other;
                    break;
                }
            m_outlined.insert(item.masterIndex);
            m_writer.addOutlineEntry(title->text.simplified(), index, item.rect.top());
        }
    }
    QPainter painter;
    if (!painter.begin(&device)) {
        m_failed = true;
        return;
    }
    paintPage(painter, page, QPointF(0, 0), PdfWriter::Resolution / 25.4);
    if (!painter.end())
        m_failed = true;
}

bool PdfPageSink::page(LaidOutPage& page, int index)
{
    if (index + 1 < m_first || index + 1 > m_last)
        return !m_failed;
    paint(page, m_sheet ? m_sheet->page.paper : page.paper);
    return !m_failed;
}

bool PdfPageSink::finish()
{
    if (m_writer.pageCount() == 0 && !m_failed)
        paint(LaidOutPage{}, m_sheet ? m_sheet->page.paper : QSizeF(210, 297));
    return m_writer.finish() && !m_failed;
}

int PdfPageSink::pagesWritten() const
{
    return m_writer.pageCount();
}

PrintPageSink::PrintPageSink(QPagedPaintDevice& device, int firstPage, int lastPage)
    : m_device(device), m_first(std::max(1, firstPage)), m_last(lastPage)
{
}

PrintPageSink::~PrintPageSink() = default;

bool PrintPageSink::begin(const TemplateSheet& sheet, int)
{
    m_device.setPageSize(QPageSize(sheet.page.paper, QPageSize::Millimeter));
    m_device.setPageOrientation(QPageLayout::Portrait); // the paper size already follows the orientation
    m_device.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&m_device))
        return false;
    m_pixelsPerMm = m_device.logicalDpiX() / 25.4;
    // A printer that keeps unprintable margins puts the page origin inside them; place pages on the paper.
    const QRectF paint = m_device.pageLayout().paintRectPixels(m_device.logicalDpiX());
    m_origin = QPointF(-paint.left(), -paint.top());
    return true;
}

bool PrintPageSink::page(LaidOutPage& page, int index)
{
    if (index + 1 < m_first || index + 1 > m_last)
        return true;
    if (m_printed++ > 0 && !m_device.newPage())
        return false;
    paintPage(*m_painter, page, m_origin, m_pixelsPerMm);
    return true;
}

bool PrintPageSink::finish()
{
    return m_painter && m_painter->isActive() && m_painter->end();
}

} // namespace vl
