#include "TextView.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace vl
{
namespace
{

// One slice of the line search while the event loop is idle: short against the 100 ms a user
// notices, long enough that the whole of a large text is done in well under a second of slices.
constexpr qint64 SliceNs = 15'000'000;
constexpr int Margin = 4;

bool isSurrogate(char16_t c)
{
    return c >= 0xD800 && c < 0xE000;
}

} // namespace

TextView::TextView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_advances(new float[0x10000]())
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_continue.setInterval(0);
    connect(&m_continue, &QTimer::timeout, this, [this] {
        if (layoutFor(SliceNs))
            m_continue.stop();
        updateScrollBars();
        viewport()->update();
    });
    restartLayout();
}

TextView::~TextView() = default;

void TextView::setPlainText(const QString& text)
{
    m_text = text;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    restartLayout();
}

void TextView::setLineWrapMode(QPlainTextEdit::LineWrapMode mode)
{
    if (mode == m_wrapMode)
        return;
    m_wrapMode = mode;
    restartLayout();
}

qreal TextView::wrapWidth() const
{
    return m_wrapMode == QPlainTextEdit::NoWrap ? 0 : std::max<qreal>(viewport()->width() - 2 * Margin, 1);
}

qreal TextView::advanceOf(char16_t c)
{
    float& known = m_advances[c];
    if (known == 0) {
        const QFontMetricsF metrics(font());
        known = static_cast<float>(metrics.horizontalAdvance(QChar(c)));
        if (known <= 0)
            known = 0.001f; // zero-width characters still count as measured
    }
    return known;
}

void TextView::restartLayout()
{
    m_lineStarts.assign(1, 0);
    m_scanned = 0;
    m_scannedWidth = 0;
    m_lastBreak = -1;
    m_widthAtBreak = 0;
    m_longestLine = 0;
    m_layoutWidth = wrapWidth();
    m_complete = m_text.isEmpty();
    // The first screenful at once, the rest in slices.
    if (!m_complete && !layoutFor(SliceNs))
        m_continue.start();
    else
        m_continue.stop();
    updateScrollBars();
    viewport()->update();
}

bool TextView::layoutFor(qint64 budgetNs)
{
    if (m_complete)
        return true;
    QElapsedTimer timer;
    timer.start();
    const char16_t* text = reinterpret_cast<const char16_t*>(m_text.constData());
    const qsizetype size = m_text.size();
    const qreal width = m_layoutWidth;
    qsizetype i = m_scanned;
    qreal lineWidth = m_scannedWidth;
    while (i < size) {
        // The clock is read once per few thousand characters only.
        const qsizetype stop = std::min(size, i + 4096);
        for (; i < stop; ++i) {
            const char16_t c = text[i];
            if (c == u'\n') {
                m_longestLine = std::max(m_longestLine, lineWidth);
                m_lineStarts.push_back(i + 1);
                lineWidth = 0;
                m_lastBreak = -1;
                continue;
            }
            // A surrogate pair is measured as one character at its first half.
            qreal advance = 0;
            if (isSurrogate(c)) {
                if (c < 0xDC00 && i + 1 < size)
                    advance
                        = QFontMetricsF(font()).horizontalAdvance(QString(reinterpret_cast<const QChar*>(text + i), 2));
            } else {
                advance = advanceOf(c);
            }
            if (width > 0 && lineWidth + advance > width && i > m_lineStarts.back()) {
                // Break after the last blank of the line, else before this character.
                const qsizetype start = m_lastBreak > m_lineStarts.back() ? m_lastBreak : i;
                m_longestLine = std::max(m_longestLine, width);
                lineWidth = start == i ? 0 : lineWidth - m_widthAtBreak;
                m_lineStarts.push_back(start);
                m_lastBreak = -1;
            }
            lineWidth += advance;
            if (c == u' ' || c == u'\t') {
                m_lastBreak = i + 1;
                m_widthAtBreak = lineWidth;
            }
        }
        if (i < size && timer.nsecsElapsed() > budgetNs)
            break;
    }
    m_scanned = i;
    m_scannedWidth = lineWidth;
    if (i >= size) {
        m_longestLine = std::max(m_longestLine, lineWidth);
        m_complete = true;
    }
    return m_complete;
}

