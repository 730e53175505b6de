#include "ReportPainter.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <QThread>
#include <QThreadStorage>

#include <memory>
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

namespace vl {

namespace {

// Large faint text turned about the page's middle, under everything else on the page.
void paintWatermark(QPainter& painter, const Watermark& watermark, QSizeF paper, QPointF origin, double pixelsPerMm,
                    double fontScale)
{
    painter.save();
    painter.setOpacity(watermark.opacity);
    QFont font;
    font.setPointSizeF(std::max(0.5, watermark.size * fontScale));
    painter.setFont(font);
    painter.setPen(watermark.color);
    painter.translate(origin.x() + paper.width() * pixelsPerMm / 2, origin.y() + paper.height() * pixelsPerMm / 2);
    painter.rotate(-watermark.angle);
    const QRectF bounds = QFontMetricsF(font).boundingRect(watermark.text);
    painter.drawText(QPointF(-bounds.width() / 2, bounds.height() / 4), watermark.text);
    painter.restore();
}

// One line of text as QPainter::drawText(rect, flags, text) lays it out, kept for the next time
// the same text comes in the same font: most cells of a report repeat a few texts (captions,
// codes, dates, amounts), and Qt's shaping and line layout were two thirds of the PDF's time.
struct LaidOutLine {
    QTextLayout layout;
    double naturalWidth = 0, advance = 0, height = 0;
};

// The lines of one font on one device, and its measures in device pixels (asking Qt for them
// took 30 000 instructions for every font set).
struct FontLines {
    QFont font;
    QHash<QString, std::shared_ptr<LaidOutLine>> lines;
    double charBound = 0; // the wider of its widest character and its height
    double lineHeight = 0;
    // Hashes of texts met once, open addressing (0: free): a text is laid out to be kept only when
    // it comes again, since keeping one costs more than QPainter's own drawing of a text met once
    // (names, numbers).
    std::vector<quint32> seen = std::vector<quint32>(SeenSlots);
    int seenCount = 0;
    static constexpr size_t SeenSlots = 1 << 14;

    // True when `text` was met before; notes it otherwise.
    bool metBefore(const QString& text)
    {
        const quint32 hash = static_cast<quint32>(qHash(text)) | 1;
        for (size_t slot = hash & (SeenSlots - 1);; slot = (slot + 1) & (SeenSlots - 1)) {
            if (seen[slot] == hash)
                return true;
            if (seen[slot] == 0) {
                if (++seenCount > static_cast<int>(SeenSlots / 2)) {
                    std::fill(seen.begin(), seen.end(), 0);
                    seenCount = 1;
                    slot = hash & (SeenSlots - 1);
                }
                seen[slot] = hash;
                return false;
            }
        }
    }
};

class LineCache {
public:
    // `font` resolved for `device`, which may be null.
    FontLines& linesFor(const QFont& font, const QPaintDevice* device)
    {
        const int dpi = device ? device->logicalDpiY() : 0;
        std::unique_ptr<FontLines>& lines = m_fonts[font.key() + u'@' + QString::number(dpi)];
        if (!lines) {
            lines = std::make_unique<FontLines>();
            lines->font = device ? QFont(font, device) : font;
            const QFontMetricsF metrics(font, device);
            lines->charBound = std::max(metrics.maxWidth(), metrics.height());
            lines->lineHeight = metrics.height();
        }
        return *lines;
    }
    // Null when the text is not one plain line or is met for the first time; the entry stays valid
    // until the next call.
    const LaidOutLine* line(FontLines& font, const QString& text)
    {
        auto& lines = font.lines;
        if (auto found = lines.constFind(text); found != lines.constEnd())
            return found->get();
        if (!font.metBefore(text))
            return nullptr;
        // A bound on what is kept: long reports repeat a few texts and pass through many more.
        if (++m_count > MaxLines) {
            for (auto& [key, fontLines] : m_fonts)
                fontLines->lines.clear();
            m_count = 1;
        }
        auto entry = std::make_shared<LaidOutLine>();
        QTextLayout& layout = entry->layout;
        layout.setText(text);
        layout.setFont(font.font);
        QTextOption option;
        option.setWrapMode(QTextOption::ManualWrap);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        QTextLine first = layout.createLine();
        if (first.isValid()) {
            // As wide as QPainter lays an unwrapped line out.
            first.setLineWidth(0x01000000);
            first.setPosition(QPointF(0, 0));
        }
        const bool oneLine = first.isValid() && !layout.createLine().isValid();
        layout.endLayout();
        if (oneLine) {
            entry->naturalWidth = first.naturalTextWidth();
            entry->advance = first.horizontalAdvance();
            entry->height = first.ascent() + first.descent(); // QTextLine::height() rounds it up
        } else {
            entry.reset();
        }
        return lines.insert(text, std::move(entry))->get();
    }

private:
    static constexpr int MaxLines = 4096;
    std::unordered_map<QString, std::unique_ptr<FontLines>> m_fonts;
    int m_count = 0;
};

// One per painting thread, in Qt's thread storage rather than the language's: this unit lives in a
// plug-in the program loads, and a thread_local of a loaded module left LeakSanitizer's scan of the
// main thread at exit reading freed module storage.
QThreadStorage<LineCache*> t_lineCache;

// Fonts must go before the application does: the main thread's lines go with it.
void dropLineCache()
{
    t_lineCache.setLocalData(nullptr); // deletes the old one
}

LineCache& threadLineCache()
{
    if (!t_lineCache.hasLocalData() || !t_lineCache.localData()) {
        t_lineCache.setLocalData(new LineCache);
        if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
            qAddPostRoutine(dropLineCache);
    }
    return *t_lineCache.localData();
}

// Texts QPainter would lay out as they are: no line breaks, tabs or other controls (which it turns
// into separators or stops), no white space at either end (which right alignment treats apart).
bool plainLine(const QString& text)
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f) || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator || c.category() == QChar::Other_Format || c.direction() == QChar::DirR
            || c.direction() == QChar::DirAL)
            return false;
    return true;
}

