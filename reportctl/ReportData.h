#pragma once
// The data the report prints: master rows and, per DetailID, detail rows grouped by their master row,
// read from the XML data document. The rows refer to the document's text, which the data set keeps
// alive; a value becomes a QString only when it is asked for.

#include "ReportXml.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vl {

struct ParsedData; // the document's text, where its values lie, and the field names of its rows
struct RowShape; // the field names of rows naming the same attributes in the same order

// One row of a block. It refers into the document of the data set that holds it, so it is valid
// as long as that data set (or a copy or move of it) lives; copies of a row outside a data set are not.
class DataRow {
public:
    DataRow() = default;
    DataRow(const DataRow& other);
    DataRow& operator=(const DataRow& other);
    DataRow(DataRow&&) noexcept = default;
    DataRow& operator=(DataRow&&) noexcept = default;
    ~DataRow();

    // The value of the field: the name compared as spelt first, then without letter case; none when
    // the row has no such field (the writer leaves empty values out).
    std::optional<QString> value(const QString& name) const;

    // The value of the field as the aggregates read a number: trimmed, in the C locale's notation
    // (QString::toDouble); none when the row has no such field or its text is no number.
    std::optional<double> number(const QString& name) const;

    // The fields in document order, then those added by setValue.
    std::size_t fieldCount() const;
    QString fieldName(std::size_t index) const;
    QString fieldValue(std::size_t index) const;

    // Gives the first field of that name (compared without letter case) the value, or adds the field
    // at the end when the row has none. The document is not changed: the row keeps its own copy.
    void setValue(const QString& name, const QString& value);

private:
    friend class DataDocumentReader;
    using Fields = std::vector<std::pair<QString, QString>>;
    Fields fields() const;
    const RowShape& shape() const; // an empty one for a row without attributes
    int fieldIndex(const QString& name) const; // into the shape's names; -1 when none

    const RowShape* m_shape = nullptr; // null for a row without attributes
    const std::uint32_t* m_values = nullptr; // where each attribute's value starts in the text, in order
    std::unique_ptr<Fields> m_edited; // once set, the row's fields; the document is no longer read
};

struct DetailTable {
    QString id;
    std::vector<DataRow> rows; // document order
    std::vector<std::vector<int>> groups; // per master row: indices into rows; empty without master
    std::vector<QString> fieldNames; // every field name met, in order of first appearance
};

struct ReportDataSet {
    bool hasMaster = false;
    std::vector<DataRow> masterRows;
    std::vector<QString> masterFieldNames;
    std::vector<DetailTable> details; // document order
    std::shared_ptr<ParsedData> parsed; // what the rows refer to; shared by copies; null when empty

    // The detail of that id (compared without letter case), or null.
    const DetailTable* detail(const QString& id) const;
    bool empty() const { return masterRows.empty() && details.empty(); }
    // The document as it was read (edits of rows are not in it); empty when none was.
    QString text() const;
};

// The largest data document read, in characters (UTF-16 units); a file holding one may have at most as
// many bytes. Row values are found by 32-bit offsets into the text, and a larger document is no report.
inline constexpr qsizetype MaxDataDocumentChars = qsizetype(1) << 29;
// The most detail blocks (DetailIDs) a document may hold.
inline constexpr std::size_t MaxDetailBlocks = 1024;

// Reads a data document (the declared encoding is ignored: the text is decoded already). Attribute
// values keep tabs and line breaks; a byte-order mark at the start is passed over. On failure `out`
// is unchanged and the result tells where and why, also for a detail row whose __MasterIdx names no
// master row and for a row naming an attribute twice; lines and columns count characters. A text
// beyond MaxDataDocumentChars (bytes, for UTF-8) is refused without a position before it is read or
// copied. The data set keeps the text, and its rows read their values where they stand in it.
ParseResult parseDataDocument(const QString& xml, ReportDataSet& out); // shares the text, no copy
// Copies the text once it is read, into the storage of the document `out` held before when no copy
// of `out` shares it; `xml` need only live during the call.
ParseResult parseDataDocument(QStringView xml, ReportDataSet& out);
ParseResult parseDataDocument(std::string_view xml, ReportDataSet& out); // UTF-8, decoded into a copy
ParseResult parseDataDocument(const char* xml, ReportDataSet& out); // UTF-8, zero-terminated

} // namespace vl
