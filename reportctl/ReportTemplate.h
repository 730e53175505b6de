#pragma once
// The report template: sheets of bands of cells, read from our own XML format (docs/template-format.md).
// Geometry is in millimetres, font sizes in points.

#include "ReportExpression.h"
#include "ReportXml.h"

#include <QColor>
#include <QSizeF>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vl {

// Ranges of the template's numbers, refused outside them (docs/template-format.md). Every length (paper,
// margins, band heights, cell position and size) is at most MaxTemplateLength mm, about the largest
// page a PDF reader shows (200 inches).
inline constexpr double MaxTemplateLength = 5000.0;
inline constexpr double MinPaperLength = 10.0;
inline constexpr double MinCellWidth = 0.1;
inline constexpr double MinFontSize = 1.0; // points
inline constexpr double MaxFontSize = 1000.0;
// Levels of <group> in one chain; deeper nesting is refused (and would be no report anyone reads).
inline constexpr int MaxGroupLevels = 16;
// Columns of a detail band.
inline constexpr int MaxBandColumns = 50;

// One piece of a cell's text: literal text or an expression evaluated during layout.
struct TextSegment {
    // Field, Sum, Count, PageNumber and PageCount are the simple forms; anything else is a Formula.
    enum Kind { Literal, Field, Sum, Count, PageNumber, PageCount, Formula };
    Kind kind = Literal;
    QString text; // the literal text
    QString source; // "Master" or a DetailID
    QString field; // empty for a count of rows
    std::shared_ptr<const Expression> expression {}; // every kind but Literal; null when built by code
};

enum BorderSide { BorderLeft = 1, BorderTop = 2, BorderRight = 4, BorderBottom = 8, BorderAll = 15 };

struct CellStyle {
    QString fontFamily = QStringLiteral("WenQuanYi Micro Hei");
    double fontSize = 10.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    int borders = 0; // BorderSide bits
    QColor color = Qt::black;
    QColor background; // invalid: transparent
    int decimals = -1; // digits after the point for sums; -1: as many as needed
    QString format; // display format of values, see formatValue(); empty: plain text
    bool wrap = false; // break long text into lines at the cell's width
};

// A style attribute whose value is an expression, evaluated for each row the cell prints.
enum class StyleAttribute { Font, Size, Bold, Italic, Underline, Color, Background, Align, VAlign, Border, Decimals, Format, Wrap };

struct StyleExpression {
    StyleAttribute attribute = StyleAttribute::Color;
    std::shared_ptr<const Expression> expression;
};

// Sets one attribute of `style` from an evaluated expression, by the rules of the attribute written in
// the template; false, with `style` unchanged, for a value the attribute cannot take.
bool applyStyleValue(CellStyle& style, StyleAttribute attribute, const ExprValue& value);
// The attribute's name as written in the template ("color").
QString styleAttributeName(StyleAttribute attribute);

// How a picture takes its frame: whole and centred, filling it and cut, stretched to it, or at its own
// size from the top left corner.
enum class ImageFit { Contain, Cover, Stretch, None };

// <image>: a picture from a file (relative to the template's folder) or from a data: URI; `src` may be
// an expression, so a field can carry the picture.
struct TemplateImage {
    std::vector<TextSegment> src;
    ImageFit fit = ImageFit::Contain;
};

enum class BarcodeType { QrCode, Code128, Code39, Ean13, UpcA, DataMatrix, Pdf417 };
// The type's name as the template writes it ("qrcode").
QString barcodeTypeName(BarcodeType type);

// <barcode>: the cell's text (segments) encoded as a symbol, scaled to the frame.
struct TemplateBarcode {
    BarcodeType type = BarcodeType::QrCode;
    bool showText = true; // the human-readable text under a linear symbol
};

enum class ChartType { Bar, Line, Pie };

// <chart>: one point per row of its scope, values summed per equal category.
struct TemplateChart {
    ChartType type = ChartType::Bar;
    QString source; // "Master" or a DetailID
    std::shared_ptr<const Expression> category;
    std::shared_ptr<const Expression> value;
    QString title;
};

struct TemplateCell {
    double x = 0, y = 0, width = 0, height = 0; // height 0: the band's height less y
    // At most one of these is set; none: a text cell.
    std::shared_ptr<const TemplateImage> image;
    std::shared_ptr<const TemplateBarcode> barcode;
    std::shared_ptr<const TemplateChart> chart;
    std::vector<TextSegment> segments;
    CellStyle style;
    // Applied over `style` in order, the band's own first; a cell's attribute written plainly is not
    // overridden by the band's expression for it.
    std::vector<StyleExpression> styleExpressions;
    std::shared_ptr<const Expression> visible; // null: always shown
    QString name; // element name in events; empty: the cell's single field ("Detail.Salary"), if any
    bool input = false; // editable in the view when the control is Inputable; edits its single field
    std::vector<TextSegment> href; // non-empty: a hyperlink whose target is this text

