#pragma once
// What the data model (ReportData.cpp) and the data document reader (ReportDataReader.cpp) share: the
// shapes of rows, the parsed text the rows refer to, and how a value is found in it.

#include "ReportData.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// Rows of a block mostly name the same attributes in the same order: their names are read once per
// shape and shared.
struct RowShape {
    const char16_t* text = nullptr; // the document's, where the rows' value offsets count from
    std::vector<std::u16string_view> attributes; // every attribute's name as written, __MasterIdx included
    std::vector<QString> names; // the fields, in attribute order
    std::vector<std::uint32_t> positions; // of each field among the row's attributes
    int masterIdx = -1; // position of the first __MasterIdx attribute, -1 without
    // Of a wide shape only: (hash, field) of each name as spelt and case-folded, in that order, so
    // that finding a field by name is no scan of every name. Empty for the usual narrow shape.
    using Index = std::vector<std::pair<std::size_t, std::uint32_t>>;
    Index spelt;
    Index folded;
};

// From this many fields on a shape is indexed; a scan of fewer names costs less than a hash.
constexpr std::size_t IndexedFrom = 32;

// Where the rows' values start, in blocks that never move, so rows point straight at their part.
class ValueStore {
public:
    std::uint32_t* take(std::size_t count)
    {
        if (count > m_room) {
            const std::size_t size = std::max(BlockValues, count);
            m_blocks.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(size));
            m_next = m_blocks.back().get();
            m_room = size;
        }
        std::uint32_t* taken = m_next;
        m_next += count;
        m_room -= count;
        return taken;
    }

private:
    static constexpr std::size_t BlockValues = std::size_t{1} << 16;
    std::vector<std::unique_ptr<std::uint32_t[]>> m_blocks;
    std::uint32_t* m_next = nullptr;
    std::size_t m_room = 0;
};

struct ParsedData {
    QString text; // never written to, so its storage stays where the rows point
    std::deque<RowShape> shapes; // stable addresses, referred to by the rows
    ValueStore values;
};

// A value as it stands in the text: from the parser's checked offset to its closing quote.
struct ValueText {
    const char16_t* begin;
    const char16_t* end;
    bool references;
};

inline ValueText valueAt(const RowShape& shape, const std::uint32_t* values, std::uint32_t position)
{
    const char16_t* const begin = shape.text + values[position];
    const char16_t quote = begin[-1];
    const char16_t* end = begin;
    bool references = false;
    for (; *end != quote; ++end) // the reader found the closing quote
        references |= *end == u'&';
    return {begin, end, references};
}

// The value with its references decoded.
QString toQString(const ValueText& value);

// The name with every character case-folded as QString::compare(..., Qt::CaseInsensitive) folds it,
// so that names equal without letter case have equal keys.
std::u16string foldedName(std::u16string_view name);

// The hash a shape's index keeps for a name (as spelt or folded).
std::size_t nameHash(std::u16string_view name);

} // namespace vl
