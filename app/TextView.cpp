#include "TextView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
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

bool isHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c < 0xDC00;
}

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c < 0xE000;
}

// Text a key types: no control characters, which Ctrl with a letter gives.
bool isTypedText(const QString& text)
{
    if (text.isEmpty())
        return false;
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

} // namespace

TextView::TextView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_advances(new float[0x10000]())
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, true);
    viewport()->setCursor(Qt::IBeamCursor);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_caretShown = !m_caretShown;
        viewport()->update();
    });
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
    m_caret = 0;
    m_goalX = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    restartLayout();
}

void TextView::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
    restartBlink();
    viewport()->update();
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
    m_layoutWork += i - m_scanned;
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
    // The caret, where its line is known already; painting does not wait for more.
    if (hasFocus() && !m_readOnly && m_caretShown && (m_complete || m_lineStarts.back() > m_caret)) {
        const auto after = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), m_caret);
        const qsizetype line = static_cast<qsizetype>(after - m_lineStarts.begin()) - 1;
        if (line >= first && line < first + count) {
            const qreal top = Margin + static_cast<qreal>(line - first) * lineHeight;
            painter.fillRect(
                QRectF(xOffset + xInLine(line, m_caret), top, 1, lineHeight), palette().color(QPalette::Text));
        }
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

qreal TextView::advanceAt(qsizetype offset)
{
    // As the line search measures: a surrogate pair at its first half.
    const char16_t c = m_text.at(offset).unicode();
    if (!isSurrogate(c))
        return advanceOf(c);
    if (c < 0xDC00 && offset + 1 < m_text.size())
        return QFontMetricsF(font()).horizontalAdvance(m_text.mid(offset, 2));
    return 0;
}

qsizetype TextView::characterLength(qsizetype offset) const
{
    return offset + 1 < m_text.size() && isHighSurrogate(m_text.at(offset).unicode())
            && isLowSurrogate(m_text.at(offset + 1).unicode())
        ? 2
        : 1;
}

qsizetype TextView::previousCharacter(qsizetype offset) const
{
    return offset >= 2 && isLowSurrogate(m_text.at(offset - 1).unicode())
            && isHighSurrogate(m_text.at(offset - 2).unicode())
        ? offset - 2
        : offset - 1;
}

qsizetype TextView::lineOf(qsizetype offset)
{
    // The last line found may still be broken further on, so its start is not enough.
    while (!m_complete && m_lineStarts.back() <= offset)
        layoutFor(SliceNs);
    const auto after = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
    return static_cast<qsizetype>(after - m_lineStarts.begin()) - 1;
}

qsizetype TextView::caretEnd(qsizetype line) const
{
    const auto next = static_cast<std::size_t>(line) + 1;
    const qsizetype start = m_lineStarts[static_cast<std::size_t>(line)];
    if (next < m_lineStarts.size() && m_lineStarts[next] > start && m_text.at(m_lineStarts[next] - 1) != u'\n')
        return previousCharacter(m_lineStarts[next]);
    return lineEnd(line);
}

qreal TextView::xInLine(qsizetype line, qsizetype offset)
{
    qreal x = 0;
    for (qsizetype i = m_lineStarts[static_cast<std::size_t>(line)]; i < offset; ++i)
        x += advanceAt(i);
    return x;
}

qsizetype TextView::offsetAtX(qsizetype line, qreal x)
{
    const qsizetype end = caretEnd(line);
    qsizetype i = m_lineStarts[static_cast<std::size_t>(line)];
    qreal left = 0;
    while (i < end) {
        const qreal advance = advanceAt(i);
        // The caret goes to the nearer edge of the character under the point.
        if (left + advance / 2 > x)
            break;
        left += advance;
        i += characterLength(i);
    }
    return std::min(i, std::max(end, m_lineStarts[static_cast<std::size_t>(line)]));
}

int TextView::visibleLines() const
{
    const int lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    return std::max(1, (viewport()->height() - 2 * Margin) / lineHeight);
}

void TextView::setCursorPosition(qsizetype position)
{
    moveCaret(position);
}

void TextView::moveCaret(qsizetype position, bool keepGoalX)
{
    m_caret = std::clamp<qsizetype>(position, 0, m_text.size());
    if (!keepGoalX)
        m_goalX = -1;
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
}

void TextView::ensureCaretVisible()
{
    const qsizetype line = lineOf(m_caret);
    updateScrollBars();
    QScrollBar* vertical = verticalScrollBar();
    const int visible = visibleLines();
    if (line < vertical->value())
        vertical->setValue(static_cast<int>(std::min<qsizetype>(line, INT_MAX)));
    else if (line >= vertical->value() + visible)
        vertical->setValue(static_cast<int>(std::min<qsizetype>(line - visible + 1, INT_MAX)));
    if (m_wrapMode == QPlainTextEdit::NoWrap) {
        QScrollBar* horizontal = horizontalScrollBar();
        const qreal x = xInLine(line, m_caret);
        const int width = std::max(1, viewport()->width() - 2 * Margin);
        if (x < horizontal->value())
            horizontal->setValue(static_cast<int>(x));
        else if (x >= horizontal->value() + width)
            horizontal->setValue(static_cast<int>(std::ceil(x)) - width + 1);
    }
}

