#include "ReportTemplate.h"

#include <QFile>
#include <QPageSize>

#include "NamedLookup_p.h"
#include "ReportXml_p.h"

#include <pugixml.hpp>

#include <array>
#include <cmath>
#include <optional>
#include <utility>

namespace vl {

namespace {

const QString TemplateWhat = QStringLiteral("Template");

// Thrown inside the parser only; parseTemplate turns it into a ParseResult.
struct TemplateError {
    QString reason;
    std::ptrdiff_t offset;
};

[[noreturn]] void refuse(const pugi::xml_node& node, const QString& reason)
{
    throw TemplateError{reason, node.offset_debug()};
}

QString attributeText(const pugi::xml_node& node, const char* name)
{
    return QString::fromUtf8(node.attribute(name).value());
}

// One of three alignments, by the word the attribute holds (any letter case, blanks around it).
using AlignmentWords = std::array<std::pair<QStringView, Qt::AlignmentFlag>, 3>;
Qt::Alignment alignment(const pugi::xml_node& node, const char* name, const AlignmentWords& words)
{
    const QString word = attributeText(node, name).trimmed().toLower();
    for (const auto& [text, flag] : words)
        if (word == text)
            return flag;
    refuse(node, QStringLiteral("%1=\"%2\" is not %3, %4 or %5")
                     .arg(QLatin1String(name), word, words[0].first, words[1].first, words[2].first));
}

// A numeric attribute within its documented range; NaN, the infinities and anything outside the range
// are refused, so no later conversion or sum ever sees them.
double number(const pugi::xml_node& node, const char* name, double fallback, double minimum, double maximum)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        return fallback;
    bool ok = false;
    const double value = QString::fromUtf8(attribute.value()).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minimum || value > maximum)
        refuse(node, QStringLiteral("attribute %1=\"%2\" is not a number from %3 to %4")
                         .arg(QString::fromUtf8(name), QString::fromUtf8(attribute.value()))
                         .arg(minimum)
                         .arg(maximum));
    return value;
}

double length(const pugi::xml_node& node, const char* name, double fallback, double minimum = 0.0)
{
    return number(node, name, fallback, minimum, MaxTemplateLength);
}

int wholeNumber(const pugi::xml_node& node, const char* name, int fallback, int minimum, int maximum)
{
    const double value = number(node, name, fallback, minimum, maximum);
    if (value != std::floor(value))
        refuse(node, QStringLiteral("attribute %1=\"%2\" is not a whole number from %3 to %4")
                         .arg(QString::fromUtf8(name), QString::fromUtf8(node.attribute(name).value()))
                         .arg(minimum)
                         .arg(maximum));
    return static_cast<int>(value);
}

bool flag(const pugi::xml_node& node, const char* name, bool fallback)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        return fallback;
    const QString value = QString::fromUtf8(attribute.value()).trimmed().toLower();
    if (value == u"true" || value == u"1" || value == u"yes")
        return true;
    if (value == u"false" || value == u"0" || value == u"no")
        return false;
    refuse(node, QStringLiteral("attribute %1=\"%2\" is not true or false").arg(QString::fromUtf8(name), value));
}

QColor colour(const pugi::xml_node& node, const char* name, const QColor& fallback)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        return fallback;
    const QColor value = QColor::fromString(QString::fromUtf8(attribute.value()).trimmed());
    if (!value.isValid())
        refuse(node, QStringLiteral("attribute %1=\"%2\" is not a colour")
                         .arg(QString::fromUtf8(name), QString::fromUtf8(attribute.value())));
    return value;
}

