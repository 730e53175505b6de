#include "ReportData.h"

#include "DecimalText.h"
#include "ReportXml_p.h"

#include <pugixml.hpp>

#include <QByteArray>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <system_error>
#include <unordered_map>

namespace vl {

namespace {

const QString DataWhat = QStringLiteral("Data document");

struct DataError {
    QString reason;
    std::ptrdiff_t offset;
};

[[noreturn]] void refuse(const pugi::xml_node& node, const QString& reason)
{
    throw DataError{reason, node.offset_debug()};
}

void noteName(std::vector<QString>& names, const QString& name)
{
    if (std::none_of(names.begin(), names.end(), [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; }))
        names.push_back(name);
}

const char MasterIdxName[] = "__MasterIdx";

} // namespace

// Rows of a block mostly name the same attributes in the same order: their names are converted once
// per shape and shared.
struct RowShape {
    std::vector<std::string> attributes; // the raw names of every attribute, __MasterIdx included
    std::vector<QString> names; // the fields, in attribute order
    std::vector<std::uint32_t> positions; // of each field among the row's attributes
    int masterIdx = -1; // position of the first __MasterIdx attribute, -1 without
};

struct ParsedData {
    QByteArray text; // parsed in place: the tree's names and values point into it
    pugi::xml_document document;
    std::deque<RowShape> shapes; // stable addresses, referred to by the rows
};

namespace {

// Whether the zero-terminated `name` is `expected`. Names lie in the parsed text, so they are mostly
// compared whole, terminator included, when that many bytes lie in the text; else one by one, never
// reading past the name's end.
bool sameName(const char* name, const std::string& expected, const char* textBegin, const char* textEnd)
{
    if (name >= textBegin && textEnd - name > static_cast<std::ptrdiff_t>(expected.size()))
        return std::memcmp(name, expected.c_str(), expected.size() + 1) == 0;
    for (const char c : expected)
        if (*name++ != c)
            return false;
    return *name == '\0';
}

} // namespace

// Builds the rows of one block, finding or making the shape of each.
class DataRowBuilder {
public:
    DataRowBuilder(ParsedData& parsed, std::vector<QString>& names, bool skipMasterIdx)
        : m_parsed(parsed), m_names(names), m_skipMasterIdx(skipMasterIdx), m_textBegin(parsed.text.constData()),
          m_textEnd(m_textBegin + parsed.text.size() + 1) // QByteArray's terminator is readable
    {
    }

    // The row of that element; `masterIdx`, when given, gets its first __MasterIdx attribute (or none).
    DataRow build(const pugi::xml_node& node, pugi::xml_attribute* masterIdx = nullptr)
    {
        DataRow row;
        const pugi::xml_attribute first = node.first_attribute();
        if (!first) {
            if (masterIdx)
                *masterIdx = pugi::xml_attribute();
            return row;
        }
        row.m_attributes = first.internal_object();
        // Neighbouring rows mostly have the same shape: compared as the walk goes, which also meets
        // the master index on the way.
        if (!m_last || !matches(*m_last, first, masterIdx, m_textBegin, m_textEnd)) {
            m_last = find(first);
            if (masterIdx)
                *masterIdx = attributeAt(first, m_last->masterIdx);
        }
        row.m_shape = m_last;
        return row;
    }

private:
    static bool matches(const RowShape& shape, pugi::xml_attribute attribute, pugi::xml_attribute* masterIdx,
                        const char* textBegin, const char* textEnd)
    {
        pugi::xml_attribute found;
        int position = 0;
        for (const std::string& name : shape.attributes) {
            if (!attribute || !sameName(attribute.name(), name, textBegin, textEnd))
                return false;
            if (position++ == shape.masterIdx)
                found = attribute;
            attribute = attribute.next_attribute();
        }
        if (attribute)
            return false;
        if (masterIdx)
            *masterIdx = found;
        return true;
    }

    static pugi::xml_attribute attributeAt(pugi::xml_attribute attribute, int position)
    {
        if (position < 0)
            return {};
        for (; position > 0; --position)
            attribute = attribute.next_attribute();
        return attribute;
    }

