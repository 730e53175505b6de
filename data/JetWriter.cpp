#include "JetWriter.h"

#include "JetFormat_p.h"

#include "Exceptions.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>

namespace vl::jet
{

namespace
{

void put16(std::string& out, std::size_t at, uint32_t v)
{
    out[at] = static_cast<char>(v & 0xff);
    out[at + 1] = static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& out, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void append16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}
void append32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}
template <typename T> void appendRaw(std::string& out, T value)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

constexpr std::size_t DataHeaderSize = 14;
constexpr std::size_t MaxRowsPerPage = 255; // the row byte of a row pointer
constexpr std::size_t MaxRowSize = PageSize - DataHeaderSize - 2; // one row alone on a page
constexpr std::size_t InlineLongValueLimit = 64;
constexpr std::size_t MapSize = 64;

uint8_t columnTypeCode(FieldType type)
{
    switch (type) {
    case FieldType::Boolean:
        return ColBoolean;
    case FieldType::Byte:
        return ColByte;
    case FieldType::Integer:
        return ColInteger;
    case FieldType::LongInteger:
        return ColLong;
    case FieldType::Currency:
        return ColMoney;
    case FieldType::Single:
        return ColSingle;
    case FieldType::Double:
        return ColDouble;
    case FieldType::DateTime:
        return ColDateTime;
    case FieldType::Binary:
        return ColBinary;
    case FieldType::Text:
        return ColText;
    case FieldType::OleObject:
        return ColOle;
    case FieldType::Memo:
        return ColMemo;
    case FieldType::ReplicationId:
        return ColGuid;
    case FieldType::Numeric:
        return ColNumeric;
    }
    return ColText;
}

// Bytes a fixed column takes in the row; 0 for variable columns and yes/no (kept in the null mask).
std::size_t fixedSize(FieldType type)
{
    switch (type) {
    case FieldType::Byte:
        return 1;
    case FieldType::Integer:
        return 2;
    case FieldType::LongInteger:
    case FieldType::Single:
        return 4;
    case FieldType::Currency:
    case FieldType::Double:
    case FieldType::DateTime:
        return 8;
    case FieldType::ReplicationId:
        return 16;
    case FieldType::Numeric:
        return 17;
    default:
        return 0;
    }
}

bool isVariable(FieldType type)
{
    return type == FieldType::Text || type == FieldType::Binary || type == FieldType::Memo
        || type == FieldType::OleObject;
}

// One page being filled with rows from its end towards its header.
struct Page {
    std::string bytes = std::string(PageSize, '\0');
    std::size_t rows = 0;
    std::size_t lowest = PageSize; // start of the lowest row so far

    Page(uint8_t type, uint32_t owner, bool longValues = false)
    {
        bytes[0] = static_cast<char>(type);
        bytes[1] = 0x01;
        if (longValues)
            bytes.replace(4, 4, "LVAL");
        else
            put32(bytes, 4, owner);
    }
    std::size_t room() const
    {
        const std::size_t used = DataHeaderSize + 2 * (rows + 1);
        return rows >= MaxRowsPerPage || lowest < used ? 0 : lowest - used;
    }
    std::size_t add(std::string_view row)
    {
        lowest -= row.size();
        bytes.replace(lowest, row.size(), row);
        put16(bytes, DataHeaderSize + 2 * rows, static_cast<uint32_t>(lowest));
        ++rows;
        put16(bytes, DataRowCountOffset, static_cast<uint32_t>(rows));
        put16(bytes, 2, static_cast<uint32_t>(lowest - DataHeaderSize - 2 * rows));
        return rows - 1;
    }
};

class FileBuilder
{
public:
    std::vector<std::string> pages; // page number -> bytes; filled in as pages are made

