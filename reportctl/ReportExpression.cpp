#include "ReportExpression.h"

#include "DecimalText_p.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace vl {

QString formatNumber(double value, int decimals);

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
        auto result = concatenation();
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
                                                "function calls and minus signs")
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

    // Operands joined by operators of one precedence become one node, however long the chain, so a
    // flat chain adds one level to the tree rather than one per operator.
    std::shared_ptr<const Expression> chain(std::u16string_view ops, std::shared_ptr<const Expression> (Parser::*operand)())
    {
        std::shared_ptr<const Expression> first = (this->*operand)();
        std::shared_ptr<Expression> node;
        while (const char16_t op = takeOneOf(ops)) {
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

    std::shared_ptr<const Expression> concatenation() { return chain(u"&", &Parser::additive); }
    std::shared_ptr<const Expression> additive() { return chain(u"+-", &Parser::term); }
    std::shared_ptr<const Expression> term() { return chain(u"*/", &Parser::unary); }

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
            auto inner = concatenation();
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
            node->kind = Expression::Field;
            node->source = first;
            node->field = name();
            if (node->field.isEmpty())
                fail();
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
            {u"min", AggregateKind::Min}, {u"max", AggregateKind::Max}};
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
            if (kind != AggregateKind::Count && node->field.isEmpty())
                throw ParseError{QStringLiteral("%1 needs a field: \"[%2]\"").arg(function.toLower(), m_text)};
            return node;
        }
        node->kind = Expression::Call;
        node->text = function;
        const Level level(*this);
        if (!take(u')')) {
            do
                node->args.push_back(concatenation());
            while (take(u','));
            if (!take(u')'))
                fail();
        }
        return node;
    }

    const QString& m_text;
    qsizetype m_pos = 0;
    int m_depth = 0;
};

bool hasDateLetters(const QString& format)
{
    return format.contains(u'y') || format.contains(u'M') || format.contains(u'd') || format.contains(u'H')
        || format.contains(u'h') || format.contains(u'm') || format.contains(u's');
}

// Dates as the data layer writes them: ISO, or the short date forms of the usual locales, with an
// optional time. Two-digit years below 50 are read as 20yy.
QDateTime parseDateTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() < 6 || !trimmed[0].isDigit())
        return {};
    QDateTime value = QDateTime::fromString(trimmed, Qt::ISODate);
    if (value.isValid())
        return value;
    static const char* const dates[] = {"yyyy-M-d", "yyyy/M/d", "M/d/yyyy", "M/d/yy", "d.M.yyyy"};
    static const char* const times[] = {"", " H:mm:ss", " H:mm", " h:mm:ss AP", " h:mm AP"};
    for (const char* date : dates) {
        for (const char* time : times) {
            const QString format = QString::fromLatin1(date) + QString::fromLatin1(time);
            value = QLocale::c().toDateTime(trimmed, format);
            if (!value.isValid())
                continue;
            if (format.contains(QLatin1String("/yy")) && !format.contains(QLatin1String("yyyy")) && value.date().year() < 1950)
                value = value.addYears(100);
            return value;
        }
    }
    return {};
}

// Where the number pattern of a format such as "¥#,##0.00" starts and ends; start is -1 without one.
void findNumberPattern(const QString& format, qsizetype& start, qsizetype& end)
{
    start = -1;
    end = -1;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'0' || c == u'#' || c == u',' || (c == u'.' && start >= 0)) {
            if (start < 0)
                start = i;
            end = i + 1;
        } else if (start >= 0) {
            break;
        }
    }
}

qsizetype patternDecimals(QStringView pattern)
{
    const qsizetype point = pattern.indexOf(u'.');
    return point < 0 ? 0 : pattern.size() - point - 1;
}

// "#,##0.00" and the like: digits after the point, grouping, percent, and the text around the pattern.
QString formatWithPattern(double value, const QString& format)
{
    qsizetype start = -1, end = -1;
    findNumberPattern(format, start, end);
    const QString pattern = format.mid(start, end - start);
    const QString prefix = format.left(start);
    const QString suffix = format.mid(end);
    if (suffix.contains(u'%'))
        value *= 100;
    const int decimals = static_cast<int>(std::min<qsizetype>(patternDecimals(pattern), MaxDecimals));
    QString digits = QString::number(std::abs(value), 'f', decimals);
    if (pattern.contains(u',')) {
        const qsizetype dot = digits.indexOf(u'.');
        qsizetype integerEnd = dot < 0 ? digits.size() : dot;
        for (qsizetype i = integerEnd - 3; i > 0; i -= 3)
            digits.insert(i, u',');
    }
    // No "-0.00": a negative number shows its sign only when a digit other than 0 is left.
    const bool negative = value < 0 && std::any_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'1' && c <= u'9'; });
    return (negative ? QStringLiteral("-") : QString()) + prefix + digits + suffix;
}

} // namespace

namespace {
constexpr qsizetype MaxNumberTextLength = 400;
} // namespace

