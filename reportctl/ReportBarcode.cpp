#include "ReportGraphics_p.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>

#include <zint.h>

#include <cmath>
#include <future>
#include <memory>
#include <vector>

namespace vl
{

namespace
{

int symbologyOf(BarcodeType type)
{
    switch (type) {
    case BarcodeType::QrCode:
        return BARCODE_QRCODE;
    case BarcodeType::Code128:
        return BARCODE_CODE128;
    case BarcodeType::Code39:
        return BARCODE_CODE39;
    case BarcodeType::Ean13:
        return BARCODE_EANX_CHK; // the check digit is part of the data and checked
    case BarcodeType::UpcA:
        return BARCODE_UPCA_CHK;
    case BarcodeType::DataMatrix:
        return BARCODE_DATAMATRIX;
    case BarcodeType::Pdf417:
        return BARCODE_PDF417;
    }
    return BARCODE_QRCODE;
}

bool keepsProportions(BarcodeType type)
{
    return type == BarcodeType::QrCode || type == BarcodeType::DataMatrix || type == BarcodeType::Pdf417;
}

struct SymbolText {
    QPointF baseline; // symbol units
    double size = 0; // font pixel size in symbol units
    double width = 0; // room zint suggests; 0: none
    int halign = 0; // 0 centre, 1 left, 2 right
    QString text;
};

// The shapes of one encoded symbol in zint's units, quiet zone included, scaled to the frame when painted.
class BarcodeGraphic final : public PageGraphic
{
public:
    QSizeF size;
    bool proportional = false;
    std::vector<QRectF> bars;
    QPainterPath shapes; // hexagons and discs; empty for the symbologies the templates offer today
    std::vector<SymbolText> texts;
    CellStyle style;

    Kind kind() const override { return Kind::Barcode; }

    void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double fontScale) const override
    {
        double sx = frame.width() / size.width();
        double sy = frame.height() / size.height();
        QPointF origin = frame.topLeft();
        if (proportional) {
            sx = sy = std::min(sx, sy);
            origin += QPointF((frame.width() - size.width() * sx) / 2, (frame.height() - size.height() * sy) / 2);
        }
        painter.save();
        // Modules that meet must not show seams where anti-aliased edges overlap.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        // In the symbol's own units under the painter's scale: a writer that keeps the scale writes small numbers.
        painter.save();
        painter.translate(origin);
        painter.scale(sx, sy);
        painter.drawRects(bars.data(), int(bars.size()));
        painter.restore();
        if (!shapes.isEmpty()) {
            QTransform transform;
            transform.translate(origin.x(), origin.y());
            transform.scale(sx, sy);
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.drawPath(transform.map(shapes));
        }
        if (!texts.empty()) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(style.color);
            const double deviceDpi = pixelsPerMm * 25.4 / fontScale;
            const double unit = std::min(sx, sy);
            for (const SymbolText& text : texts) {
                QFont font(style.fontFamily);
                font.setBold(style.bold);
                font.setItalic(style.italic);
                font.setPointSizeF(std::max(0.5, text.size * unit * 72 / deviceDpi));
                QFontMetricsF metrics(font, painter.device());
                double width = metrics.horizontalAdvance(text.text);
                const double room = text.width * sx;
                if (room > 0 && width > room) {
                    font.setPointSizeF(std::max(0.5, font.pointSizeF() * room / width));
                    width = room;
                }
                painter.setFont(font);
                double x = origin.x() + text.baseline.x() * sx;
                if (text.halign == 0)
                    x -= width / 2;
                else if (text.halign == 2)
                    x -= width;
                painter.drawText(QPointF(x, origin.y() + text.baseline.y() * sy), text.text);
            }
        }
        painter.restore();
    }
};

// The QR mask pattern used for every code (0 to 7).
constexpr int QrMask = 2;

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

