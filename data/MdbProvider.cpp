#include "MdbProvider.h"

#include "JetFormat_p.h"
#include "JetSql.h"
#include "SqliteProvider_p.h"
#include "StoredResult_p.h"

#include "Exceptions.h"
#include "Text.h"

#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <map>

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

class JetConnection final : public ProviderConnection
{
public:
    JetConnection(std::string bytes, std::string name)
        : m_bytes(std::move(bytes))
        , m_name(std::move(name))
    {
        open();
    }

    std::unique_ptr<ProviderResult> execute(std::string_view commandText) override
    {
        if (commandText.find_first_not_of(" \t\r\n") == std::string_view::npos)
            providerError("Command text was not set for the command object.", DB_E_ERRORSINCOMMAND);
        jetsql::ParseResult parsed = jetsql::parseSelect(commandText);
        if (!parsed)
            providerError(format("Syntax error in the command text at position %zu: %s.", parsed.position,
                              parsed.message.c_str()),
                DB_E_ERRORSINCOMMAND);
        return jetsql::runSelect(*parsed.statement, table(parsed.statement->table.text));
    }

private:
    [[noreturn]] void damaged(const std::string& why) const
    {
        providerError(format("The file '%s' is damaged: %s.", m_name.c_str(), why.c_str()), E_PROVIDER_FAIL);
    }

    const unsigned char* page(std::size_t number) const
    {
        return reinterpret_cast<const unsigned char*>(m_bytes.data()) + number * m_pageSize;
    }

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
        load(catalog);
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
    std::string longValue(const unsigned char* header, std::size_t size, const std::string& column) const
    {
        if (size < jet::MemoHeaderSize)
            damaged(format("a value of column '%s' is shorter than its header", column.c_str()));
        const uint32_t word = get32(header);
        const std::size_t length = word & 0x3fffffff;
        if (word & 0x80000000u) {
            const std::size_t inlineSize = size - jet::MemoHeaderSize;
            return std::string(
                reinterpret_cast<const char*>(header) + jet::MemoHeaderSize, std::min(length, inlineSize));
        }
        uint32_t pointer = get32(header + 4);
        if (word & 0x40000000u) {
            auto row = longRow(pointer);
            if (!row)
                damaged(format("a value of column '%s' points to a missing row", column.c_str()));
            return std::string(row->substr(0, std::min(length, row->size())));
        }
        std::string value;
        for (std::size_t hops = 0; value.size() < length; ++hops) {
            auto row = longRow(pointer);
            if (!row || row->size() < 4 || hops > m_pageCount)
                damaged(format("a long value of column '%s' is cut short", column.c_str()));
            value.append(row->substr(4, length - value.size()));
            pointer = get32(reinterpret_cast<const unsigned char*>(row->data()));
            if ((pointer >> 8) == 0)
                break;
        }
        if (value.size() < length)
            damaged(format("a long value of column '%s' is cut short", column.c_str()));
        return value;
    }

