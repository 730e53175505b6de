#include "ReportExport.h"
#include "ReportExport_p.h"

#include "ReportPainter.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace vl {

namespace {

constexpr double SvgDpi = 96.0;

QString mm(double value)
{
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

QString cssColor(const QColor& color)
{
    return color.alpha() == 255 ? color.name(QColor::HexRgb)
                                : QStringLiteral("rgba(%1,%2,%3,%4)")
                                      .arg(color.red())
                                      .arg(color.green())
                                      .arg(color.blue())
                                      .arg(mm(color.alphaF()));
}

// A family name inside CSS quotes, with the generic family a reader falls back to when it lacks it.
QString cssFontFamily(const QString& family)
{
    QString name;
    for (QChar c : family)
        if (c != u'"' && c != u'\\' && c != u'<' && c != u'>' && c != u';' && c.isPrint())
            name += c;
    const QString lower = name.toLower();
    QString generic = QStringLiteral("sans-serif");
    if (lower.contains(u"mono") || lower.contains(u"courier"))
        generic = QStringLiteral("monospace");
    else if (!lower.contains(u"sans")
             && (lower.contains(u"serif") || lower.contains(u"times") || lower.contains(u"song") || lower.contains(u"ming")))
        generic = QStringLiteral("serif");
    return name.isEmpty() ? generic : QStringLiteral("\"%1\",%2").arg(name, generic);
}

// A CSV field, quoted when a comma, quote or line break would otherwise end it (RFC 4180).
QString csvField(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QByteArray csvLine(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& field : fields)
        quoted.append(csvField(field));
    return (quoted.join(u',') + QStringLiteral("\r\n")).toUtf8();
}

// Targets a browser opens without running anything: a javascript: or file: URL stays plain text.
bool isWebLink(const QString& target)
{
    const QString scheme = target.section(u':', 0, 0).trimmed().toLower();
    return target.contains(u':') && (scheme == u"http" || scheme == u"https" || scheme == u"mailto");
}

bool sameDetail(const TemplateBand& band, const QString& detailId)
{
    return band.detailId.compare(detailId, Qt::CaseInsensitive) == 0;
}

// One line per detail row, the detail band's cells left to right, under the detail header's texts.
class CsvSink final : public ExportSink {
public:
    CsvSink(ExportOutput& output, QString detailId) : m_output(output), m_detailId(std::move(detailId)) {}

    bool begin(const TemplateSheet& sheet, int) override
    {
        const std::vector<QString> details = sheet.detailIds();
        if (m_detailId.isEmpty()) {
            if (details.empty()) {
                error = QStringLiteral("The sheet \"%1\" has no detail to write as CSV").arg(sheet.name);
                return false;
            }
            m_detailId = details.front();
        } else if (std::none_of(details.begin(), details.end(),
                                [&](const QString& id) { return id.compare(m_detailId, Qt::CaseInsensitive) == 0; })) {
            error = QStringLiteral("The sheet \"%1\" has no detail \"%2\"").arg(sheet.name, m_detailId);
            return false;
        }
        m_bands = BandIndex(sheet);
        for (const TemplateBand& band : sheet.bands)
            if (band.kind == BandKind::Detail && sameDetail(band, m_detailId))
                for (const TemplateCell& cell : band.cells)
                    m_columns.push_back(&cell);
        std::stable_sort(m_columns.begin(), m_columns.end(), [](const TemplateCell* a, const TemplateCell* b) {
            return a->x != b->x ? a->x < b->x : a->y < b->y;
        });
        m_device = m_output.open(-1, 1);
        if (!m_device)
            error = m_output.failure;
        return m_device != nullptr;
    }

    bool page(LaidOutPage& page, int) override
    {
        std::vector<const PageItem*> header;
        std::map<std::pair<int, int>, size_t> rowOf;
        std::vector<std::vector<const PageItem*>> rows;
        for (const PageItem& item : page.items) {
            const TemplateBand* band = m_bands.bandOf(item);
            if (!band || !sameDetail(*band, m_detailId))
                continue;
            if (band->kind == BandKind::DetailHeader && !m_headerWritten) {
                // One header: the first master row's, not those of the rows further down the page.
                if (header.empty() || header.front()->masterIndex == item.masterIndex)
                    header.push_back(&item);
            } else if (band->kind == BandKind::Detail) {
                const auto [at, added] = rowOf.try_emplace({item.masterIndex, item.rowIndex}, rows.size());
                if (added)
                    rows.emplace_back();
                rows[at->second].push_back(&item);
            }
        }
        QByteArray bytes;
        if (!header.empty()) {
            std::stable_sort(header.begin(), header.end(),
                             [](const PageItem* a, const PageItem* b) { return a->rect.x() < b->rect.x(); });
            QStringList fields;
            for (const PageItem* item : header)
                fields.append(item->text);
            bytes += csvLine(fields);
            m_headerWritten = true;
        }
        for (const std::vector<const PageItem*>& row : rows) {
            QStringList fields;
            for (const TemplateCell* column : m_columns) {
                const auto item = std::find_if(row.begin(), row.end(), [&](const PageItem* i) { return i->cell == column; });
                fields.append(item == row.end() ? QString() : (*item)->text);
            }
            bytes += csvLine(fields);
        }
        return writeAll(*m_device, bytes, error);
    }

    bool finish() override
    {
        return closeOutput(m_output);
    }

private:
    ExportOutput& m_output;
    QString m_detailId;
    BandIndex m_bands;
    std::vector<const TemplateCell*> m_columns;
    QIODevice* m_device = nullptr;
    bool m_headerWritten = false;
};

// Each page as lines of text: items on about the same height form a line, placed by their x in
// columns of a character's width, so that tables stay tables in a monospaced reader.
class TextSink final : public ExportSink {
public:
    explicit TextSink(ExportOutput& output) : m_output(output) {}

    bool begin(const TemplateSheet&, int) override
    {
        m_device = m_output.open(-1, 1);
        if (!m_device)
            error = m_output.failure;
        return m_device != nullptr;
    }

    bool page(LaidOutPage& page, int index) override
    {
        constexpr double CharacterWidth = 2.0; // mm: a 10-point monospaced character is about 2.1 mm
        std::vector<const PageItem*> items;
        for (const PageItem& item : page.items)
            if (!item.text.trimmed().isEmpty() && !(item.graphic && item.graphic->kind() != PageGraphic::Kind::Barcode))
                items.push_back(&item);
        const auto middle = [](const PageItem* item) { return item->rect.center().y(); };
        std::stable_sort(items.begin(), items.end(), [&](auto* a, auto* b) { return middle(a) < middle(b); });
        QString text;
        if (index > 0)
            text += u'\f';
        for (size_t first = 0; first < items.size();) {
            // A line takes the items whose middle lies within the first one's upper and lower thirds.
            const double reach = std::max(1.0, items[first]->rect.height() / 3);
            size_t end = first + 1;
            while (end < items.size() && middle(items[end]) - middle(items[first]) <= reach)
                ++end;
            std::vector<const PageItem*> line(items.begin() + static_cast<std::ptrdiff_t>(first),
                                              items.begin() + static_cast<std::ptrdiff_t>(end));
            std::stable_sort(line.begin(), line.end(), [](auto* a, auto* b) { return a->rect.x() < b->rect.x(); });
            QString lineText;
            for (const PageItem* item : line) {
                const qsizetype column = std::max<qsizetype>(0, std::lround(item->rect.x() / CharacterWidth));
                if (lineText.size() < column)
                    lineText += QString(column - lineText.size(), u' ');
                else if (!lineText.isEmpty())
                    lineText += u' ';
                lineText += item->text.simplified();
            }
            text += lineText + u'\n';
            first = end;
        }
        return writeAll(*m_device, text.toUtf8(), error);
    }

    bool finish() override
    {
        return closeOutput(m_output);
    }

private:
    ExportOutput& m_output;
    QIODevice* m_device = nullptr;
};

// One self-contained document: every page a block of the paper's size, items placed on it in mm.
class HtmlSink final : public ExportSink {
public:
    HtmlSink(ExportOutput& output, QString title) : m_output(output), m_title(std::move(title)) {}

    bool begin(const TemplateSheet& sheet, int) override
    {
        m_device = m_output.open(-1, 1);
        if (!m_device) {
            error = m_output.failure;
            return false;
        }
        const QString title = m_title.isEmpty() ? sheet.name : m_title;
        const QString head = QStringLiteral(
            "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n<style>\n"
            "body{background:#808080;margin:0;padding:8mm 0}\n"
            ".page{position:relative;overflow:hidden;background:#fff;margin:0 auto 8mm auto}\n"
            ".c{position:absolute;box-sizing:border-box;overflow:hidden;display:flex;padding:0 0.8mm;white-space:pre}\n"
            ".c svg,.c img{position:absolute;left:0;top:0;width:100%;height:100%}\n"
            ".w{position:absolute;left:50%;top:50%;white-space:nowrap;pointer-events:none}\n"
            "@media print{body{background:none;padding:0}.page{margin:0;page-break-after:always}}\n"
            "</style>\n</head>\n<body>\n")
                                 .arg(title.toHtmlEscaped());
        return writeAll(*m_device, head.toUtf8(), error);
    }

    bool page(LaidOutPage& page, int) override
    {
        QString html = QStringLiteral("<div class=\"page\" style=\"width:%1mm;height:%2mm\">\n")
                           .arg(mm(page.paper.width()), mm(page.paper.height()));
        if (page.watermark) {
            const Watermark& mark = *page.watermark;
            html += QStringLiteral("<div class=\"w\" style=\"font-size:%1pt;color:%2;opacity:%3;"
                                   "transform:translate(-50%,-50%) rotate(%4deg)\">%5</div>\n")
                        .arg(mm(mark.size), cssColor(mark.color), mm(mark.opacity), mm(-mark.angle),
                             mark.text.toHtmlEscaped());
        }
        for (const PageItem& item : page.items)
            html += itemHtml(item);
        html += QStringLiteral("</div>\n");
        // The page's new looks go before it; a style element may stand in the body.
        if (!m_newClasses.isEmpty()) {
            html.prepend(QStringLiteral("<style>\n%1</style>\n").arg(m_newClasses));
            m_newClasses.clear();
        }
        return writeAll(*m_device, html.toUtf8(), error);
    }

    bool finish() override
    {
        if (!writeAll(*m_device, QByteArrayLiteral("</body>\n</html>\n"), error))
            return false;
        return closeOutput(m_output);
    }

private:
    // The item's block: its place inline, its look as a class shared by every item that looks alike.
    QString itemHtml(const PageItem& item)
    {
        const CellStyle& style = item.style;
        QString look;
        if (style.background.isValid())
            look += QStringLiteral("background:") + cssColor(style.background) + u';';
        for (const auto& [side, name] : {std::pair {BorderLeft, "left"}, std::pair {BorderTop, "top"},
                                         std::pair {BorderRight, "right"}, std::pair {BorderBottom, "bottom"}})
            if (style.borders & side)
                look += QStringLiteral("border-%1:0.2mm solid #000;").arg(QLatin1String(name));
        QString content;
        if (item.graphic) {
            content = graphicHtml(item);
        } else if (!item.text.isEmpty()) {
            look += QStringLiteral("font-family:%1;font-size:%2pt;color:%3;")
                        .arg(cssFontFamily(style.fontFamily), mm(style.fontSize), cssColor(style.color));
            if (style.bold)
                look += QStringLiteral("font-weight:bold;");
            if (style.italic)
                look += QStringLiteral("font-style:italic;");
            if (style.underline)
                look += QStringLiteral("text-decoration:underline;");
            const Qt::Alignment align = style.alignment;
            const char* horizontal = align & Qt::AlignHCenter ? "center" : align & Qt::AlignRight ? "right" : "left";
            const char* justify = align & Qt::AlignHCenter ? "center" : align & Qt::AlignRight ? "flex-end" : "flex-start";
            const char* vertical = align & Qt::AlignTop ? "flex-start" : align & Qt::AlignBottom ? "flex-end" : "center";
            look += QStringLiteral("text-align:%1;justify-content:%2;align-items:%3;")
                        .arg(QLatin1String(horizontal), QLatin1String(justify), QLatin1String(vertical));
            if (style.wrap)
                look += QStringLiteral("white-space:pre-wrap;");
            content = item.text.toHtmlEscaped();
            if (isWebLink(item.link))
                content = QStringLiteral("<a href=\"%1\">%2</a>").arg(item.link.toHtmlEscaped(), content);
            content = QStringLiteral("<span>%1</span>").arg(content);
        }
        QString& name = m_classes[look];
        if (name.isEmpty()) {
            name = QStringLiteral("s%1").arg(m_classes.size());
            m_newClasses += QStringLiteral(".%1{%2}\n").arg(name, look);
        }
        return QStringLiteral("<div class=\"c %1\" style=\"left:%2mm;top:%3mm;width:%4mm;height:%5mm\">%6</div>\n")
            .arg(name, mm(item.rect.x()), mm(item.rect.y()), mm(item.rect.width()), mm(item.rect.height()), content);
    }

    // A picture as PNG, anything else drawn as SVG; made once per graphic and size, as one logo
    // stands on every page.
    QString graphicHtml(const PageItem& item)
    {
        const QSizeF size = item.rect.size();
        // The key holds the graphic, so that its address is not reused by another while cached; a
        // barcode per row would fill the cache, so it starts over now and then.
        if (m_graphics.size() >= 256)
            m_graphics.clear();
        QString& html = m_graphics[{item.graphic, qRound(size.width() * 100), qRound(size.height() * 100)}];
        if (!html.isEmpty())
            return html;
        if (item.graphic->kind() == PageGraphic::Kind::Image) {
            const QByteArray png = graphicPng(*item.graphic, size, 200 / 25.4);
            if (!png.isEmpty())
                html = QStringLiteral("<img alt=\"\" src=\"data:image/png;base64,%1\">")
                           .arg(QString::fromLatin1(png.toBase64()));
        } else {
            html = QString::fromUtf8(graphicSvg(*item.graphic, size));
        }
        return html;
    }

    ExportOutput& m_output;
    QString m_title;
    QIODevice* m_device = nullptr;
    std::map<QString, QString> m_classes; // class name by look
    QString m_newClasses; // rules not yet written
    std::map<std::tuple<std::shared_ptr<const PageGraphic>, int, int>, QString> m_graphics;
};

// One SVG file per page, as the PNG pages of vlreport.
class SvgSink final : public ExportSink {
public:
    explicit SvgSink(ExportOutput& output) : m_output(output) {}

    bool begin(const TemplateSheet& sheet, int pageCount) override
    {
        m_paper = sheet.page.paper;
        m_pageCount = pageCount;
        return true;
    }

    bool page(LaidOutPage& page, int index) override
    {
        QIODevice* device = m_output.open(index, m_pageCount);
        if (!device) {
            error = m_output.failure;
            return false;
        }
        const QSizeF paper = page.paper.isEmpty() ? m_paper : page.paper;
        if (!writeSvgPage(page, paper, *device)) {
            error = QStringLiteral("Page %1 could not be drawn as SVG").arg(index + 1);
            return false;
        }
        return closeOutput(m_output);
    }

    bool finish() override { return true; }

private:
    ExportOutput& m_output;
    QSizeF m_paper;
    int m_pageCount = 0;
};

} // namespace

BandIndex::BandIndex(const TemplateSheet& sheet)
{
    const auto add = [this](const TemplateBand& band) {
        for (const TemplateCell& cell : band.cells)
            m_bands.emplace(&cell, &band);
    };
    for (const TemplateBand& band : sheet.bands)
        add(band);
    const auto addGroups = [&](const std::vector<TemplateGroup>& groups) {
        for (const TemplateGroup& group : groups) {
            for (const TemplateBand& band : group.headers)
                add(band);
            for (const TemplateBand& band : group.footers)
                add(band);
        }
    };
    addGroups(sheet.masterGroups);
    for (const auto& [detail, groups] : sheet.detailGroups)
        addGroups(groups);
}

const TemplateBand* BandIndex::bandOf(const PageItem& item) const
{
    const auto found = m_bands.find(item.cell);
    return found == m_bands.end() ? nullptr : found->second;
}

QByteArray graphicPng(const PageGraphic& graphic, QSizeF size, double pixelsPerMm)
{
    constexpr int MaxSide = 4000; // a picture larger than this adds bytes, not detail anyone sees
    pixelsPerMm = std::min({pixelsPerMm, MaxSide / std::max(size.width(), 0.1), MaxSide / std::max(size.height(), 0.1)});
    const QSize pixels(std::max(1, qRound(size.width() * pixelsPerMm)), std::max(1, qRound(size.height() * pixelsPerMm)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        graphic.paint(painter, QRectF(QPointF(0, 0), QSizeF(pixels)), pixelsPerMm, pixelsPerMm * 25.4 / image.logicalDpiY());
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

QByteArray graphicSvg(const PageGraphic& graphic, QSizeF size)
{
    const double pixelsPerMm = SvgDpi / 25.4;
    const QSizeF pixels(size.width() * pixelsPerMm, size.height() * pixelsPerMm);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setResolution(static_cast<int>(SvgDpi));
    generator.setSize(pixels.toSize().expandedTo(QSize(1, 1)));
    generator.setViewBox(QRectF(QPointF(0, 0), pixels));
    {
        QPainter painter;
        if (!painter.begin(&generator))
            return {};
        graphic.paint(painter, QRectF(QPointF(0, 0), pixels), pixelsPerMm, 1.0);
        painter.end();
    }
    // Inline in HTML the element stands alone: no XML declaration, no document type.
    const qsizetype start = bytes.indexOf("<svg");
    return start < 0 ? QByteArray() : bytes.mid(start);
}

bool writeAll(QIODevice& device, const QByteArray& bytes, QString& error)
{
    if (device.write(bytes) == bytes.size())
        return true;
    error = QStringLiteral("The export could not be written: %1").arg(device.errorString());
    return false;
}

bool writeSvgPage(const LaidOutPage& page, QSizeF paper, QIODevice& device)
{
    const double pixelsPerMm = SvgDpi / 25.4;
    const QSizeF pixels(paper.width() * pixelsPerMm, paper.height() * pixelsPerMm);
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setResolution(static_cast<int>(SvgDpi));
    generator.setSize(pixels.toSize());
    generator.setViewBox(QRectF(QPointF(0, 0), pixels));
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    painter.fillRect(QRectF(QPointF(0, 0), pixels), Qt::white);
    paintPage(painter, page, QPointF(0, 0), pixelsPerMm);
    return painter.end();
}

std::optional<ExportFormat> exportFormatNamed(const QString& name)
{
    const QString lower = name.toLower();
    if (lower == u"xlsx")
        return ExportFormat::Xlsx;
    if (lower == u"csv")
        return ExportFormat::Csv;
    if (lower == u"html" || lower == u"htm")
        return ExportFormat::Html;
    if (lower == u"svg")
        return ExportFormat::Svg;
    if (lower == u"txt" || lower == u"text")
        return ExportFormat::Text;
    return std::nullopt;
}

QString exportFormatExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Xlsx:
        return QStringLiteral("xlsx");
    case ExportFormat::Csv:
        return QStringLiteral("csv");
    case ExportFormat::Html:
        return QStringLiteral("html");
    case ExportFormat::Svg:
        return QStringLiteral("svg");
    case ExportFormat::Text:
        return QStringLiteral("txt");
    }
    return {};
}

QString svgPageFileName(int page, int pageCount)
{
    const int digits = std::max<int>(3, static_cast<int>(QString::number(pageCount).size()));
    return QStringLiteral("page-%1.svg").arg(page + 1, digits, 10, QLatin1Char('0'));
}

SessionResult exportSheet(ReportSession& session, const QString& sheetName, ExportFormat format, ExportOutput& output,
                          const ExportOptions& options)
{
    std::unique_ptr<ExportSink> sink;
    switch (format) {
    case ExportFormat::Xlsx:
        sink = makeXlsxSink(output);
        break;
    case ExportFormat::Csv:
        sink = std::make_unique<CsvSink>(output, options.detailId);
        break;
    case ExportFormat::Html:
        sink = std::make_unique<HtmlSink>(output, options.title);
        break;
    case ExportFormat::Svg:
        sink = std::make_unique<SvgSink>(output);
        break;
    case ExportFormat::Text:
        sink = std::make_unique<TextSink>(output);
        break;
    }
    // Tells the output how many pages there are before the format sees the first.
    struct Counting final : PageSink {
        ExportSink& sink;
        ExportOutput& output;
        Counting(ExportSink& s, ExportOutput& o) : sink(s), output(o) {}
        bool begin(const TemplateSheet& sheet, int pageCount) override
        {
            output.pageCount = pageCount;
            return sink.begin(sheet, pageCount);
        }
        bool page(LaidOutPage& page, int index) override { return sink.page(page, index); }
    } counting(*sink, output);
    const SessionResult streamed = session.streamSheet(sheetName, counting);
    if (!streamed && !streamed.message.isEmpty())
        return streamed;
    if (!streamed || !sink->finish()) {
        QString message = !output.writeFailure().isEmpty() ? output.writeFailure()
            : sink->error.isEmpty()                         ? output.failure
                                                            : sink->error;
        if (message.isEmpty())
            message = QStringLiteral("The export could not be written");
        return {SessionResult::Failed, message};
    }
    return {};
}

} // namespace vl
