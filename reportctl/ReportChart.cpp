#include "ReportGraphics_p.h"

namespace vl {

std::shared_ptr<const PageGraphic> GraphicMaker::chart(const TemplateChart&, const CellStyle&)
{
    m_context.tell(QStringLiteral("Charts are not drawn yet; the frame stays empty"));
    return emptyFrame();
}

} // namespace vl
