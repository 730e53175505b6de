#pragma once
// The table of built-in functions: name, how many arguments, implementation. A call whose name is found
// here is checked against the count when it is parsed; any other name goes to the host.

#include "ReportExpression.h"

#include <QString>
#include <QStringView>

#include <cstddef>

namespace vl {

// The longest text a built-in function returns; a longer result is Empty, so no function grows a text
// without bound.
inline constexpr qsizetype MaxFunctionText = 1 << 20;

// A call's arguments as the function sees them: each evaluated when asked, and again if asked again.
class FunctionArguments {
public:
    virtual size_t count() const = 0;
    // Empty for an index at or beyond count().
    virtual ExprValue value(size_t index) = 0;
    virtual ExpressionContext& context() = 0;

protected:
    ~FunctionArguments() = default;
};

struct BuiltinFunction {
    const char16_t* name; // as documented; calls match it without regard to case
    int minArguments;
    int maxArguments; // -1: no upper bound
    ExprValue (*evaluate)(FunctionArguments& arguments);
};

// The row of the function named `name` in any case, or -1.
int findBuiltin(QStringView name);
int builtinFunctionCount();
// `index` must be below builtinFunctionCount().
const BuiltinFunction& builtinFunction(int index);
// "2 arguments", "1 or 2 arguments", "at least 1 argument", "no arguments": for a refusal's message.
QString argumentCountText(const BuiltinFunction& function);

} // namespace vl
