#include "ReportGraphics_p.h"

namespace vl {

std::shared_ptr<const PageGraphic> GraphicMaker::barcode(const TemplateBarcode&, const QString&, const CellStyle&)
{
    m_context.tell(QStringLiteral("Barcodes are not drawn yet; the frame stays empty"));
    return emptyFrame();
}

} // namespace vl
