#include "ReportTemplate.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QPageSize>

#include "NamedLookup_p.h"
#include "ReportAttributes_p.h"
#include "ReportWalk_p.h"
#include "ReportXml_p.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>

namespace vl {

namespace {

const QString TemplateWhat = QStringLiteral("Template");

// The longest watermark text: a few words across a page, not a document.
constexpr qsizetype MaxWatermarkChars = 200;

// Thrown inside the parser only; parseTemplate turns it into a ParseResult.
struct TemplateError {
    QString reason;
    std::ptrdiff_t offset;
};

[[noreturn]] void refuse(const pugi::xml_node& node, const QString& reason)
{
    throw TemplateError{reason, node.offset_debug()};
}

// A PDF reader shows these in a line of its document properties.
constexpr int MaxMetadataChars = 1000;

QString attributeText(const pugi::xml_node& node, const char* name)
{
    return QString::fromUtf8(node.attribute(name).value());
}

// What the reader knows of the whole template while it reads a sheet.
struct TemplateContext {
    const std::vector<TemplateParameter>* parameters = nullptr; // declared by <parameter>
};

// Every [Param.Name] must name a declared parameter: a misspelt one is a fault of the template, found
// when it is read rather than as an empty cell.
void checkParameters(const pugi::xml_node& node, const Expression& expression, const TemplateContext& context)
{
    visitExpression(expression, [&](const Expression& part) {
        if (part.kind != Expression::Parameter)
            return;
        const bool declared = context.parameters
            && std::any_of(context.parameters->begin(), context.parameters->end(), [&](const TemplateParameter& parameter) {
                   return parameter.name.compare(part.text, Qt::CaseInsensitive) == 0;
               });
        if (!declared)
            refuse(node, QStringLiteral("[Param.%1] names no <parameter> of the template").arg(part.text));
    });
}

// visible="false" written plainly: an expression that is always false, so the layout has one rule.
std::shared_ptr<const Expression> constantFalse()
{
    auto expression = std::make_shared<Expression>();
    expression->kind = Expression::Number;
    expression->number = 0;
    return expression;
}

// An attribute read by one of the text rules of ReportAttributes_p.h: the fallback when it is absent, the
// element's position and the rule's reason when its text breaks the rule.
template <class Value, class Rule> Value readAttribute(const pugi::xml_node& node, const char* name, Value fallback, Rule rule)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        return fallback;
    Value value{};
    QString reason;
    if (!rule(QString::fromUtf8(attribute.value()), value, reason))
        refuse(node, reason);
    return value;
}

// A numeric attribute within its documented range; NaN, the infinities and anything outside the range
// are refused, so no later conversion or sum ever sees them.
double number(const pugi::xml_node& node, const char* name, double fallback, double minimum, double maximum)
{
    return readAttribute(node, name, fallback, [&](const QString& text, double& value, QString& reason) {
        return readNumberAttribute(name, text, minimum, maximum, value, reason);
    });
}

double length(const pugi::xml_node& node, const char* name, double fallback, double minimum = 0.0)
{
    return number(node, name, fallback, minimum, MaxTemplateLength);
}

int wholeNumber(const pugi::xml_node& node, const char* name, int fallback, int minimum, int maximum)
{
    return readAttribute(node, name, fallback, [&](const QString& text, int& value, QString& reason) {
        return readWholeAttribute(name, text, minimum, maximum, value, reason);
    });
}

bool flag(const pugi::xml_node& node, const char* name, bool fallback)
{
    return readAttribute(node, name, fallback, [&](const QString& text, bool& value, QString& reason) {
        return readFlagAttribute(name, text, value, reason);
    });
}

// An attribute written as one expression in brackets, "[Detail.Salary > 10000]"; null for plain text.
std::shared_ptr<const Expression> attributeExpression(const pugi::xml_node& node, const char* name,
                                                      const TemplateContext& context)
{
    const QString text = attributeText(node, name).trimmed();
    if (text.size() < 2 || !text.startsWith(u'[') || !text.endsWith(u']') || text.startsWith(QLatin1String("[[")))
        return nullptr;
    QString reason;
    std::shared_ptr<const Expression> expression = parseExpression(text.mid(1, text.size() - 2), reason);
    if (!expression)
        refuse(node, QStringLiteral("%1=\"%2\": %3").arg(QString::fromUtf8(name), text.left(200), reason));
    checkParameters(node, *expression, context);
    return expression;
}

// Style attributes shared by <font> (sheet defaults), bands and cells; each level inherits the one above.
// Where `expressions` is given, an attribute in brackets is an expression evaluated per row; elsewhere
// (the sheet's <font>, which prints no row) it is refused.
CellStyle readStyle(const pugi::xml_node& node, CellStyle style, const TemplateContext& context,
                    std::vector<StyleExpression>* expressions = nullptr)
{
    // In this order, so that of several faulty attributes the same one is named each time.
    static const char* const names[] = {"font", "size", "bold", "italic", "underline", "color", "background",
                                        "decimals", "format", "wrap", "align", "valign", "border"};
    for (const char* name : names) {
        if (!node.attribute(name))
            continue;
        StyleAttribute attribute = StyleAttribute::Font;
        styleAttributeOf(name, attribute);
        if (std::shared_ptr<const Expression> expression = attributeExpression(node, name, context)) {
            if (!expressions)
                refuse(node, QStringLiteral("%1 cannot hold an expression in <%2>").arg(QString::fromUtf8(name), QString::fromUtf8(node.name())));
            expressions->push_back(StyleExpression{attribute, std::move(expression)});
            continue;
        }
        QString reason;
        if (!setStyleAttribute(style, attribute, attributeText(node, name), reason))
            refuse(node, reason);
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

// A cell's text, and its href, as segments; every parameter they name must be declared.
std::vector<TextSegment> cellSegments(const pugi::xml_node& node, const QString& text, const TemplateContext& context)
{
    std::vector<TextSegment> segments;
    QString reason;
    if (!parseCellText(text, segments, reason))
        refuse(node, reason);
    for (const TextSegment& segment : segments)
        if (segment.expression)
            checkParameters(node, *segment.expression, context);
    return segments;
}

PageBreak pageBreakOf(const pugi::xml_node& node)
{
    const QString word = attributeText(node, "pageBreak").trimmed().toLower();
    if (word.isEmpty() || word == u"none")
        return PageBreak::None;
    if (word == u"before")
        return PageBreak::Before;
    if (word == u"after")
        return PageBreak::After;
    refuse(node, QStringLiteral("pageBreak=\"%1\" is not before, after or none").arg(word));
}

void readColumns(const pugi::xml_node& node, TemplateBand& band)
{
    const bool given = node.attribute("columns") || node.attribute("columnGap") || node.attribute("columnOrder");
    if (!given)
        return;
    if (band.kind != BandKind::Detail)
        refuse(node, QStringLiteral("columns are for <detail> bands only"));
    band.columns = wholeNumber(node, "columns", 1, 1, MaxBandColumns);
    band.columnGap = length(node, "columnGap", 0.0);
    const QString order = attributeText(node, "columnOrder").trimmed().toLower();
    if (order == u"across")
        band.columnOrder = ColumnOrder::Across;
    else if (!order.isEmpty() && order != u"down")
        refuse(node, QStringLiteral("columnOrder=\"%1\" is not down or across").arg(order));
}

// One of the words of `names` (any letter case), as its index; `fallback` when the attribute is absent.
template <class Kind, size_t N>
Kind wordAttribute(const pugi::xml_node& node, const char* name, const std::array<const char*, N>& names, Kind fallback)
{
    if (!node.attribute(name))
        return fallback;
    const QString word = attributeText(node, name).trimmed().toLower();
    for (size_t i = 0; i < N; ++i)
        if (word == QLatin1String(names[i]))
            return static_cast<Kind>(i);
    QStringList known;
    for (const char* each : names)
        known << QString::fromLatin1(each);
    refuse(node, QStringLiteral("%1=\"%2\" is not one of %3").arg(QString::fromUtf8(name), word.left(64), known.join(u", ")));
}

constexpr std::array<const char*, 4> ImageFitNames {"contain", "cover", "stretch", "none"};
constexpr std::array<const char*, 7> BarcodeTypeNames {"qrcode", "code128", "code39", "ean13", "upca", "datamatrix", "pdf417"};
constexpr std::array<const char*, 3> ChartTypeNames {"bar", "line", "pie"};

std::shared_ptr<const TemplateImage> readImage(const pugi::xml_node& node, const TemplateContext& context)
{
    auto image = std::make_shared<TemplateImage>();
    image->src = cellSegments(node, attributeText(node, "src"), context);
    if (image->src.empty())
        refuse(node, QStringLiteral("<image> needs a src, a file or an expression in brackets"));
    image->fit = wordAttribute(node, "fit", ImageFitNames, ImageFit::Contain);
    return image;
}

std::shared_ptr<const TemplateBarcode> readBarcode(const pugi::xml_node& node)
{
    auto barcode = std::make_shared<TemplateBarcode>();
    if (!node.attribute("type"))
        refuse(node, QStringLiteral("<barcode> needs a type"));
    barcode->type = wordAttribute(node, "type", BarcodeTypeNames, BarcodeType::QrCode);
    barcode->showText = flag(node, "showText", true);
    return barcode;
}

std::shared_ptr<const TemplateChart> readChart(const pugi::xml_node& node, const TemplateContext& context)
{
    auto chart = std::make_shared<TemplateChart>();
    chart->type = wordAttribute(node, "type", ChartTypeNames, ChartType::Bar);
    chart->source = attributeText(node, "source").trimmed();
    if (chart->source.isEmpty())
        refuse(node, QStringLiteral("<chart> needs a source, \"Master\" or a DetailID"));
    chart->category = attributeExpression(node, "category", context);
    chart->value = attributeExpression(node, "value", context);
    if (!chart->category || !chart->value)
        refuse(node, QStringLiteral("<chart> needs category=\"[expression]\" and value=\"[expression]\""));
    chart->title = attributeText(node, "title");
    return chart;
}

TemplateBand readBand(const pugi::xml_node& node, BandKind kind, const CellStyle& sheetStyle, const TemplateContext& context)
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
    band.visible = attributeExpression(node, "visible", context);
    if (!band.visible && node.attribute("visible") && !flag(node, "visible", true))
        band.visible = constantFalse();
    band.pageBreak = pageBreakOf(node);
    if (band.pageBreak != PageBreak::None && (kind == BandKind::PageHeader || kind == BandKind::PageFooter))
        refuse(node, QStringLiteral("a page header or footer cannot break the page"));
    readColumns(node, band);
    std::vector<StyleExpression> bandExpressions;
    const CellStyle bandStyle = readStyle(node, sheetStyle, context, &bandExpressions);
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string_view element = child.name();
        if (element != "cell" && element != "image" && element != "barcode" && element != "chart")
            refuse(child, QStringLiteral("<%1> is not allowed in a band; expected <cell>, <image>, <barcode> or <chart>")
                              .arg(QString::fromUtf8(child.name())));
        TemplateCell cell;
        cell.x = length(child, "x", 0.0);
        cell.y = length(child, "y", 0.0);
        cell.width = length(child, "width", 0.0, MinCellWidth);
        if (!child.attribute("width"))
            refuse(child, QStringLiteral("<%1> needs a width").arg(QString::fromUtf8(child.name())));
        cell.height = length(child, "height", 0.0);
        std::vector<StyleExpression> own;
        cell.style = readStyle(child, bandStyle, context, &own);
        // The band's expressions first, then the cell's own; an attribute the cell writes plainly is its own.
        for (const StyleExpression& inherited : bandExpressions)
            if (!child.attribute(styleAttributeName(inherited.attribute).toLatin1().constData()))
                cell.styleExpressions.push_back(inherited);
        cell.styleExpressions.insert(cell.styleExpressions.end(), own.begin(), own.end());
        cell.visible = attributeExpression(child, "visible", context);
        if (!cell.visible && child.attribute("visible") && !flag(child, "visible", true))
            cell.visible = constantFalse();
        cell.name = attributeText(child, "name").trimmed();
        cell.input = flag(child, "input", false);
        if (cell.input && element != "cell")
            refuse(child, QStringLiteral("only a <cell> takes input"));
        if (element == "image" || element == "chart") {
            if (!QString::fromUtf8(child.child_value()).trimmed().isEmpty())
                refuse(child, QStringLiteral("<%1> takes no text; its content is in attributes").arg(QString::fromUtf8(child.name())));
            if (element == "image")
                cell.image = readImage(child, context);
            else
                cell.chart = readChart(child, context);
        } else {
            cell.segments = cellSegments(child, QString::fromUtf8(child.child_value()), context);
            if (element == "barcode")
                cell.barcode = readBarcode(child);
        }
        if (cell.input && cell.boundField().isEmpty())
            refuse(child, QStringLiteral("an input cell shows exactly one field, as in [Detail.Salary]"));
        if (child.attribute("href")) {
            cell.href = cellSegments(child, attributeText(child, "href"), context);
            if (cell.href.empty())
                refuse(child, QStringLiteral("href=\"\" names no target"));
        }
        band.cells.push_back(std::move(cell));
    }
    return band;
}

bool isMasterSource(const QString& source)
{
    return source.compare(u"Master", Qt::CaseInsensitive) == 0;
}

// One <group> and the levels nested in it, appended to `chain` outermost first. A nested group reads
// the same source, or a detail's rows inside a group of master rows (then it starts the detail's chain).
void readGroup(const pugi::xml_node& node, const CellStyle& sheetStyle, const TemplateContext& context,
               TemplateSheet& sheet, int depth, bool continuesChain)
{
    if (depth >= MaxGroupLevels)
        refuse(node, QStringLiteral("groups nest deeper than %1 levels").arg(MaxGroupLevels));
    TemplateGroup group;
    group.source = attributeText(node, "source").trimmed();
    if (group.source.isEmpty())
        refuse(node, QStringLiteral("<group> needs source=\"Master\" or a DetailID"));
    group.byText = attributeText(node, "by").trimmed();
    group.by = attributeExpression(node, "by", context);
    if (!group.by)
        refuse(node, QStringLiteral("<group> needs by=\"[expression]\", as in by=\"[%1.Field]\"").arg(group.source));
    group.newPage = flag(node, "newPage", false);
    group.keepTogether = flag(node, "keepTogether", false);
    group.repeatHeader = flag(node, "repeatHeader", false);
    std::vector<pugi::xml_node> nested;
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string_view name = child.name();
        if (name == "groupHeader" || name == "groupFooter") {
            std::vector<TemplateBand>& bands = name == "groupHeader" ? group.headers : group.footers;
            if (!bands.empty())
                refuse(child, QStringLiteral("a <group> has one <%1>").arg(QString::fromUtf8(child.name())));
            bands.push_back(readBand(child, name == "groupHeader" ? BandKind::GroupHeader : BandKind::GroupFooter, sheetStyle, context));
            bands.back().detailId = isMasterSource(group.source) ? QString() : group.source;
        } else if (name == "group") {
            if (!nested.empty())
                refuse(child, QStringLiteral("a <group> holds at most one nested <group>"));
            nested.push_back(child);
        } else {
            refuse(child, QStringLiteral("<%1> is not allowed in a <group>").arg(QString::fromUtf8(child.name())));
        }
    }
    std::vector<TemplateGroup>* chain = nullptr;
    if (isMasterSource(group.source)) {
        if (!continuesChain && !sheet.masterGroups.empty())
            refuse(node, QStringLiteral("the master rows are grouped twice; nest the second <group> in the first"));
        chain = &sheet.masterGroups;
    } else {
        auto found = std::find_if(sheet.detailGroups.begin(), sheet.detailGroups.end(),
                                  [&](const auto& entry) { return entry.first.compare(group.source, Qt::CaseInsensitive) == 0; });
        if (found != sheet.detailGroups.end() && !continuesChain)
            refuse(node, QStringLiteral("the rows of \"%1\" are grouped twice; nest the second <group> in the first").arg(group.source));
        if (found == sheet.detailGroups.end()) {
            sheet.detailGroups.emplace_back(group.source, std::vector<TemplateGroup>{});
            found = std::prev(sheet.detailGroups.end());
        }
        chain = &found->second;
    }
    const QString parentSource = group.source;
    chain->push_back(std::move(group));
    for (const pugi::xml_node& child : nested) {
        const QString childSource = attributeText(child, "source").trimmed();
        const bool sameSource = childSource.compare(parentSource, Qt::CaseInsensitive) == 0;
        if (!isMasterSource(parentSource) && !sameSource)
            refuse(child, QStringLiteral("a group in a group of \"%1\" rows groups the same rows").arg(parentSource));
        readGroup(child, sheetStyle, context, sheet, depth + 1, sameSource);
    }
}

