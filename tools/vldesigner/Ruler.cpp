#include "Ruler.h"

#include <QPainter>

#include <cmath>

namespace vl::designer
{

Ruler::Ruler(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent)
    , m_orientation(orientation)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Ruler::setScale(std::vector<Span> spans, double pixelsPerMm)
{
    m_spans = std::move(spans);
    m_pixelsPerMm = pixelsPerMm;
    update();
}

QSize Ruler::sizeHint() const
{
    return m_orientation == Qt::Horizontal ? QSize(100, Thickness) : QSize(Thickness, 100);
}

void Ruler::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const bool horizontal = m_orientation == Qt::Horizontal;
    const int length = horizontal ? width() : height();
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    // Ticks closer than 3 pixels are a grey smear; labels need room for "1000".
    const int tickStep = m_pixelsPerMm >= 3 ? 1 : m_pixelsPerMm * 5 >= 3 ? 5 : 10;
    const int labelStep = m_pixelsPerMm * 10 >= 28 ? 10 : m_pixelsPerMm * 50 >= 28 ? 50 : 100;
    const QColor ink = palette().windowText().color();
    for (const Span& span : m_spans) {
        const int first = std::max(0, static_cast<int>(std::floor(-span.start / m_pixelsPerMm)));
        const int last = std::min(
            static_cast<int>(span.millimetres), static_cast<int>(std::ceil((length - span.start) / m_pixelsPerMm)));
        const double spanEnd = span.start + span.millimetres * m_pixelsPerMm;
        painter.setPen(ink);
        for (int mm = first - first % tickStep; mm <= last; mm += tickStep) {
            if (mm < first)
                continue;
            const double at = std::round(span.start + mm * m_pixelsPerMm) + 0.5;
            const int tick = mm % 10 == 0 ? Thickness - 2 : mm % 5 == 0 ? Thickness / 2 : Thickness / 4;
            if (horizontal)
                painter.drawLine(QLineF(at, Thickness, at, Thickness - tick));
            else
                painter.drawLine(QLineF(Thickness, at, Thickness - tick, at));
            const QString label = QString::number(mm);
            // A number that would run into the next band's ruler is left out; its tick says enough.
            const bool fits = at + 2 + painter.fontMetrics().horizontalAdvance(label) <= spanEnd;
            if (mm % labelStep == 0 && (fits || mm == 0)) {
                if (horizontal) {
                    painter.drawText(QPointF(at + 2, 9), label);
                } else {
                    painter.save();
                    painter.translate(2, at + 2);
                    painter.rotate(90);
                    painter.drawText(QPointF(0, 0), label);
                    painter.restore();
                }
            }
        }
    }
    painter.setPen(palette().mid().color());
    if (horizontal)
        painter.drawLine(0, height() - 1, width(), height() - 1);
    else
        painter.drawLine(width() - 1, 0, width() - 1, height());
}

} // namespace vl::designer
