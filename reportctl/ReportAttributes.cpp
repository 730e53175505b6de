#include "ReportAttributes_p.h"

#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace vl {

namespace {

struct StyleAttributeName {
    const char* name;
    StyleAttribute attribute;
};

constexpr std::array<StyleAttributeName, 13> StyleAttributeNames = {{
    {"font", StyleAttribute::Font},
    {"size", StyleAttribute::Size},
    {"bold", StyleAttribute::Bold},
    {"italic", StyleAttribute::Italic},
    {"underline", StyleAttribute::Underline},
    {"color", StyleAttribute::Color},
    {"background", StyleAttribute::Background},
    {"align", StyleAttribute::Align},
    {"valign", StyleAttribute::VAlign},
    {"border", StyleAttribute::Border},
    {"decimals", StyleAttribute::Decimals},
    {"format", StyleAttribute::Format},
    {"wrap", StyleAttribute::Wrap},
}};

using AlignmentWords = std::array<std::pair<QStringView, Qt::AlignmentFlag>, 3>;
constexpr AlignmentWords HorizontalWords = {{{u"left", Qt::AlignLeft}, {u"center", Qt::AlignHCenter}, {u"right", Qt::AlignRight}}};
constexpr AlignmentWords VerticalWords = {{{u"top", Qt::AlignTop}, {u"middle", Qt::AlignVCenter}, {u"bottom", Qt::AlignBottom}}};

// One of three alignments, by its word (any letter case, blanks around it).
bool readAlignment(const char* name, const QString& text, const AlignmentWords& words, Qt::Alignment& out, QString& reason)
{
    const QString word = text.trimmed().toLower();
    for (const auto& [candidate, flag] : words) {
        if (word == candidate) {
            out = flag;
            return true;
        }
    }
    reason = QStringLiteral("%1=\"%2\" is not %3, %4 or %5")
                 .arg(QLatin1String(name), word, words[0].first, words[1].first, words[2].first);
    return false;
}

bool readBorders(const QString& text, int& out, QString& reason)
{
    static const std::pair<QStringView, int> sides[] = {
        {u"all", BorderAll}, {u"none", 0}, {u"left", BorderLeft}, {u"top", BorderTop}, {u"right", BorderRight}, {u"bottom", BorderBottom}};
    int borders = 0;
    for (const QString& part : text.toLower().split(u',', Qt::SkipEmptyParts)) {
        const QString side = part.trimmed();
        const auto found = std::find_if(std::begin(sides), std::end(sides), [&](const auto& entry) { return side == entry.first; });
        if (found == std::end(sides)) {
            reason = QStringLiteral("border side \"%1\" is not all, none, left, top, right or bottom").arg(side);
            return false;
        }
        borders |= found->second;
    }
    out = borders;
    return true;
}

// The member of a true/false style attribute; null for the others.
bool CellStyle::*flagMember(StyleAttribute attribute)
{
    switch (attribute) {
    case StyleAttribute::Bold:
        return &CellStyle::bold;
    case StyleAttribute::Italic:
        return &CellStyle::italic;
    case StyleAttribute::Underline:
        return &CellStyle::underline;
    case StyleAttribute::Wrap:
        return &CellStyle::wrap;
    default:
        return nullptr;
    }
}

} // namespace

bool readNumberAttribute(const char* name, const QString& text, double minimum, double maximum, double& out,
                         QString& reason)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minimum || value > maximum) {
        reason = QStringLiteral("attribute %1=\"%2\" is not a number from %3 to %4")
                     .arg(QString::fromUtf8(name), text)
                     .arg(minimum)
                     .arg(maximum);
        return false;
    }
    out = value;
    return true;
}

