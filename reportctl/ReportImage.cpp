#include "ReportGraphics_p.h"

namespace vl {

struct GraphicMaker::Images {
};

GraphicMaker::GraphicMaker(LayoutContext& context, const TemplateSheet& sheet)
    : m_context(context), m_sheet(sheet), m_images(std::make_unique<Images>())
{
}

GraphicMaker::~GraphicMaker() = default;

std::shared_ptr<const PageGraphic> GraphicMaker::image(const TemplateImage&, const QString&)
{
    m_context.tell(QStringLiteral("Pictures are not read yet; the frame stays empty"));
    return emptyFrame();
}

} // namespace vl