bool ExprValue::toNumber(double& out) const
{
    if (type == Number) {
        out = number;
        return true;
    }
    if (type == Text) {
        if (const std::optional<double> plain = plainDecimal(QStringView(text))) {
            out = *plain;
            return true;
        }
        // Any number Qt reads in exponent form fits in a few dozen characters; a longer text is none, and a
        // chain that grows such a text one piece at a time must not re-read all of it at every step.
        if (text.size() > MaxNumberTextLength)
            return false;
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        if (ok)
            out = value;
        return ok;
    }
    return false;
}

QString ExprValue::toText() const
{
    switch (type) {
    case Empty:
        return {};
    case Number:
        return formatNumber(number, -1);
    case Text:
        return text;
    case DateTime:
        return dateTime.time() == QTime(0, 0) ? dateTime.date().toString(Qt::ISODate)
                                               : dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    return {};
}

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

// A parsed tree is at most a negation or a call and three chain nodes per level deep.
constexpr int MaxEvaluationDepth = 4 * (MaxExpressionDepth + 1);

// Follows a text as it grows at its end and tells whether it could still read as a number: a sign,
// digits, a point, an exponent, or a word of inf and nan, blanks around. It accepts every text that
// QString::toDouble accepts, and more, so "dead" and "incomplete" are safe answers of "no number"
// without asking the general parser, which costs time in the text's length on every step of a chain.
class NumberPrefix {
public:
    void feed(QStringView text)
    {
        for (const QChar c : text) {
            if (m_state == Dead)
                return;
            step(c);
        }
    }
    // False only when no text that begins like this one is a number.
    bool viable() const { return m_state != Dead; }
    // True when the text itself may be a number.
    bool complete() const
    {
        return m_state == Int || m_state == Frac || m_state == ExpDigits || m_state == Word
            || (m_state == Trail && m_completeBeforeTrail);
    }

private:
    enum State : unsigned char { Lead, Sign, Int, Point, Frac, Exp, ExpSign, ExpDigits, Word, Trail, Dead };

    static bool isSign(char16_t c) { return c == u'+' || c == u'-' || c == u'\u2212'; }

    void step(QChar character)
    {
        const char16_t c = character.unicode();
        const bool digit = c >= u'0' && c <= u'9';
        const bool blank = character.isSpace();
        const bool exponent = c == u'e' || c == u'E';
        if (blank && m_state != Lead && m_state != Trail)
            m_completeBeforeTrail = complete();
        switch (m_state) {
        case Lead:
            m_state = blank ? Lead : isSign(c) ? Sign : digit ? Int : c == u'.' ? Point : word(c);
            break;
        case Sign:
            m_state = digit ? Int : c == u'.' ? Point : word(c);
            break;
        case Int:
            m_state = digit ? Int : c == u'.' ? Frac : exponent ? Exp : blank ? Trail : Dead;
            break;
        case Point:
            m_state = digit ? Frac : Dead;
            break;
        case Frac:
            m_state = digit ? Frac : exponent ? Exp : blank ? Trail : Dead;
            break;
        case Exp:
            m_state = isSign(c) ? ExpSign : digit ? ExpDigits : Dead;
            break;
        case ExpSign:
            m_state = digit ? ExpDigits : Dead;
            break;
        case ExpDigits:
            m_state = digit ? ExpDigits : blank ? Trail : Dead;
            break;
        case Word:
            m_state = blank ? Trail : word(c);
            break;
        case Trail:
            m_state = blank ? Trail : Dead;
            break;
        case Dead:
            break;
        }
    }

    State word(char16_t c)
    {
        static constexpr std::string_view words[] = {"infinity", "nan"};
        if (c >= 0x80 || m_wordLength >= sizeof m_word)
            return Dead;
        const char lower = static_cast<char>(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
        const std::string_view sofar(m_word, m_wordLength);
        for (const std::string_view candidate : words) {
            if (m_wordLength < candidate.size() && candidate.starts_with(sofar) && candidate[m_wordLength] == lower) {
                m_word[m_wordLength++] = lower;
                return Word;
            }
        }
        return Dead;
    }

    State m_state = Lead;
    bool m_completeBeforeTrail = false;
    char m_word[8] {};
    std::size_t m_wordLength = 0;
};

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

QString formatValue(const ExprValue& value, const QString& format, int decimals)
{
    if (value.type == ExprValue::Empty)
        return {};
    if (!format.isEmpty()) {
        const bool numeric = format.contains(u'0') || format.contains(u'#');
        double number = 0;
        if (numeric && value.toNumber(number))
            return formatWithPattern(number, format);
        if (!numeric && hasDateLetters(format)) {
            const QDateTime dateTime = value.type == ExprValue::DateTime ? value.dateTime
                                     : value.type == ExprValue::Text   ? parseDateTime(value.text)
                                                                       : QDateTime();
            if (dateTime.isValid())
                return QLocale::c().toString(dateTime, format);
        }
    }
    if (value.type == ExprValue::Number)
        return formatNumber(value.number, decimals);
    return value.toText();
}

int formatDecimals(const QString& format)
{
    qsizetype start = -1, end = -1;
    findNumberPattern(format, start, end);
    if (start < 0)
        return 0;
    // Counted with a ceiling, so that a pattern longer than an int holds is no overflow.
    return static_cast<int>(std::min<qsizetype>(patternDecimals(QStringView(format).mid(start, end - start)), MaxDecimals + 1));
}

} // namespace vl
