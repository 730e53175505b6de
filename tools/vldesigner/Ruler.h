#pragma once
// A millimetre ruler beside the canvas: ticks every millimetre, longer ones every 5, numbers every 10,
// thinned out where the zoom would crowd them.

#include <QWidget>

#include <vector>

namespace vl::designer
{

class Ruler : public QWidget
{
public:
    explicit Ruler(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Stretches that each count from 0 mm: where each starts (pixels along the ruler) and how long it is.
    struct Span {
        double start = 0;
        double millimetres = 0;
    };
    void setScale(std::vector<Span> spans, double pixelsPerMm);

    QSize sizeHint() const override;
    static constexpr int Thickness = 20;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation m_orientation;
    std::vector<Span> m_spans;
    double m_pixelsPerMm = 1;
};

} // namespace vl::designer