// Encodes through zint and keeps its vector output. Null, with `problem` set, for data the symbology refuses.
std::shared_ptr<BarcodeGraphic> encodeSymbol(BarcodeType type, const QString& data, bool showText, QString& problem)
{
    // zint would take fewer digits as EAN-8 or pad them with zeros: not the symbol the template names.
    const int digits = type == BarcodeType::Ean13 ? 13 : type == BarcodeType::UpcA ? 12 : 0;
    if (digits && data.size() != digits) {
        problem = QStringLiteral("%1 takes %2 digits, the last the check digit").arg(barcodeTypeName(type)).arg(digits);
        return nullptr;
    }
    const std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol) {
        problem = QStringLiteral("out of memory");
        return nullptr;
    }
    symbol->symbology = symbologyOf(type);
    symbol->input_mode = UNICODE_MODE; // the data is UTF-8, so CJK text reaches the 2D symbols whole
    if (type == BarcodeType::QrCode || type == BarcodeType::DataMatrix || type == BarcodeType::Pdf417)
        symbol->input_mode |= FAST_MODE;
    // Trying all eight QR masks for the one of least penalty took three quarters of the encoding (65 against
    // 19 us a code); a fixed mask reads as well with any scanner and keeps a code per row affordable.
    if (type == BarcodeType::QrCode)
        symbol->option_3 = (QrMask + 1) << 8;
    symbol->output_options |= BARCODE_QUIET_ZONES;
    symbol->show_hrt = showText ? 1 : 0;
    const QByteArray utf8 = data.toUtf8();
    int result
        = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(utf8.constData()), int(utf8.size()));
    if (result < ZINT_ERROR && (type == BarcodeType::QrCode || type == BarcodeType::DataMatrix)) {
        // Square modules and no text: zint's encoded matrix is the whole symbol. Read as runs of modules, it
        // costs a third of building zint's vector list (one allocation per rectangle), the larger part of a
        // code per row.
        const int quiet = type == BarcodeType::QrCode ? 4 : 1; // modules; as zint's own vector output has them
        auto graphic = std::make_shared<BarcodeGraphic>();
        graphic->proportional = true;
        graphic->size = QSizeF(symbol->width + 2 * quiet, symbol->rows + 2 * quiet);
        // A run equal to one in the row above lengthens that rectangle, as zint's vector output does.
        std::vector<std::pair<int, size_t>> above, current; // run start and end packed, index into bars
        for (int y = 0; y < symbol->rows; ++y) {
            const unsigned char* row = symbol->encoded_data[y];
            current.clear();
            size_t next = 0;
            for (int x = 0; x < symbol->width;) {
                if (!((row[x >> 3] >> (x & 7)) & 1)) {
                    ++x;
                    continue;
                }
                const int start = x;
                while (x < symbol->width && ((row[x >> 3] >> (x & 7)) & 1))
                    ++x;
                const int run = start * 2048 + x; // widths stay far below 2048 modules
                while (next < above.size() && above[next].first < run)
                    ++next;
                if (next < above.size() && above[next].first == run) {
                    graphic->bars[above[next].second].setHeight(graphic->bars[above[next].second].height() + 1);
                    current.emplace_back(run, above[next].second);
                } else {
                    current.emplace_back(run, graphic->bars.size());
                    graphic->bars.emplace_back(start + quiet, y + quiet, x - start, 1);
                }
            }
            std::swap(above, current);
        }
        return graphic;
    }
    if (result < ZINT_ERROR)
        result = ZBarcode_Buffer_Vector(symbol.get(), 0);
    if (result >= ZINT_ERROR || !symbol->vector || symbol->vector->width <= 0 || symbol->vector->height <= 0) {
        problem = QString::fromUtf8(symbol->errtxt);
        if (problem.isEmpty())
            problem = QStringLiteral("zint gave no symbol");
        return nullptr;
    }
    auto graphic = std::make_shared<BarcodeGraphic>();
    const zint_vector& vector = *symbol->vector;
    graphic->size = QSizeF(vector.width, vector.height);
    graphic->proportional = keepsProportions(type);
    for (const zint_vector_rect* rect = vector.rectangles; rect; rect = rect->next) {
        if (rect->colour == -1 || rect->colour == 7) // foreground or black; other colours are background
            graphic->bars.emplace_back(rect->x, rect->y, rect->width, rect->height);
    }
    for (const zint_vector_hexagon* hexagon = vector.hexagons; hexagon; hexagon = hexagon->next) {
        const double radius = hexagon->diameter / 2;
        const double turn = hexagon->rotation == 90 || hexagon->rotation == 270 ? 0 : 30;
        QPolygonF polygon;
        for (int corner = 0; corner < 6; ++corner) {
            const double angle = (turn + 60 * corner) * M_PI / 180;
            polygon << QPointF(hexagon->x + radius * std::cos(angle), hexagon->y + radius * std::sin(angle));
        }
        graphic->shapes.addPolygon(polygon);
        graphic->shapes.closeSubpath();
    }
    for (const zint_vector_circle* circle = vector.circles; circle; circle = circle->next) {
        if (circle->colour == 0)
            graphic->shapes.addEllipse(QPointF(circle->x, circle->y), circle->diameter / 2, circle->diameter / 2);
    }
    for (const zint_vector_string* string = vector.strings; string; string = string->next) {
        SymbolText text;
        text.baseline = QPointF(string->x, string->y);
        text.size = string->fsize;
        text.width = string->width;
        text.halign = string->halign;
        text.text = QString::fromUtf8(reinterpret_cast<const char*>(string->text), string->length);
        graphic->texts.push_back(std::move(text));
    }
    return graphic;
}