// Where QPainter::drawText(rect, flags, text) draws `line`; none when it would clip it.
std::optional<QPointF> linePosition(const LaidOutLine& line, const QRectF& rect, int flags)
{
    double y = 0;
    if (flags & Qt::AlignBottom)
        y = rect.height() - line.height;
    else if (flags & Qt::AlignVCenter)
        y = (rect.height() - line.height) / 2;
    double boundsX = 0, x = 0;
    if (flags & Qt::AlignRight) {
        boundsX = rect.width() - line.naturalWidth;
        x = rect.width() - line.advance;
    } else if (flags & Qt::AlignHCenter) {
        boundsX = (rect.width() - line.naturalWidth) / 2;
        x = (rect.width() - line.advance) / 2;
    }
    if (!rect.contains(QRectF(rect.x() + boundsX, rect.y() + y, line.naturalWidth, line.height)))
        return std::nullopt;
    return QPointF(rect.x() + x, rect.y() + y);
}

} // namespace

void paintPage(QPainter& painter, const LaidOutPage& page, QPointF origin, double pixelsPerMm)
{
    painter.save();
    // Point sizes follow the device's own dpi; scale them so that text keeps its size relative to the paper.
    const double deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 96.0;
    const double fontScale = pixelsPerMm * 25.4 / deviceDpi;
    const double penWidth = std::max(1.0, 0.2 * pixelsPerMm);
    // Cells of a page share a few fonts: a new QFont for every cell made Qt look its face up again
    // each time (a sixth of the PDF's time).
    const CellStyle* fontStyle = nullptr;
    double charBound = 0, lineHeight = 0; // of the font set last, device pixels
    // The pen set last: a text colour, or the borders' (valid borderPen).
    std::optional<QColor> textPen;
    bool borderPen = false;
    LineCache& lineCache = threadLineCache();
    FontLines* fontLines = nullptr; // of the font set last; null: its text goes through QPainter
    if (page.watermark)
        paintWatermark(painter, *page.watermark, page.paper, origin, pixelsPerMm, fontScale);
    for (const PageItem& item : page.items) {
        const QRectF rect(origin.x() + item.rect.x() * pixelsPerMm, origin.y() + item.rect.y() * pixelsPerMm,
                          item.rect.width() * pixelsPerMm, item.rect.height() * pixelsPerMm);
        const CellStyle& style = item.style;
        if (style.background.isValid())
            painter.fillRect(rect, style.background);
        if (item.graphic) {
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            item.graphic->paint(painter, rect, pixelsPerMm, fontScale);
            painter.restore();
        } else if (!item.text.isEmpty()) {
            if (!fontStyle || fontStyle->fontFamily != style.fontFamily || fontStyle->fontSize != style.fontSize
                || fontStyle->bold != style.bold || fontStyle->italic != style.italic
                || fontStyle->underline != style.underline) {
                QFont font(style.fontFamily);
                font.setPointSizeF(std::max(0.5, style.fontSize * fontScale));
                font.setBold(style.bold);
                font.setItalic(style.italic);
                font.setUnderline(style.underline);
                painter.setFont(font);
                fontStyle = &style;
                FontLines& lines = lineCache.linesFor(painter.font(), painter.device());
                charBound = lines.charBound;
                lineHeight = lines.lineHeight;
                // Underlines are drawn by QPainter after the line, merged: left to it.
                fontLines = style.underline || painter.layoutDirection() == Qt::RightToLeft ? nullptr : &lines;
            }
            if (!textPen || *textPen != style.color) {
                painter.setPen(style.color);
                textPen = style.color;
                borderPen = false;
            }
            const double padding = 0.8 * pixelsPerMm;
            const QRectF textRect = rect.adjusted(padding, 0, -padding, 0);
            const int flags = static_cast<int>(style.alignment) | (style.wrap ? Qt::TextWordWrap : 0);
            // A line that fits even if every character were the widest needs no clip, which is most
            // cells: saving the painter and clipping cost a tenth of the PDF's time.
            const bool fits = item.text.size() * charBound <= textRect.width() && lineHeight <= rect.height()
                           && !item.text.contains(u'\n');
            const LaidOutLine* line = fontLines && !(flags & (Qt::TextWordWrap | Qt::AlignJustify)) && plainLine(item.text)
                                        ? lineCache.line(*fontLines, item.text)
                                        : nullptr;
            const std::optional<QPointF> at = line ? linePosition(*line, textRect, flags) : std::nullopt;
            if (!fits) {
                painter.save();
                painter.setClipRect(rect, Qt::IntersectClip);
            }
            if (at)
                line->layout.lineAt(0).draw(&painter, *at);
            else
                painter.drawText(textRect, flags, item.text);
            if (!fits)
                painter.restore();
        }
        if (style.borders) {
            if (!borderPen) {
                painter.setPen(QPen(Qt::black, penWidth));
                borderPen = true;
                textPen.reset();
            }
            QLineF lines[4];
            int count = 0;
            if (style.borders & BorderLeft)
                lines[count++] = QLineF(rect.topLeft(), rect.bottomLeft());
            if (style.borders & BorderTop)
                lines[count++] = QLineF(rect.topLeft(), rect.topRight());
            if (style.borders & BorderRight)
                lines[count++] = QLineF(rect.topRight(), rect.bottomRight());
            if (style.borders & BorderBottom)
                lines[count++] = QLineF(rect.bottomLeft(), rect.bottomRight());
            painter.drawLines(lines, count);
        }
    }
    painter.restore();
}

bool printReport(const LaidOutReport& report, QPagedPaintDevice& device)
{
    return printReport(report, device, 1, static_cast<int>(report.pages.size()));
}

bool printReport(const LaidOutReport& report, QPagedPaintDevice& device, int firstPage, int lastPage)
{
    const size_t first = static_cast<size_t>(std::max(1, firstPage) - 1);
    const size_t last = std::min(report.pages.size(), static_cast<size_t>(std::max(0, lastPage)));
    device.setPageSize(QPageSize(report.page.paper, QPageSize::Millimeter));
    device.setPageOrientation(QPageLayout::Portrait); // the paper size already follows the orientation
    device.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double pixelsPerMm = device.logicalDpiX() / 25.4;
    // A printer that keeps unprintable margins puts the page origin inside them; place pages on the paper.
    const QRectF paint = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QPointF origin(-paint.left(), -paint.top());
    for (size_t index = first; index < last; ++index) {
        if (index > first && !device.newPage()) {
            painter.end();
            return false;
        }
        paintPage(painter, report.pages[index], origin, pixelsPerMm);
    }
    return painter.end();
}

} // namespace vl
