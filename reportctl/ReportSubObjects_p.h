#pragma once
// The three sub-objects the control hands out; each keeps the control alive while it lives.

#include "ReportViewIntf.h"

#include "ComPtr.h"

namespace vl {
class ReportViewControl;
ComPtr<IReportDocument> createReportDocument(ReportViewControl* control);
ComPtr<IReportData> createReportData(ReportViewControl* control);
ComPtr<IReportPrinter> createReportPrinter(ReportViewControl* control);
} // namespace vl
