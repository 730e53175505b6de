#include "PdfWriter.h"

#include "PdfFont_p.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QRawFont>
#include <QTextLayout>
#include <QUrl>

#include <zlib.h>

#include <cmath>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vl {
namespace {

constexpr double PointsPerUnit = 72.0 / PdfWriter::Resolution;
constexpr qsizetype FlushBytes = 256 * 1024;
// From this many rectangles in one call, drawRects writes them under the painter's own scale.
constexpr int ScaledRectsAtLeast = 8;
// A form is drawn at least this many device units across, so that a small first use leaves later, larger
// uses their detail; and at most MaxFormUnits (some 4 m), beyond which a drawing is painted as it comes.
constexpr double MinFormUnits = 2400, MaxFormUnits = 200000;
constexpr int MaxFormDepth = 4;

// Numbers of content streams: whole device units (1/1200 inch) are fine enough, colours take three
// decimals.
void appendNumber(QByteArray& out, double value, int decimals = 0)
{
    static constexpr long long Scales[] = {1, 10, 100, 1000, 10000};
    const long long scale = Scales[decimals];
    long long scaled = std::llround(value * static_cast<double>(scale));
    if (scaled < 0) {
        out.append('-');
        scaled = -scaled;
    }
    char digits[32];
    char text[40];
    int length = 0, used = 0;
    long long whole = scaled / scale;
    long long fraction = scaled % scale;
    do {
        digits[length++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole);
    while (length)
        text[used++] = digits[--length];
    if (fraction) {
        text[used++] = '.';
        for (long long unit = scale / 10; unit && fraction; unit /= 10) {
            text[used++] = static_cast<char>('0' + fraction / unit);
            fraction %= unit;
        }
    }
    text[used++] = ' ';
    out.append(text, used);
}

void appendHex4(QByteArray& out, quint32 value)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const char digits[4] = {Hex[(value >> 12) & 15], Hex[(value >> 8) & 15], Hex[(value >> 4) & 15], Hex[value & 15]};
    out.append(digits, 4);
}

// A text string of the document (title, outline entry): UTF-16BE with its byte-order mark.
QByteArray textString(const QString& text)
{
    QByteArray out = "<FEFF";
    for (const QChar c : text)
        appendHex4(out, c.unicode());
    return out + '>';
}

QByteArray deflated(const QByteArray& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    // On the sample's pages level 4 is 2 % larger than 6 in 40 % of the time; 1 to 3 are 20 to 30 %
    // larger, since lazy matching starts at 4.
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                  static_cast<uLong>(data.size()), 4)
        != Z_OK)
        return {};
    out.resize(static_cast<qsizetype>(size));
    return out;
}

// Characters whose glyph is their cmap glyph, one for one, and that need no shaping: Latin, Greek,
// Cyrillic without combining marks, punctuation and the CJK blocks. Anything else goes through
// Qt's shaping.
bool plainText(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x0300 || (u >= 0x0370 && u < 0x0483) || (u >= 0x048A && u < 0x0590) || (u >= 0x2010 && u < 0x2028)
            || (u >= 0x2030 && u < 0x205F) || (u >= 0x20A0 && u < 0x20D0) || (u >= 0x2100 && u < 0x2800)
            || (u >= 0x2E80 && u < 0xA000) || (u >= 0xAC00 && u < 0xD7A4) || (u >= 0xF900 && u < 0xFB00)
            || (u >= 0xFF00 && u < 0xFFF0))
            continue;
        return false;
    }
    return true;
}

// The rectangle a path of one closed upright rectangle covers (every cell's clip); nullopt otherwise.
std::optional<QRectF> uprightRect(const QPainterPath& path)
{
    const int count = path.elementCount();
    if (count != 4 && count != 5)
        return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        const QPointF a = path.elementAt(i), b = path.elementAt((i + 1) % 4);
        if (path.elementAt(i).type == QPainterPath::CurveToElement || (a.x() != b.x() && a.y() != b.y()))
            return std::nullopt;
    }
    if (count == 5 && QPointF(path.elementAt(4)) != QPointF(path.elementAt(0)))
        return std::nullopt;
    return path.controlPointRect();
}

// The lines drawn since the stroke last changed, as a set of keys: open addressing, emptied in
// constant time by a new stamp (a node set's allocations were most of drawing a line).
class LineSet {
public:
    void clear()
    {
        ++m_stamp;
        m_count = 0;
    }
    // False when the key is in the set already.
    bool insert(quint64 key)
    {
        if ((m_count + 1) * 2 > m_keys.size())
            grow();
        size_t at = slot(key);
        while (m_stamps[at] == m_stamp) {
            if (m_keys[at] == key)
                return false;
            at = (at + 1) & (m_keys.size() - 1);
        }
        m_stamps[at] = m_stamp;
        m_keys[at] = key;
        ++m_count;
        return true;
    }

private:
    size_t slot(quint64 key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) & (m_keys.size() - 1); }
    void grow()
    {
        std::vector<quint64> keys = std::move(m_keys);
        std::vector<quint32> stamps = std::move(m_stamps);
        m_keys.assign(std::max<size_t>(1024, keys.size() * 2), 0);
        m_stamps.assign(m_keys.size(), 0);
        const quint32 stamp = m_stamp;
        m_stamp = 1;
        m_count = 0;
        for (size_t i = 0; i < keys.size(); ++i)
            if (stamps[i] == stamp)
                insert(keys[i]);
    }

    std::vector<quint64> m_keys;
    std::vector<quint32> m_stamps;
    quint32 m_stamp = 1;
    size_t m_count = 0;
};

struct Clip {
    bool enabled = false;
    std::optional<QRectF> rect; // device units; set when the clip is one upright rectangle
    QPainterPath path; // device units; used when rect is unset
    quint64 serial = 0; // tells one clip from another
};

// What the content stream has set since its last q or the page's start.
struct GraphicsState {
    QRgb fill = qRgb(0, 0, 0), stroke = qRgb(0, 0, 0);
    double lineWidth = 1;
    int cap = 0, join = 0, alpha = 255;
    int textRender = 0; // 2: glyphs stroked too, for a bold the face lacks
    QByteArray fontName; // with fontSize, the last Tf
    double fontSize = 0;
};

class PdfPageDevice;

// A face at one pixel size: its resource name and the advances Qt laid its glyphs out with, which
// the PDF's widths must repeat for text to land where Qt put it.
struct SizedFont {
    PdfFont* face = nullptr;
    QByteArray name;
    std::vector<float> widths; // thousandths of the em, by glyph id; negative: not used at this size

    void setWidth(quint32 glyph, double width)
    {
        if (glyph >= widths.size())
            widths.resize(glyph + 1024, -1.0f);
        if (widths[glyph] < 0)
            widths[glyph] = static_cast<float>(std::max(0.0, width));
    }
    double width(quint32 glyph) const { return glyph < widths.size() ? std::max(0.0f, widths[glyph]) : 0.0; }
};

} // namespace

