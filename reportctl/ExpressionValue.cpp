#include "ExpressionValue_p.h"

#include "DecimalText_p.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace vl {

QString formatNumber(double value, int decimals);

namespace {

bool hasDateLetters(const QString& format)
{
    return format.contains(u'y') || format.contains(u'M') || format.contains(u'd') || format.contains(u'H')
        || format.contains(u'h') || format.contains(u'm') || format.contains(u's');
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

QDateTime parseDateTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    // The longest form, with seconds and AM/PM, is some 25 characters; a long text is tried no further
    // than that, rather than by every form in turn.
    if (trimmed.size() < 6 || trimmed.size() > 64 || !trimmed[0].isDigit())
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

QDateTime dateOf(const ExprValue& value)
{
    if (value.type == ExprValue::DateTime)
        return value.dateTime;
    if (value.type == ExprValue::Text)
        return parseDateTime(value.text);
    return {};
}

namespace {
constexpr qsizetype MaxNumberTextLength = 400;
} // namespace

bool ExprValue::toNumber(double& out) const
{
    if (type == Number || type == Boolean) {
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
    case Boolean:
        return number != 0 ? QStringLiteral("true") : QStringLiteral("false");
    }
    return {};
}

bool isTrue(const ExprValue& value)
{
    double number = 0;
    switch (value.type) {
    case ExprValue::Empty:
        return false;
    case ExprValue::Boolean:
    case ExprValue::Number:
        return value.number != 0 && !std::isnan(value.number);
    case ExprValue::DateTime:
        return value.dateTime.isValid();
    case ExprValue::Text:
        if (value.text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (value.text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        if (value.toNumber(number))
            return number != 0 && !std::isnan(number);
        return !value.text.isEmpty();
    }
    return false;
}

namespace {

// UTF-16 order differs from code point order only where a surrogate meets a unit from U+E000 up; moving
// the surrogates above the rest mends it.
char16_t codePointOrder(char16_t unit)
{
    if (unit >= 0xE000)
        return static_cast<char16_t>(unit - 0x800);
    if (unit >= 0xD800)
        return static_cast<char16_t>(unit + 0x2000);
    return unit;
}

int compareTexts(QStringView left, QStringView right)
{
    const qsizetype common = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t a = left[i].unicode(), b = right[i].unicode();
        if (a != b)
            return codePointOrder(a) < codePointOrder(b) ? -1 : 1;
    }
    return left.size() < right.size() ? -1 : left.size() > right.size() ? 1 : 0;
}

} // namespace

int compareValues(const ExprValue& left, const ExprValue& right, bool& unordered)
{
    unordered = false;
    double a = 0, b = 0;
    if (left.type != ExprValue::Empty && right.type != ExprValue::Empty && left.toNumber(a) && right.toNumber(b)) {
        unordered = std::isnan(a) || std::isnan(b);
        return a < b ? -1 : a > b ? 1 : 0;
    }
    if (left.type == ExprValue::DateTime || right.type == ExprValue::DateTime) {
        const QDateTime first = dateOf(left), second = dateOf(right);
        if (first.isValid() && second.isValid())
            return first < second ? -1 : second < first ? 1 : 0;
    }
    const QString leftText = left.toText(), rightText = right.toText();
    return compareTexts(leftText, rightText);
}

namespace {

bool isSign(char16_t c)
{
    return c == u'+' || c == u'-' || c == u'\u2212';
}

} // namespace

void NumberPrefix::feed(QStringView text)
{
    for (const QChar c : text) {
        if (m_state == Dead)
            return;
        step(c);
    }
}

void NumberPrefix::step(QChar character)
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

NumberPrefix::State NumberPrefix::word(char16_t c)
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
