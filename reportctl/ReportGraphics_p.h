#pragma once
// The graphics of image, barcode and chart cells, made while a band is filled. Each kind lives in a
// unit of its own (ReportImage.cpp, ReportBarcode.cpp, ReportChart.cpp).

#include "ReportLayoutContext_p.h"

#include <memory>

namespace vl {

// A frame with nothing to show, for a picture that cannot be read or data a symbology cannot encode:
// a thin grey outline keeps the place visible, and the report goes on.
std::shared_ptr<const PageGraphic> emptyFrame();

// Text a message quotes (a picture's source, a barcode's data): at most 60 characters, control
// characters shown as '?', so binary bytes or a long data: URI keep the message on one short line.
inline QString quotedForMessage(const QString& text)
{
    QString shown = text.size() <= 60 ? text : text.left(57) + QStringLiteral("...");
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    return shown;
}

class GraphicMaker {
public:
    // `context` and `sheet` must outlive the maker; the context's scope is that of the band being filled.
    GraphicMaker(LayoutContext& context, const TemplateSheet& sheet);
    ~GraphicMaker();
    GraphicMaker(const GraphicMaker&) = delete;
    GraphicMaker& operator=(const GraphicMaker&) = delete;

    // Never null: a problem gives emptyFrame(), told once through the context.
    // `src` is the image's source evaluated for the current rows.
    std::shared_ptr<const PageGraphic> image(const TemplateImage& image, const QString& src);
    // `data` is the cell's text evaluated for the current rows; `style` gives the human-readable text's font.
    std::shared_ptr<const PageGraphic> barcode(const TemplateBarcode& barcode, const QString& data, const CellStyle& style);
    // One point per row of the context's scope; `style` gives the labels' font and colour.
    std::shared_ptr<const PageGraphic> chart(const TemplateChart& chart, const CellStyle& style);

private:
    struct Images; // pictures read so far, by source: each is read once and shared by every page
    LayoutContext& m_context;
    const TemplateSheet& m_sheet;
    std::unique_ptr<Images> m_images;
    struct Barcodes; // symbols encoded so far, by type, data and text; made on the first barcode
    std::shared_ptr<Barcodes> m_barcodes;
};

} // namespace vl
