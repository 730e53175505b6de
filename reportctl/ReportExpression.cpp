#include "ReportExpression.h"

#include "DecimalText.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

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

    static std::shared_ptr<Expression> binary(char16_t op, std::shared_ptr<const Expression> left,
                                              std::shared_ptr<const Expression> right)
    {
        auto node = std::make_shared<Expression>();
        node->kind = Expression::Binary;
        node->op = op;
        node->args = {std::move(left), std::move(right)};
        return node;
    }

    std::shared_ptr<const Expression> concatenation()
    {
        auto left = additive();
        while (take(u'&'))
            left = binary(u'&', left, additive());
        return left;
    }

    std::shared_ptr<const Expression> additive()
    {
        auto left = term();
        for (;;) {
            if (take(u'+'))
                left = binary(u'+', left, term());
            else if (take(u'-'))
                left = binary(u'-', left, term());
            else
                return left;
        }
    }

    std::shared_ptr<const Expression> term()
    {
        auto left = unary();
        for (;;) {
            if (take(u'*'))
                left = binary(u'*', left, unary());
            else if (take(u'/'))
                left = binary(u'/', left, unary());
            else
                return left;
        }
    }

    std::shared_ptr<const Expression> unary()
    {
        if (take(u'-')) {
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

// "#,##0.00" and the like: digits after the point, grouping, percent, and the text around the pattern.
QString formatWithPattern(double value, const QString& format)
{
    qsizetype start = -1, end = -1;
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
    const QString pattern = format.mid(start, end - start);
    const QString prefix = format.left(start);
    const QString suffix = format.mid(end);
    if (suffix.contains(u'%'))
        value *= 100;
    const qsizetype point = pattern.indexOf(u'.');
    const int decimals = point < 0 ? 0 : static_cast<int>(pattern.size() - point - 1);
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

ExprValue evaluateExpression(const Expression& expression, ExpressionContext& context)
{
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
            args.push_back(evaluateExpression(*arg, context));
        return context.call(expression.text, args);
    }
    case Expression::Negate: {
        double value = 0;
        const ExprValue operand = evaluateExpression(*expression.args[0], context);
        if (operand.type == ExprValue::Empty)
            return operand;
        operand.toNumber(value);
        return ExprValue::fromNumber(-value);
    }
    case Expression::Binary: {
        const ExprValue left = evaluateExpression(*expression.args[0], context);
        const ExprValue right = evaluateExpression(*expression.args[1], context);
        if (expression.op == u'&')
            return ExprValue::fromText(left.toText() + right.toText());
        double a = 0, b = 0;
        const bool numbers = (left.type == ExprValue::Empty || left.toNumber(a))
                          && (right.type == ExprValue::Empty || right.toNumber(b));
        if (expression.op == u'+' && !numbers)
            return ExprValue::fromText(left.toText() + right.toText()); // text + text joins, as users write it
        if (!numbers)
            return ExprValue{}; // arithmetic on text that is no number has no value
        switch (expression.op) {
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
    }
    return {};
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

} // namespace vl
