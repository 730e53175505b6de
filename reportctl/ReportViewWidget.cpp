#include "ReportViewWidget.h"

#include "ReportPainter.h"

#include <QPainter>
#include <QScrollBar>

namespace vl {

namespace {
constexpr int PageGap = 16; // pixels around and between pages
}

ReportViewWidget::ReportViewWidget(QWidget* parent) : QAbstractScrollArea(parent)
{
    m_report.pages.emplace_back();
    setFrameShape(QFrame::NoFrame);
}

void ReportViewWidget::setReport(const LaidOutReport& report)
{
    m_report = report;
    updateScrollBars();
    viewport()->update();
}

void ReportViewWidget::setAppearance(const ViewAppearance& appearance)
{
    m_appearance = appearance;
    updateScrollBars();
    viewport()->update();
}

double ReportViewWidget::pixelsPerMm() const
{
    return logicalDpiX() / 25.4 * m_appearance.scale;
}

QSize ReportViewWidget::documentSize() const
{
    const double ppm = pixelsPerMm();
    const int width = static_cast<int>(m_report.page.paper.width() * ppm) + 2 * PageGap;
    const int pageHeight = static_cast<int>(m_report.page.paper.height() * ppm);
    const int count = static_cast<int>(m_report.pages.size());
    return QSize(width, count * (pageHeight + PageGap) + PageGap);
}

void ReportViewWidget::showPage(int index)
{
    const int pageHeight = static_cast<int>(m_report.page.paper.height() * pixelsPerMm());
    verticalScrollBar()->setValue(index * (pageHeight + PageGap));
}

void ReportViewWidget::updateScrollBars()
{
    const QSize document = documentSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, document.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, document.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(20);
}

void ReportViewWidget::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportViewWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), m_appearance.workspace);
    painter.setRenderHint(QPainter::Antialiasing);
    const double ppm = pixelsPerMm();
    const QSizeF pageSize(m_report.page.paper.width() * ppm, m_report.page.paper.height() * ppm);
    const int pageHeight = static_cast<int>(pageSize.height());
    const QSize document = documentSize();
    // Narrow documents stay centred in a wide view.
    const double left = std::max(0, (viewport()->width() - document.width()) / 2) + PageGap - horizontalScrollBar()->value();
    for (size_t index = 0; index < m_report.pages.size(); ++index) {
        const double top = PageGap + static_cast<double>(index) * (pageHeight + PageGap) - verticalScrollBar()->value();
        const QRectF paper(QPointF(left, top), pageSize);
        if (!paper.intersects(viewport()->rect()))
            continue;
        painter.fillRect(paper, m_appearance.paper);
        if (m_appearance.showPageBorder) {
            painter.setPen(m_appearance.pageBorder);
            painter.drawRect(paper);
        }
        paintPage(painter, m_report.pages[index], paper.topLeft(), ppm);
    }
}

} // namespace vl
