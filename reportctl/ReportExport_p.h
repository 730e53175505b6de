#pragma once
// What the exports share: the sink each format is, the band each item came from, and pictures of
// page graphics in the forms other files carry them (PNG, SVG).

#include "ReportExport.h"

#include <QByteArray>

#include <memory>
#include <unordered_map>

namespace vl {

// One format's writer, fed by ReportSession::streamSheet. A false answer sets `error`.
class ExportSink : public PageSink {
public:
    // After the last page: completes the file(s).
    virtual bool finish() = 0;
    QString error;

protected:
    // Completes the file opened last; false, with the output's reason, when it cannot.
    bool closeOutput(ExportOutput& output)
    {
        if (output.close())
            return true;
        error = output.failure;
        return false;
    }
};

// The band of the sheet that each template cell belongs to, group headers and footers included.
class BandIndex {
public:
    BandIndex() = default;
    explicit BandIndex(const TemplateSheet& sheet);
    // Null for an item without a cell, or one from another sheet.
    const TemplateBand* bandOf(const PageItem& item) const;

private:
    std::unordered_map<const TemplateCell*, const TemplateBand*> m_bands;
};

// A graphic drawn into a picture of `size` mm: PNG at `pixelsPerMm`, or SVG (the <svg> element
// alone, for inline use) at 96 dots per inch. Empty when nothing could be drawn.
QByteArray graphicPng(const PageGraphic& graphic, QSizeF size, double pixelsPerMm);
QByteArray graphicSvg(const PageGraphic& graphic, QSizeF size);

// Writes all of `bytes`; false, with `error` naming what failed, otherwise.
bool writeAll(QIODevice& device, const QByteArray& bytes, QString& error);

std::unique_ptr<ExportSink> makeXlsxSink(ExportOutput& output);

// A spreadsheet cell's typed content: a number or a date when the item shows exactly one value of
// that kind, else its text.
struct SpreadsheetValue {
    enum Kind { Text, Number, Date };
    Kind kind = Text;
    double number = 0;
    QDateTime date;
    QString numberFormat; // Excel's; empty: general
};
SpreadsheetValue spreadsheetValue(const PageItem& item);

} // namespace vl
