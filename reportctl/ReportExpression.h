#pragma once
// Expressions inside a cell's [ ]: fields, parameters, aggregates, page number and count, the print date,
// numbers and quoted strings, + - * / and & (joining), comparisons, and / or / not, parentheses, the
// built-in functions (ExpressionFunctions_p.h) and functions the host supplies.
// Nesting is bounded (MaxExpressionDepth), so neither the parser nor the evaluator recurses without
// limit; a long chain of one precedence, such as 1+1+...+1, is one node and evaluates in a loop.

#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

namespace vl {

// A value while an expression is evaluated. Data fields are text; arithmetic reads text as a number.
struct ExprValue {
    enum Type { Empty, Number, Text, DateTime, Boolean };
    Type type = Empty;
    double number = 0; // a Boolean's too: 1 or 0
    QString text;
    QDateTime dateTime;

    static ExprValue fromNumber(double value) { return ExprValue{Number, value, {}, {}}; }
    static ExprValue fromText(QString value) { return ExprValue{Text, 0, std::move(value), {}}; }
    static ExprValue fromDateTime(QDateTime value) { return ExprValue{DateTime, 0, {}, std::move(value)}; }
    static ExprValue fromBoolean(bool value) { return ExprValue{Boolean, value ? 1.0 : 0.0, {}, {}}; }
    // True with the number for a Number, 1 or 0 for a Boolean, or for a Text that is a decimal number.
    bool toNumber(double& out) const;
    // Plain text: numbers as needed digits, dates as yyyy-MM-dd (with the time when it is not midnight),
    // truth values as "true" and "false".
    QString toText() const;
};

// Whether a value counts as true where a condition is asked for: a Boolean as it is; a Number when
// non-zero and not NaN; a Text "true" or "false" in any case as that, one that reads as a number as that
// number, any other non-empty text true; a valid date true; Empty false.
bool isTrue(const ExprValue& value);

// Levels an expression may nest: each parenthesis, each function call's parentheses, each unary minus and
// each `not` opens one. Deeper text is refused when it is parsed.
inline constexpr int MaxExpressionDepth = 256;

// The most digits after the point that `decimals` or a number format may ask for; a double holds about
// 17 significant digits, so more would show noise.
inline constexpr int MaxDecimals = 30;

// Sum to Max run over the rows of the band's group; the running kinds over every row printed so far, the
// page kinds over the rows printed on the current page.
enum class AggregateKind { Sum, Count, Avg, Min, Max, RunningSum, RunningCount, PageSum, PageCount };

struct Expression {
    enum Kind {
        Number, Text, Field, Aggregate, PageNumber, PageCount, PrintDate, PrintTime, Call, Binary, Negate,
        Parameter, Builtin, Not, And, Or
    };
    Kind kind = Text;
    double number = 0;
    QString text; // the literal, a Call's or a Builtin's function name, or a Parameter's name
    QString source, field; // Field and Aggregate; field is empty for a count of rows
    AggregateKind aggregate = AggregateKind::Sum;
    int builtin = -1; // a Builtin's row in the table of built-in functions
    // Binary: a chain of one precedence, evaluated left to right; ops[i] stands between args[i] and
    // args[i + 1], all of + - * / & or all comparisons: = < > and u'≠' u'≤' u'≥' for <> <= >=.
    std::vector<char16_t> ops;
    // Call and Builtin arguments, the operands of a Binary, And or Or (a chain, evaluated only as far as
    // its value is not known), the one of a Negate or Not.
    std::vector<std::shared_ptr<const Expression>> args;
};

// What an evaluation reads from the report; the layout supplies it.
class ExpressionContext {
public:
    virtual ExprValue field(const QString& source, const QString& field) = 0;
    virtual ExprValue aggregate(AggregateKind kind, const QString& source, const QString& field) = 0;
    virtual ExprValue pageNumber() = 0;
    virtual ExprValue pageCount() = 0;
    virtual QDateTime printTime() = 0;
    virtual ExprValue call(const QString& name, const std::vector<ExprValue>& args) = 0;
    // The value of the report parameter `Param.name`; Empty when there is none.
    virtual ExprValue parameter(const QString& name);

protected:
    ~ExpressionContext() = default;
};

// Parses the text between [ and ]. Returns null with a reason for a malformed or unknown expression,
// a built-in function given the wrong number of arguments, or one nested deeper than MaxExpressionDepth. Time and memory are linear in the text's length.
std::shared_ptr<const Expression> parseExpression(const QString& text, QString& reason);

// Evaluates a parsed expression. A tree built by code that nests far deeper than a parsed one can
// (8 * MaxExpressionDepth nodes) is not walked below that depth: the part beyond it has no value.
ExprValue evaluateExpression(const Expression& expression, ExpressionContext& context);

// Display text of a value under a cell's format: "0.00", "#,##0.00", "0%", "¥#,##0" for numbers (text
// that is a number counts), Qt date patterns such as "yyyy-MM-dd" or "yyyy年M月d日" for dates (text in
// ISO form counts). An empty format, or one that does not fit the value, gives the plain text;
// `decimals` >= 0 rounds plain numbers. Decimals, of either kind, above MaxDecimals count as MaxDecimals.
QString formatValue(const ExprValue& value, const QString& format, int decimals);

// Digits after the point that a number format such as "#,##0.00" asks for, counted up to MaxDecimals + 1;
// 0 for a format without a number pattern. The template reader refuses a format that asks for more
// than MaxDecimals.
int formatDecimals(const QString& format);

} // namespace vl
