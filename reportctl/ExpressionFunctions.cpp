#include "ExpressionFunctions_p.h"

#include "ExpressionValue_p.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace vl {

namespace {

using Arguments = FunctionArguments;

// A function of a null gives null (the rule for all but if, len, isNull and coalesce), so each reader
// of an argument answers nullopt for Empty, and for a number argument that reads as no number.
std::optional<QString> textAt(Arguments& arguments, size_t index)
{
    ExprValue value = arguments.value(index);
    if (value.type == ExprValue::Empty)
        return std::nullopt;
    return value.type == ExprValue::Text ? std::move(value.text) : value.toText();
}

std::optional<double> numberAt(Arguments& arguments, size_t index)
{
    double number = 0;
    const ExprValue value = arguments.value(index);
    if (value.type == ExprValue::Empty || !value.toNumber(number))
        return std::nullopt;
    return number;
}

// A count or position: toward zero, and held within `bound` either way so no cast overflows.
std::optional<qint64> wholeAt(Arguments& arguments, size_t index, double bound)
{
    const std::optional<double> number = numberAt(arguments, index);
    if (!number || std::isnan(*number))
        return std::nullopt;
    return static_cast<qint64>(std::clamp(std::trunc(*number), -bound, bound));
}

std::optional<QDateTime> dateAt(Arguments& arguments, size_t index)
{
    const QDateTime date = dateOf(arguments.value(index));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

ExprValue textResult(QString text)
{
    if (text.size() > MaxFunctionText)
        return {};
    return ExprValue::fromText(std::move(text));
}

ExprValue numberResult(double number)
{
    return ExprValue::fromNumber(number == 0 ? 0.0 : number); // no "-0"
}

constexpr double MaxLength = static_cast<double>(MaxFunctionText) * 4;

ExprValue ifFunction(Arguments& arguments)
{
    return arguments.value(isTrue(arguments.value(0)) ? 1 : 2);
}

ExprValue isNullFunction(Arguments& arguments)
{
    return ExprValue::fromBoolean(arguments.value(0).type == ExprValue::Empty);
}

ExprValue coalesceFunction(Arguments& arguments)
{
    for (size_t i = 0; i < arguments.count(); ++i)
        if (ExprValue value = arguments.value(i); value.type != ExprValue::Empty)
            return value;
    return {};
}

ExprValue lenFunction(Arguments& arguments)
{
    const std::optional<QString> text = textAt(arguments, 0);
    return ExprValue::fromNumber(text ? static_cast<double>(text->size()) : 0);
}

// The characters from `from` (0-based, may be negative) for `length`, of those the text has.
ExprValue window(const QString& text, qint64 from, qint64 length)
{
    if (length <= 0)
        return ExprValue::fromText({});
    const qint64 first = std::clamp<qint64>(from, 0, text.size());
    const qint64 last = std::clamp<qint64>(from + length, 0, text.size());
    return textResult(text.mid(first, std::max<qint64>(last - first, 0)));
}

ExprValue leftFunction(Arguments& arguments)
{
    const std::optional<QString> text = textAt(arguments, 0);
    const std::optional<qint64> length = wholeAt(arguments, 1, MaxLength);
    return text && length ? window(*text, 0, *length) : ExprValue{};
}

ExprValue rightFunction(Arguments& arguments)
{
    const std::optional<QString> text = textAt(arguments, 0);
    const std::optional<qint64> length = wholeAt(arguments, 1, MaxLength);
    return text && length ? window(*text, text->size() - std::max<qint64>(*length, 0), *length) : ExprValue{};
}

ExprValue midFunction(Arguments& arguments)
{
    const std::optional<QString> text = textAt(arguments, 0);
    const std::optional<qint64> start = wholeAt(arguments, 1, MaxLength);
    const std::optional<qint64> length = arguments.count() > 2 ? wholeAt(arguments, 2, MaxLength) : std::optional<qint64>(MaxLength);
    return text && start && length ? window(*text, *start - 1, *length) : ExprValue{};
}

template <QString (*change)(const QString&)>
ExprValue textFunction(Arguments& arguments)
{
    const std::optional<QString> text = textAt(arguments, 0);
    return text ? textResult(change(*text)) : ExprValue{};
}

QString upper(const QString& text)
{
    return text.toUpper();
}
QString lower(const QString& text)
{
    return text.toLower();
}
QString trim(const QString& text)
{
    return text.trimmed();
}

ExprValue replaceFunction(Arguments& arguments)
{
    std::optional<QString> text = textAt(arguments, 0);
    const std::optional<QString> find = textAt(arguments, 1);
    const std::optional<QString> with = textAt(arguments, 2);
    if (!text || !find || !with)
        return {};
    if (find->isEmpty())
        return textResult(std::move(*text));
    // The result's length is known before it is built, so a text that would pass the cap is never made.
    const qint64 hits = text->count(*find);
    if (static_cast<double>(text->size()) + static_cast<double>(hits) * static_cast<double>(with->size() - find->size())
        > static_cast<double>(MaxFunctionText))
        return {};
    return textResult(text->replace(*find, *with));
}

ExprValue containsFunction(Arguments& arguments)
{
    const std::optional<QString> text = textAt(arguments, 0);
    const std::optional<QString> part = textAt(arguments, 1);
    return text && part ? ExprValue::fromBoolean(text->contains(*part)) : ExprValue{};
}

// Half away from zero on the shortest decimal text that reads back as the double, so that 2.675, which
// as a double lies just below, still rounds up as written. Nullopt when the result is beyond a double.
std::optional<double> roundDecimal(double value, int decimals)
{
    if (!std::isfinite(value) || value == 0)
        return value;
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::abs(value), std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<size_t>(written.ptr - buffer)); // "d.ddde+xx"
    const size_t e = text.find('e');
    std::string digits(1, text[0]);
    if (e > 2)
        digits.append(text.substr(2, e - 2));
    int exponent = 0;
    const std::string_view exponentText = text.substr(text[e + 1] == '+' ? e + 2 : e + 1);
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    // The value is 0.digits times 10^(exponent + 1); keep the digits down to 10^-decimals.
    const long keep = static_cast<long>(exponent) + 1 + decimals;
    if (keep >= static_cast<long>(digits.size()))
        return value;
    if (keep < 0)
        return 0.0;
    std::string kept = digits.substr(0, static_cast<size_t>(keep));
    if (digits[static_cast<size_t>(keep)] >= '5') {
        long i = keep - 1;
        for (; i >= 0 && kept[static_cast<size_t>(i)] == '9'; --i)
            kept[static_cast<size_t>(i)] = '0';
        if (i < 0)
            kept.insert(0, 1, '1');
        else
            ++kept[static_cast<size_t>(i)];
    }
    const std::string rounded = (kept.empty() ? std::string("0") : kept) + 'e' + std::to_string(-decimals);
    double result = 0;
    if (std::from_chars(rounded.data(), rounded.data() + rounded.size(), result).ec != std::errc())
        return std::nullopt;
    return value < 0 ? -result : result;
}

ExprValue roundFunction(Arguments& arguments)
{
    const std::optional<double> number = numberAt(arguments, 0);
    const std::optional<qint64> decimals = arguments.count() > 1 ? wholeAt(arguments, 1, 1000) : std::optional<qint64>(0);
    if (!number || !decimals)
        return {};
    const std::optional<double> rounded = roundDecimal(*number, static_cast<int>(*decimals));
    return rounded ? numberResult(*rounded) : ExprValue{};
}

template <double (*change)(double)>
ExprValue numberFunction(Arguments& arguments)
{
    const std::optional<double> number = numberAt(arguments, 0);
    return number ? numberResult(change(*number)) : ExprValue{};
}

double absolute(double value)
{
    return std::abs(value);
}
double towardZero(double value)
{
    return std::trunc(value);
}
double down(double value)
{
    return std::floor(value);
}
double up(double value)
{
    return std::ceil(value);
}

template <int (QDate::*part)() const>
ExprValue datePartFunction(Arguments& arguments)
{
    const std::optional<QDateTime> date = dateAt(arguments, 0);
    return date ? ExprValue::fromNumber(((date->date()).*part)()) : ExprValue{};
}

ExprValue todayFunction(Arguments& arguments)
{
    return ExprValue::fromDateTime(arguments.context().printTime().date().startOfDay());
}

enum class DateUnit { Day, Month, Year };

std::optional<DateUnit> unitAt(Arguments& arguments, size_t index)
{
    const std::optional<QString> text = textAt(arguments, index);
    if (!text)
        return std::nullopt;
    const QString unit = text->trimmed();
    static const std::pair<const char*, DateUnit> units[] = {{"day", DateUnit::Day}, {"month", DateUnit::Month}, {"year", DateUnit::Year}};
    for (const auto& [name, value] : units)
        if (unit.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0)
            return value;
    return std::nullopt;
}

// Dates stay within the years that print as four digits.
ExprValue dateResult(const QDateTime& date)
{
    if (!date.isValid() || date.date().year() < 1 || date.date().year() > 9999)
        return {};
    return ExprValue::fromDateTime(date);
}

constexpr double MaxDateSteps = 10'000'000;

ExprValue dateAddFunction(Arguments& arguments)
{
    const std::optional<QDateTime> date = dateAt(arguments, 0);
    const std::optional<qint64> steps = wholeAt(arguments, 1, MaxDateSteps);
    const std::optional<DateUnit> unit = unitAt(arguments, 2);
    if (!date || !steps || !unit)
        return {};
    const int count = static_cast<int>(*steps);
    // Qt keeps the day of the month where the target month has it, and takes its last day otherwise.
    return dateResult(*unit == DateUnit::Day ? date->addDays(count) : *unit == DateUnit::Month ? date->addMonths(count)
                                                                                                : date->addYears(count));
}

// Whole months from `from` to `to`: the most months m such that adding m to `from` (as dateAdd does,
// month ends clamped) does not pass `to`; negative when `to` is earlier.
qint64 wholeMonths(const QDate& from, const QDate& to)
{
    qint64 months = (qint64(to.year()) - from.year()) * 12 + (to.month() - from.month());
    if (months > 0 && from.addMonths(static_cast<int>(months)) > to)
        --months;
    else if (months < 0 && from.addMonths(static_cast<int>(months)) < to)
        ++months;
    return months;
}

ExprValue dateDiffFunction(Arguments& arguments)
{
    const std::optional<QDateTime> from = dateAt(arguments, 0);
    const std::optional<QDateTime> to = dateAt(arguments, 1);
    const std::optional<DateUnit> unit = unitAt(arguments, 2);
    if (!from || !to || !unit)
        return {};
    const QDate first = from->date(), second = to->date();
    if (*unit == DateUnit::Day)
        return ExprValue::fromNumber(static_cast<double>(first.daysTo(second)));
    const qint64 months = wholeMonths(first, second);
    return ExprValue::fromNumber(static_cast<double>(*unit == DateUnit::Month ? months : months / 12));
}

ExprValue formatFunction(Arguments& arguments)
{
    const ExprValue value = arguments.value(0);
    const std::optional<QString> pattern = textAt(arguments, 1);
    if (value.type == ExprValue::Empty || !pattern)
        return {};
    return textResult(formatValue(value, *pattern, -1));
}

const BuiltinFunction Functions[] = {
    {u"if", 2, 3, ifFunction},
    {u"isNull", 1, 1, isNullFunction},
    {u"coalesce", 1, -1, coalesceFunction},
    {u"len", 1, 1, lenFunction},
    {u"left", 2, 2, leftFunction},
    {u"right", 2, 2, rightFunction},
    {u"mid", 2, 3, midFunction},
    {u"upper", 1, 1, textFunction<upper>},
    {u"lower", 1, 1, textFunction<lower>},
    {u"trim", 1, 1, textFunction<trim>},
    {u"replace", 3, 3, replaceFunction},
    {u"contains", 2, 2, containsFunction},
    {u"round", 1, 2, roundFunction},
    {u"abs", 1, 1, numberFunction<absolute>},
    {u"int", 1, 1, numberFunction<towardZero>},
    {u"floor", 1, 1, numberFunction<down>},
    {u"ceil", 1, 1, numberFunction<up>},
    {u"year", 1, 1, datePartFunction<&QDate::year>},
    {u"month", 1, 1, datePartFunction<&QDate::month>},
    {u"day", 1, 1, datePartFunction<&QDate::day>},
    {u"today", 0, 0, todayFunction},
    {u"dateAdd", 3, 3, dateAddFunction},
    {u"dateDiff", 3, 3, dateDiffFunction},
    {u"format", 2, 2, formatFunction},
};

QString arguments(int count)
{
    return count == 1 ? QStringLiteral("1 argument") : QStringLiteral("%1 arguments").arg(count);
}

} // namespace

int findBuiltin(QStringView name)
{
    for (int i = 0; i < builtinFunctionCount(); ++i)
        if (name.compare(QStringView(Functions[i].name), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int builtinFunctionCount()
{
    return static_cast<int>(std::size(Functions));
}

const BuiltinFunction& builtinFunction(int index)
{
    return Functions[index];
}

QString argumentCountText(const BuiltinFunction& function)
{
    if (function.maxArguments < 0)
        return QStringLiteral("at least ") + arguments(function.minArguments);
    if (function.maxArguments == 0)
        return QStringLiteral("no arguments");
    if (function.minArguments == function.maxArguments)
        return arguments(function.minArguments);
    return QStringLiteral("%1 or %2").arg(QString::number(function.minArguments), arguments(function.maxArguments));
}

} // namespace vl
