#pragma once
// The three sub-objects the control hands out; each keeps the control alive while it lives.

#include "ReportViewIntf.h"

#include "ReportExpression.h"

#include "ComPtr.h"

#include <optional>
#include <vector>

namespace vl {
class ReportViewControl;
ComPtr<IReportDocument> createReportDocument(ReportViewControl* control);
ComPtr<IReportData> createReportData(ReportViewControl* control);
ComPtr<IReportPrinter> createReportPrinter(ReportViewControl* control);

// The object that OnCustomFunctionExecute hands to the host: the function's name and arguments, and the
// result the host puts. Lives on its own; the control reads the result after the event.
ComPtr<ICustomFunction> createCustomFunction(const QString& name, const std::vector<ExprValue>& args);
// The result a handler put, or nullopt when it put none.
std::optional<ExprValue> customFunctionResult(ICustomFunction* function);
} // namespace vl
