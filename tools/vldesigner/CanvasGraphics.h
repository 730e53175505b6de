#pragma once
// What the canvas draws for a sheet's pictures, barcodes and charts. Those that need no data are made by
// the engine itself (a picture from a file or a data: URI, a barcode of fixed text, a chart, which shows
// its title and empty axes without rows), through a layout of one band over an empty data set; the others
// are frames labelled with what they will show.

#include "DesignDocument.h"
#include "ReportLayout.h"

#include <QHash>

#include <memory>

namespace vl::designer
{

// A frame with a caption, for an item whose look depends on the data.
std::shared_ptr<const PageGraphic> labelledFrame(PageGraphic::Kind kind, const QString& caption);

// What the frame of an image, barcode or chart item says ("Barcode code128: [Detail.EmpNo]").
QString itemCaption(const DesignItem& item);

class CanvasGraphics
{
public:
    // Makes the graphics of every image, barcode and chart of `sheet`; `folder` is where relative picture
    // paths start (empty: the working folder).
    void rebuild(const DesignSheet& sheet, const QString& folder);
    // The graphic of an item of the sheet last rebuilt; null for a text cell or an unknown node.
    std::shared_ptr<const PageGraphic> graphic(pugi::xml_node item) const;

private:
    QHash<const void*, std::shared_ptr<const PageGraphic>> m_graphics;
};

} // namespace vl::designer
