#include "ReportExpression.h"

#include "ExpressionFunctions_p.h"
#include "ExpressionValue_p.h"

#include <string_view>

namespace vl {

ExprValue ExpressionContext::parameter(const QString&)
{
    return {};
}

namespace {

struct ParseError {
    QString reason;
};

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.unicode() > 0x7F;
}

class Parser {
public:
    explicit Parser(const QString& text) : m_text(text) {}

    std::shared_ptr<const Expression> parseAll()
    {
        auto result = disjunction();
        skipBlanks();
        if (m_pos < m_text.size())
            fail();
        return result;
    }

private:
    [[noreturn]] void fail() const { throw ParseError{QStringLiteral("unknown expression \"[%1]\"").arg(m_text)}; }

    void skipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    bool take(char16_t c)
    {
        skipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    QString name()
    {
        skipBlanks();
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && isNameChar(m_text[m_pos]))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    // Every nested level goes through here, so the parser's recursion, and the depth of the tree it
    // builds, stay within a few frames per level.
    class Level {
    public:
        explicit Level(Parser& parser) : m_parser(parser)
        {
            if (++m_parser.m_depth > MaxExpressionDepth)
                throw ParseError{QStringLiteral("the expression nests deeper than %1 levels of parentheses, "
                                                "function calls, minus signs and nots")
                                     .arg(MaxExpressionDepth)};
        }
        ~Level() { --m_parser.m_depth; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

    private:
        Parser& m_parser;
    };

    char16_t takeOneOf(std::u16string_view ops)
    {
        skipBlanks();
        if (m_pos < m_text.size() && ops.find(m_text[m_pos].unicode()) != std::u16string_view::npos)
            return m_text[m_pos++].unicode();
        return 0;
    }

    // A comparison operator, the two-letter ones as one character each (see Expression::ops).
    char16_t takeComparison()
    {
        const char16_t op = takeOneOf(u"=<>");
        if (op == 0 || op == u'=' || m_pos >= m_text.size())
            return op;
        const QChar next = m_text[m_pos];
        if (next == u'=' || (op == u'<' && next == u'>'))
            ++m_pos;
        return next == u'=' ? (op == u'<' ? u'≤' : u'≥') : op == u'<' && next == u'>' ? u'≠' : op;
    }

    // A keyword such as `and`, in any case, as a whole word; `not.x` stays the field of a source "not".
    bool takeWord(QLatin1StringView word)
    {
        skipBlanks();
        const qsizetype end = m_pos + word.size();
        if (end > m_text.size() || QStringView(m_text).mid(m_pos, word.size()).compare(word, Qt::CaseInsensitive) != 0
            || (end < m_text.size() && (isNameChar(m_text[end]) || m_text[end] == u'.')))
            return false;
        m_pos = end;
        return true;
    }

    // Operands joined by operators of one precedence become one node, however long the chain, so a
    // flat chain adds one level to the tree rather than one per operator.
    std::shared_ptr<const Expression> chain(char16_t (Parser::*takeOperator)(), std::shared_ptr<const Expression> (Parser::*operand)())
    {
        std::shared_ptr<const Expression> first = (this->*operand)();
        std::shared_ptr<Expression> node;
        while (const char16_t op = (this->*takeOperator)()) {
            if (!node) {
                node = std::make_shared<Expression>();
                node->kind = Expression::Binary;
                node->args.push_back(std::move(first));
            }
            node->ops.push_back(op);
            node->args.push_back((this->*operand)());
        }
        if (node)
            return node;
        return first;
    }

    // `and` and `or` chains, one node each as the operator chains are.
    std::shared_ptr<const Expression> logical(Expression::Kind kind, QLatin1StringView word,
                                              std::shared_ptr<const Expression> (Parser::*operand)())
    {
        std::shared_ptr<const Expression> first = (this->*operand)();
        if (!takeWord(word))
            return first;
        auto node = std::make_shared<Expression>();
        node->kind = kind;
        node->args.push_back(std::move(first));
        do
            node->args.push_back((this->*operand)());
        while (takeWord(word));
        return node;
    }

    char16_t takeJoin() { return takeOneOf(u"&"); }
    char16_t takeAdditive() { return takeOneOf(u"+-"); }
    char16_t takeMultiplicative() { return takeOneOf(u"*/"); }

    std::shared_ptr<const Expression> disjunction() { return logical(Expression::Or, QLatin1StringView("or"), &Parser::conjunction); }
    std::shared_ptr<const Expression> conjunction() { return logical(Expression::And, QLatin1StringView("and"), &Parser::negation); }
    std::shared_ptr<const Expression> comparison() { return chain(&Parser::takeComparison, &Parser::concatenation); }
    std::shared_ptr<const Expression> concatenation() { return chain(&Parser::takeJoin, &Parser::additive); }
    std::shared_ptr<const Expression> additive() { return chain(&Parser::takeAdditive, &Parser::term); }
    std::shared_ptr<const Expression> term() { return chain(&Parser::takeMultiplicative, &Parser::unary); }

    std::shared_ptr<const Expression> negation()
    {
        if (!takeWord(QLatin1StringView("not")))
            return comparison();
        const Level level(*this);
        auto node = std::make_shared<Expression>();
        node->kind = Expression::Not;
        node->args = {negation()};
        return node;
    }

    std::shared_ptr<const Expression> unary()
    {
        if (take(u'-')) {
            const Level level(*this);
            auto node = std::make_shared<Expression>();
            node->kind = Expression::Negate;
            node->args = {unary()};
            return node;
        }
        return primary();
    }

    std::shared_ptr<const Expression> primary()
    {
        skipBlanks();
        if (m_pos >= m_text.size())
            fail();
        const QChar c = m_text[m_pos];
        auto node = std::make_shared<Expression>();
        if (take(u'(')) {
            const Level level(*this);
            auto inner = disjunction();
            if (!take(u')'))
                fail();
            return inner;
        }
        if (c == u'"' || c == u'\'') {
            const qsizetype close = m_text.indexOf(c, m_pos + 1);
            if (close < 0)
                throw ParseError{QStringLiteral("unterminated string in \"[%1]\"").arg(m_text)};
            node->kind = Expression::Text;
            node->text = m_text.mid(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            return node;
        }
        if (c.isDigit() || c == u'.') {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && (m_text[m_pos].isDigit() || m_text[m_pos] == u'.'))
                ++m_pos;
            bool ok = false;
            node->kind = Expression::Number;
            node->number = m_text.mid(start, m_pos - start).toDouble(&ok);
            if (!ok)
                fail();
            return node;
        }
        const QString first = name();
        if (first.isEmpty())
            fail();
        if (take(u'.')) {
            QString second = name();
            if (second.isEmpty())
                fail();
            if (first.compare(QLatin1StringView("Param"), Qt::CaseInsensitive) == 0) {
                node->kind = Expression::Parameter;
                node->text = std::move(second);
            } else {
                node->kind = Expression::Field;
                node->source = first;
                node->field = std::move(second);
            }
            return node;
        }
        if (take(u'('))
            return call(first, node);
        static const std::pair<const char16_t*, Expression::Kind> words[] = {
            {u"Page", Expression::PageNumber}, {u"Pages", Expression::PageCount}, {u"Date", Expression::PrintDate},
            {u"PrintDate", Expression::PrintDate}, {u"Now", Expression::PrintTime}};
        for (const auto& [word, kind] : words) {
            if (first.compare(QStringView(word), Qt::CaseInsensitive) == 0) {
                node->kind = kind;
                return node;
            }
        }
        fail();
    }

    std::shared_ptr<const Expression> call(const QString& function, std::shared_ptr<Expression> node)
    {
        static const std::pair<const char16_t*, AggregateKind> aggregates[] = {
            {u"sum", AggregateKind::Sum}, {u"count", AggregateKind::Count}, {u"avg", AggregateKind::Avg},
            {u"min", AggregateKind::Min}, {u"max", AggregateKind::Max}, {u"runningSum", AggregateKind::RunningSum},
            {u"runningCount", AggregateKind::RunningCount}, {u"pageSum", AggregateKind::PageSum},
            {u"pageCount", AggregateKind::PageCount}};
        for (const auto& [word, kind] : aggregates) {
            if (function.compare(QStringView(word), Qt::CaseInsensitive) != 0)
                continue;
            node->kind = Expression::Aggregate;
            node->aggregate = kind;
            node->source = name();
            if (node->source.isEmpty())
                fail();
            if (take(u'.')) {
                node->field = name();
                if (node->field.isEmpty())
                    fail();
            }
            if (!take(u')'))
                fail();
            const bool count = kind == AggregateKind::Count || kind == AggregateKind::RunningCount || kind == AggregateKind::PageCount;
            if (!count && node->field.isEmpty())
                throw ParseError{QStringLiteral("%1 needs a field: \"[%2]\"").arg(QString::fromUtf16(word), m_text)};
            return node;
        }
        node->builtin = findBuiltin(function);
        node->kind = node->builtin < 0 ? Expression::Call : Expression::Builtin;
        node->text = function;
        const Level level(*this);
        if (!take(u')')) {
            do
                node->args.push_back(disjunction());
            while (take(u','));
            if (!take(u')'))
                fail();
        }
        if (node->builtin >= 0) {
            const BuiltinFunction& builtin = builtinFunction(node->builtin);
            const int count = static_cast<int>(std::min<size_t>(node->args.size(), INT_MAX));
            if (count < builtin.minArguments || (builtin.maxArguments >= 0 && count > builtin.maxArguments))
                throw ParseError{QStringLiteral("%1 takes %2, not %3: \"[%4]\"")
                                     .arg(QStringView(builtin.name), argumentCountText(builtin), QString::number(count), m_text)};
        }
        return node;
    }

    const QString& m_text;
    qsizetype m_pos = 0;
    int m_depth = 0;
};

} // namespace

std::shared_ptr<const Expression> parseExpression(const QString& text, QString& reason)
{
    try {
        return Parser(text).parseAll();
    } catch (const ParseError& error) {
        reason = error.reason;
        return nullptr;
    }
}

namespace {

// A parsed tree is at most a negation, a not or a call and six chain nodes (or, and, comparison, &, + -,
// * /) per level deep.
constexpr int MaxEvaluationDepth = 8 * (MaxExpressionDepth + 1);

// `left` op `right` for a comparison operator, or nullopt for any other operator.
std::optional<bool> compared(char16_t op, const ExprValue& left, const ExprValue& right)
{
    if (op != u'=' && op != u'<' && op != u'>' && op != u'≠' && op != u'≤' && op != u'≥')
        return std::nullopt;
    bool unordered = false;
    const int order = compareValues(left, right, unordered);
    if (unordered)
        return op == u'≠'; // NaN equals nothing, itself included
    switch (op) {
    case u'=':
        return order == 0;
    case u'≠':
        return order != 0;
    case u'<':
        return order < 0;
    case u'>':
        return order > 0;
    case u'≤':
        return order <= 0;
    default:
        return order >= 0;
    }
}

// One step of a chain: `left` op `right`. `leftDigits` follows left's text while it is text. Text is
// appended in place and its number-ness followed piece by piece, so a long chain of joins costs time in
// proportion to its result rather than to its square.
ExprValue combine(char16_t op, ExprValue left, const ExprValue& right, NumberPrefix& leftDigits)
{
    auto join = [&] {
        const QString piece = right.toText();
        if (left.type == ExprValue::Text) {
            left.text += piece;
            leftDigits.feed(piece);
            return std::move(left);
        }
        ExprValue joined = ExprValue::fromText(left.toText() + piece);
        leftDigits = NumberPrefix();
        leftDigits.feed(joined.text);
        return joined;
    };
    if (op == u'&')
        return join();
    if (const std::optional<bool> truth = compared(op, left, right))
        return ExprValue::fromBoolean(*truth);
    double a = 0, b = 0;
    const bool leftCanBeNumber = left.type != ExprValue::Text || (leftDigits.viable() && leftDigits.complete());
    const bool numbers = (left.type == ExprValue::Empty || (leftCanBeNumber && left.toNumber(a)))
                      && (right.type == ExprValue::Empty || right.toNumber(b));
    if (op == u'+' && !numbers)
        return join(); // text + text joins, as users write it
    if (!numbers)
        return ExprValue{}; // arithmetic on text that is no number has no value
    switch (op) {
    case u'+':
        return ExprValue::fromNumber(a + b);
    case u'-':
        return ExprValue::fromNumber(a - b);
    case u'*':
        return ExprValue::fromNumber(a * b);
    default:
        if (b == 0)
            return ExprValue{}; // a division by zero prints empty rather than "inf"
        return ExprValue::fromNumber(a / b);
    }
}

ExprValue evaluate(const Expression& expression, ExpressionContext& context, int depth);

// A built-in's arguments, each evaluated only when the function asks for it, so that `if` and `coalesce`
// leave the rest alone.
class LazyArguments final : public FunctionArguments {
public:
    LazyArguments(const Expression& call, ExpressionContext& context, int depth)
        : m_call(call), m_context(context), m_depth(depth)
    {
    }
    size_t count() const override { return m_call.args.size(); }
    ExprValue value(size_t index) override
    {
        return index < m_call.args.size() ? evaluate(*m_call.args[index], m_context, m_depth + 1) : ExprValue{};
    }
    ExpressionContext& context() override { return m_context; }

private:
    const Expression& m_call;
    ExpressionContext& m_context;
    int m_depth;
};

// Apart from evaluate, so that its frame, which a deep tree repeats, stays small.
[[gnu::noinline]] ExprValue callBuiltin(const Expression& expression, ExpressionContext& context, int depth)
{
    if (expression.builtin < 0 || expression.builtin >= builtinFunctionCount())
        return {};
    LazyArguments arguments(expression, context, depth);
    return builtinFunction(expression.builtin).evaluate(arguments);
}

ExprValue evaluate(const Expression& expression, ExpressionContext& context, int depth)
{
    if (depth > MaxEvaluationDepth)
        return {};
    switch (expression.kind) {
    case Expression::Number:
        return ExprValue::fromNumber(expression.number);
    case Expression::Text:
        return ExprValue::fromText(expression.text);
    case Expression::Field:
        return context.field(expression.source, expression.field);
    case Expression::Aggregate:
        return context.aggregate(expression.aggregate, expression.source, expression.field);
    case Expression::PageNumber:
        return context.pageNumber();
    case Expression::PageCount:
        return context.pageCount();
    case Expression::PrintDate:
        return ExprValue::fromDateTime(context.printTime().date().startOfDay());
    case Expression::PrintTime:
        return ExprValue::fromDateTime(context.printTime());
    case Expression::Call: {
        std::vector<ExprValue> args;
        args.reserve(expression.args.size());
        for (const auto& arg : expression.args)
            args.push_back(evaluate(*arg, context, depth + 1));
        return context.call(expression.text, args);
    }
    case Expression::Parameter:
        return context.parameter(expression.text);
    case Expression::Builtin:
        return callBuiltin(expression, context, depth);
    case Expression::Not:
        return ExprValue::fromBoolean(!expression.args.empty() && !isTrue(evaluate(*expression.args[0], context, depth + 1)));
    case Expression::And:
    case Expression::Or: {
        // Stops at the first operand that decides: false for and, true for or.
        const bool decider = expression.kind == Expression::Or;
        for (const auto& operand : expression.args)
            if (isTrue(evaluate(*operand, context, depth + 1)) == decider)
                return ExprValue::fromBoolean(decider);
        return ExprValue::fromBoolean(!decider);
    }
    case Expression::Negate: {
        if (expression.args.empty())
            return {};
        double value = 0;
        const ExprValue operand = evaluate(*expression.args[0], context, depth + 1);
        if (operand.type == ExprValue::Empty)
            return operand;
        operand.toNumber(value);
        return ExprValue::fromNumber(-value);
    }
    case Expression::Binary: {
        if (expression.args.empty())
            return {};
        ExprValue result = evaluate(*expression.args[0], context, depth + 1);
        NumberPrefix resultDigits;
        if (result.type == ExprValue::Text)
            resultDigits.feed(result.text);
        const size_t steps = std::min(expression.ops.size(), expression.args.size() - 1);
        for (size_t i = 0; i < steps; ++i) {
            const ExprValue right = evaluate(*expression.args[i + 1], context, depth + 1);
            result = combine(expression.ops[i], std::move(result), right, resultDigits);
        }
        return result;
    }
    }
    return {};
}

} // namespace

ExprValue evaluateExpression(const Expression& expression, ExpressionContext& context)
{
    return evaluate(expression, context, 0);
}

} // namespace vl
