#pragma once
// For expression tests that look at what the evaluation asked of its context (host calls, depth) as
// well as at its value.

#include "ReportExpression.h"

#include <gtest/gtest.h>

namespace vl::test
{

// Parses text and evaluates it against context, into value where one is given. Text that does not
// parse is a failure that carries the parser's reason.
inline ::testing::AssertionResult evaluatesIn(
    ExpressionContext& context, const QString& text, ExprValue* value = nullptr)
{
    QString reason;
    const auto expression = parseExpression(text, reason);
    if (!expression)
        return ::testing::AssertionFailure() << reason.toStdString();
    ExprValue result = evaluateExpression(*expression, context);
    if (value)
        *value = std::move(result);
    return ::testing::AssertionSuccess();
}

} // namespace vl::test