std::shared_ptr<const Watermark> readWatermark(const pugi::xml_node& node)
{
    auto watermark = std::make_shared<Watermark>();
    watermark->text = attributeText(node, "text");
    if (watermark->text.trimmed().isEmpty())
        refuse(node, QStringLiteral("<watermark> needs a text"));
    if (watermark->text.size() > MaxWatermarkChars)
        refuse(node, QStringLiteral("a watermark's text has at most %1 characters").arg(MaxWatermarkChars));
    watermark->size = number(node, "size", watermark->size, MinFontSize, MaxFontSize);
    if (node.attribute("color")) {
        QString reason;
        if (!readColourAttribute("color", attributeText(node, "color"), watermark->color, reason))
            refuse(node, reason);
    }
    watermark->angle = number(node, "angle", watermark->angle, -360, 360);
    watermark->opacity = number(node, "opacity", watermark->opacity, 0, 1);
    return watermark;
}

TemplateSheet readSheet(const pugi::xml_node& node, const TemplateContext& context)
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
            sheetStyle = readStyle(child, sheetStyle, context);
        } else if (name == "group") {
            readGroup(child, sheetStyle, context, sheet, 0, false);
        } else if (name == "watermark") {
            if (sheet.watermark)
                refuse(child, QStringLiteral("a sheet has one <watermark>"));
            sheet.watermark = readWatermark(child);
        } else if (const auto kind = bandKind(name)) {
            sheet.bands.push_back(readBand(child, *kind, sheetStyle, context));
        } else {
            refuse(child, QStringLiteral("<%1> is not allowed in a sheet").arg(QString::fromUtf8(child.name())));
        }
    }
    return sheet;
}

