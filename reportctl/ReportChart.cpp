#include "ReportChart_p.h"

#include "ReportGraphics_p.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace vl
{

namespace
{

// Sums stay far from the largest double, so an axis's range and its rounding stay finite.
constexpr double MaxChartValue = 1e306;

// Told apart in print and on a grey-scale copy, in the order slices and series take them.
const std::array<QColor, 10> Palette { QColor(0x3366CC), QColor(0xDC3912), QColor(0xFF9900), QColor(0x109618),
    QColor(0x990099), QColor(0x0099C6), QColor(0xDD4477), QColor(0x66AA00), QColor(0xB82E2E), QColor(0x316395) };

QColor paletteColor(size_t index)
{
    return Palette[index % Palette.size()];
}

// Text is measured on the device it is drawn on: point sizes were scaled for that device's dpi.
QFontMetricsF metricsOf(const QFont& font, const QPaintDevice* device)
{
    return device ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

bool sameLook(const CellStyle& a, const CellStyle& b)
{
    return a.fontFamily == b.fontFamily && a.fontSize == b.fontSize && a.bold == b.bold && a.italic == b.italic
        && a.color == b.color;
}

QString chartName(const TemplateChart& chart)
{
    return chart.title.isEmpty() ? chart.source : chart.title;
}

} // namespace

ChartAxis niceAxis(double minimum, double maximum, int maxTicks)
{
    const double low = std::min(minimum, 0.0), high = std::max(maximum, 0.0);
    // Values on both sides of zero need an interval on each side.
    maxTicks = std::max(low < 0 && high > 0 ? 2 : 1, maxTicks);
    if (!(high - low > 1e-300) || !std::isfinite(high - low))
        return ChartAxis { 0, 1, maxTicks >= 5 ? 0.2 : (maxTicks >= 2 ? 0.5 : 1.0) };
    // Steps of a value that is a whole number of steps but for rounding.
    auto steps = [](double value, double step) {
        const double exact = value / step;
        const double whole = std::round(exact);
        return std::abs(exact - whole) < 1e-9 * std::max(1.0, std::abs(whole)) ? whole : exact;
    };
    double magnitude = std::pow(10.0, std::floor(std::log10((high - low) / maxTicks)));
    // Rounding the ends out to whole steps may add an interval; the next nice step then fits.
    for (int attempt = 0; attempt < 40; ++attempt) {
        for (const double factor : { 1.0, 2.0, 5.0 }) {
            const double step = factor * magnitude;
            const double first = std::floor(steps(low, step));
            const double last = std::ceil(steps(high, step));
            if (last - first <= maxTicks)
                return ChartAxis { first * step, last * step, step };
        }
        magnitude *= 10;
    }
    return ChartAxis { low, high, high - low };
}

QString tickText(double value, double step)
{
    if (std::abs(value) < step * 1e-9)
        value = 0; // no "-0" from an accumulated step
    if (std::abs(value) >= 1e15 || step >= 1e15)
        return QString::number(value, 'g', 6);
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 15);
    return QString::number(value, 'f', decimals);
}

ChartGraphic::ChartGraphic(ChartType type, QString title, std::vector<ChartPoint> points, const CellStyle& style)
    : m_type(type)
    , m_title(std::move(title))
    , m_points(std::move(points))
    , m_style(style)
{
}

QStringList ChartGraphic::legendTexts() const
{
    double total = 0;
    for (const ChartPoint& point : m_points)
        total += std::max(0.0, point.value);
    QStringList texts;
    for (const ChartPoint& point : m_points)
        if (point.value > 0)
            texts << QStringLiteral("%1 %2%").arg(point.category, QString::number(100 * point.value / total, 'f', 1));
    return texts;
}

struct ChartGraphic::Geometry {
    QFont font;
    const QPaintDevice* device = nullptr;
    double lineHeight = 0;
    double padding = 0;
    QRectF title; // empty: no title
    QRectF area; // below the title: the pie and its legend, or the axes with their labels
    QRectF plot; // bar and line: the values' area, the axis labels outside it
    ChartAxis axis;
    double slot = 0; // width per category
    double labelLength = 0; // the longest a category label may be
    std::vector<CategoryLabel> labels;

    double yOf(double value) const
    {
        return plot.bottom() - (value - axis.low) / (axis.high - axis.low) * plot.height();
    }
    int tickCount() const { return static_cast<int>(std::lround((axis.high - axis.low) / axis.step)); }
};

ChartGraphic::Geometry ChartGraphic::geometry(
    const QRectF& frame, double pixelsPerMm, double fontScale, const QPaintDevice* device) const
{
    Geometry g;
    g.font = QFont(m_style.fontFamily);
    g.font.setPointSizeF(std::max(0.5, m_style.fontSize * fontScale));
    g.font.setBold(m_style.bold);
    g.font.setItalic(m_style.italic);
    g.device = device;
    const QFontMetricsF metrics = metricsOf(g.font, device);
    g.lineHeight = metrics.height();
    g.padding = pixelsPerMm;
    QRectF inner = frame.adjusted(g.padding, g.padding, -g.padding, -g.padding);
    if (!m_title.isEmpty()) {
        g.title = QRectF(inner.left(), inner.top(), inner.width(), g.lineHeight * 1.3);
        inner.setTop(g.title.bottom() + g.padding / 2);
    }
    g.area = inner;
    if (m_type == ChartType::Pie || inner.width() <= 0 || inner.height() <= 0)
        return g;

    double low = 0, high = 0;
    for (const ChartPoint& point : m_points) {
        low = std::min(low, point.value);
        high = std::max(high, point.value);
    }
    g.axis = niceAxis(low, high, std::clamp(static_cast<int>(inner.height() / (2 * g.lineHeight)), 1, 10));
    double tickWidth = 0;
    for (int tick = 0; tick <= g.tickCount() && tick <= 100; ++tick)
        tickWidth
            = std::max(tickWidth, metrics.horizontalAdvance(tickText(g.axis.low + tick * g.axis.step, g.axis.step)));
    g.plot = inner.adjusted(std::min(tickWidth + g.padding, inner.width() / 3), g.lineHeight / 2, 0, 0);
    const size_t count = std::max<size_t>(1, m_points.size());
    g.slot = g.plot.width() / static_cast<double>(count);

    double longest = 0;
    for (const ChartPoint& point : m_points)
        longest = std::max(longest, metrics.horizontalAdvance(point.category));
    const bool rotated = longest > g.slot * 0.9;
    constexpr double Sin45 = 0.70710678;
    double below = g.lineHeight + g.padding / 2;
    size_t stride = 1;
    if (rotated) {
        // Turned labels stand a line's height apart across their direction, so their anchors need
        // a line's height over sin 45 degrees between them.
        stride = static_cast<size_t>(std::ceil(g.lineHeight / Sin45 / g.slot));
        g.labelLength = std::min(longest, inner.height() * 0.35 / Sin45);
        below = (g.labelLength + g.lineHeight / 2) * Sin45 + g.padding / 2;
    } else {
        g.labelLength = g.slot;
    }
    if (inner.height() - below - g.lineHeight / 2 < 2 * g.lineHeight)
        return g; // too low for labels: the bars alone
    g.plot.setBottom(inner.bottom() - below);
    for (size_t index = 0; index < m_points.size(); index += stride)
        g.labels.push_back(CategoryLabel { static_cast<int>(index),
            QPointF(g.plot.left() + (static_cast<double>(index) + 0.5) * g.slot, g.plot.bottom() + g.padding / 2),
            rotated });
    return g;
}

std::vector<CategoryLabel> ChartGraphic::categoryLabels(
    const QRectF& frame, double pixelsPerMm, double fontScale, const QPaintDevice* device) const
{
    return geometry(frame, pixelsPerMm, fontScale, device).labels;
}

void ChartGraphic::paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double fontScale) const
{
    const Geometry g = geometry(frame, pixelsPerMm, fontScale, painter.device());
    painter.save();
    painter.setClipRect(frame, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setFont(g.font);
    painter.setPen(m_style.color);
    if (!g.title.isEmpty()) {
        QFont titleFont = g.font;
        titleFont.setBold(true);
        titleFont.setPointSizeF(g.font.pointSizeF() * 1.2);
        painter.setFont(titleFont);
        const QString title = metricsOf(titleFont, g.device).elidedText(m_title, Qt::ElideRight, g.title.width());
        painter.drawText(g.title, Qt::AlignHCenter | Qt::AlignVCenter, title);
        painter.setFont(g.font);
    }
    if (g.area.width() > 0 && g.area.height() > 0) {
        if (m_type == ChartType::Pie)
            paintPie(painter, g, pixelsPerMm);
        else
            paintAxes(painter, g);
    }
    painter.restore();
}

void ChartGraphic::paintAxes(QPainter& painter, const Geometry& g) const
{
    const QFontMetricsF metrics = metricsOf(g.font, g.device);
    const double hairline = std::max(1.0, 0.1 * g.padding);
    for (int tick = 0; tick <= g.tickCount() && tick <= 100; ++tick) {
        const double value = g.axis.low + tick * g.axis.step;
        const double y = g.yOf(value);
        painter.setPen(QPen(QColor(0xDD, 0xDD, 0xDD), hairline));
        painter.drawLine(QPointF(g.plot.left(), y), QPointF(g.plot.right(), y));
        painter.setPen(m_style.color);
        painter.drawText(
            QRectF(g.area.left(), y - g.lineHeight / 2, g.plot.left() - g.area.left() - g.padding / 2, g.lineHeight),
            Qt::AlignRight | Qt::AlignVCenter, tickText(value, g.axis.step));
    }

    const QColor series = paletteColor(0);
    if (m_type == ChartType::Bar) {
        const double zero = g.yOf(0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(series);
        for (size_t index = 0; index < m_points.size(); ++index) {
            const double left = g.plot.left() + (static_cast<double>(index) + 0.15) * g.slot;
            const double top = g.yOf(m_points[index].value);
            painter.drawRect(
                QRectF(QPointF(left, std::min(top, zero)), QPointF(left + 0.7 * g.slot, std::max(top, zero))));
        }
    } else if (!m_points.empty()) {
        QPainterPath line;
        for (size_t index = 0; index < m_points.size(); ++index) {
            const QPointF at(g.plot.left() + (static_cast<double>(index) + 0.5) * g.slot, g.yOf(m_points[index].value));
            if (index == 0)
                line.moveTo(at);
            else
                line.lineTo(at);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(series, std::max(1.0, 0.4 * g.padding), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(line);
        const double marker = std::min(0.6 * g.padding, g.slot / 3);
        if (marker >= 1) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(series);
            for (size_t index = 0; index < m_points.size(); ++index)
                painter.drawEllipse(
                    QPointF(g.plot.left() + (static_cast<double>(index) + 0.5) * g.slot, g.yOf(m_points[index].value)),
                    marker, marker);
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(m_style.color, std::max(1.0, 0.2 * g.padding)));
    painter.drawLine(QPointF(g.plot.left(), g.yOf(0)), QPointF(g.plot.right(), g.yOf(0)));
    painter.drawLine(QPointF(g.plot.left(), g.plot.top()), QPointF(g.plot.left(), g.plot.bottom()));

    painter.setPen(m_style.color);
    for (const CategoryLabel& label : g.labels) {
        const QString text
            = metrics.elidedText(m_points[static_cast<size_t>(label.point)].category, Qt::ElideRight, g.labelLength);
        if (!label.rotated) {
            painter.drawText(QRectF(label.anchor.x() - g.slot / 2, label.anchor.y(), g.slot, g.lineHeight),
                Qt::AlignHCenter | Qt::AlignTop, text);
            continue;
        }
        painter.save();
        painter.translate(label.anchor);
        painter.rotate(-45);
        painter.drawText(QRectF(-g.labelLength, -g.lineHeight / 2, g.labelLength, g.lineHeight),
            Qt::AlignRight | Qt::AlignVCenter, text);
        painter.restore();
    }
}

void ChartGraphic::paintPie(QPainter& painter, const Geometry& g, double pixelsPerMm) const
{
    const QRectF& area = g.area;
    const QFontMetricsF metrics = metricsOf(g.font, g.device);
    const double line = metrics.height();
    const QStringList legend = legendTexts();
    double widest = 0;
    for (const QString& text : legend)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    const double swatch = line * 0.7;
    // Beside the pie when the frame is wide, under it when it is tall.
    const bool beside = area.width() >= area.height() * 1.2;
    QRectF legendRect, pieArea;
    if (beside) {
        const double width = std::min(widest + swatch + 2 * pixelsPerMm, area.width() * 0.45);
        legendRect = QRectF(area.right() - width, area.top(), width, area.height());
        pieArea = QRectF(area.left(), area.top(), area.width() - width - pixelsPerMm, area.height());
    } else {
        const double height = std::min(line * static_cast<double>(legend.size()), area.height() * 0.4);
        legendRect = QRectF(area.left(), area.bottom() - height, area.width(), height);
        pieArea = QRectF(area.left(), area.top(), area.width(), area.height() - height - pixelsPerMm);
    }

    double total = 0;
    for (const ChartPoint& point : m_points)
        total += std::max(0.0, point.value);
    const double side = std::min(pieArea.width(), pieArea.height());
    if (side > 0 && total > 0) {
        const QRectF pie(pieArea.center().x() - side / 2, pieArea.center().y() - side / 2, side, side);
        painter.setPen(QPen(Qt::white, std::max(1.0, 0.15 * pixelsPerMm)));
        double before = 0;
        size_t slice = 0;
        for (const ChartPoint& point : m_points) {
            if (point.value <= 0)
                continue;
            // From twelve o'clock clockwise; each slice starts where the sum so far ends, so rounding
            // leaves no gap.
            const double start = 90 - 360 * before / total;
            before += point.value;
            const double end = 90 - 360 * before / total;
            QPainterPath path(pie.center());
            path.arcTo(pie, start, end - start);
            path.closeSubpath();
            painter.setBrush(paletteColor(slice++));
            painter.drawPath(path);
        }
    }

    const int fit = static_cast<int>(legendRect.height() / line);
    const int shown = legend.size() <= fit ? static_cast<int>(legend.size()) : std::max(0, fit - 1);
    const double textWidth = legendRect.width() - swatch - pixelsPerMm;
    for (int entry = 0; entry < shown; ++entry) {
        const double top = legendRect.top() + entry * line;
        painter.setPen(Qt::NoPen);
        painter.setBrush(paletteColor(static_cast<size_t>(entry)));
        painter.drawRect(QRectF(legendRect.left(), top + (line - swatch) / 2, swatch, swatch));
        painter.setPen(m_style.color);
        painter.drawText(QRectF(legendRect.left() + swatch + pixelsPerMm, top, textWidth, line),
            Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(legend[entry], Qt::ElideRight, textWidth));
    }
    if (shown < legend.size() && fit > 0) {
        painter.setPen(m_style.color);
        painter.drawText(QRectF(legendRect.left(), legendRect.top() + shown * line, legendRect.width(), line),
            Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("+%1 more").arg(legend.size() - shown));
    }
}

std::shared_ptr<const PageGraphic> GraphicMaker::chart(const TemplateChart& chart, const CellStyle& style)
{
    std::shared_ptr<const PageGraphic>& made = m_context.scopedGraphic(&chart, chart.source);
    if (made) {
        if (made->kind() != PageGraphic::Kind::Chart)
            return made;
        const auto& same = static_cast<const ChartGraphic&>(*made);
        if (!sameLook(same.style(), style))
            made = std::make_shared<const ChartGraphic>(chart.type, chart.title, same.points(), style);
        return made;
    }

    std::vector<ChartPoint> points;
    QHash<QString, int> indexOf;
    constexpr int Overflow = -1;
    double overflowSum = 0;
    bool overflow = false, notNumber = false, tooLarge = false;
    const bool known = m_context.forEachScopeRow(chart.source, [&](const Scope& row) {
        m_context.scope = row;
        const ExprValue value = m_context.evaluate(*chart.value);
        if (value.type == ExprValue::Empty || (value.type == ExprValue::Text && value.text.trimmed().isEmpty()))
            return; // a value the row lacks or left empty (a null), as in a sum
        double number = 0;
        if (!value.toNumber(number) || !std::isfinite(number)) {
            notNumber = true;
            return;
        }
        const QString category = m_context.evaluate(*chart.category).toText();
        auto found = indexOf.constFind(category);
        if (found == indexOf.constEnd()) {
            const bool full = points.size() + 1 >= static_cast<size_t>(MaxChartPoints);
            found = indexOf.insert(category, full ? Overflow : static_cast<int>(points.size()));
            if (!full)
                points.push_back(ChartPoint { category.left(MaxCategoryChars), 0 });
        }
        double& sum = *found == Overflow ? overflowSum : points[static_cast<size_t>(*found)].value;
        overflow = overflow || *found == Overflow;
        if (std::abs(sum + number) > MaxChartValue) {
            tooLarge = true;
            return;
        }
        sum += number;
    });
    if (!known) {
        m_context.tell(
            QStringLiteral("The data has no detail \"%1\"; its chart prints an empty frame").arg(chart.source));
        return made = emptyFrame();
    }
    if (overflow) {
        points.push_back(ChartPoint { QString(QChar(OverflowCategory)), overflowSum });
        m_context.tell(
            QStringLiteral("The chart \"%1\" has more than %2 categories; those after the %3th are summed into \"%4\"")
                .arg(chartName(chart))
                .arg(MaxChartPoints)
                .arg(MaxChartPoints - 1)
                .arg(QChar(OverflowCategory)));
    }
    if (notNumber)
        m_context.tell(QStringLiteral("The chart \"%1\" leaves out values that are not numbers").arg(chartName(chart)));
    if (tooLarge)
        m_context.tell(QStringLiteral("The chart \"%1\" leaves out values that would take a sum beyond 1e306")
                           .arg(chartName(chart)));
    if (chart.type == ChartType::Pie) {
        const auto positive = std::stable_partition(
            points.begin(), points.end(), [](const ChartPoint& point) { return point.value > 0; });
        if (positive != points.end()) {
            m_context.tell(QStringLiteral("The pie chart \"%1\" leaves out categories whose sum is not above zero")
                               .arg(chartName(chart)));
            points.erase(positive, points.end());
        }
    }
    return made = std::make_shared<const ChartGraphic>(chart.type, chart.title, std::move(points), style);
}

} // namespace vl
