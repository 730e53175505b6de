#pragma once
// Lays a sheet out over data and paints what comes out, the way the tools and the window do, within
// bounds a fuzz run can afford. Shared by the targets that reach the layout.

#include "ReportData.h"
#include "ReportTemplate.h"

namespace fuzz {

// Creates the one QGuiApplication on the offscreen platform that layout and painting need. Call once,
// from LLVMFuzzerInitialize.
void startGuiApplication();

enum class Output {
    None, // layout only
    Images, // each page into a small image
    ImagesAndPdf, // and the first pages into a PDF in memory, which costs the most: once per input
};

// Lays out at most the first few pages of `sheet` over `data` and paints them. Aborts when an accepted
// sheet yields a page or an item whose geometry is not a finite number, which no reader may let through.
void layoutAndPaint(const vl::TemplateSheet& sheet, const vl::ReportDataSet& data, Output output);

} // namespace fuzz
