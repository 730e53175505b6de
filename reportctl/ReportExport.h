#pragma once
// Exports of a laid-out sheet to files other programs read: a spreadsheet (XLSX), the rows of one
// detail as CSV, one self-contained HTML page, an SVG per page and plain text. Each walks the pages
// that ReportSession::streamSheet hands out, as paper output does; docs/export.md says what each keeps.

#include "ReportSession.h"

#include <QString>

#include <optional>

class QIODevice;

namespace vl {

enum class ExportFormat { Xlsx, Csv, Html, Svg, Text };

// The format named by `name` ("xlsx", "csv", "html", "svg", "txt" or "text"; any letter case).
std::optional<ExportFormat> exportFormatNamed(const QString& name);
// The usual file extension, without the dot ("xlsx", "txt").
QString exportFormatExtension(ExportFormat format);

struct ExportOptions {
    QString detailId; // CSV: the detail whose rows are written; empty: the sheet's first
    QString title; // HTML: the document's title; empty: the sheet's name
};

// Where an export's bytes go. SVG writes one file per page, every other format one file.
class ExportOutput {
public:
    virtual ~ExportOutput() = default;
    // The device for the one file (`page` -1) or for page `page` (0-based) of `pageCount`; it stays
    // the output's. Null stops the export; `failure` then says why.
    virtual QIODevice* open(int page, int pageCount) = 0;
    // The file opened last is complete; false stops the export, `failure` saying why.
    virtual bool close() = 0;
    // Why a write to the device failed, when the output knows better than the device's errorString
    // (the disk is full); empty otherwise.
    virtual QString writeFailure() const { return {}; }
    QString failure;
    int pageCount = 0; // the sheet's pages, once the layout has counted them
};

// The name of page `page` (0-based) of `pageCount` in an SVG folder: page-001.svg, as the PNG pages.
QString svgPageFileName(int page, int pageCount);

// Lays the sheet out (empty: the active one) and writes it to `output`, page by page. A failure
// (an unknown detail, a refused layout, a write that failed) is Failed with its message, the output's
// own failure if it told one; what was written before stays the output's to discard.
SessionResult exportSheet(ReportSession& session, const QString& sheetName, ExportFormat format, ExportOutput& output,
                          const ExportOptions& options = {});

// One page painted as SVG into `device`, at 96 dots per inch on white paper.
bool writeSvgPage(const LaidOutPage& page, QSizeF paper, QIODevice& device);

// Excel's number format for a cell's display format and decimals ("#,##0.00", "\"¥\"#,##0",
// "yyyy-mm-dd"); empty for the general format. `isDate` tells which kind it became.
QString spreadsheetNumberFormat(const QString& format, int decimals, bool* isDate = nullptr);

} // namespace vl