class PdfWriterPrivate {
public:
    explicit PdfWriterPrivate(QIODevice& device) : m_device(device) {}

    int reserveObject()
    {
        m_offsets.push_back(-1);
        return static_cast<int>(m_offsets.size());
    }
    void beginObject(int number)
    {
        m_offsets[static_cast<size_t>(number - 1)] = m_written + m_buffer.size();
        m_buffer += QByteArray::number(number) + " 0 obj\n";
    }
    void endObject() { m_buffer += "\nendobj\n"; }
    void writeObject(int number, const QByteArray& body)
    {
        beginObject(number);
        m_buffer += body;
        endObject();
        flushIfFull();
    }
    void writeStream(int number, const QByteArray& dictionary, const QByteArray& data)
    {
        writePackedStream(number, dictionary, data, deflated(data));
    }
    // `packed`: the data deflated, or empty when that failed and the data go as they are.
    void writePackedStream(int number, const QByteArray& dictionary, const QByteArray& data, const QByteArray& packed)
    {
        const QByteArray& body = packed.isEmpty() ? data : packed;
        beginObject(number);
        m_buffer += "<< " + dictionary + (packed.isEmpty() ? "" : " /Filter /FlateDecode") + " /Length "
                  + QByteArray::number(body.size()) + " >>\nstream\n";
        m_buffer += body;
        m_buffer += "\nendstream";
        endObject();
        flushIfFull();
    }
    void flushIfFull()
    {
        if (m_buffer.size() >= FlushBytes)
            flush();
    }
    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        if (m_device.write(m_buffer) != m_buffer.size())
            m_failed = true;
        m_written += m_buffer.size();
        m_buffer.clear();
    }

    SizedFont& fontFor(const QRawFont& raw);
    QByteArray imageName(const QImage& image, qint64 key);
    QByteArray alphaName(int alpha);
    void finishPage(QByteArray content);
    void writeLastPage();
    bool finish();

    QIODevice& m_device;
    PdfInfo m_info;
    QByteArray m_buffer;
    qint64 m_written = 0;
    bool m_failed = false, m_finished = false;
    std::vector<qint64> m_offsets; // by object number - 1
    int m_catalog = 0, m_pageTree = 0, m_resources = 0;
    std::vector<int> m_pageObjects;
    // The page finished last, its content being deflated on another thread while the next page is
    // painted (deflate took a fifth of the writing time).
    struct PendingPage {
        int contents = 0, page = 0;
        QByteArray content, dictionary;
        std::future<QByteArray> packed;
    };
    std::optional<PendingPage> m_lastPage;
    QSizeF m_paper; // points, of the page being painted
    std::vector<QByteArray> m_annotations; // of the page being painted
    bool m_painting = false;

    // By family, style, weight and italic: one embedded program per face whatever the sizes used.
    std::map<QString, std::unique_ptr<PdfFont>> m_faces;
    // By face and pixel size (1/64 pixels), in the order first used.
    std::map<std::pair<QString, int>, std::unique_ptr<SizedFont>> m_fonts;
    std::map<qint64, QByteArray> m_images; // by the image's cache key
    QByteArray m_imageResources;
    std::map<int, QByteArray> m_alphas;
    // Drawings stored once as form objects, by the caller's key: the name and the size they were drawn at.
    struct Form {
        QByteArray name;
        QSizeF size;
    };
    std::map<quint64, Form> m_forms;
    int m_formDepth = 0; // forms being drawn inside one another

    struct OutlineEntry {
        QString title;
        int page;
        double top; // points from the page's bottom
    };
    std::vector<OutlineEntry> m_outline;
    std::unique_ptr<PdfPageDevice> m_pageDevice;
};

namespace {

class PdfPaintEngine : public QPaintEngine {
public:
    // A form's engine paints a drawing stored once rather than a page.
    PdfPaintEngine(PdfWriterPrivate& writer, bool form) : QPaintEngine(AllFeatures), m_writer(writer), m_form(form) {}

    bool begin(QPaintDevice* device) override;
    bool end() override;
    void updateState(const QPaintEngineState& state) override;
    void drawPath(const QPainterPath& path) override;
    void drawRects(const QRectF* rects, int count) override;
    void drawLines(const QLineF* lines, int count) override;
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
    void drawPixmap(const QRectF& rect, const QPixmap& pixmap, const QRectF& source) override;
    void drawImage(const QRectF& rect, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags flags = Qt::AutoColor) override;
    void drawTextItem(const QPointF& position, const QTextItem& item) override;
    Type type() const override { return QPaintEngine::User; }

    bool drawForm(QPainter& painter, quint64 key, const QRectF& target,
                  const std::function<void(QPainter&, const QRectF&)>& draw);
    // A form's content once its painter has ended.
    QByteArray takeContent() { return std::exchange(m_content, QByteArray()); }

private:
    // Before anything is drawn whose device bounds are `bounds`: the clip it needs, then the state.
    void prepare(const QRectF& bounds);
    void closePath();
    void setFill(const QColor& color);
    void setStroke(const QPen& pen);
    void setAlpha(int alpha);
    void appendPath(const QPainterPath& devicePath);
    void paintPath(const QPainterPath& devicePath, bool fill, bool stroke, Qt::FillRule rule);
    double penWidth(const QPen& pen) const;
    bool textRun(const QPointF& position, const QString& text, const QFont& font, double laidOutWidth);
    void glyphRun(const QPointF& origin, const QGlyphRun& run, const QFont& font);
    void beginText(const QByteArray& name, double size, const QPointF& origin, const QFont& font, const QRawFont& raw);