TemplateParameter readParameter(const pugi::xml_node& node, const std::vector<TemplateParameter>& declared)
{
    TemplateParameter parameter;
    parameter.name = attributeText(node, "name").trimmed();
    const bool wellFormed = !parameter.name.isEmpty() && parameter.name.size() <= 64
        && std::all_of(parameter.name.begin(), parameter.name.end(), [](QChar c) { return c.isLetterOrNumber() || c == u'_'; });
    if (!wellFormed)
        refuse(node, QStringLiteral("<parameter> needs a name of letters, digits and _ (at most 64)"));
    for (const TemplateParameter& other : declared)
        if (other.name.compare(parameter.name, Qt::CaseInsensitive) == 0)
            refuse(node, QStringLiteral("parameter \"%1\" is declared twice").arg(parameter.name));
    const QString type = attributeText(node, "type").trimmed().toLower();
    if (type == u"number")
        parameter.type = ParameterType::Number;
    else if (type == u"date")
        parameter.type = ParameterType::Date;
    else if (!type.isEmpty() && type != u"text")
        refuse(node, QStringLiteral("type=\"%1\" is not text, number or date").arg(type));
    if (node.attribute("default")) {
        QString reason;
        if (!parameterValue(parameter.type, attributeText(node, "default"), parameter.defaultValue, reason))
            refuse(node, QStringLiteral("default %1 for a %2 parameter").arg(reason, parameterTypeName(parameter.type)));
    }
    return parameter;
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

const TemplateParameter* ReportTemplate::parameter(const QString& name) const
{
    return findNamed(parameters, &TemplateParameter::name, name);
}

const std::vector<TemplateGroup>& TemplateSheet::groupsOf(const QString& detailId) const
{
    static const std::vector<TemplateGroup> none;
    for (const auto& [id, groups] : detailGroups)
        if (id.compare(detailId, Qt::CaseInsensitive) == 0)
            return groups;
    return none;
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

QString barcodeTypeName(BarcodeType type)
{
    return QString::fromLatin1(BarcodeTypeNames[static_cast<size_t>(type)]);
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
        for (const auto& [name, field] : {std::pair{"title", &result.title}, std::pair{"author", &result.author},
                                          std::pair{"subject", &result.subject}}) {
            *field = attributeText(root, name);
            if (field->size() > MaxMetadataChars)
                refuse(root, QStringLiteral("%1 is longer than %2 characters").arg(QString::fromLatin1(name)).arg(MaxMetadataChars));
        }
        // Parameters first, wherever they stand, so that every sheet's expressions can be checked against them.
        for (const pugi::xml_node& child : root.children("parameter"))
            result.parameters.push_back(readParameter(child, result.parameters));
        TemplateContext context;
        context.parameters = &result.parameters;
        for (const pugi::xml_node& child : root.children()) {
            if (child.type() != pugi::node_element || std::string_view(child.name()) == "parameter")
                continue;
            if (std::string_view(child.name()) != "sheet")
                refuse(child, QStringLiteral("<%1> is not allowed in <report>").arg(QString::fromUtf8(child.name())));
            TemplateSheet sheet = readSheet(child, context);
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
    if (!result.ok) {
        result.message = QStringLiteral("Template file \"%1\": %2").arg(path, result.message.mid(TemplateWhat.size() + 2));
        return result;
    }
    const QString folder = QFileInfo(path).absolutePath();
    for (TemplateSheet& sheet : out.sheets)
        sheet.folder = folder;
    return result;
}

} // namespace vl