    // "Source.Field" when the cell shows exactly one field, else empty.
    QString boundField() const;
    QString elementName() const { return name.isEmpty() ? boundField() : name; }
};

enum class BandKind { Title, PageHeader, PageFooter, Master, DetailHeader, Detail, DetailFooter, Summary, GroupHeader, GroupFooter };

enum class PageBreak { None, Before, After };
enum class ColumnOrder { Down, Across };

struct TemplateBand {
    BandKind kind = BandKind::Title;
    QString detailId; // for the detail kinds
    double height = 6.0; // the least height; a growing band takes what its wrapped cells need
    bool grow = false;
    std::vector<TemplateCell> cells;
    std::shared_ptr<const Expression> visible; // null: always shown; a hidden band takes no space
    PageBreak pageBreak = PageBreak::None;
    // A detail band in columns (labels, lists): `columns` copies across the page's width, `columnGap`
    // mm apart, filled down each column or across each line.
    int columns = 1;
    double columnGap = 0;
    ColumnOrder columnOrder = ColumnOrder::Down;
};

// Rows that follow one another with the same value of `by` form a group. Levels nest: a sheet's
// groups over one source are one chain, outermost first.
struct TemplateGroup {
    QString source; // "Master" or a DetailID
    std::shared_ptr<const Expression> by;
    QString byText; // as written, for messages
    bool newPage = false; // each group starts a page
    bool keepTogether = false; // a group that fits on a page is not split
    bool repeatHeader = false; // the header repeats at the top of each page the group continues on
    std::vector<TemplateBand> headers, footers; // at most one each as written
};

// Text drawn large and faint behind every page of a sheet.
struct Watermark {
    QString text;
    double size = 72; // points
    QColor color = QColor(0xC0, 0xC0, 0xC0);
    double angle = 45; // degrees, counter-clockwise from the page's horizontal
    double opacity = 0.3;
};

enum class ParameterType { Text, Number, Date };

struct TemplateParameter {
    QString name;
    ParameterType type = ParameterType::Text;
    ExprValue defaultValue; // of the type; Empty when none was given
};

// Reads a parameter's value from its text: a number in the C locale's notation, a date as
// yyyy-MM-dd (or the data layer's short forms), any text. False, with a reason, for text of the wrong type.
bool parameterValue(ParameterType type, const QString& text, ExprValue& value, QString& reason);
QString parameterTypeName(ParameterType type);

struct PageSetup {
    QSizeF paper {210.0, 297.0}; // as printed: width and height already follow the orientation
    bool landscape = false;
    double marginLeft = 15, marginTop = 15, marginRight = 15, marginBottom = 15;
};

struct TemplateSheet {
    QString name;
    PageSetup page;
    QString folder; // where relative image paths start; empty: the working folder
    std::vector<TemplateBand> bands; // in template order
    std::vector<TemplateGroup> masterGroups; // levels over the master rows, outermost first
    // Per DetailID (as the detail bands spell it), levels over its rows within one master row.
    std::vector<std::pair<QString, std::vector<TemplateGroup>>> detailGroups;
    std::shared_ptr<const Watermark> watermark; // null: none

    // The group levels over a detail's rows (compared without letter case); empty when none.
    const std::vector<TemplateGroup>& groupsOf(const QString& detailId) const;

    // The detail ids the sheet prints, in order of first appearance.
    std::vector<QString> detailIds() const;
};

struct ReportTemplate {
    int version = 0;
    // The document's metadata for PDF output, from <report title= author= subject=>; empty: none.
    QString title, author, subject;
    std::vector<TemplateSheet> sheets;
    std::vector<TemplateParameter> parameters; // names unique without regard to case

    // The parameter of that name (compared without letter case), or null.
    const TemplateParameter* parameter(const QString& name) const;

    // The sheet of that name (compared without letter case), or null.
    const TemplateSheet* sheet(const QString& name) const;
};

// Parses template text (UTF-8). On failure `out` is left unchanged and the result says where and why;
// document type declarations are refused.
ParseResult parseTemplate(std::string_view xml, ReportTemplate& out);

// Reads and parses a template file; a missing file is refused naming it. Relative image paths of its
// sheets start at the file's folder.
ParseResult loadTemplateFile(const QString& path, ReportTemplate& out);

// Splits a cell text into segments: literal text and [expression]s (ReportExpression.h); "[[" is a literal
// "[". Returns false with a reason for an unknown or unterminated expression.
bool parseCellText(const QString& text, std::vector<TextSegment>& segments, QString& reason);

} // namespace vl