    PdfWriterPrivate& m_writer;
    const bool m_form;
    QPaintDevice* m_device = nullptr;
    QByteArray m_content;
    QTransform m_transform;
    QPen m_pen;
    QBrush m_brush;
    double m_opacity = 1;
    Clip m_clip;
    quint64 m_clipSerial = 0;
    bool m_inClip = false;
    quint64 m_drawnClip = 0;
    std::optional<QRectF> m_drawnClipRect;
    GraphicsState m_state, m_savedState;
    bool m_lineOpen = false; // lines are collected into one path until something else comes
    LineSet m_drawnLines; // with the current stroke, alpha and clip
    struct RawEntry {
        QRawFont raw;
        SizedFont* font = nullptr;
        std::vector<float> advances; // pixels, by glyph id; negative: not asked yet
    };
    std::unordered_map<QString, std::unique_ptr<RawEntry>> m_rawFonts; // by QFont::key() and pixel size
    QFont m_lastFont;
    RawEntry* m_lastEntry = nullptr;
};

class PdfPageDevice : public QPaintDevice {
public:
    PdfPageDevice(PdfWriterPrivate& writer, bool form = false) : m_engine(writer, form) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }
    void setPaper(QSizeF mm)
    {
        m_paper = mm;
        m_units = QSize(qRound(mm.width() * PdfWriter::Resolution / 25.4), qRound(mm.height() * PdfWriter::Resolution / 25.4));
    }
    void setUnits(QSize units)
    {
        m_units = units;
        m_paper = QSizeF(units) * 25.4 / PdfWriter::Resolution;
    }
    PdfPaintEngine& engine() const { return m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_units.width();
        case PdmHeight:
            return m_units.height();
        case PdmWidthMM:
            return qRound(m_paper.width());
        case PdmHeightMM:
            return qRound(m_paper.height());
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return PdfWriter::Resolution;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    mutable PdfPaintEngine m_engine;
    QSizeF m_paper;
    QSize m_units;
};

bool PdfPaintEngine::begin(QPaintDevice* device)
{
    if (!m_writer.m_painting)
        return false;
    m_device = device;
    m_content.clear();
    m_content.reserve(64 * 1024);
    if (m_form) {
        // The page's state at the form's use is unknown: set what this engine takes as its start.
        m_content += "0 0 0 rg 0 0 0 RG 1 w 0 J 0 j 0 Tr " + m_writer.alphaName(255) + " gs\n";
    } else {
        // Device units from the top left, as Qt paints, onto points from the bottom left.
        appendNumber(m_content, PointsPerUnit, 4);
        m_content += "0 0 ";
        appendNumber(m_content, -PointsPerUnit, 4);
        m_content += "0 ";
        appendNumber(m_content, m_writer.m_paper.height(), 3);
        m_content += "cm\n";
    }
    m_transform = QTransform();
    m_pen = QPen();
    m_brush = QBrush();
    m_opacity = 1;
    m_clip = {};
    m_inClip = false;
    m_drawnClip = 0;
    m_state = m_savedState = {};
    m_lineOpen = false;
    m_drawnLines.clear();
    return true;
}

bool PdfPaintEngine::end()
{
    closePath();
    if (m_inClip)
        m_content += "Q\n";
    m_inClip = false;
    m_device = nullptr;
    if (m_form)
        return true;
    m_writer.finishPage(std::move(m_content));
    m_content = QByteArray();
    return !m_writer.m_failed;
}

void PdfPaintEngine::updateState(const QPaintEngineState& state)
{
    const DirtyFlags flags = state.state();
    if (flags & DirtyTransform)
        m_transform = state.transform();
    if (flags & DirtyPen)
        m_pen = state.pen();
    if (flags & DirtyBrush)
        m_brush = state.brush();
    if (flags & DirtyOpacity)
        m_opacity = state.opacity();
    if (flags & (DirtyClipPath | DirtyClipRegion)) {
        QPainterPath path;
        if (flags & DirtyClipPath) {
            path = state.clipPath();
        } else {
            path.addRegion(state.clipRegion());
        }
        path = m_transform.map(path);
        const Qt::ClipOperation operation = state.clipOperation();
        const std::optional<QRectF> rect = uprightRect(path);
        if (operation == Qt::NoClip) {
            m_clip = {};
        } else if (operation == Qt::ReplaceClip || !m_clip.enabled) {
            m_clip.enabled = true;
            m_clip.rect = rect;
            m_clip.path = path;
        } else {
            if (m_clip.rect && rect) {
                m_clip.rect = m_clip.rect->intersected(*rect);
                m_clip.path = QPainterPath();
                m_clip.path.addRect(*m_clip.rect);
            } else {
                m_clip.path = m_clip.path.intersected(path);
                m_clip.rect.reset();
            }
        }
        m_clip.serial = ++m_clipSerial;
    }
    if (flags & DirtyClipEnabled) {
        if (m_clip.enabled != state.isClipEnabled())
            m_clip.serial = ++m_clipSerial;
        m_clip.enabled = state.isClipEnabled() && (m_clip.rect || !m_clip.path.isEmpty());
    }
}

void PdfPaintEngine::closePath()
{
    if (m_lineOpen) {
        m_content += "S\n";
        m_lineOpen = false;
    }
}

void PdfPaintEngine::prepare(const QRectF& bounds)
{
    const bool inside = m_clip.enabled && m_clip.rect && m_clip.rect->contains(bounds);
    const bool needed = m_clip.enabled && !inside;
    if (m_inClip && (needed ? m_drawnClip != m_clip.serial : !(m_drawnClipRect && m_drawnClipRect->contains(bounds)))) {
        closePath();
        m_content += "Q\n";
        m_inClip = false;
        m_state = m_savedState;
        m_drawnLines.clear();
    }
    if (needed && !m_inClip) {
        closePath();
        m_drawnLines.clear();
        m_savedState = m_state;
        m_content += "q ";
        if (m_clip.rect) {
            appendNumber(m_content, m_clip.rect->x());
            appendNumber(m_content, m_clip.rect->y());
            appendNumber(m_content, m_clip.rect->width());
            appendNumber(m_content, m_clip.rect->height());
            m_content += "re W n\n";
        } else {
            appendPath(m_clip.path);
            m_content += m_clip.path.fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
        }
        m_inClip = true;
        m_drawnClip = m_clip.serial;
        m_drawnClipRect = m_clip.rect;
    }
}

void PdfPaintEngine::setAlpha(int alpha)
{
    alpha = std::clamp(static_cast<int>(std::lround(alpha * m_opacity)), 0, 255);
    if (alpha == m_state.alpha)
        return;
    closePath();
    m_drawnLines.clear();
    m_content += m_writer.alphaName(alpha) + " gs\n";
    m_state.alpha = alpha;
}

void PdfPaintEngine::setFill(const QColor& color)
{
    const QRgb rgb = color.rgb() | 0xFF000000u;
    if (rgb != m_state.fill) {
        closePath();
        appendNumber(m_content, qRed(rgb) / 255.0, 3);
        appendNumber(m_content, qGreen(rgb) / 255.0, 3);
        appendNumber(m_content, qBlue(rgb) / 255.0, 3);
        m_content += "rg\n";
        m_state.fill = rgb;
    }
}

double PdfPaintEngine::penWidth(const QPen& pen) const
{
    const double width = pen.widthF() > 0 ? pen.widthF() : 1.0;
    if (pen.isCosmetic() || pen.widthF() <= 0)
        return width;
    return width * std::sqrt(std::abs(m_transform.determinant()));
}

void PdfPaintEngine::setStroke(const QPen& pen)
{
    const QRgb rgb = pen.color().rgb() | 0xFF000000u;
    const double width = penWidth(pen);
    const int cap = pen.capStyle() == Qt::RoundCap ? 1 : pen.capStyle() == Qt::SquareCap ? 2 : 0;
    const int join = pen.joinStyle() == Qt::RoundJoin ? 1 : pen.joinStyle() == Qt::BevelJoin ? 2 : 0;
    if (rgb == m_state.stroke && width == m_state.lineWidth && cap == m_state.cap && join == m_state.join)
        return;
    closePath();
    m_drawnLines.clear();
    if (rgb != m_state.stroke) {
        appendNumber(m_content, qRed(rgb) / 255.0, 3);
        appendNumber(m_content, qGreen(rgb) / 255.0, 3);
        appendNumber(m_content, qBlue(rgb) / 255.0, 3);
        m_content += "RG ";
    }
    if (width != m_state.lineWidth) {
        appendNumber(m_content, width, 2);
        m_content += "w ";
    }
    if (cap != m_state.cap)
        m_content += QByteArray::number(cap) + " J ";
    if (join != m_state.join)
        m_content += QByteArray::number(join) + " j ";
    m_content += '\n';
    m_state.stroke = rgb;
    m_state.lineWidth = width;
    m_state.cap = cap;
    m_state.join = join;
}

void PdfPaintEngine::appendPath(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        appendNumber(m_content, e.x);
        appendNumber(m_content, e.y);
        if (e.type == QPainterPath::MoveToElement) {
            m_content += "m ";
        } else if (e.type == QPainterPath::LineToElement) {
            m_content += "l ";
        } else if (e.type == QPainterPath::CurveToElement && i + 2 < path.elementCount()) {
            for (int k = 1; k <= 2; ++k) {
                appendNumber(m_content, path.elementAt(i + k).x);
                appendNumber(m_content, path.elementAt(i + k).y);
            }
            m_content += "c ";
            i += 2;
        }
    }
}

