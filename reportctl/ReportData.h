#pragma once
// The data the report prints: master rows and, per DetailID, detail rows grouped by their master row,
// read from the XML data document.

#include "ReportXml.h"

#include <QString>

#include <string_view>
#include <utility>
#include <vector>

namespace vl {

struct DataRow {
    std::vector<std::pair<QString, QString>> fields; // name and value text, in document order

    // The value of the field compared without letter case, or null when the row has none.
    const QString* value(const QString& name) const;
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

    // The detail of that id (compared without letter case), or null.
    const DetailTable* detail(const QString& id) const;
    bool empty() const { return masterRows.empty() && details.empty(); }
};

// Reads a data document given as UTF-8 (the declared encoding is ignored: the text is decoded already).
// Attribute values keep tabs and line breaks. On failure `out` is unchanged and the result tells where and
// why, also for a detail row whose __MasterIdx names no master row.
ParseResult parseDataDocument(std::string_view xml, ReportDataSet& out);

} // namespace vl