// Style attributes shared by <font> (sheet defaults), bands and cells; each level inherits the one above.
CellStyle readStyle(const pugi::xml_node& node, CellStyle style)
{
    if (node.attribute("font"))
        style.fontFamily = attributeText(node, "font");
    style.fontSize = number(node, "size", style.fontSize, MinFontSize, MaxFontSize);
    style.bold = flag(node, "bold", style.bold);
    style.italic = flag(node, "italic", style.italic);
    style.underline = flag(node, "underline", style.underline);
    style.color = colour(node, "color", style.color);
    style.background = colour(node, "background", style.background);
    style.decimals = wholeNumber(node, "decimals", style.decimals, -1, MaxDecimals);
    if (node.attribute("format")) {
        style.format = attributeText(node, "format");
        if (formatDecimals(style.format) > MaxDecimals)
            refuse(node, QStringLiteral("format=\"%1\" asks for more than %2 digits after the point")
                             .arg(style.format.left(64))
                             .arg(MaxDecimals));
    }
    style.wrap = flag(node, "wrap", style.wrap);
    if (node.attribute("align"))
        style.alignment = (style.alignment & Qt::AlignVertical_Mask)
                        | alignment(node, "align", {{{u"left", Qt::AlignLeft}, {u"center", Qt::AlignHCenter}, {u"right", Qt::AlignRight}}});
    if (node.attribute("valign"))
        style.alignment = (style.alignment & Qt::AlignHorizontal_Mask)
                        | alignment(node, "valign", {{{u"top", Qt::AlignTop}, {u"middle", Qt::AlignVCenter}, {u"bottom", Qt::AlignBottom}}});
    if (node.attribute("border")) {
        int borders = 0;
        for (const QString& side : attributeText(node, "border").toLower().split(u',', Qt::SkipEmptyParts)) {
            const QString s = side.trimmed();
            if (s == u"all")
                borders |= BorderAll;
            else if (s == u"left")
                borders |= BorderLeft;
            else if (s == u"top")
                borders |= BorderTop;
            else if (s == u"right")
                borders |= BorderRight;
            else if (s == u"bottom")
                borders |= BorderBottom;
            else if (s != u"none")
                refuse(node, QStringLiteral("border side \"%1\" is not all, none, left, top, right or bottom").arg(s));
        }
        style.borders = borders;
    }
    return style;
}

PageSetup readPage(const pugi::xml_node& node)
{
    PageSetup page;
    const QString orientation = attributeText(node, "orientation").trimmed().toLower();
    if (orientation == u"landscape")
        page.landscape = true;
    else if (!orientation.isEmpty() && orientation != u"portrait")
        refuse(node, QStringLiteral("orientation=\"%1\" is not portrait or landscape").arg(orientation));

    QSizeF paper(210.0, 297.0);
    if (node.attribute("size")) {
        const QString key = attributeText(node, "size").trimmed();
        std::optional<QPageSize> found;
        for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
            const QPageSize candidate(static_cast<QPageSize::PageSizeId>(id));
            if (candidate.key().compare(key, Qt::CaseInsensitive) == 0) {
                found = candidate;
                break;
            }
        }
        if (!found)
            refuse(node, QStringLiteral("paper size \"%1\" is unknown").arg(key));
        paper = found->size(QPageSize::Millimeter);
    }
    paper.setWidth(length(node, "width", paper.width(), MinPaperLength));
    paper.setHeight(length(node, "height", paper.height(), MinPaperLength));
    page.paper = page.landscape ? paper.transposed() : paper;

    if (node.attribute("margins")) {
        const QStringList parts = attributeText(node, "margins").split(u',');
        std::vector<double> values;
        for (const QString& part : parts) {
            bool ok = false;
            const double value = part.trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(value) || value < 0 || value > MaxTemplateLength)
                refuse(node, QStringLiteral("margins=\"%1\" is not left,top,right,bottom in mm, each from 0 to %2")
                                 .arg(attributeText(node, "margins"))
                                 .arg(MaxTemplateLength));
            values.push_back(value);
        }
        if (values.size() == 1)
            values.assign(4, values[0]);
        if (values.size() != 4)
            refuse(node, QStringLiteral("margins=\"%1\" is not left,top,right,bottom in mm, each from 0 to %2")
                             .arg(attributeText(node, "margins"))
                             .arg(MaxTemplateLength));
        page.marginLeft = values[0];
        page.marginTop = values[1];
        page.marginRight = values[2];
        page.marginBottom = values[3];
    }
    if (page.marginLeft + page.marginRight >= page.paper.width()
        || page.marginTop + page.marginBottom >= page.paper.height())
        refuse(node, QStringLiteral("the margins leave no room on the paper"));
    return page;
}

// The band elements of a sheet, by their element names.
constexpr std::pair<std::string_view, BandKind> BandNames[] = {
    {"title", BandKind::Title},
    {"pageHeader", BandKind::PageHeader},
    {"pageFooter", BandKind::PageFooter},
    {"master", BandKind::Master},
    {"detailHeader", BandKind::DetailHeader},
    {"detail", BandKind::Detail},
    {"detailFooter", BandKind::DetailFooter},
    {"summary", BandKind::Summary},
};