    uint32_t reserve()
    {
        pages.emplace_back();
        return static_cast<uint32_t>(pages.size() - 1);
    }
};

struct PreparedColumn {
    ColumnDefinition definition;
    uint16_t number = 0;
    uint16_t varIndex = 0;
    uint16_t fixedOffset = 0;
};

class TableWriter
{
public:
    TableWriter(FileBuilder& file, const TableDefinition& table, uint32_t definitionPage, bool system)
        : m_file(file)
        , m_table(table)
        , m_definitionPage(definitionPage)
        , m_system(system)
    {
        if (table.columns.empty())
            fail("has no columns");
        if (table.columns.size() > 255)
            fail("has more than 255 columns");
        uint16_t fixed = 0, variable = 0;
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            PreparedColumn column { table.columns[i], static_cast<uint16_t>(i), 0, 0 };
            const auto& def = column.definition;
            if (def.name.empty() || utf8ToUtf16(def.name).size() > 64)
                fail(format("column %zu has an empty name or one longer than 64 characters", i + 1));
            if (def.autoIncrement && def.type != FieldType::LongInteger)
                fail(format("column '%s' is auto-increment but not a long integer", def.name.c_str()));
            if (def.type == FieldType::Text && (def.size < 1 || def.size > 255))
                fail(format("text column '%s' has size %d; 1 to 255 characters fit", def.name.c_str(), def.size));
            if (def.type == FieldType::Binary && (def.size < 1 || def.size > 510))
                fail(format("binary column '%s' has size %d; 1 to 510 bytes fit", def.name.c_str(), def.size));
            if (def.type == FieldType::Numeric
                && (def.precision < 1 || def.precision > 28 || def.scale < 0 || def.scale > def.precision))
                fail(format(
                    "numeric column '%s' has precision %d and scale %d", def.name.c_str(), def.precision, def.scale));
            if (isVariable(def.type)) {
                column.varIndex = variable++;
            } else {
                column.fixedOffset = fixed;
                fixed = static_cast<uint16_t>(fixed + fixedSize(def.type));
            }
            m_columns.push_back(std::move(column));
        }
        m_variableCount = variable;
    }

    // Encodes every row (long values go to their own pages now) and fills the data pages.
    void writeRows()
    {
        std::vector<std::string> encoded;
        encoded.reserve(m_table.rows.size());
        for (std::size_t r = 0; r < m_table.rows.size(); ++r)
            encoded.push_back(encodeRow(m_table.rows[r], r));
        std::unique_ptr<Page> page;
        for (const std::string& row : encoded) {
            if (!page || page->room() < row.size()) {
                if (page)
                    flush(*page);
                page = std::make_unique<Page>(0x01, m_definitionPage);
            }
            page->add(row);
        }
        if (page)
            flush(*page);
    }

    // The table definition page; mapRows are the row pointers of the usage and free-space maps.
    std::string definitionPage(uint32_t usedMap, uint32_t freeMap) const
    {
        std::string page(PageSize, '\0');
        page[0] = 0x02;
        page[1] = 0x01;
        std::string body(63 - 8, '\0');
        auto at = [&](std::size_t offset) { return offset - 8; };
        put32(body, at(16), static_cast<uint32_t>(m_table.rows.size()));
        if (hasAutoIncrement()) {
            put32(body, at(20), m_nextAutoNumber);
            body[at(24)] = 0x01;
        }
        body[at(40)] = static_cast<char>(m_system ? 0x53 : 0x4e);
        put16(body, at(41), static_cast<uint32_t>(m_columns.size()));
        put16(body, at(43), m_variableCount);
        put16(body, at(45), static_cast<uint32_t>(m_columns.size()));
        put32(body, at(55), usedMap);
        put32(body, at(59), freeMap);
        for (const auto& column : m_columns) {
            std::string entry(25, '\0');
            const auto& def = column.definition;
            entry[0] = static_cast<char>(columnTypeCode(def.type));
            put16(entry, 5, column.number);
            put16(entry, 7, isVariable(def.type) ? column.varIndex : column.number);
            put16(entry, 9, column.number);
            if (def.type == FieldType::Text || def.type == FieldType::Memo) {
                put16(entry, 11, 0x0409); // General sort order
                entry[16] = 0x01; // values may be compressed
            } else if (def.type == FieldType::Numeric) {
                entry[11] = static_cast<char>(def.precision);
                entry[12] = static_cast<char>(def.scale);
            } else if (def.type == FieldType::Currency) {
                entry[11] = 19;
                entry[12] = 4;
            }
            uint8_t flags = FlagUpdatable;
            if (!isVariable(def.type))
                flags |= FlagFixed;
            if (def.autoIncrement)
                flags |= FlagAutoLong;
            entry[15] = static_cast<char>(flags);
            put16(entry, 21, column.fixedOffset);
            uint32_t length = static_cast<uint32_t>(fixedSize(def.type));
            if (def.type == FieldType::Text)
                length = static_cast<uint32_t>(def.size * 2);
            else if (def.type == FieldType::Binary)
                length = static_cast<uint32_t>(def.size);
            put16(entry, 23, length);
            body += entry;
        }
        for (const auto& column : m_columns) {
            const std::string name = encodeText(column.definition.name, false);
            append16(body, static_cast<uint32_t>(name.size()));
            body += name;
        }
        append16(body, 0xffff); // no long-value column maps follow
        if (8 + body.size() > PageSize)
            fail("has a definition longer than one page");
        page.replace(8, body.size(), body);
        put32(page, 8, static_cast<uint32_t>(body.size()));
        put16(page, 2, static_cast<uint32_t>(PageSize - 8 - body.size() - 8));
        return page;
    }