bool readWholeAttribute(const char* name, const QString& text, int minimum, int maximum, int& out, QString& reason)
{
    double value = 0;
    // One message for a fraction and for a number out of range: both break the same rule.
    if (!readNumberAttribute(name, text, minimum, maximum, value, reason) || value != std::floor(value)) {
        reason = QStringLiteral("attribute %1=\"%2\" is not a whole number from %3 to %4")
                     .arg(QString::fromUtf8(name), text)
                     .arg(minimum)
                     .arg(maximum);
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool readFlagAttribute(const char* name, const QString& text, bool& out, QString& reason)
{
    const QString value = text.trimmed().toLower();
    if (value == u"true" || value == u"1" || value == u"yes") {
        out = true;
        return true;
    }
    if (value == u"false" || value == u"0" || value == u"no") {
        out = false;
        return true;
    }
    reason = QStringLiteral("attribute %1=\"%2\" is not true or false").arg(QString::fromUtf8(name), value);
    return false;
}

bool readColourAttribute(const char* name, const QString& text, QColor& out, QString& reason)
{
    const QColor value = QColor::fromString(text.trimmed());
    if (!value.isValid()) {
        reason = QStringLiteral("attribute %1=\"%2\" is not a colour").arg(QString::fromUtf8(name), text);
        return false;
    }
    out = value;
    return true;
}

bool styleAttributeOf(const char* name, StyleAttribute& attribute)
{
    for (const StyleAttributeName& entry : StyleAttributeNames) {
        if (std::strcmp(entry.name, name) == 0) {
            attribute = entry.attribute;
            return true;
        }
    }
    return false;
}

QString styleAttributeName(StyleAttribute attribute)
{
    for (const StyleAttributeName& entry : StyleAttributeNames)
        if (entry.attribute == attribute)
            return QString::fromLatin1(entry.name);
    return {};
}

bool setStyleAttribute(CellStyle& style, StyleAttribute attribute, const QString& text, QString& reason)
{
    const QByteArray nameBytes = styleAttributeName(attribute).toLatin1();
    const char* name = nameBytes.constData();
    switch (attribute) {
    case StyleAttribute::Font:
        style.fontFamily = text;
        return true;
    case StyleAttribute::Size:
        return readNumberAttribute(name, text, MinFontSize, MaxFontSize, style.fontSize, reason);
    case StyleAttribute::Bold:
    case StyleAttribute::Italic:
    case StyleAttribute::Underline:
    case StyleAttribute::Wrap:
        return readFlagAttribute(name, text, style.*flagMember(attribute), reason);
    case StyleAttribute::Color:
        return readColourAttribute(name, text, style.color, reason);
    case StyleAttribute::Background:
        return readColourAttribute(name, text, style.background, reason);
    case StyleAttribute::Decimals:
        return readWholeAttribute(name, text, -1, MaxDecimals, style.decimals, reason);
    case StyleAttribute::Format:
        if (formatDecimals(text) > MaxDecimals) {
            reason = QStringLiteral("format=\"%1\" asks for more than %2 digits after the point").arg(text.left(64)).arg(MaxDecimals);
            return false;
        }
        style.format = text;
        return true;
    case StyleAttribute::Align:
    case StyleAttribute::VAlign: {
        const bool horizontal = attribute == StyleAttribute::Align;
        Qt::Alignment flag;
        if (!readAlignment(name, text, horizontal ? HorizontalWords : VerticalWords, flag, reason))
            return false;
        style.alignment = (style.alignment & (horizontal ? Qt::AlignVertical_Mask : Qt::AlignHorizontal_Mask)) | flag;
        return true;
    }
    case StyleAttribute::Border:
        return readBorders(text, style.borders, reason);
    }
    return false;
}

bool applyStyleValue(CellStyle& style, StyleAttribute attribute, const ExprValue& value)
{
    QString reason;
    if (bool CellStyle::*member = flagMember(attribute)) {
        style.*member = isTrue(value);
        return true;
    }
    CellStyle changed = style;
    if (!setStyleAttribute(changed, attribute, value.toText(), reason))
        return false;
    style = std::move(changed);
    return true;
}

QString parameterTypeName(ParameterType type)
{
    switch (type) {
    case ParameterType::Number:
        return QStringLiteral("number");
    case ParameterType::Date:
        return QStringLiteral("date");
    case ParameterType::Text:
        break;
    }
    return QStringLiteral("text");
}

bool parameterValue(ParameterType type, const QString& text, ExprValue& value, QString& reason)
{
    switch (type) {
    case ParameterType::Text:
        value = ExprValue::fromText(text);
        return true;
    case ParameterType::Number: {
        bool ok = false;
        const double number = text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(number)) {
            reason = QStringLiteral("\"%1\" is not a number").arg(text.left(64));
            return false;
        }
        value = ExprValue::fromNumber(number);
        return true;
    }
    case ParameterType::Date: {
        const QDate date = QDate::fromString(text.trimmed(), Qt::ISODate);
        if (!date.isValid()) {
            reason = QStringLiteral("\"%1\" is not a date in the form yyyy-MM-dd").arg(text.left(64));
            return false;
        }
        value = ExprValue::fromDateTime(QDateTime(date, QTime(0, 0)));
        return true;
    }
    }
    return false;
}

} // namespace vl