// A QR code encoded on the maker's encoder thread while the layout goes on; painting waits for it, and
// by then it is mostly done. Only data that QR cannot refuse goes this way (see encodesAside), so that
// every refusal is still told while the band is filled.
class PendingBarcode final : public PageGraphic
{
public:
    explicit PendingBarcode(std::shared_future<std::shared_ptr<const BarcodeGraphic>> symbol)
        : m_symbol(std::move(symbol))
    {
    }
    Kind kind() const override { return Kind::Barcode; }
    void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double fontScale) const override
    {
        if (const std::shared_ptr<const BarcodeGraphic>& symbol = m_symbol.get())
            symbol->paint(painter, frame, pixelsPerMm, fontScale);
        else
            emptyFrame()->paint(painter, frame, pixelsPerMm, fontScale);
    }

private:
    std::shared_future<std::shared_ptr<const BarcodeGraphic>> m_symbol;
};

// Text of 1 to 1 000 bytes fits a QR code whatever it holds (the largest holds 2 953 bytes with its
// character set's marks), so zint cannot refuse it.
bool encodesAside(BarcodeType type, qsizetype utf8Bytes)
{
    return type == BarcodeType::QrCode && utf8Bytes >= 1 && utf8Bytes <= 1000;
}

// What the cache of encoded symbols may hold. A report with a code per row (an employee number) repeats
// none, so a cache that kept every symbol grew with the report (209 MB at 200 000 rows); full, it starts
// over, which keeps the codes that repeat nearby (a department's code on its rows) and bounds memory.
constexpr qint64 MaxCachedSymbolBytes = 8LL << 20;
constexpr qsizetype MaxCachedSymbols = 4096;

} // namespace

// Repeated codes (a product on many rows, a fixed code in a page footer) are encoded once per layout.
// The cache is bounded by a count and an estimate of the symbols' size; at either it is emptied.
struct GraphicMaker::Barcodes {
    struct Symbol {
        std::shared_ptr<const PageGraphic> graphic; // null: refused, with problem
        QString problem;
    };
    QHash<QString, Symbol> symbols;
    qint64 cachedBytes = 0;
};

std::shared_ptr<const PageGraphic> GraphicMaker::barcode(
    const TemplateBarcode& barcode, const QString& data, const CellStyle& style)
{
    if (!m_barcodes)
        m_barcodes = std::make_shared<Barcodes>();
    // The style takes part in the key: it gives the text its font and colour, and a per-row style may change it.
    const QString key = QString::number(int(barcode.type)) + u'|' + QString::number(int(barcode.showText)) + u'|'
        + QString::number(style.bold * 2 + style.italic) + u'|' + QString::number(style.color.rgba()) + u'|'
        + style.fontFamily + u'|' + QString::number(style.fontFamily.size()) + u'|' + data;
    const auto refuse = [&](const QString& problem) {
        m_context.tell(QStringLiteral("The barcode data \"%1\" cannot be encoded as %2: %3")
                           .arg(quotedForMessage(data), barcodeTypeName(barcode.type), problem));
        return emptyFrame();
    };
    auto found = m_barcodes->symbols.constFind(key);
    if (found == m_barcodes->symbols.constEnd()) {
        Barcodes::Symbol symbol;
        // The node, the key, the graphic with its style and the bars' storage as allocated.
        qint64 cost = key.size() * qint64(sizeof(QChar)) + 256 + qint64(sizeof(BarcodeGraphic));
        if (encodesAside(barcode.type, data.toUtf8().size())) {
            using Encoded = std::shared_ptr<const BarcodeGraphic>;
            auto task = std::make_shared<std::packaged_task<Encoded()>>(
                [type = barcode.type, data, showText = barcode.showText, style]() -> Encoded {
                    try {
                        QString problem;
                        std::shared_ptr<BarcodeGraphic> graphic = encodeSymbol(type, data, showText, problem);
                        if (graphic)
                            graphic->style = style;
                        return graphic;
                    } catch (const std::exception&) {
                        return nullptr; // out of memory: the frame stays empty
                    }
                });
            symbol.graphic = std::make_shared<PendingBarcode>(task->get_future().share());
            // Qt's shared pool: the application waits for its threads as it ends, so none outlives the
            // program's own objects (a pool of the maker's own left idle threads running into exit).
            QThreadPool::globalInstance()->start([task] { (*task)(); });
            cost += 2048; // a QR code of a short text: a hundred rectangles or so
        } else {
            std::shared_ptr<BarcodeGraphic> graphic = encodeSymbol(barcode.type, data, barcode.showText, symbol.problem);
            if (graphic) {
                graphic->style = style;
                cost += qint64(graphic->bars.capacity() * sizeof(QRectF) + graphic->texts.size() * 128);
            }
            symbol.graphic = std::move(graphic);
        }
        if (m_barcodes->cachedBytes + cost > MaxCachedSymbolBytes || m_barcodes->symbols.size() >= MaxCachedSymbols) {
            m_barcodes->symbols.clear();
            m_barcodes->cachedBytes = 0;
        }
        m_barcodes->cachedBytes += cost;
        found = m_barcodes->symbols.insert(key, std::move(symbol));
    }
    return found->graphic ? found->graphic : refuse(found->problem);
}

} // namespace vl
