#include "ReportData.h"

#include "ReportXml_p.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <string>

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

// The attribute names of the rows of one block, by position: rows repeat the names of the row before
// them, so each name is converted and noted once and then shared.
class RowNames {
public:
    explicit RowNames(std::vector<QString>& names) : m_names(names) {}

    const QString& at(std::size_t position, const char* raw)
    {
        if (position < m_seen.size() && m_seen[position].first == raw)
            return m_seen[position].second;
        QString name = QString::fromUtf8(raw);
        noteName(m_names, name);
        if (position >= m_seen.size())
            m_seen.resize(position + 1);
        m_seen[position] = {raw, std::move(name)};
        return m_seen[position].second;
    }

private:
    std::vector<QString>& m_names;
    std::vector<std::pair<std::string, QString>> m_seen;
};

DataRow readRow(const pugi::xml_node& node, RowNames& names, bool skipMasterIdx, std::size_t expected)
{
    DataRow row;
    row.fields.reserve(expected);
    std::size_t position = 0;
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        if (skipMasterIdx && std::string_view(attribute.name()) == MasterIdxName)
            continue;
        row.fields.emplace_back(names.at(position++, attribute.name()), QString::fromUtf8(attribute.value()));
    }
    return row;
}

// Position of the detail row's master row; the writer puts plain decimal digits there.
int masterIndex(const pugi::xml_node& node, size_t masterCount)
{
    const pugi::xml_attribute attribute = node.attribute(MasterIdxName);
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

const QString* DataRow::value(const QString& name) const
{
    // Templates mostly spell names as the data do: the exact compare is the cheap first try.
    for (const auto& [fieldName, text] : fields)
        if (fieldName == name)
            return &text;
    for (const auto& [fieldName, text] : fields)
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0)
            return &text;
    return nullptr;
}

const DetailTable* ReportDataSet::detail(const QString& id) const
{
    for (const DetailTable& table : details)
        if (table.id.compare(id, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

ParseResult parseDataDocument(std::string_view xml, ReportDataSet& out)
{
    int line = 0, column = 0;
    // Refused before parsing: no entity is declared, expanded or fetched, whatever the text holds.
    std::ptrdiff_t at = 0;
    if (const QString problem = markupProblem(xml, at); !problem.isEmpty()) {
        lineAndColumn(xml, at, line, column);
        return ParseResult::failure(positionMessage(DataWhat, problem, line, column), line, column);
    }
    pugi::xml_document document;
    // No attribute whitespace conversion and no end-of-line normalisation: values keep tabs, CR and LF.
    const unsigned options = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_declaration | pugi::parse_doctype;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
    if (!parsed) {
        lineAndColumn(xml, parsed.offset, line, column);
        return ParseResult::failure(positionMessage(DataWhat, QString::fromUtf8(parsed.description()), line, column),
                                    line, column);
    }
    try {
        pugi::xml_node where;
        if (const QString problem = topLevelProblem(document, where); !problem.isEmpty())
            refuse(where, problem);
        const pugi::xml_node root = document.document_element();
        if (std::string_view(root.name()) != "DocumentData")
            refuse(root, QStringLiteral("the root element is <%1>, expected <DocumentData>").arg(QString::fromUtf8(root.name())));

        ReportDataSet result;
        const pugi::xml_node master = root.child("Master");
        result.hasMaster = !master.empty();
        if (result.hasMaster) {
            RowNames names(result.masterFieldNames);
            for (const pugi::xml_node& row : master.children()) {
                if (row.type() != pugi::node_element)
                    continue;
                requireRow(row);
                result.masterRows.push_back(readRow(row, names, false, result.masterFieldNames.size()));
            }
        }
        for (const pugi::xml_node& block : root.children()) {
            if (block.type() != pugi::node_element || block == master)
                continue;
            const QString id = QString::fromUtf8(block.name());
            if (std::string_view(block.name()) == "Master")
                refuse(block, QStringLiteral("a second <Master> block"));
            if (result.detail(id))
                refuse(block, QStringLiteral("detail block <%1> appears twice").arg(id));
            DetailTable table;
            table.id = id;
            if (result.hasMaster)
                table.groups.resize(result.masterRows.size());
            RowNames names(table.fieldNames);
            for (const pugi::xml_node& row : block.children()) {
                if (row.type() != pugi::node_element)
                    continue;
                requireRow(row);
                if (result.hasMaster)
                    table.groups[masterIndex(row, result.masterRows.size())].push_back(static_cast<int>(table.rows.size()));
                table.rows.push_back(readRow(row, names, result.hasMaster, table.fieldNames.size()));
            }
            result.details.push_back(std::move(table));
        }
        out = std::move(result);
        return {};
    } catch (const DataError& error) {
        lineAndColumn(xml, markupStart(xml, error.offset), line, column);
        return ParseResult::failure(positionMessage(DataWhat, error.reason, line, column), line, column);
    }
}

} // namespace vl