QRect TextView::cursorRect()
{
    const qsizetype line = lineOf(m_caret);
    const int lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    const qreal x = Margin - horizontalScrollBar()->value() + xInLine(line, m_caret);
    const qsizetype top = Margin + (line - verticalScrollBar()->value()) * lineHeight;
    return QRect(static_cast<int>(std::floor(x)),
        static_cast<int>(std::clamp<qsizetype>(top, INT_MIN / 2, INT_MAX / 2)), 1, lineHeight);
}

void TextView::replace(qsizetype position, qsizetype removed, const QString& inserted)
{
    if (m_readOnly || (removed == 0 && inserted.isEmpty()))
        return;
    if (m_complete || position < m_scanned) {
        // Lines before the edited one keep their starts. A wrapped line before it is redone too:
        // its break was decided by the first word of the edited line.
        auto line = static_cast<std::size_t>(
            std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), position) - m_lineStarts.begin() - 1);
        if (line > 0 && m_text.at(m_lineStarts[line] - 1) != u'\n')
            --line;
        m_lineStarts.resize(line + 1);
        m_scanned = m_lineStarts[line];
        m_scannedWidth = 0;
        m_lastBreak = -1;
        m_widthAtBreak = 0;
        m_complete = false;
    }
    m_text.replace(position, removed, inserted);
    m_caret = position + inserted.size();
    m_goalX = -1;
    if (!layoutFor(SliceNs))
        m_continue.start();
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
}

void TextView::restartBlink()
{
    m_caretShown = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && !m_readOnly && flash > 0)
        m_blink.start(flash / 2);
    else
        m_blink.stop();
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    const qsizetype size = m_text.size();
    switch (event->key()) {
    case Qt::Key_Left:
        moveCaret(m_caret > 0 ? previousCharacter(m_caret) : 0);
        return;
    case Qt::Key_Right:
        moveCaret(m_caret < size ? m_caret + characterLength(m_caret) : size);
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const qsizetype line = lineOf(m_caret);
        if (m_goalX < 0)
            m_goalX = xInLine(line, m_caret);
        const bool page = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown;
        const bool down = event->key() == Qt::Key_Down || event->key() == Qt::Key_PageDown;
        const qsizetype step = page ? visibleLines() : 1;
        const qsizetype target = down ? line + step : line - step;
        if (page)
            verticalScrollBar()->triggerAction(
                down ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
        while (!m_complete && target + 1 >= knownLineCount())
            layoutFor(SliceNs);
        if (target < 0)
            moveCaret(0);
        else if (target >= knownLineCount())
            moveCaret(size);
        else
            moveCaret(offsetAtX(target, m_goalX), true);
        return;
    }
    case Qt::Key_Home:
        moveCaret(control ? 0 : lineStart(lineOf(m_caret)));
        return;
    case Qt::Key_End:
        moveCaret(control ? size : caretEnd(lineOf(m_caret)));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_readOnly)
            break;
        replace(m_caret, 0, QStringLiteral("\n"));
        return;
    case Qt::Key_Backspace:
        if (m_readOnly)
            break;
        if (m_caret > 0) {
            const qsizetype from = previousCharacter(m_caret);
            replace(from, m_caret - from, {});
        }
        return;
    case Qt::Key_Delete:
        if (m_readOnly)
            break;
        if (m_caret < size)
            replace(m_caret, characterLength(m_caret), {});
        return;
    case Qt::Key_Tab:
        // Only reached when the box keeps its tabs.
        if (m_readOnly || m_tabChangesFocus)
            break;
        replace(m_caret, 0, QStringLiteral("\t"));
        return;
    default:
        if (!m_readOnly && isTypedText(event->text())) {
            replace(m_caret, 0, event->text());
            return;
        }
        break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void TextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const qreal lineHeight = std::max<qreal>(1, QFontMetrics(font()).lineSpacing());
    const qsizetype row = static_cast<qsizetype>(std::floor((event->position().y() - Margin) / lineHeight));
    const qsizetype line = std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, knownLineCount() - 1);
    moveCaret(offsetAtX(line, event->position().x() - Margin + horizontalScrollBar()->value()));
}

void TextView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    viewport()->update();
}

void TextView::inputMethodEvent(QInputMethodEvent* event)
{
    if (!m_readOnly && !event->commitString().isEmpty())
        replace(m_caret, 0, event->commitString());
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return !m_readOnly;
    case Qt::ImCursorRectangle:
        return const_cast<TextView*>(this)->cursorRect();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

bool TextView::focusNextPrevChild(bool next)
{
    // A tab typed into the box stays in it unless the box passes tabs on.
    return m_tabChangesFocus ? QAbstractScrollArea::focusNextPrevChild(next) : false;
}

} // namespace vl
