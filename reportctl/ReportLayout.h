#pragma once
// Lays a sheet out over the data: the pages that screen, printer, preview and PDF all draw.

#include "ReportData.h"
#include "ReportTemplate.h"

#include <QRectF>

#include <vector>

namespace vl {

struct PageItem {
    QRectF rect; // mm from the paper's top left corner
    QString text;
    CellStyle style;
};

struct LaidOutPage {
    std::vector<PageItem> items;
};

struct LaidOutReport {
    PageSetup page;
    std::vector<LaidOutPage> pages; // at least one page, possibly empty

    // All text of a page, items separated by line breaks; for tests and diagnostics.
    QString pageText(int index) const;
};

// Fills the sheet's bands with the data. Fields that the data lacks print empty.
LaidOutReport layoutReport(const TemplateSheet& sheet, const ReportDataSet& data);

// The sheet that shows data without a template: every master field, then each detail as a table.
TemplateSheet defaultSheet(const ReportDataSet& data);

// Text of a sum: at most `decimals` digits after the point, or as many as needed when negative.
QString formatNumber(double value, int decimals);

} // namespace vl
