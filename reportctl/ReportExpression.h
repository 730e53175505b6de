#pragma once
// Expressions inside a cell's [ ]: fields, aggregates, page number and count, the print date, numbers and
// quoted strings, + - * / and & (joining), parentheses and functions the host supplies.
// Nesting is bounded (MaxExpressionDepth), so neither the parser nor the evaluator recurses without
// limit; a long chain of one precedence, such as 1+1+...+1, is one node and evaluates in a loop.

#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

namespace vl {

// A value while an expression is evaluated. Data fields are text; arithmetic reads text as a number.
struct ExprValue {
    enum Type { Empty, Number, Text, DateTime };
    Type type = Empty;
    double number = 0;
    QString text;
    QDateTime dateTime;

    static ExprValue fromNumber(double value) { return ExprValue{Number, value, {}, {}}; }
    static ExprValue fromText(QString value) { return ExprValue{Text, 0, std::move(value), {}}; }
    static ExprValue fromDateTime(QDateTime value) { return ExprValue{DateTime, 0, {}, std::move(value)}; }
    // True with the number for a Number, or for a Text that is a decimal number.
    bool toNumber(double& out) const;
    // Plain text: numbers as needed digits, dates as yyyy-MM-dd (with the time when it is not midnight).
    QString toText() const;
};

// Levels an expression may nest: each parenthesis, each function call's parentheses and each unary minus
// opens one. Deeper text is refused when it is parsed.
inline constexpr int MaxExpressionDepth = 256;

// The most digits after the point that `decimals` or a number format may ask for; a double holds about
// 17 significant digits, so more would show noise.
inline constexpr int MaxDecimals = 30;

enum class AggregateKind { Sum, Count, Avg, Min, Max };

struct Expression {
    enum Kind { Number, Text, Field, Aggregate, PageNumber, PageCount, PrintDate, PrintTime, Call, Binary, Negate };
    Kind kind = Text;
    double number = 0;
    QString text; // the literal, or the function's name for a Call
    QString source, field; // Field and Aggregate; field is empty for a count of rows
    AggregateKind aggregate = AggregateKind::Sum;
    // Binary: a chain of one precedence, evaluated left to right; ops[i] stands between args[i] and
    // args[i + 1], each one of + - * / &.
    std::vector<char16_t> ops;
    std::vector<std::shared_ptr<const Expression>> args; // Call arguments, the operands of a Binary, a Negate's one
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

protected:
    ~ExpressionContext() = default;
};

// Parses the text between [ and ]. Returns null with a reason for a malformed or unknown expression,
// or one nested deeper than MaxExpressionDepth. Time and memory are linear in the text's length.
std::shared_ptr<const Expression> parseExpression(const QString& text, QString& reason);

// Evaluates a parsed expression. A tree built by code that nests far deeper than a parsed one can
// (4 * MaxExpressionDepth nodes) is not walked below that depth: the part beyond it has no value.
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
