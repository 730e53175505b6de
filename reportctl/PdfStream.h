#pragma once
// Paper outputs fed page by page from ReportSession::streamSheet: a PDF file (with the template's
// metadata, its cells' web links and an outline of the master rows) and a printer.

#include "PdfWriter.h"
#include "ReportSession.h"

#include <QPagedPaintDevice>

#include <climits>
#include <memory>
#include <unordered_set>

namespace vl {

class PdfPageSink : public PageSink {
public:
    // Pages first to last (1-based, inclusive) are written, the rest only laid out; nothing in the
    // range writes one empty page, since a PDF cannot be empty. The device must outlive the sink.
    PdfPageSink(QIODevice& device, const PdfInfo& info, int firstPage = 1, int lastPage = INT_MAX);
    ~PdfPageSink() override;

    bool begin(const TemplateSheet& sheet, int pageCount) override;
    bool page(LaidOutPage& page, int index) override;
    // Ends the document; false when it could not be written.
    bool finish();
    int pagesWritten() const;

private:
    void paint(const LaidOutPage& page, QSizeF paper);

    PdfWriter m_writer;
    int m_first, m_last;
    const TemplateSheet* m_sheet = nullptr;
    std::unordered_set<const TemplateCell*> m_masterCells; // cells of master bands: the outline's titles
    std::unordered_set<int> m_outlined; // master rows with an outline entry
    bool m_failed = false;
};

// Prints pages first to last on a printer as they come, one device page per report page.
class PrintPageSink : public PageSink {
public:
    PrintPageSink(QPagedPaintDevice& device, int firstPage = 1, int lastPage = INT_MAX);
    ~PrintPageSink() override;
    bool begin(const TemplateSheet& sheet, int pageCount) override;
    bool page(LaidOutPage& page, int index) override;
    // Ends the print job; false when the device could not be painted on.
    bool finish();

private:
    QPagedPaintDevice& m_device;
    std::unique_ptr<class QPainter> m_painter;
    int m_first, m_last, m_printed = 0;
    double m_pixelsPerMm = 1;
    QPointF m_origin;
};

// A hyperlink target that a PDF reader may open: http:, https: or mailto:.
bool isWebLink(const QString& target);

} // namespace vl
