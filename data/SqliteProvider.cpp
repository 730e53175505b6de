#include "SqliteProvider_p.h"

#include "AsciiText_p.h"
#include "StoredResult_p.h"

#include "MdbProvider.h"
#include "TextFolder.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "Text.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>
#include <utility>

namespace vl {
namespace {

// The whole text, blanks around it and a leading '+' allowed, as an int64_t or a double.
template <typename Number> bool parseNumber(std::string_view text, Number& value)
{
    text = trimControlsAndSpaces(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

enum class Category { Integer, Boolean, Float, Currency, Date, Text, Guid, Binary, Untyped };

Category categoryOf(int type)
{
    switch (type) {
    case adSmallInt: case adInteger: case adTinyInt: case adUnsignedTinyInt: case adUnsignedSmallInt:
    case adUnsignedInt: case adBigInt: case adUnsignedBigInt:
        return Category::Integer;
    case adBoolean: return Category::Boolean;
    case adSingle: case adDouble: return Category::Float;
    case adCurrency: case adDecimal: case adNumeric: case adVarNumeric: return Category::Currency;
    case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: return Category::Date;
    case adGUID: return Category::Guid;
    case adBinary: case adVarBinary: case adLongVarBinary: return Category::Binary;
    case adEmpty: return Category::Untyped;
    default: return Category::Text;
    }
}

std::string guidText(const unsigned char* b)
{
    // Microsoft byte order: the first three groups are little-endian.
    return format("{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2], b[1], b[0],
        b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

class SqliteConnection final : public ProviderConnection {
public:
    SqliteConnection(sqlite3* db, std::string path, bool tablesReadOnly = false)
        : m_db(db), m_path(std::move(path)), m_tablesReadOnly(tablesReadOnly)
    {
    }
    ~SqliteConnection() override { sqlite3_close_v2(m_db); }

    std::unique_ptr<ProviderResult> execute(std::string_view commandText) override;

private:
    [[noreturn]] void mismatch(const ProviderColumn& column, std::size_t row)
    {
        providerError(format("Data type mismatch in column '%s' of row %zu.", column.name.c_str(), row + 1),
            E_PROVIDER_FAIL);
    }
    void storeTyped(StoredResult& result, CellRef cell, sqlite3_stmt* stmt, int index, const ProviderColumn& column,
        Category category, std::size_t row);

    sqlite3* m_db;
    std::string m_path;
    bool m_tablesReadOnly;
};

void SqliteConnection::storeTyped(StoredResult& result, CellRef cell, sqlite3_stmt* stmt, int index,
    const ProviderColumn& column, Category category, std::size_t row)
{
    // One look-up of the column's value; the value calls skip the per-call checks of the column ones.
    sqlite3_value* stored = sqlite3_column_value(stmt, index);
    const int storage = sqlite3_value_type(stored);
    if (storage == SQLITE_NULL)
        return;
    auto text = [&] {
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(stored));
        return std::string_view(data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(stored)));
    };
    auto blob = [&] {
        // SQLite's order: the pointer first, then its size.
        const auto* data = static_cast<const char*>(sqlite3_value_blob(stored));
        return std::string_view(data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(stored)));
    };
    switch (category) {
    case Category::Integer:
    case Category::Boolean: {
        cell.kind = ProviderCell::Kind::Integer;
        const bool boolean = category == Category::Boolean;
        // A real becomes the nearest integer (ties to even); one that no 64-bit integer holds is
        // refused, never converted.
        auto fromReal = [&](double real, std::string_view asRead) {
            if (boolean)
                cell.value.integer = real != 0 ? -1 : 0;
            else if (std::fabs(real) < 9.2e18)
                cell.value.integer = static_cast<int64_t>(std::nearbyint(real));
            else
                valueOutOfRange(column, row, asRead);
        };
        if (storage == SQLITE_INTEGER) {
            cell.value.integer = sqlite3_value_int64(stored);
        } else if (storage == SQLITE_FLOAT) {
            const double real = sqlite3_value_double(stored);
            fromReal(real, shortestText(real));
        } else if (storage == SQLITE_TEXT) {
            std::string_view value = trimControlsAndSpaces(text());
            double real = 0;
            std::string upper = upperAscii(value);
            if (parseNumber(value, cell.value.integer)) {
            } else if (parseNumber(value, real)) {
                fromReal(real, value);
            } else if (boolean && (upper == "TRUE" || upper == "YES" || upper == "ON")) {
                cell.value.integer = -1;
            } else if (boolean && (upper == "FALSE" || upper == "NO" || upper == "OFF")) {
                cell.value.integer = 0;
            } else {
                mismatch(column, row);
            }
        } else {
            mismatch(column, row);
        }
        if (boolean) {
            if (cell.value.integer != 0)
                cell.value.integer = -1;
        } else if (storage == SQLITE_TEXT) {
            checkIntegerRange(column, row, cell.value.integer, trimControlsAndSpaces(text()));
        } else if (storage == SQLITE_FLOAT) {
            checkIntegerRange(column, row, cell.value.integer, shortestText(sqlite3_value_double(stored)));
        } else {
            checkIntegerRange(column, row, cell.value.integer);
        }
        break;
    }
    case Category::Float:
        cell.kind = ProviderCell::Kind::Float;
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            cell.value.real = sqlite3_value_double(stored);
        else if (storage != SQLITE_TEXT || !parseNumber(text(), cell.value.real))
            mismatch(column, row);
        // A SINGLE column holds single precision, whatever precision SQLite stored.
        if (column.type == adSingle)
            cell.value.real = static_cast<double>(static_cast<float>(cell.value.real));
        break;
    case Category::Currency: {
        cell.kind = ProviderCell::Kind::Currency;
        std::optional<int64_t> value;
        if (storage == SQLITE_INTEGER || storage == SQLITE_TEXT) {
            value = parseCurrencyText(text());
        } else if (storage == SQLITE_FLOAT) {
            // The decimal the real stands for, not its binary value times 10 000.
            value = parseCurrencyText(shortestText(sqlite3_value_double(stored)));
        }
        if (!value)
            mismatch(column, row);
        cell.value.integer = *value;
        break;
    }
    case Category::Date: {
        cell.kind = ProviderCell::Kind::Date;
        std::optional<double> value;
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            value = sqlite3_value_double(stored);
        else if (storage == SQLITE_TEXT)
            value = parseDateText(text());
        if (!value)
            mismatch(column, row);
        cell.value.real = *value;
        break;
    }
    case Category::Guid:
        if (storage == SQLITE_BLOB && sqlite3_value_bytes(stored) == 16) {
            std::string value = guidText(static_cast<const unsigned char*>(sqlite3_value_blob(stored)));
            result.storeBytes(cell, ProviderCell::Kind::Text, value);
        } else {
            std::string_view value = text();
            result.storeBytes(cell, ProviderCell::Kind::Text, value);
        }
        break;
    case Category::Text: {
        std::string_view value = text();
        result.storeBytes(cell, ProviderCell::Kind::Text, value);
        break;
    }
    case Category::Binary:
        result.storeBytes(cell, ProviderCell::Kind::Bytes, blob());
        break;
    case Category::Untyped:
        if (storage == SQLITE_INTEGER) {
            cell.kind = ProviderCell::Kind::Integer;
            cell.value.integer = sqlite3_value_int64(stored);
        } else if (storage == SQLITE_FLOAT) {
            cell.kind = ProviderCell::Kind::Float;
            cell.value.real = sqlite3_value_double(stored);
        } else if (storage == SQLITE_TEXT) {
            std::string_view value = text();
            result.storeBytes(cell, ProviderCell::Kind::Text, value);
        } else {
            result.storeBytes(cell, ProviderCell::Kind::Bytes, blob());
        }
        break;
    }
}

std::unique_ptr<ProviderResult> SqliteConnection::execute(std::string_view commandText)
{
    if (trimControlsAndSpaces(commandText).empty())
        providerError("Command text was not set for the command object.", DB_E_ERRORSINCOMMAND);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(m_db, commandText.data(), static_cast<int>(commandText.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        std::string message = sqlite3_errmsg(m_db);
        const std::string_view noTable = "no such table: ";
        if (message.starts_with(noTable))
            providerError(format("The input table or query '%s' cannot be found.", message.c_str() + noTable.size()),
                DB_E_NOTABLE);
        providerError(format("Invalid command text: %s.", message.c_str()), DB_E_ERRORSINCOMMAND);
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(stmt, sqlite3_finalize);
    if (!stmt)
        providerError("Invalid command text: it holds no statement.", DB_E_ERRORSINCOMMAND);
    if (!trimControlsAndSpaces(std::string_view(tail, commandText.data() + commandText.size() - tail)).empty())
        providerError("Characters found after end of SQL statement.", DB_E_ERRORSINCOMMAND);
    const int width = sqlite3_column_count(stmt);
    if (width == 0)
        return nullptr;
    if (!sqlite3_stmt_readonly(stmt))
        providerError(format("The database '%s' is opened read-only; the command would change it.", m_path.c_str()),
            E_PROVIDER_FAIL);

    auto result = std::make_unique<StoredResult>();
    std::vector<Category> categories;
    for (int i = 0; i < width; ++i) {
        ProviderColumn column;
        const char* name = sqlite3_column_name(stmt, i);
        column.name = name ? name : "";
        const char* declared = sqlite3_column_decltype(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* database = sqlite3_column_database_name(stmt, i);
        bool autoIncrement = false;
        if (table && origin) {
            int notNull = 0, primaryKey = 0, autoinc = 0;
            if (sqlite3_table_column_metadata(m_db, database, table, origin, nullptr, nullptr, &notNull,
                    &primaryKey, &autoinc) == SQLITE_OK)
                // INTEGER PRIMARY KEY is SQLite's row id: numbered by the engine like AUTOINCREMENT.
                autoIncrement = autoinc || (primaryKey && declared && upperAscii(declared) == "INTEGER");
        }
        if (declared && *declared) {
            ColumnTypeInfo info = mapDeclaredType(declared);
            column.type = info.type;
            column.definedSize = info.definedSize;
            column.precision = info.precision;
            column.scale = info.scale;
            column.isFixedLength = info.fixedLength;
        }
        column.isAutoIncrement = autoIncrement && categoryOf(column.type) == Category::Integer;
        column.isUpdatable = table && origin && !*column.isAutoIncrement && !m_tablesReadOnly;
        column.isMaybeUpdatable = false;
        categories.push_back(categoryOf(column.type));
        result->addColumn(std::move(column));
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const std::size_t row = result->appendRow();
        for (int i = 0; i < width; ++i)
            storeTyped(*result, result->at(row, static_cast<std::size_t>(i)), stmt, i,
                result->columns()[static_cast<std::size_t>(i)], categories[static_cast<std::size_t>(i)], row);
    }
    if (rc != SQLITE_DONE)
        providerError(format("Reading '%s' failed: %s.", m_path.c_str(), sqlite3_errmsg(m_db)), E_PROVIDER_FAIL);
    for (int i = 0; i < width; ++i)
        if (categories[static_cast<std::size_t>(i)] == Category::Untyped)
            describeUntypedColumn(*result, static_cast<std::size_t>(i), [](double real) { return format("%.17g", real); });
    return result;
}

// SQLite files are read here, genuine Access files by MdbProvider.cpp.
enum class FileFormat { Unknown, Sqlite3, Jet };

FileFormat detectFormat(const unsigned char* header, std::size_t size)
{
    if (size >= 16 && std::memcmp(header, "SQLite format 3\0", 16) == 0)
        return FileFormat::Sqlite3;
    if (size >= 20 && (std::memcmp(header + 4, "Standard Jet DB\0", 16) == 0
                       || std::memcmp(header + 4, "Standard ACE DB\0", 16) == 0))
        return FileFormat::Jet;
    return FileFormat::Unknown;
}

std::unique_ptr<ProviderConnection> openSqlite(const std::string& path)
{
    sqlite3* db = nullptr;
    // Read-only and without SQLITE_OPEN_CREATE: the file is never created or changed. A connection
    // serves one thread only, so SQLite's per-call locking (a fifth of reading a result) is left out.
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        providerError(format("Cannot open the database '%s': %s.", path.c_str(), message.c_str()), E_PROVIDER_FAIL);
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_extended_result_codes(db, 1);
    // A large ORDER BY is sorted in runs that SQLite can sort and merge on helper threads while
    // this one reads on: a fifth off the wall time of sorting a million rows on two cores.
    const unsigned cores = std::thread::hardware_concurrency();
    sqlite3_limit(db, SQLITE_LIMIT_WORKER_THREADS, static_cast<int>(std::clamp(cores, 1u, 4u)));
    // A damaged or encrypted file passes the header check; reading the schema finds it now.
    rc = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        providerError(format("Cannot open the database '%s': %s.", path.c_str(), message.c_str()), E_PROVIDER_FAIL);
    }
    return std::make_unique<SqliteConnection>(db, path);
}

} // namespace

std::unique_ptr<ProviderConnection> sqliteConnection(sqlite3* db, std::string source, bool tablesReadOnly)
{
    return std::make_unique<SqliteConnection>(db, std::move(source), tablesReadOnly);
}

void describeUntypedColumn(StoredResult& result, std::size_t column, std::string (*realText)(double))
{
    bool anyFloat = false, anyText = false, anyBytes = false, fitsInt32 = true;
    std::size_t longestText = 0;
    for (std::size_t row = 0; row < result.rowCount(); ++row) {
        const CellRef cell = result.at(row, column);
        switch (cell.kind) {
        case ProviderCell::Kind::Integer:
            if (cell.value.integer < std::numeric_limits<int32_t>::min() || cell.value.integer > std::numeric_limits<int32_t>::max())
                fitsInt32 = false;
            break;
        case ProviderCell::Kind::Float: anyFloat = true; break;
        case ProviderCell::Kind::Text: {
            anyText = true;
            const std::string_view text = storedBytes(cell.value.data);
            longestText = std::max(longestText, toWide(text, "UTF-8").size());
            break;
        }
        case ProviderCell::Kind::Bytes: anyBytes = true; break;
        default: break;
        }
    }
    ProviderColumn& info = result.describedColumn(column);
    if (anyBytes) {
        info.type = adLongVarBinary;
        info.definedSize = 1073741823;
    } else if (anyText) {
        info.type = longestText > 255 ? adLongVarWChar : adVarWChar;
        info.definedSize = longestText > 255 ? 536870910 : 255;
    } else if (anyFloat) {
        info.type = adDouble;
        info.definedSize = 8;
        info.precision = 15;
        info.isFixedLength = true;
    } else {
        info.type = fitsInt32 ? adInteger : adBigInt;
        info.definedSize = fitsInt32 ? 4 : 8;
        info.precision = fitsInt32 ? 10 : 19;
        info.isFixedLength = true;
    }
    // Mixed columns take one representation: numbers become their text, texts their bytes.
    for (std::size_t row = 0; row < result.rowCount(); ++row) {
        const CellRef cell = result.at(row, column);
        if (cell.kind == ProviderCell::Kind::Null)
            continue;
        if ((anyText || anyBytes) && (cell.kind == ProviderCell::Kind::Integer || cell.kind == ProviderCell::Kind::Float)) {
            std::string text = cell.kind == ProviderCell::Kind::Integer ? std::to_string(cell.value.integer)
                                                                          : realText(cell.value.real);
            result.storeBytes(cell, anyBytes ? ProviderCell::Kind::Bytes : ProviderCell::Kind::Text, text);
        } else if (anyBytes) {
            cell.kind = ProviderCell::Kind::Bytes;
        } else if (anyFloat && cell.kind == ProviderCell::Kind::Integer) {
            cell.kind = ProviderCell::Kind::Float;
            cell.value.real = static_cast<double>(cell.value.integer);
        }
    }
}

ColumnTypeInfo mapDeclaredType(std::string_view declaredType)
{
    std::string upper = upperAscii(trimControlsAndSpaces(declaredType));
    std::string base = upper;
    int first = -1, second = -1;
    if (std::size_t open = upper.find('('); open != std::string::npos) {
        base = std::string(trimControlsAndSpaces(std::string_view(upper).substr(0, open)));
        std::string_view args = std::string_view(upper).substr(open + 1);
        if (std::size_t close = args.find(')'); close != std::string_view::npos)
            args = args.substr(0, close);
        std::string_view a = args, b;
        if (std::size_t comma = args.find(','); comma != std::string_view::npos) {
            a = args.substr(0, comma);
            b = args.substr(comma + 1);
        }
        int64_t value = 0;
        if (parseNumber(a, value) && value >= 0 && value < (1 << 30))
            first = static_cast<int>(value);
        if (parseNumber(b, value) && value >= 0 && value < (1 << 30))
            second = static_cast<int>(value);
    }
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (base == name)
                return true;
        return false;
    };
    auto fixed = [](int type, int size, int precision, int scale = 0) {
        return ColumnTypeInfo{type, size, precision, scale, true};
    };
    if (is({"INTEGER", "INT", "LONG", "COUNTER", "AUTOINCREMENT", "INTEGER4", "INT4"}))
        return fixed(adInteger, 4, 10);
    if (is({"SMALLINT", "SHORT", "INTEGER2", "INT2"}))
        return fixed(adSmallInt, 2, 5);
    if (is({"BYTE", "TINYINT", "INTEGER1"}))
        return fixed(adUnsignedTinyInt, 1, 3);
    if (is({"BIGINT", "INTEGER8", "INT8"}))
        return fixed(adBigInt, 8, 19);
    if (is({"BIT", "YESNO", "BOOLEAN", "BOOL", "LOGICAL", "LOGICAL1"}))
        return fixed(adBoolean, 2, 0);
    if (is({"CURRENCY", "MONEY"}))
        return fixed(adCurrency, 8, 19, 4);
    if (is({"REAL", "SINGLE", "FLOAT4", "IEEESINGLE"}))
        return fixed(adSingle, 4, 7);
    if (is({"DOUBLE", "FLOAT", "FLOAT8", "IEEEDOUBLE", "NUMBER", "DOUBLE PRECISION"}))
        return fixed(adDouble, 8, 15);
    if (is({"DECIMAL", "NUMERIC", "DEC"}))
        return fixed(adNumeric, 19, first > 0 ? std::min(first, 28) : 18, second >= 0 ? second : 0);
    if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP"}))
        return fixed(adDate, 8, 0);
    if (is({"GUID", "UNIQUEIDENTIFIER"}))
        return fixed(adGUID, 16, 0);
    if (is({"NVARCHAR", "VARCHAR", "CHARACTER VARYING", "NATIONAL CHARACTER VARYING", "ALPHANUMERIC", "STRING"})
        || (base == "TEXT" && first >= 0))
        return ColumnTypeInfo{adVarWChar, first > 0 ? first : 255, 0, 0, false};
    if (is({"CHAR", "NCHAR", "CHARACTER", "NATIONAL CHARACTER"}))
        return ColumnTypeInfo{adWChar, first > 0 ? first : 255, 0, 0, true};
    if (is({"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT", "TEXT", "CLOB"}))
        return ColumnTypeInfo{adLongVarWChar, 536870910, 0, 0, false};
    if (is({"BINARY"}))
        return ColumnTypeInfo{adBinary, first > 0 ? first : 510, 0, 0, true};
    if (is({"VARBINARY"}))
        return ColumnTypeInfo{adVarBinary, first > 0 ? first : 510, 0, 0, false};
    if (is({"LONGBINARY", "BLOB", "IMAGE", "GENERAL", "OLEOBJECT"}))
        return ColumnTypeInfo{adLongVarBinary, 1073741823, 0, 0, false};
    // Any other name: SQLite's own affinity rules decide.
    if (upper.find("INT") != std::string::npos)
        return fixed(adInteger, 4, 10);
    if (upper.find("CHAR") != std::string::npos || upper.find("CLOB") != std::string::npos
        || upper.find("TEXT") != std::string::npos)
        return ColumnTypeInfo{adLongVarWChar, 536870910, 0, 0, false};
    if (upper.find("BLOB") != std::string::npos)
        return ColumnTypeInfo{adLongVarBinary, 1073741823, 0, 0, false};
    if (upper.find("REAL") != std::string::npos || upper.find("FLOA") != std::string::npos
        || upper.find("DOUB") != std::string::npos)
        return fixed(adDouble, 8, 15);
    return fixed(adNumeric, 19, 18, 0);
}

std::optional<double> parseDateText(std::string_view text)
{
    text = trimControlsAndSpaces(text);
    auto digits = [&](std::size_t pos, std::size_t count, int& value) {
        if (pos + count > text.size())
            return false;
        value = 0;
        for (std::size_t i = pos; i < pos + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
    std::size_t pos = 0;
    bool hasDate = false;
    if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
        if (!digits(0, 4, year) || !digits(5, 2, month) || !digits(8, 2, day))
            return std::nullopt;
        hasDate = true;
        pos = 10;
        if (pos < text.size()) {
            if (text[pos] != ' ' && text[pos] != 'T')
                return std::nullopt;
            ++pos;
        }
    }
    if (pos < text.size()) {
        if (!digits(pos, 2, hour) || pos + 2 >= text.size() || text[pos + 2] != ':' || !digits(pos + 3, 2, minute)) {
            if (hasDate)
                return std::nullopt;
            double number = 0;
            if (parseNumber(text, number) && std::isfinite(number))
                return number;
            return std::nullopt;
        }
        pos += 5;
        if (pos < text.size()) {
            if (text[pos] != ':' || !digits(pos + 1, 2, second))
                return std::nullopt;
            pos += 3;
            if (pos < text.size()) {
                if (text[pos] != '.' || pos + 1 >= text.size())
                    return std::nullopt;
                // Milliseconds from the first three digits, rounded by the fourth.
                int fraction = 0, count = 0;
                for (std::size_t i = pos + 1; i < text.size(); ++i) {
                    if (text[i] < '0' || text[i] > '9')
                        return std::nullopt;
                    if (count < 4)
                        fraction = fraction * 10 + (text[i] - '0');
                    ++count;
                }
                while (count < 4) {
                    fraction *= 10;
                    ++count;
                }
                millisecond = (fraction + 5) / 10;
            }
        }
    } else if (!hasDate) {
        return std::nullopt;
    }
    static constexpr int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] || (month == 2 && day == 29 && !leap)
        || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    if (millisecond == 1000) {
        millisecond = 0;
        ++second; // 59.9995 seconds round into the next minute; encodeDayNumber carries it
    }
    return encodeDayNumber(year, month, day, hour, minute, second, millisecond);
}

namespace {

// An unsigned decimal with an exponent as a plain decimal ("2.5e-4" to "0.00025"); nullopt when it
// is not a number, or when it is far larger than any amount.
std::optional<std::string> plainDecimal(std::string_view text)
{
    const std::size_t e = text.find_first_of("eE");
    std::string_view exponentText = text.substr(e + 1);
    if (!exponentText.empty() && exponentText.front() == '+')
        exponentText.remove_prefix(1);
    int exponent = 0;
    const auto [end, ec] = std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    if (ec != std::errc() || end != exponentText.data() + exponentText.size() || exponentText.empty())
        return std::nullopt;
    std::string digits;
    long point = -1;
    for (char c : text.substr(0, e)) {
        if (c == '.' && point < 0)
            point = static_cast<long>(digits.size());
        else if (c >= '0' && c <= '9')
            digits += c;
        else
            return std::nullopt;
    }
    if (digits.empty())
        return std::nullopt;
    if (point < 0)
        point = static_cast<long>(digits.size());
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return std::string("0");
    digits.erase(0, first);
    point -= static_cast<long>(first);
    point += exponent;
    // Beyond 25 digits before the point is beyond any amount; below 10^-10 rounds to zero.
    if (point > 25)
        return std::nullopt;
    if (point < -10)
        return std::string("0");
    if (point <= 0)
        return "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    if (static_cast<std::size_t>(point) >= digits.size())
        return digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    return digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
}

} // namespace

std::optional<int64_t> parseCurrencyText(std::string_view text)
{
    text = trimControlsAndSpaces(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Exponent forms ("1E5", "2.5e-4") are written out as plain decimals first, so that they too are
    // rounded exactly.
    std::string plain;
    if (text.find_first_of("eE") != std::string_view::npos) {
        auto written = plainDecimal(text);
        if (!written)
            return std::nullopt;
        plain = std::move(*written);
        text = plain;
    }
    unsigned __int128 value = 0;
    int decimals = -1;
    bool anyDigit = false, roundUp = false;
    for (char c : text) {
        if (c == '.') {
            if (decimals >= 0)
                return std::nullopt;
            decimals = 0;
        } else if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (decimals >= 4) {
                if (decimals == 4)
                    roundUp = c >= '5';
                ++decimals;
                continue;
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > (static_cast<unsigned __int128>(1) << 64))
                return std::nullopt;
            if (decimals >= 0)
                ++decimals;
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    for (int d = std::max(decimals, 0); d < 4; ++d)
        value *= 10;
    if (roundUp)
        ++value;
    if (value > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0))
        return std::nullopt;
    return negative ? static_cast<int64_t>(-static_cast<__int128>(value)) : static_cast<int64_t>(value);
}

namespace {

const char* fileKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

[[noreturn]] void cannotOpen(const std::string& path, int error)
{
    if (error == ENOENT)
        providerError(format("Could not find file '%s'.", path.c_str()), E_PROVIDER_FAIL);
    if (error == ELOOP)
        providerError(format("Cannot open file '%s': too many levels of symbolic links (a symbolic link loop).",
                          path.c_str()),
            E_PROVIDER_FAIL);
    providerError(format("Cannot open file '%s': %s.", path.c_str(), std::strerror(error)), E_PROVIDER_FAIL);
}

void requireRegularFile(const std::string& path, const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        providerError(format("'%s' is a folder, not a database file.", path.c_str()), E_PROVIDER_FAIL);
    if (!S_ISREG(info.st_mode))
        providerError(format("'%s' is %s, not a database file.", path.c_str(), fileKind(info.st_mode)),
            E_PROVIDER_FAIL);
}

} // namespace

DatabaseFile::DatabaseFile(const std::string& path)
    : m_path(path)
{
    // Looked at before it is opened: opening a FIFO for reading waits for a writer.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        cannotOpen(path, errno);
    requireRegularFile(path, info);
    // Without waiting all the same, should the path be replaced by a FIFO in between.
    m_descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_descriptor < 0)
        cannotOpen(path, errno);
    if (::fstat(m_descriptor, &info) != 0) {
        const int error = errno;
        ::close(m_descriptor);
        cannotOpen(path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(m_descriptor);
        requireRegularFile(path, info);
    }
}

DatabaseFile::~DatabaseFile()
{
    ::close(m_descriptor);
}

std::size_t DatabaseFile::readStart(unsigned char* buffer, std::size_t size) const
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_descriptor, buffer + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::string DatabaseFile::readAll() const
{
    std::string bytes;
    char chunk[65536];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(m_descriptor, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            providerError(format("Cannot read file '%s': %s.", m_path.c_str(), std::strerror(errno)), E_PROVIDER_FAIL);
        if (n == 0)
            return bytes;
        bytes.append(chunk, static_cast<std::size_t>(n));
        offset += n;
    }
}

std::unique_ptr<ProviderConnection> openJetProvider(const std::vector<ConnectionItem>& items)
{
    std::optional<std::string> source = connectionItem(items, "Data Source");
    if (!source || source->empty())
        providerError("The connection string names no data source.", E_PROVIDER_FAIL);
    // "text;..." makes the source a folder of delimited text files.
    if (const std::optional<std::string> properties = connectionItem(items, "Extended Properties");
        properties && namesTextFiles(*properties))
        return openTextFolder(*source, *properties);
    std::error_code error;
    // Relative names are resolved against the current directory now, never beside the program.
    std::string path = std::filesystem::absolute(*source, error).lexically_normal().string();
    if (error)
        path = *source;
    const DatabaseFile file(path);
    unsigned char header[100] = {};
    const std::size_t size = file.readStart(header, sizeof header);
    switch (detectFormat(header, size)) {
    case FileFormat::Sqlite3:
        return openSqlite(path);
    case FileFormat::Jet:
        // From the file already checked and open, not from its name once more.
        return openJetDatabaseBytes(file.readAll(), path);
    case FileFormat::Unknown:
        break;
    }
    providerError(format("Unrecognized database format '%s'.", path.c_str()), E_PROVIDER_FAIL);
}

} // namespace vl