void PdfPaintEngine::paintPath(const QPainterPath& devicePath, bool fill, bool stroke, Qt::FillRule rule)
{
    if (devicePath.isEmpty() || (!fill && !stroke))
        return;
    QRectF bounds = devicePath.controlPointRect();
    if (stroke) {
        const double half = penWidth(m_pen) / 2 + 1;
        bounds.adjust(-half, -half, half, half);
    }
    prepare(bounds);
    closePath();
    if (fill)
        setFill(m_brush.color());
    if (stroke)
        setStroke(m_pen);
    // One alpha for both: a shape whose pen and brush differ in alpha is rare.
    setAlpha(fill ? m_brush.color().alpha() : m_pen.color().alpha());
    appendPath(devicePath);
    const bool evenOdd = rule == Qt::OddEvenFill;
    m_content += fill && stroke ? (evenOdd ? "B*\n" : "B\n") : fill ? (evenOdd ? "f*\n" : "f\n") : "S\n";
}

void PdfPaintEngine::drawPath(const QPainterPath& path)
{
    paintPath(m_transform.map(path), m_brush.style() != Qt::NoBrush, m_pen.style() != Qt::NoPen, path.fillRule());
}

void PdfPaintEngine::drawRects(const QRectF* rects, int count)
{
    const bool fill = m_brush.style() != Qt::NoBrush, stroke = m_pen.style() != Qt::NoPen;
    if (count >= ScaledRectsAtLeast && m_transform.type() <= QTransform::TxScale && fill && !stroke) {
        // Many filled rectangles on a grid of their own (a barcode's modules in module units): the
        // painter's scale goes out once as a matrix and each rectangle in its own small numbers, a
        // third of the text and of the time of writing every corner in device units.
        QRectF united;
        for (int i = 0; i < count; ++i)
            united |= rects[i].normalized();
        prepare(m_transform.mapRect(united).normalized());
        setFill(m_brush.color());
        setAlpha(m_brush.color().alpha());
        closePath();
        m_content += "q ";
        appendNumber(m_content, m_transform.m11(), 4);
        m_content += "0 0 ";
        appendNumber(m_content, m_transform.m22(), 4);
        appendNumber(m_content, m_transform.dx(), 2);
        appendNumber(m_content, m_transform.dy(), 2);
        m_content += "cm ";
        for (int i = 0; i < count; ++i) {
            const QRectF rect = rects[i].normalized();
            appendNumber(m_content, rect.x(), 3);
            appendNumber(m_content, rect.y(), 3);
            appendNumber(m_content, rect.width(), 3);
            appendNumber(m_content, rect.height(), 3);
            m_content += "re ";
        }
        m_content += "f Q\n";
        return;
    }
    if (count > 0 && m_transform.type() <= QTransform::TxScale && fill && !stroke) {
        // Filled upright rectangles (backgrounds, a barcode's bars) go out as one path, one fill.
        QRectF bounds;
        for (int i = 0; i < count; ++i)
            bounds |= m_transform.mapRect(rects[i]).normalized();
        prepare(bounds);
        setFill(m_brush.color());
        setAlpha(m_brush.color().alpha());
        closePath();
        for (int i = 0; i < count; ++i) {
            const QRectF device = m_transform.mapRect(rects[i]).normalized();
            appendNumber(m_content, device.x());
            appendNumber(m_content, device.y());
            appendNumber(m_content, device.width());
            appendNumber(m_content, device.height());
            m_content += "re ";
        }
        m_content += "f\n";
        return;
    }
    for (int i = 0; i < count; ++i) {
        QPainterPath path;
        path.addRect(rects[i]);
        paintPath(m_transform.map(path), fill, stroke, Qt::OddEvenFill);
    }
}

void PdfPaintEngine::drawLines(const QLineF* lines, int count)
{
    if (m_pen.style() == Qt::NoPen)
        return;
    const double half = penWidth(m_pen) / 2 + 1;
    const bool clipped = m_clip.enabled || m_inClip;
    const int alpha = m_pen.color().alpha();
    if (!clipped) {
        setStroke(m_pen);
        setAlpha(alpha);
    }
    for (int i = 0; i < count; ++i) {
        QLineF line = m_transform.map(lines[i]);
        if (line.p2().x() < line.p1().x() || (line.p2().x() == line.p1().x() && line.p2().y() < line.p1().y()))
            line = QLineF(line.p2(), line.p1());
        // A clip group may open or close before any line: the state follows it.
        if (clipped) {
            prepare(QRectF(line.p1(), line.p2()).normalized().adjusted(-half, -half, half, half));
            setStroke(m_pen);
            setAlpha(alpha);
        }
        // Cells that touch share their borders: an opaque line drawn twice with the same pen is drawn once.
        if (m_state.alpha == 255) {
            const auto coordinate = [](double value) { return static_cast<quint64>(std::lround(value)) & 0xFFFF; };
            const bool small = line.x1() >= 0 && line.y1() >= 0 && line.x2() < 65535 && line.y2() < 65535;
            const quint64 key = coordinate(line.x1()) << 48 | coordinate(line.y1()) << 32 | coordinate(line.x2()) << 16
                              | coordinate(line.y2());
            if (small && !m_drawnLines.insert(key))
                continue;
        }
        appendNumber(m_content, line.x1());
        appendNumber(m_content, line.y1());
        m_content += "m ";
        appendNumber(m_content, line.x2());
        appendNumber(m_content, line.y2());
        m_content += "l\n";
        m_lineOpen = true;
    }
}

void PdfPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode)
{
    if (count < 2)
        return;
    QPainterPath path;
    path.moveTo(points[0]);
    for (int i = 1; i < count; ++i)
        path.lineTo(points[i]);
    if (mode != PolylineMode)
        path.closeSubpath();
    const bool fill = mode != PolylineMode && m_brush.style() != Qt::NoBrush;
    paintPath(m_transform.map(path), fill, m_pen.style() != Qt::NoPen,
              mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
}

void PdfPaintEngine::drawPixmap(const QRectF& rect, const QPixmap& pixmap, const QRectF& source)
{
    const QRectF whole(QPointF(0, 0), pixmap.size());
    const QImage image = source == whole ? pixmap.toImage() : pixmap.copy(source.toAlignedRect()).toImage();
    drawImage(rect, image, QRectF(QPointF(0, 0), image.size()));
}

void PdfPaintEngine::drawImage(const QRectF& rect, const QImage& image, const QRectF& source, Qt::ImageConversionFlags)
{
    if (image.isNull() || rect.isEmpty())
        return;
    const QRectF whole(QPointF(0, 0), image.size());
    QByteArray name;
    if (source == whole || source.isNull()) {
        name = m_writer.imageName(image, image.cacheKey());
    } else {
        // A part of an image has no key of its own: it is stored as often as it is painted.
        name = m_writer.imageName(image.copy(source.toAlignedRect()), 0);
    }
    prepare(m_transform.mapRect(rect));
    closePath();
    setAlpha(255);
    const QPointF corner = m_transform.map(rect.bottomLeft());
    m_content += "q ";
    appendNumber(m_content, rect.width() * m_transform.m11(), 4);
    appendNumber(m_content, rect.width() * m_transform.m12(), 4);
    appendNumber(m_content, -rect.height() * m_transform.m21(), 4);
    appendNumber(m_content, -rect.height() * m_transform.m22(), 4);
    appendNumber(m_content, corner.x());
    appendNumber(m_content, corner.y());
    m_content += "cm " + name + " Do Q\n";
}

bool PdfPaintEngine::drawForm(QPainter& painter, quint64 key, const QRectF& target,
                              const std::function<void(QPainter&, const QRectF&)>& draw)
{
    // The form's alphas are its own: one under a painter's opacity would ignore it.
    if (painter.opacity() < 1 || target.isEmpty() || m_writer.m_formDepth >= MaxFormDepth)
        return false;
    const QTransform toDevice = painter.combinedTransform();
    const QRectF bounds = toDevice.mapRect(target.normalized());
    const double scale = std::sqrt(std::abs(toDevice.determinant()));
    const QSizeF deviceSize = target.normalized().size() * scale;
    if (!std::isfinite(bounds.width()) || !std::isfinite(bounds.height()) || !(deviceSize.width() >= 1)
        || !(deviceSize.height() >= 1) || std::max(deviceSize.width(), deviceSize.height()) > MaxFormUnits)
        return false;
    auto found = m_writer.m_forms.find(key);
    if (found == m_writer.m_forms.end()) {
        const double finer = std::max(1.0, MinFormUnits / std::max(deviceSize.width(), deviceSize.height()));
        const QSize units(static_cast<int>(std::ceil(deviceSize.width() * finer)),
                          static_cast<int>(std::ceil(deviceSize.height() * finer)));
        PdfPageDevice device(m_writer, true);
        device.setUnits(units);
        ++m_writer.m_formDepth;
        QPainter formPainter;
        const bool begun = formPainter.begin(&device);
        if (begun) {
            formPainter.setRenderHints(painter.renderHints());
            draw(formPainter, QRectF(QPointF(0, 0), QSizeF(units)));
            formPainter.end();
        }
        --m_writer.m_formDepth;
        if (!begun)
            return false;
        const int object = m_writer.reserveObject();
        QByteArray dictionary = "/Type /XObject /Subtype /Form /BBox [0 0 ";
        appendNumber(dictionary, units.width());
        appendNumber(dictionary, units.height());
        // The pages' own resources, so fonts, images and alphas used inside are stored once too.
        dictionary += "] /Resources " + QByteArray::number(m_writer.m_resources) + " 0 R";
        m_writer.writeStream(object, dictionary, device.engine().takeContent());
        const QByteArray name = "/Fm" + QByteArray::number(object);
        m_writer.m_imageResources += name + ' ' + QByteArray::number(object) + " 0 R ";
        found = m_writer.m_forms.emplace(key, PdfWriterPrivate::Form{name, QSizeF(units)}).first;
    }
    const PdfWriterPrivate::Form& form = found->second;
    // An empty path draws nothing but has the painter hand this engine its transform and clip.
    painter.drawPath(QPainterPath());
    prepare(bounds);
    closePath();
    const QRectF area = target.normalized();
    const QTransform placed = QTransform::fromScale(area.width() / form.size.width(), area.height() / form.size.height())
                            * QTransform::fromTranslate(area.x(), area.y()) * toDevice;
    m_content += "q ";
    appendNumber(m_content, placed.m11(), 4);
    appendNumber(m_content, placed.m12(), 4);
    appendNumber(m_content, placed.m21(), 4);
    appendNumber(m_content, placed.m22(), 4);
    appendNumber(m_content, placed.dx(), 2);
    appendNumber(m_content, placed.dy(), 2);
    m_content += "cm " + form.name + " Do Q\n";
    return true;
}

void PdfPaintEngine::beginText(const QByteArray& name, double size, const QPointF& origin, const QFont& font,
                               const QRawFont& raw)
{
    // Qt makes up bold and italic that a face lacks (emboldened outlines, a slant); so does the PDF.
    const bool bold = font.bold() && raw.weight() < QFont::DemiBold;
    const double slant = font.italic() && raw.style() == QFont::StyleNormal ? 0.2 : 0.0;
    if (bold) {
        QPen outline(m_pen.color(), size / 30);
        outline.setCosmetic(true);
        setStroke(outline);
    }
    m_content += "BT ";
    // The font is part of the graphics state, not of the text object: set again only when it changes.
    if (m_state.fontName != name || m_state.fontSize != size) {
        m_content += name + ' ';
        appendNumber(m_content, size, 2);
        m_content += "Tf ";
        m_state.fontName = name;
        m_state.fontSize = size;
    }
    if ((bold ? 2 : 0) != m_state.textRender) {
        m_state.textRender = bold ? 2 : 0;
        m_content += bold ? "2 Tr " : "0 Tr ";
    }
    appendNumber(m_content, m_transform.m11(), 4);
    appendNumber(m_content, m_transform.m12(), 4);
    appendNumber(m_content, slant * m_transform.m11() - m_transform.m21(), 4);
    appendNumber(m_content, slant * m_transform.m12() - m_transform.m22(), 4);
    // Text extractors find columns by edges that line up to a thousandth of a point: whole device
    // units (0.06 pt) are too coarse here.
    const QPointF at = m_transform.map(origin);
    appendNumber(m_content, at.x(), 2);
    appendNumber(m_content, at.y(), 2);
    m_content += "Tm ";
}

// Text the font shows glyph for character: one run, positioned by the font's own widths.
bool PdfPaintEngine::textRun(const QPointF& position, const QString& text, const QFont& font, double laidOutWidth)
{
    if (!plainText(text))
        return false;
    // Cells come in runs of one font: the last one is compared before any key is made.
    if (!m_lastEntry || !(font == m_lastFont)) {
        const QString key = font.key();
        auto found = m_rawFonts.find(key);
        if (found == m_rawFonts.end()) {
            RawEntry entry;
            QFont resolved(font, m_device);
            entry.raw = QRawFont::fromFont(resolved);
            if (!entry.raw.isValid())
                return false;
            entry.font = &m_writer.fontFor(entry.raw);
            found = m_rawFonts.emplace(key, std::make_unique<RawEntry>(std::move(entry))).first;
        }
        m_lastEntry = found->second.get();
        m_lastFont = font;
    }
    RawEntry& entry = *m_lastEntry;
    // The size Qt laid the text out in (its font engine's, whole pixels), not the point size's.
    const double pixelSize = entry.raw.pixelSize();
    QVarLengthArray<quint32, 64> glyphs(text.size());
    int count = static_cast<int>(glyphs.size());
    if (!entry.raw.glyphIndexesForChars(text.constData(), static_cast<int>(text.size()), glyphs.data(), &count)
        || count != text.size())
        return false;
    // Qt places glyphs by its font engine's advances, a little off the design widths a PDF reader
    // uses: the run follows Qt's, corrected whenever the two drift apart by more than a thousandth
    // of a point, since text extractors find words and columns by such edges.
    QVarLengthArray<QPointF, 64> advances(count);
    double width = 0;
    for (int i = 0; i < count; ++i) {
        if (glyphs[i] == 0)
            return false; // the face lacks it; Qt's shaping picks a fallback font
        // Asked of the font engine once per glyph and size, not once per cell.
        if (glyphs[i] >= entry.advances.size())
            entry.advances.resize(glyphs[i] + 1024, -1.0f);
        if (entry.advances[glyphs[i]] < 0) {
            QPointF advance;
            entry.raw.advancesForGlyphIndexes(&glyphs[i], &advance, 1);
            entry.advances[glyphs[i]] = static_cast<float>(std::max(0.0, advance.x()));
        }
        advances[i] = QPointF(entry.advances[glyphs[i]], 0);
        width += advances[i].x();
    }
    if (laidOutWidth > 0)
        width = laidOutWidth;
    width *= 1000 / pixelSize;
    const double ascent = entry.font->face->ascent() * pixelSize / 1000;
    const double descent = entry.font->face->descent() * pixelSize / 1000;
    if (m_clip.enabled || m_inClip)
        prepare(m_transform.mapRect(QRectF(position.x(), position.y() - ascent, width * pixelSize / 1000, ascent - descent)));
    closePath();
    setFill(m_pen.color());
    setAlpha(m_pen.color().alpha());
    beginText(entry.font->name, pixelSize, position, font, entry.raw);
    // drift: how far (thousandths of the em) the PDF's pen stands right of Qt's.
    const double tolerance = 1000 / (pixelSize * PointsPerUnit) / 1000; // a thousandth of a point
    double drift = 0;
    QByteArray& run = m_content;
    run += "[<";
    for (int i = 0; i < count; ++i) {
        const double advance = advances[i].x() * 1000 / pixelSize;
        // Text extractors end a line at a gap of a whole em, which an ideographic space is to the
        // last bit: a word after white space starts a hundredth of a point early, as Qt's own
        // writer's rounding has it, and the glyph after it is back in place.
        if (i > 0 && text[i - 1].isSpace() && !text[i].isSpace()) {
            const double nudge = 10 * tolerance;
            run += "> ";
            appendNumber(run, nudge, 2);
            run += '<';
            drift -= nudge;
        }
        entry.font->face->use(glyphs[i], text[i]);
        entry.font->setWidth(glyphs[i], advance);
        appendHex4(run, glyphs[i]);
        drift += entry.font->width(glyphs[i]) - advance;
        // The last glyph starts where Qt put it, so the run ends on Qt's edge.
        if (i + 1 < count && (std::abs(drift) > tolerance || (i + 2 == count && std::abs(drift) >= 0.01))) {
            run += "> ";
            appendNumber(run, drift, 2);
            run += '<';
            drift = 0;
        }
    }
    m_content += ">] TJ ET\n";
    return true;
}

void PdfPaintEngine::glyphRun(const QPointF& origin, const QGlyphRun& run, const QFont& qfont)
{
    SizedFont& font = m_writer.fontFor(run.rawFont());
    const double size = run.rawFont().pixelSize();
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    QList<QPointF> advances(glyphs.size());
    run.rawFont().advancesForGlyphIndexes(glyphs.constData(), advances.data(), static_cast<int>(glyphs.size()));
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        font.face->use(glyphs[i], QStringView());
        font.setWidth(glyphs[i], size > 0 ? advances[i].x() * 1000 / size : 0);
        beginText(font.name, size, origin + positions[i], qfont, run.rawFont());
        m_content += '<';
        appendHex4(m_content, glyphs[i]);
        m_content += "> Tj ET\n";
    }
}

