#pragma once
// A PDF writer that paints through QPainter and writes each page to its device as soon as the page's
// painter ends, so a long report never sits in memory. Text becomes glyph runs of embedded, subset
// fonts (CID, Identity-H) with a ToUnicode map, so it stays selectable; paths, rectangles, lines,
// images (each stored once however often painted), rectangular and path clips, opacity and any
// affine transform are drawn as vectors. Gradients and patterns paint as their first colour.

#include <QIODevice>
#include <QPaintDevice>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>

class QPainter;

namespace vl {

class PdfWriterPrivate;

struct PdfInfo {
    QString title, author, subject, creator;
};

class PdfWriter {
public:
    // Device units per inch of the pages' paint devices: point sizes and pens scale by it.
    static constexpr int Resolution = 1200;

    // The device is not owned, must be open for writing and outlive the writer; the header is written
    // at once. Write failures are the device's to report (OutputFileDevice::failure()).
    PdfWriter(QIODevice& device, const PdfInfo& info);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // A device for the next page, `paperMm` millimetres; open a QPainter on it, paint, end the
    // painter: the page is written then. The device stays owned by the writer and serves one page.
    QPaintDevice& newPage(QSizeF paperMm);
    // A link annotation on the last page begun, its area in millimetres from the paper's top left.
    void addLink(const QRectF& areaMm, const QString& url);
    // An outline (bookmark) entry at the top level pointing at `page` (0-based, begun already) at
    // `topMm` from its top.
    void addOutlineEntry(const QString& title, int page, double topMm);
    // Pages begun so far.
    int pageCount() const;
    // Draws a picture that `key` names wherever `painter` paints, storing its drawing once per writer
    // (a form object) however many pages show it: the first call has `draw` paint into the rectangle
    // it is given, later calls with the same key reuse that drawing scaled onto `target` (painter
    // units). False, with nothing drawn, when the painter is not on a page of a PdfWriter, has an
    // opacity below 1 or a target it cannot keep; the caller then paints as it would anywhere else.
    // Keys are the caller's: one key must always name the same drawing.
    static bool drawReusable(QPainter& painter, quint64 key, const QRectF& target,
                             const std::function<void(QPainter&, const QRectF&)>& draw);
    // Writes fonts, outline, page tree and trailer. False when a page is still being painted or
    // nothing could be written; a writer is finished once.
    bool finish();

private:
    std::unique_ptr<PdfWriterPrivate> d;
};

} // namespace vl