std::optional<BandKind> bandKind(std::string_view name)
{
    for (const auto& [bandName, kind] : BandNames)
        if (name == bandName)
            return kind;
    return std::nullopt;
}

bool isDetailKind(BandKind kind)
{
    return kind == BandKind::DetailHeader || kind == BandKind::Detail || kind == BandKind::DetailFooter;
}

TemplateBand readBand(const pugi::xml_node& node, BandKind kind, const CellStyle& sheetStyle)
{
    TemplateBand band;
    band.kind = kind;
    band.height = length(node, "height", band.height);
    band.grow = flag(node, "grow", false);
    if (isDetailKind(kind)) {
        band.detailId = attributeText(node, "detail").trimmed();
        if (band.detailId.isEmpty())
            refuse(node, QStringLiteral("<%1> needs a detail=\"DetailID\" attribute").arg(QString::fromUtf8(node.name())));
    }
    const CellStyle bandStyle = readStyle(node, sheetStyle);
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (std::string_view(child.name()) != "cell")
            refuse(child, QStringLiteral("<%1> is not allowed in a band; expected <cell>").arg(QString::fromUtf8(child.name())));
        TemplateCell cell;
        cell.x = length(child, "x", 0.0);
        cell.y = length(child, "y", 0.0);
        cell.width = length(child, "width", 0.0, MinCellWidth);
        if (!child.attribute("width"))
            refuse(child, QStringLiteral("<cell> needs a width"));
        cell.height = length(child, "height", 0.0);
        cell.style = readStyle(child, bandStyle);
        cell.name = attributeText(child, "name").trimmed();
        cell.input = flag(child, "input", false);
        QString reason;
        if (!parseCellText(QString::fromUtf8(child.child_value()), cell.segments, reason))
            refuse(child, reason);
        if (cell.input && cell.boundField().isEmpty())
            refuse(child, QStringLiteral("an input cell shows exactly one field, as in [Detail.Salary]"));
        if (child.attribute("href")) {
            if (!parseCellText(attributeText(child, "href"), cell.href, reason))
                refuse(child, reason);
            if (cell.href.empty())
                refuse(child, QStringLiteral("href=\"\" names no target"));
        }
        band.cells.push_back(std::move(cell));
    }
    return band;
}

TemplateSheet readSheet(const pugi::xml_node& node)
{
    TemplateSheet sheet;
    sheet.name = attributeText(node, "name").trimmed();
    if (sheet.name.isEmpty())
        refuse(node, QStringLiteral("<sheet> needs a name"));
    CellStyle sheetStyle;
    bool pageSeen = false;
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string_view name = child.name();
        if (name == "page") {
            if (pageSeen)
                refuse(child, QStringLiteral("a sheet has one <page>"));
            pageSeen = true;
            sheet.page = readPage(child);
        } else if (name == "font") {
            sheetStyle = readStyle(child, sheetStyle);
        } else if (const auto kind = bandKind(name)) {
            sheet.bands.push_back(readBand(child, *kind, sheetStyle));
        } else {
            refuse(child, QStringLiteral("<%1> is not allowed in a sheet").arg(QString::fromUtf8(child.name())));
        }
    }
    return sheet;
}

} // namespace

std::vector<QString> TemplateSheet::detailIds() const
{
    std::vector<QString> ids;
    for (const TemplateBand& band : bands) {
        if (band.detailId.isEmpty())
            continue;
        const bool known = std::any_of(ids.begin(), ids.end(),
                                       [&](const QString& id) { return id.compare(band.detailId, Qt::CaseInsensitive) == 0; });
        if (!known)
            ids.push_back(band.detailId);
    }
    return ids;
}

const TemplateSheet* ReportTemplate::sheet(const QString& name) const
{
    return findNamed(sheets, &TemplateSheet::name, name);
}

QString TemplateCell::boundField() const
{
    if (segments.size() == 1 && segments.front().kind == TextSegment::Field)
        return segments.front().source + u'.' + segments.front().field;
    return {};
}

