#pragma once
// The report template: sheets of bands of cells, read from our own XML format (docs/template-format.md).
// Geometry is in millimetres, font sizes in points.

#include "ReportExpression.h"
#include "ReportXml.h"

#include <QColor>
#include <QSizeF>
#include <QString>

#include <string>
#include <string_view>
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

struct TemplateCell {
    double x = 0, y = 0, width = 0, height = 0; // height 0: the band's height less y
    std::vector<TextSegment> segments;
    CellStyle style;
    QString name; // element name in events; empty: the cell's single field ("Detail.Salary"), if any
    bool input = false; // editable in the view when the control is Inputable; edits its single field
    std::vector<TextSegment> href; // non-empty: a hyperlink whose target is this text

    // "Source.Field" when the cell shows exactly one field, else empty.
    QString boundField() const;
    QString elementName() const { return name.isEmpty() ? boundField() : name; }
};

enum class BandKind { Title, PageHeader, PageFooter, Master, DetailHeader, Detail, DetailFooter, Summary };

struct TemplateBand {
    BandKind kind = BandKind::Title;
    QString detailId; // for the detail kinds
    double height = 6.0; // the least height; a growing band takes what its wrapped cells need
    bool grow = false;
    std::vector<TemplateCell> cells;
};

struct PageSetup {
    QSizeF paper {210.0, 297.0}; // as printed: width and height already follow the orientation
    bool landscape = false;
    double marginLeft = 15, marginTop = 15, marginRight = 15, marginBottom = 15;
};

struct TemplateSheet {
    QString name;
    PageSetup page;
    std::vector<TemplateBand> bands; // in template order

    // The detail ids the sheet prints, in order of first appearance.
    std::vector<QString> detailIds() const;
};

struct ReportTemplate {
    int version = 0;
    std::vector<TemplateSheet> sheets;

    // The sheet of that name (compared without letter case), or null.
    const TemplateSheet* sheet(const QString& name) const;
};

// Parses template text (UTF-8). On failure `out` is left unchanged and the result says where and why;
// document type declarations are refused.
ParseResult parseTemplate(std::string_view xml, ReportTemplate& out);

// Reads and parses a template file; a missing file is refused naming it.
ParseResult loadTemplateFile(const QString& path, ReportTemplate& out);

// Splits a cell text into segments: literal text and [expression]s (ReportExpression.h); "[[" is a literal
// "[". Returns false with a reason for an unknown or unterminated expression.
bool parseCellText(const QString& text, std::vector<TextSegment>& segments, QString& reason);

} // namespace vl