qsizetype TextView::lineEnd(qsizetype line) const
{
    const auto next = static_cast<std::size_t>(line) + 1;
    qsizetype end = next < m_lineStarts.size() ? m_lineStarts[next] : (m_complete ? m_text.size() : m_scanned);
    if (end > m_lineStarts[static_cast<std::size_t>(line)] && end <= m_text.size() && m_text.at(end - 1) == u'\n')
        --end;
    return end;
}

QString TextView::lineText(qsizetype line) const
{
    if (line < 0 || line >= knownLineCount())
        return {};
    const qsizetype start = m_lineStarts[static_cast<std::size_t>(line)];
    return m_text.mid(start, lineEnd(line) - start);
}

void TextView::updateScrollBars()
{
    const int lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    const int visible = std::max(1, (viewport()->height() - 2 * Margin) / lineHeight);
    qsizetype lines = knownLineCount();
    if (!m_complete && m_scanned > 0) {
        // The rest of the text is taken to break like the part seen so far.
        const double perLine = static_cast<double>(m_scanned) / static_cast<double>(lines);
        lines += static_cast<qsizetype>(static_cast<double>(m_text.size() - m_scanned) / std::max(perLine, 1.0));
    }
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, static_cast<int>(std::min<qsizetype>(std::max<qsizetype>(lines - visible, 0), INT_MAX)));
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    QScrollBar* horizontal = horizontalScrollBar();
    const int overflow = m_wrapMode == QPlainTextEdit::NoWrap ? static_cast<int>(std::min<qreal>(
                             std::max<qreal>(m_longestLine - viewport()->width() + 2 * Margin, 0), INT_MAX))
                                                              : 0;
    horizontal->setRange(0, overflow);
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(std::max(1, QFontMetrics(font()).averageCharWidth()));
}

void TextView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetricsF metrics(font());
    const qreal lineHeight = std::max<qreal>(1, QFontMetrics(font()).lineSpacing());
    const qsizetype first = verticalScrollBar()->value();
    const auto count = static_cast<qsizetype>(std::ceil(viewport()->height() / lineHeight)) + 1;
    // A view scrolled beyond the lines found so far waits for them, one slice per paint.
    if (!m_complete && first + count >= knownLineCount())
        layoutFor(SliceNs);
    const qreal xOffset = Margin - horizontalScrollBar()->value();
    for (qsizetype line = first; line < first + count && line < knownLineCount(); ++line) {
        qsizetype start = m_lineStarts[static_cast<std::size_t>(line)];
        const qsizetype end = lineEnd(line);
        qreal x = xOffset;
        // Without wrapping only the part of a long line from the left edge on is drawn.
        while (x < 0 && start < end) {
            const qreal advance = advanceOf(m_text.at(start).unicode());
            if (x + advance > 0)
                break;
            x += advance;
            ++start;
        }
        qsizetype stop = start;
        for (qreal right = x; stop < end && right < viewport()->width(); ++stop)
            right += advanceOf(m_text.at(stop).unicode());
        const qreal y = Margin + static_cast<qreal>(line - first) * lineHeight + metrics.ascent();
        painter.drawText(QPointF(x, y), m_text.mid(start, stop - start));
    }
}

void TextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (wrapWidth() != m_layoutWidth)
        restartLayout();
    else
        updateScrollBars();
}

void TextView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        std::fill(m_advances.get(), m_advances.get() + 0x10000, 0.0f);
        restartLayout();
    }
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* vertical = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Home:
        vertical->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case Qt::Key_End:
        vertical->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    viewport()->update();
}

bool TextView::focusNextPrevChild(bool next)
{
    // A tab typed into the box stays in it unless the box passes tabs on.
    return m_tabChangesFocus ? QAbstractScrollArea::focusNextPrevChild(next) : false;
}

} // namespace vl