bool parseCellText(const QString& text, std::vector<TextSegment>& segments, QString& reason)
{
    segments.clear();
    QString literal;
    auto flushLiteral = [&] {
        if (!literal.isEmpty())
            segments.push_back(TextSegment{TextSegment::Literal, literal, {}, {}, nullptr});
        literal.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'[') {
            literal += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == u'[') {
            literal += u'[';
            ++i;
            continue;
        }
        // A ] inside a quoted string does not end the expression.
        qsizetype close = -1;
        QChar quote;
        for (qsizetype j = i + 1; j < text.size(); ++j) {
            const QChar c = text[j];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u']') {
                close = j;
                break;
            }
        }
        if (close < 0) {
            reason = QStringLiteral("unterminated expression \"%1\"").arg(text.mid(i));
            return false;
        }
        const QString body = text.mid(i + 1, close - i - 1);
        auto expression = parseExpression(body, reason);
        if (!expression)
            return false;
        TextSegment segment;
        segment.expression = expression;
        switch (expression->kind) {
        case Expression::Field:
            segment.kind = TextSegment::Field;
            break;
        case Expression::PageNumber:
            segment.kind = TextSegment::PageNumber;
            break;
        case Expression::PageCount:
            segment.kind = TextSegment::PageCount;
            break;
        case Expression::Aggregate:
            segment.kind = expression->aggregate == AggregateKind::Sum     ? TextSegment::Sum
                         : expression->aggregate == AggregateKind::Count ? TextSegment::Count
                                                                          : TextSegment::Formula;
            break;
        default:
            segment.kind = TextSegment::Formula;
        }
        if (segment.kind != TextSegment::Formula) {
            segment.source = expression->source;
            segment.field = expression->field;
        }
        flushLiteral();
        segments.push_back(std::move(segment));
        i = close;
    }
    flushLiteral();
    return true;
}

ParseResult parseTemplate(std::string_view xml, ReportTemplate& out)
{
    int line = 0, column = 0;
    std::ptrdiff_t at = 0;
    if (const QString problem = markupProblem(xml, at); !problem.isEmpty()) {
        lineAndColumn(xml, at, line, column);
        return ParseResult::failure(positionMessage(TemplateWhat, problem, line, column), line, column);
    }
    pugi::xml_document document;
    // The doctype is parsed only to be refused; pugixml would skip it silently otherwise.
    const unsigned options = pugi::parse_default | pugi::parse_doctype;
    const pugi::xml_parse_result parsed
        = document.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
    if (!parsed) {
        lineAndColumn(xml, parsed.offset, line, column);
        return ParseResult::failure(
            positionMessage(TemplateWhat, QString::fromUtf8(parsed.description()), line, column), line, column);
    }
    try {
        pugi::xml_node where;
        if (const QString problem = topLevelProblem(document, where); !problem.isEmpty())
            refuse(where, problem);
        const pugi::xml_node root = document.document_element();
        if (std::string_view(root.name()) != "report")
            refuse(root, QStringLiteral("the root element is <%1>, expected <report>").arg(QString::fromUtf8(root.name())));
        const QString version = attributeText(root, "version").trimmed();
        if (version != u"1")
            refuse(root, version.isEmpty() ? QStringLiteral("<report> needs version=\"1\"")
                                           : QStringLiteral("template version \"%1\" is not supported").arg(version));
        ReportTemplate result;
        result.version = 1;
        for (const pugi::xml_node& child : root.children()) {
            if (child.type() != pugi::node_element)
                continue;
            if (std::string_view(child.name()) != "sheet")
                refuse(child, QStringLiteral("<%1> is not allowed in <report>").arg(QString::fromUtf8(child.name())));
            TemplateSheet sheet = readSheet(child);
            if (result.sheet(sheet.name))
                refuse(child, QStringLiteral("sheet \"%1\" is defined twice").arg(sheet.name));
            result.sheets.push_back(std::move(sheet));
        }
        if (result.sheets.empty())
            refuse(root, QStringLiteral("<report> has no <sheet>"));
        out = std::move(result);
        return {};
    } catch (const TemplateError& error) {
        lineAndColumn(xml, markupStart(xml, error.offset), line, column);
        return ParseResult::failure(positionMessage(TemplateWhat, error.reason, line, column), line, column);
    }
}

ParseResult loadTemplateFile(const QString& path, ReportTemplate& out)
{
    QFile file(path);
    if (!file.exists())
        return ParseResult::failure(QStringLiteral("Template file \"%1\" not found").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return ParseResult::failure(QStringLiteral("Template file \"%1\" cannot be read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    ParseResult result = parseTemplate(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), out);
    if (!result.ok)
        result.message = QStringLiteral("Template file \"%1\": %2").arg(path, result.message.mid(TemplateWhat.size() + 2));
    return result;
}

} // namespace vl