    const std::vector<uint32_t>& dataPages() const { return m_dataPages; }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw Exception(format("Table '%s' %s.", m_table.name.c_str(), what.c_str()));
    }
    [[noreturn]] void failValue(const PreparedColumn& column, std::size_t row, const char* why) const
    {
        throw Exception(format("Table '%s', column '%s', row %zu: %s.", m_table.name.c_str(),
            column.definition.name.c_str(), row + 1, why));
    }

    bool hasAutoIncrement() const
    {
        return std::any_of(
            m_columns.begin(), m_columns.end(), [](const auto& c) { return c.definition.autoIncrement; });
    }

    void flush(Page& page)
    {
        const uint32_t number = m_file.reserve();
        m_file.pages[number] = std::move(page.bytes);
        m_dataPages.push_back(number);
    }

    int64_t integerOf(const Value& value, const PreparedColumn& column, std::size_t row) const
    {
        switch (value.kind) {
        case Value::Kind::Integer:
            return value.integer;
        case Value::Kind::Real:
            if (!std::isfinite(value.real) || std::fabs(value.real) > 9.2e18)
                failValue(column, row, "the number is out of range");
            return static_cast<int64_t>(std::nearbyint(value.real));
        case Value::Kind::Currency:
            return value.integer >= 0 ? (value.integer + 5000) / 10000 : -((-value.integer + 5000) / 10000);
        default:
            failValue(column, row, "the value is not a number");
        }
    }
    double realOf(const Value& value, const PreparedColumn& column, std::size_t row) const
    {
        switch (value.kind) {
        case Value::Kind::Integer:
            return static_cast<double>(value.integer);
        case Value::Kind::Real:
        case Value::Kind::Date:
            return value.real;
        case Value::Kind::Currency:
            return static_cast<double>(value.integer) / 10000.0;
        default:
            failValue(column, row, "the value is not a number");
        }
    }
    int64_t tenThousandthsOf(const Value& value, const PreparedColumn& column, std::size_t row) const
    {
        switch (value.kind) {
        case Value::Kind::Currency:
            return value.integer;
        case Value::Kind::Integer:
            if (value.integer > INT64_MAX / 10000 || value.integer < INT64_MIN / 10000)
                failValue(column, row, "the amount is out of range");
            return value.integer * 10000;
        case Value::Kind::Real: {
            const double scaled = std::nearbyint(value.real * 10000.0);
            if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
                failValue(column, row, "the amount is out of range");
            return static_cast<int64_t>(scaled);
        }
        default:
            failValue(column, row, "the value is not an amount");
        }
    }

    // A memo or OLE value: 12 header bytes, then the bytes themselves when short, else a pointer
    // to one long-value row or to a chain of them.
    std::string longValue(const std::string& data)
    {
        std::string header(MemoHeaderSize, '\0');
        if (data.size() >= (1u << 24))
            throw Exception(
                format("Table '%s': a long value of %zu bytes is too long.", m_table.name.c_str(), data.size()));
        const uint32_t length = static_cast<uint32_t>(data.size());
        if (data.size() <= InlineLongValueLimit) {
            put32(header, 0, length | 0x80000000u);
            return header + data;
        }
        constexpr std::size_t single = PageSize - DataHeaderSize - 2;
        if (data.size() <= single) {
            put32(header, 0, length | 0x40000000u);
            put32(header, 4, storeLongRow(data));
            return header;
        }
        // Chained pieces, each row led by the pointer to the next; written last to first.
        constexpr std::size_t piece = single - 4;
        std::vector<std::string_view> pieces;
        for (std::size_t at = 0; at < data.size(); at += piece)
            pieces.push_back(std::string_view(data).substr(at, piece));
        uint32_t next = 0;
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
            std::string row(4, '\0');
            put32(row, 0, next);
            row += *it;
            next = storeLongRow(row);
        }
        put32(header, 0, length);
        put32(header, 4, next);
        return header;
    }

    uint32_t storeLongRow(std::string_view row)
    {
        if (!m_longPage || m_longPage->room() < row.size()) {
            m_longPage = std::make_unique<Page>(0x01, 0, true);
            m_longPageNumber = m_file.reserve();
        }
        const std::size_t index = m_longPage->add(row);
        m_file.pages[m_longPageNumber] = m_longPage->bytes;
        return (m_longPageNumber << 8) | static_cast<uint32_t>(index);
    }

    std::string guidBytes(const Value& value, const PreparedColumn& column, std::size_t row) const
    {
        if (value.kind == Value::Kind::Bytes && value.bytes.size() == 16)
            return value.bytes;
        if (value.kind != Value::Kind::Text)
            failValue(column, row, "the value is not a replication id");
        std::string hex;
        for (char c : value.bytes)
            if (std::isxdigit(static_cast<unsigned char>(c)))
                hex += c;
            else if (c != '{' && c != '}' && c != '-')
                failValue(column, row, "the text is not a replication id");
        if (hex.size() != 32)
            failValue(column, row, "the text is not a replication id");
        unsigned char b[16];
        for (int i = 0; i < 16; ++i)
            b[i] = static_cast<unsigned char>(std::stoi(hex.substr(static_cast<std::size_t>(i) * 2, 2), nullptr, 16));
        // The first three groups are stored little-endian.
        const unsigned char order[16] = { 3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15 };
        std::string out(16, '\0');
        for (int i = 0; i < 16; ++i)
            out[static_cast<std::size_t>(order[i])] = static_cast<char>(b[i]);
        return out;
    }

    std::string numericBytes(const Value& value, const PreparedColumn& column, std::size_t row) const
    {
        // Unscaled integer from ten-thousandths (or an integer), rescaled to the column's scale.
        __int128 unscaled;
        int from;
        if (value.kind == Value::Kind::Integer) {
            unscaled = value.integer;
            from = 0;
        } else {
            unscaled = tenThousandthsOf(value, column, row);
            from = 4;
        }
        const int scale = column.definition.scale;
        for (; from < scale; ++from)
            unscaled *= 10;
        for (; from > scale; --from) {
            const __int128 rest = unscaled % 10;
            unscaled /= 10;
            if (rest >= 5)
                ++unscaled;
            else if (rest <= -5)
                --unscaled;
        }
        const bool negative = unscaled < 0;
        unsigned __int128 magnitude
            = negative ? static_cast<unsigned __int128>(-unscaled) : static_cast<unsigned __int128>(unscaled);
        unsigned __int128 limit = 1;
        for (int i = 0; i < column.definition.precision; ++i)
            limit *= 10;
        if (magnitude >= limit)
            failValue(column, row, "the number has more digits than the column's precision");
        std::string out(17, '\0');
        out[0] = static_cast<char>(negative ? 0x80 : 0x00);
        // Four 32-bit words, most significant first, each little-endian.
        for (int word = 0; word < 4; ++word) {
            const auto w = static_cast<uint32_t>(magnitude >> (32 * (3 - word)));
            put32(out, 1 + 4 * static_cast<std::size_t>(word), w);
        }
        return out;
    }

    std::string encodeRow(const std::vector<Value>& values, std::size_t row)
    {
        if (values.size() != m_columns.size())
            throw Exception(format("Table '%s', row %zu: %zu values for %zu columns.", m_table.name.c_str(), row + 1,
                values.size(), m_columns.size()));
        std::string fixed, variable;
        std::vector<uint16_t> varOffsets(m_variableCount, 0);
        std::vector<unsigned char> nullMask((m_columns.size() + 7) / 8, 0);
        auto markPresent
            = [&](std::size_t n) { nullMask[n / 8] = static_cast<unsigned char>(nullMask[n / 8] | (1u << (n % 8))); };
        std::size_t fixedLength = 0;
        for (const auto& column : m_columns)
            if (!isVariable(column.definition.type))
                fixedLength
                    = std::max<std::size_t>(fixedLength, column.fixedOffset + fixedSize(column.definition.type));
        fixed.assign(fixedLength, '\0');
        std::vector<std::string> varValues(m_variableCount);
        std::vector<bool> varPresent(m_variableCount, false);
        for (const auto& column : m_columns) {
            Value value = values[column.number];
            const auto& def = column.definition;
            if (def.autoIncrement) {
                if (value.kind == Value::Kind::Null)
                    value = Value::ofInteger(m_nextAutoNumber);
                const int64_t n = integerOf(value, column, row);
                if (n < 1 || n >= INT32_MAX)
                    failValue(column, row, "the auto-increment number is out of range");
                m_nextAutoNumber = std::max<uint32_t>(m_nextAutoNumber, static_cast<uint32_t>(n) + 1);
            }
            if (def.type == FieldType::Boolean) {
                // Yes/no lives in the null mask; a missing value is No, as the engine stores it.
                if (value.kind != Value::Kind::Null && integerOf(value, column, row) != 0)
                    markPresent(column.number);
                continue;
            }
            if (value.kind == Value::Kind::Null)
                continue;
            markPresent(column.number);
            std::string bytes;
            auto ranged = [&](int64_t low, int64_t high) {
                const int64_t n = integerOf(value, column, row);
                if (n < low || n > high)
                    failValue(column, row, "the number is out of the column's range");
                return n;
            };
            switch (def.type) {
            case FieldType::Byte:
                bytes += static_cast<char>(ranged(0, 255));
                break;
            case FieldType::Integer:
                append16(bytes, static_cast<uint32_t>(ranged(INT16_MIN, INT16_MAX)));
                break;
            case FieldType::LongInteger:
                append32(bytes, static_cast<uint32_t>(ranged(INT32_MIN, INT32_MAX)));
                break;
            case FieldType::Currency:
                appendRaw(bytes, tenThousandthsOf(value, column, row));
                break;
            case FieldType::Single:
                appendRaw(bytes, static_cast<float>(realOf(value, column, row)));
                break;
            case FieldType::Double:
                appendRaw(bytes, realOf(value, column, row));
                break;
            case FieldType::DateTime:
                if (value.kind != Value::Kind::Date && value.kind != Value::Kind::Real)
                    failValue(column, row, "the value is not a date");
                appendRaw(bytes, value.real);
                break;
            case FieldType::ReplicationId:
                bytes = guidBytes(value, column, row);
                break;
            case FieldType::Numeric:
                bytes = numericBytes(value, column, row);
                break;
            case FieldType::Text: {
                if (value.kind != Value::Kind::Text)
                    failValue(column, row, "the value is not a text");
                if (utf8ToUtf16(value.bytes).size() > static_cast<std::size_t>(def.size))
                    failValue(column, row, "the text is longer than the column's size");
                bytes = encodeText(value.bytes, true);
                break;
            }
            case FieldType::Binary:
                if (value.kind != Value::Kind::Bytes && value.kind != Value::Kind::Text)
                    failValue(column, row, "the value is not binary");
                if (value.bytes.size() > static_cast<std::size_t>(def.size))
                    failValue(column, row, "the bytes are more than the column's size");
                bytes = value.bytes;
                break;
            case FieldType::Memo: {
                if (value.kind != Value::Kind::Text)
                    failValue(column, row, "the value is not a text");
                // Only memos of at most 1024 characters may be compressed.
                bytes = longValue(encodeText(value.bytes, utf8ToUtf16(value.bytes).size() <= 1024));
                break;
            }
            case FieldType::OleObject:
                if (value.kind != Value::Kind::Bytes && value.kind != Value::Kind::Text)
                    failValue(column, row, "the value is not binary");
                bytes = longValue(value.bytes);
                break;
            case FieldType::Boolean:
                break;
            }
            if (isVariable(def.type)) {
                varValues[column.varIndex] = std::move(bytes);
                varPresent[column.varIndex] = true;
            } else {
                fixed.replace(column.fixedOffset, bytes.size(), bytes);
            }
        }
        std::string out;
        append16(out, static_cast<uint32_t>(m_columns.size()));
        out += fixed;
        if (m_variableCount > 0) {
            for (std::size_t v = 0; v < m_variableCount; ++v) {
                varOffsets[v] = static_cast<uint16_t>(out.size());
                out += varValues[v];
            }
            append16(out, static_cast<uint32_t>(out.size())); // end of data
            for (std::size_t v = m_variableCount; v > 0; --v)
                append16(out, varOffsets[v - 1]);
            append16(out, m_variableCount);
        }
        out.append(reinterpret_cast<const char*>(nullMask.data()), nullMask.size());
        if (out.size() > MaxRowSize)
            throw Exception(format("Table '%s', row %zu: the row takes %zu bytes; at most %zu fit a page.",
                m_table.name.c_str(), row + 1, out.size(), MaxRowSize));
        return out;
    }

    FileBuilder& m_file;
    const TableDefinition& m_table;
    uint32_t m_definitionPage;
    bool m_system;
    std::vector<PreparedColumn> m_columns;
    uint16_t m_variableCount = 0;
    uint32_t m_nextAutoNumber = 1;
    std::vector<uint32_t> m_dataPages;
    std::unique_ptr<Page> m_longPage;
    uint32_t m_longPageNumber = 0;
};

