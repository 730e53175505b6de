#pragma once
// A chart's graphic: its points, summed per category when the band is filled, and its own vector
// painting through QPainter, so that screen, print, PDF, SVG and HTML draw the same shapes.

#include "ReportLayout.h"

#include <QStringList>

#include <vector>

class QPaintDevice;

namespace vl
{

// The most points a chart keeps; the categories after the first MaxChartPoints - 1 are summed into
// one last point named OverflowCategory.
inline constexpr int MaxChartPoints = 1000;
inline constexpr char16_t OverflowCategory = u'\u2026';
// The longest category text kept; a longer one is cut (and still compared in full).
inline constexpr int MaxCategoryChars = 200;

struct ChartPoint {
    QString category;
    double value = 0;
    bool operator==(const ChartPoint&) const = default;
};

// An axis from `low` to `high` (both multiples of `step`, zero between them or on one end) with
// `step` 1, 2 or 5 times a power of ten, giving at most `maxTicks` intervals (at least two when the
// values lie on both sides of zero).
struct ChartAxis {
    double low = 0, high = 1, step = 1;
};
// `minimum` and `maximum` are finite; `maxTicks` at least 1.
ChartAxis niceAxis(double minimum, double maximum, int maxTicks);

// The text of a tick's value, with as many decimals as the step needs.
QString tickText(double value, double step);

// Where a bar or line chart puts its category labels, in device pixels.
struct CategoryLabel {
    int point = 0; // index into points()
    QPointF anchor; // the label's top end, under its slot's middle
    bool rotated = false; // turned 45 degrees, reading down to the left
};

class ChartGraphic final : public PageGraphic
{
public:
    ChartGraphic(ChartType type, QString title, std::vector<ChartPoint> points, const CellStyle& style);

    Kind kind() const override { return Kind::Chart; }
    void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double fontScale) const override;

    ChartType type() const { return m_type; }
    const QString& title() const { return m_title; }
    const CellStyle& style() const { return m_style; }
    // Every category in order of first appearance with its sum; a pie leaves out those not above zero.
    const std::vector<ChartPoint>& points() const { return m_points; }
    // A pie's legend: each positive slice's category and share, "Tea 25.0%".
    QStringList legendTexts() const;
    // The category labels a bar or line chart draws into `frame`: every one when they fit side by
    // side, else turned and thinned so that none overlaps the next. Text is measured for `device`
    // (null: the screen), as paint() measures it for its painter's.
    std::vector<CategoryLabel> categoryLabels(
        const QRectF& frame, double pixelsPerMm, double fontScale, const QPaintDevice* device = nullptr) const;

private:
    struct Geometry;
    Geometry geometry(const QRectF& frame, double pixelsPerMm, double fontScale, const QPaintDevice* device) const;
    void paintAxes(QPainter& painter, const Geometry& geometry) const;
    void paintPie(QPainter& painter, const Geometry& geometry, double pixelsPerMm) const;

    ChartType m_type;
    QString m_title;
    std::vector<ChartPoint> m_points;
    CellStyle m_style;
};

} // namespace vl