    std::string text(std::string_view bytes) const
    {
        if (m_jet3)
            return utf16ToUtf8(toWide(bytes, "CP1252"));
        return jet::decodeText(bytes);
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
            break; // complex columns: no field
        }
        return info;
    }

    // Ten-thousandths of a scaled decimal: sign byte, then four 32-bit words, most significant first.
    std::optional<int64_t> numeric(const unsigned char* p, int scale) const
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

    std::shared_ptr<const ProviderResult> table(const std::string& name)
    {
        for (const auto& [key, loaded] : m_tables)
            if (sameText(key, name, "UTF-8"))
                return loaded;
        MdbCatalogEntry* entry = nullptr;
        GPtrArray* catalog = m_mdb->catalog;
        for (guint i = 0; catalog && i < catalog->len; ++i) {
            auto* candidate = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (candidate->object_type == MDB_TABLE && sameText(candidate->object_name, name, "UTF-8")) {
                entry = candidate;
                break;
            }
        }
        if (!entry)
            providerError(format("The input table or query '%s' cannot be found.", name.c_str()), DB_E_NOTABLE);
        auto loaded = load(*entry);
        m_tables.emplace(name, loaded);
        return loaded;
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

    std::shared_ptr<const ProviderResult> load(MdbCatalogEntry& entry)
    {
        const std::string what = format("table '%s'", entry.object_name);
        checkDefinitionPage(entry.table_pg, what);
        std::unique_ptr<MdbTableDef, TableDefFree> table(mdb_read_table(&entry));
        if (!table || table->num_cols == 0 || table->num_cols > MaxColumns)
            damaged(format("the definition of %s cannot be read", what.c_str()));
        if (!mdb_read_columns(table.get()) || table->columns->len != table->num_cols)
            damaged(format("the columns of %s cannot be read", what.c_str()));
        // libmdb stops quietly at a page it cannot read; a page the map names must exist.
        checkUsageMap(table->usage_map, table->map_sz, what);
        auto result = std::make_shared<StoredResult>();
        std::vector<const MdbColumn*> columns;
        for (guint i = 0; i < table->columns->len; ++i) {
            const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
            columns.push_back(column);
            result->addColumn(describe(*column, m_jet3));
        }
        MdbHandle* mdb = m_mdb.get();
        const std::size_t width = columns.size();
        const std::size_t rowLimit = m_pageCount * 256;
        mdb_rewind_table(table.get());
        MdbField fields[MaxColumns];
        while (mdb_fetch_row(table.get())) {
            if (result->rowCount() >= rowLimit)
                damaged(format("%s has more rows than its pages hold", what.c_str()));
            int start = 0;
            std::size_t length = 0;
            if (table->cur_row == 0 || mdb_find_row(mdb, static_cast<int>(table->cur_row - 1), &start, &length) != 0)
                damaged(format("a row of %s cannot be found", what.c_str()));
            start &= 0x1fff;
            if (length == 0 || static_cast<std::size_t>(start) + length > m_pageSize)
                damaged(format("a row of %s lies outside its page", what.c_str()));
            std::memset(fields, 0, sizeof fields);
            mdb_crack_row(table.get(), start, length, fields);
            const std::size_t row = result->appendRow();
            for (std::size_t c = 0; c < width; ++c)
                decode(
                    *result, result->at(row, c), *columns[c], fields[c], static_cast<std::size_t>(start), length, what);
        }
        if (result->rowCount() < table->num_rows)
            damaged(format("%s holds %zu rows of the %u its definition counts", what.c_str(), result->rowCount(),
                table->num_rows));
        return result;
    }

    void decode(StoredResult& result, CellRef cell, const MdbColumn& column, const MdbField& field,
        std::size_t rowStart, std::size_t rowLength, const std::string& what) const
    {
        if (column.col_type == MDB_BOOL) {
            cell.setInteger(field.is_null ? 0 : -1); // yes/no is the null bit itself
            return;
        }
        if (field.is_null)
            return;
        if (field.start < 0 || field.siz < 0 || static_cast<std::size_t>(field.start) < rowStart
            || static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.siz) > rowStart + rowLength)
            damaged(format("a value of column '%s' of %s lies outside its row", column.name, what.c_str()));
        const unsigned char* p = m_mdb->pg_buf + field.start;
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
        switch (column.col_type) {
        case MDB_BYTE:
            cell.setInteger(fixed(raw<uint8_t>));
            break;
        case MDB_INT:
            cell.setInteger(fixed(raw<int16_t>));
            break;
        case MDB_LONGINT:
            cell.setInteger(fixed(raw<int32_t>));
            break;
        case MDB_MONEY:
            cell.setInteger(fixed(raw<int64_t>), ProviderCell::Kind::Currency);
            break;
        case MDB_FLOAT:
            cell.setReal(fixed(raw<float>));
            break;
        case MDB_DOUBLE:
            cell.setReal(fixed(raw<double>));
            break;
        case MDB_DATETIME:
            cell.setReal(fixed(raw<double>), ProviderCell::Kind::Date);
            break;
        case MDB_REPID:
            need(16);
            result.storeBytes(cell, ProviderCell::Kind::Text, guidText(p));
            break;
        case MDB_NUMERIC: {
            need(17);
            auto value = numeric(p, column.col_prec); // the scale, see describe()
            if (!value)
                providerError(format("The value in column '%s' of %s is too large for the data layer.", column.name,
                                  what.c_str()),
                    E_PROVIDER_FAIL);
            cell.setInteger(*value, ProviderCell::Kind::Currency);
            break;
        }
        case MDB_BINARY:
            result.storeBytes(
                cell, ProviderCell::Kind::Bytes, std::string_view(reinterpret_cast<const char*>(p), size));
            break;
        case MDB_TEXT:
            result.storeBytes(
                cell, ProviderCell::Kind::Text, text(std::string_view(reinterpret_cast<const char*>(p), size)));
            break;
        case MDB_MEMO:
            result.storeBytes(cell, ProviderCell::Kind::Text, text(longValue(p, size, column.name)));
            break;
        case MDB_OLE:
            result.storeBytes(cell, ProviderCell::Kind::Bytes, longValue(p, size, column.name));
            break;
        default:
            break;
        }
    }

    std::string m_bytes; // libmdb reads from this buffer; it outlives the handle
    std::string m_name;
    std::size_t m_pageSize = 4096;
    std::size_t m_pageCount = 0;
    bool m_jet3 = false;
    std::unique_ptr<MdbHandle, MdbHandleCloser> m_mdb;
    std::map<std::string, std::shared_ptr<const ProviderResult>> m_tables;
};

} // namespace

std::unique_ptr<ProviderConnection> openJetDatabaseBytes(std::string bytes, const std::string& name)
{
    return std::make_unique<JetConnection>(std::move(bytes), name);
}

std::unique_ptr<ProviderConnection> openJetDatabase(const std::string& path)
{
    return openJetDatabaseBytes(DatabaseFile(path).readAll(), path);
}

} // namespace vl