void PdfPaintEngine::drawTextItem(const QPointF& position, const QTextItem& item)
{
    const QString text = item.text();
    if (text.isEmpty())
        return;
    if (textRun(position, text, item.font(), item.width()))
        return;
    // Shaped by Qt: glyphs may not follow the characters one for one, so the run carries its text.
    QTextLayout layout(text, item.font(), m_device);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const QPointF origin(position.x(), position.y() - line.ascent());
    const double ascent = line.ascent(), descent = line.descent();
    prepare(m_transform.mapRect(QRectF(position.x(), position.y() - ascent, line.naturalTextWidth(), ascent + descent)));
    closePath();
    setFill(m_pen.color());
    setAlpha(m_pen.color().alpha());
    m_content += "/Span << /ActualText " + textString(text) + " >> BDC\n";
    for (const QGlyphRun& run : layout.glyphRuns())
        glyphRun(origin, run, item.font());
    m_content += "EMC\n";
}

} // namespace

SizedFont& PdfWriterPrivate::fontFor(const QRawFont& raw)
{
    const QString faceKey = raw.familyName() + u'\n' + raw.styleName() + u'\n' + QString::number(raw.weight()) + u'\n'
                          + QString::number(static_cast<int>(raw.style()));
    const std::pair<QString, int> key(faceKey, static_cast<int>(std::lround(raw.pixelSize() * 64)));
    auto found = m_fonts.find(key);
    if (found == m_fonts.end()) {
        std::unique_ptr<PdfFont>& face = m_faces[faceKey];
        if (!face)
            face = std::make_unique<PdfFont>(raw);
        auto sized = std::make_unique<SizedFont>();
        sized->face = face.get();
        sized->name = "/F" + QByteArray::number(static_cast<qulonglong>(m_fonts.size() + 1));
        found = m_fonts.emplace(key, std::move(sized)).first;
    }
    return *found->second;
}

