#include "ReportData.h"
#include "ReportData_p.h"

#include "DecimalText_p.h"
#include "NamedLookup_p.h"

#include <QHashFunctions>

#include <algorithm>

namespace vl {

namespace {


// The fields whose name hashes to `hash`, in field order.
template <typename Match>
int findIndexed(const RowShape::Index& index, std::size_t hash, Match match)
{
    auto entry = std::lower_bound(index.begin(), index.end(), std::pair<std::size_t, std::uint32_t>(hash, 0));
    for (; entry != index.end() && entry->first == hash; ++entry)
        if (match(entry->second))
            return static_cast<int>(entry->second);
    return -1;
}

// The references of a value the reader let pass, replaced by what they stand for. A character
// reference beyond Unicode, to a surrogate or to U+0000 gives U+FFFD.
QString decodeReferences(const char16_t* p, const char16_t* end)
{
    QString out;
    out.reserve(end - p);
    while (p < end) {
        const char16_t* amp = std::find(p, end, u'&');
        out.append(reinterpret_cast<const QChar*>(p), amp - p);
        if (amp == end)
            break;
        const char16_t* semicolon = std::find(amp + 1, end, u';');
        const std::u16string_view name(amp + 1, static_cast<std::size_t>(semicolon - amp - 1));
        p = semicolon == end ? end : semicolon + 1;
        if (name == u"amp") {
            out.append(u'&');
        } else if (name == u"lt") {
            out.append(u'<');
        } else if (name == u"gt") {
            out.append(u'>');
        } else if (name == u"quot") {
            out.append(u'"');
        } else if (name == u"apos") {
            out.append(u'\'');
        } else if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            char32_t code = 0;
            for (const char16_t c : name.substr(hex ? 2 : 1)) {
                const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
                code = std::min<char32_t>(code * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
            }
            if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                code = 0xFFFD;
            const QChar units[2] = {QChar::highSurrogate(code), QChar::lowSurrogate(code)};
            if (QChar::requiresSurrogates(code))
                out.append(units, 2);
            else
                out.append(QChar(static_cast<char16_t>(code)));
        }
    }
    return out;
}

} // namespace

std::u16string foldedName(std::u16string_view name)
{
    std::u16string key;
    key.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1])) {
            c = QChar::surrogateToUcs4(name[i], name[i + 1]);
            ++i;
        }
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            key += QChar::highSurrogate(c);
            key += QChar::lowSurrogate(c);
        } else {
            key += static_cast<char16_t>(c);
        }
    }
    return key;
}

std::size_t nameHash(std::u16string_view name)
{
    return qHash(QStringView(name.data(), static_cast<qsizetype>(name.size())), QHashSeed::globalSeed());
}

QString toQString(const ValueText& value)
{
    if (value.references)
        return decodeReferences(value.begin, value.end);
    return QString(reinterpret_cast<const QChar*>(value.begin), value.end - value.begin);
}

DataRow::DataRow(const DataRow& other)
    : m_shape(other.m_shape), m_values(other.m_values),
      m_edited(other.m_edited ? std::make_unique<Fields>(*other.m_edited) : nullptr)
{
}

DataRow& DataRow::operator=(const DataRow& other)
{
    if (this != &other)
        *this = DataRow(other);
    return *this;
}

DataRow::~DataRow() = default;

const RowShape& DataRow::shape() const
{
    static const RowShape none;
    return m_shape ? *m_shape : none;
}

int DataRow::fieldIndex(const QString& name) const
{
    // Templates mostly spell names as the data do: the exact compare is the cheap first try.
    const std::vector<QString>& names = shape().names;
    if (!shape().spelt.empty()) {
        const std::u16string_view spelt(reinterpret_cast<const char16_t*>(name.utf16()), static_cast<std::size_t>(name.size()));
        const int exact = findIndexed(shape().spelt, nameHash(spelt), [&](std::uint32_t i) { return names[i] == name; });
        if (exact >= 0)
            return exact;
        return findIndexed(shape().folded, nameHash(foldedName(spelt)),
                           [&](std::uint32_t i) { return names[i].compare(name, Qt::CaseInsensitive) == 0; });
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

std::optional<QString> DataRow::value(const QString& name) const
{
    if (m_edited) {
        for (const auto& [fieldName, text] : *m_edited)
            if (fieldName == name)
                return text;
        for (const auto& [fieldName, text] : *m_edited)
            if (fieldName.compare(name, Qt::CaseInsensitive) == 0)
                return text;
        return std::nullopt;
    }
    const int index = fieldIndex(name);
    if (index < 0)
        return std::nullopt;
    return toQString(valueAt(*m_shape, m_values, m_shape->positions[static_cast<std::size_t>(index)]));
}

std::optional<double> DataRow::number(const QString& name) const
{
    auto fromText = [](const std::optional<QString>& text) -> std::optional<double> {
        bool ok = false;
        const double number = text ? text->trimmed().toDouble(&ok) : 0.0;
        return ok ? std::optional<double>(number) : std::nullopt;
    };
    if (m_edited)
        return fromText(value(name));
    const int index = fieldIndex(name);
    if (index < 0)
        return std::nullopt;
    // What the writer puts there, plain decimals, is read straight from the text.
    const ValueText text = valueAt(*m_shape, m_values, m_shape->positions[static_cast<std::size_t>(index)]);
    if (!text.references)
        if (const std::optional<double> number = plainDecimal(QStringView(text.begin, text.end)))
            return number;
    return fromText(toQString(text));
}

std::size_t DataRow::fieldCount() const
{
    if (m_edited)
        return m_edited->size();
    return m_shape ? m_shape->names.size() : 0;
}

QString DataRow::fieldName(std::size_t index) const
{
    if (m_edited)
        return m_edited->at(index).first;
    return shape().names.at(index);
}

QString DataRow::fieldValue(std::size_t index) const
{
    if (m_edited)
        return m_edited->at(index).second;
    const std::uint32_t position = shape().positions.at(index);
    return toQString(valueAt(*m_shape, m_values, position));
}

DataRow::Fields DataRow::fields() const
{
    Fields result;
    const std::size_t count = fieldCount();
    result.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i)
        result.emplace_back(fieldName(i), fieldValue(i));
    return result;
}

void DataRow::setValue(const QString& name, const QString& value)
{
    if (!m_edited)
        m_edited = std::make_unique<Fields>(fields());
    for (auto& [fieldName, text] : *m_edited) {
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0) {
            text = value;
            return;
        }
    }
    m_edited->emplace_back(name, value);
}

const DetailTable* ReportDataSet::detail(const QString& id) const
{
    return findNamed(details, &DetailTable::id, id);
}

QString ReportDataSet::text() const
{
    return parsed ? parsed->text : QString();
}

} // namespace vl
