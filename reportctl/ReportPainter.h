#pragma once
// The one painter of laid-out pages, for screen, printer, preview and PDF alike.

#include "ReportLayout.h"

class QPainter;
class QPagedPaintDevice;

namespace vl {

// Draws one page with its top left corner at `origin` (device pixels), `pixelsPerMm` device pixels per
// millimetre. Draws the items only: paper and border are the caller's, since a printer has its own.
void paintPage(QPainter& painter, const LaidOutPage& page, QPointF origin, double pixelsPerMm);

// Prints every page onto a paged device (printer or PDF writer), one device page per report page, with
// the device's page size set to the report's paper. Returns false when the device cannot be painted on.
bool printReport(const LaidOutReport& report, QPagedPaintDevice& device);
// The same for the pages first to last (1-based, inclusive, clamped to the report); nothing to print
// (first after last) prints one empty page rather than none, since a device cannot end empty.
bool printReport(const LaidOutReport& report, QPagedPaintDevice& device, int firstPage, int lastPage);

} // namespace vl