QByteArray PdfWriterPrivate::imageName(const QImage& source, qint64 key)
{
    if (key) {
        const auto found = m_images.find(key);
        if (found != m_images.end())
            return found->second;
    }
    const bool alpha = source.hasAlphaChannel();
    const QImage image = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int width = image.width(), height = image.height();
    QByteArray rgb, mask;
    rgb.reserve(qsizetype(width) * height * 3);
    if (alpha)
        mask.reserve(qsizetype(width) * height);
    for (int y = 0; y < height; ++y) {
        const uchar* line = image.constScanLine(y);
        if (!alpha) {
            rgb.append(reinterpret_cast<const char*>(line), qsizetype(width) * 3);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            rgb.append(reinterpret_cast<const char*>(line + 4 * x), 3);
            mask.append(static_cast<char>(line[4 * x + 3]));
        }
    }
    const QByteArray size = "/Width " + QByteArray::number(width) + " /Height " + QByteArray::number(height);
    QByteArray maskEntry;
    if (alpha) {
        const int maskObject = reserveObject();
        writeStream(maskObject, "/Type /XObject /Subtype /Image " + size + " /ColorSpace /DeviceGray /BitsPerComponent 8",
                    mask);
        maskEntry = " /SMask " + QByteArray::number(maskObject) + " 0 R";
    }
    const int object = reserveObject();
    writeStream(object,
                "/Type /XObject /Subtype /Image " + size + " /ColorSpace /DeviceRGB /BitsPerComponent 8" + maskEntry,
                rgb);
    const QByteArray name = "/Im" + QByteArray::number(object);
    m_imageResources += name + ' ' + QByteArray::number(object) + " 0 R ";
    if (key)
        m_images.emplace(key, name);
    return name;
}

QByteArray PdfWriterPrivate::alphaName(int alpha)
{
    auto found = m_alphas.find(alpha);
    if (found == m_alphas.end())
        found = m_alphas.emplace(alpha, "/A" + QByteArray::number(alpha)).first;
    return found->second;
}

void PdfWriterPrivate::writeLastPage()
{
    if (!m_lastPage)
        return;
    writePackedStream(m_lastPage->contents, QByteArray(), m_lastPage->content, m_lastPage->packed.get());
    writeObject(m_lastPage->page, m_lastPage->dictionary);
    m_lastPage.reset();
}

void PdfWriterPrivate::finishPage(QByteArray content)
{
    writeLastPage();
    const int contents = reserveObject();
    const int page = reserveObject();
    QByteArray body = "<< /Type /Page /Parent " + QByteArray::number(m_pageTree) + " 0 R /MediaBox [0 0 ";
    appendNumber(body, m_paper.width(), 3);
    appendNumber(body, m_paper.height(), 3);
    body += "] /Resources " + QByteArray::number(m_resources) + " 0 R /Contents " + QByteArray::number(contents)
          + " 0 R";
    if (!m_annotations.empty()) {
        body += " /Annots [";
        for (const QByteArray& annotation : m_annotations)
            body += annotation;
        body += ']';
        m_annotations.clear();
    }
    body += " >>";
    PendingPage pending;
    pending.contents = contents;
    pending.page = page;
    pending.dictionary = body;
    pending.content = std::move(content);
    pending.packed = std::async(std::launch::async, deflated, pending.content);
    m_lastPage = std::move(pending);
    m_pageObjects.push_back(page);
    m_painting = false;
}