// A usage map of type 0: the first page it covers, then one bit per page.
std::string usageMap(const std::vector<uint32_t>& pages)
{
    const uint32_t first = pages.empty() ? 0 : *std::min_element(pages.begin(), pages.end());
    const uint32_t last = pages.empty() ? 0 : *std::max_element(pages.begin(), pages.end());
    const std::size_t bits = last - first + 1;
    std::string map(std::max(MapSize, 5 + (bits + 7) / 8), '\0');
    put32(map, 1, first);
    for (uint32_t page : pages)
        map[5 + (page - first) / 8] = static_cast<char>(map[5 + (page - first) / 8] | (1 << ((page - first) % 8)));
    return map;
}

std::string headerPage()
{
    std::string page(PageSize, '\0');
    page[1] = 0x01;
    page.replace(4, 16, std::string("Standard Jet DB\0", 16));
    page[0x14] = 0x01; // Jet 4
    put16(page, 0x3c, 1252); // code page
    put32(page, 0x6e, 0x0409); // General sort order
    // The creation date at 0x72 stays 0: engines mask the password area with a value derived from
    // it, and with a zero date the zero bytes there mean no password.
    applyHeaderMask(reinterpret_cast<unsigned char*>(page.data()));
    return page;
}

TableDefinition catalogDefinition()
{
    using F = FieldType;
    TableDefinition t;
    t.name = "MSysObjects";
    t.columns = { { "Id", F::LongInteger }, { "ParentId", F::LongInteger }, { "Name", F::Text, 128 },
        { "Type", F::Integer }, { "DateCreate", F::DateTime }, { "DateUpdate", F::DateTime },
        { "Flags", F::LongInteger }, { "Database", F::Memo }, { "Connect", F::Memo }, { "ForeignName", F::Text, 128 },
        { "Lv", F::OleObject }, { "LvProp", F::OleObject }, { "LvExtra", F::OleObject } };
    return t;
}

} // namespace

