#pragma once
// Lays a sheet out over the data: the pages that screen, printer, preview and PDF all draw.

#include "ReportData.h"
#include "ReportTemplate.h"

#include <QDateTime>
#include <QHash>
#include <QRectF>

class QPainter;

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vl {

// What an item draws instead of text: a picture, a barcode's bars, a chart. Immutable and shared, so a
// picture on every page is one object (and one image in a PDF). Painted through QPainter like the rest
// of the page, as vector shapes where it has them.
class PageGraphic {
public:
    enum class Kind { Image, Barcode, Chart, Empty };
    virtual ~PageGraphic() = default;
    virtual Kind kind() const = 0;
    // Draws into `frame` (device pixels), `pixelsPerMm` device pixels per millimetre; `fontScale` turns
    // point sizes into the device's, as for the page's text.
    virtual void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double fontScale) const = 0;
};

struct PageItem {
    QRectF rect; // mm from the paper's top left corner
    QString text;
    CellStyle style;
    // The template cell it came from; points into the template the layout was made from and is valid
    // while that lives. Null for items of a layout built without a template cell.
    const TemplateCell* cell = nullptr;
    QString value; // the cell's value before its display format, for the display-value event
    QString link; // the hyperlink target; empty: no hyperlink
    int masterIndex = -1; // the master row the cell was filled from; -1: none
    int rowIndex = -1; // the detail row (index into its table's rows); -1: none
    bool bound = false; // the text comes from expressions: hosts may change what is shown
    // Drawn in place of `text` (a barcode's text is what it encodes; pictures and charts have none);
    // null: a text item.
    std::shared_ptr<const PageGraphic> graphic;
};

struct LaidOutPage {
    std::vector<PageItem> items;
    std::shared_ptr<const Watermark> watermark; // drawn behind the items; null: none
    QSizeF paper; // mm; where the watermark's middle is
};

struct LaidOutReport {
    PageSetup page;
    std::vector<LaidOutPage> pages; // at least one page, possibly empty

    // All text of a page, items separated by line breaks; for tests and diagnostics.
    QString pageText(int index) const;
};

// What the host adds to a layout. Every member may be empty.
struct LayoutHooks {
    // A problem worth telling the user (a field or detail the data lacks, an unknown function); each
    // distinct message is told once per layout. Layout goes on: the cell prints empty.
    std::function<void(const QString& message)> prompt;
    // A function of the template that is not built in; nullopt when the host does not know it either.
    std::function<std::optional<ExprValue>(const QString& name, const std::vector<ExprValue>& args)> customFunction;
    QDateTime printTime; // what [Date] and [Now] show; invalid: the time the layout starts
    // The values of [Param.Name], keyed by the name in lower case; a parameter missing here is empty.
    QHash<QString, ExprValue> parameters;
    // False for a pass that only counts the pages: pictures, barcodes and charts take their frames but are
    // not read, encoded or computed, since nothing is drawn.
    bool makeGraphics = true;
};

// Lays a sheet out page by page, so that the first pages show long before the last is known. The
// sheet and the data must outlive the layouter and stay unchanged.
class ReportLayouter {
public:
    ReportLayouter(const TemplateSheet& sheet, const ReportDataSet& data, LayoutHooks hooks = {});
    ~ReportLayouter();
    ReportLayouter(const ReportLayouter&) = delete;
    ReportLayouter& operator=(const ReportLayouter&) = delete;

    // Goes on until `pages` pages are finished or the report ends; true when it has ended.
    bool layoutUntil(int pages);
    // Goes on for about `milliseconds`, in whole bands; true when the report has ended.
    bool layoutFor(int milliseconds);
    bool done() const;
    // Finished pages so far; all pages once done().
    int pageCount() const;
    const PageSetup& pageSetup() const;
    // A finished page, its [Pages] shown as the count so far (the final count once done()).
    LaidOutPage page(int index) const;
    // Hands over a finished page and frees it here, so a layout streamed to paper keeps no pages;
    // page(index) is empty afterwards. [Pages] shows `pageCount`, or the count so far when it is 0.
    LaidOutPage takePage(int index, int pageCount = 0);
    // Lays out to the end and hands over every page; the layouter is empty afterwards.
    LaidOutReport takeReport();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// Fills the sheet's bands with the data, all pages at once. Fields that the data lacks print empty.
LaidOutReport layoutReport(const TemplateSheet& sheet, const ReportDataSet& data, LayoutHooks hooks = {});

// The sheet that shows data without a template: every master field, then each detail as a table.
TemplateSheet defaultSheet(const ReportDataSet& data);

// Text of a sum: at most `decimals` digits after the point (and at most MaxDecimals), or as many as
// needed when negative.
QString formatNumber(double value, int decimals);

// The text of cell segments for one master row and detail row (-1: none), as the layout would print it
// there; for hyperlink targets and edited inputs.
QString evaluateCellText(const std::vector<TextSegment>& segments, const CellStyle& style, const ReportDataSet& data,
                         int masterIndex, const QString& detailId, int rowIndex);

} // namespace vl
