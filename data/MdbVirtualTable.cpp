#include "MdbVirtualTable_p.h"

#include "EqualityLookup_p.h"
#include "JetFormat_p.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "Text.h"

#include <mdbtools.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vl
{
namespace
{

using jet::get16;
using jet::get32;

constexpr std::size_t MaxColumns = MDB_MAX_COLS; // libmdb keeps fields of a row in arrays of this size

struct MdbHandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableDefFree {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefFree>;

std::string guidText(const unsigned char* b)
{
    return format("{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2], b[1], b[0],
        b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

template <typename T> T raw(const unsigned char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The SQL type a column is declared with: its name gives the provider's type through
// mapDeclaredType and SQLite the affinity that compares its values as they are passed.
std::string declaredType(const MdbColumn& column, const ProviderColumn& info)
{
    switch (column.col_type) {
    case MDB_BOOL:
        return "BIT";
    case MDB_BYTE:
        return "BYTE";
    case MDB_INT:
        return "SMALLINT";
    case MDB_LONGINT:
        return "INTEGER";
    case MDB_MONEY:
        return "CURRENCY";
    case MDB_FLOAT:
        return "REAL";
    case MDB_DOUBLE:
        return "DOUBLE";
    case MDB_DATETIME:
        return "DATETIME";
    case MDB_BINARY:
        return format("BINARY(%d)", info.definedSize);
    case MDB_TEXT:
        return format("VARCHAR(%d) COLLATE NOCASE", info.definedSize);
    case MDB_OLE:
        return "LONGBINARY";
    case MDB_MEMO:
        return "LONGTEXT COLLATE NOCASE";
    case MDB_REPID:
        return "GUID";
    case MDB_NUMERIC:
        return format("DECIMAL(%d,%d)", info.precision, info.scale);
    default:
        return "";
    }
}

std::string quotedName(std::string_view name)
{
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

// Ten-thousandths as SQL sees an amount: a real while it reads back exactly (at most 15 significant
// digits), beyond that the exact decimal text.
void resultAmount(sqlite3_context* context, int64_t tenThousandths)
{
    if (tenThousandths > -1000000000000000 && tenThousandths < 1000000000000000) {
        sqlite3_result_double(context, static_cast<double>(tenThousandths) / 10000.0);
        return;
    }
    const bool negative = tenThousandths < 0;
    const uint64_t magnitude
        = negative ? static_cast<uint64_t>(-(tenThousandths + 1)) + 1 : static_cast<uint64_t>(tenThousandths);
    const std::string text = format("%s%llu.%04llu", negative ? "-" : "",
        static_cast<unsigned long long>(magnitude / 10000), static_cast<unsigned long long>(magnitude % 10000));
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A date as SQLite files keep one, 'YYYY-MM-DD[ HH:MM:SS[.fff]]', so that SQL compares it with
// date texts and SQLite's date functions read it; the day number itself, a real, when the text would
// not read back as exactly the same day number (beyond years 1 to 9999, finer than milliseconds).
void resultDate(sqlite3_context* context, double dayNumber)
{
    DateTimeParts p;
    if (dayNumber == std::floor(dayNumber) && dayNumber >= -693593 && dayNumber <= 2958465
        && !(dayNumber == 0 && std::signbit(dayNumber))) {
        // A whole day, 1 January 0001 to 31 December 9999 (most dates): the civil date of its count of
        // days, which reads back as exactly this day number.
        const auto days = static_cast<int64_t>(dayNumber) - 25569 + 719468; // from 1 March 0000
        const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        const auto dayOfEra = static_cast<int>(days - era * 146097);
        const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int shifted = (5 * dayOfYear + 2) / 153;
        p.day = dayOfYear - (153 * shifted + 2) / 5 + 1;
        p.month = shifted < 10 ? shifted + 3 : shifted - 9;
        p.year = static_cast<int>(yearOfEra + era * 400) + (p.month <= 2 ? 1 : 0);
    } else if (!decodeDayNumber(dayNumber, p) || std::signbit(dayNumber) != (dayNumber < 0)
        || encodeDayNumber(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond) != dayNumber) {
        sqlite3_result_double(context, dayNumber);
        return;
    }
    char text[24];
    auto put = [&](std::size_t at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, p.year, 4);
    text[4] = '-';
    put(5, p.month, 2);
    text[7] = '-';
    put(8, p.day, 2);
    std::size_t size = 10;
    if (p.hour || p.minute || p.second || p.millisecond) {
        text[10] = ' ';
        put(11, p.hour, 2);
        text[13] = ':';
        put(14, p.minute, 2);
        text[16] = ':';
        put(17, p.second, 2);
        size = 19;
        if (p.millisecond) {
            text[19] = '.';
            put(20, p.millisecond, 3);
            size = 23;
        }
    }
    sqlite3_result_text(context, text, static_cast<int>(size), SQLITE_TRANSIENT);
}

} // namespace

// The file, libmdb's handle on it and the checks libmdb does not make. Values are decoded here.
class JetFile
{
public:
    JetFile(std::string bytes, std::string name)
        : m_bytes(std::move(bytes))
        , m_name(std::move(name))
    {
        open();
    }

    [[noreturn]] void damaged(const std::string& why) const
    {
        providerError(format("The file '%s' is damaged: %s.", m_name.c_str(), why.c_str()), E_PROVIDER_FAIL);
    }

    const unsigned char* page(std::size_t number) const
    {
        return reinterpret_cast<const unsigned char*>(m_bytes.data()) + number * m_pageSize;
    }

    // The table's definition and columns, read and checked afresh (a cursor keeps its own).
    TableDefPtr readTable(MdbCatalogEntry& entry, const std::string& what)
    {
        m_pageOwner = nullptr; // libmdb reads the definition through the shared page buffer
        checkDefinitionPage(entry.table_pg, what);
        TableDefPtr table(mdb_read_table(&entry));
        if (!table || table->num_cols == 0 || table->num_cols > MaxColumns)
            damaged(format("the definition of %s cannot be read", what.c_str()));
        if (!mdb_read_columns(table.get()) || table->columns->len != table->num_cols)
            damaged(format("the columns of %s cannot be read", what.c_str()));
        // libmdb stops quietly at a page it cannot read; a page the map names must exist.
        checkUsageMap(table->usage_map, table->map_sz, what);
        return table;
    }

    static ProviderColumn describe(const MdbColumn& column, bool jet3)
    {
        ProviderColumn info;
        info.name = column.name;
        info.isFixedLength = column.is_fixed != 0;
        const bool autoIncrement = column.is_long_auto != 0 && column.col_type == MDB_LONGINT;
        info.isAutoIncrement = autoIncrement;
        info.isUpdatable = !autoIncrement;
        auto set = [&](int type, int size, int precision = 0, int scale = 0) {
            info.type = type;
            info.definedSize = size;
            info.precision = precision;
            info.scale = scale;
        };
        switch (column.col_type) {
        case MDB_BOOL:
            set(adBoolean, 2);
            break;
        case MDB_BYTE:
            set(adUnsignedTinyInt, 1, 3);
            break;
        case MDB_INT:
            set(adSmallInt, 2, 5);
            break;
        case MDB_LONGINT:
            set(adInteger, 4, 10);
            break;
        case MDB_MONEY:
            set(adCurrency, 8, 19, 4);
            break;
        case MDB_FLOAT:
            set(adSingle, 4, 7);
            break;
        case MDB_DOUBLE:
            set(adDouble, 8, 15);
            break;
        case MDB_DATETIME:
            set(adDate, 8);
            break;
        case MDB_BINARY:
            set(adBinary, column.col_size);
            break;
        case MDB_TEXT:
            set(adVarWChar, jet3 ? column.col_size : column.col_size / 2);
            break;
        case MDB_OLE:
            set(adLongVarBinary, 1073741823);
            break;
        case MDB_MEMO:
            set(adLongVarWChar, 536870910);
            break;
        case MDB_REPID:
            set(adGUID, 16);
            break;
        // libmdb's names of the two bytes are swapped: col_scale holds the precision.
        case MDB_NUMERIC:
            set(adNumeric, 19, column.col_scale, column.col_prec);
            break;
        default:
            set(adEmpty, 0);
            break; // complex columns: no value
        }
        return info;
    }

    // Sets the SQL value of one field of the row that lies at rowStart on page pageNumber.
    void decode(sqlite3_context* context, const MdbColumn& column, const MdbField& field, std::size_t pageNumber,
        std::size_t rowStart, std::size_t rowLength, const std::string& what) const
    {
        if (column.col_type == MDB_BOOL) {
            sqlite3_result_int(context, field.is_null ? 0 : 1); // yes/no is the null bit itself
            return;
        }
        if (field.is_null)
            return; // SQLite's default result is null
        if (field.start < 0 || field.siz < 0 || static_cast<std::size_t>(field.start) < rowStart
            || static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.siz) > rowStart + rowLength)
            damaged(format("a value of column '%s' of %s lies outside its row", column.name, what.c_str()));
        const unsigned char* p = page(pageNumber) + field.start;
        const auto size = static_cast<std::size_t>(field.siz);
        auto need = [&](std::size_t bytes) {
            if (size < bytes)
                damaged(format("a value of column '%s' of %s is too short", column.name, what.c_str()));
        };
        // A value of a fixed size, read once the field is known to hold all of it.
        auto fixed = [&]<typename T>(T (*read)(const unsigned char*)) {
            need(sizeof(T));
            return read(p);
        };
        // Bytes that lie in the file are handed to SQLite as they are: the file outlives the
        // connection and is never changed. Only decoded texts and gathered chains are copied.
        auto lifetime = [&](std::string_view bytes) {
            return bytes.data() >= m_bytes.data() && bytes.data() + bytes.size() <= m_bytes.data() + m_bytes.size()
                ? SQLITE_STATIC
                : SQLITE_TRANSIENT;
        };
        auto resultText = [&](std::string_view text) {
            sqlite3_result_text64(context, text.data(), text.size(), lifetime(text), SQLITE_UTF8);
        };
        auto resultBlob = [&](std::string_view bytes) {
            sqlite3_result_blob64(context, bytes.data(), bytes.size(), lifetime(bytes));
        };
        switch (column.col_type) {
        case MDB_BYTE:
            sqlite3_result_int(context, fixed(raw<uint8_t>));
            break;
        case MDB_INT:
            sqlite3_result_int(context, fixed(raw<int16_t>));
            break;
        case MDB_LONGINT:
            sqlite3_result_int(context, fixed(raw<int32_t>));
            break;
        case MDB_MONEY:
            resultAmount(context, fixed(raw<int64_t>));
            break;
        case MDB_FLOAT:
            sqlite3_result_double(context, fixed(raw<float>));
            break;
        case MDB_DOUBLE:
            sqlite3_result_double(context, fixed(raw<double>));
            break;
        case MDB_DATETIME:
            resultDate(context, fixed(raw<double>));
            break;
        case MDB_REPID:
            need(16);
            resultText(guidText(p));
            break;
        case MDB_NUMERIC: {
            need(17);
            auto value = numeric(p, column.col_prec); // the scale, see describe()
            if (!value)
                providerError(format("The value in column '%s' of %s is too large for the data layer.", column.name,
                                  what.c_str()),
                    E_PROVIDER_FAIL);
            resultAmount(context, *value);
            break;
        }
        case MDB_BINARY:
            resultBlob(std::string_view(reinterpret_cast<const char*>(p), size));
            break;
        case MDB_TEXT:
        case MDB_MEMO: {
            const std::string_view bytes = column.col_type == MDB_TEXT
                ? std::string_view(reinterpret_cast<const char*>(p), size)
                : longValue(p, size, column.name, m_scratch);
            if (auto ascii = asciiText(bytes))
                resultText(*ascii); // most texts, without decoding them into a string first
            else
                resultText(text(bytes));
            break;
        }
        case MDB_OLE:
            resultBlob(longValue(p, size, column.name, m_scratch));
            break;
        default:
            break;
        }
    }

    // The key an equality looks a row up by (see lookupKey in the scan): numbers by their value as
    // a double, texts with ASCII letters in lower case (the columns compare without regard to
    // case); nullopt for a null, which equals nothing.
    std::optional<std::string> lookupKey(const MdbColumn& column, const MdbField& field, std::size_t pageNumber,
        std::size_t rowStart, std::size_t rowLength, const std::string& what) const
    {
        if (field.is_null)
            return std::nullopt;
        if (field.start < 0 || field.siz < 0 || static_cast<std::size_t>(field.start) < rowStart
            || static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.siz) > rowStart + rowLength)
            damaged(format("a value of column '%s' of %s lies outside its row", column.name, what.c_str()));
        const unsigned char* p = page(pageNumber) + field.start;
        const auto size = static_cast<std::size_t>(field.siz);
        auto need = [&](std::size_t bytes) {
            if (size < bytes)
                damaged(format("a value of column '%s' of %s is too short", column.name, what.c_str()));
        };
        switch (column.col_type) {
        case MDB_BYTE:
            need(1);
            return numberLookupKey(raw<uint8_t>(p));
        case MDB_INT:
            need(2);
            return numberLookupKey(raw<int16_t>(p));
        case MDB_LONGINT:
            need(4);
            return numberLookupKey(raw<int32_t>(p));
        case MDB_FLOAT:
            need(4);
            return numberLookupKey(raw<float>(p));
        case MDB_DOUBLE:
            need(8);
            return numberLookupKey(raw<double>(p));
        case MDB_TEXT: {
            const std::string_view bytes(reinterpret_cast<const char*>(p), size);
            if (auto ascii = asciiText(bytes))
                return textLookupKey(*ascii);
            return textLookupKey(text(bytes));
        }
        default:
            return std::nullopt;
        }
    }

    // Puts a page into libmdb's page buffer for mdb_crack_row, outside any scan's order.
    void putPage(std::size_t number)
    {
        std::memcpy(m_mdb->pg_buf, page(number), m_pageSize);
        m_mdb->cur_pg = static_cast<guint32>(number);
        m_pageOwner = nullptr;
    }

    MdbHandle* mdb() const { return m_mdb.get(); }
    const std::string& name() const { return m_name; }
    bool jet3() const { return m_jet3; }
    std::size_t pageCount() const { return m_pageCount; }
    std::size_t pageSize() const { return m_pageSize; }

    // libmdb keeps the page a scan stands on in the handle's one buffer: a cursor puts its own page
    // back before it moves on when another has used the buffer since.
    void claimPageBuffer(const void* cursor, const MdbTableDef& table)
    {
        if (m_pageOwner == cursor)
            return;
        if (table.cur_pg_num != 0 && table.cur_phys_pg > 0 && table.cur_phys_pg < m_pageCount) {
            std::memcpy(m_mdb->pg_buf, page(table.cur_phys_pg), m_pageSize);
            m_mdb->cur_pg = table.cur_phys_pg;
        } else {
            m_mdb->cur_pg = 0; // libmdb then reads the scan's first page rather than trust the buffer
        }
        m_pageOwner = cursor;
    }

    // Tables by lower-case name: the descriptions SQL results take, and those left out as damaged.
    struct TableInfo {
        MdbCatalogEntry* entry = nullptr;
        std::string what; // "table '...'", for messages
        std::vector<ProviderColumn> columns;
        std::string schema; // the CREATE TABLE statement declared to SQLite
        double rowCount = 0; // as its definition counts them
    };
    std::map<std::string, TableInfo> tables;
    std::map<std::string, std::exception_ptr> damagedTables;
    // What a virtual table raised inside SQLite, for the connection to raise in its place.
    std::exception_ptr failure;

private:
    void open()
    {
        if (m_bytes.size() < 0x18)
            damaged("it is shorter than its header");
        const uint32_t version = get32(reinterpret_cast<const unsigned char*>(m_bytes.data()) + 0x14);
        if (version > MDB_VER_ACCDB_2019)
            damaged(format("its header names the unknown format version %u", version));
        m_pageSize = version == MDB_VER_JET3 ? 2048 : 4096;
        m_jet3 = version == MDB_VER_JET3;
        if (m_bytes.size() % m_pageSize != 0)
            damaged(format("it ends inside page %zu (%zu bytes, pages of %zu)", m_bytes.size() / m_pageSize,
                m_bytes.size(), m_pageSize));
        m_pageCount = m_bytes.size() / m_pageSize;
        if (m_pageCount <= jet::CatalogPage)
            damaged("it ends before its system catalog");
        if (page(0)[0] != 0)
            damaged("page 0 is not a database header");
        m_mdb.reset(mdb_open_buffer(m_bytes.data(), m_bytes.size(), MDB_NOFLAGS));
        if (!m_mdb)
            damaged("the header is not readable");
        if (m_mdb->fmt->pg_size != static_cast<ssize_t>(m_pageSize))
            damaged("the page size does not match the format version");
        if (m_mdb->f->db_key != 0)
            providerError(format("The file '%s' is encrypted; encrypted databases are not supported.", m_name.c_str()),
                E_PROVIDER_FAIL);
        checkDefinitionPage(jet::CatalogPage, "the system catalog");
        if (!mdb_read_catalog(m_mdb.get(), MDB_TABLE))
            damaged("its system catalog cannot be read");
        // libmdb reads the catalog without noticing missing pages or rows; read it once more here.
        MdbCatalogEntry catalog {};
        catalog.mdb = m_mdb.get();
        std::snprintf(catalog.object_name, sizeof catalog.object_name, "%s", "MSysObjects");
        catalog.object_type = MDB_TABLE;
        catalog.table_pg = jet::CatalogPage;
        TableDefPtr table = readTable(catalog, "table 'MSysObjects'");
        mdb_rewind_table(table.get());
        std::size_t rows = 0;
        while (mdb_fetch_row(table.get()))
            if (++rows > m_pageCount * 256)
                damaged("table 'MSysObjects' has more rows than its pages hold");
        if (rows < table->num_rows)
            damaged(
                format("table 'MSysObjects' holds %zu rows of the %u its definition counts", rows, table->num_rows));
    }

    // What libmdb relies on without checking: a table definition page with at most MaxColumns columns.
    void checkDefinitionPage(std::size_t number, const std::string& what) const
    {
        if (number == 0 || number >= m_pageCount)
            damaged(format("%s points to page %zu, beyond the end of the file", what.c_str(), number));
        const unsigned char* p = page(number);
        if (p[0] != 0x02)
            damaged(format("page %zu of %s is not a table definition", number, what.c_str()));
        const auto* fmt = m_mdb->fmt;
        const unsigned columns = get16(p + fmt->tab_num_cols_offset);
        const unsigned variable = get16(p + fmt->tab_num_cols_offset - 2);
        if (columns == 0 || columns > MaxColumns || variable > columns)
            damaged(format("%s declares %u columns (%u variable)", what.c_str(), columns, variable));
        const uint32_t realIndexes = get32(p + fmt->tab_num_ridxs_offset);
        const uint32_t indexes = get32(p + fmt->tab_num_idxs_offset);
        if (realIndexes > 1000 || indexes > 1000)
            damaged(format("%s declares %u indexes", what.c_str(), indexes));
        // The usage map must be a row of an existing page.
        for (uint16_t offset : { fmt->tab_usage_map_offset, fmt->tab_free_map_offset }) {
            const uint32_t pointer = get32(p + offset);
            if (!longRow(pointer))
                damaged(format("the page map of %s is missing", what.c_str()));
        }
    }

    // The bytes of row (pointer & 0xff) on page (pointer >> 8), or nullopt when there is none.
    std::optional<std::string_view> longRow(uint32_t pointer) const
    {
        const std::size_t number = pointer >> 8, row = pointer & 0xff;
        if (number == 0 || number >= m_pageCount)
            return std::nullopt;
        const unsigned char* p = page(number);
        const std::size_t rco = m_mdb->fmt->row_count_offset;
        const std::size_t rows = get16(p + rco);
        if (row >= rows || rco + 2 + 2 * rows > m_pageSize)
            return std::nullopt;
        const std::size_t start = get16(p + rco + 2 + 2 * row) & 0x1fff;
        const std::size_t end = row == 0 ? m_pageSize : (get16(p + rco + 2 * row) & 0x1fff);
        if (start < rco + 2 + 2 * rows || start > end || end > m_pageSize)
            return std::nullopt;
        return std::string_view(reinterpret_cast<const char*>(p) + start, end - start);
    }

    // A memo or OLE value from its 12 header bytes: inline, one long-value row, or a chain of them.
    // The first two are views into the file; a chain is gathered into scratch.
    std::string_view longValue(
        const unsigned char* header, std::size_t size, const std::string& column, std::string& scratch) const
    {
        if (size < jet::MemoHeaderSize)
            damaged(format("a value of column '%s' is shorter than its header", column.c_str()));
        const uint32_t word = get32(header);
        const std::size_t length = word & 0x3fffffff;
        if (word & 0x80000000u) {
            const std::size_t inlineSize = size - jet::MemoHeaderSize;
            return std::string_view(
                reinterpret_cast<const char*>(header) + jet::MemoHeaderSize, std::min(length, inlineSize));
        }
        uint32_t pointer = get32(header + 4);
        if (word & 0x40000000u) {
            auto row = longRow(pointer);
            if (!row)
                damaged(format("a value of column '%s' points to a missing row", column.c_str()));
            return row->substr(0, std::min(length, row->size()));
        }
        scratch.clear();
        for (std::size_t hops = 0; scratch.size() < length; ++hops) {
            auto row = longRow(pointer);
            if (!row || row->size() < 4 || hops > m_pageCount)
                damaged(format("a long value of column '%s' is cut short", column.c_str()));
            scratch.append(row->substr(4, length - scratch.size()));
            pointer = get32(reinterpret_cast<const unsigned char*>(row->data()));
            if ((pointer >> 8) == 0)
                break;
        }
        if (scratch.size() < length)
            damaged(format("a long value of column '%s' is cut short", column.c_str()));
        return scratch;
    }

    // The bytes of a text that is plain ASCII as stored (Jet 3, or Jet 4's compressed form without
    // a switch to two-byte characters), which are its UTF-8 as they stand; nullopt for any other.
    std::optional<std::string_view> asciiText(std::string_view bytes) const
    {
        if (!m_jet3) {
            if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xff
                || static_cast<unsigned char>(bytes[1]) != 0xfe)
                return std::nullopt;
            bytes.remove_prefix(2);
        }
        for (char c : bytes)
            if (c == 0 || static_cast<unsigned char>(c) >= 0x80) // a switch of form, or not ASCII
                return std::nullopt;
        return bytes;
    }

    std::string text(std::string_view bytes) const
    {
        if (m_jet3)
            return utf16ToUtf8(toWide(bytes, "CP1252"));
        return jet::decodeText(bytes);
    }

    // Ten-thousandths of a scaled decimal: sign byte, then four 32-bit words, most significant first.
    static std::optional<int64_t> numeric(const unsigned char* p, int scale)
    {
        unsigned __int128 magnitude = 0;
        for (int word = 0; word < 4; ++word)
            magnitude = (magnitude << 32) | get32(p + 1 + 4 * word);
        if (scale > 4) {
            // Dropped digits round half away from zero, as amounts do.
            unsigned __int128 divisor = 1;
            for (int i = 4; i < scale; ++i)
                divisor *= 10;
            const bool roundUp = (magnitude % divisor) * 2 >= divisor;
            magnitude = magnitude / divisor + (roundUp ? 1 : 0);
        }
        for (int digits = scale; digits < 4; ++digits) {
            if (magnitude > static_cast<unsigned __int128>(INT64_MAX))
                return std::nullopt;
            magnitude *= 10;
        }
        if (magnitude > static_cast<unsigned __int128>(INT64_MAX))
            return std::nullopt;
        const auto value = static_cast<int64_t>(magnitude);
        return (p[0] & 0x80) ? -value : value;
    }

    void checkUsageMap(const unsigned char* map, std::size_t size, const std::string& what) const
    {
        if (!map || size < 1)
            damaged(format("the page map of %s is missing", what.c_str()));
        auto checkBits = [&](const unsigned char* bits, std::size_t bytes, std::size_t firstPage) {
            for (std::size_t i = 0; i < bytes * 8; ++i)
                if ((bits[i / 8] >> (i % 8)) & 1)
                    if (firstPage + i >= m_pageCount)
                        damaged(format("it ends before page %zu of %s", firstPage + i, what.c_str()));
        };
        if (map[0] == 0) {
            if (size < 5)
                damaged(format("the page map of %s is cut short", what.c_str()));
            checkBits(map + 5, size - 5, get32(map + 1));
        } else if (map[0] == 1) {
            const std::size_t perPage = (m_pageSize - 4) * 8;
            for (std::size_t k = 0; 1 + 4 * k + 4 <= size; ++k) {
                const uint32_t mapPage = get32(map + 1 + 4 * k);
                if (mapPage == 0)
                    continue;
                if (mapPage >= m_pageCount)
                    damaged(format("it ends before page %u, a page map of %s", mapPage, what.c_str()));
                checkBits(page(mapPage) + 4, m_pageSize - 4, k * perPage);
            }
        }
    }

    std::string m_bytes; // libmdb reads from this buffer; it outlives the handle
    std::string m_name;
    std::size_t m_pageSize = 4096;
    std::size_t m_pageCount = 0;
    bool m_jet3 = false;
    std::unique_ptr<MdbHandle, MdbHandleCloser> m_mdb;
    const void* m_pageOwner = nullptr;
    mutable std::string m_scratch; // a long value gathered from its chain of pages
};

namespace
{

// SQLite compares names without regard to ASCII case only.
std::string lowerKey(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct JetVirtualTable : sqlite3_vtab {
    JetFile* file = nullptr;
    const JetFile::TableInfo* table = nullptr;
};

struct JetScan : sqlite3_vtab_cursor {
    JetFile* file = nullptr;
    const JetFile::TableInfo* table = nullptr;
    TableDefPtr definition;
    std::vector<const MdbColumn*> columns;
    bool atEnd = true;
    sqlite3_int64 rows = 0;
    std::size_t pageNumber = 0, rowStart = 0, rowLength = 0;
    MdbField fields[MaxColumns];

    // Equality look-ups: the rows of each key of one column, gathered by the first look-up's one
    // scan of the table, then visited by where they lie.
    struct RowPlace {
        uint32_t page;
        uint16_t start;
        uint16_t length;
    };
    int lookupColumn = -1;
    std::unordered_map<std::string, std::vector<RowPlace>> lookup;
    const std::vector<RowPlace>* matches = nullptr; // null: a full scan
    std::size_t matchAt = 0;

    void buildLookup(int column)
    {
        lookup.clear();
        lookupColumn = -1;
        const auto c = static_cast<std::size_t>(column);
        mdb_rewind_table(definition.get());
        rows = 0;
        for (next(); !atEnd; next())
            if (auto key = file->lookupKey(*columns[c], fields[c], pageNumber, rowStart, rowLength, table->what))
                lookup[*key].push_back({ static_cast<uint32_t>(pageNumber), static_cast<uint16_t>(rowStart),
                    static_cast<uint16_t>(rowLength) });
        lookupColumn = column;
    }

    void nextMatch()
    {
        if (matchAt >= matches->size()) {
            atEnd = true;
            return;
        }
        const RowPlace place = (*matches)[matchAt++];
        file->putPage(place.page);
        std::memset(fields, 0, sizeof(MdbField) * columns.size());
        mdb_crack_row(definition.get(), place.start, place.length, fields);
        pageNumber = place.page;
        rowStart = place.start;
        rowLength = place.length;
        rows = static_cast<sqlite3_int64>(place.page) * 65536 + place.start;
        atEnd = false;
    }

    // The next row of the table, page by page; atEnd once the last is passed.
    void next()
    {
        JetFile& f = *file;
        MdbTableDef* def = definition.get();
        f.claimPageBuffer(this, *def);
        if (!mdb_fetch_row(def)) {
            atEnd = true;
            if (static_cast<std::size_t>(rows) < def->num_rows)
                f.damaged(format("%s holds %lld rows of the %u its definition counts", table->what.c_str(),
                    static_cast<long long>(rows), def->num_rows));
            return;
        }
        if (static_cast<std::size_t>(++rows) > f.pageCount() * 256)
            f.damaged(format("%s has more rows than its pages hold", table->what.c_str()));
        int start = 0;
        std::size_t length = 0;
        if (def->cur_row == 0 || mdb_find_row(f.mdb(), static_cast<int>(def->cur_row - 1), &start, &length) != 0)
            f.damaged(format("a row of %s cannot be found", table->what.c_str()));
        start &= 0x1fff;
        if (length == 0 || static_cast<std::size_t>(start) + length > f.pageSize())
            f.damaged(format("a row of %s lies outside its page", table->what.c_str()));
        std::memset(fields, 0, sizeof(MdbField) * columns.size());
        mdb_crack_row(def, start, static_cast<int>(length), fields);
        pageNumber = def->cur_phys_pg;
        rowStart = static_cast<std::size_t>(start);
        rowLength = length;
        atEnd = false;
    }
};

// Runs body, turning an exception into SQLITE_ERROR and keeping it for the connection to raise.
template <typename Body> int guarded(JetFile* file, sqlite3_vtab* vtab, Body&& body)
{
    try {
        body();
        return SQLITE_OK;
    } catch (const EOleException& e) {
        file->failure = std::current_exception();
        if (vtab) {
            sqlite3_free(vtab->zErrMsg);
            vtab->zErrMsg = sqlite3_mprintf("%s", e.Message().c_str());
        }
    } catch (...) {
        file->failure = std::current_exception();
    }
    return SQLITE_ERROR;
}

int connectTable(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error)
{
    auto* file = static_cast<JetFile*>(aux);
    // The one argument is the table's key, a string literal.
    std::string key = argc > 3 ? argv[3] : "";
    if (key.size() >= 2 && key.front() == '\'' && key.back() == '\'')
        key = key.substr(1, key.size() - 2);
    std::string unquoted;
    for (std::size_t i = 0; i < key.size(); ++i) {
        unquoted += key[i];
        if (key[i] == '\'' && i + 1 < key.size() && key[i + 1] == '\'')
            ++i;
    }
    auto found = file->tables.find(unquoted);
    if (found == file->tables.end()) {
        *error = sqlite3_mprintf("no table '%s' in the Jet file", unquoted.c_str());
        return SQLITE_ERROR;
    }
    const int rc = sqlite3_declare_vtab(db, found->second.schema.c_str());
    if (rc != SQLITE_OK) {
        *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
        return rc;
    }
    auto* table = new JetVirtualTable;
    table->file = file;
    table->table = &found->second;
    *out = table;
    return SQLITE_OK;
}

int disconnectTable(sqlite3_vtab* vtab)
{
    delete static_cast<JetVirtualTable*>(vtab);
    return SQLITE_OK;
}

// Columns whose equalities are looked up: numbers and texts, whose keys both sides can take (a
// date is a text in SQL and a day number in the file).
bool canLookUp(int adoType)
{
    switch (adoType) {
    case adUnsignedTinyInt:
    case adSmallInt:
    case adInteger:
    case adSingle:
    case adDouble:
    case adVarWChar:
        return true;
    default:
        return false;
    }
}

// The key of an equality's other side, or nullopt when it is of another kind than the column's
// values (a text against a number): that filter scans the whole table.
std::optional<std::string> valueKey(int adoType, sqlite3_value* value)
{
    const int storage = sqlite3_value_type(value);
    if (adoType == adVarWChar) {
        if (storage != SQLITE_TEXT)
            return std::nullopt;
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return textLookupKey(std::string_view(text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(value))));
    }
    if (storage != SQLITE_INTEGER && storage != SQLITE_FLOAT)
        return std::nullopt;
    return numberLookupKey(sqlite3_value_double(value));
}

// An equality on a number or text column is served by a look-up (SQLite checks it again); every
// other plan is a full scan costed by the table's row count.
int bestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info)
{
    const auto* table = static_cast<JetVirtualTable*>(vtab);
    const double rows = std::max(table->table->rowCount, 1.0);
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    info->estimatedCost = rows;
    // Keys fold ASCII case: right for NOCASE and BINARY (SQLite drops the extra rows), not for others.
    offerEqualityLookup(info, table->table->columns.size(),
        [&](std::size_t column) { return canLookUp(table->table->columns[column].type); });
    return SQLITE_OK;
}

int openScan(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out)
{
    auto* table = static_cast<JetVirtualTable*>(vtab);
    auto scan = std::make_unique<JetScan>();
    const int rc = guarded(table->file, vtab, [&] {
        scan->file = table->file;
        scan->table = table->table;
        scan->definition = table->file->readTable(*table->table->entry, table->table->what);
        for (guint i = 0; i < scan->definition->columns->len; ++i)
            scan->columns.push_back(static_cast<const MdbColumn*>(g_ptr_array_index(scan->definition->columns, i)));
        if (scan->columns.size() != table->table->columns.size())
            table->file->damaged(format("the columns of %s cannot be read", table->table->what.c_str()));
    });
    if (rc != SQLITE_OK)
        return rc;
    *out = scan.release();
    return SQLITE_OK;
}

int closeScan(sqlite3_vtab_cursor* cursor)
{
    delete static_cast<JetScan*>(cursor);
    return SQLITE_OK;
}

int filterScan(sqlite3_vtab_cursor* cursor, int plan, const char*, int argc, sqlite3_value** argv)
{
    auto* scan = static_cast<JetScan*>(cursor);
    return guarded(scan->file, cursor->pVtab, [&] {
        scan->matches = nullptr;
        if (plan > 0 && argc == 1) {
            const int column = plan - 1;
            if (auto key = valueKey(scan->table->columns[static_cast<std::size_t>(column)].type, argv[0])) {
                if (scan->lookupColumn != column)
                    scan->buildLookup(column);
                static const std::vector<JetScan::RowPlace> none;
                auto found = scan->lookup.find(*key);
                scan->matches = found == scan->lookup.end() ? &none : &found->second;
                scan->matchAt = 0;
                scan->nextMatch();
                return;
            }
        }
        mdb_rewind_table(scan->definition.get());
        scan->rows = 0;
        scan->next();
    });
}

int nextRow(sqlite3_vtab_cursor* cursor)
{
    auto* scan = static_cast<JetScan*>(cursor);
    return guarded(scan->file, cursor->pVtab, [&] {
        if (scan->matches)
            scan->nextMatch();
        else
            scan->next();
    });
}

int atEnd(sqlite3_vtab_cursor* cursor)
{
    return static_cast<JetScan*>(cursor)->atEnd ? 1 : 0;
}

int columnValue(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column)
{
    auto* scan = static_cast<JetScan*>(cursor);
    return guarded(scan->file, cursor->pVtab, [&] {
        const auto index = static_cast<std::size_t>(column);
        if (index >= scan->columns.size())
            return;
        scan->file->decode(context, *scan->columns[index], scan->fields[index], scan->pageNumber, scan->rowStart,
            scan->rowLength, scan->table->what);
    });
}

int rowId(sqlite3_vtab_cursor* cursor, sqlite3_int64* id)
{
    *id = static_cast<JetScan*>(cursor)->rows;
    return SQLITE_OK;
}

sqlite3_module makeModule()
{
    sqlite3_module module {};
    module.iVersion = 1;
    module.xCreate = connectTable;
    module.xConnect = connectTable;
    module.xBestIndex = bestIndex;
    module.xDisconnect = disconnectTable;
    module.xDestroy = disconnectTable;
    module.xOpen = openScan;
    module.xClose = closeScan;
    module.xFilter = filterScan;
    module.xNext = nextRow;
    module.xEof = atEnd;
    module.xColumn = columnValue;
    module.xRowid = rowId;
    // No xUpdate: SQLite refuses every change to these tables.
    return module;
}

const sqlite3_module JetModule = makeModule();

} // namespace

JetTableSource::JetTableSource(std::string bytes, std::string name)
    : m_file(std::make_unique<JetFile>(std::move(bytes), std::move(name)))
{
}

JetTableSource::~JetTableSource() = default;

void JetTableSource::attach(sqlite3* db)
{
    JetFile& file = *m_file;
    int rc = sqlite3_create_module_v2(db, "jet", &JetModule, &file, nullptr);
    if (rc != SQLITE_OK)
        providerError(format("Cannot read the Jet file: %s.", sqlite3_errmsg(db)), E_PROVIDER_FAIL);
    GPtrArray* catalog = file.mdb()->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        const std::string name = entry->object_name;
        const std::string key = lowerKey(name);
        if (file.tables.count(key) || file.damagedTables.count(key))
            continue; // the first of two names SQLite cannot tell apart
        JetFile::TableInfo info;
        info.entry = entry;
        info.what = format("table '%s'", entry->object_name);
        try {
            TableDefPtr table = file.readTable(*entry, info.what);
            info.rowCount = table->num_rows;
            info.schema = "CREATE TABLE x(";
            for (guint c = 0; c < table->columns->len; ++c) {
                const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, c));
                ProviderColumn described = JetFile::describe(*column, file.jet3());
                if (c)
                    info.schema += ", ";
                info.schema += quotedName(described.name) + " " + declaredType(*column, described);
                info.columns.push_back(std::move(described));
            }
            info.schema += ")";
        } catch (const EOleException&) {
            file.damagedTables.emplace(key, std::current_exception());
            continue;
        }
        file.tables.emplace(key, std::move(info));
        std::string argument = "'";
        for (char c : key) {
            argument += c;
            if (c == '\'')
                argument += '\'';
        }
        argument += "'";
        const std::string create = "CREATE VIRTUAL TABLE main." + quotedName(name) + " USING jet(" + argument + ")";
        rc = sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            // A name SQLite keeps for itself, two columns of one name: the table stays out, and
            // naming it says why.
            std::exception_ptr failure = takeFailure();
            if (!failure) {
                try {
                    providerError(format("The table '%s' of the file '%s' cannot be read: %s.", name.c_str(),
                                      file.name().c_str(), sqlite3_errmsg(db)),
                        E_PROVIDER_FAIL);
                } catch (const EOleException&) {
                    failure = std::current_exception();
                }
            }
            file.tables.erase(key);
            file.damagedTables.emplace(key, failure);
        }
    }
}

const ProviderColumn* JetTableSource::column(std::string_view table, std::string_view column) const
{
    auto found = m_file->tables.find(lowerKey(table));
    if (found == m_file->tables.end())
        return nullptr;
    for (const ProviderColumn& candidate : found->second.columns)
        if (lowerKey(candidate.name) == lowerKey(column))
            return &candidate;
    return nullptr;
}

std::exception_ptr JetTableSource::damagedTable(std::string_view table) const
{
    auto found = m_file->damagedTables.find(lowerKey(table));
    return found == m_file->damagedTables.end() ? nullptr : found->second;
}

std::exception_ptr JetTableSource::takeFailure()
{
    return std::exchange(m_file->failure, nullptr);
}

} // namespace vl
