#include "ReportGraphics_p.h"

#include <QPainter>

namespace vl {

namespace {

class EmptyFrame final : public PageGraphic {
public:
    Kind kind() const override { return Kind::Empty; }
    void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double) const override
    {
        painter.save();
        painter.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), std::max(1.0, 0.2 * pixelsPerMm)));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame);
        painter.restore();
    }
};

} // namespace

std::shared_ptr<const PageGraphic> emptyFrame()
{
    static const auto frame = std::make_shared<const EmptyFrame>();
    return frame;
}

} // namespace vl