std::string buildDatabase(const std::vector<TableDefinition>& tables, double createdDayNumber)
{
    std::map<std::string, int> seen;
    for (const auto& table : tables) {
        if (table.name.empty() || utf8ToUtf16(table.name).size() > 64)
            throw Exception(format("Table name '%s' is empty or longer than 64 characters.", table.name.c_str()));
        if (sameText(table.name.substr(0, 4), "MSys", "UTF-8"))
            throw Exception(format("Table name '%s' is reserved for the system catalog.", table.name.c_str()));
        if (seen[upperCase(table.name, "UTF-8")]++)
            throw Exception(format("Table '%s' is defined twice.", table.name.c_str()));
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (sameText(table.columns[i].name, table.columns[j].name, "UTF-8"))
                    throw Exception(format(
                        "Table '%s' has two columns named '%s'.", table.name.c_str(), table.columns[i].name.c_str()));
    }
    FileBuilder file;
    file.reserve(); // 0: header
    const uint32_t mapPage = file.reserve();
    const uint32_t catalogPage = file.reserve();
    std::vector<uint32_t> definitionPages;
    for (std::size_t i = 0; i < tables.size(); ++i)
        definitionPages.push_back(file.reserve());

    TableDefinition catalog = catalogDefinition();
    constexpr int64_t tablesContainer = 0x0F000001;
    auto catalogRow = [&](uint32_t id, const std::string& name, int64_t flags) {
        using V = Value;
        return std::vector<Value> { V::ofInteger(id), V::ofInteger(tablesContainer), V::ofText(name), V::ofInteger(1),
            V::ofDate(createdDayNumber), V::ofDate(createdDayNumber), V::ofInteger(flags), V::null(), V::null(),
            V::null(), V::null(), V::null(), V::null() };
    };
    catalog.rows.push_back(
        catalogRow(catalogPage, "MSysObjects", static_cast<int64_t>(0x80000002u) - (int64_t(1) << 32)));
    for (std::size_t i = 0; i < tables.size(); ++i)
        catalog.rows.push_back(catalogRow(definitionPages[i], tables[i].name, 0));

    std::vector<std::unique_ptr<TableWriter>> writers;
    writers.push_back(std::make_unique<TableWriter>(file, catalog, catalogPage, true));
    for (std::size_t i = 0; i < tables.size(); ++i)
        writers.push_back(std::make_unique<TableWriter>(file, tables[i], definitionPages[i], false));
    for (auto& writer : writers)
        writer->writeRows();

    // Each table's page maps are rows of the map page (a second one when the first is full).
    Page maps(0x01, 0);
    std::vector<std::pair<uint32_t, uint32_t>> mapRows;
    for (auto& writer : writers) {
        const std::string used = usageMap(writer->dataPages());
        const std::string free = usageMap({});
        if (maps.room() < used.size() + free.size() + 2)
            throw Exception("The database has more tables than one map page holds.");
        const uint32_t usedRow = (mapPage << 8) | static_cast<uint32_t>(maps.add(used));
        const uint32_t freeRow = (mapPage << 8) | static_cast<uint32_t>(maps.add(free));
        mapRows.emplace_back(usedRow, freeRow);
    }
    file.pages[mapPage] = maps.bytes;
    file.pages[catalogPage] = writers[0]->definitionPage(mapRows[0].first, mapRows[0].second);
    for (std::size_t i = 0; i < tables.size(); ++i)
        file.pages[definitionPages[i]] = writers[i + 1]->definitionPage(mapRows[i + 1].first, mapRows[i + 1].second);
    file.pages[0] = headerPage();

    std::string bytes;
    bytes.reserve(file.pages.size() * PageSize);
    for (auto& page : file.pages)
        bytes += page;
    return bytes;
}

void writeDatabaseFile(const std::string& path, const std::vector<TableDefinition>& tables, double createdDayNumber)
{
    const std::string bytes = buildDatabase(tables, createdDayNumber);
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        throw Exception(format("Cannot create '%s': %s.", temporary.c_str(), std::strerror(errno)));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    std::error_code error;
    if (!written || !closed) {
        std::filesystem::remove(temporary, error);
        throw Exception(format("Cannot write '%s'.", temporary.c_str()));
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw Exception(format("Cannot move the database into place at '%s'.", path.c_str()));
    }
}

} // namespace vl::jet