namespace {

QByteArray toUnicodeMap(const std::map<quint32, QString>& glyphs)
{
    QByteArray out = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                     "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                     "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<quint32, const QString*>> mapped;
    for (const auto& [glyph, text] : glyphs)
        if (!text.isEmpty())
            mapped.emplace_back(glyph, &text);
    for (size_t start = 0; start < mapped.size(); start += 100) {
        const size_t end = std::min(mapped.size(), start + 100);
        out += QByteArray::number(static_cast<qulonglong>(end - start)) + " beginbfchar\n";
        for (size_t i = start; i < end; ++i) {
            out += '<';
            appendHex4(out, mapped[i].first);
            out += "> <";
            for (const QChar c : *mapped[i].second)
                appendHex4(out, c.unicode());
            out += ">\n";
        }
        out += "endbfchar\n";
    }
    return out + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

QByteArray widthArray(const SizedFont& font)
{
    QByteArray out = "[";
    bool open = false;
    for (size_t glyph = 0; glyph < font.widths.size(); ++glyph) {
        if (font.widths[glyph] < 0) {
            if (open)
                out += "] ";
            open = false;
            continue;
        }
        if (!open)
            out += QByteArray::number(static_cast<qulonglong>(glyph)) + " [";
        open = true;
        // Fractions kept: text extractors add these up to find where words end.
        appendNumber(out, font.widths[glyph], 3);
    }
    if (open)
        out += ']';
    return out + ']';
}

QByteArray dateString(const QDateTime& time)
{
    const QDateTime utc = time.toUTC();
    return "(D:" + utc.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "Z)";
}

} // namespace

bool PdfWriterPrivate::finish()
{
    writeLastPage();
    // One program, descriptor and text map per face; a font resource for each size it was used at.
    struct FaceObjects {
        QByteArray name;
        int descriptor = 0, toUnicode = 0;
    };
    std::map<const PdfFont*, FaceObjects> faces;
    int index = 0;
    for (const auto& [key, face] : m_faces) {
        const PdfFont& font = *face;
        QString error;
        const QByteArray program = font.subset(error);
        // Subset tags are six capitals telling subsets of one font apart.
        QByteArray tag = "AAAAAA+";
        for (int i = 5, n = index++; i >= 0 && n; --i, n /= 26)
            tag[i] = static_cast<char>('A' + n % 26);
        FaceObjects& objects = faces[&font];
        objects.name = '/' + tag + font.baseName();
        int fileObject = 0;
        if (!program.isEmpty()) {
            fileObject = reserveObject();
            writeStream(fileObject, font.isCff() ? "/Subtype /OpenType" : "/Length1 " + QByteArray::number(program.size()),
                        program);
        }
        objects.descriptor = reserveObject();
        QByteArray body = "<< /Type /FontDescriptor /FontName " + objects.name + " /Flags 4 /FontBBox [";
        const QRectF& box = font.boundingBox();
        appendNumber(body, box.left(), 0);
        appendNumber(body, box.top(), 0);
        appendNumber(body, box.right(), 0);
        appendNumber(body, box.bottom(), 0);
        body += "] /ItalicAngle 0 /Ascent ";
        appendNumber(body, font.ascent(), 0);
        body += "/Descent ";
        appendNumber(body, font.descent(), 0);
        body += "/CapHeight ";
        appendNumber(body, font.ascent(), 0);
        body += "/StemV 80";
        if (fileObject)
            body += (font.isCff() ? " /FontFile3 " : " /FontFile2 ") + QByteArray::number(fileObject) + " 0 R";
        writeObject(objects.descriptor, body + " >>");
        objects.toUnicode = reserveObject();
        writeStream(objects.toUnicode, QByteArray(), toUnicodeMap(font.glyphs()));
    }
    QByteArray fonts;
    for (const auto& [key, sized] : m_fonts) {
        const PdfFont& font = *sized->face;
        const FaceObjects& objects = faces[&font];
        const int cidFont = reserveObject();
        writeObject(cidFont, "<< /Type /Font /Subtype " + QByteArray(font.isCff() ? "/CIDFontType0" : "/CIDFontType2")
                                 + " /BaseFont " + objects.name
                                 + " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                                   " /FontDescriptor "
                                 + QByteArray::number(objects.descriptor) + " 0 R /DW 1000 /W " + widthArray(*sized)
                                 + (font.isCff() ? "" : " /CIDToGIDMap /Identity") + " >>");
        const int type0 = reserveObject();
        writeObject(type0, "<< /Type /Font /Subtype /Type0 /BaseFont " + objects.name
                               + " /Encoding /Identity-H /DescendantFonts [" + QByteArray::number(cidFont)
                               + " 0 R] /ToUnicode " + QByteArray::number(objects.toUnicode) + " 0 R >>");
        fonts += sized->name + ' ' + QByteArray::number(type0) + " 0 R ";
    }
    QByteArray alphas;
    for (const auto& [alpha, name] : m_alphas) {
        QByteArray value;
        appendNumber(value, alpha / 255.0, 3);
        alphas += name + " << /ca " + value + "/CA " + value + ">> ";
    }
    writeObject(m_resources, "<< /Font << " + fonts + ">> /XObject << " + m_imageResources + ">> /ExtGState << "
                                 + alphas + ">> >>");

    QByteArray kids;
    for (const int page : m_pageObjects)
        kids += QByteArray::number(page) + " 0 R ";
    writeObject(m_pageTree, "<< /Type /Pages /Kids [" + kids + "] /Count "
                                + QByteArray::number(static_cast<qulonglong>(m_pageObjects.size())) + " >>");

    int outlines = 0;
    if (!m_outline.empty()) {
        outlines = reserveObject();
        const int first = static_cast<int>(m_offsets.size()) + 1;
        const int count = static_cast<int>(m_outline.size());
        for (int i = 0; i < count; ++i) {
            const OutlineEntry& entry = m_outline[static_cast<size_t>(i)];
            const int object = reserveObject();
            QByteArray body = "<< /Title " + textString(entry.title) + " /Parent " + QByteArray::number(outlines) + " 0 R";
            if (i > 0)
                body += " /Prev " + QByteArray::number(object - 1) + " 0 R";
            if (i + 1 < count)
                body += " /Next " + QByteArray::number(object + 1) + " 0 R";
            body += " /Dest [" + QByteArray::number(m_pageObjects[static_cast<size_t>(entry.page)]) + " 0 R /XYZ 0 ";
            appendNumber(body, entry.top, 2);
            body += "null] >>";
            writeObject(object, body);
        }
        writeObject(outlines, "<< /Type /Outlines /First " + QByteArray::number(first) + " 0 R /Last "
                                  + QByteArray::number(first + count - 1) + " 0 R /Count " + QByteArray::number(count)
                                  + " >>");
    }
    writeObject(m_catalog, "<< /Type /Catalog /Pages " + QByteArray::number(m_pageTree) + " 0 R"
                               + (outlines ? " /Outlines " + QByteArray::number(outlines) + " 0 R /PageMode /UseOutlines"
                                           : QByteArray())
                               + " >>");
    const int info = reserveObject();
    QByteArray body = "<< /Producer " + textString(QStringLiteral("vl report engine")) + " /CreationDate "
                    + dateString(QDateTime::currentDateTime());
    const std::pair<const char*, const QString*> fields[] = {
        {"/Title ", &m_info.title}, {"/Author ", &m_info.author}, {"/Subject ", &m_info.subject}, {"/Creator ", &m_info.creator}};
    for (const auto& [key, value] : fields)
        if (!value->isEmpty())
            body += QByteArray(" ") + key + textString(*value);
    writeObject(info, body + " >>");

    const qint64 xref = m_written + m_buffer.size();
    m_buffer += "xref\n0 " + QByteArray::number(static_cast<qulonglong>(m_offsets.size() + 1)) + "\n0000000000 65535 f \n";
    for (const qint64 offset : m_offsets) {
        m_buffer += QByteArray::number(std::max<qint64>(0, offset)).rightJustified(10, '0') + " 00000 n \n";
        flushIfFull();
    }
    m_buffer += "trailer\n<< /Size " + QByteArray::number(static_cast<qulonglong>(m_offsets.size() + 1)) + " /Root "
              + QByteArray::number(m_catalog) + " 0 R /Info " + QByteArray::number(info) + " 0 R >>\nstartxref\n"
              + QByteArray::number(xref) + "\n%%EOF\n";
    flush();
    return !m_failed;
}

PdfWriter::PdfWriter(QIODevice& device, const PdfInfo& info) : d(std::make_unique<PdfWriterPrivate>(device))
{
    d->m_info = info;
    d->m_buffer = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    d->m_catalog = d->reserveObject();
    d->m_pageTree = d->reserveObject();
    d->m_resources = d->reserveObject();
    d->m_pageDevice = std::make_unique<PdfPageDevice>(*d);
}

PdfWriter::~PdfWriter() = default;

QPaintDevice& PdfWriter::newPage(QSizeF paperMm)
{
    d->m_paper = paperMm * 72.0 / 25.4;
    d->m_annotations.clear();
    d->m_painting = true;
    d->m_pageDevice->setPaper(paperMm);
    return *d->m_pageDevice;
}

void PdfWriter::addLink(const QRectF& areaMm, const QString& url)
{
    const QRectF area(areaMm.topLeft() * 72.0 / 25.4, areaMm.size() * 72.0 / 25.4);
    QByteArray body = "<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [";
    appendNumber(body, area.left(), 2);
    appendNumber(body, d->m_paper.height() - area.bottom(), 2);
    appendNumber(body, area.right(), 2);
    appendNumber(body, d->m_paper.height() - area.top(), 2);
    QByteArray uri = QUrl(url).toEncoded();
    uri.replace('\\', "\\\\").replace('(', "\\(").replace(')', "\\)");
    body += "] /A << /S /URI /URI (" + uri + ") >> >> ";
    d->m_annotations.push_back(body);
}

void PdfWriter::addOutlineEntry(const QString& title, int page, double topMm)
{
    if (page < 0 || page >= static_cast<int>(d->m_pageObjects.size()) + (d->m_painting ? 1 : 0))
        return;
    d->m_outline.push_back({title, page, d->m_paper.height() - topMm * 72.0 / 25.4});
}

bool PdfWriter::drawReusable(QPainter& painter, quint64 key, const QRectF& target,
                             const std::function<void(QPainter&, const QRectF&)>& draw)
{
    auto* engine = painter.isActive() ? dynamic_cast<PdfPaintEngine*>(painter.paintEngine()) : nullptr;
    return engine && engine->drawForm(painter, key, target, draw);
}

int PdfWriter::pageCount() const
{
    return static_cast<int>(d->m_pageObjects.size()) + (d->m_painting ? 1 : 0);
}

bool PdfWriter::finish()
{
    if (d->m_painting || d->m_finished)
        return false;
    d->m_finished = true;
    return d->finish();
}

} // namespace vl