    const RowShape* find(const pugi::xml_attribute& first)
    {
        std::string key;
        for (pugi::xml_attribute attribute = first; attribute; attribute = attribute.next_attribute()) {
            key += attribute.name();
            key += '\0';
        }
        if (const auto found = m_shapes.find(key); found != m_shapes.end())
            return found->second;
        RowShape& shape = m_parsed.shapes.emplace_back();
        std::uint32_t position = 0;
        for (pugi::xml_attribute attribute = first; attribute; attribute = attribute.next_attribute(), ++position) {
            shape.attributes.emplace_back(attribute.name());
            const bool isMasterIdx = std::string_view(attribute.name()) == MasterIdxName;
            if (isMasterIdx && shape.masterIdx < 0)
                shape.masterIdx = static_cast<int>(position);
            if (m_skipMasterIdx && isMasterIdx)
                continue;
            shape.names.push_back(QString::fromUtf8(attribute.name()));
            shape.positions.push_back(position);
            noteName(m_names, shape.names.back());
        }
        m_shapes.emplace(std::move(key), &shape);
        return &shape;
    }

    ParsedData& m_parsed;
    std::vector<QString>& m_names;
    const bool m_skipMasterIdx;
    const char* const m_textBegin;
    const char* const m_textEnd;
    const RowShape* m_last = nullptr;
    std::unordered_map<std::string, const RowShape*> m_shapes; // by the names joined
};

namespace {

// Position of the detail row's master row, read from its __MasterIdx attribute (none: refused); the
// writer puts plain decimal digits there.
int masterIndex(const pugi::xml_node& node, const pugi::xml_attribute& attribute, size_t masterCount)
{
    if (!attribute)
        refuse(node, QStringLiteral("detail row without __MasterIdx"));
    // The writer's plain digits are read as they stand; anything else takes the general way below.
    const std::string_view digits = attribute.value();
    if (!digits.empty() && digits.size() <= 9
        && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int index = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (static_cast<size_t>(index) < masterCount)
            return index;
    }
    const QString text = QString::fromUtf8(attribute.value());
    bool ok = false;
    const int index = text.toInt(&ok);
    if (!ok || index < 0 || static_cast<size_t>(index) >= masterCount || text.trimmed() != text)
        refuse(node, QStringLiteral("__MasterIdx=\"%1\" names no master row (there are %2)").arg(text).arg(masterCount));
    return index;
}

void requireRow(const pugi::xml_node& node)
{
    if (std::string_view(node.name()) != "Row")
        refuse(node, QStringLiteral("<%1> found where <Row> was expected").arg(QString::fromUtf8(node.name())));
}

} // namespace

namespace {

QString attributeValue(pugi::xml_attribute_struct* first, std::uint32_t position)
{
    pugi::xml_attribute attribute(first);
    for (; position > 0; --position)
        attribute = attribute.next_attribute();
    return QString::fromUtf8(attribute.value());
}

} // namespace

DataRow::DataRow(const DataRow& other)
    : m_shape(other.m_shape), m_attributes(other.m_attributes),
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
    return attributeValue(m_attributes, m_shape->positions[static_cast<std::size_t>(index)]);
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
    pugi::xml_attribute attribute(m_attributes);
    for (std::uint32_t position = m_shape->positions[static_cast<std::size_t>(index)]; position > 0; --position)
        attribute = attribute.next_attribute();
    // What the writer puts there, plain decimals, is read straight from the text.
    const std::string_view text = attribute.value();
    if (const std::optional<double> number = plainDecimal(text))
        return number;
    return fromText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
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
    return attributeValue(m_attributes, shape().positions.at(index));
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
    for (const DetailTable& table : details)
        if (table.id.compare(id, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

namespace {

// Why and where a document is refused; `atMarkup` when the offset is to be moved to its tag's "<".
struct Refusal {
    QString reason;
    std::ptrdiff_t offset = 0;
    bool atMarkup = false;
};

// Parses `text` in place and reads its rows into `out`, which is left alone on failure.
std::optional<Refusal> readDocument(QByteArray text, ReportDataSet& out)
{
    // Refused before parsing: no entity is declared, expanded or fetched, whatever the text holds.
    std::ptrdiff_t at = 0;
    if (QString problem = markupProblem(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), at);
        !problem.isEmpty())
        return Refusal{std::move(problem), at, false};
    auto parsed = std::make_shared<ParsedData>();
    parsed->text = std::move(text);
    // No attribute whitespace conversion and no end-of-line normalisation: values keep tabs, CR and LF.
    const unsigned options = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_declaration | pugi::parse_doctype;
    const pugi::xml_parse_result result = parsed->document.load_buffer_inplace(
        parsed->text.data(), static_cast<std::size_t>(parsed->text.size()), options, pugi::encoding_utf8);
    if (!result)
        return Refusal{QString::fromUtf8(result.description()), result.offset, false};
    try {
        const pugi::xml_document& document = parsed->document;
        pugi::xml_node where;
        if (const QString problem = topLevelProblem(document, where); !problem.isEmpty())
            refuse(where, problem);
        const pugi::xml_node root = document.document_element();
        if (std::string_view(root.name()) != "DocumentData")
            refuse(root, QStringLiteral("the root element is <%1>, expected <DocumentData>").arg(QString::fromUtf8(root.name())));

        ReportDataSet data;
        const pugi::xml_node master = root.child("Master");
        data.hasMaster = !master.empty();
        if (data.hasMaster) {
            DataRowBuilder rows(*parsed, data.masterFieldNames, false);
            for (const pugi::xml_node& row : master.children()) {
                if (row.type() != pugi::node_element)
                    continue;
                requireRow(row);
                data.masterRows.push_back(rows.build(row));
            }
        }
        for (const pugi::xml_node& block : root.children()) {
            if (block.type() != pugi::node_element || block == master)
                continue;
            const QString id = QString::fromUtf8(block.name());
            if (std::string_view(block.name()) == "Master")
                refuse(block, QStringLiteral("a second <Master> block"));
            if (data.detail(id))
                refuse(block, QStringLiteral("detail block <%1> appears twice").arg(id));
            DetailTable table;
            table.id = id;
            if (data.hasMaster)
                table.groups.resize(data.masterRows.size());
            DataRowBuilder rows(*parsed, table.fieldNames, data.hasMaster);
            for (const pugi::xml_node& row : block.children()) {
                if (row.type() != pugi::node_element)
                    continue;
                requireRow(row);
                if (!data.hasMaster) {
                    table.rows.push_back(rows.build(row));
                    continue;
                }
                pugi::xml_attribute masterIdx;
                DataRow built = rows.build(row, &masterIdx);
                table.groups[masterIndex(row, masterIdx, data.masterRows.size())].push_back(static_cast<int>(table.rows.size()));
                table.rows.push_back(std::move(built));
            }
            data.details.push_back(std::move(table));
        }
        data.parsed = std::move(parsed);
        out = std::move(data);
        return std::nullopt;
    } catch (const DataError& error) {
        return Refusal{error.reason, error.offset, true};
    }
}

// The refusal with its position, counted in `source`: the text as given, since parsing in place
// rewrites the buffer that was read.
ParseResult refused(const Refusal& refusal, std::string_view source)
{
    int line = 0, column = 0;
    lineAndColumn(source, refusal.atMarkup ? markupStart(source, refusal.offset) : refusal.offset, line, column);
    return ParseResult::failure(positionMessage(DataWhat, refusal.reason, line, column), line, column);
}

} // namespace

ParseResult parseDataDocument(std::string_view xml, ReportDataSet& out)
{
    const std::optional<Refusal> refusal
        = readDocument(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())), out);
    return refusal ? refused(*refusal, xml) : ParseResult{};
}

ParseResult parseDataDocument(QStringView xml, ReportDataSet& out)
{
    const std::optional<Refusal> refusal = readDocument(xml.toUtf8(), out);
    if (!refusal)
        return {};
    const QByteArray source = xml.toUtf8(); // again: the first copy was parsed in place
    return refused(*refusal, std::string_view(source.constData(), static_cast<std::size_t>(source.size())));
}

} // namespace vl
